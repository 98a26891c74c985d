#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/math3d.h"
#include "rtl/properties.h"
#include "rtl/set.h"

namespace shapes {

enum class TShapeKind : uint8_t { skSquare, skCircle, skStar };
RTL_ENUM_TYPEINFO(TShapeKind, "skSquare", "skCircle", "skStar")

enum class TShapeOption : uint8_t { soFilled, soOutlined, soShadow };
RTL_ENUM_TYPEINFO(TShapeOption, "soFilled", "soOutlined", "soShadow")
using TShapeOptions = rtl::TSet<TShapeOption>;

class TPosition : public rtl::TPersistent {
  RTL_CLASS(TPosition, rtl::TPersistent)
public:
  float GetX() const { return FX; }
  void SetX(float AValue) { FX = AValue; }
  float GetY() const { return FY; }
  void SetY(float AValue) { FY = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("X", &TPosition::GetX, &TPosition::SetX);
    AList.Add("Y", &TPosition::GetY, &TPosition::SetY);
  }

private:
  float FX = 0, FY = 0;
};
RTL_DEFINE_CLASS(TPosition, "Test.Shapes", &TPosition::RegisterProperties)

class TEntry : public rtl::TCollectionItem {
  RTL_CLASS(TEntry, rtl::TCollectionItem)
};
RTL_DEFINE_CLASS(TEntry, "Test.Shapes")

// One published property of every kind the streamer and the definitions read and write.
class TShape : public rtl::TComponent {
  RTL_CLASS(TShape, rtl::TComponent)
public:
  explicit TShape(rtl::TComponent* AOwner)
      : TComponent(AOwner), FPosition(rtl::New<TPosition>()),
        FEntries(rtl::New<rtl::TOwnedCollection>(this, TEntry::StaticClass())) {}

#define SHAPE_PROPERTY(TType, AName)                                                                         \
  TType Get##AName() const {                                                                                 \
    return F##AName;                                                                                         \
  }                                                                                                          \
  void Set##AName(TType AValue) {                                                                            \
    F##AName = AValue;                                                                                       \
  }                                                                                                          \
  TType F##AName{};
  SHAPE_PROPERTY(int8_t, ShortInt)
  SHAPE_PROPERTY(uint8_t, Byte)
  SHAPE_PROPERTY(int16_t, SmallInt)
  SHAPE_PROPERTY(uint16_t, Word)
  SHAPE_PROPERTY(int32_t, Integer)
  SHAPE_PROPERTY(uint32_t, Cardinal)
  SHAPE_PROPERTY(int64_t, Int64)
  SHAPE_PROPERTY(uint64_t, UInt64)
  SHAPE_PROPERTY(float, Single)
  SHAPE_PROPERTY(double, Double)
  SHAPE_PROPERTY(bool, Visible)
  SHAPE_PROPERTY(std::string, Caption)
  SHAPE_PROPERTY(TShapeKind, Kind)
  SHAPE_PROPERTY(TShapeOptions, Options)
  SHAPE_PROPERTY(uint32_t, Color)
  SHAPE_PROPERTY(rtl::TComponent*, Buddy)
#undef SHAPE_PROPERTY

  TPosition* GetPosition() const {
    return FPosition.get();
  }
  void SetPosition(TPosition* AValue) {
    FPosition->Assign(AValue);
  }
  rtl::TOwnedCollection* GetEntries() const {
    return FEntries.get();
  }

  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("ShortInt", &TShape::GetShortInt, &TShape::SetShortInt);
    AList.Add("Byte", &TShape::GetByte, &TShape::SetByte);
    AList.Add("SmallInt", &TShape::GetSmallInt, &TShape::SetSmallInt);
    AList.Add("Word", &TShape::GetWord, &TShape::SetWord);
    AList.Add("Integer", &TShape::GetInteger, &TShape::SetInteger);
    AList.Add("Cardinal", &TShape::GetCardinal, &TShape::SetCardinal);
    AList.Add("Int64", &TShape::GetInt64, &TShape::SetInt64);
    AList.Add("UInt64", &TShape::GetUInt64, &TShape::SetUInt64);
    AList.Add("Single", &TShape::GetSingle, &TShape::SetSingle);
    AList.Add("Double", &TShape::GetDouble, &TShape::SetDouble);
    AList.Add("Visible", &TShape::GetVisible, &TShape::SetVisible).WithDefault(true);
    AList.Add("Caption", &TShape::GetCaption, &TShape::SetCaption);
    AList.Add("Kind", &TShape::GetKind, &TShape::SetKind).WithDefault(TShapeKind::skSquare);
    AList.Add("Options", &TShape::GetOptions, &TShape::SetOptions).WithDefault(TShapeOptions{});
    AList.Add("Color", &TShape::GetColor, &TShape::SetColor).AsType(rtl::TypeInfoAlphaColor());
    AList.Add("Buddy", &TShape::GetBuddy, &TShape::SetBuddy).AsReference();
    AList.Add("Position", &TShape::GetPosition, &TShape::SetPosition);
    AList.Add("Entries", &TShape::GetEntries);
  }

private:
  rtl::TOwned<TPosition> FPosition;
  rtl::TOwned<rtl::TOwnedCollection> FEntries;
};
RTL_DEFINE_CLASS(TShape, "Test.Shapes", &TShape::RegisterProperties)

} // namespace shapes

namespace {

using namespace shapes;

TEST(Properties, EveryKindIsSetFromTextAndReadBackByNameAndPath) {
  struct TCase {
    const char* Path;
    const char* Text;
    const char* Read;
  };
  const TCase cases[]{
      {"ShortInt", "-128", "-128"},
      {"Byte", "255", "255"},
      {"SmallInt", "-32768", "-32768"},
      {"Word", "65535", "65535"},
      {"Integer", "-2147483648", "-2147483648"},
      {"Cardinal", "4294967295", "4294967295"},
      {"Int64", "-9223372036854775808", "-9223372036854775808"},
      {"UInt64", "18446744073709551615", "18446744073709551615"},
      {"Single", "0.1", "0.100000001490116"},
      {"Double", "2.5", "2.5"},
      {"visible", "false", "False"},
      {"Caption", "Hello", "Hello"},
      {"Kind", "SKCIRCLE", "skCircle"},
      {"Options", "[soFilled, soShadow]", "[soFilled,soShadow]"},
      {"Options", "soOutlined", "[soOutlined]"},
      {"Options", "[]", "[]"},
      {"Color", "4278190335", "4278190335"},
      {"Position.X", "1.5", "1.5"},
      {"position.y", "-3", "-3"},
      {"Name", "Shape7", "Shape7"},
      {"Tag", "-7", "-7"},
  };
  auto shape = rtl::MakeOwned<TShape>(nullptr);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    rtl::SetPropValueFromString(shape.get(), c.Path, c.Text);
    EXPECT_EQ(rtl::GetPropValue(shape.get(), c.Path).AsString(), c.Read);
  }
  EXPECT_EQ(shape->GetPosition()->GetX(), 1.5f);
  EXPECT_EQ(shape->GetOptions(), TShapeOptions{});
  EXPECT_EQ(shape->GetKind(), TShapeKind::skCircle);
}

TEST(Properties, BadNamesAndValuesRaise) {
  struct TCase {
    const char* Path;
    const char* Text;
    const char* Error;
  };
  const TCase cases[]{
      {"Missing", "1", "EPropertyError"},
      {"Position.Missing", "1", "EPropertyError"},
      {"Missing.X", "1", "EPropertyError"},
      {"Caption.X", "1", "EPropertyError"},
      {"Byte", "256", "ERangeError"},
      {"ShortInt", "-129", "ERangeError"},
      {"Word", "-1", "ERangeError"},
      {"Cardinal", "-1", "ERangeError"},
      {"Int64", "9223372036854775808", "ERangeError"},
      {"UInt64", "-1", "EConvertError"},
      {"Integer", "12abc", "EConvertError"},
      {"Double", "", "EConvertError"},
      {"Kind", "skHexagon", "EPropertyError"},
      {"Options", "[soFilled,soBogus]", "EPropertyError"},
      {"Name", "1st", "EComponentError"},
  };
  auto shape = rtl::MakeOwned<TShape>(nullptr);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    try {
      rtl::SetPropValueFromString(shape.get(), c.Path, c.Text);
      ADD_FAILURE() << "no exception";
    } catch (const rtl::Exception& e) {
      EXPECT_STREQ(e.ClassName(), c.Error) << e.Message();
    }
  }
  EXPECT_FALSE(rtl::IsPublishedProp(shape.get(), "Position.Missing"));
  EXPECT_TRUE(rtl::IsPublishedProp(shape.get(), "Position.X"));
}

TEST(Properties, TypedValuesConvertToThePropertyType) {
  auto shape = rtl::MakeOwned<TShape>(nullptr);
  auto buddy = rtl::MakeOwned<TShape>(nullptr);
  rtl::SetPropValue(shape.get(), "Position.Y", rtl::TValue::From(3));
  rtl::SetPropValue(shape.get(), "Double", rtl::TValue::From(int64_t{1} << 40));
  rtl::SetPropValue(shape.get(), "Cardinal", rtl::TValue::From(uint64_t{4000000000}));
  rtl::SetPropValue(shape.get(), "Kind", rtl::TValue::From(TShapeKind::skStar));
  rtl::SetPropValue(shape.get(), "Options", rtl::TValue::From(TShapeOptions{TShapeOption::soShadow}));
  rtl::SetPropValue(shape.get(), "Buddy", rtl::TValue::From(buddy.get()));

  EXPECT_EQ(shape->GetPosition()->GetY(), 3.0f);
  EXPECT_EQ(shape->GetDouble(), 1099511627776.0);
  EXPECT_EQ(shape->GetCardinal(), 4000000000u);
  EXPECT_EQ(rtl::GetPropValue(shape.get(), "Kind").AsType<TShapeKind>(), TShapeKind::skStar);
  EXPECT_EQ(rtl::GetPropValue(shape.get(), "Options").AsType<TShapeOptions>(),
            TShapeOptions{TShapeOption::soShadow});
  EXPECT_EQ(shape->GetBuddy(), buddy.get());
  EXPECT_EQ(rtl::GetPropValue(shape.get(), "Color").TypeInfo(), &rtl::TypeInfoAlphaColor());
  EXPECT_EQ(rtl::GetPropValue(shape.get(), "Entries").AsObject(), shape->GetEntries());

  EXPECT_THROW(rtl::SetPropValue(shape.get(), "Kind", rtl::TValue::FromOrdinal(rtl::TypeInfoInteger(), 3)),
               rtl::ERangeError);
  EXPECT_THROW(rtl::SetPropValue(shape.get(), "Options", rtl::TValue::FromOrdinal(rtl::TypeInfoInteger(), 8)),
               rtl::ERangeError);
  EXPECT_THROW(rtl::SetPropValue(shape.get(), "Entries", rtl::TValue::From(buddy.get())),
               rtl::EPropertyError);
  EXPECT_THROW(rtl::SetPropValue(shape.get(), "Buddy", rtl::TValue::From(shape->GetPosition())),
               rtl::EInvalidCast);
}

TEST(Properties, ListIsInDeclarationOrderInheritedFirstWithStylesAndStorage) {
  const auto list = rtl::GetPropList(TShape::StaticClass());
  std::vector<std::string> names;
  for (const rtl::TPropInfo* prop : list)
    names.push_back(prop->Name);
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
            (std::vector<std::string>{"Name", "Tag", "ShortInt", "Byte"}));
  EXPECT_EQ(names.back(), "Entries");

  auto style = [](const char* AName) { return rtl::GetPropInfo(TShape::StaticClass(), AName)->Style; };
  EXPECT_EQ(style("Buddy"), rtl::TPropStyle::Reference);
  EXPECT_EQ(style("Position"), rtl::TPropStyle::Nested);
  EXPECT_EQ(style("Entries"), rtl::TPropStyle::Nested);
  EXPECT_EQ(style("Options"), rtl::TPropStyle::Value);
  EXPECT_EQ(rtl::GetPropInfo(TShape::StaticClass(), "Options")->Type->Kind, rtl::TTypeKind::tkSet);

  auto shape = rtl::MakeOwned<TShape>(nullptr);
  auto stored = [&](const char* AName) {
    return rtl::GetPropInfo(TShape::StaticClass(), AName)->IsStored(shape.get());
  };
  shape->SetName("Shape1");
  EXPECT_FALSE(stored("Name"));
  EXPECT_FALSE(stored("Tag"));
  EXPECT_TRUE(stored("Visible")); // false differs from the default True
  EXPECT_FALSE(stored("Options"));
  shape->SetTag(4);
  shape->SetVisible(true);
  shape->SetOptions({TShapeOption::soFilled});
  EXPECT_TRUE(stored("Tag"));
  EXPECT_FALSE(stored("Visible"));
  EXPECT_TRUE(stored("Options"));
}

// A record-typed property with a default: storage compares the record by value.
class TPin : public rtl::TPersistent {
  RTL_CLASS(TPin, rtl::TPersistent)
public:
  const rtl::TPoint3D& GetAt() const { return FAt; }
  void SetAt(const rtl::TPoint3D& AValue) { FAt = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("At", &TPin::GetAt, &TPin::SetAt).WithDefault(rtl::TPoint3D{1, 2, 3});
  }

private:
  rtl::TPoint3D FAt{1, 2, 3};
};
RTL_DEFINE_CLASS(TPin, "Test.Shapes", &TPin::RegisterProperties)

TEST(Properties, ARecordDefaultIsComparedByValue) {
  auto pin = rtl::MakeOwned<TPin>();
  const rtl::TPropInfo* at = rtl::GetPropInfo(TPin::StaticClass(), "At");
  EXPECT_FALSE(at->IsStored(pin.get()));
  pin->SetAt({1, 2, 4});
  EXPECT_TRUE(at->IsStored(pin.get()));
}

TEST(Sets, BitNIsOrdinalN) {
  const TShapeOptions filled{TShapeOption::soFilled};
  const TShapeOptions both{TShapeOption::soFilled, TShapeOption::soShadow};
  EXPECT_EQ(both.Bits(), 0b101u);
  EXPECT_EQ(TShapeOptions::FromBits(0b101), both);
  EXPECT_EQ(both - filled, TShapeOptions{TShapeOption::soShadow});
  EXPECT_EQ(both * TShapeOptions({TShapeOption::soShadow, TShapeOption::soOutlined}),
            TShapeOptions{TShapeOption::soShadow});
  EXPECT_EQ((filled + TShapeOptions{TShapeOption::soOutlined}).Count(), 2);
  EXPECT_TRUE(filled.IsSubsetOf(both));
  EXPECT_FALSE(both.IsSubsetOf(filled));
  EXPECT_TRUE(TShapeOptions(both).Exclude(TShapeOption::soFilled).Contains(TShapeOption::soShadow));
  EXPECT_FALSE(TShapeOptions(both).Exclude(TShapeOption::soFilled).Contains(TShapeOption::soFilled));
  EXPECT_EQ(rtl::TypeInfoOf<TShapeOptions>().Name, "set of TShapeOption");
  EXPECT_EQ(rtl::TValue::From(both).ToString(), "[soFilled,soShadow]");
  EXPECT_THROW(TShapeOptions{static_cast<TShapeOption>(64)}, rtl::ERangeError);
}

// A descendant declaring an ancestor's property again (with its own default) replaces it in the
// list, in the ancestor's place: the property is written once, against the descendant's default.
class TLeaningPosition : public TPosition {
  RTL_CLASS(TLeaningPosition, TPosition)
public:
  TLeaningPosition() { SetX(5); }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("X", &TLeaningPosition::GetX, &TLeaningPosition::SetX).WithDefault(5.0f);
    AList.Add("Tilt", &TLeaningPosition::GetX, &TLeaningPosition::SetX);
  }
};
RTL_DEFINE_CLASS(TLeaningPosition, "Test.Shapes", &TLeaningPosition::RegisterProperties)

TEST(Properties, ARedeclaredPropertyIsListedOnceWithTheDescendantsDefault) {
  const auto list = rtl::GetPropList(TLeaningPosition::StaticClass());
  std::vector<std::string> names;
  for (const rtl::TPropInfo* info : list)
    names.push_back(info->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"X", "Y", "Tilt"}));
  EXPECT_EQ(list[0]->Owner, &TLeaningPosition::StaticClass());
  EXPECT_EQ(rtl::GetPropInfo(TLeaningPosition::StaticClass(), "X"), list[0]);
}

} // namespace
