#pragma once
// Scoped guards of GL state for the OpenGL units, in one place: each saves a piece of state when
// it is made, may set a new value, and restores the saved one when the scope ends, also by an
// exception. Private to the .OpenGL sources and the OpenGL context: it includes the GL header.

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

namespace vantrel {

namespace glstate {

inline GLuint Query(GLenum AQuery) {
  GLint value = 0;
  glGetIntegerv(AQuery, &value);
  return static_cast<GLuint>(value);
}

} // namespace glstate

// Binds the saved buffer of a target again at the end of the scope.
class TBufferBindingGuard {
public:
  // Saves what the target holds.
  TBufferBindingGuard(GLenum ATarget, GLenum ABindingQuery)
      : FTarget(ATarget), FPrevious(glstate::Query(ABindingQuery)) {}
  // Saves what the target holds and binds ABuffer.
  TBufferBindingGuard(GLenum ATarget, GLenum ABindingQuery, GLuint ABuffer)
      : TBufferBindingGuard(ATarget, ABindingQuery) {
    glBindBuffer(FTarget, ABuffer);
  }
  ~TBufferBindingGuard() {
    // A buffer deleted meanwhile is not bound again: the compatibility profile would make a new
    // one under its name.
    glBindBuffer(FTarget, FCheckAlive && FPrevious != 0 && !glIsBuffer(FPrevious) ? 0 : FPrevious);
  }
  TBufferBindingGuard(const TBufferBindingGuard&) = delete;
  TBufferBindingGuard& operator=(const TBufferBindingGuard&) = delete;

  // Restores the saved buffer only if it still exists.
  void RestoreOnlyIfAlive() { FCheckAlive = true; }

private:
  GLenum FTarget;
  GLuint FPrevious;
  bool FCheckAlive = false;
};

// Binds the saved texture of a target again at the end of the scope, on the unit active then.
class TTextureBindingGuard {
public:
  TTextureBindingGuard(GLenum ATarget, GLenum ABindingQuery)
      : FTarget(ATarget), FPrevious(glstate::Query(ABindingQuery)) {}
  // Saves what the target holds and binds ATexture.
  TTextureBindingGuard(GLenum ATarget, GLenum ABindingQuery, GLuint ATexture)
      : TTextureBindingGuard(ATarget, ABindingQuery) {
    glBindTexture(FTarget, ATexture);
  }
  ~TTextureBindingGuard() { glBindTexture(FTarget, FPrevious); }
  TTextureBindingGuard(const TTextureBindingGuard&) = delete;
  TTextureBindingGuard& operator=(const TTextureBindingGuard&) = delete;

private:
  GLenum FTarget;
  GLuint FPrevious;
};

class TActiveTextureGuard {
public:
  TActiveTextureGuard() : FPrevious(glstate::Query(GL_ACTIVE_TEXTURE)) {}
  ~TActiveTextureGuard() { glActiveTexture(FPrevious); }
  TActiveTextureGuard(const TActiveTextureGuard&) = delete;
  TActiveTextureGuard& operator=(const TActiveTextureGuard&) = delete;

private:
  GLenum FPrevious;
};

class TRenderbufferBindingGuard {
public:
  TRenderbufferBindingGuard() : FPrevious(glstate::Query(GL_RENDERBUFFER_BINDING)) {}
  ~TRenderbufferBindingGuard() { glBindRenderbuffer(GL_RENDERBUFFER, FPrevious); }
  TRenderbufferBindingGuard(const TRenderbufferBindingGuard&) = delete;
  TRenderbufferBindingGuard& operator=(const TRenderbufferBindingGuard&) = delete;

private:
  GLuint FPrevious;
};

// The draw-buffer list of the bound frame buffer.
class TDrawBuffersGuard {
public:
  TDrawBuffersGuard() {
    FCount = std::clamp(GLint(glstate::Query(GL_MAX_DRAW_BUFFERS)), 0, GLint(FBuffers.size()));
    for (GLint index = 0; index < FCount; ++index)
      FBuffers[size_t(index)] = glstate::Query(GL_DRAW_BUFFER0 + index);
  }
  ~TDrawBuffersGuard() { glDrawBuffers(FCount, FBuffers.data()); }
  TDrawBuffersGuard(const TDrawBuffersGuard&) = delete;
  TDrawBuffersGuard& operator=(const TDrawBuffersGuard&) = delete;

private:
  std::array<GLenum, 32> FBuffers{};
  GLint FCount = 0;
};

// Pixel-store parameters of pack (read-back) or unpack (upload) transfers: the scope starts
// tightly packed (alignment 1, every row, skip and swap parameter at its default) with no pixel
// buffer bound, so client pointers are addresses; the saved values come back at the end.
class TPixelStoreGuard {
public:
  explicit TPixelStoreGuard(bool APack)
      : FNames(APack ? PackNames : UnpackNames),
        FBuffer(APack ? GL_PIXEL_PACK_BUFFER : GL_PIXEL_UNPACK_BUFFER,
                APack ? GL_PIXEL_PACK_BUFFER_BINDING : GL_PIXEL_UNPACK_BUFFER_BINDING, 0) {
    for (size_t i = 0; i < FNames.size(); ++i) {
      FSaved[i] = GLint(glstate::Query(FNames[i]));
      glPixelStorei(FNames[i], i == 0 ? 1 : 0);
    }
  }
  ~TPixelStoreGuard() {
    for (size_t i = 0; i < FNames.size(); ++i)
      glPixelStorei(FNames[i], FSaved[i]);
  }
  TPixelStoreGuard(const TPixelStoreGuard&) = delete;
  TPixelStoreGuard& operator=(const TPixelStoreGuard&) = delete;

private:
  using TNames = std::array<GLenum, 8>;
  static constexpr TNames PackNames = {GL_PACK_ALIGNMENT,  GL_PACK_ROW_LENGTH,  GL_PACK_IMAGE_HEIGHT,
                                       GL_PACK_SKIP_ROWS,  GL_PACK_SKIP_PIXELS, GL_PACK_SKIP_IMAGES,
                                       GL_PACK_SWAP_BYTES, GL_PACK_LSB_FIRST};
  static constexpr TNames UnpackNames = {GL_UNPACK_ALIGNMENT,  GL_UNPACK_ROW_LENGTH,  GL_UNPACK_IMAGE_HEIGHT,
                                         GL_UNPACK_SKIP_ROWS,  GL_UNPACK_SKIP_PIXELS, GL_UNPACK_SKIP_IMAGES,
                                         GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST};
  const TNames& FNames;
  std::array<GLint, 8> FSaved{};
  TBufferBindingGuard FBuffer;
};

// A read-back straight into the caller's rows: rows of ARowLength pixels, top row first
// (GL_MESA_pack_invert). Only these two parameters change; both come back at the end.
class TInvertedPackGuard {
public:
  explicit TInvertedPackGuard(GLint ARowLength)
      : FRowLength(GLint(glstate::Query(GL_PACK_ROW_LENGTH))),
        FInvert(GLint(glstate::Query(GL_PACK_INVERT_MESA))) {
    glPixelStorei(GL_PACK_ROW_LENGTH, ARowLength);
    glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
  }
  ~TInvertedPackGuard() {
    glPixelStorei(GL_PACK_INVERT_MESA, FInvert);
    glPixelStorei(GL_PACK_ROW_LENGTH, FRowLength);
  }
  TInvertedPackGuard(const TInvertedPackGuard&) = delete;
  TInvertedPackGuard& operator=(const TInvertedPackGuard&) = delete;

private:
  GLint FRowLength;
  GLint FInvert;
};

// The info logs of a shader stage and of a program; empty when there is none.
inline std::string ShaderInfoLog(GLuint AShader) {
  GLint length = 0;
  glGetShaderiv(AShader, GL_INFO_LOG_LENGTH, &length);
  if (length <= 0)
    return {};
  std::string log(static_cast<size_t>(length), '\0');
  GLsizei written = 0;
  glGetShaderInfoLog(AShader, length, &written, log.data());
  log.resize(static_cast<size_t>(std::max(written, 0)));
  return log;
}

inline std::string ProgramInfoLog(GLuint AProgram) {
  GLint length = 0;
  glGetProgramiv(AProgram, GL_INFO_LOG_LENGTH, &length);
  if (length <= 0)
    return {};
  std::string log(static_cast<size_t>(length), '\0');
  GLsizei written = 0;
  glGetProgramInfoLog(AProgram, length, &written, log.data());
  log.resize(static_cast<size_t>(std::max(written, 0)));
  return log;
}

} // namespace vantrel
