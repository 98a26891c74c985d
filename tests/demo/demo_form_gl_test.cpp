// The demo's form, loaded from its embedded resource and rendered off screen at 640 x 480: the
// streamed tree, the pass's registration, the undistorted scene (sky above, the lit tomato cube in
// the middle), what the post pass does to it, its time wrap, resizing, and repeated creation.
// The post pass reads the process clock, so a fake clock pins its time stamp.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rtl/stopwatch.h"
#include "support/fake_clock.h"
#include "support/gl_fixture.h"
#include "ui/application.h"
#include "ui/shaders.h"

namespace {

using namespace vantrel;

struct TRGB {
  float R, G, B;
};

TRGB PixelOf(TBitmap& ABitmap, int AX, int AY) {
  TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(TMapAccess::Read, data));
  const TAlphaColor color = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return {((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f};
}

// The mean colour of rows [AFirstRow, AFirstRow + ARows).
TRGB MeanOfRows(TBitmap& ABitmap, int AFirstRow, int ARows) {
  TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(TMapAccess::Read, data));
  double r = 0, g = 0, b = 0;
  for (int y = AFirstRow; y < AFirstRow + ARows; ++y)
    for (int x = 0; x < ABitmap.Width(); ++x) {
      const TAlphaColor color = data.GetPixel(x, y);
      r += (color >> 16) & 0xFF;
      g += (color >> 8) & 0xFF;
      b += color & 0xFF;
    }
  ABitmap.Unmap(data);
  const double count = 255.0 * ARows * ABitmap.Width();
  return {static_cast<float>(r / count), static_cast<float>(g / count), static_cast<float>(b / count)};
}

class DemoForm : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
    InitializeUnit1();
    present::TPresentSettings settings;
    settings.Headless = true;
    ui::Application().SetPresentSettings(settings);
  }
  void TearDown() override {
    ui::Application().DestroyForms();
    Form1 = nullptr;
    FinalizeUnit1();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }

  TForm1* Create() {
    ui::Application().CreateForm(TForm1::StaticClass(), Form1);
    // The tests hand the frames over themselves: the frame timer never falls due.
    Form1->VantrelViewport1->FrameTimer()->SetInterval(INT32_MAX);
    return Form1;
  }
  // One frame at the post pass's time stamp ASeconds (whole seconds since the clock's start).
  TOwned<TBitmap> Frame(int64_t ASeconds) {
    FClock.Jump(ASeconds * 1000 - (FClock.NowMs() - FStartMs));
    Form1->VantrelViewport1->OnFixedIntervalTick(nullptr);
    return TOwned<TBitmap>(Form1->VantrelViewport1->MakeScreenshot());
  }
  TOwned<TBitmap> FrameWithPost(bool AEnabled, int64_t ASeconds) {
    Form1->VantrelRenderPassPostFX1->SetEnabled(AEnabled);
    return Frame(ASeconds);
  }

  vtest::TFakeClock FClock;
  const int64_t FStartMs = FClock.NowMs();
};

// The probes: the middle of the cube's front face and a point of the sky above it.
constexpr int CubeX = 320, CubeY = 240;
constexpr int SkyX = 320, SkyY = 20;
// A stamp whose noise keeps both probe rows below the distortion threshold, found once and kept.
constexpr int64_t QuietStamp = 7;

TEST_F(DemoForm, TheStreamedTreeAndThePassRegistration) {
  TForm1* form = Create();
  struct TExpected {
    TComponent* Component;
    const char* Name;
    const char* ClassName;
    TFmxObject* Parent;
  };
  const std::vector<TExpected> tree = {
      {form->VantrelViewport1, "VantrelViewport1", "TVantrelViewport", form},
      {form->VantrelSkyBox1, "VantrelSkyBox1", "TVantrelSkyBox", form->VantrelViewport1},
      {form->RoundCube1, "RoundCube1", "TRoundCube", form->VantrelViewport1},
      {form->VantrelLambertMaterialSource1, "VantrelLambertMaterialSource1", "TVantrelLambertMaterialSource",
       form->RoundCube1},
      {form->VantrelLight1, "VantrelLight1", "TVantrelLight", form->VantrelViewport1},
      {form->VantrelRenderPassPostFX1, "VantrelRenderPassPostFX1", "TVantrelRenderPassPostFX", form},
  };
  for (const TExpected& row : tree) {
    SCOPED_TRACE(row.Name);
    ASSERT_NE(row.Component, nullptr);
    EXPECT_EQ(row.Component->Name(), row.Name);
    EXPECT_EQ(row.Component->ClassName(), row.ClassName);
    EXPECT_EQ(row.Component->Owner(), form);
    EXPECT_EQ(static_cast<TFmxObject*>(row.Component)->Parent(), row.Parent);
  }
  EXPECT_EQ(form->RoundCube1->MaterialSource(), form->VantrelLambertMaterialSource1);

  Frame(QuietStamp);
  TVantrelViewport* viewport = form->VantrelViewport1;
  const auto& passes = viewport->RenderPasses();
  ASSERT_EQ(passes.size(), 1u);
  EXPECT_EQ(passes[0], form->VantrelRenderPassPostFX1);
  TRenderPass* registered = nullptr;
  auto* context = dynamic_cast<TVantrelContext*>(viewport->Context());
  ASSERT_NE(context, nullptr);
  ASSERT_NE(context->GetRenderPasses(), nullptr);
  ASSERT_TRUE(context->GetRenderPasses()->TryGetValue("VantrelRenderPassPostFX1", registered));
  EXPECT_NE(registered, nullptr);

  EXPECT_EQ(viewport->CurrentRenderer()->GetSize(), TPoint(640, 480));
  EXPECT_EQ(viewport->Bitmap()->Width(), 640);
  EXPECT_EQ(viewport->Bitmap()->Height(), 480);
  EXPECT_EQ(form->VantrelRenderPassPostFX1->GetRenderer()->GetSize(), TPoint(640, 480));
}

TEST_F(DemoForm, TheSceneUndistortedAndThroughThePostPass) {
  Create();
  TOwned<TBitmap> plain = FrameWithPost(false, QuietStamp);
  const TRGB top = MeanOfRows(*plain, 0, 40);
  EXPECT_GT(std::max({top.R, top.G, top.B}), 0.1f) << "the sky, not the black clear colour";
  const TRGB cube = PixelOf(*plain, CubeX, CubeY);
  EXPECT_GT(cube.R, 0.4f);
  EXPECT_GT(cube.R, cube.G);
  EXPECT_GT(cube.G, cube.B);

  TOwned<TBitmap> post = FrameWithPost(true, QuietStamp);
  const TRGB cubePost = PixelOf(*post, CubeX, CubeY);
  EXPECT_GT(cubePost.R - cubePost.G, 0.08f);

  // Where the noise leaves a row alone, green and blue are three quarters red plus a quarter of
  // their own.
  const TRGB skyPlain = PixelOf(*plain, SkyX, SkyY);
  const TRGB skyPost = PixelOf(*post, SkyX, SkyY);
  for (const auto& [plainProbe, postProbe] : {std::pair{cube, cubePost}, std::pair{skyPlain, skyPost}}) {
    EXPECT_NEAR(postProbe.G, 0.75f * postProbe.R + 0.25f * plainProbe.G, 8 / 255.0f);
    EXPECT_NEAR(postProbe.B, 0.75f * postProbe.R + 0.25f * plainProbe.B, 8 / 255.0f);
  }
}

bool SamePixels(TBitmap& AFirst, TBitmap& ASecond) {
  TBitmapData a, b;
  EXPECT_TRUE(AFirst.Map(TMapAccess::Read, a));
  EXPECT_TRUE(ASecond.Map(TMapAccess::Read, b));
  bool same = true;
  for (int y = 0; y < AFirst.Height() && same; ++y)
    for (int x = 0; x < AFirst.Width() && same; ++x)
      same = a.GetPixel(x, y) == b.GetPixel(x, y);
  AFirst.Unmap(a);
  ASecond.Unmap(b);
  return same;
}

TEST_F(DemoForm, TheDistortionRepeatsEvery360SecondsOfTimeStamp) {
  // The sky's clouds drift with time of their own: without the sky the post pass alone moves.
  Create()->VantrelSkyBox1->SetVisible(false);
  const int64_t stamp = 41;
  TOwned<TBitmap> first = Frame(stamp);
  TOwned<TBitmap> wrapped = Frame(stamp + 360);
  TOwned<TBitmap> half = Frame(stamp + 180);
  EXPECT_TRUE(SamePixels(*first, *wrapped));
  EXPECT_FALSE(SamePixels(*first, *half));
}

TEST_F(DemoForm, ResizingFollowsTheViewport) {
  TForm1* form = Create();
  Frame(QuietStamp);
  for (const TPoint size : {TPoint(320, 240), TPoint(640, 480)}) {
    SCOPED_TRACE(size.X);
    form->SetClientWidth(size.X);
    form->SetClientHeight(size.Y);
    TOwned<TBitmap> frame = Frame(QuietStamp);
    EXPECT_EQ(frame->Width(), size.X);
    EXPECT_EQ(frame->Height(), size.Y);
    EXPECT_EQ(form->VantrelViewport1->CurrentRenderer()->GetSize(), size);
    EXPECT_GT(PixelOf(*frame, size.X / 2, size.Y / 2).R, 0.3f);
  }
}

TEST_F(DemoForm, CreatedAndFreedThreeTimesLeavesNothingBehind) {
  const int shadersBefore = ui::TShaderManager::Count();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Create();
    for (int frame = 0; frame < 3; ++frame)
      Frame(QuietStamp + frame);
    ui::Application().DestroyForms();
    Form1 = nullptr;
    EXPECT_EQ(ui::TShaderManager::Count(), shadersBefore) << "every material lets go of its shaders";
  }
}

} // namespace
