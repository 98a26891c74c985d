#include "materials/Vantrel.Material.Default.GLSL.Texts.h"

#include <cstddef>

#include "materials/Vantrel.Material.Default.Nodes.h"

namespace vantrel {

namespace {

// A text kept readable in the source with LF line ends and stored, at compile time, with CR LF.
template <size_t N> struct TCrLfText {
  char Data[2 * N] = {};
  size_t Size = 0;

  consteval TCrLfText(const char (&AText)[N]) {
    for (size_t i = 0; i + 1 < N; ++i) {
      if (AText[i] == '\n')
        Data[Size++] = '\r';
      Data[Size++] = AText[i];
    }
  }
  constexpr std::string_view View() const { return {Data, Size}; }
};

constexpr TCrLfText ShadowMapping(
    R"(float ShadowCalculation(sampler2D p_ShadowMapTexture, mat4 p_ShadowMapMatrix, mat4 p_ModelMatrix, vec4 p_LightDir){
  const float c_MinVal = 0.5;
  vec4 l_Pos = p_ModelMatrix * vars.v_VertPos;
  l_Pos = p_ShadowMapMatrix * l_Pos;
  vec3 l_ProjCoords = l_Pos.xyz / l_Pos.w;
  if (l_ProjCoords.z > 1.0)
    return c_MinVal;
  float l_ClosestDepth = tex2D(p_ShadowMapTexture, l_ProjCoords.xy).r;
  float l_Bias = max(0.05 * (1.0 - dot(vars.v_TBN[2], p_LightDir.xyz)), 0.005);
  float l_Light = (l_ProjCoords.z - l_Bias > l_ClosestDepth) ? 0.0 : 1.0;
  return max(l_Light, c_MinVal);
}

)");

constexpr TCrLfText VarianceShadowMapping(
    R"(float ShadowCalculation(sampler2D p_ShadowMapTexture, mat4 p_ShadowMapMatrix, mat4 p_ModelMatrix){
  vec4 l_Pos = vec4(vars.v_TransfVertPos, 1.0);
  l_Pos = p_ShadowMapMatrix * l_Pos;
  vec3 l_ProjCoords = l_Pos.xyz / l_Pos.w;
  vec2 l_Moments = tex2D(p_ShadowMapTexture, l_ProjCoords.xy).rg;
  if (l_ProjCoords.z <= l_Moments.x)
    return 1.0;
  float l_Variance = max(l_Moments.y - l_Moments.x * l_Moments.x, 0.00002);
  float l_D = l_ProjCoords.z - l_Moments.x;
  return l_Variance / (l_Variance + l_D * l_D);
}

)");

constexpr TCrLfText PBRFuncs(R"(const float PBR_PI = 3.141592653589793;
const float PBR_Epsilon = 0.002;
const float PBR_EmissiveFac = 0.3;
const vec3 Fdielectric = vec3(0.04);

vec2 getIBLSamplePointGGXLUT(float NdotV, float roughness){
  return clamp(vec2(NdotV, roughness), vec2(0.0), vec2(1.0));
}

vec3 getIBLRadianceLambertian(vec3 irradiance, float NdotV, float roughness, vec3 diffuseColor, vec3 F0, float specularWeight){
  vec3 l_Fr = max(vec3(1.0 - roughness), F0) - F0;
  vec3 l_KS = F0 + l_Fr * pow(clamp(1.0 - NdotV, 0.0, 1.0), 5.0);
  vec3 l_FssEss = specularWeight * l_KS;
  float l_Ems = 1.0;
  vec3 l_FAvg = specularWeight * (F0 + (1.0 - F0) / 21.0);
  vec3 l_FmsEms = l_Ems * l_FssEss * l_FAvg / (1.0 - l_FAvg * l_Ems);
  vec3 l_KD = diffuseColor * (1.0 - l_FssEss + l_FmsEms);
  return (l_FmsEms + l_KD) * irradiance;
}

vec3 getIBLRadianceGGX(vec3 specularLight, float NdotV, float roughness, vec3 F0, float specularWeight){
  vec3 l_Fr = max(vec3(1.0 - roughness), F0) - F0;
  vec3 l_KS = F0 + l_Fr * pow(clamp(1.0 - NdotV, 0.0, 1.0), 5.0);
  return specularWeight * specularLight * l_KS;
}

float applyIorToRoughness(float roughness, float ior){
  return roughness * clamp(ior * 2.0 - 2.0, 0.0, 1.0);
}

vec3 F_Schlick(vec3 f0, vec3 f90, float VdotH){
  return f0 + (f90 - f0) * pow(clamp(1.0 - VdotH, 0.0, 1.0), 5.0);
}

float F_Schlick(float f0, float f90, float VdotH){
  float l_X = clamp(1.0 - VdotH, 0.0, 1.0);
  float l_X2 = l_X * l_X;
  float l_X5 = l_X * l_X2 * l_X2;
  return f0 + (f90 - f0) * l_X5;
}

float F_Schlick(float f0, float VdotH){
  return F_Schlick(f0, 1.0, VdotH);
}

vec3 F_Schlick(vec3 f0, float f90, float VdotH){
  float l_X = clamp(1.0 - VdotH, 0.0, 1.0);
  float l_X2 = l_X * l_X;
  float l_X5 = l_X * l_X2 * l_X2;
  return f0 + (f90 - f0) * l_X5;
}

vec3 F_Schlick(vec3 f0, float VdotH){
  return F_Schlick(f0, 1.0, VdotH);
}

vec3 Schlick_to_F0(vec3 f, vec3 f90, float VdotH){
  float l_X = clamp(1.0 - VdotH, 0.0, 1.0);
  float l_X2 = l_X * l_X;
  float l_X5 = clamp(l_X * l_X2 * l_X2, 0.0, 0.9999);
  return (f - f90 * l_X5) / (1.0 - l_X5);
}

float Schlick_to_F0(float f, float f90, float VdotH){
  float l_X = clamp(1.0 - VdotH, 0.0, 1.0);
  float l_X2 = l_X * l_X;
  float l_X5 = clamp(l_X * l_X2 * l_X2, 0.0, 0.9999);
  return (f - f90 * l_X5) / (1.0 - l_X5);
}

vec3 Schlick_to_F0(vec3 f, float VdotH){
  return Schlick_to_F0(f, vec3(1.0), VdotH);
}

float Schlick_to_F0(float f, float VdotH){
  return Schlick_to_F0(f, 1.0, VdotH);
}

float V_GGX(float NdotL, float NdotV, float alphaRoughness){
  float l_A2 = alphaRoughness * alphaRoughness;
  float l_GGXV = NdotL * sqrt(NdotV * NdotV * (1.0 - l_A2) + l_A2);
  float l_GGXL = NdotV * sqrt(NdotL * NdotL * (1.0 - l_A2) + l_A2);
  float l_GGX = l_GGXV + l_GGXL;
  if (l_GGX > 0.0)
    return 0.5 / l_GGX;
  return 0.0;
}

float D_GGX(float NdotH, float alphaRoughness){
  float l_A2 = alphaRoughness * alphaRoughness;
  float l_F = (NdotH * NdotH) * (l_A2 - 1.0) + 1.0;
  return l_A2 / (PBR_PI * l_F * l_F);
}

float lambdaSheenNumericHelper(float x, float alphaG){
  float l_OneMinusAlphaSq = (1.0 - alphaG) * (1.0 - alphaG);
  float l_A = mix(21.5473, 25.3245, l_OneMinusAlphaSq);
  float l_B = mix(3.82987, 3.32435, l_OneMinusAlphaSq);
  float l_C = mix(0.19823, 0.16801, l_OneMinusAlphaSq);
  float l_D = mix(-1.97760, -1.27393, l_OneMinusAlphaSq);
  float l_E = mix(-4.32054, -4.85967, l_OneMinusAlphaSq);
  return l_A / (1.0 + l_B * pow(x, l_C)) + l_D * x + l_E;
}

float lambdaSheen(float cosTheta, float alphaG){
  if (abs(cosTheta) < 0.5)
    return exp(lambdaSheenNumericHelper(cosTheta, alphaG));
  return exp(2.0 * lambdaSheenNumericHelper(0.5, alphaG) - lambdaSheenNumericHelper(1.0 - cosTheta, alphaG));
}

float V_Sheen(float NdotL, float NdotV, float sheenRoughness){
  sheenRoughness = max(sheenRoughness, 0.000001);
  float l_AlphaG = sheenRoughness * sheenRoughness;
  return clamp(1.0 / ((1.0 + lambdaSheen(NdotV, l_AlphaG) + lambdaSheen(NdotL, l_AlphaG)) * (4.0 * NdotV * NdotL)), 0.0, 1.0);
}

float D_Charlie(float sheenRoughness, float NdotH){
  sheenRoughness = max(sheenRoughness, 0.000001);
  float l_AlphaG = sheenRoughness * sheenRoughness;
  float l_InvR = 1.0 / l_AlphaG;
  float l_Cos2h = NdotH * NdotH;
  float l_Sin2h = 1.0 - l_Cos2h;
  return (2.0 + l_InvR) * pow(l_Sin2h, l_InvR * 0.5) / (2.0 * PBR_PI);
}

vec3 BRDF_lambertian(vec3 f0, vec3 f90, vec3 diffuseColor, float specularWeight, float VdotH){
  return (1.0 - specularWeight * F_Schlick(f0, f90, VdotH)) * (diffuseColor / PBR_PI);
}

vec3 BRDF_specularGGX(vec3 f0, vec3 f90, float alphaRoughness, float specularWeight, float VdotH, float NdotL, float NdotV, float NdotH){
  vec3 l_F = F_Schlick(f0, f90, VdotH);
  float l_Vis = V_GGX(NdotL, NdotV, alphaRoughness);
  float l_D = D_GGX(NdotH, alphaRoughness);
  return specularWeight * l_F * l_Vis * l_D;
}

vec3 BRDF_specularSheen(vec3 sheenColor, float sheenRoughness, float NdotL, float NdotV, float NdotH){
  float l_SheenDistribution = D_Charlie(sheenRoughness, NdotH);
  float l_SheenVisibility = V_Sheen(NdotL, NdotV, sheenRoughness);
  return sheenColor * l_SheenDistribution * l_SheenVisibility;
}

)");

constexpr TCrLfText POMFunc(
    R"(vec2 ParallaxOcclusionMapping(in float p_NormalIntensity, in int p_ParallaxLevels, sampler2D p_DepthMap, vec2 p_Uv, vec3 p_FragViewDir, float p_Pivot){
  float l_Layers = mix(float(p_ParallaxLevels), 4.0, max(dot(vec3(0.0, 0.0, 1.0), p_FragViewDir), 0.0));
  float l_LayerDepth = 1.0 / l_Layers;
  float l_CurLayerDepth = 0.0;
  vec2 l_Delta = (p_FragViewDir.xy / p_FragViewDir.z) / l_Layers * p_NormalIntensity;
  vec2 l_Uv = p_Uv + p_Pivot * l_Delta;
  float l_Depth = tex2D(p_DepthMap, l_Uv).r;
  for(int i = 0; i < int(l_Layers); i++){
    if (l_CurLayerDepth > l_Depth)
      break;
    l_Uv -= l_Delta;
    l_Depth = tex2D(p_DepthMap, l_Uv).r;
    l_CurLayerDepth += l_LayerDepth;
  }
  vec2 l_PrevUv = l_Uv + l_Delta;
  float l_EndDepth = l_Depth - l_CurLayerDepth;
  float l_StartDepth = tex2D(p_DepthMap, l_PrevUv).r - l_CurLayerDepth + l_LayerDepth;
  float l_Weight = l_EndDepth / (l_EndDepth - l_StartDepth);
  return mix(l_Uv, l_PrevUv, l_Weight);
}

)");

// Linear fog with start = end is the step the formula tends to: full visibility before the end,
// none from it on. Every other range, a reversed one included, keeps the formula.
constexpr TCrLfText FogFunc(R"(#define GLI_FOG_ENABLED        1
#define GLI_FOG_MODE_LINEAR    2
#define GLI_FOG_MODE_EXP       4
#define GLI_FOG_MODE_EXP2      8

float computeFog(in int p_FogMode, in float p_FogStart, in float p_FogEnd, in float p_FogDensity, vec3 p_VertPos, vec3 p_EyePos){
  if ((p_FogMode & GLI_FOG_ENABLED) == 0)
    return 1.0;
  float l_Dist = length(p_VertPos - p_EyePos);
  float l_Fog;
  if ((p_FogMode & GLI_FOG_MODE_LINEAR) != 0){
    if (p_FogEnd == p_FogStart)
      l_Fog = (l_Dist < p_FogEnd) ? 1.0 : 0.0;
    else
      l_Fog = (p_FogEnd - l_Dist) / (p_FogEnd - p_FogStart);
  }
  else if ((p_FogMode & GLI_FOG_MODE_EXP) != 0)
    l_Fog = exp(-(l_Dist * p_FogDensity));
  else{
    float l_Density = l_Dist * p_FogDensity;
    l_Fog = exp(-(l_Density * l_Density));
  }
  return clamp(l_Fog, 0.0, 1.0);
}

)");

// ---- Tone-map operators -------------------------------------------------------------------------

constexpr TCrLfText ExposureBody(R"(  color *= exposure;
)");

constexpr TCrLfText NarkowiczHelpers(R"(vec3 toneMapACES_Narkowicz(vec3 color){
  const float c_A = 2.51;
  const float c_B = 0.03;
  const float c_C = 2.43;
  const float c_D = 0.59;
  const float c_E = 0.14;
  return clamp((color * (c_A * color + c_B)) / (color * (c_C * color + c_D) + c_E), 0.0, 1.0);
}

)");

constexpr TCrLfText NarkowiczBody(R"(  color = toneMapACES_Narkowicz(color * exposure);
)");

constexpr TCrLfText HillHelpers(
    R"(const mat3 ACESInputMat = mat3(0.59719, 0.07600, 0.02840, 0.35458, 0.90834, 0.13383, 0.04823, 0.01566, 0.83777);
const mat3 ACESOutputMat = mat3(1.60475, -0.10208, -0.00327, -0.53108, 1.10813, -0.07276, -0.07367, -0.00605, 1.07602);

vec3 RRTAndODTFit(vec3 color){
  vec3 l_A = color * (color + 0.0245786) - 0.000090537;
  vec3 l_B = color * (0.983729 * color + 0.4329510) + 0.238081;
  return l_A / l_B;
}

vec3 toneMapACES_Hill(vec3 color){
  color = ACESInputMat * color;
  color = RRTAndODTFit(color);
  color = ACESOutputMat * color;
  return clamp(color, 0.0, 1.0);
}

)");

constexpr TCrLfText HillBody(R"(  color = toneMapACES_Hill(color * exposure);
)");

constexpr TCrLfText HillBoostBody(R"(  color *= exposure / 0.6;
  color = toneMapACES_Hill(color);
)");

// Exposure 0 would give 0 / 0 for a black pixel; the formula's limit is black.
constexpr TCrLfText ReinhardBody(R"(  float l_Exposure = exposure * 1.5;
  if (l_Exposure <= 0.0)
    return vec3(0.0);
  color *= l_Exposure / (1.0 + color / l_Exposure);
  return pow(color, vec3(INV_GAMMA));
)");

// A black pixel has luma 0, and the mapped luma over the luma would be 0 / 0; its limit is black.
constexpr TCrLfText LumaReinhardBody(R"(  color *= exposure;
  float l_Luma = dot(color, vec3(0.2126, 0.7152, 0.0722));
  if (l_Luma <= 0.0)
    return vec3(0.0);
  float l_ToneMappedLuma = l_Luma / (1.0 + l_Luma);
  color *= l_ToneMappedLuma / l_Luma;
  return pow(color, vec3(INV_GAMMA));
)");

constexpr TCrLfText WhitePreservingLumaReinhardBody(R"(  const float c_White = 2.0;
  color *= exposure;
  float l_Luma = dot(color, vec3(0.2126, 0.7152, 0.0722));
  if (l_Luma <= 0.0)
    return vec3(0.0);
  float l_ToneMappedLuma = l_Luma * (1.0 + l_Luma / (c_White * c_White)) / (1.0 + l_Luma);
  color *= l_ToneMappedLuma / l_Luma;
  return pow(color, vec3(INV_GAMMA));
)");

constexpr TCrLfText RomBinDaHouseBody(R"(  color *= exposure;
  color = exp(-1.0 / (2.72 * color + 0.15));
  return pow(color, vec3(INV_GAMMA));
)");

constexpr TCrLfText FilmicBody(R"(  color *= exposure;
  color = max(vec3(0.0), color - 0.004);
  return (color * (6.2 * color + 0.5)) / (color * (6.2 * color + 1.7) + 0.06);
)");

// The curve is 0 at 0 only up to rounding; the clamp keeps a black pixel's power defined.
constexpr TCrLfText Uncharted2Body(R"(  const float c_A = 0.15;
  const float c_B = 0.50;
  const float c_C = 0.10;
  const float c_D = 0.20;
  const float c_E = 0.02;
  const float c_F = 0.30;
  const float c_W = 11.2;
  color *= 2.0 * exposure;
  vec3 l_Curve = ((color * (c_A * color + c_C * c_B) + c_D * c_E) / (color * (c_A * color + c_B) + c_D * c_F)) - c_E / c_F;
  float l_White = ((c_W * (c_A * c_W + c_C * c_B) + c_D * c_E) / (c_W * (c_A * c_W + c_B) + c_D * c_F)) - c_E / c_F;
  color = max(l_Curve / l_White, vec3(0.0));
  return pow(color, vec3(INV_GAMMA));
)");

} // namespace

const std::string_view GLSLShadowMappingFuncText = ShadowMapping.View();
const std::string_view GLSLVarianceShadowMappingFuncText = VarianceShadowMapping.View();
const std::string_view GLSLPBRFuncsText = PBRFuncs.View();
const std::string_view GLSLPOMFuncText = POMFunc.View();
const std::string_view GLSLFogFuncText = FogFunc.View();

const std::array<TVantrelToneMapText, 10> GLSLToneMapTexts = {{
    {"TONEMAP_EXPOSURE", {}, ExposureBody.View(), true},
    {"TONEMAP_ACES_NARKOWICZ", NarkowiczHelpers.View(), NarkowiczBody.View(), true},
    {"TONEMAP_ACES_HILL", HillHelpers.View(), HillBody.View(), true},
    {"TONEMAP_ACES_HILL_EXPOSURE_BOOST", HillHelpers.View(), HillBoostBody.View(), true},
    {"TONEMAP_REINHARD", {}, ReinhardBody.View(), false},
    {"TONEMAP_LUMABASED_REINHARD", {}, LumaReinhardBody.View(), false},
    {"TONEMAP_WP_LUMABASED_REINHARD", {}, WhitePreservingLumaReinhardBody.View(), false},
    {"TONEMAP_ROMBINDAHOUSE", {}, RomBinDaHouseBody.View(), false},
    {"TONEMAP_FILMIC", {}, FilmicBody.View(), false},
    {"TONEMAP_UNCHARTED2", {}, Uncharted2Body.View(), false},
}};

const TVantrelToneMapText* FindToneMapText(const TVantrelNodeBuilder* ABuilder) {
  if (!ABuilder)
    return nullptr;
  for (const TVantrelToneMapText& text : GLSLToneMapTexts)
    if (ABuilder->Defined(text.Define))
      return &text;
  return nullptr;
}

} // namespace vantrel
