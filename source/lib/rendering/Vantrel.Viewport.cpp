#include "rendering/Vantrel.Viewport.h"

#include <algorithm>
#include <mutex>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.h"
#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "ui/messages.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Light.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelViewport, "Vantrel.Viewport", &TVantrelViewport::RegisterProperties)

namespace {

TComponent* RequireOwner(TComponent* AOwner) {
  if (!AOwner)
    throw Exception(SViewportOwnerNotSet);
  return AOwner;
}

int32_t RoundedExtent(float AValue) { return static_cast<int32_t>(Round(double(AValue))); }

} // namespace

TVantrelViewport::TVantrelViewport(TComponent* AOwner)
    : TControl(RequireOwner(AOwner)), FNearPlane(ContextShared().DefaultNearPlane),
      FFarPlane(ContextShared().DefaultFarPlane),
      FFog(TVantrelFogSettings::Create(false, 2, 0.001f, 100, 500)) {
  SetSize(100, 100);
  if (auto* parent = dynamic_cast<TFmxObject*>(AOwner))
    SetParent(parent);
  FDepthStencil = true;
  SetColor(0xFF000000);
  Invalidate();
}

TVantrelViewport::~TVantrelViewport() = default;

void TVantrelViewport::RegisterProperties(TPropertyList& AList) {
  using V = TVantrelViewport;
  AList.Add("RendererType", &V::GetRendererType, &V::SetRendererType).WithDefault(TRendererType::ForwardRenderer);
  // Colours stream as colour identifiers ("claBlack"), so they carry the colour type.
  AList.Add("Color", &V::GetColor, &V::SetColor)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0xFF000000), TypeInfoAlphaColor()));
  AList.Add("NearPlane", &V::GetNearPlane, &V::SetNearPlane).WithDefault(TVantrelContextShared::StartNearPlane);
  AList.Add("FarPlane", &V::GetFarPlane, &V::SetFarPlane).WithDefault(TVantrelContextShared::StartFarPlane);
  AList.Add("Fog", &V::GetFog, &V::SetFog).WithDefault(false);
  AList.Add("FogDensity", &V::GetFogDensity, &V::SetFogDensity).WithDefault(0.001f);
  AList.Add("FogStart", &V::GetFogStart, &V::SetFogStart).WithDefault(100.0f);
  AList.Add("FogEnd", &V::GetFogEnd, &V::SetFogEnd).WithDefault(500.0f);
  AList.Add("FogColor", &V::GetFogColor, &V::SetFogColor).AsType(TypeInfoAlphaColor());
  AList.Add("OpaqueSaturation", &V::GetOpaqueSaturation, &V::SetOpaqueSaturation).WithDefault(0.0f);
  AList.Add("TranslucentSaturation", &V::GetTranslucentSaturation, &V::SetTranslucentSaturation)
      .WithDefault(1.5f);
  AList.Add("CompositeSaturation", &V::GetCompositeSaturation, &V::SetCompositeSaturation).WithDefault(0.0f);
  AList.Add("EmissiveBlur", &V::GetEmissiveBlur, &V::SetEmissiveBlur).WithDefault(int32_t(0));
  AList.Add("GlobalIllumDetail", &V::GetGlobalIllumDetail, &V::SetGlobalIllumDetail).WithDefault(int32_t(0));
  AList.Add("GlobalIllumSoftness", &V::GetGlobalIllumSoftness, &V::SetGlobalIllumSoftness).WithDefault(1.0f);
  AList.Add("ShadowStrength", &V::GetShadowStrength, &V::SetShadowStrength).WithDefault(0.4f);
  AList.Add("ReflectionStrength", &V::GetReflectionStrength, &V::SetReflectionStrength).WithDefault(0.0f);
  AList.Add("FXAA", &V::GetFXAA, &V::SetFXAA).WithDefault(int32_t(1));
  AList.Add("Camera", &V::GetCameraProperty, &V::SetCameraProperty).AsReference();
  AList.Add("UsingDesignCamera", &V::UsingDesignCamera, &V::SetUsingDesignCamera).WithDefault(true);
  AList.Add("DesignPosition", &V::DesignPosition);
  AList.Add("DesignRotationAngle", &V::DesignRotationAngle);
  AList.Add("ManualRendering", &V::GetManualRendering, &V::SetManualRendering).WithDefault(false);
  AList.Add("UseFixedFrameRate", &V::GetUseFixedFrameRate, &V::SetUseFixedFrameRate).WithDefault(true);
  AList.Add("FixedFrameRate", &V::GetFixedFrameRate, &V::SetFixedFrameRate).WithDefault(int32_t(60));
  AList.Add("FrustumCulling", &V::GetFrustumCulling, &V::SetFrustumCulling).WithDefault(true);
  AList.Add("HighRes", &V::GetHighRes, &V::SetHighRes).WithDefault(false);
  AList.Add("VSync", &V::GetVSync, &V::SetVSync).WithDefault(false);
  AList.Add("DiagnosticsActive", &V::GetDiagnosticsActive, &V::SetDiagnosticsActive).WithDefault(false);
  AList.Add("Multisample", &V::GetMultisample, &V::SetMultisample).WithDefault(TMultisample::TwoSamples);
}

void TVantrelViewport::AfterConstruction() {
  inherited::AfterConstruction();
  FConstructed = true;
  CompleteCreation();
}

void TVantrelViewport::BeforeDestruction() {
  // Marked first, so the main renderer leaves its internal controllers to the owner's own
  // destruction. The passes stay alive: the inherited step tells each linked one, which unlinks
  // itself.
  Destroying();
  // A tick serviced while the frame timer is waited for finds the viewport destroying and returns.
  StopFrameTimer();
  FreeDesignCamera();
  TMessageManager::DefaultManager().Unsubscribe(typeid(TScaleChangedMessage), FScaleChangedId);
  TMessageManager::DefaultManager().Unsubscribe(typeid(TDisplayChangedMessage), FDisplayChangedId);
  FCurrentRenderer = nullptr;
  FRenderer.reset();
  FBitmap.reset();
  FLights.clear();
  inherited::BeforeDestruction();
}

// ---- Settings ---------------------------------------------------------------------------------------

void TVantrelViewport::SetRendererType(TRendererType AValue) {
  FRendererType = AValue;
  CreateRenderer();
  // A viewport that was sized already sizes the new renderer now: a renderer made without its
  // targets and passes would fail its first frame.
  if (FConstructed && FBitmap)
    Resize();
}

void TVantrelViewport::SetColor(TAlphaColor AValue) {
  FFill = AValue;
  if (FRenderer)
    FRenderer->SetColor(TAlphaColorF::Create(AValue));
  Repaint();
}

void TVantrelViewport::SetNearPlane(float AValue) {
  FNearPlane = AValue;
  UpdateRenderSettings();
}

void TVantrelViewport::SetFarPlane(float AValue) {
  FFarPlane = AValue;
  UpdateRenderSettings();
}

void TVantrelViewport::SetFog(bool AValue) {
  FFog.Enabled = AValue;
  UpdateRenderSettings();
}

void TVantrelViewport::SetFogMode(uint8_t AValue) {
  FFog.Mode = AValue;
  UpdateRenderSettings();
}

void TVantrelViewport::SetFogDensity(float AValue) {
  FFog.Density = AValue;
  UpdateRenderSettings();
}

void TVantrelViewport::SetFogStart(float AValue) {
  FFog.FogStart = AValue;
  UpdateRenderSettings();
}

void TVantrelViewport::SetFogEnd(float AValue) {
  FFog.FogEnd = AValue;
  UpdateRenderSettings();
}

TAlphaColor TVantrelViewport::GetFogColor() const { return FFog.Color.ToAlphaColor(); }

void TVantrelViewport::SetFogColor(TAlphaColor AValue) { SetFogColorF(TAlphaColorF::Create(AValue)); }

void TVantrelViewport::SetFogColorF(const TAlphaColorF& AValue) {
  FFog.Color = AValue;
  UpdateRenderSettings();
}

TCompositeRenderer* TVantrelViewport::CompositeMainRenderer() const {
  return dynamic_cast<TCompositeRenderer*>(FRenderer.get());
}

void TVantrelViewport::SetSaturation(const TPoint3D& AValue) {
  FSaturation = AValue;
  if (TCompositeRenderer* renderer = CompositeMainRenderer())
    renderer->SetSaturation(FSaturation);
}

float TVantrelViewport::GetSaturationComponent(int AIndex) const {
  switch (AIndex) {
  case 0:
    return FSaturation.X;
  case 1:
    return FSaturation.Y;
  default:
    return FSaturation.Z;
  }
}

void TVantrelViewport::SetSaturationComponent(int AIndex, float AValue) {
  TPoint3D saturation = FSaturation;
  (AIndex == 0 ? saturation.X : AIndex == 1 ? saturation.Y : saturation.Z) = AValue;
  SetSaturation(saturation);
}

void TVantrelViewport::SetEmissiveBlur(int32_t AValue) {
  FEmissiveBlur = std::clamp(AValue, 0, 15);
  if (TCompositeRenderer* renderer = CompositeMainRenderer())
    renderer->SetEmissiveBlur(FEmissiveBlur);
}

// Stored unclamped: the renderer clamps.
void TVantrelViewport::SetGlobalIllumDetail(int32_t AValue) {
  FGlobalIllumDetail = AValue;
  if (TCompositeRenderer* renderer = CompositeMainRenderer())
    renderer->SetGlobalIllumDetail(FGlobalIllumDetail);
}

void TVantrelViewport::SetGlobalIllumSoftness(float AValue) {
  FGlobalIllumSoftness = std::clamp(AValue, 0.0f, 5.0f);
  if (TCompositeRenderer* renderer = CompositeMainRenderer())
    renderer->SetGlobalIllumSoftness(FGlobalIllumSoftness);
}

void TVantrelViewport::SetShadowStrength(float AValue) {
  FShadowStrength = std::clamp(AValue, 0.0f, 10.0f);
  if (TCompositeRenderer* renderer = CompositeMainRenderer())
    renderer->SetShadowStrength(FShadowStrength);
}

void TVantrelViewport::SetReflectionStrength(float AValue) {
  FReflectionStrength = std::clamp(AValue, 0.0f, 10.0f);
  if (TCompositeRenderer* renderer = CompositeMainRenderer())
    renderer->SetReflectionStrength(FReflectionStrength);
}

void TVantrelViewport::SetFXAA(int32_t AValue) {
  FXAASteps = std::clamp(AValue, 0, 8);
  if (TCompositeRenderer* renderer = CompositeMainRenderer())
    renderer->SetFXAA(FXAASteps);
}

// ---- Renderers --------------------------------------------------------------------------------------

TContext3D* TVantrelViewport::Context() const {
  TRenderer* renderer = CurrentRenderer();
  return renderer ? renderer->GetSharedContext() : nullptr;
}

TRenderer* TVantrelViewport::CurrentRenderer() const {
  if (TRenderer* current = FCurrentRenderer.Get())
    return current;
  return FRenderer.get();
}

void TVantrelViewport::SetCurrentRenderer(TRenderer* AValue) {
  if (FCurrentRenderer.Get() == AValue)
    return;
  FCurrentRenderer = AValue;
  if (AValue && AValue == FRenderer.get()) {
    UpdateMainLightSettings();
  } else if (AValue && FRenderer) {
    TContext3D* context = AValue->GetSharedContext();
    TContext3D* mainContext = FRenderer->GetSharedContext();
    if (context && mainContext && context != mainContext)
      context->SetStateFromContext(*mainContext);
  }
  UpdateRenderSettings();
}

TCamera* TVantrelViewport::CurrentCamera() const {
  if (!FCamera || FUsingDesignCamera || ComponentState().Contains(TComponentStateItem::csDesigning))
    return GetDesignCamera();
  return FCamera;
}

void TVantrelViewport::PassCompositeSettings(bool AWithSoftness) {
  TCompositeRenderer* renderer = CompositeMainRenderer();
  if (!renderer)
    return;
  renderer->SetSaturation(FSaturation);
  renderer->SetEmissiveBlur(FEmissiveBlur);
  renderer->SetGlobalIllumDetail(FGlobalIllumDetail);
  if (AWithSoftness)
    renderer->SetGlobalIllumSoftness(FGlobalIllumSoftness);
  renderer->SetShadowStrength(FShadowStrength);
  renderer->SetReflectionStrength(FReflectionStrength);
  renderer->SetFXAA(FXAASteps);
}

void TVantrelViewport::CreateRenderer() {
  FCurrentRenderer = nullptr;
  FRenderer.reset();
  const std::string id = Format("Viewport@%d", reinterpret_cast<intptr_t>(this));
  switch (FRendererType) {
  case TRendererType::ForwardRenderer:
    FRenderer = MakeOwned<TForwardRenderer>(id, this, TRendererFlags{}, TOnRendererCreateCompositeTexture{});
    break;
  case TRendererType::LegacyRenderer:
    FRenderer = MakeOwned<TLegacyRenderer>(id, this, TRendererFlags{}, TOnRendererCreateCompositeTexture{});
    break;
  default:
    throw Exception(SViewportUnsupportedRendererType);
  }
  FRenderer->SetColor(TAlphaColorF::Create(FFill));
  UpdateMainRenderSettings();
  UpdateMainLightSettings();
  // The softness keeps the renderer's own default.
  PassCompositeSettings(false);
  SetCurrentRenderer(FRenderer.get());
}

// ---- Settings into contexts -------------------------------------------------------------------------

void TVantrelViewport::ApplyRenderSettings(TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    return;
  context->SetNearPlane(FNearPlane);
  context->SetFarPlane(FFarPlane);
  context->SetFog(FFog);
}

void TVantrelViewport::UpdateRenderSettings() {
  TContext3D* context = Context();
  ApplyRenderSettings(context);
  if (FRenderer && FRenderer->GetSharedContext() != context)
    ApplyRenderSettings(FRenderer->GetSharedContext());
}

void TVantrelViewport::UpdateMainRenderSettings() {
  if (FRenderer)
    ApplyRenderSettings(FRenderer->GetSharedContext());
}

void TVantrelViewport::ApplyLightSettings(TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    return;
  context->ClearLights();
  // The framework's lights bring their own ambient, specular, intensity, attenuations and
  // scattering.
  for (TLight* light : FLights)
    if (auto* vantrelLight = dynamic_cast<TVantrelLight*>(light))
      context->AddLight(vantrelLight->GetLightDescriptionEx());
    else
      context->AddLight(light->LightDescription());
}

void TVantrelViewport::UpdateMainLightSettings() {
  if (FRenderer)
    ApplyLightSettings(FRenderer->GetSharedContext());
}

// ---- Render passes ----------------------------------------------------------------------------------

void TVantrelViewport::AddRenderPass(TComponent* AController) {
  if (!AController)
    return;
  {
    std::scoped_lock lock(FLock);
    if (std::find(FRenderPasses.begin(), FRenderPasses.end(), AController) == FRenderPasses.end()) {
      FRenderPasses.push_back(AController);
      FreeNotification(AController);
    }
  }
  UpdateRenderPasses();
}

void TVantrelViewport::RemoveRenderPass(TComponent* AController) {
  std::scoped_lock lock(FLock);
  auto it = std::find(FRenderPasses.begin(), FRenderPasses.end(), AController);
  if (it == FRenderPasses.end())
    return;
  // The free-notification link is shared with the controller's own link to this viewport, so it
  // stays; a notice about a controller that is no longer listed changes nothing.
  FRenderPasses.erase(it);
}

void TVantrelViewport::CleanupRenderPasses(TComponent* AController) {
  std::scoped_lock lock(FLock);
  if (!FRenderPasses.empty())
    RemoveRenderPass(AController);
}

void TVantrelViewport::UpdateRenderPasses() {
  std::scoped_lock lock(FLock);
  for (TComponent* item : std::vector<TComponent*>(FRenderPasses))
    if (auto* controller = dynamic_cast<TVantrelRenderPassController*>(item))
      controller->UpdateRenderPass();
}

void TVantrelViewport::UpdateRenderPassesOnResize() {
  std::scoped_lock lock(FLock);
  for (TComponent* item : std::vector<TComponent*>(FRenderPasses))
    if (auto* controller = dynamic_cast<TVantrelRenderPassController*>(item))
      controller->UpdateOnResize();
}

// ---- Resize and notification ------------------------------------------------------------------------

void TVantrelViewport::Resize() {
  inherited::Resize();
  if (!FConstructed)
    return;
  const float scale = ViewportScale();
  const TPoint size{RoundedExtent(Width() * scale), RoundedExtent(Height() * scale)};
  if (size.X < 1 || size.Y < 1) {
    Log::d(Format(SViewportIllegalResize, size.X, size.Y));
    return;
  }
  FCurrentRenderer = nullptr;
  if (!FRenderer)
    CreateRenderer();
  FRenderer->Resize(size, scale);
  UpdateMainLightSettings();
  ApplyRenderSettings(FRenderer->GetSharedContext());
  FRenderer->Apply();

  FBitmap.reset(TVantrelTextureBitmap::Create());
  FBitmap->BeginSetup();
  FBitmap->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
  FBitmap->SetComponents(TPixelFormatEx::RGBA8);
  FBitmap->SetFormat(TPixelFormatEx::BGRA);
  FBitmap->SetDataType(TVantrelTextureDataType::dtUnsignedByte);
  FBitmap->SetSize(size.X, size.Y);
  FBitmap->SetBitmapScale(scale);
  FBitmap->EndSetup();

  UpdateRenderPassesOnResize();
  ResizeFilterContext();
  Invalidate();
}

void TVantrelViewport::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove)
    return;
  if (AComponent == FCamera)
    FCamera = nullptr;
  if (dynamic_cast<TVantrelRenderPassController*>(AComponent) ||
      std::find(FRenderPasses.begin(), FRenderPasses.end(), AComponent) != FRenderPasses.end())
    CleanupRenderPasses(AComponent);
}

void TVantrelViewport::SetCamera(TCamera* ACamera) {
  if (ACamera == FCamera)
    return;
  if (FCamera)
    RemoveFreeNotification(FCamera);
  FCamera = (ACamera && ACamera == GetDesignCamera()) ? nullptr : ACamera;
  if (FCamera)
    FreeNotification(FCamera);
  if (!ComponentState().Contains(TComponentStateItem::csDesigning) && Context() && !FUsingDesignCamera)
    NeedRender();
}

// ---- Lights -----------------------------------------------------------------------------------------

TLight* TVantrelViewport::GetLight(int AIndex) {
  if (AIndex < 0 || AIndex >= GetLightCount())
    throw EListError(Format(rtl::messages::ListIndexError, AIndex));
  return FLights[size_t(AIndex)];
}

void TVantrelViewport::AddLight(TLight* ALight) { FLights.push_back(ALight); }

void TVantrelViewport::RemoveLight(TLight* ALight) {
  std::scoped_lock lock(FLock);
  FLights.erase(std::remove(FLights.begin(), FLights.end(), ALight), FLights.end());
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int ViewportInitCount = 0;
}

void InitializeViewport() {
  if (ViewportInitCount++ > 0)
    return;
  RegisterClass(TVantrelViewport::StaticClass());
}

void FinalizeViewport() {
  if (ViewportInitCount == 0 || --ViewportInitCount > 0)
    return;
  UnRegisterClass(TVantrelViewport::StaticClass());
}

} // namespace vantrel
