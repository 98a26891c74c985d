#pragma once
// A version number and a flag that the process carries for applications; the framework itself
// neither sets nor reads them.

#include <cstdint>

namespace vantrel {

// -1 until an application sets it.
extern int32_t ContextVersionNumber;
// False until an application sets it.
extern bool ContextVersionFlag;

} // namespace vantrel
