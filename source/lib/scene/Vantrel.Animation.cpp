#include "scene/Vantrel.Animation.h"

#include <algorithm>
#include <cmath>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "rtl/fields.h"
#include "rtl/log.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Joint.h"
#include "utils/Vantrel.Utils.Quaternions.h"

namespace vantrel {

namespace {

constexpr const char* SUnit = "Vantrel.Animation";
int AnimationInitCount = 0;

template <class T> bool IsKind(const TPropInfo* AInfo) {
  return AInfo && AInfo->Type == &TypeInfoOf<T>() && !AInfo->IsReadOnly();
}

// A fresh typed animation stores nothing: its own defaults are published with it.
void PublishPropertyName(TPropertyList& AList, const char* ADefault) {
  AList.Add("PropertyName", &ui::TCustomPropertyAnimation::PropertyName, &ui::TCustomPropertyAnimation::SetPropertyName)
      .WithDefault(std::string(ADefault));
}
void RegisterPointTrack(TPropertyList& AList) { PublishPropertyName(AList, "Position.Point"); }
void RegisterVectorTrack(TPropertyList& AList) { PublishPropertyName(AList, "RotationAngle.Vector"); }
void RegisterQuaternionTrack(TPropertyList& AList) { PublishPropertyName(AList, "Quaternion"); }
void RegisterMatrixTrack(TPropertyList& AList) { PublishPropertyName(AList, "TransformMatrix"); }
void RegisterCoordinateTrack(TPropertyList& AList) { PublishPropertyName(AList, "Coordinates"); }

} // namespace

// --- TPropertyKeyAnimation -----------------------------------------------------------------------

RTL_DEFINE_CLASS(TPropertyKeyAnimation, SUnit, &TPropertyKeyAnimation::RegisterProperties)

TPropertyKeyAnimation::TPropertyKeyAnimation(TComponent* AOwner) : ui::TCustomPropertyAnimation(AOwner) {}

TPropertyKeyAnimation::~TPropertyKeyAnimation() = default;

void TPropertyKeyAnimation::RegisterProperties(TPropertyList& AList) {
  AList.Add("Keys", &TPropertyKeyAnimation::Keys);
  AList.Add("StartFromCurrent", &TPropertyKeyAnimation::StartFromCurrent,
            &TPropertyKeyAnimation::SetStartFromCurrent)
      .WithDefault(false);
}


// The platform's tables copy the animation settings; the elements, the keys and the resolved
// paths are taken in DoDuplicate.
void TPropertyKeyAnimation::RegisterFields() {
  rtl::RegisterFields(StaticClass(), {
                                         ValueField<&TPropertyKeyAnimation::FQualifiedName>("FQualifiedName"),
                                         SkippedField("FElements", TFieldKind::NoTypeInfo),
                                         ValueField<&TPropertyKeyAnimation::FDef>("FDef"),
                                         ValueField<&TPropertyKeyAnimation::FStartFromCurrent>("FStartFromCurrent"),
                                         ValueField<&TPropertyKeyAnimation::FTransitionTime>("FTransitionTime"),
                                         SkippedField("FCPIBuffer", TFieldKind::NoTypeInfo),
                                     });
}

void TPropertyKeyAnimation::DoDuplicate(TObject* ASource, TVantrelDuplicator*) {
  const auto* source = dynamic_cast<const TPropertyKeyAnimation*>(ASource);
  if (!source)
    return;
  AddElements(source->FElements);
  if (FKeys && source->FKeys)
    FKeys->Assign(source->FKeys.get());
}

void TPropertyKeyAnimation::RemapElements(const TVantrelDuplicator& ADuplicator) {
  std::vector<std::pair<TComponent*, bool>> elements;
  for (const auto& pair : FElements)
    elements.emplace_back(pair.Key, pair.Value);
  for (const auto& [element, value] : elements) {
    TObject* copy = nullptr;
    if (!element || !ADuplicator.ObjectMap().TryGetValue(element, copy) || copy == element)
      continue;
    auto* target = dynamic_cast<TComponent*>(copy);
    if (!target)
      continue;
    FElements.Remove(element);
    RemoveFreeNotification(element);
    AddElement(target, value);
    RenameKeyValues(element, target);
  }
  FCPIBuffer.Clear();
}

void TPropertyKeyAnimation::AddElement(TComponent* AElement, bool AValue) {
  FElements.AddOrSetValue(AElement, AValue);
  if (AElement)
    FreeNotification(AElement);
}

void TPropertyKeyAnimation::AddElements(const TElements& AElements) {
  for (const auto& pair : AElements)
    AddElement(pair.Key, pair.Value);
}

void TPropertyKeyAnimation::Stop() {
  inherited::Stop();
  FCPIBuffer.Clear();
}

void TPropertyKeyAnimation::ResetCaching() {
  FCPIBuffer.Clear();
  SetTime(0);
  SetDelayTime(0);
  SetTickCount(0);
  FirstFrame();
}

void TPropertyKeyAnimation::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove || AComponent == nullptr)
    return;
  FElements.Remove(AComponent);
  FCPIBuffer.Remove(AComponent);
  // A path resolved through a child keeps that child as its instance.
  std::vector<TComponent*> stale;
  for (const auto& pair : FCPIBuffer)
    if (pair.Value.Instance == AComponent)
      stale.push_back(pair.Key);
  for (TComponent* element : stale)
    FCPIBuffer.Remove(element);
  ForgetKeyValues(AComponent);
}

bool TPropertyKeyAnimation::ResolveElementProperty(TComponent* AElement, TPropertyInstanceBuffer& AResult) {
  if (FCPIBuffer.TryGetValue(AElement, AResult))
    return true;
  TObject* instance = AElement;
  const TPropInfo* info = nullptr;
  std::string path = PropertyName();
  size_t dot;
  while (instance && (dot = path.find('.')) != std::string::npos) {
    const std::string segment = path.substr(0, dot);
    path.erase(0, dot + 1);
    info = GetPropInfo(instance->ClassType(), segment);
    if (info && info->Type->Kind == TTypeKind::tkClass) {
      instance = info->Get(instance).AsObject();
      continue;
    }
    // A child named by the segment whose class has a property named by the whole rest.
    TObject* child = nullptr;
    info = nullptr;
    if (auto* fmx = dynamic_cast<TFmxObject*>(instance))
      for (TFmxObject* candidate : fmx->Children())
        if (candidate && SameText(candidate->Name(), segment) &&
            (info = GetPropInfo(candidate->ClassType(), path)) != nullptr) {
          child = candidate;
          break;
        }
    instance = child;
  }
  if (!instance)
    return false;
  info = GetPropInfo(instance->ClassType(), path);
  if (!info)
    return false;
  AResult = {info, instance};
  FCPIBuffer.AddOrSetValue(AElement, AResult);
  if (auto* component = dynamic_cast<TComponent*>(instance); component && component != AElement)
    FreeNotification(component);
  return true;
}

bool TPropertyKeyAnimation::ParentProperty(TPropertyInstanceBuffer& AResult) const {
  AResult = {PropertyInfo(), PropertyInstance()};
  return AResult.RttiProp && AResult.Instance;
}

void TPropertyKeyAnimation::LoadCommon(TCustomDef* ADef, float ADuration, bool ALoop) {
  FDef = ADef;
  if (FQualifiedName.empty())
    FQualifiedName = ADef->GetId();
  SetName(GetUniqueComponentName(Owner(), ADef->GetId()));
  // A negative duration runs the track backwards over its length.
  SetDuration(std::fabs(ADuration));
  SetLoop(ALoop);
  SetEnabled(false);
  if (ADuration < 0)
    SetInverse(true);
  if (FKeys->Count() > 0) {
    Log::d(SKeysAlreadyFilled, FQualifiedName);
    FKeys->Clear();
  }
}

// --- TTypedKeyAnimation --------------------------------------------------------------------------

template <class TKeyClass, class TDefClass>
TTypedKeyAnimation<TKeyClass, TDefClass>::TTypedKeyAnimation(TComponent* AOwner) : TPropertyKeyAnimation(AOwner) {
  FKeys = std::make_unique<ui::TKeys>(TKeyClass::StaticClass());
}

template <class TKeyClass, class TDefClass>
void TTypedKeyAnimation<TKeyClass, TDefClass>::LoadFromInterpolatorDef(TCustomDef* ADef) {
  if (!ADef)
    return;
  auto* def = dynamic_cast<TDefClass*>(ADef);
  if (!def)
    throw EInvalidCast(messages::InvalidCast);
  LoadCommon(def, def->GetDuration(), def->GetLoop());
  for (const auto* keyDef : def->GetKeys()) {
    auto* key = static_cast<TKeyClass*>(FKeys->Add());
    key->SetKey(keyDef->GetKey());
    for (const auto& pair : Elements())
      key->SetValue(pair.Key, keyDef->GetValue());
  }
  SetEnabled(false);
}

template <class TKeyClass, class TDefClass>
std::string TTypedKeyAnimation<TKeyClass, TDefClass>::CurrentValueProperty(TComponent*) const {
  return PropertyPath();
}

template <class TKeyClass, class TDefClass> void TTypedKeyAnimation<TKeyClass, TDefClass>::FirstFrame() {
  if (!StartFromCurrent() || FKeys->Count() == 0)
    return;
  auto* first = static_cast<TKeyClass*>(FKeys->Items(0));
  for (const auto& pair : Elements()) {
    TComponent* element = pair.Key;
    if (!element)
      continue;
    const TPropInfo* info = GetPropInfo(element->ClassType(), CurrentValueProperty(element));
    if (info && info->Type == &TypeInfoOf<TKeyValue>())
      first->SetValue(element, info->Get(element).template AsType<TKeyValue>());
  }
}

template <class TKeyClass, class TDefClass> void TTypedKeyAnimation<TKeyClass, TDefClass>::ProcessAnimation() {
  const float t = NormalizedTime();
  ui::TKey* key0 = nullptr;
  ui::TKey* key1 = nullptr;
  if (!FKeys->FindKeys(t, key0, key1) || key1->Key() == key0->Key())
    return;
  SetTransitionTime(t);
  const float f = (t - key0->Key()) / (key1->Key() - key0->Key());
  auto* k0 = static_cast<TKeyClass*>(key0);
  auto* k1 = static_cast<TKeyClass*>(key1);
  if (Elements().Count() > 0 || !Parent()) {
    // Resolution may drop cache entries but never elements, so a copy of the keys is safe.
    std::vector<TComponent*> elements;
    for (const auto& pair : Elements())
      elements.push_back(pair.Key);
    for (TComponent* element : elements) {
      TPropertyInstanceBuffer target;
      if (!element || !ResolveElementProperty(element, target) || !IsKind<TKeyValue>(target.RttiProp))
        continue;
      target.RttiProp->Set(target.Instance,
                           rtl::TValue::From(Interpolate(k0->GetValue(element), k1->GetValue(element), f)));
    }
    return;
  }
  TPropertyInstanceBuffer target;
  if (ParentProperty(target) && IsKind<TKeyValue>(target.RttiProp))
    target.RttiProp->Set(target.Instance,
                         rtl::TValue::From(Interpolate(k0->GetDefaultValue(), k1->GetDefaultValue(), f)));
}

template <class TKeyClass, class TDefClass>
void TTypedKeyAnimation<TKeyClass, TDefClass>::ForgetKeyValues(TComponent* AElement) {
  for (int i = 0; i < FKeys->Count(); ++i)
    static_cast<TKeyClass*>(FKeys->Items(i))->RemoveElement(AElement);
}

template <class TKeyClass, class TDefClass>
void TTypedKeyAnimation<TKeyClass, TDefClass>::RenameKeyValues(TComponent* AOld, TComponent* ANew) {
  for (int i = 0; i < FKeys->Count(); ++i)
    static_cast<TKeyClass*>(FKeys->Items(i))->RenameElement(AOld, ANew);
}

// --- The typed classes ---------------------------------------------------------------------------

RTL_DEFINE_CLASS(TPoint3DKey, SUnit)
RTL_DEFINE_CLASS(TVector3DKey, SUnit)
RTL_DEFINE_CLASS(TQuaternion3DKey, SUnit)
RTL_DEFINE_CLASS(TTransformationKey, SUnit)
RTL_DEFINE_CLASS(TCoordinateKey, SUnit)

RTL_DEFINE_CLASS(TPoint3DKeyAnimation, SUnit, &RegisterPointTrack)
RTL_DEFINE_CLASS(TVector3DKeyAnimation, SUnit, &RegisterVectorTrack)
RTL_DEFINE_CLASS(TQuaternion3DKeyAnimation, SUnit, &RegisterQuaternionTrack)
RTL_DEFINE_CLASS(TTransformationKeyAnimation, SUnit, &RegisterMatrixTrack)
RTL_DEFINE_CLASS(TCoordinateKeyAnimation, SUnit, &RegisterCoordinateTrack)

TPoint3DKeyAnimation::TPoint3DKeyAnimation(TComponent* AOwner) : TPoint3DKeyAnimationBase(AOwner) {
  SetPropertyName("Position.Point");
}

void TPoint3DKeyAnimation::Transform(const TMatrix3D&) {
  throw Exception("TPoint3DKeyAnimation.Transform not supported yet");
}

TPoint3D TPoint3DKeyAnimation::Interpolate(const TPoint3D& AValue0, const TPoint3D& AValue1, float AFactor) const {
  return AValue0 + (AValue1 - AValue0) * AFactor;
}

namespace {

bool IsSkinnedJoint(const TComponent* AElement) {
  const auto* joint = dynamic_cast<const TVantrelJoint*>(AElement);
  return joint && joint->Skinned();
}

} // namespace

std::string TVector3DKeyAnimation::CurrentValueProperty(TComponent* AElement) const {
  return IsSkinnedJoint(AElement) ? std::string("Rotation") : TVector3DKeyAnimationBase::CurrentValueProperty(AElement);
}

std::string TQuaternion3DKeyAnimation::CurrentValueProperty(TComponent* AElement) const {
  return IsSkinnedJoint(AElement) ? std::string("Quaternion")
                                  : TQuaternion3DKeyAnimationBase::CurrentValueProperty(AElement);
}

TVector3DKeyAnimation::TVector3DKeyAnimation(TComponent* AOwner) : TVector3DKeyAnimationBase(AOwner) {
  SetPropertyName("RotationAngle.Vector");
}

void TVector3DKeyAnimation::Transform(const TMatrix3D&) {
  throw Exception("TVector3DKeyAnimation.Transform not supported yet");
}

TVector3D TVector3DKeyAnimation::Interpolate(const TVector3D& AValue0, const TVector3D& AValue1,
                                             float AFactor) const {
  return QuaternionSlerp(AFactor, AValue0, AValue1);
}

TQuaternion3DKeyAnimation::TQuaternion3DKeyAnimation(TComponent* AOwner) : TQuaternion3DKeyAnimationBase(AOwner) {
  SetPropertyName("Quaternion");
}

void TQuaternion3DKeyAnimation::Transform(const TMatrix3D&) {
  throw Exception("TQuaternion3DKeyAnimation.Transform not supported yet");
}

TQuaternion3D TQuaternion3DKeyAnimation::Interpolate(const TQuaternion3D& AValue0, const TQuaternion3D& AValue1,
                                                     float AFactor) const {
  TVector3D from, to;
  QuaternionFromMatrix(AValue0.ToMatrix(), from);
  QuaternionFromMatrix(AValue1.ToMatrix(), to);
  const TVector3D result = QuaternionSlerp(AFactor, from, to);
  return TQuaternion3D({result.X, result.Y, result.Z}, result.W);
}

TTransformationKeyAnimation::TTransformationKeyAnimation(TComponent* AOwner)
    : TTransformationKeyAnimationBase(AOwner) {
  SetPropertyName("TransformMatrix");
}

void TTransformationKeyAnimation::Transform(const TMatrix3D& AMat) {
  for (int i = 0; i < FKeys->Count(); ++i) {
    auto& values = static_cast<TTransformationKey*>(FKeys->Items(i))->Values().Values();
    std::vector<std::pair<TComponent*, TMatrix3D>> moved;
    for (const auto& pair : values)
      moved.emplace_back(pair.Key, pair.Value * AMat);
    for (const auto& [element, value] : moved)
      values.AddOrSetValue(element, value);
  }
}

TMatrix3D TTransformationKeyAnimation::Interpolate(const TMatrix3D& AValue0, const TMatrix3D& AValue1,
                                                   float AFactor) const {
  TMatrix3D result;
  const float* a = &AValue0.m11;
  const float* b = &AValue1.m11;
  float* r = &result.m11;
  for (int i = 0; i < 16; ++i)
    r[i] = a[i] + (b[i] - a[i]) * AFactor;
  return result;
}

TCoordinateKeyAnimation::TCoordinateKeyAnimation(TComponent* AOwner) : TCoordinateKeyAnimationBase(AOwner) {
  SetPropertyName("Coordinates");
}

void TCoordinateKeyAnimation::Transform(const TMatrix3D&) {
  throw Exception("TCoordinateKeyAnimation.Transform not supported yet");
}

std::vector<TPoint3D> TCoordinateKeyAnimation::Interpolate(const std::vector<TPoint3D>& AValue0,
                                                           const std::vector<TPoint3D>& AValue1,
                                                           float AFactor) const {
  std::vector<TPoint3D> result = AValue0;
  const size_t count = std::min(AValue0.size(), AValue1.size());
  for (size_t i = 0; i < count; ++i)
    result[i] = AValue0[i] + (AValue1[i] - AValue0[i]) * AFactor;
  return result;
}

// --- TSkeletonKeyAnimation ----------------------------------------------------------------------

RTL_DEFINE_CLASS(TSkeletonKeyAnimation, SUnit, &TSkeletonKeyAnimation::RegisterProperties)

TSkeletonKeyAnimation::TSkeletonKeyAnimation(TComponent* AOwner) : TPropertyKeyAnimation(AOwner) {
  FKeys = std::make_unique<ui::TKeys>(ui::TKey::StaticClass());
  SetLoop(true);
  SetDuration(2);
  SetPropertyName("Vertices");
}

void TSkeletonKeyAnimation::RegisterProperties(TPropertyList& AList) {
  AList.Add("AutoRepaint", &TSkeletonKeyAnimation::AutoRepaint, &TSkeletonKeyAnimation::SetAutoRepaint)
      .WithDefault(true);
  AList.Add("Duration", &ui::TAnimation::Duration, &ui::TAnimation::SetDuration).WithDefault(2.0f);
  AList.Add("Loop", &ui::TAnimation::Loop, &ui::TAnimation::SetLoop).WithDefault(true);
  PublishPropertyName(AList, "Vertices");
}

void TSkeletonKeyAnimation::AddInterpolator(TPropertyKeyAnimation* AInter) {
  FInterpolators.push_back(AInter);
  FreeNotification(AInter);
  AInter->ResolvePropertyPath();
}

void TSkeletonKeyAnimation::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == TOperation::opRemove)
    std::erase(FInterpolators, AComponent);
}

void TSkeletonKeyAnimation::ProcessAnimation() {
  SetTransitionTime(NormalizedTime());
  if (FInterpolators.empty())
    return;
  auto repaint = [this] {
    if (auto* control = dynamic_cast<ui::TControl3D*>(Parent()); control && FAutoRepaint)
      control->Repaint();
  };
  try {
    InParentUpdate([this] {
      for (TPropertyKeyAnimation* inter : std::vector(FInterpolators)) {
        inter->SetTickCount(TickCount());
        inter->SetDelayTime(DelayTime());
        inter->SetTime(Time());
        inter->ProcessAnimation();
      }
    });
  } catch (...) {
    repaint();
    throw;
  }
  repaint();
}

void TSkeletonKeyAnimation::ProcessAnimationRemote(float ATime, float ADeltaTime) {
  SetTransitionTime(NormalizedTime());
  if (FInterpolators.empty())
    return;
  InParentUpdate([&] {
    for (TPropertyKeyAnimation* inter : std::vector(FInterpolators))
      inter->ProcessCachingTick(ATime, ADeltaTime);
  });
}

void TSkeletonKeyAnimation::Reset() {
  for (TPropertyKeyAnimation* inter : std::vector(FInterpolators))
    inter->ProcessTick(0, 0);
  ResetCaching();
}

void TSkeletonKeyAnimation::SetSpeed(float ASpeed) {
  for (TPropertyKeyAnimation* inter : FInterpolators)
    inter->SetDuration(inter->Duration() * ASpeed);
}

void TSkeletonKeyAnimation::Start() {
  if (ParentInvisible())
    Log::d(SAnimationParentNotVisible);
  inherited::Start();
}

void TSkeletonKeyAnimation::Transform(const TMatrix3D& AMat) {
  for (TPropertyKeyAnimation* inter : FInterpolators)
    inter->Transform(AMat);
}

// --- TPoint3DAnimation ---------------------------------------------------------------------------

RTL_DEFINE_CLASS(TPoint3DAnimation, SUnit, &TPoint3DAnimation::RegisterProperties)

TPoint3DAnimation::TPoint3DAnimation(TComponent* AOwner)
    : ui::TCustomPropertyAnimation(AOwner), FStartValue(MakeOwned<ui::TPosition3D>()),
      FStopValue(MakeOwned<ui::TPosition3D>()) {
  SetDuration(0.2f);
}

void TPoint3DAnimation::RegisterProperties(TPropertyList& AList) {
  AList.Add("StartValue", &TPoint3DAnimation::StartValue);
  AList.Add("StopValue", &TPoint3DAnimation::StopValue);
  AList.Add("StartFromCurrent", &TPoint3DAnimation::StartFromCurrent, &TPoint3DAnimation::SetStartFromCurrent)
      .WithDefault(false);
}


void TPoint3DAnimation::Assign(const TPersistent* ASource) {
  if (const auto* source = dynamic_cast<const TPoint3DAnimation*>(ASource)) {
    FStartValue->Assign(source->FStartValue.get());
    FStopValue->Assign(source->FStopValue.get());
    FStartFromCurrent = source->FStartFromCurrent;
  }
  inherited::Assign(ASource);
}

bool TPoint3DAnimation::PointProperty() const {
  return PropertyInstance() && IsKind<TPoint3D>(PropertyInfo());
}

void TPoint3DAnimation::FirstFrame() {
  if (FStartFromCurrent && PointProperty())
    FStartValue->SetPoint(PropertyInfo()->Get(PropertyInstance()).AsType<TPoint3D>());
}

void TPoint3DAnimation::ProcessAnimation() {
  if (!PointProperty())
    return;
  const TPoint3D start = FStartValue->Point();
  const TPoint3D value = start + (FStopValue->Point() - start) * NormalizedTime();
  PropertyInfo()->Set(PropertyInstance(), rtl::TValue::From(value));
}

// --- Start-up ------------------------------------------------------------------------------------

namespace {

std::vector<TClass*> AnimationClasses() {
  return {&TPropertyKeyAnimation::StaticClass(),     &TPoint3DKeyAnimation::StaticClass(),
          &TVector3DKeyAnimation::StaticClass(),     &TQuaternion3DKeyAnimation::StaticClass(),
          &TCoordinateKeyAnimation::StaticClass(),   &TTransformationKeyAnimation::StaticClass(), &TSkeletonKeyAnimation::StaticClass(),
          &TPoint3DAnimation::StaticClass(),
          &TVantrelAnimation::StaticClass(),         &TVantrelAnimationManager::StaticClass()};
}

} // namespace

void InitializeAnimation() {
  if (AnimationInitCount++ > 0)
    return;
  for (TClass* cls : AnimationClasses())
    RegisterClass(*cls);
  TPropertyKeyAnimation::RegisterFields();
  TVantrelAnimation::RegisterFields();
  TVantrelAnimationManager::RegisterFields();
}

void FinalizeAnimation() {
  if (AnimationInitCount == 0 || --AnimationInitCount > 0)
    return;
  for (TClass* cls : AnimationClasses()) {
    UnRegisterFields(*cls);
    UnRegisterClass(*cls);
  }
}

} // namespace vantrel
