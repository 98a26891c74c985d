#include "rendering/Vantrel.Filter.Custom.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "context/Vantrel.Context.Texturing.h"
#include "rendering/Vantrel.Filter.Custom.Texts.h"
#include "rtl/sysutils.h"
#include "ui/bitmap.h"
#include "ui/context3d.h"
#include "ui/texture.h"

namespace vantrel {

namespace {

// The transform a stored matrix stands for, as L[row][column]; and back.
struct TTransform3 {
  double L[3][3];
};

TTransform3 Unpack(const rtl::TMatrix& S) {
  return {{{S.m11, S.m12, S.m31}, {S.m21, S.m22, S.m32}, {S.m13, S.m23, S.m33}}};
}

rtl::TMatrix Pack(const TTransform3& T) {
  rtl::TMatrix S;
  S.m11 = float(T.L[0][0]);
  S.m12 = float(T.L[0][1]);
  S.m31 = float(T.L[0][2]);
  S.m21 = float(T.L[1][0]);
  S.m22 = float(T.L[1][1]);
  S.m32 = float(T.L[1][2]);
  S.m13 = float(T.L[2][0]);
  S.m23 = float(T.L[2][1]);
  S.m33 = float(T.L[2][2]);
  return S;
}

rtl::TMatrix Identity() {
  rtl::TMatrix S;
  S.m11 = S.m22 = S.m33 = 1;
  return S;
}

} // namespace

rtl::TMatrix FilterMatrixMultiply(const rtl::TMatrix& A, const rtl::TMatrix& B) {
  const TTransform3 a = Unpack(A), b = Unpack(B);
  TTransform3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r.L[i][j] = a.L[i][0] * b.L[0][j] + a.L[i][1] * b.L[1][j] + a.L[i][2] * b.L[2][j];
  return Pack(r);
}

rtl::TPointF FilterMatrixTransform(const rtl::TPointF& APoint, const rtl::TMatrix& M) {
  const float x = APoint.X * M.m11 + APoint.Y * M.m21 + M.m13;
  const float y = APoint.X * M.m12 + APoint.Y * M.m22 + M.m23;
  const float w = APoint.X * M.m31 + APoint.Y * M.m32 + 1;
  if (w == 0 || w == 1)
    return {x, y};
  return {x / w, y / w};
}

void FilterMatrixInvert(rtl::TMatrix& AMatrix) {
  // The adjugate of the stored values would invert the storage, not the transform; the two agree
  // only for a symmetric 2 x 2 part. The transform is inverted and stored back.
  const TTransform3 t = Unpack(AMatrix);
  const auto& L = t.L;
  const double det = L[0][0] * (L[1][1] * L[2][2] - L[1][2] * L[2][1]) -
                     L[0][1] * (L[1][0] * L[2][2] - L[1][2] * L[2][0]) +
                     L[0][2] * (L[1][0] * L[2][1] - L[1][1] * L[2][0]);
  if (std::fabs(det) < 1e-40) {
    AMatrix = Identity();
    return;
  }
  TTransform3 inv;
  inv.L[0][0] = (L[1][1] * L[2][2] - L[1][2] * L[2][1]) / det;
  inv.L[0][1] = (L[0][2] * L[2][1] - L[0][1] * L[2][2]) / det;
  inv.L[0][2] = (L[0][1] * L[1][2] - L[0][2] * L[1][1]) / det;
  inv.L[1][0] = (L[1][2] * L[2][0] - L[1][0] * L[2][2]) / det;
  inv.L[1][1] = (L[0][0] * L[2][2] - L[0][2] * L[2][0]) / det;
  inv.L[1][2] = (L[0][2] * L[1][0] - L[0][0] * L[1][2]) / det;
  inv.L[2][0] = (L[1][0] * L[2][1] - L[1][1] * L[2][0]) / det;
  inv.L[2][1] = (L[0][1] * L[2][0] - L[0][0] * L[2][1]) / det;
  inv.L[2][2] = (L[0][0] * L[1][1] - L[0][1] * L[1][0]) / det;
  AMatrix = Pack(inv);
}

// ---- The eight filters ----------------------------------------------------------------------------

RTL_DEFINE_CLASS_META(TVantrelTransformFilter, "Vantrel.Filter.Custom", ui::TFilterClass)
RTL_DEFINE_CLASS_META(TVantrelAffineFilter, "Vantrel.Filter.Custom", ui::TFilterClassOf<TVantrelAffineFilter>)
RTL_DEFINE_CLASS_META(TVantrelPerspectiveFilter, "Vantrel.Filter.Custom",
                      ui::TFilterClassOf<TVantrelPerspectiveFilter>)
RTL_DEFINE_CLASS_META(TVantrelCropFilter, "Vantrel.Filter.Custom", ui::TFilterClassOf<TVantrelCropFilter>)
RTL_DEFINE_CLASS_META(TVantrelGaussianBlurFilter, "Vantrel.Filter.Custom",
                      ui::TFilterClassOf<TVantrelGaussianBlurFilter>)
RTL_DEFINE_CLASS_META(TVantrelGlowFilter, "Vantrel.Filter.Custom", ui::TFilterClassOf<TVantrelGlowFilter>)
RTL_DEFINE_CLASS_META(TVantrelInnerGlowFilter, "Vantrel.Filter.Custom", ui::TFilterClassOf<TVantrelInnerGlowFilter>)
RTL_DEFINE_CLASS_META(TVantrelReflectionFilter, "Vantrel.Filter.Custom",
                      ui::TFilterClassOf<TVantrelReflectionFilter>)
RTL_DEFINE_CLASS_META(TVantrelSwipeFilter, "Vantrel.Filter.Custom", ui::TFilterClassOf<TVantrelSwipeFilter>)

namespace {

using ui::TContextShaderSource;
using ui::TContextShaderVariable;
using ui::TContextShaderVariableKind;
using ui::TFilterValueRec;

constexpr rtl::TPointF PointMin{0, 0};
constexpr rtl::TPointF PointMax{65535, 65535};
constexpr float DegreesToRadians = 0.017453292f;

TContextShaderVariable Texture(const char* AName, int32_t AIndex) {
  return {AName, TContextShaderVariableKind::Texture, AIndex, 0};
}

TContextShaderVariable Uniform(const char* AName, TContextShaderVariableKind AKind) {
  return {AName, AKind, 0, 1};
}

TContextShaderSource Source(ui::TContextShaderArch AArch, std::string_view AText,
                            std::vector<TContextShaderVariable> AVariables) {
  TContextShaderSource source;
  source.Arch = AArch;
  source.Code.assign(AText.begin(), AText.end());
  source.Variables = std::move(AVariables);
  return source;
}

TContextShaderSource Glsl(std::string_view AText, std::vector<TContextShaderVariable> AVariables) {
  return Source(ui::TContextShaderArch::GLSL, AText, std::move(AVariables));
}

constexpr TContextShaderVariableKind Float = TContextShaderVariableKind::Float;
constexpr TContextShaderVariableKind Float2 = TContextShaderVariableKind::Float2;
constexpr TContextShaderVariableKind Float3 = TContextShaderVariableKind::Float3;
constexpr TContextShaderVariableKind Vector = TContextShaderVariableKind::Vector;

rtl::TMatrix Translation(float AX, float AY) {
  rtl::TMatrix m = Identity();
  m.m13 = AX;
  m.m23 = AY;
  return m;
}

rtl::TMatrix Scaling(float AX, float AY) {
  rtl::TMatrix m = Identity();
  m.m11 = AX;
  m.m22 = AY;
  return m;
}

// The blur and glow families' "Width": the axis length over BlurAmount (over ADivisor).
float PassWidth(int32_t APass, int32_t AWidth, int32_t AHeight, float ABlurAmount) {
  return float(APass == 0 ? AWidth : AHeight) / ABlurAmount;
}

// The filter textures: RGBA8, sampled with Linear filtering and clamped to their edges, so that a
// tap at coordinate 0 or 1 reads only the edge texel.
ui::TTexture* NewFilterTexture() {
  TVantrelTexture* texture = TVantrelTexture::Create();
  texture->SetWrapS(TVantrelTextureWrap::ClampToEdge);
  texture->SetWrapT(TVantrelTextureWrap::ClampToEdge);
  return texture;
}

int FilterCustomInitCount = 0;

} // namespace

// ---- Affine and perspective ---------------------------------------------------------------------------

TVantrelTransformFilter::TVantrelTransformFilter() : FMatrix(Identity()), FInvMatrix(Identity()) {
  FAntiAlise = true;
}

void TVantrelTransformFilter::CalcSize(int32_t& AWidth, int32_t& AHeight) {
  const int32_t width = AWidth, height = AHeight;
  CalcMatrix(width, height);
  float maxX = -100, maxY = -100, minX = 100, minY = 100;
  for (const rtl::TPointF corner : {rtl::TPointF{1, 1}, rtl::TPointF{0, 1}, rtl::TPointF{0, 0}, rtl::TPointF{1, 0}}) {
    const rtl::TPointF p = FilterMatrixTransform(corner, FMatrix);
    maxX = std::max(maxX, p.X);
    maxY = std::max(maxY, p.Y);
    minX = std::min(minX, p.X);
    minY = std::min(minY, p.Y);
  }
  AWidth = int32_t(rtl::Round(double(maxX - minX) * width));
  AHeight = int32_t(rtl::Round(double(maxY - minY) * height));
  rtl::TMatrix fit = Identity();
  fit.m11 = AWidth == 0 ? 0 : float(width) / float(AWidth);
  fit.m22 = AHeight == 0 ? 0 : float(height) / float(AHeight);
  fit.m13 = -minX * fit.m11;
  fit.m23 = -minY * fit.m22;
  FMatrix = FilterMatrixMultiply(FMatrix, fit);
  FInvMatrix = FMatrix;
  FilterMatrixInvert(FInvMatrix);
}

TVantrelAffineFilter::TVantrelAffineFilter() {
  RegisterPass(0, "affine.fps",
               {Glsl(SAffineFilterText, {Texture("Input", 0), Uniform("Matrix1", Float3), Uniform("Matrix2", Float3)})});
}

ui::TFilterRec TVantrelAffineFilter::ClassFilterAttr() {
  return {"AffineTransform",
          "Applies an affine transform to an image.",
          {TFilterValueRec::Point("Center", "The center point of the rotation.", {150, 150}, PointMin, PointMax),
           TFilterValueRec::Float("Rotation", "Rotation angle in degrees.", 0, -180, 180),
           TFilterValueRec::Float("Scale", "Scale value as floating.", 1, 0.05f, 4)}};
}

void TVantrelAffineFilter::CalcMatrix(int32_t AWidth, int32_t AHeight) {
  const float w = float(AWidth), h = float(AHeight);
  const rtl::TPointF center = PointValue("Center");
  const float angle = FloatValue("Rotation") * DegreesToRadians;
  const float scale = FloatValue("Scale");
  rtl::TMatrix rotation = Identity();
  rotation.m11 = std::cos(angle);
  rotation.m12 = std::sin(angle);
  rotation.m21 = -std::sin(angle);
  rotation.m22 = std::cos(angle);
  FMatrix = Identity();
  FMatrix = FilterMatrixMultiply(FMatrix, Translation(-center.X / w, -center.Y / h));
  FMatrix = FilterMatrixMultiply(FMatrix, Scaling(w, h));
  FMatrix = FilterMatrixMultiply(FMatrix, rotation);
  FMatrix = FilterMatrixMultiply(FMatrix, Scaling(1 / w, 1 / h));
  FMatrix = FilterMatrixMultiply(FMatrix, Translation(center.X / w, center.Y / h));
  FMatrix = FilterMatrixMultiply(FMatrix, Scaling(scale, scale));
}

void TVantrelAffineFilter::LoadShaders() {
  ActivateShaders();
  SetVector("Matrix1", FInvMatrix.m11, FInvMatrix.m21, FInvMatrix.m13);
  SetVector("Matrix2", FInvMatrix.m12, FInvMatrix.m22, FInvMatrix.m23);
}

TVantrelPerspectiveFilter::TVantrelPerspectiveFilter() {
  RegisterPass(0, "projective.fps",
               {Glsl(SPerspectiveFilterText, {Texture("Input", 0), Uniform("Matrix1", Float3),
                                              Uniform("Matrix2", Float3), Uniform("Matrix3", Float3)})});
}

ui::TFilterRec TVantrelPerspectiveFilter::ClassFilterAttr() {
  return {"PerspectiveTransform",
          "Applies an perspective transform to an image.",
          {TFilterValueRec::Point("TopLeft", "Top left point of result transformation.", {0, 0}, PointMin, PointMax),
           TFilterValueRec::Point("TopRight", "Top right point of result transformation.", {300, 0}, PointMin,
                                  PointMax),
           TFilterValueRec::Point("BottomRight", "Bottom right point of result transformation.", {350, 300},
                                  PointMin, PointMax),
           TFilterValueRec::Point("BottomLeft", "Bottom left point of result transformation.", {0, 300}, PointMin,
                                  PointMax)}};
}

void TVantrelPerspectiveFilter::CalcMatrix(int32_t AWidth, int32_t AHeight) {
  const float w = float(AWidth), h = float(AHeight);
  const auto corner = [&](const char* AName) {
    const rtl::TPointF p = PointValue(AName);
    return rtl::TPointF{p.X / w, p.Y / h};
  };
  const rtl::TPointF p0 = corner("TopLeft"), p1 = corner("TopRight"), p2 = corner("BottomRight"),
                     p3 = corner("BottomLeft");
  const float den = (p1.X - p2.X) * (p3.Y - p2.Y) - (p3.X - p2.X) * (p1.Y - p2.Y);
  const float sx = p0.X - p1.X + p2.X - p3.X;
  const float sy = p0.Y - p1.Y + p2.Y - p3.Y;
  if (den == 0) {
    FMatrix = rtl::TMatrix{};
    return;
  }
  const float g = (sx * (p3.Y - p2.Y) - sy * (p3.X - p2.X)) / den;
  const float hh = ((p1.X - p2.X) * sy - (p1.Y - p2.Y) * sx) / den;
  FMatrix.m11 = p1.X - p0.X + g * p1.X;
  FMatrix.m12 = p1.Y - p0.Y + g * p1.Y;
  FMatrix.m13 = p0.X;
  FMatrix.m21 = p3.X - p0.X + hh * p3.X;
  FMatrix.m22 = p3.Y - p0.Y + hh * p3.Y;
  FMatrix.m23 = p0.Y;
  FMatrix.m31 = g;
  FMatrix.m32 = hh;
  FMatrix.m33 = 1;
}

void TVantrelPerspectiveFilter::LoadShaders() {
  ActivateShaders();
  SetVector("Matrix1", FInvMatrix.m11, FInvMatrix.m21, FInvMatrix.m13);
  SetVector("Matrix2", FInvMatrix.m12, FInvMatrix.m22, FInvMatrix.m23);
  SetVector("Matrix3", FInvMatrix.m31, FInvMatrix.m32, FInvMatrix.m33);
}

// ---- Crop ---------------------------------------------------------------------------------------------

TVantrelCropFilter::TVantrelCropFilter() {
  RegisterPass(0, "crop.fps",
               {Glsl(SCropFilterText, {Texture("Input", 0), Uniform("LeftTop", Float2), Uniform("RightBottom", Float2)})});
}

ui::TFilterRec TVantrelCropFilter::ClassFilterAttr() {
  return {"Crop",
          "The size and shape of the cropped image depend on the rectangle you specify.",
          {TFilterValueRec::Point("LeftTop", "Left-top corner of cropping rect", {0, 0}, PointMin, PointMax),
           TFilterValueRec::Point("RightBottom", "Left-top corner of cropping rect", {150, 150}, PointMin, PointMax)}};
}

void TVantrelCropFilter::CalcSize(int32_t& AWidth, int32_t& AHeight) {
  const rtl::TPointF leftTop = PointValue("LeftTop"), rightBottom = PointValue("RightBottom");
  AWidth = int32_t(rtl::Round(double(rightBottom.X - leftTop.X)));
  AHeight = int32_t(rtl::Round(double(rightBottom.Y - leftTop.Y)));
}

// ---- Gaussian blur, glow and inner glow ------------------------------------------------------------

TVantrelGaussianBlurFilter::TVantrelGaussianBlurFilter() {
  RegisterPass(0, "gaussianblurh.fps", {Glsl(SGaussianBlurHFilterText, {Texture("Input", 0), Uniform("Width", Float)})});
  RegisterPass(1, "gaussianblurv.fps", {Glsl(SGaussianBlurVFilterText, {Texture("Input", 0), Uniform("Width", Float)})});
  FPassCount = 2;
}

ui::TFilterRec TVantrelGaussianBlurFilter::ClassFilterAttr() {
  return {"GaussianBlur",
          "An effect that GaussianBlurs.",
          {TFilterValueRec::Float("BlurAmount", "The GaussianBlur factor.", 1, 0.01f, 10)}};
}

void TVantrelGaussianBlurFilter::LoadShaders() {
  ActivateShaders();
  const float width = PassWidth(FPass, InputWidth(), InputHeight(), FloatValue("BlurAmount"));
  SetVector("Width", width, width, width, width);
}

TVantrelGlowFilter::TVantrelGlowFilter() : TVantrelGlowFilter("glowh.fps", SGlowHFilterText) {
  RegisterPass(1, "glowv.fps",
               {Glsl(SGlowVFilterText, {Texture("Input", 0), Uniform("Width", Float), Uniform("FillColor", Vector)})});
}

TVantrelGlowFilter::TVantrelGlowFilter(const char* AHorizontalName, std::string_view AHorizontalText) {
  RegisterPass(0, AHorizontalName, {Glsl(AHorizontalText, {Texture("Input", 0), Uniform("Width", Float)})});
  FPassCount = 2;
}

ui::TFilterRec TVantrelGlowFilter::ClassFilterAttr() {
  return {"GlowFilter",
          "An effect that add glow.",
          {TFilterValueRec::Float("BlurAmount", "The blur factor.", 0.7f, 0.01f, 10),
           TFilterValueRec::Color("Color", "The glow color.", 0xFFFFD700, 0, 0)}};
}

void TVantrelGlowFilter::LoadShaders() {
  ActivateShaders();
  const float width = PassWidth(FPass, InputWidth(), InputHeight(), FloatValue("BlurAmount")) / 1.5f;
  SetVector("Width", width, width, width, width);
  if (FPass == 1) {
    const rtl::TAlphaColorF color =
        rtl::TAlphaColorF::Create(static_cast<rtl::TAlphaColor>(GetValue("Color").AsInt64()));
    SetVector("FillColor", color.R, color.G, color.B, color.A);
  }
}

TVantrelInnerGlowFilter::TVantrelInnerGlowFilter() : TVantrelGlowFilter("innerglowh.fps", SInnerGlowHFilterText) {
  const std::vector<TContextShaderVariable> variables = {Texture("Input", 0), Texture("Original", 1),
                                                         Uniform("Width", Float), Uniform("FillColor", Vector)};
  RegisterPass(1, "innerglowv.fps",
               {Glsl(SInnerGlowVFilterText, variables),
                Source(ui::TContextShaderArch::Mac, SInnerGlowVMacFilterText, variables)});
}

ui::TFilterRec TVantrelInnerGlowFilter::ClassFilterAttr() {
  ui::TFilterRec result = TVantrelGlowFilter::ClassFilterAttr();
  result.Name = "InnerGlowFilter";
  return result;
}

void TVantrelInnerGlowFilter::LoadShaders() {
  inherited::LoadShaders();
  if (FPass == 1 && PassContext())
    PassContext()->SetShaderVariable("Original", FInput);
}

// ---- Reflection -----------------------------------------------------------------------------------------

TVantrelReflectionFilter::TVantrelReflectionFilter() {
  RegisterPass(0, "Reflection.fps",
               {Glsl(SReflectionFilterText, {Texture("Input", 0), Uniform("Opacity", Float), Uniform("Length", Float)})});
}

ui::TFilterRec TVantrelReflectionFilter::ClassFilterAttr() {
  return {"ReflectionFilter",
          "An reflection effect.",
          {TFilterValueRec::Float("Opacity", "The opacity of result image.", 1, 0, 1),
           TFilterValueRec::Float("Length", "The length of reflection.", 0.5f, 0, 1)}};
}

// ---- Swipe ------------------------------------------------------------------------------------------------

TVantrelSwipeFilter::TVantrelSwipeFilter() {
  RegisterPass(0, "SwipeFlatTransition.fps",
               {Glsl(SSwipeFilterText,
                     {Uniform("APoint", Float2), Uniform("A1Point", Float2), Uniform("BPoint", Float2),
                      Uniform("CPoint", Float2), Uniform("LineAB", Float2), Uniform("LineAB1", Float2),
                      Uniform("K", Float), Uniform("Len", Float), Texture("Input", 0), Texture("Target", 1),
                      Texture("Back", 2)})});
  FNeedInternalSecondTex.clear();
}

ui::TFilterRec TVantrelSwipeFilter::ClassFilterAttr() {
  return {"SwipeTransition",
          "A swipe transition effect.",
          {TFilterValueRec::Point("MousePoint", "The point of coursor", {5, 5}, PointMin, PointMax),
           TFilterValueRec::Point("CornerPoint", "The point of corner", {0, 0}, PointMin, PointMax),
           TFilterValueRec::Float("Deep", "The deep of fold", 50, 0, 100),
           TFilterValueRec::Bitmap("Target", "Target desription"),
           TFilterValueRec::Bitmap("Back", "Back page texture")}};
}

void TVantrelSwipeFilter::CalcSize(int32_t& AWidth, int32_t& AHeight) {
  if (AWidth == 0 || AHeight == 0)
    return;
  const float w = float(AWidth), h = float(AHeight);
  FK = w / h;
  FAPoint = PointValue("MousePoint");
  const auto keepInside = [](float& ACoordinate, float ALimit) {
    if (ACoordinate == ALimit)
      ACoordinate = ALimit - 0.1f;
    else if (ACoordinate == 0)
      ACoordinate = 0.1f;
  };
  keepInside(FAPoint.X, w);
  keepInside(FAPoint.Y, h);
  const rtl::TPointF corner = PointValue("CornerPoint");
  FA1Point = {corner.X - w / 2 > 0 ? w : 0, corner.Y - h / 2 > 0 ? h : 0};
  FLength = FloatValue("Deep");

  rtl::TPointF m{(FAPoint.X + FA1Point.X) / 2, (FAPoint.Y + FA1Point.Y) / 2};
  if (m.X < 0 || m.X > w || m.Y < 0 || m.Y > h) {
    // The fold point lies outside: it is moved back into the image along the corner's lines.
    const rtl::TPointF c = FA1Point;
    rtl::TPointF o{0, 0};
    if (c.X > m.X && m.X < 0)
      o.X = w;
    if (c.Y > m.Y && m.Y < 0)
      o.Y = h;
    if (m.X > c.X && m.X > w)
      o.X = -w;
    if (m.Y > c.Y && m.Y > h)
      o.Y = -h;
    const rtl::TPointF b{c.X + o.X, c.Y + o.Y};
    const rtl::TPointF d{m.X - c.X, m.Y - c.Y};
    const float f = -d.X / d.Y;
    const float e = d.Y / d.X;
    const float g = b.Y - b.X * e;
    const float qx = (m.Y - m.X * f - g) / (e - f);
    const rtl::TPointF q{qx, e * qx + g};
    FAPoint = {2 * q.X - b.X, 2 * q.Y - b.Y};
    FA1Point = b;
    m = {(FAPoint.X + FA1Point.X) / 2, (FAPoint.Y + FA1Point.Y) / 2};
  }

  const rtl::TPointF half{(FAPoint.X - FA1Point.X) / 2, (FAPoint.Y - FA1Point.Y) / 2};
  if (half.Y == 0)
    return;
  const float a = -half.X / half.Y;
  const float c = m.Y - m.X * a;
  FBPoint = {FA1Point.X, a * FA1Point.X + c};
  if (a == 0)
    return;
  FCPoint = {(FA1Point.Y - c) / a, FA1Point.Y};

  const float halfLength = std::hypot(half.X, half.Y);
  const rtl::TPointF p{m.X + FLength * half.X / halfLength, m.Y + FLength * half.Y / halfLength};

  for (rtl::TPointF* point : {&FAPoint, &FA1Point, &FBPoint, &FCPoint})
    *point = {point->X / w, point->Y / h};
  FLineAB = {a * w / h, c / h};
  FLineAB1 = {a * w / h, (p.Y - p.X * a) / h};
  FK = w / h;
  FLength = FloatValue("Deep") / w;
}

void TVantrelSwipeFilter::LoadShaders() {
  ActivateShaders();
  for (const auto& [name, point] : {std::pair{"APoint", FAPoint}, std::pair{"A1Point", FA1Point},
                                    std::pair{"BPoint", FBPoint}, std::pair{"CPoint", FCPoint},
                                    std::pair{"LineAB", FLineAB}, std::pair{"LineAB1", FLineAB1}})
    SetVector(name, point.X, point.Y);
  SetVector("K", FK, FK, FK, FK);
  SetVector("Len", FLength, FLength, FLength, FLength);
  LoadValues();
}

// ---- Registration -----------------------------------------------------------------------------------------

void TFilterManagerHack::ReregisterFilters() {
  ui::TFilterManager::UnInitialize();
  ui::TFilterManager::RegisterFilter("Geometry", TVantrelAffineFilter::StaticClass());
  ui::TFilterManager::RegisterFilter("Geometry", TVantrelPerspectiveFilter::StaticClass());
  ui::TFilterManager::RegisterFilter("Geometry", TVantrelCropFilter::StaticClass());
  ui::TFilterManager::RegisterFilter("Blur", TVantrelGaussianBlurFilter::StaticClass());
  ui::TFilterManager::RegisterFilter("Style", TVantrelGlowFilter::StaticClass());
  ui::TFilterManager::RegisterFilter("Style", TVantrelInnerGlowFilter::StaticClass());
  ui::TFilterManager::RegisterFilter("Style", TVantrelReflectionFilter::StaticClass());
  ui::TFilterManager::RegisterFilter("Transition", TVantrelSwipeFilter::StaticClass());
}

void InitializeFilterCustom() {
  if (FilterCustomInitCount++ > 0)
    return;
  ui::TFilterManager::SetTextureFactory(&NewFilterTexture);
  TFilterManagerHack::ReregisterFilters();
}

void FinalizeFilterCustom() {
  if (FilterCustomInitCount == 0 || --FilterCustomInitCount > 0)
    return;
  ui::TFilterManager::UnInitialize();
  ui::TFilterManager::SetTextureFactory(nullptr);
}

} // namespace vantrel
