#include "rtl/json_pool.h"

#include <algorithm>
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
constexpr size_t CachedSlabs = 1024;

constexpr size_t FirstBlock = sizeof(TSlab);

TSlab* SlabOf(const void* ABlock) {
  return reinterpret_cast<TSlab*>(reinterpret_cast<uintptr_t>(ABlock) & ~(uintptr_t(SlabSize) - 1));
}

// Large buffers carry a head too, naming their intact document (whose end frees them) or null,
// and whether the buffer was released while that document was intact.
struct alignas(16) TLargeHead {
  TDocument* Document;
  bool Released;
};

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

thread_local constinit TDocument* tDocument = nullptr;

namespace {

// Makes room for one more entry before anything is taken, so recording it cannot fail.
template <class T> void ReserveOne(std::vector<T>& AList) {
  if (AList.size() == AList.capacity())
    AList.reserve(std::max<size_t>(16, AList.capacity() * 2));
}

} // namespace

void Flush() noexcept {
  TPending& pending = tPending;
  if (pending.Slab)
    Drop(static_cast<TSlab*>(pending.Slab), pending.Count);
  pending.Slab = nullptr;
  pending.Count = 0;
}

void* AllocateSlow(size_t ASize) {
  tGuard.Armed = true;
  TDocument* document = tDocument;
  TCursor& cursor = document ? document->Cursor : tCursor;
  if (document)
    ReserveOne(document->Slabs);
  // A slab handed out with its first block keeps the ownership bias until it is retired; a
  // document's slabs keep it until the document ends.
  void* memory = Cache().Take();
  if (document) {
    if (!document->Slabs.empty())
      document->Slabs.back().Allocated = cursor.Allocated;
    document->Slabs.push_back({static_cast<TSlab*>(memory), 0});
  } else {
    Retire(cursor);
  }
  auto* slab = new (memory) TSlab{};
  slab->Document = document;
  slab->Live.store(OwnerBias, std::memory_order_relaxed);
  cursor.Next = static_cast<char*>(memory) + FirstBlock;
  cursor.End = static_cast<char*>(memory) + SlabSize;
  void* block = cursor.Next;
  cursor.Next += ASize;
  cursor.Allocated = 1;
  return block;
}

void* AllocateLarge(size_t ASize) {
  TDocument* document = tDocument;
  if (document)
    ReserveOne(document->Large);
  auto* head = static_cast<TLargeHead*>(std::malloc(sizeof(TLargeHead) + ASize));
  if (!head)
    throw std::bad_alloc();
  head->Document = document;
  head->Released = false;
  if (document)
    document->Large.push_back(head);
  return head + 1;
}

void ReleaseLarge(void* ABuffer) noexcept {
  TLargeHead* head = static_cast<TLargeHead*>(ABuffer) - 1;
  // An intact document frees its buffers when it ends, or when it dissolves (see Dissolve).
  if (head->Document)
    head->Released = true;
  else
    std::free(head);
}

TDocument* NewDocument() {
  return new TDocument;
}

void SetRoot(TDocument* ADocument, const void* ARoot) noexcept {
  ADocument->Root = ARoot;
}

void Dissolve(TDocument* ADocument) noexcept {
  for (size_t i = 0; i < ADocument->Slabs.size(); ++i) {
    const TDocument::TEntry& entry = ADocument->Slabs[i];
    const bool current = i + 1 == ADocument->Slabs.size();
    entry.Slab->Document = nullptr;
    Drop(entry.Slab, OwnerBias - (current ? ADocument->Cursor.Allocated : entry.Allocated));
  }
  // A buffer released while the document was intact (a table that grew, say) has no owner left.
  for (void* head : ADocument->Large) {
    auto* large = static_cast<TLargeHead*>(head);
    if (large->Released)
      std::free(large);
    else
      large->Document = nullptr;
  }
  delete ADocument;
}

bool IsDocumentRoot(const void* ANode) noexcept {
  const TDocument* document = DocumentOf(ANode);
  return document && document->Root == ANode;
}

void FreeDocument(const void* ARoot) noexcept {
  // Counts this thread still holds back may name the document's slabs.
  Flush();
  TDocument* document = DocumentOf(ARoot);
  for (const TDocument::TEntry& entry : document->Slabs) {
    entry.Slab->~TSlab();
    Cache().Give(entry.Slab);
  }
  for (void* head : document->Large)
    std::free(head);
  delete document;
}

} // namespace rtl::json_pool
