#pragma once
// Value records for bounding volumes and simple shapes, with containment, closest-point,
// separating-axis and ray-cast tests. Values are stored as float; every formula is evaluated in
// double and rounded when a vector or scalar is stored.
//
// Casts report a miss by -1 (the single-valued forms) or by false with a cleared result; they
// never raise. No cast normalises the ray direction: T is the parameter along Dir as given.

#include <array>
#include <cstdint>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"
#include "rtl/object.h"
#include "ui/mesh_buffers.h"
#include "utils/Vantrel.Utils.Matrices.h"

namespace vantrel {

struct TAABB;
struct TOBB;
struct TTriangle;

// |A - B| <= max(1, |A|, |B|) * 1e-8.
bool NearlyEqual(double A, double B);

// A ray, or a segment swept from Start along Dir up to the parameter T.
struct TRaycastData {
  TPoint3D Start;
  TPoint3D Dir;
  float T = 0;
  // Time of impact, read by GetImpactPoint.
  float Toi = 0;
  // Carried with the ray; the box cast copies it into its result.
  TPoint3D Normal;

  // Sets Start, Dir and T; Toi and Normal stay as they are.
  void Set(const TPoint3D& AStartPoint, const TPoint3D& ADirection, float AEndPointTime);
  // Start + Dir * Toi.
  TPoint3D GetImpactPoint() const;
};

// One hit. The cleared value (all zero) is also what a missed cast leaves, except where a member
// says otherwise.
struct TRaycastResult {
  float T = 0;
  TPoint3D Normal;
  bool Hit = false;
  TPoint3D Point;
  bool operator==(const TRaycastResult&) const = default;
};
using PRaycastResult = TRaycastResult*;

struct TEdge {
  TPoint3D Start;
  TPoint3D Stop;
};

using TCornerArray = std::array<TPoint3D, 8>;

// An axis-aligned box. Nothing reorders Min and Max; a box is valid when Min <= Max per axis.
struct TAABB {
  TPoint3D Min;
  TPoint3D Max;

  // Size (X, Y, Z) centred at the origin.
  static TAABB Create(float X, float Y, float Z);
  // Min = AOrigin + AOffset, Max = AOrigin + ASize + AOffset.
  static TAABB CreateFromOrigin(const TPoint3D& AOrigin, const TPoint3D& ASize, const TPoint3D& AOffset);
  static TAABB FromMinMax(const TPoint3D& AMin, const TPoint3D& AMax);
  // Min = (Left, Top, Near), Max = (Right, Bottom, Far).
  static TAABB FromBoundingBox(const TBoundingBox& ABox);

  // Both inclusive on all six faces.
  bool Contains(const TAABB& AOther) const;
  bool Contains(const TPoint3D& APoint) const;
  float SurfaceArea() const;

  // The slab cast: the entry parameter, the exit parameter when Start is inside, or -1. Direction
  // components below 1e-7 in magnitude are nudged by +1e-7, so no division is by zero.
  float Raycast(const TRaycastData& ARay) const;
  // The slab cast into ARes. A hit copies the ray's own Normal (the box computes none); a miss
  // gives {-1, 0, false, 0}.
  bool Raycast(const TRaycastData& ARay, TRaycastResult& ARes) const;

  TAABB Combine(const TAABB& B) const;
  // The centre, Min + GetExtent.
  TPoint3D GetPosition() const;
  // |Max - Min| per axis.
  TPoint3D GetSize() const;
  // Half of GetSize.
  TPoint3D GetExtent() const;
  // x0/x1 = Min.X/Max.X and so on: (x0,y0,z0), (x1,y0,z0), (x0,y1,z0), (x1,y1,z0), then the
  // same four with z1.
  TCornerArray GetCorners() const;
  // Six planes through corner triples, each written as (normal, distance) with the distance in
  // the n . p + d = 0 form. The normals follow the corner order and are not all outward.
  std::array<TVector3D, 6> GetPlanes() const;
  // The box around the eight corners turned by ARot and then moved by APos.
  TAABB Transform(const TPoint3D& APos, const TMat3& ARot) const;
  // The box around the eight corners transformed as points by AMat.
  TAABB Transform(const TMatrix3D& AMat) const;
  // Grown by AFactor on every side.
  TAABB Inflate(float AFactor) const;

  // Of the centre and the eight corners (in GetCorners order), the one nearest to APos; a later
  // candidate wins only when strictly nearer.
  void GetClosestPointAndDistance(const TPoint3D& APos, TPoint3D& APt, float& ADistance) const;
  // The same with the farthest candidate.
  void GetFarestPointAndDistance(const TPoint3D& APos, TPoint3D& APt, float& ADistance) const;
  // The corner furthest along ANormal (Max on every axis where ANormal >= 0, else Min).
  TPoint3D GetVertexP(const TPoint3D& ANormal) const;
  // The opposite corner (Min on every axis where ANormal >= 0, else Max).
  TPoint3D GetVertexN(const TPoint3D& ANormal) const;
};

// Boxes that touch overlap.
bool AABBOverlap(const TAABB& A, const TAABB& B);

// An oriented box: centre, half extent along each axis, and the axes as the rows of Orientation.
struct TOBB {
  TPoint3D Position;
  // Half extents.
  TPoint3D Size;
  TMat3 Orientation;

  static TOBB Create(const TPoint3D& ASize, const TPoint3D& APosition, const TMat3& AOrientation);
  // Full width, height and depth at the origin, axis-aligned.
  static TOBB Create(float AWidth, float AHeight, float ADepth);
  // Half extents ASize at APosition, axis-aligned.
  static TOBB Create(const TPoint3D& ASize, const TPoint3D& APosition);

  // Axis 0, 1 or 2; any other index raises EAssertionFailed.
  const TPoint3D* GetAxis(int AIndex) const;
  // Inclusive on the faces.
  bool Contains(const TPoint3D& APoint) const;
  // Centre C +- X*sx +- Y*sy +- Z*sz with the signs of (X, Y, Z): (+++), (-++), (+-+), (++-),
  // (---), (+--), (-+-), (--+).
  TCornerArray GetCorners() const;
  // Corner pairs (4,5) (5,3) (3,6) (6,4) (7,2) (2,0) (0,1) (1,7) (2,5) (7,4) (0,3) (1,6).
  std::array<TEdge, 12> GetEdges() const;
  TAABB GetAABB() const;
  // The eight corners as vertices and the indices 0..7, one per corner (points, not triangles).
  TOwned<TMeshData> ToMeshData() const;
  TPoint3D ClosestPoint(const TPoint3D& APoint) const;

  // The cast parameter or -1; a non-null AResult is cleared first. Its Normal on a hit is the unit
  // vector from the hit point towards the centre. A direction component nearly perpendicular to an
  // axis is replaced by 1e-5 unless the ray runs outside that slab.
  float Raycast(const TRaycastData& ARay, TRaycastResult* AResult) const;
  float Raycast(const TRaycastData& ARay) const;
};

struct TLine {
  TPoint3D Start;
  TPoint3D Stop;

  // Both points zero.
  static TLine Create(int ADummy);
  static TLine Create(const TPoint3D& A, const TPoint3D& B);
  static TLine Create(const TEdge& AEdge);

  // The closest point lies within 1e-4 of APoint (squared distance below 1e-8).
  bool Contains(const TPoint3D& APoint) const;
  // The nearest point of the segment; Start for a zero-length line.
  TPoint3D ClosestPoint(const TPoint3D& APoint) const;
  bool SphereLinetest(const TPoint3D& APos, float ARadius) const;
  // The segment reaches the shape: a cast from Start towards Stop hits within the length.
  bool AABBLinetest(const TAABB& AABB) const;
  bool OBBLinetest(const TOBB& AOBB) const;
  bool OBBLinetest(const TOBB& AOBB, TRaycastResult& AResult) const;
  bool TriangleLinetest(const TTriangle* ATriangle) const;
  float Length() const;
  float LengthSq() const;
  // The unit vector from Start to Stop, or from Stop to Start when AInverse.
  TPoint3D GetDirection(bool AInverse = false) const;
};

// A plane as Normal and Distance. Two conventions meet in this record and each member says which
// one it uses:
//   convention D: a point p lies on the plane when Normal . p = Distance;
//   convention Z: a point p lies on the plane when Normal . p + Distance = 0.
struct TPlane {
  TPoint3D Normal;
  float Distance = 0;

  static TPlane CreateEmpty(int ADummy);
  // Both stored unchanged.
  static TPlane Create(const TPoint3D& ANormal, float ADistance);
  // Convention Z: through APoint with the normalised ANormal.
  static TPlane Create(const TPoint3D& ANormal, const TPoint3D& APoint);
  // Convention Z: normal normalise((P2 - P1) x (P3 - P1)), through P1.
  static TPlane Create(const TPoint3D& P1, const TPoint3D& P2, const TPoint3D& P3);
  // Normal = (X, Y, Z) unchanged, Distance = W; the inverse of ToVector3D.
  static TPlane Create(const TVector3D& AVector);

  // Convention D: |Normal . p - Distance| < 1e-8.
  bool Contains(const TPoint3D& APoint) const;
  // Convention D: p - Normal * (Normal . p - Distance), for a unit normal.
  TPoint3D ClosestPoint(const TPoint3D& APoint) const;
  // Convention D: the box's projection onto the normal reaches the plane.
  bool IntersectsWith(const TOBB& AOBB) const;
  // Convention D, with the box's half extents.
  bool IntersectsWith(const TAABB& AAABB) const;
  // True unless the planes are parallel and apart: not parallel, or parallel with a point of this
  // plane (convention D) on the other within 1e-8.
  bool IntersectsWith(const TPlane& APlane) const;
  // Convention Z: Normal . p + Distance.
  float SignedDistance(const TPoint3D& APoint) const;

  // Convention D. Only rays that meet the front (Dir . Normal < 0) at t >= 0 hit.
  float Raycast(const TRaycastData& ARay) const;
  // The same; a non-null AResult is cleared, and on a hit gets T, Hit, Point and the unit normal.
  bool Raycast(const TRaycastData& ARay, TRaycastResult* AResult) const;
  // (Normal, Distance).
  TVector3D ToVector3D() const;
};

struct TTriangle {
  TPoint3D A;
  TPoint3D B;
  TPoint3D C;

  static TTriangle Create(int ADummy);
  static TTriangle Create(const TPoint3D& APoint1, const TPoint3D& APoint2, const TPoint3D& APoint3);

  // A, B, C by index 0..2, and the nine coordinates by index 0..8; other indices raise ERangeError.
  TPoint3D& Points(int AIndex);
  const TPoint3D& Points(int AIndex) const;
  float& Values(int AIndex);
  float Values(int AIndex) const;

  // On the triangle's plane, inside or on an edge.
  bool Contains(const TPoint3D& APoint) const;
  // Convention D, with the unit normal of (B - A) x (C - A).
  TPlane ToPlane() const;
  TAABB ToAABB() const;
  // Edge 0 (A, B), 1 (B, C), 2 (C, A), swapped when AInverse; any other index gives a zero line.
  TLine GetLine(int AIndex, bool AInverse = false) const;
  TPoint3D ClosestPoint(const TPoint3D& APoint) const;
  // The same point by the region method.
  TPoint3D ClosestPoint2(const TPoint3D& APoint) const;
  // Each vertex turned by ARot, then moved by APos.
  TTriangle Transform(const TPoint3D& APos, const TMat3& ARot) const;
  // Each vertex transformed as a point by AMat.
  TTriangle Transform(const TMatrix3D& AMat) const;

  // Separating-axis tests; touching counts as intersecting, and a zero axis never separates.
  bool IntersectsWith(const TAABB& AABB) const;
  bool IntersectsWith(const TOBB& AOBB) const;
  bool IntersectsWith(const TTriangle& ATriangle) const;
  // (A - B) x (C - D), or for parallel edges the axis in their common plane perpendicular to
  // A - B; zero when even that vanishes.
  static TPoint3D SatCrossEdge(const TPoint3D& A, const TPoint3D& B, const TPoint3D& C, const TPoint3D& D);
  bool IntersectsWithRobust(const TTriangle& ATriangle) const;

  // Barycentric coordinates by projection: each is 1 at its own vertex and 0 on the opposite edge.
  TPoint3D Barycentric(const TPoint3D& APoint) const;
  TPoint3D Center() const;

  // The ray-triangle cast. Only the front face is hit (Dir . ((B - A) x (C - A)) < 0); edges and
  // vertices count, with no tolerance. Returns the parameter, or -1.
  float Raycast(const TRaycastData& ARay) const;
  // The same; a non-null AResult is cleared, and on a hit gets T, Hit, Point and the unit normal.
  bool Raycast(const TRaycastData& ARay, TRaycastResult* AResult) const;
  // Edge casts: the triangle's edges against the box (both directions), then the box's twelve
  // edges against the triangle's plane (the plane only, not the interior). AResult holds the hits.
  bool Raycast(const TOBB& AOBB, std::vector<TRaycastResult>& AResult) const;
  // The other triangle's edges (both directions) cast at this triangle.
  bool Raycast(const TTriangle& ATriangle, std::vector<TRaycastResult>& AResult) const;

  bool operator==(const TTriangle&) const = default;
};
static_assert(sizeof(TTriangle) == 36);
using PTriangle = TTriangle*;

// The box around the eight corners of ABox, each transformed as a point by AMatrix.
TBoundingBox TransformBoundingBox(const TBoundingBox& ABox, const TMatrix3D& AMatrix);

} // namespace vantrel
