#pragma once
// Published properties: each class registers its own in its metaclass's table (name, type,
// getter, setter, default, stored predicate). The streamer, definition JSON, animations and
// duplication read and write them by name, with dotted paths into nested persistent objects
// ("Position.X").

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "rtl/method.h"
#include "rtl/object.h"
#include "rtl/value.h"

namespace rtl {

enum class TPropStyle : uint8_t {
  Value,     // a plain value (number, string, enum, set, colour)
  Reference, // a reference to another component, resolved by name after streaming
  Nested,    // an owned persistent object: paths go into it, setting it assigns to it
};

struct TPropInfo {
  std::string Name;
  const TTypeInfo* Type = nullptr;
  TPropStyle Style = TPropStyle::Value;
  std::function<TValue(const TObject*)> Get;
  // Empty for read-only properties.
  std::function<void(TObject*, const TValue&)> Set;
  std::optional<TValue> Default;
  std::function<bool(const TObject*)> StoredPredicate;
  bool StoredFlag = true;
  const TClass* Owner = nullptr;

  bool IsReadOnly() const { return !Set; }
  // Whether the streamer writes this property of AInstance: the stored flag or predicate, and a
  // value that differs from the default.
  bool IsStored(const TObject* AInstance) const;

  // Fluent modifiers for registration.
  TPropInfo& WithDefault(TValue AValue) {
    Default = std::move(AValue);
    return *this;
  }
  template <class T> TPropInfo& WithDefault(const T& AValue) {
    return WithDefault(TValue::From(AValue, *Type));
  }
  TPropInfo& Stored(bool AFlag) {
    StoredFlag = AFlag;
    return *this;
  }
  template <class TOwner> TPropInfo& Stored(bool (TOwner::*APredicate)() const) {
    StoredPredicate = [APredicate](const TObject* AObject) {
      return (static_cast<const TOwner*>(AObject)->*APredicate)();
    };
    return *this;
  }
  TPropInfo& AsReference() {
    Style = TPropStyle::Reference;
    return *this;
  }
  TPropInfo& AsType(const TTypeInfo& AType) {
    Type = &AType;
    return *this;
  }
};

// A published field: a member of a streaming root that the reader binds to the component of the
// same name, checked against the field's class; it is cleared when that component is removed.
struct TFieldInfo {
  std::string Name;
  const TClass* FieldClass = nullptr;
  std::function<TObject*(const TObject*)> Get;
  std::function<void(TObject*, TObject*)> Set;
};

// A published event: a TMethodEvent member that a form binds by the name of one of its root's
// methods (see methods.h). Signature is the event's type, which the bound method must match.
struct TEventInfo {
  std::string Name;
  const std::type_info* Signature = nullptr;
  std::function<TMethod(const TObject*)> Get;
  // AHandler must have the event's signature.
  std::function<void(TObject*, const TMethod&)> Set;
};

class TPropertyList {
public:
  explicit TPropertyList(const TClass& AOwner) : FOwner(AOwner) {}

  // Add("Width", &TFoo::GetWidth, &TFoo::SetWidth): the type is the getter's result type. A
  // pointer to an object is a nested persistent object unless marked AsReference().
  template <class TGetter, class TSetter = std::nullptr_t>
  TPropInfo& Add(std::string_view AName, TGetter AGet, TSetter ASet = nullptr);

  const std::vector<std::unique_ptr<TPropInfo>>& Items() const { return FItems; }

  // AddField("Viewport1", &TForm1::Viewport1): a published field of type T*.
  template <class TOwner, class T> void AddField(std::string_view AName, T* TOwner::*AMember) {
    FFields.push_back(TFieldInfo{std::string(AName), &T::StaticClass(),
                                 [AMember](const TObject* AObject) -> TObject* {
                                   return static_cast<const TOwner*>(AObject)->*AMember;
                                 },
                                 [AMember](TObject* AObject, TObject* AValue) {
                                   static_cast<TOwner*>(AObject)->*AMember = dynamic_cast<T*>(AValue);
                                 }});
  }
  const std::vector<TFieldInfo>& Fields() const { return FFields; }

  // AddEvent("OnClick", &TFoo::OnClick): a published event member of type TMethodEvent<...>.
  template <class TOwner, class... TArgs>
  void AddEvent(std::string_view AName, TMethodEvent<TArgs...> TOwner::*AMember) {
    FEvents.push_back(TEventInfo{std::string(AName), &typeid(TMethodEvent<TArgs...>),
                                 [AMember](const TObject* AObject) -> TMethod {
                                   return static_cast<const TOwner*>(AObject)->*AMember;
                                 },
                                 [AMember](TObject* AObject, const TMethod& AHandler) {
                                   static_cast<TMethod&>(static_cast<TOwner*>(AObject)->*AMember) = AHandler;
                                 }});
  }
  const std::vector<TEventInfo>& Events() const { return FEvents; }

private:
  const TClass& FOwner;
  std::vector<std::unique_ptr<TPropInfo>> FItems;
  std::vector<TFieldInfo> FFields;
  std::vector<TEventInfo> FEvents;
};

// The published field of that name (ASCII case-insensitive) in the class or its parents, or nullptr.
const TFieldInfo* GetFieldInfo(const TClass& AClass, std::string_view AName);
// All published fields of a class, inherited ones first.
std::vector<const TFieldInfo*> GetFieldList(const TClass& AClass);

// The published event of that name (ASCII case-insensitive) in the class or its parents, or nullptr.
const TEventInfo* GetEventInfo(const TClass& AClass, std::string_view AName);
// All published events of a class, inherited ones first.
std::vector<const TEventInfo*> GetEventList(const TClass& AClass);

// Converts AValue to the property's type by the typed-value rules: a float property takes an
// integer; an integer property any integer in its range (ERangeError otherwise); an enumeration,
// Boolean or set its element name(s), a set written "[a,b]" or "a, b".
TValue ConvertForProperty(const TPropInfo& AProp, const TValue& AValue);

// All published properties of a class in declaration order, inherited ones first.
std::vector<const TPropInfo*> GetPropList(const TClass& AClass);
// By name, ASCII case-insensitive, searching the class and its parents; nullptr when absent.
const TPropInfo* GetPropInfo(const TClass& AClass, std::string_view AName);

// By name or dotted path ("Position.X"); an unknown name raises EPropertyError.
TValue GetPropValue(const TObject* AInstance, std::string_view APath);
void SetPropValue(TObject* AInstance, std::string_view APath, const TValue& AValue);
// Sets an enumeration, set or Boolean property from its element name(s), or any other property
// from its text.
void SetPropValueFromString(TObject* AInstance, std::string_view APath, std::string_view AText);
bool IsPublishedProp(const TObject* AInstance, std::string_view APath);

namespace detail {
template <class T> struct MemberTraits;
template <class C, class R> struct MemberTraits<R (C::*)() const> {
  using Owner = C;
  using Value = std::remove_cvref_t<R>;
};
template <class C, class R>
struct MemberTraits<R (C::*)() const noexcept> : MemberTraits<R (C::*)() const> {};
template <class T> struct SetterTraits;
template <class C, class A> struct SetterTraits<void (C::*)(A)> {
  using Owner = C;
  using Arg = std::remove_cvref_t<A>;
};

template <class T> T FromValue(const TValue& AValue) {
  if constexpr (std::is_same_v<T, std::string>)
    return AValue.AsString();
  else if constexpr (std::is_same_v<T, bool>)
    return AValue.AsBoolean();
  else if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(AValue.AsDouble());
  else if constexpr (std::is_pointer_v<T>)
    return AValue.AsObject() ? CheckedCast<std::remove_pointer_t<T>>(AValue.AsObject()) : nullptr;
  else if constexpr (std::is_enum_v<T>)
    return static_cast<T>(AValue.AsOrdinal());
  else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, uint64_t>)
    return static_cast<T>(AValue.AsInt64());
  else if constexpr (std::is_integral_v<T>)
    return static_cast<T>(AValue.Kind() == TTypeKind::tkInt64 ? AValue.AsInteger() : AValue.AsOrdinal());
  else if constexpr (requires { T::FromBits(uint64_t{}); })
    return T::FromBits(static_cast<uint64_t>(AValue.AsOrdinal()));
  else
    return AValue.AsType<T>();
}
} // namespace detail

template <class TGetter, class TSetter>
TPropInfo& TPropertyList::Add(std::string_view AName, TGetter AGet, TSetter ASet) {
  using Traits = detail::MemberTraits<TGetter>;
  using TOwner = typename Traits::Owner;
  using TValueType = typename Traits::Value;
  auto info = std::make_unique<TPropInfo>();
  info->Name = std::string(AName);
  info->Owner = &FOwner;
  info->Type = &TypeInfoOf<TValueType>();
  if constexpr (std::is_pointer_v<TValueType>)
    info->Style = TPropStyle::Nested;
  // The value carries the property's type, which AsType() may set after Add.
  info->Get = [AGet, prop = info.get()](const TObject* AObject) {
    const TOwner* owner = static_cast<const TOwner*>(AObject);
    return TValue::From<TValueType>((owner->*AGet)(), *prop->Type);
  };
  if constexpr (!std::is_same_v<TSetter, std::nullptr_t>) {
    using TArg = typename detail::SetterTraits<TSetter>::Arg;
    info->Set = [ASet](TObject* AObject, const TValue& AValue) {
      TOwner* owner = static_cast<TOwner*>(AObject);
      (owner->*ASet)(detail::FromValue<TArg>(AValue));
    };
  }
  FItems.push_back(std::move(info));
  return *FItems.back();
}

} // namespace rtl
