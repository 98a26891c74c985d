#include "utils/Vantrel.Utils.Geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <utility>

#include "rtl/exceptions.h"
#include "utils/Vantrel.Utils.Vectors.h"

namespace vantrel {

namespace {

// The vector helpers' dot product, inlined here because the separating-axis tests and the
// hierarchy build call it millions of times.
inline float Dot(const TPoint3D& A, const TPoint3D& B) {
  return f32(double(A.X) * B.X + double(A.Y) * B.Y + double(A.Z) * B.Z);
}

inline double Component(const TPoint3D& A, int AAxis) {
  return AAxis == 0 ? A.X : AAxis == 1 ? A.Y : A.Z;
}

// AStart + ADir * AT, per component.
TPoint3D Along(const TPoint3D& AStart, const TPoint3D& ADir, double AT) {
  return {f32(AStart.X + ADir.X * AT), f32(AStart.Y + ADir.Y * AT), f32(AStart.Z + ADir.Z * AT)};
}

float Distance(const TPoint3D& A, const TPoint3D& B) {
  const double dx = double(A.X) - B.X, dy = double(A.Y) - B.Y, dz = double(A.Z) - B.Z;
  return f32(std::sqrt(dx * dx + dy * dy + dz * dz));
}

float DistanceSq(const TPoint3D& A, const TPoint3D& B) {
  const double dx = double(A.X) - B.X, dy = double(A.Y) - B.Y, dz = double(A.Z) - B.Z;
  return f32(dx * dx + dy * dy + dz * dz);
}

// NaN clamps to 0, so a degenerate division never leaks into a point.
double Clamp01(double AValue) {
  if (!(AValue > 0))
    return 0;
  return AValue > 1 ? 1 : AValue;
}

TRaycastData MakeRay(const TPoint3D& AStart, const TPoint3D& ADir) {
  TRaycastData ray;
  ray.Start = AStart;
  ray.Dir = ADir;
  return ray;
}

struct TInterval {
  float Min;
  float Max;
};

template <size_t N> TInterval Project(const TPoint3D& AAxis, const std::array<TPoint3D, N>& APoints) {
  TInterval result{Dot(AAxis, APoints[0]), Dot(AAxis, APoints[0])};
  for (size_t i = 1; i < N; ++i) {
    const float value = Dot(AAxis, APoints[i]);
    result.Min = std::min(result.Min, value);
    result.Max = std::max(result.Max, value);
  }
  return result;
}

// Inclusive; a NaN bound separates.
bool Overlaps(const TInterval& A, const TInterval& B) {
  return A.Max >= B.Min && B.Max >= A.Min;
}

template <size_t N, size_t M>
bool Separates(const TPoint3D& AAxis, const std::array<TPoint3D, N>& AFirst,
               const std::array<TPoint3D, M>& ASecond) {
  return !Overlaps(Project(AAxis, AFirst), Project(AAxis, ASecond));
}

// The 13 axes against a box with axes AX, AY, AZ and corners ACorners.
bool TriangleMeetsBox(const TTriangle& ATriangle, const TPoint3D& AX, const TPoint3D& AY, const TPoint3D& AZ,
                      const TCornerArray& ACorners) {
  const std::array<TPoint3D, 3> points{ATriangle.A, ATriangle.B, ATriangle.C};
  const TPoint3D f0 = ATriangle.B - ATriangle.A, f1 = ATriangle.C - ATriangle.B,
                 f2 = ATriangle.A - ATriangle.C;
  const TPoint3D units[3] = {AX, AY, AZ};
  for (const TPoint3D& u : units)
    if (Separates(u, points, ACorners))
      return false;
  if (Separates(Point3DCross(f0, f1), points, ACorners))
    return false;
  for (const TPoint3D& u : units)
    for (const TPoint3D& f : {f0, f1, f2})
      if (Separates(Point3DCross(u, f), points, ACorners))
        return false;
  return true;
}

// A vector kept in double, for the formulas whose intermediate rounding would swamp the result:
// the normal and barycentric coordinates of a sliver triangle are differences of nearly equal
// products, and rounding every step to float left them pointing anywhere.
struct TDouble3 {
  double X, Y, Z;
  TDouble3(double AX, double AY, double AZ) : X(AX), Y(AY), Z(AZ) {}
  TDouble3(const TPoint3D& A) : X(A.X), Y(A.Y), Z(A.Z) {}
  TDouble3 operator-(const TDouble3& A) const { return {X - A.X, Y - A.Y, Z - A.Z}; }
  TDouble3 operator*(double AFactor) const { return {X * AFactor, Y * AFactor, Z * AFactor}; }
  double Dot(const TDouble3& A) const { return X * A.X + Y * A.Y + Z * A.Z; }
  TDouble3 Cross(const TDouble3& A) const {
    return {Y * A.Z - Z * A.Y, Z * A.X - X * A.Z, X * A.Y - Y * A.X};
  }
};

TAABB BoxAround(const TCornerArray& APoints) {
  const TBoundingBox box = TBoundingBox::Create(std::span<const TPoint3D>(APoints));
  return TAABB::FromBoundingBox(box);
}

} // namespace

bool NearlyEqual(double A, double B) {
  return std::fabs(A - B) <= std::max(1.0, std::max(std::fabs(A), std::fabs(B))) * 1e-8;
}

// --- TRaycastData --------------------------------------------------------------------------------

void TRaycastData::Set(const TPoint3D& AStartPoint, const TPoint3D& ADirection, float AEndPointTime) {
  Start = AStartPoint;
  Dir = ADirection;
  T = AEndPointTime;
}

TPoint3D TRaycastData::GetImpactPoint() const {
  return Along(Start, Dir, Toi);
}

// --- TAABB ---------------------------------------------------------------------------------------

TAABB TAABB::Create(float X, float Y, float Z) {
  const TPoint3D half{f32(X / 2.0), f32(Y / 2.0), f32(Z / 2.0)};
  return {-half, half};
}

TAABB TAABB::CreateFromOrigin(const TPoint3D& AOrigin, const TPoint3D& ASize, const TPoint3D& AOffset) {
  return {AOrigin + AOffset, AOrigin + ASize + AOffset};
}

TAABB TAABB::FromMinMax(const TPoint3D& AMin, const TPoint3D& AMax) {
  return {AMin, AMax};
}

TAABB TAABB::FromBoundingBox(const TBoundingBox& ABox) {
  return {ABox.MinPoint(), ABox.MaxPoint()};
}

bool TAABB::Contains(const TAABB& AOther) const {
  return Contains(AOther.Min) && Contains(AOther.Max);
}

bool TAABB::Contains(const TPoint3D& APoint) const {
  return Min.X <= APoint.X && APoint.X <= Max.X && Min.Y <= APoint.Y && APoint.Y <= Max.Y &&
         Min.Z <= APoint.Z && APoint.Z <= Max.Z;
}

float TAABB::SurfaceArea() const {
  const TPoint3D d = Max - Min;
  return f32(2 * (double(d.X) * d.Y + double(d.X) * d.Z + double(d.Y) * d.Z));
}

float TAABB::Raycast(const TRaycastData& ARay) const {
  double tLow[3], tHigh[3];
  for (int axis = 0; axis < 3; ++axis) {
    double d = Component(ARay.Dir, axis);
    if (std::fabs(d) < 1e-7)
      d = f32(d + 1e-7);
    const double start = Component(ARay.Start, axis);
    const double t1 = (Component(Min, axis) - start) / d, t2 = (Component(Max, axis) - start) / d;
    tLow[axis] = std::min(t1, t2);
    tHigh[axis] = std::max(t1, t2);
  }
  const double tMin = std::max(std::max(tLow[0], tLow[1]), tLow[2]);
  const double tMax = std::min(std::min(tHigh[0], tHigh[1]), tHigh[2]);
  // Written so that a NaN parameter is a miss too.
  if (!(tMax >= 0) || !(tMin <= tMax))
    return -1;
  return f32(tMin < 0 ? tMax : tMin);
}

bool TAABB::Raycast(const TRaycastData& ARay, TRaycastResult& ARes) const {
  const float t = Raycast(ARay);
  if (t < 0) {
    ARes = {t, {}, false, {}};
    return false;
  }
  ARes = {t, ARay.Normal, true, Along(ARay.Start, ARay.Dir, t)};
  return true;
}

TAABB TAABB::Combine(const TAABB& B) const {
  return {Point3DMin(Min, B.Min), Point3DMax(Max, B.Max)};
}

TPoint3D TAABB::GetPosition() const {
  return Min + GetExtent();
}

TPoint3D TAABB::GetSize() const {
  return Point3DAbs(Max - Min);
}

TPoint3D TAABB::GetExtent() const {
  return GetSize() / 2;
}

TCornerArray TAABB::GetCorners() const {
  return {{{Min.X, Min.Y, Min.Z},
           {Max.X, Min.Y, Min.Z},
           {Min.X, Max.Y, Min.Z},
           {Max.X, Max.Y, Min.Z},
           {Min.X, Min.Y, Max.Z},
           {Max.X, Min.Y, Max.Z},
           {Min.X, Max.Y, Max.Z},
           {Max.X, Max.Y, Max.Z}}};
}

std::array<TVector3D, 6> TAABB::GetPlanes() const {
  static constexpr int kCorners[6][3] = {{3, 1, 0}, {7, 5, 4}, {1, 0, 4}, {3, 2, 6}, {3, 1, 5}, {2, 0, 4}};
  const TCornerArray corners = GetCorners();
  std::array<TVector3D, 6> result;
  for (int i = 0; i < 6; ++i)
    result[i] = TPlane::Create(corners[kCorners[i][0]], corners[kCorners[i][1]], corners[kCorners[i][2]])
                    .ToVector3D();
  return result;
}

TAABB TAABB::Transform(const TPoint3D& APos, const TMat3& ARot) const {
  const TMatrix3D rotation = ARot.ToMatrix3D();
  TCornerArray corners = GetCorners();
  for (TPoint3D& corner : corners)
    corner = corner * rotation + APos;
  return BoxAround(corners);
}

TAABB TAABB::Transform(const TMatrix3D& AMat) const {
  TCornerArray corners = GetCorners();
  for (TPoint3D& corner : corners)
    corner = corner * AMat;
  return BoxAround(corners);
}

TAABB TAABB::Inflate(float AFactor) const {
  const TPoint3D grow{AFactor, AFactor, AFactor};
  return {Min - grow, Max + grow};
}

void TAABB::GetClosestPointAndDistance(const TPoint3D& APos, TPoint3D& APt, float& ADistance) const {
  APt = GetPosition();
  ADistance = Distance(APt, APos);
  for (const TPoint3D& corner : GetCorners()) {
    const float distance = Distance(corner, APos);
    if (distance < ADistance) {
      APt = corner;
      ADistance = distance;
    }
  }
}

void TAABB::GetFarestPointAndDistance(const TPoint3D& APos, TPoint3D& APt, float& ADistance) const {
  APt = GetPosition();
  ADistance = Distance(APt, APos);
  for (const TPoint3D& corner : GetCorners()) {
    const float distance = Distance(corner, APos);
    if (distance > ADistance) {
      APt = corner;
      ADistance = distance;
    }
  }
}

TPoint3D TAABB::GetVertexP(const TPoint3D& ANormal) const {
  return {ANormal.X >= 0 ? Max.X : Min.X, ANormal.Y >= 0 ? Max.Y : Min.Y, ANormal.Z >= 0 ? Max.Z : Min.Z};
}

TPoint3D TAABB::GetVertexN(const TPoint3D& ANormal) const {
  return {ANormal.X >= 0 ? Min.X : Max.X, ANormal.Y >= 0 ? Min.Y : Max.Y, ANormal.Z >= 0 ? Min.Z : Max.Z};
}

bool AABBOverlap(const TAABB& A, const TAABB& B) {
  return !(B.Min.X > A.Max.X || A.Min.X > B.Max.X || B.Min.Y > A.Max.Y || A.Min.Y > B.Max.Y ||
           B.Min.Z > A.Max.Z || A.Min.Z > B.Max.Z);
}

// --- TOBB ----------------------------------------------------------------------------------------

TOBB TOBB::Create(const TPoint3D& ASize, const TPoint3D& APosition, const TMat3& AOrientation) {
  return {APosition, ASize, AOrientation};
}

TOBB TOBB::Create(float AWidth, float AHeight, float ADepth) {
  return Create({f32(AWidth / 2.0), f32(AHeight / 2.0), f32(ADepth / 2.0)}, {});
}

TOBB TOBB::Create(const TPoint3D& ASize, const TPoint3D& APosition) {
  return Create(ASize, APosition, TMat3::Create(1, 0, 0, 0, 1, 0, 0, 0, 1));
}

const TPoint3D* TOBB::GetAxis(int AIndex) const {
  return Orientation.GetRowPtr(AIndex);
}

bool TOBB::Contains(const TPoint3D& APoint) const {
  const TPoint3D d = APoint - Position;
  for (int i = 0; i < 3; ++i) {
    const float along = Dot(d, *GetAxis(i));
    const double size = Component(Size, i);
    if (along > size || along < -size)
      return false;
  }
  return true;
}

TCornerArray TOBB::GetCorners() const {
  static constexpr int kSigns[8][3] = {{1, 1, 1},    {-1, 1, 1},  {1, -1, 1},  {1, 1, -1},
                                       {-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
  const TPoint3D& x = Orientation.ex;
  const TPoint3D& y = Orientation.ey;
  const TPoint3D& z = Orientation.ez;
  TCornerArray result;
  for (int k = 0; k < 8; ++k) {
    const double sx = kSigns[k][0] * double(Size.X), sy = kSigns[k][1] * double(Size.Y),
                 sz = kSigns[k][2] * double(Size.Z);
    result[k] = {f32(Position.X + x.X * sx + y.X * sy + z.X * sz),
                 f32(Position.Y + x.Y * sx + y.Y * sy + z.Y * sz),
                 f32(Position.Z + x.Z * sx + y.Z * sy + z.Z * sz)};
  }
  return result;
}

std::array<TEdge, 12> TOBB::GetEdges() const {
  static constexpr int kEdges[12][2] = {{4, 5}, {5, 3}, {3, 6}, {6, 4}, {7, 2}, {2, 0},
                                        {0, 1}, {1, 7}, {2, 5}, {7, 4}, {0, 3}, {1, 6}};
  const TCornerArray corners = GetCorners();
  std::array<TEdge, 12> result;
  for (int i = 0; i < 12; ++i)
    result[i] = {corners[kEdges[i][0]], corners[kEdges[i][1]]};
  return result;
}

TAABB TOBB::GetAABB() const {
  constexpr float kBig = std::numeric_limits<float>::max();
  TAABB result{{kBig, kBig, kBig}, {-kBig, -kBig, -kBig}};
  for (const TPoint3D& corner : GetCorners()) {
    result.Min = Point3DMin(result.Min, corner);
    result.Max = Point3DMax(result.Max, corner);
  }
  return result;
}

TOwned<TMeshData> TOBB::ToMeshData() const {
  auto result = MakeOwned<TMeshData>(TVertexFormats{TVertexFormat::Vertex}, 8, 8);
  const TCornerArray corners = GetCorners();
  for (int i = 0; i < 8; ++i) {
    result->VertexBuffer().SetVertices(i, corners[i]);
    result->IndexBuffer().SetIndices(i, uint32_t(i));
  }
  return result;
}

TPoint3D TOBB::ClosestPoint(const TPoint3D& APoint) const {
  TPoint3D result = Position;
  const TPoint3D d = APoint - Position;
  for (int i = 0; i < 3; ++i) {
    const TPoint3D& axis = *GetAxis(i);
    const float size = float(Component(Size, i));
    const float along = std::clamp(Dot(d, axis), -size, size);
    result = result + axis * along;
  }
  return result;
}

float TOBB::Raycast(const TRaycastData& ARay, TRaycastResult* AResult) const {
  if (AResult)
    *AResult = {};
  const TPoint3D p = Position - ARay.Start;
  double t[6];
  for (int i = 0; i < 3; ++i) {
    const TPoint3D& axis = *GetAxis(i);
    double f = Dot(axis, ARay.Dir);
    const double e = Dot(axis, p), size = Component(Size, i);
    if (NearlyEqual(f, 0)) {
      // Parallel to this slab: outside it there is no hit at all.
      if (-e - size > 0 || -e + size < 0)
        return -1;
      f = 1e-5;
    }
    t[2 * i] = (e + size) / f;
    t[2 * i + 1] = (e - size) / f;
  }
  const double tMin = std::max(std::max(std::min(t[0], t[1]), std::min(t[2], t[3])), std::min(t[4], t[5]));
  const double tMax = std::min(std::min(std::max(t[0], t[1]), std::max(t[2], t[3])), std::max(t[4], t[5]));
  if (!(tMax >= 0) || !(tMin <= tMax))
    return -1;
  const float r = f32(tMin < 0 ? tMax : tMin);
  if (AResult) {
    const TPoint3D point = Along(ARay.Start, ARay.Dir, r);
    *AResult = {r, Point3DDirection(point, Position), true, point};
  }
  return r;
}

float TOBB::Raycast(const TRaycastData& ARay) const {
  return Raycast(ARay, nullptr);
}

// --- TLine ---------------------------------------------------------------------------------------

TLine TLine::Create(int) {
  return {};
}

TLine TLine::Create(const TPoint3D& A, const TPoint3D& B) {
  return {A, B};
}

TLine TLine::Create(const TEdge& AEdge) {
  return {AEdge.Start, AEdge.Stop};
}

bool TLine::Contains(const TPoint3D& APoint) const {
  return DistanceSq(ClosestPoint(APoint), APoint) < 1e-8;
}

TPoint3D TLine::ClosestPoint(const TPoint3D& APoint) const {
  const TPoint3D d = Stop - Start;
  const float lengthSq = Dot(d, d);
  if (lengthSq == 0)
    return Start;
  const double t = Clamp01(Dot(APoint - Start, d) / double(lengthSq));
  return Along(Start, d, t);
}

bool TLine::SphereLinetest(const TPoint3D& APos, float ARadius) const {
  return DistanceSq(APos, ClosestPoint(APos)) <= double(ARadius) * ARadius;
}

bool TLine::AABBLinetest(const TAABB& AABB) const {
  const float t = AABB.Raycast(MakeRay(Start, GetDirection()));
  return t >= 0 && LengthSq() >= double(t) * t;
}

bool TLine::OBBLinetest(const TOBB& AOBB) const {
  const float t = AOBB.Raycast(MakeRay(Start, GetDirection()));
  return t >= 0 && LengthSq() >= double(t) * t;
}

bool TLine::OBBLinetest(const TOBB& AOBB, TRaycastResult& AResult) const {
  const float t = AOBB.Raycast(MakeRay(Start, GetDirection()), &AResult);
  return t >= 0 && LengthSq() >= double(t) * t;
}

bool TLine::TriangleLinetest(const TTriangle* ATriangle) const {
  if (!ATriangle)
    return false;
  const float t = ATriangle->Raycast(MakeRay(Start, GetDirection()));
  return t >= 0 && LengthSq() >= double(t) * t;
}

float TLine::Length() const {
  return Distance(Start, Stop);
}

float TLine::LengthSq() const {
  return DistanceSq(Start, Stop);
}

TPoint3D TLine::GetDirection(bool AInverse) const {
  return AInverse ? Point3DNormalize(Start - Stop) : Point3DNormalize(Stop - Start);
}

// --- TPlane --------------------------------------------------------------------------------------

TPlane TPlane::CreateEmpty(int) {
  return {};
}

TPlane TPlane::Create(const TPoint3D& ANormal, float ADistance) {
  return {ANormal, ADistance};
}

TPlane TPlane::Create(const TPoint3D& ANormal, const TPoint3D& APoint) {
  const TPoint3D normal = Point3DNormalize(ANormal);
  return {normal, -Dot(APoint, normal)};
}

TPlane TPlane::Create(const TPoint3D& P1, const TPoint3D& P2, const TPoint3D& P3) {
  const TPoint3D normal = Point3DNormalize(Point3DCross(P2 - P1, P3 - P1));
  return {normal, -Dot(P1, normal)};
}

TPlane TPlane::Create(const TVector3D& AVector) {
  return {{AVector.X, AVector.Y, AVector.Z}, AVector.W};
}

bool TPlane::Contains(const TPoint3D& APoint) const {
  return std::fabs(double(Dot(APoint, Normal)) - Distance) < 1e-8;
}

TPoint3D TPlane::ClosestPoint(const TPoint3D& APoint) const {
  return APoint - Normal * f32(double(Dot(Normal, APoint)) - Distance);
}

bool TPlane::IntersectsWith(const TOBB& AOBB) const {
  const double reach = AOBB.Size.X * std::fabs(Dot(Normal, AOBB.Orientation.ex)) +
                       AOBB.Size.Y * std::fabs(Dot(Normal, AOBB.Orientation.ey)) +
                       AOBB.Size.Z * std::fabs(Dot(Normal, AOBB.Orientation.ez));
  return std::fabs(double(Dot(Normal, AOBB.Position)) - Distance) <= reach;
}

bool TPlane::IntersectsWith(const TAABB& AAABB) const {
  const TPoint3D e = AAABB.GetExtent();
  const double reach = double(e.X) * std::fabs(Normal.X) + double(e.Y) * std::fabs(Normal.Y) +
                       double(e.Z) * std::fabs(Normal.Z);
  return std::fabs(double(Dot(Normal, AAABB.GetPosition())) - Distance) <= reach;
}

bool TPlane::IntersectsWith(const TPlane& APlane) const {
  const TPoint3D cross = Point3DCross(Normal, APlane.Normal);
  if (!(std::fabs(Dot(cross, cross)) < 1e-8))
    return true;
  // Parallel: they meet only when they coincide.
  const float lengthSq = Dot(Normal, Normal);
  const TPoint3D onThis = lengthSq == 0 ? TPoint3D{} : Normal * f32(Distance / double(lengthSq));
  return APlane.Contains(onThis);
}

float TPlane::SignedDistance(const TPoint3D& APoint) const {
  return f32(double(Dot(Normal, APoint)) + Distance);
}

float TPlane::Raycast(const TRaycastData& ARay) const {
  TRaycastResult result;
  return Raycast(ARay, &result) ? result.T : -1;
}

bool TPlane::Raycast(const TRaycastData& ARay, TRaycastResult* AResult) const {
  if (AResult)
    *AResult = {};
  const float nd = Dot(ARay.Dir, Normal);
  const float pn = Dot(ARay.Start, Normal);
  // Parallel, or leaving through the back.
  if (!(nd < 0))
    return false;
  const float t = f32((double(Distance) - pn) / nd);
  if (!(t >= 0))
    return false;
  if (AResult)
    *AResult = {t, Point3DNormalize(Normal), true, Along(ARay.Start, ARay.Dir, t)};
  return true;
}

TVector3D TPlane::ToVector3D() const {
  return {Normal.X, Normal.Y, Normal.Z, Distance};
}

// --- TTriangle -----------------------------------------------------------------------------------

TTriangle TTriangle::Create(int) {
  return {};
}

TTriangle TTriangle::Create(const TPoint3D& APoint1, const TPoint3D& APoint2, const TPoint3D& APoint3) {
  return {APoint1, APoint2, APoint3};
}

TPoint3D& TTriangle::Points(int AIndex) {
  return const_cast<TPoint3D&>(std::as_const(*this).Points(AIndex));
}

const TPoint3D& TTriangle::Points(int AIndex) const {
  switch (AIndex) {
  case 0:
    return A;
  case 1:
    return B;
  case 2:
    return C;
  default:
    throw ERangeError(messages::RangeError);
  }
}

float& TTriangle::Values(int AIndex) {
  if (AIndex < 0 || AIndex > 8)
    throw ERangeError(messages::RangeError);
  TPoint3D& point = Points(AIndex / 3);
  return AIndex % 3 == 0 ? point.X : AIndex % 3 == 1 ? point.Y : point.Z;
}

float TTriangle::Values(int AIndex) const {
  return const_cast<TTriangle&>(*this).Values(AIndex);
}

bool TTriangle::Contains(const TPoint3D& APoint) const {
  const TPoint3D a = A - APoint, b = B - APoint, c = C - APoint;
  const TPoint3D u = Point3DCross(b, c), v = Point3DCross(c, a), w = Point3DCross(a, b);
  // The third pair matters when u vanishes: a point on the line through B and C, beyond the edge.
  return !(Dot(u, v) < 0 || Dot(u, w) < 0 || Dot(v, w) < 0);
}

TPlane TTriangle::ToPlane() const {
  const TDouble3 a = A;
  const TDouble3 cross = (TDouble3(B) - a).Cross(TDouble3(C) - a);
  const double length = std::sqrt(cross.Dot(cross));
  if (length == 0)
    return {{}, 0};
  const TPoint3D normal{f32(cross.X / length), f32(cross.Y / length), f32(cross.Z / length)};
  return {normal, Dot(normal, A)};
}

TAABB TTriangle::ToAABB() const {
  return {Point3DMin(Point3DMin(A, B), C), Point3DMax(Point3DMax(A, B), C)};
}

TLine TTriangle::GetLine(int AIndex, bool AInverse) const {
  if (AIndex < 0 || AIndex > 2)
    return {};
  const TPoint3D& start = Points(AIndex);
  const TPoint3D& stop = Points((AIndex + 1) % 3);
  return AInverse ? TLine{stop, start} : TLine{start, stop};
}

TPoint3D TTriangle::ClosestPoint(const TPoint3D& APoint) const {
  const TPoint3D onPlane = ToPlane().ClosestPoint(APoint);
  if (Contains(onPlane))
    return onPlane;
  const TPoint3D c1 = GetLine(0).ClosestPoint(APoint), c2 = GetLine(1).ClosestPoint(APoint),
                 c3 = GetLine(2).ClosestPoint(APoint);
  const float d1 = DistanceSq(APoint, c1), d2 = DistanceSq(APoint, c2), d3 = DistanceSq(APoint, c3);
  // Ties go to the earlier edge: two edges share the nearest point when it is their vertex.
  if (d1 <= d2 && d1 <= d3)
    return c1;
  if (d2 <= d3)
    return c2;
  return c3;
}

TPoint3D TTriangle::ClosestPoint2(const TPoint3D& APoint) const {
  const TPoint3D e0 = B - A, e1 = C - A, w = A - APoint;
  const double a = Dot(e0, e0), b = Dot(e0, e1), c = Dot(e1, e1), d = Dot(e0, w), e = Dot(e1, w);
  const double det = a * c - b * b, denom = a - 2 * b + c;
  double s = b * e - c * d, t = b * d - a * e;
  if (s + t < det) {
    if (s < 0 && t < 0 && d < 0) {
      s = Clamp01(-d / a);
      t = 0;
    } else if (s < 0) {
      s = 0;
      t = Clamp01(-e / c);
    } else if (t < 0) {
      s = Clamp01(-d / a);
      t = 0;
    } else {
      s /= det;
      t /= det;
    }
  } else if (s < 0) {
    if (c + e > b + d) {
      s = Clamp01(((c + e) - (b + d)) / denom);
      t = 1 - s;
    } else {
      s = 0;
      t = Clamp01(-e / c);
    }
  } else if (t < 0 && a + d <= b + e) {
    // The nearest point lies on edge AB.
    s = Clamp01(-d / a);
    t = 0;
  } else {
    s = Clamp01((c + e - b - d) / denom);
    t = 1 - s;
  }
  return {f32(A.X + e0.X * s + e1.X * t), f32(A.Y + e0.Y * s + e1.Y * t), f32(A.Z + e0.Z * s + e1.Z * t)};
}

TTriangle TTriangle::Transform(const TPoint3D& APos, const TMat3& ARot) const {
  const TMatrix3D rotation = ARot.ToMatrix3D();
  return {A * rotation + APos, B * rotation + APos, C * rotation + APos};
}

TTriangle TTriangle::Transform(const TMatrix3D& AMat) const {
  return {A * AMat, B * AMat, C * AMat};
}

bool TTriangle::IntersectsWith(const TAABB& AABB) const {
  return TriangleMeetsBox(*this, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, AABB.GetCorners());
}

bool TTriangle::IntersectsWith(const TOBB& AOBB) const {
  return TriangleMeetsBox(*this, AOBB.Orientation.ex, AOBB.Orientation.ey, AOBB.Orientation.ez,
                          AOBB.GetCorners());
}

bool TTriangle::IntersectsWith(const TTriangle& ATriangle) const {
  const std::array<TPoint3D, 3> mine{A, B, C}, other{ATriangle.A, ATriangle.B, ATriangle.C};
  const TPoint3D f[3] = {B - A, C - B, A - C};
  const TPoint3D g[3] = {ATriangle.B - ATriangle.A, ATriangle.C - ATriangle.B, ATriangle.A - ATriangle.C};
  if (Separates(Point3DCross(f[0], f[1]), mine, other) || Separates(Point3DCross(g[0], g[1]), mine, other))
    return false;
  for (const TPoint3D& gi : g)
    for (const TPoint3D& fj : f)
      if (Separates(Point3DCross(gi, fj), mine, other))
        return false;
  return true;
}

TPoint3D TTriangle::SatCrossEdge(const TPoint3D& A, const TPoint3D& B, const TPoint3D& C, const TPoint3D& D) {
  const TPoint3D ab = A - B, cd = C - D;
  const TPoint3D result = Point3DCross(ab, cd);
  if (!NearlyEqual(Dot(result, result), 0))
    return result;
  // Parallel edges: an axis perpendicular to AB within the plane through both.
  const TPoint3D inPlane = Point3DCross(ab, Point3DCross(ab, C - A));
  if (!NearlyEqual(Dot(inPlane, inPlane), 0))
    return inPlane;
  return {};
}

bool TTriangle::IntersectsWithRobust(const TTriangle& ATriangle) const {
  const std::array<TPoint3D, 3> mine{A, B, C}, other{ATriangle.A, ATriangle.B, ATriangle.C};
  const auto separates = [&](const TPoint3D& AAxis) {
    return !NearlyEqual(Dot(AAxis, AAxis), 0) && Separates(AAxis, mine, other);
  };
  if (separates(SatCrossEdge(A, B, B, C)) ||
      separates(SatCrossEdge(ATriangle.A, ATriangle.B, ATriangle.B, ATriangle.C)))
    return false;
  for (int i = 0; i < 3; ++i) {
    const TLine otherEdge = ATriangle.GetLine(i);
    for (int j = 0; j < 3; ++j) {
      const TLine edge = GetLine(j);
      if (separates(SatCrossEdge(otherEdge.Start, otherEdge.Stop, edge.Start, edge.Stop)))
        return false;
    }
  }
  return true;
}

TPoint3D TTriangle::Barycentric(const TPoint3D& APoint) const {
  const auto projectOnto = [](const TDouble3& AVector, const TDouble3& AOnto) {
    return AOnto * (AVector.Dot(AOnto) / AOnto.Dot(AOnto));
  };
  // 1 at the vertex the edge starts from, 0 on the opposite side.
  const auto coordinate = [&](const TDouble3& AEdge, const TDouble3& AOpposite, const TDouble3& AToPoint) {
    const TDouble3 v = AEdge - projectOnto(AEdge, AOpposite);
    return f32(1 - v.Dot(AToPoint) / v.Dot(AEdge));
  };
  const TDouble3 a = A, b = B, c = C, p = APoint;
  return {coordinate(b - a, b - c, p - a), coordinate(c - b, c - a, p - b), coordinate(a - c, b - a, p - c)};
}

TPoint3D TTriangle::Center() const {
  return {f32((double(A.X) + B.X + C.X) / 3), f32((double(A.Y) + B.Y + C.Y) / 3),
          f32((double(A.Z) + B.Z + C.Z) / 3)};
}

float TTriangle::Raycast(const TRaycastData& ARay) const {
  TRaycastResult result;
  return Raycast(ARay, &result) ? result.T : -1;
}

bool TTriangle::Raycast(const TRaycastData& ARay, TRaycastResult* AResult) const {
  if (AResult)
    *AResult = {};
  TRaycastResult planeHit;
  if (!ToPlane().Raycast(ARay, &planeHit))
    return false;
  const TPoint3D point = Along(ARay.Start, ARay.Dir, planeHit.T);
  const TPoint3D weights = Barycentric(point);
  // Inclusive bounds; NaN fails.
  for (const float weight : {weights.X, weights.Y, weights.Z})
    if (!(weight >= 0 && weight <= 1))
      return false;
  if (AResult)
    *AResult = {planeHit.T, planeHit.Normal, true, point};
  return true;
}

bool TTriangle::Raycast(const TOBB& AOBB, std::vector<TRaycastResult>& AResult) const {
  AResult.assign(15, {});
  size_t count = 0;
  TRaycastResult hit;
  for (int i = 0; i < 3; ++i) {
    const TLine line = GetLine(i);
    const auto counts = [&](const TPoint3D& AStart, bool AInverse) {
      return AOBB.Raycast(MakeRay(AStart, line.GetDirection(AInverse)), &hit) > 0 && hit.Hit &&
             line.Length() >= hit.T;
    };
    if (counts(line.Start, false) || counts(line.Stop, true))
      AResult[count++] = hit;
  }
  const TPlane plane = ToPlane();
  for (const TEdge& edge : AOBB.GetEdges()) {
    const TLine line = TLine::Create(edge);
    const auto counts = [&](const TPoint3D& AStart, bool AInverse) {
      return plane.Raycast(MakeRay(AStart, line.GetDirection(AInverse)), &hit) && line.Length() > hit.T;
    };
    if (counts(line.Start, false) || counts(line.Stop, true))
      AResult[count++] = hit;
  }
  AResult.resize(count);
  return count > 0;
}

bool TTriangle::Raycast(const TTriangle& ATriangle, std::vector<TRaycastResult>& AResult) const {
  AResult.assign(15, {});
  size_t count = 0;
  TRaycastResult hit;
  for (int i = 0; i < 3; ++i) {
    const TLine line = ATriangle.GetLine(i);
    const auto counts = [&](const TPoint3D& AStart, bool AInverse) {
      return Raycast(MakeRay(AStart, line.GetDirection(AInverse)), &hit) && line.Length() >= hit.T;
    };
    if (counts(line.Start, false) || counts(line.Stop, true))
      AResult[count++] = hit;
  }
  AResult.resize(count);
  return count > 0;
}

TBoundingBox TransformBoundingBox(const TBoundingBox& ABox, const TMatrix3D& AMatrix) {
  const float x0 = ABox.Left, x1 = ABox.Right, y0 = ABox.Top, y1 = ABox.Bottom, z0 = ABox.Near, z1 = ABox.Far;
  const TCornerArray corners{{TPoint3D{x0, y1, z0} * AMatrix, TPoint3D{x1, y1, z0} * AMatrix,
                              TPoint3D{x1, y0, z0} * AMatrix, TPoint3D{x0, y0, z0} * AMatrix,
                              TPoint3D{x0, y1, z1} * AMatrix, TPoint3D{x1, y1, z1} * AMatrix,
                              TPoint3D{x1, y0, z1} * AMatrix, TPoint3D{x0, y0, z1} * AMatrix}};
  return TBoundingBox::Create(std::span<const TPoint3D>(corners));
}

} // namespace vantrel
