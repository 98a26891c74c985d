#pragma once
// Text and number conversions of the runtime layer. Numbers are written and read with the en-US
// rules ("." as decimal separator) on std::to_chars / std::from_chars, never with the C locale.

#include <string>
#include <string_view>

namespace rtl {

// The general format with 15 significant digits: trailing zeros removed, "." as separator, and
// scientific notation ("1E20", "1.5E-7") when the value is below 0.00001 in magnitude or has more
// than 15 digits before the point.
std::string FloatToStr(double AValue);

} // namespace rtl
