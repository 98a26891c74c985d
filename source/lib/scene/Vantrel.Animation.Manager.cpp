// Part of the unit Vantrel.Animation: model animations and their manager.
#include <cmath>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "definitions/Vantrel.Loader.h"
#include "rtl/exceptions.h"
#include "rtl/fields.h"
#include "rtl/log.h"
#include "rtl/ioutils.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Model.h"
#include "ui/platform_services.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelAnimation, "Vantrel.Animation", &TVantrelAnimation::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelAnimationManager, "Vantrel.Animation", &TVantrelAnimationManager::RegisterProperties)

// ---- TVantrelAnimation ----

TVantrelAnimation::TVantrelAnimation(TComponent* AOwner) : TFmxObject(AOwner) {
  SetStored(false);
  FSkeleton = New<TSkeletonKeyAnimation>(this);
  FSkeleton->SetStored(false);
}

TVantrelAnimation* TVantrelAnimation::CreateEx(TVantrelAnimationManager* AManager) {
  auto* animation = New<TVantrelAnimation>(AManager);
  animation->FManager = AManager;
  return animation;
}

void TVantrelAnimation::BeforeDestruction() {
  // Out of the manager before anything goes: it must neither free this animation again nor keep
  // it as its current one.
  if (FManager)
    FManager->Forget(this);
  FManager = nullptr;
  // The skeleton goes before the key animations it drives (owned components go in reverse order
  // of creation, which would free it last).
  if (TSkeletonKeyAnimation* skeleton = FSkeleton) {
    FSkeleton = nullptr;
    skeleton->Free();
  }
  TFmxObject::BeforeDestruction();
}

TVantrelAnimation::~TVantrelAnimation() = default;

void TVantrelAnimation::RegisterProperties(TPropertyList& AList) {
  AList.Add("UseTransform", &TVantrelAnimation::UseTransform, &TVantrelAnimation::SetUseTransform).WithDefault(false);
  AList.Add("TransformMatrix", &TVantrelAnimation::TransformMatrix, &TVantrelAnimation::SetTransformMatrix);
  AList.Add("Source", &TVantrelAnimation::Source, &TVantrelAnimation::SetSource);
}

// The definition is shared; the manager is the copy of the source's (the copy's parent); the
// skeleton is the copy's own, which the duplicator maps to the source's.
void TVantrelAnimation::RegisterFields() {
  rtl::RegisterFields(StaticClass(),
                      {
                          ValueField<&TVantrelAnimation::FDef>("FDef"),
                          ObjectField<&TVantrelAnimation::FManager>(
                              "FManager", &TVantrelAnimationManager::StaticClass(), true),
                          ObjectField<&TVantrelAnimation::FSkeleton>(
                              "FSkeleton", &TSkeletonKeyAnimation::StaticClass(), true),
                          ValueField<&TVantrelAnimation::FDuration>("FDuration"),
                          ValueField<&TVantrelAnimation::FFrameCount>("FFrameCount"),
                          ValueField<&TVantrelAnimation::FFrameRate>("FFrameRate"),
                          ValueField<&TVantrelAnimation::FFixedCacheFrame>("FFixedCacheFrame"),
                          ValueField<&TVantrelAnimation::FUseTransform>("FUseTransform"),
                          ValueField<&TVantrelAnimation::FTransformMatrix>("FTransformMatrix"),
                      });
}

std::string TVantrelAnimation::Id() const {
  return FDef ? FDef->GetId() : std::string();
}

bool TVantrelAnimation::IsRunning() const {
  return FSkeleton && FSkeleton->Running();
}

bool TVantrelAnimation::IsPaused() const {
  return FSkeleton && FSkeleton->Pause();
}

TVantrelModel* TVantrelAnimation::ParentModel() const {
  return dynamic_cast<TVantrelModel*>(Parent());
}

void TVantrelAnimation::SetManager(TVantrelAnimationManager* AValue) {
  const std::string id = Source();
  if (FManager) {
    FManager->Forget(this);
    if (Owner() == FManager) {
      FManager->RemoveComponent(this);
      if (AValue)
        AValue->InsertComponent(this);
    }
  }
  FManager = AValue;
  if (AValue)
    AValue->FAnimations.AddOrSetValue(id, this);
}

void TVantrelAnimation::LoadFromAnimationDef(TAnimationDef* ADef) {
  if (!ADef)
    return;
  FDef = ADef;
  SetName(GetUniqueComponentName(Owner(), ADef->GetId()));
  if (!Parent())
    return;
  TVantrelModel* model = ParentModel();
  if (!model)
    throw EInvalidCast(rtl::messages::InvalidCast);
  for (TAnimationStageDef* stage : ADef->GetStages())
    for (TCustomDef* track : stage->GetInterpolators())
      AddTrack(model, stage, track);
  FDuration = ADef->GetDurationInSeconds();
  FFrameRate = FixedFrameRate;
  FFrameCount = int32_t(std::ceil(FDuration * FixedFrameRate));
  FSkeleton->SetParent(model);
  FSkeleton->SetDuration(float(FDuration));
}

namespace {

// The control a stage refers to, found by name.
TVantrelControl* ControlByName(TVantrelModel* AModel, const TCustomDef* AReference, const char* ANotFound) {
  auto* control = dynamic_cast<TVantrelControl*>(AModel->FindControlByDeepSearch(AReference->GetId()));
  if (!control)
    throw Exception(Format(ANotFound, AReference->GetId()));
  return control;
}

} // namespace

void TVantrelAnimation::AddTrack(TVantrelModel* AModel, TAnimationStageDef* AStage, TCustomDef* ATrack) {
  TCustomDef* reference = AStage->GetReference();
  auto requireReference = [&](const char* AMessage) {
    if (!reference)
      throw Exception(Format(AMessage, AStage->GetId()));
  };
  TVantrelControl* target = nullptr;
  TPropertyKeyAnimation* animation = nullptr;
  std::string path;
  if (auto* matrices = dynamic_cast<TTransformationInterpolatorDef*>(ATrack)) {
    requireReference(SAnimationTransformationRefNotSet);
    target = dynamic_cast<TVantrelControl*>(AModel->FindControlByDefDeepSearch(reference));
    if (!target) {
      Log::d(SAnimationTargetNotFound, Name(), reference->GetId());
      return;
    }
    animation = New<TTransformationKeyAnimation>(this);
    path = matrices->GetPath();
  } else if (auto* points = dynamic_cast<TPoint3DInterpolatorDef*>(ATrack)) {
    requireReference(SAnimationPoint3DRefNotSet);
    target = ControlByName(AModel, reference, SAnimationPositionTargetNotFound);
    animation = New<TPoint3DKeyAnimation>(this);
    path = points->GetPath();
  } else if (auto* vectors = dynamic_cast<TVector3DInterpolatorDef*>(ATrack)) {
    requireReference(SAnimationVector3DRefNotSet);
    target = ControlByName(AModel, reference, SAnimationOrientationTargetNotFound);
    animation = New<TVector3DKeyAnimation>(this);
    path = vectors->GetPath();
  } else if (auto* quaternions = dynamic_cast<TQuaternion3DInterpolatorDef*>(ATrack)) {
    requireReference(SAnimationQuaternion3DRefNotSet);
    target = ControlByName(AModel, reference, SAnimationOrientationTargetNotFound);
    animation = New<TQuaternion3DKeyAnimation>(this);
    path = quaternions->GetPath();
  } else if (auto* coordinates = dynamic_cast<TMeshInterpolatorDef*>(ATrack)) {
    requireReference(SAnimationMeshRefNotSet);
    target = ControlByName(AModel, reference, SAnimationVertexTargetNotFound);
    animation = New<TCoordinateKeyAnimation>(this);
    path = coordinates->GetPath();
  } else {
    return;
  }
  if (!path.empty())
    animation->SetPropertyName(path);
  animation->SetParent(target);
  FSkeleton->AddInterpolator(animation);
  animation->AddElement(target, true);
  animation->LoadFromInterpolatorDef(ATrack);
}

void TVantrelAnimation::Start() {
  if (!FSkeleton)
    return;
  // A skeleton that finished on its own is still enabled: start it directly then.
  if (FSkeleton->Enabled())
    FSkeleton->Start();
  else
    FSkeleton->SetEnabled(true);
  if (FManager)
    FManager->FCurrent = this;
}

void TVantrelAnimation::Stop() {
  if (!FSkeleton)
    return;
  FSkeleton->SetEnabled(false);
  FSkeleton->Stop();
}

void TVantrelAnimation::Reset() {
  if (!FSkeleton)
    return;
  FSkeleton->Reset();
}

void TVantrelAnimation::SetSpeed(float ASpeed) {
  if (!FSkeleton)
    return;
  FSkeleton->SetSpeed(ASpeed);
}

void TVantrelAnimation::SetFixedCacheFrame(int32_t AFrameNr) {
  FFixedCacheFrame = AFrameNr >= FFrameCount ? 0 : AFrameNr;
}

int32_t TVantrelAnimation::CacheFrameIndex(int32_t ACachedFrames) const {
  if (ACachedFrames <= 0 || !FSkeleton)
    return 0;
  int32_t frame;
  if (FFixedCacheFrame >= 0)
    frame = FFixedCacheFrame >= ACachedFrames ? 0 : FFixedCacheFrame;
  else
    // The cache holds the definition's frames, first and last included: the last frame belongs
    // to the end of the run. Ties round to even.
    frame = int32_t(std::nearbyint(double(ACachedFrames - 1) * double(FSkeleton->TransitionTime())));
  return std::clamp(frame, 0, ACachedFrames - 1);
}

TMeshBufferObject* TVantrelAnimation::GetCurrentCachedFrame(TMeshDef* AMeshDef) {
  if (ComponentState().Contains(TComponentStateItem::csDestroying) || !AMeshDef || !FDef || !FSkeleton ||
      !IsRunning())
    return nullptr;
  return FDef->GetNextCacheFrame(AMeshDef, CacheFrameIndex(FDef->GetFrameCount()));
}

void TVantrelAnimation::DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) {
  auto* source = dynamic_cast<TVantrelAnimation*>(ASource);
  if (source && ADuplicator && FSkeleton && !FSkeleton->Parent() && source->FSkeleton &&
      source->FSkeleton->Parent()) {
    TObject* copy = nullptr;
    if (ADuplicator->ObjectMap().TryGetValue(static_cast<TObject*>(source->FSkeleton->Parent()), copy))
      if (auto* parent = dynamic_cast<TFmxObject*>(copy))
        FSkeleton->SetParent(parent);
  }
  if (source && FSkeleton && source->FSkeleton) {
    // The skeleton is the copy's own, so its settings and tracks are taken here: the tracks are
    // this animation's children and were copied before this runs.
    FSkeleton->SetDuration(source->FSkeleton->Duration());
    FSkeleton->SetLoop(source->FSkeleton->Loop());
    FSkeleton->SetAutoRepaint(source->FSkeleton->AutoRepaint());
    for (TPropertyKeyAnimation* track : source->FSkeleton->Interpolators()) {
      TObject* copy = nullptr;
      if (ADuplicator && ADuplicator->ObjectMap().TryGetValue(track, copy))
        if (auto* copiedTrack = dynamic_cast<TPropertyKeyAnimation*>(copy))
          FSkeleton->AddInterpolator(copiedTrack);
    }
  }
  if (!FManager)
    throw Exception(SAnimationMissingManager);
  FManager->AddAnimation(Id(), this);
}

void TVantrelAnimation::RemapTrackElements(const TVantrelDuplicator& ADuplicator) {
  if (!FSkeleton)
    return;
  for (TPropertyKeyAnimation* track : FSkeleton->Interpolators())
    track->RemapElements(ADuplicator);
}

void TVantrelAnimation::SetSource(const std::string& AValue) {
  if (FDef) {
    Log::d(SAnimationSourceExists, Source(), AValue);
    return;
  }
  TVantrelModel* model = ParentModel();
  if (!model) {
    Log::d(SAnimationOwnerNotModel, AValue);
    return;
  }
  TVantrelAnimationManager* manager = model->AnimationManager();
  if (!manager) {
    Log::d(SAnimationMissingModelManager, AValue);
    return;
  }
  if (manager->GetAnimation(AValue)) {
    Log::d(SAnimationAlreadyInModel, AValue);
    return;
  }
  if (!FManager)
    FManager = manager;
  FManager->FAnimations.AddOrSetValue(AValue, this);
  auto* modelDef = dynamic_cast<TModelDef*>(model->Def());
  if (!modelDef) {
    Log::d(SAnimationModelDefMissing, AValue);
    return;
  }
  std::string fileName = ExtractFilePath(modelDef->GetFilename());
  fileName = IncludeTrailingPathDelimiter(fileName) + AValue;
  try {
    LoadFromAnimationDef(TVantrelLoader::LoadUndefinedAnimationDefFromFile(modelDef, fileName));
  } catch (const std::exception&) {
    Log::d(SAnimationAutoLoadFailed, AValue, fileName);
  }
}

// ---- TVantrelAnimationManager ----

void TVantrelAnimationManager::TAnimations::ValueNotify(TVantrelAnimation* const& AValue,
                                                        TCollectionNotification AAction) {
  TDictionary::ValueNotify(AValue, AAction);
  if (AAction == TCollectionNotification::cnAdded || !AValue)
    return;
  // Whichever way it left, it is no longer this manager's current animation.
  if (FManager->FCurrent == AValue)
    FManager->FCurrent = nullptr;
  if (AAction != TCollectionNotification::cnRemoved || ContainsValue(AValue) ||
      AValue->ComponentState().Contains(TComponentStateItem::csDestroying))
    return;
  AValue->FManager = nullptr;
  AValue->Free();
}

TVantrelAnimationManager::TVantrelAnimationManager(TComponent* AOwner) : TComponent(AOwner), FAnimations(this) {
  if (AOwner && !dynamic_cast<TVantrelMesh*>(AOwner))
    throw EInvalidCast(rtl::messages::InvalidCast);
  FMesh = AOwner;
}

TVantrelAnimationManager::~TVantrelAnimationManager() {
  FCurrent = nullptr;
  FAnimations.Clear();
}

// The dictionary is filled by the copied animations themselves (their DoDuplicate).
void TVantrelAnimationManager::RegisterFields() {
  rtl::RegisterFields(StaticClass(),
                      {
                          ObjectField<&TVantrelAnimationManager::FMesh>("FMesh", &TComponent::StaticClass(), true),
                          ObjectField<&TVantrelAnimationManager::FCurrent>(
                              "FCurrent", &TVantrelAnimation::StaticClass(), true),
                          SkippedField("FAnimations", TFieldKind::NoTypeInfo),
                      });
}

void TVantrelAnimationManager::RegisterProperties(TPropertyList& AList) {
  AList.Add("CurrentAnimationName", &TVantrelAnimationManager::CurrentAnimationName,
            &TVantrelAnimationManager::SetCurrentAnimationName);
}

void TVantrelAnimationManager::Forget(TVantrelAnimation* AAnimation) {
  for (const auto& pair : FAnimations.ToArray())
    if (pair.Value == AAnimation)
      FAnimations.ExtractPair(pair.Key);
  if (FCurrent == AAnimation)
    FCurrent = nullptr;
}

TVantrelAnimation* TVantrelAnimationManager::Current() {
  if (!FCurrent)
    FCurrent = GetFirstAnimation();
  return FCurrent;
}

void TVantrelAnimationManager::SetCurrent(TVantrelAnimation* AValue) {
  if (FCurrent && FCurrent != AValue)
    FCurrent->Stop();
  FCurrent = AValue;
}

std::string TVantrelAnimationManager::CurrentAnimationName() const {
  return FCurrent ? FCurrent->Id() : std::string();
}

TVantrelAnimation* TVantrelAnimationManager::GetFirstAnimation() const {
  return FAnimations.IsEmpty() ? nullptr : (*FAnimations.begin()).Value;
}

TVantrelAnimation* TVantrelAnimationManager::GetLastAnimation() const {
  TVantrelAnimation* last = nullptr;
  for (const auto& pair : FAnimations)
    last = pair.Value;
  return last;
}

TVantrelAnimation* TVantrelAnimationManager::GetAnimation(const std::string& AId) const {
  TVantrelAnimation* animation = nullptr;
  FAnimations.TryGetValue(AId, animation);
  return animation;
}

TVantrelAnimation* TVantrelAnimationManager::GetAnimation(const TAnimationDef* ADef) const {
  return ADef ? GetAnimation(ADef->GetId()) : nullptr;
}

TVantrelAnimation* TVantrelAnimationManager::AddAnimation(const std::string& AId, TVantrelAnimation* AAnimation) {
  if (TVantrelAnimation* existing = GetAnimation(AId))
    return existing;
  FAnimations.Add(AId, AAnimation);
  return nullptr;
}

TVantrelAnimation* TVantrelAnimationManager::PlayAnimation(const std::string& AId) {
  if (FCurrent && FCurrent->Id() == AId) {
    if (!FCurrent->IsRunning()) {
      FCurrent->Stop();
      FCurrent->Start();
    }
    return FCurrent;
  }
  TVantrelAnimation* animation = GetAnimation(AId);
  if (!animation)
    return nullptr;
  SetCurrent(animation);
  animation->Start();
  return animation;
}

TVantrelAnimation* TVantrelAnimationManager::PlayAnimation(TVantrelAnimation* AAnim) {
  if (!AAnim)
    return nullptr;
  if (AAnim == FCurrent) {
    if (!AAnim->IsRunning()) {
      AAnim->Stop();
      AAnim->Start();
    }
    return AAnim;
  }
  SetCurrent(AAnim);
  AAnim->Start();
  return AAnim;
}

TVantrelAnimation* TVantrelAnimationManager::PlayNeighbour(bool AForward) {
  if (!FCurrent)
    return PlayAnimation(AForward ? GetFirstAnimation() : GetLastAnimation());
  const auto pairs = FAnimations.ToArray();
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (pairs[i].Value != FCurrent)
      continue;
    size_t next;
    if (AForward)
      next = i + 1 < pairs.size() ? i + 1 : 0;
    else
      next = i > 0 ? i - 1 : pairs.size() - 1;
    return PlayAnimation(pairs[next].Value);
  }
  return nullptr;
}

TVantrelAnimation* TVantrelAnimationManager::PlayNextAnimation() {
  return PlayNeighbour(true);
}

TVantrelAnimation* TVantrelAnimationManager::PlayPreviousAnimation() {
  return PlayNeighbour(false);
}

void TVantrelAnimationManager::Clear() {
  FCurrent = nullptr;
  FAnimations.Clear();
}

namespace {

// The clock time of the last forced step, one value for the process.
double LastForcedStep = 0;

} // namespace

bool TVantrelAnimationManager::ForceStep(double AMinDeltaTime) {
  ui::TAniThread* thread = ui::AniThread();
  if (!thread)
    return true;
  const double now = ui::TPlatformServices::Current().TimerService()->GetTick();
  if (AMinDeltaTime > std::fabs(now - LastForcedStep))
    return false;
  thread->StepAnimations();
  LastForcedStep = now;
  return true;
}

void TVantrelAnimationManager::ResetForceStep() {
  LastForcedStep = 0;
}

} // namespace vantrel
