#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string>

#include "context/Vantrel.Context.Texturing.h"
#include "scene/Vantrel.SkyBox.h"
#include "support/gl_fixture.h"

namespace {

using namespace vantrel;

// The cube-map bitmap comes from the installed texture classes, so these run with the context class.
class SkyBoxMaterial : public vtest::ContextGLTest {};

TEST_F(SkyBoxMaterial, ANewMaterialHasTheDefaults) {
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial* material = source->SkyMaterial();
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(material->Source(), source.get());
  EXPECT_EQ(material->GetMode(), TVantrelSkyBoxMode::ProceduralSkyBox);
  EXPECT_TRUE(material->GetAllowFog() && material->GetStarsEnabled() && material->GetCloudsEnabled());
  const TSkyBoxShaderData defaults = TSkyBoxShaderData::Create(0);
  EXPECT_EQ(std::memcmp(&material->GetShaderData(), &defaults, sizeof(defaults)), 0);
  EXPECT_EQ(source->GetCubeMap()->GetKind(), TVantrelTextureKind::CubeMap);
  EXPECT_EQ(material->GetCubeMap(), nullptr);
}

TEST_F(SkyBoxMaterial, FiveShadersPerMaterialUnderItsAddress) {
  auto first = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  auto second = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  const std::string address = std::to_string(reinterpret_cast<intptr_t>(first->SkyMaterial()));
  const std::vector<std::string> expected = {"SkyBox-" + address + ".fvs", "SkyBoxProc-" + address + ".fvs",
                                             "SkyBox-" + address + ".fps", "SkyBoxProc-" + address + ".fps",
                                             "SkyBoxBlank-" + address + ".fps"};
  std::set<std::string> names;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(first->SkyMaterial()->Shader(i)->Name(), expected[i]);
    names.insert(first->SkyMaterial()->Shader(i)->Name());
    names.insert(second->SkyMaterial()->Shader(i)->Name());
  }
  EXPECT_EQ(names.size(), 10u);
  const auto* cubeMap = first->SkyMaterial()->Shader(2)->GetSourceByArch(ui::TContextShaderArch::GLSL);
  ASSERT_NE(cubeMap, nullptr);
  ASSERT_EQ(cubeMap->Variables.size(), 1u);
  EXPECT_EQ(cubeMap->Variables[0].Name, "CubeMap");
  EXPECT_EQ(cubeMap->Variables[0].Kind, ui::TContextShaderVariableKind::Texture);

  ui::TContextShader *vertex = nullptr, *fragment = nullptr;
  first->SkyMaterial()->PairOf(TVantrelSkyBoxMode::Blank, vertex, fragment);
  EXPECT_EQ(vertex, first->SkyMaterial()->Shader(1));
  EXPECT_EQ(fragment, first->SkyMaterial()->Shader(4));
}

TEST_F(SkyBoxMaterial, SettersClampToTheirRanges) {
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial& m = *source->SkyMaterial();
  using TSetter = void (TVantrelSkyBoxMaterial::*)(float);
  using TGetter = float (TVantrelSkyBoxMaterial::*)() const;
  struct TRow {
    const char* Name;
    TSetter Set;
    TGetter Get;
    float Min, Max;
  };
#define ROW(N, Lo, Hi) {#N, &TVantrelSkyBoxMaterial::Set##N, &TVantrelSkyBoxMaterial::Get##N, Lo, Hi}
  const TRow rows[] = {ROW(MoonSurface, 0, 1),         ROW(DepolarizationFactor, 0, 1),
                       ROW(MieCoefficient, 0, 1),      ROW(CloudFrequency, 0, 1),
                       ROW(StarSpark, 0, 1),           ROW(SunAngularDiameterDegrees, 0, 1),
                       ROW(Luminance, 0, 10),          ROW(MieV, 0, 10),
                       ROW(SunIntensityFalloffSteepness, 0, 10), ROW(StarBrightness, 0, 10),
                       ROW(MieDirectionalG, 0, 2),     ROW(RefractiveIndex, 0, 2),
                       ROW(MieZenithLength, 0, 10000), ROW(RayleighZenithLength, 0, 10000),
                       ROW(SunIntensityFactor, 0, 10000), ROW(Rayleigh, 0, 100),
                       ROW(TonemapWeighting, 0, 100),  ROW(Turbidity, 0, 100),
                       ROW(StarProbe, 0, 100),         ROW(StarDensity, 0, 1000),
                       ROW(StarSize, 0, 1000),         ROW(Inclination, -1, 1),
                       ROW(Azimuth, -1, 1),            ROW(CloudAmplitude, -10, 10),
                       ROW(CrescentMoon, 0, 1)};
#undef ROW
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    (m.*row.Set)(row.Min - 1);
    EXPECT_EQ((m.*row.Get)(), row.Min);
    (m.*row.Set)(row.Max + 1);
    EXPECT_EQ((m.*row.Get)(), row.Max);
    const float inside = (row.Min + row.Max) / 2;
    (m.*row.Set)(inside);
    EXPECT_EQ((m.*row.Get)(), inside);
  }
  m.SetNumMolecules(5);
  EXPECT_EQ(m.GetNumMolecules(), 100000);
  m.SetNumMolecules(std::numeric_limits<float>::infinity());
  EXPECT_EQ(m.GetNumMolecules(), std::numeric_limits<float>::max());
  m.SetCloudIterations(-3);
  EXPECT_EQ(m.GetCloudIterations(), 0);
  m.SetCloudIterations(40);
  EXPECT_EQ(m.GetCloudIterations(), 16);
  m.SetMieKCoefficient({-1, 0.5f, 2, 3});
  EXPECT_EQ(m.GetMieKCoefficient(), (TVector3D{0, 0.5f, 1, 1}));
  m.SetPrimaries({0, 0.5f, 2});
  EXPECT_EQ(m.GetPrimaries(), (TPoint3D{0.000000001f, 0.5f, 1}));

  m.SetCrescentMoon(0.03f);
  m.SetCrescent(false);
  EXPECT_FLOAT_EQ(m.GetCrescentMoon(), -0.03f);
  EXPECT_FALSE(m.GetCrescent());
  m.SetCrescent(true);
  EXPECT_FLOAT_EQ(m.GetCrescentMoon(), 0.03f);
  m.SetCrescentMoon(-0.5f);
  EXPECT_EQ(m.GetCrescentMoon(), 0);
}

TEST_F(SkyBoxMaterial, AnEmptyCubeMapBitmapLeavesNoCubeMapAndNotifies) {
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  int changes = 0;
  source->SkyMaterial()->SetOnChange([&](TObject*) { ++changes; });
  source->UpdateMaterialCubeMap();
  EXPECT_EQ(source->SkyMaterial()->GetCubeMap(), nullptr);
  EXPECT_EQ(changes, 1);
}

} // namespace
