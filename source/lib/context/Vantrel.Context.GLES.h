#pragma once
// The OpenGL 4.3 implementation of the framework's context: GL state (depth, blending, stencil,
// culling, smoothing, point sprites, memory barriers, viewport), clearing, and the class-level
// platform queries (identity strings, limits, error state, direct state access, pixel store,
// texture filtering, texture units). Every GL call is made on the shared GL context, and none is
// made while no context is available.
//
// GL headers stay in the source, so GL enumerations appear here as 32-bit unsigned integers.

#include <cstdint>
#include <string>
#include <vector>

#include "context/Vantrel.Context.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

// How the draw code feeds one vertex element to the shaders: the attribute location the shader
// programs bind, the component count, the GL component type and whether it is normalised.
struct TVertexAttributeLayout {
  uint32_t Location = 0;
  int32_t Components = 0;
  uint32_t Type = 0;
  bool Normalized = false;
};
TVertexAttributeLayout VertexAttributeLayout(TVertexFormat AFormat);
// The GL primitive mode of a kind; an unknown kind draws triangles.
uint32_t PrimitiveKindToGL(TVantrelPrimitivesKind AKind);

// Process-wide state of the OpenGL context class.
struct TOpenGLESShared {
  // The read-back buffer, reused between frames; released with a context and at shutdown.
  std::vector<uint8_t> ReadBackBuffer;
  // The direct-state-access answer: 0 until asked with a context, then 2000, 1000 or 1.
  int32_t DirectStateAccess = 0;
  // The client-attribute stack depth after the last pixel-state save.
  int32_t ClientAttribDepth = 0;
};
TOpenGLESShared& OpenGLESShared();

class TVantrelContextOpenGLESClass : public TVantrelContextClass {
public:
  using TVantrelContextClass::PlatformHasAnyErrors;
  using TVantrelContextClass::TVantrelContextClass;

  // Whether a GL context is available.
  bool Valid() const override;
  // GL_TEXTURE0 + AIndex for 1 .. 31, GL_TEXTURE0 for anything else.
  int32_t GetTextureByTextureIndex(int32_t ATextureIndex) const override;
  // The UI framework's premultiplied blending, made once.
  TBlendSetting GetDefaultBlending() const override;

  // 2000 with EXT_direct_state_access, else 1000 with ARB_direct_state_access, else 1; asked once
  // a context is available and cached from then on. 0 while there is none.
  int32_t PlatformDirectStateAccess() const override;
  // On the texture bound to ATextureKind: nearest filtering for integer formats, else the
  // texture's filters, with mipmaps over levels 0 .. 16 when AStyles holds MipMaps.
  void PlatformSetTextureFiltering(TTexture* ATexture, TTextureStyles AStyles, uint32_t ATextureKind,
                                   uint32_t AInternalFormat) const override;
  // Nothing here; the window-system class saves and sets the pixel store.
  void PlatformSetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel,
                             int32_t APitch) const override;
  // Restores the pixel store that the last PlatformSetPixelState saved.
  void PlatformUnsetPixelState() const override;
  // The driver's strings; empty without a context.
  std::string PlatformGetVendorName() const override;
  std::string PlatformGetRendererName() const override;
  std::string PlatformGetVersion() const override;
  std::string PlatformGetExtensionString() const override;
  // Drain the GL error queue; AError receives the OR of the codes. False without a context.
  bool PlatformHasAnyErrors() const override;
  bool PlatformHasAnyErrors(intptr_t& AError) const override;
  // The GPU's limits; 0 without a context.
  int32_t PlatformMaxTextureSize() const override;
  int32_t PlatformMaxTexture3DSize() const override;
  int32_t PlatformTextureUnitCount() const override;
  int32_t PlatformMaxTextureImageUnits() const override;
  int32_t PlatformMaxVertexShaderUniformBlocks() const override;
  int32_t PlatformMaxFragmentShaderUniformBlocks() const override;
  int32_t PlatformMaxUniformBlockSize() const override;
  int32_t PlatformMaxDrawBuffers() const override;

protected:
  int32_t GetLimit(uint32_t AName) const;
  std::string GetString(uint32_t AName) const;
};

class TVantrelContextOpenGLES : public TVantrelContext {
  RTL_CLASS_META(TVantrelContextOpenGLES, TVantrelContext, TVantrelContextOpenGLESClass)
public:
  // Releases the read-back buffer while the object is whole.
  void BeforeDestruction() override;

  void ApplyContextStates(TFMXContextStates AStates) override;
  uint32_t MemoryBarrierFlagToBits(TMemoryBarrierFlag AFlag) override;
  void SetMemoryBarrierBits(TMemoryBarrierFlags ABits) override;
  void SetMemoryBarrierBit(TMemoryBarrierFlag ABit) override;
  void FetchMemoryBarrierBit() override;
  void SetFlatShading() override;
  void SetSmoothShading() override;

  void StorePreviousContextSize() override;
  void SetContextSize(int32_t AXOfs, int32_t AYOfs, int32_t AWidth, int32_t AHeight) override;
  void SetContextSize(const TVantrelContextSize& ASize) override;
  void GetContextSize(TVantrelContextSize& ASize) override;

  using TVantrelContext::DrawScreenRectangle;
  // A fixed-function quad over the whole target; the matrix stacks and the matrix mode are left
  // as they were.
  void DrawScreenRectangle(const TAlphaColorF& AColor) override;
  // glOrtho(left, right, bottom, top, near, far).
  void BeginOrtho(float ALeft, float ATop, float ARight, float ABottom, float ANear, float AFar) override;
  void BeginOrtho(const TOrthographicData& AData) override;
  void EndOrtho() override {}

  // Disables every draw buffer's blending, then makes AValue the global blend; a GL error is
  // logged, not raised.
  void SetGlobalBlending(const TBlendSetting& AValue) override;
  // An index the GPU has no draw buffer for stores a disabled setting and changes no GL state; an
  // index beyond the table changes nothing.
  void SetBlendingByIndex(uint32_t AIndex, const TBlendSetting& AValue) override;
  void EnableBlendingBuffers() override;
  void DisableBlendingBuffers() override;

protected:
  TVantrelContextOpenGLES() = default;

  void CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil) override;
  void CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight, TMultisample AMultisample,
                        bool ADepthStencil) override;

  // Whether GL may be called: the class's PlatformIsContextAvailable.
  bool ContextAvailable() const;

  void DoSetContextState(TContextState AState) override;
  // Depth and stencil are cleared only when the context has a depth-stencil buffer; the depth
  // write mask is back as it was afterwards.
  void DoClear(TClearTargets ATarget, TAlphaColor AColor, float ADepth, uint32_t AStencil) override;
  void DoClearEx(TRenderTargets ATarget, TAlphaColor AColor, float ADepth, uint32_t AStencil) override;
  void DoClearBufferFloat(int32_t ABuf, const float* APtr) override;
  void DoSetStencilOp(TStencilOp AFail, TStencilOp AZFail, TStencilOp AZPass) override;
  void DoSetStencilFunc(TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) override;
  // Scissor rectangles are not used by the framework.
  void DoSetScissorRect(const TRect&) override {}

  // Back-face then front-face operations and masks, through EXT_stencil_two_side when the
  // driver lists it, else through the core separate-stencil calls.
  void DoSetTwoSidedRendering(TStencilOpEx AFrontFaceFail, TStencilOpEx AFrontFaceZFail,
                              TStencilOpEx AFrontFaceZPass, TStencilOpEx ABackFaceFail,
                              TStencilOpEx ABackFaceZFail, TStencilOpEx ABackFaceZPass,
                              uint32_t AFrontStencilMask, uint32_t ABackStencilMask) override;
  void DoSetPolygonOffsetFill(TPolygonOffsetFill AMode, float AFactor, float AUnits) override;
  void DoSetSmoothMode(const TSmoothSetting& ASetting) override;
  void DoSetPointSprites(bool AEnabled) override;
  void DoSetPointSpriteTextureMode() override;

  // ---- Batch draw ---------------------------------------------------------------------------------
  // Draws one primitive list with a single GL call per pass. The vertices come from client memory
  // or, when the context holds a mesh-buffer cache, from the cache: a compressed position or
  // interleaved stream inflated for this draw, a packed position buffer, and the static vertex
  // and index buffers (client memory stands in for a missing static buffer). A current layered
  // material adds one additive pass per layer; a current instance count draws that many instances
  // with the instance matrices at locations 12 to 15. The four draw counters grow by the indices
  // actually drawn. Buffer bindings, attribute arrays and the blend table are left as they were
  // found, also when the draw raises; a failure raises Exception with this method's name in
  // front. The cache is cleared afterwards, unless there was nothing to draw.
  void DoDrawPrimitivesBatch(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                             const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                             int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) override;

private:
  // Clears the GL buffers of AMask (GL bits); the depth write mask is restored afterwards.
  void ClearBuffers(uint32_t AMask, TAlphaColor AColor, float ADepth, uint32_t AStencil);
  void SetBlendFunctions(const TBlendSetting& AValue);
  // Raises the context-method error for AMethod when a GL error is pending.
  void CheckMethodError(const char* AMethod);
};

} // namespace vantrel
