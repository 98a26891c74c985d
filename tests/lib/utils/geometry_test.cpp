#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "rtl/exceptions.h"
#include "utils/Vantrel.Utils.Geometry.h"

namespace {

using namespace vantrel;

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const TPoint3D& AActual, const TPoint3D& AExpected, double ATolerance = 1e-6) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
}

TRaycastData Ray(const TPoint3D& AStart, const TPoint3D& ADir) {
  TRaycastData ray;
  ray.Set(AStart, ADir, 1000);
  return ray;
}

const TAABB kUnitBox{{-1, -1, -1}, {1, 1, 1}};
const TTriangle kFlat{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

// A test case that checks itself, for the lean tables of the less used members.
struct TCheck {
  const char* Name;
  std::function<void()> Run;
};

void PrintTo(const TCheck& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

// --- Slab cast -----------------------------------------------------------------------------------

struct TSlabCase {
  const char* Name;
  TPoint3D Start;
  TPoint3D Dir;
  float Expected;
};

void PrintTo(const TSlabCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class SlabCast : public testing::TestWithParam<TSlabCase> {};

TEST_P(SlabCast, GivesParameter) {
  EXPECT_EQ(kUnitBox.Raycast(Ray(GetParam().Start, GetParam().Dir)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Geometry, SlabCast,
                         testing::Values(TSlabCase{"Entry", {0, 0, -5}, {0, 0, 1}, 4},
                                         TSlabCase{"InsideGivesExit", {0, 0, 0}, {0, 0, 1}, 1},
                                         TSlabCase{"Behind", {0, 0, 5}, {0, 0, 1}, -1},
                                         TSlabCase{"Beside", {2, 0, -5}, {0, 0, 1}, -1},
                                         TSlabCase{"Reverse", {0, 0, 5}, {0, 0, -1}, 4},
                                         TSlabCase{"UnnormalisedDir", {0, 0, -5}, {0, 0, 2}, 2},
                                         TSlabCase{"GrazesMinFace", {-1, 0, -5}, {0, 0, 1}, 4},
                                         TSlabCase{"GrazesMaxFace", {1, 0, -5}, {0, 0, 1}, -1}));

TEST(Geometry, BoxCastResultCopiesRayNormal) {
  TRaycastData ray = Ray({0, 0, -5}, {0, 0, 1});
  ray.Normal = {7, 8, 9};
  TRaycastResult result;
  EXPECT_TRUE(kUnitBox.Raycast(ray, result));
  EXPECT_EQ(result, (TRaycastResult{4, {7, 8, 9}, true, {0, 0, -1}}));

  result = {5, {1, 2, 3}, true, {4, 5, 6}};
  EXPECT_FALSE(kUnitBox.Raycast(Ray({0, 0, 5}, {0, 0, 1}), result));
  EXPECT_EQ(result, (TRaycastResult{-1, {}, false, {}}));
}

TEST(Geometry, RayRecordAndBoxFromBoundingBox) {
  EXPECT_EQ(TAABB::FromBoundingBox({1, 2, 3, 4, 5, 6}).Min, TPoint3D({1, 2, 3}));
  EXPECT_EQ(TAABB::FromBoundingBox({1, 2, 3, 4, 5, 6}).Max, TPoint3D({4, 5, 6}));

  TRaycastData ray;
  ray.Toi = 2;
  ray.Normal = {0, 1, 0};
  ray.Set({1, 1, 1}, {0, 0, 3}, 50);
  EXPECT_EQ(ray.T, 50);
  EXPECT_EQ(ray.Toi, 2);
  EXPECT_EQ(ray.Normal, TPoint3D({0, 1, 0}));
  EXPECT_EQ(ray.GetImpactPoint(), TPoint3D({1, 1, 7}));
}

// --- Ray-triangle cast ---------------------------------------------------------------------------

struct TTriangleCastCase {
  const char* Name;
  TPoint3D Start;
  TPoint3D Dir;
  bool Hit;
  float T = -1;
  TPoint3D Point{};
};

void PrintTo(const TTriangleCastCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class TriangleCast : public testing::TestWithParam<TTriangleCastCase> {};

TEST_P(TriangleCast, HitsFrontFaceOnly) {
  const TTriangleCastCase& c = GetParam();
  TRaycastResult result{9, {9, 9, 9}, true, {9, 9, 9}};
  EXPECT_EQ(kFlat.Raycast(Ray(c.Start, c.Dir), &result), c.Hit);
  const TRaycastResult expected = c.Hit ? TRaycastResult{c.T, {0, 0, 1}, true, c.Point} : TRaycastResult{};
  EXPECT_EQ(result, expected);
  EXPECT_EQ(kFlat.Raycast(Ray(c.Start, c.Dir)), c.Hit ? c.T : -1);
  EXPECT_EQ(kFlat.Raycast(Ray(c.Start, c.Dir), nullptr), c.Hit);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, TriangleCast,
    testing::Values(TTriangleCastCase{"Inside", {0.25f, 0.25f, 1}, {0, 0, -1}, true, 1, {0.25f, 0.25f, 0}},
                    TTriangleCastCase{"BackFace", {0.25f, 0.25f, -1}, {0, 0, 1}, false},
                    TTriangleCastCase{"Vertex", {0, 0, 1}, {0, 0, -1}, true, 1, {0, 0, 0}},
                    TTriangleCastCase{"Edge", {0.5f, 0.5f, 1}, {0, 0, -1}, true, 1, {0.5f, 0.5f, 0}},
                    TTriangleCastCase{"JustOutside", {0.5f, 0.5001f, 1}, {0, 0, -1}, false},
                    TTriangleCastCase{"Parallel", {0.25f, 0.25f, 1}, {1, 0, 0}, false},
                    TTriangleCastCase{"PlaneBehind", {0.25f, 0.25f, -1}, {0, 0, -1}, false},
                    TTriangleCastCase{
                        "UnnormalisedDir", {0.25f, 0.25f, 2}, {0, 0, -2}, true, 1, {0.25f, 0.25f, 0}}));

TEST(Geometry, DegenerateTriangleMissesWithoutNaN) {
  const TTriangle line{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
  TRaycastResult result{3, {3, 3, 3}, true, {3, 3, 3}};
  EXPECT_FALSE(line.Raycast(Ray({1, 1, 5}, {0, 0, -1}), &result));
  EXPECT_EQ(result, TRaycastResult{});
  EXPECT_EQ(line.Raycast(Ray({1, 1, 5}, {0, 0, -1})), -1);
  const TPoint3D closest = line.ClosestPoint2({0, 5, 0});
  EXPECT_FALSE(std::isnan(closest.X) || std::isnan(closest.Y) || std::isnan(closest.Z));
}

// --- TransformBoundingBox ------------------------------------------------------------------------

struct TTransformCase {
  const char* Name;
  TMatrix3D Matrix;
  TBoundingBox Expected;
};

void PrintTo(const TTransformCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class TransformBox : public testing::TestWithParam<TTransformCase> {};

TEST_P(TransformBox, SpansTransformedCorners) {
  const TBoundingBox actual = TransformBoundingBox({-1, -1, -1, 1, 1, 1}, GetParam().Matrix);
  const TBoundingBox& expected = GetParam().Expected;
  ExpectNear(actual.MinPoint(), expected.MinPoint());
  ExpectNear(actual.MaxPoint(), expected.MaxPoint());
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, TransformBox,
    testing::Values(
        TTransformCase{"Identity", TMatrix3D::Identity(), {-1, -1, -1, 1, 1, 1}},
        TTransformCase{"Translation", TMatrix3D::CreateTranslation({1, 2, 3}), {0, 1, 2, 2, 3, 4}},
        TTransformCase{"Scaling", TMatrix3D::CreateScaling({2, 3, 4}), {-2, -3, -4, 2, 3, 4}},
        TTransformCase{"TurnZ45",
                       TMatrix3D::CreateRotationZ(kPi / 4),
                       {-1.4142135f, -1.4142135f, -1, 1.4142135f, 1.4142135f, 1}},
        TTransformCase{"NegativeScale", TMatrix3D::CreateScaling({-2, 1, -1}), {-2, -1, -1, 2, 1, 1}}));

// --- Box overlap ---------------------------------------------------------------------------------

struct TOverlapCase {
  const char* Name;
  TAABB Other;
  bool Expected;
};

void PrintTo(const TOverlapCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class BoxOverlap : public testing::TestWithParam<TOverlapCase> {};

TEST_P(BoxOverlap, IsSymmetric) {
  EXPECT_EQ(AABBOverlap(kUnitBox, GetParam().Other), GetParam().Expected);
  EXPECT_EQ(AABBOverlap(GetParam().Other, kUnitBox), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, BoxOverlap,
    testing::Values(TOverlapCase{"SharedFace", {{1, -1, -1}, {3, 1, 1}}, true},
                    TOverlapCase{"ApartOnX", {{1.5f, -1, -1}, {3, 1, 1}}, false},
                    TOverlapCase{"ApartOnY", {{-1, -3, -1}, {1, -1.5f, 1}}, false},
                    TOverlapCase{"ApartOnZ", {{-1, -1, 2}, {1, 1, 3}}, false},
                    TOverlapCase{"Contained", {{-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}}, true}));

// --- Triangle against box ------------------------------------------------------------------------

struct TTriangleBoxCase {
  const char* Name;
  TTriangle Triangle;
  bool Expected;
};

void PrintTo(const TTriangleBoxCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class TriangleBox : public testing::TestWithParam<TTriangleBoxCase> {};

TEST_P(TriangleBox, SeparatingAxes) {
  EXPECT_EQ(GetParam().Triangle.IntersectsWith(TAABB{{0, 0, 0}, {1, 1, 1}}), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, TriangleBox,
    testing::Values(
        TTriangleBoxCase{"Inside", {{0.2f, 0.2f, 0.2f}, {0.8f, 0.2f, 0.2f}, {0.2f, 0.8f, 0.2f}}, true},
        TTriangleBoxCase{"SlicesThrough", {{-1, -1, 0.5f}, {3, -1, 0.5f}, {-1, 3, 0.5f}}, true},
        TTriangleBoxCase{"EdgeCrossAxis", {{2, 0.8f, 0.5f}, {0.8f, 2, 0.5f}, {2, 2, 0.5f}}, false},
        TTriangleBoxCase{"NormalAxis", {{3.5f, 0, 0}, {0, 3.5f, 0}, {0, 0, 3.5f}}, false},
        TTriangleBoxCase{"PlaneCutsCorner", {{2.9f, 0, 0}, {0, 2.9f, 0}, {0, 0, 2.9f}}, true},
        TTriangleBoxCase{"TouchesCorner", {{1, 1, 1}, {2, 1, 1}, {1, 2, 1}}, true}));

TEST(Geometry, ZeroThicknessBoxMeetsTriangleInItsPlane) {
  const TTriangle triangle{{0.2f, 0.2f, 0.5f}, {0.8f, 0.2f, 0.5f}, {0.2f, 0.8f, 0.5f}};
  EXPECT_TRUE(triangle.IntersectsWith(TAABB{{0, 0, 0.5f}, {1, 1, 0.5f}}));
}

// The reference: clip the triangle against the six box planes; it meets the box when anything is
// left.
bool ClippedTriangleRemains(const TTriangle& ATriangle, const TAABB& ABox, double AGrow) {
  struct P {
    double v[3];
  };
  std::vector<P> polygon{{{ATriangle.A.X, ATriangle.A.Y, ATriangle.A.Z}},
                         {{ATriangle.B.X, ATriangle.B.Y, ATriangle.B.Z}},
                         {{ATriangle.C.X, ATriangle.C.Y, ATriangle.C.Z}}};
  const double low[3] = {ABox.Min.X - AGrow, ABox.Min.Y - AGrow, ABox.Min.Z - AGrow};
  const double high[3] = {ABox.Max.X + AGrow, ABox.Max.Y + AGrow, ABox.Max.Z + AGrow};
  for (int axis = 0; axis < 3; ++axis) {
    if (low[axis] > high[axis])
      return false;
    for (int side = 0; side < 2; ++side) {
      // Keep points with sign * (v - bound) <= 0.
      const double sign = side == 0 ? -1 : 1, bound = side == 0 ? low[axis] : high[axis];
      std::vector<P> kept;
      for (size_t i = 0; i < polygon.size(); ++i) {
        const P& a = polygon[i];
        const P& b = polygon[(i + 1) % polygon.size()];
        const double da = sign * (a.v[axis] - bound), db = sign * (b.v[axis] - bound);
        if (da <= 0)
          kept.push_back(a);
        if ((da < 0 && db > 0) || (da > 0 && db < 0)) {
          const double t = da / (da - db);
          P cut;
          for (int k = 0; k < 3; ++k)
            cut.v[k] = a.v[k] + (b.v[k] - a.v[k]) * t;
          kept.push_back(cut);
        }
      }
      polygon = std::move(kept);
      if (polygon.empty())
        return false;
    }
  }
  return true;
}

TEST(Geometry, TriangleBoxMatchesClippingReference) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> coordinate(-2, 2), size(0.05f, 1.5f);
  int compared = 0;
  for (int i = 0; i < 600; ++i) {
    const TPoint3D corner{coordinate(random), coordinate(random), coordinate(random)};
    const TAABB box{corner, corner + TPoint3D{size(random), size(random), size(random)}};
    const TTriangle triangle{{coordinate(random), coordinate(random), coordinate(random)},
                             {coordinate(random), coordinate(random), coordinate(random)},
                             {coordinate(random), coordinate(random), coordinate(random)}};
    const bool grown = ClippedTriangleRemains(triangle, box, 1e-4),
               shrunk = ClippedTriangleRemains(triangle, box, -1e-4);
    if (grown != shrunk)
      continue;
    ++compared;
    EXPECT_EQ(triangle.IntersectsWith(box), grown) << "case " << i;
  }
  EXPECT_GT(compared, 500);
}

// --- The other records ---------------------------------------------------------------------------

class Records : public testing::TestWithParam<TCheck> {};

TEST_P(Records, Behave) {
  GetParam().Run();
}

TMat3 QuarterTurnZ() {
  TMat3 result;
  result.Set({0, 0, 1}, kPi / 2);
  return result;
}

INSTANTIATE_TEST_SUITE_P(
    AABB, Records,
    testing::Values(
        TCheck{"CornerOrder",
               [] {
                 const TCornerArray corners = TAABB{{0, 0, 0}, {1, 2, 3}}.GetCorners();
                 EXPECT_EQ(corners[1], TPoint3D({1, 0, 0}));
                 EXPECT_EQ(corners[2], TPoint3D({0, 2, 0}));
                 EXPECT_EQ(corners[4], TPoint3D({0, 0, 3}));
                 EXPECT_EQ(corners[7], TPoint3D({1, 2, 3}));
               }},
        TCheck{"SizeAndArea",
               [] {
                 const TAABB box = TAABB::CreateFromOrigin({1, 1, 1}, {1, 2, 3}, {-1, -1, -1});
                 EXPECT_EQ(box.Min, TPoint3D({0, 0, 0}));
                 EXPECT_EQ(box.SurfaceArea(), 22);
                 EXPECT_EQ(TAABB::Create(2, 4, 6).Min, TPoint3D({-1, -2, -3}));
                 EXPECT_EQ(box.GetPosition(), TPoint3D({0.5f, 1, 1.5f}));
               }},
        TCheck{"CombineAndInflate",
               [] {
                 const TAABB combined = TAABB{{0, 0, 0}, {1, 1, 1}}.Combine({{-1, 0.5f, 0}, {0.5f, 2, 1}});
                 EXPECT_EQ(combined.Min, TPoint3D({-1, 0, 0}));
                 EXPECT_EQ(combined.Max, TPoint3D({1, 2, 1}));
                 EXPECT_EQ(kUnitBox.Inflate(1).Max, TPoint3D({2, 2, 2}));
               }},
        TCheck{"ContainsInclusive",
               [] {
                 EXPECT_TRUE(kUnitBox.Contains(TPoint3D{1, -1, 1}));
                 EXPECT_FALSE(kUnitBox.Contains(TPoint3D{1.001f, 0, 0}));
                 EXPECT_TRUE(kUnitBox.Contains(kUnitBox));
                 EXPECT_FALSE(kUnitBox.Contains(kUnitBox.Inflate(0.1f)));
               }},
        TCheck{"VertexPAndN",
               [] {
                 EXPECT_EQ(kUnitBox.GetVertexP({1, -1, 0}), TPoint3D({1, -1, 1}));
                 EXPECT_EQ(kUnitBox.GetVertexN({1, -1, 0}), TPoint3D({-1, 1, -1}));
               }},
        TCheck{"ClosestAndFarthestCandidates",
               [] {
                 TPoint3D point;
                 float distance;
                 kUnitBox.GetClosestPointAndDistance({0.1f, 0, 0}, point, distance);
                 EXPECT_EQ(point, TPoint3D({0, 0, 0}));
                 EXPECT_FLOAT_EQ(distance, 0.1f);
                 kUnitBox.GetClosestPointAndDistance({5, 5, 5}, point, distance);
                 EXPECT_EQ(point, TPoint3D({1, 1, 1}));
                 // Every corner is as far as the first; only a strictly farther one replaces it.
                 kUnitBox.GetFarestPointAndDistance({0, 0, 0}, point, distance);
                 EXPECT_EQ(point, TPoint3D({-1, -1, -1}));
               }},
        TCheck{"TransformsKeepBoxValid",
               [] {
                 const TAABB box{{0, 0, 0}, {2, 1, 1}};
                 for (const TAABB& turned : {box.Transform({10, 0, 0}, QuarterTurnZ()),
                                             box.Transform(QuarterTurnZ().ToMatrix3D() *
                                                           TMatrix3D::CreateTranslation({10, 0, 0}))}) {
                   ExpectNear(turned.Min, {9, 0, 0});
                   ExpectNear(turned.Max, {10, 2, 1});
                 }
               }},
        TCheck{"PlanesFollowCornerOrder", [] {
                 const auto planes = kUnitBox.GetPlanes();
                 // Corners 3, 1, 0 lie in z = -1 and 7, 5, 4 in z = 1, wound alike: the second normal
                 // points into the box.
                 EXPECT_EQ(planes[0], (TVector3D{0, 0, -1, -1}));
                 EXPECT_EQ(planes[1], (TVector3D{0, 0, -1, 1}));
               }}));

const TOBB kTurnedBox = TOBB::Create({1, 2, 3}, {10, 0, 0}, QuarterTurnZ());

INSTANTIATE_TEST_SUITE_P(
    OBB, Records,
    testing::Values(
        TCheck{"ContainsFacePoint",
               [] {
                 const TOBB box = TOBB::Create({1, 2, 3}, {0, 0, 0});
                 EXPECT_TRUE(box.Contains({1, 0, 0}));
                 EXPECT_TRUE(box.Contains({0, -2, 3}));
                 EXPECT_FALSE(box.Contains({0, 2.01f, 0}));
               }},
        TCheck{"ClosestPoint",
               [] {
                 EXPECT_EQ(TOBB::Create(4, 4, 4).ClosestPoint({0.5f, -1, 1.5f}), TPoint3D({0.5f, -1, 1.5f}));
                 EXPECT_EQ(TOBB::Create(2, 2, 2).ClosestPoint({5, 0, -5}), TPoint3D({1, 0, -1}));
               }},
        TCheck{"CornerAndEdgeOrder",
               [] {
                 const TOBB box = TOBB::Create({1, 2, 3}, {0, 0, 0});
                 const TCornerArray corners = box.GetCorners();
                 EXPECT_EQ(corners[0], TPoint3D({1, 2, 3}));
                 EXPECT_EQ(corners[1], TPoint3D({-1, 2, 3}));
                 EXPECT_EQ(corners[3], TPoint3D({1, 2, -3}));
                 EXPECT_EQ(corners[7], TPoint3D({-1, -2, 3}));
                 const auto edges = box.GetEdges();
                 EXPECT_EQ(edges[0].Start, corners[4]);
                 EXPECT_EQ(edges[0].Stop, corners[5]);
                 EXPECT_EQ(edges[11].Start, corners[1]);
                 EXPECT_EQ(edges[11].Stop, corners[6]);
               }},
        TCheck{"AABBOfTurnedBox",
               [] {
                 const TAABB box = kTurnedBox.GetAABB();
                 ExpectNear(box.Min, {8, -1, -3}, 1e-5);
                 ExpectNear(box.Max, {12, 1, 3}, 1e-5);
               }},
        TCheck{"CastNormalPointsAtCentre",
               [] {
                 TRaycastResult result;
                 EXPECT_NEAR(kTurnedBox.Raycast(Ray({20, 0.5f, 0}, {-1, 0, 0}), &result), 8, 1e-5);
                 EXPECT_TRUE(result.Hit);
                 ExpectNear(result.Point, {12, 0.5f, 0}, 1e-5);
                 ExpectNear(result.Normal, TPoint3D{-2, -0.5f, 0}.Normalize());
               }},
        TCheck{"ParallelOutsideMisses",
               [] {
                 TRaycastResult result{1, {1, 1, 1}, true, {1, 1, 1}};
                 EXPECT_EQ(kTurnedBox.Raycast(Ray({20, 5, 0}, {-1, 0, 0}), &result), -1);
                 EXPECT_EQ(result, TRaycastResult{});
               }},
        TCheck{"MeshDataHoldsCorners",
               [] {
                 const auto mesh = kTurnedBox.ToMeshData();
                 ASSERT_EQ(mesh->VertexBuffer().Length(), 8);
                 ASSERT_EQ(mesh->IndexBuffer().Length(), 8);
                 EXPECT_EQ(mesh->VertexBuffer().GetVertices(5), kTurnedBox.GetCorners()[5]);
                 EXPECT_EQ(mesh->IndexBuffer().GetIndices(7), 7u);
               }},
        TCheck{"AxisOutsideRowsRaises", [] {
                 EXPECT_EQ(kTurnedBox.GetAxis(2), &kTurnedBox.Orientation.ez);
                 EXPECT_THROW(kTurnedBox.GetAxis(3), rtl::EAssertionFailed);
               }}));

INSTANTIATE_TEST_SUITE_P(
    Line, Records,
    testing::Values(
        TCheck{"ClosestPointClampsToEnds",
               [] {
                 const TLine line = TLine::Create({0, 0, 0}, {2, 0, 0});
                 EXPECT_EQ(line.ClosestPoint({-5, 1, 0}), TPoint3D({0, 0, 0}));
                 EXPECT_EQ(line.ClosestPoint({9, 1, 0}), TPoint3D({2, 0, 0}));
                 EXPECT_EQ(line.ClosestPoint({1.5f, 1, 0}), TPoint3D({1.5f, 0, 0}));
                 EXPECT_TRUE(line.Contains({1, 0, 0}));
                 EXPECT_FALSE(line.Contains({1, 0.01f, 0}));
               }},
        TCheck{"ZeroLengthGivesStart",
               [] {
                 const TLine line = TLine::Create({1, 2, 3}, {1, 2, 3});
                 EXPECT_EQ(line.ClosestPoint({5, 5, 5}), TPoint3D({1, 2, 3}));
                 EXPECT_TRUE(line.SphereLinetest({1, 2, 4}, 1));
                 EXPECT_FALSE(line.SphereLinetest({1, 2, 4.5f}, 1));
               }},
        TCheck{
            "Linetests", [] {
              const TLine reaching = TLine::Create({0, 0, -5}, {0, 0, 0});
              const TLine tooShort = TLine::Create({0, 0, -5}, {0, 0, -2});
              const TOBB obb = TOBB::Create(2, 2, 2);
              TRaycastResult result;
              EXPECT_TRUE(reaching.AABBLinetest(kUnitBox));
              EXPECT_FALSE(tooShort.AABBLinetest(kUnitBox));
              EXPECT_TRUE(reaching.OBBLinetest(obb));
              EXPECT_TRUE(reaching.OBBLinetest(obb, result));
              EXPECT_EQ(result.T, 4);
              EXPECT_FALSE(tooShort.OBBLinetest(obb));
              const TTriangle facingDown{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
              EXPECT_TRUE(TLine::Create({0.25f, 0.25f, -1}, {0.25f, 0.25f, 1}).TriangleLinetest(&facingDown));
              EXPECT_FALSE(
                  TLine::Create({0.25f, 0.25f, -1}, {0.25f, 0.25f, -0.5f}).TriangleLinetest(&facingDown));
              EXPECT_EQ(TLine::Create(TEdge{{0, 0, 0}, {0, 3, 4}}).Length(), 5);
              EXPECT_EQ(TLine::Create(TEdge{{0, 0, 0}, {0, 3, 4}}).GetDirection(true),
                        TPoint3D({0, -0.6f, -0.8f}));
            }}));

INSTANTIATE_TEST_SUITE_P(
    Plane, Records,
    testing::Values(
        TCheck{"NormalAndPointGiveZeroDistanceAtPoint",
               [] {
                 const TPlane plane = TPlane::Create(TPoint3D{0, 0, 2}, TPoint3D{0, 0, 3});
                 EXPECT_EQ(plane.Normal, TPoint3D({0, 0, 1}));
                 EXPECT_EQ(plane.SignedDistance({5, 5, 3}), 0);
               }},
        TCheck{"VectorRoundTrip",
               [] {
                 const TPlane plane = TPlane::Create(TPoint3D{0, 3, 4}, 2.0f);
                 EXPECT_EQ(TPlane::Create(plane.ToVector3D()).Normal, plane.Normal);
                 EXPECT_EQ(TPlane::Create(plane.ToVector3D()).Distance, 2);
               }},
        TCheck{"ContainsIsTwoSided",
               [] {
                 const TPlane plane = TPlane::Create(TPoint3D{0, 0, 1}, 1.0f);
                 EXPECT_TRUE(plane.Contains({7, 7, 1}));
                 EXPECT_FALSE(plane.Contains({0, 0, -5}));
                 EXPECT_FALSE(plane.Contains({0, 0, 5}));
                 EXPECT_EQ(plane.ClosestPoint({1, 2, 9}), TPoint3D({1, 2, 1}));
               }},
        TCheck{"BoxesUseHalfExtents",
               [] {
                 const TPlane plane = TPlane::Create(TPoint3D{0, 0, 1}, 1.5f);
                 EXPECT_FALSE(plane.IntersectsWith(kUnitBox));
                 EXPECT_TRUE(plane.IntersectsWith(kUnitBox.Inflate(0.5f)));
                 EXPECT_FALSE(plane.IntersectsWith(TOBB::Create(2, 2, 2)));
                 EXPECT_TRUE(plane.IntersectsWith(TOBB::Create(3, 3, 3)));
               }},
        TCheck{"PlanesMeetUnlessParallelApart",
               [] {
                 const TPlane floor = TPlane::Create(TPoint3D{0, 0, 1}, 1.5f);
                 EXPECT_TRUE(floor.IntersectsWith(TPlane::Create(TPoint3D{1, 0, 0}, 0.0f)));
                 EXPECT_FALSE(floor.IntersectsWith(TPlane::Create(TPoint3D{0, 0, 1}, 2.0f)));
                 EXPECT_TRUE(floor.IntersectsWith(TPlane::Create(TPoint3D{0, 0, 1}, 1.5f)));
                 EXPECT_TRUE(floor.IntersectsWith(TPlane::Create(TPoint3D{0, 0, -1}, -1.5f)));
               }},
        TCheck{"ThreePointsUseConventionZ",
               [] {
                 const TPlane plane = TPlane::Create(TPoint3D{0, 0, 2}, TPoint3D{1, 0, 2}, TPoint3D{0, 1, 2});
                 EXPECT_EQ(plane.Distance, -2);
                 EXPECT_EQ(plane.SignedDistance({3, 4, 2}), 0);
                 EXPECT_EQ(plane.SignedDistance({3, 4, 5}), 3);
               }},
        TCheck{"TrianglePlaneUsesConventionD", [] {
                 const TPlane plane = TTriangle{{0, 0, 2}, {1, 0, 2}, {0, 1, 2}}.ToPlane();
                 EXPECT_EQ(plane.Distance, 2);
                 EXPECT_EQ(plane.Raycast(Ray({0.2f, 0.2f, 5}, {0, 0, -1})), 3);
                 EXPECT_EQ(plane.Raycast(Ray({0.2f, 0.2f, 5}, {0, 0, 1})), -1);
               }}));

INSTANTIATE_TEST_SUITE_P(
    Triangle, Records,
    testing::Values(
        TCheck{"ClosestPointNearVertex",
               [] {
                 // (2, -1, 0) lies on the line through B and C; B is nearest.
                 EXPECT_EQ(kFlat.ClosestPoint2({2, -1, 0}), TPoint3D({1, 0, 0}));
                 EXPECT_EQ(kFlat.ClosestPoint({2, -1, 0}), TPoint3D({1, 0, 0}));
                 EXPECT_FALSE(kFlat.Contains({2, -1, 0}));
                 EXPECT_TRUE(kFlat.Contains({0.5f, 0.5f, 0}));
                 EXPECT_EQ(kFlat.ClosestPoint({3, 0.5f, 2}), TPoint3D({1, 0, 0}));
               }},
        TCheck{"ClosestPointMethodsAgree",
               [] {
                 std::mt19937 random(5);
                 std::uniform_real_distribution<float> value(-3, 3);
                 const auto point = [&] { return TPoint3D{value(random), value(random), value(random)}; };
                 for (int i = 0; i < 300; ++i) {
                   const TTriangle triangle{point(), point(), point()};
                   const TPoint3D p = point();
                   ExpectNear(triangle.ClosestPoint2(p), triangle.ClosestPoint(p), 1e-5);
                 }
               }},
        TCheck{"CenterAndLines",
               [] {
                 EXPECT_EQ((TTriangle{{0, 0, 0}, {3, 0, 0}, {0, 3, 0}}.Center()), TPoint3D({1, 1, 0}));
                 EXPECT_EQ(kFlat.GetLine(3).Start, TPoint3D{});
                 EXPECT_EQ(kFlat.GetLine(3).Stop, TPoint3D{});
                 EXPECT_EQ(kFlat.GetLine(2, true).Start, kFlat.A);
               }},
        TCheck{"IndexedAccess",
               [] {
                 TTriangle triangle = kFlat;
                 triangle.Values(7) = 5;
                 EXPECT_EQ(triangle.C, TPoint3D({0, 5, 0}));
                 EXPECT_EQ(triangle.Points(1), kFlat.B);
                 EXPECT_THROW(triangle.Values(9), rtl::ERangeError);
                 EXPECT_THROW(triangle.Points(-1), rtl::ERangeError);
               }},
        TCheck{"Transforms",
               [] {
                 const TTriangle turned = kFlat.Transform({0, 0, 5}, QuarterTurnZ());
                 ExpectNear(turned.B, {0, 1, 5});
                 EXPECT_EQ(kFlat.Transform(TMatrix3D::CreateTranslation({0, 0, 5})).C, TPoint3D({0, 1, 5}));
               }},
        TCheck{"TriangleAndBoxOverlaps",
               [] {
                 const TTriangle crossing{{0.25f, 0.25f, -1}, {0.25f, 0.25f, 1}, {0.25f, 2, 0}};
                 EXPECT_TRUE(kFlat.IntersectsWith(crossing));
                 EXPECT_TRUE(kFlat.IntersectsWithRobust(crossing));
                 const TTriangle above{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
                 EXPECT_FALSE(kFlat.IntersectsWith(above));
                 EXPECT_FALSE(kFlat.IntersectsWithRobust(above));
                 EXPECT_TRUE(
                     kFlat.IntersectsWith(TOBB::Create({0.1f, 0.1f, 0.1f}, {0.2f, 0.2f, 0}, QuarterTurnZ())));
                 EXPECT_FALSE(kFlat.IntersectsWith(TOBB::Create({0.1f, 0.1f, 0.1f}, {0.2f, 0.2f, 0.5f})));
                 EXPECT_EQ(TTriangle::SatCrossEdge({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}),
                           TPoint3D({0, -1, 0}));
               }},
        TCheck{"EdgeCastsCountCrossings", [] {
                 // One triangle edge runs through the box; the plane z = 0 cuts its four upright edges.
                 const TTriangle wide{{-5, 0, 0}, {5, 0, 0}, {0, 5, 0}};
                 std::vector<TRaycastResult> hits;
                 EXPECT_TRUE(wide.Raycast(TOBB::Create(2, 2, 2), hits));
                 EXPECT_EQ(hits.size(), 5u);
                 const TTriangle upright{{0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}, {5, 5, 5}};
                 EXPECT_TRUE(kFlat.Raycast(upright, hits));
                 ASSERT_EQ(hits.size(), 1u);
                 EXPECT_EQ(hits[0].Point, TPoint3D({0.25f, 0.25f, 0}));
                 EXPECT_FALSE(kFlat.Raycast(TTriangle{{5, 5, 1}, {6, 5, 1}, {5, 6, -1}}, hits));
                 EXPECT_TRUE(hits.empty());
               }}));

} // namespace
