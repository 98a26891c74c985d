// The caching run: plays an animation of a model control frame by frame, skins its meshes and
// stores every frame in the animation definition's buffers. The control is reached through
// ICachingModel, which the model unit installs.

#include <utility>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/properties.h"
#include "rtl/sync.h"
#include "rtl/sysutils.h"
#include "ui/animations.h"

namespace vantrel {

RTL_DEFINE_CLASS(TAnimationCaching, "Vantrel.DefTypes.Cache", &TAnimationCaching::RegisterProperties)

namespace {

TCachingModelFactory& CachingModelFactory() {
  static TCachingModelFactory factory = nullptr;
  return factory;
}

std::unique_ptr<ICachingModel> MakeCachingModel(TModelDef* ADef, rtl::TObject* AModel) {
  const TCachingModelFactory factory = CachingModelFactory();
  return factory ? factory(ADef, AModel) : nullptr;
}

// Holds the platform's animation timer off for a scope and restores its state.
class TTimerHold {
public:
  TTimerHold() : FThread(ui::AniThread()) {
    if (!FThread)
      return;
    FWasEnabled = FThread->TimerEnabled();
    FThread->SetTimerEnabled(false);
  }
  ~TTimerHold() {
    if (FThread && ui::AniThread() == FThread)
      FThread->SetTimerEnabled(FWasEnabled);
  }
  TTimerHold(const TTimerHold&) = delete;
  TTimerHold& operator=(const TTimerHold&) = delete;

private:
  ui::TAniThread* FThread;
  bool FWasEnabled = false;
};

} // namespace

TCachingModelFactory SetCachingModelFactory(TCachingModelFactory AFactory) {
  return std::exchange(CachingModelFactory(), AFactory);
}

TAnimationCaching::TAnimationCaching(TModelDef* ADef, TAnimationCachingFlags AFlags, rtl::TObject* AModel)
    : TComponent(nullptr), FModelDef(ADef), FFlags(AFlags), FModel(MakeCachingModel(ADef, AModel)) {}

// The buffers go before a temporary model control.
TAnimationCaching::~TAnimationCaching() {
  FMeshBuffers.reset();
}

void TAnimationCaching::RegisterProperties(rtl::TPropertyList& AList) {
  AList.AddEvent("OnBeginAnimation", &TAnimationCaching::OnBeginAnimation);
  AList.AddEvent("OnEndAnimation", &TAnimationCaching::OnEndAnimation);
  AList.AddEvent("OnBeginFrame", &TAnimationCaching::OnBeginFrame);
  AList.AddEvent("OnEndFrame", &TAnimationCaching::OnEndFrame);
  AList.AddEvent("OnCached", &TAnimationCaching::OnCached);
}

void TAnimationCaching::Execute(TAnimationDef* AAnimDef) {
  FAnimDef = AAnimDef;
  FAnimation = nullptr;
  if (!AAnimDef)
    return;
  AAnimDef->PrepareAnimationData();
  FAnimation = FModel ? FModel->SelectAnimation(AAnimDef) : nullptr;
  const int32_t frames = AAnimDef->GetFrameCount();
  if (!FAnimation || frames < 1)
    return;
  FTotalTime = 0;
  FLastTime = 0;
  // One frame holds the pose at 0 and needs no step.
  FFrameTime = frames > 1 ? AAnimDef->GetDuration() / (frames - 1) : 0;

  FModel->StartAnimation();
  try {
    const TTimerHold timer;
    OnBeginAnimation(FAnimDef, FAnimation, TAnimationCachingState::Started);
    try {
      if (FFlags.Contains(TAnimationCachingFlag::VertexPosition)) {
        PrepareMeshBuffers();
        FModel->RewindAnimation();
        CacheFrames();
      }
    } catch (...) {
      FModel->RewindAnimation();
      FMeshBuffers.reset();
      // Frames that were never stored must not be drawn: the animation is skinned again and can
      // be cached anew.
      AAnimDef->ClearCache();
      throw;
    }
    FModel->RewindAnimation();
    FMeshBuffers.reset();
    AAnimDef->FinalizeCaching();
  } catch (...) {
    FModel->StopAnimation();
    throw;
  }
  FModel->StopAnimation();
  OnEndAnimation(FAnimDef, FAnimation, TAnimationCachingState::Finished);
}

void TAnimationCaching::PrepareMeshBuffers() {
  FMeshBuffers = std::make_unique<TMeshBuffers>(std::initializer_list<rtl::TDictionaryOwnership>{rtl::TDictionaryOwnership::doOwnsValues});
  for (const ICachingModel::TMesh& mesh : FModel->Meshes()) {
    if (!mesh.Def || !mesh.Vertices || mesh.Vertices->Length() < 1)
      continue;
    const TVertexBuffer& source = *mesh.Vertices;
    auto positions = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex}, source.Length());
    for (int32_t i = 0; i < source.Length(); ++i)
      positions->SetVertices(i, source.GetVertices(i));
    // A definition shared by two meshes keeps the first one's positions.
    if (FMeshBuffers->TryAdd(mesh.Def, positions.get()))
      positions.release();
  }
  TMeshDef* root = FModel->RootMeshDef();
  FAnimDef->InitializeCaching(root ? root : FModelDef);
}

void TAnimationCaching::CacheFrames() {
  const int32_t total = FAnimDef->GetFrameCount();
  for (int32_t current = 0; current < total; ++current) {
    BeginFrame(current, total);
    try {
      // Frame k holds the pose at k x FrameTime: frame 0 is the pose at 0, every later frame
      // advances by one frame time first.
      if (current == 0) {
        FModel->PoseCurrentTime();
      } else {
        FModel->StepAnimation(float(FLastTime), float(FFrameTime));
        FLastTime += FFrameTime;
      }
      FModel->Skin(FMeshBuffers.get());
    } catch (...) {
      EndFrame(current, total);
      throw;
    }
    EndFrame(current, total);
  }
}

void TAnimationCaching::BeginFrame(int32_t ACurrent, int32_t ATotal) {
  OnBeginFrame(FAnimDef, FAnimation, ACurrent, ATotal);
}

void TAnimationCaching::EndFrame(int32_t ACurrent, int32_t ATotal) {
  if (FAnimDef) {
    for (const ICachingModel::TMesh& mesh : FModel->Meshes()) {
      TAnimationBuffer* buffer = mesh.Def ? FAnimDef->StartCaching(mesh.Def) : nullptr;
      if (!buffer)
        continue;
      try {
        TVertexBuffer* const* found = FMeshBuffers ? FMeshBuffers->Find(mesh.Def) : nullptr;
        FAnimDef->CacheFrame(buffer, found ? *found : mesh.Vertices, mesh.Indices, FFlags);
        OnCached(FAnimDef, FAnimation, ACurrent, buffer);
      } catch (...) {
        if (FAnimDef->GetBufferingState() == TAnimationBufferingState::Cached)
          FAnimDef->StopCaching(buffer);
        throw;
      }
      if (FAnimDef->GetBufferingState() == TAnimationBufferingState::Cached)
        FAnimDef->StopCaching(buffer);
    }
  }
  FTotalTime += FFrameTime;
  OnEndFrame(FAnimDef, FAnimation, ACurrent, ATotal);
}

// ---- The animation definition's entry and the model definition's selection ----

void TAnimationDef::Cache(rtl::TObject* ACache) {
  if (!ACache)
    return;
  auto* caching = dynamic_cast<TAnimationCaching*>(ACache);
  if (!caching)
    throw EInvalidCast(rtl::messages::InvalidCast);
  TMonitorLock lock(this);
  // The flags come first: the armature skins a cacheable animation until its cache is Ready.
  FCachingFlags = caching->Flags();
  caching->Execute(this);
}

namespace {

bool IsSelected(const TAnimationDef& AAnimation, std::span<const rtl::TValue> ASelected) {
  if (ASelected.empty())
    return true;
  for (const rtl::TValue& entry : ASelected)
    if (entry.Kind() == rtl::TTypeKind::tkString && entry.AsString() == AAnimation.GetId())
      return true;
  return false;
}

} // namespace

int32_t CacheModelAnimations(TModelDef* ADef, std::span<const rtl::TValue> ASelected, TAnimationCachingFlags AFlags,
                             rtl::TObject* AModel) {
  if (!ADef || !ADef->GetAnimations())
    return 0;
  const TOwned<TAnimationCaching> caching = MakeOwned<TAnimationCaching>(ADef, AFlags, AModel);
  int32_t count = 0;
  for (TAnimationDef* animation : *ADef->GetAnimations()) {
    if (!IsSelected(*animation, ASelected) || animation->GetBufferingState() != TAnimationBufferingState::None)
      continue;
    animation->Cache(caching.get());
    ++count;
  }
  return count;
}

} // namespace vantrel
