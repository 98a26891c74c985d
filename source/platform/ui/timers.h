#pragma once
// TTimer: a component that calls OnTimer on the UI thread every Interval milliseconds while it is
// enabled. It runs on the timer service installed when it was made (ui/platform_services.h); with
// the default service its calls come from Application().ProcessMessages, and an exception of
// OnTimer goes to Application().HandleException.

#include <functional>
#include <memory>

#include "ui/fmx_object.h"
#include "ui/timer_service.h"

namespace ui {

class TTimer : public TFmxObject {
  RTL_CLASS(TTimer, TFmxObject)
public:
  using TNotifyEvent = std::function<void(rtl::TObject* ASender)>;

  // Raises EUnsupportedPlatformService when no timer service is installed.
  explicit TTimer(rtl::TComponent* AOwner);

  // Publishes Enabled and Interval.
  static void RegisterProperties(rtl::TPropertyList& AList);

  void BeforeDestruction() override;

  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  // Milliseconds; 0 stops the ticks.
  int GetInterval() const { return FInterval; }
  void SetInterval(int AValue);
  const TNotifyEvent& GetOnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent AValue);

protected:
  virtual void DoOnTimer();

private:
  // Drops the service's timer and asks for a new one when the timer should tick; so enabling,
  // or changing the interval, restarts the count from the full interval.
  void UpdateTimer();
  void KillTimer();

  std::shared_ptr<ITimerService> FService;
  TTimerHandle FHandle = 0;
  int FInterval = 1000;
  bool FEnabled = true;
  TNotifyEvent FOnTimer;
};

} // namespace ui
