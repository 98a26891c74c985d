#include "scene/Vantrel.Armature.h"

#include <algorithm>
#include <cstring>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Model.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelArmature, "Vantrel.Armature")

namespace {

int32_t ArmatureCounter = 0;

} // namespace

TVantrelArmature::TVantrelArmature(TComponent* AOwner) : TVantrelTransform(AOwner) {
  ArmatureIndex = ArmatureCounter++;
  SetFrustumCullingCheck(false);
}

TVantrelArmature::~TVantrelArmature() = default;

void TVantrelArmature::ResetArmatureCounter() {
  ArmatureCounter = 0;
}

TVantrelModel* TVantrelArmature::Model() const {
  return dynamic_cast<TVantrelModel*>(Parent());
}

void TVantrelArmature::Watch(TComponent* AComponent) {
  if (AComponent && AComponent != this)
    FreeNotification(AComponent);
}

void TVantrelArmature::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelTransform::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove)
    return;
  std::erase(FSkeletons, AComponent);
  std::erase(FMeshes, AComponent);
  FSkinTables.erase(AComponent);
  for (const auto& pair : FJointMap.ToArray())
    if (pair.Value == AComponent) {
      FJointMap.Remove(pair.Key);
      FSkinTables.clear();
    }
}

void TVantrelArmature::LinkJoint(TJointDef* AKey, TVantrelJoint* AJoint) {
  if (!AKey || FJointMap.ContainsKey(AKey))
    return;
  FJointMap.Add(AKey, AJoint);
  FSkinTables.clear();
  Watch(AJoint);
}

TVantrelJoint* TVantrelArmature::FindJoint(const TJointDef* ADef) const {
  TVantrelJoint* joint = nullptr;
  FJointMap.TryGetValue(ADef, joint);
  return joint;
}

bool TVantrelArmature::ShowJoints() const {
  for (TVantrelTransform* root : FSkeletons)
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root); joint && joint->ShowJoint())
      return true;
  return false;
}

void TVantrelArmature::SetShowJoints(bool AValue) {
  for (TVantrelTransform* root : FSkeletons)
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root))
      joint->SetShowJoint(AValue);
}

TAlphaColor TVantrelArmature::JointsRenderColor() const {
  for (TVantrelTransform* root : FSkeletons)
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root))
      return joint->JointRenderColor();
  return 0xFFFFFFFF;
}

void TVantrelArmature::SetJointsRenderColor(TAlphaColor AValue) {
  for (TVantrelTransform* root : FSkeletons)
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root))
      joint->SetJointRenderColor(AValue);
}

void TVantrelArmature::CalculateInverseBindTransformMatrix(const TControllerDef* ACtrl) {
  for (TVantrelTransform* root : std::vector(FSkeletons))
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root))
      joint->CalculateInverseBindTransformMatrix(ACtrl, TMatrix3D::Identity());
}

void TVantrelArmature::PrepareSkinAnimation() {
  FSkinTables.clear();
  for (TVantrelTransform* root : std::vector(FSkeletons))
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root))
      joint->PrepareSkinAnimation();
}

void TVantrelArmature::PrepareSkinAnimationStep(const TControllerDef* ACtrl) {
  for (TVantrelTransform* root : std::vector(FSkeletons))
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root))
      joint->PrepareSkinAnimationStep(ACtrl);
}

void TVantrelArmature::DebugOut() {
  Log::d(Format("Armature::%s", QualifiedName()));
  for (TVantrelTransform* root : FSkeletons)
    if (auto* joint = dynamic_cast<TVantrelJoint*>(root))
      joint->DebugOut("    ");
}

void TVantrelArmature::Render() {
  TVantrelTransform::Render();
  AnimateSkin(nullptr);
}

// ---- loading ----

TVantrelJoint* TVantrelArmature::NewRootJoint(TJointDef* ADef) {
  auto* joint = New<TVantrelJoint>(this);
  joint->SetStored(false);
  joint->SetParent(this);
  joint->LoadFromDefinition(ADef);
  LinkJoint(ADef, joint);
  FSkeletons.push_back(joint);
  Watch(joint);
  return joint;
}

void TVantrelArmature::LoadFromDefinition(TCustomDef* ADef) {
  if (!ADef)
    return;
  TVantrelTransform::LoadFromDefinition(ADef);
  if (QualifiedName().empty())
    SetQualifiedName(ADef->GetId());
  SetName(ToValidComponentName(ADef->GetId()));
  TVantrelModel* model = Model();
  if (!model)
    throw EInvalidCast(rtl::messages::InvalidCast);
  model->ResolvingSegment(ADef->GetId(), this);
  auto* def = CheckedCast<TArmatureDef>(ADef);
  if (def->GetControllers().IsEmpty()) {
    BuildSkeletonFromRoot(def);
    return;
  }
  for (TControllerDef* controller : def->GetControllers())
    LinkController(controller);
}

void TVantrelArmature::BuildSkeletonFromRoot(TArmatureDef* ADef) {
  TJointDef* root = ADef->GetRoot();
  if (!root) {
    Log::d(SArmatureWithoutRoot, ADef->GetId());
    return;
  }
  TVantrelJoint* joint = NewRootJoint(root);
  if (TVantrelModel* model = Model())
    model->ResolvingSegment(root->GetId(), joint);
}

TVantrelTransform* TVantrelArmature::FindTarget(TControllerDef* AController) {
  TVantrelModel* model = Model();
  const std::string id = AController->GetTarget() ? AController->GetTarget()->GetId() : std::string();
  if (auto* found = dynamic_cast<TVantrelTransform*>(model->FindControlByDeepSearch(id)))
    return found;
  if (model->Name() != id) {
    model->DebugOut(true);
    throw Exception(Format(SArmatureTargetNotFound, id));
  }
  Log::d(SArmatureModelAsTarget, id);
  return model;
}

void TVantrelArmature::SkinMesh(TVantrelMesh* AMesh, TControllerDef* AController,
                                const std::vector<TVantrelJoint*>& ARoots, TTransformDef* ATransform) {
  if (std::find(FMeshes.begin(), FMeshes.end(), AMesh) == FMeshes.end()) {
    FMeshes.push_back(AMesh);
    Watch(AMesh);
  }
  if (AMesh->VertexJointsExist())
    return;
  AMesh->GenerateVertexJoints(AController, TMatrix3D::Identity());
  for (TVantrelJoint* root : ARoots)
    root->ApplyJointInfoToArmature(AController, AMesh->VertexJoints(), ATransform);
}

void TVantrelArmature::LinkController(TControllerDef* AController) {
  std::vector<TVantrelJoint*> roots;
  if (TSkinDef* skin = AController->GetSkin()) {
    for (TJointRefDef* ref : skin->GetSkeletons()) {
      TJointDef* jointDef = ref ? ref->GetJoint() : nullptr;
      if (!jointDef)
        continue;
      TVantrelJoint* entry = nullptr;
      for (TVantrelTransform* root : FSkeletons)
        if (root->Def() == jointDef)
          entry = dynamic_cast<TVantrelJoint*>(root);
      roots.push_back(entry ? entry : NewRootJoint(jointDef));
    }
  }
  auto* mesh = dynamic_cast<TVantrelMesh*>(FindTarget(AController));
  if (!mesh)
    return;
  if (mesh->Meshes().empty() || mesh->GetMeshData()->VertexBuffer().Length() > 0) {
    if (mesh->VertexJointsExist()) {
      if (std::find(FMeshes.begin(), FMeshes.end(), mesh) == FMeshes.end()) {
        FMeshes.push_back(mesh);
        Watch(mesh);
      }
      return;
    }
    SkinMesh(mesh, AController, roots, nullptr);
    CalculateInverseBindTransformMatrix(AController);
    return;
  }
  for (TVantrelMesh* sub : std::vector(mesh->Meshes()))
    SkinMesh(sub, AController, roots, dynamic_cast<TTransformDef*>(sub->Def()));
  CalculateInverseBindTransformMatrix(AController);
}

// ---- skinning ----

namespace {

// Whether the current animation leaves the meshes as they are this frame: a cache that is ready
// draws its own frames, and an animation that is not cached skins only while it runs.
bool SkinningPaused(TVantrelAnimation* ACurrent) {
  if (!ACurrent)
    return false;
  const TAnimationDef* def = ACurrent->Def();
  if (def && def->IsCached())
    return def->GetBufferingState() == TAnimationBufferingState::Ready;
  return !ACurrent->IsRunning();
}

} // namespace

void TVantrelArmature::AnimateSkin(TMeshBufferMap* AMeshBuffers) {
  TVantrelModel* model = Model();
  TVantrelAnimationManager* manager = model ? model->AnimationManager() : nullptr;
  TVantrelAnimation* current = manager ? manager->Current() : nullptr;
  if (SkinningPaused(current))
    return;
  if (const auto* def = dynamic_cast<const TArmatureDef*>(Def()))
    for (TControllerDef* controller : def->GetControllers())
      PrepareSkinAnimationStep(controller);
  const bool transform = current ? current->UseTransform() : true;
  const TMatrix3D matrix = current ? current->TransformMatrix() : TMatrix3D::Identity();
  const bool identity = matrix == TMatrix3D::Identity();
  for (TVantrelMesh* mesh : std::vector(FMeshes)) {
    TVertexJointsList* list = mesh->VertexJoints();
    if (!list)
      continue;
    TVertexBuffer* buffer = nullptr;
    if (AMeshBuffers)
      AMeshBuffers->TryGetValue(dynamic_cast<TMeshDef*>(mesh->Def()), buffer);
    if (!buffer && mesh->GetMeshData())
      buffer = &mesh->GetMeshData()->VertexBuffer();
    if (!buffer || !buffer->Buffer())
      continue;
    // Only the position attribute is written, at its offset within each vertex; a buffer of bare
    // positions has a vertex size of 12 and the offset 0. A list longer than the buffer skins the
    // buffer's vertices only.
    const int32_t offset = buffer->OffsetOf(TVertexFormat::Vertex);
    if (offset < 0)
      continue;
    const int32_t count = std::min(list->Count(), buffer->Length());
    const TControllerDef* controller = list->GetController();
    const int32_t slot =
        controller && controller->GetIndex() >= 0 && controller->GetIndex() < MaxJointControllers ? controller->GetIndex()
                                                                                                  : -1;
    TSkinTable& table = SkinTableOf(mesh, *list);
    table.Check(count, FJointMap);
    table.GatherOffsets(slot);
    table.Skin(count, buffer->Buffer() + offset, buffer->VertexSize(), transform && !identity ? &matrix : nullptr);
  }
}

const TSkinTable* TVantrelArmature::FindSkinTable(const TVantrelMesh* AMesh) const {
  const auto found = FSkinTables.find(AMesh);
  return found == FSkinTables.end() ? nullptr : found->second.get();
}

TSkinTable& TVantrelArmature::SkinTableOf(const TVantrelMesh* AMesh, const TVertexJointsList& AList) {
  std::unique_ptr<TSkinTable>& table = FSkinTables[AMesh];
  if (!table)
    table = std::make_unique<TSkinTable>();
  if (!table->IsCurrent(AList))
    table->Build(AList, FJointMap);
  return *table;
}

namespace {

int ArmatureInitCount = 0;

} // namespace

void InitializeArmature() {
  if (ArmatureInitCount++ > 0)
    return;
  RegisterClass(TVantrelArmature::StaticClass());
}

void FinalizeArmature() {
  if (ArmatureInitCount == 0 || --ArmatureInitCount > 0)
    return;
  UnRegisterClass(TVantrelArmature::StaticClass());
}

} // namespace vantrel
