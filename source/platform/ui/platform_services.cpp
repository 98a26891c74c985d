#include "ui/platform_services.h"

#include "rtl/sysutils.h"

namespace ui {

TPlatformServices::TPlatformServices()
    : FDefaultTimerService(std::make_shared<TProcessClockTimerService>()),
      FTimerService(FDefaultTimerService) {}

TPlatformServices& TPlatformServices::Current() {
  static TPlatformServices services;
  return services;
}

std::shared_ptr<ITimerService> TPlatformServices::TimerService() const {
  if (!FTimerService)
    throw EUnsupportedPlatformService(rtl::Format("Unsupported platform service: %s", "IFMXTimerService"));
  return FTimerService;
}

void TPlatformServices::SetTimerService(std::shared_ptr<ITimerService> AService) {
  FTimerService = std::move(AService);
}

} // namespace ui
