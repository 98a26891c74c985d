#pragma once
// The skinned scene of the skinning and animation benchmarks: a model "M" with one mesh "Body" of
// 100,000 vertices in the 72-byte format, an armature of 64 joints in a chain (each T(0.1,0,0)),
// one controller whose skin gives every vertex 4 weights of 0.25 on joints (v + 17k) mod 64, and
// optionally the animation "Walk" moving the chain's root from its bind place (0.1,0,0) up to
// (0.1,1,0) in one second.
// Everything is built as definitions and loaded by the model control; the definition is
// standalone, so the scene frees it after the control. The definition and scene units must run.

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Segment.h"
#include "ui/mesh_buffers.h"

namespace vbench {

inline constexpr int32_t SkinnedVertexCount = 100'000;
inline constexpr int32_t SkinnedJointCount = 64;
inline constexpr int32_t SkinnedWeightsPerVertex = 4;

// Starts the units a skinned scene needs, in unit order.
inline void InitializeSkinnedSceneUnits() {
  vantrel::InitializeDefTypes();
  vantrel::InitializeDefTypesNodes();
  vantrel::InitializeControl();
  vantrel::InitializeTransform();
  vantrel::InitializeGroup();
  vantrel::InitializeSegment();
  vantrel::InitializeMesh();
  vantrel::InitializeAnimation();
  vantrel::InitializeJoint();
  vantrel::InitializeArmature();
  vantrel::InitializeModel();
}

class TSkinnedScene {
public:
  // AFrameRate > 0 adds "Walk" at that cache frame rate.
  explicit TSkinnedScene(int32_t AFrameRate = 0) {
    using namespace vantrel;
    FModelDef = rtl::New<TModelDef>();
    FModelDef->SetId("M");
    FModelDef->SetIsStandalone(true);
    FMesh = rtl::New<TMeshDef>(FModelDef);
    FMesh->SetId("Body");
    FModelDef->AddChild(FMesh);
    FMesh->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
    ui::TVertexBuffer* vertices = FMesh->GetVertexSource();
    vertices->SetLength(SkinnedVertexCount);
    for (int32_t i = 0; i < SkinnedVertexCount; ++i)
      vertices->SetVertices(i, {float(i % 317) * 0.01f, float(i % 101) * 0.02f, float(i % 7)});
    FMesh->CreateIndexSource(ui::TIndexFormat::UInt32);
    ui::TIndexBuffer* indices = FMesh->GetIndexSource();
    indices->SetLength(SkinnedVertexCount);
    for (int32_t i = 0; i < SkinnedVertexCount; ++i)
      indices->SetIndices(i, i);

    auto* armature = rtl::New<TArmatureDef>(FModelDef);
    FModelDef->AddArmature(armature);
    TJointDef* parent = nullptr;
    for (int32_t j = 0; j < SkinnedJointCount; ++j) {
      auto* joint = rtl::New<TJointDef>(armature);
      joint->SetId("J" + std::to_string(j));
      joint->SetTransform(rtl::TMatrix3D::CreateTranslation({0.1f, 0, 0}));
      if (parent) {
        joint->SetParent(parent);
        parent->AddJoint(joint);
      } else {
        armature->SetRoot(joint);
      }
      FJoints.push_back(joint);
      parent = joint;
    }
    auto* controller = rtl::New<TControllerDef>(FMesh);
    controller->SetId("C0");
    FModelDef->AddController(controller);
    controller->SetSkin(rtl::New<TSkinDef>(controller));
    TSkinDef* skin = controller->GetSkin();
    skin->AddSkeleton(rtl::New<TJointRefDef>(FJoints[0], controller, true));
    std::vector<TJointRefDef*> refs;
    for (TJointDef* joint : FJoints)
      refs.push_back(skin->LinkJoint(joint));
    for (int32_t v = 0; v < SkinnedVertexCount; ++v)
      for (int32_t k = 0; k < SkinnedWeightsPerVertex; ++k) {
        TJointRefDef* ref = refs[size_t((v + k * 17) % SkinnedJointCount)];
        ref->GetIndices().push_back(v);
        ref->GetWeights().push_back(0.25f);
      }
    armature->AddController(controller);
    if (AFrameRate > 0)
      AddWalk(AFrameRate);

    FModel = rtl::New<TVantrelModel>(nullptr);
    FModel->LoadFromDefinition(FModelDef);
    FArmature = FModel->GetFirstArmature();
    FBody = dynamic_cast<TVantrelMesh*>(FModel->FindControlByDeepSearch("Body"));
  }
  ~TSkinnedScene() {
    FModel->Free();
    FModelDef->Free();
  }
  TSkinnedScene(const TSkinnedScene&) = delete;
  TSkinnedScene& operator=(const TSkinnedScene&) = delete;

  // A pose: every joint turned a little about Z, so the offsets are no identities.
  void Pose() {
    for (vantrel::TJointDef* def : FJoints)
      FArmature->FindJoint(def)->RotationAngle()->SetZ(3);
  }

  vantrel::TModelDef* ModelDef() const { return FModelDef; }
  vantrel::TMeshDef* MeshDef() const { return FMesh; }
  vantrel::TVantrelModel* Model() const { return FModel; }
  vantrel::TVantrelArmature* Armature() const { return FArmature; }
  vantrel::TVantrelMesh* Body() const { return FBody; }
  vantrel::TAnimationDef* Walk() const { return FWalk; }

private:
  vantrel::TModelDef* FModelDef = nullptr;
  vantrel::TMeshDef* FMesh = nullptr;
  std::vector<vantrel::TJointDef*> FJoints;
  vantrel::TAnimationDef* FWalk = nullptr;
  vantrel::TVantrelModel* FModel = nullptr;
  vantrel::TVantrelArmature* FArmature = nullptr;
  vantrel::TVantrelMesh* FBody = nullptr;

  void AddWalk(int32_t AFrameRate) {
    using namespace vantrel;
    FWalk = rtl::New<TAnimationDef>(FModelDef);
    FWalk->SetId("Walk");
    auto* stage = rtl::New<TAnimationStageDef>(FWalk);
    stage->SetId("Walk_J0");
    stage->SetReference(FJoints[0]);
    auto* track = rtl::New<TPoint3DInterpolatorDef>(stage);
    track->SetId("Walk_J0Position");
    track->SetPath("Position.Point");
    track->SetDuration(1);
    track->SetLoop(false);
    track->AddKey(0, rtl::TPoint3D{0.1f, 0, 0}, ui::TInterpolationType::Linear);
    track->AddKey(1, rtl::TPoint3D{0.1f, 1, 0}, ui::TInterpolationType::Linear);
    stage->AddInterpolator(track);
    FWalk->AddStage(stage);
    FWalk->SetFrameRate(AFrameRate);
    FWalk->PrepareAnimationData();
    FModelDef->AddAnimation(FWalk);
  }
};

} // namespace vbench
