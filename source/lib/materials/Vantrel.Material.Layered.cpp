#include "materials/Vantrel.Material.Layered.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelLayeredMaterialItem, "Vantrel.Material.Layered")
RTL_DEFINE_CLASS(TVantrelLayeredMaterial, "Vantrel.Material.Layered")

TMaterialSource* TVantrelLayeredMaterial::GetLayerMaterial(TContext3D* AContext, int32_t AIndex) const {
  const TVantrelLayeredMaterialItem* item = GetMaterialItem(AContext, AIndex);
  return item ? item->GetMaterial() : nullptr;
}

} // namespace vantrel
