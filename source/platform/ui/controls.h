#pragma once
// Controls: the IControl interface that picking answers with, the input types and events, and
// the 2D control a viewport stands on: position and size, alignment (None and Client act; the
// other values exist for streaming), visibility and opacity, rectangles and repainting through the
// scene that hosts it (ui/scene.h), painting, mouse events and coordinate conversion. Painting
// applies the parents' translation and the scene's scale; RotationAngle, RotationCenter, Scale,
// Anchors and clipping are stored and published but do not act.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/math3d.h"
#include "rtl/method.h"
#include "rtl/set.h"
#include "rtl/types2d.h"
#include "rtl/value.h"
#include "ui/bitmap.h"
#include "ui/fmx_object.h"

namespace ui {

class IScene;
class TCanvas;
class TEffect;

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

enum class TAlignLayout : uint8_t {
  None,
  Top,
  Left,
  Right,
  Bottom,
  MostTop,
  MostBottom,
  MostLeft,
  MostRight,
  Client,
  Contents,
  Center,
  VertCenter,
  HorzCenter,
  Horizontal,
  Vertical,
  Scale,
  Fit,
  FitLeft,
  FitRight
};
RTL_ENUM_TYPEINFO(TAlignLayout, "None", "Top", "Left", "Right", "Bottom", "MostTop", "MostBottom", "MostLeft",
                  "MostRight", "Client", "Contents", "Center", "VertCenter", "HorzCenter", "Horizontal",
                  "Vertical", "Scale", "Fit", "FitLeft", "FitRight")

enum class TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
RTL_ENUM_TYPEINFO(TAnchorKind, "akLeft", "akTop", "akRight", "akBottom")
using TAnchors = rtl::TSet<TAnchorKind>;

// What a drag carries: the object it started from, dragged file names and any other data.
struct TDragObject {
  rtl::TObject* Source = nullptr;
  std::vector<std::string> Files;
  rtl::TValue Data;
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
// Sender, canvas, the control's local rectangle.
using TOnPaintEvent = rtl::TMethodEvent<rtl::TObject*, TCanvas*, const rtl::TRectF&>;

// What picking answers with: the object under a point.
class IControl {
public:
  virtual rtl::TObject* GetObject() = 0;
  virtual bool GetVisible() const = 0;
  // The control (this or a descendant) under the absolute point APoint, or nullptr.
  virtual IControl* ObjectAtPoint(rtl::TPointF APoint) = 0;
  // The control (this or a descendant) under the absolute point APoint that accepts AData, or
  // nullptr.
  virtual IControl* FindTarget(rtl::TPointF APoint, const TDragObject& AData) = 0;

protected:
  ~IControl() = default;
};

// A 2D position with a change event.
class TPosition : public rtl::TPersistent {
  RTL_CLASS(TPosition, rtl::TPersistent)
public:
  TPosition() = default;
  // AValue is also the point's default: an axis is stored only while it differs from it.
  explicit TPosition(const rtl::TPointF& AValue) : FPoint(AValue), FDefault(AValue) {}
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
  rtl::TPointF FDefault;

  bool IsXStored() const { return FPoint.X != FDefault.X; }
  bool IsYStored() const { return FPoint.Y != FDefault.Y; }
};

// Four distances (margins, padding) with a change event.
class TBounds : public rtl::TPersistent {
  RTL_CLASS(TBounds, rtl::TPersistent)
public:
  TBounds() = default;
  static void RegisterProperties(rtl::TPropertyList& AList);

  float Left() const { return FRect.Left; }
  float Top() const { return FRect.Top; }
  float Right() const { return FRect.Right; }
  float Bottom() const { return FRect.Bottom; }
  void SetLeft(float AValue) { SetRect({AValue, FRect.Top, FRect.Right, FRect.Bottom}); }
  void SetTop(float AValue) { SetRect({FRect.Left, AValue, FRect.Right, FRect.Bottom}); }
  void SetRight(float AValue) { SetRect({FRect.Left, FRect.Top, AValue, FRect.Bottom}); }
  void SetBottom(float AValue) { SetRect({FRect.Left, FRect.Top, FRect.Right, AValue}); }
  const rtl::TRectF& Rect() const { return FRect; }
  // Fires OnChange when a distance changes.
  void SetRect(const rtl::TRectF& AValue);
  // ARect shrunk by the four distances.
  rtl::TRectF PaddingRect(const rtl::TRectF& ARect) const;
  void Assign(const rtl::TPersistent* ASource) override;

  TNotifyEvent OnChange;

private:
  rtl::TRectF FRect;
};

class TControl;

// A control's size as a nested persistent, the form of it that forms store ("Size.Width",
// "Size.Height", "Size.PlatformDefault"): the values are the control's own Width and Height.
// PlatformDefault (the platform would choose the size) is stored and not acted on.
class TControlSize : public rtl::TPersistent {
  RTL_CLASS(TControlSize, rtl::TPersistent)
public:
  explicit TControlSize(TControl* AControl) : FControl(AControl) {}
  static void RegisterProperties(rtl::TPropertyList& AList);

  float Width() const;
  void SetWidth(float AValue);
  float Height() const;
  void SetHeight(float AValue);
  bool PlatformDefault() const { return FPlatformDefault; }
  void SetPlatformDefault(bool AValue) { FPlatformDefault = AValue; }
  void Assign(const rtl::TPersistent* ASource) override;

private:
  TControl* FControl;
  bool FPlatformDefault = false;
};

class TControl : public TFmxObject, public IControl {
  RTL_CLASS(TControl, TFmxObject)
public:
  explicit TControl(rtl::TComponent* AOwner);
  static void RegisterProperties(rtl::TPropertyList& AList);

  // --- size and alignment ---
  TPosition* Position() const { return FPosition.get(); }
  float Width() const { return FWidth; }
  void SetWidth(float AValue) { SetSize(AValue, FHeight); }
  float Height() const { return FHeight; }
  void SetHeight(float AValue) { SetSize(FWidth, AValue); }
  rtl::TSizeF Size() const { return {FWidth, FHeight}; }
  // Stores the size; on a real change calls Resize once, realigns the children and repaints.
  void SetSize(float AWidth, float AHeight);
  void SetSize(const rtl::TSizeF& ASize) { SetSize(ASize.Width, ASize.Height); }
  // The published "Size"; forms store the size there rather than as Width and Height.
  TControlSize* ControlSize() const { return FControlSize.get(); }
  // Client fills the parent's client area (less its Padding and this control's Margins) and
  // follows its resizes. The other values are kept for streaming and do not act.
  TAlignLayout Align() const { return FAlign; }
  void SetAlign(TAlignLayout AValue);
  TBounds* Margins() const { return FMargins.get(); }
  TBounds* Padding() const { return FPadding.get(); }
  // Places the Client-aligned children in this control's client area.
  void Realign();

  // --- state ---
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool AValue);
  // Visible, and so are all parent controls.
  bool ParentedVisible() const;
  bool HitTest() const { return FHitTest; }
  void SetHitTest(bool AValue) { FHitTest = AValue; }
  bool Locked() const { return FLocked; }
  void SetLocked(bool AValue) { FLocked = AValue; }
  float Opacity() const { return FOpacity; }
  void SetOpacity(float AValue);
  // The opacity times the parent control's absolute opacity.
  float AbsoluteOpacity() const;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  bool AutoCapture() const { return FAutoCapture; }
  void SetAutoCapture(bool AValue) { FAutoCapture = AValue; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool AValue) { FShowHint = AValue; }
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors AValue) { FAnchors = AValue; }
  bool ClipChildren() const { return FClipChildren; }
  void SetClipChildren(bool AValue) { FClipChildren = AValue; }
  bool ClipParent() const { return FClipParent; }
  void SetClipParent(bool AValue) { FClipParent = AValue; }
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor AValue) { FCursor = AValue; }
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode AValue) { FDragMode = AValue; }
  bool EnableDragHighlight() const { return FEnableDragHighlight; }
  void SetEnableDragHighlight(bool AValue) { FEnableDragHighlight = AValue; }
  float RotationAngle() const { return FRotationAngle; }
  void SetRotationAngle(float AValue) { FRotationAngle = AValue; }
  TPosition* RotationCenter() const { return FRotationCenter.get(); }
  TPosition* Scale() const { return FScale.get(); }

  // --- rectangles ---
  rtl::TRectF LocalRect() const { return {0, 0, FWidth, FHeight}; }
  rtl::TRectF AbsoluteRect() const;
  rtl::TRectF ClipRect() const { return LocalRect(); }
  // The absolute area a repaint covers (DoGetUpdateRect), cached until RecalcUpdateRect.
  rtl::TRectF UpdateRect();
  // Drops the cached update rectangles of this control and its descendants.
  void RecalcUpdateRect();
  // Through the positions of this control and its parent controls.
  rtl::TPointF LocalToAbsolute(rtl::TPointF APoint) const;
  rtl::TPointF AbsoluteToLocal(rtl::TPointF APoint) const;
  // The screen is the scene: its client coordinates.
  rtl::TPointF LocalToScreen(rtl::TPointF APoint) const { return LocalToAbsolute(APoint); }
  rtl::TPointF ScreenToLocal(rtl::TPointF APoint) const { return AbsoluteToLocal(APoint); }

  // --- hit testing ---
  rtl::TObject* GetObject() override { return this; }
  bool GetVisible() const override { return FVisible; }
  // The last visible child control that answers, else this control when CheckHitTest(HitTest)
  // holds and APoint (absolute) lies inside it.
  IControl* ObjectAtPoint(rtl::TPointF APoint) override;
  // The children from last to first, then the control itself when it contains APoint and its
  // DragOver answers an operation other than None.
  IControl* FindTarget(rtl::TPointF APoint, const TDragObject& AData) override;
  // Fires OnDragOver; AOperation comes in as the caller set it.
  virtual void DragOver(const TDragObject& AData, const rtl::TPointF& APoint, TDragOperation& AOperation);

  // --- painting ---
  // The scene hosting the control (the nearest parent that is one), or nullptr.
  IScene* Scene() const;
  // The canvas the control paints on: while painting the one painted on, else the scene's;
  // nullptr without a scene.
  TCanvas* Canvas() const;
  // Adds the update rectangle to the scene; the next pass of the application loop paints it.
  virtual void Repaint();
  // Adds ARect (local) to the scene's update rectangles.
  void InvalidateRect(const rtl::TRectF& ARect);
  // Paints the control and its visible children into ACanvas, with the control's top left at
  // ARect's. AParent is accepted for the original signature and not used.
  void PaintTo(TCanvas* ACanvas, const rtl::TRectF& ARect, TFmxObject* AParent = nullptr);
  // Paints the control (Paint, then OnPaint) and its visible children; the scene calls it with the
  // matrix that maps this control's coordinates to the canvas pixels.
  void PaintInternal(TCanvas& ACanvas, const rtl::TMatrix& AMatrix);
  // Marks the effect image stale and repaints: the next paint renders the control again and
  // runs its effect (ui/effects.h).
  virtual void UpdateEffects();
  // Drops the effect bitmap and the last effect output.
  void FreeEffectBitmap();
  // What the control and its children were last painted into for the effect; nullptr before.
  TBitmap* EffectBitmap() const { return FEffectBitmap.get(); }

  // Fire the events.
  virtual void MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseMove(TShiftState AShift, float AX, float AY);
  virtual void MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  virtual void MouseWheel(TShiftState AShift, int AWheelDelta, bool& AHandled);

  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TDragOverEvent OnDragOver;
  TMouseWheelEvent OnMouseWheel;
  TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave, OnResize;
  TKeyEvent OnKeyDown, OnKeyUp;
  TOnPaintEvent OnPaint;

protected:
  // After the size changed.
  virtual void Resize() { OnResize(this); }
  // Draws the control's own content on Canvas(), in local coordinates.
  virtual void Paint() {}
  // Whether the control takes hit tests; AHitTest is the HitTest property.
  virtual bool CheckHitTest(bool AHitTest) { return AHitTest; }
  // The absolute rectangle a repaint covers.
  virtual rtl::TRectF DoGetUpdateRect() { return AbsoluteRect(); }
  void DoAddObject(TFmxObject* AObject) override;
  void DoRemoveObject(TFmxObject* AObject) override;
  void ParentChanged() override;

private:
  rtl::TOwned<TPosition> FPosition;
  rtl::TOwned<TBounds> FMargins;
  rtl::TOwned<TBounds> FPadding;
  rtl::TOwned<TPosition> FRotationCenter;
  rtl::TOwned<TPosition> FScale;
  rtl::TOwned<TControlSize> FControlSize;
  float FWidth = 0;
  float FHeight = 0;
  TAlignLayout FAlign = TAlignLayout::None;
  bool FVisible = true;
  bool FHitTest = true;
  bool FLocked = false;
  bool FEnabled = true;
  bool FAutoCapture = false;
  bool FShowHint = false;
  bool FClipChildren = false;
  bool FClipParent = false;
  bool FEnableDragHighlight = true;
  TAnchors FAnchors{TAnchorKind::akLeft, TAnchorKind::akTop};
  TCursor FCursor = 0;
  TDragMode FDragMode = TDragMode::dmManual;
  float FRotationAngle = 0;
  float FOpacity = 1;
  rtl::TRectF FUpdateRect;
  bool FUpdateRectValid = false;
  // The canvas being painted on, while PaintInternal runs.
  TCanvas* FPaintingCanvas = nullptr;
  // The effect path: the control and its children painted at scene scale, and what the effect
  // made of it. Both stay until UpdateEffects, a size change or an effect change marks them stale.
  rtl::TOwned<TBitmap> FEffectBitmap;
  rtl::TOwned<TBitmap> FEffectOutput;
  bool FEffectsStale = true;

  // The first enabled effect child, or nullptr.
  TEffect* ActiveEffect() const;
  // Paint, OnPaint and the visible children, onto ACanvas under AMatrix.
  void PaintContent(TCanvas& ACanvas, const rtl::TMatrix& AMatrix);
  void PaintWithEffect(TCanvas& ACanvas, const rtl::TMatrix& AMatrix, TEffect& AEffect);

  void PositionChanged(rtl::TObject*);
  void MarginsChanged(rtl::TObject*);
  void PaddingChanged(rtl::TObject*) { Realign(); }
  void RealignInParent();
};

// Places the Client-aligned controls among AParent's children in AClientRect (parent coordinates).
void AlignControls(TFmxObject* AParent, const rtl::TRectF& AClientRect);

} // namespace ui
