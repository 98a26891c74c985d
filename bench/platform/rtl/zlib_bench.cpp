// zlib streams: TZCompressionStream at levels 1 and -1 and TZDecompressionStream, written and read in
// 1 MiB chunks, against plain deflate/inflate loops with the same parameters (window bits 15, memory
// level 8, default strategy), on 32 MB of generated definition-like JSON text (fixed seed). Both
// sides hand their output to a sink that only counts it. Prints the ratio of our throughput to the
// plain loop's from the same run.

#include <benchmark/benchmark.h>

#include "support/definition_text.h"
#include "support/bench_setup.h"
#include "support/ratio_reporter.h"
#include <zlib.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "rtl/streams.h"
#include "rtl/zlib_streams.h"

namespace {

constexpr size_t Chunk = 1 << 20;

const std::string& Text() {
  static const std::string text = vbench::MakeDefinitionText(32 << 20);
  return text;
}

const rtl::TBytes& Compressed() {
  static const rtl::TBytes bytes = rtl::ZCompress(
      {reinterpret_cast<const uint8_t*>(Text().data()), Text().size()}, rtl::TZCompressionLevel::clDefault);
  return bytes;
}

// Takes what is written and only counts it.
class TCountingStream : public rtl::TStream {
public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t ACount) override {
    FCount += ACount;
    return ACount;
  }
  int64_t Seek(int64_t, rtl::TSeekOrigin) override { return FCount; }
  int64_t Count() const { return FCount; }

private:
  int64_t FCount = 0;
};

void CompressOurs(benchmark::State& AState, int ALevel) {
  const std::string& text = Text();
  for (auto _ : AState) {
    TCountingStream sink;
    rtl::TZCompressionStream compressor(&sink, ALevel);
    for (size_t offset = 0; offset < text.size(); offset += Chunk)
      compressor.WriteBuffer(text.data() + offset, static_cast<int64_t>(std::min(Chunk, text.size() - offset)));
    compressor.Finish();
    benchmark::DoNotOptimize(sink.Count());
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * text.size()));
}

// Output goes through a buffer of the size our stream uses, and is counted.
void CompressPlain(benchmark::State& AState, int ALevel) {
  const std::string& text = Text();
  std::vector<Bytef> out(64 * 1024);
  for (auto _ : AState) {
    z_stream z{};
    deflateInit2(&z, ALevel, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    int64_t count = 0;
    for (size_t offset = 0; offset <= text.size(); offset += Chunk) {
      const bool last = offset + Chunk >= text.size();
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data() + offset));
      z.avail_in = static_cast<uInt>(std::min(Chunk, text.size() - offset));
      int code;
      do {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        code = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        count += static_cast<int64_t>(out.size() - z.avail_out);
      } while (z.avail_out == 0 || (last && code != Z_STREAM_END));
      if (last)
        break;
    }
    deflateEnd(&z);
    benchmark::DoNotOptimize(count);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * text.size()));
}

void BM_Compress1_Ours(benchmark::State& AState) {
  CompressOurs(AState, 1);
}
void BM_Compress1_Plain(benchmark::State& AState) {
  CompressPlain(AState, 1);
}
void BM_CompressDefault_Ours(benchmark::State& AState) {
  CompressOurs(AState, -1);
}
void BM_CompressDefault_Plain(benchmark::State& AState) {
  CompressPlain(AState, -1);
}
BENCHMARK(BM_Compress1_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compress1_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressDefault_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressDefault_Plain)->Unit(benchmark::kMillisecond);

void BM_Decompress_Ours(benchmark::State& AState) {
  const rtl::TBytes& compressed = Compressed();
  rtl::TBytesStream source(compressed);
  std::vector<uint8_t> out(Chunk);
  for (auto _ : AState) {
    source.SetPosition(0);
    rtl::TZDecompressionStream decompressor(&source);
    int64_t count = 0;
    for (int64_t got; (got = decompressor.Read(out.data(), static_cast<int64_t>(out.size()))) > 0;)
      count += got;
    benchmark::DoNotOptimize(count);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * Text().size()));
}
BENCHMARK(BM_Decompress_Ours)->Unit(benchmark::kMillisecond);

// The compressed data lies in memory as a whole; output comes in 1 MiB chunks.
void BM_Decompress_Plain(benchmark::State& AState) {
  const rtl::TBytes& compressed = Compressed();
  std::vector<uint8_t> out(Chunk);
  for (auto _ : AState) {
    z_stream z{};
    inflateInit2(&z, 15);
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = static_cast<uInt>(compressed.size());
    int64_t count = 0;
    int code;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      code = inflate(&z, Z_NO_FLUSH);
      count += static_cast<int64_t>(out.size() - z.avail_out);
    } while (code == Z_OK);
    inflateEnd(&z);
    if (code != Z_STREAM_END)
      AState.SkipWithError("inflate failed");
    benchmark::DoNotOptimize(count);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * Text().size()));
}
BENCHMARK(BM_Decompress_Plain)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  std::printf("Text: %zu bytes, compressed at the default level: %zu bytes\n", Text().size(), Compressed().size());
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  bool met = reporter.PrintRatio("BM_Compress1_Ours", "BM_Compress1_Plain", "zlib compression, level 1", 0.95);
  met &= reporter.PrintRatio("BM_CompressDefault_Ours", "BM_CompressDefault_Plain", "zlib compression, level -1",
                             0.95);
  met &= reporter.PrintRatio("BM_Decompress_Ours", "BM_Decompress_Plain", "zlib decompression", 0.95);
  benchmark::Shutdown();
  return met ? 0 : 1;
}
