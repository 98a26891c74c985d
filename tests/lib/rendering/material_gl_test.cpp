// The draw's material handling on a real context: the draw hands the material the matrices it
// names, and a 2D scene maps target pixels onto the target.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "support/constant_material.h"
#include "support/gl_fixture.h"
#include "ui/bitmap.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

constexpr int32_t Size = 64;

class MaterialMatrices : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(Size, Size);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true));
  }
  void TearDown() override {
    FContext.reset();
    FTexture.reset();
    ContextGLTest::TearDown();
  }

  TAlphaColor PixelAt(int32_t AX, int32_t AY) {
    TBitmap bitmap(Size, Size);
    FContext->CopyToBitmap(&bitmap, TRect(0, 0, Size, Size));
    TBitmapData data;
    EXPECT_TRUE(bitmap.Map(TMapAccess::Read, data));
    const TAlphaColor color = data.GetPixel(AX, AY);
    bitmap.Unmap(data);
    return color;
  }

  TOwned<TTexture> FTexture;
  TOwned<TContext3D> FContext;
};

TEST_F(MaterialMatrices, A2DSceneRectangleInTargetPixelsCoversTheTarget) {
  vtest::TConstantColorMaterial material(TAlphaColorF::Create(0, 1, 0, 1), "constant2d");
  const std::array<TPoint3D, 4> vertices{{{0, 0, 0}, {Size, 0, 0}, {Size, Size, 0}, {0, Size, 0}}};
  const std::array<uint16_t, 6> indices{0, 1, 2, 0, 2, 3};
  const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}};
  ASSERT_TRUE(FContext->BeginScene());
  FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF000000, 1, 0);
  FContext->SetContextState(TContextState::csZTestOff);
  FContext->SetContextState(TContextState::csAllFace);
  FContext->SetContextState(TContextState::cs2DScene);
  FContext->DrawPrimitives(TPrimitivesKind::Triangles, vertices.data(), indices.data(), declaration,
                           sizeof(TPoint3D), 4, 2, 6, &material, 1);
  FContext->EndScene();
  for (auto [x, y] : {std::pair{0, 0}, std::pair{Size - 1, 0}, std::pair{0, Size - 1},
                      std::pair{Size - 1, Size - 1}, std::pair{Size / 2, Size / 2}}) {
    SCOPED_TRACE(testing::Message() << x << ", " << y);
    EXPECT_EQ(PixelAt(x, y), 0xFF00FF00u);
  }
  TVantrelContext::RemoveProgram(material.VertexShader(), material.PixelShader());
}

TEST_F(MaterialMatrices, A3DSceneKeepsModelCameraProjection) {
  const TMatrix3D model = TMatrix3D::CreateTranslation(TPoint3D{1, 2, 3});
  const TMatrix3D camera = TMatrix3D::CreateTranslation(TPoint3D{0, 0, -10});
  FContext->SetMatrix(model);
  FContext->SetCameraMatrix(camera);
  FContext->SetContextState(TContextState::cs3DScene);
  const TMatrix3D expected = model * camera * FContext->CurrentProjectionMatrix();
  const TMatrix3D actual = FContext->CurrentModelViewProjectionMatrix();
  EXPECT_EQ(actual, expected);
  FContext->SetContextState(TContextState::cs2DScene);
  EXPECT_EQ(FContext->CurrentModelViewProjectionMatrix(), model * FContext->CurrentScreenMatrix());
}

} // namespace
