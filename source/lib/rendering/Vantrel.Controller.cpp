#include "rendering/Vantrel.Controller.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelRenderPassController, "Vantrel.Controller")

} // namespace vantrel
