#pragma once
// A reporter that prints peer time / our time for pairs of benchmarks of this very run: the ratio
// of the medians over the repetitions, with the ratio of the minima beside it.

#include <cstdio>

#include "support/sample_reporter.h"

namespace vbench {

class TRatioReporter : public TSampleReporter {
public:
  // False when the median ratio stays below ATarget (or a side did not run).
  bool PrintRatio(const char* AOurs, const char* APeer, const char* AWhat, double ATarget) const {
    const auto ours = MedianTime(AOurs), peer = MedianTime(APeer);
    if (!ours || !peer) {
      std::printf("%s: not measured\n", AWhat);
      return false;
    }
    const double ratio = *peer / *ours;
    const double minRatio = *MinTime(APeer) / *MinTime(AOurs);
    std::printf(
        "%s: ours %.4g, peer %s %.4g (time per iteration), ratio %.3fx (min %.3fx, target >= %.2fx)%s\n",
        AWhat, *ours, APeer, *peer, ratio, minRatio, ATarget, ratio >= ATarget ? "" : "  BELOW TARGET");
    return ratio >= ATarget;
  }
};

} // namespace vbench
