#include "utils/Vantrel.Utils.Parameters.h"

#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/sysutils.h"
#include "rtl/types2d.h"

namespace vantrel {

namespace {

// A record written as its single-precision fields in order.
struct TRecordForm {
  const TTypeInfo& (*Type)();
  size_t Count;
  std::vector<float> (*ToFloats)(const TValue&);
  TValue (*FromFloats)(const std::vector<float>&);
};

template <class T> std::vector<float> FloatsOf(const TValue& AValue) {
  const T record = AValue.AsType<T>();
  static_assert(sizeof(T) % sizeof(float) == 0);
  std::vector<float> floats(sizeof(T) / sizeof(float));
  std::memcpy(floats.data(), &record, sizeof(T));
  return floats;
}

template <class T> TValue FromFloats(const std::vector<float>& AFloats) {
  T record{};
  std::memcpy(&record, AFloats.data(), std::min(sizeof(T), AFloats.size() * sizeof(float)));
  return TValue::From(record);
}

std::vector<float> PointFloats(const TValue& AValue) {
  const TPoint point = AValue.AsType<TPoint>();
  return {static_cast<float>(point.X), static_cast<float>(point.Y)};
}

TValue PointFromFloats(const std::vector<float>& AFloats) {
  const auto rounded = [](float AValue) {
    return std::isfinite(AValue) && std::fabs(AValue) < 2147483647.0f ? static_cast<int32_t>(Round(AValue))
                                                                      : 0;
  };
  return TValue::From(TPoint{rounded(AFloats[0]), rounded(AFloats[1])});
}

template <class T> const TTypeInfo& TypeOf() {
  return TypeInfoOf<T>();
}

// Every field of these records is a float in the order the JSON lists them (TQuaternion3D: the
// imaginary part's X, Y, Z, then the real part; matrices row by row).
const std::array<TRecordForm, 8>& RecordForms() {
  static const std::array<TRecordForm, 8> forms = {{
      {&TypeOf<TPoint>, 2, &PointFloats, &PointFromFloats},
      {&TypeOf<TPointF>, 2, &FloatsOf<TPointF>, &FromFloats<TPointF>},
      {&TypeOf<TPoint3D>, 3, &FloatsOf<TPoint3D>, &FromFloats<TPoint3D>},
      {&TypeOf<TVector3D>, 4, &FloatsOf<TVector3D>, &FromFloats<TVector3D>},
      {&TypeOf<TQuaternion3D>, 4, &FloatsOf<TQuaternion3D>, &FromFloats<TQuaternion3D>},
      {&TypeOf<TMatrix>, 9, &FloatsOf<TMatrix>, &FromFloats<TMatrix>},
      {&TypeOf<TMatrix3D>, 16, &FloatsOf<TMatrix3D>, &FromFloats<TMatrix3D>},
      {&TypeOf<TAlphaColorF>, 4, &FloatsOf<TAlphaColorF>, &FromFloats<TAlphaColorF>},
  }};
  return forms;
}

const TRecordForm* FormOfType(const TTypeInfo* AType) {
  for (const TRecordForm& form : RecordForms())
    if (&form.Type() == AType)
      return &form;
  return nullptr;
}

const TRecordForm* FormOfName(std::string_view AName) {
  for (const TRecordForm& form : RecordForms())
    if (form.Type().Name == AName)
      return &form;
  return nullptr;
}

std::unique_ptr<TJSONValue> RecordToJSON(const TValue& AValue) {
  const TRecordForm* form = FormOfType(AValue.TypeInfo());
  if (!form)
    return TJSONNull::Create();
  auto floats = TJSONArray::Create();
  for (float element : form->ToFloats(AValue)) {
    if (!std::isfinite(element))
      floats->Add(TJSONNull::Create());
    else
      floats->Add(element);
  }
  auto result = TJSONObject::Create();
  result->AddPair("Class", AValue.TypeName());
  result->AddPair("FloatArrayValue", std::move(floats));
  return result;
}

std::unique_ptr<TJSONValue> FloatToJSON(const TValue& AValue) {
  const double value = AValue.AsDouble();
  if (!std::isfinite(value))
    return TJSONNull::Create();
  if (AValue.TypeInfo()->Size == sizeof(float))
    return TJSONNumber::Create(static_cast<float>(value));
  return TJSONNumber::Create(value);
}

std::unique_ptr<TJSONValue> ValueToJSON(const TValue& AValue) {
  switch (AValue.Kind()) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
    return TJSONNumber::Create(AValue.AsInteger());
  case TTypeKind::tkChar:
  case TTypeKind::tkString:
    return TJSONString::Create(AValue.AsString());
  case TTypeKind::tkBoolean:
    if (AValue.TypeInfo() == &TypeInfoBoolean() || AValue.TypeInfo() == &TypeInfoLongBool())
      return TJSONBool::Create(AValue.AsBoolean());
    return TJSONNumber::Create(AValue.AsOrdinal());
  case TTypeKind::tkEnumeration:
    return TJSONNumber::Create(AValue.AsOrdinal());
  case TTypeKind::tkFloat:
    return FloatToJSON(AValue);
  case TTypeKind::tkRecord:
    return RecordToJSON(AValue);
  default:
    return TJSONNull::Create();
  }
}

TValue NumberFromJSON(const TJSONNumber& ANumber) {
  const std::string_view text = ANumber.Value();
  int32_t integer = 0;
  if (text.find_first_of(".,eE") == std::string_view::npos && TryStrToInt(text, integer))
    return TValue::From(integer);
  return TValue::From(ANumber.AsDouble());
}

TValue RecordFromJSON(const TJSONObject& AObject) {
  const auto* name = dynamic_cast<const TJSONString*>(AObject.GetValue("Class"));
  const TRecordForm* form = name ? FormOfName(name->Value()) : nullptr;
  const auto* elements = dynamic_cast<const TJSONArray*>(AObject.GetValue("FloatArrayValue"));
  if (!form || !elements)
    return {};
  std::vector<float> floats(form->Count, 0.0f);
  for (size_t i = 0; i < form->Count && static_cast<int>(i) < elements->Count(); ++i)
    if (const auto* number = dynamic_cast<const TJSONNumber*>(elements->Items(static_cast<int>(i))))
      floats[i] = static_cast<float>(number->AsDouble());
  return form->FromFloats(floats);
}

TValue ValueFromJSON(const TJSONValue* AValue) {
  if (const auto* number = dynamic_cast<const TJSONNumber*>(AValue))
    return NumberFromJSON(*number);
  if (const auto* boolean = dynamic_cast<const TJSONBool*>(AValue))
    return TValue::From(boolean->AsBoolean());
  if (const auto* object = dynamic_cast<const TJSONObject*>(AValue))
    return object->GetValue("Class") ? RecordFromJSON(*object) : TValue();
  if (const auto* text = dynamic_cast<const TJSONString*>(AValue))
    return TValue::From(std::string(text->Value()));
  return {};
}

} // namespace

void TVantrelParametersMap::Assign(const TVantrelParametersMap* ASource) {
  Clear();
  std::scoped_lock lock(FLock);
  if (!ASource || ASource == this)
    return;
  for (const auto& entry : *ASource)
    AddOrSetValue(entry.Key, entry.Value);
}

std::unique_ptr<TJSONObject> TVantrelParametersMap::ToJSON() const {
  auto values = TJSONArray::Create();
  for (const auto& entry : *this) {
    auto item = TJSONObject::Create();
    item->AddPair("Key", std::string_view(entry.Key));
    item->AddPair("Value", ValueToJSON(entry.Value));
    values->Add(std::move(item));
  }
  auto result = TJSONObject::Create();
  result->AddPair("Values", std::move(values));
  return result;
}

void TVantrelParametersMap::FromJSON(const TJSONObject* AData) {
  Clear();
  const auto* values = AData ? dynamic_cast<const TJSONArray*>(AData->GetValue("Values")) : nullptr;
  if (!values)
    return;
  for (const TJSONValue* item : *values) {
    const auto* entry = dynamic_cast<const TJSONObject*>(item);
    if (!entry)
      continue;
    const auto* key = dynamic_cast<const TJSONString*>(entry->GetValue("Key"));
    const TJSONValue* value = entry->GetValue("Value");
    if (key && value)
      AddOrSetValue(std::string(key->Value()), ValueFromJSON(value));
  }
}

} // namespace vantrel
