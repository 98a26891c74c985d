#pragma once
// The physically based shading material kind: a preset default material and its source.

#include "materials/Vantrel.Material.POM.h"

namespace vantrel {

class TVantrelPBRMaterial : public TVantrelPOMMaterial {
  RTL_CLASS(TVantrelPBRMaterial, TVantrelPOMMaterial)
public:
  using TVantrelPOMMaterial::TVantrelPOMMaterial;
  // The parent's construction, then the presets inside one rebuild.
  void AfterConstruction() override;

protected:
  // The parent's builders with this kind's defines added once.
  void CreateVertexShaderBuilder() override;
  void CreateFragmentShaderBuilder() override;
};

class TVantrelPBRMaterialSource : public TVantrelPOMMaterialSource {
  RTL_CLASS(TVantrelPBRMaterialSource, TVantrelPOMMaterialSource)
public:
  using TVantrelPOMMaterialSource::TVantrelPOMMaterialSource;
  static void RegisterProperties(TPropertyList& AList);
  // The presets of this kind, against which the published values are stored.
  TVantrelShadingModel PresetShadingModel() const override { return TVantrelShadingModel::smPBR; }
  TAlphaColor PresetAmbient() const override { return 0xFF080808; }
  float PresetNormalIntensity() const override { return 0.1f; }
  TBitmap* GetMetalnessTexture() const { return NamedBitmap("MetalnessTexture", "TVantrelPBRMaterialSource.MetalnessTexture not activated in material"); }
  void SetMetalnessTexture(TBitmap* AValue) { SetNamedBitmap("MetalnessTexture", "TVantrelPBRMaterialSource.MetalnessTexture not activated in material", AValue); }
  TBitmap* GetRoughnessTexture() const { return NamedBitmap("RoughnessTexture", "TVantrelPBRMaterialSource.RoughnessTexture not activated in material"); }
  void SetRoughnessTexture(TBitmap* AValue) { SetNamedBitmap("RoughnessTexture", "TVantrelPBRMaterialSource.RoughnessTexture not activated in material", AValue); }
  TBitmap* GetAmbientOcclusionTexture() const { return NamedBitmap("AmbientOcclusionTexture", "TVantrelPBRMaterialSource.AmbientOcclusionTexture not activated in material"); }
  void SetAmbientOcclusionTexture(TBitmap* AValue) { SetNamedBitmap("AmbientOcclusionTexture", "TVantrelPBRMaterialSource.AmbientOcclusionTexture not activated in material", AValue); }
  TBitmap* GetEmissiveTexture() const { return NamedBitmap("EmissiveTexture", "TVantrelPBRMaterialSource.EmissiveTexture not activated in material"); }
  void SetEmissiveTexture(TBitmap* AValue) { SetNamedBitmap("EmissiveTexture", "TVantrelPBRMaterialSource.EmissiveTexture not activated in material", AValue); }
  TBitmap* GetSpecularMap() const { return NamedBitmap("SpecularMapTexture", "TVantrelPBRMaterialSource.GetSpecularMap not activated in material"); }
  void SetSpecularMap(TBitmap* AValue) { SetNamedBitmap("SpecularMapTexture", "TVantrelPBRMaterialSource.GetSpecularMap not activated in material", AValue); }
  // After the inherited step: the "PBR" extension (six switches and, for each entry that exists,
  // whether its bitmap holds an image).

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void DoLoadFromDefinition(const TMaterialDef& ADef) override;
  void DoStoreToDefinition(TMaterialDef& ADef) override;
  void UpdateBitmapEntries() override;
};

// Registers TVantrelPBRMaterialSource for streaming; counted.
void InitializeMaterialPBR();
void FinalizeMaterialPBR();

} // namespace vantrel
