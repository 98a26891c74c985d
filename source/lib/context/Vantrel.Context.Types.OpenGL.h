#pragma once
// What the context types need from OpenGL: draining the GL error queue and translating blend
// factors and equations into GL constants. GL headers stay in the source, so this header declares
// GL enumerations as their underlying 32-bit unsigned type.

#include <cstdint>
#include <string_view>

#include "context/Vantrel.Context.Types.h"

namespace vantrel {

// Reads one code from the GL error queue. Tests replace it to drive the drain.
using TGLErrorReader = uint32_t (*)();
// Installs AReader (nullptr restores glGetError) and returns the reader it replaces.
TGLErrorReader SetGLErrorReader(TGLErrorReader AReader);

// Reads error codes until GL_NO_ERROR, at most 16 times (a lost context reports an error on every
// read), and returns the OR of all codes read.
uint32_t DrainGLErrors();
bool HasGLErrors();

// Every path that draws, uploads or reads calls this once before its first GL call. On the
// context's thread it deletes the names other threads handed over; on any other thread it raises
// EInvalidOperation naming AOperation. Before any context exists it does nothing: the call that
// follows makes the context current on this thread.
void RequireContextThread(std::string_view AOperation);

// The raw byte of a setting's field may hold any value: out of range gives GL_ONE.
uint32_t BlendFactorToGL(uint8_t AFactor);
// Out of range gives GL_FUNC_ADD.
uint32_t BlendEquationToGL(uint8_t AEquation);

inline uint32_t BlendFactorToGL(TBlendFactor AFactor) {
  return BlendFactorToGL(static_cast<uint8_t>(AFactor));
}
inline uint32_t BlendEquationToGL(TBlendEquationFunc AEquation) {
  return BlendEquationToGL(static_cast<uint8_t>(AEquation));
}

} // namespace vantrel
