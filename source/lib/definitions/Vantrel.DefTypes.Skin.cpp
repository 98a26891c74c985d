// The skinning definitions: joints, joint references, skins, controllers and armatures.

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TJointDef)
VANTREL_DEFINE_DEF_CLASS(TJointRefDef)
VANTREL_DEFINE_DEF_CLASS(TSkinDef)
VANTREL_DEFINE_DEF_CLASS(TControllerDef)
VANTREL_DEFINE_DEF_CLASS(TArmatureDef)

namespace {

constexpr const char* SkinLoadFailed = "failed to load skin definition %s - %s";
constexpr const char* InvalidJSONValue = "invalid json value";
constexpr const char* ModelNotAssigned = "model not assigned in controller-mesh";
constexpr const char* InvalidJointValue = "invalid json value for \"Joint\"";
constexpr const char* JointNotFound = "joint %s not found in model";
constexpr const char* SkeletonJointNotFound = "skeleton joint %s not found in model";
constexpr const char* BindPoseJointNotFound = "failed to apply bind pose - joint %s in linked list not found";
constexpr const char* BindPoseMissing = "failed to apply bind pose - no bind pose for joint %s";
constexpr const char* SkinParameterEmpty = "armature parameter expected - parameter is empty";
constexpr const char* NotWorkingYet = "TODO: not working yet!";

// The array member AName, nullptr when absent; any other value raises EInvalidCast.
const TJSONArray* OptionalArray(const TJSONObject& AValue, std::string_view AName) {
  const TJSONValue* value = AValue.GetValue(AName);
  if (!value)
    return nullptr;
  const auto* array = dynamic_cast<const TJSONArray*>(value);
  if (!array)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return array;
}

TJointDef* FindModelJoint(TModelDef* AModel, const std::string& AId) {
  const TModelDefSeams& seams = ModelDefSeams();
  return AModel && seams.FindJointById ? seams.FindJointById(AModel, AId) : nullptr;
}

std::string IdOf(const TCustomDef* ADef) {
  return ADef ? ADef->GetId() : std::string();
}

// The model's rule for a controller reference: the Id, with or without a leading '#'.
bool ControllerNamed(const TControllerDef* AController, const std::string& AName) {
  return SameText(AController->GetId(), AName) || SameText("#" + AController->GetId(), AName);
}

} // namespace

// ---- TJointDef ----

TJointDef::TJointDef(TCustomDef* AOwner) : TTransformDef(AOwner) {
  if (auto* armature = dynamic_cast<TArmatureDef*>(AOwner))
    FArmatureIndex = armature->NextJointIndex();
}

TJointDef::~TJointDef() {
  FParent = nullptr;
  FJoints.reset();
  AssignOwner(nullptr);
}

TArmatureDef* TJointDef::GetArmature() const {
  return dynamic_cast<TArmatureDef*>(GetOwnerRef());
}

void TJointDef::SetArmature(TArmatureDef* AValue) {
  SetOwnerRef(AValue);
}

bool TJointDef::AddJoint(TJointDef* AJoint) {
  if (!FJoints)
    FJoints = std::make_unique<TJointTable>(
        std::initializer_list<TDictionaryOwnership>{TDictionaryOwnership::doOwnsValues});
  return FJoints->TryAdd(AJoint->GetId(), AJoint);
}

TJointDef* TJointDef::FindJointById(std::string_view AId) const {
  if (!FJoints)
    return nullptr;
  for (const auto& pair : *FJoints) {
    if (pair.Value->GetId() == AId)
      return pair.Value;
    if (TJointDef* found = pair.Value->FindJointById(AId))
      return found;
  }
  return nullptr;
}

int32_t TJointDef::JointsCount() const {
  if (!FJoints)
    return 0;
  int32_t count = FJoints->Count();
  for (const auto& pair : *FJoints)
    count += pair.Value->JointsCount();
  return count;
}

TTransformDef* TJointDef::GetModel() const {
  const TArmatureDef* armature = GetArmature();
  return armature ? armature->GetModel() : nullptr;
}

int64_t TJointDef::GetSize() const {
  int64_t size = inherited::GetSize();
  if (FJoints)
    size += static_cast<int64_t>(sizeof(TJointTable)) + 8 * FJoints->Count();
  return size;
}

TMatrix3D TJointDef::EvaluateGlobalTransformation() const {
  return FParent ? GetTransform() * FParent->EvaluateGlobalTransformation() : GetTransform();
}

std::unique_ptr<TJSONObject> TJointDef::ToJSON() const {
  auto result = inherited::ToJSON();
  if (FParent)
    result->AddPair("Parent", FParent->GetId());
  else
    result->AddPair("Parent", TJSONNull::Create());
  if (FJoints) {
    auto joints = TJSONArray::Create();
    for (const auto& pair : *FJoints)
      joints->Add(pair.Value->ToJSON());
    result->AddPair("Joints", std::move(joints));
  }
  return result;
}

void TJointDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  const TJSONArray* joints = OptionalArray(AValue, "Joints");
  if (!joints)
    return;
  for (const TJSONValue* element : *joints) {
    const auto* object = dynamic_cast<const TJSONObject*>(element);
    if (!object)
      throw EInvalidCast(rtl::messages::InvalidCast);
    TOwned<TJointDef> child(New<TJointDef>(GetArmature()));
    child->SetParent(this);
    child->FromJSON(AModel, *object);
    // A child whose id is taken is dropped (and freed by its holder).
    if (AddJoint(child.get()))
      child.release();
  }
}

// ---- TJointRefDef ----

TJointRefDef::TJointRefDef(TJointDef* AJoint, TControllerDef* AController, bool AIsStandalone) {
  Bind(AJoint, AController, AIsStandalone);
}

void TJointRefDef::Bind(TJointDef* AJoint, TControllerDef* AController, bool AIsStandalone) {
  FJoint = AJoint;
  FController = AController;
  FIsStandalone = AIsStandalone;
  SetId(IdOf(AJoint));
}

TTransformDef* TJointRefDef::GetTarget() const {
  return FController ? FController->GetTarget() : nullptr;
}

void TJointRefDef::SetInvBindMatrix(const TMatrix3D& AValue) {
  FInvBindMatrix = AValue;
  FInvBindMatAvail = true;
}

void TJointRefDef::ApplyBindPose(const TSkinDef* ASkin) {
  if (!ASkin) {
    FInvBindMatrix = TMatrix3D::Identity();
    FInvBindMatAvail = false;
    return;
  }
  const int32_t index = ASkin->GetJointIndex(GetId());
  if (index < 0) {
    Log::d(Format(BindPoseJointNotFound, {GetId()}));
    return;
  }
  // A file may hold fewer bind poses than linked joints.
  if (static_cast<size_t>(index) >= ASkin->GetBindPoses().size()) {
    Log::d(Format(BindPoseMissing, {GetId()}));
    return;
  }
  SetInvBindMatrix(ASkin->GetBindPoses()[index]);
}

bool TJointRefDef::IsSkeletonRoot(const TSkinDef* ASkin) const {
  if (!ASkin)
    throw Exception(SkinParameterEmpty);
  for (const TJointRefDef* skeleton : ASkin->GetSkeletons())
    if (skeleton->GetJoint() == FJoint)
      return true;
  return false;
}

TMatrix3D TJointRefDef::EvaluateGlobalTransformation() const {
  return FJoint ? FJoint->EvaluateGlobalTransformation() : TMatrix3D::Identity();
}

void TJointRefDef::ClearWeightsAndIndices(int32_t ALength) {
  const size_t length = static_cast<size_t>(std::max(ALength, 0));
  FWeights.assign(length, 0.0f);
  FIndices.assign(length, 0);
  FLowerLimit.clear();
  FUpperLimit.clear();
}

void TJointRefDef::AdjustLengthOfWeightsAndIndices(int32_t ALength) {
  const size_t length = static_cast<size_t>(std::max(ALength, 0));
  FWeights.resize(length);
  FIndices.resize(length);
}

int64_t TJointRefDef::GetSize() const {
  return inherited::GetSize() + 4 * static_cast<int64_t>(FWeights.size() + FIndices.size() +
                                                         FLowerLimit.size() + FUpperLimit.size());
}

std::unique_ptr<TJSONObject> TJointRefDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Joint", IdOf(FJoint));
  result->AddPair("Controller", IdOf(FController));
  result->AddPair("Weights", SingleArrayToString(FWeights));
  result->AddPair("Indices", IntegerArrayToString(FIndices));
  result->AddPair("LowerLimit", SingleArrayToString(FLowerLimit));
  result->AddPair("UpperLimit", SingleArrayToString(FUpperLimit));
  result->AddPair("InvBindMatrix", Matrix3DToString(FInvBindMatrix));
  result->AddPair("InvBindMatAvail", FInvBindMatAvail);
  return result;
}

void TJointRefDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  if (HasJSONValue(AValue, "Weights"))
    FWeights = StringToSingleArray(GetJSONValueText(AValue, "Weights"));
  if (HasJSONValue(AValue, "Indices"))
    FIndices = StringToIntegerArray(GetJSONValueText(AValue, "Indices"));
  if (HasJSONValue(AValue, "LowerLimit"))
    FLowerLimit = StringToSingleArray(GetJSONValueText(AValue, "LowerLimit"));
  if (HasJSONValue(AValue, "UpperLimit"))
    FUpperLimit = StringToSingleArray(GetJSONValueText(AValue, "UpperLimit"));
  FInvBindMatrix = GetJSONMatrix3D(AValue, "InvBindMatrix", FInvBindMatrix);
  FInvBindMatAvail = GetJSONBoolean(AValue, "InvBindMatAvail", false);
}

// ---- TSkinDef ----

TSkinDef::TSkinDef(TCustomDef* AOwner)
    : TTransformDef(AOwner), FLinkedJoints(std::make_unique<TObjectList<TJointRefDef>>()),
      FSkeletons(std::make_unique<TList<TJointRefDef*>>()) {}

TSkinDef::~TSkinDef() {
  for (TJointRefDef* skeleton : *FSkeletons)
    if (skeleton->GetIsStandalone())
      skeleton->Free();
  FSkeletons.reset();
  FLinkedJoints.reset();
  AssignOwner(nullptr);
}

TControllerDef* TSkinDef::GetController() const {
  return dynamic_cast<TControllerDef*>(GetOwnerRef());
}

TTransformDef* TSkinDef::GetTarget() const {
  const TControllerDef* controller = GetController();
  return controller ? controller->GetTarget() : nullptr;
}

void TSkinDef::SetTarget(TTransformDef* AValue) {
  if (TControllerDef* controller = GetController())
    controller->SetTarget(AValue);
}

void TSkinDef::AdjustBindPosesArrayLength(int32_t AIndex) {
  if (AIndex >= 0 && static_cast<int64_t>(FBindPoses.size()) - 1 < AIndex)
    FBindPoses.resize(static_cast<size_t>(AIndex) + 1, TMatrix3D{});
}

void TSkinDef::SetBindPosesArrayLength(int32_t ACount) {
  FBindPoses.resize(static_cast<size_t>(std::max(ACount, 0)), TMatrix3D{});
}

TJointRefDef* TSkinDef::LinkJoint(TJointRefDef* AJointRef) {
  if (AJointRef)
    AJointRef->SetLinkIndex(FLinkedJoints->Add(AJointRef));
  return AJointRef;
}

TJointRefDef* TSkinDef::LinkJoint(TJointDef* AJoint, const TCustomDefClass* ARefClass) {
  if (TJointRefDef* existing = GetJointRef(AJoint))
    return existing;
  const TCustomDefClass& refClass = ARefClass ? *ARefClass : TJointRefDef::StaticClass();
  TOwned<TJointRefDef> jointRef(CheckedCast<TJointRefDef>(refClass.CreateDef(nullptr)));
  jointRef->Bind(AJoint, GetController(), false);
  return LinkJoint(jointRef.release());
}

TJointRefDef* TSkinDef::GetJointRef(std::string_view AId) const {
  for (TJointRefDef* jointRef : *FLinkedJoints)
    if (jointRef->GetJoint() && jointRef->GetJoint()->GetId() == AId)
      return jointRef;
  return nullptr;
}

TJointRefDef* TSkinDef::GetJointRef(const TJointDef* AJoint) const {
  for (TJointRefDef* jointRef : *FLinkedJoints)
    if (jointRef->GetJoint() == AJoint)
      return jointRef;
  return nullptr;
}

int32_t TSkinDef::GetJointIndex(std::string_view AId) const {
  for (int i = 0; i < FLinkedJoints->Count(); ++i)
    if (FLinkedJoints->Items(i)->GetId() == AId)
      return i;
  return -1;
}

int32_t TSkinDef::GetJointIndex(const TJointDef* AJoint) const {
  for (int i = 0; i < FLinkedJoints->Count(); ++i)
    if (FLinkedJoints->Items(i)->GetJoint() == AJoint)
      return i;
  return -1;
}

std::string TSkinDef::LinkedJointsToString() const {
  std::string result;
  for (int i = 0; i < FLinkedJoints->Count(); ++i) {
    if (i > 0)
      result += ", ";
    result += FLinkedJoints->Items(i)->GetId();
  }
  return result;
}

bool TSkinDef::BindShapeMatrixIsIdentity() const {
  const TMatrix3D identity = TMatrix3D::Identity();
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col)
      if (std::abs(static_cast<double>(FBindShapeMatrix(row, col)) - identity(row, col)) > 1e-40)
        return false;
  return true;
}

void TSkinDef::ApplyBindPoses() {
  for (TJointRefDef* jointRef : *FLinkedJoints)
    jointRef->ApplyBindPose(this);
}

TMatrix3D TSkinDef::CalculateInverseBindTransformMatrix(const TMatrix3D&) const {
  throw Exception(NotWorkingYet);
}

void TSkinDef::GetSkeletonJointTransformations(const TMatrix3D& ATransform,
                                               std::vector<TMatrix3D>& AResult) const {
  const size_t count = static_cast<size_t>(FLinkedJoints->Count());
  if (AResult.size() < count)
    AResult.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const TJointDef* joint = FLinkedJoints->Items(static_cast<int>(i))->GetJoint();
    const TMatrix3D transform = joint ? joint->GetTransform() : TMatrix3D::Identity();
    const TMatrix3D inverseBindPose = i < FBindPoses.size() ? FBindPoses[i].Inverse() : TMatrix3D::Identity();
    AResult[i] = ATransform * (transform * inverseBindPose);
  }
}

int64_t TSkinDef::GetSize() const {
  return inherited::GetSize() + static_cast<int64_t>(sizeof(TObjectList<TJointRefDef>)) +
         8 * FLinkedJoints->Count() + 64 * static_cast<int64_t>(FBindPoses.size());
}

std::unique_ptr<TJSONObject> TSkinDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Controller", IdOf(GetController()));
  auto linked = TJSONArray::Create();
  for (const TJointRefDef* jointRef : *FLinkedJoints)
    linked->Add(jointRef->ToJSON());
  result->AddPair("LinkedJoints", std::move(linked));
  auto skeletons = TJSONArray::Create();
  for (const TJointRefDef* skeleton : *FSkeletons)
    skeletons->Add(TJSONString::Create(skeleton->GetId()));
  result->AddPair("Skeletons", std::move(skeletons));
  result->AddPair("BindShapeMatrix", Matrix3DToString(FBindShapeMatrix));
  auto poses = TJSONArray::Create();
  for (const TMatrix3D& pose : FBindPoses)
    poses->Add(TJSONString::Create(Matrix3DToString(pose)));
  result->AddPair("BindPoses", std::move(poses));
  return result;
}

void TSkinDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  try {
    ReadSkin(AModel, AValue);
  } catch (const Exception& error) {
    throw Exception(Format(SkinLoadFailed, {GetId(), error.Message()}));
  }
}

void TSkinDef::ReadSkin(TModelDef* AModel, const TJSONObject& AValue) {
  if (const TJSONArray* linked = OptionalArray(AValue, "LinkedJoints")) {
    for (const TJSONValue* element : *linked) {
      const auto* object = dynamic_cast<const TJSONObject*>(element);
      if (!object)
        throw Exception(InvalidJSONValue);
      if (!AModel)
        throw Exception(ModelNotAssigned);
      if (!HasJSONValueOfClass(*object, "Joint", TJSONString::StaticClass()))
        throw Exception(InvalidJointValue);
      const std::string id = GetJSONString(*object, "Joint");
      TJointDef* joint = FindModelJoint(AModel, id);
      if (!joint)
        throw Exception(Format(JointNotFound, {id}));
      LinkJoint(New<TJointRefDef>(joint, GetController(), false))->FromJSON(AModel, *object);
    }
  }
  if (HasJSONValueOfClass(AValue, "Skeleton", TJSONString::StaticClass()))
    AddSkeletonJoint(AModel, GetJSONString(AValue, "Skeleton"));
  if (const auto* skeletons = dynamic_cast<const TJSONArray*>(AValue.GetValue("Skeletons")))
    for (const TJSONValue* element : *skeletons)
      if (const auto* id = dynamic_cast<const TJSONString*>(element))
        AddSkeletonJoint(AModel, std::string(id->Value()));
  FBindShapeMatrix = GetJSONMatrix3D(AValue, "BindShapeMatrix", FBindShapeMatrix);
  if (const TJSONArray* poses = OptionalArray(AValue, "BindPoses")) {
    std::vector<TMatrix3D> bindPoses;
    bindPoses.reserve(static_cast<size_t>(poses->Count()));
    for (const TJSONValue* element : *poses) {
      bindPoses.push_back(StringToMatrix3D(element->Value()));
    }
    FBindPoses = std::move(bindPoses);
  }
}

void TSkinDef::AddSkeletonJoint(TModelDef* AModel, const std::string& AId) {
  TJointDef* joint = FindModelJoint(AModel, AId);
  if (!joint)
    throw Exception(Format(SkeletonJointNotFound, {AId}));
  AddSkeleton(New<TJointRefDef>(joint, GetController(), true));
}

// ---- TControllerDef ----

TControllerDef::TControllerDef(TTransformDef* ATarget) : FTarget(ATarget) {}

TControllerDef::~TControllerDef() {
  FTarget = nullptr;
  FreeAndNil(FSkin);
}

void TControllerDef::SetSkin(TSkinDef* ASkin) {
  if (ASkin == FSkin)
    return;
  TSkinDef* old = std::exchange(FSkin, ASkin);
  if (old)
    old->Free();
}

TJointRefDef* TControllerDef::GetJointRef(std::string_view AId) const {
  return FSkin ? FSkin->GetJointRef(AId) : nullptr;
}

TJointRefDef* TControllerDef::GetJointRef(const TJointDef* AJoint) const {
  return FSkin ? FSkin->GetJointRef(AJoint) : nullptr;
}

int64_t TControllerDef::GetSize() const {
  return inherited::GetSize() + (FSkin ? FSkin->GetSize() : 0);
}

std::unique_ptr<TJSONObject> TControllerDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Target", IdOf(FTarget));
  if (FSkin)
    result->AddPair("Skin", FSkin->ToJSON());
  else
    result->AddPair("Skin", TJSONNull::Create());
  return result;
}

void TControllerDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  const auto* skin = dynamic_cast<const TJSONObject*>(AValue.GetValue("Skin"));
  if (!skin)
    return;
  // Owned before it reads, so that what a failing read linked stays with the controller.
  SetSkin(New<TSkinDef>(this));
  FSkin->FromJSON(AModel, *skin);
  for (const TJointRefDef* skeleton : FSkin->GetSkeletons())
    if (TArmatureDef* armature = skeleton->GetJoint() ? skeleton->GetJoint()->GetArmature() : nullptr)
      armature->AddController(this);
}

// ---- TArmatureDef ----

TArmatureDef::TArmatureDef(TCustomDef* AOwner) : TTransformDef(AOwner) {
  SetId("default");
}

TArmatureDef::~TArmatureDef() {
  FreeAndNil(FRoot);
}

TTransformDef* TArmatureDef::GetModel() const {
  TCustomDef* owner = GetOwnerRef();
  if (!owner)
    return nullptr;
  const TClass* modelClass = GetClass("Vantrel.DefTypes.TModelDef");
  if (!modelClass || !owner->InheritsFrom(*modelClass))
    throw EInvalidCast(rtl::messages::InvalidCast);
  return static_cast<TTransformDef*>(owner);
}

void TArmatureDef::SetRoot(TJointDef* ARoot) {
  if (ARoot == FRoot)
    return;
  TJointDef* old = std::exchange(FRoot, ARoot);
  if (old)
    old->Free();
}

TJointDef* TArmatureDef::FindJointById(std::string_view AId) const {
  if (!FRoot)
    return nullptr;
  if (FRoot->GetId() == AId)
    return FRoot;
  return FRoot->FindJointById(AId);
}

void TArmatureDef::AddController(TControllerDef* AValue) {
  if (!FControllers.Contains(AValue))
    FControllers.Add(AValue);
}

TControllerDef* TArmatureDef::FindControllerByTransform(const TTransformDef* ATransform) const {
  for (TControllerDef* controller : FControllers)
    if (controller->GetTarget() == ATransform)
      return controller;
  return nullptr;
}

std::unique_ptr<TJSONObject> TArmatureDef::ToJSON() const {
  auto result = inherited::ToJSON();
  if (FRoot)
    result->AddPair("Root", FRoot->ToJSON());
  else
    result->AddPair("Root", TJSONNull::Create());
  auto controllers = TJSONArray::Create();
  for (const TControllerDef* controller : FControllers)
    controllers->Add(TJSONString::Create(controller->GetId()));
  result->AddPair("Controllers", std::move(controllers));
  return result;
}

void TArmatureDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  const auto* root = dynamic_cast<const TJSONObject*>(AValue.GetValue("Root"));
  if (!root)
    return;
  TOwned<TJointDef> joint(New<TJointDef>(this));
  joint->FromJSON(AModel, *root);
  SetRoot(joint.release());
}

bool TArmatureDef::LateResolveFromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  const bool result = inherited::LateResolveFromJSON(AModel, AValue);
  const auto* controllers = dynamic_cast<const TJSONArray*>(AValue.GetValue("Controllers"));
  const TModelDefSeams& seams = ModelDefSeams();
  if (!controllers || !AModel || !seams.FindControllerById)
    return result;
  // Each entry stands for one controller of that Id. The controllers linked while reading (by
  // their skeletons) count first, so that an Id shared by two controllers neither adds the
  // first one of that Id to an armature it does not drive nor grows the list on every load.
  std::vector<std::string> seen;
  for (const TJSONValue* element : *controllers) {
    const auto* id = dynamic_cast<const TJSONString*>(element);
    if (!id)
      continue;
    const std::string name(id->Value());
    seen.push_back(name);
    const auto occurrence = std::count_if(seen.begin(), seen.end(), [&](const std::string& A) { return SameText(A, name); });
    const auto linked = std::count_if(FControllers.begin(), FControllers.end(),
                                      [&](const TControllerDef* A) { return ControllerNamed(A, name); });
    if (linked >= occurrence)
      continue;
    if (TControllerDef* controller = seams.FindControllerById(AModel, name))
      AddController(controller);
  }
  return result;
}

// ---- start-up rows ----

namespace detail {

void RegisterSkinDefClasses(bool ARegister) {
  const std::array<TCustomDefClass*, 5> classes{&TControllerDef::StaticClass(), &TSkinDef::StaticClass(),
                                                &TJointDef::StaticClass(), &TJointRefDef::StaticClass(),
                                                &TArmatureDef::StaticClass()};
  const std::array<TCustomDefClass*, 3> childRows{&TArmatureDef::StaticClass(), &TJointDef::StaticClass(),
                                                  &TSkinDef::StaticClass()};
  if (ARegister) {
    for (TCustomDefClass* defClass : classes)
      RegisterClass(*defClass);
    for (TCustomDefClass* rowClass : childRows)
      RegisterChildDefClass(rowClass->QualifiedName(), *rowClass);
  } else {
    for (TCustomDefClass* rowClass : childRows)
      UnregisterChildDefClass(rowClass->QualifiedName());
    for (TCustomDefClass* defClass : classes)
      UnRegisterClass(*defClass);
  }
}

} // namespace detail

} // namespace vantrel
