#pragma once
// The variance shadow-map store pass: a custom depth pass with the shadow-map pass's light view
// that stores, per texel, the first two moments of the light-space depth (m1, m2) in a two-channel
// half-float texture.

#include <string>

#include "rendering/Vantrel.Controller.Passes.CustomDepth.h"

namespace vantrel {

class TVSMStoreDepthMaterial : public TCustomDepthMaterial {
  RTL_CLASS(TVSMStoreDepthMaterial, TCustomDepthMaterial)
public:
  TVSMStoreDepthMaterial() = default;
  static std::string VertexMomentsText();
  static std::string PixelMomentsText();

protected:
  // Registers its own two shaders (the depth material's five are not made).
  void DoInitialize() override;
  // Raises the invalid-type error on a context that is not the framework's.
  void DoApply(TContext3D* AContext) override;
};

class TVSMStoreDepthMaterialSource : public TCustomDepthMaterialSource {
  RTL_CLASS(TVSMStoreDepthMaterialSource, TCustomDepthMaterialSource)
public:
  TVSMStoreDepthMaterialSource() = default;
  TLight* Light() const { return FLight; }
  void SetLight(TLight* AValue) { FLight = AValue; }

protected:
  TOwned<TMaterial> CreateMaterial() override;

private:
  TLight* FLight = nullptr;
};

class TVantrelRenderPassVSMStoreDepth : public TVantrelRenderPassCustomDepth {
  RTL_CLASS(TVantrelRenderPassVSMStoreDepth, TVantrelRenderPassCustomDepth)
public:
  explicit TVantrelRenderPassVSMStoreDepth(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassCustomDepth(AOwner, std::move(AId)) {}

  TLight* GetLight() const;
  void SetLight(TLight* AValue);
  void SetInputPass(TVantrelRenderPassController*) override {}
  TMatrix3D GetViewMatrix(TContext3D* AContext) override;
  using TVantrelRenderPassCustomDepth::GetViewMatrix;

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  TPixelFormatEx DepthComponents() const override { return TPixelFormatEx::RG16F; }
  TPixelFormatEx DepthFormat() const override { return TPixelFormatEx::RG; }
};

void InitializeVSMStoreDepthPass();
void FinalizeVSMStoreDepthPass();

} // namespace vantrel
