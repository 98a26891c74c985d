#pragma once
// The scene object of a skeleton. A model control makes one per armature definition: it builds
// the root joints, links every skin controller's target mesh, fills the meshes' per-vertex joint
// weights, computes the inverse bind transforms and, on every render, deforms the vertex
// positions of its skinned meshes on the CPU by linear blend skinning (AnimateSkin).
//
// Skeletons, Meshes and the joint map refer to objects owned elsewhere; a freed object leaves
// each of them.
//
// The skinning loop reads a dense table per mesh (TSkinTable) made from the mesh's per-vertex
// records on first use. A table is made again when its records change (their revision), and all
// tables are dropped when the joint map changes or the joints are prepared anew.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/generics.h"
#include "scene/Vantrel.Armature.SkinTable.h"
#include "scene/Vantrel.Transform.h"

namespace ui {
class TVertexBuffer;
}

namespace vantrel {

class TJointDef;
class TControllerDef;
class TMeshDef;
class TVantrelJoint;
class TVantrelMesh;
class TVantrelModel;

inline constexpr const char* SArmatureWithoutRoot = "armature definition `%s` without controller or root joint";
inline constexpr const char* SArmatureModelAsTarget =
    "<WARNING> Armature controller using model instance \"%s\" as target!";
inline constexpr const char* SArmatureTargetNotFound = "failed to link target to armature - control `%s` not found";

// The position buffers a caching run skins into instead of the meshes' own, by mesh definition.
using TMeshBufferMap = TDictionary<TMeshDef*, ui::TVertexBuffer*>;

class TVantrelArmature : public TVantrelTransform {
  RTL_CLASS(TVantrelArmature, TVantrelTransform)
public:
  explicit TVantrelArmature(TComponent* AOwner);
  ~TVantrelArmature() override;

  // A running number from a process-wide counter that starts at 0.
  int32_t ArmatureIndex = 0;

  const std::vector<TVantrelTransform*>& Skeletons() const { return FSkeletons; }
  const std::vector<TVantrelMesh*>& Meshes() const { return FMeshes; }
  // The model control this armature belongs to (its parent), or nil.
  TVantrelModel* Model() const;

  // Adds the pair unless the definition is mapped already.
  void LinkJoint(TJointDef* AKey, TVantrelJoint* AJoint);
  TVantrelJoint* FindJoint(const TJointDef* ADef) const;
  // True when any root joint shows itself; writing sets every root, which passes it down.
  bool ShowJoints() const;
  void SetShowJoints(bool AValue);
  // The first root's colour, $FFFFFFFF without roots; writing sets every root.
  TAlphaColor JointsRenderColor() const;
  void SetJointsRenderColor(TAlphaColor AValue);

  void CalculateInverseBindTransformMatrix(const TControllerDef* ACtrl);
  // The joints' hook, after which the skinning tables are made again.
  virtual void PrepareSkinAnimation();
  virtual void PrepareSkinAnimationStep(const TControllerDef* ACtrl);
  // Deforms the skinned meshes' positions from their bind pose with the joints' current offsets.
  // AMeshBuffers, when given, replaces the buffer of each mesh definition it holds.
  void AnimateSkin(TMeshBufferMap* AMeshBuffers);
  // The skinning table of AMesh as the last skinning left it, or nil before it.
  const TSkinTable* FindSkinTable(const TVantrelMesh* AMesh) const;
  // "Armature::<qualified name>", then each root joint indented by four blanks.
  void DebugOut();

  void LoadFromDefinition(TCustomDef* ADef) override;
  void DoDuplicate(TObject*, TVantrelDuplicator*) override {}
  void BuildHierarchy(TTransformDef*) override {}

  // Test-only: the next armature is numbered 0 again.
  static void ResetArmatureCounter();

protected:
  // The transform's render, then the skinning of this frame.
  void Render() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
  std::vector<TVantrelTransform*> FSkeletons;
  std::vector<TVantrelMesh*> FMeshes;
  TJointMap FJointMap;
  // By mesh, kept as a component so that the mesh's removal notification can find its entry.
  std::unordered_map<const TComponent*, std::unique_ptr<TSkinTable>> FSkinTables;

  TVantrelJoint* NewRootJoint(TJointDef* ADef);
  void BuildSkeletonFromRoot(class TArmatureDef* ADef);
  void LinkController(TControllerDef* AController);
  TVantrelTransform* FindTarget(TControllerDef* AController);
  void SkinMesh(TVantrelMesh* AMesh, TControllerDef* AController, const std::vector<TVantrelJoint*>& ARoots,
                TTransformDef* ATransform);
  void Watch(TComponent* AComponent);
  // The mesh's table, made again from AList when stale.
  TSkinTable& SkinTableOf(const TVantrelMesh* AMesh, const TVertexJointsList& AList);
};

void InitializeArmature();
void FinalizeArmature();

} // namespace vantrel
