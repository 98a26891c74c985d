// skin_animation_definition: bytes read as a model definition whose seeds hold the skeleton and
// animation sections ({"Armatures": [...], "Controllers": [...], "Animations": [...]}); the model
// answers the lookups between them. Any input either fails with a runtime-layer exception or reads
// into a model whose JSON text is stable: the text read again writes the same text. On success the
// animations are unified and the skins compute their bind poses and joint matrices, all of which
// must not crash or leak.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// The skeleton and animation parts of a read model: the animations unify and prepare their data,
// and every skin computes its bind poses and its joints' matrices.
void Exercise(TModelDef& AModel) {
  if (const auto* animations = AModel.GetAnimations())
    for (TAnimationDef* animation : *animations) {
      animation->UnifyInterpolators({}, nullptr);
      animation->PrepareAnimationData();
    }
  if (const auto* controllers = AModel.GetControllers())
    for (TControllerDef* controller : *controllers)
      if (TSkinDef* skin = controller->GetSkin()) {
        skin->ApplyBindPoses();
        std::vector<TMatrix3D> transforms;
        skin->GetSkeletonJointTransformations(TMatrix3D::Identity(), transforms);
        Check(transforms.size() == size_t(skin->GetLinkedJoints().Count()));
      }
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
  if (AExercise) {
    Exercise(model);
    model.ToJSON();
  }
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
