#pragma once
// The global illumination blur: the blur pass's radial filter over the image of its linked global
// illumination pass (added light in RGB, occlusion in alpha). The composite renderer runs it while
// its softness is above 0 and the deferred composite then reads it in place of the raw image.

#include <string>

#include "rendering/Vantrel.Controller.Passes.CustomBlur.h"

namespace vantrel {

class TGlobalIllumBlurMaterial : public TBlurMaterial {
  RTL_CLASS(TGlobalIllumBlurMaterial, TBlurMaterial)
public:
  TGlobalIllumBlurMaterial() = default;
  // BlurAmount 1 in place of the blur material's 3.
  void AfterConstruction() override;
  // The stored input, unchanged.
  TTexture* GetInputTexture(TContext3D*) override { return FInputTexture; }
};

class TGlobalIllumBlurMaterialSource : public TBlurMaterialSource {
  RTL_CLASS(TGlobalIllumBlurMaterialSource, TBlurMaterialSource)
public:
  TGlobalIllumBlurMaterialSource() = default;

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

class TVantrelRenderPassGlobalIllumBlur : public TVantrelRenderPassBlur {
  RTL_CLASS(TVantrelRenderPassGlobalIllumBlur, TVantrelRenderPassBlur)
public:
  explicit TVantrelRenderPassGlobalIllumBlur(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassBlur(AOwner, std::move(AId)) {}
  void BeforeDestruction() override;

  bool IsInternalRenderPass() const override { return true; }
  TVantrelRenderPassController* GetGlobalIllumPass() const { return FGlobalIllumPass; }
  // Stores and watches the pass, then takes its output as the input at once.
  void SetGlobalIllumPass(TVantrelRenderPassController* AValue);
  // The next iteration takes the linked pass's current output as its input.
  void UpdateTexture() { FDoUpdateTexture = true; }

protected:
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  // The blur's own part, then the pending input refresh.
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  // Removal of the linked pass only unlinks it: the last input stays.
  void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
  TVantrelRenderPassController* FGlobalIllumPass = nullptr;
  bool FDoUpdateTexture = false;

  void RefreshInput();
  void Link(TVantrelRenderPassController* AValue);
};

void InitializeGlobalIllumBlurPass();
void FinalizeGlobalIllumBlurPass();

} // namespace vantrel
