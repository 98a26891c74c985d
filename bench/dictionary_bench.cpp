// The insertion-ordered TDictionary against std::unordered_map, measured in the same run: insert,
// look up and remove one million string keys. Prints the time ratio for each operation and fails
// when the ordered dictionary is more than twice as slow as its peer.
//
// Memory: both containers use the default allocator and start empty (no reserve), so growth is
// part of the insert time. Keys are built once beforehand; they are short enough for the
// small-string buffer, so copying a key allocates nothing. Lookups and removals visit the keys in
// a shuffled order.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"
#include "support/sample_reporter.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "rtl/generics.h"

namespace {

constexpr int KeyCount = 1'000'000;
constexpr double AllowedRatio = 2.0;

const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> result;
    result.reserve(KeyCount);
    char digits[16];
    for (int i = 0; i < KeyCount; ++i) {
      const auto end = std::to_chars(digits, digits + sizeof(digits), i).ptr;
      result.push_back("node." + std::string(digits, end));
    }
    return result;
  }();
  return keys;
}

const std::vector<std::string>& ShuffledKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> result = Keys();
    std::shuffle(result.begin(), result.end(), std::mt19937(42));
    return result;
  }();
  return keys;
}

// The two containers behind one small interface.
struct TOrdered {
  rtl::TStringDictionary<int> Map;
  void Insert(const std::string& AKey, int AValue) { Map.Add(AKey, AValue); }
  const int* Find(const std::string& AKey) const { return Map.Find(AKey); }
  void Erase(const std::string& AKey) { Map.Remove(AKey); }
};
struct TUnordered {
  std::unordered_map<std::string, int> Map;
  void Insert(const std::string& AKey, int AValue) { Map.emplace(AKey, AValue); }
  const int* Find(const std::string& AKey) const {
    const auto found = Map.find(AKey);
    return found == Map.end() ? nullptr : &found->second;
  }
  void Erase(const std::string& AKey) { Map.erase(AKey); }
};

template <class TContainer> void Fill(TContainer& AContainer) {
  int value = 0;
  for (const std::string& key : Keys())
    AContainer.Insert(key, value++);
}

template <class TContainer> void BM_Insert(benchmark::State& AState) {
  for (auto _ : AState) {
    std::optional<TContainer> container(std::in_place);
    Fill(*container);
    benchmark::DoNotOptimize(container->Map);
    AState.PauseTiming();
    container.reset();
    AState.ResumeTiming();
  }
  AState.SetItemsProcessed(AState.iterations() * KeyCount);
}

template <class TContainer> void BM_Lookup(benchmark::State& AState) {
  TContainer container;
  Fill(container);
  for (auto _ : AState) {
    long long sum = 0;
    for (const std::string& key : ShuffledKeys())
      sum += *container.Find(key);
    benchmark::DoNotOptimize(sum);
  }
  AState.SetItemsProcessed(AState.iterations() * KeyCount);
}

template <class TContainer> void BM_Remove(benchmark::State& AState) {
  for (auto _ : AState) {
    AState.PauseTiming();
    std::optional<TContainer> container(std::in_place);
    Fill(*container);
    AState.ResumeTiming();
    for (const std::string& key : ShuffledKeys())
      container->Erase(key);
    benchmark::DoNotOptimize(container->Map);
    AState.PauseTiming();
    container.reset();
    AState.ResumeTiming();
  }
  AState.SetItemsProcessed(AState.iterations() * KeyCount);
}


void Register(const char* AOperation, void (*AOrdered)(benchmark::State&),
              void (*AUnordered)(benchmark::State&)) {
  benchmark::RegisterBenchmark((std::string(AOperation) + "/TDictionary").c_str(), AOrdered)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark((std::string(AOperation) + "/unordered_map").c_str(), AUnordered)
      ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
  Register("Insert", BM_Insert<TOrdered>, BM_Insert<TUnordered>);
  Register("Lookup", BM_Lookup<TOrdered>, BM_Lookup<TUnordered>);
  Register("Remove", BM_Remove<TOrdered>, BM_Remove<TUnordered>);
  vbench::Initialize(&argc, argv);
  Keys();
  ShuffledKeys();
  vbench::TSampleReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  bool withinLimit = true;
  std::printf("\nTDictionary / std::unordered_map, %d string keys (limit %.1fx):\n", KeyCount, AllowedRatio);
  for (const char* operation : {"Insert", "Lookup", "Remove"}) {
    const std::string ours = std::string(operation) + "/TDictionary";
    const std::string peer = std::string(operation) + "/unordered_map";
    const auto ordered = reporter.MedianTime(ours), unordered = reporter.MedianTime(peer);
    if (!ordered || !unordered) {
      withinLimit = false;
      continue;
    }
    const double ratio = *ordered / *unordered;
    withinLimit = withinLimit && ratio <= AllowedRatio;
    std::printf("  %-7s %.2fx (min %.2fx)%s\n", operation, ratio, *reporter.MinTime(ours) / *reporter.MinTime(peer),
                ratio <= AllowedRatio ? "" : "  OVER THE LIMIT");
  }
  return withinLimit ? 0 : 1;
}
