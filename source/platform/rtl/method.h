#pragma once
// Comparable events: a handler is an object and one of its member functions (a method pointer),
// never a closure, so two handlers compare equal exactly when both the object and the member are
// the same, and a handler can be moved to another object of the same class (a copied component
// re-binds its handlers to its own copies).

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "rtl/exceptions.h"
#include "rtl/object.h"

namespace rtl {

// The untyped part of every event: the object, the member pointer's bytes and the functions that
// know the member's class. Equality compares all of them.
class TMethod {
public:
  TMethod() = default;

  bool Assigned() const { return FObject != nullptr; }
  explicit operator bool() const { return Assigned(); }
  TObject* Object() const { return FObject; }
  void Clear() { *this = TMethod(); }

  // The same member bound to AObject, which must be of the member's class (else EInvalidCast);
  // nullptr unbinds.
  void Rebind(TObject* AObject) {
    if (!AObject) {
      Clear();
      return;
    }
    if (!FAccepts || !FAccepts(AObject))
      throw EInvalidCast(messages::InvalidCast);
    FObject = AObject;
  }

  bool operator==(const TMethod& AOther) const {
    return FObject == AOther.FObject && FInvoker == AOther.FInvoker &&
           std::memcmp(FCode, AOther.FCode, sizeof(FCode)) == 0;
  }

protected:
  // Large enough for a member pointer of a class with single or multiple inheritance.
  static constexpr std::size_t CodeSize = 2 * sizeof(void*);

  TObject* FObject = nullptr;
  alignas(std::max_align_t) unsigned char FCode[CodeSize] = {};
  void (*FInvoker)() = nullptr;
  bool (*FAccepts)(TObject* AObject) = nullptr;
};

template <class... TArgs> class TMethodEvent : public TMethod {
public:
  TMethodEvent() = default;
  TMethodEvent(std::nullptr_t) {}
  template <class C> TMethodEvent(C* AObject, void (C::*AMember)(TArgs...)) {
    static_assert(std::is_base_of_v<TObject, C>, "event handlers are members of TObject classes");
    static_assert(sizeof(AMember) <= CodeSize);
    if (!AObject)
      return;
    FObject = AObject;
    std::memcpy(FCode, &AMember, sizeof(AMember));
    FInvoker = reinterpret_cast<void (*)()>(&Invoke<C>);
    FAccepts = [](TObject* ATarget) { return dynamic_cast<C*>(ATarget) != nullptr; };
  }

  // Calls the handler; an unassigned event does nothing.
  void operator()(TArgs... AArgs) const {
    if (FObject)
      reinterpret_cast<TInvoker>(FInvoker)(FObject, FCode, static_cast<TArgs>(AArgs)...);
  }

private:
  using TInvoker = void (*)(TObject*, const unsigned char*, TArgs...);

  template <class C> static void Invoke(TObject* AObject, const unsigned char* ACode, TArgs... AArgs) {
    void (C::*member)(TArgs...);
    std::memcpy(&member, ACode, sizeof(member));
    (dynamic_cast<C*>(AObject)->*member)(static_cast<TArgs>(AArgs)...);
  }
};

// The plain event: the sender only.
using TNotifyEvent = TMethodEvent<TObject*>;

} // namespace rtl
