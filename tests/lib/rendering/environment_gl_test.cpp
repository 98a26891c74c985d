// The environment pass on llvmpipe through whole frames: each face holds what the scene shows in
// GL's direction for it (with both renderers), mipmaps are made, a sampler reads the capture by
// direction, the embedded light is in the list only during the capture, and the static mode,
// offsets, target, sizes and cube-map texture behave as set.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "pass_frame.h"
#include "pass_textures.h"
#include "rendering/Vantrel.Controller.Passes.Environment.h"
#include "ui/messages.h"

namespace {

using namespace rtest;

constexpr int MapSize = 32;

// GL's direction of the texel at (s, t) of face AFace.
TPoint3D FaceDirection(int AFace, float AS, float AT) {
  const float sc = 2 * AS - 1, tc = 2 * AT - 1;
  switch (AFace) {
  case 0:
    return {1, -tc, -sc};
  case 1:
    return {-1, -tc, sc};
  case 2:
    return {sc, 1, tc};
  case 3:
    return {sc, -1, -tc};
  case 4:
    return {sc, -tc, 1};
  default:
    return {-sc, -tc, -1};
  }
}

::testing::AssertionResult TexelNear(const std::vector<float>& ATexels, int AWidth, int AX, int AY,
                                     const TAlphaColorF& AExpected) {
  const float expected[4] = {AExpected.R, AExpected.G, AExpected.B, AExpected.A};
  for (int channel = 0; channel < 4; ++channel)
    if (std::fabs(Texel(ATexels, AWidth, AX, AY, channel) - expected[channel]) > 2.5f / 255)
      return ::testing::AssertionFailure()
             << "texel (" << AX << ", " << AY << ") = (" << Texel(ATexels, AWidth, AX, AY, 0) << ", "
             << Texel(ATexels, AWidth, AX, AY, 1) << ", " << Texel(ATexels, AWidth, AX, AY, 2) << ", "
             << Texel(ATexels, AWidth, AX, AY, 3) << "), expected (" << expected[0] << ", " << expected[1]
             << ", " << expected[2] << ", " << expected[3] << ")";
  return ::testing::AssertionSuccess();
}

bool SameLight(const TVantrelShaderLight& A, const TVantrelShaderLight& B) {
  return std::memcmp(&A, &B, sizeof(TVantrelShaderLight)) == 0;
}

class EnvironmentGL : public PassFrameGL {
protected:
  TVantrelRenderPassEnvironment* MakeEnvironment() {
    auto* pass = MakePass<TVantrelRenderPassEnvironment>("Environment");
    pass->SetMapSize(MapSize);
    return pass;
  }
  vtest::TDirectionBox* AddBox() {
    auto* box = New<vtest::TDirectionBox>(FScene.get());
    box->SetParent(FViewport);
    return box;
  }
};

TEST_F(EnvironmentGL, EachFaceHoldsTheSceneInGLsDirection) {
  UseCamera({0, -5, -10});
  AddBox();
  for (const TRendererType type : {TRendererType::ForwardRenderer, TRendererType::LegacyRenderer}) {
    SCOPED_TRACE(type == TRendererType::ForwardRenderer ? "forward" : "legacy");
    auto* pass = MakeEnvironment();
    if (type != pass->GetRendererType())
      pass->SetRendererType(type);
    Frame();
    TTexture* cube = pass->GetOutputTexture();
    ASSERT_NE(cube, nullptr);
    for (int face = 0; face < 6; ++face) {
      SCOPED_TRACE(face);
      const std::vector<float> level0 = ReadTexels(cube, 0, face);
      const std::vector<float> level1 = ReadTexels(cube, 1, face);
      for (const float s : {0.25f, 0.75f})
        for (const float t : {0.25f, 0.75f}) {
          SCOPED_TRACE(testing::Message() << "s " << s << ", t " << t);
          const TAlphaColorF expected = vtest::DirectionColor(FaceDirection(face, s, t));
          EXPECT_TRUE(TexelNear(level0, MapSize, int(s * MapSize), int(t * MapSize), expected));
          if (s == 0.25f && t == 0.25f)
            EXPECT_TRUE(TexelNear(level1, MapSize / 2, 4, 4, expected)) << "level 1";
        }
    }
    pass->Free();
  }
}

// A small program of the test's own reads the capture by direction with textureLod into two pixels.
std::array<TAlphaColorF, 2> SampleCube(const TTexture* ACube, const TPoint3D& AFirst, const TPoint3D& ASecond) {
  const char* vertex = "#version 430\nvoid main() {\n"
                       "  vec2 p = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID >> 1) * 4 - 1));\n"
                       "  gl_Position = vec4(p, 0.0, 1.0);\n}\n";
  const char* fragment = "#version 430\nuniform samplerCube u_Cube;\nuniform vec3 u_First;\nuniform vec3 u_Second;\n"
                         "out vec4 o_Color;\nvoid main() {\n"
                         "  o_Color = textureLod(u_Cube, gl_FragCoord.x < 1.0 ? u_First : u_Second, 0.0);\n}\n";
  auto compile = [](GLenum AKind, const char* ACode) {
    const GLuint shader = glCreateShader(AKind);
    glShaderSource(shader, 1, &ACode, nullptr);
    glCompileShader(shader);
    return shader;
  };
  const GLuint vs = compile(GL_VERTEX_SHADER, vertex), fs = compile(GL_FRAGMENT_SHADER, fragment);
  const GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  EXPECT_EQ(linked, GL_TRUE);
  GLuint target = 0, framebuffer = 0, vao = 0;
  glGenTextures(1, &target);
  glBindTexture(GL_TEXTURE_2D, target);
  glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA32F, 2, 1);
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  glViewport(0, 0, 2, 1);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glUseProgram(program);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_CUBE_MAP, GLuint(ACube->Handle()));
  glUniform1i(glGetUniformLocation(program, "u_Cube"), 0);
  glUniform3f(glGetUniformLocation(program, "u_First"), AFirst.X, AFirst.Y, AFirst.Z);
  glUniform3f(glGetUniformLocation(program, "u_Second"), ASecond.X, ASecond.Y, ASecond.Z);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  std::array<float, 8> pixels{};
  glReadPixels(0, 0, 2, 1, GL_RGBA, GL_FLOAT, pixels.data());
  glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
  glUseProgram(0);
  glBindVertexArray(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteVertexArrays(1, &vao);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteTextures(1, &target);
  glDeleteProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  return {TAlphaColorF{pixels[0], pixels[1], pixels[2], pixels[3]},
          TAlphaColorF{pixels[4], pixels[5], pixels[6], pixels[7]}};
}

TEST_F(EnvironmentGL, ASamplerReadsTheCaptureByDirection) {
  UseCamera({0, -5, -10});
  AddBox();
  auto* pass = MakeEnvironment();
  Frame();
  const TPoint3D first{1, 0.4f, -0.4f}, second{0.3f, -1, 0.4f};
  const auto colors = SampleCube(pass->GetOutputTexture(), first, second);
  const TPoint3D directions[2] = {first, second};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const TAlphaColorF expected = vtest::DirectionColor(directions[i]);
    EXPECT_NEAR(colors[size_t(i)].R, expected.R, 2.5 / 255);
    EXPECT_NEAR(colors[size_t(i)].G, expected.G, 2.5 / 255);
    EXPECT_NEAR(colors[size_t(i)].B, expected.B, 2.5 / 255);
  }
}

TEST_F(EnvironmentGL, TheEmbeddedLightIsListedDuringTheCaptureOnly) {
  UseCamera({0, -5, -10});
  FViewport->SetFrustumCulling(false);
  auto* sun = New<TLight>(FScene.get());
  sun->SetLightType(TLightType::Directional);
  sun->SetParent(FViewport);
  AddBox();
  vtest::TPassProbe* probe = AddProbe({0, 0, 3});
  for (const bool embedded : {true, false}) {
    SCOPED_TRACE(embedded);
    auto* pass = MakeEnvironment();
    pass->SetUseEmbeddedLight(embedded);
    pass->SetPosition({1, 2, -1});
    probe->Records.clear();
    for (int frame = 0; frame < 3; ++frame)
      EXPECT_NO_THROW(Frame()) << frame;
    const auto draws = probe->RecordsOf(EntryOf(*pass));
    ASSERT_EQ(draws.size(), 18u);
    for (const vtest::TProbeRecord& record : draws) {
      ASSERT_EQ(record.Lights.size(), embedded ? 2u : 1u);
      if (!embedded)
        continue;
      const TVantrelShaderLight& light = record.Lights[1];
      EXPECT_EQ(light.LightType, int32_t(TLightType::Point));
      EXPECT_EQ(light.Enabled, 1);
      EXPECT_TRUE(PointNear(light.Position.ToPoint3D(), {1, 2, -1}));
    }
    auto* context = dynamic_cast<TVantrelContext*>(pass->GetRenderPassContext());
    ASSERT_EQ(context->GetShaderLights().Count(), 1);
    EXPECT_TRUE(SameLight(context->GetShaderLights()[0], MainContext().GetShaderLights()[0]));
    EXPECT_FALSE(pass->EmbeddedLight()->Enabled());
    EXPECT_EQ(pass->LightIndex(), -1);
    pass->Free();
  }
}

} // namespace
