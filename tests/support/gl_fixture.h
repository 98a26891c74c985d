#pragma once
// GL test support: the shared context brought up once per process, and a fresh frame buffer of a
// chosen size for each test, bound for drawing and reading. Platform tests take the context from
// the platform layer (GLTest); framework tests take it through the framework's context class
// (ContextGLTest), which calls the same idempotent bring-up.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "gl/names.h"
#include "ui/context3d.h"

namespace vtest {

struct TRGBA8 {
  uint8_t R, G, B, A;
  bool operator==(const TRGBA8&) const = default;
};

// Owns one frame buffer with an RGBA8 colour and a depth-stencil render buffer.
class TTestFrameBuffer {
public:
  TTestFrameBuffer(int AWidth, int AHeight);
  ~TTestFrameBuffer();
  TTestFrameBuffer(const TTestFrameBuffer&) = delete;
  TTestFrameBuffer& operator=(const TTestFrameBuffer&) = delete;

  void Bind() const;
  unsigned Handle() const { return FFramebuffer; }
  unsigned ColorTexture() const { return FColor; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Reads the whole colour attachment, bottom row first (GL's order).
  std::vector<TRGBA8> ReadPixels() const;
  TRGBA8 Pixel(int AX, int AY) const;

private:
  int FWidth, FHeight;
  unsigned FFramebuffer = 0, FColor = 0, FDepthStencil = 0;
};

// Each test runs with the OpenGL texture classes installed and the OpenGL context class registered
// as the default context class, so that textures get their GL objects from it; the previous default
// class is restored afterwards, together with the clear-texture detection.
class GLTest : public ::testing::Test {
protected:
  static void SetUpTestSuite();
  void SetUp() override;
  // Brings the context up (once) and makes it current.
  virtual void AcquireContext();
  void TearDown() override;
  // Makes (or remakes) the test's frame buffer and binds it with a matching viewport.
  TTestFrameBuffer& UseFrameBuffer(int AWidth = 64, int AHeight = 64);
  TTestFrameBuffer* FrameBuffer() { return FFrameBuffer.get(); }

private:
  std::unique_ptr<TTestFrameBuffer> FFrameBuffer;
  ui::TContext3DClass* FPreviousContextClass = nullptr;
};

// Framework GL tests: the context class is initialised (registered as the default class, the
// OpenGL extension and memory classes installed) and the context comes from its Valid().
//
// Each test must leave no more GL names alive than it found: the destructor, which runs after the
// test's own members are gone, fails the test naming the kinds it left. The programs the context
// keeps in its process-wide list (and their uniform buffers) are a cache, not a leak, and are not
// counted. A test that leaks on purpose calls ExpectLeak().
class ContextGLTest : public GLTest {
public:
  ~ContextGLTest() override;

protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void AcquireContext() override;
  void ExpectLeak() { FCheckLeaks = false; }
  // For suites that keep linked programs across their tests (freed when the suite ends): program,
  // shader and buffer names are then not checked; textures and frame buffers still are.
  void KeepProgramsForTheSuite() { FKeepsPrograms = true; }

private:
  bool FCheckLeaks = true;
  bool FKeepsPrograms = false;
  gl::TNameCounts FNamesBefore{};
};

// The GL names alive, less those the context's program list holds.
gl::TNameCounts LiveNamesOutsideProgramList();

// A plain UI texture with its GL object, for contexts of the OpenGL context class to draw into.
class TTestTexture {
public:
  explicit TTestTexture(int32_t AWidth = 64, int32_t AHeight = 64);
  ~TTestTexture();
  TTestTexture(const TTestTexture&) = delete;
  TTestTexture& operator=(const TTestTexture&) = delete;
  ui::TTexture* get() const { return FTexture.get(); }
  ui::TTexture* operator->() const { return FTexture.get(); }

private:
  rtl::TOwned<ui::TTexture> FTexture;
};

// A context of the registered class for tests, made through this class, with the context check
// open to them.
class TGLTestContext : public vantrel::TContextOpenGLWindows {
  RTL_CLASS_META(TGLTestContext, vantrel::TContextOpenGLWindows, vantrel::TContextOpenGLWindowsClass)
public:
  // A context on a texture of the given size, made through this class.
  static rtl::TOwned<TGLTestContext> Make(ui::TTexture* ATexture, bool ADepthStencil = true,
                                          ui::TMultisample AMultisample = ui::TMultisample::None);

  using TContextOpenGLWindows::ContextAvailable;
  TGLTestContext() = default;
};

// Compiles and links a program from vertex and fragment source; fails the test on error.
unsigned BuildProgram(const char* AVertexSource, const char* AFragmentSource);

// The layout GL gave a linked program's uniform block: the block's size in bytes, and a member's
// byte offset in it (-1 for a name the program does not have).
int UniformBlockSize(unsigned AProgram, const char* ABlock);
int UniformOffset(unsigned AProgram, const char* AName);

::testing::AssertionResult ColorNear(const TRGBA8& AActual, const TRGBA8& AExpected, int ATolerance = 1);

} // namespace vtest
