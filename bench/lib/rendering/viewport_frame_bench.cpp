// One empty-scene frame of a 640 x 480 viewport (forward renderer, FXAA 1, not fixed-rate) after
// 10 warm-up frames: the framework's frame (canvas scene, RenderFrame, end of scene, glFinish)
// against a raw GL peer that replays the GL work of a recorded framework frame
// (support/gl_frame_recorder.h): every buffer clear, the deferred composite and FXAA draws with
// their programs, uniform values, sampler textures, uniform-block contents and client vertex and
// index arrays, each with its frame buffer attachments, draw buffers and switches, and the BGRA
// read-back into a preallocated buffer, then glFinish. Checked: both shade the same number of
// fragments (at least two full targets) and read back the viewport's colour.
// Reported: microseconds per frame for both (median of 5 runs of 100 frames, minimum beside it),
// their ratio, and the minor page faults per steady frame over 200 frames.
//
// The viewport's bitmap, its read-back and the render list keep their storage between frames: the
// bitmap is made by the resize hook, the read-back maps it in place, and the list is cleared, not
// shrunk.

#include <epoxy/gl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "support/bench_setup.h"
#include "support/gl_frame_recorder.h"
#include "support/gl_start.h"
#include "ui/scene.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace vantrel;

constexpr int Width = 640;
constexpr int Height = 480;
constexpr int WarmUp = 10;
constexpr int Runs = 5;
constexpr int FramesPerRun = 100;
constexpr int FaultFrames = 200;
constexpr double RatioGoal = 1.2;

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Fragment-shader invocations of one run of AFrame: the peer must shade what the frame shades
// (a replayed draw through a wrong matrix would cover next to nothing).
template <class F> uint64_t FragmentsOf(F AFrame) {
  GLuint query = 0;
  glGenQueries(1, &query);
  glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, query);
  AFrame();
  glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
  GLuint64 fragments = 0;
  glGetQueryObjectui64v(query, GL_QUERY_RESULT, &fragments);
  glDeleteQueries(1, &query);
  return fragments;
}

template <class F> double MicrosPerFrame(F AFrame) {
  const auto start = Clock::now();
  for (int i = 0; i < FramesPerRun; ++i)
    AFrame();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / FramesPerRun;
}

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

} // namespace

int main() {
  vbench::SetAllocatorRegime();
  if (!vbench::StartDefaultGLContext())
    return 1;
  InitializeUnits();
  bool met = true;
  {
    TOwned<TCustomScene> scene = MakeOwned<TCustomScene>(nullptr);
    scene->SetSize(Width, Height);
    auto* viewport = New<TVantrelViewport>(scene.get());
    viewport->SetUseFixedFrameRate(false);
    viewport->SetColor(0xFF336699);
    TCanvas* canvas = viewport->Canvas();
    auto framework = [&] {
      canvas->BeginScene();
      viewport->RenderFrame();
      canvas->EndScene();
      glFinish();
    };
    for (int i = 0; i < WarmUp; ++i)
      framework();

    vbench::TGLFrameRecorder raw;
    raw.Record(framework);
    raw.Prepare();
    for (int i = 0; i < WarmUp; ++i)
      raw.Replay();
    const uint64_t ourFragments = FragmentsOf(framework);
    const uint64_t peerFragments = FragmentsOf([&] { raw.Replay(); });

    std::vector<double> ours, peer;
    for (int run = 0; run < Runs; ++run) {
      ours.push_back(MicrosPerFrame(framework));
      peer.push_back(MicrosPerFrame([&] { raw.Replay(); }));
    }
    const long faults0 = MinorFaults();
    for (int i = 0; i < FaultFrames; ++i)
      framework();
    const double faultsPerFrame = double(MinorFaults() - faults0) / FaultFrames;

    // What was timed happened: the frame's image is the viewport's colour.
    TBitmapData data;
    TAlphaColor corner = 0;
    if (viewport->Bitmap()->Map(TMapAccess::Read, data)) {
      corner = data.GetPixel(0, 0);
      viewport->Bitmap()->Unmap(data);
    }
    const bool drawn = corner == 0xFF336699 && raw.Programs() >= 2 && raw.ReadBacks() == 1;
    const std::vector<uint8_t>& peerPixels = raw.Pixels();
    const bool peerColour = peerPixels.size() >= 4 && peerPixels[0] == 0x99 && peerPixels[1] == 0x66 &&
                            peerPixels[2] == 0x33 && peerPixels[3] == 0xFF;
    const bool same =
        peerFragments == ourFragments && ourFragments >= uint64_t(2) * Width * Height && peerColour;

    const double ratio = Median(ours) / Median(peer);
    std::printf("viewport frame, empty scene, %d x %d, forward renderer, FXAA 1 (median of %d runs of %d frames, "
                "minimum in brackets):\n",
                Width, Height, Runs, FramesPerRun);
    std::printf("  framework  %9.1f (%9.1f) us per frame\n", Median(ours), *std::min_element(ours.begin(), ours.end()));
    std::printf("  raw GL     %9.1f (%9.1f) us per frame (replay of %zu clears, %zu draws through %zu programs, "
                "%zu read-back)\n",
                Median(peer), *std::min_element(peer.begin(), peer.end()), raw.Clears(), raw.Draws(), raw.Programs(),
                raw.ReadBacks());
    std::printf("  fragments shaded per frame: framework %llu, raw %llu\n", (unsigned long long)ourFragments,
                (unsigned long long)peerFragments);
    std::printf("  ratio framework / raw: %.2f (goal %.1f)\n", ratio, RatioGoal);
    std::printf("  minor page faults per steady frame: %.2f (goal 0)\n", faultsPerFrame);
    if (!drawn)
      std::printf("FAILED: the frame did not produce the viewport's colour (corner %08X) or made no programs\n",
                  corner);
    if (!same)
      std::printf("FAILED: the replay does not shade what the frame shades or read back its colour\n");
    met = drawn && same && ratio <= RatioGoal && faultsPerFrame == 0;
    raw.Release();
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
