#pragma once
// The scene host: the off-screen core of a form. A TCustomScene has a client size, a scale, and a
// canvas bitmap of round(size x scale) pixels. Its children are controls; changes add update
// rectangles, and the application loop (ui/application.h) paints them: it fills the rectangles
// with Fill's colour, then paints the visible controls that touch them, in child order, each with
// the canvas matrix "absolute offset x scale". Forms derive from it; where the framework looks for
// "the form" of a control, a scene answers.

#include <vector>

#include "rtl/types2d.h"
#include "ui/application.h"
#include "ui/bitmap.h"
#include "ui/canvas.h"
#include "ui/fmx_object.h"
#include "ui/types3d.h"

namespace ui {

class IScene {
public:
  virtual rtl::TObject* GetObject() = 0;
  virtual TCanvas* GetCanvas() = 0;
  virtual float GetSceneScale() = 0;
  // ARect in the scene's client coordinates.
  virtual void AddUpdateRect(const rtl::TRectF& ARect) = 0;

protected:
  ~IScene() = default;
};

class TCustomScene : public TFmxObject, public IScene, public IPaintable {
  RTL_CLASS(TCustomScene, TFmxObject)
public:
  explicit TCustomScene(rtl::TComponent* AOwner);

  // Joins the application loop's paints.
  void AfterConstruction() override;
  void BeforeDestruction() override;

  float ClientWidth() const { return FClientSize.Width; }
  float ClientHeight() const { return FClientSize.Height; }
  rtl::TRectF ClientRect() const { return {0, 0, FClientSize.Width, FClientSize.Height}; }
  // A new size re-creates the canvas bitmap, realigns the children and repaints everything.
  void SetSize(float AWidth, float AHeight);
  // A new scale re-creates the canvas bitmap at round(size x scale), repaints everything and
  // sends TScaleChangedMessage (sender: this scene). Values <= 0 raise EArgumentOutOfRangeException.
  void SetSceneScale(float AValue);
  // The colour the update rectangles are filled with; opaque black.
  TBrush& Fill() { return FFill; }
  // The native window: none off screen; a form answers its handle token.
  virtual TWindowHandle WindowHandle() const { return 0; }
  // The scene's image; BitmapScale is the scene scale.
  TBitmap* Bitmap() const { return FBitmap.get(); }
  // Places the Client-aligned children in the client area.
  void Realign();
  // Adds the whole client area to the update rectangles.
  void Invalidate() { AddUpdateRect(ClientRect()); }
  const std::vector<rtl::TRectF>& UpdateRects() const { return FUpdateRects; }

  // IScene
  rtl::TObject* GetObject() override { return this; }
  TCanvas* GetCanvas() override { return FBitmap->Canvas(); }
  float GetSceneScale() override { return FScale; }
  // Clipped to the client area; an empty rectangle is dropped.
  void AddUpdateRect(const rtl::TRectF& ARect) override;

  // IPaintable
  bool PaintPending() const override { return !FUpdateRects.empty(); }
  void PaintPendingRects() override;

protected:
  void DoAddObject(TFmxObject* AObject) override;
  void DoRemoveObject(TFmxObject* AObject) override;

private:
  void ResizeBitmap();

  rtl::TSizeF FClientSize;
  float FScale = 1;
  TBrush FFill;
  rtl::TOwned<TBitmap> FBitmap;
  std::vector<rtl::TRectF> FUpdateRects;
  // The rectangles being painted (a scene's paint is never re-entered by the loop).
  std::vector<rtl::TRectF> FPaintingRects;
};

} // namespace ui
