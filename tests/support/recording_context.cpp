#include "support/recording_context.h"

#include <concepts>

#include "rtl/sysutils.h"
#include "rtl/typeinfo.h"
#include "ui/texture.h"

namespace vtest {

using namespace vantrel;

RTL_DEFINE_CLASS_META(TRecordingContext, "Tests.RecordingContext", TRecordingContextClass)

namespace {

template <class E> std::string NameOf(E AValue) {
  const auto& names = *rtl::TypeInfoOf<E>().Names;
  const auto ordinal = size_t(AValue);
  return ordinal < names.size() ? std::string(names[ordinal]) : std::to_string(ordinal);
}

template <class... TArgs> std::string Join(std::string_view AName, const TArgs&... AArgs) {
  std::string result(AName);
  ((result += ' ', result += AArgs), ...);
  return result;
}

template <std::integral T> std::string Text(T AValue) {
  return std::to_string(AValue);
}

std::string Text(float AValue) {
  return rtl::FloatToStr(AValue);
}

} // namespace

// ---- TRecordingContextClass -------------------------------------------------------------------------

void TRecordingContextClass::Reset() {
  ValidAnswer = true;
  ContextAvailable = true;
  ErrorCodes.clear();
  DefaultBlending = TBlendSetting::Create();
  MaxTexture3DSize = 512;
  Calls.clear();
}

void TRecordingContextClass::InitializeTexture(TTexture* ATexture) const {
  Calls.push_back("InitializeTexture");
  static_cast<ITextureAccess&>(*ATexture).SetHandle(FNextHandle++);
}

void TRecordingContextClass::DoFinalizeTexture(TTexture* ATexture) const {
  Calls.push_back("DoFinalizeTexture");
  static_cast<ITextureAccess&>(*ATexture).SetHandle(0);
}

void TRecordingContextClass::UpdateTexture(TTexture*, const void*, int32_t APitch) const {
  Calls.push_back(Join("UpdateTexture", Text(APitch)));
}

void TRecordingContextClass::InitializeShader(TContextShader*) const {
  Calls.push_back("InitializeShader");
}

void TRecordingContextClass::DoFinalizeShader(TContextShader*) const {
  Calls.push_back("DoFinalizeShader");
}

TBlendSetting TRecordingContextClass::GetDefaultBlending() const {
  Calls.push_back("GetDefaultBlending");
  return DefaultBlending;
}

void TRecordingContextClass::PlatformSetTextureFiltering(TTexture*, TTextureStyles AStyles,
                                                         uint32_t ATextureKind,
                                                         uint32_t AInternalFormat) const {
  Calls.push_back(Join("PlatformSetTextureFiltering", Text(int64_t(AStyles.Bits())), Text(ATextureKind),
                       Text(AInternalFormat)));
}

void TRecordingContextClass::PlatformSetPixelState(int32_t AWidth, int32_t AHeight, int32_t ADepth,
                                                   int32_t ABytesPerPixel, int32_t APitch) const {
  Calls.push_back(Join("PlatformSetPixelState", Text(AWidth), Text(AHeight), Text(ADepth),
                       Text(ABytesPerPixel), Text(APitch)));
}

void TRecordingContextClass::PlatformUnsetPixelState() const {
  Calls.push_back("PlatformUnsetPixelState");
}

bool TRecordingContextClass::PlatformHasAnyErrors() const {
  intptr_t error = 0;
  return PlatformHasAnyErrors(error);
}

bool TRecordingContextClass::PlatformHasAnyErrors(intptr_t& AError) const {
  AError = 0;
  if (!ErrorCodes.empty()) {
    AError = ErrorCodes.front();
    ErrorCodes.pop_front();
  }
  Calls.push_back(Join("PlatformHasAnyErrors", Text(int64_t(AError))));
  return AError != 0;
}

// ---- TRecordingContext: creation and buffers ---------------------------------------------------------

TRecordingContextClass& TRecordingContext::Register() {
  TRecordingContextClass& recorder = StaticClass();
  recorder.Reset();
  ContextShared().Reset();
  TContextManager::RegisterContext(recorder, true);
  return recorder;
}

TOwned<TRecordingContext> TRecordingContext::Create(TTexture* ATexture, TMultisample AMultisample) {
  return TOwned<TRecordingContext>(
      rtl::CheckedCast<TRecordingContext>(TContextManager::CreateFromTexture(ATexture, AMultisample, true)));
}

void TRecordingContext::InitContext() {
  inherited::InitContext();
  Record("InitContext");
}

void TRecordingContext::DoCreateBuffer() {
  Record("DoCreateBuffer");
  FDefaultFrameBuf.reset(rtl::New<TFakeFrameBuffer>("default", FTexture, 7));
  if (FMultisample != TMultisample::None) {
    FDefaultMSFrameBuf.reset(rtl::New<TFakeFrameBuffer>("multisample", FTexture, 8));
    FSupportMS = true;
  }
  FTranslucentBuf.reset(rtl::New<TFakeFrameBuffer>("translucent", nullptr, 9));
}

void TRecordingContext::DoFreeBuffer() {
  Record("DoFreeBuffer");
  inherited::DoFreeBuffer();
}

void TRecordingContext::DoResize() {
  Record(Join("DoResize", Text(FWidth), Text(FHeight)));
  inherited::DoResize();
}

TFakeFrameBuffer* TRecordingContext::DefaultFake() const {
  return static_cast<TFakeFrameBuffer*>(FDefaultFrameBuf.get());
}

TFakeFrameBuffer* TRecordingContext::MultisampleFake() const {
  return static_cast<TFakeFrameBuffer*>(FDefaultMSFrameBuf.get());
}

TFakeFrameBuffer* TRecordingContext::TranslucentFake() const {
  return static_cast<TFakeFrameBuffer*>(FTranslucentBuf.get());
}

int TRecordingContext::CallCount(std::string_view AName) const {
  int result = 0;
  for (const std::string& call : Calls)
    if (call == AName || (call.size() > AName.size() && call.starts_with(AName) && call[AName.size()] == ' '))
      ++result;
  return result;
}

// ---- TRecordingContext: hooks ------------------------------------------------------------------------

bool TRecordingContext::DoBeginScene() {
  Record("DoBeginScene");
  return inherited::DoBeginScene();
}

void TRecordingContext::DoEndScene() {
  Record("DoEndScene");
  inherited::DoEndScene();
}

void TRecordingContext::DoSetContextState(TContextState AState) {
  Record(Join("DoSetContextState", NameOf(AState), Text(MultipleSetContextState())));
  if (FailingState == AState)
    throw EContext3DException("recorded state failure");
}

void TRecordingContext::ApplyContextStates(TFMXContextStates AStates) {
  Record(Join("ApplyContextStates", Text(int64_t(AStates.Bits()))));
}

void TRecordingContext::DoClear(TClearTargets ATarget, TAlphaColor AColor, float ADepth, uint32_t AStencil) {
  Record(Join("DoClear", Text(int64_t(ATarget.Bits())), Text(AColor), Text(ADepth), Text(AStencil)));
}

void TRecordingContext::DoSetStencilOp(TStencilOp AFail, TStencilOp AZFail, TStencilOp AZPass) {
  Record(Join("DoSetStencilOp", NameOf(AFail), NameOf(AZFail), NameOf(AZPass)));
}

void TRecordingContext::DoSetStencilFunc(TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) {
  Record(Join("DoSetStencilFunc", NameOf(AFunc), Text(ARef), Text(AMask)));
}

void TRecordingContext::DoSetScissorRect(const TRect& AScissorRect) {
  Record(Join("DoSetScissorRect", Text(AScissorRect.Left), Text(AScissorRect.Top), Text(AScissorRect.Right),
              Text(AScissorRect.Bottom)));
}

void TRecordingContext::DoDrawPrimitivesBatch(TPrimitivesKind AKind, const void* AVertices,
                                              const void* AIndices, const TVertexDeclaration& ADeclaration,
                                              int32_t AVertexSize, int32_t AVertexCount, int32_t AIndexSize,
                                              int32_t AIndexCount) {
  Record(Join("DoDrawPrimitivesBatch", Text(int64_t(AKind))));
  Batches.push_back(
      {AKind, AVertices, AIndices, &ADeclaration, AVertexSize, AVertexCount, AIndexSize, AIndexCount});
}

void TRecordingContext::DoSetShaders(TContextShader*, TContextShader*) {
  Record("DoSetShaders");
}

void TRecordingContext::DoSetShaderVariable(const std::string& AName, std::span<const TVector3D> AData) {
  Record(Join("DoSetShaderVariable", AName, Text(int64_t(AData.size()))));
  VectorsName = AName;
  Vectors.assign(AData.begin(), AData.end());
}

void TRecordingContext::DoSetShaderVariable(const std::string& AName, TTexture*) {
  Record(Join("DoSetShaderVariable", AName, "texture"));
}

void TRecordingContext::DoCopyToBits(void*, int32_t APitch, const TRect& ARect) {
  Record(Join("DoCopyToBits", Text(APitch), Text(ARect.Width()), Text(ARect.Height())));
}

void TRecordingContext::DoClearEx(TRenderTargets ATarget, TAlphaColor AColor, float ADepth,
                                  uint32_t AStencil) {
  Record(Join("DoClearEx", Text(int64_t(ATarget.Bits())), Text(AColor), Text(ADepth), Text(AStencil)));
}

void TRecordingContext::DoClearBufferFloat(int32_t ABuf, const float* APtr) {
  Record(Join("DoClearBufferFloat", Text(ABuf), Text(APtr ? *APtr : 0.0f)));
}

void TRecordingContext::DoSetTwoSidedRendering(TStencilOpEx AFrontFaceFail, TStencilOpEx AFrontFaceZFail,
                                               TStencilOpEx AFrontFaceZPass, TStencilOpEx ABackFaceFail,
                                               TStencilOpEx ABackFaceZFail, TStencilOpEx ABackFaceZPass,
                                               uint32_t AFrontStencilMask, uint32_t ABackStencilMask) {
  Record(Join("DoSetTwoSidedRendering", NameOf(AFrontFaceFail), NameOf(AFrontFaceZFail),
              NameOf(AFrontFaceZPass), NameOf(ABackFaceFail), NameOf(ABackFaceZFail), NameOf(ABackFaceZPass),
              Text(AFrontStencilMask), Text(ABackStencilMask)));
}

void TRecordingContext::DoSetPolygonOffsetFill(TPolygonOffsetFill AMode, float AFactor, float AUnits) {
  Record(Join("DoSetPolygonOffsetFill", NameOf(AMode), Text(AFactor), Text(AUnits)));
}

void TRecordingContext::DoSetSmoothMode(const TSmoothSetting& ASetting) {
  Record(Join("DoSetSmoothMode", Text(int64_t(ASetting.Targets.Bits()))));
}

void TRecordingContext::DoSetPointSprites(bool AEnabled) {
  Record(Join("DoSetPointSprites", Text(int64_t(AEnabled))));
}

void TRecordingContext::DoSetShaderVariableMat4(const std::string& AName, const TMatrix3D& AMatrix) {
  Record(Join("DoSetShaderVariableMat4", AName));
  Mat4 = AMatrix;
}

void TRecordingContext::DoSetShaderVariableInt(const std::string& AName, std::span<const int32_t> AValues) {
  std::string values;
  for (const int32_t value : AValues)
    values += (values.empty() ? "" : ",") + Text(value);
  Record(Join("DoSetShaderVariableInt", AName, values));
}

// ---- TRecordingContext: slots ------------------------------------------------------------------------

uint32_t TRecordingContext::MemoryBarrierFlagToBits(TMemoryBarrierFlag AFlag) {
  Record(Join("MemoryBarrierFlagToBits", NameOf(AFlag)));
  return 1u << uint32_t(AFlag);
}

void TRecordingContext::SetMemoryBarrierBits(TMemoryBarrierFlags ABits) {
  Record(Join("SetMemoryBarrierBits", Text(int64_t(ABits.Bits()))));
}

void TRecordingContext::SetMemoryBarrierBit(TMemoryBarrierFlag ABit) {
  Record(Join("SetMemoryBarrierBit", NameOf(ABit)));
}

void TRecordingContext::DrawScreenRectangle(const TAlphaColorF& AColor) {
  Record(Join("DrawScreenRectangle", Text(AColor.R), Text(AColor.G), Text(AColor.B), Text(AColor.A)));
}

void TRecordingContext::BeginOrtho(float ALeft, float ATop, float ARight, float ABottom, float ANear,
                                   float AFar) {
  Record(Join("BeginOrtho", Text(ALeft), Text(ATop), Text(ARight), Text(ABottom), Text(ANear), Text(AFar)));
}

void TRecordingContext::BeginOrtho(const TOrthographicData& AData) {
  BeginOrtho(AData.Left, AData.Top, AData.Right, AData.Bottom, AData.Near, AData.Far);
}

void TRecordingContext::StorePreviousContextSize() {
  Record("StorePreviousContextSize");
  FOldViewport = FViewport;
}

void TRecordingContext::SetContextSize(int32_t AXOfs, int32_t AYOfs, int32_t AWidth, int32_t AHeight) {
  Record(Join("SetContextSize", Text(AXOfs), Text(AYOfs), Text(AWidth), Text(AHeight)));
  FViewport = {AXOfs, AYOfs, AWidth, AHeight};
}

void TRecordingContext::SetContextSize(const TVantrelContextSize& ASize) {
  SetContextSize(ASize[0], ASize[1], ASize[2], ASize[3]);
}

void TRecordingContext::GetContextSize(TVantrelContextSize& ASize) {
  Record("GetContextSize");
  ASize = FViewport;
}

void TRecordingContext::SetGlobalBlending(const TBlendSetting& AValue) {
  Record(Join("SetGlobalBlending", Text(int64_t(AValue.Enabled))));
}

void TRecordingContext::SetBlendingByIndex(uint32_t AIndex, const TBlendSetting& AValue) {
  Record(Join("SetBlendingByIndex", Text(AIndex)));
  FBlendingBuffers.at(AIndex) = AValue;
}

} // namespace vtest
