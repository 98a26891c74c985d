// Key-frame tracks, animation stages and animations of the definitions, and the merging of a
// stage's position, rotation and scale tracks into one matrix track.

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"
#include "utils/Vantrel.Utils.Math.h"
#include "utils/Vantrel.Utils.Quaternions.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TPoint3DInterpolatorDef)
VANTREL_DEFINE_DEF_CLASS(TVector3DInterpolatorDef)
VANTREL_DEFINE_DEF_CLASS(TQuaternion3DInterpolatorDef)
VANTREL_DEFINE_DEF_CLASS(TTransformationInterpolatorDef)
VANTREL_DEFINE_DEF_CLASS(TMeshInterpolatorDef)
VANTREL_DEFINE_DEF_CLASS(TAnimationStageDef)
VANTREL_DEFINE_DEF_CLASS(TAnimationDef)

namespace {

constexpr const char* KeyValueMissing = "failed to load interpolator key - key value not found";
constexpr const char* KeyInterpolationMissing =
    "failed to load interpolator key - key interpolation method not found";
constexpr const char* PathMissing = "failed to load interpolator path - property path value not found";
constexpr const char* KeysLengthDiffer = "failed to add multiple interpolator keys - array length differs";
constexpr const char* StageLoadFailed = "failed to load animation stage %s - %s";
constexpr const char* ReferenceNotFound = "referenced joint or transform #%s not found";
constexpr const char* InvalidTrackType = "invalid interpolator type found: %s";
constexpr const char* StagesNotAssigned = "TAnimationDef: Stages-List not assigned";
constexpr const char* StageExists = "TAnimationDef: Stage with id %s already exists";
constexpr const char* UnifyFailed = "failed to unify stage interpolators: %s\r\n%s";
constexpr std::string_view UnitPrefix = "Vantrel.DefTypes.";

// The value codecs of the five track classes, with blanks as separators.
std::string WritePoint(const TPoint3D& AValue) {
  return Point3DToString(AValue);
}
TPoint3D ReadPoint(std::string_view AText) {
  return StringToPoint3D(AText);
}
// Written with W at four decimals, as stored files hold it.
std::string WriteVector(const TVector3D& AValue) {
  return Vector3DToString(AValue, true);
}
TVector3D ReadVector(std::string_view AText) {
  return StringToVector3D(AText);
}
std::string WriteQuaternion(const TQuaternion3D& AValue) {
  return QuaternionToString(AValue);
}
TQuaternion3D ReadQuaternion(std::string_view AText) {
  return StringToQuaternion(AText);
}
std::string WriteMatrix(const TMatrix3D& AValue) {
  return Matrix3DToString(AValue);
}
TMatrix3D ReadMatrix(std::string_view AText) {
  return StringToMatrix3D(AText);
}
std::string WritePoints(const std::vector<TPoint3D>& AValue) {
  return Point3DArrayToString(AValue);
}
std::vector<TPoint3D> ReadPoints(std::string_view AText) {
  return StringToPoint3DArray(AText);
}

// AValue as a JSON node of class T, or nullptr. Compares the class records, which costs less than
// a dynamic_cast in the per-key path.
template <class T> const T* AsJSON(const TJSONValue* AValue) {
  return AValue && AValue->InheritsFrom(T::StaticClass()) ? static_cast<const T*>(AValue) : nullptr;
}

// A number read into a Single field: the JSON grammar is read directly, other text through the
// general reader. Text neither reads, and a value beyond the Single range, raise EConvertError,
// as typed values do: an infinity could not be written back as a JSON number.
float NumberSingle(const TJSONNumber& ANumber) {
  const std::string_view text = ANumber.Value();
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  const bool read = (error == std::errc() && end == text.data() + text.size()) || TryStrToFloat(text, value);
  if (!read || !(std::fabs(value) <= std::numeric_limits<float>::max()))
    throw EConvertError(Format(rtl::messages::InvalidFloat, {text}));
  return static_cast<float>(value);
}

// An ordinal as the base's integer reader gives it; plain short decimal text is read directly.
int32_t NumberOrdinal(const TJSONNumber& ANumber) {
  const std::string_view text = ANumber.Value();
  int32_t result = 0;
  if (text.size() <= 9) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (error == std::errc() && end == text.data() + text.size())
      return result;
  }
  return TCustomDef::JSONNumberToInteger(ANumber);
}

const TJSONNumber* NumberMember(const TJSONObject& AValue, std::string_view AName) {
  return dynamic_cast<const TJSONNumber*>(AValue.GetValue(AName));
}

TPoint3D Lerp(const TPoint3D& A, const TPoint3D& B, float AFactor) {
  return A + (B - A) * AFactor;
}

} // namespace

// ---- TInterpolatorKeyDef<T> ----

template <class T>
std::unique_ptr<TJSONObject> TInterpolatorKeyDef<T>::ToJSON(TSerializeFunc ASerialize) const {
  auto result = TJSONObject::Create();
  result->AddPair("Key", FKey);
  result->AddPair("Interpolation", static_cast<int32_t>(FInterpolation));
  result->AddPair("Value", ASerialize(FValue));
  return result;
}

template <class T>
void TInterpolatorKeyDef<T>::FromJSON(TModelDef*, const TJSONObject& AValue, TUnserializeFunc AUnserialize) {
  // One pass over the members, keeping the first of each name as a lookup would: keys are read by
  // the hundred thousand, and three lookups per key cost more than the walk.
  const TJSONValue *keyValue = nullptr, *interpolationValue = nullptr, *textValue = nullptr;
  for (const TJSONPair* pair : AValue) {
    const std::string_view name = pair->Name();
    if (!keyValue && name == "Key")
      keyValue = pair->JsonValue();
    else if (!interpolationValue && name == "Interpolation")
      interpolationValue = pair->JsonValue();
    else if (!textValue && name == "Value")
      textValue = pair->JsonValue();
  }
  const auto* key = AsJSON<TJSONNumber>(keyValue);
  if (!key)
    throw Exception(KeyValueMissing);
  const auto* interpolation = AsJSON<TJSONNumber>(interpolationValue);
  if (!interpolation)
    throw Exception(KeyInterpolationMissing);
  FKey = NumberSingle(*key);
  FInterpolation = static_cast<TInterpolationType>(NumberOrdinal(*interpolation));
  // A key without a text value keeps its default value.
  if (const auto* text = AsJSON<TJSONString>(textValue))
    FValue = AUnserialize(text->Value());
}

// ---- TInterpolatorDef<T> ----

template <class T>
TInterpolatorDef<T>::TInterpolatorDef(TAnimationStageDef* AStage, typename TKeyDef::TSerializeFunc ASerialize,
                                      typename TKeyDef::TUnserializeFunc AUnserialize)
    : FStage(AStage), FKeys(std::make_unique<TKeyList>()), FSerialize(ASerialize),
      FUnserialize(AUnserialize) {}

template <class T> TInterpolatorDef<T>::~TInterpolatorDef() {
  FStage = nullptr;
}

template <class T>
typename TInterpolatorDef<T>::TKeyDef* TInterpolatorDef<T>::AddKey(float AKey, T AValue,
                                                                   TInterpolationType AInterpolation) {
  TKeyDef* key = New<TKeyDef>(AKey, std::move(AValue), AInterpolation);
  FKeys->Add(key);
  return key;
}

template <class T> typename TInterpolatorDef<T>::TKeyDef* TInterpolatorDef<T>::AddEmptyKey() {
  TKeyDef* key = New<TKeyDef>();
  FKeys->Add(key);
  return key;
}

template <class T>
void TInterpolatorDef<T>::AddKeys(std::span<const float> AKeyTimes, std::span<const T> AKeyValues,
                                  std::span<const TInterpolationType> AIntVals) {
  if (AKeyValues.empty() && !AKeyTimes.empty())
    throw Exception(KeysLengthDiffer);
  for (size_t i = 0; i < AKeyTimes.size(); ++i) {
    const T& value = AKeyValues[std::min(i, AKeyValues.size() - 1)];
    const TInterpolationType interpolation = i < AIntVals.size() ? AIntVals[i] : TInterpolationType::Linear;
    AddKey(AKeyTimes[i], value, interpolation);
  }
}

template <class T> void TInterpolatorDef<T>::NormalizeKeyTimeValues() {
  const int count = FKeys->Count();
  if (count == 0)
    return;
  if (count == 1) {
    const TKeyDef* only = FKeys->Items(0);
    AddKey(1.0f, only->GetValue(), only->GetInterpolation());
    if (FDuration <= 0)
      FDuration = 1;
    return;
  }
  FDuration = FKeys->Last()->GetKey();
  const double duration = FDuration;
  if (duration <= 0 || std::abs(duration - 1.0) <= 1e-6)
    return;
  for (TKeyDef* key : *FKeys)
    key->SetKey(static_cast<float>(static_cast<double>(key->GetKey()) / duration));
}

template <class T>
bool TInterpolatorDef<T>::FindKeys(float ADelta, TKeyDef*& AKeyStart, TKeyDef*& AKeyStop) const {
  AKeyStart = nullptr;
  AKeyStop = nullptr;
  const int count = FKeys->Count();
  const double delta = ADelta;
  for (int i = 0; i + 1 < count; ++i) {
    TKeyDef* start = FKeys->Items(i);
    TKeyDef* stop = FKeys->Items(i + 1);
    if (static_cast<double>(start->GetKey()) <= delta && delta <= static_cast<double>(stop->GetKey())) {
      AKeyStart = start;
      AKeyStop = stop;
      return true;
    }
  }
  return false;
}

template <class T>
float TInterpolatorDef<T>::BlendFactor(float ADelta, const TKeyDef& AKey0, const TKeyDef& AKey1) {
  const double span = static_cast<double>(AKey1.GetKey()) - AKey0.GetKey();
  // Keys of one time: the later key's value, so a sample at that time gives the key it reaches.
  if (span == 0)
    return 1;
  return f32((static_cast<double>(ADelta) - AKey0.GetKey()) / span);
}

template <class T> int64_t TInterpolatorDef<T>::GetSize() const {
  int64_t size = TCustomDef::GetSize() + static_cast<int64_t>(sizeof(TKeyList));
  for (const TKeyDef* key : *FKeys)
    size += key->GetSize();
  return size;
}

template <class T> std::unique_ptr<TJSONObject> TInterpolatorDef<T>::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  result->AddPair("Type", ClassName());
  if (FStage)
    result->AddPair("Stage", FStage->GetId());
  else
    result->AddPair("Stage", TJSONNull::Create());
  result->AddPair("Duration", FDuration);
  result->AddPair("Loop", FLoop);
  result->AddPair("Path", FPath);
  auto keys = TJSONArray::Create();
  for (const TKeyDef* key : *FKeys)
    keys->Add(key->ToJSON(FSerialize));
  result->AddPair("Keys", std::move(keys));
  return result;
}

template <class T> void TInterpolatorDef<T>::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  const TJSONNumber* duration = NumberMember(AValue, "Duration");
  FDuration = duration ? NumberSingle(*duration) : 1.0f;
  FLoop = GetJSONBoolean(AValue, "Loop", false);
  if (!HasJSONValueOfClass(AValue, "Path", TJSONString::StaticClass()))
    throw Exception(PathMissing);
  FPath = GetJSONString(AValue, "Path");
  const auto* keys = dynamic_cast<const TJSONArray*>(AValue.GetValue("Keys"));
  if (!keys)
    return;
  for (const TJSONValue* element : *keys)
    if (const auto* object = dynamic_cast<const TJSONObject*>(element))
      AddEmptyKey()->FromJSON(AModel, *object, FUnserialize);
}

template class TInterpolatorDef<TPoint3D>;
template class TInterpolatorDef<TVector3D>;
template class TInterpolatorDef<TQuaternion3D>;
template class TInterpolatorDef<TMatrix3D>;
template class TInterpolatorDef<std::vector<TPoint3D>>;

// ---- the five track classes ----

TPoint3DInterpolatorDef::TPoint3DInterpolatorDef(TAnimationStageDef* AStage)
    : inherited(AStage, &WritePoint, &ReadPoint) {}

bool TPoint3DInterpolatorDef::ComputeInterpolatedKey(float ADelta, float& AKey,
                                                     TInterpolationType& AInterpolation,
                                                     TPoint3D& AValue) const {
  TKeyDef *key0, *key1;
  if (!FindKeys(ADelta, key0, key1))
    return false;
  AValue = Lerp(key0->GetValue(), key1->GetValue(), BlendFactor(ADelta, *key0, *key1));
  AKey = ADelta;
  AInterpolation = TInterpolationType::Linear;
  return true;
}

TVector3DInterpolatorDef::TVector3DInterpolatorDef(TAnimationStageDef* AStage)
    : inherited(AStage, &WriteVector, &ReadVector) {}

bool TVector3DInterpolatorDef::ComputeInterpolatedKey(float ADelta, float& AKey,
                                                      TInterpolationType& AInterpolation,
                                                      TVector3D& AValue) const {
  TKeyDef *key0, *key1;
  if (!FindKeys(ADelta, key0, key1))
    return false;
  AValue = QuaternionSlerp(BlendFactor(ADelta, *key0, *key1), key0->GetValue(), key1->GetValue());
  AKey = ADelta;
  AInterpolation = TInterpolationType::Linear;
  return true;
}

TQuaternion3DInterpolatorDef::TQuaternion3DInterpolatorDef(TAnimationStageDef* AStage)
    : inherited(AStage, &WriteQuaternion, &ReadQuaternion) {}

bool TQuaternion3DInterpolatorDef::ComputeInterpolatedKey(float ADelta, float& AKey,
                                                          TInterpolationType& AInterpolation,
                                                          TQuaternion3D& AValue) const {
  TKeyDef *key0, *key1;
  if (!FindKeys(ADelta, key0, key1))
    return false;
  // Through the rotation matrices, which normalise the keys.
  const TQuaternion from = QuaternionFromMatrix(key0->GetValue().ToMatrix());
  const TQuaternion to = QuaternionFromMatrix(key1->GetValue().ToMatrix());
  AValue = QuaternionToQuaternion3D(QuaternionSlerp(BlendFactor(ADelta, *key0, *key1), from, to));
  AKey = ADelta;
  AInterpolation = TInterpolationType::Linear;
  return true;
}

TTransformationInterpolatorDef::TTransformationInterpolatorDef(TAnimationStageDef* AStage)
    : inherited(AStage, &WriteMatrix, &ReadMatrix) {}

bool TTransformationInterpolatorDef::ComputeInterpolatedKey(float ADelta, float& AKey,
                                                            TInterpolationType& AInterpolation,
                                                            TMatrix3D& AValue) const {
  TKeyDef *key0, *key1;
  if (!FindKeys(ADelta, key0, key1))
    return false;
  const float factor = BlendFactor(ADelta, *key0, *key1);
  const TMatrix3D& m0 = key0->GetValue();
  const TMatrix3D& m1 = key1->GetValue();
  const TPoint3D translation = Lerp(MatrixGetTranslation(m0), MatrixGetTranslation(m1), factor);
  const TPoint3D scale = Lerp(MatrixGetScale(m0), MatrixGetScale(m1), factor);
  // The rotations with the scale divided out: a scaled key's whole 3x3 is no rotation, and its
  // quaternion would be another angle. ToMatrix is the exact inverse of the quaternion taken from
  // a rotation matrix here, so no transpose: sampling at a key gives that key back.
  const TQuaternion q0 = Quaternion3DToQuaternion(MatrixGetRotation(m0));
  const TQuaternion q1 = Quaternion3DToQuaternion(MatrixGetRotation(m1));
  const TMatrix3D rotation = QuaternionToQuaternion3D(QuaternionSlerp(factor, q0, q1)).ToMatrix();
  AValue = TMatrix3D::CreateScaling(scale) * rotation * TMatrix3D::CreateTranslation(translation);
  AKey = ADelta;
  AInterpolation = TInterpolationType::Linear;
  return true;
}

TMeshInterpolatorDef::TMeshInterpolatorDef(TAnimationStageDef* AStage)
    : inherited(AStage, &WritePoints, &ReadPoints) {}

bool TMeshInterpolatorDef::ComputeInterpolatedKey(float, float&, TInterpolationType&,
                                                  std::vector<TPoint3D>&) const {
  throw Exception("TMeshInterpolatorDef.ComputeInterpolatedKey not implemented yet");
}

// ---- TAnimationStageDef ----

namespace {

// The class of a track "Type" text: the qualified or the plain name of one of the five classes.
TCustomDef* CreateTrack(std::string_view AType, TAnimationStageDef* AStage) {
  std::string_view name = AType;
  if (name.starts_with(UnitPrefix))
    name.remove_prefix(UnitPrefix.size());
  if (name == "TTransformationInterpolatorDef")
    return New<TTransformationInterpolatorDef>(AStage);
  if (name == "TPoint3DInterpolatorDef")
    return New<TPoint3DInterpolatorDef>(AStage);
  if (name == "TVector3DInterpolatorDef")
    return New<TVector3DInterpolatorDef>(AStage);
  if (name == "TQuaternion3DInterpolatorDef")
    return New<TQuaternion3DInterpolatorDef>(AStage);
  if (name == "TMeshInterpolatorDef")
    return New<TMeshInterpolatorDef>(AStage);
  throw Exception(Format(InvalidTrackType, {AType}));
}

// The Duration of a track of one of the five classes; nullopt for anything else.
std::optional<float> TrackDuration(const TCustomDef* ATrack) {
  if (const auto* t = dynamic_cast<const TInterpolatorDef<TPoint3D>*>(ATrack))
    return t->GetDuration();
  if (const auto* t = dynamic_cast<const TInterpolatorDef<TVector3D>*>(ATrack))
    return t->GetDuration();
  if (const auto* t = dynamic_cast<const TInterpolatorDef<TQuaternion3D>*>(ATrack))
    return t->GetDuration();
  if (const auto* t = dynamic_cast<const TInterpolatorDef<TMatrix3D>*>(ATrack))
    return t->GetDuration();
  if (const auto* t = dynamic_cast<const TInterpolatorDef<std::vector<TPoint3D>>*>(ATrack))
    return t->GetDuration();
  return std::nullopt;
}

} // namespace

TAnimationStageDef::TAnimationStageDef(TAnimationDef* AAnimation)
    : FAnimation(AAnimation), FInterpolators(std::make_unique<TObjectList<TCustomDef>>()) {}

TAnimationStageDef::~TAnimationStageDef() {
  FAnimation = nullptr;
}

void TAnimationStageDef::AddInterpolator(TCustomDef* AInter) {
  FInterpolators->Add(AInter);
}

TCustomDef* TAnimationStageDef::FindInterpolatorById(std::string_view AName) const {
  for (TCustomDef* track : *FInterpolators)
    if (track->GetId() == AName)
      return track;
  return nullptr;
}

float TAnimationStageDef::GetDurationInSeconds() const {
  float result = 0;
  for (const TCustomDef* track : *FInterpolators)
    if (const std::optional<float> duration = TrackDuration(track))
      result = std::max(result, *duration);
  return result;
}

int64_t TAnimationStageDef::GetSize() const {
  int64_t size = inherited::GetSize() + static_cast<int64_t>(sizeof(TObjectList<TCustomDef>));
  for (const TCustomDef* track : *FInterpolators)
    size += track->GetSize();
  return size;
}

std::unique_ptr<TJSONObject> TAnimationStageDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Animation", FAnimation ? FAnimation->GetId() : std::string());
  if (FReference)
    result->AddPair("Reference", FReference->GetId());
  else
    result->AddPair("Reference", TJSONNull::Create());
  auto tracks = TJSONArray::Create();
  for (const TCustomDef* track : *FInterpolators)
    tracks->Add(track->ToJSON());
  result->AddPair("Interpolators", std::move(tracks));
  return result;
}

void TAnimationStageDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  try {
    ReadReference(AValue);
    ReadInterpolators(AModel, AValue);
  } catch (const Exception& error) {
    throw Exception(Format(StageLoadFailed, {GetId(), error.Message()}));
  }
}

void TAnimationStageDef::ReadReference(const TJSONObject& AValue) {
  // A stage written without reference (null) reads back without one.
  const std::string id = GetJSONString(AValue, "Reference");
  FReference = nullptr;
  if (id.empty())
    return;
  TModelDef* model = FAnimation ? FAnimation->GetModel() : nullptr;
  const TModelDefSeams& seams = ModelDefSeams();
  TCustomDef* reference = nullptr;
  if (model && seams.FindJointById)
    reference = seams.FindJointById(model, id);
  if (!reference && model && seams.FindChildById)
    reference = seams.FindChildById(model, id);
  if (!reference)
    throw Exception(Format(ReferenceNotFound, {id}));
  SetReference(reference);
}

void TAnimationStageDef::ReadInterpolators(TModelDef* AModel, const TJSONObject& AValue) {
  const auto* tracks = dynamic_cast<const TJSONArray*>(AValue.GetValue("Interpolators"));
  if (!tracks)
    return;
  for (const TJSONValue* element : *tracks) {
    const auto* object = dynamic_cast<const TJSONObject*>(element);
    if (!object)
      continue;
    TCustomDef* track = CreateTrack(GetJSONString(*object, "Type"), this);
    AddInterpolator(track);
    track->FromJSON(AModel, *object);
  }
}

// ---- TAnimationDef ----

TAnimationDef::TAnimationDef(TModelDef* AModel)
    : FModel(AModel), FStages(std::make_unique<TObjectList<TAnimationStageDef>>()) {}

TAnimationDef::~TAnimationDef() = default;

void TAnimationDef::SetFrameRate(int32_t AValue) {
  if (AValue == FFrameRate)
    return;
  FFrameRate = AValue;
  PrepareAnimationData();
}

void TAnimationDef::AddStage(TAnimationStageDef* AStage) {
  if (!AStage)
    return;
  if (!FStages)
    throw Exception(StagesNotAssigned);
  for (const TAnimationStageDef* stage : *FStages)
    if (stage != AStage && stage->GetId() == AStage->GetId())
      throw Exception(Format(StageExists, {AStage->GetId()}));
  if (!FStages->Contains(AStage))
    FStages->Add(AStage);
}

TAnimationStageDef* TAnimationDef::FindStageById(std::string_view AId) const {
  for (TAnimationStageDef* stage : *FStages)
    if (stage->GetId() == AId)
      return stage;
  return nullptr;
}

double TAnimationDef::GetDurationInSeconds() const {
  double result = 0;
  for (const TAnimationStageDef* stage : *FStages)
    result = std::max(result, static_cast<double>(stage->GetDurationInSeconds()));
  return result;
}

namespace {

// The integer part, plus 1 when the fraction is above 0. A value outside the int32 range (a
// duration of weeks read from a file) saturates instead of overflowing the conversion; NaN is 0.
int32_t CeilOf(double AValue) {
  constexpr double Lowest = std::numeric_limits<int32_t>::min();
  constexpr double Highest = std::numeric_limits<int32_t>::max();
  if (std::isnan(AValue))
    return 0;
  if (AValue <= Lowest)
    return std::numeric_limits<int32_t>::min();
  if (AValue >= Highest)
    return std::numeric_limits<int32_t>::max();
  const double whole = std::trunc(AValue);
  return static_cast<int32_t>(whole) + (AValue - whole > 0 ? 1 : 0);
}

} // namespace

int32_t TAnimationDef::GetDurationInMilliseconds() const {
  return CeilOf(GetDurationInSeconds() * 1000);
}

int32_t TAnimationDef::ComputeFrameCount(double ADurationInSeconds) const {
  return CeilOf(ADurationInSeconds * FFrameRate);
}

int32_t TAnimationDef::ComputeFrameCount(int64_t ADurationInMS) const {
  return ComputeFrameCount(static_cast<double>(ADurationInMS) / 1000);
}

int32_t TAnimationDef::ComputeFrameCount() const {
  return ComputeFrameCount(GetDurationInSeconds());
}

void TAnimationDef::PrepareAnimationData() {
  FDuration = GetDurationInSeconds();
  FFrameCount = ComputeFrameCount(FDuration);
  // Re-sized buffers hold no frames: claiming Ready then would draw empty frames for ever.
  if (FBuffers && ResizeBuffers())
    ClearCache();
}

int64_t TAnimationDef::GetSize() const {
  int64_t size = inherited::GetSize() + static_cast<int64_t>(sizeof(TObjectList<TAnimationStageDef>));
  for (const TAnimationStageDef* stage : *FStages)
    size += stage->GetSize();
  return size;
}

std::unique_ptr<TJSONObject> TAnimationDef::ToJSON() const {
  auto result = inherited::ToJSON();
  auto stages = TJSONArray::Create();
  for (const TAnimationStageDef* stage : *FStages)
    stages->Add(stage->ToJSON());
  result->AddPair("Stages", std::move(stages));
  return result;
}

void TAnimationDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  const auto* stages = dynamic_cast<const TJSONArray*>(AValue.GetValue("Stages"));
  if (!stages)
    return;
  for (const TJSONValue* element : *stages) {
    const auto* object = dynamic_cast<const TJSONObject*>(element);
    if (!object)
      throw EInvalidCast(rtl::messages::InvalidCast);
    TOwned<TAnimationStageDef> stage(New<TAnimationStageDef>(this));
    stage->FromJSON(AModel, *object);
    AddStage(stage.get());
    stage.release();
  }
}

// ---- stage unification ----

namespace {

// The tracks of a stage that take part in the merge; the last of each kind wins.
struct TStageTracks {
  TVector3DInterpolatorDef* Vector = nullptr;
  TQuaternion3DInterpolatorDef* Quaternion = nullptr;
  TPoint3DInterpolatorDef* Euler = nullptr;
  TPoint3DInterpolatorDef* Position = nullptr;
  TPoint3DInterpolatorDef* Scale = nullptr;
  float Duration = 1;

  explicit TStageTracks(const TAnimationStageDef& AStage) {
    for (TCustomDef* track : AStage.GetInterpolators()) {
      if (auto* vector = dynamic_cast<TVector3DInterpolatorDef*>(track)) {
        if (vector->GetPath() == "RotationAngle.Vector")
          Take(Vector, vector);
      } else if (auto* quaternion = dynamic_cast<TQuaternion3DInterpolatorDef*>(track)) {
        if (quaternion->GetPath() == "Quaternion")
          Take(Quaternion, quaternion);
      } else if (auto* point = dynamic_cast<TPoint3DInterpolatorDef*>(track)) {
        if (point->GetPath() == "RotationAngle.Point")
          Take(Euler, point);
        else if (point->GetPath() == "Position.Point")
          Take(Position, point);
        else if (point->GetPath() == "Scale.Point")
          Take(Scale, point);
      }
    }
  }

  template <class T> void Take(T*& ASlot, T* ATrack) {
    ASlot = ATrack;
    Duration = std::max(Duration, ATrack->GetDuration());
  }

  // The driving track's key count; -1 without any track.
  int DriverKeyCount() const {
    if (Vector)
      return Vector->GetKeys().Count();
    if (Quaternion)
      return Quaternion->GetKeys().Count();
    if (Euler)
      return Euler->GetKeys().Count();
    if (Position)
      return Position->GetKeys().Count();
    if (Scale)
      return Scale->GetKeys().Count();
    return -1;
  }
};

// One component of key i: the track's own key i when it has N keys, else its sample at ATime.
// False leaves AValue, ATime and AInterpolation as they were.
template <class T>
bool SampleTrack(const TInterpolatorDef<T>& ATrack, int AIndex, int ACount, float ASampleTime, float& ATime,
                 TInterpolationType& AInterpolation, T& AValue) {
  if (ATrack.GetKeys().Count() == ACount) {
    const auto* key = ATrack.GetKeys().Items(AIndex);
    AValue = key->GetValue();
    ATime = key->GetKey();
    AInterpolation = key->GetInterpolation();
    return true;
  }
  return ATrack.ComputeInterpolatedKey(ASampleTime, ATime, AInterpolation, AValue);
}

bool MatricesEqual(const TMatrix3D& A, const TMatrix3D& B, float ATolerance) {
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col)
      if (std::abs(A(row, col) - B(row, col)) > ATolerance)
        return false;
  return true;
}

// The first member of AOptions in enumeration order; 0 for none.
uint8_t EulerOrderOf(TUnifyInterpolatorOptions AOptions) {
  for (uint8_t order = 0; order < 6; ++order)
    if (AOptions.Contains(static_cast<TUnifyInterpolatorOption>(order)))
      return order;
  return 0;
}

} // namespace

void TAnimationDef::UnifyInterpolators(TUnifyInterpolatorOptions AOptions,
                                       const TUnifyInterpolatorTransformationProc& ACallback) {
  if (!FStages)
    return;
  const uint8_t eulerOrder = EulerOrderOf(AOptions);
  for (TAnimationStageDef* stage : *FStages) {
    try {
      UnifyStage(stage, eulerOrder, ACallback);
    } catch (const Exception& error) {
      Log::d(Format(UnifyFailed, {stage->GetId(), error.Message()}));
    }
  }
}

void TAnimationDef::UnifyStage(TAnimationStageDef* AStage, uint8_t AEulerOrder,
                               const TUnifyInterpolatorTransformationProc& ACallback) {
  const TStageTracks tracks(*AStage);
  const TKeyUnifyFlags flags = AStage->GetKeyUnifyFlags();
  TMatrix3D base = TMatrix3D::Identity();
  const auto* reference = dynamic_cast<const TTransformDef*>(AStage->GetReference());
  if (reference && !flags.Contains(TKeyUnifyFlag::AbsoluteKeyTransform))
    base = flags.Contains(TKeyUnifyFlag::EvaluateGlobalTransform) ? reference->EvaluateGlobalTransformation()
                                                                  : reference->GetTransform();
  const int count = tracks.DriverKeyCount();
  if (count < 0)
    return;

  auto* merged = New<TTransformationInterpolatorDef>(AStage);
  merged->SetId(Format("%s_transform_merged_%d", {AStage->GetId(), AStage->GetInterpolators().Count()}));
  merged->SetDuration(tracks.Duration);
  AStage->AddInterpolator(merged);

  for (int i = 0; i < count; ++i) {
    // A driver of one key samples the other tracks at 0.
    const float t = count > 1 ? std::max(0.0f, f32(static_cast<double>(i) / (count - 1))) : 0.0f;
    float time = -1;
    TInterpolationType interpolation = TInterpolationType::Linear;
    const auto component = [&](auto* ATrack, auto& AValue) {
      float keyTime = 0;
      TInterpolationType keyInterpolation = TInterpolationType::Linear;
      SampleTrack(*ATrack, i, count, t, keyTime, keyInterpolation, AValue);
      time = std::max(time, keyTime);
      interpolation = keyInterpolation;
    };

    TMatrix3D rotation = TMatrix3D::Identity();
    if (tracks.Vector) {
      TVector3D value;
      component(tracks.Vector, value);
      rotation = TQuaternion3D({value.X, value.Y, value.Z}, value.W).ToMatrix();
    } else if (tracks.Quaternion) {
      TQuaternion3D value = TQuaternion3D::Identity();
      component(tracks.Quaternion, value);
      rotation = value.ToMatrix();
    } else if (tracks.Euler) {
      TPoint3D value;
      component(tracks.Euler, value);
      rotation = Matrix3x3To3D(EulerToMatrix(value, AEulerOrder));
    }
    TMatrix3D translation = TMatrix3D::Identity();
    if (tracks.Position) {
      TPoint3D value;
      component(tracks.Position, value);
      translation = TMatrix3D::CreateTranslation(value);
    }
    TMatrix3D scaling = TMatrix3D::Identity();
    if (tracks.Scale) {
      TPoint3D value{1, 1, 1};
      component(tracks.Scale, value);
      scaling = TMatrix3D::CreateScaling(value);
    }

    TMatrix3D matrix = scaling * rotation * translation;
    if (ACallback)
      ACallback(AStage, time, matrix, interpolation);
    if (flags.Contains(TKeyUnifyFlag::InverseTransform))
      matrix = matrix.Inverse();
    if (flags.Contains(TKeyUnifyFlag::EqualBaseTransformCheck) && i == 0 &&
        MatricesEqual(matrix, base, 1e-4f))
      base = TMatrix3D::Identity();
    matrix = flags.Contains(TKeyUnifyFlag::InverseBaseTransform) ? base * matrix : matrix * base;
    merged->AddKey(time, matrix, interpolation);
  }

  for (TCustomDef* track : std::array<TCustomDef*, 5>{tracks.Scale, tracks.Position, tracks.Vector,
                                                      tracks.Quaternion, tracks.Euler})
    if (track)
      AStage->RemoveInterpolator(track);
}

// ---- start-up rows ----

namespace detail {

void RegisterAnimationDefClasses(bool ARegister) {
  const std::array<TCustomDefClass*, 7> classes{&TPoint3DInterpolatorDef::StaticClass(),
                                                &TVector3DInterpolatorDef::StaticClass(),
                                                &TQuaternion3DInterpolatorDef::StaticClass(),
                                                &TTransformationInterpolatorDef::StaticClass(),
                                                &TMeshInterpolatorDef::StaticClass(),
                                                &TAnimationStageDef::StaticClass(),
                                                &TAnimationDef::StaticClass()};
  for (TCustomDefClass* defClass : classes) {
    if (ARegister)
      RegisterClass(*defClass);
    else
      UnRegisterClass(*defClass);
  }
}

} // namespace detail

} // namespace vantrel
