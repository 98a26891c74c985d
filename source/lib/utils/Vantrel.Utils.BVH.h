#pragma once
// An eight-way tree of boxes over the triangles of one mesh, so that a ray or a box can be tested
// against the mesh without visiting every triangle.
//
// The split is fixed: every node with triangles is cut into the eight octants around its centre,
// three levels deep (at most 512 leaves), whatever the triangles look like. A triangle is copied
// into every child box it touches, so leaves share triangles; a cast still reports each hit once,
// as the nearest one by distance from the ray start.
//
// The root also owns a private binary tree (TBVHRayTree) that its ray casts run on; it gives the
// very result the eight-way cast gives, and the root falls back to that cast for ties and for the
// rare ray whose answer the binary tree cannot vouch for.
//
// Calling order: construct the geometry, BuildBVH, cast and query, FreeBVH. A tree built earlier is
// freed before the geometry is filled anew, because BuildBVH does nothing while one exists.

#include <cstdint>
#include <memory>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"
#include "rtl/object.h"
#include "ui/mesh_buffers.h"
#include "utils/Vantrel.Utils.Geometry.h"

namespace vantrel {

class TBVHGeometry;

struct TBVHNode {
  // Not owned: the geometry whose triangles Triangles refers to.
  TBVHGeometry* Geometry = nullptr;
  TAABB Bounds;
  // Empty for a leaf, otherwise exactly eight.
  std::vector<TBVHNode> Children;
  int32_t NumTriangles = 0;
  // Positions in the geometry's Triangles; inner nodes keep none.
  std::vector<int32_t> Triangles;

  explicit TBVHNode(TBVHGeometry* AGeometry);
  TBVHNode(TBVHNode&&) noexcept;
  TBVHNode& operator=(TBVHNode&&) noexcept;
  ~TBVHNode();

  // The nearest triangle hit below this node, by distance from the ray start; ties keep the first
  // found (lower triangle position, lower child index). A ray that misses Bounds leaves the box
  // cast's values in ARes; one that enters Bounds but hits nothing leaves the box hit with Hit
  // false. Allocates nothing. On a root built by BuildBVH the search runs on the binary tree, with
  // the same result.
  bool Raycast(const TRaycastData& ARay, TRaycastResult& ARes) const;
  // Bounds overlaps A; triangles are not tested.
  bool IntersectsWith(const TAABB& A) const;
  // Descends along the first overlapping child at each level; ANode is the deepest node reached,
  // or null when Bounds does not overlap A. Triangles are not tested.
  bool IntersectsWith(const TAABB& A, TBVHNode*& ANode);

private:
  struct TRayIndex;
  friend void BuildBVH(TBVHGeometry* AGeometry);
  bool OctreeRaycast(const TRaycastData& ARay, TRaycastResult& ARes) const;
  bool ReachesInOctree(const TRaycastData& ARay, const TPoint3D& APoint, int32_t ATriangle,
                       uint16_t ALeaf) const;

  // Only on a root made by BuildBVH: the binary tree its casts run on, built over a copy of the
  // triangles as they were then, with the octree leaf that lists each.
  std::unique_ptr<const TRayIndex> FRayIndex;
};
using PBVHNode = TBVHNode*;

class TBVHGeometry {
public:
  // The root of the tree; null until BuildBVH.
  std::unique_ptr<TBVHNode> Accelerator;
  int32_t NumTriangles = 0;
  // In model space, after the local transform.
  std::vector<TTriangle> Triangles;

  TBVHGeometry() = default;
  // One triangle per index triple, taken in reverse order (A = third index, B = second, C = first)
  // and transformed as points by ALocal. Needs both buffers and at least 3 indices, else the
  // geometry stays empty; left-over indices are ignored, and so is every triple with an index
  // beyond the vertex buffer. Builds no tree.
  TBVHGeometry(const TVertexBuffer* AVertexSource, const TIndexBuffer* AIndexSource, const TMatrix3D& ALocal);
  TBVHGeometry(const TBVHGeometry&) = delete;
  TBVHGeometry& operator=(const TBVHGeometry&) = delete;
  ~TBVHGeometry();

  // The triangles as a mesh: vertices A, B, C of each triangle in turn and the indices 0..3N-1,
  // 32-bit once they no longer fit 16 bits. The caller owns it.
  TOwned<TMeshData> ToMeshData() const;
  // The nearest hit through the tree; without one, false and a cleared ARes.
  bool Raycast(const TRaycastData& ARay, TRaycastResult& ARes) const;
  // Some triangle touches A.
  bool IntersectsWith(const TAABB& A) const;
  // The same; ANode is the tree node that listed the first touching triangle found breadth first
  // (children from 7 down to 0), or null without a tree. It lives until FreeBVH.
  bool IntersectsWith(const TAABB& A, TBVHNode*& ANode) const;
};
using PBVHGeometry = TBVHGeometry*;

// Builds the tree over all triangles, and the root's binary tree for ray casts; nothing for null,
// for an empty geometry, or when a tree exists.
void BuildBVH(TBVHGeometry* AGeometry);
// Splits ANode into octants and hands its triangles down, ADepth - 1 levels deep (nothing for
// ADepth <= 1). A node without triangles stays an empty leaf.
void SplitBVHNode(TBVHNode* ANode, TBVHGeometry* AGeometry, int ADepth);
// Frees the tree (the root's binary tree with it) and sets ANode to null; nothing for null.
void FreeBVH(std::unique_ptr<TBVHNode>& ANode);

} // namespace vantrel
