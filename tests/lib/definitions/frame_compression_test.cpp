#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "definitions/Vantrel.DefTypes.Cache.h"

namespace {

using namespace vantrel;

using TBytes = std::vector<uint8_t>;

template <class T> void Append(TBytes& ABytes, const T& AValue) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&AValue);
  ABytes.insert(ABytes.end(), bytes, bytes + sizeof(T));
}

TBytes Extract(TVertexFormat AFormat, const TVertexBuffer* ABuffer, TMemoryStream& AStream) {
  TAnimationFrameCompression::SetSourceStream(AFormat, ABuffer, &AStream);
  EXPECT_EQ(AStream.GetPosition(), 0);
  return TBytes(AStream.Memory(), AStream.Memory() + AStream.GetSize());
}

TBytes Extract(TVertexFormat AFormat, const TVertexBuffer& ABuffer) {
  auto stream = MakeOwned<TMemoryStream>();
  return Extract(AFormat, &ABuffer, *stream);
}

// Three vertices with position, normal, texture coordinate and a byte colour, each value distinct.
TOwned<TVertexBuffer> Interleaved() {
  auto buffer = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal,
                                                        TVertexFormat::Color0, TVertexFormat::TexCoord0},
                                         3);
  for (int i = 0; i < 3; ++i) {
    const float f = float(i);
    buffer->SetVertices(i, {f, f + 0.5f, f + 0.25f});
    buffer->SetNormals(i, {-f, 1, 2 * f});
    buffer->SetTexCoord(0, i, {f / 4, 1 - f / 4});
    buffer->SetColor(0, i, 0xFF102030u + uint32_t(i));
  }
  return buffer;
}

TEST(FrameCompression, InterleavedAttributesArePackedPerVertex) {
  auto buffer = Interleaved();
  TBytes positions, normals, texcoords, colors;
  for (int i = 0; i < 3; ++i) {
    Append(positions, buffer->GetVertices(i));
    Append(normals, buffer->GetNormals(i));
    Append(texcoords, buffer->GetTexCoord(0, i));
    Append(colors, buffer->GetColor(0, i));
  }
  EXPECT_EQ(Extract(TVertexFormat::Vertex, *buffer), positions);
  EXPECT_EQ(Extract(TVertexFormat::Normal, *buffer), normals);
  EXPECT_EQ(Extract(TVertexFormat::TexCoord0, *buffer), texcoords);
  // Both colour forms of a slot give its 32-bit colour.
  EXPECT_EQ(Extract(TVertexFormat::Color0, *buffer), colors);
  EXPECT_EQ(Extract(TVertexFormat::ColorF0, *buffer), colors);
}

TEST(FrameCompression, FloatColoursAreWrittenAsByteColours) {
  auto buffer = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::ColorF1}, 2);
  buffer->SetColor(1, 0, 0xFF8040C0u);
  buffer->SetColor(1, 1, 0x80FF0000u);
  TBytes colors;
  Append(colors, uint32_t(0xFF8040C0u));
  Append(colors, uint32_t(0x80FF0000u));
  EXPECT_EQ(Extract(TVertexFormat::Color1, *buffer), colors);
  EXPECT_EQ(Extract(TVertexFormat::ColorF1, *buffer), colors);
}

TEST(FrameCompression, SingleAttributeBufferIsWrittenWhole) {
  auto buffer = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::TexCoord0}, 4);
  for (int i = 0; i < 4; ++i)
    buffer->SetTexCoord(0, i, {float(i), float(-i)});
  EXPECT_EQ(Extract(TVertexFormat::TexCoord0, *buffer), TBytes(buffer->Buffer(), buffer->Buffer() + 32));
}

// A buffer whose vertex size equals the attribute size, but which lacks the attribute.
TEST(FrameCompression, MissingAttributeGivesZerosNotOtherData) {
  auto positions = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex}, 2);
  positions->SetVertices(0, {1, 2, 3});
  positions->SetVertices(1, {4, 5, 6});
  EXPECT_EQ(Extract(TVertexFormat::Normal, *positions), TBytes(24, 0));
  EXPECT_EQ(Extract(TVertexFormat::Color2, *positions), TBytes(8, 0));
}

TEST(FrameCompression, NothingIsWrittenForOtherOrdinalsOrNoBuffer) {
  auto buffer = Interleaved();
  EXPECT_TRUE(Extract(static_cast<TVertexFormat>(16), *buffer).empty());
  EXPECT_TRUE(Extract(static_cast<TVertexFormat>(17), *buffer).empty());
  auto stream = MakeOwned<TMemoryStream>();
  EXPECT_TRUE(Extract(TVertexFormat::Normal, nullptr, *stream).empty());
}

TEST(FrameCompression, WritesAtThePositionAndRewinds) {
  auto buffer = Interleaved();
  auto stream = MakeOwned<TMemoryStream>();
  const uint32_t marker = 0xDEADBEEF;
  stream->WriteBuffer(&marker, sizeof marker);
  const TBytes bytes = Extract(TVertexFormat::TexCoord0, buffer.get(), *stream);
  ASSERT_EQ(bytes.size(), 4u + 24u);
  EXPECT_EQ(std::memcmp(bytes.data(), &marker, 4), 0);
  EXPECT_EQ(TBytes(bytes.begin() + 4, bytes.end()), Extract(TVertexFormat::TexCoord0, *buffer));
}

} // namespace
