// Reading a mesh definition's JSON: a generated definition of 250k vertices (about 45 MB of text,
// every attribute as "Values" numbers) read three ways on the same text: our parse plus FromJSON,
// our parse alone, and RapidJSON's DOM parse. The goal: FromJSON costs at most the parse again,
// so parse alone / (parse + FromJSON) >= 0.5.
// Memory: each iteration builds a fresh tree (our parser's slabs are cached between parses) and a
// fresh definition whose buffers are allocated once at their final size.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <random>
#include <string>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/json.h"
#include "support/bench_setup.h"
#include "support/ratio_reporter.h"

namespace {

using namespace vantrel;

constexpr int32_t VertexCount = 250'000;

const std::string& Text() {
  static const std::string text = [] {
    InitializeDefTypes();
    auto mesh = MakeOwned<TMeshDef>();
    mesh->SetId("generated");
    mesh->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
    TVertexBuffer& vertices = *mesh->GetVertexSource();
    vertices.SetLength(VertexCount);
    std::mt19937 random(20261211);
    std::uniform_real_distribution<float> value(-1, 1);
    for (int32_t v = 0; v < VertexCount; ++v) {
      vertices.SetVertices(v, {value(random), value(random), value(random)});
      vertices.SetNormals(v, TPoint3D{value(random), value(random), value(random)}.Normalize());
      vertices.SetBiNormals(v, {value(random), value(random), value(random)});
      vertices.SetTangents(v, {value(random), value(random), value(random)});
      vertices.SetTexCoord(0, v, {value(random), value(random)});
    }
    mesh->CreateIndexSource(TIndexFormat::UInt32);
    mesh->GetIndexSource()->SetLength(VertexCount);
    for (int32_t i = 0; i < VertexCount; ++i)
      mesh->GetIndexSource()->SetIndices(i, uint32_t((i * 7919) % VertexCount));
    return mesh->ToJSON()->ToString();
  }();
  return text;
}

void BM_ParseAndRead(benchmark::State& AState) {
  const std::string& text = Text();
  for (auto _ : AState) {
    const auto root = TJSONValue::ParseJSONValue(text);
    auto mesh = MakeOwned<TMeshDef>();
    mesh->FromJSON(nullptr, static_cast<const TJSONObject&>(*root));
    if (!mesh->GetVertexSource() || mesh->GetVertexSource()->Length() != VertexCount ||
        mesh->GetIndexSource()->Length() != VertexCount)
      AState.SkipWithError("the definition was not read");
    benchmark::DoNotOptimize(mesh.get());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * text.size()));
}

void BM_Parse(benchmark::State& AState) {
  const std::string& text = Text();
  for (auto _ : AState) {
    const auto root = TJSONValue::ParseJSONValue(text);
    if (!root)
      AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root.get());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * text.size()));
}

void BM_RapidJSON(benchmark::State& AState) {
  const std::string& text = Text();
  for (auto _ : AState) {
    rapidjson::Document document;
    document.Parse(text.c_str());
    if (document.HasParseError())
      AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&document);
  }
  AState.SetBytesProcessed(int64_t(AState.iterations() * text.size()));
}

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  std::printf("mesh definition JSON: %d vertices, %.1f MB\n", VertexCount, Text().size() / 1e6);
  for (auto* bench : {benchmark::RegisterBenchmark("BM_ParseAndRead", BM_ParseAndRead),
                      benchmark::RegisterBenchmark("BM_Parse", BM_Parse),
                      benchmark::RegisterBenchmark("BM_RapidJSON", BM_RapidJSON)})
    bench->Unit(benchmark::kMillisecond);
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double megabytes = Text().size() / 1e6;
  for (const char* name : {"BM_ParseAndRead", "BM_Parse", "BM_RapidJSON"})
    if (const auto time = reporter.MedianTime(name))
      std::printf("%s: %.1f MB/s\n", name, megabytes / (*time / 1e3));
  const bool met = reporter.PrintRatio("BM_ParseAndRead", "BM_Parse", "parse + FromJSON against parse alone", 0.5);
  // RapidJSON's DOM parse is printed for scale: it builds no definition.
  reporter.PrintRatio("BM_ParseAndRead", "BM_RapidJSON", "parse + FromJSON against RapidJSON's DOM parse", 0);
  FinalizeDefTypes();
  return met ? 0 : 1;
}
