// json_parse: any input either fails cleanly or parses to a tree whose compact text is stable:
// it reparses to the same text, its ASCII form reads back to the same tree, and so does a clone.
// The token reader agrees with the parser: it fails where the parser fails (possibly on a number
// out of double range before it meets the fault), may refuse such a number where the parser keeps
// it as text, and otherwise its tokens build the parser's tree with numbers in the text of their
// value.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <charconv>

#include "rtl/json.h"
#include "rtl/json_text.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

std::string Reparsed(const std::string& AText) {
  auto value = rtl::TJSONValue::ParseJSONValue(AText);
  Check(value != nullptr);
  return value->ToString();
}

// Writes the parser's tree as the token reader would read its text.
void WriteTokens(const rtl::TJSONValue* AValue, rtl::TJsonWriter& AWriter) {
  if (const auto* object = dynamic_cast<const rtl::TJSONObject*>(AValue)) {
    AWriter.WriteStartObject();
    for (const rtl::TJSONPair* pair : *object) {
      AWriter.WritePropertyName(pair->Name());
      WriteTokens(pair->JsonValue(), AWriter);
    }
    AWriter.WriteEndObject();
  } else if (const auto* array = dynamic_cast<const rtl::TJSONArray*>(AValue)) {
    AWriter.WriteStartArray();
    for (const rtl::TJSONValue* item : *array)
      WriteTokens(item, AWriter);
    AWriter.WriteEndArray();
  } else if (const auto* number = dynamic_cast<const rtl::TJSONNumber*>(AValue)) {
    const std::string_view text = number->Value();
    int64_t integer = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), integer);
    if (text.find_first_of(".eE") == std::string_view::npos && result.ec == std::errc() &&
        result.ptr == text.data() + text.size())
      AWriter.WriteValue(integer);
    else
      AWriter.WriteValue(number->AsDouble());
  } else if (const auto* text = dynamic_cast<const rtl::TJSONString*>(AValue)) {
    AWriter.WriteValue(text->Value());
  } else if (const auto* boolean = dynamic_cast<const rtl::TJSONBool*>(AValue)) {
    AWriter.WriteValue(boolean->AsBoolean());
  } else {
    AWriter.WriteNull();
  }
}

// The token reader's tree as compact text, or "" when it raised; out-of-range numbers give "range".
std::string TokenTree(std::string_view AText) {
  rtl::TJsonTextReader reader{std::string(AText)};
  rtl::TJsonObjectWriter writer;
  try {
    while (reader.Read())
      writer.WriteToken(reader);
  } catch (const rtl::EJsonReaderException& e) {
    return e.Message().starts_with("Number out of range") ? "range" : "";
  }
  Check(writer.GetJSON() != nullptr);
  return writer.GetJSON()->ToString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string_view text(reinterpret_cast<const char*>(AData), ASize);
  auto value = rtl::TJSONValue::ParseJSONValue(text);
  bool raised = false;
  try {
    rtl::TJSONValue::ParseJSONValue(text, true);
  } catch (const rtl::EJSONParseException& e) {
    raised = true;
    Check(e.Offset() <= ASize);
  }
  Check(raised == (value == nullptr));
  const std::string tokens = TokenTree(text);
  if (!value) {
    Check(tokens.empty() || tokens == "range");
    return 0;
  }
  if (tokens != "range") {
    rtl::TJsonObjectWriter expected;
    WriteTokens(value.get(), expected);
    Check(tokens == expected.GetJSON()->ToString());
  }
  const std::string compact = value->ToString();
  Check(Reparsed(compact) == compact);
  Check(Reparsed(value->ToJSON()) == compact);
  Check(value->Clone()->ToString() == compact);
  return 0;
}
