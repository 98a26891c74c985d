// Shader generation over the variant table of the default material.
//
// - Construction: making both stage builders (driver defines from the real context, both trees).
// - Generation: one pair of builders; per variant the row's defines and samplers are switched as
//   the material switches them, then both stage texts are produced. /0 makes a fresh string per
//   text (ToString), /1 writes into one buffer whose capacity is reused. Reported per variant.
// - Lower bound (Raw): copying the same bytes into a pre-sized string.
// - The cost generation must stay far below: compiling both stages and linking them, per variant,
//   with Mesa's shader cache switched off; and, for information, the first draw of five rows into a
//   1 x 1 target, where llvmpipe compiles machine code.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/gl_start.h"

#include "support/pair_reporter.h"
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "support/shader_variants.h"
#include "ui/context3d.h"

namespace shaderbench {

namespace {

using namespace vantrel;

const std::vector<vtest::TShaderVariantRow>& Rows() {
  return vtest::ShaderVariantRows();
}

// The rows' texts, made once, for the peers.
struct TTexts {
  std::vector<std::pair<std::string, std::string>> Stages;
  size_t Bytes = 0;
};

const TTexts& Texts() {
  static const TTexts texts = [] {
    TTexts result;
    for (const vtest::TShaderVariantRow& row : Rows()) {
      auto builders = vtest::MakeVariantBuilders(row);
      result.Stages.emplace_back(builders.Vertex->ToString(), builders.Fragment->ToString());
      result.Bytes += result.Stages.back().first.size() + result.Stages.back().second.size();
    }
    return result;
  }();
  return texts;
}

void BM_Construction(benchmark::State& AState) {
  for (auto _ : AState) {
    auto vertex = MakeOwned<TVantrelGLSLVertexShader>(nullptr);
    auto fragment = MakeOwned<TVantrelGLSLFragmentShader>(nullptr);
    benchmark::DoNotOptimize(vertex.get());
    benchmark::DoNotOptimize(fragment.get());
  }
}

void BM_Generation_Framework(benchmark::State& AState) {
  const bool reuse = AState.range(0) == 1;
  vtest::TShaderVariantBuilders builders{MakeOwned<TVantrelGLSLVertexShader>(nullptr),
                                         MakeOwned<TVantrelGLSLFragmentShader>(nullptr)};
  std::string vertexText, fragmentText;
  size_t bytes = 0;
  for (auto _ : AState) {
    bytes = 0;
    const vtest::TShaderVariantRow* previous = nullptr;
    for (const vtest::TShaderVariantRow& row : Rows()) {
      if (previous)
        vtest::RevertVariant(builders, *previous);
      vtest::ApplyVariant(builders, row);
      previous = &row;
      if (reuse) {
        vertexText.clear();
        fragmentText.clear();
        builders.Vertex->SourceCode()->WriteText(vertexText);
        builders.Fragment->SourceCode()->WriteText(fragmentText);
      } else {
        vertexText = builders.Vertex->ToString();
        fragmentText = builders.Fragment->ToString();
      }
      bytes += vertexText.size() + fragmentText.size();
      benchmark::DoNotOptimize(vertexText.data());
      benchmark::DoNotOptimize(fragmentText.data());
    }
    vtest::RevertVariant(builders, *previous);
  }
  const double variants = static_cast<double>(Rows().size());
  AState.counters["variants"] = variants;
  AState.counters["bytes_per_variant"] = static_cast<double>(bytes) / variants;
}

void BM_Generation_Raw(benchmark::State& AState) {
  const TTexts& texts = Texts();
  std::string target;
  target.reserve(texts.Bytes);
  for (auto _ : AState) {
    target.clear();
    for (const auto& [vertex, fragment] : texts.Stages) {
      target.append(vertex);
      target.append(fragment);
    }
    benchmark::DoNotOptimize(target.data());
  }
  AState.counters["variants"] = static_cast<double>(texts.Stages.size());
}

GLuint CompileStage(GLenum AType, const std::string& AText) {
  const GLuint shader = glCreateShader(AType);
  const char* source = AText.c_str();
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  return shader;
}

// Compiles and links one row with plain GL; the caller deletes the program.
GLuint LinkRow(const std::pair<std::string, std::string>& AStages) {
  const GLuint vertex = CompileStage(GL_VERTEX_SHADER, AStages.first);
  const GLuint fragment = CompileStage(GL_FRAGMENT_SHADER, AStages.second);
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  for (GLuint i = 0; i < ShaderAttributeNames.size(); ++i)
    glBindAttribLocation(program, i, ShaderAttributeNames[i]);
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (!linked) {
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

void BM_CompileLink(benchmark::State& AState) {
  const TTexts& texts = Texts();
  for (auto _ : AState)
    for (const auto& stages : texts.Stages) {
      const GLuint program = LinkRow(stages);
      if (!program)
        AState.SkipWithError("a variant failed to link");
      glDeleteProgram(program);
    }
  AState.counters["variants"] = static_cast<double>(texts.Stages.size());
}

// Milliseconds of the first draw of a freshly linked program into a 1 x 1 target.
double FirstDrawMs(const std::pair<std::string, std::string>& AStages) {
  GLuint framebuffer = 0, color = 0, vertexArray = 0;
  glGenTextures(1, &color);
  glBindTexture(GL_TEXTURE_2D, color);
  glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, 1, 1);
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
  glViewport(0, 0, 1, 1);
  glGenVertexArrays(1, &vertexArray);
  glBindVertexArray(vertexArray);
  const GLuint program = LinkRow(AStages);
  glUseProgram(program);
  // A cube sampler must not share unit 0 with the 2D samplers, or the draw is refused.
  if (const GLint cube = glGetUniformLocation(program, "_EnvironmentTexture"); cube >= 0)
    glUniform1i(cube, 1);
  const auto start = std::chrono::steady_clock::now();
  glDrawArrays(GL_TRIANGLES, 0, 3);
  glFinish();
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  glUseProgram(0);
  glDeleteProgram(program);
  glBindVertexArray(0);
  glDeleteVertexArrays(1, &vertexArray);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteTextures(1, &color);
  return ms;
}

// The widest row: the physically based material with shadows, the environment map and a tone map.
const vtest::TShaderVariantRow& WidestRow() {
  return vtest::ShaderVariantRow("PBRMaterialWidest");
}

void BM_Generation_Widest(benchmark::State& AState) {
  auto builders = vtest::MakeVariantBuilders(WidestRow());
  std::string vertexText, fragmentText;
  for (auto _ : AState) {
    vertexText = builders.Vertex->ToString();
    fragmentText = builders.Fragment->ToString();
    benchmark::DoNotOptimize(vertexText.data());
    benchmark::DoNotOptimize(fragmentText.data());
  }
  AState.counters["bytes"] = static_cast<double>(vertexText.size() + fragmentText.size());
}

// Milliseconds to compile both stages of the widest row and link them, once.
double WidestCompileLinkMs(const std::pair<std::string, std::string>& AStages) {
  const auto start = std::chrono::steady_clock::now();
  const GLuint program = LinkRow(AStages);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  glDeleteProgram(program);
  return program ? ms : -1;
}

class TReporter : public vbench::TPairReporter {
public:
  void ReportRuns(const std::vector<Run>& ARuns) override {
    for (const Run& run : ARuns)
      if (!run.error_occurred && run.run_type == Run::RT_Iteration)
        FTimes[run.run_name.str()] = run.GetAdjustedRealTime();
    TPairReporter::ReportRuns(ARuns);
  }
  double Time(const std::string& AName) const {
    const auto found = FTimes.find(AName);
    return found == FTimes.end() ? 0 : found->second;
  }

private:
  std::map<std::string, double> FTimes;
};

} // namespace

} // namespace shaderbench

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  using namespace shaderbench;
  // Earlier runs must not make compiling look cheaper.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
  if (!vbench::StartDefaultGLContext())
    return 1;

  benchmark::RegisterBenchmark("BM_Construction", BM_Construction)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  for (int reuse : {0, 1}) {
    benchmark::RegisterBenchmark("BM_Generation_Framework", BM_Generation_Framework)
        ->Arg(reuse)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_Generation_Raw", BM_Generation_Raw)
        ->Arg(reuse)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
  }
  benchmark::RegisterBenchmark("BM_Generation_Widest", BM_Generation_Widest)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("BM_CompileLink", BM_CompileLink)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->UseRealTime();
  benchmark::Initialize(&argc, argv);
  TReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double variants = static_cast<double>(Rows().size());
  const double construction = reporter.Time("BM_Construction/real_time");
  const double fresh = reporter.Time("BM_Generation_Framework/0/real_time") / variants;
  const double reused = reporter.Time("BM_Generation_Framework/1/real_time") / variants;
  const double copy = reporter.Time("BM_Generation_Raw/1/real_time") / variants;
  const double compile = reporter.Time("BM_CompileLink/iterations:1/real_time") / variants;
  std::printf("\nShader generation over %.0f variants (both stages per variant, %.0f bytes per variant):\n",
              variants, static_cast<double>(Texts().Bytes) / variants);
  std::printf("  construction of both builders        %10.1f us\n", construction);
  std::printf("  generation, fresh string per text    %10.1f us per variant\n", fresh);
  std::printf("  generation, reused buffer capacity   %10.1f us per variant  (goal: under 1000 us)\n",
              reused);
  std::printf("  copy of the same bytes (lower bound) %10.3f us per variant  -> generation / copy = %.0f\n",
              copy, copy > 0 ? reused / copy : 0.0);
  std::printf("  compile both stages + link           %10.2f ms per variant  -> generation / compile+link = "
              "%.3f %%\n",
              compile, compile > 0 ? 100.0 * fresh / (compile * 1000.0) : 0.0);
  std::printf("  first draw into 1 x 1 (machine code):");
  for (size_t i = 0; i < 5 && i < Texts().Stages.size(); ++i)
    std::printf(" %.1f", FirstDrawMs(Texts().Stages[i * (Texts().Stages.size() / 5)]));
  std::printf(" ms\n");
  size_t biggest = 0;
  for (size_t i = 1; i < Texts().Stages.size(); ++i)
    if (Texts().Stages[i].first.size() + Texts().Stages[i].second.size() >
        Texts().Stages[biggest].first.size() + Texts().Stages[biggest].second.size())
      biggest = i;
  auto widest = vtest::MakeVariantBuilders(WidestRow());
  const std::pair<std::string, std::string> widestStages{widest.Vertex->ToString(),
                                                         widest.Fragment->ToString()};
  const double widestGeneration = reporter.Time("BM_Generation_Widest/real_time");
  const double widestFirstDraw = FirstDrawMs(widestStages);
  const double widestCompile = WidestCompileLinkMs(widestStages);
  std::printf("\nWidest row %s (%zu bytes; the biggest text of the table is %s, %zu bytes):\n",
              WidestRow().Name.c_str(), widestStages.first.size() + widestStages.second.size(),
              Rows()[biggest].Name.c_str(),
              Texts().Stages[biggest].first.size() + Texts().Stages[biggest].second.size());
  std::printf("  generation, both stages              %10.1f us  (goal: under 1000 us)\n", widestGeneration);
  std::printf("  compile both stages + link           %10.2f ms  -> generation / compile+link = %.3f %%\n",
              widestCompile, widestCompile > 0 ? 100.0 * widestGeneration / (widestCompile * 1000.0) : 0.0);
  std::printf("  first draw into 1 x 1 (machine code) %10.1f ms\n", widestFirstDraw);
  ui::TContextManager::UnregisterContexts();
  return fresh < 1000.0 && reused < 1000.0 && widestGeneration < 1000.0 ? 0 : 1;
}
