#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "support/json_object.h"

namespace {

using namespace vantrel;

using vtest::ParseObject;

class DefTextures : public ::testing::Test {
protected:
  void SetUp() override { InitializeDefTypes(); }
  void TearDown() override { FinalizeDefTypes(); }
};

TEST_F(DefTextures, SamplerMembersRead) {
  struct Row {
    const char* Json;
    std::function<bool(const TSamplerDef&)> Check;
  };
  const std::vector<Row> rows{
      {R"({"WrapS": "ClampToEdge"})", [](auto& s) { return s.WrapS == TVantrelTextureWrap::ClampToEdge; }},
      // Only the stored name selects repetition here, in any letter case.
      {R"({"WrapS": "Repeat", "WrapT": "Repeated"})",
       [](auto& s) { return s.WrapS == TVantrelTextureWrap::ClampToEdge && s.WrapT == TVantrelTextureWrap::Repeated; }},
      {R"({"WrapR": "REPEATED"})", [](auto& s) { return s.WrapR == TVantrelTextureWrap::Repeated; }},
      {R"({"WrapS": "mirroredrepeat", "WrapT": "CLAMPTOBORDER", "WrapR": "clamp"})",
       [](auto& s) {
         return s.WrapS == TVantrelTextureWrap::MirroredRepeat && s.WrapT == TVantrelTextureWrap::ClampToBorder &&
                s.WrapR == TVantrelTextureWrap::Clamp;
       }},
      {R"({"MinFilter": "NEAREST", "MagFilter": "cubic"})",
       [](auto& s) { return s.MinFilter == ui::TTextureFilter::Nearest && s.MagFilter == ui::TTextureFilter::Linear; }},
      {R"({"Kind": "cubemap"})", [](auto& s) { return s.TextureKind == TVantrelTextureKind::CubeMap; }},
      {R"({"Kind": "Texture9D"})", [](auto& s) { return s.TextureKind == TVantrelTextureKind::Texture2D; }},
      // Absent formats take the stored defaults, not the current values.
      {R"({})",
       [](auto& s) {
         return s.InternalFormat == TPixelFormatEx::RGBA8 && s.Format == TPixelFormatEx::BGRA &&
                s.DataType == TVantrelTextureDataType::dtUnsignedByte;
       }},
      {R"({"BorderColor": "0.5 0.25 1 0.75"})",
       [](auto& s) { return s.BorderColor == TAlphaColorF::Create(0.5f, 0.25f, 1, 0.75f); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Json);
    TSamplerDef sampler;
    // Values that an absent or empty member must keep.
    sampler.InternalFormat = TPixelFormatEx::RGB;
    sampler.MinFilter = ui::TTextureFilter::Linear;
    sampler.FromJSON(nullptr, *ParseObject(row.Json));
    EXPECT_TRUE(row.Check(sampler));
  }
}

TEST_F(DefTextures, SamplerEmptyMembersKeepValuesAndRoundTrip) {
  TSamplerDef sampler;
  sampler.SetId("S");
  sampler.TextureKind = TVantrelTextureKind::ImageTexture3D;
  sampler.InternalFormat = TPixelFormatEx::RGBA32F;
  sampler.BorderColor = TAlphaColorF::Create(0.1f, 0.2f, 0.3f, 0.4f);
  sampler.MagFilter = ui::TTextureFilter::Nearest;
  sampler.WrapT = TVantrelTextureWrap::MirroredRepeat;
  const std::string text = sampler.ToJSON()->ToJSON();
  EXPECT_NE(text.find(R"("Kind":"ImageTexture3D")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("BorderColor":"0.1000 0.2000 0.3000 0.4000")"), std::string::npos) << text;
  EXPECT_NE(text.find(R"("WrapS":"ClampToEdge","WrapT":"MirroredRepeat")"), std::string::npos) << text;
  TSamplerDef copy;
  copy.FromJSON(nullptr, *ParseObject(text));
  EXPECT_EQ(copy.ToJSON()->ToJSON(), text);

  copy.FromJSON(nullptr, *ParseObject(R"({"BorderColor": "", "MagFilter": "", "WrapT": ""})"));
  EXPECT_EQ(copy.BorderColor, sampler.BorderColor);
  EXPECT_EQ(copy.MagFilter, ui::TTextureFilter::Nearest);
  EXPECT_EQ(copy.WrapT, TVantrelTextureWrap::MirroredRepeat);
}

TEST_F(DefTextures, SamplerFormatOutsideTheEnumerationRaises) {
  for (const char* json : {R"({"InternalFormat": 80})", R"({"Format": -1})", R"({"DataType": 300})"}) {
    SCOPED_TRACE(json);
    TSamplerDef sampler;
    EXPECT_THROW(sampler.FromJSON(nullptr, *ParseObject(json)), ERangeError);
  }
}

TEST_F(DefTextures, ShaderJSON) {
  struct Row {
    TContextShaderKindEx Kind;
    std::vector<std::string> Lines;
    const char* KindMember; // nullptr: no "Kind" written
    TContextShaderKindEx ReadBack;
  };
  const std::vector<Row> rows{
      {TContextShaderKindEx::PixelShader, {"a", "", "b"}, "PixelShader", TContextShaderKindEx::PixelShader},
      {TContextShaderKindEx::GeometryShader, {}, "GeometryShader", TContextShaderKindEx::GeometryShader},
      {TContextShaderKindEx::TessEvalShader, {"x"}, nullptr, TContextShaderKindEx::VertexShader},
      {TContextShaderKindEx::TessCtrlShader, {"x"}, nullptr, TContextShaderKindEx::VertexShader},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(int(row.Kind));
    TShaderDef shader;
    shader.Kind = row.Kind;
    shader.Language = TShaderLanguage::MSL;
    shader.SetSourceCode(row.Lines);
    const auto json = shader.ToJSON();
    EXPECT_EQ(TCustomDef::HasJSONValue(*json, "Kind"), row.KindMember != nullptr);
    if (row.KindMember) {
      EXPECT_EQ(TCustomDef::GetJSONString(*json, "Kind"), row.KindMember);
    }
    TShaderDef copy;
    copy.FromJSON(nullptr, *ParseObject(json->ToJSON()));
    EXPECT_EQ(copy.Kind, row.ReadBack);
    EXPECT_EQ(copy.Language, TShaderLanguage::MSL);
    EXPECT_EQ(copy.GetSourceCode(), row.Lines);
  }
  TShaderDef lines;
  lines.SetSourceCode({"a", "", "b"});
  EXPECT_EQ(TCustomDef::GetJSONString(*lines.ToJSON(), "SourceCode"), "a\r\n\r\nb\r\n");
}

TEST_F(DefTextures, ShaderReadsTextRules) {
  struct Row {
    const char* Json;
    TContextShaderKindEx Kind;
    TShaderLanguage Language;
    std::vector<std::string> Lines;
  };
  const std::vector<Row> rows{
      {R"({"Kind": "pixelshader", "Language": "hlsl", "SourceCode": "x\ny"})", TContextShaderKindEx::PixelShader,
       TShaderLanguage::HLSL, {"x", "y"}},
      {R"({"Kind": "FragmentShader", "Language": "Cg", "SourceCode": "x\ry\r\n"})", TContextShaderKindEx::GeometryShader,
       TShaderLanguage::HLSL, {"x", "y"}},
      {R"({"SourceCode": "\n\nz"})", TContextShaderKindEx::GeometryShader, TShaderLanguage::GLSL, {"", "", "z"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Json);
    TShaderDef shader;
    // Unknown or absent kinds keep this; the language falls back to "GLSL" only when absent.
    shader.Kind = TContextShaderKindEx::GeometryShader;
    shader.Language = TShaderLanguage::HLSL;
    shader.FromJSON(nullptr, *ParseObject(row.Json));
    EXPECT_EQ(shader.Kind, row.Kind);
    EXPECT_EQ(shader.Language, row.Language);
    EXPECT_EQ(shader.GetSourceCode(), row.Lines);
  }
}

TEST_F(DefTextures, StoredNamesAreRegistered) {
  for (const char* name : {"Vantrel.DefTypes.TSamplerDef", "Vantrel.DefTypes.TShaderDef"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(GetClass(name), nullptr);
  }
  EXPECT_EQ(TCustomDef::GetJSONString(*TSamplerDef().ToJSON(), "Type"), "Vantrel.DefTypes.TSamplerDef");
}

} // namespace
