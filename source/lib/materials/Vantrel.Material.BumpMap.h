#pragma once
// The normal mapping with a specular map material kind: a preset default material and its source.

#include "materials/Vantrel.Material.NormalMap.h"

namespace vantrel {

class TVantrelBumpMapMaterial : public TVantrelNormalMapMaterial {
  RTL_CLASS(TVantrelBumpMapMaterial, TVantrelNormalMapMaterial)
public:
  using TVantrelNormalMapMaterial::TVantrelNormalMapMaterial;

protected:
  // The parent's builders with this kind's defines added once.
  void CreateVertexShaderBuilder() override;
  void CreateFragmentShaderBuilder() override;
};

class TVantrelBumpMapMaterialSource : public TVantrelNormalMapMaterialSource {
  RTL_CLASS(TVantrelBumpMapMaterialSource, TVantrelNormalMapMaterialSource)
public:
  using TVantrelNormalMapMaterialSource::TVantrelNormalMapMaterialSource;
  static void RegisterProperties(TPropertyList& AList);
  TBitmap* GetSpecularMap() const { return NamedBitmap("SpecularMapTexture", "TVantrelBumpMapMaterialSource.GetSpecularMap not activated in material"); }
  void SetSpecularMap(TBitmap* AValue) { SetNamedBitmap("SpecularMapTexture", "TVantrelBumpMapMaterialSource.GetSpecularMap not activated in material", AValue); }

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void UpdateBitmapEntries() override;
};

// Registers TVantrelBumpMapMaterialSource for streaming; counted.
void InitializeMaterialBumpMap();
void FinalizeMaterialBumpMap();

} // namespace vantrel
