#include "rtl/json_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

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

} // namespace

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
