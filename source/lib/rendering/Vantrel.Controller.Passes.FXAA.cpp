#include "rendering/Vantrel.Controller.Passes.FXAA.h"

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/exceptions.h"
#include "rtl/messaging.h"
#include "rtl/sysutils.h"
#include "ui/messages.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TFXAAMaterial, "Vantrel.Controller.Passes.FXAA")
RTL_DEFINE_CLASS(TFXAAMaterialSource, "Vantrel.Controller.Passes.FXAA")
RTL_DEFINE_CLASS(TVantrelRenderPassFXAA, "Vantrel.Controller.Passes.FXAA")

const char* const SPassShaderHeader = "#version 430\r\n\r\n\r\n";

const char* const SPassVertexBody = "in vec3 a_Position;\r\n"
                                    "in vec2 a_TexCoord0;\r\n"
                                    "uniform mat4 _ModelViewProjMatrix;\r\n"
                                    "out vec4 v_Position;\r\n"
                                    "out vec4 TEX0;\r\n"
                                    "void main(){\r\n"
                                    "  vec4 fvPosition = vec4(a_Position.x, a_Position.y, a_Position.z, 1.0);\r\n"
                                    "  v_Position = fvPosition;\r\n"
                                    "  TEX0.xy = a_TexCoord0;\r\n"
                                    "  gl_Position = _ModelViewProjMatrix * fvPosition;\r\n"
                                    "}\r\n";

const char* const SPassTextureHelpers =
    "vec4 tex2D(in sampler2D p_Texture, in vec2 p_TexCoord){ return texture(p_Texture, p_TexCoord); }\r\n"
    "\r\n"
    "vec4 tex2DProj(in sampler2D p_Texture, in vec4 p_TexCoord){ return textureProj(p_Texture, p_TexCoord); }\r\n"
    "\r\n"
    "vec4 tex3D(in sampler3D p_Texture, in vec3 p_TexCoord){ return texture(p_Texture, p_TexCoord); }\r\n"
    "\r\n"
    "vec4 texCube(in samplerCube p_Texture, in vec3 p_TexCoord){ return texture(p_Texture, p_TexCoord); }\r\n"
    "\r\n";

namespace {

constexpr const char* Declarations = "uniform sampler2D _Input;"
                                     "in vec4 v_Position;\r\n"
                                     "in vec4 TEX0;\r\n"
                                     "layout (location = 0) out vec4 o_FragColor;\r\n";

constexpr const char* FXAAFunction =
    "#define FXAA_REDUCE_MIN (1.0 / 128.0)\r\n"
    "#define FXAA_REDUCE_MUL (1.0 / 8.0)\r\n"
    "#define FXAA_SPAN_MAX 8.0\r\n"
    "vec4 fxaa(sampler2D tex, vec2 uv){\r\n"
    "  vec2 inverseVP = vec2(1.0) / vec2(textureSize(tex, 0));\r\n"
    "  vec3 rgbNW = tex2D(tex, uv + vec2(-1.0, -1.0) * inverseVP).rgb;\r\n"
    "  vec3 rgbNE = tex2D(tex, uv + vec2(1.0, -1.0) * inverseVP).rgb;\r\n"
    "  vec3 rgbSW = tex2D(tex, uv + vec2(-1.0, 1.0) * inverseVP).rgb;\r\n"
    "  vec3 rgbSE = tex2D(tex, uv + vec2(1.0, 1.0) * inverseVP).rgb;\r\n"
    "  vec4 texColor = tex2D(tex, uv);\r\n"
    "  vec3 rgbM = texColor.rgb;\r\n"
    "  vec3 luma = vec3(0.299, 0.587, 0.114);\r\n"
    "  float lumaNW = dot(rgbNW, luma);\r\n"
    "  float lumaNE = dot(rgbNE, luma);\r\n"
    "  float lumaSW = dot(rgbSW, luma);\r\n"
    "  float lumaSE = dot(rgbSE, luma);\r\n"
    "  float lumaM = dot(rgbM, luma);\r\n"
    "  float lumaMin = min(lumaM, min(min(lumaNW, lumaNE), min(lumaSW, lumaSE)));\r\n"
    "  float lumaMax = max(lumaM, max(max(lumaNW, lumaNE), max(lumaSW, lumaSE)));\r\n"
    "  vec2 dir;\r\n"
    "  dir.x = -((lumaNW + lumaNE) - (lumaSW + lumaSE));\r\n"
    "  dir.y = ((lumaNW + lumaSW) - (lumaNE + lumaSE));\r\n"
    "  float dirReduce = max((lumaNW + lumaNE + lumaSW + lumaSE) * (0.25 * FXAA_REDUCE_MUL), FXAA_REDUCE_MIN);\r\n"
    "  float rcpDirMin = 1.0 / (min(abs(dir.x), abs(dir.y)) + dirReduce);\r\n"
    "  dir = min(vec2(FXAA_SPAN_MAX, FXAA_SPAN_MAX), max(vec2(-FXAA_SPAN_MAX, -FXAA_SPAN_MAX), dir * rcpDirMin)) * inverseVP;\r\n"
    "  vec4 rgbA = 0.5 * (tex2D(tex, uv + dir * (1.0 / 3.0 - 0.5)) + tex2D(tex, uv + dir * (2.0 / 3.0 - 0.5)));\r\n"
    "  vec4 rgbB = rgbA * 0.5 + 0.25 * (tex2D(tex, uv + dir * (0.0 / 3.0 - 0.5)) + tex2D(tex, uv + dir * (3.0 / 3.0 - 0.5)));\r\n"
    "  float lumaB = dot(rgbB.rgb, luma);\r\n"
    "  if ((lumaB < lumaMin) || (lumaB > lumaMax)) return rgbA;\r\n"
    "  return rgbB;\r\n"
    "}\r\n";

constexpr const char* MainBody = "void main(){    o_FragColor = fxaa(_Input, TEX0.xy);    return;}";

TContextShaderSource GLSLSource(const std::string& ACode, std::vector<TContextShaderVariable> AVariables) {
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()), std::move(AVariables)};
}

} // namespace

// ---- Material ---------------------------------------------------------------------------------------

std::string TFXAAMaterial::VertexShaderText() { return std::string(SPassShaderHeader) + SPassVertexBody; }

std::string TFXAAMaterial::PixelShaderText() {
  return std::string(SPassShaderHeader) + Declarations + SPassTextureHelpers + FXAAFunction + MainBody;
}

void TFXAAMaterial::DoInitialize() {
  using K = TContextShaderVariableKind;
  const std::string tag = Format("FXAA-%d", reinterpret_cast<intptr_t>(this));
  FVertexShader = TShaderManager::RegisterShaderFromData(
      tag + ".fvs", TContextShaderKind::VertexShader, "",
      {GLSLSource(VertexShaderText(), {{"ModelViewProjMatrix", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}})});
  FPixelShader = TShaderManager::RegisterShaderFromData(
      tag + ".fps", TContextShaderKind::PixelShader, "",
      {GLSLSource(PixelShaderText(), {{"Input", K::Texture, 0, 0, 0, TContextShaderKind::PixelShader}})});
}

void TFXAAMaterial::SetInputTexture(TTexture* AValue) {
  if (FInputTexture != AValue)
    FInputTexture = AValue;
  DoChange();
}

TTexture* TFXAAMaterial::GetInputTexture(TContext3D* AContext) {
  if (FInputTexture || !Source())
    return FInputTexture;
  if (TVantrelRenderPassController* input = Source()->InputPass())
    FInputTexture = input->GetOutputTexture();
  else if (AContext)
    FInputTexture = AContext->Texture();
  return FInputTexture;
}

void TFXAAMaterial::DoApply(TContext3D* AContext) {
  TCustomMaterial::DoApply(AContext);
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    return;
  if (Source() && Source()->OwnerPass())
    context->SetShaderVariable("ModelViewProjMatrix", Source()->OwnerPass()->GetCurrentModelViewProjectionMatrix(),
                               true);
  TTexture* input = GetInputTexture(AContext);
  if (!input && !(Source() && Source()->ComponentState().Contains(TComponentStateItem::csDesigning)))
    throw Exception(SFXAAInputEmpty);
  context->SetShaderVariable("Input", input);
}

// ---- Source -----------------------------------------------------------------------------------------

void TFXAAMaterialSource::AfterConstruction() {
  inherited::AfterConstruction();
  FContextResetOvrId = TMessageManager::DefaultManager().SubscribeToMessage<TContextResetMessage>(
      [this](TObject*, TMessageBase*) { DoChange(); });
}

void TFXAAMaterialSource::BeforeDestruction() {
  if (FContextResetOvrId != 0)
    TMessageManager::DefaultManager().Unsubscribe<TContextResetMessage>(FContextResetOvrId);
  FContextResetOvrId = 0;
  inherited::BeforeDestruction();
}

TOwned<TMaterial> TFXAAMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TFXAAMaterial>(this);
}

void TFXAAMaterialSource::DoChange() {
  if (InputPass() && Material())
    Material()->SetInputTexture(InputPass()->GetOutputTexture());
}

// ---- Pass -------------------------------------------------------------------------------------------

namespace {
constexpr TRendererFlags AllFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
}

void TVantrelRenderPassFXAA::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Post;
  FMethod = TRenderPassMethod::RectToFBO;
  FRendererFlags = AllFlags;
  FBlendings[0] = TBlendSetting::Create(false, TBlendEquationFunc::befAdd, TBlendFactor::bfOne, TBlendFactor::bfOne,
                                        TBlendFactor::bfOne, TBlendFactor::bfOne);
  FIterations = 1;
  SetShader(CreateShader());
  Shader()->SetStored(false);
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassFXAA::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TFXAAMaterialSource>(this);
}

void TVantrelRenderPassFXAA::CreatePassRenderer() {
  FRendererFlags = AllFlags;
  TVantrelRenderPassController::CreatePassRenderer();
}

TFXAAMaterial* TVantrelRenderPassFXAA::Material() const {
  auto* source = static_cast<TFXAAMaterialSource*>(Shader());
  return source ? source->Material() : nullptr;
}

void TVantrelRenderPassFXAA::SetCompositeInputTexture(TTexture* ATexture) {
  if (!Shader())
    return;
  FBaseTexture = nullptr;
  Material()->SetInputTexture(ATexture);
}

TTexture* TVantrelRenderPassFXAA::GetFinalOutputTexture() {
  TRenderer* renderer = GetRenderer();
  if (renderer && renderer->GetCompositeTexture())
    return renderer->GetCompositeTexture()->Texture();
  return GetOutputTexture();
}

TTexture* TVantrelRenderPassFXAA::SecondTarget() {
  TRenderer* renderer = GetRenderer();
  TVantrelTextureBitmap* composite = renderer ? renderer->GetCompositeTexture() : nullptr;
  if (!composite)
    return nullptr;
  if (!FSecondTarget || FSecondTarget->Width() != composite->Width() || FSecondTarget->Height() != composite->Height()) {
    FSecondTarget.reset(TVantrelTextureBitmap::Create());
    FSecondTarget->BeginSetup();
    FSecondTarget->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
    FSecondTarget->SetComponents(TPixelFormatEx::RGBA8);
    FSecondTarget->SetFormat(TPixelFormatEx::BGRA);
    FSecondTarget->SetDataType(TVantrelTextureDataType::dtUnsignedByte);
    FSecondTarget->SetSize(composite->Width(), composite->Height());
    FSecondTarget->EndSetup();
  }
  return FSecondTarget->Texture();
}

TTexture* TVantrelRenderPassFXAA::TargetOf(int32_t AIndex) {
  TRenderer* renderer = GetRenderer();
  if (!renderer || !renderer->GetCompositeTexture())
    return nullptr;
  const int32_t count = std::max(FIterations, 1);
  if ((count - 1 - AIndex) % 2 == 0)
    return renderer->GetCompositeTexture()->Texture();
  return SecondTarget();
}

void TVantrelRenderPassFXAA::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  TRenderer* renderer = GetRenderer();
  auto* context = renderer ? renderer->FrameworkContext() : nullptr;
  if (!context)
    return;
  context->SetContextStates({TContextState::csZTestOff, TContextState::csZWriteOff, TContextState::csColorWriteOn,
                             TContextState::csFrontFace});
  if (TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr) {
    context->SetCameraMatrix(camera->CameraMatrix());
    context->SetCameraAngleOfView(camera->AngleOfView());
  }
  TFXAAMaterial* material = Material();
  TTexture* target = TargetOf(ACount);
  if (ACount == 0) {
    if (FBaseTexture)
      material->SetInputTexture(FBaseTexture);
    else
      FBaseTexture = material->InputTexture();
  } else {
    // Each later iteration filters the previous one's image, never the texture it draws into.
    material->SetInputTexture(FPreviousTarget);
  }
  context->AttachTextureToDefaultBuffer(target, TRenderTarget::Color_0);
  if (ACount == 0)
    context->GetDefaultFrameBuf()->Clear(TRenderTarget::Color_0, TAlphaColorF{}, 1, 0, true);
  context->GetDefaultFrameBuf()->Prepare(TRenderTargets{TRenderTarget::Color_0});
  FPreviousTarget = target;
}

void TVantrelRenderPassFXAA::DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TRenderer* renderer = GetRenderer();
  auto* context = renderer ? renderer->FrameworkContext() : nullptr;
  if (!context)
    return;
  context->SetContextState(TContextState::csZTestOff);
  context->SetContextState(TContextState::csZWriteOff);
  context->SetContextState(TContextState::csFrontFace);
  TVantrelRenderPassController::DoOnRenderPassFinished(AContext, ACount, APass);
}

void TVantrelRenderPassFXAA::BeforeDestruction() {
  TVantrelRenderPassController::BeforeDestruction();
  FSecondTarget.reset();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int FXAAInitCount = 0;
}

void InitializeFXAAPass() {
  if (FXAAInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassFXAA::StaticClass());
  TInternalPassBinding binding;
  binding.Class = &TVantrelRenderPassFXAA::StaticClass();
  binding.Configure = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer) {
    AController.SetInputPass(ARenderer.GetInternalController(TInternalPassKind::DeferredComposite));
    AController.SetIterations(ARenderer.GetFXAA());
  };
  binding.Prepare = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer, bool AFirstRun) {
    if (!AFirstRun)
      return;
    auto& pass = static_cast<TVantrelRenderPassFXAA&>(AController);
    pass.SetIterations(ARenderer.GetFXAA());
    TVantrelRenderPassController* input = ARenderer.GetInternalController(TInternalPassKind::DeferredComposite);
    pass.SetCompositeInputTexture(input ? input->GetOutputTexture() : nullptr);
  };
  RegisterInternalPass(TInternalPassKind::FXAA, std::move(binding));
}

void FinalizeFXAAPass() {
  if (FXAAInitCount == 0 || --FXAAInitCount > 0)
    return;
  UnregisterInternalPass(TInternalPassKind::FXAA);
  UnRegisterClass(TVantrelRenderPassFXAA::StaticClass());
}

} // namespace vantrel
