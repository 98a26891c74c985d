#include <gtest/gtest.h>

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

} // namespace
