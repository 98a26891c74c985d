// The definition base: the metaclass, TCustomDef with its typed JSON readers, the conversion
// between typed values and JSON, and TProperties.

#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/colors.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "rtl/types2d.h"
#include "rtl/utf8.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TCustomDef)

namespace {

constexpr int64_t PropertyEntrySize = 44;

namespace messages {
constexpr const char* AssetsPackageNotOverridden = "TODO: override TCustomDef.GetAssetsPackage() in %s";
constexpr const char* MissingRecordValue = "Missing value in RecordType \"%s\" in JSONToRttiValue of %s";
constexpr const char* UnexpectedRecordValue =
    "Unexpected value type in RecordType \"%s\" found in JSONToRttiValue of %s";
constexpr const char* UnexpectedPointValue =
    "TCustomDef.JSONToRttiValue(TPoint) - unexpected value found \"%s\"";
constexpr const char* UnexpectedColorValue =
    "TCustomDef.JSONToRttiValue(TAlphaColor) - unexpected value found \"%s\"";
constexpr const char* UnsupportedRecordType = "Unsupported RecordType \"%s\" found in JSONToRttiValue of %s";
} // namespace messages

template <class T> const T* MemberAs(const TJSONObject& AValue, std::string_view AName) {
  return dynamic_cast<const T*>(AValue.GetValue(AName));
}

bool HasFractionText(std::string_view AText) {
  return AText.find_first_of(".,") != std::string_view::npos;
}

// ---- records and JSON ----

// {"RecordType": name, "Value": [numbers]}: floats with their shortest digits, or integers.
template <class T>
std::unique_ptr<TJSONObject> RecordObject(std::string_view ARecordType, std::initializer_list<T> AValues) {
  auto array = TJSONArray::Create();
  for (const T value : AValues)
    array->Add(value);
  auto result = TJSONObject::Create();
  result->AddPair("RecordType", ARecordType);
  result->AddPair("Value", std::move(array));
  return result;
}

std::unique_ptr<TJSONValue> UniformToJSON(const TUBOUniformDef& AUniform) {
  auto result = TJSONObject::Create();
  result->AddPair("RecordType", "TUBOUniformDef");
  result->AddPair("Name", AUniform.Name);
  result->AddPair("DataType", AUniform.DataType);
  result->AddPair("Layout", AUniform.Layout);
  result->AddPair("ArrayLength", AUniform.ArrayLength);
  result->AddPair("ValueAsString", AUniform.ValueAsString);
  return result;
}

// The JSON form of the records that have one; nullptr for other records.
std::unique_ptr<TJSONValue> RecordToJSON(const TValue& AValue) {
  const TTypeInfo* type = AValue.TypeInfo();
  if (type == &TypeInfoOf<TPoint>()) {
    const auto p = AValue.AsType<TPoint>();
    return RecordObject<int32_t>("TPoint", {p.X, p.Y});
  }
  if (type == &TypeInfoOf<TPointF>()) {
    const auto p = AValue.AsType<TPointF>();
    return RecordObject<float>("TPointF", {p.X, p.Y});
  }
  if (type == &TypeInfoOf<TPoint3D>()) {
    const auto p = AValue.AsType<TPoint3D>();
    return RecordObject<float>("TPoint3D", {p.X, p.Y, p.Z});
  }
  if (type == &TypeInfoOf<TVector3D>()) {
    const auto v = AValue.AsType<TVector3D>();
    return RecordObject<float>("TVector3D", {v.X, v.Y, v.Z, v.W});
  }
  if (type == &TypeInfoOf<TMatrix>()) {
    const auto m = AValue.AsType<TMatrix>();
    return RecordObject<float>("TMatrix", {m.m11, m.m12, m.m13, m.m21, m.m22, m.m23, m.m31, m.m32, m.m33});
  }
  if (type == &TypeInfoOf<TMatrix3D>()) {
    const auto m = AValue.AsType<TMatrix3D>();
    return RecordObject<float>("TMatrix3D", {m.m11, m.m12, m.m13, m.m14, m.m21, m.m22, m.m23, m.m24, m.m31,
                                             m.m32, m.m33, m.m34, m.m41, m.m42, m.m43, m.m44});
  }
  if (type == &TypeInfoOf<TAlphaColorF>()) {
    const auto c = AValue.AsType<TAlphaColorF>();
    return RecordObject<float>("TAlphaColorF", {c.R, c.G, c.B, c.A});
  }
  if (type == &TypeInfoOf<TUBOUniformDef>())
    return UniformToJSON(AValue.AsType<TUBOUniformDef>());
  return nullptr;
}

std::unique_ptr<TJSONValue> FloatToJSON(const TValue& AValue) {
  const double value = AValue.AsDouble();
  if (!std::isfinite(value))
    return TJSONString::Create(AValue.AsString());
  if (AValue.TypeInfo()->Size == 4)
    return TJSONNumber::Create(AValue.AsSingle());
  return TJSONNumber::Create(value);
}

std::unique_ptr<TJSONValue> Int64ToJSON(const TValue& AValue) {
  if (AValue.TypeInfo()->IsUnsigned)
    return TJSONNumber::FromText(rtl::IntToStr(AValue.AsUInt64()));
  return TJSONNumber::Create(AValue.AsInt64());
}

// Reads the elements of a record's "Value" array.
class TRecordReader {
public:
  TRecordReader(std::string_view AContextClass, std::string_view ARecordType, const TJSONObject& AObject)
      : FContextClass(AContextClass), FRecordType(ARecordType), FObject(AObject) {}

  // The "Value" array, which must hold exactly ACount elements.
  const TJSONArray& Values(int ACount) const {
    const auto* array = MemberAs<TJSONArray>(FObject, "Value");
    if (!array || array->Count() != ACount)
      throw EConvertError(Format(messages::UnexpectedRecordValue, {FRecordType, FContextClass}));
    return *array;
  }

  template <size_t N> std::array<float, N> Floats() const {
    const TJSONArray& array = Values(static_cast<int>(N));
    std::array<float, N> result{};
    for (size_t i = 0; i < N; ++i) {
      const auto* number = dynamic_cast<const TJSONNumber*>(array.Items(static_cast<int>(i)));
      if (!number)
        throw EInvalidCast(rtl::messages::InvalidCast);
      // A Single that does not hold the value could not be written back as a number.
      const double value = StrToFloat(number->Value());
      if (std::fabs(value) > std::numeric_limits<float>::max())
        throw EConvertError(Format(rtl::messages::InvalidFloat, {number->Value()}));
      result[i] = static_cast<float>(value);
    }
    return result;
  }

  // Integers through JSONNumberToInteger; any failing element raises AMessage with the array's text.
  template <size_t N> std::array<int32_t, N> Integers(const char* AMessage) const {
    const TJSONArray& array = Values(static_cast<int>(N));
    std::array<int32_t, N> result{};
    try {
      for (size_t i = 0; i < N; ++i) {
        const auto* number = dynamic_cast<const TJSONNumber*>(array.Items(static_cast<int>(i)));
        if (!number)
          throw EInvalidCast(rtl::messages::InvalidCast);
        result[i] = TCustomDef::JSONNumberToInteger(*number);
      }
    } catch (const rtl::Exception&) {
      throw EConvertError(Format(AMessage, {array.ToString()}));
    }
    return result;
  }

private:
  std::string_view FContextClass;
  std::string_view FRecordType;
  const TJSONObject& FObject;
};

TValue UniformFromJSON(const TJSONObject& AObject) {
  TUBOUniformDef uniform;
  if (const auto* name = MemberAs<TJSONString>(AObject, "Name"))
    uniform.Name = name->Value();
  if (const auto* text = MemberAs<TJSONString>(AObject, "ValueAsString"))
    uniform.ValueAsString = text->Value();
  uniform.DataType = TCustomDef::GetJSONInteger(AObject, "DataType", 0);
  uniform.Layout = TCustomDef::GetJSONInteger(AObject, "Layout", 0);
  uniform.ArrayLength = TCustomDef::GetJSONInteger(AObject, "ArrayLength", 0);
  return TValue::From(uniform);
}

TValue RecordFromJSON(std::string_view AContextClass, std::string_view ARecordType,
                      const TJSONObject& AObject) {
  if (ARecordType == "TUBOUniformDef")
    return UniformFromJSON(AObject);
  if (!AObject.GetValue("Value"))
    throw EConvertError(Format(messages::MissingRecordValue, {ARecordType, AContextClass}));
  const TRecordReader reader(AContextClass, ARecordType, AObject);
  if (ARecordType == "TPoint") {
    const auto v = reader.Integers<2>(messages::UnexpectedPointValue);
    return TValue::From(TPoint{v[0], v[1]});
  }
  if (ARecordType == "TPointF") {
    const auto v = reader.Floats<2>();
    return TValue::From(TPointF{v[0], v[1]});
  }
  if (ARecordType == "TPoint3D") {
    const auto v = reader.Floats<3>();
    return TValue::From(TPoint3D{v[0], v[1], v[2]});
  }
  if (ARecordType == "TVector3D") {
    const auto v = reader.Floats<4>();
    return TValue::From(TVector3D{v[0], v[1], v[2], v[3]});
  }
  if (ARecordType == "TMatrix") {
    const auto v = reader.Floats<9>();
    return TValue::From(TMatrix{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]});
  }
  if (ARecordType == "TMatrix3D") {
    const auto v = reader.Floats<16>();
    TMatrix3D m;
    for (int i = 0; i < 16; ++i)
      m(i / 4, i % 4) = v[static_cast<size_t>(i)];
    return TValue::From(m);
  }
  if (ARecordType == "TAlphaColor") {
    const auto v = reader.Integers<4>(messages::UnexpectedColorValue);
    const TAlphaColorRec channels{uint8_t(v[2]), uint8_t(v[1]), uint8_t(v[0]), uint8_t(v[3])};
    return TValue::From(channels.Color(), rtl::TypeInfoAlphaColor());
  }
  if (ARecordType == "TAlphaColorF") {
    const auto v = reader.Floats<4>();
    return TValue::From(TAlphaColorF{v[0], v[1], v[2], v[3]});
  }
  throw EConvertError(Format(messages::UnsupportedRecordType, {ARecordType, AContextClass}));
}

TValue NumberFromJSON(const TJSONNumber& ANumber) {
  // An exponent marks a float as much as a decimal point does: "1E-7" is no integer.
  const std::string_view text = ANumber.Value();
  if (text.find_first_of(".,eE") != std::string_view::npos)
    return TValue::From(StrToFloat(text));
  return TValue::From(static_cast<int32_t>(StrToInt(text)));
}

} // namespace

// ---- TCustomDefClass ----

TCustomDefClass::TCustomDefClass(std::string AName, std::string AUnitName, TClass* AParent,
                                 TObjectFactory AFactory, TRegisterProperties ARegisterProperties,
                                 TDefFactory ADefFactory, size_t AInstanceSize)
    : TClass(std::move(AName), std::move(AUnitName), AParent, AFactory, ARegisterProperties),
      FDefFactory(ADefFactory), FInstanceSize(AInstanceSize) {}

TCustomDef* TCustomDefClass::CreateDef(TCustomDef* AOwner) const {
  if (IsAbstract())
    throw EAbstractError(rtl::messages::AbstractError);
  return rtl::Construct(FDefFactory(AOwner));
}

// ---- TCustomDef ----

int64_t TCustomDef::GetSize() const {
  // A class declared without its own definition metaclass counts as its nearest ancestor that has
  // one.
  const TClass* type = &ClassType();
  while (!dynamic_cast<const TCustomDefClass*>(type))
    type = type->Parent();
  return static_cast<int64_t>(static_cast<const TCustomDefClass*>(type)->InstanceSize()) +
         StringByteSize(FId);
}

TObject* TCustomDef::GetAssetsPackage() const {
  throw Exception(Format(messages::AssetsPackageNotOverridden, {ClassName()}));
}

std::unique_ptr<TJSONObject> TCustomDef::ToJSON() const {
  auto result = TJSONObject::Create();
  result->AddPair("Type", ClassType().QualifiedName());
  result->AddPair("Id", FId);
  return result;
}

void TCustomDef::FromJSON(TModelDef*, const TJSONObject& AValue) {
  FId = GetJSONString(AValue, "Id", FId);
}

bool TCustomDef::LateResolveFromJSON(TModelDef*, const TJSONObject&) {
  return true;
}

int64_t TCustomDef::StringByteSize(std::string_view AText) {
  int64_t units = 0;
  const char* cursor = AText.data();
  const char* const end = cursor + AText.size();
  while (cursor < end)
    units += rtl::NextUtf8(cursor, end) > 0xFFFF ? 2 : 1;
  return units * 2;
}

std::string TCustomDef::GetJSONString(const TJSONObject& AValue, std::string_view AName,
                                      std::string_view ADefault) {
  const auto* text = MemberAs<TJSONString>(AValue, AName);
  return std::string(text ? text->Value() : ADefault);
}

std::string TCustomDef::GetJSONValueText(const TJSONObject& AValue, std::string_view AName,
                                         std::string_view ADefault) {
  const TJSONValue* value = AValue.GetValue(AName);
  return std::string(value ? value->Value() : ADefault);
}

double TCustomDef::GetJSONFloat(const TJSONObject& AValue, std::string_view AName, double ADefault) {
  const auto* number = MemberAs<TJSONNumber>(AValue, AName);
  double result = 0;
  return number && TryStrToFloat(number->Value(), result) ? result : ADefault;
}

int32_t TCustomDef::GetJSONInteger(const TJSONObject& AValue, std::string_view AName, int32_t ADefault) {
  const auto* number = MemberAs<TJSONNumber>(AValue, AName);
  return number ? JSONNumberToInteger(*number) : ADefault;
}

bool TCustomDef::GetJSONBoolean(const TJSONObject& AValue, std::string_view AName, bool ADefault) {
  const auto* boolean = MemberAs<rtl::TJSONBool>(AValue, AName);
  return boolean ? boolean->AsBoolean() : ADefault;
}

TPoint3D TCustomDef::GetJSONPoint3D(const TJSONObject& AValue, std::string_view AName,
                                    const TPoint3D& ADefault) {
  const std::string text = GetJSONValueText(AValue, AName);
  return text.empty() ? ADefault : StringToPoint3D(text);
}

TVector3D TCustomDef::GetJSONVector3D(const TJSONObject& AValue, std::string_view AName,
                                      const TVector3D& ADefault) {
  const std::string text = GetJSONValueText(AValue, AName);
  return text.empty() ? ADefault : StringToVector3D(text);
}

TMatrix3D TCustomDef::GetJSONMatrix3D(const TJSONObject& AValue, std::string_view AName,
                                      const TMatrix3D& ADefault) {
  const std::string text = GetJSONValueText(AValue, AName);
  return text.empty() ? ADefault : StringToMatrix3D(text);
}

TGUID TCustomDef::GetJSONGUID(const TJSONObject& AValue, std::string_view AName, const TGUID& ADefault) {
  const std::string text = GetJSONValueText(AValue, AName);
  if (text.empty())
    return ADefault;
  try {
    return TGUID::Create(text);
  } catch (const EConvertError&) {
    return ADefault;
  }
}

bool TCustomDef::HasJSONValue(const TJSONObject& AValue, std::string_view AName) {
  return AValue.GetValue(AName) != nullptr;
}

bool TCustomDef::HasJSONValueOfClass(const TJSONObject& AValue, std::string_view AName,
                                     const TClass& AJSONClass) {
  const TJSONValue* value = AValue.GetValue(AName);
  return value && value->InheritsFrom(AJSONClass);
}

int32_t TCustomDef::JSONNumberToInteger(const TJSONNumber& ANumber) {
  // Plain digits, the common case, read as StrToInt would read them; a number read from binary
  // data answers without making its text.
  int32_t plain = 0;
  if (ANumber.TryAsPlainInt32(plain))
    return plain;
  const std::string_view text = ANumber.Value();
  if (!HasFractionText(text))
    return StrToInt(text);
  double value = 0;
  constexpr double limit = 4'294'967'296.0;
  if (!TryStrToFloat(text, value) || !(std::fabs(value) < limit))
    throw EConvertError(Format(rtl::messages::InvalidInteger, {text}));
  const int64_t rounded = Round(value);
  if (rounded < std::numeric_limits<int32_t>::min() || rounded > std::numeric_limits<int32_t>::max())
    throw EConvertError(Format(rtl::messages::InvalidInteger, {text}));
  return static_cast<int32_t>(rounded);
}

std::unique_ptr<TJSONValue> TCustomDef::RttiValueToJSON(const TValue& AValue) {
  switch (AValue.Kind()) {
  case TTypeKind::tkUnknown:
    return TJSONNull::Create();
  case TTypeKind::tkInteger:
    // Colours and other unsigned 32-bit values are written as their signed bit pattern.
    return TJSONNumber::Create(static_cast<int32_t>(static_cast<uint32_t>(AValue.AsInt64())));
  case TTypeKind::tkInt64:
    return Int64ToJSON(AValue);
  case TTypeKind::tkFloat:
    return FloatToJSON(AValue);
  case TTypeKind::tkBoolean:
    return rtl::TJSONBool::Create(AValue.AsBoolean());
  case TTypeKind::tkEnumeration:
  case TTypeKind::tkChar:
  case TTypeKind::tkString:
    return TJSONString::Create(AValue.AsString());
  case TTypeKind::tkRecord:
    if (auto record = RecordToJSON(AValue))
      return record;
    return TJSONString::Create(AValue.ToString());
  default:
    return TJSONString::Create(AValue.ToString());
  }
}

TValue TCustomDef::JSONToRttiValue(std::string_view AContextClass, const TJSONValue& AValue) {
  if (const auto* number = dynamic_cast<const TJSONNumber*>(&AValue))
    return NumberFromJSON(*number);
  if (const auto* boolean = dynamic_cast<const rtl::TJSONBool*>(&AValue))
    return TValue::From(boolean->AsBoolean());
  if (dynamic_cast<const TJSONArray*>(&AValue))
    return TValue::From(AValue.ToString());
  if (const auto* object = dynamic_cast<const TJSONObject*>(&AValue)) {
    if (const auto* recordType = MemberAs<TJSONString>(*object, "RecordType"))
      return RecordFromJSON(AContextClass, recordType->Value(), *object);
    return TValue::From(AValue.ToString());
  }
  return TValue::From(AValue.Value());
}

// ---- TProperties ----

int64_t TProperties::GetSize() const {
  return static_cast<int64_t>(sizeof(TProperties)) + PropertyEntrySize * Count();
}

void TProperties::ToJSON(TJSONObject& AJSON) const {
  auto array = TJSONArray::Create();
  for (const auto& [name, value] : *this) {
    auto entry = TJSONObject::Create();
    entry->AddPair("Name", name);
    entry->AddPair("Value", TCustomDef::RttiValueToJSON(value));
    array->Add(std::move(entry));
  }
  AJSON.AddPair("Properties", std::move(array));
}

void TProperties::FromJSON(const TJSONObject& AValue) {
  Clear();
  const auto* array = MemberAs<TJSONArray>(AValue, "Properties");
  if (!array)
    return;
  for (const TJSONValue* element : *array) {
    const auto* entry = dynamic_cast<const TJSONObject*>(element);
    if (!entry)
      continue;
    const auto* name = MemberAs<TJSONString>(*entry, "Name");
    const TJSONValue* value = entry->GetValue("Value");
    if (!name || !value)
      continue;
    Add(Trim(name->Value()), TCustomDef::JSONToRttiValue("TCustomDef", *value));
  }
}

} // namespace vantrel
