#pragma once
// The image filters' 3 x 3 matrices. They act on row vectors (x, y, 1) in normalised texture
// coordinates, and their storage exchanges the third row and the third column of the transform
// they stand for: an affine matrix keeps its translation in m13 (x) and m23 (y), a perspective
// matrix its perspective terms in m31 and m32. m33 is the transform's own m33.

#include "rtl/math3d.h"
#include "rtl/types2d.h"

namespace vantrel {

// The product A·B in that storage: with row vectors, A is applied first.
rtl::TMatrix FilterMatrixMultiply(const rtl::TMatrix& A, const rtl::TMatrix& B);
// The point through AMatrix: x' = x·m11 + y·m21 + m13, y' = x·m12 + y·m22 + m23 and
// w = x·m31 + y·m32 + 1 (m33 unread); (x', y') when w is exactly 0 or 1, else (x'/w, y'/w).
rtl::TPointF FilterMatrixTransform(const rtl::TPointF& APoint, const rtl::TMatrix& AMatrix);
// Replaces AMatrix by the inverse of the transform it stores, so that multiplying by the
// original gives the identity; a transform whose determinant is below 1e-40 in absolute value
// becomes the identity.
void FilterMatrixInvert(rtl::TMatrix& AMatrix);

} // namespace vantrel
