// JSON parse: our document parse and free against two peers, RapidJSON's Document::Parse (default
// flags) and free, and simdjson's DOM parser (one parser reused across parses, as simdjson
// intends), on the same generated text of about 10 MB: definition-like objects with mesh arrays of
// 7-digit floats and integer indices. Prints the ratio of our throughput to each peer's.
// Memory: our trees come from 64 KiB slabs, and freed slabs stay in a process-wide cache (up to
// 64 MiB) for the next parse; RapidJSON's pool allocator takes its chunks from the heap and gives
// them back with each document.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/definition_text.h"
#include "support/ratio_reporter.h"
#include <rapidjson/document.h>
#include <simdjson.h>

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

void BM_JsonParse_simdjson(benchmark::State& AState) {
  const simdjson::padded_string text(Document());
  simdjson::dom::parser parser;
  for (auto _ : AState) {
    simdjson::dom::element root;
    if (parser.parse(text).get(root) != simdjson::SUCCESS)
      AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * Document().size()));
}
BENCHMARK(BM_JsonParse_simdjson)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  std::printf("JSON document: %zu bytes\n", Document().size());
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const bool met =
      reporter.PrintRatio("BM_JsonParse_Ours", "BM_JsonParse_RapidJSON", "JSON parse (DOM, parse + free)", 1.0);
  // simdjson is printed for information: its DOM is a read-only tape, ours an editable tree.
  reporter.PrintRatio("BM_JsonParse_Ours", "BM_JsonParse_simdjson", "JSON parse against simdjson (DOM)", 0);
  benchmark::Shutdown();
  return met ? 0 : 1;
}
