#pragma once
// Run-time type information for values that are read and written by name: published properties,
// typed values (TValue) and record fields.

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
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
  tkArray, // fixed-size arrays (std::array)
};

// How values of a record type are copied, moved and destroyed, so that a TValue can hold any
// registered record.
struct TRecordOps {
  void (*CopyConstruct)(void* ADest, const void* ASource);
  void (*MoveConstruct)(void* ADest, void* ASource) noexcept;
  void (*Destroy)(void* AValue) noexcept;
  uint32_t Align;
  // Value equality: the record's operator== when it has one, else its bytes.
  bool (*Equal)(const void* ALeft, const void* ARight);
};

template <class R> const TRecordOps& RecordOpsOf() {
  static_assert(std::is_nothrow_move_constructible_v<R>, "records must move without throwing");
  static const TRecordOps ops{
      [](void* ADest, const void* ASource) { new (ADest) R(*static_cast<const R*>(ASource)); },
      [](void* ADest, void* ASource) noexcept { new (ADest) R(std::move(*static_cast<R*>(ASource))); },
      [](void* AValue) noexcept { static_cast<R*>(AValue)->~R(); }, alignof(R),
      [](const void* ALeft, const void* ARight) {
        if constexpr (std::equality_comparable<R>)
          return *static_cast<const R*>(ALeft) == *static_cast<const R*>(ARight);
        else
          return std::memcmp(ALeft, ARight, sizeof(R)) == 0;
      }};
  return ops;
}

struct TTypeInfo;

// One field of a record type, for walks over a record's memory by name.
struct TRecordField {
  std::string_view Name;
  const TTypeInfo* Type = nullptr;
  // Bytes from the start of the record.
  uint32_t Offset = 0;
};

struct TTypeInfo {
  std::string_view Name;
  TTypeKind Kind = TTypeKind::tkUnknown;
  uint32_t Size = 0;
  bool IsUnsigned = false;
  // Element names of an enumeration, or of a set's element type, by ordinal.
  const std::vector<std::string_view>* Names = nullptr;
  // Copy, move and destruction of a record type (tkRecord only).
  const TRecordOps* Record = nullptr;
  // The fields of a record type in declaration order; nullptr when the record declares none.
  const std::vector<TRecordField>* Fields = nullptr;
  // The element type and count of a fixed-size array (tkArray only).
  const TTypeInfo* ElementType = nullptr;
  uint32_t ElementCount = 0;

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

// Byte arrays (TBytes) are values of their own: records named "TBytes".
const TTypeInfo& TypeInfoBytes(); // std::vector<uint8_t>
inline const TTypeInfo& RtlTypeInfo(std::vector<uint8_t>*) { return TypeInfoBytes(); }
inline std::true_type RtlIsRecord(std::vector<uint8_t>*) { return {}; }

// A record type: one registered with RTL_RECORD_TYPEINFO.
template <class T>
concept RecordType = requires {
  { RtlIsRecord(static_cast<T*>(nullptr)) } -> std::same_as<std::true_type>;
};

template <class T> const TTypeInfo& TypeInfoOf();
// Declared ahead of TypeInfoOf's body, which finds it by ordinary lookup: argument-dependent
// lookup would not search this namespace for an array of another namespace's records.
template <class T, std::size_t N> const TTypeInfo& RtlTypeInfo(std::array<T, N>*);

template <class T> const TTypeInfo& TypeInfoOf() {
  if constexpr (std::is_pointer_v<T>)
    return TypeInfoObject();
  else
    return RtlTypeInfo(static_cast<T*>(nullptr));
}

// A fixed-size array of any type that has information.
template <class T, std::size_t N> const TTypeInfo& RtlTypeInfo(std::array<T, N>*) {
  static const std::string name = "array of " + std::string(TypeInfoOf<T>().Name);
  static const TTypeInfo info{name,    TTypeKind::tkArray, sizeof(std::array<T, N>), false, nullptr, nullptr,
                              nullptr, &TypeInfoOf<T>(),   static_cast<uint32_t>(N)};
  return info;
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

// Declares the type information of a record next to it (in its own namespace, at namespace
// scope): RTL_RECORD_TYPEINFO(TMatrix3D). The name is the one TValue reports.
#define RTL_RECORD_TYPEINFO(R)                                                                               \
  inline const ::rtl::TTypeInfo& RtlTypeInfo(R*) {                                                           \
    static const ::rtl::TTypeInfo info{#R,      ::rtl::TTypeKind::tkRecord, sizeof(R), false,                \
                                       nullptr, &::rtl::RecordOpsOf<R>()};                                   \
    return info;                                                                                             \
  }                                                                                                          \
  inline std::true_type RtlIsRecord(R*) { return {}; }                                                      \
  static_assert(true)

// As RTL_RECORD_TYPEINFO, with the record's field table in declaration order:
// RTL_RECORD_TYPEINFO_FIELDS(TLight, RTL_RECORD_FIELD(TLight, Enabled), RTL_RECORD_FIELD(TLight, Power)).
// Each field's type needs type information of its own.
#define RTL_RECORD_TYPEINFO_FIELDS(R, ...)                                                                   \
  inline const ::rtl::TTypeInfo& RtlTypeInfo(R*) {                                                           \
    static const std::vector<::rtl::TRecordField> fields{__VA_ARGS__};                                       \
    static const ::rtl::TTypeInfo info{#R,      ::rtl::TTypeKind::tkRecord, sizeof(R), false,                \
                                       nullptr, &::rtl::RecordOpsOf<R>(),   &fields};                        \
    return info;                                                                                             \
  }                                                                                                          \
  inline std::true_type RtlIsRecord(R*) { return {}; }                                                      \
  static_assert(true)

// One entry of a field table.
// clang-format off
#define RTL_RECORD_FIELD(R, F) \
  ::rtl::TRecordField{#F, &::rtl::TypeInfoOf<decltype(R::F)>(), static_cast<uint32_t>(offsetof(R, F))}
// clang-format on
