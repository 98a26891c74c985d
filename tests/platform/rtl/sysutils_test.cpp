#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace {

using rtl::Format;
using rtl::TFormatArg;

struct TFormatCase {
  const char* Format;
  std::vector<TFormatArg> Args;
  const char* Expected;
};

TEST(Format, WritesEachSpecifierAsTheRuntimeDoes) {
  const auto* pointer = reinterpret_cast<const void*>(uintptr_t{0x1234});
  const std::string text = "std";
  const std::vector<TFormatCase> cases = {
      {"%d|%5d|%-5d|", {42, 42, 42}, "42|   42|42   |"},
      {"%.3d %.3d", {5, -5}, "005 -005"},
      {"%d", {4294967295u}, "4294967295"},
      {"%d", {std::numeric_limits<uint64_t>::max()}, "18446744073709551615"},
      {"%d", {std::numeric_limits<int64_t>::min()}, "-9223372036854775808"},
      {"%u %u", {-1, int64_t{-1}}, "4294967295 18446744073709551615"},
      {"%x %.4X %x", {255, 255, -1}, "FF 00FF FFFFFFFF"},
      {"%s|%.2s|%6s|%-4s|", {"abc", "abcdef", "ab", text}, "abc|ab|    ab|std |"},
      {"%s %s %s", {'c', true, std::string_view("view")}, "c True view"},
      {"%.2s|%4s", {"\xC3\xA4\xC3\xB6x", "\xC3\xA4"}, "\xC3\xA4\xC3\xB6|   \xC3\xA4"},
      {"%f|%.3f|%8.2f|", {3.14159, 2.0, 3.14159}, "3.14|2.000|    3.14|"},
      {"%.0f %.2f %.2f %.1f", {2.5, 0.125, -0.001, 1.05}, "3 0.13 0.00 1.1"},
      {"%n|%.0n|%n|%n|%.1n",
       {1234567.891, 1234.5, -1234.5, 999.999, 12},
       "1,234,567.89|1,235|-1,234.50|1,000.00|12.0"},
      {"%n", {0.5f}, "0.50"},
      {"%e|%.3e|%.1e", {1234.5, -0.000123, 0.0}, "1.23450000000000E+003|-1.23E-004|0E+000"},
      {"%g|%g|%g|%.3g", {0.1, 1e20, 0.000001, 1234.5}, "0.1|1E20|1E-6|1.23E3"},
      {"%p|%p", {pointer, nullptr}, "0000000000001234|0000000000000000"},
      {"%1:s %0:s %s", {"a", "b"}, "b a b"},
      {"%*d|%-*d|%*d|%.*f", {5, 42, 3, 7, -3, 8, 1, 2.25}, "   42|7  |8  |2.3"},
      {"100%% %s", {"done"}, "100% done"},
      {"%d %d", {1, 2, 3, "surplus"}, "1 2"},
      {"no placeholders", {1}, "no placeholders"},
      {"%f %f", {std::nan(""), -std::numeric_limits<double>::infinity()}, "NAN -INF"},
  };
  for (const TFormatCase& c : cases)
    EXPECT_EQ(Format(c.Format, c.Args), c.Expected) << c.Format;
}

TEST(Format, VariadicAndSettingsForms) {
  EXPECT_EQ(Format("%s=%d", "width", 64), "width=64");
  EXPECT_EQ(Format("plain"), "plain");
  rtl::TFormatSettings german;
  german.DecimalSeparator = ',';
  german.ThousandSeparator = '.';
  EXPECT_EQ(Format("%n %g", {1234.5, 0.25}, german), "1.234,50 0,25");
  rtl::TFormatSettings ungrouped;
  ungrouped.ThousandSeparator = '\0';
  EXPECT_EQ(Format("%n", {1234.5}, ungrouped), "1234.50");
}

TEST(Format, InvalidOrMissingArgumentsRaise) {
  const std::vector<TFormatCase> cases = {
      {"%d %d", {1}, nullptr},    {"%s", {}, nullptr},          {"%d", {"text"}, nullptr},
      {"%d", {1.5}, nullptr},     {"%s", {1}, nullptr},         {"%f", {"1.5"}, nullptr},
      {"%q", {1}, nullptr},       {"trailing %", {1}, nullptr}, {"%p", {1}, nullptr},
      {"%*d", {"w", 1}, nullptr}, {"%3:d", {1}, nullptr},       {"%d", {true}, nullptr},
  };
  for (const TFormatCase& c : cases) {
    try {
      Format(c.Format, c.Args);
      ADD_FAILURE() << "no error for " << c.Format;
    } catch (const rtl::EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("Format '") + c.Format + "' invalid or incompatible with argument");
    }
  }
}

TEST(FloatToStr, GeneralFormatAroundTheThresholds) {
  const std::vector<std::pair<double, const char*>> cases = {
      {0, "0"},
      {1, "1"},
      {-2.5, "-2.5"},
      {100, "100"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {0.00001, "0.00001"},
      {0.000012345, "0.000012345"},
      {0.000001, "1E-6"},
      {-0.0000015, "-1.5E-6"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E15"},
      {123456789012345678.0, "1.23456789012346E17"},
      {static_cast<double>(0.1f), "0.100000001490116"},
      {std::nan(""), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(rtl::FloatToStr(value), expected);
}

TEST(StrToFloat, ReadsEnUsTextAndRoundTrips) {
  const std::vector<std::pair<const char*, double>> cases = {
      {"1.5", 1.5}, {"  2.25 ", 2.25}, {"1E5", 1e5}, {"1e-3", 1e-3}, {"-0.5", -0.5}, {"+2", 2}, {".5", 0.5},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(rtl::StrToFloat(text), expected) << text;
  for (double value : {0.1, 1e-6, 123.456, -0.5, 1e15, 2.5e-7, 999999999999999.0, 1.5e300})
    EXPECT_EQ(rtl::StrToFloat(rtl::FloatToStr(value)), value) << value;
  EXPECT_TRUE(std::isnan(rtl::StrToFloat("NAN")));
  EXPECT_EQ(rtl::StrToFloat("-INF"), -std::numeric_limits<double>::infinity());

  for (const char* text : {"", "  ", "abc", "1,5", "1.5x", "1 2", "--1", "+-1", "0x10", "1e", "1E400"}) {
    double value = 7;
    EXPECT_FALSE(rtl::TryStrToFloat(text, value)) << text;
    EXPECT_EQ(value, 7);
  }
  try {
    rtl::StrToFloat("abc");
    ADD_FAILURE();
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
  }
  rtl::TFormatSettings german;
  german.DecimalSeparator = ',';
  EXPECT_EQ(rtl::StrToFloat("1,5", german), 1.5);
  EXPECT_THROW(rtl::StrToFloat("1.5", german), rtl::EConvertError);
}

TEST(StrToInt, DecimalAndHexWithRangeChecks) {
  const std::vector<std::pair<const char*, int>> cases = {
      {"42", 42},
      {"  -7", -7},
      {"+3", 3},
      {"$FF", 255},
      {"0x1f", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int>::min()},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(rtl::StrToInt(text), expected) << text;
  for (const char* text :
       {"", "2147483648", "-2147483649", "$100000000", "12 ", "1.0", "abc", "--1", "$", "$-1"})
    EXPECT_EQ(rtl::StrToIntDef(text, -99), -99) << text;
  try {
    rtl::StrToInt("12a");
    ADD_FAILURE();
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'12a' is not a valid integer value");
  }
  EXPECT_EQ(rtl::StrToInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(rtl::StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
  EXPECT_THROW(rtl::StrToInt64("9223372036854775808"), rtl::EConvertError);
}

TEST(IntToStr, DecimalAndHexText) {
  EXPECT_EQ(rtl::IntToStr(-5), "-5");
  EXPECT_EQ(rtl::IntToStr(std::numeric_limits<uint64_t>::max()), "18446744073709551615");
  EXPECT_EQ(rtl::IntToHex(255, 4), "00FF");
  EXPECT_EQ(rtl::IntToHex(0x12345, 2), "12345");
  EXPECT_EQ(rtl::IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(rtl::IntToHex(uint8_t{0xAB}), "AB");
}

TEST(Round, HalvesGoToTheEvenNeighbour) {
  const std::vector<std::pair<double, int64_t>> cases = {
      {2.5, 2}, {3.5, 4},       {-2.5, -2},     {-3.5, -4}, {0.5, 0},
      {1.5, 2}, {2.4999999, 2}, {2.5000001, 3}, {-0.7, -1}, {4503599627370497.0, 4503599627370497},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(rtl::Round(value), expected) << value;
  EXPECT_THROW(rtl::Round(std::nan("")), rtl::ERangeError);
  EXPECT_THROW(rtl::Round(1e19), rtl::ERangeError);
}

TEST(TextHelpers, CasingComparisonAndTrimming) {
  EXPECT_EQ(rtl::UpperCase("gl_ext \xC3\xA4 i"), "GL_EXT \xC3\xA4 I");
  EXPECT_EQ(rtl::LowerCase("MiXeD"), "mixed");
  EXPECT_TRUE(rtl::SameText("Abc", "aBC"));
  EXPECT_FALSE(rtl::SameText("Abc", "aBCd"));
  EXPECT_EQ(rtl::CompareText("abc", "ABD"), -1);
  EXPECT_EQ(rtl::CompareText("abc", "AB"), 1);
  // Upper-case comparison: '_' sorts after letters.
  EXPECT_GT(rtl::CompareText("_", "a"), 0);
  EXPECT_LT(rtl::CompareStr("B", "a"), 0);
  EXPECT_GT(rtl::CompareStr("\xC3\xA4", "z"), 0);
  EXPECT_TRUE(rtl::StartsText("gl_", "GL_ARB_x"));
  EXPECT_TRUE(rtl::EndsText(".PNG", "image.png"));
  EXPECT_FALSE(rtl::EndsText("long suffix", "png"));
  EXPECT_EQ(rtl::Trim("\t a b \r\n"), "a b");
  EXPECT_EQ(rtl::TrimLeft("  a "), "a ");
  EXPECT_EQ(rtl::TrimRight("  a "), "  a");
}

TEST(TextHelpers, SplitReplaceQuote) {
  using Parts = std::vector<std::string>;
  EXPECT_EQ(rtl::SplitString("a,,b;c", ",;"), (Parts{"a", "", "b", "c"}));
  EXPECT_EQ(rtl::SplitString("a,", ","), (Parts{"a", ""}));
  EXPECT_EQ(rtl::SplitString("", ","), Parts{});
  using rtl::TReplaceFlag;
  EXPECT_EQ(rtl::StringReplace("aXbxc", "x", "-"), "aXb-c");
  EXPECT_EQ(rtl::StringReplace("aXbxc", "x", "-", {TReplaceFlag::rfIgnoreCase}), "a-bxc");
  EXPECT_EQ(rtl::StringReplace("aXbxc", "x", "--", {TReplaceFlag::rfReplaceAll, TReplaceFlag::rfIgnoreCase}),
            "a--b--c");
  EXPECT_EQ(rtl::StringReplace("aaa", "a", "aa", {TReplaceFlag::rfReplaceAll}), "aaaaaa");
  EXPECT_EQ(rtl::StringReplace("abc", "", "x", {TReplaceFlag::rfReplaceAll}), "abc");
  EXPECT_EQ(rtl::QuotedStr("it's"), "'it''s'");
}

} // namespace
