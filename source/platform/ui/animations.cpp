#include "ui/animations.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "rtl/exceptions.h"
#include "rtl/fields.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "ui/controls.h"
#include "ui/platform_services.h"
#include "ui/timers.h"

namespace ui {

namespace {

// The four-parabola bounce, rising to 1 at u = 1.
double Bounce(double AU) {
  constexpr double k = 7.5625;
  constexpr double d = 2.75;
  if (AU < 1 / d)
    return k * AU * AU;
  if (AU < 2 / d) {
    const double u = AU - 1.5 / d;
    return k * u * u + 0.75;
  }
  if (AU < 2.5 / d) {
    const double u = AU - 2.25 / d;
    return k * u * u + 0.9375;
  }
  const double u = AU - 2.625 / d;
  return k * u * u + 0.984375;
}

// The "in" curve of each interpolation: 0 at 0, 1 at 1.
double EaseIn(double AT, TInterpolationType AInterpolation) {
  constexpr double pi = std::numbers::pi;
  switch (AInterpolation) {
  case TInterpolationType::Quadratic:
    return AT * AT;
  case TInterpolationType::Cubic:
    return AT * AT * AT;
  case TInterpolationType::Quartic:
    return AT * AT * AT * AT;
  case TInterpolationType::Quintic:
    return AT * AT * AT * AT * AT;
  case TInterpolationType::Sinusoidal:
    return 1 - std::cos(AT * pi / 2);
  case TInterpolationType::Exponential:
    return AT == 0 ? 0 : std::pow(2.0, 10 * (AT - 1));
  case TInterpolationType::Circular:
    return 1 - std::sqrt(std::max(0.0, 1 - AT * AT));
  case TInterpolationType::Elastic:
    if (AT == 0 || AT == 1)
      return AT;
    return -std::pow(2.0, 10 * (AT - 1)) * std::sin((AT - 1.075) * 2 * pi / 0.3);
  case TInterpolationType::Back:
    return AT * AT * (2.70158 * AT - 1.70158);
  case TInterpolationType::Bounce:
    return 1 - Bounce(1 - AT);
  default:
    // Linear, and any ordinal outside the enumeration.
    return AT;
  }
}

TAniThread*& AniThreadSlot() {
  static TAniThread* thread = nullptr;
  return thread;
}

} // namespace

double AnimationEase(double ATime, TInterpolationType AInterpolation, TAnimationType AType) {
  switch (AType) {
  case TAnimationType::Out:
    return 1 - EaseIn(1 - ATime, AInterpolation);
  case TAnimationType::InOut:
    if (ATime < 0.5)
      return EaseIn(2 * ATime, AInterpolation) / 2;
    return 1 - EaseIn(2 - 2 * ATime, AInterpolation) / 2;
  default:
    return EaseIn(ATime, AInterpolation);
  }
}

// --- TAnimation ----------------------------------------------------------------------------------

RTL_DEFINE_CLASS(TAnimation, "ui.Ani", &TAnimation::RegisterProperties)

TAnimation::TAnimation(rtl::TComponent* AOwner) : TFmxObject(AOwner) {}

void TAnimation::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("AnimationType", &TAnimation::AnimationType, &TAnimation::SetAnimationType)
      .WithDefault(TAnimationType::In);
  AList.Add("AutoReverse", &TAnimation::AutoReverse, &TAnimation::SetAutoReverse).WithDefault(false);
  AList.Add("Enabled", &TAnimation::Enabled, &TAnimation::SetEnabled).WithDefault(false);
  AList.Add("Delay", &TAnimation::Delay, &TAnimation::SetDelay).WithDefault(0.0f);
  AList.Add("Duration", &TAnimation::Duration, &TAnimation::SetDuration).WithDefault(0.2f);
  AList.Add("Interpolation", &TAnimation::Interpolation, &TAnimation::SetInterpolation)
      .WithDefault(TInterpolationType::Linear);
  AList.Add("Inverse", &TAnimation::Inverse, &TAnimation::SetInverse).WithDefault(false);
  AList.Add("Loop", &TAnimation::Loop, &TAnimation::SetLoop).WithDefault(false);
  AList.Add("Trigger", &TAnimation::Trigger, &TAnimation::SetTrigger).WithDefault(std::string());
  AList.Add("TriggerInverse", &TAnimation::TriggerInverse, &TAnimation::SetTriggerInverse)
      .WithDefault(std::string());
  AList.AddEvent("OnProcess", &TAnimation::OnProcess);
  AList.AddEvent("OnFinish", &TAnimation::OnFinish);
}

void TAnimation::RegisterFields() {
  // A copy takes the settings and handlers; the running state is the source's own.
  rtl::RegisterFields(StaticClass(), {
                                         rtl::ValueField<&TAnimation::FEnabled>("FEnabled"),
                                         rtl::ValueField<&TAnimation::FDuration>("FDuration"),
                                         rtl::ValueField<&TAnimation::FDelay>("FDelay"),
                                         rtl::ValueField<&TAnimation::FLoop>("FLoop"),
                                         rtl::ValueField<&TAnimation::FAutoReverse>("FAutoReverse"),
                                         rtl::ValueField<&TAnimation::FInverse>("FInverse"),
                                         rtl::ValueField<&TAnimation::FInterpolation>("FInterpolation"),
                                         rtl::ValueField<&TAnimation::FAnimationType>("FAnimationType"),
                                         rtl::ValueField<&TAnimation::FTrigger>("FTrigger"),
                                         rtl::ValueField<&TAnimation::FTriggerInverse>("FTriggerInverse"),
                                         rtl::SkippedField("FRunning", rtl::TFieldKind::NoTypeInfo),
                                         rtl::SkippedField("FPause", rtl::TFieldKind::NoTypeInfo),
                                         rtl::SkippedField("FTime", rtl::TFieldKind::NoTypeInfo),
                                         rtl::SkippedField("FDelayTime", rtl::TFieldKind::NoTypeInfo),
                                         rtl::SkippedField("FTickCount", rtl::TFieldKind::NoTypeInfo),
                                         rtl::EventField<&TAnimation::OnProcess>("FOnProcess"),
                                         rtl::EventField<&TAnimation::OnFinish>("FOnFinish"),
                                     });
}

void TAnimation::BeforeDestruction() {
  if (FRunning) {
    if (TAniThread* thread = AniThread())
      thread->RemoveAnimation(this);
    FRunning = false;
  }
  inherited::BeforeDestruction();
}

void TAnimation::Loaded() {
  inherited::Loaded();
  if (FEnabled && !IsLoadingOrDesigning())
    Start();
}

bool TAnimation::IsLoadingOrDesigning() const {
  const rtl::TComponentState state = ComponentState();
  return state.Contains(rtl::TComponentStateItem::csLoading) ||
         state.Contains(rtl::TComponentStateItem::csDesigning);
}

void TAnimation::SetEnabled(bool AValue) {
  if (FEnabled == AValue)
    return;
  FEnabled = AValue;
  if (IsLoadingOrDesigning())
    return;
  if (FEnabled)
    Start();
  else
    Stop();
}

bool TAnimation::ParentInvisible() const {
  const auto* control = dynamic_cast<const IControl*>(Parent());
  return control && !control->GetVisible();
}

void TAnimation::Start() {
  if (ParentInvisible())
    return;
  // The list first: without a timer service it raises, and the animation stays stopped.
  TAniThread& thread = EnsureAniThread();
  FTime = FInverse ? FDuration : 0;
  FDelayTime = FDelay;
  FTickCount = 0;
  FRunning = true;
  FPause = false;
  thread.AddAnimation(this);
  if (FDelay <= 0) {
    FirstFrame();
    ProcessAnimation();
    DoProcess();
  }
}

void TAnimation::Stop() {
  if (!FRunning)
    return;
  if (TAniThread* thread = AniThread())
    thread->RemoveAnimation(this);
  FRunning = false;
  FPause = false;
  OnFinish(this);
}

void TAnimation::ProcessTick(double ATime, float ADeltaTime) {
  AdvanceTick(ATime, ADeltaTime, true);
}

void TAnimation::AdvanceTick(double /*ATime*/, float ADeltaTime, bool ARunningOnly) {
  const rtl::TComponentState state = ComponentState();
  if (state.Contains(rtl::TComponentStateItem::csDestroying) ||
      state.Contains(rtl::TComponentStateItem::csDesigning))
    return;
  if (ParentInvisible())
    Stop();
  if (ARunningOnly && (!FRunning || FPause))
    return;

  if (FDelay > 0 && FDelayTime != 0) {
    if (FDelayTime > 0) {
      FDelayTime -= ADeltaTime;
      if (FDelayTime <= 0) {
        FDelayTime = 0;
        FTime = FInverse ? FDuration : 0;
        FirstFrame();
        ProcessAnimation();
        DoProcess();
      }
    }
    return;
  }

  FTime = FInverse ? FTime - ADeltaTime : FTime + ADeltaTime;
  if (FTime >= FDuration) {
    FTime = FDuration;
    if (FLoop) {
      if (FAutoReverse)
        FInverse = true;
      else
        FTime = 0;
    } else if (FAutoReverse && FTickCount == 0) {
      ++FTickCount;
      FInverse = true;
    }
  } else if (FTime <= 0) {
    FTime = 0;
    if (FLoop) {
      if (FAutoReverse)
        FInverse = false;
      else
        FTime = FDuration;
    } else if (FAutoReverse && FTickCount == 0) {
      ++FTickCount;
      FInverse = false;
    }
  }

  ProcessAnimation();
  DoProcess();
  DoFinish();
}

void TAnimation::DoProcess() {
  OnProcess(this);
}

void TAnimation::DoFinish() {
  if (FLoop)
    return;
  const bool atEnd = FInverse ? FTime <= 0 : FTime >= FDuration;
  if (atEnd)
    Stop();
}

float TAnimation::NormalizedTime() const {
  if (FDuration <= 0)
    return 1;
  const double t = std::clamp(FTime / FDuration, 0.0, 1.0);
  return static_cast<float>(AnimationEase(t, FInterpolation, FAnimationType));
}

// --- TCustomPropertyAnimation --------------------------------------------------------------------

RTL_DEFINE_CLASS(TCustomPropertyAnimation, "ui.Ani", &TCustomPropertyAnimation::RegisterProperties)

void TCustomPropertyAnimation::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("PropertyName", &TCustomPropertyAnimation::PropertyName, &TCustomPropertyAnimation::SetPropertyName)
      .WithDefault(std::string());
}

void TCustomPropertyAnimation::RegisterFields() {
  rtl::RegisterFields(StaticClass(),
                      {
                          rtl::ValueField<&TCustomPropertyAnimation::FPropertyName>("FPropertyName"),
                          rtl::SkippedField("FInstance", rtl::TFieldKind::NoTypeInfo),
                          rtl::SkippedField("FRttiProperty", rtl::TFieldKind::NoTypeInfo),
                          rtl::SkippedField("FPath", rtl::TFieldKind::NoTypeInfo),
                      });
}

void TCustomPropertyAnimation::SetPropertyName(const std::string& AValue) {
  if (AValue == FPropertyName)
    return;
  FPropertyName = AValue;
  ClearResolution();
}

void TCustomPropertyAnimation::ClearResolution() {
  for (rtl::TComponent* component : FWatched)
    RemoveFreeNotification(component);
  FWatched.clear();
  FInstance = nullptr;
  FRttiProperty = nullptr;
}

bool TCustomPropertyAnimation::ResolvePropertyPath() {
  ClearResolution();
  std::string_view path = FPropertyName;
  const size_t lastDot = path.rfind('.');
  FPath = std::string(lastDot == std::string_view::npos ? path : path.substr(lastDot + 1));
  rtl::TObject* instance = Parent();
  std::vector<rtl::TComponent*> reached;
  size_t dot;
  while (instance && (dot = path.find('.')) != std::string_view::npos) {
    const rtl::TPropInfo* info = rtl::GetPropInfo(instance->ClassType(), path.substr(0, dot));
    instance = info && info->Type->Kind == rtl::TTypeKind::tkClass ? info->Get(instance).AsObject() : nullptr;
    if (auto* component = dynamic_cast<rtl::TComponent*>(instance); component && component != Parent())
      reached.push_back(component);
    path.remove_prefix(dot + 1);
  }
  const rtl::TPropInfo* info = instance ? rtl::GetPropInfo(instance->ClassType(), path) : nullptr;
  if (!info)
    return false;
  FInstance = instance;
  FRttiProperty = info;
  for (rtl::TComponent* component : reached)
    if (component != this && std::find(FWatched.begin(), FWatched.end(), component) == FWatched.end()) {
      FWatched.push_back(component);
      FreeNotification(component);
    }
  return true;
}

void TCustomPropertyAnimation::Start() {
  ResolvePropertyPath();
  inherited::Start();
}

void TCustomPropertyAnimation::ParentChanged() {
  inherited::ParentChanged();
  ClearResolution();
}

void TCustomPropertyAnimation::Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == rtl::TOperation::opRemove &&
      std::find(FWatched.begin(), FWatched.end(), AComponent) != FWatched.end())
    ClearResolution();
}

// --- Keys ----------------------------------------------------------------------------------------

RTL_DEFINE_CLASS(TKey, "ui.Ani", &TKey::RegisterProperties)

void TKey::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Key", &TKey::Key, &TKey::SetKey).WithDefault(0.0f);
}

RTL_DEFINE_CLASS(TKeys, "ui.Ani")

TKeys::TKeys(const rtl::TClass& AItemClass) : TCollection(AItemClass) {
  if (!AItemClass.InheritsFrom(TKey::StaticClass()))
    throw rtl::EInvalidCast(rtl::messages::InvalidCast);
}

TKey* TKeys::Keys(int AIndex) const {
  return static_cast<TKey*>(Items(AIndex));
}

bool TKeys::FindKeys(double ATime, TKey*& AKey0, TKey*& AKey1) const {
  AKey0 = nullptr;
  AKey1 = nullptr;
  for (int i = 0; i + 1 < Count(); ++i) {
    TKey* first = Keys(i);
    TKey* second = Keys(i + 1);
    if (static_cast<double>(first->Key()) <= ATime && ATime <= static_cast<double>(second->Key())) {
      AKey0 = first;
      AKey1 = second;
      return true;
    }
  }
  return false;
}

// --- The process-wide list -----------------------------------------------------------------------

TAniThread::TAniThread() : FService(TPlatformServices::Current().TimerService()) {
  FTime = FService->GetTick();
  FTimer = rtl::New<TTimer>(nullptr);
  FTimer->SetInterval(TimerInterval);
  FTimer->SetOnTimer([this](rtl::TObject*) { StepAnimations(); });
}

TAniThread::~TAniThread() {
  FTimer->Free();
}

void TAniThread::AddAnimation(TAnimation* AAnimation) {
  if (std::find(FAnimations.begin(), FAnimations.end(), AAnimation) == FAnimations.end())
    FAnimations.push_back(AAnimation);
}

void TAniThread::RemoveAnimation(TAnimation* AAnimation) {
  auto it = std::find(FAnimations.begin(), FAnimations.end(), AAnimation);
  if (it != FAnimations.end())
    FAnimations.erase(it);
}

void TAniThread::StepAnimations() {
  const double now = FService->GetTick();
  const double delta = now - FTime;
  FDeltaTime = delta;
  FTime = now;
  if (delta <= 0)
    return;
  int i = static_cast<int>(FAnimations.size()) - 1;
  while (i >= 0) {
    TAnimation* animation = FAnimations[static_cast<size_t>(i)];
    if (animation->Running()) {
      if (rtl::SameText(animation->StyleName(), "caret")) {
        animation->SetTag(animation->Tag() + 1);
        if (animation->Tag() % 12 == 0)
          animation->ProcessTick(FTime, static_cast<float>(FDeltaTime));
      } else {
        animation->ProcessTick(FTime, static_cast<float>(FDeltaTime));
      }
    }
    --i;
    // A tick may have removed animations (itself included): go on from the new end.
    if (i >= static_cast<int>(FAnimations.size()))
      i = static_cast<int>(FAnimations.size()) - 1;
  }
}

bool TAniThread::TimerEnabled() const {
  return FTimer->GetEnabled();
}

void TAniThread::SetTimerEnabled(bool AValue) {
  FTimer->SetEnabled(AValue);
}

TAniThread* AniThread() {
  return AniThreadSlot();
}

TAniThread& EnsureAniThread() {
  TAniThread*& slot = AniThreadSlot();
  if (!slot)
    slot = new TAniThread();
  return *slot;
}

void FreeAniThread() {
  TAniThread*& slot = AniThreadSlot();
  delete slot;
  slot = nullptr;
}

} // namespace ui
