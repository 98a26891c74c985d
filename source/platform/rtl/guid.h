#pragma once
// Globally unique identifiers: 16 bytes in the memory layout D1 (32-bit), D2, D3 (16-bit) and the
// eight bytes of D4; the byte form stores D1 to D3 little-endian, then D4.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "rtl/streams.h"

namespace rtl {

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  std::array<uint8_t, 8> D4{};

  // A random (version 4) identifier from the system's entropy.
  static TGUID NewGuid();
  static TGUID Empty() { return {}; }
  // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hex digits in either case; anything else
  // raises EConvertError "'<text>' is not a valid GUID value".
  static TGUID Create(std::string_view AText);
  // From the 16-byte form; another length raises EArgumentException.
  static TGUID Create(std::span<const uint8_t> ABytes);

  bool IsEmpty() const { return *this == TGUID{}; }
  // Upper-case hex digits, with or without the braces.
  std::string ToString(bool ABraces = true) const;
  TBytes ToByteArray() const;

  bool operator==(const TGUID&) const = default;
};
static_assert(sizeof(TGUID) == 16);
static_assert(offsetof(TGUID, D2) == 4 && offsetof(TGUID, D3) == 6 && offsetof(TGUID, D4) == 8);

inline TGUID StringToGUID(std::string_view AText) {
  return TGUID::Create(AText);
}
inline std::string GUIDToString(const TGUID& AGuid) {
  return AGuid.ToString();
}
// The 32 lower-case hex digits in text order, without braces or dashes.
std::string GuidToHex32(const TGUID& AGuid);

} // namespace rtl

template <> struct std::hash<rtl::TGUID> { size_t operator()(const rtl::TGUID& AGuid) const noexcept; };
