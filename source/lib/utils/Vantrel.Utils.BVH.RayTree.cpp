#include "utils/Vantrel.Utils.BVH.RayTree.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantrel {

namespace {

constexpr int kBins = 16;
constexpr int kLeafSize = 4;
// Below this depth splits follow the heuristic; deeper ones halve the node, so the depth stays
// under kSahDepth + 32 whatever the triangles look like.
constexpr int kSahDepth = 48;
// Three entries wait per level at most.
constexpr int kStackSize = 3 * (kSahDepth + 40);
constexpr float kMaxCoordinate = 1e18f;
constexpr float kInfinity = std::numeric_limits<float>::infinity();
// A direction component smaller than this, relative to the largest, is taken as this: the ray
// drifts by at most 1e-12 of its length, far inside the box margin.
constexpr float kSmallestDirection = 1e-12f;

// The rounding of TTriangle::Raycast moves the point it tests by at most about 4e-7 times the
// sum of the coordinate scales (ray start, vertex, edge lengths) divided by the cosine of the
// angle of incidence; the pre-test allows ten times that. See MayHit.
constexpr double kPreTestTolerance = 4e-6;
// Node boxes grow by this times the coordinate scale: ten times the distance between a reported
// hit point and the triangle's own box, plus the float rounding of the slab test.
constexpr float kBoxMargin = 1e-5f;
// A node is pruned only when entered beyond the best hit so far by this factor and the box margin.
constexpr float kPruneFactor = 1 + 1e-4f;

bool Finite(const TPoint3D& A) {
  return std::fabs(A.X) <= kMaxCoordinate && std::fabs(A.Y) <= kMaxCoordinate &&
         std::fabs(A.Z) <= kMaxCoordinate;
}

float AbsSum(const TPoint3D& A) {
  return std::fabs(A.X) + std::fabs(A.Y) + std::fabs(A.Z);
}

float Lane(__m128 A, int ALane) {
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, A);
  return lanes[ALane];
}

// Half the surface area of the box in lanes 0..2 of AMin and AMax.
float HalfArea(__m128 AMin, __m128 AMax) {
  alignas(16) float d[4];
  _mm_store_ps(d, _mm_sub_ps(AMax, AMin));
  return d[0] * d[1] + d[1] * d[2] + d[2] * d[0];
}

// A box in lanes 0..2; lane 3 is not used.
struct TBox {
  __m128 Min = _mm_set1_ps(kInfinity);
  __m128 Max = _mm_set1_ps(-kInfinity);

  void Grow(__m128 AMin, __m128 AMax) {
    Min = _mm_min_ps(Min, AMin);
    Max = _mm_max_ps(Max, AMax);
  }
  void Grow(const TBox& A) { Grow(A.Min, A.Max); }
  float HalfArea() const { return vantrel::HalfArea(Min, Max); }
};

} // namespace

float BVHHitDistance(const TRaycastResult& AHit, const TRaycastData& ARay) {
  const double dx = double(AHit.Point.X) - ARay.Start.X, dy = double(AHit.Point.Y) - ARay.Start.Y,
               dz = double(AHit.Point.Z) - ARay.Start.Z;
  return f32(std::sqrt(dx * dx + dy * dy + dz * dz));
}

// One triangle during the build: its box, with its position in the geometry in the fourth lane
// of the maximum (never used in arithmetic).
struct alignas(16) TBVHRayTree::TPrimitive {
  float Min[4];
  float Max[3];
  int32_t Index;

  __m128 Low() const { return _mm_load_ps(Min); }
  __m128 High() const { return _mm_load_ps(Max); }
  // Twice the centre in lanes 0..2, 0 in lane 3.
  __m128 Centre2() const {
    return _mm_add_ps(Low(), _mm_and_ps(High(), _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1))));
  }
};

// A ray prepared for the slab tests of a node, each value in all four lanes: direction
// scaled so its largest component is 1 (parameters are measured along it), its inverse, and the
// box margin as a parameter step along each axis.
struct TBVHRayTree::TRay {
  __m128 Origin[3];
  __m128 Inverse[3];
  __m128 Margin[3];
  // The scale from the caller's ray parameter to ours.
  float DirectionScale;
  float MarginLength;
};

// A node of the binary tree: its box; a leaf's primitives [Offset, Offset + Count), or an inner
// node's children Offset and Offset + 1 with Count 0.
struct TBVHRayTree::TBinaryNode {
  float Min[3], Max[3];
  int32_t Offset, Count;
};

// --- Build ---------------------------------------------------------------------------------------

std::unique_ptr<TBVHRayTree> TBVHRayTree::Build(const std::vector<TTriangle>& ATriangles,
                                                const std::vector<uint16_t>& ATags) {
  if (ATriangles.empty() || ATriangles.size() > size_t(std::numeric_limits<int32_t>::max() / 2) ||
      (!ATags.empty() && ATags.size() != ATriangles.size()))
    return nullptr;
  std::vector<TPrimitive> primitives(ATriangles.size());
  float scale = 0;
  for (size_t i = 0; i < ATriangles.size(); ++i) {
    const TTriangle& triangle = ATriangles[i];
    for (int corner = 0; corner < 3; ++corner) {
      const TPoint3D& point = triangle.Points(corner);
      // Written so that a NaN fails too.
      if (!Finite(point))
        return nullptr;
      scale = std::max(scale, AbsSum(point));
    }
    const TAABB box = triangle.ToAABB();
    primitives[i] = {{box.Min.X, box.Min.Y, box.Min.Z, 0}, {box.Max.X, box.Max.Y, box.Max.Z}, int32_t(i)};
  }
  std::unique_ptr<TBVHRayTree> tree(new TBVHRayTree);
  tree->FScale = scale;
  const std::vector<TBinaryNode> binary = BuildBinary(primitives);
  if (binary[0].Count > 0) {
    tree->FRootOffset = binary[0].Offset;
    tree->FRootCount = binary[0].Count;
  } else {
    tree->FNodes.reserve(binary.size() / 3 + 1);
    tree->FRootOffset = tree->Collapse(binary, 0);
    tree->FNodes.shrink_to_fit();
  }
  tree->FRecords.reserve(primitives.size());
  for (const TPrimitive& primitive : primitives)
    tree->FRecords.push_back({ATriangles[size_t(primitive.Index)], primitive.Index,
                              ATags.empty() ? uint16_t(0) : ATags[size_t(primitive.Index)]});
  return tree;
}

namespace {

// A node still to build: the primitives [Begin, End) for binary node Node.
struct TTask {
  int32_t Node, Begin, End, Depth;
};

struct TBin {
  TBox Box;
  int32_t Count = 0;
};

} // namespace

std::vector<TBVHRayTree::TBinaryNode> TBVHRayTree::BuildBinary(std::vector<TPrimitive>& APrimitives) {
  std::vector<TBinaryNode> nodes(1);
  nodes.reserve(APrimitives.size() / 2 + 1);
  std::vector<TTask> tasks{{0, 0, int32_t(APrimitives.size()), 0}};
  while (!tasks.empty()) {
    const TTask task = tasks.back();
    tasks.pop_back();
    TBox bounds, centres;
    for (int32_t i = task.Begin; i < task.End; ++i) {
      const TPrimitive& primitive = APrimitives[size_t(i)];
      bounds.Grow(primitive.Low(), primitive.High());
      const __m128 centre = primitive.Centre2();
      centres.Grow(centre, centre);
    }
    for (int axis = 0; axis < 3; ++axis) {
      nodes[size_t(task.Node)].Min[axis] = Lane(bounds.Min, axis);
      nodes[size_t(task.Node)].Max[axis] = Lane(bounds.Max, axis);
    }
    const int32_t count = task.End - task.Begin;
    if (count <= kLeafSize) {
      nodes[size_t(task.Node)].Offset = task.Begin;
      nodes[size_t(task.Node)].Count = count;
      continue;
    }

    // Slightly under kBins / extent, so the largest centre lands in the last bin, not beyond.
    alignas(16) float factor[4] = {};
    for (int axis = 0; axis < 3; ++axis) {
      const float extent = Lane(centres.Max, axis) - Lane(centres.Min, axis);
      factor[axis] = extent > 0 ? float(kBins) * (1 - 1e-5f) / extent : 0;
    }
    const __m128 binMin = centres.Min, binFactor = _mm_load_ps(factor);
    const auto bin = [&](const TPrimitive& A, int AAxis) {
      return std::min(int(Lane(_mm_mul_ps(_mm_sub_ps(A.Centre2(), binMin), binFactor), AAxis)), kBins - 1);
    };
    int bestAxis = -1, bestSplit = 0;
    float bestCost = kInfinity;
    if (task.Depth < kSahDepth) {
      TBin bins[3][kBins];
      for (int32_t i = task.Begin; i < task.End; ++i) {
        const TPrimitive& primitive = APrimitives[size_t(i)];
        const __m128 low = primitive.Low(), high = primitive.High();
        alignas(16) float slots[4];
        _mm_store_ps(slots, _mm_mul_ps(_mm_sub_ps(primitive.Centre2(), binMin), binFactor));
        for (int axis = 0; axis < 3; ++axis) {
          TBin& target = bins[axis][std::min(int(slots[axis]), kBins - 1)];
          target.Box.Grow(low, high);
          ++target.Count;
        }
      }
      for (int axis = 0; axis < 3; ++axis) {
        if (factor[axis] == 0)
          continue;
        // Cost of the left side for each split 1..kBins-1, then the right side from the top.
        float leftCost[kBins];
        TBox left;
        int32_t leftCount = 0;
        for (int split = 1; split < kBins; ++split) {
          left.Grow(bins[axis][split - 1].Box);
          leftCount += bins[axis][split - 1].Count;
          leftCost[split] = leftCount == 0 ? 0 : left.HalfArea() * float(leftCount);
        }
        TBox right;
        int32_t rightCount = 0;
        for (int split = kBins - 1; split >= 1; --split) {
          right.Grow(bins[axis][split].Box);
          rightCount += bins[axis][split].Count;
          const float cost = leftCost[split] + (rightCount == 0 ? 0 : right.HalfArea() * float(rightCount));
          if (rightCount > 0 && rightCount < count && cost < bestCost) {
            bestCost = cost;
            bestAxis = axis;
            bestSplit = split;
          }
        }
      }
    }

    const auto begin = APrimitives.begin() + task.Begin, end = APrimitives.begin() + task.End;
    int32_t middle;
    if (bestAxis >= 0) {
      middle = int32_t(
          std::partition(begin, end, [&](const TPrimitive& A) { return bin(A, bestAxis) < bestSplit; }) -
          APrimitives.begin());
    } else {
      // Too deep, or every centre in one point: halve the node along its widest spread of centres.
      int axis = 0;
      for (int k = 1; k < 3; ++k)
        if (Lane(centres.Max, k) - Lane(centres.Min, k) > Lane(centres.Max, axis) - Lane(centres.Min, axis))
          axis = k;
      middle = task.Begin + count / 2;
      std::nth_element(begin, APrimitives.begin() + middle, end,
                       [axis](const TPrimitive& A, const TPrimitive& B) {
                         return Lane(A.Centre2(), axis) < Lane(B.Centre2(), axis);
                       });
    }

    const int32_t first = int32_t(nodes.size());
    nodes[size_t(task.Node)].Offset = first;
    nodes[size_t(task.Node)].Count = 0;
    nodes.resize(nodes.size() + 2);
    tasks.push_back({first + 1, middle, task.End, task.Depth + 1});
    tasks.push_back({first, task.Begin, middle, task.Depth + 1});
  }
  return nodes;
}

// Gathers up to four descendants of inner binary node ANode, opening the largest inner one first,
// into one node. The recursion is as deep as the tree: under kSahDepth + 32 levels.
int32_t TBVHRayTree::Collapse(const std::vector<TBinaryNode>& ABinary, int32_t ANode) {
  int32_t children[4] = {ABinary[size_t(ANode)].Offset, ABinary[size_t(ANode)].Offset + 1};
  int used = 2;
  while (used < 4) {
    int widest = -1;
    float widestArea = -1;
    for (int k = 0; k < used; ++k) {
      const TBinaryNode& child = ABinary[size_t(children[k])];
      const float area = vantrel::HalfArea(_mm_setr_ps(child.Min[0], child.Min[1], child.Min[2], 0),
                                           _mm_setr_ps(child.Max[0], child.Max[1], child.Max[2], 0));
      if (child.Count == 0 && area > widestArea) {
        widest = k;
        widestArea = area;
      }
    }
    if (widest < 0)
      break;
    const int32_t opened = ABinary[size_t(children[widest])].Offset;
    children[widest] = opened;
    children[used++] = opened + 1;
  }
  const int32_t index = int32_t(FNodes.size());
  FNodes.push_back({});
  for (int k = 0; k < 4; ++k) {
    if (k >= used) {
      FNodes[size_t(index)].Count[k] = -1;
      continue;
    }
    const TBinaryNode& child = ABinary[size_t(children[k])];
    const int32_t offset = child.Count > 0 ? child.Offset : Collapse(ABinary, children[k]);
    TNode& node = FNodes[size_t(index)];
    for (int axis = 0; axis < 3; ++axis) {
      node.Bounds[axis][0][k] = child.Min[axis];
      node.Bounds[axis][1][k] = child.Max[axis];
    }
    node.Offset[k] = offset;
    node.Count[k] = child.Count;
  }
  return index;
}

void TBVHRayTree::Prefetch(int32_t AOffset, int32_t ACount) const {
  if (ACount == 0) {
    const char* node = reinterpret_cast<const char*>(&FNodes[size_t(AOffset)]);
    _mm_prefetch(node, _MM_HINT_T0);
    _mm_prefetch(node + 64, _MM_HINT_T0);
    return;
  }
  // At most four records: four cache lines.
  const char* first = reinterpret_cast<const char*>(&FRecords[size_t(AOffset)]);
  const size_t bytes = size_t(ACount) * sizeof(TRecord);
  for (size_t line = 0; line < bytes; line += 64)
    _mm_prefetch(first + line, _MM_HINT_T0);
  _mm_prefetch(first + bytes - 1, _MM_HINT_T0);
}

size_t TBVHRayTree::MemoryBytes() const {
  return sizeof(*this) + FNodes.capacity() * sizeof(TNode) + FRecords.capacity() * sizeof(TRecord);
}

// --- Cast ----------------------------------------------------------------------------------------

// Möller and Trumbore's test in double on the exact float inputs, against tolerances that cover
// how far TTriangle::Raycast's rounding can move what it tests:
// - its plane (normal rounded to float, distance rounded) and its parameter put the point it
//   tests within r = 4e-7 * S of the triangle's plane, S = |start| + |A| + longest edge;
// - along the ray that is r / cos(incidence) away from the true crossing, so its barycentric
//   weights may be off by r / (cos * smallest altitude) = r * longest edge / (cos * |N|), N the
//   unnormalised normal. Multiplied by the determinant |dir| * |N| * cos, the allowance on the
//   unnormalised weights is r * longest edge * |dir|, whatever the angle;
// - its parameter may be off by r / (|dir| * cos), which on the unnormalised parameter is r * |N|;
// - it needs dir . normal < 0 with the normal rounded to float: det > -6e-8 * |dir| * |N|.
// Norms are taken as sums of absolute values (never smaller), the longest edge as |e1| + |e2|, and
// the tolerance is ten times the bound. A nearly parallel ray passes and is left to the cast.
bool TBVHRayTree::MayHit(const TTriangle& ATriangle, const TRaycastData& ARay) {
  const double ax = ATriangle.A.X, ay = ATriangle.A.Y, az = ATriangle.A.Z;
  const double e1x = ATriangle.B.X - ax, e1y = ATriangle.B.Y - ay, e1z = ATriangle.B.Z - az;
  const double e2x = ATriangle.C.X - ax, e2y = ATriangle.C.Y - ay, e2z = ATriangle.C.Z - az;
  const double dx = ARay.Dir.X, dy = ARay.Dir.Y, dz = ARay.Dir.Z;
  const double px = dy * e2z - dz * e2y, py = dz * e2x - dx * e2z, pz = dx * e2y - dy * e2x;
  const double det = e1x * px + e1y * py + e1z * pz;
  const double edges =
      std::fabs(e1x) + std::fabs(e1y) + std::fabs(e1z) + std::fabs(e2x) + std::fabs(e2y) + std::fabs(e2z);
  const double direction = std::fabs(dx) + std::fabs(dy) + std::fabs(dz);
  const double parallel = kPreTestTolerance * edges * edges * direction;
  if (det < -parallel)
    return false;
  if (det <= parallel)
    return true;
  const double sx = ARay.Start.X - ax, sy = ARay.Start.Y - ay, sz = ARay.Start.Z - az;
  const double scale =
      kPreTestTolerance *
      (std::fabs(double(ARay.Start.X)) + std::fabs(double(ARay.Start.Y)) + std::fabs(double(ARay.Start.Z)) +
       std::fabs(ax) + std::fabs(ay) + std::fabs(az) + edges);
  const double weights = -scale * edges * direction;
  const double u = sx * px + sy * py + sz * pz;
  if (u < weights)
    return false;
  const double qx = sy * e1z - sz * e1y, qy = sz * e1x - sx * e1z, qz = sx * e1y - sy * e1x;
  const double v = dx * qx + dy * qy + dz * qz;
  if (v < weights || det - u - v < weights)
    return false;
  return e2x * qx + e2y * qy + e2z * qz >= -scale * edges * edges;
}

// Slab tests of the four children of ANode at once. Returns a mask of the children the ray enters
// no farther than ALimit; ANear gets their entries.
[[gnu::always_inline]] inline int TBVHRayTree::Enter(const TNode& ANode, const TRay& ARay, __m128 ALimit,
                                                     float* ANear) {
  __m128 near = _mm_set1_ps(-kInfinity), far = _mm_set1_ps(kInfinity);
  for (int axis = 0; axis < 3; ++axis) {
    const __m128 t0 =
        _mm_mul_ps(_mm_sub_ps(_mm_load_ps(ANode.Bounds[axis][0]), ARay.Origin[axis]), ARay.Inverse[axis]);
    const __m128 t1 =
        _mm_mul_ps(_mm_sub_ps(_mm_load_ps(ANode.Bounds[axis][1]), ARay.Origin[axis]), ARay.Inverse[axis]);
    near = _mm_max_ps(near, _mm_sub_ps(_mm_min_ps(t0, t1), ARay.Margin[axis]));
    far = _mm_min_ps(far, _mm_add_ps(_mm_max_ps(t0, t1), ARay.Margin[axis]));
  }
  const __m128 used = _mm_castsi128_ps(
      _mm_cmpgt_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(ANode.Count)), _mm_set1_epi32(-1)));
  const __m128 enters = _mm_and_ps(_mm_and_ps(_mm_cmple_ps(near, far), _mm_cmpge_ps(far, _mm_setzero_ps())),
                                   _mm_and_ps(_mm_cmple_ps(near, ALimit), used));
  _mm_storeu_ps(ANear, near);
  return _mm_movemask_ps(enters);
}

TBVHRayTree::ECast TBVHRayTree::Raycast(const std::vector<TTriangle>& ATriangles, const TRaycastData& ARay,
                                        TRaycastResult& ARes, int32_t& ATriangle, uint16_t* ATag) const {
  const float direction[3] = {ARay.Dir.X, ARay.Dir.Y, ARay.Dir.Z};
  const float start[3] = {ARay.Start.X, ARay.Start.Y, ARay.Start.Z};
  const float largest =
      std::max(std::max(std::fabs(direction[0]), std::fabs(direction[1])), std::fabs(direction[2]));
  if (ATriangles.size() != FRecords.size() || !Finite(ARay.Start) || !Finite(ARay.Dir) || !(largest > 0))
    return ECast::Declined;

  TRay ray;
  ray.DirectionScale = largest;
  ray.MarginLength = kBoxMargin * (AbsSum(ARay.Start) + 3 * FScale);
  for (int axis = 0; axis < 3; ++axis) {
    float scaled = direction[axis] / largest;
    if (std::fabs(scaled) < kSmallestDirection)
      scaled = std::copysign(kSmallestDirection, scaled);
    ray.Origin[axis] = _mm_set1_ps(start[axis]);
    ray.Inverse[axis] = _mm_set1_ps(1 / scaled);
    ray.Margin[axis] = _mm_set1_ps(ray.MarginLength * std::fabs(1 / scaled));
  }

  struct TEntry {
    int32_t Offset, Count;
    float Near;
  };
  TEntry stack[kStackSize];
  int depth = 0;
  float limit = kInfinity;
  __m128 limits = _mm_set1_ps(kInfinity);
  float best = kInfinity;
  bool tie = false;
  TRaycastResult candidate;
  // The root's own box is the octree root's, which the caller's ray has entered.
  int32_t offset = FRootOffset, count = FRootCount;
  for (;;) {
    if (count > 0) {
      for (int32_t k = offset; k < offset + count; ++k) {
        const TRecord& record = FRecords[size_t(k)];
        // The copy holds the very values of ATriangles[record.Index], so its cast is that one's.
        if (!MayHit(record.Triangle, ARay) || !record.Triangle.Raycast(ARay, &candidate))
          continue;
        const int32_t triangle = record.Index;
        const float distance = BVHHitDistance(candidate, ARay);
        if (distance < best) {
          best = distance;
          ARes = candidate;
          ATriangle = triangle;
          if (ATag)
            *ATag = record.Tag;
          tie = false;
          limit = candidate.T * ray.DirectionScale * kPruneFactor + ray.MarginLength;
          limits = _mm_set1_ps(limit);
        } else if (distance == best) {
          tie = true;
        }
      }
    } else {
      const TNode& node = FNodes[size_t(offset)];
      alignas(16) float near[4];
      const int enters = Enter(node, ray, limits, near);
      if (enters != 0) {
        // The children entered, nearest first; all but the nearest wait on the stack.
        int order[4], entered = 0;
        for (int k = 0; k < 4; ++k)
          if (enters & (1 << k)) {
            Prefetch(node.Offset[k], node.Count[k]);
            int at = entered++;
            for (; at > 0 && near[order[at - 1]] > near[k]; --at)
              order[at] = order[at - 1];
            order[at] = k;
          }
        if (depth + entered > kStackSize)
          return ECast::Declined;
        for (int k = entered - 1; k > 0; --k)
          stack[depth++] = {node.Offset[order[k]], node.Count[order[k]], near[order[k]]};
        offset = node.Offset[order[0]];
        count = node.Count[order[0]];
        continue;
      }
    }
    do {
      if (depth == 0)
        return best == kInfinity ? ECast::Miss : tie ? ECast::Tie : ECast::Hit;
      --depth;
    } while (stack[depth].Near > limit);
    offset = stack[depth].Offset;
    count = stack[depth].Count;
  }
}

} // namespace vantrel
