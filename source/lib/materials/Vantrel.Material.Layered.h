#pragma once
// The layered material: a material that holds an ordered list of layers, each naming another
// material source. The context keeps the layered material being drawn and asks it for its layers
// through ILayeredPassMaterial.

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.h"
#include "rtl/classes.h"
#include "ui/material.h"

namespace ui {
class TContext3D;
}

namespace vantrel {

// One layer: the material source it draws with (not owned).
class TVantrelLayeredMaterialItem : public TCollectionItem {
  RTL_CLASS(TVantrelLayeredMaterialItem, TCollectionItem)
public:
  TVantrelLayeredMaterialItem() = default;

  TMaterialSource* GetMaterial() const { return FMaterial; }
  void SetMaterial(TMaterialSource* AValue) { FMaterial = AValue; }

private:
  TMaterialSource* FMaterial = nullptr;
};

class TVantrelLayeredMaterial : public TCustomMaterial, public ILayeredPassMaterial {
  RTL_CLASS(TVantrelLayeredMaterial, TCustomMaterial)
public:
  int32_t GetMaterialsCount() const override = 0;
  // The layer at AIndex; nullptr when AIndex is not below the count.
  virtual TVantrelLayeredMaterialItem* GetMaterialItem(TContext3D* AContext, int32_t AIndex) const = 0;
  // The material of the layer's item.
  TMaterialSource* GetLayerMaterial(TContext3D* AContext, int32_t AIndex) const override;

protected:
  TVantrelLayeredMaterial() = default;
};

} // namespace vantrel
