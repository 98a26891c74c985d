#include "context/Vantrel.Context.Rendering.h"

#include <utility>

#include "context/Vantrel.Context.h"
#include "rtl/exceptions.h"

namespace vantrel {

RTL_DEFINE_CLASS(TRenderPass, "Vantrel.Context.Rendering")
RTL_DEFINE_CLASS(TRenderPasses, "Vantrel.Context.Rendering")

namespace {

constexpr std::string_view SCannotBeginWithRenderingScene = "Cannot begin with rendering scene: %s";
constexpr std::string_view SFailedToEndRenderingScene = "Failed to end rendering scene: %s";
// The colour, depth and stencil a pass's frame buffer is cleared to.
constexpr TAlphaColor PassFill = 0xFF0000FF;
constexpr float PassDepth = 1.0f;
constexpr uint32_t PassStencil = 0;

IRenderPassController* ControlOf(TObject* AController) {
  if (!AController)
    return nullptr;
  auto* control = dynamic_cast<IRenderPassController*>(AController);
  if (!control)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return control;
}

} // namespace

// ---- TRenderContext -----------------------------------------------------------------------------------

TRenderContext TRenderContext::Create(TContext3D*, TObject* AViewport, TRenderListProc ADefaultRenderingProc,
                                      TRenderListProc AListRenderingProc) {
  return {AViewport, std::move(ADefaultRenderingProc), std::move(AListRenderingProc)};
}

// ---- TRenderPass ----------------------------------------------------------------------------------------

TRenderPass::TRenderPass(TContext3D* AContext, TObject* AController)
    : FContext(AContext), FController(AController), FControl(ControlOf(AController)) {}

TOwned<TRenderPass> TRenderPass::Create(TContext3D* AContext, TObject* AController) {
  return TOwned<TRenderPass>(Construct(new TRenderPass(AContext, AController)));
}

TContext3D* TRenderPass::GetContext() const {
  return FControl ? FControl->GetRenderPassContext() : FContext;
}

bool TRenderPass::GetEnabled() const {
  return FControl && FControl->GetEnabled();
}

void TRenderPass::SetEnabled(bool AValue) {
  if (FControl)
    FControl->SetEnabled(AValue);
}

int32_t TRenderPass::GetIterations() const {
  return FControl ? FControl->GetIterations() : 0;
}

bool TRenderPass::IsPrimitivesKindSupported(TPrimitivesKind AKind) const {
  return !FControl || FControl->IsPrimitivesKindSupported(AKind);
}

TObject* TRenderPass::GetControllerShader() const {
  return FControl ? FControl->GetShader() : nullptr;
}

bool TRenderPass::BeginScene() {
  TContext3D* target = GetContext();
  // A controller without a context right now (its renderer is being re-created, or it has none)
  // skips the frame; only a pass with neither controller nor context is an error.
  if (!target && FControl)
    return false;
  if (!target)
    RaiseContextException(this, SCannotBeginWithRenderingScene, ClassName());
  auto* context = dynamic_cast<TVantrelContext*>(target);
  // Enabled implies a controller.
  if (!context || !GetEnabled())
    return false;
  FControl->IncFrameCount();
  if (FControl->RenderingSkipped()) {
    FControl->ResetSkippedRendering();
    return false;
  }
  context->GetContextSize(FOldViewport);
  FControl->BeginRenderPassRendering(context, PassFill, PassDepth, PassStencil);
  FSceneContext = context;
  try {
    const TPoint size = FControl->ComputeRenderingSize(context, context->Width(), context->Height());
    context->SetContextSize(0, 0, size.X, size.Y);
    if (TVantrelContext::HasAnyErrors())
      RaiseContextException(this, SCannotBeginWithRenderingScene, ClassName());
  } catch (...) {
    CloseScene(false);
    throw;
  }
  context->BeginRenderPass(this);
  return true;
}

void TRenderPass::EndScene() {
  if (!FSceneContext)
    return;
  const bool failed = TVantrelContext::HasAnyErrors();
  CloseScene(true);
  if (failed)
    RaiseContextException(this, SFailedToEndRenderingScene, ClassName());
}

void TRenderPass::CloseScene(bool APushed) {
  TVantrelContext& context = *std::exchange(FSceneContext, nullptr);
  try {
    FControl->EndRenderPassRendering(&context);
  } catch (...) {
    RestoreScene(context, APushed);
    throw;
  }
  RestoreScene(context, APushed);
}

void TRenderPass::RestoreScene(TVantrelContext& AContext, bool APushed) {
  AContext.SetContextSize(FOldViewport);
  if (APushed)
    AContext.EndRenderPass();
}

// ---- TRenderPasses ------------------------------------------------------------------------------------

TOwned<TRenderPasses> TRenderPasses::Create(TContext3D* AContext) {
  return TOwned<TRenderPasses>(Construct(new TRenderPasses(AContext)));
}

TRenderPasses::~TRenderPasses() {
  // Here, while ValueNotify still reaches this class.
  Clear();
}

void TRenderPasses::ValueNotify(TRenderPass* const& AValue, TCollectionNotification AAction) {
  TDictionary::ValueNotify(AValue, AAction);
  if (AAction == TCollectionNotification::cnRemoved && AValue && !AValue->GetId().empty())
    AValue->Free();
}

std::vector<TRenderPass*> TRenderPasses::GetPreProcessingPasses() const {
  return EnabledPasses(TRenderPassType::Pre);
}

std::vector<TRenderPass*> TRenderPasses::GetPostProcessingPasses() const {
  return EnabledPasses(TRenderPassType::Post);
}

std::vector<TRenderPass*> TRenderPasses::EnabledPasses(TRenderPassType AType) const {
  std::vector<TRenderPass*> result;
  for (TRenderPass* pass : Values())
    if (pass && pass->Get_Type() == AType && pass->GetEnabled())
      result.push_back(pass);
  return result;
}

// ---- TVantrelFogSettings ------------------------------------------------------------------------------

TVantrelFogSettings TVantrelFogSettings::Create(bool AEnabled, uint8_t AMode, float ADensity, float AStart,
                                                float AEnd) {
  return {AEnabled, AMode, ADensity, AStart, AEnd, TAlphaColorF::Create(0, 0, 0, 1)};
}

} // namespace vantrel
