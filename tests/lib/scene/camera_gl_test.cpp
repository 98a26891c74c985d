#include <gtest/gtest.h>

#include <cstdlib>

#include "context/Vantrel.Context.h"
#include "rtl/colors.h"
#include "scene/Vantrel.Camera.h"
#include "support/color_probe.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"
#include "ui/bitmap.h"
#include "ui/shaders.h"

namespace {

using namespace vantrel;
using vtest::BitmapPixel;
using vtest::ChannelsNear;

constexpr int32_t Size = 64;
constexpr TAlphaColor ClearColor = 0xFF202020;

// The design-time drawing of cameras and their controller, seen from (0, 0, -3).
class CameraDesignGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeDefTypes();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext(Size, Size);
    FRoot = MakeOwned<TDummy>(nullptr);
    FRoot->SetNewViewport(FViewport.get());
    Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, -3}, {0, 0, 0}, {0, 1, 0}));
    Context()->SetCameraAngleOfView(45);
  }
  void TearDown() override {
    FRoot.reset();
    FViewport.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    FinalizeDefTypes();
    ContextGLTest::TearDown();
  }

  TContext3D* Context() { return FViewport->GetContext(); }

  // Draws AControl alone and reads the image back.
  TOwned<TBitmap> Draw(TControl3D* AControl) {
    auto* context = CheckedCast<TVantrelContext>(Context());
    EXPECT_TRUE(context->BeginSceneRendering());
    Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, ClearColor, 1, 0);
    Context()->SetContextState(TContextState::csFrontFace);
    Context()->SetContextState(TContextState::csZTestOn);
    Context()->SetContextState(TContextState::csZWriteOn);
    if (AControl)
      AControl->RenderInternal();
    else
      Context()->FillCube({0, 0, 0}, {1, 1, 1}, 1, 0xFF00FF00);
    context->EndSceneRendering();
    auto bitmap = MakeOwned<TBitmap>(Size, Size);
    Context()->CopyToBitmap(bitmap.get(), TRect(0, 0, Size, Size));
    return bitmap;
  }

  static int CountNear(TBitmap& ABitmap, TAlphaColor AColor) {
    int count = 0;
    for (int32_t y = 0; y < Size; ++y)
      for (int32_t x = 0; x < Size; ++x)
        count += ChannelsNear(BitmapPixel(ABitmap, x, y), AColor);
    return count;
  }

  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<TDummy> FRoot;
};

// A solid box is wound like the cube: seen from outside it fills, from inside it is culled.
TEST_F(CameraDesignGL, FillCubeShowsItsOutsideOnly) {
  Context()->SetMatrix(TMatrix3D::Identity());
  TOwned<TBitmap> outside = Draw(nullptr);
  EXPECT_TRUE(ChannelsNear(BitmapPixel(*outside, Size / 2, Size / 2), 0xFF00FF00));
  EXPECT_TRUE(ChannelsNear(BitmapPixel(*outside, 0, 0), ClearColor));
  Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, 0}, {0, 0, 1}, {0, 1, 0}));
  TOwned<TBitmap> inside = Draw(nullptr);
  EXPECT_TRUE(ChannelsNear(BitmapPixel(*inside, Size / 2, Size / 2), ClearColor));
}

TEST_F(CameraDesignGL, TheCameraDrawsItsBodyOnlyAtDesignTime) {
  auto* camera = New<TVantrelCamera>(FRoot.get());
  camera->SetParent(FRoot.get());
  struct TCase {
    const char* Name;
    bool Designing;
    NativeInt Tag;
    TAlphaColor Centre;
  };
  for (const TCase& test : {TCase{"designing", true, 0, 0xFF60A799}, TCase{"hidden tag", true, 65534, ClearColor},
                            TCase{"running", false, 0, ClearColor}}) {
    SCOPED_TRACE(test.Name);
    camera->SetDesigning(test.Designing);
    camera->SetTag(test.Tag);
    TOwned<TBitmap> image = Draw(camera);
    const TAlphaColor centre = BitmapPixel(*image, Size / 2, Size / 2);
    EXPECT_TRUE(ChannelsNear(centre, test.Centre)) << std::hex << centre;
  }

  // With a target behind it the body turns, and the camera's matrix is the context's again after.
  auto* target = New<TDummy>(FRoot.get());
  target->SetParent(FRoot.get());
  target->Position()->SetPoint({0, 0, -5});
  camera->SetTarget(target);
  camera->SetDesigning(true);
  camera->SetTag(0);
  TOwned<TBitmap> turned = Draw(camera);
  EXPECT_TRUE(ChannelsNear(BitmapPixel(*turned, Size / 2, Size / 2), 0xFF60A799) ||
              ChannelsNear(BitmapPixel(*turned, Size / 2, Size / 2), 0xFF9C60A7));
  EXPECT_EQ(Context()->CurrentMatrix(), camera->AbsoluteMatrix());
}

TEST_F(CameraDesignGL, TheControllerDrawsTwoWireCubesAndSwallowsDrawingErrors) {
  auto* controller = New<TVantrelSmoothCameraController>(FRoot.get());
  controller->SetParent(FRoot.get());
  controller->SetWidth(8);
  controller->SetHeight(8);
  controller->SetDepth(8);
  controller->SetEnabled(false);
  TOwned<TBitmap> hidden = Draw(controller);
  EXPECT_EQ(CountNear(*hidden, 0xFFFFFFFF) + CountNear(*hidden, 0xFFFF0000), 0);

  controller->SetShowController(true);
  TOwned<TBitmap> shown = Draw(controller);
  EXPECT_GT(CountNear(*shown, 0xFFFFFFFF), 10);
  EXPECT_GT(CountNear(*shown, 0xFFFF0000), 10);
  EXPECT_TRUE(ChannelsNear(BitmapPixel(*shown, Size / 2, Size / 2), ClearColor));

  // A colour material that cannot compile: the controller's drawing fails inside and the frame
  // goes on.
  FViewport.reset();
  TVantrelContext::FreePrograms();
  TShaderManager::Clear();
  TContextShaderSource broken;
  broken.Arch = TContextShaderArch::GLSL;
  const std::string code = "#version 430\nthis is no shader\n";
  broken.Code.assign(code.begin(), code.end());
  TShaderManager::RegisterShaderFromData("color.fvs", TContextShaderKind::VertexShader, "", {broken});
  FViewport = MakeOwned<vtest::TTestViewport3D>();
  FViewport->CreateContext(Size, Size);
  FRoot->SetNewViewport(FViewport.get());
  TOwned<TBitmap> failed;
  EXPECT_NO_THROW(failed = Draw(controller));
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(CountNear(*failed, 0xFFFFFFFF), 0); // the drawing did fail
}

} // namespace
