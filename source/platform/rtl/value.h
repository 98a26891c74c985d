#pragma once
// TValue: a typed value, as published properties, definition properties and parameter maps
// exchange them. It knows its type (TTypeInfo) and converts by a fixed table; a conversion the
// table does not allow raises EInvalidCast.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "rtl/exceptions.h"
#include "rtl/typeinfo.h"

namespace rtl {

class TObject;
template <class E> class TSet;

class TValue {
public:
  TValue() = default;
  TValue(const TValue& AOther);
  TValue(TValue&& AOther) noexcept;
  TValue& operator=(const TValue& AOther);
  TValue& operator=(TValue&& AOther) noexcept;
  ~TValue();

  template <class T> static TValue From(const T& AValue) { return From(AValue, TypeInfoOf<T>()); }
  // A value of an explicit type identity (TAlphaColor and Cardinal share uint32_t).
  template <class T> static TValue From(const T& AValue, const TTypeInfo& AType);
  static TValue From(const char* AValue) { return From(std::string(AValue)); }
  static TValue From(std::string_view AValue) { return From(std::string(AValue)); }
  // An ordinal (enumeration element, set bits, integer) of the given type.
  static TValue FromOrdinal(const TTypeInfo& AType, int64_t AValue);

  bool IsEmpty() const { return FType == nullptr; }
  TTypeKind Kind() const { return FType ? FType->Kind : TTypeKind::tkUnknown; }
  const TTypeInfo* TypeInfo() const { return FType; }
  std::string_view TypeName() const { return FType ? FType->Name : std::string_view(); }

  int32_t AsInteger() const;
  int64_t AsInt64() const;
  uint64_t AsUInt64() const;
  float AsSingle() const;
  double AsDouble() const;
  double AsExtended() const { return AsDouble(); }
  bool AsBoolean() const;
  // Numbers in the en-US form, enumerations and Booleans by name, sets as "[a,b]".
  std::string AsString() const;
  int64_t AsOrdinal() const;
  TObject* AsObject() const;

  // The value as exactly the type T; any other type raises EInvalidCast. The empty value gives
  // T's default (a zeroed record).
  template <class T> T AsType() const;
  template <class T> bool IsType() const;

  // AsString, except "(empty)" for the empty value and "(record)" for records.
  std::string ToString() const;
  // Two records of the same type with equal values; False for anything else.
  bool RecordEquals(const TValue& AOther) const;

private:
  // Records of up to this size (and alignment up to 16) are held inline; larger ones on the heap.
  static constexpr size_t InlineRecordSize = 64;

  const TTypeInfo* FType = nullptr;
  union {
    int64_t I;
    uint64_t U;
    double D;
    TObject* O;
    void* Heap;
    alignas(16) unsigned char Record[InlineRecordSize];
  } FData{};
  std::string FString;

  [[noreturn]] static void InvalidCast();
  // A set as its element names: "[a,b]".
  std::string SetToString() const;
  static bool IsInline(const TTypeInfo& AType) {
    return AType.Size <= InlineRecordSize && AType.Record->Align <= 16;
  }
  bool HoldsRecord() const { return FType && FType->Kind == TTypeKind::tkRecord; }
  const void* RecordData() const { return IsInline(*FType) ? FData.Record : FData.Heap; }
  // Copies a record of type AType and ASize bytes into this value; a type that is no record of
  // that size raises EInvalidCast.
  void EmplaceRecord(const TTypeInfo& AType, size_t ASize, const void* ASource);
  void CopyFrom(const TValue& AOther);
  void MoveFrom(TValue& AOther) noexcept;
  void Clear() noexcept;
};

template <class T> TValue TValue::From(const T& AValue, const TTypeInfo& AType) {
  TValue result;
  result.FType = &AType;
  if constexpr (std::is_same_v<T, std::string>)
    result.FString = AValue;
  else if constexpr (std::is_pointer_v<T>)
    result.FData.O = const_cast<TObject*>(static_cast<const TObject*>(AValue));
  else if constexpr (std::is_floating_point_v<T>)
    result.FData.D = static_cast<double>(AValue);
  else if constexpr (std::is_enum_v<T>)
    result.FData.I = static_cast<int64_t>(AValue);
  else if constexpr (std::is_same_v<T, uint64_t>)
    result.FData.U = AValue;
  else if constexpr (std::is_integral_v<T>)
    result.FData.I = static_cast<int64_t>(AValue);
  else if constexpr (requires { AValue.Bits(); })
    result.FData.U = AValue.Bits();
  else if constexpr (RecordType<T>)
    result.EmplaceRecord(AType, sizeof(T), &AValue);
  else
    static_assert(sizeof(T) == 0, "TValue::From: unsupported type");
  return result;
}

template <class T> bool TValue::IsType() const {
  if (!FType)
    return true;
  if constexpr (std::is_pointer_v<T>)
    return FType->Kind == TTypeKind::tkClass &&
           (FData.O == nullptr || dynamic_cast<std::remove_cv_t<std::remove_pointer_t<T>>*>(FData.O));
  else
    return FType == &TypeInfoOf<T>();
}

template <class T> T TValue::AsType() const {
  if (!FType)
    return T{};
  if (!IsType<T>())
    InvalidCast();
  if constexpr (RecordType<T>)
    return *static_cast<const T*>(RecordData());
  else if constexpr (std::is_same_v<T, std::string>)
    return FString;
  else if constexpr (std::is_pointer_v<T>)
    return dynamic_cast<T>(FData.O);
  else if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(FData.D);
  else if constexpr (std::is_same_v<T, uint64_t>)
    return FData.U;
  else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>)
    return static_cast<T>(FData.I);
  else
    return T::FromBits(FData.U);
}

} // namespace rtl
