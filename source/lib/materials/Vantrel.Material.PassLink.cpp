#include "materials/Vantrel.Material.PassLink.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelPassLink, "Vantrel.Material.PassLink")

} // namespace vantrel
