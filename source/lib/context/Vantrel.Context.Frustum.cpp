#include "context/Vantrel.Context.Frustum.h"

#include <cmath>
#include <numbers>

#include "rtl/exceptions.h"
#include "utils/Vantrel.Utils.Math.h"

namespace vantrel {

namespace {

enum TCorner {
  FarTopLeft,
  FarTopRight,
  FarBottomLeft,
  FarBottomRight,
  NearTopLeft,
  NearTopRight,
  NearBottomLeft,
  NearBottomRight
};
enum TPlane { PlaneTop, PlaneBottom, PlaneLeft, PlaneRight, PlaneNear, PlaneFar };

// The geometry's vertices, in corner terms: the near rectangle, then the far one, each clockwise
// from top left.
constexpr TCorner kGeometryCorners[8] = {NearTopLeft, NearTopRight, NearBottomRight, NearBottomLeft,
                                         FarTopLeft,  FarTopRight,  FarBottomRight,  FarBottomLeft};
// 24 lines: the near and far rectangles, then the four sides, each as a closed loop.
constexpr uint16_t kGeometryIndices[48] = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4,
                                           1, 2, 2, 6, 6, 5, 5, 1, 0, 3, 3, 7, 7, 4, 4, 0,
                                           0, 1, 1, 5, 5, 4, 4, 0, 2, 3, 3, 7, 7, 6, 6, 2};

double SignedDistance(const TVector3D& APlane, const TPoint3D& APoint) {
  return double(APlane.X) * APoint.X + double(APlane.Y) * APoint.Y + double(APlane.Z) * APoint.Z + APlane.W;
}

bool IsInside(const TVector3D& APlane, const TPoint3D& APoint) {
  return SignedDistance(APlane, APoint) > 0;
}

void CheckGeometryTargets(const TVertexBuffer* AVertexBuffer, const TIndexBuffer* AIndexBuffer) {
  if (AVertexBuffer && !AVertexBuffer->Format().Contains(TVertexFormat::Vertex))
    throw EArgumentException("Frustum geometry needs a vertex buffer with positions");
  if (AVertexBuffer && AVertexBuffer->Length() < int32_t(std::size(kGeometryCorners)))
    throw EArgumentException("Frustum geometry needs a vertex buffer of at least 8 vertices");
  if (AIndexBuffer && AIndexBuffer->Length() < int32_t(std::size(kGeometryIndices)))
    throw EArgumentException("Frustum geometry needs an index buffer of at least 48 indices");
}

} // namespace

TVantrelFrustum TVantrelFrustum::Create(const TMatrix3D& AProjMatrix, const TMatrix3D& AViewMatrix,
                                        const TPoint3D& ACamPos) {
  TPoint3D position, direction, up, right;
  DecomposeViewMatrix(AViewMatrix, position, direction, up, right);
  return Create(AProjMatrix, ACamPos, direction, up, right);
}

TVantrelFrustum TVantrelFrustum::Create(float AFOV, float AAspectRatio, float ANearDist, float AFarDist,
                                        const TPoint3D& ACameraPos, const TPoint3D& ACameraDir,
                                        const TPoint3D& AUp, const TPoint3D& ARight) {
  TVantrelFrustum result;
  result.Calculate(AFOV, AAspectRatio, ANearDist, AFarDist, ACameraPos, ACameraDir, AUp, ARight);
  return result;
}

TVantrelFrustum TVantrelFrustum::Create(const TMatrix3D& AProjMatrix, const TPoint3D& ACameraPos,
                                        const TPoint3D& ACameraDir, const TPoint3D& AUp,
                                        const TPoint3D& ARight) {
  TVantrelFrustum result;
  result.Calculate(AProjMatrix, ACameraPos, ACameraDir, AUp, ARight);
  return result;
}

void TVantrelFrustum::Calculate(float AFOV, float AAspectRatio, float ANearDist, float AFarDist,
                                const TPoint3D& ACameraPos, const TPoint3D& ACameraDir, const TPoint3D& AUp,
                                const TPoint3D& ARight) {
  FFOV = AFOV;
  FRatio = AAspectRatio;
  FNearD = ANearDist;
  FFarD = AFarDist;
  FPos = ACameraPos;
  FDir = ACameraDir;
  FUp = AUp;
  FRight = ARight;

  const float tang = f32(std::tan(double(FFOV) * std::numbers::pi / 360));
  FNearH = f32(double(FNearD) * 2 * tang);
  FNearW = f32(double(FNearH) * FRatio);
  FFarH = f32(double(FFarD) * 2 * tang);
  FFarW = f32(double(FFarH) * FRatio);

  const auto rectangle = [this](const TPoint3D& ACentre, float AHeight, float AWidth, TCorner ATopLeft) {
    const TPoint3D up = FUp * f32(AHeight / 2.0), right = FRight * f32(AWidth / 2.0);
    FCorners[ATopLeft] = ACentre + up - right;
    FCorners[ATopLeft + 1] = ACentre + up + right;
    FCorners[ATopLeft + 2] = ACentre - up - right;
    FCorners[ATopLeft + 3] = ACentre - up + right;
  };
  rectangle(FPos + FDir * FNearD, FNearH, FNearW, NearTopLeft);
  rectangle(FPos + FDir * FFarD, FFarH, FFarW, FarTopLeft);

  const TFrustumCorners& c = FCorners;
  FPlanes[PlaneTop] = PlaneFromPoints(c[NearTopRight], c[NearTopLeft], c[FarTopLeft]);
  FPlanes[PlaneBottom] = PlaneFromPoints(c[NearBottomLeft], c[NearBottomRight], c[FarBottomRight]);
  FPlanes[PlaneLeft] = PlaneFromPoints(c[NearTopLeft], c[NearBottomLeft], c[FarBottomLeft]);
  FPlanes[PlaneRight] = PlaneFromPoints(c[NearBottomRight], c[NearTopRight], c[FarBottomRight]);
  FPlanes[PlaneNear] = PlaneFromPoints(c[NearTopLeft], c[NearTopRight], c[NearBottomRight]);
  FPlanes[PlaneFar] = PlaneFromPoints(c[FarTopRight], c[FarTopLeft], c[FarBottomLeft]);
}

void TVantrelFrustum::Calculate(const TMatrix3D& AProjMatrix, const TPoint3D& ACameraPos,
                                const TPoint3D& ACameraDir, const TPoint3D& AUp, const TPoint3D& ARight) {
  const double m11 = AProjMatrix.m11, m22 = AProjMatrix.m22, m33 = AProjMatrix.m33, m43 = AProjMatrix.m43;
  const float fov = f32(std::atan(1 / m22) * 360 / std::numbers::pi);
  const float ratio = f32(m22 / m11);
  // For a projection with near n and far f this gives n.f / (2f - n), about half of n: a slightly
  // deeper volume that culls nothing visible.
  const float nearDist = f32(2 * m43 / (2 * m33 - 2));
  const float farDist = f32((m33 - 1) * nearDist / (m33 + 1));
  Calculate(fov, ratio, nearDist, farDist, ACameraPos, ACameraDir, AUp, ARight);
}

void TVantrelFrustum::Calculate(const TMatrix3D& AProjMatrix, const TMatrix3D& AViewMatrix) {
  TPoint3D position, direction, up, right;
  DecomposeViewMatrix(AViewMatrix, position, direction, up, right);
  Calculate(AProjMatrix, position, direction, up, right);
}

TVector3D TVantrelFrustum::PlaneFromPoints(const TPoint3D& A, const TPoint3D& B, const TPoint3D& C) {
  const TPoint3D normal = (B - A).CrossProduct(C - A).Normalize();
  return {normal.X, normal.Y, normal.Z, -normal.DotProduct(A)};
}

void TVantrelFrustum::NormalizePlane(TVantrelFrustumType& AFrustum, int32_t ASide) {
  if (ASide < 0 || ASide >= int32_t(AFrustum.size()))
    throw ERangeError(messages::RangeError);
  TVector3D& plane = AFrustum[ASide];
  const double length =
      std::sqrt(double(plane.X) * plane.X + double(plane.Y) * plane.Y + double(plane.Z) * plane.Z);
  // A degenerate plane has no direction to scale to; dividing would fill it with NaN.
  if (length == 0)
    return;
  plane = {f32(plane.X / length), f32(plane.Y / length), f32(plane.Z / length), f32(plane.W / length)};
}

bool TVantrelFrustum::IsPointInFrustum(const TPoint3D& APoint) const {
  TVector3D plane;
  return IsPointInFrustum(APoint, plane);
}

bool TVantrelFrustum::IsPointInFrustum(const TPoint3D& APoint, TVector3D& APlane) const {
  for (const TVector3D& plane : FPlanes)
    if (!IsInside(plane, APoint)) {
      APlane = plane;
      return false;
    }
  APlane = {0, 0, 0, 0};
  return true;
}

bool TVantrelFrustum::IsAABBInFrustum(const TBoundingBox& ABox) const {
  const TPoint3D corners[8] = {{ABox.Left, ABox.Top, ABox.Near},     {ABox.Left, ABox.Top, ABox.Far},
                               {ABox.Left, ABox.Bottom, ABox.Near},  {ABox.Left, ABox.Bottom, ABox.Far},
                               {ABox.Right, ABox.Top, ABox.Near},    {ABox.Right, ABox.Top, ABox.Far},
                               {ABox.Right, ABox.Bottom, ABox.Near}, {ABox.Right, ABox.Bottom, ABox.Far}};
  for (const TVector3D& plane : FPlanes) {
    bool someInside = false, someOutside = false;
    for (const TPoint3D& corner : corners) {
      if (IsInside(plane, corner))
        someInside = true;
      else
        someOutside = true;
      if (someInside && someOutside)
        return true;
    }
    if (!someInside)
      return false;
  }
  return true;
}

bool TVantrelFrustum::IsSphereInFrustum(const TPoint3D& ACenter, float ARadius) const {
  for (const TVector3D& plane : FPlanes)
    if (SignedDistance(plane, ACenter) <= -double(ARadius))
      return false;
  return true;
}

bool TVantrelFrustum::IsCubeInFrustum(const TPoint3D& ACenter, float ASize) const {
  const TPoint3D low = ACenter - TPoint3D{ASize, ASize, ASize};
  const TPoint3D high = ACenter + TPoint3D{ASize, ASize, ASize};
  const TPoint3D corners[8] = {{low.X, low.Y, low.Z},   {high.X, low.Y, low.Z},  {low.X, high.Y, low.Z},
                               {high.X, high.Y, low.Z}, {low.X, low.Y, high.Z},  {high.X, low.Y, high.Z},
                               {low.X, high.Y, high.Z}, {high.X, high.Y, high.Z}};
  for (const TVector3D& plane : FPlanes) {
    bool passed = false;
    for (const TPoint3D& corner : corners)
      if (IsInside(plane, corner)) {
        passed = true;
        break;
      }
    if (!passed)
      return false;
  }
  return true;
}

TBoundingBox TVantrelFrustum::ToBoundingBox() const {
  return TBoundingBox::Create(FCorners);
}

void TVantrelFrustum::ToGeometry(TVertexBuffer*& AVertexBuffer, TIndexBuffer*& AIndexBuffer) const {
  CheckGeometryTargets(AVertexBuffer, AIndexBuffer);
  TOwned<TVertexBuffer> newVertices;
  TOwned<TIndexBuffer> newIndices;
  if (!AVertexBuffer)
    newVertices =
        MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex}, int32_t(std::size(kGeometryCorners)));
  if (!AIndexBuffer)
    newIndices = MakeOwned<TIndexBuffer>(int32_t(std::size(kGeometryIndices)), TIndexFormat::UInt16);
  TVertexBuffer& vertices = newVertices ? *newVertices : *AVertexBuffer;
  TIndexBuffer& indices = newIndices ? *newIndices : *AIndexBuffer;
  for (int32_t i = 0; i < int32_t(std::size(kGeometryCorners)); ++i)
    vertices.SetVertices(i, FCorners[kGeometryCorners[i]]);
  for (int32_t i = 0; i < int32_t(std::size(kGeometryIndices)); ++i)
    indices.SetIndices(i, kGeometryIndices[i]);
  if (newVertices)
    AVertexBuffer = newVertices.release();
  if (newIndices)
    AIndexBuffer = newIndices.release();
}

} // namespace vantrel
