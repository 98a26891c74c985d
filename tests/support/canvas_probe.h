#pragma once
// Whether another thread could take the global canvas lock right now; it releases what it took.

#include <thread>

#include "ui/canvas.h"

namespace vtest {

inline bool CanvasFreeForOtherThread() {
  bool taken = false;
  std::thread([&] {
    taken = ui::TCanvas::TryLock();
    if (taken)
      ui::TCanvas::Unlock();
  }).join();
  return taken;
}

} // namespace vtest
