// The viewport as a component: defaults, the fixed frame step, the timer service, the design
// camera and edit mode, references to cameras and passes, and the update bracket.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "rendering/Vantrel.Controller.Passes.PostFX.h"
#include "rendering_fixture.h"
#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "scene/Vantrel.Camera.h"
#include "ui/display.h"
#include "ui/messages.h"
#include "ui/platform_services.h"

namespace viewporttest {

// Counts the updates the viewport asks for.
class TCountingCamera : public vantrel::TVantrelCamera {
  RTL_CLASS(TCountingCamera, vantrel::TVantrelCamera)
public:
  using TVantrelCamera::TVantrelCamera;
  void Update() override { ++Updates; }
  int Updates = 0;
};
RTL_DEFINE_CLASS(TCountingCamera, "Test.Viewport")

} // namespace viewporttest

namespace {

using namespace rtest;
using viewporttest::TCountingCamera;

// Installs a display refresh rate for a test.
class TDisplayRate {
public:
  explicit TDisplayRate(int32_t AHz) : FPrevious(ui::SetDisplayRefreshRateProvider([AHz] { return AHz; })) {}
  ~TDisplayRate() { ui::SetDisplayRefreshRateProvider(FPrevious); }

private:
  ui::TRefreshRateProvider FPrevious;
};

using ViewportComponent = RenderingGL;

TEST_F(ViewportComponent, Defaults) {
  TVantrelViewport& v = Viewport();
  EXPECT_EQ(v.SceneBounds(), TBoundingBox::Create({0, 0, 0}, {128, 128, 128}));
  EXPECT_FALSE(v.GetFog());
  EXPECT_EQ(v.GetFogMode(), 2);
  EXPECT_FLOAT_EQ(v.GetFogDensity(), 0.001f);
  EXPECT_FLOAT_EQ(v.GetFogStart(), 100);
  EXPECT_FLOAT_EQ(v.GetFogEnd(), 500);
  EXPECT_TRUE(v.GetUseFixedFrameRate());
  EXPECT_EQ(v.GetFixedFrameRate(), 60);
  EXPECT_EQ(v.FrameRateStep(), 16);
  EXPECT_FALSE(v.GetManualRendering());
  EXPECT_TRUE(v.GetFrustumCulling());
  EXPECT_FALSE(v.GetHighRes());
  EXPECT_FALSE(v.GetVSync());
  EXPECT_FLOAT_EQ(v.GetNearPlane(), 0.1f);
  EXPECT_FLOAT_EQ(v.GetFarPlane(), 10000);
  EXPECT_FALSE(v.GetDiagnosticsActive());
  EXPECT_EQ(v.Diagnostics().AverageFrameTimeClip, 30);
  EXPECT_EQ(v.Diagnostics().AverageDrawCycleClip, 1000);
  EXPECT_EQ(v.GetMultisample(), TMultisample::TwoSamples);
  EXPECT_TRUE(v.UsingDesignCamera());
  EXPECT_FALSE(v.GetEditMode());
  EXPECT_EQ(v.GetColor(), 0xFF000000);
  EXPECT_EQ(v.GetSaturation(), (TPoint3D{0, 1.5f, 0}));
  EXPECT_EQ(v.Align(), TAlignLayout::Client);
  ASSERT_NE(v.FrameTimer(), nullptr);
  EXPECT_FALSE(v.FrameTimer()->GetActive());
  EXPECT_EQ(v.FrameTimer()->GetInterval(), 16);

  TCamera* camera = v.GetDesignCamera();
  TVantrelSmoothCameraController* controller = v.GetDesignCameraController();
  ASSERT_NE(camera, nullptr);
  ASSERT_NE(controller, nullptr);
  EXPECT_EQ(camera->Name(), "DesignCamera");
  EXPECT_EQ(controller->Name(), "DesignCameraTarget");
  for (TControl3D* object : {static_cast<TControl3D*>(camera), static_cast<TControl3D*>(controller)}) {
    SCOPED_TRACE(object->Name());
    EXPECT_EQ(object->Tag(), 0xFFFE);
    EXPECT_FALSE(object->Stored());
    EXPECT_TRUE(object->Locked());
    EXPECT_TRUE(object->DesignLocked());
  }
  EXPECT_EQ(camera->Parent(), controller);
  EXPECT_EQ(controller->Parent(), &v);
  EXPECT_EQ(controller->GetCamera(), camera);
  EXPECT_EQ(controller->GetViewport(), &v);
  EXPECT_TRUE(controller->GetEnabled());
  EXPECT_EQ(camera->Position()->Point(), (TPoint3D{0, -10, -25}));
}

TEST_F(ViewportComponent, MultisampleCannotBeChanged) {
  Viewport().SetMultisample(TMultisample::FourSamples);
  EXPECT_EQ(Viewport().GetMultisample(), TMultisample::TwoSamples);
}

TEST_F(ViewportComponent, FixedFrameStep) {
  struct TCase {
    const char* Name;
    int32_t Rate;
    bool VSync;
    int32_t DisplayHz;
    int32_t StoredRate, Step;
  };
  const TCase cases[] = {
      {"60", 60, false, 0, 60, 16},
      {"30", 30, false, 0, 30, 33},
      {"144 with VSync on 60 Hz", 144, true, 60, 144, 16},
      {"60 with VSync on 30 Hz", 60, true, 30, 60, 33},
      {"60 with VSync on an unknown display", 60, true, 0, 60, 16},
      // A rate of 0 has no step: it is stored as 1.
      {"0", 0, false, 0, 1, 1000},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TDisplayRate display(c.DisplayHz);
    Viewport().SetVSync(c.VSync);
    Viewport().SetFixedFrameRate(c.Rate);
    EXPECT_EQ(Viewport().GetFixedFrameRate(), c.StoredRate);
    EXPECT_EQ(Viewport().FrameRateStep(), c.Step);
    EXPECT_EQ(Viewport().FrameTimer()->GetInterval(), c.Step);
  }
}

TEST_F(ViewportComponent, ADisplayChangeUpdatesTheRateButNotTheStep) {
  Viewport().SetFixedFrameRate(60);
  Viewport().SetVSync(true);
  EXPECT_EQ(Viewport().FrameRateStep(), 16);
  TDisplayRate display(30);
  EXPECT_EQ(Viewport().Diagnostics().DisplayRefreshRate, 30);
  EXPECT_EQ(Viewport().FrameRateStep(), 16);
  Viewport().SetVSync(true);
  EXPECT_EQ(Viewport().FrameRateStep(), 33);
}

TEST_F(ViewportComponent, WithoutATimerServiceCreationFailsCleanly) {
  ui::TPlatformServices& services = ui::TPlatformServices::Current();
  const std::shared_ptr<ui::ITimerService> previous = services.TimerService();
  services.SetTimerService(nullptr);
  try {
    New<TVantrelViewport>(&Root());
    ADD_FAILURE() << "no exception";
  } catch (const ui::EUnsupportedPlatformService& error) {
    EXPECT_NE(error.Message().find("IFMXTimerService"), std::string::npos);
  }
  services.SetTimerService(previous);
}

TEST_F(ViewportComponent, CurrentCamera) {
  TVantrelViewport& v = Viewport();
  TCamera* design = v.GetDesignCamera();
  auto* own = New<TCamera>(&Root());
  struct TCase {
    const char* Name;
    TCamera* Camera;
    bool UsingDesign, Designing;
    TCamera* Expected;
  };
  const TCase cases[] = {
      {"no camera", nullptr, false, false, design},
      {"camera, design camera on", own, true, false, design},
      {"camera, design camera off", own, false, false, own},
      {"camera, design camera off, designing", own, false, true, design},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    v.SetCamera(c.Camera);
    v.SetUsingDesignCamera(c.UsingDesign);
    v.SetDesigning(c.Designing, false);
    EXPECT_EQ(v.CurrentCamera(), c.Expected);
    v.SetDesigning(false, false);
  }
  // The setter links the controller to the viewport's mouse events, and unlinks it.
  v.SetUsingDesignCamera(false);
  EXPECT_FALSE(v.OnMouseDown);
  EXPECT_EQ(v.GetDesignCameraController()->GetViewport(), nullptr);
  v.SetUsingDesignCamera(true);
  EXPECT_TRUE(v.OnMouseDown);
  EXPECT_EQ(v.GetDesignCameraController()->GetViewport(), &v);
}

TEST_F(ViewportComponent, EditModeSavesAndRestoresOnlyOnAChange) {
  TVantrelViewport& v = Viewport();
  v.SetUsingDesignCamera(false);
  v.SetFrustumCulling(true);
  // Off while already off changes nothing, so the user's settings survive the next cycle.
  v.SetEditMode(false);
  v.SetEditMode(false);
  EXPECT_FALSE(v.UsingDesignCamera());
  EXPECT_TRUE(v.GetFrustumCulling());

  v.SetEditMode(true);
  EXPECT_TRUE(v.UsingDesignCamera());
  EXPECT_FALSE(v.GetFrustumCulling());
  EXPECT_FALSE(v.GetDesignCamera()->Locked());
  v.SetEditMode(true);
  v.SetEditMode(false);
  EXPECT_FALSE(v.UsingDesignCamera());
  EXPECT_TRUE(v.GetFrustumCulling());
  EXPECT_TRUE(v.GetDesignCamera()->Locked());

  // The design camera resets only in edit mode.
  TCamera* camera = v.GetDesignCamera();
  camera->Position()->SetPoint({1, 2, 3});
  v.ResetDesignCamera();
  EXPECT_EQ(camera->Position()->Point(), (TPoint3D{1, 2, 3}));
  v.ToggleEditMode();
  v.ResetDesignCamera();
  EXPECT_EQ(camera->Position()->Point(), (TPoint3D{0, -5, -20}));
  EXPECT_EQ(v.GetDesignCameraController()->AbsolutePosition(), (TPoint3D{0, 0, 0}));
}

TEST_F(ViewportComponent, HitTestCheck) {
  bool altDown = false;
  const ui::TKeyStateQuery previous =
      ui::SetKeyStateQuery([&](uint16_t AKey) { return AKey == ui::vkLMenu && altDown; });
  struct TCase {
    const char* Name;
    bool EditMode, Designing, Alt, Expected;
  };
  const TCase cases[] = {
      {"run time", false, false, false, true},
      {"run time, left Alt", false, false, true, true},
      {"edit mode", true, false, false, false},
      {"design time", false, true, false, true},
      {"design time, left Alt", false, true, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Viewport().SetEditMode(c.EditMode);
    Viewport().SetDesigning(c.Designing, false);
    altDown = c.Alt;
    EXPECT_EQ(Viewport().CheckHitTest(true), c.Expected);
    Viewport().SetDesigning(false, false);
  }
  Viewport().SetEditMode(false);
  ui::SetKeyStateQuery(previous);
}

TEST_F(ViewportComponent, CameraAndPassReferences) {
  TVantrelViewport& v = Viewport();
  v.SetCamera(v.GetDesignCamera());
  EXPECT_EQ(v.Camera(), nullptr);

  auto* camera = New<TCamera>(&Root());
  v.SetCamera(camera);
  camera->Free();
  EXPECT_EQ(v.Camera(), nullptr);

  auto* pass = New<TVantrelRenderPassPostFX>(&Root(), "postfx");
  pass->SetViewport(&v);
  v.AddRenderPass(pass);
  EXPECT_EQ(v.RenderPasses().size(), 1u);
  pass->Free();
  EXPECT_TRUE(v.RenderPasses().empty());
}

TEST_F(ViewportComponent, EndUpdateAppliesAFlaggedCameraOnce) {
  auto* camera = New<TCountingCamera>(&Root());
  Viewport().SetCamera(camera);
  camera->Position()->SetX(1);
  ASSERT_TRUE(camera->UpdateNeeded());
  Viewport().BeginUpdate();
  Viewport().EndUpdate();
  EXPECT_EQ(camera->Updates, 1);
  EXPECT_FALSE(camera->UpdateNeeded());
  Viewport().BeginUpdate();
  Viewport().EndUpdate();
  EXPECT_EQ(camera->Updates, 1);
}

} // namespace
