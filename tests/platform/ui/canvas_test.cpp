#include <gtest/gtest.h>

#include <thread>

#include "rtl/exceptions.h"
#include "ui/canvas.h"

namespace {

using ui::TCanvas;

// Whether another thread can take the lock now; it releases what it took.
bool FreeForOtherThread() {
  bool taken = false;
  std::thread([&] {
    taken = TCanvas::TryLock();
    if (taken)
      TCanvas::Unlock();
  }).join();
  return taken;
}

TEST(CanvasLock, IsReentrantAndHeldUntilEveryLockIsUnlocked) {
  TCanvas::Lock();
  TCanvas::Lock();
  EXPECT_TRUE(TCanvas::TryLock());
  EXPECT_FALSE(FreeForOtherThread());
  TCanvas::Unlock();
  TCanvas::Unlock();
  EXPECT_FALSE(FreeForOtherThread());
  TCanvas::Unlock();
  EXPECT_TRUE(FreeForOtherThread());
}

TEST(CanvasLock, UnlockWithoutHoldingRaises) {
  EXPECT_THROW(TCanvas::Unlock(), rtl::EInvalidOperation);
  EXPECT_TRUE(FreeForOtherThread());
}

} // namespace
