// A frame with the mirror pass against the GL work it comes down to, on the shared EGL context,
// each pair measured in the same run: a 256 x 256 viewport (forward renderer, FXAA 1) with the
// mirror pass and 20 constant-colour quads below the mirror, so the scene is drawn twice.
//   Reflection/0 Framework: the viewport's RenderFrame inside the canvas's scene, then glFinish.
//                Raw: the same GPU work replayed with the warmed renderers' own GL objects
//                (support/gl_frame_recorder.h, recorded from one framework frame): the pass's
//                G-buffer and composite, the main G-buffer, composite and FXAA, and the read-back
//                into a preallocated buffer, then glFinish.
//   Marginal/0   Framework: the same frame with the pass disabled; the pass's marginal cost is
//                Reflection framework minus this.
//                Raw: one scene render into the pass's targets (the pass's G-buffer and
//                composite, replayed from a recorded run of the pass's entry).
// Checked at the end: each replay shades as many fragments as the work it replays.
// Memory: the scene's arrays, the renderers' targets and the replays' copies are made before the
// timed loops; the framework's loop allocates only what a frame of the framework allocates. The
// allocator regime is printed by vbench::Initialize.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <vector>

#include "Vantrel.Units.h"
#include "pass_scene.h"
#include "rendering/Vantrel.Controller.Passes.Reflection.h"
#include "support/bench_setup.h"
#include "support/gl_frame_recorder.h"
#include "support/gl_start.h"
#include "support/pair_reporter.h"

namespace {

using namespace vantrel;

constexpr int Size = 256;
constexpr int WarmUp = 5;
constexpr double RatioGoal = 1.3;

struct TMirrorFrame {
  std::unique_ptr<vbench::TPassScene> Scene;
  TVantrelRenderPassReflection* Pass = nullptr;
  TRenderPass* Entry = nullptr;
  vbench::TGLFrameRecorder RawFrame;
  vbench::TGLFrameRecorder RawPass;

  void RunPass() {
    TVantrelViewport& viewport = Scene->Viewport();
    TRenderContext context = TRenderContext::Create(
        &Scene->MainContext(), &viewport,
        [&viewport](PRenderContext ARenderContext) { viewport.RenderOpaqueAndTranslucent(ARenderContext); },
        [&viewport](PRenderContext ARenderContext) { viewport.RenderRenderList(ARenderContext); });
    Scene->MainContext().ExecuteRenderPass(Entry, &context);
    glFinish();
  }
};

TMirrorFrame* GFrame = nullptr;

void BM_Reflection_Framework(benchmark::State& AState) {
  GFrame->Pass->SetEnabled(true);
  for (auto _ : AState)
    GFrame->Scene->Frame();
}

void BM_Reflection_Raw(benchmark::State& AState) {
  for (auto _ : AState)
    GFrame->RawFrame.Replay();
}

void BM_Marginal_Framework(benchmark::State& AState) {
  GFrame->Pass->SetEnabled(false);
  for (auto _ : AState)
    GFrame->Scene->Frame();
  GFrame->Pass->SetEnabled(true);
}

void BM_Marginal_Raw(benchmark::State& AState) {
  for (auto _ : AState)
    GFrame->RawPass.Replay();
}

class TMirrorReporter : public vbench::TPairReporter {
public:
  bool Print() const {
    const auto frame = Times("Reflection", "0");
    const auto marginal = Times("Marginal", "0");
    if (!frame || !marginal) {
      std::printf("  not measured\n");
      return false;
    }
    const double ratio = frame->Ours / frame->Peer;
    std::printf("  Reflection framework %8.1f us (min %8.1f) / raw %8.1f us (min %8.1f) per frame = %.2f "
                "(min %.2f; expected at most %.1f)\n",
                frame->Ours * 1e3, frame->OursMin * 1e3, frame->Peer * 1e3, frame->PeerMin * 1e3, ratio,
                frame->OursMin / frame->PeerMin, RatioGoal);
    const double added = frame->Ours - marginal->Ours;
    std::printf("  Marginal   frame with the pass %8.1f us - without %8.1f us = %8.1f us; one raw scene render "
                "into the pass's targets %8.1f us; ratio %.2f\n",
                frame->Ours * 1e3, marginal->Ours * 1e3, added * 1e3, marginal->Peer * 1e3,
                added / marginal->Peer);
    return ratio <= RatioGoal;
  }
};

void Register(const char* AName, void (*AFunction)(benchmark::State&)) {
  benchmark::RegisterBenchmark(AName, AFunction)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

int main(int argc, char** argv) {
  if (!vbench::StartDefaultGLContext()) {
    std::printf("no OpenGL 4.3 context; nothing measured\n");
    return 0;
  }
  InitializeUnits();
  bool met = true;
  {
    TMirrorFrame frame;
    frame.Scene = std::make_unique<vbench::TPassScene>(Size, TPoint3D{0, -5, -10}, false);
    frame.Pass = frame.Scene->MakePass<TVantrelRenderPassReflection>("Mirror");
    for (int i = 0; i < WarmUp; ++i)
      frame.Scene->Frame();
    frame.Entry = frame.Scene->EntryOf(*frame.Pass);
    frame.RawFrame.Record([&] { frame.Scene->Frame(); });
    frame.RawFrame.Prepare();
    frame.RawPass.Record([&] { frame.RunPass(); });
    frame.RawPass.Prepare();
    for (int i = 0; i < WarmUp; ++i) {
      frame.RawFrame.Replay();
      frame.RawPass.Replay();
    }
    GFrame = &frame;

    Register("BM_Reflection_Framework", BM_Reflection_Framework);
    Register("BM_Reflection_Raw", BM_Reflection_Raw);
    Register("BM_Marginal_Framework", BM_Marginal_Framework);
    Register("BM_Marginal_Raw", BM_Marginal_Raw);
    vbench::Initialize(&argc, argv);
    TMirrorReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // What was timed happened: each replay shades what it replays, and the pass drew the quads.
    const uint64_t frameFragments = vbench::FragmentsOf([&] { frame.Scene->Frame(); });
    const uint64_t rawFrameFragments = vbench::FragmentsOf([&] { frame.RawFrame.Replay(); });
    const uint64_t passFragments = vbench::FragmentsOf([&] { frame.RunPass(); });
    const uint64_t rawPassFragments = vbench::FragmentsOf([&] { frame.RawPass.Replay(); });
    // Two scene renders: at least two G-buffers and composites of the full target, and the quads.
    const bool drawn = frame.RawPass.Draws() >= 21 && frame.RawFrame.Draws() >= 2 * 21 + 1 &&
                       passFragments > uint64_t(Size) * Size && frame.RawFrame.ReadBacks() == 1;

    std::printf("\nMirror pass, %d x %d viewport, 20 quads, framework / raw GL in the same run (median over "
                "repetitions, minimum beside it):\n",
                Size, Size);
    met = reporter.Print();
    std::printf("  frame replay: %zu clears, %zu draws through %zu programs; pass replay: %zu clears, %zu draws\n",
                frame.RawFrame.Clears(), frame.RawFrame.Draws(), frame.RawFrame.Programs(), frame.RawPass.Clears(),
                frame.RawPass.Draws());
    std::printf("  fragments: frame %llu, raw frame %llu; pass %llu, raw pass %llu\n",
                (unsigned long long)frameFragments, (unsigned long long)rawFrameFragments,
                (unsigned long long)passFragments, (unsigned long long)rawPassFragments);
    if (!drawn) {
      std::printf("FAILED: the frame or the pass drew too little\n");
      met = false;
    }
    if (frameFragments != rawFrameFragments || passFragments != rawPassFragments) {
      std::printf("FAILED: a replay does not shade what it replays\n");
      met = false;
    }
    frame.RawFrame.Release();
    frame.RawPass.Release();
    frame.Pass = nullptr;
    frame.Scene.reset();
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
