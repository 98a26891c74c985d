// Light, camera and meta definitions.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TLightDef)
VANTREL_DEFINE_DEF_CLASS(TCameraDef)
VANTREL_DEFINE_DEF_CLASS(TMetaDef)
VANTREL_DEFINE_DEF_CLASS(TModelMetaDef)

namespace {

constexpr const char* InvalidMetaTagType =
    "TMetaDef.SetTag(): invalid meta tag type - only string, int, float and bool allowed";

TModelDef* ModelOf(const TTransformDef& ANode) {
  return dynamic_cast<TModelDef*>(ANode.GetModel());
}

std::string OwnerIdOf(const TTransformDef& ANode) {
  const TCustomDef* owner = ANode.GetOwnerRef();
  return owner ? owner->GetId() : std::string();
}

// The first "Owner" of a light or camera. A text other than the current owner's Id drops the
// owner and keeps the text for late resolution; the same text keeps the owner (a tree child read
// under its parent). Without a text, ADropWhenAbsent drops the owner and its Id.
void ReadNodeOwner(TTransformDef& ANode, const TJSONObject& AValue, bool ADropWhenAbsent) {
  const auto* owner = dynamic_cast<const TJSONString*>(AValue.GetValue("Owner"));
  const std::string text = owner ? std::string(owner->Value()) : std::string();
  if (text.empty()) {
    if (ADropWhenAbsent)
      ANode.AssignOwner(nullptr);
    return;
  }
  if (ANode.GetOwnerRef() && ANode.GetOwnerRef()->GetId() == text)
    return;
  ANode.AssignOwner(nullptr);
  ANode.SetOwnerId(text);
}

bool LateResolveNodeOwner(TTransformDef& ANode, TModelDef* AModel) {
  if (!ANode.GetOwnerId().empty() && !ANode.GetOwnerRef() && AModel) {
    const std::string id = ANode.GetOwnerId();
    ANode.AssignOwner(AModel->FindDefById(id));
    // An id that names nothing stays for the next save.
    if (!ANode.GetOwnerRef())
      ANode.SetOwnerId(id);
  }
  return true;
}

std::string AddressName(const char* APrefix, const void* AObject) {
  return std::string(APrefix) + std::to_string(static_cast<int64_t>(reinterpret_cast<intptr_t>(AObject)));
}

std::string ColorToString(const TAlphaColorF& AColor) {
  return Vector4ToString(AColor.R, AColor.G, AColor.B, AColor.A);
}

TAlphaColorF ReadColor(const TJSONObject& AValue, std::string_view AName, const TAlphaColorF& ADefault) {
  const std::string text = TCustomDef::GetJSONString(AValue, AName);
  if (text.empty())
    return ADefault;
  TAlphaColorF result = ADefault;
  StringToVector4(text, result.R, result.G, result.B, result.A);
  return result;
}

// A number beyond the Single range reads as absent, like a member of another type.
float ReadSingle(const TJSONObject& AValue, std::string_view AName, float ADefault) {
  const double value = TCustomDef::GetJSONFloat(AValue, AName, ADefault);
  if (!(std::fabs(value) <= std::numeric_limits<float>::max()))
    return ADefault;
  return static_cast<float>(value);
}

const char* LightTypeName(ui::TLightType AType) {
  switch (AType) {
  case ui::TLightType::Directional:
    return "Directional";
  case ui::TLightType::Spot:
    return "Spot";
  default:
    return "Point";
  }
}

} // namespace

// ---- TLightDef ----

TLightDef::~TLightDef() {
  if (FListedIn)
    FListedIn->RemoveLight(this);
}

void TLightDef::AfterConstruction() {
  inherited::AfterConstruction();
  if (TModelDef* model = ModelOf(*this))
    model->AddLight(this);
}

std::string TLightDef::GetQualifiedComponentName() const {
  std::string name = ToValidComponentName(GetId());
  return name.empty() ? AddressName("Light_", this) : name;
}

int64_t TLightDef::GetSize() const {
  return TCustomDef::GetSize();
}

std::unique_ptr<TJSONObject> TLightDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Owner", OwnerIdOf(*this));
  result->AddPair("LightType", LightTypeName(LightType));
  result->AddPair("Direction", Point3DToString(Direction));
  result->AddPair("Diffuse", ColorToString(Diffuse));
  result->AddPair("Ambient", ColorToString(Ambient));
  result->AddPair("Specular", ColorToString(Specular));
  for (const auto& [name, value] :
       {std::pair<const char*, float>{"Intensity", Intensity},
        {"ConstantAttenuation", ConstantAttenuation},
        {"LinearAttenuation", LinearAttenuation},
        {"QuadraticAttenuation", QuadraticAttenuation},
        {"ScatteringIntensity", ScatteringIntensity},
        {"ScatteringExposure", ScatteringExposure},
        {"ScatteringDecay", ScatteringDecay},
        {"ScatteringDensity", ScatteringDensity},
        {"SpotCutOff", SpotCutOff},
        {"SpotExponent", SpotExponent}})
    result->AddPair(name, value);
  return result;
}

void TLightDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  ReadNodeOwner(*this, AValue, false);
  const std::string type = GetJSONString(AValue, "LightType");
  LightType = type == "Directional" ? ui::TLightType::Directional
              : type == "Spot"     ? ui::TLightType::Spot
                                   : ui::TLightType::Point;
  Direction = GetJSONPoint3D(AValue, "Direction", Direction);
  Diffuse = ReadColor(AValue, "Diffuse", Diffuse);
  Ambient = ReadColor(AValue, "Ambient", Ambient);
  Specular = ReadColor(AValue, "Specular", Specular);
  Intensity = ReadSingle(AValue, "Intensity", Intensity);
  ConstantAttenuation = ReadSingle(AValue, "ConstantAttenuation", ConstantAttenuation);
  LinearAttenuation = ReadSingle(AValue, "LinearAttenuation", LinearAttenuation);
  QuadraticAttenuation = ReadSingle(AValue, "QuadraticAttenuation", QuadraticAttenuation);
  ScatteringIntensity = ReadSingle(AValue, "ScatteringIntensity", ScatteringIntensity);
  ScatteringExposure = ReadSingle(AValue, "ScatteringExposure", ScatteringExposure);
  ScatteringDecay = ReadSingle(AValue, "ScatteringDecay", ScatteringDecay);
  ScatteringDensity = ReadSingle(AValue, "ScatteringDensity", ScatteringDensity);
  SpotCutOff = ReadSingle(AValue, "SpotCutOff", SpotCutOff);
  SpotExponent = ReadSingle(AValue, "SpotExponent", SpotExponent);
}

bool TLightDef::LateResolveFromJSON(TModelDef* AModel, const TJSONObject&) {
  return LateResolveNodeOwner(*this, AModel);
}

// ---- TCameraDef ----

TCameraDef::~TCameraDef() {
  if (FListedIn)
    FListedIn->RemoveCamera(this);
}

void TCameraDef::AfterConstruction() {
  inherited::AfterConstruction();
  if (TModelDef* model = ModelOf(*this))
    model->AddCamera(this);
}

std::string TCameraDef::GetQualifiedComponentName() const {
  std::string name = ToValidComponentName(GetId());
  return name.empty() ? AddressName("Camera_", this) : name;
}

int64_t TCameraDef::GetSize() const {
  return TCustomDef::GetSize();
}

std::unique_ptr<TJSONObject> TCameraDef::ToJSON() const {
  auto result = inherited::ToJSON();
  result->AddPair("Owner", OwnerIdOf(*this));
  result->AddPair("Type", Type == TCameraType::OrthographicCamera ? "Orthographic" : "Perspective");
  result->AddPair("Target", Target);
  result->AddPair("FOV", FOV);
  result->AddPair("AspectRatio", AspectRatio);
  result->AddPair("NearPlane", NearPlane);
  result->AddPair("FarPlane", FarPlane);
  return result;
}

void TCameraDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  inherited::FromJSON(AModel, AValue);
  ReadNodeOwner(*this, AValue, true);
  const auto* type = dynamic_cast<const TJSONString*>(AValue.GetLastValue("Type"));
  Type = type && type->Value() == "Orthographic" ? TCameraType::OrthographicCamera
                                                 : TCameraType::PerspectiveCamera;
  Target = GetJSONString(AValue, "Target", Target);
  FOV = ReadSingle(AValue, "FOV", FOV);
  AspectRatio = ReadSingle(AValue, "AspectRatio", AspectRatio);
  NearPlane = ReadSingle(AValue, "NearPlane", NearPlane);
  FarPlane = ReadSingle(AValue, "FarPlane", FarPlane);
}

bool TCameraDef::LateResolveFromJSON(TModelDef* AModel, const TJSONObject&) {
  return LateResolveNodeOwner(*this, AModel);
}

// ---- TMetaDef ----

TValue TMetaDef::GetTag(const std::string& AIndex) const {
  const TValue* found = FTags.Find(AIndex);
  return found ? *found : TValue();
}

void TMetaDef::SetTag(const std::string& AIndex, const TValue& AValue) {
  switch (AValue.Kind()) {
  case TTypeKind::tkString:
  case TTypeKind::tkChar:
  case TTypeKind::tkInteger:
  case TTypeKind::tkInt64:
  case TTypeKind::tkFloat:
  case TTypeKind::tkBoolean:
    FTags.AddOrSetValue(AIndex, AValue);
    return;
  default:
    throw Exception(InvalidMetaTagType);
  }
}

std::string TMetaDef::GetTagAsString(const std::string& AIndex) const {
  return GetTag(AIndex).AsString();
}

int32_t TMetaDef::GetTagAsInt(const std::string& AIndex) const {
  return GetTag(AIndex).AsInteger();
}

double TMetaDef::GetTagAsFloat(const std::string& AIndex) const {
  return GetTag(AIndex).AsDouble();
}

bool TMetaDef::GetTagAsBool(const std::string& AIndex) const {
  return GetTag(AIndex).AsBoolean();
}

void TMetaDef::SetTagAsString(const std::string& AIndex, const std::string& AValue) {
  SetTag(AIndex, TValue::From(AValue));
}

void TMetaDef::SetTagAsInt(const std::string& AIndex, int64_t AValue) {
  SetTag(AIndex, TValue::From(AValue));
}

void TMetaDef::SetTagAsFloat(const std::string& AIndex, double AValue) {
  SetTag(AIndex, TValue::From(AValue));
}

void TMetaDef::SetTagAsBool(const std::string& AIndex, bool AValue) {
  SetTag(AIndex, TValue::From(AValue));
}

std::unique_ptr<TJSONObject> TMetaDef::ToJSON() const {
  auto result = inherited::ToJSON();
  for (const auto& tag : FTags) {
    const TValue& value = tag.Value;
    switch (value.Kind()) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkInt64:
      // The whole 64-bit value: a 32-bit conversion would change large counts.
      result->AddPair(tag.Key, value.AsInt64());
      break;
    case TTypeKind::tkString:
    case TTypeKind::tkChar:
      result->AddPair(tag.Key, value.AsString());
      break;
    case TTypeKind::tkBoolean:
      result->AddPair(tag.Key, value.AsBoolean());
      break;
    case TTypeKind::tkFloat:
      result->AddPair(tag.Key, value.AsDouble());
      break;
    default:
      break;
    }
  }
  return result;
}

namespace {

std::string TagName(std::string_view AName) {
  std::string name = Trim(AName);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = Trim(std::string_view(name).substr(1, name.size() - 2));
  return name;
}

TValue NumberTag(std::string_view AText) {
  std::string text = TagName(AText);
  // An exponent marks a float too: our writer makes "1E20" for large and tiny values.
  if (text.find_first_of(".,eE") != std::string::npos)
    return TValue::From(StrToFloat(text));
  int64_t value = 0;
  if (!TryStrToInt64(text, value))
    value = 0;
  return TValue::From(value);
}

} // namespace

void TMetaDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  FTags.Clear();
  inherited::FromJSON(AModel, AValue);
  for (const TJSONPair* pair : AValue) {
    const std::string name = TagName(pair->Name());
    const TJSONValue* value = pair->JsonValue();
    if (const auto* number = dynamic_cast<const TJSONNumber*>(value))
      FTags.AddOrSetValue(name, NumberTag(number->Value()));
    else if (const auto* boolean = dynamic_cast<const TJSONBool*>(value))
      FTags.AddOrSetValue(name, TValue::From(boolean->AsBoolean()));
    else if (const auto* text = dynamic_cast<const TJSONString*>(value))
      FTags.AddOrSetValue(name, TValue::From(std::string(text->Value())));
  }
}

} // namespace vantrel
