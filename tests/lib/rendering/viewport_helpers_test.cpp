#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rendering/Vantrel.Viewport.Helpers.h"
#include "rtl/classes.h"
#include "scene/Vantrel.Control.h"
#include "support/fake_clock.h"

namespace helperstest {

// Stands in for the sky box: registered under its qualified name while a test needs it.
class TVantrelSkyBox : public ui::TControl3D {
  RTL_CLASS(TVantrelSkyBox, ui::TControl3D)
public:
  using TControl3D::TControl3D;
};
RTL_DEFINE_CLASS(TVantrelSkyBox, "Vantrel.SkyBox")

class TBox : public vantrel::TVantrelControl {
  RTL_CLASS(TBox, vantrel::TVantrelControl)
public:
  using TVantrelControl::TVantrelControl;
};
RTL_DEFINE_CLASS(TBox, "Test.Helpers")

} // namespace helperstest

namespace {

using namespace vantrel;
using helperstest::TBox;
using helperstest::TVantrelSkyBox;

TEST(RenderingDiagnostics, AveragesEveryThirtyFramesAndNeverDividesByZero) {
  struct TCase {
    const char* Name;
    int64_t FrameMs;
    float Time, Fps;
  };
  const TCase cases[] = {
      {"2 ms frames", 2, 2, 500},
      // Whole milliseconds are 0 and so are the ticks: the rate is 0, not infinite.
      {"frames of no measurable time", 0, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    vtest::TFakeClock clock;
    TRenderingDiagnostics diagnostics;
    for (int frame = 1; frame <= 30; ++frame) {
      diagnostics.FrameTimeWatch = TStopwatch::StartNew();
      clock.Jump(c.FrameMs);
      EXPECT_EQ(diagnostics.AddFrame(), frame == 30);
    }
    EXPECT_FLOAT_EQ(diagnostics.AverageFrameTime, c.Time);
    EXPECT_FLOAT_EQ(diagnostics.AverageFramesPerSecond, c.Fps);
    EXPECT_EQ(diagnostics.TotalFrames, 30);
    EXPECT_EQ(diagnostics.TotalFrameTimeInMS, 30 * c.FrameMs);
    EXPECT_EQ(diagnostics.MeasureFrameCount, 0);
  }
  // Frames under a millisecond: the rate comes from the ticks.
  TRenderingDiagnostics diagnostics;
  diagnostics.TotalFrames = 29;
  diagnostics.MeasureFrameCount = 29;
  diagnostics.MeasureFrameTicks = 29 * 5'000;
  ASSERT_TRUE(diagnostics.AddFrame());
  EXPECT_EQ(diagnostics.AverageFrameTime, 0);
  EXPECT_NEAR(diagnostics.AverageFramesPerSecond, 1e7 / (29 * 5'000 / 30.0), 1);
}

class RenderListTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeControl();
    FRoot.reset(New<TDummy>(nullptr));
    // A camera at (0, 0, 25) looking along -Z.
    FFrustum = TVantrelFrustum::Create(45, 1, 0.1f, 1000, {0, 0, 25}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0});
  }
  void TearDown() override {
    FRoot.reset();
    FinalizeControl();
  }

  template <class T> T* Add(TFmxObject* AParent, const TPoint3D& APosition = {}) {
    T* control = New<T>(FRoot.get());
    control->Position()->SetPoint(APosition);
    control->SetParent(AParent);
    return control;
  }

  TOwned<TDummy> FRoot;
  TVantrelFrustum FFrustum;
};

TEST_F(RenderListTest, SkyBoxesFirstAndInvisibleGroupsHideTheirChildren) {
  RegisterClass(TVantrelSkyBox::StaticClass());
  auto* a = Add<TBox>(FRoot.get());
  auto* group = Add<TBox>(FRoot.get());
  auto* hidden = Add<TBox>(group);
  auto* shown = Add<TBox>(a);
  auto* sky = Add<TVantrelSkyBox>(FRoot.get());
  group->SetVisible(false);
  std::vector<TControl3D*> list;
  BuildRenderList(FRoot.get(), list, true);
  EXPECT_EQ(list, (std::vector<TControl3D*>{sky, a, shown, group}));
  EXPECT_TRUE(a->RenderingList().empty());
  (void)hidden;

  BuildRenderList(FRoot.get(), list, false);
  EXPECT_EQ(list, (std::vector<TControl3D*>{sky, a, group}));
  UnRegisterClass(TVantrelSkyBox::StaticClass());
}

TEST_F(RenderListTest, RenderableByKindVisibilityAndCulling) {
  auto* near = Add<TBox>(FRoot.get());
  auto* far = Add<TBox>(FRoot.get(), {1000, 0, 0});
  auto* plainFar = Add<TControl3D>(FRoot.get(), {1000, 0, 0});
  auto* dummyFar = Add<TDummy>(FRoot.get(), {1000, 0, 0});
  auto* hidden = Add<TBox>(FRoot.get());
  hidden->SetVisible(false);
  auto* hiddenLocked = Add<TBox>(FRoot.get());
  hiddenLocked->SetVisible(false);
  hiddenLocked->SetLocked(true);
  const TComponentState running;
  const TComponentState designing{TComponentStateItem::csDesigning};
  struct TCase {
    const char* Name;
    TControl3D* Control;
    TComponentState State;
    bool Culling, Expected;
  };
  const TCase cases[] = {
      {"inside", near, running, true, true},
      {"outside, culling on", far, running, true, false},
      {"outside, culling off", far, running, false, true},
      {"outside, designing", far, designing, true, true},
      {"plain control outside, culling on", plainFar, running, true, false},
      {"plain control outside, culling off", plainFar, running, false, false},
      {"dummy outside", dummyFar, running, true, true},
      {"invisible", hidden, running, true, false},
      {"invisible, designing", hidden, designing, true, true},
      {"invisible and locked, designing", hiddenLocked, designing, true, false},
      {"nil", nullptr, running, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBoundingBox bounds;
    EXPECT_EQ(TVantrelRenderingHelper::Renderable(c.Control, FFrustum, c.State, bounds, c.Culling, true),
              c.Expected);
  }
  // A framework control that asks not to be tested is drawn wherever it is.
  far->SetFrustumCullingCheck(false);
  TBoundingBox bounds;
  EXPECT_TRUE(TVantrelRenderingHelper::Renderable(far, FFrustum, running, bounds, true, true));
  EXPECT_FLOAT_EQ(bounds.Right, 1000.5f);
  // Helpers never grow the scene bounds.
  TBoundingBox sceneBounds;
  TVantrelRenderingHelper::UpdateSceneBounds(dummyFar, running, sceneBounds);
  EXPECT_EQ(sceneBounds, TBoundingBox());
}

} // namespace
