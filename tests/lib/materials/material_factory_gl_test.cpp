// The material factory: the source class and key settings of each kind, class lookup by the
// stored names, shininess, reuse by definition, and clones freed after copying.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.BumpMap.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Layered.h"
#include "materials/Vantrel.Material.NormalMap.h"
#include "materials/Vantrel.Material.PBR.h"
#include "materials/Vantrel.Material.Phong.h"
#include "materials/Vantrel.Material.h"
#include "scene/Vantrel.Control.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Model.h"
#include "support/gl_fixture.h"

namespace materialfactorytest {

using namespace vantrel;

// A groupless cached asset holding a 2 x 2 bitmap of one colour.
TVantrelTextureAsset* CachedAsset(const std::string& AName, TAlphaColor AColor = 0xFFFFFFFF) {
  TVantrelTextureAsset* asset = TVantrelTextureAsset::Create(nullptr);
  auto bitmap = MakeOwned<TBitmap>(2, 2);
  bitmap->Clear(AColor);
  asset->ImportFromCachedBitmap(AName, std::move(bitmap));
  return asset;
}

class MaterialFactory : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    KeepProgramsForTheSuite();
    InitializeUnits();
    Owner = MakeOwned<TVantrelControl>(nullptr);
  }
  void TearDown() override {
    Owner.reset();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }

  // A material of the model with a texture for each channel given.
  TMaterialDef* Def(TMaterialDefKind AKind, const std::vector<TColorChannelDef>& AChannels = {}) {
    auto* def = New<TMaterialDef>(&Model, "M" + std::to_string(++FCount));
    def->Kind = AKind;
    for (TColorChannelDef channel : AChannels)
      def->AddTexture(channel, CachedAsset("t" + std::to_string(++FCount) + ".png"), true);
    return def;
  }

  TModelDef Model;
  TOwned<TVantrelControl> Owner;
  int FCount = 0;
};

TEST_F(MaterialFactory, EachKindMakesItsSourceClass) {
  struct Row {
    const char* Name;
    TMaterialDefKind Kind;
    std::vector<TColorChannelDef> Channels;
    const char* ClassName;
    std::function<void(TMaterialSource*)> Check;
  };
  const auto as = [](TMaterialSource* ASource) { return static_cast<TVantrelDefaultMaterialSource*>(ASource); };
  const TAlphaColorF emissive = TAlphaColorF::Create(0.2f, 0.1f, 0.05f, 1);
  const std::vector<Row> rows{
      {"default textured", TMaterialDefKind::mkDefault, {TColorChannelDef::Diffuse},
       "Vantrel.Material.Lambert.TVantrelLambertMaterialSource",
       [&](TMaterialSource* S) {
         EXPECT_TRUE(as(S)->GetUseTexturing());
         EXPECT_NE(as(S)->GetEmissiveF(), emissive);
       }},
      {"default plain", TMaterialDefKind::mkDefault, {}, "Vantrel.Material.Lambert.TVantrelLambertMaterialSource",
       [&](TMaterialSource* S) {
         EXPECT_FALSE(as(S)->GetUseTexturing());
         EXPECT_EQ(as(S)->GetEmissiveF(), emissive);
       }},
      {"colour", TMaterialDefKind::mkColor, {}, "Vantrel.Material.Lambert.TVantrelLambertMaterialSource",
       [&](TMaterialSource* S) { EXPECT_FALSE(as(S)->GetUseTexture0()); }},
      {"lambert", TMaterialDefKind::mkLambert, {TColorChannelDef::Diffuse},
       "Vantrel.Material.Lambert.TVantrelLambertMaterialSource",
       [&](TMaterialSource* S) { EXPECT_TRUE(as(S)->GetUseTexture0()); }},
      {"phong", TMaterialDefKind::mkPhong, {}, "Vantrel.Material.Phong.TVantrelPhongMaterialSource",
       [&](TMaterialSource* S) { EXPECT_FALSE(as(S)->GetUseTexturing()); }},
      {"blinn", TMaterialDefKind::mkBlinnPhong, {}, "Vantrel.Material.Blinn.TVantrelBlinnMaterialSource",
       [&](TMaterialSource* S) { EXPECT_TRUE(as(S)->GetUseLighting()); }},
      {"normal map", TMaterialDefKind::mkNormalMap, {TColorChannelDef::Normal},
       "Vantrel.Material.NormalMap.TVantrelNormalMapMaterialSource",
       [&](TMaterialSource* S) {
         EXPECT_FALSE(as(S)->GetUseTexture0());
         EXPECT_EQ(as(S)->GetNormalMap()->Width(), 2);
       }},
      {"bump map", TMaterialDefKind::mkBumpMap, {TColorChannelDef::Diffuse, TColorChannelDef::Specular},
       "Vantrel.Material.BumpMap.TVantrelBumpMapMaterialSource",
       [&](TMaterialSource* S) {
         EXPECT_EQ(static_cast<TVantrelBumpMapMaterialSource*>(S)->GetSpecularMap()->Width(), 2);
       }},
      {"vertex colour", TMaterialDefKind::mkVertexColor, {},
       "Vantrel.Material.VertexColor.TVantrelVertexColorMaterialSource",
       [&](TMaterialSource* S) { EXPECT_TRUE(as(S)->GetUseVertexColor()); }},
      {"custom", TMaterialDefKind::mkCustom, {}, "Vantrel.Material.Default.TVantrelDefaultMaterialSource",
       [&](TMaterialSource* S) { EXPECT_EQ(as(S)->GetShadingModel(), TVantrelShadingModel::smPhong); }},
      {"physically based", TMaterialDefKind::mkPBR, {TColorChannelDef::Emissive, TColorChannelDef::Metalness},
       "Vantrel.Material.PBR.TVantrelPBRMaterialSource",
       [&](TMaterialSource* S) {
         EXPECT_TRUE(as(S)->GetUsePBREmissiveTexture());
         EXPECT_TRUE(as(S)->GetUsePBRMetallicTexture());
         EXPECT_FALSE(as(S)->GetUsePBRRoughnessTexture());
         EXPECT_EQ(as(S)->GetEmissiveF(), TAlphaColorF::Create(1, 1, 1, 1));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TMaterialDef* def = Def(row.Kind, row.Channels);
    def->Emissive = emissive;
    def->ShadingModel = TVantrelShadingModel::smPhong;
    TMaterialSource* source = TVantrelMaterial::CreateMaterial(Owner.get(), def);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->ClassType().QualifiedName(), row.ClassName);
    // The texts, made once at the end of the build, are those of the settings made: making them
    // again changes nothing.
    TVantrelDefaultMaterial* material = as(source)->DefaultMaterial();
    const auto vertex = material->GetVSShaderSource().Code, pixel = material->GetFSShaderSource().Code;
    EXPECT_FALSE(vertex.empty());
    material->UpdateShaderProgram();
    EXPECT_EQ(material->GetVSShaderSource().Code, vertex);
    EXPECT_EQ(material->GetFSShaderSource().Code, pixel);
    EXPECT_FALSE(source->Stored());
    EXPECT_EQ(source->Parent(), Owner.get());
    EXPECT_EQ(source->Owner(), Owner.get());
    EXPECT_EQ(source->TagObject(), def);
    row.Check(source);
    // The stored class name finds the same metaclass.
    EXPECT_EQ(GetClass(row.ClassName), &source->ClassType());
    TMaterialDef stored;
    static_cast<TVantrelDefaultMaterialSource*>(source)->StoreToDefinition(&stored);
    EXPECT_EQ(stored.TypeName, row.ClassName);
  }
  EXPECT_EQ(TVantrelMaterial::CreateMaterial(Owner.get(), nullptr), nullptr);
}

TEST_F(MaterialFactory, LayeredDefinitionsMakeOneLayerPerSubMaterial) {
  TMaterialDef* def = Def(TMaterialDefKind::mkLayered);
  const std::vector<TMaterialDefKind> kinds{TMaterialDefKind::mkPhong, TMaterialDefKind::mkColor,
                                            TMaterialDefKind::mkNormalMap};
  for (TMaterialDefKind kind : kinds) {
    auto sub = MakeOwned<TMaterialDef>(&Model, "S" + std::to_string(int(kind)));
    sub->Kind = kind;
    def->AddLayeredMaterial(std::move(sub));
  }
  auto* source = dynamic_cast<TVantrelLayeredMaterialSource*>(TVantrelMaterial::CreateMaterial(Owner.get(), def));
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(GetClass(source->ClassType().QualifiedName()), nullptr);
  ASSERT_EQ(source->GetMaterials()->Count(), 3);
  const std::vector<std::string> classes{"TVantrelPhongMaterialSource", "TVantrelLambertMaterialSource",
                                         "TVantrelNormalMapMaterialSource"};
  for (int i = 0; i < 3; ++i) {
    TMaterialSource* layer = source->GetMaterials()->Item(i)->GetMaterial();
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->ClassName(), classes[size_t(i)]);
    EXPECT_EQ(layer->TagObject(), def->GetLayeredMaterialByIndex(i));
  }
  // A stored Phong name makes a Phong source through the class registry.
  TObject* made = FindClass("Vantrel.Material.Phong.TVantrelPhongMaterialSource").Create(Owner.get());
  EXPECT_NE(dynamic_cast<TVantrelPhongMaterialSource*>(made), nullptr);
}

class TChangeCounter : public TObject {
public:
  int Changes = 0;
  void Changed(TObject*) { ++Changes; }
};

// A source constructed inside a build keeps its material's texts pending through its own
// construction and every setting after it, and makes them once when the build ends: the same
// texts as a source set up outside any build.
TEST_F(MaterialFactory, ABuildMakesTheTextsOnceWhenItEnds) {
  const auto setUp = [](TVantrelDefaultMaterialSource* ASource) {
    ASource->SetUseTexturing(false);
    ASource->SetShininess(12);
    ASource->SetShadingModel(TVantrelShadingModel::smPBR);
    ASource->SetUseVertexColor(true);
  };
  auto* built = static_cast<TVantrelPhongMaterialSource*>(
      TVantrelPhongMaterialSource::StaticClass().NewInstance(Owner.get()));
  built->BeginBuild();
  Construct(built);
  TChangeCounter counter;
  TVantrelDefaultMaterial* material = built->DefaultMaterial();
  material->SetOnChange(TNotifyEvent(&counter, &TChangeCounter::Changed));
  EXPECT_TRUE(material->GetFSShaderSource().Code.empty());
  setUp(built);
  EXPECT_EQ(counter.Changes, 0);
  built->EndBuild();
  EXPECT_EQ(counter.Changes, 1);
  built->EndBuild();
  EXPECT_EQ(counter.Changes, 1);

  auto* plain = New<TVantrelPhongMaterialSource>(Owner.get());
  setUp(plain);
  EXPECT_EQ(material->GetVSShaderSource().Code, plain->DefaultMaterial()->GetVSShaderSource().Code);
  EXPECT_EQ(material->GetFSShaderSource().Code, plain->DefaultMaterial()->GetFSShaderSource().Code);
  EXPECT_EQ(material->GetTextures()->Count(), plain->DefaultMaterial()->GetTextures()->Count());
}

TEST_F(MaterialFactory, ShininessInSinglePrecision) {
  struct Row {
    float SpecPow;
    float Shininess;
  };
  for (const Row& row : {Row{0.25f, 25}, Row{0.07f, 7}, Row{12.2f, 13}, Row{0, 0}, Row{1, 1}}) {
    SCOPED_TRACE(row.SpecPow);
    EXPECT_EQ(TVantrelMaterial::ShininessOf(row.SpecPow), row.Shininess);
    TMaterialDef* def = Def(TMaterialDefKind::mkPhong);
    def->SpecPow = row.SpecPow;
    auto* source = static_cast<TVantrelDefaultMaterialSource*>(TVantrelMaterial::CreateMaterial(Owner.get(), def));
    EXPECT_EQ(source->GetShininess(), row.Shininess);
  }
}

TEST_F(MaterialFactory, ReferencesReuseSourcesMadeForTheirDefinition) {
  TMaterialDef* def = Def(TMaterialDefKind::mkLambert);
  TMaterialRefDef byReference;
  byReference.SetId(def->GetId());
  byReference.SetReference(def);
  TMaterialSource* first = TVantrelMaterial::CreateMaterial(Owner.get(), &Model, &byReference);
  EXPECT_EQ(TVantrelMaterial::CreateMaterial(Owner.get(), &Model, &byReference), first);
  TMaterialRefDef byId;
  byId.SetId(def->GetId());
  TMaterialSource* a = TVantrelMaterial::CreateMaterial(Owner.get(), &Model, &byId);
  TMaterialSource* b = TVantrelMaterial::CreateMaterial(Owner.get(), &Model, &byId);
  EXPECT_NE(a, b);
  EXPECT_NE(a, first);
  byId.SetId("missing");
  EXPECT_EQ(TVantrelMaterial::CreateMaterial(Owner.get(), &Model, &byId), nullptr);
  EXPECT_EQ(TVantrelMaterial::CreateMaterial(Owner.get(), nullptr, &byReference), nullptr);
}

// A mesh searches from its model, found as TVantrelMesh::GetModel finds it: up through parent
// meshes only, so a mesh below a plain control of the model searches from itself.
TEST_F(MaterialFactory, MeshesOfAModelReuseSourcesMadeAnywhereInTheModel) {
  TMaterialDef* def = Def(TMaterialDefKind::mkLambert);
  TMaterialRefDef byReference;
  byReference.SetId(def->GetId());
  byReference.SetReference(def);
  auto* model = New<TVantrelModel>(Owner.get());
  model->SetParent(Owner.get());
  auto* mesh = New<TVantrelMesh>(model);
  mesh->SetParent(model);
  auto* subMesh = New<TVantrelMesh>(model);
  subMesh->SetParent(mesh);
  auto* group = New<TVantrelControl>(model);
  group->SetParent(model);
  auto* belowGroup = New<TVantrelMesh>(model);
  belowGroup->SetParent(group);
  ASSERT_EQ(subMesh->GetModel(), model);
  ASSERT_EQ(belowGroup->GetModel(), nullptr);

  TMaterialSource* first = TVantrelMaterial::CreateMaterial(mesh, &Model, &byReference);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Owner(), mesh);
  EXPECT_EQ(TVantrelMaterial::CreateMaterial(subMesh, &Model, &byReference), first);
  EXPECT_EQ(TVantrelMaterial::CreateMaterial(model, &Model, &byReference), first) << "the model searches itself";
  TMaterialSource* own = TVantrelMaterial::CreateMaterial(belowGroup, &Model, &byReference);
  EXPECT_NE(own, first);
  EXPECT_EQ(own->Owner(), belowGroup);
}

TEST_F(MaterialFactory, ClonesOfCachedAssetsAreFreedAfterCopying) {
  TVantrelBitmapCache cache;
  TVantrelBitmapCacheEntry* entry = cache.Add();
  entry->SetFilename("tex.png");
  TBitmap pixels(4, 4);
  entry->SetBitmap(&pixels);
  Model.ApplyBitmapCache(&cache);
  TMaterialDef* def = Def(TMaterialDefKind::mkLambert);
  def->AddTexture(TColorChannelDef::Diffuse, Model.GetTextureAssets()[0], false);
  for (int i = 0; i < 100; ++i) {
    auto owner = MakeOwned<TVantrelControl>(nullptr);
    auto* source = static_cast<TVantrelDefaultMaterialSource*>(TVantrelMaterial::CreateMaterial(owner.get(), def));
    ASSERT_EQ(source->GetTexture()->Width(), 4);
  }
}

TEST_F(MaterialFactory, MeshesTakeTheirMaterialFromTheFactory) {
  TMaterialDef* material = Def(TMaterialDefKind::mkPhong);
  material->UseOpacity = true;
  material->Opacity = 0.5f;
  material->DoubleSided = true;
  auto* meshDef = New<TMeshDef>(&Model);
  meshDef->SetId("Mesh");
  Model.AddChild(meshDef);
  meshDef->SetMaterialReference(material);
  auto* first = New<TVantrelMesh>(Owner.get());
  first->LoadFromDefinition(meshDef);
  auto* source = first->GetMaterialSource();
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->ClassType().QualifiedName(), "Vantrel.Material.Phong.TVantrelPhongMaterialSource");
  EXPECT_FALSE(first->Opaque());
  EXPECT_FLOAT_EQ(first->Opacity(), 0.5f);
  EXPECT_TRUE(first->TwoSide());
  EXPECT_EQ(meshDef->GetFaceOrientation(), TFaceOrientation::TwoFace);
}

} // namespace materialfactorytest
