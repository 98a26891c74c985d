#include "rtl/stopwatch.h"

#include <atomic>
#include <mutex>

namespace rtl {

namespace {

int64_t SystemTicks() {
  return std::chrono::duration_cast<TTimeSpan>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The system clock at process start; static initialisation reads it.
int64_t SystemStart() {
  static const int64_t start = SystemTicks();
  return start;
}
[[maybe_unused]] const int64_t SystemStartTouched = SystemStart();

struct TClockOverride {
  std::mutex Mutex;
  std::function<int64_t()> Clock;
  // The process start on the installed clock.
  std::atomic<int64_t> Start{0};
  // Lets every reading skip the mutex while no test clock is installed.
  std::atomic<bool> Active{false};
};

TClockOverride& Override() {
  // Never destroyed: threads still running during static destruction may read the clock.
  static auto* clock = [] {
    auto* result = new TClockOverride;
    result->Start = SystemStart();
    return result;
  }();
  return *clock;
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
  clock.Start = AClock ? AClock() : SystemStart();
  clock.Active.store(static_cast<bool>(AClock), std::memory_order_release);
  clock.Clock = std::move(AClock);
}

int64_t TStopwatch::GetProcessTimeStamp() {
  // Read the start first: a clock replaced in between gives a reading after its start.
  const int64_t start = Override().Start.load();
  return GetTimeStamp() - start;
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
