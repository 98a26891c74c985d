// One form frame at 640 x 480 on the CPU side: invalidate, one loop pass that paints the form's
// canvas (the white fill) and presents it in a window (SDL's dummy video driver, a real blit into
// the window surface). Peers measured in the same run: a 640 x 480 fill of the canvas bytes and a
// copy of them (the floor of any paint and of any present). Also counts the allocations per frame
// after warm-up, which must be 0: the canvas, the SDL surface wrapper and the window surface are
// reused.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "present/presenter.h"
#include "support/aggregate_reporter.h"
#include "support/bench_setup.h"
#include "support/counting_new.h"
#include "ui/application.h"
#include "ui/fmx_object.h"
#include "ui/forms.h"

namespace {

constexpr int Width = 640;
constexpr int Height = 480;

ui::TCustomForm* GForm = nullptr;
bool GFailed = false;

void Fail(const std::string& AMessage) {
  std::printf("FAILED: %s\n", AMessage.c_str());
  GFailed = true;
}

void FormFrame(benchmark::State& AState) {
  for (auto _ : AState) {
    GForm->Invalidate();
    ui::Application().ProcessMessages();
  }
  if (GForm->PaintPending())
    AState.SkipWithError("the form did not paint");
}

void FillFloor(benchmark::State& AState) {
  std::vector<uint32_t> pixels(Width * Height);
  uint32_t value = 0xFFFFFFFF;
  for (auto _ : AState) {
    std::fill(pixels.begin(), pixels.end(), value);
    benchmark::DoNotOptimize(pixels.data());
    value ^= 1;
  }
}

void CopyFloor(benchmark::State& AState) {
  std::vector<uint32_t> source(Width * Height, 0xFFFFFFFF), target(Width * Height);
  for (auto _ : AState) {
    std::memcpy(target.data(), source.data(), source.size() * 4);
    benchmark::DoNotOptimize(target.data());
  }
}

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ui::RegisterFmxClasses();
  rtl::TOwned<ui::TCustomForm> form(ui::TCustomForm::CreateNew(ui::TForm::StaticClass(), nullptr));
  GForm = form.get();
  form->SetClientWidth(Width);
  form->SetClientHeight(Height);
  ui::Application().SetPresentSettings(present::TPresentSettings{});
  ui::Application().ShowMainForm();
  if (!ui::Application().Presenter() || !ui::Application().Presenter()->IsWindowed())
    Fail("no window presenter under SDL's dummy video driver");

  // Warm-up, then the allocations of 100 frames.
  for (int i = 0; i < 30; ++i) {
    form->Invalidate();
    ui::Application().ProcessMessages();
  }
  const int64_t before = vbench::Allocations();
  for (int i = 0; i < 100; ++i) {
    form->Invalidate();
    ui::Application().ProcessMessages();
  }
  const double allocations = double(vbench::Allocations() - before) / 100;
  std::printf("allocations per form frame after warm-up: %.2f (goal 0)\n", allocations);
  if (allocations != 0)
    Fail("a form frame allocates");

  benchmark::RegisterBenchmark("FormFrame", FormFrame)->Apply(vbench::ConfigureAggregates);
  benchmark::RegisterBenchmark("FillFloor", FillFloor)->Apply(vbench::ConfigureAggregates);
  benchmark::RegisterBenchmark("CopyFloor", CopyFloor)->Apply(vbench::ConfigureAggregates);
  class TReporter : public vbench::TAggregateReporter {
  public:
    using TAggregateReporter::TAggregateReporter;
    void Summary() {
      const double frame = FMedian["FormFrame"], fill = FMedian["FillFloor"], copy = FMedian["CopyFloor"];
      std::printf("form frame %.3f ms (min %.3f): %.2fx a fill + a copy of the canvas (%.3f + %.3f ms)\n", frame,
                  FMinimum["FormFrame"], frame / (fill + copy), fill, copy);
    }
  } reporter(Fail);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Summary();

  form.reset();
  ui::Application().DestroyForms();
  ui::UnregisterFmxClasses();
  return GFailed ? 1 : 0;
}
