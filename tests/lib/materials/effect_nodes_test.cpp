// The texts of the effect nodes, without GL: the lines fixed word for word, gating by the
// builder's defines and the order of what they write.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "materials/Vantrel.Material.Default.GLSL.h"
#include "support/shader_variants.h"

namespace {

using namespace vantrel;

TOwned<TVantrelGLSLFragmentShader> FragmentWith(const std::vector<std::string>& ADefines) {
  auto builder = MakeOwned<vtest::TFixedFragmentShader>(nullptr);
  for (const std::string& define : ADefines)
    builder->AddDefine(define);
  return builder;
}

template <class TNode> std::string NodeText(const std::vector<std::string>& ADefines) {
  auto builder = FragmentWith(ADefines);
  const TNode* node = builder->SourceCode()->FindNode<TNode>("", true);
  EXPECT_NE(node, nullptr);
  return node ? node->ToString() : std::string();
}

std::string FragmentText(const std::vector<std::string>& ADefines) {
  return FragmentWith(ADefines)->ToString();
}

const std::string ShadowDepthLine =
    "    LOCALS.ShadowSum += ShadowCalculation(_ShadowMapTexture0, "
    "_PassData[0]._ShadowMapMatrix[0], vars.v_ModelMatrix, LOCALS.LightDir);\r\n";
const std::string ShadowVarianceLine = "    LOCALS.ShadowSum += ShadowCalculation(_ShadowMapTexture0, "
                                       "_PassData[0]._ShadowMapMatrix[0], vars.v_ModelMatrix);\r\n";
const std::string ShadowFactor = "  LOCALS.SumColor *= clamp(LOCALS.ShadowSum, 0.0, 1.0);\r\n";
const std::string ToneLine = "  LOCALS.SumColor = toneMap(LOCALS.SumColor, _Material[0]._ToneMapExp);\r\n";

struct TGolden {
  const char* Name;
  std::function<std::string(const std::vector<std::string>&)> Text;
  std::vector<std::string> Defines;
  std::string Expected;
};

TEST(EffectNodes, FixedTextsComeOutByteForByte) {
  const auto shadow = NodeText<TVantrelGLSLAddShadowNode>;
  const auto tonemapping = NodeText<TVantrelGLSLTonemappingNode>;
  const auto oit = [](const std::vector<std::string>& ADefines) {
    const std::string text = NodeText<TVantrelGLSLWeightedBlendedOITNode>(ADefines);
    return text.substr(0, text.find("\r\n") == std::string::npos ? 0 : text.find("\r\n") + 2);
  };
  const TGolden cases[] = {
      {"shadow, depth comparison", shadow, {"LIGHTING", "SHADOW", "SHADOWMAPPING"}, ShadowDepthLine},
      {"shadow, variance", shadow, {"LIGHTING", "SHADOW", "VARIANCESHADOWMAPPING"}, ShadowVarianceLine},
      {"shadow, both methods",
       shadow,
       {"LIGHTING", "SHADOW", "VARIANCESHADOWMAPPING", "SHADOWMAPPING"},
       ShadowDepthLine},
      {"shadow without a method", shadow, {"LIGHTING", "SHADOW"}, ""},
      {"shadow unlit", shadow, {"SHADOW", "SHADOWMAPPING"}, ""},
      {"reflection",
       NodeText<TVantrelGLSLAddReflectionNode>,
       {"REFLECTION"},
       "  if(_PassData[0]._ReflectionPower > 0.0){\r\n"
       "    vec4 l_ReflTex = tex2DProj(_ReflectionTexture, vars.v_ReflProjTextureCoords);\r\n"
       "    LOCALS.BaseColor = mix(LOCALS.BaseColor, l_ReflTex, _PassData[0]._ReflectionPower);\r\n"
       "  }\r\n"},
      {"no reflection", NodeText<TVantrelGLSLAddReflectionNode>, {"REFRACTION"}, ""},
      {"refraction",
       NodeText<TVantrelGLSLAddRefractionNode>,
       {"REFRACTION"},
       "  if(_PassData[0]._RefractionPower > 0.0){\r\n"
       "    vec4 l_RefrTex = tex2D(_RefractionTexture, vars.v_TexCoord0);\r\n"
       "    LOCALS.BaseColor = mix(LOCALS.BaseColor, l_RefrTex, _PassData[0]._RefractionPower);\r\n"
       "  }\r\n"},
      {"tone line without PBR", tonemapping, {"TONEMAP_REINHARD"}, ToneLine},
      {"tone line with PBR", tonemapping, {"TONEMAP_REINHARD", "PBR", "LIGHTING"}, ""},
      {"no tone define", tonemapping, {"LIGHTING"}, ""},
      {"translucency first line", oit, {}, "  const int c_IsTranslucent = 0x02;\r\n"},
      {"translucency deprecated", NodeText<TVantrelGLSLWeightedBlendedOITNode>, {"DEPRECATED"}, ""},
      {"fog deprecated", NodeText<TVantrelGLSLFogApplyNode>, {"DEPRECATED"}, ""},
      {"environment PBR unlit", NodeText<TVantrelGLSLAddEnvironmentNode>, {"ENVIRONMENT", "PBR"}, ""},
      {"fog application",
       NodeText<TVantrelGLSLFogApplyNode>,
       {},
       "  o_Albedo = mix(o_Albedo, _FogColor, 1.0 - computeFog(_FogMode, _FogStart, _FogEnd, _FogDensity, "
       "LOCALS.TransfVertPos.xyz, _EyePos.xyz));\r\n"},
  };
  for (const TGolden& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.Text(c.Defines), c.Expected);
  }
}

TEST(EffectNodes, MergeEndsWithTheShadowFactorAndPicksItsToneLine) {
  const std::string merge = "  LOCALS.SumColor += LOCALS.Emissive;\r\n";
  const std::string lambert =
      NodeText<TVantrelGLSLMergedColorOutputNode>({"LIGHTING", "SHADOW", "SHADOWMAPPING"});
  EXPECT_TRUE(lambert.ends_with(merge + ShadowFactor));
  const std::string pbr =
      NodeText<TVantrelGLSLMergedColorOutputNode>({"LIGHTING", "PBR", "SHADOW", "VARIANCESHADOWMAPPING"});
  EXPECT_TRUE(pbr.ends_with(merge + "\r\n" + ShadowFactor));
  EXPECT_EQ(NodeText<TVantrelGLSLMergedColorOutputNode>({"LIGHTING"}).find("ShadowSum"), std::string::npos);
  EXPECT_EQ(NodeText<TVantrelGLSLMergedColorOutputNode>({"SHADOW", "SHADOWMAPPING"}).find("ShadowSum"),
            std::string::npos);

  EXPECT_NE(NodeText<TVantrelGLSLMergedColorOutputNode>({"LIGHTING", "PBR", "TONEMAP_FILMIC"}).find(ToneLine),
            std::string::npos);
  EXPECT_NE(NodeText<TVantrelGLSLMergedColorOutputNode>({"LIGHTING", "PBR"})
                .find("  LOCALS.SumColor = linearTosRGB(LOCALS.SumColor);\r\n"),
            std::string::npos);
}

TEST(EffectNodes, FogDefinesKeepTheirPadding) {
  const std::string text = NodeText<TVantrelGLSLFogFuncNode>({});
  EXPECT_TRUE(text.starts_with("#define GLI_FOG_ENABLED        1\r\n"
                               "#define GLI_FOG_MODE_LINEAR    2\r\n"
                               "#define GLI_FOG_MODE_EXP       4\r\n"
                               "#define GLI_FOG_MODE_EXP2      8\r\n"));
  EXPECT_NE(text.find("float computeFog(in int p_FogMode, in float p_FogStart, in float p_FogEnd, in float "
                      "p_FogDensity, vec3 p_VertPos, vec3 p_EyePos){\r\n"),
            std::string::npos);
}

TEST(EffectNodes, PhysicallyBasedEnvironmentKeepsTheMissingLineBreak) {
  const std::string text = NodeText<TVantrelGLSLAddEnvironmentNode>({"ENVIRONMENT", "PBR", "LIGHTING"});
  EXPECT_NE(
      text.find("  float l_MipMapLevel = l_Roughness * 8.0;  if(_PassData[0]._RefractionPower > 0.0){\r\n"),
      std::string::npos);
  EXPECT_NE(text.find("getIBLRadianceGGX(l_EnvTex.rgb, l_NdotV, l_Roughness, F0, l_SpecularWeight)"),
            std::string::npos);
  const std::string classic = NodeText<TVantrelGLSLAddEnvironmentNode>({"ENVIRONMENT"});
  EXPECT_NE(classic.find("    float l_RefrRatio = 1.0 / 1.52;\r\n"), std::string::npos);
  EXPECT_TRUE(classic.ends_with("  }\r\n\r\n"));
  EXPECT_EQ(classic.find("l_MipMapLevel"), std::string::npos);
}

// The guards against 0 / 0 in the tone maps and linear fog. On the test driver clamp() and the
// optimiser hide those NaNs from every read-back, so their texts are pinned here.
TEST(EffectNodes, DivisionGuardsArePresent) {
  struct TCase {
    std::vector<std::string> Defines;
    std::string Guard;
  };
  const TCase cases[] = {
      {{}, "    if (p_FogEnd == p_FogStart)\r\n      l_Fog = (l_Dist < p_FogEnd) ? 1.0 : 0.0;\r\n"},
      {{"TONEMAP_REINHARD"}, "  if (l_Exposure <= 0.0)\r\n    return vec3(0.0);\r\n"},
      {{"TONEMAP_LUMABASED_REINHARD"}, "  if (l_Luma <= 0.0)\r\n    return vec3(0.0);\r\n"},
      {{"TONEMAP_WP_LUMABASED_REINHARD"}, "  if (l_Luma <= 0.0)\r\n    return vec3(0.0);\r\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Guard);
    EXPECT_NE(FragmentText(c.Defines).find(c.Guard), std::string::npos);
  }
}

struct TOrderCase {
  const char* Name;
  std::vector<std::string> Defines;
  std::vector<std::string> InOrder;
  std::vector<std::string> Absent;
};

TEST(EffectNodes, GatingAndOrder) {
  const std::vector<std::string> pbrLit = {"LIGHTING", "PBR"};
  auto with = [](std::vector<std::string> ABase, std::initializer_list<const char*> AMore) {
    ABase.insert(ABase.end(), AMore.begin(), AMore.end());
    return ABase;
  };
  const TOrderCase cases[] = {
      {"physically based functions",
       pbrLit,
       {"const float PBR_PI = 3.141592653589793;",
        "const float PBR_Epsilon = 0.002;",
        "const float PBR_EmissiveFac = 0.3;",
        "const vec3 Fdielectric = vec3(0.04);",
        "vec2 getIBLSamplePointGGXLUT(float NdotV, float roughness)",
        "vec3 getIBLRadianceLambertian(vec3 irradiance, float NdotV, float roughness, vec3 diffuseColor, "
        "vec3 F0, "
        "float specularWeight)",
        "vec3 getIBLRadianceGGX(vec3 specularLight, float NdotV, float roughness, vec3 F0, float "
        "specularWeight)",
        "float applyIorToRoughness(float roughness, float ior)",
        "vec3 F_Schlick(vec3 f0, vec3 f90, float VdotH)",
        "float F_Schlick(float f0, float f90, float VdotH)",
        "float F_Schlick(float f0, float VdotH)",
        "vec3 F_Schlick(vec3 f0, float f90, float VdotH)",
        "vec3 F_Schlick(vec3 f0, float VdotH)",
        "vec3 Schlick_to_F0(vec3 f, vec3 f90, float VdotH)",
        "float Schlick_to_F0(float f, float f90, float VdotH)",
        "vec3 Schlick_to_F0(vec3 f, float VdotH)",
        "float Schlick_to_F0(float f, float VdotH)",
        "float V_GGX(float NdotL, float NdotV, float alphaRoughness)",
        "float D_GGX(float NdotH, float alphaRoughness)",
        "float lambdaSheenNumericHelper(float x, float alphaG)",
        "float lambdaSheen(float cosTheta, float alphaG)",
        "float V_Sheen(float NdotL, float NdotV, float sheenRoughness)",
        "float D_Charlie(float sheenRoughness, float NdotH)",
        "vec3 BRDF_lambertian(vec3 f0, vec3 f90, vec3 diffuseColor, float specularWeight, float VdotH)",
        "vec3 BRDF_specularGGX(vec3 f0, vec3 f90, float alphaRoughness, float specularWeight, float VdotH, "
        "float "
        "NdotL, float NdotV, float NdotH)",
        "vec3 BRDF_specularSheen(vec3 sheenColor, float sheenRoughness, float NdotL, float NdotV, float "
        "NdotH)"},
       {"toneMap("}},
      {"no physically based functions without PBR", {"LIGHTING"}, {}, {"PBR_PI", "l_AlphaRoughness"}},
      {"Narkowicz only for its define",
       {"TONEMAP_ACES_NARKOWICZ"},
       {"vec3 toneMapACES_Narkowicz(vec3 color)", "vec3 toneMap(vec3 color, in float exposure){",
        "  return color;\r\n"},
       {"ACESInputMat", "linearTosRGB(color)"}},
      {"Hill helpers",
       {"TONEMAP_ACES_HILL_EXPOSURE_BOOST"},
       {"ACESInputMat", "RRTAndODTFit", "toneMapACES_Hill(vec3 color)", "exposure / 0.6"},
       {"toneMapACES_Narkowicz"}},
      {"Narkowicz in the physically based stage",
       {"TONEMAP_ACES_NARKOWICZ", "PBR"},
       {"  return linearTosRGB(color);\r\n"},
       {}},
      {"the first tone define wins",
       {"TONEMAP_FILMIC", "TONEMAP_EXPOSURE"},
       {"vec3 toneMap(vec3 color, in float exposure){\r\n  color *= exposure;\r\n  return color;\r\n}"},
       {"6.2"}},
      {"Reinhard always ends with the power",
       {"TONEMAP_REINHARD"},
       {"return pow(color, vec3(INV_GAMMA));"},
       {"linearTosRGB(color)"}},
      {"Filmic has no power", {"TONEMAP_FILMIC"}, {"6.2 * color + 1.7"}, {"return pow(color"}},
      {"no tone define", {"LIGHTING"}, {}, {"toneMap("}},
      {"parallax without texture",
       {"POM", "LIGHTING"},
       {"vec2 ParallaxOcclusionMapping(in float p_NormalIntensity, in int p_ParallaxLevels, sampler2D "
        "p_DepthMap, "
        "vec2 p_Uv, vec3 p_FragViewDir, float p_Pivot){",
        "  vec3 l_POMViewDir = normalize(l_TanViewPos - l_TanFragPos);\r\n"},
       {"= ParallaxOcclusionMapping(", "    discard;\r\n\r\n"}},
      {"parallax discard after the call",
       {"POM", "POM_DISCARD", "USE_TEXTURE"},
       {"  vec2 l_POM_UV = vec2(LOCALS.TexCoord0.x, 1.0 - LOCALS.TexCoord0.y);",
        "  LOCALS.TexCoord0 = ParallaxOcclusionMapping(_PassData[0]._NormalIntensity, "
        "_PassData[0]._ParallaxLevels, "
        "_POMTexture, l_POM_UV, l_POMViewDir.xyz, 0.0);\r\n",
        "    discard;\r\n\r\n"},
       {}},
      {"parallax without discard",
       {"POM", "USE_TEXTURE"},
       {"= ParallaxOcclusionMapping("},
       {"    discard;\r\n\r\n"}},
      {"preparation before the lights loop",
       pbrLit,
       {"  float l_GrayScaleFlt = ", "  float l_Metallic = l_GrayScaleFlt * _PassData[0]._PBRMetallic;",
        "  float l_AO = _PassData[0]._PBRAO;", "  LOCALS.Emissive *= PBR_EmissiveFac;",
        "  float l_AlphaRoughness = l_Roughness * l_Roughness;", "for(int i = 0;",
        "vec3 l_H = ", "BRDF_specularGGX(F0, F90, l_AlphaRoughness",
        "    LOCALS.Shading *= (vec2(LOCALS.Attenuation) * vec2(l_Falloff));",
        "  vec3 l_Radiance = getIBLRadianceGGX(F0, l_NdotV, l_Roughness, F0, l_SpecularWeight);",
        "  LOCALS.SumColor = linearTosRGB(LOCALS.SumColor);"},
       {"LOCALS.BaseColor = sRGBToLinear", "lightComputeDiffuse(LOCALS.Normal", "_Lights[i]._Ambient.rgb"}},
      {"textured preparation skips the grey value",
       with(pbrLit, {"USE_TEXTURE", "USE_TEXTURE0", "PBR_TEX", "PBR_TEX_ALBEDO", "PBR_TEX_METALLIC",
                     "PBR_TEX_ROUGHNESS", "PBR_TEX_AO", "PBR_TEX_EMISSIVE"}),
       {"  LOCALS.BaseColor = sRGBToLinear(l_AlbedoTexColor);",
        "tex2D(_MetalnessTexture, LOCALS.TexCoord0).b;\r\n  if (l_Metallic > PBR_Epsilon)",
        "tex2D(_RoughnessTexture, LOCALS.TexCoord0).g;",
        "tex2D(_AmbientOcclusionTexture, LOCALS.TexCoord0).r;",
        "tex2D(_EmissiveTexture, LOCALS.TexCoord0).rgb * PBR_EmissiveFac;"},
       {"l_GrayScaleFlt"}},
      {"textures without albedo take the diffuse colour",
       with(pbrLit, {"USE_TEXTURE", "PBR_TEX", "PBR_TEX_ALBEDO"}),
       {"  LOCALS.BaseColor = _Material[0]._Diffuse.rgba;", "l_GrayScaleFlt"},
       {"l_AlbedoTexColor"}},
      {"specular-glossiness",
       with(pbrLit, {"USE_TEXTURE", "SpecularMapTexture"}),
       {"  vec3 F0 = _Material[0]._Specular.rgb;", "tex2D(_SpecularMapTexture, LOCALS.TexCoord0)",
        "  LOCALS.Specular *= l_AO;\r\n"},
       {"applyIorToRoughness(l_Roughness"}},
      {"environment replaces the constant radiance",
       with(pbrLit, {"ENVIRONMENT", "USE_TEXTURE"}),
       {"texture(_EnvironmentTexture, l_ReflViewDir, l_MipMapLevel)"},
       {"l_Radiance = getIBLRadianceGGX(F0,"}},
      {"unlit PBR is never tone-mapped",
       {"PBR", "TONEMAP_EXPOSURE"},
       {"vec3 toneMap("},
       {ToneLine, "l_Metallic"}},
      {"shadow functions",
       {"LIGHTING", "SHADOW", "SHADOWMAPPING", "USE_TEXTURE"},
       {"float ShadowCalculation(sampler2D p_ShadowMapTexture, mat4 p_ShadowMapMatrix, mat4 p_ModelMatrix, "
        "vec4 "
        "p_LightDir){",
        ShadowDepthLine, ShadowFactor},
       {}},
      {"variance shadow function",
       {"LIGHTING", "SHADOW", "VARIANCESHADOWMAPPING", "USE_TEXTURE"},
       {"float ShadowCalculation(sampler2D p_ShadowMapTexture, mat4 p_ShadowMapMatrix, mat4 p_ModelMatrix){",
        "vec4(vars.v_TransfVertPos, 1.0)", "0.00002"},
       {"vec4 p_LightDir){\r\n  const float c_MinVal"}},
      {"shadow without a method", {"LIGHTING", "SHADOW"}, {ShadowFactor}, {"ShadowCalculation"}},
      {"opaque and translucent outputs",
       {"LIGHTING"},
       {"  o_Albedo = mix(o_Albedo, _FogColor", "  const int c_IsTranslucent = 0x02;",
        "      o_Position = vec4(LOCALS.TransfVertPos.xyz, LOCALS.FragDepth);", "    else\r\n      discard;",
        "max(min(1.0, max(max(l_Color.r, l_Color.g), l_Color.b) * LOCALS.Alpha), LOCALS.Alpha) * clamp(0.03 "
        "/ (1e-5 "
        "+ pow(l_FragVertDist, 4.0)), 1e-2, 3e3);",
        "    o_Alpha = 1.0;\r\n  }\r\n\r\n}\r\n"},
       {"o_Components"}},
      {"deferred outputs",
       {"LIGHTING", "DEFERRED"},
       {"      o_Position = vec4(LOCALS.TransfVertPos.xyz, vars.v_WorldViewProjVertPos.z);",
        "  o_Specular = LOCALS.Specular.rgb;\r\n\r\n",
        "  o_Components = vec4(vars.v_TexCoord0.x, vars.v_TexCoord0.y, 1.0, 1.0);"},
       {"LOCALS.FragDepth);"}},
      {"deferred atlas components",
       {"LIGHTING", "DEFERRED", "USE_TEXTURE", "USE_TEXTURE_ATLAS"},
       {"  o_Components = vec4(LOCALS.TexCoord0.x, LOCALS.TexCoord0.y, 1.0, 1.0);"},
       {}},
  };
  for (const TOrderCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string text = FragmentText(c.Defines);
    size_t position = 0;
    for (const std::string& token : c.InOrder) {
      const size_t found = text.find(token, position);
      EXPECT_NE(found, std::string::npos) << "missing or out of order: " << token;
      if (found != std::string::npos)
        position = found + token.size();
    }
    for (const std::string& token : c.Absent)
      EXPECT_EQ(text.find(token), std::string::npos) << "present: " << token;
  }
}

} // namespace
