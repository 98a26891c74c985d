#pragma once
// The platform colour material: one colour for everything it draws, unlit. Its vertex stage takes
// the model-view-projection matrix the draw hands over ("MVPMatrix"); its shader pair is
// registered with the shader manager, so every colour material shares one program.

#include "rtl/colors.h"
#include "ui/material.h"

namespace ui {

class TColorMaterial : public TCustomMaterial {
  RTL_CLASS(TColorMaterial, TCustomMaterial)
public:
  TColorMaterial();

  rtl::TAlphaColor GetColor() const { return FColor; }
  void SetColor(rtl::TAlphaColor AValue) { FColor = AValue; }

protected:
  void DoApply(TContext3D* AContext) override;

private:
  rtl::TAlphaColor FColor = 0xFF000000;
};

// A source of one colour material; Color goes to its material.
class TColorMaterialSource : public TMaterialSource {
  RTL_CLASS(TColorMaterialSource, TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;
  static void RegisterProperties(rtl::TPropertyList& AList);

  rtl::TAlphaColor GetColor() const { return FColor; }
  void SetColor(rtl::TAlphaColor AValue);

protected:
  rtl::TOwned<TMaterial> CreateMaterial() override;

private:
  rtl::TAlphaColor FColor = 0xFF000000;
};

} // namespace ui
