#include "Vantrel.DefTypes.Cache.h"

#include <cstring>

namespace vantrel {

RTL_DEFINE_CLASS(TAnimationFrameCompression, "Vantrel.DefTypes.Cache")

namespace {

bool IsColor(TVertexFormat AFormat) {
  return AFormat >= TVertexFormat::Color0 && AFormat <= TVertexFormat::ColorF3;
}

// Copies ASize bytes at AOffset of every vertex; the whole buffer at once when a vertex holds
// nothing else.
// A copy of a constant length compiles to a few moves; a run-time length to a generic loop.
template <size_t N> void CopyEach(const uint8_t* ASource, int32_t AStride, int32_t ACount, uint8_t* ADest) {
  for (int32_t vertex = 0; vertex < ACount; ++vertex, ASource += AStride, ADest += N)
    std::memcpy(ADest, ASource, N);
}

void CopyStrided(const TVertexBuffer& ABuffer, int32_t AOffset, int32_t ASize, uint8_t* ADest) {
  const int32_t stride = ABuffer.VertexSize();
  const uint8_t* source = ABuffer.Buffer() + AOffset;
  const int32_t count = ABuffer.Length();
  if (stride == ASize) {
    std::memcpy(ADest, source, size_t(ABuffer.Size()));
    return;
  }
  switch (ASize) {
  case 4:
    return CopyEach<4>(source, stride, count, ADest);
  case 8:
    return CopyEach<8>(source, stride, count, ADest);
  case 12:
    return CopyEach<12>(source, stride, count, ADest);
  default:
    for (int32_t vertex = 0; vertex < count; ++vertex, source += stride, ADest += ASize)
      std::memcpy(ADest, source, size_t(ASize));
  }
}

void WriteColor(const TVertexBuffer& ABuffer, int32_t ASlot, uint8_t* ADest) {
  const int32_t offset = ABuffer.OffsetOf(static_cast<TVertexFormat>(int(TVertexFormat::Color0) + ASlot));
  if (offset >= 0) {
    CopyStrided(ABuffer, offset, sizeof(TAlphaColor), ADest);
    return;
  }
  for (int32_t vertex = 0; vertex < ABuffer.Length(); ++vertex, ADest += sizeof(TAlphaColor)) {
    const TAlphaColor color = ABuffer.GetColor(ASlot, vertex);
    std::memcpy(ADest, &color, sizeof color);
  }
}

void WriteAttribute(TVertexFormat AFormat, const TVertexBuffer& ABuffer, int32_t ASize, uint8_t* ADest) {
  if (IsColor(AFormat)) {
    WriteColor(ABuffer, (int(AFormat) - int(TVertexFormat::Color0)) % 4, ADest);
    return;
  }
  const int32_t offset = ABuffer.OffsetOf(AFormat);
  if (offset >= 0)
    CopyStrided(ABuffer, offset, ASize, ADest);
  else
    std::memset(ADest, 0, size_t(ABuffer.Length()) * size_t(ASize));
}

} // namespace

int32_t TAnimationFrameCompression::AttributeSize(TVertexFormat AFormat) {
  if (IsColor(AFormat))
    return 4;
  switch (AFormat) {
  case TVertexFormat::Vertex:
  case TVertexFormat::Normal:
  case TVertexFormat::BiNormal:
  case TVertexFormat::Tangent:
    return 12;
  case TVertexFormat::TexCoord0:
  case TVertexFormat::TexCoord1:
  case TVertexFormat::TexCoord2:
  case TVertexFormat::TexCoord3:
    return 8;
  default:
    return 0;
  }
}

void TAnimationFrameCompression::SetSourceStream(TVertexFormat AFormat, const TVertexBuffer* ABuffer,
                                                 TMemoryStream* AStream) {
  if (!AStream)
    return;
  const int32_t size = AttributeSize(AFormat);
  if (ABuffer && size > 0 && ABuffer->Length() > 0) {
    const int64_t start = AStream->GetPosition();
    const int64_t end = start + int64_t(size) * ABuffer->Length();
    if (AStream->GetSize() < end)
      AStream->SetSize(end);
    WriteAttribute(AFormat, *ABuffer, size, AStream->Memory() + start);
  }
  AStream->SetPosition(0);
}

} // namespace vantrel
