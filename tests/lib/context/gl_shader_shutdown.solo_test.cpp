// Shaders still held by the shader manager when the process ends: the shutdown at exit frees them
// through a registry that is still alive, and a freed stage takes the programs made from it along.
// Each test runs in a process of its own, so the exit path below is the one the test leaves.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

constexpr std::string_view PixelCode = R"(#version 430
out vec4 o_Color;
void main() {
  o_Color = vec4(1.0);
}
)";

// A vertex stage; AScale makes two texts, and so two shaders, of one shape.
std::string VertexCode(const char* AScale) {
  return std::string("#version 430\nlayout(location = 0) in vec3 a_Vertex;\nvoid main() {\n  gl_Position = vec4(a_Vertex * ") +
         AScale + ", 1.0);\n}\n";
}

TContextShader* Register(const std::string& AName, TContextShaderKind AKind, std::string_view ACode) {
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code.assign(ACode.begin(), ACode.end());
  return TShaderManager::RegisterShaderFromData(AName, AKind, "", {source});
}

TEST(GLShaderShutdown, AFreedStageDropsItsProgramsAndHeldShadersGoAtExit) {
  InitializeContextWindows();
  ASSERT_TRUE(TContextOpenGLWindows::StaticClass().Valid());
  auto texture = MakeOwned<TTexture>();
  texture->SetSize(4, 4);
  texture->SetStyle({TTextureStyle::RenderTarget});
  TOwned<TContextOpenGLWindows> context(CheckedCast<TContextOpenGLWindows>(
      TContextManager::CreateFromTexture(texture.get(), TMultisample::None, true)));

  TContextShader* pixel = Register("exit.fps", TContextShaderKind::PixelShader, PixelCode);
  TContextShader* first = Register("exit.fvs", TContextShaderKind::VertexShader, VertexCode("1.0"));
  context->SetShaders(first, nullptr, nullptr, nullptr, pixel);
  ASSERT_EQ(TVantrelContext::ProgramCount(), 1);

  // The freed stage's GL name may come back for the next shader; a program still listed under
  // it would be taken for the new pair.
  TShaderManager::UnregisterShader(first);
  EXPECT_EQ(TVantrelContext::ProgramCount(), 0);
  EXPECT_EQ(TVantrelContext::GetCurrentProgram(), nullptr);
  TContextShader* second = Register("exit.fvs", TContextShaderKind::VertexShader, VertexCode("0.5"));
  context->SetShaders(second, nullptr, nullptr, nullptr, pixel);
  ASSERT_EQ(TVantrelContext::ProgramCount(), 1);
  EXPECT_EQ(TVantrelContext::ProgramAt(0)->VS(), second->Handle());

  // Both shaders stay in the manager: the shutdown at exit frees them (under the sanitizer a
  // registry destroyed before that shutdown fails this process).
  context.reset();
  texture.reset();
  EXPECT_EQ(TShaderManager::Count(), 2);
}

} // namespace
