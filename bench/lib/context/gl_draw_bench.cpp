// Per-draw CPU overhead and read-back of the OpenGL context against the plain calls they wrap, on
// the shared EGL context, each pair measured in the same run:
//   DrawClient  1000 DrawPrimitives of a 24-vertex / 36-index cube from client memory with a
//               material that sets the MVP matrix, in one scene bracket, then glFinish
//               vs glUseProgram, the MVP upload, two attribute pointers, glDrawElements and the
//               disables, 1000 times, then glFinish
//   DrawStatic  the same draws from a static mesh buffer set as the current cache before each draw
//               vs the raw loop reading a VBO and an index buffer
//   ReadBack    CopyToBits into a mapped bitmap vs glReadPixels(BGRA) into a preallocated buffer,
//               at 640 x 480 (argument 0) and 1920 x 1080 (argument 1)
// The draw target is 16 x 16 so that rasterisation does not dominate. Prints each pair's framework
// time over its peer's. Every operator new inside the timed loops is counted: the read-back's
// steady state should make none, since the context keeps its scratch buffer between reads.

#include <benchmark/benchmark.h>

#include "support/pair_reporter.h"
#include <epoxy/gl.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "ui/bitmap.h"
#include "ui/material.h"
#include "ui/mesh_buffers.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

std::atomic<int64_t> GAllocations{0};

} // namespace

void* operator new(size_t ASize) {
  GAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(ASize ? ASize : 1))
    return block;
  throw std::bad_alloc();
}
void operator delete(void* ABlock) noexcept {
  std::free(ABlock);
}
void operator delete(void* ABlock, size_t) noexcept {
  std::free(ABlock);
}

namespace {

using namespace vantrel;

constexpr int32_t DrawTarget = 16;
constexpr int DrawsPerIteration = 1000;

constexpr std::string_view VertexCode = R"(#version 430
layout(location = 0) in vec3 a_Vertex;
layout(location = 1) in vec3 a_Normal;
uniform vec4 _MVPMatrix[4];
out vec3 v_Normal;
void main() {
  vec4 p = vec4(a_Vertex, 1.0);
  gl_Position = vec4(dot(_MVPMatrix[0], p), dot(_MVPMatrix[1], p), dot(_MVPMatrix[2], p), dot(_MVPMatrix[3], p));
  v_Normal = a_Normal;
}
)";

constexpr std::string_view PixelCode = R"(#version 430
in vec3 v_Normal;
out vec4 o_Color;
void main() {
  o_Color = vec4(abs(normalize(v_Normal)), 1.0);
}
)";

TOwned<TContextShader> MakeShader(const char* AName, TContextShaderKind AKind, std::string_view ACode,
                                  std::vector<TContextShaderVariable> AVariables) {
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code.assign(ACode.begin(), ACode.end());
  source.Variables = std::move(AVariables);
  return MakeOwned<TContextShader>(AName, AKind, std::vector<TContextShaderSource>{source});
}

// Hands its vertex shader the model-view-projection matrix, as the UI framework's materials do.
class TMVPMaterial : public TCustomMaterial {
public:
  TMVPMaterial(TContextShader* AVertexShader, TContextShader* APixelShader) {
    FVertexShader = AVertexShader;
    FPixelShader = APixelShader;
  }

protected:
  void DoApply(TContext3D* AContext) override {
    TCustomMaterial::DoApply(AContext);
    auto* context = CheckedCast<TVantrelContext>(AContext);
    context->SetShaderVariable(ModelViewProjection(), context->CurrentModelViewProjectionMatrix());
  }
};

// A unit cube of 24 vertices (position, normal) and 36 16-bit indices, two triangles per face.
struct TCube {
  TOwned<TVertexBuffer> Vertices;
  TOwned<TIndexBuffer> Indices;
};

TCube MakeCube() {
  TCube cube{MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::Normal}, 24),
             MakeOwned<TIndexBuffer>(36, TIndexFormat::UInt16)};
  auto* vertex = reinterpret_cast<float*>(cube.Vertices->Buffer());
  auto* index = reinterpret_cast<uint16_t*>(cube.Indices->Buffer());
  for (int axis = 0; axis < 3; ++axis)
    for (float sign : {-1.0f, 1.0f}) {
      const int u = (axis + 1) % 3;
      const int v = (axis + 2) % 3;
      const auto first = uint16_t((vertex - reinterpret_cast<float*>(cube.Vertices->Buffer())) / 6);
      for (auto [su, sv] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}}) {
        float position[3]{};
        float normal[3]{};
        position[axis] = sign * 0.5f;
        position[u] = su * 0.5f;
        position[v] = sv * 0.5f;
        normal[axis] = sign;
        std::memcpy(vertex, position, sizeof position);
        std::memcpy(vertex + 3, normal, sizeof normal);
        vertex += 6;
      }
      for (int corner : {0, 1, 2, 0, 2, 3})
        *index++ = uint16_t(first + corner);
    }
  return cube;
}

// A context on a render-target texture with the test program's shaders and the cube.
class TDrawScene {
public:
  explicit TDrawScene(int32_t AWidth, int32_t AHeight) : FTexture(MakeOwned<TTexture>()), FCube(MakeCube()) {
    FTexture->SetSize(AWidth, AHeight);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(CheckedCast<TContextOpenGLWindows>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true)));
    FVertexShader = MakeShader(
        "bench.fvs", TContextShaderKind::VertexShader, VertexCode,
        {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}});
    FPixelShader = MakeShader("bench.fps", TContextShaderKind::PixelShader, PixelCode, {});
    FMaterial = std::make_unique<TMVPMaterial>(FVertexShader.get(), FPixelShader.get());
    FContext->SetCameraMatrix(TMatrix3D::Identity());
    FContext->SetMatrix(TMatrix3D::Identity());
    FContext->SetCameraAngleOfView(90);
  }
  ~TDrawScene() {
    TVantrelContext::FreePrograms();
    FMaterial.reset();
    FPixelShader.reset();
    FVertexShader.reset();
    FContext.reset();
    FTexture.reset();
    TVantrelContext::ResetDrawCallDiagnostics();
  }

  TContextOpenGLWindows& Context() { return *FContext; }
  TMaterial* Material() { return FMaterial.get(); }
  const TCube& Cube() const { return FCube; }

  void DrawCube(const void* AVertices, const void* AIndices) {
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, AVertices, AIndices,
                             FCube.Vertices->GetVertexDeclarations(), FCube.Vertices->VertexSize(),
                             FCube.Vertices->Length(), FCube.Indices->IndexSize(), FCube.Indices->Length(),
                             FMaterial.get(), 1);
  }

  // The framebuffer the context draws into, for the raw peers; also compiles and links the
  // program by drawing once, so that the raw loop can use the same program.
  GLuint FrameBufferAndProgram(GLuint& AProgram) {
    FContext->BeginSceneRendering();
    GLint framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    FContext->EndSceneRendering();
    AProgram = LinkRawProgram();
    return GLuint(framebuffer);
  }

  static GLuint LinkRawProgram() {
    const auto compile = [](GLenum AStage, std::string_view ACode) {
      const GLuint shader = glCreateShader(AStage);
      const char* text = ACode.data();
      const auto length = GLint(ACode.size());
      glShaderSource(shader, 1, &text, &length);
      glCompileShader(shader);
      return shader;
    };
    const GLuint vs = compile(GL_VERTEX_SHADER, VertexCode);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, PixelCode);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    return program;
  }

private:
  TOwned<TTexture> FTexture;
  TOwned<TContextOpenGLWindows> FContext;
  TOwned<TContextShader> FVertexShader;
  TOwned<TContextShader> FPixelShader;
  std::unique_ptr<TMVPMaterial> FMaterial;
  TCube FCube;
};

void CountAllocations(benchmark::State& AState, int64_t AStart) {
  const auto iterations = double(AState.iterations() ? AState.iterations() : 1);
  AState.counters["allocs/iter"] = double(GAllocations.load() - AStart) / iterations;
}

void ReportPerDraw(benchmark::State& AState) {
  AState.SetItemsProcessed(AState.iterations() * DrawsPerIteration);
}

// ---- Draw -------------------------------------------------------------------------------------------

void FrameworkDraws(benchmark::State& AState, bool AStatic) {
  TDrawScene scene(DrawTarget, DrawTarget);
  auto mesh = MakeOwned<TMeshBufferObject>();
  mesh->PushData(TMeshBufferComponent::All, scene.Cube().Vertices.get());
  mesh->PushData(TMeshBufferComponent::Indices, scene.Cube().Indices->Buffer(), scene.Cube().Indices->Size());
  const void* vertices = AStatic ? nullptr : scene.Cube().Vertices->Buffer();
  const void* indices = AStatic ? nullptr : scene.Cube().Indices->Buffer();
  const int64_t start = GAllocations.load();
  const int64_t drawsBefore = ContextShared().DrawCalls.load();
  for (auto _ : AState) {
    scene.Context().BeginSceneRendering();
    for (int draw = 0; draw < DrawsPerIteration; ++draw) {
      if (AStatic)
        scene.Context().SetCurrentCache(mesh.get());
      scene.DrawCube(vertices, indices);
    }
    scene.Context().EndSceneRendering();
    glFinish();
  }
  CountAllocations(AState, start);
  ReportPerDraw(AState);
  // Every call must have reached the GPU, so the time is that of real draws.
  if (ContextShared().DrawCalls.load() - drawsBefore != int64_t(AState.iterations()) * DrawsPerIteration)
    AState.SkipWithError("the framework did not draw every call");
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the framework's draws");
}

void RawDraws(benchmark::State& AState, bool AStatic) {
  TDrawScene scene(DrawTarget, DrawTarget);
  GLuint program = 0;
  const GLuint framebuffer = scene.FrameBufferAndProgram(program);
  const GLint mvpLocation = glGetUniformLocation(program, "_MVPMatrix");
  scene.Context().BeginSceneRendering();
  const TMatrix3D mvp = scene.Context().CurrentModelViewProjectionMatrix().Transpose();
  scene.Context().EndSceneRendering();
  const TCube& cube = scene.Cube();
  GLuint buffers[2] = {};
  glGenBuffers(2, buffers);
  glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
  glBufferData(GL_ARRAY_BUFFER, cube.Vertices->Size(), cube.Vertices->Buffer(), GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, cube.Indices->Size(), cube.Indices->Buffer(), GL_STATIC_DRAW);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  const auto stride = GLsizei(cube.Vertices->VertexSize());
  const uint8_t* vertices = AStatic ? nullptr : cube.Vertices->Buffer();
  const void* indices = AStatic ? nullptr : cube.Indices->Buffer();
  const int64_t start = GAllocations.load();
  for (auto _ : AState) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, DrawTarget, DrawTarget);
    for (int draw = 0; draw < DrawsPerIteration; ++draw) {
      glUseProgram(program);
      glUniform4fv(mvpLocation, 4, reinterpret_cast<const GLfloat*>(&mvp));
      if (AStatic) {
        glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
      }
      glEnableVertexAttribArray(0);
      glEnableVertexAttribArray(1);
      glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, vertices);
      glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, vertices + 12);
      glDrawElements(GL_TRIANGLES, cube.Indices->Length(), GL_UNSIGNED_SHORT, indices);
      glDisableVertexAttribArray(0);
      glDisableVertexAttribArray(1);
      if (AStatic) {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
      }
      glUseProgram(0);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glFinish();
  }
  CountAllocations(AState, start);
  ReportPerDraw(AState);
  glDeleteBuffers(2, buffers);
  glDeleteProgram(program);
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the raw draws");
}

void BM_DrawClient_Framework(benchmark::State& AState) {
  FrameworkDraws(AState, false);
}
void BM_DrawClient_Raw(benchmark::State& AState) {
  RawDraws(AState, false);
}
void BM_DrawStatic_Framework(benchmark::State& AState) {
  FrameworkDraws(AState, true);
}
void BM_DrawStatic_Raw(benchmark::State& AState) {
  RawDraws(AState, true);
}

// ---- Read-back --------------------------------------------------------------------------------------

constexpr std::array<std::pair<int32_t, int32_t>, 2> ReadSizes{{{640, 480}, {1920, 1080}}};

// Draws one cube so the target holds an image, then leaves the scene.
void DrawOneFrame(TDrawScene& AScene) {
  AScene.Context().BeginSceneRendering();
  AScene.Context().Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF202020, 1, 0);
  AScene.DrawCube(AScene.Cube().Vertices->Buffer(), AScene.Cube().Indices->Buffer());
  AScene.Context().EndSceneRendering();
}

void BM_ReadBack_Framework(benchmark::State& AState) {
  const auto [width, height] = ReadSizes[size_t(AState.range(0))];
  TDrawScene scene(width, height);
  DrawOneFrame(scene);
  TBitmap bitmap(width, height);
  TBitmapData data;
  if (!bitmap.Map(TMapAccess::Write, data)) {
    AState.SkipWithError("the bitmap does not map");
    return;
  }
  const TRect rect(0, 0, width, height);
  // The first read sizes the context's scratch buffer; the timed loop measures the steady state.
  scene.Context().CopyToBits(data.Data, data.Pitch, rect);
  const int64_t start = GAllocations.load();
  for (auto _ : AState) {
    scene.Context().CopyToBits(data.Data, data.Pitch, rect);
    benchmark::DoNotOptimize(data.Data);
  }
  CountAllocations(AState, start);
  bitmap.Unmap(data);
  AState.SetBytesProcessed(AState.iterations() * int64_t(width) * height * 4);
}

void BM_ReadBack_Raw(benchmark::State& AState) {
  const auto [width, height] = ReadSizes[size_t(AState.range(0))];
  TDrawScene scene(width, height);
  DrawOneFrame(scene);
  GLuint program = 0;
  const GLuint framebuffer = scene.FrameBufferAndProgram(program);
  glDeleteProgram(program);
  std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  const int64_t start = GAllocations.load();
  for (auto _ : AState) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    benchmark::DoNotOptimize(pixels.data());
  }
  CountAllocations(AState, start);
  AState.SetBytesProcessed(AState.iterations() * int64_t(width) * height * 4);
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the raw read-back");
}

// ---- Report -----------------------------------------------------------------------------------------

void RegisterPair(const char* ACase, void (*AOurs)(benchmark::State&), void (*APeer)(benchmark::State&),
                  const std::vector<int64_t>& AArguments) {
  for (int64_t argument : AArguments)
    for (auto [suffix, function] : {std::pair{"_Framework", AOurs}, std::pair{"_Raw", APeer}})
      benchmark::RegisterBenchmark((std::string("BM_") + ACase + suffix).c_str(), function)
          ->Arg(argument)
          ->Unit(benchmark::kMicrosecond)
          ->UseRealTime();
}

class TRatioReporter : public vbench::TPairReporter {
public:
  // Prints the framework's time over the peer's, each divided by APerIteration (the draws per
  // iteration, or 1).
  void PrintRatio(const std::string& ACase, const std::string& AArgument, const char* ALabel,
                  double APerIteration) const {
    const auto times = Times(ACase, AArgument);
    if (!times)
      return;
    const auto [ours, peer] = *times;
    std::printf("  %-11s %-10s %9.3f us / %9.3f us = %.2f\n", ACase.c_str(), ALabel, ours / APerIteration,
                peer / APerIteration, ours / peer);
  }
};

} // namespace

int main(int argc, char** argv) {
  vantrel::InitializeContextWindows();
  if (!vantrel::TContextOpenGLWindows::StaticClass().Valid()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  RegisterPair("DrawClient", BM_DrawClient_Framework, BM_DrawClient_Raw, {0});
  RegisterPair("DrawStatic", BM_DrawStatic_Framework, BM_DrawStatic_Raw, {0});
  RegisterPair("ReadBack", BM_ReadBack_Framework, BM_ReadBack_Raw, {0, 1});
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nFramework time / raw peer time, same run (expect draws within about 3, read-back near 1):\n");
  std::printf("  per draw:\n");
  reporter.PrintRatio("DrawClient", "0", "16x16", DrawsPerIteration);
  reporter.PrintRatio("DrawStatic", "0", "16x16", DrawsPerIteration);
  std::printf("  per read:\n");
  reporter.PrintRatio("ReadBack", "0", "640x480", 1);
  reporter.PrintRatio("ReadBack", "1", "1920x1080", 1);
  return 0;
}
