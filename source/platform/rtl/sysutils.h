#pragma once
// Text and number conversions of the runtime layer. Numbers are written and read with the en-US
// rules ("." as decimal separator) on std::to_chars / std::from_chars, never with the C locale.

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace rtl {

namespace messages {
inline constexpr const char* InvalidFormat = "Format '%s' invalid or incompatible with argument";
inline constexpr const char* InvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* InvalidFloat = "'%s' is not a valid floating point value";
} // namespace messages

// The separators that number formatting and parsing use, and the date order and separators that
// date-time text follows (rtl/date_time.h). A ThousandSeparator of '\0' writes numbers without
// digit grouping. ShortDateFormat gives the order of day, month and year by its letters d, m and y
// (either case); the separators between them are DateSeparator.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char ListSeparator = ',';
  std::string ShortDateFormat = "M/d/yyyy";
  char DateSeparator = '/';
  char TimeSeparator = ':';
};
// The en-US settings every overload without settings uses.
const TFormatSettings& FormatSettingsEnUS();
// The process's own settings: en-US at start, changed only by the program (never read from the
// operating system's locale). Only the date-time text functions that take settings and are
// given this object use it; number text without settings stays en-US.
extern TFormatSettings FormatSettings;

// One argument of Format. It only views strings, so it lives no longer than the call it is made
// for. char is a character (for %s); signed char and unsigned char are integers.
struct TFormatArg {
  enum class TKind : uint8_t { Signed, Unsigned, Float, Boolean, Char, String, Pointer };

  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) TFormatArg(T AValue)
      : Kind(std::is_signed_v<T> ? TKind::Signed : TKind::Unsigned), Wide(sizeof(T) > 4) {
    if constexpr (std::is_signed_v<T>)
      Int = AValue;
    else
      UInt = AValue;
  }
  TFormatArg(float AValue) : Kind(TKind::Float), Float(AValue) {}
  TFormatArg(double AValue) : Kind(TKind::Float), Float(AValue) {}
  TFormatArg(bool AValue) : Kind(TKind::Boolean), Boolean(AValue) {}
  TFormatArg(char AValue) : Kind(TKind::Char), Character(AValue) {}
  TFormatArg(const char* AValue) : Kind(TKind::String), Text(AValue ? AValue : "") {}
  TFormatArg(const std::string& AValue) : Kind(TKind::String), Text(AValue) {}
  TFormatArg(std::string_view AValue) : Kind(TKind::String), Text(AValue) {}
  TFormatArg(const void* AValue) : Kind(TKind::Pointer), Pointer(AValue) {}
  TFormatArg(std::nullptr_t) : Kind(TKind::Pointer), Pointer(nullptr) {}

  TKind Kind;
  // A 64-bit integer: %u and %x show a negative value in 64 rather than 32 bits.
  bool Wide = false;
  union {
    int64_t Int;
    uint64_t UInt;
    double Float;
    bool Boolean;
    char Character;
    const void* Pointer = nullptr;
  };
  std::string_view Text;
};

// Formats "%" [index ":"] ["-"] [width] ["." precision] type, with type one of
//   d u x X  integers (x and X both write upper-case hex; precision = minimum digits),
//   f n e g  numbers (n groups thousands; f and n default to 2 decimals, e and g to 15 digits),
//   s        strings, characters and Booleans (precision = maximum characters),
//   p        pointers (16 hex digits),
// "*" in place of index, width or precision takes the next argument, and "%%" writes "%".
// Numeric specifiers also accept integer arguments; an unsigned integer is written unsigned
// by %d as well. Too few arguments, an unknown type or an argument of the wrong kind raise
// EConvertError "Format '<format>' invalid or incompatible with argument"; surplus arguments
// are ignored.
std::string Format(std::string_view AFormat, std::span<const TFormatArg> AArgs,
                   const TFormatSettings& ASettings);
std::string Format(std::string_view AFormat, std::span<const TFormatArg> AArgs);
inline std::string Format(std::string_view AFormat, std::initializer_list<TFormatArg> AArgs,
                          const TFormatSettings& ASettings) {
  return Format(AFormat, std::span<const TFormatArg>(AArgs.begin(), AArgs.size()), ASettings);
}
inline std::string Format(std::string_view AFormat, std::initializer_list<TFormatArg> AArgs) {
  return Format(AFormat, std::span<const TFormatArg>(AArgs.begin(), AArgs.size()));
}
// Format(fmt, a, b, c), so callers can forward their own argument packs.
template <class... TArgs>
requires(std::is_constructible_v<TFormatArg, const TArgs&>&&...) std::string
    Format(std::string_view AFormat, const TArgs&... AArgs) {
  const TFormatArg args[] = {TFormatArg(AArgs)..., TFormatArg(nullptr)};
  return Format(AFormat, std::span<const TFormatArg>(args, sizeof...(TArgs)));
}

// The general format with 15 significant digits: trailing zeros removed, "." as separator, and
// scientific notation ("1E20", "1.5E-7") when the value is below 0.00001 in magnitude or has more
// than 15 digits before the point. NaN and infinities give "NAN", "INF" and "-INF".
std::string FloatToStr(double AValue);
std::string FloatToStr(double AValue, const TFormatSettings& ASettings);

// Reads en-US number text ("-0.5", "1E5", "  2.25 "); blanks around the number are allowed, as
// are "NAN", "INF" and "-INF". Raises EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view AText);
double StrToFloat(std::string_view AText, const TFormatSettings& ASettings);
bool TryStrToFloat(std::string_view AText, double& AValue);
bool TryStrToFloat(std::string_view AText, double& AValue, const TFormatSettings& ASettings);

// "0" and "#" digit patterns with an optional "." part ("0.00", "#.##", "000"): at least as many
// integer digits as the pattern has "0"s before the point, at least as many decimals as it has
// "0"s after it and at most as many as it has "0"s and "#"s there. The value is rounded half away
// from zero on its shortest decimal digits, so 2.675 gives "2.68" with "0.00".
std::string FormatFloat(std::string_view APattern, double AValue);
std::string FormatFloat(std::string_view APattern, double AValue, const TFormatSettings& ASettings);

template <std::integral T> std::string IntToStr(T AValue) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  return std::string(buffer, result.ptr);
}
// Upper-case hex with at least ADigits digits; a negative value shows its two's complement in
// the width of its type.
template <std::integral T> std::string IntToHex(T AValue, int ADigits = 2 * sizeof(T)) {
  char buffer[16];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::make_unsigned_t<T>>(AValue), 16);
  std::string digits(buffer, result.ptr);
  for (char& c : digits)
    if (c >= 'a')
      c = static_cast<char>(c - 'a' + 'A');
  if (static_cast<int>(digits.size()) < ADigits)
    digits.insert(0, static_cast<size_t>(ADigits) - digits.size(), '0');
  return digits;
}

// Decimal ("-12", "+7") or hex ("$FF", "0x1F") integers after optional leading blanks. Hex
// text may use the full unsigned range and wraps ("$FFFFFFFF" is -1). Out of range or malformed
// text raises EConvertError "'<text>' is not a valid integer value".
int StrToInt(std::string_view AText);
int64_t StrToInt64(std::string_view AText);
int StrToIntDef(std::string_view AText, int ADefault);
bool TryStrToInt(std::string_view AText, int& AValue);
bool TryStrToInt64(std::string_view AText, int64_t& AValue);

// Exactly "true" or "false" in any letter case.
bool TryStrToBool(std::string_view AText, bool& AValue);

// Rounds to the nearest integer, halves to the even one: Round(2.5) = 2, Round(3.5) = 4.
// NaN and values outside the 64-bit range raise ERangeError.
int64_t Round(double AValue);

// ASCII-only casing, the same in every locale; other bytes (UTF-8 sequences) stay as they are.
std::string UpperCase(std::string_view AText);
std::string LowerCase(std::string_view AText);
// Ordinal comparisons returning < 0, 0 or > 0. CompareText ignores ASCII case by comparing the
// upper-cased bytes.
int CompareStr(std::string_view A, std::string_view B);
int CompareText(std::string_view A, std::string_view B);
bool SameText(std::string_view A, std::string_view B);
bool StartsText(std::string_view ASubText, std::string_view AText);
bool EndsText(std::string_view ASubText, std::string_view AText);

// Remove blanks and control characters (bytes up to ' ').
std::string Trim(std::string_view AText);
std::string TrimLeft(std::string_view AText);
std::string TrimRight(std::string_view AText);

// Splits at every one of the delimiter characters, keeping empty parts: "a,,b" gives "a", "",
// "b". Empty text gives no parts.
std::vector<std::string> SplitString(std::string_view AText, std::string_view ADelimiters);

enum class TReplaceFlag : uint8_t { rfReplaceAll, rfIgnoreCase };
// Replaces the first occurrence of AOldPattern, or every one with rfReplaceAll.
std::string StringReplace(std::string_view AText, std::string_view AOldPattern, std::string_view ANewPattern,
                          std::initializer_list<TReplaceFlag> AFlags = {});

// The text up to and including the last "/" ("" when there is none); "\\" is no delimiter.
std::string ExtractFilePath(std::string_view AFileName);

// 'text' with embedded quotes doubled.
std::string QuotedStr(std::string_view AText, char AQuote = '\'');

} // namespace rtl
