#include "ui/canvas.h"

#include "rtl/sync.h"

namespace ui {

RTL_DEFINE_CLASS(TCanvas, "ui.Canvas")

namespace {
rtl::TReentrantLock& GlobalCanvasLock() {
  static rtl::TReentrantLock lock;
  return lock;
}
} // namespace

void TCanvas::Lock() {
  GlobalCanvasLock().Acquire();
}

void TCanvas::Unlock() {
  GlobalCanvasLock().Release();
}

bool TCanvas::TryLock() {
  return GlobalCanvasLock().TryAcquire();
}

} // namespace ui
