// JSON parse: our document parse and free against RapidJSON's Document::Parse (default flags) and
// free, on the same generated text of about 10 MB: definition-like objects with mesh arrays of
// 7-digit floats and integer indices. Prints the ratio of our throughput to the peer's.
// Memory: our trees come from 64 KiB slabs, and freed slabs stay in a process-wide cache (up to
// 64 MiB) for the next parse; RapidJSON's pool allocator takes its chunks from the heap and gives
// them back with each document.

#include <benchmark/benchmark.h>

#include "support/definition_text.h"
#include "support/ratio_reporter.h"
#include <rapidjson/document.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>

#include "rtl/json.h"

namespace {

const std::string& Document() {
  static const std::string text = vbench::MakeDefinitionText(10 << 20);
  return text;
}

void BM_JsonParse_Ours(benchmark::State& AState) {
  const std::string& text = Document();
  for (auto _ : AState) {
    auto root = rtl::TJSONValue::ParseJSONValue(text);
    if (!root)
      AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root.get());
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * text.size()));
}
BENCHMARK(BM_JsonParse_Ours)->Unit(benchmark::kMillisecond);

void BM_JsonParse_RapidJSON(benchmark::State& AState) {
  const std::string& text = Document();
  for (auto _ : AState) {
    rapidjson::Document document;
    document.Parse(text.c_str());
    if (document.HasParseError())
      AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&document);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * text.size()));
}
BENCHMARK(BM_JsonParse_RapidJSON)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("JSON document: %zu bytes\n", Document().size());
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_JsonParse_Ours", "BM_JsonParse_RapidJSON", "JSON parse (DOM, parse + free)", 1.0);
  benchmark::Shutdown();
  return 0;
}
