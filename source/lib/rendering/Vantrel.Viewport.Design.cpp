// The viewport as a component beyond its renderers: creation and teardown of the frame timer and
// the design camera, the fixed frame step, children and updates, edit mode, coordinate
// conversion and screenshots.
#include "rendering/Vantrel.Viewport.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.h"
#include "rtl/messaging.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Camera.h"
#include "ui/display.h"
#include "ui/filters.h"
#include "ui/messages.h"
#include "ui/platform_services.h"
#include "ui/scene.h"
#include "ui/timers.h"

namespace vantrel {

namespace {

constexpr NativeInt DesignTag = 0xFFFE;
constexpr int DesignTimerInterval = 250;

// The nearest owner that is a scene (forms derive from scenes).
TCustomScene* FindScene(TComponent* AOwner) {
  for (TComponent* owner = AOwner; owner; owner = owner->Owner())
    if (auto* scene = dynamic_cast<TCustomScene*>(owner))
      return scene;
  return nullptr;
}

void LockDesignObject(TControl3D* AObject, bool ALocked) {
  AObject->SetLocked(ALocked);
  AObject->SetDesignLocked(ALocked);
}

} // namespace

// ---- Creation ------------------------------------------------------------------------------------

void TVantrelViewport::CompleteCreation() {
  if (TCustomScene* scene = FindScene(Owner()))
    TContextOpenGLWindows::SetWindowHandle(scene->WindowHandle());
  ContextShared().DesignTime = Designing();
  SetAutoCapture(true);
  SetShowHint(true);
  CreateDesignCamera();
  FScaleChangedId = TMessageManager::DefaultManager().SubscribeToMessage<TScaleChangedMessage>(
      [this](TObject*, TMessageBase*) { DoScaleChanged(); });
  FDisplayChangedId = TMessageManager::DefaultManager().SubscribeToMessage<TDisplayChangedMessage>(
      [this](TObject*, TMessageBase*) { UpdateDisplayRefreshRate(); });
  SetAlign(TAlignLayout::Client);
  FUseFixedFrameRate = true;
  FFixedInterval.reset(New<TVantrelTimer>());
  FFixedInterval->SetOnTimer({this, &TVantrelViewport::OnFixedIntervalTick});
  SetFixedFrameRate(60);
  FDiagnostics.DisplayRefreshRate = GetDisplayRefreshRate();
  FTimerService = TPlatformServices::Current().TimerService();
  Invalidate();
  LinkDesignCameraController();
}

void TVantrelViewport::CreateDesignCamera() {
  FDesignPosition = MakeOwned<TPosition3D>();
  FDesignPosition->OnChange = {this, &TVantrelViewport::DesignPositionChanged};
  FDesignRotationAngle = MakeOwned<TPosition3D>();
  FDesignRotationAngle->OnChange = {this, &TVantrelViewport::DesignRotationChanged};
  FDesignRotationAngle->OnChangeX = {this, &TVantrelViewport::DesignRotationXChanged};
  FDesignRotationAngle->OnChangeY = {this, &TVantrelViewport::DesignRotationYChanged};
  FDesignRotationAngle->OnChangeZ = {this, &TVantrelViewport::DesignRotationZChanged};

  FDesignCameraX = New<TVantrelSmoothCameraController>(this);
  FDesignCameraX->SetName("DesignCameraTarget");
  FDesignCameraX->SetTag(DesignTag);
  FDesignCameraX->SetStored(false);
  FDesignCameraX->SetParent(this);
  FDesignCameraX->Position()->SetPoint(FDesignPosition->Point());
  FDesignCameraX->RotationAngle()->SetPoint(FDesignRotationAngle->Point());
  FDesignCameraX->SetEnabled(false);

  FDesignCamera = New<TCamera>(FDesignCameraX);
  FDesignCamera->SetName("DesignCamera");
  FDesignCamera->SetTag(DesignTag);
  FDesignCamera->SetStored(false);
  FDesignCamera->SetParent(FDesignCameraX);
  FDesignCamera->SetTarget(FDesignCameraX);
  FDesignCameraX->SetCamera(FDesignCamera);
  LockDesignObject(FDesignCamera, true);
  LockDesignObject(FDesignCameraX, true);

  if (Designing()) {
    FDesignTimer = New<ui::TTimer>(this);
    FDesignTimer->SetStored(false);
    FDesignTimer->SetInterval(DesignTimerInterval);
    FDesignTimer->SetOnTimer([this](TObject*) {
      if (ParentedVisible())
        Invalidate();
    });
    FDesignTimer->SetEnabled(true);
  }
}

void TVantrelViewport::LinkDesignCameraController() {
  FDesignCameraX->SetViewport(FUsingDesignCamera ? this : nullptr);
  FDesignCameraX->SetEnabled(true);
}

void TVantrelViewport::DesignPositionChanged(TObject*) {
  FDesignCameraX->Position()->SetPoint(FDesignPosition->Point());
}

void TVantrelViewport::DesignRotationChanged(TObject*) {
  FDesignCameraX->ResetRotationAngle();
  FDesignCameraX->RotationAngle()->SetPoint(FDesignRotationAngle->Point());
}

void TVantrelViewport::DesignRotationXChanged(TObject*) {
  FDesignCameraX->RotationAngle()->SetX(FDesignRotationAngle->X());
}

void TVantrelViewport::DesignRotationYChanged(TObject*) {
  FDesignCameraX->RotationAngle()->SetY(FDesignRotationAngle->Y());
}

void TVantrelViewport::DesignRotationZChanged(TObject*) {
  FDesignCameraX->RotationAngle()->SetZ(FDesignRotationAngle->Z());
}

// ---- Teardown ------------------------------------------------------------------------------------

void TVantrelViewport::FreeDesignCamera() {
  FDesignTimer = nullptr;
  if (FDesignCameraX) {
    FDesignCameraX->SetViewport(nullptr);
    FDesignCameraX->Free();
  }
  FDesignCameraX = nullptr;
  FDesignCamera = nullptr;
}

void TVantrelViewport::StopFrameTimer() {
  if (!FFixedInterval)
    return;
  // A tick serviced while waiting finds the viewport marked destroying and returns at once.
  FFixedInterval->Terminate();
  if (FFixedInterval->Started())
    FFixedInterval->WaitFor();
  FFixedInterval.reset();
}

// ---- Frame step and display ----------------------------------------------------------------------

void TVantrelViewport::SetUseFixedFrameRate(bool AValue) {
  FUseFixedFrameRate = AValue;
  if (!Designing() && FFixedInterval)
    FFixedInterval->SetActive(AValue);
}

void TVantrelViewport::SetFixedFrameRate(int32_t AValue) {
  // A rate below 1 has no step: it is taken as 1.
  FFixedFrameRate = std::max(1, AValue);
  UpdateFixedFrameStep();
}

void TVantrelViewport::SetVSync(bool AValue) {
  FVSync = AValue;
  UpdateFixedFrameStep();
}

void TVantrelViewport::UpdateFixedFrameStep() {
  int32_t rate = FFixedFrameRate;
  if (!Designing() && FVSync)
    rate = std::min(FDiagnostics.DisplayRefreshRate, FFixedFrameRate);
  FFrameRateStep = rate > 0 ? 1000 / rate : 1000 / FFixedFrameRate;
  if (FFixedInterval)
    FFixedInterval->SetInterval(FFrameRateStep);
}

int32_t TVantrelViewport::GetDisplayRefreshRate() {
  return ui::GetDisplayRefreshRate();
}

void TVantrelViewport::UpdateDisplayRefreshRate() {
  FDiagnostics.DisplayRefreshRate = GetDisplayRefreshRate();
}

void TVantrelViewport::SetHighRes(bool AValue) {
  FHighRes = AValue;
  Resize();
}

float TVantrelViewport::ViewportScale() const {
  if (FHighRes)
    if (IScene* scene = Scene())
      return scene->GetSceneScale();
  return 1;
}

void TVantrelViewport::DoScaleChanged() {
  Resize();
}

void TVantrelViewport::ForceUpdateEffects() {
  Resize();
}

void TVantrelViewport::ResizeFilterContext() {
  // The filter contexts follow the composite texture's size; the effect bitmap is painted anew.
  TRenderer* renderer = CurrentRenderer();
  TVantrelTextureBitmap* composite = renderer ? renderer->GetCompositeTexture() : nullptr;
  FFilterContextSize = composite ? TPoint(composite->Width(), composite->Height()) : TPoint(0, 0);
  FreeEffectBitmap();
  ui::TFilterManager::ResetContext();
  ui::TFilterManager::ResizeContext(FFilterContextSize.X, FFilterContextSize.Y);
}

bool TVantrelViewport::GetSmooth() const {
  auto* context = dynamic_cast<TVantrelContext*>(Context());
  if (!context || context->GetSmoothTargets().IsEmpty())
    return false;
  return context->GetBlendings()[0].Enabled;
}

void TVantrelViewport::SetSmooth(bool) {
  // Whatever the value: the settled behaviour asks for smoothing of all targets.
  if (auto* context = dynamic_cast<TVantrelContext*>(Context())) {
    TSmoothSetting setting = TSmoothSetting::Create();
    setting.Targets = TSmoothTargets{TSmoothTarget::stPoints, TSmoothTarget::stLines, TSmoothTarget::stPolygons};
    context->SetSmoothMode(setting);
  }
}

// ---- Children and updates ------------------------------------------------------------------------

void TVantrelViewport::DoAddObject(TFmxObject* AObject) {
  inherited::DoAddObject(AObject);
  if (auto* control = dynamic_cast<TControl3D*>(AObject)) {
    control->SetNewViewport(this);
    RebuildRenderingList();
  }
  if (Designing())
    if (auto* camera = dynamic_cast<TCamera*>(AObject); camera && camera->Tag() != DesignTag)
      SetCamera(camera);
}

void TVantrelViewport::DoRemoveObject(TFmxObject* AObject) {
  inherited::DoRemoveObject(AObject);
  if (auto* control = dynamic_cast<TControl3D*>(AObject)) {
    control->SetNewViewport(nullptr);
    FRenderingListFresh = false;
    RebuildRenderingList();
    Repaint();
  }
}

void TVantrelViewport::BeginUpdate() {
  inherited::BeginUpdate();
}

void TVantrelViewport::EndUpdateWithoutInvalidate() {
  inherited::EndUpdate();
}

void TVantrelViewport::EndUpdate() {
  inherited::EndUpdate();
  // The camera asked for its pending changes: apply them once, then clear the request.
  if (auto* camera = dynamic_cast<TVantrelCamera*>(FCamera); camera && camera->UpdateNeeded()) {
    camera->Update();
    camera->SetUpdateNeeded(false);
  }
  Invalidate();
}

TRectF TVantrelViewport::DoGetUpdateRect() {
  if (FUseFixedFrameRate)
    return AbsoluteRect();
  return inherited::DoGetUpdateRect();
}

// ---- Design camera and edit mode -----------------------------------------------------------------

void TVantrelViewport::SetUsingDesignCamera(bool AValue) {
  if (FUsingDesignCamera == AValue)
    return;
  FUsingDesignCamera = AValue;
  if (FDesignCameraX) {
    FDesignCameraX->SetViewport(AValue ? this : nullptr);
    FDesignCameraX->SetEnabled(AValue);
  }
  if (Context())
    NeedRender();
}

void TVantrelViewport::SetEditMode(bool AValue) {
  // Setting the current value again would save the edit-mode settings over the user's own.
  if (FEditMode == AValue)
    return;
  if (FEditMode) {
    SetUsingDesignCamera(FStoredUsingDesignCamera);
    FFrustumCulling = FStoredFrustumCulling;
  } else {
    FStoredUsingDesignCamera = FUsingDesignCamera;
    FStoredFrustumCulling = FFrustumCulling;
    SetUsingDesignCamera(true);
    FFrustumCulling = false;
  }
  FEditMode = AValue;
  LockDesignObject(FDesignCamera, !FEditMode);
  LockDesignObject(FDesignCameraX, !FEditMode);
  LinkDesignCameraController();
  Invalidate();
}

void TVantrelViewport::ToggleEditMode() {
  SetEditMode(!FEditMode);
  Invalidate();
}

void TVantrelViewport::ResetDesignCamera() {
  if (!FEditMode)
    return;
  BeginUpdate();
  {
    struct TEnd {
      TVantrelViewport* Self;
      ~TEnd() { Self->EndUpdate(); }
    } end{this};
    FDesignCameraX->SetAbsolutePosition({0, 0, 0});
    FDesignCameraX->ResetRotationAngle();
    FDesignCameraX->RotationAngle()->SetPoint({0, 0, 0});
    FDesignCamera->ResetRotationAngle();
    FDesignCamera->RotationAngle()->SetPoint({0, 0, 0});
    FDesignCamera->Position()->SetPoint({0, -5, -20});
  }
  Invalidate();
}

bool TVantrelViewport::CheckHitTest(bool AHitTest) {
  if (FEditMode)
    return false;
  if (Designing() && IsKeyDown(vkLMenu))
    return false;
  return inherited::CheckHitTest(AHitTest);
}

// ---- Coordinates and screenshots -----------------------------------------------------------------

TPoint3D TVantrelViewport::ScreenToWorld(const TPointF& APoint2D) {
  TCamera* camera = FUsingDesignCamera ? FDesignCamera : FCamera;
  auto* context = dynamic_cast<TVantrelContext*>(Context());
  if (!camera || !context)
    return {};
  return context->ScreenToWorld(APoint2D, camera->Projection());
}

TPointF TVantrelViewport::WorldToScreen(const TPoint3D& APoint3D) {
  TCamera* camera = FUsingDesignCamera ? FDesignCamera : FCamera;
  auto* context = dynamic_cast<TVantrelContext*>(Context());
  if (!camera || !context)
    return {};
  const TPoint3D screen = context->WorldToScreen(camera->Projection(), APoint3D);
  return {screen.X, screen.Y};
}

TBitmap* TVantrelViewport::MakeScreenshot() {
  std::scoped_lock lock(FLock);
  IScene* scene = Scene();
  const float scale = scene ? scene->GetSceneScale() : 1;
  float width = Width() * scale;
  float height = Height() * scale;
  const float limit = float(TCanvas::GetAttribute(TCanvasAttribute::MaxBitmapSize));
  if (width > limit || height > limit) {
    const float fit = std::min(limit / width, limit / height);
    width *= fit;
    height *= fit;
  }
  const int32_t pixelWidth = int32_t(std::lround(width)), pixelHeight = int32_t(std::lround(height));
  if (FBitmap && !FBitmap->IsEmpty() && pixelWidth == FBitmap->Width() && pixelHeight == FBitmap->Height()) {
    // The frame maps 1:1: the transparent clear and the draw are one pass over the pixels, with
    // the same result as clearing and drawing.
    TOwned<TBitmap> bitmap = MakeOwned<TBitmap>();
    bitmap->AssignOverTransparent(*FBitmap, scale);
    return bitmap.release();
  }
  auto* bitmap = New<TBitmap>(pixelWidth, pixelHeight);
  // A new bitmap is transparent.
  bitmap->SetBitmapScale(scale);
  if (FBitmap && !FBitmap->IsEmpty() && bitmap->Canvas()->BeginScene()) {
    // The whole frame into the whole new bitmap: when it was fitted into the largest bitmap size,
    // or the frame holds the scene's scale, the frame is scaled into it, never cut.
    const TRectF source(0, 0, float(FBitmap->Width()), float(FBitmap->Height()));
    const TRectF target(0, 0, bitmap->Width() / scale, bitmap->Height() / scale);
    bitmap->Canvas()->DrawBitmap(*FBitmap, source, target, 1, false);
    bitmap->Canvas()->EndScene();
  }
  return bitmap;
}

} // namespace vantrel
