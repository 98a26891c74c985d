// The viewport's frame loop: the frame timer's tick, one frame through the renderers and passes,
// the render list and its drawing, the copy of the final image and the paint hook that blits it.
#include "rendering/Vantrel.Viewport.h"

#include <atomic>
#include <mutex>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Camera.h"
#include "ui/application.h"
#include "ui/canvas.h"
#include "ui/scene.h"

namespace vantrel {

namespace {

constexpr TAlphaColor TextColor = 0xFFFFFF00;
constexpr TAlphaColor DesignFrameColor = 0xA0909090;

// ARect shrunk by AInset on every side.
TRectF Inset(const TRectF& ARect, float AInset) {
  return {ARect.Left + AInset, ARect.Top + AInset, ARect.Right - AInset, ARect.Bottom - AInset};
}

// Runs AOnExit when the scope ends, also by an exception.
template <class F> class TScopeExit {
public:
  explicit TScopeExit(F AOnExit) : FOnExit(std::move(AOnExit)) {}
  ~TScopeExit() { FOnExit(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  F FOnExit;
};

} // namespace

// ---- Tick ----------------------------------------------------------------------------------------

void TVantrelViewport::OnFixedIntervalTick(TObject*) {
  if (ComponentState().Contains(TComponentStateItem::csDestroying) || !Visible() || !ParentedVisible() ||
      FFixedRendering.load() > 0)
    return;
  if (FDiagnostics.Enabled)
    FDiagnostics.FrameTimeWatch = TStopwatch::StartNew();
  // A paint requested meanwhile is served here and blits the previous frame.
  Application().ProcessMessages();
  ++FFixedRendering;
  {
    TScopeExit decrement([this] { --FFixedRendering; });
    TCanvas* canvas = Canvas();
    // Without a scene there is no canvas to draw on.
    if (!canvas || !canvas->BeginScene())
      return;
    TScopeExit endScene([canvas] { canvas->EndScene(); });
    if (FDrawing)
      return;
    {
      FDrawing = true;
      TScopeExit drawn([this] { FDrawing = false; });
      RenderFrame();
    }
    RecalcUpdateRect();
    TRectF rect = UpdateRect();
    if (!dynamic_cast<TCustomScene*>(Parent()))
      rect = ClipRect();
    InvalidateRect(rect);
    PaintTo(canvas, rect, Parent());
  }
  if (FDiagnostics.Enabled && FDiagnostics.AddFrame())
    UpdateFrameAverages();
}

void TVantrelViewport::UpdateFrameAverages() {
  int32_t passes = 0;
  if (auto* forward = dynamic_cast<TForwardRenderer*>(FRenderer.get())) {
    passes += 2;
    if (forward->GetGlobalIllumDetail() > 0) {
      passes += 2;
      if (forward->GetGlobalIllumSoftness() > 0)
        passes += 1;
    }
    if (forward->GetEmissiveBlur() > 0)
      passes += 1;
    if (forward->GetFXAA() > 0)
      passes += 1;
  }
  passes += static_cast<int32_t>(FRenderPasses.size());
  FDiagnostics.RenderPasses = passes;
  FDiagnostics.RenderListSize = FLastRenderListSize;
}

// ---- Frame ---------------------------------------------------------------------------------------

void TVantrelViewport::RenderFrame() {
  TContext3D* context = Context();
  if (!context) {
    Log::d(SRenderingAborted);
    return;
  }
  if (FLockRendering)
    return;
  std::scoped_lock lock(FLock);
  TCanvas* canvas = Canvas();
  if (!canvas || canvas->BeginSceneCount() <= 0)
    return;
  canvas->Flush();
  auto* vantrelContext = dynamic_cast<TVantrelContext*>(context);
  if (!vantrelContext)
    return;
  if (!vantrelContext->GetRenderPasses() || vantrelContext->GetRenderPasses()->Count() == 0)
    UpdateRenderPasses();
  // A frame that raised before its copy may have left the main renderer attached to a pass's
  // output, possibly of a pass freed since: every frame starts detached.
  if (FRenderer)
    FRenderer->SetAttachedRenderer(nullptr);
  const TBlendSetting globalBlending = vantrelContext->GetGlobalBlending();
  TScopeExit restoreBlending([vantrelContext, globalBlending] { vantrelContext->SetGlobalBlending(globalBlending); });
  TScopeExit listDone([this] { FRenderingListFresh = false; });
  const double t0 = FTimerService->GetTick();
  ApplyLightSettings(vantrelContext);
  vantrelContext->ResetRenderPasses();
  TVantrelContext::ResetDrawCallDiagnostics();
  TRenderContext renderContext = TRenderContext::Create(
      vantrelContext, this, [this](PRenderContext ARenderContext) { RenderOpaqueAndTranslucent(ARenderContext); },
      [this](PRenderContext ARenderContext) { RenderRenderList(ARenderContext); });
  BuildRenderingList();
  TCamera* camera = CurrentCamera();
  const TMatrix3D cameraMatrix = camera ? camera->CameraMatrix() : TMatrix3D::Identity();
  const float angleOfView = camera ? camera->AngleOfView() : 45;
  vantrelContext->SetOriginalCameraMatrix(cameraMatrix);
  vantrelContext->PreProcessing(&renderContext);
  SetCurrentRenderer(FRenderer.get());
  {
    FRenderer->BeginMainRenderPass(cameraMatrix, angleOfView);
    TScopeExit endMain([this] { FRenderer->EndMainRenderPass(); });
    RenderOpaqueAndTranslucent(&renderContext);
  }
  vantrelContext->PostProcessing(&renderContext);
  FRenderTime += FTimerService->GetTick() - t0;
  ++FRenderCycles;
  if (FRenderTime >= 0.05) {
    FFPS = FRenderCycles / FRenderTime;
    if (FDiagnostics.Enabled) {
      FDiagnostics.PaintingTime = FRenderTime;
      FDiagnostics.PaintingCycles = FRenderCycles;
      FDiagnostics.PaintingFPS = FFPS;
      const TVantrelContextShared& shared = ContextShared();
      FDiagnostics.DrawCalls = shared.DrawCalls;
      FDiagnostics.DrawInstances = shared.DrawInstances;
      FDiagnostics.TotalVertexCount = shared.TotalVertexCount;
      FDiagnostics.TotalIndexCount = shared.TotalIndexCount;
    }
    FRenderCycles = 0;
    FRenderTime = 0;
  }
  CopyFinalImage();
}

void TVantrelViewport::RenderOpaqueAndTranslucent(PRenderContext ARenderContext) {
  TRenderer* renderer = CurrentRenderer();
  if (!renderer)
    return;
  if (renderer->BeginOpaqueRendering()) {
    TScopeExit end([renderer] { renderer->EndOpaqueRendering(); });
    RenderRenderListByMode(true);
  }
  if (renderer->BeginTranslucentRendering()) {
    TScopeExit end([renderer] { renderer->EndTranslucentRendering(); });
    RenderRenderListByMode(false);
  }
  if (auto* composite = dynamic_cast<TCompositeRenderer*>(renderer))
    composite->Composite(ARenderContext);
}

void TVantrelViewport::CopyFinalImage() {
  TRenderer* renderer = CurrentRenderer();
  if (!renderer || !FBitmap)
    return;
  TContext3D* source = renderer->GetSharedContext();
  if (TRenderer* attached = renderer->GetAttachedRenderer()) {
    source = attached->GetSharedContext();
    renderer->SetAttachedRenderer(nullptr);
  }
  if (source)
    source->CopyToBitmap(FBitmap.get(), TRect(0, 0, FBitmap->Width(), FBitmap->Height()));
}

// ---- Render list ---------------------------------------------------------------------------------

void TVantrelViewport::BuildRenderingList() {
  std::scoped_lock lock(FLock);
  if (IsUpdating())
    FRenderingList.clear();
  else
    BuildRenderList(this, FRenderingList, true);
  FLastRenderListSize = static_cast<int32_t>(FRenderingList.size());
  FRenderingListFresh = true;
}

void TVantrelViewport::RebuildRenderingList() {
  std::scoped_lock lock(FLock);
  if (ChildrenCount() == 0 || IsUpdating())
    return;
  BuildRenderList(this, FRenderingList, false);
}

const std::vector<TControl3D*>& TVantrelViewport::RenderingList() {
  // Between frames a listed descendant may have left the tree: the list is built anew.
  if (!FRenderingListFresh) {
    std::scoped_lock lock(FLock);
    if (IsUpdating())
      FRenderingList.clear();
    else
      BuildRenderList(this, FRenderingList, true);
  }
  return FRenderingList;
}

void TVantrelViewport::RenderRenderList(PRenderContext) {
  RenderRenderListByMode(true);
  RenderRenderListByMode(false);
}

void TVantrelViewport::RenderRenderListByMode(bool AOpaque) {
  std::scoped_lock lock(FLock);
  if (FRenderingList.empty())
    return;
  TContext3D* context = Context();
  auto* vantrelContext = dynamic_cast<TVantrelContext*>(context);
  TVantrelRenderPassController* filter = nullptr;
  if (context) {
    const TMatrix3D camera = context->CurrentCameraMatrix();
    FFrustum = TVantrelFrustum::Create(context->CurrentProjectionMatrix(), camera, camera.EyePosition());
    if (vantrelContext) {
      vantrelContext->SetFrustum(FFrustum);
      if (TRenderPass* pass = vantrelContext->GetCurrentPass())
        filter = dynamic_cast<TVantrelRenderPassController*>(pass->GetController());
    }
  }
  if (vantrelContext)
    vantrelContext->SetSceneBoundary(FSceneBounds);
  FDiagnostics.RenderedObjects = 0;
  for (size_t i = 0; i < FRenderingList.size(); ++i) {
    TControl3D* object = FRenderingList[i];
    if (object->Opaque() != AOpaque)
      continue;
    if (filter && filter->IsControlIgnored(object))
      continue;
    TBoundingBox scratch;
    if (TVantrelRenderingHelper::Renderable(object, FFrustum, ComponentState(), scratch, FFrustumCulling, true)) {
      object->RenderInternal();
      ++FDiagnostics.RenderedObjects;
    }
  }
}

// ---- Paint ---------------------------------------------------------------------------------------

bool TVantrelViewport::Designing() const {
  return ComponentState().Contains(TComponentStateItem::csDesigning);
}

void TVantrelViewport::Paint() {
  if (!Visible() || !ParentedVisible() || FDrawing)
    return;
  auto* context = dynamic_cast<TVantrelContext*>(Context());
  if (!context || !FRenderer || !FRenderer->GetSharedContext())
    return;
  TCanvas* canvas = Canvas();
  if (!canvas)
    return;
  if (FDiagnostics.Enabled)
    FDiagnostics.DrawCycleWatch = TStopwatch::StartNew();
  if (FUseFixedFrameRate && !Designing()) {
    if (FFixedInterval && !FFixedInterval->GetActive())
      FFixedInterval->SetActive(true);
    if (FFixedRendering.load() > 0)
      return;
    if (FFixedInterval && FFixedInterval->GetActive()) {
      Blit(canvas);
      return;
    }
  }
  if (Designing()) {
    canvas->DrawDashRect(Inset(LocalRect(), 0.5f), 0, 0, AllCorners, AbsoluteOpacity(), DesignFrameColor);
  } else if (FManualRendering && !FDoManualRender) {
    return;
  }
  if (FDrawing || FLockRendering)
    return;
  {
    FDrawing = true;
    TScopeExit drawn([this] { FDrawing = false; });
    RenderFrame();
  }
  Blit(canvas);
}

void TVantrelViewport::Blit(TCanvas* ACanvas) {
  if (FBitmap)
    ACanvas->DrawBitmap(*FBitmap, TRectF(0, 0, float(FBitmap->Width()), float(FBitmap->Height())), LocalRect(),
                        AbsoluteOpacity(), true);
  if (FEditMode)
    DrawEditModeOverlay(ACanvas);
  if (FDiagnostics.Enabled) {
    FDiagnostics.AddDrawCycle();
    // Our canvas draws text with the fill colour; both are set to the yellow meant.
    ACanvas->Stroke().Color = TextColor;
    ACanvas->Fill().Color = TextColor;
    ACanvas->FillText(TRectF(16, 16, 240, 16 + 16 * 26), FDiagnostics.Text(), true, 1, {}, TTextAlign::Leading,
                      TTextAlign::Leading);
  }
}

void TVantrelViewport::DrawEditModeOverlay(TCanvas* ACanvas) {
  const TRectF border = Inset(LocalRect(), 1.5f);
  ACanvas->Stroke().Kind = TBrushKind::Solid;
  ACanvas->Stroke().Color = TextColor;
  ACanvas->Stroke().Thickness = 3;
  ACanvas->DrawRect(border, 0, 0, AllCorners, AbsoluteOpacity());
  const TPoint3D position = FDesignCamera->AbsolutePosition();
  const TPoint3D rotation = FDesignCameraX->RotationAngle()->Point();
  const std::string text = Format(SEditModeText, position.X, position.Y, position.Z, rotation.X, rotation.Y, rotation.Z);
  ACanvas->Stroke().Color = TextColor;
  ACanvas->Fill().Color = TextColor;
  ACanvas->FillText(TRectF(0, 0, Width(), Height()), text, true, 0.5f, {}, TTextAlign::Leading, TTextAlign::Center);
}

void TVantrelViewport::RenderManual() {
  FDoManualRender = true;
  TScopeExit done([this] { FDoManualRender = false; });
  Invalidate();
  TCanvas* canvas = Canvas();
  if (!canvas || !canvas->BeginScene())
    return;
  TScopeExit endScene([canvas] { canvas->EndScene(); });
  // The control's coordinates to the canvas pixels: its absolute offset at the scene's scale.
  const float scale = Scene() ? Scene()->GetSceneScale() : 1;
  const TPointF origin = LocalToAbsolute({0, 0});
  PaintInternal(*canvas, {scale, 0, 0, 0, scale, 0, origin.X * scale, origin.Y * scale, 1});
}

double TVantrelViewport::FPS() const {
  if (!Context())
    return 0;
  if (FUseFixedFrameRate && FFixedInterval)
    return FFixedInterval->GetFPS();
  return FFPS;
}

} // namespace vantrel
