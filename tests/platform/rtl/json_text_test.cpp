#include "rtl/json_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace rtl {
namespace {

std::string ReadFixture() {
  // From the source root, not __FILE__: a compiler cache may record the file name relative to the
  // build directory.
  const auto path = std::filesystem::path(VANTREL_SOURCE_ROOT) / "tests/platform/rtl/data/definition.json";
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The fixture as a token copy writes it: numbers in the text of their value, "-0" being the
// integer 0.
std::string CanonicalFixture() {
  std::string text = ReadFixture();
  for (auto [from, to] : {std::pair{"1.50", "1.5"}, std::pair{"1E3", "1000"}, std::pair{":-0,", ":0,"}})
    text.replace(text.find(from), std::string_view(from).size(), to);
  return text;
}

// A stream that cannot tell its size, like a decompressor.
class TSizelessStream : public TStream {
public:
  explicit TSizelessStream(std::string AText) : FInner(AText) {}
  int64_t Read(void* ABuffer, int64_t ACount) override { return FInner.Read(ABuffer, std::min<int64_t>(ACount, 3)); }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override { return FInner.Seek(AOffset, AOrigin); }
  int64_t GetSize() override { return -1; }

private:
  TStringStream FInner;
};

TEST(JsonTextReader, FeedsTheTreeBuilderTheSameTreeAsTheParser) {
  const std::string text = ReadFixture();
  TJsonTextReader reader(text);
  TJsonObjectWriter writer;
  while (reader.Read())
    writer.WriteToken(reader);
  ASSERT_NE(writer.GetJSON(), nullptr);
  EXPECT_EQ(writer.GetJSON()->ToString(), TJSONValue::ParseJSONValue(CanonicalFixture(), true)->ToString());
}

TEST(JsonTextReader, TokensDepthsAndNumberKinds) {
  TJsonTextReader reader(R"({"a":[1,3000000000,1.5,9223372036854775808,"s",true,null],"b":{}})");
  struct TExpected {
    TJsonToken Token;
    int Depth;
    std::string Value;
  };
  const TExpected expected[] = {
      {TJsonToken::StartObject, 0, ""},          {TJsonToken::PropertyName, 1, "a"},
      {TJsonToken::StartArray, 1, ""},           {TJsonToken::Integer, 2, "Integer 1"},
      {TJsonToken::Integer, 2, "Int64 3000000000"}, {TJsonToken::Float, 2, "Double 1.5"},
      {TJsonToken::Float, 2, "Double 9.22337203685478E18"}, {TJsonToken::String, 2, "string s"},
      {TJsonToken::Boolean, 2, "Boolean True"},  {TJsonToken::Null, 2, ""},
      {TJsonToken::EndArray, 1, ""},             {TJsonToken::PropertyName, 1, "b"},
      {TJsonToken::StartObject, 1, ""},          {TJsonToken::EndObject, 1, ""},
      {TJsonToken::EndObject, 0, ""},
  };
  for (const TExpected& e : expected) {
    ASSERT_TRUE(reader.Read());
    EXPECT_EQ(reader.TokenType(), e.Token) << JsonTokenName(e.Token);
    EXPECT_EQ(reader.Depth(), e.Depth) << JsonTokenName(e.Token);
    const TValue& v = reader.Value();
    if (e.Token == TJsonToken::PropertyName) {
      EXPECT_EQ(v.AsString(), e.Value);
    } else if (!v.IsEmpty()) {
      EXPECT_EQ(std::string(v.TypeName()) + " " + v.AsString(), e.Value);
    }
  }
  EXPECT_FALSE(reader.Read());
  EXPECT_EQ(reader.TokenType(), TJsonToken::None);
}

TEST(JsonTextReader, ErrorsRaiseWithLineAndColumn) {
  struct TCase {
    std::string Text;
    size_t Line, Column;
  };
  const TCase cases[] = {
      {"", 1, 1},          {"{", 1, 2},         {"{\"a\":}", 1, 6}, {"[1,]", 1, 4},  {"{'a':1}", 1, 2},
      {"01", 1, 2},        {".5", 1, 1},        {"1.", 1, 3},       {"NaN", 1, 1},   {"\"\\x\"", 1, 2},
      {"\"a\tb\"", 1, 3},  {"{} x", 1, 4},      {"[\n1\n2]", 3, 1}, {"1e400", 1, 1},
      {std::string(4097, '['), 1, 4097},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 12));
    TJsonTextReader reader(c.Text);
    try {
      while (reader.Read()) {
      }
      ADD_FAILURE() << "no exception";
    } catch (const EJsonReaderException& e) {
      EXPECT_EQ(e.LineNumber(), c.Line) << e.Message();
      EXPECT_EQ(e.LinePosition(), c.Column) << e.Message();
    }
  }
}

TEST(JsonTextReader, SkipPassesOverValuesAndRewindStartsOver) {
  TJsonTextReader reader(R"({"a":{"x":[1,{"y":2}]},"b":[3],"c":4})");
  reader.Read();
  reader.Read();
  reader.Skip();
  EXPECT_EQ(reader.TokenType(), TJsonToken::EndObject);
  reader.Read();
  EXPECT_EQ(reader.Value().AsString(), "b");
  reader.Read();
  reader.Skip();
  EXPECT_EQ(reader.TokenType(), TJsonToken::EndArray);
  reader.Read();
  EXPECT_EQ(reader.Value().AsString(), "c");
  reader.Rewind();
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.TokenType(), TJsonToken::StartObject);
  reader.Skip();
  EXPECT_EQ(reader.TokenType(), TJsonToken::EndObject);
  EXPECT_FALSE(reader.Read());
}

TEST(JsonWriteToken, BothFormsCopyTheDocumentExactly) {
  const std::string expected = CanonicalFixture();
  {
    TJsonTextReader reader(ReadFixture());
    TJsonTextWriter writer;
    while (reader.Read())
      writer.WriteToken(reader);
    EXPECT_EQ(writer.Text(), expected);
  }
  {
    TJsonTextReader reader(ReadFixture());
    TJsonTextWriter writer;
    reader.Read();
    writer.WriteToken(reader);
    EXPECT_EQ(writer.Text(), expected);
    EXPECT_EQ(reader.TokenType(), TJsonToken::EndObject);
    EXPECT_FALSE(reader.Read());
  }
  {
    // A single call on a reader that has not started reads first.
    TJsonTextReader reader(ReadFixture());
    TJsonTextWriter writer;
    writer.WriteToken(reader);
    EXPECT_EQ(writer.Text(), expected);
  }
}

TEST(JsonWriteToken, PropertyNameTakesItsValueAndNoChildrenCopiesOneToken) {
  TJsonTextReader reader(R"({"a":[1,2],"b":3})");
  TJsonTextWriter writer;
  reader.Read();
  writer.WriteToken(reader, false);
  reader.Read();
  writer.WriteToken(reader);
  EXPECT_EQ(reader.TokenType(), TJsonToken::EndArray);
  reader.Read();
  writer.WriteToken(reader);
  EXPECT_EQ(reader.TokenType(), TJsonToken::Integer);
  reader.Read();
  writer.WriteToken(reader);
  EXPECT_EQ(writer.Text(), R"({"a":[1,2],"b":3})");
}

TEST(JsonTextWriter, IndentedTextIsPinned) {
  TJsonTextWriter writer;
  writer.SetFormatting(TJsonFormatting::Indented);
  writer.WriteToken(*std::make_unique<TJsonTextReader>(
      R"({"a":1,"b":[true,null,{"c":"x"}],"e":{},"f":[],"g":{"h":[[]]},"i":0.5})"));
  EXPECT_EQ(writer.Text(), "{\n"
                           "    \"a\": 1,\n"
                           "    \"b\": [\n"
                           "        true,\n"
                           "        null,\n"
                           "        {\n"
                           "            \"c\": \"x\"\n"
                           "        }\n"
                           "    ],\n"
                           "    \"e\": {},\n"
                           "    \"f\": [],\n"
                           "    \"g\": {\n"
                           "        \"h\": [\n"
                           "            []\n"
                           "        ]\n"
                           "    },\n"
                           "    \"i\": 0.5\n"
                           "}");
}

TEST(JsonTextWriter, EscapesOnRequestAndWritesOntoAStream) {
  TStringStream stream;
  {
    TJsonTextWriter writer(stream);
    writer.SetStringEscapeHandling(TJsonStringEscapeHandling::EscapeNonAscii);
    writer.WriteStartObject();
    writer.WritePropertyName("\xC3\xBC");
    writer.WriteValue("\xF0\x9F\x98\x80/\x01");
    writer.WritePropertyName("raw");
    writer.WriteRawValue("[1, 2]");
    writer.WriteEndObject();
    writer.Flush();
    EXPECT_EQ(stream.DataString(), R"({"\u00FC":"\uD83D\uDE00/\u0001","raw":[1, 2]})");
  }
}

TEST(JsonParseStream, ReadsTheWholeStreamFromItsPosition) {
  TStringStream memory("xx[1,{\"a\":2}]");
  memory.SetPosition(2);
  EXPECT_EQ(TJSONValue::ParseJSONValue(memory)->ToString(), R"([1,{"a":2}])");
  EXPECT_EQ(memory.GetPosition(), memory.GetSize());

  TSizelessStream sizeless(ReadFixture());
  EXPECT_EQ(TJSONValue::ParseJSONValue(sizeless, true)->ToString(), ReadFixture());

  TSizelessStream bad("[1,");
  EXPECT_EQ(TJSONValue::ParseJSONValue(bad), nullptr);

  TSizelessStream forReader("{\"k\":[true]}");
  TJsonTextReader reader(forReader);
  TJsonObjectWriter writer;
  writer.WriteToken(reader);
  EXPECT_EQ(writer.GetJSON()->ToString(), "{\"k\":[true]}");
}

} // namespace
} // namespace rtl
