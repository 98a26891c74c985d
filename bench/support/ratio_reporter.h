#pragma once
// A console reporter that keeps the time per iteration of every run, so each printed ratio comes
// from this very run. With repetitions the mean stands for a benchmark, else its single run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vbench {

class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& AReports) override {
    // With repetitions the mean stands for the benchmark, else its single run.
    for (const Run& run : AReports) {
      if (run.error_occurred)
        continue;
      const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
      if (mean || (run.run_type == Run::RT_Iteration && !FFromMean.count(run.run_name.function_name)))
        FSeconds[run.run_name.function_name] = run.GetAdjustedRealTime();
      if (mean)
        FFromMean.insert(run.run_name.function_name);
    }
    ConsoleReporter::ReportRuns(AReports);
  }
  // Prints peer time / our time for one pair of benchmarks of this run.
  void PrintRatio(const char* AOurs, const char* APeer, const char* AWhat, double ATarget) const {
    const auto ours = FSeconds.find(AOurs), peer = FSeconds.find(APeer);
    if (ours == FSeconds.end() || peer == FSeconds.end())
      return;
    const double ratio = peer->second / ours->second;
    std::printf("%s: ours %.2f ms, peer %s %.2f ms, ratio %.3fx (target >= %.2fx)%s\n", AWhat, ours->second,
                APeer, peer->second, ratio, ATarget, ratio >= ATarget ? "" : "  BELOW TARGET");
  }

private:
  std::map<std::string, double> FSeconds;
  std::set<std::string> FFromMean;
};

} // namespace vbench
