#pragma once
// Generic lists of the runtime layer: TList with change notification, the owning TObjectList,
// TStack, TQueue and the mutex-guarded TThreadList. Include "rtl/generics.h" for all containers.
//
// Containers are plain C++ values rather than TObjects: they live as members and are never
// created through a metaclass. Indices and counts are int, and "not found" is -1.

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace rtl {

// Why a container reports an item: it is being or was added, handed out to the caller (never
// freed), or removed (an owning container frees it). Containers report the past forms.
enum class TCollectionNotification {
  cnAdding = 0,
  cnAdded = 1,
  cnExtracting = 2,
  cnExtracted = 3,
  cnDeleting = 4,
  cnRemoved = 5
};

template <class T>
using TCollectionNotifyEvent = std::function<void(const T& AItem, TCollectionNotification AAction)>;

// What adding an item that is already present does.
enum class TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

namespace detail {
// Cold paths kept out of line so the templates stay small.
[[noreturn]] void RaiseArgumentOutOfRange();
[[noreturn]] void RaiseDuplicates();
[[noreturn]] void RaiseItemNotFound();
[[noreturn]] void RaiseStackEmpty();
[[noreturn]] void RaiseQueueEmpty();

// Putting the very object a slot already holds back into it must not report (and so free) it.
template <class T> bool SameObject(const T& AOld, const T& ANew) {
  if constexpr (std::is_pointer_v<T>)
    return AOld == ANew;
  else
    return false;
}
} // namespace detail

// A growable array that reports every item it gains or loses to Notify (and so to OnNotify).
// Items are read through operator[] and Items(); they are replaced through SetItem so that the
// change is reported. List() gives raw access for in-place edits, without notification.
template <class T> class TList {
public:
  using TNotifyEvent = TCollectionNotifyEvent<T>;
  using const_iterator = typename std::vector<T>::const_iterator;

  TList() = default;
  TList(std::initializer_list<T> AItems) : FItems(AItems) {}
  // Copies and moves take the items, never the handler, which belongs to the copied list's owner.
  TList(const TList& AOther) : FItems(AOther.FItems) {}
  TList(TList&& AOther) noexcept : FItems(std::move(AOther.FItems)) { AOther.FItems.clear(); }
  TList& operator=(const TList& AOther) {
    if (this != &AOther) {
      Clear();
      AddRange(AOther);
    }
    return *this;
  }
  TList& operator=(TList&& AOther) {
    if (this != &AOther) {
      Clear();
      FItems = std::move(AOther.FItems);
      AOther.FItems.clear();
      for (const T& item : FItems)
        Notify(item, TCollectionNotification::cnAdded);
    }
    return *this;
  }
  virtual ~TList() { Clear(); }

  int Count() const { return static_cast<int>(FItems.size()); }
  bool IsEmpty() const { return FItems.empty(); }
  int Capacity() const { return static_cast<int>(FItems.capacity()); }
  void SetCapacity(int ACapacity) { FItems.reserve(static_cast<std::size_t>(std::max(ACapacity, 0))); }

  int Add(T AItem) {
    FItems.push_back(std::move(AItem));
    Notify(FItems.back(), TCollectionNotification::cnAdded);
    return Count() - 1;
  }
  template <class TRange> void AddRange(const TRange& AItems) {
    for (const T& item : AItems)
      Add(item);
  }
  void AddRange(std::initializer_list<T> AItems) { AddRange<std::initializer_list<T>>(AItems); }
  // AIndex may equal Count (append).
  void Insert(int AIndex, T AItem) {
    if (AIndex < 0 || AIndex > Count())
      detail::RaiseArgumentOutOfRange();
    auto position = FItems.insert(FItems.begin() + AIndex, std::move(AItem));
    Notify(*position, TCollectionNotification::cnAdded);
  }

  void Delete(int AIndex) { Take(AIndex, TCollectionNotification::cnRemoved); }
  void DeleteRange(int AIndex, int ACount) {
    if (ACount < 0 || AIndex < 0 || AIndex > Count() - ACount)
      detail::RaiseArgumentOutOfRange();
    std::vector<T> removed(std::make_move_iterator(FItems.begin() + AIndex),
                           std::make_move_iterator(FItems.begin() + AIndex + ACount));
    FItems.erase(FItems.begin() + AIndex, FItems.begin() + AIndex + ACount);
    for (const T& item : removed)
      Notify(item, TCollectionNotification::cnRemoved);
  }
  // Removes the first occurrence; returns its former index, or -1.
  int Remove(const T& AItem) {
    const int index = IndexOf(AItem);
    if (index >= 0)
      Delete(index);
    return index;
  }
  // Takes the first occurrence out without it counting as removed (an owning list does not free
  // it). Returns the item, or a value-initialised T when absent.
  T Extract(const T& AItem) {
    const int index = IndexOf(AItem);
    if (index < 0)
      return T{};
    return Take(index, TCollectionNotification::cnExtracted);
  }
  T ExtractAt(int AIndex) { return Take(AIndex, TCollectionNotification::cnExtracted); }
  void Clear() {
    std::vector<T> removed;
    removed.swap(FItems);
    for (const T& item : removed)
      Notify(item, TCollectionNotification::cnRemoved);
  }

  int IndexOf(const T& AItem) const {
    auto found = std::find(FItems.begin(), FItems.end(), AItem);
    return found == FItems.end() ? -1 : static_cast<int>(found - FItems.begin());
  }
  int LastIndexOf(const T& AItem) const {
    auto found = std::find(FItems.rbegin(), FItems.rend(), AItem);
    return found == FItems.rend() ? -1 : static_cast<int>(FItems.rend() - found) - 1;
  }
  bool Contains(const T& AItem) const { return IndexOf(AItem) >= 0; }

  const T& operator[](int AIndex) const { return FItems[Checked(AIndex)]; }
  const T& Items(int AIndex) const { return FItems[Checked(AIndex)]; }
  // Reports the old item removed and the new one added; storing the same object again is a no-op.
  void SetItem(int AIndex, T AItem) {
    T& slot = FItems[Checked(AIndex)];
    if (detail::SameObject(slot, AItem))
      return;
    T old = std::exchange(slot, std::move(AItem));
    Notify(old, TCollectionNotification::cnRemoved);
    Notify(FItems[static_cast<std::size_t>(AIndex)], TCollectionNotification::cnAdded);
  }
  const T& First() const { return (*this)[0]; }
  const T& Last() const { return (*this)[Count() - 1]; }
  std::span<T> List() { return FItems; }
  std::span<const T> List() const { return FItems; }
  std::vector<T> ToArray() const { return FItems; }

  // Stable, so equal items keep their relative order whatever the standard library.
  void Sort() { std::stable_sort(FItems.begin(), FItems.end()); }
  // AComparer(a, b) returns < 0, 0 or > 0.
  template <class TComparer> void Sort(TComparer AComparer) {
    std::stable_sort(FItems.begin(), FItems.end(),
                     [&](const T& ALeft, const T& ARight) { return AComparer(ALeft, ARight) < 0; });
  }
  void Reverse() { std::reverse(FItems.begin(), FItems.end()); }
  void Exchange(int AIndex1, int AIndex2) { std::swap(FItems[Checked(AIndex1)], FItems[Checked(AIndex2)]); }
  // Takes the item at ACurIndex out and inserts it so that it ends up at ANewIndex.
  void Move(int ACurIndex, int ANewIndex) {
    const auto from = FItems.begin() + static_cast<std::ptrdiff_t>(Checked(ACurIndex));
    const auto to = FItems.begin() + static_cast<std::ptrdiff_t>(Checked(ANewIndex));
    if (from < to)
      std::rotate(from, from + 1, to + 1);
    else
      std::rotate(to, from, from + 1);
  }

  const_iterator begin() const { return FItems.begin(); }
  const_iterator end() const { return FItems.end(); }

  const TNotifyEvent& OnNotify() const { return FOnNotify; }
  void SetOnNotify(TNotifyEvent AHandler) { FOnNotify = std::move(AHandler); }

protected:
  // Called after the item has joined or left the list. Overrides call the inherited one first.
  virtual void Notify(const T& AItem, TCollectionNotification AAction) {
    if (FOnNotify)
      FOnNotify(AItem, AAction);
  }

private:
  std::size_t Checked(int AIndex) const {
    if (AIndex < 0 || AIndex >= Count())
      detail::RaiseArgumentOutOfRange();
    return static_cast<std::size_t>(AIndex);
  }
  T Take(int AIndex, TCollectionNotification AAction) {
    const auto position = FItems.begin() + static_cast<std::ptrdiff_t>(Checked(AIndex));
    T item = std::move(*position);
    FItems.erase(position);
    Notify(item, AAction);
    return item;
  }

  std::vector<T> FItems;
  TNotifyEvent FOnNotify;
};

// A list of objects that, while OwnsObjects is set, frees every item it loses: on Delete, Remove,
// Clear, replacement and its own destruction. Extract hands an item out without freeing it.
template <class T> class TObjectList : public TList<T*> {
  using inherited = TList<T*>;

public:
  explicit TObjectList(bool AOwnsObjects = true) : FOwnsObjects(AOwnsObjects) {}
  TObjectList(const TObjectList&) = delete;
  TObjectList(TObjectList&& AOther) noexcept
      : inherited(std::move(AOther)), FOwnsObjects(AOther.FOwnsObjects) {}
  TObjectList& operator=(const TObjectList&) = delete;
  TObjectList& operator=(TObjectList&&) = delete;
  // Clears here: the base destructor no longer reaches this class's Notify.
  ~TObjectList() override { this->Clear(); }

  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool AValue) { FOwnsObjects = AValue; }

protected:
  void Notify(T* const& AItem, TCollectionNotification AAction) override {
    inherited::Notify(AItem, AAction);
    if (FOwnsObjects && AAction == TCollectionNotification::cnRemoved && AItem)
      AItem->Free();
  }

private:
  bool FOwnsObjects;
};

// Last in, first out. Pop and Peek on an empty stack raise EListError.
template <class T> class TStack {
public:
  int Count() const { return static_cast<int>(FItems.size()); }
  bool IsEmpty() const { return FItems.empty(); }
  void Push(T AItem) { FItems.push_back(std::move(AItem)); }
  T Pop() {
    if (FItems.empty())
      detail::RaiseStackEmpty();
    T item = std::move(FItems.back());
    FItems.pop_back();
    return item;
  }
  const T& Peek() const {
    if (FItems.empty())
      detail::RaiseStackEmpty();
    return FItems.back();
  }
  void Clear() { FItems.clear(); }

private:
  std::vector<T> FItems;
};

// First in, first out. Dequeue and Peek on an empty queue raise EListError.
template <class T> class TQueue {
public:
  int Count() const { return static_cast<int>(FItems.size()); }
  bool IsEmpty() const { return FItems.empty(); }
  void Enqueue(T AItem) { FItems.push_back(std::move(AItem)); }
  T Dequeue() {
    if (FItems.empty())
      detail::RaiseQueueEmpty();
    T item = std::move(FItems.front());
    FItems.pop_front();
    return item;
  }
  const T& Peek() const {
    if (FItems.empty())
      detail::RaiseQueueEmpty();
    return FItems.front();
  }
  void Clear() { FItems.clear(); }

private:
  std::deque<T> FItems;
};

// A list shared between threads. LockList returns the list with its lock held until UnlockList;
// Locked() does the same for a scope. Add, Remove and Clear lock on their own. The lock is
// re-entrant, so a thread holding the list may still call Add. Duplicates are ignored by default.
template <class T> class TThreadList {
public:
  // Holds the list's lock for its lifetime.
  class TLockedList {
  public:
    explicit TLockedList(TThreadList& AOwner) : FOwner(AOwner), FList(AOwner.LockList()) {}
    ~TLockedList() { FOwner.UnlockList(); }
    TLockedList(const TLockedList&) = delete;
    TLockedList& operator=(const TLockedList&) = delete;
    TList<T>& operator*() const { return FList; }
    TList<T>* operator->() const { return &FList; }

  private:
    TThreadList& FOwner;
    TList<T>& FList;
  };

  TList<T>& LockList() {
    FLock.lock();
    return FList;
  }
  void UnlockList() { FLock.unlock(); }
  TLockedList Locked() { return TLockedList(*this); }

  void Add(T AItem) {
    std::lock_guard guard(FLock);
    if (FDuplicates != TDuplicates::dupAccept && FList.Contains(AItem)) {
      if (FDuplicates == TDuplicates::dupError)
        detail::RaiseDuplicates();
      return;
    }
    FList.Add(std::move(AItem));
  }
  void Remove(const T& AItem) {
    std::lock_guard guard(FLock);
    FList.Remove(AItem);
  }
  void Clear() {
    std::lock_guard guard(FLock);
    FList.Clear();
  }

  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates AValue) { FDuplicates = AValue; }

private:
  std::recursive_mutex FLock;
  TList<T> FList;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

} // namespace rtl
