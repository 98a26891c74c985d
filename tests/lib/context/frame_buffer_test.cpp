#include <epoxy/gl.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "context/Vantrel.Context.Buffers.OpenGL.h"
#include "context/Vantrel.Context.Buffers.h"
#include "gl/names.h"
#include "rtl/sysutils.h"
#include "support/gl_fixture.h"
#include "support/recording_context.h"

namespace {

using namespace vantrel;
using vtest::TRGBA8;

GLint GetInt(GLenum AQuery) {
  GLint value = 0;
  glGetIntegerv(AQuery, &value);
  return value;
}

GLint Attachment(GLenum AAttachment, GLenum AParameter) {
  GLint value = 0;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, AAttachment, AParameter, &value);
  return value;
}

// A plain UI texture over a GL texture of the test's own; both go together.
class TTestTexture {
public:
  TTestTexture(int AWidth, int AHeight, GLenum AFormat = GL_RGBA8, GLenum ATarget = GL_TEXTURE_2D,
               int ADepth = 1)
      : FTarget(ATarget), FWidth(AWidth), FHeight(AHeight) {
    glGenTextures(1, &FName);
    glBindTexture(ATarget, FName);
    if (ATarget == GL_TEXTURE_2D || ATarget == GL_TEXTURE_CUBE_MAP)
      glTexStorage2D(ATarget, 1, AFormat, AWidth, AHeight);
    else
      glTexStorage3D(ATarget, 1, AFormat, AWidth, AHeight, ADepth);
    glBindTexture(ATarget, 0);
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(AWidth, AHeight);
    static_cast<ITextureAccess&>(*FTexture).SetHandle(FName);
  }
  ~TTestTexture() {
    static_cast<ITextureAccess&>(*FTexture).SetHandle(0);
    FTexture.reset();
    glDeleteTextures(1, &FName);
  }
  TTestTexture(const TTestTexture&) = delete;
  TTestTexture& operator=(const TTestTexture&) = delete;

  TTexture* get() const { return FTexture.get(); }
  GLuint Name() const { return FName; }

  std::vector<TRGBA8> Read() const {
    std::vector<TRGBA8> pixels(size_t(FWidth) * size_t(FHeight));
    const GLint previous = GetInt(GL_TEXTURE_BINDING_2D);
    glBindTexture(GL_TEXTURE_2D, FName);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    return pixels;
  }

  bool IsFilledWith(const TRGBA8& AColor) const {
    for (const TRGBA8& pixel : Read())
      if (!(pixel == AColor))
        return false;
    return true;
  }

private:
  GLenum FTarget;
  int FWidth, FHeight;
  GLuint FName = 0;
  TOwned<TTexture> FTexture;
};

constexpr TRGBA8 Black{0, 0, 0, 255};
constexpr TRGBA8 Red{255, 0, 0, 255};
constexpr TRGBA8 Green{0, 255, 0, 255};
constexpr TRGBA8 Blue{0, 0, 255, 255};

TAlphaColorF ColorOf(const TRGBA8& AColor) {
  return TAlphaColorF::Create(AColor.R / 255.0f, AColor.G / 255.0f, AColor.B / 255.0f, AColor.A / 255.0f);
}

// Colour n's render target.
TRenderTarget ColorTarget(int AIndex) {
  return AIndex == 0 ? TRenderTarget::Color_0 : static_cast<TRenderTarget>(AIndex + 2);
}

class FrameBufferGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeBuffersOpenGL();
  }
  void TearDown() override {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    FinalizeBuffersOpenGL();
    ContextGLTest::TearDown();
  }

  static TOwned<TFrameBufferObject> MakeFBO(TMultisample AMultisample = TMultisample::None) {
    return TOwned<TFrameBufferObject>(TFrameBufferObject::FrameBufferClass().Create(
        nullptr, AMultisample != TMultisample::None, AMultisample, nullptr));
  }
};

// ---- Construction and clearing --------------------------------------------------------------------

TEST_F(FrameBufferGL, CreationTakesTheSampleCountAndMakesAName) {
  const struct {
    TMultisample Multisample;
    int32_t Samples;
  } cases[] = {{TMultisample::None, 0}, {TMultisample::TwoSamples, 2}, {TMultisample::FourSamples, 4}};
  for (const auto& test : cases) {
    auto fbo = MakeFBO(test.Multisample);
    EXPECT_EQ(fbo->SampleCount(), test.Samples);
    EXPECT_NE(fbo->Handle(), 0u);
    EXPECT_TRUE(fbo->HasHandle());
    EXPECT_EQ(fbo->Textures().FBO(), fbo.get());
    EXPECT_EQ(fbo->Textures().Count(), 0);
  }
  EXPECT_EQ(TFrameBufferObject::RenderTargetToValue(TRenderTarget::Color_0), 0x8CE0u);
  EXPECT_EQ(TFrameBufferObject::RenderTargetToValue(TRenderTarget::Depth), 0x8D00u);
  EXPECT_EQ(TFrameBufferObject::RenderTargetToValue(TRenderTarget::Stencil), 0x8D20u);
  EXPECT_EQ(TFrameBufferObject::RenderTargetToValue(TRenderTarget::Color_15), 0x8CEFu);
  EXPECT_EQ(TFrameBufferObject::RenderTargetToValue(static_cast<TRenderTarget>(18)), 0x8CE0u);
}

TEST_F(FrameBufferGL, ClearingColor0ToRedReadsBackRed) {
  TTestTexture texture(4, 4);
  auto fbo = MakeFBO();
  fbo->AttachTexture(nullptr, texture.get(), TRenderTarget::Color_0);
  EXPECT_EQ(fbo->Size(), (TSize{4, 4}));
  EXPECT_EQ(fbo->GetTextureByRenderTarget(TRenderTarget::Color_0), texture.get());
  fbo->Bind(nullptr);
  fbo->Prepare({TRenderTarget::Color_0});
  fbo->Clear(TRenderTarget::Color_0, ColorOf(Red), 1, 0, false);
  fbo->Unbind(nullptr);
  EXPECT_TRUE(texture.IsFilledWith(Red));
}

// A colour target is cleared whether or not the last Prepare put it at its own slot.
TEST_F(FrameBufferGL, MultipleTargetsAreSetAndClearedByAttachment) {
  TTestTexture first(4, 4), third(4, 4);
  auto fbo = MakeFBO();
  fbo->AttachTexture(nullptr, first.get(), TRenderTarget::Color_0);
  fbo->AttachTexture(nullptr, third.get(), TRenderTarget::Color_2);
  fbo->Bind(nullptr);
  fbo->Prepare({TRenderTarget::Color_0, TRenderTarget::Depth, TRenderTarget::Color_2});
  EXPECT_EQ(GetInt(GL_DRAW_BUFFER0), GL_COLOR_ATTACHMENT0);
  EXPECT_EQ(GetInt(GL_DRAW_BUFFER1), GL_COLOR_ATTACHMENT2);
  EXPECT_EQ(GetInt(GL_DRAW_BUFFER2), GL_NONE);
  fbo->Clear({TRenderTarget::Color_0, TRenderTarget::Color_2}, ColorOf(Black), 1, 0, false);

  fbo->Clear(TRenderTarget::Color_2, ColorOf(Green), 1, 0, false);
  EXPECT_TRUE(third.IsFilledWith(Green));
  EXPECT_TRUE(first.IsFilledWith(Black));
  EXPECT_EQ(GetInt(GL_DRAW_BUFFER0), GL_COLOR_ATTACHMENT0);
  EXPECT_EQ(GetInt(GL_DRAW_BUFFER1), GL_COLOR_ATTACHMENT2);

  fbo->Clear(TRenderTarget::Color_2, ColorOf(Blue), 1, 0, true);
  EXPECT_TRUE(third.IsFilledWith(Blue));
  EXPECT_TRUE(first.IsFilledWith(Black));
  EXPECT_EQ(GetInt(GL_DRAW_BUFFER0), GL_COLOR_ATTACHMENT2);
  fbo->Unbind(nullptr);
}

TEST_F(FrameBufferGL, PrepareReportsAGLError) {
  const GLint colors = GetInt(GL_MAX_COLOR_ATTACHMENTS);
  if (colors >= 16)
    GTEST_SKIP() << "the driver has every colour attachment";
  TTestTexture texture(4, 4);
  auto fbo = MakeFBO();
  fbo->AttachTexture(nullptr, texture.get(), TRenderTarget::Color_0);
  fbo->Bind(nullptr);
  try {
    fbo->Prepare({TRenderTarget::Color_0, ColorTarget(colors)});
    FAIL() << "a draw buffer beyond the attachments must raise";
  } catch (const EContext3DException& E) {
    EXPECT_EQ(E.Message(), "Error in context method \"TFrameBufferObject.Prepare()\".");
  }
  fbo->Unbind(nullptr);
}

// ---- Attaching --------------------------------------------------------------------------------------

TEST_F(FrameBufferGL, ColourTargetsBeyondTheDriverRaise) {
  const GLint colors = GetInt(GL_MAX_COLOR_ATTACHMENTS);
  auto fbo = MakeFBO();
  for (TRenderTarget target : {TRenderTarget::Color_0, TRenderTarget::Depth, TRenderTarget::Stencil})
    EXPECT_NO_THROW(fbo->CheckMaxAttachments(target));
  EXPECT_NO_THROW(fbo->CheckMaxAttachments(ColorTarget(colors - 1)));
  if (colors >= 16)
    GTEST_SKIP() << "the driver has every colour attachment";
  TTestTexture texture(4, 4);
  try {
    fbo->AttachTexture(nullptr, texture.get(), ColorTarget(colors));
    FAIL() << "colour " << colors << " must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "failed to attach texture to FBO - not enough attachments available");
  }
  EXPECT_EQ(fbo->Textures().Count(), 0);
}

TEST_F(FrameBufferGL, AttachingTheSameTextureAgainMakesNoGLCall) {
  TTestTexture texture(4, 4);
  auto fbo = MakeFBO();
  fbo->AttachTexture(nullptr, texture.get(), TRenderTarget::Color_0);
  fbo->Bind(nullptr);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(texture.Name()));
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  fbo->AttachTexture(nullptr, texture.get(), TRenderTarget::Color_0);
  fbo->Bind(nullptr);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE), GL_NONE);
  fbo->Unbind(nullptr);
}

TEST_F(FrameBufferGL, TextureMapRemovesByTargetAndByTexture) {
  TTestTexture color(4, 4), depth(4, 4, GL_DEPTH_COMPONENT24), other(4, 4);
  auto fbo = MakeFBO();
  fbo->AttachTexture(nullptr, color.get(), TRenderTarget::Color_1);
  fbo->AttachTexture(nullptr, color.get(), TRenderTarget::Color_3);
  fbo->Bind(nullptr);
  fbo->Textures().RemoveTexture(color.get());
  EXPECT_EQ(fbo->GetTextureByRenderTarget(TRenderTarget::Color_1), nullptr);
  EXPECT_EQ(fbo->GetTextureByRenderTarget(TRenderTarget::Color_3), color.get());
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT1, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE), GL_NONE);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT3, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(color.Name()));
  fbo->Unbind(nullptr);

  fbo->DetachTexture(color.get());
  fbo->AttachTexture(nullptr, other.get(), TRenderTarget::Color_0);
  fbo->AttachTexture(nullptr, depth.get(), TRenderTarget::Depth);
  fbo->AttachTexture(nullptr, color.get(), TRenderTarget::Color_2);
  EXPECT_EQ(fbo->Textures().Count(), 3);
  EXPECT_TRUE(fbo->Textures().TextureExists(TRenderTarget::Depth, depth.get()));
  fbo->Bind(nullptr);
  fbo->Textures().RemoveAll();
  EXPECT_EQ(fbo->Textures().Count(), 0);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT2, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE), GL_NONE);
  fbo->Unbind(nullptr);
}

TEST_F(FrameBufferGL, AttachingRestoresTheTextureBindingAlsoWhenItRaises) {
  TTestTexture sentinel(4, 4), color(4, 4), depth(4, 4, GL_DEPTH_COMPONENT24);
  glBindTexture(GL_TEXTURE_2D, sentinel.Name());
  auto fbo = MakeFBO();
  fbo->AttachTexture(nullptr, color.get(), TRenderTarget::Color_1);
  EXPECT_EQ(GetInt(GL_TEXTURE_BINDING_2D), GLint(sentinel.Name()));
  EXPECT_THROW(fbo->AttachTexture(nullptr, depth.get(), TRenderTarget::Color_0), Exception);
  EXPECT_EQ(GetInt(GL_TEXTURE_BINDING_2D), GLint(sentinel.Name()));
  EXPECT_EQ(GetInt(GL_FRAMEBUFFER_BINDING), 0);
  glBindTexture(GL_TEXTURE_2D, 0);
}

GLuint GLayeredTexture = 0;

TGLTextureTarget LayeredResolver(const TTexture* ATexture) {
  if (ATexture->Handle() == GLayeredTexture)
    return {GL_TEXTURE_3D, GL_TEXTURE_BINDING_3D, GL_TEXTURE_3D, true};
  return {GL_TEXTURE_2D, GL_TEXTURE_BINDING_2D, GL_TEXTURE_2D, false};
}

TEST_F(FrameBufferGL, VolumeTexturesAttachLayered) {
  TTestTexture volume(4, 4, GL_RGBA8, GL_TEXTURE_3D, 3), sentinel(2, 2, GL_RGBA8, GL_TEXTURE_3D, 2);
  GLayeredTexture = volume.Name();
  const TGLTextureTargetResolver previous = SetTextureTargetResolver(&LayeredResolver);
  glBindTexture(GL_TEXTURE_3D, sentinel.Name());
  auto fbo = MakeFBO();
  EXPECT_NO_THROW(fbo->AttachTexture(nullptr, volume.get(), TRenderTarget::Color_0));
  EXPECT_EQ(GetInt(GL_TEXTURE_BINDING_3D), GLint(sentinel.Name()));
  fbo->Bind(nullptr);
  EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_LAYERED), GL_TRUE);
  fbo->Unbind(nullptr);
  fbo->DetachTexture(volume.get());
  fbo->Bind(nullptr);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE), GL_NONE);
  fbo->Unbind(nullptr);
  glBindTexture(GL_TEXTURE_3D, 0);
  SetTextureTargetResolver(previous);
}

GLuint GCubeTexture = 0;
GLenum GCubeFace = GL_TEXTURE_CUBE_MAP_POSITIVE_X;

TGLTextureTarget CubeResolver(const TTexture* ATexture) {
  if (ATexture->Handle() == GCubeTexture)
    return {GL_TEXTURE_CUBE_MAP, GL_TEXTURE_BINDING_CUBE_MAP, GCubeFace, false};
  return {GL_TEXTURE_2D, GL_TEXTURE_BINDING_2D, GL_TEXTURE_2D, false};
}

TEST_F(FrameBufferGL, ACubeMapAttachedAtAnotherFaceIsAttachedAgain) {
  TTestTexture cube(4, 4, GL_RGBA8, GL_TEXTURE_CUBE_MAP);
  GCubeTexture = cube.Name();
  GCubeFace = GL_TEXTURE_CUBE_MAP_POSITIVE_X;
  const TGLTextureTargetResolver previous = SetTextureTargetResolver(&CubeResolver);
  auto fbo = MakeFBO();
  fbo->AttachTexture(nullptr, cube.get(), TRenderTarget::Color_0);
  fbo->Bind(nullptr);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_TEXTURE_CUBE_MAP_FACE),
            GLint(GL_TEXTURE_CUBE_MAP_POSITIVE_X));
  fbo->Unbind(nullptr);
  GCubeFace = GL_TEXTURE_CUBE_MAP_NEGATIVE_Z;
  fbo->AttachTexture(nullptr, cube.get(), TRenderTarget::Color_0);
  fbo->Bind(nullptr);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_TEXTURE_CUBE_MAP_FACE),
            GLint(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z));
  fbo->Unbind(nullptr);
  SetTextureTargetResolver(previous);
}

// ---- Binding through the framework's context ---------------------------------------------------

TEST_F(FrameBufferGL, UnbindRebindsTheFrameBufferThatWasPopped) {
  vtest::TRecordingContext::Register();
  auto target = MakeOwned<TTexture>();
  target->SetSize(8, 8);
  {
    auto context = vtest::TRecordingContext::Create(target.get());
    const int depth = context->FBOStackCount();
    auto first = MakeFBO(), second = MakeFBO();
    first->Bind(context.get());
    second->Bind(context.get());
    EXPECT_EQ(context->GetCurrentlyBoundBuffer(), second.get());
    second->Unbind(context.get());
    EXPECT_EQ(GetInt(GL_FRAMEBUFFER_BINDING), GLint(second->Handle()));
    first->Unbind(context.get());
    EXPECT_EQ(GetInt(GL_FRAMEBUFFER_BINDING), GLint(first->Handle()));
    EXPECT_EQ(context->FBOStackCount(), depth);
    // Another kind of context keeps no stack: unbinding binds 0.
    first->Bind(nullptr);
    first->Unbind(nullptr);
    EXPECT_EQ(GetInt(GL_FRAMEBUFFER_BINDING), 0);
  }
  target.reset();
  TContextManager::UnregisterContexts();
  ContextShared().Reset();
}

// ---- Status -----------------------------------------------------------------------------------------

const std::string_view IncompleteText =
    "error #%d: failed to use framebuffer-object #%d\r\nNot all framebuffer attachment points are "
    "framebuffer "
    "attachment complete. This means that at least one attachment point with a renderbuffer or texture "
    "attached "
    "has its attached object no longer in existence or has an attached image with a width or height of zero, "
    "or "
    "the color attachment point has a non-color-renderable image attached, or the depth attachment point has "
    "a "
    "non-depth-renderable image attached, or the stencil attachment point has a non-stencil-renderable image "
    "attached.";

TEST(FrameBufferStatus, TextDependsOnStatusAndAttachedTextures) {
  const std::string_view sizes = "error #%d: failed to use framebuffer-object #%d\r\nNot all attached images "
                                 "have the same width and height.";
  const std::string_view formats = "error #%d: failed to use framebuffer-object #%d\r\nThe combination of "
                                   "internal formats of the attached "
                                   "images violates an implementation-dependent set of restrictions.";
  const std::string_view unexpected = "error #%d: failed to use framebuffer-object #%d\r\nunexpected error";
  const struct {
    uint32_t Status;
    bool AnyTexture;
    std::optional<std::string_view> Text;
  } cases[] = {
      {0x8CD5, true, std::nullopt}, {0x8CD6, true, IncompleteText}, {0x8CD6, false, std::nullopt},
      {0x8CD7, true, sizes},        {0x8CD7, false, std::nullopt},  {0x8CDD, true, formats},
      {0x8CDD, false, formats},     {0x8219, true, unexpected},     {0x8219, false, unexpected},
      {0, false, unexpected},
  };
  for (const auto& test : cases)
    EXPECT_EQ(FrameBufferStatusText(test.Status, test.AnyTexture), test.Text)
        << std::hex << test.Status << " " << test.AnyTexture;
}

TEST_F(FrameBufferGL, DepthTextureAtAColourTargetRaisesTheStatusText) {
  TTestTexture depth(4, 4, GL_DEPTH_COMPONENT24);
  auto fbo = MakeFBO();
  try {
    fbo->AttachTexture(nullptr, depth.get(), TRenderTarget::Color_0);
    FAIL() << "an incomplete frame buffer must raise";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), Format(IncompleteText, {36054, fbo->Handle()}));
  }
  EXPECT_EQ(fbo->Textures().Count(), 1);
}

TEST_F(FrameBufferGL, EmptyFrameBufferPreparesAndClearsSilently) {
  auto fbo = MakeFBO();
  fbo->Bind(nullptr);
  EXPECT_NO_THROW(fbo->Prepare({TRenderTarget::Color_0}));
  EXPECT_NO_THROW(fbo->Clear({TRenderTarget::Color_0, TRenderTarget::Depth}, ColorOf(Red), 1, 0, true));
  fbo->Unbind(nullptr);
}

// ---- Render buffers ---------------------------------------------------------------------------------

TEST_F(FrameBufferGL, ResizeWithoutBuffersCreatesColourAndDepth) {
  GLuint sentinel = 0;
  glGenRenderbuffers(1, &sentinel);
  glBindRenderbuffer(GL_RENDERBUFFER, sentinel);
  auto fbo = MakeFBO();
  fbo->Resize(8, 4);
  EXPECT_EQ(GetInt(GL_RENDERBUFFER_BINDING), GLint(sentinel));
  EXPECT_NE(fbo->RenderBuf(), 0u);
  EXPECT_NE(fbo->DepthBuf(), 0u);
  EXPECT_EQ(fbo->Size(), (TSize{8, 4}));
  fbo->Resize(16, 8);
  fbo->Bind(nullptr);
  EXPECT_TRUE(fbo->CheckStatus());
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(fbo->RenderBuf()));
  EXPECT_EQ(Attachment(GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(fbo->DepthBuf()));
  EXPECT_EQ(Attachment(GL_STENCIL_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(fbo->DepthBuf()));
  fbo->Unbind(nullptr);
  glBindRenderbuffer(GL_RENDERBUFFER, fbo->RenderBuf());
  EXPECT_EQ(([] {
              GLint width = 0;
              glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
              return width;
            }()),
            16);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glDeleteRenderbuffers(1, &sentinel);
}

TEST_F(FrameBufferGL, MultisampleResizeGivesMultisampledBuffers) {
  auto fbo = MakeFBO(TMultisample::FourSamples);
  fbo->Resize(8, 8);
  fbo->Resize(4, 4);
  for (GLuint buffer : {fbo->RenderBuf(), fbo->DepthBuf()}) {
    glBindRenderbuffer(GL_RENDERBUFFER, buffer);
    GLint samples = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &samples);
    EXPECT_GE(samples, 4);
  }
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
}

TEST_F(FrameBufferGL, SharedDepthBufferOutlivesTheReceiver) {
  auto owner = MakeFBO();
  owner->Resize(8, 8);
  const uint32_t depth = owner->DepthBuf();
  {
    TTestTexture color(8, 8);
    auto receiver = MakeFBO();
    receiver->AttachTexture(nullptr, color.get(), TRenderTarget::Color_0);
    receiver->AttachDepthBuffer(depth, {8, 8});
    EXPECT_EQ(receiver->DepthBuf(), depth);
    receiver->Bind(nullptr);
    EXPECT_EQ(Attachment(GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(depth));
    receiver->Unbind(nullptr);
  }
  EXPECT_TRUE(glIsRenderbuffer(depth));
  owner->Bind(nullptr);
  EXPECT_TRUE(owner->CheckStatus());
  owner->Unbind(nullptr);
}

// The maker goes first: the receiver keeps the depth buffer alive and still tests depth with it.
TEST_F(FrameBufferGL, SharedDepthBufferOutlivesItsMaker) {
  const int64_t renderBuffers = gl::LiveNames(gl::TNameKind::RenderBuffer);
  TTestTexture color(8, 8);
  auto receiver = MakeFBO();
  {
    auto maker = MakeFBO();
    maker->Resize(8, 8);
    receiver->AttachTexture(nullptr, color.get(), TRenderTarget::Color_0);
    receiver->AttachDepthBuffer(maker->DepthBuf(), {8, 8});
  }
  EXPECT_EQ(gl::LiveNames(gl::TNameKind::RenderBuffer), renderBuffers + 1) << "only the depth buffer stays";
  ASSERT_TRUE(glIsRenderbuffer(receiver->DepthBuf()));

  receiver->Bind(nullptr);
  glViewport(0, 0, 8, 8);
  glClearColor(0, 0, 0, 1);
  glClearDepth(1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glUseProgram(0);
  // A near red quad, then a farther green one that the depth test must reject.
  for (const auto& [z, green] : {std::pair{0.0f, 0.0f}, std::pair{0.5f, 1.0f}}) {
    glColor4f(1 - green, green, 0, 1);
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, z);
    glVertex3f(1, -1, z);
    glVertex3f(1, 1, z);
    glVertex3f(-1, 1, z);
    glEnd();
  }
  glDisable(GL_DEPTH_TEST);
  receiver->Unbind(nullptr);
  EXPECT_TRUE(color.IsFilledWith(TRGBA8{255, 0, 0, 255}));

  receiver.reset();
  EXPECT_EQ(gl::LiveNames(gl::TNameKind::RenderBuffer), renderBuffers);
}

TEST_F(FrameBufferGL, AttachingANameNoFrameBufferMadeRaises) {
  GLuint foreign = 0;
  glGenRenderbuffers(1, &foreign);
  auto fbo = MakeFBO();
  EXPECT_THROW(fbo->AttachDepthBuffer(foreign, {8, 8}), rtl::EInvalidOperation);
  EXPECT_EQ(fbo->DepthBuf(), 0u);
  glDeleteRenderbuffers(1, &foreign);
}

TEST_F(FrameBufferGL, ResetDetachesTexturesAndKeepsTheDepthBuffer) {
  TTestTexture color(8, 8), extra(8, 8);
  auto fbo = MakeFBO();
  fbo->Resize(8, 8);
  fbo->AttachTexture(nullptr, color.get(), TRenderTarget::Color_0);
  fbo->AttachTexture(nullptr, extra.get(), TRenderTarget::Color_1);
  fbo->Reset();
  EXPECT_EQ(fbo->Textures().Count(), 0);
  fbo->Bind(nullptr);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE), GL_NONE);
  EXPECT_EQ(Attachment(GL_COLOR_ATTACHMENT1, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE), GL_NONE);
  EXPECT_EQ(Attachment(GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(fbo->DepthBuf()));
  EXPECT_EQ(Attachment(GL_STENCIL_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME), GLint(fbo->DepthBuf()));
  fbo->Unbind(nullptr);
}

} // namespace
