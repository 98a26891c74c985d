// The effect nodes of the fragment tree: shadows, the pass images (reflection, refraction, the
// environment cube map), the physically based preparation, parallax occlusion, tone mapping, fog
// and the last node with the translucency outputs. Each node tests the builder's defines inside
// its text and writes nothing when its feature is off. The long function texts live in
// Vantrel.Material.Default.GLSL.Texts.

#include <string_view>

#include "materials/Vantrel.Material.Default.GLSL.Texts.h"
#include "materials/Vantrel.Material.Default.GLSL.h"

namespace vantrel {

// ---- Functions ----------------------------------------------------------------------------------

void TVantrelGLSLBasicShadowFuncsNode::WriteText(std::string& AOut) const {
  if (!Has("SHADOW"))
    return;
  if (Has("SHADOWMAPPING"))
    AOut += GLSLShadowMappingFuncText;
  else if (Has("VARIANCESHADOWMAPPING"))
    AOut += GLSLVarianceShadowMappingFuncText;
}

void TVantrelGLSLPOMFuncsNode::WriteText(std::string& AOut) const {
  if (Has("POM"))
    AOut += GLSLPOMFuncText;
}

void TVantrelGLSLPBRFuncsNode::WriteText(std::string& AOut) const {
  if (Has("PBR"))
    AOut += GLSLPBRFuncsText;
}

void TVantrelGLSLToneMappingFuncsNode::WriteText(std::string& AOut) const {
  const TVantrelToneMapText* text = FindToneMapText(Builder());
  if (!text)
    return;
  AOut += text->Helpers;
  AOut += "vec3 toneMap(vec3 color, in float exposure){\r\n";
  AOut += text->Body;
  if (text->GammaWithPBR)
    AOut += Has("PBR") ? "  return linearTosRGB(color);\r\n" : "  return color;\r\n";
  AOut += "}\r\n\r\n";
}

void TVantrelGLSLFogFuncNode::WriteText(std::string& AOut) const {
  AOut += GLSLFogFuncText;
}

// ---- Steps of main ------------------------------------------------------------------------------

void TVantrelGLSLPOMApplyNode::WriteText(std::string& AOut) const {
  if (!Has("POM"))
    return;
  AppendGLSL(AOut, R"(  LOCALS.Normal = vars.v_TBN[2];
  mat3 l_TBN2 = vars.v_TBN;
  vec3 l_TanViewPos = _EyePos.xyz * l_TBN2;
  vec3 l_TanFragPos = LOCALS.TransfVertPos.xyz * l_TBN2;
  vec3 l_POMViewDir = normalize(l_TanViewPos - l_TanFragPos);
)");
  if (!Has("USE_TEXTURE"))
    return;
  // The parallax map is stored upside down; the shifted coordinate stays so for every later read.
  AppendGLSL(AOut, R"(  vec2 l_POM_UV = vec2(LOCALS.TexCoord0.x, 1.0 - LOCALS.TexCoord0.y);
  LOCALS.TexCoord0 = ParallaxOcclusionMapping(_PassData[0]._NormalIntensity, _PassData[0]._ParallaxLevels, _POMTexture, l_POM_UV, l_POMViewDir.xyz, 0.0);
)");
  if (Has("POM_DISCARD"))
    AppendGLSL(
        AOut,
        R"(  if ((LOCALS.TexCoord0.x > 1.0) || (LOCALS.TexCoord0.y > 1.0) || (LOCALS.TexCoord0.x < 0.0) || (LOCALS.TexCoord0.y < 0.0))
    discard;

)");
}

namespace {

// Metallic, roughness and ambient occlusion: a texture channel (scaled by its factor unless it is
// next to zero) or the grey value times the factor, then raised to PBR_Epsilon.
void WritePBRChannel(std::string& AOut, bool ATexture, std::string_view ALocal, std::string_view ASampler,
                     std::string_view AChannel, std::string_view AFactor, bool AGrey) {
  const std::string local(ALocal), factor = "_PassData[0]." + std::string(AFactor);
  if (ATexture) {
    AOut += "  float " + local + " = tex2D(" + std::string(ASampler) + ", LOCALS.TexCoord0)." +
            std::string(AChannel) + ";\r\n";
    AOut += "  if (" + local + " > PBR_Epsilon)\r\n    " + local + " *= " + factor + ";\r\n";
  } else if (AGrey) {
    AOut += "  float " + local + " = l_GrayScaleFlt * " + factor + ";\r\n";
  } else {
    AOut += "  float " + local + " = " + factor + ";\r\n";
  }
  AOut += "  if (" + local + " < PBR_Epsilon)\r\n    " + local + " = PBR_Epsilon;\r\n";
}

} // namespace

void TVantrelGLSLPBRPrepareNode::WriteText(std::string& AOut) const {
  if (!Has("LIGHTING") || !Has("PBR"))
    return;
  const bool textures = Has("PBR_TEX");
  if (textures) {
    if (Has("PBR_TEX_ALBEDO") && Has("USE_TEXTURE0"))
      AppendGLSL(AOut, R"(  vec4 l_AlbedoTexColor = tex2D(_Texture0, LOCALS.TexCoord0).rgba;
  LOCALS.BaseColor = sRGBToLinear(l_AlbedoTexColor);
  LOCALS.Alpha = l_AlbedoTexColor.a;
)");
    else
      AppendGLSL(AOut, R"(  LOCALS.BaseColor = _Material[0]._Diffuse.rgba;
  LOCALS.Alpha = LOCALS.BaseColor.a;
)");
  }
  AOut += "  vec3 l_Albedo = LOCALS.BaseColor.rgb;\r\n";
  const bool metallic = textures && Has("PBR_TEX_METALLIC");
  const bool roughness = textures && Has("PBR_TEX_ROUGHNESS");
  const bool occlusion = textures && Has("PBR_TEX_AO");
  if (!(metallic && roughness && occlusion))
    AOut += "  float l_GrayScaleFlt = dot(l_Albedo, vec3(0.299, 0.587, 0.114)) * 2.25;\r\n";
  WritePBRChannel(AOut, metallic, "l_Metallic", "_MetalnessTexture", "b", "_PBRMetallic", true);
  WritePBRChannel(AOut, roughness, "l_Roughness", "_RoughnessTexture", "g", "_PBRRoughness", true);
  WritePBRChannel(AOut, occlusion, "l_AO", "_AmbientOcclusionTexture", "r", "_PBRAO", false);
  AOut += textures && Has("PBR_TEX_EMISSIVE")
              ? "  LOCALS.Emissive = LOCALS.Emissive * tex2D(_EmissiveTexture, LOCALS.TexCoord0).rgb * "
                "PBR_EmissiveFac;\r\n"
              : "  LOCALS.Emissive *= PBR_EmissiveFac;\r\n";
  AppendGLSL(AOut, R"(  vec3 l_N = LOCALS.Normal.xyz;
  vec3 l_V = LOCALS.FragViewDir.xyz;
  float l_NdotV = max(0.0, dot(l_N, l_V));
  float l_Shininess = _Material[0]._Shininess;
  if (l_Shininess > 1.0)
    l_Shininess /= 100.0;
  float l_SpecularWeight = 1.0;
  vec3 F90 = vec3(1.0);
  float l_Ior = 1.5;
  LOCALS.Shading = vec2(1.0, 1.0);
  float l_LightIntensity = 0.0;
)");
  if (Has("SpecularMapTexture"))
    AppendGLSL(AOut, R"(  vec3 F0 = _Material[0]._Specular.rgb;
  l_Roughness = l_Shininess;
  vec4 l_SpecularSample = sRGBToLinear(tex2D(_SpecularMapTexture, LOCALS.TexCoord0));
  l_Roughness *= l_SpecularSample.a;
  F0 *= l_SpecularSample.rgb;
  float l_F0Max = max(max(F0.r, F0.g), F0.b);
  l_Roughness = 1.0 - l_Roughness;
  vec3 l_CDiff = l_Albedo * (1.0 - l_F0Max);
)");
  else
    AppendGLSL(AOut, R"(  vec3 l_CDiff = mix(l_Albedo, vec3(0.0), l_Metallic);
  l_Roughness = applyIorToRoughness(l_Roughness, l_Ior);
  vec3 F0 = mix(Fdielectric, l_Albedo, l_Metallic);
)");
  AppendGLSL(AOut, R"(  float l_AlphaRoughness = l_Roughness * l_Roughness;
  LOCALS.Diffuse = vec3(0.0);
  LOCALS.Specular = vec3(0.0);
  LOCALS.Ambient = vec3(0.0);
)");
}

void TVantrelGLSLAddShadowNode::WriteText(std::string& AOut) const {
  if (!Has("LIGHTING") || !Has("SHADOW"))
    return;
  if (Has("SHADOWMAPPING"))
    AOut += "    LOCALS.ShadowSum += ShadowCalculation(_ShadowMapTexture0, _PassData[0]._ShadowMapMatrix[0], "
            "vars.v_ModelMatrix, LOCALS.LightDir);\r\n";
  else if (Has("VARIANCESHADOWMAPPING"))
    AOut += "    LOCALS.ShadowSum += ShadowCalculation(_ShadowMapTexture0, _PassData[0]._ShadowMapMatrix[0], "
            "vars.v_ModelMatrix);\r\n";
}

void TVantrelGLSLAddEnvironmentNode::WriteText(std::string& AOut) const {
  if (!Has("ENVIRONMENT"))
    return;
  if (!Has("PBR")) {
    AppendGLSL(AOut, R"(  vec3 l_InvFragViewDir = normalize(LOCALS.FragViewDir.xyz);
  vec3 l_EnvNormal = vars.v_TBN[2];
  if(_PassData[0]._RefractionPower > 0.0){
    float l_RefrRatio = 1.0 / 1.52;
    vec3 l_RefrViewDir = vars.v_TransfVertPos.xyz + refract(l_InvFragViewDir, l_EnvNormal, l_RefrRatio);
    vec4 l_EnvTex = texCube(_EnvironmentTexture, l_RefrViewDir);
    LOCALS.BaseColor = mix(LOCALS.BaseColor, l_EnvTex, _PassData[0]._RefractionPower);
  }

  if(_PassData[0]._ReflectionPower > 0.0){
    vec3 l_ReflViewDir = vars.v_TransfVertPos.xyz + reflect(l_InvFragViewDir, l_EnvNormal);
    vec4 l_EnvTex = texCube(_EnvironmentTexture, l_ReflViewDir);
    LOCALS.BaseColor = mix(LOCALS.BaseColor, l_EnvTex, _PassData[0]._ReflectionPower);
  }

)");
    return;
  }
  if (!Has("LIGHTING"))
    return;
  // The mip level line has no line break of its own; stored texts keep the refraction block on
  // the same line, and it is valid GLSL.
  AppendGLSL(AOut, R"(  vec3 l_InvFragViewDir = normalize(LOCALS.FragViewDir.xyz);
  vec3 l_EnvNormal = vars.v_TBN[2];
  float l_MipMapLevel = l_Roughness * 8.0;  if(_PassData[0]._RefractionPower > 0.0){
    float l_RefrRatio = 1.0 / 1.52;
    vec3 l_RefrViewDir = vars.v_TransfVertPos.xyz + refract(l_InvFragViewDir, l_EnvNormal, l_RefrRatio);
    vec4 l_EnvTex = texture(_EnvironmentTexture, l_RefrViewDir, l_MipMapLevel);
    LOCALS.Diffuse += (l_EnvTex.rgb * _PassData[0]._RefractionPower) * l_AO;
  }

  if(_PassData[0]._ReflectionPower > 0.0){
    vec3 l_ReflViewDir = vars.v_TransfVertPos.xyz + (-reflect(l_InvFragViewDir, l_EnvNormal));
    vec4 l_EnvTex = texture(_EnvironmentTexture, l_ReflViewDir, l_MipMapLevel);
    l_EnvTex.rgb *= _PassData[0]._ReflectionPower;
    vec3 l_Radiance = getIBLRadianceGGX(l_EnvTex.rgb, l_NdotV, l_Roughness, F0, l_SpecularWeight);
    LOCALS.Specular += l_Radiance;
  }

)");
}

void TVantrelGLSLAddReflectionNode::WriteText(std::string& AOut) const {
  if (Has("REFLECTION"))
    AppendGLSL(AOut, R"(  if(_PassData[0]._ReflectionPower > 0.0){
    vec4 l_ReflTex = tex2DProj(_ReflectionTexture, vars.v_ReflProjTextureCoords);
    LOCALS.BaseColor = mix(LOCALS.BaseColor, l_ReflTex, _PassData[0]._ReflectionPower);
  }
)");
}

void TVantrelGLSLAddRefractionNode::WriteText(std::string& AOut) const {
  if (Has("REFRACTION"))
    AppendGLSL(AOut, R"(  if(_PassData[0]._RefractionPower > 0.0){
    vec4 l_RefrTex = tex2D(_RefractionTexture, vars.v_TexCoord0);
    LOCALS.BaseColor = mix(LOCALS.BaseColor, l_RefrTex, _PassData[0]._RefractionPower);
  }
)");
}

// With PBR the colour merge maps; an unlit PBR text is therefore never tone-mapped.
void TVantrelGLSLTonemappingNode::WriteText(std::string& AOut) const {
  if (!Has("PBR") && FindToneMapText(Builder()))
    AOut += "  LOCALS.SumColor = toneMap(LOCALS.SumColor, _Material[0]._ToneMapExp);\r\n";
}

// All four channels are blended, alpha included. The deprecated form has no o_Albedo to blend.
void TVantrelGLSLFogApplyNode::WriteText(std::string& AOut) const {
  if (!Has("DEPRECATED"))
    AOut +=
        "  o_Albedo = mix(o_Albedo, _FogColor, 1.0 - computeFog(_FogMode, _FogStart, _FogEnd, _FogDensity, "
        "LOCALS.TransfVertPos.xyz, _EyePos.xyz));\r\n";
}

void TVantrelGLSLWeightedBlendedOITNode::WriteText(std::string& AOut) const {
  if (Has("DEPRECATED"))
    return;
  AOut += "  const int c_IsTranslucent = 0x02;\r\n";
  if (!Has("DEFERRED")) {
    AppendGLSL(AOut, R"(  if ((_Options & c_IsTranslucent) != 0){
    if (LOCALS.Alpha >= 0.003){
      o_Position = vec4(LOCALS.TransfVertPos.xyz, LOCALS.FragDepth);
      o_Normals = LOCALS.Normal.xyz;
      o_Emissive = LOCALS.Emissive;
    }
    else
      discard;
  }
)");
  } else {
    AppendGLSL(AOut, R"(  if ((_Options & c_IsTranslucent) != 0){
    if (LOCALS.Alpha >= 0.003){
      o_Position = vec4(LOCALS.TransfVertPos.xyz, vars.v_WorldViewProjVertPos.z);
      o_Normals = LOCALS.Normal.xyz;
    }
    else
      discard;
  }
  o_Ambient = _Material[0]._Ambient.rgb;
  o_Emissive = LOCALS.Emissive;
  o_Specular = LOCALS.Specular.rgb;

)");
    AOut += Has("USE_TEXTURE_ATLAS") && Has("USE_TEXTURE")
                ? "  o_Components = vec4(LOCALS.TexCoord0.x, LOCALS.TexCoord0.y, 1.0, 1.0);\r\n"
                : "  o_Components = vec4(vars.v_TexCoord0.x, vars.v_TexCoord0.y, 1.0, 1.0);\r\n";
  }
  // The weight divides the clip depth by the eye's z, a heuristic kept as stored looks rely on it.
  AppendGLSL(AOut, R"(  if ((_Options & c_IsTranslucent) != 0){
    vec4 l_Color = o_Albedo;
    float l_FragVertDist = abs(vars.v_WorldViewProjVertPos.z / _EyePos.z);
    float l_Weight = max(min(1.0, max(max(l_Color.r, l_Color.g), l_Color.b) * LOCALS.Alpha), LOCALS.Alpha) * clamp(0.03 / (1e-5 + pow(l_FragVertDist, 4.0)), 1e-2, 3e3);
    o_Albedo = vec4(l_Color.rgb * LOCALS.Alpha, LOCALS.Alpha) * l_Weight;
    o_Alpha = LOCALS.Alpha;
    o_Emissive = LOCALS.Emissive;
  }
  else{
    o_Position = vec4(LOCALS.TransfVertPos.xyz, vars.v_WorldViewProjVertPos.z);
    o_Normals = LOCALS.Normal.xyz;
    o_Emissive = LOCALS.Emissive;
    o_Alpha = 1.0;
  }

)");
}

} // namespace vantrel
