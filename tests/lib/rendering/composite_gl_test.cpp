// The composite renderer's frame on a real viewport: the G-buffer merge of the deferred
// composite, FXAA, the internal-pass registry, settings, resizes and the lifetime of what the
// renderer creates.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering_fixture.h"
#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "ui/messages.h"
#include "ui/shaders.h"

namespace {

using namespace rtest;
using vtest::TRGBA8;

// Fills a texture by clearing it through a frame buffer of its own (an upload would go through the
// texture's upload format, which for the alpha texture leaves R at 0).
void FillTexture(const TTexture* ATexture, std::array<float, 4> AColor) {
  GLint previous = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, GLuint(ATexture->Handle()), 0);
  const GLenum buffer = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &buffer);
  glClearBufferfv(GL_COLOR, 0, AColor.data());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(previous));
  glDeleteFramebuffers(1, &fbo);
}

class CompositeGL : public RenderingGL {
protected:
  TCompositeRenderer& Main() { return *dynamic_cast<TCompositeRenderer*>(Viewport().MainPassRenderer()); }
  TVantrelRenderPassDeferredComposite* DeferredComposite() {
    return dynamic_cast<TVantrelRenderPassDeferredComposite*>(
        Main().GetInternalController(TInternalPassKind::DeferredComposite));
  }
  TVantrelRenderPassFXAA* FXAA() {
    return dynamic_cast<TVantrelRenderPassFXAA*>(Main().GetInternalController(TInternalPassKind::FXAA));
  }
  // One frame: the composite alone, between the main pass brackets.
  void CompositeFrame() {
    Main().SetAttachedRenderer(nullptr);
    TRenderContext context = TRenderContext::Create(Main().GetSharedContext(), &Viewport(), {}, {});
    Main().BeginMainRenderPass(TMatrix3D::Identity(), 45);
    try {
      Main().Composite(&context);
    } catch (...) {
      Main().EndMainRenderPass();
      throw;
    }
    Main().EndMainRenderPass();
  }
  TTexture* Output() { return Main().GetCompositeTexture()->Texture(); }
  void FillGBuffer(std::array<float, 4> AAlbedo, std::array<float, 4> AAccum, float AAlpha,
                   std::array<float, 3> AEmissive) {
    FillTexture(Main().GetAlbedoTexture(), AAlbedo);
    FillTexture(Main().GetTranslucentAlbedoTexture(), AAccum);
    FillTexture(Main().GetAlphaTexture(), {AAlpha, 0, 0, 0});
    FillTexture(Main().GetEmissiveTexture(), {AEmissive[0], AEmissive[1], AEmissive[2], 1});
  }
};

TEST_F(CompositeGL, GBufferFormatsAndFrameBuffers) {
  struct TCase {
    const char* Name;
    TVantrelTexture* Texture;
    GLint Format;
  } cases[] = {{"albedo", Main().GetAlbedoTexture(), GL_RGBA8},
               {"translucent albedo", Main().GetTranslucentAlbedoTexture(), GL_RGBA16F},
               {"alpha", Main().GetAlphaTexture(), GL_R16F},
               {"position", Main().GetPositionTexture(), GL_RGBA16F},
               {"normals", Main().GetNormalsTexture(), GL_RGB16F},
               {"emissive", Main().GetEmissiveTexture(), GL_RGB8}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_NE(c.Texture, nullptr);
    glBindTexture(GL_TEXTURE_2D, GLuint(c.Texture->Handle()));
    GLint format = 0, width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(format, c.Format);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 64);
  }
  glBindTexture(GL_TEXTURE_2D, GLuint(Main().GetPositionTexture()->Handle()));
  GLint wrap = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
  EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
  glBindTexture(GL_TEXTURE_2D, 0);
  for (TFrameBufferObject* buffer : {Main().GetDefaultFrameBuf(), Main().GetTranslucentBuf()}) {
    glBindFramebuffer(GL_FRAMEBUFFER, buffer->Handle());
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

TEST_F(CompositeGL, TheMergeOfTheGBuffer) {
  Viewport().SetFXAA(0);
  struct TCase {
    const char* Name;
    std::array<float, 4> Accum;
    float Alpha;
    std::array<float, 3> Emissive;
    TPoint3D Saturation;
    int32_t EmissiveBlur;
    TRGBA8 Expected;
  } cases[] = {
      {"translucent weight 0", {0, 0, 0, 0}, 0, {0, 0, 0}, {0, 1.5f, 0}, 0, {204, 102, 51, 255}},
      {"opaque saturation 1.5", {0, 0, 0, 0}, 0, {0, 0, 0}, {1.5f, 1.5f, 0}, 0, {246, 93, 17, 255}},
      {"translucent accum", {0.1f, 0.2f, 0.1f, 0.5f}, 0.25f, {0, 0, 0}, {0, 1.5f, 0}, 0, {161, 104, 46, 255}},
      {"composite saturation 0.5", {0.1f, 0.2f, 0.1f, 0.5f}, 0.25f, {0, 0, 0}, {0, 1.5f, 0.5f}, 0,
       {137, 108, 79, 255}},
      {"emissive without blur", {0, 0, 0, 0}, 0, {0.1f, 0.2f, 0.3f}, {0, 1.5f, 0}, 0, {204, 102, 51, 255}},
      // The emissive blur adds toneMap(e * 257 / 241) of the uniform emissive image.
      {"emissive with blur 1", {0, 0, 0, 0}, 0, {0.1f, 0.2f, 0.3f}, {0, 1.5f, 0}, 1, {255, 254, 231, 255}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Viewport().SetSaturation(c.Saturation);
    Viewport().SetEmissiveBlur(c.EmissiveBlur);
    FillGBuffer({0.8f, 0.4f, 0.2f, 1}, c.Accum, c.Alpha, c.Emissive);
    CompositeFrame();
    EXPECT_TRUE(Near(TexturePixel(Output(), 32, 32), c.Expected));
    EXPECT_TRUE(Near(TexturePixel(Output(), 0, 63), c.Expected));
  }
  // Without FXAA the deferred composite attached the main renderer to itself.
  EXPECT_EQ(Main().GetAttachedRenderer(), &Main());
}

TEST_F(CompositeGL, AFlatImageComesBackFromFXAAUnchanged) {
  Viewport().SetFXAA(1);
  FillGBuffer({0.8f, 0.4f, 0.2f, 1}, {0, 0, 0, 0}, 0, {0, 0, 0});
  CompositeFrame();
  ASSERT_NE(FXAA(), nullptr);
  EXPECT_EQ(Main().GetAttachedRenderer(), FXAA()->GetRenderer());
  const auto pixels = ReadTexture(FXAA()->GetFinalOutputTexture());
  for (const TRGBA8& pixel : pixels)
    ASSERT_EQ(pixel, (TRGBA8{204, 102, 51, 255}));
}

TEST_F(CompositeGL, FXAAIterationsAlternateTargets) {
  Viewport().SetFXAA(3);
  FillGBuffer({0.8f, 0.4f, 0.2f, 1}, {0, 0, 0, 0}, 0, {0, 0, 0});
  CompositeFrame(); // makes the pass runtime object
  TVantrelRenderPassFXAA* fxaa = FXAA();
  ASSERT_NE(fxaa, nullptr);
  EXPECT_EQ(fxaa->GetIterations(), 3);
  struct TRecorder : TObject {
    TVantrelRenderPassFXAA* Pass = nullptr;
    int Draws = 0;
    int SelfReads = 0;
    TTexture* LastTarget = nullptr;
    void EndRender(TObject*, TContext3D* AContext, int32_t, TRenderPass*) {
      ++Draws;
      auto* context = dynamic_cast<TVantrelContext*>(AContext);
      TTexture* target = context->GetCurrentTexture();
      if (target == Pass->Material()->InputTexture())
        ++SelfReads;
      LastTarget = target;
    }
  } recorder;
  recorder.Pass = fxaa;
  fxaa->OnEndRender = TRenderPassEvent(&recorder, &TRecorder::EndRender);
  CompositeFrame();
  EXPECT_EQ(recorder.Draws, 3);
  EXPECT_EQ(recorder.SelfReads, 0);
  EXPECT_EQ(recorder.LastTarget, fxaa->GetFinalOutputTexture());
  fxaa->OnEndRender = {};

  Viewport().SetFXAA(0);
  CompositeFrame();
  EXPECT_EQ(Main().GetAttachedRenderer(), &Main());
}

TEST_F(CompositeGL, FXAAWithoutInputRaises) {
  // A material with neither an input texture nor a source has nothing to filter.
  auto material = MakeOwned<TFXAAMaterial>();
  auto* context = dynamic_cast<TVantrelContext*>(Main().GetSharedContext());
  ASSERT_TRUE(context->BeginSceneRendering());
  try {
    material->Apply(context);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "fxaa pass - input texture empty");
  }
  context->EndSceneRendering();
}

TEST_F(CompositeGL, SettingsReachTheInternalPasses) {
  Main().SetTranslucentDistance(0);
  EXPECT_EQ(Main().GetTranslucentDistance(), 1);
  EXPECT_EQ(dynamic_cast<TVantrelContext*>(Main().GetSharedContext())->GetTranslucentDistance(), 1);
  Main().SetTranslucentDistance(20000);
  EXPECT_EQ(Main().GetTranslucentDistance(), 10000);
  Main().SetEmissiveBlur(20);
  EXPECT_EQ(DeferredComposite()->Material()->EmissiveBlur(), 15);
  Main().SetFXAA(9);
  EXPECT_EQ(Main().GetFXAA(), 8);
  EXPECT_EQ(FXAA()->GetIterations(), 8);
  Main().SetFXAA(-1);
  EXPECT_EQ(FXAA()->GetIterations(), 0);
  // Clamped to 7, then lowered to the largest volume the 3D texture limit holds (5 on llvmpipe's
  // 2048), which the renderer keeps.
  Main().SetGlobalIllumDetail(9);
  EXPECT_EQ(Main().GetGlobalIllumDetail(), 5);
  Main().SetGlobalIllumSoftness(6);
  EXPECT_EQ(Main().GetGlobalIllumSoftness(), 5);
  Main().SetShadowStrength(12);
  EXPECT_EQ(Main().GetShadowStrength(), 10);
  Main().SetSaturation({0.5f, 1, 2});
  EXPECT_EQ(DeferredComposite()->Material()->Saturation(), (TPoint3D{0.5f, 1, 2}));
}

TEST_F(CompositeGL, WithoutTheCompositeControllerThereIsNoFXAAAndCompositeRaises) {
  auto renderer = MakeOwned<TForwardRenderer>("R", &Viewport(), TRendererFlags{TRendererFlag::IgnoreCompositeCtrl},
                                              TOnRendererCreateCompositeTexture{});
  renderer->Resize({64, 64}, 1);
  renderer->Apply();
  EXPECT_EQ(renderer->GetInternalController(TInternalPassKind::DeferredComposite), nullptr);
  EXPECT_EQ(renderer->GetInternalController(TInternalPassKind::FXAA), nullptr);
  TRenderContext context = TRenderContext::Create(renderer->GetSharedContext(), &Viewport(), {}, {});
  try {
    renderer->Composite(&context);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "renderer do not contain composite render-pass");
  }
}

TEST_F(CompositeGL, ResizesAndTypeChangesLeaveNothingBehind) {
  TPlainPass* pass = static_cast<TPlainPass*>(
      TVantrelRenderPassController::CreateController(TPlainPass::StaticClass(), &Root(), "P"));
  pass->SetViewport(&Viewport());
  CompositeFrame();
  const int viewportComponents = Viewport().ComponentCount();
  const int passComponents = pass->ComponentCount();
  const int programs = TVantrelContext::ProgramCount();
  const int shaders = TShaderManager::Count();
  for (int step = 0; step < 10; ++step) {
    Viewport().SetSize(step % 2 ? 64 : 48, step % 2 ? 64 : 40);
    CompositeFrame();
  }
  Viewport().SetRendererType(TRendererType::LegacyRenderer);
  Viewport().SetRendererType(TRendererType::ForwardRenderer);
  Viewport().SetSize(63, 63);
  Viewport().SetSize(64, 64);
  CompositeFrame();
  EXPECT_EQ(Viewport().ComponentCount(), viewportComponents);
  EXPECT_EQ(pass->ComponentCount(), passComponents);
  EXPECT_EQ(TVantrelContext::ProgramCount(), programs);
  EXPECT_EQ(TShaderManager::Count(), shaders);
  // Sources that listen for context resets hear it safely after all of that.
  TContextResetMessage message;
  TMessageManager::DefaultManager().SendMessage(nullptr, &message, false);
  CompositeFrame();
}

TEST_F(CompositeGL, FreedControllersAndRenderersAreNotReadAgain) {
  CompositeFrame();
  DeferredComposite()->Free();
  try {
    CompositeFrame();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "renderer do not contain composite render-pass");
  }

  TTestPass* pass = static_cast<TTestPass*>(
      TVantrelRenderPassController::CreateController(TTestPass::StaticClass(), &Root(), "P"));
  pass->SetViewport(&Viewport());
  RunPostFrame();
  ASSERT_EQ(pass->GetPreviousRenderer(), &Main());
  // The current renderer, an attached renderer and a previous renderer read nil once freed.
  Viewport().SetCurrentRenderer(pass->GetRenderer());
  Main().SetAttachedRenderer(pass->GetRenderer());
  TRenderer* passRenderer = pass->GetRenderer();
  pass->SetRendererType(TRendererType::LegacyRenderer);
  EXPECT_NE(pass->GetRenderer(), passRenderer);
  EXPECT_EQ(Main().GetAttachedRenderer(), nullptr);
  EXPECT_EQ(Viewport().CurrentRenderer(), &Main());
  Viewport().SetRendererType(TRendererType::LegacyRenderer);
  EXPECT_EQ(pass->GetPreviousRenderer(), nullptr);
}

TEST_F(CompositeGL, TheDeferredCompositeNeverFreesTheRendererItBorrows) {
  DeferredComposite()->SetRendererType(TRendererType::LegacyRenderer);
  ASSERT_NE(Viewport().MainPassRenderer(), nullptr);
  EXPECT_NE(Main().GetSharedContext(), nullptr);
}

TEST_F(CompositeGL, CompositeBlockLayoutOnTheGPU) {
  Viewport().SetFXAA(0);
  CompositeFrame();
  TShaderProgram* program = TVantrelContext::GetProgram(DeferredComposite()->Material()->VertexShader(),
                                                        DeferredComposite()->Material()->PixelShader());
  ASSERT_NE(program, nullptr);
  GLint handle = 0;
  // The program's GL name: the current program right after the context applied the material.
  {
    auto* context = dynamic_cast<TVantrelContext*>(Main().GetSharedContext());
    context->SetShaders(DeferredComposite()->Material()->VertexShader(), DeferredComposite()->Material()->PixelShader());
    glGetIntegerv(GL_CURRENT_PROGRAM, &handle);
  }
  ASSERT_NE(handle, 0);
  EXPECT_EQ(vtest::UniformBlockSize(GLuint(handle), "CompositeShaderData"), 1200);
  const std::pair<const char*, GLint> members[] = {
      {"_VoxelCenter", 0},  {"_GlobalIllum", 12}, {"_Saturation", 16},     {"_EmissiveBlur", 28},
      {"_VoxelSize", 32},   {"_ShadowLimit", 36}, {"_Reflection", 40},     {"_NumberOfLights", 44},
      {"_Lights[0]._LightType", 48}, {"_Lights[1]._Position", 48 + 144 + 16},
      {"_Lights[0]._Enabled", 48 + 140}};
  for (const auto& [name, offset] : members)
    EXPECT_EQ(vtest::UniformOffset(GLuint(handle), name), offset) << name;
  TVantrelContext::ResetDrawCallDiagnostics();
}

TEST_F(CompositeGL, GoldenShaderTexts) {
  const std::string pixel = TDeferredCompositeMaterial::PixelShaderText();
  EXPECT_EQ(pixel.rfind("#version 430\r\n\r\n\r\nstruct Light{\r\n  int _LightType;\r\n", 0), 0u);
  EXPECT_NE(pixel.find("  int   _Enabled;\r\n};\r\n#define MAX_LIGHTS 8\r\n"), std::string::npos);
  EXPECT_NE(pixel.find("uniform sampler2D _GlobalIllumination;\r\nin vec4 TEX0;\r\n"), std::string::npos);
  EXPECT_EQ(pixel.substr(pixel.size() - 14), "  return;\r\n}\r\n");
  const std::string fxaa = TFXAAMaterial::PixelShaderText();
  EXPECT_NE(fxaa.find("uniform sampler2D _Input;in vec4 v_Position;\r\nin vec4 TEX0;\r\n"), std::string::npos);
  EXPECT_EQ(fxaa.substr(fxaa.size() - 64), "void main(){    o_FragColor = fxaa(_Input, TEX0.xy);    return;}");
  TDeferredCompositeMaterial* material = DeferredComposite()->Material();
  const std::string address = std::to_string(reinterpret_cast<intptr_t>(material));
  EXPECT_EQ(material->VertexShader()->Name(), "deferred.composite-" + address + ".fvs");
  EXPECT_EQ(material->PixelShader()->Name(), "deferred.composite-" + address + ".fps");
  const auto& variables = material->PixelShader()->GetSourceByArch(TContextShaderArch::GLSL)->Variables;
  ASSERT_EQ(variables.size(), 7u);
  EXPECT_EQ(variables[6].Name, "GlobalIllumination");
  EXPECT_EQ(variables[6].Index, 6);
  EXPECT_EQ(FXAA()->Material()->PixelShader()->Name(),
            "FXAA-" + std::to_string(reinterpret_cast<intptr_t>(FXAA()->Material())) + ".fps");
  EXPECT_EQ(DeferredComposite()->GetId(),
            Main().GetId() + "_DeferredComposite_" + std::to_string(reinterpret_cast<intptr_t>(&Main())));
  EXPECT_EQ(DeferredComposite()->Name(), "");
}

// No emissive-blur binding while it lives; the unit's binding is put back after.
struct TNoEmissiveBindingScope {
  TNoEmissiveBindingScope() {
    if (const TInternalPassBinding* held = FindInternalPass(TInternalPassKind::EmissiveBlur))
      Saved = *held;
    UnregisterInternalPass(TInternalPassKind::EmissiveBlur);
  }
  ~TNoEmissiveBindingScope() {
    if (Saved.Class)
      RegisterInternalPass(TInternalPassKind::EmissiveBlur, Saved);
  }
  TInternalPassBinding Saved;
};

// A test binding for the emissive blur: its controller's output is a constant colour.
struct TEmissiveBindingScope {
  TEmissiveBindingScope() {
    TInternalPassBinding binding;
    binding.Class = &TTestPass::StaticClass();
    binding.Configure = [](TVantrelRenderPassController& AController, TCompositeRenderer&) {
      static_cast<TTestPass&>(AController).Source().Material().Setup(TPassRule::Constant);
    };
    RegisterInternalPass(TInternalPassKind::EmissiveBlur, std::move(binding));
  }
  ~TEmissiveBindingScope() { UnregisterInternalPass(TInternalPassKind::EmissiveBlur); }
};

TEST_F(CompositeGL, AKindRunsThroughItsBindingOrIsSkipped) {
  TNoEmissiveBindingScope unbound;
  Viewport().SetSize(63, 63); // the renderer is re-made without the unit's controller
  Viewport().SetSize(64, 64);
  Viewport().SetFXAA(0);
  // Only the deferred composite and FXAA are bound: the other steps are skipped silently.
  Viewport().SetEmissiveBlur(3);
  Viewport().SetGlobalIllumDetail(2);
  FillGBuffer({0.8f, 0.4f, 0.2f, 1}, {0, 0, 0, 0}, 0, {0.2f, 0.2f, 0.2f});
  EXPECT_NO_THROW(CompositeFrame());
  Viewport().SetGlobalIllumDetail(0);
  Viewport().SetEmissiveBlur(1);
  EXPECT_TRUE(Near(TexturePixel(Output(), 32, 32), {255, 153, 102, 255})) << "the raw emissive is added";
  {
    TEmissiveBindingScope scope;
    Viewport().SetSize(63, 63); // the next resize makes the bound controller
    Viewport().SetSize(64, 64);
    TVantrelRenderPassController* blur = Main().GetInternalController(TInternalPassKind::EmissiveBlur);
    ASSERT_NE(blur, nullptr);
    Viewport().SetEmissiveBlur(0);
    FillGBuffer({0.8f, 0.4f, 0.2f, 1}, {0, 0, 0, 0}, 0, {0.2f, 0.2f, 0.2f});
    CompositeFrame();
    EXPECT_EQ(blur->GetFrameCount(), 0u) << "no blur below 1";
    EXPECT_TRUE(Near(TexturePixel(Output(), 32, 32), {204, 102, 51, 255}));
    Viewport().SetEmissiveBlur(1);
    CompositeFrame();
    EXPECT_EQ(blur->GetFrameCount(), 1u);
    EXPECT_TRUE(Near(TexturePixel(Output(), 32, 32), {230, 153, 128, 255})) << "the blur output is added";
  }
  Viewport().SetSize(63, 63);
  Viewport().SetSize(64, 64);
  EXPECT_EQ(Main().GetInternalController(TInternalPassKind::EmissiveBlur), nullptr);
  FillGBuffer({0.8f, 0.4f, 0.2f, 1}, {0, 0, 0, 0}, 0, {0.2f, 0.2f, 0.2f});
  CompositeFrame();
  EXPECT_TRUE(Near(TexturePixel(Output(), 32, 32), {255, 153, 102, 255}));
}

TEST_F(CompositeGL, IndirectLightIsAddedAndItsOcclusionLimited) {
  Viewport().SetFXAA(0);
  CompositeFrame(); // gives the pass its inputs
  auto* gi = static_cast<TTestPass*>(TVantrelRenderPassController::CreateController(TTestPass::StaticClass(),
                                                                                   &Viewport(), "GI"));
  ASSERT_NE(gi->GetOutputTexture(), nullptr);
  TVantrelRenderPassDeferredComposite* composite = DeferredComposite();
  auto* context = dynamic_cast<TVantrelContext*>(Main().GetSharedContext());
  TRenderContext renderContext = TRenderContext::Create(context, &Viewport(), {}, {});
  for (const auto& [alpha, expected] : {std::pair{0.95f, TRGBA8{23, 13, 8, 255}}, std::pair{0.5f, TRGBA8{115, 64, 38, 255}}}) {
    SCOPED_TRACE(alpha);
    FillGBuffer({0.8f, 0.4f, 0.2f, 1}, {0, 0, 0, 0}, 0, {0, 0, 0});
    FillTexture(gi->GetOutputTexture(), {0.1f, 0.1f, 0.1f, alpha});
    composite->SetGlobalIllumPass(gi);
    Main().BeginMainRenderPass(TMatrix3D::Identity(), 45);
    context->AttachTextureToDefaultBuffer(Output(), TRenderTarget::Color_0);
    auto pass = composite->CreateRenderPassInstance();
    context->ExecuteRenderPass(pass.get(), &renderContext);
    Main().EndMainRenderPass();
    EXPECT_EQ(composite->Material()->ShaderData().GlobalIllum, 1);
    EXPECT_TRUE(Near(TexturePixel(Output(), 32, 32), expected));
  }
  gi->Free();
  EXPECT_EQ(composite->GetGlobalIllumPass(), nullptr);
  CompositeFrame();
  EXPECT_EQ(composite->Material()->ShaderData().GlobalIllum, 0);
  EXPECT_EQ(composite->Material()->ShaderData().VoxelCenter, (TPoint3D{0, 0, 0}));
}

TEST_F(CompositeGL, AtMostEightEnabledLightsAreCopiedInOrder) {
  std::vector<TLight*> lights;
  for (int index = 0; index < 10; ++index) {
    TLight* light = New<TLight>(&Root());
    light->SetColor(0xFF000000u | uint32_t(index + 1));
    light->SetEnabled(index != 2);
    Viewport().AddLight(light);
    lights.push_back(light);
  }
  CompositeFrame();
  const TCompositeShaderData& data = DeferredComposite()->Material()->ShaderData();
  EXPECT_EQ(data.NumberOfLights, 8);
  const int expectedOrder[] = {1, 2, 4, 5, 6, 7, 8, 9};
  for (int index = 0; index < 8; ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(data.Lights[index].Enabled, 1);
    EXPECT_NEAR(data.Lights[index].Diffuse.B * 255, expectedOrder[index], 0.01);
  }
  for (TLight* light : lights)
    Viewport().RemoveLight(light);
}

// White above the line y = 16 + x / 3 (rows counted from the bottom), black below.
bool EdgeWhite(int AX, int AY) { return 3 * (AY - 16) > AX; }

void UploadAlbedo(TCompositeRenderer& AMain, const std::vector<TRGBA8>& AImage) {
  glBindTexture(GL_TEXTURE_2D, GLuint(AMain.GetAlbedoTexture()->Handle()));
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, AImage.data());
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
}

std::vector<TRGBA8> EdgeImage() {
  std::vector<TRGBA8> image(64 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      image[size_t(y) * 64 + size_t(x)] = EdgeWhite(x, y) ? TRGBA8{255, 255, 255, 255} : TRGBA8{0, 0, 0, 255};
  return image;
}

TEST_F(CompositeGL, TwoIterationsFilterTheFirstIterationsImage) {
  FillGBuffer({0, 0, 0, 1}, {0, 0, 0, 0}, 0, {0, 0, 0});
  Viewport().SetFXAA(1);
  UploadAlbedo(Main(), EdgeImage());
  CompositeFrame();
  const std::vector<TRGBA8> once = ReadTexture(FXAA()->GetFinalOutputTexture());
  UploadAlbedo(Main(), once);
  CompositeFrame();
  const std::vector<TRGBA8> onceAgain = ReadTexture(FXAA()->GetFinalOutputTexture());
  Viewport().SetFXAA(2);
  UploadAlbedo(Main(), EdgeImage());
  CompositeFrame();
  const std::vector<TRGBA8> twice = ReadTexture(FXAA()->GetFinalOutputTexture());
  ASSERT_EQ(twice.size(), onceAgain.size());
  int worst = 0;
  for (size_t index = 0; index < twice.size(); ++index)
    for (auto [a, b] : {std::pair{twice[index].R, onceAgain[index].R}, std::pair{twice[index].G, onceAgain[index].G},
                        std::pair{twice[index].B, onceAgain[index].B}})
      worst = std::max(worst, std::abs(int(a) - int(b)));
  EXPECT_LE(worst, 1);
  EXPECT_NE(once, twice) << "the second iteration changed the image";
}

TEST_F(CompositeGL, FXAASoftensAHardEdge) {
  Viewport().SetFXAA(1);
  FillGBuffer({0, 0, 0, 1}, {0, 0, 0, 0}, 0, {0, 0, 0});
  const auto white = EdgeWhite;
  UploadAlbedo(Main(), EdgeImage());
  CompositeFrame();
  const auto pixels = ReadTexture(FXAA()->GetFinalOutputTexture());
  const auto at = [&](int AX, int AY) { return int(pixels[size_t(AY) * 64 + size_t(AX)].R); };
  int rows = 0;
  for (int y = 1; y < 63; ++y) {
    SCOPED_TRACE(testing::Message() << "row " << y);
    int between = 0, largestStep = 0;
    bool crosses = false;
    for (int x = 1; x < 63; ++x) {
      bool flat = true;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          flat = flat && white(x + dx, y + dy) == white(x, y);
      if (flat)
        EXPECT_EQ(at(x, y), white(x, y) ? 255 : 0) << "x " << x;
      crosses = crosses || white(x, y) != white(x + 1, y);
      between += at(x, y) > 25 && at(x, y) < 230;
      largestStep = std::max(largestStep, std::abs(at(x + 1, y) - at(x, y)));
    }
    if (!crosses || y < 18 || y > 35)
      continue;
    ++rows;
    EXPECT_GE(between, 2);
    EXPECT_LT(largestStep, 128);
  }
  EXPECT_GT(rows, 10);
}

TEST_F(CompositeGL, APassRenderersFXAAHasNoRendererAndRaisesNothing) {
  TPlainPass* pass = static_cast<TPlainPass*>(
      TVantrelRenderPassController::CreateController(TPlainPass::StaticClass(), &Root(), "P"));
  pass->SetViewport(&Viewport());
  auto* renderer = dynamic_cast<TCompositeRenderer*>(pass->GetRenderer());
  ASSERT_NE(renderer, nullptr);
  TVantrelRenderPassController* fxaa = renderer->GetInternalController(TInternalPassKind::FXAA);
  ASSERT_NE(fxaa, nullptr);
  EXPECT_EQ(fxaa->GetRenderer(), nullptr);
  EXPECT_EQ(fxaa->Owner(), pass);
  TRenderContext context = TRenderContext::Create(renderer->GetSharedContext(), &Viewport(), {}, {});
  renderer->BeginMainRenderPass(TMatrix3D::Identity(), 45);
  EXPECT_NO_THROW(renderer->Composite(&context));
  renderer->EndMainRenderPass();
  EXPECT_EQ(fxaa->GetFrameCount(), 0u);
  EXPECT_EQ(ContextShared().SceneCount.load(), 0);
}

} // namespace

// The rectangle passes that end a frame draw in 2D; each scene phase of the next frame projects
// through the camera again, or every frame after the first would show only the background.
TEST_F(CompositeGL, TheNextFramesPhasesProjectThroughTheCamera) {
  struct TCase {
    const char* Name;
    bool (TRenderer::*Begin)();
    void (TRenderer::*End)();
  } cases[] = {{"opaque", &TRenderer::BeginOpaqueRendering, &TRenderer::EndOpaqueRendering},
               {"translucent", &TRenderer::BeginTranslucentRendering, &TRenderer::EndTranslucentRendering}};
  TContext3D* context = Main().GetSharedContext();
  const TMatrix3D camera = TMatrix3D::CreateTranslation({0, 0, -10});
  for (int32_t fxaa : {0, 1}) {
    Viewport().SetFXAA(fxaa);
    for (const TCase& c : cases) {
      SCOPED_TRACE(Format("%s, FXAA %d", c.Name, fxaa));
      CompositeFrame();
      ASSERT_TRUE(context->CurrentStates().Contains(TContextState::cs2DScene));
      Main().BeginMainRenderPass(camera, 45);
      context->SetMatrix(TMatrix3D::Identity());
      ASSERT_TRUE((Main().*c.Begin)());
      EXPECT_TRUE(context->CurrentStates().Contains(TContextState::cs3DScene));
      EXPECT_EQ(context->CurrentModelViewProjectionMatrix(), camera * context->CurrentProjectionMatrix());
      (Main().*c.End)();
      Main().EndMainRenderPass();
    }
  }
}
