#include "rendering/Vantrel.Controller.Passes.GlobalIllumBlur.h"

#include "rendering/Vantrel.Renderer.h"

namespace vantrel {

RTL_DEFINE_CLASS(TGlobalIllumBlurMaterial, "Vantrel.Controller.Passes.GlobalIllumBlur")
RTL_DEFINE_CLASS(TGlobalIllumBlurMaterialSource, "Vantrel.Controller.Passes.GlobalIllumBlur")
RTL_DEFINE_CLASS(TVantrelRenderPassGlobalIllumBlur, "Vantrel.Controller.Passes.GlobalIllumBlur")

void TGlobalIllumBlurMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  FBlurAmount = 1.0f;
}

TOwned<TMaterial> TGlobalIllumBlurMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TGlobalIllumBlurMaterial>(this);
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassGlobalIllumBlur::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TGlobalIllumBlurMaterialSource>(this);
}

void TVantrelRenderPassGlobalIllumBlur::Link(TVantrelRenderPassController* AValue) {
  if (AValue == FGlobalIllumPass)
    return;
  if (FGlobalIllumPass)
    RemoveFreeNotification(FGlobalIllumPass);
  FGlobalIllumPass = AValue;
  if (AValue)
    FreeNotification(AValue);
}

void TVantrelRenderPassGlobalIllumBlur::SetGlobalIllumPass(TVantrelRenderPassController* AValue) {
  Link(AValue);
  RefreshInput();
}

void TVantrelRenderPassGlobalIllumBlur::RefreshInput() {
  FDoUpdateTexture = false;
  TBlurMaterial* material = Material();
  if (!material || !FGlobalIllumPass)
    return;
  FBaseTexture = nullptr;
  material->SetInputTexture(FGlobalIllumPass->GetOutputTexture());
}

void TVantrelRenderPassGlobalIllumBlur::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassBlur::DoOnRenderPass(AContext, ACount, APass);
  if (FDoUpdateTexture)
    RefreshInput();
}

void TVantrelRenderPassGlobalIllumBlur::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelRenderPassBlur::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent && AComponent == FGlobalIllumPass)
    FGlobalIllumPass = nullptr;
}

void TVantrelRenderPassGlobalIllumBlur::BeforeDestruction() {
  Link(nullptr);
  TVantrelRenderPassBlur::BeforeDestruction();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int GlobalIllumBlurInitCount = 0;
}

void InitializeGlobalIllumBlurPass() {
  if (GlobalIllumBlurInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassGlobalIllumBlur::StaticClass());
  TInternalPassBinding binding;
  binding.Class = &TVantrelRenderPassGlobalIllumBlur::StaticClass();
  binding.Configure = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer) {
    auto& pass = static_cast<TVantrelRenderPassGlobalIllumBlur&>(AController);
    pass.SetEnabled(ARenderer.GetGlobalIllumDetail() > 0);
    pass.SetBlurAmount(ARenderer.GetGlobalIllumSoftness());
    pass.SetGlobalIllumPass(ARenderer.GetInternalController(TInternalPassKind::GlobalIllum));
  };
  binding.Prepare = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer, bool AFirstRun) {
    if (AFirstRun)
      static_cast<TVantrelRenderPassGlobalIllumBlur&>(AController)
          .SetGlobalIllumPass(ARenderer.GetInternalController(TInternalPassKind::GlobalIllum));
  };
  RegisterInternalPass(TInternalPassKind::GlobalIllumBlur, std::move(binding));
}

void FinalizeGlobalIllumBlurPass() {
  if (GlobalIllumBlurInitCount == 0 || --GlobalIllumBlurInitCount > 0)
    return;
  UnregisterInternalPass(TInternalPassKind::GlobalIllumBlur);
  UnRegisterClass(TVantrelRenderPassGlobalIllumBlur::StaticClass());
}

} // namespace vantrel
