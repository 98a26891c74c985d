#include "utils/Vantrel.Utils.BVH.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "utils/Vantrel.Utils.BVH.RayTree.h"
#include "utils/Vantrel.Utils.Vectors.h"

namespace vantrel {

namespace {

// The build's depth: three splits below the root.
constexpr int kBuildDepth = 4;

// Child k spans the parent's centre and the parent's own corner on the side given by the signs,
// so the eight children cover the parent exactly; a corner computed as centre + half size can
// round to one ulp inside the parent and lose the triangles lying on its faces.
TAABB ChildBounds(const TAABB& AParent, const TPoint3D& ACentre, int AChild) {
  static constexpr bool kPositive[8][3] = {{false, true, false}, {true, true, false},   {false, true, true},
                                           {true, true, true},   {false, false, false}, {true, false, false},
                                           {false, false, true}, {true, false, true}};
  const bool* positive = kPositive[AChild];
  const TPoint3D corner{positive[0] ? AParent.Max.X : AParent.Min.X,
                        positive[1] ? AParent.Max.Y : AParent.Min.Y,
                        positive[2] ? AParent.Max.Z : AParent.Min.Z};
  return {Point3DMin(ACentre, corner), Point3DMax(ACentre, corner)};
}

void CreateChildren(TBVHNode& ANode) {
  const TPoint3D centre = ANode.Bounds.GetPosition();
  ANode.Children.reserve(8);
  for (int k = 0; k < 8; ++k) {
    ANode.Children.emplace_back(ANode.Geometry);
    ANode.Children.back().Bounds = ChildBounds(ANode.Bounds, centre, k);
  }
}

bool IsFinite(const TPoint3D& A) {
  return std::isfinite(A.X) && std::isfinite(A.Y) && std::isfinite(A.Z);
}

// Whether ATriangle is listed in a child box: its own box apart from the child's means no, inside
// it means yes; only a triangle straddling the child's faces needs the separating-axis test. Both
// shortcuts give what that test gives for finite coordinates: its first three axes compare exactly
// these boxes, and a triangle inside a box has no separating axis.
bool Touches(const TTriangle& ATriangle, const TAABB& ATriangleBox, bool AFinite, const TAABB& AChild) {
  if (AFinite) {
    if (ATriangleBox.Min.X > AChild.Max.X || ATriangleBox.Max.X < AChild.Min.X ||
        ATriangleBox.Min.Y > AChild.Max.Y || ATriangleBox.Max.Y < AChild.Min.Y ||
        ATriangleBox.Min.Z > AChild.Max.Z || ATriangleBox.Max.Z < AChild.Min.Z)
      return false;
    if (ATriangleBox.Min.X >= AChild.Min.X && ATriangleBox.Max.X <= AChild.Max.X &&
        ATriangleBox.Min.Y >= AChild.Min.Y && ATriangleBox.Max.Y <= AChild.Max.Y &&
        ATriangleBox.Min.Z >= AChild.Min.Z && ATriangleBox.Max.Z <= AChild.Max.Z)
      return true;
  }
  return ATriangle.IntersectsWith(AChild);
}

// Hands every triangle of ANode to each child box it touches, in ANode's order, and empties ANode.
void DistributeTriangles(TBVHNode& ANode, const TBVHGeometry& AGeometry) {
  bool finiteChildren = true;
  for (TBVHNode& child : ANode.Children) {
    child.Geometry = ANode.Geometry;
    child.Triangles.clear();
    finiteChildren = finiteChildren && IsFinite(child.Bounds.Min) && IsFinite(child.Bounds.Max);
  }
  for (int32_t i = 0; i < ANode.NumTriangles; ++i) {
    const int32_t index = ANode.Triangles[i];
    const TTriangle& triangle = AGeometry.Triangles[index];
    const bool finite =
        finiteChildren && IsFinite(triangle.A) && IsFinite(triangle.B) && IsFinite(triangle.C);
    const TAABB box = triangle.ToAABB();
    for (TBVHNode& child : ANode.Children)
      if (Touches(triangle, box, finite, child.Bounds))
        child.Triangles.push_back(index);
  }
  for (TBVHNode& child : ANode.Children) {
    child.Triangles.shrink_to_fit();
    child.NumTriangles = int32_t(child.Triangles.size());
  }
  ANode.NumTriangles = 0;
  ANode.Triangles = {};
}

} // namespace

// --- TBVHNode ------------------------------------------------------------------------------------

// What the root's casts need besides the octree: the binary tree, whose triangles carry the one
// octree leaf that lists each (a position in Leaves plus one; kNoLeaf when none lists it,
// kSeveral when more than one does).
struct TBVHNode::TRayIndex {
  static constexpr uint16_t kNoLeaf = 0;
  static constexpr uint16_t kSeveral = 0xFFFF;

  std::unique_ptr<TBVHRayTree> Tree;
  std::vector<const TBVHNode*> Leaves;

  void AddLeaves(const TBVHNode& ANode, std::vector<uint16_t>& ALeafOf) {
    if (!ANode.Children.empty()) {
      for (const TBVHNode& child : ANode.Children)
        AddLeaves(child, ALeafOf);
      return;
    }
    Leaves.push_back(&ANode);
    for (int32_t i = 0; i < ANode.NumTriangles; ++i) {
      uint16_t& leaf = ALeafOf[size_t(ANode.Triangles[i])];
      leaf = leaf == kNoLeaf ? uint16_t(Leaves.size()) : kSeveral;
    }
  }
};

TBVHNode::TBVHNode(TBVHGeometry* AGeometry) : Geometry(AGeometry) {}
TBVHNode::TBVHNode(TBVHNode&&) noexcept = default;
TBVHNode& TBVHNode::operator=(TBVHNode&&) noexcept = default;
TBVHNode::~TBVHNode() = default;

bool TBVHNode::Raycast(const TRaycastData& ARay, TRaycastResult& ARes) const {
  if (!FRayIndex)
    return OctreeRaycast(ARay, ARes);
  if (!Bounds.Raycast(ARay, ARes))
    return false;
  ARes.Hit = false;
  TRaycastResult hit;
  int32_t triangle = -1;
  uint16_t leaf = TRayIndex::kNoLeaf;
  switch (FRayIndex->Tree->Raycast(Geometry->Triangles, ARay, hit, triangle, &leaf)) {
  case TBVHRayTree::ECast::Miss:
    // No triangle is hit at all, so none is in the octants either.
    return false;
  case TBVHRayTree::ECast::Hit:
    // The nearest hit over all triangles; the octants report it too when the ray reaches a leaf
    // that lists it, and then nothing nearer, since they hold no other triangles.
    if (ReachesInOctree(ARay, hit.Point, triangle, leaf)) {
      ARes = hit;
      return true;
    }
    break;
  case TBVHRayTree::ECast::Tie:
  case TBVHRayTree::ECast::Declined:
    break;
  }
  // Ties are settled by the octants' order, and the rest are rare enough to cast the slow way.
  return OctreeRaycast(ARay, ARes);
}

bool TBVHNode::OctreeRaycast(const TRaycastData& ARay, TRaycastResult& ARes) const {
  if (!Bounds.Raycast(ARay, ARes))
    return false;
  ARes.Hit = false;
  float best = std::numeric_limits<float>::infinity();
  TRaycastResult candidate;
  if (Children.empty()) {
    for (int32_t i = 0; i < NumTriangles; ++i)
      if (Geometry->Triangles[Triangles[i]].Raycast(ARay, &candidate)) {
        const float distance = BVHHitDistance(candidate, ARay);
        if (distance < best) {
          ARes = candidate;
          best = distance;
        }
      }
    return ARes.Hit;
  }
  bool found = false;
  for (const TBVHNode& child : Children)
    if (child.Raycast(ARay, candidate)) {
      const float distance = BVHHitDistance(candidate, ARay);
      if (distance < best) {
        ARes = candidate;
        found = true;
        best = distance;
      }
    }
  return found;
}

// Follows the octants holding APoint from this root down to a leaf: true when the ray enters every
// box on the way, as the octree cast tests them, and the leaf lists ATriangle, whose leaf number
// is ALeaf.
bool TBVHNode::ReachesInOctree(const TRaycastData& ARay, const TPoint3D& APoint, int32_t ATriangle,
                               uint16_t ALeaf) const {
  const TBVHNode* node = this;
  while (!node->Children.empty()) {
    // Child 3 is the octant (+, +, +), whose minimum is the centre; see ChildBounds.
    const TPoint3D& centre = node->Children[3].Bounds.Min;
    const int octant =
        (APoint.X >= centre.X ? 1 : 0) + (APoint.Z >= centre.Z ? 2 : 0) + (APoint.Y >= centre.Y ? 0 : 4);
    node = &node->Children[size_t(octant)];
    if (!node->Bounds.Contains(APoint) || node->Bounds.Raycast(ARay) < 0)
      return false;
  }
  if (ALeaf != TRayIndex::kSeveral)
    return ALeaf != TRayIndex::kNoLeaf && FRayIndex->Leaves[ALeaf - 1] == node;
  // Leaf lists keep the root's ascending order.
  const auto end =
      node->Triangles.begin() + std::min<ptrdiff_t>(node->NumTriangles, ptrdiff_t(node->Triangles.size()));
  return std::binary_search(node->Triangles.begin(), end, ATriangle);
}

bool TBVHNode::IntersectsWith(const TAABB& A) const {
  return AABBOverlap(Bounds, A);
}

bool TBVHNode::IntersectsWith(const TAABB& A, TBVHNode*& ANode) {
  ANode = nullptr;
  if (!AABBOverlap(Bounds, A))
    return false;
  ANode = this;
  for (TBVHNode& child : Children) {
    TBVHNode* deeper = nullptr;
    if (child.IntersectsWith(A, deeper)) {
      ANode = deeper;
      break;
    }
  }
  return true;
}

// --- TBVHGeometry --------------------------------------------------------------------------------

TBVHGeometry::TBVHGeometry(const TVertexBuffer* AVertexSource, const TIndexBuffer* AIndexSource,
                           const TMatrix3D& ALocal) {
  if (!AVertexSource || !AIndexSource || AIndexSource->Length() <= 2)
    return;
  const uint32_t vertexCount = uint32_t(AVertexSource->Length());
  const int32_t tripleCount = AIndexSource->Length() / 3;
  Triangles.reserve(size_t(tripleCount));
  for (int32_t k = 0; k < tripleCount; ++k) {
    const uint32_t i0 = AIndexSource->GetIndices(3 * k), i1 = AIndexSource->GetIndices(3 * k + 1),
                   i2 = AIndexSource->GetIndices(3 * k + 2);
    // A malformed mesh must not make us read outside the vertex buffer.
    if (i0 >= vertexCount || i1 >= vertexCount || i2 >= vertexCount)
      continue;
    Triangles.push_back({AVertexSource->GetVertices(int32_t(i2)) * ALocal,
                         AVertexSource->GetVertices(int32_t(i1)) * ALocal,
                         AVertexSource->GetVertices(int32_t(i0)) * ALocal});
  }
  NumTriangles = int32_t(Triangles.size());
}

TBVHGeometry::~TBVHGeometry() = default;

TOwned<TMeshData> TBVHGeometry::ToMeshData() const {
  const int32_t count = 3 * NumTriangles;
  const TIndexFormat format = count > 65535 ? TIndexFormat::UInt32 : TIndexFormat::UInt16;
  auto result = MakeOwned<TMeshData>(TVertexFormats{TVertexFormat::Vertex}, count, count, format);
  TVertexBuffer& vertices = result->VertexBuffer();
  TIndexBuffer& indices = result->IndexBuffer();
  for (int32_t k = 0; k < NumTriangles; ++k)
    for (int32_t corner = 0; corner < 3; ++corner) {
      const int32_t index = 3 * k + corner;
      vertices.SetVertices(index, Triangles[k].Points(corner));
      indices.SetIndices(index, uint32_t(index));
    }
  return result;
}

bool TBVHGeometry::Raycast(const TRaycastData& ARay, TRaycastResult& ARes) const {
  if (!Accelerator) {
    ARes = {};
    return false;
  }
  return Accelerator->Raycast(ARay, ARes);
}

bool TBVHGeometry::IntersectsWith(const TAABB& A) const {
  TBVHNode* node = nullptr;
  return IntersectsWith(A, node);
}

bool TBVHGeometry::IntersectsWith(const TAABB& A, TBVHNode*& ANode) const {
  ANode = nullptr;
  if (!Accelerator) {
    for (int32_t i = 0; i < NumTriangles; ++i)
      if (Triangles[i].IntersectsWith(A))
        return true;
    return false;
  }
  // First in, first out: a vector read from the front.
  std::vector<TBVHNode*> queue{Accelerator.get()};
  for (size_t head = 0; head < queue.size(); ++head) {
    TBVHNode* node = queue[head];
    for (int32_t i = 0; i < node->NumTriangles; ++i)
      if (Triangles[node->Triangles[i]].IntersectsWith(A)) {
        ANode = node;
        return true;
      }
    for (int k = int(node->Children.size()) - 1; k >= 0; --k)
      if (AABBOverlap(node->Children[k].Bounds, A))
        queue.push_back(&node->Children[k]);
  }
  return false;
}

// --- Free functions ------------------------------------------------------------------------------

void BuildBVH(TBVHGeometry* AGeometry) {
  if (!AGeometry || AGeometry->Accelerator || AGeometry->Triangles.empty())
    return;
  TAABB bounds{AGeometry->Triangles.front().A, AGeometry->Triangles.front().A};
  for (const TTriangle& triangle : AGeometry->Triangles)
    for (const TPoint3D& point : {triangle.A, triangle.B, triangle.C}) {
      bounds.Min = Point3DMin(bounds.Min, point);
      bounds.Max = Point3DMax(bounds.Max, point);
    }
  auto root = std::make_unique<TBVHNode>(AGeometry);
  root->Bounds = bounds;
  root->NumTriangles = int32_t(AGeometry->Triangles.size());
  root->Triangles.resize(size_t(root->NumTriangles));
  for (int32_t i = 0; i < root->NumTriangles; ++i)
    root->Triangles[i] = i;
  AGeometry->Accelerator = std::move(root);
  SplitBVHNode(AGeometry->Accelerator.get(), AGeometry, kBuildDepth);
  // Leaf numbers fit 16 bits: the octree has at most 512 leaves.
  auto index = std::make_unique<TBVHNode::TRayIndex>();
  std::vector<uint16_t> leafOf(AGeometry->Triangles.size(), TBVHNode::TRayIndex::kNoLeaf);
  index->AddLeaves(*AGeometry->Accelerator, leafOf);
  index->Tree = TBVHRayTree::Build(AGeometry->Triangles, leafOf);
  if (index->Tree)
    AGeometry->Accelerator->FRayIndex = std::move(index);
}

void SplitBVHNode(TBVHNode* ANode, TBVHGeometry* AGeometry, int ADepth) {
  // Depth 1 is a leaf level; anything below would split without end.
  if (!ANode || !AGeometry || ADepth <= 1 || ANode->NumTriangles == 0)
    return;
  if (ANode->Children.empty())
    CreateChildren(*ANode);
  DistributeTriangles(*ANode, *AGeometry);
  for (TBVHNode& child : ANode->Children)
    SplitBVHNode(&child, AGeometry, ADepth - 1);
}

void FreeBVH(std::unique_ptr<TBVHNode>& ANode) {
  ANode.reset();
}

} // namespace vantrel
