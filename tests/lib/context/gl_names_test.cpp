// GL names owned by type: the live counters follow every name the framework makes and frees, a
// name freed on another thread waits for the context's thread, and GL work on another thread
// raises naming the operation.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "gl/names.h"
#include "rtl/threads.h"
#include "support/gl_fixture.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;
using vtest::TGLTestContext;

int64_t Live(gl::TNameKind AKind) {
  return gl::LiveNames(AKind);
}

// Runs AWork on a thread of its own and waits for it; returns the message of what it raised.
std::string OnOtherThread(std::function<void()> AWork) {
  std::string raised;
  rtl::TOwned<rtl::TThread> thread(rtl::TThread::CreateAnonymousThread([&] {
    try {
      AWork();
    } catch (const rtl::Exception& E) {
      raised = E.Message();
    }
  }));
  thread->SetFreeOnTerminate(false);
  thread->Start();
  thread->WaitFor();
  return raised;
}

class GLNames : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeBuffersOpenGL();
  }
  void TearDown() override {
    FinalizeBuffersOpenGL();
    ContextGLTest::TearDown();
  }
};

TEST_F(GLNames, TexturesAndFrameBuffersCountWhileAliveAndNotAfter) {
  const gl::TNameCounts before = gl::LiveNameCounts();
  {
    vtest::TTestTexture texture(8, 8);
    TOwned<TFrameBufferObject> fbo(
        TFrameBufferObject::FrameBufferClass().Create(nullptr, false, TMultisample::None, nullptr));
    fbo->Resize(8, 8);
    EXPECT_EQ(gl::DescribeNameSurplus(before, gl::LiveNameCounts()),
              "1 texture, 1 frame buffer, 2 render buffer");
  }
  EXPECT_EQ(gl::LiveNameCounts(), before);
}

TEST_F(GLNames, HandlesDeleteOnceAndMoveTheirName) {
  const int64_t before = Live(gl::TNameKind::Buffer);
  gl::TBufferName first = gl::TBufferName::Generate();
  const uint32_t name = first.Get();
  gl::TBufferName second = std::move(first);
  EXPECT_EQ(first.Get(), 0u);
  EXPECT_EQ(second.Get(), name);
  EXPECT_EQ(Live(gl::TNameKind::Buffer), before + 1);
  second = gl::TBufferName::Generate();
  EXPECT_EQ(Live(gl::TNameKind::Buffer), before + 1) << "assignment deletes the name it replaces";
  second.Reset();
  EXPECT_EQ(Live(gl::TNameKind::Buffer), before);
}

TEST_F(GLNames, ALeakIsNamedByKind) {
  ExpectLeak();
  const gl::TNameCounts before = gl::LiveNameCounts();
  gl::GenerateName(gl::TNameKind::Texture);
  EXPECT_EQ(gl::DescribeNameSurplus(before, gl::LiveNameCounts()), "1 texture");
}

TEST_F(GLNames, ATextureFreedOnAnotherThreadIsDeletedAtTheNextScene) {
  vtest::TTestTexture target(8, 8);
  TOwned<TGLTestContext> context = TGLTestContext::Make(target.get());
  const int64_t before = Live(gl::TNameKind::Texture);
  auto* texture = new vtest::TTestTexture(8, 8);
  const auto name = GLuint(texture->get()->Handle());
  ASSERT_EQ(Live(gl::TNameKind::Texture), before + 1);

  EXPECT_EQ(OnOtherThread([&] { delete texture; }), "");
  EXPECT_EQ(gl::DeferredNameCount(), 1);
  EXPECT_EQ(Live(gl::TNameKind::Texture), before + 1) << "no GL call off the context's thread";
  EXPECT_TRUE(glIsTexture(name));

  ASSERT_TRUE(context->BeginScene());
  context->EndScene();
  EXPECT_EQ(gl::DeferredNameCount(), 0);
  EXPECT_EQ(Live(gl::TNameKind::Texture), before);
  EXPECT_FALSE(glIsTexture(name));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GLNames, GLWorkOnAnotherThreadRaisesNamingTheOperation) {
  vtest::TTestTexture target(8, 8);
  TOwned<TGLTestContext> context = TGLTestContext::Make(target.get());
  const TVertexDeclaration declaration{{TVertexFormat::Vertex, 0}};
  const float vertices[9] = {};
  const uint16_t indices[3] = {0, 1, 2};
  const struct {
    const char* Operation;
    std::function<void()> Work;
  } cases[] = {
      {"BeginScene", [&] { context->BeginScene(); }},
      {"DrawPrimitives",
       [&] {
         context->DrawPrimitives(TPrimitivesKind::Triangles, vertices, indices, declaration, 12, 3, 2, 3,
                                 nullptr, 1);
       }},
      {"InitializeTexture", [&] { vtest::TTestTexture texture(4, 4); }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Operation);
    EXPECT_EQ(OnOtherThread(test.Work),
              std::string(test.Operation) + " called on a thread other than the OpenGL context's");
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
