#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "support/bvh_reference.h"
#include "utils/Vantrel.Utils.BVH.RayTree.h"
#include "utils/Vantrel.Utils.BVH.h"
#include "utils/Vantrel.Utils.Vectors.h"

namespace {

using namespace vantrel;
using vtest::DistanceToStart;
using vtest::OctreeCast;

// A mesh as the framework's buffers hold it.
struct TMesh {
  TOwned<TVertexBuffer> Vertices;
  TOwned<TIndexBuffer> Indices;
};

TMesh MakeMesh(const std::vector<TPoint3D>& AVertices, const std::vector<uint32_t>& AIndices,
               TIndexFormat AFormat = TIndexFormat::UInt16) {
  TMesh mesh{MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal},
                                      int32_t(AVertices.size())),
             MakeOwned<TIndexBuffer>(int32_t(AIndices.size()), AFormat)};
  for (size_t i = 0; i < AVertices.size(); ++i)
    mesh.Vertices->SetVertices(int32_t(i), AVertices[i]);
  for (size_t i = 0; i < AIndices.size(); ++i)
    mesh.Indices->SetIndices(int32_t(i), AIndices[i]);
  return mesh;
}

// A mesh whose stored triangles are exactly ATriangles: the geometry reads each index triple
// backwards, so each triangle is written C, B, A.
TMesh MeshOfStored(const std::vector<TTriangle>& ATriangles, TIndexFormat AFormat = TIndexFormat::UInt16) {
  std::vector<TPoint3D> vertices;
  std::vector<uint32_t> indices;
  for (const TTriangle& triangle : ATriangles)
    for (const TPoint3D& point : {triangle.C, triangle.B, triangle.A}) {
      indices.push_back(uint32_t(vertices.size()));
      vertices.push_back(point);
    }
  return MakeMesh(vertices, indices, AFormat);
}

TRaycastData Ray(const TPoint3D& AStart, const TPoint3D& ADir) {
  TRaycastData ray;
  ray.Set(AStart, ADir, 1000);
  return ray;
}

const TRaycastResult kGarbage{7, {7, 7, 7}, true, {7, 7, 7}};

void CollectLeaves(TBVHNode& ANode, int ADepth, std::vector<std::pair<TBVHNode*, int>>& ALeaves) {
  if (ANode.Children.empty()) {
    ALeaves.emplace_back(&ANode, ADepth);
    return;
  }
  for (TBVHNode& child : ANode.Children)
    CollectLeaves(child, ADepth + 1, ALeaves);
}

std::vector<std::pair<TBVHNode*, int>> Leaves(TBVHGeometry& AGeometry) {
  std::vector<std::pair<TBVHNode*, int>> leaves;
  CollectLeaves(*AGeometry.Accelerator, 0, leaves);
  return leaves;
}

bool SameBits(const TRaycastResult& A, const TRaycastResult& B) {
  return std::memcmp(&A.T, &B.T, sizeof(float)) == 0 &&
         std::memcmp(&A.Normal, &B.Normal, sizeof(TPoint3D)) == 0 &&
         std::memcmp(&A.Point, &B.Point, sizeof(TPoint3D)) == 0 && A.Hit == B.Hit;
}

TEST(BVH, ReversesIndexOrderAndHitsFrontFace) {
  const TMesh mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
  TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
  ASSERT_EQ(geometry.NumTriangles, 1);
  EXPECT_EQ(geometry.Triangles[0], (TTriangle{{0, 1, 0}, {1, 0, 0}, {0, 0, 0}}));
  EXPECT_EQ(geometry.Accelerator, nullptr);
  BuildBVH(&geometry);

  TRaycastResult result;
  ASSERT_TRUE(geometry.Raycast(Ray({0.25f, 0.25f, -1}, {0, 0, 1}), result));
  EXPECT_EQ(result, (TRaycastResult{1, {0, 0, -1}, true, {0.25f, 0.25f, 0}}));
  EXPECT_FALSE(geometry.Raycast(Ray({0.25f, 0.25f, 1}, {0, 0, -1}), result));

  TBVHGeometry moved(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::CreateTranslation({0, 0, 5}));
  BuildBVH(&moved);
  ASSERT_TRUE(moved.Raycast(Ray({0.25f, 0.25f, -1}, {0, 0, 1}), result));
  EXPECT_EQ(result.Point, TPoint3D({0.25f, 0.25f, 5}));
}

struct TCountCase {
  const char* Name;
  std::vector<uint32_t> Indices;
  bool NullIndexBuffer;
  // Positions of the kept triples in the index buffer.
  std::vector<int> Kept;
};

void PrintTo(const TCountCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class TriangleCounts : public testing::TestWithParam<std::tuple<TCountCase, TIndexFormat>> {};

TEST_P(TriangleCounts, KeepWholeValidTriples) {
  const auto& [c, format] = GetParam();
  const std::vector<TPoint3D> vertices{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const TMesh mesh = MakeMesh(vertices, c.Indices, format);
  TBVHGeometry geometry(mesh.Vertices.get(), c.NullIndexBuffer ? nullptr : mesh.Indices.get(),
                        TMatrix3D::Identity());
  ASSERT_EQ(geometry.NumTriangles, int32_t(c.Kept.size()));
  ASSERT_EQ(geometry.Triangles.size(), c.Kept.size());
  for (size_t k = 0; k < c.Kept.size(); ++k) {
    const auto index = [&](int AOffset) { return vertices[c.Indices[3 * c.Kept[k] + AOffset]]; };
    EXPECT_EQ(geometry.Triangles[k], (TTriangle{index(2), index(1), index(0)}));
  }
  BuildBVH(&geometry);
  EXPECT_EQ(geometry.Accelerator == nullptr, c.Kept.empty());
  if (c.Kept.empty()) {
    TRaycastResult result = kGarbage;
    EXPECT_FALSE(geometry.Raycast(Ray({0.2f, 0.2f, -1}, {0, 0, 1}), result));
    EXPECT_EQ(result, TRaycastResult{});
  }
}

INSTANTIATE_TEST_SUITE_P(
    BVH, TriangleCounts,
    testing::Combine(testing::Values(TCountCase{"TwoIndices", {0, 1}, false, {}},
                                     TCountCase{"NullIndexBuffer", {0, 1, 2}, true, {}},
                                     TCountCase{"SevenIndices", {0, 1, 2, 2, 1, 0, 1}, false, {0, 1}},
                                     TCountCase{
                                         "IndexBeyondVertices", {0, 1, 2, 0, 1, 99, 2, 1, 0}, false, {0, 2}}),
                     testing::Values(TIndexFormat::UInt16, TIndexFormat::UInt32)));

TEST(BVH, NullVertexBufferGivesEmptyGeometry) {
  const TMesh mesh = MakeMesh({{0, 0, 0}}, {0, 0, 0});
  TBVHGeometry geometry(nullptr, mesh.Indices.get(), TMatrix3D::Identity());
  EXPECT_EQ(geometry.NumTriangles, 0);
  TBVHGeometry defaulted;
  BuildBVH(&defaulted);
  BuildBVH(nullptr);
  EXPECT_EQ(defaulted.Accelerator, nullptr);
}

// Two small triangles in opposite corners of the unit cube, so the root spans [0, 1]^3.
TMesh CornerMesh() {
  return MeshOfStored({{{0, 0, 0}, {0.2f, 0, 0}, {0, 0.2f, 0}}, {{1, 1, 1}, {0.8f, 1, 1}, {1, 0.8f, 1}}});
}

TEST(BVH, SplitsIntoSignedOctantsThreeLevelsDeep) {
  const TMesh mesh = CornerMesh();
  TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
  BuildBVH(&geometry);
  TBVHNode& root = *geometry.Accelerator;
  EXPECT_EQ(root.Bounds.Min, TPoint3D({0, 0, 0}));
  EXPECT_EQ(root.Bounds.Max, TPoint3D({1, 1, 1}));
  ASSERT_EQ(root.Children.size(), 8u);
  EXPECT_EQ(root.Children[0].Bounds.Min, TPoint3D({0, 0.5f, 0}));
  EXPECT_EQ(root.Children[0].Bounds.Max, TPoint3D({0.5f, 1, 0.5f}));
  EXPECT_EQ(root.Children[7].Bounds.Min, TPoint3D({0.5f, 0, 0.5f}));
  EXPECT_EQ(root.Children[7].Bounds.Max, TPoint3D({1, 0.5f, 1}));

  const auto leaves = Leaves(geometry);
  EXPECT_LE(leaves.size(), 512u);
  int emptyLeaves = 0;
  for (const auto& [leaf, depth] : leaves) {
    EXPECT_EQ(leaf->NumTriangles, int32_t(leaf->Triangles.size()));
    if (leaf->NumTriangles > 0)
      EXPECT_EQ(depth, 3);
    else
      ++emptyLeaves;
  }
  // The octant (-, +, -) of the root holds neither triangle and was never split.
  EXPECT_TRUE(root.Children[0].Children.empty());
  EXPECT_EQ(root.Children[0].NumTriangles, 0);
  EXPECT_GT(emptyLeaves, 0);
  std::function<void(const TBVHNode&)> expectInnerEmpty = [&](const TBVHNode& ANode) {
    if (ANode.Children.empty())
      return;
    EXPECT_EQ(ANode.NumTriangles, 0);
    EXPECT_TRUE(ANode.Triangles.empty());
    for (const TBVHNode& child : ANode.Children)
      expectInnerEmpty(child);
  };
  expectInnerEmpty(root);

  const TBVHNode* first = geometry.Accelerator.get();
  BuildBVH(&geometry);
  EXPECT_EQ(geometry.Accelerator.get(), first);
}

// A closed box, wound so that every stored triangle faces outwards. Its corners make the
// children's centre-plus-half-size corners round one ulp inside the parent.
const TPoint3D kBoxMin{0.1f, -1.3f, 2.7f};
const TPoint3D kBoxMax{0.7f, 7.9f, 9.1f};

float Axis(const TPoint3D& APoint, int AAxis) {
  return AAxis == 0 ? APoint.X : AAxis == 1 ? APoint.Y : APoint.Z;
}

TPoint3D PointOf(int AAxis, float AValue, int AU, float AUValue, int AV, float AVValue) {
  float v[3];
  v[AAxis] = AValue;
  v[AU] = AUValue;
  v[AV] = AVValue;
  return {v[0], v[1], v[2]};
}

std::vector<TTriangle> BoxTriangles() {
  std::vector<TTriangle> triangles;
  for (int axis = 0; axis < 3; ++axis)
    for (const bool positive : {false, true}) {
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      const float k = Axis(positive ? kBoxMax : kBoxMin, axis);
      const float u0 = Axis(kBoxMin, u), u1 = Axis(kBoxMax, u), v0 = Axis(kBoxMin, v), v1 = Axis(kBoxMax, v);
      // Counter-clockwise about +axis; reversed for the negative face.
      TPoint3D q[4] = {PointOf(axis, k, u, u0, v, v0), PointOf(axis, k, u, u1, v, v0),
                       PointOf(axis, k, u, u1, v, v1), PointOf(axis, k, u, u0, v, v1)};
      if (!positive)
        std::swap(q[1], q[3]);
      triangles.push_back({q[0], q[1], q[2]});
      triangles.push_back({q[0], q[2], q[3]});
    }
  return triangles;
}

TEST(BVH, EveryFaceOfABoxMeshIsHit) {
  // The rounding this guards against: centre + half size falls inside the parent's maximum.
  const TAABB box{kBoxMin, kBoxMax};
  EXPECT_NE((box.GetPosition() + box.GetSize() * 0.5f).X, kBoxMax.X);

  const TMesh mesh = MeshOfStored(BoxTriangles());
  TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
  BuildBVH(&geometry);
  for (int axis = 0; axis < 3; ++axis)
    for (const bool positive : {false, true}) {
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      const float sign = positive ? 1.0f : -1.0f;
      const float k = Axis(positive ? kBoxMax : kBoxMin, axis);
      const float pu = Axis(kBoxMin, u) + 0.3f * (Axis(kBoxMax, u) - Axis(kBoxMin, u));
      const float pv = Axis(kBoxMin, v) + 0.6f * (Axis(kBoxMax, v) - Axis(kBoxMin, v));
      const TPoint3D outward = PointOf(axis, sign, u, 0, v, 0);
      const TPoint3D start = PointOf(axis, k + sign, u, pu, v, pv);
      TRaycastResult result;
      ASSERT_TRUE(geometry.Raycast(Ray(start, -outward), result))
          << "axis " << axis << " positive " << positive;
      EXPECT_EQ(result.Normal, outward);
      EXPECT_NEAR(Axis(result.Point, axis), k, 1e-6);
    }
}

TEST(BVH, SharedTriangleIsReportedOnceAsNearest) {
  // The big triangle lies in the root's centre plane z = 0.5; the small ones set the bounds.
  const TTriangle big{{0.1f, 0.1f, 0.5f}, {0.9f, 0.1f, 0.5f}, {0.1f, 0.9f, 0.5f}};
  const TMesh mesh = MeshOfStored(
      {big, {{0, 0, 0}, {0.01f, 0, 0}, {0, 0.01f, 0}}, {{1, 1, 1}, {0.99f, 1, 1}, {1, 0.99f, 1}}});
  TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
  BuildBVH(&geometry);
  int leavesWithBig = 0;
  for (const auto& [leaf, depth] : Leaves(geometry))
    leavesWithBig += std::count(leaf->Triangles.begin(), leaf->Triangles.end(), 0);
  EXPECT_GT(leavesWithBig, 8);

  const TRaycastData ray = Ray({0.3f, 0.3f, 2}, {0, 0, -1});
  TRaycastResult expected, result;
  ASSERT_TRUE(big.Raycast(ray, &expected));
  ASSERT_TRUE(geometry.Raycast(ray, result));
  EXPECT_EQ(result, expected);

  EXPECT_FALSE(geometry.Raycast(Ray({5, 5, 5}, {1, 0, 0}), result));
  EXPECT_EQ(result.T, -1);
}

TEST(BVH, EqualDistancesKeepTheFirstListed) {
  // Both planes meet the ray at (0.3125, 0.3, 0) with T exactly 1; the dyadic values keep it exact.
  const TTriangle floor{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const TTriangle wall{{0.3125f, 0, 0}, {0.3125f, 1, 0}, {0.3125f, 0.5f, 1}};
  const TRaycastData ray = Ray({1.3125f, 0.3f, 1}, {-1, 0, -1});
  const TPoint3D meeting{0.3125f, 0.3f, 0};
  for (const bool floorFirst : {true, false}) {
    const TMesh mesh =
        MeshOfStored(floorFirst ? std::vector<TTriangle>{floor, wall} : std::vector<TTriangle>{wall, floor});
    TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
    BuildBVH(&geometry);

    // The meeting point lies in one leaf, which holds both; the next leaf along the ray holds only
    // the floor and is visited later.
    std::vector<TBVHNode*> holding;
    for (const auto& [leaf, depth] : Leaves(geometry))
      if (leaf->Bounds.Contains(meeting))
        holding.push_back(leaf);
    ASSERT_EQ(holding.size(), 1u);
    EXPECT_EQ(holding[0]->NumTriangles, 2);

    TRaycastResult result;
    ASSERT_TRUE(geometry.Raycast(ray, result));
    EXPECT_EQ(result.T, 1);
    EXPECT_EQ(result.Point, meeting);
    EXPECT_EQ(result.Normal, floorFirst ? TPoint3D({0, 0, 1}) : TPoint3D({1, 0, 0}));
  }
}

class BoxQuery : public testing::Test {
protected:
  // One small triangle in the root's octant 0 (-, +, -), one in octant 7 (+, -, +).
  TMesh FMesh =
      MeshOfStored({{{0, 1, 0}, {0.2f, 1, 0}, {0, 0.8f, 0.2f}}, {{1, 0, 1}, {0.8f, 0, 1}, {1, 0.2f, 0.8f}}});
  TBVHGeometry FGeometry{FMesh.Vertices.get(), FMesh.Indices.get(), TMatrix3D::Identity()};
  const TAABB FWhole{{0, 0, 0}, {1, 1, 1}};
};

TEST_F(BoxQuery, LinearScanWithoutTree) {
  TBVHNode stale(&FGeometry);
  TBVHNode* node = &stale;
  EXPECT_TRUE(FGeometry.IntersectsWith(FWhole, node));
  EXPECT_EQ(node, nullptr);
  EXPECT_FALSE(FGeometry.IntersectsWith(TAABB{{0.4f, 0.4f, 0.4f}, {0.6f, 0.6f, 0.6f}}));
}

TEST_F(BoxQuery, VisitsChildrenFromSevenDown) {
  BuildBVH(&FGeometry);
  TBVHNode* node = nullptr;
  ASSERT_TRUE(FGeometry.IntersectsWith(FWhole, node));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Triangles, std::vector<int32_t>{1});

  // Overlaps leaf boxes around the centre but touches neither triangle.
  EXPECT_FALSE(FGeometry.IntersectsWith(TAABB{{0.4f, 0.4f, 0.4f}, {0.6f, 0.6f, 0.6f}}, node));
  EXPECT_EQ(node, nullptr);
  EXPECT_TRUE(FGeometry.IntersectsWith(TAABB{{0, 0.9f, 0}, {0.1f, 1, 0.1f}}));
}

TEST_F(BoxQuery, NodeDescentFollowsFirstOverlappingChild) {
  BuildBVH(&FGeometry);
  TBVHNode& root = *FGeometry.Accelerator;
  TBVHNode* node = nullptr;
  EXPECT_TRUE(root.IntersectsWith(FWhole, node));
  EXPECT_EQ(node, &root.Children[0].Children[0].Children[0]);
  EXPECT_TRUE(root.IntersectsWith(TAABB{{0.9f, 0, 0.9f}, {1, 0.1f, 1}}, node));
  EXPECT_EQ(node, &root.Children[7].Children[7].Children[7]);
  EXPECT_FALSE(root.IntersectsWith(TAABB{{2, 2, 2}, {3, 3, 3}}, node));
  EXPECT_EQ(node, nullptr);
  EXPECT_TRUE(root.IntersectsWith(FWhole));
}

TEST_F(BoxQuery, FreeAndBuildAgain) {
  std::unique_ptr<TBVHNode> none;
  FreeBVH(none);
  EXPECT_EQ(none, nullptr);
  BuildBVH(&FGeometry);
  FreeBVH(FGeometry.Accelerator);
  EXPECT_EQ(FGeometry.Accelerator, nullptr);
  BuildBVH(&FGeometry);
  ASSERT_NE(FGeometry.Accelerator, nullptr);
  EXPECT_TRUE(FGeometry.IntersectsWith(FWhole));
}

TEST(BVH, MeshDataListsTriangleCorners) {
  const TMesh mesh = MeshOfStored({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{2, 0, 0}, {3, 0, 0}, {2, 1, 0}}});
  const TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
  const auto data = geometry.ToMeshData();
  ASSERT_EQ(data->VertexBuffer().Length(), 6);
  ASSERT_EQ(data->IndexBuffer().Length(), 6);
  EXPECT_EQ(data->IndexBuffer().Format(), TIndexFormat::UInt16);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(data->VertexBuffer().GetVertices(i), geometry.Triangles[i / 3].Points(i % 3));
    EXPECT_EQ(data->IndexBuffer().GetIndices(i), uint32_t(i));
  }
}

TEST(BVH, MeshDataSwitchesToWideIndices) {
  const std::vector<TTriangle> triangles(21846, TTriangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  const TMesh mesh = MeshOfStored(triangles, TIndexFormat::UInt32);
  const TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
  const auto data = geometry.ToMeshData();
  EXPECT_EQ(data->IndexBuffer().Format(), TIndexFormat::UInt32);
  EXPECT_EQ(data->IndexBuffer().GetIndices(data->IndexBuffer().Length() - 1), 65537u);
}

TEST(BVH, NaNVertexNeitherCrashesNorHangs) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const bool nanFirst : {true, false}) {
    std::vector<TTriangle> triangles{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}};
    (nanFirst ? triangles[0].C : triangles[1].B) = {nan, 0.5f, 0.5f};
    const TMesh mesh = MeshOfStored(triangles);
    TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
    BuildBVH(&geometry);
    TRaycastResult result;
    geometry.Raycast(Ray({0.2f, 0.2f, 5}, {0, 0, -1}), result);
    geometry.IntersectsWith(TAABB{{0, 0, 0}, {1, 1, 1}});
  }
}

// --- Against brute force -------------------------------------------------------------------------

class TRandomMesh {
public:
  explicit TRandomMesh(uint32_t ASeed) : FRandom(ASeed) {}

  std::vector<TTriangle> Triangles() {
    const int count = std::uniform_int_distribution<int>(1, 2000)(FRandom);
    std::vector<TTriangle> result;
    while (int(result.size()) < count) {
      switch (Below(5)) {
      case 0: { // tiny
        const TPoint3D p = Point(1);
        result.push_back({p, p + Point(0.01f), p + Point(0.01f)});
        break;
      }
      case 1: // large, spanning the centre
        result.push_back({Point(1), Point(1), Point(1)});
        break;
      case 2: { // on a face of the root box
        const int axis = Below(3);
        const float side = Below(2) ? 1.0f : -1.0f;
        TTriangle t{Point(1), Point(1), Point(1)};
        for (int i = 0; i < 3; ++i)
          (axis == 0 ? t.Points(i).X : axis == 1 ? t.Points(i).Y : t.Points(i).Z) = side;
        result.push_back(t);
        break;
      }
      case 3: // a coincident duplicate
        result.push_back(result.empty() ? TTriangle{Point(1), Point(1), Point(1)}
                                        : result[Below(int(result.size()))]);
        break;
      default: { // zero area
        const TPoint3D a = Point(1), b = Point(1);
        result.push_back({a, b, Below(2) ? a : a + (b - a) * 0.5f});
        break;
      }
      }
    }
    // Anchor the root box at [-1, 1]^3.
    result.push_back({{-1, -1, -1}, {-1, -0.9f, -1}, {-0.9f, -1, -1}});
    result.push_back({{1, 1, 1}, {1, 0.9f, 1}, {0.9f, 1, 1}});
    return result;
  }

  TRaycastData NextRay() {
    const TPoint3D start = Below(2) ? Point(1) : Point(2.5f);
    TPoint3D dir;
    switch (Below(3)) {
    case 0:
      dir = Point(1);
      break;
    case 1: {
      float v[3] = {0, 0, 0};
      v[Below(3)] = Below(2) ? 1.0f : -1.0f;
      dir = {v[0], v[1], v[2]};
      break;
    }
    default:
      dir = Point(1);
      (Below(3) == 0 ? dir.X : Below(2) ? dir.Y : dir.Z) = 0;
    }
    // Aim most rays at the box so that they hit something.
    if (Below(2))
      dir = Point(0.8f) - start;
    return Ray(start, dir);
  }

  TAABB NextBox() {
    const TPoint3D corner = Point(1.2f);
    return {corner, corner + TPoint3D{Size(), Size(), Size()}};
  }

private:
  int Below(int ARange) { return std::uniform_int_distribution<int>(0, ARange - 1)(FRandom); }
  float Size() { return std::uniform_real_distribution<float>(0, 0.3f)(FRandom); }
  TPoint3D Point(float AReach) {
    std::uniform_real_distribution<float> value(-AReach, AReach);
    const float x = value(FRandom), y = value(FRandom), z = value(FRandom);
    return {x, y, z};
  }
  std::mt19937 FRandom;
};

TEST(BVH, MatchesBruteForce) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    TRandomMesh random(seed);
    const TMesh mesh = MeshOfStored(random.Triangles(), TIndexFormat::UInt32);
    TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
    BuildBVH(&geometry);
    for (int r = 0; r < 500; ++r) {
      const TRaycastData ray = random.NextRay();
      float nearest = std::numeric_limits<float>::infinity();
      std::vector<TRaycastResult> nearestHits;
      for (const TTriangle& triangle : geometry.Triangles) {
        TRaycastResult hit;
        if (!triangle.Raycast(ray, &hit))
          continue;
        const float distance = DistanceToStart(hit, ray);
        if (distance < nearest) {
          nearest = distance;
          nearestHits.clear();
        }
        if (distance == nearest)
          nearestHits.push_back(hit);
      }
      TRaycastResult result;
      const bool hit = geometry.Raycast(ray, result);
      ASSERT_EQ(hit, !nearestHits.empty()) << "seed " << seed << " ray " << r;
      if (!hit)
        continue;
      ASSERT_EQ(DistanceToStart(result, ray), nearest) << "seed " << seed << " ray " << r;
      EXPECT_TRUE(std::any_of(nearestHits.begin(), nearestHits.end(),
                              [&](const TRaycastResult& AHit) { return SameBits(AHit, result); }))
          << "seed " << seed << " ray " << r;
    }
    for (int b = 0; b < 100; ++b) {
      const TAABB box = random.NextBox();
      const bool touched =
          std::any_of(geometry.Triangles.begin(), geometry.Triangles.end(),
                      [&](const TTriangle& ATriangle) { return ATriangle.IntersectsWith(box); });
      ASSERT_EQ(geometry.IntersectsWith(box), touched) << "seed " << seed << " box " << b;
    }
  }
}

// --- The binary tree under the root --------------------------------------------------------------

// Every triangle in order: the nearest hits by distance, the first of them first.
std::vector<int32_t> NearestByBruteForce(const TBVHGeometry& AGeometry, const TRaycastData& ARay) {
  float nearest = std::numeric_limits<float>::infinity();
  std::vector<int32_t> result;
  for (int32_t i = 0; i < AGeometry.NumTriangles; ++i) {
    TRaycastResult hit;
    if (!AGeometry.Triangles[i].Raycast(ARay, &hit))
      continue;
    const float distance = DistanceToStart(hit, ARay);
    if (distance < nearest) {
      nearest = distance;
      result.clear();
    }
    if (distance == nearest)
      result.push_back(i);
  }
  return result;
}

// The benchmark's torus: AAround x AAcross quads with radial noise, wound outwards.
std::vector<TTriangle> Torus(int AAround, int AAcross) {
  const auto point = [&](int i, int j) {
    const double theta = 2 * M_PI * (i % AAround) / AAround, phi = 2 * M_PI * (j % AAcross) / AAcross;
    const double r = 0.35 + 0.05 * (0.6 * std::sin(5 * theta + 1) * std::cos(3 * phi) +
                                    0.4 * std::sin(11 * theta - 7 * phi));
    const double ring = 1 + r * std::cos(phi);
    return TPoint3D{float(ring * std::cos(theta)), float(ring * std::sin(theta)), float(r * std::sin(phi))};
  };
  std::vector<TTriangle> triangles;
  for (int i = 0; i < AAround; ++i)
    for (int j = 0; j < AAcross; ++j) {
      triangles.push_back({point(i, j), point(i + 1, j), point(i + 1, j + 1)});
      triangles.push_back({point(i, j), point(i + 1, j + 1), point(i, j + 1)});
    }
  return triangles;
}

// Shared edges (a fan and a strip), a coplanar duplicate of a fan triangle, a triangle duplicated
// exactly (the tie), slivers long and thin, and a triangle far from the others.
std::vector<TTriangle> HandMade() {
  std::vector<TTriangle> triangles;
  const TPoint3D hub{0, 0, 0};
  for (int k = 0; k < 12; ++k) {
    const double a0 = 2 * M_PI * k / 12, a1 = 2 * M_PI * (k + 1) / 12;
    triangles.push_back({hub,
                         {float(std::cos(a0)), float(std::sin(a0)), 0.1f * float(k % 3)},
                         {float(std::cos(a1)), float(std::sin(a1)), 0.1f * float((k + 1) % 3)}});
  }
  for (int k = 0; k < 10; ++k) {
    const float x0 = -1 + 0.2f * float(k), x1 = x0 + 0.2f;
    triangles.push_back({{x0, -1, 0.5f}, {x1, -1, 0.5f}, {x1, -0.8f, 0.6f}});
    triangles.push_back({{x0, -1, 0.5f}, {x1, -0.8f, 0.6f}, {x0, -0.8f, 0.6f}});
  }
  // Coplanar with the first fan triangle, overlapping half of it.
  triangles.push_back({hub, triangles[0].B * 0.5f, triangles[0].C});
  triangles.push_back(triangles[5]);
  triangles.push_back(triangles[17]);
  for (int k = 0; k < 8; ++k) {
    const float y = -0.6f + 0.15f * float(k);
    triangles.push_back(
        {{-1, y, -0.3f}, {1, y + 1e-4f * float(k + 1), -0.3f}, {0.3f, y + 2e-6f, -0.3f + 1e-5f}});
  }
  triangles.push_back({{30, 30, 30}, {31, 30, 30}, {30, 31, 30.5f}});
  return triangles;
}

std::vector<TRaycastData> TestRays(const std::vector<TTriangle>& ATriangles, const TAABB& ABox,
                                   uint32_t ASeed) {
  std::mt19937 random(ASeed);
  std::uniform_real_distribution<float> unit(0, 1);
  std::normal_distribution<float> gauss;
  const TPoint3D centre = ABox.GetPosition();
  const float reach = 2 * Point3DLength(ABox.GetSize());
  const auto outside = [&] {
    return centre + TPoint3D{gauss(random), gauss(random), gauss(random)}.Normalize() * reach;
  };
  const auto inBox = [&] {
    return TPoint3D{ABox.Min.X + unit(random) * (ABox.Max.X - ABox.Min.X),
                    ABox.Min.Y + unit(random) * (ABox.Max.Y - ABox.Min.Y),
                    ABox.Min.Z + unit(random) * (ABox.Max.Z - ABox.Min.Z)};
  };
  const auto triangle = [&]() -> const TTriangle& {
    return ATriangles[std::uniform_int_distribution<size_t>(0, ATriangles.size() - 1)(random)];
  };
  std::vector<TRaycastData> rays;
  while (rays.size() < 4096) {
    const TPoint3D start = outside();
    switch (rays.size() % 6) {
    case 0: // at random points of the box, some from inside it
      rays.push_back(Ray(unit(random) < 0.2f ? inBox() : start, inBox() - start));
      break;
    case 1: // at vertices
      rays.push_back(Ray(start, triangle().Points(int(rays.size() / 6 % 3)) - start));
      break;
    case 2: { // at points on edges
      const TTriangle& t = triangle();
      const int edge = int(rays.size() / 6 % 3);
      const TPoint3D a = t.Points(edge), b = t.Points((edge + 1) % 3);
      rays.push_back(Ray(start, a + (b - a) * unit(random) - start));
      break;
    }
    case 3: { // along an edge, from beyond one end
      const TTriangle& t = triangle();
      rays.push_back(Ray(t.A - (t.B - t.A), t.B - t.A));
      break;
    }
    case 4: // through the centre of the root box
      rays.push_back(Ray(start, centre - start));
      break;
    default: // axis-aligned at random points
    {
      const int axis = int(rays.size() / 6 % 3);
      TPoint3D from = inBox(), dir{};
      (axis == 0 ? from.X : axis == 1 ? from.Y : from.Z) = axis == 1 ? ABox.Max.Y + 1 : ABox.Min.X - 1;
      (axis == 0 ? dir.X : axis == 1 ? dir.Y : dir.Z) = axis == 1 ? -1.0f : 1.0f;
      rays.push_back(Ray(from, dir));
    }
    }
  }
  return rays;
}

struct TIdenticalCase {
  const char* Name;
  std::vector<TTriangle> Triangles;
};

TEST(BVH, RootCastIsIdenticalToOctreeCastAndBruteForce) {
  const TIdenticalCase cases[] = {{"torus 10k", Torus(100, 50)}, {"hand-made", HandMade()}};
  for (const TIdenticalCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TMesh mesh = MeshOfStored(c.Triangles, TIndexFormat::UInt32);
    TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
    BuildBVH(&geometry);
    const auto tree = TBVHRayTree::Build(geometry.Triangles);
    ASSERT_NE(tree, nullptr);
    int outcomes[4] = {};
    for (const TRaycastData& ray : TestRays(geometry.Triangles, geometry.Accelerator->Bounds, 5)) {
      TRaycastResult result = kGarbage, expected = kGarbage, fast;
      const bool hit = geometry.Raycast(ray, result);
      ASSERT_EQ(hit, OctreeCast(*geometry.Accelerator, ray, expected));
      ASSERT_TRUE(SameBits(result, expected));

      const std::vector<int32_t> nearest = NearestByBruteForce(geometry, ray);
      ASSERT_EQ(hit, !nearest.empty());
      if (hit) {
        EXPECT_TRUE(std::any_of(nearest.begin(), nearest.end(), [&](int32_t AIndex) {
          TRaycastResult own;
          geometry.Triangles[AIndex].Raycast(ray, &own);
          return SameBits(own, result);
        }));
      }
      // The binary tree names the same triangle, or reports the tie.
      int32_t triangle = -1;
      const TBVHRayTree::ECast cast = tree->Raycast(geometry.Triangles, ray, fast, triangle);
      ++outcomes[int(cast)];
      switch (cast) {
      case TBVHRayTree::ECast::Miss:
        EXPECT_TRUE(nearest.empty());
        break;
      case TBVHRayTree::ECast::Hit:
        ASSERT_EQ(nearest, std::vector<int32_t>{triangle});
        EXPECT_TRUE(SameBits(fast, result));
        break;
      case TBVHRayTree::ECast::Tie:
        EXPECT_GT(nearest.size(), 1u);
        break;
      case TBVHRayTree::ECast::Declined:
        ADD_FAILURE() << "declined an ordinary ray";
      }
    }
    EXPECT_GT(outcomes[int(TBVHRayTree::ECast::Hit)], 400);
    EXPECT_GT(outcomes[int(TBVHRayTree::ECast::Miss)], 100);
    if (std::string(c.Name) == "hand-made") {
      EXPECT_GT(outcomes[int(TBVHRayTree::ECast::Tie)], 0);
    }
  }
}

TEST(BVH, RootCastHandlesRaysTheBinaryTreeDeclines) {
  const TMesh mesh = MeshOfStored(HandMade());
  TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
  BuildBVH(&geometry);
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct {
    const char* Name;
    TRaycastData Ray;
    bool Declined;
  } cases[] = {
      {"zero direction", Ray({0.2f, 0.1f, 2}, {0, 0, 0}), true},
      {"NaN start", Ray({nan, 0, 2}, {0, 0, -1}), true},
      {"infinite direction", Ray({0.2f, 0.1f, 2}, {0, 0, -inf}), true},
      {"start beyond 1e18", Ray({0.2f, 0.1f, 3e18f}, {0, 0, -1}), true},
      {"tiny direction", Ray({0.2f, 0.1f, 2}, {0, 0, -1e-30f}), false},
      {"huge direction", Ray({0.2f, 0.1f, 2}, {1e-20f, 0, -1e17f}), false},
      {"direction beyond 1e18", Ray({0.2f, 0.1f, 2}, {0, 0, -1e30f}), true},
      {"start on a triangle", Ray({0.3f, 0.01f, 0}, {0, 0, -1}), false},
  };
  const auto tree = TBVHRayTree::Build(geometry.Triangles);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TRaycastResult result = kGarbage, expected = kGarbage, fast;
    int32_t triangle;
    EXPECT_EQ(tree->Raycast(geometry.Triangles, c.Ray, fast, triangle) == TBVHRayTree::ECast::Declined,
              c.Declined);
    EXPECT_EQ(geometry.Raycast(c.Ray, result), OctreeCast(*geometry.Accelerator, c.Ray, expected));
    EXPECT_TRUE(SameBits(result, expected));
  }
  // A geometry with a coordinate beyond 1e18 gets no binary tree and casts on its octants.
  std::vector<TTriangle> far = HandMade();
  far.push_back({{0, 0, 2e18f}, {1, 0, 2e18f}, {0, 1, 2e18f}});
  EXPECT_EQ(TBVHRayTree::Build(far), nullptr);
  EXPECT_EQ(TBVHRayTree::Build({}), nullptr);
}

// The pre-test never rejects a triangle the triangle cast hits, at the worst places: rays at
// vertices and edges of slivers, tiny triangles far from the origin, grazing rays.
TEST(BVH, PreTestKeepsEveryTriangleTheCastHits) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> unit(-1, 1);
  const auto point = [&](float AReach) {
    return TPoint3D{unit(random), unit(random), unit(random)} * AReach;
  };
  int hits = 0, rejected = 0;
  for (int k = 0; k < 200000; ++k) {
    const float offsets[] = {0, 1, 1e3f, 1e5f};
    const float sizes[] = {1, 1e-2f, 1e-4f};
    const TPoint3D origin = point(offsets[k % 4]);
    const float size = sizes[k / 4 % 3];
    TTriangle triangle{origin + point(size), origin + point(size), origin + point(size)};
    if (k % 5 == 0) // a sliver: C almost on the line AB
      triangle.C = triangle.A + (triangle.B - triangle.A) * 0.37f + point(size * 1e-4f);
    const TPoint3D aim = k % 3 == 0   ? triangle.Points(k % 7 % 3)
                         : k % 3 == 1 ? triangle.A + (triangle.B - triangle.A) * (unit(random) * 0.5f + 0.5f)
                                      : triangle.Center();
    const TPoint3D normal = Point3DCross(triangle.B - triangle.A, triangle.C - triangle.A).Normalize();
    // Mostly from the front; every fourth ray grazes the plane.
    TPoint3D start = aim + (normal * (k % 4 == 0 ? 1e-3f : 1) + point(1)) * (size * 10) + point(size * 1e-6f);
    if (k % 11 == 0)
      start = aim + (normal * 2 + point(1)) * 50;
    const TRaycastData ray = Ray(start, aim - start + point(size * 1e-6f));
    const bool may = TBVHRayTree::MayHit(triangle, ray);
    if (triangle.Raycast(ray, nullptr)) {
      ++hits;
      ASSERT_TRUE(may) << "case " << k;
    }
    rejected += !may;
  }
  EXPECT_GT(hits, 50000);
  // It does reject: the back faces and the misses.
  EXPECT_GT(rejected, 10000);
}

// The plain rule: each child lists, in its parent's order, the triangles the separating-axis test
// finds in its box.
void ExpectPlainRuleLists(const TBVHNode& ANode, const std::vector<int32_t>& AListed, int ADepth) {
  if (ANode.Children.empty()) {
    EXPECT_EQ(ANode.Triangles, AListed);
    EXPECT_TRUE(AListed.empty() || ADepth == 3);
    return;
  }
  ASSERT_EQ(ANode.Children.size(), 8u);
  for (const TBVHNode& child : ANode.Children) {
    std::vector<int32_t> listed;
    for (const int32_t index : AListed)
      if (ANode.Geometry->Triangles[index].IntersectsWith(child.Bounds))
        listed.push_back(index);
    ExpectPlainRuleLists(child, listed, ADepth + 1);
  }
}

TEST(BVH, FastBuildListsWhatThePlainRuleLists) {
  std::vector<std::vector<TTriangle>> meshes{Torus(100, 50), HandMade(), BoxTriangles()};
  for (uint32_t seed = 1; seed <= 4; ++seed)
    meshes.push_back(TRandomMesh(seed).Triangles());
  for (size_t m = 0; m < meshes.size(); ++m) {
    SCOPED_TRACE(m);
    const TMesh mesh = MeshOfStored(meshes[m], TIndexFormat::UInt32);
    TBVHGeometry geometry(mesh.Vertices.get(), mesh.Indices.get(), TMatrix3D::Identity());
    BuildBVH(&geometry);
    std::vector<int32_t> all(size_t(geometry.NumTriangles));
    for (int32_t i = 0; i < geometry.NumTriangles; ++i)
      all[size_t(i)] = i;
    ExpectPlainRuleLists(*geometry.Accelerator, all, 0);
  }
}

TEST(BVH, RebuiltGeometryCastsOnItsNewTriangles) {
  const TMesh first = MeshOfStored({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}});
  TBVHGeometry geometry(first.Vertices.get(), first.Indices.get(), TMatrix3D::Identity());
  BuildBVH(&geometry);
  const TRaycastData down = Ray({0.2f, 0.1f, 5}, {0, 0, -1});
  TRaycastResult result;
  ASSERT_TRUE(geometry.Raycast(down, result));
  EXPECT_EQ(result.Point.Z, 0);

  FreeBVH(geometry.Accelerator);
  const TMesh second = MeshOfStored(Torus(20, 10));
  geometry.Triangles = TBVHGeometry(second.Vertices.get(), second.Indices.get(),
                                    TMatrix3D::CreateTranslation({-0.8f, 0.1f, 0}))
                           .Triangles;
  geometry.NumTriangles = int32_t(geometry.Triangles.size());
  BuildBVH(&geometry);
  TRaycastResult expected;
  ASSERT_TRUE(OctreeCast(*geometry.Accelerator, down, expected));
  ASSERT_TRUE(geometry.Raycast(down, result));
  EXPECT_TRUE(SameBits(result, expected));
  EXPECT_GT(result.Point.Z, 0.2f);
}

} // namespace
