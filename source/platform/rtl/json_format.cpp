#include "rtl/json_format.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "rtl/exceptions.h"
#include "rtl/json.h"
#include "rtl/utf8.h"

namespace rtl {

namespace {

// Lays out the shortest digits of a finite value by the rules of JsonFloatText.
template <class T> char* LayOut(char* AOut, T AValue) {
  char scientific[48];
  const char* end =
      std::to_chars(scientific, scientific + sizeof scientific, AValue, std::chars_format::scientific).ptr;
  const char* p = scientific;
  char* out = AOut;
  if (*p == '-') {
    *out++ = '-';
    ++p;
  }
  char digits[24];
  int count = 0;
  for (; *p != 'e'; ++p)
    if (*p != '.')
      digits[count++] = *p;
  ++p;
  const bool negativeExponent = *p++ == '-';
  int exponent = 0;
  for (; p < end; ++p)
    exponent = exponent * 10 + (*p - '0');
  if (negativeExponent)
    exponent = -exponent;
  // The decision goes by the decimal exponent of the shortest digits, so a float and a double
  // with the same digits are laid out alike.
  if (exponent < 15 && (std::trunc(AValue) == AValue || exponent >= -5)) {
    if (exponent < 0) {
      *out++ = '0';
      *out++ = '.';
      out = std::fill_n(out, -exponent - 1, '0');
      return std::copy_n(digits, count, out);
    }
    if (count <= exponent + 1)
      return std::fill_n(std::copy_n(digits, count, out), exponent + 1 - count, '0');
    out = std::copy_n(digits, exponent + 1, out);
    *out++ = '.';
    return std::copy_n(digits + exponent + 1, count - exponent - 1, out);
  }
  *out++ = digits[0];
  if (count > 1) {
    *out++ = '.';
    out = std::copy_n(digits + 1, count - 1, out);
  }
  *out++ = 'E';
  return std::to_chars(out, out + 8, exponent).ptr;
}

template <class T> std::string FloatText(T AValue) {
  CheckJsonFloat(AValue);
  char buffer[JsonFloatTextMax];
  return std::string(buffer, LayOut(buffer, AValue));
}

constexpr char HexDigits[] = "0123456789ABCDEF";

void AppendUnit(std::string& AOut, unsigned AUnit) {
  char escape[6] = {'\\',
                    'u',
                    HexDigits[(AUnit >> 12) & 0xF],
                    HexDigits[(AUnit >> 8) & 0xF],
                    HexDigits[(AUnit >> 4) & 0xF],
                    HexDigits[AUnit & 0xF]};
  AOut.append(escape, sizeof escape);
}

// 0: copied as is; 1: escaped; 2: non-ASCII.
constexpr auto MakeClasses() {
  struct {
    unsigned char Of[256];
  } table{};
  for (int c = 0; c < 0x20; ++c)
    table.Of[c] = 1;
  table.Of[static_cast<unsigned char>('"')] = 1;
  table.Of[static_cast<unsigned char>('\\')] = 1;
  for (int c = 0x80; c < 0x100; ++c)
    table.Of[c] = 2;
  return table;
}
constexpr auto Classes = MakeClasses();

void AppendEscape(std::string& AOut, unsigned char AChar) {
  switch (AChar) {
  case '"':
    AOut += "\\\"";
    break;
  case '\\':
    AOut += "\\\\";
    break;
  case '\b':
    AOut += "\\b";
    break;
  case '\t':
    AOut += "\\t";
    break;
  case '\n':
    AOut += "\\n";
    break;
  case '\f':
    AOut += "\\f";
    break;
  case '\r':
    AOut += "\\r";
    break;
  default:
    AppendUnit(AOut, AChar);
  }
}

// ---- reading number texts ----

constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline bool IsDigit(char AChar) {
  return static_cast<unsigned>(AChar - '0') < 10;
}

// A number text as sign, digits W and decimal exponent Q, so that its value is W x 10^Q.
struct TDecimal {
  bool Negative = false;
  uint64_t Digits = 0;
  int Exponent = 0;
};

// Whether the eight bytes at AText are all decimal digits, and their value (the first byte the
// most significant digit), read as one little-endian word: a byte is a digit exactly when it and
// the byte plus 6 both have the high nibble 3.
inline bool EightDigits(const char* AText, uint64_t& AValue) {
  uint64_t word;
  std::memcpy(&word, AText, sizeof word);
  if constexpr (std::endian::native == std::endian::big)
    word = __builtin_bswap64(word);
  if (((word & 0xF0F0F0F0F0F0F0F0) | (((word + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) !=
      0x3333333333333333)
    return false;
  word -= 0x3030303030303030;
  word = word * 10 + (word >> 8);
  AValue = (((word & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
            (((word >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
           32;
  return true;
}

// Reads a JSON number text at AText..AEnd, reading nothing beyond it. False for anything else, for
// more than 19 digits (W could have wrapped) and for an exponent of more than 4 digits. Fractions,
// the long runs of vertex data, take eight digits at a time where they can. The text is read where
// it lies: a copy would make the word loads wait for the bytes just stored.
[[gnu::always_inline]] inline bool ReadDecimal(const char* AText, const char* AEnd, TDecimal& ADecimal) {
  const char* p = AText;
  ADecimal.Negative = p < AEnd && *p == '-';
  p += ADecimal.Negative;
  const char* first = p;
  uint64_t digits = 0;
  while (p < AEnd && IsDigit(*p))
    digits = digits * 10 + uint64_t(*p++ - '0');
  if (p == first)
    return false;
  ptrdiff_t count = p - first;
  if (p < AEnd && *p == '.') {
    const char* fraction = ++p;
    uint64_t eight = 0;
    if (AEnd - p >= 8 && EightDigits(p, eight)) {
      digits = digits * 100000000 + eight;
      p += 8;
    }
    while (p < AEnd && IsDigit(*p))
      digits = digits * 10 + uint64_t(*p++ - '0');
    if (p == fraction)
      return false;
    ADecimal.Exponent = -int(p - fraction);
    count += p - fraction;
  }
  if (count > 19)
    return false;
  ADecimal.Digits = digits;
  if (p < AEnd && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negative = p < AEnd && *p == '-';
    if (p < AEnd && (*p == '-' || *p == '+'))
      ++p;
    const char* start = p;
    int value = 0;
    while (p < AEnd && IsDigit(*p) && p - start < 5)
      value = value * 10 + (*p++ - '0');
    if (p == start || p - start > 4)
      return false;
    ADecimal.Exponent += negative ? -value : value;
  }
  return p == AEnd;
}

// The double nearest W x 10^Q when W and 10^|Q| are both exact doubles (W <= 2^53, |Q| <= 22):
// then one product or quotient of exact values, correctly rounded. False otherwise.
inline bool ExactDouble(const TDecimal& ADecimal, double& AValue) {
  if (ADecimal.Digits > (uint64_t(1) << 53) || ADecimal.Exponent < -22 || ADecimal.Exponent > 22)
    return false;
  const double digits = double(ADecimal.Digits);
  const double value = ADecimal.Exponent < 0 ? digits / PowersOfTen[-ADecimal.Exponent]
                                             : digits * PowersOfTen[ADecimal.Exponent];
  AValue = ADecimal.Negative ? -value : value;
  return true;
}

// The float of the text through its nearest double, when that is safe: the double's magnitude lies
// in the normal float range (so W >= 1 with Q >= -22, and W <= 2^53 with Q <= 22, always does)
// and it is no float midpoint.
bool QuickSingle(const char* AText, const char* AEnd, float& AValue) {
  TDecimal decimal;
  double value = 0;
  if (!ReadDecimal(AText, AEnd, decimal) || !ExactDouble(decimal, value))
    return false;
  if (decimal.Digits == 0) {
    AValue = decimal.Negative ? -0.0f : 0.0f;
    return true;
  }
  if (IsFloatMidpoint(value))
    return false;
  AValue = float(value);
  return true;
}

// Kept out of line so that the quick path needs no frame for the library call.
[[gnu::noinline]] float SlowSingle(std::string_view AText) {
  float value = 0;
  const auto [end, error] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
  if (error != std::errc() || end != AText.data() + AText.size())
    throw EConvertError("'" + std::string(AText) + "' is not a valid floating point value");
  return value;
}

} // namespace

// Only then can a text and its nearest double round to different floats: no such midpoint lies
// strictly between a text and its nearest double, as it would be a nearer double itself.
bool IsFloatMidpoint(double AValue) {
  uint64_t bits;
  std::memcpy(&bits, &AValue, sizeof bits);
  return (bits & ((uint64_t(1) << 29) - 1)) == (uint64_t(1) << 28);
}

float JsonTextToSingle(std::string_view AText) {
  float value = 0;
  if (QuickSingle(AText.data(), AText.data() + AText.size(), value))
    return value;
  return SlowSingle(AText);
}

double JsonFloatTextToDouble(float AValue) {
  CheckJsonFloat(AValue);
  char text[JsonFloatTextMax + 1] = {};
  const char* end = LayOut(text, AValue);
  TDecimal decimal;
  double value = 0;
  if (ReadDecimal(text, end, decimal) && ExactDouble(decimal, value))
    return value;
  std::from_chars(text, end, value);
  return value;
}

bool JsonTextToPlainInt32(std::string_view AText, int32_t& AValue) {
  const char* p = AText.data();
  const char* end = p + AText.size();
  const bool negative = p != end && *p == '-';
  p += negative;
  if (p == end || end - p > 10)
    return false;
  int64_t value = 0;
  for (; p != end; ++p) {
    if (*p < '0' || *p > '9')
      return false;
    value = value * 10 + (*p - '0');
  }
  value = negative ? -value : value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return false;
  AValue = int32_t(value);
  return true;
}

std::string JsonIntegerText(int64_t AValue) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  return std::string(buffer, result.ptr);
}

void CheckJsonFloat(double AValue) {
  if (!std::isfinite(AValue))
    throw EJSONException("JSON has no number for " + std::string(std::isnan(AValue) ? "NaN" : "infinity"));
}

std::string JsonFloatText(double AValue) {
  return FloatText(AValue);
}
std::string JsonFloatText(float AValue) {
  return FloatText(AValue);
}

char* JsonFloatChars(char* AOut, double AValue) {
  return LayOut(AOut, AValue);
}
char* JsonFloatChars(char* AOut, float AValue) {
  return LayOut(AOut, AValue);
}

bool IsJsonNumberText(std::string_view AText) {
  const char* p = AText.data();
  const char* end = p + AText.size();
  auto digit = [&] { return p < end && *p >= '0' && *p <= '9'; };
  if (p < end && *p == '-')
    ++p;
  if (!digit())
    return false;
  if (*p++ != '0')
    while (digit())
      ++p;
  if (p < end && *p == '.') {
    ++p;
    if (!digit())
      return false;
    while (digit())
      ++p;
  }
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p < end && (*p == '+' || *p == '-'))
      ++p;
    if (!digit())
      return false;
    while (digit())
      ++p;
  }
  return p == end;
}

void AppendJsonString(std::string& AOut, std::string_view AText, bool AAscii) {
  AOut += '"';
  const char* p = AText.data();
  const char* end = p + AText.size();
  while (p < end) {
    const char* run = p;
    while (p < end && (Classes.Of[static_cast<unsigned char>(*p)] == 0 ||
                       (!AAscii && Classes.Of[static_cast<unsigned char>(*p)] == 2)))
      ++p;
    AOut.append(run, static_cast<size_t>(p - run));
    if (p == end)
      break;
    const auto c = static_cast<unsigned char>(*p);
    if (Classes.Of[c] == 1) {
      AppendEscape(AOut, c);
      ++p;
      continue;
    }
    const char32_t code = NextUtf8(p, end);
    if (code >= 0x10000) {
      AppendUnit(AOut, 0xD800 + ((code - 0x10000) >> 10));
      AppendUnit(AOut, 0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      AppendUnit(AOut, code);
    }
  }
  AOut += '"';
}

} // namespace rtl
