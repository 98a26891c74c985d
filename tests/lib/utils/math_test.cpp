#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "rtl/exceptions.h"
#include "rtl/types2d.h"
#include "rtl/value.h"
#include "utils/Vantrel.Utils.Math.h"

namespace {

using namespace vantrel;

struct THelperCase {
  const char* Name;
  std::function<double()> Call;
  double Expected;
};

void PrintTo(const THelperCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class HelperResults : public testing::TestWithParam<THelperCase> {};

TEST_P(HelperResults, Match) {
  EXPECT_EQ(GetParam().Call(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Math, HelperResults,
    testing::Values(THelperCase{"IsZeroTinyWithZeroEpsilon", [] { return IsZeroF(1e-9f, 0); }, 0},
                    THelperCase{"IsZeroZeroWithZeroEpsilon", [] { return IsZeroF(0, 0); }, 1},
                    THelperCase{"IsZeroIsStrict", [] { return IsZeroF(0.5f, 0.5f); }, 0},
                    THelperCase{"ClampPrefersMin", [] { return ClampF(5, 10, 0); }, 10},
                    THelperCase{"LimitPrefersMax", [] { return LimitF(5, 10, 0); }, 0},
                    THelperCase{"ClampIAboveMax", [] { return ClampI(12, 0, 7); }, 7},
                    THelperCase{"LimitIBelowMin", [] { return LimitI(-3, 0, 7); }, 0},
                    THelperCase{"WrapValueNegative", [] { return WrapValue(-30, 0, 360); }, 330},
                    THelperCase{"WrapValueAtMax", [] { return WrapValue(360, 0, 360); }, 0},
                    THelperCase{"WrapValueEmptyRange", [] { return WrapValue(42, 5, 5); }, 5},
                    THelperCase{"WrapAngle190", [] { return WrapAnglePI(190); }, -170},
                    THelperCase{"WrapAngleMinus190", [] { return WrapAnglePI(-190); }, 170},
                    THelperCase{"WrapAngle540", [] { return WrapAnglePI(540); }, 180},
                    THelperCase{"WrapAngleMinus540", [] { return WrapAnglePI(-540); }, -180},
                    // Only at huge angles does the float constant for 1/360 count one turn more than 1/360.
                    THelperCase{"WrapAngleFloatConstant", [] { return WrapAnglePI(22467946496.0f); }, -184},
                    THelperCase{"NextPowerOfOne", [] { return NextPowerOf(1, 2); }, 1},
                    THelperCase{"NextPowerOfThree", [] { return NextPowerOf(3, 2); }, 4},
                    THelperCase{"NextPowerOfBase3", [] { return NextPowerOf(100, 3); }, 243},
                    THelperCase{"NextPowerExact", [] { return NextPowerOf(1024, 2); }, 1024},
                    THelperCase{"NextPowerOf1000", [] { return NextPowerOf(1000, 2); }, 1024},
                    // ln 125 / ln 5 is 3.0000000000000004 in double; the float quotient is 3.
                    THelperCase{"NextPowerFloatLog", [] { return NextPowerOf(125, 5); }, 125},
                    THelperCase{"NextPowerBelowOne", [] { return NextPowerOf(0, 2); }, 1},
                    THelperCase{"NextPowerBaseBelowTwo", [] { return NextPowerOf(7, 1); }, 7},
                    THelperCase{"LengthSquared",
                                [] {
                                  return Point3DLengthSquared({1, 2, 3});
                                },
                                14},
                    THelperCase{"IsZeroMatrixTolerance",
                                [] {
                                  TMatrix3D m;
                                  m.m42 = 1e-4f;
                                  return IsZeroMatrix(m);
                                },
                                1},
                    THelperCase{"IsZeroMatrixIdentity", [] { return IsZeroMatrix(TMatrix3D::Identity()); },
                                0}),
    [](const testing::TestParamInfo<THelperCase>& AInfo) { return std::string(AInfo.param.Name); });

TEST(Math, NextPowerOfBeyondInt32Raises) {
  EXPECT_THROW(NextPowerOf(0x7FFFFFFF, 2), ERangeError);
  EXPECT_EQ(NextPowerOf(0x40000000, 2), 0x40000000);
}

void ExpectNear(const TPoint3D& AActual, const TPoint3D& AExpected, double ATolerance = 1e-5) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
}

TEST(Math, DecomposeViewMatrix) {
  struct TCase {
    TMatrix3D View;
    TPoint3D Pos, Dir, Right, Up;
  };
  const TCase cases[] = {
      {TMatrix3D::Identity(), {0, 0, 0}, {0, 0, -1}, {-1, 0, 0}, {0, -1, 0}},
      {TMatrix3D::CreateTranslation({0, 0, -10}), {0, 0, 10}, {0, 0, -1}, {-1, 0, 0}, {0, -1, 0}},
  };
  for (const TCase& c : cases) {
    TPoint3D pos, dir, up, right;
    DecomposeViewMatrix(c.View, pos, dir, up, right);
    ExpectNear(pos, c.Pos);
    ExpectNear(dir, c.Dir);
    ExpectNear(right, c.Right);
    ExpectNear(up, c.Up);
  }
  // A direction parallel to the hint falls back to the x axis.
  TPoint3D axis1, axis2;
  BuildOrthoBasis({0, 2, 0}, {0, -1, 0}, axis1, axis2);
  ExpectNear(axis1, {0, 0, -1});
  ExpectNear(axis2, {1, 0, 0});
}

TEST(Math, MatrixGetRotationRemovesScale) {
  const TQuaternion3D rotation = TQuaternion3D::Create({1, 2, 3}, 0.7f);
  const TMatrix3D m = TMatrix3D::CreateScaling({2, 3, 4}) * rotation.ToMatrix();
  ExpectNear(MatrixGetScale(m), {2, 3, 4});
  const TQuaternion3D result = MatrixGetRotation(m);
  const float sign = result.RealPart * rotation.RealPart < 0 ? -1.0f : 1.0f;
  ExpectNear(result.ImagPart * sign, rotation.ImagPart);
  EXPECT_NEAR(result.RealPart * sign, rotation.RealPart, 1e-5);
}

TEST(Math, EulerAnglesByRotationOrder) {
  for (uint8_t order = 0; order < 6; ++order) {
    const TMatrix m = EulerToMatrix({0, 0, 0}, order);
    EXPECT_EQ(Matrix3x3To3D(m), TMatrix3D::Identity()) << int(order);
    EXPECT_EQ(MatrixToEuler(m, order), (TPoint3D{0, 0, 0})) << int(order);
  }
  // Order 1 makes X the pitch: EulerToMatrix takes yaw = Y, pitch = X, roll = Z.
  TMatrix pitch = EulerToMatrix({30, 0, 0}, 1);
  EXPECT_NEAR(pitch.m23, 0.5, 1e-6);
  EXPECT_NEAR(pitch.m22, std::sqrt(3.0) / 2, 1e-6);
  for (const auto& call : {std::function<void()>([] {
                             EulerToMatrix({0, 0, 0}, 6);
                           }),
                           std::function<void()>([] { MatrixToEuler(TMatrix{}, 6); })}) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "unknown or spheric rotation is not supported");
    }
  }
}

TEST(Math, MatrixToEulerClampsAnM13JustAboveOne) {
  // A float rotation matrix about the second axis by -90 degrees that rounding pushed past 1.
  TMatrix m;
  m.m13 = 1.0000001f;
  m.m21 = -0.6f, m.m22 = 0.8f;
  m.m31 = -0.8f, m.m32 = -0.6f;
  TMatrix exact = m;
  exact.m13 = 1;
  for (uint8_t order = 0; order < 6; ++order) {
    const TPoint3D angles = MatrixToEuler(m, order);
    EXPECT_TRUE(std::isfinite(angles.X) && std::isfinite(angles.Y) && std::isfinite(angles.Z));
    EXPECT_EQ(angles, MatrixToEuler(exact, order));
  }
  // The singular branch puts -90 in the second component of r, arranged like the general branch.
  EXPECT_NEAR(MatrixToEuler(m, 0).Y, -90, 1e-4);
  EXPECT_NEAR(MatrixToEuler(m, 2).Z, -90, 1e-4);
}

TEST(Math, Size3DViewsShareStorage) {
  TSize3D size = TSize3D::Create(7);
  EXPECT_EQ(size.ToVector3D(), (TVector3D{7, 7, 7, 0}));
  size.Width = 4;
  size.Data[2] = 9;
  EXPECT_EQ(size.X, 4);
  EXPECT_EQ(size.Depth, 9);
  EXPECT_EQ(TSize3D::Create(1, 2, 3).ToPoint3D(), (TPoint3D{1, 2, 3}));
}

} // namespace

// The records that properties, definitions and shader text carry by name round-trip through a
// value and report their own type name.
TEST(MathRecords, TravelAsValuesUnderTheirOwnNames) {
  const auto check = [](const auto& ARecord, std::string_view AName) {
    SCOPED_TRACE(std::string(AName));
    using R = std::decay_t<decltype(ARecord)>;
    const rtl::TValue value = rtl::TValue::From(ARecord);
    EXPECT_EQ(value.TypeName(), AName);
    EXPECT_TRUE(value.IsType<R>());
    EXPECT_EQ(value.AsType<R>(), ARecord);
  };
  check(rtl::TPoint{3, -4}, "TPoint");
  rtl::TMatrix matrix;
  matrix.m23 = 2.5f;
  check(matrix, "TMatrix");
  check(rtl::TQuaternion3D({0, 1, 0}, 0.5f), "TQuaternion3D");
  check(rtl::TBoundingBox{-1, -2, -3, 1, 2, 3}, "TBoundingBox");
  const vantrel::TSize3D size = vantrel::TSize3D::Create(1, 2, 3);
  const rtl::TValue value = rtl::TValue::From(size);
  EXPECT_EQ(value.TypeName(), "TSize3D");
  EXPECT_EQ(value.AsType<vantrel::TSize3D>().Depth, 3);
}
