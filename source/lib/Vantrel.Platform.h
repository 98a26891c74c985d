#pragma once
// Process-wide platform services that an application may provide. None is set by the framework.

#include <memory>

#include "Vantrel.Prelude.h"
#include "ui/timer_service.h"

namespace vantrel {

// Empty unless an application sets it; released when the process ends.
extern std::shared_ptr<ITimerService> PlatformTimerService;

} // namespace vantrel
