// The rounded cube control on a real context: it draws its own mesh scaled to its size through
// its material source, and its silhouette is the rounded square.

#include <gtest/gtest.h>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "scene/Vantrel.Control.h"
#include "support/constant_material.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"
#include "ui/bitmap.h"
#include "ui/objects3d.h"

namespace roundcubegl {

// A source whose material fills with one colour.
class TConstantSource : public ui::TMaterialSource {
  RTL_CLASS(TConstantSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override {
    return rtl::TOwned<ui::TMaterial>(
        new vtest::TConstantColorMaterial(rtl::TAlphaColorF::Create(1, 0, 0, 1), "roundcube"));
  }
};
RTL_DEFINE_CLASS(TConstantSource, "Test.RoundCubeGL")

} // namespace roundcubegl

namespace {

using namespace vantrel;
using roundcubegl::TConstantSource;

constexpr int32_t Size = 64;

class RoundCubeGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeControl();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext(Size, Size);
    FRoot = MakeOwned<TDummy>(nullptr);
    FRoot->SetNewViewport(FViewport.get());
  }
  void TearDown() override {
    FRoot.reset();
    FViewport.reset();
    FinalizeControl();
    ContextGLTest::TearDown();
  }

  TVantrelContext* Context() { return CheckedCast<TVantrelContext>(FViewport->GetContext()); }

  // Draws AControl face-on (looking down -Z) with a projection that maps the unit box onto the
  // whole target, and reads the target back, top row first.
  TOwned<TBitmap> Draw(TControl3D* AControl, TAlphaColor ABackground = 0xFF000000) {
    TVantrelContext* context = Context();
    EXPECT_TRUE(context->BeginScene());
    context->Clear({TClearTarget::Color, TClearTarget::Depth}, ABackground, 1, 0);
    context->SetContextState(TContextState::cs3DScene);
    context->SetContextState(TContextState::csZTestOn);
    context->SetCameraMatrix(TMatrix3D::Identity());
    context->SetProjectionMatrix(TMatrix3D::CreateScaling({2, -2, -0.5f}));
    AControl->RenderInternal();
    context->EndScene();
    auto bitmap = MakeOwned<TBitmap>(Size, Size);
    context->CopyToBitmap(bitmap.get(), TRect(0, 0, Size, Size));
    return bitmap;
  }

  static TAlphaColor Pixel(const TOwned<TBitmap>& ABitmap, int32_t AX, int32_t AY) {
    TBitmapData data;
    EXPECT_TRUE(ABitmap->Map(TMapAccess::Read, data));
    const TAlphaColor color = data.GetPixel(AX, AY);
    ABitmap->Unmap(data);
    return color;
  }

  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<TDummy> FRoot;
};

TEST_F(RoundCubeGL, FaceOnTheCornersOfTheBoundingSquareStayEmptyAndTheEdgeMidpointsAreCovered) {
  auto* source = New<TConstantSource>(FRoot.get());
  auto* cube = New<ui::TRoundCube>(FRoot.get());
  cube->SetParent(FRoot.get());
  cube->SetMaterialSource(source);
  TOwned<TBitmap> image = Draw(cube);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{Size - 1, 0}, std::pair{0, Size - 1}, std::pair{Size - 1, Size - 1}}) {
    SCOPED_TRACE(testing::Message() << "corner " << x << ", " << y);
    EXPECT_EQ(Pixel(image, x, y), 0xFF000000u);
  }
  for (auto [x, y] : {std::pair{Size / 2, 0}, std::pair{0, Size / 2}, std::pair{Size / 2, Size - 1},
                      std::pair{Size - 1, Size / 2}, std::pair{Size / 2, Size / 2}}) {
    SCOPED_TRACE(testing::Message() << "edge " << x << ", " << y);
    EXPECT_EQ(Pixel(image, x, y), 0xFFFF0000u);
  }
  TVantrelContext::RemoveProgram(
      static_cast<ui::TCustomMaterial*>(source->GetMaterial())->VertexShader(),
      static_cast<ui::TCustomMaterial*>(source->GetMaterial())->PixelShader());
}

TEST_F(RoundCubeGL, SizeScalesTheDrawAndTheBoxAndAFreedSourceIsForgotten) {
  auto* source = New<TConstantSource>(FRoot.get());
  auto* cube = New<ui::TRoundCube>(FRoot.get());
  cube->SetParent(FRoot.get());
  cube->SetMaterialSource(source);
  cube->SetWidth(0.5f);
  cube->SetHeight(0.5f);
  cube->SetDepth(2);
  TOwned<TBitmap> image = Draw(cube);
  EXPECT_EQ(Pixel(image, Size / 2, 2), 0xFF000000u) << "half as tall";
  EXPECT_EQ(Pixel(image, Size / 2, Size / 2), 0xFFFF0000u);
  EXPECT_EQ(Context()->CurrentMatrix(), TMatrix3D::CreateScaling({0.5f, 0.5f, 2}) * cube->AbsoluteMatrix());
  cube->Position()->SetPoint({1, 0, 0});
  const TBoundingBox box = cube->GetAbsoluteBoundingBox();
  EXPECT_FLOAT_EQ(box.Left, 0.75f);
  EXPECT_FLOAT_EQ(box.Right, 1.25f);
  EXPECT_FLOAT_EQ(box.Far - box.Near, 2);
  TVantrelContext::RemoveProgram(
      static_cast<ui::TCustomMaterial*>(source->GetMaterial())->VertexShader(),
      static_cast<ui::TCustomMaterial*>(source->GetMaterial())->PixelShader());
  source->Free();
  EXPECT_EQ(cube->MaterialSource(), nullptr);
}

// The default material's own apply gives the plain (non-instanced) draw its one instance from the
// context's current matrix, so a Lambert source covers the same silhouette.
TEST_F(RoundCubeGL, ALambertSourceDrawsTheSameSilhouetteWithoutInstancing) {
  auto* source = New<TVantrelLambertMaterialSource>(FRoot.get());
  source->SetUseTexturing(false);
  source->SetEmissive(0xFFFFFFFF);
  auto* cube = New<ui::TRoundCube>(FRoot.get());
  cube->SetParent(FRoot.get());
  cube->SetMaterialSource(source);
  constexpr TAlphaColor background = 0xFF0000FF;
  TOwned<TBitmap> image = Draw(cube, background);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{Size - 1, 0}, std::pair{0, Size - 1}, std::pair{Size - 1, Size - 1}}) {
    SCOPED_TRACE(testing::Message() << "corner " << x << ", " << y);
    EXPECT_EQ(Pixel(image, x, y), background);
  }
  for (auto [x, y] : {std::pair{Size / 2, 0}, std::pair{0, Size / 2}, std::pair{Size / 2, Size - 1},
                      std::pair{Size - 1, Size / 2}, std::pair{Size / 2, Size / 2}}) {
    SCOPED_TRACE(testing::Message() << "edge " << x << ", " << y);
    EXPECT_NE(Pixel(image, x, y), background);
  }
  // The material forgets its program when freed, before the caches go.
  source->Free();
  TVantrelContext::FreePrograms();
  TShaderManager::Clear();
}

} // namespace
