#include "scene/Vantrel.Camera.h"

#include <cmath>
#include <utility>

#include "rtl/exceptions.h"
#include "rtl/fields.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"
#include "scene/Vantrel.Light.h"
#include "ui/context3d.h"
#include "ui/timers.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelCamera, "Vantrel.Camera", &TVantrelCamera::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelSmoothCameraController, "Vantrel.Camera",
                 &TVantrelSmoothCameraController::RegisterProperties)

namespace {

constexpr float OriginEpsilon = 1e-7f;
constexpr int StepInterval = 33;

bool AtOrigin(const TPoint3D& APoint) {
  return std::fabs(APoint.X) <= OriginEpsilon && std::fabs(APoint.Y) <= OriginEpsilon &&
         std::fabs(APoint.Z) <= OriginEpsilon;
}

// Framework viewports are recognised through the class registry: this unit sits below the
// rendering layer that defines them.
bool IsFrameworkViewport(const TObject* AObject) {
  const TClass* cls = GetClass(SViewportClassName);
  return cls && AObject->InheritsFrom(*cls);
}

float Sign(float AValue) {
  return AValue > 0 ? 1.0f : (AValue < 0 ? -1.0f : 0.0f);
}

} // namespace

// TVantrelCamera

void TVantrelCamera::RegisterProperties(TPropertyList& AList) {
  AList.Add("FOV", &TVantrelCamera::GetFOV, &TVantrelCamera::SetFOV).WithDefault(45.0f);
}

void TVantrelCamera::RegisterFields() {
  // The definition is shared with a copy unless the camera frees its own.
  TCopyField def;
  def.Name = "FDef";
  def.CopyValue = [](TObject* ADest, const TObject* ASource) {
    const auto* source = static_cast<const TVantrelCamera*>(ASource);
    if (!source->OwnsDefinition())
      static_cast<TVantrelCamera*>(ADest)->FDef = source->FDef;
  };
  rtl::RegisterFields(StaticClass(), {def, SkippedField("FSelfDef", TFieldKind::NoTypeInfo),
                                      SkippedField("FDefIsStandalone", TFieldKind::NoTypeInfo),
                                      ValueField<&TVantrelCamera::FUpdateNeeded>("FUpdateNeeded")});
}

void TVantrelCamera::AfterConstruction() {
  inherited::AfterConstruction();
  if (!FDef) {
    FSelfDef = MakeOwnDefinition<TCameraDef>(Owner(), FDefIsStandalone);
    FDef = FSelfDef;
  }
}

void TVantrelCamera::BeforeDestruction() {
  FDef = nullptr;
  if (FDefIsStandalone && FSelfDef)
    std::exchange(FSelfDef, nullptr)->Free();
  inherited::BeforeDestruction();
}

void TVantrelCamera::LoadFromDefinition(TCameraDef* ADef) {
  FDef = ADef;
  if (!ADef)
    return;
  if (Name().empty())
    SetName(ADef->GetQualifiedComponentName());
  SetTarget(dynamic_cast<TControl3D*>(FindGlobalComponent(ADef->Target)));
  SetFOV(ADef->FOV);
  SetLocalMatrix(this, ADef->GetTransform(), true, true, true, true);
}

namespace {

constexpr TAlphaColor CameraBodyColor = 0xFF60A799;
constexpr TAlphaColor CameraLensColor = 0xFF9C60A7;
constexpr float SightLength = 1000;

bool Designing(const TComponent& AComponent) {
  return AComponent.ComponentState().Contains(TComponentStateItem::csDesigning);
}

} // namespace

void TVantrelCamera::Render() {
  TContext3D* context = Context();
  if (!context || !Designing(*this) || Tag() == HiddenDesignTag)
    return;
  const auto drawBody = [context] {
    context->FillCube({0, 0, 0}, {0.8f, 0.8f, 0.8f}, 1, CameraBodyColor);
    context->FillCube({0, 0, 0.5f}, {0.3f, 0.3f, 1.4f}, 1, CameraLensColor);
  };
  TControl3D* target = Target();
  if (!target) {
    drawBody();
    context->DrawLine({0, 0, 0}, {0, 0, SightLength}, 1, CameraLensColor);
    return;
  }
  // The body turns towards the target: the inverse look-at from the origin towards the target
  // (in the camera's frame), on top of the camera's matrix, which is restored afterwards.
  const TMatrix3D saved = context->CurrentMatrix();
  const TPoint3D position = AbsolutePosition();
  const TPoint3D towards = target->AbsolutePosition() - position;
  const TPoint3D local = target->AbsolutePosition() * AbsoluteMatrix().Inverse();
  try {
    context->SetMatrix(TMatrix3D::CreateLookAtRH({0, 0, 0}, local, {0, -1, 0}).Inverse() * saved);
    drawBody();
    // The line of sight in world space.
    context->SetMatrix(TMatrix3D::Identity());
    context->DrawLine(position, position + towards * SightLength, 1, CameraLensColor);
  } catch (...) {
    context->SetMatrix(saved);
    throw;
  }
  context->SetMatrix(saved);
}

TMatrix3D TVantrelCamera::PerspectiveMatrix() const {
  throw Exception("");
}

void TVantrelCamera::AssignFrom(const TPersistent* ASource) {
  auto* source = const_cast<TCamera*>(dynamic_cast<const TCamera*>(ASource));
  if (!source)
    return;
  SetAbsolutePosition(source->AbsolutePosition());
  ResetRotationAngle();
  RotationAngle()->SetPoint(source->RotationAngle()->Point());
  SetTarget(source->Target());
  SetAngleOfView(source->AngleOfView());
  if (dynamic_cast<const TVantrelCamera*>(ASource))
    FUpdateNeeded = true;
}

void TVantrelCamera::MatrixChanged() {
  FUpdateNeeded = true;
  inherited::MatrixChanged();
}

// TVantrelSmoothCameraController

TVantrelSmoothCameraController::TVantrelSmoothCameraController(TComponent* AOwner)
    : TDummy(AOwner),
      FOnInternalMouseUp(this, &TVantrelSmoothCameraController::InternalMouseUp),
      FOnInternalMouseDown(this, &TVantrelSmoothCameraController::InternalMouseDown),
      FOnInternalMouseMove(this, &TVantrelSmoothCameraController::InternalMouseMove),
      FOnInternalMouseWheel(this, &TVantrelSmoothCameraController::InternalMouseWheel) {
  FTimer = New<ui::TTimer>(this);
  FTimer->SetInterval(StepInterval);
  FTimer->SetOnTimer([this](TObject* ASender) { UpdateStep(ASender); });
  FTimer->SetEnabled(true);
}

void TVantrelSmoothCameraController::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelSmoothCameraController;
  AList.Add("Camera", &C::GetCamera, &C::SetCamera).AsReference();
  AList.Add("Viewport", &C::GetViewport, &C::SetViewport).AsReference();
  AList.Add("ShowController", &C::GetShowController, &C::SetShowController).WithDefault(false);
  AList.Add("Types", &C::GetTypes, &C::SetTypes)
      .WithDefault(TVantrelSmoothCameraControlTypes{
          TVantrelSmoothCameraControlType::scctRotateY, TVantrelSmoothCameraControlType::scctMoveY,
          TVantrelSmoothCameraControlType::scctZoom, TVantrelSmoothCameraControlType::scctShiftX,
          TVantrelSmoothCameraControlType::scctShiftY, TVantrelSmoothCameraControlType::scctShiftZ});
  AList.Add("ImpulseLimitRotate", &C::GetImpulseLimitRotate, &C::SetImpulseLimitRotate).WithDefault(75.0f);
  AList.Add("ImpulseLimitUpAndDown", &C::GetImpulseLimitUpAndDown, &C::SetImpulseLimitUpAndDown)
      .WithDefault(50.0f);
  AList.Add("ImpulseLimitZoom", &C::GetImpulseLimitZoom, &C::SetImpulseLimitZoom).WithDefault(50.0f);
  AList.Add("IntensityRotate", &C::GetIntensityRotate, &C::SetIntensityRotate).WithDefault(15.0f);
  AList.Add("IntensityUpAndDown", &C::GetIntensityUpAndDown, &C::SetIntensityUpAndDown).WithDefault(1.0f);
  AList.Add("IntensityZoom", &C::GetIntensityZoom, &C::SetIntensityZoom).WithDefault(1.0f);
  AList.Add("DampingRotate", &C::GetDampingRotate, &C::SetDampingRotate).WithDefault(1.5f);
  AList.Add("DampingUpAndDown", &C::GetDampingUpAndDown, &C::SetDampingUpAndDown).WithDefault(1.5f);
  AList.Add("DampingZoom", &C::GetDampingZoom, &C::SetDampingZoom).WithDefault(1.0f);
  AList.Add("LimitRotationMin", &C::GetLimitRotationMin, &C::SetLimitRotationMin).WithDefault(0.0f);
  AList.Add("LimitRotationMax", &C::GetLimitRotationMax, &C::SetLimitRotationMax).WithDefault(360.0f);
  AList.Add("LimitUpAndDownMin", &C::GetLimitUpAndDownMin, &C::SetLimitUpAndDownMin).WithDefault(-10.0f);
  AList.Add("LimitUpAndDownMax", &C::GetLimitUpAndDownMax, &C::SetLimitUpAndDownMax).WithDefault(10.0f);
  AList.Add("LimitZoomMin", &C::GetLimitZoomMin, &C::SetLimitZoomMin).WithDefault(-100.0f);
  AList.Add("LimitZoomMax", &C::GetLimitZoomMax, &C::SetLimitZoomMax).WithDefault(-1.0f);
  AList.Add("ShiftImpulseLimit", &C::GetShiftImpulseLimit, &C::SetShiftImpulseLimit).WithDefault(65.0f);
  AList.Add("ShiftDamping", &C::GetShiftDamping, &C::SetShiftDamping).WithDefault(1.5f);
  AList.Add("ShiftIntensity", &C::GetShiftIntensity, &C::SetShiftIntensity).WithDefault(0.5f);
  AList.Add("Interval", &C::GetInterval, &C::SetInterval).WithDefault(StepInterval);
  AList.Add("Enabled", &C::GetEnabled, &C::SetEnabled).WithDefault(true);
  AList.AddEvent("OnBeforeModify", &C::OnBeforeModify);
  AList.AddEvent("OnAfterModify", &C::OnAfterModify);
}

void TVantrelSmoothCameraController::BeforeDestruction() {
  SetViewport(nullptr);
  if (FCamera)
    FCamera->RemoveFreeNotification(this);
  FCamera = nullptr;
  if (FTimer)
    FTimer->SetEnabled(false);
  inherited::BeforeDestruction();
}

void TVantrelSmoothCameraController::Render() {
  TContext3D* context = Context();
  if (!context || !(FShowController || Designing(*this)))
    return;
  try {
    context->DrawCube({0, 0, 0}, {Width() / 8, Height() / 8, Depth() / 8}, 1, 0xFFFFFFFF);
    context->DrawCube({0, 0, 0}, {Width() / 4, Height() / 4, Depth() / 4}, 1, 0xFFFF0000);
  } catch (const std::exception&) {
    // A drawing aid: its failure must not stop the frame.
  }
}

void TVantrelSmoothCameraController::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove)
    return;
  if (AComponent == FCamera)
    FCamera = nullptr;
  if (AComponent == FViewport)
    SetViewport(nullptr);
  if (AComponent == FTimer)
    FTimer = nullptr;
}

void TVantrelSmoothCameraController::SetCamera(TCamera* AValue) {
  if (FCamera == AValue)
    return;
  if (FCamera)
    FCamera->RemoveFreeNotification(this);
  FCamera = AValue;
  if (!FCamera)
    return;
  FCamera->FreeNotification(this);
  FCamera->SetParent(this);
  FCamera->SetTarget(this);
  if (AtOrigin(FCamera->Position()->Point()))
    FCamera->Position()->SetPoint({0, -10, -25});
}

void TVantrelSmoothCameraController::SetViewport(TControl* AValue) {
  if (AValue == FViewport || (AValue && !IsFrameworkViewport(AValue)))
    return;
  if (FViewport) {
    UnhookViewport();
    FViewport->RemoveFreeNotification(this);
  }
  FViewport = AValue;
  if (FViewport) {
    FViewport->FreeNotification(this);
    HookViewport();
  }
}

void TVantrelSmoothCameraController::HookViewport() {
  FOnStoredMouseDown = FViewport->OnMouseDown;
  FOnStoredMouseUp = FViewport->OnMouseUp;
  FOnStoredMouseMove = FViewport->OnMouseMove;
  FOnStoredMouseWheel = FViewport->OnMouseWheel;
  FViewport->OnMouseDown = FOnInternalMouseDown;
  FViewport->OnMouseUp = FOnInternalMouseUp;
  FViewport->OnMouseMove = FOnInternalMouseMove;
  FViewport->OnMouseWheel = FOnInternalMouseWheel;
}

void TVantrelSmoothCameraController::UnhookViewport() {
  // A handler someone else installed after us stays: only our own are given back.
  if (FViewport->OnMouseDown == FOnInternalMouseDown)
    FViewport->OnMouseDown = FOnStoredMouseDown;
  if (FViewport->OnMouseUp == FOnInternalMouseUp)
    FViewport->OnMouseUp = FOnStoredMouseUp;
  if (FViewport->OnMouseMove == FOnInternalMouseMove)
    FViewport->OnMouseMove = FOnStoredMouseMove;
  if (FViewport->OnMouseWheel == FOnInternalMouseWheel)
    FViewport->OnMouseWheel = FOnStoredMouseWheel;
  FOnStoredMouseDown = nullptr;
  FOnStoredMouseUp = nullptr;
  FOnStoredMouseMove = nullptr;
  FOnStoredMouseWheel = nullptr;
}

int TVantrelSmoothCameraController::GetInterval() const {
  return FTimer ? FTimer->GetInterval() : 0;
}

void TVantrelSmoothCameraController::SetInterval(int AValue) {
  if (FTimer)
    FTimer->SetInterval(AValue);
}

bool TVantrelSmoothCameraController::GetEnabled() const {
  return FTimer && FTimer->GetEnabled();
}

void TVantrelSmoothCameraController::SetEnabled(bool AValue) {
  if (!FTimer || FTimer->GetEnabled() == AValue)
    return;
  FTimer->SetEnabled(AValue);
  if (AValue) {
    FStopWatch.Reset();
    FStopWatch.Start();
  }
}

void TVantrelSmoothCameraController::AddImpulse(const TPointF& AOfs) {
  FImpulse.X += AOfs.X;
  FImpulse.Y -= AOfs.Y;
}

void TVantrelSmoothCameraController::AddXImpulse(float AAngle) {
  FImpulse.X += AAngle;
}

void TVantrelSmoothCameraController::AddYImpulse(float AAngle) {
  FImpulse.Y -= AAngle;
}

void TVantrelSmoothCameraController::Zoom(float AStrength) {
  FImpulse.Z += AStrength;
}

void TVantrelSmoothCameraController::Shift(const TPoint3D& AOfs) {
  FShiftImpulse = FShiftImpulse + AOfs;
}

void TVantrelSmoothCameraController::InternalMouseDown(TObject* ASender, TMouseButton AButton, TShiftState AShift,
                                                       float AX, float AY) {
  FMouseMove = true;
  FLastMousePos = {AX, AY};
  FOnStoredMouseDown(ASender, AButton, AShift, AX, AY);
}

void TVantrelSmoothCameraController::InternalMouseUp(TObject* ASender, TMouseButton AButton, TShiftState AShift,
                                                     float AX, float AY) {
  FMouseMove = false;
  FOnStoredMouseUp(ASender, AButton, AShift, AX, AY);
}

void TVantrelSmoothCameraController::InternalMouseMove(TObject* ASender, TShiftState AShift, float AX, float AY) {
  if (FMouseMove) {
    const TPointF delta{AX - FLastMousePos.X, AY - FLastMousePos.Y};
    if (AShift.Contains(TShiftStateItem::ssLeft))
      AddImpulse(delta);
    else if (AShift.Contains(TShiftStateItem::ssRight)) {
      if (AShift.Contains(TShiftStateItem::ssShift))
        Shift({delta.X, delta.Y, 0});
      else
        Shift({delta.X, 0, -delta.Y});
    }
  }
  FLastMousePos = {AX, AY};
  FOnStoredMouseMove(ASender, AShift, AX, AY);
}

void TVantrelSmoothCameraController::InternalMouseWheel(TObject* ASender, TShiftState AShift, int AWheelDelta,
                                                        bool& AHandled) {
  Zoom(static_cast<float>(AWheelDelta * (AShift.Contains(TShiftStateItem::ssShift) ? 2.0 : 0.15)));
  AHandled = true;
  FOnStoredMouseWheel(ASender, AShift, AWheelDelta, AHandled);
}

float TVantrelSmoothCameraController::AxisStep(const TAxis& AAxis, float& AImpulse, float AValue) {
  float value = AValue;
  OnBeforeModify(this, AAxis.Type, value);
  const float sign = Sign(AImpulse);
  if (std::fabs(AImpulse) > AAxis.Limit)
    AImpulse = sign * AAxis.Limit;
  if (sign != 0) {
    const double reduction = sign * std::log(std::fabs(double(AImpulse))) * AAxis.Damping;
    AImpulse = static_cast<float>(AImpulse - reduction);
    double next = value + sign * AAxis.Intensity * std::sqrt(std::fabs(reduction));
    if (AAxis.Wrap) {
      next = std::fmod(next, 360.0);
      if (next < 0)
        next += 360.0;
    }
    value = static_cast<float>(std::clamp(next, double(AAxis.Min), double(AAxis.Max)));
  } else {
    value = std::clamp(value, AAxis.Min, AAxis.Max);
  }
  OnAfterModify(this, AAxis.Type, value);
  return value;
}

float TVantrelSmoothCameraController::ShiftStep(TVantrelSmoothCameraControlType AType, float& AImpulse,
                                                float ASeconds) {
  if (!FTypes.Contains(AType) || std::fabs(AImpulse) < FShiftDamping + 0.01f)
    return 0;
  return AxisStep({AType, FShiftImpulseLimit, FShiftDamping, FShiftIntensity * ASeconds, -1000, 1000, false},
                  AImpulse, 0);
}

void TVantrelSmoothCameraController::UpdateStep(TObject*) {
  if (!FCamera || FIsUpdating)
    return;
  TControl* viewport = FViewport;
  TCamera* camera = FCamera;
  if (viewport)
    viewport->BeginUpdate();
  BeginUpdate();
  FIsUpdating = true;
  // The brackets end also when a step (or an event handler) raises.
  struct TEndStep {
    TVantrelSmoothCameraController* Self;
    TControl* Viewport;
    TCamera* Camera;
    ~TEndStep() {
      Self->FIsUpdating = false;
      Self->EndUpdate();
      // Matrix changes wait while a control updates: the turned angle and the moved positions
      // are applied now.
      if (!Self->IsUpdating()) {
        Self->RotationChanged(Self);
        Self->MatrixChanged();
        if (Self->FCamera == Camera)
          Camera->MatrixChanged();
      }
      if (Viewport)
        Viewport->EndUpdate();
    }
  } end{this, viewport, camera};
  const float seconds = static_cast<float>(FStopWatch.ElapsedMilliseconds() / 1000.0);
  FStopWatch.Reset();
  FStopWatch.Start();
  Step(seconds);
}

void TVantrelSmoothCameraController::Step(float ASeconds) {
  using T = TVantrelSmoothCameraControlType;
  const float sx = ShiftStep(T::scctShiftX, FShiftImpulse.X, ASeconds);
  const float sy = ShiftStep(T::scctShiftY, FShiftImpulse.Y, ASeconds);
  const float sz = ShiftStep(T::scctShiftZ, FShiftImpulse.Z, ASeconds);
  if (sx != 0 || sy != 0 || sz != 0)
    Position()->SetPoint(Position()->Point() + FCamera->AbsoluteLeft() * sx + FCamera->AbsoluteDirection() * sz +
                         FCamera->AbsoluteUp() * sy);

  if (FTypes.Contains(T::scctRotateY) && std::fabs(FImpulse.X) >= 2 * FDamping.X + 0.01f) {
    const float angle = AxisStep({T::scctRotateY, FImpulseLimit.X, FDamping.X, FIntensity.X * ASeconds, FLimitX.X,
                                  FLimitX.Y, true},
                                 FImpulse.X, RotationAngle()->Y());
    RotationAngle()->SetY(angle);
  }
  if (FTypes.Contains(T::scctMoveY) && std::fabs(FImpulse.Y) >= FDamping.Y + 0.01f) {
    const float height = AxisStep({T::scctMoveY, FImpulseLimit.Y, FDamping.Y, FIntensity.Y * ASeconds, FLimitY.X,
                                   FLimitY.Y, false},
                                  FImpulse.Y, FCamera->Position()->Y());
    FCamera->Position()->SetY(height);
  }
  if (FTypes.Contains(T::scctZoom) && std::fabs(FImpulse.Z) >= FDamping.Z + 0.01f) {
    const float distance = AxisStep({T::scctZoom, FImpulseLimit.Z, FDamping.Z, FIntensity.Z * ASeconds, FLimitZ.X,
                                     FLimitZ.Y, false},
                                    FImpulse.Z, FCamera->Position()->Z());
    FCamera->Position()->SetZ(distance);
  }
}

// Start-up.

namespace {

int CameraInitCount = 0;

} // namespace

void InitializeCamera() {
  if (CameraInitCount++ > 0)
    return;
  RegisterFmxClasses();
  RegisterClass(TVantrelCamera::StaticClass());
  RegisterClass(TVantrelSmoothCameraController::StaticClass());
  TVantrelCamera::RegisterFields();
}

void FinalizeCamera() {
  if (CameraInitCount == 0 || --CameraInitCount > 0)
    return;
  UnRegisterFields(TVantrelCamera::StaticClass());
  UnRegisterClass(TVantrelSmoothCameraController::StaticClass());
  UnRegisterClass(TVantrelCamera::StaticClass());
  UnregisterFmxClasses();
}

} // namespace vantrel
