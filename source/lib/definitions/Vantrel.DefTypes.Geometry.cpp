// The mesh definition's geometry: sub-meshes, bounding volumes and ray casts, polygons, normals,
// tangents, generated texture coordinates, baked transforms and copies; and vertex groups.

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "utils/Vantrel.Utils.BVH.h"
#include "utils/Vantrel.Utils.Geometry.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TMeshDef)
VANTREL_DEFINE_DEF_CLASS(TVertexGroupDef)

namespace {

constexpr float RayEndTime = 1000;
constexpr float NoHitDistance = 100000;

// A triangle's three indices, or false when one of them is at or beyond the vertex count: such a
// triangle is skipped by every routine that reads vertices through indices.
bool TriangleAt(const TIndexBuffer& AIndices, int32_t ATriangle, uint32_t AVertexCount, uint32_t (&AOut)[3]) {
  for (int32_t c = 0; c < 3; ++c) {
    AOut[c] = AIndices.GetIndices(3 * ATriangle + c);
    if (AOut[c] >= AVertexCount)
      return false;
  }
  return true;
}

bool IsFinitePoint(const TPoint3D& P) {
  return std::isfinite(P.X) && std::isfinite(P.Y) && std::isfinite(P.Z);
}

// The one weld predicate of both smooth-normal paths: distance <= epsilon; a non-finite position
// never matches, not even itself.
bool WeldMatch(const TPoint3D& A, const TPoint3D& B, float AEpsilon) {
  if (!IsFinitePoint(A) || !IsFinitePoint(B))
    return false;
  const double dx = double(A.X) - B.X, dy = double(A.Y) - B.Y, dz = double(A.Z) - B.Z;
  return std::sqrt(dx * dx + dy * dy + dz * dz) <= double(AEpsilon);
}

// The one accumulation of both paths; the same order of calls gives the same bits.
void Accumulate(TPoint3D& ASum, const TPoint3D& AFaceNormal) {
  ASum = ASum + AFaceNormal;
}

// Directions under a matrix: normals through the inverse transpose of the upper 3x3, tangents and
// binormals through the upper 3x3; the translation never applies.
TMatrix3D UpperOf(const TMatrix3D& AMatrix) {
  TMatrix3D result = AMatrix;
  result.m14 = result.m24 = result.m34 = 0;
  result.m41 = result.m42 = result.m43 = 0;
  result.m44 = 1;
  return result;
}

TMatrix3D NormalMatrixOf(const TMatrix3D& AMatrix) {
  return UpperOf(AMatrix).Inverse().Transpose();
}

// The point (x, y, z, 1) x M divided by w unless w is 0 within 0.0001.
TPoint3D TransformPointW(const TPoint3D& APoint, const TMatrix3D& AMatrix) {
  return (TVector3D{APoint.X, APoint.Y, APoint.Z, 1} * AMatrix).ToPoint3D();
}

// Banker's rounding that saturates: NaN gives 0, the result is clamped to the int32 range.
int32_t RoundSaturated(double AValue) {
  if (std::isnan(AValue))
    return 0;
  const double rounded = std::nearbyint(AValue);
  if (rounded <= double(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  if (rounded >= double(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return int32_t(rounded);
}

struct TSmoothInfoHash {
  size_t operator()(const TMeshDefVertexSmoothNormalInfo& A) const noexcept {
    uint64_t h = uint32_t(A.VertexId);
    for (const int32_t part : {A.ScaledRoundedX, A.ScaledRoundedY, A.ScaledRoundedZ})
      h = (h ^ uint32_t(part)) * 0x9E3779B97F4A7C15ull;
    return size_t(h ^ (h >> 29));
  }
};

// ---- the uniform grid of the default smoothing ----

struct TCell {
  int64_t X, Y, Z;
  bool operator==(const TCell&) const = default;
};

uint64_t CellHash(const TCell& ACell) {
  uint64_t h = uint64_t(ACell.X) * 0x9E3779B97F4A7C15ull;
  h ^= uint64_t(ACell.Y) * 0xC2B2AE3D27D4EB4Full + (h >> 31);
  h ^= uint64_t(ACell.Z) * 0x165667B19E3779F9ull + (h >> 29);
  return h ^ (h >> 32);
}

// Occupied cells to their range of corners in a list sorted by (cell, corner); open addressing.
class TCellTable {
public:
  struct TEntry {
    TCell Cell;
    uint32_t Begin = 0, End = 0;
    bool Used = false;
  };

  explicit TCellTable(size_t ACells) {
    size_t capacity = 16;
    while (capacity < ACells * 2)
      capacity *= 2;
    FEntries.resize(capacity);
    FMask = capacity - 1;
  }

  void Insert(const TCell& ACell, uint32_t ABegin, uint32_t AEnd) {
    size_t slot = CellHash(ACell) & FMask;
    while (FEntries[slot].Used)
      slot = (slot + 1) & FMask;
    FEntries[slot] = {ACell, ABegin, AEnd, true};
  }

  const TEntry* Find(const TCell& ACell) const {
    size_t slot = CellHash(ACell) & FMask;
    while (FEntries[slot].Used) {
      if (FEntries[slot].Cell == ACell)
        return &FEntries[slot];
      slot = (slot + 1) & FMask;
    }
    return nullptr;
  }

private:
  std::vector<TEntry> FEntries;
  size_t FMask = 0;
};

} // namespace

// ---- TMeshDef: tree and JSON ----

TMeshDef::TMeshDef(TCustomDef* AOwner) : TCustomMeshDef(AOwner) {
  SetBoundingBoxUpdateNeeded(true);
}

TMeshDef::~TMeshDef() {
  ReleaseBVH();
}

void TMeshDef::SetIsStatic(bool AValue) {
  inherited::SetIsStatic(AValue);
  if (const auto* children = GetChildren())
    for (TTransformDef* child : *children)
      if (auto* mesh = dynamic_cast<TMeshDef*>(child))
        mesh->SetIsStatic(AValue);
}

void TMeshDef::RecalcRenderByVertexGroups() {
  bool groups = false;
  if (const auto* children = GetChildren())
    for (const TTransformDef* child : *children)
      groups = groups || dynamic_cast<const TVertexGroupDef*>(child) != nullptr;
  FRenderByVertexGroups = groups;
}

void TMeshDef::AddMesh(TTransformDef* AMesh) {
  AddChild(AMesh);
  RecalcRenderByVertexGroups();
}

void TMeshDef::RemoveMesh(TTransformDef* AMesh) {
  RemoveChild(AMesh);
  RecalcRenderByVertexGroups();
}

TMeshDef* TMeshDef::FindMeshById(std::string_view AName, bool AThrowException) const {
  TTransformDef* found = FindChildById(AName, AThrowException);
  if (!found)
    return nullptr;
  if (auto* mesh = dynamic_cast<TMeshDef*>(found))
    return mesh;
  if (AThrowException)
    throw Exception(Format("transform with id \"%s\" found, but not a mesh node", {AName}));
  return nullptr;
}

void TMeshDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  if (const TJSONValue* member = AValue.GetValue("Meshes")) {
    const auto* meshes = dynamic_cast<const TJSONArray*>(member);
    if (!meshes)
      throw EInvalidCast(rtl::messages::InvalidCast);
    for (const TJSONValue* element : *meshes) {
      const auto* object = dynamic_cast<const TJSONObject*>(element);
      if (!object)
        throw EInvalidCast(rtl::messages::InvalidCast);
      const TCustomDefClass& childClass = FindChildDefClass(GetJSONString(*object, "Type"));
      TOwned<TTransformDef> child(CheckedCast<TTransformDef>(childClass.CreateDef(this)));
      child->FromJSON(AModel, *object);
      AddChild(child.release());
    }
  }
  RecalcRenderByVertexGroups();
}

int64_t TMeshDef::GetSize() const {
  // Accumulated as a 32-bit signed total, wrapping as such a total does.
  uint32_t total = uint32_t(int32_t(inherited::GetSize()));
  if (const auto* children = GetChildren())
    for (const TTransformDef* child : *children)
      total += uint32_t(sizeof(TObjectList<TTransformDef>)) + uint32_t(int32_t(child->GetSize()));
  return int32_t(total);
}

// ---- TMeshDef: bounding volumes and ray casts ----

namespace {

bool IsEmptyBox(const TBoundingBox& ABox) {
  const auto empty = [](float AMin, float AMax) { return AMax < AMin || std::abs(AMax - AMin) <= 0.0001f; };
  return empty(ABox.Left, ABox.Right) || empty(ABox.Top, ABox.Bottom) || empty(ABox.Near, ABox.Far);
}

} // namespace

TBoundingBox TMeshDef::GetCombinedBoundingBox() {
  TBoundingBox box = GetBoundingBox();
  if (const auto* children = GetChildren())
    for (TTransformDef* child : *children)
      if (auto* mesh = dynamic_cast<TMeshDef*>(child)) {
        const TBoundingBox childBox = mesh->GetCombinedBoundingBox();
        if (IsEmptyBox(box))
          box = childBox;
        else if (!IsEmptyBox(childBox))
          box = box.Union(childBox);
      }
  return box;
}

void TMeshDef::AcquireBVH() {
  if (const auto* children = GetChildren())
    for (TTransformDef* child : *children)
      if (auto* mesh = dynamic_cast<TMeshDef*>(child))
        mesh->AcquireBVH();
  if (FBVH)
    return;
  FBVH = std::make_unique<TBVHGeometry>(GetVertexSource(), GetIndexSource(), TMatrix3D::Identity());
  BuildBVH(FBVH.get());
}

void TMeshDef::FreeOwnBVH() {
  if (!FBVH)
    return;
  FreeBVH(FBVH->Accelerator);
  FBVH.reset();
}

void TMeshDef::UpdateBVH() {
  FreeOwnBVH();
  AcquireBVH();
}

void TMeshDef::ReleaseBVH() {
  if (const auto* children = GetChildren())
    for (TTransformDef* child : *children)
      if (auto* mesh = dynamic_cast<TMeshDef*>(child))
        mesh->ReleaseBVH();
  FreeOwnBVH();
}

bool TMeshDef::RayCastIntersect(const TPoint3D& ARayPos, const TPoint3D& ARayDir, const TMatrix3D& AMeshMatrix,
                                const TMatrix3D& AAbsoluteMatrix, TPoint3D& AIntersection, TPoint3D& ANormal) {
  const TMatrix3D inverse = AMeshMatrix.Inverse();
  const TPoint3D origin = TransformPointW(ARayPos, inverse);
  const TVector3D direction4 = TVector3D{ARayDir.X, ARayDir.Y, ARayDir.Z, 0} * inverse;
  const TPoint3D direction = TPoint3D{direction4.X, direction4.Y, direction4.Z}.Normalize();
  AIntersection = {};
  ANormal = {};
  const TVertexBuffer* vertices = GetVertexSource();
  const TIndexBuffer* indices = GetIndexSource();
  if (!vertices || !indices || vertices->Size() == 0 || indices->Size() == 0)
    return false;
  TRaycastData ray;
  ray.Set(origin, direction, RayEndTime);
  // A hit in raw vertex space goes to the scene: the point as a point, the normal as a direction
  // (the inverse transpose), so translations never bend it.
  const TMatrix3D toWorld = AMeshMatrix * AAbsoluteMatrix;
  const TMatrix3D normalMatrix = NormalMatrixOf(toWorld);
  const auto report = [&](const TRaycastResult& AHit) {
    AIntersection = TransformPointW(AHit.Point * AMeshMatrix, AAbsoluteMatrix);
    ANormal = (AHit.Normal * normalMatrix).Normalize();
  };
  if (FBVH) {
    TRaycastResult hit;
    const bool result = FBVH->Raycast(ray, hit);
    if (result)
      report(hit);
    return result;
  }
  // The box of the raw positions: the ray is in that space, Transform is not applied to it.
  TRaycastResult boxHit;
  if (!TAABB::FromBoundingBox(GetRawBoundingBox()).Raycast(ray, boxHit))
    return false;
  bool result = false;
  float best = NoHitDistance;
  const uint32_t vertexCount = uint32_t(vertices->Length());
  for (int32_t t = 0; t < indices->Length() / 3; ++t) {
    uint32_t corner[3];
    if (!TriangleAt(*indices, t, vertexCount, corner))
      continue;
    const TTriangle triangle = TTriangle::Create(vertices->GetVertices(int32_t(corner[2])),
                                                 vertices->GetVertices(int32_t(corner[1])),
                                                 vertices->GetVertices(int32_t(corner[0])));
    TRaycastResult hit;
    if (!triangle.Raycast(ray, &hit) || hit.T < 0 || !(hit.T < best))
      continue;
    report(hit);
    best = hit.T;
    result = true;
  }
  return result;
}

// ---- TMeshDef: polygons ----

TPoint3D TMeshDef::GetNormalVectorFromPoints(const TPoint3D& A, const TPoint3D& B, const TPoint3D& C) {
  return (B - A).CrossProduct(C - A).Normalize();
}

namespace {

T3DPolygon To3D(const TPolygon& APoly) {
  T3DPolygon result;
  result.reserve(APoly.size());
  for (const TPointF& p : APoly)
    result.push_back({p.X, p.Y, 0});
  return result;
}

void CheckPolygon(size_t APoints, const TPolygon& ATexCoords, const T3DPolygon& ANormals) {
  if (APoints < 3)
    throw Exception("invalid polygon length - at least 3 vertices needed");
  if (!ATexCoords.empty() && ATexCoords.size() != APoints)
    throw Exception("invalid polygon texture coordinates length - number of texture coordinates not equal to "
                    "number of vertices");
  if (!ANormals.empty() && ANormals.size() != APoints)
    throw Exception("invalid polygon normals length - number of normals not equal to number of vertices");
}

} // namespace

void TMeshDef::AddPolygon(const TPolygon& APoly) {
  AddPolygon(To3D(APoly), {}, {});
}

void TMeshDef::AddPolygon(const T3DPolygon& APoly) {
  AddPolygon(APoly, {}, {});
}

void TMeshDef::AddPolygon(const TPolygon& APoly, const TPolygon& ATexCoords, const T3DPolygon& ANormals) {
  AddPolygon(To3D(APoly), ATexCoords, ANormals);
}

void TMeshDef::AddPolygon(const T3DPolygon& APoly, const TPolygon& ATexCoords, const T3DPolygon& ANormals) {
  CheckPolygon(APoly.size(), ATexCoords, ANormals);
  AddPolygonPoints(APoly, ATexCoords, ANormals);
}

void TMeshDef::AddPolygonPoints(const T3DPolygon& APoly, const TPolygon& ATexCoords, const T3DPolygon& ANormals) {
  if (!GetVertexSource())
    CreateVertexSource(GetVertexFormat());
  if (!GetIndexSource())
    CreateIndexSource(GetIndexFormat());
  TVertexBuffer& vertices = *GetVertexSource();
  TIndexBuffer& indices = *GetIndexSource();
  const int32_t n = int32_t(APoly.size());
  const int32_t firstVertex = vertices.Length();
  int32_t v = firstVertex;
  int32_t i = indices.Length();
  vertices.SetLength(v + 3 * n - 6);
  indices.SetLength(i + 3 * n - 6);
  for (int32_t k = 1; k <= n - 2; ++k) {
    const size_t corners[3] = {0, size_t(k), size_t(k + 1)};
    for (int32_t c = 0; c < 3; ++c) {
      vertices.SetVertices(v + c, APoly[corners[c]]);
      if (!ATexCoords.empty())
        vertices.SetTexCoord(0, v + c, ATexCoords[corners[c]]);
    }
    const TPoint3D faceNormal =
        GetNormalVectorFromPoints(vertices.GetVertices(v), vertices.GetVertices(v + 1), vertices.GetVertices(v + 2));
    for (int32_t c = 0; c < 3; ++c) {
      vertices.SetNormals(v + c, ANormals.empty() ? faceNormal : ANormals[corners[c]]);
      indices.SetIndices(i + c, uint32_t(v + c));
    }
    v += 3;
    i += 3;
  }
  if (ATexCoords.empty())
    CalcTextureCoordinates(firstVertex, vertices.Length() - 1);
}

// ---- TMeshDef: normals, tangents, texture coordinates ----

void TMeshDef::ComputeFaceNormals(TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                                  std::vector<TPoint3D>& AFaceNormals, bool APropagate) {
  const int32_t count = AIndices.Length();
  AFaceNormals.assign(size_t(count / 3), TPoint3D{});
  const uint32_t vertexCount = uint32_t(AVertices.Length());
  for (int32_t t = 0; 3 * t < count - 2; ++t) {
    uint32_t i[3];
    if (!TriangleAt(AIndices, t, vertexCount, i))
      continue;
    const TPoint3D p0 = AVertices.GetVertices(int32_t(i[0]));
    const TPoint3D p1 = AVertices.GetVertices(int32_t(i[1]));
    const TPoint3D p2 = AVertices.GetVertices(int32_t(i[2]));
    const TPoint3D n = (p1 - p0).CrossProduct(p1 - p2).Normalize();
    AFaceNormals[size_t(t)] = n;
    if (APropagate) {
      AVertices.SetNormals(int32_t(i[0]), n);
      AVertices.SetNormals(int32_t(i[2]), n);
      AVertices.SetNormals(int32_t(i[1]), n);
    }
  }
}

void TMeshDef::ComputeSmoothNormalsReference(TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                                             float AWeldEpsilon, std::vector<TPoint3D>& AFaceNormals) {
  const int32_t vertexCount = AVertices.Length();
  const int32_t triangles = AIndices.Length() / 3;
  std::vector<TPoint3D> positions(static_cast<size_t>(vertexCount));
  for (int32_t v = 0; v < vertexCount; ++v)
    positions[size_t(v)] = AVertices.GetVertices(v);
  for (int32_t v = 0; v < vertexCount; ++v) {
    TPoint3D sum;
    for (int32_t t = 0; t < triangles; ++t) {
      uint32_t i[3];
      if (!TriangleAt(AIndices, t, uint32_t(vertexCount), i))
        continue;
      for (const uint32_t corner : i)
        if (WeldMatch(positions[size_t(v)], positions[corner], AWeldEpsilon))
          Accumulate(sum, AFaceNormals[size_t(t)]);
    }
    AVertices.SetNormals(v, sum.Normalize());
  }
}

void TMeshDef::ComputeSmoothNormalsGrid(TVertexBuffer& AVertices, const TIndexBuffer& AIndices, float AWeldEpsilon,
                                        std::vector<TPoint3D>& AFaceNormals) {
  if (!std::isfinite(AWeldEpsilon) || !(AWeldEpsilon > 0))
    return ComputeSmoothNormalsReference(AVertices, AIndices, AWeldEpsilon, AFaceNormals);
  const int32_t vertexCount = AVertices.Length();
  const int32_t triangles = AIndices.Length() / 3;
  // Cells of four epsilons: a position's epsilon neighbourhood then mostly lies in its own cell,
  // and only positions near a cell's side look into the neighbour on that side.
  const double cellSize = double(AWeldEpsilon) * 4;
  // The neighbourhood is widened a little, so that rounding never hides a matching cell.
  const double reach = double(AWeldEpsilon) * 1.001;
  std::vector<TPoint3D> positions(static_cast<size_t>(vertexCount));
  constexpr double cellLimit = 4.0e18; // well inside int64
  for (int32_t v = 0; v < vertexCount; ++v) {
    const TPoint3D p = AVertices.GetVertices(v);
    positions[size_t(v)] = p;
    if (IsFinitePoint(p) && (std::abs(p.X / cellSize) >= cellLimit || std::abs(p.Y / cellSize) >= cellLimit ||
                             std::abs(p.Z / cellSize) >= cellLimit))
      return ComputeSmoothNormalsReference(AVertices, AIndices, AWeldEpsilon, AFaceNormals);
  }
  const auto cellIndex = [&](double AValue) { return int64_t(std::floor(AValue / cellSize)); };
  const auto cellOf = [&](const TPoint3D& P) { return TCell{cellIndex(P.X), cellIndex(P.Y), cellIndex(P.Z)}; };
  // Corners (3t + c) of valid triangles at finite positions, sorted by cell, then by corner.
  struct TCorner {
    TCell Cell;
    uint32_t Corner;
    uint32_t Vertex;
  };
  std::vector<TCorner> corners;
  corners.reserve(size_t(triangles) * 3);
  for (int32_t t = 0; t < triangles; ++t) {
    uint32_t i[3];
    if (!TriangleAt(AIndices, t, uint32_t(vertexCount), i))
      continue;
    for (uint32_t c = 0; c < 3; ++c)
      if (IsFinitePoint(positions[i[c]]))
        corners.push_back({cellOf(positions[i[c]]), uint32_t(3 * t) + c, i[c]});
  }
  std::sort(corners.begin(), corners.end(), [](const TCorner& A, const TCorner& B) {
    if (A.Cell.X != B.Cell.X)
      return A.Cell.X < B.Cell.X;
    if (A.Cell.Y != B.Cell.Y)
      return A.Cell.Y < B.Cell.Y;
    if (A.Cell.Z != B.Cell.Z)
      return A.Cell.Z < B.Cell.Z;
    return A.Corner < B.Corner;
  });
  size_t cellCount = 0;
  for (size_t k = 0; k < corners.size(); ++k)
    cellCount += (k == 0 || !(corners[k].Cell == corners[k - 1].Cell)) ? 1 : 0;
  TCellTable table(cellCount);
  for (size_t begin = 0; begin < corners.size();) {
    size_t end = begin + 1;
    while (end < corners.size() && corners[end].Cell == corners[begin].Cell)
      ++end;
    table.Insert(corners[begin].Cell, uint32_t(begin), uint32_t(end));
    begin = end;
  }
  std::vector<uint32_t> matches;
  for (int32_t v = 0; v < vertexCount; ++v) {
    const TPoint3D p = positions[size_t(v)];
    TPoint3D sum;
    if (IsFinitePoint(p)) {
      matches.clear();
      const TCell low{cellIndex(p.X - reach), cellIndex(p.Y - reach), cellIndex(p.Z - reach)};
      const TCell high{cellIndex(p.X + reach), cellIndex(p.Y + reach), cellIndex(p.Z + reach)};
      for (int64_t x = low.X; x <= high.X; ++x)
        for (int64_t y = low.Y; y <= high.Y; ++y)
          for (int64_t z = low.Z; z <= high.Z; ++z) {
            const TCellTable::TEntry* entry = table.Find({x, y, z});
            if (!entry)
              continue;
            for (uint32_t k = entry->Begin; k < entry->End; ++k)
              if (WeldMatch(p, positions[corners[k].Vertex], AWeldEpsilon))
                matches.push_back(corners[k].Corner);
          }
      // The reference sums by triangle, then corner: the same order gives the same bits.
      std::sort(matches.begin(), matches.end());
      for (const uint32_t corner : matches)
        Accumulate(sum, AFaceNormals[corner / 3]);
    }
    AVertices.SetNormals(v, sum.Normalize());
  }
}

void TMeshDef::ComputeSmoothNormals(TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                                    TMeshDefCalculateNormalMethod AMethod, float AWeldEpsilon,
                                    std::vector<TPoint3D>& AFaceNormals) {
  ComputeFaceNormals(AVertices, AIndices, AFaceNormals, false);
  const int32_t vertexCount = AVertices.Length();
  const int32_t triangles = AIndices.Length() / 3;
  switch (AMethod) {
  case TMeshDefCalculateNormalMethod::cnmDefault:
    if (vertexCount < SmoothNormalGridThreshold)
      return ComputeSmoothNormalsReference(AVertices, AIndices, AWeldEpsilon, AFaceNormals);
    return ComputeSmoothNormalsGrid(AVertices, AIndices, AWeldEpsilon, AFaceNormals);
  case TMeshDefCalculateNormalMethod::cnmFastest: {
    std::vector<TPoint3D> sums(static_cast<size_t>(vertexCount));
    for (int32_t t = 0; t < triangles; ++t) {
      uint32_t i[3];
      if (!TriangleAt(AIndices, t, uint32_t(vertexCount), i))
        continue;
      for (const uint32_t corner : i)
        Accumulate(sums[corner], AFaceNormals[size_t(t)]);
    }
    for (int32_t v = 0; v < vertexCount; ++v)
      AVertices.SetNormals(v, sums[size_t(v)].Normalize());
    return;
  }
  default: {
    const double scale = AWeldEpsilon > 0 ? 1.0 / double(AWeldEpsilon) : 10000.0;
    // Insertion-ordered: the order of the sums shows in the result.
    TDictionary<TMeshDefVertexSmoothNormalInfo, TPoint3D, TSmoothInfoHash> table;
    for (int32_t t = 0; t < triangles; ++t) {
      uint32_t i[3];
      if (!TriangleAt(AIndices, t, uint32_t(vertexCount), i))
        continue;
      const TPoint3D n = AFaceNormals[size_t(t)];
      for (const uint32_t corner : i) {
        const TMeshDefVertexSmoothNormalInfo key{int32_t(corner), RoundSaturated(n.X * scale),
                                                 RoundSaturated(n.Y * scale), RoundSaturated(n.Z * scale)};
        if (TPoint3D* sum = table.Find(key))
          Accumulate(*sum, n);
        else
          table.Add(key, n);
      }
    }
    std::vector<TPoint3D> sums(static_cast<size_t>(vertexCount));
    for (const auto& entry : table)
      Accumulate(sums[size_t(entry.Key.VertexId)], entry.Value.Normalize());
    for (int32_t v = 0; v < vertexCount; ++v)
      AVertices.SetNormals(v, sums[size_t(v)].Normalize());
    return;
  }
  }
}

void TMeshDef::ComputeTangentBinormals(TVertexBuffer* AVertexBuffer, const TIndexBuffer* AIndexBuffer) {
  if (!AVertexBuffer || !AIndexBuffer)
    return;
  const TVertexFormats format = AVertexBuffer->Format();
  if (!format.Contains(TVertexFormat::Normal) || !format.Contains(TVertexFormat::Tangent) ||
      !format.Contains(TVertexFormat::BiNormal))
    return;
  const uint32_t vertexCount = uint32_t(AVertexBuffer->Length());
  for (int32_t t = 0; t < AIndexBuffer->Length() / 3; ++t) {
    uint32_t i[3];
    if (!TriangleAt(*AIndexBuffer, t, vertexCount, i))
      continue;
    const TPoint3D p0 = AVertexBuffer->GetVertices(int32_t(i[0]));
    const TPointF uv0 = AVertexBuffer->GetTexCoord(0, int32_t(i[0]));
    const TPoint3D e1 = AVertexBuffer->GetVertices(int32_t(i[1])) - p0;
    const TPoint3D e2 = AVertexBuffer->GetVertices(int32_t(i[2])) - p0;
    const TPointF uv1 = AVertexBuffer->GetTexCoord(0, int32_t(i[1]));
    const TPointF uv2 = AVertexBuffer->GetTexCoord(0, int32_t(i[2]));
    const double du1 = double(uv1.X) - uv0.X, dv1 = double(uv1.Y) - uv0.Y;
    const double du2 = double(uv2.X) - uv0.X, dv2 = double(uv2.Y) - uv0.Y;
    const double det = du1 * dv2 - dv1 * du2;
    const double r = det == 0 ? 0 : 1 / det;
    const TPoint3D tangent{f32((e1.X * dv2 - e2.X * dv1) * r), f32((e1.Y * dv2 - e2.Y * dv1) * r),
                           f32((e1.Z * dv2 - e2.Z * dv1) * r)};
    const TPoint3D binormal{f32((e2.X * du1 - e1.X * du2) * r), f32((e2.Y * du1 - e1.Y * du2) * r),
                            f32((e2.Z * du1 - e1.Z * du2) * r)};
    for (const uint32_t corner : i) {
      AVertexBuffer->SetTangents(int32_t(corner), tangent);
      AVertexBuffer->SetBiNormals(int32_t(corner), binormal);
    }
  }
}

void TMeshDef::CalcFaceNormals(bool APropagateFaceNormalsToVertices, bool ASubMeshes) {
  if (ASubMeshes)
    if (const auto* children = GetChildren())
      for (TTransformDef* child : *children)
        if (auto* mesh = dynamic_cast<TMeshDef*>(child))
          mesh->CalcFaceNormals(APropagateFaceNormalsToVertices, ASubMeshes);
  if (!GetVertexSource() || !GetIndexSource())
    return;
  ComputeFaceNormals(*GetVertexSource(), *GetIndexSource(), FFaceNormals, APropagateFaceNormalsToVertices);
}

void TMeshDef::CalcSmoothNormals(TMeshDefCalculateNormalMethod AMethod, float AWeldEpsilon, bool ASubMeshes) {
  if (ASubMeshes)
    if (const auto* children = GetChildren())
      for (TTransformDef* child : *children)
        if (auto* mesh = dynamic_cast<TMeshDef*>(child))
          mesh->CalcSmoothNormals(AMethod, AWeldEpsilon, ASubMeshes);
  if (!GetVertexSource() || !GetIndexSource())
    return;
  // The face normals of the sub-meshes are computed again, as the face-normal pass with
  // sub-meshes would.
  if (const auto* children = GetChildren())
    for (TTransformDef* child : *children)
      if (auto* mesh = dynamic_cast<TMeshDef*>(child))
        mesh->CalcFaceNormals(false, true);
  ComputeSmoothNormals(*GetVertexSource(), *GetIndexSource(), AMethod, AWeldEpsilon, FFaceNormals);
}

void TMeshDef::CalcTangentBinormals(TVertexBuffer* AVertexBuffer, const TIndexBuffer* AIndexBuffer) {
  ComputeTangentBinormals(AVertexBuffer, AIndexBuffer);
}

void TMeshDef::CalcTangentBinormals(bool ASubMeshes) {
  if (ASubMeshes)
    if (const auto* children = GetChildren())
      for (TTransformDef* child : *children)
        if (auto* mesh = dynamic_cast<TMeshDef*>(child))
          mesh->CalcTangentBinormals(ASubMeshes);
  CalcTangentBinormals(GetVertexSource(), GetIndexSource());
}

void TMeshDef::CalcTangentBinormals(TMeshData* AData) {
  if (AData)
    CalcTangentBinormals(&AData->VertexBuffer(), &AData->IndexBuffer());
}

void TMeshDef::CalcTextureCoordinates() {
  if (const TVertexBuffer* vertices = GetVertexSource())
    CalcTextureCoordinates(0, vertices->Length() - 1);
}

void TMeshDef::CalcTextureCoordinates(int32_t AStartIdx, int32_t AStopIdx) {
  if (TVertexBuffer* vertices = GetVertexSource())
    CalcTextureCoordinates(vertices, GetBoundingBox(), AStartIdx, AStopIdx);
}

void TMeshDef::CalcTextureCoordinates(TVertexBuffer* AVertexBuffer, const TBoundingBox& ABoundingBox,
                                      int32_t AStartIdx, int32_t AStopIdx) {
  if (!AVertexBuffer || AStopIdx < AStartIdx)
    return;
  const TPoint3D center = ABoundingBox.CenterPoint();
  for (int32_t v = AStartIdx; v <= AStopIdx; ++v) {
    const TPoint3D d = (AVertexBuffer->GetVertices(v) - center).Normalize();
    AVertexBuffer->SetTexCoord(0, v,
                               {f32(std::asin(double(d.X)) / std::numbers::pi + 0.5),
                                f32(std::asin(double(d.Y)) / std::numbers::pi + 0.5)});
  }
}

// ---- TMeshDef: transforms and copies ----

void TMeshDef::ApplyTransformationMatrixToVertices(const TMatrix3D& ATransform, bool AModfiyVertices) {
  if (GetTransform() == TMatrix3D{})
    SetTransform(TMatrix3D::Identity());
  const TMatrix3D matrix = GetTransform() * ATransform;
  if (!AModfiyVertices) {
    SetTransform(matrix);
    return;
  }
  if (const auto* children = GetChildren())
    for (TTransformDef* child : *children)
      if (auto* mesh = dynamic_cast<TMeshDef*>(child))
        mesh->ApplyTransformationMatrixToVertices(matrix, true);
  if (TVertexBuffer* vertices = GetVertexSource()) {
    const TVertexFormats format = vertices->Format();
    // Directions must not take the translation: normals through the inverse transpose, tangents
    // and binormals through the upper 3x3.
    const TMatrix3D normalMatrix = NormalMatrixOf(matrix);
    const TMatrix3D upper = UpperOf(matrix);
    for (int32_t v = 0; v < vertices->Length(); ++v) {
      vertices->SetVertices(v, vertices->GetVertices(v) * matrix);
      if (format.Contains(TVertexFormat::Normal))
        vertices->SetNormals(v, (vertices->GetNormals(v) * normalMatrix).Normalize());
      if (format.Contains(TVertexFormat::Tangent))
        vertices->SetTangents(v, (vertices->GetTangents(v) * upper).Normalize());
      if (format.Contains(TVertexFormat::BiNormal))
        vertices->SetBiNormals(v, (vertices->GetBiNormals(v) * upper).Normalize());
    }
  }
  SetTransform(TMatrix3D::Identity());
}

void TMeshDef::MoveVerticesToPivot() {
  const TPoint3D center = GetCombinedBoundingBox().CenterPoint();
  ApplyTransformationMatrixToVertices(TMatrix3D::CreateTranslation(-center), true);
}

void TMeshDef::ApplyToMeshData(TMeshData* AData) {
  if (!AData || !GetVertexSource())
    return;
  DirtyHackApplyMeshDataBuffers(AData, GetVertexSource(), GetIndexSource());
  if (GetIndexSource() && AData->VertexBuffer().Buffer())
    AData->IndexBuffer().Assign(*GetIndexSource());
  TVertexBuffer& vertices = AData->VertexBuffer();
  if (vertices.Length() < 1)
    return;
  const auto isZero = [](const TPoint3D& P) {
    return std::abs(P.X) < 1e-7f && std::abs(P.Y) < 1e-7f && std::abs(P.Z) < 1e-7f;
  };
  if (isZero(vertices.GetNormals(0))) {
    std::vector<TPoint3D> faceNormals;
    ComputeFaceNormals(vertices, AData->IndexBuffer(), faceNormals, true);
  }
  if (isZero(vertices.GetTangents(0)))
    CalcTangentBinormals(AData);
}

void TMeshDef::ApplyFromMeshData(const TMeshData* AData) {
  if (!AData)
    return;
  SetVertices(&AData->VertexBuffer());
  SetIndices(&AData->IndexBuffer());
  BoundingBoxChanged();
}

void TMeshDef::ApplyToMeshDef(TMeshDef* ADef, TCopyVertexOptions AOptions) {
  if (!ADef)
    return;
  if (ADef->GetBVH())
    ADef->ReleaseBVH();
  if (GetVertexIndexMap() && ADef->GetVertexIndexMap())
    ADef->GetVertexIndexMap()->Clear();
  ADef->SetVertices(GetVertexSource());
  ADef->SetIndices(GetIndexSource());
  if (TVertexBuffer* vertices = ADef->GetVertexSource())
    for (int32_t v = 0; v < vertices->Length(); ++v) {
      TPoint3D p = vertices->GetVertices(v);
      if (AOptions.Contains(TCopyVertexOption::ExchangeYZ))
        std::swap(p.Y, p.Z);
      if (AOptions.Contains(TCopyVertexOption::ExchangeYX))
        std::swap(p.Y, p.X);
      if (AOptions.Contains(TCopyVertexOption::ExchangeXZ))
        std::swap(p.X, p.Z);
      vertices->SetVertices(v, p);
    }
  ADef->UpdateMeshBuffer();
}

// ---- TVertexGroupDef ----

TVertexGroupDef::TVertexGroupDef(TCustomDef* AOwner) : TMeshDef(AOwner) {
  const auto* owner = dynamic_cast<const TCustomMeshDef*>(AOwner);
  CreateIndexSource(owner ? owner->GetIndexFormat() : TIndexFormat::UInt32);
}

TVertexBuffer* TVertexGroupDef::GetVertexSource() const {
  const auto* owner = dynamic_cast<const TCustomMeshDef*>(GetOwnerRef());
  return owner ? owner->GetVertexSource() : nullptr;
}

void TVertexGroupDef::ApplyToMeshData(TMeshData* AData) {
  const TIndexBuffer* indices = GetIndexSource();
  if (AData && indices && indices->Size() > 0)
    AData->IndexBuffer().Assign(*indices);
}

void TVertexGroupDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  const int32_t ordinal = GetJSONInteger(AValue, "IndexFormat", 0);
  if (ordinal < 0 || ordinal > 1)
    throw ERangeError(rtl::messages::RangeError);
  const auto format = TIndexFormat(ordinal);
  SetIndexFormatField(format);
  const int32_t count = std::max(GetJSONInteger(AValue, "IndexCount", 0), 0);
  if (count > 0)
    ReadIndices(AValue, count, format);
}

} // namespace vantrel
