#pragma once
// Time measurement in 100-ns ticks. Every reading comes from one process clock, which tests replace
// so that time passes only when they say so.

#include <chrono>
#include <cstdint>
#include <functional>
#include <ratio>

namespace rtl {

// A span of 100-ns ticks.
using TTimeSpan = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;

class TStopwatch {
public:
  // Ticks per second of GetTimeStamp and ElapsedTicks.
  static constexpr int64_t Frequency = 10'000'000;
  static constexpr bool IsHighResolution = true;

  // A reset, stopped stopwatch.
  static TStopwatch Create() { return TStopwatch(); }
  static TStopwatch StartNew();
  // The process clock now, in ticks.
  static int64_t GetTimeStamp();
  // The process clock's ticks since process start. GetTimeStamp counts from an origin of the clock
  // (boot for the system clock), which leaves too few significant digits for seconds kept in a
  // float once a machine has run for days.
  static int64_t GetProcessTimeStamp();
  // Replaces the process clock (ticks, must not decrease); nullptr restores the steady system clock.
  // The process start moves to the new clock's current reading, so a replaced clock starts at 0;
  // restoring the system clock restores its own start.
  static void SetClock(std::function<int64_t()> AClock);

  void Start();
  void Stop();
  // Stops and clears the elapsed time.
  void Reset();

  bool IsRunning() const { return FRunning; }
  TTimeSpan Elapsed() const { return TTimeSpan(ElapsedTicks()); }
  int64_t ElapsedMilliseconds() const { return ElapsedTicks() / (Frequency / 1000); }
  int64_t ElapsedTicks() const;

private:
  int64_t FElapsed = 0;
  int64_t FStartTimeStamp = 0;
  bool FRunning = false;
};

// Milliseconds on the process clock; with the system clock, the time since boot.
int64_t GetTickCount64();

} // namespace rtl
