#include "ui/mesh_buffers.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "rtl/exceptions.h"
#include "ui/context3d.h"

namespace ui {

using rtl::TAlphaColor;
using rtl::TPoint3D;
using rtl::TPointF;

static_assert(std::endian::native == std::endian::little, "buffers store little-endian values by copying");

namespace {

// The attributes in byte order within a vertex, with their sizes.
struct TLayoutEntry {
  TVertexFormat Format;
  int32_t Size;
};
constexpr TLayoutEntry kLayout[] = {
    {TVertexFormat::Vertex, 12},   {TVertexFormat::Normal, 12},   {TVertexFormat::Color0, 4},
    {TVertexFormat::Color1, 4},    {TVertexFormat::Color2, 4},    {TVertexFormat::Color3, 4},
    {TVertexFormat::TexCoord0, 8}, {TVertexFormat::TexCoord1, 8}, {TVertexFormat::TexCoord2, 8},
    {TVertexFormat::TexCoord3, 8}, {TVertexFormat::BiNormal, 12}, {TVertexFormat::Tangent, 12},
    {TVertexFormat::ColorF0, 16},  {TVertexFormat::ColorF1, 16},  {TVertexFormat::ColorF2, 16},
    {TVertexFormat::ColorF3, 16},
};

[[noreturn]] void RaiseRangeError() {
  throw rtl::ERangeError(rtl::messages::RangeError);
}

void CheckSlot(int32_t ASlot) {
  if (ASlot < 0 || ASlot > 3)
    RaiseRangeError();
}

TVertexFormat Slot(TVertexFormat AFirst, int32_t ASlot) {
  CheckSlot(ASlot);
  return TVertexFormat(int32_t(AFirst) + ASlot);
}

// Byte storage for ALength elements of AElementSize bytes, refusing sizes an int32 cannot count.
size_t StorageSize(int32_t ALength, int32_t AElementSize) {
  if (ALength < 0 || (AElementSize > 0 && ALength > std::numeric_limits<int32_t>::max() / AElementSize))
    RaiseRangeError();
  return size_t(ALength) * size_t(AElementSize);
}

template <class T> T Read(const uint8_t* AAddress) {
  T value{};
  if (AAddress)
    std::memcpy(&value, AAddress, sizeof(T));
  return value;
}

template <class T> void Write(uint8_t* AAddress, const T& AValue) {
  if (AAddress)
    std::memcpy(AAddress, &AValue, sizeof(T));
}

} // namespace

RTL_DEFINE_CLASS(TVertexBuffer, "ui.MeshBuffers")
RTL_DEFINE_CLASS(TIndexBuffer, "ui.MeshBuffers")
RTL_DEFINE_CLASS(TMeshData, "ui.MeshBuffers")

TVertexBuffer::TVertexBuffer(TVertexFormats AFormat, int32_t ALength) : FFormat(AFormat) {
  for (int32_t& offset : FOffsets)
    offset = -1;
  for (const TLayoutEntry& entry : kLayout)
    if (FFormat.Contains(entry.Format)) {
      FOffsets[unsigned(entry.Format)] = FVertexSize;
      FDeclaration.push_back({entry.Format, FVertexSize});
      FVertexSize += entry.Size;
    }
  SetLength(ALength);
}

int32_t TVertexBuffer::VertexSizeOf(TVertexFormats AFormat) {
  int32_t size = 0;
  for (const TLayoutEntry& entry : kLayout)
    if (AFormat.Contains(entry.Format))
      size += entry.Size;
  return size;
}

void TVertexBuffer::SetLength(int32_t ALength) {
  FData.resize(StorageSize(ALength, FVertexSize));
  FLength = ALength;
}

void TVertexBuffer::CheckIndex(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= FLength)
    RaiseRangeError();
}

uint8_t* TVertexBuffer::Element(int32_t AIndex, TVertexFormat AFormat) {
  CheckIndex(AIndex);
  const int32_t offset = OffsetOf(AFormat);
  return offset < 0 ? nullptr : FData.data() + size_t(AIndex) * FVertexSize + offset;
}

const uint8_t* TVertexBuffer::Element(int32_t AIndex, TVertexFormat AFormat) const {
  return const_cast<TVertexBuffer*>(this)->Element(AIndex, AFormat);
}

TPoint3D TVertexBuffer::GetVertices(int32_t AIndex) const {
  return Read<TPoint3D>(Element(AIndex, TVertexFormat::Vertex));
}
void TVertexBuffer::SetVertices(int32_t AIndex, const TPoint3D& AValue) {
  Write(Element(AIndex, TVertexFormat::Vertex), AValue);
}
TPoint3D TVertexBuffer::GetNormals(int32_t AIndex) const {
  return Read<TPoint3D>(Element(AIndex, TVertexFormat::Normal));
}
void TVertexBuffer::SetNormals(int32_t AIndex, const TPoint3D& AValue) {
  Write(Element(AIndex, TVertexFormat::Normal), AValue);
}
TPoint3D TVertexBuffer::GetBiNormals(int32_t AIndex) const {
  return Read<TPoint3D>(Element(AIndex, TVertexFormat::BiNormal));
}
void TVertexBuffer::SetBiNormals(int32_t AIndex, const TPoint3D& AValue) {
  Write(Element(AIndex, TVertexFormat::BiNormal), AValue);
}
TPoint3D TVertexBuffer::GetTangents(int32_t AIndex) const {
  return Read<TPoint3D>(Element(AIndex, TVertexFormat::Tangent));
}
void TVertexBuffer::SetTangents(int32_t AIndex, const TPoint3D& AValue) {
  Write(Element(AIndex, TVertexFormat::Tangent), AValue);
}

TPointF TVertexBuffer::GetTexCoord(int32_t ASlot, int32_t AIndex) const {
  return Read<TPointF>(Element(AIndex, Slot(TVertexFormat::TexCoord0, ASlot)));
}
void TVertexBuffer::SetTexCoord(int32_t ASlot, int32_t AIndex, const TPointF& AValue) {
  Write(Element(AIndex, Slot(TVertexFormat::TexCoord0, ASlot)), AValue);
}

TAlphaColor TVertexBuffer::GetColor(int32_t ASlot, int32_t AIndex) const {
  const TVertexFormat byteColor = Slot(TVertexFormat::Color0, ASlot);
  if (FFormat.Contains(byteColor))
    return Read<TAlphaColor>(Element(AIndex, byteColor));
  const uint8_t* floatColor = Element(AIndex, Slot(TVertexFormat::ColorF0, ASlot));
  return floatColor ? Read<rtl::TAlphaColorF>(floatColor).ToAlphaColor() : TAlphaColor(0);
}

void TVertexBuffer::SetColor(int32_t ASlot, int32_t AIndex, TAlphaColor AValue) {
  const TVertexFormat byteColor = Slot(TVertexFormat::Color0, ASlot);
  if (FFormat.Contains(byteColor))
    Write(Element(AIndex, byteColor), AValue);
  else
    Write(Element(AIndex, Slot(TVertexFormat::ColorF0, ASlot)), rtl::TAlphaColorF::Create(AValue));
}

rtl::TAlphaColorF TVertexBuffer::GetColorF(int32_t ASlot, int32_t AIndex) const {
  return Read<rtl::TAlphaColorF>(Element(AIndex, Slot(TVertexFormat::ColorF0, ASlot)));
}

void TVertexBuffer::SetColorF(int32_t ASlot, int32_t AIndex, const rtl::TAlphaColorF& AValue) {
  Write(Element(AIndex, Slot(TVertexFormat::ColorF0, ASlot)), AValue);
}

void TVertexBuffer::Assign(const TVertexBuffer& ASource) {
  if (&ASource == this)
    return;
  FFormat = ASource.FFormat;
  FLength = ASource.FLength;
  FVertexSize = ASource.FVertexSize;
  std::memcpy(FOffsets, ASource.FOffsets, sizeof(FOffsets));
  FDeclaration = ASource.FDeclaration;
  FData = ASource.FData;
}

void TVertexBuffer::AdoptLayoutAndCopy(const TVertexBuffer& ASource) {
  if (&ASource == this)
    return;
  // Release first, so that the copy never holds two blocks at once.
  std::vector<uint8_t>().swap(FData);
  Assign(ASource);
}

TIndexBuffer::TIndexBuffer(int32_t ALength, TIndexFormat AFormat) : FFormat(AFormat) {
  SetLength(ALength);
}

void TIndexBuffer::SetLength(int32_t ALength) {
  Changed();
  FData.resize(StorageSize(ALength, IndexSize()));
  FLength = ALength;
}

void TIndexBuffer::Changed() {
  // One counter for all index buffers: a buffer made at the address of a freed one never repeats
  // the freed one's version.
  static std::atomic<uint64_t> versions{0};
  FVersion = ++versions;
}

void TIndexBuffer::CheckIndex(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= FLength)
    RaiseRangeError();
}

void TIndexBuffer::Assign(const TIndexBuffer& ASource) {
  if (&ASource == this)
    return;
  Changed();
  FFormat = ASource.FFormat;
  FLength = ASource.FLength;
  FData = ASource.FData;
}

uint32_t TIndexBuffer::GetIndices(int32_t AIndex) const {
  CheckIndex(AIndex);
  const uint8_t* address = FData.data() + size_t(AIndex) * IndexSize();
  if (FFormat == TIndexFormat::UInt16)
    return Read<uint16_t>(address);
  return Read<uint32_t>(address);
}

void TIndexBuffer::SetIndices(int32_t AIndex, uint32_t AValue) {
  CheckIndex(AIndex);
  Changed();
  uint8_t* address = FData.data() + size_t(AIndex) * IndexSize();
  if (FFormat == TIndexFormat::UInt32)
    return Write(address, AValue);
  if (AValue > std::numeric_limits<uint16_t>::max())
    RaiseRangeError();
  Write(address, uint16_t(AValue));
}

TMeshData::TMeshData(TVertexFormats AVertexFormat, int32_t AVertexCount, int32_t AIndexCount,
                     TIndexFormat AIndexFormat)
    : FOwnVertexBuffer(std::make_shared<TVertexBuffer>(AVertexFormat, AVertexCount)),
      FVertexBuffer(FOwnVertexBuffer), FIndexBuffer(rtl::MakeOwned<TIndexBuffer>(AIndexCount, AIndexFormat)) {}

void TMeshData::Render(TContext3D* AContext, TMaterial* AMaterial, float AOpacity) {
  if (!AContext)
    return;
  const TVertexBuffer& vertices = *FVertexBuffer;
  const TIndexBuffer& indices = *FIndexBuffer;
  AContext->DrawPrimitives(TPrimitivesKind::Triangles, vertices.Buffer(), indices.Buffer(),
                           vertices.GetVertexDeclarations(), vertices.VertexSize(), vertices.Length(),
                           indices.IndexSize(), indices.Length(), AMaterial, AOpacity);
}

void TMeshData::ShareVertexBuffer(std::shared_ptr<TVertexBuffer> AShared) {
  FVertexBuffer = AShared ? std::move(AShared) : FOwnVertexBuffer;
  FBoundingBoxValid = false;
}

void TMeshData::Assign(const TMeshData& ASource) {
  FVertexBuffer->Assign(*ASource.FVertexBuffer);
  FIndexBuffer->Assign(*ASource.FIndexBuffer);
  FBoundingBoxValid = false;
}

rtl::TBoundingBox TMeshData::GetBoundingBox() {
  if (!FBoundingBoxValid) {
    const TVertexBuffer& vertices = *FVertexBuffer;
    std::vector<TPoint3D> points(size_t(vertices.Length()));
    for (int32_t i = 0; i < vertices.Length(); ++i)
      points[size_t(i)] = vertices.GetVertices(i);
    FBoundingBox = rtl::TBoundingBox::Create(points);
    FBoundingBoxValid = true;
  }
  return FBoundingBox;
}

namespace {

// Moeller-Trumbore, both faces: the distance along ADir, or a negative value for a miss.
double RayTriangleDistance(const TPoint3D& AOrigin, const TPoint3D& ADir, const TPoint3D& A, const TPoint3D& B,
                           const TPoint3D& C) {
  const double e1[3] = {double(B.X) - A.X, double(B.Y) - A.Y, double(B.Z) - A.Z};
  const double e2[3] = {double(C.X) - A.X, double(C.Y) - A.Y, double(C.Z) - A.Z};
  const double d[3] = {ADir.X, ADir.Y, ADir.Z};
  const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]};
  const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
  if (std::abs(det) < 1e-12)
    return -1;
  const double s[3] = {double(AOrigin.X) - A.X, double(AOrigin.Y) - A.Y, double(AOrigin.Z) - A.Z};
  const double u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) / det;
  if (u < 0 || u > 1)
    return -1;
  const double q[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2], s[0] * e1[1] - s[1] * e1[0]};
  const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) / det;
  if (v < 0 || u + v > 1)
    return -1;
  return (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
}

} // namespace

bool TMeshData::RayCastIntersect(const TPoint3D& ARayPos, const TPoint3D& ARayDir,
                                 TPoint3D& AIntersection) const {
  const TVertexBuffer& vertices = *FVertexBuffer;
  const TIndexBuffer& indices = *FIndexBuffer;
  const uint32_t vertexCount = uint32_t(vertices.Length());
  double best = -1;
  for (int32_t t = 0; t + 2 < indices.Length(); t += 3) {
    const uint32_t i0 = indices.GetIndices(t), i1 = indices.GetIndices(t + 1), i2 = indices.GetIndices(t + 2);
    if (i0 >= vertexCount || i1 >= vertexCount || i2 >= vertexCount)
      continue;
    const double distance = RayTriangleDistance(ARayPos, ARayDir, vertices.GetVertices(int32_t(i0)),
                                                vertices.GetVertices(int32_t(i1)), vertices.GetVertices(int32_t(i2)));
    if (distance >= 0 && (best < 0 || distance < best))
      best = distance;
  }
  if (best < 0)
    return false;
  AIntersection = {rtl::f32(ARayPos.X + best * ARayDir.X), rtl::f32(ARayPos.Y + best * ARayDir.Y),
                   rtl::f32(ARayPos.Z + best * ARayDir.Z)};
  return true;
}

} // namespace ui
