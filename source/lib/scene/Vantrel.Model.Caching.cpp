// The model control as an animation caching run plays it (ICachingModel): the run lives with the
// definitions below, and this part of the model unit hands it the control's meshes, animations
// and armatures.

#include <memory>
#include <utility>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Model.h"

namespace vantrel {

namespace {

TMeshDef* MeshDefOf(const TVantrelMesh& AMesh) {
  return dynamic_cast<TMeshDef*>(AMesh.Def());
}

// The model mesh, then every sub-mesh depth-first.
void CollectMeshes(TVantrelMesh& AMesh, std::vector<ICachingModel::TMesh>& AResult) {
  TMeshData* data = AMesh.GetMeshData();
  AResult.push_back(
      {MeshDefOf(AMesh), data ? &data->VertexBuffer() : nullptr, data ? &data->IndexBuffer() : nullptr});
  for (TVantrelMesh* mesh : AMesh.Meshes())
    if (mesh)
      CollectMeshes(*mesh, AResult);
}

class TCachingModel final : public ICachingModel {
public:
  TCachingModel(TVantrelModel& AModel, bool ATemporary) : FModel(AModel), FTemporary(ATemporary) {}
  TCachingModel(const TCachingModel&) = delete;
  TCachingModel& operator=(const TCachingModel&) = delete;
  // A temporary control would free a definition of no package as its own, while the caller still
  // walks it: the definition is taken away first.
  ~TCachingModel() override {
    if (!FTemporary)
      return;
    FModel.SetDef(nullptr);
    FModel.Free();
  }

  TVantrelModel* Control() const override { return &FModel; }
  bool IsTemporary() const override { return FTemporary; }
  TMeshDef* RootMeshDef() const override { return MeshDefOf(FModel); }

  std::vector<TMesh> Meshes() const override {
    std::vector<TMesh> result;
    CollectMeshes(FModel, result);
    return result;
  }

  TComponent* SelectAnimation(TAnimationDef* ADef) override {
    TVantrelAnimationManager* manager = FModel.AnimationManager();
    FAnimation = manager ? manager->GetAnimation(ADef) : nullptr;
    return FAnimation;
  }
  void StartAnimation() override { FAnimation->Start(); }
  void StopAnimation() override { FAnimation->Stop(); }

  void RewindAnimation() override {
    if (TSkeletonKeyAnimation* skeleton = FAnimation->Skeleton())
      for (TPropertyKeyAnimation* track : std::vector(skeleton->Interpolators()))
        track->ResetCaching();
  }

  // Every track's process step at its current time, inside one update of the skeleton's parent.
  // A tick of 0 would not do: at time 0 it sends a looping track to its end.
  void PoseCurrentTime() override {
    TSkeletonKeyAnimation* skeleton = FAnimation->Skeleton();
    if (!skeleton)
      return;
    skeleton->InParentUpdate([skeleton] {
      for (TPropertyKeyAnimation* track : std::vector(skeleton->Interpolators()))
        track->ProcessAnimation();
    });
  }

  void StepAnimation(float ATime, float ADeltaTime) override {
    if (TSkeletonKeyAnimation* skeleton = FAnimation->Skeleton())
      skeleton->ProcessAnimationRemote(ATime, ADeltaTime);
  }

  void Skin(TPositions* APositions) override {
    for (int i = 0; i < FModel.ComponentCount(); ++i)
      if (auto* armature = dynamic_cast<TVantrelArmature*>(FModel.Components(i)))
        armature->AnimateSkin(APositions);
  }

private:
  TVantrelModel& FModel;
  const bool FTemporary;
  TVantrelAnimation* FAnimation = nullptr;
};

std::unique_ptr<ICachingModel> MakeCachingModel(TModelDef* ADef, TObject* AModel) {
  if (AModel) {
    auto* model = dynamic_cast<TVantrelModel*>(AModel);
    if (!model)
      throw Exception(SCachingModelNotValid);
    return std::make_unique<TCachingModel>(*model, false);
  }
  auto result = std::make_unique<TCachingModel>(*New<TVantrelModel>(nullptr), true);
  // A failed load frees the temporary control with the result.
  result->Control()->LoadFromDefinition(ADef);
  return result;
}

TCachingModelFactory PreviousFactory = nullptr;

} // namespace

namespace detail {

void RegisterCachingModel(bool ARegister) {
  if (ARegister)
    PreviousFactory = SetCachingModelFactory(&MakeCachingModel);
  else
    SetCachingModelFactory(std::exchange(PreviousFactory, nullptr));
}

} // namespace detail

} // namespace vantrel
