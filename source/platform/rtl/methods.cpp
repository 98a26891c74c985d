#include "rtl/methods.h"

#include <mutex>

#include "rtl/sysutils.h"

namespace rtl {

const TMethodList& TClass::OwnMethods() const {
  // Metaclasses are made on first use from any thread; each table is filled once.
  static std::recursive_mutex lock;
  std::lock_guard guard(lock);
  if (!FMethods) {
    auto list = std::make_unique<TMethodList>(*this);
    if (FRegisterMethods)
      FRegisterMethods(*list);
    FMethods = std::move(list);
  }
  return *FMethods;
}

void TMethodInfo::Invoke(TObject* AInstance, std::span<const TValue> AArgs) const {
  if (static_cast<int>(AArgs.size()) != ParamCount)
    throw EInvocationError(messages::ParameterCountMismatch);
  Call(AInstance, AArgs);
}

const TMethodInfo* GetMethodInfo(const TClass& AClass, std::string_view AName) {
  for (const TClass* c = &AClass; c; c = c->Parent())
    for (const auto& item : c->OwnMethods().Items())
      if (SameText(item->Name, AName))
        return item.get();
  return nullptr;
}

} // namespace rtl
