#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "rendering/Vantrel.Controller.Passes.PostFX.h"
#include "rtl/stringlist.h"

namespace {

using namespace vantrel;

bool StartsWith(const std::string& AText, const std::string& APrefix) {
  return AText.compare(0, APrefix.size(), APrefix) == 0;
}

TEST(PostFXTexts, VertexAndPixelStagesAreJoinedFromTheFixedTexts) {
  const std::string vertex = PostFXVertexText();
  EXPECT_TRUE(StartsWith(vertex, "#version 430\r\n\r\n\r\nin vec3 a_Position;\r\n"));
  EXPECT_EQ(vertex.back(), '}');

  const std::string pixel = PostFXPixelText(nullptr);
  EXPECT_TRUE(StartsWith(pixel, "#version 430\r\n\r\n\r\nvec4 tex2D(in sampler2D p_Texture, in vec2 p_TexCoord)"));
  const size_t declarations = pixel.find(SPostFXDeclarations);
  const size_t surface = pixel.find(SPostFXDefaultSurfaceShader);
  const size_t main = pixel.find(SPostFXMain);
  ASSERT_NE(declarations, std::string::npos);
  EXPECT_EQ(surface, declarations + std::string(SPostFXDeclarations).size());
  EXPECT_EQ(main, surface + std::string(SPostFXDefaultSurfaceShader).size());
  EXPECT_EQ(main + std::string(SPostFXMain).size(), pixel.size());
  // Every line ends with CR LF.
  EXPECT_EQ(std::regex_search(pixel, std::regex("[^\r]\n")), false);
}

TEST(PostFXTexts, SurfaceLinesGetLineBreaksAndNonAsciiBecomesOneQuestionMark) {
  TStringList lines;
  lines.Add("// caf\xC3\xA9 \xE2\x82\xAC");
  lines.Add("vec3 SurfaceShader(inout TLocals DATA){ return vec3(1.0); }");
  const std::string pixel = PostFXPixelText(&lines);
  EXPECT_NE(pixel.find("// caf? ?\r\nvec3 SurfaceShader(inout TLocals DATA){ return vec3(1.0); }\r\nvoid main(){"),
            std::string::npos);
  for (unsigned char c : pixel)
    EXPECT_LT(c, 0x80);
}

TEST(PostFXTexts, NamesCarryTheAddress) {
  const int object = 0;
  const std::string vertex = PostFXShaderName(&object, ".fvs");
  const std::string pixel = PostFXShaderName(&object, ".fps");
  EXPECT_TRUE(std::regex_match(vertex, std::regex("postfx-[0-9A-F]{16}\\.fvs")));
  EXPECT_TRUE(std::regex_match(pixel, std::regex("postfx-[0-9A-F]{16}\\.fps")));
  EXPECT_EQ(std::stoull(vertex.substr(7, 16), nullptr, 16), reinterpret_cast<uintptr_t>(&object));
}

} // namespace
