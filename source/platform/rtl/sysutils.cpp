#include "rtl/sysutils.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>

#include "rtl/exceptions.h"

namespace rtl {

namespace {

// ---- Decimal digits of a double ------------------------------------------------------------------

// Value = 0.D1D2D3... x 10^Exponent; Digits has no trailing zeros and is empty for zero.
struct TDecimal {
  bool Negative = false;
  std::string Digits;
  int Exponent = 0;
};

// The 17 significant digits that identify every double, then rounded half away from zero to
// the requested length in decimal, so that ties such as 0.125 -> "0.13" round as written.
TDecimal ToDecimal(double AValue) {
  TDecimal result;
  result.Negative = std::signbit(AValue);
  if (AValue == 0)
    return result;
  char buffer[40];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(AValue), std::chars_format::scientific, 16).ptr;
  const std::string_view text(buffer, static_cast<size_t>(end - buffer));
  const size_t ePos = text.find('e');
  int exponent = 0;
  const char* expBegin = text.data() + ePos + 1;
  if (*expBegin == '+')
    ++expBegin;
  std::from_chars(expBegin, text.data() + text.size(), exponent);
  for (char c : text.substr(0, ePos))
    if (c != '.')
      result.Digits += c;
  result.Exponent = exponent + 1;
  while (!result.Digits.empty() && result.Digits.back() == '0')
    result.Digits.pop_back();
  return result;
}

// Keeps ACount significant digits (ACount <= 0 keeps none: the value rounds to 0 or to one unit
// of the first dropped position).
void RoundDigits(TDecimal& ADecimal, int ACount) {
  std::string& digits = ADecimal.Digits;
  if (ACount >= static_cast<int>(digits.size()))
    return;
  if (ACount < 0) {
    digits.clear();
    return;
  }
  const bool up = digits[static_cast<size_t>(ACount)] >= '5';
  digits.resize(static_cast<size_t>(ACount));
  if (up) {
    int i = ACount - 1;
    while (i >= 0 && digits[static_cast<size_t>(i)] == '9')
      digits[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      digits.insert(digits.begin(), '1');
      ++ADecimal.Exponent;
    } else {
      ++digits[static_cast<size_t>(i)];
    }
  }
  while (!digits.empty() && digits.back() == '0')
    digits.pop_back();
}

char DigitAt(const TDecimal& ADecimal, int AIndex) {
  return AIndex >= 0 && AIndex < static_cast<int>(ADecimal.Digits.size())
             ? ADecimal.Digits[static_cast<size_t>(AIndex)]
             : '0';
}

std::string SpecialText(double AValue) {
  if (std::isnan(AValue))
    return "NAN";
  return AValue > 0 ? "INF" : "-INF";
}

// Fixed notation with ADecimals decimals; AGroup inserts the thousand separator. A value that
// rounds to zero loses its sign.
std::string FormatFixed(double AValue, int ADecimals, const TFormatSettings& ASettings, bool AGroup) {
  TDecimal decimal = ToDecimal(AValue);
  RoundDigits(decimal, decimal.Exponent + ADecimals);
  std::string result = decimal.Negative && !decimal.Digits.empty() ? "-" : "";
  const int whole = decimal.Digits.empty() ? 1 : std::max(decimal.Exponent, 1);
  for (int i = 0; i < whole; ++i) {
    if (AGroup && ASettings.ThousandSeparator != '\0' && i > 0 && (whole - i) % 3 == 0)
      result += ASettings.ThousandSeparator;
    result += DigitAt(decimal, i + decimal.Exponent - whole);
  }
  if (ADecimals > 0) {
    result += ASettings.DecimalSeparator;
    for (int i = 0; i < ADecimals; ++i)
      result += DigitAt(decimal, decimal.Exponent + i);
  }
  return result;
}

// "E" with sign and at least AMinDigits exponent digits; APlus writes "+" for positive exponents.
std::string ExponentText(int AExponent, int AMinDigits, bool APlus) {
  std::string digits = IntToStr(AExponent < 0 ? -AExponent : AExponent);
  if (static_cast<int>(digits.size()) < AMinDigits)
    digits.insert(0, static_cast<size_t>(AMinDigits) - digits.size(), '0');
  return std::string("E") + (AExponent < 0 ? "-" : APlus ? "+" : "") + digits;
}

// "-d.dddE+ddd" with APrecision significant digits.
std::string FormatExponent(double AValue, int APrecision, const TFormatSettings& ASettings) {
  TDecimal decimal = ToDecimal(AValue);
  RoundDigits(decimal, APrecision);
  std::string result = decimal.Negative ? "-" : "";
  result += DigitAt(decimal, 0);
  if (APrecision > 1) {
    result += ASettings.DecimalSeparator;
    for (int i = 1; i < APrecision; ++i)
      result += DigitAt(decimal, i);
  }
  return result + ExponentText(decimal.Digits.empty() ? 0 : decimal.Exponent - 1, 3, true);
}

// The shortest text with APrecision significant digits: fixed notation unless the value is
// below 0.00001 or has more than APrecision digits before the point.
std::string FormatGeneral(double AValue, int APrecision, const TFormatSettings& ASettings) {
  TDecimal decimal = ToDecimal(AValue);
  RoundDigits(decimal, APrecision);
  if (decimal.Digits.empty())
    return "0";
  const int digitCount = static_cast<int>(decimal.Digits.size());
  std::string result = decimal.Negative ? "-" : "";
  if (decimal.Exponent > APrecision || decimal.Exponent < -4) {
    result += decimal.Digits[0];
    if (digitCount > 1) {
      result += ASettings.DecimalSeparator;
      result.append(decimal.Digits, 1);
    }
    return result + ExponentText(decimal.Exponent - 1, 0, false);
  }
  if (decimal.Exponent <= 0) {
    result += '0';
    result += ASettings.DecimalSeparator;
    result.append(static_cast<size_t>(-decimal.Exponent), '0');
    return result + decimal.Digits;
  }
  for (int i = 0; i < decimal.Exponent; ++i)
    result += DigitAt(decimal, i);
  if (digitCount > decimal.Exponent) {
    result += ASettings.DecimalSeparator;
    result.append(decimal.Digits, static_cast<size_t>(decimal.Exponent));
  }
  return result;
}

// ---- Format ---------------------------------------------------------------------------------------

constexpr int DefaultFloatPrecision = 15;
constexpr int MaxFloatPrecision = 17;
constexpr int DefaultFixedDecimals = 2;
constexpr int MaxFixedDecimals = 18;
// Fixed notation is used up to this many digits before the point, as the general format does.
constexpr int MaxFixedWholeDigits = 18;

[[noreturn]] void RaiseInvalidFormat(std::string_view AFormat) {
  std::string message = messages::InvalidFormat;
  message.replace(message.find("%s"), 2, AFormat);
  throw EConvertError(message);
}

size_t Utf8Length(std::string_view AText) {
  return static_cast<size_t>(std::count_if(
      AText.begin(), AText.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The first ACount code points of AText.
std::string_view Utf8Prefix(std::string_view AText, size_t ACount) {
  size_t seen = 0;
  for (size_t i = 0; i < AText.size(); ++i)
    if ((static_cast<unsigned char>(AText[i]) & 0xC0) != 0x80 && seen++ == ACount)
      return AText.substr(0, i);
  return AText;
}

class TFormatter {
public:
  TFormatter(std::string_view AFormat, std::span<const TFormatArg> AArgs, const TFormatSettings& ASettings)
      : FFormat(AFormat), FArgs(AArgs), FSettings(ASettings) {}

  std::string Run() {
    while (FPos < FFormat.size()) {
      const char c = FFormat[FPos++];
      if (c != '%')
        FResult += c;
      else if (Peek() == '%') {
        ++FPos;
        FResult += '%';
      } else
        Specifier();
    }
    return std::move(FResult);
  }

private:
  struct TSpec {
    bool LeftAlign = false;
    int Width = 0;
    int Precision = -1;
  };

  char Peek() const { return FPos < FFormat.size() ? FFormat[FPos] : '\0'; }
  [[noreturn]] void Fail() const { RaiseInvalidFormat(FFormat); }

  const TFormatArg& NextArg() {
    if (FArgIndex >= FArgs.size())
      Fail();
    return FArgs[FArgIndex++];
  }

  // Digits, or "*" taking the next integer argument; empty when neither is there.
  std::optional<int64_t> Number() {
    if (Peek() == '*') {
      ++FPos;
      const TFormatArg& arg = NextArg();
      if (arg.Kind == TFormatArg::TKind::Signed && arg.Int >= std::numeric_limits<int>::min() + 1 &&
          arg.Int <= std::numeric_limits<int>::max())
        return arg.Int;
      if (arg.Kind == TFormatArg::TKind::Unsigned && arg.UInt <= std::numeric_limits<int>::max())
        return static_cast<int64_t>(arg.UInt);
      Fail();
    }
    if (Peek() < '0' || Peek() > '9')
      return std::nullopt;
    int64_t value = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      value = value * 10 + (FFormat[FPos++] - '0');
      if (value > std::numeric_limits<int>::max())
        Fail();
    }
    return value;
  }

  void Specifier() {
    TSpec spec;
    std::optional<int64_t> width = Number();
    if (Peek() == ':') {
      ++FPos;
      if (!width || *width < 0)
        Fail();
      FArgIndex = static_cast<size_t>(*width);
      width.reset();
    }
    if (!width) {
      if (Peek() == '-') {
        ++FPos;
        spec.LeftAlign = true;
      }
      width = Number();
    }
    // A negative width from "*" aligns left, as "-" does.
    if (width && *width < 0) {
      spec.LeftAlign = true;
      width = -*width;
    }
    spec.Width = static_cast<int>(width.value_or(0));
    if (Peek() == '.') {
      ++FPos;
      // A missing or negative precision means the type's default.
      spec.Precision = static_cast<int>(std::max<int64_t>(Number().value_or(-1), -1));
    }
    if (FPos >= FFormat.size())
      Fail();
    const char type = static_cast<char>(FFormat[FPos++] | 0x20);
    Pad(Convert(type, NextArg(), spec.Precision), spec);
  }

  void Pad(const std::string& AText, const TSpec& ASpec) {
    const size_t length = Utf8Length(AText);
    const size_t fill =
        static_cast<size_t>(ASpec.Width) > length ? static_cast<size_t>(ASpec.Width) - length : 0;
    if (!ASpec.LeftAlign)
      FResult.append(fill, ' ');
    FResult += AText;
    if (ASpec.LeftAlign)
      FResult.append(fill, ' ');
  }

  std::string Convert(char AType, const TFormatArg& AArg, int APrecision) const {
    switch (AType) {
    case 'd':
    case 'u':
    case 'x':
      return Integer(AType, AArg, APrecision);
    case 'f':
    case 'n':
    case 'e':
    case 'g':
      return Float(AType, AArg, APrecision);
    case 's':
      return String(AArg, APrecision);
    case 'p':
      if (AArg.Kind != TFormatArg::TKind::Pointer)
        Fail();
      return IntToHex(reinterpret_cast<uintptr_t>(AArg.Pointer), 16);
    default:
      Fail();
    }
  }

  std::string Integer(char AType, const TFormatArg& AArg, int APrecision) const {
    using TKind = TFormatArg::TKind;
    if (AArg.Kind != TKind::Signed && AArg.Kind != TKind::Unsigned)
      Fail();
    const bool negative = AArg.Kind == TKind::Signed && AArg.Int < 0;
    std::string digits;
    if (AType == 'd' && negative)
      digits = IntToStr(AArg.Int).substr(1);
    else {
      uint64_t bits = AArg.Kind == TKind::Signed ? static_cast<uint64_t>(AArg.Int) : AArg.UInt;
      // %u and %x show a negative integer as its two's complement in the argument's width.
      if (negative && !AArg.Wide)
        bits = static_cast<uint32_t>(bits);
      digits = AType == 'x' ? IntToHex(bits, 1) : IntToStr(bits);
    }
    if (APrecision > static_cast<int>(digits.size()))
      digits.insert(0, static_cast<size_t>(APrecision) - digits.size(), '0');
    return AType == 'd' && negative ? "-" + digits : digits;
  }

  std::string Float(char AType, const TFormatArg& AArg, int APrecision) const {
    using TKind = TFormatArg::TKind;
    double value = 0;
    if (AArg.Kind == TKind::Float)
      value = AArg.Float;
    else if (AArg.Kind == TKind::Signed)
      value = static_cast<double>(AArg.Int);
    else if (AArg.Kind == TKind::Unsigned)
      value = static_cast<double>(AArg.UInt);
    else
      Fail();
    if (!std::isfinite(value))
      return SpecialText(value);
    if (AType == 'e' || AType == 'g') {
      const int precision =
          std::clamp(APrecision < 0 ? DefaultFloatPrecision : APrecision, 1, MaxFloatPrecision);
      return AType == 'e' ? FormatExponent(value, precision, FSettings)
                          : FormatGeneral(value, precision, FSettings);
    }
    if (std::fabs(value) >= 1e18)
      return FormatGeneral(value, MaxFixedWholeDigits, FSettings);
    const int decimals = std::min(APrecision < 0 ? DefaultFixedDecimals : APrecision, MaxFixedDecimals);
    return FormatFixed(value, decimals, FSettings, AType == 'n');
  }

  std::string String(const TFormatArg& AArg, int APrecision) const {
    std::string_view text;
    switch (AArg.Kind) {
    case TFormatArg::TKind::String:
      text = AArg.Text;
      break;
    case TFormatArg::TKind::Char:
      text = std::string_view(&AArg.Character, 1);
      break;
    case TFormatArg::TKind::Boolean:
      text = AArg.Boolean ? "True" : "False";
      break;
    default:
      Fail();
    }
    return std::string(APrecision < 0 ? text : Utf8Prefix(text, static_cast<size_t>(APrecision)));
  }

  std::string_view FFormat;
  std::span<const TFormatArg> FArgs;
  const TFormatSettings& FSettings;
  std::string FResult;
  size_t FPos = 0;
  size_t FArgIndex = 0;
};

// ---- Parsing --------------------------------------------------------------------------------------

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

[[noreturn]] void RaiseConvert(const char* AMessage, std::string_view AText) {
  std::string message = AMessage;
  message.replace(message.find("%s"), 2, AText);
  throw EConvertError(message);
}

// Decimal or hex digits into a 64-bit magnitude; false on no digits, a stray character or overflow.
bool ParseMagnitude(std::string_view AText, uint64_t& AValue, bool& AHex) {
  int base = 10;
  AHex = false;
  if (!AText.empty() && AText.front() == '$') {
    AText.remove_prefix(1);
    AHex = true;
  } else if (AText.size() > 1 && AText[0] == '0' && (AText[1] == 'x' || AText[1] == 'X')) {
    AText.remove_prefix(2);
    AHex = true;
  }
  if (AHex)
    base = 16;
  if (AText.empty() || AText.front() == '+' || AText.front() == '-')
    return false;
  const auto [end, error] = std::from_chars(AText.data(), AText.data() + AText.size(), AValue, base);
  return error == std::errc() && end == AText.data() + AText.size();
}

// Leading blanks, a sign, then the magnitude; hex may use the whole unsigned range of the type.
template <class T> bool TryParseInteger(std::string_view AText, T& AValue) {
  using TUnsigned = std::make_unsigned_t<T>;
  while (!AText.empty() && IsBlank(AText.front()))
    AText.remove_prefix(1);
  bool negative = false;
  if (!AText.empty() && (AText.front() == '-' || AText.front() == '+')) {
    negative = AText.front() == '-';
    AText.remove_prefix(1);
  }
  uint64_t magnitude = 0;
  bool hex = false;
  if (!ParseMagnitude(AText, magnitude, hex))
    return false;
  const uint64_t limit = hex ? std::numeric_limits<TUnsigned>::max()
                             : static_cast<uint64_t>(std::numeric_limits<T>::max()) + (negative ? 1 : 0);
  if (magnitude > limit)
    return false;
  const TUnsigned bits = static_cast<TUnsigned>(magnitude);
  AValue = static_cast<T>(negative ? static_cast<TUnsigned>(0 - bits) : bits);
  return true;
}

std::string_view TrimView(std::string_view AText) {
  while (!AText.empty() && IsBlank(AText.front()))
    AText.remove_prefix(1);
  while (!AText.empty() && IsBlank(AText.back()))
    AText.remove_suffix(1);
  return AText;
}

} // namespace

TFormatSettings FormatSettings;

const TFormatSettings& FormatSettingsEnUS() {
  static const TFormatSettings settings;
  return settings;
}

std::string Format(std::string_view AFormat, std::span<const TFormatArg> AArgs,
                   const TFormatSettings& ASettings) {
  return TFormatter(AFormat, AArgs, ASettings).Run();
}

std::string Format(std::string_view AFormat, std::span<const TFormatArg> AArgs) {
  return Format(AFormat, AArgs, FormatSettingsEnUS());
}

std::string FloatToStr(double AValue) {
  return FloatToStr(AValue, FormatSettingsEnUS());
}

std::string FloatToStr(double AValue, const TFormatSettings& ASettings) {
  if (!std::isfinite(AValue))
    return SpecialText(AValue);
  return FormatGeneral(AValue, DefaultFloatPrecision, ASettings);
}

bool TryStrToFloat(std::string_view AText, double& AValue) {
  return TryStrToFloat(AText, AValue, FormatSettingsEnUS());
}

bool TryStrToFloat(std::string_view AText, double& AValue, const TFormatSettings& ASettings) {
  const std::string_view trimmed = TrimView(AText);
  const std::string upper = UpperCase(trimmed);
  if (upper == "NAN" || upper == "INF" || upper == "+INF" || upper == "-INF") {
    AValue = upper == "NAN" ? std::numeric_limits<double>::quiet_NaN()
                            : (upper[0] == '-' ? -1 : 1) * std::numeric_limits<double>::infinity();
    return true;
  }
  // Only the characters of a decimal number, with the settings' separator read as ".".
  std::string text;
  for (size_t i = 0; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    if (c == ASettings.DecimalSeparator)
      text += '.';
    else if ((c >= '0' && c <= '9') || c == 'e' || c == 'E' || c == '-' || c == '+')
      text += c;
    else
      return false;
  }
  // from_chars takes no leading "+".
  if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
    text.erase(0, 1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return false;
  AValue = value;
  return true;
}

std::string ExtractFilePath(std::string_view AFileName) {
  const size_t slash = AFileName.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(AFileName.substr(0, slash + 1));
}

bool TryStrToBool(std::string_view AText, bool& AValue) {
  if (SameText(AText, "true"))
    AValue = true;
  else if (SameText(AText, "false"))
    AValue = false;
  else
    return false;
  return true;
}

namespace {

// Adds one unit in the last place of the decimal digits in ADigits, carrying to the left; returns
// whether a new leading digit was needed.
bool IncrementDigits(std::string& ADigits) {
  for (size_t i = ADigits.size(); i-- > 0;) {
    if (ADigits[i] != '9') {
      ++ADigits[i];
      return false;
    }
    ADigits[i] = '0';
  }
  ADigits.insert(ADigits.begin(), '1');
  return true;
}

} // namespace

std::string FormatFloat(std::string_view APattern, double AValue) {
  return FormatFloat(APattern, AValue, FormatSettingsEnUS());
}

std::string FormatFloat(std::string_view APattern, double AValue, const TFormatSettings& ASettings) {
  if (!std::isfinite(AValue))
    return SpecialText(AValue);
  const size_t point = APattern.find('.');
  const std::string_view integerPart = APattern.substr(0, point);
  const std::string_view decimalPart =
      point == std::string_view::npos ? std::string_view() : APattern.substr(point + 1);
  const auto minInteger = static_cast<size_t>(std::count(integerPart.begin(), integerPart.end(), '0'));
  const auto minDecimals = static_cast<size_t>(std::count(decimalPart.begin(), decimalPart.end(), '0'));
  const size_t maxDecimals =
      minDecimals + static_cast<size_t>(std::count(decimalPart.begin(), decimalPart.end(), '#'));

  // The shortest round-trip digits as a plain decimal: integer digits and decimals.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(AValue), std::chars_format::fixed);
  const std::string_view plain(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t dot = plain.find('.');
  std::string integer(plain.substr(0, dot));
  std::string decimals(dot == std::string_view::npos ? std::string_view() : plain.substr(dot + 1));
  if (decimals.size() > maxDecimals) {
    const bool roundUp = decimals[maxDecimals] >= '5';
    decimals.resize(maxDecimals);
    if (roundUp && IncrementDigits(decimals)) {
      decimals.erase(0, 1);
      IncrementDigits(integer);
    }
  }
  while (decimals.size() > minDecimals && decimals.back() == '0')
    decimals.pop_back();
  while (decimals.size() < minDecimals)
    decimals += '0';
  integer.erase(0, integer.find_first_not_of('0'));
  if (integer.size() < minInteger)
    integer.insert(0, minInteger - integer.size(), '0');
  std::string text = integer;
  if (!decimals.empty())
    text += ASettings.DecimalSeparator + decimals;
  const bool isZero = text.find_first_not_of("0.,") == std::string::npos;
  return AValue < 0 && !isZero ? "-" + text : text;
}

double StrToFloat(std::string_view AText) {
  return StrToFloat(AText, FormatSettingsEnUS());
}

double StrToFloat(std::string_view AText, const TFormatSettings& ASettings) {
  double value = 0;
  if (!TryStrToFloat(AText, value, ASettings))
    RaiseConvert(messages::InvalidFloat, AText);
  return value;
}

bool TryStrToInt(std::string_view AText, int& AValue) {
  return TryParseInteger(AText, AValue);
}

bool TryStrToInt64(std::string_view AText, int64_t& AValue) {
  return TryParseInteger(AText, AValue);
}

int StrToInt(std::string_view AText) {
  int value = 0;
  if (!TryStrToInt(AText, value))
    RaiseConvert(messages::InvalidInteger, AText);
  return value;
}

int64_t StrToInt64(std::string_view AText) {
  int64_t value = 0;
  if (!TryStrToInt64(AText, value))
    RaiseConvert(messages::InvalidInteger, AText);
  return value;
}

int StrToIntDef(std::string_view AText, int ADefault) {
  int value = 0;
  return TryStrToInt(AText, value) ? value : ADefault;
}

int64_t Round(double AValue) {
  double whole = std::floor(AValue);
  const double fraction = AValue - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0))
    whole += 1;
  // 2^63 is exactly representable; every double below it fits in int64.
  if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0))
    throw ERangeError(messages::RangeError);
  return static_cast<int64_t>(whole);
}

std::string UpperCase(std::string_view AText) {
  std::string result(AText);
  for (char& c : result)
    c = AsciiUpper(c);
  return result;
}

std::string LowerCase(std::string_view AText) {
  std::string result(AText);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return result;
}

int CompareStr(std::string_view A, std::string_view B) {
  const int result = A.compare(B);
  return result < 0 ? -1 : result > 0 ? 1 : 0;
}

int CompareText(std::string_view A, std::string_view B) {
  const size_t common = std::min(A.size(), B.size());
  for (size_t i = 0; i < common; ++i) {
    const auto a = static_cast<unsigned char>(AsciiUpper(A[i]));
    const auto b = static_cast<unsigned char>(AsciiUpper(B[i]));
    if (a != b)
      return a < b ? -1 : 1;
  }
  return A.size() < B.size() ? -1 : A.size() > B.size() ? 1 : 0;
}

bool SameText(std::string_view A, std::string_view B) {
  return A.size() == B.size() && CompareText(A, B) == 0;
}

bool StartsText(std::string_view ASubText, std::string_view AText) {
  return AText.size() >= ASubText.size() && SameText(AText.substr(0, ASubText.size()), ASubText);
}

bool EndsText(std::string_view ASubText, std::string_view AText) {
  return AText.size() >= ASubText.size() && SameText(AText.substr(AText.size() - ASubText.size()), ASubText);
}

std::string Trim(std::string_view AText) {
  return std::string(TrimView(AText));
}

std::string TrimLeft(std::string_view AText) {
  while (!AText.empty() && IsBlank(AText.front()))
    AText.remove_prefix(1);
  return std::string(AText);
}

std::string TrimRight(std::string_view AText) {
  while (!AText.empty() && IsBlank(AText.back()))
    AText.remove_suffix(1);
  return std::string(AText);
}

std::vector<std::string> SplitString(std::string_view AText, std::string_view ADelimiters) {
  std::vector<std::string> parts;
  if (AText.empty())
    return parts;
  size_t start = 0;
  for (;;) {
    const size_t end = AText.find_first_of(ADelimiters, start);
    parts.emplace_back(AText.substr(start, end - start));
    if (end == std::string_view::npos)
      return parts;
    start = end + 1;
  }
}

std::string StringReplace(std::string_view AText, std::string_view AOldPattern, std::string_view ANewPattern,
                          std::initializer_list<TReplaceFlag> AFlags) {
  const bool all = std::find(AFlags.begin(), AFlags.end(), TReplaceFlag::rfReplaceAll) != AFlags.end();
  const bool ignoreCase = std::find(AFlags.begin(), AFlags.end(), TReplaceFlag::rfIgnoreCase) != AFlags.end();
  if (AOldPattern.empty())
    return std::string(AText);
  const std::string haystack = ignoreCase ? UpperCase(AText) : std::string(AText);
  const std::string needle = ignoreCase ? UpperCase(AOldPattern) : std::string(AOldPattern);
  std::string result;
  size_t start = 0;
  for (;;) {
    const size_t found = haystack.find(needle, start);
    if (found == std::string::npos)
      break;
    result.append(AText.substr(start, found - start));
    result.append(ANewPattern);
    start = found + needle.size();
    if (!all)
      break;
  }
  result.append(AText.substr(start));
  return result;
}

std::string QuotedStr(std::string_view AText, char AQuote) {
  std::string result(1, AQuote);
  for (char c : AText) {
    result += c;
    if (c == AQuote)
      result += AQuote;
  }
  result += AQuote;
  return result;
}

} // namespace rtl
