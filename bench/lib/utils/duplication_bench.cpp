// Deep copies of control trees of 1,000 and 8,000 nodes through the duplicator. Each node refers
// to its next sibling, which is copied after it, so every reference waits in the late-resolve list
// until its source is copied: the time per node must not grow with the tree (a list walked on
// every mapping would make it quadratic). The run prints the time per node at 8,000 divided by
// the time per node at 1,000 (target <= 1.5).
//
// Shape: every node has up to 8 children (a balanced 8-ary tree), so owner and parent lists stay
// short and the measure is the duplicator's own work.
//
// Memory: the source tree is built once per size before timing; each iteration's copy is made
// with the system allocator inside the timed region and freed with PauseTiming. A node with its
// position objects and events takes about 2 KiB, so at 8,000 nodes source and copy no longer fit
// the caches, and the wall-clock ratio measures cache misses. `--nodes=N` instead duplicates a
// tree of N nodes once in `DuplicateOnce`, which tools/bench-duplication-instructions counts under
// callgrind at both sizes: the instructions per node show whether the work per node grows.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/fields.h"
#include "scene/Vantrel.Control.h"
#include "utils/Vantrel.Utils.Duplication.h"

namespace {

using namespace vantrel;

class TBenchNode : public TVantrelControl {
  RTL_CLASS(TBenchNode, TVantrelControl)
public:
  using TVantrelControl::TVantrelControl;
  TVantrelControl* FSibling = nullptr;
  static void RegisterFields() {
    rtl::RegisterFields(StaticClass(),
                        {ObjectField<&TBenchNode::FSibling>("FSibling", &TVantrelControl::StaticClass())});
  }
};
RTL_DEFINE_CLASS(TBenchNode, "Bench.Duplication")

constexpr int Fanout = 8;

// A tree of ACount nodes, breadth first; each node refers to the node made after it.
TOwned<TBenchNode> BuildTree(int ACount) {
  TOwned<TBenchNode> root(New<TBenchNode>(nullptr));
  std::vector<TBenchNode*> nodes{root.get()};
  for (int i = 1; i < ACount; ++i) {
    TBenchNode* parent = nodes[(i - 1) / Fanout];
    auto* node = New<TBenchNode>(parent);
    node->SetParent(parent);
    node->SetQualifiedName("n" + std::to_string(i));
    nodes.push_back(node);
  }
  for (size_t i = 0; i + 1 < nodes.size(); ++i)
    nodes[i]->FSibling = nodes[i + 1];
  return root;
}

void BM_Duplicate(benchmark::State& AState) {
  const int count = int(AState.range(0));
  TOwned<TBenchNode> source = BuildTree(count);
  for (auto _ : AState) {
    auto duplicator = MakeOwned<TVantrelDuplicator>();
    TComponent* copy = duplicator->Duplicate(source.get(), nullptr, {});
    benchmark::DoNotOptimize(copy);
    AState.PauseTiming();
    if (!duplicator->LateResolve().empty() && duplicator->LateResolve().size() != 1)
      AState.SkipWithError("references left unresolved");
    duplicator.reset();
    copy->Free();
    AState.ResumeTiming();
  }
  AState.counters["nodes"] = count;
}
BENCHMARK(BM_Duplicate)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond);

// The duplication whose instructions the callgrind script counts (kept out of line by name).
[[gnu::noinline]] TComponent* DuplicateOnce(TVantrelDuplicator& ADuplicator, TBenchNode* ASource) {
  return ADuplicator.Duplicate(ASource, nullptr, {});
}

// One copy of a tree of ANodes nodes; fails when references stay unresolved.
int DuplicateForCount(int ANodes) {
  TOwned<TBenchNode> source = BuildTree(ANodes);
  auto duplicator = MakeOwned<TVantrelDuplicator>();
  TComponent* copy = DuplicateOnce(*duplicator, source.get());
  const bool resolved = duplicator->LateResolve().size() <= 1;
  duplicator.reset();
  copy->Free();
  if (!resolved)
    std::fprintf(stderr, "references left unresolved\n");
  return resolved ? 0 : 1;
}

class TPerNodeReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& AReports) override {
    for (const Run& run : AReports)
      if (!run.error_occurred && run.run_type == Run::RT_Iteration)
        FPerNode[int(run.counters.at("nodes"))] = run.GetAdjustedRealTime() / run.counters.at("nodes");
    ConsoleReporter::ReportRuns(AReports);
  }
  void PrintRatio() const {
    if (!FPerNode.count(1000) || !FPerNode.count(8000))
      return;
    const double ratio = FPerNode.at(8000) / FPerNode.at(1000);
    std::printf("duplication: %.3f us per node at 1000, %.3f us at 8000, ratio %.3f (target <= 1.50)%s\n",
                FPerNode.at(1000) * 1000, FPerNode.at(8000) * 1000, ratio,
                ratio <= 1.5 ? "" : "  ABOVE TARGET");
  }

private:
  std::map<int, double> FPerNode;
};

} // namespace

int main(int argc, char** argv) {
  InitializeControl();
  TBenchNode::RegisterFields();
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]).starts_with("--nodes=")) {
      const int result = DuplicateForCount(std::atoi(argv[i] + 8));
      FinalizeControl();
      return result;
    }
  benchmark::Initialize(&argc, argv);
  TPerNodeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  FinalizeControl();
  return 0;
}
