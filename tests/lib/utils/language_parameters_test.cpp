#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/types2d.h"
#include "utils/Vantrel.Utils.Language.h"
#include "utils/Vantrel.Utils.Parameters.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;

namespace {

std::unique_ptr<TJSONObject> Reparsed(const TJSONObject& AObject) {
  auto value = TJSONValue::ParseJSONValue(AObject.ToJSON(), true);
  return std::unique_ptr<TJSONObject>(dynamic_cast<TJSONObject*>(value.release()));
}

TMz_XmlElement* FirstElement(TMz_XmlDocument& ADocument, const std::string& AXml) {
  ADocument.loadFromString("<?xml version=\"1.0\"?>" + AXml);
  return (*dynamic_cast<TMz_XmlElement*>(ADocument.root())->nodes())[0];
}

} // namespace

TEST(LanguageMap, CodeTable) {
  EXPECT_EQ(LanguageCodeToIndex("de-at"), 3);
  EXPECT_EQ(LanguageCodeToIndex("fr-fr"), 0);
  EXPECT_EQ(LanguageCodeToIndex("DE-AT"), 0);
  EXPECT_EQ(LanguageIndexToCode(7), "en-us");
  EXPECT_EQ(LanguageIndexToCode(4), "de-ch");
}

TEST(LanguageMap, ReadsBothXmlForms) {
  TVantrelLanguageMap map;
  map.Add("de-de", "Schwert");
  TMz_XmlDocument single;
  map.FromXml(FirstElement(single, "<name lang=\"en-uk\">Sword</name>"));
  ASSERT_EQ(map.Count(), 2);
  EXPECT_EQ(map.Items("en-uk"), "Sword");
  TMz_XmlDocument again;
  map.FromXml(FirstElement(again, "<name id=\"de-de\">Klinge</name>"));
  EXPECT_EQ(map.Keys().ToArray(), (std::vector<std::string>{"de-de", "en-uk"}));
  EXPECT_EQ(map.Items("de-de"), "Klinge");

  TMz_XmlDocument multi;
  map.FromXml(FirstElement(multi, "<text type=\"multilingual\"><lang id=\"en-us\"><![CDATA[Hi]]></lang>"
                                  "<lang id=\"de-de\"></lang><lang id=\"de-at\"><!--only a comment--></lang>"
                                  "<lang>no id</lang><other id=\"de-ch\">x</other></text>"));
  ASSERT_EQ(map.Count(), 2);
  EXPECT_EQ(map.Items("en-us"), "Hi");
  EXPECT_EQ(map.Items("de-de"), "");
}

TEST(LanguageMap, JsonRoundTripAndJunk) {
  TVantrelLanguageMap map;
  map.Add("en-us", "Hello");
  map.Add("de-de", "Hallo");
  EXPECT_EQ(map.ToJSON()->ToJSON(), "{\"Values\":[{\"Key\":\"en-us\",\"Value\":\"Hello\"},"
                                    "{\"Key\":\"de-de\",\"Value\":\"Hallo\"}]}");
  map.AddOrSetValue("en-us", "line\nbreak and \"quote\"");
  TVantrelLanguageMap copy;
  copy.Add("old", "gone");
  copy.FromJSON(Reparsed(*map.ToJSON()).get());
  EXPECT_EQ(copy.ToJSON()->ToJSON(), map.ToJSON()->ToJSON());

  auto junk = TJSONValue::ParseJSONValue(
      R"({"Values":[1,{"Key":2,"Value":"x"},{"Key":"a"},{"Key":"b","Value":3},{"Key":"c","Value":"ok"}]})",
      true);
  copy.FromJSON(dynamic_cast<TJSONObject*>(junk.get()));
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_EQ(copy.Items("c"), "ok");
  copy.FromJSON(nullptr);
  EXPECT_EQ(copy.Count(), 0);

  TVantrelLanguageMap assigned;
  assigned.Add("x", "y");
  assigned.Assign(&map);
  EXPECT_EQ(assigned.ToJSON()->ToJSON(), map.ToJSON()->ToJSON());
}

TEST(ParametersMap, JsonThroughTextAndBack) {
  TVantrelParametersMap map;
  map.Add("vector", TValue::From(TVector3D{1, 2, 3, 1}));
  map.Add("point", TValue::From(TPoint{3, -4}));
  map.Add("pointf", TValue::From(TPointF{0.5f, 1.5f}));
  map.Add("point3d", TValue::From(TPoint3D{1, 2, 3}));
  map.Add("quaternion", TValue::From(TQuaternion3D({1, 2, 3}, 4)));
  TMatrix matrix;
  for (int i = 0; i < 9; ++i)
    matrix(i / 3, i % 3) = static_cast<float>(i + 1);
  map.Add("matrix", TValue::From(matrix));
  TMatrix3D matrix3d;
  for (int i = 0; i < 16; ++i)
    matrix3d(i / 4, i % 4) = static_cast<float>(i) / 4;
  map.Add("matrix3d", TValue::From(matrix3d));
  map.Add("color", TValue::From(TAlphaColorF{0.25f, 0.5f, 0.75f, 1}));
  map.Add("half", TValue::From(2.5));
  map.Add("whole", TValue::From(2.0));
  map.Add("huge", TValue::From(1e20));
  map.Add("wide", TValue::From(3000000000.0));
  map.Add("single", TValue::From(0.1f));
  map.Add("flag", TValue::From(true));
  map.Add("text", TValue::From(std::string("x")));
  map.Add("nothing", TValue());
  map.Add("nan", TValue::From(std::numeric_limits<double>::quiet_NaN()));

  const std::unique_ptr<TJSONObject> json = map.ToJSON();
  const std::string text = json->ToJSON();
  EXPECT_NE(text.find(R"({"Key":"vector","Value":{"Class":"TVector3D","FloatArrayValue":[1,2,3,1]}})"),
            std::string::npos);
  EXPECT_NE(text.find(R"({"Key":"single","Value":0.1})"), std::string::npos);
  EXPECT_NE(text.find(R"({"Key":"nan","Value":null})"), std::string::npos);

  TVantrelParametersMap back;
  back.FromJSON(Reparsed(*json).get());
  ASSERT_EQ(back.Count(), map.Count());
  for (const char* record :
       {"vector", "point", "pointf", "point3d", "quaternion", "matrix", "matrix3d", "color"}) {
    SCOPED_TRACE(record);
    EXPECT_EQ(back.Items(record).TypeName(), map.Items(record).TypeName());
  }
  EXPECT_EQ(back.Items("vector").AsType<TVector3D>(), (TVector3D{1, 2, 3, 1}));
  EXPECT_EQ(back.Items("point").AsType<TPoint>(), (TPoint{3, -4}));
  EXPECT_EQ(back.Items("quaternion").AsType<TQuaternion3D>().RealPart, 4);
  EXPECT_EQ(back.Items("matrix").AsType<TMatrix>(), matrix);
  EXPECT_EQ(back.Items("matrix3d").AsType<TMatrix3D>(), matrix3d);
  EXPECT_EQ(back.Items("color").AsType<TAlphaColorF>(), (TAlphaColorF{0.25f, 0.5f, 0.75f, 1}));

  struct TScalar {
    const char* Key;
    const char* Type;
    std::string Text;
  } scalars[] = {
      {"half", "Double", "2.5"},   {"whole", "Integer", "2"},
      {"huge", "Double", "1E20"},  {"wide", "Double", "3000000000"},
      {"flag", "Boolean", "True"}, {"text", "string", "x"},
      {"nothing", "", ""},         {"nan", "", ""},
  };
  for (const TScalar& scalar : scalars) {
    SCOPED_TRACE(scalar.Key);
    EXPECT_EQ(back.Items(scalar.Key).TypeName(), scalar.Type);
    EXPECT_EQ(back.Items(scalar.Key).AsString(), scalar.Text);
  }

  auto odd = TJSONValue::ParseJSONValue(
      R"({"Values":[{"Key":"p","Value":{"Class":"TPoint","FloatArrayValue":[1.5,2.5]}},)"
      R"({"Key":"short","Value":{"Class":"TVector3D","FloatArrayValue":[7]}},)"
      R"({"Key":"unknown","Value":{"Class":"TNope","FloatArrayValue":[1]}},)"
      R"({"Key":"array","Value":[1]},{"Key":"null","Value":null}]})",
      true);
  back.FromJSON(dynamic_cast<TJSONObject*>(odd.get()));
  EXPECT_EQ(back.Items("p").AsType<TPoint>(), (TPoint{2, 2}));
  EXPECT_EQ(back.Items("short").AsType<TVector3D>(), (TVector3D{7, 0, 0, 0}));
  for (const char* empty : {"unknown", "array", "null"})
    EXPECT_TRUE(back.Items(empty).IsEmpty()) << empty;

  TVantrelParametersMap wide;
  wide.Add("big", TValue::From<int64_t>(3000000000));
  EXPECT_THROW(wide.ToJSON(), EInvalidCast);
}
