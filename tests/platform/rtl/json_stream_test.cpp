#include "rtl/json_stream.h"
#include "rtl/json_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace rtl {
namespace {

std::string Built(TJsonObjectWriter& AWriter) {
  TJSONValue* json = AWriter.GetJSON();
  return json ? json->ToString() : "(none)";
}

TEST(JsonWriterOrder, InvalidSequencesRaiseNamingTokenAndState) {
  struct TCase {
    const char* Name;
    std::function<void(TJsonWriter&)> Steps;
    const char* Message;
  };
  const TCase cases[] = {
      {"value without name",
       [](TJsonWriter& w) {
         w.WriteStartObject();
         w.WriteValue(1);
       },
       "Token Integer in state Object would result in an invalid JSON document"},
      {"EndArray inside an object",
       [](TJsonWriter& w) {
         w.WriteStartObject();
         w.WriteEndArray();
       },
       "Token EndArray in state Object would result in an invalid JSON document"},
      {"name inside an array",
       [](TJsonWriter& w) {
         w.WriteStartArray();
         w.WritePropertyName("a");
       },
       "Token PropertyName in state Array would result in an invalid JSON document"},
      {"second root",
       [](TJsonWriter& w) {
         w.WriteStartObject();
         w.WriteEndObject();
         w.WriteStartArray();
       },
       "Token StartArray in state Done would result in an invalid JSON document"},
      {"end after a name",
       [](TJsonWriter& w) {
         w.WriteStartObject();
         w.WritePropertyName("a");
         w.WriteEndObject();
       },
       "Token EndObject in state Property would result in an invalid JSON document"},
      {"end without start", [](TJsonWriter& w) { w.WriteEndObject(); },
       "Token EndObject in state Start would result in an invalid JSON document"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TJsonObjectWriter writer;
    try {
      c.Steps(writer);
      ADD_FAILURE() << "no exception";
    } catch (const EJsonWriterException& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

TEST(JsonWriterOrder, CloseEndsEveryOpenContainerAndRewindStartsOver) {
  TJsonObjectWriter writer;
  writer.WriteStartObject();
  writer.WritePropertyName("a");
  writer.WriteStartArray();
  writer.WriteStartObject();
  writer.WritePropertyName("b");
  EXPECT_EQ(writer.Top(), 3);
  writer.Close();
  EXPECT_EQ(writer.Top(), 0);
  EXPECT_EQ(Built(writer), R"({"a":[{"b":null}]})");

  writer.Rewind();
  EXPECT_EQ(writer.GetJSON(), nullptr);
  writer.WriteStartArray();
  writer.WriteEndArray();
  EXPECT_EQ(Built(writer), "[]");
}

TEST(JsonObjectWriter, GivesNoTreeUntilTheOutermostContainerCloses) {
  TJsonObjectWriter writer;
  EXPECT_EQ(writer.GetJSON(), nullptr);
  writer.WriteStartObject();
  writer.WritePropertyName("a");
  writer.WriteStartArray();
  writer.WriteValue(1);
  writer.WriteEndArray();
  EXPECT_EQ(writer.GetJSON(), nullptr);
  EXPECT_EQ(writer.ExtractJSON(), nullptr);
  writer.WriteEndObject();
  const std::unique_ptr<TJSONValue> json = writer.ExtractJSON();
  ASSERT_NE(json, nullptr);
  EXPECT_EQ(json->ToString(), R"({"a":[1]})");
  EXPECT_EQ(writer.GetJSON(), nullptr);
}

// The builder's tree is a document of its own until it changes; unfinished trees, trees left with
// the writer and changed trees all free clean.
TEST(JsonObjectWriter, TreesFreeCleanWhetherTakenLeftOrUnfinished) {
  const auto build = [](TJsonObjectWriter& AWriter, int ACount) {
    AWriter.WriteStartArray();
    for (int i = 0; i < ACount; ++i) {
      AWriter.WriteStartObject();
      AWriter.WritePropertyName("Value");
      AWriter.WriteValue(i * 0.25);
      AWriter.WritePropertyName("Name");
      AWriter.WriteValue(std::string(40, 'n'));
      AWriter.WriteEndObject();
    }
  };
  TJsonObjectWriter taken;
  build(taken, 3000);
  taken.WriteEndArray();
  std::unique_ptr<TJSONValue> tree = taken.ExtractJSON();
  auto& array = *CheckedCast<TJSONArray>(tree.get());
  EXPECT_EQ(array.Items(2)->ToString(), R"({"Value":0.5,"Name":")" + std::string(40, 'n') + R"("})");
  std::unique_ptr<TJSONValue> item = array.Remove(1);
  array.Add(1.25);
  tree.reset();
  EXPECT_EQ(CheckedCast<TJSONObject>(item.get())->GetValue("Value")->Value(), "0.25");

  TJsonObjectWriter left;
  build(left, 3000);
  left.WriteEndArray();
  EXPECT_NE(left.GetJSON(), nullptr);
  TJsonObjectWriter unfinished;
  build(unfinished, 3000);
  TJsonObjectWriter rewound;
  build(rewound, 3000);
  rewound.Rewind();
  build(rewound, 2);
  rewound.WriteEndArray();
  EXPECT_EQ(Built(rewound), R"([{"Value":0,"Name":")" + std::string(40, 'n') + R"("},{"Value":0.25,"Name":")" +
                                std::string(40, 'n') + R"("}])");
}

TEST(JsonObjectWriter, MapsEveryTokenOntoJson) {
  TJsonObjectWriter writer;
  writer.WriteStartArray();
  writer.WriteValue("text");
  writer.WriteValue(U'\u00FC');
  writer.WriteValue(int32_t(-5));
  writer.WriteValue(uint32_t(4000000000u));
  writer.WriteValue(uint8_t(200));
  writer.WriteValue(int64_t(-9000000000));
  writer.WriteValue(std::numeric_limits<uint64_t>::max());
  writer.WriteValue(0.1f);
  writer.WriteValue(1e20);
  writer.WriteValue(std::numeric_limits<double>::quiet_NaN());
  writer.WriteValue(true);
  writer.WriteNull();
  writer.WriteUndefined();
  writer.WriteMinKey();
  writer.WriteMaxKey();
  writer.WriteValue(UnixToDateTime(1));
  writer.WriteValue(TBytes{'f', 'o', 'o'});
  writer.WriteValue(TGUID::Create("{00112233-4455-6677-8899-AABBCCDDEEFF}"));
  TJsonOid oid;
  for (uint8_t i = 0; i < 12; ++i)
    oid.Bytes[i] = static_cast<uint8_t>(i * 17);
  writer.WriteValue(oid);
  writer.WriteValue(TJsonRegEx{"a+b", "i"});
  writer.WriteValue(TJsonDBRef{"coll", oid});
  writer.WriteValue(TJsonCodeWScope{"f(x)", {{"x", "1"}}});
  writer.WriteCode("g()");
  writer.WriteEndArray();
  EXPECT_EQ(Built(writer),
            R"(["text","ü",-5,4000000000,200,-9000000000,18446744073709551615,0.1,1E20,null,true,null,null,)"
            R"(null,null,"1970-01-01T00:00:01.000Z","Zm9v","{00112233-4455-6677-8899-AABBCCDDEEFF}",)"
            R"("00112233445566778899aabb","/a+b/i",{"$ref":"coll","$id":"00112233445566778899aabb"},)"
            R"js({"$code":"f(x)","$scope":{"x":"1"}},"g()"])js");
}

TEST(JsonObjectWriter, EmptyValueHandlingNullWritesNullForEmptyTexts) {
  TJsonObjectWriter writer;
  writer.SetEmptyValueHandling(TJsonEmptyValueHandling::Null);
  writer.WriteStartArray();
  writer.WriteValue("");
  writer.WriteValue(TBytes{});
  writer.WriteEndArray();
  EXPECT_EQ(Built(writer), "[null,null]");
}

TEST(JsonObjectWriter, NestingBeyondTheLimitRaisesAndFreesClean) {
  TJsonObjectWriter writer;
  for (size_t i = 0; i < JsonMaxDepth; ++i)
    writer.WriteStartArray();
  EXPECT_THROW(writer.WriteStartArray(), EJsonWriterException);
  for (size_t i = 0; i < JsonMaxDepth; ++i)
    writer.WriteEndArray();
  ASSERT_NE(writer.GetJSON(), nullptr);
}

TEST(JsonObjectWriter, CommentsConstructorsAndRawTextRaise) {
  TJsonObjectWriter writer;
  writer.WriteStartArray();
  EXPECT_THROW(writer.WriteComment("c"), EJsonWriterException);
  EXPECT_THROW(writer.WriteStartConstructor("Date"), EJsonWriterException);
  EXPECT_THROW(writer.WriteRaw("1"), EJsonWriterException);
}

} // namespace
} // namespace rtl

namespace {

// A tree whose root is a scalar is a document of its own; freeing it with the writer must hand its
// memory back (the sanitizer build reports a leak otherwise).
TEST(JsonObjectWriter, ScalarRootsAreFreedWithTheWriter) {
  for (const char* text : {"\"a\"", "1", "true", "null", "2.5"}) {
    rtl::TJsonTextReader reader{std::string(text)};
    rtl::TJsonObjectWriter writer;
    while (reader.Read())
      writer.WriteToken(reader);
    ASSERT_NE(writer.GetJSON(), nullptr) << text;
    EXPECT_EQ(writer.GetJSON()->ToString(), text);
  }
}

} // namespace
