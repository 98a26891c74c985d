// One whole frame through the framework's context: a context made by the context manager on a
// render-target texture, a triangle lit by a directional light and drawn by a material with its
// own GLSL program, and the image read back into a bitmap.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <span>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "support/gl_fixture.h"
#include "ui/bitmap.h"
#include "ui/material.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

constexpr int32_t Size = 64;

// Clip coordinate j is dot(_MVPMatrix[j], p): the matrix arrives as its four transposed rows.
constexpr std::string_view VertexCode = R"(#version 430
layout(location = 0) in vec3 a_Vertex;
layout(location = 1) in vec3 a_Normal;
uniform vec4 _MVPMatrix[4];
out vec3 v_Normal;
void main() {
  vec4 p = vec4(a_Vertex, 1.0);
  gl_Position = vec4(dot(_MVPMatrix[0], p), dot(_MVPMatrix[1], p), dot(_MVPMatrix[2], p), dot(_MVPMatrix[3], p));
  v_Normal = a_Normal;
}
)";

constexpr std::string_view PixelCode = R"(#version 430
in vec3 v_Normal;
uniform vec4 _LightDir;
uniform vec4 _Color;
out vec4 o_Color;
void main() {
  o_Color = vec4(_Color.rgb * max(dot(normalize(v_Normal), -_LightDir.xyz), 0.0), 1.0);
}
)";

TOwned<TContextShader> MakeShader(const char* AName, TContextShaderKind AKind, std::string_view ACode,
                                  std::vector<TContextShaderVariable> AVariables) {
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code.assign(ACode.begin(), ACode.end());
  source.Variables = std::move(AVariables);
  return MakeOwned<TContextShader>(AName, AKind, std::vector<TContextShaderSource>{source});
}

// Names the model-view-projection matrix, which the draw hands over after DoApply,
// and takes the light's direction from the context's first shader light.
class TLitMaterial : public TCustomMaterial {
public:
  TLitMaterial(TContextShader* AVertexShader, TContextShader* APixelShader) {
    FVertexShader = AVertexShader;
    FPixelShader = APixelShader;
  }

protected:
  void DoApply(TContext3D* AContext) override {
    TCustomMaterial::DoApply(AContext);
    auto* context = CheckedCast<TVantrelContext>(AContext);
    const TVector3D direction = context->GetShaderLights()[0].Direction;
    const TVector3D color{1, 0.5f, 0.25f, 1};
    context->SetShaderVariable("LightDir", std::span<const TVector3D>(&direction, 1));
    context->SetShaderVariable("Color", std::span<const TVector3D>(&color, 1));
  }
};

struct TVertex {
  TPoint3D Position;
  TPoint3D Normal;
};

struct TBGRA {
  uint8_t B, G, R, A;
};

::testing::AssertionResult PixelNear(const TBGRA& AActual, const TBGRA& AExpected) {
  return vtest::ColorNear({AActual.R, AActual.G, AActual.B, AActual.A},
                          {AExpected.R, AExpected.G, AExpected.B, AExpected.A}, 2);
}

class LitTriangle : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(Size, Size);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(CheckedCast<TContextOpenGLWindows>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true)));
    FVertexShader = MakeShader(
        "lit.fvs", TContextShaderKind::VertexShader, VertexCode,
        {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}});
    FPixelShader = MakeShader(
        "lit.fps", TContextShaderKind::PixelShader, PixelCode,
        {{"LightDir", TContextShaderVariableKind::Vector, 0, 1, 0, TContextShaderKind::PixelShader},
         {"Color", TContextShaderVariableKind::Vector, 0, 1, 0, TContextShaderKind::PixelShader}});
  }
  void TearDown() override {
    TVantrelContext::FreePrograms();
    FPixelShader.reset();
    FVertexShader.reset();
    FContext.reset();
    FTexture.reset();
    TVantrelContext::ResetDrawCallDiagnostics();
    ContextGLTest::TearDown();
  }

  // Clears, draws the triangle and reads the image back.
  void RenderFrame(TBitmap& ABitmap) {
    TLitMaterial material(FVertexShader.get(), FPixelShader.get());
    const std::array<TVertex, 3> vertices{
        {{{-2, 0, -2}, {0, 0, 1}}, {{0, 0, -2}, {0, 0, 1}}, {{-2, 2, -2}, {0, 0, 1}}}};
    const std::array<uint32_t, 3> indices{0, 1, 2};
    const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}, {TVertexFormat::Normal, 12}};
    ASSERT_TRUE(FContext->BeginSceneRendering());
    FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF202020, 1, 0);
    FContext->SetContextStates(
        {TContextState::csZTestOn, TContextState::csZWriteOn, TContextState::csAllFace});
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, vertices.data(), indices.data(), declaration,
                             sizeof(TVertex), 3, 4, 3, &material, 1);
    FContext->EndSceneRendering();
    FContext->CopyToBitmap(&ABitmap, TRect(0, 0, Size, Size));
  }

  TOwned<TTexture> FTexture;
  TOwned<TContextOpenGLWindows> FContext;
  TOwned<TContextShader> FVertexShader;
  TOwned<TContextShader> FPixelShader;
};

TBGRA PixelAt(TBitmap& ABitmap, int32_t AX, int32_t AY) {
  TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(TMapAccess::Read, data));
  const TAlphaColor color = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16), uint8_t(color >> 24)};
}

TEST_F(LitTriangle, OneFrameDrawsTheLitTriangleAndReadsItBack) {
  TLightDescription light;
  light.LightType = TLightType::Directional;
  light.Direction = {0, -0.8660254f, -0.5f};
  FContext->AddLight(light);
  FContext->SetCameraMatrix(TMatrix3D::Identity());
  FContext->SetMatrix(TMatrix3D::Identity());
  FContext->SetCameraAngleOfView(90);
  TVantrelContext::ResetDrawCallDiagnostics();
  TBitmap bitmap(Size, Size);

  RenderFrame(bitmap);
  EXPECT_TRUE(PixelNear(PixelAt(bitmap, 8, 24), {32, 64, 128, 255}));
  for (auto [x, y] : {std::pair{24, 8}, std::pair{8, 56}, std::pair{56, 8}})
    EXPECT_TRUE(PixelNear(PixelAt(bitmap, x, y), {0x20, 0x20, 0x20, 0xFF})) << x << ", " << y;
  const TVantrelContextShared& shared = ContextShared();
  EXPECT_EQ(shared.DrawCalls.load(), 1);
  EXPECT_EQ(shared.DrawInstances.load(), 1);
  EXPECT_EQ(shared.TotalVertexCount.load(), 3);
  EXPECT_EQ(shared.TotalIndexCount.load(), 3);
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);
  GLint program = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  EXPECT_EQ(program, 0);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  RenderFrame(bitmap);
  EXPECT_EQ(TVantrelContext::ProgramCount(), 1);
  EXPECT_TRUE(PixelNear(PixelAt(bitmap, 8, 24), {32, 64, 128, 255}));
}

} // namespace
