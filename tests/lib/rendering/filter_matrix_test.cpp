// The filters' 3 x 3 matrices in their exchanged storage: products, point transforms and
// inverses, including the turned and perspective matrices the affine and perspective filters make.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rendering/Vantrel.Filter.Custom.h"

namespace {

using rtl::TMatrix;
using rtl::TPointF;
using namespace vantrel;

TMatrix Stored(float m11, float m12, float m13, float m21, float m22, float m23, float m31, float m32, float m33) {
  TMatrix m;
  m.m11 = m11, m.m12 = m12, m.m13 = m13;
  m.m21 = m21, m.m22 = m22, m.m23 = m23;
  m.m31 = m31, m.m32 = m32, m.m33 = m33;
  return m;
}

// A quarter turn (x, y) -> (-y, x) moved by (0.75, 0.25): the translation is in m13 and m23.
const TMatrix Turn = Stored(0, 1, 0.75f, -1, 0, 0.25f, 0, 0, 1);
// Perspective terms in m31 and m32.
const TMatrix Perspective = Stored(1.2f, 0.1f, 0.05f, -0.2f, 0.9f, 0.1f, 0.3f, -0.25f, 1);
const TMatrix Scale2 = Stored(2, 0, 0, 0, 2, 0, 0, 0, 1);
const TMatrix Move = Stored(1, 0, 0.5f, 0, 1, -0.25f, 0, 0, 1);

void ExpectPoint(const TPointF& AActual, const TPointF& AExpected, float ATolerance) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
}

TEST(FilterMatrix, TransformReadsTheExchangedStorageAndDividesOnlyByAnotherW) {
  ExpectPoint(FilterMatrixTransform({1, 0}, Turn), {0.75f, 1.25f}, 0);
  ExpectPoint(FilterMatrixTransform({0, 1}, Turn), {-0.25f, 0.25f}, 0);
  struct TCase {
    const char* Name;
    TPointF Point;
    TPointF Expected;
  };
  // w = x·m31 + y·m32 + 1 with m31 = -1, m32 = 0.5.
  const TMatrix m = Stored(1, 0, 0, 0, 1, 0, -1, 0.5f, 7);
  for (const TCase& c : std::vector<TCase>{{"w exactly 0", {1, 0}, {1, 0}},
                                             {"w exactly 1", {2, 4}, {2, 4}},
                                             {"w 2, divided", {0, 2}, {0, 1}}}) {
    SCOPED_TRACE(c.Name);
    ExpectPoint(FilterMatrixTransform(c.Point, m), c.Expected, 0);
  }
}

TEST(FilterMatrix, MultiplyAppliesTheLeftMatrixFirst) {
  const TPointF p{0.3f, -0.7f};
  ExpectPoint(FilterMatrixTransform(p, FilterMatrixMultiply(Move, Scale2)),
              FilterMatrixTransform(FilterMatrixTransform(p, Move), Scale2), 1e-6f);
  ExpectPoint(FilterMatrixTransform(p, FilterMatrixMultiply(Move, Turn)),
              FilterMatrixTransform(FilterMatrixTransform(p, Move), Turn), 1e-6f);
  // The product read literally from the stored values.
  const TMatrix& A = Turn;
  const TMatrix& B = Perspective;
  const TMatrix r = FilterMatrixMultiply(A, B);
  EXPECT_FLOAT_EQ(r.m11, A.m11 * B.m11 + A.m12 * B.m21 + A.m31 * B.m13);
  EXPECT_FLOAT_EQ(r.m31, A.m11 * B.m31 + A.m12 * B.m32 + A.m31 * B.m33);
  EXPECT_FLOAT_EQ(r.m13, A.m13 * B.m11 + A.m23 * B.m21 + A.m33 * B.m13);
  EXPECT_FLOAT_EQ(r.m23, A.m13 * B.m12 + A.m23 * B.m22 + A.m33 * B.m23);
}

TEST(FilterMatrix, InvertUndoesTheTransformItStores) {
  for (const TMatrix& m : {Turn, Perspective, Scale2, Move}) {
    TMatrix inverse = m;
    FilterMatrixInvert(inverse);
    const TMatrix product = FilterMatrixMultiply(m, inverse);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float values[9] = {product.m11, product.m12, product.m13, product.m21, product.m22,
                             product.m23, product.m31, product.m32, product.m33};
    for (int i = 0; i < 9; ++i)
      EXPECT_NEAR(values[i], identity[i], 1e-6) << i;
  }
  // The point transform assumes m33 = 1, so points go back exactly through affine inverses.
  for (const TMatrix& m : {Turn, Scale2, Move}) {
    TMatrix inverse = m;
    FilterMatrixInvert(inverse);
    for (TPointF p : {TPointF{0, 0}, TPointF{0.25f, 0.75f}, TPointF{1, 0.5f}})
      ExpectPoint(FilterMatrixTransform(FilterMatrixTransform(p, m), inverse), p, 1e-5f);
  }
  // The turn's inverse maps the turned corner back, not below the image.
  TMatrix inverse = Turn;
  FilterMatrixInvert(inverse);
  ExpectPoint(FilterMatrixTransform({0.75f, 1.25f}, inverse), {1, 0}, 1e-6f);

  TMatrix singular = Stored(1, 2, 0, 2, 4, 0, 0, 0, 1);
  FilterMatrixInvert(singular);
  EXPECT_EQ(singular, Stored(1, 0, 0, 0, 1, 0, 0, 0, 1));
}

} // namespace
