// The environment pass's capture against the GL work it comes down to, on the shared EGL context,
// both measured in the same run: a dynamic pass at the origin capturing six 128 x 128 faces of a
// scene of 20 constant-colour quads and a box (forward renderer, deferred composite, no FXAA).
//   Capture/0 Framework: one run of the pass's entry through the viewport context's
//             ExecuteRenderPass (begin, six faces through the default rendering procedure with the
//             deferred composite, end with mipmaps), then glFinish.
//             Raw: the same GPU work replayed with the warmed pass renderer's own GL objects
//             (support/gl_frame_recorder.h, recorded from one framework run): per face the face
//             attached, the five attachments and depth cleared, the 20 quads and the box drawn with
//             their programs and matrix uploads, the composite quad drawn into the face with the
//             composite program and its block; then one glGenerateMipmap and glFinish.
// Checked at the end: both sides shade the same number of fragments, and both leave the same
// texels in the cube map's faces (the replay runs on a cleared cube map).
// Memory: the scene's arrays, the pass renderer's targets and the replay's copies are made before
// the timed loops; the framework's loop allocates only what a frame of the framework allocates.
// The allocator regime is printed by vbench::Initialize.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <vector>

#include "Vantrel.Units.h"
#include "pass_scene.h"
#include "rendering/Vantrel.Controller.Passes.Environment.h"
#include "support/bench_setup.h"
#include "support/gl_frame_recorder.h"
#include "support/gl_start.h"
#include "support/pair_reporter.h"

namespace {

using namespace vantrel;

constexpr int WarmUp = 5;
constexpr double RatioGoal = 2.0;

struct TCapture {
  std::unique_ptr<vbench::TPassScene> Scene;
  TVantrelRenderPassEnvironment* Pass = nullptr;
  TRenderPass* Entry = nullptr;
  vbench::TGLFrameRecorder Raw;
  GLuint Cube = 0;

  void Framework() {
    TVantrelViewport& viewport = Scene->Viewport();
    TRenderContext context = TRenderContext::Create(
        &Scene->MainContext(), &viewport,
        [&viewport](PRenderContext ARenderContext) { viewport.RenderOpaqueAndTranslucent(ARenderContext); },
        [&viewport](PRenderContext ARenderContext) { viewport.RenderRenderList(ARenderContext); });
    Scene->MainContext().ExecuteRenderPass(Entry, &context);
    glFinish();
  }
  void Replay() {
    Raw.Replay(false);
    glBindTexture(GL_TEXTURE_CUBE_MAP, Cube);
    glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glFinish();
  }
  // Level 0 of every face, as bytes.
  std::vector<uint8_t> Faces() const {
    std::vector<uint8_t> bytes(size_t(128) * 128 * 4 * 6);
    glBindTexture(GL_TEXTURE_CUBE_MAP, Cube);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int face = 0; face < 6; ++face)
      glGetTexImage(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                    bytes.data() + size_t(face) * 128 * 128 * 4);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return bytes;
  }
  void ClearCube() const {
    for (int level = 0; level < 8; ++level)
      glClearTexImage(Cube, level, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  }
};

TCapture* GCapture = nullptr;
uint64_t GFrameworkFragments = 0, GRawFragments = 0;
bool GSameFaces = false, GDrawn = false;

void BM_Capture_Framework(benchmark::State& AState) {
  for (auto _ : AState)
    GCapture->Framework();
}

void BM_Capture_Raw(benchmark::State& AState) {
  for (auto _ : AState)
    GCapture->Replay();
}

class TCaptureReporter : public vbench::TPairReporter {
public:
  bool Print() const {
    const auto times = Times("Capture", "0");
    if (!times) {
      std::printf("  Capture not measured\n");
      return false;
    }
    const double ratio = times->Ours / times->Peer;
    std::printf("  Capture  framework %8.1f us (min %8.1f) / raw %8.1f us (min %8.1f) per capture = %.2f "
                "(min %.2f; expected at most %.1f)\n",
                times->Ours * 1e3, times->OursMin * 1e3, times->Peer * 1e3, times->PeerMin * 1e3, ratio,
                times->OursMin / times->PeerMin, RatioGoal);
    return ratio <= RatioGoal;
  }
};

} // namespace

int main(int argc, char** argv) {
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  InitializeUnits();
  bool met = true;
  {
    TCapture capture;
    capture.Scene = std::make_unique<vbench::TPassScene>(64, TPoint3D{0, -5, -10}, true);
    capture.Pass = capture.Scene->MakePass<TVantrelRenderPassEnvironment>("Environment");
    for (int i = 0; i < WarmUp; ++i)
      capture.Scene->Frame();
    capture.Entry = capture.Scene->EntryOf(*capture.Pass);
    capture.Cube = GLuint(capture.Pass->GetOutputTexture()->Handle());
    for (int i = 0; i < WarmUp; ++i)
      capture.Framework();
    capture.Raw.Record([&] { capture.Framework(); });
    capture.Raw.Prepare();
    for (int i = 0; i < WarmUp; ++i)
      capture.Replay();
    GCapture = &capture;

    benchmark::RegisterBenchmark("BM_Capture_Framework", BM_Capture_Framework)
        ->Arg(0)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_Capture_Raw", BM_Capture_Raw)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
    vbench::Initialize(&argc, argv);
    TCaptureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // What was timed happened: the same fragments, the same faces.
    GFrameworkFragments = vbench::FragmentsOf([&] { capture.Framework(); });
    const std::vector<uint8_t> ours = capture.Faces();
    capture.ClearCube();
    GRawFragments = vbench::FragmentsOf([&] { capture.Replay(); });
    const std::vector<uint8_t> peer = capture.Faces();
    GSameFaces = ours == peer;
    size_t lit = 0;
    for (size_t i = 0; i < ours.size(); i += 4)
      lit += ours[i] != 0 || ours[i + 1] != 0 || ours[i + 2] != 0;
    GDrawn = lit == ours.size() / 4 && capture.Raw.Draws() >= 6 * 22 && capture.Raw.Clears() >= 6 * 6;

    std::printf("\nEnvironment capture, six 128 x 128 faces, 20 quads and a box, framework / raw GL in the same "
                "run (median over repetitions, minimum beside it):\n");
    met = reporter.Print();
    std::printf("  replay: %zu clears, %zu draws through %zu programs, then glGenerateMipmap\n", capture.Raw.Clears(),
                capture.Raw.Draws(), capture.Raw.Programs());
    std::printf("  fragments per capture: framework %llu, raw %llu\n", (unsigned long long)GFrameworkFragments,
                (unsigned long long)GRawFragments);
    if (!GDrawn) {
      std::printf("FAILED: the capture did not cover every texel of the six faces or drew too little\n");
      met = false;
    }
    if (!GSameFaces || GFrameworkFragments != GRawFragments) {
      std::printf("FAILED: the replay does not shade what the capture shades or leaves other faces\n");
      met = false;
    }
    capture.Raw.Release();
    capture.Pass = nullptr;
    capture.Scene.reset();
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
