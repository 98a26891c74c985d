#pragma once
// A reporter for benchmarks that come in pairs, BM_<case>_Framework/<argument> and
// BM_<case>_Raw/<argument> (registered with real time): each side's median and minimum real time
// per iteration over the repetitions of this very run.

#include <optional>
#include <string>

#include "support/sample_reporter.h"

namespace vbench {

struct TPairTimes {
  double Ours;
  double Peer;
  double OursMin;
  double PeerMin;
};

class TPairReporter : public TSampleReporter {
protected:
  // The framework's and the raw peer's times of one case, when both ran.
  std::optional<TPairTimes> Times(const std::string& ACase, const std::string& AArgument) const {
    const std::string ours = "BM_" + ACase + "_Framework/" + AArgument + "/real_time";
    const std::string peer = "BM_" + ACase + "_Raw/" + AArgument + "/real_time";
    const auto oursTime = MedianTime(ours), peerTime = MedianTime(peer);
    if (!oursTime || !peerTime)
      return std::nullopt;
    return TPairTimes{*oursTime, *peerTime, *MinTime(ours), *MinTime(peer)};
  }
};

} // namespace vbench
