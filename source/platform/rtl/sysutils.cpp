#include "rtl/sysutils.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace rtl {

std::string FloatToStr(double AValue) {
  if (std::isnan(AValue))
    return "NAN";
  if (std::isinf(AValue))
    return AValue > 0 ? "INF" : "-INF";
  if (AValue == 0)
    return "0";
  // 15 significant digits in scientific form: d.dddddddddddddde±XX.
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, AValue, std::chars_format::scientific, 14);
  std::string_view text(buffer, static_cast<size_t>(end - buffer));
  const bool negative = text.front() == '-';
  if (negative)
    text.remove_prefix(1);
  const size_t ePos = text.find('e');
  int exponent = std::atoi(std::string(text.substr(ePos + 1)).c_str());
  std::string digits;
  for (char c : text.substr(0, ePos))
    if (c != '.')
      digits += c;
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();
  // Decimal exponent of the form 0.d1d2... x 10^decimalExponent.
  const int decimalExponent = exponent + 1;
  std::string result = negative ? "-" : "";
  if (decimalExponent > 15 || decimalExponent < -4) {
    result += digits[0];
    if (digits.size() > 1) {
      result += '.';
      result += digits.substr(1);
    }
    result += 'E';
    result += std::to_string(exponent);
    return result;
  }
  if (decimalExponent <= 0) {
    result += "0.";
    result.append(static_cast<size_t>(-decimalExponent), '0');
    result += digits;
    return result;
  }
  const size_t whole = static_cast<size_t>(decimalExponent);
  if (digits.size() <= whole) {
    result += digits;
    result.append(whole - digits.size(), '0');
    return result;
  }
  result += digits.substr(0, whole);
  result += '.';
  result += digits.substr(whole);
  return result;
}

} // namespace rtl
