#include "scene/Vantrel.Joint.h"

#include <algorithm>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Model.h"
#include "ui/context3d.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelJoint, "Vantrel.Joint")

namespace {

// The controller's slot, or -1 when it has none in 0..15.
int32_t SlotOf(const TControllerDef* ACtrl) {
  if (!ACtrl)
    return -1;
  const int32_t index = ACtrl->GetIndex();
  return index >= 0 && index < MaxJointControllers ? index : -1;
}

TMatrix3D MatrixAt(const TVantrelJointLocalTransform& AMatrices, const TControllerDef* ACtrl) {
  const int32_t slot = SlotOf(ACtrl);
  return slot < 0 ? TMatrix3D::Identity() : AMatrices[size_t(slot)];
}

void StoreAt(TVantrelJointLocalTransform& AMatrices, const TControllerDef* ACtrl, const TMatrix3D& AMatrix,
             const char* AMessage) {
  const int32_t slot = SlotOf(ACtrl);
  if (slot < 0)
    throw Exception(AMessage);
  AMatrices[size_t(slot)] = AMatrix;
}

} // namespace

TVantrelJoint::TVantrelJoint(TComponent* AOwner) : TVantrelTransform(AOwner) {
  FLocalBindTransform.fill(TMatrix3D::Identity());
  FInverseBindTransform.fill(TMatrix3D::Identity());
  FCurrentOffsetMatrix.fill(TMatrix3D::Identity());
  SetFrustumCullingCheck(false);
}

TVantrelJoint::~TVantrelJoint() {
  ClearJoints();
}

TJointDef* TVantrelJoint::JointDef() const {
  return dynamic_cast<TJointDef*>(Def());
}

void TVantrelJoint::SetShowJoint(bool AValue) {
  FShowJoint = AValue;
  for (TVantrelJoint* joint : FJoints)
    joint->SetShowJoint(AValue);
  Repaint();
}

void TVantrelJoint::SetJointRenderColor(TAlphaColor AValue) {
  FJointRenderColor = AValue;
  for (TVantrelJoint* joint : FJoints)
    joint->SetJointRenderColor(AValue);
  Repaint();
}

TVantrelArmature* TVantrelJoint::Armature() const {
  for (TFmxObject* parent = Parent(); parent; parent = parent->Parent()) {
    if (auto* armature = dynamic_cast<TVantrelArmature*>(parent))
      return armature;
    if (!dynamic_cast<TVantrelJoint*>(parent))
      return nullptr;
  }
  return nullptr;
}

bool TVantrelJoint::IsSkeletonRoot() const {
  const TVantrelArmature* armature = Armature();
  if (!armature)
    return false;
  const auto& roots = armature->Skeletons();
  return std::find(roots.begin(), roots.end(), this) != roots.end();
}

TMatrix3D TVantrelJoint::GetLocalBindTransform(const TControllerDef* ACtrl) const {
  return MatrixAt(FLocalBindTransform, ACtrl);
}

TMatrix3D TVantrelJoint::GetInverseBindTransform(const TControllerDef* ACtrl) const {
  return MatrixAt(FInverseBindTransform, ACtrl);
}

TMatrix3D TVantrelJoint::GetCurrentOffsetMatrix(const TControllerDef* ACtrl) const {
  return MatrixAt(FCurrentOffsetMatrix, ACtrl);
}

void TVantrelJoint::SetLocalBindTransformMatrix(const TControllerDef* ACtrl, const TMatrix3D& AMatrix) {
  StoreAt(FLocalBindTransform, ACtrl, AMatrix, SJointLocalBindIndex);
}

void TVantrelJoint::SetInverseBindTransformMatrix(const TControllerDef* ACtrl, const TMatrix3D& AMatrix) {
  StoreAt(FInverseBindTransform, ACtrl, AMatrix, SJointInverseBindIndex);
}

void TVantrelJoint::SetCurrentOffsetMatrix(const TControllerDef* ACtrl, const TMatrix3D& AMatrix) {
  StoreAt(FCurrentOffsetMatrix, ACtrl, AMatrix, SJointCurrentOffsetIndex);
}

void TVantrelJoint::AddJoint(TVantrelJoint* AValue) {
  if (!AValue || std::find(FJoints.begin(), FJoints.end(), AValue) != FJoints.end())
    return;
  FJoints.push_back(AValue);
  FreeNotification(AValue);
}

TVantrelJoint* TVantrelJoint::FindJoint(const TJointDef* ADef) const {
  for (TVantrelJoint* joint : FJoints) {
    if (joint->Def() == ADef)
      return joint;
    if (TVantrelJoint* found = joint->FindJoint(ADef))
      return found;
  }
  return nullptr;
}

void TVantrelJoint::ClearJoints() {
  for (TVantrelJoint* joint : FJoints)
    if (joint != this)
      RemoveFreeNotification(joint);
  FJoints.clear();
}

void TVantrelJoint::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelTransform::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove)
    std::erase(FJoints, AComponent);
}

TMatrix3D TVantrelJoint::GetSkeletonTransformMatrix() {
  TVantrelArmature* armature = Armature();
  if (!armature)
    return AbsoluteMatrix();
  return AbsoluteMatrix() * armature->InvAbsoluteMatrix();
}

void TVantrelJoint::LoadFromDefinition(TJointDef* ADef) {
  if (!ADef)
    throw Exception(SJointDefinitionMissing);
  TVantrelTransform::LoadFromDefinition(ADef);
  if (QualifiedName().empty())
    SetQualifiedName(ADef->GetId());
  SetName(ToValidComponentName(ADef->GetId()));
  FSkinned = true;
  TVantrelArmature* armature = Armature();
  if (const TJointDef::TJointTable* children = ADef->GetJoints()) {
    for (const auto& pair : *children) {
      TJointDef* childDef = pair.Value;
      auto* child = New<TVantrelJoint>(this);
      child->SetStored(false);
      child->SetParent(this);
      child->LoadFromDefinition(childDef);
      AddJoint(child);
      if (armature) {
        armature->LinkJoint(childDef, child);
        if (TVantrelModel* model = armature->Model())
          model->ResolvingSegment(childDef->GetId(), child);
      }
    }
  }
  if (TArmatureDef* armatureDef = ADef->GetArmature())
    for (TControllerDef* controller : armatureDef->GetControllers())
      SetLocalBindTransformMatrix(controller, ADef->GetTransform());
  if (armature)
    armature->PrepareSkinAnimation();
}

void TVantrelJoint::CalculateInverseBindTransformMatrix(const TControllerDef* ACtrl,
                                                        const TMatrix3D& AParentBindTransform) {
  if (!ACtrl)
    return;
  TJointRefDef* ref = ACtrl->GetJointRef(JointDef());
  TMatrix3D bind;
  const TSkinDef* skin = ACtrl->GetSkin();
  if (ref && ref->IsInvBindMatrixAvailable() && (!Armature() || !skin || skin->BindShapeMatrixIsIdentity())) {
    SetInverseBindTransformMatrix(ACtrl, ref->GetInvBindMatrix());
    bind = ref->GetInvBindMatrix().Inverse();
  } else {
    bind = GetLocalBindTransform(ACtrl) * AParentBindTransform;
    SetInverseBindTransformMatrix(ACtrl, bind.Inverse());
  }
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* joint = dynamic_cast<TVantrelJoint*>(Components(i)))
      joint->CalculateInverseBindTransformMatrix(ACtrl, bind);
}

void TVantrelJoint::PrepareSkinAnimationStep(const TControllerDef* ACtrl) {
  const TMatrix3D skeleton = GetSkeletonTransformMatrix();
  TMatrix3D targetInverse = TMatrix3D::Identity();
  if (ACtrl && ACtrl->GetTarget())
    targetInverse = ACtrl->GetTarget()->GetTransform().Inverse();
  SetCurrentOffsetMatrix(ACtrl, GetInverseBindTransform(ACtrl) * skeleton * targetInverse);
  if (JointDef())
    for (TVantrelJoint* joint : FJoints)
      joint->PrepareSkinAnimationStep(ACtrl);
}

void TVantrelJoint::PrepareSkinAnimation() {
  for (TVantrelJoint* joint : FJoints)
    joint->PrepareSkinAnimation();
}

void TVantrelJoint::AddVertexWeights(const TControllerDef* ACtrl, TVertexJointsList* AVertices,
                                     TTransformDef* ATarget) {
  auto* mesh = dynamic_cast<TMeshDef*>(ATarget);
  if (!mesh)
    return;
  TJointRefDef* ref = ACtrl->GetJointRef(JointDef());
  const std::vector<int32_t>& indices = ref->GetIndices();
  const std::vector<float>& weights = ref->GetWeights();
  // Files may hold fewer weights than indices: only the complete pairs count.
  const size_t pairs = std::min(indices.size(), weights.size());
  const int32_t count = AVertices->Count();
  const TVertexIndexMap* map = mesh->GetVertexIndexMap();
  for (size_t i = 0; i < pairs; ++i) {
    const int32_t index = indices[i];
    if (!map || map->IsEmpty()) {
      // A negative index from a file is as wrong as one past the end.
      if (index < 0 || index >= count)
        throw Exception(Format(SJointInvalidVertexIndex, int32_t(i), count));
      AVertices->GetItemPtr(index).Add(ref->GetJoint(), weights[i]);
      continue;
    }
    if (index < 0)
      continue;
    if (const std::vector<uint32_t>* mapped = map->Find(uint32_t(index)))
      for (uint32_t target : *mapped)
        if (target < uint32_t(count))
          AVertices->GetItemPtr(int32_t(target)).Add(ref->GetJoint(), weights[i]);
  }
}

void TVantrelJoint::ApplyJointInfoToArmature(const TControllerDef* ACtrl, TVertexJointsList* AVertices,
                                             TTransformDef* ATransform) {
  if (!ACtrl || !AVertices)
    return;
  if (TJointRefDef* ref = ACtrl->GetJointRef(JointDef())) {
    TTransformDef* target = ATransform ? ATransform : ref->GetTarget();
    if (!target) {
      Log::d(SJointTargetNotSet, JointDef() ? JointDef()->GetId() : std::string());
      return;
    }
    AddVertexWeights(ACtrl, AVertices, target);
  }
  for (TVantrelJoint* joint : FJoints) {
    if (!joint)
      throw Exception(SJointEmpty);
    joint->ApplyJointInfoToArmature(ACtrl, AVertices, ATransform);
  }
}

void TVantrelJoint::Render() {
  TVantrelTransform::Render();
  RenderJoint(Context());
}

void TVantrelJoint::RenderJoint(TContext3D* AContext) {
  if (!FShowJoint || !AContext || !static_cast<const ui::TContext3DClass&>(AContext->ClassType()).Valid())
    return;
  const TMatrix3D saved = AContext->CurrentMatrix();
  AContext->SetMatrix(TMatrix3D::Identity());
  try {
    const TPoint3D position = AbsolutePosition();
    AContext->FillCube(position, FJointRenderSize, 1, FJointRenderColor);
    const TJointDef* def = JointDef();
    const TJointDef* parentDef = def ? def->GetParent() : nullptr;
    if (parentDef && parentDef->GetParent()) {
      TVantrelArmature* armature = Armature();
      if (TVantrelJoint* parent = armature ? armature->FindJoint(parentDef) : nullptr)
        AContext->DrawLine(position, parent->AbsolutePosition(), 1, TAlphaColor(0xFFFFFFFF));
    }
  } catch (...) {
    AContext->SetMatrix(saved);
    throw;
  }
  AContext->SetMatrix(saved);
}

void TVantrelJoint::DebugOut(const std::string& ATab) {
  if (const TJointDef* def = JointDef()) {
    const TArmatureDef* armature = def->GetArmature();
    const int32_t controllers = armature ? int32_t(armature->GetControllers().Count()) : 0;
    Log::d(Format("%s%s\n\rCurrent=[%s][controllers=%d]", ATab, QualifiedName(), Matrix3DToString(def->GetTransform()),
                  controllers));
  }
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* joint = dynamic_cast<TVantrelJoint*>(Components(i)))
      joint->DebugOut(ATab + "    ");
}

void TVantrelJoint::DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) {
  TVantrelTransform::DoDuplicate(ASource, ADuplicator);
  if (auto* parent = dynamic_cast<TVantrelJoint*>(Parent()))
    parent->AddJoint(this);
  if (TVantrelArmature* armature = Armature())
    if (TJointDef* def = JointDef())
      armature->LinkJoint(def, this);
}

namespace {

int JointInitCount = 0;

} // namespace

void InitializeJoint() {
  if (JointInitCount++ > 0)
    return;
  RegisterClass(TVantrelJoint::StaticClass());
}

void FinalizeJoint() {
  if (JointInitCount == 0 || --JointInitCount > 0)
    return;
  UnRegisterClass(TVantrelJoint::StaticClass());
}

} // namespace vantrel
