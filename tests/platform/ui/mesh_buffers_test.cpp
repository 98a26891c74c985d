#include <gtest/gtest.h>

#include <cstring>

#include "rtl/exceptions.h"
#include "ui/mesh_buffers.h"

namespace {

using namespace ui;
using rtl::TAlphaColor;
using rtl::TPoint3D;

TEST(VertexBuffer, LayoutPutsPositionFirstAndFloatColoursLast) {
  struct TCase {
    TVertexFormats Format;
    int32_t VertexSize;
    TVertexDeclaration Declaration;
  };
  using F = TVertexFormat;
  const TCase cases[] = {
      {{F::Vertex}, 12, {{F::Vertex, 0}}},
      {{F::Tangent, F::Vertex, F::TexCoord0, F::Normal},
       44,
       {{F::Vertex, 0}, {F::Normal, 12}, {F::TexCoord0, 24}, {F::Tangent, 32}}},
      {{F::ColorF0, F::Color1, F::BiNormal, F::TexCoord3},
       40,
       {{F::Color1, 0}, {F::TexCoord3, 4}, {F::BiNormal, 12}, {F::ColorF0, 24}}},
  };
  for (const TCase& c : cases) {
    TVertexBuffer buffer(c.Format, 3);
    EXPECT_EQ(buffer.VertexSize(), c.VertexSize);
    EXPECT_EQ(TVertexBuffer::VertexSizeOf(c.Format), c.VertexSize);
    EXPECT_EQ(buffer.Size(), 3 * c.VertexSize);
    EXPECT_EQ(buffer.GetVertexDeclarations(), c.Declaration);
  }
}

TEST(VertexBuffer, AttributesAreInterleavedAndMissingOnesReadAsZero) {
  TVertexBuffer buffer({TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::Color0}, 2);
  buffer.SetVertices(1, {1, 2, 3});
  buffer.SetNormals(1, {0, 0, 1});
  buffer.SetColor(0, 1, 0x80FF2010);
  float position[3];
  std::memcpy(position, buffer.Buffer() + 28, sizeof(position));
  EXPECT_EQ(position[2], 3);
  EXPECT_EQ(buffer.GetVertices(1), (TPoint3D{1, 2, 3}));
  EXPECT_EQ(buffer.GetNormals(1), (TPoint3D{0, 0, 1}));
  EXPECT_EQ(buffer.GetColor(0, 1), 0x80FF2010u);
  EXPECT_EQ(buffer.GetVertices(0), (TPoint3D{}));

  buffer.SetTangents(1, {5, 5, 5});
  EXPECT_EQ(buffer.GetTangents(1), (TPoint3D{}));
  EXPECT_EQ(buffer.GetColor(2, 1), 0u);
}

TEST(VertexBuffer, ByteColourGoesToTheFloatColourWhenOnlyThatExists) {
  TVertexBuffer buffer({TVertexFormat::Vertex, TVertexFormat::ColorF1}, 1);
  buffer.SetColor(1, 0, rtl::claTomato);
  rtl::TAlphaColorF stored;
  std::memcpy(&stored, buffer.Buffer() + buffer.OffsetOf(TVertexFormat::ColorF1), sizeof(stored));
  EXPECT_EQ(stored, rtl::TAlphaColorF::Create(rtl::claTomato));
  EXPECT_EQ(buffer.GetColor(1, 0), rtl::claTomato);
}

TEST(VertexBuffer, OutOfRangeAccessRaisesRangeError) {
  TVertexBuffer buffer({TVertexFormat::Vertex, TVertexFormat::TexCoord0}, 2);
  EXPECT_THROW(buffer.GetVertices(2), rtl::ERangeError);
  EXPECT_THROW(buffer.SetVertices(-1, {}), rtl::ERangeError);
  EXPECT_THROW(buffer.GetTexCoord(4, 0), rtl::ERangeError);
  EXPECT_THROW(TVertexBuffer({TVertexFormat::Vertex}, -1), rtl::ERangeError);
  try {
    buffer.GetNormals(5);
    FAIL();
  } catch (const rtl::ERangeError& e) {
    EXPECT_EQ(e.Message(), "Range check error");
  }
  buffer.SetVertices(1, {7, 8, 9});
  buffer.SetLength(3);
  EXPECT_EQ(buffer.GetVertices(1), (TPoint3D{7, 8, 9}));
  EXPECT_EQ(buffer.GetVertices(2), (TPoint3D{}));
}

TEST(IndexBuffer, StoresLittleEndianIndicesOfItsFormat) {
  struct TCase {
    TIndexFormat Format;
    uint32_t Value;
    std::vector<uint8_t> Bytes;
  };
  const TCase cases[] = {{TIndexFormat::UInt16, 0x1234, {0x34, 0x12}},
                         {TIndexFormat::UInt32, 0x12345678, {0x78, 0x56, 0x34, 0x12}}};
  for (const TCase& c : cases) {
    TIndexBuffer buffer(3, c.Format);
    EXPECT_EQ(buffer.Size(), 3 * int32_t(c.Bytes.size()));
    buffer.SetIndices(2, c.Value);
    EXPECT_EQ(buffer.GetIndices(2), c.Value);
    EXPECT_EQ(std::vector<uint8_t>(buffer.Buffer() + 2 * c.Bytes.size(), buffer.Buffer() + buffer.Size()),
              c.Bytes);
    EXPECT_THROW(buffer.GetIndices(3), rtl::ERangeError);
    EXPECT_THROW(buffer.SetIndices(-1, 0), rtl::ERangeError);
  }
  TIndexBuffer narrow(1, TIndexFormat::UInt16);
  EXPECT_THROW(narrow.SetIndices(0, 65536), rtl::ERangeError);
  EXPECT_EQ(narrow.GetIndices(0), 0u);
}

TEST(MeshData, OwnsBuffersOfTheChosenFormats) {
  auto mesh = rtl::MakeOwned<TMeshData>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal}, 4, 6,
                                        TIndexFormat::UInt32);
  EXPECT_EQ(mesh->VertexBuffer().Length(), 4);
  EXPECT_EQ(mesh->VertexBuffer().VertexSize(), 24);
  EXPECT_EQ(mesh->IndexBuffer().Length(), 6);
  EXPECT_EQ(mesh->IndexBuffer().IndexSize(), 4);
  EXPECT_EQ(mesh->ClassName(), "TMeshData");
}

} // namespace

namespace {

TEST(VertexBuffer, AdoptLayoutAndCopyKeepsTheObject) {
  TVertexBuffer target({TVertexFormat::Vertex, TVertexFormat::ColorF0}, 4);
  TVertexBuffer source({TVertexFormat::Vertex, TVertexFormat::TexCoord0}, 2);
  source.SetTexCoord(0, 1, {0.5f, 0.25f});
  const TVertexBuffer* identity = &target;
  target.AdoptLayoutAndCopy(source);
  EXPECT_EQ(&target, identity);
  EXPECT_EQ(target.Format(), source.Format());
  EXPECT_EQ(target.Length(), 2);
  EXPECT_EQ(target.VertexSize(), 20);
  EXPECT_EQ(target.OffsetOf(TVertexFormat::TexCoord0), 12);
  EXPECT_EQ(target.GetTexCoord(0, 1), (rtl::TPointF{0.5f, 0.25f}));
  target.AdoptLayoutAndCopy(TVertexBuffer({TVertexFormat::Vertex}, 0));
  EXPECT_EQ(target.Buffer(), nullptr);
  target.SetLength(1);
  target.SetColorF(0, 0, {1, 0, 0, 1}); // the format has no float colour now: nothing happens
  EXPECT_EQ(target.GetColorF(0, 0), (rtl::TAlphaColorF{}));
}

TEST(MeshData, SharesVertexBuffersRaysAndBoxes) {
  TMeshData parent({TVertexFormat::Vertex}, 3, 3);
  parent.VertexBuffer().SetVertices(1, {1, 0, 0});
  parent.VertexBuffer().SetVertices(2, {0, 1, 0});
  parent.IndexBuffer().SetIndices(1, 1);
  parent.IndexBuffer().SetIndices(2, 2);
  EXPECT_EQ(parent.GetBoundingBox(), (rtl::TBoundingBox{0, 0, 0, 1, 1, 0}));
  TPoint3D hit;
  // Two-sided: from either side.
  ASSERT_TRUE(parent.RayCastIntersect({0.25f, 0.25f, 5}, {0, 0, -1}, hit));
  EXPECT_EQ(hit, (TPoint3D{0.25f, 0.25f, 0}));
  ASSERT_TRUE(parent.RayCastIntersect({0.25f, 0.25f, -5}, {0, 0, 1}, hit));
  parent.IndexBuffer().SetIndices(2, 9); // beyond the vertices: skipped
  EXPECT_FALSE(parent.RayCastIntersect({0.25f, 0.25f, 5}, {0, 0, -1}, hit));

  TVertexBuffer* shared = nullptr;
  {
    TMeshData group({TVertexFormat::Vertex}, 0, 3);
    TMeshData owner({TVertexFormat::Vertex}, 3, 0);
    group.ShareVertexBuffer(owner.SharedVertexBuffer());
    shared = &group.VertexBuffer();
    EXPECT_EQ(shared, &owner.VertexBuffer());
    EXPECT_TRUE(group.IsVertexBufferShared());
    group.ShareVertexBuffer(nullptr);
    EXPECT_EQ(group.VertexBuffer().Length(), 0);
  }
  // Either destruction order is safe: the holder keeps the buffer alive.
  std::shared_ptr<TVertexBuffer> keep;
  {
    TMeshData owner({TVertexFormat::Vertex}, 3, 0);
    keep = owner.SharedVertexBuffer();
  }
  EXPECT_EQ(keep->Length(), 3);
}

} // namespace
