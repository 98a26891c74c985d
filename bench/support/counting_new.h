#pragma once
// The benchmarks' counting operator new (counting_new.cpp, linked into the programs that read it):
// every allocation through operator new is counted, and those of 64 KiB or more separately.

#include <cstddef>
#include <cstdint>

namespace vbench {

inline constexpr size_t LargeAllocation = 64 * 1024;

int64_t Allocations();
int64_t LargeAllocations();

} // namespace vbench
