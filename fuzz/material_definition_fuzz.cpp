// material_definition: any input either fails with the framework's exception or reads into a
// material definition (and, alone, into a sampler, texture and shader definition) whose written
// text reads back to the same text. Without a package, texture assets only record their names,
// so nothing here touches a file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"

namespace {

using namespace vantrel;

std::unique_ptr<TJSONValue> ParseWritten(const std::string& AText) {
  auto parsed = TJSONValue::ParseJSONValue(AText, true);
  if (!dynamic_cast<const TJSONObject*>(parsed.get()))
    std::abort();
  return parsed;
}

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
  const auto parsed = ParseWritten(first);
  T copy;
  copy.FromJSON(nullptr, static_cast<const TJSONObject&>(*parsed));
  if (copy.ToJSON()->ToJSON() != first)
    std::abort();
}

// A material read into a model (same id each time), written, and read into a second model.
std::string MaterialText(const TJSONObject& AObject) {
  TModelDef model;
  model.SetId("FuzzModel");
  // Freed before the model: a material the table holds removes its own entry.
  auto material = MakeOwned<TMaterialDef>(&model);
  material->FromJSON(&model, AObject);
  return material->ToJSON()->ToJSON();
}

void MaterialRoundTrip(const TJSONObject& AObject) {
  std::string first;
  try {
    first = MaterialText(AObject);
  } catch (const Exception&) {
    return;
  }
  const auto parsed = ParseWritten(first);
  if (MaterialText(static_cast<const TJSONObject&>(*parsed)) != first)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = (InitializeDefTypes(), InitializeAssetsManager(), true);
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
  RoundTrip<TTextureDef>(*object);
  MaterialRoundTrip(*object);
  return 0;
}
