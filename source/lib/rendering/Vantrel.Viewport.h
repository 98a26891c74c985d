#pragma once
// The viewport control: owns the main renderer, tracks the renderer drawn into now, pushes render
// settings (planes, fog) and lights into the renderers' contexts, keeps the list of render-pass
// controllers that draw for it and re-sizes renderer, output bitmap and passes with the control.
// This unit holds what the renderers and passes call; the frame loop, timers, design camera and
// child hooks belong to the viewport's own unit work.

#include <cstdint>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Rendering.h"
#include "context/Vantrel.Context.Texturing.h"
#include "rendering/Vantrel.Renderer.h"
#include "rtl/sync.h"
#include "ui/controls.h"
#include "ui/controls3d.h"
#include "ui/viewport3d.h"

namespace vantrel {

inline constexpr const char* SViewportOwnerNotSet = "owner component not set";
inline constexpr const char* SViewportUnsupportedRendererType = "unsupported renderer type set";
inline constexpr const char* SViewportIllegalResize = "ERROR: Illegal viewport resize(%d, %d)";

class TVantrelViewport : public TControl, public IViewport3D {
  RTL_CLASS(TVantrelViewport, TControl)
public:
  // Raises "owner component not set" without an owner; the owner, when it is a UI object, becomes
  // the parent.
  explicit TVantrelViewport(TComponent* AOwner);
  ~TVantrelViewport() override;
  static void RegisterProperties(TPropertyList& AList);
  // The resize hook works from here on: the constructor's own sizing creates no renderer.
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
  void SetUsingDesignCamera(bool AValue) { FUsingDesignCamera = AValue; }
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
  float ViewportScale() const { return 1; }
  // The output image of the last resize; nil before the first.
  TVantrelTextureBitmap* Bitmap() const { return FBitmap.get(); }
  // The camera the viewport renders with: the design camera when Camera is nil, when
  // UsingDesignCamera is on, or at design time; otherwise Camera.
  TCamera* CurrentCamera() const;
  // nil until the design camera exists.
  virtual TCamera* GetDesignCamera() const { return nullptr; }

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
  void NeedRender() override { Repaint(); }

  void Invalidate() { Repaint(); }

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
};

void InitializeViewport();
void FinalizeViewport();

} // namespace vantrel
