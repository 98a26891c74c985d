#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

#include "rtl/exceptions.h"
#include "utils/Vantrel.Utils.Matrices.h"

namespace {

using namespace vantrel;

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const TMat3& AActual, const TMat3& AExpected, double ATolerance = 1e-6) {
  for (int r = 0; r < 3; ++r) {
    const TPoint3D& actual = *AActual.GetRowPtr(r);
    const TPoint3D& expected = *AExpected.GetRowPtr(r);
    EXPECT_NEAR(actual.X, expected.X, ATolerance) << "row " << r;
    EXPECT_NEAR(actual.Y, expected.Y, ATolerance) << "row " << r;
    EXPECT_NEAR(actual.Z, expected.Z, ATolerance) << "row " << r;
  }
}

TMat3 Diagonal(float x, float y, float z) {
  return TMat3::Create(x, 0, 0, 0, y, 0, 0, 0, z);
}

TMat3 QuarterTurnZ() {
  TMat3 result;
  result.Set({0, 0, 1}, kPi / 2);
  return result;
}

const TMat3 kIdentity = Diagonal(1, 1, 1);

struct TMatrixCase {
  const char* Name;
  std::function<TMat3()> Actual;
  TMat3 Expected;
};

void PrintTo(const TMatrixCase& ACase, std::ostream* AStream) {
  *AStream << ACase.Name;
}

class Mat3Results : public testing::TestWithParam<TMatrixCase> {};

TEST_P(Mat3Results, Match) {
  ExpectNear(GetParam().Actual(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, Mat3Results,
    testing::Values(
        TMatrixCase{"CreateZero", [] { return TMat3::Create(0); }, TMat3::Create(0, 0, 0, 0, 0, 0, 0, 0, 0)},
        TMatrixCase{"QuarterTurnRows", QuarterTurnZ, TMat3::Create(0, 1, 0, -1, 0, 0, 0, 0, 1)},
        // The axis is used as given: z*z*t + c = 4 * 2 - 1.
        TMatrixCase{"UnnormalisedAxis",
                    [] {
                      TMat3 m;
                      m.Set({0, 0, 2}, kPi);
                      return m;
                    },
                    TMat3::Create(-1, 0, 0, 0, -1, 0, 0, 0, 7)},
        TMatrixCase{"InverseOfDiagonal", [] { return Diagonal(2, 4, 8).Inverse(); },
                    Diagonal(0.5f, 0.25f, 0.125f)},
        TMatrixCase{"InverseOfRotationIsTranspose",
                    [] {
                      TMat3 m;
                      m.Set(TPoint3D{1, 2, 3}.Normalize(), 0.7f);
                      return m.Inverse();
                    },
                    [] {
                      TMat3 m;
                      m.Set(TPoint3D{1, 2, 3}.Normalize(), 0.7f);
                      return TMat3(m.Column0(), m.Column1(), m.Column2());
                    }()},
        TMatrixCase{"SingularInverseIsIdentity",
                    [] { return TMat3::Create(1, 2, 3, 2, 4, 6, 0, 1, 0).Inverse(); }, kIdentity},
        TMatrixCase{"TinyDeterminantInverseIsIdentity",
                    [] { return Diagonal(1e-13f, 1e-13f, 1e-13f).Inverse(); }, kIdentity},
        // Row k of A * B is A * row k of B, so the right operand turns first.
        TMatrixCase{"ProductAppliesRightFirst", [] { return QuarterTurnZ() * Diagonal(2, 1, 1); },
                    TMat3::Create(0, 2, 0, -1, 0, 0, 0, 0, 1)},
        TMatrixCase{"SumAndDifference",
                    [] { return Diagonal(1, 2, 3) + Diagonal(1, 1, 1) - Diagonal(0.5f, 0.5f, 0.5f); },
                    Diagonal(1.5f, 2.5f, 3.5f)},
        TMatrixCase{"Scaled", [] { return Diagonal(1, 2, 3) * 2; }, Diagonal(2, 4, 6)}));

TEST(Matrices, ZeroEmbedsWithOnlyM44) {
  TMatrix3D expected;
  expected.m44 = 1;
  EXPECT_EQ(TMat3::Create(0).ToMatrix3D(), expected);
}

TEST(Matrices, MatrixRoundTripKeepsNineValues) {
  const TMatrix source{1, 2, 3, 4, 5, 6, 7, 8, 9};
  const TMat3 m = source;
  EXPECT_EQ(m, TMat3::Create(1, 2, 3, 4, 5, 6, 7, 8, 9));
  EXPECT_EQ(static_cast<TMatrix>(m), source);
  EXPECT_EQ(TMat3::Create(source).ToMatrix(), source);
}

TEST(Matrices, BothOperandOrdersTurnTheVector) {
  const TMat3 m = QuarterTurnZ();
  for (const TPoint3D& turned : {TPoint3D{1, 0, 0} * m, m * TPoint3D{1, 0, 0}}) {
    EXPECT_NEAR(turned.X, 0, 1e-6);
    EXPECT_NEAR(turned.Y, 1, 1e-6);
    EXPECT_NEAR(turned.Z, 0, 1e-6);
  }
  // Applying the rotation first would give (0, 1, 0).
  const TPoint3D product = TPoint3D{1, 0, 0} * (m * Diagonal(2, 1, 1));
  EXPECT_NEAR(product.X, 0, 1e-6);
  EXPECT_EQ(product.Y, 2);
}

TEST(Matrices, InverseTimesMatrixIsIdentity) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-2, 2);
  for (int i = 0; i < 20; ++i) {
    const TMat3 m = TMat3::Create(value(random), value(random), value(random), value(random), value(random),
                                  value(random), value(random), value(random), value(random));
    const float det = (m.ez.DotProduct(m.ex.CrossProduct(m.ey)));
    if (std::fabs(det) < 0.1f)
      continue;
    ExpectNear(m * m.Inverse(), kIdentity, 1e-5);
  }
}

TEST(Matrices, RowPointerOutsideRowsRaises) {
  TMat3 m;
  EXPECT_EQ(m.GetRowPtr(2), &m.ez);
  for (int index : {3, -1}) {
    try {
      m.GetRowPtr(index);
      ADD_FAILURE() << "no exception for " << index;
    } catch (const rtl::EAssertionFailed& e) {
      EXPECT_EQ(e.Message().rfind("Assertion fehlgeschlagen", 0), 0u) << e.Message();
      EXPECT_NE(e.Message().find("source/lib/utils/Vantrel.Utils.Matrices.cpp"), std::string::npos)
          << e.Message();
    }
  }
}

} // namespace
