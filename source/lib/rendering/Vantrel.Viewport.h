#pragma once
// The viewport control: owns the main renderer, tracks the renderer drawn into now, pushes render
// settings (planes, fog) and lights into the renderers' contexts, keeps the list of render-pass
// controllers that draw for it and re-sizes renderer, output bitmap and passes with the control.
// It also runs the frame loop: the frame timer's ticks build the render list, run the passes and
// the main renderer, and copy the final image into the viewport's bitmap, which the paint hook
// blits onto the scene's canvas. It owns a design camera with its smooth controller, edit mode,
// screen/world conversion and screenshots.
//
// Lock order: the canvas scene is opened first, then the viewport lock (re-entrant), then the
// global canvas lock, which the context's scene rendering takes. MakeScreenshot takes the viewport
// lock, then a fresh bitmap's own scene.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Rendering.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.Frustum.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.Helpers.h"
#include "scene/Vantrel.Camera.h"
#include "ui/bitmap.h"
#include "ui/canvas.h"
#include "ui/timer_service.h"
#include "ui/timers.h"
#include "utils/Vantrel.Utils.Timer.h"
#include "rtl/sync.h"
#include "ui/controls.h"
#include "ui/controls3d.h"
#include "ui/viewport3d.h"

namespace vantrel {

inline constexpr const char* SViewportOwnerNotSet = "owner component not set";
inline constexpr const char* SViewportUnsupportedRendererType = "unsupported renderer type set";
inline constexpr const char* SViewportIllegalResize = "ERROR: Illegal viewport resize(%d, %d)";
inline constexpr const char* SRenderingAborted = "rendering aborted - context not assigned";
inline constexpr const char* SEditModeText = "Pos=(%n, %n, %n), Rotation=(%n, %n, %n)";

class TVantrelViewport : public TControl, public IViewport3D {
  RTL_CLASS(TVantrelViewport, TControl)
public:
  // Raises "owner component not set" without an owner; the owner, when it is a UI object, becomes
  // the parent.
  explicit TVantrelViewport(TComponent* AOwner);
  ~TVantrelViewport() override;
  static void RegisterProperties(TPropertyList& AList);
  // The resize hook works from here on: the constructor's own sizing creates no renderer. The
  // creation steps that may fail (a missing timer service among them) run here too, so a failing
  // step frees the partly made viewport through the factory.
  void AfterConstruction() override;
  void BeforeDestruction() override;

  // ---- Published settings -----------------------------------------------------------------------
  TRendererType GetRendererType() const { return FRendererType; }
  // Stores the type and re-creates the main renderer.
  void SetRendererType(TRendererType AValue);
  TAlphaColor GetColor() const { return FFill; }
  void SetColor(TAlphaColor AValue);
  float GetNearPlane() const { return FNearPlane; }
  void SetNearPlane(float AValue);
  float GetFarPlane() const { return FFarPlane; }
  void SetFarPlane(float AValue);
  virtual bool GetFog() const { return FFog.Enabled; }
  virtual void SetFog(bool AValue);
  virtual uint8_t GetFogMode() const { return FFog.Mode; }
  virtual void SetFogMode(uint8_t AValue);
  virtual float GetFogDensity() const { return FFog.Density; }
  virtual void SetFogDensity(float AValue);
  virtual float GetFogStart() const { return FFog.FogStart; }
  virtual void SetFogStart(float AValue);
  virtual float GetFogEnd() const { return FFog.FogEnd; }
  virtual void SetFogEnd(float AValue);
  virtual TAlphaColor GetFogColor() const;
  virtual void SetFogColor(TAlphaColor AValue);
  virtual TAlphaColorF GetFogColorF() const { return FFog.Color; }
  virtual void SetFogColorF(const TAlphaColorF& AValue);
  virtual TPoint3D GetSaturation() const { return FSaturation; }
  virtual void SetSaturation(const TPoint3D& AValue);
  // Index 0 opaque, 1 translucent, 2 composite.
  virtual float GetSaturationComponent(int AIndex) const;
  virtual void SetSaturationComponent(int AIndex, float AValue);
  float GetOpaqueSaturation() const { return GetSaturationComponent(0); }
  void SetOpaqueSaturation(float AValue) { SetSaturationComponent(0, AValue); }
  float GetTranslucentSaturation() const { return GetSaturationComponent(1); }
  void SetTranslucentSaturation(float AValue) { SetSaturationComponent(1, AValue); }
  float GetCompositeSaturation() const { return GetSaturationComponent(2); }
  void SetCompositeSaturation(float AValue) { SetSaturationComponent(2, AValue); }
  virtual int32_t GetEmissiveBlur() const { return FEmissiveBlur; }
  virtual void SetEmissiveBlur(int32_t AValue);
  virtual int32_t GetGlobalIllumDetail() const { return FGlobalIllumDetail; }
  virtual void SetGlobalIllumDetail(int32_t AValue);
  virtual float GetGlobalIllumSoftness() const { return FGlobalIllumSoftness; }
  virtual void SetGlobalIllumSoftness(float AValue);
  virtual float GetShadowStrength() const { return FShadowStrength; }
  virtual void SetShadowStrength(float AValue);
  virtual float GetReflectionStrength() const { return FReflectionStrength; }
  virtual void SetReflectionStrength(float AValue);
  virtual int32_t GetFXAA() const { return FXAASteps; }
  virtual void SetFXAA(int32_t AValue);
  TCamera* Camera() const { return FCamera; }
  TCamera* GetCameraProperty() const { return FCamera; }
  void SetCameraProperty(TCamera* ACamera) { SetCamera(ACamera); }
  bool UsingDesignCamera() const { return FUsingDesignCamera; }
  // Stores only, for now.
  // On: the design camera's controller takes the viewport's mouse events and runs; off: neither.
  void SetUsingDesignCamera(bool AValue);
  bool DepthStencil() const { return FDepthStencil; }

  // ---- Renderers ----------------------------------------------------------------------------------
  // The current renderer's context; nil without renderer.
  TContext3D* Context() const;
  // The renderer drawn into now; the main renderer while none is set.
  TRenderer* CurrentRenderer() const;
  // Nothing when unchanged. The main renderer gets the viewport's lights; another renderer with
  // its own context takes over the main context's state. Then the render settings are applied.
  void SetCurrentRenderer(TRenderer* AValue);
  TRenderer* MainPassRenderer() const { return FRenderer.get(); }
  // 1 until forms bring a scene with its own scale.
  // The scene's scale with HighRes, else 1.
  float ViewportScale() const;
  // The output image of the last resize; nil before the first.
  TVantrelTextureBitmap* Bitmap() const { return FBitmap.get(); }
  // The camera the viewport renders with: the design camera when Camera is nil, when
  // UsingDesignCamera is on, or at design time; otherwise Camera.
  TCamera* CurrentCamera() const;
  // nil until the design camera exists.
  virtual TCamera* GetDesignCamera() const { return FDesignCamera; }

  virtual void Lock() { FLock.Enter(); }
  virtual void Unlock() { FLock.Leave(); }

  // ---- Settings into contexts -------------------------------------------------------------------
  // Planes and fog into a framework context; nothing for any other.
  virtual void ApplyRenderSettings(TContext3D* AContext);
  // The current renderer's context, and the main renderer's when that is another one.
  virtual void UpdateRenderSettings();
  virtual void UpdateMainRenderSettings();
  // Replaces a framework context's lights by the viewport's, in list order.
  virtual void ApplyLightSettings(TContext3D* AContext);
  virtual void UpdateMainLightSettings();

  // ---- Render passes ------------------------------------------------------------------------------
  const std::vector<TComponent*>& RenderPasses() const { return FRenderPasses; }
  // Appends the controller unless listed (and watches its destruction), then UpdateRenderPasses.
  virtual void AddRenderPass(TComponent* AController);
  virtual void RemoveRenderPass(TComponent* AController);
  virtual void CleanupRenderPasses(TComponent* AController);
  // Every listed controller registers itself again (UpdateRenderPass), in list order.
  virtual void UpdateRenderPasses();
  // Every listed controller follows the viewport's size (UpdateOnResize).
  virtual void UpdateRenderPassesOnResize();

  // ---- IViewport3D --------------------------------------------------------------------------------
  TObject* GetObject() override { return this; }
  TContext3D* GetContext() override { return Context(); }
  bool GetUsingDesignCamera() override { return FUsingDesignCamera; }
  TCamera* GetCamera() override { return FCamera; }
  float GetViewportScale() override { return ViewportScale(); }
  int GetLightCount() override { return static_cast<int>(FLights.size()); }
  TLight* GetLight(int AIndex) override;
  TCamera* GetCurrentCamera() override { return CurrentCamera(); }
  // Nothing when unchanged; the design camera is stored as nil.
  void SetCamera(TCamera* ACamera) override;
  // Appends without the lock.
  void AddLight(TLight* ALight) override;
  // Removes under the lock.
  void RemoveLight(TLight* ALight) override;
  TPointF ScreenToLocal(TPointF APoint) override { return AbsoluteToLocal(APoint); }
  TPointF LocalToScreen(TPointF APoint) override { return LocalToAbsolute(APoint); }
  void NeedRender() override {
    Repaint();
    UpdateEffects();
  }

  void Invalidate() { Repaint(); }

  // ---- Frame settings -----------------------------------------------------------------------------
  bool GetUseFixedFrameRate() const { return FUseFixedFrameRate; }
  // Outside design time the frame timer runs exactly while this is on.
  virtual void SetUseFixedFrameRate(bool AValue);
  int32_t GetFixedFrameRate() const { return FFixedFrameRate; }
  // Stores max(1, AValue): a rate of 0 has no step.
  void SetFixedFrameRate(int32_t AValue);
  // The frame timer's interval in milliseconds.
  int32_t FrameRateStep() const { return FFrameRateStep; }
  bool GetVSync() const { return FVSync; }
  void SetVSync(bool AValue);
  bool GetHighRes() const { return FHighRes; }
  // Runs the resize hook.
  void SetHighRes(bool AValue);
  bool GetManualRendering() const { return FManualRendering; }
  void SetManualRendering(bool AValue) { FManualRendering = AValue; }
  bool GetFrustumCulling() const { return FFrustumCulling; }
  void SetFrustumCulling(bool AValue) { FFrustumCulling = AValue; }
  bool GetLockRendering() const { return FLockRendering; }
  void SetLockRendering(bool AValue) { FLockRendering = AValue; }
  bool GetDiagnosticsActive() const { return FDiagnostics.Enabled; }
  void SetDiagnosticsActive(bool AValue) { FDiagnostics.Enabled = AValue; }
  TMultisample GetMultisample() const { return FMultisample; }
  // Renderers always use two samples: the value is ignored.
  void SetMultisample(TMultisample) {}
  const TBoundingBox& SceneBounds() const { return FSceneBounds; }
  void SetSceneBounds(const TBoundingBox& AValue) { FSceneBounds = AValue; }
  const TVantrelFrustum& CurrentFrustum() const { return FFrustum; }
  const TRenderingDiagnostics& Diagnostics() const { return FDiagnostics; }
  TVantrelTimer* FrameTimer() const { return FFixedInterval.get(); }
  // 0 without a context; the frame timer's rate in fixed-rate mode; else the rate measured from
  // render time.
  double FPS() const;
  // False without a framework context or smoothing targets, else the first blend setting's state.
  bool GetSmooth() const;
  // Asks a framework context for smoothing of points, lines and polygons, whatever the value.
  void SetSmooth(bool AValue);
  // The step from FixedFrameRate, limited to the display's rate with VSync at run time.
  void UpdateFixedFrameStep();
  // The display refresh rate in Hz from the platform's provider; 0 when unknown.
  static int32_t GetDisplayRefreshRate();
  virtual void UpdateDisplayRefreshRate();
  virtual void DoScaleChanged();
  virtual void ForceUpdateEffects();
  // Reads the composite size the image filters will work at (no filters exist yet).
  virtual void ResizeFilterContext();

  // ---- Frame --------------------------------------------------------------------------------------
  // The frame timer's handler.
  void OnFixedIntervalTick(TObject* ASender);
  virtual void RenderFrame();
  virtual void BuildRenderingList();
  virtual void RebuildRenderingList();
  // The render list: during a frame the one it draws; between frames built anew, so no object
  // that left the tree since is ever read.
  const std::vector<TControl3D*>& RenderingList();
  virtual void RenderOpaqueAndTranslucent(PRenderContext ARenderContext);
  void RenderRenderList(PRenderContext ARenderContext);
  void RenderRenderListByMode(bool AOpaque);
  void CopyFinalImage();
  virtual void RenderManual();

  // ---- Updates ------------------------------------------------------------------------------------
  void BeginUpdate() override;
  // Applies a framework camera's pending update once, then invalidates.
  void EndUpdate() override;
  virtual void EndUpdateWithoutInvalidate();

  // ---- Design camera and edit mode ------------------------------------------------------------------
  TPosition3D* DesignPosition() const { return FDesignPosition.get(); }
  TPosition3D* DesignRotationAngle() const { return FDesignRotationAngle.get(); }
  TVantrelSmoothCameraController* GetDesignCameraController() const { return FDesignCameraX; }
  bool GetEditMode() const { return FEditMode; }
  // Switching on saves UsingDesignCamera and FrustumCulling, switching off restores them; setting
  // the current value changes nothing.
  void SetEditMode(bool AValue);
  virtual void ToggleEditMode();
  // In edit mode only: the controller back to the origin, the camera to (0, -5, -20).
  virtual void ResetDesignCamera();
  // No hit tests in edit mode, nor at design time while the left Alt key is down.
  bool CheckHitTest(bool AHitTest) override;
  // Through the design camera when UsingDesignCamera, else Camera; zero without one.
  virtual TPoint3D ScreenToWorld(const TPointF& APoint2D);
  virtual TPointF WorldToScreen(const TPoint3D& APoint3D);
  // The last frame in a new bitmap the caller owns, fitted into the largest bitmap size.
  TBitmap* MakeScreenshot();

  // ---- Picking ------------------------------------------------------------------------------------
  // Nil unless the point is on the viewport itself and no 2D child; then the nearest 3D child of
  // Screen projection, else the nearest of Camera projection, else the viewport. At design time a
  // mesh that belongs to a model answers the model.
  IControl* ObjectAtPoint(TPointF APoint) override;
  // The same search over the children's drop targets, falling back to the viewport when it
  // accepts.
  IControl* FindTarget(TPointF APoint, const TDragObject& AData) override;
  // The first object of the render list, in list order, that is under APoint and has a mouse
  // handler; its OnMouseMove handler gets the picking ray. The picking globals are reset for each
  // object and restored on return.
  virtual TControl3D* RayCastIntersect(const TPointF& APoint);

protected:
  // Creates the main renderer when missing, sizes it and the output bitmap to the control's pixel
  // size and re-sizes the passes; a pixel size below 1 x 1 is logged and changes nothing.
  void Resize() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  // Frees the old main renderer and makes one of RendererType named "Viewport@<address>".
  virtual void CreateRenderer();
  // Passes the composite settings on to a composite main renderer.
  void PassCompositeSettings(bool AWithSoftness);
  TCompositeRenderer* CompositeMainRenderer() const;

  TRendererType FRendererType = TRendererType::ForwardRenderer;
  TOwned<TRenderer> FRenderer;
  TRendererRef FCurrentRenderer;
  TCamera* FCamera = nullptr;
  TOwned<TVantrelTextureBitmap> FBitmap;
  TAlphaColor FFill = 0xFF000000;
  TMultisample FMultisample = TMultisample::TwoSamples;
  bool FUsingDesignCamera = true;
  bool FDepthStencil = false;
  std::vector<TLight*> FLights;
  std::vector<TComponent*> FRenderPasses;
  float FNearPlane;
  float FFarPlane;
  TCriticalSection FLock;
  TVantrelFogSettings FFog;
  TPoint3D FSaturation{0, 1.5f, 0};
  int32_t FEmissiveBlur = 0;
  int32_t FGlobalIllumDetail = 0;
  float FGlobalIllumSoftness = 1;
  float FShadowStrength = 0.4f;
  float FReflectionStrength = 0;
  int32_t FXAASteps = 1;
  bool FConstructed = false;

private:
  void Paint() override;
  TRectF DoGetUpdateRect() override;
  void DoAddObject(TFmxObject* AObject) override;
  void DoRemoveObject(TFmxObject* AObject) override;
  bool Designing() const;

  bool FEditMode = false;
  bool FStoredUsingDesignCamera = false;
  bool FStoredFrustumCulling = false;
  TCamera* FDesignCamera = nullptr;
  TVantrelSmoothCameraController* FDesignCameraX = nullptr;
  ui::TTimer* FDesignTimer = nullptr;
  TOwned<TPosition3D> FDesignPosition;
  TOwned<TPosition3D> FDesignRotationAngle;
  bool FDrawing = false;
  std::vector<TControl3D*> FRenderingList;
  // The list was built by the frame in progress.
  bool FRenderingListFresh = false;
  int32_t FLastRenderListSize = 0;
  int FScaleChangedId = 0;
  int FDisplayChangedId = 0;
  std::shared_ptr<ITimerService> FTimerService;
  double FRenderTime = 0;
  int32_t FRenderCycles = 0;
  double FFPS = 0;
  bool FUseFixedFrameRate = true;
  int32_t FFixedFrameRate = 60;
  TOwned<TVantrelTimer> FFixedInterval;
  int32_t FFrameRateStep = 16;
  std::atomic<int> FFixedRendering{0};
  bool FManualRendering = false;
  bool FDoManualRender = false;
  bool FHighRes = false;
  bool FVSync = false;
  bool FLockRendering = false;
  TBoundingBox FSceneBounds = TBoundingBox::Create({0, 0, 0}, {128, 128, 128});
  TVantrelFrustum FFrustum;
  bool FFrustumCulling = true;
  TRenderingDiagnostics FDiagnostics;
  TPoint FFilterContextSize{};

  void UpdateFrameAverages();
  void Blit(TCanvas* ACanvas);
  void DrawEditModeOverlay(TCanvas* ACanvas);
  // The creation steps after the inherited ones.
  void CompleteCreation();
  void CreateDesignCamera();
  void LinkDesignCameraController();
  void StopFrameTimer();
  void FreeDesignCamera();
  void DesignPositionChanged(TObject* ASender);
  void DesignRotationChanged(TObject* ASender);
  void DesignRotationXChanged(TObject* ASender);
  void DesignRotationYChanged(TObject* ASender);
  void DesignRotationZChanged(TObject* ASender);
};

void InitializeViewport();
void FinalizeViewport();

} // namespace vantrel
