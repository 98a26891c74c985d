#pragma once
// Frame buffers of the shared GL context: the render targets a texture can be attached to, and
// the frame-buffer contract the context binds, resizes and attaches through. The OpenGL bodies
// live in Vantrel.Context.Buffers.OpenGL.

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/types2d.h"
#include "ui/context3d.h"
#include "ui/texture.h"

namespace vantrel {

enum class TRenderTarget : uint8_t {
  Color_0,
  Depth,
  Stencil,
  Color_1,
  Color_2,
  Color_3,
  Color_4,
  Color_5,
  Color_6,
  Color_7,
  Color_8,
  Color_9,
  Color_10,
  Color_11,
  Color_12,
  Color_13,
  Color_14,
  Color_15,
};
RTL_ENUM_TYPEINFO(TRenderTarget, "Color_0", "Depth", "Stencil", "Color_1", "Color_2", "Color_3", "Color_4",
                  "Color_5", "Color_6", "Color_7", "Color_8", "Color_9", "Color_10", "Color_11", "Color_12",
                  "Color_13", "Color_14", "Color_15")
using TRenderTargets = rtl::TSet<TRenderTarget>;

// A frame buffer with its attachments. The context calls only these members; the frame-buffer
// implementation completes the class with its fields and bodies.
class TFrameBufferObject : public rtl::TObject {
  RTL_CLASS(TFrameBufferObject, rtl::TObject)
public:
  // Binds the frame buffer; through the framework's context it is pushed on the context's stack.
  virtual void Bind(ui::TContext3D* AContext) = 0;
  // Pops the context's stack and binds the frame buffer that was popped (0 when none).
  virtual void Unbind(ui::TContext3D* AContext) = 0;
  virtual void Resize(int AWidth, int AHeight) = 0;
  virtual void AttachTexture(ui::TContext3D* AContext, ui::TTexture* ATexture, TRenderTarget ATarget) = 0;
  // Attaches an existing depth-stencil render buffer (not owned) of the given size.
  virtual void AttachDepthBuffer(uint32_t ABufId, const rtl::TPoint& ASize) = 0;
  virtual ui::TTexture* GetTextureByRenderTarget(TRenderTarget ATarget) = 0;
  virtual uint32_t DepthBuf() const = 0;
};

} // namespace vantrel
