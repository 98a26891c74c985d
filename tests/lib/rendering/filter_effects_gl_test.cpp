// The effect path: a control with a filter effect child paints through the framework's filter on
// the framework's context, reuses its output until something marks it stale, and the viewport's
// resize re-sizes the filter contexts.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "rendering_fixture.h"
#include "support/fill_control.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"
#include "support/scene_host.h"
#include "ui/bitmap.h"
#include "ui/effects.h"
#include "ui/filters.h"
#include "ui/shaders.h"

namespace {

using namespace vantrel;
using ui::TBitmapData;
using ui::TFilterEffect;
using ui::TFilterManager;

rtl::TAlphaColor SceneAt(ui::TCustomScene& AScene, int AX, int AY) {
  TBitmapData data;
  EXPECT_TRUE(AScene.Bitmap()->Map(ui::TMapAccess::Read, data));
  const rtl::TAlphaColor color = data.GetPixel(AX, AY);
  AScene.Bitmap()->Unmap(data);
  return color;
}

int Red(rtl::TAlphaColor AColor) {
  return int((AColor >> 16) & 0xFF);
}
int Green(rtl::TAlphaColor AColor) {
  return int((AColor >> 8) & 0xFF);
}

class EffectGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
    FScene = vtest::MakeScene(32, 32);
    FControl = New<vtest::TFillControl>(FScene.get());
    FControl->SetSize(32, 32);
    FControl->Color = 0xFF000000;
    FControl->InnerRect = {8, 8, 24, 24};
    FControl->SetParent(FScene.get());
    FEffect = New<TFilterEffect>(FScene.get());
    FEffect->SetFilterName("GaussianBlur");
    FEffect->SetValue("BlurAmount", rtl::TValue::From(2.0f));
    FEffect->SetParent(FControl);
  }
  void TearDown() override {
    FScene.reset();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }
  void Paint() {
    FScene->Invalidate();
    FScene->PaintPendingRects();
  }

  rtl::TOwned<ui::TCustomScene> FScene;
  vtest::TFillControl* FControl = nullptr;
  TFilterEffect* FEffect = nullptr;
};

TEST_F(EffectGL, BlurEffectPaintsThroughTheFilterOnTheFrameworkContext) {
  Paint();
  // Along the square's left and top edges the blur leaves grey, neither black nor white.
  for (auto [x, y] : {std::pair{7, 16}, std::pair{8, 16}, std::pair{16, 7}, std::pair{16, 8}}) {
    SCOPED_TRACE(testing::Message() << x << ", " << y);
    const int red = Red(SceneAt(*FScene, x, y));
    EXPECT_GT(red, 0);
    EXPECT_LT(red, 255);
  }
  // At amount 2 the taps lie two texels apart and reach past the square from its centre.
  EXPECT_GT(Red(SceneAt(*FScene, 16, 16)), Red(SceneAt(*FScene, 2, 16)));
  ui::TFilter* filter = FEffect->Filter();
  ASSERT_TRUE(filter);
  EXPECT_EQ(filter->PassShader(0)->Name(), "gaussianblurh.fps");
  EXPECT_EQ(filter->PassShader(1)->Name(), "gaussianblurv.fps");
  EXPECT_TRUE(dynamic_cast<TContextOpenGLWindows*>(TFilterManager::FilterContext()));
}

TEST_F(EffectGL, OutputIsReusedUntilEffectsAreUpdated) {
  Paint();
  FControl->InnerColor = 0xFFFF0000;
  FControl->Repaint();
  FScene->PaintPendingRects();
  EXPECT_GT(Green(SceneAt(*FScene, 16, 16)), 20) << "a plain repaint ran the filter again";
  FControl->UpdateEffects();
  FScene->PaintPendingRects();
  EXPECT_EQ(Green(SceneAt(*FScene, 16, 16)), 0);
  EXPECT_GT(Red(SceneAt(*FScene, 16, 16)), 20);
  {
    SCOPED_TRACE("a size change marks it stale too");
    FControl->InnerColor = 0xFFFFFFFF;
    FControl->SetSize(30, 30);
    FScene->PaintPendingRects();
    EXPECT_GT(Green(SceneAt(*FScene, 16, 16)), 20);
    EXPECT_EQ(FControl->EffectBitmap()->Width(), 30);
  }
  {
    SCOPED_TRACE("a disabled effect paints the control as it is");
    FEffect->SetEnabled(false);
    FScene->PaintPendingRects();
    EXPECT_EQ(Red(SceneAt(*FScene, 8, 16)), 255);
    EXPECT_EQ(Red(SceneAt(*FScene, 7, 16)), 0);
  }
}

TEST_F(EffectGL, UnknownFilterIsLoggedOnceAndPaintsUnfiltered) {
  vtest::TLogCapture log;
  FEffect->SetFilterName("Nope");
  Paint();
  FControl->UpdateEffects();
  FScene->PaintPendingRects();
  const auto lines = log.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "<WARNING> filter not found: Nope"), 1);
  EXPECT_EQ(Red(SceneAt(*FScene, 8, 16)), 255);
  EXPECT_EQ(Red(SceneAt(*FScene, 7, 16)), 0);
}

class ViewportFilterGL : public rtest::RenderingGL {};

TEST_F(ViewportFilterGL, ResizeSizesTheNextFilterContext) {
  Viewport().SetSize(48, 40);
  EXPECT_EQ(TFilterManager::ContextSize(), rtl::TPoint(48, 40));
  ui::TContext3D* context = TFilterManager::FilterContext();
  ASSERT_TRUE(context);
  EXPECT_EQ(context->Width(), 48);
  EXPECT_EQ(context->Height(), 40);
  EXPECT_EQ(Viewport().EffectBitmap(), nullptr);
  TFilterManager::ResetContext();
}

} // namespace
