#include "support/fill_control.h"

#include "ui/canvas.h"

namespace vtest {

RTL_DEFINE_CLASS(TFillControl, "Tests.Support")

void TFillControl::Paint() {
  ui::TCanvas* canvas = Canvas();
  if (!canvas)
    return;
  canvas->Fill().Color = Color;
  canvas->FillRect(LocalRect(), 1);
  if (InnerRect.Width() > 0 && InnerRect.Height() > 0) {
    canvas->Fill().Color = InnerColor;
    canvas->FillRect(InnerRect, 1);
  }
}

} // namespace vtest
