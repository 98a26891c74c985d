#pragma once
// A console reporter that keeps every repetition's real time per iteration (and items per second)
// of each run, so the ratios a program prints come from this very run: the median over the
// repetitions stands for a benchmark, and the minimum is printed beside it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vbench {

class TSampleReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& ARuns) override {
    for (const Run& run : ARuns) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration)
        continue;
      TSamples& samples = FSamples[run.benchmark_name()];
      samples.Times.push_back(run.GetAdjustedRealTime());
      if (const auto rate = run.counters.find("items_per_second"); rate != run.counters.end())
        samples.Rates.push_back(rate->second);
    }
    ConsoleReporter::ReportRuns(ARuns);
  }

  // Real time per iteration in the benchmark's unit; nothing when the run failed or was filtered.
  std::optional<double> MedianTime(const std::string& AName) const { return Median(AName, &TSamples::Times); }
  std::optional<double> MinTime(const std::string& AName) const {
    const auto found = FSamples.find(AName);
    if (found == FSamples.end() || found->second.Times.empty())
      return std::nullopt;
    return *std::ranges::min_element(found->second.Times);
  }
  std::optional<double> MedianRate(const std::string& AName) const { return Median(AName, &TSamples::Rates); }

private:
  struct TSamples {
    std::vector<double> Times;
    std::vector<double> Rates;
  };

  std::optional<double> Median(const std::string& AName, std::vector<double> TSamples::*AField) const {
    const auto found = FSamples.find(AName);
    if (found == FSamples.end() || (found->second.*AField).empty())
      return std::nullopt;
    std::vector<double> values = found->second.*AField;
    std::ranges::sort(values);
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
  }

  std::map<std::string, TSamples> FSamples;
};

} // namespace vbench
