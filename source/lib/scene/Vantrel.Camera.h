#pragma once
// The framework's camera and the smooth camera controller.
//
// TVantrelCamera is the UI camera with a flag that tells the viewport the view changed
// (UpdateNeeded: set by every matrix change and by AssignFrom; the viewport calls Update and
// clears it) and FOV, the angle of view under the framework's name.
//
// TVantrelSmoothCameraController is a dummy that carries a camera as its child and moves it
// smoothly: drags and the wheel on a framework viewport add impulses, and a 33 ms timer turns
// them, with damping and limits, into a rotation about the controller's Y axis, the camera's
// height, its distance (zoom) and a shift of the controller along the camera's own axes.

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/method.h"
#include "rtl/set.h"
#include "rtl/stopwatch.h"
#include "rtl/typeinfo.h"
#include "ui/controls.h"
#include "ui/controls3d.h"

namespace ui {
class TTimer;
}

namespace vantrel {

class TVantrelCamera : public TCamera {
  RTL_CLASS(TVantrelCamera, TCamera)
public:
  explicit TVantrelCamera(TComponent* AOwner) : TCamera(AOwner) {}
  // Publishes FOV.
  static void RegisterProperties(TPropertyList& AList);
  static void RegisterFields();

  bool UpdateNeeded() const { return FUpdateNeeded; }
  void SetUpdateNeeded(bool AValue) { FUpdateNeeded = AValue; }
  float GetFOV() const { return AngleOfView(); }
  void SetFOV(float AValue) { SetAngleOfView(AValue); }
  // Not available: raises Exception with an empty message.
  TMatrix3D PerspectiveMatrix() const;

  // Applies pending changes of the camera; the base has none.
  virtual void Update() {}
  // From a UI camera: its absolute position, then (rotation reset) its rotation angle, target
  // and angle of view. From a framework camera also UpdateNeeded. Anything else changes nothing.
  void AssignFrom(const TPersistent* ASource);

  void MatrixChanged() override;

  // Makes the own definition (under the owner's node definition when the owner has one).
  void AfterConstruction() override;
  // Clears Def and frees a standalone own definition.
  void BeforeDestruction() override;
  TCameraDef* Def() const { return FDef; }
  void SetDef(TCameraDef* AValue) { FDef = AValue; }
  TCameraDef* SelfDef() const { return FSelfDef; }
  // The own definition is the camera's to free: it was not registered in a model's list.
  bool OwnsDefinition() const { return FDefIsStandalone; }
  // Def, the name (when empty), the target (a global 3D control of that name, else none), FOV and
  // the local matrix from ADef. Aspect ratio, near and far planes are not applied.
  virtual void LoadFromDefinition(TCameraDef* ADef);

  // The Tag of a camera that never draws itself at design time.
  static constexpr NativeInt HiddenDesignTag = 65534;

protected:
  // At design time: a body, a lens pointing along +Z (or towards the target) and the line of
  // sight.
  void Render() override;

private:
  TCameraDef* FDef = nullptr;
  TCameraDef* FSelfDef = nullptr;
  bool FDefIsStandalone = false;
  bool FUpdateNeeded = false;
};

enum class TVantrelSmoothCameraControlType : uint8_t {
  scctRotateY,
  scctMoveY,
  scctZoom,
  scctShiftX,
  scctShiftY,
  scctShiftZ
};
RTL_ENUM_TYPEINFO(TVantrelSmoothCameraControlType, "scctRotateY", "scctMoveY", "scctZoom", "scctShiftX",
                  "scctShiftY", "scctShiftZ")
using TVantrelSmoothCameraControlTypes = TSet<TVantrelSmoothCameraControlType>;

// Sender, the axis and its value, which the handler may change.
using TOnCameraControllerEvent = TMethodEvent<TObject*, TVantrelSmoothCameraControlType, float&>;

class TVantrelSmoothCameraController : public TDummy {
  RTL_CLASS(TVantrelSmoothCameraController, TDummy)
public:
  // The defaults, the owned 33 ms timer (enabled) and the started stopwatch.
  explicit TVantrelSmoothCameraController(TComponent* AOwner);
  static void RegisterProperties(TPropertyList& AList);

  // Unhooks the viewport, clears the camera and stops the timer.
  void BeforeDestruction() override;

  // The timer's handler: one step of every axis by the time since the last step.
  virtual void UpdateStep(TObject* ASender);

  TCamera* GetCamera() const { return FCamera; }
  // Takes ACamera as child and target of the controller; one at the origin moves to (0, -10, -25).
  virtual void SetCamera(TCamera* AValue);
  TControl* GetViewport() const { return FViewport; }
  // Only a framework viewport or nil; anything else, and the current value, is ignored. The
  // viewport's four mouse events are taken over and given back on unhooking, where nobody
  // replaced them meanwhile.
  virtual void SetViewport(TControl* AValue);
  // The timer's interval; 0 without a timer.
  virtual int GetInterval() const;
  virtual void SetInterval(int AValue);
  virtual bool GetEnabled() const;
  // Enabling restarts the stopwatch.
  virtual void SetEnabled(bool AValue);

  // Impulse X += AOfs.X (rotation), impulse Y -= AOfs.Y (height).
  virtual void AddImpulse(const TPointF& AOfs);
  virtual void AddXImpulse(float AAngle);
  virtual void AddYImpulse(float AAngle);
  virtual void Zoom(float AStrength);
  virtual void Shift(const TPoint3D& AOfs);

  bool GetShowController() const { return FShowController; }
  void SetShowController(bool AValue) { FShowController = AValue; }
  TVantrelSmoothCameraControlTypes GetTypes() const { return FTypes; }
  void SetTypes(TVantrelSmoothCameraControlTypes AValue) { FTypes = AValue; }
  const TPoint3D& Impulse() const { return FImpulse; }
  void SetImpulse(const TPoint3D& AValue) { FImpulse = AValue; }
  const TPoint3D& ShiftImpulse() const { return FShiftImpulse; }

  float GetImpulseLimitRotate() const { return FImpulseLimit.X; }
  void SetImpulseLimitRotate(float AValue) { FImpulseLimit.X = AValue; }
  float GetImpulseLimitUpAndDown() const { return FImpulseLimit.Y; }
  void SetImpulseLimitUpAndDown(float AValue) { FImpulseLimit.Y = AValue; }
  float GetImpulseLimitZoom() const { return FImpulseLimit.Z; }
  void SetImpulseLimitZoom(float AValue) { FImpulseLimit.Z = AValue; }
  float GetIntensityRotate() const { return FIntensity.X; }
  void SetIntensityRotate(float AValue) { FIntensity.X = AValue; }
  float GetIntensityUpAndDown() const { return FIntensity.Y; }
  void SetIntensityUpAndDown(float AValue) { FIntensity.Y = AValue; }
  float GetIntensityZoom() const { return FIntensity.Z; }
  void SetIntensityZoom(float AValue) { FIntensity.Z = AValue; }
  float GetDampingRotate() const { return FDamping.X; }
  void SetDampingRotate(float AValue) { FDamping.X = AValue; }
  float GetDampingUpAndDown() const { return FDamping.Y; }
  void SetDampingUpAndDown(float AValue) { FDamping.Y = AValue; }
  float GetDampingZoom() const { return FDamping.Z; }
  void SetDampingZoom(float AValue) { FDamping.Z = AValue; }
  float GetLimitRotationMin() const { return FLimitX.X; }
  void SetLimitRotationMin(float AValue) { FLimitX.X = AValue; }
  float GetLimitRotationMax() const { return FLimitX.Y; }
  void SetLimitRotationMax(float AValue) { FLimitX.Y = AValue; }
  float GetLimitUpAndDownMin() const { return FLimitY.X; }
  void SetLimitUpAndDownMin(float AValue) { FLimitY.X = AValue; }
  float GetLimitUpAndDownMax() const { return FLimitY.Y; }
  void SetLimitUpAndDownMax(float AValue) { FLimitY.Y = AValue; }
  float GetLimitZoomMin() const { return FLimitZ.X; }
  void SetLimitZoomMin(float AValue) { FLimitZ.X = AValue; }
  float GetLimitZoomMax() const { return FLimitZ.Y; }
  void SetLimitZoomMax(float AValue) { FLimitZ.Y = AValue; }
  float GetShiftImpulseLimit() const { return FShiftImpulseLimit; }
  void SetShiftImpulseLimit(float AValue) { FShiftImpulseLimit = AValue; }
  float GetShiftDamping() const { return FShiftDamping; }
  void SetShiftDamping(float AValue) { FShiftDamping = AValue; }
  float GetShiftIntensity() const { return FShiftIntensity; }
  void SetShiftIntensity(float AValue) { FShiftIntensity = AValue; }

  ui::TTimer* Timer() const { return FTimer; }

  TOnCameraControllerEvent OnBeforeModify;
  TOnCameraControllerEvent OnAfterModify;

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  // With ShowController or at design time: two wire cubes (an eighth of the size in white, a
  // quarter in red). A drawing error is swallowed: the aid must never stop a frame.
  void Render() override;

private:
  TCamera* FCamera = nullptr;
  TControl* FViewport = nullptr;
  ui::TTimer* FTimer = nullptr;
  TStopwatch FStopWatch = TStopwatch::StartNew();
  bool FShowController = false;
  TVantrelSmoothCameraControlTypes FTypes{
      TVantrelSmoothCameraControlType::scctRotateY, TVantrelSmoothCameraControlType::scctMoveY,
      TVantrelSmoothCameraControlType::scctZoom,    TVantrelSmoothCameraControlType::scctShiftX,
      TVantrelSmoothCameraControlType::scctShiftY,  TVantrelSmoothCameraControlType::scctShiftZ};
  TPoint3D FImpulse{0, 0, 0};
  TPoint3D FImpulseLimit{75, 50, 50};
  TPoint3D FIntensity{15, 1, 1};
  TPoint3D FDamping{1.5f, 1.5f, 1};
  TPointF FLimitX{0, 360};
  TPointF FLimitY{-10, 10};
  TPointF FLimitZ{-100, -1};
  TPoint3D FShiftImpulse{0, 0, 0};
  float FShiftImpulseLimit = 65;
  float FShiftDamping = 1.5f;
  float FShiftIntensity = 0.5f;
  bool FIsUpdating = false;
  bool FMouseMove = false;
  TPointF FLastMousePos;
  TMouseEvent FOnInternalMouseUp, FOnInternalMouseDown;
  TMouseMoveEvent FOnInternalMouseMove;
  TMouseWheelEvent FOnInternalMouseWheel;
  TMouseEvent FOnStoredMouseUp, FOnStoredMouseDown;
  TMouseMoveEvent FOnStoredMouseMove;
  TMouseWheelEvent FOnStoredMouseWheel;

  struct TAxis {
    TVantrelSmoothCameraControlType Type;
    float Limit, Damping, Intensity, Min, Max;
    bool Wrap;
  };
  // Damps AImpulse in place and answers the new value of the axis from AValue.
  float AxisStep(const TAxis& AAxis, float& AImpulse, float AValue);
  // The shift of one camera axis; 0 when the type is off or the impulse below the threshold.
  float ShiftStep(TVantrelSmoothCameraControlType AType, float& AImpulse, float ASeconds);
  void Step(float ASeconds);

  void HookViewport();
  void UnhookViewport();
  void InternalMouseDown(TObject* ASender, TMouseButton AButton, TShiftState AShift, float AX, float AY);
  void InternalMouseUp(TObject* ASender, TMouseButton AButton, TShiftState AShift, float AX, float AY);
  void InternalMouseMove(TObject* ASender, TShiftState AShift, float AX, float AY);
  void InternalMouseWheel(TObject* ASender, TShiftState AShift, int AWheelDelta, bool& AHandled);
};

void InitializeCamera();
void FinalizeCamera();

} // namespace vantrel
