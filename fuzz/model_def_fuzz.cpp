// model_definition: any input either fails cleanly or reads into a whole model definition whose
// written text reads back to the same text; the read model's animations then unify and its skins
// compute their vertex weights, each failing only with the system's exceptions.

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

// The weight operations of one skin on its mesh target; each may refuse with an rtl exception.
void ExerciseSkin(TSkinDef& ASkin) {
  TOwned<TVertexJointsList> list;
  try {
    list.reset(ASkin.GenerateVertexJoints(ASkin.GetBindShapeMatrix()));
  } catch (const Exception&) {
  }
  if (list) {
    try {
      ASkin.ApplyVertexJointsRelation(list.get());
    } catch (const Exception&) {
    }
  }
  try {
    ASkin.NormalizeJointVertexWeights(0);
  } catch (const Exception&) {
  }
  ASkin.CheckMeshVerticesToBeAttachedCorrectly(0);
}

void Exercise(TModelDef& AModel) {
  if (const auto* animations = AModel.GetAnimations())
    for (TAnimationDef* animation : *animations)
      animation->UnifyInterpolators({}, nullptr);
  if (const auto* controllers = AModel.GetControllers())
    for (TControllerDef* controller : *controllers)
      if (controller->GetSkin() && dynamic_cast<TMeshDef*>(controller->GetTarget()))
        ExerciseSkin(*controller->GetSkin());
}

// The text of a new model read from AValue, or "" when reading raised.
std::string ReadAndWrite(const TJSONObject& AValue, bool AExercise) {
  TModelDef model;
  try {
    model.FromJSON(AValue);
  } catch (const Exception&) {
    return {};
  }
  std::string text = model.ToJSON()->ToJSON();
  if (AExercise)
    Exercise(model);
  return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = (InitializeDefTypes(), InitializeDefTypesNodes(), true);
  Check(initialized);
  const std::string_view text(reinterpret_cast<const char*>(AData), ASize);
  const auto value = TJSONValue::ParseJSONValue(text);
  const auto* object = dynamic_cast<const TJSONObject*>(value.get());
  if (!object)
    return 0;
  const std::string first = ReadAndWrite(*object, true);
  if (first.empty())
    return 0;
  const auto again = TJSONValue::ParseJSONValue(first);
  const auto* written = dynamic_cast<const TJSONObject*>(again.get());
  Check(written != nullptr);
  Check(ReadAndWrite(*written, false) == first);
  return 0;
}
