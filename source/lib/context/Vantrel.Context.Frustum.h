#pragma once
// The camera's view volume as six planes and eight corners, a value record copied freely. A point
// p is inside a plane (normal n, distance W; normals point inwards) when n . p + W > 0, strictly.

#include <array>
#include <cstdint>

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

// Far top left, far top right, far bottom left, far bottom right, then the near corners likewise.
using TFrustumCorners = std::array<TPoint3D, 8>;
// Top, bottom, left, right, near, far; (X, Y, Z) is the normal and W the distance.
using TVantrelFrustumType = std::array<TVector3D, 6>;

class TVantrelFrustum {
public:
  // The camera axes come from the view matrix; ACamPos is the position.
  static TVantrelFrustum Create(const TMatrix3D& AProjMatrix, const TMatrix3D& AViewMatrix,
                                const TPoint3D& ACamPos);
  // AFOV is the vertical field of view in degrees.
  static TVantrelFrustum Create(float AFOV, float AAspectRatio, float ANearDist, float AFarDist,
                                const TPoint3D& ACameraPos, const TPoint3D& ACameraDir, const TPoint3D& AUp,
                                const TPoint3D& ARight);
  static TVantrelFrustum Create(const TMatrix3D& AProjMatrix, const TPoint3D& ACameraPos,
                                const TPoint3D& ACameraDir, const TPoint3D& AUp, const TPoint3D& ARight);

  void Calculate(float AFOV, float AAspectRatio, float ANearDist, float AFarDist, const TPoint3D& ACameraPos,
                 const TPoint3D& ACameraDir, const TPoint3D& AUp, const TPoint3D& ARight);
  // Field of view, ratio, near and far from a right-handed perspective projection.
  void Calculate(const TMatrix3D& AProjMatrix, const TPoint3D& ACameraPos, const TPoint3D& ACameraDir,
                 const TPoint3D& AUp, const TPoint3D& ARight);
  // As above, the camera position and axes taken from the view matrix.
  void Calculate(const TMatrix3D& AProjMatrix, const TMatrix3D& AViewMatrix);

  // The plane through three points, normal (B - A) x (C - A) normalised (a zero normal stays zero).
  static TVector3D PlaneFromPoints(const TPoint3D& A, const TPoint3D& B, const TPoint3D& C);
  static void NormalizePlane(TVantrelFrustumType& AFrustum, int32_t ASide);
  void Normalize(int32_t ASide) { NormalizePlane(FPlanes, ASide); }

  bool IsPointInFrustum(const TPoint3D& APoint) const;
  // APlane is the first plane the point fails, or (0, 0, 0, 0) when it is inside.
  bool IsPointInFrustum(const TPoint3D& APoint, TVector3D& APlane) const;
  // Visible as soon as the box straddles the first plane it is tested against, even when a later
  // plane would reject it; callers treat that as a cheap, conservative answer.
  bool IsAABBInFrustum(const TBoundingBox& ABox) const;
  // Spheres crossing a plane count as inside; one touching it from outside does not.
  bool IsSphereInFrustum(const TPoint3D& ACenter, float ARadius) const;
  // ASize is half the edge length.
  bool IsCubeInFrustum(const TPoint3D& ACenter, float ASize) const;
  TBoundingBox ToBoundingBox() const;
  // Writes the eight corners (near rectangle, then far) and the 48 indices of 24 lines. A null
  // buffer is created (8 positions; 48 16-bit indices) and the caller owns and frees it. A given
  // buffer keeps its size and format; it must hold a position element and at least 8 vertices,
  // or 48 indices, else EArgumentException is raised before anything is written.
  void ToGeometry(TVertexBuffer*& AVertexBuffer, TIndexBuffer*& AIndexBuffer) const;

  const TVantrelFrustumType& Planes() const { return FPlanes; }
  const TFrustumCorners& Corners() const { return FCorners; }
  float FOV() const { return FFOV; }
  float Ratio() const { return FRatio; }
  float NearDistance() const { return FNearD; }
  float FarDistance() const { return FFarD; }
  float NearHeight() const { return FNearH; }
  float NearWidth() const { return FNearW; }
  float FarHeight() const { return FFarH; }
  float FarWidth() const { return FFarW; }
  const TPoint3D& Position() const { return FPos; }
  const TPoint3D& Direction() const { return FDir; }
  const TPoint3D& Up() const { return FUp; }
  const TPoint3D& Right() const { return FRight; }

private:
  float FFOV = 0;
  float FRatio = 0;
  float FNearD = 0;
  float FFarD = 0;
  TPoint3D FPos;
  TPoint3D FDir;
  TPoint3D FUp;
  TPoint3D FRight;
  float FNearH = 0;
  float FNearW = 0;
  float FFarH = 0;
  float FFarW = 0;
  TFrustumCorners FCorners{};
  TVantrelFrustumType FPlanes{};
};

} // namespace vantrel
