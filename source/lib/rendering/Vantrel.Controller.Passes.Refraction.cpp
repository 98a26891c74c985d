#include "rendering/Vantrel.Controller.Passes.Refraction.h"

#include <exception>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Default.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Control.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelRenderPassRefraction, "Vantrel.Controller.Passes.Refraction",
                 &TVantrelRenderPassRefraction::RegisterProperties)

void TVantrelRenderPassRefraction::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelRenderPassRefraction;
  AList.Add("SurfacePosition", &C::GetSurfacePosition, &C::SetSurfacePosition);
  AList.Add("SurfaceNormal", &C::GetSurfaceNormal, &C::SetSurfaceNormal);
  AList.Add("SurfaceCutOff", &C::GetSurfaceCutOff, &C::SetSurfaceCutOff).WithDefault(0.0f);
  AList.Add("ClippingEnabled", &C::GetClippingEnabled, &C::SetClippingEnabled).WithDefault(true);
}

void TVantrelRenderPassRefraction::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RenderListToFBO;
  FClippingEnabled = true;
  FSurfaceCutOff = 0;
}

void TVantrelRenderPassRefraction::DefineProperties(TFiler* AFiler) {
  TVantrelRenderPassController::DefineProperties(AFiler);
  FSurface.DefineOlderProperties(AFiler, "SurfacePositionPoint", "SurfaceNormalVector");
}

// ---- One rendering ----------------------------------------------------------------------------------

void TVantrelRenderPassRefraction::PrepareContext() {
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (!context)
    return;
  context->SetContextStates({TContextState::csZTestOn, TContextState::csZWriteOn, TContextState::csColorWriteOn,
                             TContextState::csScissorOff, TContextState::csFrontFace});
  if (FClippingEnabled)
    context->ActivateClipPlane(0, FSurface.ClipPlane(FSurfaceCutOff));
  else
    context->DeactivateClipPlane(0);
  SetupMatrices(context);
}

// An error while preparing the context does not stop the frame. It is logged, once per distinct
// message, instead of being shown: a box opened inside the frame tick would re-enter the tick, and
// there is none headless.
void TVantrelRenderPassRefraction::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  try {
    PrepareContext();
  } catch (const std::exception& E) {
    const auto* framework = dynamic_cast<const Exception*>(&E);
    const std::string message = framework ? framework->Message() : std::string(E.what());
    if (FLoggedErrors.insert(message).second)
      Log::d(SRefractionPassErrorPrefix + message);
  }
}

void TVantrelRenderPassRefraction::DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount,
                                                          TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPassFinished(AContext, ACount, APass);
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (!context)
    return;
  if (FClippingEnabled)
    context->DeactivateClipPlane(0);
  context->SetContextState(TContextState::csFrontFace);
}

// ---- Matrices and outputs ---------------------------------------------------------------------------

void TVantrelRenderPassRefraction::SetupMatrices(TContext3D*) {
  TContext3D* context = GetRenderPassContext();
  if (!context)
    return;
  FProjMatrix = TVantrelRenderPassController::GetProjectionMatrix(context);
  FViewMatrix = TVantrelRenderPassController::GetViewMatrix(context);
  context->SetCameraMatrix(FViewMatrix);
  TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr;
  if (camera)
    context->SetCameraAngleOfView(camera->AngleOfView());
  FTextureMatrix = FViewMatrix * FProjMatrix;
}

TMatrix3D TVantrelRenderPassRefraction::GetTextureMatrix(TContext3D*, bool) { return FBiasMatrix; }

TTexture* TVantrelRenderPassRefraction::GetOutputDepthTexture() const {
  TRenderer* renderer = GetRenderer();
  if (!renderer)
    return nullptr;
  auto* composite = dynamic_cast<TCompositeRenderer*>(renderer);
  if (!composite)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return composite->GetPositionTexture();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int RefractionInitCount = 0;
}

void InitializeRefractionPass() {
  if (RefractionInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassRefraction::StaticClass());
  SetPassClass(TVantrelPassClassRef::Refraction, &TVantrelRenderPassRefraction::StaticClass());
}

void FinalizeRefractionPass() {
  if (RefractionInitCount == 0 || --RefractionInitCount > 0)
    return;
  SetPassClass(TVantrelPassClassRef::Refraction, nullptr);
  UnRegisterClass(TVantrelRenderPassRefraction::StaticClass());
}

} // namespace vantrel
