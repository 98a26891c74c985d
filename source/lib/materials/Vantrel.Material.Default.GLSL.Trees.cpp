// The default material's two stage trees and the text of their nodes. Each node tests the
// builder's defines inside its text. The effect nodes (shadows, pass images, physically based
// preparation, parallax, tone mapping, fog, translucency outputs) are written in
// Vantrel.Material.Default.GLSL.Effects.

#include <initializer_list>
#include <string_view>
#include <utility>

#include "materials/Vantrel.Material.Default.GLSL.Texts.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/sysutils.h"
#include "rtl/types2d.h"

namespace vantrel {

using enum TVantrelShaderNodeVariableType;

namespace {

TVantrelVariableNode* AddMember(TVantrelDeclarationNode& AStruct, const char* AName,
                                TVantrelShaderNodeVariableType AType,
                                std::initializer_list<const char*> ADefines,
                                const TValue& AValue = TValue()) {
  TVantrelVariableNode* member = AStruct.AddDeclaration(AName, AType, {}, false, 0, AValue);
  for (const char* define : ADefines)
    member->AddDefine(define);
  return member;
}

TValue Vec3(float AValue) {
  return TValue::From(TPoint3D{AValue, AValue, AValue});
}

// Types, uniforms with the ShaderData block, and the varyings: what both stages declare alike.
TVantrelGlobalsNode* AddCommonGlobals(TVantrelCompositeNode& ARoot, TVantrelGLSLInOutMode AMode) {
  ARoot.AddNew<TVantrelGLSLPragma>();
  auto* globals = ARoot.AddNew<TVantrelGlobalsNode>();
  TVantrelCompositeNode& types = *globals->Types();
  types.AddNew<TVantrelGLSLLightType>();
  types.AddNew<TVantrelGLSLTextureType>();
  types.AddNew<TVantrelGLSLMaterialType>();
  types.AddNew<TVantrelGLSLPassDataType>();
  globals->Uniforms()->AddNew<TVantrelGLSLUBOShaderData>();
  globals->Varying()->AddNew<TVantrelGLSLInOutNode>(AMode);
  return globals;
}

} // namespace

// ---- Shared functions ---------------------------------------------------------------------------

void TVantrelGLSLGetTextureFuncsNode::WriteText(std::string& AOut) const {
  AppendGLSL(AOut, R"(const float GAMMA = 2.2;
const float INV_GAMMA = 1.0 / GAMMA;

vec3 linearTosRGB(in vec3 p_Color){
  return pow(p_Color, vec3(INV_GAMMA));
}

vec3 sRGBToLinear(in vec3 p_Color){
  return pow(p_Color, vec3(GAMMA));
}

vec4 sRGBToLinear(in vec4 p_Color){
  return vec4(sRGBToLinear(p_Color.xyz), p_Color.w);
}

float sFloatToLinear(in float p_Value){
  return pow(p_Value, GAMMA);
}

)");
  if (!Has("USE_TEXTURE") && !Has("ENVIRONMENT") && !Has("DISPLACEMENT"))
    return;
  if (Has("DEPRECATED"))
    AppendGLSL(AOut, R"(vec4 tex2D(in sampler2D p_Texture, in vec2 p_TexCoord){
  return texture2D(p_Texture, p_TexCoord);
}

vec4 tex2DProj(in sampler2D p_Texture, in vec4 p_TexCoord){
  return texture2DProj(p_Texture, p_TexCoord);
}

vec4 texCube(in samplerCube p_Texture, in vec3 p_TexCoord){
  return texture(p_Texture, p_TexCoord);
}

)");
  else
    AppendGLSL(AOut, R"(vec4 tex2D(in sampler2D p_Texture, in vec2 p_TexCoord){
  return texture(p_Texture, p_TexCoord);
}

vec4 tex2DProj(in sampler2D p_Texture, in vec4 p_TexCoord){
  return textureProj(p_Texture, p_TexCoord);
}

vec4 tex3D(in sampler3D p_Texture, in vec3 p_TexCoord){
  return texture(p_Texture, p_TexCoord);
}

vec4 texCube(in samplerCube p_Texture, in vec3 p_TexCoord){
  return texture(p_Texture, p_TexCoord);
}

)");
  // Common_UnpackNormal exists only where the packing functions are written: the fragment stage
  // with LIGHTING. Anywhere else these two would call an undeclared function.
  if (Has("PACKED_NORMAL") && Has("FRAGMENTSHADER") && Has("LIGHTING"))
    AppendGLSL(AOut, R"(vec3 Texture_GetNormal(in sampler2D p_NormalMap, in vec2 p_TexCoord){
  return Common_UnpackNormal(tex2D(p_NormalMap, p_TexCoord).rgb);
}

vec4 Texture_GetColor(in sampler2D p_ColorMap, in vec2 p_TexCoord){
  return tex2D(p_ColorMap, p_TexCoord);
}

)");
}

// ---- Vertex tree --------------------------------------------------------------------------------

TVantrelGLSLVertexShaderLocalsStructNode::TVantrelGLSLVertexShaderLocalsStructNode(
    TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLLocalsStructNode(ABuilder) {
  AddMember(*this, "Position", stVec4, {"VERTEXSHADER"});
  AddMember(*this, "TransfVertexPos", stVec4, {"VERTEXSHADER"});
  AddMember(*this, "WorldViewProjVertPos", stVec4, {"VERTEXSHADER"});
  AddMember(*this, "TexCoord0", stVec2, {"VERTEXSHADER"});
  AddMember(*this, "TexCoord1", stVec2, {"VERTEXSHADER", "USE_TEXCOORD1"});
  AddMember(*this, "TexCoord2", stVec2, {"VERTEXSHADER", "USE_TEXCOORD2"});
  AddMember(*this, "TexCoord3", stVec2, {"VERTEXSHADER", "USE_TEXCOORD3"});
  AddMember(*this, "Color0", stVec4, {"VERTEXSHADER"});
  AddMember(*this, "Normal", stVec3, {"VERTEXSHADER"});
  AddMember(*this, "Tangent", stVec3, {"VERTEXSHADER"});
  AddMember(*this, "Binormal", stVec3, {"VERTEXSHADER"});
  AddMember(*this, "Displace", stVec4, {"VERTEXSHADER", "DISPLACEMENT"});
  AddMember(*this, "ClippingPlane", stVec4, {"VERTEXSHADER", "CLIPPINGPLANE"});
}

void TVantrelGLSLTransformFuncsNode::WriteText(std::string& AOut) const {
  AppendGLSL(AOut, R"(vec4 TransformModel(in mat4 p_ModelMatrix, vec4 position){
  return p_ModelMatrix * position;
}

vec4 TransformModelViewProjection(in mat4 p_ProjMatrix, in mat4 p_ViewMatrix, in mat4 p_ModelMatrix, vec4 position){
  return p_ProjMatrix * p_ViewMatrix * p_ModelMatrix * position;
}

vec3 TransformModelNormal(in mat3 p_NormalMatrix, vec3 normal){
  return normalize(p_NormalMatrix * normal);
}

)");
}

void TVantrelGLSLMatricesOutNode::WriteText(std::string& AOut) const {
  if (!Has("VERTEXSHADER"))
    return;
  AOut += "\r\n";
  if (Has("SHADOW"))
    AOut += "\r\n";
}

void TVantrelGLSLGetVertexPositionNode::WriteText(std::string& AOut) const {
  AOut += "  LOCALS.Position = vec4(a_Position, 1.0);\r\n";
}

void TVantrelGLSLDisplacementMappingGetNode::WriteText(std::string& AOut) const {
  if (Has("DISPLACEMENT"))
    AppendGLSL(AOut, R"(  LOCALS.Displace = vec4(tex2D(_DisplacementMapTexture, a_TexCoord0).rgb, 0.0);
  LOCALS.Displace = _Material[0]._Displacement.w * (vec4(a_Normal, 0.0) * LOCALS.Displace * vec4(_Material[0]._Displacement.xyz, 0.0));
)");
}

void TVantrelGLSLDisplacementMappingApplyNode::WriteText(std::string& AOut) const {
  if (Has("DISPLACEMENT"))
    AOut += "  LOCALS.Position += LOCALS.Displace;\r\n\r\n";
}

void TVantrelGLSLClippingPlaneGetNode::WriteText(std::string& AOut) const {
  if (Has("CLIPPINGPLANE"))
    AOut += "  LOCALS.ClippingPlane = _ClippingPlane;\r\n";
}

void TVantrelGLSLVertexShaderOutputNode::WriteText(std::string& AOut) const {
  AppendGLSL(AOut, R"(  LOCALS.TransfVertexPos = a_ModelMatrix * LOCALS.Position;
  LOCALS.TransfVertexPos.xyz /= LOCALS.TransfVertexPos.w;
  LOCALS.WorldViewProjVertPos = _ProjectionMatrix * _ViewMatrix * a_ModelMatrix * LOCALS.Position;
  LOCALS.TexCoord0 = a_TexCoord0;
  LOCALS.Color0 = a_Color;
)");
  if (Has("USE_TEXCOORD1"))
    AOut += "  LOCALS.TexCoord1 = a_TexCoord1;\r\n";
  if (Has("USE_TEXCOORD2"))
    AOut += "  LOCALS.TexCoord2 = a_TexCoord2;\r\n";
  if (Has("USE_TEXCOORD3"))
    AOut += "  LOCALS.TexCoord3 = a_TexCoord3;\r\n";
  if (Has("POM") || Has("NORMALMAP"))
    AppendGLSL(AOut, R"(  LOCALS.Normal = normalize(a_ModelMatrix * vec4(a_Normal, 0.0)).xyz;
  LOCALS.Tangent = normalize(a_ModelMatrix * vec4(a_Tangent, 0.0)).xyz;
)");
  else
    AppendGLSL(AOut, R"(  mat4 l_TIMMat = transpose(inverse(a_ModelMatrix));
  mat3 l_NormalMatrix = mat3(l_TIMMat);
  LOCALS.Normal = normalize(l_NormalMatrix * a_Normal);
  LOCALS.Tangent = normalize(l_NormalMatrix * a_Tangent);
)");
  AppendGLSL(AOut, R"(  LOCALS.Binormal = cross(a_Normal, a_Tangent);
  LOCALS.Binormal = normalize(a_ModelMatrix * vec4(LOCALS.Binormal, 0.0)).xyz;

)");
  if (Has("REFLECTION"))
    AOut += "  vars.v_ReflProjTextureCoords = (_PassData[0]._ReflectTextureMatrix * a_ModelMatrix) * "
            "LOCALS.Position;\r\n";
}

void TVantrelGLSLAdjustPointSizeNode::WriteText(std::string& AOut) const {
  if (Has("USE_POINTSPRITE"))
    AppendGLSL(AOut, R"(  const float SIZE_MULTIPLIER = 2.0;
  float l_SpriteDist = clamp(LOCALS.WorldViewProjVertPos.w, 0.00001, 1000.0);
  float l_SpriteSize = a_Color2.x;
  if (length(a_Color2) < 0.00001)
    l_SpriteSize = 1.0;
  float l_AspectRatio = _ViewSize.x / _ViewSize.y;
  gl_PointSize = ((l_SpriteSize * SIZE_MULTIPLIER * l_AspectRatio) / l_SpriteDist) * l_AspectRatio;
  vars.v_ParticleSettings = a_Color2;
  vars.v_ParticleTimeInfo = a_Color3;
)");
}

void TVantrelGLSLVertexPositionOutputNode::WriteText(std::string& AOut) const {
  if (Has("CLIPPINGPLANE"))
    AOut += "  vars.v_ClipDistance = dot(vec4(LOCALS.TransfVertexPos.xyz, 1.0), LOCALS.ClippingPlane);\r\n";
  AppendGLSL(AOut, R"(  vars.v_TBN = mat3(LOCALS.Tangent, LOCALS.Binormal, LOCALS.Normal);
  vars.v_TBN_UT = mat3(a_Tangent, cross(a_Normal, a_Tangent), a_Normal);

  vars.v_TexCoord0 = LOCALS.TexCoord0;
)");
  if (Has("USE_TEXCOORD1"))
    AOut += "  vars.v_TexCoord1 = LOCALS.TexCoord1;\r\n";
  if (Has("USE_TEXCOORD2"))
    AOut += "  vars.v_TexCoord2 = LOCALS.TexCoord2;\r\n";
  if (Has("USE_TEXCOORD3"))
    AOut += "  vars.v_TexCoord3 = LOCALS.TexCoord3;\r\n";
  AppendGLSL(AOut, R"(  vars.v_Color0 = LOCALS.Color0;
  vars.v_VertPos = LOCALS.Position;
  vars.v_TransfVertPos = LOCALS.TransfVertexPos.xyz;
  vars.v_WorldViewProjVertPos = LOCALS.WorldViewProjVertPos;
  gl_Position = LOCALS.WorldViewProjVertPos;
  vars.v_ModelMatrix = a_ModelMatrix;
)");
  if (Has("DISPLACEMENT") && Has("DISPLACE_VAR"))
    AOut += "  vars.v_Displace = LOCALS.Displace;\r\n";
}

void TVantrelGLSLVertexShader::BuildNodeTree() {
  TVantrelCompositeNode& root = *SourceCode();
  TVantrelGlobalsNode* globals = AddCommonGlobals(root, TVantrelGLSLInOutMode::VaryingOut);
  SetGlobals(globals);
  auto* locals = globals->Types()->AddNew<TVantrelGLSLVertexShaderLocalsStructNode>();
  globals->Attributes()->AddNew<TVantrelGLSLAttributesNode>();
  TVantrelCompositeNode& functions = *globals->Functions();
  functions.AddNew<TVantrelGLSLTransformFuncsNode>();
  functions.AddNew<TVantrelGLSLGetTextureFuncsNode>();
  functions.AddNew<TVantrelVertexShaderFuncNode>();

  auto* main = root.AddNew<TVantrelGLSLMainNode>();
  SetEntryPoint(main);
  main->AddNew<TVantrelGLSLVertexShaderLocalsNode>()->SetStruct(locals);
  main->AddNew<TVantrelGLSLMatricesOutNode>();
  main->AddNew<TVantrelGLSLGetVertexPositionNode>();
  main->AddNew<TVantrelGLSLDisplacementMappingGetNode>();
  main->AddNew<TVantrelGLSLDisplacementMappingApplyNode>();
  main->AddNew<TVantrelGLSLClippingPlaneGetNode>();
  main->AddNew<TVantrelGLSLVertexShaderOutputNode>();
  main->AddNew<TVantrelGLSLAdjustPointSizeNode>();
  auto* surface = main->AddNew<TVantrelSurfaceShaderNode>();
  SetSurfaceShaderLink(surface);
  surface->AddNew<TVantrelGLSLVertexShaderExec>();
  surface->AddNew<TVantrelGLSLVertexPositionOutputNode>();
}

// ---- Fragment tree: functions -------------------------------------------------------------------

TVantrelGLSLFragmentShaderLocalsStructNode::TVantrelGLSLFragmentShaderLocalsStructNode(
    TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLLocalsStructNode(ABuilder) {
  AddMember(*this, "LightDir", stVec4, {"LIGHTING"});
  AddMember(*this, "LightVec", stVec3, {"LIGHTING"});
  AddMember(*this, "LightType", stInt, {"LIGHTING"});
  AddMember(*this, "LightDist", stFloat, {"LIGHTING"});
  AddMember(*this, "Attenuation", stFloat, {"LIGHTING"}, TValue::From(1.0));
  AddMember(*this, "SceneAttenuation", stFloat, {"LIGHTING"}, TValue::From(0.0));
  for (const char* name : {"Ambient", "Diffuse", "Specular"})
    AddMember(*this, name, stVec3, {"LIGHTING"}, Vec3(0))->SetConditionalValue("DEFERRED", Vec3(1));
  AddMember(*this, "Emissive", stVec3, {}, Vec3(0));
  AddMember(*this, "TexCoord0", stVec2, {"USE_TEXTURE"});
  AddMember(*this, "TexCoord1", stVec2, {"USE_TEXCOORD1", "USE_TEXTURE"});
  AddMember(*this, "TexCoord2", stVec2, {"USE_TEXCOORD2", "USE_TEXTURE"});
  AddMember(*this, "TexCoord3", stVec2, {"USE_TEXCOORD3", "USE_TEXTURE"});
  AddMember(*this, "TransfVertPos", stVec3, {});
  AddMember(*this, "FragDepth", stFloat, {});
  AddMember(*this, "Normal", stVec3, {});
  AddMember(*this, "FragViewDir", stVec3, {});
  AddMember(*this, "SpecularColor", stVec3, {"LIGHTING"}, Vec3(0));
  AddMember(*this, "BaseColor", stVec4, {}, TValue::From(TAlphaColorF{1, 1, 1, 1}));
  AddMember(*this, "SumColor", stVec3, {}, Vec3(1));
  AddMember(*this, "Alpha", stFloat, {}, TValue::From(1.0));
  AddMember(*this, "Shading", stVec2, {"LIGHTING"});
  AddMember(*this, "ShadowSum", stFloat, {"LIGHTING", "SHADOW"}, TValue::From(0.0));
  AddMember(*this, "BumpSum", stVec2, {}, TValue::From(TPointF{1, 1}));
}

void TVantrelGLSLPackingFuncsNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING") && Has("PACKED_NORMAL"))
    AppendGLSL(AOut, R"(vec3 Common_UnpackNormal(in vec3 p_Normal){
  return p_Normal * 2.0 - 1.0;
}

vec3 Common_UnpackNormalLA(in vec4 p_Normal){
  vec3 l_Normal = p_Normal.agb;
  l_Normal.z = sqrt(1.0 - l_Normal.x * l_Normal.x - l_Normal.y * l_Normal.y);
  return l_Normal * 2.0 - 1.0;
}

vec3 Common_PackNormal(in vec3 p_Normal){
  return p_Normal * 0.5 + 0.5;
}

)");
}

void TVantrelGLSLGetDirLightDirectionFuncNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING"))
    AppendGLSL(AOut, R"(float GetDirLightDir(in Light p_Light, in vec3 p_TransVertPos, inout vec4 p_LightDir){
  vec3 l_VP = p_Light._Position.xyz - p_TransVertPos;
  p_LightDir = -p_Light._Direction;
  return length(l_VP);
}

)");
}

void TVantrelGLSLGetPointLightDirectionFuncNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING"))
    AppendGLSL(
        AOut,
        R"(float GetPointLightDir(in Light p_Light, in vec3 p_TransVertPos, inout vec4 p_LightDir, inout vec3 p_HalfVector){
  vec3 l_VP = p_Light._Position.xyz - p_TransVertPos;
  p_LightDir = vec4(normalize(l_VP), 0.0);
  p_HalfVector = normalize(l_VP + (-p_TransVertPos));
  return length(l_VP);
}

)");
}

void TVantrelGLSLGetSpotLightDirectionFuncNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING"))
    AppendGLSL(
        AOut,
        R"(float GetSpotLightDir(in Light p_Light, in vec3 p_TransVertPos, inout vec4 p_LightDir, inout vec3 p_HalfVector){
  vec3 l_VP = p_Light._Position.xyz - p_TransVertPos;
  p_LightDir = -p_Light._Direction;
  p_HalfVector = normalize(l_VP);
  return length(l_VP);
}

)");
}

void TVantrelGLSLGetLightDirectionFuncNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING"))
    AppendGLSL(
        AOut,
        R"(float GetLightDir(in Light p_Light, in vec3 p_TransVertPos, out vec4 p_LightDir, out vec3 p_HalfVector){
  if (p_Light._LightType == 0){
    p_HalfVector = vec3(0.0);
    return GetDirLightDir(p_Light, p_TransVertPos, p_LightDir);
  }
  if (p_Light._LightType == 1)
    return GetPointLightDir(p_Light, p_TransVertPos, p_LightDir, p_HalfVector);
  return GetSpotLightDir(p_Light, p_TransVertPos, p_LightDir, p_HalfVector);
}

)");
}

void TVantrelGLSLGetSpotFalloffFuncNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING"))
    AppendGLSL(AOut, R"(float computeSpotFalloff(in vec4 p_LightDirection, in vec3 p_HalfVector){
  vec3 l_L = normalize(p_HalfVector);
  vec3 l_SpotDir = normalize(p_LightDirection.xyz);
  float l_Cur = dot(-l_L, l_SpotDir);
  float l_Inner = floor(p_LightDirection.w) * 0.001;
  float l_Outer = fract(p_LightDirection.w);
  return clamp((l_Cur - l_Outer) / (l_Inner - l_Outer), step(p_LightDirection.w, 0.001), 1.0);
}

)");
}

void TVantrelGLSLGetLightAttenuationFuncNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING"))
    AppendGLSL(AOut, R"(float getAttenuation(in Light p_Light, in float p_Distance, in vec3 p_HalfVector){
  float l_Attenuation = 1.0 / (p_Light._ConstantAttenuation + p_Light._LinearAttenuation * p_Distance + p_Light._QuadraticAttenuation * p_Distance * p_Distance);
  if (p_Light._LightType == 2){
    float l_Spot = dot(-p_HalfVector, normalize(p_Light._Direction.xyz));
    if (l_Spot < p_Light._SpotCosCutoff)
      l_Spot = 0.0;
    else
      l_Spot = pow(l_Spot, p_Light._SpotExponent);
    l_Attenuation *= l_Spot;
  }
  return l_Attenuation;
}

)");
}

void TVantrelGLSLGetShadingFuncsNode::WriteText(std::string& AOut) const {
  if (!Has("LIGHTING"))
    return;
  AppendGLSL(AOut, R"(float lightComputeDiffuse(in vec3 p_Normal, in vec3 p_LightDir){
  return max(0.0, dot(p_Normal, p_LightDir));
}

)");
  if (Has("PHONG"))
    AppendGLSL(
        AOut,
        R"(float lightComputeSpecularPhong(in vec3 p_Normal, in vec3 p_ViewDir, in vec3 p_LightDir, in float p_Shiny){
  vec3 l_R = -reflect(p_LightDir, p_Normal);
  return pow(max(dot(l_R, p_ViewDir), 0.0), p_Shiny);
}

)");
  else if (Has("BLINNPHONG"))
    AppendGLSL(
        AOut,
        R"(float lightComputeSpecular(in vec3 p_Normal, in vec3 p_ViewDir, in vec3 p_LightDir, in float p_Shiny){
  vec3 l_H = normalize(p_ViewDir + p_LightDir);
  return pow(max(0.0, dot(l_H, p_Normal)), p_Shiny);
}

)");
}

void TVantrelGLSLGetTextureAtlasFuncNode::WriteText(std::string& AOut) const {
  if (Has("USE_TEXTURE_ATLAS"))
    AppendGLSL(
        AOut,
        R"(bool GetTextureAtlasColor(in sampler2D p_Texture, in vec2 p_TexCoord0, in vec4 p_Settings, in vec2 p_PointCoord, in vec2 p_TexSize, out vec4 p_Color){
  vec2 l_Coord = p_PointCoord;
  if (abs(p_Settings.y) > 0.0001){
    float l_Angle = radians(p_Settings.y);
    float l_Cos = cos(l_Angle);
    float l_Sin = sin(l_Angle);
    l_Coord = vec2(l_Cos * (p_PointCoord.x - 0.5) + l_Sin * (p_PointCoord.y - 0.5) + 0.5, l_Cos * (p_PointCoord.y - 0.5) - l_Sin * (p_PointCoord.x - 0.5) + 0.5);
  }
  p_Color = tex2D(p_Texture, p_TexCoord0 + l_Coord * p_TexSize);
  p_Color.a = clamp(log(1.0 + p_Color.a), 0.0, 1.0) * p_Settings.z;
  if (p_Settings.w > 0.1)
    p_Color.a *= clamp(pow(1.0 - distance(p_PointCoord, vec2(0.5, 0.5)), p_Settings.w), 0.0, 1.0);
  return p_Color.a > 0.04;
}

)");
}

void TVantrelGLSLBumpFuncsNode::WriteText(std::string& AOut) const {
  if (!Has("BUMP"))
    return;
  if (Has("POM"))
    AppendGLSL(
        AOut,
        R"(vec3 CalcBumpedNormal(in mat3 p_TBN, in float p_NormalIntensity, in sampler2D p_NormalMap, in vec2 p_TexCoord){
  vec3 l_Normal = tex2D(p_NormalMap, p_TexCoord).rgb;
  if (length(l_Normal) < 0.001){
    l_Normal = p_TBN[2] * 2.0 - 1.0;
    l_Normal.z *= p_NormalIntensity;
    return normalize(l_Normal);
  }
  l_Normal = normalize(l_Normal * 2.0 - 1.0);
  return normalize(mat3(p_TBN[2], p_TBN[1], p_TBN[0]) * l_Normal);
}

)");
  else
    AppendGLSL(AOut, R"(vec3 ConvertDirectXNormalToOpenGL(in vec3 p_Normal){
  return vec3(p_Normal.x, p_Normal.y, sqrt(1.0 - dot(p_Normal.xy, p_Normal.xy)));
}

vec3 CalcBumpedNormal(in mat3 p_TBN, in float p_NormalIntensity, in sampler2D p_NormalMap, in vec2 p_TexCoord){
  vec3 l_Normal = tex2D(p_NormalMap, p_TexCoord).rgb;
  if (abs(length(l_Normal)) < 0.001){
    l_Normal = p_TBN[2] * 2.0 - 1.0;
    l_Normal.z *= p_NormalIntensity;
    return normalize(l_Normal);
  }
  l_Normal = normalize(l_Normal * 2.0 - 1.0);
  l_Normal.z *= p_NormalIntensity;
  l_Normal = normalize(l_Normal);
  return normalize(mat3(p_TBN[2], p_TBN[1], p_TBN[0]) * l_Normal);
}

)");
  AppendGLSL(AOut, R"(vec4 BumpSum(in sampler2D p_BaseTex, in vec2 p_TexCoord, in vec3 p_Normal){
  return tex2D(p_BaseTex, p_TexCoord);
}

)");
}

// ---- Fragment tree: steps of main ---------------------------------------------------------------

void TVantrelGLSLClippingPlaneNode::WriteText(std::string& AOut) const {
  if (Has("FRAGMENTSHADER") && Has("CLIPPINGPLANE"))
    AppendGLSL(AOut, R"(  const int c_ClipPlaneFlag = 0x01;
  if (((_Options & c_ClipPlaneFlag) != 0) && (vars.v_ClipDistance < 0.0))
    discard;
)");
}

void TVantrelGLSLSpecularColorNode::WriteText(std::string& AOut) const {
  if (!Has("LIGHTING"))
    return;
  AOut += Has("USE_SPECULAR") ? "  LOCALS.SpecularColor = _Material[0]._Specular.rgb;\r\n"
                              : "  LOCALS.SpecularColor = vec3(0.0);\r\n";
}

void TVantrelGLSLEmissiveColorNode::WriteText(std::string& AOut) const {
  AOut += Has("USE_EMISSIVE")
              ? "  LOCALS.Emissive = _Material[0]._Emissive.rgb * _Material[0]._Emissive.a;\r\n"
              : "  LOCALS.Emissive = vec3(0.0);\r\n";
}

void TVantrelGLSLGetTransfVertPosNode::WriteText(std::string& AOut) const {
  AOut += "  LOCALS.TransfVertPos = vars.v_TransfVertPos.xyz;\r\n  LOCALS.FragDepth = gl_FragCoord.z;\r\n";
}

void TVantrelGLSLGetNormalNode::WriteText(std::string& AOut) const {
  if (!Has("BUMP"))
    AOut += "  LOCALS.Normal = vars.v_TBN[2];\r\n";
}

void TVantrelGLSLGetFragViewDirNode::WriteText(std::string& AOut) const {
  AOut += "  LOCALS.FragViewDir = normalize(_EyePos.xyz - LOCALS.TransfVertPos.xyz);\r\n";
}

void TVantrelGLSLTextureCoordsNode::WriteText(std::string& AOut) const {
  if (!Has("USE_TEXTURE"))
    return;
  // Every set uses the tiling of texture slot 0.
  static constexpr std::pair<const char*, std::string_view> Sets[] = {
      {"0", {}}, {"1", "USE_TEXCOORD1"}, {"2", "USE_TEXCOORD2"}, {"3", "USE_TEXCOORD3"}};
  for (const auto& [n, define] : Sets) {
    if (!define.empty() && !Has(define))
      continue;
    AOut += Format("  LOCALS.TexCoord%s = vars.v_TexCoord%s;\r\n"
                   "  vec2 l_Tiling%s = _Material[0]._Texture[0]._Tiling;\r\n"
                   "  LOCALS.TexCoord%s = vec2(mod(LOCALS.TexCoord%s.x * l_Tiling%s.x, 1.0), "
                   "mod(LOCALS.TexCoord%s.y * l_Tiling%s.y, 1.0));\r\n",
                   {n, n, n, n, n, n, n, n});
  }
}

void TVantrelGLSLGetBumpNormalNode::WriteText(std::string& AOut) const {
  if (!Has("LIGHTING") || !Has("NORMALMAP") || !Has("BUMP"))
    return;
  AOut += Has("USE_TEXTURE")
              ? "  LOCALS.Normal = CalcBumpedNormal(vars.v_TBN, _PassData[0]._NormalIntensity, "
                "_NormalMapTexture, LOCALS.TexCoord0);\r\n"
              : "  LOCALS.Normal = CalcBumpedNormal(vars.v_TBN, _PassData[0]._NormalIntensity, "
                "_NormalMapTexture, vars.v_TexCoord0);\r\n";
}

void TVantrelGLSLGetLightShadingNode::WriteText(std::string& AOut) const {
  AppendGLSL(AOut, R"(    LOCALS.LightType = _Lights[i]._LightType;
    LOCALS.LightDist = GetLightDir(_Lights[i], vars.v_TransfVertPos, LOCALS.LightDir, LOCALS.LightVec);
    float l_Falloff = 1.0;
    if (LOCALS.LightType == 2)
      l_Falloff = computeSpotFalloff(LOCALS.LightDir, LOCALS.LightVec);
    if (LOCALS.LightType == 0)
      LOCALS.Attenuation = 1.0;
    else
      LOCALS.Attenuation = getAttenuation(_Lights[i], LOCALS.LightDist, LOCALS.LightVec);
    LOCALS.SceneAttenuation += LOCALS.Attenuation;

)");
  if (Has("PBR")) {
    // A light exactly against the view direction has no half vector; N stands in for it, so the
    // zero radiance of that light does not turn into 0 x NaN.
    AppendGLSL(AOut, R"(    vec3 l_L = LOCALS.LightDir.xyz;
    vec3 l_HalfSum = l_V + l_L;
    vec3 l_H = (dot(l_HalfSum, l_HalfSum) > 0.0) ? normalize(l_HalfSum) : l_N;
    l_LightIntensity += _Lights[i]._Intensity;
    float l_NdotL = max(0.0, dot(l_N, l_L));
    float l_NdotH = max(0.0, dot(l_N, l_H));
    float l_VdotH = max(0.0, dot(l_V, l_H));
    vec3 l_LightRad = _Lights[i]._Diffuse.rgb * LOCALS.Attenuation * l_NdotL;
    LOCALS.Diffuse += l_LightRad * BRDF_lambertian(F0, F90, l_CDiff, l_SpecularWeight, l_VdotH);
    LOCALS.Specular += l_LightRad * BRDF_specularGGX(F0, F90, l_AlphaRoughness, l_SpecularWeight, l_VdotH, l_NdotL, l_NdotV, l_NdotH);

    LOCALS.Shading *= (vec2(LOCALS.Attenuation) * vec2(l_Falloff));
)");
    return;
  }
  AppendGLSL(AOut, R"(    LOCALS.Shading.x = lightComputeDiffuse(LOCALS.Normal, LOCALS.LightDir.xyz);
    LOCALS.Shading.y = 0.0;
)");
  if (Has("PHONG"))
    AppendGLSL(AOut, R"(    if (_Material[0]._Shininess > 0.001)
      LOCALS.Shading.y = lightComputeSpecularPhong(LOCALS.Normal, LOCALS.FragViewDir, LOCALS.LightDir.xyz, _Material[0]._Shininess);
)");
  else if (Has("BLINNPHONG"))
    AppendGLSL(AOut, R"(    if (_Material[0]._Shininess > 0.001)
      LOCALS.Shading.y = lightComputeSpecular(LOCALS.Normal, LOCALS.FragViewDir, LOCALS.LightDir.xyz, _Material[0]._Shininess);
)");
  AOut += "    LOCALS.Shading = LOCALS.Shading * vec2(LOCALS.Attenuation) * vec2(l_Falloff);\r\n";
}

void TVantrelGLSLLightingSumNode::WriteText(std::string& AOut) const {
  if (Has("PBR"))
    return;
  AppendGLSL(AOut, R"(    LOCALS.Shading *= _ShadingIntensity;
    LOCALS.Ambient += _Lights[i]._Ambient.rgb;
    LOCALS.Diffuse += _Lights[i]._Diffuse.rgb * _Lights[i]._Intensity * LOCALS.Shading.x;
)");
  if (Has("USE_SPECULAR"))
    AOut += "    LOCALS.Specular += _Lights[i]._Specular.rgb * LOCALS.Shading.y;\r\n";
  AOut += "\r\n";
}

void TVantrelGLSLGetBaseColorNode::WriteText(std::string& AOut) const {
  const bool bump = Has("BUMP");
  const bool lit = Has("LIGHTING");
  if (bump && Has("PBR") && lit)
    return;
  if (bump && !Has("PBR")) {
    AOut += Has("USE_TEXTURE") && Has("USE_TEXTURE0")
                ? "  LOCALS.BaseColor = BumpSum(_Texture0, LOCALS.TexCoord0, LOCALS.Normal);\r\n"
                : "  LOCALS.BaseColor = _Material[0]._Diffuse;\r\n";
    AOut += "  LOCALS.Alpha = LOCALS.BaseColor.a;\r\n";
    return;
  }
  // The atlas is offered with point sprites only; any other atlas case takes the ordinary rule.
  if (!bump && Has("USE_TEXTURE_ATLAS") && Has("USE_POINTSPRITE") && !Has("DEPRECATED")) {
    AppendGLSL(
        AOut,
        R"(  if (!GetTextureAtlasColor(_Texture0, LOCALS.TexCoord0, vars.v_ParticleSettings, gl_PointCoord, _TextureSize, LOCALS.BaseColor))
    discard;
  o_Albedo = LOCALS.BaseColor;
  LOCALS.Alpha = LOCALS.BaseColor.a;
)");
    return;
  }
  const bool texture = Has("USE_TEXTURE") && Has("USE_TEXTURE0");
  const bool vertexColor = Has("USE_VERTEXCOLOR");
  if (texture && vertexColor) {
    AOut += "  LOCALS.BaseColor = tex2D(_Texture0, LOCALS.TexCoord0) * vars.v_Color0;\r\n";
    // The lit rule counts the vertex alpha twice.
    AOut += lit ? "  LOCALS.Alpha = LOCALS.BaseColor.a * vars.v_Color0.a;\r\n"
                : "  LOCALS.Alpha = LOCALS.BaseColor.a;\r\n";
    return;
  }
  if (texture)
    AOut += "  LOCALS.BaseColor = tex2D(_Texture0, LOCALS.TexCoord0);\r\n";
  else if (vertexColor)
    AOut += "  LOCALS.BaseColor = vars.v_Color0;\r\n";
  else
    AOut += "  LOCALS.BaseColor = _Material[0]._Diffuse;\r\n";
  AOut += "  LOCALS.Alpha = LOCALS.BaseColor.a;\r\n";
}

void TVantrelGLSLAlphaCutoffNode::WriteText(std::string& AOut) const {
  if (Has("USE_ALPHACUTOFF"))
    AppendGLSL(
        AOut,
        R"(  if ((_Material[0]._AlphaCutoff.x > 0.01) && (LOCALS.BaseColor.a < _Material[0]._AlphaCutoff.y))
    discard;
)");
}

void TVantrelGLSLSpecularMapNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING") && Has("SPECULARMAP"))
    AOut += "  LOCALS.SpecularColor += tex2D(_SpecularMapTexture, LOCALS.TexCoord0).rgb;\r\n";
}

void TVantrelGLSLMergedColorOutputNode::WriteText(std::string& AOut) const {
  if (!Has("LIGHTING")) {
    AppendGLSL(
        AOut,
        R"(  LOCALS.SumColor = _Material[0]._Emissive.rgb * _Material[0]._Emissive.a + _Material[0]._Ambient.rgb + _Material[0]._Diffuse.rgb + _Material[0]._Specular.rgb;
  LOCALS.SumColor = LOCALS.SumColor * LOCALS.BaseColor.rgb;
)");
    return;
  }
  if (Has("PBR"))
    WritePBRMerge(AOut);
  else
    AppendGLSL(AOut, R"(  LOCALS.Specular *= LOCALS.SpecularColor;
  LOCALS.SumColor = _Material[0]._Ambient.rgb * LOCALS.Ambient + _Material[0]._Diffuse.rgb * LOCALS.Diffuse + LOCALS.Specular;
  LOCALS.SumColor = clamp(LOCALS.SceneAttenuation, 0.0, 1.0) * (LOCALS.SumColor * LOCALS.BaseColor.rgb);
  LOCALS.SumColor += LOCALS.Emissive;
)");
  if (Has("SHADOW"))
    AOut += "  LOCALS.SumColor *= clamp(LOCALS.ShadowSum, 0.0, 1.0);\r\n";
}

// The physically based merge reads the locals the preparation declared in main.
void TVantrelGLSLMergedColorOutputNode::WritePBRMerge(std::string& AOut) const {
  AOut += Has("SpecularMapTexture")
              ? "  LOCALS.Diffuse *= _Material[0]._Diffuse.rgb * l_AO;\r\n"
                "  LOCALS.Specular *= l_AO;\r\n"
              : "  LOCALS.Diffuse *= _Material[0]._Diffuse.rgb * l_AO;\r\n"
                "  LOCALS.Specular *= _Material[0]._Specular.rgb * l_Shininess * l_AO;\r\n";
  AOut += "  LOCALS.Ambient = LOCALS.Diffuse * (_Material[0]._Ambient.rgb * l_AO);\r\n";
  // With an environment map the environment node has added its radiance already.
  if (!Has("ENVIRONMENT"))
    AppendGLSL(AOut, R"(  vec3 l_Radiance = getIBLRadianceGGX(F0, l_NdotV, l_Roughness, F0, l_SpecularWeight);
  LOCALS.Specular += l_Radiance;
)");
  AppendGLSL(AOut, R"(  if (_LightsCount > 0)
    l_LightIntensity = l_LightIntensity / float(_LightsCount);
  else
    l_LightIntensity = 1.0;
  LOCALS.Diffuse += LOCALS.Specular;
  LOCALS.Diffuse += LOCALS.Ambient * LOCALS.Shading.y;
  LOCALS.SumColor = LOCALS.Diffuse * _ShadingIntensity * LOCALS.Shading.x;
)");
  AOut += FindToneMapText(Builder())
              ? "  LOCALS.SumColor = toneMap(LOCALS.SumColor, _Material[0]._ToneMapExp);\r\n"
              : "  LOCALS.SumColor = linearTosRGB(LOCALS.SumColor);\r\n";
  AppendGLSL(AOut, R"(  LOCALS.SumColor *= l_LightIntensity;
  LOCALS.SumColor *= clamp(LOCALS.SceneAttenuation, 0.0, 1.0);
  LOCALS.SumColor += LOCALS.Emissive;

)");
}

void TVantrelGLSLBrightnessColorNode::WriteText(std::string& AOut) const {
  AOut += "  LOCALS.SumColor *= _Brightness;\r\n";
}

void TVantrelGLSLFragColorOutputNode::WriteText(std::string& AOut) const {
  AOut += "  LOCALS.Alpha *= _Material[0]._Features.x;\r\n";
  AOut += Has("DEPRECATED") ? "  gl_FragColor = vec4(LOCALS.SumColor, LOCALS.Alpha);\r\n"
                            : "  o_Albedo = vec4(LOCALS.SumColor, LOCALS.Alpha);\r\n";
}

void TVantrelGLSLColorClipNode::WriteText(std::string& AOut) const {
  if (!Has("USE_COLORCLIP"))
    return;
  const std::string target = Has("DEPRECATED") ? "gl_FragColor" : "o_Albedo";
  AOut += "  if ((abs(" + target + ".r - _Material[0]._Clipping.r) < _Material[0]._Clipping.a) && (abs(" +
          target + ".g - _Material[0]._Clipping.g) < _Material[0]._Clipping.a) && (abs(" + target +
          ".b - _Material[0]._Clipping.b) < _Material[0]._Clipping.a))\r\n    discard;\r\n";
}

void TVantrelGLSLFragmentShader::BuildNodeTree() {
  TVantrelCompositeNode& root = *SourceCode();
  TVantrelGlobalsNode* globals = AddCommonGlobals(root, TVantrelGLSLInOutMode::VaryingIn);
  SetGlobals(globals);
  auto* locals = globals->Types()->AddNew<TVantrelGLSLFragmentShaderLocalsStructNode>();
  TVantrelCompositeNode& functions = *globals->Functions();
  functions.AddNew<TVantrelGLSLPackingFuncsNode>();
  functions.AddNew<TVantrelGLSLGetDirLightDirectionFuncNode>();
  functions.AddNew<TVantrelGLSLGetPointLightDirectionFuncNode>();
  functions.AddNew<TVantrelGLSLGetSpotLightDirectionFuncNode>();
  functions.AddNew<TVantrelGLSLGetLightDirectionFuncNode>();
  functions.AddNew<TVantrelGLSLGetSpotFalloffFuncNode>();
  functions.AddNew<TVantrelGLSLGetLightAttenuationFuncNode>();
  functions.AddNew<TVantrelGLSLGetShadingFuncsNode>();
  functions.AddNew<TVantrelGLSLGetTextureFuncsNode>();
  functions.AddNew<TVantrelGLSLGetTextureAtlasFuncNode>();
  functions.AddNew<TVantrelGLSLBasicShadowFuncsNode>();
  functions.AddNew<TVantrelGLSLBumpFuncsNode>();
  functions.AddNew<TVantrelGLSLPOMFuncsNode>();
  functions.AddNew<TVantrelGLSLPBRFuncsNode>();
  functions.AddNew<TVantrelGLSLToneMappingFuncsNode>();
  functions.AddNew<TVantrelGLSLFogFuncNode>();
  functions.AddNew<TVantrelSurfaceShaderFuncNode>();

  struct TOutput {
    const char* Name;
    TVantrelShaderNodeVariableType Type;
    bool Deferred;
  };
  const TOutput outputs[] = {
      {"o_Albedo", stVec4, false},  {"o_Alpha", stFloat, false},   {"o_Position", stVec4, false},
      {"o_Normals", stVec3, false}, {"o_Emissive", stVec3, false}, {"o_Components", stVec4, true},
      {"o_Ambient", stVec3, true},  {"o_Specular", stVec3, true},
  };
  for (int location = 0; location < 8; ++location) {
    auto* output = globals->AddNew<TVantrelGLSLLayoutLocation>();
    output->SetKind(TVantrelGLSLLayoutKind::LayoutOutput);
    output->SetIndex(location);
    auto variable = std::make_unique<TVantrelGLSLVariable>(this);
    variable->SetId(outputs[location].Name);
    variable->SetDefinition({outputs[location].Name, outputs[location].Type, {}, TValue(), false, 0});
    output->SetVariable(std::move(variable));
    output->AddNotDefine("DEPRECATED");
    if (outputs[location].Deferred)
      output->AddDefine("DEFERRED");
  }

  auto* main = root.AddNew<TVantrelGLSLMainNode>();
  SetEntryPoint(main);
  main->AddNew<TVantrelGLSLClippingPlaneNode>();
  main->AddNew<TVantrelGLSLMatricesOutNode>();
  main->AddNew<TVantrelGLSLLightingLocalsNode>()->SetStruct(locals);
  main->AddNew<TVantrelGLSLSpecularColorNode>();
  main->AddNew<TVantrelGLSLEmissiveColorNode>();
  main->AddNew<TVantrelGLSLGetTransfVertPosNode>();
  main->AddNew<TVantrelGLSLGetNormalNode>();
  main->AddNew<TVantrelGLSLGetFragViewDirNode>();
  main->AddNew<TVantrelGLSLTextureCoordsNode>();
  main->AddNew<TVantrelGLSLPOMApplyNode>();
  main->AddNew<TVantrelGLSLGetBumpNormalNode>();
  main->AddNew<TVantrelGLSLPBRPrepareNode>();
  auto* loop = main->AddNew<TVantrelGLSLLightsLoopNode>();
  loop->AddNew<TVantrelGLSLGetLightShadingNode>();
  loop->AddNew<TVantrelGLSLLightingSumNode>();
  loop->AddNew<TVantrelGLSLAddShadowNode>();

  auto* surface = main->AddNew<TVantrelSurfaceShaderNode>();
  SetSurfaceShaderLink(surface);
  surface->AddNew<TVantrelGLSLGetBaseColorNode>();
  surface->AddNew<TVantrelGLSLAlphaCutoffNode>();
  surface->AddNew<TVantrelGLSLSpecularMapNode>();
  surface->AddNew<TVantrelGLSLAddEnvironmentNode>();
  surface->AddNew<TVantrelGLSLAddReflectionNode>();
  surface->AddNew<TVantrelGLSLAddRefractionNode>();
  surface->AddNew<TVantrelGLSLSurfaceShaderExec>();
  surface->AddNew<TVantrelGLSLMergedColorOutputNode>();
  surface->AddNew<TVantrelGLSLTonemappingNode>();
  surface->AddNew<TVantrelGLSLBrightnessColorNode>();
  surface->AddNew<TVantrelGLSLFragColorOutputNode>();
  surface->AddNew<TVantrelGLSLColorClipNode>();
  surface->AddNew<TVantrelGLSLFogApplyNode>();
  surface->AddNew<TVantrelGLSLWeightedBlendedOITNode>();
}

} // namespace vantrel
