#include "formats/v3d/Vantrel.BSON.Writer.h"

#include <charconv>
#include <limits>
#include <string_view>
#include <variant>

#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelBSONWriter, "Vantrel.BSON.Writer")

namespace {

using TNumber = std::variant<double, int32_t, int64_t>;

[[noreturn]] void UnexpectedType(const TJSONValue& AValue) {
  throw Exception(Format("unexpected json value type \"%s\" found", AValue.ClassName()));
}

// Whether ADouble is exactly the integer AInteger.
bool SameInteger(double ADouble, int64_t AInteger) {
  constexpr double Limit = 9223372036854775808.0; // 2^63
  return ADouble >= -Limit && ADouble < Limit && static_cast<int64_t>(ADouble) == AInteger;
}

// The number text parsed in the fixed order: as a double, then as int32, then as int64. An
// integer text that a double would change is kept as int64.
TNumber ParseNumber(std::string_view AText) {
  const char* begin = AText.data();
  const char* end = begin + AText.size();
  double value = 0;
  const auto asDouble = std::from_chars(begin, end, value);
  if (asDouble.ec == std::errc() && asDouble.ptr == end) {
    int64_t integer = 0;
    const bool integral = AText.find_first_of(".eE") == std::string_view::npos;
    const auto asInteger = std::from_chars(begin, end, integer);
    if (integral && asInteger.ec == std::errc() && asInteger.ptr == end && !SameInteger(value, integer))
      return integer;
    return value;
  }
  int32_t int32 = 0;
  if (TryStrToInt(AText, int32))
    return int32;
  int64_t int64 = 0;
  if (TryStrToInt64(AText, int64))
    return int64;
  throw Exception("failed to read number value");
}

// The number as ParseNumber reads its text, without making the text where the number holds a
// value: a held double is its text's double; a held float's text reads as JsonFloatTextToDouble;
// and plain int32 digits other than zero are exact in a double. The texts of held values are integral digits
// only below 1E15, which a double holds exactly, so none of them goes as int64.
TNumber NumberOf(const TJSONNumber& ANumber) {
  if (ANumber.HoldsValue())
    return ANumber.AsDouble();
  // "-0" reads as the double -0, so a zero goes by its text.
  int32_t plain = 0;
  if (ANumber.TryAsPlainInt32(plain) && plain != 0)
    return double(plain);
  return ParseNumber(ANumber.Value());
}

} // namespace

void TVantrelBSONWriter::EndAfterFailure(bool AObject) noexcept {
  try {
    if (PropertyPending())
      WriteNull();
    if (AObject)
      WriteEndObject();
    else
      WriteEndArray();
  } catch (const Exception&) {
    // The first failure is the one the caller sees.
  }
}

void TVantrelBSONWriter::WriteJsonObject(const TJSONObject* AObject) {
  WriteStartObject();
  try {
    for (const TJSONPair* pair : *AObject) {
      WritePropertyName(pair->Name());
      WriteJsonValue(pair->JsonValue());
    }
  } catch (...) {
    EndAfterFailure(true);
    throw;
  }
  WriteEndObject();
}

void TVantrelBSONWriter::WriteJsonArray(const TJSONArray* AArray) {
  WriteStartArray();
  try {
    for (const TJSONValue* item : *AArray)
      WriteJsonValue(item);
  } catch (...) {
    EndAfterFailure(false);
    throw;
  }
  WriteEndArray();
}

void TVantrelBSONWriter::WriteNumber(const TJSONNumber& ANumber) {
  const TNumber number = NumberOf(ANumber);
  if (const auto* d = std::get_if<double>(&number))
    WriteValue(*d);
  else if (const auto* i = std::get_if<int32_t>(&number))
    WriteValue(*i);
  else
    WriteValue(std::get<int64_t>(number));
}

void TVantrelBSONWriter::WriteJsonValue(const TJSONValue* AValue) {
  // Numbers make up the bulk of a model: they go first, without a cast.
  if (const TJSONNumber* number = AValue->AsNumber())
    WriteNumber(*number);
  else if (const auto* object = dynamic_cast<const TJSONObject*>(AValue))
    WriteJsonObject(object);
  else if (dynamic_cast<const TJSONNull*>(AValue))
    WriteNull();
  else if (const auto* array = dynamic_cast<const TJSONArray*>(AValue))
    WriteJsonArray(array);
  else if (const auto* boolean = dynamic_cast<const TJSONBool*>(AValue))
    WriteValue(boolean->AsBoolean());
  else if (const auto* text = dynamic_cast<const TJSONString*>(AValue))
    WriteValue(text->Value());
  else
    UnexpectedType(*AValue);
}

void TVantrelBSONWriter::WriteRawJsonValue(const TJSONValue* AValue) {
  TBinaryWriter& writer = BinaryWriter();
  if (dynamic_cast<const TJSONObject*>(AValue))
    throw Exception("raw bson for json-object not supported");
  if (dynamic_cast<const TJSONNull*>(AValue))
    return;
  if (dynamic_cast<const TJSONArray*>(AValue))
    throw Exception("raw bson for json-array not supported");
  if (const auto* number = dynamic_cast<const TJSONNumber*>(AValue)) {
    const TNumber value = NumberOf(*number);
    if (const auto* d = std::get_if<double>(&value))
      writer.WriteDouble(*d);
    else if (const auto* i = std::get_if<int32_t>(&value))
      writer.WriteInt32(*i);
    else
      writer.WriteInt64(std::get<int64_t>(value));
    return;
  }
  if (const auto* boolean = dynamic_cast<const TJSONBool*>(AValue)) {
    writer.WriteBoolean(boolean->AsBoolean());
    return;
  }
  if (const auto* text = dynamic_cast<const TJSONString*>(AValue)) {
    const std::string_view value = text->Value();
    writer.WriteInt32(static_cast<int32_t>(value.size() + 1));
    writer.WriteBytes({reinterpret_cast<const uint8_t*>(value.data()), value.size()});
    writer.WriteByte(0);
    return;
  }
  UnexpectedType(*AValue);
}

} // namespace vantrel
