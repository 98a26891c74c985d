#include "rendering/Vantrel.Controller.Passes.VSMStoreDepth.h"

#include "materials/Vantrel.Material.Default.h"

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Controller.Passes.SMStoreDepth.h"
#include "rendering/Vantrel.Renderer.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVSMStoreDepthMaterial, "Vantrel.Controller.Passes.VSMStoreDepth")
RTL_DEFINE_CLASS(TVSMStoreDepthMaterialSource, "Vantrel.Controller.Passes.VSMStoreDepth")
RTL_DEFINE_CLASS(TVantrelRenderPassVSMStoreDepth, "Vantrel.Controller.Passes.VSMStoreDepth")

namespace {

TContextShaderSource GLSLSource(const std::string& ACode, std::vector<TContextShaderVariable> AVariables) {
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()), std::move(AVariables)};
}

TVantrelContext& FrameworkContextOf(TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return *context;
}

} // namespace

// ---- Material ---------------------------------------------------------------------------------------

std::string TVSMStoreDepthMaterial::VertexMomentsText() {
  return std::string(SPassShaderHeader) + "in vec3 a_Position;\r\n"
                                          "uniform mat4 _ModelViewProjMatrix;\r\n"
                                          "out vec4 v_Position;\r\n"
                                          "void main(){\r\n"
                                          "  v_Position = _ModelViewProjMatrix * vec4(a_Position, 1.0);\r\n"
                                          "  gl_Position = v_Position;\r\n"
                                          "}\r\n";
}

std::string TVSMStoreDepthMaterial::PixelMomentsText() {
  return std::string(SPassShaderHeader) + "in vec4 v_Position;\r\n"
                                          "layout (location = 0) out vec2 o_FragColor;\r\n"
                                          "void main(){\r\n"
                                          "  float depth = v_Position.z / v_Position.w;\r\n"
                                          "  depth = depth * 0.5 + 0.5;\r\n"
                                          "  float moment1 = depth;\r\n"
                                          "  float moment2 = depth * depth;\r\n"
                                          "  float dx = dFdx(depth);\r\n"
                                          "  float dy = dFdy(depth);\r\n"
                                          "  moment2 += 0.25 * (dx * dx + dy * dy);\r\n"
                                          "  o_FragColor = vec2(moment1, moment2);\r\n"
                                          "}\r\n";
}

void TVSMStoreDepthMaterial::DoInitialize() {
  const std::string address = Format("%d", reinterpret_cast<intptr_t>(this));
  FVertexShader = TShaderManager::RegisterShaderFromData(
      "VSMStoreDepth-" + address + ".fvs", TContextShaderKind::VertexShader, "",
      {GLSLSource(VertexMomentsText(), {{"ModelViewProjMatrix", TContextShaderVariableKind::Matrix, 0, 4, 0,
                                         TContextShaderKind::VertexShader}})});
  FPixelShader = TShaderManager::RegisterShaderFromData("VSMStoreDepth-" + address + ".fps",
                                                        TContextShaderKind::PixelShader, "",
                                                        {GLSLSource(PixelMomentsText(), {})});
}

void TVSMStoreDepthMaterial::DoApply(TContext3D* AContext) {
  AContext->SetShaders(FVertexShader, FPixelShader);
  TVantrelContext& context = FrameworkContextOf(AContext);
  context.SetContextStates({TContextState::csZTestOn, TContextState::csZWriteOn, TContextState::csFrontFace});
  if (Source() && Source()->OwnerPass())
    context.SetShaderVariable("ModelViewProjMatrix",
                              Source()->OwnerPass()->GetCurrentModelViewProjectionMatrix(), true);
}

TOwned<TMaterial> TVSMStoreDepthMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TVSMStoreDepthMaterial>(this);
}

// ---- Pass -------------------------------------------------------------------------------------------

void TVantrelRenderPassVSMStoreDepth::InitPassDefaults() {
  TVantrelRenderPassCustomDepth::InitPassDefaults();
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RenderListToFBO;
  FRendererFlags = TRendererFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  SetViewportSize(TPoint{1024, 1024});
  FOverwriteViewportSize = true;
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassVSMStoreDepth::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TVSMStoreDepthMaterialSource>(this);
}

TLight* TVantrelRenderPassVSMStoreDepth::GetLight() const {
  auto* source = dynamic_cast<TVSMStoreDepthMaterialSource*>(Shader());
  return source ? source->Light() : nullptr;
}

void TVantrelRenderPassVSMStoreDepth::SetLight(TLight* AValue) {
  auto* source = dynamic_cast<TVSMStoreDepthMaterialSource*>(Shader());
  if (!source || source->Light() == AValue)
    return;
  if (source->Light())
    RemoveFreeNotification(source->Light());
  source->SetLight(AValue);
  if (AValue)
    FreeNotification(AValue);
}

void TVantrelRenderPassVSMStoreDepth::Notification(TComponent* AComponent, TOperation AOperation) {
  TVantrelRenderPassCustomDepth::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove && AComponent && AComponent == GetLight())
    if (auto* source = dynamic_cast<TVSMStoreDepthMaterialSource*>(Shader()))
      source->SetLight(nullptr);
}

TMatrix3D TVantrelRenderPassVSMStoreDepth::GetViewMatrix(TContext3D* AContext) {
  TLight* light = GetLight();
  if (!light)
    return TVantrelRenderPassCustomDepth::GetViewMatrix(AContext);
  FViewMatrix = LightViewMatrix(light, FViewport, FViewMatrix);
  FRecalcViewMatrix = false;
  return FViewMatrix;
}

void TVantrelRenderPassVSMStoreDepth::DoOnRenderPass(TContext3D* AContext, int32_t ACount,
                                                     TRenderPass* APass) {
  TVantrelRenderPassCustomDepth::DoOnRenderPass(AContext, ACount, APass);
  FRecalcViewMatrix = true;
  TRenderer* renderer = GetRenderer();
  if (!renderer || !renderer->GetSharedContext())
    return;
  TVantrelContext& context = FrameworkContextOf(renderer->GetSharedContext());
  context.SetContextStates({TContextState::csZTestOn, TContextState::csZWriteOn,
                            TContextState::csColorWriteOn, TContextState::csFrontFace});
  SetupMatrices(&context);
}

void TVantrelRenderPassVSMStoreDepth::DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount,
                                                             TRenderPass* APass) {
  TRenderer* renderer = GetRenderer();
  if (renderer && renderer->GetSharedContext()) {
    TVantrelContext& context = FrameworkContextOf(renderer->GetSharedContext());
    context.SetContextState(TContextState::csZTestOff);
    context.SetContextState(TContextState::csZWriteOff);
    context.SetContextState(TContextState::csFrontFace);
  }
  TVantrelRenderPassCustomDepth::DoOnRenderPassFinished(AContext, ACount, APass);
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int VSMStoreDepthInitCount = 0;
}

void InitializeVSMStoreDepthPass() {
  if (VSMStoreDepthInitCount++ > 0)
    return;
  // The default material's shadow and depth branches test their inputs against this class.
  SetPassClass(TVantrelPassClassRef::VSMStoreDepth, &TVantrelRenderPassVSMStoreDepth::StaticClass());
}

void FinalizeVSMStoreDepthPass() {
  if (VSMStoreDepthInitCount == 0 || --VSMStoreDepthInitCount > 0)
    return;
  SetPassClass(TVantrelPassClassRef::VSMStoreDepth, nullptr);
}

} // namespace vantrel
