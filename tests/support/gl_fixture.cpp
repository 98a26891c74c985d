#include "support/gl_fixture.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.Texturing.OpenGL.h"
#include "context/Vantrel.Context.h"
#include "gl/egl_context.h"

namespace vtest {

TTestFrameBuffer::TTestFrameBuffer(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) {
  glGenTextures(1, &FColor);
  glBindTexture(GL_TEXTURE_2D, FColor);
  glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, AWidth, AHeight);
  glBindTexture(GL_TEXTURE_2D, 0);
  glGenRenderbuffers(1, &FDepthStencil);
  glBindRenderbuffer(GL_RENDERBUFFER, FDepthStencil);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, AWidth, AHeight);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glGenFramebuffers(1, &FFramebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, FColor, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, FDepthStencil);
  EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
  glViewport(0, 0, AWidth, AHeight);
}

TTestFrameBuffer::~TTestFrameBuffer() {
  if (!gl::HasContext())
    return;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &FFramebuffer);
  glDeleteRenderbuffers(1, &FDepthStencil);
  glDeleteTextures(1, &FColor);
}

void TTestFrameBuffer::Bind() const {
  glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
  glViewport(0, 0, FWidth, FHeight);
}

std::vector<TRGBA8> TTestFrameBuffer::ReadPixels() const {
  std::vector<TRGBA8> pixels(static_cast<size_t>(FWidth) * FHeight);
  GLint previous = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, FFramebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, FWidth, FHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
  return pixels;
}

TRGBA8 TTestFrameBuffer::Pixel(int AX, int AY) const {
  TRGBA8 pixel{};
  GLint previous = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, FFramebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(AX, AY, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &pixel);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
  return pixel;
}

void GLTest::SetUpTestSuite() {
  gl::AcquireContext();
}

void GLTest::AcquireContext() {
  gl::AcquireContext();
}

void GLTest::SetUp() {
  AcquireContext();
  while (glGetError() != GL_NO_ERROR) {
  }
  vantrel::InitializeTexturingOpenGL();
  FPreviousContextClass = ui::TContextManager::DefaultContextClass();
  ui::TContextManager::RegisterContext(vantrel::TContextOpenGLWindows::StaticClass(), true);
}

void ContextGLTest::SetUpTestSuite() {
  vantrel::InitializeContextWindows();
  vantrel::TContextOpenGLWindows::StaticClass().Valid();
}

void ContextGLTest::SetUp() {
  GLTest::SetUp();
  FNamesBefore = LiveNamesOutsideProgramList();
}

ContextGLTest::~ContextGLTest() {
  if (!FCheckLeaks || !gl::HasContext())
    return;
  gl::DrainDeferredNames();
  gl::TNameCounts now = LiveNamesOutsideProgramList();
  if (FKeepsPrograms)
    for (const gl::TNameKind kind : {gl::TNameKind::Program, gl::TNameKind::Shader, gl::TNameKind::Buffer})
      now[size_t(kind)] = FNamesBefore[size_t(kind)];
  const std::string leaked = gl::DescribeNameSurplus(FNamesBefore, now);
  EXPECT_TRUE(leaked.empty()) << "the test left GL names alive: " << leaked;
}

gl::TNameCounts LiveNamesOutsideProgramList() {
  gl::TNameCounts counts = gl::LiveNameCounts();
  for (int32_t index = 0; index < vantrel::TVantrelContext::ProgramCount(); ++index) {
    const vantrel::TShaderProgram* program = vantrel::TVantrelContext::ProgramAt(index);
    counts[size_t(gl::TNameKind::Program)] -= program->Prog() != 0 ? 1 : 0;
    counts[size_t(gl::TNameKind::Buffer)] -= program->UniformBufferCount();
  }
  return counts;
}

void ContextGLTest::AcquireContext() {
  vantrel::InitializeContextWindows();
  ASSERT_TRUE(vantrel::TContextOpenGLWindows::StaticClass().Valid());
  gl::MakeCurrent();
}

TTestTexture::TTestTexture(int32_t AWidth, int32_t AHeight) : FTexture(rtl::New<ui::TTexture>()) {
  FTexture->SetSize(AWidth, AHeight);
  vantrel::TContextOpenGLWindows::StaticClass().InitializeTexture(FTexture.get());
}

TTestTexture::~TTestTexture() {
  if (FTexture->Handle() != 0)
    vantrel::TContextOpenGLWindows::StaticClass().DoFinalizeTexture(FTexture.get());
}

RTL_DEFINE_CLASS_META(TGLTestContext, "vtest", vantrel::TContextOpenGLWindowsClass)

rtl::TOwned<TGLTestContext> TGLTestContext::Make(ui::TTexture* ATexture, bool ADepthStencil,
                                                 ui::TMultisample AMultisample) {
  return rtl::TOwned<TGLTestContext>(rtl::CheckedCast<TGLTestContext>(
      StaticClass().CreateFromTexture(ATexture, AMultisample, ADepthStencil)));
}

void GLTest::TearDown() {
  FFrameBuffer.reset();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  if (FPreviousContextClass)
    ui::TContextManager::RegisterContext(*FPreviousContextClass, true);
  else
    ui::TContextManager::UnregisterContexts();
  gl::SetClearTextureOverride(-1);
  gl::SetPackInvertOverride(-1);
  vantrel::FinalizeTexturingOpenGL();
}

TTestFrameBuffer& GLTest::UseFrameBuffer(int AWidth, int AHeight) {
  FFrameBuffer.reset();
  FFrameBuffer = std::make_unique<TTestFrameBuffer>(AWidth, AHeight);
  FFrameBuffer->Bind();
  return *FFrameBuffer;
}

static GLuint CompileStage(GLenum AStage, const char* ASource) {
  GLuint shader = glCreateShader(AStage);
  glShaderSource(shader, 1, &ASource, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    ADD_FAILURE() << "shader compile failed: " << log;
  }
  return shader;
}

unsigned BuildProgram(const char* AVertexSource, const char* AFragmentSource) {
  GLuint vs = CompileStage(GL_VERTEX_SHADER, AVertexSource);
  GLuint fs = CompileStage(GL_FRAGMENT_SHADER, AFragmentSource);
  GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    ADD_FAILURE() << "program link failed: " << log;
  }
  return program;
}

int UniformBlockSize(unsigned AProgram, const char* ABlock) {
  const GLuint block = glGetUniformBlockIndex(AProgram, ABlock);
  GLint size = 0;
  glGetActiveUniformBlockiv(AProgram, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
  return size;
}

int UniformOffset(unsigned AProgram, const char* AName) {
  GLuint index = GL_INVALID_INDEX;
  glGetUniformIndices(AProgram, 1, &AName, &index);
  if (index == GL_INVALID_INDEX)
    return -1;
  GLint offset = -1;
  glGetActiveUniformsiv(AProgram, 1, &index, GL_UNIFORM_OFFSET, &offset);
  return offset;
}

::testing::AssertionResult ColorNear(const TRGBA8& AActual, const TRGBA8& AExpected, int ATolerance) {
  auto near = [&](uint8_t a, uint8_t e) { return std::abs(int(a) - int(e)) <= ATolerance; };
  if (near(AActual.R, AExpected.R) && near(AActual.G, AExpected.G) && near(AActual.B, AExpected.B) &&
      near(AActual.A, AExpected.A))
    return ::testing::AssertionSuccess();
  std::ostringstream text;
  text << "colour (" << int(AActual.R) << ", " << int(AActual.G) << ", " << int(AActual.B) << ", "
       << int(AActual.A) << ") is not within " << ATolerance << " of (" << int(AExpected.R) << ", "
       << int(AExpected.G) << ", " << int(AExpected.B) << ", " << int(AExpected.A) << ")";
  return ::testing::AssertionFailure() << text.str();
}

} // namespace vtest
