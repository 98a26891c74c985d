// The composite renderer's last two steps and its resize against the plain GL calls they come down
// to, on the shared EGL context, each pair measured in the same run:
//   Composite  Composite with the deferred composite and FXAA 1 (one frame's main-pass brackets,
//              then glFinish), at 640x480 (argument 0) and 16x16 (argument 1)
//              vs the same two shader texts linked by hand, the same G-buffer textures, the
//              1200-byte block uploaded, two full-target draws with one frame-buffer switch, glFinish
//   Resize     one viewport resize, alternating 640x480 and 641x481 (Mesa's shader cache warm) (context, composite texture,
//              G-buffer, internal passes)
//              vs creating the same seven textures and two frame buffers with plain GL
// Both sides of Composite must leave the same merged colour in their output; a side that draws
// nothing fails the program at the end.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Viewport.h"
#include "support/bench_setup.h"
#include "support/gl_start.h"
#include "support/pair_reporter.h"

namespace {

using namespace vantrel;

constexpr std::array<std::pair<int, int>, 2> Sizes{{{640, 480}, {16, 16}}};
// The merged colour of albedo (0.8, 0.4, 0.2) with the viewport's default settings.
constexpr std::array<uint8_t, 3> Expected{204, 102, 51};

void ClearTexture(GLuint ATexture, const std::array<float, 4>& AColor) {
  // A clear obeys the scissor test and the colour mask, whatever the framework left set.
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, ATexture, 0);
  const GLenum buffer = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &buffer);
  glClearBufferfv(GL_COLOR, 0, AColor.data());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo);
}

bool CentreIsExpected(GLuint ATexture, int AWidth, int AHeight) {
  std::vector<uint8_t> pixels(size_t(AWidth) * size_t(AHeight) * 4);
  glBindTexture(GL_TEXTURE_2D, ATexture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  const size_t at = (size_t(AHeight / 2) * size_t(AWidth) + size_t(AWidth / 2)) * 4;
  for (int channel = 0; channel < 3; ++channel)
    if (std::abs(int(pixels[at + size_t(channel)]) - int(Expected[size_t(channel)])) > 2) {
      std::printf("centre pixel (%d, %d, %d) instead of (%d, %d, %d)\n", pixels[at], pixels[at + 1], pixels[at + 2],
                  Expected[0], Expected[1], Expected[2]);
      return false;
    }
  return true;
}

// A viewport of the given size on a root component, its G-buffer albedo filled.
class TViewportScene {
public:
  TViewportScene(int AWidth, int AHeight) : FRoot(MakeOwned<TFmxObject>(nullptr)) {
    FViewport = New<TVantrelViewport>(FRoot.get());
    FViewport->SetSize(float(AWidth), float(AHeight));
    FViewport->SetFXAA(1);
    Fill();
  }
  TCompositeRenderer& Main() { return *dynamic_cast<TCompositeRenderer*>(FViewport->MainPassRenderer()); }
  TVantrelViewport& Viewport() { return *FViewport; }
  // What the frame's opaque and translucent phases would leave: the albedo, and nothing else.
  void Fill() {
    ClearTexture(GLuint(Main().GetAlbedoTexture()->Handle()), {0.8f, 0.4f, 0.2f, 1});
    for (TVantrelTexture* texture : {Main().GetTranslucentAlbedoTexture(), Main().GetAlphaTexture(),
                                     Main().GetPositionTexture(), Main().GetNormalsTexture(),
                                     Main().GetEmissiveTexture()})
      ClearTexture(GLuint(texture->Handle()), {0, 0, 0, 0});
  }
  void Frame() {
    Main().SetAttachedRenderer(nullptr);
    TRenderContext context = TRenderContext::Create(Main().GetSharedContext(), FViewport, {}, {});
    Main().BeginMainRenderPass(TMatrix3D::Identity(), 45);
    Main().Composite(&context);
    Main().EndMainRenderPass();
  }
  GLuint Output() {
    auto* fxaa = dynamic_cast<TVantrelRenderPassFXAA*>(Main().GetInternalController(TInternalPassKind::FXAA));
    return GLuint(fxaa->GetFinalOutputTexture()->Handle());
  }

private:
  TOwned<TFmxObject> FRoot;
  TVantrelViewport* FViewport = nullptr;
};

bool GFrameworkDrew[2] = {};
bool GRawDrew[2] = {};

void BM_Composite_Framework(benchmark::State& AState) {
  const auto [width, height] = Sizes[size_t(AState.range(0))];
  TViewportScene scene(width, height);
  scene.Frame(); // programs linked, pass objects made
  for (auto _ : AState) {
    scene.Frame();
    glFinish();
  }
  GFrameworkDrew[AState.range(0)] = CentreIsExpected(scene.Output(), width, height);
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the framework's composite");
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

GLuint MakeTexture(GLenum AFormat, GLenum AUpload, GLenum AType, int AWidth, int AHeight) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GLint(AFormat), AWidth, AHeight, 0, AUpload, AType, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texture;
}

void BM_Composite_Raw(benchmark::State& AState) {
  const auto [width, height] = Sizes[size_t(AState.range(0))];
  // The same G-buffer the framework reads, from its own viewport.
  TViewportScene scene(width, height);
  TCompositeRenderer& main = scene.Main();
  const GLuint composite = Link(TDeferredCompositeMaterial::VertexShaderText(), TDeferredCompositeMaterial::PixelShaderText());
  const GLuint fxaa = Link(TFXAAMaterial::VertexShaderText(), TFXAAMaterial::PixelShaderText());
  const GLuint merged = MakeTexture(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, width, height);
  const GLuint smoothed = MakeTexture(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, width, height);
  GLuint fbos[2];
  glGenFramebuffers(2, fbos);
  for (auto [fbo, texture] : {std::pair{fbos[0], merged}, std::pair{fbos[1], smoothed}}) {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  }
  TCompositeShaderData data;
  data.Saturation = {0, 1.5f, 0};
  GLuint block = 0;
  glGenBuffers(1, &block);
  // The full-target rectangle in clip space, with its texture coordinates.
  const float vertices[] = {-1, -1, 0, 0, 0, 1, -1, 0, 1, 0, -1, 1, 0, 0, 1, 1, 1, 0, 1, 1};
  GLuint vao = 0, vbo = 0;
  glGenVertexArrays(1, &vao);
  glGenBuffers(1, &vbo);
  glBindVertexArray(vao);
  glBindBuffer(GL_ARRAY_BUFFER, vbo);
  glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, nullptr);
  glVertexAttribPointer(6, 2, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<void*>(12));
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(6);
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const GLuint inputs[] = {GLuint(main.GetAlbedoTexture()->Handle()),
                           GLuint(main.GetTranslucentAlbedoTexture()->Handle()),
                           GLuint(main.GetAlphaTexture()->Handle()),
                           GLuint(main.GetPositionTexture()->Handle()),
                           GLuint(main.GetNormalsTexture()->Handle()),
                           GLuint(main.GetEmissiveTexture()->Handle())};
  const char* samplers[] = {"_AlbedoTexture",  "_TranslucentAlbedoTexture", "_AlphaTexture",
                            "_PositionTexture", "_NormalsTexture",          "_EmissiveTexture"};
  const auto frame = [&] {
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glBindFramebuffer(GL_FRAMEBUFFER, fbos[0]);
    glUseProgram(composite);
    glBindBuffer(GL_UNIFORM_BUFFER, block);
    glBufferData(GL_UNIFORM_BUFFER, sizeof data, &data, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, block);
    glUniformBlockBinding(composite, glGetUniformBlockIndex(composite, "CompositeShaderData"), 0);
    glUniformMatrix4fv(glGetUniformLocation(composite, "_ModelViewProjMatrix"), 1, GL_FALSE, identity);
    for (GLuint unit = 0; unit < 6; ++unit) {
      glActiveTexture(GL_TEXTURE0 + unit);
      glBindTexture(GL_TEXTURE_2D, inputs[unit]);
      glUniform1i(glGetUniformLocation(composite, samplers[unit]), GLint(unit));
    }
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindFramebuffer(GL_FRAMEBUFFER, fbos[1]);
    glUseProgram(fxaa);
    glUniformMatrix4fv(glGetUniformLocation(fxaa, "_ModelViewProjMatrix"), 1, GL_FALSE, identity);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, merged);
    glUniform1i(glGetUniformLocation(fxaa, "_Input"), 0);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  };
  frame();
  for (auto _ : AState) {
    frame();
    glFinish();
  }
  glUseProgram(0);
  glBindVertexArray(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  GRawDrew[AState.range(0)] = CentreIsExpected(smoothed, width, height);
  glDeleteVertexArrays(1, &vao);
  glDeleteBuffers(1, &vbo);
  glDeleteBuffers(1, &block);
  glDeleteFramebuffers(2, fbos);
  glDeleteTextures(1, &merged);
  glDeleteTextures(1, &smoothed);
  glDeleteProgram(composite);
  glDeleteProgram(fxaa);
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the raw composite");
}

int GProgramsAfterResizes = -1;
int GProgramsBeforeResizes = -1;

void BM_Resize_Framework(benchmark::State& AState) {
  TViewportScene scene(640, 480);
  scene.Frame();
  GProgramsBeforeResizes = TVantrelContext::ProgramCount();
  bool odd = false;
  for (auto _ : AState) {
    odd = !odd;
    scene.Viewport().SetSize(odd ? 641 : 640, odd ? 481 : 480);
    glFinish();
  }
  scene.Frame();
  GProgramsAfterResizes = TVantrelContext::ProgramCount();
}

void BM_Resize_Raw(benchmark::State& AState) {
  struct TFormat {
    GLenum Internal, Upload, Type;
  };
  const TFormat formats[] = {{GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE},  {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE},
                             {GL_RGBA16F, GL_BGRA, GL_HALF_FLOAT},   {GL_R16F, GL_RED, GL_HALF_FLOAT},
                             {GL_RGBA16F, GL_BGRA, GL_HALF_FLOAT},   {GL_RGB16F, GL_BGR, GL_HALF_FLOAT},
                             {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE}};
  std::array<GLuint, 7> textures{};
  std::array<GLuint, 2> fbos{};
  GLuint depth = 0;
  bool odd = false;
  const auto release = [&] {
    glDeleteFramebuffers(2, fbos.data());
    glDeleteTextures(7, textures.data());
    glDeleteRenderbuffers(1, &depth);
  };
  for (auto _ : AState) {
    odd = !odd;
    const int width = odd ? 641 : 640, height = odd ? 481 : 480;
    release();
    for (size_t index = 0; index < textures.size(); ++index)
      textures[index] = MakeTexture(formats[index].Internal, formats[index].Upload, formats[index].Type, width, height);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glGenFramebuffers(2, fbos.data());
    for (size_t buffer = 0; buffer < 2; ++buffer) {
      glBindFramebuffer(GL_FRAMEBUFFER, fbos[buffer]);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures[1 + buffer], 0);
      for (GLenum slot = 1; slot <= 4; ++slot)
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + slot, GL_TEXTURE_2D, textures[2 + slot], 0);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glFinish();
  }
  release();
}

void RegisterPair(const char* ACase, void (*AOurs)(benchmark::State&), void (*APeer)(benchmark::State&),
                  const std::vector<int64_t>& AArguments) {
  for (int64_t argument : AArguments)
    for (auto [suffix, function] : {std::pair{"_Framework", AOurs}, std::pair{"_Raw", APeer}})
      benchmark::RegisterBenchmark((std::string("BM_") + ACase + suffix).c_str(), function)
          ->Arg(argument)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
}

class TRatioReporter : public vbench::TPairReporter {
public:
  bool PrintRatio(const std::string& ACase, const std::string& AArgument, const char* ALabel, double ALimit) const {
    const auto times = Times(ACase, AArgument);
    if (!times) {
      std::printf("  %-10s %-8s not measured\n", ACase.c_str(), ALabel);
      return false;
    }
    const double ratio = times->Ours / times->Peer;
    std::printf("  %-10s %-10s %9.3f ms / %9.3f ms = %.2f (min %.2f)", ACase.c_str(), ALabel, times->Ours,
                times->Peer, ratio, times->OursMin / times->PeerMin);
    if (ALimit > 0)
      std::printf("  (expected at most %.1f)", ALimit);
    std::printf("\n");
    return true;
  }
};

} // namespace

int main(int argc, char** argv) {
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  InitializeUnits();
  RegisterPair("Composite", BM_Composite_Framework, BM_Composite_Raw, {0, 1});
  RegisterPair("Resize", BM_Resize_Framework, BM_Resize_Raw, {0});
  vbench::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nFramework time / raw peer time, same run (median over repetitions, minimum beside it):\n");
  bool met = reporter.PrintRatio("Composite", "0", "640x480", 1.2);
  met &= reporter.PrintRatio("Composite", "1", "16x16", 3.0);
  met &= reporter.PrintRatio("Resize", "0", "per resize", 0);
  for (int index = 0; index < 2; ++index)
    if (!GFrameworkDrew[index] || !GRawDrew[index]) {
      std::printf("Composite %s: a side did not leave the merged colour in its output\n", index ? "16x16" : "640x480");
      met = false;
    }
  if (GProgramsAfterResizes != GProgramsBeforeResizes) {
    std::printf("Resize: the program count went from %d to %d\n", GProgramsBeforeResizes, GProgramsAfterResizes);
    met = false;
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
