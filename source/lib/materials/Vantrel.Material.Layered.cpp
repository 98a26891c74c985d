#include "materials/Vantrel.Material.Layered.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelLayeredMaterialItem, "Vantrel.Material.Layered")
RTL_DEFINE_CLASS(TVantrelLayeredMaterial, "Vantrel.Material.Layered")

} // namespace vantrel
