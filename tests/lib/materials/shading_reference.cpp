#include "shading_reference.h"

#include <algorithm>
#include <cmath>

namespace vref {

namespace {

constexpr double Pi = 3.141592653589793;
constexpr double Epsilon = 0.002;
constexpr double InvGamma = 1.0 / 2.2;

double Clamp01(double AValue) {
  return std::clamp(AValue, 0.0, 1.0);
}

TVec3 Map(const TVec3& AValue, const std::function<double(double)>& AFunction) {
  return {AFunction(AValue.X), AFunction(AValue.Y), AFunction(AValue.Z)};
}

TVec3 Splat(double AValue) {
  return {AValue, AValue, AValue};
}

TVec3 Gamma(const TVec3& AValue) {
  return Map(AValue, [](double c) { return std::pow(c, InvGamma); });
}

double Narkowicz(double c) {
  return Clamp01((c * (2.51 * c + 0.03)) / (c * (2.43 * c + 0.59) + 0.14));
}

double RRTAndODTFit(double c) {
  return (c * (c + 0.0245786) - 0.000090537) / (c * (0.983729 * c + 0.4329510) + 0.238081);
}

// The two fitted matrices, row by row (the text's column-major constructor transposed).
TVec3 Multiply(const double AMatrix[3][3], const TVec3& AValue) {
  return {AMatrix[0][0] * AValue.X + AMatrix[0][1] * AValue.Y + AMatrix[0][2] * AValue.Z,
          AMatrix[1][0] * AValue.X + AMatrix[1][1] * AValue.Y + AMatrix[1][2] * AValue.Z,
          AMatrix[2][0] * AValue.X + AMatrix[2][1] * AValue.Y + AMatrix[2][2] * AValue.Z};
}

TVec3 Hill(const TVec3& AColor) {
  static const double input[3][3] = {
      {0.59719, 0.35458, 0.04823}, {0.07600, 0.90834, 0.01566}, {0.02840, 0.13383, 0.83777}};
  static const double output[3][3] = {
      {1.60475, -0.53108, -0.07367}, {-0.10208, 1.10813, -0.00605}, {-0.00327, -0.07276, 1.07602}};
  return Map(Multiply(output, Map(Multiply(input, AColor), RRTAndODTFit)), Clamp01);
}

double Uncharted2Curve(double x) {
  const double A = 0.15, B = 0.50, C = 0.10, D = 0.20, E = 0.02, F = 0.30;
  return ((x * (A * x + C * B) + D * E) / (x * (A * x + B) + D * F)) - E / F;
}

TVec3 LumaReinhard(const TVec3& AColor, double AExposure, double AWhite) {
  const TVec3 color = AColor * AExposure;
  const double luma = color.Dot({0.2126, 0.7152, 0.0722});
  if (luma <= 0)
    return {};
  const double mapped = AWhite > 0 ? luma * (1 + luma / (AWhite * AWhite)) / (1 + luma) : luma / (1 + luma);
  return Gamma(color * (mapped / luma));
}

} // namespace

double TVec3::Length() const {
  return std::sqrt(Dot(*this));
}

double FSchlick(double AF0, double AF90, double AVdotH) {
  return AF0 + (AF90 - AF0) * std::pow(Clamp01(1 - AVdotH), 5);
}

// The bound 0.9999 is a float literal in the shader; at VdotH 0 the result divides by 1 - bound, so
// the model takes the same float value.
double SchlickToF0(double AF, double AF90, double AVdotH) {
  const double x5 = std::clamp(std::pow(Clamp01(1 - AVdotH), 5), 0.0, static_cast<double>(0.9999f));
  return (AF - AF90 * x5) / (1 - x5);
}

double VGGX(double ANdotL, double ANdotV, double AAlphaRoughness) {
  const double a2 = AAlphaRoughness * AAlphaRoughness;
  const double ggx = ANdotL * std::sqrt(ANdotV * ANdotV * (1 - a2) + a2) +
                     ANdotV * std::sqrt(ANdotL * ANdotL * (1 - a2) + a2);
  return ggx > 0 ? 0.5 / ggx : 0.0;
}

double DGGX(double ANdotH, double AAlphaRoughness) {
  const double a2 = AAlphaRoughness * AAlphaRoughness;
  const double f = ANdotH * ANdotH * (a2 - 1) + 1;
  return a2 / (Pi * f * f);
}

double ApplyIorToRoughness(double ARoughness, double AIor) {
  return ARoughness * Clamp01(AIor * 2 - 2);
}

TVec3 IBLRadianceGGX(const TVec3& ASpecularLight, double ANdotV, double ARoughness, const TVec3& AF0,
                     double ASpecularWeight) {
  const TVec3 fr = Map(AF0, [&](double f0) { return std::max(1 - ARoughness, f0) - f0; });
  const TVec3 ks = AF0 + fr * std::pow(Clamp01(1 - ANdotV), 5);
  return ASpecularLight * ks * ASpecularWeight;
}

TVec3 IBLRadianceLambertian(const TVec3& AIrradiance, double ANdotV, double ARoughness, const TVec3& ADiffuse,
                            const TVec3& AF0, double ASpecularWeight) {
  const TVec3 fr = Map(AF0, [&](double f0) { return std::max(1 - ARoughness, f0) - f0; });
  const TVec3 ks = AF0 + fr * std::pow(Clamp01(1 - ANdotV), 5);
  const TVec3 fssEss = ks * ASpecularWeight;
  const TVec3 fAvg = (AF0 + (Splat(1) - AF0) / 21.0) * ASpecularWeight;
  const TVec3 fmsEms = {fssEss.X * fAvg.X / (1 - fAvg.X), fssEss.Y * fAvg.Y / (1 - fAvg.Y),
                        fssEss.Z * fAvg.Z / (1 - fAvg.Z)};
  const TVec3 kd = ADiffuse * (Splat(1) - fssEss + fmsEms);
  return (fmsEms + kd) * AIrradiance;
}

double LambdaSheenNumericHelper(double AX, double AAlphaG) {
  const double t = (1 - AAlphaG) * (1 - AAlphaG);
  auto mix = [t](double a, double b) { return a + (b - a) * t; };
  const double a = mix(21.5473, 25.3245), b = mix(3.82987, 3.32435), c = mix(0.19823, 0.16801),
               d = mix(-1.97760, -1.27393), e = mix(-4.32054, -4.85967);
  return a / (1 + b * std::pow(AX, c)) + d * AX + e;
}

double LambdaSheen(double ACosTheta, double AAlphaG) {
  if (std::abs(ACosTheta) < 0.5)
    return std::exp(LambdaSheenNumericHelper(ACosTheta, AAlphaG));
  return std::exp(2 * LambdaSheenNumericHelper(0.5, AAlphaG) -
                  LambdaSheenNumericHelper(1 - ACosTheta, AAlphaG));
}

double VSheen(double ANdotL, double ANdotV, double ASheenRoughness) {
  const double r = std::max(ASheenRoughness, 0.000001);
  const double alphaG = r * r;
  return Clamp01(1 /
                 ((1 + LambdaSheen(ANdotV, alphaG) + LambdaSheen(ANdotL, alphaG)) * (4 * ANdotV * ANdotL)));
}

double DCharlie(double ASheenRoughness, double ANdotH) {
  const double r = std::max(ASheenRoughness, 0.000001);
  const double invR = 1 / (r * r);
  return (2 + invR) * std::pow(1 - ANdotH * ANdotH, invR * 0.5) / (2 * Pi);
}

TVec3 BRDFLambertian(const TVec3& AF0, const TVec3& AF90, const TVec3& ADiffuse, double ASpecularWeight,
                     double AVdotH) {
  const TVec3 f = {FSchlick(AF0.X, AF90.X, AVdotH), FSchlick(AF0.Y, AF90.Y, AVdotH),
                   FSchlick(AF0.Z, AF90.Z, AVdotH)};
  return (Splat(1) - f * ASpecularWeight) * (ADiffuse / Pi);
}

TVec3 BRDFSpecularGGX(const TVec3& AF0, const TVec3& AF90, double AAlphaRoughness, double ASpecularWeight,
                      double AVdotH, double ANdotL, double ANdotV, double ANdotH) {
  const TVec3 f = {FSchlick(AF0.X, AF90.X, AVdotH), FSchlick(AF0.Y, AF90.Y, AVdotH),
                   FSchlick(AF0.Z, AF90.Z, AVdotH)};
  return f * (ASpecularWeight * VGGX(ANdotL, ANdotV, AAlphaRoughness) * DGGX(ANdotH, AAlphaRoughness));
}

TVec3 ToneMap(int AOperator, const TVec3& AColor, double AExposure, bool APBR) {
  auto gammaWithPBR = [APBR](const TVec3& AValue) { return APBR ? Gamma(AValue) : AValue; };
  switch (AOperator) {
  case 0:
    return gammaWithPBR(AColor * AExposure);
  case 1:
    return gammaWithPBR(Map(AColor * AExposure, Narkowicz));
  case 2:
    return gammaWithPBR(Hill(AColor * AExposure));
  case 3:
    return gammaWithPBR(Hill(AColor * (AExposure / 0.6)));
  case 4: {
    const double e = AExposure * 1.5;
    if (e <= 0)
      return {};
    return Gamma(Map(AColor, [e](double c) { return c * e / (1 + c / e); }));
  }
  case 5:
    return LumaReinhard(AColor, AExposure, 0);
  case 6:
    return LumaReinhard(AColor, AExposure, 2.0);
  case 7:
    return Gamma(Map(AColor * AExposure, [](double c) { return std::exp(-1 / (2.72 * c + 0.15)); }));
  case 8:
    return Map(AColor * AExposure, [](double c) {
      c = std::max(0.0, c - 0.004);
      return (c * (6.2 * c + 0.5)) / (c * (6.2 * c + 1.7) + 0.06);
    });
  default:
    return Gamma(Map(AColor * (2 * AExposure),
                     [](double c) { return std::max(0.0, Uncharted2Curve(c) / Uncharted2Curve(11.2)); }));
  }
}

double ComputeFog(int AMode, double AStart, double AEnd, double ADensity, double ADistance) {
  if ((AMode & 1) == 0)
    return 1;
  double f;
  if (AMode & 2)
    f = AEnd == AStart ? (ADistance < AEnd ? 1.0 : 0.0) : (AEnd - ADistance) / (AEnd - AStart);
  else if (AMode & 4)
    f = std::exp(-(ADistance * ADensity));
  else
    f = std::exp(-std::pow(ADistance * ADensity, 2));
  return Clamp01(f);
}

double ShadowDepthComparison(double AZ, double AClosest, double ANdotL) {
  if (AZ > 1)
    return 0.5;
  const double bias = std::max(0.05 * (1 - ANdotL), 0.005);
  return AZ - bias > AClosest ? 0.5 : 1.0;
}

double ShadowVariance(double AZ, double AMean, double AMeanOfSquares) {
  if (AZ <= AMean)
    return 1;
  const double variance = std::max(AMeanOfSquares - AMean * AMean, 0.00002);
  const double d = AZ - AMean;
  return variance / (variance + d * d);
}

double ParallaxLayers(int ALevels, const TVec3& AView) {
  const double t = std::max(AView.Z, 0.0);
  return ALevels + (4.0 - ALevels) * t;
}

TVec2 ParallaxOcclusion(double ANormalIntensity, int ALevels, const std::function<double(TVec2)>& ADepth,
                        TVec2 AUv, const TVec3& AView, double APivot) {
  const double layers = ParallaxLayers(ALevels, AView);
  const double layerDepth = 1 / layers;
  double current = 0;
  const TVec2 delta = {AView.X / AView.Z / layers * ANormalIntensity,
                       AView.Y / AView.Z / layers * ANormalIntensity};
  TVec2 uv = {AUv.X + APivot * delta.X, AUv.Y + APivot * delta.Y};
  double depth = ADepth(uv);
  for (int i = 0; i < static_cast<int>(layers); ++i) {
    if (current > depth)
      break;
    uv = {uv.X - delta.X, uv.Y - delta.Y};
    depth = ADepth(uv);
    current += layerDepth;
  }
  const TVec2 prev = {uv.X + delta.X, uv.Y + delta.Y};
  const double end = depth - current;
  const double start = ADepth(prev) - current + layerDepth;
  const double w = end / (end - start);
  return {uv.X + (prev.X - uv.X) * w, uv.Y + (prev.Y - uv.Y) * w};
}

double TranslucencyWeight(const TVec3& AColor, double AAlpha, double AFragVertDist) {
  const double distance = std::clamp(0.03 / (1e-5 + std::pow(AFragVertDist, 4)), 1e-2, 3e3);
  return std::max(std::min(1.0, std::max({AColor.X, AColor.Y, AColor.Z}) * AAlpha), AAlpha) * distance;
}

double PBRGreyValue(const TVec3& AAlbedo, double AFactor) {
  return std::max(AAlbedo.Dot({0.299, 0.587, 0.114}) * 2.25 * AFactor, Epsilon);
}

TVec3 ShadePBR(const TPBRFragment& AFragment) {
  const TVec3 n = AFragment.Normal, v = AFragment.View;
  const double ndotv = std::max(0.0, n.Dot(v));
  const double shininess = AFragment.Shininess > 1 ? AFragment.Shininess / 100 : AFragment.Shininess;
  const TVec3 f90 = Splat(1);
  const TVec3 cdiff = AFragment.Albedo * (1 - AFragment.Metallic);
  const double roughness = ApplyIorToRoughness(AFragment.Roughness, 1.5);
  const TVec3 f0 = Splat(0.04) + (AFragment.Albedo - Splat(0.04)) * AFragment.Metallic;
  const double alpha = roughness * roughness;
  TVec3 diffuse, specular;
  double shadingX = 1, shadingY = 1, intensity = 0, sceneAttenuation = 0;
  for (const TPBRLight& light : AFragment.Lights) {
    const TVec3 l = light.ToLight;
    const TVec3 sum = v + l;
    const TVec3 h = sum.Dot(sum) > 0 ? sum.Normalized() : n;
    intensity += light.Intensity;
    sceneAttenuation += light.Attenuation;
    const double ndotl = std::max(0.0, n.Dot(l)), ndoth = std::max(0.0, n.Dot(h)),
                 vdoth = std::max(0.0, v.Dot(h));
    const TVec3 radiance = light.Diffuse * (light.Attenuation * ndotl);
    diffuse = diffuse + radiance * BRDFLambertian(f0, f90, cdiff, 1, vdoth);
    specular = specular + radiance * BRDFSpecularGGX(f0, f90, alpha, 1, vdoth, ndotl, ndotv, ndoth);
    shadingX *= light.Attenuation;
    shadingY *= light.Attenuation;
  }
  diffuse = diffuse * AFragment.MaterialDiffuse * AFragment.AO;
  specular = specular * AFragment.MaterialSpecular * (shininess * AFragment.AO);
  const TVec3 ambient = diffuse * AFragment.MaterialAmbient * AFragment.AO;
  if (AFragment.ConstantRadiance)
    specular = specular + IBLRadianceGGX(f0, ndotv, roughness, f0, 1);
  intensity = AFragment.Lights.empty() ? 1.0 : intensity / AFragment.Lights.size();
  diffuse = diffuse + specular + ambient * shadingY;
  TVec3 color = diffuse * (AFragment.ShadingIntensity * shadingX);
  color = AFragment.ToneMap >= 0 ? ToneMap(AFragment.ToneMap, color, AFragment.Exposure, true) : Gamma(color);
  return color * (intensity * Clamp01(sceneAttenuation)) + AFragment.Emissive * 0.3;
}

} // namespace vref
