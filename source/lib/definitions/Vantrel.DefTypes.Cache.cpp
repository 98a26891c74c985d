#include "definitions/Vantrel.DefTypes.Cache.h"

#include "context/Vantrel.Context.Buffers.h"

namespace vantrel {

RTL_DEFINE_CLASS(TAnimationFrameCompression, "Vantrel.DefTypes.Cache")

int32_t TAnimationFrameCompression::AttributeSize(TVertexFormat AFormat) {
  return VertexAttributeSize(AFormat);
}

void TAnimationFrameCompression::SetSourceStream(TVertexFormat AFormat, const TVertexBuffer* ABuffer,
                                                 TMemoryStream* AStream) {
  WriteVertexAttribute(AFormat, ABuffer, AStream);
}

} // namespace vantrel
