#include "utils/Vantrel.Utils.Quaternions.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

TQuaternion VectorToQuaternion(const TVector3D& AVector) {
  return {AVector.X, AVector.Y, AVector.Z, AVector.W};
}

TVector3D QuaternionToVector(const TQuaternion& AQuaternion) {
  return {AQuaternion.X, AQuaternion.Y, AQuaternion.Z, AQuaternion.W};
}

TQuaternion3D QuaternionToQuaternion3D(const TQuaternion& AQuaternion) {
  return {{AQuaternion.X, AQuaternion.Y, AQuaternion.Z}, AQuaternion.W};
}

TQuaternion Quaternion3DToQuaternion(const TQuaternion3D& AQuaternion) {
  return {AQuaternion.ImagPart.X, AQuaternion.ImagPart.Y, AQuaternion.ImagPart.Z, AQuaternion.RealPart};
}

TQuaternion QuaternionIdentity() {
  return {0, 0, 0, 1};
}

float QuaternionLength(const TQuaternion& AQuaternion) {
  return QuaternionToQuaternion3D(AQuaternion).Length();
}

TQuaternion QuaternionNormalize(const TQuaternion& AQuaternion) {
  return Quaternion3DToQuaternion(QuaternionToQuaternion3D(AQuaternion).Normalize());
}

TQuaternion QuaternionFromMatrix(const TMatrix3D& AMatrix) {
  return Quaternion3DToQuaternion(TQuaternion3D(AMatrix));
}

TQuaternion QuaternionSlerp(float AFactor, const TQuaternion& AFrom, const TQuaternion& ATo) {
  double cosine =
      double(AFrom.X) * ATo.X + double(AFrom.Y) * ATo.Y + double(AFrom.Z) * ATo.Z + double(AFrom.W) * ATo.W;
  double sign = 1;
  if (cosine < 0) {
    sign = -1;
    cosine = -cosine;
  }
  const double angle = std::acos(std::min(cosine, 1.0));
  const float sine = f32(std::sin(angle));
  float fromWeight, toWeight;
  if (sine > 0.001) {
    fromWeight = f32(sign * std::sin((1 - double(AFactor)) * angle) / sine);
    toWeight = f32(std::sin(double(AFactor) * angle) / sine);
  } else {
    // Nearly parallel or opposite inputs: the linear blend.
    fromWeight = f32(sign * (1 - double(AFactor)));
    toWeight = AFactor;
  }
  const auto blend = [&](float AFromValue, float AToValue) {
    return f32(double(f32(double(fromWeight) * AFromValue)) + f32(double(toWeight) * AToValue));
  };
  return {blend(AFrom.X, ATo.X), blend(AFrom.Y, ATo.Y), blend(AFrom.Z, ATo.Z), blend(AFrom.W, ATo.W)};
}

TVector3D QuaternionSlerp(float AFactor, const TVector3D& AFrom, const TVector3D& ATo) {
  return QuaternionToVector(QuaternionSlerp(AFactor, VectorToQuaternion(AFrom), VectorToQuaternion(ATo)));
}

void QuaternionFromMatrix(const TMatrix3D& AMatrix, TVector3D& AResult) {
  AResult = QuaternionToVector(QuaternionFromMatrix(AMatrix));
}

} // namespace vantrel
