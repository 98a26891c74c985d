#include "context/Vantrel.Context.Version.h"

namespace vantrel {

int32_t ContextVersionNumber = -1;
bool ContextVersionFlag = false;

} // namespace vantrel
