// The definition half of the material sources: store -> load round trips of every source class,
// the channel table, shininess, number kinds, asset ownership, behaviours and rebuild counts.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.Blinn.h"
#include "materials/Vantrel.Material.BumpMap.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "materials/Vantrel.Material.NormalMap.h"
#include "materials/Vantrel.Material.PBR.h"
#include "materials/Vantrel.Material.POM.h"
#include "materials/Vantrel.Material.Phong.h"
#include "materials/Vantrel.Material.VertexColor.h"
#include "rtl/stringlist.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"

namespace materialdefinitionio {

using namespace vantrel;

// Stands in for the model control, which sources find by its registered name.
class TVantrelModel : public TFmxObject {
  RTL_CLASS(TVantrelModel, TFmxObject)
public:
  explicit TVantrelModel(TComponent* AOwner) : TFmxObject(AOwner) {}
};
RTL_DEFINE_CLASS(TVantrelModel, "Vantrel.Model")

// A behaviour built from a definition.
class TDefinedBehaviour : public TVantrelMaterialBehaviour {
  RTL_CLASS(TDefinedBehaviour, TVantrelMaterialBehaviour)
public:
  using TVantrelMaterialBehaviour::TVantrelMaterialBehaviour;
  void UseDef(TMaterialBehaviourDef* ADef) { SetDef(ADef); }
  bool DoOnRegisterUniformBuffer(std::string&, void*&, int32_t&) override { return false; }
  void DoOnCreateShader(TVantrelNodeBuilder*, TContextShaderKind) override {}
  void DoOnUpdateShader(TVantrelNodeBuilder*, TContextShaderKind) override {}
  void DoOnRemoveShader(TVantrelNodeBuilder*, TContextShaderKind) override {}
  void Apply(TMaterial*, TContext3D*, TVantrelMaterialBehaviourItem*) override {}
};
RTL_DEFINE_CLASS(TDefinedBehaviour, "Test.MaterialDefinitionIO")

class TChangeCounter : public TObject {
public:
  int Changes = 0;
  void Changed(TObject*) { ++Changes; }
};

std::unique_ptr<TJSONObject> ParseObject(const std::string& AText) {
  std::unique_ptr<TJSONValue> value = TJSONValue::ParseJSONValue(AText, true);
  auto* object = dynamic_cast<TJSONObject*>(value.get());
  EXPECT_NE(object, nullptr);
  value.release();
  return std::unique_ptr<TJSONObject>(object);
}

std::vector<std::string> Lines(const TStrings& AStrings) {
  std::vector<std::string> lines;
  for (int i = 0; i < AStrings.GetCount(); ++i)
    lines.push_back(AStrings.GetStrings(i));
  return lines;
}

void ExpectColorNear(const TAlphaColorF& AActual, const TAlphaColorF& AExpected) {
  EXPECT_NEAR(AActual.R, AExpected.R, 1 / 255.0f);
  EXPECT_NEAR(AActual.G, AExpected.G, 1 / 255.0f);
  EXPECT_NEAR(AActual.B, AExpected.B, 1 / 255.0f);
  EXPECT_NEAR(AActual.A, AExpected.A, 1 / 255.0f);
}

class MaterialDefinitionIO : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    KeepProgramsForTheSuite();
    InitializeDefTypes();
    InitializeAssetsManager();
    Owner = MakeOwned<TComponent>(nullptr);
  }
  void TearDown() override {
    Owner.reset();
    FinalizeAssetsManager();
    FinalizeDefTypes();
    ContextGLTest::TearDown();
  }

  template <class T = TVantrelDefaultMaterialSource> T* NewSource(TComponent* AOwner = nullptr) {
    return New<T>(AOwner ? AOwner : Owner.get());
  }

  TOwned<TComponent> Owner;
};

// ---- round trips of every source class --------------------------------------------------------------

using TSourceFactory = std::function<TVantrelDefaultMaterialSource*(TComponent*)>;
template <class T> TSourceFactory Factory() {
  return [](TComponent* AOwner) { return New<T>(AOwner); };
}

TEST_F(MaterialDefinitionIO, EverySourceClassRoundTripsThroughItsDefinition) {
  struct Row {
    const char* Name;
    TSourceFactory Make;
  };
  const std::vector<Row> rows{
      {"default", Factory<TVantrelDefaultMaterialSource>()},
      {"lambert", Factory<TVantrelLambertMaterialSource>()},
      {"phong", Factory<TVantrelPhongMaterialSource>()},
      {"blinn", Factory<TVantrelBlinnMaterialSource>()},
      {"vertex colour", Factory<TVantrelVertexColorMaterialSource>()},
      {"normal map", Factory<TVantrelNormalMapMaterialSource>()},
      {"bump map", Factory<TVantrelBumpMapMaterialSource>()},
      {"parallax", Factory<TVantrelPOMMaterialSource>()},
      {"physically based", Factory<TVantrelPBRMaterialSource>()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TVantrelDefaultMaterialSource* source = row.Make(Owner.get());
    source->SetDiffuseF(TAlphaColorF::Create(0.8f, 0.4f, 0.2f, 1));
    source->SetAmbientF(TAlphaColorF::Create(0.1f, 0.2f, 0.3f, 1));
    source->SetEmissiveF(TAlphaColorF::Create(0.05f, 0, 0.5f, 1));
    source->SetSpecularF(TAlphaColorF::Create(0.9f, 0.9f, 0.1f, 1));
    source->SetUseLighting(false);
    source->SetUseSpecular(true);
    source->SetUseAlphaCutoff(true);
    source->SetAlphaCutoff(0.25f);
    source->SetBrightness(0.75f);
    source->SetShininess(24);
    source->SetTonemapping(TVantrelTonemapping::tmFilmic);
    source->SetShadingIntensity(1.5f);
    source->SetDisplacement(TVector3D{0.1f, 0.2f, 0.3f, 1});
    source->SetUseDisplacementMapping(true);
    TStringList vertex;
    vertex.Add("// vertex user function");
    source->SetVertexShader(&vertex);
    TStringList surface;
    surface.Add("// surface user function");
    surface.Add("// second line");
    source->SetSurfaceShader(&surface);

    TMaterialDef def;
    source->StoreToDefinition(&def);
    EXPECT_EQ(def.TypeName, source->ClassType().QualifiedName());
    def.Kind = TMaterialDefKind::mkCustom;
    TMaterialDef fromText;
    fromText.FromJSON(nullptr, *ParseObject(def.ToJSON()->ToJSON()));

    for (const TMaterialDef* loaded : {&def, &fromText}) {
      TVantrelDefaultMaterialSource* copy = row.Make(Owner.get());
      copy->LoadFromDefinition(loaded);
      EXPECT_EQ(copy->TagObject(), loaded);
      ExpectColorNear(copy->GetDiffuseF(), source->GetDiffuseF());
      ExpectColorNear(copy->GetAmbientF(), source->GetAmbientF());
      ExpectColorNear(copy->GetEmissiveF(), source->GetEmissiveF());
      ExpectColorNear(copy->GetSpecularF(), source->GetSpecularF());
      EXPECT_EQ(copy->GetUseLighting(), source->GetUseLighting());
      EXPECT_EQ(copy->GetUseSpecular(), source->GetUseSpecular());
      EXPECT_EQ(copy->GetUseAlphaCutoff(), true);
      EXPECT_FLOAT_EQ(copy->GetAlphaCutoff(), 0.25f);
      EXPECT_FLOAT_EQ(copy->GetBrightness(), 0.75f);
      EXPECT_FLOAT_EQ(copy->GetShininess(), 24);
      EXPECT_EQ(copy->GetTonemapping(), TVantrelTonemapping::tmFilmic);
      EXPECT_FLOAT_EQ(copy->GetShadingIntensity(), 1.5f);
      EXPECT_EQ(copy->GetDisplacement(), source->GetDisplacement());
      EXPECT_EQ(copy->GetUseDisplacementMapping(), source->GetUseDisplacementMapping());
      EXPECT_EQ(copy->GetUseNormalMapping(), source->GetUseNormalMapping());
      EXPECT_EQ(copy->GetUsePBRAlbedoTexture(), source->GetUsePBRAlbedoTexture());
      EXPECT_EQ(copy->GetUsePBRMetallicTexture(), source->GetUsePBRMetallicTexture());
      EXPECT_EQ(Lines(*copy->GetVertexShader()), Lines(vertex));
      EXPECT_EQ(Lines(*copy->GetSurfaceShader()), Lines(surface));
    }
  }
}

TEST_F(MaterialDefinitionIO, StoringAPlainSourceWritesTheDisplacementMapAsAbsent) {
  auto* source = NewSource<TVantrelLambertMaterialSource>();
  TMaterialDef def;
  source->StoreToDefinition(&def);
  const TExtensionDef* displacement = def.GetExtension("Displacement");
  ASSERT_NE(displacement, nullptr);
  EXPECT_FALSE(displacement->GetProperties().Items(std::string("DisplacementMap")).AsBoolean());
  ASSERT_NE(def.GetExtension("Shading"), nullptr);
  EXPECT_EQ(def.GetExtension("Maps")->GetProperties().Count(), 11);
  // Storing again updates the extensions and shaders it made.
  const int shaders = def.GetShaders() ? def.GetShaders()->Count() : 0;
  source->StoreToDefinition(&def);
  EXPECT_EQ(def.GetExtensions()->Count(), 3);
  EXPECT_EQ(def.GetShaders() ? def.GetShaders()->Count() : 0, shaders);
  // Anything but a material definition is left alone.
  TSamplerDef sampler;
  source->StoreToDefinition(&sampler);
  source->LoadFromDefinition(&sampler);
  EXPECT_EQ(TVantrelDefaultMaterialSource::CreateFromDefinition(Owner.get(), &sampler), nullptr);
}

// ---- channels, shininess, number kinds ---------------------------------------------------------------

TEST_F(MaterialDefinitionIO, TexturesMapToEntriesByChannel) {
  TMaterialDef blinn;
  blinn.ShadingModel = TVantrelShadingModel::smBlinnPhong;
  blinn.UseTexturing = false;
  blinn.AddTexture(TColorChannelDef::Normal, nullptr, false);
  auto* source = NewSource();
  source->LoadFromDefinition(&blinn);
  EXPECT_TRUE(source->GetUseTexturing());
  EXPECT_TRUE(source->GetUseNormalMapping());
  EXPECT_NE(source->FindBitmapEntryByName("NormalMapTexture"), nullptr);

  // Every user-specific texture of one definition gets one name from the list's count.
  TMaterialDef users;
  users.AddTexture(TColorChannelDef::Diffuse, nullptr, false);
  users.AddTexture(TColorChannelDef::UserSpecific, nullptr, false);
  users.AddTexture(TColorChannelDef::UserSpecific, nullptr, false);
  auto* userSource = NewSource();
  userSource->LoadFromDefinition(&users);
  EXPECT_NE(userSource->FindBitmapEntryByName("Texture3"), nullptr);
  EXPECT_EQ(userSource->FindBitmapEntryByName("Texture1"), nullptr);

  // Stored entries take their channel by name; an unknown name is user-specific.
  auto* stored = NewSource();
  stored->SetUseTexture0(true);
  stored->AddBitmap("Extra", TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, TVantrelTextureDataType::dtUnsignedByte,
                    false, false, true, TContextShaderKind::PixelShader, TVantrelTextureKind::Texture2D);
  TMaterialDef def;
  stored->StoreToDefinition(&def);
  ASSERT_NE(def.GetTexture(TColorChannelDef::Diffuse), nullptr);
  ASSERT_NE(def.GetTexture(TColorChannelDef::UserSpecific), nullptr);
  EXPECT_EQ(def.GetTexture(TColorChannelDef::UserSpecific)->GetAssetRef()->OriginalFilename(), "Extra");
  EXPECT_TRUE(def.GetTexture(TColorChannelDef::Diffuse)->IsAssetOwner);
}

TEST_F(MaterialDefinitionIO, ShininessAndNumberKinds) {
  struct Row {
    float SpecPow;
    float Shininess;
  };
  for (const Row& row : {Row{0.5f, 0.5f}, Row{32.2f, 33}, Row{500, 100}}) {
    SCOPED_TRACE(row.SpecPow);
    TMaterialDef def;
    def.SpecPow = row.SpecPow;
    auto* source = NewSource();
    source->LoadFromDefinition(&def);
    EXPECT_FLOAT_EQ(source->GetShininess(), row.Shininess);
  }
  // A whole Single goes through JSON text as an integer and still sets the Single.
  TMaterialDef def;
  def.AddExtension("Shading")->GetProperties().Add("ShadingIntensity", TValue::From(2.0f));
  const std::string text = def.ToJSON()->ToJSON();
  EXPECT_NE(text.find(R"("Value":2})"), std::string::npos) << text;
  TMaterialDef fromText;
  fromText.FromJSON(nullptr, *ParseObject(text));
  auto* source = NewSource();
  source->LoadFromDefinition(&fromText);
  EXPECT_FLOAT_EQ(source->GetShadingIntensity(), 2.0f);
  // The displacement must be a vector.
  TMaterialDef wrong;
  wrong.AddExtension("Displacement")->GetProperties().Add("Displacement", TValue::From(1.0f));
  EXPECT_THROW(source->LoadFromDefinition(&wrong), EInvalidCast);
}

// ---- ownership of stored bitmaps (faults 2 and 3) ------------------------------------------------------

TEST_F(MaterialDefinitionIO, StoredBitmapsAreCopiesOwnedOnce) {
  const auto filledSource = [&](TComponent* AOwner) {
    auto* source = NewSource(AOwner);
    source->SetUseTexture0(true);
    source->GetTexture()->SetSize(2, 2);
    return source;
  };
  for (bool modelFirst : {true, false}) {
    SCOPED_TRACE(modelFirst);
    auto owner = MakeOwned<TComponent>(nullptr);
    auto* source = filledSource(owner.get());
    auto model = MakeOwned<TModelDef>();
    auto* material = New<TMaterialDef>(model.get(), "M");
    source->StoreToDefinition(material);
    TVantrelTextureAsset* asset = material->GetTexture(TColorChannelDef::Diffuse)->GetAssetRef();
    EXPECT_NE(asset->Bitmap(), source->GetTexture());
    EXPECT_TRUE(model->HoldsTextureAsset(asset));
    if (modelFirst) {
      model.reset();
      // The surviving source still has its own bitmap.
      EXPECT_EQ(source->GetTexture()->Width(), 2);
      TMaterialDef again;
      source->StoreToDefinition(&again);
    } else {
      owner.reset();
      EXPECT_EQ(asset->Bitmap()->Width(), 2);
    }
  }
  // Without a model the definition frees the asset; with two materials the registry declines the
  // second equal asset, whose definition frees it.
  {
    TMaterialDef loose;
    filledSource(nullptr)->StoreToDefinition(&loose);
  }
  TModelDef model;
  auto* first = New<TMaterialDef>(&model, "A");
  auto* second = New<TMaterialDef>(&model, "B");
  filledSource(nullptr)->StoreToDefinition(first);
  filledSource(nullptr)->StoreToDefinition(second);
  EXPECT_EQ(model.GetTextureAssets().size(), 1u);
  EXPECT_FALSE(model.HoldsTextureAsset(second->GetTexture(TColorChannelDef::Diffuse)->GetAssetRef()));
}

// ---- behaviours --------------------------------------------------------------------------------

TEST_F(MaterialDefinitionIO, BehaviourReferencesAttachThroughTheModel) {
  TModelDef modelDef;
  TMaterialBehaviourDef* behaviourDef = modelDef.AddNewMaterialBehaviour();
  TMaterialDef def;
  def.AddMaterialBehaviourRef("Blink", behaviourDef);
  // An unresolved reference to the same behaviour.
  def.AddMaterialBehaviourRef("Again", behaviourDef)->SetReference(nullptr);

  // Without the model class registered nothing is looked for.
  {
    auto* model = New<TVantrelModel>(Owner.get());
    auto* behaviour = New<TDefinedBehaviour>(model);
    behaviour->UseDef(behaviourDef);
    auto* source = NewSource(model);
    source->LoadFromDefinition(&def);
    EXPECT_EQ(source->GetBehaviours()->Count(), 0);
  }
  RegisterClass(TVantrelModel::StaticClass());
  struct TUnregister {
    ~TUnregister() { UnRegisterClass(TVantrelModel::StaticClass()); }
  } unregister;
  auto* model = New<TVantrelModel>(Owner.get());
  auto* behaviour = New<TDefinedBehaviour>(model);
  behaviour->UseDef(behaviourDef);
  auto* source = NewSource(model);
  vtest::TLogCapture log;
  source->LoadFromDefinition(&def);
  EXPECT_EQ(source->FindModel(), model);
  EXPECT_EQ(source->GetBehaviours()->Count(), 1);
  EXPECT_TRUE(source->MaterialBehaviourAttached(behaviour));
  const std::vector<std::string> expected{"failed to find material behaviour reference \"" + behaviourDef->GetId() +
                                          "\" (\"Again\") on loading material from definition"};
  EXPECT_EQ(log.Lines(), expected);

  // Stored references name the behaviour's definition; the behaviour copies its id both ways.
  TMaterialDef stored;
  source->StoreToDefinition(&stored);
  ASSERT_NE(stored.GetBehaviourRefs(), nullptr);
  EXPECT_EQ(stored.GetBehaviourRefs()->Count(), 1);
  EXPECT_EQ((*stored.GetBehaviourRefs())[0]->GetReference(), behaviourDef);
  TMaterialBehaviourDef other;
  behaviour->LoadFromDefinition(&other);
  EXPECT_EQ(behaviour->GetUniqueID(), other.GetId());
  TMaterialBehaviourDef target;
  behaviour->StoreToDefinition(&target);
  EXPECT_EQ(target.GetId(), other.GetId());
  EXPECT_THROW(behaviour->LoadFromDefinition(&def), EInvalidCast);
}

// ---- rebuilds and the parallax extension ------------------------------------------------------------

TEST_F(MaterialDefinitionIO, OneLoadRebuildsOnce) {
  TMaterialDef def;
  for (TColorChannelDef channel : {TColorChannelDef::Diffuse, TColorChannelDef::Emissive, TColorChannelDef::Specular,
                                   TColorChannelDef::Normal, TColorChannelDef::Displacement, TColorChannelDef::AO,
                                   TColorChannelDef::Opacity, TColorChannelDef::Lightmap})
    def.AddTexture(channel, nullptr, false);
  def.AddExtension("Shading")->GetProperties().Add("ShadingIntensity", TValue::From(2.0f));
  def.AddExtension("Maps")->GetProperties().Add("UseNormalMapping", TValue::From(false));
  def.AddExtension("Displacement")->GetProperties().Add("Displacement", TValue::From(TVector3D{1, 2, 3, 4}));
  auto* source = NewSource();
  TChangeCounter counter;
  source->DefaultMaterial()->SetOnChange(TNotifyEvent(&counter, &TChangeCounter::Changed));
  source->LoadFromDefinition(&def);
  EXPECT_EQ(counter.Changes, 1);
  EXPECT_EQ(source->GetBitmaps()->Count(), 8);
  EXPECT_FALSE(source->GetUseNormalMapping());
}

TEST_F(MaterialDefinitionIO, ParallaxLevelsSurviveStoreAndLoad) {
  auto* source = NewSource<TVantrelPOMMaterialSource>();
  source->SetParallaxLevels(24);
  source->SetUseParallaxOcclusion(true);
  TMaterialDef def;
  source->StoreToDefinition(&def);
  const TExtensionDef* extension = def.GetExtension("ParallaxOcclusionMapping");
  ASSERT_NE(extension, nullptr);
  EXPECT_EQ(extension->GetProperties().Items(std::string("ParallaxLevels")).AsInteger(), 24);
  auto* copy = NewSource<TVantrelPOMMaterialSource>();
  copy->LoadFromDefinition(&def);
  EXPECT_EQ(copy->GetParallaxLevels(), 24);
  EXPECT_TRUE(copy->GetUseParallaxOcclusion());

  auto* pbr = NewSource<TVantrelPBRMaterialSource>();
  TMaterialDef pbrDef;
  pbr->StoreToDefinition(&pbrDef);
  const TExtensionDef* pbrExtension = pbrDef.GetExtension("PBR");
  ASSERT_NE(pbrExtension, nullptr);
  EXPECT_TRUE(pbrExtension->GetProperties().ContainsKey(std::string("UsePBRAlbedoTexture")));
}

} // namespace materialdefinitionio
