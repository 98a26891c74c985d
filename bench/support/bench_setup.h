#pragma once
// What every benchmark program does before it measures: one allocator regime, printed, and five
// repetitions of each benchmark unless the command line asks for another count.
//
// The regime: glibc's malloc keeps freed memory mapped (no trimming at the top of the heap, no
// separate mapping for large blocks), so a program that frees and allocates again reuses warm
// pages on both sides of a ratio. With the default trimming a 10 MB parse was bound by page faults
// (about 6,800 per parse), and a ratio measured the kernel instead of the code.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace vbench {

inline constexpr int TrimThreshold = 512 << 20;
inline constexpr int MmapThreshold = 512 << 20;
inline constexpr const char* DefaultRepetitions = "--benchmark_repetitions=5";

inline void SetAllocatorRegime() {
  mallopt(M_TRIM_THRESHOLD, TrimThreshold);
  mallopt(M_MMAP_THRESHOLD, MmapThreshold);
  std::printf("allocator: glibc malloc, M_TRIM_THRESHOLD %d MiB, M_MMAP_THRESHOLD %d MiB (freed memory stays "
              "mapped)\n",
              TrimThreshold >> 20, MmapThreshold >> 20);
}

// Sets the regime, then initialises the benchmark library with the repetitions added when the
// command line names none.
inline void Initialize(int* AArgc, char** AArgv) {
  SetAllocatorRegime();
  static std::vector<char*> arguments(AArgv, AArgv + *AArgc);
  bool repetitions = false;
  for (char* argument : arguments)
    repetitions = repetitions || std::strncmp(argument, "--benchmark_repetitions", 23) == 0;
  if (!repetitions)
    arguments.push_back(const_cast<char*>(DefaultRepetitions));
  int count = int(arguments.size());
  arguments.push_back(nullptr);
  benchmark::Initialize(&count, arguments.data());
  *AArgc = 1;
}

} // namespace vbench
