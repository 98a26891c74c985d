#include "rtl/object.h"

#include <map>
#include <mutex>

#include "rtl/methods.h"
#include "rtl/properties.h"
#include "rtl/sync.h"
#include "rtl/sysutils.h"

namespace rtl {

TClass& TObject::StaticClass() {
  static TClass metaclass("TObject", "System", nullptr, nullptr);
  return metaclass;
}

TClass& TObject::ClassType() const {
  return StaticClass();
}

TObject::~TObject() { detail::FreeMonitorSlot(FMonitor.load(std::memory_order_acquire)); }

const std::string& TObject::ClassName() const { return ClassType().Name(); }

bool TObject::InheritsFrom(const TClass& AClass) const {
  return ClassType().InheritsFrom(AClass);
}

void TObject::Free() {
  BeforeDestruction();
  delete this;
}

void TFreeDeleter::operator()(TObject* AObject) const {
  if (AObject)
    AObject->Free();
}

TClass::TClass(std::string AName, std::string AUnitName, TClass* AParent, TObjectFactory AFactory,
               TRegisterProperties ARegisterProperties, TRegisterMethods ARegisterMethods)
    : FName(std::move(AName)), FUnitName(std::move(AUnitName)),
      FQualifiedName(FUnitName.empty() ? FName : FUnitName + "." + FName), FParent(AParent),
      FFactory(AFactory), FRegisterProperties(ARegisterProperties), FRegisterMethods(ARegisterMethods) {}

TClass::~TClass() = default;

bool TClass::InheritsFrom(const TClass& AClass) const {
  for (const TClass* c = this; c; c = c->FParent)
    if (c == &AClass)
      return true;
  return false;
}

TObject* TClass::NewInstance(TComponent* AOwner) const {
  if (!FFactory)
    throw EAbstractError(messages::AbstractError);
  return FFactory(AOwner);
}

TObject* TClass::Create(TComponent* AOwner) const {
  return Construct(NewInstance(AOwner));
}

namespace {
struct TClassRegistry {
  std::mutex Lock;
  // Keyed by lower-case name so lookups ignore case, as the runtime's do.
  std::map<std::string, TClass*> ByName;
};
TClassRegistry& Registry() {
  static TClassRegistry registry;
  return registry;
}
} // namespace

void RegisterClass(TClass& AClass) {
  auto& registry = Registry();
  std::lock_guard guard(registry.Lock);
  registry.ByName[LowerCase(AClass.Name())] = &AClass;
  registry.ByName[LowerCase(AClass.QualifiedName())] = &AClass;
}

void UnRegisterClass(TClass& AClass) {
  auto& registry = Registry();
  std::lock_guard guard(registry.Lock);
  for (const auto& key : {LowerCase(AClass.Name()), LowerCase(AClass.QualifiedName())}) {
    auto it = registry.ByName.find(key);
    if (it != registry.ByName.end() && it->second == &AClass)
      registry.ByName.erase(it);
  }
}

TClass* GetClass(std::string_view AName) {
  auto& registry = Registry();
  std::lock_guard guard(registry.Lock);
  auto it = registry.ByName.find(LowerCase(AName));
  return it == registry.ByName.end() ? nullptr : it->second;
}

std::vector<TClass*> GetRegisteredClasses() {
  auto& registry = Registry();
  std::lock_guard guard(registry.Lock);
  std::map<std::string, TClass*> unique;
  for (const auto& [name, metaclass] : registry.ByName)
    unique.emplace(metaclass->QualifiedName(), metaclass);
  std::vector<TClass*> result;
  for (const auto& [name, metaclass] : unique)
    result.push_back(metaclass);
  return result;
}

TClass& FindClass(std::string_view AName) {
  if (TClass* result = GetClass(AName))
    return *result;
  throw EClassNotFound("Class " + std::string(AName) + " not found");
}

} // namespace rtl
