#pragma once
// A console reporter for benchmarks registered with repetitions, aggregates only and a "min"
// statistic: keeps each benchmark's median and minimum real time of this run by function name,
// and hands every failed run to the program's own failure handler.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vbench {

// Five repetitions of real time in milliseconds, reported as aggregates with the minimum added:
// the registration TAggregateReporter reads.
inline void ConfigureAggregates(benchmark::internal::Benchmark* ABenchmark) {
  ABenchmark->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MinTime(0.2)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true)
      ->ComputeStatistics("min", [](const std::vector<double>& ATimes) {
        return *std::min_element(ATimes.begin(), ATimes.end());
      });
}

class TAggregateReporter : public benchmark::ConsoleReporter {
public:
  explicit TAggregateReporter(std::function<void(const std::string&)> AOnError)
      : FOnError(std::move(AOnError)) {}

  void ReportRuns(const std::vector<Run>& ARuns) override {
    for (const Run& run : ARuns) {
      if (run.error_occurred) {
        FOnError(run.benchmark_name() + ": " + run.error_message);
        continue;
      }
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        FMedian[run.run_name.function_name] = run.GetAdjustedRealTime();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
        FMinimum[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(ARuns);
  }

protected:
  std::map<std::string, double> FMedian, FMinimum;

private:
  std::function<void(const std::string&)> FOnError;
};

} // namespace vbench
