#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include "gl/egl_context.h"
#include "support/gl_fixture.h"

namespace {

using vtest::GLTest;
using vtest::TRGBA8;

TEST_F(GLTest, ContextIsCompatibilityProfileAtLeast43AndShared) {
  EXPECT_NE(gl::Identity().Version.find("Compatibility Profile"), std::string::npos)
      << gl::Identity().Version;
  EXPECT_GE(gl::GLVersion(), 43);
  EXPECT_EQ(gl::AcquireContext(), gl::AcquireContext());
  EXPECT_FALSE(gl::Identity().Renderer.empty());
}

TEST_F(GLTest, AcquiringAgainCreatesNoSecondContextWhateverItAsks) {
  const int created = gl::CreationCount();
  EXPECT_GE(created, 1);
  gl::AcquireContext({.MajorVersion = 9, .MinorVersion = 9});
  EXPECT_EQ(gl::CreationCount(), created);
}

TEST(EGLErrors, CodesHaveTheirNames) {
  EXPECT_STREQ(gl::EGLErrorName(0x3009), "EGL_BAD_MATCH");
  EXPECT_STREQ(gl::EGLErrorName(0x3001), "EGL_NOT_INITIALIZED");
  EXPECT_STREQ(gl::EGLErrorName(0x1234), "unknown EGL error");
}

TEST_F(GLTest, Glsl430ProgramDrawsATriangleIntoAFrameBuffer) {
  auto& fbo = UseFrameBuffer(64, 64);
  const char* vs = R"(#version 430
    const vec2 corners[3] = vec2[](vec2(-0.5, -0.5), vec2(0.5, -0.5), vec2(0.0, 0.5));
    void main() { gl_Position = vec4(corners[gl_VertexID], 0.0, 1.0); })";
  const char* fs = R"(#version 430
    layout(location = 0) out vec4 o_Color;
    void main() { o_Color = vec4(1.0, 0.5, 0.0, 1.0); })";
  GLuint program = vtest::BuildProgram(vs, fs);
  GLuint vao = 0;
  glGenVertexArrays(1, &vao);
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glUseProgram(program);
  glBindVertexArray(vao);
  glDrawArrays(GL_TRIANGLES, 0, 3);
  glBindVertexArray(0);
  glUseProgram(0);
  glDeleteVertexArrays(1, &vao);
  glDeleteProgram(program);
  EXPECT_TRUE(vtest::ColorNear(fbo.Pixel(32, 32), TRGBA8{255, 128, 0, 255}));
  EXPECT_TRUE(vtest::ColorNear(fbo.Pixel(0, 0), TRGBA8{0, 0, 255, 255}));
  EXPECT_TRUE(vtest::ColorNear(fbo.Pixel(63, 63), TRGBA8{0, 0, 255, 255}));
}

} // namespace
