#pragma once
// The custom depth pass: renders the viewport's render list before the main pass into a
// one-channel half-float texture that holds, per pixel, a depth value of the nearest surface seen
// through the pass's own camera. It is the base of the shadow-map store passes, which replace the
// camera by a light's and, for variance shadows, the stored values.
//
// The texture matrix is V x P of the last frame (row vectors, V first); with bias it is V x P x B.

#include <cstdint>
#include <string>

#include "rendering/Vantrel.Controller.h"

namespace vantrel {

enum class TDepthMethod : uint8_t { dmDefault, dmMVPPosZ, dmModelViewPosZ };
RTL_ENUM_TYPEINFO(TDepthMethod, "dmDefault", "dmMVPPosZ", "dmModelViewPosZ")

class TCustomDepthMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TCustomDepthMaterial, TVantrelRenderPassMaterial)
public:
  TCustomDepthMaterial() = default;
  // Removes the programs of the two extra pairs and hands their shaders back before the base
  // releases the standard pair.
  void BeforeDestruction() override;
  TDepthMethod DepthMethod() const { return FDepthMethod; }
  void SetDepthMethod(TDepthMethod AValue) { FDepthMethod = AValue; }
  TContextShader* VertexShaderMVZ() const { return FVertexShaderMVZ; }
  TContextShader* VertexShaderMVPZ() const { return FVertexShaderMVPZ; }
  TContextShader* PixelShaderZ() const { return FPixelShaderZ; }

  // The stage texts, each after the version header.
  static std::string VertexText();
  static std::string VertexMVZText();
  static std::string VertexMVPZText();
  static std::string PixelText();
  static std::string PixelZText();

protected:
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;

  TDepthMethod FDepthMethod = TDepthMethod::dmDefault;
  TContextShader* FVertexShaderMVZ = nullptr;
  TContextShader* FVertexShaderMVPZ = nullptr;
  TContextShader* FPixelShaderZ = nullptr;
};

class TCustomDepthMaterialSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TCustomDepthMaterialSource, TVantrelRenderPassMaterialSource)
public:
  TCustomDepthMaterialSource() = default;
  TCustomDepthMaterial* Material() const { return dynamic_cast<TCustomDepthMaterial*>(GetMaterial()); }
  TDepthMethod DepthMethod() const {
    return Material() ? Material()->DepthMethod() : TDepthMethod::dmDefault;
  }
  void SetDepthMethod(TDepthMethod AValue) {
    if (Material())
      Material()->SetDepthMethod(AValue);
  }

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void DoChange() override {}
};

class TVantrelRenderPassCustomDepth : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassCustomDepth, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassCustomDepth(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  static void RegisterProperties(TPropertyList& AList);
  void BeforeDestruction() override;

  TCustomDepthMaterialSource* DepthSource() const {
    return dynamic_cast<TCustomDepthMaterialSource*>(Shader());
  }
  TAlphaColor GetDefaultColor() const { return FDefaultColor; }
  float GetDefaultDepth() const { return FDefaultDepth; }
  void SetDefaultDepth(float AValue) { FDefaultDepth = AValue; }
  // dmDefault and no effect without a material source.
  TDepthMethod GetDepthMethod() const;
  void SetDepthMethod(TDepthMethod AValue);
  TPoint GetMapSize() const { return GetViewportSize(); }
  // Resizes through ViewportSize and flags the projection.
  void SetMapSize(const TPoint& AValue);
  const TMatrix3D& GetBiasMatrix() const { return FBiasMatrix; }
  // V := the view, P := the projection; texture matrix := V x P; the context's camera := V with the
  // viewport camera's angle of view.
  virtual void SetupMatrices(TContext3D* AContext);

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void CreatePassRenderer() override;
  void DoCreateCompositeTexture(TObject* ASender, const TPoint& ASize, float AScale,
                                TVantrelTextureBitmap*& ATexture) override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  // The depth texture's components and format (R16F / R here).
  virtual TPixelFormatEx DepthComponents() const { return TPixelFormatEx::R16F; }
  virtual TPixelFormatEx DepthFormat() const { return TPixelFormatEx::R; }

  TAlphaColor FDefaultColor = 0xFF000000;
  float FDefaultDepth = 1.0f;
};

// The render targets of a depth pass's texture, shared with the store passes.
TVantrelTextureBitmap* CreateDepthTexture(const TPoint& ASize, float AScale, TPixelFormatEx AComponents,
                                          TPixelFormatEx AFormat);

void InitializeCustomDepthPass();
void FinalizeCustomDepthPass();

} // namespace vantrel
