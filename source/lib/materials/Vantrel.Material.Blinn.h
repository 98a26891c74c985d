#pragma once
// The Blinn-Phong shading material kind: a preset default material and its source.

#include "materials/Vantrel.Material.Default.h"

namespace vantrel {

class TVantrelBlinnMaterial : public TVantrelDefaultMaterial {
  RTL_CLASS(TVantrelBlinnMaterial, TVantrelDefaultMaterial)
public:
  using TVantrelDefaultMaterial::TVantrelDefaultMaterial;
  // The parent's construction, then the presets inside one rebuild.
  void AfterConstruction() override;
};

class TVantrelBlinnMaterialSource : public TVantrelDefaultMaterialSource {
  RTL_CLASS(TVantrelBlinnMaterialSource, TVantrelDefaultMaterialSource)
public:
  using TVantrelDefaultMaterialSource::TVantrelDefaultMaterialSource;
  static void RegisterProperties(TPropertyList& AList);
  // The presets of this kind, against which the published values are stored.
  float PresetShininess() const override { return 50.0f; }

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

// Registers TVantrelBlinnMaterialSource for streaming; counted.
void InitializeMaterialBlinn();
void FinalizeMaterialBlinn();

} // namespace vantrel
