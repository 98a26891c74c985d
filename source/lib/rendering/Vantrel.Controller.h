#pragma once
// The render-pass controller: the component that configures a render pass and that the context's
// pass loop drives through IRenderPassController. This unit holds the rendering procedure and the
// method it keeps; concrete controllers answer the rest of the pass's questions (the texture a
// pass produces and the drawing of that texture into a context among them).

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Rendering.h"
#include "rtl/classes.h"

namespace vantrel {

class TVantrelRenderPassController : public TComponent, public IRenderPassController {
  RTL_CLASS(TVantrelRenderPassController, TComponent)
public:
  explicit TVantrelRenderPassController(TComponent* AOwner) : TComponent(AOwner) {}

  TRenderPassRenderingProc GetRenderProc() const override { return FRenderProc; }
  void SetRenderProc(TRenderPassRenderingProc AValue) { FRenderProc = AValue; }
  TRenderPassMethod GetMethod() const override { return FMethod; }
  void SetMethod(TRenderPassMethod AValue) { FMethod = AValue; }

protected:
  TRenderPassRenderingProc FRenderProc = TRenderPassRenderingProc::DefaultRendering;
  TRenderPassMethod FMethod = TRenderPassMethod::RenderListToFBO;
};

} // namespace vantrel
