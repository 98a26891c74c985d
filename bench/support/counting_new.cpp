#include "support/counting_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int64_t> GAllocations{0};
std::atomic<int64_t> GLargeAllocations{0};

} // namespace

void* operator new(size_t ASize) {
  GAllocations.fetch_add(1, std::memory_order_relaxed);
  if (ASize >= vbench::LargeAllocation)
    GLargeAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(ASize ? ASize : 1))
    return block;
  throw std::bad_alloc();
}
void operator delete(void* ABlock) noexcept {
  std::free(ABlock);
}
void operator delete(void* ABlock, size_t) noexcept {
  std::free(ABlock);
}

namespace vbench {

int64_t Allocations() {
  return GAllocations.load(std::memory_order_relaxed);
}

int64_t LargeAllocations() {
  return GLargeAllocations.load(std::memory_order_relaxed);
}

} // namespace vbench
