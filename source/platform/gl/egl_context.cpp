#define EGL_NO_X11
#include "gl/egl_context.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "gl/names.h"

namespace gl {
namespace {

struct TState {
  std::recursive_mutex Lock;
  EGLDisplay Display = EGL_NO_DISPLAY;
  EGLContext Context = EGL_NO_CONTEXT;
  int Creations = 0;
  int ClearTextureOverride = -1;
  int PackInvertOverride = -1;
  // -1 until the extension list of the current context was asked.
  int PackInvert = -1;
};

TState& State() {
  static TState state;
  return state;
}

std::string ErrorText(const char* ACall, EGLint ACode) {
  char text[160];
  std::snprintf(text, sizeof text, "%s failed: %s (0x%04X)", ACall, EGLErrorName(ACode),
                static_cast<unsigned>(ACode));
  return text;
}

[[noreturn]] void Fail(const char* ACall) {
  throw EGLError(ErrorText(ACall, eglGetError()));
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

bool IsDesktop(const TContextRequest& ARequest) {
  return ARequest.Profile != TContextProfile::ES;
}

EGLContext CreateContext(EGLDisplay ADisplay, const TContextRequest& ARequest) {
  if (!eglBindAPI(IsDesktop(ARequest) ? EGL_OPENGL_API : EGL_OPENGL_ES_API))
    Fail("eglBindAPI");
  if (!epoxy_has_egl_extension(ADisplay, "EGL_KHR_no_config_context"))
    throw EGLError("EGL_KHR_no_config_context is not supported");
  EGLint attributes[16];
  int count = 0;
  auto add = [&](EGLint AName, EGLint AValue) {
    attributes[count++] = AName;
    attributes[count++] = AValue;
  };
  add(EGL_CONTEXT_MAJOR_VERSION, ARequest.MajorVersion);
  add(EGL_CONTEXT_MINOR_VERSION, ARequest.MinorVersion);
  if (IsDesktop(ARequest)) {
    add(EGL_CONTEXT_OPENGL_PROFILE_MASK, ARequest.Profile == TContextProfile::Compatibility
                                             ? EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT
                                             : EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT);
    add(EGL_CONTEXT_OPENGL_FORWARD_COMPATIBLE, ARequest.ForwardCompatible ? EGL_TRUE : EGL_FALSE);
  }
  add(EGL_CONTEXT_OPENGL_DEBUG, ARequest.Debug ? EGL_TRUE : EGL_FALSE);
  attributes[count] = EGL_NONE;
  EGLContext context = eglCreateContext(ADisplay, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) {
    char text[96];
    std::snprintf(text, sizeof text, "eglCreateContext refused OpenGL%s %d.%d",
                  IsDesktop(ARequest) ? "" : " ES", ARequest.MajorVersion, ARequest.MinorVersion);
    throw EGLContextRefused(ErrorText(text, eglGetError()));
  }
  return context;
}

// The driver may hand out another kind or an older version than asked for.
void CheckVersion(const TContextRequest& ARequest) {
  if (epoxy_is_desktop_gl() == IsDesktop(ARequest) &&
      epoxy_gl_version() >= ARequest.MajorVersion * 10 + ARequest.MinorVersion)
    return;
  throw EGLContextRefused("the OpenGL context is not OpenGL" + std::string(IsDesktop(ARequest) ? "" : " ES") +
                          " " + std::to_string(ARequest.MajorVersion) + "." +
                          std::to_string(ARequest.MinorVersion) + " or later");
}

} // namespace

const char* EGLErrorName(int32_t ACode) {
  switch (ACode) {
  case EGL_SUCCESS:
    return "EGL_SUCCESS";
  case EGL_NOT_INITIALIZED:
    return "EGL_NOT_INITIALIZED";
  case EGL_BAD_ACCESS:
    return "EGL_BAD_ACCESS";
  case EGL_BAD_ALLOC:
    return "EGL_BAD_ALLOC";
  case EGL_BAD_ATTRIBUTE:
    return "EGL_BAD_ATTRIBUTE";
  case EGL_BAD_CONFIG:
    return "EGL_BAD_CONFIG";
  case EGL_BAD_CONTEXT:
    return "EGL_BAD_CONTEXT";
  case EGL_BAD_CURRENT_SURFACE:
    return "EGL_BAD_CURRENT_SURFACE";
  case EGL_BAD_DISPLAY:
    return "EGL_BAD_DISPLAY";
  case EGL_BAD_MATCH:
    return "EGL_BAD_MATCH";
  case EGL_BAD_NATIVE_PIXMAP:
    return "EGL_BAD_NATIVE_PIXMAP";
  case EGL_BAD_NATIVE_WINDOW:
    return "EGL_BAD_NATIVE_WINDOW";
  case EGL_BAD_PARAMETER:
    return "EGL_BAD_PARAMETER";
  case EGL_BAD_SURFACE:
    return "EGL_BAD_SURFACE";
  case EGL_CONTEXT_LOST:
    return "EGL_CONTEXT_LOST";
  default:
    return "unknown EGL error";
  }
}

void* AcquireContext(const TContextRequest& ARequest) {
  auto& state = State();
  std::lock_guard guard(state.Lock);
  if (state.Context != EGL_NO_CONTEXT) {
    MakeCurrent();
    return state.Context;
  }
  if (state.Display == EGL_NO_DISPLAY)
    state.Display = OpenDisplay();
  EGLContext context = CreateContext(state.Display, ARequest);
  ++state.Creations;
  if (!eglMakeCurrent(state.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    const EGLint code = eglGetError();
    eglDestroyContext(state.Display, context);
    throw EGLError(ErrorText("eglMakeCurrent", code));
  }
  state.Context = context;
  SetContextThread(true);
  try {
    CheckVersion(ARequest);
  } catch (...) {
    ReleaseContext();
    throw;
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
  state.PackInvert = -1;
  SetContextThread(false);
  ForgetDeferredNames();
  eglReleaseThread();
}

int CreationCount() {
  auto& state = State();
  std::lock_guard guard(state.Lock);
  return state.Creations;
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
  SetContextThread(true);
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

int GLVersion() {
  return HasContext() ? epoxy_gl_version() : 0;
}

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

bool HasExtension(const char* AName) {
  return HasContext() && epoxy_has_gl_extension(AName);
}

bool HasClearTexture() {
  auto& state = State();
  if (state.ClearTextureOverride >= 0)
    return state.ClearTextureOverride > 0;
  return GLVersion() >= 44 || HasExtension("GL_ARB_clear_texture");
}

void SetClearTextureOverride(int AOverride) {
  State().ClearTextureOverride = AOverride;
}

bool HasPackInvert() {
  auto& state = State();
  if (state.PackInvertOverride >= 0)
    return state.PackInvertOverride > 0;
  if (state.PackInvert < 0 && HasContext())
    state.PackInvert = HasExtension("GL_MESA_pack_invert") ? 1 : 0;
  return state.PackInvert > 0;
}

void SetPackInvertOverride(int AOverride) {
  State().PackInvertOverride = AOverride;
}

} // namespace gl
