#pragma once
// Render-pass types shared by the context, the viewport and the materials.

#include <cstdint>

#include "Vantrel.Prelude.h"
#include "rtl/colors.h"

namespace vantrel {

struct TVantrelFogSettings {
  bool Enabled = false;
  // The flag the shaders test: 2 linear, 4 exponential, 8 squared exponential. They combine it
  // with Enabled (bit value 1) into one fog-mode integer.
  uint8_t Mode = 0;
  float Density = 0;
  float FogStart = 0;
  float FogEnd = 0;
  TAlphaColorF Color;

  // Color is opaque black.
  static TVantrelFogSettings Create(bool AEnabled, uint8_t AMode, float ADensity, float AStart, float AEnd);
};

} // namespace vantrel
