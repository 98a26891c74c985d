#pragma once
// The object model: every class derives from TObject and has one metaclass object (TClass) that
// carries its name, unit, parent, factory and published-property table. Objects are made only
// through factories, which run AfterConstruction() so that creation-time hooks reach the
// most-derived override, and destroyed through Free(), which runs BeforeDestruction() while the
// object is still whole.

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "rtl/exceptions.h"

namespace rtl {

class TObject;
class TClass;
class TComponent;
class TPropertyList;
class TMethodList;
namespace detail {
struct TMonitorSlot;
}

// Makes a new instance for a metaclass; AOwner is used by components and ignored otherwise.
using TObjectFactory = TObject* (*)(TComponent* AOwner);

class TObject {
public:
  // Frees the object's monitor slot, if it ever had one.
  virtual ~TObject();
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  static TClass& StaticClass();
  virtual TClass& ClassType() const;
  const std::string& ClassName() const;
  bool InheritsFrom(const TClass& AClass) const;
  template <class T> bool Is() const { return dynamic_cast<const T*>(this) != nullptr; }

  // Runs after the constructor, when virtual calls reach the final class.
  virtual void AfterConstruction() {}
  // Runs before the destructor, while the object is still whole.
  virtual void BeforeDestruction() {}
  // BeforeDestruction(), then delete. Safe on nullptr through FreeAndNil / TFreeDeleter.
  void Free();

protected:
  TObject() = default;

private:
  friend class TMonitor;
  // The object's own monitor, made on its first Enter (rtl/sync.h).
  mutable std::atomic<detail::TMonitorSlot*> FMonitor{nullptr};
};

// Deleter for objects without owner held in std::unique_ptr.
struct TFreeDeleter {
  void operator()(TObject* AObject) const;
};
template <class T> using TOwned = std::unique_ptr<T, TFreeDeleter>;

template <class T> void FreeAndNil(T*& AObject) {
  T* object = AObject;
  AObject = nullptr;
  if (object)
    object->Free();
}

// Runs AfterConstruction on a freshly constructed object; if it throws, the partly built object
// is freed (BeforeDestruction, then the destructor) and the exception propagates.
template <class T> T* Construct(T* AObject) {
  try {
    AObject->AfterConstruction();
  } catch (...) {
    AObject->Free();
    throw;
  }
  return AObject;
}

// The one way to make an object whose class is known at compile time.
template <class T, class... TArgs> T* New(TArgs&&... AArgs) {
  return Construct(new T(std::forward<TArgs>(AArgs)...));
}
template <class T, class... TArgs> TOwned<T> MakeOwned(TArgs&&... AArgs) {
  return TOwned<T>(New<T>(std::forward<TArgs>(AArgs)...));
}

// A checked cast: nullptr stays nullptr, an object of another class raises EInvalidCast.
template <class T, class U> T* CheckedCast(U* AObject) {
  if (!AObject)
    return nullptr;
  if (auto* result = dynamic_cast<T*>(AObject))
    return result;
  throw EInvalidCast(messages::InvalidCast);
}

class TClass {
public:
  using TRegisterProperties = void (*)(TPropertyList& AList);
  using TRegisterMethods = void (*)(TMethodList& AList);

  TClass(std::string AName, std::string AUnitName, TClass* AParent, TObjectFactory AFactory,
         TRegisterProperties ARegisterProperties = nullptr, TRegisterMethods ARegisterMethods = nullptr);
  virtual ~TClass();
  TClass(const TClass&) = delete;
  TClass& operator=(const TClass&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& UnitName() const { return FUnitName; }
  // "Unit.TName", the form stored in files.
  const std::string& QualifiedName() const { return FQualifiedName; }
  TClass* Parent() const { return FParent; }
  bool InheritsFrom(const TClass& AClass) const;
  bool IsAbstract() const { return FFactory == nullptr; }

  // Makes an instance through the factory and runs AfterConstruction. Raises EAbstractError for
  // a class without factory.
  TObject* Create(TComponent* AOwner = nullptr) const;
  template <class T> T* CreateAs(TComponent* AOwner = nullptr) const {
    return CheckedCast<T>(Create(AOwner));
  }
  // Makes an instance through the factory without running AfterConstruction, for a caller that
  // must attach it somewhere first (a collection its item); the caller finishes it with
  // Construct(). Raises EAbstractError as Create does.
  TObject* NewInstance(TComponent* AOwner = nullptr) const;

  // This class's own published properties (inherited ones live in the parents' tables).
  const TPropertyList& OwnProperties() const;
  // This class's own methods callable by name (rtl/methods.h).
  const TMethodList& OwnMethods() const;

private:
  std::string FName;
  std::string FUnitName;
  std::string FQualifiedName;
  TClass* FParent;
  TObjectFactory FFactory;
  TRegisterProperties FRegisterProperties;
  TRegisterMethods FRegisterMethods;
  mutable std::unique_ptr<TPropertyList> FProperties;
  mutable std::unique_ptr<TMethodList> FMethods;
};

// Class registry: classes made by name (streaming, definitions, packages) are registered here.
void RegisterClass(TClass& AClass);
void UnRegisterClass(TClass& AClass);
// By plain name ("TVantrelMesh") or qualified name ("Vantrel.Mesh.TVantrelMesh"); nullptr when
// absent.
TClass* GetClass(std::string_view AName);
// As GetClass, but raises EClassNotFound "Class %s not found".
TClass& FindClass(std::string_view AName);
// Every registered class once, ordered by qualified name.
std::vector<TClass*> GetRegisteredClasses();

namespace detail {
template <class T> TObject* FactoryOf(TComponent* AOwner) {
  if constexpr (std::is_constructible_v<T, TComponent*>)
    return new T(AOwner);
  else
    return new T();
}
template <class T> constexpr TObjectFactory FactoryFor() {
  if constexpr (std::is_abstract_v<T>)
    return nullptr;
  else if constexpr (std::is_constructible_v<T, TComponent*> || std::is_default_constructible_v<T>)
    return &FactoryOf<T>;
  else
    return nullptr;
}
constexpr TClass::TRegisterProperties OptionalRegistrar() { return nullptr; }
constexpr TClass::TRegisterProperties OptionalRegistrar(TClass::TRegisterProperties ARegistrar,
                                                        TClass::TRegisterMethods = nullptr) {
  return ARegistrar;
}
constexpr TClass::TRegisterMethods OptionalMethodRegistrar() { return nullptr; }
constexpr TClass::TRegisterMethods OptionalMethodRegistrar(TClass::TRegisterProperties) { return nullptr; }
constexpr TClass::TRegisterMethods OptionalMethodRegistrar(TClass::TRegisterProperties,
                                                           TClass::TRegisterMethods ARegistrar) {
  return ARegistrar;
}
} // namespace detail

} // namespace rtl

// In a class body: declares the metaclass accessors. TParent is the direct base class.
// Factories need access to the constructors, which stay protected or public as the class likes.
#define RTL_CLASS(TName, TParent)                                                                            \
public:                                                                                                      \
  using inherited = TParent;                                                                                 \
  static ::rtl::TClass& StaticClass();                                                                       \
  ::rtl::TClass& ClassType() const override { return StaticClass(); }                                        \
  template <class> friend ::rtl::TObject* ::rtl::detail::FactoryOf(::rtl::TComponent*);                     \
                                                                                                             \
private:

// In a class body, for classes whose metaclass is a TClass subclass with class-level virtuals.
#define RTL_CLASS_META(TName, TParent, TMeta)                                                                \
public:                                                                                                      \
  using inherited = TParent;                                                                                 \
  using TMetaClass = TMeta;                                                                                  \
  static TMeta& StaticClass();                                                                               \
  ::rtl::TClass& ClassType() const override { return StaticClass(); }                                        \
  template <class> friend ::rtl::TObject* ::rtl::detail::FactoryOf(::rtl::TComponent*);                     \
                                                                                                             \
private:

// In one source file: defines the metaclass object of TName, in unit AUnit ("Vantrel.Mesh").
// An optional third argument names the static function that registers its published properties,
// an optional fourth the one that registers its methods callable by name (nullptr for none):
// RTL_DEFINE_CLASS(TFoo, "Vantrel.Foo", &TFoo::RegisterProperties, &TFoo::RegisterMethods).
#define RTL_DEFINE_CLASS(TName, AUnit, ...)                                                                  \
  ::rtl::TClass& TName::StaticClass() {                                                                      \
    static ::rtl::TClass metaclass(#TName, AUnit, &inherited::StaticClass(),                                 \
                                   ::rtl::detail::FactoryFor<TName>(),                                       \
                                   ::rtl::detail::OptionalRegistrar(__VA_ARGS__),                            \
                                   ::rtl::detail::OptionalMethodRegistrar(__VA_ARGS__));                     \
    return metaclass;                                                                                        \
  }

// As RTL_DEFINE_CLASS, with a metaclass subclass TMeta whose constructor takes the TClass
// constructor's arguments.
#define RTL_DEFINE_CLASS_META(TName, AUnit, TMeta, ...)                                                      \
  TMeta& TName::StaticClass() {                                                                              \
    static TMeta metaclass(#TName, AUnit, &inherited::StaticClass(), ::rtl::detail::FactoryFor<TName>(),     \
                           ::rtl::detail::OptionalRegistrar(__VA_ARGS__));                                   \
    return metaclass;                                                                                        \
  }
