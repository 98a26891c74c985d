#include "definitions/Vantrel.DefTypes.Cache.h"

#include <algorithm>

#include "context/Vantrel.Context.Buffers.h"
#include "rtl/zlib_streams.h"

namespace vantrel {

RTL_DEFINE_CLASS(TAnimationFrameCompression, "Vantrel.DefTypes.Cache")

namespace {

// The compressor is fed, and the decompressor read, this many bytes at a time.
constexpr int64_t BlockSize = 0x100000;

} // namespace

int32_t TAnimationFrameCompression::AttributeSize(TVertexFormat AFormat) {
  return VertexAttributeSize(AFormat);
}

void TAnimationFrameCompression::SetSourceStream(TVertexFormat AFormat, const TVertexBuffer* ABuffer,
                                                 TMemoryStream* AStream) {
  WriteVertexAttribute(AFormat, ABuffer, AStream);
}

void TAnimationFrameCompression::SetSourceStream(const void* AData, int64_t ASize, TMemoryStream* AStream) {
  if (!AStream)
    return;
  if (AData && ASize > 0)
    AStream->WriteBuffer(AData, ASize);
  AStream->SetPosition(0);
}

TOwned<TMemoryStream> TAnimationFrameCompression::GetSourceStream(TVertexFormat AFormat,
                                                                  const TVertexBuffer* ABuffer) {
  auto result = MakeOwned<TMemoryStream>();
  SetSourceStream(AFormat, ABuffer, result.get());
  return result;
}

TOwned<TMemoryStream> TAnimationFrameCompression::GetSourceStream(const void* AData, int64_t ASize) {
  auto result = MakeOwned<TMemoryStream>();
  SetSourceStream(AData, ASize, result.get());
  return result;
}

TOwned<TMemoryStream> TAnimationFrameCompression::Compress(TVertexFormat AFormat, const TVertexBuffer* ABuffer) {
  const TOwned<TMemoryStream> source = GetSourceStream(AFormat, ABuffer);
  return Compress(source->Memory(), source->GetSize());
}

TOwned<TMemoryStream> TAnimationFrameCompression::Compress(const void* AData, int64_t ASize) {
  auto result = MakeOwned<TMemoryStream>();
  {
    // The compressor writes its trailer when finished, so it goes before the result is handed out.
    auto compressor = MakeOwned<rtl::TZCompressionStream>(result.get(), rtl::TZCompressionLevel::clMax);
    const auto* bytes = static_cast<const uint8_t*>(AData);
    for (int64_t offset = 0; bytes && offset < ASize; offset += BlockSize)
      compressor->WriteBuffer(bytes + offset, std::min(BlockSize, ASize - offset));
    compressor->Finish();
  }
  return result;
}

TOwned<TMemoryStream> TAnimationFrameCompression::Decompress(TMemoryStream* AStream) {
  auto result = MakeOwned<TMemoryStream>();
  if (!AStream)
    return result;
  AStream->SetPosition(0);
  auto inflater = MakeOwned<rtl::TZDecompressionStream>(AStream);
  int64_t size = 0;
  for (;;) {
    result->SetSize(size + BlockSize);
    const int64_t read = inflater->Read(result->Memory() + size, BlockSize);
    size += read;
    if (read < BlockSize)
      break;
  }
  result->SetSize(size);
  result->SetPosition(0);
  return result;
}

} // namespace vantrel
