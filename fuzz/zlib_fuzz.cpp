// Inflates the input as a zlib or gzip body through the decompression stream, which must end in
// data or an EZDecompressionError; then compresses the input and checks that it inflates back
// to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "rtl/zlib_streams.h"

namespace {

void InflateAll(const uint8_t* AData, size_t ASize) {
  rtl::TBytesStream source(rtl::TBytes(AData, AData + ASize));
  rtl::TZDecompressionStream decompressor(&source, rtl::ZAutoDetect);
  uint8_t buffer[4096];
  // Deflate expands at most about 1032 times, so the loop ends; the output is not kept.
  while (decompressor.Read(buffer, sizeof buffer) > 0) {
  }
  if (source.GetPosition() > static_cast<int64_t>(ASize))
    std::abort();
}

void RoundTrip(const uint8_t* AData, size_t ASize) {
  const std::span<const uint8_t> input(AData, ASize);
  const int level = ASize > 0 ? AData[0] % 10 : 6;
  const rtl::TBytes packed = rtl::ZCompress(input, static_cast<rtl::TZCompressionLevel>(level), rtl::ZGzip);
  const rtl::TBytes unpacked = rtl::ZDecompress(packed, rtl::ZAutoDetect, static_cast<int64_t>(ASize));
  if (!std::equal(unpacked.begin(), unpacked.end(), input.begin(), input.end()))
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  try {
    InflateAll(AData, ASize);
  } catch (const rtl::EZDecompressionError&) {
  }
  RoundTrip(AData, ASize);
  return 0;
}
