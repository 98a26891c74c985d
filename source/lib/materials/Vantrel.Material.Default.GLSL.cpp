#include "materials/Vantrel.Material.Default.GLSL.h"

#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>

#include "context/Vantrel.Context.h"
#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/sysutils.h"
#include "rtl/types2d.h"

namespace vantrel {

using enum TVantrelShaderNodeVariableType;

namespace {

constexpr std::array<std::string_view, 22> GLSLTypeNames = {
    "",      "int",   "float",     "bool",        "bvec2",     "bvec3",  "bvec4", "ivec2",
    "ivec3", "ivec4", "uvec2",     "uvec3",       "uvec4",     "vec2",   "vec3",  "vec4",
    "mat3",  "mat4",  "sampler2D", "samplerCube", "sampler3D", "struct",
};

// Shortest round-trip is not what shader text wants: 15 significant digits in the general
// format, with ".0" added so that a whole number still reads as a float.
void WriteFloat(std::string& AOut, double AValue) {
  if (!std::isfinite(AValue))
    throw Exception(std::string(SNonFiniteFloatValue));
  const std::string text = FloatToStr(AValue, FormatSettingsEnUS());
  AOut += text;
  if (text.find_first_of(".E") == std::string::npos)
    AOut += ".0";
}

// A record component: fixed notation, exactly two decimals, no grouping.
void WriteFixed(std::string& AOut, double AValue) {
  if (!std::isfinite(AValue))
    throw Exception(std::string(SNonFiniteFloatValue));
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue, std::chars_format::fixed, 2);
  AOut.append(buffer, result.ptr);
}

void WriteVector(std::string& AOut, std::string_view AConstructor, std::initializer_list<float> AComponents) {
  AOut += AConstructor;
  AOut += '(';
  bool first = true;
  for (const float component : AComponents) {
    if (!first)
      AOut += ", ";
    first = false;
    WriteFixed(AOut, component);
  }
  AOut += ')';
}

void WriteRecord(std::string& AOut, const TValue& AValue) {
  if (AValue.IsType<TPoint>()) {
    const auto p = AValue.AsType<TPoint>();
    AOut += "ivec2(" + IntToStr(p.X) + ", " + IntToStr(p.Y) + ")";
  } else if (AValue.IsType<TPointF>()) {
    const auto p = AValue.AsType<TPointF>();
    WriteVector(AOut, "vec2", {p.X, p.Y});
  } else if (AValue.IsType<TPoint3D>()) {
    const auto p = AValue.AsType<TPoint3D>();
    WriteVector(AOut, "vec3", {p.X, p.Y, p.Z});
  } else if (AValue.IsType<TVector3D>()) {
    const auto v = AValue.AsType<TVector3D>();
    WriteVector(AOut, "vec4", {v.X, v.Y, v.Z, v.W});
  } else if (AValue.IsType<TAlphaColorF>()) {
    const auto c = AValue.AsType<TAlphaColorF>();
    WriteVector(AOut, "vec4", {c.R, c.G, c.B, c.A});
  } else if (AValue.IsType<TMatrix>()) {
    const auto m = AValue.AsType<TMatrix>();
    WriteVector(AOut, "mat3", {m.m11, m.m12, m.m13, m.m21, m.m22, m.m23, m.m31, m.m32, m.m33});
  } else if (AValue.IsType<TMatrix3D>()) {
    const auto m = AValue.AsType<TMatrix3D>();
    WriteVector(AOut, "mat4",
                {m.m11, m.m12, m.m13, m.m14, m.m21, m.m22, m.m23, m.m24, m.m31, m.m32, m.m33, m.m34, m.m41,
                 m.m42, m.m43, m.m44});
  } else {
    throw Exception(std::string(SInvalidConstantValueType));
  }
}

void WriteConstantUnwrapped(std::string& AOut, const TValue& AValue) {
  switch (AValue.Kind()) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
    AOut += IntToStr(AValue.AsInt64());
    return;
  case TTypeKind::tkBoolean:
    AOut += AValue.AsBoolean() ? "true" : "false";
    return;
  case TTypeKind::tkEnumeration:
    throw Exception(std::string(SInvalidConstantValueType));
  case TTypeKind::tkFloat:
    WriteFloat(AOut, AValue.AsDouble());
    return;
  case TTypeKind::tkRecord:
    WriteRecord(AOut, AValue);
    return;
  default:
    throw Exception(
        Format(SInvalidConstantValueTypeOf, {AValue.TypeName(), static_cast<int>(AValue.Kind())}));
  }
}

// A member of a structure, block or locals record with the value that applies now: its
// conditional value when one is defined, else its own.
void WriteMember(std::string& AOut, const TVantrelVariableNode& AMember, bool AWithType, bool AWithValue) {
  TVantrelGLSLNodeBuilder::WriteDeclaration(AOut, AMember.Definition(), AMember.FindConditionalValue(),
                                            AWithType, AWithValue);
}

// Each member among AChildren that passes its conditions, one line apiece: APrefix, the member
// with its type, ";".
void WriteMembers(std::string& AOut, const std::vector<TVantrelNodePtr>& AChildren, std::string_view APrefix,
                  bool AWithValue) {
  for (const TVantrelNodePtr& child : AChildren) {
    const TVantrelVariableNode* member = child ? child->AsVariable() : nullptr;
    if (!member || !member->Passes())
      continue;
    AOut += APrefix;
    WriteMember(AOut, *member, true, AWithValue);
    AOut += ";\r\n";
  }
}

bool HasValue(const TVantrelVariableNode& AMember) {
  const TValue* conditional = AMember.FindConditionalValue();
  return (conditional && !conditional->IsEmpty()) || !AMember.Definition().Value.IsEmpty();
}

} // namespace

void AppendGLSL(std::string& AOut, std::string_view AText) {
  size_t start = 0;
  for (size_t pos = AText.find('\n'); pos != std::string_view::npos; pos = AText.find('\n', start)) {
    AOut.append(AText.substr(start, pos - start));
    AOut += "\r\n";
    start = pos + 1;
  }
  AOut.append(AText.substr(start));
}

// ---- Builders -----------------------------------------------------------------------------------

void TVantrelGLSLNodeBuilder::AddDefaultDefines() {
  FContext = ReadContextInfo();
  // Shares the context's table for as long as the builder holds the context object.
  AddDefines(std::shared_ptr<const TVantrelDefines>(FContext, &FContext->Defines()));
}

TContextShaderDefinesPtr TVantrelGLSLNodeBuilder::ReadContextInfo() {
  return TVantrelContext::ShaderDefines();
}

void TVantrelGLSLVertexShader::AddDefaultDefines() {
  TVantrelGLSLNodeBuilder::AddDefaultDefines();
  AddDefine("VERTEXSHADER");
  AddDefine("VARYING_STRUCTS");
  AddDefine("INOUTVARS");
}

void TVantrelGLSLFragmentShader::AddDefaultDefines() {
  TVantrelGLSLNodeBuilder::AddDefaultDefines();
  AddDefine("FRAGMENTSHADER");
  AddDefine("VARYING_STRUCTS");
  AddDefine("INOUTVARS");
  AddDefine("USE_EMISSIVE");
}

// ---- Conversions --------------------------------------------------------------------------------

std::string TVantrelGLSLNodeBuilder::DeclarationToGLSL(const TVantrelShaderNodeVariable& ADeclaration,
                                                       const TValue& AValue, bool AWithType,
                                                       bool AWithValue) {
  std::string result;
  WriteDeclaration(result, ADeclaration, &AValue, AWithType, AWithValue);
  return result;
}

void TVantrelGLSLNodeBuilder::WriteDeclaration(std::string& AOut,
                                               const TVantrelShaderNodeVariable& ADeclaration,
                                               const TValue* AValue, bool AWithType, bool AWithValue) {
  if (AWithType) {
    const auto type = static_cast<size_t>(ADeclaration.Type);
    if (type >= GLSLTypeNames.size())
      throw Exception(std::string(SInvalidVariableType));
    AOut += ADeclaration.Type == stCustom ? std::string_view(ADeclaration.TypeName) : GLSLTypeNames[type];
    AOut += ' ';
  }
  AOut += ADeclaration.Name;
  if (ADeclaration.IsArray) {
    AOut += '[';
    AOut += IntToStr(ADeclaration.ArrayCount);
    AOut += ']';
  } else if (ADeclaration.Type == stStruct) {
    AOut += "{}";
  }
  if (!AWithValue)
    return;
  if (AValue && !AValue->IsEmpty()) {
    AOut += " = ";
    WriteConstant(AOut, *AValue);
  } else if (!ADeclaration.Value.IsEmpty()) {
    AOut += " = ";
    WriteConstant(AOut, ADeclaration.Value);
  }
}

std::string TVantrelGLSLNodeBuilder::ConstantToGLSL(const TValue& AValue) {
  std::string result;
  WriteConstant(result, AValue);
  return result;
}

void TVantrelGLSLNodeBuilder::WriteConstant(std::string& AOut, const TValue& AValue) {
  const size_t size = AOut.size();
  try {
    WriteConstantUnwrapped(AOut, AValue);
  } catch (const Exception& E) {
    AOut.resize(size);
    throw Exception(Format(SFailedToSerializeConstant, {E.Message()}));
  }
}

// ---- Declaration nodes --------------------------------------------------------------------------

void TVantrelGLSLPragma::WriteText(std::string& AOut) const {
  AOut += "#version 430\r\n\r\n\r\n";
}

TVantrelGLSLVariable::TVantrelGLSLVariable(TVantrelNodeBuilder* ABuilder) : TVantrelVariableNode(ABuilder) {
  Definition().Type = stInt;
}

std::unique_ptr<TVantrelVariableNode> TVantrelGLSLVariable::Build(TVantrelNodeBuilder* ABuilder,
                                                                  std::string_view AName,
                                                                  TVantrelShaderNodeVariableType AType) {
  auto node = std::make_unique<TVantrelGLSLVariable>(ABuilder);
  node->SetId(AName);
  node->SetDefinition({std::string(AName), AType, {}, TValue(), false, 0});
  return node;
}

void TVantrelGLSLVariable::WriteText(std::string& AOut) const {
  WriteMember(AOut, *this, true, true);
}

std::unique_ptr<TVantrelConstantNode> TVantrelGLSLConstantValue::Build(TVantrelNodeBuilder* ABuilder,
                                                                       std::string_view AName,
                                                                       const TValue& AValue) {
  auto node = std::make_unique<TVantrelGLSLConstantValue>(ABuilder);
  node->SetId(AName);
  node->SetValue(AValue);
  return node;
}

void TVantrelGLSLConstantValue::WriteText(std::string& AOut) const {
  TVantrelGLSLNodeBuilder::WriteConstant(AOut, Value());
}

void TVantrelGLSLLayoutLocation::WriteText(std::string& AOut) const {
  if (!FVariable)
    throw Exception(std::string(SMissingLayoutVariable));
  std::string_view direction;
  switch (FKind) {
  case TVantrelGLSLLayoutKind::LayoutOutput:
    direction = "out ";
    break;
  case TVantrelGLSLLayoutKind::LayoutInput:
    direction = "in ";
    break;
  default:
    throw Exception(std::string(SInvalidLayoutKind));
  }
  if (FIsLayout)
    AOut += "layout (location = " + IntToStr(FIndex) + ") ";
  AOut += direction;
  FVariable->WriteText(AOut);
  AOut += ";\r\n\r\n";
}

void TVantrelGLSLStructType::WriteText(std::string& AOut) const {
  AOut += "struct ";
  AOut += Id();
  AOut += "{\r\n";
  WriteMembers(AOut, Children(), "  ", false);
  AOut += "};\r\n\r\n";
}

TVantrelGLSLLightType::TVantrelGLSLLightType(TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLStructType(ABuilder) {
  SetId("Light");
  AddDeclaration("_LightType", stInt);
  for (const char* name : {"_Position", "_Direction", "_Ambient", "_Diffuse", "_Specular", "_Scattering"})
    AddDeclaration(name, stVec4);
  for (const char* name : {"_SpotCutOff", "_SpotCosCutoff", "_SpotExponent", "_ConstantAttenuation",
                           "_LinearAttenuation", "_QuadraticAttenuation", "_Intensity"})
    AddDeclaration(name, stFloat);
  AddDeclaration("_Enabled", stInt);
}

TVantrelGLSLTextureType::TVantrelGLSLTextureType(TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLStructType(ABuilder) {
  SetId("Texture");
  AddDeclaration("_Feature", stVec4);
  AddDeclaration("_Tiling", stVec2);
}

TVantrelGLSLMaterialType::TVantrelGLSLMaterialType(TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLStructType(ABuilder) {
  SetId("Material");
  for (const char* name : {"_Emissive", "_Ambient", "_Diffuse", "_Specular", "_Clipping"})
    AddDeclaration(name, stVec4);
  AddDeclaration("_AlphaCutoff", stVec2);
  AddDeclaration("_ToneMapExp", stFloat);
  AddDeclaration("_Displacement", stVec4);
  AddDeclaration("_Features", stVec4);
  AddDeclaration("_Shininess", stFloat);
  AddDeclaration("_Textures", stInt);
  AddDeclaration("_PoolTexturesOffset", stInt);
  AddDeclaration("_PoolTextures", stInt);
  AddDeclaration("_Texture", stCustom, "Texture", true, 16, TValue());
}

TVantrelGLSLPassDataType::TVantrelGLSLPassDataType(TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLStructType(ABuilder) {
  SetId("PassData");
  AddDeclaration("_ShadowMapMatrix", stMat44, {}, true, 8, TValue());
  AddDeclaration("_ReflectTextureMatrix", stMat44);
  AddDeclaration("_RefractTextureMatrix", stMat44);
  for (const char* name :
       {"_ReflectionPower", "_RefractionPower", "_TranslucentDistance", "_NormalIntensity"})
    AddDeclaration(name, stFloat);
  AddDeclaration("_ParallaxLevels", stInt);
  for (const char* name : {"_PBRMetallic", "_PBRRoughness", "_PBRAO"})
    AddDeclaration(name, stFloat);
}

TVantrelGLSLUBO::TVantrelGLSLUBO(TVantrelNodeBuilder* ABuilder)
    : TVantrelDeclarationNode(ABuilder), FBinding(ABuilder ? ABuilder->IncNumberOfUBOs() : 0) {}

TVantrelGLSLUBO::TVantrelGLSLUBO(TVantrelNodeBuilder* ABuilder, uintptr_t AReferenceID)
    : TVantrelGLSLUBO(ABuilder) {
  SetReferenceID(AReferenceID);
}

TVantrelGLSLUBO::~TVantrelGLSLUBO() {
  if (Builder())
    Builder()->ReleaseUBO(FBinding);
}

void TVantrelGLSLUBO::WriteText(std::string& AOut) const {
  AOut += "layout (binding=" + IntToStr(FBinding) + ", std140) uniform ";
  AOut += Id();
  AOut += "{\r\n";
  WriteMembers(AOut, Children(), "  ", true);
  AOut += "};\r\n\r\n";
}

TVantrelGLSLUBOShaderData::TVantrelGLSLUBOShaderData(TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLUBO(ABuilder) {
  SetId("ShaderData");
  for (const char* name : {"_ModelViewProjectionMatrix", "_ViewMatrix", "_ProjectionMatrix"})
    AddDeclaration(name, stMat44);
  AddDeclaration("_TimeInfo", stVec4);
  AddDeclaration("_EyePos", stVec4);
  AddDeclaration("_ViewDir", stVec3);
  AddDeclaration("_ShadingModel", stInt);
  AddDeclaration("_Material", stCustom, "Material", true, 1, TValue());
  AddDeclaration("_Lights", stCustom, "Light", true, 32, TValue());
  AddDeclaration("_LightsCount", stInt);
  AddDeclaration("_Options", stInt);
  AddDeclaration("_ShadingIntensity", stFloat);
  AddDeclaration("_Brightness", stFloat);
  AddDeclaration("_FogMode", stInt);
  for (const char* name : {"_FogDensity", "_FogStart", "_FogEnd"})
    AddDeclaration(name, stFloat);
  for (const char* name : {"_FogColor", "_FrustumMin", "_FrustumMax", "_SceneMin", "_SceneMax",
                           "_BoundaryMin", "_BoundaryMax", "_ViewSize", "_ClippingPlane"})
    AddDeclaration(name, stVec4);
  AddDeclaration("_PassData", stCustom, "PassData", true, 1, TValue());
}

void TVantrelGLSLLocalsNode::WriteText(std::string& AOut) const {
  const TVantrelGLSLLocalsStructNode* structure = FStruct.Get();
  const TVantrelDeclarationNode& source =
      structure ? static_cast<const TVantrelDeclarationNode&>(*structure) : *this;
  for (int i = 0; i < source.Count(); ++i) {
    const TVantrelNodeEntity* node = source.Nodes(i);
    const TVantrelVariableNode* member = node ? node->AsVariable() : nullptr;
    if (!member || !member->Passes())
      continue;
    if (structure) {
      if (!HasValue(*member))
        continue;
      AOut += "  LOCALS.";
      WriteMember(AOut, *member, false, true);
    } else {
      AOut += "  ";
      WriteMember(AOut, *member, true, true);
    }
    AOut += ";\r\n";
  }
}

TVantrelGLSLAttributesNode::TVantrelGLSLAttributesNode(TVantrelNodeBuilder* ABuilder)
    : TVantrelDeclarationNode(ABuilder) {
  AddDeclaration("a_Position", stVec3);
  AddDeclaration("a_Normal", stVec3);
  for (const char* name : {"a_Color", "a_Color1", "a_Color2", "a_Color3"})
    AddDeclaration(name, stVec4);
  for (const char* name : {"a_TexCoord0", "a_TexCoord1", "a_TexCoord2", "a_TexCoord3"})
    AddDeclaration(name, stVec2);
  AddDeclaration("a_Binormal", stVec3);
  AddDeclaration("a_Tangent", stVec3);
  AddDeclaration("a_ModelMatrix", stMat44);
}

void TVantrelGLSLAttributesNode::WriteText(std::string& AOut) const {
  const std::string_view qualifier = Has("INOUTVARS") ? "in " : "attribute ";
  WriteMembers(AOut, Children(), qualifier, true);
  AOut += "\r\n";
}

TVantrelGLSLInOutNode::TVantrelGLSLInOutNode(TVantrelNodeBuilder* ABuilder, TVantrelGLSLInOutMode AMode)
    : TVantrelGLSLStructType(ABuilder), FMode(AMode) {
  struct TVarying {
    const char* Name;
    TVantrelShaderNodeVariableType Type;
    std::initializer_list<const char*> Defines;
    const char* NotDefine;
  };
  const TVarying varyings[] = {
      {"v_VertPos", stVec4, {}, nullptr},
      {"v_TransfVertPos", stVec3, {}, nullptr},
      {"v_WorldViewProjVertPos", stVec4, {}, nullptr},
      {"v_TexCoord0", stVec2, {}, nullptr},
      {"v_TexCoord1", stVec2, {"USE_TEXCOORD1"}, nullptr},
      {"v_TexCoord2", stVec2, {"USE_TEXCOORD2"}, nullptr},
      {"v_TexCoord3", stVec2, {"USE_TEXCOORD3"}, nullptr},
      {"v_Color0", stVec4, {}, nullptr},
      {"v_TBN", stMat33, {}, nullptr},
      {"v_TBN_UT", stMat33, {}, nullptr},
      {"v_ModelMatrix", stMat44, {"VARYING_STRUCTS"}, nullptr},
      {"v_ReflProjTextureCoords", stVec4, {"REFLECTION"}, nullptr},
      {"v_ClipDistance", stFloat, {"CLIPPINGPLANE"}, nullptr},
      {"v_Displace", stVec4, {"DISPLACEMENT", "DISPLACE_VAR", "VARYING_STRUCTS"}, nullptr},
      {"v_ViewDir", stVec3, {}, "VARYING_STRUCTS"},
      {"v_ParticleSettings", stVec4, {"USE_POINTSPRITE", "VARYING_STRUCTS"}, nullptr},
      {"v_ParticleTimeInfo", stVec4, {"USE_POINTSPRITE", "VARYING_STRUCTS"}, nullptr},
  };
  for (const TVarying& varying : varyings) {
    TVantrelVariableNode* member = AddDeclaration(varying.Name, varying.Type);
    for (const char* define : varying.Defines)
      member->AddDefine(define);
    if (varying.NotDefine)
      member->AddNotDefine(varying.NotDefine);
  }
}

void TVantrelGLSLInOutNode::WriteText(std::string& AOut) const {
  std::string_view qualifier = "varying ";
  if (Has("INOUTVARS")) {
    switch (FMode) {
    case TVantrelGLSLInOutMode::VaryingIn:
      qualifier = "in ";
      break;
    case TVantrelGLSLInOutMode::VaryingOut:
      qualifier = "out ";
      break;
    default:
      throw Exception(std::string(SInvalidInOutIndicator));
    }
  }
  const bool structs = Has("VARYING_STRUCTS");
  if (structs)
    AOut += "struct TVaryingStruct{\r\n";
  WriteMembers(AOut, Children(), structs ? std::string_view("  ") : qualifier, true);
  if (structs) {
    AOut += "};\r\n";
    AOut += qualifier;
    AOut += "TVaryingStruct vars;\r\n";
  }
}

void TVantrelGLSLMainNode::WriteText(std::string& AOut) const {
  AOut += "void main(){\r\n  TLocals LOCALS;\r\n";
  WriteChildren(AOut);
  AOut += "}\r\n";
}

void TVantrelGLSLTextureUniformNode::WriteText(std::string& AOut) const {
  switch (FTextureKind) {
  case TVantrelTextureKind::Texture3D:
    AOut += FIsUnsigned ? "uniform usampler3D _" : "uniform sampler3D _";
    break;
  case TVantrelTextureKind::CubeMap:
    AOut += "uniform samplerCube _";
    break;
  case TVantrelTextureKind::ImageTexture3D:
    // The image form carries no line break.
    AOut += "layout(rgba8) uniform image3D _";
    AOut += Id();
    AOut += ';';
    return;
  case TVantrelTextureKind::Array2D:
    AOut += "uniform sampler2DArray _";
    break;
  default:
    AOut += "uniform sampler2D _";
    break;
  }
  AOut += Id();
  AOut += ";\r\n";
}

void TVantrelGLSLForLoopNode::WriteText(std::string& AOut) const {
  AOut += "  for(";
  if (LoopVariable())
    LoopVariable()->WriteText(AOut);
  AOut += "; ";
  if (Condition())
    Condition()->WriteText(AOut);
  AOut += "; ";
  if (LoopOp())
    LoopOp()->WriteText(AOut);
  AOut += "){\r\n";
  WriteChildren(AOut);
  AOut += "  }\r\n";
}

TVantrelGLSLLightsLoopNode::TVantrelGLSLLightsLoopNode(TVantrelNodeBuilder* ABuilder)
    : TVantrelGLSLForLoopNode(ABuilder) {
  using enum TVantrelShaderNodeOperator;
  std::unique_ptr<TVantrelVariableNode> variable = TVantrelGLSLVariable::Build(ABuilder, "i", stInt);
  TVantrelVariableNode* i = variable.get();
  SetLoopVariable(
      TVantrelOperationNode::Build(ABuilder, snopAssign, std::move(variable),
                                   TVantrelGLSLConstantValue::Build(ABuilder, "", TValue::From(0))));
  TVantrelVariableNode* count =
      ABuilder->Globals() ? ABuilder->Globals()->FindNode<TVantrelVariableNode>("_LightsCount", true)
                          : nullptr;
  SetCondition(TVantrelOperationNode::Build(ABuilder, snopLT, TVantrelReferenceNode::Build(ABuilder, i),
                                            TVantrelReferenceNode::Build(ABuilder, count)));
  SetLoopOp(TVantrelOperationNode::Build(ABuilder, snopPostInc, TVantrelReferenceNode::Build(ABuilder, i),
                                         nullptr));
}

void TVantrelGLSLLightsLoopNode::WriteText(std::string& AOut) const {
  if (Has("LIGHTING") && !Has("DEFERRED"))
    TVantrelGLSLForLoopNode::WriteText(AOut);
}

} // namespace vantrel
