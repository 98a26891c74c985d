#include "rtl/zlib_streams.h"

#include <algorithm>
#include <climits>
#include <zlib.h>

namespace rtl {

RTL_DEFINE_CLASS(TZCompressionStream, "Rtl.ZLib")
RTL_DEFINE_CLASS(TZDecompressionStream, "Rtl.ZLib")

namespace {

// Large enough that the per-call overhead disappears against deflate's own work.
constexpr size_t BufferSize = 64 * 1024;

std::string ZMessage(const z_stream& AStream, int ACode) {
  return AStream.msg ? AStream.msg : zError(ACode);
}

// Reads a caller's bytes in place, for the one-shot decompressor.
class TSpanStream : public TCustomMemoryStream {
  RTL_CLASS(TSpanStream, TCustomMemoryStream)
public:
  explicit TSpanStream(std::span<const uint8_t> AData) {
    SetPointer(const_cast<uint8_t*>(AData.data()), static_cast<int64_t>(AData.size()));
  }
  int64_t Write(const void*, int64_t) override { return 0; }
};
RTL_DEFINE_CLASS(TSpanStream, "Rtl.ZLib")

TStream* Required(TStream* AStream) {
  if (!AStream)
    throw EArgumentNilException("A zlib stream needs a stream to work on");
  return AStream;
}

} // namespace

// TZCompressionStream

TZCompressionStream::TZCompressionStream(TStream* ADest, TZCompressionLevel ALevel, int AWindowBits,
                                         int AMemLevel, TZStrategy AStrategy)
    : TZCompressionStream(ADest, static_cast<int>(ALevel), AWindowBits, AMemLevel, AStrategy) {}

TZCompressionStream::TZCompressionStream(TStream* ADest, int ALevel, int AWindowBits, int AMemLevel,
                                         TZStrategy AStrategy)
    : FDest(Required(ADest)), FZStream(std::make_unique<z_stream>()), FBuffer(BufferSize) {
  const int code =
      deflateInit2(FZStream.get(), ALevel, Z_DEFLATED, AWindowBits, AMemLevel, static_cast<int>(AStrategy));
  if (code != Z_OK) {
    const std::string message = ZMessage(*FZStream, code);
    FZStream.reset();
    throw EZCompressionError(message);
  }
  FZStream->next_out = FBuffer.data();
  FZStream->avail_out = static_cast<uInt>(FBuffer.size());
}

TZCompressionStream::~TZCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // A destructor cannot report; callers who need the error call Finish() themselves.
  }
  if (FZStream)
    deflateEnd(FZStream.get());
}

int64_t TZCompressionStream::Read(void*, int64_t) {
  throw EZCompressionError("A compression stream cannot be read");
}

int64_t TZCompressionStream::Write(const void* ABuffer, int64_t ACount) {
  if (FFinished)
    throw EZCompressionError("The compression stream is already finished");
  const auto* bytes = static_cast<const uint8_t*>(ABuffer);
  for (int64_t left = ACount; left > 0;) {
    const auto count = static_cast<uInt>(std::min<int64_t>(left, UINT_MAX));
    FZStream->next_in = const_cast<Bytef*>(bytes + (ACount - left));
    FZStream->avail_in = count;
    Deflate(Z_NO_FLUSH);
    left -= count;
  }
  return std::max<int64_t>(ACount, 0);
}

int64_t TZCompressionStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  const auto position = static_cast<int64_t>(FZStream->total_in);
  const bool stays = AOrigin == TSeekOrigin::soBeginning ? AOffset == position : AOffset == 0;
  if (!stays)
    throw EZCompressionError("A compression stream cannot seek");
  return position;
}

int64_t TZCompressionStream::GetSize() {
  return static_cast<int64_t>(FZStream->total_in);
}

void TZCompressionStream::Finish() {
  if (FFinished)
    return;
  FFinished = true;
  FZStream->avail_in = 0;
  Deflate(Z_FINISH);
  const auto pending = static_cast<int64_t>(FBuffer.size() - FZStream->avail_out);
  FDest->WriteBuffer(FBuffer.data(), pending);
}

// Runs deflate until it has taken all input (and, for Z_FINISH, written the end), handing every
// full output buffer to the destination.
void TZCompressionStream::Deflate(int AFlush) {
  for (;;) {
    const int code = deflate(FZStream.get(), AFlush);
    if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR)
      throw EZCompressionError(ZMessage(*FZStream, code));
    if (FZStream->avail_out == 0) {
      FDest->WriteBuffer(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
      FZStream->next_out = FBuffer.data();
      FZStream->avail_out = static_cast<uInt>(FBuffer.size());
      continue;
    }
    if (AFlush == Z_FINISH ? code == Z_STREAM_END : FZStream->avail_in == 0)
      return;
  }
}

// TZDecompressionStream

TZDecompressionStream::TZDecompressionStream(TStream* ASource, int AWindowBits, bool AOwnsSource)
    : FSource(Required(ASource)), FSourceMemory(dynamic_cast<TCustomMemoryStream*>(ASource)),
      FOwnsSource(AOwnsSource), FSourceStart(ASource->GetPosition()), FZStream(std::make_unique<z_stream>()),
      FBuffer(BufferSize) {
  const int code = inflateInit2(FZStream.get(), AWindowBits);
  if (code != Z_OK) {
    const std::string message = ZMessage(*FZStream, code);
    FZStream.reset();
    if (AOwnsSource)
      ASource->Free();
    throw EZDecompressionError(message);
  }
}

TZDecompressionStream::~TZDecompressionStream() {
  if (FZStream)
    inflateEnd(FZStream.get());
  if (FOwnsSource)
    FSource->Free();
}

int64_t TZDecompressionStream::Read(void* ABuffer, int64_t ACount) {
  auto* bytes = static_cast<uint8_t*>(ABuffer);
  int64_t total = 0;
  while (total < ACount && !FEnded) {
    const auto count = static_cast<uint32_t>(std::min<int64_t>(ACount - total, UINT_MAX));
    total += Inflate(bytes + total, count);
  }
  FPosition += total;
  return total;
}

int64_t TZDecompressionStream::Inflate(uint8_t* ABuffer, uint32_t ACount) {
  z_stream& z = *FZStream;
  if (FSourceMemory && z.avail_in > 0 && FSourceMemory->Memory() != FInputBase) {
    z.next_in = FSourceMemory->Memory() + (z.next_in - FInputBase);
    FInputBase = FSourceMemory->Memory();
  }
  z.next_out = ABuffer;
  z.avail_out = ACount;
  while (z.avail_out > 0) {
    if (z.avail_in == 0)
      Refill();
    const int code = inflate(&z, Z_NO_FLUSH);
    if (code == Z_STREAM_END) {
      FEnded = true;
      GiveBackInput();
      break;
    }
    if (code == Z_NEED_DICT)
      throw EZDecompressionError("The compressed data needs a preset dictionary");
    if (code != Z_OK)
      throw EZDecompressionError(ZMessage(z, code));
  }
  return ACount - z.avail_out;
}

// A memory source hands over all its remaining bytes at once, as a read of them would; the
// unused rest goes back at the end of the data like any buffered input.
void TZDecompressionStream::Refill() {
  if (FSourceMemory) {
    const int64_t position = FSourceMemory->GetPosition();
    const int64_t left = FSourceMemory->GetSize() - position;
    if (position < 0 || left <= 0)
      throw EZDecompressionError("The compressed data ends early");
    const auto count = static_cast<uInt>(std::min<int64_t>(left, UINT_MAX));
    FInputBase = FSourceMemory->Memory();
    FZStream->next_in = const_cast<Bytef*>(FInputBase + position);
    FZStream->avail_in = count;
    FSourceMemory->Seek(count, TSeekOrigin::soCurrent);
    return;
  }
  const int64_t count = FSource->Read(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
  if (count <= 0)
    throw EZDecompressionError("The compressed data ends early");
  FZStream->next_in = FBuffer.data();
  FZStream->avail_in = static_cast<uInt>(count);
}

void TZDecompressionStream::GiveBackInput() {
  if (FZStream->avail_in > 0)
    FSource->Seek(-static_cast<int64_t>(FZStream->avail_in), TSeekOrigin::soCurrent);
  FZStream->avail_in = 0;
}

int64_t TZDecompressionStream::Write(const void*, int64_t) {
  throw EZDecompressionError("A decompression stream cannot be written");
}

int64_t TZDecompressionStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  if (AOrigin == TSeekOrigin::soEnd)
    throw EZDecompressionError("A decompression stream cannot seek from its end");
  const int64_t base = AOrigin == TSeekOrigin::soCurrent ? FPosition : 0;
  int64_t target;
  if (__builtin_add_overflow(base, AOffset, &target) || (target < FPosition && target != 0))
    throw EZDecompressionError("A decompression stream cannot seek backward");
  if (target == 0)
    Restart();
  else
    Skip(target - FPosition);
  return FPosition;
}

void TZDecompressionStream::Restart() {
  if (FPosition == 0 && FZStream->total_in == 0)
    return;
  FSource->SetPosition(FSourceStart);
  inflateReset(FZStream.get());
  FZStream->avail_in = 0;
  FPosition = 0;
  FEnded = false;
}

void TZDecompressionStream::Skip(int64_t ACount) {
  TBytes scratch(static_cast<size_t>(std::min<int64_t>(ACount, BufferSize)));
  while (ACount > 0) {
    const int64_t count =
        Read(scratch.data(), std::min<int64_t>(ACount, static_cast<int64_t>(scratch.size())));
    if (count == 0)
      return;
    ACount -= count;
  }
}

// Functions

uint32_t Crc32(uint32_t ACrc, const void* AData, size_t ALength) {
  const auto* bytes = static_cast<const Bytef*>(AData);
  uLong crc = ACrc;
  while (ALength > 0) {
    const auto count = static_cast<uInt>(std::min<size_t>(ALength, UINT_MAX));
    crc = crc32(crc, bytes, count);
    bytes += count;
    ALength -= count;
  }
  return static_cast<uint32_t>(crc);
}

TBytes ZCompress(std::span<const uint8_t> AData, TZCompressionLevel ALevel, int AWindowBits) {
  TBytesStream output;
  {
    TZCompressionStream compressor(&output, ALevel, AWindowBits);
    compressor.WriteBuffer(AData.data(), static_cast<int64_t>(AData.size()));
    compressor.Finish();
  }
  return output.Bytes();
}

TBytes ZDecompress(std::span<const uint8_t> AData, int AWindowBits, int64_t AMaxSize) {
  TSpanStream input(AData);
  TZDecompressionStream decompressor(&input, AWindowBits);
  TBytes output;
  constexpr int64_t Chunk = 64 * 1024;
  for (;;) {
    const size_t used = output.size();
    output.resize(used + Chunk);
    const int64_t count = decompressor.Read(output.data() + used, Chunk);
    output.resize(used + static_cast<size_t>(count));
    if (AMaxSize >= 0 && static_cast<int64_t>(output.size()) > AMaxSize)
      throw EZDecompressionError("The decompressed data is larger than declared");
    if (count < Chunk)
      return output;
  }
}

} // namespace rtl
