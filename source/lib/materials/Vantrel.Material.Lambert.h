#pragma once
// The diffuse (Lambert) shading material kind: a preset default material and its source.

#include "materials/Vantrel.Material.Default.h"

namespace vantrel {

class TVantrelLambertMaterial : public TVantrelDefaultMaterial {
  RTL_CLASS(TVantrelLambertMaterial, TVantrelDefaultMaterial)
public:
  using TVantrelDefaultMaterial::TVantrelDefaultMaterial;
  // The parent's construction, then the presets inside one rebuild.
  void AfterConstruction() override;
};

class TVantrelLambertMaterialSource : public TVantrelDefaultMaterialSource {
  RTL_CLASS(TVantrelLambertMaterialSource, TVantrelDefaultMaterialSource)
public:
  using TVantrelDefaultMaterialSource::TVantrelDefaultMaterialSource;
  static void RegisterProperties(TPropertyList& AList);
  // The presets of this kind, against which the published values are stored.
  TVantrelShadingModel PresetShadingModel() const override { return TVantrelShadingModel::smLambert; }

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

// Registers TVantrelLambertMaterialSource for streaming; counted.
void InitializeMaterialLambert();
void FinalizeMaterialLambert();

} // namespace vantrel
