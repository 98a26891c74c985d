#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"

#include <algorithm>

#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TDeferredCompositeMaterial, "Vantrel.Controller.Passes.Deferred.Composite")
RTL_DEFINE_CLASS(TDeferredCompositeMaterialSource, "Vantrel.Controller.Passes.Deferred.Composite")
RTL_DEFINE_CLASS(TVantrelRenderPassDeferredComposite, "Vantrel.Controller.Passes.Deferred.Composite")

namespace {

constexpr const char* VertexBody = "in vec3 a_Position;\r\n"
                                   "in vec2 a_TexCoord0;\r\n"
                                   "uniform mat4 _ModelViewProjMatrix;\r\n"
                                   "out vec4 TEX0;\r\n"
                                   "void main(){\r\n"
                                   "  gl_Position = _ModelViewProjMatrix * vec4(a_Position, 1.0);\r\n"
                                   "  TEX0 = vec4(a_TexCoord0.xy, 0.0, 1.0);\r\n"
                                   "}\r\n";

constexpr const char* LightStruct = "struct Light{\r\n"
                                    "  int _LightType;\r\n"
                                    "  vec4 _Position;\r\n"
                                    "  vec4 _Direction;\r\n"
                                    "  vec4 _Ambient;\r\n"
                                    "  vec4 _Diffuse;\r\n"
                                    "  vec4 _Specular;\r\n"
                                    "  vec4 _Scattering;\r\n"
                                    "  float _SpotCutOff;\r\n"
                                    "  float _SpotCosCutoff;\r\n"
                                    "  float _SpotExponent;\r\n"
                                    "  float _ConstantAttenuation;\r\n"
                                    "  float _LinearAttenuation;\r\n"
                                    "  float _QuadraticAttenuation;\r\n"
                                    "  float _Intensity;\r\n"
                                    "  int   _Enabled;\r\n"
                                    "};\r\n";

constexpr const char* Declarations = "#define MAX_LIGHTS 8\r\n"
                                     "layout (binding=0, std140) uniform CompositeShaderData{\r\n"
                                     "  vec3 _VoxelCenter;\r\n"
                                     "  int _GlobalIllum;\r\n"
                                     "  vec3 _Saturation;\r\n"
                                     "  int _EmissiveBlur;\r\n"
                                     "  int _VoxelSize;\r\n"
                                     "  float _ShadowLimit;\r\n"
                                     "  float _Reflection;\r\n"
                                     "  int _NumberOfLights;\r\n"
                                     "  Light _Lights[MAX_LIGHTS];\r\n"
                                     "};\r\n"
                                     "uniform sampler2D _AlbedoTexture;\r\n"
                                     "uniform sampler2D _TranslucentAlbedoTexture;\r\n"
                                     "uniform sampler2D _AlphaTexture;\r\n"
                                     "uniform sampler2D _PositionTexture;\r\n"
                                     "uniform sampler2D _NormalsTexture;\r\n"
                                     "uniform sampler2D _EmissiveTexture;\r\n"
                                     "uniform sampler2D _GlobalIllumination;\r\n"
                                     "in vec4 TEX0;\r\n"
                                     "layout (location = 0) out vec4 o_FragColor;\r\n";

constexpr const char* MergeFunctions =
    "const vec3 W = vec3(0.2125, 0.7154, 0.0721);\r\n"
    "vec3 saturate(vec3 base, vec3 weight, float s){\r\n"
    "  return mix(vec3(dot(base.rgb, weight)), base.rgb, s);\r\n"
    "}\r\n"
    "vec3 mergeRenderingChannels(vec2 uv){\r\n"
    "  vec4 accum = tex2D(_TranslucentAlbedoTexture, uv);\r\n"
    "  float weight = accum.a;\r\n"
    "  vec3 colour = tex2D(_AlbedoTexture, uv).rgb;\r\n"
    "  if (_Saturation.x > 0.001) colour = saturate(colour, W, _Saturation.x);\r\n"
    "  if (weight <= 0.00000001) return colour;\r\n"
    "  float alpha = tex2D(_AlphaTexture, uv).r;\r\n"
    "  accum.rgb = accum.rgb / weight;\r\n"
    "  if (_Saturation.y > 0.001) accum.rgb = saturate(accum.rgb, W, _Saturation.y);\r\n"
    "  colour = colour * (1.0 - alpha) + accum.rgb * alpha;\r\n"
    "  if (_Saturation.z > 0.001) colour = saturate(colour, W, _Saturation.z);\r\n"
    "  return colour;\r\n"
    "}\r\n";

constexpr const char* MainBody = "void main(){\r\n"
                                 "  vec3 merged = mergeRenderingChannels(TEX0.xy);\r\n"
                                 "  if (_EmissiveBlur > 0) merged += tex2D(_EmissiveTexture, TEX0.xy).rgb;\r\n"
                                 "  if (_GlobalIllum > 0){\r\n"
                                 "    vec4 gi = tex2D(_GlobalIllumination, TEX0.xy);\r\n"
                                 "    merged += gi.rgb * _Reflection;\r\n"
                                 "    merged *= clamp(1.0 - gi.a, _ShadowLimit, 1.0);\r\n"
                                 "  }\r\n"
                                 "  o_FragColor = vec4(merged, 1.0);\r\n";

constexpr const char* Closing = "  return;\r\n"
                                "}\r\n";

TContextShaderSource GLSLSource(const std::string& ACode, std::vector<TContextShaderVariable> AVariables) {
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()), std::move(AVariables)};
}

constexpr const char* TextureVariables[] = {"AlbedoTexture",  "TranslucentAlbedoTexture", "AlphaTexture",
                                            "PositionTexture", "NormalsTexture",          "EmissiveTexture",
                                            "GlobalIllumination"};

} // namespace

const char* const SCompositeLightStruct = LightStruct;
const char* const SCompositeVertexBody = VertexBody;

int32_t CopyEnabledShaderLights(const TVantrelContext& AContext, TVantrelShaderLight (&ALights)[8]) {
  int32_t count = 0;
  for (const TVantrelShaderLight& light : AContext.GetShaderLights()) {
    if (count == 8)
      break;
    if (light.IsEnabled())
      ALights[count++] = light;
  }
  return count;
}

void BeginFullTargetFrame(TVantrelContext& AContext, TVantrelViewport* AViewport) {
  TFrameBufferObject* buffer = AContext.GetDefaultFrameBuf();
  buffer->Clear(TRenderTargets{TRenderTarget::Color_0, TRenderTarget::Depth},
                TAlphaColorF::Create(0xFF000000), 1, 0, false);
  buffer->Prepare(TRenderTargets{TRenderTarget::Color_0});
  AContext.SetCameraMatrix(TMatrix3D::Identity());
  if (TCamera* camera = AViewport ? AViewport->CurrentCamera() : nullptr)
    AContext.SetCameraAngleOfView(camera->AngleOfView());
}

// ---- Material ---------------------------------------------------------------------------------------

std::string TDeferredCompositeMaterial::VertexShaderText() { return std::string(SPassShaderHeader) + VertexBody; }

std::string TDeferredCompositeMaterial::PixelShaderText() {
  return std::string(SPassShaderHeader) + LightStruct + Declarations + SPassTextureHelpers + MergeFunctions +
         MainBody + Closing;
}

void TDeferredCompositeMaterial::DoInitialize() {
  using K = TContextShaderVariableKind;
  const std::string tag = Format("deferred.composite-%d", reinterpret_cast<intptr_t>(this));
  FVertexShader = TShaderManager::RegisterShaderFromData(
      tag + ".fvs", TContextShaderKind::VertexShader, "",
      {GLSLSource(VertexShaderText(),
                  {{"ModelViewProjMatrix", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}})});
  std::vector<TContextShaderVariable> variables;
  for (int32_t index = 0; index < 7; ++index)
    variables.push_back({TextureVariables[index], K::Texture, index, 0, 0, TContextShaderKind::PixelShader});
  FPixelShader = TShaderManager::RegisterShaderFromData(tag + ".fps", TContextShaderKind::PixelShader, "",
                                                        {GLSLSource(PixelShaderText(), std::move(variables))});
}

void TDeferredCompositeMaterial::StoreTexture(TTexture*& AField, TTexture* AValue) {
  if (AField != AValue)
    AField = AValue;
  DoChange();
}

void TDeferredCompositeMaterial::SetAlbedoTexture(TTexture* AValue) { StoreTexture(FAlbedoTexture, AValue); }
void TDeferredCompositeMaterial::SetTranslucentAlbedoTexture(TTexture* AValue) {
  StoreTexture(FTranslucentAlbedoTexture, AValue);
}
void TDeferredCompositeMaterial::SetAlphaTexture(TTexture* AValue) { StoreTexture(FAlphaTexture, AValue); }
void TDeferredCompositeMaterial::SetPositionTexture(TTexture* AValue) { StoreTexture(FPositionTexture, AValue); }
void TDeferredCompositeMaterial::SetNormalsTexture(TTexture* AValue) { StoreTexture(FNormalsTexture, AValue); }
void TDeferredCompositeMaterial::SetEmissiveTexture(TTexture* AValue) { StoreTexture(FEmissiveTexture, AValue); }

void TDeferredCompositeMaterial::DoApply(TContext3D* AContext) {
  auto* context = CheckedCast<TVantrelContext>(AContext);
  TCustomMaterial::DoApply(context);
  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  if (program && !FShaderDataRegistered) {
    program->RegisterUniformBuffer("CompositeShaderData", &FShaderData, sizeof(FShaderData));
    FShaderDataRegistered = true;
  }
  if (!Source() || !Source()->OwnerPass())
    return;
  TVantrelRenderPassController* pass = Source()->OwnerPass();
  FShaderData.NumberOfLights = CopyEnabledShaderLights(*context, FShaderData.Lights);
  context->SetShaderVariable("ModelViewProjMatrix", pass->GetCurrentModelViewProjectionMatrix(), true);
  TTexture* textures[] = {FAlbedoTexture,  FTranslucentAlbedoTexture, FAlphaTexture,
                          FPositionTexture, FNormalsTexture,          FEmissiveTexture};
  for (int index = 0; index < 6; ++index)
    context->SetShaderVariable(TextureVariables[index], textures[index]);
  auto* composite = dynamic_cast<TVantrelRenderPassDeferredComposite*>(pass);
  TVantrelRenderPassController* gi = composite ? composite->GetGlobalIllumPass() : nullptr;
  if (gi) {
    FShaderData.GlobalIllum = 1;
    const TClass* blurClass = GetClass(SGlobalIllumBlurClassName);
    const bool isBlur = blurClass && gi->ClassType().InheritsFrom(*blurClass);
    context->SetShaderVariable("GlobalIllumination", isBlur ? gi->GetFinalOutputTexture() : gi->GetOutputTexture());
  } else {
    FShaderData.VoxelCenter = TPoint3D{0, 0, 0};
    FShaderData.GlobalIllum = 0;
  }
  if (program)
    program->PushUniformBuffers();
}

// ---- Source -----------------------------------------------------------------------------------------

TOwned<TMaterial> TDeferredCompositeMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TDeferredCompositeMaterial>(this);
}

// ---- Pass -------------------------------------------------------------------------------------------

void TVantrelRenderPassDeferredComposite::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Post;
  FBlendings = TBlendSettings{};
  SetRenderer(nullptr);
  FMethod = TRenderPassMethod::RectToFBO;
  FBlendings[0] = TBlendSetting::Create(false, TBlendEquationFunc::befAdd, TBlendFactor::bfOne, TBlendFactor::bfOne,
                                        TBlendFactor::bfOne, TBlendFactor::bfOne);
  SetShader(CreateShader());
  Shader()->SetStored(false);
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassDeferredComposite::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TDeferredCompositeMaterialSource>(this);
}

TDeferredCompositeMaterial* TVantrelRenderPassDeferredComposite::Material() const {
  return static_cast<TDeferredCompositeMaterialSource*>(Shader())->Material();
}

void TVantrelRenderPassDeferredComposite::SetEmissiveBlur(int32_t AValue) {
  Material()->SetEmissiveBlur(std::clamp(AValue, 0, 15));
}

void TVantrelRenderPassDeferredComposite::SetGlobalIllumPass(TVantrelRenderPassController* AValue) {
  if (AValue == FGlobalIllumPass)
    return;
  if (FGlobalIllumPass)
    RemoveFreeNotification(FGlobalIllumPass);
  FGlobalIllumPass = AValue;
  if (AValue)
    FreeNotification(AValue);
}

void TVantrelRenderPassDeferredComposite::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelRenderPassController::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent == FGlobalIllumPass)
    FGlobalIllumPass = nullptr;
}

void TVantrelRenderPassDeferredComposite::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  TRenderer* renderer = GetRenderer();
  auto* context = renderer ? renderer->FrameworkContext() : nullptr;
  if (context)
    BeginFullTargetFrame(*context, FViewport);
}

void TVantrelRenderPassDeferredComposite::BeforeDestruction() {
  SetGlobalIllumPass(nullptr);
  TVantrelRenderPassController::BeforeDestruction();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int DeferredCompositeInitCount = 0;
}

void InitializeDeferredCompositePass() {
  if (DeferredCompositeInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassDeferredComposite::StaticClass());
  TInternalPassBinding binding;
  binding.Class = &TVantrelRenderPassDeferredComposite::StaticClass();
  binding.Configure = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer) {
    auto& pass = static_cast<TVantrelRenderPassDeferredComposite&>(AController);
    pass.SetRenderer(&ARenderer);
    pass.SetSaturation(ARenderer.GetSaturation());
    pass.SetEmissiveBlur(ARenderer.GetEmissiveBlur());
  };
  binding.Prepare = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer, bool) {
    auto& pass = static_cast<TVantrelRenderPassDeferredComposite&>(AController);
    pass.SetAlbedo(ARenderer.GetAlbedoTexture());
    pass.SetTranslucentAlbedo(ARenderer.GetTranslucentAlbedoTexture());
    pass.SetAlpha(ARenderer.GetAlphaTexture());
    pass.SetPosition(ARenderer.GetPositionTexture());
    pass.SetNormals(ARenderer.GetNormalsTexture());
    pass.SetEmissive(ARenderer.GetFrameEmissiveTexture());
    pass.SetEmissiveBlur(ARenderer.GetEmissiveBlur());
    pass.SetGlobalIllumPass(ARenderer.GetFrameGlobalIllumSource());
  };
  RegisterInternalPass(TInternalPassKind::DeferredComposite, std::move(binding));
}

void FinalizeDeferredCompositePass() {
  if (DeferredCompositeInitCount == 0 || --DeferredCompositeInitCount > 0)
    return;
  UnregisterInternalPass(TInternalPassKind::DeferredComposite);
  UnRegisterClass(TVantrelRenderPassDeferredComposite::StaticClass());
}

} // namespace vantrel
