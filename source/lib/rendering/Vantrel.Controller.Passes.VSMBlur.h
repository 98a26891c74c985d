#pragma once
// The variance shadow-map blur: a blur pass whose input pass is the store pass. It smooths the
// moments with the Gaussian filter in two ping-pong iterations (horizontal, then vertical over that
// result) into a two-channel half-float target, so the moments stay unscaled and m2 >= m1^2 holds
// after the blur. The store pass must run first: create the store pass before the blur pass.

#include <string>

#include "rendering/Vantrel.Controller.Passes.CustomBlur.h"

namespace vantrel {

class TVSMBlurMaterial : public TBlurMaterial {
  RTL_CLASS(TVSMBlurMaterial, TBlurMaterial)
public:
  TVSMBlurMaterial() = default;
  // The blur material's construction, then BlurAmount 5.
  void AfterConstruction() override;
};

class TVSMBlurMaterialSource : public TBlurMaterialSource {
  RTL_CLASS(TVSMBlurMaterialSource, TBlurMaterialSource)
public:
  TVSMBlurMaterialSource() = default;

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

class TVantrelRenderPassVSMBlur : public TVantrelRenderPassBlur {
  RTL_CLASS(TVantrelRenderPassVSMBlur, TVantrelRenderPassBlur)
public:
  explicit TVantrelRenderPassVSMBlur(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassBlur(AOwner, std::move(AId)) {}
  // The input pass.
  TVantrelRenderPassController* GetVSMStoreDepth() const { return GetInputPass(); }
  void SetVSMStoreDepth(TVantrelRenderPassController* AValue) { SetInputPass(AValue); }

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void DoCreateCompositeTexture(TObject* ASender, const TPoint& ASize, float AScale,
                                TVantrelTextureBitmap*& ATexture) override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;
};

void InitializeVSMBlurPass();
void FinalizeVSMBlurPass();

} // namespace vantrel
