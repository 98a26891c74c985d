#include "ui/platform_services.h"

#include "rtl/sysutils.h"

namespace ui {

TPlatformServices::TPlatformServices() : FDefaultTimerService(std::make_shared<TProcessClockTimerService>()) {
  Add<ITimerService>(FDefaultTimerService);
}

TPlatformServices& TPlatformServices::Current() {
  static TPlatformServices services;
  return services;
}

void TPlatformServices::AddPlatformService(const std::string& AName, std::shared_ptr<void> AService) {
  if (!AService) {
    RemovePlatformService(AName);
    return;
  }
  std::lock_guard guard(FMutex);
  FServices[AName] = std::move(AService);
}

void TPlatformServices::RemovePlatformService(const std::string& AName) {
  std::lock_guard guard(FMutex);
  FServices.erase(AName);
}

bool TPlatformServices::SupportsPlatformService(const std::string& AName) const {
  std::lock_guard guard(FMutex);
  return FServices.contains(AName);
}

std::shared_ptr<void> TPlatformServices::GetPlatformService(const std::string& AName) const {
  {
    std::lock_guard guard(FMutex);
    if (auto it = FServices.find(AName); it != FServices.end())
      return it->second;
  }
  throw EUnsupportedPlatformService(rtl::Format("Unsupported platform service: %s", AName));
}

} // namespace ui
