#pragma once
// The emissive blur: an internal radial blur of the composite renderer's emissive image, run before
// the deferred composite adds it to the colour, so emissive surfaces spread their light. Its input
// is only what the renderer sets (EmissiveTexture), never looked up.

#include <string>

#include "rendering/Vantrel.Controller.Passes.CustomBlur.h"

namespace vantrel {

class TEmissiveBlurMaterial : public TBlurMaterial {
  RTL_CLASS(TEmissiveBlurMaterial, TBlurMaterial)
public:
  TEmissiveBlurMaterial() = default;
  // The stored input, unchanged.
  TTexture* GetInputTexture(TContext3D*) override { return FInputTexture; }
};

class TEmissiveBlurMaterialSource : public TBlurMaterialSource {
  RTL_CLASS(TEmissiveBlurMaterialSource, TBlurMaterialSource)
public:
  TEmissiveBlurMaterialSource() = default;

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

class TVantrelRenderPassEmissiveBlur : public TVantrelRenderPassBlur {
  RTL_CLASS(TVantrelRenderPassEmissiveBlur, TVantrelRenderPassBlur)
public:
  explicit TVantrelRenderPassEmissiveBlur(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassBlur(AOwner, std::move(AId)) {}
  bool IsInternalRenderPass() const override { return true; }
  // The material's input; nil without a source.
  TTexture* GetEmissiveTexture() const;
  // Forgets the captured base, so the next first iteration blurs the new texture.
  void SetEmissiveTexture(TTexture* AValue);

protected:
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
};

void InitializeEmissiveBlurPass();
void FinalizeEmissiveBlurPass();

} // namespace vantrel
