#include "rtl/date_time.h"

#include <cctype>
#include <cmath>
#include <ctime>

#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace rtl {

namespace {

constexpr int64_t MSecsPerDay = 86'400'000;
constexpr int64_t UnixEpochDay = static_cast<int64_t>(UnixDateDelta);
// Day numbers of 0001-01-01 and 9999-12-31.
constexpr int64_t MinDay = -693'593;
constexpr int64_t MaxDay = 2'958'465;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Hinnant's algorithms).
int64_t DaysFromCivil(int64_t AYear, int AMonth, int ADay) {
  AYear -= AMonth <= 2;
  const int64_t era = (AYear >= 0 ? AYear : AYear - 399) / 400;
  const int64_t yearOfEra = AYear - era * 400;
  const int64_t dayOfYear = (153 * (AMonth + (AMonth > 2 ? -3 : 9)) + 2) / 5 + ADay - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146'097 + dayOfEra - 719'468;
}

void CivilFromDays(int64_t ADays, TDateTimeParts& AParts) {
  ADays += 719'468;
  const int64_t era = (ADays >= 0 ? ADays : ADays - 146'096) / 146'097;
  const int64_t dayOfEra = ADays - era * 146'097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  AParts.Day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  AParts.Month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  AParts.Year = static_cast<int>(yearOfEra + era * 400 + (AParts.Month <= 2));
}

bool IsLeapYear(int AYear) {
  return AYear % 4 == 0 && (AYear % 100 != 0 || AYear % 400 == 0);
}

int DaysInMonth(int AYear, int AMonth) {
  static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return AMonth == 2 && IsLeapYear(AYear) ? 29 : Days[AMonth - 1];
}

[[noreturn]] void RangeFailure() {
  throw EConvertError("Date-time out of the range 0001-01-01 to 9999-12-31");
}

// Milliseconds since 1899-12-30 00:00 on one straight time line.
int64_t ToLinearMilliseconds(TDateTime ADateTime) {
  const double value = ADateTime.Value;
  if (!std::isfinite(value) || value < MinDay - 1 || value > MaxDay + 1)
    RangeFailure();
  const double whole = std::trunc(value);
  const auto timeOfDay = static_cast<int64_t>(std::round(std::fabs(value - whole) * MSecsPerDay));
  const int64_t result = static_cast<int64_t>(whole) * MSecsPerDay + timeOfDay;
  if (result < MinDay * MSecsPerDay || result >= (MaxDay + 1) * MSecsPerDay)
    RangeFailure();
  return result;
}

int64_t FloorDiv(int64_t A, int64_t B) {
  return A / B - (A % B < 0);
}

TDateTime FromLinearMilliseconds(int64_t AMilliseconds) {
  const int64_t day = FloorDiv(AMilliseconds, MSecsPerDay);
  const double timeOfDay = static_cast<double>(AMilliseconds - day * MSecsPerDay) / MSecsPerDay;
  return {day >= 0 ? day + timeOfDay : day - timeOfDay};
}

// The offset of local time from UTC at the UTC instant, in milliseconds.
int64_t LocalOffsetAtUtc(int64_t AUnixMilliseconds) {
  const time_t seconds = FloorDiv(AUnixMilliseconds, 1000);
  tm local{};
  localtime_r(&seconds, &local);
  return static_cast<int64_t>(local.tm_gmtoff) * 1000;
}

// UTC milliseconds of a local wall-clock time given as milliseconds since 1970 on the local clock.
int64_t LocalToUtc(int64_t ALocalMilliseconds) {
  const time_t wallSeconds = FloorDiv(ALocalMilliseconds, 1000);
  tm fields{};
  gmtime_r(&wallSeconds, &fields);
  fields.tm_isdst = -1;
  const time_t utcSeconds = mktime(&fields);
  return static_cast<int64_t>(utcSeconds) * 1000 + (ALocalMilliseconds - wallSeconds * 1000);
}

std::string Digits(int AValue, int AWidth) {
  std::string text = IntToStr(AValue);
  if (static_cast<int>(text.size()) < AWidth)
    text.insert(0, static_cast<size_t>(AWidth - static_cast<int>(text.size())), '0');
  return text;
}

// A small cursor over ISO 8601 text; every failure is the same conversion error.
class TIsoParser {
public:
  explicit TIsoParser(std::string_view AText) : FText(AText) {}

  bool AtEnd() const { return FPosition == FText.size(); }
  bool Accept(char AChar) {
    if (AtEnd() || FText[FPosition] != AChar)
      return false;
    ++FPosition;
    return true;
  }
  void Expect(char AChar) {
    if (!Accept(AChar))
      Fail();
  }
  int Number(size_t ADigits) {
    int value = 0;
    for (size_t i = 0; i < ADigits; ++i)
      value = value * 10 + Digit();
    return value;
  }
  // 1 to 9 digits of a fraction of a second, rounded to the millisecond.
  int Milliseconds() {
    double fraction = 0, scale = 0.1;
    size_t count = 0;
    while (!AtEnd() && FText[FPosition] >= '0' && FText[FPosition] <= '9' && count < 9) {
      fraction += Digit() * scale;
      scale /= 10;
      ++count;
    }
    if (count == 0)
      Fail();
    return static_cast<int>(std::round(fraction * 1000));
  }
  [[noreturn]] void Fail() const {
    throw EConvertError(Format("'%s' is not a valid ISO 8601 date-time", FText));
  }

private:
  int Digit() {
    if (AtEnd() || FText[FPosition] < '0' || FText[FPosition] > '9')
      Fail();
    return FText[FPosition++] - '0';
  }

  std::string_view FText;
  size_t FPosition = 0;
};

// Minutes east of UTC from "Z", "+hh", "+hh:nn" or "+hhnn"; no zone counts as UTC.
int ZoneMinutes(TIsoParser& AParser) {
  if (AParser.AtEnd() || AParser.Accept('Z'))
    return 0;
  int sign = 1;
  if (AParser.Accept('-'))
    sign = -1;
  else
    AParser.Expect('+');
  const int hours = AParser.Number(2);
  int minutes = 0;
  if (!AParser.AtEnd()) {
    AParser.Accept(':');
    minutes = AParser.Number(2);
  }
  if (hours > 23 || minutes > 59)
    AParser.Fail();
  return sign * (hours * 60 + minutes);
}

char LowerAscii(char AChar) {
  return AChar >= 'A' && AChar <= 'Z' ? static_cast<char>(AChar - 'A' + 'a') : AChar;
}

// The value of a field letter of FormatDateTime, written with or without a leading zero.
int FieldValue(char ALetter, const TDateTimeParts& AParts) {
  switch (ALetter) {
  case 'm':
    return AParts.Month;
  case 'd':
    return AParts.Day;
  case 'h':
    return AParts.Hour;
  case 'n':
    return AParts.Minute;
  default:
    return AParts.Second;
  }
}

// A cursor over date-time text whose reads report failure instead of raising.
class TDateTextReader {
public:
  explicit TDateTextReader(std::string_view AText) : FText(AText) {}

  bool AtEnd() const { return FPosition == FText.size(); }
  bool Accept(char AChar) {
    if (AtEnd() || FText[FPosition] != AChar)
      return false;
    ++FPosition;
    return true;
  }
  bool SkipBlanks() {
    const size_t start = FPosition;
    while (Accept(' '))
      ;
    return FPosition > start;
  }
  // AMinDigits..AMaxDigits decimal digits; ACount tells how many were read.
  bool Number(size_t AMinDigits, size_t AMaxDigits, int& AValue, size_t* ACount = nullptr) {
    size_t count = 0;
    AValue = 0;
    while (count < AMaxDigits && !AtEnd() && FText[FPosition] >= '0' && FText[FPosition] <= '9') {
      AValue = AValue * 10 + (FText[FPosition++] - '0');
      ++count;
    }
    if (ACount)
      *ACount = count;
    return count >= AMinDigits;
  }

private:
  std::string_view FText;
  size_t FPosition = 0;
};

// The order of the day, month and year fields in a short date format, as the letters 'd', 'm',
// 'y'; empty when the format lacks one of them.
std::string DateFieldOrder(std::string_view AShortDateFormat) {
  std::string order;
  for (char c : AShortDateFormat) {
    c = LowerAscii(c);
    if ((c == 'd' || c == 'm' || c == 'y') && order.find(c) == std::string::npos)
      order += c;
  }
  return order.size() == 3 ? order : std::string();
}

bool ReadDate(TDateTextReader& AReader, const TFormatSettings& ASettings, TDateTimeParts& AParts) {
  const std::string order = DateFieldOrder(ASettings.ShortDateFormat);
  if (order.empty())
    return false;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && !AReader.Accept(ASettings.DateSeparator))
      return false;
    if (order[i] != 'y') {
      if (!AReader.Number(1, 2, order[i] == 'm' ? AParts.Month : AParts.Day))
        return false;
      continue;
    }
    size_t digits = 0;
    if (!AReader.Number(1, 4, AParts.Year, &digits))
      return false;
    if (digits <= 2)
      AParts.Year += AParts.Year < 50 ? 2000 : 1900;
  }
  return true;
}

// " AM" or " PM" in either case after a 12-hour time: the hour 1..12 becomes 0..23.
bool ReadHalfDay(TDateTextReader& AReader, TDateTimeParts& AParts) {
  const bool blanks = AReader.SkipBlanks();
  const bool am = AReader.Accept('A') || AReader.Accept('a');
  const bool pm = !am && (AReader.Accept('P') || AReader.Accept('p'));
  if (!am && !pm)
    return !blanks || AReader.AtEnd();
  if (!(AReader.Accept('M') || AReader.Accept('m')) || AParts.Hour < 1 || AParts.Hour > 12)
    return false;
  AParts.Hour = AParts.Hour % 12 + (pm ? 12 : 0);
  return true;
}

bool ReadTime(TDateTextReader& AReader, char ASeparator, TDateTimeParts& AParts) {
  if (!AReader.Number(1, 2, AParts.Hour) || !AReader.Accept(ASeparator) ||
      !AReader.Number(1, 2, AParts.Minute))
    return false;
  if (AReader.Accept(ASeparator) && !AReader.Number(1, 2, AParts.Second))
    return false;
  return ReadHalfDay(AReader, AParts);
}

} // namespace

TDateTime TDateTime::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return UnixMillisecondsToDateTime(static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000, false);
}

bool TryEncodeDateTime(const TDateTimeParts& AParts, TDateTime& AResult) {
  const TDateTimeParts& p = AParts;
  if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1 ||
      p.Day > DaysInMonth(p.Year, p.Month) || p.Hour < 0 || p.Hour > 23 || p.Minute < 0 || p.Minute > 59 ||
      p.Second < 0 || p.Second > 59 || p.Millisecond < 0 || p.Millisecond > 999)
    return false;
  const int64_t day = DaysFromCivil(p.Year, p.Month, p.Day) + UnixEpochDay;
  const int64_t time = ((p.Hour * 60 + p.Minute) * 60 + p.Second) * 1000 + p.Millisecond;
  AResult = FromLinearMilliseconds(day * MSecsPerDay + time);
  return true;
}

TDateTime EncodeDateTime(const TDateTimeParts& AParts) {
  TDateTime result;
  if (!TryEncodeDateTime(AParts, result))
    throw EConvertError(Format("Invalid date-time %d-%d-%d %d:%d:%d.%d", AParts.Year, AParts.Month,
                               AParts.Day, AParts.Hour, AParts.Minute, AParts.Second, AParts.Millisecond));
  return result;
}

TDateTimeParts DecodeDateTime(TDateTime ADateTime) {
  const int64_t linear = ToLinearMilliseconds(ADateTime);
  const int64_t day = FloorDiv(linear, MSecsPerDay);
  int64_t time = linear - day * MSecsPerDay;
  TDateTimeParts parts;
  CivilFromDays(day - UnixEpochDay, parts);
  parts.Millisecond = static_cast<int>(time % 1000);
  time /= 1000;
  parts.Second = static_cast<int>(time % 60);
  time /= 60;
  parts.Minute = static_cast<int>(time % 60);
  parts.Hour = static_cast<int>(time / 60);
  return parts;
}

int64_t DateTimeToUnixMilliseconds(TDateTime ADateTime, bool AInputIsUTC) {
  const int64_t milliseconds = ToLinearMilliseconds(ADateTime) - UnixEpochDay * MSecsPerDay;
  return AInputIsUTC ? milliseconds : LocalToUtc(milliseconds);
}

TDateTime UnixMillisecondsToDateTime(int64_t AMilliseconds, bool AReturnUTC) {
  int64_t linear;
  if (__builtin_add_overflow(AMilliseconds, UnixEpochDay * MSecsPerDay, &linear) ||
      linear < MinDay * MSecsPerDay || linear >= (MaxDay + 1) * MSecsPerDay)
    RangeFailure();
  if (!AReturnUTC)
    linear += LocalOffsetAtUtc(AMilliseconds);
  return FromLinearMilliseconds(linear);
}

int64_t DateTimeToUnix(TDateTime ADateTime, bool AInputIsUTC) {
  return DateTimeToUnixMilliseconds(ADateTime, AInputIsUTC) / 1000;
}

TDateTime UnixToDateTime(int64_t ASeconds, bool AReturnUTC) {
  int64_t milliseconds;
  if (__builtin_mul_overflow(ASeconds, int64_t{1000}, &milliseconds))
    RangeFailure();
  return UnixMillisecondsToDateTime(milliseconds, AReturnUTC);
}

std::string DateToISO8601(TDateTime ADateTime, bool AInputIsUTC) {
  const TDateTimeParts p =
      DecodeDateTime(UnixMillisecondsToDateTime(DateTimeToUnixMilliseconds(ADateTime, AInputIsUTC)));
  return Digits(p.Year, 4) + '-' + Digits(p.Month, 2) + '-' + Digits(p.Day, 2) + 'T' + Digits(p.Hour, 2) +
         ':' + Digits(p.Minute, 2) + ':' + Digits(p.Second, 2) + '.' + Digits(p.Millisecond, 3) + 'Z';
}

TDateTime ISO8601ToDate(std::string_view AText, bool AReturnUTC) {
  TIsoParser parser(AText);
  TDateTimeParts p;
  p.Year = parser.Number(4);
  parser.Expect('-');
  p.Month = parser.Number(2);
  parser.Expect('-');
  p.Day = parser.Number(2);
  int millisecond = 0;
  if (parser.Accept('T') || parser.Accept(' ')) {
    p.Hour = parser.Number(2);
    parser.Expect(':');
    p.Minute = parser.Number(2);
    if (parser.Accept(':')) {
      p.Second = parser.Number(2);
      if (parser.Accept('.'))
        millisecond = parser.Milliseconds();
    }
  } else {
    p.Hour = p.Minute = p.Second = 0;
  }
  const int zoneMinutes = ZoneMinutes(parser);
  TDateTime wallClock;
  if (!parser.AtEnd() || !TryEncodeDateTime(p, wallClock))
    parser.Fail();
  // The rounded fraction may reach a whole second, so it is added on the time line.
  const int64_t utc = DateTimeToUnixMilliseconds(wallClock) + millisecond - zoneMinutes * int64_t{60'000};
  return UnixMillisecondsToDateTime(utc, AReturnUTC);
}

uint32_t DateTimeToDosDateTime(TDateTime ADateTime) {
  const TDateTimeParts p = DecodeDateTime(ADateTime);
  if (p.Year < 1980)
    return 0x0021'0000;
  if (p.Year > 2107)
    return uint32_t{(127u << 9) | (12u << 5) | 31u} << 16 | (23u << 11) | (59u << 5) | 29u;
  const auto date = static_cast<uint32_t>(((p.Year - 1980) << 9) | (p.Month << 5) | p.Day);
  const auto time = static_cast<uint32_t>((p.Hour << 11) | (p.Minute << 5) | (p.Second / 2));
  return date << 16 | time;
}

TDateTime DosDateTimeToDateTime(uint32_t ADosDateTime) {
  const uint32_t date = ADosDateTime >> 16, time = ADosDateTime & 0xFFFF;
  const TDateTimeParts parts{static_cast<int>(1980 + (date >> 9)),
                             static_cast<int>((date >> 5) & 15),
                             static_cast<int>(date & 31),
                             static_cast<int>(time >> 11),
                             static_cast<int>((time >> 5) & 63),
                             static_cast<int>((time & 31) * 2),
                             0};
  TDateTime result;
  if (!TryEncodeDateTime(parts, result))
    throw EConvertError(Format("Invalid DOS date-time $%.8x", ADosDateTime));
  return result;
}

std::string FormatDateTime(std::string_view AFormat, TDateTime ADateTime) {
  const TDateTimeParts parts = DecodeDateTime(ADateTime);
  std::string result;
  for (size_t i = 0; i < AFormat.size();) {
    const char letter = LowerAscii(AFormat[i]);
    if (letter == 'y') {
      size_t run = 0;
      while (i + run < AFormat.size() && run < 4 && LowerAscii(AFormat[i + run]) == 'y')
        ++run;
      result += run > 2 ? Digits(parts.Year, 4) : Digits(parts.Year % 100, 2);
      i += run;
    } else if (std::string_view("mdhns").find(letter) != std::string_view::npos) {
      const bool padded = i + 1 < AFormat.size() && LowerAscii(AFormat[i + 1]) == letter;
      result += Digits(FieldValue(letter, parts), padded ? 2 : 1);
      i += padded ? 2 : 1;
    } else {
      result += AFormat[i++];
    }
  }
  return result;
}

std::string DateTimeToStr(TDateTime ADateTime, const TFormatSettings& ASettings) {
  // The short date form with the settings' date separator between its fields.
  std::string pattern = ASettings.ShortDateFormat;
  for (char& c : pattern)
    if (!std::isalpha(static_cast<unsigned char>(c)))
      c = ASettings.DateSeparator;
  std::string text = FormatDateTime(pattern, ADateTime);
  const TDateTimeParts parts = DecodeDateTime(ADateTime);
  if (parts.Hour == 0 && parts.Minute == 0 && parts.Second == 0 && parts.Millisecond == 0)
    return text;
  const int hour12 = parts.Hour % 12 == 0 ? 12 : parts.Hour % 12;
  const auto twoDigits = [](int AValue) { return (AValue < 10 ? "0" : "") + IntToStr(AValue); };
  return text + " " + IntToStr(hour12) + ASettings.TimeSeparator + twoDigits(parts.Minute) +
         ASettings.TimeSeparator + twoDigits(parts.Second) + (parts.Hour < 12 ? " AM" : " PM");
}

bool TryStrToDateTime(std::string_view AText, TDateTime& AResult, const TFormatSettings& ASettings) {
  const std::string text = Trim(AText);
  TDateTextReader reader(text);
  TDateTimeParts parts;
  if (!ReadDate(reader, ASettings, parts))
    return false;
  if (reader.SkipBlanks() && !ReadTime(reader, ASettings.TimeSeparator, parts))
    return false;
  return reader.AtEnd() && TryEncodeDateTime(parts, AResult);
}

bool TryStrToDateTime(std::string_view AText, TDateTime& AResult) {
  return TryStrToDateTime(AText, AResult, FormatSettings);
}

bool TryStrToDateTimeStrict(std::string_view AText, TDateTime& AResult) {
  TDateTextReader reader(AText);
  TDateTimeParts parts;
  const bool wellFormed =
      reader.Number(4, 4, parts.Year) && reader.Accept('-') && reader.Number(2, 2, parts.Month) &&
      reader.Accept('-') && reader.Number(2, 2, parts.Day) && reader.Accept(' ') &&
      reader.Number(2, 2, parts.Hour) && reader.Accept(':') && reader.Number(2, 2, parts.Minute) &&
      reader.Accept(':') && reader.Number(2, 2, parts.Second) && reader.AtEnd();
  return wellFormed && TryEncodeDateTime(parts, AResult);
}

} // namespace rtl
