#pragma once
// The OpenGL bodies of the frame buffers, their texture maps and the buffer objects. GL headers
// stay in the source, so GL enumerations appear here as their 32-bit unsigned type.
//
// InitializeBuffersOpenGL installs the three classes into the class references of
// Vantrel.Context.Buffers, FinalizeBuffersOpenGL puts the abstract bases back. Calls nest: the
// first initialisation installs and the matching last finalisation restores.

#include <array>
#include <cstdint>

#include "context/Vantrel.Context.Buffers.h"

namespace vantrel {

void InitializeBuffersOpenGL();
void FinalizeBuffersOpenGL();

// GL values of the buffer enumerations; values outside an enumeration give 0.
uint32_t BufferUsageToGL(TBufferUsage AUsage);
uint32_t BufferTargetToGL(TBufferBindingTarget ATarget);
uint32_t BufferAccessToGL(TBufferAccessMode AMode);
// The query that reads which buffer is bound to a target; 0 outside the enumeration.
uint32_t BufferTargetBindingToGL(TBufferBindingTarget ATarget);

// How a texture is bound and attached to a frame buffer.
struct TGLTextureTarget {
  uint32_t Target = 0;       // bound to while attaching (GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, ...)
  uint32_t BindingQuery = 0; // reads the texture bound to Target, to restore it afterwards
  uint32_t AttachTarget = 0; // the target the 2D attachment call takes: Target, or a cube face
  bool Layered = false;      // every layer is attached at once (3D textures and arrays)
};
// The frame buffers know plain 2D textures only; the texture unit that describes other kinds
// installs a resolver for them.
using TGLTextureTargetResolver = TGLTextureTarget (*)(const ui::TTexture* ATexture);
// Installs AResolver (nullptr restores the plain 2D answer) and returns the one it replaces.
TGLTextureTargetResolver SetTextureTargetResolver(TGLTextureTargetResolver AResolver);
TGLTextureTarget TextureTargetOf(const ui::TTexture* ATexture);

class TOpenGLFBOTextureMap : public TFBOTextureMap {
  RTL_CLASS_META(TOpenGLFBOTextureMap, TFBOTextureMap, TFBOTextureMapClass)
public:
  TOpenGLFBOTextureMap() = default;

  using TFBOTextureMap::RemoveTexture;
  // Detaches a colour target's texture from the bound frame buffer; Depth and Stencil make no
  // GL call. The entry becomes empty either way.
  void RemoveTexture(TRenderTarget ATarget) override;

  // The GL attach target each entry was attached with (a cube map's face); 0 for an empty entry.
  uint32_t AttachTargetOf(TRenderTarget ATarget) const;
  void SetAttachTarget(TRenderTarget ATarget, uint32_t AAttachTarget);
  // ATarget holds ATexture attached at AAttachTarget: a cube map attached at another face is not
  // the same attachment.
  bool AttachmentExists(TRenderTarget ATarget, const ui::TTexture* ATexture, uint32_t AAttachTarget) const;

private:
  std::array<uint32_t, RenderTargetCount> FAttachTargets{};
};

class TOpenGLFrameBufferObject : public TFrameBufferObject {
  RTL_CLASS_META(TOpenGLFrameBufferObject, TFrameBufferObject, TFrameBufferObjectClass)
public:
  TOpenGLFrameBufferObject() = default;

  using TFrameBufferObject::Clear;
  bool CheckStatus() override;
  void CreateHandle() override;
  void DestroyHandle() override;
  void Reset() override;
  void CheckMaxAttachments(TRenderTarget ATarget) override;
  void AttachTexture(ui::TContext3D* AContext, ui::TTexture* ATexture, TRenderTarget ATarget) override;
  void CreateRenderBuffer(int32_t AWidth, int32_t AHeight) override;
  void DestroyRenderBuffer() override;
  void CreateDepthBuffer(int32_t AWidth, int32_t AHeight) override;
  void DestroyDepthBuffer() override;
  void AttachDepthBuffer(uint32_t ABufId, const rtl::TPoint& ASize) override;
  void Bind(ui::TContext3D* AContext) override;
  void Unbind(ui::TContext3D* AContext) override;
  void Resize(int AWidth, int AHeight) override;
  void Prepare(TRenderTargets ATargets) override;
  void Clear(TRenderTargets ATargets, const rtl::TAlphaColorF& AColor, float ADepth, uint32_t AStencil,
             bool AForceDraw) override;

private:
  // These work on the bound frame buffer and the bound render buffer.
  void MakeRenderBuffer(int32_t AWidth, int32_t AHeight);
  void MakeDepthBuffer(int32_t AWidth, int32_t AHeight);
  void StoreColor(int32_t AWidth, int32_t AHeight) const;
  void StoreDepth(int32_t AWidth, int32_t AHeight) const;
  void AttachDepthStencil(uint32_t ABuffer) const;
  void ClearColor(TRenderTarget ATarget, const rtl::TAlphaColorF& AColor, bool AForceDraw) const;
  // Raises the context error for AMethod when a GL error is pending.
  void CheckGLError(const char* AMethod);
};

class TOpenGLBufferObject : public TBufferObject {
  RTL_CLASS_META(TOpenGLBufferObject, TBufferObject, TBufferObjectClass)
public:
  TOpenGLBufferObject() = default;
  ~TOpenGLBufferObject() override;

  intptr_t Bind() override;
  void Unbind() override;
  void Push(const void* AData, intptr_t ASize) override;
  void* SynchronizedMap(TBufferAccessMode AMode) override;
  void SynchronizedUnmap() override;
  // Size 0, unlinked, and the storage zeroed.
  void Clear() override;
  void LinkWithBindingPoint(uint32_t ABindingPoint, bool AErrorCheck) override;
  void LinkWithShaderProgram(uint32_t AProgram, std::string_view ABlockName, const void* AData,
                             uint32_t ASize, bool AErrorCheck) override;

protected:
  void Create(TBufferUsage AUsage, TBufferBindingTarget ATarget, ui::TContext3D* AContext) override;

private:
  void CheckLinkError(bool AErrorCheck, std::string_view AMessage) const;
};

} // namespace vantrel
