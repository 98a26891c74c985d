#include "context/Vantrel.Context.Buffers.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "rtl/sync.h"
#include "rtl/zlib_streams.h"

namespace vantrel {

static_assert(static_cast<int>(TMeshBufferComponent::Tangent) == static_cast<int>(TVertexFormat::Tangent));
static_assert(static_cast<int>(TMeshBufferComponent::ColorF0) == static_cast<int>(TVertexFormat::ColorF0));
static_assert(static_cast<int>(TMeshBufferComponent::TexCoord0) ==
              static_cast<int>(TVertexFormat::TexCoord0));

RTL_DEFINE_CLASS_META(TFBOTextureMap, "Vantrel.Context.Buffers", TFBOTextureMapClass)
RTL_DEFINE_CLASS_META(TFrameBufferObject, "Vantrel.Context.Buffers", TFrameBufferObjectClass)
RTL_DEFINE_CLASS_META(TBufferObject, "Vantrel.Context.Buffers", TBufferObjectClass)
RTL_DEFINE_CLASS(TMeshBufferObject, "Vantrel.Context.Buffers")

// ---- Vertex attributes ------------------------------------------------------------------------------

namespace {

bool IsColor(TVertexFormat AFormat) {
  return AFormat >= TVertexFormat::Color0 && AFormat <= TVertexFormat::ColorF3;
}

// Copies ASize bytes at AOffset of every vertex; the whole buffer at once when a vertex holds
// nothing else.
// A copy of a constant length compiles to a few moves; a run-time length to a generic loop.
template <size_t N> void CopyEach(const uint8_t* ASource, int32_t AStride, int32_t ACount, uint8_t* ADest) {
  for (int32_t vertex = 0; vertex < ACount; ++vertex, ASource += AStride, ADest += N)
    std::memcpy(ADest, ASource, N);
}

void CopyStrided(const TVertexBuffer& ABuffer, int32_t AOffset, int32_t ASize, uint8_t* ADest) {
  const int32_t stride = ABuffer.VertexSize();
  const uint8_t* source = ABuffer.Buffer() + AOffset;
  const int32_t count = ABuffer.Length();
  if (stride == ASize) {
    std::memcpy(ADest, source, size_t(ABuffer.Size()));
    return;
  }
  switch (ASize) {
  case 4:
    return CopyEach<4>(source, stride, count, ADest);
  case 8:
    return CopyEach<8>(source, stride, count, ADest);
  case 12:
    return CopyEach<12>(source, stride, count, ADest);
  default:
    for (int32_t vertex = 0; vertex < count; ++vertex, source += stride, ADest += ASize)
      std::memcpy(ADest, source, size_t(ASize));
  }
}

void WriteColor(const TVertexBuffer& ABuffer, int32_t ASlot, uint8_t* ADest) {
  const int32_t offset = ABuffer.OffsetOf(static_cast<TVertexFormat>(int(TVertexFormat::Color0) + ASlot));
  if (offset >= 0) {
    CopyStrided(ABuffer, offset, sizeof(TAlphaColor), ADest);
    return;
  }
  for (int32_t vertex = 0; vertex < ABuffer.Length(); ++vertex, ADest += sizeof(TAlphaColor)) {
    const TAlphaColor color = ABuffer.GetColor(ASlot, vertex);
    std::memcpy(ADest, &color, sizeof color);
  }
}

void WriteAttribute(TVertexFormat AFormat, const TVertexBuffer& ABuffer, int32_t ASize, uint8_t* ADest) {
  if (IsColor(AFormat)) {
    WriteColor(ABuffer, (int(AFormat) - int(TVertexFormat::Color0)) % 4, ADest);
    return;
  }
  const int32_t offset = ABuffer.OffsetOf(AFormat);
  if (offset >= 0)
    CopyStrided(ABuffer, offset, ASize, ADest);
  else
    std::memset(ADest, 0, size_t(ABuffer.Length()) * size_t(ASize));
}

} // namespace

int32_t VertexAttributeSize(TVertexFormat AFormat) {
  if (IsColor(AFormat))
    return 4;
  switch (AFormat) {
  case TVertexFormat::Vertex:
  case TVertexFormat::Normal:
  case TVertexFormat::BiNormal:
  case TVertexFormat::Tangent:
    return 12;
  case TVertexFormat::TexCoord0:
  case TVertexFormat::TexCoord1:
  case TVertexFormat::TexCoord2:
  case TVertexFormat::TexCoord3:
    return 8;
  default:
    return 0;
  }
}

void WriteVertexAttribute(TVertexFormat AFormat, const TVertexBuffer* ABuffer, rtl::TMemoryStream* AStream) {
  if (!AStream)
    return;
  const int32_t size = VertexAttributeSize(AFormat);
  if (ABuffer && size > 0 && ABuffer->Length() > 0) {
    const int64_t start = AStream->GetPosition();
    const int64_t end = start + int64_t(size) * ABuffer->Length();
    if (AStream->GetSize() < end)
      AStream->SetSize(end);
    WriteAttribute(AFormat, *ABuffer, size, AStream->Memory() + start);
  }
  AStream->SetPosition(0);
}

namespace {

// The installed classes; nullptr stands for the abstract bases, so nothing depends on the order
// in which static objects come into being.
TFBOTextureMapClass* GTextureMapClass = nullptr;
TFrameBufferObjectClass* GFrameBufferClass = nullptr;
TBufferObjectClass* GBufferObjectClass = nullptr;

// Runs a creation body on a fresh instance of AClass; a failure frees the partly built object.
template <class T, class TBody> T* Make(const rtl::TClass& AClass, TBody ABody) {
  rtl::TObject* object = AClass.NewInstance();
  auto* result = dynamic_cast<T*>(object);
  if (!result) {
    object->Free();
    throw rtl::EInvalidCast(rtl::messages::InvalidCast);
  }
  try {
    ABody(*result);
    result->AfterConstruction();
  } catch (...) {
    result->Free();
    throw;
  }
  return result;
}

[[noreturn]] void RaiseAbstract() {
  throw rtl::EAbstractError(rtl::messages::AbstractError);
}

constexpr uint32_t GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT = 0x8CD6;
constexpr uint32_t GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT = 0x8CD7;
constexpr uint32_t GL_FRAMEBUFFER_UNSUPPORTED = 0x8CDD;
constexpr uint32_t GL_FRAMEBUFFER_COMPLETE = 0x8CD5;

constexpr std::string_view SIncompleteAttachment =
    "error #%d: failed to use framebuffer-object #%d\r\nNot all framebuffer attachment points are "
    "framebuffer "
    "attachment complete. This means that at least one attachment point with a renderbuffer or texture "
    "attached "
    "has its attached object no longer in existence or has an attached image with a width or height of zero, "
    "or "
    "the color attachment point has a non-color-renderable image attached, or the depth attachment point has "
    "a "
    "non-depth-renderable image attached, or the stencil attachment point has a non-stencil-renderable image "
    "attached.";
constexpr std::string_view SMissingAttachment = "error #%d: failed to use framebuffer-object #%d\r\nNot all "
                                                "attached images have the same width and height.";
constexpr std::string_view SUnsupported = "error #%d: failed to use framebuffer-object #%d\r\nThe "
                                          "combination of internal formats of the attached images "
                                          "violates an implementation-dependent set of restrictions.";
constexpr std::string_view SUnexpected =
    "error #%d: failed to use framebuffer-object #%d\r\nunexpected error";

constexpr uint32_t ColorAttachment0 = 0x8CE0;
constexpr uint32_t DepthAttachment = 0x8D00;
constexpr uint32_t StencilAttachment = 0x8D20;

} // namespace

std::optional<std::string_view> FrameBufferStatusText(uint32_t AStatus, bool AAnyTexture) {
  switch (AStatus) {
  case GL_FRAMEBUFFER_COMPLETE:
    return std::nullopt;
  case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
    return AAnyTexture ? std::optional(SIncompleteAttachment) : std::nullopt;
  case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
    return AAnyTexture ? std::optional(SMissingAttachment) : std::nullopt;
  case GL_FRAMEBUFFER_UNSUPPORTED:
    return SUnsupported;
  default:
    return SUnexpected;
  }
}

// ---- Class references -----------------------------------------------------------------------------

TFrameBufferObject* TFrameBufferObjectClass::Create(ui::TContext3D* AContext, bool AIsMultisampleBuffer,
                                                    ui::TMultisample AMultisample,
                                                    void* AOwnerContext) const {
  return Make<TFrameBufferObject>(*this, [&](TFrameBufferObject& AFBO) {
    AFBO.Create(AContext, AIsMultisampleBuffer, AMultisample, AOwnerContext);
  });
}

TFBOTextureMap* TFBOTextureMapClass::Create(TFrameBufferObject* AFBO) const {
  return Make<TFBOTextureMap>(*this, [&](TFBOTextureMap& AMap) { AMap.Create(AFBO); });
}

TBufferObject* TBufferObjectClass::Create(TBufferUsage AUsage, TBufferBindingTarget ATarget,
                                          ui::TContext3D* AContext) const {
  return Make<TBufferObject>(*this,
                             [&](TBufferObject& ABuffer) { ABuffer.Create(AUsage, ATarget, AContext); });
}

TFBOTextureMapClass& TFBOTextureMap::TextureMapClass() {
  return GTextureMapClass ? *GTextureMapClass : StaticClass();
}

void TFBOTextureMap::SetTextureMapClass(TFBOTextureMapClass* AClass) {
  GTextureMapClass = AClass;
}

TFrameBufferObjectClass& TFrameBufferObject::FrameBufferClass() {
  return GFrameBufferClass ? *GFrameBufferClass : StaticClass();
}

void TFrameBufferObject::SetFrameBufferClass(TFrameBufferObjectClass* AClass) {
  GFrameBufferClass = AClass;
}

TBufferObjectClass& TBufferObject::BufferObjectClass() {
  return GBufferObjectClass ? *GBufferObjectClass : StaticClass();
}

void TBufferObject::SetBufferObjectClass(TBufferObjectClass* AClass) {
  GBufferObjectClass = AClass;
}

// ---- TFBOTextureMap -------------------------------------------------------------------------------

void TFBOTextureMap::Create(TFrameBufferObject* AFBO) {
  FFBO = AFBO;
}

void TFBOTextureMap::AddTexture(ui::TTexture* ATexture, TRenderTarget ATarget) {
  FTargets.at(static_cast<size_t>(ATarget)) = ATexture;
}

void TFBOTextureMap::RemoveTexture(ui::TTexture* ATexture) {
  for (size_t index = 0; index < FTargets.size(); ++index)
    if (FTargets[index] == ATexture) {
      RemoveTexture(static_cast<TRenderTarget>(index));
      return;
    }
}

bool TFBOTextureMap::TextureExists(TRenderTarget ATarget, const ui::TTexture* ATexture) const {
  return GetTextureByTarget(ATarget) == ATexture;
}

ui::TTexture* TFBOTextureMap::GetTextureByTarget(TRenderTarget ATarget) const {
  return FTargets.at(static_cast<size_t>(ATarget));
}

void TFBOTextureMap::Clear() {
  RemoveAll();
}

int32_t TFBOTextureMap::Count() const {
  int32_t result = 0;
  for (const ui::TTexture* texture : FTargets)
    result += texture ? 1 : 0;
  return result;
}

void TFBOTextureMap::RemoveAll() {
  for (size_t index = 0; index < FTargets.size(); ++index)
    if (FTargets[index])
      RemoveTexture(static_cast<TRenderTarget>(index));
}

// ---- TFrameBufferObject ---------------------------------------------------------------------------

void TFrameBufferObject::Create(ui::TContext3D* AContext, bool AIsMultisampleBuffer,
                                ui::TMultisample AMultisample, void*) {
  FOwnerContext = AContext;
  FContext = AContext;
  FIsMultisampleBuffer = AIsMultisampleBuffer;
  switch (AMultisample) {
  case ui::TMultisample::TwoSamples:
    FMSValue = 2;
    break;
  case ui::TMultisample::FourSamples:
    FMSValue = 4;
    break;
  default:
    FMSValue = 0;
  }
  FTextures.reset(TFBOTextureMap::TextureMapClass().Create(this));
  CreateHandle();
}

uint32_t TFrameBufferObject::RenderTargetToValue(TRenderTarget ATarget) {
  switch (ATarget) {
  case TRenderTarget::Depth:
    return DepthAttachment;
  case TRenderTarget::Stencil:
    return StencilAttachment;
  default: {
    const int color = ColorIndexOf(ATarget);
    return color < 0 ? ColorAttachment0 : ColorAttachment0 + uint32_t(color);
  }
  }
}

void TFrameBufferObject::DetachTexture(ui::TTexture* ATexture) {
  TFrameBufferBinding binding(*this);
  if (ATexture && FTextures)
    FTextures->RemoveTexture(ATexture);
}

ui::TTexture* TFrameBufferObject::GetTextureByRenderTarget(TRenderTarget ATarget) {
  return FTextures ? FTextures->GetTextureByTarget(ATarget) : nullptr;
}

bool TFrameBufferObject::CheckStatus() {
  RaiseAbstract();
}
void TFrameBufferObject::CreateHandle() {
  RaiseAbstract();
}
void TFrameBufferObject::DestroyHandle() {
  RaiseAbstract();
}
void TFrameBufferObject::Reset() {
  RaiseAbstract();
}
void TFrameBufferObject::CheckMaxAttachments(TRenderTarget) {
  RaiseAbstract();
}
void TFrameBufferObject::CreateRenderBuffer(int32_t, int32_t) {
  RaiseAbstract();
}
void TFrameBufferObject::DestroyRenderBuffer() {
  RaiseAbstract();
}
void TFrameBufferObject::CreateDepthBuffer(int32_t, int32_t) {
  RaiseAbstract();
}
void TFrameBufferObject::DestroyDepthBuffer() {
  RaiseAbstract();
}
void TFrameBufferObject::Prepare(TRenderTargets) {
  RaiseAbstract();
}
void TFrameBufferObject::Clear(TRenderTargets, const rtl::TAlphaColorF&, float, uint32_t, bool) {
  RaiseAbstract();
}

void TFrameBufferObject::Clear(TRenderTarget ATarget, const rtl::TAlphaColorF& AColor, float ADepth,
                               uint32_t AStencil, bool AForceDraw) {
  Clear(TRenderTargets{ATarget}, AColor, ADepth, AStencil, AForceDraw);
}

// ---- TBufferObject --------------------------------------------------------------------------------

void TBufferObject::Create(TBufferUsage AUsage, TBufferBindingTarget ATarget, ui::TContext3D* AContext) {
  FContext = AContext;
  FUsage = AUsage;
  FTarget = ATarget;
  FSize = 0;
}

// ---- TMeshBufferObject ----------------------------------------------------------------------------

TMeshBufferObject::TMeshBufferObject(TMeshBufferObject* AStaticBuffer) : FStaticBuffer(AStaticBuffer) {}

TMeshBufferObject::~TMeshBufferObject() {
  ClearAll();
  FStaticBuffer = nullptr;
  rtl::FreeAndNil(FTempMemStream);
}

size_t TMeshBufferObject::Slot(TMeshBufferComponent AIndex) {
  const auto slot = static_cast<size_t>(AIndex);
  if (slot >= MeshBufferComponentCount)
    throw rtl::ERangeError(rtl::messages::RangeError);
  return slot;
}

TBufferObject* TMeshBufferObject::GetComponent(TMeshBufferComponent AIndex) {
  rtl::TMonitorLock lock(this);
  return ComponentLocked(AIndex);
}

TBufferObject* TMeshBufferObject::ComponentLocked(TMeshBufferComponent AIndex) {
  TBufferObject*& buffer = FComponents[Slot(AIndex)];
  if (!buffer) {
    const auto target = AIndex == TMeshBufferComponent::Indices ? TBufferBindingTarget::ElementArray
                                                                : TBufferBindingTarget::_Array;
    buffer = TBufferObject::BufferObjectClass().Create(TBufferUsage::StaticDraw, target, nullptr);
  }
  return buffer;
}

bool TMeshBufferObject::ComponentAvailable(TMeshBufferComponent AIndex) const {
  return FComponents[Slot(AIndex)] != nullptr;
}

void TMeshBufferObject::PushData(TMeshBufferComponent AIndex, const void* AData, intptr_t ASize) {
  rtl::TMonitorLock lock(this);
  TBufferObject& buffer = *GetComponent(AIndex);
  TBufferObjectBinding binding(buffer);
  buffer.Push(AData, ASize);
}

void TMeshBufferObject::PushData(TMeshBufferComponent AIndex, const ui::TVertexBuffer* ABuffer) {
  if (!ABuffer)
    return;
  rtl::TMonitorLock lock(this);
  switch (AIndex) {
  case TMeshBufferComponent::All:
    PushData(AIndex, ABuffer->Buffer(), ABuffer->Size());
    return;
  case TMeshBufferComponent::Indices:
    throw rtl::Exception(std::string(SPushIndexData));
  default:
    // Positions too are extracted: the draw reads them tightly packed, whatever else the vertex
    // buffer interleaves.
    const auto format = static_cast<TVertexFormat>(AIndex);
    rtl::TMemoryStream& scratch = Scratch();
    WriteVertexAttribute(format, ABuffer, &scratch);
    PushData(AIndex, scratch.Memory(), intptr_t(VertexAttributeSize(format)) * ABuffer->Length());
  }
}

rtl::TMemoryStream& TMeshBufferObject::Scratch() {
  if (!FTempMemStream)
    FTempMemStream = rtl::New<rtl::TMemoryStream>();
  // The scratch keeps its size from the last upload: growing it zero-fills only the new part, and
  // each upload sends just the bytes it wrote, so repeated uploads neither reallocate nor clear it.
  FTempMemStream->SetPosition(0);
  return *FTempMemStream;
}

rtl::TStream* TMeshBufferObject::GetCompressed(TMeshBufferComponent AIndex) const {
  return FCompressed[Slot(AIndex)];
}

void TMeshBufferObject::SetCompressed(TMeshBufferComponent AIndex, rtl::TOwned<rtl::TStream> AValue) {
  rtl::TMonitorLock lock(this);
  rtl::TStream*& stream = FCompressed[Slot(AIndex)];
  if (stream == AValue.get()) {
    AValue.release();
    return;
  }
  rtl::FreeAndNil(stream);
  stream = AValue.release();
}

bool TMeshBufferObject::GetIsCompressed(TMeshBufferComponent AIndex) const {
  return GetCompressed(AIndex) != nullptr;
}

rtl::TOwned<rtl::TMemoryStream> TMeshBufferObject::Decompress(TMeshBufferComponent AIndex) {
  constexpr int64_t ChunkSize = 0x100000;
  // Vertex streams deflate to between a half and a quarter of their size. Reserving four times the
  // compressed size up front usually makes the result's only allocation: growing it again would
  // copy the content and, for large results, touch fresh pages each time. The reservation is
  // bounded, so a large corrupt stream claims no more before it fails.
  constexpr int64_t ExpectedRatio = 4;
  constexpr int64_t MaxReserve = 256 * ChunkSize;
  rtl::TMonitorLock lock(this);
  rtl::TStream* source = FCompressed[Slot(AIndex)];
  if (!source)
    throw rtl::Exception(std::string(SNoCompressedStream));
  source->SetPosition(0);
  auto inflater = rtl::MakeOwned<rtl::TZDecompressionStream>(source);
  auto result = rtl::MakeOwned<rtl::TMemoryStream>();
  result->SetCapacity(std::clamp(ExpectedRatio * source->GetSize(), ChunkSize, MaxReserve));
  int64_t size = 0;
  for (;;) {
    // Reads into the reserved room first; only a full stream grows. A short read is the end.
    const int64_t room = result->GetCapacity() - size;
    const int64_t count = room > 0 ? std::min(room, ChunkSize) : ChunkSize;
    result->SetSize(size + count);
    const int64_t read = inflater->Read(result->Memory() + size, count);
    size += read;
    if (read < count)
      break;
  }
  result->SetSize(size);
  result->SetPosition(0);
  return result;
}

TMeshBufferObject& TMeshBufferObject::RequireStatic(std::string_view AMessage) const {
  if (!FStaticBuffer)
    throw rtl::Exception(std::string(AMessage));
  return *FStaticBuffer;
}

// Each takes the static buffer's monitor once: it guards the component array read here.
intptr_t TMeshBufferObject::BindStaticVertices() {
  TMeshBufferObject& source = RequireStatic(SBindVerticesNoStatic);
  rtl::TMonitorLock lock(&source);
  return source.ComponentLocked(TMeshBufferComponent::All)->Bind();
}

intptr_t TMeshBufferObject::BindStaticIndices() {
  TMeshBufferObject& source = RequireStatic(SBindIndicesNoStatic);
  rtl::TMonitorLock lock(&source);
  return source.ComponentLocked(TMeshBufferComponent::Indices)->Bind();
}

void TMeshBufferObject::UnbindStaticVertices() {
  TMeshBufferObject& source = RequireStatic(SUnbindVerticesNoStatic);
  rtl::TMonitorLock lock(&source);
  source.ComponentLocked(TMeshBufferComponent::All)->Unbind();
}

void TMeshBufferObject::UnbindStaticIndices() {
  TMeshBufferObject& source = RequireStatic(SUnbindIndicesNoStatic);
  rtl::TMonitorLock lock(&source);
  source.ComponentLocked(TMeshBufferComponent::Indices)->Unbind();
}

void TMeshBufferObject::ClearAll() {
  rtl::TMonitorLock lock(this);
  for (TBufferObject*& buffer : FComponents)
    rtl::FreeAndNil(buffer);
  for (rtl::TStream*& stream : FCompressed)
    rtl::FreeAndNil(stream);
}

void TMeshBufferObject::AssignBufferObject(const TMeshBufferObject& ABuffer) {
  rtl::TMonitorLock lock(this);
  rtl::TMonitorLock source(&ABuffer);
  FKind = ABuffer.FKind;
  FLineWidth = ABuffer.FLineWidth;
  FComponents = ABuffer.FComponents;
  FCompressed = ABuffer.FCompressed;
  FStaticBuffer = ABuffer.FStaticBuffer;
  FTempMemStream = ABuffer.FTempMemStream;
}

void TMeshBufferObject::ClearAssignedBufferObject() {
  rtl::TMonitorLock lock(this);
  FComponents.fill(nullptr);
  FCompressed.fill(nullptr);
  FStaticBuffer = nullptr;
  FTempMemStream = nullptr;
}

} // namespace vantrel
