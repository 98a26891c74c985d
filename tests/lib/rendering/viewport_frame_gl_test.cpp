// The viewport's frame loop on the real context: a scene host with a viewport filling it and a
// constant-colour quad at the origin, seen through the design camera at (0, -10, -25).

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <functional>
#include <memory>
#include <string>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "rtl/threads.h"
#include "scene/Vantrel.Control.h"
#include "support/canvas_probe.h"
#include "support/color_probe.h"
#include "support/fake_clock.h"
#include "support/gl_fixture.h"
#include "support/log_capture.h"
#include "support/scene_host.h"
#include "support/wait_until.h"
#include "ui/application.h"
#include "ui/material.h"
#include "ui/mesh_buffers.h"
#include "ui/shaders.h"

namespace vftest {

using namespace vantrel;

// Fills with (0.8, 0.4, 0.2, 1) at location 0 and zeros at locations 1 to 4, as an opaque object
// writes the renderer's five targets.
class TQuadMaterial : public TCustomMaterial {
public:
  explicit TQuadMaterial(const std::string& ATag) {
    FOwnedVertex = MakeShader(ATag + ".fvs", TContextShaderKind::VertexShader, R"(#version 430
layout(location = 0) in vec3 a_Vertex;
uniform vec4 _MVPMatrix[4];
void main() {
  vec4 p = vec4(a_Vertex, 1.0);
  gl_Position = vec4(dot(_MVPMatrix[0], p), dot(_MVPMatrix[1], p), dot(_MVPMatrix[2], p), dot(_MVPMatrix[3], p));
}
)",
                              {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}});
    FOwnedPixel = MakeShader(ATag + ".fps", TContextShaderKind::PixelShader, R"(#version 430
layout(location = 0) out vec4 o_Color0;
layout(location = 1) out vec4 o_Color1;
layout(location = 2) out vec4 o_Color2;
layout(location = 3) out vec4 o_Color3;
layout(location = 4) out vec4 o_Color4;
void main() {
  o_Color0 = vec4(0.8, 0.4, 0.2, 1.0);
  o_Color1 = vec4(0.0);
  o_Color2 = vec4(0.0);
  o_Color3 = vec4(0.0);
  o_Color4 = vec4(0.0);
}
)",
                             {});
    FVertexShader = FOwnedVertex.get();
    FPixelShader = FOwnedPixel.get();
  }
  ~TQuadMaterial() override { TVantrelContext::RemoveProgram(FVertexShader, FPixelShader); }

private:
  static TOwned<TContextShader> MakeShader(const std::string& AName, TContextShaderKind AKind, const char* ACode,
                                           std::vector<TContextShaderVariable> AVariables) {
    TContextShaderSource source;
    source.Arch = TContextShaderArch::GLSL;
    const std::string code(ACode);
    source.Code.assign(code.begin(), code.end());
    source.Variables = std::move(AVariables);
    return MakeOwned<TContextShader>(AName, AKind, std::vector<TContextShaderSource>{source});
  }
  TOwned<TContextShader> FOwnedVertex;
  TOwned<TContextShader> FOwnedPixel;
};

// A framework control, opaque, with a local box of +-2, drawing a 4 x 4 quad at its origin in
// (0.8, 0.4, 0.2, 1). OnDraw runs before each draw: tests advance the clock or raise there.
class TColorQuad : public TVantrelControl {
  RTL_CLASS(TColorQuad, TVantrelControl)
public:
  explicit TColorQuad(TComponent* AOwner) : TVantrelControl(AOwner) {
    SetWidth(4);
    SetHeight(4);
    SetDepth(4);
  }
  void BeforeDestruction() override {
    FMaterial.reset();
    inherited::BeforeDestruction();
  }
  std::function<void()> OnDraw;
  int Draws = 0;

protected:
  void Render() override {
    if (OnDraw)
      OnDraw();
    ++Draws;
    if (!FMaterial)
      FMaterial = std::make_unique<TQuadMaterial>(Format("quad-%d", reinterpret_cast<intptr_t>(this)));
    TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex}, 4);
    vertices.SetVertices(0, {-2, -2, 0});
    vertices.SetVertices(1, {2, -2, 0});
    vertices.SetVertices(2, {2, 2, 0});
    vertices.SetVertices(3, {-2, 2, 0});
    TIndexBuffer indices(6);
    const uint32_t order[] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i)
      indices.SetIndices(i, order[i]);
    Context()->DrawPrimitives(TPrimitivesKind::Triangles, vertices.Buffer(), indices.Buffer(),
                              vertices.GetVertexDeclarations(), vertices.VertexSize(), vertices.Length(),
                              indices.IndexSize(), indices.Length(), FMaterial.get(), 1);
  }

private:
  std::unique_ptr<TQuadMaterial> FMaterial;
};
RTL_DEFINE_CLASS(TColorQuad, "Test.ViewportFrame")

// A plain 3D control that counts its draws.
class TPlainBox : public TControl3D {
  RTL_CLASS(TPlainBox, TControl3D)
public:
  using TControl3D::TControl3D;
  int Draws = 0;

protected:
  void Render() override { ++Draws; }
};
RTL_DEFINE_CLASS(TPlainBox, "Test.ViewportFrame")

} // namespace vftest

namespace {

using namespace vftest;

constexpr TAlphaColor QuadColor = 0xFFCC6633;
constexpr TAlphaColor Black = 0xFF000000;

using vtest::ChannelsNear;

TAlphaColor Pixel(TBitmap& ABitmap, int AX, int AY) {
  TBitmapData data;
  if (!ABitmap.Map(TMapAccess::Read, data))
    return 0;
  const TAlphaColor color = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return color;
}

class ViewportFrameGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
  }
  void TearDown() override {
    FScene.reset();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }
  // A scene of the given size with a viewport filling it: the deferred composite returns the
  // albedo with no opaque saturation.
  void MakeScene(float AWidth = 64, float AHeight = 64) {
    FScene = vtest::MakeScene(AWidth, AHeight);
    FViewport = New<TVantrelViewport>(FScene.get());
    FViewport->SetOpaqueSaturation(0);
  }
  TColorQuad* AddQuad(const TPoint3D& APosition = {}) {
    auto* quad = New<TColorQuad>(FScene.get());
    quad->Position()->SetPoint(APosition);
    quad->SetParent(FViewport);
    return quad;
  }
  TAlphaColor BitmapPixel(int AX, int AY) { return Pixel(*FViewport->Bitmap(), AX, AY); }
  TAlphaColor ScenePixel(int AX, int AY) { return Pixel(*FScene->Bitmap(), AX, AY); }
  // Waits until the frame timer's loop runs: it reads the clock every turn.
  void WaitForTimerLoop() {
    const int64_t reads = FClock.Reads();
    ASSERT_TRUE(vtest::WaitUntil([&] { return FClock.Reads() > reads + 4; }, 10'000));
  }
  // Ticks are handed over by the tests alone: the timer, which the first paint starts, never
  // falls due.
  void HoldTheTimer() { FViewport->FrameTimer()->SetInterval(INT32_MAX); }
  // One tick as the frame timer hands it over.
  void Tick() { FViewport->OnFixedIntervalTick(nullptr); }

  vtest::TFakeClock FClock;
  TOwned<TCustomScene> FScene;
  TVantrelViewport* FViewport = nullptr;
};

TEST_F(ViewportFrameGL, EndToEndOnTheTimerThread) {
  MakeScene();
  AddQuad();
  // The first pass of the loop paints, which starts the frame timer.
  Application().ProcessMessages();
  ASSERT_TRUE(FViewport->FrameTimer()->GetActive());
  WaitForTimerLoop();
  FClock.Jump(16);
  ASSERT_TRUE(rtl::WaitForPendingCall(10'000));
  Application().ProcessMessages();
  EXPECT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor)) << std::hex << BitmapPixel(32, 32);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{63, 0}, std::pair{0, 63}, std::pair{63, 63}})
    EXPECT_TRUE(ChannelsNear(BitmapPixel(x, y), Black)) << x << ", " << y;
  // The same pass blits the new frame onto the scene's canvas.
  EXPECT_TRUE(ChannelsNear(ScenePixel(32, 32), QuadColor)) << std::hex << ScenePixel(32, 32);
  EXPECT_TRUE(ChannelsNear(ScenePixel(0, 0), Black));
}

TEST_F(ViewportFrameGL, RenderListAndCulling) {
  MakeScene();
  HoldTheTimer();
  TColorQuad* visible = AddQuad();
  TColorQuad* far = AddQuad({1000, 0, 0});
  auto* plain = New<TPlainBox>(FScene.get());
  plain->Position()->SetPoint({1000, 0, 0});
  plain->SetParent(FViewport);
  auto* group = New<TDummy>(FScene.get());
  group->SetParent(FViewport);
  auto* hidden = New<TColorQuad>(FScene.get());
  hidden->SetParent(group);
  group->SetVisible(false);

  Tick();
  EXPECT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor)) << std::hex << BitmapPixel(32, 32);
  EXPECT_EQ(visible->Draws, 1);
  EXPECT_EQ(far->Draws, 0);
  EXPECT_EQ(plain->Draws, 0);
  EXPECT_EQ(hidden->Draws, 0);
  const auto& list = FViewport->RenderingList();
  EXPECT_NE(std::find(list.begin(), list.end(), FViewport->GetDesignCameraController()), list.end());
  EXPECT_NE(std::find(list.begin(), list.end(), FViewport->GetDesignCamera()), list.end());

  // Without culling the framework control is drawn; the plain control is always tested.
  FViewport->SetFrustumCulling(false);
  Tick();
  EXPECT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor)) << std::hex << BitmapPixel(32, 32);
  EXPECT_EQ(far->Draws, 1);
  EXPECT_EQ(plain->Draws, 0);

  // While updating, only the background shows.
  FViewport->BeginUpdate();
  Tick();
  EXPECT_TRUE(ChannelsNear(BitmapPixel(32, 32), Black));
  FViewport->EndUpdate();
  Tick();
  EXPECT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor)) << std::hex << BitmapPixel(32, 32);

  // A descendant that leaves the tree leaves the list read between frames.
  hidden->Free();
  visible->Free();
  const auto& after = FViewport->RenderingList();
  EXPECT_EQ(std::find(after.begin(), after.end(), visible), after.end());
}

TEST_F(ViewportFrameGL, ARendererTypeSetOnALiveViewportDrawsTheNextFrame) {
  MakeScene();
  HoldTheTimer();
  AddQuad();
  Tick();
  ASSERT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor)) << std::hex << BitmapPixel(32, 32);
  // The new renderer is sized at once: its first frame finds its targets and passes.
  for (TRendererType type : {TRendererType::LegacyRenderer, TRendererType::ForwardRenderer}) {
    SCOPED_TRACE(int(type));
    FViewport->SetRendererType(type);
    ASSERT_NO_THROW(Tick());
    EXPECT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor)) << std::hex << BitmapPixel(32, 32);
    EXPECT_TRUE(ChannelsNear(BitmapPixel(0, 0), Black)) << std::hex << BitmapPixel(0, 0);
  }
}

TEST_F(ViewportFrameGL, ARaisingObjectLeavesTheViewportWhole) {
  MakeScene();
  HoldTheTimer();
  TColorQuad* quad = AddQuad();
  quad->OnDraw = [] { throw rtl::EInvalidOperation("draw failed"); };
  EXPECT_THROW(Tick(), rtl::EInvalidOperation);
  TVantrelContext* context = dynamic_cast<TVantrelContext*>(FViewport->Context());
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(FViewport->Canvas()->BeginSceneCount(), 0);
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
  // Another thread takes the viewport lock (a held lock would keep it waiting).
  std::atomic<bool> locked{false};
  std::thread other([&] {
    FViewport->Lock();
    FViewport->Unlock();
    locked = true;
  });
  const bool free = vtest::WaitUntil([&] { return locked.load(); }, 5000);
  EXPECT_TRUE(free);
  if (free)
    other.join();
  else
    other.detach();
  quad->OnDraw = nullptr;
  Tick();
  EXPECT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor));
  EXPECT_EQ(FViewport->MainPassRenderer()->GetAttachedRenderer(), nullptr);
}

TEST_F(ViewportFrameGL, NoContextBeforeTheFirstResize) {
  TOwned<TComponent> root = MakeOwned<TComponent>(nullptr);
  auto* viewport = New<TVantrelViewport>(root.get());
  vtest::TLogCapture log;
  viewport->RenderFrame();
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"rendering aborted - context not assigned"});
  EXPECT_EQ(viewport->FPS(), 0);
}

TEST_F(ViewportFrameGL, Screenshots) {
  MakeScene();
  HoldTheTimer();
  AddQuad();
  TOwned<TBitmap> before(FViewport->MakeScreenshot());
  EXPECT_EQ(Pixel(*before, 32, 32), 0u);
  Tick();
  TOwned<TBitmap> after(FViewport->MakeScreenshot());
  ASSERT_EQ(after->Width(), 64);
  EXPECT_EQ(Pixel(*after, 32, 32), BitmapPixel(32, 32));

  const int previous = TCanvas::GetAttribute(TCanvasAttribute::MaxBitmapSize);
  TCanvas::SetAttribute(TCanvasAttribute::MaxBitmapSize, 64);
  FScene->SetSize(200, 100);
  TOwned<TBitmap> fitted(FViewport->MakeScreenshot());
  TCanvas::SetAttribute(TCanvasAttribute::MaxBitmapSize, previous);
  EXPECT_EQ(fitted->Width(), 64);
  EXPECT_EQ(fitted->Height(), 32);
}

TEST_F(ViewportFrameGL, AScreenshotHoldsTheWholeFrame) {
  // At a high-resolution scale the screenshot is the frame, pixel for pixel.
  MakeScene();
  HoldTheTimer();
  AddQuad();
  FScene->SetSceneScale(2);
  FViewport->SetHighRes(true);
  Tick();
  TOwned<TBitmap> high(FViewport->MakeScreenshot());
  ASSERT_EQ(high->Width(), 128);
  ASSERT_EQ(high->Height(), 128);
  EXPECT_EQ(high->BitmapScale(), 2);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{64, 64}, std::pair{127, 127}, std::pair{40, 90}})
    EXPECT_EQ(Pixel(*high, x, y), BitmapPixel(x, y)) << x << ", " << y;

  // Shrunk to the largest bitmap size, the frame is scaled into the screenshot, not cut: the quad
  // in the middle of a 200 x 100 frame is in the middle of the 64 x 32 screenshot.
  FViewport->SetHighRes(false);
  FScene->SetSceneScale(1);
  FScene->SetSize(200, 100);
  Tick();
  ASSERT_TRUE(ChannelsNear(BitmapPixel(100, 50), QuadColor)) << std::hex << BitmapPixel(100, 50);
  const int previous = TCanvas::GetAttribute(TCanvasAttribute::MaxBitmapSize);
  TCanvas::SetAttribute(TCanvasAttribute::MaxBitmapSize, 64);
  TOwned<TBitmap> fitted(FViewport->MakeScreenshot());
  TCanvas::SetAttribute(TCanvasAttribute::MaxBitmapSize, previous);
  ASSERT_EQ(fitted->Width(), 64);
  ASSERT_EQ(fitted->Height(), 32);
  EXPECT_TRUE(ChannelsNear(Pixel(*fitted, 32, 16), QuadColor)) << std::hex << Pixel(*fitted, 32, 16);
  EXPECT_TRUE(ChannelsNear(Pixel(*fitted, 1, 1), Black)) << std::hex << Pixel(*fitted, 1, 1);
}

TEST_F(ViewportFrameGL, ScreenAndWorld) {
  MakeScene();
  HoldTheTimer();
  Tick();
  const TPointF origin = FViewport->WorldToScreen({0, 0, 0});
  EXPECT_NEAR(origin.X, 32, 0.5);
  EXPECT_NEAR(origin.Y, 32, 0.5);
  const TPointF point{10, 20};
  const TPointF back = FViewport->WorldToScreen(FViewport->ScreenToWorld(point));
  EXPECT_NEAR(back.X, point.X, 0.01);
  EXPECT_NEAR(back.Y, point.Y, 0.01);
  // Without a camera both give the zero values.
  FViewport->SetUsingDesignCamera(false);
  EXPECT_EQ(FViewport->WorldToScreen({1, 2, 3}), TPointF());
  EXPECT_EQ(FViewport->ScreenToWorld(point), TPoint3D());
}

TEST_F(ViewportFrameGL, FrameRateFromRenderTime) {
  MakeScene();
  HoldTheTimer();
  TColorQuad* quad = AddQuad();
  quad->OnDraw = [this] { FClock.Jump(10); };
  FViewport->SetUseFixedFrameRate(false);
  for (int i = 0; i < 5; ++i)
    FViewport->RenderManual();
  EXPECT_NEAR(FViewport->FPS(), 100, 1e-6);
  FViewport->SetUseFixedFrameRate(true);
  EXPECT_EQ(FViewport->FPS(), FViewport->FrameTimer()->GetFPS());
}

TEST_F(ViewportFrameGL, DiagnosticsAverageThirtyFrames) {
  MakeScene();
  HoldTheTimer();
  TColorQuad* quad = AddQuad();
  quad->OnDraw = [this] { FClock.Jump(2); };
  // Off: nothing counts.
  Tick();
  EXPECT_EQ(FViewport->Diagnostics().TotalFrames, 0);
  FViewport->SetDiagnosticsActive(true);
  for (int i = 0; i < 30; ++i)
    Tick();
  const TRenderingDiagnostics& diagnostics = FViewport->Diagnostics();
  EXPECT_EQ(diagnostics.TotalFrames, 30);
  EXPECT_FLOAT_EQ(diagnostics.AverageFrameTime, 2);
  EXPECT_FLOAT_EQ(diagnostics.AverageFramesPerSecond, 500);
  // Forward renderer with FXAA 1: composite and FXAA besides the main pass, and no passes listed.
  EXPECT_EQ(diagnostics.RenderPasses, 3);
  // The count of the frame's last list drawing: the translucent one, which draws the design
  // controller and camera.
  EXPECT_EQ(diagnostics.RenderedObjects, 2);
  EXPECT_EQ(diagnostics.RenderListSize, 3);
}

TEST_F(ViewportFrameGL, PaintModes) {
  MakeScene();
  HoldTheTimer();
  TColorQuad* quad = AddQuad();
  Tick();
  ASSERT_TRUE(ChannelsNear(BitmapPixel(32, 32), QuadColor));

  // Locked: the bitmap keeps the old frame through a colour change.
  FViewport->SetLockRendering(true);
  FViewport->SetColor(0xFF0000FF);
  Tick();
  EXPECT_TRUE(ChannelsNear(BitmapPixel(0, 0), Black));
  FViewport->SetLockRendering(false);

  // Not fixed-rate: a paint renders.
  FViewport->SetUseFixedFrameRate(false);
  const int draws = quad->Draws;
  FScene->Invalidate();
  Application().ProcessMessages();
  EXPECT_EQ(quad->Draws, draws + 1);
  EXPECT_TRUE(ChannelsNear(BitmapPixel(0, 0), 0xFF0000FF));
  EXPECT_TRUE(ChannelsNear(ScenePixel(0, 0), 0xFF0000FF));

  // Manual: paints draw nothing, RenderManual renders one frame.
  FViewport->SetManualRendering(true);
  FScene->Invalidate();
  Application().ProcessMessages();
  EXPECT_EQ(quad->Draws, draws + 1);
  FViewport->RenderManual();
  EXPECT_EQ(quad->Draws, draws + 2);
}

TEST_F(ViewportFrameGL, EditModeOverlay) {
  MakeScene();
  HoldTheTimer();
  Tick();
  FViewport->SetEditMode(true);
  FScene->Invalidate();
  Application().ProcessMessages();
  for (int x : {0, 1, 2})
    EXPECT_EQ(ScenePixel(x, 32), 0xFFFFFF00u) << x;
  EXPECT_TRUE(ChannelsNear(ScenePixel(3, 32), Black) || ChannelsNear(ScenePixel(3, 32), QuadColor));
  FViewport->SetEditMode(false);
}

TEST_F(ViewportFrameGL, DiagnosticsTextStaysInItsRectangle) {
  MakeScene(256, 448);
  HoldTheTimer();
  FViewport->SetDiagnosticsActive(true);
  Tick();
  FScene->Invalidate();
  Application().ProcessMessages();
  int yellow = 0;
  for (int y = 0; y < 448; ++y)
    for (int x = 0; x < 256; ++x) {
      const TAlphaColor color = ScenePixel(x, y);
      if ((color & 0xFFFFFF00) == 0xFFFFFF00) {
        ++yellow;
        EXPECT_TRUE(x >= 16 && x < 240 && y >= 16 && y < 432) << x << ", " << y;
      }
    }
  EXPECT_GT(yellow, 0);
}

TEST_F(ViewportFrameGL, LightsJoinTheContextAtTheNextFrame) {
  MakeScene();
  HoldTheTimer();
  auto* light = New<TLight>(FScene.get());
  light->SetParent(FViewport);
  Tick();
  auto* context = dynamic_cast<TVantrelContext*>(FViewport->Context());
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->Lights().Count(), 1);
  light->Free();
  Tick();
  EXPECT_EQ(context->Lights().Count(), 0);
}

TEST_F(ViewportFrameGL, HighResFollowsTheSceneScale) {
  MakeScene(64, 48);
  EXPECT_EQ(FViewport->Bitmap()->Width(), 64);
  EXPECT_EQ(FViewport->Bitmap()->Height(), 48);
  FScene->SetSceneScale(2);
  EXPECT_EQ(FViewport->Bitmap()->Width(), 64);
  FViewport->SetHighRes(true);
  EXPECT_EQ(FViewport->Bitmap()->Width(), 128);
  EXPECT_EQ(FViewport->Bitmap()->Height(), 96);
  EXPECT_EQ(FViewport->Bitmap()->BitmapScale(), 2);
  // A new scene scale resizes through the scale-changed message.
  FScene->SetSceneScale(1.5f);
  EXPECT_EQ(FViewport->Bitmap()->Width(), 96);
  EXPECT_EQ(FViewport->Bitmap()->Height(), 72);
}

TEST_F(ViewportFrameGL, APaintInsideATickDrawsNothing) {
  MakeScene();
  HoldTheTimer();
  TColorQuad* quad = AddQuad();
  Application().ProcessMessages();
  // A paint served while the frame draws: the scene clears its rectangle, the viewport draws
  // nothing into it, not even the last frame.
  quad->OnDraw = [this] {
    FScene->Invalidate();
    Application().ProcessMessages();
  };
  Tick();
  EXPECT_EQ(quad->Draws, 1);
  EXPECT_TRUE(ChannelsNear(ScenePixel(32, 32), Black));
  // The tick asked for a repaint: the next pass of the loop blits the new frame.
  quad->OnDraw = nullptr;
  Application().ProcessMessages();
  EXPECT_TRUE(ChannelsNear(ScenePixel(32, 32), QuadColor));
  EXPECT_EQ(quad->Draws, 1);
}

TEST_F(ViewportFrameGL, FreeingWithATickPendingCompletes) {
  MakeScene();
  Application().ProcessMessages();
  ASSERT_TRUE(FViewport->FrameTimer()->GetActive());
  WaitForTimerLoop();
  FClock.Jump(16);
  ASSERT_TRUE(rtl::WaitForPendingCall(10'000));
  FScene.reset();
  EXPECT_FALSE(rtl::PendingCalls().Any());
}

} // namespace

// Every frame, not only the first, shows the scene: the rectangle passes that end a forward frame
// (deferred composite, FXAA) must not leave the next frame's objects projected in 2D. A resize
// makes new targets, and the frames after it are compared as well.
TEST_F(ViewportFrameGL, EveryFrameShowsTheScene) {
  struct TCase {
    const char* Name;
    TRendererType Type;
    int32_t FXAA;
  } cases[] = {{"forward, FXAA 0", TRendererType::ForwardRenderer, 0},
               {"forward, FXAA 1", TRendererType::ForwardRenderer, 1},
               {"forward, FXAA 2", TRendererType::ForwardRenderer, 2},
               {"legacy", TRendererType::LegacyRenderer, 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    MakeScene();
    HoldTheTimer();
    FViewport->SetFXAA(c.FXAA);
    if (c.Type != FViewport->GetRendererType()) {
      FViewport->SetRendererType(c.Type);
      FScene->SetSize(63, 63);
      FScene->SetSize(64, 64);
    }
    TColorQuad* quad = AddQuad();
    for (int size : {64, 48}) {
      FScene->SetSize(float(size), float(size));
      for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(Format("size %d, frame %d", size, frame));
        const int draws = quad->Draws;
        Tick();
        EXPECT_EQ(quad->Draws, draws + 1);
        EXPECT_TRUE(ChannelsNear(BitmapPixel(size / 2, size / 2), QuadColor))
            << std::hex << BitmapPixel(size / 2, size / 2);
        EXPECT_TRUE(ChannelsNear(BitmapPixel(0, 0), Black)) << std::hex << BitmapPixel(0, 0);
      }
    }
    FScene.reset();
  }
}
