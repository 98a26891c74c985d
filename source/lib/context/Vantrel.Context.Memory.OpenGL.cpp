#include "context/Vantrel.Context.Memory.OpenGL.h"

#include <epoxy/gl.h>

#include "context/Vantrel.Context.Extension.h"
#include "context/Vantrel.Context.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TOpenGLMemoryManager, "Vantrel.Context.Memory.OpenGL", TOpenGLMemoryManagerClass)

namespace {

int InstallCounter = 0;

constexpr GLenum TotalAvailableMemory = 0x9048;
constexpr GLenum CurrentAvailableVidMem = 0x9049;

int64_t QueryMemory(GLenum AName) {
  if (!TVantrelContext::IsContextAvailable())
    return 0;
  const TExtensions* extensions = TVantrelContext::ExtensionList();
  if (!extensions || !extensions->GetExtension("GL_NVX_gpu_memory_info"))
    return 0;
  GLint kilobytes = 0;
  glGetIntegerv(AName, &kilobytes);
  return kilobytes;
}

} // namespace

int64_t TOpenGLMemoryManagerClass::GetPlatformTotalMemory() const {
  return QueryMemory(TotalAvailableMemory);
}

int64_t TOpenGLMemoryManagerClass::GetPlatformCurrentMemory() const {
  return QueryMemory(CurrentAvailableVidMem);
}

void InitializeMemoryOpenGL() {
  if (InstallCounter++ == 0)
    SetMemoryManagerClass(&TOpenGLMemoryManager::StaticClass());
}

void FinalizeMemoryOpenGL() {
  if (--InstallCounter == 0)
    SetMemoryManagerClass(&TVantrelMemoryManager::StaticClass());
}

} // namespace vantrel
