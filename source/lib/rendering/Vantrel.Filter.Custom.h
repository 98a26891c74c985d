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

// ---- The framework's image filters -------------------------------------------------------------
// Eight filters on the platform filter layer (ui/filters.h), under the names the effects look up.
// Each constructor registers its passes' pixel shaders; the manager shares them by name.
// Constructors are public for the metaclass factories; filters are made through the manager.

#include <string_view>

#include "ui/filters.h"

namespace vantrel {

// The affine and perspective transforms: a matrix in normalised input coordinates, the output
// size that holds the transformed unit square, and the inverse that the shader maps output
// coordinates back with.
class TVantrelTransformFilter : public ui::TFilter {
  RTL_CLASS_META(TVantrelTransformFilter, ui::TFilter, ui::TFilterClass)
public:
  const rtl::TMatrix& Matrix() const { return FMatrix; }
  const rtl::TMatrix& InvMatrix() const { return FInvMatrix; }

protected:
  TVantrelTransformFilter();
  // FMatrix for an input of AWidth x AHeight pixels.
  virtual void CalcMatrix(int32_t AWidth, int32_t AHeight) = 0;
  // The matrix, then the output size from the transformed unit square (seeded at +-100, rounded
  // half to even), the fit matrix onto the output, and FInvMatrix.
  void CalcSize(int32_t& AWidth, int32_t& AHeight) override;

  rtl::TMatrix FMatrix;
  rtl::TMatrix FInvMatrix;
};

class TVantrelAffineFilter : public TVantrelTransformFilter {
  RTL_CLASS_META(TVantrelAffineFilter, TVantrelTransformFilter, ui::TFilterClassOf<TVantrelAffineFilter>)
public:
  TVantrelAffineFilter();
  static ui::TFilterRec ClassFilterAttr();

protected:
  void CalcMatrix(int32_t AWidth, int32_t AHeight) override;
  void LoadShaders() override;
};

class TVantrelPerspectiveFilter : public TVantrelTransformFilter {
  RTL_CLASS_META(TVantrelPerspectiveFilter, TVantrelTransformFilter, ui::TFilterClassOf<TVantrelPerspectiveFilter>)
public:
  TVantrelPerspectiveFilter();
  static ui::TFilterRec ClassFilterAttr();

protected:
  // The unit square onto the quadrilateral of the four corner values; all zeros when degenerate.
  void CalcMatrix(int32_t AWidth, int32_t AHeight) override;
  void LoadShaders() override;
};

class TVantrelCropFilter : public ui::TFilter {
  RTL_CLASS_META(TVantrelCropFilter, ui::TFilter, ui::TFilterClassOf<TVantrelCropFilter>)
public:
  TVantrelCropFilter();
  static ui::TFilterRec ClassFilterAttr();

protected:
  void CalcSize(int32_t& AWidth, int32_t& AHeight) override;
};

class TVantrelGaussianBlurFilter : public ui::TFilter {
  RTL_CLASS_META(TVantrelGaussianBlurFilter, ui::TFilter, ui::TFilterClassOf<TVantrelGaussianBlurFilter>)
public:
  TVantrelGaussianBlurFilter();
  static ui::TFilterRec ClassFilterAttr();

protected:
  void LoadShaders() override;
};

class TVantrelGlowFilter : public ui::TFilter {
  RTL_CLASS_META(TVantrelGlowFilter, ui::TFilter, ui::TFilterClassOf<TVantrelGlowFilter>)
public:
  TVantrelGlowFilter();
  static ui::TFilterRec ClassFilterAttr();

protected:
  TVantrelGlowFilter(const char* AHorizontalName, std::string_view AHorizontalText);
  // Width per pass and, on pass 1, FillColor.
  void LoadShaders() override;
};

class TVantrelInnerGlowFilter : public TVantrelGlowFilter {
  RTL_CLASS_META(TVantrelInnerGlowFilter, TVantrelGlowFilter, ui::TFilterClassOf<TVantrelInnerGlowFilter>)
public:
  TVantrelInnerGlowFilter();
  static ui::TFilterRec ClassFilterAttr();

protected:
  // As the glow; pass 1 also binds the input texture as Original.
  void LoadShaders() override;
};

class TVantrelReflectionFilter : public ui::TFilter {
  RTL_CLASS_META(TVantrelReflectionFilter, ui::TFilter, ui::TFilterClassOf<TVantrelReflectionFilter>)
public:
  TVantrelReflectionFilter();
  static ui::TFilterRec ClassFilterAttr();
};

class TVantrelSwipeFilter : public ui::TFilter {
  RTL_CLASS_META(TVantrelSwipeFilter, ui::TFilter, ui::TFilterClassOf<TVantrelSwipeFilter>)
public:
  TVantrelSwipeFilter();
  static ui::TFilterRec ClassFilterAttr();

  // The fold geometry of the last size computation, normalised.
  rtl::TPointF APoint() const { return FAPoint; }
  rtl::TPointF A1Point() const { return FA1Point; }
  rtl::TPointF BPoint() const { return FBPoint; }
  rtl::TPointF CPoint() const { return FCPoint; }
  rtl::TPointF LineAB() const { return FLineAB; }
  rtl::TPointF LineAB1() const { return FLineAB1; }
  float K() const { return FK; }
  float Length() const { return FLength; }

protected:
  // The fold geometry; stops early (keeping the fields not yet computed) for an empty input, a
  // half vector without y component or a horizontal fold line.
  void CalcSize(int32_t& AWidth, int32_t& AHeight) override;
  void LoadShaders() override;

private:
  rtl::TPointF FAPoint, FA1Point, FBPoint, FCPoint, FLineAB, FLineAB1;
  float FK = 0;
  float FLength = 0;
};

// Replaces whatever filters are registered by the eight, in category order.
class TFilterManagerHack {
public:
  TFilterManagerHack() = delete;
  static void ReregisterFilters();
};

// Start-up: the filter textures clamp to their edges, and the eight filters are registered.
// Finalisation uninitialises the filter manager. Counted.
void InitializeFilterCustom();
void FinalizeFilterCustom();

} // namespace vantrel
