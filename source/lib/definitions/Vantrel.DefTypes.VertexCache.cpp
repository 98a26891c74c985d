// The vertex cache: attribute sources filled by importers, corners resolved into full vertices,
// identical vertices welded into one, triangle indices and the source-to-vertex index map.

#include <algorithm>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVertexCache, "Vantrel.DefTypes")

namespace {

[[noreturn]] void RaiseRange() {
  throw ERangeError(rtl::messages::RangeError);
}

template <class T> int32_t Append(std::vector<T>& AList, const T& AValue) {
  AList.push_back(AValue);
  return int32_t(AList.size()) - 1;
}

std::vector<TPoint3D> PointsOf(const std::vector<float>& AValues) {
  std::vector<TPoint3D> result(AValues.size() / 3);
  for (size_t i = 0; i < result.size(); ++i)
    result[i] = {AValues[3 * i], AValues[3 * i + 1], AValues[3 * i + 2]};
  return result;
}

// An element of an index-checked list; a bad index raises the lists' range error.
template <class T> const T& At(const std::vector<T>& AList, int32_t AIndex) {
  if (AIndex < 0 || size_t(AIndex) >= AList.size())
    RaiseRange();
  return AList[size_t(AIndex)];
}

} // namespace

TVertexCache::TVertexCache(uint32_t ADefaultCapacity) {
  PositionSource.reserve(ADefaultCapacity);
  NormalSource.reserve(ADefaultCapacity);
  BinormalSource.reserve(ADefaultCapacity);
  TangentSource.reserve(ADefaultCapacity);
  IndexMap.SetCapacity(int32_t(std::min<uint32_t>(ADefaultCapacity, 1u << 30)));
  Vertices.reserve(ADefaultCapacity);
  Indices.reserve(ADefaultCapacity);
  PointIndices.reserve(ADefaultCapacity);
}

TVertexCache::~TVertexCache() {
  Destroyed = true;
}

void TVertexCache::ClearBuffers() {
  NormalsAvailable = TangentsAvailable = BinormalsAvailable = TexCoordsAvailable = TexCoordsST = false;
  PositionSource.clear();
  NormalSource.clear();
  BinormalSource.clear();
  TangentSource.clear();
  for (auto& source : TextureSources)
    source.clear();
  for (auto& source : ColorSources)
    source.clear();
  ClearMaps();
}

void TVertexCache::ClearMaps() {
  IndexMap.Clear();
  FWeldTable.Clear();
}

void TVertexCache::ClearAll() {
  ClearBuffers();
  Vertices.clear();
  Indices.clear();
}

void TVertexCache::ClearVirtualData() {
  ClearMaps();
  NormalsAvailable = TangentsAvailable = BinormalsAvailable = TexCoordsAvailable = TexCoordsST = false;
  Vertices.clear();
  Indices.clear();
}

void TVertexCache::DoOnCreateSubMesh(TMeshDef*, TMeshDef*) {}

TMaterialDef* TVertexCache::DoOnCreateDefaultMaterial(TMeshDef*) {
  return nullptr;
}

TMaterialRefDef* TVertexCache::DoOnCreateMaterialRef(TMeshDef* AMesh, TMaterialDef* AMaterial) {
  return AMesh && AMaterial ? AMesh->GetMaterial() : nullptr;
}

// ---- source adders and setters ----

int32_t TVertexCache::AddPositionSource(float X, float Y, float Z) {
  return Append(PositionSource, TPoint3D{X, Y, Z});
}
int32_t TVertexCache::AddPositionSource(const TPoint3D& AValue) {
  return Append(PositionSource, AValue);
}
int32_t TVertexCache::AddNormalSource(float X, float Y, float Z) {
  return Append(NormalSource, TPoint3D{X, Y, Z});
}
int32_t TVertexCache::AddNormalSource(const TPoint3D& AValue) {
  return Append(NormalSource, AValue);
}
int32_t TVertexCache::AddBinormalSource(float X, float Y, float Z) {
  return Append(BinormalSource, TPoint3D{X, Y, Z});
}
int32_t TVertexCache::AddBinormalSource(const TPoint3D& AValue) {
  return Append(BinormalSource, AValue);
}
int32_t TVertexCache::AddTangentSource(float X, float Y, float Z) {
  return Append(TangentSource, TPoint3D{X, Y, Z});
}
int32_t TVertexCache::AddTangentSource(const TPoint3D& AValue) {
  return Append(TangentSource, AValue);
}

int32_t TVertexCache::AddTangentSource(const std::vector<TVector3D>& AValues) {
  int32_t last = -1;
  for (const TVector3D& value : AValues)
    last = AddTangentSource(value.X, value.Y, value.Z);
  return last;
}

int32_t TVertexCache::AddTextureSource(int32_t AIndex, float S, float T, bool AConvertToUV) {
  std::vector<TPointF>* source = GetTextureSourceArray(AIndex);
  if (!source)
    RaiseRange();
  return Append(*source, TPointF{S, AConvertToUV ? 1 - T : T});
}

int32_t TVertexCache::AddTextureSource(int32_t AIndex, const TPointF& AValue, bool AConvertToUV) {
  return AddTextureSource(AIndex, AValue.X, AValue.Y, AConvertToUV);
}

int32_t TVertexCache::AddColorSource(int32_t AIndex, float R, float G, float B, float A) {
  std::vector<TAlphaColorF>* source = GetColorSourceArray(AIndex);
  if (!source)
    RaiseRange();
  return Append(*source, TAlphaColorF{R, G, B, A});
}

int32_t TVertexCache::AddColorSource(int32_t AIndex, const TAlphaColorF& AValue) {
  return AddColorSource(AIndex, AValue.R, AValue.G, AValue.B, AValue.A);
}

void TVertexCache::SetPositionSource(const std::vector<float>& AValues) {
  PositionSource = PointsOf(AValues);
}

void TVertexCache::SetNormalSource(const std::vector<float>& AValues) {
  NormalSource = PointsOf(AValues);
}

void TVertexCache::SetNormalSource(const std::vector<float>& AValues, const TMatrix3D& ATransform) {
  // Normals are directions: the inverse transpose of the upper 3x3, no translation.
  TMatrix3D upper = ATransform;
  upper.m14 = upper.m24 = upper.m34 = 0;
  upper.m41 = upper.m42 = upper.m43 = 0;
  upper.m44 = 1;
  const TMatrix3D normalMatrix = upper.Inverse().Transpose();
  NormalSource = PointsOf(AValues);
  for (TPoint3D& normal : NormalSource) {
    const TPoint3D transformed = normal * normalMatrix;
    normal = transformed.Length() > 0 ? transformed.Normalize() : transformed;
  }
}

void TVertexCache::SetBiNormalSource(const std::vector<float>& AValues) {
  BinormalSource = PointsOf(AValues);
}

void TVertexCache::SetTangentSource(const std::vector<float>& AValues) {
  TangentSource = PointsOf(AValues);
}

void TVertexCache::SetTextureSource(int32_t AIndex, const std::vector<float>& AValues, bool AConvertToUV,
                                    int32_t AStride) {
  std::vector<TPointF>* source = GetTextureSourceArray(AIndex);
  if (!source)
    RaiseRange();
  if (AStride < 2)
    throw EArgumentException(Format("invalid texture coordinate stride %d - at least 2 expected", {AStride}));
  source->clear();
  const size_t count = AValues.size() / size_t(AStride);
  for (size_t k = 0; k < count; ++k) {
    const size_t i = k * size_t(AStride);
    source->push_back({AValues[i], AConvertToUV ? 1 - AValues[i + 1] : AValues[i + 1]});
  }
}

void TVertexCache::SetColorSource(int32_t AIndex, const std::vector<float>& AValues) {
  std::vector<TAlphaColorF>* source = GetColorSourceArray(AIndex);
  if (!source)
    RaiseRange();
  source->clear();
  for (size_t i = 0; i + 3 < AValues.size(); i += 4)
    source->push_back({AValues[i], AValues[i + 1], AValues[i + 2], AValues[i + 3]});
}

std::vector<TPointF>* TVertexCache::GetTextureSourceArray(int32_t AIndex) {
  return AIndex >= 0 && AIndex < TextureSetCount ? &TextureSources[size_t(AIndex)] : nullptr;
}

std::vector<TAlphaColorF>* TVertexCache::GetColorSourceArray(int32_t AIndex) {
  return AIndex >= 0 && AIndex < ColorSetCount ? &ColorSources[size_t(AIndex)] : nullptr;
}

// ---- vertices and faces ----

TVertexData TVertexCache::GetVertex(const TVertexID& AVertex) const {
  if (AVertex.Position < 0 || size_t(AVertex.Position) >= PositionSource.size())
    throw Exception(Format("invalid index for vertex position coordinate: %d < %d",
                           {AVertex.Position, int32_t(PositionSource.size())}));
  TVertexData result;
  result.Position = PositionSource[size_t(AVertex.Position)];
  result.SmoothGroup = AVertex.SmoothGroup;
  // Counts come from file data: clamped to the fixed arrays.
  const int textureCount = std::clamp<int>(AVertex.Textures.Count, 0, TextureSetCount);
  if (AVertex.Textures.Count < 1)
    result.Flags.Include(TVertexDataFlag::CalcTexCoords);
  for (int t = 0; t < textureCount; ++t) {
    const int32_t index = AVertex.Textures.Indices[size_t(t)];
    const auto& source = TextureSources[size_t(t)];
    result.TexCoords.push_back(index < 0 || size_t(index) >= source.size() ? TPointF{} : source[size_t(index)]);
  }
  if (AVertex.Normal < 0 || size_t(AVertex.Normal) >= NormalSource.size())
    result.Flags.Include(TVertexDataFlag::CalcNormals);
  else
    result.Normal = NormalSource[size_t(AVertex.Normal)];
  if (AVertex.Binormal >= 0 && !BinormalSource.empty())
    result.Binormal = At(BinormalSource, AVertex.Binormal);
  if (AVertex.Tangent < 0 || TangentSource.empty())
    result.Flags.Include(TVertexDataFlag::CalcTangents);
  else
    result.Tangent = At(TangentSource, AVertex.Tangent);
  const int colorCount = std::clamp<int>(AVertex.Colors.Count, 0, ColorSetCount);
  for (int c = 0; c < colorCount; ++c) {
    const int32_t index = AVertex.Colors.Indices[size_t(c)];
    const auto& source = ColorSources[size_t(c)];
    result.Colors.push_back(index < 0 || size_t(index) >= source.size() ? TAlphaColorF{0, 0, 0, 1}
                                                                         : source[size_t(index)]);
  }
  return result;
}

uint32_t TVertexCache::AddCorner(const TVertexID& ACorner, std::vector<TVertexData>& AVertices) {
  TVertexData vertex = GetVertex(ACorner);
  const uint64_t hash = vertex.GetHash();
  uint32_t result = 0;
  bool found = false;
  std::vector<uint32_t>* candidates = FWeldTable.Find(hash);
  if (candidates)
    for (const uint32_t index : *candidates)
      if (index < AVertices.size() && AVertices[index].Equals(vertex)) {
        result = index;
        found = true;
        break;
      }
  if (!found) {
    result = uint32_t(AVertices.size());
    AVertices.push_back(std::move(vertex));
    if (candidates)
      candidates->push_back(result);
    else
      FWeldTable.Add(hash, {result});
  }
  IndexMap.AddIndex(uint32_t(ACorner.Position), result);
  return result;
}

int32_t TVertexCache::AddTriangle(int32_t AIndexOffset, const TTriangleID& ATriangle,
                                  std::vector<TVertexData>& AVertices, std::vector<TTriangleIndex>& AIndices,
                                  TVertexOrder AVertexOrder) {
  const TVertexID& a = ATriangle[0];
  const TVertexID& b = ATriangle[1];
  const TVertexID& c = ATriangle[2];
  if (AVertexOrder == TVertexOrder::CW) {
    const uint32_t wb = AddCorner(b, AVertices);
    const uint32_t wc = AddCorner(c, AVertices);
    const uint32_t wa = AddCorner(a, AVertices);
    AIndices.push_back({wb, wc, wa});
  } else {
    const uint32_t wa = AddCorner(a, AVertices);
    const uint32_t wc = AddCorner(c, AVertices);
    const uint32_t wb = AddCorner(b, AVertices);
    AIndices.push_back({wa, wc, wb});
  }
  return AIndexOffset + 3;
}

int32_t TVertexCache::AddPolygon(int32_t AIndexOffset, const TPolygonID& APolygon,
                                 std::vector<TVertexData>& AVertices, std::vector<TTriangleIndex>& AIndices,
                                 TVertexOrder AVertexOrder) {
  const size_t n = APolygon.size();
  if (n < 3)
    return AIndexOffset;
  if (n == 3)
    return AddTriangle(AIndexOffset, {APolygon[0], APolygon[1], APolygon[2]}, AVertices, AIndices, AVertexOrder);
  int32_t offset = AIndexOffset;
  for (size_t k = 1; k + 1 < n; ++k) {
    if (AVertexOrder == TVertexOrder::CW) {
      const uint32_t w1 = AddCorner(APolygon[k], AVertices);
      const uint32_t w2 = AddCorner(APolygon[k + 1], AVertices);
      const uint32_t w0 = AddCorner(APolygon[0], AVertices);
      AIndices.push_back({w1, w2, w0});
    } else {
      const uint32_t w0 = AddCorner(APolygon[0], AVertices);
      const uint32_t w2 = AddCorner(APolygon[k + 1], AVertices);
      const uint32_t w1 = AddCorner(APolygon[k], AVertices);
      AIndices.push_back({w0, w2, w1});
    }
    offset += 3;
  }
  return offset;
}

int32_t TVertexCache::AddPoints(int32_t AIndexOffset, std::vector<TVertexData>& AVertices,
                                std::vector<uint32_t>& AIndices) {
  int32_t last = 0;
  for (int32_t p = std::max(AIndexOffset, 0); size_t(p) < PositionSource.size(); ++p) {
    TVertexData vertex;
    vertex.Position = PositionSource[size_t(p)];
    vertex.Normal = At(NormalSource, p);
    vertex.TexCoords.push_back(At(TextureSources[0], p));
    vertex.Colors.push_back(At(ColorSources[0], p));
    last = int32_t(AVertices.size());
    AVertices.push_back(std::move(vertex));
    AIndices.push_back(uint32_t(last));
  }
  return last;
}

} // namespace vantrel
