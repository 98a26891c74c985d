#include "rtl/math3d.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace rtl {

namespace {

using TRow3 = float TMatrix::*;
constexpr TRow3 kMatrixCells[3][3] = {{&TMatrix::m11, &TMatrix::m12, &TMatrix::m13},
                                      {&TMatrix::m21, &TMatrix::m22, &TMatrix::m23},
                                      {&TMatrix::m31, &TMatrix::m32, &TMatrix::m33}};

using TCell4 = float TMatrix3D::*;
constexpr TCell4 kMatrix3DCells[4][4] = {
    {&TMatrix3D::m11, &TMatrix3D::m12, &TMatrix3D::m13, &TMatrix3D::m14},
    {&TMatrix3D::m21, &TMatrix3D::m22, &TMatrix3D::m23, &TMatrix3D::m24},
    {&TMatrix3D::m31, &TMatrix3D::m32, &TMatrix3D::m33, &TMatrix3D::m34},
    {&TMatrix3D::m41, &TMatrix3D::m42, &TMatrix3D::m43, &TMatrix3D::m44}};

using TDouble4x4 = std::array<std::array<double, 4>, 4>;

TDouble4x4 ToDouble(const TMatrix3D& AMatrix) {
  TDouble4x4 result;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      result[r][c] = AMatrix(r, c);
  return result;
}

// The cofactor of element (ARow, ACol): the signed determinant of the 3x3 minor.
double Cofactor(const TDouble4x4& A, int ARow, int ACol) {
  double minor[3][3];
  for (int r = 0, mr = 0; r < 4; ++r) {
    if (r == ARow)
      continue;
    for (int c = 0, mc = 0; c < 4; ++c)
      if (c != ACol)
        minor[mr][mc++] = A[r][c];
    ++mr;
  }
  const double det = minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
                     minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
                     minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
  return (ARow + ACol) % 2 == 0 ? det : -det;
}

double DeterminantOf(const TDouble4x4& A) {
  double det = 0;
  for (int c = 0; c < 4; ++c)
    det += A[0][c] * Cofactor(A, 0, c);
  return det;
}

} // namespace

TPoint3D TPoint3D::operator+(const TPoint3D& A) const {
  return {f32(double(X) + A.X), f32(double(Y) + A.Y), f32(double(Z) + A.Z)};
}

TPoint3D TPoint3D::operator-(const TPoint3D& A) const {
  return {f32(double(X) - A.X), f32(double(Y) - A.Y), f32(double(Z) - A.Z)};
}

TPoint3D TPoint3D::operator*(float AFactor) const {
  return {f32(double(X) * AFactor), f32(double(Y) * AFactor), f32(double(Z) * AFactor)};
}

TPoint3D TPoint3D::operator/(float ADivisor) const {
  return {f32(double(X) / ADivisor), f32(double(Y) / ADivisor), f32(double(Z) / ADivisor)};
}

float TPoint3D::DotProduct(const TPoint3D& A) const {
  return f32(double(X) * A.X + double(Y) * A.Y + double(Z) * A.Z);
}

TPoint3D TPoint3D::CrossProduct(const TPoint3D& A) const {
  return {f32(double(Y) * A.Z - double(Z) * A.Y), f32(double(Z) * A.X - double(X) * A.Z),
          f32(double(X) * A.Y - double(Y) * A.X)};
}

float TPoint3D::Length() const {
  return f32(std::sqrt(double(X) * X + double(Y) * Y + double(Z) * Z));
}

TPoint3D TPoint3D::Normalize() const {
  const double length = std::sqrt(double(X) * X + double(Y) * Y + double(Z) * Z);
  if (length == 0)
    return *this;
  return {f32(X / length), f32(Y / length), f32(Z / length)};
}

TPoint3D TVector3D::ToPoint3D() const {
  if (std::fabs(W) <= 1e-4)
    return {X, Y, Z};
  return {f32(double(X) / W), f32(double(Y) / W), f32(double(Z) / W)};
}

float& TMatrix::operator()(int ARow, int ACol) {
  return this->*kMatrixCells[ARow][ACol];
}
float TMatrix::operator()(int ARow, int ACol) const {
  return this->*kMatrixCells[ARow][ACol];
}
TVector TMatrix::Row(int ARow) const {
  return {(*this)(ARow, 0), (*this)(ARow, 1), (*this)(ARow, 2)};
}

float& TMatrix3D::operator()(int ARow, int ACol) {
  return this->*kMatrix3DCells[ARow][ACol];
}
float TMatrix3D::operator()(int ARow, int ACol) const {
  return this->*kMatrix3DCells[ARow][ACol];
}

TMatrix3D TMatrix3D::Identity() {
  TMatrix3D result;
  result.m11 = result.m22 = result.m33 = result.m44 = 1;
  return result;
}

TMatrix3D TMatrix3D::CreateTranslation(const TPoint3D& ADelta) {
  TMatrix3D result = Identity();
  result.m41 = ADelta.X;
  result.m42 = ADelta.Y;
  result.m43 = ADelta.Z;
  return result;
}

TMatrix3D TMatrix3D::CreateScaling(const TPoint3D& AScale) {
  TMatrix3D result;
  result.m11 = AScale.X;
  result.m22 = AScale.Y;
  result.m33 = AScale.Z;
  result.m44 = 1;
  return result;
}

TMatrix3D TMatrix3D::CreateRotationZ(float AAngle) {
  const double s = std::sin(double(AAngle)), c = std::cos(double(AAngle));
  TMatrix3D result = Identity();
  result.m11 = f32(c);
  result.m12 = f32(s);
  result.m21 = f32(-s);
  result.m22 = f32(c);
  return result;
}

TMatrix3D TMatrix3D::CreateRotationYawPitchRoll(float AYaw, float APitch, float ARoll) {
  const double sy = std::sin(double(AYaw)), cy = std::cos(double(AYaw));
  const double sp = std::sin(double(APitch)), cp = std::cos(double(APitch));
  const double sr = std::sin(double(ARoll)), cr = std::cos(double(ARoll));
  TMatrix3D result = Identity();
  result.m11 = f32(cr * cy + sp * sr * sy);
  result.m12 = f32(cy * sp * sr - cr * sy);
  result.m13 = f32(-cp * sr);
  result.m21 = f32(cp * sy);
  result.m22 = f32(cp * cy);
  result.m23 = f32(sp);
  result.m31 = f32(cy * sr - cr * sp * sy);
  result.m32 = f32(-cr * cy * sp - sr * sy);
  result.m33 = f32(cp * cr);
  return result;
}

TMatrix3D TMatrix3D::CreatePerspectiveFovRH(float AFOV, float AAspect, float ANear, float AFar) {
  const double yScale = 1.0 / std::tan(double(AFOV) / 2);
  const double depth = double(ANear) - AFar;
  TMatrix3D result;
  result.m11 = f32(yScale / AAspect);
  result.m22 = f32(yScale);
  result.m33 = f32(AFar / depth);
  result.m34 = -1;
  result.m43 = f32(double(ANear) * AFar / depth);
  return result;
}

TMatrix3D TMatrix3D::CreateOrthoOffCenterRH(float ALeft, float ATop, float ARight, float ABottom, float ANear,
                                            float AFar) {
  TMatrix3D result;
  result.m11 = f32(2.0 / (double(ARight) - ALeft));
  result.m22 = f32(2.0 / (double(ATop) - ABottom));
  result.m33 = f32(1.0 / (double(ANear) - AFar));
  result.m41 = f32((double(ALeft) + ARight) / (double(ALeft) - ARight));
  result.m42 = f32((double(ATop) + ABottom) / (double(ABottom) - ATop));
  result.m43 = f32(double(ANear) / (double(ANear) - AFar));
  result.m44 = 1;
  return result;
}

TMatrix3D TMatrix3D::CreateOrthoRH(float AWidth, float AHeight, float ANear, float AFar) {
  TMatrix3D result = Identity();
  result.m11 = f32(2.0 / double(AWidth));
  result.m22 = f32(2.0 / double(AHeight));
  result.m33 = f32(1.0 / (double(ANear) - AFar));
  result.m42 = f32(double(ANear) / (double(ANear) - AFar));
  return result;
}

TMatrix3D TMatrix3D::CreateLookAtRH(const TPoint3D& AEye, const TPoint3D& ACenter, const TPoint3D& AUp) {
  const TPoint3D z = (AEye - ACenter).Normalize();
  const TPoint3D x = AUp.CrossProduct(z).Normalize();
  const TPoint3D y = z.CrossProduct(x);
  TMatrix3D result;
  result.m11 = x.X;
  result.m21 = x.Y;
  result.m31 = x.Z;
  result.m12 = y.X;
  result.m22 = y.Y;
  result.m32 = y.Z;
  result.m13 = z.X;
  result.m23 = z.Y;
  result.m33 = z.Z;
  result.m41 = -x.DotProduct(AEye);
  result.m42 = -y.DotProduct(AEye);
  result.m43 = -z.DotProduct(AEye);
  result.m44 = 1;
  return result;
}

TMatrix3D TMatrix3D::operator*(const TMatrix3D& A) const {
  TMatrix3D result;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      double sum = 0;
      for (int k = 0; k < 4; ++k)
        sum += double((*this)(r, k)) * A(k, c);
      result(r, c) = f32(sum);
    }
  return result;
}

TMatrix3D TMatrix3D::Transpose() const {
  TMatrix3D result;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      result(r, c) = (*this)(c, r);
  return result;
}

float TMatrix3D::Determinant() const {
  return f32(DeterminantOf(ToDouble(*this)));
}

TMatrix3D TMatrix3D::Inverse() const {
  const TDouble4x4 a = ToDouble(*this);
  const double det = DeterminantOf(a);
  if (std::fabs(det) <= 1e-40)
    return Identity();
  TMatrix3D result;
  // The inverse is the transposed cofactor matrix over the determinant.
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      result(c, r) = f32(Cofactor(a, r, c) / det);
  return result;
}

TPoint3D TMatrix3D::EyePosition() const {
  TPoint3D eye;
  float* components[3] = {&eye.X, &eye.Y, &eye.Z};
  for (int i = 0; i < 3; ++i) {
    const TMatrix3D& m = *this;
    *components[i] =
        f32(-(double(m(i, 0)) * m(3, 0) + double(m(i, 1)) * m(3, 1) + double(m(i, 2)) * m(3, 2)));
  }
  return eye;
}

TPoint3D operator*(const TPoint3D& APoint, const TMatrix3D& M) {
  const double x = APoint.X, y = APoint.Y, z = APoint.Z;
  return {f32(x * M.m11 + y * M.m21 + z * M.m31 + M.m41), f32(x * M.m12 + y * M.m22 + z * M.m32 + M.m42),
          f32(x * M.m13 + y * M.m23 + z * M.m33 + M.m43)};
}

TVector3D operator*(const TVector3D& V, const TMatrix3D& M) {
  const double x = V.X, y = V.Y, z = V.Z, w = V.W;
  return {
      f32(x * M.m11 + y * M.m21 + z * M.m31 + w * M.m41), f32(x * M.m12 + y * M.m22 + z * M.m32 + w * M.m42),
      f32(x * M.m13 + y * M.m23 + z * M.m33 + w * M.m43), f32(x * M.m14 + y * M.m24 + z * M.m34 + w * M.m44)};
}

TQuaternion3D::TQuaternion3D(const TMatrix3D& M) {
  const double m11 = M.m11, m12 = M.m12, m13 = M.m13;
  const double m21 = M.m21, m22 = M.m22, m23 = M.m23;
  const double m31 = M.m31, m32 = M.m32, m33 = M.m33;
  const double trace = m11 + m22 + m33;
  double x, y, z, w;
  // The comparisons are strict: ties fall through to the later branch.
  if (trace > 1e-40) {
    const double s = 0.5 / std::sqrt(trace + 1);
    x = (m32 - m23) * s;
    y = (m13 - m31) * s;
    z = (m21 - m12) * s;
    w = 0.25 / s;
  } else if (m11 > m22 && m11 > m33) {
    const double s = 2 * std::sqrt(1 + m11 - m22 - m33);
    x = 0.25 * s;
    y = (m12 + m21) / s;
    z = (m13 + m31) / s;
    w = (m32 - m23) / s;
  } else if (m22 > m33) {
    const double s = 2 * std::sqrt(1 + m22 - m11 - m33);
    x = (m12 + m21) / s;
    y = 0.25 * s;
    z = (m23 + m32) / s;
    w = (m13 - m31) / s;
  } else {
    const double s = 2 * std::sqrt(1 + m33 - m11 - m22);
    x = (m13 + m31) / s;
    y = (m23 + m32) / s;
    z = 0.25 * s;
    w = (m21 - m12) / s;
  }
  *this = TQuaternion3D({f32(x), f32(y), f32(z)}, f32(w)).Normalize();
}

TQuaternion3D TQuaternion3D::Create(const TPoint3D& AAxis, float AAngle) {
  const TPoint3D axis = AAxis.Normalize();
  const double half = double(AAngle) / 2;
  const double s = std::sin(half);
  return {{f32(-axis.X * s), f32(-axis.Y * s), f32(-axis.Z * s)}, f32(std::cos(half))};
}

float TQuaternion3D::Length() const {
  const double x = ImagPart.X, y = ImagPart.Y, z = ImagPart.Z, w = RealPart;
  return f32(std::sqrt(x * x + y * y + z * z + w * w));
}

TQuaternion3D TQuaternion3D::Normalize() const {
  const float length = Length();
  if (!(length > 1e-30))
    return Identity();
  const float inverse = f32(1.0 / length);
  return {{f32(double(ImagPart.X) * inverse), f32(double(ImagPart.Y) * inverse),
           f32(double(ImagPart.Z) * inverse)},
          f32(double(RealPart) * inverse)};
}

TQuaternion3D TQuaternion3D::operator*(const TQuaternion3D& A) const {
  const double x1 = ImagPart.X, y1 = ImagPart.Y, z1 = ImagPart.Z, w1 = RealPart;
  const double x2 = A.ImagPart.X, y2 = A.ImagPart.Y, z2 = A.ImagPart.Z, w2 = A.RealPart;
  return {{f32(w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2), f32(w1 * y2 - x1 * z2 + y1 * w2 + z1 * x2),
           f32(w1 * z2 + x1 * y2 - y1 * x2 + z1 * w2)},
          f32(w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2)};
}

TMatrix3D TQuaternion3D::ToMatrix() const {
  const TQuaternion3D q = Normalize();
  const double x = q.ImagPart.X, y = q.ImagPart.Y, z = q.ImagPart.Z, w = q.RealPart;
  TMatrix3D result = TMatrix3D::Identity();
  result.m11 = f32(1 - 2 * (y * y + z * z));
  result.m12 = f32(2 * (x * y - z * w));
  result.m13 = f32(2 * (x * z + y * w));
  result.m21 = f32(2 * (x * y + z * w));
  result.m22 = f32(1 - 2 * (x * x + z * z));
  result.m23 = f32(2 * (y * z - x * w));
  result.m31 = f32(2 * (x * z - y * w));
  result.m32 = f32(2 * (y * z + x * w));
  result.m33 = f32(1 - 2 * (x * x + y * y));
  return result;
}

TBoundingBox TBoundingBox::Create(const TPoint3D& AMin, const TPoint3D& AMax) {
  return {AMin.X, AMin.Y, AMin.Z, AMax.X, AMax.Y, AMax.Z};
}

TBoundingBox TBoundingBox::Create(std::span<const TPoint3D> APoints) {
  if (APoints.empty())
    return {};
  TPoint3D low = APoints.front(), high = APoints.front();
  for (const TPoint3D& p : APoints.subspan(1)) {
    low = {std::min(low.X, p.X), std::min(low.Y, p.Y), std::min(low.Z, p.Z)};
    high = {std::max(high.X, p.X), std::max(high.Y, p.Y), std::max(high.Z, p.Z)};
  }
  return Create(low, high);
}

TPoint3D TBoundingBox::CenterPoint() const {
  return {f32((double(Left) + Right) / 2), f32((double(Top) + Bottom) / 2), f32((double(Near) + Far) / 2)};
}

TBoundingBox TBoundingBox::Union(const TBoundingBox& A) const {
  return {std::min(Left, A.Left),   std::min(Top, A.Top),       std::min(Near, A.Near),
          std::max(Right, A.Right), std::max(Bottom, A.Bottom), std::max(Far, A.Far)};
}

TBoundingBox TBoundingBox::Offset(const TPoint3D& ADelta) const {
  return {Left + ADelta.X, Top + ADelta.Y, Near + ADelta.Z, Right + ADelta.X, Bottom + ADelta.Y, Far + ADelta.Z};
}

TBoundingBox TBoundingBox::FitInto(const TBoundingBox& ATarget, float& ARatio) const {
  if (ATarget.Width() <= 0 || ATarget.Height() <= 0 || ATarget.Depth() <= 0) {
    ARatio = 1;
    return *this;
  }
  const double ratio = std::max({double(Width()) / ATarget.Width(), double(Height()) / ATarget.Height(),
                                 double(Depth()) / ATarget.Depth()});
  // A box without extent cannot be scaled up to the target; it stays as it is.
  if (!(ratio > 0)) {
    ARatio = 1;
    return *this;
  }
  ARatio = f32(ratio);
  const TPoint3D center = ATarget.CenterPoint();
  const double w = Width() / ratio / 2, h = Height() / ratio / 2, d = Depth() / ratio / 2;
  return {f32(center.X - w), f32(center.Y - h), f32(center.Z - d),
          f32(center.X + w), f32(center.Y + h), f32(center.Z + d)};
}

} // namespace rtl
