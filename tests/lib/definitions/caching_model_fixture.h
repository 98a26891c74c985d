#pragma once
// A skinned model definition built in code, which owns everything: model "M" with the mesh "Body"
// (vertices (0,0,0), (1,0,0), (0,1,0), times a scale), the armature "default" with the root joint
// "Root" (identity) and its child "Arm" (T(1,0,0)), one controller whose skin puts vertices 0 and 2
// on Root and vertex 1 on Arm (or all three on Arm), and the animation "Walk" moving Arm's
// "Position.Point" from (1,0,0) to (1,2,0) in one second, without loop.

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/math3d.h"
#include "ui/animations.h"

namespace vtest {

class TCachingModelDef {
public:
  explicit TCachingModelDef(bool ABodyOnArm = false, float AScale = 1) {
    using namespace vantrel;
    Model = rtl::New<TModelDef>();
    Model->SetId("M");
    Body = AddMesh("Body", AScale);
    auto* armature = rtl::New<TArmatureDef>(Model);
    armature->SetId("default");
    Root = rtl::New<TJointDef>(armature);
    Root->SetId("Root");
    armature->SetRoot(Root);
    Arm = rtl::New<TJointDef>(armature);
    Arm->SetId("Arm");
    Arm->SetTransform(rtl::TMatrix3D::CreateTranslation({1, 0, 0}));
    Arm->SetParent(Root);
    Root->AddJoint(Arm);
    Model->AddArmature(armature);
    Armature = armature;
    AddController(Body, ABodyOnArm ? std::vector<int32_t>{} : std::vector<int32_t>{0, 2},
                  ABodyOnArm ? std::vector<int32_t>{0, 1, 2} : std::vector<int32_t>{1});
    Walk = AddWalk("Walk");
  }
  ~TCachingModelDef() {
    if (Model)
      Model->Free();
  }
  TCachingModelDef(const TCachingModelDef&) = delete;
  TCachingModelDef& operator=(const TCachingModelDef&) = delete;

  vantrel::TMeshDef* AddMesh(const std::string& AId, float AScale) {
    using namespace vantrel;
    auto* mesh = rtl::New<TMeshDef>(Model);
    mesh->SetId(AId);
    Model->AddChild(mesh);
    mesh->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
    ui::TVertexBuffer* vertices = mesh->GetVertexSource();
    vertices->SetLength(3);
    const rtl::TPoint3D points[] = {{0, 0, 0}, {AScale, 0, 0}, {0, AScale, 0}};
    for (int i = 0; i < 3; ++i) {
      vertices->SetVertices(i, points[i]);
      vertices->SetNormals(i, {0, 0, 1});
      vertices->SetColorF(0, i, {1, 1, 1, 1});
    }
    mesh->CreateIndexSource(ui::TIndexFormat::UInt16);
    ui::TIndexBuffer* indices = mesh->GetIndexSource();
    indices->SetLength(3);
    for (int i = 0; i < 3; ++i)
      indices->SetIndices(i, i);
    mesh->BoundingBoxChanged();
    return mesh;
  }

  void AddController(vantrel::TTransformDef* ATarget, std::vector<int32_t> ARootIndices,
                     std::vector<int32_t> AArmIndices) {
    using namespace vantrel;
    auto* controller = rtl::New<TControllerDef>(ATarget);
    controller->SetId("C0");
    controller->SetSkin(rtl::New<TSkinDef>(controller));
    TSkinDef* skin = controller->GetSkin();
    skin->AddSkeleton(rtl::New<TJointRefDef>(Root, controller, true));
    auto link = [&](TJointDef* AJoint, std::vector<int32_t> AIndices) {
      TJointRefDef* ref = skin->LinkJoint(AJoint);
      ref->GetWeights().assign(AIndices.size(), 1.0f);
      ref->GetIndices() = std::move(AIndices);
    };
    link(Root, std::move(ARootIndices));
    link(Arm, std::move(AArmIndices));
    Model->AddController(controller);
    Armature->AddController(controller);
  }

  // Arm's position from (1,0,0) to (1,2,0) in one second.
  vantrel::TAnimationDef* AddWalk(const std::string& AId) {
    using namespace vantrel;
    auto* animation = rtl::New<TAnimationDef>(Model);
    animation->SetId(AId);
    auto* stage = rtl::New<TAnimationStageDef>(animation);
    stage->SetId(AId + "_Arm");
    stage->SetReference(Arm);
    auto* track = rtl::New<TPoint3DInterpolatorDef>(stage);
    track->SetId(AId + "_ArmPosition");
    track->SetPath("Position.Point");
    track->SetDuration(1);
    track->SetLoop(false);
    track->AddKey(0, rtl::TPoint3D{1, 0, 0}, ui::TInterpolationType::Linear);
    track->AddKey(1, rtl::TPoint3D{1, 2, 0}, ui::TInterpolationType::Linear);
    stage->AddInterpolator(track);
    animation->AddStage(stage);
    animation->PrepareAnimationData();
    Model->AddAnimation(animation);
    return animation;
  }

  vantrel::TModelDef* Model = nullptr;
  vantrel::TMeshDef* Body = nullptr;
  vantrel::TArmatureDef* Armature = nullptr;
  vantrel::TJointDef* Root = nullptr;
  vantrel::TJointDef* Arm = nullptr;
  vantrel::TAnimationDef* Walk = nullptr;
};

} // namespace vtest
