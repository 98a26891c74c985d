#include "rendering/Vantrel.Controller.Passes.Voxelize.h"

#include <algorithm>
#include <cmath>

#include "context/Vantrel.Context.Frustum.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVoxelizeMaterial, "Vantrel.Controller.Passes.Voxelize")
RTL_DEFINE_CLASS(TVoxelizeMaterialSource, "Vantrel.Controller.Passes.Voxelize")
RTL_DEFINE_CLASS(TVantrelRenderPassVoxelize, "Vantrel.Controller.Passes.Voxelize",
                 &TVantrelRenderPassVoxelize::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelRenderPassEmbeddedVoxelize, "Vantrel.Controller.Passes.Voxelize")

// ---- Shared light functions -------------------------------------------------------------------------

const char* const SVoxelGetDirLightDir =
    "vec4 GetDirLightDir(Light light, vec3 p, out float dist, out vec3 halfVec){\r\n"
    "  dist = length(light._Position.xyz - p);\r\n"
    "  halfVec = vec3(0.0);\r\n"
    "  return -light._Direction;\r\n"
    "}\r\n";

const char* const SVoxelGetPointLightDir =
    "vec4 GetPointLightDir(Light light, vec3 p, out float dist, out vec3 halfVec){\r\n"
    "  vec3 VP = light._Position.xyz - p;\r\n"
    "  dist = length(VP);\r\n"
    "  halfVec = normalize(VP - p);\r\n"
    "  return vec4(normalize(VP), 0.0);\r\n"
    "}\r\n";

const char* const SVoxelGetSpotLightDir =
    "vec4 GetSpotLightDir(Light light, vec3 p, out float dist, out vec3 halfVec){\r\n"
    "  vec3 VP = light._Position.xyz - p;\r\n"
    "  dist = length(VP);\r\n"
    "  halfVec = normalize(VP);\r\n"
    "  return -light._Direction;\r\n"
    "}\r\n";

const char* const SVoxelGetLightDir =
    "vec4 GetLightDir(Light light, vec3 p, out float dist, out vec3 halfVec){\r\n"
    "  if (light._LightType == 0) return GetDirLightDir(light, p, dist, halfVec);\r\n"
    "  if (light._LightType == 1) return GetPointLightDir(light, p, dist, halfVec);\r\n"
    "  return GetSpotLightDir(light, p, dist, halfVec);\r\n"
    "}\r\n";

const char* const SVoxelGetAttenuation =
    "float getAttenuation(Light light, float d, vec3 halfVec){\r\n"
    "  float attenuation = 1.0 / (light._ConstantAttenuation + light._LinearAttenuation * d +\r\n"
    "                             light._QuadraticAttenuation * d * d);\r\n"
    "  if (light._LightType == 2){\r\n"
    "    float spot = dot(-halfVec, normalize(light._Direction.xyz));\r\n"
    "    if (spot < light._SpotCosCutoff) attenuation *= 0.0;\r\n"
    "    else attenuation *= pow(spot, light._SpotExponent);\r\n"
    "  }\r\n"
    "  return attenuation;\r\n"
    "}\r\n";

namespace {

// The vertex stage also hands on the absolute world position, which the lighting uses.
constexpr const char* VertexBody =
    "in vec3 a_Position;\r\n"
    "in vec3 a_Normal;\r\n"
    "in mat4 a_ModelMatrix;\r\n"
    "uniform mat4 _ModelViewProjectionMatrix;\r\n"
    "uniform float _SceneScale;\r\n"
    "uniform vec3 _VoxelCenter;\r\n"
    "out vec3 v_WorldPositionGeom;\r\n"
    "out vec3 v_WorldPosAbsGeom;\r\n"
    "out vec3 v_NormalGeom;\r\n"
    "void main(){\r\n"
    "  vec3 world = (a_ModelMatrix * vec4(a_Position, 1.0)).xyz;\r\n"
    "  v_WorldPosAbsGeom = world;\r\n"
    "  v_WorldPositionGeom = (world - _VoxelCenter.xyz) / _SceneScale;\r\n"
    "  v_NormalGeom = mat3(transpose(inverse(a_ModelMatrix))) * a_Normal;\r\n"
    "  gl_Position = _ModelViewProjectionMatrix * vec4(a_Position, 1.0);\r\n"
    "}\r\n";

constexpr const char* GeometryHeader = "#version 430\r\n\r\n\r\n\r\n";

// Rasterises each triangle on the plane of its largest projected area.
constexpr const char* GeometryBody =
    "layout(triangles) in;\r\n"
    "layout(triangle_strip, max_vertices = 3) out;\r\n"
    "in vec3 v_WorldPositionGeom[];\r\n"
    "in vec3 v_WorldPosAbsGeom[];\r\n"
    "in vec3 v_NormalGeom[];\r\n"
    "out vec3 v_WorldPositionFrag;\r\n"
    "out vec3 v_WorldPosAbsFrag;\r\n"
    "out vec3 v_NormalFrag;\r\n"
    "void main(){\r\n"
    "  vec3 p1 = v_WorldPositionGeom[1] - v_WorldPositionGeom[0];\r\n"
    "  vec3 p2 = v_WorldPositionGeom[2] - v_WorldPositionGeom[0];\r\n"
    "  vec3 faceNormal = abs(cross(p1, p2));\r\n"
    "  float dominant = max(faceNormal.x, max(faceNormal.y, faceNormal.z));\r\n"
    "  for (int i = 0; i < 3; ++i){\r\n"
    "    vec3 p = v_WorldPositionGeom[i];\r\n"
    "    v_WorldPositionFrag = p;\r\n"
    "    v_WorldPosAbsFrag = v_WorldPosAbsGeom[i];\r\n"
    "    v_NormalFrag = v_NormalGeom[i];\r\n"
    "    if (dominant == faceNormal.x) gl_Position = vec4(p.zyx, 1.0);\r\n"
    "    else if (dominant == faceNormal.y) gl_Position = vec4(p.xzy, 1.0);\r\n"
    "    else gl_Position = vec4(p.xyz, 1.0);\r\n"
    "    EmitVertex();\r\n"
    "  }\r\n"
    "  EndPrimitive();\r\n"
    "}\r\n";

constexpr const char* Defines = "#define MAX_LIGHTS 8\r\n"
                                "#define DIST_FACTOR 1.1f\r\n"
                                "#define CONSTANT 1.0f\r\n"
                                "#define LINEAR 0.0f\r\n"
                                "#define QUADRATIC 1.0f\r\n";

constexpr const char* MaterialStruct = "struct TVoxelMaterial {\r\n"
                                       "  vec4 _DiffuseColor;\r\n"
                                       "  vec4 _SpecularColor;\r\n"
                                       "  float _DiffuseReflectivity;\r\n"
                                       "  float _SpecularReflectivity;\r\n"
                                       "  float _Emissivity;\r\n"
                                       "  float _Transparency;\r\n"
                                       "};\r\n";

// No binding qualifier on the image: image unit 0, where the texture hook binds the volume.
constexpr const char* BlockImageInputs = "layout (binding=0, std140) uniform VoxelizeShaderData{\r\n"
                                         "  TVoxelMaterial _Material;\r\n"
                                         "  vec3 _TextureOffset;\r\n"
                                         "  int _NumberOfLights;\r\n"
                                         "  Light _Lights[MAX_LIGHTS];\r\n"
                                         "};\r\n"
                                         "layout (rgba8) writeonly restrict uniform image3D _Texture3D;\r\n"
                                         "in vec3 v_WorldPositionFrag;\r\n"
                                         "in vec3 v_WorldPosAbsFrag;\r\n"
                                         "in vec3 v_NormalFrag;\r\n";

constexpr const char* ComputeSpotFalloff =
    "float computeSpotFalloff(Light light, vec3 lightDir){\r\n"
    "  float spot = dot(-lightDir, normalize(light._Direction.xyz));\r\n"
    "  return spot < light._SpotCosCutoff ? 0.0 : pow(spot, light._SpotExponent);\r\n"
    "}\r\n";

constexpr const char* CalculateLight =
    "vec3 calculateLight(int i){\r\n"
    "  float dist;\r\n"
    "  vec3 halfVec;\r\n"
    "  vec4 lightDir = GetLightDir(_Lights[i], v_WorldPosAbsFrag, dist, halfVec);\r\n"
    "  float d = max(dot(normalize(v_NormalFrag), lightDir.xyz), 0.0);\r\n"
    "  return d * getAttenuation(_Lights[i], dist, halfVec) * _Lights[i]._Diffuse.rgb;\r\n"
    "}\r\n";

// Each texel index is kept inside its cascade before the cascade's offset is added.
constexpr const char* PixelMain =
    "void main(){\r\n"
    "  vec3 sum = vec3(0.0);\r\n"
    "  int count = min(_NumberOfLights, MAX_LIGHTS);\r\n"
    "  for (int i = 0; i < count; ++i) sum += calculateLight(i);\r\n"
    "  vec3 spec = _Material._SpecularReflectivity * _Material._SpecularColor.rgb;\r\n"
    "  vec3 diff = _Material._DiffuseReflectivity * _Material._DiffuseColor.rgb;\r\n"
    "  vec3 colour = (diff + spec) * sum + clamp(_Material._Emissivity, 0.0, 1.0) * _Material._DiffuseColor.rgb;\r\n"
    "  ivec3 size = imageSize(_Texture3D);\r\n"
    "  size.z = size.x;\r\n"
    "  ivec3 location = clamp(ivec3(0.5 * (v_WorldPositionFrag + 1.0) * vec3(size)), ivec3(0), size - 1);\r\n"
    "  imageStore(_Texture3D, location + ivec3(_TextureOffset), vec4(colour, 1.0));\r\n"
    "}\r\n";

TContextShaderSource GLSLSource(const std::string& ACode, std::vector<TContextShaderVariable> AVariables) {
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()), std::move(AVariables)};
}

// Half-edge of each cascade's cube in world units; iterations from 7 on share the last.
constexpr float CascadeScales[TVantrelRenderPassVoxelize::CascadeCount] = {2, 4, 8, 16, 32, 48, 64, 128};

constexpr TRendererFlags AllFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};

} // namespace

// ---- Material ---------------------------------------------------------------------------------------

std::string TVoxelizeMaterial::VertexShaderText() { return std::string(SPassShaderHeader) + VertexBody; }

std::string TVoxelizeMaterial::GeometryShaderText() { return std::string(GeometryHeader) + GeometryBody; }

std::string TVoxelizeMaterial::PixelShaderText() {
  return std::string(SPassShaderHeader) + Defines + SCompositeLightStruct + MaterialStruct + BlockImageInputs +
         SVoxelGetDirLightDir + SVoxelGetPointLightDir + SVoxelGetSpotLightDir + SVoxelGetLightDir +
         ComputeSpotFalloff + SVoxelGetAttenuation + CalculateLight + PixelMain;
}

void TVoxelizeMaterial::DoInitialize() {
  using K = TContextShaderVariableKind;
  const std::string tag = Format("Voxelize-%d", reinterpret_cast<intptr_t>(this));
  FVertexShader = TShaderManager::RegisterShaderFromData(
      tag + ".fvs", TContextShaderKind::VertexShader, "",
      {GLSLSource(VertexShaderText(),
                  {{"ModelViewProjectionMatrix", K::Matrix, 0, 4, 0, TContextShaderKind::VertexShader},
                   {"SceneScale", K::Float, 1, 1, 0, TContextShaderKind::VertexShader},
                   {"VoxelCenter", K::Float3, 2, 1, 0, TContextShaderKind::VertexShader}})});
  FGeometryShader = TShaderManager::RegisterShaderFromData(
      tag + ".fgs", static_cast<TContextShaderKind>(TContextShaderKindEx::GeometryShader), "",
      {GLSLSource(GeometryShaderText(), {})});
  FPixelShader = TShaderManager::RegisterShaderFromData(
      tag + ".fps", TContextShaderKind::PixelShader, "",
      {GLSLSource(PixelShaderText(), {{"Texture3D", K::Texture3D, 1, 0, 0, TContextShaderKind::PixelShader}})});
}

void TVoxelizeMaterial::BeforeDestruction() {
  // Freeing the geometry stage drops every listed program linked from it, this material's
  // five-stage program included.
  TShaderManager::UnregisterShader(FGeometryShader);
  FGeometryShader = nullptr;
  FTessEvalShader = nullptr;
  inherited::BeforeDestruction();
}

void TVoxelizeMaterial::SetFocalLength(float AValue) { FFocalLength = std::clamp(AValue, 1.0f, 50.0f); }

void TVoxelizeMaterial::DoApply(TContext3D* AContext) {
  auto* context = CheckedCast<TVantrelContext>(AContext);
  context->SetShaders(FVertexShader, FGeometryShader, nullptr, nullptr, FPixelShader);
  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  if (!FParamsInitialized) {
    if (program)
      program->RegisterUniformBuffer("VoxelizeShaderData", &FVoxelizeParams, sizeof(FVoxelizeParams));
    FParamsInitialized = true;
  }
  context->SetContextStates({TContextState::csZTestOff, TContextState::csAlphaBlendOff,
                             TContextState::csColorWriteOff, TContextState::csAllFace});
  // The vertex stage reads the model matrix from the instance attributes; a draw that set no
  // instances would read the generic value and collapse every vertex onto one point.
  if (context->GetInstanceCount() == 0) {
    const TMatrix3D model = context->CurrentMatrix();
    context->SetInstances(1, &model);
  }
  context->SetShaderVariable("ModelViewProjectionMatrix", context->CurrentModelViewProjectionMatrix(), true);
  const TVantrelFrustum frustum = context->GetFrustum();
  const TPoint3D eye = frustum.Position();
  FVoxelCenter = eye + frustum.Direction() * std::min(FFocalLength, eye.Length());
  const TVector3D center[1] = {TVector3D(FVoxelCenter.X, FVoxelCenter.Y, FVoxelCenter.Z, 1)};
  context->SetShaderVariable("VoxelCenter", center);
  const TVector3D scale[1] = {TVector3D(FSceneScale, 0, 0, 0)};
  context->SetShaderVariable("SceneScale", scale);
  FVoxelizeParams.NumberOfLights = CopyEnabledShaderLights(*context, FVoxelizeParams.Lights);
  auto* pass = Source() ? dynamic_cast<TVantrelRenderPassVoxelize*>(Source()->OwnerPass()) : nullptr;
  if (pass && pass->GetOutputTexture())
    if (auto* volume = dynamic_cast<TVantrelTexture*>(pass->GetTexture3D())) {
      volume->SetImageAccessable(false);
      context->SetShaderVariable("Texture3D", volume);
    }
  if (program)
    program->PushUniformBuffers();
}

// ---- Source -----------------------------------------------------------------------------------------

TOwned<TMaterial> TVoxelizeMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TVoxelizeMaterial>(this);
}

// ---- Pass -------------------------------------------------------------------------------------------

void TVantrelRenderPassVoxelize::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelRenderPassVoxelize;
  // Declared again with the pass's own defaults: a fresh pass stores nothing.
  AList.Add("Iterations", &C::GetIterations, &C::SetIterations).WithDefault(int32_t(CascadeCount));
  AList.Add("RenderProc", &C::GetRenderProc, &C::SetRenderProc)
      .WithDefault(TRenderPassRenderingProc::ListRendering);
  AList.Add("OverwriteViewportSize", &C::GetOverwriteViewportSize, &C::SetOverwriteViewportSize).WithDefault(true);
  AList.Add("VoxelSize", &C::GetVoxelSize, &C::SetVoxelSize).WithDefault(int32_t(128));
  AList.Add("FocalLength", &C::GetFocalLength, &C::SetFocalLength).WithDefault(10.0f);
}

void TVantrelRenderPassVoxelize::InitPassDefaults() {
  FVoxelSize = 128;
  TVantrelRenderPassController::InitPassDefaults();
  SetIterations(CascadeCount);
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RenderListToFBO;
  FRenderProc = TRenderPassRenderingProc::ListRendering;
  FlagMatrices();
  SetShader(CreateShader());
  Shader()->SetStored(false);
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassVoxelize::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TVoxelizeMaterialSource>(this);
}

void TVantrelRenderPassVoxelize::CreatePassRenderer() {
  FViewportSize = {FVoxelSize, FVoxelSize};
  FOverwriteViewportSize = true;
  FRendererFlags = AllFlags;
  TVantrelRenderPassController::CreatePassRenderer();
  if (TRenderer* renderer = GetRenderer())
    renderer->SetRenderTargets(TRenderTargets{TRenderTarget::Color_0});
}

// The renderer makes its ordinary composite texture; the volume is not made here. A pass makes
// several renderers before it is used (construction alone makes three, and a size set right after
// makes another), so the volume waits for its first use (see Volume()) and is never built at the
// default size only to be thrown away. One of another scale is dropped at once.
void TVantrelRenderPassVoxelize::DoCreateCompositeTexture(TObject*, const TPoint&, float AScale,
                                                          TVantrelTextureBitmap*&) {
  FVolumeScale = AScale;
  DropStaleVolume();
}

void TVantrelRenderPassVoxelize::DropStaleVolume() {
  if (FVoxels && (FVoxels->Width() != FVoxelSize || FVoxels->BitmapScale() != FVolumeScale))
    FVoxels.reset();
}

TVantrelTextureBitmap* TVantrelRenderPassVoxelize::Volume() {
  DropStaleVolume();
  if (FVoxels || !GetRenderer())
    return FVoxels.get();
  TOwned<TVantrelTextureBitmap> volume(TVantrelTextureBitmap::Create());
  volume->BeginSetup();
  volume->SetKind(TVantrelTextureKind::ImageTexture3D);
  volume->SetStyle(TTextureStyles{});
  volume->SetBitmapScale(FVolumeScale);
  volume->SetDataType(TVantrelTextureDataType::dtUnsignedByte);
  volume->SetComponents(TPixelFormatEx::RGBA8);
  volume->SetFormat(TPixelFormatEx::RGBA);
  volume->SetMinFilter(TTextureFilter::Linear);
  volume->SetMagFilter(TTextureFilter::Linear);
  volume->SetWrapS(TVantrelTextureWrap::ClampToBorder);
  volume->SetWrapT(TVantrelTextureWrap::ClampToBorder);
  volume->SetWrapR(TVantrelTextureWrap::ClampToBorder);
  volume->Set3DSize(FVoxelSize, FVoxelSize, FVoxelSize * CascadeCount);
  volume->EndSetup();
  if (TTexture* texture = volume->Texture())
    texture->SetTextureScale(FVolumeScale);
  FVoxels = std::move(volume);
  return FVoxels.get();
}

void TVantrelRenderPassVoxelize::SetVoxelSize(int32_t AValue) {
  // Below 32 the volume would be empty or of negative size.
  FVoxelSize = std::max(std::min(AValue - AValue % 32, 512), 32);
  // The old volume goes before the new renderer is made, so the two sizes are never held together.
  DropStaleVolume();
  FlagMatrices();
  CreatePassRenderer();
}

TVoxelizeMaterial* TVantrelRenderPassVoxelize::Material() const {
  auto* source = dynamic_cast<TVoxelizeMaterialSource*>(Shader());
  return source ? source->Material() : nullptr;
}

float TVantrelRenderPassVoxelize::GetFocalLength() const { return Material() ? Material()->FocalLength() : 10.0f; }

void TVantrelRenderPassVoxelize::SetFocalLength(float AValue) {
  if (TVoxelizeMaterial* material = Material())
    material->SetFocalLength(AValue);
}

TPoint3D TVantrelRenderPassVoxelize::VoxelCenter() const {
  return Material() ? Material()->VoxelCenter() : TPoint3D{};
}

int32_t TVantrelRenderPassVoxelize::GetVoxelSizeFromDetail(const TContext3D* AContext, int32_t& ADetail) {
  static constexpr int32_t Sizes[7] = {32, 64, 128, 192, 256, 384, 512};
  const auto sizeOf = [](int32_t ADetailLevel) {
    return ADetailLevel >= 1 && ADetailLevel <= 7 ? Sizes[ADetailLevel - 1] : 64;
  };
  int32_t size = sizeOf(ADetail);
  if (!AContext)
    return size;
  const int64_t limit = TVantrelContext::MaxTexture3DSize();
  while (ADetail > 0 && int64_t(size) * 8 > limit) {
    --ADetail;
    size = ADetail == 0 ? 32 : sizeOf(ADetail);
  }
  return size;
}

TTexture* TVantrelRenderPassVoxelize::GetTexture3D() {
  TVantrelTextureBitmap* volume = Volume();
  return volume ? volume->VantrelTexture() : nullptr;
}

TTexture* TVantrelRenderPassVoxelize::GetOutputTexture() {
  if (!FViewport)
    return nullptr;
  if (TTexture* texture = GetTexture3D())
    return texture;
  Log::d(Format(SControllerOutputNotAssigned, ClassName()));
  return nullptr;
}

bool TVantrelRenderPassVoxelize::IsPrimitivesKindSupported(TPrimitivesKind AKind) const {
  return AKind == TPrimitivesKind::Triangles;
}

TMatrix3D TVantrelRenderPassVoxelize::GetProjectionMatrix(TContext3D*) {
  FProjMatrix = TMatrix3D::CreateOrthoRH(float(FVoxelSize), float(FVoxelSize), 0.1f, 1000.0f);
  FRecalcProjMatrix = false;
  return FProjMatrix;
}

void TVantrelRenderPassVoxelize::SetupMatrices(TContext3D* AContext) {
  TContext3D* context = GetRenderPassContext();
  if (!context)
    return;
  const TMatrix3D projection = GetProjectionMatrix(AContext);
  const TMatrix3D view = GetViewMatrix(AContext);
  context->SetCameraMatrix(view);
  if (TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr)
    context->SetCameraAngleOfView(camera->AngleOfView());
  FTextureMatrix = view * projection;
}

void TVantrelRenderPassVoxelize::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  TVoxelizeMaterial* material = Material();
  if (!context || !material)
    return;
  const int32_t cascade = std::clamp(ACount, 0, CascadeCount - 1);
  material->SetSceneScale(CascadeScales[cascade]);
  material->SetTextureOffset(TPoint3D{0, 0, float(cascade * FVoxelSize)});
  SetupMatrices(context);
  if (ACount == 0)
    if (auto* volume = dynamic_cast<TVantrelTexture*>(GetTexture3D()))
      volume->Clear();
}

void TVantrelRenderPassVoxelize::EndRenderPassRendering(TContext3D* AContext) {
  TVantrelRenderPassController::EndRenderPassRendering(AContext);
  auto* context = dynamic_cast<TVantrelContext*>(GetRenderPassContext());
  if (!context)
    return;
  context->SetContextState(TContextState::csColorWriteOn);
  context->SetMemoryBarrierBit(TMemoryBarrierFlag::ShaderImageAccessBarrierBit);
  if (auto* volume = dynamic_cast<TVantrelTexture*>(GetTexture3D()))
    volume->SetImageAccessable(true);
  if (ComponentState().Contains(TComponentStateItem::csDesigning) && GetFrameCount() % 30 != 0)
    SkipRendering();
}

void TVantrelRenderPassVoxelize::DoOnRenderPassUpdated(TRenderPass* APass) {
  if (APass)
    APass->SetOnApplyMaterial([](TObject*, TMaterial*) {});
}

void TVantrelRenderPassVoxelize::BeforeDestruction() {
  FShader.reset();
  FVoxels.reset();
  TVantrelRenderPassController::BeforeDestruction();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int VoxelizeInitCount = 0;
}

void InitializeVoxelizePass() {
  if (VoxelizeInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassVoxelize::StaticClass());
  TInternalPassBinding binding;
  binding.Class = &TVantrelRenderPassEmbeddedVoxelize::StaticClass();
  binding.Configure = [](TVantrelRenderPassController& AController, TCompositeRenderer& ARenderer) {
    auto& pass = static_cast<TVantrelRenderPassEmbeddedVoxelize&>(AController);
    const int32_t requested = ARenderer.GetGlobalIllumDetail();
    int32_t detail = requested;
    if (!pass.SizedByRenderer || detail > 0) {
      const int32_t size = TVantrelRenderPassVoxelize::GetVoxelSizeFromDetail(ARenderer.GetSharedContext(), detail);
      pass.SizedByRenderer = true;
      // The renderer built the volume at the pass's current size already.
      if (pass.GetVoxelSize() != size)
        pass.SetVoxelSize(size);
      // The renderer keeps the lowered detail; storing it configures the three passes again, and
      // this time nothing is lowered.
      if (detail != requested) {
        ARenderer.SetGlobalIllumDetail(detail);
        return;
      }
    }
    pass.SetEnabled(detail > 0);
    // The renderer linked its owner viewport when it made the pass (without entering it in the
    // viewport's pass list), so the pass is not linked again: a listed pass would rebuild its
    // volume on every viewport resize and count twice in the frame diagnostics.
  };
  RegisterInternalPass(TInternalPassKind::Voxelize, std::move(binding));
}

void FinalizeVoxelizePass() {
  if (VoxelizeInitCount == 0 || --VoxelizeInitCount > 0)
    return;
  UnregisterInternalPass(TInternalPassKind::Voxelize);
  UnRegisterClass(TVantrelRenderPassVoxelize::StaticClass());
}

} // namespace vantrel
