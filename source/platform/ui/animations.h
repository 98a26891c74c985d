#pragma once
// The animation layer: easing curves, animations that advance their own time on every tick and
// call their hooks, property animations that find their target property by a dotted path, keys
// for key-frame animations, and the one process-wide list of running animations, stepped by a
// 16 ms UI timer on the timer service's clock.
//
// Everything here runs on the UI thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/method.h"
#include "ui/fmx_object.h"

namespace rtl {
struct TPropInfo;
}

namespace ui {

class TTimer;
class ITimerService;

// The easing curve of an animation or of one key of a key-frame track. The underlying type is a
// plain 32-bit integer so that an ordinal read from a file outside the named values is kept and
// written back unchanged. Such an ordinal eases as Linear.
enum class TInterpolationType : int32_t {
  Linear,
  Quadratic,
  Cubic,
  Quartic,
  Quintic,
  Sinusoidal,
  Exponential,
  Circular,
  Elastic,
  Back,
  Bounce
};
RTL_ENUM_TYPEINFO(TInterpolationType, "Linear", "Quadratic", "Cubic", "Quartic", "Quintic", "Sinusoidal",
                  "Exponential", "Circular", "Elastic", "Back", "Bounce")

// Which end of the curve eases: In at the start, Out at the end, InOut at both.
enum class TAnimationType : uint8_t { In, Out, InOut };
RTL_ENUM_TYPEINFO(TAnimationType, "In", "Out", "InOut")

// The eased value of ATime (0..1) on the curve AInterpolation, run in the mode AType.
double AnimationEase(double ATime, TInterpolationType AInterpolation, TAnimationType AType);

// An animation: a time that runs from 0 to Duration (or back, with Inverse) while the animation
// is in the process-wide list, after an optional delay. Each tick advances the time, runs the
// process step (what the subclass animates), fires OnProcess, and stops a run that reached its
// end. Stopping writes no value: the last one written stays.
class TAnimation : public TFmxObject {
  RTL_CLASS(TAnimation, TFmxObject)
public:
  explicit TAnimation(rtl::TComponent* AOwner);
  static void RegisterProperties(rtl::TPropertyList& AList);
  static void RegisterFields();

  // A running animation leaves the process-wide list while it is still whole.
  void BeforeDestruction() override;
  // Starts an animation that was read as enabled.
  void Loaded() override;

  // True starts and False stops, except while loading or designing.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue);
  // Seconds.
  float Duration() const { return FDuration; }
  void SetDuration(float AValue) { FDuration = AValue; }
  // Seconds before the first frame.
  float Delay() const { return FDelay; }
  void SetDelay(float AValue) { FDelay = AValue; }
  bool Loop() const { return FLoop; }
  void SetLoop(bool AValue) { FLoop = AValue; }
  bool AutoReverse() const { return FAutoReverse; }
  void SetAutoReverse(bool AValue) { FAutoReverse = AValue; }
  // Runs the time from Duration down to 0.
  bool Inverse() const { return FInverse; }
  void SetInverse(bool AValue) { FInverse = AValue; }
  TInterpolationType Interpolation() const { return FInterpolation; }
  void SetInterpolation(TInterpolationType AValue) { FInterpolation = AValue; }
  TAnimationType AnimationType() const { return FAnimationType; }
  void SetAnimationType(TAnimationType AValue) { FAnimationType = AValue; }
  // Stored texts; nothing evaluates them.
  const std::string& Trigger() const { return FTrigger; }
  void SetTrigger(const std::string& AValue) { FTrigger = AValue; }
  const std::string& TriggerInverse() const { return FTriggerInverse; }
  void SetTriggerInverse(const std::string& AValue) { FTriggerInverse = AValue; }

  bool Running() const { return FRunning; }
  // A paused animation stays in the list but its ticks do nothing.
  bool Pause() const { return FPause; }
  void SetPause(bool AValue) { FPause = AValue; }

  // Nothing when the parent is an invisible control. Otherwise rewinds (to Duration with
  // Inverse), joins the process-wide list (making it on first use) and, without a delay, runs
  // the first frame, the process step and OnProcess at once.
  virtual void Start();
  // When running: leaves the list, clears Running and Pause and fires OnFinish.
  virtual void Stop();
  // The tick the process-wide list gives a running animation: ATime is the list's clock in
  // seconds, ADeltaTime the seconds since its last step.
  virtual void ProcessTick(double ATime, float ADeltaTime);
  // Time / Duration clamped into 0..1 and eased; 1 when Duration <= 0.
  float NormalizedTime() const;

  // The running state. Public so that an animation driving other animations with one clock can
  // hand them its own.
  double Time() const { return FTime; }
  void SetTime(double AValue) { FTime = AValue; }
  float DelayTime() const { return FDelayTime; }
  void SetDelayTime(float AValue) { FDelayTime = AValue; }
  int TickCount() const { return FTickCount; }
  void SetTickCount(int AValue) { FTickCount = AValue; }

  // The hooks a tick runs, in this order. Public for the same reason as the running state.
  // The first frame: after the start (or the end of the delay), before the first process step.
  virtual void FirstFrame() {}
  // Writes the animated value for the current time.
  virtual void ProcessAnimation() {}
  // Fires OnProcess.
  virtual void DoProcess();
  // Stops a run without Loop whose time stands at its end in the current direction.
  virtual void DoFinish();

  rtl::TNotifyEvent OnProcess, OnFinish;

protected:
  // One tick: nothing while destroying or designing; a stop when the parent is an invisible
  // control; then, unless ARunningOnly asks for a running, unpaused animation, the delay, the
  // time step with its Loop and AutoReverse turns, and the hooks. A caching run passes false to
  // advance an animation outside the list.
  void AdvanceTick(double ATime, float ADeltaTime, bool ARunningOnly);
  // Whether the parent is a 2D or 3D control that is not visible.
  bool ParentInvisible() const;

private:
  bool FEnabled = false;
  float FDuration = 0.2f;
  float FDelay = 0;
  bool FLoop = false;
  bool FAutoReverse = false;
  bool FInverse = false;
  TInterpolationType FInterpolation = TInterpolationType::Linear;
  TAnimationType FAnimationType = TAnimationType::In;
  std::string FTrigger;
  std::string FTriggerInverse;
  bool FRunning = false;
  bool FPause = false;
  double FTime = 0;
  float FDelayTime = 0;
  int FTickCount = 0;

  bool IsLoadingOrDesigning() const;
};

// An animation of one property of its parent, named by a dotted path ("Position.Point"). The
// path is resolved when the animation starts, and on request: every segment but the last must be
// a class-typed published property, whose object the walk continues on; the last segment names a
// published property of the object reached.
class TCustomPropertyAnimation : public TAnimation {
  RTL_CLASS(TCustomPropertyAnimation, TAnimation)
public:
  explicit TCustomPropertyAnimation(rtl::TComponent* AOwner) : TAnimation(AOwner) {}
  static void RegisterProperties(rtl::TPropertyList& AList);
  static void RegisterFields();

  const std::string& PropertyName() const { return FPropertyName; }
  void SetPropertyName(const std::string& AValue);

  // Resolves PropertyName on the parent; false when any segment is missing. The last segment is
  // kept either way.
  bool ResolvePropertyPath();
  // The resolved object and its property, both nullptr when resolution failed.
  rtl::TObject* PropertyInstance() const { return FInstance; }
  const rtl::TPropInfo* PropertyInfo() const { return FRttiProperty; }
  // The last segment of PropertyName at the last resolution.
  const std::string& PropertyPath() const { return FPath; }

  // Resolves the path, then starts.
  void Start() override;

protected:
  void ParentChanged() override;
  void Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) override;

private:
  std::string FPropertyName;
  rtl::TObject* FInstance = nullptr;
  const rtl::TPropInfo* FRttiProperty = nullptr;
  std::string FPath;
  // The components other than the parent that the path went through (the instance included),
  // watched for their freeing: the instance, or the object holding it, goes with them.
  std::vector<rtl::TComponent*> FWatched;

  void ClearResolution();
};

// One key of a key-frame animation: a time in normalised animation time (0..1).
class TKey : public rtl::TCollectionItem {
  RTL_CLASS(TKey, rtl::TCollectionItem)
public:
  TKey() = default;
  static void RegisterProperties(rtl::TPropertyList& AList);

  float Key() const { return FKey; }
  void SetKey(float AValue) { FKey = AValue; }

private:
  float FKey = 0;
};

// The keys of one animation, of one key class.
class TKeys : public rtl::TCollection {
  RTL_CLASS(TKeys, rtl::TCollection)
public:
  // Raises EInvalidCast unless AItemClass is a TKey class.
  explicit TKeys(const rtl::TClass& AItemClass);

  TKey* Keys(int AIndex) const;
  // The first pair of neighbouring keys, in collection order, with AKey0.Key <= ATime <=
  // AKey1.Key (compared in double); false with fewer than two keys or without such a pair.
  bool FindKeys(double ATime, TKey*& AKey0, TKey*& AKey1) const;
};

// The process-wide list of running animations and its clock. Made by the first Start; its timer
// steps the list every 16 ms.
class TAniThread {
public:
  static constexpr int TimerInterval = 16;

  // Raises EUnsupportedPlatformService when no timer service is installed.
  TAniThread();
  ~TAniThread();
  TAniThread(const TAniThread&) = delete;
  TAniThread& operator=(const TAniThread&) = delete;

  const std::vector<TAnimation*>& Animations() const { return FAnimations; }
  // Seconds on the timer service's clock at the last step (at creation before the first).
  double Time() const { return FTime; }
  // Seconds between the last two steps.
  double DeltaTime() const { return FDeltaTime; }

  // Adds AAnimation once.
  void AddAnimation(TAnimation* AAnimation);
  void RemoveAnimation(TAnimation* AAnimation);

  // One step: the clock advances to the service's tick; when time passed, the list is walked
  // from its last animation to its first, and each running one gets its tick. Animations styled
  // "caret" get every 12th step only. Ticks may add or remove animations.
  void StepAnimations();

  bool TimerEnabled() const;
  void SetTimerEnabled(bool AValue);

private:
  std::shared_ptr<ITimerService> FService;
  std::vector<TAnimation*> FAnimations;
  double FTime = 0;
  double FDeltaTime = 0;
  TTimer* FTimer = nullptr;
};

// The process-wide list, or nullptr before the first animation started.
TAniThread* AniThread();
// The process-wide list, made when absent.
TAniThread& EnsureAniThread();
// For tests: frees the list (the animations in it are forgotten, not stopped).
void FreeAniThread();

} // namespace ui
