#pragma once
// Scalar helpers (tolerance tests, clamps, limits, wrapping, power rounding), matrix
// decomposition, Euler angles by rotation order, and the integer triple TSize3D. Formulas are
// evaluated in double and stored as float.
//
// Rotation order codes 0..5 name which of the Euler angles X, Y, Z act as yaw, pitch and roll:
// 0 XYZ, 1 YXZ, 2 ZXY, 3 ZYX, 4 YZX, 5 XZY. Other codes raise Exception
// "unknown or spheric rotation is not supported".

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"
#include "utils/Vantrel.Utils.Quaternions.h"
#include "utils/Vantrel.Utils.Vectors.h"

namespace vantrel {

inline constexpr const char* SUnknownRotationOrder = "unknown or spheric rotation is not supported";

// An integer triple; Width/X/Data[0], Height/Y/Data[1] and Depth/Z/Data[2] name the same storage.
struct TSize3D {
  union {
    struct {
      int32_t Width, Height, Depth;
    };
    struct {
      int32_t X, Y, Z;
    };
    int32_t Data[3];
  };

  static TSize3D Create(int32_t AX, int32_t AY, int32_t AZ);
  static TSize3D Create(int32_t AValue);
  TPoint3D ToPoint3D() const;
  // (X, Y, Z, 0).
  TVector3D ToVector3D() const;
};
static_assert(sizeof(TSize3D) == 12);
RTL_RECORD_TYPEINFO(TSize3D);

// AEpsilon 0: AValue is exactly 0; otherwise |AValue| < AEpsilon.
bool IsZeroF(float AValue, float AEpsilon);
bool IsZeroPoint3D(const TPoint3D& APoint, float AEpsilon);
// AValue < AMin gives AMin, else AValue > AMax gives AMax (AMin wins when AMin > AMax).
int32_t ClampI(int32_t AValue, int32_t AMin, int32_t AMax);
float ClampF(float AValue, float AMin, float AMax);
// Min(Max(AValue, AMin), AMax) (AMax wins when AMin > AMax).
int32_t LimitI(int32_t AValue, int32_t AMin, int32_t AMax);
float LimitF(float AValue, float AMin, float AMax);
// All sixteen elements within 1e-4 of 0.
bool IsZeroMatrix(const TMatrix3D& AMatrix);
// AValue wrapped into [AMin, AMax); AMin for an empty range.
float WrapValue(float AValue, float AMin, float AMax);
// An angle in degrees wrapped into [-180, 180].
float WrapAnglePI(float AAngle);
// The smallest power of ABase not below AValue; 1 for a value below 1, AValue itself for a base
// below 2. Raises ERangeError when that power does not fit an int32.
int32_t NextPowerOf(int32_t AValue, int32_t ABase);

// Two unit axes perpendicular to ADir, the first also perpendicular to AHint.
void BuildOrthoBasis(const TPoint3D& ADir, const TPoint3D& AHint, TPoint3D& AAxis1, TPoint3D& AAxis2);
// The eye position, viewing direction, up and right axes of a view matrix.
void DecomposeViewMatrix(const TMatrix3D& AView, TPoint3D& APos, TPoint3D& ADir, TPoint3D& AUp,
                         TPoint3D& ARight);
// -(m13, m23, m33), not normalised.
TPoint3D ViewMatrixDirection(const TMatrix3D& AMatrix);
TMatrix3D Matrix3x3To3D(const TMatrix& AMatrix);
TPoint3D MatrixGetTranslation(const TMatrix3D& AMatrix);
// The lengths of rows 1..3, each taken with all four elements.
TPoint3D MatrixGetScale(const TMatrix3D& AMatrix);
TQuaternion3D MatrixGetRotation(const TMatrix3D& AMatrix);
TQuaternion3D MatrixToQuaternion(const TMatrix& AMatrix);
// Degrees, each in [-180, 180].
TPoint3D MatrixToEuler(const TMatrix& AMatrix, uint8_t AOrder);
// AAngles in degrees.
TMatrix EulerToMatrix(const TPoint3D& AAngles, uint8_t AOrder);
TPoint3D QuaternionToEuler(const TQuaternion3D& AQuaternion, uint8_t AOrder);
TPoint3D QuaternionToEuler(const TQuaternion& AQuaternion, uint8_t AOrder);
TPoint3D QuaternionToEuler(const TVector3D& AQuaternion, uint8_t AOrder);
TQuaternion3D EulerToQuaternion(const TPoint3D& AAngles, uint8_t AOrder);
void EulerToQuaternion(const TPoint3D& AAngles, uint8_t AOrder, TQuaternion& AResult);

} // namespace vantrel
