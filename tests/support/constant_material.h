#pragma once
// A material that fills whatever it draws with one colour: its vertex shader takes the
// model-view-projection matrix the context hands over ("MVPMatrix"), its pixel shader writes the
// colour. It owns its two shaders.

#include <string>

#include "rtl/colors.h"
#include "ui/material.h"
#include "ui/shaders.h"

namespace vtest {

class TConstantColorMaterial : public ui::TCustomMaterial {
public:
  // ATag keeps the shaders' names (and so the program cache entry) apart between users.
  explicit TConstantColorMaterial(rtl::TAlphaColorF AColor, const std::string& ATag = "constant");
  ~TConstantColorMaterial() override;

  rtl::TAlphaColorF Color() const { return FColor; }
  void SetColor(rtl::TAlphaColorF AValue) { FColor = AValue; }

protected:
  void DoApply(ui::TContext3D* AContext) override;

private:
  rtl::TAlphaColorF FColor;
  rtl::TOwned<ui::TContextShader> FOwnedVertex;
  rtl::TOwned<ui::TContextShader> FOwnedPixel;
};

} // namespace vtest
