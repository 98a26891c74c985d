#include "rendering_fixture.h"

#include <epoxy/gl.h>

#include <cstdlib>
#include <string>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace rtest {

RTL_DEFINE_CLASS(TTestPassMaterial, "Tests.Rendering")
RTL_DEFINE_CLASS(TTestPassSource, "Tests.Rendering")
RTL_DEFINE_CLASS(TTestPass, "Tests.Rendering")
RTL_DEFINE_CLASS(TPlainPass, "Tests.Rendering")

namespace {

constexpr const char* VertexCode = R"(#version 430
layout(location = 0) in vec3 a_Position;
layout(location = 6) in vec2 a_TexCoord0;
uniform vec4 _MVPMatrix[4];
out vec2 v_TexCoord;
void main() {
  vec4 p = vec4(a_Position, 1.0);
  gl_Position = vec4(dot(_MVPMatrix[0], p), dot(_MVPMatrix[1], p), dot(_MVPMatrix[2], p), dot(_MVPMatrix[3], p));
  v_TexCoord = a_TexCoord0;
}
)";

// The rule is chosen by _Rule.x: 0 invert, 1 half, 2 the constant _Constant.
constexpr const char* PixelCode = R"(#version 430
in vec2 v_TexCoord;
uniform sampler2D _Input;
uniform vec4 _Rule;
uniform vec4 _Constant;
out vec4 o_Color;
void main() {
  vec3 c = texture(_Input, v_TexCoord).rgb;
  if (_Rule.x < 0.5) o_Color = vec4(1.0 - c, 1.0);
  else if (_Rule.x < 1.5) o_Color = vec4(c * 0.5, 1.0);
  else o_Color = _Constant;
}
)";

TContextShaderSource ShaderSource(const char* ACode, std::vector<TContextShaderVariable> AVariables) {
  const std::string code(ACode);
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(code.begin(), code.end()), std::move(AVariables)};
}

} // namespace

std::vector<vtest::TRGBA8> ReadTexture(const TTexture* ATexture) {
  std::vector<vtest::TRGBA8> pixels(size_t(ATexture->Width()) * size_t(ATexture->Height()));
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, GLuint(ATexture->Handle()));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, GLuint(previous));
  return pixels;
}

vtest::TRGBA8 TexturePixel(const TTexture* ATexture, int AX, int AY) {
  return ReadTexture(ATexture)[size_t(AY) * size_t(ATexture->Width()) + size_t(AX)];
}

::testing::AssertionResult Near(const vtest::TRGBA8& AActual, const vtest::TRGBA8& AExpected) {
  const auto close = [](uint8_t A, uint8_t B) { return std::abs(int(A) - int(B)) <= 2; };
  if (close(AActual.R, AExpected.R) && close(AActual.G, AExpected.G) && close(AActual.B, AExpected.B) &&
      close(AActual.A, AExpected.A))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << int(AActual.R) << ", " << int(AActual.G) << ", "
                                       << int(AActual.B) << ", " << int(AActual.A) << ") is not near ("
                                       << int(AExpected.R) << ", " << int(AExpected.G) << ", "
                                       << int(AExpected.B) << ", " << int(AExpected.A) << ")";
}

// ---- Test pass --------------------------------------------------------------------------------------

void TTestPassMaterial::Setup(TPassRule ARule) {
  using K = TContextShaderVariableKind;
  const std::string tag = Format("testpass-%d", reinterpret_cast<intptr_t>(this));
  FVertexShader = TShaderManager::RegisterShaderFromData(
      tag + ".fvs", TContextShaderKind::VertexShader, "",
      {ShaderSource(VertexCode, {{"MVPMatrix", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}})});
  FPixelShader = TShaderManager::RegisterShaderFromData(
      tag + ".fps", TContextShaderKind::PixelShader, "",
      {ShaderSource(PixelCode, {{"Input", K::Texture, 0, 1, 0, TContextShaderKind::PixelShader},
                          {"Rule", K::Vector, 0, 1, 0, TContextShaderKind::PixelShader},
                          {"Constant", K::Vector, 0, 1, 0, TContextShaderKind::PixelShader}})});
  Rule = ARule;
}

void TTestPassMaterial::DoApply(TContext3D* AContext) {
  if (RaiseOnApply)
    throw Exception("test material refuses");
  TCustomMaterial::DoApply(AContext);
  LastInput = GetPreviousRenderTexture(AContext);
  AContext->SetShaderVariable("Input", LastInput);
  const TVector3D rule{float(Rule), 0, 0, 0};
  AContext->SetShaderVariable("Rule", std::span<const TVector3D>(&rule, 1));
  const TVector3D constant{Constant.R, Constant.G, Constant.B, Constant.A};
  AContext->SetShaderVariable("Constant", std::span<const TVector3D>(&constant, 1));
}

TOwned<TMaterial> TTestPassSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TTestPassMaterial>(this);
}

void TTestPass::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Post;
  FMethod = TRenderPassMethod::RectToFBO;
  FRendererFlags = TRendererFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  SetShader(CreateShader());
}

TOwned<TVantrelRenderPassMaterialSource> TTestPass::CreateShader() {
  auto source = TVantrelRenderPassMaterialSource::Create<TTestPassSource>(this);
  source->Material().Setup(TPassRule::Invert);
  return source;
}

// ---- Fixture ----------------------------------------------------------------------------------------

void RenderingGL::SetUp() {
  ContextGLTest::SetUp();
  InitializeUnits();
  FRoot = MakeOwned<TFmxObject>(nullptr);
  FViewport = New<TVantrelViewport>(FRoot.get());
  FViewport->SetSize(64, 64);
}

void RenderingGL::TearDown() {
  FRoot.reset();
  FViewport = nullptr;
  FinalizeUnits();
  ContextGLTest::TearDown();
}

void RenderingGL::RunPostFrame() {
  TRenderer* main = FViewport->MainPassRenderer();
  main->SetAttachedRenderer(nullptr);
  main->BeginMainRenderPass(TMatrix3D::Identity(), 45);
  main->BeginOpaqueRendering();
  main->EndOpaqueRendering();
  main->EndMainRenderPass();
  TRenderContext context = TRenderContext::Create(main->GetSharedContext(), FViewport, {}, {});
  dynamic_cast<TVantrelContext*>(main->GetSharedContext())->PostProcessing(&context);
}

} // namespace rtest
