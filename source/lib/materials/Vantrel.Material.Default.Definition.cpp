// The definition half of the default material source and its parts: loading a source from a
// material definition and storing it into one, the channel table, the bitmap entry's and the
// behaviour's definition operations, and the parallax and physically based extensions.

#include <algorithm>
#include <array>
#include <cmath>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.PBR.h"
#include "materials/Vantrel.Material.POM.h"
#include "rtl/log.h"
#include "utils/Vantrel.Utils.Components.h"

namespace vantrel {

namespace {

// Indexed by the texture channel's ordinal.
constexpr std::array<std::string_view, 18> ChannelEntryNames{
    "Texture0",           "AmbientTexture",    "EmissiveTexture",         "SpecularMapTexture",
    "NormalMapTexture",   "OpacityTexture",    "ReflectionTexture",       "RefractionTexture",
    "EnvironmentTexture", "LightMap",          "DisplacementMapTexture",  "MetalnessTexture",
    "RoughnessTexture",   "AmbientOcclusionTexture", "HeightMap",        "POMTexture",
    "DepthTexture",       "UserTexture"};

// The eleven map switches of the "Maps" extension, in their order.
struct TSwitchRow {
  const char* Name;
  bool (TVantrelDefaultMaterialSource::*Get)() const;
  void (TVantrelDefaultMaterialSource::*Set)(bool);
};
using S = TVantrelDefaultMaterialSource;
const std::array<TSwitchRow, 11> MapSwitches{{
    {"UseNormalMapping", &S::GetUseNormalMapping, &S::SetUseNormalMapping},
    {"UseSpecularMapping", &S::GetUseSpecularMapping, &S::SetUseSpecularMapping},
    {"UseEmissiveTexture", &S::GetUseEmissiveTexture, &S::SetUseEmissiveTexture},
    {"UseDepthMap", &S::GetUseDepthMap, &S::SetUseDepthMap},
    {"UseDisplacementMapping", &S::GetUseDisplacementMapping, &S::SetUseDisplacementMapping},
    {"UsePBRAlbedoTexture", &S::GetUsePBRAlbedoTexture, &S::SetUsePBRAlbedoTexture},
    {"UsePBRMetallicTexture", &S::GetUsePBRMetallicTexture, &S::SetUsePBRMetallicTexture},
    {"UsePBRRoughnessTexture", &S::GetUsePBRRoughnessTexture, &S::SetUsePBRRoughnessTexture},
    {"UsePBRAOTexture", &S::GetUsePBRAOTexture, &S::SetUsePBRAOTexture},
    {"UsePBREmissiveTexture", &S::GetUsePBREmissiveTexture, &S::SetUsePBREmissiveTexture},
    {"UsePBRSpecularTexture", &S::GetUsePBRSpecularTexture, &S::SetUsePBRSpecularTexture},
}};
// The six physically based switches are the last six rows.
constexpr size_t FirstPBRSwitch = 5;

// The value of AName in the extension, or nullptr.
const TValue* PropertyOf(const TExtensionDef* AExtension, std::string_view AName) {
  return AExtension ? AExtension->GetProperties().Find(std::string(AName)) : nullptr;
}

TExtensionDef* TakeOrAddExtension(TMaterialDef& ADef, const std::string& AId) {
  TExtensionDef* extension = ADef.GetExtension(AId);
  return extension ? extension : ADef.AddExtension(AId);
}

void Put(TExtensionDef* AExtension, const std::string& AName, TValue AValue) {
  AExtension->GetProperties().AddOrSetValue(AName, std::move(AValue));
}

// Whether the source has an entry of that name whose bitmap holds an image; no raise without one.
bool BitmapPresent(const TVantrelDefaultMaterialSource& ASource, const std::string& AName) {
  const TBitmap* bitmap = ASource.FindBitmapByName(AName);
  return bitmap && !bitmap->IsEmpty();
}

void FillLines(TStringList& ALines, const TShaderDef& AShader) {
  for (const std::string& line : AShader.GetSourceCode())
    ALines.Add(line);
}

std::vector<std::string> LinesOf(const TStrings& AStrings) {
  std::vector<std::string> lines;
  for (int i = 0; i < AStrings.GetCount(); ++i)
    lines.push_back(AStrings.GetStrings(i));
  return lines;
}

// SpecPow below 1 is taken as it is; above, it is rounded up and limited to 1 .. 100.
float ShininessOf(float ASpecPow) {
  if (ASpecPow < 1)
    return ASpecPow;
  return std::clamp(std::ceil(ASpecPow), 1.0f, 100.0f);
}

} // namespace

std::string_view ChannelEntryName(int AChannelOrdinal) {
  if (AChannelOrdinal < 0 || AChannelOrdinal >= int(ChannelEntryNames.size()))
    return {};
  return ChannelEntryNames[size_t(AChannelOrdinal)];
}

int ChannelOfEntryName(std::string_view AName) {
  for (size_t i = 0; i < ChannelEntryNames.size(); ++i)
    if (ChannelEntryNames[i] == AName)
      return int(i);
  return int(TColorChannelDef::UserSpecific);
}

// ---- the bitmap entry and the behaviour ----------------------------------------------------------

void TVantrelBitmapPoolEntry::StoreToDefinition(TCustomDef* ADef) const {
  auto* texture = dynamic_cast<TTextureDef*>(ADef);
  if (!texture)
    throw EInvalidCast(rtl::messages::InvalidCast);
  texture->Tiling = GetTiling();
  texture->IsDynamic = GetIsDynamic();
  texture->IgnoreInArray = GetIgnoreInArray();
  texture->Destination = GetShaderKind();
  TSamplerDef& sampler = texture->GetSampler();
  sampler.TextureKind = GetTextureKind();
  sampler.InternalFormat = GetInternalFormat();
  sampler.Format = GetFormat();
  sampler.DataType = GetDataType();
  sampler.WrapS = GetWrapS();
  sampler.WrapT = GetWrapT();
  sampler.WrapR = GetWrapR();
  sampler.MinFilter = GetMinFilter();
  sampler.MagFilter = GetMagFilter();
  sampler.BorderColor = TAlphaColorF::Create(GetBorderColor());
}

void TVantrelBitmapPoolEntry::LoadFromDefinition(const TCustomDef*) {}

void TVantrelMaterialBehaviour::LoadFromDefinition(const TCustomDef* ADef) {
  const auto* def = dynamic_cast<const TMaterialBehaviourDef*>(ADef);
  if (!def)
    throw EInvalidCast(rtl::messages::InvalidCast);
  FUniqueID = def->GetId();
}

void TVantrelMaterialBehaviour::StoreToDefinition(TCustomDef* ADef) const {
  auto* def = dynamic_cast<TMaterialBehaviourDef*>(ADef);
  if (!def)
    throw EInvalidCast(rtl::messages::InvalidCast);
  def->SetId(FUniqueID);
}

// ---- the default source ------------------------------------------------------------------------

TFmxObject* TVantrelDefaultMaterialSource::FindModel() const {
  return FindComponentUpwards(this, ModelClassName);
}

TVantrelDefaultMaterialSource* TVantrelDefaultMaterialSource::CreateFromDefinition(TComponent* AOwner,
                                                                                  const TCustomDef* ADef) {
  if (!dynamic_cast<const TMaterialDef*>(ADef))
    return nullptr;
  // Owned by AOwner when there is one; the local owner hands it over otherwise.
  TOwned<TVantrelDefaultMaterialSource> source(New<TVantrelDefaultMaterialSource>(AOwner));
  source->LoadFromDefinition(ADef);
  return source.release();
}

void TVantrelDefaultMaterialSource::LoadFromDefinition(const TCustomDef* ADef) {
  const auto* def = dynamic_cast<const TMaterialDef*>(ADef);
  if (!def)
    return;
  SetTagObject(const_cast<TMaterialDef*>(def));
  // One text rebuild and one pool rebuild for the whole load.
  DefaultMaterial()->Batched([&] { DoLoadFromDefinition(*def); });
}

void TVantrelDefaultMaterialSource::DoLoadFromDefinition(const TMaterialDef& ADef) {
  const TMaterialDef* def = &ADef;
  {
    SetShadingModel(def->ShadingModel);
    SetUseTexturing(def->UseTexturing);
    SetUseTexture0(def->UseTexture0);
    SetUseLighting(def->UseLighting);
    SetUseVertexColor(def->UseVertexColor);
    SetUseSpecular(def->UseSpecular);
    SetUseColorClipping(def->UseClipping);
    SetClippingColorF(def->Clipping);
    SetUseAlphaCutoff(def->UseAlphaCutoff);
    SetAlphaCutoff(def->AlphaCutoff);
    SetParallaxLevels(def->ParallaxLevels);
    SetNormalIntensity(def->NormalIntensity);
    SetTonemapping(def->Tonemapping);
    SetTonemappingExposure(def->TonemappingExposure);
    SetDiffuseF(def->Diffuse);
    SetAmbientF(def->Ambient);
    SetEmissiveF(def->Emissive);
    SetSpecularF(def->Specular);
    SetShininess(ShininessOf(def->SpecPow));
    SetBrightness(def->Brightness);
    SetReflectionPower(def->ReflectionPower);
    SetReflections(def->UseReflection);
    SetRefractionPower(def->RefractionPower);
    SetRefractions(def->UseRefraction);
    SetMetallicBias(def->Metallic);
    SetRoughnessBias(def->Roughness);
    SetAOBias(def->AO);
    LoadShaders(*def);
    LoadTextures(*def);
    LoadBehaviours(*def);
    LoadExtensions(*def);
  }
}

void TVantrelDefaultMaterialSource::LoadShaders(const TMaterialDef& ADef) {
  if (!ADef.GetShaders())
    return;
  for (const TShaderDef* shader : *ADef.GetShaders()) {
    // Only the two stages the source has user functions for.
    TStringList lines;
    FillLines(lines, *shader);
    if (shader->Kind == TContextShaderKindEx::VertexShader)
      SetVertexShader(&lines);
    else if (shader->Kind == TContextShaderKindEx::PixelShader)
      SetSurfaceShader(&lines);
  }
}

void TVantrelDefaultMaterialSource::LoadTextures(const TMaterialDef& ADef) {
  const rtl::TObjectList<TTextureDef>* textures = ADef.GetTextures();
  if (!textures || textures->IsEmpty())
    return;
  SetUseTexturing(true);
  SetUseDisplacementMapping(false);
  SetUseNormalMapping(false);
  SetUseSpecularMapping(false);
  SetUseEmissiveTexture(false);
  SetUseDepthMap(false);
  SetUseParallaxOcclusion(false);
  for (size_t i = FirstPBRSwitch; i < MapSwitches.size(); ++i)
    (this->*MapSwitches[i].Set)(false);
  const bool pbr = ADef.ShadingModel == TVantrelShadingModel::smPBR;
  for (const TTextureDef* texture : *textures) {
    if (!texture)
      continue;
    const int channel = int(texture->Channel);
    // Every user-specific texture of one definition shares one name made from the list's count.
    const std::string name = channel < int(TColorChannelDef::UserSpecific)
                                 ? std::string(ChannelEntryName(channel))
                                 : Format("Texture%d", {textures->Count()});
    const TSamplerDef& sampler = texture->GetSampler();
    TVantrelBitmapPoolEntry* entry =
        AddBitmap(name, sampler.InternalFormat, sampler.Format, sampler.DataType, texture->IsDynamic,
                  texture->IgnoreInArray, true, texture->Destination, sampler.TextureKind);
    switch (texture->Channel) {
    case TColorChannelDef::Diffuse:
      if (pbr)
        SetUsePBRAlbedoTexture(true);
      break;
    case TColorChannelDef::Emissive:
      pbr ? SetUsePBREmissiveTexture(true) : SetUseEmissiveTexture(true);
      break;
    case TColorChannelDef::Specular:
      if (pbr) {
        SetUsePBRSpecularTexture(true);
      } else {
        SetUseSpecular(true);
        SetUseSpecularMapping(true);
      }
      break;
    case TColorChannelDef::Normal:
      SetUseNormalMapping(true);
      break;
    case TColorChannelDef::Environment:
      SetEnvironment(true);
      break;
    case TColorChannelDef::Displacement:
      SetUseDisplacementMapping(true);
      break;
    case TColorChannelDef::Metalness:
      SetUsePBRMetallicTexture(true);
      break;
    case TColorChannelDef::Roughness:
      SetUsePBRRoughnessTexture(true);
      break;
    case TColorChannelDef::AO:
      SetUsePBRAOTexture(true);
      break;
    case TColorChannelDef::POM:
      SetUseParallaxOcclusion(true);
      break;
    case TColorChannelDef::Depth:
      SetUseDepthMap(true);
      break;
    default:
      break;
    }
    if (entry)
      entry->LoadFromDefinition(texture);
  }
  UpdateDefaultBitmaps();
}

void TVantrelDefaultMaterialSource::LoadBehaviours(const TMaterialDef& ADef) {
  const rtl::TObjectList<TBehaviourRefDef>* references = ADef.GetBehaviourRefs();
  TFmxObject* model = references ? FindModel() : nullptr;
  if (!model)
    return;
  for (const TBehaviourRefDef* reference : *references) {
    if (!reference)
      continue;
    if (!reference->GetReference())
      Log::d("failed to find material behaviour reference \"%s\" (\"%s\") on loading material from definition",
             reference->GetId(), reference->GetDisplayName());
    const std::string& id = reference->GetId();
    TComponent* found = FindComponentDeepSearchByFilter(model, [&](TComponent* AComponent) {
      const auto* behaviour = dynamic_cast<const TVantrelMaterialBehaviour*>(AComponent);
      return behaviour && behaviour->GetDef() && behaviour->GetDef()->GetId() == id;
    });
    if (found)
      AttachMaterialBehaviour(static_cast<TVantrelMaterialBehaviour*>(found));
  }
}

void TVantrelDefaultMaterialSource::LoadExtensions(const TMaterialDef& ADef) {
  if (const TExtensionDef* shading = ADef.GetExtension("Shading")) {
    if (const TValue* value = PropertyOf(shading, "ShadingIntensity"))
      SetShadingIntensity(value->AsSingle());
    if (const TValue* value = PropertyOf(shading, "Shadows"))
      SetShadows(value->AsBoolean());
    if (const TValue* value = PropertyOf(shading, "ShadowMethod")) {
      const int64_t method = value->AsOrdinal();
      if (method < 0 || method > int64_t(TVantrelShadowMethod::VarianceShadowMapping))
        throw ERangeError(rtl::messages::RangeError);
      SetShadowMethod(TVantrelShadowMethod(method));
    }
  }
  if (const TExtensionDef* maps = ADef.GetExtension("Maps"))
    for (const TSwitchRow& row : MapSwitches)
      if (const TValue* value = PropertyOf(maps, row.Name))
        (this->*row.Set)(value->AsBoolean());
  if (const TExtensionDef* displacement = ADef.GetExtension("Displacement")) {
    if (const TValue* value = PropertyOf(displacement, "UseDisplacementMapping"))
      SetUseDisplacementMapping(value->AsBoolean());
    if (const TValue* value = PropertyOf(displacement, "Displacement"))
      SetDisplacement(value->AsType<TVector3D>());
  }
}

void TVantrelDefaultMaterialSource::StoreToDefinition(TCustomDef* ADef) {
  if (auto* def = dynamic_cast<TMaterialDef*>(ADef))
    DoStoreToDefinition(*def);
}

void TVantrelDefaultMaterialSource::DoStoreToDefinition(TMaterialDef& ADef) {
  TMaterialDef* def = &ADef;
  def->TypeName = ClassType().QualifiedName();
  def->ShadingModel = GetShadingModel();
  def->UseTexturing = GetUseTexturing();
  def->UseTexture0 = GetUseTexture0();
  def->UseLighting = GetUseLighting();
  def->UseVertexColor = GetUseVertexColor();
  def->UseSpecular = GetUseSpecular();
  def->UseClipping = GetUseColorClipping();
  def->Clipping = GetClippingColorF();
  def->UseAlphaCutoff = GetUseAlphaCutoff();
  def->AlphaCutoff = GetAlphaCutoff();
  def->ParallaxLevels = GetParallaxLevels();
  def->NormalIntensity = GetNormalIntensity();
  def->Tonemapping = GetTonemapping();
  def->TonemappingExposure = GetTonemappingExposure();
  def->Diffuse = GetDiffuseF();
  def->Ambient = GetAmbientF();
  def->Emissive = GetEmissiveF();
  def->Specular = GetSpecularF();
  def->SpecPow = GetShininess();
  def->Brightness = GetBrightness();
  def->ReflectionPower = GetReflectionPower();
  def->UseReflection = GetReflections();
  def->RefractionPower = GetRefractionPower();
  def->UseRefraction = GetRefractions();
  def->Metallic = GetMetallicBias();
  def->Roughness = GetRoughnessBias();
  def->AO = GetAOBias();
  StoreShader(*def, TContextShaderKindEx::VertexShader, "VertexShader", *GetVertexShader());
  StoreShader(*def, TContextShaderKindEx::PixelShader, "PixelShader", *GetSurfaceShader());
  StoreTextures(*def);
  if (const TVantrelMaterialBehaviourCollection* behaviours = GetBehaviours())
    for (int i = 0; i < behaviours->Count(); ++i) {
      const auto* item = static_cast<const TVantrelMaterialBehaviourItem*>(behaviours->Items(i));
      if (item->GetBehaviour())
        def->AddMaterialBehaviourRef(item->GetDisplayName(), item->GetBehaviour()->GetDef());
    }
  TExtensionDef* shading = TakeOrAddExtension(*def, "Shading");
  Put(shading, "ShadingIntensity", TValue::From(GetShadingIntensity()));
  Put(shading, "Shadows", TValue::From(GetShadows()));
  Put(shading, "ShadowMethod", TValue::From(int32_t(GetShadowMethod())));
  TExtensionDef* maps = TakeOrAddExtension(*def, "Maps");
  for (const TSwitchRow& row : MapSwitches)
    Put(maps, row.Name, TValue::From((this->*row.Get)()));
  TExtensionDef* displacement = TakeOrAddExtension(*def, "Displacement");
  Put(displacement, "UseDisplacementMapping", TValue::From(GetUseDisplacementMapping()));
  Put(displacement, "Displacement", TValue::From(GetDisplacement()));
  // Read without raising: most sources have no displacement entry.
  Put(displacement, "DisplacementMap", TValue::From(BitmapPresent(*this, "DisplacementMapTexture")));
}

void TVantrelDefaultMaterialSource::StoreShader(TMaterialDef& ADef, TContextShaderKindEx AKind, const char* AId,
                                                const TStrings& ALines) {
  if (ALines.GetCount() == 0)
    return;
  if (TShaderDef* shader = ADef.GetShader(AKind)) {
    shader->SetSourceCode(LinesOf(ALines));
    return;
  }
  TShaderDef* shader = ADef.AddShader(AId, AKind, "", TShaderLanguage::GLSL);
  shader->SetSourceCode(LinesOf(ALines));
}

void TVantrelDefaultMaterialSource::StoreTextures(TMaterialDef& ADef) {
  ADef.ClearTextures();
  const TVantrelBitmapPool* pool = GetBitmaps();
  if (!pool)
    return;
  for (int i = 0; i < pool->Count(); ++i) {
    const auto* entry = static_cast<const TVantrelBitmapPoolEntry*>(pool->Items(i));
    const auto channel = TColorChannelDef(ChannelOfEntryName(entry->GetName()));
    // The asset owns what it is given, and the entry keeps its own bitmap: hand over a copy.
    rtl::TOwned<TBitmap> copy(TVantrelTextureBitmap::Create());
    copy->Assign(entry->GetBitmap());
    TOwned<TVantrelTextureAsset> asset(TVantrelTextureAsset::Create(nullptr));
    asset->ImportFromCachedBitmap(entry->GetName(), std::move(copy));
    asset->SetIsStandalone(true);
    TTextureDef* texture = ADef.AddTexture(channel, asset.release(), true);
    entry->StoreToDefinition(texture);
  }
}

// ---- the parallax and physically based extensions ------------------------------------------------

void TVantrelPOMMaterialSource::DoLoadFromDefinition(const TMaterialDef& ADef) {
  inherited::DoLoadFromDefinition(ADef);
  const TExtensionDef* extension = ADef.GetExtension("ParallaxOcclusionMapping");
  if (const TValue* value = PropertyOf(extension, "ParallaxLevels"))
    SetParallaxLevels(value->AsInteger());
  if (const TValue* value = PropertyOf(extension, "UseParallaxOcclusion"))
    SetUseParallaxOcclusion(value->AsBoolean());
}

void TVantrelPOMMaterialSource::DoStoreToDefinition(TMaterialDef& ADef) {
  inherited::DoStoreToDefinition(ADef);
  TExtensionDef* extension = TakeOrAddExtension(ADef, "ParallaxOcclusionMapping");
  Put(extension, "UseParallaxOcclusion", TValue::From(GetUseParallaxOcclusion()));
  Put(extension, "ParallaxLevels", TValue::From(GetParallaxLevels()));
  if (FindBitmapByName("POMTexture"))
    Put(extension, "ParallaxOcclusionMap", TValue::From(BitmapPresent(*this, "POMTexture")));
}

void TVantrelPBRMaterialSource::DoLoadFromDefinition(const TMaterialDef& ADef) {
  inherited::DoLoadFromDefinition(ADef);
  const TExtensionDef* extension = ADef.GetExtension("PBR");
  for (size_t i = FirstPBRSwitch; i < MapSwitches.size(); ++i)
    if (const TValue* value = PropertyOf(extension, MapSwitches[i].Name))
      (this->*MapSwitches[i].Set)(value->AsBoolean());
}

void TVantrelPBRMaterialSource::DoStoreToDefinition(TMaterialDef& ADef) {
  inherited::DoStoreToDefinition(ADef);
  TExtensionDef* extension = TakeOrAddExtension(ADef, "PBR");
  for (size_t i = FirstPBRSwitch; i < MapSwitches.size(); ++i)
    Put(extension, MapSwitches[i].Name, TValue::From((this->*MapSwitches[i].Get)()));
  // Each only when its entry exists, read without raising.
  const std::array<std::pair<const char*, const char*>, 6> bitmaps{{{"NormalMap", "NormalMapTexture"},
                                                                    {"SpecularMap", "SpecularMapTexture"},
                                                                    {"MetalnessTexture", "MetalnessTexture"},
                                                                    {"RoughnessTexture", "RoughnessTexture"},
                                                                    {"AmbientOcclusionTexture", "AmbientOcclusionTexture"},
                                                                    {"EmissiveTexture", "EmissiveTexture"}}};
  for (const auto& [key, entry] : bitmaps)
    if (FindBitmapByName(entry))
      Put(extension, key, TValue::From(BitmapPresent(*this, entry)));
}

} // namespace vantrel
