#pragma once
// GL test support: the shared context brought up once per process, and a fresh frame buffer of a
// chosen size for each test, bound for drawing and reading.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "support/test_context.h"
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

// Each test runs with the OpenGL texture classes installed and the test context registered as the
// default context class (its limits as the GPU's); both are restored afterwards, together with the
// clear-texture detection.
class GLTest : public ::testing::Test {
protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;
  static TTestContextClass& TestPlatform();
  // Makes (or remakes) the test's frame buffer and binds it with a matching viewport.
  TTestFrameBuffer& UseFrameBuffer(int AWidth = 64, int AHeight = 64);
  TTestFrameBuffer* FrameBuffer() { return FFrameBuffer.get(); }

private:
  std::unique_ptr<TTestFrameBuffer> FFrameBuffer;
  ui::TContext3DClass* FPreviousContextClass = nullptr;
};

// Compiles and links a program from vertex and fragment source; fails the test on error.
unsigned BuildProgram(const char* AVertexSource, const char* AFragmentSource);

::testing::AssertionResult ColorNear(const TRGBA8& AActual, const TRGBA8& AExpected, int ATolerance = 1);

} // namespace vtest
