#pragma once
// The side of a render pass that a material reads when it samples the pass's output: whether the
// pass runs, the texture it renders into, the matrix that maps a world position into that texture,
// and the pass it reads from itself. Render-pass controllers derive from it; materials hold their
// passes through it, so the material layer does not depend on the layer that drives the passes.

#include "Vantrel.Prelude.h"
#include "rtl/math3d.h"
#include "ui/fmx_object.h"

namespace ui {
class TContext3D;
class TTexture;
} // namespace ui

namespace vantrel {

class TVantrelPassLink : public TFmxObject {
  RTL_CLASS(TVantrelPassLink, TFmxObject)
public:
  explicit TVantrelPassLink(TComponent* AOwner) : TFmxObject(AOwner) {}

  virtual bool GetEnabled() const = 0;
  // The texture the pass renders into; nullptr while it has none.
  virtual TTexture* GetOutputTexture() = 0;
  // Maps a world position into the output texture; AUseBias maps clip space [-1, 1] to [0, 1].
  virtual TMatrix3D GetTextureMatrix(TContext3D* AContext, bool AUseBias) = 0;
  // The pass whose output this pass reads (a blur reads the depth pass it smooths), or nullptr.
  virtual TVantrelPassLink* GetInputPass() const = 0;
};

} // namespace vantrel
