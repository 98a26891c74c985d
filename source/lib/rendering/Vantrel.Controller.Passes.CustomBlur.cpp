#include "rendering/Vantrel.Controller.Passes.CustomBlur.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "rtl/sysutils.h"
#include "ui/messages.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TBlurMaterial, "Vantrel.Controller.Passes.CustomBlur")
RTL_DEFINE_CLASS(TBlurMaterialSource, "Vantrel.Controller.Passes.CustomBlur")
RTL_DEFINE_CLASS(TVantrelRenderPassBlur, "Vantrel.Controller.Passes.CustomBlur")

std::string FormatKernelNumber(double AValue) {
  char buffer[48];
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), AValue, std::chars_format::scientific, 8);
  std::string text(buffer, result.ptr);
  // to_chars writes "3.88725400e-02"; the kernel texts carry "E", a sign and three digits.
  const size_t e = text.find('e');
  const std::string mantissa = text.substr(0, e);
  const char sign = text[e + 1];
  const int exponent = std::atoi(text.c_str() + e + 2);
  char digits[8];
  std::snprintf(digits, sizeof(digits), "%03d", exponent);
  return mantissa + "E" + sign + digits;
}

namespace {

constexpr const char* RadialDeclarations = "uniform sampler2D _Input;\r\n"
                                           "uniform vec2 _Radius;\r\n"
                                           "uniform float _Exposure;\r\n"
                                           "\r\n"
                                           "in vec4 v_Position;\r\n"
                                           "in vec4 TEX0;\r\n"
                                           "layout (location = 0) out vec4 o_FragColor;\r\n";

constexpr const char* KernelDeclarations = "uniform sampler2D _Input;\r\n"
                                           "uniform float _Width;\r\n"
                                           "\r\n"
                                           "in vec4 v_Position;\r\n"
                                           "in vec4 TEX0;\r\n"
                                           "layout (location = 0) out vec4 o_FragColor;\r\n";

constexpr const char* ToneMapping =
    "const float GAMMA = 2.2;\r\n"
    "const float INV_GAMMA = 1.0 / GAMMA;\r\n"
    "const mat3 ACESInputMat = mat3(0.59719, 0.07600, 0.02840, 0.35458, 0.90834, 0.13383, 0.04823, 0.01566, "
    "0.83777);\r\n"
    "const mat3 ACESOutputMat = mat3(1.60475, -0.10208, -0.00327, -0.53108, 1.10813, -0.07276, -0.07367, "
    "-0.00605, 1.07602);\r\n"
    "vec3 linearTosRGB(vec3 color){ return pow(color, vec3(INV_GAMMA)); }\r\n"
    "vec3 sRGBToLinear(vec3 srgbIn){ return vec3(pow(srgbIn.xyz, vec3(GAMMA))); }\r\n"
    "vec4 sRGBToLinear(vec4 srgbIn){ return vec4(sRGBToLinear(srgbIn.xyz), srgbIn.w); }\r\n"
    "float sFloatToLinear(float x){ return pow(x, GAMMA); }\r\n"
    "vec3 toneMapACES_Narkowicz(vec3 color){\r\n"
    "  const float A = 2.51;\r\n"
    "  const float B = 0.03;\r\n"
    "  const float C = 2.43;\r\n"
    "  const float D = 0.59;\r\n"
    "  const float E = 0.14;\r\n"
    "  return clamp((color * (A * color + B)) / (color * (C * color + D) + E), 0.0, 1.0);\r\n"
    "}\r\n"
    "vec3 RRTAndODTFit(vec3 color){\r\n"
    "  vec3 a = color * (color + 0.0245786) - 0.000090537;\r\n"
    "  vec3 b = color * (0.983729 * color + 0.4329510) + 0.238081;\r\n"
    "  return a / b;\r\n"
    "}\r\n"
    "vec3 toneMapACES_Hill(vec3 color){\r\n"
    "  color = ACESInputMat * color;\r\n"
    "  color = RRTAndODTFit(color);\r\n"
    "  color = ACESOutputMat * color;\r\n"
    "  return clamp(color, 0.0, 1.0);\r\n"
    "}\r\n"
    "vec3 toneMap(vec3 color, float exposure){\r\n"
    "  color *= exposure;\r\n"
    "  color = toneMapACES_Narkowicz(color);\r\n"
    "  return linearTosRGB(color);\r\n"
    "}\r\n";

// Integer loops, so every compiler takes exactly the 257 samples the divisor 241 assumes.
constexpr const char* RadialMain =
    "void main(){\r\n"
    "  float Pi = 6.28318530718;\r\n"
    "  float l_Directions = 32.0;\r\n"
    "  float l_Quality = 8.0;\r\n"
    "  vec4 l_Color = tex2D(_Input, TEX0.xy);\r\n"
    "  for (int n = 0; n < 32; ++n){\r\n"
    "    float d = float(n) * Pi / l_Directions;\r\n"
    "    for (int q = 1; q <= 8; ++q){\r\n"
    "      float i = float(q) / l_Quality;\r\n"
    "      l_Color += tex2D(_Input, TEX0.xy + vec2(cos(d), sin(d)) * _Radius * i);\r\n"
    "    }\r\n"
    "  }\r\n"
    "  l_Color /= l_Quality * l_Directions - 15.0;\r\n"
    "  l_Color.rgb = toneMap(l_Color.rgb, _Exposure);\r\n"
    "  o_FragColor = l_Color;\r\n"
    "}\r\n";

// The published weights in their published order, on the centred offsets -9..9.
constexpr double FastWeights[19] = {0.0388725400, 0.0431734808, 0.0473619401, 0.0513192490, 0.0549249202,
                                    0.0580626540, 0.0606265292, 0.0625268966, 0.0636955872, 0.0388725400,
                                    0.0636955872, 0.0625268966, 0.0606265292, 0.0580626540, 0.0549249202,
                                    0.0513192490, 0.0473619401, 0.0431734808, 0.0388725400};

constexpr const char* GaussFunctions =
    "#define PI 3.14159265\r\n"
    "#define KERNEL_SIZE 35\r\n"
    "float gauss(float x, float sigma){\r\n"
    "  return 1.0 / (2.0 * PI * sigma * sigma) * exp(-(x * x) / (2.0 * sigma * sigma));\r\n"
    "}\r\n"
    "float gauss(float x, float y, float sigma){\r\n"
    "  return 1.0 / (2.0 * PI * sigma * sigma) * exp(-(x * x + y * y) / (2.0 * sigma * sigma));\r\n"
    "}\r\n"
    "struct pixel_info {\r\n"
    "  vec2 uv;\r\n"
    "  vec2 texelSize;\r\n"
    "};\r\n"
    // The weight of a step integrates the bell over the step's own width, centred on the step.
    "vec4 GaussianBlur(sampler2D tex, pixel_info pinfo, float sigma, vec2 dir){\r\n"
    "  vec4 o_Col = vec4(0.0);\r\n"
    "  float o_WeightSum = 0.0;\r\n"
    "  for (int kernelStep = -KERNEL_SIZE / 2; kernelStep <= KERNEL_SIZE / 2; ++kernelStep){\r\n"
    "    vec2 uv = pinfo.uv;\r\n"
    "    uv.x += float(kernelStep) * pinfo.texelSize.x * dir.x;\r\n"
    "    uv.y += float(kernelStep) * pinfo.texelSize.y * dir.y;\r\n"
    "    float weight = gauss(float(kernelStep) - 0.5, sigma) + gauss(float(kernelStep) + 0.5, sigma);\r\n"
    "    o_Col += tex2D(tex, uv) * weight;\r\n"
    "    o_WeightSum += weight;\r\n"
    "  }\r\n"
    "  o_Col *= (1.0 / o_WeightSum);\r\n"
    "  return o_Col;\r\n"
    "}\r\n"
    "vec4 GaussianBlurLinearSampling(sampler2D tex, pixel_info pinfo, float sigma, vec2 dir){\r\n"
    "  vec4 o_Col = vec4(0.0);\r\n"
    "  float o_WeightSum = 0.0;\r\n"
    "  for (int kernelStep = -KERNEL_SIZE / 2; kernelStep <= KERNEL_SIZE / 2; kernelStep += 2){\r\n"
    "    vec2 uv = pinfo.uv;\r\n"
    "    uv.x += (float(kernelStep) + 0.5) * pinfo.texelSize.x * dir.x;\r\n"
    "    uv.y += (float(kernelStep) + 0.5) * pinfo.texelSize.y * dir.y;\r\n"
    "    float weight = gauss(float(kernelStep), sigma) + gauss(float(kernelStep) + 1.0, sigma);\r\n"
    "    o_Col += tex2D(tex, uv) * weight;\r\n"
    "    o_WeightSum += weight;\r\n"
    "  }\r\n"
    "  o_Col *= (1.0 / o_WeightSum);\r\n"
    "  return o_Col;\r\n"
    "}\r\n";

TContextShaderSource GLSLSource(const std::string& ACode, std::vector<TContextShaderVariable> AVariables) {
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()), std::move(AVariables)};
}

std::vector<TContextShaderVariable> KernelVariables() {
  using K = TContextShaderVariableKind;
  return {{"Input", K::Texture, 0, 0, 0, TContextShaderKind::PixelShader},
          {"Width", K::Float, 1, 1, 0, TContextShaderKind::PixelShader}};
}

constexpr TRendererFlags AllFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};

TMemoryBarrierFlags AllBarriers() {
  TMemoryBarrierFlags flags;
  for (int bit = 0; bit <= int(TMemoryBarrierFlag::ShaderStorageBarrierBit); ++bit)
    flags.Include(TMemoryBarrierFlag(bit));
  return flags;
}

} // namespace

// ---- Material ---------------------------------------------------------------------------------------

std::string TBlurMaterial::VertexShaderText() {
  return std::string(SPassShaderHeader) + SPassVertexBody;
}

std::string TBlurMaterial::RadialShaderText() {
  return std::string(SPassShaderHeader) + RadialDeclarations + SPassTextureHelpers + ToneMapping + RadialMain;
}

std::string TBlurMaterial::FastShaderText(TPassBlurMode AMode) {
  std::string text = std::string(SPassShaderHeader) + KernelDeclarations + SPassTextureHelpers;
  text += "void main(){\r\n";
  text += "  o_FragColor = vec4(0.0);\r\n";
  for (int tap = 0; tap < 19; ++tap) {
    const std::string offset = FormatKernelNumber(double(tap - 9)) + " / _Width";
    const std::string step =
        AMode == TPassBlurMode::Horizontal ? "vec2(" + offset + ", 0.0)" : "vec2(0.0, " + offset + ")";
    text += "  o_FragColor += tex2D(_Input, max(min(TEX0.xy + " + step + ", 1.0), 0.0)) * " +
            FormatKernelNumber(FastWeights[tap]) + ";\r\n";
  }
  text += "}\r\n";
  return text;
}

std::string TBlurMaterial::GaussShaderText(TPassBlurMode AMode) {
  const char* direction = AMode == TPassBlurMode::Horizontal ? "vec2(1.0, 0.0)" : "vec2(0.0, 1.0)";
  return std::string(SPassShaderHeader) + KernelDeclarations + SPassTextureHelpers + GaussFunctions +
         "void main(){\r\n"
         "  pixel_info pinfo;\r\n"
         "  pinfo.uv = TEX0.xy;\r\n"
         "  pinfo.texelSize = 1.0 / vec2(_Width);\r\n"
         "  o_FragColor = GaussianBlur(_Input, pinfo, 7.0, " +
         direction + ");\r\n}\r\n";
}

void TBlurMaterial::DoInitialize() {
  using K = TContextShaderVariableKind;
  const std::string address = Format("%d", reinterpret_cast<intptr_t>(this));
  const auto pixel = [&](const std::string& AName, const std::string& AText,
                         std::vector<TContextShaderVariable> AVariables) {
    return TShaderManager::RegisterShaderFromData(AName + "-" + address + ".fps",
                                                  TContextShaderKind::PixelShader, "",
                                                  {GLSLSource(AText, std::move(AVariables))});
  };
  FVertexShader = TShaderManager::RegisterShaderFromData(
      "CustomBlur-" + address + ".fvs", TContextShaderKind::VertexShader, "",
      {GLSLSource(VertexShaderText(),
                  {{"ModelViewProjMatrix", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}})});
  FPixelShader = pixel("CustomRadialBlurH", RadialShaderText(),
                       {{"Input", K::Texture, 0, 0, 0, TContextShaderKind::PixelShader},
                        {"Radius", K::Float2, 1, 1, 0, TContextShaderKind::PixelShader},
                        {"Exposure", K::Float, 2, 1, 0, TContextShaderKind::PixelShader}});
  FFastBlurH = pixel("CustomFastBlurH", FastShaderText(TPassBlurMode::Horizontal), KernelVariables());
  FFastBlurV = pixel("CustomFastBlurV", FastShaderText(TPassBlurMode::Vertical), KernelVariables());
  FGaussBlurH = pixel("CustomGaussBlurH", GaussShaderText(TPassBlurMode::Horizontal), KernelVariables());
  FGaussBlurV = pixel("CustomGaussBlurV", GaussShaderText(TPassBlurMode::Vertical), KernelVariables());
}

void TBlurMaterial::AfterConstruction() {
  inherited::AfterConstruction();
  FBlurAmount = 3.0f;
  FExposure = 1.0f;
}

void TBlurMaterial::BeforeDestruction() {
  for (TContextShader** shader : {&FFastBlurH, &FFastBlurV, &FGaussBlurH, &FGaussBlurV}) {
    if (*shader && FVertexShader)
      TVantrelContext::RemoveProgram(FVertexShader, *shader);
    TShaderManager::UnregisterShader(*shader);
    *shader = nullptr;
  }
  inherited::BeforeDestruction();
}

void TBlurMaterial::SetBlurAmount(float AValue) {
  FBlurAmount = std::clamp(AValue, 0.0f, 15.0f);
}

void TBlurMaterial::SetInputTexture(TTexture* AValue) {
  if (FInputTexture != AValue)
    FInputTexture = AValue;
  DoChange();
}

int32_t TBlurMaterial::CurrentIteration() const {
  auto* source = dynamic_cast<TBlurMaterialSource*>(Source());
  return source ? source->Iteration() : 0;
}

bool TBlurMaterial::PingPong() const {
  auto* pass = Source() ? dynamic_cast<TVantrelRenderPassBlur*>(Source()->OwnerPass()) : nullptr;
  return pass && pass->GetPingPongMode();
}

TTexture* TBlurMaterial::GetInputTexture(TContext3D* AContext) {
  if (!Source())
    return FInputTexture;
  // The odd ping-pong step blurs the previous step's result, which the pass stored.
  if (PingPong() && CurrentIteration() % 2 == 1)
    return FInputTexture;
  if (TVantrelRenderPassController* input = Source()->InputPass())
    FInputTexture = input->GetOutputTexture();
  else
    FInputTexture = GetPreviousRenderTexture(AContext);
  return FInputTexture;
}

TContextShader* TBlurMaterial::ChooseShader() const {
  if (FBlurType == TPassBlurType::RadialBlur)
    return FPixelShader;
  bool vertical = FBlurMode == TPassBlurMode::Vertical;
  if (PingPong())
    vertical = CurrentIteration() % 2 == 1;
  if (FBlurType == TPassBlurType::FastBlur)
    return vertical ? FFastBlurV : FFastBlurH;
  return vertical ? FGaussBlurV : FGaussBlurH;
}

void TBlurMaterial::DoApply(TContext3D* AContext) {
  FLastPixelShader = ChooseShader();
  AContext->SetShaders(FVertexShader, FLastPixelShader);
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (context && Source() && Source()->OwnerPass())
    context->SetShaderVariable("ModelViewProjMatrix",
                               Source()->OwnerPass()->GetCurrentModelViewProjectionMatrix(), true);
  TTexture* input = GetInputTexture(AContext);
  if (!input && !(Source() && Source()->ComponentState().Contains(TComponentStateItem::csDesigning)))
    throw Exception(SBlurInputEmpty);
  AContext->SetShaderVariable("Input", input);
  const TVector3D exposure[1] = {TVector3D(FExposure, 0, 0, 0)};
  AContext->SetShaderVariable("Exposure", exposure);
  if (FBlurType == TPassBlurType::RadialBlur) {
    const float r = FBlurAmount * 4.0f;
    float width = float(AContext->Width()), height = float(AContext->Height());
    if (input && FBlurAmount > 0) {
      width = float(input->Width());
      height = float(input->Height());
    }
    const TVector3D radius[1] = {TVector3D(r / width, r / height, 0, 0)};
    AContext->SetShaderVariable("Radius", radius);
  } else {
    float width = 32.0f;
    if (input && FBlurAmount > 0)
      width = float(FBlurMode == TPassBlurMode::Horizontal ? input->Width() : input->Height()) / FBlurAmount;
    const TVector3D value[1] = {TVector3D(width, 0, 0, 0)};
    AContext->SetShaderVariable("Width", value);
  }
}

// ---- Source -----------------------------------------------------------------------------------------

void TBlurMaterialSource::AfterConstruction() {
  inherited::AfterConstruction();
  FContextResetOvrId = TMessageManager::DefaultManager().SubscribeToMessage<TContextResetMessage>(
      [this](TObject*, TMessageBase*) { DoChange(); });
}

void TBlurMaterialSource::BeforeDestruction() {
  if (FContextResetOvrId != 0)
    TMessageManager::DefaultManager().Unsubscribe<TContextResetMessage>(FContextResetOvrId);
  FContextResetOvrId = 0;
  inherited::BeforeDestruction();
}

TOwned<TMaterial> TBlurMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TBlurMaterial>(this);
}

void TBlurMaterialSource::DoChange() {
  if (InputPass() && Material())
    Material()->SetInputTexture(InputPass()->GetOutputTexture());
}

// ---- Pass -------------------------------------------------------------------------------------------

void TVantrelRenderPassBlur::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Post;
  FMethod = TRenderPassMethod::RectToFBO;
  FRendererFlags = AllFlags;
  FBlendings[0] = TBlendSetting::Create(false, TBlendEquationFunc::befAdd, TBlendFactor::bfOne,
                                        TBlendFactor::bfOne, TBlendFactor::bfOne, TBlendFactor::bfOne);
  SetShader(CreateShader());
  Shader()->SetStored(false);
  FIterations = 1;
  FPingPongMode = true;
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassBlur::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TBlurMaterialSource>(this);
}

void TVantrelRenderPassBlur::CreatePassRenderer() {
  FRendererFlags = AllFlags;
  TVantrelRenderPassController::CreatePassRenderer();
}

TBlurMaterial* TVantrelRenderPassBlur::Material() const {
  TBlurMaterialSource* source = BlurSource();
  return source ? source->Material() : nullptr;
}

TPassBlurType TVantrelRenderPassBlur::GetBlurType() const {
  return Material() ? Material()->BlurType() : TPassBlurType::RadialBlur;
}

void TVantrelRenderPassBlur::SetBlurType(TPassBlurType AValue) {
  if (TBlurMaterial* material = Material())
    material->SetBlurType(AValue);
  SetIterations(AValue == TPassBlurType::RadialBlur ? 1 : 2);
}

TPassBlurMode TVantrelRenderPassBlur::GetBlurMode() const {
  return Material() ? Material()->BlurMode() : TPassBlurMode::Horizontal;
}

void TVantrelRenderPassBlur::SetBlurMode(TPassBlurMode AValue) {
  if (TBlurMaterial* material = Material())
    material->SetBlurMode(AValue);
}

float TVantrelRenderPassBlur::GetBlurAmount() const {
  return Material() ? Material()->BlurAmount() : 0.0f;
}

void TVantrelRenderPassBlur::SetBlurAmount(float AValue) {
  if (TBlurMaterial* material = Material())
    material->SetBlurAmount(AValue);
}

float TVantrelRenderPassBlur::GetExposure() const {
  return BlurSource() ? BlurSource()->Exposure() : 1.0f;
}

void TVantrelRenderPassBlur::SetExposure(float AValue) {
  if (TBlurMaterialSource* source = BlurSource())
    source->SetExposure(AValue);
}

void TVantrelRenderPassBlur::SetIterations(int32_t AValue) {
  if (GetBlurType() == TPassBlurType::RadialBlur)
    FIterations = 1;
  else
    TVantrelRenderPassController::SetIterations(AValue);
}

TTexture* TVantrelRenderPassBlur::GetFinalOutputTexture() {
  TRenderer* renderer = GetRenderer();
  if (FPingPongMode && renderer && renderer->GetCompositeTexture())
    return renderer->GetCompositeTexture()->Texture();
  return GetOutputTexture();
}

TTexture* TVantrelRenderPassBlur::SecondTarget() {
  TRenderer* renderer = GetRenderer();
  TVantrelTextureBitmap* composite = renderer ? renderer->GetCompositeTexture() : nullptr;
  if (!composite)
    return nullptr;
  if (!FSecondTarget || FSecondTarget->Width() != composite->Width() ||
      FSecondTarget->Height() != composite->Height() ||
      FSecondTarget->GetComponents() != composite->GetComponents()) {
    FSecondTarget.reset(TVantrelTextureBitmap::Create());
    FSecondTarget->BeginSetup();
    FSecondTarget->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
    FSecondTarget->SetComponents(composite->GetComponents());
    FSecondTarget->SetFormat(composite->GetFormat());
    FSecondTarget->SetDataType(composite->GetDataType());
    FSecondTarget->SetMinFilter(composite->GetMinFilter());
    FSecondTarget->SetMagFilter(composite->GetMagFilter());
    FSecondTarget->SetWrapS(composite->GetWrapS());
    FSecondTarget->SetWrapT(composite->GetWrapT());
    FSecondTarget->SetBorderColor(composite->GetBorderColor());
    FSecondTarget->SetSize(composite->Width(), composite->Height());
    FSecondTarget->EndSetup();
  }
  return FSecondTarget->Texture();
}

TTexture* TVantrelRenderPassBlur::TargetOf(int32_t AIndex) {
  TRenderer* renderer = GetRenderer();
  if (!renderer || !renderer->GetCompositeTexture())
    return nullptr;
  const int32_t count = std::max(FIterations, 1);
  if ((count - 1 - AIndex) % 2 == 0)
    return renderer->GetCompositeTexture()->Texture();
  return SecondTarget();
}

void TVantrelRenderPassBlur::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  TRenderer* renderer = GetRenderer();
  auto* context = renderer ? renderer->FrameworkContext() : nullptr;
  if (!context)
    return;
  context->SetMemoryBarrierBits(AllBarriers());
  context->SetContextStates({TContextState::csZTestOff, TContextState::csZWriteOff,
                             TContextState::csColorWriteOn, TContextState::csFrontFace});
  if (TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr) {
    context->SetCameraMatrix(camera->CameraMatrix());
    context->SetCameraAngleOfView(camera->AngleOfView());
  }
  TBlurMaterialSource* source = BlurSource();
  if (!source)
    return;
  source->SetIteration(ACount);
  TBlurMaterial* material = source->Material();
  TTexture* target = TargetOf(ACount);
  const bool even = !FPingPongMode || ACount % 2 == 0;
  if (even) {
    if (FBaseTexture)
      material->SetInputTexture(FBaseTexture);
    else
      FBaseTexture = material->InputTexture();
  } else {
    // The odd step blurs what the previous step drew, never the texture it draws into.
    material->SetInputTexture(FPreviousTarget);
  }
  if (target)
    context->AttachTextureToDefaultBuffer(target, TRenderTarget::Color_0);
  if (even)
    context->GetDefaultFrameBuf()->Clear(TRenderTarget::Color_0, TAlphaColorF{0, 0, 0, 0}, 1, 0, true);
  context->GetDefaultFrameBuf()->Prepare(TRenderTargets{TRenderTarget::Color_0});
  FPreviousTarget = target;
}

void TVantrelRenderPassBlur::DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount,
                                                    TRenderPass* APass) {
  TRenderer* renderer = GetRenderer();
  auto* context = renderer ? renderer->FrameworkContext() : nullptr;
  if (!context)
    return;
  context->SetContextState(TContextState::csZTestOff);
  context->SetContextState(TContextState::csZWriteOff);
  context->SetContextState(TContextState::csFrontFace);
  TVantrelRenderPassController::DoOnRenderPassFinished(AContext, ACount, APass);
}

void TVantrelRenderPassBlur::BeforeDestruction() {
  // The controller's part unlinks the input pass through the source, so the source goes after it.
  TVantrelRenderPassController::BeforeDestruction();
  FShader.reset();
  FSecondTarget.reset();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int CustomBlurInitCount = 0;
}

void InitializeCustomBlurPass() {
  if (CustomBlurInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassBlur::StaticClass());
}

void FinalizeCustomBlurPass() {
  if (CustomBlurInitCount == 0 || --CustomBlurInitCount > 0)
    return;
  UnRegisterClass(TVantrelRenderPassBlur::StaticClass());
}

} // namespace vantrel
