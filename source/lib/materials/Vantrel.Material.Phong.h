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

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

// Registers TVantrelPhongMaterialSource for streaming; counted.
void InitializeMaterialPhong();
void FinalizeMaterialPhong();

} // namespace vantrel
