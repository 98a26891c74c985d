// The model control: its own objects, Source with the embedded copy and its form streaming, the
// assets manager and package, the definition keys, and where loaded cameras and lights go.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Model.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "formats/v3d/Vantrel.V3D.Types.h"
#include "lib/definitions/assets_fixture.h"
#include "rtl/form_text.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Light.h"
#include "support/dialog_driver.h"
#include "support/fake_clock.h"
#include "support/model_fixture.h"
#include "ui/color_material.h"
#include "ui/forms.h"
#include "utils/Vantrel.Utils.Duplication.h"
#include "utils/Vantrel.Utils.Dialogs.h"

namespace {

using namespace vantrel;

constexpr TAlphaColor Red = 0xFFFF0000;

class ModelControl : public vtest::TAssetsTest {
protected:
  void SetUp() override {
    TAssetsTest::SetUp();
    FDelay = TProgressForm::StartDelay();
    TProgressForm::SetStartDelay(0);
    FDialogs = std::make_unique<vtest::TScriptedDialogs>();
  }
  void TearDown() override {
    FDialogs.reset();
    TProgressForm::SetStartDelay(FDelay);
    TAssetsTest::TearDown();
  }

  // The fixture model saved as zipped BSON .v3d in the scratch folder.
  std::string SaveFixture(const std::string& AName = "fixture.v3d") {
    const std::string path = Scratch(AName);
    TOwned<TModelDef> def = vtest::MakeFixtureModel();
    TVantrelV3DExporter::SaveModelDefToFile(def.get(), path, TVantrelV3DFormat::BSONFormat,
                                            TVantrelV3DOptions{TVantrelV3DOption::Zipped});
    return path;
  }

  template <class T> static int ChildrenOf(const TFmxObject& AObject) {
    int count = 0;
    for (TFmxObject* child : AObject.Children())
      count += dynamic_cast<T*>(child) != nullptr;
    return count;
  }

  // What the fixture builds: the cube (with its child), the lamp, the eye and the hop.
  static void ExpectFixtureBuilt(const TVantrelModel& AModel) {
    ASSERT_EQ(AModel.Meshes().size(), 1u);
    EXPECT_EQ(AModel.Meshes()[0]->Meshes().size(), 1u);
    EXPECT_EQ(ChildrenOf<TVantrelLight>(AModel), 1);
    EXPECT_EQ(ChildrenOf<TVantrelCamera>(AModel), 1);
    EXPECT_EQ(AModel.AnimationManager()->Animations().Count(), 1);
    EXPECT_NE(AModel.AnimationManager()->Animations().Items("Hop"), nullptr);
    // Building the controls adds no nodes to the definition.
    const auto* def = dynamic_cast<const TModelDef*>(AModel.Def());
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->GetLights()->size(), 1u);
    EXPECT_EQ(def->GetCameras()->size(), 1u);
  }

  static void ExpectEmpty(const TVantrelModel& AModel) {
    EXPECT_EQ(AModel.Def(), nullptr);
    EXPECT_TRUE(AModel.Meshes().empty());
    EXPECT_EQ(AModel.ChildrenCount(), 0);
    EXPECT_TRUE(AModel.Controls().IsEmpty());
    EXPECT_EQ(AModel.AnimationManager()->Animations().Count(), 0);
  }

  static TOwned<TVantrelModel> NewModel() { return TOwned<TVantrelModel>(New<TVantrelModel>(nullptr)); }

  std::unique_ptr<vtest::TScriptedDialogs> FDialogs;

private:
  uint32_t FDelay = 0;
};

TEST_F(ModelControl, ANewModelHasAYellowUnownedWireframeMaterialAndEmptyObjects) {
  TOwned<TVantrelModel> model = NewModel();
  auto* material = dynamic_cast<ui::TColorMaterialSource*>(model->WireframeMaterial());
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(material->GetColor(), TAlphaColor(0xFFFFFF00));
  EXPECT_EQ(material->Owner(), nullptr);
  EXPECT_FALSE(material->Stored());
  EXPECT_FALSE(model->Wireframe());
  EXPECT_FALSE(model->HitTest());
  EXPECT_TRUE(model->Interpolators()->IsEmpty());
  EXPECT_EQ(model->AnimationManager()->Animations().Count(), 0);
  // Freed by somebody else, the material is forgotten.
  material->Free();
  EXPECT_EQ(model->WireframeMaterial(), nullptr);
}

TEST_F(ModelControl, SourceLoadsTheFileAndKeepsAZippedBSONCopy) {
  const std::string path = SaveFixture();
  TOwned<TVantrelModel> model = NewModel();
  model->SetSource(path);
  EXPECT_TRUE(FDialogs->Messages().empty());
  ExpectFixtureBuilt(*model);
  ASSERT_NE(model->BinaryData(), nullptr);
  ASSERT_NE(model->TextureCache(), nullptr);
  EXPECT_EQ(model->BinaryData()->GetPosition(), 0);
  TVantrelV3DHeader header;
  header.ReadFrom(*model->BinaryData());
  EXPECT_EQ(header.Format, TVantrelV3DFormat::BSONFormat);
  EXPECT_EQ(header.Options, 0x02);
}

TEST_F(ModelControl, SourceFailuresAreShownAndLeaveTheModelEmpty) {
  TOwned<TVantrelModel> model = NewModel();
  EXPECT_NO_THROW(model->SetSource(Scratch("missing.v3d")));
  const std::vector<std::string> messages = FDialogs->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Failed to load model data: ", 0), 0u) << messages[0];
  ExpectEmpty(*model);
  EXPECT_EQ(model->Source(), Scratch("missing.v3d"));
}

// The cache must own its bitmaps: a reload hands the load copies, so clearing the model (which
// frees the definition's texture assets) leaves the cache's bitmaps alive.
TEST_F(ModelControl, TheSameSourceReloadsFromTheEmbeddedCopyAndTheTextureCacheStaysReadable) {
  const std::string path = SaveFixture();
  TOwned<TVantrelModel> model = NewModel();
  model->SetSource(path);
  TVantrelBitmapCacheEntry* entry = model->TextureCache()->Add();
  entry->SetFilename("wood.png");
  TBitmap red(2, 2);
  red.Clear(Red);
  entry->SetBitmap(&red);
  rtl::TFile::Delete(path);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    model->SetSource(path);
    ExpectFixtureBuilt(*model);
    const auto* def = dynamic_cast<TModelDef*>(model->Def());
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->GetTextureAssets().size(), 1u);
  }
  model->Clear();
  ASSERT_EQ(model->TextureCache()->Count(), 1);
  TVantrelBitmapCacheEntry* kept = model->TextureCache()->Entry(0);
  EXPECT_FALSE(kept->IsOnlyRef());
  TBitmapData data;
  ASSERT_TRUE(kept->GetBitmap()->Map(TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(1, 1), Red);
  kept->GetBitmap()->Unmap(data);

  // Another value drops the copy and reads the file, which is gone.
  model->SetSource(Scratch("other.v3d"));
  EXPECT_EQ(model->BinaryData(), nullptr);
  EXPECT_EQ(model->TextureCache(), nullptr);
  ExpectEmpty(*model);
}

TEST_F(ModelControl, AFormCarriesTheModelWithoutItsSourceFile) {
  const std::string path = SaveFixture();
  TOwned<ui::TCustomForm> form(ui::TCustomForm::CreateNew(ui::TForm::StaticClass(), nullptr));
  auto* model = New<TVantrelModel>(form.get());
  model->SetName("Model1");
  model->SetParent(form.get());
  model->SetSource(path);
  const std::string text = rtl::WriteComponentToText(form.get());
  EXPECT_NE(text.find("BinaryData = {"), std::string::npos);
  EXPECT_NE(text.find("TextureCache = <"), std::string::npos);
  rtl::TFile::Delete(path);

  TOwned<ui::TCustomForm> copy(ui::TCustomForm::CreateNew(ui::TForm::StaticClass(), nullptr));
  rtl::ReadComponentFromText(text, copy.get());
  auto* loaded = dynamic_cast<TVantrelModel*>(copy->FindComponent("Model1"));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Source(), path);
  ExpectFixtureBuilt(*loaded);
  EXPECT_EQ(vtest::DefinitionText(*loaded->Def()).size(), vtest::DefinitionText(*model->Def()).size());
  EXPECT_TRUE(FDialogs->Messages().empty());
}

TEST_F(ModelControl, AFormLoadsTheModelFromItsAssetsManagersPackage) {
  const std::string path = SaveFixture("ship.v3d");
  TVantrelAssetsPackage* package = NewPackage("models");
  ASSERT_NE(package->AddAssetFromFile(path), nullptr);
  const std::string pak = Scratch("models.pak");
  package->SaveToFile(pak);
  rtl::TFile::Delete(path);

  TOwned<ui::TCustomForm> form(ui::TCustomForm::CreateNew(ui::TForm::StaticClass(), nullptr));
  auto* manager = New<TVantrelAssetsManager>(form.get());
  manager->SetName("Assets1");
  TVantrelAssetsPackage* loadedPackage = manager->LoadPackageFromFile(pak);
  auto* model = New<TVantrelModel>(form.get());
  model->SetName("Model1");
  model->SetParent(form.get());
  model->SetAssetsManager(manager);
  model->SetPackageName(loadedPackage->GetDisplayName());
  model->SetSource("ship.v3d");
  ExpectFixtureBuilt(*model);
  EXPECT_EQ(model->Package(), loadedPackage);
  EXPECT_EQ(dynamic_cast<TModelDef*>(model->Def())->GetPackage(), loadedPackage);
  // A packaged model is not embedded in the form.
  EXPECT_EQ(model->BinaryData(), nullptr);
  const std::string text = rtl::WriteComponentToText(form.get());
  EXPECT_EQ(text.find("BinaryData"), std::string::npos);

  TOwned<ui::TCustomForm> copy(ui::TCustomForm::CreateNew(ui::TForm::StaticClass(), nullptr));
  rtl::ReadComponentFromText(text, copy.get());
  auto* copyManager = dynamic_cast<TVantrelAssetsManager*>(copy->FindComponent("Assets1"));
  auto* loaded = dynamic_cast<TVantrelModel*>(copy->FindComponent("Model1"));
  ASSERT_NE(copyManager, nullptr);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->AssetsManager(), copyManager);
  ExpectFixtureBuilt(*loaded);
  EXPECT_EQ(loaded->Package(), copyManager->GetPackage(loadedPackage->GetDisplayName()));
  EXPECT_TRUE(FDialogs->Messages().empty());
  // The definition is the package's: freeing the form frees the manager, then the model.
  copy.reset();
}

// At design time the options are edited before a file load; a package that holds the model
// needs no options.
TEST_F(ModelControl, AtDesignTimeTheOptionsWindowPrecedesAFileLoadOnly) {
  const std::string path = SaveFixture("ship.v3d");
  TOwned<TVantrelModel> model = NewModel();
  EnableDesigning(model.get());
  model->SetSource(path);
  ExpectFixtureBuilt(*model);
  EXPECT_EQ(FDialogs->ModalForms(), (std::vector<std::string>{"Load Options ...", "Loading model ..."}));

  TVantrelAssetsPackage* package = NewPackage("models");
  ASSERT_NE(package->AddAssetFromFile(path), nullptr);
  TOwned<TVantrelModel> packaged = NewModel();
  EnableDesigning(packaged.get());
  packaged->SetAssetsManager(&Manager());
  packaged->SetPackageName("models");
  packaged->SetSource("ship.v3d");
  ExpectFixtureBuilt(*packaged);
  EXPECT_EQ(FDialogs->ModalForms().size(), 2u);

  // A copy shares the manager and the package, under the package's name.
  TOwned<TVantrelModel> copy = NewModel();
  TVantrelDuplicator duplicator;
  copy->DoDuplicate(packaged.get(), &duplicator);
  EXPECT_EQ(copy->AssetsManager(), &Manager());
  EXPECT_EQ(copy->Package(), package);
  EXPECT_EQ(copy->PackageName(), "models");
}

TEST_F(ModelControl, ClearSparesAStandaloneDefinition) {
  TOwned<TModelDef> def = vtest::MakeFixtureModel();
  def->SetIsStandalone(true);
  TOwned<TVantrelModel> model(TVantrelModel::LoadNewModelFromDef(nullptr, def.get(), TAnimationCachingFlags{}));
  ASSERT_NE(model, nullptr);
  ExpectFixtureBuilt(*model);
  model->Clear();
  ExpectEmpty(*model);
  EXPECT_EQ(def->GetId(), "Fixture");
  model.reset();
  EXPECT_EQ(def->GetMeshes()->Count(), 1);
}

TEST_F(ModelControl, PackageSettingsWithoutAPackageEmptyTheModel) {
  const std::string path = SaveFixture();
  TOwned<TVantrelModel> model = NewModel();
  model->LoadFromFile(nullptr, path, TAnimationCachingFlags{});
  ExpectFixtureBuilt(*model);
  model->SetAssetsManager(&Manager());
  ExpectEmpty(*model);

  model->LoadFromFile(nullptr, path, TAnimationCachingFlags{});
  model->SetAssetsManager(nullptr);
  ExpectEmpty(*model);
  EXPECT_EQ(model->AssetsManager(), nullptr);

  // A package name that the manager does not know: nothing loads.
  model->SetAssetsManager(&Manager());
  model->SetPackageName("nowhere");
  model->SetSource(path);
  ExpectEmpty(*model);
  EXPECT_EQ(model->Package(), nullptr);
  EXPECT_EQ(model->BinaryData(), nullptr);
}

TEST_F(ModelControl, AFreedAssetsManagerIsForgottenWithItsPackage) {
  TOwned<TVantrelModel> model = NewModel();
  auto manager = TOwned<TVantrelAssetsManager>(New<TVantrelAssetsManager>(nullptr));
  manager->AddEmptyPackage("models");
  model->SetAssetsManager(manager.get());
  model->SetPackageName("models");
  EXPECT_NE(model->Package(), nullptr);
  manager.reset();
  EXPECT_EQ(model->AssetsManager(), nullptr);
  EXPECT_EQ(model->Package(), nullptr);
  EXPECT_EQ(model->PackageName(), "");
}

// A package sends no component notification, yet the model shows a definition that one of its
// assets holds: whichever way the package or its contents go, the model lets go first and is left
// empty, without reading the freed definition afterwards.
TEST_F(ModelControl, AModelLetsGoOfAPackageThatGoesOrIsCleared) {
  const std::string path = SaveFixture("ship.v3d");
  struct Case {
    const char* name;
    bool byManager; // through AssetsManager, PackageName and Source, or built from the asset's definition
    std::function<void(TVantrelAssetsPackage*, TVantrelAsset*)> free;
    bool packageGoes;
  };
  const Case cases[] = {
      {"removed by name", true, [](auto* P, auto*) { P->Manager()->RemovePackage("models"); }, true},
      {"all packages cleared", true, [](auto* P, auto*) { P->Manager()->ClearPackages(); }, true},
      {"package cleared", true, [](auto* P, auto*) { P->Clear(false); }, false},
      {"its asset removed", true, [](auto*, auto* A) { A->Group()->Assets().Remove(A->Id()); }, false},
      {"built by code, package freed", false, [](auto* P, auto*) { P->Free(); }, true},
      {"built by code, package reloaded", false,
       [](auto* P, auto*) {
         TBytesStream empty;
         P->LoadFromStream(&empty);
       },
       false},
      {"built by code, asset re-imported", false, [&](auto*, auto* A) { A->ImportFromFile(path, {}); },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto manager = TOwned<TVantrelAssetsManager>(New<TVantrelAssetsManager>(nullptr));
    TVantrelAssetsPackage* package = manager->AddEmptyPackage("models");
    TVantrelAsset* asset = package->AddAssetFromFile(path);
    ASSERT_NE(asset, nullptr);
    TOwned<TVantrelModel> model = NewModel();
    if (c.byManager) {
      model->SetAssetsManager(manager.get());
      model->SetPackageName("models");
      model->SetSource("ship.v3d");
    } else {
      auto* modelAsset = dynamic_cast<TVantrelModelAsset*>(asset);
      ASSERT_NE(modelAsset, nullptr);
      model.reset(TVantrelModel::LoadNewModelFromDef(nullptr, modelAsset->Model(), TAnimationCachingFlags{}));
      ASSERT_NE(model, nullptr);
    }
    ExpectFixtureBuilt(*model);
    c.free(package, asset);
    ExpectEmpty(*model);
    if (c.byManager)
      EXPECT_EQ(model->Package(), c.packageGoes ? nullptr : package);
    EXPECT_EQ(model->PackageName(), c.byManager && !c.packageGoes ? "models" : "");
    // The model stays usable: it loads again from a file and frees what it owns.
    model->SetAssetsManager(nullptr);
    model->LoadFromFile(nullptr, path, TAnimationCachingFlags{});
    ExpectFixtureBuilt(*model);
    model.reset();
  }
}

TEST_F(ModelControl, WireframeKeysTravelThroughTheDefinition) {
  struct TRow {
    const char* Name;
    bool Wireframe;
    TAlphaColor Expected;
  };
  for (const TRow& row : {TRow{"wireframe on", true, 0xFF00FF00}, TRow{"wireframe off", false, 0}}) {
    SCOPED_TRACE(row.Name);
    TOwned<TModelDef> def = vtest::MakeFixtureModel();
    TOwned<TVantrelModel> source(TVantrelModel::LoadNewModelFromDef(nullptr, def.get(), TAnimationCachingFlags{}));
    source->SetWireframe(true);
    // Loading applied the definition's keys, which hold no wireframe material yet.
    EXPECT_EQ(source->WireframeMaterial(), nullptr);
    source->CreateWireframeMaterial();
    static_cast<ui::TColorMaterialSource*>(source->WireframeMaterial())->SetColor(0xFF00FF00);
    source->SetDef(nullptr);
    source->StoreToDefinition(def.get());
    const TProperties& props = def->GetProperties();
    ASSERT_NE(props.Find(std::string_view("WireframeMaterial")), nullptr);
    EXPECT_EQ(props.Find(std::string_view("WireframeMaterial"))->AsString(), "Color");
    def->GetProperties().AddOrSetValue("Wireframe", TValue::From<bool>(row.Wireframe));

    TOwned<TVantrelModel> loaded = NewModel();
    loaded->LoadFromDefinition(def.get());
    EXPECT_EQ(loaded->Wireframe(), row.Wireframe);
    auto* material = dynamic_cast<ui::TColorMaterialSource*>(loaded->WireframeMaterial());
    if (row.Wireframe) {
      ASSERT_NE(material, nullptr);
      EXPECT_EQ(material->GetColor(), row.Expected);
    } else {
      EXPECT_EQ(material, nullptr);
    }
    loaded->SetDef(nullptr);
  }
}

// Cameras and lights whose definition hangs below a node go to the global component of that
// node's Id, when it is a 3D control.
TEST_F(ModelControl, LoadedLightsMoveUnderTheGlobalControlOfTheirOwnerNode) {
  TOwned<TVantrelGroup> stage(New<TVantrelGroup>(nullptr));
  stage->SetName("Cube");
  AddGlobalComponent(stage.get());
  TOwned<TModelDef> def = vtest::MakeFixtureModel();
  auto* cube = static_cast<TMeshDef*>(def->GetMeshes()->Items(0));
  TLightDef* light = def->GetLights()->at(0);
  light->SetOwner(cube);
  TOwned<TVantrelModel> model = NewModel();
  model->LoadFromDefinition(def.release());
  EXPECT_EQ(ChildrenOf<TVantrelLight>(*model), 0);
  EXPECT_EQ(ChildrenOf<TVantrelLight>(*stage), 1);
  // The camera's owner is the model itself, which has no global component.
  EXPECT_EQ(ChildrenOf<TVantrelCamera>(*model), 1);
  model->Clear();
  EXPECT_EQ(ChildrenOf<TVantrelLight>(*stage), 0);
  RemoveGlobalComponent(stage.get());
}

} // namespace

namespace {

TEST_F(ModelControl, ACopyOfAnAnimatedModelHasItsOwnAnimationInItsOwnManager) {
  TOwned<TModelDef> def = vtest::MakeFixtureModel();
  def->SetIsStandalone(true);
  TOwned<TVantrelModel> model(TVantrelModel::LoadNewModelFromDef(nullptr, def.get(), TAnimationCachingFlags{}));
  ASSERT_NE(model, nullptr);
  TOwned<TVantrelModel> copy(CheckedCast<TVantrelModel>(model->Duplicate(nullptr, false)));
  ASSERT_NE(copy, nullptr);
  TVantrelAnimationManager* manager = copy->AnimationManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_NE(manager, model->AnimationManager());
  EXPECT_EQ(manager->Mesh(), copy.get());
  ASSERT_EQ(manager->Animations().Count(), 1);
  TVantrelAnimation* hop = manager->Animations().Items("Hop");
  TVantrelAnimation* original = model->AnimationManager()->Animations().Items("Hop");
  ASSERT_NE(hop, nullptr);
  EXPECT_NE(hop, original);
  EXPECT_EQ(hop->Manager(), manager);
  EXPECT_EQ(hop->Def(), original->Def());
  EXPECT_NE(hop->Skeleton(), original->Skeleton());
  // The copy's track drives the copy's cube, not the original's.
  ASSERT_EQ(hop->Skeleton()->Interpolators().size(), 1u);
  TPropertyKeyAnimation* track = hop->Skeleton()->Interpolators()[0];
  EXPECT_EQ(track->Owner(), hop);
  ASSERT_EQ(copy->Meshes().size(), 1u);
  EXPECT_EQ(track->Parent(), copy->Meshes()[0]);
  EXPECT_TRUE(track->Elements().ContainsKey(copy->Meshes()[0]));
  EXPECT_FALSE(track->Elements().ContainsKey(model->Meshes()[0]));
  EXPECT_EQ(track->Keys()->Count(), original->Skeleton()->Interpolators()[0]->Keys()->Count());

  // Half a second into its two, the copy lifts its own cube halfway to the first key's height.
  ui::FreeAniThread();
  TVantrelAnimationManager::ResetForceStep();
  {
    vtest::TFakeClock clock;
    ASSERT_EQ(manager->PlayAnimation("Hop"), hop);
    clock.Jump(500);
    EXPECT_TRUE(TVantrelAnimationManager::ForceStep(0));
    EXPECT_NEAR(copy->Meshes()[0]->Position()->Y(), 0.5f, 1e-4f);
    EXPECT_EQ(model->Meshes()[0]->Position()->Y(), 0.0f);
    hop->Stop();
  }
  ui::FreeAniThread();
  TVantrelAnimationManager::ResetForceStep();
  copy.reset();
  EXPECT_EQ(model->AnimationManager()->Animations().Items("Hop"), original);
}

} // namespace
