#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "rtl/colors.h"
#include "rtl/math3d.h"

namespace {

using namespace rtl;

constexpr double kPi = std::numbers::pi;

void ExpectNear(const TMatrix3D& AActual, const TMatrix3D& AExpected, double ATolerance) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(AActual(r, c), AExpected(r, c), ATolerance) << "element m" << r + 1 << c + 1;
}

void ExpectNear(const TPoint3D& AActual, const TPoint3D& AExpected, double ATolerance) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
}

TQuaternion3D RandomUnitQuaternion(std::mt19937& AEngine) {
  std::normal_distribution<float> normal;
  return TQuaternion3D({normal(AEngine), normal(AEngine), normal(AEngine)}, normal(AEngine)).Normalize();
}

TEST(Matrix3D, ProductAppliesTheLeftFactorFirst) {
  const TMatrix3D translate = TMatrix3D::CreateTranslation({1, 0, 0});
  const TMatrix3D scale = TMatrix3D::CreateScaling({2, 2, 2});
  EXPECT_EQ((TPoint3D{1, 0, 0} * (translate * scale)), (TPoint3D{4, 0, 0}));
  EXPECT_EQ((TPoint3D{1, 0, 0} * (scale * translate)), (TPoint3D{3, 0, 0}));
}

TEST(Matrix3D, InverseOfRandomMatricesAndSingularGivesIdentity) {
  std::mt19937 engine(7);
  std::uniform_real_distribution<float> value(-5, 5);
  for (int i = 0; i < 50; ++i) {
    TMatrix3D m;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        m(r, c) = value(engine);
    if (std::fabs(m.Determinant()) < 1)
      continue;
    ExpectNear(m.Inverse() * m, TMatrix3D::Identity(), 1e-4);
  }
  TMatrix3D singular = TMatrix3D::Identity();
  singular.m33 = 0;
  EXPECT_EQ(singular.Inverse(), TMatrix3D::Identity());
}

TEST(Matrix3D, ConstructorsPlaceTheirTerms) {
  const TMatrix3D yaw = TMatrix3D::CreateRotationYawPitchRoll(float(kPi / 2), 0, 0);
  EXPECT_FLOAT_EQ(yaw.m12, -1);
  EXPECT_FLOAT_EQ(yaw.m21, 1);
  EXPECT_FLOAT_EQ(yaw.m33, 1);

  const TMatrix3D p = TMatrix3D::CreatePerspectiveFovRH(float(kPi / 4), 4.0f / 3, 0.1f, 10000);
  EXPECT_FLOAT_EQ(p.m22, 2.4142136f);
  EXPECT_FLOAT_EQ(p.m11, 2.4142136f * 3 / 4);
  EXPECT_FLOAT_EQ(p.m33, -1.00001f);
  EXPECT_FLOAT_EQ(p.m34, -1);
  EXPECT_FLOAT_EQ(p.m43, -0.100001f);
  EXPECT_FLOAT_EQ(p.m44, 0);

  // The pixel rectangle 0..640 x 0..480 (top 480) maps onto -1..1 in both axes.
  const TMatrix3D o = TMatrix3D::CreateOrthoOffCenterRH(0, 480, 640, 0, 1, 100);
  const TVector3D corner = TVector3D{640, 480, -1, 1} * o;
  EXPECT_FLOAT_EQ(corner.X, 1);
  EXPECT_FLOAT_EQ(corner.Y, 1);
  EXPECT_FLOAT_EQ(corner.Z, 0);
  const TVector3D origin = TVector3D{0, 0, -100, 1} * o;
  EXPECT_FLOAT_EQ(origin.X, -1);
  EXPECT_FLOAT_EQ(origin.Y, -1);
  EXPECT_FLOAT_EQ(origin.Z, 1);

  // The centred box 32 x 16, near 0.1, far 1000: the identity with the four terms in place.
  TMatrix3D centred = TMatrix3D::Identity();
  centred.m11 = 0.0625f;
  centred.m22 = 0.125f;
  centred.m33 = -1.0f / 999.9f;
  centred.m42 = -0.1f / 999.9f;
  ExpectNear(TMatrix3D::CreateOrthoRH(32, 16, 0.1f, 1000), centred, 1e-9);

  const TMatrix3D view = TMatrix3D::CreateRotationZ(0.3f) * TMatrix3D::CreateTranslation({1, 2, 3});
  ExpectNear(view.EyePosition(), TPoint3D{1, 2, 3} * TMatrix3D::CreateRotationZ(0.3f).Transpose() * -1, 1e-6);
}

TEST(Vector3D, ToPoint3DDividesByWUnlessTooSmall) {
  struct TCase {
    TVector3D Vector;
    TPoint3D Expected;
  };
  const TCase cases[] = {{{2, 4, 6, 2}, {1, 2, 3}},
                         {{2, 4, 6, 0}, {2, 4, 6}},
                         {{2, 4, 6, 1e-4f}, {2, 4, 6}},
                         {{2, 4, 6, -1e-4f}, {2, 4, 6}},
                         {{2, 4, 6, 2e-4f}, {10000, 20000, 30000}}};
  for (const TCase& c : cases)
    ExpectNear(c.Vector.ToPoint3D(), c.Expected, 1e-2);
}

TEST(Point3D, NormalizeKeepsZeroAndBoxSpansPoints) {
  EXPECT_EQ((TPoint3D{0, 0, 0}.Normalize()), (TPoint3D{0, 0, 0}));
  EXPECT_EQ((TPoint3D{0, 3, 4}.Normalize()), (TPoint3D{0, 0.6f, 0.8f}));
  const TPoint3D points[] = {{1, -2, 3}, {-1, 5, 0}, {0, 0, 7}};
  EXPECT_EQ(TBoundingBox::Create(points), (TBoundingBox{-1, -2, 0, 1, 5, 7}));
}

TEST(Quaternion3D, ConventionsOverRandomRotations) {
  std::mt19937 engine(2024);
  for (int i = 0; i < 200; ++i) {
    const TQuaternion3D a = RandomUnitQuaternion(engine), b = RandomUnitQuaternion(engine);
    const TQuaternion3D back(a.ToMatrix());
    const float sign = (back.RealPart * a.RealPart) < 0 ? -1.0f : 1.0f;
    ExpectNear(back.ImagPart * sign, a.ImagPart, 1e-5);
    EXPECT_NEAR(back.RealPart * sign, a.RealPart, 1e-5);
    ExpectNear((a * b).ToMatrix(), a.ToMatrix() * b.ToMatrix(), 1e-5);
  }
}

// Row-vector rotation by AAngle about a unit axis, written out independently.
TMatrix3D AxisRotation(const TPoint3D& AAxis, double AAngle) {
  const float s = float(std::sin(AAngle)), c = float(std::cos(AAngle)), t = 1 - c;
  const double x = AAxis.X, y = AAxis.Y, z = AAxis.Z;
  TMatrix3D m = TMatrix3D::Identity();
  m.m11 = float(x * x * t + c), m.m12 = float(x * y * t + z * s), m.m13 = float(z * x * t - y * s);
  m.m21 = float(x * y * t - z * s), m.m22 = float(y * y * t + c), m.m23 = float(y * z * t + x * s);
  m.m31 = float(z * x * t + y * s), m.m32 = float(y * z * t - x * s), m.m33 = float(z * z * t + c);
  return m;
}

TEST(Quaternion3D, AxisAngleTurnsRowVectorsByThePositiveAngle) {
  std::mt19937 engine(99);
  std::uniform_real_distribution<float> angle(-6, 6);
  for (int i = 0; i < 50; ++i) {
    const TQuaternion3D random = RandomUnitQuaternion(engine);
    const TPoint3D axis = random.ImagPart.Normalize();
    const float radians = angle(engine);
    ExpectNear(TQuaternion3D::Create(axis, radians).ToMatrix(), AxisRotation(axis, radians), 1e-5);
  }
  const TMatrix3D quarterTurn = TQuaternion3D::Create({0, 0, 2}, float(kPi / 2)).ToMatrix();
  ExpectNear(TPoint3D{1, 0, 0} * quarterTurn, {0, 1, 0}, 1e-6);
  ExpectNear(TQuaternion3D::Create({0, 0, 1}, float(kPi / 2)).ToMatrix(),
             TMatrix3D::CreateRotationZ(float(kPi / 2)), 1e-6);
  // Conversion normalises first.
  EXPECT_EQ(TQuaternion3D({0, 0, 0}, 2).ToMatrix(), TMatrix3D::Identity());
}

TEST(AlphaColor, FloatRoundTripIsExactForEveryByteAndClamps) {
  for (uint32_t b = 0; b < 256; ++b) {
    const TAlphaColor color = b << 24 | (255 - b) << 16 | b << 8 | (b ^ 0x5A);
    ASSERT_EQ(TAlphaColorF::Create(color).ToAlphaColor(), color) << b;
  }
  EXPECT_EQ((TAlphaColorF{1.5f, -0.2f, 0.5f, NAN}.ToAlphaColor()), 0x00FF0080u);
  EXPECT_EQ(TAlphaColorF::Create(claTomato).R, 1.0f);
  EXPECT_EQ(TAlphaColorRec::Create(claTomato), (TAlphaColorRec{0x47, 0x63, 0xFF, 0xFF}));
}

} // namespace

namespace {

TEST(Matrix3D, LookAtRHPutsTheViewAxisOnNegativeZ) {
  const TPoint3D eye{1, 2, 3}, center{1, 2, -7}, up{0, 1, 0};
  const TMatrix3D view = TMatrix3D::CreateLookAtRH(eye, center, up);
  ExpectNear(eye * view, {0, 0, 0}, 1e-5);
  ExpectNear(center * view, {0, 0, -10}, 1e-5);
  ExpectNear(view.EyePosition(), eye, 1e-5);
  // Columns are x = up x z, y = z x x, z = normalise(eye - centre).
  EXPECT_NEAR(view.m11, 1, 1e-6);
  EXPECT_NEAR(view.m22, 1, 1e-6);
  EXPECT_NEAR(view.m33, 1, 1e-6);
  EXPECT_EQ(view.m44, 1);
  // An oblique eye: the rotation part stays orthonormal.
  const TMatrix3D oblique = TMatrix3D::CreateLookAtRH({3, -2, 5}, {0, 1, 0}, {0, -1, 0});
  ExpectNear(oblique * oblique.Inverse(), TMatrix3D::Identity(), 1e-5);
  ExpectNear(TPoint3D{0, 1, 0} * oblique, {0, 0, -TPoint3D{3, -3, 5}.Length()}, 1e-4);
}

} // namespace

TEST(BoundingBox, ExtentsUnionOffsetAndFitInto) {
  const TBoundingBox box{0, 0, 0, 2, 1, 4};
  EXPECT_EQ(box.CenterPoint(), (TPoint3D{1, 0.5f, 2}));
  EXPECT_EQ(box.Union({-1, 0.5f, 1, 1, 3, 2}), (TBoundingBox{-1, 0, 0, 2, 3, 4}));
  EXPECT_EQ(box.Offset({1, 1, 1}), (TBoundingBox{1, 1, 1, 3, 2, 5}));
  float ratio = 0;
  // The largest extent ratio (depth 4 / 2) scales the box, centred on the target.
  EXPECT_EQ(box.FitInto({-1, -1, -1, 1, 1, 1}, ratio), (TBoundingBox{-0.5f, -0.25f, -1, 0.5f, 0.25f, 1}));
  EXPECT_EQ(ratio, 2);
  EXPECT_EQ(box.FitInto({0, 0, 0, 1, 0, 1}, ratio), box);
  EXPECT_EQ(ratio, 1);
}
