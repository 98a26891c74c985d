#pragma once
// Memory for JSON nodes. Documents are built node by node at parser speed, so nodes and short
// buffers come from 64 KiB slabs that the building thread fills by bumping a pointer. Each slab
// counts its live blocks atomically, so a node may be freed on any thread; the slab goes back to
// a small process-wide cache once its last block is gone. Freeing a whole tree batches the
// count updates per slab.

#include <cstddef>
#include <cstdint>

namespace rtl::json_pool {

inline constexpr size_t SlabSize = size_t(1) << 16;
// Buffers above this size go to the general heap.
inline constexpr size_t MaxSlabBlock = 2048;

struct TCursor {
  char* Next = nullptr;
  char* End = nullptr;
  int64_t Allocated = 0;
};
extern thread_local constinit TCursor tCursor;

// Starts a new slab for the calling thread and allocates ASize bytes from it.
void* AllocateSlow(size_t ASize);

// A block of up to MaxSlabBlock bytes, 8-byte aligned.
inline void* Allocate(size_t ASize) {
  const size_t size = (ASize + 7) & ~size_t(7);
  TCursor& cursor = tCursor;
  if (static_cast<size_t>(cursor.End - cursor.Next) < size)
    return AllocateSlow(size);
  void* block = cursor.Next;
  cursor.Next += size;
  ++cursor.Allocated;
  return block;
}

struct TPending {
  void* Slab = nullptr;
  int64_t Count = 0;
  int Depth = 0;
};
extern thread_local constinit TPending tPending;

// Publishes the pending count of the calling thread.
void Flush() noexcept;

inline void* SlabOf(const void* ABlock) {
  return reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(ABlock) & ~(uintptr_t(SlabSize) - 1));
}

// Releases ACount blocks of the slab ASlab (nothing when ASlab is null).
inline void ReleaseMany(void* ASlab, int64_t ACount) noexcept {
  if (!ASlab)
    return;
  TPending& pending = tPending;
  if (ASlab != pending.Slab) {
    Flush();
    pending.Slab = ASlab;
  }
  pending.Count += ACount;
  if (pending.Depth == 0)
    Flush();
}

inline void Release(void* ABlock) noexcept {
  if (ABlock)
    ReleaseMany(SlabOf(ABlock), 1);
}

// Byte buffers of any size: small ones from the slabs, others from the heap. Release must be
// given the size that was allocated.
void* AllocateLarge(size_t ASize);
inline void* AllocateBytes(size_t ASize) {
  return ASize <= MaxSlabBlock ? Allocate(ASize) : AllocateLarge(ASize);
}
void ReleaseLarge(void* ABuffer) noexcept;
inline void ReleaseBytes(void* ABuffer, size_t ASize) noexcept {
  if (ASize <= MaxSlabBlock)
    Release(ABuffer);
  else
    ReleaseLarge(ABuffer);
}

// While a tree is being freed, slab counts are updated once per run of blocks of one slab
// rather than once per block; the outermost scope publishes what is pending.
class TReleaseScope {
public:
  TReleaseScope() noexcept { ++tPending.Depth; }
  ~TReleaseScope() {
    if (--tPending.Depth == 0)
      Flush();
  }
  TReleaseScope(const TReleaseScope&) = delete;
  TReleaseScope& operator=(const TReleaseScope&) = delete;
};

} // namespace rtl::json_pool
