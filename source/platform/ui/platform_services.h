#pragma once
// The services the platform offers the framework, registered under their interface's name and
// looked up where they are used, so that an application or a test can replace them. A service
// interface names itself in a static ServiceName. A process starts with the default timer service
// installed.

#include <map>
#include <memory>
#include <mutex>
#include <string>

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

  // Installs AService under AName, replacing one installed before; nullptr removes it.
  void AddPlatformService(const std::string& AName, std::shared_ptr<void> AService);
  // Nothing when no service has that name.
  void RemovePlatformService(const std::string& AName);
  bool SupportsPlatformService(const std::string& AName) const;
  // Raises EUnsupportedPlatformService "Unsupported platform service: <name>" when none is installed.
  std::shared_ptr<void> GetPlatformService(const std::string& AName) const;

  // The same by interface.
  template <class I> void Add(std::shared_ptr<I> AService) {
    AddPlatformService(I::ServiceName, std::static_pointer_cast<void>(std::move(AService)));
  }
  template <class I> void Remove() { RemovePlatformService(I::ServiceName); }
  template <class I> bool Supports() const { return SupportsPlatformService(I::ServiceName); }
  template <class I> std::shared_ptr<I> GetPlatformService() const {
    return std::static_pointer_cast<I>(GetPlatformService(I::ServiceName));
  }

  // The installed timer service; raises EUnsupportedPlatformService "Unsupported platform
  // service: IFMXTimerService" when none is.
  std::shared_ptr<ITimerService> TimerService() const { return GetPlatformService<ITimerService>(); }
  // Installs AService (nullptr: none).
  void SetTimerService(std::shared_ptr<ITimerService> AService) { Add<ITimerService>(std::move(AService)); }
  // The default timer service installed at start-up, also when another one replaced it; the
  // application loop fires its timers.
  TProcessClockTimerService& DefaultTimerService() const { return *FDefaultTimerService; }

private:
  TPlatformServices();

  const std::shared_ptr<TProcessClockTimerService> FDefaultTimerService;
  mutable std::mutex FMutex;
  std::map<std::string, std::shared_ptr<void>, std::less<>> FServices;
};

} // namespace ui
