#include "rtl/stopwatch.h"

#include <atomic>
#include <mutex>

namespace rtl {

namespace {

struct TClockOverride {
  std::mutex Mutex;
  std::function<int64_t()> Clock;
  // Lets every reading skip the mutex while no test clock is installed.
  std::atomic<bool> Active{false};
};

TClockOverride& Override() {
  // Never destroyed: threads still running during static destruction may read the clock.
  static auto* clock = new TClockOverride;
  return *clock;
}

int64_t SystemTicks() {
  return std::chrono::duration_cast<TTimeSpan>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

int64_t TStopwatch::GetTimeStamp() {
  auto& clock = Override();
  if (!clock.Active.load(std::memory_order_acquire))
    return SystemTicks();
  std::lock_guard guard(clock.Mutex);
  return clock.Clock ? clock.Clock() : SystemTicks();
}

void TStopwatch::SetClock(std::function<int64_t()> AClock) {
  auto& clock = Override();
  std::lock_guard guard(clock.Mutex);
  clock.Active.store(static_cast<bool>(AClock), std::memory_order_release);
  clock.Clock = std::move(AClock);
}

TStopwatch TStopwatch::StartNew() {
  TStopwatch result;
  result.Start();
  return result;
}

void TStopwatch::Start() {
  if (FRunning)
    return;
  FStartTimeStamp = GetTimeStamp();
  FRunning = true;
}

void TStopwatch::Stop() {
  if (!FRunning)
    return;
  FElapsed += GetTimeStamp() - FStartTimeStamp;
  FRunning = false;
}

void TStopwatch::Reset() {
  FElapsed = 0;
  FStartTimeStamp = 0;
  FRunning = false;
}

int64_t TStopwatch::ElapsedTicks() const {
  return FRunning ? FElapsed + (GetTimeStamp() - FStartTimeStamp) : FElapsed;
}

int64_t GetTickCount64() {
  return TStopwatch::GetTimeStamp() / (TStopwatch::Frequency / 1000);
}

} // namespace rtl
