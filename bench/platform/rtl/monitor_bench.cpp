// An uncontended TMonitor Enter/Exit pair on an object whose monitor already exists, against a
// std::recursive_mutex lock/unlock pair, in the same run. Every operator new inside the timed loop
// is counted: the pair must allocate nothing (the object's slot is made at its first Enter, before
// timing), and the program fails when it does.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/counting_new.h"
#include "support/ratio_reporter.h"

#include <cstdio>
#include <mutex>

#include "rtl/object.h"
#include "rtl/sync.h"

namespace {

class TPlain : public rtl::TObject {};

int64_t GAllocationsInPairs = 0;

void BM_MonitorPair_Ours(benchmark::State& AState) {
  auto object = rtl::MakeOwned<TPlain>();
  rtl::TMonitor::Enter(object.get());
  rtl::TMonitor::Exit(object.get());
  const int64_t start = vbench::Allocations();
  for (auto _ : AState) {
    rtl::TMonitor::Enter(object.get());
    rtl::TMonitor::Exit(object.get());
  }
  GAllocationsInPairs += vbench::Allocations() - start;
  AState.counters["allocs/iter"] =
      double(vbench::Allocations() - start) / double(AState.iterations() ? AState.iterations() : 1);
}
BENCHMARK(BM_MonitorPair_Ours);

void BM_MonitorPair_RecursiveMutex(benchmark::State& AState) {
  std::recursive_mutex mutex;
  for (auto _ : AState) {
    mutex.lock();
    mutex.unlock();
  }
}
BENCHMARK(BM_MonitorPair_RecursiveMutex);

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.PrintRatio("BM_MonitorPair_Ours", "BM_MonitorPair_RecursiveMutex",
                      "uncontended monitor pair against a recursive mutex (for information)", 0);
  std::printf("allocations in the timed monitor pairs: %lld%s\n", static_cast<long long>(GAllocationsInPairs),
              GAllocationsInPairs == 0 ? "" : "  (must be none)");
  return GAllocationsInPairs == 0 ? 0 : 1;
}
