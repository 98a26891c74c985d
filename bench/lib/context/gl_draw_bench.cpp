// Per-draw CPU overhead and read-back of the OpenGL context against the plain calls they wrap, on
// the shared EGL context, each pair measured in the same run:
//   DrawClient  1000 DrawPrimitives of a 24-vertex / 36-index cube from client memory with an
//               unlit, untextured default material source (its twelve apply steps fill and push the
//               6352-byte block, and hand the model matrix over as the instance attribute), in one
//               scene bracket, then glFinish
//               vs the same linked program: glUseProgram, the block copy and its upload
//               (glBindBufferBase, glBufferData(6352)), the model matrix's instance buffer and
//               attributes, two vertex attribute pointers, glDrawElementsInstanced and the disables,
//               1000 times, then glFinish
//   DrawStatic  the same draws from a mesh buffer that is its own static buffer (vertices and
//               indices in GPU buffers), set as the current cache before each draw
//               vs the raw loop reading a VBO and an index buffer
//   ReadBack    CopyToBits into a mapped bitmap vs glReadPixels(BGRA) into a preallocated buffer,
//               at 640 x 480 (argument 0) and 1920 x 1080 (argument 1)
// The draw target is 16 x 16 so that rasterisation does not dominate; every draw benchmark clears
// it first and reads it back at the end, and fails when no pixel changed, so a draw that reaches
// the GPU without drawing cannot pass. Prints each pair's framework time over its peer's (median
// over the repetitions, minimum beside it) and fails when a goal is missed. Every operator new
// inside the timed loops is counted: the read-back's steady state should make none.
//
// With --draws=N --path=client|static|raw the program runs N draws of one path once, outside the
// benchmark library, inside RunDrawLoop: tools/bench-draw-instructions counts that function's
// instructions under callgrind.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/counting_new.h"
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
#include "materials/Vantrel.Material.Default.h"
#include "ui/bitmap.h"
#include "ui/material.h"
#include "ui/mesh_buffers.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

constexpr int32_t DrawTarget = 16;
constexpr int DrawsPerIteration = 1000;

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

// A context on a render-target texture, an unlit default material source and the cube.
class TDrawScene {
public:
  explicit TDrawScene(int32_t AWidth, int32_t AHeight) : FTexture(MakeOwned<TTexture>()), FCube(MakeCube()) {
    FTexture->SetSize(AWidth, AHeight);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(CheckedCast<TContextOpenGLWindows>(
        TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true)));
    FSource = MakeOwned<TVantrelDefaultMaterialSource>(nullptr);
    FSource->SetUseLighting(false);
    FSource->SetUseTexturing(false);
    FSource->SetDiffuse(0xFF80C040);
    FContext->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, 2.5f}, {0, 0, 0}, {0, 1, 0}));
    FContext->SetMatrix(TMatrix3D::Identity());
    FContext->SetCameraAngleOfView(90);
  }
  ~TDrawScene() {
    FSource.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    FContext.reset();
    FTexture.reset();
    TVantrelContext::ResetDrawCallDiagnostics();
  }

  TContextOpenGLWindows& Context() { return *FContext; }
  TVantrelDefaultMaterial* Material() { return FSource->DefaultMaterial(); }
  const TCube& Cube() const { return FCube; }

  void DrawCube(const void* AVertices, const void* AIndices) {
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, AVertices, AIndices,
                             FCube.Vertices->GetVertexDeclarations(), FCube.Vertices->VertexSize(),
                             FCube.Vertices->Length(), FCube.Indices->IndexSize(), FCube.Indices->Length(),
                             Material(), 1);
  }

  // The framebuffer the context draws into, for the raw peers; draws once so that the material's
  // program is linked, and returns that program (the context's) for the raw loop to use.
  GLuint FrameBufferAndProgram(GLuint& AProgram) {
    FContext->BeginSceneRendering();
    GLint framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    DrawCube(FCube.Vertices->Buffer(), FCube.Indices->Buffer());
    FContext->EndSceneRendering();
    TShaderProgram* program = TVantrelContext::GetProgram(Material()->VertexShader(), Material()->PixelShader());
    AProgram = program ? program->Prog() : 0;
    return GLuint(framebuffer);
  }

private:
  TOwned<TTexture> FTexture;
  TOwned<TContextOpenGLWindows> FContext;
  TOwned<TVantrelDefaultMaterialSource> FSource;
  TCube FCube;
};

void CountAllocations(benchmark::State& AState, int64_t AStart) {
  const auto iterations = double(AState.iterations() ? AState.iterations() : 1);
  AState.counters["allocs/iter"] = double(vbench::Allocations() - AStart) / iterations;
}

void ReportPerDraw(benchmark::State& AState) {
  AState.SetItemsProcessed(AState.iterations() * DrawsPerIteration);
}

// ---- Draw -------------------------------------------------------------------------------------------

// The framework from client memory or from a static mesh buffer, and the raw loops doing the same.
enum class TDrawPath { Client, Static, RawClient, RawStatic };

bool IsRaw(TDrawPath APath) {
  return APath == TDrawPath::RawClient || APath == TDrawPath::RawStatic;
}

// The framebuffer the scene's context draws into, cleared to transparent black.
GLuint ClearedTarget(TDrawScene& AScene, GLuint& AProgram) {
  const GLuint framebuffer = AScene.FrameBufferAndProgram(AProgram);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  return framebuffer;
}

// True when a pixel of the 16 x 16 target is no longer the clear colour.
bool TargetDrawn(GLuint AFramebuffer) {
  std::array<uint32_t, DrawTarget * DrawTarget> pixels{};
  glBindFramebuffer(GL_READ_FRAMEBUFFER, AFramebuffer);
  glReadPixels(0, 0, DrawTarget, DrawTarget, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  return std::ranges::any_of(pixels, [](uint32_t APixel) { return APixel != 0; });
}

// Everything one path needs to draw: the framework's scene and mesh, or the raw loop's program
// and buffers, all made before any draw is timed or counted.
class TDrawSetup {
public:
  explicit TDrawSetup(TDrawPath APath) : FPath(APath), FScene(DrawTarget, DrawTarget) {
    FFramebuffer = ClearedTarget(FScene, FProgram);
    if (IsRaw(APath))
      MakeRawBuffers();
    else
      MakeMesh();
  }
  ~TDrawSetup() {
    glDeleteBuffers(2, FBuffers);
    glDeleteBuffers(2, FRawBlocks);
  }
  TDrawSetup(const TDrawSetup&) = delete;
  TDrawSetup& operator=(const TDrawSetup&) = delete;

  GLuint Framebuffer() const { return FFramebuffer; }

  void Draws(int ACount) {
    if (IsRaw(FPath))
      RawDraws(ACount);
    else
      FrameworkDraws(ACount);
    glFinish();
  }

private:
  // The static path's mesh is its own static buffer: the draw reads vertices and indices from GPU
  // buffers, as a mesh loaded for drawing does.
  void MakeMesh() {
    FMesh = MakeOwned<TMeshBufferObject>();
    FMesh->SetStaticBuffer(FMesh.get());
    FMesh->PushData(TMeshBufferComponent::All, FScene.Cube().Vertices.get());
    FMesh->PushData(TMeshBufferComponent::Indices, FScene.Cube().Indices->Buffer(),
                    FScene.Cube().Indices->Size());
  }

  // The raw loop reads the block the framework's apply filled, and feeds the same program.
  void MakeRawBuffers() {
    FPrepared = FScene.Material()->GetShaderData();
    const TCube& cube = FScene.Cube();
    glGenBuffers(2, FBuffers);
    glBindBuffer(GL_ARRAY_BUFFER, FBuffers[0]);
    glBufferData(GL_ARRAY_BUFFER, cube.Vertices->Size(), cube.Vertices->Buffer(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, FBuffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, cube.Indices->Size(), cube.Indices->Buffer(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glGenBuffers(2, FRawBlocks);
  }

  void FrameworkDraws(int ACount) {
    const bool fromMesh = FPath == TDrawPath::Static;
    const void* vertices = fromMesh ? nullptr : FScene.Cube().Vertices->Buffer();
    const void* indices = fromMesh ? nullptr : FScene.Cube().Indices->Buffer();
    FScene.Context().BeginSceneRendering();
    for (int draw = 0; draw < ACount; ++draw) {
      if (fromMesh)
        FScene.Context().SetCurrentCache(FMesh.get());
      FScene.DrawCube(vertices, indices);
    }
    FScene.Context().EndSceneRendering();
  }

  // The raw peer of the framework's static draw reads the same two GPU buffers; of its client
  // draw, the cube's client memory. Per draw it does what the material and the draw add: the
  // block copy and upload, and the model matrix as a one-instance attribute.
  void RawDraws(int ACount) {
    const TCube& cube = FScene.Cube();
    const auto stride = GLsizei(cube.Vertices->VertexSize());
    const bool fromBuffers = FPath == TDrawPath::RawStatic;
    const uint8_t* vertices = fromBuffers ? nullptr : cube.Vertices->Buffer();
    const void* indices = fromBuffers ? nullptr : cube.Indices->Buffer();
    const TMatrix3D model = TMatrix3D::Identity();
    glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
    glViewport(0, 0, DrawTarget, DrawTarget);
    for (int draw = 0; draw < ACount; ++draw) {
      glUseProgram(FProgram);
      std::memcpy(&FBlock, &FPrepared, sizeof(FBlock));
      glBindBufferBase(GL_UNIFORM_BUFFER, 0, FRawBlocks[0]);
      glBufferData(GL_UNIFORM_BUFFER, sizeof(FBlock), &FBlock, GL_DYNAMIC_DRAW);
      glBindBuffer(GL_ARRAY_BUFFER, FRawBlocks[1]);
      glBufferData(GL_ARRAY_BUFFER, sizeof(model), &model, GL_DYNAMIC_DRAW);
      for (GLuint row = 0; row < 4; ++row) {
        glEnableVertexAttribArray(12 + row);
        glVertexAttribPointer(12 + row, 4, GL_FLOAT, GL_FALSE, sizeof(model),
                              reinterpret_cast<const void*>(uintptr_t(row * 16)));
        glVertexAttribDivisor(12 + row, 1);
      }
      glBindBuffer(GL_ARRAY_BUFFER, fromBuffers ? FBuffers[0] : 0);
      if (fromBuffers)
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, FBuffers[1]);
      glEnableVertexAttribArray(0);
      glEnableVertexAttribArray(1);
      glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, vertices);
      glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, vertices + 12);
      glDrawElementsInstanced(GL_TRIANGLES, cube.Indices->Length(), GL_UNSIGNED_SHORT, indices, 1);
      glDisableVertexAttribArray(0);
      glDisableVertexAttribArray(1);
      for (GLuint row = 0; row < 4; ++row) {
        glVertexAttribDivisor(12 + row, 0);
        glDisableVertexAttribArray(12 + row);
      }
      glBindBuffer(GL_ARRAY_BUFFER, 0);
      if (fromBuffers)
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
      glUseProgram(0);
    }
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }

  TDrawPath FPath;
  TDrawScene FScene;
  GLuint FProgram = 0;
  GLuint FFramebuffer = 0;
  TVantrelShaderData FPrepared = TVantrelShaderData::Create();
  TVantrelShaderData FBlock = TVantrelShaderData::Create();
  GLuint FBuffers[2] = {};
  GLuint FRawBlocks[2] = {};
  TOwned<TMeshBufferObject> FMesh;
};

// Fails the benchmark when the draws left the target as cleared, or left a GL error.
void CheckDrawn(benchmark::State& AState, const TDrawSetup& ASetup) {
  if (!TargetDrawn(ASetup.Framebuffer()))
    AState.SkipWithError("no pixel of the target changed: nothing was drawn");
  if (glGetError() != GL_NO_ERROR)
    AState.SkipWithError("GL error after the draws");
}

void Draws(benchmark::State& AState, TDrawPath APath) {
  TDrawSetup setup(APath);
  const int64_t start = vbench::Allocations();
  const int64_t drawsBefore = ContextShared().DrawCalls.load();
  for (auto _ : AState)
    setup.Draws(DrawsPerIteration);
  CountAllocations(AState, start);
  ReportPerDraw(AState);
  // Every framework call must have reached the GPU, so the time is that of real draws.
  if (!IsRaw(APath) &&
      ContextShared().DrawCalls.load() - drawsBefore != int64_t(AState.iterations()) * DrawsPerIteration)
    AState.SkipWithError("the framework did not draw every call");
  CheckDrawn(AState, setup);
}

void BM_DrawClient_Framework(benchmark::State& AState) {
  Draws(AState, TDrawPath::Client);
}
void BM_DrawClient_Raw(benchmark::State& AState) {
  Draws(AState, TDrawPath::RawClient);
}
void BM_DrawStatic_Framework(benchmark::State& AState) {
  Draws(AState, TDrawPath::Static);
}
void BM_DrawStatic_Raw(benchmark::State& AState) {
  Draws(AState, TDrawPath::RawStatic);
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
  const int64_t start = vbench::Allocations();
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
  std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  const int64_t start = vbench::Allocations();
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
  // iteration, or 1), with the ratio of the minima; false when the median ratio exceeds ALimit
  // (no limit when it is 0) or a side did not run.
  bool PrintRatio(const std::string& ACase, const std::string& AArgument, const char* ALabel,
                  double APerIteration, double ALimit) const {
    const auto times = Times(ACase, AArgument);
    if (!times) {
      std::printf("  %-11s %-10s not measured\n", ACase.c_str(), ALabel);
      return false;
    }
    const double ratio = times->Ours / times->Peer;
    const bool met = ALimit <= 0 || ratio <= ALimit;
    std::printf("  %-11s %-10s %9.3f us / %9.3f us = %.2f (min %.2f)", ACase.c_str(), ALabel,
                times->Ours / APerIteration, times->Peer / APerIteration, ratio,
                times->OursMin / times->PeerMin);
    if (ALimit > 0)
      std::printf("  (limit %.2f)%s", ALimit, met ? "" : "  OVER THE LIMIT");
    std::printf("\n");
    return met;
  }
};

// Runs ACount draws of one path once; callgrind counts this function's instructions.
[[gnu::noinline]] void RunDrawLoop(TDrawSetup& ASetup, int ACount) {
  ASetup.Draws(ACount);
}

// --draws=N --path=client|static|raw-client|raw-static: one loop outside the benchmark library.
// Returns -1 when the command line asks for none.
int RunInstructionMode(int argc, char** argv) {
  int draws = 0;
  std::string path;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument.starts_with("--draws="))
      draws = std::stoi(argument.substr(8));
    else if (argument.starts_with("--path="))
      path = argument.substr(7);
  }
  if (draws <= 0)
    return -1;
  const std::map<std::string, TDrawPath> paths{{"client", TDrawPath::Client},
                                               {"static", TDrawPath::Static},
                                               {"raw-client", TDrawPath::RawClient},
                                               {"raw-static", TDrawPath::RawStatic}};
  const auto found = paths.find(path);
  if (found == paths.end()) {
    std::printf("unknown --path=%s\n", path.c_str());
    return 2;
  }
  TDrawSetup setup(found->second);
  RunDrawLoop(setup, draws);
  if (!TargetDrawn(setup.Framebuffer()) || glGetError() != GL_NO_ERROR) {
    std::printf("%s: nothing was drawn, or a GL error is pending\n", path.c_str());
    return 1;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  vantrel::InitializeContextWindows();
  if (!vantrel::TContextOpenGLWindows::StaticClass().Valid()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  if (const int result = RunInstructionMode(argc, argv); result >= 0)
    return result;
  RegisterPair("DrawClient", BM_DrawClient_Framework, BM_DrawClient_Raw, {0});
  RegisterPair("DrawStatic", BM_DrawStatic_Framework, BM_DrawStatic_Raw, {0});
  RegisterPair("ReadBack", BM_ReadBack_Framework, BM_ReadBack_Raw, {0, 1});
  vbench::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nFramework time / raw peer time, same run (median over repetitions; draws for information, "
              "instructions per draw come from tools/bench-draw-instructions):\n");
  std::printf("  per draw:\n");
  bool met = reporter.PrintRatio("DrawClient", "0", "16x16", DrawsPerIteration, 0);
  met &= reporter.PrintRatio("DrawStatic", "0", "16x16", DrawsPerIteration, 0);
  std::printf("  per read:\n");
  met &= reporter.PrintRatio("ReadBack", "0", "640x480", 1, 1.1);
  met &= reporter.PrintRatio("ReadBack", "1", "1920x1080", 1, 1.1);
  return met ? 0 : 1;
}
