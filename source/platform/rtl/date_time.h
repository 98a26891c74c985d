#pragma once
// Date-times as the system stores them: days since 1899-12-30 00:00 as a double, the fraction being
// the time of day. Before that day the whole part counts back while the fraction still counts
// forward from midnight, so -1.25 is 1899-12-29 06:00. Conversions to and from Unix time, ISO 8601
// text and the DOS date-time of zip archives, and date-time text by format and by the settings'
// date order.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/sysutils.h"

namespace rtl {

struct TDateTime {
  double Value = 0;

  // The current local date-time.
  static TDateTime Now();

  auto operator<=>(const TDateTime&) const = default;
};

// Days from 1899-12-30 to 1970-01-01.
inline constexpr double UnixDateDelta = 25569;

// The fields of a date-time, months and days counted from 1.
struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  bool operator==(const TDateTimeParts&) const = default;
};

// Years 1..9999; any field out of range raises EConvertError.
TDateTime EncodeDateTime(const TDateTimeParts& AParts);
bool TryEncodeDateTime(const TDateTimeParts& AParts, TDateTime& AResult);
// Rounded to the millisecond; values beyond the years 1..9999 (or NaN) raise EConvertError.
TDateTimeParts DecodeDateTime(TDateTime ADateTime);

// Milliseconds since 1970-01-01 00:00, the date-time rounded to the millisecond. Raises
// EConvertError beyond the years 1..9999.
int64_t DateTimeToUnixMilliseconds(TDateTime ADateTime, bool AInputIsUTC = true);
TDateTime UnixMillisecondsToDateTime(int64_t AMilliseconds, bool AReturnUTC = true);
// Whole seconds since 1970-01-01 00:00: rounded to the millisecond, then truncated toward zero,
// so 00:00:01.500 gives 1 and a date-time 1.5 s before the epoch gives -1. With AInputIsUTC
// false the date-time is local time and is converted to UTC first.
int64_t DateTimeToUnix(TDateTime ADateTime, bool AInputIsUTC = true);
// With AReturnUTC false the result is local time.
TDateTime UnixToDateTime(int64_t ASeconds, bool AReturnUTC = true);

// "2023-05-04T10:20:30.000Z". With AInputIsUTC false the date-time is local time and is written as
// UTC.
std::string DateToISO8601(TDateTime ADateTime, bool AInputIsUTC = true);
// Reads "yyyy-mm-dd", optionally followed by "T" (or a blank) and "hh:nn", ":ss", ".fff" (1 to 9
// digits, rounded to the millisecond), and a zone "Z", "+hh", "+hh:nn" or "+hhnn" (or "-").
// Text without a zone is UTC. With AReturnUTC false the result is local time. Anything else
// raises EConvertError "'<text>' is not a valid ISO 8601 date-time".
TDateTime ISO8601ToDate(std::string_view AText, bool AReturnUTC = true);

// Writes ADateTime by AFormat, whose letters (either case) are fields: yyyy the year in 4 digits,
// yy its last 2; mm, dd, hh, nn, ss the month, day, hour (0..23), minute and second in 2 digits,
// and m, d, h, n, s the same without a leading zero. Every other character is copied as it is, so
// a fixed form such as "yyyy-mm-dd hh:nn:ss" reads the same under any settings. Raises
// EConvertError beyond the years 1..9999.
std::string FormatDateTime(std::string_view AFormat, TDateTime ADateTime);

// The date in the settings' short date order and separator, then, unless it is midnight, the time
// as hours (1..12), minutes and seconds with the time separator and "AM"/"PM": en-US gives
// "3/7/2024 2:05:09 PM" and "3/7/2024". Dates outside the years 1..9999 raise EConvertError.
std::string DateTimeToStr(TDateTime ADateTime, const TFormatSettings& ASettings);

// Reads a date, optionally followed by blanks and a time, as the settings write them: the date's
// three numbers in the order of ASettings.ShortDateFormat separated by ASettings.DateSeparator,
// the time as hours and minutes, optionally seconds, separated by ASettings.TimeSeparator, and
// optionally "AM" or "PM" (either case) after a 12-hour time, as DateTimeToStr writes it. A year
// of 1 or 2 digits means 1950..2049. Blanks around the text are allowed. False for anything else,
// including dates that do not exist. The form without settings follows the process's
// FormatSettings.
bool TryStrToDateTime(std::string_view AText, TDateTime& AResult, const TFormatSettings& ASettings);
bool TryStrToDateTime(std::string_view AText, TDateTime& AResult);

// Reads exactly "yyyy-mm-dd hh:nn:ss" (19 characters, every digit present, nothing around it), the
// fixed form time stamps are stored in. False for any other text or a date-time that does not
// exist, such as "0000-00-00 00:00:00".
bool TryStrToDateTimeStrict(std::string_view AText, TDateTime& AResult);

// The DOS date-time of zip archives: the date in the high 16 bits (years since 1980 << 9 |
// month << 5 | day), the time in the low 16 bits (hour << 11 | minute << 5 | seconds / 2).
// Date-times before 1980 become 1980-01-01 00:00:00 and those after 2107 the last DOS
// date-time.
uint32_t DateTimeToDosDateTime(TDateTime ADateTime);
// Raises EConvertError for fields out of range (month 0, minute 60...).
TDateTime DosDateTimeToDateTime(uint32_t ADosDateTime);

} // namespace rtl
