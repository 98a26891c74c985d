#include "rendering/Vantrel.Renderer.h"

#include <algorithm>
#include <utility>

#include "rendering/Vantrel.Controller.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TRenderer, "Vantrel.Renderer")
RTL_DEFINE_CLASS(TLegacyRenderer, "Vantrel.Renderer")
RTL_DEFINE_CLASS(TCompositeRenderer, "Vantrel.Renderer")
RTL_DEFINE_CLASS(TForwardRenderer, "Vantrel.Renderer")

namespace {

// Runs AStep; an exception from it is raised again with APrefix before its message.
template <class TStep> void WithPrefix(const char* APrefix, TStep&& AStep) {
  try {
    AStep();
  } catch (const Exception& AError) {
    throw Exception(std::string(APrefix) + AError.Message());
  } catch (const std::exception& AError) {
    throw Exception(std::string(APrefix) + AError.what());
  }
}

struct TGBufferFormat {
  TPixelFormatEx Components;
  TPixelFormatEx Format;
  TVantrelTextureDataType DataType;
};

TOwned<TVantrelTexture> MakeGBufferTexture(const TPoint& ASize, const TGBufferFormat& AFormat,
                                           float ATextureScale) {
  TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
  texture->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
  texture->SetSize(ASize.X, ASize.Y);
  texture->SetComponents(AFormat.Components);
  texture->SetFormat(AFormat.Format);
  texture->SetDataType(AFormat.DataType);
  texture->SetTextureScale(ATextureScale);
  return texture;
}

TBlendSetting AddBlend(TBlendFactor AColorSource, TBlendFactor AColorDest, TBlendFactor AAlphaSource,
                       TBlendFactor AAlphaDest) {
  return TBlendSetting::Create(true, TBlendEquationFunc::befAdd, AColorSource, AColorDest, AAlphaSource,
                               AAlphaDest);
}

constexpr TRenderTargets GBufferTargets{TRenderTarget::Color_0, TRenderTarget::Color_1,
                                        TRenderTarget::Color_2, TRenderTarget::Color_3,
                                        TRenderTarget::Color_4};

} // namespace

// --- Internal-pass registry ---

namespace {
TInternalPassBinding GBindings[InternalPassKindCount];
bool GBound[InternalPassKindCount] = {};
} // namespace

void RegisterInternalPass(TInternalPassKind AKind, TInternalPassBinding ABinding) {
  GBindings[size_t(AKind)] = std::move(ABinding);
  GBound[size_t(AKind)] = true;
}

void UnregisterInternalPass(TInternalPassKind AKind) {
  GBindings[size_t(AKind)] = {};
  GBound[size_t(AKind)] = false;
}

const TInternalPassBinding* FindInternalPass(TInternalPassKind AKind) {
  return GBound[size_t(AKind)] ? &GBindings[size_t(AKind)] : nullptr;
}

// --- TRendererRef ---

TRendererRef::TRendererRef(TRenderer* ARenderer) {
  if (ARenderer)
    FToken = ARenderer->FLiveness;
}

// --- TRenderer ---

TRenderer::TRenderer(std::string AId, TComponent* AOwner, TRendererFlags AFlags,
                     TOnRendererCreateCompositeTexture ACompositeTextureEvent)
    : FId(std::move(AId)), FFlags(AFlags), FOwner(AOwner),
      FOnCreateCompositeTexture(std::move(ACompositeTextureEvent)) {}

void TRenderer::AfterConstruction() {
  inherited::AfterConstruction();
  if (auto* viewport = dynamic_cast<TVantrelViewport*>(FOwner)) {
    FSize = {int32_t(Round(double(viewport->Width()))), int32_t(Round(double(viewport->Height())))};
    FScale = viewport->ViewportScale();
    CreateContext();
  } else if (auto* controller = dynamic_cast<TVantrelRenderPassController*>(FOwner)) {
    FSize = controller->GetViewportSize();
    FScale = controller->GetViewportScale();
    CreateContext();
  }
}

void TRenderer::BeforeDestruction() {
  *FLiveness = nullptr;
  FreeContext();
  TObject::BeforeDestruction();
}

void TRenderer::FreeContext() {
  FreeTextures(true);
  FSharedContext.reset();
  FCompositeTexture.reset();
}

void TRenderer::SetSize(const TPoint& AValue) {
  if (AValue != FSize)
    DoResize(AValue, FScale);
}

void TRenderer::SetScale(float AValue) {
  if (AValue != FScale)
    DoResize(FSize, AValue);
}

TFrameBufferObject* TRenderer::GetDefaultFrameBuf() const {
  const TVantrelContext* context = FrameworkContext();
  return context ? context->GetDefaultFrameBuf() : nullptr;
}

TFrameBufferObject* TRenderer::GetTranslucentBuf() const {
  const TVantrelContext* context = FrameworkContext();
  return context ? context->GetTranslucentBuf() : nullptr;
}

void TRenderer::DoResize(const TPoint& ASize, float AScale) {
  if (FSharedContext && FSharedContext->Width() == ASize.X && FSharedContext->Height() == ASize.Y &&
      FSharedContext->Scale() == AScale)
    return;
  FSize = ASize;
  FScale = AScale;
  CreateContext();
  CreateTextures();
}

void TRenderer::CreateContext() {
  // A context is freed before the composite texture it was created from.
  WithPrefix(SRendererDestroyContextFailed, [this] {
    FreeTextures(false);
    FSharedContext.reset();
    FCompositeTexture.reset();
  });
  TTexture* texture = nullptr;
  WithPrefix(SRendererCreateTextureFailed, [&] { texture = CreateCompositeTexture(); });
  WithPrefix(SRendererCreateContextFailed,
             [&] { FSharedContext.reset(TContextManager::CreateFromTexture(texture, FMultisample, true)); });
}

TTexture* TRenderer::CreateCompositeTexture() {
  FCompositeTexture.reset();
  if (FOnCreateCompositeTexture) {
    TVantrelTextureBitmap* supplied = nullptr;
    FOnCreateCompositeTexture(this, FSize, FScale, supplied);
    if (supplied) {
      FCompositeTexture.reset(supplied);
      return supplied->Texture();
    }
  }
  FCompositeTexture.reset(TVantrelTextureBitmap::Create());
  FCompositeTexture->BeginSetup();
  FCompositeTexture->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
  FCompositeTexture->SetComponents(TPixelFormatEx::RGBA8);
  FCompositeTexture->SetFormat(TPixelFormatEx::BGRA);
  FCompositeTexture->SetDataType(TVantrelTextureDataType::dtUnsignedByte);
  FCompositeTexture->SetSize(FSize.X, FSize.Y);
  FCompositeTexture->SetBitmapScale(FScale);
  FCompositeTexture->EndSetup();
  TTexture* texture = FCompositeTexture->Texture();
  texture->SetTextureScale(FScale);
  return texture;
}

void TRenderer::CreateTextures() {
  FreeTextures(false);
}

void TRenderer::FreeTextures(bool) {}

void TRenderer::Apply() {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return;
  BindRenderTargets();
  context->LinkDepthBufferToTranslucentBuffer();
}

void TRenderer::Reset() {
  if (!FrameworkContext())
    return;
  GetDefaultFrameBuf()->Reset();
  GetTranslucentBuf()->Reset();
}

void TRenderer::BeginMainRenderPass(const TMatrix3D& ACamera, float AAngleOfView) {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return;
  context->BeginSceneRendering();
  context->SetContextStates({TContextState::cs3DScene, TContextState::csScissorOff});
  context->SetCameraMatrix(ACamera);
  context->SetCameraAngleOfView(AAngleOfView);
}

void TRenderer::EndMainRenderPass() {
  if (TVantrelContext* context = FrameworkContext())
    context->EndSceneRendering();
}

// The scene phases record cs3DScene: a rectangle pass (the deferred composite, FXAA) leaves
// cs2DScene recorded on the context, and without this the next frame's objects would be projected
// with the screen matrix instead of the camera's.
bool TRenderer::OpenOpaquePhase(TVantrelContext& AContext, TRenderTargets AZeroTargets) {
  AContext.SetContextStates({TContextState::cs3DScene, TContextState::csZTestOn, TContextState::csZWriteOn,
                             TContextState::csFrontFace});
  AContext.BindDefaultBuffer();
  const bool result = AContext.BeginSceneRendering();
  AContext.DisableBlendingBuffers();
  // Each target is cleared once: a full-target clear is a pass over its pixels.
  TFrameBufferObject* buffer = AContext.GetDefaultFrameBuf();
  const TRenderTargets zeroed = FRenderTargets * AZeroTargets;
  TRenderTargets coloured = FRenderTargets - zeroed;
  coloured.Include(TRenderTarget::Depth);
  buffer->Clear(coloured, FColor, 1, 0, false);
  if (zeroed != TRenderTargets{})
    buffer->Clear(zeroed, TAlphaColorF{}, 1, 0, false);
  return result;
}

bool TRenderer::BeginOpaqueRendering() {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return false;
  // Position, normals and emissive start transparent black, not in the clear colour.
  const bool result = OpenOpaquePhase(
      *context, TRenderTargets{TRenderTarget::Color_2, TRenderTarget::Color_3, TRenderTarget::Color_4});
  context->GetDefaultFrameBuf()->Prepare(FRenderTargets);
  return result;
}

void TRenderer::EndOpaqueRendering() {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return;
  context->UnbindDefaultBuffer();
  context->EndSceneRendering();
}

bool TRenderer::BeginTranslucentRendering() {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return false;
  context->SetTranslucentRendering(true);
  context->SetContextStates({TContextState::cs3DScene, TContextState::csZTestOn});
  TFrameBufferObject* buffer = context->GetTranslucentBuf();
  buffer->Bind(context);
  buffer->Clear(TRenderTarget::Color_0, TAlphaColorF{}, 1, 0, false);
  buffer->Clear(TRenderTarget::Color_1, TAlphaColorF{}, 1, 0, false);
  const bool result = context->BeginSceneRendering();
  context->SetMemoryBarrierBit(TMemoryBarrierFlag::FrameBufferBarrierBit);
  context->EnableBlendingBuffers();
  const TBlendSetting sum =
      AddBlend(TBlendFactor::bfOne, TBlendFactor::bfOne, TBlendFactor::bfOne, TBlendFactor::bfOne);
  context->SetBlendingByIndex(0, sum);
  context->SetBlendingByIndex(1, AddBlend(TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcColor,
                                          TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcAlpha));
  for (uint32_t index = 2; index <= 4; ++index)
    context->SetBlendingByIndex(index, sum);
  buffer->Prepare(FRenderTargets);
  return result;
}

void TRenderer::EndTranslucentRendering() {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return;
  context->EndSceneRendering();
  context->GetTranslucentBuf()->Unbind(context);
  context->SetTranslucentRendering(false);
  context->FetchMemoryBarrierBit();
  context->SetContextState(TContextState::csAlphaBlendOff);
}

// --- TLegacyRenderer ---

bool TLegacyRenderer::BeginOpaqueRendering() {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return false;
  const bool result = OpenOpaquePhase(*context);
  TFrameBufferObject* buffer = context->GetDefaultFrameBuf();
  context->AttachTextureToDefaultBuffer(FSharedContext->Texture(), TRenderTarget::Color_0);
  buffer->Prepare(FRenderTargets);
  return result;
}

void TLegacyRenderer::EndOpaqueRendering() {
  TRenderer::EndOpaqueRendering();
}

bool TLegacyRenderer::BeginTranslucentRendering() {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return false;
  context->SetTranslucentRendering(true);
  context->SetContextStates({TContextState::cs3DScene, TContextState::csZTestOn, TContextState::csZWriteOn,
                             TContextState::csFrontFace});
  context->BindDefaultBuffer();
  const bool result = context->BeginSceneRendering();
  context->EnableBlendingBuffers();
  context->SetBlendingByIndex(0, AddBlend(TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcColor,
                                          TBlendFactor::bfOne, TBlendFactor::bfOneMinusSrcAlpha));
  context->GetDefaultFrameBuf()->Prepare(FRenderTargets);
  return result;
}

// Unlike the base, leaves the context's TranslucentRendering set.
void TLegacyRenderer::EndTranslucentRendering() {
  TRenderer::EndOpaqueRendering();
}

// --- TCompositeRenderer ---

TCompositeRenderer::TCompositeRenderer(std::string AId, TComponent* AOwner, TRendererFlags AFlags,
                                       TOnRendererCreateCompositeTexture ACompositeTextureEvent)
    : TRenderer(std::move(AId), AOwner, AFlags, std::move(ACompositeTextureEvent)) {
  FRenderTargets = GBufferTargets;
}

void TCompositeRenderer::SetTranslucentDistance(float AValue) {
  FTranslucentDistance = std::clamp(AValue, 1.0f, 10000.0f);
  if (TVantrelContext* context = FrameworkContext())
    context->SetTranslucentDistance(FTranslucentDistance);
}

void TCompositeRenderer::SetSaturation(const TPoint3D& AValue) {
  FSaturation = AValue;
  ConfigureInternalPass(TInternalPassKind::DeferredComposite);
}
void TCompositeRenderer::SetEmissiveBlur(int32_t AValue) {
  FEmissiveBlur = std::clamp(AValue, 0, 15);
  ConfigureInternalPass(TInternalPassKind::DeferredComposite);
  ConfigureInternalPass(TInternalPassKind::EmissiveBlur);
}
void TCompositeRenderer::SetGlobalIllumDetail(int32_t AValue) {
  FGlobalIllumDetail = std::clamp(AValue, 0, 7);
  for (TInternalPassKind kind :
       {TInternalPassKind::Voxelize, TInternalPassKind::GlobalIllum, TInternalPassKind::GlobalIllumBlur})
    ConfigureInternalPass(kind);
}
void TCompositeRenderer::SetGlobalIllumSoftness(float AValue) {
  FGlobalIllumSoftness = std::clamp(AValue, 0.0f, 5.0f);
  ConfigureInternalPass(TInternalPassKind::GlobalIllumBlur);
}
void TCompositeRenderer::SetShadowStrength(float AValue) {
  FShadowStrength = std::clamp(AValue, 0.0f, 10.0f);
  ConfigureInternalPass(TInternalPassKind::GlobalIllum);
}
void TCompositeRenderer::SetReflectionStrength(float AValue) {
  FReflectionStrength = std::clamp(AValue, 0.0f, 10.0f);
  ConfigureInternalPass(TInternalPassKind::GlobalIllum);
}
void TCompositeRenderer::SetFXAA(int32_t AValue) {
  FFXAA = std::clamp(AValue, 0, 8);
  ConfigureInternalPass(TInternalPassKind::FXAA);
}

// ---- Internal passes ------------------------------------------------------------------------------

class TCompositeRenderer::TObserver : public TComponent {
public:
  explicit TObserver(TCompositeRenderer* ARenderer) : TComponent(nullptr), FRenderer(ARenderer) {}

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override {
    TComponent::Notification(AComponent, AOperation);
    if (AOperation == TOperation::opRemove)
      FRenderer->InternalControllerRemoved(AComponent);
  }

private:
  TCompositeRenderer* FRenderer;
};

TComponent* TCompositeRenderer::OwnerViewport() const {
  if (auto* viewport = dynamic_cast<TVantrelViewport*>(FOwner))
    return viewport;
  if (auto* controller = dynamic_cast<TVantrelRenderPassController*>(FOwner))
    return controller->GetViewport();
  return nullptr;
}

TVantrelRenderPassController* TCompositeRenderer::GetFrameGlobalIllumSource() const {
  if (FGlobalIllumDetail == 0)
    return nullptr;
  return FGlobalIllumSoftness > 0 ? GetInternalController(TInternalPassKind::GlobalIllumBlur)
                                  : GetInternalController(TInternalPassKind::GlobalIllum);
}

void TCompositeRenderer::InternalControllerRemoved(TComponent* AComponent) {
  for (TInternalSlot& slot : FInternal)
    if (slot.Controller == AComponent) {
      slot.Pass.reset();
      slot.Controller = nullptr;
    }
}

void TCompositeRenderer::FreeInternalPass(TInternalPassKind AKind) {
  TInternalSlot& slot = FInternal[size_t(AKind)];
  // The pass runtime object goes before its controller.
  slot.Pass.reset();
  TVantrelRenderPassController* controller = slot.Controller;
  slot.Controller = nullptr;
  if (!controller)
    return;
  if (FObserver)
    FObserver->RemoveFreeNotification(controller);
  // The deferred composite borrows this renderer; it lets go before the renderer goes.
  if (controller->GetRenderer() == this)
    controller->SetRenderer(nullptr);
  if (FOwner && FOwner->ComponentState().Contains(TComponentStateItem::csDestroying))
    return;
  controller->Free();
}

void TCompositeRenderer::CreateInternalPass(TInternalPassKind AKind) {
  static constexpr const char* Suffixes[InternalPassKindCount] = {
      "_DeferredComposite_", "_EmissiveBlur_", "_Voxelize_", "_GlobalIllum_", "_GlobalIllumBlur_", "_FXAA_"};
  FreeInternalPass(AKind);
  const TInternalPassBinding* binding = FindInternalPass(AKind);
  if (!binding || !binding->Class) {
    // One notice per renderer: it names the first kind found unbound.
    if (!FMissingLogged)
      Log::d(Format("renderer %s: no internal pass registered for %s; such steps are skipped", FId,
                    Suffixes[size_t(AKind)]));
    FMissingLogged = true;
    return;
  }
  const std::string id = FId + Suffixes[size_t(AKind)] + Format("%d", reinterpret_cast<intptr_t>(this));
  TVantrelRenderPassController* controller =
      TVantrelRenderPassController::CreateController(*binding->Class, FOwner, id);
  FInternal[size_t(AKind)].Controller = controller;
  if (!FObserver)
    FObserver.reset(New<TObserver>(this));
  FObserver->FreeNotification(controller);
  controller->SetViewportSizeAndScaleWithoutResize(OwnerViewport(), FSize, FScale);
  if (binding->Configure)
    binding->Configure(*controller, *this);
}

void TCompositeRenderer::ConfigureInternalPass(TInternalPassKind AKind) {
  TVantrelRenderPassController* controller = GetInternalController(AKind);
  const TInternalPassBinding* binding = FindInternalPass(AKind);
  if (controller && binding && binding->Configure)
    binding->Configure(*controller, *this);
}

bool TCompositeRenderer::RunInternalPass(TVantrelContext& AContext, TInternalPassKind AKind, const char* AMissing,
                                         PRenderContext ARenderContext) {
  const TInternalPassBinding* binding = FindInternalPass(AKind);
  TInternalSlot& slot = FInternal[size_t(AKind)];
  if (!slot.Controller) {
    if (!binding)
      return false;
    throw Exception(AMissing);
  }
  const bool firstRun = !slot.Pass;
  if (firstRun)
    slot.Pass = slot.Controller->CreateRenderPassInstance();
  if (binding && binding->Prepare)
    binding->Prepare(*slot.Controller, *this, firstRun);
  AContext.ExecuteRenderPass(slot.Pass.get(), ARenderContext);
  return true;
}

void TCompositeRenderer::Composite(PRenderContext ARenderContext) {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return;
  TMemoryBarrierFlags all;
  for (int bit = 0; bit <= int(TMemoryBarrierFlag::ShaderStorageBarrierBit); ++bit)
    all.Include(TMemoryBarrierFlag(bit));
  context->SetMemoryBarrierBits(all);
  RenderGlobalIllumination(ARenderContext);
  FFrameEmissive = RenderEmissiveBlur(ARenderContext);
  if (!GetInternalController(TInternalPassKind::DeferredComposite))
    throw Exception(SRendererNoCompositePass);
  context->AttachTextureToDefaultBuffer(FSharedContext->Texture(), TRenderTarget::Color_0);
  RunInternalPass(*context, TInternalPassKind::DeferredComposite, SRendererNoCompositePass, ARenderContext);
  RenderFXAA(ARenderContext);
}

TTexture* TCompositeRenderer::RenderEmissiveBlur(PRenderContext ARenderContext) {
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return nullptr;
  FFrameEmissive = FEmissiveTexture.get();
  if (FFlags.Contains(TRendererFlag::IgnoreEmissiveBlur) || FEmissiveBlur < 1)
    return FFrameEmissive;
  if (!RunInternalPass(*context, TInternalPassKind::EmissiveBlur, SRendererNoEmissiveBlurPass, ARenderContext))
    return FFrameEmissive;
  return GetInternalController(TInternalPassKind::EmissiveBlur)->GetFinalOutputTexture();
}

void TCompositeRenderer::RenderGlobalIllumination(PRenderContext ARenderContext) {
  TVantrelContext* context = FrameworkContext();
  if (!context || FFlags.Contains(TRendererFlag::IgnoreGlobalIllum) || FGlobalIllumDetail <= 0)
    return;
  RunInternalPass(*context, TInternalPassKind::Voxelize, SRendererNoVoxelizePass, ARenderContext);
  RunInternalPass(*context, TInternalPassKind::GlobalIllum, SRendererNoGlobalIllumPass, ARenderContext);
  if (FGlobalIllumSoftness > 0)
    RunInternalPass(*context, TInternalPassKind::GlobalIllumBlur, SRendererNoGlobalIllumBlurPass, ARenderContext);
}

void TCompositeRenderer::RenderFXAA(PRenderContext ARenderContext) {
  TVantrelContext* context = FrameworkContext();
  if (!context || FFXAA <= 0)
    return;
  RunInternalPass(*context, TInternalPassKind::FXAA, SRendererNoFXAAPass, ARenderContext);
}

void TCompositeRenderer::CreateContext() {
  TRenderer::CreateContext();
  if (TVantrelContext* context = FrameworkContext())
    context->SetTranslucentDistance(FTranslucentDistance);
}

void TCompositeRenderer::CreateTextures() {
  FreeTextures(false);
  if (!FFlags.Contains(TRendererFlag::IgnoreCompositeCtrl))
    CreateInternalPass(TInternalPassKind::DeferredComposite);
  if (!FFlags.Contains(TRendererFlag::IgnoreEmissiveBlur))
    CreateInternalPass(TInternalPassKind::EmissiveBlur);
  if (!FFlags.Contains(TRendererFlag::IgnoreGlobalIllum))
    for (TInternalPassKind kind :
         {TInternalPassKind::Voxelize, TInternalPassKind::GlobalIllum, TInternalPassKind::GlobalIllumBlur})
      CreateInternalPass(kind);
  if (GetInternalController(TInternalPassKind::DeferredComposite))
    CreateInternalPass(TInternalPassKind::FXAA);
  if (FFlags.Contains(TRendererFlag::IgnoreRenderTargets))
    return;
  using DT = TVantrelTextureDataType;
  FAlbedoTexture =
      MakeGBufferTexture(FSize, {TPixelFormatEx::RGBA8, TPixelFormatEx::BGRA, DT::dtUnsignedByte}, FScale);
  FTranslucentAlbedoTexture =
      MakeGBufferTexture(FSize, {TPixelFormatEx::RGBA16F, TPixelFormatEx::BGRA, DT::dtHalfFloat}, FScale);
  FAlphaTexture =
      MakeGBufferTexture(FSize, {TPixelFormatEx::R16F, TPixelFormatEx::Alpha, DT::dtHalfFloat}, FScale);
  FPositionTexture =
      MakeGBufferTexture(FSize, {TPixelFormatEx::RGBA16F, TPixelFormatEx::BGRA, DT::dtHalfFloat}, FScale);
  FPositionTexture->SetWrapS(TVantrelTextureWrap::ClampToEdge);
  FPositionTexture->SetWrapT(TVantrelTextureWrap::ClampToEdge);
  FNormalsTexture =
      MakeGBufferTexture(FSize, {TPixelFormatEx::RGB16F, TPixelFormatEx::BGR, DT::dtHalfFloat}, FScale);
  // The scale on the emissive texture tells the blur pass its working size; the texture itself
  // has the renderer's full size.
  FEmissiveTexture =
      MakeGBufferTexture(FSize, {TPixelFormatEx::RGB8, TPixelFormatEx::BGR, DT::dtUnsignedByte}, 0.25f);
}

void TCompositeRenderer::FreeTextures(bool) {
  for (TInternalPassKind kind : {TInternalPassKind::DeferredComposite, TInternalPassKind::EmissiveBlur,
                                 TInternalPassKind::Voxelize, TInternalPassKind::GlobalIllum,
                                 TInternalPassKind::GlobalIllumBlur, TInternalPassKind::FXAA})
    FreeInternalPass(kind);
  // Detach first: the context's frame buffers must not keep names of freed textures.
  TFrameBufferObject* buffers[] = {GetDefaultFrameBuf(), GetTranslucentBuf()};
  for (TVantrelTexture* texture : {FAlbedoTexture.get(), FTranslucentAlbedoTexture.get(), FAlphaTexture.get(),
                                   FPositionTexture.get(), FNormalsTexture.get(), FEmissiveTexture.get()})
    for (TFrameBufferObject* buffer : buffers)
      if (texture && buffer)
        buffer->DetachTexture(texture);
  FAlbedoTexture.reset();
  FTranslucentAlbedoTexture.reset();
  FAlphaTexture.reset();
  FPositionTexture.reset();
  FNormalsTexture.reset();
  FEmissiveTexture.reset();
}

bool TCompositeRenderer::BeginOpaqueRendering() {
  if (TVantrelContext* context = FrameworkContext())
    context->AttachTextureToDefaultBuffer(FAlbedoTexture.get(), TRenderTarget::Color_0);
  return TRenderer::BeginOpaqueRendering();
}

void TCompositeRenderer::EndOpaqueRendering() {
  TRenderer::EndOpaqueRendering();
}

// --- TForwardRenderer ---

void TForwardRenderer::BindRenderTargets() {
  if (!FSharedContext)
    CreateContext();
  TVantrelContext* context = FrameworkContext();
  if (!context)
    return;
  if (!FAlphaTexture || !FAlbedoTexture || !FTranslucentAlbedoTexture)
    CreateTextures();
  if (FFlags.Contains(TRendererFlag::IgnoreRenderTargets) &&
      FFlags.Contains(TRendererFlag::IgnoreCompositeCtrl)) {
    context->AttachTextureToDefaultBuffer(FSharedContext->Texture(), TRenderTarget::Color_0);
    context->AttachTextureToTranslucentBuffer(FSharedContext->Texture(), TRenderTarget::Color_0);
    return;
  }
  const std::pair<TRenderTarget, TVantrelTexture*> shared[] = {
      {TRenderTarget::Color_1, FAlphaTexture.get()},
      {TRenderTarget::Color_2, FPositionTexture.get()},
      {TRenderTarget::Color_3, FNormalsTexture.get()},
      {TRenderTarget::Color_4, FEmissiveTexture.get()}};
  context->AttachTextureToDefaultBuffer(FAlbedoTexture.get(), TRenderTarget::Color_0);
  context->AttachTextureToTranslucentBuffer(FTranslucentAlbedoTexture.get(), TRenderTarget::Color_0);
  for (const auto& [target, texture] : shared) {
    context->AttachTextureToDefaultBuffer(texture, target);
    context->AttachTextureToTranslucentBuffer(texture, target);
  }
}

} // namespace vantrel
