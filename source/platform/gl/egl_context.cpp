#define EGL_NO_X11
#include "gl/egl_context.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace gl {
namespace {

struct TState {
  std::recursive_mutex Lock;
  EGLDisplay Display = EGL_NO_DISPLAY;
  EGLContext Context = EGL_NO_CONTEXT;
  int ClearTextureOverride = -1;
};

TState& State() {
  static TState state;
  return state;
}

[[noreturn]] void Fail(const char* ACall) {
  char text[128];
  std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", ACall, static_cast<unsigned>(eglGetError()));
  throw EGLError(text);
}

EGLDisplay OpenDisplay() {
  EGLDisplay display = EGL_NO_DISPLAY;
  if (epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
    display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY)
    Fail("eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA)");
  EGLint major = 0, minor = 0;
  if (!eglInitialize(display, &major, &minor))
    Fail("eglInitialize");
  return display;
}

} // namespace

void* AcquireContext(const TContextRequest& ARequest) {
  auto& state = State();
  std::lock_guard guard(state.Lock);
  if (state.Context != EGL_NO_CONTEXT) {
    MakeCurrent();
    return state.Context;
  }
  if (state.Display == EGL_NO_DISPLAY)
    state.Display = OpenDisplay();
  if (!eglBindAPI(EGL_OPENGL_API))
    Fail("eglBindAPI(EGL_OPENGL_API)");
  if (!epoxy_has_egl_extension(state.Display, "EGL_KHR_no_config_context"))
    throw EGLError("EGL_KHR_no_config_context is not supported");
  EGLint flags = ARequest.Debug ? EGL_CONTEXT_OPENGL_DEBUG_BIT_KHR : 0;
  const EGLint attributes[] = {
      EGL_CONTEXT_MAJOR_VERSION, ARequest.MajorVersion,
      EGL_CONTEXT_MINOR_VERSION, ARequest.MinorVersion,
      EGL_CONTEXT_OPENGL_PROFILE_MASK,
      ARequest.Compatibility ? EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT : EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
      EGL_CONTEXT_FLAGS_KHR, flags,
      EGL_NONE};
  EGLContext context = eglCreateContext(state.Display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) {
    char text[160];
    std::snprintf(text, sizeof text, "eglCreateContext refused OpenGL %d.%d (EGL error 0x%04X)",
                  ARequest.MajorVersion, ARequest.MinorVersion, static_cast<unsigned>(eglGetError()));
    throw EGLContextRefused(text);
  }
  if (!eglMakeCurrent(state.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    eglDestroyContext(state.Display, context);
    Fail("eglMakeCurrent");
  }
  state.Context = context;
  if (!epoxy_is_desktop_gl() || epoxy_gl_version() < ARequest.MajorVersion * 10 + ARequest.MinorVersion) {
    ReleaseContext();
    throw EGLContextRefused("the OpenGL context is not desktop OpenGL " + std::to_string(ARequest.MajorVersion) +
                            "." + std::to_string(ARequest.MinorVersion) + " or later");
  }
  return state.Context;
}

void ReleaseContext() {
  auto& state = State();
  std::lock_guard guard(state.Lock);
  if (state.Context == EGL_NO_CONTEXT)
    return;
  eglMakeCurrent(state.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(state.Display, state.Context);
  state.Context = EGL_NO_CONTEXT;
  eglReleaseThread();
}

bool HasContext() {
  auto& state = State();
  std::lock_guard guard(state.Lock);
  return state.Context != EGL_NO_CONTEXT;
}

void MakeCurrent() {
  auto& state = State();
  std::lock_guard guard(state.Lock);
  if (state.Context == EGL_NO_CONTEXT)
    throw EGLError("no OpenGL context");
  if (eglGetCurrentContext() != state.Context &&
      !eglMakeCurrent(state.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, state.Context))
    Fail("eglMakeCurrent");
}

static std::string GLString(GLenum AName) {
  if (!HasContext())
    return {};
  const auto* text = reinterpret_cast<const char*>(glGetString(AName));
  return text ? text : "";
}

TIdentity Identity() {
  return {GLString(GL_VENDOR), GLString(GL_RENDERER), GLString(GL_VERSION),
          GLString(GL_SHADING_LANGUAGE_VERSION)};
}

int GLVersion() { return HasContext() ? epoxy_gl_version() : 0; }

std::string Extensions() {
  if (!HasContext())
    return {};
  GLint count = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  std::string result;
  for (GLint i = 0; i < count; ++i) {
    if (!result.empty())
      result += ' ';
    result += reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
  }
  return result;
}

bool HasExtension(const char* AName) { return HasContext() && epoxy_has_gl_extension(AName); }

bool HasClearTexture() {
  auto& state = State();
  if (state.ClearTextureOverride >= 0)
    return state.ClearTextureOverride > 0;
  return GLVersion() >= 44 || HasExtension("GL_ARB_clear_texture");
}

void SetClearTextureOverride(int AOverride) { State().ClearTextureOverride = AOverride; }

} // namespace gl
