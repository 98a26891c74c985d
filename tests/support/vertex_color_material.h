#pragma once
// A material that draws the vertex colours, unlit and instanced: the model matrix comes from the
// per-instance attribute a_ModelMatrix (locations 12 to 15), view and projection from the context
// ("ViewProj", set when the material is applied from CurrentCameraMatrix x CurrentProjectionMatrix).
// The colour is read at location 2, where both byte and float colours arrive. Its program has no
// "MVPMatrix", so the draw's matrix hand-over leaves it alone. It owns its two shaders.

#include <string>

#include "rtl/object.h"
#include "ui/material.h"
#include "ui/shaders.h"

namespace vtest {

class TVertexColorMaterial : public ui::TCustomMaterial {
public:
  explicit TVertexColorMaterial(const std::string& ATag = "vertexcolor");
  ~TVertexColorMaterial() override;

protected:
  void DoApply(ui::TContext3D* AContext) override;

private:
  rtl::TOwned<ui::TContextShader> FOwnedVertex;
  rtl::TOwned<ui::TContextShader> FOwnedPixel;
};

} // namespace vtest
