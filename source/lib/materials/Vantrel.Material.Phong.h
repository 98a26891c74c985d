#pragma once
// The Phong shading material kind: a preset default material and its source.

#include "materials/Vantrel.Material.Default.h"

namespace vantrel {

class TVantrelPhongMaterial : public TVantrelDefaultMaterial {
  RTL_CLASS(TVantrelPhongMaterial, TVantrelDefaultMaterial)
public:
  using TVantrelDefaultMaterial::TVantrelDefaultMaterial;
  // The parent's construction, then the presets inside one rebuild.
  void AfterConstruction() override;
};

class TVantrelPhongMaterialSource : public TVantrelDefaultMaterialSource {
  RTL_CLASS(TVantrelPhongMaterialSource, TVantrelDefaultMaterialSource)
public:
  using TVantrelDefaultMaterialSource::TVantrelDefaultMaterialSource;
  static void RegisterProperties(TPropertyList& AList);
  // The presets of this kind, against which the published values are stored.
  TVantrelShadingModel PresetShadingModel() const override { return TVantrelShadingModel::smPhong; }
  float PresetShininess() const override { return 50.0f; }

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

// Registers TVantrelPhongMaterialSource for streaming; counted.
void InitializeMaterialPhong();
void FinalizeMaterialPhong();

} // namespace vantrel
