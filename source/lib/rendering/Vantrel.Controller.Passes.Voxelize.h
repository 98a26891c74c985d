#pragma once
// The voxelisation pass: draws the render list eight times per frame, once per cascade, with its
// own material in place of every object's. A geometry stage projects each triangle onto the plane
// where it covers the most pixels, and the fragment stage lights the fragment with up to eight
// lights and stores the colour with opacity 1 into one RGBA8 3D texture. The eight cascades are
// cubes of half-edge 2 to 128 units around a focus point in front of the camera, stacked along the
// texture's depth: the volume is VoxelSize x VoxelSize x 8·VoxelSize texels. The global
// illumination pass traces cones through it.
//
// The fragment stage lights with the fragment's world position (light positions are world
// positions); the cascade position only chooses the texel, and each index is kept inside its
// cascade so a triangle on a cascade's far face does not write into the next cascade.

#include <cstddef>
#include <cstdint>
#include <string>

#include "context/Vantrel.Context.Types.h"
#include "rendering/Vantrel.Controller.h"

namespace vantrel {

// std140 "struct TVoxelMaterial".
struct TVoxelMaterial {
  TVector3D DiffuseColor{1, 1, 1, 1};
  TVector3D SpecularColor{0.5f, 0.5f, 0.5f, 1};
  float DiffuseReflectivity = 0.75f;
  float SpecularReflectivity = 0.5f;
  float Emissivity = 0.1f;
  float Transparency = 0;
};
static_assert(sizeof(TVoxelMaterial) == 48);
static_assert(offsetof(TVoxelMaterial, DiffuseColor) == 0);
static_assert(offsetof(TVoxelMaterial, SpecularColor) == 16);
static_assert(offsetof(TVoxelMaterial, DiffuseReflectivity) == 32);
static_assert(offsetof(TVoxelMaterial, SpecularReflectivity) == 36);
static_assert(offsetof(TVoxelMaterial, Emissivity) == 40);
static_assert(offsetof(TVoxelMaterial, Transparency) == 44);

// The CPU copy of the "VoxelizeShaderData" uniform block (std140).
struct TVoxelizeShaderData {
  TVoxelMaterial Material;
  // Texel offset of the current cascade.
  TPoint3D TextureOffset{};
  int32_t NumberOfLights = 0;
  TVantrelShaderLight Lights[8];
};
static_assert(sizeof(TVoxelizeShaderData) == 1216);
static_assert(offsetof(TVoxelizeShaderData, Material) == 0);
static_assert(offsetof(TVoxelizeShaderData, TextureOffset) == 48);
static_assert(offsetof(TVoxelizeShaderData, NumberOfLights) == 60);
static_assert(offsetof(TVoxelizeShaderData, Lights) == 64);

// The light functions both the voxel and the global illumination stages use: each takes the light
// and the world position p and gives the direction towards the light, its distance and a half
// vector; getAttenuation(light, distance, half vector).
extern const char* const SVoxelGetDirLightDir;
extern const char* const SVoxelGetPointLightDir;
extern const char* const SVoxelGetSpotLightDir;
extern const char* const SVoxelGetLightDir;
extern const char* const SVoxelGetAttenuation;

class TVantrelRenderPassVoxelize;

class TVoxelizeMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TVoxelizeMaterial, TVantrelRenderPassMaterial)
public:
  TVoxelizeMaterial() = default;
  // Hands the geometry stage back (which drops every program linked from it) before the base
  // releases the vertex and pixel stages.
  void BeforeDestruction() override;

  float SceneScale() const { return FSceneScale; }
  void SetSceneScale(float AValue) { FSceneScale = AValue; }
  const TPoint3D& TextureOffset() const { return FVoxelizeParams.TextureOffset; }
  void SetTextureOffset(const TPoint3D& AValue) { FVoxelizeParams.TextureOffset = AValue; }
  // Computed at every apply.
  const TPoint3D& VoxelCenter() const { return FVoxelCenter; }
  float FocalLength() const { return FFocalLength; }
  // Kept within 1 .. 50.
  void SetFocalLength(float AValue);
  TContextShader* GeometryShader() const { return FGeometryShader; }
  const TVoxelizeShaderData& ShaderData() const { return FVoxelizeParams; }

  // The stage texts, for tests of their form and for probe programs.
  static std::string VertexShaderText();
  static std::string GeometryShaderText();
  static std::string PixelShaderText();

protected:
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;

private:
  TContextShader* FGeometryShader = nullptr;
  TContextShader* FTessEvalShader = nullptr;
  float FSceneScale = 64.0f;
  TPoint3D FVoxelCenter{};
  float FFocalLength = 10.0f;
  bool FParamsInitialized = false;
  TVoxelizeShaderData FVoxelizeParams;
};

class TVoxelizeMaterialSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TVoxelizeMaterialSource, TVantrelRenderPassMaterialSource)
public:
  TVoxelizeMaterialSource() = default;
  TVoxelizeMaterial* Material() const { return static_cast<TVoxelizeMaterial*>(GetMaterial()); }

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void DoChange() override {}
};

class TVantrelRenderPassVoxelize : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassVoxelize, TVantrelRenderPassController)
public:
  static constexpr int32_t CascadeCount = 8;

  explicit TVantrelRenderPassVoxelize(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  static void RegisterProperties(TPropertyList& AList);
  // Frees the material source, then the volume, then the controller's part.
  void BeforeDestruction() override;

  // The pass's own matrix, never written: all zeros. The controller's bias matrix, which the
  // texture matrix uses, is a different one.
  const TMatrix3D& BiasMatrix() const { return FOwnBiasMatrix; }
  int32_t GetVoxelSize() const { return FVoxelSize; }
  // Rounded toward zero to a multiple of 32, then kept within 32 .. 512; the renderer is made anew,
  // the old volume freed and the new one made at the next use.
  void SetVoxelSize(int32_t AValue);
  float GetFocalLength() const;
  void SetFocalLength(float AValue);
  TPoint3D VoxelCenter() const;
  TVoxelizeMaterial* Material() const;

  // The voxel size of a detail level (1 .. 7 give 32, 64, 128, 192, 256, 384, 512; any other value
  // 64). With a context the level is lowered while the volume's depth (8 x size) exceeds the
  // context's 3D texture limit; ADetail keeps the lowered level (0 and size 32 when even level 1
  // does not fit).
  static int32_t GetVoxelSizeFromDetail(const TContext3D* AContext, int32_t& ADetail);

  // The volume's texture, made at the current size on the first request; nil while the pass has
  // no renderer (no viewport).
  TTexture* GetTexture3D();
  // Nil without a viewport; with one the volume's texture, or nil after logging a warning.
  TTexture* GetOutputTexture() override;
  bool IsPrimitivesKindSupported(TPrimitivesKind AKind) const override;
  void EndRenderPassRendering(TContext3D* AContext) override;

  using TVantrelRenderPassController::GetProjectionMatrix;
  // The orthographic VoxelSize x VoxelSize projection.
  TMatrix3D GetProjectionMatrix(TContext3D* AContext) override;
  // The context's camera matrix := the view matrix, its angle of view := the viewport camera's,
  // the texture matrix := view x projection. The context's projection is left alone.
  virtual void SetupMatrices(TContext3D* AContext);
  // The volume object as it is held, without making it: nil until the first use (tests read its
  // settings and when it is made).
  TVantrelTextureBitmap* Voxels() const { return FVoxels.get(); }

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void CreatePassRenderer() override;
  void DoCreateCompositeTexture(TObject* ASender, const TPoint& ASize, float AScale,
                                TVantrelTextureBitmap*& ATexture) override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void DoOnRenderPassUpdated(TRenderPass* APass) override;

private:
  // The volume at the current size and scale, made when missing (while the pass has a renderer).
  TVantrelTextureBitmap* Volume();
  // Frees a volume whose size or scale is no longer the pass's.
  void DropStaleVolume();

  TMatrix3D FOwnBiasMatrix{};
  TOwned<TVantrelTextureBitmap> FVoxels;
  int32_t FVoxelSize = 128;
  // The scale of the last renderer made, which the volume takes.
  float FVolumeScale = 1;
};

// The composite renderer's variant.
class TVantrelRenderPassEmbeddedVoxelize : public TVantrelRenderPassVoxelize {
  RTL_CLASS(TVantrelRenderPassEmbeddedVoxelize, TVantrelRenderPassVoxelize)
public:
  explicit TVantrelRenderPassEmbeddedVoxelize(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassVoxelize(AOwner, std::move(AId)) {}
  bool IsInternalRenderPass() const override { return true; }
  // Set once the renderer has sized the volume from its detail (at creation); later detail
  // changes resize it only while the detail is above 0.
  bool SizedByRenderer = false;
};

void InitializeVoxelizePass();
void FinalizeVoxelizePass();

} // namespace vantrel
