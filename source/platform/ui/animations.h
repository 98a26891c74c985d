#pragma once
// The UI layer's animation types.

#include <cstdint>

#include "rtl/typeinfo.h"

namespace ui {

// The easing curve of an animation or of one key of a key-frame track. The underlying type is a
// plain 32-bit integer so that an ordinal read from a file outside the named values is kept and
// written back unchanged.
enum class TInterpolationType : int32_t {
  Linear,
  Quadratic,
  Cubic,
  Quartic,
  Quintic,
  Sinusoidal,
  Exponential,
  Circular,
  Elastic,
  Back,
  Bounce
};
RTL_ENUM_TYPEINFO(TInterpolationType, "Linear", "Quadratic", "Cubic", "Quartic", "Quintic", "Sinusoidal",
                  "Exponential", "Circular", "Elastic", "Back", "Bounce")

} // namespace ui
