#pragma once
// CPU-side vertex and index buffers. A vertex buffer interleaves the attributes of its format in
// a fixed byte layout (position first), which files copy byte for byte:
//   Vertex 12, Normal 12, Color0..Color3 4 each, TexCoord0..TexCoord3 8 each, BiNormal 12,
//   Tangent 12, ColorF0..ColorF3 16 each (R, G, B, A floats).
// An index buffer holds 16- or 32-bit little-endian indices. Element access outside 0..Length-1
// raises ERangeError.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/object.h"
#include "rtl/typeinfo.h"
#include "rtl/types2d.h"

namespace ui {

class TContext3D;
class TMaterial;

enum class TVertexFormat : uint8_t {
  Vertex,
  Normal,
  Color0,
  Color1,
  Color2,
  Color3,
  ColorF0,
  ColorF1,
  ColorF2,
  ColorF3,
  TexCoord0,
  TexCoord1,
  TexCoord2,
  TexCoord3,
  BiNormal,
  Tangent,
};
RTL_ENUM_TYPEINFO(TVertexFormat, "Vertex", "Normal", "Color0", "Color1", "Color2", "Color3", "ColorF0",
                  "ColorF1", "ColorF2", "ColorF3", "TexCoord0", "TexCoord1", "TexCoord2", "TexCoord3",
                  "BiNormal", "Tangent")

// A set of vertex formats, bit n = ordinal n.
class TVertexFormats {
public:
  constexpr TVertexFormats() = default;
  constexpr TVertexFormats(std::initializer_list<TVertexFormat> AFormats) {
    for (TVertexFormat format : AFormats)
      Include(format);
  }
  constexpr bool Contains(TVertexFormat AFormat) const { return (FBits & Bit(AFormat)) != 0; }
  constexpr TVertexFormats& Include(TVertexFormat AFormat) {
    FBits |= Bit(AFormat);
    return *this;
  }
  constexpr TVertexFormats& Exclude(TVertexFormat AFormat) {
    FBits &= ~Bit(AFormat);
    return *this;
  }
  constexpr bool IsEmpty() const { return FBits == 0; }
  constexpr uint16_t Bits() const { return FBits; }
  constexpr bool operator==(const TVertexFormats&) const = default;

private:
  static constexpr uint16_t Bit(TVertexFormat AFormat) { return uint16_t(1u << unsigned(AFormat)); }
  uint16_t FBits = 0;
};

struct TVertexElement {
  TVertexFormat Format = TVertexFormat::Vertex;
  int32_t Offset = 0;
  bool operator==(const TVertexElement&) const = default;
};
// The elements of a vertex, in byte order.
using TVertexDeclaration = std::vector<TVertexElement>;

class TVertexBuffer : public rtl::TObject {
  RTL_CLASS(TVertexBuffer, rtl::TObject)
public:
  TVertexBuffer(TVertexFormats AFormat, int32_t ALength);

  // The bytes one vertex of AFormat takes.
  static int32_t VertexSizeOf(TVertexFormats AFormat);

  TVertexFormats Format() const { return FFormat; }
  int32_t Length() const { return FLength; }
  // Changes the vertex count, keeping the leading vertices and zeroing new ones.
  void SetLength(int32_t ALength);
  int32_t VertexSize() const { return FVertexSize; }
  int32_t Size() const { return FLength * FVertexSize; }
  // The interleaved bytes; null while the buffer holds none.
  uint8_t* Buffer() { return FData.empty() ? nullptr : FData.data(); }
  const uint8_t* Buffer() const { return FData.empty() ? nullptr : FData.data(); }
  const TVertexDeclaration& GetVertexDeclarations() const { return FDeclaration; }

  // A full copy of ASource: format, layout, count and data.
  void Assign(const TVertexBuffer& ASource);
  // Releases this buffer's memory, takes ASource's format, count, vertex size, offsets and byte
  // size, and copies ASource's data when it holds any. The object stays the same, so everything
  // that refers to it sees the new layout.
  void AdoptLayoutAndCopy(const TVertexBuffer& ASource);
  // The byte offset of AFormat within a vertex, or -1 when the format lacks it.
  int32_t OffsetOf(TVertexFormat AFormat) const { return FOffsets[unsigned(AFormat)]; }

  // Attribute access. Reading an attribute the format lacks gives zeros; writing one does nothing.
  rtl::TPoint3D GetVertices(int32_t AIndex) const;
  void SetVertices(int32_t AIndex, const rtl::TPoint3D& AValue);
  rtl::TPoint3D GetNormals(int32_t AIndex) const;
  void SetNormals(int32_t AIndex, const rtl::TPoint3D& AValue);
  rtl::TPoint3D GetBiNormals(int32_t AIndex) const;
  void SetBiNormals(int32_t AIndex, const rtl::TPoint3D& AValue);
  rtl::TPoint3D GetTangents(int32_t AIndex) const;
  void SetTangents(int32_t AIndex, const rtl::TPoint3D& AValue);
  // ASlot 0..3: TexCoord0..TexCoord3.
  rtl::TPointF GetTexCoord(int32_t ASlot, int32_t AIndex) const;
  void SetTexCoord(int32_t ASlot, int32_t AIndex, const rtl::TPointF& AValue);
  // ASlot 0..3: the byte colour ColorN, or else the float colour ColorFN converted.
  rtl::TAlphaColor GetColor(int32_t ASlot, int32_t AIndex) const;
  void SetColor(int32_t ASlot, int32_t AIndex, rtl::TAlphaColor AValue);
  // ASlot 0..3: the float colour ColorFN.
  rtl::TAlphaColorF GetColorF(int32_t ASlot, int32_t AIndex) const;
  void SetColorF(int32_t ASlot, int32_t AIndex, const rtl::TAlphaColorF& AValue);

private:
  // The address of AFormat in vertex AIndex, or nullptr when the format lacks it.
  uint8_t* Element(int32_t AIndex, TVertexFormat AFormat);
  const uint8_t* Element(int32_t AIndex, TVertexFormat AFormat) const;
  void CheckIndex(int32_t AIndex) const;

  TVertexFormats FFormat;
  int32_t FLength = 0;
  int32_t FVertexSize = 0;
  int32_t FOffsets[16];
  TVertexDeclaration FDeclaration;
  std::vector<uint8_t> FData;
};

enum class TIndexFormat : uint8_t { UInt16, UInt32 };
RTL_ENUM_TYPEINFO(TIndexFormat, "UInt16", "UInt32")

class TIndexBuffer : public rtl::TObject {
  RTL_CLASS(TIndexBuffer, rtl::TObject)
public:
  explicit TIndexBuffer(int32_t ALength, TIndexFormat AFormat = TIndexFormat::UInt16);

  int32_t Length() const { return FLength; }
  // Changes the index count, keeping the leading indices and zeroing new ones.
  void SetLength(int32_t ALength);
  TIndexFormat Format() const { return FFormat; }
  int32_t IndexSize() const { return FFormat == TIndexFormat::UInt16 ? 2 : 4; }
  int32_t Size() const { return FLength * IndexSize(); }
  // The index bytes; null while the buffer holds none. Writable access counts as a change.
  uint8_t* Buffer() {
    Changed();
    return FData.empty() ? nullptr : FData.data();
  }
  const uint8_t* Buffer() const { return FData.empty() ? nullptr : FData.data(); }
  // A new value, unique in the process, with every change (and every writable access to the
  // bytes), so callers can keep values derived from the indices until they change.
  uint64_t Version() const { return FVersion; }

  // A full copy of ASource, its format included.
  void Assign(const TIndexBuffer& ASource);

  uint32_t GetIndices(int32_t AIndex) const;
  // A value that does not fit a 16-bit buffer raises ERangeError instead of wrapping.
  void SetIndices(int32_t AIndex, uint32_t AValue);

private:
  void CheckIndex(int32_t AIndex) const;
  void Changed();

  TIndexFormat FFormat;
  int32_t FLength = 0;
  std::vector<uint8_t> FData;
  uint64_t FVersion = 0;
};

// One mesh's vertices and indices. The index buffer is its own; the vertex buffer sits behind a
// shared handle, so a vertex group can draw its parent's vertices and the parent's buffer lives
// as long as any holder.
class TMeshData : public rtl::TObject {
  RTL_CLASS(TMeshData, rtl::TObject)
public:
  TMeshData(TVertexFormats AVertexFormat, int32_t AVertexCount, int32_t AIndexCount,
            TIndexFormat AIndexFormat = TIndexFormat::UInt16);

  TVertexBuffer& VertexBuffer() { return *FVertexBuffer; }
  const TVertexBuffer& VertexBuffer() const { return *FVertexBuffer; }
  TIndexBuffer& IndexBuffer() { return *FIndexBuffer; }
  const TIndexBuffer& IndexBuffer() const { return *FIndexBuffer; }
  const TVertexDeclaration& VertexDeclaration() const { return FVertexBuffer->GetVertexDeclarations(); }

  // The handle others may share.
  const std::shared_ptr<TVertexBuffer>& SharedVertexBuffer() const { return FVertexBuffer; }
  // Draws AShared's vertices from now on; null goes back to the own buffer.
  void ShareVertexBuffer(std::shared_ptr<TVertexBuffer> AShared);
  bool IsVertexBufferShared() const { return FVertexBuffer != FOwnVertexBuffer; }

  // Copies both buffers' content (not the sharing).
  void Assign(const TMeshData& ASource);

  // The box of the positions, recomputed after CalcBoundingBox or a change flagged with
  // BoundingBoxChanged; zeros when there are no vertices.
  rtl::TBoundingBox GetBoundingBox();
  void BoundingBoxChanged() { FBoundingBoxValid = false; }

  // Draws the triangles through AContext's DrawPrimitives, also when the buffers are empty: a
  // static mesh draws its empty data from the context's cached GPU buffers. Pointers are null for
  // empty buffers; the index size is the format's (2 or 4).
  void Render(TContext3D* AContext, TMaterial* AMaterial, float AOpacity);

  // The nearest intersection of the ray with a triangle, seen from either side. Triangles with an
  // index at or beyond the vertex count are skipped. False leaves AIntersection unchanged.
  bool RayCastIntersect(const rtl::TPoint3D& ARayPos, const rtl::TPoint3D& ARayDir,
                        rtl::TPoint3D& AIntersection) const;

private:
  std::shared_ptr<TVertexBuffer> FOwnVertexBuffer;
  std::shared_ptr<TVertexBuffer> FVertexBuffer;
  rtl::TOwned<TIndexBuffer> FIndexBuffer;
  rtl::TBoundingBox FBoundingBox;
  bool FBoundingBoxValid = false;
};

} // namespace ui
