#include "ui/controls.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "rtl/properties.h"
#include "ui/canvas.h"
#include "ui/effects.h"
#include "ui/scene.h"

namespace ui {

RTL_DEFINE_CLASS(TPosition, "ui.Controls", &TPosition::RegisterProperties)
RTL_DEFINE_CLASS(TBounds, "ui.Controls", &TBounds::RegisterProperties)
RTL_DEFINE_CLASS(TControlSize, "ui.Controls", &TControlSize::RegisterProperties)
RTL_DEFINE_CLASS(TControl, "ui.Controls", &TControl::RegisterProperties)

void TControlSize::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Width", &TControlSize::Width, &TControlSize::SetWidth);
  AList.Add("Height", &TControlSize::Height, &TControlSize::SetHeight);
  AList.Add("PlatformDefault", &TControlSize::PlatformDefault, &TControlSize::SetPlatformDefault);
}

float TControlSize::Width() const {
  return FControl->Width();
}

void TControlSize::SetWidth(float AValue) {
  FControl->SetWidth(AValue);
}

float TControlSize::Height() const {
  return FControl->Height();
}

void TControlSize::SetHeight(float AValue) {
  FControl->SetHeight(AValue);
}

void TControlSize::Assign(const rtl::TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TControlSize*>(ASource)) {
    FControl->SetSize(source->Width(), source->Height());
    FPlatformDefault = source->FPlatformDefault;
    return;
  }
  inherited::Assign(ASource);
}

void TPosition::RegisterProperties(rtl::TPropertyList& AList) {
  // A scale's axes default to 1, a rotation centre's to 0.5: each is stored while it differs from
  // its own point's default.
  AList.Add("X", &TPosition::X, &TPosition::SetX).WithDefault(0.0f).Stored(&TPosition::IsXStored);
  AList.Add("Y", &TPosition::Y, &TPosition::SetY).WithDefault(0.0f).Stored(&TPosition::IsYStored);
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

void TBounds::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Left", &TBounds::Left, &TBounds::SetLeft).WithDefault(0.0f);
  AList.Add("Top", &TBounds::Top, &TBounds::SetTop).WithDefault(0.0f);
  AList.Add("Right", &TBounds::Right, &TBounds::SetRight).WithDefault(0.0f);
  AList.Add("Bottom", &TBounds::Bottom, &TBounds::SetBottom).WithDefault(0.0f);
}

void TBounds::SetRect(const rtl::TRectF& AValue) {
  if (AValue == FRect)
    return;
  FRect = AValue;
  OnChange(this);
}

rtl::TRectF TBounds::PaddingRect(const rtl::TRectF& ARect) const {
  return {ARect.Left + FRect.Left, ARect.Top + FRect.Top, ARect.Right - FRect.Right,
          ARect.Bottom - FRect.Bottom};
}

void TBounds::Assign(const rtl::TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TBounds*>(ASource)) {
    SetRect(source->FRect);
    return;
  }
  inherited::Assign(ASource);
}

TControl::TControl(rtl::TComponent* AOwner)
    : TFmxObject(AOwner), FPosition(rtl::New<TPosition>()), FMargins(rtl::New<TBounds>()),
      FPadding(rtl::New<TBounds>()), FRotationCenter(rtl::New<TPosition>(rtl::TPointF{0.5f, 0.5f})),
      FScale(rtl::New<TPosition>(rtl::TPointF{1, 1})),
      FControlSize(rtl::New<TControlSize>(this)) {
  FPosition->OnChange = TNotifyEvent(this, &TControl::PositionChanged);
  FMargins->OnChange = TNotifyEvent(this, &TControl::MarginsChanged);
  FPadding->OnChange = TNotifyEvent(this, &TControl::PaddingChanged);
}

void TControl::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Align", &TControl::Align, &TControl::SetAlign).WithDefault(TAlignLayout::None);
  AList.Add("Anchors", &TControl::Anchors, &TControl::SetAnchors)
      .WithDefault(TAnchors{TAnchorKind::akLeft, TAnchorKind::akTop});
  AList.Add("AutoCapture", &TControl::AutoCapture, &TControl::SetAutoCapture).WithDefault(false);
  AList.Add("ClipChildren", &TControl::ClipChildren, &TControl::SetClipChildren).WithDefault(false);
  AList.Add("ClipParent", &TControl::ClipParent, &TControl::SetClipParent).WithDefault(false);
  AList.Add("Cursor", &TControl::Cursor, &TControl::SetCursor).WithDefault(TCursor{0});
  AList.Add("DragMode", &TControl::DragMode, &TControl::SetDragMode).WithDefault(TDragMode::dmManual);
  AList.Add("EnableDragHighlight", &TControl::EnableDragHighlight, &TControl::SetEnableDragHighlight)
      .WithDefault(true);
  AList.Add("Enabled", &TControl::Enabled, &TControl::SetEnabled).WithDefault(true);
  AList.Add("Position", &TControl::Position);
  // The size is stored once, as "Size".
  AList.Add("Width", &TControl::Width, &TControl::SetWidth).WithDefault(0.0f).Stored(false);
  AList.Add("Height", &TControl::Height, &TControl::SetHeight).WithDefault(0.0f).Stored(false);
  AList.Add("Margins", &TControl::Margins);
  AList.Add("Padding", &TControl::Padding);
  AList.Add("RotationAngle", &TControl::RotationAngle, &TControl::SetRotationAngle).WithDefault(0.0f);
  AList.Add("RotationCenter", &TControl::RotationCenter);
  AList.Add("Scale", &TControl::Scale);
  AList.Add("Size", &TControl::ControlSize);
  AList.Add("ShowHint", &TControl::ShowHint, &TControl::SetShowHint).WithDefault(false);
  AList.Add("Visible", &TControl::Visible, &TControl::SetVisible).WithDefault(true);
  AList.Add("HitTest", &TControl::HitTest, &TControl::SetHitTest).WithDefault(true);
  AList.Add("Locked", &TControl::Locked, &TControl::SetLocked).WithDefault(false);
  AList.Add("Opacity", &TControl::Opacity, &TControl::SetOpacity).WithDefault(1.0f);
}

void TControl::SetSize(float AWidth, float AHeight) {
  if (AWidth == FWidth && AHeight == FHeight)
    return;
  // The area left behind needs painting too.
  Repaint();
  FWidth = AWidth;
  FHeight = AHeight;
  FEffectsStale = true;
  RecalcUpdateRect();
  Resize();
  Realign();
  Repaint();
}

void TControl::SetAlign(TAlignLayout AValue) {
  if (AValue == FAlign)
    return;
  FAlign = AValue;
  RealignInParent();
}

void TControl::Realign() {
  AlignControls(this, FPadding->PaddingRect(LocalRect()));
}

void TControl::RealignInParent() {
  if (FAlign != TAlignLayout::Client || !Parent())
    return;
  if (auto* parent = dynamic_cast<TControl*>(Parent()))
    parent->Realign();
  else if (auto* scene = dynamic_cast<TCustomScene*>(Parent()))
    scene->Realign();
}

void TControl::DoAddObject(TFmxObject* AObject) {
  inherited::DoAddObject(AObject);
  if (auto* control = dynamic_cast<TControl*>(AObject); control && control->Align() == TAlignLayout::Client)
    Realign();
}

void TControl::DoRemoveObject(TFmxObject* AObject) {
  if (dynamic_cast<TEffect*>(AObject))
    UpdateEffects();
  // The area the child leaves needs painting: its last update rectangle, on this control's scene.
  if (auto* control = dynamic_cast<TControl*>(AObject))
    if (IScene* scene = Scene())
      scene->AddUpdateRect(control->UpdateRect());
  inherited::DoRemoveObject(AObject);
}

void TControl::ParentChanged() {
  inherited::ParentChanged();
  RecalcUpdateRect();
  RealignInParent();
  Repaint();
}

void TControl::PositionChanged(rtl::TObject*) {
  Repaint();
  RecalcUpdateRect();
  Repaint();
}

void TControl::MarginsChanged(rtl::TObject*) {
  RealignInParent();
}

void AlignControls(TFmxObject* AParent, const rtl::TRectF& AClientRect) {
  for (TFmxObject* child : AParent->Children()) {
    auto* control = dynamic_cast<TControl*>(child);
    if (!control || control->Align() != TAlignLayout::Client)
      continue;
    const rtl::TRectF rect = control->Margins()->PaddingRect(AClientRect);
    control->Position()->SetPoint({rect.Left, rect.Top});
    control->SetSize(std::max(rect.Width(), 0.0f), std::max(rect.Height(), 0.0f));
  }
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

bool TControl::ParentedVisible() const {
  for (const TFmxObject* object = this; object; object = object->Parent())
    if (auto* control = dynamic_cast<const TControl*>(object); control && !control->FVisible)
      return false;
  return true;
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
  return inside && CheckHitTest(FHitTest) ? this : nullptr;
}

IControl* TControl::FindTarget(rtl::TPointF APoint, const TDragObject& AData) {
  if (!FVisible)
    return nullptr;
  for (auto it = Children().rbegin(); it != Children().rend(); ++it)
    if (auto* child = dynamic_cast<IControl*>(*it); child && child->GetVisible())
      if (IControl* target = child->FindTarget(APoint, AData))
        return target;
  const rtl::TRectF rect = AbsoluteRect();
  if (APoint.X < rect.Left || APoint.X >= rect.Right || APoint.Y < rect.Top || APoint.Y >= rect.Bottom)
    return nullptr;
  TDragOperation operation = TDragOperation::None;
  DragOver(AData, APoint, operation);
  return operation != TDragOperation::None ? this : nullptr;
}

void TControl::DragOver(const TDragObject& AData, const rtl::TPointF& APoint, TDragOperation& AOperation) {
  OnDragOver(this, AData, APoint, AOperation);
}

rtl::TRectF TControl::UpdateRect() {
  if (!FUpdateRectValid) {
    FUpdateRect = DoGetUpdateRect();
    FUpdateRectValid = true;
  }
  return FUpdateRect;
}

void TControl::RecalcUpdateRect() {
  FUpdateRectValid = false;
  for (TFmxObject* child : Children())
    if (auto* control = dynamic_cast<TControl*>(child))
      control->RecalcUpdateRect();
}

IScene* TControl::Scene() const {
  for (TFmxObject* object = Parent(); object; object = object->Parent())
    if (auto* scene = dynamic_cast<IScene*>(object))
      return scene;
  return nullptr;
}

TCanvas* TControl::Canvas() const {
  if (FPaintingCanvas)
    return FPaintingCanvas;
  IScene* scene = Scene();
  return scene ? scene->GetCanvas() : nullptr;
}

void TControl::Repaint() {
  if (IScene* scene = Scene(); scene && !ComponentState().Contains(rtl::TComponentStateItem::csDestroying))
    scene->AddUpdateRect(UpdateRect());
}

void TControl::InvalidateRect(const rtl::TRectF& ARect) {
  if (IScene* scene = Scene()) {
    const rtl::TPointF topLeft = LocalToAbsolute({ARect.Left, ARect.Top});
    scene->AddUpdateRect({topLeft.X, topLeft.Y, topLeft.X + ARect.Width(), topLeft.Y + ARect.Height()});
  }
}

void TControl::PaintInternal(TCanvas& ACanvas, const rtl::TMatrix& AMatrix) {
  if (TEffect* effect = ActiveEffect())
    PaintWithEffect(ACanvas, AMatrix, *effect);
  else
    PaintContent(ACanvas, AMatrix);
}

void TControl::PaintContent(TCanvas& ACanvas, const rtl::TMatrix& AMatrix) {
  const rtl::TMatrix saved = ACanvas.Matrix();
  ACanvas.SetMatrix(AMatrix);
  TCanvas* const savedCanvas = std::exchange(FPaintingCanvas, &ACanvas);
  struct TRestore {
    TControl& Control;
    TCanvas* Canvas;
    const rtl::TMatrix& Matrix;
    ~TRestore() {
      Control.FPaintingCanvas->SetMatrix(Matrix);
      Control.FPaintingCanvas = Canvas;
    }
  } restore{*this, savedCanvas, saved};
  Paint();
  OnPaint(this, &ACanvas, LocalRect());
  for (TFmxObject* child : Children()) {
    auto* control = dynamic_cast<TControl*>(child);
    if (!control || !control->Visible())
      continue;
    rtl::TMatrix matrix = AMatrix;
    matrix.m31 += control->Position()->X() * AMatrix.m11;
    matrix.m32 += control->Position()->Y() * AMatrix.m22;
    control->PaintInternal(ACanvas, matrix);
  }
}

TEffect* TControl::ActiveEffect() const {
  for (TFmxObject* child : Children())
    if (auto* effect = dynamic_cast<TEffect*>(child); effect && effect->Enabled())
      return effect;
  return nullptr;
}

// The control and its children are painted at the canvas's scale into the effect bitmap, only
// when it is stale; the effect's output (or the bitmap itself, when the effect has none) is drawn
// 1:1 at the control's top-left with the control's opacity.
void TControl::PaintWithEffect(TCanvas& ACanvas, const rtl::TMatrix& AMatrix, TEffect& AEffect) {
  const float scale = AMatrix.m11 > 0 ? AMatrix.m11 : 1;
  const int32_t width = std::max(0, int32_t(std::lround(FWidth * scale)));
  const int32_t height = std::max(0, int32_t(std::lround(FHeight * scale)));
  if (width == 0 || height == 0)
    return;
  if (FEffectsStale || !FEffectBitmap || FEffectBitmap->Width() != width || FEffectBitmap->Height() != height) {
    if (!FEffectBitmap)
      FEffectBitmap = rtl::MakeOwned<TBitmap>();
    FEffectBitmap->SetSize(width, height);
    FEffectBitmap->Clear(0);
    FEffectBitmap->SetBitmapScale(scale);
    TCanvas& canvas = *FEffectBitmap->Canvas();
    if (canvas.BeginScene()) {
      struct TEnd {
        TCanvas& Canvas;
        ~TEnd() { Canvas.EndScene(); }
      } end{canvas};
      PaintContent(canvas, {scale, 0, 0, 0, scale, 0, 0, 0, 1});
    }
    // Stale until the effect ran: an effect that raises runs again at the next paint.
    TBitmap* output = AEffect.ProcessEffect(FEffectBitmap.get());
    if (!FEffectOutput)
      FEffectOutput = rtl::MakeOwned<TBitmap>();
    FEffectOutput->Assign(output ? output : FEffectBitmap.get());
    FEffectsStale = false;
  }
  const rtl::TMatrix saved = ACanvas.Matrix();
  ACanvas.SetMatrix(AMatrix);
  const float outWidth = float(FEffectOutput->Width()), outHeight = float(FEffectOutput->Height());
  ACanvas.DrawBitmap(*FEffectOutput, {0, 0, outWidth, outHeight}, {0, 0, outWidth / scale, outHeight / scale},
                     FOpacity);
  ACanvas.SetMatrix(saved);
}

void TControl::UpdateEffects() {
  FEffectsStale = true;
  Repaint();
}

void TControl::FreeEffectBitmap() {
  FEffectBitmap.reset();
  FEffectOutput.reset();
  FEffectsStale = true;
}

void TControl::PaintTo(TCanvas* ACanvas, const rtl::TRectF& ARect, TFmxObject*) {
  if (!ACanvas || !ACanvas->BeginScene())
    return;
  struct TEnd {
    TCanvas* Canvas;
    ~TEnd() { Canvas->EndScene(); }
  } end{ACanvas};
  PaintInternal(*ACanvas, {1, 0, 0, 0, 1, 0, ARect.Left, ARect.Top, 1});
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
