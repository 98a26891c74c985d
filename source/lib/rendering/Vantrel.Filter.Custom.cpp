#include "rendering/Vantrel.Filter.Custom.h"

#include <cmath>

namespace vantrel {

namespace {

// The transform a stored matrix stands for, as L[row][column]; and back.
struct TTransform3 {
  double L[3][3];
};

TTransform3 Unpack(const rtl::TMatrix& S) {
  return {{{S.m11, S.m12, S.m31}, {S.m21, S.m22, S.m32}, {S.m13, S.m23, S.m33}}};
}

rtl::TMatrix Pack(const TTransform3& T) {
  rtl::TMatrix S;
  S.m11 = float(T.L[0][0]);
  S.m12 = float(T.L[0][1]);
  S.m31 = float(T.L[0][2]);
  S.m21 = float(T.L[1][0]);
  S.m22 = float(T.L[1][1]);
  S.m32 = float(T.L[1][2]);
  S.m13 = float(T.L[2][0]);
  S.m23 = float(T.L[2][1]);
  S.m33 = float(T.L[2][2]);
  return S;
}

rtl::TMatrix Identity() {
  rtl::TMatrix S;
  S.m11 = S.m22 = S.m33 = 1;
  return S;
}

} // namespace

rtl::TMatrix FilterMatrixMultiply(const rtl::TMatrix& A, const rtl::TMatrix& B) {
  const TTransform3 a = Unpack(A), b = Unpack(B);
  TTransform3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r.L[i][j] = a.L[i][0] * b.L[0][j] + a.L[i][1] * b.L[1][j] + a.L[i][2] * b.L[2][j];
  return Pack(r);
}

rtl::TPointF FilterMatrixTransform(const rtl::TPointF& APoint, const rtl::TMatrix& M) {
  const float x = APoint.X * M.m11 + APoint.Y * M.m21 + M.m13;
  const float y = APoint.X * M.m12 + APoint.Y * M.m22 + M.m23;
  const float w = APoint.X * M.m31 + APoint.Y * M.m32 + 1;
  if (w == 0 || w == 1)
    return {x, y};
  return {x / w, y / w};
}

void FilterMatrixInvert(rtl::TMatrix& AMatrix) {
  // The adjugate of the stored values would invert the storage, not the transform; the two agree
  // only for a symmetric 2 x 2 part. The transform is inverted and stored back.
  const TTransform3 t = Unpack(AMatrix);
  const auto& L = t.L;
  const double det = L[0][0] * (L[1][1] * L[2][2] - L[1][2] * L[2][1]) -
                     L[0][1] * (L[1][0] * L[2][2] - L[1][2] * L[2][0]) +
                     L[0][2] * (L[1][0] * L[2][1] - L[1][1] * L[2][0]);
  if (std::fabs(det) < 1e-40) {
    AMatrix = Identity();
    return;
  }
  TTransform3 inv;
  inv.L[0][0] = (L[1][1] * L[2][2] - L[1][2] * L[2][1]) / det;
  inv.L[0][1] = (L[0][2] * L[2][1] - L[0][1] * L[2][2]) / det;
  inv.L[0][2] = (L[0][1] * L[1][2] - L[0][2] * L[1][1]) / det;
  inv.L[1][0] = (L[1][2] * L[2][0] - L[1][0] * L[2][2]) / det;
  inv.L[1][1] = (L[0][0] * L[2][2] - L[0][2] * L[2][0]) / det;
  inv.L[1][2] = (L[0][2] * L[1][0] - L[0][0] * L[1][2]) / det;
  inv.L[2][0] = (L[1][0] * L[2][1] - L[1][1] * L[2][0]) / det;
  inv.L[2][1] = (L[0][1] * L[2][0] - L[0][0] * L[2][1]) / det;
  inv.L[2][2] = (L[0][0] * L[1][1] - L[0][1] * L[1][0]) / det;
  AMatrix = Pack(inv);
}

} // namespace vantrel
