#pragma once
// 3D controls. A TControl3D has a local matrix built from Scale, a rotation and Position (row
// vectors: scale first, then rotation, then translation) and an absolute matrix = local x the 3D
// parent's absolute matrix. The rotation is held as a quaternion, which is authoritative:
// RotationAngle's handlers turn it incrementally by the change of each angle, since Euler angles
// read back from a matrix are no inverse of the angles that built it. An unrotated control faces
// +Z with up (0, -1, 0) and left (-1, 0, 0).
//
// A control draws through RenderInternal: the context's current matrix becomes the absolute
// matrix (SetMatrix only stores it), then Render, then OnRender, then the children of the
// rendering list. Picking goes through ObjectAtPoint with the global picking distance and
// projection below.

#include <vector>

#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "ui/controls.h"
#include "ui/types3d.h"

namespace ui {

class IViewport3D;
class TContext3D;

// The picking globals: the nearest hit distance so far and the projection being picked. The
// viewport resets them before each pick; controls lower the distance as they hit.
float GlobalDistance();
void SetGlobalDistance(float AValue);
TProjection GlobalProjection();
void SetGlobalProjection(TProjection AValue);

// A 3D position with change events. X, Y and Z fire OnChangeX/Y/Z when that event is assigned,
// else OnChange; Point, Vector and Assign fire OnChange. Nothing fires when the value stays.
class TPosition3D : public rtl::TPersistent {
  RTL_CLASS(TPosition3D, rtl::TPersistent)
public:
  TPosition3D() = default;
  // AValue is also the point's default: an axis is stored only while it differs from it.
  explicit TPosition3D(const rtl::TPoint3D& AValue) : FPoint(AValue), FDefault(AValue) {}
  static void RegisterProperties(rtl::TPropertyList& AList);

  float X() const { return FPoint.X; }
  float Y() const { return FPoint.Y; }
  float Z() const { return FPoint.Z; }
  void SetX(float AValue);
  void SetY(float AValue);
  void SetZ(float AValue);
  rtl::TPoint3D Point() const { return FPoint; }
  void SetPoint(const rtl::TPoint3D& AValue);
  // The point with W = 1.
  rtl::TVector3D Vector() const { return {FPoint.X, FPoint.Y, FPoint.Z, 1}; }
  void SetVector(const rtl::TVector3D& AValue) { SetPoint({AValue.X, AValue.Y, AValue.Z}); }
  // Sets the point without any notification.
  void SetPointNoChange(const rtl::TPoint3D& AValue) { FPoint = AValue; }
  void Assign(const rtl::TPersistent* ASource) override;

  TNotifyEvent OnChange, OnChangeX, OnChangeY, OnChangeZ;

private:
  rtl::TPoint3D FPoint;
  rtl::TPoint3D FDefault;

  bool IsXStored() const { return FPoint.X != FDefault.X; }
  bool IsYStored() const { return FPoint.Y != FDefault.Y; }
  bool IsZStored() const { return FPoint.Z != FDefault.Z; }
  void SetAxis(float& AAxis, float AValue, const TNotifyEvent& AEvent);
};

using TMouseEvent3D = rtl::TMethodEvent<rtl::TObject*, TMouseButton, TShiftState, float, float,
                                        const rtl::TVector3D&, const rtl::TVector3D&>;
using TMouseMoveEvent3D =
    rtl::TMethodEvent<rtl::TObject*, TShiftState, float, float, const rtl::TVector3D&, const rtl::TVector3D&>;
using TRenderEvent = rtl::TMethodEvent<rtl::TObject*, TContext3D*>;

class TControl3D : public TFmxObject, public IControl {
  RTL_CLASS(TControl3D, TFmxObject)
public:
  explicit TControl3D(rtl::TComponent* AOwner);
  static void RegisterProperties(rtl::TPropertyList& AList);
  static void RegisterFields();

  // Leaves the viewport (3D children are told) while the control is whole.
  void BeforeDestruction() override;

  TPosition3D* Position() const { return FPosition.get(); }
  TPosition3D* Scale() const { return FScale.get(); }
  TPosition3D* RotationAngle() const { return FRotationAngle.get(); }
  TPosition3D* RotationCenter() const { return FRotationCenter.get(); }

  float Width() const { return FWidth; }
  float Height() const { return FHeight; }
  float Depth() const { return FDepth; }
  virtual void SetWidth(float AValue);
  virtual void SetHeight(float AValue);
  virtual void SetDepth(float AValue);
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool AValue);
  TProjection Projection() const { return FProjection; }
  virtual void SetProjection(TProjection AValue);
  bool HitTest() const { return FHitTest; }
  void SetHitTest(bool AValue) { FHitTest = AValue; }
  bool Locked() const { return FLocked; }
  void SetLocked(bool AValue) { FLocked = AValue; }
  // Locked against design-time editing (objects a viewport makes for itself, such as its design
  // camera); not streamed.
  bool DesignLocked() const { return FDesignLocked; }
  void SetDesignLocked(bool AValue) { FDesignLocked = AValue; }
  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool AValue);
  float Opacity() const { return FOpacity; }
  void SetOpacity(float AValue);
  // The opacity times the 3D parent's absolute opacity.
  float AbsoluteOpacity() const;
  bool ZWrite() const { return FZWrite; }
  void SetZWrite(bool AValue);
  bool TwoSide() const { return FTwoSide; }
  void SetTwoSide(bool AValue);
  bool VisibleContextMenu() const { return FVisibleContextMenu; }
  void SetVisibleContextMenu(bool AValue) { FVisibleContextMenu = AValue; }
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor AValue) { FCursor = AValue; }
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode AValue) { FDragMode = AValue; }
  bool IsFocused() const { return FIsFocused; }

  // Transform state.
  const rtl::TMatrix3D& LocalMatrix() const { return FLocalMatrix; }
  // Stores the local matrix as it is and flags the absolute matrices (no decomposition).
  void SetLocalMatrixValue(const rtl::TMatrix3D& AMatrix);
  // The stored rotation.
  rtl::TQuaternion3D Quaternion() const { return FQuaternion; }
  // Takes AValue as the rotation: RotationAngle becomes its Euler angles (X, Y, Z order,
  // degrees) without notification, the saved angles (0, 0, 0); the local matrix is rebuilt from
  // scale, the quaternion and position.
  void SetQuaternion(const rtl::TQuaternion3D& AValue);
  // Stores the rotation alone (no angles, no matrix), for helpers that rebuild the rest.
  void SetQuaternionValue(const rtl::TQuaternion3D& AValue) { FQuaternion = AValue; }
  rtl::TPoint3D SavedRotationAngle() const { return FSavedRotationAngle; }
  void SetSavedRotationAngle(const rtl::TPoint3D& AValue) { FSavedRotationAngle = AValue; }
  // The matrix-change handler: rebuilds the local matrix from Scale, the rotation (around
  // RotationCenter) and Position. While updating it only notes the change, and the outermost
  // EndUpdate rebuilds once.
  virtual void MatrixChanged();
  // Ends one update level; the outermost applies the rotation and matrix changes noted during
  // the update (animation tracks write inside one), so the matrix never stays stale.
  void EndUpdate() override;
  // The local matrix from Scale, the quaternion (without centre) and Position.
  void RebuildLocalMatrixFromQuaternion();
  // Identity rotation, angles and saved angles 0 without notification, then the matrix rebuilt.
  void ResetRotationAngle();

  // Absolute state, cached until RecalcAbsolute flags this control and its 3D descendants.
  const rtl::TMatrix3D& AbsoluteMatrix();
  const rtl::TMatrix3D& InvAbsoluteMatrix();
  void RecalcAbsolute();
  rtl::TPoint3D AbsolutePosition();
  void SetAbsolutePosition(const rtl::TPoint3D& AValue);
  // Unit directions of local +Z, -Y and -X.
  rtl::TPoint3D AbsoluteDirection();
  rtl::TPoint3D AbsoluteUp();
  rtl::TPoint3D AbsoluteLeft();
  rtl::TPoint3D LocalToAbsolute3D(const rtl::TPoint3D& APoint);
  rtl::TPoint3D AbsoluteToLocal3D(const rtl::TPoint3D& APoint);
  // Directions (W = 0), not normalised.
  rtl::TVector3D LocalToAbsoluteVector(const rtl::TVector3D& AVector);
  rtl::TVector3D AbsoluteToLocalVector(const rtl::TVector3D& AVector);

  // Viewport link.
  IViewport3D* Viewport() const { return FViewport; }
  // Takes AViewport and passes it on to the 3D children.
  virtual void SetNewViewport(IViewport3D* AViewport);
  // The viewport's context, or nullptr.
  TContext3D* Context() const;
  // Asks the viewport for a new frame.
  void Repaint();

  // Drawing.
  void RenderInternal();
  // The visible 3D children in child order.
  const std::vector<TControl3D*>& RenderingList() const { return FRenderingList; }
  void RebuildRenderingList();
  void ClearRenderingList() { FRenderingList.clear(); }

  // The local box, centred, Width x Height x Depth.
  virtual rtl::TBoundingBox GetBoundingBox();
  // The local box through the absolute matrix.
  virtual rtl::TBoundingBox GetAbsoluteBoundingBox();
  // A ray in local coordinates against the control; on a hit AIntersection is the absolute hit
  // point. The base tests the local box.
  virtual bool RayCastIntersect(const rtl::TVector3D& ARayPos, const rtl::TVector3D& ARayDir,
                                rtl::TVector3D& AIntersection);

  rtl::TObject* GetObject() override { return this; }
  bool GetVisible() const override { return FVisible; }
  IControl* ObjectAtPoint(rtl::TPointF APoint) override;
  // Picking with the ray and the hit: the children from last to first, then the control itself
  // against the global picking distance and projection (which a hit lowers).
  IControl* ObjectAtPoint(rtl::TPointF APoint, rtl::TVector3D& ARayPos, rtl::TVector3D& ARayDir,
                          rtl::TPoint3D& AIntersection);
  // Picks like ObjectAtPoint over the controls whose DragOver answers an operation other than
  // None: a control that does not accept hides nothing behind it.
  IControl* FindTarget(rtl::TPointF APoint, const TDragObject& AData) override;
  // Fires OnDragOver; AOperation comes in as the caller set it.
  virtual void DragOver(const TDragObject& AData, const rtl::TPointF& APoint, TDragOperation& AOperation);

  virtual void MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY,
                         const rtl::TVector3D& ARayPos, const rtl::TVector3D& ARayDir);
  virtual void MouseMove(TShiftState AShift, float AX, float AY, const rtl::TVector3D& ARayPos,
                         const rtl::TVector3D& ARayDir);
  virtual void MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY,
                       const rtl::TVector3D& ARayPos, const rtl::TVector3D& ARayDir);
  virtual void MouseWheel(TShiftState AShift, int AWheelDelta, bool& AHandled);

  TMouseEvent3D OnMouseDown, OnMouseUp;
  TMouseMoveEvent3D OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave, OnDragEnd;
  TKeyEvent OnKeyDown, OnKeyUp;
  TRenderEvent OnRender;
  TDragEnterEvent OnDragEnter;
  TNotifyEvent OnDragLeave;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;

protected:
  // The values a fresh instance of the final class has, which the form streamer leaves out.
  virtual bool DefaultOpaque() const { return false; }
  virtual bool DefaultHitTest() const { return true; }
  void DoAddObject(TFmxObject* AObject) override;
  void DoRemoveObject(TFmxObject* AObject) override;
  // After Width, Height or Depth changed.
  virtual void Resize3D() {}
  // Draws the control's own content; the base draws nothing.
  virtual void Render() {}
  // Draws the rendering list.
  virtual void RenderChildren();
  virtual void RotateXChanged(rtl::TObject* ASender);
  virtual void RotateYChanged(rtl::TObject* ASender);
  virtual void RotateZChanged(rtl::TObject* ASender);
  virtual void RotationChanged(rtl::TObject* ASender);

private:
  friend class TProxyObject;
  rtl::TOwned<TPosition3D> FPosition;
  rtl::TOwned<TPosition3D> FScale;
  rtl::TOwned<TPosition3D> FRotationAngle;
  rtl::TOwned<TPosition3D> FRotationCenter;
  float FWidth = 1;
  float FHeight = 1;
  float FDepth = 1;
  bool FVisible = true;
  TProjection FProjection = TProjection::Camera;
  bool FHitTest = true;
  bool FLocked = false;
  bool FDesignLocked = false;
  bool FOpaque = false;
  float FOpacity = 1;
  bool FZWrite = true;
  bool FTwoSide = false;
  bool FVisibleContextMenu = true;
  TCursor FCursor = 0;
  TDragMode FDragMode = TDragMode::dmManual;
  bool FIsFocused = false;
  rtl::TMatrix3D FLocalMatrix = rtl::TMatrix3D::Identity();
  rtl::TQuaternion3D FQuaternion = rtl::TQuaternion3D::Identity();
  rtl::TPoint3D FSavedRotationAngle;
  rtl::TMatrix3D FAbsoluteMatrix = rtl::TMatrix3D::Identity();
  rtl::TMatrix3D FInvAbsoluteMatrix = rtl::TMatrix3D::Identity();
  bool FRecalcAbsolute = true;
  // Changes noted while updating, applied by the outermost EndUpdate: the rotation axes whose
  // angle changed (bits 0..2 for X, Y, Z) and whether the matrix needs a rebuild.
  uint8_t FDeferredRotationAxes = 0;
  bool FMatrixChangeDeferred = false;
  IViewport3D* FViewport = nullptr;
  std::vector<TControl3D*> FRenderingList;

  // The ray through APoint against the control itself, visible, hit-testable and of the global
  // projection, nearer than the global distance; the global distance is left as it was.
  bool HitSelf(rtl::TPointF APoint, rtl::TVector3D& ARayPos, rtl::TVector3D& ARayDir, rtl::TPoint3D& AIntersection,
               float& ADistance);
  void PositionChanged(rtl::TObject*) { MatrixChanged(); }
  bool IsOpaqueStored() const { return FOpaque != DefaultOpaque(); }
  bool IsHitTestStored() const { return FHitTest != DefaultHitTest(); }
  // Turns the quaternion by the change of one angle; answers whether it changed.
  bool TurnAxis(float rtl::TPoint3D::*AAxis, const rtl::TPoint3D& AUnitAxis);
  // Turns the quaternion by the change of each axis in AAxes (bits 0..2 for X, Y, Z), X first;
  // answers whether any changed. While updating it only notes the axes.
  bool TurnAxes(uint8_t AAxes);
  void UpdateAbsolute();
  void SizeChanged();
  void Parent3DRebuild();
};

// A control that draws nothing and is never hit by a ray; it groups and moves its children.
class TDummy : public TControl3D {
  RTL_CLASS(TDummy, TControl3D)
public:
  using TControl3D::TControl3D;
  bool RayCastIntersect(const rtl::TVector3D&, const rtl::TVector3D&, rtl::TVector3D&) override {
    return false;
  }
};

class TCamera : public TControl3D {
  RTL_CLASS(TCamera, TControl3D)
public:
  explicit TCamera(rtl::TComponent* AOwner) : TControl3D(AOwner) {}
  static void RegisterProperties(rtl::TPropertyList& AList);
  static void RegisterFields();

  float AngleOfView() const { return FAngleOfView; }
  void SetAngleOfView(float AValue);
  TControl3D* Target() const { return FTarget; }
  void SetTarget(TControl3D* AValue);
  // The right-handed look-at matrix from AbsolutePosition to the target's absolute position (or
  // one step along AbsoluteDirection) with AbsoluteUp.
  rtl::TMatrix3D CameraMatrix();
  bool RayCastIntersect(const rtl::TVector3D&, const rtl::TVector3D&, rtl::TVector3D&) override {
    return false;
  }

protected:
  void Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) override;

private:
  float FAngleOfView = 45;
  TControl3D* FTarget = nullptr;
};

class TLight : public TControl3D {
  RTL_CLASS(TLight, TControl3D)
public:
  explicit TLight(rtl::TComponent* AOwner) : TControl3D(AOwner) {}
  static void RegisterProperties(rtl::TPropertyList& AList);
  static void RegisterFields();

  void BeforeDestruction() override;

  TLightType LightType() const { return FLightType; }
  void SetLightType(TLightType AValue);
  rtl::TAlphaColor Color() const { return FColor; }
  void SetColor(rtl::TAlphaColor AValue);
  float SpotCutOff() const { return FSpotCutOff; }
  void SetSpotCutOff(float AValue);
  float SpotExponent() const { return FSpotExponent; }
  void SetSpotExponent(float AValue);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  // The settings with the absolute position and direction.
  TLightDescription LightDescription();

  // Leaves the previous viewport's lights and joins the new one's.
  void SetNewViewport(IViewport3D* AViewport) override;
  bool RayCastIntersect(const rtl::TVector3D&, const rtl::TVector3D&, rtl::TVector3D&) override {
    return false;
  }

private:
  TLightType FLightType = TLightType::Directional;
  rtl::TAlphaColor FColor = 0xFFFFFFFF;
  float FSpotCutOff = 180;
  float FSpotExponent = 0;
  bool FEnabled = true;

  void Changed();
};

// Draws another control (SourceObject) with its own matrix.
class TProxyObject : public TControl3D {
  RTL_CLASS(TProxyObject, TControl3D)
public:
  explicit TProxyObject(rtl::TComponent* AOwner) : TControl3D(AOwner) {}
  static void RegisterFields();

  TControl3D* SourceObject() const { return FSourceObject; }
  void SetSourceObject(TControl3D* AValue);

protected:
  void Render() override;
  void Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) override;

private:
  TControl3D* FSourceObject = nullptr;
};

// The corners of ABox through AMatrix, spanned again.
rtl::TBoundingBox TransformBox(const rtl::TBoundingBox& ABox, const rtl::TMatrix3D& AMatrix);

// Where the ray from ARayPos along ARayDir meets the plane through APlanePoint with APlaneNormal:
// t = ((APlanePoint - ARayPos) . n) / (ARayDir . n). No hit (False, AHit unchanged) when the ray
// runs parallel to the plane (|ARayDir . n| < 1e-6) or meets it at t <= 0.
bool RayCastPlaneIntersect(const rtl::TPoint3D& ARayPos, const rtl::TPoint3D& ARayDir,
                           const rtl::TPoint3D& APlanePoint, const rtl::TPoint3D& APlaneNormal, rtl::TPoint3D& AHit);

} // namespace ui
