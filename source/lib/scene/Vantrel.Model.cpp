#include "scene/Vantrel.Model.h"

#include <cstdint>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Light.h"
#include "scene/Vantrel.Segment.h"

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
  CreateOrClearInterpolators();
  CreateOrClearAnimationManager();
  SetHitTest(false);
}

void TVantrelModel::BeforeDestruction() {
  FreeAnimationManager();
  FreeInterpolators();
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
  if (AComponent == FAnimationManager)
    FAnimationManager = nullptr;
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
  ForEachIn(ADef->GetCameras(), [this](TCameraDef* ACamera) {
    auto* camera = New<TVantrelCamera>(this);
    camera->SetStored(false);
    camera->SetParent(this);
    camera->LoadFromDefinition(ACamera);
  });
  ForEachIn(ADef->GetLights(), [this](TLightDef* ALight) {
    auto* light = New<TVantrelLight>(this);
    light->SetStored(false);
    light->SetParent(this);
    light->LoadFromDefinition(ALight);
  });
  BuildHierarchy(ADef);
  ForEachIn(ADef->GetArmatures(), [this](TArmatureDef* AArmature) {
    auto* armature = New<TVantrelArmature>(this);
    armature->SetStored(false);
    armature->SetParent(this);
    armature->LoadFromDefinition(AArmature);
  });
  if (FAnimationManager)
    ForEachIn(ADef->GetAnimations(), [this](TAnimationDef* AAnimation) { AddAnimationFromDef(AAnimation); });
  ApplyDefinitionProperties(ADef);
}

void TVantrelModel::ApplyDefinitionProperties(TTransformDef* ADef) {
  TVantrelMesh::ApplyDefinitionProperties(ADef);
  if (!dynamic_cast<TModelDef*>(ADef))
    throw EInvalidCast(rtl::messages::InvalidCast);
  const TProperties& props = ADef->GetProperties();
  ApplyKey(props, "ShowJoints", [&](const TValue& V) { SetShowJoints(V.AsBoolean()); });
  ApplyKey(props, "JointsColor", [&](const TValue& V) { SetJointsColor(V.AsType<TAlphaColorF>().ToAlphaColor()); });
  ApplyKey(props, "CurrentAnimation", [&](const TValue& V) {
    if (FAnimationManager && !FAnimationManager->Animations().IsEmpty())
      FAnimationManager->PlayAnimation(V.AsString());
  });
}

void TVantrelModel::StoreToDefinition(TCustomDef* ADef) {
  TVantrelMesh::StoreToDefinition(ADef);
  auto* def = dynamic_cast<TModelDef*>(ADef);
  if (!def)
    return;
  TProperties& props = def->GetProperties();
  props.AddOrSetValue("ShowJoints", TValue::From<bool>(ShowJoints()));
  props.AddOrSetValue("JointsColor", TValue::From<TAlphaColorF>(TAlphaColorF::Create(JointsColor())));
  if (FAnimationManager)
    props.AddOrSetValue("AnimationManager", TValue::From<std::string>(FAnimationManager->Name()));
  TVantrelAnimation* current = FAnimationManager ? FAnimationManager->CurrentValue() : nullptr;
  props.AddOrSetValue("CurrentAnimation", TValue::From<std::string>(current ? current->Id() : std::string()));
}

namespace {

int ModelInitCount = 0;

} // namespace

void InitializeModel() {
  if (ModelInitCount++ > 0)
    return;
  RegisterClass(TVantrelModel::StaticClass());
}

void FinalizeModel() {
  if (ModelInitCount == 0 || --ModelInitCount > 0)
    return;
  UnRegisterClass(TVantrelModel::StaticClass());
}

} // namespace vantrel
