#include "ui/controls.h"

#include "rtl/properties.h"

namespace ui {

RTL_DEFINE_CLASS(TPosition, "ui.Controls", &TPosition::RegisterProperties)
RTL_DEFINE_CLASS(TControl, "ui.Controls", &TControl::RegisterProperties)

void TPosition::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("X", &TPosition::X, &TPosition::SetX).WithDefault(0.0f);
  AList.Add("Y", &TPosition::Y, &TPosition::SetY).WithDefault(0.0f);
  AList.Add("Point", &TPosition::Point, &TPosition::SetPoint).Stored(false);
}

void TPosition::SetPoint(const rtl::TPointF& AValue) {
  if (AValue == FPoint)
    return;
  FPoint = AValue;
  OnChange(this);
}

void TPosition::Assign(const rtl::TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TPosition*>(ASource)) {
    SetPoint(source->FPoint);
    return;
  }
  inherited::Assign(ASource);
}

TControl::TControl(rtl::TComponent* AOwner) : TFmxObject(AOwner), FPosition(rtl::New<TPosition>()) {
  FPosition->OnChange = TNotifyEvent(this, &TControl::PositionChanged);
}

void TControl::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Position", &TControl::Position);
  AList.Add("Width", &TControl::Width, &TControl::SetWidth).WithDefault(0.0f);
  AList.Add("Height", &TControl::Height, &TControl::SetHeight).WithDefault(0.0f);
  AList.Add("Visible", &TControl::Visible, &TControl::SetVisible).WithDefault(true);
  AList.Add("HitTest", &TControl::HitTest, &TControl::SetHitTest).WithDefault(true);
  AList.Add("Locked", &TControl::Locked, &TControl::SetLocked).WithDefault(false);
  AList.Add("Opacity", &TControl::Opacity, &TControl::SetOpacity).WithDefault(1.0f);
}

void TControl::SetSize(float AWidth, float AHeight) {
  if (AWidth == FWidth && AHeight == FHeight)
    return;
  FWidth = AWidth;
  FHeight = AHeight;
  Resize();
  Repaint();
}

void TControl::SetVisible(bool AValue) {
  if (AValue == FVisible)
    return;
  FVisible = AValue;
  Repaint();
}

void TControl::SetOpacity(float AValue) {
  if (AValue == FOpacity)
    return;
  FOpacity = AValue;
  Repaint();
}

float TControl::AbsoluteOpacity() const {
  auto* parent = dynamic_cast<const TControl*>(Parent());
  return parent ? FOpacity * parent->AbsoluteOpacity() : FOpacity;
}

rtl::TPointF TControl::LocalToAbsolute(rtl::TPointF APoint) const {
  for (const TFmxObject* object = this; object; object = object->Parent())
    if (auto* control = dynamic_cast<const TControl*>(object)) {
      APoint.X += control->FPosition->X();
      APoint.Y += control->FPosition->Y();
    }
  return APoint;
}

rtl::TPointF TControl::AbsoluteToLocal(rtl::TPointF APoint) const {
  const rtl::TPointF origin = LocalToAbsolute({0, 0});
  return {APoint.X - origin.X, APoint.Y - origin.Y};
}

rtl::TRectF TControl::AbsoluteRect() const {
  const rtl::TPointF origin = LocalToAbsolute({0, 0});
  return {origin.X, origin.Y, origin.X + FWidth, origin.Y + FHeight};
}

IControl* TControl::ObjectAtPoint(rtl::TPointF APoint) {
  if (!FVisible)
    return nullptr;
  for (auto it = Children().rbegin(); it != Children().rend(); ++it)
    if (auto* child = dynamic_cast<IControl*>(*it); child && child->GetVisible())
      if (IControl* hit = child->ObjectAtPoint(APoint))
        return hit;
  const rtl::TRectF rect = AbsoluteRect();
  const bool inside =
      APoint.X >= rect.Left && APoint.X < rect.Right && APoint.Y >= rect.Top && APoint.Y < rect.Bottom;
  return FHitTest && inside ? this : nullptr;
}

void TControl::MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  OnMouseDown(this, AButton, AShift, AX, AY);
}

void TControl::MouseMove(TShiftState AShift, float AX, float AY) {
  OnMouseMove(this, AShift, AX, AY);
}

void TControl::MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  OnMouseUp(this, AButton, AShift, AX, AY);
}

void TControl::MouseWheel(TShiftState AShift, int AWheelDelta, bool& AHandled) {
  OnMouseWheel(this, AShift, AWheelDelta, AHandled);
}

} // namespace ui
