#pragma once
// Quaternion helpers on the plain (X, Y, Z, W) record, W the real part. TQuaternion, TVector3D and
// TQuaternion3D share one layout, so the conversions are field-by-field copies.

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"

namespace vantrel {

struct TQuaternion {
  float X = 0;
  float Y = 0;
  float Z = 0;
  float W = 0;
  bool operator==(const TQuaternion&) const = default;
};
static_assert(sizeof(TQuaternion) == 16);

TQuaternion VectorToQuaternion(const TVector3D& AVector);
TVector3D QuaternionToVector(const TQuaternion& AQuaternion);
TQuaternion3D QuaternionToQuaternion3D(const TQuaternion& AQuaternion);
TQuaternion Quaternion3DToQuaternion(const TQuaternion3D& AQuaternion);
TQuaternion QuaternionIdentity();
float QuaternionLength(const TQuaternion& AQuaternion);
// Divided by its length, or the identity when the length is not above 1e-30.
TQuaternion QuaternionNormalize(const TQuaternion& AQuaternion);
// The normalised rotation of the upper-left 3x3 of AMatrix; the same as TQuaternion3D(AMatrix).
TQuaternion QuaternionFromMatrix(const TMatrix3D& AMatrix);
// Spherical interpolation. Neither renormalised nor clamped: a factor outside [0, 1]
// extrapolates, and for inputs in opposite hemispheres AFrom's weight is negated.
TQuaternion QuaternionSlerp(float AFactor, const TQuaternion& AFrom, const TQuaternion& ATo);
// The same two operations on quaternions held as four-component vectors (X, Y, Z, W), as key
// animations keep them. The matrix form returns through AResult, since only the result type differs.
TVector3D QuaternionSlerp(float AFactor, const TVector3D& AFrom, const TVector3D& ATo);
void QuaternionFromMatrix(const TMatrix3D& AMatrix, TVector3D& AResult);

} // namespace vantrel
