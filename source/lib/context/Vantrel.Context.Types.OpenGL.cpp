#include "context/Vantrel.Context.Types.OpenGL.h"

#include <epoxy/gl.h>

#include <array>

#include "gl/egl_context.h"
#include "gl/names.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace vantrel {

namespace {

constexpr std::string_view SOffContextThread = "%s called on a thread other than the OpenGL context's";

uint32_t ReadGLError() {
  return glGetError();
}

TGLErrorReader ErrorReader = ReadGLError;

constexpr int MaxErrorReads = 16;

// Indexed by TBlendFactor's ordinal.
constexpr std::array<GLenum, 11> BlendFactors = {
    GL_ZERO,
    GL_ONE,
    GL_SRC_COLOR,
    GL_ONE_MINUS_SRC_COLOR,
    GL_SRC_ALPHA,
    GL_ONE_MINUS_SRC_ALPHA,
    GL_DST_ALPHA,
    GL_ONE_MINUS_DST_ALPHA,
    GL_DST_COLOR,
    GL_ONE_MINUS_DST_COLOR,
    GL_SRC_ALPHA_SATURATE,
};

// Indexed by TBlendEquationFunc's ordinal.
constexpr std::array<GLenum, 5> BlendEquations = {GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT,
                                                  GL_MIN, GL_MAX};

} // namespace

TGLErrorReader SetGLErrorReader(TGLErrorReader AReader) {
  const TGLErrorReader previous = ErrorReader;
  ErrorReader = AReader ? AReader : ReadGLError;
  return previous;
}

uint32_t DrainGLErrors() {
  uint32_t result = GL_NO_ERROR;
  for (int read = 0; read < MaxErrorReads; ++read) {
    const uint32_t code = ErrorReader();
    result |= code;
    if (code == GL_NO_ERROR)
      break;
  }
  return result;
}

bool HasGLErrors() {
  return DrainGLErrors() != GL_NO_ERROR;
}

void RequireContextThread(std::string_view AOperation) {
  if (gl::IsContextCurrent()) {
    gl::DrainDeferredNames();
    return;
  }
  if (gl::HasContext())
    throw rtl::EInvalidOperation(rtl::Format(SOffContextThread, {AOperation}));
}

uint32_t BlendFactorToGL(uint8_t AFactor) {
  return AFactor < BlendFactors.size() ? BlendFactors[AFactor] : GL_ONE;
}

uint32_t BlendEquationToGL(uint8_t AEquation) {
  return AEquation < BlendEquations.size() ? BlendEquations[AEquation] : GL_FUNC_ADD;
}

} // namespace vantrel
