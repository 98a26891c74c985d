#pragma once
// The default material's uniform block "ShaderData": the CPU image of the GLSL block that both
// generated stages declare, laid out byte for byte by the std140 rules, so it uploads as it is,
// with no conversion. Padding is written out as members and stays zero.

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Types.h"

namespace vantrel {

// The GLSL struct PassData: the inputs of the shadow, reflection, refraction, parallax and
// physically based passes.
struct TVantrelShaderPassData {
  std::array<TMatrix3D, 8> ShadowMapMatrix{};
  TMatrix3D ReflectTextureMatrix;
  TMatrix3D RefractTextureMatrix;
  float ReflectionPower = 0;
  float RefractionPower = 0;
  float TranslucentDistance = 0;
  float NormalIntensity = 0;
  int32_t ParallaxLevels = 0;
  float PBRMetallic = 0;
  float PBRRoughness = 0;
  float PBRAO = 0;
};
static_assert(sizeof(TVantrelShaderPassData) == 672);
static_assert(offsetof(TVantrelShaderPassData, ShadowMapMatrix) == 0);
static_assert(offsetof(TVantrelShaderPassData, ReflectTextureMatrix) == 512);
static_assert(offsetof(TVantrelShaderPassData, RefractTextureMatrix) == 576);
static_assert(offsetof(TVantrelShaderPassData, ReflectionPower) == 640);
static_assert(offsetof(TVantrelShaderPassData, RefractionPower) == 644);
static_assert(offsetof(TVantrelShaderPassData, TranslucentDistance) == 648);
static_assert(offsetof(TVantrelShaderPassData, NormalIntensity) == 652);
static_assert(offsetof(TVantrelShaderPassData, ParallaxLevels) == 656);
static_assert(offsetof(TVantrelShaderPassData, PBRMetallic) == 660);
static_assert(offsetof(TVantrelShaderPassData, PBRRoughness) == 664);
static_assert(offsetof(TVantrelShaderPassData, PBRAO) == 668);

// The whole block, 6352 bytes. Member names drop the GLSL leading underscore. Options: bit 1 an
// active clip plane, bit 2 a translucent draw. FogMode: bit 1 fog on, OR-ed with the fog mode
// (2 linear, 4 exponential, 8 squared exponential).
struct TVantrelShaderData {
  TMatrix3D ModelViewProjectionMatrix;
  TMatrix3D ViewMatrix;
  TMatrix3D ProjectionMatrix;
  TVector3D TimeInfo;
  TVector3D EyePos;
  TPoint3D ViewDir;
  int32_t ShadingModel = 0; // fills the fourth word of ViewDir's vec3 slot
  std::array<TVantrelShaderMaterial, 1> Material{};
  std::array<TVantrelShaderLight, 32> Lights{};
  int32_t LightsCount = 0;
  int32_t Options = 0;
  float ShadingIntensity = 0;
  float Brightness = 0;
  int32_t FogMode = 0;
  float FogDensity = 0;
  float FogStart = 0;
  float FogEnd = 0;
  TAlphaColorF FogColor;
  TVector3D FrustumMin;
  TVector3D FrustumMax;
  TVector3D SceneMin;
  TVector3D SceneMax;
  TVector3D BoundaryMin;
  TVector3D BoundaryMax;
  TVector3D ViewSize; // width, height, near plane, far plane
  TVector3D ClippingPlane;
  std::array<TVantrelShaderPassData, 1> PassData{};

  // Every byte zero, then the defaults: Blinn-Phong, intensity and brightness 1, view size
  // (0, 0, 1, 1000), the material record's defaults, linear fog on from 100 to 500.
  static TVantrelShaderData Create();
};
static_assert(std::is_standard_layout_v<TVantrelShaderData> &&
              std::is_trivially_copyable_v<TVantrelShaderData>);
static_assert(std::is_standard_layout_v<TVantrelShaderPassData> &&
              std::is_trivially_copyable_v<TVantrelShaderPassData>);
static_assert(sizeof(TVantrelShaderData) == 6352);
static_assert(offsetof(TVantrelShaderData, ModelViewProjectionMatrix) == 0);
static_assert(offsetof(TVantrelShaderData, ViewMatrix) == 64);
static_assert(offsetof(TVantrelShaderData, ProjectionMatrix) == 128);
static_assert(offsetof(TVantrelShaderData, TimeInfo) == 192);
static_assert(offsetof(TVantrelShaderData, EyePos) == 208);
static_assert(offsetof(TVantrelShaderData, ViewDir) == 224);
static_assert(offsetof(TVantrelShaderData, ShadingModel) == 236);
static_assert(offsetof(TVantrelShaderData, Material) == 240);
static_assert(offsetof(TVantrelShaderData, Lights) == 896);
static_assert(offsetof(TVantrelShaderData, LightsCount) == 5504);
static_assert(offsetof(TVantrelShaderData, Options) == 5508);
static_assert(offsetof(TVantrelShaderData, ShadingIntensity) == 5512);
static_assert(offsetof(TVantrelShaderData, Brightness) == 5516);
static_assert(offsetof(TVantrelShaderData, FogMode) == 5520);
static_assert(offsetof(TVantrelShaderData, FogDensity) == 5524);
static_assert(offsetof(TVantrelShaderData, FogStart) == 5528);
static_assert(offsetof(TVantrelShaderData, FogEnd) == 5532);
static_assert(offsetof(TVantrelShaderData, FogColor) == 5536);
static_assert(offsetof(TVantrelShaderData, FrustumMin) == 5552);
static_assert(offsetof(TVantrelShaderData, FrustumMax) == 5568);
static_assert(offsetof(TVantrelShaderData, SceneMin) == 5584);
static_assert(offsetof(TVantrelShaderData, SceneMax) == 5600);
static_assert(offsetof(TVantrelShaderData, BoundaryMin) == 5616);
static_assert(offsetof(TVantrelShaderData, BoundaryMax) == 5632);
static_assert(offsetof(TVantrelShaderData, ViewSize) == 5648);
static_assert(offsetof(TVantrelShaderData, ClippingPlane) == 5664);
static_assert(offsetof(TVantrelShaderData, PassData) == 5680);

} // namespace vantrel
