#include "rendering/Vantrel.Controller.Passes.Reflection.h"

#include <cmath>
#include <numbers>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Default.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelRenderPassReflection, "Vantrel.Controller.Passes.Reflection",
                 &TVantrelRenderPassReflection::RegisterProperties)

namespace {

// The mirror flips the saved camera's y axis.
TMatrix3D MirrorScaling() { return TMatrix3D::CreateScaling(TPoint3D{1, -1, 1}); }

} // namespace

void TVantrelRenderPassReflection::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelRenderPassReflection;
  AList.Add("Camera", &C::GetCamera, &C::SetCamera).AsReference();
  AList.Add("Target", &C::GetTarget, &C::SetTarget).AsReference();
  AList.Add("MirrorPosition", &C::GetMirrorPosition, &C::SetMirrorPosition);
  AList.Add("MirrorNormal", &C::GetMirrorNormal, &C::SetMirrorNormal);
  AList.Add("MirrorSize", &C::GetMirrorSize, &C::SetMirrorSize).WithDefault(10.0f);
}

void TVantrelRenderPassReflection::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FPassCamera = MakeOwned<TVantrelCamera>(nullptr);
  FPassCamera->SetStored(false);
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RenderListToFBO;
  FMirrorSize = 10;
  FAngleOfView = 45;
}

void TVantrelRenderPassReflection::BeforeDestruction() {
  // The viewport must not keep rendering through the pass camera that goes with the pass.
  if (FViewport && FPassCamera && FViewport->Camera() == FPassCamera.get())
    FViewport->SetCamera(FOrigCamera);
  TVantrelRenderPassController::BeforeDestruction();
  SetCamera(nullptr);
  SetTarget(nullptr);
  FPassCamera.reset();
}

// ---- Properties -------------------------------------------------------------------------------------

void TVantrelRenderPassReflection::SetCamera(TCamera* AValue) {
  if (AValue == FOrigCamera)
    return;
  if (FOrigCamera && FOrigCamera != FTarget)
    RemoveFreeNotification(FOrigCamera);
  FOrigCamera = AValue;
  if (AValue)
    FreeNotification(AValue);
}

void TVantrelRenderPassReflection::SetTarget(TControl3D* AValue) {
  if (AValue == FTarget)
    return;
  if (FTarget && FTarget != FOrigCamera)
    RemoveFreeNotification(FTarget);
  FTarget = AValue;
  if (AValue)
    FreeNotification(AValue);
}

void TVantrelRenderPassReflection::DefineProperties(TFiler* AFiler) {
  TVantrelRenderPassController::DefineProperties(AFiler);
  FMirror.DefineOlderProperties(AFiler, "MirrorPositionPoint", "MirrorNormalVector");
}

void TVantrelRenderPassReflection::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelRenderPassController::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove || !AComponent)
    return;
  if (AComponent == FOrigCamera)
    FOrigCamera = nullptr;
  if (AComponent == FTarget)
    FTarget = nullptr;
}

// ---- One rendering ----------------------------------------------------------------------------------

void TVantrelRenderPassReflection::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (!context)
    return;
  if (FTarget)
    FMirror.Position()->SetPoint(FTarget->Position()->Point());
  if (FViewport) {
    if (!FOrigCamera)
      SetCamera(FViewport->CurrentCamera());
    if (FOrigCamera) {
      FPassCamera->AssignFrom(FOrigCamera);
      FViewport->SetCamera(FPassCamera.get());
    }
  }
  context->SetCameraMatrix(FPassCamera->CameraMatrix());
  context->SetCameraAngleOfView(FPassCamera->AngleOfView());
  // These states only reach a custom rendering procedure: the forward renderer's opaque phase,
  // which the default procedure runs next, sets depth test, depth write and front faces again.
  context->SetContextStates({TContextState::csZTestOff, TContextState::csZWriteOff, TContextState::csBackFace});
  context->ActivateClipPlane(0, FMirror.ClipPlane());
  SetupMatrices(context);
}

void TVantrelRenderPassReflection::DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount,
                                                          TRenderPass* APass) {
  if (auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext())) {
    context->DeactivateClipPlane(0);
    context->SetContextState(TContextState::csFrontFace);
    if (FViewport)
      FViewport->SetCamera(FOrigCamera);
  }
  TVantrelRenderPassController::DoOnRenderPassFinished(AContext, ACount, APass);
}

// ---- Matrices ---------------------------------------------------------------------------------------

void TVantrelRenderPassReflection::SetupMatrices(TContext3D* AContext) {
  TContext3D* context = GetRenderPassContext();
  if (!context)
    return;
  FViewMatrix = GetViewMatrix(AContext ? AContext : context);
  FProjMatrix = GetProjectionMatrix(context);
  context->SetCameraMatrix(FViewMatrix);
  context->SetCameraAngleOfView(FAngleOfView);
  FTextureMatrix = FViewMatrix * FProjMatrix;
}

TMatrix3D TVantrelRenderPassReflection::OriginalCameraMatrix(TContext3D* AContext) const {
  if (FViewport) {
    TRenderer* main = FViewport->MainPassRenderer();
    auto* context = main ? dynamic_cast<TVantrelContext*>(main->GetSharedContext()) : nullptr;
    return context ? context->GetOriginalCameraMatrix() : TMatrix3D::Identity();
  }
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  return context ? context->GetOriginalCameraMatrix() : TMatrix3D::Identity();
}

float TVantrelRenderPassReflection::ViewportCameraAngle() const {
  TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr;
  return camera ? camera->AngleOfView() : FAngleOfView;
}

void TVantrelRenderPassReflection::StoreProjection(TContext3D* AContext) {
  TContext3D* context = GetRenderPassContext();
  if (!context)
    context = AContext;
  if (!context)
    return;
  // The angle first: the projection read afterwards is the one the image is rendered with.
  context->SetCameraAngleOfView(FAngleOfView);
  FProjMatrix = context->CurrentProjectionMatrix();
}

TMatrix3D TVantrelRenderPassReflection::GetViewMatrix(TContext3D* AContext) {
  if (!FRecalcViewMatrix)
    return FViewMatrix;
  if (FPassCamera) {
    const TPoint3D camera = FPassCamera->AbsolutePosition();
    const TPoint3D direction =
        FPassCamera->Target() ? FPassCamera->Target()->AbsolutePosition() - camera : FPassCamera->AbsoluteDirection();
    TPoint3D eye;
    if (ComputeMirrorCamera(AContext, camera, direction, FMirror.Position()->Point(),
                            FMirror.Normal()->Point(), FMirrorSize, eye)) {
      FPassCamera->SetAbsolutePosition(eye);
    } else {
      FViewMatrix = OriginalCameraMatrix(AContext) * MirrorScaling();
      FAngleOfView = ViewportCameraAngle();
      StoreProjection(AContext);
    }
  } else {
    FViewMatrix = MirrorScaling() * OriginalCameraMatrix(AContext);
    FAngleOfView = ViewportCameraAngle();
    StoreProjection(AContext);
  }
  FRecalcViewMatrix = false;
  return FViewMatrix;
}

bool TVantrelRenderPassReflection::ComputeMirrorCamera(TContext3D* AContext, const TPoint3D& ACameraPos,
                                                       const TPoint3D& ADirection, const TPoint3D& AMirrorPos,
                                                       const TPoint3D& AMirrorNormal, float AMirrorSize,
                                                       TPoint3D& AEye) {
  const TPoint3D ray = SafeNormalize(ADirection);
  TPoint3D hit;
  if (!ui::RayCastPlaneIntersect(ACameraPos, ray, AMirrorPos, AMirrorNormal, hit))
    hit = AMirrorPos;
  TPoint3D view = hit - ACameraPos;
  const float distance = view.Length();
  view = SafeNormalize(view);
  const TPoint3D facing = -SafeNormalize(AMirrorNormal);
  const float cosine = view.DotProduct(facing);
  if (cosine <= 0)
    return false;
  const TPoint3D reflected = view - facing * (2 * cosine);
  AEye = hit - reflected * distance;
  FAngleOfView = float(2 * std::atan((double(AMirrorSize) / 2) / double(distance)) * 180 / std::numbers::pi);
  StoreProjection(AContext);
  FViewMatrix = TMatrix3D::CreateLookAtRH(AEye, hit, TPoint3D{0, 1, 0});
  return true;
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int ReflectionInitCount = 0;
}

void InitializeReflectionPass() {
  if (ReflectionInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassReflection::StaticClass());
  SetPassClass(TVantrelPassClassRef::Reflection, &TVantrelRenderPassReflection::StaticClass());
}

void FinalizeReflectionPass() {
  if (ReflectionInitCount == 0 || --ReflectionInitCount > 0)
    return;
  SetPassClass(TVantrelPassClassRef::Reflection, nullptr);
  UnRegisterClass(TVantrelRenderPassReflection::StaticClass());
}

} // namespace vantrel
