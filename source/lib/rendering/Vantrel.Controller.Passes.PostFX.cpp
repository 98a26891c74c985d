#include "rendering/Vantrel.Controller.Passes.PostFX.h"

#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rtl/messaging.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"
#include "ui/context3d.h"
#include "ui/messages.h"
#include "utils/Vantrel.Utils.Dialogs.h"

namespace vantrel {

std::string PostFXVertexText() {
  return std::string(SPostFXVersionHeader) + SPostFXVertexBody;
}

std::string PostFXPixelText(const TStrings* ASurfaceShader) {
  std::string text = std::string(SPostFXVersionHeader) + SPassTextureHelpers + SPostFXDeclarations;
  if (ASurfaceShader)
    for (int i = 0; i < ASurfaceShader->GetCount(); ++i)
      text += (*ASurfaceShader)[i] + "\r\n";
  else
    text += SPostFXDefaultSurfaceShader;
  text += SPostFXMain;
  // The compiler takes ASCII: a character outside it becomes "?".
  return Utf8ToAscii(text);
}

std::string PostFXShaderName(const void* AMaterial, const char* AExtension) {
  return "postfx-" + IntToHex(reinterpret_cast<uintptr_t>(AMaterial), 16) + AExtension;
}

float PostFXSeconds(int64_t ATimeStamp) {
  // Counted from process start, so a float keeps millisecond steps however long the machine ran.
  return static_cast<float>(static_cast<double>(ATimeStamp) / 10'000'000.0);
}


RTL_DEFINE_CLASS(TPostFXMaterial, "Vantrel.Controller.Passes.PostFX")
RTL_DEFINE_CLASS(TPostFXMaterialSource, "Vantrel.Controller.Passes.PostFX")
RTL_DEFINE_CLASS(TVantrelRenderPassPostFX, "Vantrel.Controller.Passes.PostFX",
                 &TVantrelRenderPassPostFX::RegisterProperties)

namespace {

float NowSeconds() {
  return PostFXSeconds(TStopwatch::GetProcessTimeStamp());
}

std::vector<uint8_t> Bytes(const std::string& AText) {
  return {AText.begin(), AText.end()};
}

} // namespace

// ---- Material --------------------------------------------------------------------------------

TPostFXMaterial::TPostFXMaterial() {
  FStopWatch.Start();
  const float now = NowSeconds();
  FShaderData.TimeInfo = {now, now, now, 0};
}

void TPostFXMaterial::DoInitialize() {
  FUpdateShaderProgram = true;
  BuildPostFXShaders();
}

TVantrelRenderPassPostFX* TPostFXMaterial::OwnerPostFX() const {
  auto* source = dynamic_cast<TPostFXMaterialSource*>(Source());
  return source ? dynamic_cast<TVantrelRenderPassPostFX*>(source->OwnerPass()) : nullptr;
}

void TPostFXMaterial::ReleaseShaders() {
  if (dynamic_cast<TVantrelContext*>(TContext3D::CurrentContext()))
    TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
  FVertexShader = nullptr;
  FPixelShader = nullptr;
}

std::vector<TContextShaderSource> TPostFXMaterial::VertexShaderSource() const {
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code = Bytes(PostFXVertexText());
  source.Variables = {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4}};
  return {source};
}

std::vector<TContextShaderSource> TPostFXMaterial::PixelShaderSource() const {
  TVantrelRenderPassPostFX* pass = OwnerPostFX();
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  source.Code = Bytes(PostFXPixelText(pass ? pass->GetSurfaceShader() : nullptr));
  source.Variables = {{"RenderedTexture", TContextShaderVariableKind::Texture, 0, 0},
                      {"MaskTexture", TContextShaderVariableKind::Texture, 1, 0}};
  return {source};
}

void TPostFXMaterial::BuildPostFXShaders() {
  FErrorOnBuildingShader = false;
  TContextShader* oldVertex = FVertexShader;
  TContextShader* oldPixel = FPixelShader;
  ReleaseShaders();
  FVertexShader = TShaderManager::RegisterShaderFromData(PostFXShaderName(this, ".fvs"),
                                                         TContextShaderKind::VertexShader, "", VertexShaderSource());
  FPixelShader = TShaderManager::RegisterShaderFromData(PostFXShaderName(this, ".fps"),
                                                        TContextShaderKind::PixelShader, "", PixelShaderSource());
  // A stage of the old text that the new build does not reuse would stay compiled until the
  // process ends: it goes now, with any program made from the old pair.
  if (oldVertex != FVertexShader || oldPixel != FPixelShader)
    TVantrelContext::RemoveProgram(oldVertex, oldPixel);
  if (oldVertex != FVertexShader)
    TShaderManager::UnregisterShader(oldVertex);
  if (oldPixel != FPixelShader)
    TShaderManager::UnregisterShader(oldPixel);
  FUpdateShaderProgram = false;
}

void TPostFXMaterial::DoApply(TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    return;
  const bool rebuilt = FUpdateShaderProgram;
  if (rebuilt)
    BuildPostFXShaders();
  if (FErrorOnBuildingShader)
    return;
  TShaderProgram* program = nullptr;
  try {
    inherited::DoApply(AContext);
    program = TVantrelContext::GetCurrentProgram();
  } catch (const Exception& e) {
    TMaterialSource* source = Source();
    if (!source || !source->ComponentState().Contains(TComponentStateItem::csDesigning))
      throw;
    const std::string label =
        Format("%s (%s)", source->Name().empty() ? std::string("?") : source->Name(), source->ClassName());
    TLoggingForm::Open(Format(SPostFXShaderTitle, label), e.Message(), true);
    FErrorOnBuildingShader = true;
    return;
  }
  if (rebuilt && program)
    program->RegisterUniformBuffer(SPostFXShaderDataName, &FShaderData, sizeof(FShaderData));
  AContext->SetShaderVariable("RenderedTexture", GetPreviousRenderTexture(AContext));
  UpdateTimeInfo();
  ApplyMaskTexture(AContext);
  if (program)
    program->PushUniformBuffers();
}

void TPostFXMaterial::ResetTime() {
  FStopWatch.Reset();
  FStopWatch.Start();
  const float now = NowSeconds();
  FShaderData.TimeInfo = {now, now, now, 0};
}

void TPostFXMaterial::UpdateTimeInfo() {
  FShaderData.TimeInfo.Z = FShaderData.TimeInfo.Y;
  FShaderData.TimeInfo.Y = NowSeconds();
  FShaderData.TimeInfo.W = static_cast<float>(FStopWatch.ElapsedTicks() * 1e-7);
}

void TPostFXMaterial::ApplyMaskTexture(TContext3D* AContext) {
  if (TVantrelRenderPassPostFX* pass = OwnerPostFX())
    if (TVantrelTextureBitmap* mask = pass->GetMaskTexture())
      AContext->SetShaderVariable("MaskTexture", mask->Texture());
}

// ---- Material source -------------------------------------------------------------------------

TPostFXMaterialSource::TPostFXMaterialSource() {
  FContextResetOvrId = TMessageManager::DefaultManager().SubscribeToMessage<TContextResetMessage>(
      [this](TObject*, TMessageBase*) { DoChange(); });
}

void TPostFXMaterialSource::BeforeDestruction() {
  TMessageManager::DefaultManager().Unsubscribe(typeid(TContextResetMessage), FContextResetOvrId);
  inherited::BeforeDestruction();
}

TOwned<TMaterial> TPostFXMaterialSource::CreateMaterial() {
  FHasMaterial = true;
  return TVantrelRenderPassMaterial::Create<TPostFXMaterial>(this);
}

// ---- Pass ------------------------------------------------------------------------------------

TVantrelRenderPassPostFX::TVantrelRenderPassPostFX(TComponent* AOwner, std::string AId)
    : TVantrelRenderPassController(AOwner, std::move(AId)) {}

void TVantrelRenderPassPostFX::RegisterProperties(TPropertyList& AList) {
  AList.Add("SurfaceShader", &TVantrelRenderPassPostFX::GetSurfaceShader,
            &TVantrelRenderPassPostFX::SetSurfaceShader);
  AList.Add("MaskTexture", &TVantrelRenderPassPostFX::GetMaskTexture, &TVantrelRenderPassPostFX::SetMaskTexture);
}

void TVantrelRenderPassPostFX::InitPassDefaults() {
  inherited::InitPassDefaults();
  FType = TRenderPassType::Post;
  FMethod = TRenderPassMethod::RectToFBO;
  FRendererFlags = TRendererFlags{TRendererFlag::IgnoreRenderTargets, TRendererFlag::IgnoreCompositeCtrl,
                                  TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum};
  FSurfaceShader = MakeOwned<TStringList>();
  FSurfaceShader->SetText(SPostFXDefaultSurfaceShader);
  SetShader(CreateShader());
  Shader()->SetStored(false);
  FMaskTexture.reset(TVantrelTextureBitmap::Create());
  FMaskTexture->SetOnChange([](TObject*) {});
}

TOwned<TVantrelRenderPassMaterialSource> TVantrelRenderPassPostFX::CreateShader() {
  return TVantrelRenderPassMaterialSource::Create<TPostFXMaterialSource>(this);
}

void TVantrelRenderPassPostFX::BeforeDestruction() {
  // The material reads the lines and the mask: it goes first.
  SetShader(nullptr);
  FSurfaceShader.reset();
  FMaskTexture.reset();
  inherited::BeforeDestruction();
}

void TVantrelRenderPassPostFX::Loaded() {
  inherited::Loaded();
  RebuildShaders();
}

void TVantrelRenderPassPostFX::SetSurfaceShader(const TStrings* AValue) {
  if (AValue)
    FSurfaceShader->Assign(*AValue);
  else
    FSurfaceShader->Clear();
  RebuildShaders();
}

void TVantrelRenderPassPostFX::SetMaskTexture(const TBitmap* AValue) {
  FMaskTexture->Assign(AValue);
}

void TVantrelRenderPassPostFX::RebuildShaders() {
  if (!Shader())
    return;
  if (auto* material = dynamic_cast<TPostFXMaterial*>(Shader()->GetMaterial())) {
    material->BuildPostFXShaders();
    material->SetUpdateShaderProgram(true);
  }
}

void TVantrelRenderPassPostFX::ResetTime() {
  if (Shader())
    if (auto* material = dynamic_cast<TPostFXMaterial*>(Shader()->GetMaterial()))
      material->ResetTime();
}

TVantrelContext* TVantrelRenderPassPostFX::RendererContext() const {
  TRenderer* renderer = GetRenderer();
  return renderer ? dynamic_cast<TVantrelContext*>(renderer->GetSharedContext()) : nullptr;
}

void TVantrelRenderPassPostFX::DoOnRenderPass(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  inherited::DoOnRenderPass(AContext, ACount, APass);
  TVantrelContext* context = RendererContext();
  if (!context)
    return;
  FPrevBlends = context->GetBlendings();
  context->DisableBlendingBuffers();
  context->SetBlendingByIndex(0, TBlendSetting::Create(false, TBlendEquationFunc::befAdd,
                                                       TBlendFactor::bfOneMinusSrcColor, TBlendFactor::bfDstColor,
                                                       TBlendFactor::bfOneMinusSrcAlpha, TBlendFactor::bfDstAlpha));
  if (TFrameBufferObject* buffer = GetRenderer()->GetDefaultFrameBuf()) {
    buffer->Clear(TRenderTargets{TRenderTarget::Color_0}, TAlphaColorF::Create(0xFF000000), 0, 0, false);
    buffer->Prepare(TRenderTargets{TRenderTarget::Color_0});
  }
}

void TVantrelRenderPassPostFX::DoOnRenderPassFinished(TContext3D* AContext, int32_t ACount, TRenderPass* APass) {
  if (TVantrelContext* context = RendererContext())
    context->SetBlendings(FPrevBlends);
  inherited::DoOnRenderPassFinished(AContext, ACount, APass);
}

// ---- Start-up --------------------------------------------------------------------------------

namespace {
int PostFXInitCount = 0;
}

void InitializePostFX() {
  if (PostFXInitCount++ > 0)
    return;
  RegisterClass(TVantrelRenderPassPostFX::StaticClass());
}

void FinalizePostFX() {
  if (PostFXInitCount == 0 || --PostFXInitCount > 0)
    return;
  UnRegisterClass(TVantrelRenderPassPostFX::StaticClass());
}

} // namespace vantrel
