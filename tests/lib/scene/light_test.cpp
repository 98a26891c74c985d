#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "Vantrel.Units.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Light.h"

namespace {

using namespace vantrel;

class LightTest : public ::testing::Test {
protected:
  void SetUp() override { InitializeUnits(); }
  void TearDown() override { FinalizeUnits(); }
};

TEST_F(LightTest, ANewLightHasTheDefaultsAndClampsItsValues) {
  auto light = MakeOwned<TVantrelLight>(nullptr);
  EXPECT_EQ(light->GetIntensity(), 1);
  EXPECT_EQ(light->GetConstantAttenuation(), 1);
  EXPECT_EQ(light->GetAmbient(), (TAlphaColorF{0, 0, 0, 1}));
  EXPECT_EQ(light->GetSpecular(), (TAlphaColorF{1, 1, 1, 1}));
  struct TRow {
    const char* Name;
    float Set, Stored;
  };
  const TRow rows[] = {{"Intensity", 25, 10},          {"Intensity", -1, 0},
                       {"ScatteringExposure", 3, 1},    {"ScatteringDecay", 5, 2},
                       {"ScatteringDensity", 11, 10},   {"ScatteringIntensity", -2, 0},
                       {"LinearAttenuation", 55, 55}};
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_NE(GetPropInfo(light->ClassType(), row.Name), nullptr);
    SetPropValue(light.get(), row.Name, TValue::From(row.Set));
    EXPECT_EQ(GetPropValue(light.get(), row.Name).AsSingle(), row.Stored);
  }
  EXPECT_EQ(light->GetScattering(4), 0);
  light->SetScattering(7, 5);
  EXPECT_EQ(light->GetScattering(-1), 0);
}

TEST_F(LightTest, LoadFromDefinitionTakesTheDefinitionsValues) {
  auto def = MakeOwned<TLightDef>();
  def->SetId("Lamp 1");
  def->Diffuse = {1, 0, 0, 1};
  def->SpotCutOff = 30;
  def->Direction = {10, 20, 30};
  def->SetTransform(TMatrix3D::CreateTranslation({1, 2, 3}));
  def->ScatteringExposure = 3;
  auto light = MakeOwned<TVantrelLight>(nullptr);
  TLightDef* own = light->SelfDef();
  light->LoadFromDefinition(def.get());
  EXPECT_EQ(light->Def(), def.get());
  EXPECT_EQ(light->SelfDef(), own);
  EXPECT_EQ(light->Name(), "Lamp_1");
  EXPECT_EQ(light->GetIntensity(), 10);
  EXPECT_EQ(light->Color(), 0xFFFF0000u);
  EXPECT_EQ(light->LightType(), ui::TLightType::Point);
  EXPECT_EQ(light->Position()->Point(), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(light->RotationAngle()->Point(), (TPoint3D{10, 20, 30}));
  EXPECT_EQ(light->SpotCutOff(), 180);
  EXPECT_EQ(light->GetScattering(1), 1);

  // A name taken in the owner raises the platform's error.
  auto owner = MakeOwned<TComponent>(nullptr);
  auto* first = New<TVantrelLight>(owner.get());
  first->SetName("Lamp_1");
  auto* second = New<TVantrelLight>(owner.get());
  EXPECT_THROW(second->LoadFromDefinition(def.get()), EComponentError);
}

TEST_F(LightTest, OwnDefinitionsAreFreedUnlessAModelListsThem) {
  // A plain owner: standalone, freed with the light (LeakSanitizer reports otherwise).
  auto owner = MakeOwned<TComponent>(nullptr);
  auto* light = New<TVantrelLight>(owner.get());
  EXPECT_TRUE(light->OwnsDefinition());
  // A scene control whose definition is in a model: the model's list takes it.
  auto model = MakeOwned<TModelDef>();
  auto* meshDef = New<TTransformDef>(model.get());
  model->AddChild(meshDef);
  auto mesh = MakeOwned<TVantrelControl>(nullptr);
  mesh->SetDef(meshDef);
  auto* listed = New<TVantrelLight>(mesh.get());
  EXPECT_FALSE(listed->OwnsDefinition());
  EXPECT_EQ(model->GetLight(0), listed->SelfDef());
  // A scene control without a definition in a model (every cube): standalone again.
  auto cube = MakeOwned<TVantrelControl>(nullptr);
  auto* loose = New<TVantrelLight>(cube.get());
  EXPECT_TRUE(loose->OwnsDefinition());
  listed->Free();
  EXPECT_EQ(model->GetLights()->size(), 1u); // still the model's
}

TEST_F(LightTest, TheShaderLightCarriesTheLightsOwnValues) {
  auto light = MakeOwned<TVantrelLight>(nullptr);
  light->SetLightType(ui::TLightType::Point);
  light->SetColor(0xFFFFFFFF);
  light->Position()->SetPoint({2.5f, -5, -5});
  light->SetAmbient({0.1f, 0.2f, 0.3f, 1});
  light->SetSpecular({0.5f, 0.5f, 0.5f, 1});
  light->SetIntensity(2.5f);
  light->SetConstantAttenuation(0.5f);
  light->SetLinearAttenuation(0.25f);
  light->SetQuadraticAttenuation(0.125f);
  const float scattering[] = {0.2f, 0.5f, 1.5f, 3};
  for (int i = 0; i < 4; ++i)
    light->SetScattering(i, scattering[i]);
  TVantrelShaderLight record = light->GetLightDescriptionEx();
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  const auto at = [&](size_t AOffset) {
    float value;
    std::memcpy(&value, bytes + AOffset, sizeof(value));
    return value;
  };
  int32_t type, enabled;
  std::memcpy(&type, bytes, 4);
  std::memcpy(&enabled, bytes + 140, 4);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(enabled, 1);
  const std::pair<size_t, float> expected[] = {
      {16, 2.5f}, {20, -5},  {24, -5},   {28, 1},    {48, 0.1f},   {52, 0.2f}, {56, 0.3f}, {60, 1},
      {64, 1},    {68, 1},   {72, 1},    {76, 1},    {80, 0.5f},   {84, 0.5f}, {88, 0.5f}, {92, 1},
      {96, 0.2f}, {100, 0.5f}, {104, 1.5f}, {108, 3}, {112, 180},   {116, -1},  {124, 0.5f}, {128, 0.25f},
      {132, 0.125f}, {136, 2.5f}};
  for (const auto& [offset, value] : expected) {
    SCOPED_TRACE(offset);
    EXPECT_NEAR(at(offset), value, 1e-5);
  }
  light->SetEnabled(false);
  record = light->GetLightDescriptionEx();
  EXPECT_EQ(record.Enabled, 0);
}

TEST_F(LightTest, ACameraLoadsItsDefinition) {
  auto form = MakeOwned<TComponent>(nullptr);
  form->SetName("Form1");
  AddGlobalComponent(form.get());
  auto* cube = New<TVantrelControl>(form.get());
  cube->SetName("Cube1");
  AddGlobalComponent(cube);
  auto def = MakeOwned<TCameraDef>();
  def->SetId("");
  def->FOV = 60;
  def->NearPlane = 5;
  const TMatrix3D transform = TMatrix3D::CreateRotationZ(0.5f) * TMatrix3D::CreateTranslation({1, 2, 3});
  def->SetTransform(transform);
  struct TRow {
    const char* Target;
    bool Found;
  };
  for (const TRow& row : {TRow{"Cube1", true}, TRow{"Form1", false}, TRow{"Nobody", false}}) {
    SCOPED_TRACE(row.Target);
    def->Target = row.Target;
    auto camera = MakeOwned<TVantrelCamera>(form.get());
    EXPECT_TRUE(camera->OwnsDefinition());
    camera->LoadFromDefinition(def.get());
    EXPECT_EQ(camera->Def(), def.get());
    EXPECT_EQ(camera->Name(), "Camera_" + std::to_string(reinterpret_cast<intptr_t>(def.get())));
    EXPECT_EQ(camera->Target(), row.Found ? cube : nullptr);
    EXPECT_EQ(camera->GetFOV(), 60);
    const TMatrix3D local = camera->LocalMatrix();
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(local(r, c), transform(r, c), 1e-5) << r << "," << c;
  }
  RemoveGlobalComponent(cube);
  RemoveGlobalComponent(form.get());
}

} // namespace
