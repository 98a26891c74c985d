// The voxelisation pass against one raw draw of the same triangles, the voxel volume's memory
// against its expected size, and the cost of a frame with global illumination, on the shared EGL
// context.
//   Voxelize/1, /2  Framework: one run of the user-placed voxel pass's entry (eight cascades, the
//                   clear and the barrier) as the frame's pre-pass step runs it, then glFinish;
//                   VoxelSize 32 (detail 1) and 64 (detail 2).
//                   Raw: the same 10,000 triangles from one vertex buffer, drawn once with a
//                   position-only program into a VoxelSize x VoxelSize frame buffer, then glFinish.
//   Clear/1, /2     The volume's clear alone (glClearTexImage), then glFinish; no peer.
//   GlobalIllum/0, /1  A whole 128 x 96 frame at detail 1 with one light and ReflectionStrength 0
//                   and 1; no peer (llvmpipe runs the cones on the CPU; the figure is for the notes).
// Printed after the timings, each row from a child process of its own: the volume's expected
// bytes, GL's level size x 4 and the growth of VmRSS while the pass is made, while its volume is
// made at the first use (llvmpipe zeroes a texture's storage when it allocates it, so the whole
// volume is resident from then on) and across the pass's first frame, for details 1 to 3 (4 and 5
// with --big); the resident growth of a composite renderer at detail 0 and the time and peak RSS of
// one resize. A row above its expected memory fails the run.
// Checked at the end: the pass wrote voxels and the raw draw shaded fragments.
// Memory: the scene's arrays and the raw side's buffers are made before the timed loops. The
// allocator regime is printed by vbench::Initialize.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "pass_scene.h"
#include "rendering/Vantrel.Controller.Passes.GlobalIllumination.h"
#include "rendering/Vantrel.Controller.Passes.Voxelize.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "scene/Vantrel.Light.h"
#include "support/bench_setup.h"
#include "support/gl_start.h"
#include "support/pair_reporter.h"

namespace {

using namespace vantrel;

constexpr int TriangleCount = 10000;
constexpr int WarmUp = 2;
constexpr double RatioGoal = 16;

// "VmRSS" or "VmHWM" of this process in KiB.
long StatusKiB(const char* AKey) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(AKey, 0) == 0)
      return std::atol(line.c_str() + std::strlen(AKey) + 1);
  return 0;
}

// 10,000 small triangles within +-6 units of the origin, the voxel volume's focus.
std::vector<TPoint3D> SmallTriangles() {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> place(-6, 6), offset(-0.3f, 0.3f);
  std::vector<TPoint3D> points;
  for (int i = 0; i < TriangleCount; ++i) {
    const TPoint3D centre{place(random), place(random), place(random)};
    for (int k = 0; k < 3; ++k)
      points.push_back({centre.X + offset(random), centre.Y + offset(random), centre.Z + offset(random)});
  }
  return points;
}

// A viewport with a user camera at (0, 0, -10) and the triangles in one mesh.
class TVoxelScene : public vbench::TViewportScene {
public:
  TVoxelScene(int AWidth, int AHeight, const std::vector<TPoint3D>& APoints)
      : TViewportScene(AWidth, AHeight, {0, 0, -10}) {
    if (APoints.empty())
      return;
    std::vector<uint32_t> indices(APoints.size());
    for (size_t i = 0; i < indices.size(); ++i)
      indices[i] = uint32_t(i);
    auto* mesh = New<vbench::TBenchMesh>(FScene.get());
    mesh->SetParent(FViewport);
    mesh->Setup(APoints, indices, {0.6f, 0.6f, 0.6f, 1});
  }

  TVantrelRenderPassVoxelize* MakeVoxelPass(int32_t AVoxelSize) {
    auto* pass = MakePass<TVantrelRenderPassVoxelize>("vox");
    pass->SetVoxelSize(AVoxelSize);
    return pass;
  }
  // The pass's entry run as the frame's pre-pass step runs it, inside the canvas's scene.
  void RunPass(TVantrelRenderPassController& APass) {
    TRenderPass* entry = EntryOf(APass);
    TVantrelViewport& viewport = *FViewport;
    TRenderContext context = TRenderContext::Create(
        &MainContext(), &viewport,
        [&viewport](PRenderContext ARenderContext) { viewport.RenderOpaqueAndTranslucent(ARenderContext); },
        [&viewport](PRenderContext ARenderContext) { viewport.RenderRenderList(ARenderContext); });
    TCanvas* canvas = FViewport->Canvas();
    canvas->BeginScene();
    viewport.BuildRenderingList();
    MainContext().ExecuteRenderPass(entry, &context);
    canvas->EndScene();
    glFinish();
  }
};

// The peer: the same positions drawn once into a VoxelSize x VoxelSize target.
class TRawDraw {
public:
  TRawDraw(int ASize, const std::vector<TPoint3D>& APoints) : FSize(ASize), FCount(GLsizei(APoints.size())) {
    const char* vertex = "#version 430\nlayout(location = 0) in vec3 a_Position;\n"
                         "void main(){ gl_Position = vec4(a_Position / 8.0, 1.0); }\n";
    const char* fragment = "#version 430\nlayout(location = 0) out vec4 o_Color;\n"
                           "void main(){ o_Color = vec4(1.0); }\n";
    FProgram = glCreateProgram();
    for (auto [kind, text] : {std::pair{GLenum(GL_VERTEX_SHADER), vertex}, {GLenum(GL_FRAGMENT_SHADER), fragment}}) {
      const GLuint shader = glCreateShader(kind);
      glShaderSource(shader, 1, &text, nullptr);
      glCompileShader(shader);
      glAttachShader(FProgram, shader);
      glDeleteShader(shader);
    }
    glLinkProgram(FProgram);
    glGenVertexArrays(1, &FVao);
    glBindVertexArray(FVao);
    glGenBuffers(1, &FBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, FBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(APoints.size() * sizeof(TPoint3D)), APoints.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(TPoint3D), nullptr);
    glBindVertexArray(0);
    glGenTextures(1, &FTarget);
    glBindTexture(GL_TEXTURE_2D, FTarget);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, ASize, ASize, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &FFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, FTarget, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  ~TRawDraw() {
    glDeleteFramebuffers(1, &FFramebuffer);
    glDeleteTextures(1, &FTarget);
    glDeleteBuffers(1, &FBuffer);
    glDeleteVertexArrays(1, &FVao);
    glDeleteProgram(FProgram);
  }
  void Draw() {
    glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
    glViewport(0, 0, FSize, FSize);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glUseProgram(FProgram);
    glBindVertexArray(FVao);
    glDrawArrays(GL_TRIANGLES, 0, FCount);
    glBindVertexArray(0);
    glUseProgram(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glFinish();
  }
  // Fragments the draw shades, from a query around one draw.
  uint64_t Fragments() {
    GLuint query = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_SAMPLES_PASSED, query);
    Draw();
    glEndQuery(GL_SAMPLES_PASSED);
    GLuint64 samples = 0;
    glGetQueryObjectui64v(query, GL_QUERY_RESULT, &samples);
    glDeleteQueries(1, &query);
    return samples;
  }

private:
  int FSize;
  GLsizei FCount;
  GLuint FProgram = 0, FVao = 0, FBuffer = 0, FTarget = 0, FFramebuffer = 0;
};

struct TVoxelCase {
  std::unique_ptr<TVoxelScene> Scene;
  TVantrelRenderPassVoxelize* Pass = nullptr;
  std::unique_ptr<TRawDraw> Raw;
};

TVoxelCase* GCases[3] = {};
std::unique_ptr<TVoxelScene> GIScene;

void BM_Voxelize_Framework(benchmark::State& AState) {
  TVoxelCase& c = *GCases[AState.range(0)];
  for (auto _ : AState)
    c.Scene->RunPass(*c.Pass);
}

void BM_Voxelize_Raw(benchmark::State& AState) {
  TVoxelCase& c = *GCases[AState.range(0)];
  for (auto _ : AState)
    c.Raw->Draw();
}

void BM_Clear_Framework(benchmark::State& AState) {
  TVoxelCase& c = *GCases[AState.range(0)];
  auto* volume = dynamic_cast<TVantrelTexture*>(c.Pass->GetTexture3D());
  for (auto _ : AState) {
    volume->Clear();
    glFinish();
  }
}

void BM_GlobalIllum_Framework(benchmark::State& AState) {
  GIScene->Viewport().SetReflectionStrength(float(AState.range(0)));
  for (auto _ : AState)
    GIScene->Frame();
}

class TVoxelReporter : public vbench::TPairReporter {
public:
  bool Print() const {
    bool met = true;
    for (int detail : {1, 2}) {
      const auto pair = Times("Voxelize", std::to_string(detail));
      const auto clear = MedianTime("BM_Clear_Framework/" + std::to_string(detail) + "/real_time");
      if (!pair) {
        std::printf("  detail %d: not measured\n", detail);
        met = false;
        continue;
      }
      const double ratio = pair->Ours / pair->Peer;
      std::printf("  detail %d: voxel pass %7.2f ms (min %7.2f) / one raw draw %6.2f ms (min %6.2f) = %5.1f "
                  "(min %5.1f; expected at most %.0f); clear alone %5.2f ms\n",
                  detail, pair->Ours, pair->OursMin, pair->Peer, pair->PeerMin, ratio,
                  pair->OursMin / pair->PeerMin, RatioGoal, clear ? *clear : -1.0);
      met = met && ratio <= RatioGoal;
    }
    for (int reflection : {0, 1})
      if (const auto time =
              MedianTime("BM_GlobalIllum_Framework/" + std::to_string(reflection) + "/real_time"))
        std::printf("  128 x 96 frame at detail 1, one light, ReflectionStrength %d: %7.2f ms\n", reflection, *time);
    return met;
  }
};

void Register(const char* AName, void (*AFunction)(benchmark::State&), std::initializer_list<int> AArgs) {
  auto* benchmark = benchmark::RegisterBenchmark(AName, AFunction)->Unit(benchmark::kMillisecond)->UseRealTime();
  for (int arg : AArgs)
    benchmark->Arg(arg);
}

// One memory row, measured in a process of its own (see PrintVolumeMemory): printed as "row: ...".
// ADetail 1 to 5: after one frame of the viewport alone (its own programs and targets), the resident
// growth while the pass is made, while its volume is made at the first use, and across the pass's
// first frame (which links the voxel program); the first two against the volume's expected bytes,
// beside GL's level size x 4. The row fails when the pass and its volume take more than the
// expected bytes by over a tenth plus 1 MiB (the pass's renderer). ADetail 0: a composite renderer
// at detail 0, its resident growth, whether it made its volume, and the time and peak growth of one
// resize.
int MemoryRow(int ADetail, const std::vector<TPoint3D>& APoints) {
  vbench::SetAllocatorRegime();
  InitializeUnits();
  bool met = true;
  {
    if (ADetail == 0) {
      const long before = StatusKiB("VmRSS:");
      TVoxelScene scene(64, 64, {});
      scene.Frame();
      auto* renderer = dynamic_cast<TCompositeRenderer*>(scene.Viewport().MainPassRenderer());
      auto* pass = renderer ? dynamic_cast<TVantrelRenderPassVoxelize*>(
                                  renderer->GetInternalController(TInternalPassKind::Voxelize))
                            : nullptr;
      const bool made = pass && pass->Voxels();
      std::printf("row:   composite renderer at detail 0: RSS growth %.1f MiB (its volume %s)\n",
                  double(StatusKiB("VmRSS:") - before) / 1024.0, made ? "was made" : "is not made");
      met = !made;
      const long peakBefore = StatusKiB("VmHWM:");
      const auto start = std::chrono::steady_clock::now();
      scene.Viewport().SetSize(72, 64);
      const double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      std::printf("row:   one resize at detail 0: %.2f ms, peak RSS %+.1f MiB\n", ms,
                  double(StatusKiB("VmHWM:") - peakBefore) / 1024.0);
    } else {
      int32_t level = ADetail;
      const int32_t size = TVantrelRenderPassVoxelize::GetVoxelSizeFromDetail(nullptr, level);
      if (int64_t(size) * 8 > TVantrelContext::MaxTexture3DSize()) {
        std::printf("row:   detail %d: above the 3D texture limit\n", ADetail);
      } else {
        TVoxelScene scene(64, 64, APoints);
        scene.Frame();
        const long beforePass = StatusKiB("VmRSS:");
        auto* pass = scene.MakeVoxelPass(size);
        const long beforeVolume = StatusKiB("VmRSS:");
        const auto handle = GLuint(pass->GetTexture3D()->Handle());
        const long beforeFrame = StatusKiB("VmRSS:");
        GLint w = 0, h = 0, d = 0;
        glBindTexture(GL_TEXTURE_3D, handle);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &h);
        glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &d);
        glBindTexture(GL_TEXTURE_3D, 0);
        scene.Frame();
        const long after = StatusKiB("VmRSS:");
        const double expected = double(size) * size * 8 * size * 4 / 1048576.0;
        const double made = double(beforeVolume - beforePass) / 1024.0,
                     volume = double(beforeFrame - beforeVolume) / 1024.0,
                     frame = double(after - beforeFrame) / 1024.0;
        std::printf(
            "row:   detail %d (VoxelSize %3d): expected %7.1f MiB, GL %7.1f MiB, RSS growth: pass %5.1f "
            "MiB + volume %7.1f MiB (%.2f of expected); first frame %5.1f MiB\n",
            ADetail, size, expected, double(w) * h * d * 4 / 1048576.0, made, volume,
            (made + volume) / expected, frame);
        met = made + volume <= expected * 1.1 + 1.0;
      }
    }
  }
  FinalizeUnits();
  return met ? 0 : 1;
}

// Each row runs in a child process: in this process the memory freed by the timed cases stays
// mapped (the allocator regime), and a new volume would reuse those resident pages unseen.
bool PrintVolumeMemory(bool ABig) {
  bool done = true;
  // This program's own path: in the shell that popen starts, /proc/self/exe is the shell.
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::printf(
      "\nVolume memory, one process per row (expected VoxelSize^2 x 8 VoxelSize x 4 bytes; GL level size "
      "x 4; VmRSS growth while the pass is made, which makes no volume, while the volume is made at its "
      "first use, and across the pass's first frame, which links the voxel program):\n");
  for (int detail : {1, 2, 3, 4, 5, 0}) {
    if (detail >= 4 && !ABig)
      continue;
    const std::string command = "'" + self + "' --memory-row " + std::to_string(detail);
    std::fflush(stdout);
    FILE* child = popen(command.c_str(), "r");
    bool printed = false;
    char line[512];
    while (child && std::fgets(line, sizeof line, child))
      if (std::strncmp(line, "row: ", 5) == 0) {
        std::fputs(line + 5, stdout);
        printed = true;
      }
    const int status = child ? pclose(child) : -1;
    if (!printed || status != 0) {
      // A child that printed its row and ended with 1 missed its memory goal.
      std::printf("  detail %d: FAILED, %s (status %d)\n", detail,
                  printed ? "above the expected memory" : "the child process printed no row", status);
      done = false;
    }
  }
  return done;
}

} // namespace

int main(int argc, char** argv) {
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--memory-row")
    return MemoryRow(std::atoi(argv[2]), SmallTriangles());
  bool big = false;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--big") {
      big = true;
      for (int k = i; k + 1 < argc; ++k)
        argv[k] = argv[k + 1];
      --argc;
      break;
    }
  InitializeUnits();
  bool met = true;
  {
    const std::vector<TPoint3D> points = SmallTriangles();
    TVoxelCase cases[3];
    for (int detail : {1, 2}) {
      TVoxelCase& c = cases[detail];
      c.Scene = std::make_unique<TVoxelScene>(64, 64, points);
      c.Pass = c.Scene->MakeVoxelPass(detail == 1 ? 32 : 64);
      c.Raw = std::make_unique<TRawDraw>(c.Pass->GetVoxelSize(), points);
      for (int i = 0; i < WarmUp; ++i) {
        c.Scene->RunPass(*c.Pass);
        c.Raw->Draw();
      }
      GCases[detail] = &c;
    }
    GIScene = std::make_unique<TVoxelScene>(128, 96, points);
    auto* light = New<TVantrelLight>(nullptr);
    TOwned<TVantrelLight> ownedLight(light);
    light->SetParent(&GIScene->Viewport());
    light->RotationAngle()->SetY(180);
    GIScene->Viewport().SetGlobalIllumDetail(1);
    for (int i = 0; i < WarmUp; ++i)
      GIScene->Frame();

    Register("BM_Voxelize_Framework", BM_Voxelize_Framework, {1, 2});
    Register("BM_Voxelize_Raw", BM_Voxelize_Raw, {1, 2});
    Register("BM_Clear_Framework", BM_Clear_Framework, {1, 2});
    Register("BM_GlobalIllum_Framework", BM_GlobalIllum_Framework, {0, 1});
    vbench::Initialize(&argc, argv);
    TVoxelReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // What was timed happened: the pass wrote voxels and the raw draw shaded fragments.
    bool drawn = true;
    for (int detail : {1, 2}) {
      TVoxelCase& c = cases[detail];
      c.Scene->RunPass(*c.Pass);
      const GLint size = c.Pass->GetVoxelSize();
      std::vector<uint8_t> bytes(size_t(size) * size * size * 8 * 4);
      glBindTexture(GL_TEXTURE_3D, GLuint(c.Pass->GetTexture3D()->Handle()));
      glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
      glBindTexture(GL_TEXTURE_3D, 0);
      size_t written = 0;
      for (size_t i = 3; i < bytes.size(); i += 4)
        written += bytes[i] != 0;
      const uint64_t fragments = c.Raw->Fragments();
      std::printf("detail %d: %zu voxels written, raw draw shaded %llu fragments\n", detail, written,
                  (unsigned long long)fragments);
      drawn = drawn && written > 1000 && fragments > 0;
    }

    std::printf("\nVoxelisation of %d triangles, framework / one raw draw in the same run (median over "
                "repetitions, minimum beside it):\n",
                TriangleCount);
    met = reporter.Print();
    if (!drawn) {
      std::printf("FAILED: the pass wrote too few voxels or the raw draw shaded nothing\n");
      met = false;
    }
    light->SetParent(nullptr);
    ownedLight.reset();
    GIScene.reset();
    for (TVoxelCase& c : cases) {
      c.Raw.reset();
      c.Pass = nullptr;
      c.Scene.reset();
    }
    if (!PrintVolumeMemory(big))
      met = false;
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
