// One whole frame through the framework's context: a context made by the context manager on a
// render-target texture, a triangle lit by a directional light and drawn by a Lambert material
// source, and the image read back into a bitmap.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "support/gl_fixture.h"
#include "ui/bitmap.h"
#include "ui/material.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

constexpr int32_t Size = 64;

// The triangle's colour; the Lambert merge multiplies the diffuse colour in twice.
constexpr TAlphaColor TriangleColor = 0xFFFF8040;

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
    FSource = MakeOwned<TVantrelLambertMaterialSource>(nullptr);
    FSource->SetDiffuse(TriangleColor);
    FSource->SetUseTexturing(false);
  }
  void TearDown() override {
    FSource.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    FContext.reset();
    FTexture.reset();
    TVantrelContext::ResetDrawCallDiagnostics();
    ContextGLTest::TearDown();
  }

  // Clears, draws the triangle and reads the image back.
  void RenderFrame(TBitmap& ABitmap) {
    const std::array<TVertex, 3> vertices{
        {{{-2, 0, -2}, {0, 0, 1}}, {{0, 0, -2}, {0, 0, 1}}, {{-2, 2, -2}, {0, 0, 1}}}};
    const std::array<uint32_t, 3> indices{0, 1, 2};
    const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}, {TVertexFormat::Normal, 12}};
    ASSERT_TRUE(FContext->BeginSceneRendering());
    FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF202020, 1, 0);
    FContext->SetContextStates(
        {TContextState::csZTestOn, TContextState::csZWriteOn, TContextState::csAllFace});
    // The generated vertex stage reads the model matrix from the instance attribute.
    const TMatrix3D identity = TMatrix3D::Identity();
    FContext->SetInstances(1, &identity);
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, vertices.data(), indices.data(), declaration,
                             sizeof(TVertex), 3, 4, 3, FSource->GetMaterial(), 1);
    FContext->EndSceneRendering();
    FContext->CopyToBitmap(&ABitmap, TRect(0, 0, Size, Size));
  }

  TOwned<TTexture> FTexture;
  TOwned<TContextOpenGLWindows> FContext;
  TOwned<TVantrelLambertMaterialSource> FSource;
};

TBGRA PixelAt(TBitmap& ABitmap, int32_t AX, int32_t AY) {
  TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(TMapAccess::Read, data));
  const TAlphaColor color = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return {uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16), uint8_t(color >> 24)};
}

// The Lambert model at the lit pixel: 255 x colour^2 x N.L, with N = (0, 0, 1) and L the light's
// reversed direction, so N.L = 0.5.
TBGRA LitPixel() {
  auto channel = [](uint8_t AByte) {
    const double c = AByte / 255.0;
    return uint8_t(std::lround(255 * c * c * 0.5));
  };
  return {channel(uint8_t(TriangleColor)), channel(uint8_t(TriangleColor >> 8)), channel(uint8_t(TriangleColor >> 16)),
          255};
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
  EXPECT_TRUE(PixelNear(PixelAt(bitmap, 8, 24), LitPixel()));
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
  EXPECT_TRUE(PixelNear(PixelAt(bitmap, 8, 24), LitPixel()));
}

} // namespace
