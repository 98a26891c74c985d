// Model assets and the loaders' package steps: the .v3d reader keeps its definitions in package
// assets, the entry points look those up before reading, failed reads leave nothing behind, and
// textures read while a load runs take its size limits.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "assets_fixture.h"
#include "definitions/Vantrel.Loader.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "scene/Vantrel.Model.h"
#include "support/error_of.h"
#include "support/log_capture.h"
#include "support/model_fixture.h"

using namespace vantrel;

namespace {

using vtest::ClassAndErrorOf;

// A stream that fails every read, to show that a load did not touch it.
class TUnreadableStream : public rtl::TStream {
public:
  int64_t Read(void*, int64_t) override { throw rtl::EReadError("read from the unreadable stream"); }
  int64_t Write(const void*, int64_t ACount) override { return ACount; }
  int64_t Seek(int64_t, rtl::TSeekOrigin) override { return 0; }
};

// A reader that cannot read streams: it records what it was given and answers the fixture model.
class TFileOnlyLoader : public TVantrelLoader {
public:
  TFileOnlyLoader() { FLoadFromStreamAllowed = false; }
  using TVantrelLoader::LoadModelDefFromStream;
  TModelDef* LoadModelDefFromStream(rtl::TStream* AStream, const TVantrelLoadOptions&) override {
    Streams.push_back(AStream);
    return vtest::MakeFixtureModel().release();
  }
  std::vector<rtl::TStream*> Streams;
};

class AssetsModel : public vtest::TAssetsTest {
protected:
  // The models go before the packages whose definitions they show.
  void TearDown() override {
    FOwner.reset();
    TAssetsTest::TearDown();
  }
  // The fixture model as a compact JSON .v3d.
  static rtl::TBytes FixtureV3D() {
    rtl::TOwned<TModelDef> model = vtest::MakeFixtureModel();
    return V3DOf(*model);
  }
  static rtl::TBytes V3DOf(const TModelDef& AModel) {
    rtl::TOwned<TVantrelV3DExporter> exporter = rtl::MakeOwned<TVantrelV3DExporter>();
    exporter->SetOptions({});
    rtl::TBytesStream stream;
    exporter->SaveToStream(&AModel, &stream);
    return rtl::TBytes(stream.Bytes().begin(), stream.Bytes().begin() + stream.GetSize());
  }
  // A .v3d whose JSON body is AJSON, written by hand after the exporter's header.
  static rtl::TBytes V3DWithBody(const std::string& AJSON) {
    rtl::TOwned<TModelDef> empty = rtl::MakeOwned<TModelDef>();
    rtl::TBytes bytes = V3DOf(*empty);
    bytes.resize(32);
    bytes.insert(bytes.end(), AJSON.begin(), AJSON.end());
    return bytes;
  }
  // The JSON of the fixture model whose first material has a texture of a package asset.
  std::string TexturedModelText() {
    TVantrelAssetsPackage* source = NewPackage("textures");
    auto* texture = static_cast<TVantrelTextureAsset*>(source->GetGroup(1)->AddEmptyAsset("hull.png", false));
    rtl::TOwned<TModelDef> def = vtest::MakeFixtureModel();
    (*def->GetMaterials().Values().begin()).Material->AddTexture(TColorChannelDef::Diffuse, texture, false);
    return def->ToJSON()->ToJSON();
  }
  // AJSON with a controller that names no mesh, which fails after the materials were read.
  static std::string BrokenAfterMaterials(std::string AJSON) {
    const std::string bad = R"({"Id":"c1"})";
    if (const size_t at = AJSON.find(R"("Controllers":[)"); at != std::string::npos) {
      const size_t open = at + std::string(R"("Controllers":[)").size();
      AJSON.insert(open, AJSON[open] == ']' ? bad : bad + ",");
    } else {
      AJSON.insert(AJSON.rfind('}'), R"(,"Controllers":[)" + bad + "]");
    }
    return AJSON;
  }
  std::string WriteScratch(const std::string& AName, const rtl::TBytes& ABytes) const {
    const std::string path = Scratch(AName);
    rtl::TFile::WriteAllBytes(path, ABytes);
    return path;
  }
  rtl::TOwned<rtl::TComponent> FOwner{rtl::New<rtl::TComponent>(nullptr)};
  // Outlives the packages it records, which fire events until they are freed.
  vtest::TPackageEventRecorder FEvents;
};

// A model's texture lives in the model asset's TEXTURE sub-group: after the package is saved and
// reloaded (and the picture file is gone), the reloaded definition's texture refers to that
// sub-asset, whose bitmap decodes from the archive.
TEST_F(AssetsModel, ATexturedModelFindsItsTextureInItsSubGroupAfterReloading) {
  const std::string picture = Scratch("hull.png");
  {
    rtl::TOwned<ui::TBitmap> bitmap(rtl::New<ui::TBitmap>());
    bitmap->SetSize(5, 3);
    bitmap->Clear(0xFF4080C0);
    bitmap->SaveToFile(picture);
  }
  TVantrelAssetsPackage* package = NewPackage();
  auto* asset = static_cast<TVantrelModelAsset*>(package->GetGroup(0)->AddEmptyAsset("ship.v3d", false));
  auto* texture = static_cast<TVantrelTextureAsset*>(asset->GetSubGroup(1)->GetAssetFromFile(picture, false));
  ASSERT_NE(texture, nullptr);
  rtl::TOwned<TModelDef> def = vtest::MakeFixtureModel();
  const auto& materials = def->GetMaterials();
  ASSERT_GT(materials.Count(), 0);
  TMaterialDef* material = (*materials.Values().begin()).Material;
  material->AddTexture(TColorChannelDef::Diffuse, texture, false);
  asset->SetModel(std::move(def));

  const std::string saved = Scratch("textured.pak");
  package->SaveToFile(saved);
  rtl::TFile::Delete(picture);
  TVantrelAssetsPackage* loaded = Manager().LoadPackageFromFile(saved);
  auto* copy = static_cast<TVantrelModelAsset*>(loaded->GetGroup(0)->GetAssetFromId(asset->Id()));
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->Model(), nullptr);
  TMaterialDef* copyMaterial = (*copy->Model()->GetMaterials().Values().begin()).Material;
  TTextureDef* copyTexture = copyMaterial->GetTexture(TColorChannelDef::Diffuse);
  ASSERT_NE(copyTexture, nullptr);
  TVantrelTextureAsset* copyAsset = copyTexture->GetAssetRef();
  ASSERT_NE(copyAsset, nullptr);
  EXPECT_EQ(copyAsset->Group(), copy->GetSubGroup(1));
  EXPECT_EQ(copyAsset->Id(), texture->Id());
  EXPECT_EQ(copy->GetSubGroup(1)->Count(), 1);
  ui::TBitmap* bitmap = copyAsset->Bitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), 5);
  EXPECT_EQ(bitmap->Height(), 3);
}

// A package's user load options replace the payload's own, but the payload still belongs to its
// asset: a model nested in another model's sub-group gets its definition, and the reader adds no
// second asset for the file to the package's model group.
TEST_F(AssetsModel, UserLoadOptionsKeepAPayloadWithItsAsset) {
  TVantrelAssetsPackage* package = NewPackage();
  auto* outer = static_cast<TVantrelModelAsset*>(package->GetGroup(0)->AddEmptyAsset("outer.v3d", false));
  outer->SetModel(vtest::MakeFixtureModel());
  auto* inner = static_cast<TVantrelModelAsset*>(outer->GetSubGroup(0)->AddEmptyAsset("inner.v3d", false));
  inner->SetModel(vtest::MakeFixtureModel());
  const std::string saved = Scratch("nested.pak");
  package->SaveToFile(saved);

  TVantrelAssetsPackage* loaded = Manager().AddEmptyPackage("user");
  TVantrelLoadOptions user;
  user.TextureLimits = {256, 256};
  loaded->SetUserLoadOptions(user);
  loaded->LoadFromFile(saved);
  EXPECT_EQ(loaded->GetGroup(0)->Count(), 1);
  auto* outerCopy = static_cast<TVantrelModelAsset*>(loaded->GetGroup(0)->GetAssetFromId(outer->Id()));
  ASSERT_NE(outerCopy, nullptr);
  auto* innerCopy = static_cast<TVantrelModelAsset*>(outerCopy->GetSubGroup(0)->GetAssetFromId(inner->Id()));
  ASSERT_NE(innerCopy, nullptr);
  ASSERT_NE(innerCopy->Model(), nullptr);
  EXPECT_EQ(innerCopy->Model()->GetAsset(), innerCopy);
}

TEST_F(AssetsModel, ReadingAFileTwiceThroughAPackageReturnsTheSameDefinition) {
  TVantrelAssetsPackage* package = NewPackage();
  rtl::TBytesStream file(FixtureV3D());
  TModelDef* first = TVantrelLoader::LoadUndefinedModelDefFromStream(&file, package, "ship.v3d", "");
  ASSERT_NE(first, nullptr);
  auto* asset =
      dynamic_cast<TVantrelModelAsset*>(package->GetGroup(0)->FindAssetByFilename("ship.v3d", false));
  ASSERT_NE(asset, nullptr);
  EXPECT_EQ(asset->Model(), first);
  EXPECT_EQ(first->GetPackage(), package);
  EXPECT_EQ(first->GetAsset(), asset);
  EXPECT_EQ(asset->State(), TAssetState::asStored);

  TUnreadableStream unreadable;
  TVantrelLoader& reader = *TVantrelLoader::GetLoaderByExtension(".v3d");
  const std::function<TModelDef*()> again[] = {
      [&] { return TVantrelLoader::LoadUndefinedModelDefFromStream(&unreadable, package, "ship.v3d", ""); },
      [&] { return reader.LoadModelDefFromStream(&unreadable, package, "ship.v3d"); },
      [&] {
        return TVantrelLoader::FindExistingAssetInPackage(TVantrelLoadOptions::Create("ship.v3d", package))
            ->Model();
      },
  };
  for (const auto& load : again)
    EXPECT_EQ(load(), first);

  // The model forms build from the held definition without reading, and do not own it.
  TVantrelModel* model =
      TVantrelLoader::LoadUndefinedModelFromStream(FOwner.get(), package, &unreadable, "ship.v3d", {});
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->Def(), first);
  EXPECT_FALSE(model->OwnsDefinition());
  EXPECT_EQ(model->Owner(), FOwner.get());
  EXPECT_EQ(package->GetGroup(0)->Count(), 1);

  // The definition form opens its file before the lookup.
  const std::string missing = Scratch("gone/ship.v3d");
  EXPECT_EQ(ClassAndErrorOf([&] {
              TVantrelLoader::LoadUndefinedModelDefFromFile(package, missing);
            }).rfind("EFOpenError: ", 0),
            0u);
}

// A body whose definition fails to read removes the asset the reader added for it (its removal
// events fire) and frees the definition; the error reaches the caller.
TEST_F(AssetsModel, AFailedReadLeavesNoAssetInThePackage) {
  TVantrelAssetsPackage* package = NewPackage();
  vtest::TPackageEventRecorder& events = FEvents;
  events.Attach(*package);
  rtl::TBytesStream file(V3DWithBody(R"({"Id":"Broken","Controllers":[{"Id":"c1"}]})"));
  EXPECT_EQ(ClassAndErrorOf(
                [&] { TVantrelLoader::LoadUndefinedModelDefFromStream(&file, package, "broken.v3d", ""); }),
            "Exception: failed to load controller c1 - mesh id not set");
  EXPECT_EQ(package->GetGroup(0)->Count(), 0);
  // The asset was added, then removed (its sub-groups clearing in between).
  ASSERT_GT(events.Rows.size(), 4u);
  const rtl::TObject* added = events.Rows[1].Item;
  EXPECT_EQ(events.Rows[1], (vtest::TPackageEventRow{TVantrelPackageEvent::AssetAdd, false, added}));
  EXPECT_EQ(events.Rows[2], (vtest::TPackageEventRow{TVantrelPackageEvent::AssetRemove, true, added}));
  EXPECT_EQ(events.Rows.back(), (vtest::TPackageEventRow{TVantrelPackageEvent::AssetRemove, false, nullptr}));

  // A textured body resolves its texture into the added asset's sub-group before it fails; the
  // definition, which registered that texture asset, goes before the asset that holds it.
  rtl::TBytesStream textured(V3DWithBody(BrokenAfterMaterials(TexturedModelText())));
  TVantrelAssetsPackage* second = NewPackage("second");
  EXPECT_EQ(ClassAndErrorOf(
                [&] { TVantrelLoader::LoadUndefinedModelDefFromStream(&textured, second, "hull.v3d", ""); }),
            "Exception: failed to load controller c1 - mesh id not set");
  EXPECT_EQ(second->GetGroup(0)->Count(), 0);
}

TEST_F(AssetsModel, EntryPointErrorsAndCasts) {
  TVantrelAssetsPackage* package = NewPackage();
  rtl::TOwned<TModelDef> plain = rtl::MakeOwned<TModelDef>();
  TVantrelModel* existing = rtl::New<TVantrelModel>(FOwner.get());
  const std::string file = WriteScratch("m.v3d", FixtureV3D());
  TVantrelLoadOptions v3dOnBin = TVantrelLoadOptions::Create(Scratch("m.bin"));
  v3dOnBin.FileInfo.Ext = ".v3d";
  struct TCase {
    const char* Name;
    std::function<void()> Load;
    std::string Expect;
  };
  const TCase cases[] = {
      {"the path's extension decides for an existing model",
       [&] { TVantrelLoader::LoadUndefinedExistingModelFromFile(existing, v3dOnBin); },
       "EVantrelLoaderException: model format not supported: " + Scratch("m.bin")},
      {"model forms name the path only",
       [&] { TVantrelLoader::LoadUndefinedModelFromFile(FOwner.get(), nullptr, "m.obj", {}); },
       "EVantrelLoaderException: model format not supported: m.obj"},
      {"a package of another class",
       [&] { TVantrelLoader::LoadUndefinedModelDefFromFile(plain.get(), file); },
       "EInvalidCast: Invalid class typecast"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    EXPECT_EQ(ClassAndErrorOf(test.Load), test.Expect);
  }
  EXPECT_EQ(package->GetGroup(0)->Count(), 0);

  const int components = FOwner->ComponentCount();
  EXPECT_EQ(TVantrelLoader::LoadModelFromDef(FOwner.get(), nullptr, TAnimationCachingFlags{}), nullptr);
  TVantrelLoader::LoadExistingModelFromDef(existing, nullptr, TAnimationCachingFlags{});
  EXPECT_EQ(FOwner->ComponentCount(), components) << "no model was made";
  EXPECT_EQ(existing->Def(), nullptr);
}

// Every model form reads the fixture into a model that owns its definition when no package holds
// it; an asset found without a definition is handed the one read.
TEST_F(AssetsModel, ModelFormsBuildModelsAndFillAnEmptyAsset) {
  const std::string file = WriteScratch("ship.v3d", FixtureV3D());
  rtl::TBytes bytes = FixtureV3D();
  struct TCase {
    const char* Name;
    std::function<TVantrelModel*(TVantrelModel* AExisting)> Load;
  };
  const TCase cases[] = {
      {"new from file",
       [&](TVantrelModel*) {
         return TVantrelLoader::LoadUndefinedModelFromFile(FOwner.get(), nullptr, file, {});
       }},
      {"existing from file",
       [&](TVantrelModel* AModel) {
         TVantrelLoader::LoadUndefinedExistingModelFromFile(AModel, nullptr, file, {});
         return AModel;
       }},
      {"new from stream",
       [&](TVantrelModel*) {
         rtl::TBytesStream stream(bytes);
         return TVantrelLoader::LoadUndefinedModelFromStream(FOwner.get(), nullptr, &stream, "ship.v3d", {});
       }},
      {"existing from stream",
       [&](TVantrelModel* AModel) {
         rtl::TBytesStream stream(bytes);
         TVantrelLoader::LoadUndefinedExistingModelFromStream(AModel, nullptr, &stream, "ship.v3d", {});
         return AModel;
       }},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TVantrelModel* model = test.Load(rtl::New<TVantrelModel>(FOwner.get()));
    ASSERT_NE(model, nullptr);
    auto* def = dynamic_cast<TModelDef*>(model->Def());
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->GetId(), "Fixture");
    EXPECT_TRUE(model->OwnsDefinition());
    EXPECT_GT(model->ChildrenCount(), 0);
  }

  TVantrelAssetsPackage* package = NewPackage();
  auto* asset = static_cast<TVantrelModelAsset*>(package->GetGroup(0)->AddEmptyAsset("ship.v3d", false));
  TVantrelModel* model = TVantrelLoader::LoadUndefinedModelFromFile(FOwner.get(), package, file, {});
  EXPECT_EQ(asset->Model(), model->Def());
  EXPECT_FALSE(model->OwnsDefinition());
}

// A reader that cannot read streams gets none and the file is not opened, except by the existing
// model's form, which always opens it; non-empty caching flags cache the animations for the model.
TEST_F(AssetsModel, StreamlessReadersAndCaching) {
  rtl::TOwned<TFileOnlyLoader> loader = rtl::MakeOwned<TFileOnlyLoader>();
  TVantrelLoader::GetLoaderRegistry().Add(".fo", loader.get());
  const std::string missing = Scratch("missing/m.fo");
  TVantrelModel* model = TVantrelLoader::LoadUndefinedModelFromFile(FOwner.get(), nullptr, missing, {});
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(loader->Streams, (std::vector<rtl::TStream*>{nullptr}));
  EXPECT_EQ(ClassAndErrorOf([&] {
              TVantrelLoader::LoadUndefinedExistingModelFromFile(model, nullptr, missing, {});
            }).rfind("EFOpenError: ", 0),
            0u);
  TVantrelLoader::GetLoaderRegistry().Remove(".fo");

  for (const TAnimationCachingFlags flags :
       {TAnimationCachingFlags{}, TAnimationCachingFlags{TAnimationCachingFlag::VertexPosition}}) {
    vtest::TLogCapture log;
    TVantrelModel* built =
        TVantrelLoader::LoadModelFromDef(FOwner.get(), vtest::MakeFixtureModel().release(), flags);
    ASSERT_NE(built, nullptr);
    bool cached = false;
    for (const std::string& line : log.Lines())
      cached = cached || line.rfind("Caching ", 0) == 0;
    EXPECT_EQ(cached, !flags.IsEmpty());
  }
}

// Importing a .v3d file into the model group reads it through the loader, keeps the definition in
// the asset and stores it; an unknown model format is refused by the loader.
TEST_F(AssetsModel, ImportingModelFilesGoesThroughTheLoader) {
  TVantrelAssetsPackage* package = NewPackage();
  const std::string file = WriteScratch("ship.v3d", FixtureV3D());
  auto* asset = dynamic_cast<TVantrelModelAsset*>(package->AddAssetFromFile(file));
  ASSERT_NE(asset, nullptr);
  ASSERT_NE(asset->Model(), nullptr);
  EXPECT_EQ(asset->Model()->GetId(), "Fixture");
  EXPECT_EQ(asset->Model()->GetPackage(), package);
  EXPECT_EQ(package->GetGroup(0)->Count(), 1);
  EXPECT_TRUE(package->GetArchive()->FileExists(asset->GetArchivePath() + "/ship.v3d"));

  rtl::TOwned<TVantrelModelAsset> groupless(rtl::New<TVantrelModelAsset>(nullptr));
  rtl::TBytesStream stream(FixtureV3D());
  groupless->ImportFromStream("/some/where/Ship.V3D", &stream, {});
  EXPECT_EQ(groupless->Filename(), "Ship.V3D");
  EXPECT_EQ(groupless->Extension(), ".v3d");
  ASSERT_NE(groupless->Model(), nullptr);
  EXPECT_EQ(groupless->Model()->GetAsset(), groupless.get());
  // A re-import reads the new file instead of answering with the definition held.
  rtl::TOwned<TModelDef> second = rtl::MakeOwned<TModelDef>();
  second->SetId("Second");
  rtl::TBytesStream secondStream(V3DOf(*second));
  groupless->ImportFromStream("second.v3d", &secondStream, {});
  ASSERT_NE(groupless->Model(), nullptr);
  EXPECT_EQ(groupless->Model()->GetId(), "Second");

  rtl::TBytesStream obj(rtl::TBytes{1, 2, 3});
  EXPECT_EQ(ClassAndErrorOf([&] { groupless->ImportFromStream("cube.obj", &obj, {}); }),
            "EVantrelLoaderException: model format not supported: cube.obj - check if unit is included "
            "\"Vantrel.obj.Loader");
  const std::pair<std::string, std::string> refused[] = {
      {"", "AssetsManager.ModelAsset - filename empty"},
      {"noext", "AssetsManager.ModelAsset exception - invalid file extension ``"},
      {"x.", "AssetsManager.ModelAsset exception - invalid file extension `.`"},
  };
  for (const auto& [name, message] : refused) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ClassAndErrorOf([&] { groupless->ImportFromStream(name, &obj, {}); }),
              "EVantrelAssetsException: " + message);
  }
}

// While a load with texture limits runs on this thread, pictures decoded for textures shrink to
// them; once the loader is unset its options stay in the record but limit nothing.
TEST_F(AssetsModel, TexturesTakeTheLimitsOfTheRunningLoad) {
  rtl::TOwned<ui::TBitmap> picture(rtl::New<ui::TBitmap>());
  picture->SetSize(4096, 2048);
  picture->Clear(0xFF204080);
  rtl::TBytesStream png;
  picture->SaveToStream(png);
  TVantrelLoadOptions options = TVantrelLoadOptions::Create("level.v3d");
  options.TextureLimits = {1024, 1024};
  struct TCase {
    const char* Name;
    bool Running;
    int32_t Width, Height;
  };
  for (const TCase& test : {TCase{"running", true, 1024, 512}, TCase{"finished", false, 4096, 2048}}) {
    SCOPED_TRACE(test.Name);
    TVantrelLoader::SetCurrentThreadLoader(TVantrelLoader::GetLoaderByExtension(".v3d"), options);
    if (!test.Running)
      TVantrelLoader::UnsetCurrentThreadLoader();
    rtl::TOwned<TVantrelTextureAsset> asset(TVantrelTextureAsset::Create(nullptr));
    png.SetPosition(0);
    asset->ImportFromStream("big.png", &png, TAssetImportFlags{TAssetImportFlag::Cached});
    TVantrelLoader::UnsetCurrentThreadLoader();
    ASSERT_NE(asset->CachedBitmap(), nullptr);
    EXPECT_EQ(asset->CachedBitmap()->Width(), test.Width);
    EXPECT_EQ(asset->CachedBitmap()->Height(), test.Height);
  }
}

} // namespace
