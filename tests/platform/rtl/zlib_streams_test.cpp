#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <zlib.h>

#include "rtl/zlib_streams.h"

namespace {

using rtl::TBytes;
using rtl::TSeekOrigin;
using rtl::TZCompressionLevel;

// About 1 MiB of definition-like text with varied numbers, made from a fixed seed.
const TBytes& FixtureText() {
  static const TBytes text = [] {
    std::string s;
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    while (s.size() < (1u << 20)) {
      s += "{\"Type\":\"TMeshDef\",\"Name\":\"Mesh" + std::to_string(next() % 1000) + "\",\"Positions\":[";
      for (int i = 0; i < 12; ++i)
        s += (i ? "," : "") + std::to_string(next() % 2000) + "." + std::to_string(next() % 10000000);
      s += "],\"Visible\":" + std::string(next() % 2 ? "true" : "false") + "},\n";
    }
    s.resize(1u << 20);
    return TBytes(s.begin(), s.end());
  }();
  return text;
}

// zlib's own one-shot deflate of the whole input.
TBytes ZlibDeflate(const TBytes& AData, int ALevel, int AWindowBits = 15) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, ALevel, Z_DEFLATED, AWindowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  TBytes out(deflateBound(&z, AData.size()) + 32);
  z.next_in = const_cast<Bytef*>(AData.data());
  z.avail_in = static_cast<uInt>(AData.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TBytes ReadAll(rtl::TStream& AStream) {
  rtl::TBytesStream sink;
  sink.CopyFrom(AStream, 0);
  return sink.Bytes();
}

TEST(ZLib, Crc32) {
  const char* text = "123456789";
  EXPECT_EQ(rtl::Crc32(0, text, 9), 0xCBF43926u);
  EXPECT_EQ(rtl::Crc32(rtl::Crc32(0, text, 4), text + 4, 5), 0xCBF43926u);
  EXPECT_EQ(rtl::Crc32(0, nullptr, 0), 0u);
}

// However the text is fed in, the output is zlib's own for the same parameters.
TEST(ZLib, CompressionMatchesZlibForEveryChunkSize) {
  const TBytes& text = FixtureText();
  struct Case {
    int Level;
    int WindowBits;
  } cases[] = {{1, 15}, {-1, 15}, {9, 15}, {-1, rtl::ZGzip}, {6, rtl::ZRawDeflate}};
  for (const Case& c : cases) {
    const TBytes expected = ZlibDeflate(text, c.Level, c.WindowBits);
    for (const size_t chunk : {size_t{1}, size_t{7}, size_t{4096}, size_t{1} << 20}) {
      rtl::TBytesStream output;
      {
        rtl::TZCompressionStream compressor(&output, c.Level, c.WindowBits);
        for (size_t at = 0; at < text.size(); at += chunk)
          compressor.WriteBuffer(text.data() + at, static_cast<int64_t>(std::min(chunk, text.size() - at)));
        EXPECT_EQ(compressor.GetSize(), static_cast<int64_t>(text.size()));
        compressor.Finish();
      }
      EXPECT_TRUE(output.Bytes() == expected)
          << "level " << c.Level << " bits " << c.WindowBits << " chunk " << chunk;
    }
  }
}

TEST(ZLib, DestructorFinishesAndLevelsAreZlibs) {
  const TBytes data(1000, 'a');
  rtl::TBytesStream output;
  {
    rtl::TZCompressionStream compressor(&output, TZCompressionLevel::clMax);
    compressor.WriteBuffer(data.data(), 1000);
  }
  EXPECT_EQ(output.Bytes(), ZlibDeflate(data, 9));
  EXPECT_EQ(rtl::ZCompress(data, TZCompressionLevel::clNone), ZlibDeflate(data, 0));

  rtl::TBytesStream sink;
  EXPECT_THROW(rtl::TZCompressionStream(&sink, 10), rtl::EZCompressionError);
  rtl::TZCompressionStream compressor(&sink);
  uint8_t byte = 0;
  EXPECT_THROW(compressor.Read(&byte, 1), rtl::EZCompressionError);
  EXPECT_THROW(compressor.Seek(1, TSeekOrigin::soBeginning), rtl::EZCompressionError);
  compressor.Finish();
  EXPECT_THROW(compressor.WriteBuffer(&byte, 1), rtl::EZCompressionError);
}

// windowBits 32 takes a zlib or a gzip body; what follows the body stays in the source, which
// stands right after the body.
TEST(ZLib, DecompressionStopsAtTheEndOfTheData) {
  const TBytes& text = FixtureText();
  for (const int bits : {15, rtl::ZGzip}) {
    TBytes source = {'h', 'd', 'r'};
    const TBytes body = ZlibDeflate(text, 6, bits);
    source.insert(source.end(), body.begin(), body.end());
    source.insert(source.end(), {'t', 'a', 'i', 'l'});
    rtl::TBytesStream input(source);
    input.SetPosition(3);
    rtl::TZDecompressionStream decompressor(&input, rtl::ZAutoDetect);
    EXPECT_EQ(decompressor.GetSize(), -1);
    EXPECT_TRUE(ReadAll(decompressor) == text) << bits;
    uint8_t byte;
    EXPECT_EQ(decompressor.Read(&byte, 1), 0);
    EXPECT_EQ(input.GetPosition(), static_cast<int64_t>(3 + body.size()));
    char tail[4];
    input.ReadBuffer(tail, 4);
    EXPECT_EQ(std::string(tail, 4), "tail");
  }
}

TEST(ZLib, DecompressionSeeks) {
  const TBytes& text = FixtureText();
  const TBytes body = ZlibDeflate(text, 6);
  rtl::TBytesStream input(body);
  rtl::TZDecompressionStream decompressor(&input);
  EXPECT_EQ(decompressor.Seek(300000, TSeekOrigin::soBeginning), 300000);
  uint8_t bytes[4];
  decompressor.ReadBuffer(bytes, 4);
  EXPECT_EQ(std::memcmp(bytes, text.data() + 300000, 4), 0);
  EXPECT_EQ(decompressor.Seek(10, TSeekOrigin::soCurrent), 300014);
  EXPECT_THROW(decompressor.Seek(5, TSeekOrigin::soBeginning), rtl::EZDecompressionError);
  EXPECT_THROW(decompressor.Seek(0, TSeekOrigin::soEnd), rtl::EZDecompressionError);
  EXPECT_EQ(decompressor.Seek(0, TSeekOrigin::soBeginning), 0);
  EXPECT_TRUE(ReadAll(decompressor) == text);
  // A seek past the end stops there.
  decompressor.SetPosition(0);
  EXPECT_EQ(decompressor.Seek(int64_t{1} << 30, TSeekOrigin::soBeginning), static_cast<int64_t>(text.size()));
  EXPECT_THROW(decompressor.Write(bytes, 1), rtl::EZDecompressionError);
}

TEST(ZLib, BadBodiesRaise) {
  const TBytes body = ZlibDeflate(FixtureText(), 6);
  TBytes corrupt = body;
  corrupt[body.size() / 2] ^= 0xFF;
  TBytes badChecksum = body;
  badChecksum.back() ^= 1;
  // A zlib header asking for preset dictionary 1 (FDICT set, check bits valid).
  const TBytes dictionary = {0x78, 0xBB, 0, 0, 0, 1, 0x03, 0x00};
  struct Case {
    const char* Name;
    TBytes Data;
  } cases[] = {
      {"truncated", TBytes(body.begin(), body.begin() + static_cast<long>(body.size() / 2))},
      {"corrupt", corrupt},
      {"checksum", badChecksum},
      {"dictionary", dictionary},
      {"empty", {}},
      {"not zlib", {'h', 'e', 'l', 'l', 'o'}},
  };
  for (const Case& c : cases) {
    rtl::TBytesStream input(c.Data);
    rtl::TZDecompressionStream decompressor(&input, rtl::ZAutoDetect);
    EXPECT_THROW(ReadAll(decompressor), rtl::EZDecompressionError) << c.Name;
    EXPECT_THROW(rtl::ZDecompress(c.Data), rtl::EZDecompressionError) << c.Name;
  }
}

TEST(ZLib, OneShotHelpers) {
  const TBytes& text = FixtureText();
  EXPECT_TRUE(rtl::ZDecompress(rtl::ZCompress(text)) == text);
  const TBytes raw = rtl::ZCompress(text, TZCompressionLevel::clFastest, rtl::ZRawDeflate);
  EXPECT_TRUE(rtl::ZDecompress(raw, rtl::ZRawDeflate, static_cast<int64_t>(text.size())) == text);
  EXPECT_THROW(rtl::ZDecompress(raw, rtl::ZRawDeflate, static_cast<int64_t>(text.size()) - 1),
               rtl::EZDecompressionError);
  EXPECT_EQ(rtl::ZDecompress(rtl::ZCompress({})), TBytes());
}

TEST(ZLib, OwnedSourceIsFreed) {
  auto* input = new rtl::TBytesStream(rtl::ZCompress(TBytes{1, 2, 3}));
  rtl::TZDecompressionStream decompressor(input, 15, true);
  EXPECT_EQ(ReadAll(decompressor), (TBytes{1, 2, 3}));
}

} // namespace
