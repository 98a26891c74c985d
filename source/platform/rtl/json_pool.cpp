#include "rtl/json_pool.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

namespace rtl::json_pool {

namespace {

// While a thread still fills a slab, its count carries this bias, so frees from other threads
// cannot bring it to zero; retiring the slab trades the bias for the number of blocks handed out.
constexpr int64_t OwnerBias = int64_t(1) << 50;
// Slabs kept for reuse, so repeated parsing does not touch fresh pages.
constexpr size_t CachedSlabs = 256;

struct alignas(64) TSlab {
  std::atomic<int64_t> Live;
};
constexpr size_t FirstBlock = sizeof(TSlab);

TSlab* SlabOf(const void* ABlock) {
  return reinterpret_cast<TSlab*>(reinterpret_cast<uintptr_t>(ABlock) & ~(uintptr_t(SlabSize) - 1));
}

class TSlabCache {
public:
  ~TSlabCache() {
    for (void* slab : FFree)
      std::free(slab);
  }
  void* Take() {
    {
      std::lock_guard guard(FLock);
      if (!FFree.empty()) {
        void* slab = FFree.back();
        FFree.pop_back();
        return slab;
      }
    }
    void* slab = std::aligned_alloc(SlabSize, SlabSize);
    if (!slab)
      throw std::bad_alloc();
    return slab;
  }
  void Give(void* ASlab) noexcept {
    {
      std::lock_guard guard(FLock);
      if (FFree.size() < CachedSlabs) {
        try {
          FFree.push_back(ASlab);
          return;
        } catch (...) {
        }
      }
    }
    std::free(ASlab);
  }

private:
  std::mutex FLock;
  std::vector<void*> FFree;
};

TSlabCache& Cache() {
  // Never destroyed: slabs may be released by thread-exit handlers that run after static
  // destructors.
  static TSlabCache* cache = new TSlabCache;
  return *cache;
}

void Drop(TSlab* ASlab, int64_t ACount) noexcept {
  if (ASlab->Live.fetch_sub(ACount, std::memory_order_acq_rel) == ACount) {
    ASlab->~TSlab();
    Cache().Give(ASlab);
  }
}

void Retire(TCursor& ACursor) noexcept {
  if (!ACursor.Next)
    return;
  TSlab* slab = SlabOf(ACursor.Next - 1);
  Drop(slab, OwnerBias - ACursor.Allocated);
  ACursor = TCursor{};
}

// Retires the thread's slab when the thread ends.
struct TCursorGuard {
  bool Armed = false;
  ~TCursorGuard() {
    Flush();
    Retire(tCursor);
  }
};
thread_local TCursorGuard tGuard;

} // namespace

thread_local constinit TCursor tCursor;
thread_local constinit TPending tPending;

void Flush() noexcept {
  TPending& pending = tPending;
  if (pending.Slab)
    Drop(static_cast<TSlab*>(pending.Slab), pending.Count);
  pending.Slab = nullptr;
  pending.Count = 0;
}

void* AllocateSlow(size_t ASize) {
  tGuard.Armed = true;
  TCursor& cursor = tCursor;
  // A slab handed out with its first block keeps the ownership bias until it is retired.
  void* memory = Cache().Take();
  Retire(cursor);
  auto* slab = new (memory) TSlab{};
  slab->Live.store(OwnerBias, std::memory_order_relaxed);
  cursor.Next = static_cast<char*>(memory) + FirstBlock;
  cursor.End = static_cast<char*>(memory) + SlabSize;
  void* block = cursor.Next;
  cursor.Next += ASize;
  cursor.Allocated = 1;
  return block;
}

void* AllocateLarge(size_t ASize) {
  void* buffer = std::malloc(ASize);
  if (!buffer)
    throw std::bad_alloc();
  return buffer;
}

void ReleaseLarge(void* ABuffer) noexcept {
  std::free(ABuffer);
}

} // namespace rtl::json_pool
