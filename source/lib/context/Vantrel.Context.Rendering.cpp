#include "Vantrel.Context.Rendering.h"

namespace vantrel {

TVantrelFogSettings TVantrelFogSettings::Create(bool AEnabled, uint8_t AMode, float ADensity, float AStart,
                                                float AEnd) {
  return {AEnabled, AMode, ADensity, AStart, AEnd, TAlphaColorF::Create(0, 0, 0, 1)};
}

} // namespace vantrel
