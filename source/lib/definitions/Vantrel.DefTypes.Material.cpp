// Material, behaviour, reference and extension definitions and their JSON form.

#include <algorithm>
#include <array>
#include <cmath>

#include "definitions/Vantrel.DefTypes.Utils.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "rtl/stringlist.h"
#include "rtl/sysutils.h"

namespace vantrel {

VANTREL_DEFINE_DEF_CLASS(TExtensionDef)
VANTREL_DEFINE_DEF_CLASS(TBehaviourDef)
VANTREL_DEFINE_DEF_CLASS(TMaterialBehaviourDef)
VANTREL_DEFINE_DEF_CLASS(TBehaviourRefDef)
VANTREL_DEFINE_DEF_CLASS(TMaterialDef)

namespace {

constexpr const char* AddLayeredError = "cannot add submaterial to none layered material - set \"<TMaterialDef>.Kind\" "
                                        "at first to \"TMaterialDefKind.Layered\"";
constexpr const char* GetLayeredError = "cannot get submaterial of none layered material - set \"<TMaterialDef>.Kind\" "
                                        "at first to \"TMaterialDefKind.Layered\"";

TJSONObject& AddColor(TJSONObject& AJSON, std::string_view AName, const TAlphaColorF& AColor) {
  return AJSON.AddPair(AName, Vector3DToString({AColor.R, AColor.G, AColor.B, AColor.A}, true));
}

TAlphaColorF ReadColor(const TJSONObject& AJSON, std::string_view AName, const TAlphaColorF& ADefault) {
  const TVector3D value =
      TCustomDef::GetJSONVector3D(AJSON, AName, TVector3D{ADefault.R, ADefault.G, ADefault.B, ADefault.A});
  return TAlphaColorF::Create(value.X, value.Y, value.Z, value.W);
}

// A number beyond the Single range is refused: it would be written back as no JSON number.
float ReadSingle(const TJSONObject& AJSON, std::string_view AName, float ADefault) {
  const float value = static_cast<float>(TCustomDef::GetJSONFloat(AJSON, AName, ADefault));
  if (!std::isfinite(value))
    throw ERangeError(Format("%s out of range in material definition", {AName}));
  return value;
}

// Enumerations are stored as ordinals in one byte; a number outside them is refused rather than
// cast into a value no enumerator has.
template <class E> E ReadOrdinal(const TJSONObject& AJSON, std::string_view AName, E ADefault, E AMax) {
  const int32_t value = TCustomDef::GetJSONInteger(AJSON, AName, int32_t(ADefault));
  if (value < 0 || value > int32_t(AMax))
    throw ERangeError(Format("%s %d out of range in material definition", {AName, value}));
  return E(value);
}

// The member as an array (nullptr when absent); a member of another kind raises EInvalidCast.
const TJSONArray* ListMember(const TJSONObject& AJSON, std::string_view AName) {
  const TJSONValue* value = AJSON.GetValue(AName);
  if (!value)
    return nullptr;
  const auto* array = dynamic_cast<const TJSONArray*>(value);
  if (!array)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return array;
}

const TJSONObject& ElementObject(const TJSONValue* AElement) {
  const auto* object = dynamic_cast<const TJSONObject*>(AElement);
  if (!object)
    throw EInvalidCast(rtl::messages::InvalidCast);
  return *object;
}

template <class TListT> void AddListJSON(TJSONObject& AJSON, std::string_view AName, const TListT* AList) {
  if (!AList)
    return;
  auto array = TJSONArray::Create();
  for (const auto* item : *AList)
    array->Add(item->ToJSON());
  AJSON.AddPair(AName, std::move(array));
}

template <class TListT> int64_t ListSize(const TListT* AList) {
  if (!AList)
    return 0;
  int64_t size = int64_t(sizeof(*AList));
  for (const auto* item : *AList)
    size += item->GetSize();
  return size;
}

template <class T> T* MakeOnFirstUse(std::unique_ptr<T>& AList) {
  if (!AList)
    AList = std::make_unique<T>();
  return AList.get();
}

// Removes (and frees) every item for which APredicate holds.
template <class T, class TPred> void RemoveWhere(rtl::TObjectList<T>* AList, TPred APredicate) {
  if (!AList)
    return;
  for (int i = AList->Count() - 1; i >= 0; --i)
    if (APredicate((*AList)[i]))
      AList->Delete(i);
}

template <class T, class TPred> T* FindFirst(const rtl::TObjectList<T>* AList, TPred APredicate) {
  if (!AList)
    return nullptr;
  for (T* item : *AList)
    if (APredicate(item))
      return item;
  return nullptr;
}

template <class T, class TPred> T* FindLast(const rtl::TObjectList<T>* AList, TPred APredicate) {
  if (!AList)
    return nullptr;
  for (int i = AList->Count() - 1; i >= 0; --i)
    if (APredicate((*AList)[i]))
      return (*AList)[i];
  return nullptr;
}

} // namespace

// ---- TExtensionDef -------------------------------------------------------------------------------

TExtensionDef::TExtensionDef() : FProperties(std::make_unique<TProperties>()) {}
TExtensionDef::~TExtensionDef() = default;

int64_t TExtensionDef::GetSize() const {
  return TCustomDef::GetSize() + FProperties->GetSize();
}

std::unique_ptr<TJSONObject> TExtensionDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  FProperties->ToJSON(*result);
  return result;
}

void TExtensionDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  FProperties->FromJSON(AValue);
}

TExtensionDef* TExtensionDefList::FindExtensionById(std::string_view AId) const {
  return FindFirst<TExtensionDef>(this, [&](const TExtensionDef* AItem) { return AItem->GetId() == AId; });
}

// ---- TBehaviourDef -------------------------------------------------------------------------------

TBehaviourDef::TBehaviourDef() : FProperties(std::make_unique<TProperties>()) {
  SetId(TGUID::NewGuid().ToString());
}

TBehaviourDef::~TBehaviourDef() = default;

int64_t TBehaviourDef::GetSize() const {
  return TCustomDef::GetSize() + StringByteSize(FPrefabClass) + FProperties->GetSize();
}

std::unique_ptr<TJSONObject> TBehaviourDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  result->AddPair("Type", ClassName());
  result->AddPair("PrefabClass", FPrefabClass);
  FProperties->ToJSON(*result);
  return result;
}

void TBehaviourDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  FPrefabClass = GetJSONString(AValue, "PrefabClass");
  FProperties->FromJSON(AValue);
}

// ---- References ----------------------------------------------------------------------------------

std::unique_ptr<TJSONObject> TBehaviourRefDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  result->AddPair("Name", FDisplayName);
  if (GetReference())
    result->AddPair("Reference", GetReference()->GetId());
  return result;
}

void TBehaviourRefDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  FDisplayName = GetJSONString(AValue, "Name");
  SetReference(AModel ? AModel->FindBehaviourById(GetId()) : nullptr);
}

bool TBehaviourRefDef::LateResolveFromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  if (!GetReference() && AModel)
    SetReference(AModel->FindBehaviourById(GetId()));
  return TCustomDef::LateResolveFromJSON(AModel, AValue);
}

std::unique_ptr<TJSONObject> TMaterialRefDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  if (GetReference())
    result->AddPair("Reference", GetReference()->GetId());
  return result;
}

bool TMaterialRefDef::LateResolveFromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  if (!GetReference() && AModel)
    SetReference(AModel->GetMaterial(GetId()));
  return TCustomDef::LateResolveFromJSON(AModel, AValue);
}

// ---- TMaterialDef: life and lists ----------------------------------------------------------------

TMaterialDef::TMaterialDef(TModelDef* AModel, std::string AId) : FModel(AModel) {
  SetId(std::move(AId));
  RegisterInModel();
}

TMaterialDef::~TMaterialDef() {
  // The table drops an entry before it frees the material, so only an entry that still maps here
  // is left when somebody else frees it.
  if (FModel)
    FModel->UnregisterMaterial(this);
  // Textures first: they look at the material's model while they let go of their assets.
  FTextures.reset();
  FShaders.reset();
  FBehaviourRefs.reset();
  FExtensions.reset();
  FMaterials.reset();
}

void TMaterialDef::RegisterInModel() {
  if (FModel && !GetId().empty())
    FModel->RegisterMaterial(GetId(), this);
}

TTextureDef* TMaterialDef::AddTexture(TTextureDef* ATexDef) {
  MakeOnFirstUse(FTextures)->Add(ATexDef);
  return ATexDef;
}

TTextureDef* TMaterialDef::AddTexture(TColorChannelDef AChannel, TVantrelTextureAsset* AAsset, bool AIsAssetOwner) {
  auto texture = MakeOwned<TTextureDef>(this, AChannel, AAsset, AIsAssetOwner);
  return AddTexture(texture.release());
}

TTextureDef* TMaterialDef::GetTexture(TColorChannelDef AChannel) const {
  return FindFirst<TTextureDef>(FTextures.get(), [&](const TTextureDef* AItem) { return AItem->Channel == AChannel; });
}

bool TMaterialDef::TextureChannelExists(TColorChannelDef AChannel) const {
  return GetTexture(AChannel) != nullptr;
}

void TMaterialDef::ClearTextures() {
  if (FTextures)
    FTextures->Clear();
}

TShaderDef* TMaterialDef::AddShader(std::string AId, TContextShaderKindEx AKind, std::string_view ASourceCode,
                                    TShaderLanguage ALanguage) {
  auto shader = MakeOwned<TShaderDef>();
  shader->SetId(std::move(AId));
  shader->Kind = AKind;
  shader->Language = ALanguage;
  TStringList lines;
  lines.SetText(std::string(ASourceCode));
  std::vector<std::string> source;
  for (int i = 0; i < lines.GetCount(); ++i)
    source.push_back(lines.GetStrings(i));
  shader->SetSourceCode(source);
  MakeOnFirstUse(FShaders)->Add(shader.get());
  return shader.release();
}

TShaderDef* TMaterialDef::GetShader(std::string_view AId) const {
  return FindFirst<TShaderDef>(FShaders.get(), [&](const TShaderDef* AItem) { return AItem->GetId() == AId; });
}

TShaderDef* TMaterialDef::GetShader(TContextShaderKindEx AKind) const {
  return FindFirst<TShaderDef>(FShaders.get(), [&](const TShaderDef* AItem) { return AItem->Kind == AKind; });
}

void TMaterialDef::RemoveShader(std::string_view AId) {
  RemoveWhere(FShaders.get(), [&](const TShaderDef* AItem) { return AItem->GetId() == AId; });
}

void TMaterialDef::RemoveShaders(TContextShaderKindEx AKind) {
  RemoveWhere(FShaders.get(), [&](const TShaderDef* AItem) { return AItem->Kind == AKind; });
}

void TMaterialDef::ClearShaders() {
  if (FShaders)
    FShaders->Clear();
}

TBehaviourRefDef* TMaterialDef::AddMaterialBehaviourRef(std::string ADisplayName, TBehaviourDef* ABehaviour) {
  if (ADisplayName.empty() || !ABehaviour)
    return nullptr;
  auto reference = MakeOwned<TBehaviourRefDef>();
  reference->SetId(ABehaviour->GetId());
  reference->SetDisplayName(std::move(ADisplayName));
  reference->SetReference(ABehaviour);
  MakeOnFirstUse(FBehaviourRefs)->Add(reference.get());
  return reference.release();
}

TBehaviourRefDef* TMaterialDef::GetMaterialBehaviourRef(std::string_view AUniqueID) const {
  return FindLast<TBehaviourRefDef>(FBehaviourRefs.get(),
                                    [&](const TBehaviourRefDef* AItem) { return AItem->GetId() == AUniqueID; });
}

TBehaviourRefDef* TMaterialDef::GetMaterialBehaviourRef(const TBehaviourDef* ABehaviour) const {
  return FindLast<TBehaviourRefDef>(FBehaviourRefs.get(),
                                    [&](const TBehaviourRefDef* AItem) { return AItem->GetReference() == ABehaviour; });
}

TBehaviourRefDef* TMaterialDef::GetMaterialBehaviourRefByDisplayName(std::string_view ADisplayName) const {
  return FindLast<TBehaviourRefDef>(
      FBehaviourRefs.get(), [&](const TBehaviourRefDef* AItem) { return AItem->GetDisplayName() == ADisplayName; });
}

void TMaterialDef::RemoveMaterialBehaviourRef(std::string_view AId) {
  RemoveWhere(FBehaviourRefs.get(), [&](const TBehaviourRefDef* AItem) { return AItem->GetId() == AId; });
}

void TMaterialDef::RemoveMaterialBehaviourRef(const TBehaviourDef* ABehaviour) {
  RemoveWhere(FBehaviourRefs.get(), [&](const TBehaviourRefDef* AItem) { return AItem->GetReference() == ABehaviour; });
}

void TMaterialDef::ClearMaterialBehaviourRefs() {
  if (FBehaviourRefs)
    FBehaviourRefs->Clear();
}

TExtensionDef* TMaterialDef::AddExtension(std::string AId) {
  auto extension = MakeOwned<TExtensionDef>();
  extension->SetId(std::move(AId));
  MakeOnFirstUse(FExtensions)->Add(extension.get());
  return extension.release();
}

TExtensionDef* TMaterialDef::GetExtension(std::string_view AId) const {
  return FindLast<TExtensionDef>(FExtensions.get(), [&](const TExtensionDef* AItem) { return AItem->GetId() == AId; });
}

void TMaterialDef::RemoveExtension(std::string_view AId) {
  RemoveWhere<TExtensionDef>(FExtensions.get(), [&](const TExtensionDef* AItem) { return AItem->GetId() == AId; });
}

void TMaterialDef::ClearExtensions() {
  if (FExtensions)
    FExtensions->Clear();
}

void TMaterialDef::CheckLayered(bool AAdding) const {
  if (Kind != TMaterialDefKind::mkLayered)
    throw Exception(AAdding ? AddLayeredError : GetLayeredError);
}

void TMaterialDef::AddLayeredMaterial(TOwned<TMaterialDef> AMaterial) {
  CheckLayered(true);
  if (!AMaterial)
    return;
  TMaterialDef* material = AMaterial.get();
  MakeOnFirstUse(FMaterials)->Add(material);
  AMaterial.release();
  material->FParentMaterial = this;
  if (material->FModel)
    material->FModel->DisownMaterial(material);
}

TMaterialDef* TMaterialDef::GetLayeredMaterial(std::string_view AId) const {
  CheckLayered(false);
  return FindFirst<TMaterialDef>(FMaterials.get(), [&](const TMaterialDef* AItem) { return AItem->GetId() == AId; });
}

TMaterialDef* TMaterialDef::GetLayeredMaterialByIndex(int AIdx) const {
  CheckLayered(false);
  if (!FMaterials || AIdx < 0 || AIdx >= FMaterials->Count())
    return nullptr;
  return (*FMaterials)[AIdx];
}

void TMaterialDef::ClearLayeredMaterials() {
  FMaterials.reset();
}

int64_t TMaterialDef::GetSize() const {
  return TCustomDef::GetSize() + StringByteSize(TypeName) + ListSize(FTextures.get()) + ListSize(FShaders.get()) +
         ListSize(FBehaviourRefs.get()) + ListSize<rtl::TObjectList<TExtensionDef>>(FExtensions.get()) +
         ListSize(FMaterials.get());
}

// ---- TMaterialDef: JSON --------------------------------------------------------------------------

std::unique_ptr<TJSONObject> TMaterialDef::ToJSON() const {
  auto result = TCustomDef::ToJSON();
  TJSONObject& json = *result;
  json.AddPair("Type", TypeName);
  json.AddPair("Model", FModel ? FModel->GetId() : std::string());
  json.AddPair("Kind", int32_t(Kind));
  if (Kind == TMaterialDefKind::mkCustom) {
    json.AddPair("ShadingModel", int32_t(ShadingModel));
    json.AddPair("UseTexturing", UseTexturing);
    json.AddPair("UseTexture0", UseTexture0);
    json.AddPair("UseLighting", UseLighting);
    json.AddPair("UseVertexColor", UseVertexColor);
    json.AddPair("UseSpecular", UseSpecular);
  }
  json.AddPair("UseOpacity", UseOpacity);
  json.AddPair("Opacity", Opacity);
  json.AddPair("DoubleSided", DoubleSided);
  AddColor(json, "Diffuse", Diffuse);
  AddColor(json, "Ambient", Ambient);
  AddColor(json, "Emissive", Emissive);
  AddColor(json, "Specular", Specular);
  json.AddPair("SpecPow", SpecPow);
  json.AddPair("Brightness", Brightness);
  AddColor(json, "ReflectionColor", ReflectionColor);
  json.AddPair("ReflectionPower", ReflectionPower);
  json.AddPair("UseReflection", UseReflection);
  AddColor(json, "RefractionColor", RefractionColor);
  json.AddPair("RefractionPower", RefractionPower);
  json.AddPair("UseRefraction", UseRefraction);
  json.AddPair("Metallic", Metallic);
  json.AddPair("Roughness", Roughness);
  json.AddPair("AO", AO);
  json.AddPair("UseClipping", UseClipping);
  AddColor(json, "Clipping", Clipping);
  json.AddPair("UseAlphaCutoff", UseAlphaCutoff);
  json.AddPair("AlphaCutoff", AlphaCutoff);
  json.AddPair("ParallaxOcclusionMapping", ParallaxOcclusionMapping);
  json.AddPair("ParallaxLevels", ParallaxLevels);
  json.AddPair("NormalIntensity", NormalIntensity);
  json.AddPair("Tonemapping", int32_t(Tonemapping));
  json.AddPair("TonemappingExposure", TonemappingExposure);
  AddListJSON(json, "Textures", FTextures.get());
  AddListJSON(json, "Shaders", FShaders.get());
  AddListJSON(json, "BehaviourRefs", FBehaviourRefs.get());
  AddListJSON<rtl::TObjectList<TExtensionDef>>(json, "Extensions", FExtensions.get());
  AddListJSON(json, "Materials", FMaterials.get());
  return result;
}

void TMaterialDef::FromJSON(TModelDef* AModel, const TJSONObject& AValue) {
  TCustomDef::FromJSON(AModel, AValue);
  const auto* typeName = dynamic_cast<const TJSONString*>(AValue.GetLastValue("Type"));
  TypeName = typeName ? std::string(typeName->Value()) : std::string();
  RegisterInModel();

  Kind = ReadOrdinal(AValue, "Kind", TMaterialDefKind::mkDefault, TMaterialDefKind::mkPBR);
  if (Kind == TMaterialDefKind::mkCustom) {
    ShadingModel = ReadOrdinal(AValue, "ShadingModel", TVantrelShadingModel::smLambert, TVantrelShadingModel::smPBR);
    UseTexturing = GetJSONBoolean(AValue, "UseTexturing", false);
    UseTexture0 = GetJSONBoolean(AValue, "UseTexture0", false);
    UseLighting = GetJSONBoolean(AValue, "UseLighting", false);
    UseVertexColor = GetJSONBoolean(AValue, "UseVertexColor", false);
    UseSpecular = GetJSONBoolean(AValue, "UseSpecular", false);
  }
  UseOpacity = GetJSONBoolean(AValue, "UseOpacity", false);
  Opacity = ReadSingle(AValue, "Opacity", 1);
  DoubleSided = GetJSONBoolean(AValue, "DoubleSided", false);

  Diffuse = ReadColor(AValue, "Diffuse", Diffuse);
  Ambient = ReadColor(AValue, "Ambient", Ambient);
  Emissive = ReadColor(AValue, "Emissive", Emissive);
  Specular = ReadColor(AValue, "Specular", Specular);
  SpecPow = ReadSingle(AValue, "SpecPow", SpecPow);
  Brightness = ReadSingle(AValue, "Brightness", Brightness);
  ReflectionColor = ReadColor(AValue, "ReflectionColor", ReflectionColor);
  ReflectionPower = ReadSingle(AValue, "ReflectionPower", ReflectionPower);
  UseReflection = GetJSONBoolean(AValue, "UseReflection", false);
  RefractionColor = ReadColor(AValue, "RefractionColor", RefractionColor);
  RefractionPower = ReadSingle(AValue, "RefractionPower", RefractionPower);
  UseRefraction = GetJSONBoolean(AValue, "UseRefraction", false);
  Metallic = ReadSingle(AValue, "Metallic", Metallic);
  Roughness = ReadSingle(AValue, "Roughness", Roughness);
  AO = ReadSingle(AValue, "AO", AO);
  Clipping = ReadColor(AValue, "Clipping", Clipping);

  // Files without the switch enable clipping by the plane's fourth number.
  if (HasJSONValue(AValue, "UseClipping"))
    UseClipping = GetJSONBoolean(AValue, "UseClipping", false);
  else
    UseClipping = Clipping.A > 0;

  AlphaCutoff = ReadSingle(AValue, "AlphaCutoff", 0);
  UseAlphaCutoff = GetJSONBoolean(AValue, "UseAlphaCutoff", false);
  ParallaxOcclusionMapping = GetJSONBoolean(AValue, "ParallaxOcclusionMapping", false);
  ParallaxLevels = GetJSONInteger(AValue, "ParallaxLevels", 16);
  NormalIntensity = ReadSingle(AValue, "NormalIntensity", 0);
  Tonemapping = ReadOrdinal(AValue, "Tonemapping", TVantrelTonemapping::tmNone, TVantrelTonemapping::tmUncharted2);
  TonemappingExposure = ReadSingle(AValue, "TonemappingExposure", 0);
  ReadLists(AModel, AValue);
}

void TMaterialDef::ReadLists(TModelDef* AModel, const TJSONObject& AValue) {
  if (const TJSONArray* textures = ListMember(AValue, "Textures")) {
    MakeOnFirstUse(FTextures);
    for (const TJSONValue* element : *textures) {
      const TJSONObject& object = ElementObject(element);
      auto texture = MakeOwned<TTextureDef>(this, TColorChannelDef::Diffuse, nullptr, false);
      texture->FromJSON(AModel, object);
      AddTexture(texture.release());
    }
  }
  if (const TJSONArray* shaders = ListMember(AValue, "Shaders")) {
    MakeOnFirstUse(FShaders);
    for (const TJSONValue* element : *shaders) {
      const TJSONObject& object = ElementObject(element);
      auto shader = MakeOwned<TShaderDef>();
      shader->FromJSON(AModel, object);
      FShaders->Add(shader.release());
    }
  }
  if (const TJSONArray* references = ListMember(AValue, "BehaviourRefs")) {
    MakeOnFirstUse(FBehaviourRefs);
    for (const TJSONValue* element : *references) {
      const TJSONObject& object = ElementObject(element);
      auto reference = MakeOwned<TBehaviourRefDef>();
      reference->FromJSON(AModel, object);
      FBehaviourRefs->Add(reference.release());
    }
  }
  if (const TJSONArray* extensions = ListMember(AValue, "Extensions")) {
    MakeOnFirstUse(FExtensions);
    for (const TJSONValue* element : *extensions) {
      const TJSONObject& object = ElementObject(element);
      auto extension = MakeOwned<TExtensionDef>();
      extension->FromJSON(AModel, object);
      FExtensions->Add(extension.release());
    }
  }
  if (const TJSONArray* materials = ListMember(AValue, "Materials")) {
    for (const TJSONValue* element : *materials) {
      const TJSONObject& object = ElementObject(element);
      // Held here until the parent accepts it: a refused sub-material is freed and leaves the
      // table again.
      auto material = MakeOwned<TMaterialDef>(FModel);
      material->FromJSON(AModel, object);
      AddLayeredMaterial(std::move(material));
    }
    // An empty array makes the list of a layered material, which writes it back; other kinds
    // have none.
    if (Kind == TMaterialDefKind::mkLayered)
      MakeOnFirstUse(FMaterials);
  }
}

namespace detail {

void RegisterMaterialDefClasses(bool ARegister) {
  const std::array<TCustomDefClass*, 5> classes{&TExtensionDef::StaticClass(), &TBehaviourDef::StaticClass(),
                                                &TMaterialBehaviourDef::StaticClass(),
                                                &TBehaviourRefDef::StaticClass(), &TMaterialDef::StaticClass()};
  for (TCustomDefClass* defClass : classes)
    ARegister ? RegisterClass(*defClass) : UnRegisterClass(*defClass);
  // The bitmap cache is streamed by the components that keep one.
  const std::array<TClass*, 2> cacheClasses{&TVantrelBitmapCacheEntry::StaticClass(),
                                           &TVantrelBitmapCache::StaticClass()};
  for (TClass* cacheClass : cacheClasses)
    ARegister ? RegisterClass(*cacheClass) : UnRegisterClass(*cacheClass);
}

} // namespace detail

} // namespace vantrel
