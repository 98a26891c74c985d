// model_definition: any input either fails cleanly or reads into a whole model definition whose
// written text reads back to the same text; the read model's animations then unify and its skins
// compute their vertex weights, each failing only with the system's exceptions.

#include <cstddef>
#include <cstdint>

#include "definitions/Vantrel.DefTypes.h"
#include "model_round_trip.h"

namespace {

using namespace vantrel;

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  modelfuzz::RoundTrip(AData, ASize, Exercise);
  return 0;
}
