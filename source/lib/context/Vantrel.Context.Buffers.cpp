#include "Vantrel.Context.Buffers.h"

namespace vantrel {

RTL_DEFINE_CLASS(TFrameBufferObject, "Vantrel.Context.Buffers")

} // namespace vantrel
