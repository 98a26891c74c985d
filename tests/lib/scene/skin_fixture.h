#pragma once
// A skinned model built in code: model "M" with the mesh "Body" (vertices (0,0,0), (1,0,0),
// (0,1,0)), the armature "default" with the root joint "Root" (identity) and its child "Arm"
// (T(1,0,0)), one controller whose skin puts vertices 0 and 2 on Root and vertex 1 on Arm, and
// the animation "Walk" moving Arm's "Position.Point" from (1,0,0) to (1,2,0) in one second. The
// model definition owns every definition; the model control loaded from it owns the model
// definition.

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/math3d.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Model.h"
#include "ui/animations.h"

namespace vtest {

struct TSkinFixture {
  vantrel::TModelDef* ModelDef = nullptr;
  vantrel::TMeshDef* Body = nullptr;
  vantrel::TArmatureDef* Armature = nullptr;
  vantrel::TJointDef* Root = nullptr;
  vantrel::TJointDef* Arm = nullptr;
  vantrel::TControllerDef* Controller = nullptr;
  vantrel::TAnimationDef* Walk = nullptr;
  vantrel::TVantrelModel* Model = nullptr;

  // The definitions only; ABodyOnArm puts all three vertices on Arm; AScale enlarges the mesh.
  void BuildDefinitions(bool ABodyOnArm = false, float AScale = 1, bool AWalk = true) {
    using namespace vantrel;
    ModelDef = rtl::New<TModelDef>();
    ModelDef->SetId("M");
    Body = AddMesh("Body", AScale);
    Armature = rtl::New<TArmatureDef>(ModelDef);
    ModelDef->AddArmature(Armature);
    Root = rtl::New<TJointDef>(Armature);
    Root->SetId("Root");
    Armature->SetRoot(Root);
    Arm = rtl::New<TJointDef>(Armature);
    Arm->SetId("Arm");
    Arm->SetTransform(rtl::TMatrix3D::CreateTranslation({1, 0, 0}));
    Arm->SetParent(Root);
    Root->AddJoint(Arm);
    Controller = AddController(Body, ABodyOnArm ? std::vector<int32_t>{} : std::vector<int32_t>{0, 2},
                               ABodyOnArm ? std::vector<int32_t>{0, 1, 2} : std::vector<int32_t>{1});
    if (AWalk)
      Walk = AddWalk("Walk", 2);
  }

  vantrel::TMeshDef* AddMesh(const std::string& AId, float AScale = 1) {
    using namespace vantrel;
    auto* mesh = rtl::New<TMeshDef>(ModelDef);
    mesh->SetId(AId);
    ModelDef->AddChild(mesh);
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

  // A controller on ATarget whose skin has Root as skeleton, Root on ARootIndices and Arm on
  // AArmIndices (weights 1).
  vantrel::TControllerDef* AddController(vantrel::TTransformDef* ATarget, std::vector<int32_t> ARootIndices,
                                         std::vector<int32_t> AArmIndices) {
    using namespace vantrel;
    auto* controller = rtl::New<TControllerDef>(ATarget);
    controller->SetId("C" + std::to_string(Controllers.size()));
    ModelDef->AddController(controller);
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
    Armature->AddController(controller);
    Controllers.push_back(controller);
    return controller;
  }

  // An animation moving Arm's position from (1,0,0) to (1,AY,0) in one second, without loop.
  vantrel::TAnimationDef* AddWalk(const std::string& AId, float AY) {
    using namespace vantrel;
    auto* animation = rtl::New<TAnimationDef>(ModelDef);
    animation->SetId(AId);
    auto* stage = rtl::New<TAnimationStageDef>(animation);
    stage->SetId(AId + "_Arm");
    stage->SetReference(Arm);
    auto* track = rtl::New<TPoint3DInterpolatorDef>();
    track->SetId("ArmPosition");
    track->SetPath("Position.Point");
    track->SetDuration(1);
    track->SetLoop(false);
    track->AddKey(0, rtl::TPoint3D{1, 0, 0}, ui::TInterpolationType::Linear);
    track->AddKey(1, rtl::TPoint3D{1, AY, 0}, ui::TInterpolationType::Linear);
    stage->AddInterpolator(track);
    animation->AddStage(stage);
    animation->PrepareAnimationData();
    ModelDef->AddAnimation(animation);
    Animations.push_back(animation);
    return animation;
  }

  // The model control loaded from the model definition, which it then owns.
  vantrel::TVantrelModel* Load(rtl::TComponent* AOwner = nullptr) {
    Model = rtl::New<vantrel::TVantrelModel>(AOwner);
    Model->LoadFromDefinition(ModelDef);
    return Model;
  }

  vantrel::TVantrelMesh* BodyMesh() const {
    return dynamic_cast<vantrel::TVantrelMesh*>(Model->FindControlByDeepSearch("Body"));
  }
  vantrel::TVantrelArmature* ArmatureControl() const { return Model->GetFirstArmature(); }
  vantrel::TVantrelJoint* ArmJoint() const { return ArmatureControl()->FindJoint(Arm); }
  rtl::TPoint3D BodyVertex(int AIndex) const { return BodyMesh()->GetMeshData()->VertexBuffer().GetVertices(AIndex); }

  ~TSkinFixture() {
    if (Model)
      Model->Free();
    else if (ModelDef)
      ModelDef->Free();
  }

  std::vector<vantrel::TControllerDef*> Controllers;
  std::vector<vantrel::TAnimationDef*> Animations;
};

} // namespace vtest
