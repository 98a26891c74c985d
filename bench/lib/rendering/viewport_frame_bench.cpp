// One empty-scene frame of a 640 x 480 viewport (forward renderer, FXAA 1, not fixed-rate) after
// 10 warm-up frames: the framework's frame (canvas scene, RenderFrame, end of scene, glFinish)
// against a raw GL peer that replays the same GPU work with the warmed renderer's own GL objects:
// the G-buffer and translucent clears, one full-target quad through each program the frame made
// (the deferred composite and FXAA), glReadPixels BGRA into a preallocated buffer and glFinish.
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

struct TRaw {
  GLuint GBuffer = 0, Translucent = 0, Array = 0, Vertices = 0;
  std::vector<GLuint> Programs;
  std::vector<uint8_t> Pixels = std::vector<uint8_t>(size_t(Width) * Height * 4);

  void Frame() {
    glBindFramebuffer(GL_FRAMEBUFFER, Translucent);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, GBuffer);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, Width, Height);
    glBindVertexArray(Array);
    for (GLuint program : Programs) {
      glUseProgram(program);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    glBindVertexArray(0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, Width, Height, GL_BGRA, GL_UNSIGNED_BYTE, Pixels.data());
    glFinish();
  }
};

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

    TRaw raw;
    TRenderer* main = viewport->MainPassRenderer();
    raw.GBuffer = main->GetDefaultFrameBuf()->Handle();
    raw.Translucent = main->GetTranslucentBuf()->Handle();
    for (int32_t i = 0; i < TVantrelContext::ProgramCount(); ++i)
      raw.Programs.push_back(TVantrelContext::ProgramAt(i)->Prog());
    const float quad[] = {-1, -1, 0, 0, 1, -1, 1, 0, -1, 1, 0, 1, 1, 1, 1, 1};
    glGenVertexArrays(1, &raw.Array);
    glGenBuffers(1, &raw.Vertices);
    glBindVertexArray(raw.Array);
    glBindBuffer(GL_ARRAY_BUFFER, raw.Vertices);
    glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
    glEnableVertexAttribArray(6);
    glVertexAttribPointer(6, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(8));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    for (int i = 0; i < WarmUp; ++i)
      raw.Frame();

    std::vector<double> ours, peer;
    for (int run = 0; run < Runs; ++run) {
      ours.push_back(MicrosPerFrame(framework));
      peer.push_back(MicrosPerFrame([&] { raw.Frame(); }));
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
    const bool drawn = corner == 0xFF336699 && raw.Programs.size() >= 2;

    const double ratio = Median(ours) / Median(peer);
    std::printf("viewport frame, empty scene, %d x %d, forward renderer, FXAA 1 (median of %d runs of %d frames, "
                "minimum in brackets):\n",
                Width, Height, Runs, FramesPerRun);
    std::printf("  framework  %9.1f (%9.1f) us per frame\n", Median(ours), *std::min_element(ours.begin(), ours.end()));
    std::printf("  raw GL     %9.1f (%9.1f) us per frame (%zu programs replayed)\n", Median(peer),
                *std::min_element(peer.begin(), peer.end()), raw.Programs.size());
    std::printf("  ratio framework / raw: %.2f (goal %.1f)\n", ratio, RatioGoal);
    std::printf("  minor page faults per steady frame: %.2f (goal 0)\n", faultsPerFrame);
    if (!drawn)
      std::printf("FAILED: the frame did not produce the viewport's colour (corner %08X) or made no programs\n",
                  corner);
    met = drawn && ratio <= RatioGoal && faultsPerFrame == 0;
    glDeleteBuffers(1, &raw.Vertices);
    glDeleteVertexArrays(1, &raw.Array);
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
