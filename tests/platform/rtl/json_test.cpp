#include "rtl/json.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <thread>
#include <type_traits>
#include <vector>

#include "rtl/json_format.h"

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

template <class T> T& As(TJSONValue* AValue) {
  return *CheckedCast<T>(AValue);
}

TEST(Json, FixtureRoundTripKeepsOrderRepeatsAndNumberText) {
  const std::string text = ReadFixture();
  ASSERT_FALSE(text.empty());
  auto root = TJSONValue::ParseJSONValue(text, true);
  EXPECT_EQ(root->ToString(), text);
  EXPECT_EQ(TJSONValue::ParseJSONValue(root->ToString())->ToString(), text);

  auto& object = As<TJSONObject>(root.get());
  EXPECT_EQ(object.GetValue("Type")->Value(), "Vantrel.DefTypes.TMaterialDef");
  EXPECT_EQ(object.GetLastValue("Type")->Value(), "Vantrel.Materials.TLitMaterial");
  EXPECT_EQ(object.Pairs(2)->Name(), "Type");
  EXPECT_EQ(object.GetValue("Name")->Value(), "Brücke \"Nord\"\\Süd\n\tLinie\x01");
  EXPECT_EQ(object.GetValue("Emoji")->Value(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(object.GetValue("Missing"), nullptr);
  EXPECT_EQ(object.GetLastValue("Missing"), nullptr);

  auto& params = As<TJSONObject>(object.GetValue("Params"));
  const std::pair<const char*, const char*> numbers[] = {
      {"Opacity", "1.50"}, {"Count", "3"}, {"Zero", "-0"}, {"Scale", "1E3"}, {"Factor", "0.1234567"}};
  for (const auto& [name, number] : numbers)
    EXPECT_EQ(As<TJSONNumber>(params.GetValue(name)).Value(), number) << name;
  EXPECT_EQ(As<TJSONObject>(params.GetValue("Empty")).Count(), 0);
  EXPECT_EQ(As<TJSONArray>(params.GetValue("None")).Count(), 0);
  auto& child = As<TJSONObject>(As<TJSONArray>(object.GetValue("Children")).Items(0));
  EXPECT_EQ(child.GetValue("Owner")->Value(), "root");
  EXPECT_EQ(child.GetLastValue("Owner")->Value(), "parent");

  EXPECT_EQ(root->Clone()->ToString(), text);
}

TEST(Json, KindsByClassAndCheckedCast) {
  auto root = TJSONValue::ParseJSONValue(R"([1,"a",true,false,null,{},[]])", true);
  const auto& array = As<TJSONArray>(root.get());
  const char* names[] = {"TJSONNumber", "TJSONString", "TJSONTrue", "TJSONFalse",
                         "TJSONNull",   "TJSONObject", "TJSONArray"};
  for (int i = 0; i < array.Count(); ++i)
    EXPECT_EQ(array.Items(i)->ClassName(), names[i]);
  EXPECT_TRUE(array.Items(2)->Is<TJSONBool>());
  EXPECT_TRUE(As<TJSONBool>(array.Items(2)).AsBoolean());
  EXPECT_THROW(As<TJSONString>(array.Items(0)), EInvalidCast);
  EXPECT_THROW(array.Items(7), EArgumentOutOfRangeException);
  EXPECT_THROW(array.Items(-1), EArgumentOutOfRangeException);
  const char* values[] = {"1", "a", "true", "false", "null", "", ""};
  for (int i = 0; i < array.Count(); ++i)
    EXPECT_EQ(array.Items(i)->Value(), values[i]);
}

TEST(Json, OwnershipRemoveAndClone) {
  auto object = TJSONObject::Create();
  object->AddPair("a", 1).AddPair("b", "x").AddPair("a", true).AddPair("c", 2.5).AddPair("d", 0.1f);
  EXPECT_EQ(object->ToString(), R"({"a":1,"b":"x","a":true,"c":2.5,"d":0.1})");
  auto copy = object->Clone();
  auto removed = object->RemovePair("a");
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->JsonValue()->Value(), "1");
  EXPECT_EQ(object->ToString(), R"({"b":"x","a":true,"c":2.5,"d":0.1})");
  EXPECT_EQ(object->RemovePair("zz"), nullptr);
  EXPECT_EQ(copy->ToString(), R"({"a":1,"b":"x","a":true,"c":2.5,"d":0.1})");

  auto array = TJSONArray::Create();
  array->Add("s").Add(int32_t(-7)).Add(int64_t(1) << 40).Add(1.0).Add(false).Add(TJSONNull::Create());
  EXPECT_EQ(array->ToString(), R"(["s",-7,1099511627776,1,false,null])");
  auto item = array->Remove(1);
  EXPECT_EQ(item->Value(), "-7");
  EXPECT_EQ(array->Count(), 5);
  EXPECT_THROW(array->Remove(5), EArgumentOutOfRangeException);
  for (int i = 0; i < 100; ++i)
    array->Add(i);
  EXPECT_EQ(array->Items(104)->Value(), "99");
}

TEST(Json, AsciiWriterEscapesOutsidePrintableAscii) {
  auto value = TJSONString::Create("\xC3\xBC \xF0\x9F\x98\x80 \x01 / \" \\ \b\f\n\r\t \x1F");
  EXPECT_EQ(value->ToJSON(), R"("\u00FC \uD83D\uDE00 \u0001 / \" \\ \b\f\n\r\t \u001F")");
  EXPECT_EQ(value->ToString(), "\"\xC3\xBC \xF0\x9F\x98\x80 \\u0001 / \\\" \\\\ \\b\\f\\n\\r\\t \\u001F\"");
  const auto bytes = value->ToBytes();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), value->ToJSON());
  EXPECT_EQ(TJSONValue::ParseJSONValue(value->ToJSON())->Value(), value->Value());
}

TEST(Json, ParseFailuresGiveNullOrTheOffset) {
  const std::string deep = std::string(4097, '[') + std::string(4097, ']');
  const std::pair<std::string, size_t> cases[] = {
      {"", 0},         {"{", 1},           {R"({"a":})", 5}, {"[1,]", 3},       {"{'a':1}", 1},
      {"01", 1},       {".5", 0},          {"1.", 2},        {"NaN", 0},        {R"("\x")", 1},
      {"\"a\tb\"", 2}, {"{} x", 3},        {deep, 4096},     {"[1 2]", 3},      {R"({"a" 1})", 5},
      {"-", 1},        {"1e", 2},          {"tru", 0},       {"\"abc", 4},      {R"("\u12G4")", 5},
      {"[1,2,]", 5},   {R"({"a":1,})", 7}, {"\x01", 0},      {"[\"a\" , ]", 7},
  };
  for (const auto& [text, offset] : cases) {
    EXPECT_EQ(TJSONValue::ParseJSONValue(text), nullptr) << text;
    try {
      TJSONValue::ParseJSONValue(text, true);
      ADD_FAILURE() << "no exception for " << text;
    } catch (const EJSONParseException& e) {
      EXPECT_EQ(e.Offset(), offset) << text << ": " << e.Message();
      EXPECT_EQ(e.Line(), 1u);
      EXPECT_EQ(e.Column(), offset + 1);
    }
  }
}

TEST(Json, ParseErrorReportsLineAndColumn) {
  try {
    TJSONValue::ParseJSONValue("{\n  \"a\": 1,\n  \"b\": ?\n}", true);
    FAIL();
  } catch (const EJSONParseException& e) {
    EXPECT_EQ(e.Line(), 3u);
    EXPECT_EQ(e.Column(), 8u);
    EXPECT_EQ(e.Offset(), 19u);
    EXPECT_EQ(e.Message(), "Unexpected character '?' at line 3, column 8 (offset 19)");
  }
}

TEST(Json, DeepestNestingParsesWritesAndFrees) {
  const std::string text = std::string(4096, '[') + std::string(4096, ']');
  auto root = TJSONValue::ParseJSONValue(text, true);
  EXPECT_EQ(root->ToString(), text);
  const std::string objects = [] {
    std::string s;
    for (int i = 0; i < 4095; ++i)
      s += "{\"a\":";
    s += "{}";
    for (int i = 0; i < 4095; ++i)
      s += '}';
    return s;
  }();
  EXPECT_EQ(TJSONValue::ParseJSONValue(objects, true)->ToString(), objects);
  EXPECT_EQ(TJSONValue::ParseJSONValue("{\"a\":" + objects + "}"), nullptr);
}

TEST(Json, StringDecoding) {
  const std::pair<std::string, std::string> cases[] = {
      {"\xEF\xBB\xBF\"bom\"", "bom"},
      {R"("a\/b")", "a/b"},
      {R"("\u00fc\u00FC")", "\xC3\xBC\xC3\xBC"},
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
      {R"("\uD83Dx")", "\xEF\xBF\xBDx"},
      {R"("\uDE00\uD83D")", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {R"("\uD83D\u0041")", "\xEF\xBF\xBD"
                            "A"},
      {"\"a\xFF"
       "b\"",
       "a\xEF\xBF\xBD"
       "b"},
      {"\"\xE2\x82\"", "\xEF\xBF\xBD"},
      {"\"\xED\xA0\x80\"", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\"" + std::string(40, 'x') + "\\n\"", std::string(40, 'x') + "\n"},
  };
  for (const auto& [text, value] : cases) {
    auto parsed = TJSONValue::ParseJSONValue(text, true);
    EXPECT_EQ(As<TJSONString>(parsed.get()).Value(), value) << text;
  }
  const uint8_t bytes[] = {'x', '[', '1', ']', 'y'};
  EXPECT_EQ(TJSONValue::ParseJSONValue(bytes, 1, 3, true)->ToString(), "[1]");
  EXPECT_THROW(TJSONValue::ParseJSONValue(bytes, 3, 3), EArgumentOutOfRangeException);
}

TEST(Json, NumberTextOfValuesMadeInCode) {
  const std::pair<double, const char*> doubles[] = {
      {3.0, "3"},
      {-12.0, "-12"},
      {0.5, "0.5"},
      {1e-5, "0.00001"},
      {1e-6, "1E-6"},
      {1e15, "1E15"},
      {1e20, "1E20"},
      {1.5e-7, "1.5E-7"},
      {999999999999999.0, "999999999999999"},
      {0.0, "0"},
      {123.456, "123.456"},
      {0.1f, "0.10000000149011612"},
      {-2.5e-300, "-2.5E-300"},
  };
  for (const auto& [value, text] : doubles)
    EXPECT_EQ(TJSONNumber::Create(value)->Value(), text) << text;
  EXPECT_EQ(TJSONNumber::Create(0.1f)->Value(), "0.1");
  EXPECT_EQ(TJSONNumber::Create(1e-5f)->Value(), "0.00001");
  EXPECT_EQ(TJSONNumber::Create(3e38f)->Value(), "3E38");
  EXPECT_EQ(TJSONNumber::Create(int64_t(-9007199254740993))->Value(), "-9007199254740993");
  EXPECT_THROW(TJSONNumber::Create(std::nan("")), EJSONException);
  EXPECT_THROW(TJSONNumber::Create(std::numeric_limits<double>::infinity()), EJSONException);
  EXPECT_THROW(TJSONNumber::Create(-std::numeric_limits<float>::infinity()), EJSONException);

  auto vector = TJSONObject::Create();
  auto values = TJSONArray::Create();
  values->Add(1.0f).Add(2.0f).Add(3.0f).Add(1.0f);
  vector->AddPair("Class", "TVector3D").AddPair("FloatArrayValue", std::move(values));
  EXPECT_EQ(vector->ToString(), R"({"Class":"TVector3D","FloatArrayValue":[1,2,3,1]})");
}

TEST(Json, NumberConversions) {
  struct TCase {
    const char* Text;
    bool IntOk, Int64Ok, DoubleOk;
  };
  const TCase cases[] = {
      {"42", true, true, true},
      {"-0", true, true, true},
      {"1.5", false, false, true},
      {"1E3", false, false, true},
      {"3000000000", false, true, true},
      {"-2147483648", true, true, true},
      {"9223372036854775808", false, false, true},
      {"1e400", false, false, false},
  };
  for (const auto& c : cases) {
    auto number = TJSONNumber::FromText(c.Text);
    EXPECT_EQ(number->Value(), c.Text);
    if (c.IntOk)
      EXPECT_NO_THROW(number->AsInt()) << c.Text;
    else
      EXPECT_THROW(number->AsInt(), EConvertError) << c.Text;
    if (c.Int64Ok)
      EXPECT_NO_THROW(number->AsInt64()) << c.Text;
    else
      EXPECT_THROW(number->AsInt64(), EConvertError) << c.Text;
    if (c.DoubleOk)
      EXPECT_NO_THROW(number->AsDouble()) << c.Text;
    else
      EXPECT_THROW(number->AsDouble(), EConvertError) << c.Text;
  }
  EXPECT_EQ(TJSONNumber::FromText("1E3")->AsDouble(), 1000.0);
  EXPECT_EQ(TJSONNumber::FromText("3000000000")->AsInt64(), 3000000000);
  for (const char* bad : {"", "01", ".5", "1.", "+1", "1e", "NaN", "0x10", " 1"})
    EXPECT_THROW(TJSONNumber::FromText(bad), EJSONException) << bad;
}

// A conversion's result as text, or the message it raises.
template <class TConvert> std::string Outcome(TConvert AConvert) {
  try {
    const auto value = AConvert();
    if constexpr (std::is_floating_point_v<decltype(value)>) {
      // Bit for bit, so -0 and 0 differ.
      uint64_t bits = 0;
      std::memcpy(&bits, &value, sizeof value);
      return std::to_string(bits);
    } else {
      return std::to_string(value);
    }
  } catch (const EConvertError& e) {
    return "raises " + e.Message();
  }
}

std::string PlainInt32(const TJSONNumber& ANumber) {
  int32_t value = 0;
  return ANumber.TryAsPlainInt32(value) ? std::to_string(value) : "no";
}

// A number made from a value holds it and makes its text on first use; it must write and convert
// exactly as the number read from that text does.
void ExpectSameAsItsText(const TJSONNumber& AMade) {
  const auto read = TJSONNumber::FromText(AMade.ToString());
  const std::string name(read->Value());
  EXPECT_EQ(AMade.Value(), read->Value()) << name;
  EXPECT_EQ(AMade.ToString(), read->Value()) << name;
  EXPECT_EQ(AMade.Clone()->Value(), read->Value()) << name;
  EXPECT_EQ(Outcome([&] { return AMade.AsDouble(); }), Outcome([&] { return read->AsDouble(); })) << name;
  EXPECT_EQ(Outcome([&] { return AMade.AsSingle(); }), Outcome([&] { return read->AsSingle(); })) << name;
  EXPECT_EQ(Outcome([&] { return AMade.AsInt(); }), Outcome([&] { return read->AsInt(); })) << name;
  EXPECT_EQ(Outcome([&] { return AMade.AsInt64(); }), Outcome([&] { return read->AsInt64(); })) << name;
  EXPECT_EQ(PlainInt32(AMade), PlainInt32(*read)) << name;
  EXPECT_TRUE(AMade.HoldsValue()) << name;
  EXPECT_FALSE(read->HoldsValue()) << name;
}

TEST(Json, NumbersFromDoublesAndFloatsBehaveAsTheirText) {
  // 1 + 2^-24 lies halfway between two floats: its text reads as the float above it.
  const double doubles[] = {3.0,          -0.0,   2147483647.0, 2147483648.0, -2147483648.0, 1.5,
                            999999999999999.0, 1e15, 1e20,        0.1,          0.1 + 0.2,
                            1.2345678901234567e-5, -1.2345678901234567e-5, -1.2345678901234567e-300,
                            1.0 + 0x1p-24, 16777217.0, 3.5e38, 1e-40, 1e300};
  for (const double value : doubles)
    ExpectSameAsItsText(*TJSONNumber::Create(value));
  // 123456792 writes as "123456790", so its integer is that of its text.
  const float floats[] = {3.0f, -0.0f, 0.1f, 1e-5f, 3e38f, 1e-40f, 16777216.0f, 123456792.0f, -2147483648.0f,
                          std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min()};
  for (const float value : floats)
    ExpectSameAsItsText(*TJSONNumber::Create(value));
  EXPECT_EQ(TJSONNumber::Create(-1.2345678901234567e-300)->Value().size(), JsonFloatTextMax);
  EXPECT_EQ(TJSONNumber::Create(1.0 + 0x1p-24)->AsSingle(), 1.0f + 0x1p-23f);
}

// The quick reading of short texts must give std::from_chars's float for every text, around float
// midpoints and beyond the float range included, and raise where it does.
TEST(Json, SingleOfTextIsTheLibrarysReading) {
  std::vector<std::string> texts = {"0", "-0", "1", "0.1", "-0.29723597", "16777217", "16777217.0000001",
                                    "1.0000000596046448", "1.000000059604644775390625", "3.4028235E38",
                                    "3.4028236E38", "1E39", "1e-46", "1.4E-45", "1E-38", "1.17549435E-38",
                                    "12345678901234567890", "0.000000000000000000001", "1E22", "1E-22",
                                    "9007199254740993", "2.5E+3", "-7e-0005"};
  std::mt19937_64 random(11);
  std::uniform_real_distribution<float> unit(-1, 1);
  std::uniform_int_distribution<uint64_t> bits;
  for (int i = 0; i < 20000; ++i) {
    texts.push_back(JsonFloatText(unit(random)));
    const double any = std::bit_cast<double>(bits(random));
    if (std::isfinite(any))
      texts.push_back(JsonFloatText(any));
    // A float midpoint and its shortest double text.
    const float low = std::bit_cast<float>(uint32_t(bits(random)) & 0x7F7FFFFFu);
    const float high = std::nextafter(low, std::numeric_limits<float>::infinity());
    if (std::isfinite(high))
      texts.push_back(JsonFloatText((double(low) + double(high)) / 2));
  }
  for (const std::string& text : texts) {
    const auto number = TJSONNumber::FromText(text);
    const std::string expected = Outcome([&] {
      float value = 0;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (error != std::errc() || end != text.data() + text.size())
        throw EConvertError("'" + text + "' is not a valid floating point value");
      return value;
    });
    ASSERT_EQ(Outcome([&] { return number->AsSingle(); }), expected) << text;
    ASSERT_EQ(Outcome([&] { return JsonTextToSingle(text); }), expected) << text;
  }
}

TEST(Json, PlainInt32Texts) {
  const std::pair<const char*, const char*> cases[] = {
      {"42", "42"},           {"-0", "0"},      {"-2147483648", "-2147483648"}, {"2147483647", "2147483647"},
      {"2147483648", "no"},   {"1.0", "no"},    {"1E3", "no"},                 {"12345678901", "no"},
      {"-12345678901", "no"}, {"0.5", "no"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(PlainInt32(*TJSONNumber::FromText(text)), expected) << text;
}

TEST(Json, NumberTextMadeOnceForReadersOnManyThreads) {
  auto array = TJSONArray::Create();
  for (int i = 0; i < 1000; ++i)
    array->Add(i * 0.37);
  std::vector<std::string> texts(8);
  std::vector<std::thread> readers;
  for (std::string& text : texts)
    readers.emplace_back([&] {
      for (const TJSONValue* item : *array) {
        text += item->Value();
        text += ',';
      }
    });
  for (std::thread& reader : readers)
    reader.join();
  std::string expected;
  for (int i = 0; i < 1000; ++i)
    expected += JsonFloatText(i * 0.37) + ",";
  for (const std::string& text : texts)
    EXPECT_EQ(text, expected);
}

TEST(Json, LongRunsOfDigits) {
  const std::string numbers = "[12345678901234567890,-0.000000001234,1.234567890123E+100,123456789,0.12345678]";
  EXPECT_EQ(TJSONValue::ParseJSONValue(numbers, true)->ToString(), numbers);
  for (const char* bad : {"[123456789x]", "[0123456789]", "[1.e12345678]", "[12345678.]", "[-]", "12345678901-"})
    EXPECT_EQ(TJSONValue::ParseJSONValue(bad), nullptr) << bad;
}

// Texts from 16 KiB on parse into documents that free their slabs at once while unchanged; every
// change turns them into ordinary trees. Leaks show under the sanitizers.
std::string LargeText() {
  std::string text = "[";
  for (int i = 0; i < 2000; ++i)
    text += std::string(i ? "," : "") + R"({"Id":"item)" + std::to_string(i) + R"(","Values":[1.5,2,-3E-7]})";
  return text + "]";
}

TEST(Json, LargeDocumentsSurviveChangesAndPartsTakenOut) {
  const std::string text = LargeText();
  ASSERT_GE(text.size(), 16u * 1024);
  {
    auto root = TJSONValue::ParseJSONValue(text, true);
    EXPECT_EQ(root->ToString(), text);
  }
  std::unique_ptr<TJSONValue> taken;
  std::unique_ptr<TJSONPair> pair;
  {
    auto root = TJSONValue::ParseJSONValue(text, true);
    auto& array = As<TJSONArray>(root.get());
    taken = array.Remove(5);
    pair = As<TJSONObject>(array.Items(7)).RemovePair("Values");
    As<TJSONObject>(array.Items(0)).AddPair("Extra", TJSONValue::ParseJSONValue(text, true));
  }
  EXPECT_EQ(taken->ToString(), R"({"Id":"item5","Values":[1.5,2,-3E-7]})");
  EXPECT_EQ(pair->JsonValue()->ToString(), "[1.5,2,-3E-7]");
  std::thread freer([&] { taken.reset(); });
  freer.join();
  pair.reset();
  EXPECT_EQ(TJSONValue::ParseJSONValue(text + ",", false), nullptr);
  try {
    TJSONValue::ParseJSONValue(text.substr(0, text.size() - 1), true);
    ADD_FAILURE() << "a cut document parsed";
  } catch (const EJSONParseException& e) {
    EXPECT_EQ(e.Offset(), text.size() - 1);
  }
}

TEST(Json, TreeFreedOnAnotherThread) {
  std::unique_ptr<TJSONValue> root;
  std::thread builder([&] { root = TJSONValue::ParseJSONValue(ReadFixture(), true); });
  builder.join();
  const std::string text = root->ToString();
  std::thread freer([&] { root.reset(); });
  freer.join();
  EXPECT_EQ(text, ReadFixture());
}

} // namespace
} // namespace rtl
