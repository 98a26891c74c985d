#pragma once
// The runtime layer's 3D math records. Values are stored as float; every formula is evaluated in
// double and rounded once when stored (f32), so results do not depend on the order in which the
// compiler keeps intermediates.
//
// Matrices multiply row vectors: a point is (x, y, z, 1) * M, element mRC is row R, column C,
// m41..m43 hold the translation, and A * B applies A first.

#include <vector>
#include <cstddef>
#include <span>

#include "rtl/typeinfo.h"

namespace rtl {

// The one rounding step from a double evaluation to a stored float.
constexpr float f32(double AValue) {
  return static_cast<float>(AValue);
}

struct TPoint3D {
  float X = 0;
  float Y = 0;
  float Z = 0;

  TPoint3D operator+(const TPoint3D& A) const;
  TPoint3D operator-(const TPoint3D& A) const;
  TPoint3D operator-() const { return {-X, -Y, -Z}; }
  TPoint3D operator*(float AFactor) const;
  TPoint3D operator/(float ADivisor) const;
  bool operator==(const TPoint3D&) const = default;

  float DotProduct(const TPoint3D& A) const;
  TPoint3D CrossProduct(const TPoint3D& A) const;
  float Length() const;
  // The unit vector in this direction; the zero vector stays zero.
  TPoint3D Normalize() const;
};
static_assert(sizeof(TPoint3D) == 12);

struct TVector3D {
  float X = 0;
  float Y = 0;
  float Z = 0;
  float W = 0;

  // (X, Y, Z) / W, or (X, Y, Z) unchanged when |W| <= 1e-4 (a direction, or W too small to divide).
  TPoint3D ToPoint3D() const;
  bool operator==(const TVector3D&) const = default;
};
static_assert(sizeof(TVector3D) == 16);

// A 2D homogeneous vector, one row of a TMatrix.
struct TVector {
  float X = 0;
  float Y = 0;
  float W = 0;
  bool operator==(const TVector&) const = default;
};
static_assert(sizeof(TVector) == 12);

// 3x3 matrix.
struct TMatrix {
  float m11 = 0, m12 = 0, m13 = 0;
  float m21 = 0, m22 = 0, m23 = 0;
  float m31 = 0, m32 = 0, m33 = 0;

  // Element (ARow, ACol), both 0-based.
  float& operator()(int ARow, int ACol);
  float operator()(int ARow, int ACol) const;
  // Row ARow (0-based) as (X, Y, W).
  TVector Row(int ARow) const;
  bool operator==(const TMatrix&) const = default;
};
static_assert(sizeof(TMatrix) == 36);

struct TMatrix3D {
  float m11 = 0, m12 = 0, m13 = 0, m14 = 0;
  float m21 = 0, m22 = 0, m23 = 0, m24 = 0;
  float m31 = 0, m32 = 0, m33 = 0, m34 = 0;
  float m41 = 0, m42 = 0, m43 = 0, m44 = 0;

  // Element (ARow, ACol), both 0-based.
  float& operator()(int ARow, int ACol);
  float operator()(int ARow, int ACol) const;
  bool operator==(const TMatrix3D&) const = default;

  static TMatrix3D Identity();
  static TMatrix3D CreateTranslation(const TPoint3D& ADelta);
  static TMatrix3D CreateScaling(const TPoint3D& AScale);
  // Turns row vectors by AAngle radians about +Z: (1, 0, 0) goes towards (0, 1, 0).
  static TMatrix3D CreateRotationZ(float AAngle);
  // Angles in radians.
  static TMatrix3D CreateRotationYawPitchRoll(float AYaw, float APitch, float ARoll);
  // Right-handed perspective projection; AFOV is the vertical field of view in radians.
  static TMatrix3D CreatePerspectiveFovRH(float AFOV, float AAspect, float ANear, float AFar);
  static TMatrix3D CreateOrthoOffCenterRH(float ALeft, float ATop, float ARight, float ABottom, float ANear,
                                          float AFar);
  // Centred orthographic projection of an AWidth x AHeight box: the identity with
  // m11 = 2 / width, m22 = 2 / height, m33 = 1 / (near - far) and m42 = near / (near - far).
  static TMatrix3D CreateOrthoRH(float AWidth, float AHeight, float ANear, float AFar);
  // Right-handed view matrix from AEye towards ACenter: z = normalise(eye - centre),
  // x = normalise(up x z), y = z x x; the upper 3x3 holds x, y, z as columns and the last row is
  // (-x.eye, -y.eye, -z.eye, 1), so a point in front of the eye lands at negative view z.
  static TMatrix3D CreateLookAtRH(const TPoint3D& AEye, const TPoint3D& ACenter, const TPoint3D& AUp);

  // The ordinary matrix product, so that A * B applies A first to a row vector.
  TMatrix3D operator*(const TMatrix3D& A) const;
  TMatrix3D Transpose() const;
  float Determinant() const;
  // The inverse, or the identity when |det| <= 1e-40.
  TMatrix3D Inverse() const;
  // The eye position of a view matrix: -(row i of the rotation part . translation row), i = 1..3.
  TPoint3D EyePosition() const;
};
static_assert(sizeof(TMatrix3D) == 64);
static_assert(offsetof(TMatrix3D, m41) == 48 && offsetof(TMatrix3D, m44) == 60);

// The point (x, y, z, 1) * M, keeping x, y and z (no division by w).
TPoint3D operator*(const TPoint3D& APoint, const TMatrix3D& AMatrix);
// The full four-component product V * M.
TVector3D operator*(const TVector3D& AVector, const TMatrix3D& AMatrix);

// A quaternion with the real part last. Its rotation matrix turns row vectors by the conjugate
// rotation, so Create(axis, angle) stores the negated axis: the matrix then turns row vectors by
// +angle about the axis, and the Hamilton product a * b converts to a.ToMatrix() * b.ToMatrix().
struct TQuaternion3D {
  TPoint3D ImagPart;
  float RealPart = 0;

  TQuaternion3D() = default;
  TQuaternion3D(const TPoint3D& AImagPart, float ARealPart) : ImagPart(AImagPart), RealPart(ARealPart) {}
  // The rotation of the upper-left 3x3 of AMatrix, normalised; the exact inverse of ToMatrix.
  explicit TQuaternion3D(const TMatrix3D& AMatrix);

  static TQuaternion3D Identity() { return {{0, 0, 0}, 1}; }
  // AAngle in radians.
  static TQuaternion3D Create(const TPoint3D& AAxis, float AAngle);

  float Length() const;
  // Divided by its length (through the float reciprocal), or the identity when the length is
  // not above 1e-30.
  TQuaternion3D Normalize() const;
  // The Hamilton product.
  TQuaternion3D operator*(const TQuaternion3D& A) const;
  // The rotation matrix of the normalised quaternion.
  TMatrix3D ToMatrix() const;
  bool operator==(const TQuaternion3D&) const = default;
};
static_assert(sizeof(TQuaternion3D) == 16);
static_assert(offsetof(TQuaternion3D, RealPart) == 12);

// An axis-aligned box: (Left, Top, Near) is the minimum corner, (Right, Bottom, Far) the maximum.
struct TBoundingBox {
  float Left = 0, Top = 0, Near = 0;
  float Right = 0, Bottom = 0, Far = 0;

  static TBoundingBox Create(const TPoint3D& AMin, const TPoint3D& AMax);
  // The span of the points; the empty box at the origin for no points.
  static TBoundingBox Create(std::span<const TPoint3D> APoints);

  TPoint3D MinPoint() const { return {Left, Top, Near}; }
  TPoint3D MaxPoint() const { return {Right, Bottom, Far}; }
  float Width() const { return Right - Left; }
  float Height() const { return Bottom - Top; }
  float Depth() const { return Far - Near; }
  TPoint3D CenterPoint() const;
  // The smallest box holding both.
  TBoundingBox Union(const TBoundingBox& A) const;
  // Moved by ADelta.
  TBoundingBox Offset(const TPoint3D& ADelta) const;
  // This box scaled uniformly to fit into ATarget and centred on it. ARatio is the largest of the
  // three (extent / target extent); a target extent <= 0 on any axis gives ARatio 1 and this box.
  TBoundingBox FitInto(const TBoundingBox& ATarget, float& ARatio) const;
  bool operator==(const TBoundingBox&) const = default;
};
static_assert(sizeof(TBoundingBox) == 24);

// Type information, so that records holding these can be walked by field.
RTL_RECORD_TYPEINFO(TPoint3D);
RTL_RECORD_TYPEINFO(TVector3D);
RTL_RECORD_TYPEINFO(TMatrix3D);
// Arrays of points (mesh coordinates, coordinate keys) are values of their own, as byte arrays
// are, so that a published property can hold one.
inline const TTypeInfo& RtlTypeInfo(std::vector<TPoint3D>*) {
  static const TTypeInfo info{"TArray<TPoint3D>", TTypeKind::tkRecord, sizeof(std::vector<TPoint3D>), false,
                              nullptr,           &RecordOpsOf<std::vector<TPoint3D>>()};
  return info;
}
inline std::true_type RtlIsRecord(std::vector<TPoint3D>*) { return {}; }
RTL_RECORD_TYPEINFO(TMatrix);
RTL_RECORD_TYPEINFO(TQuaternion3D);
RTL_RECORD_TYPEINFO(TBoundingBox);

} // namespace rtl
