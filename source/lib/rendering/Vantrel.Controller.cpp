#include "rendering/Vantrel.Controller.h"

#include <cmath>
#include <numbers>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Control.h"
#include "scene/Vantrel.Mesh.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelController, "Vantrel.Controller", &TVantrelController::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelManagedControl, "Vantrel.Controller")
RTL_DEFINE_CLASS(TVantrelManagedControls, "Vantrel.Controller")
RTL_DEFINE_CLASS(TVantrelRenderPassController, "Vantrel.Controller",
                 &TVantrelRenderPassController::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelRenderPassMaterial, "Vantrel.Controller")
RTL_DEFINE_CLASS(TVantrelRenderPassMaterialSource, "Vantrel.Controller")

namespace {

int32_t Rounded(double AValue) { return static_cast<int32_t>(Round(AValue)); }

bool Designing() { return ContextShared().DesignTime; }

// Scale 0.5 and translation 0.5 on x, y and z: maps clip space [-1, 1] to texture space [0, 1].
TMatrix3D BiasMatrix() {
  TMatrix3D result = TMatrix3D::Identity();
  result.m11 = result.m22 = result.m33 = 0.5f;
  result.m41 = result.m42 = result.m43 = 0.5f;
  return result;
}

} // namespace

// ---- TVantrelController -----------------------------------------------------------------------------

void TVantrelController::RegisterProperties(TPropertyList& AList) {
  AList.Add("Enabled", &TVantrelController::GetEnabled, &TVantrelController::SetEnabled).WithDefault(true);
}

// ---- Managed controls -------------------------------------------------------------------------------

void TVantrelManagedControl::Assign(const TPersistent* ASource) {
  if (const auto* source = dynamic_cast<const TVantrelManagedControl*>(ASource)) {
    FControl = source->FControl;
    return;
  }
  inherited::Assign(ASource);
}

TVantrelManagedControls::TVantrelManagedControls(TPersistent* AOwner)
    : TOwnedCollection(AOwner, TVantrelManagedControl::StaticClass()) {}

TVantrelManagedControl* TVantrelManagedControls::Item(int AIndex) const {
  return static_cast<TVantrelManagedControl*>(Items(AIndex));
}

int TVantrelManagedControls::IndexOf(const TControl3D* ACtrl) const {
  for (int index = 0; index < Count(); ++index)
    if (Item(index)->Control() == ACtrl)
      return index;
  return -1;
}

TVantrelManagedControl* TVantrelManagedControls::GetManagedControl(const TControl3D* ACtrl) const {
  const int index = IndexOf(ACtrl);
  return index >= 0 ? Item(index) : nullptr;
}

TVantrelManagedControl* TVantrelManagedControls::Add(TControl3D* ACtrl) {
  auto* item = static_cast<TVantrelManagedControl*>(TCollection::Add());
  item->SetControl(ACtrl);
  return item;
}

void TVantrelManagedControls::Remove(const TControl3D* ACtrl) {
  const int index = IndexOf(ACtrl);
  if (index >= 0)
    Delete(index);
}

void TVantrelManagedControls::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation != TOperation::opRemove)
    return;
  for (int index = 0; index < Count(); ++index)
    if (Item(index)->Control() == AComponent)
      Item(index)->SetControl(nullptr);
}

// ---- TVantrelRenderPassController: creation ---------------------------------------------------------

TVantrelRenderPassController::TVantrelRenderPassController(TComponent* AOwner, std::string AId)
    : TVantrelController(AOwner), FId(std::move(AId)) {}

TVantrelRenderPassController::~TVantrelRenderPassController() = default;

TVantrelRenderPassController* TVantrelRenderPassController::CreateController(
    const TVantrelRenderPassControllerClass& AClass, TComponent* AOwner, const std::string& AId) {
  TObject* object = AClass.NewInstance(AOwner);
  auto* controller = dynamic_cast<TVantrelRenderPassController*>(object);
  if (!controller) {
    delete object;
    throw EInvalidCast(rtl::messages::InvalidCast);
  }
  controller->FId = AId;
  return Construct(controller);
}

void TVantrelRenderPassController::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelRenderPassController;
  AList.Add("Id", &C::GetId, &C::SetId).WithDefault(std::string());
  // Each pass kind has its own type and method, so both are always written.
  AList.Add("_Type", &C::Get_Type, &C::Set_Type);
  AList.Add("Method", &C::GetMethod, &C::SetMethod);
  AList.Add("RenderProc", &C::GetRenderProc, &C::SetRenderProc)
      .WithDefault(TRenderPassRenderingProc::DefaultRendering);
  AList.Add("Viewport", &C::GetViewport, &C::SetViewport).AsReference();
  AList.Add("Iterations", &C::GetIterations, &C::SetIterations).WithDefault(int32_t(1));
  // Written from the stored size: writing a form leaves the renderer alone.
  AList.Add("ViewportWidth", &C::StoredViewportWidth, &C::SetViewportWidth);
  AList.Add("ViewportHeight", &C::StoredViewportHeight, &C::SetViewportHeight);
  AList.Add("OverwriteViewportSize", &C::GetOverwriteViewportSize, &C::SetOverwriteViewportSize)
      .WithDefault(false);
  AList.Add("ScaleViewportSize", &C::GetScaleViewportSize, &C::SetScaleViewportSize).WithDefault(false);
  AList.Add("ViewportScale", &C::GetViewportScale, &C::SetViewportScale);
  AList.Add("OverwriteColor", &C::GetOverwriteColor, &C::SetOverwriteColor).WithDefault(false);
  // Streams as a colour identifier ("claNull").
  AList.Add("BackgroundColor", &C::GetBackgroundColor, &C::SetBackgroundColor)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0), TypeInfoAlphaColor()));
  AList.Add("AllowedControls", &C::AllowedControlsList, &C::SetAllowedControls);
  AList.Add("IgnoredControls", &C::IgnoredControlsList, &C::SetIgnoredControls);
  AList.AddEvent("OnBeginSetup", &C::OnBeginSetup);
  AList.AddEvent("OnEndSetup", &C::OnEndSetup);
  AList.AddEvent("OnBeginRender", &C::OnBeginRender);
  AList.AddEvent("OnEndRender", &C::OnEndRender);
}

void TVantrelRenderPassController::AfterConstruction() {
  inherited::AfterConstruction();
  InitPassDefaults();
  CreatePassRenderer();
  ResetRenderer();
  FlagMatrices();
  FTextureMatrix = TMatrix3D::Identity();
  FBiasMatrix = BiasMatrix();
  GetAllowedControls();
  GetIgnoredControls();
}

void TVantrelRenderPassController::BeforeDestruction() {
  SetEnabled(false);
  // Unlinking removes the pass's entry from the viewport context's table while this object is
  // whole: the entry's runtime object goes before its controller.
  if (FViewport)
    SetViewport(nullptr);
  if (FShader && FShader->InputPass())
    RemoveFreeNotification(FShader->InputPass());
  inherited::BeforeDestruction();
  FAllowedControls.reset();
  FIgnoredControls.reset();
  ReleaseRenderer();
  FRectVBuffer.reset();
  FRectIBuffer.reset();
}

void TVantrelRenderPassController::InitPassDefaults() {
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RenderListToFBO;
  FBlendings = TBlendSettings{};
  FRendererType = TRendererType::ForwardRenderer;
  FRendererFlags = TRendererFlags{TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  FIterations = 1;
  if (auto* viewport = dynamic_cast<TVantrelViewport*>(FindViewport(this))) {
    FViewport = viewport;
    FreeNotification(viewport);
    FViewportSize = {Rounded(viewport->Width()), Rounded(viewport->Height())};
    FViewportScale = viewport->ViewportScale();
  }
}

// ---- Renderer ---------------------------------------------------------------------------------------

void TVantrelRenderPassController::ReleaseRenderer() {
  FRenderer = nullptr;
  FOwnedRenderer.reset();
  FOwnsRenderer = false;
}

void TVantrelRenderPassController::SetRenderer(TRenderer* ARenderer) {
  if (ARenderer == GetRenderer())
    return;
  ReleaseRenderer();
  FRenderer = ARenderer;
}

void TVantrelRenderPassController::CreatePassRenderer() {
  if (!FViewport)
    return;
  ReleaseRenderer();
  TOnRendererCreateCompositeTexture supplier = [this](TObject* ASender, const TPoint& ASize, float AScale,
                                                      TVantrelTextureBitmap*& ATexture) {
    DoCreateCompositeTexture(ASender, ASize, AScale, ATexture);
  };
  switch (FRendererType) {
  case TRendererType::ForwardRenderer:
    FOwnedRenderer = MakeOwned<TForwardRenderer>(FId, this, FRendererFlags, std::move(supplier));
    break;
  case TRendererType::LegacyRenderer:
    FOwnedRenderer = MakeOwned<TLegacyRenderer>(FId, this, FRendererFlags, std::move(supplier));
    break;
  default:
    throw Exception(SControllerRendererTypeNotSupported + FId);
  }
  FOwnsRenderer = true;
  FRenderer = FOwnedRenderer.get();
}

void TVantrelRenderPassController::SetRendererType(TRendererType AValue) {
  FRendererType = AValue;
  // A borrowed renderer belongs to someone else (the deferred composite borrows the viewport's
  // main renderer): it is only forgotten.
  ReleaseRenderer();
  // The new renderer is installed as a rebuild installs one: made, then applied, which binds its
  // targets and makes a composite renderer's internal passes. Made without the apply, a forward
  // renderer had no deferred composite and the next frame raised.
  RebuildRenderer();
}

void TVantrelRenderPassController::ApplyRenderer() {
  if (TRenderer* renderer = GetRenderer())
    renderer->Apply();
}

void TVantrelRenderPassController::ResizeRenderer(const TPoint& ASize, float AScale) {
  if (TRenderer* renderer = GetRenderer())
    renderer->Resize(ASize, AScale);
}

void TVantrelRenderPassController::SetRendererColor(const TAlphaColorF& AValue) {
  if (TRenderer* renderer = GetRenderer())
    renderer->SetColor(AValue);
}

void TVantrelRenderPassController::DoCreateCompositeTexture(TObject*, const TPoint&, float,
                                                            TVantrelTextureBitmap*&) {}

void TVantrelRenderPassController::RebuildRenderer() {
  if (!GetRenderer() || FOwnsRenderer)
    CreatePassRenderer();
  ApplyRenderer();
}

void TVantrelRenderPassController::ResetRenderer() {
  if (!FViewport)
    return;
  if (TRenderer* renderer = GetRenderer())
    renderer->Reset();
  RebuildRenderer();
}

void TVantrelRenderPassController::UpdateOnResize() {
  FlagMatrices();
  if (!FViewport)
    return;
  FViewportSize = {Rounded(FViewport->Width()), Rounded(FViewport->Height())};
  FViewportScale = FViewport->ViewportScale();
  ResetRenderer();
}

TFrameBufferObject* TVantrelRenderPassController::GetFBO() const {
  TRenderer* renderer = GetRenderer();
  return renderer ? renderer->GetDefaultFrameBuf() : nullptr;
}

TVantrelTextureBitmap* TVantrelRenderPassController::GetFBOTexture() const {
  TRenderer* renderer = GetRenderer();
  return renderer ? renderer->GetCompositeTexture() : nullptr;
}

void TVantrelRenderPassController::SetShader(TOwned<TVantrelRenderPassMaterialSource> AValue) {
  FShader = std::move(AValue);
}

TObject* TVantrelRenderPassController::GetShader() const { return FShader.get(); }

TContext3D* TVantrelRenderPassController::GetRenderPassContext() const {
  TRenderer* renderer = GetRenderer();
  return renderer ? renderer->GetSharedContext() : nullptr;
}

// ---- Viewport link and registration -----------------------------------------------------------------

void TVantrelRenderPassController::SetViewport(TVantrelViewport* AValue) {
  TVantrelViewport* old = FViewport;
  if (old && old != AValue)
    old->RemoveRenderPass(this);
  RemoveFromViewportPasses(FId, FId);
  if (old && old != AValue)
    RemoveFreeNotification(old);
  FViewport = AValue;
  if (!AValue)
    return;
  FreeNotification(AValue);
  if (FViewportSize.X == 0 || FViewportSize.Y == 0 || FViewportScale == 0) {
    FViewportSize = {Rounded(AValue->Width()), Rounded(AValue->Height())};
    FViewportScale = AValue->ViewportScale();
  }
  if (!GetRenderer())
    CreatePassRenderer();
  ResizeRenderer(FViewportSize, FViewportScale);
  ResetRenderer();
  AValue->AddRenderPass(this);
}

void TVantrelRenderPassController::SetViewportSizeAndScaleWithoutResize(TComponent* AViewport, const TPoint& ASize,
                                                                        float AScale) {
  FViewportSize = ASize;
  FViewportScale = AScale;
  if (auto* viewport = dynamic_cast<TVantrelViewport*>(AViewport)) {
    if (FViewport && FViewport != viewport)
      RemoveFreeNotification(FViewport);
    FViewport = viewport;
    FreeNotification(viewport);
  }
  FlagMatrices();
}

void TVantrelRenderPassController::UpdateRenderPass() {
  if (!FViewport) {
    if (auto* viewport = dynamic_cast<TVantrelViewport*>(FindViewport(this)))
      SetViewport(viewport);
    return;
  }
  auto* viewportContext = dynamic_cast<TVantrelContext*>(FViewport->Context());
  TContext3D* passContext = GetRenderPassContext();
  if (!viewportContext || !passContext || IsInternalRenderPass())
    return;
  // An entry under the empty key would never be freed by the table.
  if (FId.empty())
    return;
  TRenderPasses* table = viewportContext->GetRenderPasses();
  TRenderPass* entry = nullptr;
  if (!table->TryGetValue(FId, entry) || !entry) {
    entry = TRenderPass::Create(passContext, this).release();
    entry->SetId(FId);
    table->AddOrSetValue(FId, entry);
  }
  entry->SetId(FId);
  entry->Set_Type(FType);
  entry->SetMethod(FMethod);
  // The intermediate list follows the entry's type.
  if (FType == TRenderPassType::Intermediate)
    viewportContext->AddIntermediatePass(entry);
  else
    viewportContext->RemoveIntermediatePass(entry);
  entry->SetOnBeginRendering(
      [this](TContext3D* AContext, int32_t ACount, TRenderPass* APass) { HandleBeginRendering(AContext, ACount, APass); });
  entry->SetOnEndRendering(
      [this](TContext3D* AContext, int32_t ACount, TRenderPass* APass) { HandleEndRendering(AContext, ACount, APass); });
  DoOnRenderPassUpdated(entry);
}

TOwned<TRenderPass> TVantrelRenderPassController::CreateRenderPassInstance() {
  TContext3D* context = GetRenderPassContext();
  if (!context)
    return nullptr;
  TOwned<TRenderPass> entry = TRenderPass::Create(context, this);
  entry->SetId(FId);
  entry->Set_Type(FType);
  entry->SetMethod(FMethod);
  entry->SetOnBeginRendering(
      [this](TContext3D* AContext, int32_t ACount, TRenderPass* APass) { HandleBeginRendering(AContext, ACount, APass); });
  entry->SetOnEndRendering(
      [this](TContext3D* AContext, int32_t ACount, TRenderPass* APass) { HandleEndRendering(AContext, ACount, APass); });
  return entry;
}

void TVantrelRenderPassController::RemoveFromContextPasses(TContext3D* AContext, const std::string& AOldKey,
                                                           const std::string& ANewKey) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    return;
  TRenderPasses* table = context->GetRenderPasses();
  for (const std::string& key : {AOldKey, ANewKey}) {
    TRenderPass* entry = nullptr;
    if (!table->TryGetValue(key, entry))
      continue;
    if (entry)
      context->RemoveIntermediatePass(entry);
    table->Remove(key);
  }
}

// The viewport's context is its current renderer's; while a pass renders that is the pass's, so
// the main renderer's table is cleaned as well: an entry must never outlive its controller.
void TVantrelRenderPassController::RemoveFromViewportPasses(const std::string& AOldKey, const std::string& ANewKey) {
  if (!FViewport)
    return;
  TContext3D* current = FViewport->Context();
  RemoveFromContextPasses(current, AOldKey, ANewKey);
  TRenderer* main = FViewport->MainPassRenderer();
  if (main && main->GetSharedContext() != current)
    RemoveFromContextPasses(main->GetSharedContext(), AOldKey, ANewKey);
}

void TVantrelRenderPassController::SetId(const std::string& AValue) {
  const std::string old = FId;
  FId = AValue;
  if (old != AValue)
    RemoveFromViewportPasses(old, AValue);
  if (!FId.empty() && FViewport)
    FViewport->UpdateRenderPasses();
}

void TVantrelRenderPassController::Set_Type(TRenderPassType AValue) {
  FType = AValue;
  if (!FId.empty() && FViewport)
    FViewport->UpdateRenderPasses();
}

void TVantrelRenderPassController::SetName(const std::string& AName) {
  inherited::SetName(AName);
  if (ComponentState().Contains(TComponentStateItem::csDesigning))
    SetId(AName);
}

void TVantrelRenderPassController::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove) {
    if (AComponent == FViewport) {
      if (ComponentState().Contains(TComponentStateItem::csDestroying))
        FViewport = nullptr;
      else
        SetViewport(nullptr);
    }
    if (FShader && AComponent == FShader->InputPass())
      FShader->SetInputPass(nullptr);
  }
  if (FAllowedControls)
    FAllowedControls->Notification(AComponent, AOperation);
  if (FIgnoredControls)
    FIgnoredControls->Notification(AComponent, AOperation);
}

// ---- Sizes ------------------------------------------------------------------------------------------

void TVantrelRenderPassController::SetViewportSize(const TPoint& AValue) {
  FViewportSize = AValue;
  FlagMatrices();
  ResizeRenderer(FViewportSize, FViewportScale);
}

int32_t TVantrelRenderPassController::GetViewportWidth() {
  FlagMatrices();
  ResizeRenderer(FViewportSize, FViewportScale);
  return FViewportSize.X;
}

void TVantrelRenderPassController::SetViewportWidth(int32_t AValue) {
  FViewportSize.X = AValue;
  FlagMatrices();
}

int32_t TVantrelRenderPassController::GetViewportHeight() {
  FlagMatrices();
  return FViewportSize.Y;
}

void TVantrelRenderPassController::SetViewportHeight(int32_t AValue) {
  FViewportSize.Y = AValue;
  FlagMatrices();
}

TPoint TVantrelRenderPassController::ComputeRenderingSize(TContext3D*, int32_t AWidth, int32_t AHeight) {
  TContext3D* context = GetRenderPassContext();
  if (!context)
    return {0, 0};
  TPoint size;
  if (FOverwriteViewportSize)
    size = FViewportSize;
  else if (AWidth > 0 && AHeight > 0)
    size = {AWidth, AHeight};
  else
    size = {context->Width(), context->Height()};
  if (FScaleViewportSize)
    size = {Rounded(double(size.X) * FViewportScale), Rounded(double(size.Y) * FViewportScale)};
  return {Rounded(double(size.X) * context->Scale()), Rounded(double(size.Y) * context->Scale())};
}

// ---- Colour -----------------------------------------------------------------------------------------

void TVantrelRenderPassController::SetOverwriteColor(bool AValue) { FOverwriteColor = AValue; }

void TVantrelRenderPassController::SetBackgroundColor(TAlphaColor AValue) { FBackgroundColor = AValue; }

void TVantrelRenderPassController::ApplyBackgroundColor() {
  if (!GetRenderer())
    return;
  if (FOverwriteColor)
    SetRendererColor(TAlphaColorF::Create(FBackgroundColor));
  else if (FViewport)
    SetRendererColor(TAlphaColorF::Create(FViewport->GetColor()));
  else
    SetRendererColor(TAlphaColorF::Create(0, 0, 0, 1));
}

// ---- One frame --------------------------------------------------------------------------------------

void TVantrelRenderPassController::BindRenderer() {
  if (auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext())) {
    context->BindDefaultBuffer();
    context->BeginSceneRendering();
  }
}

void TVantrelRenderPassController::UnbindRenderer() {
  if (auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext())) {
    context->EndSceneRendering();
    context->UnbindDefaultBuffer();
  }
}

void TVantrelRenderPassController::BeginRenderPassRendering(TContext3D*, TAlphaColor, float, uint32_t) {
  TContext3D* context = GetRenderPassContext();
  if (!FViewport || !context)
    return;
  FPreviousRenderer = FViewport->CurrentRenderer();
  FViewport->SetCurrentRenderer(GetRenderer());
  FViewport->ApplyLightSettings(context);
  BindRenderer();
}

void TVantrelRenderPassController::EndRenderPassRendering(TContext3D*) {
  if (!GetRenderPassContext())
    return;
  UnbindRenderer();
  TRenderer* previous = GetPreviousRenderer();
  if (FViewport)
    FViewport->SetCurrentRenderer(previous);
  if (FType == TRenderPassType::Post && previous)
    previous->SetAttachedRenderer(GetRenderer());
}

void TVantrelRenderPassController::HandleBeginRendering(TContext3D*, int32_t ACount, TRenderPass* APass) {
  if (OnBeginRender && GetRenderer())
    OnBeginRender(this, GetRenderPassContext(), ACount, APass);
  DoOnRenderPass(GetRenderPassContext(), ACount, APass);
}

void TVantrelRenderPassController::DoOnRenderPass(TContext3D*, int32_t ACount, TRenderPass* APass) {
  FRecalcViewMatrix = true;
  if (TContext3D* context = GetRenderPassContext()) {
    FPrevViewMatrix = context->CurrentCameraMatrix();
    FPrevProjMatrix = context->CurrentProjectionMatrix();
  }
  ApplyBackgroundColor();
  if (OnBeginSetup)
    OnBeginSetup(this, GetRenderPassContext(), ACount, APass);
}

void TVantrelRenderPassController::HandleEndRendering(TContext3D*, int32_t ACount, TRenderPass* APass) {
  DoOnRenderPassFinished(GetRenderPassContext(), ACount, APass);
  if (OnEndRender && GetRenderer())
    OnEndRender(this, GetRenderPassContext(), ACount, APass);
}

void TVantrelRenderPassController::DoOnRenderPassFinished(TContext3D*, int32_t ACount, TRenderPass* APass) {
  if (OnEndSetup && GetRenderer())
    OnEndSetup(this, GetRenderPassContext(), ACount, APass);
  FRecalcViewMatrix = true;
  if (TContext3D* context = GetRenderPassContext())
    context->SetCameraMatrix(FPrevViewMatrix);
}

// ---- RectToFBO drawing ------------------------------------------------------------------------------

void TVantrelRenderPassController::DrawRectangle(TVantrelContext& AContext, const TRect& ARect) {
  const TPoint size{ARect.Width(), ARect.Height()};
  if (!FRectVBuffer || !FRectIBuffer || size != FRectLastSize) {
    FRectVBuffer = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex, TVertexFormat::TexCoord0}, 4);
    const float left = float(ARect.Left), top = float(ARect.Top);
    const float right = float(ARect.Right), bottom = float(ARect.Bottom);
    const TPoint3D corners[4] = {{left, top, 0}, {right, top, 0}, {left, bottom, 0}, {right, bottom, 0}};
    const TPointF coords[4] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}};
    for (int index = 0; index < 4; ++index) {
      FRectVBuffer->SetVertices(index, corners[index]);
      FRectVBuffer->SetTexCoord(0, index, coords[index]);
    }
    FRectIBuffer = MakeOwned<TIndexBuffer>(0, TIndexFormat::UInt16);
    FRectLastSize = size;
  }
  AContext.DirectDrawPrimitives(TVantrelPrimitivesKind::TriangleStrip, FRectVBuffer->Buffer(),
                                FRectIBuffer->Buffer(), FRectVBuffer->GetVertexDeclarations(),
                                FRectVBuffer->VertexSize(), FRectVBuffer->Length(), FRectIBuffer->IndexSize(),
                                FRectIBuffer->Length());
}

void TVantrelRenderPassController::RenderToContext(TContext3D*, TTexture* ATexture, const TRect& ARect,
                                                   const TPoint&) {
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (!context)
    return;
  if (FMethod != TRenderPassMethod::RectToFBO) {
    if (Designing())
      return;
    throw Exception(FMethod == TRenderPassMethod::RenderListToFBO ? SControllerRenderListUnsupported
                                                                  : SControllerUnknownMethodUnsupported);
  }
  if (!ATexture) {
    if (Designing())
      return;
    throw Exception(SControllerInvalidDestination);
  }
  if (!context->BeginSceneRendering())
    return;
  // The scene ends and the context's blend table comes back also when the draw raises: a frame
  // that fails must not keep the scene (and with it the canvas lock) open.
  TBlendSettings saved{};
  bool swapped = false;
  try {
    auto* material = dynamic_cast<TVantrelRenderPassMaterial*>(TMaterialSource::ValidMaterial(FShader.get()));
    if (!material) {
      if (!Designing())
        throw Exception(SControllerMissingMaterial);
    } else {
      context->SetMatrix(TMatrix3D::Identity());
      context->SetContextStates({TContextState::cs2DScene, TContextState::csZTestOff, TContextState::csZWriteOff,
                                 TContextState::csScissorOff, TContextState::csFrontFace});
      saved = context->GetBlendings();
      context->SetBlendings(FBlendings);
      swapped = true;
      DrawRectangle(*context, ARect);
      swapped = false;
      context->SetBlendings(saved);
    }
  } catch (...) {
    if (swapped)
      context->SetBlendings(saved);
    context->EndSceneRendering();
    throw;
  }
  context->EndSceneRendering();
}

// ---- Matrices ---------------------------------------------------------------------------------------

TMatrix3D TVantrelRenderPassController::GetViewMatrix() {
  TContext3D* context = GetRenderPassContext();
  return context ? GetViewMatrix(context) : TMatrix3D::Identity();
}

TMatrix3D TVantrelRenderPassController::GetViewMatrix(TContext3D* AContext) {
  if (FRecalcViewMatrix) {
    TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr;
    if (camera)
      FViewMatrix = camera->CameraMatrix();
    else if (TContext3D* context = GetRenderPassContext())
      FViewMatrix = context->CurrentCameraMatrix();
    else if (AContext)
      FViewMatrix = AContext->CurrentCameraMatrix();
    else
      FViewMatrix = TMatrix3D::Identity();
    FRecalcViewMatrix = false;
  }
  return FViewMatrix;
}

TMatrix3D TVantrelRenderPassController::GetProjectionMatrix() {
  TContext3D* context = GetRenderPassContext();
  return context ? GetProjectionMatrix(context) : TMatrix3D::Identity();
}

TMatrix3D TVantrelRenderPassController::GetProjectionMatrix(TContext3D*) {
  if (!FRecalcProjMatrix)
    return FProjMatrix;
  TContext3D* context = GetRenderPassContext();
  if (FOverwriteViewportSize) {
    TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr;
    const double angle = camera ? camera->AngleOfView() : 45.0;
    const float aspect = FViewportSize.Y == 0 ? 1.0f : float(FViewportSize.X) / float(FViewportSize.Y);
    float nearPlane = TVantrelContextShared::StartNearPlane;
    float farPlane = TVantrelContextShared::StartFarPlane;
    if (auto* framework = dynamic_cast<TVantrelContext*>(context)) {
      nearPlane = framework->GetNearPlane();
      farPlane = framework->GetFarPlane();
    }
    FProjMatrix = TMatrix3D::CreatePerspectiveFovRH(float(angle * std::numbers::pi / 180.0), aspect, nearPlane,
                                                    farPlane);
  } else {
    // Without a context the cache stays flagged.
    if (!context)
      return FProjMatrix;
    FProjMatrix = context->CurrentProjectionMatrix();
  }
  FRecalcProjMatrix = false;
  return FProjMatrix;
}

TMatrix3D TVantrelRenderPassController::GetTextureMatrix(TContext3D*, bool AUseBias) {
  return AUseBias ? FTextureMatrix * FBiasMatrix : FTextureMatrix;
}

TMatrix3D TVantrelRenderPassController::GetCurrentModelViewProjectionMatrix() {
  TContext3D* context = GetRenderPassContext();
  return context ? context->CurrentModelViewProjectionMatrix() : TMatrix3D::Identity();
}

// ---- Output and input -------------------------------------------------------------------------------

TTexture* TVantrelRenderPassController::GetOutputTexture() {
  if (FViewport)
    if (TVantrelTextureBitmap* texture = GetFBOTexture())
      return texture->Texture();
  Log::d(Format(SControllerOutputNotAssigned, ClassName()));
  return nullptr;
}

void TVantrelRenderPassController::SetInputPass(TVantrelRenderPassController* APass) {
  if (!FShader)
    return;
  if (TVantrelRenderPassController* old = FShader->InputPass(); old && old != APass)
    RemoveFreeNotification(old);
  FShader->SetInputPass(APass);
  if (APass)
    FreeNotification(APass);
}

TVantrelRenderPassController* TVantrelRenderPassController::GetInputPass() const {
  return FShader ? FShader->InputPass() : nullptr;
}

// ---- Controls ---------------------------------------------------------------------------------------

TVantrelManagedControls* TVantrelRenderPassController::GetAllowedControls() {
  if (!FAllowedControls)
    FAllowedControls = MakeOwned<TVantrelManagedControls>(this);
  return FAllowedControls.get();
}

void TVantrelRenderPassController::SetAllowedControls(const TVantrelManagedControls* AValue) {
  GetAllowedControls()->Assign(AValue);
}

TVantrelManagedControls* TVantrelRenderPassController::GetIgnoredControls() {
  if (!FIgnoredControls)
    FIgnoredControls = MakeOwned<TVantrelManagedControls>(this);
  return FIgnoredControls.get();
}

void TVantrelRenderPassController::SetIgnoredControls(const TVantrelManagedControls* AValue) {
  GetIgnoredControls()->Assign(AValue);
}

void TVantrelRenderPassController::AddControl(TVantrelManagedControls& AList, TControl3D* ACtrl) {
  if (!ACtrl || AList.Contains(ACtrl))
    return;
  AList.Add(ACtrl);
  FreeNotification(ACtrl);
  // A mesh's sub-meshes go with it, also those it does not own.
  if (auto* mesh = dynamic_cast<TVantrelMesh*>(ACtrl))
    for (TVantrelMesh* subMesh : mesh->Meshes())
      AddControl(AList, subMesh);
  for (int index = 0; index < ACtrl->ComponentCount(); ++index)
    if (auto* owned = dynamic_cast<TControl3D*>(ACtrl->Components(index)))
      AddControl(AList, owned);
}

void TVantrelRenderPassController::AllowControl(TControl3D* ACtrl) { AddControl(*GetAllowedControls(), ACtrl); }

void TVantrelRenderPassController::IgnoreControl(TControl3D* ACtrl) { AddControl(*GetIgnoredControls(), ACtrl); }

bool TVantrelRenderPassController::IsControlIgnored(TControl3D* ACtrl) {
  if (!ACtrl)
    return true;
  const bool ignored = GetIgnoredControls()->Contains(ACtrl);
  if (GetAllowedControls()->Count() > 0)
    return !FAllowedControls->Contains(ACtrl) || ignored;
  return ignored;
}

// ---- Pass materials ---------------------------------------------------------------------------------

void TVantrelRenderPassMaterial::BeforeDestruction() {
  if (FVertexShader || FPixelShader)
    TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
  TShaderManager::UnregisterShader(FVertexShader);
  TShaderManager::UnregisterShader(FPixelShader);
  FVertexShader = nullptr;
  FPixelShader = nullptr;
  inherited::BeforeDestruction();
}

TTexture* TVantrelRenderPassMaterial::GetPreviousRenderTexture(TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context || !FSource || !FSource->OwnerPass())
    return nullptr;
  TVantrelRenderPassController* pass = FSource->OwnerPass();
  if (TVantrelViewport* viewport = pass->GetViewport()) {
    TRenderer* renderer = pass->GetPreviousRenderer();
    if (!renderer)
      renderer = viewport->MainPassRenderer();
    if (!renderer)
      return nullptr;
    TRenderer* source = renderer->GetAttachedRenderer() ? renderer->GetAttachedRenderer() : renderer;
    TVantrelTextureBitmap* texture = source->GetCompositeTexture();
    return texture ? texture->Texture() : nullptr;
  }
  return context->GetCurrentTexture();
}

void TVantrelRenderPassMaterialSource::SetInputPass(TVantrelRenderPassController* AValue) {
  if (AValue == FInputPass)
    return;
  FInputPass = AValue;
  DoChange();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int ControllerInitCount = 0;
}

void InitializeController() {
  if (ControllerInitCount++ > 0)
    return;
  RegisterClass(TVantrelController::StaticClass());
  RegisterClass(TVantrelRenderPassController::StaticClass());
}

void FinalizeController() {
  if (ControllerInitCount == 0 || --ControllerInitCount > 0)
    return;
  UnRegisterClass(TVantrelRenderPassController::StaticClass());
  UnRegisterClass(TVantrelController::StaticClass());
}

} // namespace vantrel
