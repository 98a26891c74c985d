#pragma once
// The binary tree the triangle hierarchy's root casts rays on, private to the hierarchy.
//
// The eight-way tree splits at fixed centres and lists a triangle in every box it touches, so a
// ray visits hundreds of triangles. This tree splits by the surface-area heuristic (16 bins per
// axis, leaves of at most four triangles) into a binary tree, then merges every two levels into
// one node of four children (128 bytes, tested at once), so a ray waits on half as many loads. It
// keeps a copy of each triangle's vertices in leaf order.
//
// It reproduces the hierarchy's own triangle cast exactly: a leaf first runs a pre-test in double
// precision that rejects only triangles TTriangle::Raycast certainly misses, with a tolerance that
// covers the rounding of that cast; every survivor then goes through TTriangle::Raycast itself.
// Node boxes are widened by the same kind of margin and a node is pruned only when the ray enters
// it clearly beyond the best hit so far, so no hit the cast would report is ever skipped.

#include <xmmintrin.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "utils/Vantrel.Utils.Geometry.h"

namespace vantrel {

// The distance from the ray start that picks the nearest hit: in double from the stored floats,
// rounded once. Equal values are ties.
float BVHHitDistance(const TRaycastResult& AHit, const TRaycastData& ARay);

class TBVHRayTree {
public:
  enum class ECast {
    // No triangle is hit.
    Miss,
    // One triangle is nearest; ARes, ATriangle and ATag hold it.
    Hit,
    // Two triangles share the nearest distance; which one wins depends on the caller's order.
    Tie,
    // The ray is outside what the tree's float arithmetic handles (a coordinate not finite or
    // beyond 1e18, or a zero direction).
    Declined
  };

  // Null for no triangles, or when a coordinate is not finite or beyond 1e18 in magnitude. ATags,
  // empty or one per triangle, are kept with the triangles and handed back with a hit.
  static std::unique_ptr<TBVHRayTree> Build(const std::vector<TTriangle>& ATriangles,
                                            const std::vector<uint16_t>& ATags = {});

  // The nearest hit of TTriangle::Raycast over ATriangles, which must hold the triangles the tree
  // was built on, by BVHHitDistance. Allocates nothing.
  ECast Raycast(const std::vector<TTriangle>& ATriangles, const TRaycastData& ARay, TRaycastResult& ARes,
                int32_t& ATriangle, uint16_t* ATag = nullptr) const;

  // False only when TTriangle::Raycast of ATriangle certainly misses ARay (the leaf pre-test).
  static bool MayHit(const TTriangle& ATriangle, const TRaycastData& ARay);

  size_t NodeCount() const { return FNodes.size(); }
  size_t MemoryBytes() const;

private:
  // Four children, tested together. Per axis: the minima of the four, then their maxima. Offset
  // is a leaf child's first triangle record or an inner child's node; Count is a leaf child's
  // number of triangles, 0 for an inner child, -1 for an unused slot.
  struct alignas(64) TNode {
    float Bounds[3][2][4];
    int32_t Offset[4];
    int32_t Count[4];
  };
  static_assert(sizeof(TNode) == 128);
  struct TPrimitive;
  struct TBinaryNode;
  struct TRay;

  TBVHRayTree() = default;
  static std::vector<TBinaryNode> BuildBinary(std::vector<TPrimitive>& APrimitives);
  int32_t Collapse(const std::vector<TBinaryNode>& ABinary, int32_t ANode);
  void Prefetch(int32_t AOffset, int32_t ACount) const;
  static int Enter(const TNode& ANode, const TRay& ARay, __m128 ALimit, float* ANear);

  std::vector<TNode> FNodes;
  // The root has no box of its own: the octree's root box, which the ray has entered, is the same.
  int32_t FRootOffset = 0;
  int32_t FRootCount = 0;
  // A triangle in leaf order and where it stands in the geometry.
  struct TRecord {
    TTriangle Triangle;
    int32_t Index;
    uint16_t Tag;
  };
  static_assert(sizeof(TRecord) == 44);
  std::vector<TRecord> FRecords;
  // The largest sum of absolute coordinates over all vertices: the scale of the rounding margins.
  float FScale = 0;
};

} // namespace vantrel
