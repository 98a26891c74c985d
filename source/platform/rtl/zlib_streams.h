#pragma once
// zlib on streams: a write-only compressor, a read-only decompressor, CRC-32 and one-shot
// helpers. The compressor calls zlib itself, so its output is byte for byte what zlib makes with
// the same parameters.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "rtl/exceptions.h"
#include "rtl/streams.h"

struct z_stream_s;

namespace rtl {

// Failures of zlib. They are not stream errors: a caller that treats a short stream as the end of
// the data must still see corrupt compressed data.
RTL_DECLARE_EXCEPTION(EZLibError, Exception);
RTL_DECLARE_EXCEPTION(EZCompressionError, EZLibError);
RTL_DECLARE_EXCEPTION(EZDecompressionError, EZLibError);

enum class TZCompressionLevel { clNone = 0, clFastest = 1, clDefault = -1, clMax = 9 };
// zlib's strategies, with zlib's values.
enum class TZStrategy { zsDefault = 0, zsFiltered = 1, zsHuffmanOnly = 2, zsRLE = 3, zsFixed = 4 };

// Window bits as zlib takes them: 8..15 for the zlib format, -8..-15 for raw deflate (zip
// entries), 16 + 8..15 for gzip; the decompressor also takes 32 (+ 8..15), which accepts a zlib or
// a gzip header.
inline constexpr int ZRawDeflate = -15;
inline constexpr int ZGzip = 31;
inline constexpr int ZAutoDetect = 32;

// Compresses what is written to it into ADest, which it does not own. Finish() ends the zlib
// stream; the destructor finishes it when Finish() was not called, without ever throwing.
class TZCompressionStream : public TStream {
  RTL_CLASS(TZCompressionStream, TStream)
public:
  TZCompressionStream(TStream* ADest, TZCompressionLevel ALevel = TZCompressionLevel::clDefault,
                      int AWindowBits = 15, int AMemLevel = 8, TZStrategy AStrategy = TZStrategy::zsDefault);
  // ALevel as zlib takes it: -1 or 0..9.
  TZCompressionStream(TStream* ADest, int ALevel, int AWindowBits = 15, int AMemLevel = 8,
                      TZStrategy AStrategy = TZStrategy::zsDefault);
  ~TZCompressionStream() override;

  // Raises: the stream is write-only.
  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  // Only reports the position (the uncompressed bytes written); moving it raises.
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t GetSize() override;

  // Flushes the rest of the compressed data and the trailer into the destination. Writing after
  // it raises; calling it again does nothing.
  void Finish();

private:
  void Deflate(int AFlush);

  TStream* FDest;
  std::unique_ptr<z_stream_s> FZStream;
  TBytes FBuffer;
  bool FFinished = false;
};

// Decompresses from ASource, starting at its position. Reading stops at the end of the compressed
// data (Read returns 0) and gives the unread input back by seeking, so the source stands right
// after the compressed data. Corrupt data, a preset dictionary or input that ends early raise
// EZDecompressionError. The size is unknown (-1); TStream::CopyFrom(source, 0) copies it all.
class TZDecompressionStream : public TStream {
  RTL_CLASS(TZDecompressionStream, TStream)
public:
  explicit TZDecompressionStream(TStream* ASource, int AWindowBits = 15, bool AOwnsSource = false);
  ~TZDecompressionStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  // Raises: the stream is read-only.
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  // Seeking to 0 restarts from where the source stood at creation; seeking forward reads and
  // drops data (stopping at the end of the data); seeking backward elsewhere and from the end
  // raise.
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t GetSize() override { return -1; }

private:
  void Restart();
  void Skip(int64_t ACount);
  // Inflates into the buffer until it is full or the data ends; returns the bytes produced.
  int64_t Inflate(uint8_t* ABuffer, uint32_t ACount);
  void Refill();
  void GiveBackInput();

  TStream* FSource;
  // The same object as FSource when that is a memory stream, whose bytes are then inflated in
  // place rather than copied into the buffer first.
  TCustomMemoryStream* FSourceMemory;
  // The source memory the input points into; a source that grew may have moved it.
  const uint8_t* FInputBase = nullptr;
  bool FOwnsSource;
  int64_t FSourceStart;
  int64_t FPosition = 0;
  std::unique_ptr<z_stream_s> FZStream;
  TBytes FBuffer;
  bool FEnded = false;
};

// zlib's CRC-32 of ALength bytes, continuing from ACrc (0 to start). Lengths beyond what one zlib
// call takes are fed in pieces.
uint32_t Crc32(uint32_t ACrc, const void* AData, size_t ALength);
inline uint32_t Crc32(uint32_t ACrc, std::span<const uint8_t> AData) {
  return Crc32(ACrc, AData.data(), AData.size());
}

// One-shot forms of the two streams.
TBytes ZCompress(std::span<const uint8_t> AData, TZCompressionLevel ALevel = TZCompressionLevel::clDefault,
                 int AWindowBits = 15);
// The output grows as it is produced; with AMaxSize >= 0, more output than that raises
// EZDecompressionError, so a small body cannot claim unbounded memory. Data after the end of the
// compressed stream is ignored.
TBytes ZDecompress(std::span<const uint8_t> AData, int AWindowBits = 15, int64_t AMaxSize = -1);

} // namespace rtl
