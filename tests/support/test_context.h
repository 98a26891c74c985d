#pragma once
// The framework context that GL tests run against until the OpenGL context exists: a small
// TVantrelContext subclass that answers, with plain GL on the shared context, what textures and
// their uploads ask of the default context class (texture objects, pixel state, filtering, texture
// units, limits, shader architecture, errors) and the viewport. Every other member raises
// EContext3DException "not available in the test context". The GL fixture registers it as the
// default context class for each test and restores the previous default afterwards.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "context/Vantrel.Context.h"

namespace vtest {

enum class TTestLimit : uint8_t {
  MaxTextureSize,
  MaxTexture3DSize,
  TextureUnitCount,
  MaxTextureImageUnits,
  MaxVertexShaderUniformBlocks,
  MaxFragmentShaderUniformBlocks,
  MaxUniformBlockSize,
  MaxDrawBuffers,
};

class TTestContextClass : public vantrel::TVantrelContextClass {
public:
  using TVantrelContextClass::PlatformHasAnyErrors;
  using TVantrelContextClass::TVantrelContextClass;

  // A limit answers AValue in place of the GPU's until ResetLimits.
  void OverrideLimit(TTestLimit ALimit, int32_t AValue) { FLimits[size_t(ALimit)] = AValue; }
  void ResetLimits() { FLimits = {}; }

  bool Valid() const override;
  // Generates the name, sets wraps, border and filters, makes the storage by kind with the
  // pixel state set, generates mipmaps when asked, and hands the name over through
  // ITextureAccess. A GL error raises and deletes a name it generated.
  void InitializeTexture(ui::TTexture* ATexture) const override;
  void DoFinalizeTexture(ui::TTexture* ATexture) const override;
  // 2D textures only; the pixels come from a framework texture's pixel block when it has one.
  void UpdateTexture(ui::TTexture* ATexture, const void* ABits, int32_t APitch) const override;
  // A texture of the installed framework texture class with the bitmap assigned.
  ui::TTexture* BitmapToTexture(ui::TBitmap* ABitmap) const override;
  void InitializeShader(ui::TContextShader* AShader) const override;
  void DoFinalizeShader(ui::TContextShader* AShader) const override;

  // GL_TEXTURE0 + AIndex for 1 .. 31, else GL_TEXTURE0.
  int32_t GetTextureByTextureIndex(int32_t ATextureIndex) const override;
  vantrel::TBlendSetting GetDefaultBlending() const override;

  int32_t PlatformDirectStateAccess() const override;
  void PlatformSetTextureFiltering(ui::TTexture* ATexture, ui::TTextureStyles AStyles, uint32_t ATextureKind,
                                   uint32_t AInternalFormat) const override;
  // Pushes the client pixel-store state, then sets unpack alignment and row length by the
  // pixel-state rule; Unset pops what Set pushed.
  void PlatformSetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel,
                             int32_t APitch) const override;
  void PlatformUnsetPixelState() const override;
  bool PlatformIsContextAvailable() const override;
  std::string PlatformGetVendorName() const override;
  std::string PlatformGetRendererName() const override;
  std::string PlatformGetVersion() const override;
  std::string PlatformGetExtensionString() const override;
  bool PlatformHasAnyErrors() const override;
  bool PlatformHasAnyErrors(intptr_t& AError) const override;
  ui::TContextShaderArch PlatformGetShaderArch() const override { return ui::TContextShaderArch::GLSL; }
  int32_t PlatformMaxTextureSize() const override;
  int32_t PlatformMaxTexture3DSize() const override;
  int32_t PlatformTextureUnitCount() const override;
  int32_t PlatformMaxTextureImageUnits() const override;
  int32_t PlatformMaxVertexShaderUniformBlocks() const override;
  int32_t PlatformMaxFragmentShaderUniformBlocks() const override;
  int32_t PlatformMaxUniformBlockSize() const override;
  int32_t PlatformMaxDrawBuffers() const override;
  int32_t PlatformMaxLightCount() const override;
  ui::TContextStyles PlatformStyle() const override;
  bool PlatformTextureCompressionAllowed() const override;

private:
  int32_t Limit(TTestLimit ALimit, uint32_t AQuery) const;

  std::array<std::optional<int32_t>, 8> FLimits{};
  mutable int32_t FClientAttribDepth = 0;
};

class TTestContext : public vantrel::TVantrelContext {
  RTL_CLASS_META(TTestContext, vantrel::TVantrelContext, TTestContextClass)
public:
  TTestContext() = default;

  // The viewport stands for the context size.
  void StorePreviousContextSize() override;
  void SetContextSize(int32_t AXOfs, int32_t AYOfs, int32_t AWidth, int32_t AHeight) override;
  void SetContextSize(const vantrel::TVantrelContextSize& ASize) override;
  void GetContextSize(vantrel::TVantrelContextSize& ASize) override;

  void AcquireSharedGLContext() override;
  void ReleaseSharedGLContext() override;
  void ApplyContextStates(vantrel::TFMXContextStates AStates) override;
  uint32_t MemoryBarrierFlagToBits(vantrel::TMemoryBarrierFlag AFlag) override;
  void SetMemoryBarrierBits(vantrel::TMemoryBarrierFlags ABits) override;
  void SetMemoryBarrierBit(vantrel::TMemoryBarrierFlag ABit) override;
  void FetchMemoryBarrierBit() override;
  void SetFlatShading() override;
  void SetSmoothShading() override;
  using TVantrelContext::DrawScreenRectangle;
  void DrawScreenRectangle(const rtl::TAlphaColorF& AColor) override;
  void BeginOrtho(float ALeft, float ATop, float ARight, float ABottom, float ANear, float AFar) override;
  void BeginOrtho(const vantrel::TOrthographicData& AData) override;
  void EndOrtho() override;
  void SetGlobalBlending(const vantrel::TBlendSetting& AValue) override;
  void SetBlendingByIndex(uint32_t AIndex, const vantrel::TBlendSetting& AValue) override;
  void EnableBlendingBuffers() override;
  void DisableBlendingBuffers() override;

protected:
  // The tests draw into their own frame buffers, so the context makes none.
  void DoCreateBuffer() override {}
  void DoSetContextState(ui::TContextState AState) override;
  void DoClear(ui::TClearTargets ATarget, rtl::TAlphaColor AColor, float ADepth, uint32_t AStencil) override;
  void DoSetStencilOp(ui::TStencilOp AFail, ui::TStencilOp AZFail, ui::TStencilOp AZPass) override;
  void DoSetStencilFunc(ui::TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) override;
  void DoSetScissorRect(const rtl::TRect& AScissorRect) override;
  void DoDrawPrimitivesBatch(ui::TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                             const ui::TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                             int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) override;
  void DoSetShaders(ui::TContextShader* AVertexShader, ui::TContextShader* APixelShader) override;
  using TVantrelContext::DoSetShaderVariable;
  void DoSetShaderVariable(const std::string& AName, std::span<const rtl::TVector3D> AData) override;
  void DoSetShaderVariable(const std::string& AName, ui::TTexture* ATexture) override;
  void DoCopyToBits(void* ABits, int32_t APitch, const rtl::TRect& ARect) override;
  void DoClearEx(vantrel::TRenderTargets ATarget, rtl::TAlphaColor AColor, float ADepth,
                 uint32_t AStencil) override;
  void DoClearBufferFloat(int32_t ABuf, const float* APtr) override;
  void DoSetTwoSidedRendering(vantrel::TStencilOpEx AFrontFaceFail, vantrel::TStencilOpEx AFrontFaceZFail,
                              vantrel::TStencilOpEx AFrontFaceZPass, vantrel::TStencilOpEx ABackFaceFail,
                              vantrel::TStencilOpEx ABackFaceZFail, vantrel::TStencilOpEx ABackFaceZPass,
                              uint32_t AFrontStencilMask, uint32_t ABackStencilMask) override;
  void DoSetPolygonOffsetFill(vantrel::TPolygonOffsetFill AMode, float AFactor, float AUnits) override;
  void DoSetSmoothMode(const vantrel::TSmoothSetting& ASetting) override;
  void DoSetPointSprites(bool AEnabled) override;
  void DoSetPointSpriteTextureMode() override;
  void DoSetShaderVariableMat4(const std::string& AName, const rtl::TMatrix3D& AMatrix) override;
  void DoSetShaderVariableInt(const std::string& AName, int32_t AValue) override;
};

inline constexpr const char* SNotAvailableInTestContext = "not available in the test context";

} // namespace vtest
