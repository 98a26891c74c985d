#pragma once
// Vector helpers on TPoint3D, evaluated in double and stored as float.

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"

namespace vantrel {

// A TVector (X, Y, W) copied field by field into (X, Y, Z).
TPoint3D VectorToPoint3D(const TVector& AVector);
float Point3DDot(const TPoint3D& A, const TPoint3D& B);
TPoint3D Point3DCross(const TPoint3D& A, const TPoint3D& B);
float Point3DLength(const TPoint3D& A);
float Point3DLengthSquared(const TPoint3D& A);
// A divided by its length; A unchanged when the length is 0.
TPoint3D Point3DNormalize(const TPoint3D& A);
// The unit vector from A towards B.
TPoint3D Point3DDirection(const TPoint3D& A, const TPoint3D& B);
TPoint3D Point3DAbs(const TPoint3D& A);
TPoint3D Point3DMin(const TPoint3D& A, const TPoint3D& B);
TPoint3D Point3DMax(const TPoint3D& A, const TPoint3D& B);

} // namespace vantrel
