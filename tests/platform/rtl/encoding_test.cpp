#include <gtest/gtest.h>

#include <string>

#include "rtl/date_time.h"
#include "rtl/encoding.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"

using namespace rtl;

TEST(Encoding, ConvertsBothWaysAndReplacesIllFormedInput) {
  const std::string text = "plain ascii run, \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80 end";
  const std::u16string wide = u"plain ascii run, \u00E4\u20AC\U0001F600 end";
  EXPECT_EQ(Utf8ToUtf16(text), wide);
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b\xE2\x82"),
            u"a\uFFFDb\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"x\xD800y\xDC00"), "x\xEF\xBF\xBDy\xEF\xBF\xBD");

  for (const TEncoding* encoding :
       {&TEncoding::UTF8(), &TEncoding::Unicode(), &TEncoding::BigEndianUnicode()}) {
    EXPECT_EQ(encoding->GetMaxByteCount(1), 4);
    EXPECT_EQ(encoding->GetString(encoding->GetBytes(wide)), wide);
  }
  EXPECT_EQ(TEncoding::Unicode().GetPreamble(), (std::vector<uint8_t>{0xFF, 0xFE}));
  const std::vector<uint8_t> cut{'a', 0xF0, 0x9F, 0x98};
  EXPECT_EQ(TEncoding::UTF8().IncompleteTail(cut.data(), cut.size()), 3u);
  const std::vector<uint8_t> broken{'a', 0xF0, 'b'};
  EXPECT_EQ(TEncoding::UTF8().IncompleteTail(broken.data(), broken.size()), 0u);
  const std::vector<uint8_t> high{0x00, 0xD8, 0x41};
  EXPECT_EQ(TEncoding::Unicode().IncompleteTail(high.data(), high.size()), 3u);
}

TEST(SysUtilsText, BooleansFloatPatternsAndDateTimes) {
  bool value = false;
  EXPECT_TRUE(TryStrToBool("TrUe", value) && value);
  EXPECT_TRUE(TryStrToBool("false", value) && !value);
  EXPECT_FALSE(TryStrToBool("yes", value));
  EXPECT_FALSE(TryStrToBool(" true", value));

  struct TCase {
    const char* Pattern;
    double Value;
    const char* Text;
  } cases[] = {
      {"0.00", 2.675, "2.68"}, {"0.00", -0.004, "0.00"}, {"0.00", 1.005, "1.01"}, {"0.00", 9.999, "10.00"},
      {"0.##", 1.5, "1.5"},    {"000", 7, "007"},        {"0", -2.5, "-3"},       {"#.##", 0.125, ".13"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Pattern);
    EXPECT_EQ(FormatFloat(test.Pattern, test.Value), test.Text);
  }

  EXPECT_EQ(DateTimeToStr(EncodeDateTime({2024, 3, 7, 14, 5, 9, 0}), FormatSettingsEnUS()),
            "3/7/2024 2:05:09 PM");
  EXPECT_EQ(DateTimeToStr(EncodeDateTime({2024, 12, 31, 0, 0, 1, 0}), FormatSettingsEnUS()),
            "12/31/2024 12:00:01 AM");
  EXPECT_EQ(DateTimeToStr(EncodeDateTime({2024, 3, 7}), FormatSettingsEnUS()), "3/7/2024");
  TFormatSettings german;
  german.ShortDateFormat = "dd.mm.yyyy";
  german.DateSeparator = '.';
  EXPECT_EQ(DateTimeToStr(EncodeDateTime({2024, 3, 7, 12, 0, 0, 0}), german), "07.03.2024 12:00:00 PM");
}

TEST(Encoding, Utf8ToAsciiGivesOneQuestionMarkPerCodePoint) {
  const struct {
    std::string Text, Ascii;
  } cases[] = {
      {"", ""},
      {"vec3 c; // plain\r\n", "vec3 c; // plain\r\n"},
      {"caf\xC3\xA9", "caf?"},                    // two bytes, one character
      {"\xE2\x82\xAC\xF0\x9F\x98\x80x", "??x"}, // three and four bytes
      {"a\xFF\xC3", "a??"},                      // ill-formed bytes, and a cut sequence
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Utf8ToAscii(c.Text), c.Ascii);
  }
}
