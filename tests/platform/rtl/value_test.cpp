#include "rtl/value.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "rtl/properties.h"
#include "rtl/sysutils.h"

namespace {

enum class TShade { Light, Dark };
RTL_ENUM_TYPEINFO(TShade, "Light", "Dark");

struct TPairRec {
  float X = 0, Y = 0;
  bool operator==(const TPairRec&) const = default;
};
RTL_RECORD_TYPEINFO(TPairRec);

// Larger than the inline storage, with a member that owns memory.
struct TBigRec {
  std::array<double, 16> M{};
  std::string Label;
};
RTL_RECORD_TYPEINFO(TBigRec);

struct TNamedRec {
  std::string Name;
  int Id = 0;
};
RTL_RECORD_TYPEINFO(TNamedRec);

using rtl::EInvalidCast;
using rtl::TValue;

// One row per source kind; each cell is the expected text of the conversion, or "raise".
struct TConversionRow {
  const char* Source;
  TValue Value;
  const char* AsInteger;
  const char* AsInt64;
  const char* AsDouble;
  const char* AsBoolean;
  const char* AsString;
  const char* AsOrdinal;
};

std::string Attempt(const std::function<std::string()>& AConversion) {
  try {
    return AConversion();
  } catch (const EInvalidCast&) {
    return "raise";
  }
}

TEST(Value, ConversionTable) {
  const TConversionRow rows[] = {
      {"empty", TValue(), "0", "0", "0", "False", "", "0"},
      {"Integer", TValue::From(int32_t(-5)), "-5", "-5", "-5", "raise", "-5", "-5"},
      {"Cardinal", TValue::From(uint32_t(4000000000u)), "-294967296", "4000000000", "4000000000", "raise",
       "4000000000", "4000000000"},
      {"Int64 in range", TValue::From(int64_t(7)), "7", "7", "7", "raise", "7", "raise"},
      {"Int64 out of range", TValue::From(int64_t(1) << 40), "raise", "1099511627776", "1099511627776",
       "raise", "1099511627776", "raise"},
      {"Double", TValue::From(2.5), "raise", "raise", "2.5", "raise", "2.5", "raise"},
      {"Single", TValue::From(0.1f), "raise", "raise", "0.100000001490116", "raise", "0.100000001490116",
       "raise"},
      {"Boolean", TValue::From(true), "raise", "raise", "raise", "True", "True", "1"},
      {"enumeration", TValue::From(TShade::Dark), "raise", "raise", "raise", "raise", "Dark", "1"},
      {"string", TValue::From("text"), "raise", "raise", "raise", "raise", "text", "raise"},
      {"record", TValue::From(TPairRec{1, 2}), "raise", "raise", "raise", "raise", "raise", "raise"},
      {"object", TValue::From(static_cast<rtl::TObject*>(nullptr)), "raise", "raise", "raise", "raise",
       "raise", "raise"},
  };
  for (const auto& row : rows) {
    const TValue& v = row.Value;
    EXPECT_EQ(Attempt([&] { return std::to_string(v.AsInteger()); }), row.AsInteger) << row.Source;
    EXPECT_EQ(Attempt([&] { return std::to_string(v.AsInt64()); }), row.AsInt64) << row.Source;
    EXPECT_EQ(Attempt([&] { return rtl::FloatToStr(v.AsDouble()); }), row.AsDouble) << row.Source;
    const std::string raised = row.AsDouble == std::string("raise") ? "raise" : "value";
    EXPECT_EQ(Attempt([&] { return v.AsSingle() == float(v.AsDouble()) ? "value" : "narrowed wrong"; }),
              raised);
    EXPECT_EQ(Attempt([&] { return v.AsExtended() == v.AsDouble() ? "value" : "differs"; }), raised);
    EXPECT_EQ(Attempt([&] { return std::string(v.AsBoolean() ? "True" : "False"); }), row.AsBoolean)
        << row.Source;
    EXPECT_EQ(Attempt([&] { return v.AsString(); }), row.AsString) << row.Source;
    EXPECT_EQ(Attempt([&] { return std::to_string(v.AsOrdinal()); }), row.AsOrdinal) << row.Source;
  }
}

TEST(Value, RecordsByType) {
  const TValue small = TValue::From(TPairRec{1.5f, -2});
  EXPECT_EQ(small.Kind(), rtl::TTypeKind::tkRecord);
  EXPECT_EQ(small.TypeName(), "TPairRec");
  EXPECT_EQ(small.TypeInfo()->Size, sizeof(TPairRec));
  EXPECT_TRUE(small.IsType<TPairRec>());
  EXPECT_FALSE(small.IsType<TNamedRec>());
  EXPECT_EQ(small.AsType<TPairRec>(), (TPairRec{1.5f, -2}));
  EXPECT_THROW(small.AsType<TNamedRec>(), EInvalidCast);
  EXPECT_THROW(small.AsType<float>(), EInvalidCast);
  EXPECT_THROW(TValue::From(1.5f).AsType<TPairRec>(), EInvalidCast);
  EXPECT_EQ(small.ToString(), "(record)");

  TBigRec big;
  big.M[15] = 42;
  big.Label = std::string(100, 'L');
  TValue a = TValue::From(big);
  TValue b = a;
  TValue c = std::move(a);
  a = b;
  b = TValue::From(TNamedRec{std::string(50, 'n'), 3});
  c = c;
  EXPECT_EQ(c.AsType<TBigRec>().M[15], 42);
  EXPECT_EQ(a.AsType<TBigRec>().Label, big.Label);
  EXPECT_EQ(b.AsType<TNamedRec>().Name, std::string(50, 'n'));
  TValue moved = std::move(b);
  EXPECT_EQ(moved.AsType<TNamedRec>().Id, 3);
  EXPECT_TRUE(b.IsEmpty());

  // The empty value converts to a zeroed record.
  EXPECT_EQ(TValue().AsType<TPairRec>(), TPairRec{});
  EXPECT_TRUE(TValue().IsType<TPairRec>());
}

TEST(Value, TypeIdentitiesAndTextForms) {
  const TValue color = TValue::From(uint32_t(0xFF00FF00u), rtl::TypeInfoAlphaColor());
  EXPECT_EQ(color.TypeName(), "TAlphaColor");
  EXPECT_EQ(color.Kind(), rtl::TTypeKind::tkInteger);
  EXPECT_FALSE(color.IsType<uint32_t>());
  EXPECT_EQ(TValue::From(uint32_t(1)).TypeName(), "Cardinal");
  EXPECT_EQ(color.AsString(), "4278255360");
  EXPECT_EQ(TValue::From(1.0, rtl::TypeInfoDateTime()).TypeName(), "TDateTime");
  EXPECT_EQ(TValue::From(true, rtl::TypeInfoLongBool()).TypeName(), "LongBool");

  EXPECT_EQ(TValue().ToString(), "(empty)");
  EXPECT_EQ(TValue::From(1e20).ToString(), "1E20");
  EXPECT_EQ(TValue::From(false).ToString(), "False");
  EXPECT_EQ(TValue::From(TShade::Light).ToString(), "Light");
  EXPECT_EQ(TValue::From(std::string("s")).ToString(), "s");
}

class TGauge : public rtl::TObject {
  RTL_CLASS(TGauge, rtl::TObject)
public:
  float GetOpacity() const { return FOpacity; }
  void SetOpacity(float AValue) { FOpacity = AValue; }
  int32_t GetCount() const { return FCount; }
  void SetCount(int32_t AValue) { FCount = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Opacity", &TGauge::GetOpacity, &TGauge::SetOpacity);
    AList.Add("Count", &TGauge::GetCount, &TGauge::SetCount);
  }

private:
  float FOpacity = 0.5f;
  int32_t FCount = 0;
};
RTL_DEFINE_CLASS(TGauge, "Test.Values", &TGauge::RegisterProperties)

TEST(Value, PropertySettersConvertByTheTable) {
  rtl::TOwned<TGauge> gauge(rtl::New<TGauge>());
  rtl::SetPropValue(gauge.get(), "Opacity", TValue::From(1));
  EXPECT_EQ(gauge->GetOpacity(), 1.0f);
  rtl::SetPropValue(gauge.get(), "Count", TValue::From(int64_t(-7)));
  EXPECT_EQ(gauge->GetCount(), -7);
  EXPECT_THROW(rtl::SetPropValue(gauge.get(), "Count", TValue::From(int64_t(1) << 31)), EInvalidCast);
  EXPECT_THROW(rtl::SetPropValue(gauge.get(), "Count", TValue::From(2.0)), EInvalidCast);
  EXPECT_THROW(rtl::SetPropValue(gauge.get(), "Count", TValue::From(true)), EInvalidCast);
  EXPECT_EQ(gauge->GetCount(), -7);
}

} // namespace
