#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "utils/Vantrel.Utils.Math.h"
#include "utils/Vantrel.Utils.Quaternions.h"
#include "utils/Vantrel.Utils.Vectors.h"

namespace {

using namespace vantrel;

void ExpectNear(const TQuaternion& AActual, const TQuaternion& AExpected, double ATolerance = 1e-6) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
  EXPECT_NEAR(AActual.W, AExpected.W, ATolerance);
}

TMatrix3D Diagonal(float A11, float A22, float A33) {
  TMatrix3D m = TMatrix3D::CreateScaling({A11, A22, A33});
  return m;
}

TEST(Quaternions, FromMatrixTakesEachBranch) {
  struct TCase {
    const char* Branch;
    TMatrix3D Matrix;
    TQuaternion Expected;
  };
  const TCase cases[] = {
      {"positive trace", TMatrix3D::Identity(), {0, 0, 0, 1}},
      {"m11 largest", Diagonal(1, -1, -1), {1, 0, 0, 0}},
      {"m22 largest", Diagonal(-1, 1, -1), {0, 1, 0, 0}},
      {"m33 largest", Diagonal(-1, -1, 1), {0, 0, 1, 0}},
      {"tie m11 = m22 falls through", Diagonal(1, 1, -3), {0, 1, 0, 0}},
      {"zero matrix", TMatrix3D{}, {0, 0, 1, 0}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Branch);
    ExpectNear(QuaternionFromMatrix(c.Matrix), c.Expected);
    EXPECT_EQ(QuaternionToQuaternion3D(QuaternionFromMatrix(c.Matrix)), TQuaternion3D(c.Matrix));
  }
  // A half turn about (1, 1, 0) selects the m11 branch and comes back normalised.
  const TMatrix3D halfTurn = TQuaternion3D::Create({1, 1, 0}, float(std::numbers::pi)).ToMatrix();
  const TQuaternion q = QuaternionFromMatrix(halfTurn);
  EXPECT_NEAR(QuaternionLength(q), 1, 1e-6);
  EXPECT_NEAR(std::fabs(q.X), std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(std::fabs(q.Y), std::sqrt(0.5), 1e-6);
}

TEST(Quaternions, NormalizeFallsBackToIdentity) {
  EXPECT_EQ(QuaternionNormalize({0, 0, 0, 0}), QuaternionIdentity());
  EXPECT_EQ(QuaternionNormalize({0, 0, 0, 1e-31f}), QuaternionIdentity());
  ExpectNear(QuaternionNormalize({0, 3, 0, 4}), {0, 0.6f, 0, 0.8f});
}

TEST(Quaternions, Slerp) {
  const float s = float(std::sqrt(0.5));
  const TQuaternion from{0, 0, s, s}, to{0, s, 0, s};
  const TQuaternion opposite{-to.X, -to.Y, -to.Z, -to.W};
  struct TCase {
    const char* Name;
    float Factor;
    TQuaternion From, To, Expected;
  };
  const TCase cases[] = {
      {"start", 0, from, to, from},
      {"end", 1, from, to, to},
      {"negative dot at start gives -from", 0, from, opposite, {-from.X, -from.Y, -from.Z, -from.W}},
      {"equal inputs blend linearly", 0.3f, from, from, from},
      {"midway between identity and a half turn about z", 0.5f, {0, 0, 0, 1}, {0, 0, 1, 0}, {0, 0, s, s}},
      {"extrapolates without clamping", 2, {0, 0, 0, 1}, {0, 0, s, s}, {0, 0, 1, 0}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ExpectNear(QuaternionSlerp(c.Factor, c.From, c.To), c.Expected);
  }
  // Not renormalised: inputs of length 2 give a result of length 2.
  ExpectNear(QuaternionSlerp(0.5f, TQuaternion{0, 0, 0, 2}, TQuaternion{0, 0, 0, 2}), {0, 0, 0, 2});
}

TEST(Quaternions, VectorFormsMatchTheQuaternionForms) {
  const float s = float(std::sqrt(0.5));
  const TVector3D from{0, 0, 0, 1}, to{0, 0, 1, 0};
  EXPECT_EQ(QuaternionSlerp(0.5f, from, to), QuaternionToVector(QuaternionSlerp(0.5f, VectorToQuaternion(from),
                                                                                 VectorToQuaternion(to))));
  const TVector3D mid = QuaternionSlerp(0.5f, from, to);
  EXPECT_NEAR(mid.Z, s, 1e-6);
  EXPECT_NEAR(mid.W, s, 1e-6);
  const TMatrix3D turn = TQuaternion3D::Create({0, 1, 0}, 0.7f).ToMatrix();
  TVector3D fromMatrix;
  QuaternionFromMatrix(turn, fromMatrix);
  EXPECT_EQ(fromMatrix, QuaternionToVector(QuaternionFromMatrix(turn)));
}

TEST(Quaternions, ConversionsCopyFields) {
  EXPECT_EQ(VectorToQuaternion({1, 2, 3, 4}), (TQuaternion{1, 2, 3, 4}));
  EXPECT_EQ(QuaternionToVector({1, 2, 3, 4}), (TVector3D{1, 2, 3, 4}));
  EXPECT_EQ(QuaternionToQuaternion3D({1, 2, 3, 4}), TQuaternion3D({1, 2, 3}, 4));
  TQuaternion q;
  EulerToQuaternion({0, 90, 0}, 0, q);
  EXPECT_EQ(QuaternionToQuaternion3D(q), EulerToQuaternion({0, 90, 0}, 0));
  const TPoint3D angles = QuaternionToEuler(q, 0);
  EXPECT_EQ(QuaternionToEuler(QuaternionToVector(q), 0), angles);
}

TEST(Vectors, Helpers) {
  EXPECT_EQ(VectorToPoint3D({1, 2, 3}), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(Point3DCross({1, 0, 0}, {0, 1, 0}), (TPoint3D{0, 0, 1}));
  EXPECT_EQ(Point3DDot({1, 2, 3}, {4, 5, 6}), 32);
  EXPECT_EQ(Point3DLength({2, 3, 6}), 7);
  EXPECT_EQ(Point3DNormalize({0, 0, 0}), (TPoint3D{0, 0, 0}));
  EXPECT_EQ(Point3DDirection({1, 1, 1}, {1, 1, -3}), (TPoint3D{0, 0, -1}));
  EXPECT_EQ(Point3DAbs({-1, 2, -3}), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(Point3DMin({1, 5, -2}, {3, 0, -1}), (TPoint3D{1, 0, -2}));
  EXPECT_EQ(Point3DMax({1, 5, -2}, {3, 0, -1}), (TPoint3D{3, 5, -1}));
}

} // namespace
