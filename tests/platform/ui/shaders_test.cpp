#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/typeinfo.h"
#include "ui/shaders.h"

namespace {

using namespace ui;

TEST(Shaders, VariableKindsKeepTheirFixedOrdinals) {
  using K = TContextShaderVariableKind;
  const std::pair<K, int> ordinals[] = {{K::Float, 0},  {K::Float2, 1},   {K::Float3, 2},
                                        {K::Vector, 3}, {K::Matrix, 4},   {K::Texture, 5},
                                        {K::Int, 6},    {K::IntArray, 7}, {K::Texture3D, 9}};
  const rtl::TTypeInfo& info = rtl::TypeInfoOf<K>();
  for (const auto& [kind, ordinal] : ordinals) {
    EXPECT_EQ(int(kind), ordinal);
    EXPECT_EQ(info.IndexOfName((*info.Names)[size_t(ordinal)]), ordinal);
  }
  EXPECT_EQ(info.IndexOfName("Texture3D"), 9);
}

TEST(Shaders, SourceIsFoundByArchitecture) {
  const TContextShaderVariable variable{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4,
                                        0,           TContextShaderKind::VertexShader};
  rtl::TOwned<TContextShader> shader(rtl::New<TContextShader>(
      "test.fvs", TContextShaderKind::PixelShader,
      std::vector<TContextShaderSource>{{TContextShaderArch::Mac, {1, 2}, {}},
                                        {TContextShaderArch::GLSL, {3}, {variable}}}));
  EXPECT_EQ(shader->Name(), "test.fvs");
  EXPECT_EQ(shader->Kind(), TContextShaderKind::PixelShader);
  EXPECT_EQ(shader->Handle(), 0u);
  const TContextShaderSource* glsl = shader->GetSourceByArch(TContextShaderArch::GLSL);
  ASSERT_NE(glsl, nullptr);
  EXPECT_TRUE(glsl->IsDefined());
  EXPECT_EQ(glsl->Code, std::vector<uint8_t>{3});
  EXPECT_EQ(glsl->Variables, std::vector<TContextShaderVariable>{variable});
  EXPECT_EQ(shader->GetSourceByArch(TContextShaderArch::Undefined), nullptr);
}

// The manager keys on the whole content: equal inputs share one object, any changed byte or
// variable gives another. Each registration counts one holder: the object stays until its last holder
// unregisters, and the next equal register then makes it anew.
TEST(Shaders, ManagerKeysOnContent) {
  const int before = TShaderManager::Count();
  const auto source = [](std::string ACode, int32_t AIndex) {
    return std::vector<TContextShaderSource>{
        {TContextShaderArch::GLSL,
         std::vector<uint8_t>(ACode.begin(), ACode.end()),
         {{"Input", TContextShaderVariableKind::Texture, AIndex, 1, 0, TContextShaderKind::PixelShader}}}};
  };
  const auto kind = TContextShaderKind::PixelShader;
  TContextShader* first = TShaderManager::RegisterShaderFromData("m.fps", kind, "", source("abcd", 0));
  struct Case {
    const char* Name;
    TContextShader* Shader;
    bool Same;
  } cases[] = {
      {"equal key", TShaderManager::RegisterShaderFromData("m.fps", kind, "ignored", source("abcd", 0)), true},
      {"same length, other bytes", TShaderManager::RegisterShaderFromData("m.fps", kind, "", source("abce", 0)),
       false},
      {"changed variable", TShaderManager::RegisterShaderFromData("m.fps", kind, "", source("abcd", 1)), false},
      {"other kind",
       TShaderManager::RegisterShaderFromData("m.fps", TContextShaderKind::VertexShader, "", source("abcd", 0)),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.Shader == first, c.Same);
  }
  EXPECT_EQ(TShaderManager::Count(), before + 4);

  TShaderManager::UnregisterShader(first); // the "equal key" registration still holds it
  EXPECT_EQ(TShaderManager::Count(), before + 4);
  EXPECT_EQ(cases[0].Shader->Name(), "m.fps");
  TShaderManager::UnregisterShader(first);
  EXPECT_EQ(TShaderManager::Count(), before + 3);
  TShaderManager::UnregisterShader(first); // no longer held: nothing happens
  EXPECT_EQ(TShaderManager::Count(), before + 3);
  TContextShader* again = TShaderManager::RegisterShaderFromData("m.fps", kind, "", source("abcd", 0));
  EXPECT_NE(again, nullptr);
  EXPECT_EQ(TShaderManager::Count(), before + 4);
  for (TContextShader* shader : {again, cases[1].Shader, cases[2].Shader, cases[3].Shader})
    TShaderManager::UnregisterShader(shader);
  EXPECT_EQ(TShaderManager::Count(), before);
}

} // namespace
