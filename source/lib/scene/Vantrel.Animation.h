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

  void DoDuplicate(TObject*, TVantrelDuplicator*) override {}
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
  TVector3D Interpolate(const TVector3D& AValue0, const TVector3D& AValue1, float AFactor) const override;
};

using TQuaternion3DKeyAnimationBase = TTypedKeyAnimation<TQuaternion3DKey, TQuaternion3DInterpolatorDef>;
class TQuaternion3DKeyAnimation : public TQuaternion3DKeyAnimationBase {
  RTL_CLASS(TQuaternion3DKeyAnimation, TQuaternion3DKeyAnimationBase)
public:
  explicit TQuaternion3DKeyAnimation(TComponent* AOwner);
  void Transform(const TMatrix3D& AMat) override;

protected:
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

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void ForgetKeyValues(TComponent*) override {}

private:
  bool FAutoRepaint = true;
  std::vector<TPropertyKeyAnimation*> FInterpolators;

  // Runs AStep inside an update of the parent, closed whatever happens.
  template <class TStep> void InParentUpdate(const TStep& AStep);
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

void InitializeAnimation();
void FinalizeAnimation();

} // namespace vantrel
