#include "formats/v3d/Vantrel.BSON.Writer.h"
#include "formats/v3d/Vantrel.JSON.BSON.h"

#include <bson/bson.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "rtl/json_format.h"
#include "rtl/sysutils.h"

namespace vantrel {
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

std::unique_ptr<TJSONObject> ParseObject(const std::string& AJson) {
  std::unique_ptr<TJSONValue> value = TJSONValue::ParseJSONValue(AJson, true);
  CheckedCast<TJSONObject>(value.get());
  return std::unique_ptr<TJSONObject>(static_cast<TJSONObject*>(value.release()));
}

TBytes OurBson(const TJSONObject& AObject) {
  TBytesStream stream;
  TVantrelBSONWriter writer(&stream);
  writer.WriteJsonObject(&AObject);
  return stream.Bytes();
}

TBytes OurBson(const std::string& AJson) {
  return OurBson(*ParseObject(AJson));
}

TBytes BytesOf(const bson_t* ADocument) {
  const uint8_t* data = bson_get_data(ADocument);
  return TBytes(data, data + ADocument->len);
}

std::string Hex(std::span<const uint8_t> ABytes) {
  std::string text;
  for (uint8_t b : ABytes)
    text += Format("%.2X ", b);
  return text;
}

// The tree the reader's tokens build, or null.
std::unique_ptr<TJSONValue> ReadTree(const TBytes& ABytes) {
  TBytesStream stream(ABytes);
  TBsonReader reader(&stream);
  TJsonObjectWriter writer(false);
  while (reader.Read())
    writer.WriteToken(reader);
  return writer.ExtractJSON();
}

// A stream that keeps no bytes: it only counts them, for documents too large to hold.
class TDiscardStream : public TStream {
public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t ACount) override {
    FPosition += ACount;
    FSize = std::max(FSize, FPosition);
    return ACount;
  }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    FPosition = AOffset + (AOrigin == TSeekOrigin::soCurrent ? FPosition : AOrigin == TSeekOrigin::soEnd ? FSize : 0);
    return FPosition;
  }
  int64_t GetSize() override { return FSize; }

private:
  int64_t FPosition = 0, FSize = 0;
};

// Token descriptions, made alike from our reader and from a libbson walk.

std::string OurToken(const TBsonReader& AReader) {
  const TValue& v = AReader.Value();
  switch (AReader.TokenType()) {
  case TJsonToken::PropertyName:
    return "Name " + v.AsString();
  case TJsonToken::Integer:
    return "Integer " + v.AsString();
  case TJsonToken::Float:
    return "Float " + JsonFloatText(v.AsDouble());
  case TJsonToken::String:
    return "String " + v.AsString();
  case TJsonToken::Boolean:
    return std::string("Boolean ") + (v.AsBoolean() ? "true" : "false");
  case TJsonToken::Date:
    return "Date " + std::to_string(DateTimeToUnix(TDateTime{v.AsDouble()}));
  case TJsonToken::Bytes:
    return "Bytes " + Hex(v.AsType<TBytes>());
  case TJsonToken::Oid:
    return "Oid " + v.AsType<TJsonOid>().AsString();
  case TJsonToken::RegEx:
    return "RegEx /" + v.AsType<TJsonRegEx>().RegEx + "/" + v.AsType<TJsonRegEx>().Options;
  case TJsonToken::DBRef:
    return "DBRef " + v.AsType<TJsonDBRef>().Ref + " " + v.AsType<TJsonDBRef>().Id.AsString();
  case TJsonToken::CodeWScope: {
    const auto code = v.AsType<TJsonCodeWScope>();
    std::string text = "CodeWScope " + code.Code;
    for (const auto& item : code.Scope)
      text += " " + item.Ident + "=" + item.Value;
    return text;
  }
  default:
    return std::string(JsonTokenName(AReader.TokenType()));
  }
}

std::string OidText(const bson_oid_t* AOid) {
  char text[25];
  bson_oid_to_string(AOid, text);
  return text;
}

void IterTokens(bson_iter_t& AIter, bool AInArray, std::vector<std::string>& AOut) {
  while (bson_iter_next(&AIter)) {
    if (!AInArray)
      AOut.push_back(std::string("Name ") + bson_iter_key(&AIter));
    switch (bson_iter_type(&AIter)) {
    case BSON_TYPE_DOUBLE:
      AOut.push_back("Float " + JsonFloatText(bson_iter_double(&AIter)));
      break;
    case BSON_TYPE_UTF8:
    case BSON_TYPE_CODE:
    case BSON_TYPE_SYMBOL: {
      uint32_t length = 0;
      const char* text = bson_iter_type(&AIter) == BSON_TYPE_UTF8   ? bson_iter_utf8(&AIter, &length)
                         : bson_iter_type(&AIter) == BSON_TYPE_CODE ? bson_iter_code(&AIter, &length)
                                                                    : bson_iter_symbol(&AIter, &length);
      AOut.push_back("String " + std::string(text, length));
      break;
    }
    case BSON_TYPE_DOCUMENT:
    case BSON_TYPE_ARRAY: {
      const bool array = bson_iter_type(&AIter) == BSON_TYPE_ARRAY;
      bson_iter_t child;
      bson_iter_recurse(&AIter, &child);
      AOut.push_back(array ? "StartArray" : "StartObject");
      IterTokens(child, array, AOut);
      AOut.push_back(array ? "EndArray" : "EndObject");
      break;
    }
    case BSON_TYPE_BINARY: {
      bson_subtype_t subtype;
      uint32_t length = 0;
      const uint8_t* data = nullptr;
      bson_iter_binary(&AIter, &subtype, &length, &data);
      AOut.push_back("Bytes " + Hex({data, length}));
      break;
    }
    case BSON_TYPE_UNDEFINED:
      AOut.push_back("Undefined");
      break;
    case BSON_TYPE_OID:
      AOut.push_back("Oid " + OidText(bson_iter_oid(&AIter)));
      break;
    case BSON_TYPE_BOOL:
      AOut.push_back(std::string("Boolean ") + (bson_iter_bool(&AIter) ? "true" : "false"));
      break;
    case BSON_TYPE_DATE_TIME:
      AOut.push_back("Date " + std::to_string(bson_iter_date_time(&AIter) / 1000));
      break;
    case BSON_TYPE_NULL:
      AOut.push_back("Null");
      break;
    case BSON_TYPE_REGEX: {
      const char* options = nullptr;
      const char* pattern = bson_iter_regex(&AIter, &options);
      AOut.push_back(std::string("RegEx /") + pattern + "/" + options);
      break;
    }
    case BSON_TYPE_DBPOINTER: {
      uint32_t length = 0;
      const char* collection = nullptr;
      const bson_oid_t* oid = nullptr;
      bson_iter_dbpointer(&AIter, &length, &collection, &oid);
      AOut.push_back("DBRef " + std::string(collection, length) + " " + OidText(oid));
      break;
    }
    case BSON_TYPE_CODEWSCOPE: {
      uint32_t length = 0, scopeLength = 0;
      const uint8_t* scopeData = nullptr;
      const char* code = bson_iter_codewscope(&AIter, &length, &scopeLength, &scopeData);
      std::string text = "CodeWScope " + std::string(code, length);
      bson_t scope;
      bson_init_static(&scope, scopeData, scopeLength);
      bson_iter_t item;
      bson_iter_init(&item, &scope);
      while (bson_iter_next(&item)) {
        uint32_t valueLength = 0;
        const char* value = bson_iter_utf8(&item, &valueLength);
        text += std::string(" ") + bson_iter_key(&item) + "=" + std::string(value, valueLength);
      }
      AOut.push_back(text);
      break;
    }
    case BSON_TYPE_INT32:
      AOut.push_back("Integer " + std::to_string(bson_iter_int32(&AIter)));
      break;
    case BSON_TYPE_TIMESTAMP: {
      uint32_t timestamp = 0, increment = 0;
      bson_iter_timestamp(&AIter, &timestamp, &increment);
      AOut.push_back("Integer " + std::to_string((uint64_t(timestamp) << 32) | increment));
      break;
    }
    case BSON_TYPE_INT64:
      AOut.push_back("Integer " + std::to_string(bson_iter_int64(&AIter)));
      break;
    case BSON_TYPE_MAXKEY:
      AOut.push_back("MaxKey");
      break;
    case BSON_TYPE_MINKEY:
      AOut.push_back("MinKey");
      break;
    default:
      AOut.push_back("unexpected");
    }
  }
}

// The libbson document of a JSON tree, every number a double as our writer makes it.
void AppendJson(bson_t* ADocument, const std::string& AKey, const TJSONValue* AValue) {
  const char* key = AKey.c_str();
  const int keyLength = static_cast<int>(AKey.size());
  if (const auto* object = dynamic_cast<const TJSONObject*>(AValue)) {
    bson_t child;
    bson_append_document_begin(ADocument, key, keyLength, &child);
    for (const TJSONPair* pair : *object)
      AppendJson(&child, std::string(pair->Name()), pair->JsonValue());
    bson_append_document_end(ADocument, &child);
  } else if (const auto* array = dynamic_cast<const TJSONArray*>(AValue)) {
    bson_t child;
    bson_append_array_begin(ADocument, key, keyLength, &child);
    int index = 0;
    for (const TJSONValue* item : *array)
      AppendJson(&child, std::to_string(index++), item);
    bson_append_array_end(ADocument, &child);
  } else if (const auto* number = dynamic_cast<const TJSONNumber*>(AValue)) {
    bson_append_double(ADocument, key, keyLength, number->AsDouble());
  } else if (const auto* text = dynamic_cast<const TJSONString*>(AValue)) {
    bson_append_utf8(ADocument, key, keyLength, text->Value().data(), static_cast<int>(text->Value().size()));
  } else if (const auto* boolean = dynamic_cast<const TJSONBool*>(AValue)) {
    bson_append_bool(ADocument, key, keyLength, boolean->AsBoolean());
  } else {
    bson_append_null(ADocument, key, keyLength);
  }
}

TEST(BsonWriter, ExactBytes) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"a":3})", "10 00 00 00 01 61 00 00 00 00 00 00 00 08 40 00 "},
      {"{}", "05 00 00 00 00 "},
      {R"({"x":[true,null]})", "14 00 00 00 04 78 00 0C 00 00 00 08 30 00 01 0A 31 00 00 00 "},
  };
  for (auto [json, bytes] : cases)
    EXPECT_EQ(Hex(OurBson(json)), bytes) << json;
}

// Numbers made in code hold their value; written as BSON they must give the bytes their text gives,
// which is what a tree read from that text writes. A float's double is its shortest text's (0.1f
// goes as the double nearest 0.1), and only integer text beyond a double's reach goes as int64.
TEST(BsonWriter, NumbersHoldingValuesWriteAsTheirText) {
  auto made = TJSONObject::Create();
  auto floats = TJSONArray::Create();
  auto doubles = TJSONArray::Create();
  std::mt19937 random(7);
  std::uniform_real_distribution<float> unit(-1, 1);
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  for (int i = 0; i < 2000; ++i) {
    floats->Add(unit(random)).Add(float(wide(random)));
    doubles->Add(wide(random));
  }
  for (const float value : {0.1f, -0.0f, 16777216.0f, 123456792.0f, 3e38f, 1e-40f, 1e-5f, 1e20f})
    floats->Add(value);
  for (const double value : {1.0 + 0x1p-24, 9007199254740993.0, 1e15, 2147483648.0, -2147483649.0})
    doubles->Add(value);
  made->AddPair("Floats", std::move(floats)).AddPair("Doubles", std::move(doubles));
  made->AddPair("Integers", TJSONArray::Create());
  auto& integers = *CheckedCast<TJSONArray>(made->GetValue("Integers"));
  for (const int64_t value : {int64_t(0), int64_t(-7), int64_t(2147483648), int64_t(9007199254740993), INT64_MIN})
    integers.Add(value);
  EXPECT_EQ(Hex(OurBson(*made)), Hex(OurBson(made->ToString())));
}

TEST(BsonWriter, FixtureEqualsLibbsonDocumentAndValidates) {
  const auto tree = ParseObject(ReadFixture());
  bson_t* expected = bson_new();
  for (const TJSONPair* pair : *tree)
    AppendJson(expected, std::string(pair->Name()), pair->JsonValue());
  const TBytes ours = OurBson(*tree);
  EXPECT_EQ(Hex(ours), Hex(BytesOf(expected)));
  bson_t* document = bson_new_from_data(ours.data(), ours.size());
  ASSERT_NE(document, nullptr);
  size_t offset = 0;
  EXPECT_TRUE(bson_validate(document, BSON_VALIDATE_UTF8, &offset)) << offset;
  bson_destroy(document);
  bson_destroy(expected);
}

class TOddValue : public TJSONValue {
public:
  std::unique_ptr<TJSONValue> Clone() const override { return nullptr; }
  void AppendTo(std::string&, bool) const override {}
};

TEST(BsonWriter, JsonTreeFailuresRaiseAndStillCloseTheDocument) {
  for (const std::string& json : {std::string(R"({"a":1,"b":[2,1e400]})"), R"({"b":)" + std::string(400, '7') + "}"}) {
    TBytesStream stream;
    {
      TVantrelBSONWriter writer(&stream);
      try {
        writer.WriteJsonObject(ParseObject(json).get());
        ADD_FAILURE() << "no exception for " << json;
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "failed to read number value");
      }
    }
    const TBytes& bytes = stream.Bytes();
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24, int(bytes.size()));
    bson_t* document = bson_new_from_data(bytes.data(), bytes.size());
    EXPECT_NE(document, nullptr) << Hex(bytes);
    bson_destroy(document);
  }

  TBytesStream stream;
  TVantrelBSONWriter writer(&stream);
  TOddValue odd;
  writer.WriteStartArray();
  try {
    writer.WriteJsonValue(&odd);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "unexpected json value type \"TJSONValue\" found");
  }
}

TEST(BsonWriter, RawValuesArePayloadsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"[null]", ""},
      {"[true]", "01 "},
      {"[false]", "00 "},
      {"[3]", "00 00 00 00 00 00 08 40 "},
      {"[9007199254740993]", "01 00 00 00 00 00 20 00 "},
      {R"(["ab"])", "03 00 00 00 61 62 00 "},
  };
  for (auto [json, bytes] : cases) {
    TBytesStream stream;
    TVantrelBSONWriter writer(&stream);
    writer.WriteRawJsonValue(CheckedCast<TJSONArray>(TJSONValue::ParseJSONValue(json).get())->Items(0));
    EXPECT_EQ(Hex(stream.Bytes()), bytes) << json;
  }
  TBytesStream stream;
  TVantrelBSONWriter writer(&stream);
  const auto check = [&](const char* AJson, const char* AMessage) {
    try {
      writer.WriteRawJsonValue(TJSONValue::ParseJSONValue(AJson).get());
      ADD_FAILURE() << AJson;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), AMessage);
    }
  };
  check("{}", "raw bson for json-object not supported");
  check("[]", "raw bson for json-array not supported");
}

TEST(BsonWriter, RefusalsRaiseWithTheirTexts) {
  struct TCase {
    bool OpenFirst;
    std::function<void(TBsonWriter&)> Steps;
    const char* Message;
  };
  const TCase cases[] = {
      {true, [](TBsonWriter& w) { w.WriteComment("c"); }, "JSON-Kommentar kann nicht als BSON geschrieben werden"},
      {true, [](TBsonWriter& w) { w.WriteStartConstructor("D"); }, "JSON-Konstruktor kann nicht als BSON geschrieben werden"},
      {true, [](TBsonWriter& w) { w.WriteRaw("1"); }, "Roh-JSON kann nicht als BSON geschrieben werden"},
      {true, [](TBsonWriter& w) {
         w.WritePropertyName("r");
         w.WriteRawValue("1");
       }, "Roh-JSON kann nicht als BSON geschrieben werden"},
      {false, [](TBsonWriter& w) { w.WriteValue(1); }, "A BSON value needs an open document or array"},
      {true, [](TBsonWriter& w) { w.WritePropertyName(std::string_view("a\0b", 3)); },
       "A BSON element name cannot contain a NUL character"},
      {true, [](TBsonWriter& w) {
         w.WritePropertyName("r");
         w.WriteValue(TJsonRegEx{std::string("a\0", 2), "i"});
       },
       "A BSON regular expression cannot contain a NUL character"},
  };
  for (const TCase& c : cases) {
    TBytesStream stream;
    TBsonWriter writer(&stream);
    if (c.OpenFirst)
      writer.WriteStartObject();
    try {
      c.Steps(writer);
      ADD_FAILURE() << "no exception for " << c.Message;
    } catch (const EJsonWriterException& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

TEST(BsonWriter, FlushWithPendingNameMakesAProvisionalDocument) {
  TBytesStream stream;
  TBsonWriter writer(&stream);
  writer.WriteStartObject();
  writer.WritePropertyName("a");
  writer.WriteValue(1);
  writer.WritePropertyName("b");
  writer.Flush();
  bson_t* provisional = BCON_NEW("a", BCON_INT32(1), "b", BCON_NULL);
  EXPECT_EQ(Hex(stream.Bytes()), Hex(BytesOf(provisional)));
  EXPECT_EQ(stream.GetPosition(), 4 + 7);

  writer.WriteStartArray();
  writer.WriteValue(int64_t(2));
  writer.Flush();
  bson_t* nested = BCON_NEW("a", BCON_INT32(1), "b", "[", BCON_INT64(2), "]");
  EXPECT_EQ(Hex(stream.Bytes()), Hex(BytesOf(nested)));

  writer.WriteEndArray();
  writer.WriteEndObject();
  EXPECT_EQ(Hex(stream.Bytes()), Hex(BytesOf(nested)));
  bson_destroy(provisional);
  bson_destroy(nested);
}

TEST(BsonWriter, EmptyValueHandlingNullDropsEmptyElements) {
  TBytesStream stream;
  TBsonWriter writer(&stream);
  writer.SetEmptyValueHandling(TJsonEmptyValueHandling::Null);
  writer.WriteStartObject();
  writer.WritePropertyName("s");
  writer.WriteValue("");
  writer.WritePropertyName("b");
  writer.WriteValue(TBytes{});
  writer.WritePropertyName("t");
  writer.WriteValue("x");
  writer.WriteEndObject();
  bson_t* expected = BCON_NEW("t", BCON_UTF8("x"));
  EXPECT_EQ(Hex(stream.Bytes()), Hex(BytesOf(expected)));
  bson_destroy(expected);
}

// Every element type the reader knows, built by libbson, gives the tokens a bson_iter walk predicts.
TEST(BsonReader, TokensMatchALibbsonWalkForEveryType) {
  bson_oid_t oid;
  bson_oid_init_from_string(&oid, "00112233445566778899aabb");
  const uint8_t data[] = {1, 2, 3};
  bson_t* scope = BCON_NEW("x", BCON_UTF8("1"), "y", BCON_UTF8("two"));
  bson_t* document = bson_new();
  bson_append_double(document, "d", -1, 1.25);
  bson_append_utf8(document, "s", -1, "Gr\xC3\xBCn", -1);
  bson_t child;
  bson_append_document_begin(document, "o", -1, &child);
  bson_append_int32(&child, "i", -1, -7);
  bson_append_document_end(document, &child);
  bson_append_array_begin(document, "a", -1, &child);
  bson_append_bool(&child, "0", -1, true);
  bson_append_null(&child, "1", -1);
  bson_append_array_end(document, &child);
  bson_append_binary(document, "b", -1, BSON_SUBTYPE_BINARY, data, 3);
  bson_append_binary(document, "old", -1, BSON_SUBTYPE_BINARY_DEPRECATED, data, 3);
  bson_append_undefined(document, "u", -1);
  bson_append_oid(document, "id", -1, &oid);
  bson_append_bool(document, "f", -1, false);
  bson_append_date_time(document, "t", -1, 1500);
  bson_append_null(document, "n", -1);
  bson_append_regex(document, "r", -1, "^a.*", "i");
  bson_append_dbpointer(document, "p", -1, "things", &oid);
  bson_append_code(document, "c", -1, "f()");
  bson_append_symbol(document, "y", -1, "sym", -1);
  bson_append_code_with_scope(document, "w", -1, "g(x, y)", scope);
  bson_append_timestamp(document, "ts", -1, 5, 6);
  bson_append_int64(document, "l", -1, -5000000000);
  bson_append_maxkey(document, "max", -1);
  bson_append_minkey(document, "min", -1);

  std::vector<std::string> expected{"StartObject"};
  bson_iter_t iter;
  bson_iter_init(&iter, document);
  IterTokens(iter, false, expected);
  expected.push_back("EndObject");

  TBytesStream stream(BytesOf(document));
  TBsonReader reader(&stream);
  std::vector<std::string> ours;
  while (reader.Read())
    ours.push_back(OurToken(reader));
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(reader.TokenType(), TJsonToken::None);
  bson_destroy(document);
  bson_destroy(scope);
}

TEST(BsonReader, EdgeCases) {
  const TBytes sixteen = OurBson(R"({"a":3})");
  {
    TBytesStream stream(sixteen);
    TBsonReader reader(&stream);
    std::vector<std::string> tokens;
    while (reader.Read())
      tokens.push_back(OurToken(reader));
    EXPECT_EQ(tokens, (std::vector<std::string>{"StartObject", "Name a", "Float 3", "EndObject"}));
    EXPECT_FALSE(reader.Read());
    EXPECT_EQ(reader.TokenType(), TJsonToken::None);
    reader.Rewind();
    EXPECT_EQ(stream.GetPosition(), 0);
    ASSERT_TRUE(reader.Read());
    EXPECT_EQ(reader.TokenType(), TJsonToken::StartObject);
  }
  {
    TBytes cut(sixteen.begin(), sixteen.end() - 4);
    TBytesStream stream(cut);
    TBsonReader reader(&stream);
    int count = 0;
    while (reader.Read())
      ++count;
    EXPECT_EQ(count, 2);
    EXPECT_EQ(reader.TokenType(), TJsonToken::None);
  }
  {
    TBytes bad = sixteen;
    bad.back() = 1;
    TBytesStream stream(bad);
    TBsonReader reader(&stream);
    try {
      while (reader.Read()) {
      }
      ADD_FAILURE() << "no exception";
    } catch (const EJsonReaderException& e) {
      EXPECT_EQ(e.Message(), "Unerwartetes Ende des Objekt-Byte-Wertes");
    }
  }
  for (size_t size : {127, 128, 300}) {
    const std::string name(size, 'n');
    const auto tree = ReadTree(OurBson("{\"" + name + "\":\"" + name + "\"}"));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(CheckedCast<TJSONObject>(tree.get())->Pairs(0)->Name(), name);
    EXPECT_EQ(CheckedCast<TJSONObject>(tree.get())->Pairs(0)->JsonValue()->Value(), name);
  }
  {
    bson_t* document = BCON_NEW("t", BCON_DATE_TIME(1500));
    TBytesStream stream(BytesOf(document));
    TBsonReader reader(&stream);
    reader.Read();
    reader.Read();
    reader.Read();
    EXPECT_EQ(DateTimeToUnixMilliseconds(TDateTime{reader.Value().AsDouble()}), 1000);
    bson_destroy(document);
  }
}

TEST(BsonReader, ReadsThroughAStreamWithoutMemory) {
  // A file stream takes the byte-by-byte name path.
  const std::string json = R"({")" + std::string(300, 'k') + R"(":[1.5,"x",{"y":true}]})";
  const TBytes bytes = OurBson(json);
  const auto path = std::filesystem::temp_directory_path() / "vantrel_bson_reader_test.bson";
  {
    TFileStream file(path.string(), fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  TFileStream file(path.string(), fmOpenRead);
  TBsonReader reader(&file);
  TJsonObjectWriter writer;
  writer.WriteToken(reader);
  ASSERT_NE(writer.GetJSON(), nullptr);
  EXPECT_EQ(writer.GetJSON()->ToString(), json);
  std::filesystem::remove(path);
}

// Over a memory stream the reader reads in place; the stream's position catches up when the
// document ends, and memory that moves while reading (the stream grew) is followed.
TEST(BsonReader, MemoryStreamStandsAfterTheDocumentAndMayGrowMeanwhile) {
  const std::string json = R"({"a":[1.5,2,"x"],"b":{"c":true}})";
  const TBytes bytes = OurBson(json);
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.WriteBuffer("tail", 4);
  stream.SetPosition(0);
  TBsonReader reader(&stream);
  TJsonObjectWriter writer;
  ASSERT_TRUE(reader.Read());
  writer.WriteToken(reader, false);
  ASSERT_TRUE(reader.Read());
  writer.WriteToken(reader, false);
  const int64_t position = stream.GetPosition();
  const TBytes filler(1 << 20, 0);
  stream.Seek(0, TSeekOrigin::soEnd);
  stream.WriteBuffer(filler.data(), static_cast<int64_t>(filler.size()));
  stream.SetPosition(position);
  while (reader.Read())
    writer.WriteToken(reader, false);
  ASSERT_NE(writer.GetJSON(), nullptr);
  EXPECT_EQ(writer.GetJSON()->ToString(), json);
  EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(bytes.size()));
}

TEST(BsonReader, SkipMovesPastDocumentsStringsAndBinaryData) {
  bson_t* scope = BCON_NEW("v", BCON_UTF8("1"));
  bson_t* document = BCON_NEW("o", "{", "x", "[", BCON_INT32(1), BCON_UTF8("deep"), "]", "}", "s", BCON_UTF8("text"),
                              "b", BCON_BIN(BSON_SUBTYPE_BINARY, (const uint8_t*)"abc", 3), "w",
                              BCON_CODEWSCOPE("f()", scope), "last", BCON_INT32(9));
  TBytesStream stream(BytesOf(document));
  TBsonReader reader(&stream);
  reader.Read();
  const std::pair<const char*, TJsonToken> skips[] = {{"o", TJsonToken::EndObject},
                                                        {"s", TJsonToken::String},
                                                        {"b", TJsonToken::Bytes},
                                                        {"w", TJsonToken::CodeWScope}};
  for (auto [name, token] : skips) {
    ASSERT_TRUE(reader.Read());
    EXPECT_EQ(reader.Value().AsString(), name);
    reader.Skip();
    EXPECT_EQ(reader.TokenType(), token) << name;
    EXPECT_TRUE(reader.Value().IsEmpty() || token == TJsonToken::EndObject) << name;
  }
  reader.Read();
  EXPECT_EQ(reader.Value().AsString(), "last");
  reader.Read();
  EXPECT_EQ(reader.Value().AsInteger(), 9);
  reader.Read();
  EXPECT_EQ(reader.TokenType(), TJsonToken::EndObject);
  reader.Rewind();
  reader.Read();
  reader.Skip();
  EXPECT_EQ(reader.TokenType(), TJsonToken::EndObject);
  EXPECT_FALSE(reader.Read());
  bson_destroy(document);
  bson_destroy(scope);
}

TEST(BsonRoundTrip, FixtureComesBackWithNumbersInTheirValueText) {
  std::string expected = ReadFixture();
  for (auto [from, to] : {std::pair{"1.50", "1.5"}, std::pair{"1E3", "1000"}})
    expected.replace(expected.find(from), std::string_view(from).size(), to);
  const auto tree = ReadTree(OurBson(ReadFixture()));
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->ToString(), expected);
  EXPECT_EQ(CheckedCast<TJSONObject>(tree.get())->GetLastValue("Type")->Value(), "Vantrel.Materials.TLitMaterial");
}

TEST(BsonRoundTrip, TypedTokensComeBackThroughOurWriterAndReader) {
  TBytesStream stream;
  {
    TBsonWriter writer(&stream);
    writer.WriteStartArray();
    writer.WriteValue(U'\u00FC');
    writer.WriteValue(uint8_t(200));
    writer.WriteValue(uint64_t(1) << 63);
    writer.WriteValue(0.1f);
    writer.WriteValue(TGUID::Create("{00112233-4455-6677-8899-AABBCCDDEEFF}"));
    writer.WriteValue(UnixToDateTime(1700000000));
    writer.WriteValue(TJsonDBRef{"c", {}});
    writer.WriteValue(TJsonCodeWScope{"f()", {{"a", "1"}}});
    writer.WriteCode("g()");
    writer.WriteUndefined();
    writer.WriteMinKey();
    writer.WriteMaxKey();
    writer.WriteEndArray();
  }
  TBytesStream input(stream.Bytes());
  TBsonReader reader(&input, true);
  std::vector<std::string> tokens;
  while (reader.Read())
    tokens.push_back(OurToken(reader));
  EXPECT_EQ(tokens, (std::vector<std::string>{"StartArray", "String \xC3\xBC", "Integer 200",
                                              "Integer -9223372036854775808", "Float 0.10000000149011612",
                                              "Bytes 33 22 11 00 55 44 77 66 88 99 AA BB CC DD EE FF ",
                                              "Date 1700000000", "DBRef c 000000000000000000000000",
                                              "CodeWScope f() a=1", "String g()", "Undefined", "MinKey", "MaxKey",
                                              "EndArray"}));
}

// The faults this codec does not repeat: each row builds bytes or writes values and checks the
// sound outcome.
TEST(BsonSound, Behaviours) {
  // 1. A body cut anywhere yields no tree.
  const TBytes body = OurBson(ReadFixture());
  for (size_t size = 0; size < body.size(); ++size) {
    const TBytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(size));
    try {
      EXPECT_EQ(ReadTree(cut), nullptr) << size;
    } catch (const EJsonReaderException&) {
    }
  }

  // 2. Lengths from the data are checked before use.
  struct TLengthCase {
    const char* Name;
    std::function<void(TBytes&)> Damage;
    const char* Message; // null: the token stream simply ends
  };
  const TBytes strings = OurBson(R"({"s":"abc","t":{"u":1}})");
  // Offsets: 0 length, 4 type, 5 "s", 7 string length, 11 "abc", 15 type 3, 16 "t", 18 length.
  const auto setInt32 = [](TBytes& ABytes, size_t AOffset, int32_t AValue) {
    for (int i = 0; i < 4; ++i)
      ABytes[AOffset + i] = static_cast<uint8_t>(uint32_t(AValue) >> (8 * i));
  };
  const TLengthCase lengthCases[] = {
      {"string length 0", [&](TBytes& b) { setInt32(b, 7, 0); }, ""},
      {"string length negative", [&](TBytes& b) { setInt32(b, 7, -5); }, ""},
      {"string past its container", [&](TBytes& b) { setInt32(b, 7, 1000); }, "Nach Ende des aktuellen Container-Kontexts gelesen"},
      {"string past the stream", [&](TBytes& b) {
         setInt32(b, 0, 100000);
         setInt32(b, 7, 50000);
       }, ""},
      {"container length below 5", [&](TBytes& b) { setInt32(b, 18, 2); }, "Nach Ende des aktuellen Container-Kontexts gelesen"},
      {"container past its parent", [&](TBytes& b) { setInt32(b, 18, 200); }, "Nach Ende des aktuellen Container-Kontexts gelesen"},
      {"outermost length below 5", [&](TBytes& b) { setInt32(b, 0, 4); }, "Nach Ende des aktuellen Container-Kontexts gelesen"},
      {"outermost length beyond the data", [&](TBytes& b) { setInt32(b, 0, 100000); }, nullptr},
      {"unknown element type", [&](TBytes& b) { b[15] = 0x13; }, "unsupported BSON element type 0x13"},
  };
  for (const TLengthCase& c : lengthCases) {
    SCOPED_TRACE(c.Name);
    TBytes damaged = strings;
    c.Damage(damaged);
    TBytesStream stream(damaged);
    TBsonReader reader(&stream);
    try {
      while (reader.Read()) {
      }
      EXPECT_EQ(c.Message, nullptr);
      EXPECT_EQ(reader.TokenType(), TJsonToken::None);
    } catch (const EJsonReaderException& e) {
      ASSERT_NE(c.Message, nullptr) << e.Message();
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
  {
    bson_t* binary = BCON_NEW("b", BCON_BIN(BSON_SUBTYPE_BINARY, (const uint8_t*)"abcd", 4));
    TBytes damaged = BytesOf(binary);
    setInt32(damaged, 7, 0x7FFFFFF0);
    TBytesStream stream(damaged);
    TBsonReader reader(&stream);
    reader.Read();
    reader.Read();
    EXPECT_THROW(reader.Read(), EJsonReaderException);
    bson_destroy(binary);
  }

  // 3. Old binary data is written in the standard layout.
  {
    const uint8_t data[] = {9, 8, 7};
    bson_t* expected = bson_new();
    bson_append_binary(expected, "b", -1, BSON_SUBTYPE_BINARY_DEPRECATED, data, 3);
    TBytesStream stream;
    {
      TBsonWriter writer(&stream);
      writer.WriteStartObject();
      writer.WritePropertyName("b");
      writer.WriteValue(TBytes{9, 8, 7}, TJsonBinaryType::BinaryOld);
      writer.WriteEndObject();
    }
    EXPECT_EQ(Hex(stream.Bytes()), Hex(BytesOf(expected)));
    bson_destroy(expected);
  }

  // 4. A Cardinal above the int32 range keeps its value.
  {
    TBytesStream stream;
    {
      TBsonWriter writer(&stream);
      writer.WriteStartArray();
      writer.WriteValue(uint32_t(3000000000u));
      writer.WriteValue(uint32_t(7));
      writer.WriteEndArray();
    }
    bson_t* expected = BCON_NEW("0", BCON_INT64(3000000000), "1", BCON_INT32(7));
    EXPECT_EQ(Hex(stream.Bytes()), Hex(BytesOf(expected)));
    bson_destroy(expected);
  }

  // 5. Integers a double cannot hold go as int64; everything else stays a double.
  {
    const TBytes bytes = OurBson(R"({"big":9007199254740993,"two53":9007199254740992,"x":3})");
    bson_t* expected = BCON_NEW("big", BCON_INT64(9007199254740993), "two53", BCON_DOUBLE(9007199254740992.0), "x",
                                BCON_DOUBLE(3));
    EXPECT_EQ(Hex(bytes), Hex(BytesOf(expected)));
    EXPECT_EQ(ReadTree(bytes)->ToString(), R"({"big":9007199254740993,"two53":9.007199254740992E15,"x":3})");
    bson_destroy(expected);
  }

  // 6. A document past 2 GiB raises rather than writing a wrapped length.
  {
    TDiscardStream stream;
    TBsonWriter writer(&stream);
    const TBytes block(64 << 20);
    writer.WriteStartArray();
    for (int i = 0; i < 32; ++i)
      writer.WriteValue(block);
    try {
      writer.WriteEndArray();
      ADD_FAILURE() << "no exception";
    } catch (const EJsonWriterException& e) {
      EXPECT_EQ(e.Message(), "BSON value or document larger than 2 GiB");
    }
  }
}

} // namespace
} // namespace vantrel
