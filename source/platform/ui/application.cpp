#include "ui/application.h"

#include "rtl/threads.h"
#include "ui/platform_services.h"

namespace ui {

void TApplication::ProcessMessages() {
  rtl::CheckSynchronize();
  TPlatformServices::Current().DefaultTimerService().ProcessTimers();
}

TApplication& Application() {
  static TApplication application;
  return application;
}

} // namespace ui
