// The voxelisation pass on llvmpipe: which texels a scene writes (cascades, dominant-axis
// projection, the far-face clamp, objects drawn without instances), world-space lighting, the
// focus, the cascade table, design-time skipping, when the volume is made, the setters, the block
// layout on the GPU and the texture units of a program with a geometry stage. Volumes stay at
// 32 x 32 x 256.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "pass_frame.h"
#include "rendering/Vantrel.Controller.Passes.Voxelize.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Light.h"
#include "support/log_capture.h"
#include "support/triangle_soup.h"
#include "ui/shaders.h"

namespace {

using namespace rtest;
using vtest::TRGBA8;
using vtest::TVolume;

// The 1 x 1 centre triangle that covers exactly one pixel of cascade 0.
const std::vector<TPoint3D> CentreTriangle = {{0.0125f, 0.0125f, 0}, {0.175f, 0.0125f, 0}, {0.0125f, 0.175f, 0}};

class VoxelGL : public PassFrameGL {
public:
  void SetUp() override {
    PassFrameGL::SetUp();
    Camera = UseCamera({0, 0, -5});
  }
  TVantrelRenderPassVoxelize* MakeVoxelPass() {
    auto* pass = MakePass<TVantrelRenderPassVoxelize>("vox");
    pass->SetVoxelSize(32);
    return pass;
  }
  vtest::TTriangleSoup* AddSoup(std::vector<TPoint3D> APositions, std::vector<TPoint3D> ANormals = {}) {
    auto* soup = New<vtest::TTriangleSoup>(FScene.get());
    soup->SetParent(FViewport);
    if (ANormals.empty())
      ANormals.assign(APositions.size(), TPoint3D{0, 0, -1});
    soup->SetTriangles(std::move(APositions), std::move(ANormals));
    return soup;
  }
  static std::vector<TPoint3D> Scaled(const std::vector<TPoint3D>& APoints, float AFactor) {
    std::vector<TPoint3D> result;
    for (const TPoint3D& p : APoints)
      result.push_back(p * AFactor);
    return result;
  }
  static int CountWhere(const std::vector<TVolume::TTexel>& ATexels, const std::function<bool(int, int, int)>& AIf) {
    return int(std::count_if(ATexels.begin(), ATexels.end(),
                             [&](const TVolume::TTexel& t) { return AIf(t.X, t.Y, t.Z); }));
  }

  TCamera* Camera = nullptr;
};

TEST_F(VoxelGL, OneTriangleWritesOneTexelWithTheEmissiveColour) {
  auto* pass = MakeVoxelPass();
  AddSoup(CentreTriangle);
  Frame();
  const TVolume volume = vtest::ReadVolume(pass->GetTexture3D());
  ASSERT_EQ(volume.Width, 32);
  ASSERT_EQ(volume.Depth, 256);
  const auto written = volume.Written();
  // Drawn without instances: the pass gives the draw one instance with the object's matrix.
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].X, 16);
  EXPECT_EQ(written[0].Y, 16);
  EXPECT_EQ(written[0].Z, 16);
  EXPECT_TRUE(vtest::ColorNear(written[0].Color, {26, 26, 26, 255}));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(VoxelGL, ScenesWriteTheirTexels) {
  using TTexels = std::vector<TVolume::TTexel>;
  struct TCase {
    const char* Name;
    std::function<void(VoxelGL&)> Build;
    std::function<void(const TTexels&)> Check;
  };
  std::vector<TPoint3D> quadFar, quadFarNormals;
  vtest::AddQuad(quadFar, quadFarNormals, {0, 0, 2}, {0.5f, 0, 0}, {0, 0.5f, 0}, {0, 0, -1});
  const TCase cases[] = {
      {"two instances",
       [](VoxelGL& ATest) {
         auto* soup = ATest.AddSoup(CentreTriangle);
         soup->Instances = {TMatrix3D::CreateTranslation(TPoint3D{1, 0, 0}),
                            TMatrix3D::CreateTranslation(TPoint3D{-1, 0, 0})};
       },
       [](const TTexels& AWritten) {
         ASSERT_EQ(AWritten.size(), 2u);
         EXPECT_EQ(CountWhere(AWritten, [](int x, int y, int z) { return x == 24 && y == 16 && z == 16; }), 1);
         EXPECT_EQ(CountWhere(AWritten, [](int x, int y, int z) { return x == 8 && y == 16 && z == 16; }), 1);
       }},
      {"scaled by four",
       [](VoxelGL& ATest) { ATest.AddSoup(Scaled(CentreTriangle, 4)); },
       [](const TTexels& AWritten) {
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z < 32; }), 15);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z >= 32 && z < 64; }), 3);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z >= 64 && z < 96; }), 1);
         EXPECT_EQ(CountWhere(AWritten, [](int x, int y, int z) { return x == 16 && y == 16 && z == 80; }), 1);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z >= 96; }), 0);
       }},
      {"projected along y",
       [](VoxelGL& ATest) { ATest.AddSoup({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}}); },
       [](const TTexels& AWritten) {
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z < 32; }), 28);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z < 32 && (z < 16 || z > 22); }), 0);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z >= 32 && z < 64; }), 6);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z >= 64 && z < 96; }), 1);
         EXPECT_EQ(CountWhere(AWritten, [](int, int y, int) { return y != 16; }), 0);
       }},
      {"the far face of cascade 0",
       [&](VoxelGL& ATest) { ATest.AddSoup(quadFar, quadFarNormals); },
       [](const TTexels& AWritten) {
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z == 31; }), 64);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z == 32; }), 0);
         EXPECT_EQ(CountWhere(AWritten, [](int, int, int z) { return z == 56; }), 16);
       }},
      {"lines",
       [](VoxelGL& ATest) { ATest.AddSoup(CentreTriangle)->Kind = TPrimitivesKind::Lines; },
       [](const TTexels& AWritten) { EXPECT_TRUE(AWritten.empty()); }},
      {"points",
       [](VoxelGL& ATest) { ATest.AddSoup(CentreTriangle)->Kind = TPrimitivesKind::Points; },
       [](const TTexels& AWritten) { EXPECT_TRUE(AWritten.empty()); }},
  };
  auto* pass = MakeVoxelPass();
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.Name);
    row.Build(*this);
    Frame();
    row.Check(vtest::ReadVolume(pass->GetTexture3D()).Written());
    // The next scene starts from an empty viewport.
    for (int index = FViewport->ChildrenCount() - 1; index >= 0; --index)
      if (auto* soup = dynamic_cast<vtest::TTriangleSoup*>(FViewport->Children()[size_t(index)]))
        soup->Free();
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(VoxelGL, APassWithoutViewportHasNoVolumeAndLogsNothing) {
  vtest::TLogCapture log;
  TOwned<TVantrelRenderPassVoxelize> pass(static_cast<TVantrelRenderPassVoxelize*>(
      TVantrelRenderPassController::CreateController(TVantrelRenderPassVoxelize::StaticClass(), nullptr, "lone")));
  EXPECT_EQ(pass->GetOutputTexture(), nullptr);
  EXPECT_EQ(pass->GetTexture3D(), nullptr);
  EXPECT_TRUE(log.Lines().empty());
}

// Light positions are world positions; the texel of each cascade gets the light of its own world
// point: 255 x (0.1 + 1 / |L - p|) at the texel's pixel-centre point.
TEST_F(VoxelGL, LightingUsesTheWorldPosition) {
  auto* pass = MakeVoxelPass();
  std::vector<TPoint3D> positions, normals;
  vtest::AddQuad(positions, normals, {0, 0, 0}, {1.5f, 0, 0}, {0, 1.5f, 0}, {0, 0, -1});
  AddSoup(positions, normals);
  auto* light = New<TVantrelLight>(FScene.get());
  light->SetParent(FViewport);
  light->SetLightType(TLightType::Point);
  light->SetColor(0xFFFFFFFF);
  light->SetConstantAttenuation(1);
  light->SetLinearAttenuation(0);
  light->SetQuadraticAttenuation(0);
  light->Position()->SetPoint({3, 0, -1});
  Frame();
  const TVolume volume = vtest::ReadVolume(pass->GetTexture3D());
  const auto expected = [](const TPoint3D& APoint) {
    return int(std::lround(255 * (0.1 + 1 / (TPoint3D{3, 0, -1} - APoint).Length())));
  };
  EXPECT_EQ(expected({1.0625f, 0.0625f, 0}), 142);
  EXPECT_NEAR(volume.At(24, 16, 16).R, 142, 2);
  EXPECT_NEAR(volume.At(20, 16, 48).R, 145, 2);
}

TEST_F(VoxelGL, TheFocusLiesAheadOfTheCamera) {
  struct TCase {
    TPoint3D Eye, Target;
    float FocalLength;
    TPoint3D Centre;
  };
  const TCase cases[] = {
      {{0, 0, 5}, {0, 0, 0}, 10, {0, 0, 0}},
      {{0, 0, 5}, {0, 0, 0}, 2, {0, 0, 3}},
      {{0, 0, 0}, {0, 0, 1}, 10, {0, 0, 0}},
  };
  auto* pass = MakeVoxelPass();
  AddSoup(CentreTriangle);
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.FocalLength);
    Camera->Position()->SetPoint(row.Eye);
    Camera->Target()->Position()->SetPoint(row.Target);
    pass->SetFocalLength(row.FocalLength);
    Frame();
    EXPECT_TRUE(PointNear(pass->VoxelCenter(), row.Centre, 1e-5f));
  }
}

TEST_F(VoxelGL, EachIterationTakesItsCascade) {
  auto* pass = MakeVoxelPass();
  pass->SetIterations(9);
  struct TRecorder : TObject {
    TVantrelRenderPassVoxelize* Pass = nullptr;
    std::vector<std::pair<float, TPoint3D>> Seen;
    void EndRender(TObject*, TContext3D*, int32_t, TRenderPass*) {
      Seen.push_back({Pass->Material()->SceneScale(), Pass->Material()->TextureOffset()});
    }
  } recorder;
  recorder.Pass = pass;
  pass->OnEndRender = TRenderPassEvent(&recorder, &TRecorder::EndRender);
  Frame();
  pass->OnEndRender = {};
  const float scales[9] = {2, 4, 8, 16, 32, 48, 64, 128, 128};
  ASSERT_EQ(recorder.Seen.size(), 9u);
  for (int index = 0; index < 9; ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(recorder.Seen[size_t(index)].first, scales[index]);
    EXPECT_TRUE(PointNear(recorder.Seen[size_t(index)].second, {0, 0, float(std::min(index, 7) * 32)}));
  }
}

TEST_F(VoxelGL, AtDesignTimeThePassRunsEverySecondFrame) {
  auto* pass = MakeVoxelPass();
  struct TRecorder : TObject {
    TVantrelRenderPassVoxelize* Pass = nullptr;
    std::vector<uint64_t> Counts;
    void BeginRender(TObject*, TContext3D*, int32_t ACount, TRenderPass*) {
      if (ACount == 0)
        Counts.push_back(Pass->GetFrameCount());
    }
  } recorder;
  recorder.Pass = pass;
  pass->OnBeginRender = TRenderPassEvent(&recorder, &TRecorder::BeginRender);
  pass->SetDesigning(true, false);
  for (int frame = 1; frame <= 6; ++frame)
    Frame();
  pass->OnBeginRender = {};
  EXPECT_EQ(recorder.Counts, (std::vector<uint64_t>{1, 3, 5}));
}

// Making a pass builds several renderers and the size is set after: no volume is made until the
// first use, which makes it at the size then set; a new renderer at that size keeps it.
TEST_F(VoxelGL, TheVolumeWaitsForItsFirstUse) {
  auto* pass = MakePass<TVantrelRenderPassVoxelize>("vox");
  EXPECT_EQ(pass->Voxels(), nullptr);
  pass->SetVoxelSize(32);
  EXPECT_EQ(pass->Voxels(), nullptr);
  AddSoup(CentreTriangle);
  Frame();
  TVantrelTextureBitmap* volume = pass->Voxels();
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->Width(), 32);
  EXPECT_EQ(volume->GetDepth(), 256);
  pass->UpdateOnResize();
  EXPECT_EQ(pass->Voxels(), volume);
  Frame();
  EXPECT_EQ(vtest::ReadVolume(pass->GetTexture3D()).Written().size(), 1u);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(VoxelGL, SettersKeepTheirRanges) {
  // Without a viewport the pass makes no renderer, so no volume of the sizes above detail 2.
  TOwned<TVantrelRenderPassVoxelize> lone(static_cast<TVantrelRenderPassVoxelize*>(
      TVantrelRenderPassController::CreateController(TVantrelRenderPassVoxelize::StaticClass(), nullptr, "lone")));
  const std::pair<int32_t, int32_t> sizes[] = {{100, 96}, {600, 512}, {511, 480}, {31, 32}, {-40, 32}};
  for (const auto& [value, stored] : sizes) {
    SCOPED_TRACE(value);
    lone->SetVoxelSize(value);
    EXPECT_EQ(lone->GetVoxelSize(), stored);
  }
  // Linked, each change frees the old volume at once and the next use makes one of the new size
  // (the sanitizer sees a stale use).
  auto* pass = MakeVoxelPass();
  for (int32_t size : {64, 32}) {
    SCOPED_TRACE(size);
    pass->SetVoxelSize(size);
    EXPECT_EQ(pass->Voxels(), nullptr);
    ASSERT_NE(pass->GetTexture3D(), nullptr);
    ASSERT_NE(pass->Voxels(), nullptr);
    EXPECT_EQ(pass->Voxels()->Width(), size);
    EXPECT_EQ(pass->Voxels()->Height(), size);
    EXPECT_EQ(pass->Voxels()->GetDepth(), size * 8);
    EXPECT_EQ(pass->Voxels()->GetKind(), TVantrelTextureKind::ImageTexture3D);
    EXPECT_EQ(pass->Voxels()->GetWrapR(), TVantrelTextureWrap::ClampToBorder);
    EXPECT_EQ(vtest::ReadVolume(pass->GetTexture3D()).Depth, size * 8);
  }
  pass->SetFocalLength(0.5f);
  EXPECT_EQ(pass->GetFocalLength(), 1.0f);
  pass->SetFocalLength(80);
  EXPECT_EQ(pass->GetFocalLength(), 50.0f);
  int32_t detail = 1;
  EXPECT_EQ(TVantrelRenderPassVoxelize::GetVoxelSizeFromDetail(pass->GetRenderPassContext(), detail), 32);
  detail = 7;
  EXPECT_EQ(TVantrelRenderPassVoxelize::GetVoxelSizeFromDetail(pass->GetRenderPassContext(), detail),
            TVantrelContext::MaxTexture3DSize() >= 4096 ? 512 : 256);
  // The pass's own bias matrix stays all zeros.
  EXPECT_TRUE(MatrixNear(pass->BiasMatrix(), TMatrix3D{}));
}

TEST_F(VoxelGL, ProgramLayoutNamesAndUnits) {
  auto* pass = MakeVoxelPass();
  AddSoup(CentreTriangle);
  Frame();
  TVoxelizeMaterial* material = pass->Material();
  const std::string address = Format("%d", reinterpret_cast<intptr_t>(material));
  EXPECT_EQ(material->VertexShader()->Name(), "Voxelize-" + address + ".fvs");
  EXPECT_EQ(material->GeometryShader()->Name(), "Voxelize-" + address + ".fgs");
  EXPECT_EQ(material->PixelShader()->Name(), "Voxelize-" + address + ".fps");
  EXPECT_EQ(int(material->GeometryShader()->Kind()), int(TContextShaderKindEx::GeometryShader));
  EXPECT_EQ(TVoxelizeMaterial::GeometryShaderText().rfind("#version 430\r\n\r\n\r\n\r\n", 0), 0u);

  auto* context = dynamic_cast<TVantrelContext*>(pass->GetRenderPassContext());
  context->SetShaders(material->VertexShader(), material->GeometryShader(), nullptr, nullptr,
                      material->PixelShader());
  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  ASSERT_NE(program, nullptr);
  // Image variables take no texture unit of their own.
  EXPECT_EQ(program->Variables().Items("Texture3D").TextureUnit, 0);
  GLint handle = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &handle);
  ASSERT_NE(handle, 0);
  const GLuint block = glGetUniformBlockIndex(GLuint(handle), "VoxelizeShaderData");
  GLint size = 0;
  glGetActiveUniformBlockiv(GLuint(handle), block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
  EXPECT_EQ(size, int(sizeof(TVoxelizeShaderData)));
  const std::pair<const char*, size_t> members[] = {
      {"_Material._DiffuseColor", offsetof(TVoxelizeShaderData, Material) + offsetof(TVoxelMaterial, DiffuseColor)},
      {"_Material._SpecularColor", offsetof(TVoxelMaterial, SpecularColor)},
      {"_Material._DiffuseReflectivity", offsetof(TVoxelMaterial, DiffuseReflectivity)},
      {"_Material._SpecularReflectivity", offsetof(TVoxelMaterial, SpecularReflectivity)},
      {"_Material._Emissivity", offsetof(TVoxelMaterial, Emissivity)},
      {"_Material._Transparency", offsetof(TVoxelMaterial, Transparency)},
      {"_TextureOffset", offsetof(TVoxelizeShaderData, TextureOffset)},
      {"_NumberOfLights", offsetof(TVoxelizeShaderData, NumberOfLights)},
      {"_Lights[0]._LightType", offsetof(TVoxelizeShaderData, Lights)},
      {"_Lights[1]._Position", offsetof(TVoxelizeShaderData, Lights) + 144 + 16},
  };
  for (const auto& [name, offset] : members) {
    SCOPED_TRACE(name);
    GLuint index = GL_INVALID_INDEX;
    glGetUniformIndices(GLuint(handle), 1, &name, &index);
    ASSERT_NE(index, GL_INVALID_INDEX);
    GLint actual = -1;
    glGetActiveUniformsiv(GLuint(handle), 1, &index, GL_UNIFORM_OFFSET, &actual);
    EXPECT_EQ(actual, GLint(offset));
  }
}

// One counter from 1 across the stages: each stage's sampler reads its own texture.
TEST_F(VoxelGL, EveryStageSamplesItsOwnUnit) {
  using K = TContextShaderVariableKind;
  const auto stage = [](const std::string& AName, TContextShaderKind AKind, const std::string& ACode,
                        std::vector<TContextShaderVariable> AVariables) {
    TContextShaderSource source{TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()),
                                std::move(AVariables)};
    return MakeOwned<TContextShader>(AName, AKind, std::vector<TContextShaderSource>{source});
  };
  auto vs = stage("units.fvs", TContextShaderKind::VertexShader,
                  "#version 430\nuniform sampler2D _VertexTex;\nout float v_Red;\n"
                  "void main(){\n"
                  "  vec2 c[3] = vec2[3](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));\n"
                  "  v_Red = textureLod(_VertexTex, vec2(0.5), 0.0).r;\n"
                  "  gl_Position = vec4(c[gl_VertexID], 0.0, 1.0);\n}\n",
                  {{"VertexTex", K::Texture, 0, 0, 0, TContextShaderKind::VertexShader}});
  auto gs = stage("units.fgs", static_cast<TContextShaderKind>(TContextShaderKindEx::GeometryShader),
                  "#version 430\nlayout(triangles) in;\nlayout(triangle_strip, max_vertices = 3) out;\n"
                  "uniform sampler2D _GeometryTex;\nin float v_Red[];\nout float g_Red;\nout float g_Green;\n"
                  "void main(){\n  for (int i = 0; i < 3; ++i){\n"
                  "    g_Red = v_Red[i];\n    g_Green = textureLod(_GeometryTex, vec2(0.5), 0.0).g;\n"
                  "    gl_Position = gl_in[i].gl_Position;\n    EmitVertex();\n  }\n  EndPrimitive();\n}\n",
                  {{"GeometryTex", K::Texture, 0, 0, 0, TContextShaderKind::VertexShader}});
  auto ps = stage("units.fps", TContextShaderKind::PixelShader,
                  "#version 430\nuniform sampler2D _PixelTex;\nin float g_Red;\nin float g_Green;\n"
                  "layout(location = 0) out vec4 o_Color;\n"
                  "void main(){ o_Color = vec4(g_Red, g_Green, texture(_PixelTex, vec2(0.5)).b, 1.0); }\n",
                  {{"PixelTex", K::Texture, 0, 0, 0, TContextShaderKind::PixelShader}});
  const auto texture = [](TAlphaColor AColor) {
    TOwned<TVantrelTextureBitmap> bitmap(TVantrelTextureBitmap::Create(1, 1));
    bitmap->Clear(AColor);
    return bitmap;
  };
  auto red = texture(0xFFFF0000), green = texture(0xFF00FF00), blue = texture(0xFF0000FF);
  vtest::TTestTexture target(1, 1);
  auto context = vtest::TGLTestContext::Make(target.get());
  ASSERT_TRUE(context->BeginScene());
  // The draw goes into the test's own 1 x 1 frame buffer, made before the samplers are bound (its
  // colour texture is bound on the active unit when it is made).
  vtest::TTestFrameBuffer& buffer = UseFrameBuffer(1, 1);
  context->SetShaders(vs.get(), gs.get(), nullptr, nullptr, ps.get());
  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->Variables().Items("VertexTex").TextureUnit, 1);
  EXPECT_EQ(program->Variables().Items("GeometryTex").TextureUnit, 2);
  EXPECT_EQ(program->Variables().Items("PixelTex").TextureUnit, 3);
  context->SetShaderVariable("VertexTex", red->Texture());
  context->SetShaderVariable("GeometryTex", green->Texture());
  context->SetShaderVariable("PixelTex", blue->Texture());
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  GLuint vao = 0;
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  glBindVertexArray(0);
  glDeleteVertexArrays(1, &vao);
  const TRGBA8 pixel = buffer.Pixel(0, 0);
  context->EndScene();
  EXPECT_TRUE(vtest::ColorNear(pixel, {255, 255, 255, 255}));
  TVantrelContext::RemoveProgram(program);
}

} // namespace
