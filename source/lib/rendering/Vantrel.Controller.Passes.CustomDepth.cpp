#include "rendering/Vantrel.Controller.Passes.CustomDepth.h"

#include "materials/Vantrel.Material.Default.h"

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TCustomDepthMaterial, "Vantrel.Controller.Passes.CustomDepth")
RTL_DEFINE_CLASS(TCustomDepthMaterialSource, "Vantrel.Controller.Passes.CustomDepth")
RTL_DEFINE_CLASS(TVantrelRenderPassCustomDepth, "Vantrel.Controller.Passes.CustomDepth",
                 &TVantrelRenderPassCustomDepth::RegisterProperties)

namespace {

TContextShaderSource GLSLSource(const std::string& ACode, std::vector<TContextShaderVariable> AVariables) {
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(ACode.begin(), ACode.end()), std::move(AVariables)};
}

TContextShaderVariable Matrix(const char* AName, int32_t AIndex) {
  return {AName, TContextShaderVariableKind::Matrix, AIndex, 4, 0, TContextShaderKind::VertexShader};
}

constexpr TRendererFlags AllFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};

} // namespace

// ---- Material ---------------------------------------------------------------------------------------

std::string TCustomDepthMaterial::VertexText() {
  return std::string(SPassShaderHeader) + "in vec3 a_Position;\r\n"
                                          "uniform mat4 _ModelViewProjMatrix;\r\n"
                                          "void main(){\r\n"
                                          "  gl_Position = _ModelViewProjMatrix * vec4(a_Position, 1.0);\r\n"
                                          "}\r\n";
}

std::string TCustomDepthMaterial::VertexMVZText() {
  return std::string(SPassShaderHeader) +
         "in vec3 a_Position;\r\n"
         "uniform mat4 _ModelViewProjMatrix;\r\n"
         "uniform mat4 _ModelMatrix;\r\n"
         "uniform mat4 _ViewMatrix;\r\n"
         "out vec4 v_Position;\r\n"
         "void main(){\r\n"
         "  v_Position = (_ViewMatrix * _ModelMatrix) * vec4(a_Position, 1.0);\r\n"
         "  gl_Position = _ModelViewProjMatrix * vec4(a_Position, 1.0);\r\n"
         "}\r\n";
}

std::string TCustomDepthMaterial::VertexMVPZText() {
  return std::string(SPassShaderHeader) + "in vec3 a_Position;\r\n"
                                          "uniform mat4 _ModelViewProjMatrix;\r\n"
                                          "out vec4 v_Position;\r\n"
                                          "void main(){\r\n"
                                          "  v_Position = _ModelViewProjMatrix * vec4(a_Position, 1.0);\r\n"
                                          "  gl_Position = v_Position;\r\n"
                                          "}\r\n";
}

std::string TCustomDepthMaterial::PixelText() {
  return std::string(SPassShaderHeader) + "layout (location = 0) out float o_FragColor;\r\n"
                                          "void main(){\r\n"
                                          "  o_FragColor = gl_FragCoord.z;\r\n"
                                          "}\r\n";
}

std::string TCustomDepthMaterial::PixelZText() {
  return std::string(SPassShaderHeader) + "in vec4 v_Position;\r\n"
                                          "layout (location = 0) out float o_FragColor;\r\n"
                                          "void main(){\r\n"
                                          "  o_FragColor = v_Position.z;\r\n"
                                          "}\r\n";
}

void TCustomDepthMaterial::DoInitialize() {
  const std::string address = Format("%d", reinterpret_cast<intptr_t>(this));
  const auto vertex = [&](const std::string& AName, const std::string& AText,
                          std::vector<TContextShaderVariable> AVariables) {
    return TShaderManager::RegisterShaderFromData(AName, TContextShaderKind::VertexShader, "",
                                                  {GLSLSource(AText, std::move(AVariables))});
  };
  FVertexShader = vertex("CustomDepth-" + address + ".fvs", VertexText(), {Matrix("ModelViewProjMatrix", 0)});
  FVertexShaderMVZ =
      vertex("CustomDepthMVZ-" + address + ".fvs", VertexMVZText(),
             {Matrix("ModelViewProjMatrix", 0), Matrix("ModelMatrix", 1), Matrix("ViewMatrix", 2)});
  FVertexShaderMVPZ =
      vertex("CustomDepthMVPZ-" + address + ".fvs", VertexMVPZText(), {Matrix("ModelViewProjMatrix", 0)});
  FPixelShader = TShaderManager::RegisterShaderFromData(
      "CustomDepth-" + address + ".fps", TContextShaderKind::PixelShader, "", {GLSLSource(PixelText(), {})});
  // One name for every depth material: the shader manager hands them all the one object and counts
  // each registration.
  FPixelShaderZ = TShaderManager::RegisterShaderFromData("CustomDepthZ.fps", TContextShaderKind::PixelShader,
                                                         "", {GLSLSource(PixelZText(), {})});
}

void TCustomDepthMaterial::BeforeDestruction() {
  if (FPixelShaderZ) {
    if (FVertexShaderMVZ)
      TVantrelContext::RemoveProgram(FVertexShaderMVZ, FPixelShaderZ);
    if (FVertexShaderMVPZ)
      TVantrelContext::RemoveProgram(FVertexShaderMVPZ, FPixelShaderZ);
  }
  for (TContextShader** shader : {&FVertexShaderMVZ, &FVertexShaderMVPZ, &FPixelShaderZ}) {
    TShaderManager::UnregisterShader(*shader);
    *shader = nullptr;
  }
  inherited::BeforeDestruction();
}

void TCustomDepthMaterial::DoApply(TContext3D* AContext) {
  switch (FDepthMethod) {
  case TDepthMethod::dmMVPPosZ:
    AContext->SetShaders(FVertexShaderMVPZ, FPixelShaderZ);
    break;
  case TDepthMethod::dmModelViewPosZ:
    AContext->SetShaders(FVertexShaderMVZ, FPixelShaderZ);
    break;
  default:
    AContext->SetShaders(FVertexShader, FPixelShader);
  }
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    return;
  context->SetContextStates(
      {TContextState::csZTestOn, TContextState::csZWriteOn, TContextState::csFrontFace});
  if (Source() && Source()->OwnerPass())
    context->SetShaderVariable("ModelViewProjMatrix",
                               Source()->OwnerPass()->GetCurrentModelViewProjectionMatrix(), true);
  if (FDepthMethod == TDepthMethod::dmModelViewPosZ) {
    context->SetShaderVariable("ModelMatrix", context->CurrentMatrix(), true);
    context->SetShaderVariable("ViewMatrix", context->CurrentCameraMatrix(), true);
  }
}

// ---- Source -----------------------------------------------------------------------------------------

TOwned<TMaterial> TCustomDepthMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TCustomDepthMaterial>(this);
}

// ---- Pass -------------------------------------------------------------------------------------------

void TVantrelRenderPassCustomDepth::RegisterProperties(TPropertyList& AList) {
  using C = TVantrelRenderPassCustomDepth;
  // A depth pass draws its list through the list procedure: that is its default.
  AList.Add("RenderProc", &C::GetRenderProc, &C::SetRenderProc)
      .WithDefault(TRenderPassRenderingProc::ListRendering);
  AList.Add("DepthMethod", &C::GetDepthMethod, &C::SetDepthMethod).WithDefault(TDepthMethod::dmDefault);
}

void TVantrelRenderPassCustomDepth::InitPassDefaults() {
  TVantrelRenderPassController::InitPassDefaults();
  FType = TRenderPassType::Pre;
  FMethod = TRenderPassMethod::RenderListToFBO;
  FRenderProc = TRenderPassRenderingProc::ListRendering;
  FRendererFlags = AllFlags;
  FlagMatrices();
  FDefaultColor = 0xFF000000;
  FDefaultDepth = 1.0f;
  SetShader(CreateShader());
  Shader()->SetStored(false);
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassCustomDepth::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TCustomDepthMaterialSource>(this);
}

void TVantrelRenderPassCustomDepth::CreatePassRenderer() {
  TVantrelRenderPassController::CreatePassRenderer();
  if (TRenderer* renderer = GetRenderer())
    renderer->SetRenderTargets(TRenderTargets{TRenderTarget::Color_0});
}

TVantrelTextureBitmap* CreateDepthTexture(const TPoint& ASize, float AScale, TPixelFormatEx AComponents,
                                          TPixelFormatEx AFormat) {
  TVantrelTextureBitmap* texture = TVantrelTextureBitmap::Create();
  texture->BeginSetup();
  texture->SetStyle(TTextureStyles{TTextureStyle::RenderTarget});
  texture->SetSize(ASize.X, ASize.Y);
  texture->SetBitmapScale(AScale);
  texture->SetDataType(TVantrelTextureDataType::dtHalfFloat);
  texture->SetComponents(AComponents);
  texture->SetFormat(AFormat);
  texture->SetMinFilter(TTextureFilter::Linear);
  texture->SetMagFilter(TTextureFilter::Linear);
  texture->SetWrapS(TVantrelTextureWrap::ClampToBorder);
  texture->SetWrapT(TVantrelTextureWrap::ClampToBorder);
  texture->SetBorderColor(TAlphaColorF{1, 1, 1, 1});
  texture->EndSetup();
  texture->Texture()->SetTextureScale(AScale);
  return texture;
}

void TVantrelRenderPassCustomDepth::DoCreateCompositeTexture(TObject*, const TPoint& ASize, float AScale,
                                                             TVantrelTextureBitmap*& ATexture) {
  ATexture = CreateDepthTexture(ASize, AScale, DepthComponents(), DepthFormat());
}

void TVantrelRenderPassCustomDepth::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  TVantrelRenderPassController::DoOnRenderPass(AContext, ACount, APass);
  TRenderer* renderer = GetRenderer();
  auto* context = renderer ? renderer->FrameworkContext() : nullptr;
  if (!context)
    return;
  // The pass draws the render list in 3D. Entering the pass renderer copies the main context's
  // states, and after a frame's rectangle passes (the deferred composite, FXAA) those hold
  // cs2DScene: without cs3DScene the list would be projected with the screen matrix and the map
  // would stay empty from the second frame on.
  context->SetContextStates({TContextState::cs3DScene, TContextState::csZTestOn, TContextState::csZWriteOn,
                             TContextState::csFrontFace});
  context->ClearEx(TRenderTargets{TRenderTarget::Color_0, TRenderTarget::Depth}, FDefaultColor, FDefaultDepth,
                   0);
  context->GetDefaultFrameBuf()->Prepare(TRenderTargets{TRenderTarget::Color_0});
  SetupMatrices(context);
}

void TVantrelRenderPassCustomDepth::SetupMatrices(TContext3D* AContext) {
  const TMatrix3D view = GetViewMatrix(AContext);
  const TMatrix3D projection = GetProjectionMatrix(AContext);
  FTextureMatrix = view * projection;
  if (!AContext)
    return;
  AContext->SetCameraMatrix(view);
  if (TCamera* camera = FViewport ? FViewport->CurrentCamera() : nullptr)
    AContext->SetCameraAngleOfView(camera->AngleOfView());
}

TDepthMethod TVantrelRenderPassCustomDepth::GetDepthMethod() const {
  return DepthSource() ? DepthSource()->DepthMethod() : TDepthMethod::dmDefault;
}

void TVantrelRenderPassCustomDepth::SetDepthMethod(TDepthMethod AValue) {
  if (TCustomDepthMaterialSource* source = DepthSource())
    source->SetDepthMethod(AValue);
}

void TVantrelRenderPassCustomDepth::SetMapSize(const TPoint& AValue) {
  SetViewportSize(AValue);
  FRecalcProjMatrix = true;
}

void TVantrelRenderPassCustomDepth::BeforeDestruction() {
  TVantrelRenderPassController::BeforeDestruction();
  FShader.reset();
}

// ---- Unit -------------------------------------------------------------------------------------------

namespace {
int CustomDepthInitCount = 0;
}

void InitializeCustomDepthPass() {
  if (CustomDepthInitCount++ > 0)
    return;
  // The default material's shadow and depth branches test their inputs against this class.
  SetPassClass(TVantrelPassClassRef::CustomDepth, &TVantrelRenderPassCustomDepth::StaticClass());
  RegisterClass(TVantrelRenderPassCustomDepth::StaticClass());
}

void FinalizeCustomDepthPass() {
  if (CustomDepthInitCount == 0 || --CustomDepthInitCount > 0)
    return;
  SetPassClass(TVantrelPassClassRef::CustomDepth, nullptr);
  UnRegisterClass(TVantrelRenderPassCustomDepth::StaticClass());
}

} // namespace vantrel
