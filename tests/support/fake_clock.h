#pragma once
// A process clock that stands still until the test moves it. While a TFakeClock lives it is the
// clock of rtl::TStopwatch and rtl::GetTickCount64, on every thread; Advance moves it and fires the
// UI timers that fall due on the way, each at its own time.

#include <atomic>
#include <cstdint>

namespace vtest {

class TFakeClock {
public:
  // Starts at AStartMs milliseconds; not 0, so that a time taken from it is never mistaken for
  // "not set".
  explicit TFakeClock(int64_t AStartMs = 1'000'000);
  ~TFakeClock();
  TFakeClock(const TFakeClock&) = delete;
  TFakeClock& operator=(const TFakeClock&) = delete;

  int64_t NowMs() const { return FNowTicks.load() / TicksPerMs; }
  // Moves the clock AMilliseconds forward. It stops at every due time of a UI timer on the way
  // and pumps the UI thread's messages there, and pumps once more at the end.
  void Advance(int64_t AMilliseconds);
  // Moves the clock AMilliseconds forward at once, pumping nothing: a stall of the UI thread.
  void Jump(int64_t AMilliseconds) { FNowTicks += AMilliseconds * TicksPerMs; }
  // Pumps the UI thread's messages (synchronized calls, due timers) without moving the clock.
  void Pump();
  // How often the clock was read so far, from any thread.
  int64_t Reads() const { return FReads.load(); }

private:
  static constexpr int64_t TicksPerMs = 10'000;
  std::atomic<int64_t> FNowTicks;
  std::atomic<int64_t> FReads{0};
};

} // namespace vtest
