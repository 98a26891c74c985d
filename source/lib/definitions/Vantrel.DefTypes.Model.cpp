// The model definition's life, its lists and lookups, the model-wide geometry, and the start-up of
// the node and model classes.

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_set>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/classes.h"
#include "rtl/log.h"
#include "rtl/stopwatch.h"
#include "rtl/sysutils.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TModelDef)

namespace {

int NodesInitCount = 0;
TModelDefSeams PreviousSeams;

template <class T> int AddListed(std::unique_ptr<std::vector<T*>>& AList, T* AItem, TModelDef* AModel) {
  if (!AList)
    AList = std::make_unique<std::vector<T*>>();
  auto found = std::find(AList->begin(), AList->end(), AItem);
  if (found != AList->end())
    return static_cast<int>(found - AList->begin());
  AList->push_back(AItem);
  AItem->SetListedIn(AModel);
  return static_cast<int>(AList->size()) - 1;
}

template <class T> void RemoveListed(std::vector<T*>* AList, T* AItem) {
  if (!AList)
    return;
  auto found = std::find(AList->begin(), AList->end(), AItem);
  if (found == AList->end())
    return;
  AList->erase(found);
  AItem->SetListedIn(nullptr);
}

template <class T> T* ListedAt(const std::vector<T*>* AList, int AIndex) {
  if (!AList || AIndex < 0 || AIndex >= static_cast<int>(AList->size()))
    return nullptr;
  return (*AList)[static_cast<size_t>(AIndex)];
}

template <class T> T* FindListed(const std::vector<T*>* AList, std::string_view AId) {
  if (!AList)
    return nullptr;
  for (T* item : *AList)
    if (item->GetId() == AId)
      return item;
  return nullptr;
}

TCustomDef* SeamFindDefById(TModelDef* AModel, const std::string& AId) {
  return AModel ? AModel->FindDefById(AId) : nullptr;
}

TTransformDef* SeamFindChildById(TModelDef* AModel, const std::string& AId) {
  return AModel ? AModel->FindChildById(AId, false) : nullptr;
}

TJointDef* SeamFindJointById(TModelDef* AModel, const std::string& AId) {
  return AModel ? AModel->FindJointById(AId) : nullptr;
}

TControllerDef* SeamFindControllerById(TModelDef* AModel, const std::string& AId) {
  return AModel ? AModel->FindControllerById(AId, false) : nullptr;
}

template <class T> T* AppendOwned(std::unique_ptr<rtl::TObjectList<T>>& AList, T* AItem) {
  if (!AList)
    AList = std::make_unique<rtl::TObjectList<T>>(true);
  AList->Add(AItem);
  return AItem;
}

std::array<TCustomDefClass*, 5> NodeClasses() {
  return {&TLightDef::StaticClass(), &TCameraDef::StaticClass(), &TMetaDef::StaticClass(),
          &TModelMetaDef::StaticClass(), &TModelDef::StaticClass()};
}

} // namespace

TModelDef::TModelDef(TCustomDef* AOwner, rtl::TObject* APackage)
    : TMeshDef(AOwner), FMetaData(std::make_unique<TModelMetaDef>()), FPackage(APackage),
      FBehaviours(std::make_unique<TObjectList<TBehaviourDef>>(true)) {
  // The address identifies the model while it lives, so two live models never share the id.
  SetId(Format("Model_%d", {static_cast<int64_t>(reinterpret_cast<uintptr_t>(this))}));
}

TModelDef::~TModelDef() {
  FCurrentAnimation = nullptr;
  FMetaData.reset();
  FreeMaterialParts();
  // Controllers before armatures: a skin's references point at joints.
  FControllers.reset();
  FArmatures.reset();
  FAnimations.reset();
  FreeUnheldListed();
}

// Frees the listed lights and cameras that no "Children" list holds, and unlinks the rest, which
// their parents free with the tree.
void TModelDef::FreeUnheldListed() {
  // Every node some "Children" list holds: the model's tree and the subtrees of listed nodes.
  std::unordered_set<const TTransformDef*> held;
  const TTransformTraverseProc collect = [&](TTransformDef*, int, TTransformDef* AChild) {
    held.insert(AChild);
    return true;
  };
  Traverse(true, collect);
  if (FLights)
    for (TLightDef* light : *FLights)
      light->Traverse(true, collect);
  if (FCameras)
    for (TCameraDef* camera : *FCameras)
      camera->Traverse(true, collect);
  const auto release = [&](auto& AList) {
    if (!AList)
      return;
    // The live list, not a copy: freeing one may free its own listed children, which leave the
    // list in their destructors.
    for (;;) {
      auto unheld = std::find_if(AList->begin(), AList->end(), [&](auto* AItem) { return !held.contains(AItem); });
      if (unheld == AList->end())
        break;
      (*unheld)->Free();
    }
    for (auto* item : *AList)
      item->SetListedIn(nullptr);
    AList->clear();
  };
  release(FLights);
  release(FCameras);
}

int TModelDef::AddLight(TLightDef* ALight) {
  return AddListed(FLights, ALight, this);
}

int TModelDef::AddCamera(TCameraDef* ACamera) {
  return AddListed(FCameras, ACamera, this);
}

void TModelDef::RemoveLight(TLightDef* ALight) {
  RemoveListed(FLights.get(), ALight);
}

void TModelDef::RemoveCamera(TCameraDef* ACamera) {
  RemoveListed(FCameras.get(), ACamera);
}

TLightDef* TModelDef::GetLight(int AIndex) const {
  return ListedAt(FLights.get(), AIndex);
}

TCameraDef* TModelDef::GetCamera(int AIndex) const {
  return ListedAt(FCameras.get(), AIndex);
}

TLightDef* TModelDef::FindLightById(std::string_view AId) const {
  return FindListed(FLights.get(), AId);
}

TCameraDef* TModelDef::FindCameraById(std::string_view AId) const {
  return FindListed(FCameras.get(), AId);
}

TCustomDef* TModelDef::FindDefById(std::string_view AId) const {
  if (GetId() == AId)
    return const_cast<TModelDef*>(this);
  if (TTransformDef* node = FindChildById(AId, false))
    return node;
  if (TLightDef* light = FindLightById(AId))
    return light;
  if (TCameraDef* camera = FindCameraById(AId))
    return camera;
  if (TAnimationDef* animation = FindAnimationById(AId))
    return animation;
  if (TControllerDef* controller = FindControllerById(AId, false))
    return controller;
  if (TArmatureDef* armature = FindArmatureById(AId))
    return armature;
  return FindJointById(AId);
}

// ---- armatures ----

void TModelDef::AddArmature(TArmatureDef* AArmature) {
  if (FArmatures && FArmatures->Contains(AArmature))
    return;
  AppendOwned(FArmatures, AArmature);
}

TArmatureDef* TModelDef::GetArmatureBySkeleton(const TJointDef* ASkeletonJoint) const {
  if (!ASkeletonJoint)
    return nullptr;
  if (TArmatureDef* own = ASkeletonJoint->GetArmature())
    return own;
  if (FArmatures)
    for (TArmatureDef* armature : *FArmatures)
      if (armature->GetRoot() == ASkeletonJoint)
        return armature;
  return nullptr;
}

TArmatureDef* TModelDef::FindArmatureById(std::string_view AId) const {
  if (AId.empty() || !FArmatures)
    return nullptr;
  for (TArmatureDef* armature : *FArmatures)
    if (armature->GetId() == AId)
      return armature;
  return nullptr;
}

// ---- controllers ----

void TModelDef::AddController(TControllerDef* AController) {
  AppendOwned(FControllers, AController);
  AController->SetIndex(FControllers->Count() - 1);
}

TControllerDef* TModelDef::FindControllerById(std::string_view AName, bool AThrowException) const {
  if (FControllers)
    for (TControllerDef* controller : *FControllers)
      if (SameText("#" + controller->GetId(), AName) || SameText(controller->GetId(), AName))
        return controller;
  if (AThrowException)
    throw Exception(Format("controller with id \"%s\" not found", {std::string(AName)}));
  return nullptr;
}

TControllerDef* TModelDef::FindControllerByTransform(const TTransformDef* ATransform, bool AThrowException) const {
  if (FControllers)
    for (TControllerDef* controller : *FControllers)
      if (controller->GetTarget() == ATransform)
        return controller;
  if (!AThrowException)
    return nullptr;
  const std::string id = ATransform ? ATransform->GetId() : std::string();
  if (FControllers)
    throw Exception(Format("controller for mesh \"%s\" not found", {id}));
  throw Exception(Format("controller for transform \"%s\" not found", {id}));
}

// ---- animations and joints ----

void TModelDef::AddAnimation(TAnimationDef* AAnimation) {
  AppendOwned(FAnimations, AAnimation);
}

TAnimationDef* TModelDef::AddEmptyAnimation(const std::string& AId) {
  TOwned<TAnimationDef> animation(New<TAnimationDef>(this));
  animation->SetId(AId);
  AddAnimation(animation.get());
  return animation.release();
}

TAnimationDef* TModelDef::FindAnimationById(std::string_view AName) const {
  if (FAnimations)
    for (TAnimationDef* animation : *FAnimations)
      if (animation->GetId() == AName)
        return animation;
  return nullptr;
}

TJointDef* TModelDef::FindJointById(std::string_view AName) const {
  if (FArmatures)
    for (TArmatureDef* armature : *FArmatures)
      if (TJointDef* joint = armature->FindJointById(AName))
        return joint;
  return nullptr;
}

// ---- model-wide geometry ----

namespace {

void ForEachChildMesh(const TModelDef& AModel, const std::function<void(TMeshDef&)>& AProc) {
  if (const auto* children = AModel.GetChildren())
    for (TTransformDef* child : *children)
      if (auto* mesh = dynamic_cast<TMeshDef*>(child))
        AProc(*mesh);
}

} // namespace

void TModelDef::CalcFaceNormals(bool APropagateFaceNormalsToVertices) {
  ForEachChildMesh(*this, [&](TMeshDef& AMesh) { AMesh.CalcFaceNormals(APropagateFaceNormalsToVertices, true); });
}

void TModelDef::CalcSmoothNormals(TMeshDefCalculateNormalMethod AMethod, float AWeldEpsilon) {
  ForEachChildMesh(*this, [&](TMeshDef& AMesh) { AMesh.CalcSmoothNormals(AMethod, AWeldEpsilon, true); });
}

void TModelDef::CalcTangentBinormals() {
  ForEachChildMesh(*this, [](TMeshDef& AMesh) { AMesh.CalcTangentBinormals(true); });
}

// ---- animation caching ----

void TModelDef::CacheAnimations(std::span<const rtl::TValue> ASelected, TAnimationCachingFlags AFlags,
                                rtl::TObject* AModel) {
  const int64_t start = TStopwatch::GetTimeStamp();
  if (!FAnimations || FAnimations->Count() == 0)
    return;
  const int32_t count = CacheModelAnimations(this, ASelected, AFlags, AModel);
  const double elapsed = double(TStopwatch::GetTimeStamp() - start) * 1000 / double(TStopwatch::Frequency);
  Log::d("Caching %d animations: elapsed time %n ms", count, elapsed);
}

// ---- unit start-up ----

void InitializeDefTypesNodes() {
  if (NodesInitCount++ > 0)
    return;
  for (TCustomDefClass* defClass : NodeClasses())
    RegisterClass(*defClass);
  RegisterChildDefClass("Vantrel.DefTypes.TLightDef", TLightDef::StaticClass());
  RegisterChildDefClass("Vantrel.DefTypes.TCameraDef", TCameraDef::StaticClass());
  TModelDefSeams seams = ModelDefSeams();
  seams.FindDefById = SeamFindDefById;
  seams.FindChildById = SeamFindChildById;
  seams.FindJointById = SeamFindJointById;
  seams.FindControllerById = SeamFindControllerById;
  PreviousSeams = SetModelDefSeams(seams);
}

void FinalizeDefTypesNodes() {
  if (NodesInitCount == 0 || --NodesInitCount > 0)
    return;
  SetModelDefSeams(PreviousSeams);
  UnregisterChildDefClass("Vantrel.DefTypes.TCameraDef");
  UnregisterChildDefClass("Vantrel.DefTypes.TLightDef");
  for (TCustomDefClass* defClass : NodeClasses())
    UnRegisterClass(*defClass);
}

} // namespace vantrel
