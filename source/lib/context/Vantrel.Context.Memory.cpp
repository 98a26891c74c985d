#include "context/Vantrel.Context.Memory.h"

#include "rtl/exceptions.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelMemoryManager, "Vantrel.Context.Memory", TVantrelMemoryManagerClass)

namespace {

TVantrelMemoryManagerClass* InstalledClass = nullptr;

[[noreturn]] void RaiseAbstract() {
  throw EAbstractError(rtl::messages::AbstractError);
}

const TVantrelMemoryManagerClass& Installed() {
  if (!InstalledClass)
    RaiseAbstract();
  return *InstalledClass;
}

} // namespace

int64_t TVantrelMemoryManagerClass::GetPlatformTotalMemory() const {
  RaiseAbstract();
}

int64_t TVantrelMemoryManagerClass::GetPlatformCurrentMemory() const {
  RaiseAbstract();
}

int64_t TVantrelMemoryManager::GetTotalMemory() {
  return Installed().GetPlatformTotalMemory();
}

int64_t TVantrelMemoryManager::GetCurrentMemory() {
  return Installed().GetPlatformCurrentMemory();
}

TVantrelMemoryManagerClass* MemoryManagerClass() {
  return InstalledClass;
}

TVantrelMemoryManagerClass* SetMemoryManagerClass(TVantrelMemoryManagerClass* AClass) {
  TVantrelMemoryManagerClass* previous = InstalledClass;
  InstalledClass = AClass;
  return previous;
}

} // namespace vantrel
