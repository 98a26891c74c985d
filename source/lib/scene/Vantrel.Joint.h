#pragma once
// One bone of a skeleton as a scene object: a transform under an armature or under another joint.
// Besides its local transform, which animations move, it keeps three matrices per skin controller
// (up to 16): the local bind transform from its definition, the inverse bind transform and the
// current offset that CPU skinning multiplies vertices by. It builds its child joints from the
// joint definition tree, hands a skin's weights to the vertices of the skinned mesh, and can draw
// itself as a small cube with a line to its parent joint.

#include <array>
#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/colors.h"
#include "scene/Vantrel.Transform.h"

namespace vantrel {

class TJointDef;
class TControllerDef;
class TTransformDef;
class TVertexJointsList;
class TVantrelArmature;

inline constexpr const char* SJointDefinitionMissing = "failed to load joint instance - definition missing";
inline constexpr const char* SJointLocalBindIndex =
    "invalid controller index to set LocalBindTransform in HAnim joint - max. 16 controllers allowed";
inline constexpr const char* SJointInverseBindIndex =
    "invalid controller index to set InverseBindTransform in HAnim joint - max. 16 controllers allowed";
inline constexpr const char* SJointCurrentOffsetIndex =
    "invalid controller index to set CurrentOffsetMatrix in HAnim joint - max. 16 controllers allowed";
inline constexpr const char* SJointTargetNotSet =
    "TVantrelJoint.ApplyJointInfoToArmature - target not set for reference-joint %s";
inline constexpr const char* SJointInvalidVertexIndex = "invalid index on TVertexJointsList (%d / %d";
inline constexpr const char* SJointEmpty = "failed to ApplyJointInfoToArmature - joint is empty";

// One matrix per skin controller, indexed by the controller's Index.
constexpr int32_t MaxJointControllers = 16;
using TVantrelJointLocalTransform = std::array<TMatrix3D, MaxJointControllers>;

class TVantrelJoint : public TVantrelTransform {
  RTL_CLASS(TVantrelJoint, TVantrelTransform)
public:
  explicit TVantrelJoint(TComponent* AOwner);
  ~TVantrelJoint() override;

  bool Skinned() const { return FSkinned; }
  bool ShowJoint() const { return FShowJoint; }
  // Stored here and passed on to every child joint, recursively.
  void SetShowJoint(bool AValue);
  TAlphaColor JointRenderColor() const { return FJointRenderColor; }
  void SetJointRenderColor(TAlphaColor AValue);
  const TPoint3D& JointRenderSize() const { return FJointRenderSize; }
  void SetJointRenderSize(const TPoint3D& AValue) { FJointRenderSize = AValue; }
  // The child joints (not owned; a freed joint leaves the list).
  const std::vector<TVantrelJoint*>& Joints() const { return FJoints; }
  // The nearest armature up the chain of parent joints; nil when the chain meets anything else.
  TVantrelArmature* Armature() const;
  // Whether the armature's skeleton list holds this joint.
  bool IsSkeletonRoot() const;

  // The matrix of the controller's index; the identity outside 0..15 or without controller.
  TMatrix3D GetLocalBindTransform(const TControllerDef* ACtrl) const;
  TMatrix3D GetInverseBindTransform(const TControllerDef* ACtrl) const;
  TMatrix3D GetCurrentOffsetMatrix(const TControllerDef* ACtrl) const;
  // The three setters raise their range texts outside 0..15.
  virtual void SetLocalBindTransformMatrix(const TControllerDef* ACtrl, const TMatrix3D& AMatrix);
  void SetInverseBindTransformMatrix(const TControllerDef* ACtrl, const TMatrix3D& AMatrix);
  void SetCurrentOffsetMatrix(const TControllerDef* ACtrl, const TMatrix3D& AMatrix);
  // The current offset read in the skinning loop: no range test, the caller checked the index.
  const TMatrix3D& CurrentOffsetAt(int32_t AIndex) const { return FCurrentOffsetMatrix[size_t(AIndex)]; }

  // Appends unless present.
  void AddJoint(TVantrelJoint* AValue);
  // Depth first over Joints: a child whose definition is ADef, else the child's own search.
  TVantrelJoint* FindJoint(const TJointDef* ADef) const;
  void ClearJoints();
  // The joint's absolute matrix times the inverse of its armature's (its pose in armature space).
  TMatrix3D GetSkeletonTransformMatrix();

  // Builds the joint and its child joints from ADef; nil raises.
  virtual void LoadFromDefinition(TJointDef* ADef);
  using TVantrelTransform::LoadFromDefinition;
  // Inverse bind transforms down the owned joints, from the stored matrix of the joint reference
  // or from the local binds.
  void CalculateInverseBindTransformMatrix(const TControllerDef* ACtrl, const TMatrix3D& AParentBindTransform);
  // The current offsets of this joint and the joints below for the controller.
  void PrepareSkinAnimationStep(const TControllerDef* ACtrl);
  // A hook over the child joints; changes nothing.
  void PrepareSkinAnimation();
  // Distributes this joint's weights of the controller's skin (and those of the joints below)
  // over the per-vertex records.
  void ApplyJointInfoToArmature(const TControllerDef* ACtrl, TVertexJointsList* AVertices, TTransformDef* ATransform);
  // A cube at the joint and a line to its parent joint (none to a skeleton root), with ShowJoint.
  virtual void RenderJoint(TContext3D* AContext);
  // One debug line for this joint, then the owned joints with four more blanks.
  void DebugOut(const std::string& ATab);

  void DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) override;
  void BuildHierarchy(TTransformDef*) override {}

protected:
  void Render() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
  TVantrelJointLocalTransform FLocalBindTransform;
  TVantrelJointLocalTransform FInverseBindTransform;
  TVantrelJointLocalTransform FCurrentOffsetMatrix;
  bool FSkinned = false;
  bool FShowJoint = false;
  TAlphaColor FJointRenderColor = 0xFFFF0000;
  TPoint3D FJointRenderSize{0.25f, 0.25f, 0.25f};
  std::vector<TVantrelJoint*> FJoints;

  TJointDef* JointDef() const;
  void AddVertexWeights(const TControllerDef* ACtrl, TVertexJointsList* AVertices, TTransformDef* ATarget);
};

void InitializeJoint();
void FinalizeJoint();

} // namespace vantrel
