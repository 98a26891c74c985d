// The post-processing pass on the real context: its images, chaining, resizing, the time values,
// shader rebuilds and the design-time failure path.

#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <string>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.PostFX.h"
#include "rendering_fixture.h"
#include "rtl/stringlist.h"
#include "support/fake_clock.h"
#include "support/logging_form_recorder.h"

namespace {

using namespace rtest;
using vtest::TRGBA8;

constexpr const char* InvertShader =
    "vec3 SurfaceShader(inout TLocals DATA){\n"
    "return vec3(1.0)-tex2D(_RenderedTexture, DATA.TexCoord0.xy).rgb;\n"
    "}";
// The same length as InvertShader: only the content tells them apart.
constexpr const char* CopyShaderSameLength =
    "vec3 SurfaceShader(inout TLocals DATA){\n"
    "return vec3(0.0)+tex2D(_RenderedTexture, DATA.TexCoord0.xy).rgb;\n"
    "}";
constexpr const char* HalfGreenNoBlueShader =
    "vec3 SurfaceShader(inout TLocals DATA){\n"
    "return tex2D(_RenderedTexture, DATA.TexCoord0.xy).rgb * vec3(1.0, 0.5, 0.0);\n"
    "}";
constexpr const char* BrokenShader = "vec3 SurfaceShader(inout TLocals DATA){ return nonsense; }";

// The main image: the legacy renderer clears to (0.2, 0.4, 0.6).
constexpr TRGBA8 MainColor{51, 102, 153, 255};

class PostFXGL : public RenderingGL {
protected:
  void SetUp() override {
    RenderingGL::SetUp();
    Viewport().SetRendererType(TRendererType::LegacyRenderer);
    Viewport().SetSize(63, 63);
    Viewport().SetSize(64, 64);
    Viewport().SetColor(0xFF336699);
  }

  TVantrelRenderPassPostFX* MakePass(const std::string& AId, const char* AShader = nullptr) {
    auto* pass = static_cast<TVantrelRenderPassPostFX*>(
        TVantrelRenderPassController::CreateController(TVantrelRenderPassPostFX::StaticClass(), &Root(), AId));
    if (AShader)
      SetShader(pass, AShader);
    pass->SetViewport(&Viewport());
    return pass;
  }
  static void SetShader(TVantrelRenderPassPostFX* APass, const char* AText) {
    TStringList lines;
    lines.SetText(AText);
    APass->SetSurfaceShader(&lines);
  }
  static TPostFXMaterial& Material(TVantrelRenderPassPostFX* APass) {
    return *dynamic_cast<TPostFXMaterial*>(APass->Shader()->GetMaterial());
  }
  static void ExpectCorners(TTexture* ATexture, TRGBA8 AExpected) {
    ASSERT_NE(ATexture, nullptr);
    const int last = ATexture->Width() - 1;
    for (auto [x, y] : {std::pair{0, 0}, std::pair{last, 0}, std::pair{0, last}, std::pair{last, last}}) {
      SCOPED_TRACE(testing::Message() << x << ", " << y);
      EXPECT_TRUE(Near(TexturePixel(ATexture, x, y), AExpected));
    }
  }
};

TEST_F(PostFXGL, DefaultsAndTheDefaultSurfaceCopiesTheInput) {
  TVantrelRenderPassPostFX* pass = MakePass("copy");
  EXPECT_EQ(pass->Get_Type(), TRenderPassType::Post);
  EXPECT_EQ(pass->GetMethod(), TRenderPassMethod::RectToFBO);
  EXPECT_EQ(pass->GetRendererFlags(),
            (TRendererFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                            TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum}));
  EXPECT_EQ(pass->GetSurfaceShader()->GetText(), std::string(SPostFXDefaultSurfaceShader));
  EXPECT_FALSE(pass->Shader()->Stored());
  RunPostFrame();
  ExpectCorners(pass->GetOutputTexture(), MainColor);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(PostFXGL, TheBlendTableIsRestoredAfterEachIteration) {
  TVantrelRenderPassPostFX* pass = MakePass("blend", InvertShader);
  RunPostFrame();
  auto* context = dynamic_cast<TVantrelContext*>(pass->GetRenderer()->GetSharedContext());
  ASSERT_NE(context, nullptr);
  TBlendSettings table = context->GetBlendings();
  table[3] = TBlendSetting::Create(true);
  context->SetBlendings(table);
  RunPostFrame();
  EXPECT_EQ(context->GetBlendings()[3].Enabled, true);
  EXPECT_EQ(context->GetBlendings()[0].Enabled, table[0].Enabled);
  ExpectCorners(pass->GetOutputTexture(), {204, 153, 102, 255});
}

TEST_F(PostFXGL, PassesChainInRegistrationOrder) {
  struct TCase {
    const char* Name;
    const char* First;
    const char* Second;
    TRGBA8 Expected;
  };
  const TCase cases[] = {
      {"invert", InvertShader, nullptr, {204, 153, 102, 255}},
      // Each pass reads the one before it: (1 - r, (1 - g) / 2, 0).
      {"invert, then (1, 0.5, 0)", InvertShader, HalfGreenNoBlueShader, {204, 77, 0, 255}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVantrelRenderPassPostFX* first = MakePass("first", c.First);
    TVantrelRenderPassPostFX* second = c.Second ? MakePass("second", c.Second) : nullptr;
    RunPostFrame();
    TVantrelRenderPassPostFX* last = second ? second : first;
    EXPECT_EQ(Viewport().MainPassRenderer()->GetAttachedRenderer(), last->GetRenderer());
    ExpectCorners(last->GetOutputTexture(), c.Expected);
    if (second) {
      // Smaller targets, then a frame (which registers the passes in the new main context): the
      // chain still holds.
      Viewport().SetSize(32, 32);
      Viewport().UpdateRenderPasses();
      RunPostFrame();
      ExpectCorners(second->GetOutputTexture(), c.Expected);
      EXPECT_EQ(second->GetOutputTexture()->Width(), 32);
      second->Free();
    }
    first->Free();
    Viewport().SetSize(64, 64);
  }
}

TEST_F(PostFXGL, AnEditOfTheSameLengthChangesTheImage) {
  TVantrelRenderPassPostFX* pass = MakePass("edit", InvertShader);
  RunPostFrame();
  ExpectCorners(pass->GetOutputTexture(), {204, 153, 102, 255});
  SetShader(pass, CopyShaderSameLength);
  RunPostFrame();
  ExpectCorners(pass->GetOutputTexture(), MainColor);
}

TEST_F(PostFXGL, NonAsciiReachesTheCompilerAsAQuestionMark) {
  TVantrelRenderPassPostFX* pass =
      MakePass("comment", "// caf\xC3\xA9\nvec3 SurfaceShader(inout TLocals DATA){ return vec3(1.0, 0.0, 0.0); }");
  const auto* source = Material(pass).PixelShader()->GetSourceByArch(TContextShaderArch::GLSL);
  const std::string code(source->Code.begin(), source->Code.end());
  EXPECT_NE(code.find("// caf?\r\n"), std::string::npos);
  RunPostFrame();
  ExpectCorners(pass->GetOutputTexture(), {255, 0, 0, 255});
}

TEST_F(PostFXGL, ShaderNamesCarryTheMaterialsAddress) {
  TVantrelRenderPassPostFX* pass = MakePass("names");
  TPostFXMaterial& material = Material(pass);
  EXPECT_EQ(material.VertexShader()->Name(), PostFXShaderName(&material, ".fvs"));
  EXPECT_EQ(material.PixelShader()->Name(), PostFXShaderName(&material, ".fps"));
  const auto* vertex = material.VertexShader()->GetSourceByArch(TContextShaderArch::GLSL);
  EXPECT_EQ(vertex->Variables.size(), 1u);
  EXPECT_EQ(vertex->Variables[0].Name, "MVPMatrix");
  EXPECT_EQ(vertex->Variables[0].Kind, TContextShaderVariableKind::Matrix);
  EXPECT_EQ(vertex->Variables[0].Size, 4);
  const auto* pixel = material.PixelShader()->GetSourceByArch(TContextShaderArch::GLSL);
  ASSERT_EQ(pixel->Variables.size(), 2u);
  EXPECT_EQ(pixel->Variables[0].Name, "RenderedTexture");
  EXPECT_EQ(pixel->Variables[0].Index, 0);
  EXPECT_EQ(pixel->Variables[1].Name, "MaskTexture");
  EXPECT_EQ(pixel->Variables[1].Index, 1);
}

TEST_F(PostFXGL, TimeInfo) {
  vtest::TFakeClock clock;
  TVantrelRenderPassPostFX* pass = MakePass("time");
  TPostFXMaterial& material = Material(pass);
  pass->ResetTime();
  const TVector3D created = material.ShaderData().TimeInfo;
  EXPECT_EQ(created.X, created.Y);
  EXPECT_EQ(created.Y, created.Z);
  EXPECT_EQ(created.W, 0);

  clock.Jump(1500);
  RunPostFrame();
  const TVector3D applied = material.ShaderData().TimeInfo;
  EXPECT_EQ(applied.X, created.X);
  EXPECT_EQ(applied.Z, created.Y);
  EXPECT_NEAR(applied.Y - created.Y, 1.5, 1e-5);
  EXPECT_NEAR(applied.W, 1.5, 1e-6);

  pass->ResetTime();
  const TVector3D reset = material.ShaderData().TimeInfo;
  EXPECT_EQ(reset.X, applied.Y);
  EXPECT_EQ(reset.Y, reset.X);
  EXPECT_EQ(reset.Z, reset.X);
  EXPECT_EQ(reset.W, 0);
}

TEST_F(PostFXGL, TimeStepsStayExactLongAfterBoot) {
  // The raw counter reads ten days, the process started five seconds ago.
  vtest::TFakeClock clock(int64_t(10) * 24 * 3600 * 1000);
  clock.Jump(5000);
  TVantrelRenderPassPostFX* pass = MakePass("uptime");
  RunPostFrame();
  clock.Jump(16);
  RunPostFrame();
  const TVector3D time = Material(pass).ShaderData().TimeInfo;
  EXPECT_NEAR(time.Y - time.Z, 0.016, 1e-6);
}

TEST_F(PostFXGL, DesignTimeCompileFailure) {
  vtest::TLoggingFormRecorder windows;
  ContextShared().DesignTime = true;
  struct TResetDesignTime {
    ~TResetDesignTime() { ContextShared().DesignTime = false; }
  } reset;

  // The pass's own source is never in design state: no window, and frames go on.
  TVantrelRenderPassPostFX* own = MakePass("own", BrokenShader);
  RunPostFrame();
  RunPostFrame();
  EXPECT_TRUE(windows.Calls().empty());
  own->Free();

  // A design-state source given through Shader opens one shared window and stops applying.
  TVantrelRenderPassPostFX* pass = MakePass("designed");
  auto source = TVantrelRenderPassMaterialSource::Create<TPostFXMaterialSource>(pass);
  source->SetDesigning(true);
  pass->SetShader(std::move(source));
  SetShader(pass, BrokenShader);
  RunPostFrame();
  RunPostFrame();
  ASSERT_EQ(windows.Calls().size(), 1u);
  EXPECT_EQ(windows.Calls()[0].Title, "? (TPostFXMaterialSource) - failed to compile post-fx shader ...");
  EXPECT_FALSE(windows.Calls()[0].Message.empty());
  EXPECT_TRUE(windows.Calls()[0].Reuse);
  EXPECT_TRUE(Material(pass).ErrorOnBuildingShader());
  // A new surface function leaves the failed state.
  SetShader(pass, InvertShader);
  RunPostFrame();
  EXPECT_FALSE(Material(pass).ErrorOnBuildingShader());
  ExpectCorners(pass->GetOutputTexture(), {204, 153, 102, 255});
}

TEST_F(PostFXGL, AnUnassignedMaskBindsWithoutError) {
  TVantrelRenderPassPostFX* pass = MakePass("mask",
                                            "vec3 SurfaceShader(inout TLocals DATA){\n"
                                            "return tex2D(_RenderedTexture, DATA.TexCoord0.xy).rgb + "
                                            "tex2D(_MaskTexture, DATA.TexCoord0.xy).rgb;\n"
                                            "}");
  while (glGetError() != GL_NO_ERROR) {
  }
  RunPostFrame();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  ASSERT_NE(pass->GetMaskTexture(), nullptr);
  EXPECT_TRUE(pass->GetMaskTexture()->IsEmpty());
}

} // namespace
