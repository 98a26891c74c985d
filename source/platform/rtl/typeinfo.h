#pragma once
// Run-time type information for values that are read and written by name: published properties,
// typed values (TValue) and record fields.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

enum class TTypeKind : uint8_t {
  tkUnknown,
  tkInteger,     // 32-bit and smaller ordinals (Integer, Cardinal, Byte, Word, TAlphaColor)
  tkInt64,       // Int64, UInt64
  tkFloat,       // Single, Double, Extended, TDateTime
  tkBoolean,     // Boolean, LongBool
  tkEnumeration, // other enumerations
  tkSet,
  tkChar,
  tkString,
  tkRecord,
  tkClass,
};

struct TTypeInfo {
  std::string_view Name;
  TTypeKind Kind = TTypeKind::tkUnknown;
  uint32_t Size = 0;
  bool IsUnsigned = false;
  // Element names of an enumeration, or of a set's element type, by ordinal.
  const std::vector<std::string_view>* Names = nullptr;

  // The ordinal of an element name (ASCII case-insensitive), or -1.
  int IndexOfName(std::string_view AName) const;
};

// Type information of the fundamental types, looked up by C++ type with TypeInfoOf<T>().
const TTypeInfo& TypeInfoInteger();   // int32_t
const TTypeInfo& TypeInfoCardinal();  // uint32_t
const TTypeInfo& TypeInfoShortInt();  // int8_t
const TTypeInfo& TypeInfoByte();      // uint8_t
const TTypeInfo& TypeInfoSmallInt();  // int16_t
const TTypeInfo& TypeInfoWord();      // uint16_t
const TTypeInfo& TypeInfoInt64();     // int64_t
const TTypeInfo& TypeInfoUInt64();    // uint64_t
const TTypeInfo& TypeInfoSingle();    // float
const TTypeInfo& TypeInfoDouble();    // double
const TTypeInfo& TypeInfoBoolean();   // bool
const TTypeInfo& TypeInfoString();    // std::string
const TTypeInfo& TypeInfoChar();      // char32_t
const TTypeInfo& TypeInfoObject();    // TObject* and descendants
// Identities that share a C++ type with another: pass them explicitly.
const TTypeInfo& TypeInfoExtended();  // double
const TTypeInfo& TypeInfoDateTime();  // double
const TTypeInfo& TypeInfoAlphaColor(); // uint32_t
const TTypeInfo& TypeInfoLongBool();  // bool

class TObject;

// Type lookup by overload: a type T has information when an overload RtlTypeInfo(T*) is found,
// in namespace rtl for the fundamental types, by argument-dependent lookup for enumerations and
// records (declared next to them with RTL_ENUM_TYPEINFO or by hand).
inline const TTypeInfo& RtlTypeInfo(int32_t*) { return TypeInfoInteger(); }
inline const TTypeInfo& RtlTypeInfo(uint32_t*) { return TypeInfoCardinal(); }
inline const TTypeInfo& RtlTypeInfo(int8_t*) { return TypeInfoShortInt(); }
inline const TTypeInfo& RtlTypeInfo(uint8_t*) { return TypeInfoByte(); }
inline const TTypeInfo& RtlTypeInfo(int16_t*) { return TypeInfoSmallInt(); }
inline const TTypeInfo& RtlTypeInfo(uint16_t*) { return TypeInfoWord(); }
inline const TTypeInfo& RtlTypeInfo(int64_t*) { return TypeInfoInt64(); }
inline const TTypeInfo& RtlTypeInfo(uint64_t*) { return TypeInfoUInt64(); }
inline const TTypeInfo& RtlTypeInfo(float*) { return TypeInfoSingle(); }
inline const TTypeInfo& RtlTypeInfo(double*) { return TypeInfoDouble(); }
inline const TTypeInfo& RtlTypeInfo(bool*) { return TypeInfoBoolean(); }
inline const TTypeInfo& RtlTypeInfo(std::string*) { return TypeInfoString(); }
inline const TTypeInfo& RtlTypeInfo(char32_t*) { return TypeInfoChar(); }

template <class T> const TTypeInfo& TypeInfoOf() {
  if constexpr (std::is_pointer_v<T>)
    return TypeInfoObject();
  else
    return RtlTypeInfo(static_cast<T*>(nullptr));
}

} // namespace rtl

// Declares the type information of an enumeration next to it (in its own namespace):
// RTL_ENUM_TYPEINFO(TMultisample, "None", "TwoSamples", "FourSamples")
#define RTL_ENUM_TYPEINFO(E, ...)                                                                            \
  inline const ::rtl::TTypeInfo& RtlTypeInfo(E*) {                                                           \
    static const std::vector<std::string_view> names{__VA_ARGS__};                                           \
    static const ::rtl::TTypeInfo info{#E, ::rtl::TTypeKind::tkEnumeration, sizeof(E), false, &names};       \
    return info;                                                                                             \
  }
