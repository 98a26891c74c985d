#pragma once
// The platform's timing service: periodic calls on the UI thread. TTimer (ui/timers.h) asks the
// service installed in TPlatformServices (ui/platform_services.h) for its ticks; by default that
// is TProcessClockTimerService, which Application().ProcessMessages() drives.

#include <cstdint>
#include <exception>
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
  // The name TPlatformServices knows the service by, and errors name.
  static constexpr const char* ServiceName = "IFMXTimerService";

  virtual ~ITimerService() = default;
  // A timer that runs AProc on the UI thread every AInterval milliseconds from now on.
  virtual TTimerHandle CreateTimer(int AInterval, TTimerProc AProc) = 0;
  // Stops the timer; false when the handle names no timer of this service.
  virtual bool DestroyTimer(TTimerHandle ATimer) = 0;
  // Seconds on the service's clock since process start.
  virtual double GetTick() const = 0;
};

// Timers on the process clock (rtl::GetTickCount64), fired by ProcessTimers, which the UI thread
// calls from its message loop (Application().ProcessMessages). Timers may be created and destroyed
// inside a timer's call. GetTick counts from process start (rtl::TStopwatch::GetProcessTimeStamp).
class TProcessClockTimerService final : public ITimerService {
public:
  TTimerHandle CreateTimer(int AInterval, TTimerProc AProc) override;
  bool DestroyTimer(TTimerHandle ATimer) override;
  double GetTick() const override;

  using TErrorHandler = std::function<void(std::exception_ptr AError)>;

  // Fires the timers that are due, in creation order, each at most once. A fired timer is due
  // again one interval after its due time, or one interval from now when it fell further behind,
  // so a stall causes no burst. Timers created during the pass wait for the next one; a timer
  // whose call is running (a call that pumps the loop) is skipped. An exception of a call goes to
  // AOnError (when given) and the pass goes on; without AOnError it propagates after the pass.
  // Returns whether any timer fired.
  bool ProcessTimers(const TErrorHandler& AOnError = nullptr);
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
    bool Running = false;
  };
  // Shared so that a pass keeps an entry whose timer its own call destroys.
  std::vector<std::shared_ptr<TEntry>> FEntries;
  TTimerHandle FLastHandle = 0;
};

} // namespace ui
