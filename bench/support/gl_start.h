#pragma once
// Start-up of the benchmarks that draw or compile through the framework: the default context
// class on the headless GL context, made current and registered as the default.

#include <cstdio>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "gl/egl_context.h"
#include "ui/context3d.h"

namespace vbench {

// False (with a message on stderr) when no OpenGL context is available.
inline bool StartDefaultGLContext() {
  vantrel::InitializeContextWindows();
  if (!vantrel::TContextOpenGLWindows::StaticClass().Valid()) {
    std::fprintf(stderr, "no OpenGL context\n");
    return false;
  }
  gl::MakeCurrent();
  ui::TContextManager::RegisterContext(vantrel::TContextOpenGLWindows::StaticClass(), true);
  return true;
}

} // namespace vbench
