// The blur pass against the plain GL calls it comes down to, on the shared EGL context, each pair
// measured in the same run, on a 1024 x 1024 RGBA16F target with a 1024 x 1024 RGBA16F input:
//   Blur/0 Radial (1 iteration), Blur/1 FastHV, Blur/2 GaussHV (2 iterations each)
//          Framework: one run of the pass's entry through the viewport context's ExecuteRenderPass
//          (scene begin, iterations, scene end), then glFinish
//          Raw: the same registered shader texts (read back from the material's shaders) linked by
//          hand; per iteration: the full memory barrier the pass issues at the start of each
//          iteration, bind the frame buffer, attach the target, clear on even iterations,
//          glUseProgram, the uniforms, bind the input, draw the 4-vertex strip; then glFinish
//   Blur/0 RawNoBarrier: the radial raw side without the barrier, printed beside it. On llvmpipe a
//          glMemoryBarrier (any bit, also with a glFinish after it) makes the next radial draw
//          about 1.6 times as costly in process CPU time, at equal fragment counts; the fast and
//          Gaussian shaders show no such cost. The pass keeps its barrier, so the pair compares
//          equal GL work and this line shows what the barrier costs the radial filter.
//   GaussBandwidth: the Gauss H+V time against the traffic floor (two passes each reading and
//          writing 1024^2 x 8 bytes), with two floors measured in the same run: a glBlitFramebuffer
//          copy of one target to another (GL_NEAREST) and a one-tap copy draw.
// Repetitions of all cases are interleaved in random order (a flag main adds). Each case also
// reports cpu_ms, the process CPU time per iteration (the driver's threads included), which a
// loaded machine disturbs far less than the real time.
// Memory: every target, input, program and frame buffer is made once, before the timed loop; the
// loops allocate nothing. The allocator regime is printed by vbench::Initialize. Both sides of each
// pair must leave the expected value in their output's centre, else the program fails at the end.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.CustomBlur.h"
#include "rendering/Vantrel.Viewport.h"
#include "support/bench_setup.h"
#include "support/gl_start.h"
#include "support/pair_reporter.h"
#include "ui/shaders.h"

namespace vantrel {

// An RGBA16F render target of ASize.
TVantrelTextureBitmap* MakeFloatBitmap(const TPoint& ASize) {
  TVantrelTextureBitmap* texture = TVantrelTextureBitmap::Create();
  texture->BeginSetup();
  texture->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
  texture->SetSize(ASize.X, ASize.Y);
  texture->SetDataType(TVantrelTextureDataType::dtHalfFloat);
  texture->SetComponents(TPixelFormatEx::RGBA16F);
  texture->SetFormat(TPixelFormatEx::RGBA);
  texture->SetMinFilter(TTextureFilter::Linear);
  texture->SetMagFilter(TTextureFilter::Linear);
  texture->SetWrapS(TVantrelTextureWrap::ClampToEdge);
  texture->SetWrapT(TVantrelTextureWrap::ClampToEdge);
  texture->EndSetup();
  return texture;
}

// A blur pass drawing into RGBA16F targets.
class TBenchBlurPass : public TVantrelRenderPassBlur {
  RTL_CLASS(TBenchBlurPass, TVantrelRenderPassBlur)
public:
  explicit TBenchBlurPass(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassBlur(AOwner, std::move(AId)) {}

protected:
  void DoCreateCompositeTexture(TObject*, const TPoint& ASize, float,
                                TVantrelTextureBitmap*& ATexture) override {
    ATexture = MakeFloatBitmap(ASize);
  }
};
RTL_DEFINE_CLASS(TBenchBlurPass, "Bench.Rendering")

// The input pass: its output is a texture the benchmark made.
class TBenchInputPass : public TVantrelRenderPassController {
  RTL_CLASS(TBenchInputPass, TVantrelRenderPassController)
public:
  explicit TBenchInputPass(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  TTexture* Output = nullptr;
  TTexture* GetOutputTexture() override { return Output; }

protected:
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
};
RTL_DEFINE_CLASS(TBenchInputPass, "Bench.Rendering")

} // namespace vantrel

namespace {

using namespace vantrel;

constexpr int Size = 1024;
constexpr TPassBlurType Types[] = {TPassBlurType::RadialBlur, TPassBlurType::FastBlur,
                                   TPassBlurType::GaussianBlur};
// What a uniform 0.5 input comes out as: toneMap(0.5 * 257 / 241) for the radial filter.
constexpr float Expected[] = {0.8146f, 0.5f, 0.5f};

GLuint MakeTarget() {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, Size, Size, 0, GL_RGBA, GL_FLOAT, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}

void FillUniform(GLuint ATexture, float AValue) {
  const std::vector<float> data(size_t(Size) * Size * 4, AValue);
  glBindTexture(GL_TEXTURE_2D, ATexture);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, Size, Size, GL_RGBA, GL_FLOAT, data.data());
  glBindTexture(GL_TEXTURE_2D, 0);
}

bool CentreIs(GLuint ATexture, float AExpected, const char* AWho) {
  std::vector<float> texels(size_t(Size) * Size * 4);
  glBindTexture(GL_TEXTURE_2D, ATexture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  const float centre = texels[(size_t(Size / 2) * Size + Size / 2) * 4];
  if (std::fabs(centre - AExpected) > 3e-3f) {
    std::printf("%s: centre %.4f instead of %.4f\n", AWho, centre, AExpected);
    return false;
  }
  return true;
}

// A viewport of 1024 x 1024 with a blur pass of the given type over a uniform input.
class TBlurScene {
public:
  explicit TBlurScene(TPassBlurType AType) : FRoot(MakeOwned<TFmxObject>(nullptr)) {
    FViewport = New<TVantrelViewport>(FRoot.get());
    FViewport->SetSize(float(Size), float(Size));
    FInput.reset(MakeFloatBitmap({Size, Size}));
    FInputTexture = GLuint(FInput->Texture()->Handle());
    FillUniform(FInputTexture, 0.5f);
    FInputPass = static_cast<TBenchInputPass*>(
        TVantrelRenderPassController::CreateController(TBenchInputPass::StaticClass(), FViewport, ""));
    FInputPass->Output = FInput->Texture();
    FPass = static_cast<TBenchBlurPass*>(
        TVantrelRenderPassController::CreateController(TBenchBlurPass::StaticClass(), FViewport, ""));
    FPass->SetBlurType(AType);
    FPass->SetInputPass(FInputPass);
    FInstance = FPass->CreateRenderPassInstance();
  }
  ~TBlurScene() {
    FInstance.reset();
    FRoot.reset();
    FInput.reset();
  }
  void Run() {
    auto* context = dynamic_cast<TVantrelContext*>(FViewport->Context());
    TRenderContext renderContext = TRenderContext::Create(context, FViewport, {}, {});
    context->ExecuteRenderPass(FInstance.get(), &renderContext);
  }
  TBenchBlurPass& Pass() { return *FPass; }
  GLuint Input() const { return FInputTexture; }
  GLuint Output() { return GLuint(FPass->GetFinalOutputTexture()->Handle()); }

private:
  TOwned<TFmxObject> FRoot;
  TVantrelViewport* FViewport = nullptr;
  GLuint FInputTexture = 0;
  TOwned<TVantrelTextureBitmap> FInput;
  TBenchInputPass* FInputPass = nullptr;
  TBenchBlurPass* FPass = nullptr;
  TOwned<TRenderPass> FInstance;
};

bool GFrameworkDrew[3] = {};
bool GRawDrew[3] = {};
bool GRawWithoutBarrierDrew = false;

// The CPU time of the whole process (every driver thread included), in milliseconds.
double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Times the loop body and reports the process CPU time per iteration beside the real time.
template <class F> void TimedLoop(benchmark::State& AState, F ABody) {
  const double start = ProcessCpuMs();
  for (auto _ : AState) {
    ABody();
    glFinish();
  }
  AState.counters["cpu_ms"] = (ProcessCpuMs() - start) / double(std::max<benchmark::IterationCount>(AState.iterations(), 1));
}

void BM_Blur_Framework(benchmark::State& AState) {
  const size_t type = size_t(AState.range(0));
  TBlurScene scene(Types[type]);
  scene.Run(); // programs linked, targets made
  TimedLoop(AState, [&] { scene.Run(); });
  GFrameworkDrew[type] = CentreIs(scene.Output(), Expected[type], "framework");
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the framework's blur");
}

std::string TextOf(const TContextShader* AShader) {
  const auto& code = AShader->GetSourceByArch(TContextShaderArch::GLSL)->Code;
  return std::string(code.begin(), code.end());
}

GLuint Compile(GLenum AStage, const std::string& ACode) {
  const GLuint shader = glCreateShader(AStage);
  const char* text = ACode.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  return shader;
}

GLuint Link(const std::string& AVertex, const std::string& APixel) {
  const GLuint program = glCreateProgram();
  const GLuint vertex = Compile(GL_VERTEX_SHADER, AVertex);
  const GLuint pixel = Compile(GL_FRAGMENT_SHADER, APixel);
  glAttachShader(program, vertex);
  glAttachShader(program, pixel);
  glBindAttribLocation(program, 0, "a_Position");
  glBindAttribLocation(program, 6, "a_TexCoord0");
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(pixel);
  return program;
}

// The full-target rectangle in clip space with its texture coordinates, in a vertex array.
struct TRect {
  GLuint Vao = 0, Vbo = 0;
  TRect() {
    const float vertices[] = {-1, -1, 0, 0, 0, 1, -1, 0, 1, 0, -1, 1, 0, 0, 1, 1, 1, 0, 1, 1};
    glGenVertexArrays(1, &Vao);
    glGenBuffers(1, &Vbo);
    glBindVertexArray(Vao);
    glBindBuffer(GL_ARRAY_BUFFER, Vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, nullptr);
    glVertexAttribPointer(6, 2, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<void*>(12));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(6);
  }
  ~TRect() {
    glBindVertexArray(0);
    glDeleteVertexArrays(1, &Vao);
    glDeleteBuffers(1, &Vbo);
  }
};

void RawBlur(benchmark::State& AState, bool ABarrier, bool& ADrew) {
  const size_t type = size_t(AState.range(0));
  TBlurScene scene(Types[type]); // the same input and the same registered texts
  TBlurMaterial& material = *scene.Pass().Material();
  const std::string vertex = TextOf(material.VertexShader());
  GLuint programs[2] = {};
  if (Types[type] == TPassBlurType::RadialBlur) {
    programs[0] = programs[1] = Link(vertex, TextOf(material.PixelShader()));
  } else {
    const bool fast = Types[type] == TPassBlurType::FastBlur;
    programs[0] = Link(vertex, TextOf(fast ? material.FastBlurH() : material.GaussBlurH()));
    programs[1] = Link(vertex, TextOf(fast ? material.FastBlurV() : material.GaussBlurV()));
  }
  const int iterations = Types[type] == TPassBlurType::RadialBlur ? 1 : 2;
  const GLuint targets[2] = {MakeTarget(), MakeTarget()};
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  TRect rect;
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const float amount = 3.0f;
  const auto frame = [&] {
    glViewport(0, 0, Size, Size);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBindVertexArray(rect.Vao);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    GLuint previous = 0;
    for (int index = 0; index < iterations; ++index) {
      if (ABarrier)
        glMemoryBarrier(GL_ALL_BARRIER_BITS);
      // The last iteration lands in targets[0], as the pass's alternation does.
      const GLuint target = targets[(iterations - 1 - index) % 2];
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
      if (index % 2 == 0) {
        const float clear[4] = {0, 0, 0, 0};
        glClearBufferfv(GL_COLOR, 0, clear);
      }
      const GLuint program = programs[index % 2];
      glUseProgram(program);
      glUniformMatrix4fv(glGetUniformLocation(program, "_ModelViewProjMatrix"), 1, GL_FALSE, identity);
      glUniform1i(glGetUniformLocation(program, "_Input"), 0);
      if (Types[type] == TPassBlurType::RadialBlur) {
        glUniform2f(glGetUniformLocation(program, "_Radius"), amount * 4 / Size, amount * 4 / Size);
        glUniform1f(glGetUniformLocation(program, "_Exposure"), 1.0f);
      } else {
        glUniform1f(glGetUniformLocation(program, "_Width"), Size / amount);
      }
      glActiveTexture(GL_TEXTURE0);
      glBindTexture(GL_TEXTURE_2D, index % 2 == 0 ? scene.Input() : previous);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      previous = target;
    }
  };
  frame();
  TimedLoop(AState, frame);
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  ADrew = CentreIs(targets[0], Expected[type], ABarrier ? "raw" : "raw without barrier");
  glDeleteFramebuffers(1, &fbo);
  glDeleteTextures(2, targets);
  glDeleteProgram(programs[0]);
  if (programs[1] != programs[0])
    glDeleteProgram(programs[1]);
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the raw blur");
}

void BM_Blur_Raw(benchmark::State& AState) { RawBlur(AState, true, GRawDrew[size_t(AState.range(0))]); }
void BM_Blur_RawNoBarrier(benchmark::State& AState) { RawBlur(AState, false, GRawWithoutBarrierDrew); }

// The copy floors of the bandwidth case: one 1024^2 RGBA16F target into another.
void BM_Floor_Blit(benchmark::State& AState) {
  const GLuint source = MakeTarget(), target = MakeTarget();
  GLuint fbos[2];
  glGenFramebuffers(2, fbos);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbos[0]);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, source, 0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbos[1]);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  glDisable(GL_SCISSOR_TEST);
  for (auto _ : AState) {
    glBlitFramebuffer(0, 0, Size, Size, 0, 0, Size, Size, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glFinish();
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(2, fbos);
  const GLuint textures[2] = {source, target};
  glDeleteTextures(2, textures);
}

constexpr const char* CopyVertex =
    "#version 430\nlayout(location = 0) in vec3 a_Position;\n"
    "layout(location = 6) in vec2 a_TexCoord0;\nout vec2 v_Uv;\n"
    "void main(){ v_Uv = a_TexCoord0; gl_Position = vec4(a_Position, 1.0); }\n";
constexpr const char* CopyPixel = "#version 430\nin vec2 v_Uv;\nuniform sampler2D _Input;\n"
                                  "layout(location = 0) out vec4 o_Color;\n"
                                  "void main(){ o_Color = texture(_Input, v_Uv); }\n";

void BM_Floor_CopyDraw(benchmark::State& AState) {
  const GLuint source = MakeTarget(), target = MakeTarget();
  const GLuint program = Link(CopyVertex, CopyPixel);
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  TRect rect;
  glBindVertexArray(rect.Vao);
  glUseProgram(program);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, source);
  glUniform1i(glGetUniformLocation(program, "_Input"), 0);
  glViewport(0, 0, Size, Size);
  for (auto _ : AState) {
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glFinish();
  }
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo);
  glDeleteProgram(program);
  const GLuint textures[2] = {source, target};
  glDeleteTextures(2, textures);
}

void Register(const std::string& AName, void (*AFunction)(benchmark::State&), int64_t AArgument) {
  benchmark::RegisterBenchmark(AName.c_str(), AFunction)
      ->Arg(AArgument)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

class TBlurReporter : public vbench::TPairReporter {
public:
  bool PrintRatio(const char* ALabel, const std::string& AArgument, double ALimit) const {
    const auto times = Times("Blur", AArgument);
    if (!times) {
      std::printf("  %-8s not measured\n", ALabel);
      return false;
    }
    const double ratio = times->Ours / times->Peer;
    std::printf("  %-8s %9.3f ms / %9.3f ms = %.3f (min %.3f)  (expected at most %.2f)\n", ALabel,
                times->Ours, times->Peer, ratio, times->OursMin / times->PeerMin, ALimit);
    return true;
  }
  // The radial raw side with and without the pass's memory barrier, and the framework against the
  // side without it.
  void PrintBarrierCost() const {
    const auto with = MedianTime("BM_Blur_Raw/0/real_time");
    const auto without = MedianTime("BM_Blur_RawNoBarrier/0/real_time");
    const auto framework = MedianTime("BM_Blur_Framework/0/real_time");
    if (!with || !without || !framework) {
      std::printf("  Radial barrier cost not measured\n");
      return;
    }
    std::printf("  Radial barrier cost: raw %.3f ms with the barrier / %.3f ms without = %.3f; "
                "framework / raw without = %.3f (not a goal)\n",
                *with, *without, *with / *without, *framework / *without);
  }
  bool PrintBandwidth() const {
    const auto gauss = MedianTime("BM_Blur_Raw/2/real_time");
    const auto blit = MedianTime("BM_Floor_Blit/0/real_time");
    const auto copy = MedianTime("BM_Floor_CopyDraw/0/real_time");
    if (!gauss || !blit || !copy) {
      std::printf("  GaussBandwidth not measured\n");
      return false;
    }
    // Two passes, each reading and writing 1024^2 x 8 bytes: 32 MiB; each floor moves 16 MiB.
    const double blitFloor = *blit * 2, copyFloor = *copy * 2;
    std::printf(
        "  GaussBandwidth: Gauss H+V %.3f ms; blit floor %.3f ms (%.1f GB/s read + written) -> %.1fx; "
        "copy-draw floor %.3f ms -> %.1fx\n",
        *gauss, blitFloor, 32.0 * 1048576 / (blitFloor * 1e6), *gauss / blitFloor, copyFloor,
        *gauss / copyFloor);
    return true;
  }
};

} // namespace

int main(int argc, char** argv) {
  // The repetitions of both sides of a pair run in random alternation, so a load change on the
  // shared machine reaches both sides rather than one.
  std::vector<char*> arguments(argv, argv + argc);
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  arguments.push_back(interleave);
  argc = int(arguments.size());
  arguments.push_back(nullptr);
  argv = arguments.data();
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  InitializeUnits();
  for (int64_t type = 0; type < 3; ++type) {
    Register("BM_Blur_Framework", BM_Blur_Framework, type);
    Register("BM_Blur_Raw", BM_Blur_Raw, type);
  }
  Register("BM_Blur_RawNoBarrier", BM_Blur_RawNoBarrier, 0);
  Register("BM_Floor_Blit", BM_Floor_Blit, 0);
  Register("BM_Floor_CopyDraw", BM_Floor_CopyDraw, 0);
  vbench::Initialize(&argc, argv);
  TBlurReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nFramework time / raw peer time, same run (median over repetitions, minimum beside it):\n");
  bool met = reporter.PrintRatio("Radial", "0", 1.05);
  met &= reporter.PrintRatio("FastHV", "1", 1.05);
  met &= reporter.PrintRatio("GaussHV", "2", 1.05);
  met &= reporter.PrintBandwidth();
  reporter.PrintBarrierCost();
  const char* names[] = {"Radial", "FastHV", "GaussHV"};
  for (int index = 0; index < 3; ++index)
    if (!GFrameworkDrew[index] || !GRawDrew[index]) {
      std::printf("%s: a side did not leave the expected value in its output\n", names[index]);
      met = false;
    }
  if (!GRawWithoutBarrierDrew) {
    std::printf("Radial: the raw side without the barrier did not leave the expected value in its output\n");
    met = false;
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
