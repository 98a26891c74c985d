// The definitions' number-array codecs on 1M F7 numbers against a raw std::from_chars /
// std::to_chars loop over the same text. Both sides build a fresh result each iteration (one
// reserved vector or string), so allocation is part of both.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "support/ratio_reporter.h"

namespace {

constexpr size_t NumberCount = 1'000'000;

const std::vector<float>& Values() {
  static const std::vector<float> values = [] {
    std::mt19937 random(20261211);
    std::uniform_real_distribution<float> value(-1000, 1000);
    std::vector<float> result(NumberCount);
    for (float& v : result)
      v = value(random);
    return result;
  }();
  return values;
}

const std::string& Text() {
  static const std::string text = vantrel::SingleArrayToString(Values());
  return text;
}

void BM_ReadFramework(benchmark::State& AState) {
  for (auto _ : AState)
    benchmark::DoNotOptimize(vantrel::StringToSingleArray(Text()));
}

void BM_ReadRaw(benchmark::State& AState) {
  const std::string& text = Text();
  for (auto _ : AState) {
    std::vector<float> values;
    values.reserve(text.size() / 10);
    const char* cursor = text.data();
    const char* const end = cursor + text.size();
    while (cursor < end) {
      while (cursor < end && *cursor == ' ')
        ++cursor;
      float value = 0;
      const auto result = std::from_chars(cursor, end, value);
      values.push_back(value);
      cursor = result.ptr == cursor ? cursor + 1 : result.ptr;
    }
    benchmark::DoNotOptimize(values);
  }
}

void BM_WriteFramework(benchmark::State& AState) {
  for (auto _ : AState)
    benchmark::DoNotOptimize(vantrel::SingleArrayToString(Values()));
}

void BM_WriteRaw(benchmark::State& AState) {
  const std::vector<float>& values = Values();
  for (auto _ : AState) {
    std::string text;
    text.reserve(values.size() * 11);
    char buffer[64];
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0)
        text += ' ';
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(values[i]),
                                        std::chars_format::fixed, 7);
      text.append(buffer, result.ptr);
    }
    benchmark::DoNotOptimize(text);
  }
}

} // namespace

int main(int argc, char** argv) {
  for (auto* bench : {benchmark::RegisterBenchmark("BM_ReadFramework", BM_ReadFramework),
                      benchmark::RegisterBenchmark("BM_ReadRaw", BM_ReadRaw),
                      benchmark::RegisterBenchmark("BM_WriteFramework", BM_WriteFramework),
                      benchmark::RegisterBenchmark("BM_WriteRaw", BM_WriteRaw)})
    bench->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  Text();
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.PrintRatio("BM_ReadFramework", "BM_ReadRaw", "StringToSingleArray, 1M F7 numbers", 0.5);
  reporter.PrintRatio("BM_WriteFramework", "BM_WriteRaw", "SingleArrayToString, 1M F7 numbers", 0.5);
  return 0;
}
