#pragma once
// A framework context without graphics API, for tests: every hook and abstract slot records its
// call (with its arguments) in order, and the class-level answers that drive the context's logic
// are scripted on its metaclass. Its buffer hook makes fake frame buffers: a default buffer on the
// context's texture, a multisample buffer when multisampling was asked for, and a translucent
// buffer.
//
// Tests register the class with TRecordingContext::Register(), which also resets the script, the
// class log and the process-wide context state.

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "context/Vantrel.Context.h"
#include "support/fake_frame_buffer.h"

namespace vtest {

class TRecordingContextClass : public vantrel::TVantrelContextClass {
public:
  using TVantrelContextClass::PlatformHasAnyErrors;
  using TVantrelContextClass::TVantrelContextClass;

  // ---- Script ----
  bool ValidAnswer = true;
  // Whether a graphics context stands behind the recorder. With one, a draw ends by switching to
  // the default shader program, which needs an installed program class.
  bool ContextAvailable = true;
  // The codes PlatformHasAnyErrors answers, one per call; 0 (no error) once they are used up.
  mutable std::deque<intptr_t> ErrorCodes;
  vantrel::TBlendSetting DefaultBlending = vantrel::TBlendSetting::Create();
  // The 3D texture limit PlatformMaxTexture3DSize answers.
  int32_t MaxTexture3DSize = 512;
  // Back to the values above, with an empty log.
  void Reset();

  // Class-level calls in order: "PlatformHasAnyErrors 1282", "GetDefaultBlending",
  // "InitializeTexture", "PlatformSetPixelState 1 2 3 4 5".
  mutable std::vector<std::string> Calls;

  bool Valid() const override { return ValidAnswer; }
  // Textures get consecutive handles from 1.
  void InitializeTexture(ui::TTexture* ATexture) const override;
  void DoFinalizeTexture(ui::TTexture* ATexture) const override;
  void UpdateTexture(ui::TTexture* ATexture, const void* ABits, int32_t APitch) const override;
  void InitializeShader(ui::TContextShader* AShader) const override;
  void DoFinalizeShader(ui::TContextShader* AShader) const override;

  int32_t GetTextureByTextureIndex(int32_t ATextureIndex) const override { return ATextureIndex; }
  vantrel::TBlendSetting GetDefaultBlending() const override;

  // Fixed answers, distinct per query, so forwarders can be told apart.
  int32_t PlatformDirectStateAccess() const override { return 1; }
  void PlatformSetTextureFiltering(ui::TTexture* ATexture, ui::TTextureStyles AStyles, uint32_t ATextureKind,
                                   uint32_t AInternalFormat) const override;
  void PlatformSetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel,
                             int32_t APitch) const override;
  void PlatformUnsetPixelState() const override;
  bool PlatformIsContextAvailable() const override { return ContextAvailable; }
  std::string PlatformGetVendorName() const override { return "Recording vendor"; }
  std::string PlatformGetRendererName() const override { return "Recording renderer"; }
  std::string PlatformGetVersion() const override { return "4.3 recording"; }
  std::string PlatformGetExtensionString() const override { return "GL_recording_ext"; }
  bool PlatformHasAnyErrors() const override;
  bool PlatformHasAnyErrors(intptr_t& AError) const override;
  ui::TContextShaderArch PlatformGetShaderArch() const override { return ui::TContextShaderArch::GLSL; }
  int32_t PlatformMaxTextureSize() const override { return 4096; }
  int32_t PlatformMaxTexture3DSize() const override { return MaxTexture3DSize; }
  int32_t PlatformTextureUnitCount() const override { return 16; }
  int32_t PlatformMaxTextureImageUnits() const override { return 32; }
  int32_t PlatformMaxVertexShaderUniformBlocks() const override { return 12; }
  int32_t PlatformMaxFragmentShaderUniformBlocks() const override { return 13; }
  int32_t PlatformMaxUniformBlockSize() const override { return 65536; }
  int32_t PlatformMaxDrawBuffers() const override { return 8; }
  int32_t PlatformMaxLightCount() const override { return 64; }
  ui::TContextStyles PlatformStyle() const override { return {ui::TContextStyle::RenderTargetFlipped}; }
  bool PlatformTextureCompressionAllowed() const override { return true; }

private:
  mutable ui::THandle FNextHandle = 1;
};

class TRecordingContext : public vantrel::TVantrelContext {
  RTL_CLASS_META(TRecordingContext, vantrel::TVantrelContext, TRecordingContextClass)
public:
  TRecordingContext() = default;

  // Registers the class as the default context class and resets its script and log and the
  // process-wide context state; returns the metaclass for scripting.
  static TRecordingContextClass& Register();
  // A context made through the context manager from ATexture.
  static rtl::TOwned<TRecordingContext> Create(ui::TTexture* ATexture,
                                               ui::TMultisample AMultisample = ui::TMultisample::None);

  // Instance calls in order, each its name and its arguments separated by blanks:
  // "DoBeginScene", "SetContextSize 0 0 256 128", "DoSetContextState csZTestOn 1" (the state and
  // the SetContextStates nesting counter).
  std::vector<std::string> Calls;
  // Calls equal to AName or starting with AName and a blank.
  int CallCount(std::string_view AName) const;

  struct TBatch {
    ui::TPrimitivesKind Kind;
    const void* Vertices;
    const void* Indices;
    const ui::TVertexDeclaration* Declaration;
    int32_t VertexSize, VertexCount, IndexSize, IndexCount;
  };
  std::vector<TBatch> Batches;
  // The last vector-array shader variable.
  std::string VectorsName;
  std::vector<rtl::TVector3D> Vectors;
  // The last mat4 shader variable.
  rtl::TMatrix3D Mat4;

  // ---- Script ----
  // DoSetContextState raises EContext3DException for this state.
  std::optional<ui::TContextState> FailingState;

  // ---- Inherited state, for assertions ----
  int32_t BeginSceneCount() const { return FBeginSceneCount; }
  bool DefaultBufferFallbackBind() const { return FDefaultBufferFallbackBind; }
  int32_t SetContextStatesNesting() const { return MultipleSetContextState(); }
  const vantrel::TVantrelContextSize& OldViewport() const { return FOldViewport; }
  // The viewport the recorder stands in for the GPU's.
  const vantrel::TVantrelContextSize& Viewport() const { return FViewport; }
  void SetScale(float AScale) { FScale = AScale; }
  // Releases the three buffers as a graphics context does before making them anew.
  void ReleaseBuffers() { FreeBuffer(); }
  TFakeFrameBuffer* DefaultFake() const;
  TFakeFrameBuffer* MultisampleFake() const;
  TFakeFrameBuffer* TranslucentFake() const;

  void AcquireSharedGLContext() override { Record("AcquireSharedGLContext"); }
  void ReleaseSharedGLContext() override { Record("ReleaseSharedGLContext"); }
  void ApplyContextStates(vantrel::TFMXContextStates AStates) override;
  uint32_t MemoryBarrierFlagToBits(vantrel::TMemoryBarrierFlag AFlag) override;
  void SetMemoryBarrierBits(vantrel::TMemoryBarrierFlags ABits) override;
  void SetMemoryBarrierBit(vantrel::TMemoryBarrierFlag ABit) override;
  void FetchMemoryBarrierBit() override { Record("FetchMemoryBarrierBit"); }
  void SetFlatShading() override { Record("SetFlatShading"); }
  void SetSmoothShading() override { Record("SetSmoothShading"); }
  using TVantrelContext::DrawScreenRectangle;
  void DrawScreenRectangle(const rtl::TAlphaColorF& AColor) override;
  void BeginOrtho(float ALeft, float ATop, float ARight, float ABottom, float ANear, float AFar) override;
  void BeginOrtho(const vantrel::TOrthographicData& AData) override;
  void EndOrtho() override { Record("EndOrtho"); }
  void StorePreviousContextSize() override;
  void SetContextSize(int32_t AXOfs, int32_t AYOfs, int32_t AWidth, int32_t AHeight) override;
  void SetContextSize(const vantrel::TVantrelContextSize& ASize) override;
  void GetContextSize(vantrel::TVantrelContextSize& ASize) override;
  void SetGlobalBlending(const vantrel::TBlendSetting& AValue) override;
  // Stores the setting, as the graphics context does after applying it.
  void SetBlendingByIndex(uint32_t AIndex, const vantrel::TBlendSetting& AValue) override;
  void EnableBlendingBuffers() override { Record("EnableBlendingBuffers"); }
  void DisableBlendingBuffers() override { Record("DisableBlendingBuffers"); }

protected:
  void DoCreateBuffer() override;
  void DoSetContextState(ui::TContextState AState) override;
  void DoClear(ui::TClearTargets ATarget, rtl::TAlphaColor AColor, float ADepth, uint32_t AStencil) override;
  void DoSetStencilOp(ui::TStencilOp AFail, ui::TStencilOp AZFail, ui::TStencilOp AZPass) override;
  void DoSetStencilFunc(ui::TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) override;
  void DoSetScissorRect(const rtl::TRect& AScissorRect) override;
  bool DoBeginScene() override;
  void DoEndScene() override;
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
  void DoSetPointSpriteTextureMode() override { Record("DoSetPointSpriteTextureMode"); }
  void DoSetShaderVariableMat4(const std::string& AName, const rtl::TMatrix3D& AMatrix) override;
  void DoSetShaderVariableInt(const std::string& AName, std::span<const int32_t> AValues) override;
  void InitContext() override;
  void DoFreeBuffer() override;
  void DoResize() override;

private:
  void Record(std::string ACall) { Calls.push_back(std::move(ACall)); }

  vantrel::TVantrelContextSize FViewport{};
};

} // namespace vtest
