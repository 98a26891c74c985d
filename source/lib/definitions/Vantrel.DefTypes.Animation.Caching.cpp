// The cached frames of an animation: per-mesh frame buffers and the animation definition's caching
// operations, which a caching run (TAnimationCaching) drives and the mesh's draw reads.

#include <algorithm>

#include "context/Vantrel.Context.Buffers.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/sync.h"

namespace vantrel {

RTL_DEFINE_CLASS(TAnimationBuffer, "Vantrel.DefTypes")

namespace {

constexpr const char* NextCacheFrameFailed = "GetNextCacheFrame failed - ";

} // namespace

// ---- TAnimationBuffer ----

TAnimationBuffer::TAnimationBuffer(TMeshDef* AMesh, TAnimationDef* AAnimation)
    : FMesh(AMesh), FAnimation(AAnimation), FFrames(std::make_unique<TObjectList<TMeshBufferObject>>()) {
  // Without a context the GPU build stays pending until the mesh is drawn.
  if (FMesh)
    FMesh->SetIsStatic(true);
}

TAnimationBuffer::~TAnimationBuffer() = default;

void TAnimationBuffer::SetFrameCount(int32_t AFrameCount) {
  TMonitorLock lock(this);
  if (FFrames->Count() == std::max(AFrameCount, 0))
    return;
  FIsBuffered = false;
  FBufferedFrames = 0;
  FFrames->Clear();
  TMeshBufferObject* staticBuffer = FMesh ? FMesh->GetBufferObject() : nullptr;
  for (int32_t i = 0; i < AFrameCount; ++i)
    FFrames->Add(New<TMeshBufferObject>(staticBuffer));
}

TMeshBufferObject* TAnimationBuffer::FrameForDrawing(int32_t AIndex) const {
  TMonitorLock lock(this);
  TMeshBufferObject* frame = (*FFrames)[AIndex];
  // The mesh's buffer object is made once a context exists and replaced by every rebuild, so the
  // one taken when the frames were made may be gone or missing.
  frame->SetStaticBuffer(FMesh ? FMesh->GetBufferObject() : nullptr);
  return frame;
}

// ---- TAnimationDef: caching ----

bool TAnimationDef::ResizeBuffers() {
  bool changed = false;
  for (TAnimationBuffer* buffer : FBuffers->Values()) {
    changed = changed || buffer->GetFrames().Count() != std::max(FFrameCount, 0);
    buffer->SetFrameCount(FFrameCount);
  }
  return changed;
}

void TAnimationDef::ClearCache() {
  TMonitorLock lock(this);
  FBuffers.reset();
  FBufferingState = TAnimationBufferingState::None;
  FCachingFlags = {};
}

void TAnimationDef::InitializeCaching(TMeshDef* AMesh) {
  if (!AMesh)
    return;
  {
    TMonitorLock lock(this);
    if (!FBuffers)
      FBuffers = std::make_unique<TAnimationBuffers>(std::initializer_list<rtl::TDictionaryOwnership>{rtl::TDictionaryOwnership::doOwnsValues});
    if (!dynamic_cast<TModelDef*>(AMesh)) {
      TOwned<TAnimationBuffer> buffer(New<TAnimationBuffer>(AMesh, this));
      FBuffers->Add(AMesh, buffer.get());
      TAnimationBuffer* added = buffer.release();
      added->SetBufferedFrames(0);
      added->SetFrameCount(FFrameCount);
    }
    if (const TObjectList<TTransformDef>* children = AMesh->GetChildren())
      for (TTransformDef* child : *children)
        if (auto* mesh = dynamic_cast<TMeshDef*>(child))
          InitializeCaching(mesh);
  }
  FBufferingState = TAnimationBufferingState::Started;
}

TAnimationBuffer* TAnimationDef::StartCaching(TMeshDef* AMesh) const {
  TMonitorLock lock(this);
  if (FBufferingState == TAnimationBufferingState::Ready || !FBuffers)
    return nullptr;
  TAnimationBuffer* const* found = FBuffers->Find(AMesh);
  return found ? *found : nullptr;
}

void TAnimationDef::CacheFrame(TAnimationBuffer* ABuffer, const TVertexBuffer* AVertices, const TIndexBuffer* AIndices,
                               TAnimationCachingFlags AFlags) {
  TMonitorLock lock(this);
  if (!ABuffer || !AVertices || !AIndices)
    return;
  const int32_t index = ABuffer->GetBufferedFrames();
  // The frame list has FrameCount entries unless the count changed under a running cache.
  if (index >= FFrameCount || index >= ABuffer->GetFrames().Count()) {
    FBufferingState = TAnimationBufferingState::Cached;
    return;
  }
  FBufferingState = TAnimationBufferingState::Caching;
  TMeshBufferObject* target = ABuffer->GetFrames()[index];
  const bool positions = AFlags.Contains(TAnimationCachingFlag::VertexPosition);
  if (AFlags.Contains(TAnimationCachingFlag::Compressed)) {
    if (positions)
      target->SetCompressed(TMeshBufferComponent::Vertex,
                            TAnimationFrameCompression::Compress(TVertexFormat::Vertex, AVertices));
    else
      target->SetCompressed(TMeshBufferComponent::All,
                            TAnimationFrameCompression::Compress(AVertices->Buffer(), AVertices->Size()));
  } else {
    target->PushData(positions ? TMeshBufferComponent::Vertex : TMeshBufferComponent::All, AVertices);
  }
  ABuffer->SetBufferedFrames(index + 1);
  if (index + 1 >= FFrameCount)
    FBufferingState = TAnimationBufferingState::Cached;
}

void TAnimationDef::StopCaching(TAnimationBuffer* ABuffer) {
  TMonitorLock lock(this);
  if (ABuffer)
    ABuffer->SetIsBuffered(true);
}

void TAnimationDef::FinalizeCaching() {
  FBufferingState = TAnimationBufferingState::Ready;
}

TMeshBufferObject* TAnimationDef::GetNextCacheFrame(TMeshDef* AMesh, int32_t AFrame) const {
  TMonitorLock lock(this);
  try {
    if (FBufferingState != TAnimationBufferingState::Ready || !FBuffers)
      return nullptr;
    TAnimationBuffer* const* found = FBuffers->Find(AMesh);
    if (!found)
      return nullptr;
    const int32_t count = (*found)->GetFrames().Count();
    if (count == 0)
      return nullptr;
    return (*found)->FrameForDrawing(AFrame < 0 || AFrame >= count ? 0 : AFrame);
  } catch (const std::exception& error) {
    const auto* known = dynamic_cast<const Exception*>(&error);
    Log::d(std::string(NextCacheFrameFailed) + (known ? known->Message() : std::string(error.what())));
    throw;
  }
}

} // namespace vantrel
