#pragma once
// Float textures for the pass tests: made from floats, read back as floats, and a pass double whose
// output texture the test sets.

#include <string>
#include <vector>

#include "rendering/Vantrel.Controller.h"

namespace rtest {

using namespace vantrel;

// A render-target texture of AComponents (RGBA16F, RG16F or R16F) filled from AData (channels per
// texel as the format has, first row first).
TOwned<TVantrelTextureBitmap> MakeFloatTexture(int32_t AWidth, int32_t AHeight, TPixelFormatEx AComponents,
                                               const std::vector<float>& AData,
                                               TTextureFilter AFilter = TTextureFilter::Linear);
// Level ALevel as RGBA floats, first row first.
std::vector<float> ReadTexels(const TTexture* ATexture, int32_t ALevel = 0);
// Level ALevel of face AFace (GL's face order: +X, -X, +Y, -Y, +Z, -Z) of a cube map, as RGBA
// floats, first row first.
std::vector<float> ReadTexels(const TTexture* ATexture, int32_t ALevel, int32_t AFace);
inline float Texel(const std::vector<float>& ATexels, int32_t AWidth, int32_t AX, int32_t AY,
                   int32_t AChannel) {
  return ATexels[(size_t(AY) * size_t(AWidth) + size_t(AX)) * 4 + size_t(AChannel)];
}

// A pass with no material whose output texture is whatever the test sets.
class TInputPassDouble : public TVantrelRenderPassController {
  RTL_CLASS(TInputPassDouble, TVantrelRenderPassController)
public:
  explicit TInputPassDouble(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  TTexture* Output = nullptr;
  TTexture* GetOutputTexture() override { return Output; }

protected:
  TOwned<TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
};

} // namespace rtest
