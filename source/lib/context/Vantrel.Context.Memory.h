#pragma once
// Total and currently free graphics memory, asked without naming the graphics API: the facade
// calls the installed memory-manager class, which the API's unit installs.

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "rtl/object.h"

namespace vantrel {

class TVantrelMemoryManagerClass : public TClass {
public:
  using TClass::TClass;

  // Kilobytes. The base class has no answer: both raise EAbstractError.
  virtual int64_t GetPlatformTotalMemory() const;
  virtual int64_t GetPlatformCurrentMemory() const;
};

class TVantrelMemoryManager : public TObject {
  RTL_CLASS_META(TVantrelMemoryManager, TObject, TVantrelMemoryManagerClass)
public:
  // The installed class's answers. Without an installed class they raise EAbstractError.
  static int64_t GetTotalMemory();
  static int64_t GetCurrentMemory();

  TVantrelMemoryManager() = default;
};

// nullptr until an API unit installs its class, the base class after that unit is finalised.
TVantrelMemoryManagerClass* MemoryManagerClass();
// Installs AClass and returns the class it replaces.
TVantrelMemoryManagerClass* SetMemoryManagerClass(TVantrelMemoryManagerClass* AClass);

} // namespace vantrel
