#include "support/fake_clock.h"

#include <algorithm>

#include "rtl/stopwatch.h"
#include "ui/application.h"
#include "ui/platform_services.h"

namespace vtest {

TFakeClock::TFakeClock(int64_t AStartMs) : FNowTicks(AStartMs * TicksPerMs) {
  rtl::TStopwatch::SetClock([this] {
    ++FReads;
    return FNowTicks.load();
  });
}

TFakeClock::~TFakeClock() {
  rtl::TStopwatch::SetClock(nullptr);
}

void TFakeClock::Advance(int64_t AMilliseconds) {
  const int64_t target = NowMs() + AMilliseconds;
  auto& timers = ui::TPlatformServices::Current().DefaultTimerService();
  for (int64_t due = timers.NextDue(); due <= target; due = timers.NextDue()) {
    FNowTicks.store(std::max(due, NowMs()) * TicksPerMs);
    Pump();
  }
  FNowTicks.store(target * TicksPerMs);
  Pump();
}

void TFakeClock::Pump() {
  ui::Application().ProcessMessages();
}

} // namespace vtest
