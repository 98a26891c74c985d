#pragma once
// A 2D test control that fills its rectangle with Color and, when InnerRect is not empty, that
// rectangle (local coordinates) with InnerColor. Changing the fields does not repaint.

#include "rtl/colors.h"
#include "rtl/types2d.h"
#include "ui/controls.h"

namespace vtest {

class TFillControl : public ui::TControl {
  RTL_CLASS(TFillControl, ui::TControl)
public:
  explicit TFillControl(rtl::TComponent* AOwner) : TControl(AOwner) {}

  rtl::TAlphaColor Color = 0xFF000000;
  rtl::TRectF InnerRect;
  rtl::TAlphaColor InnerColor = 0xFFFFFFFF;

protected:
  void Paint() override;
};

} // namespace vtest
