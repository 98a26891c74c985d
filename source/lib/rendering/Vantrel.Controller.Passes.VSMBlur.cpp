#include "rendering/Vantrel.Controller.Passes.VSMBlur.h"

#include "materials/Vantrel.Material.Default.h"

#include "rendering/Vantrel.Controller.Passes.CustomDepth.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVSMBlurMaterial, "Vantrel.Controller.Passes.VSMBlur")
RTL_DEFINE_CLASS(TVSMBlurMaterialSource, "Vantrel.Controller.Passes.VSMBlur")
RTL_DEFINE_CLASS(TVantrelRenderPassVSMBlur, "Vantrel.Controller.Passes.VSMBlur")

void TVSMBlurMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  FBlurAmount = 5.0f;
}

TOwned<TMaterial> TVSMBlurMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TVSMBlurMaterial>(this);
}

void TVantrelRenderPassVSMBlur::InitPassDefaults() {
  TVantrelRenderPassBlur::InitPassDefaults();
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RectToFBO;
  SetViewportSize(TPoint{1024, 1024});
  FOverwriteViewportSize = true;
  // The Gaussian filter keeps the moments unscaled; the radial one would tone-map them. The type
  // goes first, since it sets the iteration count.
  SetBlurType(TPassBlurType::GaussianBlur);
  SetIterations(2);
  FPingPongMode = true;
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassVSMBlur::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TVSMBlurMaterialSource>(this);
}

void TVantrelRenderPassVSMBlur::DoCreateCompositeTexture(TObject*, const TPoint& ASize, float AScale,
                                                         TVantrelTextureBitmap*& ATexture) {
  ATexture = CreateDepthTexture(ASize, AScale, TPixelFormatEx::RG16F, TPixelFormatEx::RG);
}

void TVantrelRenderPassVSMBlur::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation == TOperation::opRemove && AComponent && AComponent == GetInputPass() && Shader())
    Shader()->SetInputPass(nullptr);
  TVantrelRenderPassBlur::Notification(AComponent, AOperation);
}

namespace {
int VSMBlurInitCount = 0;
}

void InitializeVSMBlurPass() {
  if (VSMBlurInitCount++ > 0)
    return;
  // The default material's shadow and depth branches test their inputs against this class.
  SetPassClass(TVantrelPassClassRef::VSMBlur, &TVantrelRenderPassVSMBlur::StaticClass());
}

void FinalizeVSMBlurPass() {
  if (VSMBlurInitCount == 0 || --VSMBlurInitCount > 0)
    return;
  SetPassClass(TVantrelPassClassRef::VSMBlur, nullptr);
}

} // namespace vantrel
