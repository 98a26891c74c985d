#pragma once
// The deferred composite pass: merges the composite renderer's G-buffer (opaque albedo, the
// accumulated translucent albedo with its coverage, the emissive image and the indirect light of
// the global illumination passes) into one colour image, with three saturation factors. An
// internal pass that draws with the composite renderer itself as its renderer.

#include <cstddef>
#include <cstdint>
#include <string>

#include "context/Vantrel.Context.Types.h"
#include "rendering/Vantrel.Controller.h"

namespace vantrel {

// The CPU copy of the "CompositeShaderData" uniform block (std140).
struct TCompositeShaderData {
  TPoint3D VoxelCenter;
  int32_t GlobalIllum = 0;
  TPoint3D Saturation;
  int32_t EmissiveBlur = 0;
  int32_t VoxelSize = 0;
  float ShadowLimit = 0.1f;
  float Reflection = 1.0f;
  int32_t NumberOfLights = 0;
  TVantrelShaderLight Lights[8];
};
static_assert(sizeof(TCompositeShaderData) == 1200);
static_assert(offsetof(TCompositeShaderData, VoxelCenter) == 0);
static_assert(offsetof(TCompositeShaderData, GlobalIllum) == 12);
static_assert(offsetof(TCompositeShaderData, Saturation) == 16);
static_assert(offsetof(TCompositeShaderData, EmissiveBlur) == 28);
static_assert(offsetof(TCompositeShaderData, VoxelSize) == 32);
static_assert(offsetof(TCompositeShaderData, ShadowLimit) == 36);
static_assert(offsetof(TCompositeShaderData, Reflection) == 40);
static_assert(offsetof(TCompositeShaderData, NumberOfLights) == 44);
static_assert(offsetof(TCompositeShaderData, Lights) == 48);

// The "Light" GLSL structure of the light block entries and the full-target vertex body
// (_ModelViewProjMatrix, TEX0), shared with the global illumination passes.
extern const char* const SCompositeLightStruct;
extern const char* const SCompositeVertexBody;

class TVantrelContext;

// Copies the context's enabled shader lights, in list order and at most eight, into ALights and
// returns how many it copied. The composite, voxel and global illumination blocks hold their
// lights in this form.
int32_t CopyEnabledShaderLights(const TVantrelContext& AContext, TVantrelShaderLight (&ALights)[8]);

// The frame of a pass that draws one full-target rectangle with its renderer's context: the
// default buffer's colour and depth cleared (opaque black), drawing to colour 0 only, an identity
// camera with the angle of view of AViewport's current camera, if any.
void BeginFullTargetFrame(TVantrelContext& AContext, TVantrelViewport* AViewport);

// The qualified name of the global illumination blur pass: the composite asks for that pass's
// final output. A class not registered under it never matches.
inline constexpr const char* SGlobalIllumBlurClassName =
    "Vantrel.Controller.Passes.GlobalIllumBlur.TVantrelRenderPassGlobalIllumBlur";

class TDeferredCompositeMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TDeferredCompositeMaterial, TVantrelRenderPassMaterial)
public:
  TDeferredCompositeMaterial() = default;

  TTexture* AlbedoTexture() const { return FAlbedoTexture; }
  virtual void SetAlbedoTexture(TTexture* AValue);
  TTexture* TranslucentAlbedoTexture() const { return FTranslucentAlbedoTexture; }
  virtual void SetTranslucentAlbedoTexture(TTexture* AValue);
  TTexture* AlphaTexture() const { return FAlphaTexture; }
  virtual void SetAlphaTexture(TTexture* AValue);
  TTexture* PositionTexture() const { return FPositionTexture; }
  virtual void SetPositionTexture(TTexture* AValue);
  TTexture* NormalsTexture() const { return FNormalsTexture; }
  virtual void SetNormalsTexture(TTexture* AValue);
  TTexture* EmissiveTexture() const { return FEmissiveTexture; }
  virtual void SetEmissiveTexture(TTexture* AValue);
  TPoint3D Saturation() const { return FShaderData.Saturation; }
  void SetSaturation(const TPoint3D& AValue) { FShaderData.Saturation = AValue; }
  int32_t EmissiveBlur() const { return FShaderData.EmissiveBlur; }
  void SetEmissiveBlur(int32_t AValue) { FShaderData.EmissiveBlur = AValue; }
  const TCompositeShaderData& ShaderData() const { return FShaderData; }

  static std::string VertexShaderText();
  static std::string PixelShaderText();

protected:
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;

private:
  TTexture* FAlbedoTexture = nullptr;
  TTexture* FTranslucentAlbedoTexture = nullptr;
  TTexture* FAlphaTexture = nullptr;
  TTexture* FPositionTexture = nullptr;
  TTexture* FNormalsTexture = nullptr;
  TTexture* FEmissiveTexture = nullptr;
  TCompositeShaderData FShaderData;
  bool FShaderDataRegistered = false;

  void StoreTexture(TTexture*& AField, TTexture* AValue);
};

class TDeferredCompositeMaterialSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TDeferredCompositeMaterialSource, TVantrelRenderPassMaterialSource)
public:
  TDeferredCompositeMaterialSource() = default;
  TDeferredCompositeMaterial* Material() const { return static_cast<TDeferredCompositeMaterial*>(GetMaterial()); }

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void DoChange() override {}
};

class TVantrelRenderPassDeferredComposite : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassDeferredComposite, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassDeferredComposite(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  void BeforeDestruction() override;

  bool IsInternalRenderPass() const override { return true; }
  TDeferredCompositeMaterial* Material() const;
  void SetAlbedo(TTexture* AValue) { Material()->SetAlbedoTexture(AValue); }
  void SetTranslucentAlbedo(TTexture* AValue) { Material()->SetTranslucentAlbedoTexture(AValue); }
  void SetAlpha(TTexture* AValue) { Material()->SetAlphaTexture(AValue); }
  void SetPosition(TTexture* AValue) { Material()->SetPositionTexture(AValue); }
  void SetNormals(TTexture* AValue) { Material()->SetNormalsTexture(AValue); }
  void SetEmissive(TTexture* AValue) { Material()->SetEmissiveTexture(AValue); }
  TPoint3D GetSaturation() const { return Material()->Saturation(); }
  void SetSaturation(const TPoint3D& AValue) { Material()->SetSaturation(AValue); }
  int32_t GetEmissiveBlur() const { return Material()->EmissiveBlur(); }
  // Kept within 0 .. 15.
  void SetEmissiveBlur(int32_t AValue);
  TVantrelRenderPassController* GetGlobalIllumPass() const { return FGlobalIllumPass; }
  void SetGlobalIllumPass(TVantrelRenderPassController* AValue);

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  // The composite renderer lends itself as the renderer; the pass makes none.
  void CreatePassRenderer() override { FOwnsRenderer = false; }
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
  TVantrelRenderPassController* FGlobalIllumPass = nullptr;
};

void InitializeDeferredCompositePass();
void FinalizeDeferredCompositePass();

} // namespace vantrel
