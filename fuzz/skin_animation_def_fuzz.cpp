// skin_animation_definition: bytes read as a model definition whose seeds hold the skeleton and
// animation sections ({"Armatures": [...], "Controllers": [...], "Animations": [...]}); the model
// answers the lookups between them. Any input either fails with a runtime-layer exception or reads
// into a model whose JSON text is stable: the text read again writes the same text. On success the
// animations are unified and the skins compute their bind poses and joint matrices, all of which
// must not crash or leak.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "model_round_trip.h"

namespace {

using namespace vantrel;

using modelfuzz::Check;

// The skeleton and animation parts of a read model: the animations unify and prepare their data,
// and every skin computes its bind poses and its joints' matrices; the model then writes again.
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
  AModel.ToJSON();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  modelfuzz::RoundTrip(AData, ASize, Exercise);
  return 0;
}
