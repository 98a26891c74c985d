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

// The skinned position of one record: the weighted sum of the position moved by each joint's
// offset, with the bind position filling the weights' shortfall from 1.
inline void SkinPosition(const TVertexJoints& ARecord, const TMatrix3D* const* AOffsets, float* AOut) {
  const float x = ARecord.Position.X, y = ARecord.Position.Y, z = ARecord.Position.Z;
  float ax = 0, ay = 0, az = 0, sum = 0;
  const int count = std::min<int>(ARecord.JointsCount, 16);
  for (int k = 0; k < count; ++k) {
    const float w = ARecord.WeightsArray[size_t(k)];
    const TMatrix3D& m = *AOffsets[k];
    ax += (x * m.m11 + y * m.m21 + z * m.m31 + m.m41) * w;
    ay += (x * m.m12 + y * m.m22 + z * m.m32 + m.m42) * w;
    az += (x * m.m13 + y * m.m23 + z * m.m33 + m.m43) * w;
    sum += w;
  }
  const float rest = 1 - sum;
  AOut[0] = x * rest + ax;
  AOut[1] = y * rest + ay;
  AOut[2] = z * rest + az;
}

} // namespace

// The current offsets of one controller's slot for every joint of the armature, looked up by the
// joint definitions' armature index once per skinning call, not per weight.
class TSkinOffsets {
public:
  TSkinOffsets(const TDictionary<const TJointDef*, TVantrelJoint*>& AJointMap, int32_t ASlot)
      : FJointMap(AJointMap), FSlot(ASlot) {
    for (const auto& pair : AJointMap) {
      const int32_t index = pair.Key->GetArmatureIndex();
      if (index < 0 || index > 1 << 16)
        continue;
      if (size_t(index) >= FByIndex.size())
        FByIndex.resize(size_t(index) + 1);
      FByIndex[size_t(index)] = {pair.Key, OffsetOf(pair.Value)};
    }
  }

  // The offset for ADef; a definition without joint raises the dictionary's key-not-found error.
  const TMatrix3D* Find(const TJointDef* ADef) const {
    const int32_t index = ADef ? ADef->GetArmatureIndex() : -1;
    if (index >= 0 && size_t(index) < FByIndex.size() && FByIndex[size_t(index)].Def == ADef)
      return FByIndex[size_t(index)].Offset;
    return OffsetOf(FJointMap.Items(ADef));
  }

private:
  struct TEntry {
    const TJointDef* Def = nullptr;
    const TMatrix3D* Offset = nullptr;
  };
  const TDictionary<const TJointDef*, TVantrelJoint*>& FJointMap;
  int32_t FSlot;
  std::vector<TEntry> FByIndex;
  static inline const TMatrix3D IdentityMatrix = TMatrix3D::Identity();

  const TMatrix3D* OffsetOf(const TVantrelJoint* AJoint) const {
    return FSlot < 0 ? &IdentityMatrix : &AJoint->CurrentOffsetAt(FSlot);
  }
};

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
  for (const auto& pair : FJointMap.ToArray())
    if (pair.Value == AComponent)
      FJointMap.Remove(pair.Key);
}

void TVantrelArmature::LinkJoint(TJointDef* AKey, TVantrelJoint* AJoint) {
  if (!AKey || FJointMap.ContainsKey(AKey))
    return;
  FJointMap.Add(AKey, AJoint);
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
    const int32_t stride = buffer->VertexSize();
    const int32_t count = std::min(list->Count(), buffer->Length());
    const TControllerDef* controller = list->GetController();
    const int32_t slot =
        controller && controller->GetIndex() >= 0 && controller->GetIndex() < MaxJointControllers ? controller->GetIndex()
                                                                                                  : -1;
    const TSkinOffsets offsets(FJointMap, slot);
    uint8_t* bytes = buffer->Buffer() + offset;
    const TMatrix3D* resolved[16];
    const TVertexJoints* records = count > 0 ? &list->GetItemPtr(0) : nullptr;
    const bool identity = matrix == TMatrix3D::Identity();
    for (int32_t i = 0; i < count; ++i) {
      const TVertexJoints& record = records[i];
      const int joints = std::min<int>(record.JointsCount, 16);
      for (int k = 0; k < joints; ++k)
        resolved[k] = offsets.Find(record.JointsArray[size_t(k)]);
      float out[3];
      SkinPosition(record, resolved, out);
      if (transform && !identity) {
        const TPoint3D moved = TPoint3D{out[0], out[1], out[2]} * matrix;
        out[0] = moved.X;
        out[1] = moved.Y;
        out[2] = moved.Z;
      }
      std::memcpy(bytes + size_t(i) * size_t(stride), out, sizeof(out));
    }
  }
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
