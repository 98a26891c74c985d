#pragma once
// Insertion-ordered dictionaries of the runtime layer: TDictionary and the owning
// TObjectDictionary. Include "rtl/generics.h" for all containers.
//
// Layout: the pairs sit in a vector in insertion order; a removed pair leaves an empty slot
// (a tombstone) that iteration skips. An open-addressing index (linear probing, at most half
// full) maps hashes to slots. Removal empties the slot and closes the gap in the index by
// shifting back the entries that follow, so removal is O(1) on average; once tombstones
// outnumber the live pairs the vector is compacted, which keeps the order and amortises to O(1).
// A key that is removed and added again therefore goes to the end.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "rtl/exceptions.h"
#include "rtl/generics_lists.h"
#include "rtl/object.h"

namespace rtl {

template <class K, class V> struct TPair {
  K Key;
  V Value;
};

// Hashing and equality for std::string keys that also accept std::string_view and string
// literals, so a lookup never builds a temporary std::string.
struct TStringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view AKey) const noexcept { return std::hash<std::string_view>{}(AKey); }
};
struct TStringEqual {
  using is_transparent = void;
  bool operator()(std::string_view ALeft, std::string_view ARight) const noexcept { return ALeft == ARight; }
};

namespace detail {
constexpr char AsciiLower(char AChar) noexcept {
  return AChar >= 'A' && AChar <= 'Z' ? static_cast<char>(AChar - 'A' + 'a') : AChar;
}
} // namespace detail

// Case-insensitive string keys. Only ASCII letters fold; other UTF-8 bytes compare exactly.
struct TCaseInsensitiveStringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view AKey) const noexcept {
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const char c : AKey)
      hash = (hash ^ static_cast<unsigned char>(detail::AsciiLower(c))) * 1099511628211ull;
    return static_cast<std::size_t>(hash);
  }
};
struct TCaseInsensitiveStringEqual {
  using is_transparent = void;
  bool operator()(std::string_view ALeft, std::string_view ARight) const noexcept {
    if (ALeft.size() != ARight.size())
      return false;
    for (std::size_t i = 0; i < ALeft.size(); ++i)
      if (detail::AsciiLower(ALeft[i]) != detail::AsciiLower(ARight[i]))
        return false;
    return true;
  }
};

template <class K> struct TDefaultHash : std::hash<K> {};
template <> struct TDefaultHash<std::string> : TStringHash {};
template <class K> struct TDefaultEqual : std::equal_to<K> {};
template <> struct TDefaultEqual<std::string> : TStringEqual {};

// A key-to-value map that keeps insertion order for iteration, Keys, Values and ToArray.
// Changes are reported to KeyNotify/ValueNotify (and so to OnKeyNotify/OnValueNotify): adding
// reports the key and the value added; Remove and Clear report them removed; ExtractPair reports
// them extracted; replacing a value reports the old value removed and the new one added.
// Lookups take any key form the hash and equality accept (std::string_view for string keys).
template <class K, class V, class THash = TDefaultHash<K>, class TEqual = TDefaultEqual<K>>
class TDictionary {
public:
  using TPairType = TPair<K, V>;
  using TKeyNotifyEvent = TCollectionNotifyEvent<K>;
  using TValueNotifyEvent = TCollectionNotifyEvent<V>;

private:
  struct TSlot {
    std::optional<TPairType> Pair; // empty: a removed pair's tombstone
    std::uint32_t Tag;
  };
  struct TBucket {
    std::uint32_t Slot; // slot index + 1; 0 marks a free bucket
    std::uint32_t Tag;  // the mixed hash; its top bits pick the home bucket
  };
  struct TPairOf {
    static const TPairType& Get(const TPairType& APair) { return APair; }
  };
  struct TKeyOf {
    static const K& Get(const TPairType& APair) { return APair.Key; }
  };
  struct TValueOf {
    static const V& Get(const TPairType& APair) { return APair.Value; }
  };
  static constexpr std::size_t NoBucket = static_cast<std::size_t>(-1);
  static constexpr std::size_t MinBuckets = 8;
  static constexpr std::size_t MinTombstonesToCompact = 16;

public:
  // Walks the live pairs in insertion order, yielding what TProject picks from each.
  template <class TProject> class TIterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using difference_type = std::ptrdiff_t;
    using value_type = std::remove_cvref_t<decltype(TProject::Get(std::declval<const TPairType&>()))>;
    using pointer = const value_type*;
    using reference = const value_type&;

    TIterator() = default;
    TIterator(const TSlot* APosition, const TSlot* AEnd) : FPosition(APosition), FEnd(AEnd) {
      SkipTombstones();
    }
    reference operator*() const { return TProject::Get(*FPosition->Pair); }
    pointer operator->() const { return &**this; }
    TIterator& operator++() {
      ++FPosition;
      SkipTombstones();
      return *this;
    }
    TIterator operator++(int) {
      TIterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const TIterator& AOther) const { return FPosition == AOther.FPosition; }

  private:
    void SkipTombstones() {
      while (FPosition != FEnd && !FPosition->Pair)
        ++FPosition;
    }
    const TSlot* FPosition = nullptr;
    const TSlot* FEnd = nullptr;
  };

  // The keys or the values, in insertion order, as a view over the dictionary.
  template <class TProject> class TCollectionView {
  public:
    explicit TCollectionView(const TDictionary& AOwner) : FOwner(AOwner) {}
    TIterator<TProject> begin() const { return FOwner.template First<TProject>(); }
    TIterator<TProject> end() const { return FOwner.template Past<TProject>(); }
    int Count() const { return FOwner.Count(); }
    std::vector<typename TIterator<TProject>::value_type> ToArray() const { return {begin(), end()}; }

  private:
    const TDictionary& FOwner;
  };

  using const_iterator = TIterator<TPairOf>;

  TDictionary() = default;
  explicit TDictionary(int ACapacity) { SetCapacity(ACapacity); }
  // Copies and moves take the pairs, never the handlers, which belong to the copied container's owner.
  TDictionary(const TDictionary& AOther)
      : FSlots(AOther.FSlots), FIndex(AOther.FIndex), FShift(AOther.FShift), FCount(AOther.FCount),
        FTombstones(AOther.FTombstones), FHash(AOther.FHash), FEqual(AOther.FEqual) {}
  TDictionary(TDictionary&& AOther) noexcept
      : FSlots(std::move(AOther.FSlots)), FIndex(std::move(AOther.FIndex)), FShift(AOther.FShift),
        FCount(AOther.FCount), FTombstones(AOther.FTombstones), FHash(AOther.FHash), FEqual(AOther.FEqual) {
    AOther.Reset();
  }
  TDictionary& operator=(const TDictionary& AOther) {
    if (this != &AOther) {
      Clear();
      for (const TPairType& pair : AOther)
        Add(pair.Key, pair.Value);
    }
    return *this;
  }
  TDictionary& operator=(TDictionary&& AOther) {
    if (this != &AOther) {
      Clear();
      FSlots = std::move(AOther.FSlots);
      FIndex = std::move(AOther.FIndex);
      FShift = AOther.FShift;
      FCount = AOther.FCount;
      FTombstones = AOther.FTombstones;
      AOther.Reset();
      for (const TPairType& pair : *this)
        NotifyPair(pair, TCollectionNotification::cnAdded);
    }
    return *this;
  }
  virtual ~TDictionary() { Clear(); }

  int Count() const { return static_cast<int>(FCount); }
  bool IsEmpty() const { return FCount == 0; }
  // Makes room for ACapacity pairs without growing the index.
  void SetCapacity(int ACapacity) {
    const std::size_t capacity = static_cast<std::size_t>(std::max(ACapacity, 0));
    FSlots.reserve(capacity);
    if (BucketsFor(capacity) > FIndex.size())
      Rehash(BucketsFor(capacity));
  }

  // Raises EListError "Duplicates not allowed" when the key is present.
  void Add(K AKey, V AValue) {
    if (!TryAdd(std::move(AKey), std::move(AValue)))
      detail::RaiseDuplicates();
  }
  // Adds unless the key is present; returns whether it added.
  bool TryAdd(K AKey, V AValue) {
    const std::uint32_t tag = TagOf(AKey);
    if (FindBucket(AKey, tag) != NoBucket)
      return false;
    Append(tag, std::move(AKey), std::move(AValue));
    return true;
  }
  // Adds the pair, or replaces the value of a present key in its place (the key keeps its
  // position in the order).
  void AddOrSetValue(K AKey, V AValue) {
    const std::uint32_t tag = TagOf(AKey);
    const std::size_t bucket = FindBucket(AKey, tag);
    if (bucket == NoBucket)
      Append(tag, std::move(AKey), std::move(AValue));
    else
      Replace(SlotAt(bucket), std::move(AValue));
  }
  // Replaces the value of a present key; raises EListError "Item not found" when absent.
  template <class Q> void SetItem(const Q& AKey, V AValue) {
    const std::size_t bucket = FindBucket(AKey, TagOf(AKey));
    if (bucket == NoBucket)
      detail::RaiseItemNotFound();
    Replace(SlotAt(bucket), std::move(AValue));
  }

  // Returns whether the key was present.
  template <class Q> bool Remove(const Q& AKey) {
    return Take(AKey, TCollectionNotification::cnRemoved).has_value();
  }
  // Takes the pair out without it counting as removed (an owning dictionary does not free it).
  template <class Q> std::optional<TPairType> ExtractPair(const Q& AKey) {
    return Take(AKey, TCollectionNotification::cnExtracted);
  }
  void Clear() {
    std::vector<TSlot> removed;
    removed.swap(FSlots);
    Reset();
    for (const TSlot& slot : removed)
      if (slot.Pair)
        NotifyPair(*slot.Pair, TCollectionNotification::cnRemoved);
  }

  template <class Q> bool ContainsKey(const Q& AKey) const {
    return FindBucket(AKey, TagOf(AKey)) != NoBucket;
  }
  bool ContainsValue(const V& AValue) const {
    for (const TPairType& pair : *this)
      if (pair.Value == AValue)
        return true;
    return false;
  }
  template <class Q> bool TryGetValue(const Q& AKey, V& AValue) const {
    const V* found = Find(AKey);
    if (found)
      AValue = *found;
    return found != nullptr;
  }
  // The value of the key, or nullptr. Editing through the pointer is not reported.
  template <class Q> V* Find(const Q& AKey) {
    const std::size_t bucket = FindBucket(AKey, TagOf(AKey));
    return bucket == NoBucket ? nullptr : &SlotAt(bucket).Pair->Value;
  }
  template <class Q> const V* Find(const Q& AKey) const { return const_cast<TDictionary*>(this)->Find(AKey); }
  // Raises EListError "Item not found" when the key is absent.
  template <class Q> V& Items(const Q& AKey) {
    V* found = Find(AKey);
    if (!found)
      detail::RaiseItemNotFound();
    return *found;
  }
  template <class Q> const V& Items(const Q& AKey) const {
    return const_cast<TDictionary*>(this)->Items(AKey);
  }

  const_iterator begin() const { return First<TPairOf>(); }
  const_iterator end() const { return Past<TPairOf>(); }
  TCollectionView<TKeyOf> Keys() const { return TCollectionView<TKeyOf>(*this); }
  TCollectionView<TValueOf> Values() const { return TCollectionView<TValueOf>(*this); }
  std::vector<TPairType> ToArray() const { return {begin(), end()}; }

  const TKeyNotifyEvent& OnKeyNotify() const { return FOnKeyNotify; }
  void SetOnKeyNotify(TKeyNotifyEvent AHandler) { FOnKeyNotify = std::move(AHandler); }
  const TValueNotifyEvent& OnValueNotify() const { return FOnValueNotify; }
  void SetOnValueNotify(TValueNotifyEvent AHandler) { FOnValueNotify = std::move(AHandler); }

protected:
  // Called after the pair has joined or left the dictionary. Overrides call the inherited one first.
  virtual void KeyNotify(const K& AKey, TCollectionNotification AAction) {
    if (FOnKeyNotify)
      FOnKeyNotify(AKey, AAction);
  }
  virtual void ValueNotify(const V& AValue, TCollectionNotification AAction) {
    if (FOnValueNotify)
      FOnValueNotify(AValue, AAction);
  }

private:
  template <class TProject> TIterator<TProject> First() const {
    return {FSlots.data(), FSlots.data() + FSlots.size()};
  }
  template <class TProject> TIterator<TProject> Past() const {
    return {FSlots.data() + FSlots.size(), FSlots.data() + FSlots.size()};
  }

  // Mixes the hash so that weak hashes (identity for integers and pointers) still spread over
  // the top bits, which choose the home bucket.
  template <class Q> std::uint32_t TagOf(const Q& AKey) const {
    std::uint64_t hash = static_cast<std::uint64_t>(FHash(AKey));
    hash ^= hash >> 32;
    hash *= 0x9E3779B97F4A7C15ull;
    return static_cast<std::uint32_t>(hash >> 32);
  }
  std::size_t HomeOf(std::uint32_t ATag) const { return ATag >> FShift; }
  std::size_t Mask() const { return FIndex.size() - 1; }
  static std::size_t BucketsFor(std::size_t ACount) {
    std::size_t buckets = MinBuckets;
    while (buckets < ACount * 2)
      buckets *= 2;
    return buckets;
  }

  template <class Q> std::size_t FindBucket(const Q& AKey, std::uint32_t ATag) const {
    if (FIndex.empty())
      return NoBucket;
    for (std::size_t bucket = HomeOf(ATag);; bucket = (bucket + 1) & Mask()) {
      const TBucket& entry = FIndex[bucket];
      if (entry.Slot == 0)
        return NoBucket;
      if (entry.Tag == ATag && FEqual(FSlots[entry.Slot - 1].Pair->Key, AKey))
        return bucket;
    }
  }
  TSlot& SlotAt(std::size_t ABucket) { return FSlots[FIndex[ABucket].Slot - 1]; }

  void Place(std::uint32_t ATag, std::size_t ASlot) {
    std::size_t bucket = HomeOf(ATag);
    while (FIndex[bucket].Slot != 0)
      bucket = (bucket + 1) & Mask();
    FIndex[bucket] = {static_cast<std::uint32_t>(ASlot + 1), ATag};
  }
  void Rehash(std::size_t ABuckets) {
    FIndex.assign(ABuckets, TBucket{0, 0});
    FShift = 32 - std::countr_zero(ABuckets);
    for (std::size_t slot = 0; slot < FSlots.size(); ++slot)
      if (FSlots[slot].Pair)
        Place(FSlots[slot].Tag, slot);
  }
  // Linear-probing deletion: pull back every following entry whose home lies at or before the
  // hole, so probes never meet a gap before their key.
  void EraseBucket(std::size_t AHole) {
    std::size_t hole = AHole;
    for (std::size_t next = (hole + 1) & Mask(); FIndex[next].Slot != 0; next = (next + 1) & Mask()) {
      const std::size_t home = HomeOf(FIndex[next].Tag);
      const bool homeAfterHole = ((next - home) & Mask()) < ((next - hole) & Mask());
      if (homeAfterHole)
        continue;
      FIndex[hole] = FIndex[next];
      hole = next;
    }
    FIndex[hole] = TBucket{0, 0};
  }
  void Compact() {
    std::vector<TSlot> live;
    live.reserve(FCount);
    for (TSlot& slot : FSlots)
      if (slot.Pair)
        live.push_back(std::move(slot));
    FSlots.swap(live);
    FTombstones = 0;
    Rehash(FIndex.size());
  }

  void Append(std::uint32_t ATag, K&& AKey, V&& AValue) {
    if ((FCount + 1) * 2 > FIndex.size())
      Rehash(BucketsFor(FCount + 1));
    FSlots.push_back(TSlot{TPairType{std::move(AKey), std::move(AValue)}, ATag});
    Place(ATag, FSlots.size() - 1);
    ++FCount;
    NotifyPair(*FSlots.back().Pair, TCollectionNotification::cnAdded);
  }
  void Replace(TSlot& ASlot, V&& AValue) {
    if (detail::SameObject(ASlot.Pair->Value, AValue))
      return;
    V old = std::exchange(ASlot.Pair->Value, std::move(AValue));
    const V& current = ASlot.Pair->Value;
    ValueNotify(old, TCollectionNotification::cnRemoved);
    ValueNotify(current, TCollectionNotification::cnAdded);
  }
  template <class Q> std::optional<TPairType> Take(const Q& AKey, TCollectionNotification AAction) {
    const std::size_t bucket = FindBucket(AKey, TagOf(AKey));
    if (bucket == NoBucket)
      return std::nullopt;
    const std::size_t slot = FIndex[bucket].Slot - 1;
    EraseBucket(bucket);
    std::optional<TPairType> pair = std::move(FSlots[slot].Pair);
    FSlots[slot].Pair.reset();
    --FCount;
    DropTombstone(slot);
    NotifyPair(*pair, AAction);
    return pair;
  }
  // A tombstone at the end is dropped at once (with any before it); others are counted until
  // they outnumber the live pairs.
  void DropTombstone(std::size_t ASlot) {
    if (ASlot + 1 < FSlots.size()) {
      if (++FTombstones >= MinTombstonesToCompact && FTombstones > FCount)
        Compact();
      return;
    }
    FSlots.pop_back();
    while (!FSlots.empty() && !FSlots.back().Pair) {
      FSlots.pop_back();
      --FTombstones;
    }
  }
  void NotifyPair(const TPairType& APair, TCollectionNotification AAction) {
    KeyNotify(APair.Key, AAction);
    ValueNotify(APair.Value, AAction);
  }
  void Reset() {
    FSlots.clear();
    FIndex.clear();
    FShift = 32;
    FCount = 0;
    FTombstones = 0;
  }

  std::vector<TSlot> FSlots;
  std::vector<TBucket> FIndex;
  int FShift = 32;
  std::size_t FCount = 0;
  std::size_t FTombstones = 0;
  [[no_unique_address]] THash FHash;
  [[no_unique_address]] TEqual FEqual;
  TKeyNotifyEvent FOnKeyNotify;
  TValueNotifyEvent FOnValueNotify;
};

// String-keyed dictionaries; lookups accept std::string_view.
template <class V> using TStringDictionary = TDictionary<std::string, V>;
template <class V>
using TCaseInsensitiveDictionary =
    TDictionary<std::string, V, TCaseInsensitiveStringHash, TCaseInsensitiveStringEqual>;

enum class TDictionaryOwnership { doOwnsKeys = 0, doOwnsValues = 1 };

namespace detail {
template <class T>
constexpr bool IsObjectPointer =
    std::is_pointer_v<T>&& std::is_base_of_v<TObject, std::remove_cv_t<std::remove_pointer_t<T>>>;
template <class T> void FreeOwned(const T& AItem) {
  if constexpr (IsObjectPointer<T>)
    if (AItem)
      AItem->Free();
}
} // namespace detail

// A dictionary that frees the keys and/or values it owns (object pointers) whenever it reports
// them removed: on Remove, Clear, value replacement and its own destruction. ExtractPair hands a
// pair out without freeing it. Asking to own keys or values that are not object pointers raises
// EInvalidCast.
template <class K, class V, class THash = TDefaultHash<K>, class TEqual = TDefaultEqual<K>>
class TObjectDictionary : public TDictionary<K, V, THash, TEqual> {
  using inherited = TDictionary<K, V, THash, TEqual>;

public:
  explicit TObjectDictionary(std::initializer_list<TDictionaryOwnership> AOwnerships, int ACapacity = 0)
      : inherited(ACapacity) {
    for (const TDictionaryOwnership ownership : AOwnerships) {
      if (ownership == TDictionaryOwnership::doOwnsKeys)
        FOwnsKeys = true;
      else
        FOwnsValues = true;
    }
    if ((FOwnsKeys && !detail::IsObjectPointer<K>) || (FOwnsValues && !detail::IsObjectPointer<V>))
      throw EInvalidCast(messages::InvalidCast);
  }
  TObjectDictionary(const TObjectDictionary&) = delete;
  TObjectDictionary& operator=(const TObjectDictionary&) = delete;
  // Clears here: the base destructor no longer reaches this class's notifications.
  ~TObjectDictionary() override { this->Clear(); }

  bool OwnsKeys() const { return FOwnsKeys; }
  bool OwnsValues() const { return FOwnsValues; }

protected:
  void KeyNotify(const K& AKey, TCollectionNotification AAction) override {
    inherited::KeyNotify(AKey, AAction);
    if (FOwnsKeys && AAction == TCollectionNotification::cnRemoved)
      detail::FreeOwned(AKey);
  }
  void ValueNotify(const V& AValue, TCollectionNotification AAction) override {
    inherited::ValueNotify(AValue, AAction);
    if (FOwnsValues && AAction == TCollectionNotification::cnRemoved)
      detail::FreeOwned(AValue);
  }

private:
  bool FOwnsKeys = false;
  bool FOwnsValues = false;
};

} // namespace rtl
