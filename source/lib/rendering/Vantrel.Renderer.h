#pragma once
// Renderers: offscreen drawing targets, each with its own framework context created from a
// composite texture it owns. A renderer brackets the phases of a pass (main pass, opaque phase,
// translucent phase); the composite kinds draw into a six-texture G-buffer that the forward
// renderer binds to the context's frame buffers. Size or scale changes re-create the context, the
// composite texture and the G-buffer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.Rendering.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.h"
#include "rtl/classes.h"
#include "ui/context3d.h"

namespace vantrel {

enum class TRendererType : uint8_t { ForwardRenderer, LegacyRenderer };
RTL_ENUM_TYPEINFO(TRendererType, "ForwardRenderer", "LegacyRenderer")

enum class TRendererFlag : uint8_t {
  IgnoreRenderTargets,
  IgnoreCompositeCtrl,
  IgnoreEmissiveBlur,
  IgnoreGlobalIllum
};
RTL_ENUM_TYPEINFO(TRendererFlag, "IgnoreRenderTargets", "IgnoreCompositeCtrl", "IgnoreEmissiveBlur",
                  "IgnoreGlobalIllum")
using TRendererFlags = TSet<TRendererFlag>;

// Supplies a composite texture of the given size and scale; leaving ATexture nil lets the renderer
// make its own.
using TOnRendererCreateCompositeTexture = std::function<void(TObject* ASender, const TPoint& ASize,
                                                             float AScale, TVantrelTextureBitmap*& ATexture)>;

inline constexpr const char* SRendererDestroyContextFailed =
    "Failed to destroy renderer context, before creating a new one - ";
inline constexpr const char* SRendererCreateTextureFailed = "Failed to create renderer composite texture - ";
inline constexpr const char* SRendererCreateContextFailed = "Failed to create renderer context - ";

class TRenderer;
class TCompositeRenderer;
class TVantrelRenderPassController;
// The metaclass that makes controllers by class (TVantrelRenderPassController::CreateController).
using TVantrelRenderPassControllerClass = TClass;

inline constexpr const char* SRendererNoCompositePass = "renderer do not contain composite render-pass";
inline constexpr const char* SRendererNoEmissiveBlurPass = "renderer do not contain emissive blur render-pass";
inline constexpr const char* SRendererNoVoxelizePass =
    "renderer do not contain global illumination voxelize render-pass";
inline constexpr const char* SRendererNoGlobalIllumPass = "renderer do not contain global illumination render-pass";
inline constexpr const char* SRendererNoGlobalIllumBlurPass =
    "renderer do not contain global illumination blurring render-pass";
inline constexpr const char* SRendererNoFXAAPass = "renderer do not contain fxaa render-pass";

// ---- Internal passes ------------------------------------------------------------------------------
// The composite renderer runs up to six internal passes. Each kind's pass unit registers a binding
// that makes and feeds its controller, so the renderer knows no pass class. A kind without a
// binding behaves as if its Ignore flag were set (no controller, its step skipped), except that
// Composite still needs the deferred composite.

enum class TInternalPassKind : uint8_t { DeferredComposite, EmissiveBlur, Voxelize, GlobalIllum, GlobalIllumBlur, FXAA };
inline constexpr size_t InternalPassKindCount = 6;

struct TInternalPassBinding {
  // Makes the controller (AOwner, AId).
  const TVantrelRenderPassControllerClass* Class = nullptr;
  // Creation-time links and settings; run again by every renderer setter that feeds this kind.
  std::function<void(TVantrelRenderPassController&, TCompositeRenderer&)> Configure;
  // Inputs before each run; AFirstRun on the run that made the pass runtime object.
  std::function<void(TVantrelRenderPassController&, TCompositeRenderer&, bool AFirstRun)> Prepare;
};

// Replaces any binding of the kind.
void RegisterInternalPass(TInternalPassKind AKind, TInternalPassBinding ABinding);
void UnregisterInternalPass(TInternalPassKind AKind);
// nullptr for a kind without binding.
const TInternalPassBinding* FindInternalPass(TInternalPassKind AKind);

// A non-owning reference to a renderer that reads nil once the renderer's destruction has begun:
// renderers are re-created on resizes while passes and viewports still point at them.
class TRendererRef {
public:
  TRendererRef() = default;
  TRendererRef(TRenderer* ARenderer);
  TRenderer* Get() const { return FToken ? *FToken : nullptr; }
  TRenderer* operator->() const { return Get(); }
  explicit operator bool() const { return Get() != nullptr; }

private:
  std::shared_ptr<TRenderer* const> FToken;
};

class TRenderer : public TObject {
  RTL_CLASS(TRenderer, TObject)
  friend class TRendererRef;

public:
  TRenderer(std::string AId, TComponent* AOwner, TRendererFlags AFlags,
            TOnRendererCreateCompositeTexture ACompositeTextureEvent);
  // Owned by a viewport, the renderer takes its rounded size and scale; owned by a pass
  // controller, the controller's ViewportSize and ViewportScale; either way it then creates its
  // context. Any other owner leaves the context to the first resize.
  void AfterConstruction() override;
  void BeforeDestruction() override;

  const std::string& GetId() const { return FId; }
  TRendererFlags GetFlags() const { return FFlags; }
  TContext3D* GetSharedContext() const { return FSharedContext.get(); }
  TVantrelTextureBitmap* GetCompositeTexture() const { return FCompositeTexture.get(); }
  // Takes effect when the context is next created.
  TMultisample GetMultisample() const { return FMultisample; }
  void SetMultisample(TMultisample AValue) { FMultisample = AValue; }
  TRenderTargets GetRenderTargets() const { return FRenderTargets; }
  void SetRenderTargets(TRenderTargets AValue) { FRenderTargets = AValue; }
  TComponent* GetOwner() const { return FOwner; }
  void SetOwner(TComponent* AValue) { FOwner = AValue; }
  TRenderer* GetAttachedRenderer() const { return FAttachedRenderer.Get(); }
  void SetAttachedRenderer(TRenderer* AValue) { FAttachedRenderer = AValue; }
  const TOnRendererCreateCompositeTexture& GetOnCreateCompositeTexture() const {
    return FOnCreateCompositeTexture;
  }
  void SetOnCreateCompositeTexture(TOnRendererCreateCompositeTexture AValue) {
    FOnCreateCompositeTexture = std::move(AValue);
  }
  const TPoint& GetSize() const { return FSize; }
  virtual void SetSize(const TPoint& AValue);
  float GetScale() const { return FScale; }
  virtual void SetScale(float AValue);
  const TAlphaColorF& GetColor() const { return FColor; }
  virtual void SetColor(const TAlphaColorF& AValue) { FColor = AValue; }
  // The context's default and translucent frame buffers; nil without a framework context.
  TFrameBufferObject* GetDefaultFrameBuf() const;
  TFrameBufferObject* GetTranslucentBuf() const;
  // The renderer's context when it is a framework context, else nil.
  TVantrelContext* FrameworkContext() const { return dynamic_cast<TVantrelContext*>(FSharedContext.get()); }

  void Resize(const TPoint& ASize, float AScale) { DoResize(ASize, AScale); }
  virtual void Apply();
  virtual void Reset();
  virtual void BeginMainRenderPass(const TMatrix3D& ACamera, float AAngleOfView);
  virtual void EndMainRenderPass();
  virtual bool BeginOpaqueRendering();
  virtual void EndOpaqueRendering();
  virtual bool BeginTranslucentRendering();
  virtual void EndTranslucentRendering();

protected:
  // The start both opaque phases share: depth test and write, no blending, the default frame
  // buffer bound with its targets and depth cleared, AZeroTargets to transparent black and the
  // rest to the renderer's colour. Returns what the scene bracket returned.
  bool OpenOpaquePhase(TVantrelContext& AContext, TRenderTargets AZeroTargets = {});
  virtual void DoResize(const TPoint& ASize, float AScale);
  virtual void CreateContext();
  virtual TTexture* CreateCompositeTexture();
  virtual void CreateTextures();
  virtual void FreeTextures(bool AOwnerFreeing);
  virtual void BindRenderTargets() {}
  // Frees the G-buffer (and, later, internal passes), the composite texture and the context, in
  // that order: a context goes before the texture it was created from.
  void FreeContext();

  std::string FId;
  TRendererFlags FFlags;
  TMultisample FMultisample = TMultisample::TwoSamples;
  TOwned<TContext3D> FSharedContext;
  TRenderTargets FRenderTargets{TRenderTarget::Color_0};
  TOwned<TVantrelTextureBitmap> FCompositeTexture;
  TComponent* FOwner = nullptr;
  TPoint FSize{64, 64};
  float FScale = 1;
  TAlphaColorF FColor{};
  TRendererRef FAttachedRenderer;
  TOnRendererCreateCompositeTexture FOnCreateCompositeTexture;

private:
  // Points at this renderer until its destruction begins; every TRendererRef shares it.
  std::shared_ptr<TRenderer*> FLiveness = std::make_shared<TRenderer*>(this);
};

// Draws straight into the composite texture.
class TLegacyRenderer : public TRenderer {
  RTL_CLASS(TLegacyRenderer, TRenderer)
public:
  using TRenderer::TRenderer;
  bool BeginOpaqueRendering() override;
  void EndOpaqueRendering() override;
  bool BeginTranslucentRendering() override;
  void EndTranslucentRendering() override;
};

// Draws into a G-buffer of six textures (albedo, translucent albedo, alpha, position, normals,
// emissive) and carries the settings its internal passes read.
class TCompositeRenderer : public TRenderer {
  RTL_CLASS(TCompositeRenderer, TRenderer)
public:
  TCompositeRenderer(std::string AId, TComponent* AOwner, TRendererFlags AFlags,
                     TOnRendererCreateCompositeTexture ACompositeTextureEvent);

  TVantrelTexture* GetAlbedoTexture() const { return FAlbedoTexture.get(); }
  TVantrelTexture* GetTranslucentAlbedoTexture() const { return FTranslucentAlbedoTexture.get(); }
  TVantrelTexture* GetAlphaTexture() const { return FAlphaTexture.get(); }
  TVantrelTexture* GetPositionTexture() const { return FPositionTexture.get(); }
  TVantrelTexture* GetNormalsTexture() const { return FNormalsTexture.get(); }
  TVantrelTexture* GetEmissiveTexture() const { return FEmissiveTexture.get(); }

  float GetTranslucentDistance() const { return FTranslucentDistance; }
  void SetTranslucentDistance(float AValue);
  const TPoint3D& GetSaturation() const { return FSaturation; }
  void SetSaturation(const TPoint3D& AValue);
  int32_t GetEmissiveBlur() const { return FEmissiveBlur; }
  void SetEmissiveBlur(int32_t AValue);
  int32_t GetGlobalIllumDetail() const { return FGlobalIllumDetail; }
  void SetGlobalIllumDetail(int32_t AValue);
  float GetGlobalIllumSoftness() const { return FGlobalIllumSoftness; }
  void SetGlobalIllumSoftness(float AValue);
  float GetShadowStrength() const { return FShadowStrength; }
  void SetShadowStrength(float AValue);
  float GetReflectionStrength() const { return FReflectionStrength; }
  void SetReflectionStrength(float AValue);
  int32_t GetFXAA() const { return FFXAA; }
  void SetFXAA(int32_t AValue);

  bool BeginOpaqueRendering() override;
  void EndOpaqueRendering() override;

  // Runs the frame's internal passes on the renderer's framework context: global illumination,
  // the emissive blur, the deferred composite into the composite texture, then FXAA. Raises
  // "renderer do not contain composite render-pass" without a deferred-composite controller.
  virtual void Composite(PRenderContext ARenderContext);
  // The emissive image the composite adds: the raw emissive texture, or the blur pass's output.
  virtual TTexture* RenderEmissiveBlur(PRenderContext ARenderContext);
  virtual void RenderGlobalIllumination(PRenderContext ARenderContext);
  virtual void RenderFXAA(PRenderContext ARenderContext);

  // The internal controller of a kind; nil when there is none.
  TVantrelRenderPassController* GetInternalController(TInternalPassKind AKind) const {
    return FInternal[size_t(AKind)].Controller;
  }
  // The emissive texture the current frame's composite uses (set by RenderEmissiveBlur's step).
  TTexture* GetFrameEmissiveTexture() const { return FFrameEmissive; }
  // The current frame's global illumination source: nil, the GI-blur or the GI controller.
  TVantrelRenderPassController* GetFrameGlobalIllumSource() const;

protected:
  void CreateContext() override;
  void CreateTextures() override;
  void FreeTextures(bool AOwnerFreeing) override;
  // Frees the kind's pass runtime object, then its controller unless the renderer's owner is
  // being destroyed (the owner frees it then); the slot is cleared either way.
  void FreeInternalPass(TInternalPassKind AKind);
  // Makes the kind's controller when the kind has a binding and its flag allows it.
  void CreateInternalPass(TInternalPassKind AKind);
  // Reruns the kind's Configure on its controller, when both exist.
  void ConfigureInternalPass(TInternalPassKind AKind);
  // Runs the kind's pass through the context: its runtime object is made on first use, then
  // Prepare runs. Raises AMissing when the kind is bound but has no controller; returns False,
  // running nothing, for a kind without binding.
  bool RunInternalPass(TVantrelContext& AContext, TInternalPassKind AKind, const char* AMissing,
                       PRenderContext ARenderContext);
  // The viewport the internal controllers draw for: the owner, or the owner controller's.
  TComponent* OwnerViewport() const;
  // Called by the observer when a controller is freed from outside.
  void InternalControllerRemoved(TComponent* AComponent);

  TOwned<TVantrelTexture> FAlbedoTexture;
  TOwned<TVantrelTexture> FTranslucentAlbedoTexture;
  TOwned<TVantrelTexture> FAlphaTexture;
  TOwned<TVantrelTexture> FPositionTexture;
  TOwned<TVantrelTexture> FNormalsTexture;
  TOwned<TVantrelTexture> FEmissiveTexture;
  float FTranslucentDistance = 10;
  TPoint3D FSaturation{};
  int32_t FEmissiveBlur = 0;
  int32_t FGlobalIllumDetail = 0;
  float FGlobalIllumSoftness = 1;
  float FShadowStrength = 0.4f;
  float FReflectionStrength = 0;
  int32_t FFXAA = 1;

private:
  struct TInternalSlot {
    TVantrelRenderPassController* Controller = nullptr;
    TOwned<TRenderPass> Pass;
  };
  class TObserver;
  TInternalSlot FInternal[InternalPassKindCount];
  // Watches the internal controllers (FreeNotification), so a controller freed from outside
  // clears its slot and frees its pass runtime object.
  TOwned<TComponent> FObserver;
  bool FMissingLogged = false;
  TTexture* FFrameEmissive = nullptr;
  friend class TObserver;
};

// The viewport's default: binds the G-buffer to the context's default and translucent buffers.
class TForwardRenderer : public TCompositeRenderer {
  RTL_CLASS(TForwardRenderer, TCompositeRenderer)
public:
  using TCompositeRenderer::TCompositeRenderer;

protected:
  void BindRenderTargets() override;
};

} // namespace vantrel
