// The default material source: part of the unit Vantrel.Material.Default.

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.PassLink.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "ui/messages.h"
#include "ui/texture_bitmap.h"

namespace vantrel {

namespace {

int MaterialDefaultInitCount = 0;

// One standard entry: its name, the allowance flag that keeps it and its settings.
struct TStandardEntry {
  const char* Name;
  bool (TVantrelDefaultMaterial::*Allowed)() const;
  TPixelFormatEx Format;
  bool Dynamic;
  bool IgnoreInArray;
  bool Protect;
  TContextShaderKind Stage;
  TVantrelTextureKind Kind;
};

// Written out rather than formatted: the entries are refreshed on every change of what the
// material allows.
constexpr std::array<const char*, 8> ShadowMapNames = {"ShadowMapTexture0", "ShadowMapTexture1", "ShadowMapTexture2",
                                                       "ShadowMapTexture3", "ShadowMapTexture4", "ShadowMapTexture5",
                                                       "ShadowMapTexture6", "ShadowMapTexture7"};

constexpr auto PS = TContextShaderKind::PixelShader;
constexpr auto T2D = TVantrelTextureKind::Texture2D;

const std::array<TStandardEntry, 7> StandardEntries = {{
    {"Texture0", &TVantrelDefaultMaterial::AllowTexture0, TPixelFormatEx::BGRA, false, true, false, PS, T2D},
    {"NormalMapTexture", &TVantrelDefaultMaterial::AllowNormalMapTexture, TPixelFormatEx::RGBA, false, true, true,
     PS, T2D},
    {"DisplacementMapTexture", &TVantrelDefaultMaterial::AllowDisplacementMapTexture, TPixelFormatEx::RGBA, false,
     true, true, TContextShaderKind::VertexShader, T2D},
    {"DepthTexture", &TVantrelDefaultMaterial::AllowDepthTexture, TPixelFormatEx::BGRA, true, false, true, PS, T2D},
    {"ReflectionTexture", &TVantrelDefaultMaterial::AllowReflectionTexture, TPixelFormatEx::RGBA, true, false, true,
     PS, T2D},
    {"RefractionTexture", &TVantrelDefaultMaterial::AllowRefractionTexture, TPixelFormatEx::RGBA, true, false, true,
     PS, T2D},
    {"EnvironmentTexture", &TVantrelDefaultMaterial::AllowEnvironmentTexture, TPixelFormatEx::RGBA, true, false,
     true, PS, TVantrelTextureKind::CubeMap},
}};

TVantrelUserFunctionNode* UserFunction(TVantrelNodeBuilder* ABuilder, bool AVertex) {
  if (!ABuilder || !ABuilder->Globals() || !ABuilder->Globals()->Functions())
    return nullptr;
  TVantrelCompositeNode* functions = ABuilder->Globals()->Functions();
  if (AVertex)
    return functions->FindNode<TVantrelVertexShaderFuncNode>("", true);
  return functions->FindNode<TVantrelSurfaceShaderFuncNode>("", true);
}

} // namespace

TVantrelDefaultMaterialSource::TVantrelDefaultMaterialSource(TComponent* AOwner) : TMaterialSource(AOwner) {}

TVantrelDefaultMaterialSource::~TVantrelDefaultMaterialSource() = default;

void TVantrelDefaultMaterialSource::AfterConstruction() {
  // The material is made inside a build, so its own set-up and the standard entries below make
  // its texts once, when the build ends (here, or at the builder's EndBuild).
  BeginBuild();
  inherited::AfterConstruction();
  FInputs = std::make_unique<TVantrelPassInputs>();
  CreateBitmapPool();
  if (!ComponentState().Contains(TComponentStateItem::csLoading))
    DoUpdateDefaultBitmaps();
  FContextResetOvrId = TMessageManager::DefaultManager().SubscribeToMessage<TContextResetMessage>(
      [this](TObject* ASender, TMessageBase* AMessage) { DoOnContextReset(ASender, AMessage); });
  EndBuild();
}

void TVantrelDefaultMaterialSource::EndBuild() {
  if (FBuilds == 0 || --FBuilds > 0)
    return;
  if (TVantrelDefaultMaterial* material = DefaultMaterial())
    material->CloseRebuildBracket();
}

void TVantrelDefaultMaterialSource::BeforeDestruction() {
  if (FContextResetOvrId != 0)
    TMessageManager::DefaultManager().Unsubscribe<TContextResetMessage>(std::exchange(FContextResetOvrId, 0));
  inherited::BeforeDestruction();
  if (FInputs)
    for (const auto& pair : *FInputs)
      if (pair.Value)
        pair.Value->RemoveFreeNotification(this);
  FBitmaps.reset();
  FInputs.reset();
}

void TVantrelDefaultMaterialSource::Loaded() {
  inherited::Loaded();
  DefaultMaterial()->Batched([&] { DoUpdateDefaultBitmaps(); });
}

TOwned<TMaterial> TVantrelDefaultMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelDefaultMaterial>(this);
}

TVantrelDefaultMaterial* TVantrelDefaultMaterialSource::DefaultMaterial() const {
  return static_cast<TVantrelDefaultMaterial*>(GetMaterial());
}

void TVantrelDefaultMaterialSource::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation != TOperation::opRemove || ComponentState().Contains(TComponentStateItem::csDestroying))
    return;
  if (TVantrelMaterialBehaviourCollection* behaviours = GetBehaviours())
    behaviours->Notification(AComponent, AOperation);
  if (!FInputs || !AComponent)
    return;
  // Every link to the removed pass is cleared, whatever its key; the keys stay.
  const bool depth = GetDepthPass() == AComponent;
  std::vector<std::string> cleared;
  for (const auto& pair : *FInputs)
    if (pair.Value == AComponent)
      cleared.push_back(pair.Key);
  for (const std::string& key : cleared)
    FInputs->AddOrSetValue(key, nullptr);
  if (depth)
    DefaultMaterial()->SetDepthMapping(false);
}

void TVantrelDefaultMaterialSource::DoOnContextReset(TObject*, const TMessageBase*) {
  DoOnBitmapPoolUpdate(this);
}

// ---- colours ----

TAlphaColor TVantrelDefaultMaterialSource::ToColor(const TAlphaColorF& AValue) const {
  auto channel = [](float AChannel) {
    return static_cast<uint32_t>(std::clamp<int64_t>(Round(static_cast<double>(AChannel) * 255.0), 0, 255));
  };
  return (channel(AValue.A) << 24) | (channel(AValue.R) << 16) | (channel(AValue.G) << 8) | channel(AValue.B);
}

TAlphaColor TVantrelDefaultMaterialSource::GetDiffuse() const { return ToColor(GetDiffuseF()); }
void TVantrelDefaultMaterialSource::SetDiffuse(TAlphaColor AValue) { SetDiffuseF(TAlphaColorF::Create(AValue)); }
TAlphaColor TVantrelDefaultMaterialSource::GetEmissive() const { return ToColor(GetEmissiveF()); }
void TVantrelDefaultMaterialSource::SetEmissive(TAlphaColor AValue) { SetEmissiveF(TAlphaColorF::Create(AValue)); }
TAlphaColor TVantrelDefaultMaterialSource::GetAmbient() const { return ToColor(GetAmbientF()); }
void TVantrelDefaultMaterialSource::SetAmbient(TAlphaColor AValue) { SetAmbientF(TAlphaColorF::Create(AValue)); }
TAlphaColor TVantrelDefaultMaterialSource::GetSpecular() const { return ToColor(GetSpecularF()); }
void TVantrelDefaultMaterialSource::SetSpecular(TAlphaColor AValue) { SetSpecularF(TAlphaColorF::Create(AValue)); }
TAlphaColor TVantrelDefaultMaterialSource::GetClippingColor() const { return ToColor(GetClippingColorF()); }
void TVantrelDefaultMaterialSource::SetClippingColor(TAlphaColor AValue) {
  SetClippingColorF(TAlphaColorF::Create(AValue));
}

// ---- switches that keep the standard entries ----

void TVantrelDefaultMaterialSource::SetUseTexture0(bool AValue) {
  DefaultMaterial()->Batched([&] {
    DefaultMaterial()->SetUseTexture0(AValue);
    UpdateDefaultBitmaps();
  });
}

void TVantrelDefaultMaterialSource::SetShadows(bool AValue) {
  DefaultMaterial()->Batched([&] {
    DefaultMaterial()->SetShadows(AValue);
    UpdateDefaultBitmaps();
  });
}

void TVantrelDefaultMaterialSource::SetShadowMethod(TVantrelShadowMethod AValue) {
  DefaultMaterial()->Batched([&] {
    DefaultMaterial()->SetShadowMethod(AValue);
    UpdateDefaultBitmaps();
  });
}

// ---- pass links ----

TVantrelPassLink* TVantrelDefaultMaterialSource::GetInput(const std::string& AKey) const {
  if (!FInputs)
    return nullptr;
  TVantrelPassLink* pass = nullptr;
  FInputs->TryGetValue(AKey, pass);
  return pass;
}

void TVantrelDefaultMaterialSource::SetInput(const std::string& AKey, TVantrelPassLink* AValue) {
  if (!FInputs)
    return;
  TVantrelPassLink* old = GetInput(AKey);
  FInputs->AddOrSetValue(AKey, AValue);
  // A pass of any owner tells the source of its end, so no link outlives its pass.
  if (AValue)
    AValue->FreeNotification(this);
  if (old && old != AValue)
    ReleasePassNotification(old);
}

void TVantrelDefaultMaterialSource::ReleasePassNotification(TVantrelPassLink* APass) {
  for (const auto& pair : *FInputs)
    if (pair.Value == APass)
      return;
  APass->RemoveFreeNotification(this);
}

void TVantrelDefaultMaterialSource::SetDepthPass(TVantrelPassLink* AValue) {
  SetInput("DepthTexture", AValue);
  DefaultMaterial()->SetDepthMapping(AValue != nullptr);
}

TVantrelPassLink* TVantrelDefaultMaterialSource::GetShadowMapPass(int AIndex) const {
  return GetInput(Format("ShadowMapTexture%d", {AIndex}));
}

void TVantrelDefaultMaterialSource::SetShadowMapPass(int AIndex, TVantrelPassLink* AValue) {
  SetInput(Format("ShadowMapTexture%d", {AIndex}), AValue);
}

// ---- user functions ----

TStrings* TVantrelDefaultMaterialSource::GetVertexShader() const {
  TVantrelUserFunctionNode* node = UserFunction(DefaultMaterial()->GetVertexShaderNode(), true);
  return node ? &node->SourceCode() : nullptr;
}

void TVantrelDefaultMaterialSource::SetVertexShader(TStrings* AValue) {
  if (TVantrelUserFunctionNode* node = UserFunction(DefaultMaterial()->GetVertexShaderNode(), true)) {
    if (AValue)
      node->SourceCode().Assign(*AValue);
    else
      node->SourceCode().Clear();
    DefaultMaterial()->Changed();
  }
}

TStrings* TVantrelDefaultMaterialSource::GetSurfaceShader() const {
  TVantrelUserFunctionNode* node = UserFunction(DefaultMaterial()->GetFragmentShaderNode(), false);
  return node ? &node->SourceCode() : nullptr;
}

void TVantrelDefaultMaterialSource::SetSurfaceShader(TStrings* AValue) {
  if (TVantrelUserFunctionNode* node = UserFunction(DefaultMaterial()->GetFragmentShaderNode(), false)) {
    if (AValue)
      node->SourceCode().Assign(*AValue);
    else
      node->SourceCode().Clear();
    DefaultMaterial()->Changed();
  }
}

// ---- behaviours ----

TVantrelMaterialBehaviourCollection* TVantrelDefaultMaterialSource::GetBehaviours() const {
  if (ComponentState().Contains(TComponentStateItem::csDestroying))
    return nullptr;
  return DefaultMaterial()->GetBehaviours();
}

void TVantrelDefaultMaterialSource::SetBehaviours(TVantrelMaterialBehaviourCollection* AValue) {
  if (!ComponentState().Contains(TComponentStateItem::csDestroying))
    DefaultMaterial()->SetBehaviours(AValue);
}

int TVantrelDefaultMaterialSource::IndexOfMaterialBehaviour(const TVantrelMaterialBehaviour* ABehaviour) const {
  TVantrelMaterialBehaviourCollection* behaviours = GetBehaviours();
  if (!behaviours)
    return -1;
  for (int i = 0; i < behaviours->Count(); ++i)
    if (behaviours->GetItem(i)->GetBehaviour() == ABehaviour)
      return i;
  return -1;
}

bool TVantrelDefaultMaterialSource::MaterialBehaviourAttached(const TVantrelMaterialBehaviour* ABehaviour) const {
  return IndexOfMaterialBehaviour(ABehaviour) >= 0;
}

void TVantrelDefaultMaterialSource::AttachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour) {
  TVantrelMaterialBehaviourCollection* behaviours = GetBehaviours();
  if (!behaviours || MaterialBehaviourAttached(ABehaviour))
    return;
  auto* item = static_cast<TVantrelMaterialBehaviourItem*>(behaviours->Add());
  item->SetDisplayName(Format("%s_%s", {Name(), ABehaviour ? ABehaviour->Name() : std::string()}));
  item->SetBehaviour(ABehaviour);
}

void TVantrelDefaultMaterialSource::DetachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour) {
  const int index = IndexOfMaterialBehaviour(ABehaviour);
  if (index < 0)
    return;
  TVantrelMaterialBehaviourCollection* behaviours = GetBehaviours();
  // Clearing first removes the behaviour's nodes, fires OnDetached and rebuilds the program; the
  // item's block leaves the program before it is freed.
  behaviours->GetItem(index)->SetBehaviour(nullptr);
  behaviours->Delete(index);
}

void TVantrelDefaultMaterialSource::ClearMaterialsBehaviours() {
  if (TVantrelMaterialBehaviourCollection* behaviours = GetBehaviours())
    behaviours->Clear();
}

// ---- bitmaps ----

TBitmap* TVantrelDefaultMaterialSource::NamedBitmap(const std::string& AName, std::string_view AMessage) const {
  if (TBitmap* bitmap = FindBitmapByName(AName))
    return bitmap;
  if (ComponentState().Contains(TComponentStateItem::csDesigning))
    return nullptr;
  throw Exception(std::string(AMessage));
}

TBitmap* TVantrelDefaultMaterialSource::GetTexture() const { return NamedBitmap("Texture0", STexture0NotActivated); }

void TVantrelDefaultMaterialSource::SetTexture(TBitmap* AValue) {
  DefaultMaterial()->Batched([&] {
    if (TBitmap* bitmap = GetTexture()) {
      bitmap->Assign(AValue);
      return;
    }
    if (!AValue)
      return;
    DefaultMaterial()->UpdateTextureAllowance();
    UpdateBitmapEntries();
    if (TBitmap* bitmap = FindBitmapByName("Texture0"))
      bitmap->Assign(AValue);
  });
}

TBitmap* TVantrelDefaultMaterialSource::GetNormalMap() const {
  return NamedBitmap("NormalMapTexture", SNormalMapNotActivated);
}

void TVantrelDefaultMaterialSource::SetNormalMap(TBitmap* AValue) {
  SetNamedBitmap("NormalMapTexture", SNormalMapNotActivated, AValue);
}

TBitmap* TVantrelDefaultMaterialSource::GetDisplacementMap() const {
  return NamedBitmap("DisplacementMapTexture", SDisplacementMapNotActivated);
}

void TVantrelDefaultMaterialSource::SetDisplacementMap(TBitmap* AValue) {
  SetNamedBitmap("DisplacementMapTexture", SDisplacementMapNotActivated, AValue);
}

TVector3D TVantrelDefaultMaterialSource::GetDisplacement() const {
  return DefaultMaterial()->GetShaderData().Material[0].Displacement;
}

void TVantrelDefaultMaterialSource::SetDisplacement(const TVector3D& AValue) {
  DefaultMaterial()->ShaderDataForPresets().Material[0].Displacement = AValue;
}

float TVantrelDefaultMaterialSource::GetDisplacementComponent(int AIndex) const {
  const TVector3D value = GetDisplacement();
  const float components[4] = {value.X, value.Y, value.Z, value.W};
  return components[std::clamp(AIndex, 0, 3)];
}

void TVantrelDefaultMaterialSource::SetDisplacementComponent(int AIndex, float AValue) {
  TVector3D value = GetDisplacement();
  float* components[4] = {&value.X, &value.Y, &value.Z, &value.W};
  *components[std::clamp(AIndex, 0, 3)] = AValue;
  SetDisplacement(value);
}

void TVantrelDefaultMaterialSource::SetNamedBitmap(const std::string& AName, std::string_view AMessage,
                                                   TBitmap* ABitmap) {
  if (TBitmap* bitmap = NamedBitmap(AName, AMessage))
    bitmap->Assign(ABitmap);
}

TPointF TVantrelDefaultMaterialSource::GetTextureTiling(int AIndex) const {
  if (!FBitmaps)
    return {0, 0};
  auto* entry = dynamic_cast<TVantrelBitmapPoolEntry*>(FBitmaps->Items(AIndex));
  if (!entry) {
    if (!ComponentState().Contains(TComponentStateItem::csDesigning))
      throw Exception(std::string(SInvalidTextureIndex));
    return {0, 0};
  }
  return entry->GetTiling();
}

void TVantrelDefaultMaterialSource::SetTextureTiling(int AIndex, const TPointF& AValue) {
  if (!FBitmaps)
    return;
  DefaultMaterial()->Batched([&] {
    auto* entry = dynamic_cast<TVantrelBitmapPoolEntry*>(FBitmaps->Items(AIndex));
    if (!entry) {
      if (!ComponentState().Contains(TComponentStateItem::csDesigning))
        throw Exception(std::string(SInvalidTextureIndex));
      return;
    }
    entry->SetTiling(AValue);
    DoOnBitmapPoolUpdate(this);
  });
}

void TVantrelDefaultMaterialSource::CreateBitmapPool() {
  if (!FBitmaps)
    FBitmaps = MakeOwned<TVantrelBitmapPool>(this);
  FBitmaps->SetOnUpdate(TNotifyEvent(this, &TVantrelDefaultMaterialSource::DoOnBitmapPoolUpdate));
}

void TVantrelDefaultMaterialSource::SetBitmaps(TVantrelBitmapPool* AValue) {
  DefaultMaterial()->Batched([&] {
    CreateBitmapPool();
    FBitmaps->Assign(AValue);
  });
}

TVantrelBitmapPoolEntry* TVantrelDefaultMaterialSource::AddBitmap(std::string_view AName, TPixelFormatEx AComps,
                                                                  TPixelFormatEx AFormat,
                                                                  TVantrelTextureDataType ADataType, bool AIsDynamic,
                                                                  bool AIgnoreInArray, bool AProtectFormatSettings,
                                                                  TContextShaderKind AShaderKind,
                                                                  TVantrelTextureKind ATextureKind) {
  TVantrelBitmapPoolEntry* result = nullptr;
  DefaultMaterial()->Batched([&] {
    CreateBitmapPool();
    result = FBitmaps->AddBitmap(AName, AComps, AFormat, ADataType, AIsDynamic, AIgnoreInArray,
                                 AProtectFormatSettings, AShaderKind, ATextureKind, DefaultMaterial()->GetTextures());
  });
  return result;
}

void TVantrelDefaultMaterialSource::RemoveBitmap(std::string_view AName) {
  if (FBitmaps)
    FBitmaps->RemoveBitmap(AName, DefaultMaterial()->GetTextures());
}

TVantrelBitmapPoolEntry* TVantrelDefaultMaterialSource::FindBitmapEntryByName(std::string_view AName) const {
  return FBitmaps ? FBitmaps->FindEntryByName(AName) : nullptr;
}

TBitmap* TVantrelDefaultMaterialSource::FindBitmapByName(std::string_view AName) const {
  TVantrelBitmapPoolEntry* entry = FindBitmapEntryByName(AName);
  return entry ? entry->GetBitmap() : nullptr;
}

void TVantrelDefaultMaterialSource::DoOnBitmapPoolUpdate(TObject*) {
  CreateBitmapPool();
  DefaultMaterial()->BitmapPoolChanged(FBitmaps.get());
}

void TVantrelDefaultMaterialSource::UpdateDefaultBitmaps() {
  DoUpdateDefaultBitmaps();
}

void TVantrelDefaultMaterialSource::DoUpdateDefaultBitmaps() {
  TVantrelDefaultMaterial* material = DefaultMaterial();
  material->UpdateTextureAllowance();
  UpdateBitmapEntries();
}

void TVantrelDefaultMaterialSource::UpdateBitmapEntries() {
  TVantrelDefaultMaterial* material = DefaultMaterial();
  if (!material)
    return;
  material->Batched([&] {
    for (const TStandardEntry& row : StandardEntries) {
      if ((material->*row.Allowed)())
        AddBitmap(row.Name, TPixelFormatEx::RGBA8, row.Format, TVantrelTextureDataType::dtUnsignedByte, row.Dynamic,
                  row.IgnoreInArray, row.Protect, row.Stage, row.Kind);
      else
        RemoveBitmap(row.Name);
    }
    for (const char* name : ShadowMapNames) {
      if (material->AllowShadowMapTexture())
        AddBitmap(name, TPixelFormatEx::RGBA8, TPixelFormatEx::RGBA, TVantrelTextureDataType::dtUnsignedByte, true,
                  false, true, PS, T2D);
      else
        RemoveBitmap(name);
    }
    DoOnBitmapPoolUpdate(this);
  });
}

// ---- streaming ----

void TVantrelDefaultMaterialSource::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelDefaultMaterialSource;
  AList.Add("ShadingModel", &T::GetShadingModel, &T::SetShadingModel).WithDefault(TVantrelShadingModel::smBlinnPhong)
      .Stored(&T::IsShadingModelStored);
  AList.Add("ShadingIntensity", &T::GetShadingIntensity, &T::SetShadingIntensity).WithDefault(1.0f);
  AList.Add("Brightness", &T::GetBrightness, &T::SetBrightness).WithDefault(1.0f);
  AList.Add("MeasureTime", &T::GetMeasureTime, &T::SetMeasureTime).WithDefault(false);
  AList.Add("Color", &T::GetDiffuse, &T::SetDiffuse)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0xFFFFFFFF), TypeInfoAlphaColor()));
  AList.Add("Diffuse", &T::GetDiffuse, &T::SetDiffuse)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0xFFFFFFFF), TypeInfoAlphaColor()));
  AList.Add("Emissive", &T::GetEmissive, &T::SetEmissive)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0xFF000000), TypeInfoAlphaColor()));
  AList.Add("Ambient", &T::GetAmbient, &T::SetAmbient)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0xFF808080), TypeInfoAlphaColor()))
      .Stored(&T::IsAmbientStored);
  AList.Add("Specular", &T::GetSpecular, &T::SetSpecular)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0xFFBFBFBF), TypeInfoAlphaColor()));
  AList.Add("Shininess", &T::GetShininess, &T::SetShininess).WithDefault(32.0f).Stored(&T::IsShininessStored);
  AList.Add("ClippingColor", &T::GetClippingColor, &T::SetClippingColor)
      .AsType(TypeInfoAlphaColor())
      .WithDefault(TValue::From(TAlphaColor(0), TypeInfoAlphaColor()));
  AList.Add("NormalIntensity", &T::GetNormalIntensity, &T::SetNormalIntensity)
      .WithDefault(1.0f)
      .Stored(&T::IsNormalIntensityStored);
  AList.Add("InverseNormalMapping", &T::GetInverseNormalMapping, &T::SetInverseNormalMapping).WithDefault(false);
  AList.Add("ParallaxLevels", &T::GetParallaxLevels, &T::SetParallaxLevels).WithDefault(int32_t(16));
  AList.Add("MetallicBias", &T::GetMetallicBias, &T::SetMetallicBias).WithDefault(0.25f);
  AList.Add("RoughnessBias", &T::GetRoughnessBias, &T::SetRoughnessBias).WithDefault(0.75f);
  AList.Add("AOBias", &T::GetAOBias, &T::SetAOBias).WithDefault(1.0f);
  AList.Add("NearLimit", &T::GetNearLimit, &T::SetNearLimit).WithDefault(1.0f);
  AList.Add("FarLimit", &T::GetFarLimit, &T::SetFarLimit).WithDefault(1000.0f);
  AList.Add("Shadows", &T::GetShadows, &T::SetShadows).WithDefault(false);
  AList.Add("ShadowMethod", &T::GetShadowMethod, &T::SetShadowMethod)
      .WithDefault(TVantrelShadowMethod::ShadowMapping);
  AList.Add("MainShadowMapPass", &T::GetMainShadowMapPass, &T::SetMainShadowMapPass).AsReference();
  AList.Add("DepthPass", &T::GetDepthPass, &T::SetDepthPass).AsReference();
  AList.Add("Reflections", &T::GetReflections, &T::SetReflections).WithDefault(false);
  AList.Add("ReflectionPass", &T::GetReflectionPass, &T::SetReflectionPass).AsReference();
  AList.Add("ReflectionPower", &T::GetReflectionPower, &T::SetReflectionPower).WithDefault(0.0f);
  AList.Add("Refractions", &T::GetRefractions, &T::SetRefractions).WithDefault(false);
  AList.Add("RefractionPass", &T::GetRefractionPass, &T::SetRefractionPass).AsReference();
  AList.Add("RefractionPower", &T::GetRefractionPower, &T::SetRefractionPower).WithDefault(0.0f);
  AList.Add("Environment", &T::GetEnvironment, &T::SetEnvironment).WithDefault(false);
  AList.Add("EnvironmentPass", &T::GetEnvironmentPass, &T::SetEnvironmentPass).AsReference();
  AList.Add("VertexShader", &T::GetVertexShader, &T::SetVertexShader);
  AList.Add("SurfaceShader", &T::GetSurfaceShader, &T::SetSurfaceShader);
  AList.Add("Behaviours", &T::GetBehaviours, &T::SetBehaviours);
  AList.Add("Bitmaps", &T::GetBitmaps, &T::SetBitmaps);
}

void InitializeMaterialDefault() {
  if (MaterialDefaultInitCount++ > 0)
    return;
  RegisterClass(TVantrelDefaultMaterialSource::StaticClass());
}

void FinalizeMaterialDefault() {
  if (MaterialDefaultInitCount == 0 || --MaterialDefaultInitCount > 0)
    return;
  UnRegisterClass(TVantrelDefaultMaterialSource::StaticClass());
}

} // namespace vantrel
