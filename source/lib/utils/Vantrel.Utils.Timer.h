#pragma once
// The frame timer: a thread that only measures time. Each time its interval has elapsed it hands
// one call of OnTimer to the UI thread (waiting for it, or queued), and once a second it works
// out how many intervals fired per second (FPS). All drawing happens in the handler, on the UI
// thread.
//
// The loop spins with a yield instead of sleeping, so the interval is met to within a scheduler
// time slice at the cost of one busy core while the timer is active. Pausing is cooperative: the
// loop parks at its top (inside Terminated()) and freeing the timer wakes it, so the thread is
// never frozen while it holds a lock another thread needs.

#include <atomic>
#include <cstdint>

#include "Vantrel.Prelude.h"
#include "rtl/method.h"
#include "rtl/stopwatch.h"
#include "rtl/threads.h"
#include "rtl/typeinfo.h"

namespace vantrel {

// How OnTimer reaches the UI thread: Synchronized waits until it ran, Enqueued does not.
enum class TVantrelTimerMode : uint8_t { Synchronized, Enqueued };
RTL_ENUM_TYPEINFO(TVantrelTimerMode, "Synchronized", "Enqueued")

// Sender: the timer.
using TOnTimerEvent = TMethodEvent<TObject*>;

class TVantrelTimer : public TThread {
  RTL_CLASS(TVantrelTimer, TThread)
public:
  // Suspended, Interval 1000, Synchronized, no handler, FPS 0. The raised priority asked for
  // here needs privileges a process usually lacks; without them the thread keeps its priority.
  TVantrelTimer();

  // Publishes Mode, Interval and OnTimer.
  static void RegisterProperties(TPropertyList& AList);

  // The setters take the timer's monitor; the loop reads the values without it.
  TVantrelTimerMode GetMode() const { return FMode.load(); }
  void SetMode(TVantrelTimerMode AValue);
  int32_t GetInterval() const { return FInterval.load(); }
  void SetInterval(int32_t AValue);
  TOnTimerEvent GetOnTimer() const;
  void SetOnTimer(const TOnTimerEvent& AValue);
  // Started and not paused. True starts the thread the first time and resumes it later; False
  // asks the loop to park at its next turn.
  bool GetActive() const;
  void SetActive(bool AValue);
  // Intervals fired per second in the last completed one-second window.
  float GetFPS() const { return FLastFPS.load(); }

protected:
  void Execute() override;

private:
  // Runs OnTimer on the UI thread in the current mode. An exception of the handler does not end
  // the thread: it goes to the application's exception handler and the timing goes on.
  void HandOver();
  // Ends the measuring window when it spans a second or more.
  void MeasureWindow();

  std::atomic<TVantrelTimerMode> FMode{TVantrelTimerMode::Synchronized};
  std::atomic<int32_t> FInterval{1000};
  TStopwatch FCadencer = TStopwatch::Create();
  int64_t FFrameCount = 0;
  std::atomic<float> FLastFPS{0};
  // Guarded by the monitor; the loop copies it under the monitor when an interval fires.
  TOnTimerEvent FOnTimer;
  int64_t FWindowStart = 0;
};

} // namespace vantrel
