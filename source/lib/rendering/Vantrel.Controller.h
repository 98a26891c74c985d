#pragma once
// The render-pass controller: the component that configures a render pass and that the context's
// pass loop drives. This unit holds what the pass loop reads of it: which of the render context's
// procedures draws the render list, whether a pass draws that list or one rectangle, the texture
// a pass produces and the drawing of that texture into a context. Concrete controllers answer
// the pass's questions (IRenderPassController).

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Rendering.h"
#include "rtl/classes.h"
#include "rtl/types2d.h"

namespace ui {
class TContext3D;
class TTexture;
} // namespace ui

namespace vantrel {

class TVantrelRenderPassController : public TComponent, public IRenderPassController {
  RTL_CLASS(TVantrelRenderPassController, TComponent)
public:
  explicit TVantrelRenderPassController(TComponent* AOwner) : TComponent(AOwner) {}

  // ListRendering draws the render list through the render context's ListRenderingProc, any
  // other value through its DefaultRenderingProc.
  TRenderPassRenderingProc GetRenderProc() const { return FRenderProc; }
  void SetRenderProc(TRenderPassRenderingProc AValue) { FRenderProc = AValue; }
  TRenderPassMethod GetMethod() const { return FMethod; }
  void SetMethod(TRenderPassMethod AValue) { FMethod = AValue; }

  // The texture the controller's pass renders into.
  virtual TTexture* GetOutputTexture() = 0;
  // Draws ATexture into AContext over ARect, offset by ADstPos: one iteration of a RectToFBO pass.
  virtual void RenderToContext(TContext3D* AContext, TTexture* ATexture, const TRect& ARect,
                               const TPoint& ADstPos) = 0;

protected:
  TRenderPassRenderingProc FRenderProc = TRenderPassRenderingProc::DefaultRendering;
  TRenderPassMethod FMethod = TRenderPassMethod::RenderListToFBO;
};

} // namespace vantrel
