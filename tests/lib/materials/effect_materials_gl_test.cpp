// The parallax and physically based materials' define sets, driven through the stage builders
// with textures on every sampler they declare, against the CPU model.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "node_harness.h"
#include "shading_reference.h"

namespace {

using namespace vantrel;

vtest::TRGBA8 ToRGBA8(const vref::TVec3& AColor) {
  auto byte = [](double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return {byte(AColor.X), byte(AColor.Y), byte(AColor.Z), 255};
}

// A 2 x 2 texture of one colour given in bytes.
std::unique_ptr<vtest::TRawTexture> Flat(double AR, double AG, double AB) {
  std::vector<float> texels;
  for (int i = 0; i < 4; ++i)
    texels.insert(texels.end(), {static_cast<float>(AR / 255), static_cast<float>(AG / 255),
                                 static_cast<float>(AB / 255), 1});
  return std::make_unique<vtest::TRawTexture>(2, 2, GL_RGBA8, texels);
}

class EffectMaterialsGL : public vtest::EffectGLTest {
protected:
  // Every sampler on a unit of its own.
  static void BindAll(const vtest::TEffectProgram& AProgram,
                      const std::vector<std::pair<const char*, const vtest::TRawTexture*>>& ATextures) {
    GLint unit = 1;
    for (const auto& [sampler, texture] : ATextures)
      AProgram.BindTexture(sampler, GL_TEXTURE_2D, texture->Handle(), unit++);
  }

  static void SetBlock(TVantrelShaderData& AData) {
    TVantrelShaderMaterial& m = AData.Material[0];
    m.Emissive = {0, 0, 0, 1};
    m.Ambient = {0, 0, 0, 1};
    m.Diffuse = {1, 1, 1, 1};
    m.Specular = {0.5f, 0.5f, 0.5f, 1};
    m.Shininess = 32;
    m.Features = {1, 0, 0, 0};
    m.Texture[0].Tiling = {1, 1};
    AData.EyePos = {0, 0, 2, 1};
    AData.PassData[0].NormalIntensity = 0.1f;
    AData.PassData[0].ParallaxLevels = 16;
    AData.LightsCount = 1;
    TVantrelShaderLight& light = AData.Lights[0] = {};
    light.LightType = 0;
    light.Direction = {static_cast<float>(-std::sin(M_PI / 3)), 0, static_cast<float>(-std::cos(M_PI / 3)),
                       0};
    light.Diffuse = {1, 1, 1, 1};
    light.Intensity = 1;
  }
};

// The parallax coordinate is y-flipped and not flipped back: with a black depth map the image
// shows mirrored against the same defines without parallax.
TEST_F(EffectMaterialsGL, ParallaxShowsTheImageMirrored) {
  // Bottom row green, top row red.
  const vtest::TRawTexture image(2, 2, GL_RGBA8, {0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1});
  const auto black = Flat(0, 0, 0);
  const auto flatNormal = Flat(128, 128, 255);
  const vtest::TShaderVariantRow plain{
      "POMMaterialWithoutParallax",
      {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP"},
      {},
      {}};
  vtest::TRGBA8 top[2], bottom[2];
  int i = 0;
  for (vtest::TEffectProgram* program :
       {&Program("POMMaterial", vtest::ShaderVariantRow("POMMaterial")), &Program(plain.Name, plain)}) {
    BindAll(*program, {{"_Texture0", &image},
                       {"_POMTexture", black.get()},
                       {"_NormalMapTexture", flatNormal.get()},
                       {"_DisplacementMapTexture", black.get()}});
    SetBlock(*program->Data);
    // The bumped normal lies along the tangent; light it from there.
    program->Data->Lights[0].Direction = {-1, 0, 0, 0};
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawQuad(*program);
    top[i] = FrameBuffer()->Pixel(32, 56);
    bottom[i] = FrameBuffer()->Pixel(32, 8);
    ++i;
  }
  EXPECT_GT(top[1].R, 100) << "without parallax the top shows the top of the image";
  EXPECT_EQ(top[1].G, 0);
  EXPECT_TRUE(vtest::ColorNear(top[0], {0, top[1].R, 0, 255}, 2)) << "with parallax the top shows the bottom";
  EXPECT_TRUE(vtest::ColorNear(bottom[0], {top[1].R, 0, 0, 255}, 2));
}

TEST_F(EffectMaterialsGL, PhysicallyBasedMaterialWithItsTextures) {
  const auto albedo = Flat(200, 150, 100);
  const auto metalness = Flat(0, 0, 128);
  const auto roughness = Flat(0, 128, 0);
  const auto occlusion = Flat(255, 0, 0);
  const auto flatNormal = Flat(128, 128, 255);
  const auto black = Flat(0, 0, 0);
  vtest::TEffectProgram& program = Program("PBRMaterial", vtest::ShaderVariantRow("PBRMaterial"));
  BindAll(program, {{"_Texture0", albedo.get()},
                    {"_MetalnessTexture", metalness.get()},
                    {"_RoughnessTexture", roughness.get()},
                    {"_AmbientOcclusionTexture", occlusion.get()},
                    {"_NormalMapTexture", flatNormal.get()},
                    {"_POMTexture", black.get()},
                    {"_DisplacementMapTexture", black.get()}});
  TVantrelShaderData& data = *program.Data;
  SetBlock(data);
  data.PassData[0].PBRMetallic = 0.25f;
  data.PassData[0].PBRRoughness = 0.75f;
  data.PassData[0].PBRAO = 1;
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  DrawQuad(program);

  // The model: the albedo linearised, the channels scaled by their factors, and the normal of a
  // flat normal map, which the parallax form of the bumped normal turns towards the tangent.
  const double c = 128.0 / 255.0 * 2 - 1;
  const vref::TVec3 mapped = vref::TVec3{c, c, 1}.Normalized();
  vref::TPBRFragment f;
  f.Normal = vref::TVec3{mapped.Z, mapped.Y, mapped.X}.Normalized();
  const double centre = 0.5 / 32.0;
  f.View = (vref::TVec3{0, 0, 2} - vref::TVec3{centre, centre, 0}).Normalized();
  f.Albedo = {std::pow(200.0 / 255, 2.2), std::pow(150.0 / 255, 2.2), std::pow(100.0 / 255, 2.2)};
  f.Metallic = 128.0 / 255 * 0.25;
  f.Roughness = 128.0 / 255 * 0.75;
  f.AO = 1;
  f.MaterialDiffuse = {1, 1, 1};
  f.MaterialSpecular = {0.5, 0.5, 0.5};
  f.Shininess = 32;
  f.Lights = {
      {{std::sin(static_cast<float>(M_PI / 3)), 0, std::cos(static_cast<float>(M_PI / 3))}, {1, 1, 1}, 1, 1}};
  const vtest::TRGBA8 expected = ToRGBA8(vref::ShadePBR(f));
  ASSERT_GT(expected.R + expected.G + expected.B, 60) << "a probe worth comparing";
  EXPECT_TRUE(vtest::ColorNear(FrameBuffer()->Pixel(32, 32), expected, 2))
      << int(expected.R) << " " << int(expected.G) << " " << int(expected.B);
}

} // namespace
