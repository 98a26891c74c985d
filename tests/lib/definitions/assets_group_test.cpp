// Asset groups and the asset base: lookups by file name, adding, the class of a streamed group,
// clearing, the kinds' extensions, archive paths and reading asset folders back.

#include <gtest/gtest.h>

#include "assets_fixture.h"
#include "support/log_capture.h"

using namespace vantrel;

namespace {

class AssetsGroup : public vtest::TAssetsTest {};

TEST_F(AssetsGroup, FindByFilenameComparesBareNamesUnlessStrict) {
  TVantrelAssetsGroup* group = NewPackage()->GetGroup(1);
  TVantrelAsset* bare = group->AddEmptyAsset("wood.png", true);
  TVantrelAsset* relative = group->AddEmptyAsset("tex/wood.png", true);
  TVantrelAsset* full = group->AddEmptyAsset("/x/y/wood.png", true);
  EXPECT_EQ(group->FindAssetByFilename("/x/y/wood.png", false), bare);
  EXPECT_EQ(group->FindAssetByFilename("/x/y/wood.png", true), full);
  bare->SetFilename("other.png");
  EXPECT_EQ(group->FindAssetByFilename("/x/y/wood.png", false), relative);
  EXPECT_EQ(group->FindAssetByFilename("tex/wood.png", true), relative);
  EXPECT_EQ(group->FindAssetByFilename("/z/stone.png", false), nullptr);
}

TEST_F(AssetsGroup, AddingTheSameAssetTwiceIsRefusedWithALogLine) {
  TVantrelAssetsGroup* group = NewPackage()->GetGroup(4);
  auto* asset = rtl::New<TVantrelMiscAsset>(group);
  asset->SetFilename("notes.txt");
  vtest::TLogCapture log;
  EXPECT_TRUE(group->AddAsset(asset));
  EXPECT_FALSE(group->AddAsset(asset));
  EXPECT_FALSE(group->AddAsset(nullptr));
  EXPECT_EQ(group->Count(), 1);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{
                             "asset \"notes.txt\" already exists in group \"MISC\" - could be an asset loaded implicitly "
                             "by another asset (maybe a texture autoloaded by a model)"});

  rtl::TOwned<TVantrelAsset> wrong(rtl::New<TVantrelAudioAsset>(group));
  try {
    group->AddAsset(wrong.get());
    ADD_FAILURE() << "no exception";
  } catch (const EVantrelAssetsException& e) {
    EXPECT_EQ(e.Message(), "failed to add existing asset - invalid group class Vantrel.AssetsManager.TVantrelMiscAsset "
                           "<> Vantrel.AssetsManager.TVantrelAudioAsset");
  }
}

TEST_F(AssetsGroup, AStreamedGroupTakesItsClassFromItsName) {
  TVantrelAssetsPackage* package = NewPackage();
  package->Clear(false);
  // As the form reader makes them: items with a name and no class.
  auto add = [&](const std::string& AName) {
    auto* group = static_cast<TVantrelAssetsGroup*>(package->GetGroups()->Add());
    group->SetDisplayName(AName);
    return group;
  };
  add("MODEL");
  TVantrelAssetsGroup* texture = add("TEXTURE");
  for (int i = 2; i < 12; ++i)
    add("G" + std::to_string(i));
  TVantrelAssetsGroup* twelfth = add("EXTRA");
  EXPECT_EQ(texture->GetAssetClassName(), "TVantrelTextureAsset");
  EXPECT_EQ(texture->AssetClass(), &TVantrelTextureAsset::StaticClass());
  EXPECT_EQ(twelfth->GetAssetClassName(), "TVantrelAsset");
  EXPECT_EQ(twelfth->AssetClass(), nullptr);

  struct Case {
    const char* Name;
    const TVantrelAssetClass* Expected;
  } cases[] = {{"TVantrelSkillsAsset", &TVantrelSkillsAsset::StaticClass()},
               {"Vantrel.AssetsManager.TVantrelVideoAsset", &TVantrelVideoAsset::StaticClass()},
               {"TNoSuchClass", &TVantrelAsset::StaticClass()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    twelfth->SetAssetClassName(c.Name);
    EXPECT_EQ(twelfth->AssetClass(), c.Expected);
  }
  twelfth->SetAssetClassName("TVantrelAssetsManager"); // a registered class that is no asset: ignored
  EXPECT_EQ(twelfth->AssetClass(), &TVantrelAsset::StaticClass());
}

TEST_F(AssetsGroup, ClearingWithoutAnArchiveFreesEverything) {
  TVantrelAssetsPackage* package = NewPackage();
  auto* model = static_cast<TVantrelModelAsset*>(package->GetGroup(0)->AddEmptyAsset("ship.v3d", false));
  model->GetSubGroup(1)->AddEmptyAsset("wood.png", false);
  package->GetGroup(0)->Clear(true);
  EXPECT_EQ(package->GetGroup(0)->Count(), 0);
  EXPECT_FALSE(package->HasArchive());
}

TEST_F(AssetsGroup, KindsKnowTheirExtensions) {
  struct Case {
    const char* Ext;
    const TVantrelAssetClass* Expected;
  } cases[] = {{".json", &TVantrelMiscAsset::StaticClass()}, {".v3d", &TVantrelModelAsset::StaticClass()},
               {".tga", &TVantrelTextureAsset::StaticClass()}, {".ssf", &TVantrelSkillsAsset::StaticClass()},
               {".xyz", nullptr},                                {".PNG", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Ext);
    EXPECT_EQ(TVantrelAssetClass::GetSupportedAssetClass(c.Ext), c.Expected);
  }
  EXPECT_FALSE(TVantrelTextureAsset::StaticClass().IsExtensionSupported(".PNG"));
  EXPECT_THROW(TVantrelAsset::StaticClass().GetGroupId(), rtl::EAbstractError);
  EXPECT_THROW(TVantrelStreamAsset::StaticClass().GetSupportedExtensions(), rtl::EAbstractError);

  rtl::TOwned<TVantrelModelAsset> model(rtl::New<TVantrelModelAsset>());
  EXPECT_EQ(model->SubGroups()->Count(), 10);
  EXPECT_EQ(model->GetSubGroupByExtension(".PNG"), model->GetSubGroup("TEXTURE"));
  EXPECT_EQ(model->GetSubGroupIndex("SKILLS"), 9);
  EXPECT_THROW(model->AddSubAssetFromFile("a.xyz"), EVantrelAssetsException);
  EXPECT_THROW(model->GetSubAssetFromFile(12, "a.txt"), EVantrelAssetsException);
}

TEST_F(AssetsGroup, ArchivePathIsTheGroupAndTheBracedId) {
  TVantrelAsset* asset = NewPackage()->GetGroup(2)->AddEmptyAsset("song.mp3", false);
  const std::string id = asset->Id().ToString();
  EXPECT_EQ(id.size(), 38u);
  EXPECT_EQ(id.front(), '{');
  EXPECT_EQ(id, rtl::UpperCase(id));
  EXPECT_EQ(asset->GetArchivePath(), "AUDIO/" + id);
}

TEST_F(AssetsGroup, ReadingAnAssetFolderTwiceKeepsOneAsset) {
  TVantrelAssetsPackage* source = NewPackage("source");
  TVantrelAsset* asset = AddStreamAsset(*source, 4, "n.txt", "abc");
  TVantrelArchiveReference* archive = source->GetArchive();
  TVantrelAssetsGroup* target = NewPackage("target")->GetGroup(4);
  TVantrelAsset* first = TVantrelAsset::LoadFromArchive(archive, target, asset->GetArchivePath());
  TVantrelAsset* second = TVantrelAsset::LoadFromArchive(archive, target, asset->GetArchivePath());
  EXPECT_EQ(first, second);
  EXPECT_EQ(target->Count(), 1);
  EXPECT_EQ(first->State(), TAssetState::asLoaded);
  EXPECT_EQ(static_cast<TVantrelStreamAsset*>(first)->Stream()->GetSize(), 3);
}

TEST_F(AssetsGroup, ADescriptorOfAnotherClassIsRefusedWithoutLeaking) {
  TVantrelAssetsPackage* source = NewPackage("source");
  TVantrelAsset* audio = AddStreamAsset(*source, 2, "song.mp3", "abc");
  TVantrelAssetsGroup* misc = NewPackage("target")->GetGroup(4);
  // The sanitizer's leak check proves the refused asset is freed.
  EXPECT_THROW(TVantrelAsset::LoadFromArchive(source->GetArchive(), misc, audio->GetArchivePath()),
               EVantrelAssetsException);
  EXPECT_EQ(misc->Count(), 0);
}

} // namespace
