#pragma once
// Key-frame property animations: one animation moves the same property (a dotted path such as
// "Position.Point") on one or more elements, and each of its keys holds one value per element.
// Five typed classes differ only in the value type. TPoint3DAnimation is a plain from/to
// animation of a TPoint3D property.
//
// Key animations built for a model stay disabled: a skeleton animation drives them with its own
// clock through ProcessCachingTick and the process step.

#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/generics.h"
#include "rtl/math3d.h"
#include "ui/animations.h"
#include "ui/controls3d.h"
#include "utils/Vantrel.Utils.Duplication.h"

namespace vantrel {

inline constexpr const char* SKeysAlreadyFilled = "<WARNING> Keys already filled in %s - clearing now";

// The resolved target of one element's property path.
struct TPropertyInstanceBuffer {
  const TPropInfo* RttiProp = nullptr;
  TObject* Instance = nullptr;
};

// The per-element values of one key. The nil element holds the default value.
template <class T> class TKeyValues {
public:
  // The element's value, else the default value, else AFallback.
  T Get(TComponent* AElement, const T& AFallback) const {
    T value;
    if (FValues.TryGetValue(AElement, value) || FValues.TryGetValue(static_cast<TComponent*>(nullptr), value))
      return value;
    return AFallback;
  }
  void Set(TComponent* AElement, const T& AValue) { FValues.AddOrSetValue(AElement, AValue); }
  void Remove(TComponent* AElement) { FValues.Remove(AElement); }
  // Moves AOld's value, when it has one, to ANew.
  void Rename(TComponent* AOld, TComponent* ANew) {
    T value;
    if (AOld == ANew || !FValues.TryGetValue(AOld, value))
      return;
    FValues.Remove(AOld);
    FValues.AddOrSetValue(ANew, value);
  }
  TDictionary<TComponent*, T>& Values() { return FValues; }

private:
  TDictionary<TComponent*, T> FValues;
};

#define VANTREL_VALUE_KEY(TName, TValueType, AFallback)                                                       \
  class TName : public ui::TKey {                                                                             \
    RTL_CLASS(TName, ui::TKey)                                                                               \
  public:                                                                                                     \
    using TValueType_ = TValueType;                                                                           \
    TName() = default;                                                                                        \
    static TValueType Fallback() { return AFallback; }                                                        \
    TValueType GetValue(TComponent* AIndex) const { return FValue.Get(AIndex, Fallback()); }                 \
    void SetValue(TComponent* AIndex, const TValueType& AValue) { FValue.Set(AIndex, AValue); }               \
    TValueType GetDefaultValue() const { return GetValue(nullptr); }                                          \
    void SetDefaultValue(const TValueType& AValue) { SetValue(nullptr, AValue); }                             \
    void RemoveElement(TComponent* AIndex) { FValue.Remove(AIndex); }                                         \
    void RenameElement(TComponent* AOld, TComponent* ANew) { FValue.Rename(AOld, ANew); }                     \
    /* The time and every element's value: a copied animation's keys are the source's. */                     \
    void Assign(const rtl::TPersistent* ASource) override {                                                   \
      if (const auto* source = dynamic_cast<const TName*>(ASource)) {                                         \
        SetKey(source->Key());                                                                                \
        FValue = source->FValue;                                                                              \
        return;                                                                                               \
      }                                                                                                       \
      ui::TKey::Assign(ASource);                                                                              \
    }                                                                                                         \
    TKeyValues<TValueType>& Values() { return FValue; }                                                       \
                                                                                                              \
  private:                                                                                                    \
    TKeyValues<TValueType> FValue;                                                                            \
  };

VANTREL_VALUE_KEY(TPoint3DKey, TPoint3D, (TPoint3D{0, 0, 0}))
VANTREL_VALUE_KEY(TVector3DKey, TVector3D, (TVector3D{0, 0, 0, 0}))
VANTREL_VALUE_KEY(TQuaternion3DKey, TQuaternion3D, (TQuaternion3D{TPoint3D{0, 0, 0}, 0}))
VANTREL_VALUE_KEY(TTransformationKey, TMatrix3D, (TMatrix3D::Identity()))
VANTREL_VALUE_KEY(TCoordinateKey, std::vector<TPoint3D>, (std::vector<TPoint3D>{}))

#undef VANTREL_VALUE_KEY

// The base of the key-frame animations: the animated elements (not owned; a freed element
// leaves the list and its resolved path), the interpolator definition the keys came from, the
// keys, and the resolved property path of each element.
class TPropertyKeyAnimation : public ui::TCustomPropertyAnimation, public IDuplicatable {
  RTL_CLASS(TPropertyKeyAnimation, ui::TCustomPropertyAnimation)
public:
  using TElements = TDictionary<TComponent*, bool>;

  explicit TPropertyKeyAnimation(TComponent* AOwner);
  ~TPropertyKeyAnimation() override;
  static void RegisterProperties(TPropertyList& AList);

  const std::string& QualifiedName() const { return FQualifiedName; }
  void SetQualifiedName(const std::string& AValue) { FQualifiedName = AValue; }
  const TElements& Elements() const { return FElements; }
  // Adds or replaces.
  void AddElement(TComponent* AElement, bool AValue);
  void AddElements(const TElements& AElements);
  TObject* Def() const { return FDef; }
  ui::TKeys* Keys() const { return FKeys.get(); }
  bool StartFromCurrent() const { return FStartFromCurrent; }
  void SetStartFromCurrent(bool AValue) { FStartFromCurrent = AValue; }
  // The normalised time at which values were last written.
  float TransitionTime() const { return FTransitionTime; }
  void SetTransitionTime(float AValue) { FTransitionTime = AValue; }

  // Takes the source's elements and keys as they are: the elements are the source's targets
  // until RemapElements moves them to their copies, once those exist.
  void DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) override;
  // Every element (and its key values) that has a copy in ADuplicator's map becomes that copy.
  void RemapElements(const TVantrelDuplicator& ADuplicator);
  static void RegisterFields();
  // Keys from a track definition of the subclass's kind, one value per element present now.
  virtual void LoadFromInterpolatorDef(TCustomDef* ADef) = 0;
  virtual void Transform(const TMatrix3D& AMat) = 0;

  // The inherited stop, then the resolved paths are forgotten.
  void Stop() override;
  // Forgets the resolved paths, rewinds time, delay time and tick count, and runs the first-frame
  // hook (so StartFromCurrent captures again).
  void ResetCaching();
  // One tick outside the process-wide list, whatever the running and paused state.
  void ProcessCachingTick(double ATime, float ADeltaTime) { AdvanceTick(ATime, ADeltaTime, false); }
  // The element's property by PropertyName, cached per element. Only direct children of a UI
  // object are searched for a segment that is no property, and only for two-segment paths.
  bool ResolveElementProperty(TComponent* AElement, TPropertyInstanceBuffer& AResult);

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  // The elements of the key values of every key are dropped with the element.
  virtual void ForgetKeyValues(TComponent* AElement) = 0;
  // The values of every key for AOld now belong to ANew.
  virtual void RenameKeyValues(TComponent* AOld, TComponent* ANew) = 0;
  // Shared by the typed LoadFromInterpolatorDef: name, duration (a negative one runs backwards),
  // loop, and the keys cleared with a warning when filled.
  void LoadCommon(TCustomDef* ADef, float ADuration, bool ALoop);
  // The resolution the platform made from the parent at start.
  bool ParentProperty(TPropertyInstanceBuffer& AResult) const;

  std::unique_ptr<ui::TKeys> FKeys;

private:
  std::string FQualifiedName;
  TElements FElements;
  TObject* FDef = nullptr;
  bool FStartFromCurrent = false;
  float FTransitionTime = 0;
  TDictionary<TComponent*, TPropertyInstanceBuffer> FCPIBuffer;
};

// The typed key animations: the key class, the track definition, the value type and the rules
// of interpolation, reading the current value and transforming.
template <class TKeyClass, class TDefClass> class TTypedKeyAnimation : public TPropertyKeyAnimation {
public:
  using TKeyValue = typename TKeyClass::TValueType_;
  explicit TTypedKeyAnimation(TComponent* AOwner);

  void LoadFromInterpolatorDef(TCustomDef* ADef) override;
  void FirstFrame() override;
  void ProcessAnimation() override;

protected:
  void ForgetKeyValues(TComponent* AElement) override;
  void RenameKeyValues(TComponent* AOld, TComponent* ANew) override;
  virtual TKeyValue Interpolate(const TKeyValue& AValue0, const TKeyValue& AValue1, float AFactor) const = 0;
  // The property the first-frame hook reads on AElement.
  virtual std::string CurrentValueProperty(TComponent* AElement) const;
};

using TPoint3DKeyAnimationBase = TTypedKeyAnimation<TPoint3DKey, TPoint3DInterpolatorDef>;
class TPoint3DKeyAnimation : public TPoint3DKeyAnimationBase {
  RTL_CLASS(TPoint3DKeyAnimation, TPoint3DKeyAnimationBase)
public:
  explicit TPoint3DKeyAnimation(TComponent* AOwner);
  void Transform(const TMatrix3D& AMat) override;

protected:
  TPoint3D Interpolate(const TPoint3D& AValue0, const TPoint3D& AValue1, float AFactor) const override;
};

using TVector3DKeyAnimationBase = TTypedKeyAnimation<TVector3DKey, TVector3DInterpolatorDef>;
class TVector3DKeyAnimation : public TVector3DKeyAnimationBase {
  RTL_CLASS(TVector3DKeyAnimation, TVector3DKeyAnimationBase)
public:
  explicit TVector3DKeyAnimation(TComponent* AOwner);
  void Transform(const TMatrix3D& AMat) override;

protected:
  // A skinned joint's current rotation is read from "Rotation" whatever the path.
  std::string CurrentValueProperty(TComponent* AElement) const override;
  TVector3D Interpolate(const TVector3D& AValue0, const TVector3D& AValue1, float AFactor) const override;
};

using TQuaternion3DKeyAnimationBase = TTypedKeyAnimation<TQuaternion3DKey, TQuaternion3DInterpolatorDef>;
class TQuaternion3DKeyAnimation : public TQuaternion3DKeyAnimationBase {
  RTL_CLASS(TQuaternion3DKeyAnimation, TQuaternion3DKeyAnimationBase)
public:
  explicit TQuaternion3DKeyAnimation(TComponent* AOwner);
  void Transform(const TMatrix3D& AMat) override;

protected:
  // A skinned joint's current rotation is read from "Quaternion" whatever the path.
  std::string CurrentValueProperty(TComponent* AElement) const override;
  TQuaternion3D Interpolate(const TQuaternion3D& AValue0, const TQuaternion3D& AValue1,
                            float AFactor) const override;
};

using TTransformationKeyAnimationBase = TTypedKeyAnimation<TTransformationKey, TTransformationInterpolatorDef>;
class TTransformationKeyAnimation : public TTransformationKeyAnimationBase {
  RTL_CLASS(TTransformationKeyAnimation, TTransformationKeyAnimationBase)
public:
  explicit TTransformationKeyAnimation(TComponent* AOwner);
  // Every value of every key, the default included, := value * AMat.
  void Transform(const TMatrix3D& AMat) override;

protected:
  TMatrix3D Interpolate(const TMatrix3D& AValue0, const TMatrix3D& AValue1, float AFactor) const override;
};

using TCoordinateKeyAnimationBase = TTypedKeyAnimation<TCoordinateKey, TMeshInterpolatorDef>;
class TCoordinateKeyAnimation : public TCoordinateKeyAnimationBase {
  RTL_CLASS(TCoordinateKeyAnimation, TCoordinateKeyAnimationBase)
public:
  explicit TCoordinateKeyAnimation(TComponent* AOwner);
  void Transform(const TMatrix3D& AMat) override;

protected:
  // Over the shorter of the two vertex counts; the start key's vertices beyond it are kept.
  std::vector<TPoint3D> Interpolate(const std::vector<TPoint3D>& AValue0, const std::vector<TPoint3D>& AValue1,
                                    float AFactor) const override;
};

inline constexpr const char* SAnimationParentNotVisible =
    "animation not started, because parent control not visible";

// The one clock of a model animation: each tick hands its time, delay time and tick count to
// every key animation in Interpolators (not owned; a freed one leaves the list) and runs their
// process steps inside one update of the parent mesh, then repaints it.
class TSkeletonKeyAnimation : public TPropertyKeyAnimation {
  RTL_CLASS(TSkeletonKeyAnimation, TPropertyKeyAnimation)
public:
  explicit TSkeletonKeyAnimation(TComponent* AOwner);
  static void RegisterProperties(TPropertyList& AList);

  bool AutoRepaint() const { return FAutoRepaint; }
  void SetAutoRepaint(bool AValue) { FAutoRepaint = AValue; }
  const std::vector<TPropertyKeyAnimation*>& Interpolators() const { return FInterpolators; }
  // Appends AInter and resolves its path on its parent (which keeps the segment its first-frame
  // hook reads).
  void AddInterpolator(TPropertyKeyAnimation* AInter);

  void ProcessAnimation() override;
  // One step outside the timer: every interpolator advances by ADeltaTime, without a repaint.
  void ProcessAnimationRemote(float ATime, float ADeltaTime);
  // Every interpolator gets a tick of time 0 and delta 0, then the skeleton's ResetCaching.
  void Reset();
  // Multiplies every interpolator's Duration by ASpeed; calls compound.
  void SetSpeed(float ASpeed);
  // Logs when the parent control is invisible, then the inherited start.
  void Start() override;
  void LoadFromInterpolatorDef(TCustomDef*) override {}
  void Transform(const TMatrix3D& AMat) override;

  // Runs AStep inside an update of the parent, closed whatever happens: the tracks' changes
  // reach the parent as one.
  template <class TStep> void InParentUpdate(const TStep& AStep) {
    TFmxObject* parent = Parent();
    if (parent)
      parent->BeginUpdate();
    try {
      AStep();
    } catch (...) {
      if (parent)
        parent->EndUpdate();
      throw;
    }
    if (parent)
      parent->EndUpdate();
  }

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void ForgetKeyValues(TComponent*) override {}
  void RenameKeyValues(TComponent*, TComponent*) override {}

private:
  bool FAutoRepaint = true;
  std::vector<TPropertyKeyAnimation*> FInterpolators;

};

// A from/to animation of a property of exactly TPoint3D on the parent.
class TPoint3DAnimation : public ui::TCustomPropertyAnimation {
  RTL_CLASS(TPoint3DAnimation, ui::TCustomPropertyAnimation)
public:
  explicit TPoint3DAnimation(TComponent* AOwner);
  static void RegisterProperties(TPropertyList& AList);

  ui::TPosition3D* StartValue() const { return FStartValue.get(); }
  void SetStartValue(ui::TPosition3D* AValue) { FStartValue->Assign(AValue); }
  ui::TPosition3D* StopValue() const { return FStopValue.get(); }
  void SetStopValue(ui::TPosition3D* AValue) { FStopValue->Assign(AValue); }
  bool StartFromCurrent() const { return FStartFromCurrent; }
  void SetStartFromCurrent(bool AValue) { FStartFromCurrent = AValue; }
  void Assign(const TPersistent* ASource) override;

  void FirstFrame() override;
  void ProcessAnimation() override;

private:
  TOwned<ui::TPosition3D> FStartValue;
  TOwned<ui::TPosition3D> FStopValue;
  bool FStartFromCurrent = false;

  bool PointProperty() const;
};

class TAnimationDef;
class TMeshDef;
class TMeshBufferObject;
class TVantrelAnimationManager;
class TVantrelModel;

inline constexpr const char* SAnimationTransformationRefNotSet =
    "transformation interpolator definition %s reference not set";
inline constexpr const char* SAnimationPoint3DRefNotSet = "point3d interpolator definition %s reference not set";
inline constexpr const char* SAnimationVector3DRefNotSet = "vector3D interpolator definition %s reference not set";
inline constexpr const char* SAnimationQuaternion3DRefNotSet =
    "Quaternion3D interpolator definition %s reference not set";
inline constexpr const char* SAnimationMeshRefNotSet = "mesh interpolator definition %s reference not set";
inline constexpr const char* SAnimationTargetNotFound = "%s interpolator - target %s not found";
inline constexpr const char* SAnimationPositionTargetNotFound = "position interpolator - target %s not found";
inline constexpr const char* SAnimationOrientationTargetNotFound = "orientation interpolator - target %s not found";
inline constexpr const char* SAnimationVertexTargetNotFound = "vertex interpolator - target %s not found";
inline constexpr const char* SAnimationMissingManager =
    "failed to duplicate animation - missing animation manager reference";
inline constexpr const char* SAnimationSourceExists =
    "<WARNING> Existing TVantrelAnimation \"%s\" cannot be replaced with \"%s\"";
inline constexpr const char* SAnimationOwnerNotModel = "<WARNING> Owner of TVantrelAnimation \"%s\" not a TVantrelModel";
inline constexpr const char* SAnimationMissingModelManager = "<WARNING> Missing AnimationManager in TVantrelModel \"%s\"";
inline constexpr const char* SAnimationAlreadyInModel = "<WARNING> Animation \"%s\" already exists in TVantrelModel";
inline constexpr const char* SAnimationMissingHashmap = "<WARNING> Missing animations hashmap in manager of model (%s)";
inline constexpr const char* SAnimationModelDefMissing =
    "<WARNING> TVantrelModel definition of animation \"%s\" not assigned";
inline constexpr const char* SAnimationAutoLoadFailed = "<ERROR> failed to auto-load TVantrelAnimation \"%s\" from \"%s\"";

// One playable animation of a model, built from an animation definition: a key animation per
// track bound to the scene object its stage drives, and one skeleton clock (owned) that drives
// them. Its own frame count is taken at a fixed 60 frames per second.
class TVantrelAnimation : public TFmxObject, public IDuplicatable {
  RTL_CLASS(TVantrelAnimation, TFmxObject)
public:
  static constexpr int32_t FixedFrameRate = 60;

  explicit TVantrelAnimation(TComponent* AOwner);
  // Owned by and bound to AManager.
  static TVantrelAnimation* CreateEx(TVantrelAnimationManager* AManager);
  ~TVantrelAnimation() override;
  static void RegisterProperties(TPropertyList& AList);

  TAnimationDef* Def() const { return FDef; }
  TVantrelAnimationManager* Manager() const { return FManager; }
  // Moves the animation, alive, out of its manager's dictionary into AValue's under its Id.
  void SetManager(TVantrelAnimationManager* AValue);
  TSkeletonKeyAnimation* Skeleton() const { return FSkeleton; }
  double Duration() const { return FDuration; }
  int32_t FrameCount() const { return FFrameCount; }
  int32_t FrameRate() const { return FFrameRate; }
  int32_t FixedCacheFrame() const { return FFixedCacheFrame; }
  bool UseTransform() const { return FUseTransform; }
  void SetUseTransform(bool AValue) { FUseTransform = AValue; }
  const TMatrix3D& TransformMatrix() const { return FTransformMatrix; }
  void SetTransformMatrix(const TMatrix3D& AValue) { FTransformMatrix = AValue; }
  // The definition's Id; empty without definition.
  std::string Id() const;
  bool IsRunning() const;
  bool IsPaused() const;
  std::string Source() const { return Id(); }
  // Loads an animation file next to the model file (see the log texts above); never raises.
  void SetSource(const std::string& AValue);

  virtual void LoadFromAnimationDef(TAnimationDef* ADef);
  // Starts the skeleton and becomes the manager's current animation (the previous one runs on).
  virtual void Start();
  virtual void Stop();
  virtual void Reset();
  void SetSpeed(float ASpeed);
  // A frame at or beyond FrameCount is stored as 0.
  void SetFixedCacheFrame(int32_t AFrameNr);
  void UnsetFixedCacheFrame() { FFixedCacheFrame = -1; }
  // The index of the cached frame to draw among ACachedFrames frames: the fixed frame, else
  // Round((ACachedFrames - 1) * TransitionTime), both clamped to 0 .. ACachedFrames - 1.
  int32_t CacheFrameIndex(int32_t ACachedFrames) const;
  // The cached frame the mesh should draw now, or nil (not running, no definition, no frames).
  virtual TMeshBufferObject* GetCurrentCachedFrame(TMeshDef* AMeshDef);

  void DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) override;
  // The tracks of a copy drive the copies of their targets. Runs when the whole tree is copied
  // (the model's DoDuplicate), since the targets are copied after the animations.
  void RemapTrackElements(const TVantrelDuplicator& ADuplicator);
  static void RegisterFields();

protected:
  void BeforeDestruction() override;

private:
  friend class TVantrelAnimationManager;
  TAnimationDef* FDef = nullptr;
  TVantrelAnimationManager* FManager = nullptr;
  TSkeletonKeyAnimation* FSkeleton = nullptr;
  double FDuration = 0;
  int32_t FFrameCount = 0;
  int32_t FFrameRate = 0;
  int32_t FFixedCacheFrame = -1;
  bool FUseTransform = false;
  TMatrix3D FTransformMatrix = TMatrix3D::Identity();

  TVantrelModel* ParentModel() const;
  void AddTrack(TVantrelModel* AModel, TAnimationStageDef* AStage, TCustomDef* ATrack);
};

// The model's animations by Id (case-sensitive, insertion order) with a current animation. The
// dictionary owns its animations: one that leaves it by removal, replacement or clearing is
// freed, and stops being current whichever way it leaves.
class TVantrelAnimationManager : public TComponent, public IDuplicatable {
  RTL_CLASS(TVantrelAnimationManager, TComponent)
public:
  class TAnimations : public TDictionary<std::string, TVantrelAnimation*> {
  public:
    explicit TAnimations(TVantrelAnimationManager* AManager) : FManager(AManager) {}

  protected:
    void ValueNotify(TVantrelAnimation* const& AValue, TCollectionNotification AAction) override;

  private:
    TVantrelAnimationManager* FManager;
  };

  // AOwner must be a mesh (or nil); another class raises EInvalidCast.
  explicit TVantrelAnimationManager(TComponent* AOwner);
  ~TVantrelAnimationManager() override;
  static void RegisterProperties(TPropertyList& AList);

  TComponent* Mesh() const { return FMesh; }
  TAnimations& Animations() { return FAnimations; }
  const TAnimations& Animations() const { return FAnimations; }
  // Selects the first animation, without starting it, when none is current.
  TVantrelAnimation* Current();
  TVantrelAnimation* CurrentValue() const { return FCurrent; }
  // Stops the current animation when it is another one.
  void SetCurrent(TVantrelAnimation* AValue);
  std::string CurrentAnimationName() const;
  void SetCurrentAnimationName(const std::string& AValue) { PlayAnimation(AValue); }

  TVantrelAnimation* GetFirstAnimation() const;
  TVantrelAnimation* GetLastAnimation() const;
  TVantrelAnimation* GetAnimation(const std::string& AId) const;
  TVantrelAnimation* GetAnimation(const TAnimationDef* ADef) const;
  // The animation stored under AId (nothing added), or nil after adding AAnimation.
  TVantrelAnimation* AddAnimation(const std::string& AId, TVantrelAnimation* AAnimation);
  TVantrelAnimation* PlayAnimation(const std::string& AId);
  TVantrelAnimation* PlayAnimation(TVantrelAnimation* AAnim);
  TVantrelAnimation* PlayNextAnimation();
  TVantrelAnimation* PlayPreviousAnimation();
  virtual void Clear();

  // Steps every running platform animation now, at most once per AMinDeltaTime seconds of the
  // timer service's clock; True when it stepped (or no animation ever ran).
  static bool ForceStep(double AMinDeltaTime);
  // Test-only: the last step time goes back to 0.
  static void ResetForceStep();

  void DoDuplicate(TObject*, TVantrelDuplicator*) override {}
  static void RegisterFields();

private:
  friend class TVantrelAnimation;
  TComponent* FMesh = nullptr;
  TVantrelAnimation* FCurrent = nullptr;
  TAnimations FAnimations;

  // Takes every entry of AAnimation out without freeing it.
  void Forget(TVantrelAnimation* AAnimation);
  TVantrelAnimation* PlayNeighbour(bool AForward);
};

void InitializeAnimation();
void FinalizeAnimation();

} // namespace vantrel
