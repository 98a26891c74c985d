#pragma once
// What the two sources of the GPU-resource benchmark share. The texture cases live in their own
// source because the OpenGL buffer and texture units cannot be included in one file.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace gpubench {

// Counts the allocations of 64 KiB or more made through operator new while it lives and stores
// them per iteration as the benchmark's "large_allocs/iter" counter.
class TAllocationCount {
public:
  explicit TAllocationCount(benchmark::State& AState);
  ~TAllocationCount();
  TAllocationCount(const TAllocationCount&) = delete;
  TAllocationCount& operator=(const TAllocationCount&) = delete;

private:
  benchmark::State& FState;
  int64_t FStart;
};

// Registers BM_<case>_Framework and BM_<case>_Raw for each argument, side by side, in real time.
void RegisterPair(const char* ACase, void (*AOurs)(benchmark::State&), void (*APeer)(benchmark::State&),
                  const std::vector<int64_t>& AArguments);

// Installs the OpenGL texture classes and registers the GL test context as the default context
// class, whose pixel state and filtering texture uploads use; then registers the texture cases.
void RegisterTextureBenchmarks();

} // namespace gpubench
