#pragma once
// The shadow-map pass: a custom depth pass whose camera is a light. Before the main pass it stores,
// in a 1024 x 1024 one-channel half-float texture, the window-space depth of the surfaces nearest
// to the light. A light outside the viewport's frustum is first moved along its viewing direction
// onto the frustum's boundary.

#include <string>

#include "rendering/Vantrel.Controller.Passes.CustomDepth.h"

namespace vantrel {

class TVantrelViewport;

// The view from ALight (up vector (0, -1, 0), row vectors), moved onto the viewport's frustum when
// the light lies outside it; AFallbackView without a light. Directional and spot lights look along
// their Direction, other lights at the origin. Both store passes use this one function.
TMatrix3D LightViewMatrix(TLight* ALight, TVantrelViewport* AViewport, const TMatrix3D& AFallbackView);

class TSMStoreDepthMaterial : public TCustomDepthMaterial {
  RTL_CLASS(TSMStoreDepthMaterial, TCustomDepthMaterial)
public:
  TSMStoreDepthMaterial() = default;
};

class TSMStoreDepthMaterialSource : public TCustomDepthMaterialSource {
  RTL_CLASS(TSMStoreDepthMaterialSource, TCustomDepthMaterialSource)
public:
  TSMStoreDepthMaterialSource() = default;
  TLight* Light() const { return FLight; }
  void SetLight(TLight* AValue) { FLight = AValue; }

protected:
  TOwned<TMaterial> CreateMaterial() override;

private:
  TLight* FLight = nullptr;
};

class TVantrelRenderPassSMStoreDepth : public TVantrelRenderPassCustomDepth {
  RTL_CLASS(TVantrelRenderPassSMStoreDepth, TVantrelRenderPassCustomDepth)
public:
  explicit TVantrelRenderPassSMStoreDepth(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassCustomDepth(AOwner, std::move(AId)) {}

  // Nil and no effect without a material source. The light is watched: freeing it clears it.
  TLight* GetLight() const;
  void SetLight(TLight* AValue);
  // The pass has no input.
  void SetInputPass(TVantrelRenderPassController*) override {}
  // The light view, recomputed at every call and kept in the view cache.
  TMatrix3D GetViewMatrix(TContext3D* AContext) override;
  using TVantrelRenderPassCustomDepth::GetViewMatrix;

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;
};

void InitializeSMStoreDepthPass();
void FinalizeSMStoreDepthPass();

} // namespace vantrel
