#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/exceptions.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Control.h"
#include "support/fake_clock.h"
#include "ui/timers.h"

namespace cameratest {

// Stands in for the framework viewport: registered under its qualified name, it counts the
// update brackets and repaints the controller causes.
class TVantrelViewport : public ui::TControl {
  RTL_CLASS(TVantrelViewport, ui::TControl)
public:
  using TControl::TControl;
  void BeginUpdate() override {
    inherited::BeginUpdate();
    Trace.push_back("begin");
  }
  void EndUpdate() override {
    inherited::EndUpdate();
    Trace.push_back("end");
    if (!IsUpdating())
      Repaint();
  }
  void Repaint() override { Trace.push_back("repaint"); }
  std::vector<std::string> Trace;
};
RTL_DEFINE_CLASS(TVantrelViewport, "Vantrel.Viewport")

// Handlers for the comparable events.
class THandlers : public rtl::TObject {
  RTL_CLASS(THandlers, rtl::TObject)
public:
  void MouseDown(rtl::TObject*, ui::TMouseButton, ui::TShiftState, float, float) { Trace.push_back("down"); }
  void OtherMouseDown(rtl::TObject*, ui::TMouseButton, ui::TShiftState, float, float) {}
  void MouseWheel(rtl::TObject*, ui::TShiftState, int, bool&) { Trace.push_back("wheel"); }
  void Before(rtl::TObject*, vantrel::TVantrelSmoothCameraControlType, float& AValue) {
    if (RaiseBefore)
      throw rtl::Exception("handler failed");
    AValue += BeforeAdd;
  }
  void After(rtl::TObject*, vantrel::TVantrelSmoothCameraControlType, float& AValue) { AValue = AfterValue; }

  std::vector<std::string> Trace;
  float BeforeAdd = 0;
  float AfterValue = 0;
  bool RaiseBefore = false;
};
RTL_DEFINE_CLASS(THandlers, "Test.Camera")

} // namespace cameratest

namespace {

using namespace vantrel;
using cameratest::THandlers;
using cameratest::TVantrelViewport;
using T = TVantrelSmoothCameraControlType;

class CameraController : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeCamera();
    RegisterClass(TVantrelViewport::StaticClass());
    FOwner.reset(New<TComponent>(nullptr));
    FController = New<TVantrelSmoothCameraController>(FOwner.get());
    // Steps are driven by hand against the fake clock.
    FController->SetEnabled(false);
    FCamera = New<TVantrelCamera>(FOwner.get());
    FCamera->Position()->SetPoint({0, 0, -5});
    FController->SetCamera(FCamera);
  }
  void TearDown() override {
    FOwner.reset();
    UnRegisterClass(TVantrelViewport::StaticClass());
    FinalizeCamera();
  }

  // One step after AMilliseconds on the clock.
  void StepAfter(int64_t AMilliseconds) {
    FClock.Jump(AMilliseconds);
    FController->UpdateStep(nullptr);
  }

  vtest::TFakeClock FClock;
  TOwned<TComponent> FOwner;
  TVantrelSmoothCameraController* FController = nullptr;
  TVantrelCamera* FCamera = nullptr;
};

TEST_F(CameraController, ImpulsesDecayIntoRotationAndWrap) {
  struct TCase {
    const char* Name;
    float Impulse, StartAngle, ImpulseAfter, AngleAfter;
  };
  const TCase cases[] = {
      // Below twice the damping nothing moves and the impulse stays.
      {"below the threshold", 3, 10, 3, 10},
      // Cut to 75, less 1.5 ln 75; the angle advances 15 sqrt(1.5 ln 75) and wraps past 360.
      {"cut, damped and wrapped", 100, 350, 68.5238f, 28.1727f},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FController->RotationAngle()->SetY(c.StartAngle);
    FController->SetImpulse({c.Impulse, 0, 0});
    StepAfter(1000);
    EXPECT_NEAR(FController->Impulse().X, c.ImpulseAfter, 1e-3);
    EXPECT_NEAR(FController->RotationAngle()->Y(), c.AngleAfter, 1e-3);
  }
}

TEST_F(CameraController, WheelZoomsWithinTheLimits) {
  auto* viewport = New<TVantrelViewport>(FOwner.get());
  FController->SetViewport(viewport);
  struct TCase {
    const char* Name;
    ui::TShiftState Shift;
    float Impulse, CutTo;
  };
  const TCase cases[] = {{"plain", {}, 18, 18}, {"with Shift", {ui::TShiftStateItem::ssShift}, 240, 50}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FController->SetImpulse({});
    FCamera->Position()->SetZ(-1.5f);
    bool handled = false;
    viewport->MouseWheel(c.Shift, 120, handled);
    EXPECT_TRUE(handled);
    EXPECT_FLOAT_EQ(FController->Impulse().Z, c.Impulse);
    StepAfter(1000);
    EXPECT_NEAR(FController->Impulse().Z, c.CutTo - std::log(c.CutTo), 1e-3);
    // The zoom moves towards the camera's target and stops at the near limit.
    EXPECT_FLOAT_EQ(FCamera->Position()->Z(), -1.0f);
  }
  for (int i = 0; i < 100; ++i) {
    FController->SetImpulse({0, 0, -1000});
    StepAfter(1000);
  }
  EXPECT_FLOAT_EQ(FCamera->Position()->Z(), -100.0f);
}

TEST_F(CameraController, DragsAddImpulsesByButtonAndShift) {
  auto* viewport = New<TVantrelViewport>(FOwner.get());
  FController->SetViewport(viewport);
  using S = ui::TShiftStateItem;
  struct TCase {
    const char* Name;
    ui::TShiftState Shift;
    TPoint3D Impulse, ShiftImpulse;
  };
  const TCase cases[] = {
      {"left", {S::ssLeft}, {5, -20, 0}, {0, 0, 0}},
      {"right with Shift", {S::ssRight, S::ssShift}, {0, 0, 0}, {5, 20, 0}},
      {"right", {S::ssRight}, {0, 0, 0}, {5, 0, -20}},
      {"no button", {}, {0, 0, 0}, {0, 0, 0}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto* controller = New<TVantrelSmoothCameraController>(FOwner.get());
    controller->SetViewport(viewport);
    viewport->MouseDown(ui::TMouseButton::mbLeft, c.Shift, 10, 10);
    viewport->MouseMove(c.Shift, 15, 30);
    viewport->MouseUp(ui::TMouseButton::mbLeft, c.Shift, 15, 30);
    // Without a button held down nothing is tracked.
    viewport->MouseMove(c.Shift, 100, 100);
    EXPECT_EQ(controller->Impulse(), c.Impulse);
    EXPECT_EQ(controller->ShiftImpulse(), c.ShiftImpulse);
    controller->Free();
  }
}

TEST_F(CameraController, ModifyEventsChangeTheValue) {
  THandlers handlers;
  FController->OnBeforeModify = {&handlers, &THandlers::Before};
  FController->OnAfterModify = {&handlers, &THandlers::After};
  handlers.AfterValue = 123;
  FController->SetImpulse({100, 0, 0});
  StepAfter(1000);
  EXPECT_FLOAT_EQ(FController->RotationAngle()->Y(), 123);

  // The value the before-event gives is the one the step starts from.
  FController->OnAfterModify = nullptr;
  FController->RotationAngle()->SetY(0);
  handlers.BeforeAdd = 100;
  FController->SetImpulse({100, 0, 0});
  StepAfter(1000);
  EXPECT_NEAR(FController->RotationAngle()->Y(), 138.1727f, 1e-3);
}

TEST_F(CameraController, ACameraAtTheOriginMovesBehindTheController) {
  auto* atOrigin = New<TVantrelCamera>(FOwner.get());
  FController->SetCamera(atOrigin);
  EXPECT_EQ(atOrigin->Position()->Point(), (TPoint3D{0, -10, -25}));
  EXPECT_EQ(atOrigin->Parent(), FController);
  EXPECT_EQ(atOrigin->Target(), FController);
  // The one set up at (0, 0, -5) stayed there.
  EXPECT_EQ(FCamera->Position()->Point(), (TPoint3D{0, 0, -5}));
  // A freed camera is forgotten.
  atOrigin->Free();
  EXPECT_EQ(FController->GetCamera(), nullptr);
  StepAfter(33);
}

TEST_F(CameraController, ViewportLink) {
  THandlers handlers;
  auto* viewport = New<TVantrelViewport>(FOwner.get());
  viewport->OnMouseDown = {&handlers, &THandlers::MouseDown};
  viewport->OnMouseWheel = {&handlers, &THandlers::MouseWheel};
  FController->SetViewport(viewport);
  EXPECT_EQ(FController->GetViewport(), viewport);
  EXPECT_NE(viewport->OnMouseDown, (ui::TMouseEvent{&handlers, &THandlers::MouseDown}));

  // The controller passes every event on to the handler it replaced.
  bool handled = false;
  viewport->MouseDown(ui::TMouseButton::mbLeft, {}, 1, 1);
  viewport->MouseWheel({}, 120, handled);
  EXPECT_EQ(handlers.Trace, (std::vector<std::string>{"down", "wheel"}));

  // Anything but a framework viewport is ignored; the old one stays hooked.
  auto* other = New<ui::TControl>(FOwner.get());
  FController->SetViewport(other);
  EXPECT_EQ(FController->GetViewport(), viewport);

  // A step brackets the viewport's update and repaints it once.
  viewport->Trace.clear();
  FController->SetImpulse({100, 0, 0});
  StepAfter(33);
  EXPECT_EQ(viewport->Trace, (std::vector<std::string>{"begin", "end", "repaint"}));

  // Unhooking gives back what the controller replaced, but not what others replaced since.
  viewport->OnMouseWheel = nullptr;
  FController->SetViewport(nullptr);
  EXPECT_EQ(viewport->OnMouseDown, (ui::TMouseEvent{&handlers, &THandlers::MouseDown}));
  EXPECT_FALSE(viewport->OnMouseWheel);
  EXPECT_FALSE(viewport->OnMouseUp);
  EXPECT_FALSE(viewport->OnMouseMove);

  // A freed viewport unlinks itself.
  FController->SetViewport(viewport);
  viewport->Free();
  EXPECT_EQ(FController->GetViewport(), nullptr);
}

TEST_F(CameraController, ARaisingStepEndsItsBrackets) {
  THandlers handlers;
  auto* viewport = New<TVantrelViewport>(FOwner.get());
  FController->SetViewport(viewport);
  FController->OnBeforeModify = {&handlers, &THandlers::Before};
  handlers.RaiseBefore = true;
  FController->SetImpulse({100, 0, 0});
  EXPECT_THROW(StepAfter(33), rtl::Exception);
  EXPECT_FALSE(viewport->IsUpdating());
  EXPECT_FALSE(FController->IsUpdating());
  // The step is not left flagged as running.
  handlers.RaiseBefore = false;
  const float impulse = FController->Impulse().X;
  StepAfter(33);
  EXPECT_LT(FController->Impulse().X, impulse);
}

TEST_F(CameraController, TimerDrivesTheStepsAndEnablingRestartsTheStopwatch) {
  EXPECT_EQ(FController->GetInterval(), 33);
  EXPECT_FALSE(FController->GetEnabled());
  FClock.Jump(5000);
  FController->SetEnabled(true);
  FController->SetImpulse({100, 0, 0});
  FClock.Advance(33);
  // One step of 33 ms, not of the five seconds spent disabled.
  EXPECT_NEAR(FController->RotationAngle()->Y(), 15 * 0.033 * std::sqrt(1.5 * std::log(75.0)), 1e-3);
}

TEST(VantrelCamera, MatrixChangesAndAssignFromFlagAnUpdate) {
  InitializeCamera();
  {
    auto camera = MakeOwned<TVantrelCamera>(nullptr);
    EXPECT_FALSE(camera->UpdateNeeded());
    camera->Position()->SetX(3);
    EXPECT_TRUE(camera->UpdateNeeded());
    EXPECT_EQ(camera->GetFOV(), 45);
    EXPECT_THROW(camera->PerspectiveMatrix(), rtl::Exception);

    auto source = MakeOwned<TVantrelCamera>(nullptr);
    source->Position()->SetPoint({1, 2, 3});
    source->RotationAngle()->SetY(90);
    source->SetFOV(60);
    auto target = MakeOwned<TDummy>(nullptr);
    source->SetTarget(target.get());
    camera->SetUpdateNeeded(false);
    camera->AssignFrom(source.get());
    EXPECT_TRUE(camera->UpdateNeeded());
    EXPECT_EQ(camera->AbsolutePosition(), (TPoint3D{1, 2, 3}));
    EXPECT_FLOAT_EQ(camera->RotationAngle()->Y(), 90);
    EXPECT_EQ(camera->Target(), target.get());
    EXPECT_FLOAT_EQ(camera->GetFOV(), 60);

    // Anything but a camera changes nothing.
    camera->SetUpdateNeeded(false);
    camera->AssignFrom(target.get());
    EXPECT_FALSE(camera->UpdateNeeded());
    EXPECT_FLOAT_EQ(camera->GetFOV(), 60);
    camera->SetTarget(nullptr);
  }
  FinalizeCamera();
}

} // namespace
