// A screenshot of a 1920 x 1080 viewport after one frame (the frame is not timed): MakeScreenshot
// against a raw glReadPixels(GL_BGRA) of a 1920 x 1080 RGBA8 frame buffer into a preallocated
// buffer, the physical limit of taking the same pixels off the GPU. Checked: the screenshot has
// the frame's size and colour and the read-back the frame buffer's colour.
// Reported: milliseconds per screenshot for both (median of 5 runs of 10, minimum in brackets),
// their ratio, the minor page faults per screenshot over 50 steady screenshots, and the
// milliseconds of saving the screenshot as PNG.

#include <epoxy/gl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/ioutils.h"
#include "support/bench_setup.h"
#include "support/gl_start.h"
#include "ui/scene.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace vantrel;

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int Runs = 5;
constexpr int ShotsPerRun = 10;
constexpr int FaultShots = 50;
constexpr double RatioGoal = 1.2;
constexpr TAlphaColor Fill = 0xFF336699;

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

template <class F> double MillisPerShot(F AShot) {
  const auto start = Clock::now();
  for (int i = 0; i < ShotsPerRun; ++i)
    AShot();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / ShotsPerRun;
}

double Median(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

double Min(const std::vector<double>& AValues) { return *std::min_element(AValues.begin(), AValues.end()); }

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
    viewport->SetColor(Fill);
    TCanvas* canvas = viewport->Canvas();
    canvas->BeginScene();
    viewport->RenderFrame();
    canvas->EndScene();
    glFinish();

    // The peer's frame buffer: the same size and format, cleared to the frame's colour.
    GLuint texture = 0, frameBuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, Width, Height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &frameBuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glViewport(0, 0, Width, Height);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    std::vector<uint8_t> pixels(size_t(Width) * Height * 4);
    auto raw = [&] {
      glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer);
      glPixelStorei(GL_PACK_ALIGNMENT, 4);
      glReadPixels(0, 0, Width, Height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    };
    auto framework = [&] { TOwned<TBitmap> shot(viewport->MakeScreenshot()); };
    framework();
    raw();

    std::vector<double> ours, peer;
    for (int run = 0; run < Runs; ++run) {
      ours.push_back(MillisPerShot(framework));
      peer.push_back(MillisPerShot(raw));
    }
    const long faults0 = MinorFaults();
    for (int i = 0; i < FaultShots; ++i)
      framework();
    const double faultsPerShot = double(MinorFaults() - faults0) / FaultShots;

    // What was timed happened: the screenshot is the frame, the read-back the frame buffer.
    TOwned<TBitmap> shot(viewport->MakeScreenshot());
    TBitmapData data;
    TAlphaColor centre = 0;
    if (shot->Map(TMapAccess::Read, data)) {
      centre = data.GetPixel(Width / 2, Height / 2);
      shot->Unmap(data);
    }
    const bool shotOk = shot->Width() == Width && shot->Height() == Height && centre == Fill;
    const bool rawOk = pixels[0] == 0x99 && pixels[1] == 0x66 && pixels[2] == 0x33 && pixels[3] == 0xFF;

    const std::string file = rtl::TPath::Combine(rtl::TPath::GetTempPath(), "vantrel-screenshot-bench.png");
    std::vector<double> png;
    for (int i = 0; i < 3; ++i) {
      const auto start = Clock::now();
      shot->SaveToFile(file);
      png.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::remove(file.c_str());

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &frameBuffer);
    glDeleteTextures(1, &texture);

    const double ratio = Median(ours) / Median(peer);
    std::printf("screenshot of a %d x %d viewport after one frame (median of %d runs of %d, minimum in brackets):\n",
                Width, Height, Runs, ShotsPerRun);
    std::printf("  framework MakeScreenshot  %8.3f (%8.3f) ms per screenshot\n", Median(ours), Min(ours));
    std::printf("  raw glReadPixels(BGRA)    %8.3f (%8.3f) ms per read-back\n", Median(peer), Min(peer));
    std::printf("  ratio framework / raw: %.2f (goal %.1f)\n", ratio, RatioGoal);
    std::printf("  minor page faults per steady screenshot: %.2f (goal 0)\n", faultsPerShot);
    std::printf("  SaveToFile as PNG: %.1f ms (median of 3, no peer)\n", Median(png));
    if (!shotOk)
      std::printf("FAILED: the screenshot is %d x %d with centre %08X, not the frame\n", shot->Width(), shot->Height(),
                  centre);
    if (!rawOk)
      std::printf("FAILED: the raw read-back did not return the frame buffer's colour (%02X %02X %02X %02X)\n",
                  pixels[0], pixels[1], pixels[2], pixels[3]);
    if (ratio > RatioGoal)
      std::printf("MISSED: ratio %.2f above the goal %.1f\n", ratio, RatioGoal);
    if (faultsPerShot != 0)
      std::printf("MISSED: %.2f minor page faults per screenshot\n", faultsPerShot);
    met = shotOk && rawOk && ratio <= RatioGoal && faultsPerShot == 0;
  }
  FinalizeUnits();
  return met ? 0 : 1;
}
