// material_definition: any input either fails with the framework's exception or reads into a
// sampler and a shader definition whose written text reads back to the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"

namespace {

using namespace vantrel;

// Reads AObject into a new T, writes it, reads that text into a second T and writes again: the two
// texts must be equal.
template <class T> void RoundTrip(const TJSONObject& AObject) {
  std::string first;
  try {
    T definition;
    definition.FromJSON(nullptr, AObject);
    first = definition.ToJSON()->ToJSON();
  } catch (const Exception&) {
    return;
  }
  const auto parsed = TJSONValue::ParseJSONValue(first, true);
  const auto* object = dynamic_cast<const TJSONObject*>(parsed.get());
  if (!object)
    std::abort();
  T copy;
  copy.FromJSON(nullptr, *object);
  if (copy.ToJSON()->ToJSON() != first)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = (InitializeDefTypes(), true);
  (void)initialized;
  std::unique_ptr<TJSONValue> value;
  try {
    value = TJSONValue::ParseJSONValue(std::string_view(reinterpret_cast<const char*>(AData), ASize), true);
  } catch (const Exception&) {
    return 0;
  }
  const auto* object = dynamic_cast<const TJSONObject*>(value.get());
  if (!object)
    return 0;
  RoundTrip<TSamplerDef>(*object);
  RoundTrip<TShaderDef>(*object);
  return 0;
}
