#pragma once
// The OpenGL 4.3 implementation of the framework's context: GL state (depth, blending, stencil,
// culling, smoothing, point sprites, memory barriers, viewport), clearing, uniform uploads to the
// current program, reading the image back, and the class-level work: texture and shader objects,
// the failure report of a texture that cannot be made, and the platform queries (identity
// strings, limits, error state, direct state access, pixel store, texture filtering, texture
// units). Every GL call is made on the shared GL context, and none is made while no context is
// available.
//
// GL headers stay in the source, so GL enumerations appear here as 32-bit unsigned integers.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "context/Vantrel.Context.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

// Written into the public folder when a texture cannot be made.
inline constexpr std::string_view SContextLogFileName = "vantrel3d.context.log";
inline constexpr std::string_view SFailureReport =
    "Error: %s\r\nVendor-Name: %s\r\nRenderer-Name: %s\r\nVersion: %s\r\nExtensions: %s\r\n"
    "MaxTextureSize: %d\r\nMaxTexture3DSize: %d\r\nTextureUnitCount: %d\r\nMaxTextureImageUnits: %d\r\n"
    "MaxVertexShaderUniformBlocks: %d\r\nMaxFragmentShaderUniformBlocks: %d\r\nMaxUniformBlockSize: %d\r\n"
    "MaxDrawBuffers: %d\r\n";
inline constexpr std::string_view SFailureReportNotWritten =
    "TVantrelContextOpenGLES: failure report %s not written: %s";
inline constexpr std::string_view SInvalidTextureContext =
    "TVantrelContextOpenGLES.CreateFromTexture failed - invalid context";
inline constexpr std::string_view SStaleErrorBeforeTexture =
    "TVantrelContextOpenGLES.InitializeTexture: pending GL error %d drained before creating the texture";
inline constexpr std::string_view SCubeMapStorageFailed =
    "failed to create texture storage for cubemap @%d (error = %d)";
inline constexpr std::string_view STextureDetail = "%s (Error = %d) internal-format=%s, format=%s, type=%s";
inline constexpr std::string_view SPlainTextureDetail = "%s (Error = %d) internal-format=%d, format=%d";
inline constexpr std::string_view SErrorDetail = "%s (Error = %d)";
inline constexpr std::string_view SFailedToInitializeTexture = "Failed to initialize texture: %s";
inline constexpr std::string_view SFrameBufferNotContextSize =
    "context default framebuffer size is not equal to context size: width=%d<>%d, height=%d<>%d";
inline constexpr std::string_view SFrameBufferNotDestinationSize =
    "context default framebuffer size is not equal to destination render size: width=%d<>%d, height=%d<>%d";
inline constexpr std::string_view SDestinationPitchTooSmall =
    "destination pitch is smaller than a destination row: pitch=%d<%d";
inline constexpr std::string_view SCopyToBitsFailed = "TVantrelContextOpenGLES.DoCopyToBits: %s";

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
  // Makes the texture's GL object and hands its name over through ITextureAccess: a plain UI
  // texture as a 2D RGBA8 image of BGRA bytes on unit 0, a framework texture by its unit, kind,
  // formats, wraps and border colour. Render targets other than cube maps get no mipmaps; cube
  // maps use levels 0 .. 9. A GL error left by earlier work is drained and logged first; a name
  // generated here is deleted again when anything fails, and the texture bound on the unit before
  // is bound again. Every failure writes the failure report, then raises. Without a context, for
  // nullptr or a width of 0 nothing happens; an invalid class raises.
  void InitializeTexture(TTexture* ATexture) const override;
  // Deletes the GL object when a context is available; the handle is 0 afterwards in any case.
  void DoFinalizeTexture(TTexture* ATexture) const override;
  // Uploads the pixels (a framework texture's CPU block when it has one, else ABits, rows APitch
  // bytes apart) over the whole texture: every face of a cube map from the one source. A 3D or
  // array texture takes its whole volume from a CPU block that holds it, and nothing from ABits,
  // which hold one image. Render targets and image textures take no pixels.
  void UpdateTexture(TTexture* ATexture, const void* ABits, int32_t APitch) const override;
  // Compiles the shader's source for the platform's shader architecture, else its GLSL source,
  // as the stage of its kind.
  void InitializeShader(TContextShader* AShader) const override;
  // Deletes the GL object when a context is available; the handle is 0 afterwards in any case.
  void DoFinalizeShader(TContextShader* AShader) const override;
  // The failure report's text for AMessage: the identity strings and the eight limits.
  std::string FailureReport(const std::string& AMessage) const;

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

private:
  void CreateTextureObject(TTexture* ATexture) const;
  // Writes the failure report into the public folder; a failed write is only logged.
  void WriteFailureReport(const std::string& AMessage) const;
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
  // Raises EInvalidOperation off the context's thread, and deletes the names other threads handed
  // over, before the scene begins.
  bool DoBeginScene() override;
  // The same check before the materials and the batch draw reach GL.
  void DoDrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                        const TVertexDeclaration& ADeclaration, int32_t AVertexSize, int32_t AVertexCount,
                        int32_t AIndexSize, int32_t AIndexCount) override;

  // The uniform hooks set a variable of the current program (GetCurrentProgram) and do nothing
  // without one or when it has no variable of that name. A GL error pending afterwards raises the UI
  // framework's variable-not-found text; at design time failures are swallowed.
  using TVantrelContext::DoSetShaderVariable;
  // By the variable's kind: one float, two or three components of the first vector, else
  // min(count, Size) vec4 values. Nothing for no vectors.
  void DoSetShaderVariable(const std::string& AName, std::span<const TVector3D> AData) override;
  // Binds the texture on the variable's unit (a framework texture takes that unit and binds by its
  // kind) and points the sampler at the unit; an image texture not yet accessible is also bound at
  // image unit 0 for reading and writing.
  void DoSetShaderVariable(const std::string& AName, TTexture* ATexture) override;
  // One mat4, as it is.
  void DoSetShaderVariableMat4(const std::string& AName, const TMatrix3D& AMatrix) override;
  // An Int variable takes the value, an IntArray variable its first element.
  void DoSetShaderVariableInt(const std::string& AName, std::span<const int32_t> AValues) override;

  // Nothing for an invalid class; otherwise the bitmap is mapped and read through DoCopyToBits.
  void DoCopyToBitmap(TBitmap* ADest, const TRect& ARect) override;
  // Reads the default buffer, bottom row last, into ARect's rows at ABits. The buffer must have the
  // context's size and ARect's, and APitch must hold a row; a failure is logged, not raised, and
  // copies nothing. The read-back buffer is kept for the next call of the same size.
  void DoCopyToBits(void* ABits, int32_t APitch, const TRect& ARect) override;

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
  const TContextShaderVariable* FindUniform(const std::string& AName) const;
  void BindSamplerTexture(const TContextShaderVariable& AVariable, TTexture& ATexture);
  void ReadDefaultBuffer(void* ABits, int32_t APitch, const TRect& ARect);
  // The two ways of reading the default frame buffer into the caller's rows, top row first:
  // straight, when the driver can flip rows and the pitch is whole pixels, else through a scratch
  // buffer. Both give the same bytes.
  void ReadInverted(void* ABits, int32_t APitch);
  void ReadThroughScratch(void* ABits, int32_t APitch);
};

} // namespace vantrel
