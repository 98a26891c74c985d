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

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

// Registers TVantrelLambertMaterialSource for streaming; counted.
void InitializeMaterialLambert();
void FinalizeMaterialLambert();

} // namespace vantrel
