#pragma once
// The parallax occlusion mapping material kind: a preset default material and its source.

#include "materials/Vantrel.Material.Default.h"

namespace vantrel {

class TVantrelPOMMaterial : public TVantrelDefaultMaterial {
  RTL_CLASS(TVantrelPOMMaterial, TVantrelDefaultMaterial)
public:
  using TVantrelDefaultMaterial::TVantrelDefaultMaterial;
  // The parent's construction, then the presets inside one rebuild.
  void AfterConstruction() override;
  // "POM_DISCARD" in the fragment builder; writing switches it in both builders.
  virtual bool GetParallaxDiscardEdges() const;
  virtual void SetParallaxDiscardEdges(bool AValue);

protected:
  // The parent's builders with this kind's defines added once.
  void CreateVertexShaderBuilder() override;
  void CreateFragmentShaderBuilder() override;
};

class TVantrelPOMMaterialSource : public TVantrelDefaultMaterialSource {
  RTL_CLASS(TVantrelPOMMaterialSource, TVantrelDefaultMaterialSource)
public:
  using TVantrelDefaultMaterialSource::TVantrelDefaultMaterialSource;
  static void RegisterProperties(TPropertyList& AList);
  TBitmap* GetParallaxOcclusionMap() const { return NamedBitmap("POMTexture", "TVantrelPOMMaterialSource.ParallaxOcclusionMap not activated in material"); }
  void SetParallaxOcclusionMap(TBitmap* AValue) { SetNamedBitmap("POMTexture", "TVantrelPOMMaterialSource.ParallaxOcclusionMap not activated in material", AValue); }
  float GetDisplacementX() const { return GetDisplacementComponent(0); }
  void SetDisplacementX(float AValue) { SetDisplacementComponent(0, AValue); }
  float GetDisplacementY() const { return GetDisplacementComponent(1); }
  void SetDisplacementY(float AValue) { SetDisplacementComponent(1, AValue); }
  float GetDisplacementZ() const { return GetDisplacementComponent(2); }
  void SetDisplacementZ(float AValue) { SetDisplacementComponent(2, AValue); }
  float GetDisplacementDir() const { return GetDisplacementComponent(3); }
  void SetDisplacementDir(float AValue) { SetDisplacementComponent(3, AValue); }
  bool GetParallaxDiscardEdges() const;
  void SetParallaxDiscardEdges(bool AValue);
  // After the inherited step: the "ParallaxOcclusionMapping" extension (levels, switch and, when
  // the entry exists, whether the map holds an image).

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void DoLoadFromDefinition(const TMaterialDef& ADef) override;
  void DoStoreToDefinition(TMaterialDef& ADef) override;
  void UpdateBitmapEntries() override;
};

// Registers TVantrelPOMMaterialSource for streaming; counted.
void InitializeMaterialPOM();
void FinalizeMaterialPOM();

} // namespace vantrel
