#pragma once
// Field tables: what a deep copy needs to know about the fields of a class, listed per class in
// declaration order (GetCopyFields puts the ancestors' fields first). Each field has a name and a
// kind; value and event fields copy themselves from another instance, object fields are read and
// written through their accessors (setters keep free-notification links right) and know their
// declared class. A class registers its table from its unit's start-up function.

#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "rtl/method.h"
#include "rtl/object.h"

namespace rtl {

class TPersistent;

enum class TFieldKind : uint8_t {
  Value,      // numbers, strings, records, sets: copied as they are
  Event,      // a comparable event (TMethod): copied, then possibly re-bound
  Object,     // a reference to an object
  DynArray,   // a dynamic array: never copied
  NoTypeInfo, // a field the copy must not touch (containers, caches)
};

struct TCopyField {
  std::string Name;
  TFieldKind Kind = TFieldKind::Value;
  // The field only refers to its object (weak, unsafe, ref): it never receives Assign.
  bool DeclaredAsReference = false;
  // Object fields: the declared class, or nullptr when the declared type is a template ("generic").
  const TClass* DeclaredClass = nullptr;
  std::function<TObject*(const TObject* AInstance)> GetObject;
  // Empty for a field that is only read (an owned sub-object).
  std::function<void(TObject* AInstance, TObject* AValue)> SetObject;
  // Value fields: copies the field of ASource into ADest.
  std::function<void(TObject* ADest, const TObject* ASource)> CopyValue;
  // Event fields: the event inside AInstance.
  std::function<TMethod*(TObject* AInstance)> Method;
  const TClass* Owner = nullptr;

  bool IsGeneric() const { return Kind == TFieldKind::Object && DeclaredClass == nullptr; }
  // Whether the declared class has Assign, that is descends from TPersistent.
  bool HasAssign() const;
};

// Registers the table of AClass (replacing an earlier one). Each entry's Owner is set to AClass.
void RegisterFields(const TClass& AClass, std::vector<TCopyField> AFields);
void UnRegisterFields(const TClass& AClass);
// Every field of AClass and its ancestors, ancestors first; classes without a table add nothing.
std::vector<const TCopyField*> GetCopyFields(const TClass& AClass);

namespace detail {
template <class T> struct FieldPointer;
template <class C, class T> struct FieldPointer<T C::*> {
  using Owner = C;
  using Type = T;
};
} // namespace detail

// Builders for table entries from pointers to data members: ValueField<&TFoo::FWidth>("FWidth").
template <auto AMember> TCopyField ValueField(std::string_view AName) {
  using C = typename detail::FieldPointer<decltype(AMember)>::Owner;
  TCopyField info;
  info.Name = std::string(AName);
  info.Kind = TFieldKind::Value;
  info.CopyValue = [](TObject* ADest, const TObject* ASource) {
    static_cast<C*>(ADest)->*AMember = static_cast<const C*>(ASource)->*AMember;
  };
  return info;
}

template <auto AMember> TCopyField EventField(std::string_view AName) {
  using C = typename detail::FieldPointer<decltype(AMember)>::Owner;
  static_assert(std::is_base_of_v<TMethod, typename detail::FieldPointer<decltype(AMember)>::Type>);
  TCopyField info;
  info.Name = std::string(AName);
  info.Kind = TFieldKind::Event;
  info.Method = [](TObject* AInstance) -> TMethod* { return &(static_cast<C*>(AInstance)->*AMember); };
  return info;
}

// An object field read and written directly (no setter), or an owned sub-object held in a
// TOwned, which is only read (its owner keeps it for life). ADeclared is the declared class, or
// nullptr for a template type.
template <auto AMember>
TCopyField ObjectField(std::string_view AName, const TClass* ADeclared, bool ADeclaredAsReference = false) {
  using C = typename detail::FieldPointer<decltype(AMember)>::Owner;
  using T = typename detail::FieldPointer<decltype(AMember)>::Type;
  TCopyField info;
  info.Name = std::string(AName);
  info.Kind = TFieldKind::Object;
  info.DeclaredAsReference = ADeclaredAsReference;
  info.DeclaredClass = ADeclared;
  if constexpr (std::is_pointer_v<T>) {
    info.GetObject = [](const TObject* AInstance) -> TObject* {
      return static_cast<const C*>(AInstance)->*AMember;
    };
    info.SetObject = [](TObject* AInstance, TObject* AValue) {
      static_cast<C*>(AInstance)->*AMember = CheckedCast<std::remove_pointer_t<T>>(AValue);
    };
  } else {
    info.GetObject = [](const TObject* AInstance) -> TObject* {
      return (static_cast<const C*>(AInstance)->*AMember).get();
    };
  }
  return info;
}

// An entry of the given kind that the copy skips (dynamic arrays, fields without type information).
TCopyField SkippedField(std::string_view AName, TFieldKind AKind);

} // namespace rtl
