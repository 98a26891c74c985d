// Packages and the manager: standard groups, descriptors, file names with placeholders, the write
// probe, loading and scanning, archive-path lookups and the event choreography.

#include <gtest/gtest.h>

#include "assets_fixture.h"
#include "support/dialog_driver.h"
#include "support/log_capture.h"
#include "ui/application.h"
#include "utils/Vantrel.Utils.Dialogs.h"

using namespace vantrel;
using vtest::TPackageEventRow;
using E = vantrel::TVantrelPackageEvent;

namespace {

class AssetsPackage : public vtest::TAssetsTest {
protected:
  // A package loaded from AZip under a new name (in-memory archives are shared by name).
  TVantrelAssetsPackage* LoadZip(const rtl::TBytes& AZip) {
    rtl::TBytesStream stream(AZip);
    TVantrelAssetsPackage* package = NewPackage("loaded" + std::to_string(FLoaded++));
    package->LoadFromStream(&stream);
    return package;
  }
  rtl::TBytes Saved(TVantrelAssetsPackage& APackage) {
    rtl::TBytesStream stream;
    APackage.SaveToStream(&stream);
    return rtl::TBytes(stream.Bytes().begin(), stream.Bytes().begin() + stream.GetSize());
  }
  int FLoaded = 0;
  static std::vector<std::string> GroupNames(const TVantrelAssetsPackage& APackage) {
    std::vector<std::string> names;
    for (int i = 0; i < APackage.GetGroups()->Count(); ++i)
      names.push_back(APackage.GetGroups()->Items(i)->GetDisplayName());
    return names;
  }
};

TEST_F(AssetsPackage, NewPackageHasTheTenGroupsAndWritesTheirDescriptors) {
  TVantrelAssetsPackage* package = NewPackage();
  EXPECT_EQ(GroupNames(*package), (std::vector<std::string>{"MODEL", "TEXTURE", "AUDIO", "VIDEO", "MISC", "DIALOGUE",
                                                            "INVENTORY", "SCRIPT", "PREFAB", "SKILLS"}));
  AddStreamAsset(*package, 4, "a b.txt", "hello");
  const auto entries = Entries(*package);
  EXPECT_EQ(entries.at("MODEL/group.json"),
            R"({"Id":0,"Descr":"MODEL","Version":"1.3","AssetClass":"Vantrel.AssetsManager.TVantrelModelAsset",)"
            R"("path":"MODEL/group.json"})");
  TVantrelAsset* asset = package->GetGroup(4)->FindAssetByFilename("a b.txt", true);
  ASSERT_NE(asset, nullptr);
  const std::string folder = "MISC/" + asset->Id().ToString();
  EXPECT_EQ(asset->GetArchivePath(), folder);
  EXPECT_EQ(entries.at(folder + "/asset.json"),
            R"({"Type":"Vantrel.AssetsManager.TVantrelMiscAsset","Id":")" + asset->Id().ToString() +
                R"(","Version":"1.3","Filename":"a%20b.txt","Extension":".txt","path":")" + folder +
                R"(/asset.json"})");
  EXPECT_EQ(entries.at(folder + "/a b.txt"), "hello");
}

TEST_F(AssetsPackage, LogListsGroupsAndAssetsWithTheirIndents) {
  TVantrelAssetsPackage* package = NewPackage();
  AddStreamAsset(*package, 4, "a b.txt", "hello");
  EXPECT_EQ(package->Log(), "pkg ()\r\n"
                            "    MODEL (TVantrelModelAsset)\r\n"
                            "    TEXTURE (TVantrelTextureAsset)\r\n"
                            "    AUDIO (TVantrelAudioAsset)\r\n"
                            "    VIDEO (TVantrelVideoAsset)\r\n"
                            "    MISC (TVantrelMiscAsset)\r\n"
                            "        a b.txt (.txt)\r\n"
                            "    DIALOGUE (TVantrelDialogueAsset)\r\n"
                            "    INVENTORY (TVantrelInventoryAsset)\r\n"
                            "    SCRIPT (TVantrelScriptAsset)\r\n"
                            "    PREFAB (TVantrelPrefabAsset)\r\n"
                            "    SKILLS (TVantrelSkillsAsset)\r\n");
  EXPECT_GT(Manager().GetSize(), package->GetSize());
  EXPECT_GT(package->GetSize(), package->GetGroup(4)->GetSize());
}

TEST_F(AssetsPackage, FilenamesExpandPlaceholdersAndResolveAgainstTheExecutableFolder) {
  rtl::TDirectory::CreateDirectory(rtl::TPath::Combine(FExe, "packs"));
  const std::string locked = Scratch("locked");
  rtl::TDirectory::CreateDirectory(locked);
  rtl::TFile::WriteAllText(rtl::TPath::Combine(locked, "chk.tmp"), "left over");
  struct Case {
    const char* Name;
    std::string Value;
    std::string LoadName; // empty: the write probe fails
  } cases[] = {
      {"placeholder in lower case", "{home}data.pak", FHome + "/data.pak"},
      {"unknown placeholder, relative", "{nope}x.pak", FExe + "/{NOPE}x.pak"},
      {"relative folder", "packs/level1.pak", FExe + "/packs/level1.pak"},
      {"backslashes", "{ASSETS}..\\win.pak", FHome + "/assets/../win.pak"},
      {"leftover probe file", locked + "/p.pak", ""},
  };
  rtl::TDirectory::CreateDirectory(rtl::TPath::Combine(FHome, "assets"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TVantrelAssetsPackage* package = NewPackage(c.Name);
    if (c.LoadName.empty()) {
      try {
        package->SetFilename(c.Value);
        ADD_FAILURE() << "no exception";
      } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "Failed to read/write package - missing write-access in folder: " + locked);
      }
      EXPECT_EQ(package->GetFilename(), "");
      EXPECT_FALSE(package->HasArchive());
      continue;
    }
    package->SetFilename(c.Value);
    ASSERT_TRUE(package->HasArchive());
    EXPECT_EQ(package->GetArchive()->Id(), c.LoadName);
    // A missing package file is created, as an empty archive.
    EXPECT_EQ(rtl::TFile::GetSize(c.LoadName), 22);
    EXPECT_FALSE(rtl::TFile::Exists(rtl::TPath::Combine(rtl::TPath::GetDirectoryName(c.LoadName), "chk.tmp")));
  }
  // Kept: a relative name is replaced by the absolute load name (stored forms may rely on it).
  EXPECT_EQ(Manager().GetPackage("relative folder")->GetFilename(), FExe + "/packs/level1.pak");
  EXPECT_EQ(Manager().GetPackage("placeholder in lower case")->GetFilename(), "{home}data.pak");
}

TEST_F(AssetsPackage, GroupByIndexChecksTheStandardNames) {
  const rtl::TBytes legacyFirst = MakeZip(
      {{"MODELS/group.json", R"({"Id":0,"Descr":"MODELS","AssetClass":"Vantrel.AssetsManager.TVantrelModelAsset"})"}});
  const rtl::TBytes textureFirst = MakeZip(
      {{"TEXTURE/group.json", R"({"Id":0,"Descr":"TEXTURE","AssetClass":"Vantrel.AssetsManager.TVantrelTextureAsset"})"}});
  vtest::TLogCapture log;
  TVantrelAssetsPackage* legacy = LoadZip(legacyFirst);
  EXPECT_EQ(legacy->GetGroup(0)->GetDisplayName(), "MODELS");
  EXPECT_TRUE(log.Lines().empty());
  TVantrelAssetsPackage* reordered = LoadZip(textureFirst);
  EXPECT_EQ(GroupNames(*reordered)[0], "TEXTURE");
  EXPECT_EQ(reordered->GetGroup(0)->GetDisplayName(), "MODEL");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"invalid group id <> name correlation found for \"MODEL\""});
}

TEST_F(AssetsPackage, ArchivePathsFindNestedAssetsWhateverTheGroupOrder) {
  TVantrelAssetsPackage* package = NewPackage();
  auto* model = static_cast<TVantrelModelAsset*>(package->GetGroup(0)->AddEmptyAsset("ship.v3d", false));
  TVantrelAsset* texture = model->GetSubGroup(1)->AddEmptyAsset("wood.png", false);
  TVantrelAsset* note = texture->AddSubGroup(TVantrelMiscAsset::StaticClass())->AddEmptyAsset("note.txt", false);
  package->GetArchive(); // empty assets write nothing themselves: the package's save writes them all
  const auto entries = Entries(*package);
  const std::string modelPath = model->GetArchivePath() + "/asset.json";
  const std::string texturePath = texture->GetArchivePath() + "/asset.json";
  const std::string notePath = note->GetArchivePath() + "/asset.json";
  ASSERT_EQ(notePath, "MODEL/" + model->Id().ToString() + "/TEXTURE/" + texture->Id().ToString() + "/MISC/" +
                          note->Id().ToString() + "/asset.json");
  ASSERT_TRUE(entries.count(notePath));

  // The same archive in its saved order, and with the TEXTURE group's descriptor first: the scan
  // then makes TEXTURE group 0, and a lookup by position would search the wrong group.
  std::vector<std::pair<std::string, std::string>> textureFirst{{"TEXTURE/group.json", entries.at("TEXTURE/group.json")}};
  for (const auto& entry : entries)
    if (entry.first != "TEXTURE/group.json")
      textureFirst.push_back(entry);
  vtest::TLogCapture log;
  for (const rtl::TBytes& zip : {Saved(*package), MakeZip(textureFirst)}) {
    TVantrelAssetsPackage* loaded = LoadZip(zip);
    struct Case {
      std::string Path;
      const TVantrelAsset* Expected;
    } cases[] = {{modelPath, model}, {texturePath, texture}, {notePath, note}, {model->GetArchivePath(), nullptr},
                 {"", nullptr},      {"MODEL/not-a-guid/asset.json", nullptr}};
    for (const Case& c : cases) {
      SCOPED_TRACE(c.Path);
      TVantrelAsset* found = loaded->FindAssetByArchivePath(c.Path);
      if (!c.Expected) {
        EXPECT_EQ(found, nullptr);
        continue;
      }
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->Id(), c.Expected->Id());
      EXPECT_EQ(&found->ClassType(), &c.Expected->ClassType());
    }
    loaded->Free();
  }
  for (const std::string& line : log.Lines())
    EXPECT_EQ(line.find("correlation"), std::string::npos) << line;
}

TEST_F(AssetsPackage, ScanSkipsFoldersWithoutADescriptorAndDescriptorsThatAreNoObject) {
  const std::string model = "MODEL/" + rtl::TGUID::NewGuid().ToString();
  const std::string misc = "MISC/" + rtl::TGUID::NewGuid().ToString();
  TVantrelAssetsPackage* package =
      LoadZip(MakeZip({{"MODEL/group.json", R"({"Id":0,"Descr":"MODEL"})"},
                       {model + "/ship.v3d", "payload"},
                       {"MISC/group.json", R"({"Id":4,"Descr":"MISC"})"},
                       {misc + "/asset.json", "[]"},
                       {misc + "/x.txt", "payload"}}));
  EXPECT_EQ(package->GetGroup(0)->Count(), 0);
  EXPECT_EQ(package->GetGroup(4)->Count(), 0);
  EXPECT_EQ(package->GetGroups()->Count(), 10);
}

TEST_F(AssetsPackage, SavingAPackageThatNeverHadAnArchiveWritesNothing) {
  TVantrelAssetsPackage* package = NewPackage();
  const std::string target = Scratch("never.pak");
  package->SaveToFile(target);
  rtl::TBytesStream stream;
  package->SaveToStream(&stream);
  EXPECT_FALSE(rtl::TFile::Exists(target));
  EXPECT_EQ(stream.GetSize(), 0);
  EXPECT_FALSE(package->HasArchive());
}

TEST_F(AssetsPackage, ScanningOpensTheZipOnceAndPackagesShareTheirFile) {
  TVantrelAssetsPackage* source = NewPackage("source");
  for (int i = 0; i < 50; ++i)
    AddStreamAsset(*source, 4, "file" + std::to_string(i) + ".txt", "content " + std::to_string(i));
  const std::string file = Scratch("fifty.pak");
  source->SaveToFile(file);

  TVantrelAssetsPackage* first = Manager().LoadPackageFromFile(file);
  EXPECT_EQ(first->GetGroup(4)->Count(), 50);
  TVantrelArchiveReference* reference = first->GetArchive();
  EXPECT_EQ(reference->GetZipOpenCount(), 1);

  TVantrelAssetsPackage* second = Manager().LoadPackageFromFile(file);
  EXPECT_EQ(second->GetArchive(), reference);
  EXPECT_EQ(reference->RefCount(), 2);
  first->Close();
  EXPECT_TRUE(Manager().ArchiveReferences()->ArchiveExists(file));
  second->Close();
  EXPECT_FALSE(Manager().ArchiveReferences()->ArchiveExists(file));
}

TEST_F(AssetsPackage, EventsFireAroundEveryChange) {
  TVantrelAssetsPackage* package = NewPackage();
  vtest::TPackageEventRecorder events;
  events.Attach(*package);
  auto expect = [&](const char* AWhat, const std::vector<TPackageEventRow>& ARows) {
    SCOPED_TRACE(AWhat);
    EXPECT_EQ(events.Rows, ARows);
    events.Rows.clear();
  };

  package->Initialize();
  std::vector<TPackageEventRow> initialize{{E::PackageInitialize, true, package}};
  for (int i = 0; i < 10; ++i)
    initialize.push_back({E::GroupAdd, true, nullptr});
  initialize.push_back({E::PackageInitialize, false, package});
  expect("Initialize of a complete package", initialize);

  package->AddGroup(TVantrelAudioAsset::StaticClass());
  expect("AddGroup of an existing class", {{E::GroupAdd, true, nullptr}});
  package->RemoveGroup("none");
  expect("RemoveGroup of no group", {{E::GroupRemove, true, nullptr}, {E::GroupRemove, false, nullptr}});
  package->RemoveGroup("AUDIO");
  events.Rows.clear();
  TVantrelAssetsGroup* audio = package->AddGroup(TVantrelAudioAsset::StaticClass());
  expect("AddGroup of a new class", {{E::GroupAdd, true, nullptr}, {E::GroupAdd, false, audio}});

  TVantrelAsset* asset = AddStreamAsset(*package, 4, "a.txt", "x");
  expect("GetAssetFromStream", {{E::AssetAdd, true, nullptr}, {E::AssetAdd, false, asset}});
  auto* extra = rtl::New<TVantrelMiscAsset>(package->GetGroup(4));
  EXPECT_TRUE(package->GetGroup(4)->AddAsset(extra));
  expect("AddAsset", {{E::AssetAdd, true, extra}, {E::AssetAdd, false, extra}});
  package->GetGroup(4)->Assets().Remove(extra->Id());
  expect("removing one asset", {{E::AssetRemove, true, extra}, {E::AssetRemove, false, nullptr}});

  package->Clear(true);
  ASSERT_GE(events.Rows.size(), 2u);
  EXPECT_EQ(events.Rows.front(), (TPackageEventRow{E::PackageClear, true, package}));
  EXPECT_EQ(events.Rows.back(), (TPackageEventRow{E::PackageClear, false, package}));
  EXPECT_EQ(std::count(events.Rows.begin(), events.Rows.end(), TPackageEventRow{E::AssetRemove, true, asset}), 1);
  EXPECT_EQ(package->GetGroups()->Count(), 0);
  EXPECT_TRUE(package->GetArchive()->GetFileNames().empty());
}

} // namespace

// At design time a package file loads inside the progress window; a file that fails to load is
// reported there, not raised to the form being edited.
TEST_F(AssetsPackage, DesignTimeLoadsRunInTheProgressWindow) {
  TProgressForm::SetStartDelay(0);
  TVantrelAssetsPackage* source = NewPackage("source");
  AddStreamAsset(*source, 4, "notes.txt", "hello");
  const std::string good = Scratch("good.pak");
  source->SaveToFile(good);
  const std::string bad = Scratch("bad.pak");
  rtl::TFile::WriteAllBytes(bad, rtl::TBytes(100, 0x55));

  Manager().SetDesigning(true);
  vtest::TScriptedDialogs dialogs;
  vtest::TLogCapture log;
  TVantrelAssetsPackage* loaded = NewPackage("design");
  loaded->SetFilename(good);
  EXPECT_EQ(loaded->GetGroup(4)->Count(), 1);
  TVantrelAssetsPackage* broken = NewPackage("broken");
  EXPECT_NO_THROW(broken->SetFilename(bad));
  EXPECT_EQ(dialogs.ModalForms(),
            (std::vector<std::string>{"Please wait, loading package ...", "Please wait, loading package ..."}));
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].rfind("<ERROR> ", 0), 0u) << dialogs.Messages()[0];
  ui::Application().DestroyForms();
}
