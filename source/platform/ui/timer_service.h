#pragma once
// The platform's timing service: periodic calls on the UI thread. TTimer (ui/timers.h) asks the
// service installed in TPlatformServices (ui/platform_services.h) for its ticks; by default that
// is TProcessClockTimerService, which Application().ProcessMessages() drives.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace ui {

// Names a timer of a service; 0 names none.
using TTimerHandle = uintptr_t;
using TTimerProc = std::function<void()>;

class ITimerService {
public:
  virtual ~ITimerService() = default;
  // A timer that runs AProc on the UI thread every AInterval milliseconds from now on.
  virtual TTimerHandle CreateTimer(int AInterval, TTimerProc AProc) = 0;
  // Stops the timer; false when the handle names no timer of this service.
  virtual bool DestroyTimer(TTimerHandle ATimer) = 0;
  // Seconds on the service's clock.
  virtual double GetTick() const = 0;
};

// Timers on the process clock (rtl::GetTickCount64), fired by ProcessTimers, which the UI thread
// calls from its message loop. Timers may be created and destroyed inside a timer's call.
class TProcessClockTimerService final : public ITimerService {
public:
  TTimerHandle CreateTimer(int AInterval, TTimerProc AProc) override;
  bool DestroyTimer(TTimerHandle ATimer) override;
  double GetTick() const override;

  // Fires the timers that are due, in creation order, each at most once. A fired timer is due
  // again one interval after its due time, or one interval from now when it fell further behind.
  // Timers created during the pass wait for the next one.
  void ProcessTimers();
  // The earliest due time (milliseconds on the process clock) of any timer; the largest int64
  // value when there is none.
  int64_t NextDue() const;

private:
  struct TEntry {
    TTimerHandle Handle = 0;
    int64_t Interval = 0;
    int64_t Due = 0;
    TTimerProc Proc;
    bool Alive = true;
  };
  // Shared so that a pass keeps an entry whose timer its own call destroys.
  std::vector<std::shared_ptr<TEntry>> FEntries;
  TTimerHandle FLastHandle = 0;
};

} // namespace ui
