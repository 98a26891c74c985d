#pragma once
// The render-pass controller: the component that configures a render pass and that the context's
// pass loop drives through IRenderPassController. A controller owns (or borrows) a renderer whose
// context its passes draw into, registers its pass in the linked viewport's context under its Id,
// chains Post passes through the previous renderer's AttachedRenderer, draws the full-target
// rectangle of a RectToFBO pass, keeps its view, projection and texture matrices, filters the
// controls drawn and fires its events around each iteration.
//
// Pass materials and their sources are the bases every concrete pass builds its shaders on. A pass
// material's initialisation hook runs before its Source is stored, and a pass material source
// makes its material before its OwnerPass is stored: the Create factories construct the object
// (AfterConstruction included) first and store the reference after.

#include <cstdint>
#include <string>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Rendering.h"
#include "context/Vantrel.Context.Types.h"
#include "materials/Vantrel.Material.PassLink.h"
#include "rendering/Vantrel.Renderer.h"
#include "rtl/classes.h"
#include "rtl/method.h"
#include "ui/controls3d.h"
#include "ui/material.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

class TVantrelViewport;
class TVantrelRenderPassMaterialSource;

inline constexpr const char* SControllerRendererTypeNotSupported = "renderer type not supported in render-pass ";
inline constexpr const char* SControllerRenderListUnsupported =
    "TRenderPassMethod.RenderListToFBO failed - unsupported for rendering branch";
inline constexpr const char* SControllerUnknownMethodUnsupported =
    "TRenderPassMethod.<unknown> failed - unsupported for rendering branch";
inline constexpr const char* SControllerInvalidDestination = "RenderToContext failed - invalid destination texture";
inline constexpr const char* SControllerMissingMaterial =
    "pass-controller: failed to render to context - missing material shader";
inline constexpr const char* SControllerOutputNotAssigned =
    "<WARNING> %s - Output-Texture not assigned, maybe because Viewport not linked";

// ---- Base controller ------------------------------------------------------------------------------

class TVantrelController : public TVantrelPassLink {
  RTL_CLASS(TVantrelController, TVantrelPassLink)
public:
  explicit TVantrelController(TComponent* AOwner) : TVantrelPassLink(AOwner) {}
  static void RegisterProperties(TPropertyList& AList);

  // The base setter only stores.
  virtual void SetEnabled(bool AValue) { FEnabled = AValue; }
  bool GetEnabled() const override { return FEnabled; }

protected:
  bool FEnabled = true;
};

// ---- Managed controls -----------------------------------------------------------------------------

class TVantrelManagedControl : public TCollectionItem {
  RTL_CLASS(TVantrelManagedControl, TCollectionItem)
public:
  TVantrelManagedControl() = default;
  std::string GetDisplayName() const override { return FName; }
  void SetDisplayName(const std::string& AValue) override { FName = AValue; }
  TControl3D* Control() const { return FControl; }
  void SetControl(TControl3D* AValue) { FControl = AValue; }
  // From another managed-control item: copies Control; anything else is the inherited behaviour.
  void Assign(const TPersistent* ASource) override;

private:
  std::string FName;
  TControl3D* FControl = nullptr;
};

// The controls a pass allows or ignores. Its owner pass watches every listed control and forwards
// a removal here, which clears the item's Control (the item stays).
class TVantrelManagedControls : public TOwnedCollection {
  RTL_CLASS(TVantrelManagedControls, TOwnedCollection)
public:
  explicit TVantrelManagedControls(TPersistent* AOwner);

  TVantrelManagedControl* Item(int AIndex) const;
  int IndexOf(const TControl3D* ACtrl) const;
  bool Contains(const TControl3D* ACtrl) const { return IndexOf(ACtrl) >= 0; }
  TVantrelManagedControl* GetManagedControl(const TControl3D* ACtrl) const;
  TVantrelManagedControl* Add(TControl3D* ACtrl);
  void Remove(const TControl3D* ACtrl);
  void Notification(TComponent* AComponent, TOperation AOperation);
};

// ---- Render-pass controller -----------------------------------------------------------------------

// ASender, the renderer's context, the iteration index, the pass runtime object.
using TRenderPassEvent = TMethodEvent<TObject*, TContext3D*, int32_t, TRenderPass*>;


class TVantrelRenderPassController : public TVantrelController, public IRenderPassController {
  RTL_CLASS(TVantrelRenderPassController, TVantrelController)
public:
  explicit TVantrelRenderPassController(TComponent* AOwner, std::string AId = {});
  // Makes a controller of AClass with AId set before its construction steps run.
  static TVantrelRenderPassController* CreateController(const TVantrelRenderPassControllerClass& AClass,
                                                        TComponent* AOwner, const std::string& AId);
  static void RegisterProperties(TPropertyList& AList);

  void AfterConstruction() override;
  void BeforeDestruction() override;
  ~TVantrelRenderPassController() override;

  // ---- Properties -----------------------------------------------------------------------------------
  const std::string& GetId() const { return FId; }
  virtual void SetId(const std::string& AValue);
  TRenderPassType Get_Type() const { return FType; }
  virtual void Set_Type(TRenderPassType AValue);
  TRenderPassMethod GetMethod() const override { return FMethod; }
  void SetMethod(TRenderPassMethod AValue) { FMethod = AValue; }
  TRenderPassRenderingProc GetRenderProc() const override { return FRenderProc; }
  void SetRenderProc(TRenderPassRenderingProc AValue) { FRenderProc = AValue; }
  TVantrelViewport* GetViewport() const { return FViewport; }
  virtual void SetViewport(TVantrelViewport* AValue);
  int32_t GetIterations() const override { return FIterations; }
  virtual void SetIterations(int32_t AValue) { FIterations = AValue; }
  // Reading the width re-sizes the renderer to ViewportSize at ViewportScale.
  virtual int32_t GetViewportWidth();
  virtual void SetViewportWidth(int32_t AValue);
  virtual int32_t GetViewportHeight();
  virtual void SetViewportHeight(int32_t AValue);
  // The stored size without the renderer re-size, for writing a form.
  int32_t StoredViewportWidth() const { return FViewportSize.X; }
  int32_t StoredViewportHeight() const { return FViewportSize.Y; }
  const TPoint& GetViewportSize() const { return FViewportSize; }
  virtual void SetViewportSize(const TPoint& AValue);
  float GetViewportScale() const { return FViewportScale; }
  void SetViewportScale(float AValue) { FViewportScale = AValue; }
  bool GetOverwriteViewportSize() const { return FOverwriteViewportSize; }
  void SetOverwriteViewportSize(bool AValue) { FOverwriteViewportSize = AValue; }
  bool GetScaleViewportSize() const { return FScaleViewportSize; }
  void SetScaleViewportSize(bool AValue) { FScaleViewportSize = AValue; }
  bool GetOverwriteColor() const { return FOverwriteColor; }
  virtual void SetOverwriteColor(bool AValue);
  TAlphaColor GetBackgroundColor() const { return FBackgroundColor; }
  virtual void SetBackgroundColor(TAlphaColor AValue);
  // The lists exist from construction on; the const forms read them for writing a form.
  TVantrelManagedControls* AllowedControlsList() const { return FAllowedControls.get(); }
  TVantrelManagedControls* IgnoredControlsList() const { return FIgnoredControls.get(); }
  TVantrelManagedControls* GetAllowedControls();
  void SetAllowedControls(const TVantrelManagedControls* AValue);
  TVantrelManagedControls* GetIgnoredControls();
  void SetIgnoredControls(const TVantrelManagedControls* AValue);
  TRenderPassEvent OnBeginSetup, OnEndSetup, OnBeginRender, OnEndRender;

  TRendererType GetRendererType() const { return FRendererType; }
  // Frees an owned renderer (a borrowed one stays with its owner), then creates the pass's own
  // and applies it, as a rebuild does: a composite renderer's internal passes exist before the
  // next frame.
  virtual void SetRendererType(TRendererType AValue);
  TRendererFlags GetRendererFlags() const { return FRendererFlags; }
  void SetRendererFlags(TRendererFlags AValue) { FRendererFlags = AValue; }
  // The pass's renderer: its own, or a borrowed one that reads nil once freed.
  TRenderer* GetRenderer() const { return FRenderer.Get(); }
  // Borrows ARenderer (not owned); an owned renderer is freed first.
  void SetRenderer(TRenderer* ARenderer);
  bool OwnsRenderer() const { return FOwnsRenderer; }
  TRenderer* GetPreviousRenderer() const { return FPreviousRenderer.Get(); }
  virtual TFrameBufferObject* GetFBO() const;
  virtual TVantrelTextureBitmap* GetFBOTexture() const;
  virtual TVantrelRenderPassMaterialSource* Shader() const { return FShader.get(); }
  virtual void SetShader(TOwned<TVantrelRenderPassMaterialSource> AValue);
  const TBlendSettings& GetBlendings() const { return FBlendings; }
  void SetBlendings(const TBlendSettings& AValue) { FBlendings = AValue; }
  uint64_t GetFrameCount() const { return FFrameCount; }
  TMatrix3D GetPrevViewMatrix() const { return FPrevViewMatrix; }
  TMatrix3D GetPrevProjMatrix() const { return FPrevProjMatrix; }

  // ---- IRenderPassController ------------------------------------------------------------------------
  bool GetEnabled() const override { return TVantrelController::GetEnabled(); }
  void SetEnabled(bool AValue) override { TVantrelController::SetEnabled(AValue); }
  void IncFrameCount() override { ++FFrameCount; }
  bool RenderingSkipped() const override { return FDoSkipRendering; }
  void ResetSkippedRendering() override { FDoSkipRendering = false; }
  void SkipRendering() { FDoSkipRendering = true; }
  // Makes the pass renderer current (remembering the previous one), gives its context the
  // viewport's lights, binds its default buffer and begins its scene.
  void BeginRenderPassRendering(TContext3D* AContext, TAlphaColor AFill, float ADepth, uint32_t AStencil) override;
  TPoint ComputeRenderingSize(TContext3D* AContext, int32_t AWidth, int32_t AHeight) override;
  // Ends the scene, restores the previous renderer and, for a Post pass, attaches the pass
  // renderer to it.
  void EndRenderPassRendering(TContext3D* AContext) override;
  bool IsPrimitivesKindSupported(TPrimitivesKind) const override { return true; }
  TObject* GetShader() const override;
  // The renderer's current context, asked at every use: the renderer re-creates it on resize.
  TContext3D* GetRenderPassContext() const override;
  TTexture* GetOutputTexture() override;
  // The texture a later step reads from this pass; the output texture unless a pass keeps its
  // final image elsewhere.
  virtual TTexture* GetFinalOutputTexture() { return GetOutputTexture(); }
  // One RectToFBO iteration: the full-target rectangle drawn with the pass material.
  void RenderToContext(TContext3D* AContext, TTexture* ATexture, const TRect& ARect, const TPoint& ADstPos) override;

  // ---- Registration ---------------------------------------------------------------------------------
  // Links a viewport found upwards when none is linked, then enters (or refreshes) the pass's entry
  // in the viewport context's table. An internal pass or an empty Id is never entered.
  virtual void UpdateRenderPass();
  // A pass runtime object on the renderer's context, entered nowhere; nil without that context.
  virtual TOwned<TRenderPass> CreateRenderPassInstance();
  virtual void UpdateOnResize();
  virtual bool IsInternalRenderPass() const { return false; }
  void SetViewportSizeAndScaleWithoutResize(TComponent* AViewport, const TPoint& ASize, float AScale);
  virtual void RemoveFromContextPasses(TContext3D* AContext, const std::string& AOldKey, const std::string& ANewKey);
  virtual void RemoveFromViewportPasses(const std::string& AOldKey, const std::string& ANewKey);

  // ---- Events around each iteration -----------------------------------------------------------------
  virtual void HandleBeginRendering(TContext3D* AContext, int32_t ACount, TRenderPass* APass);
  virtual void HandleEndRendering(TContext3D* AContext, int32_t ACount, TRenderPass* APass);

  // ---- Matrices -------------------------------------------------------------------------------------
  virtual TMatrix3D GetViewMatrix();
  virtual TMatrix3D GetViewMatrix(TContext3D* AContext);
  virtual TMatrix3D GetProjectionMatrix();
  virtual TMatrix3D GetProjectionMatrix(TContext3D* AContext);
  TMatrix3D GetTextureMatrix(TContext3D* AContext, bool AUseBias) override;
  virtual TMatrix3D GetCurrentModelViewProjectionMatrix();

  // ---- Controls -------------------------------------------------------------------------------------
  virtual void AllowControl(TControl3D* ACtrl);
  virtual void IgnoreControl(TControl3D* ACtrl);
  virtual bool IsControlIgnored(TControl3D* ACtrl);

  // ---- Input pass -----------------------------------------------------------------------------------
  virtual void SetInputPass(TVantrelRenderPassController* APass);
  TVantrelRenderPassController* GetInputPass() const override;

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void SetName(const std::string& AName) override;

  virtual void InitPassDefaults();
  // The pass's material source, or nil for a pass without one.
  virtual TOwned<TVantrelRenderPassMaterialSource> CreateShader() = 0;
  virtual void CreatePassRenderer();
  virtual void ApplyRenderer();
  virtual void ResizeRenderer(const TPoint& ASize, float AScale);
  virtual void SetRendererColor(const TAlphaColorF& AValue);
  // Supplies the renderer's composite texture; the base leaves it to the renderer.
  virtual void DoCreateCompositeTexture(TObject* ASender, const TPoint& ASize, float AScale,
                                        TVantrelTextureBitmap*& ATexture);
  virtual void ApplyBackgroundColor();
  virtual void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass);
  virtual void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass);
  virtual void RebuildRenderer();
  virtual void ResetRenderer();
  virtual void DoOnRenderPassUpdated(TRenderPass*) {}
  virtual void BindRenderer();
  virtual void UnbindRenderer();
  void FlagMatrices() { FRecalcViewMatrix = FRecalcProjMatrix = true; }
  // Frees the renderer when owned, forgets it either way.
  void ReleaseRenderer();

  std::string FId;
  TRenderPassType FType = TRenderPassType::Pre;
  TVantrelViewport* FViewport = nullptr;
  TRenderPassRenderingProc FRenderProc = TRenderPassRenderingProc::DefaultRendering;
  TRenderPassMethod FMethod = TRenderPassMethod::RenderListToFBO;
  bool FOwnsRenderer = false;
  TRendererType FRendererType = TRendererType::ForwardRenderer;
  TRendererFlags FRendererFlags{TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  TOwned<TRenderer> FOwnedRenderer;
  TRendererRef FRenderer;
  TRendererRef FPreviousRenderer;
  bool FOverwriteColor = false;
  TAlphaColor FBackgroundColor = 0;
  TOwned<TVantrelRenderPassMaterialSource> FShader;
  int32_t FIterations = 1;
  uint64_t FFrameCount = 0;
  bool FDoSkipRendering = false;
  TBlendSettings FBlendings{};
  TMatrix3D FPrevViewMatrix = TMatrix3D::Identity();
  TMatrix3D FPrevProjMatrix = TMatrix3D::Identity();
  TMatrix3D FViewMatrix = TMatrix3D::Identity();
  bool FRecalcViewMatrix = true;
  TMatrix3D FProjMatrix = TMatrix3D::Identity();
  bool FRecalcProjMatrix = true;
  TMatrix3D FTextureMatrix = TMatrix3D::Identity();
  TMatrix3D FBiasMatrix = TMatrix3D::Identity();
  TPoint FViewportSize{};
  bool FOverwriteViewportSize = false;
  bool FUseRealViewportSize = false;
  bool FScaleViewportSize = false;
  float FViewportScale = 0;
  TOwned<TVantrelManagedControls> FAllowedControls;
  TOwned<TVantrelManagedControls> FIgnoredControls;

private:
  TOwned<TVertexBuffer> FRectVBuffer;
  TOwned<TIndexBuffer> FRectIBuffer;
  TPoint FRectLastSize{};

  void AddControl(TVantrelManagedControls& AList, TControl3D* ACtrl);
  void DrawRectangle(TVantrelContext& AContext, const TRect& ARect);
};

// ---- Pass materials -------------------------------------------------------------------------------

class TVantrelRenderPassMaterial : public TCustomMaterial {
  RTL_CLASS(TVantrelRenderPassMaterial, TCustomMaterial)
public:
  // Constructs AMaterial's object (its initialisation hook runs with Source nil), then stores ASource.
  template <class T> static TOwned<T> Create(TVantrelRenderPassMaterialSource* ASource) {
    TOwned<T> result = MakeOwned<T>();
    static_cast<TVantrelRenderPassMaterial*>(result.get())->FSource = ASource;
    return result;
  }
  TVantrelRenderPassMaterialSource* Source() const { return FSource; }
  // Removes the program made from the material's two shaders, then hands both shaders back to the
  // shader manager: pass materials are re-made on every resize and must not pile up programs.
  void BeforeDestruction() override;
  // The image the previous renderer left: its attached renderer's composite texture when one is
  // attached, else its own; the context's current texture when the pass has no viewport.
  virtual TTexture* GetPreviousRenderTexture(TContext3D* AContext);

protected:
  TVantrelRenderPassMaterial() = default;

private:
  TVantrelRenderPassMaterialSource* FSource = nullptr;
};

class TVantrelRenderPassMaterialSource : public TMaterialSource {
  RTL_CLASS(TVantrelRenderPassMaterialSource, TMaterialSource)
public:
  // Constructs the source without owner (its material is made with OwnerPass nil), then stores
  // AOwnerPass.
  template <class T> static TOwned<T> Create(TVantrelRenderPassController* AOwnerPass) {
    TOwned<T> result = MakeOwned<T>();
    static_cast<TVantrelRenderPassMaterialSource*>(result.get())->FOwnerPass = AOwnerPass;
    return result;
  }
  TVantrelRenderPassController* OwnerPass() const { return FOwnerPass; }
  TVantrelRenderPassController* InputPass() const { return FInputPass; }
  // Runs the change hook when the value changes.
  virtual void SetInputPass(TVantrelRenderPassController* AValue);
  bool HasMaterial() const { return FHasMaterial; }
  void PassesChanged(TObject*) { DoChange(); }

protected:
  TVantrelRenderPassMaterialSource() : TMaterialSource(nullptr) {}
  void DoChange() override = 0;

  bool FHasMaterial = false;

private:
  TVantrelRenderPassController* FOwnerPass = nullptr;
  TVantrelRenderPassController* FInputPass = nullptr;
};

void InitializeController();
void FinalizeController();

} // namespace vantrel
