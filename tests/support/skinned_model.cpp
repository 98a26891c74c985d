#include "support/skinned_model.h"

#include <utility>

#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Segment.h"
#include "ui/animations.h"

namespace vtest {

using namespace vantrel;

TSkinnedModelUnits::TSkinnedModelUnits() {
  ui::FreeAniThread();
  TVantrelAnimationManager::ResetForceStep();
  InitializeDefTypes();
  InitializeDefTypesNodes();
  InitializeControl();
  InitializeTransform();
  InitializeGroup();
  InitializeSegment();
  InitializeMesh();
  InitializeAnimation();
  InitializeJoint();
  InitializeArmature();
  InitializeModel();
}

TSkinnedModelUnits::~TSkinnedModelUnits() {
  FinalizeModel();
  FinalizeArmature();
  FinalizeJoint();
  FinalizeAnimation();
  FinalizeMesh();
  FinalizeSegment();
  FinalizeGroup();
  FinalizeTransform();
  FinalizeControl();
  FinalizeDefTypesNodes();
  FinalizeDefTypes();
  ui::FreeAniThread();
  TVantrelAnimationManager::ResetForceStep();
}

TSkinnedModel::~TSkinnedModel() {
  // A loaded model control frees a model definition that is not standalone.
  const bool defOwnedByModel = Model && ModelDef && !ModelDef->GetIsStandalone();
  if (Model)
    Model->Free();
  if (ModelDef && !defOwnedByModel)
    ModelDef->Free();
}

void TSkinnedModel::BuildDefinitions(bool ABodyOnArm, float AScale, bool AWalk) {
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
    Walk = AddWalk("Walk");
}

TMeshDef* TSkinnedModel::AddMesh(const std::string& AId, float AScale) {
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

TControllerDef* TSkinnedModel::AddController(TTransformDef* ATarget, std::vector<int32_t> ARootIndices,
                                             std::vector<int32_t> AArmIndices) {
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

TAnimationDef* TSkinnedModel::AddWalk(const std::string& AId, float AY) {
  auto* animation = rtl::New<TAnimationDef>(ModelDef);
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
  track->AddKey(1, rtl::TPoint3D{1, AY, 0}, ui::TInterpolationType::Linear);
  stage->AddInterpolator(track);
  animation->AddStage(stage);
  animation->PrepareAnimationData();
  ModelDef->AddAnimation(animation);
  Animations.push_back(animation);
  return animation;
}

TVantrelModel* TSkinnedModel::Load(rtl::TComponent* AOwner) {
  Model = rtl::New<TVantrelModel>(AOwner);
  Model->LoadFromDefinition(ModelDef);
  return Model;
}

TVantrelMesh* TSkinnedModel::BodyMesh() const {
  return dynamic_cast<TVantrelMesh*>(Model->FindControlByDeepSearch("Body"));
}

TVantrelArmature* TSkinnedModel::ArmatureControl() const {
  return Model->GetFirstArmature();
}

TVantrelJoint* TSkinnedModel::ArmJoint() const {
  return ArmatureControl()->FindJoint(Arm);
}

rtl::TPoint3D TSkinnedModel::BodyVertex(int AIndex) const {
  return BodyMesh()->GetMeshData()->VertexBuffer().GetVertices(AIndex);
}

} // namespace vtest
