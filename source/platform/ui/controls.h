#pragma once
// Controls: the IControl interface that picking answers with, the input types and events, and
// the 2D control basics a viewport stands on (position, size, visibility, opacity, coordinate
// conversion along the parent chain, hit testing). Alignment, margins, canvas and forms are not
// part of this layer yet.

#include <cstdint>

#include "rtl/math3d.h"
#include "rtl/method.h"
#include "rtl/set.h"
#include "rtl/types2d.h"
#include "ui/fmx_object.h"

namespace ui {

enum class TShiftStateItem : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
RTL_ENUM_TYPEINFO(TShiftStateItem, "ssShift", "ssAlt", "ssCtrl", "ssLeft", "ssRight", "ssMiddle", "ssDouble")
using TShiftState = rtl::TSet<TShiftStateItem>;

enum class TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
RTL_ENUM_TYPEINFO(TMouseButton, "mbLeft", "mbRight", "mbMiddle")

enum class TDragMode : uint8_t { dmManual, dmAutomatic };
RTL_ENUM_TYPEINFO(TDragMode, "dmManual", "dmAutomatic")

enum class TDragOperation : uint8_t { None, Move, Copy, Link };
RTL_ENUM_TYPEINFO(TDragOperation, "None", "Move", "Copy", "Link")

using TCursor = int16_t;

// What a drag carries: the object it started from.
struct TDragObject {
  rtl::TObject* Source = nullptr;
};

using rtl::TNotifyEvent;
using TMouseEvent = rtl::TMethodEvent<rtl::TObject*, TMouseButton, TShiftState, float, float>;
using TMouseMoveEvent = rtl::TMethodEvent<rtl::TObject*, TShiftState, float, float>;
// Sender, shift state, wheel delta, handled.
using TMouseWheelEvent = rtl::TMethodEvent<rtl::TObject*, TShiftState, int, bool&>;
// Sender, key, key character, shift state.
using TKeyEvent = rtl::TMethodEvent<rtl::TObject*, uint16_t&, char32_t&, TShiftState>;
using TDragEnterEvent = rtl::TMethodEvent<rtl::TObject*, const TDragObject&, const rtl::TPointF&>;
using TDragOverEvent =
    rtl::TMethodEvent<rtl::TObject*, const TDragObject&, const rtl::TPointF&, TDragOperation&>;
using TDragDropEvent = rtl::TMethodEvent<rtl::TObject*, const TDragObject&, const rtl::TPointF&>;

// What picking answers with: the object under a point.
class IControl {
public:
  virtual rtl::TObject* GetObject() = 0;
  virtual bool GetVisible() const = 0;
  // The control (this or a descendant) under the absolute point APoint, or nullptr.
  virtual IControl* ObjectAtPoint(rtl::TPointF APoint) = 0;

protected:
  ~IControl() = default;
};

// A 2D position with a change event.
class TPosition : public rtl::TPersistent {
  RTL_CLASS(TPosition, rtl::TPersistent)
public:
  TPosition() = default;
  static void RegisterProperties(rtl::TPropertyList& AList);

  float X() const { return FPoint.X; }
  float Y() const { return FPoint.Y; }
  void SetX(float AValue) { SetPoint({AValue, FPoint.Y}); }
  void SetY(float AValue) { SetPoint({FPoint.X, AValue}); }
  rtl::TPointF Point() const { return FPoint; }
  // Fires OnChange when the point changes.
  void SetPoint(const rtl::TPointF& AValue);
  void Assign(const rtl::TPersistent* ASource) override;

  TNotifyEvent OnChange;

private:
  rtl::TPointF FPoint;
};

class TControl : public TFmxObject, public IControl {
  RTL_CLASS(TControl, TFmxObject)
public:
  explicit TControl(rtl::TComponent* AOwner);
  static void RegisterProperties(rtl::TPropertyList& AList);

  TPosition* Position() const { return FPosition.get(); }
  float Width() const { return FWidth; }
  void SetWidth(float AValue) { SetSize(AValue, FHeight); }
  float Height() const { return FHeight; }
  void SetHeight(float AValue) { SetSize(FWidth, AValue); }
  // Stores the size and calls Resize when it changed.
  void SetSize(float AWidth, float AHeight);
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool AValue);
  bool HitTest() const { return FHitTest; }
  void SetHitTest(bool AValue) { FHitTest = AValue; }
  bool Locked() const { return FLocked; }
  void SetLocked(bool AValue) { FLocked = AValue; }
  float Opacity() const { return FOpacity; }
  void SetOpacity(float AValue);
  // The opacity times the parent control's absolute opacity.
  float AbsoluteOpacity() const;

  rtl::TRectF LocalRect() const { return {0, 0, FWidth, FHeight}; }
  rtl::TRectF AbsoluteRect() const;
  // Through the positions of this control and its parent controls.
  rtl::TPointF LocalToAbsolute(rtl::TPointF APoint) const;
  rtl::TPointF AbsoluteToLocal(rtl::TPointF APoint) const;

  rtl::TObject* GetObject() override { return this; }
  bool GetVisible() const override { return FVisible; }
  // The last visible child control that answers, else this control when it is hit-testable and
  // APoint (absolute) lies inside it.
  IControl* ObjectAtPoint(rtl::TPointF APoint) override;
  // Asks for the control to be drawn again; the form layer decides when.
  virtual void Repaint() {}

  // Fire the events.
  virtual void MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseMove(TShiftState AShift, float AX, float AY);
  virtual void MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseWheel(TShiftState AShift, int AWheelDelta, bool& AHandled);

  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave, OnResize;
  TKeyEvent OnKeyDown, OnKeyUp;

protected:
  // After the size changed.
  virtual void Resize() { OnResize(this); }
  // Draws the control's own content; the form layer's canvas calls it.
  virtual void Paint() {}

private:
  rtl::TOwned<TPosition> FPosition;
  float FWidth = 0;
  float FHeight = 0;
  bool FVisible = true;
  bool FHitTest = true;
  bool FLocked = false;
  float FOpacity = 1;

  void PositionChanged(rtl::TObject*) { Repaint(); }
};

} // namespace ui
