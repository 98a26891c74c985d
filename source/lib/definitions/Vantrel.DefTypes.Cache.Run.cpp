// The caching run: plays an animation of a model control frame by frame, skins its meshes and
// stores every frame in the animation definition's buffers.

#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/properties.h"
#include "rtl/sync.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Model.h"
#include "ui/animations.h"

namespace vantrel {

RTL_DEFINE_CLASS(TAnimationCaching, "Vantrel.DefTypes.Cache", &TAnimationCaching::RegisterProperties)

namespace {

constexpr const char* ModelNotValid = "failed to cache model animations - model not a valid TVantrelModel";

// The model mesh, then every sub-mesh depth-first.
void CollectMeshes(TVantrelMesh* AMesh, std::vector<TVantrelMesh*>& AResult) {
  AResult.push_back(AMesh);
  for (TVantrelMesh* mesh : AMesh->Meshes())
    if (mesh)
      CollectMeshes(mesh, AResult);
}

std::vector<TVantrelMesh*> MeshesOf(TComponent* AModel) {
  std::vector<TVantrelMesh*> result;
  if (auto* mesh = dynamic_cast<TVantrelMesh*>(AModel))
    CollectMeshes(mesh, result);
  return result;
}

TMeshDef* MeshDefOf(const TVantrelMesh* AMesh) {
  return dynamic_cast<TMeshDef*>(AMesh->Def());
}

// Every interpolator of the skeleton back at time 0, its resolved paths forgotten.
void ResetInterpolators(TVantrelAnimation& AAnimation) {
  if (TSkeletonKeyAnimation* skeleton = AAnimation.Skeleton())
    for (TPropertyKeyAnimation* inter : std::vector(skeleton->Interpolators()))
      inter->ResetCaching();
}

// The pose at time 0: every interpolator's process step at its current time (0 after the
// reset), inside one update of the skeleton's parent, without a tick. A tick of 0 would not do:
// at time 0 it sends a looping track to its end.
void ProcessFirstFrame(TVantrelAnimation& AAnimation) {
  TSkeletonKeyAnimation* skeleton = AAnimation.Skeleton();
  if (!skeleton)
    return;
  TFmxObject* parent = skeleton->Parent();
  if (parent)
    parent->BeginUpdate();
  try {
    for (TPropertyKeyAnimation* inter : std::vector(skeleton->Interpolators()))
      inter->ProcessAnimation();
  } catch (...) {
    if (parent)
      parent->EndUpdate();
    throw;
  }
  if (parent)
    parent->EndUpdate();
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

TAnimationCaching::TAnimationCaching(TModelDef* ADef, TAnimationCachingFlags AFlags, rtl::TObject* AModel)
    : TComponent(nullptr), FModelDef(ADef), FFlags(AFlags) {
  if (AModel) {
    auto* model = dynamic_cast<TVantrelModel*>(AModel);
    if (!model)
      throw Exception(ModelNotValid);
    FModel = model;
    return;
  }
  auto* model = New<TVantrelModel>(nullptr);
  FModel = model;
  FIsModelTemp = true;
  try {
    model->LoadFromDefinition(ADef);
  } catch (...) {
    DisposeTemporaryModel();
    throw;
  }
}

TAnimationCaching::~TAnimationCaching() {
  FMeshBuffers.reset();
  DisposeTemporaryModel();
}

void TAnimationCaching::RegisterProperties(rtl::TPropertyList& AList) {
  AList.AddEvent("OnBeginAnimation", &TAnimationCaching::OnBeginAnimation);
  AList.AddEvent("OnEndAnimation", &TAnimationCaching::OnEndAnimation);
  AList.AddEvent("OnBeginFrame", &TAnimationCaching::OnBeginFrame);
  AList.AddEvent("OnEndFrame", &TAnimationCaching::OnEndFrame);
  AList.AddEvent("OnCached", &TAnimationCaching::OnCached);
}

void TAnimationCaching::DisposeTemporaryModel() {
  if (!FIsModelTemp || !FModel)
    return;
  auto* model = static_cast<TVantrelModel*>(FModel);
  // The model would free a definition of no package as its own, while the caller still walks it.
  model->SetDef(nullptr);
  FModel = nullptr;
  FIsModelTemp = false;
  model->Free();
}

void TAnimationCaching::Execute(TAnimationDef* AAnimDef) {
  auto* model = dynamic_cast<TVantrelModel*>(FModel);
  FAnimDef = AAnimDef;
  FAnimation = nullptr;
  if (!AAnimDef)
    return;
  AAnimDef->PrepareAnimationData();
  TVantrelAnimationManager* manager = model ? model->AnimationManager() : nullptr;
  TVantrelAnimation* animation = manager ? manager->GetAnimation(AAnimDef) : nullptr;
  FAnimation = animation;
  const int32_t frames = AAnimDef->GetFrameCount();
  if (!animation || frames < 1)
    return;
  FTotalTime = 0;
  FLastTime = 0;
  // One frame holds the pose at 0 and needs no step.
  FFrameTime = frames > 1 ? AAnimDef->GetDuration() / (frames - 1) : 0;

  animation->Start();
  try {
    const TTimerHold timer;
    OnBeginAnimation(FAnimDef, FAnimation, TAnimationCachingState::Started);
    try {
      if (FFlags.Contains(TAnimationCachingFlag::VertexPosition)) {
        PrepareMeshBuffers();
        ResetInterpolators(*animation);
        CacheFrames();
      }
    } catch (...) {
      ResetInterpolators(*animation);
      FMeshBuffers.reset();
      // Frames that were never stored must not be drawn: the animation is skinned again and can
      // be cached anew.
      AAnimDef->ClearCache();
      throw;
    }
    ResetInterpolators(*animation);
    FMeshBuffers.reset();
    AAnimDef->FinalizeCaching();
  } catch (...) {
    animation->Stop();
    throw;
  }
  animation->Stop();
  OnEndAnimation(FAnimDef, FAnimation, TAnimationCachingState::Finished);
}

void TAnimationCaching::PrepareMeshBuffers() {
  FMeshBuffers = std::make_unique<TMeshBuffers>(std::initializer_list<rtl::TDictionaryOwnership>{rtl::TDictionaryOwnership::doOwnsValues});
  for (TVantrelMesh* mesh : MeshesOf(FModel)) {
    TMeshDef* def = MeshDefOf(mesh);
    TMeshData* data = mesh->GetMeshData();
    if (!def || !data || data->VertexBuffer().Length() < 1)
      continue;
    const TVertexBuffer& source = data->VertexBuffer();
    auto positions = MakeOwned<TVertexBuffer>(TVertexFormats{TVertexFormat::Vertex}, source.Length());
    for (int32_t i = 0; i < source.Length(); ++i)
      positions->SetVertices(i, source.GetVertices(i));
    // A definition shared by two meshes keeps the first one's positions.
    if (FMeshBuffers->TryAdd(def, positions.get()))
      positions.release();
  }
  auto* root = dynamic_cast<TMeshDef*>(static_cast<TVantrelMesh*>(FModel)->Def());
  FAnimDef->InitializeCaching(root ? root : FModelDef);
}

void TAnimationCaching::CacheFrames() {
  auto* animation = static_cast<TVantrelAnimation*>(FAnimation);
  TSkeletonKeyAnimation* skeleton = animation->Skeleton();
  std::vector<TVantrelArmature*> armatures;
  for (int i = 0; i < FModel->ComponentCount(); ++i)
    if (auto* armature = dynamic_cast<TVantrelArmature*>(FModel->Components(i)))
      armatures.push_back(armature);
  const int32_t total = FAnimDef->GetFrameCount();
  for (int32_t current = 0; current < total; ++current) {
    BeginFrame(current, total);
    try {
      // Frame k holds the pose at k x FrameTime: frame 0 is the pose at 0, every later frame
      // advances by one frame time first.
      if (current == 0) {
        ProcessFirstFrame(*animation);
      } else if (skeleton) {
        skeleton->ProcessAnimationRemote(float(FLastTime), float(FFrameTime));
        FLastTime += FFrameTime;
      }
      for (TVantrelArmature* armature : armatures)
        armature->AnimateSkin(FMeshBuffers.get());
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
    for (TVantrelMesh* mesh : MeshesOf(FModel)) {
      TMeshDef* def = MeshDefOf(mesh);
      TAnimationBuffer* buffer = def ? FAnimDef->StartCaching(def) : nullptr;
      if (!buffer)
        continue;
      try {
        TMeshData* data = mesh->GetMeshData();
        TVertexBuffer* const* found = FMeshBuffers ? FMeshBuffers->Find(def) : nullptr;
        const TVertexBuffer* vertices = found ? *found : (data ? &data->VertexBuffer() : nullptr);
        FAnimDef->CacheFrame(buffer, vertices, data ? &data->IndexBuffer() : nullptr, FFlags);
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
