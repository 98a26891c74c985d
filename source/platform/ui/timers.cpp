#include "ui/timers.h"

#include "rtl/properties.h"
#include "ui/platform_services.h"

namespace ui {

RTL_DEFINE_CLASS(TTimer, "ui.Timers", &TTimer::RegisterProperties)

TTimer::TTimer(rtl::TComponent* AOwner)
    : TFmxObject(AOwner), FService(TPlatformServices::Current().TimerService()) {}

void TTimer::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Enabled", &TTimer::GetEnabled, &TTimer::SetEnabled).WithDefault(true);
  AList.Add("Interval", &TTimer::GetInterval, &TTimer::SetInterval).WithDefault(1000);
}

void TTimer::BeforeDestruction() {
  KillTimer();
  inherited::BeforeDestruction();
}

void TTimer::SetEnabled(bool AValue) {
  if (FEnabled == AValue)
    return;
  FEnabled = AValue;
  UpdateTimer();
}

void TTimer::SetInterval(int AValue) {
  if (FInterval == AValue)
    return;
  FInterval = AValue;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent AValue) {
  FOnTimer = std::move(AValue);
  UpdateTimer();
}

void TTimer::DoOnTimer() {
  // A copy: the handler may free this timer, and with it FOnTimer.
  const TNotifyEvent handler = FOnTimer;
  if (handler)
    handler(this);
}

void TTimer::UpdateTimer() {
  KillTimer();
  if (FEnabled && FInterval > 0 && FOnTimer)
    FHandle = FService->CreateTimer(FInterval, [this] { DoOnTimer(); });
}

void TTimer::KillTimer() {
  if (FHandle != 0)
    FService->DestroyTimer(FHandle);
  FHandle = 0;
}

} // namespace ui
