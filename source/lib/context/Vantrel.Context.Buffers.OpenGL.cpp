#include "context/Vantrel.Context.Buffers.OpenGL.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "context/Vantrel.Context.GLState.OpenGL.h"
#include "context/Vantrel.Context.Types.OpenGL.h"
#include "context/Vantrel.Context.h"
#include "gl/egl_context.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TOpenGLFBOTextureMap, "Vantrel.Context.Buffers.OpenGL", TFBOTextureMapClass)
RTL_DEFINE_CLASS_META(TOpenGLFrameBufferObject, "Vantrel.Context.Buffers.OpenGL", TFrameBufferObjectClass)
RTL_DEFINE_CLASS_META(TOpenGLBufferObject, "Vantrel.Context.Buffers.OpenGL", TBufferObjectClass)

namespace {

// Installation runs on the UI thread, at start-up and shut-down.
int GInitCount = 0;

constexpr std::array<GLenum, 9> BufferUsages = {GL_STREAM_DRAW,  GL_STREAM_READ,  GL_STREAM_COPY,
                                                GL_STATIC_DRAW,  GL_STATIC_READ,  GL_STATIC_COPY,
                                                GL_DYNAMIC_DRAW, GL_DYNAMIC_READ, GL_DYNAMIC_COPY};
constexpr std::array<GLenum, 10> BufferTargets = {
    GL_ARRAY_BUFFER,         GL_COPY_READ_BUFFER,     GL_COPY_WRITE_BUFFER,
    GL_DRAW_INDIRECT_BUFFER, GL_ELEMENT_ARRAY_BUFFER, GL_PIXEL_PACK_BUFFER,
    GL_PIXEL_UNPACK_BUFFER,  GL_TEXTURE_BUFFER,       GL_TRANSFORM_FEEDBACK_BUFFER,
    GL_UNIFORM_BUFFER};
constexpr std::array<GLenum, 10> BufferBindings = {
    GL_ARRAY_BUFFER_BINDING,         GL_COPY_READ_BUFFER_BINDING,     GL_COPY_WRITE_BUFFER_BINDING,
    GL_DRAW_INDIRECT_BUFFER_BINDING, GL_ELEMENT_ARRAY_BUFFER_BINDING, GL_PIXEL_PACK_BUFFER_BINDING,
    GL_PIXEL_UNPACK_BUFFER_BINDING,  GL_TEXTURE_BUFFER_BINDING,       GL_TRANSFORM_FEEDBACK_BUFFER_BINDING,
    GL_UNIFORM_BUFFER_BINDING};
constexpr std::array<GLenum, 3> BufferAccesses = {GL_READ_ONLY, GL_WRITE_ONLY, GL_READ_WRITE};

template <size_t N, class E> uint32_t Lookup(const std::array<GLenum, N>& ATable, E AValue) {
  const auto index = static_cast<size_t>(AValue);
  return index < N ? ATable[index] : 0;
}

TGLTextureTarget Plain2D(const ui::TTexture*) {
  return {GL_TEXTURE_2D, GL_TEXTURE_BINDING_2D, GL_TEXTURE_2D, false};
}

TGLTextureTargetResolver GResolver = &Plain2D;

constexpr std::string_view SUnknownDepthBuffer = "render buffer %d is no frame buffer's depth buffer";

// The depth buffers frame buffers made, by GL name, so another frame buffer that attaches one by
// name shares it instead of borrowing a name its maker may delete.
struct TDepthBuffers {
  std::mutex Lock;
  std::unordered_map<uint32_t, std::weak_ptr<gl::TRenderBufferName>> ByName;
};

TDepthBuffers& DepthBuffers() {
  // Never destroyed: frame buffers may go during static destruction.
  static auto* buffers = new TDepthBuffers;
  return *buffers;
}

gl::TSharedRenderBufferName ShareDepthBuffer(gl::TRenderBufferName AName) {
  const uint32_t name = AName.Get();
  gl::TSharedRenderBufferName shared(new gl::TRenderBufferName(std::move(AName)),
                                     [name](gl::TRenderBufferName* AHandle) {
                                       {
                                         auto& buffers = DepthBuffers();
                                         std::lock_guard guard(buffers.Lock);
                                         auto it = buffers.ByName.find(name);
                                         if (it != buffers.ByName.end() && it->second.expired())
                                           buffers.ByName.erase(it);
                                       }
                                       delete AHandle;
                                     });
  auto& buffers = DepthBuffers();
  std::lock_guard guard(buffers.Lock);
  buffers.ByName[name] = shared;
  return shared;
}

gl::TSharedRenderBufferName FindSharedDepthBuffer(uint32_t AName) {
  auto& buffers = DepthBuffers();
  std::lock_guard guard(buffers.Lock);
  auto it = buffers.ByName.find(AName);
  return it == buffers.ByName.end() ? nullptr : it->second.lock();
}

void InitializeTextureObject(ui::TContext3D* AContext, ui::TTexture* ATexture) {
  if (AContext)
    AContext->ContextClass().InitializeTexture(ATexture);
  else
    ATexture->Initialize();
}

} // namespace

// ---- Installation ---------------------------------------------------------------------------------

void InitializeBuffersOpenGL() {
  if (--GInitCount != -1)
    return;
  TFBOTextureMap::SetTextureMapClass(&TOpenGLFBOTextureMap::StaticClass());
  TFrameBufferObject::SetFrameBufferClass(&TOpenGLFrameBufferObject::StaticClass());
  TBufferObject::SetBufferObjectClass(&TOpenGLBufferObject::StaticClass());
}

void FinalizeBuffersOpenGL() {
  // A finalisation without its initialisation changes nothing.
  if (GInitCount == 0 || ++GInitCount != 0)
    return;
  TFBOTextureMap::SetTextureMapClass(nullptr);
  TFrameBufferObject::SetFrameBufferClass(nullptr);
  TBufferObject::SetBufferObjectClass(nullptr);
}

// ---- Tables ---------------------------------------------------------------------------------------

uint32_t BufferUsageToGL(TBufferUsage AUsage) {
  return Lookup(BufferUsages, AUsage);
}

uint32_t BufferTargetToGL(TBufferBindingTarget ATarget) {
  return Lookup(BufferTargets, ATarget);
}

uint32_t BufferAccessToGL(TBufferAccessMode AMode) {
  return Lookup(BufferAccesses, AMode);
}

uint32_t BufferTargetBindingToGL(TBufferBindingTarget ATarget) {
  return Lookup(BufferBindings, ATarget);
}

TGLTextureTargetResolver SetTextureTargetResolver(TGLTextureTargetResolver AResolver) {
  return std::exchange(GResolver, AResolver ? AResolver : &Plain2D);
}

TGLTextureTarget TextureTargetOf(const ui::TTexture* ATexture) {
  return GResolver(ATexture);
}

// ---- TOpenGLFBOTextureMap -------------------------------------------------------------------------

void TOpenGLFBOTextureMap::RemoveTexture(TRenderTarget ATarget) {
  const ui::TTexture* texture = GetTextureByTarget(ATarget);
  if (texture && ColorIndexOf(ATarget) >= 0) {
    const GLenum attachment = TFrameBufferObject::RenderTargetToValue(ATarget);
    const TGLTextureTarget target = TextureTargetOf(texture);
    if (target.Layered)
      glFramebufferTexture(GL_FRAMEBUFFER, attachment, 0, 0);
    else
      glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, target.AttachTarget, 0, 0);
  }
  FTargets[static_cast<size_t>(ATarget)] = nullptr;
  FAttachTargets.at(static_cast<size_t>(ATarget)) = 0;
}

uint32_t TOpenGLFBOTextureMap::AttachTargetOf(TRenderTarget ATarget) const {
  return FAttachTargets.at(static_cast<size_t>(ATarget));
}

void TOpenGLFBOTextureMap::SetAttachTarget(TRenderTarget ATarget, uint32_t AAttachTarget) {
  FAttachTargets.at(static_cast<size_t>(ATarget)) = AAttachTarget;
}

bool TOpenGLFBOTextureMap::AttachmentExists(TRenderTarget ATarget, const ui::TTexture* ATexture,
                                            uint32_t AAttachTarget) const {
  return TextureExists(ATarget, ATexture) && AttachTargetOf(ATarget) == AAttachTarget;
}

// ---- TOpenGLFrameBufferObject ---------------------------------------------------------------------

bool TOpenGLFrameBufferObject::CheckStatus() {
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status == GL_FRAMEBUFFER_COMPLETE)
    return true;
  if (const auto text = FrameBufferStatusText(status, FTextures && FTextures->Count() > 0))
    throw rtl::Exception(rtl::Format(*text, {status, FHandle.Get()}));
  return false;
}

void TOpenGLFrameBufferObject::CreateHandle() {
  if (!FHandle)
    FHandle = gl::TFrameBufferName::Generate();
}

void TOpenGLFrameBufferObject::DestroyHandle() {
  FHandle.Reset();
}

void TOpenGLFrameBufferObject::Reset() {
  if (!HasHandle() || FTextures->Count() == 0)
    return;
  TFrameBufferBinding binding(*this);
  FTextures->RemoveAll();
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  // The detach also took the depth-stencil render buffer off; the frame buffer keeps its depth.
  if (FDepthBuf)
    AttachDepthStencil(FDepthBuf->Get());
  FTextures->Clear();
}

void TOpenGLFrameBufferObject::CheckMaxAttachments(TRenderTarget ATarget) {
  const int color = ColorIndexOf(ATarget);
  if (color < 1)
    return;
  GLint available = 0;
  glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &available);
  if (available < color + 1)
    throw rtl::Exception(std::string(SNotEnoughAttachments));
}

void TOpenGLFrameBufferObject::AttachTexture(ui::TContext3D* AContext, ui::TTexture* ATexture,
                                             TRenderTarget ATarget) {
  if (!ATexture)
    return;
  CheckMaxAttachments(ATarget);
  if (ATexture->Handle() == 0)
    InitializeTextureObject(AContext, ATexture);
  // The same texture at the same target is attached already only when it was attached at the same
  // GL attach target: a cube map whose face changed must be attached again.
  const TGLTextureTarget target = TextureTargetOf(ATexture);
  auto* map = dynamic_cast<TOpenGLFBOTextureMap*>(FTextures.get());
  if (map ? map->AttachmentExists(ATarget, ATexture, target.AttachTarget) : FTextures->TextureExists(ATarget, ATexture))
    return;
  if (!FContext)
    FContext = AContext;
  const auto name = GLuint(ATexture->Handle());
  TTextureBindingGuard texture(target.Target, target.BindingQuery, name);
  TFrameBufferBinding binding(*this);
  const GLenum attachment = RenderTargetToValue(ATarget);
  if (target.Layered)
    glFramebufferTexture(GL_FRAMEBUFFER, attachment, name, 0);
  else
    glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, target.AttachTarget, name, 0);
  FTextures->AddTexture(ATexture, ATarget);
  if (map)
    map->SetAttachTarget(ATarget, target.AttachTarget);
  FSize = {ATexture->Width(), ATexture->Height()};
  CheckStatus();
}

void TOpenGLFrameBufferObject::CreateRenderBuffer(int32_t AWidth, int32_t AHeight) {
  TFrameBufferBinding binding(*this);
  TRenderbufferBindingGuard renderbuffer;
  MakeRenderBuffer(AWidth, AHeight);
}

void TOpenGLFrameBufferObject::MakeRenderBuffer(int32_t AWidth, int32_t AHeight) {
  DestroyRenderBuffer();
  FRenderBuf = gl::TRenderBufferName::Generate();
  glBindRenderbuffer(GL_RENDERBUFFER, FRenderBuf.Get());
  StoreColor(AWidth, AHeight);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, FRenderBuf.Get());
  CheckStatus();
  FSize = {AWidth, AHeight};
}

void TOpenGLFrameBufferObject::DestroyRenderBuffer() {
  FRenderBuf.Reset();
}

void TOpenGLFrameBufferObject::CreateDepthBuffer(int32_t AWidth, int32_t AHeight) {
  TFrameBufferBinding binding(*this);
  TRenderbufferBindingGuard renderbuffer;
  MakeDepthBuffer(AWidth, AHeight);
}

void TOpenGLFrameBufferObject::MakeDepthBuffer(int32_t AWidth, int32_t AHeight) {
  DestroyDepthBuffer();
  FDepthBuf = ShareDepthBuffer(gl::TRenderBufferName::Generate());
  glBindRenderbuffer(GL_RENDERBUFFER, FDepthBuf->Get());
  StoreDepth(AWidth, AHeight);
  AttachDepthStencil(FDepthBuf->Get());
  CheckStatus();
  FSize = {AWidth, AHeight};
}

void TOpenGLFrameBufferObject::DestroyDepthBuffer() {
  FDepthBuf.reset();
}

void TOpenGLFrameBufferObject::AttachDepthBuffer(uint32_t ABufId, const rtl::TPoint& ASize) {
  if (ABufId != DepthBuf()) {
    gl::TSharedRenderBufferName shared = FindSharedDepthBuffer(ABufId);
    if (!shared)
      throw rtl::EInvalidOperation(rtl::Format(SUnknownDepthBuffer, {ABufId}));
    FDepthBuf = std::move(shared);
  }
  TFrameBufferBinding binding(*this);
  TRenderbufferBindingGuard renderbuffer;
  glBindRenderbuffer(GL_RENDERBUFFER, ABufId);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, ASize.X, ASize.Y);
  AttachDepthStencil(ABufId);
  CheckStatus();
}

void TOpenGLFrameBufferObject::AttachDepthStencil(uint32_t ABuffer) const {
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, ABuffer);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, ABuffer);
}

void TOpenGLFrameBufferObject::StoreColor(int32_t AWidth, int32_t AHeight) const {
  const GLsizei samples = FIsMultisampleBuffer ? FMSValue : 0;
  glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA, AWidth, AHeight);
}

void TOpenGLFrameBufferObject::StoreDepth(int32_t AWidth, int32_t AHeight) const {
  if (FIsMultisampleBuffer)
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, FMSValue, GL_DEPTH24_STENCIL8, AWidth, AHeight);
  else
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, AWidth, AHeight);
}

void TOpenGLFrameBufferObject::Bind(ui::TContext3D* AContext) {
  if (!HasHandle())
    return;
  glBindFramebuffer(GL_FRAMEBUFFER, FHandle.Get());
  if (auto* context = dynamic_cast<TVantrelContext*>(AContext))
    context->PushFBO(this);
}

// The frame buffer popped is bound again, not the one beneath it: a Bind/Unbind pair leaves this
// frame buffer bound, and the context's stack alone keeps the nesting.
void TOpenGLFrameBufferObject::Unbind(ui::TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  const TFrameBufferObject* popped = context ? context->PopFBO() : nullptr;
  glBindFramebuffer(GL_FRAMEBUFFER, popped ? popped->Handle() : 0);
}

void TOpenGLFrameBufferObject::Resize(int AWidth, int AHeight) {
  TFrameBufferBinding binding(*this);
  TRenderbufferBindingGuard renderbuffer;
  FSize = {AWidth, AHeight};
  if (FRenderBuf) {
    glBindRenderbuffer(GL_RENDERBUFFER, FRenderBuf.Get());
    StoreColor(AWidth, AHeight);
  } else {
    MakeRenderBuffer(AWidth, AHeight);
  }
  if (FDepthBuf) {
    glBindRenderbuffer(GL_RENDERBUFFER, FDepthBuf->Get());
    StoreDepth(AWidth, AHeight);
  } else {
    MakeDepthBuffer(AWidth, AHeight);
  }
  CheckStatus();
}

void TOpenGLFrameBufferObject::Prepare(TRenderTargets ATargets) {
  if (!CheckStatus())
    return;
  std::array<GLenum, RenderTargetCount> buffers{};
  GLsizei count = 0;
  for (int ordinal = 0; ordinal < RenderTargetCount; ++ordinal) {
    const auto target = static_cast<TRenderTarget>(ordinal);
    if (ATargets.Contains(target) && ColorIndexOf(target) >= 0)
      buffers[size_t(count++)] = RenderTargetToValue(target);
  }
  DrainGLErrors();
  if (count > 0)
    glDrawBuffers(count, buffers.data());
  CheckGLError("TFrameBufferObject.Prepare()");
}

void TOpenGLFrameBufferObject::Clear(TRenderTargets ATargets, const rtl::TAlphaColorF& AColor, float ADepth,
                                     uint32_t AStencil, bool AForceDraw) {
  if (!CheckStatus())
    return;
  DrainGLErrors();
  for (int ordinal = 0; ordinal < RenderTargetCount; ++ordinal) {
    const auto target = static_cast<TRenderTarget>(ordinal);
    if (!ATargets.Contains(target))
      continue;
    if (target == TRenderTarget::Depth) {
      glClearBufferfv(GL_DEPTH, 0, &ADepth);
      CheckGLError("TFrameBufferObject.Clear() - clearing depth");
    } else if (target == TRenderTarget::Stencil) {
      const auto stencil = GLint(AStencil);
      glClearBufferiv(GL_STENCIL, 0, &stencil);
      CheckGLError("TFrameBufferObject.Clear() - clearing stencil");
    } else {
      ClearColor(target, AColor, AForceDraw);
      CheckGLError("TFrameBufferObject.Clear() - activating render target");
    }
  }
}

// The attachment is made the only draw buffer and cleared through slot 0, so a colour target is
// cleared wherever the last Prepare put it. Without AForceDraw the draw-buffer list is kept.
void TOpenGLFrameBufferObject::ClearColor(TRenderTarget ATarget, const rtl::TAlphaColorF& AColor,
                                          bool AForceDraw) const {
  const GLenum attachment = RenderTargetToValue(ATarget);
  const GLfloat color[4] = {AColor.R, AColor.G, AColor.B, AColor.A};
  if (AForceDraw) {
    glDrawBuffers(1, &attachment);
    glClearBufferfv(GL_COLOR, 0, color);
    return;
  }
  TDrawBuffersGuard saved;
  glDrawBuffers(1, &attachment);
  glClearBufferfv(GL_COLOR, 0, color);
}

void TOpenGLFrameBufferObject::CheckGLError(const char* AMethod) {
  if (HasGLErrors())
    RaiseContextException(this, SErrorInContextMethodResource, AMethod);
}

// ---- TOpenGLBufferObject --------------------------------------------------------------------------

void TOpenGLBufferObject::Create(TBufferUsage AUsage, TBufferBindingTarget ATarget,
                                 ui::TContext3D* AContext) {
  TBufferObject::Create(AUsage, ATarget, AContext);
  FHandle = gl::TBufferName::Generate();
}

TOpenGLBufferObject::~TOpenGLBufferObject() {
  // A name that was never bound has no buffer to invalidate; off the context's thread the handle
  // only queues the name for deletion.
  if (FHandle && gl::IsContextCurrent() && glIsBuffer(FHandle.Get()))
    glInvalidateBufferData(FHandle.Get());
}

intptr_t TOpenGLBufferObject::Bind() {
  if (FBinded)
    throw rtl::Exception(std::string(SBufferAlreadyBound));
  glBindBuffer(BufferTargetToGL(FTarget), FHandle.Get());
  FBinded = true;
  return FSize;
}

void TOpenGLBufferObject::Unbind() {
  if (!FBinded)
    throw rtl::Exception(std::string(SBufferNotBound));
  FBinded = false;
  glBindBuffer(BufferTargetToGL(FTarget), 0);
}

void TOpenGLBufferObject::Push(const void* AData, intptr_t ASize) {
  RequireContextThread("TBufferObject.Push");
  glBufferData(BufferTargetToGL(FTarget), ASize, AData, BufferUsageToGL(FUsage));
  FSize = ASize;
}

void* TOpenGLBufferObject::SynchronizedMap(TBufferAccessMode AMode) {
  return glMapBuffer(BufferTargetToGL(FTarget), BufferAccessToGL(AMode));
}

void TOpenGLBufferObject::SynchronizedUnmap() {
  glUnmapBuffer(BufferTargetToGL(FTarget));
}

void TOpenGLBufferObject::Clear() {
  FSize = 0;
  Unlink();
  TBufferBindingGuard binding(BufferTargetToGL(FTarget), BufferTargetBindingToGL(FTarget), FHandle.Get());
  glClearBufferData(BufferTargetToGL(FTarget), GL_R8, GL_RED, GL_UNSIGNED_BYTE, nullptr);
}

void TOpenGLBufferObject::LinkWithBindingPoint(uint32_t ABindingPoint, bool AErrorCheck) {
  if (AErrorCheck)
    DrainGLErrors();
  FBindingPoint = ABindingPoint;
  {
    TBufferBindingGuard generic(GL_UNIFORM_BUFFER, GL_UNIFORM_BUFFER_BINDING);
    glBindBufferBase(GL_UNIFORM_BUFFER, ABindingPoint, FHandle.Get());
  }
  CheckLinkError(AErrorCheck, SLinkWithBindingPointFailed);
}

void TOpenGLBufferObject::LinkWithShaderProgram(uint32_t AProgram, std::string_view ABlockName,
                                                const void* AData, uint32_t ASize, bool AErrorCheck) {
  if (AErrorCheck)
    DrainGLErrors();
  if (!FLinked) {
    FBlockIndex = glGetUniformBlockIndex(AProgram, std::string(ABlockName).c_str());
    if (FBlockIndex == GL_INVALID_INDEX)
      throw rtl::Exception(rtl::Format(SInvalidUniformBlockIndex, {AProgram, FBlockIndex, ABlockName}));
    CheckLinkError(AErrorCheck, SLinkWithShaderProgramFailed);
    FLinked = true;
  }
  glUniformBlockBinding(AProgram, FBlockIndex, FBindingPoint);
  CheckLinkError(AErrorCheck, SLinkWithShaderProgramFailed);
  if (FBinded) {
    TBufferBindingGuard binding(GL_UNIFORM_BUFFER, GL_UNIFORM_BUFFER_BINDING, FHandle.Get());
    glBufferData(GL_UNIFORM_BUFFER, ASize, AData, GL_DYNAMIC_DRAW);
  }
  CheckLinkError(AErrorCheck, SLinkWithShaderProgramFailed);
}

void TOpenGLBufferObject::CheckLinkError(bool AErrorCheck, std::string_view AMessage) const {
  if (!AErrorCheck)
    return;
  const uint32_t error = DrainGLErrors();
  if (error != GL_NO_ERROR)
    throw rtl::Exception(rtl::Format(AMessage, {rtl::Format(SBufferErrorDetail, {ClassName(), error})}));
}

} // namespace vantrel
