#pragma once
// The sky box: its shader record, which is also the shaders' uniform block "SkyBoxShaderData".

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Vantrel.Prelude.h"
#include "rtl/colors.h"
#include "rtl/json.h"
#include "rtl/math3d.h"
#include "rtl/types2d.h"

namespace vantrel {

// The sky settings and per-draw values in the std140 layout of the uniform block
// "SkyBoxShaderData" (binding 0). Matrices are stored as the host keeps them (row vectors); the
// shaders multiply matrix times column vector, which applies the same transform.
struct TSkyBoxShaderData {
  rtl::TMatrix3D ModelViewProjMatrix;
  rtl::TMatrix3D ModelMatrix;
  rtl::TMatrix3D ViewMatrix;
  rtl::TMatrix3D ProjMatrix;
  rtl::TVector3D TimeInfo;
  rtl::TVector3D EyePos;
  rtl::TAlphaColorF Diffuse;
  rtl::TAlphaColorF Emissive;
  rtl::TVector3D Resolution;
  rtl::TPointF CrescentOfs;
  float CrescentMoon;
  float MoonSurface;
  float DepolarizationFactor;
  float Luminance;
  float MieCoefficient;
  float MieDirectionalG;
  float MieV;
  float MieZenithLength;
  uint8_t Reserve1[8];
  rtl::TVector3D MieKCoefficient;
  rtl::TPoint3D Primaries;
  float NumMolecules;
  float Rayleigh;
  float RayleighZenithLength;
  float RefractiveIndex;
  float SunAngularDiameterDegrees;
  float SunIntensityFactor;
  float SunIntensityFalloffSteepness;
  float TonemapWeighting;
  float Turbidity;
  float Inclination;
  float Azimuth;
  float StarDensity;
  float StarProbe;
  float StarSize;
  float StarSpark;
  float StarBrightness;
  float Reserve2;
  rtl::TAlphaColorF StarColor;
  rtl::TAlphaColorF CloudColor;
  int32_t CloudIterations;
  float CloudFrequency;
  float CloudAmplitude;
  int32_t FogMode;
  float FogDensity;
  float FogStart;
  float FogEnd;
  float Reserve3;
  rtl::TAlphaColorF FogColor;
  rtl::TVector3D Settings;

  // A zeroed record with the defaults; style 0 has a sun diameter of 0.1, any other 0.05.
  static TSkyBoxShaderData Create(int32_t AStyle);
  void Reset(int32_t AStyle);

  // The 34 configuration values, scalars as the Single widened to double, CloudIterations as an
  // integer.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const;
  // Resets the record (style 0) and reads the configuration values; missing or mistyped values
  // keep their defaults, and nothing is clamped except CloudIterations (0..16).
  void FromJSON(const rtl::TJSONObject& AJSON);
};

static_assert(sizeof(TSkyBoxShaderData) == 576);
static_assert(offsetof(TSkyBoxShaderData, ModelViewProjMatrix) == 0);
static_assert(offsetof(TSkyBoxShaderData, ModelMatrix) == 64);
static_assert(offsetof(TSkyBoxShaderData, ViewMatrix) == 128);
static_assert(offsetof(TSkyBoxShaderData, ProjMatrix) == 192);
static_assert(offsetof(TSkyBoxShaderData, TimeInfo) == 256);
static_assert(offsetof(TSkyBoxShaderData, EyePos) == 272);
static_assert(offsetof(TSkyBoxShaderData, Diffuse) == 288);
static_assert(offsetof(TSkyBoxShaderData, Emissive) == 304);
static_assert(offsetof(TSkyBoxShaderData, Resolution) == 320);
static_assert(offsetof(TSkyBoxShaderData, CrescentOfs) == 336);
static_assert(offsetof(TSkyBoxShaderData, CrescentMoon) == 344);
static_assert(offsetof(TSkyBoxShaderData, MoonSurface) == 348);
static_assert(offsetof(TSkyBoxShaderData, DepolarizationFactor) == 352);
static_assert(offsetof(TSkyBoxShaderData, Luminance) == 356);
static_assert(offsetof(TSkyBoxShaderData, MieCoefficient) == 360);
static_assert(offsetof(TSkyBoxShaderData, MieDirectionalG) == 364);
static_assert(offsetof(TSkyBoxShaderData, MieV) == 368);
static_assert(offsetof(TSkyBoxShaderData, MieZenithLength) == 372);
static_assert(offsetof(TSkyBoxShaderData, Reserve1) == 376);
static_assert(offsetof(TSkyBoxShaderData, MieKCoefficient) == 384);
static_assert(offsetof(TSkyBoxShaderData, Primaries) == 400);
static_assert(offsetof(TSkyBoxShaderData, NumMolecules) == 412);
static_assert(offsetof(TSkyBoxShaderData, Rayleigh) == 416);
static_assert(offsetof(TSkyBoxShaderData, RayleighZenithLength) == 420);
static_assert(offsetof(TSkyBoxShaderData, RefractiveIndex) == 424);
static_assert(offsetof(TSkyBoxShaderData, SunAngularDiameterDegrees) == 428);
static_assert(offsetof(TSkyBoxShaderData, SunIntensityFactor) == 432);
static_assert(offsetof(TSkyBoxShaderData, SunIntensityFalloffSteepness) == 436);
static_assert(offsetof(TSkyBoxShaderData, TonemapWeighting) == 440);
static_assert(offsetof(TSkyBoxShaderData, Turbidity) == 444);
static_assert(offsetof(TSkyBoxShaderData, Inclination) == 448);
static_assert(offsetof(TSkyBoxShaderData, Azimuth) == 452);
static_assert(offsetof(TSkyBoxShaderData, StarDensity) == 456);
static_assert(offsetof(TSkyBoxShaderData, StarProbe) == 460);
static_assert(offsetof(TSkyBoxShaderData, StarSize) == 464);
static_assert(offsetof(TSkyBoxShaderData, StarSpark) == 468);
static_assert(offsetof(TSkyBoxShaderData, StarBrightness) == 472);
static_assert(offsetof(TSkyBoxShaderData, Reserve2) == 476);
static_assert(offsetof(TSkyBoxShaderData, StarColor) == 480);
static_assert(offsetof(TSkyBoxShaderData, CloudColor) == 496);
static_assert(offsetof(TSkyBoxShaderData, CloudIterations) == 512);
static_assert(offsetof(TSkyBoxShaderData, CloudFrequency) == 516);
static_assert(offsetof(TSkyBoxShaderData, CloudAmplitude) == 520);
static_assert(offsetof(TSkyBoxShaderData, FogMode) == 524);
static_assert(offsetof(TSkyBoxShaderData, FogDensity) == 528);
static_assert(offsetof(TSkyBoxShaderData, FogStart) == 532);
static_assert(offsetof(TSkyBoxShaderData, FogEnd) == 536);
static_assert(offsetof(TSkyBoxShaderData, Reserve3) == 540);
static_assert(offsetof(TSkyBoxShaderData, FogColor) == 544);
static_assert(offsetof(TSkyBoxShaderData, Settings) == 560);

} // namespace vantrel

namespace rtl {
class TStream;
}

namespace vantrel {

// CloudIterations as the shader may loop it: rounded and limited to 0..16 (NaN gives 0).
int32_t ClampCloudIterations(double AValue);
// The configuration from the stream's position to its end, as UTF-8 JSON text (GL-free). Text
// that is no JSON object raises "failed to load sky box configuration - json object expected".
TSkyBoxShaderData ReadSkyBoxConfiguration(rtl::TStream& AStream);
// The configuration as compact UTF-8 JSON text without byte-order mark, at the stream's position.
void WriteSkyBoxConfiguration(const TSkyBoxShaderData& AData, rtl::TStream& AStream);

} // namespace vantrel
