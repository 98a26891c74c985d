#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/streams.h"
#include "xml/Vantrel.Xml.Parser.h"
#include "xml/Vantrel.Xml.Writer.h"

using namespace vantrel;

namespace {

TBytes Bytes(std::initializer_list<int> AValues) {
  TBytes bytes;
  for (int value : AValues)
    bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

TBytes Append(TBytes ABytes, std::string_view AText) {
  ABytes.insert(ABytes.end(), AText.begin(), AText.end());
  return ABytes;
}

TBytes Utf16(std::u16string_view AText, bool ABigEndian, bool ABom) {
  TBytes bytes;
  if (ABom)
    bytes = ABigEndian ? Bytes({0xFE, 0xFF}) : Bytes({0xFF, 0xFE});
  for (char16_t unit : AText) {
    const auto hi = static_cast<uint8_t>(unit >> 8), lo = static_cast<uint8_t>(unit & 0xFF);
    bytes.push_back(ABigEndian ? hi : lo);
    bytes.push_back(ABigEndian ? lo : hi);
  }
  return bytes;
}

std::u16string ReadAll(TStream& AStream, int32_t ABufferSize = TMz_StreamReader::DefaultBufferSize) {
  TMz_StreamReader reader(&AStream, &TEncoding::UTF8(), true, ABufferSize);
  std::u16string text;
  for (int32_t c = reader.Read(); c != -1; c = reader.Read())
    text.push_back(static_cast<char16_t>(c));
  return text;
}

} // namespace

TEST(XmlReader, DecodesEveryFormCharacterByCharacter) {
  const std::string twoByteCut = std::string(4095, 'x') + "\xC3\xA4" + "y";
  std::u16string twoByteCutText(4095, u'x');
  twoByteCutText += u"\u00E4y";
  // A surrogate pair whose first unit ends a 4096-byte step of a UTF-16 input (the BOM takes 2).
  std::u16string pairCut(2046, u'x');
  pairCut += u"\U0001F600z";
  struct TCase {
    const char* Name;
    TBytes Input;
    std::u16string Expected;
  } cases[] = {
      {"utf8 bom", Append(Bytes({0xEF, 0xBB, 0xBF}), "<a/>"), u"<a/>"},
      {"utf8 plain", Append({}, "<a/>"), u"<a/>"},
      {"utf16le bom", Utf16(u"<\u00E4/>", false, true), u"<\u00E4/>"},
      {"utf16be bom", Utf16(u"<\u00E4/>", true, true), u"<\u00E4/>"},
      {"utf8 cut by the step", Append({}, twoByteCut), twoByteCutText},
      {"utf16 pair cut by the step", Utf16(pairCut, false, true), pairCut},
      {"invalid utf8", Bytes({'a', 0xFF, 'b', 0xE2, 0x82}), u"a\uFFFDb\uFFFD"},
      {"empty", {}, u""},
      // Ill-formed runs that keep every step's end open.
      {"high surrogates", Utf16(std::u16string(200, u'\xD800') + u'\xDC00', false, true),
       std::u16string(199, u'\xFFFD') + u"\xD800\xDC00"},
      {"utf8 lead bytes", TBytes(300, 0xC3), std::u16string(300, u'\xFFFD')},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TBytesStream stream(test.Input);
    EXPECT_EQ(ReadAll(stream), test.Expected);
    TBytesStream small(test.Input);
    EXPECT_EQ(ReadAll(small, 10), test.Expected);
  }
}

TEST(XmlReader, StepsAreNeverBelow128Bytes) {
  TBytesStream stream(TBytes(1000, 'x'));
  TMz_StreamReader reader(&stream, &TEncoding::UTF8(), true, 10);
  EXPECT_EQ(reader.Read(), 'x');
  EXPECT_EQ(stream.GetPosition(), 128);
}

TEST(XmlReader, ReadsPastTheEndAndStepsBack) {
  TBytesStream stream(Append({}, "ab"));
  TMz_StreamReader reader(&stream);
  EXPECT_EQ(reader.Read(), 'a');
  EXPECT_EQ(reader.Peek(), -1);
  EXPECT_EQ(reader.Read(), 'b');
  EXPECT_EQ(reader.Read(), -1);
  EXPECT_EQ(reader.Read(), -1);
  EXPECT_EQ(reader.position(), 4);
  EXPECT_EQ(reader.Current(), -1);
  reader.revert(4);
  EXPECT_EQ(reader.Current(), 'a');
  EXPECT_EQ(reader.Peek(), 'b');
  try {
    reader.revert(1);
    FAIL() << "revert below 0 must raise";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.Message().c_str(), "invalid internal index revert");
  }
  EXPECT_EQ(reader.position(), 0);
}

TEST(XmlReader, LinesBlocksAndArguments) {
  TBytesStream stream(Append({}, "one\r\ntwo\rthree\nfour"));
  TMz_StreamReader reader(&stream, &TEncoding::UTF8(), false, 10);
  EXPECT_EQ(reader.ReadLine(), u"one");
  EXPECT_EQ(reader.ReadLine(), u"two");
  std::vector<char16_t> buffer;
  EXPECT_EQ(reader.ReadBlock(buffer, 3), 3);
  EXPECT_EQ(std::u16string(buffer.begin(), buffer.begin() + 3), u"thr");
  EXPECT_EQ(reader.ReadLine(), u"ee");
  EXPECT_EQ(reader.ReadToEnd(), u"four");
  EXPECT_EQ(reader.ReadToEnd(), u"");

  EXPECT_THROW(TMz_StreamReader(nullptr), EArgumentNilException);
  try {
    TMz_StreamReader bad(&stream, nullptr, true, 1);
  } catch (const EArgumentNilException& error) {
    EXPECT_EQ(error.Message(), "Parameter Encoding cannot be nil");
  }
}

TEST(XmlWriter, IndentsOnlyWhenBeautifiedAndCutsALongerTarget) {
  TMz_StreamWriter plain(nullptr, false);
  plain.indent();
  plain.write("a", true);
  plain.crlf();
  plain.outdent();
  EXPECT_EQ(plain.ToString(), "a\r\n");

  TMz_StreamWriter pretty(nullptr, true);
  pretty.indent();
  pretty.write("a", true);
  pretty.indent();
  pretty.write("b", true);
  pretty.outdent();
  pretty.write("c", true);
  EXPECT_EQ(pretty.ToString(), "\ta\t\tb\tc");

  TStringStream target("0123456789");
  target.SetPosition(10);
  TMz_StreamWriter writer(&target, false);
  writer.write("xyz");
  writer.flush();
  EXPECT_EQ(target.DataString(), "xyz");
}
