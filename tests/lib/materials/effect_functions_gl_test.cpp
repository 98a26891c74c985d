// The generated effect functions evaluated on the GPU through the harness, against the CPU model
// and the worked values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "node_harness.h"
#include "shading_reference.h"

namespace {

using namespace vantrel;
using vtest::TFloat4;

// 1e-5 absolute, or 1e-4 relative above 0.1.
::testing::AssertionResult Near(double AActual, double AExpected) {
  if (!std::isfinite(AActual))
    return ::testing::AssertionFailure() << "not finite: " << AActual;
  const double tolerance = std::abs(AExpected) > 0.1 ? 1e-4 * std::abs(AExpected) : 1e-5;
  if (std::abs(AActual - AExpected) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << AActual << " is not " << AExpected;
}

// A power of 1 / 2.2 just above 0 turns float rounding of about 1e-8 into about 2e-4.
::testing::AssertionResult NearAfterPower(double AActual, double AExpected) {
  if (std::isfinite(AActual) && AExpected < 1e-3 && std::abs(AActual - AExpected) <= 5e-4)
    return ::testing::AssertionSuccess();
  return Near(AActual, AExpected);
}

TMatrix3D BiasMatrix(float AZTranslation) {
  TMatrix3D m = TMatrix3D::Identity();
  m.m11 = m.m22 = 0.5f;
  m.m33 = 0;
  m.m41 = m.m42 = 0.5f;
  m.m43 = AZTranslation;
  return m;
}

class EffectFunctionsGL : public vtest::EffectGLTest {};

// ---- Physically based functions -----------------------------------------------------------------

// Case c calls function _In[c].x with the arguments _In[16 + c].
constexpr std::string_view PBRHarness = R"(  int l_Fn = int(_In[l_Case].x);
  vec4 l_P = _In[16 + l_Case];
  vec3 l_R = vec3(-1.0);
  if (l_Fn == 0)
    l_R = F_Schlick(vec3(l_P.x), vec3(l_P.y), l_P.z);
  else if (l_Fn == 1)
    l_R = vec3(F_Schlick(l_P.x, l_P.y, l_P.z));
  else if (l_Fn == 2)
    l_R = vec3(F_Schlick(l_P.x, l_P.z));
  else if (l_Fn == 3)
    l_R = F_Schlick(vec3(l_P.x), l_P.y, l_P.z);
  else if (l_Fn == 4)
    l_R = F_Schlick(vec3(l_P.x), l_P.z);
  else if (l_Fn == 5)
    l_R = Schlick_to_F0(vec3(l_P.x), vec3(l_P.y), l_P.z);
  else if (l_Fn == 6)
    l_R = vec3(Schlick_to_F0(l_P.x, l_P.y, l_P.z));
  else if (l_Fn == 7)
    l_R = Schlick_to_F0(vec3(l_P.x), l_P.z);
  else if (l_Fn == 8)
    l_R = vec3(Schlick_to_F0(l_P.x, l_P.z));
  else if (l_Fn == 9)
    l_R = vec3(V_GGX(l_P.x, l_P.y, l_P.z));
  else if (l_Fn == 10)
    l_R = vec3(D_GGX(l_P.x, l_P.y));
  else if (l_Fn == 11)
    l_R = vec3(applyIorToRoughness(l_P.x, l_P.y));
  else if (l_Fn == 12)
    l_R = getIBLRadianceGGX(vec3(l_P.w), l_P.x, l_P.y, vec3(l_P.z), 1.0);
  else if (l_Fn == 13)
    l_R = getIBLRadianceLambertian(vec3(1.0), l_P.x, l_P.y, vec3(l_P.w), vec3(l_P.z), 1.0);
  else if (l_Fn == 14)
    l_R = vec3(lambdaSheen(l_P.x, l_P.y));
  else if (l_Fn == 15)
    l_R = vec3(V_Sheen(l_P.x, l_P.y, l_P.z));
  else if (l_Fn == 16)
    l_R = vec3(D_Charlie(l_P.x, l_P.y));
  else if (l_Fn == 17)
    l_R = BRDF_lambertian(vec3(l_P.x), vec3(1.0), vec3(l_P.y), 1.0, l_P.z);
  else if (l_Fn == 18)
    l_R = BRDF_specularSheen(vec3(1.0), l_P.x, l_P.y, l_P.z, l_P.w);
  else if (l_Fn == 19){
    vec3 l_N = vec3(0.0, 0.0, 1.0);
    vec3 l_L = vec3(sin(radians(60.0)), 0.0, cos(radians(60.0)));
    vec3 l_H = normalize(l_N + l_L);
    float l_VdotH = dot(l_N, l_H);
    float l_NdotL = dot(l_N, l_L);
    float l_NdotH = dot(l_N, l_H);
    o_Albedo = vec4(F_Schlick(vec3(0.04), vec3(1.0), l_VdotH).x, V_GGX(l_NdotL, 1.0, 0.25), D_GGX(l_NdotH, 0.25), BRDF_specularGGX(vec3(0.04), vec3(1.0), 0.25, 1.0, l_VdotH, l_NdotL, 1.0, l_NdotH).y);
    return;
  }
  o_Albedo = vec4(l_R, 0.0);
)";

struct TPBRCase {
  const char* Name;
  int Function;
  TFloat4 Args;
  double Expected;
};

TEST_F(EffectFunctionsGL, PhysicallyBasedFunctionsMatchTheModel) {
  using namespace vref;
  std::vector<TPBRCase> cases;
  for (const double vdoth : {0.0, 0.5, 1.0}) {
    const float v = static_cast<float>(vdoth);
    cases.push_back({"F_Schlick vec3 vec3", 0, {0.04f, 0.8f, v, 0}, FSchlick(0.04, 0.8, vdoth)});
    cases.push_back({"F_Schlick float float", 1, {0.04f, 0.8f, v, 0}, FSchlick(0.04, 0.8, vdoth)});
    cases.push_back({"F_Schlick float", 2, {0.04f, 0, v, 0}, FSchlick(0.04, 1, vdoth)});
    cases.push_back({"F_Schlick vec3 float", 3, {0.04f, 0.8f, v, 0}, FSchlick(0.04, 0.8, vdoth)});
    cases.push_back({"F_Schlick vec3", 4, {0.04f, 0, v, 0}, FSchlick(0.04, 1, vdoth)});
    cases.push_back({"Schlick_to_F0 vec3 vec3", 5, {0.3f, 0.8f, v, 0}, SchlickToF0(0.3, 0.8, vdoth)});
    cases.push_back({"Schlick_to_F0 float float", 6, {0.3f, 0.8f, v, 0}, SchlickToF0(0.3, 0.8, vdoth)});
    cases.push_back({"Schlick_to_F0 vec3", 7, {0.3f, 0, v, 0}, SchlickToF0(0.3, 1, vdoth)});
    cases.push_back({"Schlick_to_F0 float", 8, {0.3f, 0, v, 0}, SchlickToF0(0.3, 1, vdoth)});
  }
  const TPBRCase more[] = {
      {"V_GGX", 9, {0.5f, 1, 0.25f, 0}, 0.478532},
      {"V_GGX grazing", 9, {0.1f, 0.7f, 0.6f, 0}, VGGX(0.1f, 0.7f, 0.6f)},
      {"V_GGX zero denominator", 9, {0, 0, 0.25f, 0}, 0},
      {"D_GGX", 10, {0.866025f, 0.25f, 0, 0}, DGGX(0.866025f, 0.25)},
      {"D_GGX head-on", 10, {1, 0.5f, 0, 0}, DGGX(1, 0.5)},
      {"applyIorToRoughness 1.5", 11, {0.6f, 1.5f, 0, 0}, 0.6},
      {"applyIorToRoughness 1.2", 11, {0.6f, 1.2f, 0, 0}, 0.6 * 0.4},
      {"getIBLRadianceGGX",
       12,
       {0.5f, 0.3f, 0.04f, 0.8f},
       IBLRadianceGGX({0.8, 0.8, 0.8}, 0.5, 0.3, {0.04, 0.04, 0.04}, 1).X},
      {"getIBLRadianceGGX head-on",
       12,
       {1, 0.9f, 0.5f, 1},
       IBLRadianceGGX({1, 1, 1}, 1, 0.9f, {0.5, 0.5, 0.5}, 1).X},
      {"getIBLRadianceLambertian",
       13,
       {0.5f, 0.3f, 0.04f, 0.8f},
       IBLRadianceLambertian({1, 1, 1}, 0.5, 0.3, {0.8, 0.8, 0.8}, {0.04, 0.04, 0.04}, 1).X},
      {"getIBLRadianceLambertian rough",
       13,
       {0.9f, 1, 0.2f, 0.5f},
       IBLRadianceLambertian({1, 1, 1}, 0.9f, 1, {0.5, 0.5, 0.5}, {0.2f, 0.2f, 0.2f}, 1).X},
      {"lambdaSheen below 0.5", 14, {0.3f, 0.25f, 0, 0}, LambdaSheen(0.3f, 0.25)},
      {"lambdaSheen above 0.5", 14, {0.8f, 0.25f, 0, 0}, LambdaSheen(0.8f, 0.25)},
      {"V_Sheen", 15, {0.6f, 0.8f, 0.5f, 0}, VSheen(0.6f, 0.8f, 0.5)},
      {"V_Sheen smooth", 15, {0.9f, 0.4f, 0.1f, 0}, VSheen(0.9f, 0.4f, 0.1f)},
      {"D_Charlie", 16, {0.5f, 0.7f, 0, 0}, DCharlie(0.5, 0.7f)},
      {"D_Charlie rough", 16, {0.9f, 0.2f, 0, 0}, DCharlie(0.9f, 0.2f)},
      {"BRDF_lambertian",
       17,
       {0.04f, 0.8f, 0.7f, 0},
       BRDFLambertian({0.04, 0.04, 0.04}, {1, 1, 1}, {0.8, 0.8, 0.8}, 1, 0.7f).X},
      {"BRDF_specularSheen", 18, {0.5f, 0.6f, 0.8f, 0.7f}, DCharlie(0.5, 0.7f) * VSheen(0.6f, 0.8f, 0.5)},
  };
  cases.insert(cases.end(), std::begin(more), std::end(more));

  vtest::TEffectProgram& program = Program("harness PBR", vtest::ShaderVariantRow("PBR"), PBRHarness);
  for (size_t first = 0; first < cases.size(); first += 16) {
    const size_t count = std::min<size_t>(16, cases.size() - first);
    std::vector<TFloat4> inputs(32);
    for (size_t i = 0; i < count; ++i) {
      inputs[i] = {static_cast<float>(cases[first + i].Function), 0, 0, 0};
      inputs[16 + i] = cases[first + i].Args;
    }
    const std::vector<TFloat4> results = RunHarness(program, inputs, static_cast<int>(count));
    for (size_t i = 0; i < count; ++i) {
      const TPBRCase& c = cases[first + i];
      SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(c.Args[0]) + ", " +
                   std::to_string(c.Args[1]) + ", " + std::to_string(c.Args[2]) + ", " +
                   std::to_string(c.Args[3]));
      EXPECT_TRUE(Near(results[i][0], c.Expected));
    }
  }

  // The worked check: N = V = +z, L at 60 degrees, F0 0.04, alpha 0.25.
  std::vector<TFloat4> inputs(32);
  inputs[0] = {19, 0, 0, 0};
  const TFloat4 worked = RunHarness(program, inputs, 1)[0];
  EXPECT_TRUE(Near(worked[0], 0.0400414));
  EXPECT_TRUE(Near(worked[1], 0.478532));
  EXPECT_TRUE(Near(worked[2], 0.225727));
  EXPECT_TRUE(Near(worked[3], 0.0043252));
}

// ---- Tone-map operators -------------------------------------------------------------------------

TEST_F(EffectFunctionsGL, ToneOperatorsMatchTheModelAndNeverGiveNaN) {
  const std::vector<TFloat4> inputs = {
      {0.004f, 0.004f, 0.004f, 1},
      {0.25f, 0.25f, 0.25f, 1},
      {2, 2, 2, 1},
      {0.5f, 0.5f, 0.5f, 1},
      {0.004f, 0.004f, 0.004f, 2},
      {0.25f, 0.25f, 0.25f, 2},
      {2, 2, 2, 2},
      {0.8f, 0.3f, 0.1f, 1},
      {0, 0, 0, 1},
      {0, 0, 0, 0},
      {0.5f, 0.5f, 0.5f, 0},
  };
  for (size_t op = 0; op < vtest::ToneMapDefines.size(); ++op)
    for (const bool pbr : {false, true}) {
      const std::string row = "ToneMap_" + std::string(vtest::ToneMapDefines[op]) + (pbr ? "_PBR" : "");
      SCOPED_TRACE(row);
      vtest::TEffectProgram& program =
          Program("harness " + row, vtest::ShaderVariantRow(row),
                  "  o_Albedo = vec4(toneMap(_In[l_Case].xyz, _In[l_Case].w), 0.0);\n");
      const std::vector<TFloat4> results = RunHarness(program, inputs, static_cast<int>(inputs.size()));
      for (size_t i = 0; i < inputs.size(); ++i) {
        const TFloat4& in = inputs[i];
        SCOPED_TRACE("input " + std::to_string(in[0]) + ", " + std::to_string(in[1]) + ", " +
                     std::to_string(in[2]) + " exposure " + std::to_string(in[3]));
        const vref::TVec3 expected = vref::ToneMap(static_cast<int>(op), {in[0], in[1], in[2]}, in[3], pbr);
        EXPECT_TRUE(NearAfterPower(results[i][0], expected.X));
        EXPECT_TRUE(NearAfterPower(results[i][1], expected.Y));
        EXPECT_TRUE(NearAfterPower(results[i][2], expected.Z));
      }
    }
}

TEST(ShadingReference, ToneOperatorsGiveTheWorkedValues) {
  struct TCase {
    const char* Name;
    int Operator;
    double Input, Exposure;
    bool PBR;
    double Expected;
  };
  const TCase cases[] = {
      {"exposure", 0, 0.25, 2, false, 0.5},          {"exposure with gamma", 0, 0.25, 2, true, 0.72974},
      {"filmic toe", 8, 0.004, 1, false, 0.0},       {"filmic", 8, 0.5, 1, false, 0.730204},
      {"Narkowicz", 1, 0.5, 1, false, 0.616307},     {"Narkowicz with gamma", 1, 0.5, 1, true, 0.802515},
      {"Reinhard", 4, 0.5, 1, false, 0.769873},      {"Uncharted2", 9, 0.5, 1, false, 0.582288},
      {"RomBinDaHouse", 7, 0.5, 1, false, 0.740060}, {"luma Reinhard black", 5, 0, 1, false, 0},
      {"white-preserving black", 6, 0, 1, false, 0}, {"Reinhard at exposure 0", 4, 0.5, 0, false, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_NEAR(vref::ToneMap(c.Operator, {c.Input, c.Input, c.Input}, c.Exposure, c.PBR).X, c.Expected,
                2e-6);
  }
}

// ---- Fog ----------------------------------------------------------------------------------------

TEST_F(EffectFunctionsGL, FogFunctionWithTheEqualRangeGuard) {
  struct TCase {
    const char* Name;
    int Mode;
    float Start, End, Density, Distance;
    double Expected;
  };
  const TCase cases[] = {
      {"linear", 3, 100, 500, 0, 300, 0.5},
      {"linear before the start", 3, 100, 500, 0, 50, 1},
      {"linear reversed", 3, 500, 100, 0, 200, vref::ComputeFog(3, 500, 100, 0, 200)},
      {"exponential", 5, 0, 0, 0.01f, 100, 0.367879},
      {"squared exponential", 9, 0, 0, 0.01f, 100, 0.367879},
      {"squared exponential far", 9, 0, 0, 0.01f, 150, std::exp(-2.25)},
      {"disabled", 2, 100, 500, 0.01f, 300, 1},
      {"disabled far away", 4, 100, 500, 0.01f, 1e5f, 1},
      {"equal range before the end", 3, 1000, 1000, 0, 999, 1},
      {"equal range at the end", 3, 1000, 1000, 0, 1000, 0},
      {"equal range beyond the end", 3, 1000, 1000, 0, 1001, 0},
  };
  vtest::TEffectProgram& program = Program(
      "harness fog", vtest::ShaderVariantRow("Lambert"),
      "  vec4 l_P = _In[l_Case];\n"
      "  o_Albedo = vec4(computeFog(int(l_P.x), l_P.y, l_P.z, l_P.w, vec3(_In[16 + l_Case].x, 0.0, 0.0), "
      "vec3(0.0)), 0.0, 0.0, 0.0);\n");
  std::vector<TFloat4> inputs(32);
  const int count = static_cast<int>(std::size(cases));
  for (int i = 0; i < count; ++i) {
    inputs[i] = {static_cast<float>(cases[i].Mode), cases[i].Start, cases[i].End, cases[i].Density};
    inputs[16 + i] = {cases[i].Distance, 0, 0, 0};
  }
  const std::vector<TFloat4> results = RunHarness(program, inputs, count);
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(cases[i].Name);
    EXPECT_TRUE(Near(results[i][0], cases[i].Expected));
    EXPECT_NEAR(
        vref::ComputeFog(cases[i].Mode, cases[i].Start, cases[i].End, cases[i].Density, cases[i].Distance),
        cases[i].Expected, 1e-5);
  }
}

// ---- Shadow lookups -----------------------------------------------------------------------------

TEST_F(EffectFunctionsGL, ShadowLookupsOfBothMethods) {
  // Two fragments: the left samples texel 0 of a 2 x 1 map, the right texel 1.
  const vtest::TRawTexture depth(2, 1, GL_R32F, {0.3f, 0.9f});
  const vtest::TRawTexture moments(2, 1, GL_RG32F, {0.5f, 0.26f, 0.5f, 0.26f});
  vtest::TEffectProgram& comparison = Program(
      "harness depth shadow", vtest::ShaderVariantRow("Shadow_SHADOWMAPPING_Lambert"),
      "  o_Albedo = vec4(ShadowCalculation(_ShadowMapTexture0, _PassData[0]._ShadowMapMatrix[0], mat4(1.0), "
      "vec4(0.0, 0.0, 1.0, 0.0)), 0.0, 0.0, 0.0);\n");
  vtest::TEffectProgram& variance =
      Program("harness variance shadow", vtest::ShaderVariantRow("Shadow_VARIANCESHADOWMAPPING_Lambert"),
              "  o_Albedo = vec4(ShadowCalculation(_ShadowMapTexture0, _PassData[0]._ShadowMapMatrix[0], "
              "mat4(1.0)), 0.0, "
              "0.0, 0.0);\n");
  comparison.BindTexture("_ShadowMapTexture0", GL_TEXTURE_2D, depth.Handle(), 1);
  variance.BindTexture("_ShadowMapTexture0", GL_TEXTURE_2D, moments.Handle(), 1);
  struct TCase {
    const char* Name;
    vtest::TEffectProgram* Program;
    float ZTranslation;
    double Left, Right;
  };
  const TCase cases[] = {
      {"depth, between the two", &comparison, 0.6f, 0.5, 1.0},
      {"depth, beyond the far plane", &comparison, 1.2f, 0.5, 0.5},
      {"depth, within the bias", &comparison, 0.302f, 1.0, 1.0},
      {"variance, behind the mean", &variance, 0.6f, 0.5, 0.5},
      {"variance, in front of the mean", &variance, 0.45f, 1.0, 1.0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Program->Data->PassData[0].ShadowMapMatrix[0] = BiasMatrix(c.ZTranslation);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, (c.Program == &comparison ? depth : moments).Handle());
    glActiveTexture(GL_TEXTURE0);
    const std::vector<TFloat4> results = RunHarness(*c.Program, {}, 2);
    EXPECT_TRUE(Near(results[0][0], c.Left));
    EXPECT_TRUE(Near(results[1][0], c.Right));
  }
  EXPECT_EQ(vref::ShadowDepthComparison(0.6, 0.3, 1), 0.5);
  EXPECT_EQ(vref::ShadowDepthComparison(0.302, 0.3, 1), 1.0);
  EXPECT_NEAR(vref::ShadowVariance(0.6, 0.5, 0.26), 0.5, 1e-12);
}

// ---- Parallax occlusion -------------------------------------------------------------------------

TEST_F(EffectFunctionsGL, ParallaxOcclusionWalksTheLayers) {
  const vtest::TRawTexture half(1, 1, GL_R32F, {0.5f});
  const vtest::TRawTexture black(1, 1, GL_R32F, {0.0f});
  vtest::TEffectProgram& program = Program("harness parallax", vtest::ShaderVariantRow("POMMaterial"),
                                           "  o_Albedo = vec4(ParallaxOcclusionMapping(0.1, 16, _POMTexture, "
                                           "_In[l_Case].xy, _In[16 + l_Case].xyz, "
                                           "0.0), 0.0, 0.0);\n");
  struct TCase {
    const char* Name;
    const vtest::TRawTexture* Map;
    double Depth;
    TFloat4 Uv, View;
    double ExpectedU, ExpectedV;
  };
  const TCase cases[] = {
      {"grazing", &half, 0.5, {0.5f, 0.5f, 0, 0}, {0.6f, 0, 0.8f, 0}, 0.4625, 0.5},
      {"head-on", &half, 0.5, {0.5f, 0.5f, 0, 0}, {0, 0, 1, 0}, 0.5, 0.5},
      {"diagonal", &half, 0.5, {0.3f, 0.7f, 0, 0}, {0.48f, 0.36f, 0.8f, 0}, -1, -1},
      {"black map", &black, 0, {0.5f, 0.5f, 0, 0}, {0.6f, 0, 0.8f, 0}, 0.5, 0.5},
  };
  EXPECT_DOUBLE_EQ(vref::ParallaxLayers(16, {0.6, 0, 0.8}), 6.4);
  EXPECT_DOUBLE_EQ(vref::ParallaxLayers(16, {0, 0, 1}), 4);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    program.BindTexture("_POMTexture", GL_TEXTURE_2D, c.Map->Handle(), 1);
    std::vector<TFloat4> inputs(32);
    inputs[0] = c.Uv;
    inputs[16] = c.View;
    const TFloat4 result = RunHarness(program, inputs, 1)[0];
    const vref::TVec2 model = vref::ParallaxOcclusion(
        0.1, 16, [&](vref::TVec2) { return c.Depth; }, {c.Uv[0], c.Uv[1]}, {c.View[0], c.View[1], c.View[2]},
        0);
    EXPECT_TRUE(Near(result[0], model.X));
    EXPECT_TRUE(Near(result[1], model.Y));
    if (c.ExpectedU >= 0) {
      EXPECT_NEAR(model.X, c.ExpectedU, 1e-9);
      EXPECT_NEAR(model.Y, c.ExpectedV, 1e-9);
    }
  }
}

// ---- The physically based light terms -----------------------------------------------------------

// The light term of the lights loop, as generated, inside a harness main that sets what the
// preparation would: a view from _In, one directional light from the block.
std::string LightTermHarness() {
  auto builders = vtest::MakeVariantBuilders(vtest::ShaderVariantRow("PBR"));
  const auto* node = builders.Fragment->SourceCode()->FindNode<TVantrelGLSLGetLightShadingNode>("", true);
  std::string text = R"(  LOCALS.Attenuation = 1.0;
  LOCALS.SceneAttenuation = 0.0;
  LOCALS.Diffuse = vec3(0.0);
  LOCALS.Specular = vec3(0.0);
  LOCALS.Shading = vec2(1.0);
  vec3 l_N = vec3(0.0, 0.0, 1.0);
  vec3 l_V = _In[l_Case].xyz;
  float l_NdotV = max(0.0, dot(l_N, l_V));
  float l_LightIntensity = 0.0;
  float l_SpecularWeight = 1.0;
  vec3 F90 = vec3(1.0);
  vec3 F0 = vec3(0.04);
  vec3 l_CDiff = vec3(0.5);
  float l_AlphaRoughness = 0.25;
  vec3 l_HalfVector = vec3(-1.0);
  for(int i = 0; i < 1; i++){
)";
  for (const char c : node->ToString())
    if (c != '\r')
      text += c;
  text += "    l_HalfVector = l_H;\n  }\n";
  text += "  o_Albedo = vec4(LOCALS.Diffuse.x + LOCALS.Specular.x + LOCALS.Shading.x + l_LightIntensity, "
          "l_HalfVector);\n";
  return text;
}

TEST_F(EffectFunctionsGL, LightAgainstTheViewGivesFiniteTerms) {
  vtest::TEffectProgram& program =
      Program("harness PBR light term", vtest::ShaderVariantRow("PBR"), LightTermHarness());
  TVantrelShaderLight& light = program.Data->Lights[0];
  light = {};
  light.LightType = 0;
  light.Direction = {0, 0, 1, 0}; // shines along +z: L = (0, 0, -1)
  light.Diffuse = {1, 1, 1, 1};
  light.Intensity = 1;
  program.Data->LightsCount = 1;
  // V = -L exactly, a grazing view with N.L = 0 as well, and a view that sees the light's side.
  const std::vector<TFloat4> inputs = {{0, 0, 1, 0}, {1, 0, 0, 0}};
  const std::vector<TFloat4> results = RunHarness(program, inputs, 2);
  // Both lights give no radiance: the sums stay 0, the shading 1 and the intensity 1.
  EXPECT_EQ(results[0][0], 2.0f);
  EXPECT_EQ(results[1][0], 2.0f);
  // The half vector itself: the driver's max() may hide a NaN from the sums, so it is read out.
  const TFloat4 normal{2, 0, 0, 1};
  EXPECT_EQ(results[0], normal);
  for (const float component : results[1])
    EXPECT_TRUE(std::isfinite(component));
}

} // namespace
