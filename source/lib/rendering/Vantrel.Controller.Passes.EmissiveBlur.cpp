#include "rendering/Vantrel.Controller.Passes.EmissiveBlur.h"

#include "rendering/Vantrel.Renderer.h"

namespace vantrel {

RTL_DEFINE_CLASS(TEmissiveBlurMaterial, "Vantrel.Controller.Passes.EmissiveBlur")
RTL_DEFINE_CLASS(TEmissiveBlurMaterialSource, "Vantrel.Controller.Passes.EmissiveBlur")
RTL_DEFINE_CLASS(TVantrelRenderPassEmissiveBlur, "Vantrel.Controller.Passes.EmissiveBlur")

TOwned<TMaterial> TEmissiveBlurMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TEmissiveBlurMaterial>(this);
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassEmissiveBlur::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TEmissiveBlurMaterialSource>(this);
}

TTexture* TVantrelRenderPassEmissiveBlur::GetEmissiveTexture() const {
  return Material() ? Material()->InputTexture() : nullptr;
}

void TVantrelRenderPassEmissiveBlur::SetEmissiveTexture(TTexture* AValue) {
  if (!Material())
    return;
  FBaseTexture = nullptr;
  Material()->SetInputTexture(AValue);
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int EmissiveBlurInitCount = 0;
}

void InitializeEmissiveBlurPass() {
  if (EmissiveBlurInitCount++ > 0)
    return;
  TInternalPassBinding binding;
  binding.Class = &TVantrelRenderPassEmissiveBlur::StaticClass();
  binding.Configure = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer) {
    static_cast<TVantrelRenderPassEmissiveBlur&>(AController)
        .SetBlurAmount(float(ARenderer.GetEmissiveBlur()));
  };
  binding.Prepare = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer, bool) {
    auto& pass = static_cast<TVantrelRenderPassEmissiveBlur&>(AController);
    pass.SetBlurAmount(float(ARenderer.GetEmissiveBlur()));
    pass.SetEmissiveTexture(ARenderer.GetEmissiveTexture());
  };
  RegisterInternalPass(TInternalPassKind::EmissiveBlur, std::move(binding));
}

void FinalizeEmissiveBlurPass() {
  if (EmissiveBlurInitCount == 0 || --EmissiveBlurInitCount > 0)
    return;
  UnregisterInternalPass(TInternalPassKind::EmissiveBlur);
}

} // namespace vantrel
