#pragma once
// The vertex colours, lit, without textures material kind: a preset default material and its source.

#include "materials/Vantrel.Material.Default.h"

namespace vantrel {

class TVantrelVertexColorMaterial : public TVantrelDefaultMaterial {
  RTL_CLASS(TVantrelVertexColorMaterial, TVantrelDefaultMaterial)
public:
  using TVantrelDefaultMaterial::TVantrelDefaultMaterial;
  // The parent's construction, then the presets inside one rebuild.
  void AfterConstruction() override;

protected:
  // The parent's text, then the builder switched to vertex colours for the next text.
  void BuildVertexShaderSource() override;
  void BuildFragmentShaderSource() override;
};

class TVantrelVertexColorMaterialSource : public TVantrelDefaultMaterialSource {
  RTL_CLASS(TVantrelVertexColorMaterialSource, TVantrelDefaultMaterialSource)
public:
  using TVantrelDefaultMaterialSource::TVantrelDefaultMaterialSource;
  static void RegisterProperties(TPropertyList& AList);

protected:
  TOwned<TMaterial> CreateMaterial() override;
};

// Registers TVantrelVertexColorMaterialSource for streaming; counted.
void InitializeMaterialVertexColor();
void FinalizeMaterialVertexColor();

} // namespace vantrel
