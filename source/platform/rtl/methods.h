#pragma once
// Methods callable by name: each class may register some of its member functions in its
// metaclass's method table (the fourth argument of RTL_DEFINE_CLASS). A caller that knows only a
// name and a list of typed values (a script, a dialogue event) finds the method with
// GetMethodInfo and calls it with Invoke; the arguments convert by the published-property rules
// and the result is dropped.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "rtl/method.h"
#include "rtl/object.h"
#include "rtl/properties.h"
#include "rtl/value.h"

namespace rtl {

struct TMethodInfo {
  std::string Name;
  int ParamCount = 0;
  const TClass* Owner = nullptr;
  // Calls the member on AInstance with arguments that already have the right count.
  std::function<void(TObject* AInstance, std::span<const TValue> AArgs)> Call;
  // For a non-const method without result: the type of the event it can handle (a
  // TMethodEvent of its parameters) and that handler bound to AInstance. Empty otherwise.
  const std::type_info* EventSignature = nullptr;
  std::function<TMethod(TObject* AInstance)> MakeHandler;

  // Raises EInvocationError "Parameter count mismatch" when AArgs has the wrong length and
  // EInvalidCast for an argument that does not convert to its parameter's type. Exceptions of
  // the method itself propagate.
  void Invoke(TObject* AInstance, std::span<const TValue> AArgs) const;
};

namespace detail {
// AValue as a value of type T, converted as a published property of type T would take it.
template <class T> T MethodArgument(const TValue& AValue) {
  TPropInfo target;
  target.Name = "argument";
  target.Type = &TypeInfoOf<T>();
  try {
    return FromValue<T>(ConvertForProperty(target, AValue));
  } catch (const Exception&) {
    throw EInvalidCast(messages::InvalidCast);
  }
}
} // namespace detail

class TMethodList {
public:
  explicit TMethodList(const TClass& AOwner) : FOwner(AOwner) {}

  // Add("Pay", &TFoo::Pay) for any member function of the class (or a base) whose parameters
  // are values with type information.
  template <class TOwner, class TResult, class... TArgs>
  TMethodInfo& Add(std::string_view AName, TResult (TOwner::*AMethod)(TArgs...)) {
    TMethodInfo& info =
        Append<TOwner, TArgs...>(AName, [AMethod](TOwner* AObject, std::remove_cvref_t<TArgs>&&... AArgs) {
          (AObject->*AMethod)(std::move(AArgs)...);
        });
    if constexpr (std::is_void_v<TResult>) {
      info.EventSignature = &typeid(TMethodEvent<TArgs...>);
      info.MakeHandler = [AMethod](TObject* AInstance) -> TMethod {
        return TMethodEvent<TArgs...>(CheckedCast<TOwner>(AInstance), AMethod);
      };
    }
    return info;
  }

  template <class TOwner, class TResult, class... TArgs>
  TMethodInfo& Add(std::string_view AName, TResult (TOwner::*AMethod)(TArgs...) const) {
    return Append<TOwner, TArgs...>(AName, [AMethod](TOwner* AObject, std::remove_cvref_t<TArgs>&&... AArgs) {
      (AObject->*AMethod)(std::move(AArgs)...);
    });
  }

  const std::vector<std::unique_ptr<TMethodInfo>>& Items() const { return FItems; }

private:
  template <class TOwner, class... TArgs, class TCall>
  TMethodInfo& Append(std::string_view AName, TCall ACall) {
    auto info = std::make_unique<TMethodInfo>();
    info->Name = std::string(AName);
    info->ParamCount = sizeof...(TArgs);
    info->Owner = &FOwner;
    info->Call = [ACall](TObject* AInstance, std::span<const TValue> AValues) {
      CallWith<TOwner, TArgs...>(ACall, CheckedCast<TOwner>(AInstance), AValues,
                                 std::index_sequence_for<TArgs...>());
    };
    FItems.push_back(std::move(info));
    return *FItems.back();
  }

  template <class TOwner, class... TArgs, class TCall, std::size_t... I>
  static void CallWith(const TCall& ACall, TOwner* AObject, [[maybe_unused]] std::span<const TValue> AValues,
                       std::index_sequence<I...>) {
    // Converted first, in order, so a failing argument raises before the call.
    std::tuple<std::remove_cvref_t<TArgs>...> args{
        detail::MethodArgument<std::remove_cvref_t<TArgs>>(AValues[I])...};
    ACall(AObject, std::move(std::get<I>(args))...);
  }

  const TClass& FOwner;
  std::vector<std::unique_ptr<TMethodInfo>> FItems;
};

// The method of that name (ASCII case-insensitive) of AClass or its nearest parent that has one;
// nullptr when none has.
const TMethodInfo* GetMethodInfo(const TClass& AClass, std::string_view AName);

} // namespace rtl
