#include <gtest/gtest.h>

#include "support/canvas_probe.h"

#include <thread>

#include "rtl/exceptions.h"
#include "ui/canvas.h"

namespace {

using ui::TCanvas;

TEST(CanvasLock, IsReentrantAndHeldUntilEveryLockIsUnlocked) {
  TCanvas::Lock();
  TCanvas::Lock();
  EXPECT_TRUE(TCanvas::TryLock());
  EXPECT_FALSE(vtest::CanvasFreeForOtherThread());
  TCanvas::Unlock();
  TCanvas::Unlock();
  EXPECT_FALSE(vtest::CanvasFreeForOtherThread());
  TCanvas::Unlock();
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
}

TEST(CanvasLock, UnlockWithoutHoldingRaises) {
  EXPECT_THROW(TCanvas::Unlock(), rtl::EInvalidOperation);
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
}

} // namespace
