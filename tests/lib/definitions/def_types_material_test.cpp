#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "support/fake_package.h"
#include "support/json_object.h"

namespace {

using namespace vantrel;

using vtest::ParseObject;

std::string Text(const TCustomDef& ADef) {
  return ADef.ToJSON()->ToJSON();
}

// A groupless texture asset holding a cached W x H bitmap of one colour.
TVantrelTextureAsset* CachedAsset(const std::string& AName, int AWidth = 2, int AHeight = 2,
                                  TAlphaColor AColor = 0xFFFFFFFF) {
  TVantrelTextureAsset* asset = TVantrelTextureAsset::Create(nullptr);
  auto bitmap = MakeOwned<ui::TBitmap>(AWidth, AHeight);
  bitmap->Clear(AColor);
  asset->ImportFromCachedBitmap(AName, std::move(bitmap));
  return asset;
}

class DefMaterials : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeDefTypes();
    InitializeAssetsManager();
  }
  void TearDown() override {
    FinalizeAssetsManager();
    FinalizeDefTypes();
  }
};

// ---- textures --------------------------------------------------------------------------------------

TEST_F(DefMaterials, TextureMembersRead) {
  struct Row {
    const char* Json;
    std::function<bool(const TTextureDef&)> Check;
  };
  const std::vector<Row> rows{
      // The texture-level names use the context's reading...
      {R"({"WrapS": "repeat", "WrapT": "MIRRORED_REPEAT"})",
       [](auto& t) {
         return t.GetWrapS() == TVantrelTextureWrap::Repeated && t.GetWrapT() == TVantrelTextureWrap::MirroredRepeat;
       }},
      // ...and the sampler's own members override them.
      {R"({"WrapS": "repeat", "Sampler": {"WrapS": "ClampToEdge"}})",
       [](auto& t) { return t.GetWrapS() == TVantrelTextureWrap::ClampToEdge; }},
      {R"({})", [](auto& t) { return t.Flipping.IsEmpty() && t.Destination == ui::TContextShaderKind::PixelShader; }},
      {R"({"Flipping": "Horizontal,Bogus"})",
       [](auto& t) { return t.Flipping == TTextureFlippings{TTextureFlipping::Horizontal}; }},
      {R"({"Destination": "VERTEXSHADER", "Channel": 4, "Tiling": "2 0.5"})",
       [](auto& t) {
         return t.Destination == ui::TContextShaderKind::VertexShader && t.Channel == TColorChannelDef::Normal &&
                t.Tiling == TPointF{2, 0.5f};
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Json);
    TTextureDef texture;
    texture.FromJSON(nullptr, *ParseObject(row.Json));
    EXPECT_TRUE(row.Check(texture));
  }
}

TEST_F(DefMaterials, TextureWritesFlipsAndNullAsset) {
  TTextureDef texture;
  texture.Flipping = {TTextureFlipping::Horizontal, TTextureFlipping::Vertical};
  auto json = texture.ToJSON();
  EXPECT_EQ(TCustomDef::GetJSONString(*json, "Flipping"), "Vertical,Horizontal");
  EXPECT_TRUE(dynamic_cast<TJSONNull*>(json->GetValue("Asset")));
  EXPECT_EQ(json->GetValue("Extensions"), nullptr);
  EXPECT_THROW(texture.GetAssetsPackage(), Exception);
  try {
    texture.GetAssetsPackage();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "failed to get package - material of TTextureDef not assigned");
  }
  // A channel beyond the enumeration and an extension that is no object are refused.
  EXPECT_THROW(texture.FromJSON(nullptr, *ParseObject(R"({"Channel": 18})")), ERangeError);
  EXPECT_THROW(texture.FromJSON(nullptr, *ParseObject(R"({"Extensions": [1]})")), EInvalidCast);
}

// ---- the material round trip -----------------------------------------------------------------------

TEST_F(DefMaterials, LayeredMaterialRoundTripsByteForByte) {
  TModelDef model;
  model.SetId("M");
  TMaterialBehaviourDef* behaviour = model.AddNewMaterialBehaviour();
  behaviour->SetPrefabClass("TBlink");

  auto* layered = New<TMaterialDef>(&model, "Layered");
  layered->Kind = TMaterialDefKind::mkLayered;
  layered->TypeName = "Vantrel.Material.Default.TVantrelDefaultMaterialSource";
  auto custom = MakeOwned<TMaterialDef>(&model, "Sub1");
  custom->Kind = TMaterialDefKind::mkCustom;
  custom->UseSpecular = true;
  custom->SpecPow = 0.07f;
  layered->AddLayeredMaterial(std::move(custom));
  auto plain = MakeOwned<TMaterialDef>(&model, "Sub2");
  plain->Diffuse = TAlphaColorF::Create(0.8f, 0.4f, 0.2f, 1);
  layered->AddLayeredMaterial(std::move(plain));

  TTextureDef* texture = layered->AddTexture(TColorChannelDef::Normal, CachedAsset("/tex/a.png"), true);
  texture->GetSampler().MinFilter = ui::TTextureFilter::Nearest;
  texture->SetWrapT(TVantrelTextureWrap::Repeated);
  layered->AddShader("VS", TContextShaderKindEx::VertexShader, "void main() {}\nint x;");
  layered->AddMaterialBehaviourRef("Blink", behaviour);
  TExtensionDef* extension = layered->AddExtension("Shading");
  extension->GetProperties().Add("Intensity", TValue::From(2.5f));
  extension->GetProperties().Add("Enabled", TValue::From(true));
  extension->GetProperties().Add("Offset", TValue::From(TVector3D{1, 2, 3, 0}));

  const std::string first = Text(*layered);
  TModelDef copyModel;
  copyModel.SetId("M");
  auto* copyBehaviour = copyModel.AddNewMaterialBehaviour();
  copyBehaviour->SetId(behaviour->GetId());
  auto* copy = New<TMaterialDef>(&copyModel);
  copy->FromJSON(&copyModel, *ParseObject(first));
  EXPECT_EQ(Text(*copy), first);
  EXPECT_EQ(copyModel.GetMaterial("Layered"), copy);
  ASSERT_NE(copyModel.GetMaterial("Sub1"), nullptr);
  EXPECT_EQ(copyModel.GetMaterial("Sub1"), copy->GetLayeredMaterialByIndex(0));
  EXPECT_TRUE(copyModel.GetMaterial("Sub1")->UseSpecular);
  EXPECT_EQ(copyModel.GetMaterial("Sub2"), copy->GetLayeredMaterialByIndex(1));
  EXPECT_EQ(copy->GetMaterialBehaviourRef("Blink"), nullptr);
  EXPECT_EQ(copy->GetMaterialBehaviourRefByDisplayName("Blink")->GetReference(), copyBehaviour);
}

TEST_F(DefMaterials, MaterialMembersRead) {
  struct Row {
    const char* Json;
    std::function<bool(const TMaterialDef&)> Check;
  };
  const std::vector<Row> rows{
      {R"({"Type": "Vantrel.DefTypes.TMaterialDef", "Type": ""})", [](auto& m) { return m.TypeName.empty(); }},
      {R"({"Type": "Vantrel.DefTypes.TMaterialDef"})",
       [](auto& m) { return m.TypeName == "Vantrel.DefTypes.TMaterialDef"; }},
      {R"({"Clipping": "0 1 0 2.5"})", [](auto& m) { return m.UseClipping; }},
      {R"({"Clipping": "0 1 0 0"})", [](auto& m) { return !m.UseClipping; }},
      {R"({"Clipping": "0 1 0 2.5", "UseClipping": false})", [](auto& m) { return !m.UseClipping; }},
      {R"({})", [](auto& m) { return m.ParallaxLevels == 16 && m.Opacity == 1; }},
      // Only a custom kind reads its shading model and switches.
      {R"({"Kind": 3, "ShadingModel": 2, "UseTexturing": false, "UseSpecular": true})",
       [](auto& m) {
         return m.Kind == TMaterialDefKind::mkPhong && m.ShadingModel == TVantrelShadingModel::smLambert &&
                m.UseTexturing && !m.UseSpecular;
       }},
      {R"({"Kind": 9, "ShadingModel": 2, "UseSpecular": true})",
       [](auto& m) {
         return m.ShadingModel == TVantrelShadingModel::smBlinnPhong && !m.UseTexturing && m.UseSpecular &&
                !m.UseLighting;
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Json);
    TMaterialDef material;
    material.FromJSON(nullptr, *ParseObject(row.Json));
    EXPECT_TRUE(row.Check(material));
  }
  // Written and read back, a phong material keeps the defaults its kind does not store.
  TMaterialDef phong;
  phong.Kind = TMaterialDefKind::mkPhong;
  phong.ShadingModel = TVantrelShadingModel::smPBR;
  phong.UseLighting = false;
  TMaterialDef back;
  back.FromJSON(nullptr, *phong.ToJSON());
  EXPECT_EQ(back.ShadingModel, TVantrelShadingModel::smLambert);
  EXPECT_TRUE(back.UseLighting);
}

// ---- list semantics and errors ---------------------------------------------------------------------

TEST_F(DefMaterials, ListSearchesAndErrors) {
  TModelDef model;
  TMaterialDef material;
  TMaterialBehaviourDef* behaviour = model.AddNewMaterialBehaviour();
  TBehaviourRefDef* earlier = material.AddMaterialBehaviourRef("A", behaviour);
  TBehaviourRefDef* later = material.AddMaterialBehaviourRef("B", behaviour);
  EXPECT_EQ(material.GetMaterialBehaviourRef(behaviour->GetId()), later);
  EXPECT_EQ(material.GetMaterialBehaviourRef(behaviour), later);
  EXPECT_NE(earlier, later);
  EXPECT_EQ(material.AddMaterialBehaviourRef("", behaviour), nullptr);
  EXPECT_EQ(material.AddMaterialBehaviourRef("x", nullptr), nullptr);
  material.RemoveMaterialBehaviourRef(behaviour);
  EXPECT_EQ(material.GetBehaviourRefs()->Count(), 0);

  TShaderDef* first = material.AddShader("S", TContextShaderKindEx::VertexShader, "a");
  material.AddShader("S", TContextShaderKindEx::PixelShader, "b");
  EXPECT_EQ(material.GetShader("S"), first);
  EXPECT_EQ(material.GetShader(TContextShaderKindEx::PixelShader)->GetSourceCode(), std::vector<std::string>{"b"});
  material.RemoveShader("S");
  EXPECT_EQ(material.GetShaders()->Count(), 0);

  TExtensionDef* firstExtension = material.AddExtension("E");
  TExtensionDef* lastExtension = material.AddExtension("E");
  EXPECT_EQ(material.GetExtension("E"), lastExtension);
  EXPECT_EQ(material.GetExtensions()->FindExtensionById("E"), firstExtension);
  TTextureDef* texture = material.AddTexture(TColorChannelDef::Diffuse, nullptr, false);
  TExtensionDef* textureFirst = texture->AddExtension("T");
  texture->AddExtension("T");
  EXPECT_EQ(texture->GetExtension("T"), textureFirst);
  EXPECT_TRUE(material.TextureChannelExists(TColorChannelDef::Diffuse));
  EXPECT_FALSE(material.TextureChannelExists(TColorChannelDef::Normal));

  const std::string addMessage = "cannot add submaterial to none layered material - set \"<TMaterialDef>.Kind\" at "
                                 "first to \"TMaterialDefKind.Layered\"";
  const std::string getMessage = "cannot get submaterial of none layered material - set \"<TMaterialDef>.Kind\" at "
                                 "first to \"TMaterialDefKind.Layered\"";
  struct ErrorRow {
    const char* Name;
    std::function<void()> Call;
    std::string Message;
  };
  const std::vector<ErrorRow> errors{
      {"add", [&] { material.AddLayeredMaterial(MakeOwned<TMaterialDef>()); }, addMessage},
      {"get", [&] { material.GetLayeredMaterial("x"); }, getMessage},
      {"by index", [&] { material.GetLayeredMaterialByIndex(0); }, getMessage},
      // The sub-material is read (and registered), then refused and freed with its entry.
      {"json", [&] {
         TMaterialDef phong(&model, "P");
         phong.FromJSON(&model, *ParseObject(R"({"Id": "P", "Kind": 3, "Materials": [{"Id": "Sub"}]})"));
       },
       addMessage},
  };
  for (const ErrorRow& row : errors) {
    SCOPED_TRACE(row.Name);
    try {
      row.Call();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.what(), row.Message);
    }
  }
  EXPECT_EQ(model.GetMaterials().Count(), 0);
  EXPECT_THROW(material.FromJSON(nullptr, *ParseObject(R"({"Textures": {}})")), EInvalidCast);
  EXPECT_THROW(material.FromJSON(nullptr, *ParseObject(R"({"Extensions": [3]})")), EInvalidCast);
  EXPECT_THROW(material.FromJSON(nullptr, *ParseObject(R"({"Kind": 11})")), ERangeError);
}

// ---- the model's table (fault 1), texture ownership (fault 2) ---------------------------------------

TEST_F(DefMaterials, TableEntriesFreeEachMaterialOnce) {
  {
    TModelDef model;
    auto* m1 = New<TMaterialDef>(&model, "M1");
    auto refused = MakeOwned<TMaterialDef>();
    EXPECT_THROW(model.AddMaterial("M1", refused.get()), EListError);
    EXPECT_EQ(model.GetMaterials().Count(), 1);
    // Reading its own id again is no duplicate...
    m1->FromJSON(&model, *ParseObject(R"({"Id": "M1"})"));
    EXPECT_EQ(model.GetMaterials().Count(), 1);
    // ...and a new id moves the entry.
    m1->FromJSON(&model, *ParseObject(R"({"Id": "M2"})"));
    EXPECT_EQ(model.GetMaterials().Count(), 1);
    EXPECT_EQ(model.GetMaterial("M2"), m1);
    EXPECT_EQ(model.GetMaterial("M1"), nullptr);
  }
  const auto layeredModel = [](bool AFreeMaterialFirst) {
    auto model = MakeOwned<TModelDef>();
    auto* layered = New<TMaterialDef>(model.get(), "L");
    layered->Kind = TMaterialDefKind::mkLayered;
    layered->AddLayeredMaterial(MakeOwned<TMaterialDef>(model.get(), "S1"));
    layered->AddLayeredMaterial(MakeOwned<TMaterialDef>(model.get(), "S2"));
    EXPECT_EQ(model->GetMaterials().Count(), 3);
    if (AFreeMaterialFirst) {
      layered->Free();
      EXPECT_EQ(model->GetMaterials().Count(), 0);
    }
  };
  layeredModel(false);
  layeredModel(true);
}

TEST_F(DefMaterials, OwnedTextureAssetsAreFreedOnce) {
  // Without a model the definition frees the asset it owns.
  {
    TMaterialDef material;
    material.AddTexture(TColorChannelDef::Diffuse, CachedAsset("a.png"), true);
  }
  // With a model the registry holds it (flagged standalone); an equal one it declines is the
  // definition's to free.
  TModelDef model;
  auto* material = New<TMaterialDef>(&model, "M");
  TVantrelTextureAsset* first = CachedAsset("/x/a.png");
  first->SetIsStandalone(false);
  material->AddTexture(TColorChannelDef::Diffuse, first, true);
  EXPECT_TRUE(first->IsStandalone());
  material->AddTexture(TColorChannelDef::Normal, CachedAsset("/x/a.png"), true);
  EXPECT_EQ(model.GetTextureAssets().size(), 1u);
  material->ClearTextures();
  EXPECT_TRUE(model.HoldsTextureAsset(first));
}

// ---- registry --------------------------------------------------------------------------------------

TEST_F(DefMaterials, RegistryNormalisesNames) {
  TModelDef model;
  TVantrelTextureAsset* slashes = CachedAsset("c:/tex//a.png");
  slashes->SetFilename("one.png");
  model.RegisterTextureAsset(slashes);
  model.RegisterTextureAsset(slashes);
  EXPECT_EQ(model.GetTextureAssets().size(), 1u);
  auto backslashes = MakeOwned<TVantrelTextureAsset>();
  backslashes->SetOriginalFilename("c:\\tex\\a.png");
  backslashes->SetFilename("two.png");
  EXPECT_FALSE(model.TextureAssetExists(backslashes.get()));
  EXPECT_EQ(model.TryGetTextureAsset(backslashes.get()), slashes);
  // The file-name part of the normalised Filename is the last resort.
  auto byName = MakeOwned<TVantrelTextureAsset>();
  byName->SetOriginalFilename("elsewhere");
  byName->SetFilename("d:\\other\\one.png");
  EXPECT_EQ(model.TryGetTextureAsset(byName.get()), slashes);
  EXPECT_EQ(model.TryGetTextureAsset(nullptr), nullptr);

  TSamplerDef notAnAsset;
  EXPECT_THROW(model.RegisterTextureAsset(&notAnAsset), EInvalidCast);
  EXPECT_FALSE(model.TextureAssetExists(&notAnAsset));
  // Only standalone assets are the registry's to free.
  auto grouped = MakeOwned<TVantrelTextureAsset>();
  grouped->SetOriginalFilename("b.png");
  grouped->SetFilename("b.png");
  model.RegisterTextureAsset(grouped.get());
  model.ClearTextureAssets();
  EXPECT_TRUE(model.GetTextureAssets().empty());
  EXPECT_EQ(grouped->Filename(), "b.png");
}

// ---- asset resolution ------------------------------------------------------------------------------

class DefMaterialAssets : public DefMaterials {
protected:
  std::string AssetJson(const std::string& AType, const TGUID& AId, const std::string& AFilename) const {
    auto json = TJSONObject::Create();
    json->AddPair("Type", AType);
    json->AddPair("Id", AId.ToString());
    json->AddPair("Filename", AFilename);
    json->AddPair("Extension", ".png");
    auto texture = TJSONObject::Create();
    texture->AddPair("Asset", std::move(json));
    return texture->ToJSON();
  }
};

TEST_F(DefMaterialAssets, ResolvesThroughThePackageOrByName) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vantrel_material_assets";
  std::filesystem::create_directories(folder);
  const std::string existing = (folder / "exists.png").string();
  std::ofstream(existing) << "x";

  vtest::TFakePackage package;
  const TGUID knownId = TGUID::NewGuid();
  TVantrelTextureAsset* known = package.AddAsset(knownId, "known.png");
  TModelDef model;
  model.SetPackage(&package);
  model.SetFilename("C:\\models\\m.v3d");
  auto* material = New<TMaterialDef>(&model, "M");
  const std::string type = "Vantrel.AssetsManager.TVantrelTextureAsset";

  struct ErrorRow {
    std::string Json;
    std::string Message;
  };
  const std::vector<ErrorRow> errors{
      {R"({"Asset": {"Id": "{00000000-0000-0000-0000-000000000000}"}})", "failed to load asset - type not set"},
      {AssetJson("TVantrelModelAsset", knownId, "a.png"),
       "TextureDef contains a not compatible asset: TVantrelModelAsset"},
  };
  for (const ErrorRow& row : errors) {
    SCOPED_TRACE(row.Json);
    TTextureDef texture(material);
    try {
      texture.FromJSON(&model, *ParseObject(row.Json));
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.what(), row.Message);
    }
  }

  TTextureDef* found = material->AddTexture(TColorChannelDef::Diffuse, nullptr, false);
  found->FromJSON(&model, *ParseObject(AssetJson("TVantrelTextureAsset", knownId, "known.png")));
  EXPECT_EQ(found->GetAssetRef(), known);
  EXPECT_FALSE(found->IsAssetOwner);
  EXPECT_EQ(package.AddEmptyCount, 0);

  TTextureDef* imported = material->AddTexture(TColorChannelDef::Diffuse, nullptr, false);
  imported->FromJSON(&model, *ParseObject(AssetJson(type, TGUID::NewGuid(), existing)));
  EXPECT_EQ(package.AddEmptyCount, 1);
  EXPECT_EQ(imported->GetAssetRef()->OriginalFilename(), existing);

  TTextureDef* recorded = material->AddTexture(TColorChannelDef::Diffuse, nullptr, false);
  recorded->FromJSON(&model, *ParseObject(AssetJson(type, TGUID::NewGuid(), "D:\\elsewhere\\a.png")));
  EXPECT_EQ(package.AddEmptyCount, 2);
  EXPECT_EQ(recorded->GetAssetRef()->OriginalFilename(), "C:\\models\\a.png");
  EXPECT_EQ(recorded->GetAssetRef()->Filename(), "a.png");

  // A package object that cannot answer is refused.
  TSamplerDef notAPackage;
  model.SetPackage(&notAPackage);
  TTextureDef refused(material);
  EXPECT_THROW(refused.FromJSON(&model, *ParseObject(AssetJson(type, knownId, "a.png"))), EInvalidCast);
  model.SetPackage(nullptr);
  material->ClearTextures();
  std::filesystem::remove_all(folder);
}

TEST_F(DefMaterialAssets, ResolvesWithoutPackage) {
  const std::string type = "Vantrel.AssetsManager.TVantrelTextureAsset";
  TModelDef model;
  model.SetFilename("/data/m.v3d");
  auto* material = New<TMaterialDef>(&model, "M");

  struct Row {
    std::string Filename;
    std::string Recorded;
  };
  const std::vector<Row> rows{{"tex/a.png", "/data/tex/a.png"}, {"/abs/b.png", "/abs/b.png"}, {"c.png", "/data/c.png"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Filename);
    TTextureDef* texture = material->AddTexture(TColorChannelDef::Diffuse, nullptr, false);
    texture->FromJSON(&model, *ParseObject(AssetJson(type, TGUID::NewGuid(), row.Filename)));
    EXPECT_TRUE(texture->IsAssetOwner);
    EXPECT_EQ(texture->GetAssetRef()->OriginalFilename(), row.Recorded);
    EXPECT_TRUE(model.HoldsTextureAsset(texture->GetAssetRef()));
    EXPECT_TRUE(texture->GetAssetRef()->IsStandalone());
  }
  // An equal registered asset is reused and the new one freed.
  TVantrelTextureAsset* registered = material->GetTexture(TColorChannelDef::Diffuse)->GetAssetRef();
  TTextureDef* reused = material->AddTexture(TColorChannelDef::Normal, nullptr, false);
  reused->FromJSON(&model, *ParseObject(AssetJson(type, TGUID::NewGuid(), "tex/a.png")));
  EXPECT_EQ(reused->GetAssetRef(), registered);
  EXPECT_FALSE(reused->IsAssetOwner);
  EXPECT_EQ(model.GetTextureAssets().size(), 3u);

  // Without a model the definition owns the asset it read.
  TMaterialDef loose;
  TTextureDef* owned = loose.AddTexture(TColorChannelDef::Diffuse, nullptr, false);
  owned->FromJSON(nullptr, *ParseObject(AssetJson("TVantrelTextureAsset", TGUID::NewGuid(), "tex/a.png")));
  EXPECT_TRUE(owned->IsAssetOwner);
  EXPECT_EQ(owned->GetAssetRef()->OriginalFilename(), "tex/a.png");
}

// ---- bitmap instances (faults 4 and 5) -------------------------------------------------------------

TEST_F(DefMaterials, BitmapInstances) {
  // Texture bitmaps are made by the class the context units install.
  InitializeUnits();
  struct TUnits {
    ~TUnits() { FinalizeUnits(); }
  } units;
  TMaterialDef material;
  TTextureDef* none = material.AddTexture(TColorChannelDef::Diffuse, nullptr, false);
  EXPECT_FALSE(none->GetAssetBitmapInstance(false));

  auto empty = MakeOwned<TVantrelTextureAsset>();
  TTextureDef emptyTexture(&material, TColorChannelDef::Diffuse, empty.get(), false);
  try {
    emptyTexture.GetAssetBitmapInstance(false);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(),
                 "failed to request bitmap instance of texture asset - texture was not loaded physically yet");
  }

  // A cached standalone asset always gives a clone, which the instance frees.
  TTextureDef* cached = material.AddTexture(TColorChannelDef::Diffuse, CachedAsset("a.png", 2, 2, 0xFF102030), true);
  {
    TBitmapInstance clone = cached->GetAssetBitmapInstance(false);
    ASSERT_TRUE(clone);
    EXPECT_NE(clone.Bitmap, cached->GetAssetRef()->Bitmap());
    EXPECT_EQ(clone.Owned.get(), clone.Bitmap);
    EXPECT_TRUE(dynamic_cast<TVantrelTextureBitmap*>(clone.Bitmap));
    EXPECT_EQ(clone.Bitmap->Width(), 2);
  }

  // The shared bitmap takes the wrap modes and is flipped once for every definition that wants
  // the flip, and back for one that does not.
  auto shared = MakeOwned<TVantrelTextureAsset>();
  auto bitmap = rtl::TOwned<ui::TBitmap>(TVantrelTextureBitmap::Create(1, 2));
  bitmap->Clear(0xFF000000);
  {
    ui::TBitmapData data;
    ASSERT_TRUE(bitmap->Map(ui::TMapAccess::Write, data));
    data.SetPixel(0, 0, 0xFFFFFFFF);
    bitmap->Unmap(data);
  }
  shared->ImportFromCachedBitmap("shared.png", std::move(bitmap));
  shared->SetIsStandalone(false);
  const auto topPixel = [&] {
    ui::TBitmapData data;
    shared->Bitmap()->Map(ui::TMapAccess::Read, data);
    const TAlphaColor color = data.GetPixel(0, 0);
    shared->Bitmap()->Unmap(data);
    return color;
  };
  TTextureDef first(&material, TColorChannelDef::Diffuse, shared.get(), false);
  TTextureDef second(&material, TColorChannelDef::Diffuse, shared.get(), false);
  first.SetWrapS(TVantrelTextureWrap::Repeated);
  TBitmapInstance instance = first.GetAssetBitmapInstance(false);
  EXPECT_EQ(instance.Bitmap, shared->Bitmap());
  EXPECT_FALSE(instance.Owned);
  EXPECT_EQ(static_cast<TVantrelTextureBitmap*>(instance.Bitmap)->GetWrapS(), TVantrelTextureWrap::Repeated);
  EXPECT_EQ(topPixel(), 0xFF000000u);
  second.GetAssetBitmapInstance(false);
  EXPECT_EQ(topPixel(), 0xFF000000u);
  EXPECT_EQ(second.GetFlipState(), TTextureFlippings{TTextureFlipping::Vertical});
  TTextureDef third(&material, TColorChannelDef::Diffuse, shared.get(), false);
  third.Flipping = {};
  third.GetAssetBitmapInstance(false);
  EXPECT_EQ(topPixel(), 0xFFFFFFFFu);
  EXPECT_TRUE(first.GetFlipState().IsEmpty());
}

} // namespace
