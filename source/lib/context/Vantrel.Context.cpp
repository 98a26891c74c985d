#include "context/Vantrel.Context.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "context/Vantrel.Context.Extension.h"
#include "context/Vantrel.Context.Texturing.h"
#include "rtl/exceptions.h"
#include "rtl/ioutils.h"
#include "rtl/sysutils.h"
#include "rtl/typeinfo.h"
#include "ui/bitmap.h"
#include "ui/canvas.h"
#include "ui/material.h"
#include "ui/texture.h"

namespace vantrel {

RTL_DEFINE_CLASS_META(TVantrelContext, "Vantrel.Context", TVantrelContextClass)

namespace {

constexpr const char* SInvalidContext = "TVantrelContext.CreateFromTexture failed - invalid context";

[[noreturn]] void RaiseAbstract() {
  throw EAbstractError(rtl::messages::AbstractError);
}

// The default class's answer to AQuery, or ANoContext when there is no framework context class.
template <class TResult, class TQuery> TResult AskPlatform(TResult ANoContext, TQuery AQuery) {
  const TVantrelContextClass* platform = TVantrelContext::PlatformClass();
  return platform ? AQuery(*platform) : ANoContext;
}

struct TExtensionListState {
  TOwned<TExtensions> List;
  bool IndexQueryAsked = false;
  bool IndexUintListed = false;
};

// Constant-initialised, so it outlives every shutdown routine registered while the program runs.
TExtensionListState GExtensionListState;

TExtensionListState& ExtensionListState() {
  return GExtensionListState;
}

int32_t ClampClipPlane(int32_t AIndex) {
  return std::clamp(AIndex, 0, TVantrelContext::ClipPlaneCount - 1);
}

constexpr std::string_view SStructTypeNotFound =
    "TVantrelContext.DoSetShaderVariableArrayOfStruct - structure type not found by RTTI!";
constexpr std::string_view SStructFieldsMissing =
    "TVantrelContext.DoSetShaderVariableArrayOfStruct - structure fields missing";
constexpr std::string_view SStructFieldNotSupported =
    "structure field \"%s\" - type not supported in shader language!";

// The linked programs of the process, in the order they were made, and the one last made
// current. Programs belong to the list; the current one is always listed or nullptr.
struct TProgramRegistry {
  // nullptr until the first program is made, and again after FreePrograms.
  std::unique_ptr<std::vector<TOwned<TShaderProgram>>> List;
  TShaderProgram* Current = nullptr;
};

TProgramRegistry& Programs() {
  static TProgramRegistry registry;
  return registry;
}

THandle HandleOf(const TContextShader* AShader) {
  return AShader ? AShader->Handle() : 0;
}

bool IsCompiled(const TContextShader* AShader) {
  return HandleOf(AShader) != 0;
}

// The listed program whose five stages are these; a missing stage matches a program without it.
TShaderProgram* FindProgram(const TContextShader* AVS, const TContextShader* AGS, const TContextShader* ATES,
                            const TContextShader* ATCS, const TContextShader* APS) {
  const TProgramRegistry& registry = Programs();
  if (!registry.List)
    return nullptr;
  for (const TOwned<TShaderProgram>& program : *registry.List)
    if (program->VS() == HandleOf(AVS) && program->PS() == HandleOf(APS) && program->GS() == HandleOf(AGS) &&
        program->TSE() == HandleOf(ATES) && program->TSC() == HandleOf(ATCS))
      return program.get();
  return nullptr;
}

// The material of the pass's controller, nullptr when it has none.
TMaterial* PassMaterial(const TRenderPass& APass) {
  return TMaterialSource::ValidMaterial(dynamic_cast<TMaterialSource*>(APass.GetControllerShader()));
}

void RunPassIterations(TVantrelContext& AContext, TRenderPass& APass, IRenderPassController& AController,
                       const TRenderListProc& AProc, PRenderContext ARenderContext) {
  const int32_t iterations = APass.GetIterations();
  const int32_t count = iterations == 0 ? 1 : iterations;
  for (int32_t index = 0; index < count; ++index) {
    // Copies: a handler may replace itself while it runs.
    if (const TOnRenderingPass onBegin = APass.GetOnBeginRendering())
      onBegin(&AContext, index, &APass);
    switch (AController.GetMethod()) {
    case TRenderPassMethod::RenderListToFBO:
      if (AProc)
        AProc(ARenderContext);
      break;
    case TRenderPassMethod::RectToFBO:
      AController.RenderToContext(&AContext, AController.GetOutputTexture(),
                                  TRect{0, 0, AContext.Width(), AContext.Height()}, TPoint{0, 0});
      break;
    }
    if (const TOnRenderingPass onEnd = APass.GetOnEndRendering())
      onEnd(&AContext, index, &APass);
  }
}

// A field's value as an integer of the field's width and signedness.
int64_t ReadInteger(const TTypeInfo& AType, const uint8_t* AData) {
  switch (AType.Size) {
  case 1: {
    uint8_t value;
    std::memcpy(&value, AData, 1);
    return AType.IsUnsigned ? int64_t(value) : int64_t(int8_t(value));
  }
  case 2: {
    uint16_t value;
    std::memcpy(&value, AData, 2);
    return AType.IsUnsigned ? int64_t(value) : int64_t(int16_t(value));
  }
  case 4: {
    uint32_t value;
    std::memcpy(&value, AData, 4);
    return AType.IsUnsigned ? int64_t(value) : int64_t(int32_t(value));
  }
  default: {
    int64_t value;
    std::memcpy(&value, AData, 8);
    return value;
  }
  }
}

double ReadFloat(const TTypeInfo& AType, const uint8_t* AData) {
  if (AType.Size == sizeof(float)) {
    float value;
    std::memcpy(&value, AData, sizeof(value));
    return value;
  }
  double value;
  std::memcpy(&value, AData, sizeof(value));
  return value;
}

template <class R> R ReadRecord(const uint8_t* AData) {
  R value;
  std::memcpy(&value, AData, sizeof(R));
  return value;
}

// The vector a point, vector or colour record uploads as; false for any other record.
bool RecordAsVector(const TTypeInfo& AType, const uint8_t* AData, TVector3D& AVector) {
  if (&AType == &TypeInfoOf<TPointF>()) {
    const auto point = ReadRecord<TPointF>(AData);
    AVector = {point.X, point.Y, 0, 0};
  } else if (&AType == &TypeInfoOf<TPoint3D>()) {
    const auto point = ReadRecord<TPoint3D>(AData);
    AVector = {point.X, point.Y, point.Z, 0};
  } else if (&AType == &TypeInfoOf<TVector3D>()) {
    AVector = ReadRecord<TVector3D>(AData);
  } else if (&AType == &TypeInfoOf<TAlphaColorF>()) {
    const auto color = ReadRecord<TAlphaColorF>(AData);
    AVector = {color.R, color.G, color.B, color.A};
  } else {
    return false;
  }
  return true;
}

} // namespace

// ---- Process-wide state ----------------------------------------------------------------------------

TVantrelContextShared& ContextShared() {
  static TVantrelContextShared shared;
  return shared;
}

void TVantrelContextShared::Reset() {
  DefaultNearPlane = StartNearPlane;
  DefaultFarPlane = StartFarPlane;
  DesignTime = false;
  DrawBufferCount = 0;
  DefaultBlendingMade = false;
  DefaultBlending = TBlendSetting{};
  DrawCalls = 0;
  DrawInstances = 0;
  TotalVertexCount = 0;
  TotalIndexCount = 0;
  SceneCount = 0;
}

// ---- TVantrelContextClass ----------------------------------------------------------------------------

TContextStyles TVantrelContextClass::Style() const {
  return AskPlatform(TContextStyles{},
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformStyle(); });
}

int32_t TVantrelContextClass::MaxLightCount() const {
  return AskPlatform(0, [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxLightCount(); });
}

int32_t TVantrelContextClass::MaxTextureSize() const {
  return AskPlatform(0, [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxTextureSize(); });
}

TIndexBufferSupport TVantrelContextClass::IndexBufferSupport() const {
  TExtensionListState& state = ExtensionListState();
  if (!state.IndexQueryAsked)
    if (const TExtensions* list = TVantrelContext::ExtensionList()) {
      state.IndexQueryAsked = true;
      state.IndexUintListed = list->GetExtension("GL_OES_element_index_uint");
    }
  return TIndexBufferSupport::Int32;
}

int32_t TVantrelContextClass::GetTextureByTextureIndex(int32_t) const {
  RaiseAbstract();
}
TBlendSetting TVantrelContextClass::GetDefaultBlending() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformDirectStateAccess() const {
  RaiseAbstract();
}
void TVantrelContextClass::PlatformSetTextureFiltering(TTexture*, TTextureStyles, uint32_t, uint32_t) const {
  RaiseAbstract();
}
void TVantrelContextClass::PlatformSetPixelState(int32_t, int32_t, int32_t, int32_t, int32_t) const {
  RaiseAbstract();
}
void TVantrelContextClass::PlatformUnsetPixelState() const {
  RaiseAbstract();
}
bool TVantrelContextClass::PlatformIsContextAvailable() const {
  RaiseAbstract();
}
std::string TVantrelContextClass::PlatformGetVendorName() const {
  RaiseAbstract();
}
std::string TVantrelContextClass::PlatformGetRendererName() const {
  RaiseAbstract();
}
std::string TVantrelContextClass::PlatformGetVersion() const {
  RaiseAbstract();
}
std::string TVantrelContextClass::PlatformGetExtensionString() const {
  RaiseAbstract();
}
TContextShaderDefinesPtr TVantrelContextClass::PlatformShaderDefines() const {
  return std::make_shared<const TContextShaderDefines>(PlatformGetVendorName(), PlatformGetRendererName(),
                                                       PlatformGetVersion(), PlatformGetExtensionString());
}
bool TVantrelContextClass::PlatformHasAnyErrors() const {
  RaiseAbstract();
}
bool TVantrelContextClass::PlatformHasAnyErrors(intptr_t&) const {
  RaiseAbstract();
}
TContextShaderArch TVantrelContextClass::PlatformGetShaderArch() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxTextureSize() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxTexture3DSize() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformTextureUnitCount() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxTextureImageUnits() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxVertexShaderUniformBlocks() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxFragmentShaderUniformBlocks() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxUniformBlockSize() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxDrawBuffers() const {
  RaiseAbstract();
}
int32_t TVantrelContextClass::PlatformMaxLightCount() const {
  RaiseAbstract();
}
TContextStyles TVantrelContextClass::PlatformStyle() const {
  RaiseAbstract();
}
bool TVantrelContextClass::PlatformTextureCompressionAllowed() const {
  RaiseAbstract();
}

// ---- Static forwarders ---------------------------------------------------------------------------------

// The checked cast runs once per default class a thread sees, not on every draw: the answer
// changes only when another class becomes the default.
TVantrelContextClass* TVantrelContext::PlatformClass() {
  thread_local TContext3DClass* resolvedFor = nullptr;
  thread_local TVantrelContextClass* resolved = nullptr;
  TContext3DClass* current = TContextManager::DefaultContextClass();
  if (current != resolvedFor) {
    resolved = dynamic_cast<TVantrelContextClass*>(current);
    resolvedFor = current;
  }
  return resolved;
}

int32_t TVantrelContext::DirectStateAccess() {
  return AskPlatform(0,
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformDirectStateAccess(); });
}

void TVantrelContext::DoSetTextureFiltering(TTexture* ATexture, TTextureStyles AStyles, uint32_t ATextureKind,
                                            uint32_t AInternalFormat) {
  if (const TVantrelContextClass* platform = PlatformClass())
    platform->PlatformSetTextureFiltering(ATexture, AStyles, ATextureKind, AInternalFormat);
}

void TVantrelContext::SetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth, int32_t ABytesPerPixel,
                                    int32_t APitch) {
  if (const TVantrelContextClass* platform = PlatformClass())
    platform->PlatformSetPixelState(AWidth, AHeight, ADepth, ABytesPerPixel, APitch);
}

void TVantrelContext::UnsetPixelState() {
  if (const TVantrelContextClass* platform = PlatformClass())
    platform->PlatformUnsetPixelState();
}

bool TVantrelContext::IsContextAvailable() {
  return AskPlatform(false,
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformIsContextAvailable(); });
}

std::string TVantrelContext::GetVendorName() {
  return AskPlatform(std::string(),
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformGetVendorName(); });
}

std::string TVantrelContext::GetRendererName() {
  return AskPlatform(std::string(),
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformGetRendererName(); });
}

std::string TVantrelContext::GetVersion() {
  return AskPlatform(std::string(),
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformGetVersion(); });
}

std::string TVantrelContext::GetExtensionString() {
  return AskPlatform(std::string(),
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformGetExtensionString(); });
}

TContextShaderDefinesPtr TVantrelContext::ShaderDefines() {
  if (const TVantrelContextClass* platform = PlatformClass())
    return platform->PlatformShaderDefines();
  return std::make_shared<const TContextShaderDefines>(std::string(), std::string(), std::string(), std::string());
}

bool TVantrelContext::HasAnyErrors() {
  return AskPlatform(false, [](const TVantrelContextClass& AClass) { return AClass.PlatformHasAnyErrors(); });
}

bool TVantrelContext::HasAnyErrors(intptr_t& AError) {
  AError = 0;
  return AskPlatform(false,
                     [&](const TVantrelContextClass& AClass) { return AClass.PlatformHasAnyErrors(AError); });
}

TContextShaderArch TVantrelContext::GetShaderArch() {
  return AskPlatform(TContextShaderArch::Undefined,
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformGetShaderArch(); });
}

int32_t TVantrelContext::MaxTexture3DSize() {
  return AskPlatform(0, [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxTexture3DSize(); });
}

int32_t TVantrelContext::MaxTextureImageUnits() {
  return AskPlatform(
      0, [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxTextureImageUnits(); });
}

int32_t TVantrelContext::MaxVertexShaderUniformBlocks() {
  return AskPlatform(
      0, [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxVertexShaderUniformBlocks(); });
}

int32_t TVantrelContext::MaxFragmentShaderUniformBlocks() {
  return AskPlatform(
      0, [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxFragmentShaderUniformBlocks(); });
}

int32_t TVantrelContext::MaxUniformBlockSize() {
  return AskPlatform(0,
                     [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxUniformBlockSize(); });
}

int32_t TVantrelContext::MaxDrawBuffers() {
  return AskPlatform(0, [](const TVantrelContextClass& AClass) { return AClass.PlatformMaxDrawBuffers(); });
}

bool TVantrelContext::TextureCompressionAllowed() {
  return AskPlatform(
      false, [](const TVantrelContextClass& AClass) { return AClass.PlatformTextureCompressionAllowed(); });
}

void TVantrelContext::ResetDrawCallDiagnostics() {
  TVantrelContextShared& shared = ContextShared();
  shared.DrawCalls.exchange(0);
  shared.DrawInstances.exchange(0);
  shared.TotalVertexCount.exchange(0);
  shared.TotalIndexCount.exchange(0);
}

TExtensions* TVantrelContext::ExtensionList() {
  TExtensionListState& state = ExtensionListState();
  if (state.List || !IsContextAvailable())
    return state.List.get();
  if (TClass* extensionClass = ExtensionClass())
    state.List.reset(extensionClass->CreateAs<TExtensions>());
  return state.List.get();
}

void TVantrelContext::FreeExtensionList() {
  ExtensionListState().List.reset();
}

// ---- Creation and buffers --------------------------------------------------------------------------------

// An object's class never changes, so the cast runs on the first call only.
const TVantrelContextClass& TVantrelContext::VantrelClass() const {
  if (!FVantrelClass) {
    FVantrelClass = dynamic_cast<const TVantrelContextClass*>(&ClassType());
    if (!FVantrelClass)
      throw EInvalidCast(rtl::messages::InvalidCast);
  }
  return *FVantrelClass;
}

void TVantrelContext::SetPointSpriteDefaults() {
  FPointThreshold = 5.0f;
  FPointSizeMin = 1.0f;
  FPointSizeMax = 512.0f;
}

void TVantrelContext::CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil) {
  inherited::CreateFromTexture(ATexture, AMultisample, ADepthStencil);
  FSmoothTargets = {};
  if (!VantrelClass().Valid())
    throw Exception(SInvalidContext);
  SetPointSpriteDefaults();
  CreatePassTable();
  CreateBuffer();
}

void TVantrelContext::CreatePassTable() {
  FPasses = TRenderPasses::Create(this);
  FPasses->SetOnValueNotify([this](TRenderPass* const& APass, TCollectionNotification AAction) {
    if (AAction == TCollectionNotification::cnRemoved)
      FIntermediatePasses.Remove(APass);
  });
}

void TVantrelContext::CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                       TMultisample AMultisample, bool ADepthStencil) {
  SetPointSpriteDefaults();
  inherited::CreateFromWindow(AParent, AWidth, AHeight, AMultisample, ADepthStencil);
}

void TVantrelContext::InitContext() {
  inherited::InitContext();
  FNearPlane = ContextShared().DefaultNearPlane;
  FFarPlane = ContextShared().DefaultFarPlane;
}

void TVantrelContext::DropFromFBOStack(const TFrameBufferObject* AFBO) {
  if (!AFBO)
    return;
  for (int index = FFBOStack.Count() - 1; index >= 0; --index)
    if (FFBOStack[index] == AFBO)
      FFBOStack.Delete(index);
}

void TVantrelContext::BeforeDestruction() {
  FreeInstanceBuffer();
  inherited::BeforeDestruction();
}

void TVantrelContext::CreateInstanceBuffer() {
  if (!FInstanceVAO)
    FInstanceVAO.reset(TBufferObject::BufferObjectClass().Create(TBufferUsage::DynamicDraw,
                                                                 TBufferBindingTarget::_Array, this));
}

void TVantrelContext::FreeInstanceBuffer() {
  FInstanceVAO.reset();
}

void TVantrelContext::SetInstances(int32_t AInstances, const void* AData) {
  FInstanceCount = AInstances;
  if (AInstances < 1)
    return;
  CreateInstanceBuffer();
  TBufferObject& buffer = *FInstanceVAO;
  buffer.Bind();
  try {
    buffer.Push(AData, static_cast<intptr_t>(AInstances) * static_cast<intptr_t>(sizeof(TMatrix3D)));
  } catch (...) {
    buffer.Unbind();
    throw;
  }
  buffer.Unbind();
}

void TVantrelContext::DoFreeBuffer() {
  DropFromFBOStack(FDefaultMSFrameBuf.get());
  DropFromFBOStack(FDefaultFrameBuf.get());
  DropFromFBOStack(FTranslucentBuf.get());
  FDefaultBufferFallbackBind = false;
  FDefaultMSFrameBuf.reset();
  FDefaultFrameBuf.reset();
  FTranslucentBuf.reset();
}

void TVantrelContext::DoResize() {
  if (!VantrelClass().Valid())
    return;
  if (FDefaultMSFrameBuf)
    FDefaultMSFrameBuf->Resize(FWidth, FHeight);
  else if (FDefaultFrameBuf)
    FDefaultFrameBuf->Resize(FWidth, FHeight);
  if (FTranslucentBuf)
    FTranslucentBuf->Resize(FWidth, FHeight);
}

// ---- Scene -----------------------------------------------------------------------------------------------

TPoint TVantrelContext::SceneSize() const {
  if (const TTexture* texture = GetCurrentTexture())
    return {texture->Width(), texture->Height()};
  return {int32_t(Round(double(FWidth) * FScale)), int32_t(Round(double(FHeight) * FScale))};
}

bool TVantrelContext::DoBeginScene() {
  if (!VantrelClass().Valid())
    return false;
  StorePreviousContextSize();
  const TPoint size = SceneSize();
  SetContextSize(0, 0, size.X, size.Y);
  intptr_t error = 0;
  if (HasAnyErrors(error))
    RaiseContextException(this, SCannotBeginRenderingScene, ClassName(), error);
  if (!CanBeginScene())
    return false;
  const bool result = inherited::DoBeginScene();
  if (FFBOStack.IsEmpty()) {
    BindDefaultBuffer();
    FDefaultBufferFallbackBind = !FFBOStack.IsEmpty();
  }
  return result;
}

// A pending error is raised only once the scene is wound down, so that a failed end leaves no
// default buffer bound and the next begin starts afresh.
void TVantrelContext::DoEndScene() {
  if (!VantrelClass().Valid())
    return;
  SetContextSize(FOldViewport);
  intptr_t error = 0;
  const bool failed = HasAnyErrors(error);
  if (FDefaultBufferFallbackBind) {
    FDefaultBufferFallbackBind = false;
    if (!FFBOStack.IsEmpty())
      UnbindDefaultBuffer();
  }
  inherited::DoEndScene();
  if (failed)
    RaiseContextException(this, SCannotEndRenderingScene, ClassName(), error);
}

bool TVantrelContext::BeginSceneRendering() {
  TCanvas::Lock();
  TVantrelContextShared& shared = ContextShared();
  bool result = false;
  ++shared.SceneCount;
  try {
    result = FBeginSceneCount != 0 ? FBeginSceneCount > 0 : BeginOutermostScene();
    if (result)
      IncrementSceneCount();
  } catch (...) {
    --shared.SceneCount;
    TCanvas::Unlock();
    throw;
  }
  if (!result) {
    --shared.SceneCount;
    TCanvas::Unlock();
  }
  return result;
}

// With another context's scene open, this context's states are saved for the matching end.
bool TVantrelContext::BeginOutermostScene() {
  const bool push = ContextShared().SceneCount > 1;
  if (push)
    PushContextStates();
  bool result = false;
  try {
    result = DoBeginScene();
  } catch (...) {
    if (push)
      PopContextStates();
    throw;
  }
  if (!result && push)
    PopContextStates();
  FSceneStatesPushed = result && push;
  return result;
}

void TVantrelContext::EndSceneRendering() {
  try {
    if (FBeginSceneCount == 1)
      EndOutermostScene();
  } catch (...) {
    LeaveScene();
    throw;
  }
  LeaveScene();
}

void TVantrelContext::EndOutermostScene() {
  try {
    DoEndScene();
  } catch (...) {
    RestoreSceneStates();
    throw;
  }
  RestoreSceneStates();
}

void TVantrelContext::RestoreSceneStates() {
  if (!FSceneStatesPushed)
    return;
  FSceneStatesPushed = false;
  PopContextStates();
}

void TVantrelContext::LeaveScene() {
  DecrementSceneCount();
  --ContextShared().SceneCount;
  TCanvas::Unlock();
}

// ---- Context states --------------------------------------------------------------------------------------

void TVantrelContext::SetContextStates(TFMXContextStates AStates) {
  ++FMultipleSetContextState;
  try {
    for (int ordinal = 0; ordinal <= int(TContextState::csAllFace); ++ordinal)
      if (AStates.Contains(TContextState(ordinal)))
        SetContextState(TContextState(ordinal));
  } catch (...) {
    --FMultipleSetContextState;
    throw;
  }
  --FMultipleSetContextState;
  ApplyContextStates(AStates);
}

// ---- Frame buffers ---------------------------------------------------------------------------------------

void TVantrelContext::PushFBO(TFrameBufferObject* AFBO) {
  FFBOStack.Add(AFBO);
}

TFrameBufferObject* TVantrelContext::PopFBO() {
  if (FFBOStack.IsEmpty())
    return nullptr;
  return FFBOStack.ExtractAt(FFBOStack.Count() - 1);
}

TFrameBufferObject* TVantrelContext::GetCurrentlyBoundBuffer() const {
  return FFBOStack.IsEmpty() ? nullptr : FFBOStack.Last();
}

void TVantrelContext::BindDefaultBuffer() {
  if (TFrameBufferObject* buffer = FDefaultMSFrameBuf ? FDefaultMSFrameBuf.get() : FDefaultFrameBuf.get())
    buffer->Bind(this);
}

void TVantrelContext::UnbindDefaultBuffer() {
  if (TFrameBufferObject* buffer = FDefaultMSFrameBuf ? FDefaultMSFrameBuf.get() : FDefaultFrameBuf.get())
    buffer->Unbind(this);
}

TTexture* TVantrelContext::GetCurrentTexture() const {
  if (TFrameBufferObject* bound = GetCurrentlyBoundBuffer())
    return bound->GetTextureByRenderTarget(TRenderTarget::Color_0);
  return FTexture;
}

TTexture* TVantrelContext::GetDefaultTexture() const {
  return FDefaultFrameBuf ? FDefaultFrameBuf->GetTextureByRenderTarget(TRenderTarget::Color_0) : nullptr;
}

void TVantrelContext::AttachTextureToDefaultBuffer(TTexture* ATexture, TRenderTarget ATarget) {
  if (!ATexture || !FDefaultFrameBuf)
    return;
  if (ATexture->Handle() == 0)
    ATexture->Initialize();
  FDefaultFrameBuf->AttachTexture(this, ATexture, ATarget);
}

void TVantrelContext::AttachTextureToTranslucentBuffer(TTexture* ATexture, TRenderTarget ATarget) {
  if (!ATexture || !FTranslucentBuf)
    return;
  if (ATexture->Handle() == 0)
    ATexture->Initialize();
  FTranslucentBuf->AttachTexture(this, ATexture, ATarget);
}

void TVantrelContext::LinkDepthBufferToTranslucentBuffer() {
  if (!FTranslucentBuf)
    return;
  const TFrameBufferObject* source = FDefaultMSFrameBuf ? FDefaultMSFrameBuf.get() : FDefaultFrameBuf.get();
  if (!source)
    return;
  FTranslucentBuf->AttachDepthBuffer(source->DepthBuf(), SceneSize());
}

// ---- Render passes ---------------------------------------------------------------------------------------

void TVantrelContext::BeginRenderPass(TRenderPass* APass) {
  FRenderPassStack.Push(APass);
  FCurrentPass = APass;
}

void TVantrelContext::EndRenderPass() {
  FRenderPassStack.Pop();
  FCurrentPass = FRenderPassStack.IsEmpty() ? nullptr : FRenderPassStack.Peek();
}

void TVantrelContext::AddIntermediatePass(TRenderPass* APass) {
  if (!FIntermediatePasses.Contains(APass))
    FIntermediatePasses.Add(APass);
}

// ---- Running passes -------------------------------------------------------------------------------------

bool TVantrelContext::PreProcessing(PRenderContext ARenderContext) {
  return RunRenderPasses(TRenderPassType::Pre, ARenderContext);
}

bool TVantrelContext::PostProcessing(PRenderContext ARenderContext) {
  return RunRenderPasses(TRenderPassType::Post, ARenderContext);
}

bool TVantrelContext::RunRenderPasses(TRenderPassType AType, PRenderContext ARenderContext) {
  if (!ARenderContext || !FPasses || FPasses->Count() == 0)
    return false;
  std::vector<TRenderPass*> passes;
  if (AType == TRenderPassType::Pre)
    passes = FPasses->GetPreProcessingPasses();
  else if (AType == TRenderPassType::Post)
    passes = FPasses->GetPostProcessingPasses();
  for (TRenderPass* pass : passes)
    ExecuteRenderPass(pass, ARenderContext);
  return true;
}

// A pass without a controller is never enabled, so its scene would not begin: it runs nothing.
void TVantrelContext::ExecuteRenderPass(TRenderPass* APass, PRenderContext ARenderContext) {
  if (!APass || !APass->GetOnBeginRendering() || !ARenderContext)
    return;
  IRenderPassController* controller = APass->GetControl();
  if (!controller)
    return;
  const TRenderListProc& proc = controller->GetRenderProc() == TRenderPassRenderingProc::ListRendering
                                    ? ARenderContext->ListRenderingProc
                                    : ARenderContext->DefaultRenderingProc;
  if (!APass->BeginScene())
    return;
  try {
    RunPassIterations(*this, *APass, *controller, proc, ARenderContext);
  } catch (...) {
    APass->EndScene();
    throw;
  }
  APass->EndScene();
}

// ---- Materials ------------------------------------------------------------------------------------------

void TVantrelContext::ResetMaterial(TMaterial* AMaterial) {
  if (AMaterial)
    AMaterial->Reset(this);
}

// ---- Shader programs ------------------------------------------------------------------------------------

uint32_t TVantrelContext::CompileShaderStage(uint32_t AKind, std::span<const uint8_t> ACode) {
  if (!VantrelClass().Valid())
    throw Exception(SInvalidContext);
  if (!IsContextAvailable())
    return 0;
  const bool designTime = ContextShared().DesignTime;
  const uint32_t handle = ShaderProgramClass().BuildShader(AKind, ACode, designTime);
  if (HasAnyErrors()) {
    const std::string source(ACode.begin(), ACode.end());
    RaiseShaderCompileException(this, designTime, ui::messages::CannotCreateShader, ClassName(), "", source);
  }
  return handle;
}

TShaderProgram* TVantrelContext::FindOrCreateProgram(TContextShader* AVS, TContextShader* AGS,
                                                     TContextShader* ATES, TContextShader* ATCS,
                                                     TContextShader* APS) {
  if (!IsContextAvailable() || !IsCompiled(AVS) || !IsCompiled(APS))
    return nullptr;
  if (TShaderProgram* found = FindProgram(AVS, AGS, ATES, ATCS, APS))
    return found;
  auto* contextClass = dynamic_cast<TContext3DClass*>(&ClassType());
  TOwned<TShaderProgram> program(ShaderProgramClass().Create(contextClass, AVS, AGS, ATES, ATCS, APS));
  // A program the GPU objected to is never listed, so the next attempt links afresh.
  if (HasAnyErrors()) {
    program.reset();
    RaiseContextException(nullptr, ui::messages::CannotActivateShaderProgram, ClassName());
  }
  TProgramRegistry& registry = Programs();
  if (!registry.List)
    registry.List = std::make_unique<std::vector<TOwned<TShaderProgram>>>();
  registry.List->push_back(std::move(program));
  return registry.List->back().get();
}

void TVantrelContext::ActivateProgram(TContextShader* AVS, TContextShader* AGS, TContextShader* ATES,
                                      TContextShader* ATCS, TContextShader* APS) {
  if (!IsContextAvailable() || !IsCompiled(AVS) || !IsCompiled(APS))
    return;
  TShaderProgram* program = FindOrCreateProgram(AVS, AGS, ATES, ATCS, APS);
  Programs().Current = program;
  if (program)
    program->Use();
  else
    ShaderProgramClass().ActivateDefault();
}

void TVantrelContext::SetShaders(TContextShader* AVS, TContextShader* AGS, TContextShader* ATES,
                                 TContextShader* ATCS, TContextShader* APS) {
  if (!AVS || !APS)
    return;
  for (TContextShader* shader : {AVS, APS, AGS, ATES, ATCS})
    if (shader && shader->Handle() == 0)
      TContextManager::InitializeShader(shader);
  if (IsContextAvailable())
    ActivateProgram(AVS, AGS, ATES, ATCS, APS);
}

void TVantrelContext::DoSetShaders(TContextShader* AVertexShader, TContextShader* APixelShader) {
  SetShaders(AVertexShader, nullptr, nullptr, nullptr, APixelShader);
}

TShaderProgram* TVantrelContext::GetCurrentProgram() {
  return Programs().Current;
}

TShaderProgram* TVantrelContext::GetProgram(const TContextShader* AVS, const TContextShader* APS) {
  if (!IsContextAvailable() || !IsCompiled(AVS) || !IsCompiled(APS))
    return nullptr;
  return FindProgram(AVS, nullptr, nullptr, nullptr, APS);
}

void TVantrelContext::RemoveProgram(TShaderProgram* AShaderProgram) {
  TProgramRegistry& registry = Programs();
  if (!AShaderProgram || !registry.List)
    return;
  auto& list = *registry.List;
  const auto found = std::find_if(list.begin(), list.end(), [&](const TOwned<TShaderProgram>& AProgram) {
    return AProgram.get() == AShaderProgram;
  });
  if (found == list.end())
    return;
  if (registry.Current == AShaderProgram)
    registry.Current = nullptr;
  list.erase(found);
}

void TVantrelContext::RemoveProgram(const TContextShader* AVS, const TContextShader* APS) {
  RemoveProgram(GetProgram(AVS, APS));
}

void TVantrelContext::RemoveProgramsUsing(THandle AStage) {
  TProgramRegistry& registry = Programs();
  if (AStage == 0 || !registry.List)
    return;
  const auto uses = [AStage](const TShaderProgram& AProgram) {
    return AProgram.VS() == AStage || AProgram.PS() == AStage || AProgram.GS() == AStage ||
           AProgram.TSE() == AStage || AProgram.TSC() == AStage;
  };
  if (registry.Current && uses(*registry.Current))
    registry.Current = nullptr;
  // Out of the list first, freed afterwards, as in FreePrograms.
  std::vector<TOwned<TShaderProgram>> dropped;
  auto& list = *registry.List;
  for (auto it = list.begin(); it != list.end();)
    if (uses(**it)) {
      dropped.push_back(std::move(*it));
      it = list.erase(it);
    } else {
      ++it;
    }
}

void TVantrelContext::FreePrograms() {
  TProgramRegistry& registry = Programs();
  registry.Current = nullptr;
  if (!registry.List)
    return;
  // Emptied before it goes, so that nothing a program's destruction reaches finds it half freed.
  std::unique_ptr<std::vector<TOwned<TShaderProgram>>> list = std::move(registry.List);
  list->clear();
}

int32_t TVantrelContext::ProgramCount() {
  const TProgramRegistry& registry = Programs();
  return registry.List ? static_cast<int32_t>(registry.List->size()) : 0;
}

TShaderProgram* TVantrelContext::ProgramAt(int32_t AIndex) {
  const TProgramRegistry& registry = Programs();
  return registry.List->at(size_t(AIndex)).get();
}

// ---- Arrays of records ----------------------------------------------------------------------------------

void TVantrelContext::SetShaderVariableArrayOfStruct(const std::string& AName, const TTypeInfo* AType,
                                                     int32_t ACount, const void* AData) {
  DoSetShaderVariableArrayOfStruct(AName, AType, ACount, AData);
}

void TVantrelContext::DoSetShaderVariableArrayOfStruct(const std::string& AName, const TTypeInfo* AType,
                                                       int32_t ACount, const void* AData) {
  if (!IsContextAvailable() || !GetCurrentProgram() || ACount <= 0 || !AData)
    return;
  if (!AType || AType->Kind != TTypeKind::tkRecord)
    throw Exception(std::string(SStructTypeNotFound));
  if (!AType->Fields || AType->Fields->empty())
    throw Exception(std::string(SStructFieldsMissing));
  const auto* record = static_cast<const uint8_t*>(AData);
  for (int32_t index = 0; index < ACount; ++index, record += AType->Size)
    for (const TRecordField& field : *AType->Fields)
      SetStructField(Format("%s[%d].%s", {AName, index, field.Name}), *field.Type, record + field.Offset);
  if (HasAnyErrors())
    RaiseContextException(this, ui::messages::ShaderVariableNotFound, AName);
}

void TVantrelContext::SetStructField(const std::string& AName, const TTypeInfo& AType, const uint8_t* AData) {
  TVector3D vector;
  switch (AType.Kind) {
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
  case TTypeKind::tkEnumeration:
    SetShaderVariableInt(AName, static_cast<int32_t>(ReadInteger(AType, AData)));
    return;
  case TTypeKind::tkBoolean:
    SetShaderVariableInt(AName, ReadInteger(AType, AData) != 0 ? 1 : 0);
    return;
  case TTypeKind::tkFloat:
    vector = {f32(ReadFloat(AType, AData)), 0, 0, 0};
    DoSetShaderVariable(AName, std::span<const TVector3D>(&vector, 1));
    return;
  case TTypeKind::tkArray:
    DoSetShaderVariableArrayOfStruct(AName, AType.ElementType, static_cast<int32_t>(AType.ElementCount),
                                     AData);
    return;
  case TTypeKind::tkRecord:
    if (&AType == &TypeInfoOf<TMatrix3D>()) {
      DoSetShaderVariableMat4(AName, ReadRecord<TMatrix3D>(AData));
      return;
    }
    if (RecordAsVector(AType, AData, vector)) {
      DoSetShaderVariable(AName, std::span<const TVector3D>(&vector, 1));
      return;
    }
    break;
  default:
    break;
  }
  throw Exception(Format(SStructFieldNotSupported, {AName}));
}

// ---- Clearing and drawing --------------------------------------------------------------------------------

void TVantrelContext::ClearEx(TRenderTargets ATarget, TAlphaColor AColor, float ADepth, uint32_t AStencil) {
  DoClearEx(ATarget, AColor, ADepth, AStencil);
}

void TVantrelContext::ClearBufferFloat(int32_t ABuf, const float* APtr) {
  DoClearBufferFloat(ABuf, APtr);
}

void TVantrelContext::DoDrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                                       const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                                       int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) {
  try {
    TMaterial* mainMaterial = nullptr;
    if (TRenderPass* pass = FCurrentPass) {
      if (!pass->IsPrimitivesKindSupported(AKind))
        return;
      mainMaterial = PassMaterial(*pass);
      if (mainMaterial) {
        if (const TOnRenderPassApplyMaterial onApply = pass->GetOnApplyMaterial())
          onApply(nullptr, mainMaterial);
        ApplyMaterial(mainMaterial);
      }
    }
    DrawWithPassMaterials(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount, AIndexSize,
                          AIndexCount);
    ResetMaterial(mainMaterial);
    if (HasAnyErrors())
      RaiseContextException(this, ui::messages::ContextMethodError, std::string("DoDrawPrimitives"));
    if (IsContextAvailable()) {
      Programs().Current = nullptr;
      ShaderProgramClass().ActivateDefault();
    }
  } catch (const Exception&) {
    // An editor keeps drawing what it can while a pass is being set up.
    if (!ContextShared().DesignTime)
      throw;
  }
}

void TVantrelContext::DrawWithPassMaterials(TPrimitivesKind AKind, const void* AVertices,
                                            const void* AIndices, const TVertexDeclaration& ADeclaration,
                                            int32_t AVertexSize, int32_t AVertexCount, int32_t AIndexSize,
                                            int32_t AIndexCount) {
  inherited::DoDrawPrimitives(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount, AIndexSize,
                              AIndexCount);
  for (int index = 0; index < FIntermediatePasses.Count(); ++index) {
    TMaterial* material = PassMaterial(*FIntermediatePasses[index]);
    if (!material)
      continue;
    ApplyMaterial(material);
    try {
      inherited::DoDrawPrimitives(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount,
                                  AIndexSize, AIndexCount);
    } catch (...) {
      ResetMaterial(material);
      throw;
    }
    ResetMaterial(material);
  }
}

void TVantrelContext::DirectDrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                                           const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                                           int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) {
  DoDrawPrimitives(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount, AIndexSize,
                   AIndexCount);
}

// The UI framework's kind carries the framework's ordinal in its byte; the graphics context reads
// it back as a framework kind.
void TVantrelContext::DirectDrawPrimitives(TVantrelPrimitivesKind AKind, const void* AVertices,
                                           const void* AIndices, const TVertexDeclaration& ADeclaration,
                                           int32_t AVertexSize, int32_t AVertexCount, int32_t AIndexSize,
                                           int32_t AIndexCount) {
  DoDrawPrimitives(static_cast<TPrimitivesKind>(AKind), AVertices, AIndices, ADeclaration, AVertexSize,
                   AVertexCount, AIndexSize, AIndexCount);
}

void TVantrelContext::DrawPrimitivesDirect(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                                           const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                                           int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) {
  DoDrawPrimitives(AKind, AVertices, AIndices, ADeclaration, AVertexSize, AVertexCount, AIndexSize,
                   AIndexCount);
}

void TVantrelContext::DrawScreenRectangle(TAlphaColor AColor) {
  DrawScreenRectangle(TAlphaColorF::Create(AColor));
}

// ---- GPU state -------------------------------------------------------------------------------------------

uint32_t TVantrelContext::MemoryBarrierFlagsToBits(TMemoryBarrierFlags AFlags) {
  uint32_t result = 0;
  for (int ordinal = 0; ordinal <= int(TMemoryBarrierFlag::ShaderStorageBarrierBit); ++ordinal)
    if (AFlags.Contains(TMemoryBarrierFlag(ordinal)))
      result |= MemoryBarrierFlagToBits(TMemoryBarrierFlag(ordinal));
  return result;
}

void TVantrelContext::SetTwoSidedRendering(TStencilOpEx AFrontFaceFail, TStencilOpEx AFrontFaceZFail,
                                           TStencilOpEx AFrontFaceZPass, TStencilOpEx ABackFaceFail,
                                           TStencilOpEx ABackFaceZFail, TStencilOpEx ABackFaceZPass,
                                           uint32_t AFrontStencilMask, uint32_t ABackStencilMask) {
  DoSetTwoSidedRendering(AFrontFaceFail, AFrontFaceZFail, AFrontFaceZPass, ABackFaceFail, ABackFaceZFail,
                         ABackFaceZPass, AFrontStencilMask, ABackStencilMask);
}

void TVantrelContext::SetPolygonOffsetFill(TPolygonOffsetFill AMode, float AFactor, float AUnits) {
  DoSetPolygonOffsetFill(AMode, AFactor, AUnits);
}

void TVantrelContext::SetSmoothMode(const TSmoothSetting& ASetting) {
  DoSetSmoothMode(ASetting);
}

void TVantrelContext::SetPointSprites(bool AEnabled) {
  DoSetPointSprites(AEnabled);
}

void TVantrelContext::SetPointSpriteTextureMode() {
  DoSetPointSpriteTextureMode();
}

// ---- Blending --------------------------------------------------------------------------------------------

TBlendSetting TVantrelContext::GetGlobalBlending() const {
  return VantrelClass().GetDefaultBlending();
}

TBlendSettings TVantrelContext::GetBlendings() {
  if (!ContextShared().DefaultBlendingMade)
    FBlendingBuffers[0] = VantrelClass().GetDefaultBlending();
  return FBlendingBuffers;
}

void TVantrelContext::SetBlendings(const TBlendSettings& AValue) {
  FBlendingBuffers = {};
  for (uint32_t index = 0; index < AValue.size(); ++index)
    SetBlendingByIndex(index, AValue[index]);
}

TBlendSetting TVantrelContext::GetBlendingByIndex(uint32_t AIndex) const {
  const int32_t drawBuffers = ContextShared().DrawBufferCount;
  if (drawBuffers > 0 && AIndex < uint32_t(drawBuffers) && AIndex < FBlendingBuffers.size())
    return FBlendingBuffers[AIndex];
  return TBlendSetting::Create(false);
}

// ---- Shader variables ------------------------------------------------------------------------------------

void TVantrelContext::SetShaderVariable(const std::string& AName, const TMatrix3D& AMatrix, bool AAsMat4) {
  if (AAsMat4)
    DoSetShaderVariableMat4(AName, AMatrix);
  else
    SetShaderVariable(AName, AMatrix);
}

void TVantrelContext::SetShaderVariableInt(const std::string& AName, int32_t AValue) {
  DoSetShaderVariableInt(AName, std::span<const int32_t>(&AValue, 1));
}

void TVantrelContext::SetShaderVariableInt(const std::string& AName, std::span<const int32_t> AValues) {
  DoSetShaderVariableInt(AName, AValues);
}

void TVantrelContext::DoSetShaderVariable(const std::string& AName, const TMatrix3D& AMatrix) {
  const TMatrix3D transposed = AMatrix.Transpose();
  const std::array<TVector3D, 4> rows{{
      {transposed.m11, transposed.m12, transposed.m13, transposed.m14},
      {transposed.m21, transposed.m22, transposed.m23, transposed.m24},
      {transposed.m31, transposed.m32, transposed.m33, transposed.m34},
      {transposed.m41, transposed.m42, transposed.m43, transposed.m44},
  }};
  DoSetShaderVariable(AName, std::span<const TVector3D>(rows));
}

// ---- Matrices and picking --------------------------------------------------------------------------------

TMatrix3D TVantrelContext::CurrentProjectionMatrix() {
  return CachedProjectionMatrix(FNearPlane, FFarPlane);
}

TMatrix3D TVantrelContext::CurrentScreenMatrix() {
  return CachedScreenMatrix(FNearPlane, FFarPlane);
}

void TVantrelContext::SetProjectionMatrix(const TMatrix3D& AMatrix) {
  FProjectionMatrix = AMatrix;
  FRecalcProjectionMatrix = false;
}

TPoint3D TVantrelContext::ScreenToWorld(const TPointF& AScreenPos, TProjection AProjection) {
  TVector3D position, direction;
  Pick(AScreenPos.X, AScreenPos.Y, AProjection, position, direction);
  const double reach = std::sqrt(double(position.X) * position.X + double(position.Y) * position.Y +
                                 double(position.Z) * position.Z);
  const TVector3D result{f32(position.X + direction.X * reach), f32(position.Y + direction.Y * reach),
                         f32(position.Z + direction.Z * reach), f32(position.W + direction.W * reach)};
  return result.ToPoint3D();
}

// ---- Lights ----------------------------------------------------------------------------------------------

int32_t TVantrelContext::AddLight(const TLightDescription& ALight) {
  const TVantrelShaderLight shaderLight = TVantrelShaderLight::Create(ALight);
  FLights.Add(ALight);
  return FShaderLights.Add(shaderLight);
}

int32_t TVantrelContext::AddLight(const TVantrelShaderLight& ALight) {
  FLights.Add(ALight.ToLightDescription());
  return FShaderLights.Add(ALight);
}

// The shader list goes first: a bad index raises there before either list changes.
void TVantrelContext::RemoveLight(int32_t AIdx) {
  FShaderLights.Delete(AIdx);
  FLights.Delete(AIdx);
}

void TVantrelContext::ClearLights() {
  FShaderLights.Clear();
  FLights.Clear();
}

// ---- Clip planes -----------------------------------------------------------------------------------------

void TVantrelContext::ActivateClipPlane(int32_t AIndex, const TPlaneF& APlane) {
  TClipPlaneF& entry = FClippingPlanes[ClampClipPlane(AIndex)];
  entry.Plane = APlane;
  entry.Enabled = true;
}

void TVantrelContext::DeactivateClipPlane(int32_t AIndex) {
  FClippingPlanes[ClampClipPlane(AIndex)] = TClipPlaneF{};
}

PClipPlaneF TVantrelContext::GetClippingPlane(int32_t AIndex) {
  return &FClippingPlanes[ClampClipPlane(AIndex)];
}

bool TVantrelContext::IsClippingPlaneActive(int32_t AIndex) const {
  return FClippingPlanes[ClampClipPlane(AIndex)].Enabled;
}

// ---- Frustum and bitmaps ---------------------------------------------------------------------------------

void TVantrelContext::SetFrustum(const TVantrelFrustum& AFrustum) {
  FFrustum = AFrustum;
  FFrustumBox = AFrustum.ToBoundingBox();
}

void TVantrelContext::SaveBitmap(TBitmap* ABitmap, const std::string& APrefix) {
  if (ABitmap)
    ABitmap->SaveToFile(APrefix + TPath::GetRandomFileName() + ".bmp");
}

TTexture* TVantrelContextClass::BitmapToTexture(TBitmap* ABitmap) const {
  if (!ABitmap)
    return nullptr;
  TOwned<TVantrelTexture> texture(TVantrelTexture::Create());
  texture->Assign(ABitmap);
  return texture.release();
}

} // namespace vantrel
