// JSON parse: our document parse and free against RapidJSON's Document::Parse (default flags) and
// free, on the same generated text of about 10 MB: definition-like objects with mesh arrays of
// 7-digit floats and integer indices. Prints the ratio of our throughput to the peer's.
// Memory: our trees come from 64 KiB slabs, and freed slabs stay in a process-wide cache (up to
// 64 MiB) for the next parse; RapidJSON's pool allocator takes its chunks from the heap and gives
// them back with each document.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <charconv>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>

#include "rtl/json.h"

namespace {

void AppendFloat(std::string& AOut, double AValue) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue, std::chars_format::general, 7);
  AOut.append(buffer, result.ptr);
}

void AppendFloats(std::string& AOut, const char* AName, size_t ACount, std::mt19937& ARandom, double AScale) {
  std::uniform_real_distribution<double> value(-AScale, AScale);
  AOut += '"';
  AOut += AName;
  AOut += "\":[";
  for (size_t i = 0; i < ACount; ++i) {
    if (i)
      AOut += ',';
    AppendFloat(AOut, value(ARandom));
  }
  AOut += ']';
}

// Definition-like text: per mesh its type members (repeated "Type"), a name with an escape and
// non-ASCII text, transform values, and the vertex arrays.
std::string MakeDocument(size_t ATargetBytes) {
  std::mt19937 random(20240607);
  std::uniform_int_distribution<size_t> vertices(50, 400);
  std::string text = "{\"Type\":\"Vantrel.DefTypes.TModelDef\",\"Id\":\"model\",\"Meshes\":[";
  for (int mesh = 0; text.size() < ATargetBytes; ++mesh) {
    if (mesh)
      text += ',';
    const size_t count = vertices(random);
    text += "{\"Type\":\"Vantrel.DefTypes.TMeshDef\",\"Id\":\"mesh_" + std::to_string(mesh) +
            "\",\"Type\":\"Vantrel.Mesh.TVantrelMesh\",\"Name\":\"Gr\xC3\xBCn \\\"" + std::to_string(mesh) +
            "\\\"\",\"Visible\":true,\"Parent\":null,\"Position\":\"1,2.5,-3,1\",\"Opacity\":1.50,";
    AppendFloats(text, "Positions", count * 3, random, 100.0);
    text += ',';
    AppendFloats(text, "Normals", count * 3, random, 1.0);
    text += ',';
    AppendFloats(text, "TexCoord0", count * 2, random, 1.0);
    text += ",\"Indices\":[";
    std::uniform_int_distribution<size_t> index(0, count - 1);
    for (size_t i = 0; i < count * 3; ++i) {
      if (i)
        text += ',';
      text += std::to_string(index(random));
    }
    text += "]}";
  }
  text += "]}";
  return text;
}

const std::string& Document() {
  static const std::string text = MakeDocument(10 << 20);
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

// Keeps the time per iteration of every run, so the ratio comes from this very run.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& AReports) override {
    // With repetitions the mean stands for the benchmark, else its single run.
    for (const Run& run : AReports) {
      if (run.error_occurred)
        continue;
      const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
      if (mean || (run.run_type == Run::RT_Iteration && !FFromMean.count(run.run_name.function_name)))
        FSeconds[run.run_name.function_name] = run.GetAdjustedRealTime();
      if (mean)
        FFromMean.insert(run.run_name.function_name);
    }
    ConsoleReporter::ReportRuns(AReports);
  }
  void PrintRatio(const char* AOurs, const char* APeer, const char* AWhat, double ATarget) const {
    const auto ours = FSeconds.find(AOurs), peer = FSeconds.find(APeer);
    if (ours == FSeconds.end() || peer == FSeconds.end())
      return;
    const double ratio = peer->second / ours->second;
    std::printf("%s: ours %.2f ms, peer %s %.2f ms, ratio %.2fx (target >= %.2fx)%s\n", AWhat, ours->second,
                APeer, peer->second, ratio, ATarget, ratio >= ATarget ? "" : "  BELOW TARGET");
  }

private:
  std::map<std::string, double> FSeconds;
  std::set<std::string> FFromMean;
};

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("JSON document: %zu bytes\n", Document().size());
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_JsonParse_Ours", "BM_JsonParse_RapidJSON", "JSON parse (DOM, parse + free)", 1.0);
  benchmark::Shutdown();
  return 0;
}
