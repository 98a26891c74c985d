#include "ui/controls3d.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "rtl/fields.h"
#include "rtl/properties.h"
#include "ui/context3d.h"
#include "ui/viewport3d.h"

namespace ui {

using rtl::TBoundingBox;
using rtl::TMatrix3D;
using rtl::TPoint3D;
using rtl::TQuaternion3D;
using rtl::TVector3D;

RTL_DEFINE_CLASS(TPosition3D, "ui.Controls3D", &TPosition3D::RegisterProperties)
RTL_DEFINE_CLASS(TControl3D, "ui.Controls3D", &TControl3D::RegisterProperties)
RTL_DEFINE_CLASS(TDummy, "ui.Objects3D")
RTL_DEFINE_CLASS(TCamera, "ui.Controls3D", &TCamera::RegisterProperties)
RTL_DEFINE_CLASS(TLight, "ui.Controls3D", &TLight::RegisterProperties)
RTL_DEFINE_CLASS(TProxyObject, "ui.Objects3D")

namespace {

float PickingDistance = 65535;
TProjection PickingProjection = TProjection::Camera;

constexpr double kDegToRad = std::numbers::pi / 180;

bool AllNear(const TPoint3D& APoint, float AValue, float AEpsilon) {
  return std::fabs(APoint.X - AValue) <= AEpsilon && std::fabs(APoint.Y - AValue) <= AEpsilon &&
         std::fabs(APoint.Z - AValue) <= AEpsilon;
}

// An angle in degrees brought into [0, 360).
float Wrap360(double AAngle) {
  double result = std::fmod(AAngle, 360.0);
  if (result < 0)
    result += 360;
  return rtl::f32(result >= 360 ? 0 : result);
}

// An angle in degrees brought into [-180, 180], as the framework's Euler helpers give it.
float WrapHalfTurn(double AAngle) {
  constexpr float kInverse360 = 0.0027777778f;
  double angle = AAngle - std::trunc(AAngle * kInverse360) * 360;
  if (angle > 180)
    angle -= 360;
  else if (angle < -180)
    angle += 360;
  return rtl::f32(angle);
}

// The Euler angles (X, Y, Z, degrees) of a rotation matrix, taking of the two general solutions
// the one with the smaller angles; the framework's rotation-order helpers give the same for
// their first order.
TPoint3D EulerAnglesXYZ(const TMatrix3D& M) {
  const double m13 = std::clamp(double(M.m13), -1.0, 1.0);
  double r[3];
  if (std::fabs(-1 - m13) < 1e-40) {
    r[0] = 0;
    r[1] = 1.5707964f;
    r[2] = rtl::f32(std::atan2(M.m21, M.m31));
  } else if (std::fabs(1 - m13) < 1e-40) {
    r[0] = 0;
    r[1] = -1.5707964f;
    r[2] = rtl::f32(std::atan2(-M.m21, -M.m31));
  } else {
    const auto solve = [&](double AFirst, float AOut[3]) {
      const double c = std::cos(AFirst);
      AOut[0] = rtl::f32(AFirst);
      AOut[1] = rtl::f32(std::atan2(M.m23 / c, M.m33 / c));
      AOut[2] = rtl::f32(std::atan2(M.m12 / c, M.m11 / c));
    };
    float s1[3], s2[3];
    const double first = -std::asin(m13);
    solve(first, s1);
    solve(std::numbers::pi - first, s2);
    const auto lengthSquared = [](const float A[3]) {
      return TPoint3D{A[0], A[1], A[2]}.DotProduct({A[0], A[1], A[2]});
    };
    const float* chosen = lengthSquared(s2) > lengthSquared(s1) ? s1 : s2;
    for (int i = 0; i < 3; ++i)
      r[i] = chosen[i];
  }
  const auto degrees = [&](int AIndex) {
    return WrapHalfTurn(rtl::f32(r[AIndex] * (180 / std::numbers::pi)));
  };
  return {degrees(0), degrees(1), degrees(2)};
}

} // namespace

float GlobalDistance() {
  return PickingDistance;
}

void SetGlobalDistance(float AValue) {
  PickingDistance = AValue;
}

TProjection GlobalProjection() {
  return PickingProjection;
}

void SetGlobalProjection(TProjection AValue) {
  PickingProjection = AValue;
}

bool RayCastPlaneIntersect(const TPoint3D& ARayPos, const TPoint3D& ARayDir, const TPoint3D& APlanePoint,
                           const TPoint3D& APlaneNormal, TPoint3D& AHit) {
  const float denominator = ARayDir.DotProduct(APlaneNormal);
  if (std::fabs(denominator) < 1e-6f)
    return false;
  const float t = (APlanePoint - ARayPos).DotProduct(APlaneNormal) / denominator;
  if (t <= 0)
    return false;
  AHit = ARayPos + ARayDir * t;
  return true;
}

TBoundingBox TransformBox(const TBoundingBox& ABox, const TMatrix3D& AMatrix) {
  TPoint3D corners[8];
  for (int i = 0; i < 8; ++i)
    corners[i] = TPoint3D{i & 1 ? ABox.Right : ABox.Left, i & 2 ? ABox.Bottom : ABox.Top,
                          i & 4 ? ABox.Far : ABox.Near} *
                 AMatrix;
  return TBoundingBox::Create(corners);
}

// TPosition3D

void TPosition3D::RegisterProperties(rtl::TPropertyList& AList) {
  // A scale's axes default to 1: each is stored while it differs from its own point's default.
  AList.Add("X", &TPosition3D::X, &TPosition3D::SetX).WithDefault(0.0f).Stored(&TPosition3D::IsXStored);
  AList.Add("Y", &TPosition3D::Y, &TPosition3D::SetY).WithDefault(0.0f).Stored(&TPosition3D::IsYStored);
  AList.Add("Z", &TPosition3D::Z, &TPosition3D::SetZ).WithDefault(0.0f).Stored(&TPosition3D::IsZStored);
  AList.Add("Point", &TPosition3D::Point, &TPosition3D::SetPoint).Stored(false);
  AList.Add("Vector", &TPosition3D::Vector, &TPosition3D::SetVector).Stored(false);
}

void TPosition3D::SetAxis(float& AAxis, float AValue, const TNotifyEvent& AEvent) {
  if (AAxis == AValue)
    return;
  AAxis = AValue;
  if (AEvent)
    AEvent(this);
  else
    OnChange(this);
}

void TPosition3D::SetX(float AValue) {
  SetAxis(FPoint.X, AValue, OnChangeX);
}

void TPosition3D::SetY(float AValue) {
  SetAxis(FPoint.Y, AValue, OnChangeY);
}

void TPosition3D::SetZ(float AValue) {
  SetAxis(FPoint.Z, AValue, OnChangeZ);
}

void TPosition3D::SetPoint(const TPoint3D& AValue) {
  if (AValue == FPoint)
    return;
  FPoint = AValue;
  OnChange(this);
}

void TPosition3D::Assign(const rtl::TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TPosition3D*>(ASource)) {
    SetPoint(source->FPoint);
    return;
  }
  inherited::Assign(ASource);
}

// TControl3D

TControl3D::TControl3D(rtl::TComponent* AOwner)
    : TFmxObject(AOwner), FPosition(rtl::New<TPosition3D>()),
      FScale(rtl::New<TPosition3D>(TPoint3D{1, 1, 1})), FRotationAngle(rtl::New<TPosition3D>()),
      FRotationCenter(rtl::New<TPosition3D>()) {
  FPosition->OnChange = TNotifyEvent(this, &TControl3D::PositionChanged);
  FScale->OnChange = TNotifyEvent(this, &TControl3D::PositionChanged);
  FRotationCenter->OnChange = TNotifyEvent(this, &TControl3D::PositionChanged);
  FRotationAngle->OnChangeX = TNotifyEvent(this, &TControl3D::RotateXChanged);
  FRotationAngle->OnChangeY = TNotifyEvent(this, &TControl3D::RotateYChanged);
  FRotationAngle->OnChangeZ = TNotifyEvent(this, &TControl3D::RotateZChanged);
  FRotationAngle->OnChange = TNotifyEvent(this, &TControl3D::RotationChanged);
}

void TControl3D::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Position", &TControl3D::Position);
  AList.Add("Scale", &TControl3D::Scale);
  AList.Add("RotationAngle", &TControl3D::RotationAngle);
  AList.Add("RotationCenter", &TControl3D::RotationCenter);
  AList.Add("Width", &TControl3D::Width, &TControl3D::SetWidth).WithDefault(1.0f);
  AList.Add("Height", &TControl3D::Height, &TControl3D::SetHeight).WithDefault(1.0f);
  AList.Add("Depth", &TControl3D::Depth, &TControl3D::SetDepth).WithDefault(1.0f);
  AList.Add("Visible", &TControl3D::Visible, &TControl3D::SetVisible).WithDefault(true);
  AList.Add("Projection", &TControl3D::Projection, &TControl3D::SetProjection)
      .WithDefault(TProjection::Camera);
  AList.Add("HitTest", &TControl3D::HitTest, &TControl3D::SetHitTest)
      .WithDefault(true)
      .Stored(&TControl3D::IsHitTestStored);
  AList.Add("Locked", &TControl3D::Locked, &TControl3D::SetLocked).WithDefault(false);
  AList.Add("Opaque", &TControl3D::Opaque, &TControl3D::SetOpaque)
      .WithDefault(false)
      .Stored(&TControl3D::IsOpaqueStored);
  AList.Add("Opacity", &TControl3D::Opacity, &TControl3D::SetOpacity).WithDefault(1.0f);
  AList.Add("ZWrite", &TControl3D::ZWrite, &TControl3D::SetZWrite).WithDefault(true);
  AList.Add("TwoSide", &TControl3D::TwoSide, &TControl3D::SetTwoSide).WithDefault(false);
  AList.Add("VisibleContextMenu", &TControl3D::VisibleContextMenu, &TControl3D::SetVisibleContextMenu)
      .WithDefault(true);
  AList.Add("Cursor", &TControl3D::Cursor, &TControl3D::SetCursor).WithDefault(TCursor(0));
  AList.Add("DragMode", &TControl3D::DragMode, &TControl3D::SetDragMode).WithDefault(TDragMode::dmManual);
  AList.Add("Quaternion", &TControl3D::Quaternion, &TControl3D::SetQuaternion).Stored(false);
  AList.AddEvent("OnDragEnter", &TControl3D::OnDragEnter);
  AList.AddEvent("OnDragLeave", &TControl3D::OnDragLeave);
  AList.AddEvent("OnDragOver", &TControl3D::OnDragOver);
  AList.AddEvent("OnDragDrop", &TControl3D::OnDragDrop);
  AList.AddEvent("OnDragEnd", &TControl3D::OnDragEnd);
  AList.AddEvent("OnClick", &TControl3D::OnClick);
  AList.AddEvent("OnDblClick", &TControl3D::OnDblClick);
  AList.AddEvent("OnMouseDown", &TControl3D::OnMouseDown);
  AList.AddEvent("OnMouseMove", &TControl3D::OnMouseMove);
  AList.AddEvent("OnMouseUp", &TControl3D::OnMouseUp);
  AList.AddEvent("OnMouseWheel", &TControl3D::OnMouseWheel);
  AList.AddEvent("OnMouseEnter", &TControl3D::OnMouseEnter);
  AList.AddEvent("OnMouseLeave", &TControl3D::OnMouseLeave);
  AList.AddEvent("OnKeyDown", &TControl3D::OnKeyDown);
  AList.AddEvent("OnKeyUp", &TControl3D::OnKeyUp);
  AList.AddEvent("OnRender", &TControl3D::OnRender);
}

void TControl3D::RegisterFields() {
  // The rotation state comes after the position objects, and the duplicator copies inside
  // BeginUpdate: the angles' copy only notes a change, which the copied flags after it clear
  // again, so no copied angle turns the copied quaternion a second time.
  rtl::RegisterFields(
      StaticClass(),
      {
          rtl::ObjectField<&TControl3D::FPosition>("FPosition", &TPosition3D::StaticClass()),
          rtl::ObjectField<&TControl3D::FScale>("FScale", &TPosition3D::StaticClass()),
          rtl::ObjectField<&TControl3D::FRotationAngle>("FRotationAngle", &TPosition3D::StaticClass()),
          rtl::ObjectField<&TControl3D::FRotationCenter>("FRotationCenter", &TPosition3D::StaticClass()),
          rtl::ValueField<&TControl3D::FWidth>("FWidth"),
          rtl::ValueField<&TControl3D::FHeight>("FHeight"),
          rtl::ValueField<&TControl3D::FDepth>("FDepth"),
          rtl::ValueField<&TControl3D::FVisible>("FVisible"),
          rtl::ValueField<&TControl3D::FProjection>("FProjection"),
          rtl::ValueField<&TControl3D::FHitTest>("FHitTest"),
          rtl::ValueField<&TControl3D::FLocked>("FLocked"),
          rtl::ValueField<&TControl3D::FOpaque>("FOpaque"),
          rtl::ValueField<&TControl3D::FOpacity>("FOpacity"),
          rtl::ValueField<&TControl3D::FZWrite>("FZWrite"),
          rtl::ValueField<&TControl3D::FTwoSide>("FTwoSide"),
          rtl::ValueField<&TControl3D::FVisibleContextMenu>("FVisibleContextMenu"),
          rtl::ValueField<&TControl3D::FCursor>("FCursor"),
          rtl::ValueField<&TControl3D::FDragMode>("FDragMode"),
          rtl::ValueField<&TControl3D::FLocalMatrix>("FLocalMatrix"),
          rtl::ValueField<&TControl3D::FQuaternion>("FQuaternion"),
          rtl::ValueField<&TControl3D::FSavedRotationAngle>("FSavedRotationAngle"),
          rtl::ValueField<&TControl3D::FDeferredRotationAxes>("FDeferredRotationAxes"),
          rtl::ValueField<&TControl3D::FMatrixChangeDeferred>("FMatrixChangeDeferred"),
          rtl::SkippedField("FViewport", rtl::TFieldKind::NoTypeInfo),
          rtl::SkippedField("FRenderingList", rtl::TFieldKind::NoTypeInfo),
          rtl::EventField<&TControl3D::OnMouseDown>("FOnMouseDown"),
          rtl::EventField<&TControl3D::OnMouseUp>("FOnMouseUp"),
          rtl::EventField<&TControl3D::OnMouseMove>("FOnMouseMove"),
          rtl::EventField<&TControl3D::OnMouseWheel>("FOnMouseWheel"),
          rtl::EventField<&TControl3D::OnClick>("FOnClick"),
          rtl::EventField<&TControl3D::OnDblClick>("FOnDblClick"),
          rtl::EventField<&TControl3D::OnMouseEnter>("FOnMouseEnter"),
          rtl::EventField<&TControl3D::OnMouseLeave>("FOnMouseLeave"),
          rtl::EventField<&TControl3D::OnKeyDown>("FOnKeyDown"),
          rtl::EventField<&TControl3D::OnKeyUp>("FOnKeyUp"),
          rtl::EventField<&TControl3D::OnRender>("FOnRender"),
          rtl::EventField<&TControl3D::OnDragEnter>("FOnDragEnter"),
          rtl::EventField<&TControl3D::OnDragLeave>("FOnDragLeave"),
          rtl::EventField<&TControl3D::OnDragOver>("FOnDragOver"),
          rtl::EventField<&TControl3D::OnDragDrop>("FOnDragDrop"),
          rtl::EventField<&TControl3D::OnDragEnd>("FOnDragEnd"),
      });
}

void TControl3D::BeforeDestruction() {
  SetNewViewport(nullptr);
  inherited::BeforeDestruction();
}

void TControl3D::SizeChanged() {
  Resize3D();
  Repaint();
}

void TControl3D::SetWidth(float AValue) {
  if (AValue == FWidth)
    return;
  FWidth = AValue;
  SizeChanged();
}

void TControl3D::SetHeight(float AValue) {
  if (AValue == FHeight)
    return;
  FHeight = AValue;
  SizeChanged();
}

void TControl3D::SetDepth(float AValue) {
  if (AValue == FDepth)
    return;
  FDepth = AValue;
  SizeChanged();
}

void TControl3D::Parent3DRebuild() {
  if (auto* parent = dynamic_cast<TControl3D*>(Parent()))
    parent->RebuildRenderingList();
}

void TControl3D::SetVisible(bool AValue) {
  if (AValue == FVisible)
    return;
  FVisible = AValue;
  Parent3DRebuild();
  Repaint();
}

void TControl3D::SetProjection(TProjection AValue) {
  if (AValue == FProjection)
    return;
  FProjection = AValue;
  for (TFmxObject* child : Children())
    if (auto* control = dynamic_cast<TControl3D*>(child))
      control->SetProjection(AValue);
  Repaint();
}

void TControl3D::SetOpaque(bool AValue) {
  FOpaque = AValue;
  Repaint();
}

void TControl3D::SetOpacity(float AValue) {
  if (AValue == FOpacity)
    return;
  FOpacity = AValue;
  Repaint();
}

float TControl3D::AbsoluteOpacity() const {
  auto* parent = dynamic_cast<const TControl3D*>(Parent());
  return parent ? FOpacity * parent->AbsoluteOpacity() : FOpacity;
}

void TControl3D::SetZWrite(bool AValue) {
  FZWrite = AValue;
  Repaint();
}

void TControl3D::SetTwoSide(bool AValue) {
  FTwoSide = AValue;
  Repaint();
}

void TControl3D::SetLocalMatrixValue(const TMatrix3D& AMatrix) {
  // A matrix stored as it is is the latest word: a rebuild noted during an update before it
  // would replace it by one composed from the parts.
  FMatrixChangeDeferred = false;
  FLocalMatrix = AMatrix;
  RecalcAbsolute();
}

void TControl3D::MatrixChanged() {
  if (IsUpdating()) {
    FMatrixChangeDeferred = true;
    return;
  }
  FMatrixChangeDeferred = false;
  TMatrix3D m = TMatrix3D::Identity();
  if (!AllNear(FScale->Point(), 1, 0.0001f))
    m = m * TMatrix3D::CreateScaling(FScale->Point());
  if (AllNear(FRotationAngle->Point(), 0, 0.0001f)) {
    FSavedRotationAngle = {};
    FQuaternion = TQuaternion3D::Identity();
  } else {
    TMatrix3D r = FQuaternion.ToMatrix();
    const TPoint3D center = FRotationCenter->Point();
    if (!AllNear(center, 0, 0.001f))
      r = TMatrix3D::CreateTranslation(-center) * r * TMatrix3D::CreateTranslation(center);
    m = m * r;
  }
  if (!AllNear(FPosition->Point(), 0, 0.001f))
    m = m * TMatrix3D::CreateTranslation(FPosition->Point());
  FLocalMatrix = m;
  RecalcAbsolute();
  Repaint();
}

void TControl3D::RebuildLocalMatrixFromQuaternion() {
  TMatrix3D m = TMatrix3D::Identity();
  if (!AllNear(FScale->Point(), 1, 0.0001f))
    m = m * TMatrix3D::CreateScaling(FScale->Point());
  m = m * FQuaternion.ToMatrix();
  if (!AllNear(FPosition->Point(), 0, 0.001f))
    m = m * TMatrix3D::CreateTranslation(FPosition->Point());
  FLocalMatrix = m;
  RecalcAbsolute();
  RebuildRenderingList();
  Repaint();
}

void TControl3D::SetQuaternion(const TQuaternion3D& AValue) {
  FRotationAngle->SetPointNoChange(EulerAnglesXYZ(AValue.ToMatrix()));
  FQuaternion = AValue;
  FSavedRotationAngle = {};
  RebuildLocalMatrixFromQuaternion();
}

void TControl3D::ResetRotationAngle() {
  FQuaternion = TQuaternion3D::Identity();
  FRotationAngle->SetPointNoChange({});
  FSavedRotationAngle = {};
  MatrixChanged();
}

bool TControl3D::TurnAxis(float TPoint3D::*AAxis, const TPoint3D& AUnitAxis) {
  TPoint3D angles = FRotationAngle->Point();
  const float angle = angles.*AAxis;
  const float delta = Wrap360(double(angle) - FSavedRotationAngle.*AAxis);
  if (delta == 0)
    return false;
  FQuaternion = FQuaternion * TQuaternion3D::Create(AUnitAxis, rtl::f32(delta * kDegToRad));
  FSavedRotationAngle.*AAxis = angle;
  angles.*AAxis = Wrap360(angle);
  FRotationAngle->SetPointNoChange(angles);
  return true;
}

namespace {
constexpr uint8_t AxisX = 1, AxisY = 2, AxisZ = 4;
} // namespace

bool TControl3D::TurnAxes(uint8_t AAxes) {
  if (IsUpdating()) {
    FDeferredRotationAxes |= AAxes;
    return false;
  }
  const bool x = (AAxes & AxisX) && TurnAxis(&TPoint3D::X, {1, 0, 0});
  const bool y = (AAxes & AxisY) && TurnAxis(&TPoint3D::Y, {0, 1, 0});
  const bool z = (AAxes & AxisZ) && TurnAxis(&TPoint3D::Z, {0, 0, 1});
  return x || y || z;
}

void TControl3D::RotateXChanged(rtl::TObject*) {
  if (TurnAxes(AxisX))
    MatrixChanged();
}

void TControl3D::RotateYChanged(rtl::TObject*) {
  if (TurnAxes(AxisY))
    MatrixChanged();
}

void TControl3D::RotateZChanged(rtl::TObject*) {
  if (TurnAxes(AxisZ))
    MatrixChanged();
}

void TControl3D::RotationChanged(rtl::TObject*) {
  if (TurnAxes(AxisX | AxisY | AxisZ))
    MatrixChanged();
}

void TControl3D::EndUpdate() {
  const bool wasUpdating = IsUpdating();
  inherited::EndUpdate();
  if (!wasUpdating || IsUpdating())
    return;
  if (TurnAxes(std::exchange(FDeferredRotationAxes, uint8_t(0))))
    FMatrixChangeDeferred = true;
  if (FMatrixChangeDeferred)
    MatrixChanged();
}

void TControl3D::RecalcAbsolute() {
  // A flagged control's descendants are flagged too: each one updates this control before it
  // computes its own matrix, which clears the flag.
  if (FRecalcAbsolute)
    return;
  FRecalcAbsolute = true;
  for (TFmxObject* child : Children())
    if (auto* control = dynamic_cast<TControl3D*>(child))
      control->RecalcAbsolute();
}

void TControl3D::UpdateAbsolute() {
  if (!FRecalcAbsolute)
    return;
  auto* parent = dynamic_cast<TControl3D*>(Parent());
  FAbsoluteMatrix = parent ? FLocalMatrix * parent->AbsoluteMatrix() : FLocalMatrix;
  FInvAbsoluteMatrix = FAbsoluteMatrix.Inverse();
  FRecalcAbsolute = false;
}

const TMatrix3D& TControl3D::AbsoluteMatrix() {
  UpdateAbsolute();
  return FAbsoluteMatrix;
}

const TMatrix3D& TControl3D::InvAbsoluteMatrix() {
  UpdateAbsolute();
  return FInvAbsoluteMatrix;
}

TPoint3D TControl3D::AbsolutePosition() {
  return TPoint3D{} * AbsoluteMatrix();
}

void TControl3D::SetAbsolutePosition(const TPoint3D& AValue) {
  auto* parent = dynamic_cast<TControl3D*>(Parent());
  FPosition->SetPoint(parent ? parent->AbsoluteToLocal3D(AValue) : AValue);
}

TPoint3D TControl3D::AbsoluteDirection() {
  return LocalToAbsoluteVector({0, 0, 1, 0}).ToPoint3D().Normalize();
}

TPoint3D TControl3D::AbsoluteUp() {
  return LocalToAbsoluteVector({0, -1, 0, 0}).ToPoint3D().Normalize();
}

TPoint3D TControl3D::AbsoluteLeft() {
  return LocalToAbsoluteVector({-1, 0, 0, 0}).ToPoint3D().Normalize();
}

TPoint3D TControl3D::LocalToAbsolute3D(const TPoint3D& APoint) {
  return APoint * AbsoluteMatrix();
}

TPoint3D TControl3D::AbsoluteToLocal3D(const TPoint3D& APoint) {
  return APoint * InvAbsoluteMatrix();
}

TVector3D TControl3D::LocalToAbsoluteVector(const TVector3D& AVector) {
  const TVector3D v = TVector3D{AVector.X, AVector.Y, AVector.Z, 0} * AbsoluteMatrix();
  return {v.X, v.Y, v.Z, 0};
}

TVector3D TControl3D::AbsoluteToLocalVector(const TVector3D& AVector) {
  const TVector3D v = TVector3D{AVector.X, AVector.Y, AVector.Z, 0} * InvAbsoluteMatrix();
  return {v.X, v.Y, v.Z, 0};
}

void TControl3D::SetNewViewport(IViewport3D* AViewport) {
  // The 3D children always share this control's viewport, so an unchanged one needs no descent.
  if (AViewport == FViewport)
    return;
  FViewport = AViewport;
  for (TFmxObject* child : Children())
    if (auto* control = dynamic_cast<TControl3D*>(child))
      control->SetNewViewport(AViewport);
}

TContext3D* TControl3D::Context() const {
  return FViewport ? FViewport->GetContext() : nullptr;
}

void TControl3D::Repaint() {
  if (FViewport && !ComponentState().Contains(rtl::TComponentStateItem::csDestroying))
    FViewport->NeedRender();
}

void TControl3D::DoAddObject(TFmxObject* AObject) {
  inherited::DoAddObject(AObject);
  if (auto* control = dynamic_cast<TControl3D*>(AObject)) {
    control->SetNewViewport(FViewport);
    control->RecalcAbsolute();
    // A child appended last joins the end of the list; anything else rebuilds it in child order.
    if (Children().back() != control)
      RebuildRenderingList();
    else if (control->FVisible)
      FRenderingList.push_back(control);
    control->Repaint();
  }
}

void TControl3D::DoRemoveObject(TFmxObject* AObject) {
  inherited::DoRemoveObject(AObject);
  if (auto* control = dynamic_cast<TControl3D*>(AObject)) {
    control->SetNewViewport(nullptr);
    control->RecalcAbsolute();
    RebuildRenderingList();
    Repaint();
  }
}

void TControl3D::RebuildRenderingList() {
  FRenderingList.clear();
  for (TFmxObject* child : Children())
    if (auto* control = dynamic_cast<TControl3D*>(child); control && control->FVisible)
      FRenderingList.push_back(control);
}

void TControl3D::RenderInternal() {
  TContext3D* context = Context();
  if (!context)
    return;
  context->SetMatrix(AbsoluteMatrix());
  Render();
  OnRender(this, context);
  RenderChildren();
}

void TControl3D::RenderChildren() {
  // A copy: drawing a child may rebuild the list.
  const std::vector<TControl3D*> list = FRenderingList;
  for (TControl3D* child : list)
    if (child->FVisible)
      child->RenderInternal();
}

TBoundingBox TControl3D::GetBoundingBox() {
  return TBoundingBox::Create({-FWidth / 2, -FHeight / 2, -FDepth / 2},
                              {FWidth / 2, FHeight / 2, FDepth / 2});
}

TBoundingBox TControl3D::GetAbsoluteBoundingBox() {
  return TransformBox(GetBoundingBox(), AbsoluteMatrix());
}

bool TControl3D::RayCastIntersect(const TVector3D& ARayPos, const TVector3D& ARayDir,
                                  TVector3D& AIntersection) {
  const TBoundingBox box = GetBoundingBox();
  const double origin[3] = {ARayPos.X, ARayPos.Y, ARayPos.Z};
  const double dir[3] = {ARayDir.X, ARayDir.Y, ARayDir.Z};
  const double lo[3] = {box.Left, box.Top, box.Near};
  const double hi[3] = {box.Right, box.Bottom, box.Far};
  double tmin = 0, tmax = INFINITY;
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(dir[i]) < 1e-12) {
      if (origin[i] < lo[i] || origin[i] > hi[i])
        return false;
      continue;
    }
    double t1 = (lo[i] - origin[i]) / dir[i];
    double t2 = (hi[i] - origin[i]) / dir[i];
    if (t1 > t2)
      std::swap(t1, t2);
    tmin = std::max(tmin, t1);
    tmax = std::min(tmax, t2);
    if (tmin > tmax)
      return false;
  }
  const TPoint3D local{rtl::f32(origin[0] + dir[0] * tmin), rtl::f32(origin[1] + dir[1] * tmin),
                       rtl::f32(origin[2] + dir[2] * tmin)};
  const TPoint3D absolute = LocalToAbsolute3D(local);
  AIntersection = {absolute.X, absolute.Y, absolute.Z, 1};
  return true;
}

IControl* TControl3D::ObjectAtPoint(rtl::TPointF APoint) {
  TVector3D rayPos, rayDir;
  TPoint3D intersection;
  return ObjectAtPoint(APoint, rayPos, rayDir, intersection);
}

IControl* TControl3D::ObjectAtPoint(rtl::TPointF APoint, TVector3D& ARayPos, TVector3D& ARayDir,
                                    TPoint3D& AIntersection) {
  IControl* result = nullptr;
  for (auto it = Children().rbegin(); it != Children().rend(); ++it) {
    auto* child = dynamic_cast<IControl*>(*it);
    if (!child || !child->GetVisible())
      continue;
    IControl* hit = nullptr;
    if (auto* child3D = dynamic_cast<TControl3D*>(*it))
      hit = child3D->ObjectAtPoint(APoint, ARayPos, ARayDir, AIntersection);
    else
      hit = child->ObjectAtPoint(APoint);
    if (hit)
      result = hit;
  }
  if (result)
    return result;
  float distance = 0;
  TVector3D rayPos, rayDir;
  TPoint3D hitPoint;
  if (!HitSelf(APoint, rayPos, rayDir, hitPoint, distance))
    return nullptr;
  SetGlobalDistance(distance);
  ARayPos = rayPos;
  ARayDir = rayDir;
  AIntersection = hitPoint;
  return this;
}

bool TControl3D::HitSelf(rtl::TPointF APoint, TVector3D& ARayPos, TVector3D& ARayDir, TPoint3D& AIntersection,
                         float& ADistance) {
  TContext3D* context = Context();
  // At design time hidden, unlocked controls can still be picked, as they can be edited.
  const bool designing = ComponentState().Contains(rtl::TComponentStateItem::csDesigning);
  if (!context || !(FVisible || (designing && !FLocked)) || FProjection != GlobalProjection() || !FHitTest)
    return false;
  const rtl::TPointF local = FViewport ? FViewport->ScreenToLocal(APoint) : APoint;
  TVector3D rayPos, rayDir;
  context->Pick(local.X, local.Y, FProjection, rayPos, rayDir);
  const TPoint3D localPos = AbsoluteToLocal3D(rayPos.ToPoint3D());
  const TVector3D localDir = AbsoluteToLocalVector(rayDir);
  TVector3D hit;
  if (!RayCastIntersect({localPos.X, localPos.Y, localPos.Z, 1}, localDir, hit))
    return false;
  const TPoint3D hitPoint{hit.X, hit.Y, hit.Z};
  TPoint3D from = rayPos.ToPoint3D();
  if (FProjection == TProjection::Camera) {
    TCamera* camera = FViewport ? FViewport->GetCurrentCamera() : nullptr;
    if (!camera)
      return false;
    from = camera->AbsolutePosition();
  }
  const float distance = (hitPoint - from).Length();
  if (distance >= GlobalDistance())
    return false;
  ADistance = distance;
  ARayPos = rayPos;
  ARayDir = rayDir;
  AIntersection = hitPoint;
  return true;
}

IControl* TControl3D::FindTarget(rtl::TPointF APoint, const TDragObject& AData) {
  IControl* result = nullptr;
  for (auto it = Children().rbegin(); it != Children().rend(); ++it)
    if (auto* child = dynamic_cast<IControl*>(*it); child && child->GetVisible())
      if (IControl* target = child->FindTarget(APoint, AData))
        result = target;
  if (result)
    return result;
  float distance = 0;
  TVector3D rayPos, rayDir;
  TPoint3D hitPoint;
  if (!HitSelf(APoint, rayPos, rayDir, hitPoint, distance))
    return nullptr;
  TDragOperation operation = TDragOperation::None;
  DragOver(AData, APoint, operation);
  if (operation == TDragOperation::None)
    return nullptr;
  SetGlobalDistance(distance);
  return this;
}

void TControl3D::DragOver(const TDragObject& AData, const rtl::TPointF& APoint, TDragOperation& AOperation) {
  OnDragOver(this, AData, APoint, AOperation);
}

void TControl3D::MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY,
                           const TVector3D& ARayPos, const TVector3D& ARayDir) {
  OnMouseDown(this, AButton, AShift, AX, AY, ARayPos, ARayDir);
}

void TControl3D::MouseMove(TShiftState AShift, float AX, float AY, const TVector3D& ARayPos,
                           const TVector3D& ARayDir) {
  OnMouseMove(this, AShift, AX, AY, ARayPos, ARayDir);
}

void TControl3D::MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY,
                         const TVector3D& ARayPos, const TVector3D& ARayDir) {
  OnMouseUp(this, AButton, AShift, AX, AY, ARayPos, ARayDir);
}

void TControl3D::MouseWheel(TShiftState AShift, int AWheelDelta, bool& AHandled) {
  OnMouseWheel(this, AShift, AWheelDelta, AHandled);
}

// TCamera

void TCamera::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("AngleOfView", &TCamera::AngleOfView, &TCamera::SetAngleOfView).WithDefault(45.0f);
  AList.Add("Target", &TCamera::Target, &TCamera::SetTarget).AsReference();
}

void TCamera::RegisterFields() {
  rtl::RegisterFields(
      StaticClass(),
      {
          rtl::ValueField<&TCamera::FAngleOfView>("FAngleOfView"),
          [] {
            rtl::TCopyField target =
                rtl::ObjectField<&TCamera::FTarget>("FTarget", &TControl3D::StaticClass(), true);
            target.SetObject = [](rtl::TObject* AInstance, rtl::TObject* AValue) {
              static_cast<TCamera*>(AInstance)->SetTarget(rtl::CheckedCast<TControl3D>(AValue));
            };
            return target;
          }(),
      });
}

void TCamera::SetAngleOfView(float AValue) {
  if (AValue == FAngleOfView)
    return;
  FAngleOfView = AValue;
  Repaint();
}

void TCamera::SetTarget(TControl3D* AValue) {
  if (AValue == FTarget)
    return;
  if (FTarget)
    FTarget->RemoveFreeNotification(this);
  FTarget = AValue;
  if (FTarget)
    FTarget->FreeNotification(this);
  Repaint();
}

void TCamera::Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == rtl::TOperation::opRemove && AComponent == FTarget)
    FTarget = nullptr;
}

TMatrix3D TCamera::CameraMatrix() {
  const TPoint3D eye = AbsolutePosition();
  const TPoint3D center = FTarget ? FTarget->AbsolutePosition() : eye + AbsoluteDirection();
  return TMatrix3D::CreateLookAtRH(eye, center, AbsoluteUp());
}

// TLight

void TLight::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("LightType", &TLight::LightType, &TLight::SetLightType).WithDefault(TLightType::Directional);
  AList.Add("Color", &TLight::Color, &TLight::SetColor)
      .AsType(rtl::TypeInfoAlphaColor())
      .WithDefault(rtl::TValue::From(rtl::TAlphaColor(0xFFFFFFFF), rtl::TypeInfoAlphaColor()));
  AList.Add("SpotCutOff", &TLight::SpotCutOff, &TLight::SetSpotCutOff).WithDefault(180.0f);
  AList.Add("SpotExponent", &TLight::SpotExponent, &TLight::SetSpotExponent).WithDefault(0.0f);
  AList.Add("Enabled", &TLight::Enabled, &TLight::SetEnabled).WithDefault(true);
}

void TLight::RegisterFields() {
  rtl::RegisterFields(StaticClass(), {
                                         rtl::ValueField<&TLight::FLightType>("FLightType"),
                                         rtl::ValueField<&TLight::FColor>("FColor"),
                                         rtl::ValueField<&TLight::FSpotCutOff>("FSpotCutOff"),
                                         rtl::ValueField<&TLight::FSpotExponent>("FSpotExponent"),
                                         rtl::ValueField<&TLight::FEnabled>("FEnabled"),
                                     });
}

void TLight::BeforeDestruction() {
  SetNewViewport(nullptr);
  inherited::BeforeDestruction();
}

void TLight::Changed() {
  Repaint();
}

void TLight::SetLightType(TLightType AValue) {
  FLightType = AValue;
  Changed();
}

void TLight::SetColor(rtl::TAlphaColor AValue) {
  FColor = AValue;
  Changed();
}

void TLight::SetSpotCutOff(float AValue) {
  FSpotCutOff = AValue;
  Changed();
}

void TLight::SetSpotExponent(float AValue) {
  FSpotExponent = AValue;
  Changed();
}

void TLight::SetEnabled(bool AValue) {
  FEnabled = AValue;
  Changed();
}

TLightDescription TLight::LightDescription() {
  TLightDescription result;
  result.Enabled = FEnabled;
  result.LightType = FLightType;
  result.Color = FColor;
  result.SpotCutOff = FSpotCutOff;
  result.SpotExponent = FSpotExponent;
  result.Position = AbsolutePosition();
  result.Direction = AbsoluteDirection();
  return result;
}

void TLight::SetNewViewport(IViewport3D* AViewport) {
  IViewport3D* previous = Viewport();
  if (previous != AViewport) {
    if (previous)
      previous->RemoveLight(this);
    if (AViewport)
      AViewport->AddLight(this);
  }
  inherited::SetNewViewport(AViewport);
}

// TProxyObject

void TProxyObject::RegisterFields() {
  rtl::TCopyField source =
      rtl::ObjectField<&TProxyObject::FSourceObject>("FSourceObject", &TControl3D::StaticClass(), true);
  source.SetObject = [](rtl::TObject* AInstance, rtl::TObject* AValue) {
    static_cast<TProxyObject*>(AInstance)->SetSourceObject(rtl::CheckedCast<TControl3D>(AValue));
  };
  rtl::RegisterFields(StaticClass(), {source});
}

void TProxyObject::SetSourceObject(TControl3D* AValue) {
  if (AValue == FSourceObject || AValue == this)
    return;
  if (FSourceObject)
    FSourceObject->RemoveFreeNotification(this);
  FSourceObject = AValue;
  if (FSourceObject)
    FSourceObject->FreeNotification(this);
  Repaint();
}

void TProxyObject::Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == rtl::TOperation::opRemove && AComponent == FSourceObject)
    FSourceObject = nullptr;
}

void TProxyObject::Render() {
  TContext3D* context = Context();
  if (!FSourceObject || !context)
    return;
  // The source draws itself, its handler and its children under the proxy's matrix.
  const TMatrix3D saved = FSourceObject->AbsoluteMatrix();
  context->SetMatrix(AbsoluteMatrix());
  FSourceObject->Render();
  FSourceObject->OnRender(FSourceObject, context);
  context->SetMatrix(saved);
}

} // namespace ui
