#pragma once
// A skinned model built in code, shared by the joint, skinning and animation-caching tests: model
// "M" with the mesh "Body" (vertices (0,0,0), (1,0,0), (0,1,0), times a scale), the armature
// "default" with the root joint "Root" (identity) and its child "Arm" (T(1,0,0)), one controller
// whose skin puts vertices 0 and 2 on Root and vertex 1 on Arm (or all three on Arm), and the
// animation "Walk" moving Arm's "Position.Point" from (1,0,0) to (1,2,0) in one second, without
// loop. The model definition owns every definition; a model control loaded by Load owns the
// model definition unless it is standalone.

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/math3d.h"

namespace vantrel {
class TVantrelArmature;
class TVantrelJoint;
class TVantrelMesh;
class TVantrelModel;
} // namespace vantrel

namespace vtest {

// Starts the units the skinned model needs (definitions, scene controls, animations, joints,
// armatures, the model control) with a fresh animation list and forced-step clock, and stops them
// in reverse order.
class TSkinnedModelUnits {
public:
  TSkinnedModelUnits();
  ~TSkinnedModelUnits();
  TSkinnedModelUnits(const TSkinnedModelUnits&) = delete;
  TSkinnedModelUnits& operator=(const TSkinnedModelUnits&) = delete;
};

class TSkinnedModel {
public:
  TSkinnedModel() = default;
  ~TSkinnedModel();
  TSkinnedModel(const TSkinnedModel&) = delete;
  TSkinnedModel& operator=(const TSkinnedModel&) = delete;

  // The definitions only; ABodyOnArm puts all three vertices on Arm; AScale enlarges the mesh.
  void BuildDefinitions(bool ABodyOnArm = false, float AScale = 1, bool AWalk = true);
  // A mesh of three vertices (0,0,0), (AScale,0,0), (0,AScale,0), normals +Z, white, as a child
  // of the model.
  vantrel::TMeshDef* AddMesh(const std::string& AId, float AScale = 1);
  // A controller on ATarget whose skin has Root as skeleton, Root on ARootIndices and Arm on
  // AArmIndices (weights 1); Ids "C0", "C1", ...
  vantrel::TControllerDef* AddController(vantrel::TTransformDef* ATarget, std::vector<int32_t> ARootIndices,
                                         std::vector<int32_t> AArmIndices);
  // An animation moving Arm's position from (1,0,0) to (1,AY,0) in one second, without loop.
  vantrel::TAnimationDef* AddWalk(const std::string& AId, float AY = 2);

  // The model control loaded from the model definition.
  vantrel::TVantrelModel* Load(rtl::TComponent* AOwner = nullptr);

  vantrel::TVantrelMesh* BodyMesh() const;
  vantrel::TVantrelArmature* ArmatureControl() const;
  vantrel::TVantrelJoint* ArmJoint() const;
  rtl::TPoint3D BodyVertex(int AIndex) const;

  vantrel::TModelDef* ModelDef = nullptr;
  vantrel::TMeshDef* Body = nullptr;
  vantrel::TArmatureDef* Armature = nullptr;
  vantrel::TJointDef* Root = nullptr;
  vantrel::TJointDef* Arm = nullptr;
  vantrel::TControllerDef* Controller = nullptr;
  vantrel::TAnimationDef* Walk = nullptr;
  vantrel::TVantrelModel* Model = nullptr;
  std::vector<vantrel::TControllerDef*> Controllers;
  std::vector<vantrel::TAnimationDef*> Animations;
};

} // namespace vtest
