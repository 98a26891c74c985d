#pragma once
// TSet<E>: a set of enumeration elements, bit n standing for ordinal n, so the bits travel through
// TValue and streams as one 64-bit integer and element ordinals keep their meaning across builds.

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>

#include "rtl/exceptions.h"
#include "rtl/typeinfo.h"

namespace rtl {

template <class E> class TSet {
  static_assert(std::is_enum_v<E>, "TSet: the element type must be an enumeration");

public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> AElements) {
    for (E element : AElements)
      Include(element);
  }

  static constexpr TSet FromBits(uint64_t ABits) {
    TSet result;
    result.FBits = ABits;
    return result;
  }
  constexpr uint64_t Bits() const { return FBits; }

  constexpr TSet& Include(E AElement) {
    FBits |= Bit(AElement);
    return *this;
  }
  constexpr TSet& Exclude(E AElement) {
    FBits &= ~Bit(AElement);
    return *this;
  }
  constexpr bool Contains(E AElement) const { return (FBits & Bit(AElement)) != 0; }
  constexpr bool IsEmpty() const { return FBits == 0; }
  constexpr int Count() const { return std::popcount(FBits); }
  // Every element of this set is in AOther.
  constexpr bool IsSubsetOf(const TSet& AOther) const { return (FBits & ~AOther.FBits) == 0; }

  friend constexpr TSet operator+(TSet A, TSet B) { return FromBits(A.FBits | B.FBits); }
  friend constexpr TSet operator-(TSet A, TSet B) { return FromBits(A.FBits & ~B.FBits); }
  friend constexpr TSet operator*(TSet A, TSet B) { return FromBits(A.FBits & B.FBits); }
  friend constexpr bool operator==(TSet A, TSet B) = default;
  constexpr TSet& operator+=(TSet AOther) { return *this = *this + AOther; }
  constexpr TSet& operator-=(TSet AOther) { return *this = *this - AOther; }
  constexpr TSet& operator*=(TSet AOther) { return *this = *this * AOther; }

private:
  uint64_t FBits = 0;

  static constexpr uint64_t Bit(E AElement) {
    const auto ordinal = static_cast<int64_t>(AElement);
    if (ordinal < 0 || ordinal >= 64)
      throw ERangeError(messages::RangeError);
    return uint64_t{1} << ordinal;
  }
};

// The type information of a set: kind tkSet with the element type's names, so sets are read and
// written by element name.
template <class E> const TTypeInfo& RtlTypeInfo(TSet<E>*) {
  static const std::string name = "set of " + std::string(TypeInfoOf<E>().Name);
  static const TTypeInfo info{name, TTypeKind::tkSet, sizeof(uint64_t), true, TypeInfoOf<E>().Names};
  return info;
}

} // namespace rtl
