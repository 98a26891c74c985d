#include "rendering/Vantrel.Controller.Passes.GlobalIllumination.h"

#include <algorithm>
#include <cstring>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Controller.Passes.Voxelize.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TGlobalIllumMaterial, "Vantrel.Controller.Passes.GlobalIllumination")
RTL_DEFINE_CLASS(TGlobalIllumMaterialSource, "Vantrel.Controller.Passes.GlobalIllumination")
RTL_DEFINE_CLASS(TVantrelRenderPassGlobalIllum, "Vantrel.Controller.Passes.GlobalIllumination",
                 &TVantrelRenderPassGlobalIllum::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelRenderPassEmbeddedGlobalIllum, "Vantrel.Controller.Passes.GlobalIllumination")

const char* const SGlobalIllumDeclarations = "#define MAX_LIGHTS 8\r\n"
                                             "layout (binding=0, std140) uniform GlobalIllumShaderData{\r\n"
                                             "  mat4 _ViewMatrix;\r\n"
                                             "  mat4 _ProjMatrix;\r\n"
                                             "  vec4 _CanvasSize;\r\n"
                                             "  vec3 _VoxelCenter;\r\n"
                                             "  int _GlobalIllum;\r\n"
                                             "  int _VoxelSize;\r\n"
                                             "  float _ShadowStrength;\r\n"
                                             "  float _Reflection;\r\n"
                                             "  int _NumberOfLights;\r\n"
                                             "  Light _Lights[MAX_LIGHTS];\r\n"
                                             "};\r\n"
                                             "uniform sampler2D _PositionTexture;\r\n"
                                             "uniform sampler2D _NormalsTexture;\r\n"
                                             "uniform sampler3D _VoxelGeometry;\r\n"
                                             "in vec4 TEX0;\r\n"
                                             "layout (location = 0) out vec4 o_FragColor;\r\n";

// The cascades lie along the texture's depth, one eighth each. A cone stops once its sample leaves
// the cascade's [0, 1] cube.
const char* const SGlobalIllumVoxelFunctions =
    "const int VOXEL_LEVEL_HARDCAP = 7;\r\n"
    "const vec3 VOXEL_SIZE = vec3(1.0, 1.0, 1.0 / 8.0);\r\n"
    "const float SCALINGS[8] = float[8](2.0f, 4.0f, 8.0f, 16.0f, 32.0f, 48.0f, 64.0f, 128.0f);\r\n"
    "bool isInsideOfVoxel(vec3 p){\r\n"
    "  return all(greaterThanEqual(p, vec3(0.0))) && all(lessThanEqual(p, vec3(1.0)));\r\n"
    "}\r\n"
    "vec3 scaleAndBias(vec3 location, int level){\r\n"
    "  return (location / SCALINGS[level] + 1.0) * 0.5;\r\n"
    "}\r\n"
    "int getLevelOfDetail(vec3 p){\r\n"
    "  float d = length(p);\r\n"
    "  if (d > 64.0) return 7;\r\n"
    "  if (d > 48.0) return 6;\r\n"
    "  if (d > 32.0) return 5;\r\n"
    "  if (d > 16.0) return 4;\r\n"
    "  if (d > 8.0) return 3;\r\n"
    "  if (d > 4.0) return 2;\r\n"
    "  if (d > 2.0) return 1;\r\n"
    "  return 0;\r\n"
    "}\r\n"
    "float getVoxel(int level, vec3 location){\r\n"
    "  return texture(_VoxelGeometry, location * VOXEL_SIZE + vec3(0.0, 0.0, float(level) / 8.0)).a;\r\n"
    "}\r\n"
    "vec4 getVoxelDiffuse(int level, vec3 location){\r\n"
    "  return texture(_VoxelGeometry, location * VOXEL_SIZE + vec3(0.0, 0.0, float(level) / 8.0));\r\n"
    "}\r\n"
    "float traceShadowCone(vec3 origin, vec3 dir, float maxDist){\r\n"
    "  dir = normalize(dir);\r\n"
    "  float occlusion = 0.0;\r\n"
    "  float dist = 0.1;\r\n"
    "  const float aperture = 0.75;\r\n"
    "  const float strength = 8.0;\r\n"
    "  maxDist = min(128.0, maxDist);\r\n"
    "  origin -= _VoxelCenter;\r\n"
    "  float coneDiameter = tan(aperture * 0.5);\r\n"
    "  float f[8];\r\n"
    "  for (int i = 0; i < 8; ++i) f[i] = max(0.015, SCALINGS[i] / float(_VoxelSize));\r\n"
    "  while (dist < maxDist && occlusion < 0.95){\r\n"
    "    vec3 pos = origin + dir * dist;\r\n"
    "    int level = getLevelOfDetail(pos);\r\n"
    "    vec3 s = scaleAndBias(pos, level);\r\n"
    "    if (!isInsideOfVoxel(s)) break;\r\n"
    "    float read = getVoxel(level, s) * smoothstep(0.0, maxDist, sqrt(dist) * strength);\r\n"
    "    occlusion += (1.0 - occlusion) * read;\r\n"
    "    dist += max(f[level], f[level] * dist * coneDiameter);\r\n"
    "  }\r\n"
    "  return occlusion * _ShadowStrength;\r\n"
    "}\r\n";

const char* const SGlobalIllumReflectionFunctions =
    "vec3 traceReflectionCone(vec3 origin, vec3 dir){\r\n"
    "  dir = normalize(dir);\r\n"
    "  vec3 colour = vec3(0.0);\r\n"
    "  float dist = 0.1;\r\n"
    "  const float maxDist = 128.0;\r\n"
    "  const float aperture = 0.65;\r\n"
    "  const float strength = 4.0;\r\n"
    "  origin -= _VoxelCenter;\r\n"
    "  float coneDiameter = tan(aperture * 0.5);\r\n"
    "  float f[8];\r\n"
    "  for (int i = 0; i < 8; ++i) f[i] = max(0.025, SCALINGS[i] / float(_VoxelSize));\r\n"
    "  float accumulated = 0.0;\r\n"
    "  while (dist < maxDist && accumulated < 1.0){\r\n"
    "    vec3 pos = origin + dir * dist;\r\n"
    "    int level = getLevelOfDetail(pos);\r\n"
    "    vec3 s = scaleAndBias(pos, level);\r\n"
    "    if (!isInsideOfVoxel(s)) break;\r\n"
    "    float weight = smoothstep(0.0, maxDist, sqrt(dist) * strength);\r\n"
    "    vec4 voxel = getVoxelDiffuse(level, s) * weight;\r\n"
    "    colour += voxel.rgb;\r\n"
    "    accumulated += voxel.a;\r\n"
    "    dist += max(f[level], f[level] * 0.5 * dist * coneDiameter);\r\n"
    "  }\r\n"
    "  return clamp(colour, 0.0, 1.0);\r\n"
    "}\r\n";

// Matrices are the runtime's row-major ones: (_ProjMatrix * _ViewMatrix) * v is the row vector
// v · V · P.
const char* const SGlobalIllumScatteringFunctions =
    "vec3 desaturate(vec3 c, float factor){\r\n"
    "  vec3 gray = vec3(dot(vec3(0.299, 0.587, 0.114), c));\r\n"
    "  return mix(c, gray, factor);\r\n"
    "}\r\n"
    "vec2 computeScreenPos(vec3 world){\r\n"
    "  vec4 clip = (_ProjMatrix * _ViewMatrix) * vec4(world, 1.0);\r\n"
    "  vec3 ndc = clip.xyz / clip.w;\r\n"
    "  return clamp(ndc.xy * 0.5 + 0.5, 0.0, 1.0);\r\n"
    "}\r\n"
    "vec2 computeLightScreenDir(Light light, vec4 fragdir){\r\n"
    "  if (light._LightType == 1) return TEX0.xy - computeScreenPos(light._Position.xyz);\r\n"
    "  vec4 l = -fragdir;\r\n"
    "  return ((_ProjMatrix * _ViewMatrix) * l).xy;\r\n"
    "}\r\n"
    "vec3 lightScattering(Light light, vec4 dir, float dist, float attenuation){\r\n"
    "  float intensity = light._Scattering.x;\r\n"
    "  if (intensity < 0.0001) return vec3(0.0);\r\n"
    "  float exposure = light._Scattering.y;\r\n"
    "  float decay = light._Scattering.z;\r\n"
    "  float density = light._Scattering.w;\r\n"
    "  const float weight = 5.56;\r\n"
    "  const int NUM_SAMPLES = 100;\r\n"
    "  vec2 delta = computeLightScreenDir(light, dir) * (1.0 / float(NUM_SAMPLES) * density);\r\n"
    "  vec2 uv = TEX0.xy;\r\n"
    "  float illuminationDecay = 1.0;\r\n"
    "  vec3 sum = vec3(0.0);\r\n"
    "  for (int i = 0; i < NUM_SAMPLES; ++i){\r\n"
    "    uv -= delta;\r\n"
    "    sum += abs(tex2D(_NormalsTexture, uv).rgb) * illuminationDecay * weight;\r\n"
    "    illuminationDecay *= decay;\r\n"
    "  }\r\n"
    "  vec3 outColor = vec3(1.0) - desaturate(sum, 1.0) * exposure;\r\n"
    "  outColor = outColor * light._Diffuse.rgb * light._Intensity * attenuation;\r\n"
    "  return outColor * intensity;\r\n"
    "}\r\n";

namespace {

constexpr const char* MainOpening = "void main(){\r\n"
                                    "  o_FragColor = vec4(0.0, 0.0, 0.0, 0.0);\r\n";

constexpr const char* MainBody =
    "  vec4 colour = vec4(0.0);\r\n"
    "  vec3 p = texture(_PositionTexture, TEX0.xy).xyz;\r\n"
    "  if (_Reflection > 0.0001)\r\n"
    "    colour.rgb += traceReflectionCone(p, tex2D(_NormalsTexture, TEX0.xy).xyz) * _Reflection;\r\n"
    "  float shadow = 0.0;\r\n"
    "  vec3 scattering = vec3(0.0);\r\n"
    "  int count = min(_NumberOfLights, MAX_LIGHTS);\r\n"
    "  for (int i = 0; i < count; ++i){\r\n"
    "    float dist;\r\n"
    "    vec3 halfVec;\r\n"
    "    vec4 dir = GetLightDir(_Lights[i], p, dist, halfVec);\r\n"
    "    float attenuation = getAttenuation(_Lights[i], dist, halfVec);\r\n"
    "    shadow += traceShadowCone(p, dir.xyz, dist);\r\n"
    "    scattering += lightScattering(_Lights[i], dir, dist, attenuation);\r\n"
    "  }\r\n"
    "  colour.rgb += scattering;\r\n"
    "  colour.a = clamp(shadow * 0.4, 0.0, 1.0);\r\n"
    "  o_FragColor = colour;\r\n";

constexpr const char* Closing = "  return;\r\n"
                                "}\r\n";

TContextShaderSource GLSLSource(const std::string& ACode, std::vector<TContextShaderVariable> AVariables) {
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()), std::move(AVariables)};
}

constexpr TRendererFlags AllFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};

} // namespace

// ---- Material ---------------------------------------------------------------------------------------

TGlobalIllumMaterial::TGlobalIllumMaterial() {
  std::memset(static_cast<void*>(&FShaderData), 0, sizeof(FShaderData));
  FShaderData.ShadowStrength = 0.4f;
  FShaderData.Reflection = 0;
}

std::string TGlobalIllumMaterial::VertexShaderText() {
  return std::string(SPassShaderHeader) + SCompositeVertexBody;
}

std::string TGlobalIllumMaterial::PixelPrologueText() {
  return std::string(SPassShaderHeader) + SCompositeLightStruct;
}

std::string TGlobalIllumMaterial::PixelShaderText() {
  return PixelPrologueText() + SGlobalIllumDeclarations + SPassTextureHelpers + SVoxelGetDirLightDir +
         SVoxelGetPointLightDir + SVoxelGetSpotLightDir + SVoxelGetLightDir + SVoxelGetAttenuation +
         SGlobalIllumVoxelFunctions + SGlobalIllumReflectionFunctions + SGlobalIllumScatteringFunctions +
         MainOpening + MainBody + Closing;
}

void TGlobalIllumMaterial::DoInitialize() {
  using K = TContextShaderVariableKind;
  const std::string tag = Format("global.illum-%d", reinterpret_cast<intptr_t>(this));
  FVertexShader = TShaderManager::RegisterShaderFromData(
      tag + ".fvs", TContextShaderKind::VertexShader, "",
      {GLSLSource(VertexShaderText(),
                  {{"ModelViewProjMatrix", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader}})});
  FPixelShader = TShaderManager::RegisterShaderFromData(
      tag + ".fps", TContextShaderKind::PixelShader, "",
      {GLSLSource(PixelShaderText(), {{"PositionTexture", K::Texture, 1, 0, 0, TContextShaderKind::PixelShader},
                                      {"NormalsTexture", K::Texture, 2, 0, 0, TContextShaderKind::PixelShader},
                                      {"VoxelGeometry", K::Texture, 3, 0, 0, TContextShaderKind::PixelShader}})});
}

void TGlobalIllumMaterial::BeforeDestruction() {
  FPositionTexture = nullptr;
  FNormalsTexture = nullptr;
  inherited::BeforeDestruction();
}

void TGlobalIllumMaterial::SetPositionTexture(TTexture* AValue) {
  if (FPositionTexture != AValue)
    FPositionTexture = AValue;
  DoChange();
}

void TGlobalIllumMaterial::SetNormalsTexture(TTexture* AValue) {
  if (FNormalsTexture != AValue)
    FNormalsTexture = AValue;
  DoChange();
}

void TGlobalIllumMaterial::DoApply(TContext3D* AContext) {
  auto* context = CheckedCast<TVantrelContext>(AContext);
  context->SetShaders(FVertexShader, FPixelShader);
  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  if (program && !FShaderDataRegistered) {
    program->RegisterUniformBuffer("GlobalIllumShaderData", &FShaderData, sizeof(FShaderData));
    FShaderDataRegistered = true;
  }
  auto* pass = Source() ? dynamic_cast<TVantrelRenderPassGlobalIllum*>(Source()->OwnerPass()) : nullptr;
  if (!pass)
    return;
  FShaderData.NumberOfLights = CopyEnabledShaderLights(*context, FShaderData.Lights);
  context->SetShaderVariable("ModelViewProjMatrix", pass->GetCurrentModelViewProjectionMatrix(), true);
  FShaderData.CanvasSize = TVector3D(float(context->Width()), float(context->Height()), 0, 0);
  context->SetShaderVariable("PositionTexture", FPositionTexture);
  context->SetShaderVariable("NormalsTexture", FNormalsTexture);
  if (auto* voxels = dynamic_cast<TVantrelRenderPassVoxelize*>(pass->GetVoxelGeometry())) {
    FShaderData.GlobalIllum = 1;
    context->SetShaderVariable("VoxelGeometry", voxels->GetTexture3D());
    FShaderData.VoxelCenter = voxels->VoxelCenter();
    FShaderData.VoxelSize = voxels->GetVoxelSize();
    FShaderData.ViewMatrix = voxels->GetViewMatrix();
    FShaderData.ProjMatrix = context->CurrentProjectionMatrix();
  } else {
    FShaderData.ViewMatrix = context->CurrentCameraMatrix();
    FShaderData.ProjMatrix = context->CurrentProjectionMatrix();
    FShaderData.VoxelCenter = TPoint3D{0, 0, 0};
    FShaderData.GlobalIllum = 0;
  }
  if (program)
    program->PushUniformBuffers();
}

// ---- Source -----------------------------------------------------------------------------------------

TOwned<TMaterial> TGlobalIllumMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TGlobalIllumMaterial>(this);
}

// ---- Pass -------------------------------------------------------------------------------------------

void TVantrelRenderPassGlobalIllum::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelRenderPassGlobalIllum;
  AList.Add("VoxelGeometry", &C::GetVoxelGeometry, &C::SetVoxelGeometry).AsReference();
  AList.Add("ShadowStrength", &C::GetShadowStrength, &C::SetShadowStrength).WithDefault(0.4f);
  AList.Add("ReflectionStrength", &C::GetReflectionStrength, &C::SetReflectionStrength).WithDefault(0.0f);
}

void TVantrelRenderPassGlobalIllum::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Post;
  FBlendings = TBlendSettings{};
  FMethod = TRenderPassMethod::RectToFBO;
  FRendererFlags = AllFlags;
  SetShader(CreateShader());
  Shader()->SetStored(false);
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassGlobalIllum::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TGlobalIllumMaterialSource>(this);
}

void TVantrelRenderPassGlobalIllum::CreatePassRenderer() {
  FRendererFlags = AllFlags;
  TVantrelRenderPassController::CreatePassRenderer();
}

TGlobalIllumMaterial* TVantrelRenderPassGlobalIllum::Material() const {
  auto* source = dynamic_cast<TGlobalIllumMaterialSource*>(Shader());
  return source ? source->Material() : nullptr;
}

TTexture* TVantrelRenderPassGlobalIllum::GetPosition() const {
  return Material() ? Material()->PositionTexture() : nullptr;
}

void TVantrelRenderPassGlobalIllum::SetPosition(TTexture* AValue) {
  if (TGlobalIllumMaterial* material = Material())
    material->SetPositionTexture(AValue);
}

TTexture* TVantrelRenderPassGlobalIllum::GetNormals() const {
  return Material() ? Material()->NormalsTexture() : nullptr;
}

void TVantrelRenderPassGlobalIllum::SetNormals(TTexture* AValue) {
  if (TGlobalIllumMaterial* material = Material())
    material->SetNormalsTexture(AValue);
}

void TVantrelRenderPassGlobalIllum::SetVoxelGeometry(TVantrelRenderPassController* AValue) {
  TVantrelRenderPassController* value = dynamic_cast<TVantrelRenderPassVoxelize*>(AValue);
  if (value == FVoxelGeometryPass)
    return;
  if (FVoxelGeometryPass)
    RemoveFreeNotification(FVoxelGeometryPass);
  FVoxelGeometryPass = value;
  if (value)
    FreeNotification(value);
}

float TVantrelRenderPassGlobalIllum::GetShadowStrength() const {
  return Material() ? Material()->ShaderData().ShadowStrength : 0.4f;
}

void TVantrelRenderPassGlobalIllum::SetShadowStrength(float AValue) {
  if (TGlobalIllumMaterial* material = Material())
    material->ShaderData().ShadowStrength = AValue;
}

float TVantrelRenderPassGlobalIllum::GetReflectionStrength() const {
  return Material() ? Material()->ShaderData().Reflection : 0.0f;
}

void TVantrelRenderPassGlobalIllum::SetReflectionStrength(float AValue) {
  if (TGlobalIllumMaterial* material = Material())
    material->ShaderData().Reflection = AValue;
}

void TVantrelRenderPassGlobalIllum::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelRenderPassController::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent && AComponent == FVoxelGeometryPass)
    FVoxelGeometryPass = nullptr;
}

void TVantrelRenderPassGlobalIllum::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  TRenderer* renderer = GetRenderer();
  auto* context = renderer ? renderer->FrameworkContext() : nullptr;
  if (!context)
    return;
  context->SetContextStates({TContextState::cs2DScene, TContextState::csZTestOff, TContextState::csZWriteOff,
                             TContextState::csAlphaBlendOff, TContextState::csStencilOff,
                             TContextState::csScissorOff, TContextState::csFrontFace});
  BeginFullTargetFrame(*context, FViewport);
}

void TVantrelRenderPassGlobalIllum::BeforeDestruction() {
  SetVoxelGeometry(nullptr);
  TVantrelRenderPassController::BeforeDestruction();
  FShader.reset();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int GlobalIllumInitCount = 0;
}

void InitializeGlobalIllumPass() {
  if (GlobalIllumInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassGlobalIllum::StaticClass());
  TInternalPassBinding binding;
  binding.Class = &TVantrelRenderPassEmbeddedGlobalIllum::StaticClass();
  binding.Configure = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer) {
    auto& pass = static_cast<TVantrelRenderPassGlobalIllum&>(AController);
    pass.SetEnabled(ARenderer.GetGlobalIllumDetail() > 0);
    pass.SetVoxelGeometry(ARenderer.GetInternalController(TInternalPassKind::Voxelize));
    pass.SetShadowStrength(ARenderer.GetShadowStrength());
    pass.SetReflectionStrength(ARenderer.GetReflectionStrength());
  };
  binding.Prepare = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer, bool AFirstRun) {
    if (!AFirstRun)
      return;
    auto& pass = static_cast<TVantrelRenderPassGlobalIllum&>(AController);
    pass.SetPosition(ARenderer.GetPositionTexture());
    pass.SetNormals(ARenderer.GetNormalsTexture());
    pass.SetVoxelGeometry(ARenderer.GetInternalController(TInternalPassKind::Voxelize));
  };
  RegisterInternalPass(TInternalPassKind::GlobalIllum, std::move(binding));
}

void FinalizeGlobalIllumPass() {
  if (GlobalIllumInitCount == 0 || --GlobalIllumInitCount > 0)
    return;
  UnregisterInternalPass(TInternalPassKind::GlobalIllum);
  UnRegisterClass(TVantrelRenderPassGlobalIllum::StaticClass());
}

} // namespace vantrel
