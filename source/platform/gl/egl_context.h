#pragma once
// The process's one OpenGL context: an OpenGL 4.3 (or later) compatibility-profile context on
// Mesa's surfaceless EGL platform, current on the thread that first asked for it (the UI thread).
// This unit is the context's only creator and destroyer. GL entry points come from libepoxy;
// include <epoxy/gl.h> to call them.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace gl {

class EGLError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The driver refused the requested context, or gave one older than asked for.
class EGLContextRefused : public EGLError {
public:
  using EGLError::EGLError;
};

enum class TContextProfile : uint8_t { Compatibility, Core, ES };

struct TContextRequest {
  int MajorVersion = 4;
  int MinorVersion = 3;
  TContextProfile Profile = TContextProfile::Compatibility;
  // Desktop profiles only: leaves out everything the version deprecates.
  bool ForwardCompatible = false;
  bool Debug = false;
};

struct TIdentity {
  std::string Vendor;
  std::string Renderer;
  std::string Version;
  std::string ShadingLanguageVersion;
};

// Creates the context on first call, or returns the one that exists (whatever it was asked for),
// and makes it current on the calling thread. Returns an opaque, non-zero token for the context.
// A context that cannot be had raises EGLError naming the EGL call and its error ("eglInitialize
// failed: EGL_NOT_INITIALIZED (0x3001)"); a refused version raises EGLContextRefused.
void* AcquireContext(const TContextRequest& ARequest = {});
// Destroys the context, if any. GL must not be called after this until AcquireContext runs again.
void ReleaseContext();
bool HasContext();
// Makes the existing context current on the calling thread (after another thread used it).
void MakeCurrent();
// How many contexts this process has created so far.
int CreationCount();

// The name of an EGL error code ("EGL_BAD_MATCH"); "unknown EGL error" for other values.
const char* EGLErrorName(int32_t ACode);

TIdentity Identity();
// GL version as major * 10 + minor (43 for 4.3).
int GLVersion();
std::string Extensions();
bool HasExtension(const char* AName);

// Whether glClearTexImage may be used: GL 4.4 or GL_ARB_clear_texture. Tests force the fallback
// path with SetClearTextureOverride(0) (1 forces it on, -1 restores detection).
bool HasClearTexture();
void SetClearTextureOverride(int AOverride);

// Whether glReadPixels may flip rows itself (GL_MESA_pack_invert), looked up once per context.
// Tests force the fallback with SetPackInvertOverride(0) (1 forces it on, -1 restores detection).
bool HasPackInvert();
void SetPackInvertOverride(int AOverride);

} // namespace gl
