// BSON read, on the BSON of about 10 MB of generated definition-like JSON (meshes with 7-digit float
// arrays and integer indices, fixed seed):
// - the TBsonReader token loop against a libbson bson_iter walk that reads every value;
// - BSON to tree (reader into the tree builder, then free) against our JSON text parse and free of
//   the same document.
// Prints the ratio of our throughput to the peer's from the same run. Both trees come from the JSON
// slabs, which freed trees leave in the slab cache for the next iteration.

#include <benchmark/benchmark.h>

#include "support/definition_text.h"
#include "support/bench_setup.h"
#include "support/ratio_reporter.h"
#include <bson/bson.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>

#include "formats/v3d/Vantrel.BSON.Writer.h"
#include "formats/v3d/Vantrel.JSON.BSON.h"

namespace {

using namespace vantrel;

const std::string& JsonText() {
  static const std::string text = vbench::MakeDefinitionText(10 << 20);
  return text;
}

const TBytes& BsonBytes() {
  static const TBytes bytes = [] {
    const auto tree = TJSONValue::ParseJSONValue(JsonText(), true);
    TBytesStream stream;
    TVantrelBSONWriter writer(&stream);
    writer.WriteJsonObject(CheckedCast<TJSONObject>(tree.get()));
    return stream.Bytes();
  }();
  return bytes;
}

// The stream is made once; each iteration reads it from the start.
void BM_BsonTokens_Ours(benchmark::State& AState) {
  TBytesStream stream(BsonBytes());
  TBsonReader reader(&stream);
  for (auto _ : AState) {
    reader.Rewind();
    double sum = 0;
    size_t tokens = 0;
    while (reader.Read()) {
      ++tokens;
      if (reader.TokenType() == TJsonToken::Float)
        sum += reader.Value().AsDouble();
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(tokens);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * BsonBytes().size()));
}
BENCHMARK(BM_BsonTokens_Ours)->Unit(benchmark::kMillisecond);

void Walk(bson_iter_t& AIter, double& ASum, size_t& ACount) {
  while (bson_iter_next(&AIter)) {
    ++ACount;
    ACount += std::char_traits<char>::length(bson_iter_key(&AIter));
    switch (bson_iter_type(&AIter)) {
    case BSON_TYPE_DOUBLE:
      ASum += bson_iter_double(&AIter);
      break;
    case BSON_TYPE_UTF8: {
      uint32_t length = 0;
      ACount += bson_iter_utf8(&AIter, &length) != nullptr ? length : 0;
      break;
    }
    case BSON_TYPE_BOOL:
      ACount += bson_iter_bool(&AIter);
      break;
    case BSON_TYPE_INT32:
      ACount += static_cast<size_t>(bson_iter_int32(&AIter));
      break;
    case BSON_TYPE_INT64:
      ACount += static_cast<size_t>(bson_iter_int64(&AIter));
      break;
    case BSON_TYPE_DOCUMENT:
    case BSON_TYPE_ARRAY: {
      bson_iter_t child;
      bson_iter_recurse(&AIter, &child);
      Walk(child, ASum, ACount);
      break;
    }
    default:
      break;
    }
  }
}

void BM_BsonTokens_Libbson(benchmark::State& AState) {
  const TBytes& bytes = BsonBytes();
  for (auto _ : AState) {
    bson_t document;
    bson_init_static(&document, bytes.data(), bytes.size());
    bson_iter_t iter;
    bson_iter_init(&iter, &document);
    double sum = 0;
    size_t count = 0;
    Walk(iter, sum, count);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(count);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * bytes.size()));
}
BENCHMARK(BM_BsonTokens_Libbson)->Unit(benchmark::kMillisecond);

void BM_BsonTree_Ours(benchmark::State& AState) {
  TBytesStream stream(BsonBytes());
  TBsonReader reader(&stream);
  for (auto _ : AState) {
    reader.Rewind();
    TJsonObjectWriter writer(false);
    while (reader.Read())
      writer.WriteToken(reader);
    std::unique_ptr<TJSONValue> tree = writer.ExtractJSON();
    if (!tree)
      AState.SkipWithError("no tree");
    benchmark::DoNotOptimize(tree.get());
  }
}
BENCHMARK(BM_BsonTree_Ours)->Unit(benchmark::kMillisecond);

void BM_JsonTextTree_Ours(benchmark::State& AState) {
  const std::string& text = JsonText();
  for (auto _ : AState) {
    auto tree = TJSONValue::ParseJSONValue(text);
    if (!tree)
      AState.SkipWithError("parse failed");
    benchmark::DoNotOptimize(tree.get());
  }
}
BENCHMARK(BM_JsonTextTree_Ours)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  std::printf("JSON document: %zu bytes, as BSON: %zu bytes\n", JsonText().size(), BsonBytes().size());
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  bool met = reporter.PrintRatio("BM_BsonTokens_Ours", "BM_BsonTokens_Libbson", "BSON token loop", 0.3);
  met &= reporter.PrintRatio("BM_BsonTree_Ours", "BM_JsonTextTree_Ours", "BSON to tree against JSON text parse", 0.8);
  benchmark::Shutdown();
  return met ? 0 : 1;
}
