#include "support/shader_variants.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <set>
#include <stdexcept>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Shader.OpenGL.h"
#include "context/Vantrel.Context.Shader.h"
#include "rtl/exceptions.h"

namespace vtest {

using namespace vantrel;

const std::array<std::string_view, 10> ToneMapDefines = {"TONEMAP_EXPOSURE",
                                                         "TONEMAP_ACES_NARKOWICZ",
                                                         "TONEMAP_ACES_HILL",
                                                         "TONEMAP_ACES_HILL_EXPOSURE_BOOST",
                                                         "TONEMAP_REINHARD",
                                                         "TONEMAP_LUMABASED_REINHARD",
                                                         "TONEMAP_WP_LUMABASED_REINHARD",
                                                         "TONEMAP_ROMBINDAHOUSE",
                                                         "TONEMAP_FILMIC",
                                                         "TONEMAP_UNCHARTED2"};

namespace {

// A uniform the trees do not declare, which a behaviour would add.
class TRawUniformNode : public TVantrelNodeEntity {
public:
  TRawUniformNode(TVantrelNodeBuilder* ABuilder, std::string AText)
      : TVantrelNodeEntity(ABuilder), FText(std::move(AText)) {}
  void WriteText(std::string& AOut) const override { AOut += FText; }

private:
  std::string FText;
};

constexpr uintptr_t TestBlockReference = 0x7E57B10C;

void AddTestBlock(TShaderVariantBuilders& ABuilders) {
  auto addBlock = [](TVantrelNodeBuilder& ABuilder, std::string_view AUse) {
    auto* block = ABuilder.Globals()->Uniforms()->AddNew<TVantrelGLSLUBO>(TestBlockReference);
    block->SetId("TestBlock");
    block->AddDeclaration("_TestTint", TVantrelShaderNodeVariableType::stVec4);
    auto* user = ABuilder.Globals()->Functions()->FindNode<TVantrelUserFunctionNode>("", false);
    user->SourceCode().SetStrings(1, AUse);
  };
  addBlock(*ABuilders.Vertex, "  DATA.Color0 *= _TestTint;");
  addBlock(*ABuilders.Fragment, "  DATA.BaseColor *= _TestTint;");
}

void AddTextureSize(TShaderVariantBuilders& ABuilders) {
  ABuilders.Fragment->Globals()->Uniforms()->Add(
      std::make_unique<TRawUniformNode>(ABuilders.Fragment.get(), "uniform vec2 _TextureSize;\r\n"));
}

std::vector<std::string> With(std::vector<std::string> ABase, std::initializer_list<const char*> AMore) {
  ABase.insert(ABase.end(), AMore.begin(), AMore.end());
  return ABase;
}

// The defines the physically based and parallax material variants add to their builders.
const std::vector<std::string> POMMaterial = {"LIGHTING",  "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT",
                                              "NORMALMAP", "BUMP",        "POM",          "POM_DISCARD"};
const std::vector<std::string> PBRMaterial = With(POMMaterial, {"PBR"});
const std::vector<std::string> PBRTexFour = {"PBR_TEX", "PBR_TEX_ALBEDO", "PBR_TEX_METALLIC",
                                             "PBR_TEX_ROUGHNESS", "PBR_TEX_AO"};

std::vector<TShaderVariantRow> MakeRows() {
  struct TAxis {
    std::string Name;
    std::vector<std::string> Both, FragmentOnly;
  };
  const std::vector<TAxis> shading = {{"Unlit", {}, {}},
                                      {"Lambert", {"LIGHTING"}, {}},
                                      {"Phong", {"LIGHTING", "PHONG", "USE_SPECULAR"}, {}},
                                      {"Blinn", {"LIGHTING", "BLINNPHONG", "USE_SPECULAR"}, {}}};
  const std::vector<TAxis> texturing = {
      {"", {}, {}}, {"_Tex", {"USE_TEXTURE"}, {}}, {"_Tex0", {"USE_TEXTURE"}, {"USE_TEXTURE0"}}};
  std::vector<TShaderVariantRow> rows;
  std::set<std::pair<std::vector<std::string>, std::vector<std::string>>> seen;
  for (const TAxis& shade : shading)
    for (const TAxis& tex : texturing)
      for (const bool vertexColor : {false, true})
        for (const bool normalMap : {false, true})
          for (const bool discards : {false, true}) {
            TShaderVariantRow row{shade.Name + tex.Name, shade.Both, tex.FragmentOnly, {}};
            row.Both.push_back("CLIPPINGPLANE");
            row.Both.insert(row.Both.end(), tex.Both.begin(), tex.Both.end());
            if (vertexColor) {
              row.Name += "_VertexColor";
              row.Both.push_back("USE_VERTEXCOLOR");
            }
            if (normalMap) {
              row.Name += "_NormalMap";
              if (std::find(row.Both.begin(), row.Both.end(), "USE_TEXTURE") == row.Both.end())
                row.Both.push_back("USE_TEXTURE");
              row.Both.push_back("NORMALMAP");
              row.Both.push_back("BUMP");
            }
            if (discards) {
              row.Name += "_Discards";
              row.FragmentOnly.push_back("USE_ALPHACUTOFF");
              row.FragmentOnly.push_back("USE_COLORCLIP");
            }
            std::vector<std::string> both = row.Both, fragment = row.FragmentOnly;
            std::sort(both.begin(), both.end());
            std::sort(fragment.begin(), fragment.end());
            if (seen.emplace(both, fragment).second)
              rows.push_back(std::move(row));
          }
  const std::vector<TShaderVariantRow> named = {
      {"StageDefinesOnly", {}, {}, {}},
      {"PhongNormalSpecularMap",
       {"CLIPPINGPLANE", "LIGHTING", "PHONG", "USE_SPECULAR", "USE_TEXTURE", "NORMALMAP", "BUMP",
        "SPECULARMAP"},
       {"USE_TEXTURE0"},
       {}},
      {"Displacement", {"CLIPPINGPLANE", "USE_TEXTURE", "DISPLACEMENT"}, {}, {}},
      {"DisplacementVar", {"CLIPPINGPLANE", "USE_TEXTURE", "DISPLACEMENT", "DISPLACE_VAR"}, {}, {}},
      {"TexCoords",
       {"CLIPPINGPLANE", "LIGHTING", "USE_TEXTURE", "USE_TEXCOORD1", "USE_TEXCOORD2", "USE_TEXCOORD3"},
       {"USE_TEXTURE0"},
       {}},
      {"Reflection", {"CLIPPINGPLANE", "LIGHTING", "USE_TEXTURE", "REFLECTION"}, {}, {}},
      {"PointSprite", {"CLIPPINGPLANE", "USE_POINTSPRITE"}, {}, {}},
      {"PointSpriteAtlas",
       {"CLIPPINGPLANE", "USE_POINTSPRITE", "USE_TEXTURE_ATLAS", "USE_TEXTURE"},
       {"USE_TEXTURE0"},
       AddTextureSize},
      {"Deferred", {"CLIPPINGPLANE", "LIGHTING"}, {"DEFERRED"}, {}},
      {"PackedNormalLit", {"CLIPPINGPLANE", "LIGHTING", "USE_TEXTURE", "PACKED_NORMAL"}, {}, {}},
      {"PackedNormalUnlit", {"CLIPPINGPLANE", "USE_TEXTURE", "PACKED_NORMAL"}, {}, {}},
      {"TestBlock", {"CLIPPINGPLANE", "LIGHTING"}, {}, AddTestBlock},
      {"Refraction", {"CLIPPINGPLANE", "LIGHTING", "USE_TEXTURE", "REFRACTION"}, {}, {}},
      {"ReflectionRefraction", {"CLIPPINGPLANE", "USE_TEXTURE", "REFLECTION", "REFRACTION"}, {}, {}},
      {"EnvironmentLit", {"CLIPPINGPLANE", "LIGHTING", "USE_TEXTURE", "ENVIRONMENT"}, {}, {}},
      {"EnvironmentUnlit", {"CLIPPINGPLANE", "USE_TEXTURE", "ENVIRONMENT"}, {}, {}},
      {"EnvironmentPBR", {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE", "ENVIRONMENT"}, {}, {}},
      {"PBRUnlit", {"CLIPPINGPLANE", "PBR"}, {}, {}},
      {"PBR", {"CLIPPINGPLANE", "LIGHTING", "PBR"}, {}, {}},
      {"PBR_Tex", {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE"}, {"PBR_TEX"}, {}},
      {"PBR_TexFour", {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE"}, PBRTexFour, {}},
      {"PBR_TexMetallic",
       {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE"},
       {"PBR_TEX", "PBR_TEX_METALLIC"},
       {}},
      {"ToneMapUnlit", {"CLIPPINGPLANE"}, {"TONEMAP_EXPOSURE"}, {}},
      {"PBR_TexFour_Tex0",
       {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE"},
       With(PBRTexFour, {"USE_TEXTURE0"}),
       {}},
      {"PBR_TexFour_Emissive",
       {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE"},
       With(PBRTexFour, {"PBR_TEX_EMISSIVE"}),
       {}},
      {"PBR_TexFour_SpecularMap",
       {"CLIPPINGPLANE", "LIGHTING", "PBR", "USE_TEXTURE"},
       With(PBRTexFour, {"SpecularMapTexture"}),
       {}},
      {"POMMaterial", POMMaterial, {}, {}},
      {"POMMaterialNoDiscard",
       {"LIGHTING", "USE_TEXTURE", "USE_TEXTURE0", "DISPLACEMENT", "NORMALMAP", "BUMP", "POM"},
       {},
       {}},
      {"PBRMaterial", PBRMaterial, PBRTexFour, {}},
      {"PBRMaterialWidest",
       With(PBRMaterial, {"SHADOW", "SHADOWMAPPING", "ENVIRONMENT"}),
       With(PBRTexFour, {"TONEMAP_UNCHARTED2"}),
       {}},
  };
  rows.insert(rows.end(), named.begin(), named.end());
  for (const char* method : {"SHADOWMAPPING", "VARIANCESHADOWMAPPING"})
    for (const bool blinn : {false, true}) {
      TShaderVariantRow row{std::string("Shadow_") + method + (blinn ? "_Blinn" : "_Lambert"),
                            {"CLIPPINGPLANE", "LIGHTING", "USE_TEXTURE", "SHADOW", method},
                            {},
                            {}};
      if (blinn)
        row.Both.insert(row.Both.end(), {"BLINNPHONG", "USE_SPECULAR"});
      rows.push_back(std::move(row));
    }
  for (const std::string_view define : ToneMapDefines)
    for (const bool pbr : {false, true}) {
      TShaderVariantRow row{"ToneMap_" + std::string(define) + (pbr ? "_PBR" : ""),
                            {"CLIPPINGPLANE", "LIGHTING"},
                            {std::string(define)},
                            {}};
      if (pbr)
        row.Both.push_back("PBR");
      rows.push_back(std::move(row));
    }
  return rows;
}

// The samplers a row's features read, per stage: declared when all the rule's defines are set and
// no sampler of that name is declared yet.
struct TSampler {
  std::array<const char*, 2> Defines;
  const char* Name;
  bool Vertex;
  TVantrelTextureKind Kind = TVantrelTextureKind::Texture2D;
};
const TSampler Samplers[] = {
    {{"USE_TEXTURE0"}, "Texture0", false},
    {{"NORMALMAP"}, "NormalMapTexture", false},
    {{"SPECULARMAP"}, "SpecularMapTexture", false},
    {{"DISPLACEMENT"}, "DisplacementMapTexture", true},
    {{"SHADOW"}, "ShadowMapTexture0", false},
    {{"REFLECTION"}, "ReflectionTexture", false},
    {{"REFRACTION"}, "RefractionTexture", false},
    {{"ENVIRONMENT"}, "EnvironmentTexture", false, TVantrelTextureKind::CubeMap},
    {{"POM"}, "POMTexture", false},
    {{"PBR_TEX", "PBR_TEX_ALBEDO"}, "Texture0", false},
    {{"PBR_TEX", "PBR_TEX_METALLIC"}, "MetalnessTexture", false},
    {{"PBR_TEX", "PBR_TEX_ROUGHNESS"}, "RoughnessTexture", false},
    {{"PBR_TEX", "PBR_TEX_AO"}, "AmbientOcclusionTexture", false},
    {{"PBR_TEX", "PBR_TEX_EMISSIVE"}, "EmissiveTexture", false},
    {{"PBR", "SpecularMapTexture"}, "SpecularMapTexture", false},
};

// Numbered source lines around every "0:N(" the driver's log names.
std::string SourceAround(std::string_view ALog, const std::string& AText) {
  std::vector<std::string_view> lines;
  for (size_t start = 0; start <= AText.size();) {
    const size_t end = AText.find('\n', start);
    lines.push_back(
        std::string_view(AText).substr(start, (end == std::string::npos ? AText.size() : end) - start));
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  std::string result;
  for (size_t pos = ALog.find("0:"); pos != std::string_view::npos; pos = ALog.find("0:", pos + 2)) {
    int line = 0;
    const auto parsed = std::from_chars(ALog.data() + pos + 2, ALog.data() + ALog.size(), line);
    if (parsed.ec != std::errc() || parsed.ptr == ALog.data() + ALog.size() || *parsed.ptr != '(')
      continue;
    result += "--- around line " + std::to_string(line) + ":\n";
    for (int n = std::max(1, line - 3); n <= std::min<int>(lines.size(), line + 3); ++n)
      result += std::to_string(n) + ": " + std::string(lines[n - 1]) + "\n";
  }
  return result;
}

rtl::TOwned<ui::TContextShader> Compile(GLenum AType, const std::string& AText) {
  const ui::TContextShaderKind kind =
      AType == GL_VERTEX_SHADER ? ui::TContextShaderKind::VertexShader : ui::TContextShaderKind::PixelShader;
  ui::TContextShaderSource source{ui::TContextShaderArch::GLSL, {AText.begin(), AText.end()}, {}};
  auto shader = rtl::MakeOwned<ui::TContextShader>("variant", kind, std::vector{std::move(source)});
  shader->SetHandle(ShaderProgramClass().BuildShader(AType, shader->Sources()[0].Code, true));
  return shader;
}

vantrel::TContextShaderDefinesPtr FixedIdentity() {
  return std::make_shared<const vantrel::TContextShaderDefines>("ACME Inc", "Fast GPU", "4.6.0 NVIDIA 537.13",
                                                                "GL_a GL_b ");
}

} // namespace

vantrel::TContextShaderDefinesPtr TFixedVertexShader::ReadContextInfo() {
  return FixedIdentity();
}

vantrel::TContextShaderDefinesPtr TFixedFragmentShader::ReadContextInfo() {
  return FixedIdentity();
}

const std::vector<TShaderVariantRow>& ShaderVariantRows() {
  static const std::vector<TShaderVariantRow> rows = MakeRows();
  return rows;
}

const TShaderVariantRow& ShaderVariantRow(std::string_view AName) {
  for (const TShaderVariantRow& row : ShaderVariantRows())
    if (row.Name == AName)
      return row;
  throw std::invalid_argument("no shader variant row " + std::string(AName));
}

TShaderVariantBuilders MakeVariantBuilders(const TShaderVariantRow& ARow, bool AFixedIdentity) {
  TShaderVariantBuilders builders;
  if (AFixedIdentity) {
    builders.Vertex = rtl::MakeOwned<TFixedVertexShader>(nullptr);
    builders.Fragment = rtl::MakeOwned<TFixedFragmentShader>(nullptr);
  } else {
    builders.Vertex = rtl::MakeOwned<TVantrelGLSLVertexShader>(nullptr);
    builders.Fragment = rtl::MakeOwned<TVantrelGLSLFragmentShader>(nullptr);
  }
  ApplyVariant(builders, ARow);
  if (ARow.Extra)
    ARow.Extra(builders);
  return builders;
}

void ApplyVariant(TShaderVariantBuilders& ABuilders, const TShaderVariantRow& ARow) {
  for (const std::string& define : ARow.Both) {
    ABuilders.Vertex->AddDefine(define);
    ABuilders.Fragment->AddDefine(define);
  }
  for (const std::string& define : ARow.FragmentOnly)
    ABuilders.Fragment->AddDefine(define);
  for (const TSampler& sampler : Samplers) {
    TVantrelNodeBuilder& builder =
        sampler.Vertex ? static_cast<TVantrelNodeBuilder&>(*ABuilders.Vertex) : *ABuilders.Fragment;
    if (!std::all_of(sampler.Defines.begin(), sampler.Defines.end(),
                     [&](const char* ADefine) { return !ADefine || builder.Defined(ADefine); }))
      continue;
    TVantrelCompositeNode& textures = *builder.Globals()->Uniforms()->Textures();
    if (textures.FindNode<TVantrelGLSLTextureUniformNode>(sampler.Name, false))
      continue;
    auto* uniform = textures.AddNew<TVantrelGLSLTextureUniformNode>();
    uniform->SetId(sampler.Name);
    uniform->SetTextureKind(sampler.Kind);
  }
}

void RevertVariant(TShaderVariantBuilders& ABuilders, const TShaderVariantRow& ARow) {
  for (const std::string& define : ARow.Both) {
    ABuilders.Vertex->RemoveDefine(define);
    ABuilders.Fragment->RemoveDefine(define);
  }
  for (const std::string& define : ARow.FragmentOnly)
    ABuilders.Fragment->RemoveDefine(define);
  ABuilders.Vertex->Globals()->Uniforms()->ClearTextures();
  ABuilders.Fragment->Globals()->Uniforms()->ClearTextures();
}

std::string VariantDefinesText(const TShaderVariantRow& ARow) {
  std::string text = "both:";
  for (const std::string& define : ARow.Both)
    text += " " + define;
  text += "; fragment:";
  for (const std::string& define : ARow.FragmentOnly)
    text += " " + define;
  return text;
}

TLinkedVariant CompileAndLink(const TShaderVariantRow& ARow, const std::string& AVertexText,
                              const std::string& AFragmentText) {
  TLinkedVariant result;
  const std::string* stage = &AVertexText;
  try {
    result.VertexShader = Compile(GL_VERTEX_SHADER, AVertexText);
    stage = &AFragmentText;
    result.PixelShader = Compile(GL_FRAGMENT_SHADER, AFragmentText);
    stage = nullptr;
    result.Program.reset(ShaderProgramClass().Create(&TContextOpenGLWindows::StaticClass(),
                                                     result.VertexShader.get(), result.PixelShader.get()));
  } catch (const rtl::Exception& E) {
    std::string message =
        "variant " + ARow.Name + " (" + VariantDefinesText(ARow) + ") failed: " + E.Message();
    if (stage)
      message += "\n" + SourceAround(E.Message(), *stage);
    throw rtl::Exception(message);
  }
  return result;
}

void SetUpVariantQuad() {
  const std::array<float, 4 * 11> quad = {
      -1, -1, 0, 0, 0, 1, 0, 0, 1, 0, 0, //
      1,  -1, 0, 0, 0, 1, 1, 0, 1, 0, 0, //
      -1, 1,  0, 0, 0, 1, 0, 1, 1, 0, 0, //
      1,  1,  0, 0, 0, 1, 1, 1, 1, 0, 0, //
  };
  glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad.data(), GL_STATIC_DRAW);
  const GLsizei stride = 11 * sizeof(float);
  auto attribute = [&](GLuint ALocation, GLint ASize, size_t AOffset) {
    glEnableVertexAttribArray(ALocation);
    glVertexAttribPointer(ALocation, ASize, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(AOffset * sizeof(float)));
  };
  attribute(0, 3, 0);
  attribute(1, 3, 3);
  attribute(6, 2, 6);
  attribute(11, 3, 8);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glVertexAttrib4f(2, 1, 1, 1, 1);
  for (GLuint column = 0; column < 4; ++column)
    glVertexAttrib4f(12 + column, column == 0, column == 1, column == 2, column == 3);
}

} // namespace vtest
