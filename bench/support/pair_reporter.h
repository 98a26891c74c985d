#pragma once
// A console reporter for benchmarks that come in pairs, BM_<case>_Framework/<argument> and
// BM_<case>_Raw/<argument> (registered with real time): it keeps each case's real time per
// iteration (the median with repetitions, else the single run) so ratios come from this very run.

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vbench {

class TPairReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& ARuns) override {
    for (const Run& run : ARuns) {
      if (run.error_occurred)
        continue;
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        FTimes[name] = run.GetAdjustedRealTime();
      else if (run.run_type == Run::RT_Iteration && run.repetitions <= 1)
        FTimes[name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(ARuns);
  }

protected:
  // The framework's and the raw peer's times of one case, when both ran.
  std::optional<std::pair<double, double>> Times(const std::string& ACase, const std::string& AArgument) const {
    const auto ours = FTimes.find("BM_" + ACase + "_Framework/" + AArgument + "/real_time");
    const auto peer = FTimes.find("BM_" + ACase + "_Raw/" + AArgument + "/real_time");
    if (ours == FTimes.end() || peer == FTimes.end())
      return std::nullopt;
    return std::make_pair(ours->second, peer->second);
  }

private:
  std::map<std::string, double> FTimes;
};

} // namespace vbench
