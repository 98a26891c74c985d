#pragma once
// Graphics memory through the NVX_gpu_memory_info extension, in kilobytes.

#include "context/Vantrel.Context.Memory.h"

namespace vantrel {

class TOpenGLMemoryManagerClass : public TVantrelMemoryManagerClass {
public:
  using TVantrelMemoryManagerClass::TVantrelMemoryManagerClass;

  // 0, with no GL call, without a GL context or when the driver does not list the extension
  // (asking anyway would leave GL_INVALID_ENUM for the next error check).
  int64_t GetPlatformTotalMemory() const override;
  int64_t GetPlatformCurrentMemory() const override;
};

class TOpenGLMemoryManager : public TVantrelMemoryManager {
  RTL_CLASS_META(TOpenGLMemoryManager, TVantrelMemoryManager, TOpenGLMemoryManagerClass)
public:
  TOpenGLMemoryManager() = default;
};

// Installation counter: the first Initialize installs TOpenGLMemoryManager, the matching last
// Finalize installs TVantrelMemoryManager. Called on the UI thread.
void InitializeMemoryOpenGL();
void FinalizeMemoryOpenGL();

} // namespace vantrel
