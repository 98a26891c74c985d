#pragma once
// A material that draws the vertex colours, unlit and instanced: the model matrix comes from the
// per-instance attribute a_ModelMatrix (locations 12 to 15), view and projection from the context
// ("ViewProj", set when the material is applied from CurrentCameraMatrix x CurrentProjectionMatrix).
// The colour is read at location 2, where both byte and float colours arrive. Its program has no
// "MVPMatrix", so the draw's matrix hand-over leaves it alone. It owns its two shaders. A source
// makes it for the controls that take a material source.

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

// A material source whose material is a TVertexColorMaterial named by Tag.
class TVertexColorSource : public ui::TMaterialSource {
  RTL_CLASS(TVertexColorSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;
  // Set before the material is made.
  std::string Tag = "vertexcolor";

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override;
};

} // namespace vtest
