// The effect nodes through the whole fragment tree: the quad drawn into a 64 x 64 target (or the
// float targets of the translucency outputs) and probed against the CPU model.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "node_harness.h"
#include "shading_reference.h"

namespace {

using namespace vantrel;
using vtest::TFloat4;

vtest::TRGBA8 ToRGBA8(double AR, double AG, double AB) {
  auto byte = [](double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return {byte(AR), byte(AG), byte(AB), 255};
}

vtest::TRGBA8 ToRGBA8(const vref::TVec3& AColor) {
  return ToRGBA8(AColor.X, AColor.Y, AColor.Z);
}

// The RGB of a probe, the alpha left out.
::testing::AssertionResult RGBNear(vtest::TRGBA8 AActual, vtest::TRGBA8 AExpected) {
  AActual.A = AExpected.A = 255;
  return vtest::ColorNear(AActual, AExpected, 2);
}

TMatrix3D BiasMatrix(float AZTranslation) {
  TMatrix3D m = TMatrix3D::Identity();
  m.m11 = m.m22 = 0.5f;
  m.m33 = 0;
  m.m41 = m.m42 = 0.5f;
  m.m43 = AZTranslation;
  return m;
}

TVantrelShaderLight DirectionalLight(double ADegrees, float ADiffuse = 1) {
  TVantrelShaderLight light{};
  const double r = ADegrees * M_PI / 180.0;
  light.LightType = 0;
  light.Direction = {static_cast<float>(-std::sin(r)), 0, static_cast<float>(-std::cos(r)), 0};
  light.Diffuse = {ADiffuse, ADiffuse, ADiffuse, 1};
  light.Intensity = 1;
  light.Enabled = 1;
  return light;
}

// A material that shows its base colour unlit: only the diffuse colour, white.
void ShowBaseColor(TVantrelShaderData& AData) {
  TVantrelShaderMaterial& m = AData.Material[0];
  m.Emissive = m.Ambient = m.Specular = {0, 0, 0, 0};
  m.Diffuse = {1, 1, 1, 1};
  m.Features = {1, 0, 0, 0};
  m.Texture[0].Tiling = {1, 1};
}

class EffectRendersGL : public vtest::EffectGLTest {
protected:
  static vtest::TEffectProgram& Row(const char* AName) {
    return Program(AName, vtest::ShaderVariantRow(AName));
  }

  void Draw(const vtest::TEffectProgram& AProgram) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawQuad(AProgram);
  }
  vtest::TRGBA8 Left() { return FrameBuffer()->Pixel(16, 32); }
  vtest::TRGBA8 Right() { return FrameBuffer()->Pixel(48, 32); }
  vtest::TRGBA8 Centre() { return FrameBuffer()->Pixel(32, 32); }
};

// ---- Shadows ------------------------------------------------------------------------------------

TEST_F(EffectRendersGL, OneShadowMapHalvesTheLitColour) {
  const vtest::TRawTexture depth(2, 1, GL_R32F, {0.3f, 0.9f});
  const vtest::TRawTexture moments(2, 1, GL_RG32F, {0.5f, 0.26f, 0.5f, 0.26f});
  struct TCase {
    const char* Name;
    const char* Row;
    const vtest::TRawTexture* Map;
    int Lights;
    double LeftFactor, RightFactor;
  };
  const TCase cases[] = {
      {"depth comparison", "Shadow_SHADOWMAPPING_Lambert", &depth, 1, 0.5, 1},
      {"two lights show no shadow", "Shadow_SHADOWMAPPING_Lambert", &depth, 2, 1, 1},
      {"variance", "Shadow_VARIANCESHADOWMAPPING_Lambert", &moments, 1, 0.5, 0.5},
  };
  const vref::TVec3 diffuse{0.8, 0.6, 0.4};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    vtest::TEffectProgram& program = Program(c.Row, vtest::ShaderVariantRow(c.Row));
    TVantrelShaderData& data = *program.Data;
    ShowBaseColor(data);
    data.Material[0].Diffuse = {0.8f, 0.6f, 0.4f, 1};
    data.EyePos = {0, 0, 5, 1};
    // Lights along -N; two lights of half the power give the same lit colour as one.
    data.LightsCount = c.Lights;
    for (int i = 0; i < c.Lights; ++i)
      data.Lights[i] = DirectionalLight(0, 1.0f / c.Lights);
    data.PassData[0].ShadowMapMatrix[0] = BiasMatrix(0.6f);
    program.BindTexture("_ShadowMapTexture0", GL_TEXTURE_2D, c.Map->Handle(), 1);
    Draw(program);
    // Lit Lambert: the diffuse colour counts twice, in the light sum and as the base colour.
    const vref::TVec3 lit = diffuse * diffuse;
    EXPECT_TRUE(RGBNear(Left(), ToRGBA8(lit * c.LeftFactor))) << "left";
    EXPECT_TRUE(RGBNear(Right(), ToRGBA8(lit * c.RightFactor))) << "right";
  }
}

// ---- Reflection, refraction, environment --------------------------------------------------------

TEST_F(EffectRendersGL, ReflectionMixesTheProjectedImage) {
  vtest::TEffectProgram& program = Row("ReflectionRefraction");
  const vtest::TRawTexture image(2, 1, GL_RGBA8, {1, 0, 0, 1, 0, 0, 1, 1});
  program.BindTexture("_ReflectionTexture", GL_TEXTURE_2D, image.Handle(), 1);
  program.BindTexture("_RefractionTexture", GL_TEXTURE_2D, image.Handle(), 1);
  TVantrelShaderData& data = *program.Data;
  ShowBaseColor(data);
  data.PassData[0].ReflectTextureMatrix = BiasMatrix(0);
  data.PassData[0].RefractionPower = 0;
  for (const float power : {1.0f, 0.5f, 0.0f}) {
    SCOPED_TRACE(power);
    data.PassData[0].ReflectionPower = power;
    Draw(program);
    EXPECT_TRUE(RGBNear(Left(), ToRGBA8(1, 1 - power, 1 - power)));
    EXPECT_TRUE(RGBNear(Right(), ToRGBA8(1 - power, 1 - power, 1)));
  }
}

TEST_F(EffectRendersGL, RefractionReadsTheQuadsOwnCoordinates) {
  vtest::TEffectProgram& program = Row("ReflectionRefraction");
  // Bottom row red | green, top row blue | white.
  const vtest::TRawTexture image(2, 2, GL_RGBA8, {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1});
  program.BindTexture("_ReflectionTexture", GL_TEXTURE_2D, image.Handle(), 1);
  program.BindTexture("_RefractionTexture", GL_TEXTURE_2D, image.Handle(), 1);
  TVantrelShaderData& data = *program.Data;
  ShowBaseColor(data);
  data.PassData[0].ReflectionPower = 0;
  data.PassData[0].RefractionPower = 1;
  Draw(program);
  EXPECT_TRUE(RGBNear(FrameBuffer()->Pixel(16, 16), ToRGBA8(1, 0, 0)));
  EXPECT_TRUE(RGBNear(FrameBuffer()->Pixel(48, 16), ToRGBA8(0, 1, 0)));
  EXPECT_TRUE(RGBNear(FrameBuffer()->Pixel(16, 48), ToRGBA8(0, 0, 1)));
  EXPECT_TRUE(RGBNear(FrameBuffer()->Pixel(48, 48), ToRGBA8(1, 1, 1)));
}

TEST_F(EffectRendersGL, EnvironmentShowsTheFaceBehindTheQuad) {
  // +X, -X, +Y, -Y, +Z, -Z
  const vtest::TRawTexture cube(std::array<TFloat4, 6>{
      TFloat4{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 1, 1}, {0.2f, 0.4f, 0.6f, 1}});
  vtest::TEffectProgram& program = Row("EnvironmentUnlit");
  program.BindTexture("_EnvironmentTexture", GL_TEXTURE_CUBE_MAP, cube.Handle(), 1);
  TVantrelShaderData& data = *program.Data;
  ShowBaseColor(data);
  data.EyePos = {0, 0, 2, 1};
  for (const bool reflection : {true, false}) {
    SCOPED_TRACE(reflection ? "reflection" : "refraction");
    data.PassData[0].ReflectionPower = reflection ? 1.0f : 0.0f;
    data.PassData[0].RefractionPower = reflection ? 0.0f : 1.0f;
    Draw(program);
    EXPECT_TRUE(RGBNear(Centre(), ToRGBA8(0.2, 0.4, 0.6)));
  }
}

// ---- Physically based ---------------------------------------------------------------------------

void SetPBRMaterial(TVantrelShaderData& AData) {
  TVantrelShaderMaterial& m = AData.Material[0];
  m.Diffuse = {0.8f, 0.6f, 0.4f, 1};
  m.Specular = {0.5f, 0.5f, 0.5f, 1};
  m.Ambient = {0.1f, 0.1f, 0.1f, 1};
  m.Emissive = {0, 0, 0, 1};
  m.Shininess = 32;
  m.Features = {1, 0, 0, 0};
  m.Texture[0].Tiling = {1, 1};
  AData.PassData[0].PBRMetallic = AData.PassData[0].PBRRoughness = 0.2f;
  AData.PassData[0].PBRAO = 1;
  AData.EyePos = {0, 0, 2, 1};
  AData.LightsCount = 1;
  AData.Lights[0] = DirectionalLight(60);
}

// The model of the centre probe's pixel centre, with the albedo and metallic the preparation takes.
vref::TPBRFragment CentreFragment(const vref::TVec3& AAlbedo, double AMetallic, double ARoughness) {
  vref::TPBRFragment f;
  const double centre = 0.5 / 32.0;
  f.View = (vref::TVec3{0, 0, 2} - vref::TVec3{centre, centre, 0}).Normalized();
  f.Albedo = AAlbedo;
  f.Metallic = AMetallic;
  f.Roughness = ARoughness;
  f.MaterialDiffuse = {0.8, 0.6, 0.4};
  f.MaterialSpecular = {0.5, 0.5, 0.5};
  f.MaterialAmbient = {0.1, 0.1, 0.1};
  f.Shininess = 32;
  const double r = 60 * M_PI / 180;
  f.Lights = {{{std::sin(static_cast<float>(r)), 0, std::cos(static_cast<float>(r))}, {1, 1, 1}, 1, 1}};
  return f;
}

TEST_F(EffectRendersGL, PhysicallyBasedProbeMatchesTheModel) {
  const vref::TVec3 white{1, 1, 1};
  const double grey = vref::PBRGreyValue(white, 0.2);
  vtest::TEffectProgram& program = Row("PBR");
  SetPBRMaterial(*program.Data);
  Draw(program);
  const vref::TVec3 expected = vref::ShadePBR(CentreFragment(white, grey, grey));
  EXPECT_TRUE(RGBNear(Centre(), ToRGBA8(expected)));
  EXPECT_TRUE(vtest::ColorNear(ToRGBA8(expected), {140, 137, 135, 255}, 2));

  // No light and no scene attenuation: the emissive colour times the emissive factor alone.
  program.Data->LightsCount = 0;
  program.Data->Material[0].Emissive = {0.5f, 0.8f, 1, 1};
  Draw(program);
  EXPECT_TRUE(RGBNear(Centre(), ToRGBA8(0.15, 0.24, 0.3)));
}

TEST_F(EffectRendersGL, MetalnessNextToZeroIsRaisedNotScaled) {
  const vtest::TRawTexture metalness(1, 1, GL_RGBA8, {1, 1, 0, 1});
  vtest::TEffectProgram& program = Row("PBR_TexMetallic");
  program.BindTexture("_MetalnessTexture", GL_TEXTURE_2D, metalness.Handle(), 1);
  SetPBRMaterial(*program.Data);
  Draw(program);
  // Textures without an albedo map take the diffuse colour as the albedo.
  const vref::TVec3 albedo{0.8, 0.6, 0.4};
  const vref::TVec3 expected = vref::ShadePBR(CentreFragment(albedo, 0.002, vref::PBRGreyValue(albedo, 0.2)));
  EXPECT_TRUE(RGBNear(Centre(), ToRGBA8(expected)));
}

TEST_F(EffectRendersGL, EnvironmentReplacesTheConstantRadiance) {
  const vtest::TRawTexture cube(std::array<TFloat4, 6>{});
  vtest::TEffectProgram& program = Row("EnvironmentPBR");
  program.BindTexture("_EnvironmentTexture", GL_TEXTURE_CUBE_MAP, cube.Handle(), 1);
  SetPBRMaterial(*program.Data);
  program.Data->PassData[0].ReflectionPower = program.Data->PassData[0].RefractionPower = 0;
  Draw(program);
  const double grey = vref::PBRGreyValue({1, 1, 1}, 0.2);
  vref::TPBRFragment fragment = CentreFragment({1, 1, 1}, grey, grey);
  fragment.ConstantRadiance = false;
  EXPECT_TRUE(RGBNear(Centre(), ToRGBA8(vref::ShadePBR(fragment))));
}

// ---- Tone mapping and fog -----------------------------------------------------------------------

TEST_F(EffectRendersGL, ToneMappingInTheTree) {
  vtest::TEffectProgram& program = Row("ToneMapUnlit");
  TVantrelShaderData& data = *program.Data;
  ShowBaseColor(data);
  data.Material[0].Diffuse = {0.5f, 0.5f, 0.5f, 1};
  data.Material[0].ToneMapExp = 2;
  Draw(program);
  EXPECT_TRUE(RGBNear(Centre(), {128, 128, 128, 255}));
}

TEST_F(EffectRendersGL, FogBlendsTowardsTheFogColour) {
  vtest::TEffectProgram& program = Row("Unlit");
  TVantrelShaderData& data = *program.Data;
  ShowBaseColor(data);
  data.Material[0].Diffuse = {1, 0, 0, 1};
  data.FogColor = {0, 0, 1, 1};
  data.EyePos = {0, 0, 300, 1};
  data.FogStart = 100;
  data.FogEnd = 500;
  data.FogDensity = 1.0f / 300;
  const double centre = 0.5 / 32.0;
  const double distance = std::sqrt(300.0 * 300 + 2 * centre * centre);
  struct TCase {
    const char* Name;
    int Mode;
    double Visibility;
  };
  const TCase cases[] = {
      {"linear", 3, 0.5},
      {"enabled bit clear", 2, 1},
      {"exponential", 5, vref::ComputeFog(5, 100, 500, 1.0 / 300, distance)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    data.FogMode = c.Mode;
    Draw(program);
    EXPECT_TRUE(RGBNear(Centre(), ToRGBA8(c.Visibility, 0, 1 - c.Visibility)));
  }
  data.FogMode = 0;
}

// ---- Translucency outputs -----------------------------------------------------------------------

TEST_F(EffectRendersGL, TranslucencyOutputs) {
  vtest::TEffectProgram& program = Row("Unlit_VertexColor");
  TVantrelShaderData& data = *program.Data;
  ShowBaseColor(data);
  // The quad at clip z 0.5 with the eye at z -0.5: l_FragVertDist is 1.
  data.ProjectionMatrix.m43 = 0.5f;
  data.EyePos = {0, 0, -0.5f, 1};
  vtest::TFloatTargets targets(4, 4, {GL_RGBA32F, GL_R32F, GL_RGBA32F, GL_RGB32F, GL_RGB32F});
  const TFloat4 cleared{-1, -1, -1, -1};
  struct TCase {
    const char* Name;
    int Options;
    float Alpha;
    bool Written;
  };
  const TCase cases[] = {
      {"translucent, too little alpha", 2, 0.002f, false},
      {"translucent", 2, 0.5f, true},
      {"opaque", 0, 0.5f, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    data.Options = c.Options;
    glVertexAttrib4f(2, 0.8f, 0.4f, 0.2f, c.Alpha);
    targets.Clear(cleared);
    DrawQuad(program);
    const TFloat4 albedo = targets.Read(0)[10];
    const TFloat4 alpha = targets.Read(1)[10];
    const TFloat4 position = targets.Read(2)[10];
    if (!c.Written) {
      EXPECT_EQ(albedo, cleared);
      EXPECT_EQ(alpha[0], -1.0f);
      continue;
    }
    if (c.Options == 2) {
      const double weight = vref::TranslucencyWeight({0.8, 0.4, 0.2}, 0.5, 1);
      EXPECT_NEAR(weight, 0.5 * 0.0299997, 1e-7);
      const TFloat4 expected{0.4f, 0.2f, 0.1f, 0.5f};
      for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(albedo[i], expected[i] * weight, 1e-6) << i;
      EXPECT_NEAR(alpha[0], 0.5, 1e-6);
      EXPECT_NEAR(position[3], 0.75, 1e-6) << "the window depth of clip z 0.5";
    } else {
      EXPECT_NEAR(albedo[0], 0.8, 1e-6);
      EXPECT_NEAR(albedo[3], 0.5, 1e-6);
      EXPECT_EQ(alpha[0], 1.0f);
      EXPECT_NEAR(position[3], 0.5, 1e-6) << "the clip z";
    }
  }
  data.Options = 0;
  data.ProjectionMatrix = TMatrix3D::Identity();
  glVertexAttrib4f(2, 1, 1, 1, 1);
  FrameBuffer()->Bind();
}

} // namespace
