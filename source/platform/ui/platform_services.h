#pragma once
// The services the platform offers the framework, looked up where they are used so that an
// application or a test can replace them. The timer service is the only one so far; a process
// starts with the process-clock timer service installed.

#include <memory>
#include <string_view>

#include "rtl/exceptions.h"
#include "ui/timer_service.h"

namespace ui {

class EUnsupportedPlatformService : public rtl::Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EUnsupportedPlatformService"; }
};

class TPlatformServices {
public:
  static TPlatformServices& Current();

  // The installed timer service; raises EUnsupportedPlatformService "Unsupported platform
  // service: IFMXTimerService" when none is.
  std::shared_ptr<ITimerService> TimerService() const;
  // Installs AService (nullptr: none).
  void SetTimerService(std::shared_ptr<ITimerService> AService);
  // The process-clock service installed at start-up, also when another one replaced it.
  TProcessClockTimerService& DefaultTimerService() const { return *FDefaultTimerService; }

private:
  TPlatformServices();

  std::shared_ptr<TProcessClockTimerService> FDefaultTimerService;
  std::shared_ptr<ITimerService> FTimerService;
};

} // namespace ui
