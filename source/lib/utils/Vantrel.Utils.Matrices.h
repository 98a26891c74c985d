#pragma once
// The 3x3 orientation matrix: three rows ex, ey, ez, the axes of an oriented box. Values are
// stored as float and every product is evaluated in double, rounded once when stored.
//
// Vectors are row vectors: v * M = v.x * ex + v.y * ey + v.z * ez, and M * v is the same value.

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"

namespace vantrel {

struct TMat3 {
  TPoint3D ex;
  TPoint3D ey;
  TPoint3D ez;

  TMat3() = default;
  TMat3(const TPoint3D& AX, const TPoint3D& AY, const TPoint3D& AZ) : ex(AX), ey(AY), ez(AZ) {}
  // Row ARow of AMatrix (X, Y, W) becomes row ARow (x, y, z).
  TMat3(const TMatrix& AMatrix);

  // The zero matrix; the argument is ignored.
  static TMat3 Create(int ADummy);
  static TMat3 Create(float a, float b, float c, float d, float e, float f, float g, float h, float i);
  static TMat3 Create(const TPoint3D& AX, const TPoint3D& AY, const TPoint3D& AZ);
  static TMat3 Create(const TMatrix& AMatrix);

  // Rows (a, b, c), (d, e, f), (g, h, i).
  void Set(float a, float b, float c, float d, float e, float f, float g, float h, float i);
  // The rotation by AAngle about AAxis. Unlike the rest of the API the angle is in radians, and
  // the axis is used as given, not normalised.
  void Set(const TPoint3D& AAxis, float AAngle);
  void SetRows(const TPoint3D& AX, const TPoint3D& AY, const TPoint3D& AZ);

  TPoint3D Column0() const { return {ex.X, ey.X, ez.X}; }
  TPoint3D Column1() const { return {ex.Y, ey.Y, ez.Y}; }
  TPoint3D Column2() const { return {ex.Z, ey.Z, ez.Z}; }

  // The inverse, or the identity when the matrix is singular (|det| <= 1e-40) or its inverse is
  // not representable in float, so no infinity or NaN ever comes out.
  TMat3 Inverse() const;
  TMatrix ToMatrix() const;
  // The identity 4x4 with this matrix as its upper-left 3x3.
  TMatrix3D ToMatrix3D() const;
  // Explicit, so that the product of two TMat3 can never fall back to a TMatrix product, whose
  // operand order is the opposite of the TMat3 product below.
  explicit operator TMatrix() const { return ToMatrix(); }

  // Row 0, 1 or 2; any other index raises EAssertionFailed.
  TPoint3D* GetRowPtr(int AIndex);
  const TPoint3D* GetRowPtr(int AIndex) const;

  bool operator==(const TMat3&) const = default;
};
static_assert(sizeof(TMat3) == 36);

// Both operand orders give the row-vector product v * M.
TPoint3D operator*(const TMat3& AMatrix, const TPoint3D& AVector);
TPoint3D operator*(const TPoint3D& AVector, const TMat3& AMatrix);
// Row k of A * B is A * (row k of B): a row vector times A * B is turned by B first, then by A.
// This is the opposite order of the TMatrix3D product, where A * B applies A first.
TMat3 operator*(const TMat3& A, const TMat3& B);
TMat3 operator*(const TMat3& AMatrix, float AFactor);
TMat3 operator+(const TMat3& A, const TMat3& B);
TMat3 operator-(const TMat3& A, const TMat3& B);

} // namespace vantrel
