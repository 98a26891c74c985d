#include "rtl/json_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "rtl/json.h"
#include "rtl/utf8.h"

namespace rtl {

namespace {

// Lays out shortest scientific digits ("-1.5e-07") by the rules of JsonFloatText.
std::string LayOut(std::string_view AScientific, bool AIntegral) {
  std::string_view text = AScientific;
  std::string result;
  if (text.front() == '-') {
    result += '-';
    text.remove_prefix(1);
  }
  const size_t ePos = text.find('e');
  int exponent = 0;
  std::string_view exponentText = text.substr(ePos + 1);
  if (exponentText.front() == '+')
    exponentText.remove_prefix(1);
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  std::string digits;
  for (char c : text.substr(0, ePos))
    if (c != '.')
      digits += c;
  // The decision goes by the decimal exponent of the shortest digits, so a float and a double
  // with the same digits are laid out alike.
  if (exponent < 15 && (AIntegral || exponent >= -5)) {
    if (exponent < 0) {
      result += "0.";
      result.append(static_cast<size_t>(-exponent - 1), '0');
      result += digits;
    } else if (digits.size() <= static_cast<size_t>(exponent) + 1) {
      result += digits;
      result.append(static_cast<size_t>(exponent) + 1 - digits.size(), '0');
    } else {
      result.append(digits, 0, static_cast<size_t>(exponent) + 1);
      result += '.';
      result.append(digits, static_cast<size_t>(exponent) + 1);
    }
    return result;
  }
  result += digits[0];
  if (digits.size() > 1) {
    result += '.';
    result.append(digits, 1);
  }
  result += 'E';
  result += std::to_string(exponent);
  return result;
}

template <class T> std::string FloatText(T AValue) {
  if (!std::isfinite(AValue))
    throw EJSONException("JSON has no number for " + std::string(std::isnan(AValue) ? "NaN" : "infinity"));
  char buffer[48];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue, std::chars_format::scientific);
  return LayOut(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)),
                std::trunc(AValue) == AValue);
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

std::string JsonFloatText(double AValue) {
  return FloatText(AValue);
}
std::string JsonFloatText(float AValue) {
  return FloatText(AValue);
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
