// The environment pass on llvmpipe through whole frames: each face holds what the scene shows in
// GL's direction for it (with both renderers), mipmaps are made, a sampler reads the capture by
// direction, the embedded light is in the list only during the capture, and the static mode,
// offsets, target, sizes and cube-map texture behave as set.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
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

// The camera's position and the cube map's face when each iteration ends.
struct TFaceLog : TObject {
  TVantrelRenderPassEnvironment* Pass = nullptr;
  std::vector<std::pair<TPoint3D, TVantrelCubeMapFace>> Entries;
  void EndRender(TObject*, TContext3D*, int32_t, TRenderPass*) {
    Entries.emplace_back(Pass->Camera()->AbsolutePosition(), Pass->CubeMap()->GetAttachedCubeMapFace());
  }
};

GLint CubeMaxLevel(const TTexture* ATexture) {
  GLint previous = 0, level = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &previous);
  glBindTexture(GL_TEXTURE_CUBE_MAP, GLuint(ATexture->Handle()));
  glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, &level);
  glBindTexture(GL_TEXTURE_CUBE_MAP, GLuint(previous));
  return glGetError() == GL_NO_ERROR ? level : -1;
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

TEST_F(EnvironmentGL, MapSizesRoundUpToPowersOfTwo) {
  auto* pass = MakeEnvironment();
  const struct {
    int32_t Given, Stored;
  } sizes[] = {{100, 128}, {256, 256}, {0, 1}, {-5, 1}, {EnvironmentMaxMapSize + 1, EnvironmentMaxMapSize}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(size.Given);
    if (size.Stored > 4096) {
      // Only the rounding: a map of that size is never made.
      TOwned<TVantrelRenderPassController> standalone(TVantrelRenderPassController::CreateController(
          TVantrelRenderPassEnvironment::StaticClass(), nullptr, ""));
      auto& environment = static_cast<TVantrelRenderPassEnvironment&>(*standalone);
      environment.SetMapSize(size.Given);
      EXPECT_EQ(environment.GetMapSize(), size.Stored);
      continue;
    }
    pass->SetMapSize(size.Given);
    EXPECT_EQ(pass->GetMapSize(), size.Stored);
    EXPECT_EQ(pass->GetViewportSize(), (TPoint{size.Stored, size.Stored}));
  }
  pass->SetMapSize(MapSize);
  pass->SetViewportWidth(300);
  EXPECT_EQ(pass->GetViewportSize(), (TPoint{512, 512}));
  EXPECT_EQ(pass->GetMapSize(), MapSize);
  pass->SetViewportHeight(3);
  EXPECT_EQ(pass->GetViewportSize(), (TPoint{4, 4}));
  pass->SetViewportSize(TPoint{100, 300});
  EXPECT_EQ(pass->GetViewportSize(), (TPoint{512, 512}));
  EXPECT_EQ(pass->GetMapSize(), MapSize);
}

TEST_F(EnvironmentGL, AStaticPassCapturesOnceUntilInvalidated) {
  UseCamera({0, -5, -10});
  FViewport->SetFrustumCulling(false);
  vtest::TPassProbe* probe = AddProbe({0, 0, 3});
  auto* pass = MakeEnvironment();
  pass->SetIsDynamic(false);
  const int expected[] = {6, 0, 6};
  for (int frame = 0; frame < 3; ++frame) {
    SCOPED_TRACE(frame);
    if (frame == 2)
      pass->SetPosition({1, 0, 0});
    probe->Records.clear();
    Frame();
    EXPECT_EQ(int(probe->RecordsOf(EntryOf(*pass)).size()), expected[frame]);
    EXPECT_FALSE(pass->GetEnabled());
  }
}

TEST_F(EnvironmentGL, OffsetsMoveTheCameraPerFaceAndItComesBack) {
  UseCamera({0, -5, -10});
  auto* pass = MakeEnvironment();
  auto* target = New<TDummy>(FScene.get());
  target->SetParent(FViewport);
  target->Position()->SetPoint({1, 0, 0});
  pass->SetTarget(target);
  pass->SetCenterOffsets(0);
  pass->SetCenterOffset<0>(2);
  TFaceLog log;
  log.Pass = pass;
  pass->OnEndRender = TRenderPassEvent(&log, &TFaceLog::EndRender);
  Frame();
  ASSERT_EQ(log.Entries.size(), 6u);
  EXPECT_EQ(log.Entries[0].second, TVantrelCubeMapFace::NegativeZ);
  EXPECT_TRUE(PointNear(log.Entries[0].first, {1, 0, -2}));
  const TVantrelCubeMapFace faces[6] = {TVantrelCubeMapFace::NegativeZ, TVantrelCubeMapFace::PositiveZ,
                                        TVantrelCubeMapFace::NegativeX, TVantrelCubeMapFace::PositiveX,
                                        TVantrelCubeMapFace::NegativeY, TVantrelCubeMapFace::PositiveY};
  for (size_t i = 1; i < 6; ++i) {
    EXPECT_EQ(log.Entries[i].second, faces[i]) << i;
    EXPECT_TRUE(PointNear(log.Entries[i].first, {1, 0, 0})) << i;
  }
  EXPECT_TRUE(PointNear(pass->Camera()->AbsolutePosition(), {0, 0, 0}));
  pass->OnEndRender = nullptr;
}

TEST_F(EnvironmentGL, TheTargetIsIgnoredInItsOwnCapture) {
  UseCamera({0, -5, -10});
  FViewport->SetFrustumCulling(false);
  vtest::TPassProbe* first = AddProbe({0, 0, 3});
  vtest::TPassProbe* second = AddProbe({0, 0, -3});
  auto* pass = MakeEnvironment();
  pass->SetTarget(first);
  EXPECT_TRUE(pass->IgnoredControlsList()->Contains(first));
  Frame();
  EXPECT_TRUE(first->RecordsOf(EntryOf(*pass)).empty());
  EXPECT_EQ(second->RecordsOf(EntryOf(*pass)).size(), 6u);
  EXPECT_FALSE(first->Records.empty()) << "the main pass draws it";
  pass->SetTarget(second);
  EXPECT_FALSE(pass->IgnoredControlsList()->Contains(first));
  EXPECT_TRUE(pass->IgnoredControlsList()->Contains(second));
  second->Free();
  EXPECT_EQ(pass->GetTarget(), nullptr);
}

TEST_F(EnvironmentGL, TheOutputIsTheRenderersCurrentCubeMap) {
  UseCamera({0, -5, -10});
  AddBox();
  auto* pass = MakeEnvironment();
  Frame();
  TTexture* cube = pass->GetOutputTexture();
  ASSERT_NE(cube, nullptr);
  EXPECT_EQ(dynamic_cast<TVantrelTexture*>(cube)->GetKind(), TVantrelTextureKind::CubeMap);
  EXPECT_EQ(CubeMaxLevel(cube), 9);
  EXPECT_EQ(cube->Width(), MapSize);
  pass->SetMapSize(64);
  Frame();
  TTexture* replaced = pass->GetOutputTexture();
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(replaced->Width(), 64);
  EXPECT_EQ(pass->CubeMap(), pass->GetRenderer()->GetCompositeTexture());
  EXPECT_EQ(pass->CubeMap()->Texture(), replaced);
  EXPECT_EQ(CubeMaxLevel(replaced), 9);
}

} // namespace
