#include "scene/Vantrel.Model.h"

#include <cstdint>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.Default.h"
#include "rtl/fields.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Light.h"
#include "scene/Vantrel.Segment.h"
#include "ui/color_material.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelModel, "Vantrel.Model", &TVantrelModel::RegisterProperties)

namespace {

template <class TApply> void ApplyKey(const TProperties& AProperties, const char* AKey, TApply AApply) {
  if (const TValue* value = AProperties.Find(std::string_view(AKey)))
    AApply(*value);
}

// Every item of a list that may not exist yet.
template <class TList, class TVisit> void ForEachIn(const TList* AList, const TVisit& AVisit) {
  if (AList)
    for (auto* item : *AList)
      AVisit(item);
}

} // namespace

TVantrelModel::TVantrelModel(TComponent* AOwner) : TVantrelMesh(AOwner) {
  InitModelObjects();
  SetHitTest(false);
}

void TVantrelModel::BeforeDestruction() {
  StopWatchingPackage();
  FBinaryData.reset();
  FTextureCache.reset();
  AssignAssetsManager(nullptr);
  FreeAnimationManager();
  FreeInterpolators();
  FreeWireframeMaterial();
  TVantrelMesh::BeforeDestruction();
}

TVantrelModel::~TVantrelModel() {
  TCustomDef* def = Def();
  const bool owns = OwnsDefinition();
  ForgetDefinitions(this);
  if (owns)
    def->Free();
}

void TVantrelModel::RegisterProperties(TPropertyList& AList) {
  AList.Add("ShowJoints", &TVantrelModel::ShowJoints, &TVantrelModel::SetShowJoints).Stored(false);
  // In this order: a form read sets the manager last (references resolve at the end), and by then
  // PackageName and Source are known, so the manager's setter loads the packaged model.
  AList.Add("AssetsManager", &TVantrelModel::AssetsManager, &TVantrelModel::SetAssetsManager).AsReference();
  AList.Add("PackageName", &TVantrelModel::PackageName, &TVantrelModel::SetPackageName);
  AList.Add("Source", &TVantrelModel::Source, &TVantrelModel::SetSource);
}

TModelMetaDef* TVantrelModel::MetaData() const {
  const auto* def = dynamic_cast<const TModelDef*>(Def());
  return def ? def->GetMetaData() : nullptr;
}

void TVantrelModel::InitModelObjects() {
  CreateOrClearInterpolators();
  CreateOrClearAnimationManager();
  CreateWireframeMaterial();
}

void TVantrelModel::CreateWireframeMaterial() {
  if (FWireframeMat)
    return;
  auto* material = New<ui::TColorMaterialSource>(nullptr);
  material->SetStored(false);
  material->SetColor(DefaultWireframeColor);
  FWireframeMat = material;
  FreeNotification(FWireframeMat);
}

void TVantrelModel::FreeWireframeMaterial() {
  ui::TMaterialSource* material = FWireframeMat;
  FWireframeMat = nullptr;
  if (!material)
    return;
  RemoveFreeNotification(material);
  material->Free();
}

void TVantrelModel::Clear() {
  TCustomDef* def = Def();
  // A definition of a package or a standalone one is somebody else's: only the links go.
  const bool owns = OwnsDefinition();
  ForgetDefinitions(this);
  if (owns)
    def->Free();
  CreateOrClearAnimationManager();
  CreateOrClearInterpolators();
  // Freeing the children takes them out of Meshes and Controls; the owned components left are
  // those without a parent here (moved cameras and lights, materials made for the meshes).
  DeleteChildren();
  static const TClass* const kept[] = {&TVantrelAnimationManager::StaticClass(), &TVantrelAnimation::StaticClass()};
  DestroyComponentsButIgnoreClass(kept);
  InitModelObjects();
  UpdatePackageWatch();
}

void TVantrelModel::DeleteChildren() {
  while (!Children().empty())
    Children().back()->Free();
}

bool TVantrelModel::OwnsDefinition() const {
  const auto* def = dynamic_cast<const TModelDef*>(Def());
  return def && !def->GetPackage() && !def->GetIsStandalone();
}

void TVantrelModel::ForgetDefinitions(TFmxObject* AObject) {
  if (auto* control = dynamic_cast<TVantrelControl*>(AObject))
    control->SetDef(nullptr);
  for (TFmxObject* child : AObject->Children())
    ForgetDefinitions(child);
}

void TVantrelModel::CreateOrClearInterpolators() {
  if (FInterpolators) {
    for (const auto& pair : *FInterpolators)
      RemoveFreeNotification(pair.Value);
    FInterpolators->Clear();
  } else {
    FInterpolators = std::make_unique<TInterpolators>();
  }
}

void TVantrelModel::FreeInterpolators() {
  if (!FInterpolators)
    return;
  CreateOrClearInterpolators();
  FInterpolators.reset();
}

void TVantrelModel::CreateOrClearAnimationManager() {
  if (FAnimationManager) {
    FAnimationManager->Clear();
    return;
  }
  // Owned by the model, and never stored on its own in a form.
  FAnimationManager = New<TVantrelAnimationManager>(this);
}

void TVantrelModel::FreeAnimationManager() {
  TVantrelAnimationManager* manager = FAnimationManager;
  FAnimationManager = nullptr;
  if (manager)
    manager->Free();
}

void TVantrelModel::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelMesh::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove)
    return;
  if (AComponent == FWireframeMat)
    FWireframeMat = nullptr;
  if (AComponent == FAnimationManager)
    FAnimationManager = nullptr;
  if (AComponent == FAssetsManager) {
    // The manager's packages go with it.
    FPackage = nullptr;
    FPackageName.clear();
    // A model going away with its form is not emptied first: its parts are being destroyed. The
    // packaged definition goes with the manager either way, so no link to it may stay.
    if (ComponentState().Contains(TComponentStateItem::csDestroying)) {
      if (const auto* def = dynamic_cast<const TModelDef*>(Def()); def && def->GetPackage())
        ForgetDefinitions(this);
      AssignAssetsManager(nullptr);
      UpdatePackageWatch();
    } else {
      SetAssetsManager(nullptr);
    }
  } else if (FAssetsManager && !FPackageName.empty()) {
    // A package of that name that is no longer the one in use: the model forgets both.
    TVantrelAssetsPackage* named = FAssetsManager->GetPackage(FPackageName);
    if (named && named != FPackage) {
      FPackage = nullptr;
      FPackageName.clear();
      UpdatePackageWatch();
    }
  }
  if (FInterpolators)
    for (const auto& pair : FInterpolators->ToArray())
      if (pair.Value == AComponent)
        FInterpolators->Remove(pair.Key);
}

void TVantrelModel::AddInterpolator(const std::string& AName, TPropertyKeyAnimation* AInterpolator) {
  if (!FInterpolators)
    CreateOrClearInterpolators();
  if (FInterpolators->ContainsKey(AName))
    throw Exception(Format(SInterpolatorExists, AName, QualifiedName()));
  FInterpolators->Add(AName, AInterpolator);
  if (AInterpolator)
    FreeNotification(AInterpolator);
}

TPropertyKeyAnimation* TVantrelModel::FindInterpolator(const std::string& AName) const {
  TPropertyKeyAnimation* result = nullptr;
  if (FInterpolators)
    FInterpolators->TryGetValue(AName, result);
  return result;
}

TPropertyKeyAnimation* TVantrelModel::FindInterpolatorByDef(const TCustomDef* ADef) const {
  if (FInterpolators)
    for (const auto& pair : *FInterpolators)
      if (pair.Value && pair.Value->Def() == ADef)
        return pair.Value;
  return nullptr;
}

TComponent* TVantrelModel::FindControlByDeepSearch(const std::string& AName) const {
  if (TPropertyKeyAnimation* interpolator = FindInterpolator(AName))
    return interpolator;
  return TVantrelMesh::FindControlByDeepSearch(AName);
}

TComponent* TVantrelModel::FindControlByDefDeepSearch(const TCustomDef* ADef) {
  if (TPropertyKeyAnimation* interpolator = FindInterpolatorByDef(ADef))
    return interpolator;
  return TVantrelMesh::FindControlByDefDeepSearch(ADef);
}

void TVantrelModel::FindControlsByDeepSearch(const std::string& AName, TSearchResult* AResult) const {
  if (AName.empty())
    return;
  if (!AResult)
    throw Exception(SResultListNotAssigned);
  if (TPropertyKeyAnimation* interpolator = FindInterpolator(AName))
    AResult->AddOrSetValue(interpolator, false);
  TVantrelMesh::FindControlsByDeepSearch(AName, AResult);
}

void TVantrelModel::ResolvingSegment(const std::string& AId, TVantrelTransform* AObj) {
  auto* segment = dynamic_cast<TVantrelSegment*>(FindControlByDeepSearch(Format("%s_Seg", AId)));
  if (!segment || !AObj)
    return;
  for (int i = segment->ComponentCount() - 1; i >= 0; --i) {
    TComponent* component = segment->Components(i);
    if (auto* control = dynamic_cast<TVantrelControl*>(component)) {
      segment->MoveControlTo(control, AObj);
      continue;
    }
    AObj->InsertComponent(component);
    if (auto* object = dynamic_cast<TFmxObject*>(component))
      object->SetParent(AObj);
  }
  if (auto* parent = dynamic_cast<TVantrelControl*>(segment->Parent()))
    parent->RemoveControl(segment);
  segment->Free();
}

TVantrelArmature* TVantrelModel::GetFirstArmature() const {
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* armature = dynamic_cast<TVantrelArmature*>(Components(i)))
      return armature;
  return nullptr;
}

bool TVantrelModel::ShowJoints() const {
  const TVantrelArmature* armature = GetFirstArmature();
  return armature && armature->ShowJoints();
}

void TVantrelModel::SetShowJoints(bool AValue) {
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* armature = dynamic_cast<TVantrelArmature*>(Components(i)))
      armature->SetShowJoints(AValue);
}

TAlphaColor TVantrelModel::JointsColor() const {
  const TVantrelArmature* armature = GetFirstArmature();
  return armature ? armature->JointsRenderColor() : TAlphaColor(0);
}

void TVantrelModel::SetJointsColor(TAlphaColor AValue) {
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* armature = dynamic_cast<TVantrelArmature*>(Components(i)))
      armature->SetJointsRenderColor(AValue);
}

void TVantrelModel::DebugOutComponents(const TComponent* AComponent, const std::string& AIndent) {
  Log::d(Format("%s[%s]%s (%s)", AIndent, std::to_string(uintptr_t(AComponent)), AComponent->Name(),
                std::string(AComponent->ClassName())));
  for (int i = 0; i < AComponent->ComponentCount(); ++i)
    DebugOutComponents(AComponent->Components(i), AIndent + "    ");
}

void TVantrelModel::DebugOutChildren(TFmxObject* AObject, const std::string& AIndent) {
  const std::string address = std::to_string(uintptr_t(AObject));
  if (auto* control = dynamic_cast<TControl3D*>(AObject))
    Log::d(Format("%s[%s]%s (%s) [%s]", AIndent, address, AObject->Name(), std::string(AObject->ClassName()),
                  Matrix3DToString(control->AbsoluteMatrix())));
  else
    Log::d(Format("%s[%s]%s (%s)", AIndent, address, AObject->Name(), std::string(AObject->ClassName())));
  for (TFmxObject* child : AObject->Children())
    DebugOutChildren(child, AIndent + "    ");
}

void TVantrelModel::DebugOut(bool ACompHierarchy) {
  if (ACompHierarchy)
    DebugOutComponents(this, "");
  else
    DebugOutChildren(this, "");
}

TVantrelAnimation* TVantrelModel::AddAnimationFromDef(TAnimationDef* ADef) {
  if (!ADef || !FAnimationManager)
    return nullptr;
  TVantrelAnimation* animation = TVantrelAnimation::CreateEx(FAnimationManager);
  animation->SetParent(this);
  FAnimationManager->AddAnimation(ADef->GetId(), animation);
  animation->LoadFromAnimationDef(ADef);
  return animation;
}

void TVantrelModel::RegisterFields() {
  // The copy keeps the manager its constructor made; the duplicator fills it with the copies of
  // the source's animations.
  rtl::RegisterFields(StaticClass(),
                      {
                          ValueField<&TVantrelModel::FWireframe>("FWireframe"),
                          ObjectField<&TVantrelModel::FAnimationManager>(
                              "FAnimationManager", &TVantrelAnimationManager::StaticClass(), true),
                      });
}

void TVantrelModel::DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) {
  TVantrelMesh::DoDuplicate(ASource, ADuplicator);
  auto* source = dynamic_cast<TVantrelModel*>(ASource);
  if (!source)
    return;
  AssignAssetsManager(source->FAssetsManager);
  FPackage = source->FPackage;
  FPackageName = FPackage ? FPackage->GetDisplayName() : std::string();
  UpdatePackageWatch();
  // Everything the model owns is copied now, so the tracks can move to the copied targets.
  if (FAnimationManager && ADuplicator)
    for (const auto& pair : FAnimationManager->Animations())
      pair.Value->RemapTrackElements(*ADuplicator);
}

void TVantrelModel::MakeCamerasAndLights(TModelDef* ADef,
                                         std::vector<std::pair<TControl3D*, TTransformDef*>>& ANodes) {
  auto& nodes = ANodes;
  ForEachIn(ADef->GetCameras(), [this, &nodes](TCameraDef* ACamera) {
    auto* camera = New<TVantrelCamera>(this);
    camera->SetStored(false);
    camera->SetParent(this);
    camera->LoadFromDefinition(ACamera);
    nodes.emplace_back(camera, ACamera);
  });
  ForEachIn(ADef->GetLights(), [this, &nodes](TLightDef* ALight) {
    auto* light = New<TVantrelLight>(this);
    light->SetStored(false);
    light->SetParent(this);
    light->LoadFromDefinition(ALight);
    nodes.emplace_back(light, ALight);
  });
}

void TVantrelModel::LoadFromDefinition(TCustomDef* ADef) {
  if (!ADef)
    return;
  LoadFromModelDef(CheckedCast<TModelDef>(ADef));
}

void TVantrelModel::LoadFromModelDef(TModelDef* ADef) {
  if (!ADef)
    return;
  SetDef(ADef);
  if (QualifiedName().empty())
    SetQualifiedName(ADef->GetId());
  if (Name().empty())
    SetName(ADef->GetQualifiedComponentName());
  ADef->IncCopyCount();
  std::vector<std::pair<TControl3D*, TTransformDef*>> nodes;
  // A light or camera made by a control that shows a definition registers a definition of its own
  // in it, which would grow ADef's lists while they are walked and leave a phantom node in the
  // model on every load. They load from ADef's nodes, so they are made while the model shows none.
  SetDef(nullptr);
  try {
    MakeCamerasAndLights(ADef, nodes);
  } catch (...) {
    SetDef(ADef);
    throw;
  }
  SetDef(ADef);
  UpdatePackageWatch();
  BuildHierarchy(ADef);
  ForEachIn(ADef->GetArmatures(), [this](TArmatureDef* AArmature) {
    auto* armature = New<TVantrelArmature>(this);
    armature->SetStored(false);
    armature->SetParent(this);
    armature->LoadFromDefinition(AArmature);
  });
  MoveToGlobalOwners(nodes);
  if (FAnimationManager)
    ForEachIn(ADef->GetAnimations(), [this](TAnimationDef* AAnimation) { AddAnimationFromDef(AAnimation); });
  ApplyDefinitionProperties(ADef);
}

void TVantrelModel::MoveToGlobalOwners(const std::vector<std::pair<TControl3D*, TTransformDef*>>& AObjects) {
  for (const auto& [object, def] : AObjects) {
    const TTransformDef* owner = def ? def->GetOwner() : nullptr;
    if (!owner)
      continue;
    if (auto* target = dynamic_cast<TControl3D*>(FindGlobalComponent(owner->GetId())))
      object->SetParent(target);
  }
}

void TVantrelModel::ApplyDefinitionProperties(TTransformDef* ADef) {
  TVantrelMesh::ApplyDefinitionProperties(ADef);
  if (!dynamic_cast<TModelDef*>(ADef))
    throw EInvalidCast(rtl::messages::InvalidCast);
  const TProperties& props = ADef->GetProperties();
  FreeWireframeMaterial();
  ApplyWireframeKeys(props);
  ApplyKey(props, "ShowJoints", [&](const TValue& V) { SetShowJoints(V.AsBoolean()); });
  ApplyKey(props, "JointsColor", [&](const TValue& V) { SetJointsColor(V.AsType<TAlphaColorF>().ToAlphaColor()); });
  ApplyKey(props, "AssetsManager", [&](const TValue& V) { ApplyAssetsManagerKey(V.AsString()); });
  // Both are only remembered: the model is being filled already.
  ApplyKey(props, "PackageName", [&](const TValue& V) { FPackageName = V.AsString(); });
  ApplyKey(props, "Source", [&](const TValue& V) { FSource = V.AsString(); });
  ApplyKey(props, "CurrentAnimation", [&](const TValue& V) {
    if (FAnimationManager && !FAnimationManager->Animations().IsEmpty())
      FAnimationManager->PlayAnimation(V.AsString());
  });
}

void TVantrelModel::ApplyWireframeKeys(const TProperties& AProperties) {
  ApplyKey(AProperties, "Wireframe", [&](const TValue& V) { FWireframe = V.AsBoolean(); });
  if (!FWireframe)
    return;
  ApplyKey(AProperties, "WireframeMaterial", [&](const TValue& V) {
    const std::string kind = V.AsString();
    const TValue* color = AProperties.Find(std::string_view("WireframeColor"));
    if (kind == "Color") {
      CreateWireframeMaterial();
      if (auto* material = dynamic_cast<ui::TColorMaterialSource*>(FWireframeMat); material && color)
        material->SetColor(color->AsType<TAlphaColorF>().ToAlphaColor());
    } else if (kind == "Default") {
      auto* material = New<TVantrelDefaultMaterialSource>(this);
      material->SetParent(this);
      FWireframeMat = material;
      if (color)
        material->SetDiffuse(color->AsType<TAlphaColorF>().ToAlphaColor());
    }
  });
}

void TVantrelModel::ApplyAssetsManagerKey(const std::string& AName) {
  if (FAssetsManager)
    return;
  TComponent* owner = Owner();
  if (!owner)
    return;
  TVantrelAssetsManager* manager = nullptr;
  if (TComponent* named = owner->FindComponent(AName))
    manager = CheckedCast<TVantrelAssetsManager>(named);
  else
    manager = static_cast<TVantrelAssetsManager*>(FindComponentDeepSearchByFilter(owner, [](TComponent* AComponent) {
      return &AComponent->ClassType() == &TVantrelAssetsManager::StaticClass();
    }));
  AssignAssetsManager(manager);
}

void TVantrelModel::StoreWireframeKeys(TProperties& AProperties) const {
  AProperties.AddOrSetValue("Wireframe", TValue::From<bool>(FWireframe));
  if (const auto* color = dynamic_cast<const ui::TColorMaterialSource*>(FWireframeMat)) {
    AProperties.AddOrSetValue("WireframeMaterial", TValue::From<std::string>("Color"));
    AProperties.AddOrSetValue("WireframeColor", TValue::From<TAlphaColorF>(TAlphaColorF::Create(color->GetColor())));
  } else if (const auto* material = dynamic_cast<const TVantrelDefaultMaterialSource*>(FWireframeMat)) {
    AProperties.AddOrSetValue("WireframeMaterial", TValue::From<std::string>("Default"));
    AProperties.AddOrSetValue("WireframeColor", TValue::From<TAlphaColorF>(material->GetDiffuseF()));
  }
}

void TVantrelModel::StoreToDefinition(TCustomDef* ADef) {
  TVantrelMesh::StoreToDefinition(ADef);
  auto* def = dynamic_cast<TModelDef*>(ADef);
  if (!def)
    return;
  if (FTextureCache) {
    // The definition's texture assets take the bitmaps of the cache they are given; the model's
    // own cache keeps its bitmaps, so they get copies.
    TVantrelBitmapCache copies(nullptr);
    for (int i = 0; i < FTextureCache->Count(); ++i) {
      TVantrelBitmapCacheEntry* entry = copies.Add();
      entry->SetFilename(FTextureCache->Entry(i)->GetFilename());
      if (ui::TBitmap* bitmap = FTextureCache->Entry(i)->GetBitmap())
        entry->SetBitmap(bitmap);
    }
    def->ApplyBitmapCache(&copies);
  }
  TProperties& props = def->GetProperties();
  StoreWireframeKeys(props);
  props.AddOrSetValue("ShowJoints", TValue::From<bool>(ShowJoints()));
  props.AddOrSetValue("JointsColor", TValue::From<TAlphaColorF>(TAlphaColorF::Create(JointsColor())));
  if (FAnimationManager)
    props.AddOrSetValue("AnimationManager", TValue::From<std::string>(FAnimationManager->Name()));
  TVantrelAnimation* current = FAnimationManager ? FAnimationManager->CurrentValue() : nullptr;
  props.AddOrSetValue("CurrentAnimation", TValue::From<std::string>(current ? current->Id() : std::string()));
  if (FAssetsManager)
    props.AddOrSetValue("AssetsManager", TValue::From<std::string>(FAssetsManager->Name()));
  props.AddOrSetValue("PackageName", TValue::From<std::string>(FPackageName));
  props.AddOrSetValue("Source", TValue::From<std::string>(FSource));
}

namespace {

int ModelInitCount = 0;

} // namespace

void InitializeModel() {
  if (ModelInitCount++ > 0)
    return;
  RegisterClass(TVantrelModel::StaticClass());
  TVantrelModel::RegisterFields();
  detail::RegisterCachingModel(true);
}

void FinalizeModel() {
  if (ModelInitCount == 0 || --ModelInitCount > 0)
    return;
  detail::RegisterCachingModel(false);
  UnRegisterFields(TVantrelModel::StaticClass());
  UnRegisterClass(TVantrelModel::StaticClass());
}

} // namespace vantrel
