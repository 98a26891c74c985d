// The blur pass on llvmpipe: its three filters on uniform and single-texel inputs, the ping-pong
// iterations and their targets, the uniforms it sets, its settings, its shader texts and the
// resources it keeps; the emissive blur inside the composite renderer's frame.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "context/Vantrel.Context.h"
#include "pass_textures.h"
#include "rendering/Vantrel.Controller.Passes.CustomBlur.h"
#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"
#include "rendering/Vantrel.Controller.Passes.EmissiveBlur.h"
#include "rendering_fixture.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace rtest {

// A blur pass drawing into RGBA16F targets, so the tests read unquantised values.
class TFloatBlurPass : public TVantrelRenderPassBlur {
  RTL_CLASS(TFloatBlurPass, TVantrelRenderPassBlur)
public:
  explicit TFloatBlurPass(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassBlur(AOwner, std::move(AId)) {}

protected:
  void DoCreateCompositeTexture(TObject*, const TPoint& ASize, float,
                                TVantrelTextureBitmap*& ATexture) override {
    ATexture = MakeFloatTexture(ASize.X, ASize.Y, TPixelFormatEx::RGBA16F, {}).release();
  }
};
RTL_DEFINE_CLASS(TFloatBlurPass, "Tests.Rendering")

} // namespace rtest

namespace {

using namespace rtest;

constexpr int Size = 64;

// The fast kernel's weights on the offsets -9..9.
constexpr double FastWeight[19] = {0.0388725400, 0.0431734808, 0.0473619401, 0.0513192490, 0.0549249202,
                                   0.0580626540, 0.0606265292, 0.0625268966, 0.0636955872, 0.0388725400,
                                   0.0636955872, 0.0625268966, 0.0606265292, 0.0580626540, 0.0549249202,
                                   0.0513192490, 0.0473619401, 0.0431734808, 0.0388725400};

// The Gaussian weights on the offsets -17..17, normalised.
std::array<double, 35> GaussWeights() {
  const auto gauss = [](double x) { return std::exp(-(x * x) / (2.0 * 49.0)); };
  std::array<double, 35> weights{};
  double sum = 0;
  for (int k = -17; k <= 17; ++k)
    sum += weights[size_t(k + 17)] = gauss(k - 0.5) + gauss(k + 0.5);
  for (double& weight : weights)
    weight /= sum;
  return weights;
}

std::vector<float> Uniform(float AValue) {
  std::vector<float> data(size_t(Size) * Size * 4);
  for (size_t index = 0; index < data.size(); index += 4)
    data[index] = data[index + 1] = data[index + 2] = AValue, data[index + 3] = 1;
  return data;
}

std::vector<float> Impulse() {
  std::vector<float> data(size_t(Size) * Size * 4, 0.0f);
  data[(size_t(32) * Size + 32) * 4] = 1;
  return data;
}

struct TMoments {
  double Mass = 0, X = 0, Y = 0;
};

// Mass and centroid of the red channel, texel centres at i + 0.5.
TMoments MomentsOf(const std::vector<float>& ATexels) {
  TMoments result;
  for (int y = 0; y < Size; ++y)
    for (int x = 0; x < Size; ++x) {
      const double value = Texel(ATexels, Size, x, y, 0);
      result.Mass += value;
      result.X += value * (x + 0.5);
      result.Y += value * (y + 0.5);
    }
  result.X /= result.Mass;
  result.Y /= result.Mass;
  return result;
}

class BlurGL : public RenderingGL {
protected:
  void SetUp() override {
    RenderingGL::SetUp();
    FInput = static_cast<TInputPassDouble*>(
        TVantrelRenderPassController::CreateController(TInputPassDouble::StaticClass(), &Viewport(), ""));
  }
  void TearDown() override {
    FInputTexture.reset();
    RenderingGL::TearDown();
  }
  TVantrelContext& MainContext() { return *dynamic_cast<TVantrelContext*>(Viewport().Context()); }
  TFloatBlurPass* MakeBlur(TPassBlurType AType, float AAmount, const std::string& AId = {}) {
    auto* pass = static_cast<TFloatBlurPass*>(
        TVantrelRenderPassController::CreateController(TFloatBlurPass::StaticClass(), &Viewport(), AId));
    pass->SetBlurType(AType);
    pass->SetBlurAmount(AAmount);
    pass->SetInputPass(FInput);
    return pass;
  }
  void SetInput(const std::vector<float>& AData, int32_t AWidth = Size, int32_t AHeight = Size) {
    FInputTexture = MakeFloatTexture(AWidth, AHeight, TPixelFormatEx::RGBA16F, AData);
    FInput->Output = FInputTexture->Texture();
  }
  // One run of the pass's entry through the viewport context.
  void Run(TVantrelRenderPassController& APass) {
    TRenderContext context = TRenderContext::Create(&MainContext(), &Viewport(), {}, {});
    auto instance = APass.CreateRenderPassInstance();
    ASSERT_NE(instance, nullptr);
    MainContext().ExecuteRenderPass(instance.get(), &context);
  }
  std::vector<float> Output(TVantrelRenderPassBlur& APass) {
    return ReadTexels(APass.GetFinalOutputTexture());
  }

  TInputPassDouble* FInput = nullptr;
  TOwned<TVantrelTextureBitmap> FInputTexture;
};

TEST_F(BlurGL, AUniformInputStaysUniformOrComesOutToneMapped) {
  SetInput(Uniform(0.5f));
  struct TCase {
    TPassBlurType Type;
    float Rgb, Alpha, Tolerance;
  } cases[] = {{TPassBlurType::FastBlur, 0.5f, 1.0f, 1e-3f},
               {TPassBlurType::GaussianBlur, 0.5f, 1.0f, 1e-3f},
               // toneMap(0.5 * 257 / 241); alpha 257 / 241, not tone-mapped.
               {TPassBlurType::RadialBlur, 0.8146f, 1.0664f, 2e-3f}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Type));
    TFloatBlurPass* pass = MakeBlur(c.Type, 3);
    Run(*pass);
    const std::vector<float> texels = Output(*pass);
    int wrong = 0;
    for (int y = 0; y < Size; ++y)
      for (int x = 0; x < Size; ++x)
        for (int channel = 0; channel < 4; ++channel)
          if (std::fabs(Texel(texels, Size, x, y, channel) - (channel == 3 ? c.Alpha : c.Rgb)) > c.Tolerance)
            ++wrong;
    EXPECT_EQ(wrong, 0) << Texel(texels, Size, 0, 0, 0) << " " << Texel(texels, Size, 32, 32, 3);
    pass->Free();
  }
}

// The centred kernels: the product of the weights around the texel, centroid on the texel, mass 1.
TEST_F(BlurGL, ASingleTexelSpreadsByTheCentredKernels) {
  SetInput(Impulse());
  const std::array<double, 35> gauss = GaussWeights();
  struct TCase {
    TPassBlurType Type;
    std::function<double(int)> Weight;
  } cases[] = {{TPassBlurType::FastBlur, [](int i) { return FastWeight[i + 9]; }},
               {TPassBlurType::GaussianBlur, [&](int i) { return gauss[size_t(i + 17)]; }},
               {TPassBlurType::RadialBlur, nullptr}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Type));
    TFloatBlurPass* pass = MakeBlur(c.Type, 1);
    Run(*pass);
    const std::vector<float> texels = Output(*pass);
    const TMoments moments = MomentsOf(texels);
    EXPECT_NEAR(moments.X, 32.5, 0.02);
    EXPECT_NEAR(moments.Y, 32.5, 0.02);
    if (c.Weight) {
      EXPECT_NEAR(moments.Mass, 1.0, 1e-3);
      for (int j = -3; j <= 3; ++j)
        for (int i = -3; i <= 3; ++i) {
          const double expected = c.Weight(i) * c.Weight(j);
          EXPECT_NEAR(Texel(texels, Size, 32 + i, 32 + j, 0), expected, expected * 0.02) << i << "," << j;
        }
    }
    pass->Free();
  }
  EXPECT_NEAR(gauss[17], 0.0575701, 1e-6);
}

// Iteration i draws into the composite texture when (N - 1 - i) is even; none samples its target.
TEST_F(BlurGL, PingPongIterationsAlternateShadersAndTargets) {
  SetInput(Impulse());
  TFloatBlurPass* pass = MakeBlur(TPassBlurType::FastBlur, 1);
  struct TRecorder : TObject {
    TFloatBlurPass* Pass = nullptr;
    std::vector<std::string> Shaders;
    int SelfReads = 0;
    void EndRender(TObject*, TContext3D*, int32_t, TRenderPass*) {
      Shaders.push_back(Pass->Material()->LastPixelShader()->Name());
      GLint target = 0;
      glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                            GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &target);
      if (GLuint(target) == GLuint(Pass->Material()->InputTexture()->Handle()))
        ++SelfReads;
    }
  } recorder;
  recorder.Pass = pass;
  pass->OnEndRender = TRenderPassEvent(&recorder, &TRecorder::EndRender);
  const std::string address = Format("%d", reinterpret_cast<intptr_t>(pass->Material()));
  std::vector<std::vector<float>> images;
  for (int count = 1; count <= 4; ++count) {
    SCOPED_TRACE(count);
    recorder.Shaders.clear();
    pass->SetIterations(count);
    Run(*pass);
    ASSERT_EQ(int(recorder.Shaders.size()), count);
    for (int index = 0; index < count; ++index)
      EXPECT_EQ(recorder.Shaders[size_t(index)],
                (index % 2 == 0 ? "CustomFastBlurH-" : "CustomFastBlurV-") + address + ".fps");
    images.push_back(Output(*pass));
  }
  EXPECT_EQ(recorder.SelfReads, 0);
  pass->OnEndRender = {};
  // Three iterations end with the horizontal step of the base input alone, like one iteration.
  EXPECT_EQ(images[2], images[0]);
  // Two iterations blur both ways: the vertical neighbour carries W(0) * W(1).
  EXPECT_NEAR(Texel(images[1], Size, 32, 33, 0), FastWeight[9] * FastWeight[10], 1e-4);
  EXPECT_NEAR(Texel(images[0], Size, 32, 33, 0), 0.0, 1e-6);
}

TEST_F(BlurGL, UniformsFollowTheAmountAndTheInput) {
  struct TCase {
    const char* Name;
    TPassBlurType Type;
    float Amount;
    int32_t Width, Height;
    const char* Uniform;
    std::array<float, 2> Expected;
  } cases[] = {
      {"fast, amount 0", TPassBlurType::FastBlur, 0, Size, Size, "_Width", {32, 0}},
      {"radial, amount 0", TPassBlurType::RadialBlur, 0, Size, Size, "_Radius", {0, 0}},
      {"fast 640 x 480", TPassBlurType::FastBlur, 3, 640, 480, "_Width", {640.0f / 3, 0}},
      {"Gauss 640 x 480", TPassBlurType::GaussianBlur, 3, 640, 480, "_Width", {640.0f / 3, 0}},
      {"radial 640 x 480", TPassBlurType::RadialBlur, 4, 640, 480, "_Radius", {16.0f / 640, 16.0f / 480}}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetInput(std::vector<float>(size_t(c.Width) * size_t(c.Height) * 4, 0.5f), c.Width, c.Height);
    // The targets have the input's size, so the odd step's input (the even step's target) has it too.
    Viewport().SetSize(float(c.Width), float(c.Height));
    TFloatBlurPass* pass = MakeBlur(c.Type, c.Amount);
    struct TRecorder : TObject {
      const char* Uniform = nullptr;
      TBlurMaterial* Material = nullptr;
      std::vector<std::array<float, 2>> Values;
      void EndRender(TObject*, TContext3D*, int32_t, TRenderPass*) {
        TShaderProgram* used =
            TVantrelContext::GetProgram(Material->VertexShader(), Material->LastPixelShader());
        const GLuint program = used ? GLuint(used->Prog()) : 0;
        const GLint location = program ? glGetUniformLocation(program, Uniform) : -1;
        float values[4] = {-1, 0, 0, 0};
        if (location >= 0)
          glGetUniformfv(program, location, values);
        Values.push_back({values[0], values[1]});
      }
    } recorder;
    recorder.Uniform = c.Uniform;
    recorder.Material = pass->Material();
    pass->OnEndRender = TRenderPassEvent(&recorder, &TRecorder::EndRender);
    Run(*pass);
    pass->OnEndRender = {};
    // Both ping-pong steps take the dimension of BlurMode.
    ASSERT_EQ(int(recorder.Values.size()), pass->GetIterations());
    for (const auto& values : recorder.Values) {
      EXPECT_NEAR(values[0], c.Expected[0], 1e-4);
      EXPECT_NEAR(values[1], c.Expected[1], 1e-6);
    }
    pass->Free();
  }
}

TEST_F(BlurGL, SettingsTable) {
  TFloatBlurPass* pass = MakeBlur(TPassBlurType::RadialBlur, 3);
  EXPECT_EQ(pass->Get_Type(), TRenderPassType::Post);
  EXPECT_EQ(pass->GetMethod(), TRenderPassMethod::RectToFBO);
  EXPECT_TRUE(pass->GetPingPongMode());
  EXPECT_FALSE(pass->Shader()->Stored());
  EXPECT_EQ(pass->GetExposure(), 1.0f);
  struct TCase {
    const char* Name;
    std::function<void()> Act;
    int32_t Iterations;
  } cases[] = {
      {"fast sets 2", [&] { pass->SetBlurType(TPassBlurType::FastBlur); }, 2},
      {"fast takes 5", [&] { pass->SetIterations(5); }, 5},
      {"radial sets 1", [&] { pass->SetBlurType(TPassBlurType::RadialBlur); }, 1},
      {"radial keeps 1", [&] { pass->SetIterations(5); }, 1},
      {"Gauss sets 2", [&] { pass->SetBlurType(TPassBlurType::GaussianBlur); }, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Act();
    EXPECT_EQ(pass->GetIterations(), c.Iterations);
  }
  for (const auto& [value, expected] :
       {std::pair{20.0f, 15.0f}, std::pair{-1.0f, 0.0f}, std::pair{7.5f, 7.5f}}) {
    pass->SetBlurAmount(value);
    EXPECT_EQ(pass->GetBlurAmount(), expected) << value;
  }
}

TEST_F(BlurGL, AnEmptyInputRaisesAtRunTimeOnly) {
  TFloatBlurPass* pass = MakeBlur(TPassBlurType::FastBlur, 3);
  FInput->Output = nullptr;
  try {
    Run(*pass);
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_NE(E.Message().find(SBlurInputEmpty), std::string::npos) << E.Message();
  }
  ContextShared().DesignTime = true;
  EXPECT_NO_THROW(Run(*pass));
  ContextShared().DesignTime = false;
}

// Without an input pass a Post blur reads the previous renderer's image, not its own target.
TEST_F(BlurGL, WithoutAnInputPassThePreviousRendererIsBlurred) {
  Viewport().SetRendererType(TRendererType::LegacyRenderer);
  Viewport().SetSize(63, 63);
  Viewport().SetSize(64, 64);
  Viewport().SetColor(0xFF808080);
  TFloatBlurPass* pass = MakeBlur(TPassBlurType::FastBlur, 3, "Blur");
  pass->SetInputPass(nullptr);
  pass->UpdateRenderPass();
  RunPostFrame();
  const std::vector<float> texels = Output(*pass);
  EXPECT_NEAR(Texel(texels, Size, 32, 32, 0), 128.0 / 255.0, 2e-3);
  EXPECT_NEAR(Texel(texels, Size, 0, 63, 1), 128.0 / 255.0, 2e-3);
}

TEST_F(BlurGL, GoldenShaderTexts) {
  EXPECT_EQ(FormatKernelNumber(-9), "-9.00000000E+000");
  EXPECT_EQ(FormatKernelNumber(0), "0.00000000E+000");
  EXPECT_EQ(FormatKernelNumber(0.03887254), "3.88725400E-002");
  EXPECT_EQ(FormatKernelNumber(123.5), "1.23500000E+002");
  const std::string texts[] = {TBlurMaterial::VertexShaderText(),
                               TBlurMaterial::RadialShaderText(),
                               TBlurMaterial::FastShaderText(TPassBlurMode::Horizontal),
                               TBlurMaterial::FastShaderText(TPassBlurMode::Vertical),
                               TBlurMaterial::GaussShaderText(TPassBlurMode::Horizontal),
                               TBlurMaterial::GaussShaderText(TPassBlurMode::Vertical)};
  for (const std::string& text : texts) {
    EXPECT_EQ(text.rfind("#version 430\r\n\r\n\r\n", 0), 0u);
    for (char c : text)
      ASSERT_LT(static_cast<unsigned char>(c), 128);
  }
  EXPECT_NE(texts[1].find(
                "uniform sampler2D _Input;\r\nuniform vec2 _Radius;\r\nuniform float _Exposure;\r\n\r\n"
                "in vec4 v_Position;\r\nin vec4 TEX0;\r\nlayout (location = 0) out vec4 o_FragColor;\r\n"),
            std::string::npos);
  for (const char* line :
       {"float Pi = 6.28318530718;", "float l_Directions = 32.0;", "float l_Quality = 8.0;"})
    EXPECT_NE(texts[1].find(line), std::string::npos) << line;
  const std::string fast = texts[2];
  EXPECT_NE(fast.find("uniform sampler2D _Input;\r\nuniform float _Width;\r\n\r\nin vec4 v_Position;\r\n"),
            std::string::npos);
  EXPECT_NE(
      fast.find(
          "  o_FragColor = vec4(0.0);\r\n"
          "  o_FragColor += tex2D(_Input, max(min(TEX0.xy + vec2(-9.00000000E+000 / _Width, 0.0), 1.0), "
          "0.0)) * 3.88725400E-002;\r\n"),
      std::string::npos);
  EXPECT_NE(fast.find("vec2(0.00000000E+000 / _Width, 0.0), 1.0), 0.0)) * 3.88725400E-002;"),
            std::string::npos);
  EXPECT_NE(texts[3].find("vec2(0.0, 9.00000000E+000 / _Width)"), std::string::npos);
  EXPECT_NE(texts[4].find("GaussianBlur(_Input, pinfo, 7.0, vec2(1.0, 0.0))"), std::string::npos);
  EXPECT_NE(texts[5].find("GaussianBlur(_Input, pinfo, 7.0, vec2(0.0, 1.0))"), std::string::npos);

  TFloatBlurPass* pass = MakeBlur(TPassBlurType::RadialBlur, 3);
  TBlurMaterial* material = pass->Material();
  const std::string address = Format("%d", reinterpret_cast<intptr_t>(material));
  EXPECT_EQ(material->VertexShader()->Name(), "CustomBlur-" + address + ".fvs");
  EXPECT_EQ(material->PixelShader()->Name(), "CustomRadialBlurH-" + address + ".fps");
  EXPECT_EQ(material->FastBlurH()->Name(), "CustomFastBlurH-" + address + ".fps");
  EXPECT_EQ(material->FastBlurV()->Name(), "CustomFastBlurV-" + address + ".fps");
  EXPECT_EQ(material->GaussBlurH()->Name(), "CustomGaussBlurH-" + address + ".fps");
  EXPECT_EQ(material->GaussBlurV()->Name(), "CustomGaussBlurV-" + address + ".fps");
  const auto names = [](const TContextShader* AShader) {
    std::vector<std::string> result;
    for (const auto& variable : AShader->GetSourceByArch(TContextShaderArch::GLSL)->Variables)
      result.push_back(variable.Name);
    return result;
  };
  EXPECT_EQ(names(material->PixelShader()), (std::vector<std::string>{"Input", "Radius", "Exposure"}));
  EXPECT_EQ(names(material->GaussBlurV()), (std::vector<std::string>{"Input", "Width"}));
  EXPECT_EQ(names(material->VertexShader()), (std::vector<std::string>{"ModelViewProjMatrix"}));
}

// ---- Emissive blur ------------------------------------------------------------------------------------

void FillTexture(const TTexture* ATexture, std::array<float, 4> AColor) {
  GLint previous = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, GLuint(ATexture->Handle()),
                         0);
  const GLenum buffer = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &buffer);
  glClearBufferfv(GL_COLOR, 0, AColor.data());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(previous));
  glDeleteFramebuffers(1, &fbo);
}

class EmissiveBlurGL : public RenderingGL {
protected:
  TCompositeRenderer& Main() { return *dynamic_cast<TCompositeRenderer*>(Viewport().MainPassRenderer()); }
  TVantrelRenderPassEmissiveBlur* Blur() {
    return dynamic_cast<TVantrelRenderPassEmissiveBlur*>(
        Main().GetInternalController(TInternalPassKind::EmissiveBlur));
  }
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
  void FillGBuffer() {
    FillTexture(Main().GetAlbedoTexture(), {0.2f, 0.2f, 0.2f, 1});
    FillTexture(Main().GetTranslucentAlbedoTexture(), {0, 0, 0, 0});
    FillTexture(Main().GetAlphaTexture(), {0, 0, 0, 0});
    FillTexture(Main().GetEmissiveTexture(), {0.2f, 0.2f, 0.2f, 1});
  }
};

TEST_F(EmissiveBlurGL, TheBlurredEmissiveIsAddedByTheComposite) {
  Viewport().SetFXAA(0);
  for (const auto& [amount, expected] : {std::pair{0, uint8_t(51)}, std::pair{2, uint8_t(203)}}) {
    SCOPED_TRACE(amount);
    Viewport().SetEmissiveBlur(amount);
    FillGBuffer();
    CompositeFrame();
    const auto pixels = ReadTexture(Main().GetCompositeTexture()->Texture());
    int wrong = 0;
    for (const auto& pixel : pixels)
      if (!Near(pixel, {expected, expected, expected, 255}))
        ++wrong;
    EXPECT_EQ(wrong, 0) << int(pixels[0].R);
  }
  TVantrelRenderPassEmissiveBlur* blur = Blur();
  ASSERT_NE(blur, nullptr);
  EXPECT_TRUE(blur->IsInternalRenderPass());
  EXPECT_EQ(blur->GetBlurType(), TPassBlurType::RadialBlur);
  EXPECT_EQ(blur->GetIterations(), 1);
  EXPECT_EQ(blur->GetBlurAmount(), 2.0f);
  EXPECT_EQ(blur->GetEmissiveTexture(), Main().GetEmissiveTexture());
  Viewport().SetEmissiveBlur(5);
  EXPECT_EQ(blur->GetBlurAmount(), 5.0f) << "the renderer reruns the binding's configuration";
  auto* context = dynamic_cast<TVantrelContext*>(Main().GetSharedContext());
  TRenderPass* entry = nullptr;
  EXPECT_FALSE(context->GetRenderPasses() && context->GetRenderPasses()->TryGetValue(blur->GetId(), entry));
}

// Run on its own, a newly written texture is what the next frame blurs.
TEST_F(EmissiveBlurGL, ANewEmissiveTextureIsBlurredNext) {
  Viewport().SetFXAA(0);
  Viewport().SetEmissiveBlur(1);
  FillGBuffer();
  CompositeFrame();
  TVantrelRenderPassEmissiveBlur* blur = Blur();
  ASSERT_NE(blur, nullptr);
  const std::vector<float> dark(size_t(Size) * Size * 4, 0.0f);
  const std::vector<float> bright(size_t(Size) * Size * 4, 0.5f);
  auto first = MakeFloatTexture(Size, Size, TPixelFormatEx::RGBA16F, dark);
  auto second = MakeFloatTexture(Size, Size, TPixelFormatEx::RGBA16F, bright);
  auto* context = dynamic_cast<TVantrelContext*>(Main().GetSharedContext());
  TRenderContext renderContext = TRenderContext::Create(context, &Viewport(), {}, {});
  auto instance = blur->CreateRenderPassInstance();
  for (auto* texture : {first.get(), second.get()}) {
    blur->SetEmissiveTexture(texture->Texture());
    context->ExecuteRenderPass(instance.get(), &renderContext);
  }
  const auto pixel = TexturePixel(blur->GetFinalOutputTexture(), 32, 32);
  EXPECT_GT(pixel.R, 150) << "the second texture was blurred";
}

TEST_F(EmissiveBlurGL, RadiusFollowsTheRendererSetting) {
  Viewport().SetFXAA(0);
  Viewport().SetSize(640, 480);
  Viewport().SetEmissiveBlur(4);
  FillGBuffer();
  CompositeFrame();
  TVantrelRenderPassEmissiveBlur* blur = Blur();
  ASSERT_NE(blur, nullptr);
  TShaderProgram* program =
      TVantrelContext::GetProgram(blur->Material()->VertexShader(), blur->Material()->PixelShader());
  ASSERT_NE(program, nullptr);
  float values[2] = {};
  glGetUniformfv(GLuint(program->Prog()), glGetUniformLocation(GLuint(program->Prog()), "_Radius"), values);
  EXPECT_NEAR(values[0], 16.0f / 640, 1e-6);
  EXPECT_NEAR(values[1], 16.0f / 480, 1e-6);
}

// Resizes re-create the internal controllers and the pass renderers: programs and shaders stay.
TEST_F(EmissiveBlurGL, ResizesLeaveNoProgramsBehind) {
  Viewport().SetFXAA(0);
  Viewport().SetEmissiveBlur(2);
  auto* blur =
      TVantrelRenderPassController::CreateController(TVantrelRenderPassBlur::StaticClass(), &Viewport(), "");
  static_cast<TVantrelRenderPassBlur*>(blur)->SetBlurType(TPassBlurType::FastBlur);
  FillGBuffer();
  CompositeFrame();
  const int programs = TVantrelContext::ProgramCount();
  const int shaders = TShaderManager::Count();
  for (int step = 0; step < 10; ++step) {
    Viewport().SetSize(float(60 + step), 64);
    FillGBuffer();
    CompositeFrame();
  }
  EXPECT_EQ(TVantrelContext::ProgramCount(), programs);
  EXPECT_EQ(TShaderManager::Count(), shaders);
}

} // namespace
