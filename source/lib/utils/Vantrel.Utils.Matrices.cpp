#include "utils/Vantrel.Utils.Matrices.h"

#include <cmath>
#include <limits>
#include <utility>

#include "rtl/exceptions.h"
#include "utils/Vantrel.Utils.Vectors.h"

namespace vantrel {

namespace {

// x * AX + y * AY + z * AZ, rounded once per component.
TPoint3D Combine(double x, double y, double z, const TPoint3D& AX, const TPoint3D& AY, const TPoint3D& AZ) {
  return {f32(x * AX.X + y * AY.X + z * AZ.X), f32(x * AX.Y + y * AY.Y + z * AZ.Y),
          f32(x * AX.Z + y * AY.Z + z * AZ.Z)};
}

// Finite and within float range, so storing it neither overflows nor carries a NaN.
bool FitsFloat(double AValue) {
  return std::fabs(AValue) <= std::numeric_limits<float>::max();
}

TMat3 Identity() {
  return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
}

} // namespace

TMat3::TMat3(const TMatrix& AMatrix)
    : ex(VectorToPoint3D(AMatrix.Row(0))), ey(VectorToPoint3D(AMatrix.Row(1))),
      ez(VectorToPoint3D(AMatrix.Row(2))) {}

TMat3 TMat3::Create(int) {
  return {};
}

TMat3 TMat3::Create(float a, float b, float c, float d, float e, float f, float g, float h, float i) {
  return {{a, b, c}, {d, e, f}, {g, h, i}};
}

TMat3 TMat3::Create(const TPoint3D& AX, const TPoint3D& AY, const TPoint3D& AZ) {
  return {AX, AY, AZ};
}

TMat3 TMat3::Create(const TMatrix& AMatrix) {
  return TMat3(AMatrix);
}

void TMat3::Set(float a, float b, float c, float d, float e, float f, float g, float h, float i) {
  *this = Create(a, b, c, d, e, f, g, h, i);
}

void TMat3::Set(const TPoint3D& AAxis, float AAngle) {
  const double x = AAxis.X, y = AAxis.Y, z = AAxis.Z;
  const double s = f32(std::sin(double(AAngle)));
  const double c = f32(std::cos(double(AAngle)));
  const double t = f32(1 - c);
  const double xy = f32(x * y), yz = f32(y * z), zx = f32(z * x);
  ex = {f32(x * x * t + c), f32(xy * t + z * s), f32(zx * t - y * s)};
  ey = {f32(xy * t - z * s), f32(y * y * t + c), f32(yz * t + x * s)};
  ez = {f32(zx * t + y * s), f32(yz * t - x * s), f32(z * z * t + c)};
}

void TMat3::SetRows(const TPoint3D& AX, const TPoint3D& AY, const TPoint3D& AZ) {
  ex = AX;
  ey = AY;
  ez = AZ;
}

TMat3 TMat3::Inverse() const {
  const TPoint3D r0 = Point3DCross(ey, ez), r1 = Point3DCross(ez, ex), r2 = Point3DCross(ex, ey);
  const float det = Point3DDot(ez, r2);
  if (!(std::fabs(det) > 1e-40))
    return Identity();
  // A tiny determinant can still overflow the float reciprocal or the products.
  const double inv = 1 / double(det);
  if (!FitsFloat(inv))
    return Identity();
  const double scale = f32(inv);
  const double v[9] = {r0.X * scale, r1.X * scale, r2.X * scale, r0.Y * scale, r1.Y * scale,
                       r2.Y * scale, r0.Z * scale, r1.Z * scale, r2.Z * scale};
  for (const double value : v)
    if (!FitsFloat(value))
      return Identity();
  return Create(f32(v[0]), f32(v[1]), f32(v[2]), f32(v[3]), f32(v[4]), f32(v[5]), f32(v[6]), f32(v[7]),
                f32(v[8]));
}

TMatrix TMat3::ToMatrix() const {
  return {ex.X, ex.Y, ex.Z, ey.X, ey.Y, ey.Z, ez.X, ez.Y, ez.Z};
}

TMatrix3D TMat3::ToMatrix3D() const {
  TMatrix3D result = TMatrix3D::Identity();
  const TPoint3D* rows[3] = {&ex, &ey, &ez};
  for (int r = 0; r < 3; ++r) {
    result(r, 0) = rows[r]->X;
    result(r, 1) = rows[r]->Y;
    result(r, 2) = rows[r]->Z;
  }
  return result;
}

TPoint3D* TMat3::GetRowPtr(int AIndex) {
  return const_cast<TPoint3D*>(std::as_const(*this).GetRowPtr(AIndex));
}

const TPoint3D* TMat3::GetRowPtr(int AIndex) const {
  // Checked in every build type: a bad index would otherwise point past the record.
  rtl::Assert(AIndex >= 0 && AIndex <= 2);
  return AIndex == 0 ? &ex : AIndex == 1 ? &ey : &ez;
}

TPoint3D operator*(const TMat3& AMatrix, const TPoint3D& AVector) {
  return Combine(AVector.X, AVector.Y, AVector.Z, AMatrix.ex, AMatrix.ey, AMatrix.ez);
}

TPoint3D operator*(const TPoint3D& AVector, const TMat3& AMatrix) {
  return AMatrix * AVector;
}

TMat3 operator*(const TMat3& A, const TMat3& B) {
  return {A * B.ex, A * B.ey, A * B.ez};
}

TMat3 operator*(const TMat3& AMatrix, float AFactor) {
  return {AMatrix.ex * AFactor, AMatrix.ey * AFactor, AMatrix.ez * AFactor};
}

TMat3 operator+(const TMat3& A, const TMat3& B) {
  return {A.ex + B.ex, A.ey + B.ey, A.ez + B.ez};
}

TMat3 operator-(const TMat3& A, const TMat3& B) {
  return {A.ex - B.ex, A.ey - B.ey, A.ez - B.ez};
}

} // namespace vantrel
