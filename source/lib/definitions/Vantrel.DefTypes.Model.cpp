// The model definition's light and camera lists, its id lookup, and the start-up of the node and
// model classes.

#include <algorithm>
#include <array>
#include <unordered_set>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/classes.h"

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

std::array<TCustomDefClass*, 5> NodeClasses() {
  return {&TLightDef::StaticClass(), &TCameraDef::StaticClass(), &TMetaDef::StaticClass(),
          &TModelMetaDef::StaticClass(), &TModelDef::StaticClass()};
}

} // namespace

TModelDef::TModelDef(TCustomDef* AOwner)
    : TMeshDef(AOwner), FBehaviours(std::make_unique<TObjectList<TBehaviourDef>>(true)) {}

TModelDef::~TModelDef() {
  FreeMaterialParts();
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
  return FindCameraById(AId);
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
