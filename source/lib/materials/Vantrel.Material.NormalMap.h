#pragma once
// The normal mapping with displacement material kind: a preset default material and its source.

#include "materials/Vantrel.Material.Default.h"

namespace vantrel {

class TVantrelNormalMapMaterial : public TVantrelDefaultMaterial {
  RTL_CLASS(TVantrelNormalMapMaterial, TVantrelDefaultMaterial)
public:
  using TVantrelDefaultMaterial::TVantrelDefaultMaterial;
  // The parent's construction, then the presets inside one rebuild.
  void AfterConstruction() override;

protected:
  // The parent's builders with this kind's defines added once.
  void CreateVertexShaderBuilder() override;
  void CreateFragmentShaderBuilder() override;
};

class TVantrelNormalMapMaterialSource : public TVantrelDefaultMaterialSource {
  RTL_CLASS(TVantrelNormalMapMaterialSource, TVantrelDefaultMaterialSource)
public:
  using TVantrelDefaultMaterialSource::TVantrelDefaultMaterialSource;
  static void RegisterProperties(TPropertyList& AList);
  float GetDisplacementX() const { return GetDisplacementComponent(0); }
  void SetDisplacementX(float AValue) { SetDisplacementComponent(0, AValue); }
  float GetDisplacementY() const { return GetDisplacementComponent(1); }
  void SetDisplacementY(float AValue) { SetDisplacementComponent(1, AValue); }
  float GetDisplacementZ() const { return GetDisplacementComponent(2); }
  void SetDisplacementZ(float AValue) { SetDisplacementComponent(2, AValue); }
  float GetDisplacementDir() const { return GetDisplacementComponent(3); }
  void SetDisplacementDir(float AValue) { SetDisplacementComponent(3, AValue); }

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

// Registers TVantrelNormalMapMaterialSource for streaming; counted.
void InitializeMaterialNormalMap();
void FinalizeMaterialNormalMap();

} // namespace vantrel
