#pragma once
// The dense form of one skinned mesh's per-vertex joint weights that the armature's skinning loop
// reads. The per-vertex records of a vertex-joints list are large (sixteen joint slots and sixteen
// weights each) and name joint definitions, which must be looked up to reach a joint's matrix.
// The table keeps, per vertex, only the bind position and the pairs actually used, each pair
// naming its joint by a small index into one flat array of offset matrices that is refilled once
// per skinning step. It is built from the list once and rebuilt when the list's revision changes
// or when the armature's joints change (the armature then drops its tables).

#include <cstdint>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/generics.h"
#include "rtl/math3d.h"

namespace vantrel {

class TJointDef;
class TVantrelJoint;
class TVertexJointsList;

using TJointMap = TDictionary<const TJointDef*, TVantrelJoint*>;

class TSkinTable {
public:
  // Copies AList's records, resolving each joint definition through AJointMap once. A definition
  // without joint does not raise here: Check raises for it when skinning reaches its vertex.
  void Build(const TVertexJointsList& AList, const TJointMap& AJointMap);
  // Whether the table was built from AList as it is now.
  bool IsCurrent(const TVertexJointsList& AList) const;
  // Raises AJointMap's key-not-found error when one of the first ACount vertices names a joint
  // definition that the map lacks, before anything is written.
  void Check(int32_t ACount, const TJointMap& AJointMap) const;
  // Copies the current offset of controller slot ASlot from every joint the table names; a slot
  // below 0 (a controller without valid index) gives identities.
  void GatherOffsets(int32_t ASlot);
  // Writes the skinned positions of the first ACount vertices as three floats each, AStride bytes
  // apart from AOut on; ATransform, when given, then moves each position as a point.
  void Skin(int32_t ACount, uint8_t* AOut, int32_t AStride, const TMatrix3D* ATransform) const;

  int32_t VertexCount() const { return int32_t(FVertices.size()); }
  // The bytes the skinning loop reads per vertex on average (the bind position, the pair count
  // and the pairs).
  double BytesPerVertex() const;

private:
  struct TVertex {
    float X, Y, Z;
    uint32_t Count;
  };
  struct TPair {
    uint32_t Offset;
    float Weight;
  };
  static_assert(sizeof(TVertex) == 16 && sizeof(TPair) == 8);

  const TVertexJointsList* FList = nullptr;
  uint64_t FRevision = 0;
  std::vector<TVertex> FVertices;
  // The pairs of all vertices in vertex order, each vertex's Count of them in its records' order.
  std::vector<TPair> FPairs;
  // One per distinct joint definition the records name, in order of first use; FOffsets alike.
  std::vector<TVantrelJoint*> FJoints;
  std::vector<TMatrix3D> FOffsets;
  // The first vertex that names a definition without joint, and that definition.
  // The pair count shared by every vertex; 0 when the counts differ.
  uint32_t FPairsPerVertex = 0;
  int32_t FFirstUnresolved = INT32_MAX;
  const TJointDef* FUnresolved = nullptr;
};

} // namespace vantrel
