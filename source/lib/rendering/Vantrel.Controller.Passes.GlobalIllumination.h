#pragma once
// The global illumination pass: for every pixel of the composite renderer's G-buffer (world
// positions and normals) it traces cones through the voxel volume of the voxelisation pass: one
// shadow cone towards each light (occlusion, into alpha), one reflection cone along the normal
// (bounced light, into RGB), and adds a screen-space light-scattering term per light. The deferred
// composite adds the light and darkens by the occlusion, directly or after the GI blur.
//
// The block holds the runtime's row-major matrices unchanged, so in the shader text a world point
// w projects as (_ProjMatrix * _ViewMatrix) * vec4(w, 1): the row vector w · V · P.

#include <cstddef>
#include <cstdint>
#include <string>

#include "context/Vantrel.Context.Types.h"
#include "rendering/Vantrel.Controller.h"

namespace vantrel {

// The CPU copy of the "GlobalIllumShaderData" uniform block (std140).
struct TGlobalIllumShaderData {
  TMatrix3D ViewMatrix;
  TMatrix3D ProjMatrix;
  // (width, height, 0, 0) of the context; not read by the shader.
  TVector3D CanvasSize;
  TPoint3D VoxelCenter;
  // 1 with a voxel pass, else 0; not read by the shader.
  int32_t GlobalIllum;
  int32_t VoxelSize;
  float ShadowStrength;
  float Reflection;
  int32_t NumberOfLights;
  TVantrelShaderLight Lights[8];
};
static_assert(sizeof(TGlobalIllumShaderData) == 1328);
static_assert(offsetof(TGlobalIllumShaderData, ViewMatrix) == 0);
static_assert(offsetof(TGlobalIllumShaderData, ProjMatrix) == 64);
static_assert(offsetof(TGlobalIllumShaderData, CanvasSize) == 128);
static_assert(offsetof(TGlobalIllumShaderData, VoxelCenter) == 144);
static_assert(offsetof(TGlobalIllumShaderData, GlobalIllum) == 156);
static_assert(offsetof(TGlobalIllumShaderData, VoxelSize) == 160);
static_assert(offsetof(TGlobalIllumShaderData, ShadowStrength) == 164);
static_assert(offsetof(TGlobalIllumShaderData, Reflection) == 168);
static_assert(offsetof(TGlobalIllumShaderData, NumberOfLights) == 172);
static_assert(offsetof(TGlobalIllumShaderData, Lights) == 176);

// The pixel stage's texts that tests link into probe programs: the declarations (block, samplers,
// TEX0, output), the voxel and shadow-cone functions, the reflection cone and the scattering.
extern const char* const SGlobalIllumDeclarations;
extern const char* const SGlobalIllumVoxelFunctions;
extern const char* const SGlobalIllumReflectionFunctions;
extern const char* const SGlobalIllumScatteringFunctions;

class TVantrelRenderPassVoxelize;

class TGlobalIllumMaterial : public TVantrelRenderPassMaterial {
  RTL_CLASS(TGlobalIllumMaterial, TVantrelRenderPassMaterial)
public:
  TGlobalIllumMaterial();
  void BeforeDestruction() override;

  TTexture* PositionTexture() const { return FPositionTexture; }
  // Stores a different value, then always notifies.
  virtual void SetPositionTexture(TTexture* AValue);
  TTexture* NormalsTexture() const { return FNormalsTexture; }
  virtual void SetNormalsTexture(TTexture* AValue);
  TGlobalIllumShaderData& ShaderData() { return FShaderData; }
  bool ShaderDataRegistered() const { return FShaderDataRegistered; }

  static std::string VertexShaderText();
  // The version header and the Light structure, the first two texts of the pixel stage.
  static std::string PixelPrologueText();
  static std::string PixelShaderText();

protected:
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;

private:
  TTexture* FPositionTexture = nullptr;
  TTexture* FNormalsTexture = nullptr;
  TGlobalIllumShaderData FShaderData;
  bool FShaderDataRegistered = false;
};

class TGlobalIllumMaterialSource : public TVantrelRenderPassMaterialSource {
  RTL_CLASS(TGlobalIllumMaterialSource, TVantrelRenderPassMaterialSource)
public:
  TGlobalIllumMaterialSource() = default;
  TGlobalIllumMaterial* Material() const { return static_cast<TGlobalIllumMaterial*>(GetMaterial()); }

protected:
  // The source makes its one material at construction.
  TOwned<TMaterial> CreateMaterial() override;
  void DoChange() override {}
};

class TVantrelRenderPassGlobalIllum : public TVantrelRenderPassController {
  RTL_CLASS(TVantrelRenderPassGlobalIllum, TVantrelRenderPassController)
public:
  explicit TVantrelRenderPassGlobalIllum(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  static void RegisterProperties(TPropertyList& AList);
  void BeforeDestruction() override;

  bool IsInternalRenderPass() const override { return true; }
  TGlobalIllumMaterial* Material() const;
  TTexture* GetPosition() const;
  void SetPosition(TTexture* AValue);
  TTexture* GetNormals() const;
  void SetNormals(TTexture* AValue);
  TVantrelRenderPassController* GetVoxelGeometry() const { return FVoxelGeometryPass; }
  // Anything but a voxelisation pass is stored as nil; the linked pass is watched, and its removal
  // clears the link.
  void SetVoxelGeometry(TVantrelRenderPassController* AValue);
  float GetShadowStrength() const;
  void SetShadowStrength(float AValue);
  float GetReflectionStrength() const;
  void SetReflectionStrength(float AValue);

protected:
  void InitPassDefaults() override;
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override;
  void CreatePassRenderer() override;
  void DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

private:
  TVantrelRenderPassController* FVoxelGeometryPass = nullptr;
};

// The composite renderer's variant.
class TVantrelRenderPassEmbeddedGlobalIllum : public TVantrelRenderPassGlobalIllum {
  RTL_CLASS(TVantrelRenderPassEmbeddedGlobalIllum, TVantrelRenderPassGlobalIllum)
public:
  explicit TVantrelRenderPassEmbeddedGlobalIllum(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassGlobalIllum(AOwner, std::move(AId)) {}
};

void InitializeGlobalIllumPass();
void FinalizeGlobalIllumPass();

} // namespace vantrel
