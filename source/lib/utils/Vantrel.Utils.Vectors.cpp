#include "utils/Vantrel.Utils.Vectors.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

TPoint3D VectorToPoint3D(const TVector& AVector) {
  return {AVector.X, AVector.Y, AVector.W};
}

float Point3DDot(const TPoint3D& A, const TPoint3D& B) {
  return A.DotProduct(B);
}

TPoint3D Point3DCross(const TPoint3D& A, const TPoint3D& B) {
  return A.CrossProduct(B);
}

float Point3DLength(const TPoint3D& A) {
  return A.Length();
}

float Point3DLengthSquared(const TPoint3D& A) {
  return A.DotProduct(A);
}

TPoint3D Point3DNormalize(const TPoint3D& A) {
  return A.Normalize();
}

TPoint3D Point3DDirection(const TPoint3D& A, const TPoint3D& B) {
  return (B - A).Normalize();
}

TPoint3D Point3DAbs(const TPoint3D& A) {
  return {std::fabs(A.X), std::fabs(A.Y), std::fabs(A.Z)};
}

TPoint3D Point3DMin(const TPoint3D& A, const TPoint3D& B) {
  return {std::min(A.X, B.X), std::min(A.Y, B.Y), std::min(A.Z, B.Z)};
}

TPoint3D Point3DMax(const TPoint3D& A, const TPoint3D& B) {
  return {std::max(A.X, B.X), std::max(A.Y, B.Y), std::max(A.Z, B.Z)};
}

} // namespace vantrel
