#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "context/Vantrel.Context.Frustum.h"
#include "rtl/exceptions.h"

namespace {

using namespace vantrel;

// Camera at the origin looking down -z: 45 degrees, 4:3, near 1, far 100.
TVantrelFrustum UnitFrustum() {
  return TVantrelFrustum::Create(45, 4.0f / 3, 1, 100, {0, 0, 0}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0});
}

void ExpectNear(const TVector3D& AActual, const TVector3D& AExpected, double ATolerance = 1e-5) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
  EXPECT_NEAR(AActual.W, AExpected.W, ATolerance);
}

TEST(Frustum, SizesAndPlanes) {
  const TVantrelFrustum f = UnitFrustum();
  EXPECT_NEAR(f.NearHeight(), 0.8284, 1e-4);
  EXPECT_NEAR(f.NearWidth(), 1.1046, 1e-4);
  EXPECT_NEAR(f.FarHeight(), 82.84, 1e-2);
  for (const TVector3D& plane : f.Planes())
    EXPECT_NEAR(std::sqrt(plane.X * plane.X + plane.Y * plane.Y + plane.Z * plane.Z), 1, 1e-6);
  ExpectNear(f.Planes()[4], {0, 0, -1, -1});
  ExpectNear(f.Planes()[5], {0, 0, 1, 100});
  // The side planes lean outwards with the field of view: top and bottom by 22.5 degrees.
  const double c = std::cos(std::numbers::pi / 8), s = std::sin(std::numbers::pi / 8);
  ExpectNear(f.Planes()[0], {0, float(-c), float(-s), 0});
  ExpectNear(f.Planes()[1], {0, float(c), float(-s), 0});
  EXPECT_NEAR(f.Corners()[0].Z, -100, 1e-4);
  EXPECT_NEAR(f.Corners()[7].X, 1.1046 / 2, 1e-4);
  EXPECT_NEAR(f.Corners()[7].Y, -0.8284 / 2, 1e-4);
}

TEST(Frustum, PointTestsReportTheFirstFailingPlane) {
  const TVantrelFrustum f = UnitFrustum();
  constexpr int kNone = -1, kAny = -2;
  struct TCase {
    TPoint3D Point;
    bool Inside;
    int FailingPlane;
  };
  const TCase cases[] = {
      {{0, 0, -10}, true, kNone},
      // The camera lies on the four side planes only in exact arithmetic; with float corners their
      // distances round to about +-5e-8, so which plane is reported first is rounding.
      {{0, 0, 0}, false, kAny},
      {{0, 0.001f, 0}, false, 0}, // just above the camera: outside the top plane
      {{0, -0.001f, 0}, false, 1},
      {{0, 0, -101}, false, 5},  // behind the far plane
      {{0, 0, -0.5f}, false, 4}, // before the near plane
      {{-50, 0, -10}, false, 2},
      {{50, 0, -10}, false, 3},
  };
  for (const TCase& c : cases) {
    TVector3D plane{9, 9, 9, 9};
    EXPECT_EQ(f.IsPointInFrustum(c.Point, plane), c.Inside);
    EXPECT_EQ(f.IsPointInFrustum(c.Point), c.Inside);
    if (c.FailingPlane == kAny)
      EXPECT_NE(std::find(f.Planes().begin(), f.Planes().end(), plane), f.Planes().end());
    else
      EXPECT_EQ(plane, c.FailingPlane == kNone ? TVector3D{} : f.Planes()[c.FailingPlane]);
  }
}

TEST(Frustum, VolumeTests) {
  const TVantrelFrustum f = UnitFrustum();
  struct TCase {
    const char* Name;
    TBoundingBox Box;
    bool Visible;
  };
  const TCase boxes[] = {
      {"inside", {-1, -1, -11, 1, 1, -9}, true},
      {"behind the far plane", {-1, -1, -300, 1, 1, -200}, false},
      {"wholly left", {-60, -0.1f, -11, -50, 0.1f, -9}, false},
      // Crosses the top plane, the first one tested, so it counts as visible although it lies
      // wholly left of the left plane.
      {"straddles top, wholly left", {-60, -1, -1.5f, -50, 1, -0.5f}, true},
      {"encloses the frustum", {-500, -500, -500, 500, 500, 500}, true},
  };
  for (const TCase& c : boxes)
    EXPECT_EQ(f.IsAABBInFrustum(c.Box), c.Visible) << c.Name;

  EXPECT_TRUE(f.IsSphereInFrustum({0, 0, -102}, 2.5f));
  EXPECT_FALSE(f.IsSphereInFrustum({0, 0, -102}, 2)) << "touching from outside";
  EXPECT_TRUE(f.IsSphereInFrustum({0, 0, -50}, 0));

  EXPECT_TRUE(f.IsCubeInFrustum({0, 0, -50}, 1));
  EXPECT_TRUE(f.IsCubeInFrustum({0, 0, -101}, 2)) << "one corner inside the far plane";
  EXPECT_FALSE(f.IsCubeInFrustum({0, 0, -103}, 2));
  EXPECT_FALSE(f.IsCubeInFrustum({-60, 0, -10}, 1));
}

TEST(Frustum, FromTheContextProjectionAndAView) {
  const TMatrix3D projection =
      TMatrix3D::CreatePerspectiveFovRH(float(std::numbers::pi / 4), 4.0f / 3, 0.1f, 10000);
  const TMatrix3D view = TMatrix3D::CreateTranslation({0, 0, -10});
  const TVantrelFrustum f = TVantrelFrustum::Create(projection, view, view.EyePosition());
  EXPECT_NEAR(f.FOV(), 45, 1e-4);
  EXPECT_NEAR(f.Ratio(), 4.0 / 3, 1e-6);
  // Far is read back through m33 + 1 = n / (n - f), about -1e-5, which the float m33 holds to
  // only three digits: 9986.5 instead of 10000.
  EXPECT_NEAR(f.FarDistance(), 10000, 15);
  // n.f / (2f - n): the projection's near plane read back as about half of it.
  EXPECT_NEAR(f.NearDistance(), 0.0500002, 1e-7);
  EXPECT_EQ(f.Position(), (TPoint3D{0, 0, 10}));
  EXPECT_EQ(f.Direction(), (TPoint3D{0, 0, -1}));
  EXPECT_TRUE(f.IsPointInFrustum({0, 0, 0}));
  EXPECT_FALSE(f.IsPointInFrustum({0, 0, 20}));

  TVantrelFrustum fromView;
  fromView.Calculate(projection, view);
  EXPECT_EQ(fromView.ToBoundingBox(), f.ToBoundingBox());
}

TEST(Frustum, BoundingBoxSpansTheCorners) {
  const TBoundingBox box = UnitFrustum().ToBoundingBox();
  EXPECT_NEAR(box.Near, -100, 1e-4);
  EXPECT_NEAR(box.Far, -1, 1e-6);
  EXPECT_NEAR(box.Top, -41.42, 1e-2);
  EXPECT_NEAR(box.Bottom, 41.42, 1e-2);
  EXPECT_NEAR(box.Right, 55.23, 1e-2);
}

TEST(Frustum, NormalizePlane) {
  TVantrelFrustumType planes{};
  planes[3] = {0, 0, 2, 4};
  TVantrelFrustum::NormalizePlane(planes, 3);
  EXPECT_EQ(planes[3], (TVector3D{0, 0, 1, 2}));
  TVantrelFrustum::NormalizePlane(planes, 0);
  EXPECT_EQ(planes[0], (TVector3D{}));
  EXPECT_THROW(TVantrelFrustum::NormalizePlane(planes, 6), ERangeError);
  EXPECT_EQ(TVantrelFrustum::PlaneFromPoints({1, 1, 1}, {1, 1, 1}, {2, 2, 2}), (TVector3D{}));
}

constexpr uint32_t kLineIndices[48] = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4,
                                       1, 2, 2, 6, 6, 5, 5, 1, 0, 3, 3, 7, 7, 4, 4, 0,
                                       0, 1, 1, 5, 5, 4, 4, 0, 2, 3, 3, 7, 7, 6, 6, 2};

void ExpectGeometry(const TVantrelFrustum& AFrustum, const TVertexBuffer& AVertices,
                    const TIndexBuffer& AIndices) {
  const TFrustumCorners& c = AFrustum.Corners();
  const TPoint3D expected[8] = {c[4], c[5], c[7], c[6], c[0], c[1], c[3], c[2]};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(AVertices.GetVertices(i), expected[i]) << i;
  for (int i = 0; i < 48; ++i)
    EXPECT_EQ(AIndices.GetIndices(i), kLineIndices[i]) << i;
}

TEST(Frustum, ToGeometryCreatesMissingBuffers) {
  const TVantrelFrustum f = UnitFrustum();
  TVertexBuffer* vertices = nullptr;
  TIndexBuffer* indices = nullptr;
  f.ToGeometry(vertices, indices);
  const TOwned<TVertexBuffer> ownedVertices(vertices);
  const TOwned<TIndexBuffer> ownedIndices(indices);
  ASSERT_TRUE(vertices && indices);
  EXPECT_EQ(vertices->Length(), 8);
  EXPECT_EQ(vertices->Format(), TVertexFormats{TVertexFormat::Vertex});
  EXPECT_EQ(indices->Length(), 48);
  EXPECT_EQ(indices->Format(), TIndexFormat::UInt16);
  ExpectGeometry(f, *vertices, *indices);
}

TEST(Frustum, ToGeometryFillsGivenBuffersOrRefusesBeforeWriting) {
  const TVantrelFrustum f = UnitFrustum();
  auto wide = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Normal, TVertexFormat::Vertex}, 10);
  auto indices32 = MakeOwned<TIndexBuffer>(50, TIndexFormat::UInt32);
  TVertexBuffer* vertices = wide.get();
  TIndexBuffer* indices = indices32.get();
  f.ToGeometry(vertices, indices);
  EXPECT_EQ(vertices, wide.get());
  EXPECT_EQ(indices, indices32.get());
  EXPECT_EQ(wide->Length(), 10);
  EXPECT_EQ(indices32->Format(), TIndexFormat::UInt32);
  ExpectGeometry(f, *wide, *indices32);

  auto small = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex}, 4);
  auto noPosition = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Normal}, 8);
  auto shortIndices = MakeOwned<TIndexBuffer>(47);
  auto goodIndices = MakeOwned<TIndexBuffer>(48);
  struct TCase {
    TVertexBuffer* Vertices;
    TIndexBuffer* Indices;
  };
  const TCase refused[] = {
      {small.get(), goodIndices.get()}, {noPosition.get(), goodIndices.get()}, {nullptr, shortIndices.get()}};
  for (const TCase& c : refused) {
    TVertexBuffer* v = c.Vertices;
    TIndexBuffer* i = c.Indices;
    EXPECT_THROW(f.ToGeometry(v, i), EArgumentException);
    EXPECT_EQ(v, c.Vertices) << "no buffer created";
  }
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(small->GetVertices(i), (TPoint3D{}));
  for (int i = 0; i < 48; ++i)
    EXPECT_EQ(goodIndices->GetIndices(i), 0u);
}

} // namespace
