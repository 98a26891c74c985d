#include "utils/Vantrel.Utils.Math.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "rtl/exceptions.h"

namespace vantrel {

namespace {

using TOrderPick = std::array<int, 3>;

// For each rotation order code, the Euler components (0 = X, 1 = Y, 2 = Z) that act as yaw, pitch
// and roll; MatrixToEuler arranges its result by the same indices.
constexpr TOrderPick kOrderPicks[6] = {{0, 1, 2}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}, {1, 2, 0}, {0, 2, 1}};

const TOrderPick& OrderPick(uint8_t AOrder) {
  if (AOrder >= std::size(kOrderPicks))
    throw Exception(SUnknownRotationOrder);
  return kOrderPicks[AOrder];
}

constexpr double kDegToRad = 0.017453292519943295;
constexpr double kRadToDeg = 180 / std::numbers::pi;

TMatrix UpperLeft3x3(const TMatrix3D& AMatrix) {
  TMatrix result;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      result(r, c) = AMatrix(r, c);
  return result;
}

// One of the two general solutions of MatrixToEuler for the first angle AFirst.
TPoint3D EulerSolution(const TMatrix& M, double AFirst) {
  const double c = std::cos(AFirst);
  return {f32(AFirst), f32(std::atan2(M.m23 / c, M.m33 / c)), f32(std::atan2(M.m12 / c, M.m11 / c))};
}

} // namespace

TSize3D TSize3D::Create(int32_t AX, int32_t AY, int32_t AZ) {
  TSize3D result;
  result.X = AX;
  result.Y = AY;
  result.Z = AZ;
  return result;
}

TSize3D TSize3D::Create(int32_t AValue) {
  return Create(AValue, AValue, AValue);
}

TPoint3D TSize3D::ToPoint3D() const {
  return {f32(X), f32(Y), f32(Z)};
}

TVector3D TSize3D::ToVector3D() const {
  return {f32(X), f32(Y), f32(Z), 0};
}

bool IsZeroF(float AValue, float AEpsilon) {
  if (AEpsilon == 0)
    return AValue == 0;
  return std::fabs(AValue) < AEpsilon;
}

bool IsZeroPoint3D(const TPoint3D& APoint, float AEpsilon) {
  return IsZeroF(APoint.X, AEpsilon) && IsZeroF(APoint.Y, AEpsilon) && IsZeroF(APoint.Z, AEpsilon);
}

int32_t ClampI(int32_t AValue, int32_t AMin, int32_t AMax) {
  if (AValue < AMin)
    return AMin;
  return AValue > AMax ? AMax : AValue;
}

float ClampF(float AValue, float AMin, float AMax) {
  if (AValue < AMin)
    return AMin;
  return AValue > AMax ? AMax : AValue;
}

int32_t LimitI(int32_t AValue, int32_t AMin, int32_t AMax) {
  return std::min(std::max(AValue, AMin), AMax);
}

float LimitF(float AValue, float AMin, float AMax) {
  return std::min(std::max(AValue, AMin), AMax);
}

bool IsZeroMatrix(const TMatrix3D& AMatrix) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (!(std::fabs(AMatrix(r, c)) <= 1e-4f))
        return false;
  return true;
}

float WrapValue(float AValue, float AMin, float AMax) {
  const double delta = double(AValue) - AMin;
  const double range = double(AMax) - AMin;
  if (range == 0)
    return AMin;
  return f32(delta - std::floor(delta / range) * range + AMin);
}

float WrapAnglePI(float AAngle) {
  // The turn count uses the float nearest 1/360, as stored angles always have. std::trunc keeps
  // huge and non-finite angles away from an integer conversion.
  constexpr float kInverse360 = 0.0027777778f;
  double angle = double(AAngle) - std::trunc(double(AAngle) * kInverse360) * 360;
  if (angle > 180)
    angle -= 360;
  else if (angle < -180)
    angle += 360;
  return f32(angle);
}

int32_t NextPowerOf(int32_t AValue, int32_t ABase) {
  if (AValue < 1)
    return 1;
  if (ABase < 2)
    return AValue;
  // LogN and Power work on floats: the quotient is rounded to float before Ceil, so that exact
  // powers such as 125 = 5^3 map to themselves.
  const float exponent = f32(std::log(double(f32(AValue))) / std::log(double(f32(ABase))));
  const float power = f32(std::pow(double(f32(ABase)), std::ceil(double(exponent))));
  const double result = std::ceil(double(power));
  if (!(result <= std::numeric_limits<int32_t>::max()))
    throw ERangeError(messages::RangeError);
  return int32_t(result);
}

void BuildOrthoBasis(const TPoint3D& ADir, const TPoint3D& AHint, TPoint3D& AAxis1, TPoint3D& AAxis2) {
  const TPoint3D dir = ADir.Normalize();
  AAxis1 = dir.CrossProduct(AHint).Normalize();
  if (IsZeroPoint3D(AAxis1, 1e-7f))
    AAxis1 = dir.CrossProduct({1, 0, 0}).Normalize();
  AAxis2 = AAxis1.CrossProduct(dir).Normalize();
  if (IsZeroPoint3D(AAxis2, 1e-7f))
    AAxis2 = AAxis1.CrossProduct({0, 0, -1}).Normalize();
}

void DecomposeViewMatrix(const TMatrix3D& AView, TPoint3D& APos, TPoint3D& ADir, TPoint3D& AUp,
                         TPoint3D& ARight) {
  APos = AView.EyePosition();
  ADir = -TPoint3D{AView.m13, AView.m23, AView.m33}.Normalize();
  BuildOrthoBasis(ADir, {0, -1, 0}, ARight, AUp);
}

TPoint3D ViewMatrixDirection(const TMatrix3D& AMatrix) {
  return {-AMatrix.m13, -AMatrix.m23, -AMatrix.m33};
}

TMatrix3D Matrix3x3To3D(const TMatrix& AMatrix) {
  TMatrix3D result = TMatrix3D::Identity();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      result(r, c) = AMatrix(r, c);
  return result;
}

TPoint3D MatrixGetTranslation(const TMatrix3D& AMatrix) {
  return {AMatrix.m41, AMatrix.m42, AMatrix.m43};
}

TPoint3D MatrixGetScale(const TMatrix3D& AMatrix) {
  float scale[3];
  for (int r = 0; r < 3; ++r) {
    double sum = 0;
    for (int c = 0; c < 4; ++c)
      sum += double(AMatrix(r, c)) * AMatrix(r, c);
    scale[r] = f32(std::sqrt(sum));
  }
  return {scale[0], scale[1], scale[2]};
}

TQuaternion3D MatrixGetRotation(const TMatrix3D& AMatrix) {
  return TQuaternion3D(TMatrix3D::CreateScaling(MatrixGetScale(AMatrix)).Inverse() * AMatrix);
}

TQuaternion3D MatrixToQuaternion(const TMatrix& AMatrix) {
  return TQuaternion3D(Matrix3x3To3D(AMatrix));
}

TPoint3D MatrixToEuler(const TMatrix& AMatrix, uint8_t AOrder) {
  const TOrderPick& pick = OrderPick(AOrder);
  // A float rotation matrix can carry |m13| slightly above 1, where ArcSin has no value; such a
  // matrix is the gimbal case of exactly +-1.
  const double m13 = std::clamp(double(AMatrix.m13), -1.0, 1.0);
  TPoint3D r;
  if (std::fabs(-1 - m13) < 1e-40) {
    r = {0, 1.5707964f, f32(std::atan2(AMatrix.m21, AMatrix.m31))};
  } else if (std::fabs(1 - m13) < 1e-40) {
    r = {0, -1.5707964f, f32(std::atan2(-AMatrix.m21, -AMatrix.m31))};
  } else {
    const double first = -std::asin(m13);
    const TPoint3D s1 = EulerSolution(AMatrix, first);
    const TPoint3D s2 = EulerSolution(AMatrix, std::numbers::pi - first);
    r = Point3DLengthSquared(s2) > Point3DLengthSquared(s1) ? s1 : s2;
  }
  const float radians[3] = {r.X, r.Y, r.Z};
  const auto degrees = [&](int AIndex) { return WrapAnglePI(f32(radians[pick[AIndex]] * kRadToDeg)); };
  return {degrees(0), degrees(1), degrees(2)};
}

TMatrix EulerToMatrix(const TPoint3D& AAngles, uint8_t AOrder) {
  const TOrderPick& pick = OrderPick(AOrder);
  const float angles[3] = {AAngles.X, AAngles.Y, AAngles.Z};
  float radians[3];
  for (int i = 0; i < 3; ++i)
    radians[i] = f32(double(WrapValue(angles[i], 0, 360)) * kDegToRad);
  return UpperLeft3x3(
      TMatrix3D::CreateRotationYawPitchRoll(radians[pick[0]], radians[pick[1]], radians[pick[2]]));
}

TPoint3D QuaternionToEuler(const TQuaternion3D& AQuaternion, uint8_t AOrder) {
  return MatrixToEuler(UpperLeft3x3(AQuaternion.ToMatrix()), AOrder);
}

TPoint3D QuaternionToEuler(const TQuaternion& AQuaternion, uint8_t AOrder) {
  return QuaternionToEuler(QuaternionToQuaternion3D(AQuaternion), AOrder);
}

TPoint3D QuaternionToEuler(const TVector3D& AQuaternion, uint8_t AOrder) {
  return QuaternionToEuler(VectorToQuaternion(AQuaternion), AOrder);
}

TQuaternion3D EulerToQuaternion(const TPoint3D& AAngles, uint8_t AOrder) {
  return MatrixToQuaternion(EulerToMatrix(AAngles, AOrder));
}

void EulerToQuaternion(const TPoint3D& AAngles, uint8_t AOrder, TQuaternion& AResult) {
  AResult = Quaternion3DToQuaternion(EulerToQuaternion(AAngles, AOrder));
}

} // namespace vantrel
