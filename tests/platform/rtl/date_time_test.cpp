#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include "rtl/date_time.h"
#include "rtl/exceptions.h"

namespace {

using rtl::TDateTime;
using rtl::TDateTimeParts;

// Runs with the process's local zone set to a fixed POSIX zone, restoring it afterwards.
class LocalZone {
public:
  explicit LocalZone(const char* AZone) {
    if (const char* old = std::getenv("TZ"))
      FOld = old;
    setenv("TZ", AZone, 1);
    tzset();
  }
  ~LocalZone() {
    if (FOld)
      setenv("TZ", FOld->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

private:
  std::optional<std::string> FOld;
};

TEST(DateTime, EncodesAndDecodesAroundTheBaseDay) {
  struct Case {
    TDateTimeParts Parts;
    double Value;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0},       {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
      {{1899, 12, 31, 18, 0, 0, 0}, 1.75},   {{1970, 1, 1, 0, 0, 0, 0}, 25569},
      {{2000, 2, 29, 12, 0, 0, 0}, 36585.5}, {{1, 1, 1, 0, 0, 0, 0}, -693593},
      {{9999, 12, 31, 0, 0, 0, 0}, 2958465},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(rtl::EncodeDateTime(c.Parts).Value, c.Value) << c.Value;
    EXPECT_EQ(rtl::DecodeDateTime({c.Value}), c.Parts) << c.Value;
  }
  const TDateTimeParts milliseconds{2023, 5, 4, 10, 20, 30, 999};
  EXPECT_EQ(rtl::DecodeDateTime(rtl::EncodeDateTime(milliseconds)), milliseconds);
  // 23:59:59.9999 rounds into the next day, also before the base day.
  EXPECT_EQ(rtl::DecodeDateTime({-1.9999999999}), (TDateTimeParts{1899, 12, 30, 0, 0, 0, 0}));

  for (const TDateTimeParts& bad : {TDateTimeParts{2023, 2, 29}, TDateTimeParts{2023, 13, 1},
                                    TDateTimeParts{0, 1, 1}, TDateTimeParts{2023, 1, 1, 24, 0, 0, 0}})
    EXPECT_THROW(rtl::EncodeDateTime(bad), rtl::EConvertError) << bad.Year << "-" << bad.Month;
  for (const double bad : {std::nan(""), 1e300, -1e7})
    EXPECT_THROW(rtl::DecodeDateTime({bad}), rtl::EConvertError) << bad;
}

// Whole seconds are the milliseconds truncated toward zero.
TEST(DateTime, UnixTime) {
  const TDateTime epoch{rtl::UnixDateDelta};
  const double ms = 1.0 / 86400000;
  EXPECT_EQ(rtl::DateTimeToUnix({epoch.Value + 1500 * ms}), 1);
  EXPECT_EQ(rtl::DateTimeToUnix({epoch.Value - 1500 * ms}), -1);
  EXPECT_EQ(rtl::DateTimeToUnixMilliseconds({epoch.Value + 1500 * ms}), 1500);
  EXPECT_EQ(rtl::DateTimeToUnixMilliseconds({epoch.Value + 1499.6 * ms}), 1500);
  EXPECT_EQ(rtl::DateTimeToUnix(rtl::EncodeDateTime({2023, 5, 4, 10, 20, 30, 0})), 1683195630);
  EXPECT_EQ(rtl::UnixToDateTime(1683195630), rtl::EncodeDateTime({2023, 5, 4, 10, 20, 30, 0}));
  EXPECT_EQ(rtl::UnixToDateTime(-86400), TDateTime{rtl::UnixDateDelta - 1});
  EXPECT_EQ(rtl::DecodeDateTime(rtl::UnixMillisecondsToDateTime(-1)),
            (TDateTimeParts{1969, 12, 31, 23, 59, 59, 999}));
  // Values beyond the years 1..9999 raise instead of overflowing.
  EXPECT_THROW(rtl::UnixToDateTime(std::numeric_limits<int64_t>::max()), rtl::EConvertError);
  EXPECT_THROW(rtl::UnixMillisecondsToDateTime(std::numeric_limits<int64_t>::min()), rtl::EConvertError);
}

TEST(DateTime, LocalTimeConversions) {
  LocalZone zone("XST-02"); // two hours east of UTC, no daylight saving
  const TDateTime local = rtl::UnixToDateTime(0, false);
  EXPECT_EQ(rtl::DecodeDateTime(local), (TDateTimeParts{1970, 1, 1, 2, 0, 0, 0}));
  EXPECT_EQ(rtl::DateTimeToUnix(local, false), 0);
  EXPECT_EQ(rtl::DateToISO8601(local, false), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(rtl::ISO8601ToDate("1970-01-01T00:00:00Z", false), local);
  const double sinceNow =
      rtl::DateTimeToUnix(TDateTime::Now(), false) - static_cast<double>(std::time(nullptr));
  EXPECT_LE(std::abs(sinceNow), 2);
}

TEST(DateTime, Iso8601) {
  const TDateTime stamp = rtl::EncodeDateTime({2023, 5, 4, 10, 20, 30, 250});
  EXPECT_EQ(rtl::DateToISO8601(stamp), "2023-05-04T10:20:30.250Z");
  EXPECT_EQ(rtl::DateToISO8601(rtl::EncodeDateTime({1, 1, 1})), "0001-01-01T00:00:00.000Z");
  struct Case {
    const char* Text;
    TDateTimeParts Parts;
  } cases[] = {
      {"2023-05-04T10:20:30.250Z", {2023, 5, 4, 10, 20, 30, 250}},
      {"2023-05-04", {2023, 5, 4, 0, 0, 0, 0}},
      {"2023-05-04 10:20", {2023, 5, 4, 10, 20, 0, 0}},
      {"2023-05-04T12:20:30+02:00", {2023, 5, 4, 10, 20, 30, 0}},
      {"2023-05-04T05:50:30-0430", {2023, 5, 4, 10, 20, 30, 0}},
      {"2023-05-04T23:59:59.9996Z", {2023, 5, 5, 0, 0, 0, 0}},
      {"2023-05-04T10:20:30.1+01", {2023, 5, 4, 9, 20, 30, 100}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rtl::DecodeDateTime(rtl::ISO8601ToDate(c.Text)), c.Parts) << c.Text;
  for (const char* bad : {"", "2023", "2023-5-04", "2023-02-30", "2023-05-04T10", "2023-05-04T10:20:30.",
                          "2023-05-04T25:00", "2023-05-04Z1", "2023-05-04T10:20+2", "2023-05-04T10:20:30 "}) {
    try {
      rtl::ISO8601ToDate(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const rtl::EConvertError& error) {
      EXPECT_EQ(error.Message(), "'" + std::string(bad) + "' is not a valid ISO 8601 date-time");
    }
  }
}

TEST(DateTime, DosDateTime) {
  const TDateTime stamp = rtl::EncodeDateTime({2023, 5, 4, 10, 20, 31, 0});
  const uint32_t dos = ((2023 - 1980) << 25) | (5 << 21) | (4 << 16) | (10 << 11) | (20 << 5) | 15;
  EXPECT_EQ(rtl::DateTimeToDosDateTime(stamp), dos);
  EXPECT_EQ(rtl::DosDateTimeToDateTime(dos), rtl::EncodeDateTime({2023, 5, 4, 10, 20, 30, 0}));
  EXPECT_EQ(rtl::DateTimeToDosDateTime(rtl::EncodeDateTime({1970, 6, 1})), 0x00210000u);
  EXPECT_EQ(rtl::DosDateTimeToDateTime(0xFF9FBF7D), rtl::EncodeDateTime({2107, 12, 31, 23, 59, 58, 0}));
  EXPECT_EQ(rtl::DateTimeToDosDateTime(rtl::EncodeDateTime({2200, 1, 1})), 0xFF9FBF7Du);
  for (const uint32_t bad : {0u, 0x00210000u | (24u << 11), 0x00210000u | 30u, 0x00200000u})
    EXPECT_THROW(rtl::DosDateTimeToDateTime(bad), rtl::EConvertError) << bad;
}

TEST(DateTimeText, FormatDateTimeWritesTheFieldTokens) {
  const TDateTime stamp = rtl::EncodeDateTime({2023, 5, 4, 9, 7, 3, 0});
  struct Case {
    const char* Format;
    const char* Text;
  } cases[] = {
      {"yyyy-mm-dd hh:nn:ss", "2023-05-04 09:07:03"},
      {"M/d/yyyy", "5/4/2023"},
      {"dd.MM.yy h-n-s", "04.05.23 9-7-3"},
      {"YYYY/MM/DD", "2023/05/04"},
      {"at [x] ", "at [x] "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rtl::FormatDateTime(c.Format, stamp), c.Text) << c.Format;
  EXPECT_EQ(rtl::FormatDateTime("yyyy-mm-dd hh:nn:ss", TDateTime{0}), "1899-12-30 00:00:00");
  EXPECT_EQ(rtl::FormatDateTime("yyyy", rtl::EncodeDateTime({7, 1, 1})), "0007");
  EXPECT_THROW(rtl::FormatDateTime("yyyy", TDateTime{1e9}), rtl::EConvertError);
}

TEST(DateTimeText, TryStrToDateTimeFollowsTheSettings) {
  rtl::TFormatSettings german;
  german.ShortDateFormat = "dd.MM.yyyy";
  german.DateSeparator = '.';
  german.TimeSeparator = ':';
  rtl::TFormatSettings dottedTime = german;
  dottedTime.TimeSeparator = '.';
  const rtl::TFormatSettings& enUS = rtl::FormatSettingsEnUS();
  struct Case {
    const char* Text;
    const rtl::TFormatSettings* Settings;
    std::optional<TDateTimeParts> Parts;
  } cases[] = {
      {"5/4/2023", &enUS, TDateTimeParts{2023, 5, 4, 0, 0, 0, 0}},
      {" 5/4/2023 10:20:30 ", &enUS, TDateTimeParts{2023, 5, 4, 10, 20, 30, 0}},
      {"05/04/2023  7:05", &enUS, TDateTimeParts{2023, 5, 4, 7, 5, 0, 0}},
      {"5/4/23", &enUS, TDateTimeParts{2023, 5, 4, 0, 0, 0, 0}},
      {"5/4/77", &enUS, TDateTimeParts{1977, 5, 4, 0, 0, 0, 0}},
      {"04.05.2023 10:20:30", &german, TDateTimeParts{2023, 5, 4, 10, 20, 30, 0}},
      {"04.05.2023 10.20.30", &dottedTime, TDateTimeParts{2023, 5, 4, 10, 20, 30, 0}},
      {"2023-05-04 10:20:30", &enUS, std::nullopt},
      {"2023-05-04 10:20:30", &german, std::nullopt},
      {"04.05.2023", &enUS, std::nullopt},
      {"2/30/2023", &enUS, std::nullopt},
      {"5/4/2023 10", &enUS, std::nullopt},
      {"5/4/2023 10:20:", &enUS, std::nullopt},
      {"5/4/2023 24:00", &enUS, std::nullopt},
      {"5/4", &enUS, std::nullopt},
      {"", &enUS, std::nullopt},
      {"5/4/2023x", &enUS, std::nullopt},
      {"5/4/2023 2:05:09 PM", &enUS, TDateTimeParts{2023, 5, 4, 14, 5, 9, 0}},
      {"5/4/2023 12:00:00 am", &enUS, TDateTimeParts{2023, 5, 4, 0, 0, 0, 0}},
      {"5/4/2023 12:30 PM", &enUS, TDateTimeParts{2023, 5, 4, 12, 30, 0, 0}},
      {"5/4/2023 13:00 PM", &enUS, std::nullopt},
      {"5/4/2023 0:10 AM", &enUS, std::nullopt},
      {"5/4/2023 10:20 XM", &enUS, std::nullopt},
      {"5/4/2023 10:20 P", &enUS, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    TDateTime result{-7};
    ASSERT_EQ(rtl::TryStrToDateTime(c.Text, result, *c.Settings), c.Parts.has_value());
    if (c.Parts)
      EXPECT_EQ(rtl::DecodeDateTime(result), *c.Parts);
  }
}

TEST(DateTimeText, TheProcessSettingsStartEnUSAndAreTheDefaultOfTryStrToDateTime) {
  EXPECT_EQ(rtl::FormatSettings.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(rtl::FormatSettings.DateSeparator, '/');
  EXPECT_EQ(rtl::FormatSettings.TimeSeparator, ':');
  EXPECT_EQ(rtl::FormatSettings.DecimalSeparator, '.');
  TDateTime result;
  EXPECT_TRUE(rtl::TryStrToDateTime("5/4/2023", result));

  const rtl::TFormatSettings saved = rtl::FormatSettings;
  rtl::FormatSettings.ShortDateFormat = "dd.MM.yyyy";
  rtl::FormatSettings.DateSeparator = '.';
  EXPECT_FALSE(rtl::TryStrToDateTime("5/4/2023", result));
  ASSERT_TRUE(rtl::TryStrToDateTime("04.05.2023", result));
  EXPECT_EQ(rtl::DecodeDateTime(result), (TDateTimeParts{2023, 5, 4, 0, 0, 0, 0}));
  // Number text stays en-US whatever the process settings say.
  rtl::FormatSettings.DecimalSeparator = ',';
  EXPECT_EQ(rtl::FloatToStr(0.5), "0.5");
  rtl::FormatSettings = saved;
}

TEST(DateTimeText, DateTimeToStrReadsBackUnderEachSettings) {
  rtl::TFormatSettings german;
  german.ShortDateFormat = "dd.MM.yyyy";
  german.DateSeparator = '.';
  for (const rtl::TFormatSettings* settings :
       {&rtl::FormatSettingsEnUS(), static_cast<const rtl::TFormatSettings*>(&german)})
    for (const TDateTimeParts& parts :
         {TDateTimeParts{2024, 3, 7, 14, 5, 9, 0}, TDateTimeParts{2024, 3, 7, 0, 0, 0, 0},
          TDateTimeParts{1999, 12, 31, 0, 0, 1, 0}}) {
      const std::string text = rtl::DateTimeToStr(rtl::EncodeDateTime(parts), *settings);
      SCOPED_TRACE(text);
      TDateTime back;
      ASSERT_TRUE(rtl::TryStrToDateTime(text, back, *settings));
      EXPECT_EQ(rtl::DecodeDateTime(back), parts);
    }
}

TEST(DateTimeText, TheStrictFormReadsOnlyExistingFixedWidthDateTimes) {
  TDateTime result;
  ASSERT_TRUE(rtl::TryStrToDateTimeStrict("2023-05-04 10:20:30", result));
  EXPECT_EQ(rtl::DecodeDateTime(result), (TDateTimeParts{2023, 5, 4, 10, 20, 30, 0}));
  EXPECT_EQ(rtl::FormatDateTime("yyyy-mm-dd hh:nn:ss", result), "2023-05-04 10:20:30");
  for (const char* bad : {"0000-00-00 00:00:00", "2023-5-04 10:20:30", "2023-05-04T10:20:30",
                          "2023-05-04 10:20", " 2023-05-04 10:20:30", "2023-05-04 10:20:30 ",
                          "2023-02-29 10:20:30", "2023-05-04 10:60:00", "", "2023-05-04 10:20:3x"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(rtl::TryStrToDateTimeStrict(bad, result));
  }
}

} // namespace
