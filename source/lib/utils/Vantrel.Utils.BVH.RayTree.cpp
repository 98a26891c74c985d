#include "utils/Vantrel.Utils.BVH.RayTree.h"

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
constexpr int kStackSize = 128;
constexpr float kMaxCoordinate = 1e18f;
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

float HalfArea(const float* AMin, const float* AMax) {
  const float dx = AMax[0] - AMin[0], dy = AMax[1] - AMin[1], dz = AMax[2] - AMin[2];
  return dx * dy + dy * dz + dz * dx;
}

struct TBox {
  float Min[3] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
                  std::numeric_limits<float>::infinity()};
  float Max[3] = {-std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                  -std::numeric_limits<float>::infinity()};

  void Grow(const float* AMin, const float* AMax) {
    for (int axis = 0; axis < 3; ++axis) {
      Min[axis] = std::min(Min[axis], AMin[axis]);
      Max[axis] = std::max(Max[axis], AMax[axis]);
    }
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

// One triangle during the build: its box and, as the sum of both corners, twice its centre.
struct TBVHRayTree::TPrimitive {
  float Min[3];
  int32_t Index;
  float Max[3];
  float Unused;

  float Centre2(int AAxis) const { return Min[AAxis] + Max[AAxis]; }
};

// A ray prepared for the slab tests: direction scaled so its largest component is 1, parameters
// measured along that scaled direction, box planes moved out by the margin.
struct TBVHRayTree::TRay {
  float Inverse[3];
  // Offsets of the entry and exit planes: plane * Inverse - offset is the parameter.
  float NearOffset[3];
  float FarOffset[3];
  // Where the entry and exit planes sit in TNode::Bounds.
  int NearPlane[3];
  int FarPlane[3];
  // The scale from the caller's ray parameter to ours.
  float DirectionScale;
  float Margin;
};

// --- Build ---------------------------------------------------------------------------------------

std::unique_ptr<TBVHRayTree> TBVHRayTree::Build(const std::vector<TTriangle>& ATriangles) {
  if (ATriangles.empty() || ATriangles.size() > size_t(std::numeric_limits<int32_t>::max() / 2))
    return nullptr;
  std::vector<TPrimitive> primitives(ATriangles.size());
  float scale = 0;
  for (size_t i = 0; i < ATriangles.size(); ++i) {
    const TTriangle& triangle = ATriangles[i];
    TPrimitive& primitive = primitives[i];
    primitive.Index = int32_t(i);
    for (int corner = 0; corner < 3; ++corner) {
      const TPoint3D& point = triangle.Points(corner);
      // Written so that a NaN fails too.
      if (!Finite(point))
        return nullptr;
      scale = std::max(scale, AbsSum(point));
    }
    const TAABB box = triangle.ToAABB();
    primitive.Min[0] = box.Min.X, primitive.Min[1] = box.Min.Y, primitive.Min[2] = box.Min.Z;
    primitive.Max[0] = box.Max.X, primitive.Max[1] = box.Max.Y, primitive.Max[2] = box.Max.Z;
    primitive.Unused = 0;
  }
  std::unique_ptr<TBVHRayTree> tree(new TBVHRayTree);
  tree->FScale = scale;
  tree->BuildNodes(primitives);
  tree->FRecords.reserve(primitives.size());
  tree->FIndices.reserve(primitives.size());
  for (const TPrimitive& primitive : primitives) {
    tree->FRecords.push_back(ATriangles[size_t(primitive.Index)]);
    tree->FIndices.push_back(primitive.Index);
  }
  return tree;
}

namespace {

struct TTask {
  int32_t Node, Begin, End, Depth;
};

struct TBin {
  TBox Box;
  int32_t Count = 0;
};

// Bins centres (doubled) of [AMin, AMin + AExtent] into kBins equal slots.
struct TBinning {
  float Min[3];
  float Factor[3];

  int Bin(float ACentre2, int AAxis) const {
    return std::min(int((ACentre2 - Min[AAxis]) * Factor[AAxis]), kBins - 1);
  }
};

} // namespace

void TBVHRayTree::BuildNodes(std::vector<TPrimitive>& APrimitives) {
  FNodes.reserve(APrimitives.size() / 2 + 1);
  FNodes.push_back({});
  std::vector<TTask> tasks{{0, 0, int32_t(APrimitives.size()), 0}};
  while (!tasks.empty()) {
    const TTask task = tasks.back();
    tasks.pop_back();
    TBox bounds, centres;
    for (int32_t i = task.Begin; i < task.End; ++i) {
      const TPrimitive& primitive = APrimitives[size_t(i)];
      bounds.Grow(primitive.Min, primitive.Max);
      const float centre[3] = {primitive.Centre2(0), primitive.Centre2(1), primitive.Centre2(2)};
      centres.Grow(centre, centre);
    }
    TNode& node = FNodes[size_t(task.Node)];
    std::copy(bounds.Min, bounds.Min + 3, node.Bounds);
    std::copy(bounds.Max, bounds.Max + 3, node.Bounds + 3);
    const int32_t count = task.End - task.Begin;
    if (count <= kLeafSize) {
      node.Offset = task.Begin;
      node.Count = count;
      continue;
    }

    TBinning binning;
    for (int axis = 0; axis < 3; ++axis) {
      const float extent = centres.Max[axis] - centres.Min[axis];
      binning.Min[axis] = centres.Min[axis];
      // Slightly under kBins / extent, so the largest centre lands in the last bin, not beyond.
      binning.Factor[axis] = extent > 0 ? float(kBins) * (1 - 1e-5f) / extent : 0;
    }
    int bestAxis = -1, bestSplit = 0;
    float bestCost = std::numeric_limits<float>::infinity();
    if (task.Depth < kSahDepth) {
      TBin bins[3][kBins];
      for (int32_t i = task.Begin; i < task.End; ++i) {
        const TPrimitive& primitive = APrimitives[size_t(i)];
        for (int axis = 0; axis < 3; ++axis) {
          TBin& bin = bins[axis][binning.Bin(primitive.Centre2(axis), axis)];
          bin.Box.Grow(primitive.Min, primitive.Max);
          ++bin.Count;
        }
      }
      for (int axis = 0; axis < 3; ++axis) {
        if (binning.Factor[axis] == 0)
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
      middle = int32_t(std::partition(begin, end,
                                      [&](const TPrimitive& A) {
                                        return binning.Bin(A.Centre2(bestAxis), bestAxis) < bestSplit;
                                      }) -
                       APrimitives.begin());
    } else {
      // Too deep, or every centre in one point: halve the node along its widest spread of centres.
      int axis = 0;
      for (int k = 1; k < 3; ++k)
        if (centres.Max[k] - centres.Min[k] > centres.Max[axis] - centres.Min[axis])
          axis = k;
      middle = task.Begin + count / 2;
      std::nth_element(
          begin, APrimitives.begin() + middle, end,
          [axis](const TPrimitive& A, const TPrimitive& B) { return A.Centre2(axis) < B.Centre2(axis); });
    }

    const int32_t first = int32_t(FNodes.size());
    FNodes[size_t(task.Node)].Offset = first;
    FNodes[size_t(task.Node)].Count = 0;
    FNodes.push_back({});
    FNodes.push_back({});
    tasks.push_back({first + 1, middle, task.End, task.Depth + 1});
    tasks.push_back({first, task.Begin, middle, task.Depth + 1});
  }
  FNodes.shrink_to_fit();
}

size_t TBVHRayTree::MemoryBytes() const {
  return sizeof(*this) + FNodes.capacity() * sizeof(TNode) + FRecords.capacity() * sizeof(TTriangle) +
         FIndices.capacity() * sizeof(int32_t);
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

bool TBVHRayTree::Enter(const TNode& ANode, const TRay& ARay, float ALimit, float& ANear) const {
  const float* bounds = ANode.Bounds;
  const float nx = bounds[ARay.NearPlane[0]] * ARay.Inverse[0] - ARay.NearOffset[0];
  const float ny = bounds[ARay.NearPlane[1]] * ARay.Inverse[1] - ARay.NearOffset[1];
  const float nz = bounds[ARay.NearPlane[2]] * ARay.Inverse[2] - ARay.NearOffset[2];
  const float fx = bounds[ARay.FarPlane[0]] * ARay.Inverse[0] - ARay.FarOffset[0];
  const float fy = bounds[ARay.FarPlane[1]] * ARay.Inverse[1] - ARay.FarOffset[1];
  const float fz = bounds[ARay.FarPlane[2]] * ARay.Inverse[2] - ARay.FarOffset[2];
  const float near = std::max(std::max(nx, ny), nz), far = std::min(std::min(fx, fy), fz);
  ANear = near;
  return near <= far && far >= 0 && near <= ALimit;
}

TBVHRayTree::ECast TBVHRayTree::Raycast(const std::vector<TTriangle>& ATriangles, const TRaycastData& ARay,
                                        TRaycastResult& ARes, int32_t& ATriangle) const {
  const float direction[3] = {ARay.Dir.X, ARay.Dir.Y, ARay.Dir.Z};
  const float start[3] = {ARay.Start.X, ARay.Start.Y, ARay.Start.Z};
  const float largest =
      std::max(std::max(std::fabs(direction[0]), std::fabs(direction[1])), std::fabs(direction[2]));
  if (ATriangles.size() != FRecords.size() || !Finite(ARay.Start) || !Finite(ARay.Dir) || !(largest > 0))
    return ECast::Declined;

  TRay ray;
  ray.DirectionScale = largest;
  ray.Margin = kBoxMargin * (AbsSum(ARay.Start) + 3 * FScale);
  for (int axis = 0; axis < 3; ++axis) {
    float scaled = direction[axis] / largest;
    if (std::fabs(scaled) < kSmallestDirection)
      scaled = std::copysign(kSmallestDirection, scaled);
    ray.Inverse[axis] = 1 / scaled;
    const bool negative = scaled < 0;
    const float margin = negative ? -ray.Margin : ray.Margin;
    ray.NearPlane[axis] = negative ? axis + 3 : axis;
    ray.FarPlane[axis] = negative ? axis : axis + 3;
    ray.NearOffset[axis] = (start[axis] + margin) * ray.Inverse[axis];
    ray.FarOffset[axis] = (start[axis] - margin) * ray.Inverse[axis];
  }

  struct TEntry {
    int32_t Node;
    float Near;
  };
  TEntry stack[kStackSize];
  int depth = 0;
  float limit = std::numeric_limits<float>::infinity();
  float best = std::numeric_limits<float>::infinity();
  bool tie = false;
  TRaycastResult candidate;
  float near;
  if (!Enter(FNodes[0], ray, limit, near))
    return ECast::Miss;
  int32_t index = 0;
  for (;;) {
    const TNode& node = FNodes[size_t(index)];
    if (node.Count > 0) {
      for (int32_t k = node.Offset; k < node.Offset + node.Count; ++k) {
        if (!MayHit(FRecords[size_t(k)], ARay))
          continue;
        const int32_t triangle = FIndices[size_t(k)];
        if (!ATriangles[size_t(triangle)].Raycast(ARay, &candidate))
          continue;
        const float distance = BVHHitDistance(candidate, ARay);
        if (distance < best) {
          best = distance;
          ARes = candidate;
          ATriangle = triangle;
          tie = false;
          limit = candidate.T * ray.DirectionScale * kPruneFactor + ray.Margin;
        } else if (distance == best) {
          tie = true;
        }
      }
    } else {
      float nearLeft, nearRight;
      const bool left = Enter(FNodes[size_t(node.Offset)], ray, limit, nearLeft);
      const bool right = Enter(FNodes[size_t(node.Offset) + 1], ray, limit, nearRight);
      if (left && right) {
        if (depth == kStackSize)
          return ECast::Declined;
        const bool rightFirst = nearRight < nearLeft;
        stack[depth++] = {rightFirst ? node.Offset : node.Offset + 1, rightFirst ? nearLeft : nearRight};
        index = rightFirst ? node.Offset + 1 : node.Offset;
        continue;
      }
      if (left || right) {
        index = left ? node.Offset : node.Offset + 1;
        continue;
      }
    }
    do {
      if (depth == 0)
        return best == std::numeric_limits<float>::infinity() ? ECast::Miss : tie ? ECast::Tie : ECast::Hit;
      --depth;
    } while (stack[depth].Near > limit);
    index = stack[depth].Node;
  }
}

} // namespace vantrel
