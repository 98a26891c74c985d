#include "materials/Vantrel.Material.Default.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <typeinfo>
#include <utility>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Default.GLSL.h"
#include "materials/Vantrel.Material.Default.TextCache.h"
#include "materials/Vantrel.Material.PassLink.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"
#include "utils/Vantrel.Utils.Dialogs.h"
#include "ui/context3d.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelDefaultMaterialRef, "Vantrel.Material.Default")
RTL_DEFINE_CLASS(TVantrelDefaultMaterial, "Vantrel.Material.Default")
RTL_DEFINE_CLASS(TVantrelDefaultMaterialSource, "Vantrel.Material.Default",
                 &TVantrelDefaultMaterialSource::RegisterProperties)

TVantrelShaderData TVantrelShaderData::Create() {
  TVantrelShaderData result{};
  result.ShadingModel = 2;
  result.ShadingIntensity = 1.0f;
  result.Brightness = 1.0f;
  result.ViewSize = {0, 0, 1.0f, 1000.0f};
  result.ClippingPlane = {0, 0, 0, 0};
  result.Material[0] = TVantrelShaderMaterial::Create();
  result.FogMode = 3;
  result.FogDensity = 0.001f;
  result.FogStart = 100.0f;
  result.FogEnd = 500.0f;
  result.FogColor = {0, 0, 0, 1};
  return result;
}

namespace {

std::array<const TClass*, PassClassRefCount> PassClasses{};
std::atomic<uint64_t> NextShaderIdentity{1};

constexpr std::array<std::string_view, 10> TonemapDefines = {
    "TONEMAP_EXPOSURE",        "TONEMAP_ACES_NARKOWICZ",       "TONEMAP_ACES_HILL",
    "TONEMAP_ACES_HILL_EXPOSURE_BOOST", "TONEMAP_REINHARD",   "TONEMAP_LUMABASED_REINHARD",
    "TONEMAP_WP_LUMABASED_REINHARD",    "TONEMAP_ROMBINDAHOUSE", "TONEMAP_FILMIC",
    "TONEMAP_UNCHARTED2"};

constexpr std::string_view ShadowMapPrefix = "ShadowMapTexture";

float Limit(float AValue, float AMin, float AMax) {
  return std::min(std::max(AValue, AMin), AMax);
}

TVector3D Corner(float AX, float AY, float AZ) {
  return {AX, AY, AZ, 1.0f};
}

// The bias matrix: clip coordinates -1 .. 1 to texture coordinates 0 .. 1, row vectors.
TMatrix3D BiasMatrix() {
  TMatrix3D result;
  result.m11 = result.m22 = result.m33 = 0.5f;
  result.m41 = result.m42 = result.m43 = 0.5f;
  result.m44 = 1.0f;
  return result;
}

// The shadow-map index of an input name: the rest after the prefix as an integer, else -1.
int ShadowMapIndex(const std::string& AName) {
  if (AName.size() < ShadowMapPrefix.size())
    return -1;
  return StrToIntDef(std::string_view(AName).substr(ShadowMapPrefix.size()), -1);
}

bool StartsWithShadowMap(const std::string& AName) {
  return AName.starts_with(ShadowMapPrefix);
}

} // namespace

const TClass* GetPassClass(TVantrelPassClassRef ARef) {
  return PassClasses[static_cast<size_t>(ARef)];
}

const TClass* SetPassClass(TVantrelPassClassRef ARef, const TClass* AClass) {
  return std::exchange(PassClasses[static_cast<size_t>(ARef)], AClass);
}

bool IsPassOfClass(const TObject* AObject, TVantrelPassClassRef ARef) {
  const TClass* reference = GetPassClass(ARef);
  return AObject && reference && AObject->ClassType().InheritsFrom(*reference);
}

// ---- TVantrelDefaultMaterial: life --------------------------------------------------------------

TVantrelDefaultMaterial::TVantrelDefaultMaterial(TVantrelDefaultMaterialSource* ASource)
    : FShaderData(TVantrelShaderData::Create()), FSource(ASource),
      FShaderIdentity(IntToHex(NextShaderIdentity++, 16)) {
  FRef = MakeOwned<TVantrelDefaultMaterialRef>(this);
  // A source that is being built closes this bracket when its build ends (see BeginBuild).
  if (ASource && ASource->Building())
    OpenRebuildBracket();
}

void TVantrelDefaultMaterial::AfterConstruction() {
  // The inherited step runs the initialisation hook of the final class.
  inherited::AfterConstruction();
  FStopWatch = TStopwatch::StartNew();
  const double now = Now();
  SetStartTime(now);
  SetRenderTime(now);
  SetLastTime(now);
  FShaderData.TimeInfo.W = 0;
  FNormalIntensity = 1.0f;
  FInverseNormalMapping = false;
  TVantrelShaderPassData& pass = FShaderData.PassData[0];
  pass.NormalIntensity = 1.0f;
  pass.ParallaxLevels = 16;
  pass.PBRMetallic = 0.25f;
  pass.PBRRoughness = 0.75f;
  pass.PBRAO = 1.0f;
  if (!FBehaviours)
    FBehaviours = MakeOwned<TVantrelMaterialBehaviourCollection>(this);
}

TVantrelDefaultMaterial::~TVantrelDefaultMaterial() {
  // The source is mid-destruction: nothing below calls back into it.
  FSource = nullptr;
  // The items' blocks come off the program before the program itself goes: a program that
  // outlived the material would otherwise keep the inline block's address.
  FBehaviours.reset();
  ForgetProgram();
  // The shaders are this material's alone (their names carry its identity).
  TShaderManager::UnregisterShader(std::exchange(FVertexShader, nullptr));
  TShaderManager::UnregisterShader(std::exchange(FPixelShader, nullptr));
  FTextures.reset();
  FVSNode.reset();
  FFSNode.reset();
  FRef.reset();
}

void TVantrelDefaultMaterial::ForgetProgram() {
  if (FVertexShader && FPixelShader)
    TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
}

void TVantrelDefaultMaterial::DoInitialize() {
  CreateTexturePool();
  if (!FBehaviours)
    FBehaviours = MakeOwned<TVantrelMaterialBehaviourCollection>(this);
  CreateVertexShaderBuilder();
  CreateFragmentShaderBuilder();
  // Inside a bracket the texts wait for its close: whatever the construction sets next would
  // only make them again.
  if (FBracket > 0 && FBehaviours->Count() == 0) {
    FTextsPending = true;
    return;
  }
  UpdateVertexShader();
  UpdateFragmentShader();
}

double TVantrelDefaultMaterial::Now() {
  // Seconds from process start, so that a single-precision slot keeps millisecond resolution.
  return static_cast<double>(TStopwatch::GetProcessTimeStamp()) / static_cast<double>(TStopwatch::Frequency);
}

void TVantrelDefaultMaterial::SetBehaviours(TVantrelMaterialBehaviourCollection* AValue) {
  FBehaviours->Assign(AValue);
}

// ---- change notification and batching --------------------------------------------------------------

void TVantrelDefaultMaterial::Changed() {
  if (FBracket > 0 && FBehaviours && FBehaviours->Count() == 0) {
    FTextsPending = true;
    return;
  }
  DoChange();
}

void TVantrelDefaultMaterial::DoChange() {
  UpdateVertexShader();
  UpdateFragmentShader();
  inherited::DoChange();
}

void TVantrelDefaultMaterial::UpdateShaderProgram() {
  FUpdateShaderProgram = true;
  Changed();
}

void TVantrelDefaultMaterial::OpenRebuildBracket() {
  ++FBracket;
}

void TVantrelDefaultMaterial::CloseRebuildBracket() {
  if (FBracket == 0 || --FBracket > 0)
    return;
  TVantrelBitmapPool* pool = std::exchange(FPoolPending, nullptr);
  const bool texts = std::exchange(FTextsPending, false);
  if (pool)
    AssignBitmapPool(pool);
  if (pool || texts)
    DoChange();
}

void TVantrelDefaultMaterial::Batched(const std::function<void()>& AOperation) {
  OpenRebuildBracket();
  try {
    AOperation();
  } catch (...) {
    try {
      CloseRebuildBracket();
    } catch (...) {
      // The operation's own error is the one the caller sees.
    }
    throw;
  }
  CloseRebuildBracket();
}

void TVantrelDefaultMaterial::BitmapPoolChanged(TVantrelBitmapPool* ABitmapPool) {
  if (!FTextures)
    return;
  if (FBracket > 0 && FBehaviours && FBehaviours->Count() == 0) {
    FPoolPending = ABitmapPool;
    return;
  }
  AssignBitmapPool(ABitmapPool);
  DoChange();
}

void TVantrelDefaultMaterial::UpdateSourceBitmaps() {
  if (FSource)
    FSource->UpdateDefaultBitmaps();
}

// ---- defines ------------------------------------------------------------------------------------

void TVantrelDefaultMaterial::AddDefineBoth(std::string_view AName) {
  if (FVSNode)
    FVSNode->AddDefine(AName);
  if (FFSNode)
    FFSNode->AddDefine(AName);
}

void TVantrelDefaultMaterial::RemoveDefineBoth(std::string_view AName) {
  if (FVSNode)
    FVSNode->RemoveDefine(AName);
  if (FFSNode)
    FFSNode->RemoveDefine(AName);
}

bool TVantrelDefaultMaterial::DefinedBoth(std::string_view AName) const {
  return FVSNode && FFSNode && FVSNode->Defined(AName) && FFSNode->Defined(AName);
}

bool TVantrelDefaultMaterial::DefinedFragment(std::string_view AName) const {
  return FFSNode && FFSNode->Defined(AName);
}

bool TVantrelDefaultMaterial::DefinedTexturing(std::string_view AName) const {
  return DefinedBoth("USE_TEXTURE") && DefinedBoth(AName);
}

void TVantrelDefaultMaterial::EnsureTexturing() {
  if (!DefinedBoth("USE_TEXTURE"))
    AddDefineBoth("USE_TEXTURE");
}

void TVantrelDefaultMaterial::SwitchDefine(bool AValue, std::string_view AName, bool AFragmentOnly) {
  if (AFragmentOnly) {
    if (FFSNode)
      AValue ? FFSNode->AddDefine(AName) : FFSNode->RemoveDefine(AName);
  } else {
    AValue ? AddDefineBoth(AName) : RemoveDefineBoth(AName);
  }
  Changed();
}

void TVantrelDefaultMaterial::SwitchTextureDefine(bool AValue, std::initializer_list<std::string_view> ADefines) {
  if (AValue)
    EnsureTexturing();
  for (std::string_view name : ADefines)
    AValue ? AddDefineBoth(name) : RemoveDefineBoth(name);
  Changed();
}

bool TVantrelDefaultMaterial::GetUseLighting() const { return DefinedBoth("LIGHTING"); }
void TVantrelDefaultMaterial::SetUseLighting(bool AValue) {
  AValue ? AddDefineBoth("LIGHTING") : RemoveDefineBoth("LIGHTING");
  FUpdateShaderProgram = true;
  Changed();
}
bool TVantrelDefaultMaterial::GetUseSpecular() const { return DefinedBoth("USE_SPECULAR"); }
void TVantrelDefaultMaterial::SetUseSpecular(bool AValue) {
  AValue ? AddDefineBoth("USE_SPECULAR") : RemoveDefineBoth("USE_SPECULAR");
  FUpdateShaderProgram = true;
  Changed();
}
bool TVantrelDefaultMaterial::GetUseTexturing() const { return DefinedBoth("USE_TEXTURE"); }
void TVantrelDefaultMaterial::SetUseTexturing(bool AValue) {
  if (AValue) {
    AddDefineBoth("USE_TEXTURE");
  } else {
    RemoveDefineBoth("USE_TEXTURE");
    if (FFSNode)
      FFSNode->RemoveDefine("USE_TEXTURE0");
  }
  Changed();
}
bool TVantrelDefaultMaterial::GetUseTexture0() const {
  return DefinedBoth("USE_TEXTURE") && DefinedFragment("USE_TEXTURE0");
}
void TVantrelDefaultMaterial::SetUseTexture0(bool AValue) {
  if (AValue)
    EnsureTexturing();
  SwitchDefine(AValue, "USE_TEXTURE0", true);
}
bool TVantrelDefaultMaterial::GetUseDisplacementMapping() const { return DefinedTexturing("DISPLACEMENT"); }
void TVantrelDefaultMaterial::SetUseDisplacementMapping(bool AValue) { SwitchTextureDefine(AValue, {"DISPLACEMENT"}); }
bool TVantrelDefaultMaterial::GetUseNormalMapping() const { return DefinedTexturing("NORMALMAP"); }
void TVantrelDefaultMaterial::SetUseNormalMapping(bool AValue) { SwitchTextureDefine(AValue, {"NORMALMAP", "BUMP"}); }
bool TVantrelDefaultMaterial::GetUseSpecularMapping() const { return DefinedTexturing("SPECULARMAP"); }
void TVantrelDefaultMaterial::SetUseSpecularMapping(bool AValue) { SwitchTextureDefine(AValue, {"SPECULARMAP"}); }
bool TVantrelDefaultMaterial::GetUseEmissiveTexture() const { return DefinedTexturing("EMISSIVEMAP"); }
void TVantrelDefaultMaterial::SetUseEmissiveTexture(bool AValue) { SwitchTextureDefine(AValue, {"EMISSIVEMAP"}); }
bool TVantrelDefaultMaterial::GetUseDepthMap() const { return DefinedTexturing("DEPTH"); }
void TVantrelDefaultMaterial::SetUseDepthMap(bool AValue) { SwitchTextureDefine(AValue, {"DEPTH"}); }
bool TVantrelDefaultMaterial::GetUseParallaxOcclusion() const { return DefinedFragment("POM"); }
void TVantrelDefaultMaterial::SetUseParallaxOcclusion(bool AValue) { SwitchDefine(AValue, "POM", false); }
bool TVantrelDefaultMaterial::GetUsePBRAlbedoTexture() const { return DefinedFragment("PBR_TEX_ALBEDO"); }
void TVantrelDefaultMaterial::SetUsePBRAlbedoTexture(bool AValue) { SwitchDefine(AValue, "PBR_TEX_ALBEDO", true); }
bool TVantrelDefaultMaterial::GetUsePBRMetallicTexture() const { return DefinedFragment("PBR_TEX_METALLIC"); }
void TVantrelDefaultMaterial::SetUsePBRMetallicTexture(bool AValue) {
  SwitchDefine(AValue, "PBR_TEX_METALLIC", true);
}
bool TVantrelDefaultMaterial::GetUsePBRRoughnessTexture() const { return DefinedFragment("PBR_TEX_ROUGHNESS"); }
void TVantrelDefaultMaterial::SetUsePBRRoughnessTexture(bool AValue) {
  SwitchDefine(AValue, "PBR_TEX_ROUGHNESS", true);
}
bool TVantrelDefaultMaterial::GetUsePBRAOTexture() const { return DefinedFragment("PBR_TEX_AO"); }
void TVantrelDefaultMaterial::SetUsePBRAOTexture(bool AValue) { SwitchDefine(AValue, "PBR_TEX_AO", true); }
bool TVantrelDefaultMaterial::GetUsePBREmissiveTexture() const { return DefinedFragment("PBR_TEX_EMISSIVE"); }
void TVantrelDefaultMaterial::SetUsePBREmissiveTexture(bool AValue) {
  SwitchDefine(AValue, "PBR_TEX_EMISSIVE", true);
}
bool TVantrelDefaultMaterial::GetUsePBRSpecularTexture() const { return DefinedFragment("SpecularMapTexture"); }
void TVantrelDefaultMaterial::SetUsePBRSpecularTexture(bool AValue) {
  SwitchDefine(AValue, "SpecularMapTexture", true);
}
bool TVantrelDefaultMaterial::GetUseVertexColor() const { return DefinedBoth("USE_VERTEXCOLOR"); }
void TVantrelDefaultMaterial::SetUseVertexColor(bool AValue) { SwitchDefine(AValue, "USE_VERTEXCOLOR", false); }
bool TVantrelDefaultMaterial::GetUseColorClipping() const { return DefinedFragment("USE_COLORCLIP"); }
void TVantrelDefaultMaterial::SetUseColorClipping(bool AValue) { SwitchDefine(AValue, "USE_COLORCLIP", true); }
bool TVantrelDefaultMaterial::GetUseAlphaCutoff() const { return DefinedFragment("USE_ALPHACUTOFF"); }
void TVantrelDefaultMaterial::SetUseAlphaCutoff(bool AValue) {
  FShaderData.Material[0].AlphaCutoff.X = AValue ? 1.0f : 0.0f;
  SwitchDefine(AValue, "USE_ALPHACUTOFF", true);
}

void TVantrelDefaultMaterial::SetTonemapping(TVantrelTonemapping AValue) {
  if (FFSNode)
    for (std::string_view name : TonemapDefines)
      FFSNode->RemoveDefine(name);
  FTonemapping = AValue;
  if (FFSNode && AValue != TVantrelTonemapping::tmNone)
    FFSNode->AddDefine(TonemapDefines[static_cast<size_t>(AValue) - 1]);
  Changed();
}

void TVantrelDefaultMaterial::SetShadows(bool AValue) {
  Batched([&] {
    FShadows = AValue;
    if (AValue) {
      AddDefineBoth("SHADOW");
      SetUseTexturing(true);
      if (FShadowMethod == TVantrelShadowMethod::ShadowMapping) {
        RemoveDefineBoth("VARIANCESHADOWMAPPING");
        AddDefineBoth("SHADOWMAPPING");
      } else {
        RemoveDefineBoth("SHADOWMAPPING");
        AddDefineBoth("VARIANCESHADOWMAPPING");
      }
    } else {
      RemoveDefineBoth("SHADOW");
      RemoveDefineBoth("SHADOWMAPPING");
      RemoveDefineBoth("VARIANCESHADOWMAPPING");
    }
    Changed();
  });
}

void TVantrelDefaultMaterial::SetShadowMethod(TVantrelShadowMethod AValue) {
  Batched([&] {
    FShadowMethod = AValue;
    SetShadows(FShadows);
  });
}

void TVantrelDefaultMaterial::SetDepthMapping(bool AValue) {
  Batched([&] {
    FDepthMapping = AValue;
    if (AValue) {
      if (!GetUseTexturing())
        SetUseTexturing(true);
      AddDefineBoth("DEPTH");
    } else {
      RemoveDefineBoth("DEPTH");
    }
    Changed();
  });
}

void TVantrelDefaultMaterial::SetReflections(bool AValue) {
  Batched([&] {
    if (AValue) {
      if (FEnvironment) {
        FEnvironment = false;
        RemoveDefineBoth("ENVIRONMENT");
      }
      if (!GetUseTexturing())
        SetUseTexturing(true);
      FReflections = true;
      AddDefineBoth("REFLECTION");
    } else {
      FReflections = false;
      RemoveDefineBoth("REFLECTION");
    }
    UpdateSourceBitmaps();
    Changed();
  });
}

void TVantrelDefaultMaterial::SetRefractions(bool AValue) {
  Batched([&] {
    if (AValue) {
      if (FEnvironment) {
        FEnvironment = false;
        RemoveDefineBoth("ENVIRONMENT");
      }
      if (!GetUseTexturing())
        SetUseTexturing(true);
      FRefractions = true;
      AddDefineBoth("REFRACTION");
    } else {
      FRefractions = false;
      RemoveDefineBoth("REFRACTION");
    }
    UpdateSourceBitmaps();
    Changed();
  });
}

void TVantrelDefaultMaterial::SetEnvironment(bool AValue) {
  Batched([&] {
    if (AValue) {
      if (FReflections) {
        FReflections = false;
        RemoveDefineBoth("REFLECTION");
      }
      if (FRefractions) {
        FRefractions = false;
        RemoveDefineBoth("REFRACTION");
      }
      EnsureTexturing();
      FEnvironment = true;
      AddDefineBoth("ENVIRONMENT");
    } else {
      FEnvironment = false;
      RemoveDefineBoth("ENVIRONMENT");
    }
    UpdateSourceBitmaps();
    Changed();
  });
}

// ---- stored values ------------------------------------------------------------------------------

TVantrelShadingModel TVantrelDefaultMaterial::GetShadingModel() const {
  return static_cast<TVantrelShadingModel>(FShaderData.ShadingModel);
}

void TVantrelDefaultMaterial::SetShadingModel(TVantrelShadingModel AValue) {
  FShaderData.ShadingModel = static_cast<int32_t>(AValue);
  Changed();
}

void TVantrelDefaultMaterial::SetShadingIntensity(float AValue) { FShaderData.ShadingIntensity = Limit(AValue, 0, 10); }
void TVantrelDefaultMaterial::SetBrightness(float AValue) { FShaderData.Brightness = Limit(AValue, 0, 10); }
void TVantrelDefaultMaterial::SetShininess(float AValue) { FShaderData.Material[0].Shininess = Limit(AValue, 0, 100); }
void TVantrelDefaultMaterial::SetNormalIntensity(float AValue) { FNormalIntensity = Limit(AValue, 0, 10); }
void TVantrelDefaultMaterial::SetParallaxLevels(int32_t AValue) {
  FShaderData.PassData[0].ParallaxLevels = std::clamp<int32_t>(AValue, 4, 256);
}
void TVantrelDefaultMaterial::SetTonemappingExposure(float AValue) {
  FShaderData.Material[0].ToneMapExp = Limit(AValue, 0, 10);
}
void TVantrelDefaultMaterial::SetMetallicBias(float AValue) { FShaderData.PassData[0].PBRMetallic = Limit(AValue, 0, 1); }
void TVantrelDefaultMaterial::SetRoughnessBias(float AValue) {
  FShaderData.PassData[0].PBRRoughness = Limit(AValue, 0, 1);
}
void TVantrelDefaultMaterial::SetAOBias(float AValue) { FShaderData.PassData[0].PBRAO = Limit(AValue, 0, 1); }

void TVantrelDefaultMaterial::SetMeasureTime(bool AValue) {
  FMeasureTime = AValue;
  if (!AValue)
    return;
  FStopWatch = TStopwatch::StartNew();
  const double now = Now();
  SetStartTime(now);
  SetRenderTime(now);
  SetLastTime(now);
  FShaderData.TimeInfo.W = 0;
}

// ---- builders and texts -------------------------------------------------------------------------

void TVantrelDefaultMaterial::CreateVertexShaderBuilder() {
  FUpdateShaderProgram = true;
  FVSNode = MakeOwned<TVantrelGLSLVertexShader>(this);
  FVSNode->SetOnTreeBuilt([this] { FillTextureUniforms(TContextShaderKind::VertexShader); });
}

void TVantrelDefaultMaterial::CreateFragmentShaderBuilder() {
  FUpdateShaderProgram = true;
  FFSNode = MakeOwned<TVantrelGLSLFragmentShader>(this);
  FFSNode->SetOnTreeBuilt([this] { FillTextureUniforms(TContextShaderKind::PixelShader); });
}

void TVantrelDefaultMaterial::FillTextureUniforms(TContextShaderKind AKind) {
  // A text build fills them itself, right after making the tree.
  if (FBuildingStageText)
    return;
  // Only the tree is brought in line: the uniform data keeps the count the last text declared.
  const int poolTextures = FShaderData.Material[0].PoolTextures;
  std::vector<TContextShaderVariable> variables;
  int index = 0;
  DoGetTextureShaderVariables(variables, AKind, index);
  FShaderData.Material[0].PoolTextures = poolTextures;
}

TVantrelStageTextCache* TVantrelDefaultMaterial::SharedStageTexts(const TVantrelNodeBuilder* ABuilder,
                                                                  TContextShaderKind AKind,
                                                                  std::string& AKey) const {
  // Behaviours change the trees after each build, and a tree handed out may have been changed.
  if (FBehaviours->Count() > 0 || !ABuilder->StandardTree())
    return nullptr;
  const auto* glsl = dynamic_cast<const TVantrelGLSLNodeBuilder*>(ABuilder);
  if (!glsl || !glsl->Context())
    return nullptr;
  // The classes by their type objects, not their names: classes of anonymous namespaces in two
  // units may share a name.
  AKey.clear();
  AppendKeyPart(AKey, std::to_string(reinterpret_cast<uintptr_t>(&typeid(*this))));
  AppendKeyPart(AKey, std::to_string(reinterpret_cast<uintptr_t>(&typeid(*ABuilder))));
  AppendKeyPart(AKey, std::to_string(static_cast<int>(AKind)));
  if (!ABuilder->AppendDefinesSignature(AKey))
    return nullptr;
  AppendKeyPart(AKey, FTextures && FTextures->GetDeclareAsArray() ? "array" : "single");
  const int count = FTextures ? FTextures->Count() : 0;
  AppendKeyPart(AKey, std::to_string(count));
  for (int i = 0; i < count; ++i) {
    const TVantrelTexturePoolEntry* entry = FTextures->GetItem(i);
    AppendKeyPart(AKey, std::to_string(static_cast<int>(entry->GetShaderKind())));
    AppendKeyPart(AKey, entry->GetIsDynamic() ? "dynamic" : "static");
    AppendKeyPart(AKey, entry->GetIgnoreInArray() ? "alone" : "pooled");
    AppendKeyPart(AKey, std::to_string(static_cast<int>(entry->GetTextureKind())));
    AppendKeyPart(AKey, entry->GetDisplayName());
  }
  return &TVantrelStageTextCache::Of(*glsl->Context());
}

void TVantrelDefaultMaterial::UpdateVertexShader() {
  BuildVertexShaderSource();
  for (int i = 0; i < FBehaviours->Count(); ++i)
    FBehaviours->GetItem(i)->OnUpdateShader(FVSNode.get(), TContextShaderKind::VertexShader);
  FUpdateShaderProgram = true;
}

void TVantrelDefaultMaterial::UpdateFragmentShader() {
  BuildFragmentShaderSource();
  for (int i = 0; i < FBehaviours->Count(); ++i)
    FBehaviours->GetItem(i)->OnUpdateShader(FFSNode.get(), TContextShaderKind::PixelShader);
  FUpdateShaderProgram = true;
}

void TVantrelDefaultMaterial::BuildVertexShaderSource() {
  if (FVSNode)
    BuildStageSource(FVSNode.get(), TContextShaderKind::VertexShader, FVSVarIndex, FVSShaderSource);
}

void TVantrelDefaultMaterial::BuildFragmentShaderSource() {
  if (FFSNode)
    BuildStageSource(FFSNode.get(), TContextShaderKind::PixelShader, FFSVarIndex, FFSShaderSource);
}

void TVantrelDefaultMaterial::BuildStageSource(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind,
                                               int& AVarIndex, TContextShaderSource& ASource) {
  ABuilder->AddDefine("CLIPPINGPLANE");
  switch (FShaderData.ShadingModel) {
  case 0:
    ABuilder->RemoveDefine("PHONG");
    ABuilder->RemoveDefine("BLINNPHONG");
    ABuilder->RemoveDefine("PBR");
    break;
  case 1:
    ABuilder->AddDefine("PHONG");
    ABuilder->RemoveDefine("BLINNPHONG");
    ABuilder->RemoveDefine("PBR");
    break;
  case 2:
    ABuilder->RemoveDefine("PHONG");
    ABuilder->AddDefine("BLINNPHONG");
    ABuilder->RemoveDefine("PBR");
    break;
  case 3:
    ABuilder->RemoveDefine("PHONG");
    ABuilder->RemoveDefine("BLINNPHONG");
    ABuilder->AddDefine("PBR");
    break;
  default:
    break;
  }
  std::string key;
  TVantrelStageTextCache* shared = SharedStageTexts(ABuilder, AKind, key);
  // A builder that made its tree already keeps writing from it, so that the tree and the text
  // never tell different stories.
  if (shared && !ABuilder->TreeBuilt())
    if (const TVantrelStageText* known = shared->Find(key)) {
      ASource = known->Source;
      AVarIndex = known->NextVariableIndex;
      FShaderData.Material[0].PoolTextures = known->PoolTextures;
      return;
    }
  AVarIndex = 0;
  std::vector<TContextShaderVariable> variables;
  const bool wasBuilding = std::exchange(FBuildingStageText, true);
  std::string text;
  try {
    DoGetTextureShaderVariables(variables, AKind, AVarIndex);
    text = ABuilder->ToString();
  } catch (...) {
    FBuildingStageText = wasBuilding;
    throw;
  }
  FBuildingStageText = wasBuilding;
  TContextShaderSource source;
  source.Arch = TContextShaderArch::GLSL;
  // The stage text is ASCII; any other code point of a user's line becomes "?". Generated texts
  // are ASCII already and are taken as they are.
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    source.Code.assign(text.begin(), text.end());
  } else {
    const std::string replaced = Utf8ToAscii(text);
    source.Code.assign(replaced.begin(), replaced.end());
  }
  source.Variables = std::move(variables);
  ASource = std::move(source);
  // Stored only when the tree is still standard after the build (a user function's node may
  // have been reached on the way).
  if (shared && ABuilder->StandardTree())
    shared->Add(std::move(key), {ASource, AVarIndex, FShaderData.Material[0].PoolTextures});
}

// ---- texture pool -------------------------------------------------------------------------------

void TVantrelDefaultMaterial::CreateTexturePool() {
  if (!FTextures)
    FTextures = MakeOwned<TVantrelTexturePool>(FRef.get());
  FTextures->Clear();
}

void TVantrelDefaultMaterial::AssignBitmapPool(TCollection* ABitmapPool) {
  auto* bitmaps = dynamic_cast<TVantrelBitmapPool*>(ABitmapPool);
  if (FTextures && bitmaps)
    FTextures->RebuildFrom(*bitmaps);
}

TVantrelTexturePoolEntry* TVantrelDefaultMaterial::FindTexturePoolEntryByName(const std::string& AName) const {
  return FTextures ? FTextures->FindEntryByName(AName) : nullptr;
}

TVantrelGLSLTextureUniformNode* TVantrelDefaultMaterial::CreateTextureUniformNode(TVantrelNodeBuilder* ABuilder,
                                                                                  TVantrelTexturePoolEntry* AEntry,
                                                                                  const std::string& AName) {
  auto* node = new TVantrelGLSLTextureUniformNode(ABuilder);
  if (AEntry)
    node->SetTextureKind(AEntry->GetTextureKind());
  node->SetId(AName.empty() && AEntry ? AEntry->GetDisplayName() : AName);
  return node;
}

void TVantrelDefaultMaterial::DoGetTextureShaderVariables(std::vector<TContextShaderVariable>& AVariables,
                                                          TContextShaderKind AKind, int& AIndex) {
  TVantrelNodeBuilder* builder = nullptr;
  if (AKind == TContextShaderKind::VertexShader)
    builder = FVSNode.get();
  else if (AKind == TContextShaderKind::PixelShader)
    builder = FFSNode.get();
  else
    throw Exception(std::string(SInvalidShaderKind));
  TVantrelCompositeNode* textures = builder ? builder->TextureUniforms() : nullptr;
  if (!textures)
    throw Exception(std::string(STextureNodeNotFound));
  textures->Clear();
  AVariables.clear();
  const int count = FTextures ? FTextures->Count() : 0;
  AVariables.reserve(count);
  int slots = 0;
  const bool asArray = FTextures && FTextures->GetDeclareAsArray();
  auto addVariable = [&](std::string AName) {
    TContextShaderVariable variable;
    variable.Name = std::move(AName);
    variable.Kind = TContextShaderVariableKind::Texture;
    variable.Index = AIndex;
    variable.Size = 0;
    variable.ShaderKind = AKind;
    AVariables.push_back(std::move(variable));
    ++AIndex;
  };
  for (int i = 0; i < count; ++i) {
    TVantrelTexturePoolEntry* entry = FTextures->GetItem(i);
    if (entry->GetShaderKind() != AKind)
      continue;
    if (!asArray || entry->GetIsDynamic() || entry->GetIgnoreInArray()) {
      if (entry->GetDisplayName().empty())
        continue;
      textures->Add(TVantrelNodePtr(CreateTextureUniformNode(builder, entry, entry->GetDisplayName())));
      addVariable(entry->GetDisplayName());
    } else {
      addVariable(Format("PoolTexture[%d]", {slots}));
      ++slots;
    }
  }
  if (asArray) {
    if (slots > 0)
      textures->Add(TVantrelNodePtr(CreateTextureUniformNode(builder, nullptr, Format("PoolTexture[%d]", {slots}))));
    else if (AKind == TContextShaderKind::PixelShader)
      textures->Add(TVantrelNodePtr(CreateTextureUniformNode(builder, nullptr, "PoolTexture[1]")));
    FShaderData.Material[0].PoolTextures = slots;
  } else {
    FShaderData.Material[0].PoolTextures = 0;
  }
}

void TVantrelDefaultMaterial::UpdateTextureAllowance() {
  if (FVSNode)
    FAllowDisplacementMapTexture = FVSNode->Defined("DISPLACEMENT");
  if (FFSNode) {
    FAllowTexture0 = FFSNode->Defined("USE_TEXTURE0");
    FAllowNormalMapTexture = FFSNode->Defined("NORMALMAP");
    FAllowDepthTexture = FFSNode->Defined("DEPTH");
    FAllowReflectionTexture = FFSNode->Defined("REFLECTION");
    FAllowRefractionTexture = FFSNode->Defined("REFRACTION");
    FAllowEnvironmentTexture = FFSNode->Defined("ENVIRONMENT");
    FAllowShadowMapTexture =
        FFSNode->Defined("SHADOW") && (FFSNode->Defined("SHADOWMAPPING") || FFSNode->Defined("VARIANCESHADOWMAPPING"));
  }
}

// ---- shaders and apply ----------------------------------------------------------------------------

void TVantrelDefaultMaterial::ReleaseShaders() {
  if (dynamic_cast<TVantrelContext*>(TContext3D::CurrentContext()) && FVertexShader && FPixelShader)
    TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
  FVertexShader = nullptr;
  FPixelShader = nullptr;
}

void TVantrelDefaultMaterial::RegisterShaders() {
  FErrorOnBuildingShader = false;
  TContextShader* oldVertex = FVertexShader;
  TContextShader* oldPixel = FPixelShader;
  ReleaseShaders();
  // The manager keys shaders by their content, so an unchanged text gives back the same shader
  // (and so the same program), and any edit gives a new one.
  FVertexShader = TShaderManager::RegisterShaderFromData(Format("default-%s.fvs", {FShaderIdentity}),
                                                         TContextShaderKind::VertexShader, std::string(),
                                                         std::vector<TContextShaderSource>{FVSShaderSource});
  FPixelShader = TShaderManager::RegisterShaderFromData(Format("default-%s.fps", {FShaderIdentity}),
                                                        TContextShaderKind::PixelShader, std::string(),
                                                        std::vector<TContextShaderSource>{FFSShaderSource});
  // Each material's shaders carry its own identity, so nobody else holds the old pair: it goes
  // now, with any program made from it, instead of staying compiled until the process ends.
  if (oldVertex != FVertexShader || oldPixel != FPixelShader)
    TVantrelContext::RemoveProgram(oldVertex, oldPixel);
  TShaderManager::UnregisterShader(oldVertex);
  TShaderManager::UnregisterShader(oldPixel);
  FUpdateShaderProgram = false;
}

void TVantrelDefaultMaterial::RegisterUniformBuffers(TContext3D*, TShaderProgram* AProgram) {
  if (!AProgram)
    return;
  AProgram->RegisterUniformBuffer("ShaderData", &FShaderData, sizeof(TVantrelShaderData));
  for (int i = 0; i < FBehaviours->Count(); ++i)
    FBehaviours->GetItem(i)->OnRegisterUniformBuffer(this, nullptr, AProgram);
}

void TVantrelDefaultMaterial::DoApply(TContext3D* AContext) {
  const bool rebuild = FUpdateShaderProgram;
  if (rebuild)
    RegisterShaders();
  if (FErrorOnBuildingShader)
    return;
  try {
    inherited::DoApply(AContext);
  } catch (const Exception& E) {
    if (!FSource || !FSource->ComponentState().Contains(TComponentStateItem::csDesigning))
      throw;
    const std::string name = FSource->Name().empty() ? std::string("?") : FSource->Name();
    const std::string title =
        Format(SFailedToCompileShader, {Format("%s (%s)", {name, std::string(FSource->ClassName())})});
    TLoggingForm::Open(title, E.Message(), true);
    FErrorOnBuildingShader = true;
    return;
  }
  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  if (rebuild)
    RegisterUniformBuffers(AContext, program);
  if (!dynamic_cast<TVantrelContext*>(AContext))
    return;
  ApplyBehaviours(AContext);
  if (FMeasureTime)
    ApplyTiming(AContext);
  ApplyMatrices(AContext);
  ApplyTexturePool(AContext);
  ApplyPassInputs(AContext);
  ApplyShadowMaps(AContext);
  ApplyReflection(AContext);
  ApplyRefraction(AContext);
  ApplyDepthMap(AContext);
  ApplyEnvironment(AContext);
  ApplyLights(AContext);
  ApplyFog(AContext);
  if (program)
    program->PushUniformBuffers();
}

// ---- apply steps ----------------------------------------------------------------------------------

void TVantrelDefaultMaterial::ApplyBehaviours(TContext3D* AContext) {
  for (int i = 0; i < FBehaviours->Count(); ++i)
    FBehaviours->GetItem(i)->Apply(this, AContext);
}

void TVantrelDefaultMaterial::ApplyTiming(TContext3D*) {
  SetLastTime(GetRenderTime());
  SetRenderTime(Now());
  FShaderData.TimeInfo.W = static_cast<float>(static_cast<double>(FStopWatch.ElapsedTicks()) * 1e-7);
}

void TVantrelDefaultMaterial::ApplyMatrices(TContext3D* AContext) {
  auto* context = static_cast<TVantrelContext*>(AContext);
  const TMatrix3D model = context->CurrentMatrix();
  const TMatrix3D view = context->CurrentCameraMatrix();
  const TMatrix3D projection = context->CurrentProjectionMatrix();
  if (context->GetInstanceCount() == 0)
    context->SetInstances(1, &model);
  const TBoundingBox scene = context->GetSceneBoundary();
  const TBoundingBox frustum = context->GetFrustumBoundary();
  FShaderData.SceneMin = Corner(scene.Left, scene.Top, scene.Near);
  FShaderData.SceneMax = Corner(scene.Right, scene.Bottom, scene.Far);
  FShaderData.FrustumMin = Corner(frustum.Left, frustum.Top, frustum.Near);
  FShaderData.FrustumMax = Corner(frustum.Right, frustum.Bottom, frustum.Far);
  FShaderData.BoundaryMin = Corner(std::max(scene.Left, frustum.Left), std::max(scene.Top, frustum.Top),
                                   std::max(scene.Near, frustum.Near));
  FShaderData.BoundaryMax = Corner(std::min(scene.Right, frustum.Right), std::min(scene.Bottom, frustum.Bottom),
                                   std::min(scene.Far, frustum.Far));
  FShaderData.ViewSize = {static_cast<float>(context->Width()), static_cast<float>(context->Height()),
                          context->GetNearPlane(), context->GetFarPlane()};
  FShaderData.Options = 0;
  PClipPlaneF clip = context->GetClippingPlane(0);
  if (clip && clip->Enabled) {
    FShaderData.ClippingPlane = {clip->Plane.NX, clip->Plane.NY, clip->Plane.NZ, clip->Plane.D};
    FShaderData.Options |= 1;
  } else {
    FShaderData.ClippingPlane = {0, 0, 0, 0};
  }
  if (context->IsTranslucentRendering())
    FShaderData.Options |= 2;
  FShaderData.ModelViewProjectionMatrix = context->CurrentModelViewProjectionMatrix();
  FShaderData.ViewMatrix = view;
  FShaderData.ProjectionMatrix = projection;
  float eye[3];
  for (int i = 0; i < 3; ++i)
    eye[i] = -(view(i, 0) * view(3, 0) + view(i, 1) * view(3, 1) + view(i, 2) * view(3, 2));
  FShaderData.EyePos = {eye[0], eye[1], eye[2], 1.0f};
  FShaderData.ViewDir = {-view(0, 2), -view(1, 2), -view(2, 2)};
  FShaderData.PassData[0].NormalIntensity = FInverseNormalMapping ? -FNormalIntensity : FNormalIntensity;
}

void TVantrelDefaultMaterial::ApplyTexturePool(TContext3D* AContext) {
  auto* context = static_cast<TVantrelContext*>(AContext);
  FShaderData.Material[0].Features.X = AContext->CurrentOpacity();
  FShaderData.PassData[0].TranslucentDistance = context->GetTranslucentDistance();
  if (!FTextures)
    return;
  FShaderData.Material[0].Textures = FTextures->Count();
  const bool asArray = FTextures->GetDeclareAsArray();
  int slot = 0;
  const int count = std::min(FTextures->Count(), 16);
  for (int i = 0; i < count; ++i) {
    TVantrelTexturePoolEntry* entry = FTextures->GetItem(i);
    FShaderData.Material[0].Texture[i].Tiling = entry->GetTiling();
    if (entry->GetIsDynamic())
      continue;
    if (asArray && !entry->GetIgnoreInArray())
      AContext->SetShaderVariable(Format("PoolTexture[%d]", {slot++}), entry->GetTexture());
    else
      AContext->SetShaderVariable(entry->GetDisplayName(), entry->GetTexture());
  }
}

void TVantrelDefaultMaterial::ApplyPassInputs(TContext3D* AContext) {
  if (!FSource || !FSource->GetInputs())
    return;
  for (const auto& pair : *FSource->GetInputs()) {
    if (StartsWithShadowMap(pair.Key) || !pair.Value)
      continue;
    AContext->SetShaderVariable(pair.Key, pair.Value->GetOutputTexture());
  }
}

void TVantrelDefaultMaterial::ApplyShadowMaps(TContext3D* AContext) {
  if (!FSource || !FShadows || !FSource->GetInputs())
    return;
  for (const auto& pair : *FSource->GetInputs()) {
    if (!StartsWithShadowMap(pair.Key) || !pair.Value)
      continue;
    const int index = ShadowMapIndex(pair.Key);
    if (index < 0 || index > 7)
      continue;
    TVantrelPassLink* pass = pair.Value;
    TMatrix3D matrix;
    TTexture* texture = nullptr;
    if (IsPassOfClass(pass, TVantrelPassClassRef::SMStoreDepth) ||
        IsPassOfClass(pass, TVantrelPassClassRef::VSMStoreDepth)) {
      matrix = pass->GetTextureMatrix(AContext, true);
      texture = pass->GetOutputTexture();
    } else if (IsPassOfClass(pass, TVantrelPassClassRef::VSMBlur) &&
               IsPassOfClass(pass->GetInputPass(), TVantrelPassClassRef::VSMStoreDepth)) {
      matrix = pass->GetInputPass()->GetTextureMatrix(AContext, true);
      texture = pass->GetOutputTexture();
    } else {
      continue;
    }
    FShaderData.PassData[0].ShadowMapMatrix[static_cast<size_t>(index)] = matrix;
    AContext->SetShaderVariable(pair.Key, texture);
  }
}

void TVantrelDefaultMaterial::ApplyReflection(TContext3D* AContext) {
  if (!DefinedFragment("REFLECTION") || !FSource || !FReflections)
    return;
  TVantrelPassLink* pass = FSource->GetReflectionPass();
  if (!pass || !pass->GetEnabled() || GetReflectionPower() <= 0)
    return;
  if (IsPassOfClass(pass, TVantrelPassClassRef::Reflection))
    FShaderData.PassData[0].ReflectTextureMatrix = pass->GetTextureMatrix(AContext, true);
  else if (IsPassOfClass(pass->GetInputPass(), TVantrelPassClassRef::Reflection))
    FShaderData.PassData[0].ReflectTextureMatrix = pass->GetInputPass()->GetTextureMatrix(AContext, true);
}

void TVantrelDefaultMaterial::ApplyRefraction(TContext3D* AContext) {
  if (!DefinedFragment("REFRACTION") || !FSource || !FRefractions)
    return;
  TVantrelPassLink* pass = FSource->GetRefractionPass();
  if (pass && pass->GetEnabled() && IsPassOfClass(pass, TVantrelPassClassRef::Refraction) &&
      GetRefractionPower() > 0)
    FShaderData.PassData[0].RefractTextureMatrix = pass->GetTextureMatrix(AContext, false);
}

void TVantrelDefaultMaterial::ApplyDepthMap(TContext3D* AContext) {
  if (!DefinedFragment("DEPTH") || !FSource)
    return;
  TVantrelPassLink* pass = FSource->GetDepthPass();
  if (!pass || !pass->GetEnabled() || !IsPassOfClass(pass, TVantrelPassClassRef::CustomDepth))
    return;
  if (TTexture* texture = pass->GetOutputTexture())
    AContext->SetShaderVariable("DepthTexture", texture);
}

void TVantrelDefaultMaterial::ApplyEnvironment(TContext3D*) {
  if (!DefinedFragment("ENVIRONMENT") || !FSource || !FEnvironment)
    return;
  TVantrelPassLink* pass = FSource->GetEnvironmentPass();
  if (pass && pass->GetEnabled() && IsPassOfClass(pass, TVantrelPassClassRef::Environment))
    FShaderData.PassData[0].ReflectTextureMatrix = BiasMatrix();
}

void TVantrelDefaultMaterial::ApplyLights(TContext3D* AContext) {
  const auto& lights = static_cast<TVantrelContext*>(AContext)->GetShaderLights();
  int32_t copied = 0;
  for (int i = 0; i < lights.Count() && copied < 32; ++i)
    if (lights[i].Enabled > 0)
      FShaderData.Lights[copied++] = lights[i];
  FShaderData.LightsCount = copied;
}

void TVantrelDefaultMaterial::ApplyFog(TContext3D* AContext) {
  const TVantrelFogSettings& fog = static_cast<TVantrelContext*>(AContext)->GetFog();
  FShaderData.FogMode = (fog.Enabled ? 1 : 0) | fog.Mode;
  FShaderData.FogDensity = fog.Density;
  FShaderData.FogStart = std::max(std::min(fog.FogStart, 1000.0f), 0.1f);
  FShaderData.FogEnd = std::max(std::min(fog.FogEnd, 1000.0f), 0.1f);
  FShaderData.FogColor = fog.Color;
}

} // namespace vantrel
