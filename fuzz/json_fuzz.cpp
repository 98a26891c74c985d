// json_parse: any input either fails cleanly or parses to a tree whose compact text is stable:
// it reparses to the same text, its ASCII form reads back to the same tree, and so does a clone.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rtl/json.h"

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
  if (!value)
    return 0;
  const std::string compact = value->ToString();
  Check(Reparsed(compact) == compact);
  Check(Reparsed(value->ToJSON()) == compact);
  Check(value->Clone()->ToString() == compact);
  return 0;
}
