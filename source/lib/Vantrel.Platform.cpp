#include "Vantrel.Platform.h"

namespace vantrel {

std::shared_ptr<ITimerService> PlatformTimerService;

} // namespace vantrel
