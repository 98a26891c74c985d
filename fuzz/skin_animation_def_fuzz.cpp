// skin_animation_definition: bytes read as the skeleton and animation sections of a model
// ({"Armatures": [...], "Controllers": [...], "Animations": [...]}) through a harness that stands
// for the model in the lookups. Any input either fails with a runtime-layer exception or reads into
// definitions whose JSON text is stable: the text read again writes the same text. On success the
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
#include "rtl/sysutils.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// Holds the sections read and answers the model lookups from them.
class TSections {
public:
  TSections() { FPrevious = SetModelDefSeams({&FindDef, nullptr, &FindJoint, &FindController}); }
  ~TSections() {
    SetModelDefSeams(FPrevious);
    for (TAnimationDef* animation : FAnimations)
      animation->Free();
    for (TControllerDef* controller : FControllers)
      controller->Free();
    for (TArmatureDef* armature : FArmatures)
      armature->Free();
  }
  TSections(const TSections&) = delete;
  TSections& operator=(const TSections&) = delete;

  TModelDef* Model() { return reinterpret_cast<TModelDef*>(this); }

  // Reads the three sections in the model's order, then links the armatures' controllers.
  void Read(const TJSONObject& AValue) {
    std::vector<std::pair<TArmatureDef*, const TJSONObject*>> late;
    for (const TJSONObject* object : Objects(AValue, "Armatures")) {
      FArmatures.Add(New<TArmatureDef>());
      FArmatures.Last()->FromJSON(Model(), *object);
      late.emplace_back(FArmatures.Last(), object);
    }
    for (const TJSONObject* object : Objects(AValue, "Controllers")) {
      // The harness keeps one controller per id, so that an id names one controller. It skips
      // before reading, since a controller read links itself into armatures.
      if (FindController(Model(), TCustomDef::GetJSONString(*object, "Id")))
        continue;
      FControllers.Add(New<TControllerDef>());
      FControllers.Last()->FromJSON(Model(), *object);
    }
    for (const TJSONObject* object : Objects(AValue, "Animations")) {
      FAnimations.Add(New<TAnimationDef>(Model()));
      FAnimations.Last()->FromJSON(Model(), *object);
    }
    for (const auto& [armature, object] : late)
      armature->LateResolveFromJSON(Model(), *object);
  }

  std::string Write() const {
    auto result = TJSONObject::Create();
    const auto section = [&](const char* AName, const auto& AList) {
      auto array = TJSONArray::Create();
      for (const TCustomDef* def : AList)
        array->Add(def->ToJSON());
      result->AddPair(AName, std::move(array));
    };
    section("Armatures", FArmatures);
    section("Controllers", FControllers);
    section("Animations", FAnimations);
    return result->ToJSON();
  }

  void Exercise() {
    for (TAnimationDef* animation : FAnimations) {
      animation->UnifyInterpolators({}, nullptr);
      animation->PrepareAnimationData();
    }
    for (TControllerDef* controller : FControllers) {
      if (TSkinDef* skin = controller->GetSkin()) {
        skin->ApplyBindPoses();
        std::vector<TMatrix3D> transforms;
        skin->GetSkeletonJointTransformations(TMatrix3D::Identity(), transforms);
        Check(transforms.size() == size_t(skin->GetLinkedJoints().Count()));
      }
    }
  }

private:
  TList<TArmatureDef*> FArmatures;
  TList<TControllerDef*> FControllers;
  TList<TAnimationDef*> FAnimations;
  TModelDefSeams FPrevious;

  static std::vector<const TJSONObject*> Objects(const TJSONObject& AValue, std::string_view AName) {
    std::vector<const TJSONObject*> result;
    if (const auto* array = dynamic_cast<const TJSONArray*>(AValue.GetValue(AName)))
      for (const TJSONValue* element : *array)
        if (const auto* object = dynamic_cast<const TJSONObject*>(element))
          result.push_back(object);
    return result;
  }
  static TSections& Of(TModelDef* AModel) { return *reinterpret_cast<TSections*>(AModel); }
  static TJointDef* FindJoint(TModelDef* AModel, const std::string& AId) {
    for (TArmatureDef* armature : Of(AModel).FArmatures)
      if (TJointDef* joint = armature->FindJointById(AId))
        return joint;
    return nullptr;
  }
  static TCustomDef* FindDef(TModelDef* AModel, const std::string& AId) { return FindJoint(AModel, AId); }
  static TControllerDef* FindController(TModelDef* AModel, const std::string& AId) {
    for (TControllerDef* controller : Of(AModel).FControllers)
      if (SameText(controller->GetId(), AId) || SameText("#" + controller->GetId(), AId))
        return controller;
    return nullptr;
  }
};

// The sections' text after reading AValue, or "" when reading raised.
std::string ReadAndWrite(const TJSONObject& AValue, bool AExercise) {
  TSections sections;
  try {
    sections.Read(AValue);
  } catch (const Exception&) {
    return {};
  }
  std::string text = sections.Write();
  if (AExercise) {
    sections.Exercise();
    sections.Write();
  }
  return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool initialized = (InitializeDefTypes(), true);
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
