#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>
#include <locale>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.h"
#include "rtl/colors.h"
#include "rtl/math3d.h"
#include "rtl/sysutils.h"
#include "rtl/types2d.h"
#include "support/shader_variants.h"

namespace {

using namespace vantrel;
using enum TVantrelShaderNodeVariableType;

// An owned node can never be handed over a second time: the setter takes only ownership.
static_assert(!std::is_invocable_v<decltype(&TVantrelNodeBuilder::SetSurfaceShader), TVantrelNodeBuilder&,
                                   TVantrelSurfaceShaderNode*>);
static_assert(std::is_invocable_v<decltype(&TVantrelNodeBuilder::SetSurfaceShader), TVantrelNodeBuilder&,
                                  std::unique_ptr<TVantrelSurfaceShaderNode>>);

struct TIdentity {
  std::string Vendor, Renderer, Version, Extensions;
};

// A stage builder whose identity comes from the test instead of the context.
template <class TBase> class TSeamBuilder : public TBase {
public:
  explicit TSeamBuilder(TIdentity AIdentity) : TBase(nullptr), FIdentity(std::move(AIdentity)) {}

protected:
  TContextShaderDefinesPtr ReadContextInfo() override {
    return std::make_shared<const TContextShaderDefines>(FIdentity.Vendor, FIdentity.Renderer, FIdentity.Version,
                                                         FIdentity.Extensions);
  }

private:
  TIdentity FIdentity;
};

const TIdentity Acme{"ACME Inc", "Fast GPU", "4.6.0 NVIDIA 537.13", "GL_a GL_b "};

TOwned<TVantrelGLSLVertexShader> Vertex() {
  return MakeOwned<TSeamBuilder<TVantrelGLSLVertexShader>>(Acme);
}
TOwned<TVantrelGLSLFragmentShader> Fragment() {
  return MakeOwned<TSeamBuilder<TVantrelGLSLFragmentShader>>(Acme);
}

std::vector<std::string> DefineNames(const TVantrelNodeBuilder& ABuilder) {
  std::vector<std::string> names;
  for (const auto& pair : ABuilder.Defines())
    names.push_back(pair.Key);
  return names;
}

std::string MessageOf(const std::function<void()>& ACall) {
  try {
    ACall();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "no exception";
}

// ---- Conversions --------------------------------------------------------------------------------

TEST(ShaderGLSL, ConstantsBecomeGLSLLiterals) {
  TMatrix m3;
  float* p3 = &m3.m11;
  for (int i = 0; i < 9; ++i)
    p3[i] = static_cast<float>(i + 1);
  TMatrix3D m4;
  float* p4 = &m4.m11;
  for (int i = 0; i < 16; ++i)
    p4[i] = static_cast<float>(i) + 0.5f;
  const std::pair<TValue, std::string> cases[] = {
      {TValue::From(1.0f), "1.0"},
      {TValue::From(0.5), "0.5"},
      {TValue::From(1e20), "1E20"},
      {TValue::From(0.000001), "1E-6"},
      {TValue::From(0.1f), "0.100000001490116"},
      {TValue::From(-2.0), "-2.0"},
      {TValue::From(true), "true"},
      {TValue::From(false), "false"},
      {TValue::From(0), "0"},
      {TValue::From(-3), "-3"},
      {TValue::From(int64_t{-5000000000}), "-5000000000"},
      {TValue::From(TPoint{3, 4}), "ivec2(3, 4)"},
      {TValue::From(TAlphaColorF{1, 1, 1, 1}), "vec4(1.00, 1.00, 1.00, 1.00)"},
      {TValue::From(TPointF{1234.5f, 0.004f}), "vec2(1234.50, 0.00)"},
      {TValue::From(TPoint3D{0, 0.25f, -1}), "vec3(0.00, 0.25, -1.00)"},
      {TValue::From(TVector3D{0.1f, 0.2f, 0.3f, 1}), "vec4(0.10, 0.20, 0.30, 1.00)"},
      {TValue::From(m3), "mat3(1.00, 2.00, 3.00, 4.00, 5.00, 6.00, 7.00, 8.00, 9.00)"},
      {TValue::From(m4),
       "mat4(0.50, 1.50, 2.50, 3.50, 4.50, 5.50, 6.50, 7.50, 8.50, 9.50, 10.50, 11.50, 12.50, "
       "13.50, 14.50, 15.50)"},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(expected);
    EXPECT_EQ(TVantrelGLSLNodeBuilder::ConstantToGLSL(value), expected);
  }
}

TEST(ShaderGLSL, ConstantErrorsAreWrapped) {
  const TValue text = TValue::From(std::string("x"));
  const std::pair<TValue, std::string> cases[] = {
      {text,
       Format("invalid constant value type \"%s\" [%d]", {text.TypeName(), static_cast<int>(text.Kind())})},
      {TValue(), "invalid constant value type \"\" [0]"},
      {TValue::From(TVantrelDefOp::doLess), "invalid constant value type"},
      {TValue::From(TQuaternion3D{}), "invalid constant value type"},
      {TValue::From(std::numeric_limits<double>::quiet_NaN()), "non-finite float value"},
      {TValue::From(-std::numeric_limits<float>::infinity()), "non-finite float value"},
      {TValue::From(TPoint3D{0, std::numeric_limits<float>::infinity(), 0}), "non-finite float value"},
  };
  for (const auto& [value, inner] : cases) {
    SCOPED_TRACE(inner);
    std::string out = "kept";
    EXPECT_EQ(MessageOf([&] { TVantrelGLSLNodeBuilder::WriteConstant(out, value); }),
              "failed to serialize constant value: " + inner);
    EXPECT_EQ(out, "kept") << "nothing half-written";
  }
}

TEST(ShaderGLSL, DeclarationsWithAndWithoutTypeAndValue) {
  const TVantrelShaderNodeVariable structure{"s", stStruct, {}, TValue(), false, 0};
  const TVantrelShaderNodeVariable textures{"_Texture", stCustom, "Texture", TValue(), true, 16};
  const TVantrelShaderNodeVariable alpha{"Alpha", stFloat, {}, TValue::From(1.0), false, 0};
  struct TCase {
    const TVantrelShaderNodeVariable& Declaration;
    TValue Value;
    bool WithType, WithValue;
    const char* Expected;
  };
  const TCase cases[] = {
      {structure, TValue(), true, true, "struct s{}"},
      {structure, TValue(), false, false, "s{}"},
      {textures, TValue(), true, false, "Texture _Texture[16]"},
      {textures, TValue(), false, true, "_Texture[16]"},
      {alpha, TValue(), true, true, "float Alpha = 1.0"},
      {alpha, TValue::From(0.5), true, true, "float Alpha = 0.5"},
      {alpha, TValue::From(0.5), false, false, "Alpha"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Expected);
    EXPECT_EQ(TVantrelGLSLNodeBuilder::DeclarationToGLSL(c.Declaration, c.Value, c.WithType, c.WithValue),
              c.Expected);
  }
  const TVantrelShaderNodeVariable bad{
      "x", static_cast<TVantrelShaderNodeVariableType>(22), {}, TValue(), false, 0};
  EXPECT_EQ(MessageOf([&] { TVantrelGLSLNodeBuilder::DeclarationToGLSL(bad, TValue(), true, false); }),
            "failed to serialize variable type - invalid variable type");
}

// ---- Builders -----------------------------------------------------------------------------------

TEST(ShaderGLSL, DriverAndStageDefinesInInsertionOrder) {
  const std::vector<std::string> driver = {"MSWINDOWS", "ACME INC", "FAST GPU", "4.6.0", "GL_A", "GL_B", ""};
  std::vector<std::string> fragment = driver;
  fragment.insert(fragment.end(), {"FRAGMENTSHADER", "VARYING_STRUCTS", "INOUTVARS", "USE_EMISSIVE"});
  std::vector<std::string> vertex = driver;
  vertex.insert(vertex.end(), {"VERTEXSHADER", "VARYING_STRUCTS", "INOUTVARS"});
  EXPECT_EQ(DefineNames(*Fragment()), fragment);
  EXPECT_EQ(DefineNames(*Vertex()), vertex);

  auto noVersion = MakeOwned<TSeamBuilder<TVantrelGLSLVertexShader>>(TIdentity{"V", "R", "", "GL_x"});
  EXPECT_EQ(DefineNames(*noVersion), (std::vector<std::string>{"MSWINDOWS", "V", "R", "GL_X", "VERTEXSHADER",
                                                               "VARYING_STRUCTS", "INOUTVARS"}));
}

// The driver's names are shared with the context, yet change per builder as its own would: a
// value set keeps the place, a removal hides the name, a name removed and added again goes last.
TEST(ShaderGLSL, ChangesToDriverDefinesStayInTheBuilder) {
  auto vertex = Vertex();
  vertex->AddDefine("GL_A", TValue::From(5));
  vertex->RemoveDefine("GL_B");
  vertex->RemoveDefine("FAST GPU");
  vertex->AddDefine("FAST GPU");
  vertex->AddDefine("EXTRA");
  vertex->RemoveDefine("GL_A");
  vertex->AddDefine("GL_A", TValue::From(7));
  EXPECT_EQ(DefineNames(*vertex),
            (std::vector<std::string>{"MSWINDOWS", "ACME INC", "4.6.0", "", "VERTEXSHADER", "VARYING_STRUCTS",
                                      "INOUTVARS", "FAST GPU", "EXTRA", "GL_A"}));
  EXPECT_FALSE(vertex->Defined("GL_B"));
  EXPECT_TRUE(vertex->Defined("GL_A", TValue::From(7), TVantrelDefOp::doEqual));
  EXPECT_EQ(vertex->Defines().Count(), 10);

  auto kept = Vertex();
  kept->AddDefine("4.6.0", TValue::From(2));
  const TVantrelDefines defines = kept->Defines();
  EXPECT_EQ(DefineNames(*kept)[3], "4.6.0");
  EXPECT_EQ(defines.Items(std::string_view("4.6.0")).AsInteger(), 2);
  EXPECT_TRUE(kept->Defined("GL_B"));
}

TEST(ShaderGLSL, VaryingsFollowTheStageAndItsDefines) {
  auto vertex = Vertex();
  TVantrelNodeEntity& varyings = *vertex->Globals()->Varying()->Nodes(0);
  const std::string stageOnly =
      "struct TVaryingStruct{\r\n  vec4 v_VertPos;\r\n  vec3 v_TransfVertPos;\r\n"
      "  vec4 v_WorldViewProjVertPos;\r\n  vec2 v_TexCoord0;\r\n  vec4 v_Color0;\r\n"
      "  mat3 v_TBN;\r\n  mat3 v_TBN_UT;\r\n  mat4 v_ModelMatrix;\r\n};\r\n"
      "out TVaryingStruct vars;\r\n";
  EXPECT_EQ(varyings.ToString(), stageOnly);
  vertex->AddDefine("CLIPPINGPLANE");
  EXPECT_NE(varyings.ToString().find("  mat4 v_ModelMatrix;\r\n  float v_ClipDistance;\r\n};"),
            std::string::npos);

  auto fragment = Fragment();
  EXPECT_TRUE(
      fragment->Globals()->Varying()->Nodes(0)->ToString().ends_with("};\r\nin TVaryingStruct vars;\r\n"));

  vertex->RemoveDefine("INOUTVARS");
  const std::string text = vertex->ToString();
  EXPECT_NE(text.find("attribute vec3 a_Position;\r\n"), std::string::npos);
  EXPECT_NE(text.find("varying TVaryingStruct vars;\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\r\nin "), std::string::npos);

  vertex->AddDefine("INOUTVARS");
  vertex->RemoveDefine("VARYING_STRUCTS");
  const std::string separate = varyings.ToString();
  EXPECT_TRUE(separate.starts_with("out vec4 v_VertPos;\r\nout vec3 v_TransfVertPos;\r\n")) << separate;
  EXPECT_NE(separate.find("out vec3 v_ViewDir;\r\n"), std::string::npos);
  EXPECT_EQ(separate.find("v_ModelMatrix"), std::string::npos);

  auto* bad = static_cast<TVantrelGLSLInOutNode*>(fragment->Globals()->Varying()->Nodes(0));
  bad->SetMode(static_cast<TVantrelGLSLInOutMode>(2));
  EXPECT_EQ(MessageOf([&] { bad->ToString(); }), "invalid output/input indicator");
}

TEST(ShaderGLSL, BlocksLocalsAndTextureUniforms) {
  auto fragment = Fragment();
  auto* block = fragment->Globals()->Uniforms()->AddNew<TVantrelGLSLUBO>();
  block->SetId("Extra");
  block->AddDeclaration("_Tint", stVec4);
  EXPECT_EQ(block->Binding(), 1) << "the ShaderData block holds binding 0";
  EXPECT_EQ(block->ToString(), "layout (binding=1, std140) uniform Extra{\r\n  vec4 _Tint;\r\n};\r\n\r\n");

  auto vertex = Vertex();
  auto* locals = vertex->EntryPoint()->FindNode<TVantrelGLSLVertexShaderLocalsNode>("", false);
  ASSERT_NE(locals, nullptr);
  EXPECT_EQ(locals->ToString(), "") << "members without values write nothing";

  TVantrelGLSLLocalsNode own(vertex.get());
  own.AddDeclaration("l_Alpha", stFloat, {}, false, 0, TValue::From(1.0));
  EXPECT_EQ(own.ToString(), "  float l_Alpha = 1.0;\r\n") << "without a structure it declares its own";

  struct TCase {
    TVantrelTextureKind Kind;
    bool Unsigned;
    const char* Expected;
  };
  const TCase cases[] = {
      {TVantrelTextureKind::Texture2D, false, "uniform sampler2D _Tex;\r\n"},
      {TVantrelTextureKind::Texture3D, false, "uniform sampler3D _Tex;\r\n"},
      {TVantrelTextureKind::Texture3D, true, "uniform usampler3D _Tex;\r\n"},
      {TVantrelTextureKind::CubeMap, false, "uniform samplerCube _Tex;\r\n"},
      {TVantrelTextureKind::ImageTexture3D, true, "layout(rgba8) uniform image3D _Tex;"},
      {TVantrelTextureKind::Array2D, false, "uniform sampler2DArray _Tex;\r\n"},
      {TVantrelTextureKind::Texture2D, true, "uniform sampler2D _Tex;\r\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Expected);
    TVantrelGLSLTextureUniformNode node(vertex.get());
    EXPECT_EQ(node.Id(), "Texture0");
    node.SetId("Tex");
    node.SetTextureKind(c.Kind);
    node.SetIsUnsigned(c.Unsigned);
    EXPECT_EQ(node.ToString(), c.Expected);
  }

  TVantrelGLSLLayoutLocation location(vertex.get());
  EXPECT_EQ(MessageOf([&] { location.ToString(); }), "layout location, missing variable declaration");
  auto variable = std::make_unique<TVantrelGLSLVariable>(vertex.get());
  variable->SetDefinition({"v", stVec4, {}, TValue(), false, 0});
  location.SetVariable(std::move(variable));
  location.SetKind(TVantrelGLSLLayoutKind::LayoutInput);
  location.SetIndex(3);
  EXPECT_EQ(location.ToString(), "layout (location = 3) in vec4 v;\r\n\r\n");
  location.SetIsLayout(false);
  EXPECT_EQ(location.ToString(), "in vec4 v;\r\n\r\n");
  location.SetKind(static_cast<TVantrelGLSLLayoutKind>(2));
  EXPECT_EQ(MessageOf([&] { location.ToString(); }), "invalid kind of layout location");
}

// ---- Gating of the trees ------------------------------------------------------------------------

struct TGatingCase {
  const char* Name;
  bool Fragment;
  std::vector<const char*> Defines;
  std::vector<std::string> InOrder;
  std::vector<std::string> Absent;
};

TEST(ShaderGLSL, TreesFollowTheirDefines) {
  const std::string reflection = "  vars.v_ReflProjTextureCoords = (_PassData[0]._ReflectTextureMatrix * "
                                 "a_ModelMatrix) * LOCALS.Position;\r\n";
  const TGatingCase cases[] = {
      {"vertex, stage defines only",
       false,
       {},
       {"void main(){\r\n  TLocals LOCALS;\r\n\r\n  LOCALS.Position = vec4(a_Position, 1.0);\r\n",
        "  LOCALS.TransfVertexPos = a_ModelMatrix * LOCALS.Position;",
        "  LOCALS.WorldViewProjVertPos = _ProjectionMatrix * _ViewMatrix * a_ModelMatrix * LOCALS.Position;",
        "  LOCALS.TexCoord0 = a_TexCoord0;\r\n  LOCALS.Color0 = a_Color;", "l_NormalMatrix",
        "  VertexShader(LOCALS);", "  vars.v_TBN = mat3(LOCALS.Tangent, LOCALS.Binormal, LOCALS.Normal);",
        "  gl_Position = LOCALS.WorldViewProjVertPos;", "}\r\n"},
       {"LOCALS.Displace", "v_Displace", "v_ClipDistance", "v_ReflProjTextureCoords", "gl_PointSize",
        "tex2D("}},
      {"vertex, normal map",
       false,
       {"NORMALMAP"},
       {"normalize(a_ModelMatrix * vec4(a_Normal, 0.0)).xyz"},
       {"l_TIMMat"}},
      {"vertex, clip plane",
       false,
       {"CLIPPINGPLANE"},
       {"  LOCALS.ClippingPlane = _ClippingPlane;\r\n", "  LOCALS.TransfVertexPos = a_ModelMatrix",
        "  VertexShader(LOCALS);\r\n",
        "  vars.v_ClipDistance = dot(vec4(LOCALS.TransfVertexPos.xyz, 1.0), LOCALS.ClippingPlane);\r\n"},
       {}},
      {"vertex, displacement",
       false,
       {"DISPLACEMENT"},
       {"vec4 tex2D(", "tex2D(_DisplacementMapTexture, a_TexCoord0)",
        "  LOCALS.Position += LOCALS.Displace;\r\n\r\n"},
       {"v_Displace"}},
      {"vertex, displacement varying",
       false,
       {"DISPLACEMENT", "DISPLACE_VAR"},
       {"  vec4 v_Displace;", "  vars.v_Displace = LOCALS.Displace;\r\n"},
       {}},
      {"vertex, shadow", false, {"SHADOW"}, {"  TLocals LOCALS;\r\n\r\n\r\n  LOCALS.Position"}, {}},
      {"vertex, reflection", false, {"REFLECTION"}, {"  vec4 v_ReflProjTextureCoords;", reflection}, {}},
      {"vertex, point sprite",
       false,
       {"USE_POINTSPRITE"},
       {"  gl_PointSize = ", "  vars.v_ParticleSettings = a_Color2;", "  VertexShader(LOCALS);"},
       {}},
      {"vertex, packed normals",
       false,
       {"PACKED_NORMAL", "USE_TEXTURE"},
       {"vec4 tex2D("},
       {"Texture_GetNormal"}},
      {"fragment, stage defines only",
       true,
       {},
       {"layout (binding=0, std140) uniform ShaderData{\r\n", "layout (location = 0) out vec4 o_Albedo;\r\n",
        "void main(){\r\n  TLocals LOCALS;\r\n  LOCALS.Emissive = vec3(0.00, 0.00, 0.00);\r\n"
        "  LOCALS.BaseColor = vec4(1.00, 1.00, 1.00, 1.00);\r\n  LOCALS.SumColor = vec3(1.00, 1.00, "
        "1.00);\r\n"
        "  LOCALS.Alpha = 1.0;\r\n  LOCALS.BumpSum = vec2(1.00, 1.00);\r\n"
        "  LOCALS.Emissive = _Material[0]._Emissive.rgb * _Material[0]._Emissive.a;\r\n",
        "  LOCALS.Normal = vars.v_TBN[2];",
        "  LOCALS.FragViewDir = normalize(_EyePos.xyz - LOCALS.TransfVertPos.xyz);",
        "  LOCALS.BaseColor = _Material[0]._Diffuse;", "  SurfaceShader(LOCALS);",
        "  LOCALS.SumColor = LOCALS.SumColor * LOCALS.BaseColor.rgb;", "  LOCALS.SumColor *= _Brightness;",
        "  o_Albedo = vec4(LOCALS.SumColor, LOCALS.Alpha);"},
       {"for(", "LOCALS.Attenuation", "LOCALS.Ambient =", "c_ClipPlaneFlag", "o_Components",
        "lightComputeDiffuse"}},
      {"fragment, Lambert",
       true,
       {"LIGHTING", "USE_SPECULAR"},
       {"float lightComputeDiffuse(",
        "  LOCALS.Attenuation = 1.0;\r\n  LOCALS.SceneAttenuation = 0.0;\r\n"
        "  LOCALS.Ambient = vec3(0.00, 0.00, 0.00);",
        "  for(int i = 0; i < _LightsCount; i++){\r\n", "    LOCALS.Shading.y = 0.0;\r\n",
        "    LOCALS.Specular += _Lights[i]._Specular.rgb * LOCALS.Shading.y;", "  }\r\n",
        "  LOCALS.SumColor = clamp(LOCALS.SceneAttenuation, 0.0, 1.0)"},
       {"lightComputeSpecular"}},
      {"fragment, Phong wins over Blinn-Phong",
       true,
       {"LIGHTING", "PHONG", "BLINNPHONG"},
       {"float lightComputeSpecularPhong(", "      LOCALS.Shading.y = lightComputeSpecularPhong("},
       {"lightComputeSpecular("}},
      {"fragment, deferred",
       true,
       {"LIGHTING", "DEFERRED"},
       {"layout (location = 5) out vec4 o_Components;", "layout (location = 6) out vec3 o_Ambient;",
        "layout (location = 7) out vec3 o_Specular;", "  LOCALS.Ambient = vec3(1.00, 1.00, 1.00);"},
       {"for("}},
      {"fragment, clip plane",
       true,
       {"CLIPPINGPLANE"},
       {"  float v_ClipDistance;",
        "void main(){\r\n  TLocals LOCALS;\r\n  const int c_ClipPlaneFlag = 0x01;\r\n"},
       {}},
      {"fragment, deprecated",
       true,
       {"DEPRECATED"},
       {"  gl_FragColor = vec4("},
       {"layout (location", "o_Albedo"}},
      {"fragment, packed normals lit",
       true,
       {"LIGHTING", "PACKED_NORMAL", "USE_TEXTURE"},
       {"vec3 Common_UnpackNormal(", "vec3 Texture_GetNormal("},
       {}},
      {"fragment, packed normals unlit",
       true,
       {"PACKED_NORMAL", "USE_TEXTURE"},
       {"vec4 tex2D("},
       {"Common_UnpackNormal", "Texture_GetNormal"}},
      {"fragment, bump",
       true,
       {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "NORMALMAP", "BUMP"},
       {"vec3 CalcBumpedNormal(",
        "  LOCALS.Normal = CalcBumpedNormal(vars.v_TBN, _PassData[0]._NormalIntensity, "
        "_NormalMapTexture, LOCALS.TexCoord0);",
        "  LOCALS.BaseColor = BumpSum(_Texture0, LOCALS.TexCoord0, LOCALS.Normal);"},
       {"LOCALS.Normal = vars.v_TBN[2];"}},
      {"fragment, lit texture and vertex colour",
       true,
       {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "USE_VERTEXCOLOR"},
       {"  LOCALS.BaseColor = tex2D(_Texture0, LOCALS.TexCoord0) * vars.v_Color0;\r\n"
        "  LOCALS.Alpha = LOCALS.BaseColor.a * vars.v_Color0.a;\r\n"},
       {}},
      {"fragment, atlas with point sprites",
       true,
       {"USE_TEXTURE_ATLAS", "USE_POINTSPRITE", "USE_TEXTURE", "USE_TEXTURE0"},
       {"bool GetTextureAtlasColor(",
        "  if (!GetTextureAtlasColor(_Texture0, LOCALS.TexCoord0, vars.v_ParticleSettings, "
        "gl_PointCoord, _TextureSize, LOCALS.BaseColor))"},
       {}},
      {"fragment, atlas without point sprites takes the ordinary rule",
       true,
       {"USE_TEXTURE_ATLAS", "USE_TEXTURE", "USE_TEXTURE0"},
       {"  LOCALS.BaseColor = tex2D(_Texture0, LOCALS.TexCoord0);"},
       {"GetTextureAtlasColor(_Texture0"}},
      {"fragment, tiling",
       true,
       {"USE_TEXTURE", "USE_TEXCOORD2"},
       {"  vec2 l_Tiling0 = _Material[0]._Texture[0]._Tiling;",
        "  vec2 l_Tiling2 = _Material[0]._Texture[0]._Tiling;"},
       {"l_Tiling1"}},
  };
  for (const TGatingCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TOwned<TVantrelNodeBuilder> builder;
    if (c.Fragment)
      builder = Fragment();
    else
      builder = Vertex();
    for (const char* define : c.Defines)
      builder->AddDefine(define);
    const std::string text = builder->ToString();
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

// ---- Conventions --------------------------------------------------------------------------------

std::vector<std::string> Lines(const std::string& AText) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = AText.find("\r\n"); end != std::string::npos; end = AText.find("\r\n", start)) {
    lines.push_back(AText.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The declared name of "<qualifiers> <type> <name>[...];".
std::string DeclaredName(const std::string& ALine) {
  std::string line = ALine.substr(0, ALine.find_first_of("[;"));
  return line.substr(line.rfind(' ') + 1);
}

void ExpectConventions(const std::string& AText, bool AVertex) {
  ASSERT_TRUE(AText.starts_with("#version 430\r\n\r\n\r\n"));
  for (size_t i = 0; i < AText.size(); ++i) {
    const auto c = static_cast<unsigned char>(AText[i]);
    ASSERT_LT(c, 128) << "ASCII only";
    ASSERT_NE(c, '\t');
    if (c == '\n')
      ASSERT_TRUE(i > 0 && AText[i - 1] == '\r') << "bare LF at " << i;
    if (c == '\r')
      ASSERT_TRUE(i + 1 < AText.size() && AText[i + 1] == '\n') << "bare CR at " << i;
  }
  ASSERT_TRUE(AText.ends_with("\r\n"));
  const size_t main = AText.find("void main(){\r\n  TLocals LOCALS;\r\n");
  ASSERT_NE(main, std::string::npos);
  EXPECT_EQ(AText.find("void main(){", main + 1), std::string::npos) << "exactly one main";

  std::string section;
  for (const std::string& line : Lines(AText)) {
    if (line.starts_with("struct ") || line.starts_with("layout (binding="))
      section = line;
    else if (line.starts_with("};"))
      section.clear();
    if (AVertex && (line.starts_with("in ") || line.starts_with("attribute ")) &&
        line != "in TVaryingStruct vars;")
      EXPECT_TRUE(DeclaredName(line).starts_with("a_")) << line;
    if (!AVertex && line.starts_with("in "))
      EXPECT_EQ(line, "in TVaryingStruct vars;");
    if (section == "struct TVaryingStruct{" && line.starts_with("  "))
      EXPECT_TRUE(DeclaredName(line).starts_with("v_")) << line;
    if (section.ends_with("uniform ShaderData{") && line.starts_with("  "))
      EXPECT_TRUE(DeclaredName(line).starts_with("_")) << line;
    if (line.starts_with("uniform "))
      EXPECT_TRUE(DeclaredName(line).starts_with("_")) << line;
    if (line.starts_with("layout (location = "))
      EXPECT_TRUE(line.find(") out ") != std::string::npos && DeclaredName(line).starts_with("o_")) << line;
  }
}

// Every define the trees test, for the sweep.
const std::vector<std::string> SweepDefines = {
    "LIGHTING",      "USE_SPECULAR",      "PHONG",           "BLINNPHONG",
    "PBR",           "USE_TEXTURE",       "USE_TEXTURE0",    "USE_TEXCOORD1",
    "USE_TEXCOORD2", "USE_TEXCOORD3",     "USE_VERTEXCOLOR", "NORMALMAP",
    "BUMP",          "SPECULARMAP",       "USE_ALPHACUTOFF", "USE_COLORCLIP",
    "CLIPPINGPLANE", "USE_TEXTURE_ATLAS", "USE_POINTSPRITE", "PACKED_NORMAL",
    "DEFERRED",      "DEPRECATED",        "DISPLACEMENT",    "DISPLACE_VAR",
    "POM",           "REFLECTION",        "REFRACTION",      "SHADOW",
    "ENVIRONMENT",   "TONEMAP_FILMIC",
};

// The defines of the effect nodes, swept as well.
const std::vector<std::string> EffectSweepDefines = {"SHADOWMAPPING",
                                                     "VARIANCESHADOWMAPPING",
                                                     "POM_DISCARD",
                                                     "PBR_TEX",
                                                     "PBR_TEX_ALBEDO",
                                                     "PBR_TEX_METALLIC",
                                                     "PBR_TEX_ROUGHNESS",
                                                     "PBR_TEX_AO",
                                                     "PBR_TEX_EMISSIVE",
                                                     "SpecularMapTexture",
                                                     "TONEMAP_EXPOSURE",
                                                     "TONEMAP_ACES_NARKOWICZ",
                                                     "TONEMAP_ACES_HILL",
                                                     "TONEMAP_ACES_HILL_EXPOSURE_BOOST",
                                                     "TONEMAP_REINHARD",
                                                     "TONEMAP_LUMABASED_REINHARD",
                                                     "TONEMAP_WP_LUMABASED_REINHARD",
                                                     "TONEMAP_ROMBINDAHOUSE",
                                                     "TONEMAP_UNCHARTED2"};

std::vector<std::pair<std::string, std::string>> AllTexts() {
  std::vector<std::pair<std::string, std::string>> texts;
  for (const vtest::TShaderVariantRow& row : vtest::ShaderVariantRows()) {
    auto builders = vtest::MakeVariantBuilders(row, true);
    texts.emplace_back(builders.Vertex->ToString(), builders.Fragment->ToString());
  }
  std::mt19937 random(20261211);
  for (int i = 0; i < 300; ++i) {
    auto vertex = Vertex();
    auto fragment = Fragment();
    for (const auto* defines : {&SweepDefines, &EffectSweepDefines})
      for (const std::string& define : *defines)
        if (random() % 2) {
          vertex->AddDefine(define);
          fragment->AddDefine(define);
        }
    texts.emplace_back(vertex->ToString(), fragment->ToString());
  }
  return texts;
}

TEST(ShaderGLSL, EveryTextFollowsTheConventions) {
  const auto texts = AllTexts();
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectConventions(texts[i].first, true);
    ExpectConventions(texts[i].second, false);
  }
}

// A numeric facet with a decimal comma and grouping by threes.
struct TCommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(ShaderGLSL, TextsDoNotDependOnTheProcessLocale) {
  const auto classic = AllTexts();
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new TCommaPunct));
  const std::string previousC = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
    if (std::setlocale(LC_NUMERIC, name))
      break;
  const auto localised = AllTexts();
  std::setlocale(LC_NUMERIC, previousC.c_str());
  std::locale::global(previous);
  EXPECT_TRUE(classic == localised);
}

// ---- Links into the tree never dangle -----------------------------------------------------------

TEST(ShaderGLSL, ClearingUniformsLeavesTheLoopConditionUndefined) {
  auto fragment = Fragment();
  fragment->AddDefine("LIGHTING");
  fragment->Globals()->ClearUniforms();
  const std::string text = fragment->ToString();
  EXPECT_NE(text.find("  for(int i = 0; i < <undefined>; i++){\r\n"), std::string::npos);
  EXPECT_EQ(text.find("ShaderData"), std::string::npos);
}

TEST(ShaderGLSL, ClearingTypesLeavesTheLocalsNodeWithoutStructure) {
  auto fragment = Fragment();
  fragment->Globals()->ClearTypes();
  const std::string text = fragment->ToString();
  EXPECT_EQ(text.find("struct TLocals"), std::string::npos);
  EXPECT_EQ(text.find("LOCALS.BaseColor = vec4(1.00"), std::string::npos);
}

TEST(ShaderGLSL, SurfaceShaderShortcutFollowsTheEntryPoint) {
  auto fragment = Fragment();
  ASSERT_NE(fragment->SurfaceShader(), nullptr);
  fragment->EntryPoint()->Clear();
  EXPECT_EQ(fragment->SurfaceShader(), nullptr);
  auto surface = std::make_unique<TVantrelSurfaceShaderNode>(fragment.get());
  TVantrelSurfaceShaderNode* node = surface.get();
  fragment->SetSurfaceShader(std::move(surface));
  EXPECT_EQ(fragment->SurfaceShader(), node);
  ASSERT_EQ(fragment->EntryPoint()->Count(), 1);
  EXPECT_EQ(fragment->EntryPoint()->Nodes(0), node);

  auto replacement = std::make_unique<TVantrelSurfaceShaderNode>(fragment.get());
  node = replacement.get();
  fragment->SetSurfaceShader(std::move(replacement));
  EXPECT_EQ(fragment->EntryPoint()->Count(), 1) << "the previous surface shader was removed";
  EXPECT_EQ(fragment->SurfaceShader(), node);

  fragment->SourceCode()->Clear();
  EXPECT_EQ(fragment->Globals(), nullptr);
  EXPECT_EQ(fragment->EntryPoint(), nullptr);
  fragment->SetSurfaceShader(std::make_unique<TVantrelSurfaceShaderNode>(fragment.get()));
  EXPECT_EQ(fragment->SurfaceShader(), nullptr) << "without an entry point nothing changes";
}

// ---- The block's defaults -----------------------------------------------------------------------

TEST(ShaderData, CreateSetsTheDefaultsAndZeroesTheRest) {
  const TVantrelShaderData data = TVantrelShaderData::Create();
  EXPECT_EQ(data.ShadingModel, 2);
  EXPECT_EQ(data.FogMode, 3);
  EXPECT_FLOAT_EQ(data.FogDensity, 0.001f);
  EXPECT_EQ(data.FogStart, 100.0f);
  EXPECT_EQ(data.FogEnd, 500.0f);
  EXPECT_EQ(data.FogColor, (TAlphaColorF{0, 0, 0, 1}));
  EXPECT_EQ(data.ShadingIntensity, 1.0f);
  EXPECT_EQ(data.Brightness, 1.0f);
  EXPECT_EQ(data.ViewSize, (TVector3D{0, 0, 1, 1000}));
  EXPECT_EQ(data.ClippingPlane, (TVector3D{0, 0, 0, 0}));
  EXPECT_EQ(data.Material[0].Shininess, 32.0f);
  EXPECT_EQ(data.Material[0].Textures, 1);
  for (const TVantrelShaderTexture& texture : data.Material[0].Texture)
    EXPECT_EQ(texture.Tiling, (TPointF{1, 1}));
  EXPECT_EQ(data.LightsCount, 0);
  EXPECT_EQ(data.TimeInfo, TVector3D{});
  // The pass data's starting values belong to the material's constructor.
  EXPECT_EQ(data.PassData[0].ParallaxLevels, 0);
  const auto* lights = reinterpret_cast<const unsigned char*>(data.Lights.data());
  EXPECT_TRUE(std::all_of(lights, lights + sizeof data.Lights, [](unsigned char b) { return b == 0; }));
  const auto* pass = reinterpret_cast<const unsigned char*>(data.PassData.data());
  EXPECT_TRUE(std::all_of(pass, pass + sizeof data.PassData, [](unsigned char b) { return b == 0; }));
}

} // namespace
