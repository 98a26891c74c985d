#pragma once
// Animation frame caching. TAnimationFrameCompression turns a frame's vertex data into attribute
// streams; the attribute extraction itself lives with the mesh buffers (Vantrel.Context.Buffers),
// which need it below this folder to upload one attribute of an interleaved vertex buffer.

#include "Vantrel.Prelude.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/streams.h"
#include "rtl/typeinfo.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

// How a model's animations are cached once loaded (a load option).
enum class TAnimationCachingFlag : uint8_t { AllAttributes, Compressed, VertexPosition };
RTL_ENUM_TYPEINFO(TAnimationCachingFlag, "AllAttributes", "Compressed", "VertexPosition")
using TAnimationCachingFlags = rtl::TSet<TAnimationCachingFlag>;

class TAnimationFrameCompression : public rtl::TObject {
  RTL_CLASS(TAnimationFrameCompression, rtl::TObject)
public:
  // The bytes one vertex's attribute takes in a stream: 12 for positions, normals, binormals and
  // tangents, 4 for every colour (float colours are written as 32-bit colours), 8 for texture
  // coordinates; 0 for ordinals 16 and above, which write nothing.
  static int32_t AttributeSize(ui::TVertexFormat AFormat);

  // Writes the attribute AFormat of every vertex of ABuffer, tightly packed, at AStream's
  // position, then rewinds AStream. An attribute the buffer lacks is written as zeros.
  static void SetSourceStream(ui::TVertexFormat AFormat, const ui::TVertexBuffer* ABuffer,
                              rtl::TMemoryStream* AStream);

protected:
  TAnimationFrameCompression() = default;
};

} // namespace vantrel
