#include "ui/scene.h"

#include <algorithm>
#include <cmath>

#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "ui/controls.h"
#include "ui/messages.h"

namespace ui {

RTL_DEFINE_CLASS(TCustomScene, "ui.Scene")

namespace {

bool Intersects(const rtl::TRectF& A, const rtl::TRectF& B) {
  return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom;
}

rtl::TRectF Intersection(const rtl::TRectF& A, const rtl::TRectF& B) {
  return {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom)};
}

} // namespace

TCustomScene::TCustomScene(rtl::TComponent* AOwner) : TFmxObject(AOwner), FBitmap(rtl::New<TBitmap>()) {}

void TCustomScene::AfterConstruction() {
  inherited::AfterConstruction();
  Application().AddPaintable(this);
}

void TCustomScene::BeforeDestruction() {
  Application().RemovePaintable(this);
  inherited::BeforeDestruction();
}

void TCustomScene::SetSize(float AWidth, float AHeight) {
  if (AWidth < 0 || AHeight < 0)
    throw rtl::EArgumentOutOfRangeException("A scene's size cannot be negative");
  if (rtl::TSizeF{AWidth, AHeight} == FClientSize)
    return;
  FClientSize = {AWidth, AHeight};
  ResizeBitmap();
  Realign();
  Invalidate();
}

void TCustomScene::SetSceneScale(float AValue) {
  if (!(AValue > 0))
    throw rtl::EArgumentOutOfRangeException("A scene's scale must be positive");
  if (AValue == FScale)
    return;
  FScale = AValue;
  ResizeBitmap();
  Invalidate();
  rtl::TMessageManager::DefaultManager().SendMessage(this, rtl::New<TScaleChangedMessage>(FScale));
}

void TCustomScene::ResizeBitmap() {
  FBitmap->SetSize(static_cast<int32_t>(std::lround(FClientSize.Width * FScale)),
                   static_cast<int32_t>(std::lround(FClientSize.Height * FScale)));
  FBitmap->SetBitmapScale(FScale);
}

void TCustomScene::Realign() {
  AlignControls(this, ClientRect());
}

void TCustomScene::AddUpdateRect(const rtl::TRectF& ARect) {
  if (ComponentState().Contains(rtl::TComponentStateItem::csDestroying))
    return;
  const rtl::TRectF rect = Intersection(ARect, ClientRect());
  if (rect.IsEmpty())
    return;
  FUpdateRects.push_back(rect);
}

void TCustomScene::PaintPendingRects() {
  // The two lists trade places, so neither allocates again in steady frames.
  FPaintingRects.swap(FUpdateRects);
  FUpdateRects.clear();
  const std::vector<rtl::TRectF>& rects = FPaintingRects;
  if (rects.empty())
    return;
  TCanvas& canvas = *GetCanvas();
  if (!canvas.BeginScene())
    return;
  struct TEnd {
    TCanvas& Canvas;
    ~TEnd() { Canvas.EndScene(); }
  } end{canvas};
  canvas.SetMatrix({FScale, 0, 0, 0, FScale, 0, 0, 0, 1});
  for (const rtl::TRectF& rect : rects)
    canvas.ClearRect(rect, FFill.Color);
  for (TFmxObject* child : Children()) {
    auto* control = dynamic_cast<TControl*>(child);
    if (!control || !control->Visible())
      continue;
    const rtl::TRectF area = control->UpdateRect();
    if (std::none_of(rects.begin(), rects.end(),
                     [&](const rtl::TRectF& ARect) { return Intersects(ARect, area); }))
      continue;
    control->PaintInternal(canvas, {FScale, 0, 0, 0, FScale, 0, control->Position()->X() * FScale,
                                    control->Position()->Y() * FScale, 1});
  }
}

void TCustomScene::DoAddObject(TFmxObject* AObject) {
  inherited::DoAddObject(AObject);
  Realign();
  if (auto* control = dynamic_cast<TControl*>(AObject))
    control->Repaint();
}

void TCustomScene::DoRemoveObject(TFmxObject* AObject) {
  if (auto* control = dynamic_cast<TControl*>(AObject))
    AddUpdateRect(control->UpdateRect());
  inherited::DoRemoveObject(AObject);
}

} // namespace ui
