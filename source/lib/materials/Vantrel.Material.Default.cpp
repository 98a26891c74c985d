#include "materials/Vantrel.Material.Default.h"

namespace vantrel {

TVantrelShaderData TVantrelShaderData::Create() {
  TVantrelShaderData result{};
  result.ShadingModel = 2;
  result.ShadingIntensity = 1.0f;
  result.Brightness = 1.0f;
  result.ViewSize = {0, 0, 1.0f, 1000.0f};
  result.ClippingPlane = {0, 0, 0, 0};
  result.Material[0] = TVantrelShaderMaterial::Create();
  result.FogMode = 3;
  result.FogDensity = 0.001f;
  result.FogStart = 100.0f;
  result.FogEnd = 500.0f;
  result.FogColor = {0, 0, 0, 1};
  return result;
}

} // namespace vantrel
