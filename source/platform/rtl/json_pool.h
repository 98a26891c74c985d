#pragma once
// Memory for JSON nodes. Documents are built node by node at parser speed, so nodes and short
// buffers come from 64 KiB slabs that the building thread fills by bumping a pointer. Each slab
// counts its live blocks atomically, so a node may be freed on any thread; the slab goes back to
// a small process-wide cache once its last block is gone. Freeing a whole tree batches the
// count updates per slab.
//
// A tree built in one go (a large parse, the token tree builder) may instead be a document: its
// blocks come from slabs of its own, and as long as nothing in the tree has changed, freeing its
// root hands all of them back at once without visiting a node. The first change dissolves the
// document into ordinary slabs, so every node then lives and dies as any other.

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <vector>

namespace rtl::json_pool {

inline constexpr size_t SlabSize = size_t(1) << 16;

struct TDocument;

// The head of every slab.
struct alignas(64) TSlab {
  std::atomic<int64_t> Live;
  // The document the slab belongs to while that is intact, else null.
  TDocument* Document;
};
// Buffers above this size go to the general heap.
inline constexpr size_t MaxSlabBlock = 2048;

struct TCursor {
  char* Next = nullptr;
  char* End = nullptr;
  int64_t Allocated = 0;
};
extern thread_local constinit TCursor tCursor;

// A tree's own slabs (see TDocumentScope).
struct TDocument {
  TCursor Cursor;
  struct TEntry {
    TSlab* Slab;
    // Blocks handed out from the slab, once it is no longer the cursor's.
    int64_t Allocated;
  };
  std::vector<TEntry> Slabs;
  // Buffers beyond MaxSlabBlock, by their heads.
  std::vector<void*> Large;
  const void* Root = nullptr;
};

// The document the calling thread allocates from, or null for its own slabs.
extern thread_local constinit TDocument* tDocument;

inline TCursor& ActiveCursor() {
  TDocument* document = tDocument;
  return document ? document->Cursor : tCursor;
}

// Starts a new slab for the calling thread and allocates ASize bytes from it.
void* AllocateSlow(size_t ASize);

// A block of up to MaxSlabBlock bytes, 8-byte aligned.
inline void* Allocate(size_t ASize) {
  const size_t size = (ASize + 7) & ~size_t(7);
  TCursor& cursor = ActiveCursor();
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

// Starts a document; nothing is allocated from it until a TDocumentScope names it.
TDocument* NewDocument();
// While alive, the calling thread allocates from ADocument rather than from its own slabs.
class TDocumentScope {
public:
  explicit TDocumentScope(TDocument* ADocument) noexcept : FOuter(tDocument) { tDocument = ADocument; }
  ~TDocumentScope() { tDocument = FOuter; }
  TDocumentScope(const TDocumentScope&) = delete;
  TDocumentScope& operator=(const TDocumentScope&) = delete;

private:
  TDocument* FOuter;
};
// Makes ARoot, a node allocated from ADocument, its root: freeing the root then frees the whole
// document.
void SetRoot(TDocument* ADocument, const void* ARoot) noexcept;
// Gives the document's slabs over to their block counts and forgets the document.
void Dissolve(TDocument* ADocument) noexcept;

inline TDocument* DocumentOf(const void* ANode) {
  return static_cast<TSlab*>(SlabOf(ANode))->Document;
}
// Whether ANode, a node from the slabs, is the root of an intact document.
bool IsDocumentRoot(const void* ANode) noexcept;
// Before anything in a tree changes: dissolves the intact document that ANode (a node from the
// slabs) belongs to.
inline void Touch(const void* ANode) noexcept {
  if (TDocument* document = DocumentOf(ANode))
    Dissolve(document);
}
// Frees the intact document whose root is ARoot, all of it at once.
void FreeDocument(const void* ARoot) noexcept;

} // namespace rtl::json_pool
