// The two read-back paths of the OpenGL context give the same bytes: straight into the caller's
// rows with the driver flipping them, and through the scratch buffer; a pitch that is no whole
// number of pixels always takes the scratch path.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "gl/egl_context.h"
#include "support/gl_fixture.h"

namespace {

using namespace vantrel;

// A diagonal gradient, so that a row or column out of place changes the bytes.
void PaintGradient(vtest::TGLTestContext& AContext, int32_t AWidth, int32_t AHeight) {
  TFrameBufferBinding binding(*AContext.GetDefaultFrameBuf());
  glViewport(0, 0, AWidth, AHeight);
  glEnable(GL_SCISSOR_TEST);
  for (int32_t y = 0; y < AHeight; ++y) {
    glScissor(0, y, AWidth, 1);
    glClearColor(float(y) / float(AHeight), 1 - float(y) / float(AHeight), float(y % 7) / 7, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glScissor(0, 0, AWidth / 3, AHeight);
  glClearColor(0.25f, 0.5f, 0.75f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
}

std::vector<uint8_t> Read(vtest::TGLTestContext& AContext, int32_t AWidth, int32_t AHeight, int32_t APitch,
                          int AInvert) {
  gl::SetPackInvertOverride(AInvert);
  std::vector<uint8_t> bits(size_t(APitch) * size_t(AHeight), 0xAB);
  AContext.CopyToBits(bits.data(), APitch, {0, 0, AWidth, AHeight});
  return bits;
}

class GLReadBack : public vtest::ContextGLTest {};

TEST_F(GLReadBack, BothPathsGiveTheSameBytes) {
  ASSERT_TRUE(gl::HasPackInvert()) << "Mesa lists GL_MESA_pack_invert";
  const struct {
    int32_t Width, Height, Pitch;
  } cases[] = {{37, 23, 37 * 4}, {37, 23, 37 * 4 + 12}, {37, 23, 37 * 4 + 3}, {640, 480, 640 * 4}};
  for (const auto& test : cases) {
    SCOPED_TRACE(testing::Message() << test.Width << "x" << test.Height << " pitch " << test.Pitch);
    vtest::TTestTexture target(test.Width, test.Height);
    auto context = vtest::TGLTestContext::Make(target.get());
    PaintGradient(*context, test.Width, test.Height);
    const std::vector<uint8_t> scratch = Read(*context, test.Width, test.Height, test.Pitch, 0);
    const std::vector<uint8_t> straight = Read(*context, test.Width, test.Height, test.Pitch, -1);
    EXPECT_TRUE(scratch == straight);
    // The top row comes first: the last painted row (y = height - 1) starts the bits.
    EXPECT_NE(scratch[size_t(test.Width - 1) * 4], 0xAB);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GLint rowLength = -1, invert = -1;
    glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
    glGetIntegerv(GL_PACK_INVERT_MESA, &invert);
    EXPECT_EQ(rowLength, 0) << "the pack state is restored";
    EXPECT_EQ(invert, 0);
  }
}

} // namespace
