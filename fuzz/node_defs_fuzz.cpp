// node_defs: any input either fails cleanly or reads into a light, camera, meta or model meta
// definition under a model, and the written text reads back to the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// The definition's text after reading AValue under a model with the node "Mesh1", or "" when
// reading raised.
std::string ReadAndWrite(TCustomDefClass& AClass, const TJSONObject& AValue) {
  auto model = MakeOwned<TModelDef>();
  model->SetId("M");
  auto* mesh = New<TTransformDef>(model.get());
  mesh->SetId("Mesh1");
  model->AddChild(mesh);
  // Lights and cameras made under the model are owned by its list; the rest by this holder.
  TCustomDef* def = AClass.CreateDef(model.get());
  TOwned<TCustomDef> holder(dynamic_cast<TTransformDef*>(def) ? nullptr : def);
  try {
    def->FromJSON(model.get(), AValue);
    def->LateResolveFromJSON(model.get(), AValue);
  } catch (const Exception&) {
    return {};
  }
  return def->ToJSON()->ToJSON();
}

void CheckClass(TCustomDefClass& AClass, const TJSONObject& AValue) {
  std::string text = ReadAndWrite(AClass, AValue);
  if (text.empty())
    return;
  // Meta definitions take "Type" and "Id" as tags on their first read, so compare from the second.
  for (int round = 0; round < 2; ++round) {
    const auto again = TJSONValue::ParseJSONValue(text);
    const auto* object = dynamic_cast<const TJSONObject*>(again.get());
    Check(object != nullptr);
    const std::string next = ReadAndWrite(AClass, *object);
    if (round == 1)
      Check(next == text);
    text = next;
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = (InitializeDefTypes(), InitializeDefTypesNodes(), true);
  Check(initialized);
  const std::string_view text(reinterpret_cast<const char*>(AData), ASize);
  const auto value = TJSONValue::ParseJSONValue(text);
  if (const auto* object = dynamic_cast<const TJSONObject*>(value.get()))
    for (TCustomDefClass* defClass : {&TLightDef::StaticClass(), &TCameraDef::StaticClass(),
                                      &TMetaDef::StaticClass(), &TModelMetaDef::StaticClass()})
      CheckClass(*defClass, *object);
  return 0;
}
