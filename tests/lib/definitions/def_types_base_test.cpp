#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/colors.h"
#include "rtl/types2d.h"
#include "support/error_of.h"
#include "support/json_object.h"

namespace {

using namespace vantrel;

using vtest::ParseObject;

// The value read back from the JSON text of its written form, as a file would carry it.
TValue RoundTrip(const TValue& AValue, std::string* AText = nullptr) {
  const std::string text = TCustomDef::RttiValueToJSON(AValue)->ToString();
  if (AText)
    *AText = text;
  return TCustomDef::JSONToRttiValue("TCustomDef", *TJSONValue::ParseJSONValue(text, true));
}

using vtest::ErrorOf;

TEST(DefTypesNumbers, IntegerMembersRoundHalvesToEvenAndRejectWhatIsNoInt32) {
  const auto json =
      ParseObject(R"({"a": 1.5, "b": 2.5, "c": -0.5, "d": 7, "e": -2147483648, "f": 2147483647.4,
                                    "g": 1E3, "h": 3000000000, "i": 2147483647.6, "j": -2147483648.6, "k": 1.0e12})");
  const std::pair<const char*, int32_t> good[] = {{"a", 2}, {"b", 2},         {"c", 0},
                                                  {"d", 7}, {"e", INT32_MIN}, {"f", INT32_MAX}};
  for (const auto& [name, expected] : good) {
    SCOPED_TRACE(name);
    EXPECT_EQ(TCustomDef::GetJSONInteger(*json, name, -1), expected);
  }
  for (const char* name : {"g", "h", "i", "j", "k"}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(TCustomDef::GetJSONInteger(*json, name, -1), EConvertError);
  }
  EXPECT_EQ(ErrorOf([&] { TCustomDef::GetJSONInteger(*json, "i", 0); }),
            "'2147483647.6' is not a valid integer value");
}

TEST(DefTypesReaders, MissingMembersAndOtherKindsGiveTheDefault) {
  const auto json = ParseObject(R"({"s": "text\u00e9", "n": 1.25, "i": 7, "t": true, "f": false, "z": null,
                                    "o": {"x": 1}, "a": [1], "p": " 1, 2, 3", "m": "", "g": "{8A4E1D2C-3B5F-4C6D-9E7F-0A1B2C3D4E5F}",
                                    "bad": "{8A4E1D2C-3B5F}", "first": 1, "first": 2})");
  EXPECT_EQ(TCustomDef::GetJSONString(*json, "s", "d"), "text\xc3\xa9");
  EXPECT_EQ(TCustomDef::GetJSONFloat(*json, "n", -1), 1.25);
  EXPECT_EQ(TCustomDef::GetJSONInteger(*json, "i", -1), 7);
  EXPECT_TRUE(TCustomDef::GetJSONBoolean(*json, "t", false));
  EXPECT_FALSE(TCustomDef::GetJSONBoolean(*json, "f", true));
  EXPECT_EQ(TCustomDef::GetJSONPoint3D(*json, "p", {}), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(TCustomDef::GetJSONInteger(*json, "first", 0), 1);
  for (const char* other : {"missing", "n", "t", "z", "o", "a"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(TCustomDef::GetJSONString(*json, other, "d"), "d");
  }
  for (const char* other : {"missing", "s", "t", "z", "o", "a"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(TCustomDef::GetJSONFloat(*json, other, -1), -1);
    EXPECT_EQ(TCustomDef::GetJSONInteger(*json, other, -1), -1);
  }
  for (const char* other : {"missing", "s", "n", "z", "o"}) {
    SCOPED_TRACE(other);
    EXPECT_TRUE(TCustomDef::GetJSONBoolean(*json, other, true));
  }
  const TPoint3D fallback{9, 9, 9};
  for (const char* other : {"missing", "m", "o", "a"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(TCustomDef::GetJSONPoint3D(*json, other, fallback), fallback);
    EXPECT_EQ(TCustomDef::GetJSONMatrix3D(*json, other, TMatrix3D{}), TMatrix3D{});
  }

  const std::pair<const char*, const char*> texts[] = {
      {"s", "text\xc3\xa9"}, {"n", "1.25"}, {"t", "true"}, {"f", "false"},
      {"z", "null"},         {"o", ""},     {"a", ""},     {"missing", "d"}};
  for (const auto& [name, text] : texts) {
    SCOPED_TRACE(name);
    EXPECT_EQ(TCustomDef::GetJSONValueText(*json, name, "d"), text);
  }

  const TGUID empty;
  EXPECT_EQ(TCustomDef::GetJSONGUID(*json, "g", empty).ToString(), "{8A4E1D2C-3B5F-4C6D-9E7F-0A1B2C3D4E5F}");
  const TGUID other = TGUID::NewGuid();
  for (const char* name : {"bad", "s", "m", "missing", "o"})
    EXPECT_EQ(TCustomDef::GetJSONGUID(*json, name, other), other) << name;

  EXPECT_TRUE(TCustomDef::HasJSONValue(*json, "z"));
  EXPECT_FALSE(TCustomDef::HasJSONValue(*json, "missing"));
  EXPECT_TRUE(TCustomDef::HasJSONValueOfClass(*json, "i", TJSONNumber::StaticClass()));
  EXPECT_TRUE(TCustomDef::HasJSONValueOfClass(*json, "t", rtl::TJSONBool::StaticClass()));
  EXPECT_FALSE(TCustomDef::HasJSONValueOfClass(*json, "s", TJSONNumber::StaticClass()));
  EXPECT_FALSE(TCustomDef::HasJSONValueOfClass(*json, "missing", TJSONNumber::StaticClass()));
}

TEST(DefTypesValues, RecordsRoundTripThroughTheirRecordTypeObjects) {
  TMatrix3D matrix;
  for (int i = 0; i < 16; ++i)
    matrix(i / 4, i % 4) = 0.5f * static_cast<float>(i) - 3.25f;
  const TUBOUniformDef uniform{"uLight", 3, 1, 4, "0.5 0.25"};
  struct Case {
    TValue Value;
    const char* Text;
  } cases[] = {
      {TValue::From(TPoint{-3, 40000}), R"({"RecordType":"TPoint","Value":[-3,40000]})"},
      {TValue::From(TPointF{0.1f, -2}), R"({"RecordType":"TPointF","Value":[0.1,-2]})"},
      {TValue::From(TPoint3D{1, 2.5f, -3}), R"({"RecordType":"TPoint3D","Value":[1,2.5,-3]})"},
      {TValue::From(TVector3D{1, 2, 3, 1}), R"({"RecordType":"TVector3D","Value":[1,2,3,1]})"},
      {TValue::From(TMatrix{1, 2, 3, 4, 5, 6, 7, 8, 9}),
       R"({"RecordType":"TMatrix","Value":[1,2,3,4,5,6,7,8,9]})"},
      {TValue::From(matrix), nullptr},
      {TValue::From(TAlphaColorF{0.25f, 0.5f, 0.75f, 1}),
       R"({"RecordType":"TAlphaColorF","Value":[0.25,0.5,0.75,1]})"},
      {TValue::From(uniform),
       R"({"RecordType":"TUBOUniformDef","Name":"uLight","DataType":3,"Layout":1,"ArrayLength":4,"ValueAsString":"0.5 0.25"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Value.TypeName());
    std::string text;
    const TValue back = RoundTrip(c.Value, &text);
    if (c.Text)
      EXPECT_EQ(text, c.Text);
    EXPECT_EQ(back.TypeInfo(), c.Value.TypeInfo());
  }
  EXPECT_EQ(RoundTrip(TValue::From(matrix)).AsType<TMatrix3D>(), matrix);
  EXPECT_EQ(RoundTrip(TValue::From(uniform)).AsType<TUBOUniformDef>(), uniform);
  EXPECT_EQ(RoundTrip(TValue::From(TPoint{-3, 40000})).AsType<TPoint>(), (TPoint{-3, 40000}));

  // A colour is an integer on the way out; its record form reads red, green, blue, alpha.
  std::string colorText;
  const TValue color = RoundTrip(TValue::From(claGray, rtl::TypeInfoAlphaColor()), &colorText);
  EXPECT_EQ(colorText, "-8355712");
  EXPECT_EQ(color.TypeInfo(), &rtl::TypeInfoInteger());
  EXPECT_EQ(color.AsInteger(), -8355712);
  const TValue record = TCustomDef::JSONToRttiValue(
      "TCustomDef",
      *TJSONValue::ParseJSONValue(R"({"RecordType":"TAlphaColor","Value":[255,128,0,511]})", true));
  EXPECT_EQ(record.TypeInfo(), &rtl::TypeInfoAlphaColor());
  EXPECT_EQ(static_cast<uint32_t>(record.AsInt64()), 0xFFFF8000u);
}

TEST(DefTypesValues, ScalarsTakeTheirJSONKinds) {
  struct Case {
    TValue Value;
    const char* Text;
    const TTypeInfo* BackType;
  } cases[] = {
      {TValue(), "null", &rtl::TypeInfoString()},
      {TValue::From(int32_t{-7}), "-7", &rtl::TypeInfoInteger()},
      {TValue::From(uint8_t{200}), "200", &rtl::TypeInfoInteger()},
      {TValue::From(int64_t{5'000'000'000}), "5000000000", nullptr},
      {TValue::From(0.1f), "0.1", &rtl::TypeInfoDouble()},
      {TValue::From(2.5), "2.5", &rtl::TypeInfoDouble()},
      {TValue::From(true), "true", &rtl::TypeInfoBoolean()},
      {TValue::From(true, rtl::TypeInfoLongBool()), "true", &rtl::TypeInfoBoolean()},
      {TValue::From(TTextureFlipping::Horizontal), "\"Horizontal\"", &rtl::TypeInfoString()},
      {TValue::From(std::string("a \"b\"")), R"("a \"b\"")", &rtl::TypeInfoString()},
      {TValue::From(TTextureFlippings{TTextureFlipping::Vertical}), "\"[Vertical]\"", &rtl::TypeInfoString()},
      {TValue::From(TBoundingBox{}), "\"(record)\"", &rtl::TypeInfoString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    std::string text;
    const TValue back = c.BackType ? RoundTrip(c.Value, &text) : TValue();
    if (!c.BackType)
      text = TCustomDef::RttiValueToJSON(c.Value)->ToString();
    EXPECT_EQ(text, c.Text);
    if (c.BackType)
      EXPECT_EQ(back.TypeInfo(), c.BackType);
  }
  EXPECT_EQ(RoundTrip(TValue()).AsString(), "null");

  struct ReadCase {
    const char* Text;
    TValue Expected;
  } reads[] = {
      {"1E-7", TValue::From(1e-7)},
      {"-2.5e3", TValue::From(-2500.0)},
      {"12", TValue::From(int32_t{12})},
      {"[1, 2]", TValue::From(std::string("[1,2]"))},
      {R"({"a": 1})", TValue::From(std::string(R"({"a":1})"))},
      {R"({"RecordType": 5})", TValue::From(std::string(R"({"RecordType":5})"))},
      {R"("\u00e9")", TValue::From(std::string("\xc3\xa9"))},
  };
  for (const ReadCase& r : reads) {
    SCOPED_TRACE(r.Text);
    const TValue value = TCustomDef::JSONToRttiValue("TCustomDef", *TJSONValue::ParseJSONValue(r.Text, true));
    EXPECT_EQ(value.TypeInfo(), r.Expected.TypeInfo());
    EXPECT_EQ(value.AsString(), r.Expected.AsString());
  }
  EXPECT_THROW(TCustomDef::JSONToRttiValue("TCustomDef", *TJSONValue::ParseJSONValue("3000000000", true)),
               EConvertError);
}

TEST(DefTypesValues, MalformedRecordsRaiseTheirMessages) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"RecordType": "TPoint3D"})",
       R"(Missing value in RecordType "TPoint3D" in JSONToRttiValue of TMeshDef)"},
      {R"({"RecordType": "TBogus"})",
       R"(Missing value in RecordType "TBogus" in JSONToRttiValue of TMeshDef)"},
      {R"({"RecordType": "TPoint3D", "Value": [1, 2]})",
       R"(Unexpected value type in RecordType "TPoint3D" found in JSONToRttiValue of TMeshDef)"},
      {R"({"RecordType": "TMatrix", "Value": "1 2 3"})",
       R"(Unexpected value type in RecordType "TMatrix" found in JSONToRttiValue of TMeshDef)"},
      {R"({"RecordType": "TPoint", "Value": [1, 1E3]})",
       R"(TCustomDef.JSONToRttiValue(TPoint) - unexpected value found "[1,1E3]")"},
      {R"({"RecordType": "TPoint", "Value": [1, "2"]})",
       R"(TCustomDef.JSONToRttiValue(TPoint) - unexpected value found "[1,"2"]")"},
      {R"({"RecordType": "TAlphaColor", "Value": [1, 2, 3, 4000000000]})",
       R"(TCustomDef.JSONToRttiValue(TAlphaColor) - unexpected value found "[1,2,3,4000000000]")"},
      {R"({"RecordType": "TBogus", "Value": []})",
       R"(Unsupported RecordType "TBogus" found in JSONToRttiValue of TMeshDef)"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    const auto json = TJSONValue::ParseJSONValue(text, true);
    EXPECT_EQ(ErrorOf([&] { TCustomDef::JSONToRttiValue("TMeshDef", *json); }), message);
  }
  const auto notANumber =
      TJSONValue::ParseJSONValue(R"({"RecordType": "TPointF", "Value": [1, true]})", true);
  EXPECT_THROW(TCustomDef::JSONToRttiValue("TCustomDef", *notANumber), EInvalidCast);
  // A Single could not hold the value, and an infinity could not be written back.
  const auto tooLarge =
      TJSONValue::ParseJSONValue(R"({"RecordType": "TPoint3D", "Value": [1, 1e39, 0]})", true);
  EXPECT_EQ(ErrorOf([&] { TCustomDef::JSONToRttiValue("TCustomDef", *tooLarge); }),
            "'1e39' is not a valid floating point value");
}

TEST(DefTypesProperties, WriteInOrderAndReadSkippingIncompleteEntries) {
  TProperties properties;
  const int64_t emptySize = properties.GetSize();
  properties.Add("b", TValue::From(1));
  properties.Add("a", TValue::From(std::string("x")));
  EXPECT_EQ(properties.GetSize(), emptySize + 2 * 44);
  auto json = TJSONObject::Create();
  properties.ToJSON(*json);
  EXPECT_EQ(json->ToString(), R"({"Properties":[{"Name":"b","Value":1},{"Name":"a","Value":"x"}]})");

  const auto input = ParseObject(R"({"Properties": [
      {"Name": " Width ", "Value": 3}, {"Value": 1}, {"Name": 5, "Value": 1}, {"Name": "NoValue"}, 7,
      {"Name": "Color", "Value": -8355712}, {"Name": "Point", "Value": {"RecordType": "TPoint3D", "Value": [1, 2, 3]}}]})");
  properties.FromJSON(*input);
  ASSERT_EQ(properties.Keys().ToArray(), (std::vector<std::string>{"Width", "Color", "Point"}));
  EXPECT_EQ(properties.Items("Width").AsInteger(), 3);
  EXPECT_EQ(properties.Items("Point").AsType<TPoint3D>(), (TPoint3D{1, 2, 3}));

  const auto duplicate = ParseObject(R"({"Properties": [{"Name": "a", "Value": 1}, {"Name": "a ", "Value": 2},
                                                        {"Name": "c", "Value": 3}]})");
  EXPECT_THROW(properties.FromJSON(*duplicate), EListError);
  EXPECT_EQ(properties.Keys().ToArray(), (std::vector<std::string>{"a"}));

  properties.FromJSON(*ParseObject(R"({"Properties": {}})"));
  EXPECT_TRUE(properties.IsEmpty());
  auto empty = TJSONObject::Create();
  properties.ToJSON(*empty);
  EXPECT_EQ(empty->ToString(), R"({"Properties":[]})");
}

TEST(DefTypesBase, IdentityJSONAndSize) {
  auto def = MakeOwned<TCustomDef>();
  const int64_t base = def->GetSize();
  def->SetId("ab\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(def->GetSize(), base + 2 * 5);
  EXPECT_EQ(def->ToJSON()->ToString(), R"({"Type":"Vantrel.DefTypes.TCustomDef","Id":"ab)"
                                       "\xc3\xa9\xf0\x9f\x98\x80"
                                       R"("})");
  def->FromJSON(nullptr, *ParseObject(R"({"Id": 5})"));
  EXPECT_EQ(def->GetId(), "ab\xc3\xa9\xf0\x9f\x98\x80");
  def->FromJSON(nullptr, *ParseObject(R"({"Id": "Box"})"));
  EXPECT_EQ(def->GetId(), "Box");
  EXPECT_TRUE(def->LateResolveFromJSON(nullptr, *ParseObject("{}")));

  auto node = MakeOwned<TTransformDef>();
  EXPECT_EQ(ErrorOf([&] { node->GetAssetsPackage(); }),
            "TODO: override TCustomDef.GetAssetsPackage() in TTransformDef");
  EXPECT_GT(node->GetSize(), base);

  const TCustomDefClass& metaclass = TTransformDef::StaticClass();
  EXPECT_EQ(metaclass.QualifiedName(), "Vantrel.DefTypes.TTransformDef");
  TOwned<TCustomDef> made(metaclass.CreateDef(node.get()));
  EXPECT_EQ(CheckedCast<TTransformDef>(made.get())->GetOwnerRef(), node.get());
}

} // namespace
