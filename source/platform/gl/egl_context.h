#pragma once
// The process's one OpenGL context: an OpenGL 4.3 (or later) compatibility-profile context on
// Mesa's surfaceless EGL platform, current on the thread that first asked for it (the UI thread).
// GL entry points come from libepoxy; include <epoxy/gl.h> to call them.

#include <stdexcept>
#include <string>

namespace gl {

class EGLError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct TContextRequest {
  int MajorVersion = 4;
  int MinorVersion = 3;
  bool Compatibility = true;
  bool Debug = false;
};

struct TIdentity {
  std::string Vendor;
  std::string Renderer;
  std::string Version;
  std::string ShadingLanguageVersion;
};

// Creates the context on first call (or returns the one that exists) and makes it current on the
// calling thread. Raises EGLError naming the EGL call and its error code when the display or the
// context cannot be had; a refused context version raises EGLContextRefused.
class EGLContextRefused : public EGLError {
public:
  using EGLError::EGLError;
};

// Returns an opaque, non-zero token for the context.
void* AcquireContext(const TContextRequest& ARequest = {});
// Destroys the context, if any. GL must not be called after this until AcquireContext runs again.
void ReleaseContext();
bool HasContext();
// Makes the existing context current on the calling thread (after another thread used it).
void MakeCurrent();

TIdentity Identity();
// GL version as major * 10 + minor (43 for 4.3).
int GLVersion();
std::string Extensions();
bool HasExtension(const char* AName);

// Whether glClearTexImage may be used: GL 4.4 or GL_ARB_clear_texture. Tests force the fallback
// path with SetClearTextureOverride(0) (1 forces it on, -1 restores detection).
bool HasClearTexture();
void SetClearTextureOverride(int AOverride);

} // namespace gl
