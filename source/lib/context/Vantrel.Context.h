#pragma once
// The framework's 3D context: an API-neutral context that every viewport, renderer and render pass
// draws through. It adds to the UI framework's context a stack of bound frame buffers and three
// buffers of its own (default, multisample default, translucent), the scene bracket that holds the
// global canvas lock for a whole scene, its own near and far planes, 32 blend settings, eight clip
// planes, the view frustum, fog, shader lights kept in step with the light list, and the render-pass
// stack. Everything that touches the graphics API is an abstract slot that the OpenGL context fills.
//
// Class-level questions (GPU limits, identity strings, error state) are virtual methods of the
// metaclass TVantrelContextClass. The static forwarders of TVantrelContext ask the context
// manager's default class; when none is registered, or the default is not a framework context
// class, they answer "no context" (False, 0, an empty string or style) and do nothing.

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.Frustum.h"
#include "context/Vantrel.Context.Rendering.h"
#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.ShaderDefines.h"
#include "context/Vantrel.Context.Types.h"
#include "rtl/colors.h"
#include "rtl/generics.h"
#include "rtl/math3d.h"
#include "rtl/types2d.h"
#include "ui/context3d.h"
#include "ui/shaders.h"
#include "ui/types3d.h"

namespace ui {
class TBitmap;
class TMaterial;
class TMaterialSource;
} // namespace ui

namespace vantrel {

class TExtensions;
class TRenderPass;
class TMeshBufferObject;
class TVantrelContext;

using TFMXContextStates = TContextStates;

// What the batch draw asks of a layered material: after the main pass it draws once more with
// each layer's material. The layered material implements it.
class ILayeredPassMaterial {
public:
  virtual int32_t GetMaterialsCount() const = 0;
  // The material source of the layer at AIndex; nullptr when there is no such layer or it names
  // no material.
  virtual TMaterialSource* GetLayerMaterial(TContext3D* AContext, int32_t AIndex) const = 0;

protected:
  ~ILayeredPassMaterial() = default;
};

// State shared by every context of the process. Tests that change it call Reset afterwards.
struct TVantrelContextShared {
  static constexpr float StartNearPlane = 0.1f;
  static constexpr float StartFarPlane = 10000.0f;

  // Read by every new context (and by the viewport).
  float DefaultNearPlane = StartNearPlane;
  float DefaultFarPlane = StartFarPlane;
  // True while a viewport is being designed in an editor: drawing errors are not fatal then.
  bool DesignTime = false;
  // The GPU's number of draw buffers, known once the shared GL context exists; 0 before.
  int32_t DrawBufferCount = 0;
  // The GPU's blend state as the GL context first read it.
  bool DefaultBlendingMade = false;
  TBlendSetting DefaultBlending;
  // Counted by the draw code, copied by the viewport into its diagnostics.
  std::atomic<int64_t> DrawCalls{0};
  std::atomic<int64_t> DrawInstances{0};
  std::atomic<int64_t> TotalVertexCount{0};
  std::atomic<int64_t> TotalIndexCount{0};
  // Scenes open through BeginSceneRendering, over all contexts.
  std::atomic<int32_t> SceneCount{0};

  // Back to the values the process starts with.
  void Reset();
};
TVantrelContextShared& ContextShared();

// Also answers the shader programs' platform queries (shader arch and uniform-block limits).
class TVantrelContextClass : public TContext3DClass, public IShaderPlatformQueries {
public:
  using TContext3DClass::TContext3DClass;

  // Answered by the default class's platform queries.
  TContextStyles Style() const override;
  int32_t MaxLightCount() const override;
  int32_t MaxTextureSize() const override;
  int32_t TextureUnitCount() const override { return 8; }
  TPixelFormat PixelFormat() const override { return TPixelFormat::BGRA; }
  // Primitive lists are never split into 16-bit batches. The first call that finds the extension
  // list asks it for 32-bit indices, whose answer changes nothing.
  TIndexBufferSupport IndexBufferSupport() const override;

  // The class-level slots below have no answer here: they raise EAbstractError until the
  // graphics context class overrides them.
  // The GPU texture unit of a texture index.
  virtual int32_t GetTextureByTextureIndex(int32_t ATextureIndex) const;
  virtual TBlendSetting GetDefaultBlending() const;

  // A framework texture (TVantrelTexture) with the bitmap assigned; nullptr for a nil bitmap.
  TTexture* BitmapToTexture(TBitmap* ABitmap) const override;
  virtual int32_t PlatformDirectStateAccess() const;
  virtual void PlatformSetTextureFiltering(TTexture* ATexture, TTextureStyles AStyles, uint32_t ATextureKind,
                                           uint32_t AInternalFormat) const;
  virtual void PlatformSetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel,
                                     int32_t APitch) const;
  virtual void PlatformUnsetPixelState() const;
  virtual bool PlatformIsContextAvailable() const;
  virtual std::string PlatformGetVendorName() const;
  virtual std::string PlatformGetRendererName() const;
  virtual std::string PlatformGetVersion() const;
  virtual std::string PlatformGetExtensionString() const;
  // The identity strings and the shader builders' define table, made from the four strings above
  // on every call; a class that owns a GL context keeps one per context instead.
  virtual TContextShaderDefinesPtr PlatformShaderDefines() const;
  virtual bool PlatformHasAnyErrors() const;
  virtual bool PlatformHasAnyErrors(intptr_t& AError) const;
  virtual TContextShaderArch PlatformGetShaderArch() const override;
  virtual int32_t PlatformMaxTextureSize() const;
  virtual int32_t PlatformMaxTexture3DSize() const;
  virtual int32_t PlatformTextureUnitCount() const;
  virtual int32_t PlatformMaxTextureImageUnits() const;
  virtual int32_t PlatformMaxVertexShaderUniformBlocks() const override;
  virtual int32_t PlatformMaxFragmentShaderUniformBlocks() const override;
  virtual int32_t PlatformMaxUniformBlockSize() const override;
  virtual int32_t PlatformMaxDrawBuffers() const;
  virtual int32_t PlatformMaxLightCount() const;
  virtual TContextStyles PlatformStyle() const;
  virtual bool PlatformTextureCompressionAllowed() const;
};

class TVantrelContext : public TContext3D {
  RTL_CLASS_META(TVantrelContext, TContext3D, TVantrelContextClass)
public:
  static constexpr int32_t ClipPlaneCount = 8;

  // The class-level virtuals of this object's class.
  const TVantrelContextClass& VantrelClass() const;

  // ---- Static forwarders to the default context class -------------------------------------------
  // The default class when it is a framework context class, else nullptr.
  static TVantrelContextClass* PlatformClass();
  static int32_t DirectStateAccess();
  static void DoSetTextureFiltering(TTexture* ATexture, TTextureStyles AStyles, uint32_t ATextureKind,
                                    uint32_t AInternalFormat);
  static void SetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel,
                            int32_t APitch);
  static void UnsetPixelState();
  static bool IsContextAvailable();
  static std::string GetVendorName();
  static std::string GetRendererName();
  static std::string GetVersion();
  static std::string GetExtensionString();
  // The default class's shader defines; without one, those of empty identity strings.
  static TContextShaderDefinesPtr ShaderDefines();
  static bool HasAnyErrors();
  // AError receives the error code (0 without a context).
  static bool HasAnyErrors(intptr_t& AError);
  static TContextShaderArch GetShaderArch();
  static int32_t MaxTexture3DSize();
  static int32_t MaxTextureImageUnits();
  static int32_t MaxVertexShaderUniformBlocks();
  static int32_t MaxFragmentShaderUniformBlocks();
  static int32_t MaxUniformBlockSize();
  static int32_t MaxDrawBuffers();
  static bool TextureCompressionAllowed();
  // Sets the four draw-call counters to 0.
  static void ResetDrawCallDiagnostics();

  // ---- Extension list of the shared GL context ----------------------------------------------------
  // Made on first request from the installed extension class, and only while a context is
  // available, because it reads the driver's strings once; nullptr until then, or without an
  // installed class.
  static TExtensions* ExtensionList();
  // Frees the list at shutdown.
  static void FreeExtensionList();

  // ---- Shared GL context --------------------------------------------------------------------------
  virtual void AcquireSharedGLContext() = 0;
  virtual void ReleaseSharedGLContext() = 0;

  // ---- Scene --------------------------------------------------------------------------------------
  // The scene bracket of renderers and passes. A successful begin holds the global canvas lock
  // until its EndSceneRendering; a begin that answers False or raises leaves every count as it
  // was and the lock released, and needs no end. When another context's scene is open, the begin
  // saves this context's states and the matching end restores them.
  bool BeginSceneRendering();
  void EndSceneRendering();
  // The begin-scene hook draws nothing when this answers False.
  virtual bool CanBeginScene() { return true; }

  // ---- Context states -----------------------------------------------------------------------------
  // Records every state of AStates in ordinal order with the per-state GL work suppressed, then
  // applies them all in one ApplyContextStates.
  void SetContextStates(TFMXContextStates AStates);
  virtual void ApplyContextStates(TFMXContextStates AStates) = 0;

  // ---- Frame buffers ------------------------------------------------------------------------------
  // Frame buffers push themselves when bound through this context and pop when unbound.
  void PushFBO(TFrameBufferObject* AFBO);
  // The removed top entry; nullptr when the stack is empty.
  TFrameBufferObject* PopFBO();
  TFrameBufferObject* GetCurrentlyBoundBuffer() const;
  int FBOStackCount() const { return FFBOStack.Count(); }
  // The multisample buffer when there is one, else the default buffer; nothing without either.
  void BindDefaultBuffer();
  void UnbindDefaultBuffer();
  // The Color_0 texture of the bound frame buffer; the context's own texture when none is bound.
  TTexture* GetCurrentTexture() const;
  // The Color_0 texture of the default buffer, nullptr without one.
  TTexture* GetDefaultTexture() const;
  // Ignored without a texture or buffer; a texture without GPU object is initialised first.
  void AttachTextureToDefaultBuffer(TTexture* ATexture, TRenderTarget ATarget);
  void AttachTextureToTranslucentBuffer(TTexture* ATexture, TRenderTarget ATarget);
  // Lets the translucent phase test against the opaque phase's depth buffer.
  void LinkDepthBufferToTranslucentBuffer();
  TFrameBufferObject* GetDefaultFrameBuf() const { return FDefaultFrameBuf.get(); }
  TFrameBufferObject* GetDefaultMSFrameBuf() const { return FDefaultMSFrameBuf.get(); }
  TFrameBufferObject* GetTranslucentBuf() const { return FTranslucentBuf.get(); }

  // ---- Render passes (not owned) ------------------------------------------------------------------
  void BeginRenderPass(TRenderPass* APass);
  // Pops the current pass; an empty stack raises EListError.
  void EndRenderPass();
  // Back to the main pass; the stack is left as it is.
  void ResetRenderPasses() { FCurrentPass = nullptr; }
  TRenderPass* GetCurrentRenderPass() const { return FCurrentPass; }
  TRenderPass* GetCurrentPass() const { return FCurrentPass; }
  // Adds APass once.
  void AddIntermediatePass(TRenderPass* APass);
  // Forgets APass (a pass leaving the table must not stay in the list); nothing when absent.
  void RemoveIntermediatePass(TRenderPass* APass) { FIntermediatePasses.Remove(APass); }
  const TList<TRenderPass*>& GetIntermediatePasses() const { return FIntermediatePasses; }
  // The passes of this context by id; nullptr for a context made from a window.
  TRenderPasses* GetRenderPasses() const { return FPasses.get(); }

  // ---- Running passes -----------------------------------------------------------------------------
  // The table's pre (or post) processing passes, each through ExecuteRenderPass in table order.
  // False, running nothing, without a render context or without passes.
  bool PreProcessing(PRenderContext ARenderContext);
  bool PostProcessing(PRenderContext ARenderContext);
  // Intermediate passes run with the draws, so AType Intermediate runs none.
  virtual bool RunRenderPasses(TRenderPassType AType, PRenderContext ARenderContext);
  // Runs the pass once per iteration (0 iterations count as 1) inside the pass's scene: each
  // iteration calls OnBeginRendering, draws the render list or the controller's output texture as
  // the controller's method says, then calls OnEndRendering. Nothing runs without a pass, a begin
  // handler, a controller or a render context, or when the pass's scene does not begin; the scene
  // ends also when an iteration raises. The context reaches the controller only through the pass's
  // IRenderPassController.
  void ExecuteRenderPass(TRenderPass* APass, PRenderContext ARenderContext);

  // ---- Materials ----------------------------------------------------------------------------------
  // Pass materials go through the context's one material routine (TContext3D::ApplyMaterial):
  // it applies the material, then hands it the matrices it names.
  using TContext3D::ApplyMaterial;
  virtual void ResetMaterial(TMaterial* AMaterial);

  // ---- Shader programs (one list for the whole process, shared by every context) ----------------
  // Compiles one stage (AKind is the GPU's stage type); 0 without a graphics context. An invalid
  // context class raises. A GPU error after compiling is logged, and raised only at design time.
  virtual uint32_t CompileShaderStage(uint32_t AKind, std::span<const uint8_t> ACode);
  // The program linked from exactly these five stages (nullptr stages count as absent), made and
  // listed when there is none. nullptr without a graphics context, or when VS or PS is missing or
  // not compiled. A program whose creation leaves a GPU error is dropped before the error raises.
  virtual TShaderProgram* FindOrCreateProgram(TContextShader* AVS, TContextShader* AGS, TContextShader* ATES,
                                              TContextShader* ATCS, TContextShader* APS);
  // Makes the stages' program current; without one the default program is activated.
  virtual void ActivateProgram(TContextShader* AVS, TContextShader* AGS, TContextShader* ATES,
                               TContextShader* ATCS, TContextShader* APS);
  using TContext3D::SetShaders;
  // Compiles the given stages that have no GPU object yet (vertex, pixel, geometry, tessellation
  // evaluation, tessellation control) and activates their program. Nothing without VS and PS.
  void SetShaders(TContextShader* AVS, TContextShader* AGS, TContextShader* ATES, TContextShader* ATCS,
                  TContextShader* APS);
  // The program last made current; nullptr after the default program was activated or the
  // program was removed.
  static TShaderProgram* GetCurrentProgram();
  // The listed program of the pair VS + PS alone; never makes one.
  static TShaderProgram* GetProgram(const TContextShader* AVS, const TContextShader* APS);
  // Drops the program from the list and frees it.
  static void RemoveProgram(TShaderProgram* AShaderProgram);
  static void RemoveProgram(const TContextShader* AVS, const TContextShader* APS);
  // Drops every listed program linked from the compiled stage AStage (a GL shader name about to
  // be deleted): the name may be reused by the next shader, which must not find the old program.
  static void RemoveProgramsUsing(THandle AStage);
  // Frees every program and the list; runs before the graphics context goes away.
  static void FreePrograms();
  static int32_t ProgramCount();
  // The listed program at AIndex (0 .. ProgramCount() - 1), in the order they were made.
  static TShaderProgram* ProgramAt(int32_t AIndex);

  // ---- Arrays of records as GLSL struct arrays ------------------------------------------------------
  // Uploads ACount records of type AType at AData to the uniform array AName, member by member
  // as "AName[k].Field", through the record's field table.
  void SetShaderVariableArrayOfStruct(const std::string& AName, const TTypeInfo* AType, int32_t ACount,
                                      const void* AData);
  template <RecordType R>
  void SetShaderVariableArrayOfStruct(const std::string& AName, std::span<const R> AData) {
    SetShaderVariableArrayOfStruct(AName, &TypeInfoOf<R>(), static_cast<int32_t>(AData.size()), AData.data());
  }

  // ---- Clearing and drawing -----------------------------------------------------------------------
  void ClearEx(TRenderTargets ATarget, TAlphaColor AColor, float ADepth, uint32_t AStencil);
  void ClearBufferFloat(int32_t ABuf, const float* APtr);
  // Draws through DoDrawPrimitives without the material bracket. A framework kind's byte passes
  // through unchanged, so kinds beyond the UI framework's three reach the graphics context.
  void DirectDrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                            const TVertexDeclaration& ADeclaration, int32_t AVertexSize, int32_t AVertexCount,
                            int32_t AIndexSize, int32_t AIndexCount);
  void DirectDrawPrimitives(TVantrelPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                            const TVertexDeclaration& ADeclaration, int32_t AVertexSize, int32_t AVertexCount,
                            int32_t AIndexSize, int32_t AIndexCount);
  void DrawPrimitivesDirect(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                            const TVertexDeclaration& ADeclaration, int32_t AVertexSize, int32_t AVertexCount,
                            int32_t AIndexSize, int32_t AIndexCount);
  virtual void DrawScreenRectangle(const TAlphaColorF& AColor) = 0;
  void DrawScreenRectangle(TAlphaColor AColor);
  virtual void BeginOrtho(float ALeft, float ATop, float ARight, float ABottom, float ANear, float AFar) = 0;
  virtual void BeginOrtho(const TOrthographicData& AData) = 0;
  virtual void EndOrtho() = 0;

  // ---- GPU state ----------------------------------------------------------------------------------
  virtual uint32_t MemoryBarrierFlagToBits(TMemoryBarrierFlag AFlag) = 0;
  // The bits of every flag in AFlags, in ordinal order.
  uint32_t MemoryBarrierFlagsToBits(TMemoryBarrierFlags AFlags);
  virtual void SetMemoryBarrierBits(TMemoryBarrierFlags ABits) = 0;
  virtual void SetMemoryBarrierBit(TMemoryBarrierFlag ABit) = 0;
  virtual void FetchMemoryBarrierBit() = 0;
  virtual void SetFlatShading() = 0;
  virtual void SetSmoothShading() = 0;
  void SetTwoSidedRendering(TStencilOpEx AFrontFaceFail, TStencilOpEx AFrontFaceZFail,
                            TStencilOpEx AFrontFaceZPass, TStencilOpEx ABackFaceFail,
                            TStencilOpEx ABackFaceZFail, TStencilOpEx ABackFaceZPass,
                            uint32_t AFrontStencilMask, uint32_t ABackStencilMask);
  void SetPolygonOffsetFill(TPolygonOffsetFill AMode, float AFactor, float AUnits);
  void SetSmoothMode(const TSmoothSetting& ASetting);
  void SetPointSprites(bool AEnabled);
  void SetPointSpriteTextureMode();

  // ---- Viewport -----------------------------------------------------------------------------------
  // Saves the GPU viewport for the scene end to restore.
  virtual void StorePreviousContextSize() = 0;
  virtual void SetContextSize(int32_t AXOfs, int32_t AYOfs, int32_t AWidth, int32_t AHeight) = 0;
  virtual void SetContextSize(const TVantrelContextSize& ASize) = 0;
  virtual void GetContextSize(TVantrelContextSize& ASize) = 0;

  // ---- Blending -----------------------------------------------------------------------------------
  // The GPU's default blend setting.
  TBlendSetting GetGlobalBlending() const;
  virtual void SetGlobalBlending(const TBlendSetting& AValue) = 0;
  // A copy of the 32 settings; the first read before the default blend is known fills entry 0
  // with it.
  TBlendSettings GetBlendings();
  // Clears the table, then sets each of the 32 entries through SetBlendingByIndex.
  void SetBlendings(const TBlendSettings& AValue);
  // The stored setting of a draw buffer the GPU has; a disabled setting for any other index.
  TBlendSetting GetBlendingByIndex(uint32_t AIndex) const;
  virtual void SetBlendingByIndex(uint32_t AIndex, const TBlendSetting& AValue) = 0;
  virtual void EnableBlendingBuffers() = 0;
  virtual void DisableBlendingBuffers() = 0;

  // ---- Shader variables ---------------------------------------------------------------------------
  using TContext3D::SetShaderVariable;
  // AAsMat4: one mat4 uniform; else four transposed rows through the vector-array hook.
  void SetShaderVariable(const std::string& AName, const TMatrix3D& AMatrix, bool AAsMat4);
  void SetShaderVariableInt(const std::string& AName, int32_t AValue);
  void SetShaderVariableInt(const std::string& AName, std::span<const int32_t> AValues);

  // ---- Matrices and picking -----------------------------------------------------------------------
  // The UI framework's formulas with this context's near and far planes.
  TMatrix3D CurrentProjectionMatrix() override;
  TMatrix3D CurrentScreenMatrix() override;
  // Served by CurrentProjectionMatrix until the projection is flagged again; the cached inverse
  // keeps its old value, so picking works from fresh inverses.
  void SetProjectionMatrix(const TMatrix3D& AMatrix);
  // The point on the pick ray at the distance of the ray's start from the origin.
  TPoint3D ScreenToWorld(const TPointF& AScreenPos, TProjection AProjection);

  // ---- Lights (the UI list and the shader list stay index-parallel) -----------------------------
  int32_t AddLight(const TLightDescription& ALight);
  int32_t AddLight(const TVantrelShaderLight& ALight);
  void RemoveLight(int32_t AIdx);
  void ClearLights();
  const TList<TVantrelShaderLight>& GetShaderLights() const { return FShaderLights; }

  // ---- Clip planes (indices clamp into 0 .. 7) ----------------------------------------------------
  void ActivateClipPlane(int32_t AIndex, const TPlaneF& APlane);
  void DeactivateClipPlane(int32_t AIndex);
  PClipPlaneF GetClippingPlane(int32_t AIndex);
  bool IsClippingPlaneActive(int32_t AIndex) const;

  // ---- Scene boundary and frustum -----------------------------------------------------------------
  TBoundingBox GetSceneBoundary() const { return FBoundary; }
  void SetSceneBoundary(const TBoundingBox& ABounds) { FBoundary = ABounds; }
  TVantrelFrustum GetFrustum() const { return FFrustum; }
  // Also stores the frustum's bounding box.
  void SetFrustum(const TVantrelFrustum& AFrustum);
  TBoundingBox GetFrustumBoundary() const { return FFrustumBox; }

  // ---- Bitmaps ------------------------------------------------------------------------------------
  // Writes ABitmap to APrefix + a random twelve-character name + ".bmp"; nothing for nullptr.
  void SaveBitmap(TBitmap* ABitmap, const std::string& APrefix);

  // ---- Plain properties ---------------------------------------------------------------------------
  float GetNearPlane() const { return FNearPlane; }
  void SetNearPlane(float AValue) { FNearPlane = AValue; }
  float GetFarPlane() const { return FFarPlane; }
  void SetFarPlane(float AValue) { FFarPlane = AValue; }
  bool IsTranslucentRendering() const { return FTranslucentRendering; }
  bool GetTranslucentRendering() const { return FTranslucentRendering; }
  void SetTranslucentRendering(bool AValue) { FTranslucentRendering = AValue; }
  float GetTranslucentDistance() const { return FTranslucentDistance; }
  void SetTranslucentDistance(float AValue) { FTranslucentDistance = AValue; }
  TSmoothTargets GetSmoothTargets() const { return FSmoothTargets; }
  const TMatrix3D& GetOriginalCameraMatrix() const { return FOriginalCameraMatrix; }
  void SetOriginalCameraMatrix(const TMatrix3D& AValue) { FOriginalCameraMatrix = AValue; }
  const TVantrelFogSettings& GetFog() const { return FFog; }
  void SetFog(const TVantrelFogSettings& AValue) { FFog = AValue; }
  int32_t GetInstanceCount() const { return FInstanceCount; }
  void UnsetInstances() { FInstanceCount = 0; }
  // Sets the instance count of the next draw and uploads one TMatrix3D per instance into the
  // instance buffer, which is made on first use. A count below 1 switches instancing off.
  void SetInstances(int32_t AInstances, const void* AData);
  // The instance matrices' buffer: an array buffer with a dynamic-draw usage, so the draw's
  // instance attributes read this buffer and nothing else.
  virtual void CreateInstanceBuffer();
  virtual void FreeInstanceBuffer();
  TBufferObject* GetInstanceBuffer() const { return FInstanceVAO.get(); }
  TMeshBufferObject* GetCurrentCache() const { return FCurrentCache; }
  void SetCurrentCache(TMeshBufferObject* AValue) { FCurrentCache = AValue; }
  // The layered material being drawn; not owned.
  ILayeredPassMaterial* GetCurrentLayeredMaterial() const { return FCurrentLayeredMaterial; }
  void SetCurrentLayeredMaterial(ILayeredPassMaterial* AValue) { FCurrentLayeredMaterial = AValue; }
  bool GetSupportMS() const { return FSupportMS; }
  int32_t GetPointOrigin() const { return FPointOrigin; }
  float GetPointThreshold() const { return FPointThreshold; }
  float GetPointSizeMin() const { return FPointSizeMin; }
  float GetPointSizeMax() const { return FPointSizeMax; }

protected:
  // Creation bodies: see the UI framework's context. From a texture the context also makes its
  // buffers; an invalid context class raises.
  void CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil) override;
  void CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight, TMultisample AMultisample,
                        bool ADepthStencil) override;
  // Takes the process-wide near and far planes.
  void InitContext() override;

  // Releases the three buffers, first taking them off the frame-buffer stack.
  void DoFreeBuffer() override;
  void BeforeDestruction() override;
  void DoResize() override;
  bool DoBeginScene() override;
  // Restores the viewport, unbinds a default buffer the begin bound and finishes the scene, then
  // raises a pending GPU error.
  void DoEndScene() override;

  // Draws with the current pass's material, then once more for each intermediate pass with that
  // pass's material; a pass that does not support AKind suppresses the draw. Afterwards the
  // default program is active. At design time a failure (an rtl::Exception) is swallowed.
  void DoDrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                        const TVertexDeclaration& ADeclaration, int32_t AVertexSize, int32_t AVertexCount,
                        int32_t AIndexSize, int32_t AIndexCount) override;
  // The five-stage SetShaders with the vertex and pixel stages only.
  void DoSetShaders(TContextShader* AVertexShader, TContextShader* APixelShader) override;

  using TContext3D::DoSetShaderVariable;
  // Four transposed rows through the vector-array hook.
  void DoSetShaderVariable(const std::string& AName, const TMatrix3D& AMatrix) override;
  // Each field by its type: integers, Booleans (0 or 1) and enumerations (their ordinal) through
  // the int hook; floats as (v, 0, 0, 0), TPointF as (x, y, 0, 0), TPoint3D as (x, y, z, 0),
  // TVector3D and TAlphaColorF as they are through the vector-array hook; TMatrix3D through the
  // mat4 hook; fixed-size arrays as nested struct arrays. Any other field type raises, naming the
  // element's uniform. Nothing without a graphics context, a current program or records.
  virtual void DoSetShaderVariableArrayOfStruct(const std::string& AName, const TTypeInfo* AType,
                                                int32_t ACount, const void* AData);

  virtual void DoClearEx(TRenderTargets ATarget, TAlphaColor AColor, float ADepth, uint32_t AStencil) = 0;
  virtual void DoClearBufferFloat(int32_t ABuf, const float* APtr) = 0;
  virtual void DoSetTwoSidedRendering(TStencilOpEx AFrontFaceFail, TStencilOpEx AFrontFaceZFail,
                                      TStencilOpEx AFrontFaceZPass, TStencilOpEx ABackFaceFail,
                                      TStencilOpEx ABackFaceZFail, TStencilOpEx ABackFaceZPass,
                                      uint32_t AFrontStencilMask, uint32_t ABackStencilMask) = 0;
  virtual void DoSetPolygonOffsetFill(TPolygonOffsetFill AMode, float AFactor, float AUnits) = 0;
  virtual void DoSetSmoothMode(const TSmoothSetting& ASetting) = 0;
  virtual void DoSetPointSprites(bool AEnabled) = 0;
  virtual void DoSetPointSpriteTextureMode() = 0;
  virtual void DoSetShaderVariableMat4(const std::string& AName, const TMatrix3D& AMatrix) = 0;
  // An Int variable takes AValues[0]; an IntArray takes up to its size of AValues.
  virtual void DoSetShaderVariableInt(const std::string& AName, std::span<const int32_t> AValues) = 0;

  // Above 0 while SetContextStates records states, so the set-state hook leaves the GPU alone.
  int32_t MultipleSetContextState() const { return FMultipleSetContextState; }

  TOwned<TFrameBufferObject> FDefaultFrameBuf;
  TOwned<TFrameBufferObject> FDefaultMSFrameBuf;
  bool FSupportMS = false;
  TOwned<TFrameBufferObject> FTranslucentBuf;
  bool FTranslucentRendering = false;
  float FTranslucentDistance = 0;
  float FNearPlane = TVantrelContextShared::StartNearPlane;
  float FFarPlane = TVantrelContextShared::StartFarPlane;
  TBlendSettings FBlendingBuffers{};
  TSmoothTargets FSmoothTargets;
  TVantrelContextSize FOldViewport{};
  TMatrix3D FOriginalCameraMatrix = TMatrix3D::Identity();
  TBoundingBox FBoundary{};
  TBoundingBox FFrustumBox{};
  TVantrelFrustum FFrustum{};
  TList<TVantrelShaderLight> FShaderLights;
  TVantrelFogSettings FFog{};
  TRenderPass* FCurrentPass = nullptr;
  TList<TRenderPass*> FIntermediatePasses;
  TStack<TRenderPass*> FRenderPassStack;
  // After the intermediate list, which it keeps free of the passes it frees.
  TOwned<TRenderPasses> FPasses;
  // Top = the current draw target. A list, so that a buffer being freed can leave it from any place.
  TList<TFrameBufferObject*> FFBOStack;
  bool FDefaultBufferFallbackBind = false;
  TMeshBufferObject* FCurrentCache = nullptr;
  int32_t FInstanceCount = 0;
  rtl::TOwned<TBufferObject> FInstanceVAO;
  ILayeredPassMaterial* FCurrentLayeredMaterial = nullptr;
  // VantrelClass() once resolved.
  mutable const TVantrelContextClass* FVantrelClass = nullptr;
  std::array<TClipPlaneF, ClipPlaneCount> FClippingPlanes{};
  int32_t FPointOrigin = 0;
  float FPointThreshold = 0;
  float FPointSizeMin = 0;
  float FPointSizeMax = 0;
  std::atomic<int32_t> FMultipleSetContextState{0};
  // The outermost begin of the open scene saved the context states.
  bool FSceneStatesPushed = false;

private:
  void SetPointSpriteDefaults();
  // A pass the table lets go of also leaves the intermediate list.
  void CreatePassTable();
  // The size of the current texture, else the context size times its scale.
  TPoint SceneSize() const;
  void DropFromFBOStack(const TFrameBufferObject* AFBO);
  // One inherited draw, then one per intermediate pass that has a material.
  void DrawWithPassMaterials(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                             const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                             int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount);
  void SetStructField(const std::string& AName, const TTypeInfo& AType, const uint8_t* AData);
  bool BeginOutermostScene();
  void EndOutermostScene();
  void RestoreSceneStates();
  void LeaveScene();
};

} // namespace vantrel
