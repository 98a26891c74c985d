#pragma once
// The default material's uniform block "ShaderData": the CPU image of the GLSL block that both
// generated stages declare, laid out byte for byte by the std140 rules, so it uploads as it is,
// with no conversion. Padding is written out as members and stays zero.

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Types.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.Behaviour.h"
#include "materials/Vantrel.Material.Types.h"
#include "rtl/generics_dictionary.h"
#include "rtl/messaging.h"
#include "rtl/stopwatch.h"
#include "rtl/stringlist.h"
#include "ui/bitmap.h"
#include "ui/material.h"

namespace vantrel {

// The scene's model and mesh classes by qualified name: materials sit below the scene and tell
// its objects apart by name.
inline constexpr std::string_view ModelClassName = "Vantrel.Model.TVantrelModel";
inline constexpr std::string_view MeshClassName = "Vantrel.Mesh.TVantrelMesh";

// The GLSL struct PassData: the inputs of the shadow, reflection, refraction, parallax and
// physically based passes.
struct TVantrelShaderPassData {
  std::array<TMatrix3D, 8> ShadowMapMatrix{};
  TMatrix3D ReflectTextureMatrix;
  TMatrix3D RefractTextureMatrix;
  float ReflectionPower = 0;
  float RefractionPower = 0;
  float TranslucentDistance = 0;
  float NormalIntensity = 0;
  int32_t ParallaxLevels = 0;
  float PBRMetallic = 0;
  float PBRRoughness = 0;
  float PBRAO = 0;
};
static_assert(sizeof(TVantrelShaderPassData) == 672);
static_assert(offsetof(TVantrelShaderPassData, ShadowMapMatrix) == 0);
static_assert(offsetof(TVantrelShaderPassData, ReflectTextureMatrix) == 512);
static_assert(offsetof(TVantrelShaderPassData, RefractTextureMatrix) == 576);
static_assert(offsetof(TVantrelShaderPassData, ReflectionPower) == 640);
static_assert(offsetof(TVantrelShaderPassData, RefractionPower) == 644);
static_assert(offsetof(TVantrelShaderPassData, TranslucentDistance) == 648);
static_assert(offsetof(TVantrelShaderPassData, NormalIntensity) == 652);
static_assert(offsetof(TVantrelShaderPassData, ParallaxLevels) == 656);
static_assert(offsetof(TVantrelShaderPassData, PBRMetallic) == 660);
static_assert(offsetof(TVantrelShaderPassData, PBRRoughness) == 664);
static_assert(offsetof(TVantrelShaderPassData, PBRAO) == 668);

// The whole block, 6352 bytes. Member names drop the GLSL leading underscore. Options: bit 1 an
// active clip plane, bit 2 a translucent draw. FogMode: bit 1 fog on, OR-ed with the fog mode
// (2 linear, 4 exponential, 8 squared exponential).
struct TVantrelShaderData {
  TMatrix3D ModelViewProjectionMatrix;
  TMatrix3D ViewMatrix;
  TMatrix3D ProjectionMatrix;
  TVector3D TimeInfo;
  TVector3D EyePos;
  TPoint3D ViewDir;
  int32_t ShadingModel = 0; // fills the fourth word of ViewDir's vec3 slot
  std::array<TVantrelShaderMaterial, 1> Material{};
  std::array<TVantrelShaderLight, 32> Lights{};
  int32_t LightsCount = 0;
  int32_t Options = 0;
  float ShadingIntensity = 0;
  float Brightness = 0;
  int32_t FogMode = 0;
  float FogDensity = 0;
  float FogStart = 0;
  float FogEnd = 0;
  TAlphaColorF FogColor;
  TVector3D FrustumMin;
  TVector3D FrustumMax;
  TVector3D SceneMin;
  TVector3D SceneMax;
  TVector3D BoundaryMin;
  TVector3D BoundaryMax;
  TVector3D ViewSize; // width, height, near plane, far plane
  TVector3D ClippingPlane;
  std::array<TVantrelShaderPassData, 1> PassData{};

  // Every byte zero, then the defaults: Blinn-Phong, intensity and brightness 1, view size
  // (0, 0, 1, 1000), the material record's defaults, linear fog on from 100 to 500.
  static TVantrelShaderData Create();
};
static_assert(std::is_standard_layout_v<TVantrelShaderData> &&
              std::is_trivially_copyable_v<TVantrelShaderData>);
static_assert(std::is_standard_layout_v<TVantrelShaderPassData> &&
              std::is_trivially_copyable_v<TVantrelShaderPassData>);
static_assert(sizeof(TVantrelShaderData) == 6352);
static_assert(offsetof(TVantrelShaderData, ModelViewProjectionMatrix) == 0);
static_assert(offsetof(TVantrelShaderData, ViewMatrix) == 64);
static_assert(offsetof(TVantrelShaderData, ProjectionMatrix) == 128);
static_assert(offsetof(TVantrelShaderData, TimeInfo) == 192);
static_assert(offsetof(TVantrelShaderData, EyePos) == 208);
static_assert(offsetof(TVantrelShaderData, ViewDir) == 224);
static_assert(offsetof(TVantrelShaderData, ShadingModel) == 236);
static_assert(offsetof(TVantrelShaderData, Material) == 240);
static_assert(offsetof(TVantrelShaderData, Lights) == 896);
static_assert(offsetof(TVantrelShaderData, LightsCount) == 5504);
static_assert(offsetof(TVantrelShaderData, Options) == 5508);
static_assert(offsetof(TVantrelShaderData, ShadingIntensity) == 5512);
static_assert(offsetof(TVantrelShaderData, Brightness) == 5516);
static_assert(offsetof(TVantrelShaderData, FogMode) == 5520);
static_assert(offsetof(TVantrelShaderData, FogDensity) == 5524);
static_assert(offsetof(TVantrelShaderData, FogStart) == 5528);
static_assert(offsetof(TVantrelShaderData, FogEnd) == 5532);
static_assert(offsetof(TVantrelShaderData, FogColor) == 5536);
static_assert(offsetof(TVantrelShaderData, FrustumMin) == 5552);
static_assert(offsetof(TVantrelShaderData, FrustumMax) == 5568);
static_assert(offsetof(TVantrelShaderData, SceneMin) == 5584);
static_assert(offsetof(TVantrelShaderData, SceneMax) == 5600);
static_assert(offsetof(TVantrelShaderData, BoundaryMin) == 5616);
static_assert(offsetof(TVantrelShaderData, BoundaryMax) == 5632);
static_assert(offsetof(TVantrelShaderData, ViewSize) == 5648);
static_assert(offsetof(TVantrelShaderData, ClippingPlane) == 5664);
static_assert(offsetof(TVantrelShaderData, PassData) == 5680);


// ---- The default material ---------------------------------------------------------------------

class TVantrelGLSLVertexShader;
class TVantrelGLSLFragmentShader;
class TVantrelGLSLTextureUniformNode;
class TVantrelStageTextCache;
class TVantrelDefaultMaterial;
class TVantrelDefaultMaterialSource;
class TVantrelPassLink;

inline constexpr std::string_view SInvalidShaderKind =
    "TVantrelDefaultMaterial.DoGetTextureShaderVariables - invalid shader kind";
inline constexpr std::string_view STextureNodeNotFound = "texture node not found in uniform globals";
inline constexpr std::string_view STextureNodeNotAssigned = "texture node not assigned - failed to reinitialize textures";
inline constexpr std::string_view SFailedToCompileShader = "%s - failed to compile shader ...";
inline constexpr std::string_view STexture0NotActivated = "Texture0 not activated in material";
inline constexpr std::string_view SNormalMapNotActivated = "NormalMapTexture not activated in material";
inline constexpr std::string_view SDisplacementMapNotActivated = "DisplacementMapTexture not activated in material";
inline constexpr std::string_view SInvalidTextureIndex =
    "TVantrelDefaultMaterialSource.GetTextureTiling - invalid texture index";

// The render-pass classes whose outputs the apply steps read. The pass units that declare them
// install their class here at start-up; until then a reference is nil and matches nothing, so
// the branch that tests it stays inactive.
enum class TVantrelPassClassRef : uint8_t {
  SMStoreDepth,
  VSMStoreDepth,
  VSMBlur,
  CustomDepth,
  Reflection,
  Refraction,
  Environment
};
inline constexpr int PassClassRefCount = 7;
const TClass* GetPassClass(TVantrelPassClassRef ARef);
// Returns the previous reference.
const TClass* SetPassClass(TVantrelPassClassRef ARef, const TClass* AClass);
// AObject is not nil and its class descends from the installed reference (never for nil).
bool IsPassOfClass(const TObject* AObject, TVantrelPassClassRef ARef);

// The material's persistent stand-in for the texture pool's owner.
class TVantrelDefaultMaterialRef : public TPersistent {
  RTL_CLASS(TVantrelDefaultMaterialRef, TPersistent)
public:
  explicit TVantrelDefaultMaterialRef(TVantrelDefaultMaterial* AMaterial) : FMaterial(AMaterial) {}
  TVantrelDefaultMaterial* GetMaterial() const { return FMaterial; }

private:
  TVantrelDefaultMaterial* FMaterial;
};

// The framework's general material. Its feature switches add and remove defines in its two node
// builders; every notifying change regenerates both stage texts, and the next apply registers
// them as new shaders, registers the uniform block on the resulting program and, on every apply,
// fills and pushes the block. The program's registry keeps the address of the inline block, so
// the material never moves.
class TVantrelDefaultMaterial : public TCustomMaterial {
  RTL_CLASS(TVantrelDefaultMaterial, TCustomMaterial)
public:
  // Steps that need no virtual: the source, the block's defaults and the reference object.
  explicit TVantrelDefaultMaterial(TVantrelDefaultMaterialSource* ASource);
  ~TVantrelDefaultMaterial() override;
  TVantrelDefaultMaterial(const TVantrelDefaultMaterial&) = delete;
  TVantrelDefaultMaterial& operator=(const TVantrelDefaultMaterial&) = delete;

  // Runs the initialisation (pool, behaviours, both builders and texts), then starts the clock
  // and writes the pass-data defaults.
  void AfterConstruction() override;

  TVantrelDefaultMaterialSource* GetSource() const { return FSource; }
  TVantrelDefaultMaterialRef* GetRef() const { return FRef.get(); }
  TVantrelTexturePool* GetTextures() const { return FTextures.get(); }
  TVantrelMaterialBehaviourCollection* GetBehaviours() const { return FBehaviours.get(); }
  virtual void SetBehaviours(TVantrelMaterialBehaviourCollection* AValue);
  TVantrelGLSLVertexShader* GetVertexShaderNode() const { return FVSNode.get(); }
  TVantrelGLSLFragmentShader* GetFragmentShaderNode() const { return FFSNode.get(); }
  // The block the program reads, for inspection.
  const TVantrelShaderData& GetShaderData() const { return FShaderData; }
  TVantrelShaderData& ShaderDataForPresets() { return FShaderData; }
  const TContextShaderSource& GetVSShaderSource() const { return FVSShaderSource; }
  const TContextShaderSource& GetFSShaderSource() const { return FFSShaderSource; }
  bool GetUpdateShaderProgramFlag() const { return FUpdateShaderProgram; }
  bool GetErrorOnBuildingShader() const { return FErrorOnBuildingShader; }
  // The 16 upper-case hexadecimal digits of the material's shader names.
  const std::string& GetShaderIdentity() const { return FShaderIdentity; }

  // The change notification (batched inside a rebuild bracket): both texts anew, then the
  // modified flag and OnChange.
  void Changed();

  // Flags the program for registration and sends the change notification.
  void UpdateShaderProgram();

  // ---- stored values ----
  virtual TVantrelShadingModel GetShadingModel() const;
  virtual void SetShadingModel(TVantrelShadingModel AValue);
  virtual float GetShadingIntensity() const { return FShaderData.ShadingIntensity; }
  virtual void SetShadingIntensity(float AValue);
  virtual float GetBrightness() const { return FShaderData.Brightness; }
  virtual void SetBrightness(float AValue);
  bool GetMeasureTime() const { return FMeasureTime; }
  virtual void SetMeasureTime(bool AValue);
  virtual double GetStartTime() const { return FShaderData.TimeInfo.X; }
  virtual void SetStartTime(double AValue) { FShaderData.TimeInfo.X = static_cast<float>(AValue); }
  virtual double GetRenderTime() const { return FShaderData.TimeInfo.Y; }
  virtual void SetRenderTime(double AValue) { FShaderData.TimeInfo.Y = static_cast<float>(AValue); }
  virtual double GetLastTime() const { return FShaderData.TimeInfo.Z; }
  virtual void SetLastTime(double AValue) { FShaderData.TimeInfo.Z = static_cast<float>(AValue); }
  virtual double GetDeltaTime() const { return FShaderData.TimeInfo.W; }
  virtual TAlphaColorF GetEmissive() const { return FShaderData.Material[0].Emissive; }
  virtual void SetEmissive(const TAlphaColorF& AValue) { FShaderData.Material[0].Emissive = AValue; }
  virtual TAlphaColorF GetDiffuse() const { return FShaderData.Material[0].Diffuse; }
  virtual void SetDiffuse(const TAlphaColorF& AValue) { FShaderData.Material[0].Diffuse = AValue; }
  virtual TAlphaColorF GetAmbient() const { return FShaderData.Material[0].Ambient; }
  virtual void SetAmbient(const TAlphaColorF& AValue) { FShaderData.Material[0].Ambient = AValue; }
  virtual TAlphaColorF GetSpecular() const { return FShaderData.Material[0].Specular; }
  virtual void SetSpecular(const TAlphaColorF& AValue) { FShaderData.Material[0].Specular = AValue; }
  virtual float GetShininess() const { return FShaderData.Material[0].Shininess; }
  virtual void SetShininess(float AValue);
  virtual TAlphaColorF GetClippingColor() const { return FShaderData.Material[0].Clipping; }
  virtual void SetClippingColor(const TAlphaColorF& AValue) { FShaderData.Material[0].Clipping = AValue; }
  virtual float GetNormalIntensity() const { return FNormalIntensity; }
  virtual void SetNormalIntensity(float AValue);
  virtual bool GetInverseNormalMapping() const { return FInverseNormalMapping; }
  virtual void SetInverseNormalMapping(bool AValue) { FInverseNormalMapping = AValue; }
  virtual int32_t GetParallaxLevels() const { return FShaderData.PassData[0].ParallaxLevels; }
  virtual void SetParallaxLevels(int32_t AValue);
  virtual float GetAlphaCutoff() const { return FShaderData.Material[0].AlphaCutoff.Y; }
  virtual void SetAlphaCutoff(float AValue) { FShaderData.Material[0].AlphaCutoff.Y = AValue; }
  virtual float GetTonemappingExposure() const { return FShaderData.Material[0].ToneMapExp; }
  virtual void SetTonemappingExposure(float AValue);
  virtual float GetMetallicBias() const { return FShaderData.PassData[0].PBRMetallic; }
  virtual void SetMetallicBias(float AValue);
  virtual float GetRoughnessBias() const { return FShaderData.PassData[0].PBRRoughness; }
  virtual void SetRoughnessBias(float AValue);
  virtual float GetAOBias() const { return FShaderData.PassData[0].PBRAO; }
  virtual void SetAOBias(float AValue);
  virtual float GetNearLimit() const { return FShaderData.ViewSize.Z; }
  virtual void SetNearLimit(float AValue) { FShaderData.ViewSize.Z = AValue; }
  virtual float GetFarLimit() const { return FShaderData.ViewSize.W; }
  virtual void SetFarLimit(float AValue) { FShaderData.ViewSize.W = AValue; }
  virtual float GetReflectionPower() const { return FShaderData.PassData[0].ReflectionPower; }
  virtual void SetReflectionPower(float AValue) { FShaderData.PassData[0].ReflectionPower = AValue; }
  virtual float GetRefractionPower() const { return FShaderData.PassData[0].RefractionPower; }
  virtual void SetRefractionPower(float AValue) { FShaderData.PassData[0].RefractionPower = AValue; }

  // ---- feature switches (read from the builders' defines) ----
  virtual bool GetUseLighting() const;
  virtual void SetUseLighting(bool AValue);
  virtual bool GetUseSpecular() const;
  virtual void SetUseSpecular(bool AValue);
  virtual bool GetUseTexturing() const;
  virtual void SetUseTexturing(bool AValue);
  virtual bool GetUseTexture0() const;
  virtual void SetUseTexture0(bool AValue);
  virtual bool GetUseDisplacementMapping() const;
  virtual void SetUseDisplacementMapping(bool AValue);
  virtual bool GetUseNormalMapping() const;
  virtual void SetUseNormalMapping(bool AValue);
  virtual bool GetUseSpecularMapping() const;
  virtual void SetUseSpecularMapping(bool AValue);
  virtual bool GetUseEmissiveTexture() const;
  virtual void SetUseEmissiveTexture(bool AValue);
  virtual bool GetUseDepthMap() const;
  virtual void SetUseDepthMap(bool AValue);
  virtual bool GetUseParallaxOcclusion() const;
  virtual void SetUseParallaxOcclusion(bool AValue);
  virtual bool GetUsePBRAlbedoTexture() const;
  virtual void SetUsePBRAlbedoTexture(bool AValue);
  virtual bool GetUsePBRMetallicTexture() const;
  virtual void SetUsePBRMetallicTexture(bool AValue);
  virtual bool GetUsePBRRoughnessTexture() const;
  virtual void SetUsePBRRoughnessTexture(bool AValue);
  virtual bool GetUsePBRAOTexture() const;
  virtual void SetUsePBRAOTexture(bool AValue);
  virtual bool GetUsePBREmissiveTexture() const;
  virtual void SetUsePBREmissiveTexture(bool AValue);
  virtual bool GetUsePBRSpecularTexture() const;
  virtual void SetUsePBRSpecularTexture(bool AValue);
  virtual bool GetUseVertexColor() const;
  virtual void SetUseVertexColor(bool AValue);
  virtual bool GetUseColorClipping() const;
  virtual void SetUseColorClipping(bool AValue);
  virtual bool GetUseAlphaCutoff() const;
  virtual void SetUseAlphaCutoff(bool AValue);
  virtual TVantrelTonemapping GetTonemapping() const { return FTonemapping; }
  virtual void SetTonemapping(TVantrelTonemapping AValue);

  bool GetShadows() const { return FShadows; }
  virtual void SetShadows(bool AValue);
  TVantrelShadowMethod GetShadowMethod() const { return FShadowMethod; }
  virtual void SetShadowMethod(TVantrelShadowMethod AValue);
  bool GetDepthMapping() const { return FDepthMapping; }
  virtual void SetDepthMapping(bool AValue);
  bool GetReflections() const { return FReflections; }
  virtual void SetReflections(bool AValue);
  bool GetRefractions() const { return FRefractions; }
  virtual void SetRefractions(bool AValue);
  bool GetEnvironment() const { return FEnvironment; }
  virtual void SetEnvironment(bool AValue);

  // ---- texture pool ----
  virtual void CreateTexturePool();
  // Clears the texture pool and copies every bitmap entry into it, in order.
  virtual void AssignBitmapPool(TCollection* ABitmapPool);
  virtual TVantrelTexturePoolEntry* FindTexturePoolEntryByName(const std::string& AName) const;
  virtual TVantrelGLSLTextureUniformNode* CreateTextureUniformNode(TVantrelNodeBuilder* ABuilder,
                                                                   TVantrelTexturePoolEntry* AEntry,
                                                                   const std::string& AName);
  // Declares the stage's texture uniforms in its builder and returns their shader variables.
  virtual void DoGetTextureShaderVariables(std::vector<TContextShaderVariable>& AVariables,
                                           TContextShaderKind AKind, int& AIndex);
  // The allowance flags the source's standard entries follow.
  virtual void UpdateTextureAllowance();
  bool AllowTexture0() const { return FAllowTexture0; }
  bool AllowNormalMapTexture() const { return FAllowNormalMapTexture; }
  bool AllowDisplacementMapTexture() const { return FAllowDisplacementMapTexture; }
  bool AllowDepthTexture() const { return FAllowDepthTexture; }
  bool AllowReflectionTexture() const { return FAllowReflectionTexture; }
  bool AllowRefractionTexture() const { return FAllowRefractionTexture; }
  bool AllowEnvironmentTexture() const { return FAllowEnvironmentTexture; }
  bool AllowShadowMapTexture() const { return FAllowShadowMapTexture; }

  // ---- rebuild batching ----
  // While a bracket is open (and no behaviour is attached), change notifications and pool
  // rebuilds are only marked; the outermost close runs what is pending once.
  void OpenRebuildBracket();
  void CloseRebuildBracket();
  // Runs AOperation inside a bracket; when it raises, the pending rebuild still runs before the
  // error goes on.
  void Batched(const std::function<void()>& AOperation);
  // The pool part of the source's change handler: rebuilds the texture pool from ABitmapPool and
  // notifies, or marks both pending inside a bracket.
  void BitmapPoolChanged(TVantrelBitmapPool* ABitmapPool);

protected:
  // The initialisation: texture pool, behaviour collection, both builders with their texts (only
  // marked inside a bracket).
  void DoInitialize() override;
  void DoApply(TContext3D* AContext) override;
  // The change hook: both texts, then the modified flag and OnChange.
  void DoChange() override;

  virtual void ApplyTexturePool(TContext3D* AContext);
  virtual void ApplyPassInputs(TContext3D* AContext);
  virtual void ApplyLights(TContext3D* AContext);
  virtual void ApplyShadowMaps(TContext3D* AContext);
  virtual void ApplyReflection(TContext3D* AContext);
  virtual void ApplyRefraction(TContext3D* AContext);
  virtual void ApplyDepthMap(TContext3D* AContext);
  virtual void ApplyEnvironment(TContext3D* AContext);
  virtual void ApplyMatrices(TContext3D* AContext);
  virtual void ApplyTiming(TContext3D* AContext);
  virtual void ApplyFog(TContext3D* AContext);
  virtual void ApplyBehaviours(TContext3D* AContext);

  virtual void ReleaseShaders();
  virtual void RegisterShaders();
  virtual void RegisterUniformBuffers(TContext3D* AContext, TShaderProgram* AProgram);
  virtual void CreateVertexShaderBuilder();
  virtual void BuildVertexShaderSource();
  virtual void UpdateVertexShader();
  virtual void CreateFragmentShaderBuilder();
  virtual void BuildFragmentShaderSource();
  virtual void UpdateFragmentShader();

  // Both builders, or the fragment builder only.
  void AddDefineBoth(std::string_view AName);
  void RemoveDefineBoth(std::string_view AName);
  bool DefinedBoth(std::string_view AName) const;
  bool DefinedFragment(std::string_view AName) const;
  // Adds "USE_TEXTURE" to both builders when one lacks it.
  void EnsureTexturing();
  // The current time in seconds from process start.
  static double Now();

  TVantrelShaderData FShaderData;

private:
  // The stage's text and variables: the texts shared for the same inputs when the stage's tree
  // is standard and no behaviour is attached, else written from the tree (and shared when
  // they may be).
  void BuildStageSource(TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind, int& AVarIndex,
                        TContextShaderSource& ASource);
  // The shared texts a stage may use, with the key of its inputs in AKey; nullptr when the stage
  // may not share.
  TVantrelStageTextCache* SharedStageTexts(const TVantrelNodeBuilder* ABuilder, TContextShaderKind AKind,
                                           std::string& AKey) const;
  // Declares the pool's uniforms in a tree made outside a text build.
  void FillTextureUniforms(TContextShaderKind AKind);
  // Sets or clears one "texture on" switch: True ensures texturing and adds ADefines (both or
  // fragment), False removes them.
  void SwitchTextureDefine(bool AValue, std::initializer_list<std::string_view> ADefines);
  void SwitchDefine(bool AValue, std::string_view AName, bool AFragmentOnly);
  bool DefinedTexturing(std::string_view AName) const;
  void RebuildPoolNow();
  void UpdateSourceBitmaps();
  void ForgetProgram();

  TVantrelDefaultMaterialSource* FSource;
  TOwned<TVantrelDefaultMaterialRef> FRef;
  float FNormalIntensity = 1.0f;
  bool FInverseNormalMapping = false;
  TOwned<TVantrelGLSLVertexShader> FVSNode;
  TContextShaderSource FVSShaderSource;
  int FVSVarIndex = 0;
  TOwned<TVantrelGLSLFragmentShader> FFSNode;
  TContextShaderSource FFSShaderSource;
  int FFSVarIndex = 0;
  bool FErrorOnBuildingShader = false;
  bool FBuildingStageText = false;
  bool FUpdateShaderProgram = false;
  bool FAllowTexture0 = false;
  bool FAllowNormalMapTexture = false;
  bool FAllowDisplacementMapTexture = false;
  bool FAllowDepthTexture = false;
  bool FAllowReflectionTexture = false;
  bool FAllowRefractionTexture = false;
  bool FAllowEnvironmentTexture = false;
  bool FAllowShadowMapTexture = false;
  TStopwatch FStopWatch;
  bool FMeasureTime = false;
  TOwned<TVantrelTexturePool> FTextures;
  TOwned<TVantrelMaterialBehaviourCollection> FBehaviours;
  bool FShadows = false;
  TVantrelShadowMethod FShadowMethod = TVantrelShadowMethod::ShadowMapping;
  TVantrelTonemapping FTonemapping = TVantrelTonemapping::tmNone;
  bool FReflections = false;
  bool FRefractions = false;
  bool FDepthMapping = false;
  bool FEnvironment = false;

  std::string FShaderIdentity;
  int FBracket = 0;
  bool FTextsPending = false;
  TVantrelBitmapPool* FPoolPending = nullptr;
};

// ---- The default material source ----------------------------------------------------------------

// The pass inputs: insertion-ordered, the passes not owned; a cleared link keeps its key with nil.
using TVantrelPassInputs = TDictionary<std::string, TVantrelPassLink*>;

class TVantrelDefaultMaterialSource : public TMaterialSource {
  RTL_CLASS(TVantrelDefaultMaterialSource, TMaterialSource)
public:
  explicit TVantrelDefaultMaterialSource(TComponent* AOwner);
  ~TVantrelDefaultMaterialSource() override;
  // The material (made by the inherited step), the pass inputs, the pool and, unless loading,
  // the standard entries; then the context-reset subscription.
  void AfterConstruction() override;
  void BeforeDestruction() override;
  void Loaded() override;
  static void RegisterProperties(TPropertyList& AList);

  TVantrelDefaultMaterial* DefaultMaterial() const;
  // While a build is open, the material keeps its rebuild bracket open: it is made with the
  // bracket open, and the source's own construction and whatever the builder sets after it only
  // mark the texts, which the last EndBuild generates once. Open a build before AfterConstruction
  // (on an instance from NewInstance) to take the construction into it; construction alone opens
  // and ends one of its own.
  void BeginBuild() { ++FBuilds; }
  void EndBuild();
  bool Building() const { return FBuilds > 0; }
  const TVantrelPassInputs* GetInputs() const { return FInputs.get(); }
  TVantrelBitmapPool* GetBitmaps() const { return FBitmaps.get(); }
  virtual void SetBitmaps(TVantrelBitmapPool* AValue);

  // ---- forwarded values ----
  TVantrelShadingModel GetShadingModel() const { return DefaultMaterial()->GetShadingModel(); }
  void SetShadingModel(TVantrelShadingModel AValue) { DefaultMaterial()->SetShadingModel(AValue); }
  float GetShadingIntensity() const { return DefaultMaterial()->GetShadingIntensity(); }
  void SetShadingIntensity(float AValue) { DefaultMaterial()->SetShadingIntensity(AValue); }
  float GetBrightness() const { return DefaultMaterial()->GetBrightness(); }
  void SetBrightness(float AValue) { DefaultMaterial()->SetBrightness(AValue); }
  bool GetMeasureTime() const { return DefaultMaterial()->GetMeasureTime(); }
  void SetMeasureTime(bool AValue) { DefaultMaterial()->SetMeasureTime(AValue); }
  TAlphaColorF GetDiffuseF() const { return DefaultMaterial()->GetDiffuse(); }
  void SetDiffuseF(TAlphaColorF AValue) { DefaultMaterial()->SetDiffuse(AValue); }
  TAlphaColorF GetEmissiveF() const { return DefaultMaterial()->GetEmissive(); }
  void SetEmissiveF(TAlphaColorF AValue) { DefaultMaterial()->SetEmissive(AValue); }
  TAlphaColorF GetAmbientF() const { return DefaultMaterial()->GetAmbient(); }
  void SetAmbientF(TAlphaColorF AValue) { DefaultMaterial()->SetAmbient(AValue); }
  TAlphaColorF GetSpecularF() const { return DefaultMaterial()->GetSpecular(); }
  void SetSpecularF(TAlphaColorF AValue) { DefaultMaterial()->SetSpecular(AValue); }
  TAlphaColorF GetClippingColorF() const { return DefaultMaterial()->GetClippingColor(); }
  void SetClippingColorF(TAlphaColorF AValue) { DefaultMaterial()->SetClippingColor(AValue); }
  TAlphaColor GetDiffuse() const;
  void SetDiffuse(TAlphaColor AValue);
  TAlphaColor GetEmissive() const;
  void SetEmissive(TAlphaColor AValue);
  TAlphaColor GetAmbient() const;
  void SetAmbient(TAlphaColor AValue);
  TAlphaColor GetSpecular() const;
  void SetSpecular(TAlphaColor AValue);
  TAlphaColor GetClippingColor() const;
  void SetClippingColor(TAlphaColor AValue);
  float GetShininess() const { return DefaultMaterial()->GetShininess(); }
  void SetShininess(float AValue) { DefaultMaterial()->SetShininess(AValue); }
  float GetNormalIntensity() const { return DefaultMaterial()->GetNormalIntensity(); }
  void SetNormalIntensity(float AValue) { DefaultMaterial()->SetNormalIntensity(AValue); }
  bool GetInverseNormalMapping() const { return DefaultMaterial()->GetInverseNormalMapping(); }
  void SetInverseNormalMapping(bool AValue) { DefaultMaterial()->SetInverseNormalMapping(AValue); }
  int32_t GetParallaxLevels() const { return DefaultMaterial()->GetParallaxLevels(); }
  void SetParallaxLevels(int32_t AValue) { DefaultMaterial()->SetParallaxLevels(AValue); }
  float GetMetallicBias() const { return DefaultMaterial()->GetMetallicBias(); }
  void SetMetallicBias(float AValue) { DefaultMaterial()->SetMetallicBias(AValue); }
  float GetRoughnessBias() const { return DefaultMaterial()->GetRoughnessBias(); }
  void SetRoughnessBias(float AValue) { DefaultMaterial()->SetRoughnessBias(AValue); }
  float GetAOBias() const { return DefaultMaterial()->GetAOBias(); }
  void SetAOBias(float AValue) { DefaultMaterial()->SetAOBias(AValue); }
  float GetNearLimit() const { return DefaultMaterial()->GetNearLimit(); }
  void SetNearLimit(float AValue) { DefaultMaterial()->SetNearLimit(AValue); }
  float GetFarLimit() const { return DefaultMaterial()->GetFarLimit(); }
  void SetFarLimit(float AValue) { DefaultMaterial()->SetFarLimit(AValue); }
  float GetReflectionPower() const { return DefaultMaterial()->GetReflectionPower(); }
  void SetReflectionPower(float AValue) { DefaultMaterial()->SetReflectionPower(AValue); }
  float GetRefractionPower() const { return DefaultMaterial()->GetRefractionPower(); }
  void SetRefractionPower(float AValue) { DefaultMaterial()->SetRefractionPower(AValue); }
  float GetAlphaCutoff() const { return DefaultMaterial()->GetAlphaCutoff(); }
  void SetAlphaCutoff(float AValue) { DefaultMaterial()->SetAlphaCutoff(AValue); }
  float GetTonemappingExposure() const { return DefaultMaterial()->GetTonemappingExposure(); }
  void SetTonemappingExposure(float AValue) { DefaultMaterial()->SetTonemappingExposure(AValue); }
  TVantrelTonemapping GetTonemapping() const { return DefaultMaterial()->GetTonemapping(); }
  void SetTonemapping(TVantrelTonemapping AValue) { DefaultMaterial()->SetTonemapping(AValue); }

#define VANTREL_SOURCE_SWITCH(Name)                                                                           \
  bool Get##Name() const { return DefaultMaterial()->Get##Name(); }                                           \
  void Set##Name(bool AValue) { DefaultMaterial()->Set##Name(AValue); }
  VANTREL_SOURCE_SWITCH(UseLighting)
  VANTREL_SOURCE_SWITCH(UseSpecular)
  VANTREL_SOURCE_SWITCH(UseTexturing)
  VANTREL_SOURCE_SWITCH(UseDisplacementMapping)
  VANTREL_SOURCE_SWITCH(UseNormalMapping)
  VANTREL_SOURCE_SWITCH(UseSpecularMapping)
  VANTREL_SOURCE_SWITCH(UseEmissiveTexture)
  VANTREL_SOURCE_SWITCH(UseDepthMap)
  VANTREL_SOURCE_SWITCH(UseParallaxOcclusion)
  VANTREL_SOURCE_SWITCH(UsePBRAlbedoTexture)
  VANTREL_SOURCE_SWITCH(UsePBRMetallicTexture)
  VANTREL_SOURCE_SWITCH(UsePBRRoughnessTexture)
  VANTREL_SOURCE_SWITCH(UsePBRAOTexture)
  VANTREL_SOURCE_SWITCH(UsePBREmissiveTexture)
  VANTREL_SOURCE_SWITCH(UsePBRSpecularTexture)
  VANTREL_SOURCE_SWITCH(UseVertexColor)
  VANTREL_SOURCE_SWITCH(UseColorClipping)
  VANTREL_SOURCE_SWITCH(UseAlphaCutoff)
  VANTREL_SOURCE_SWITCH(Reflections)
  VANTREL_SOURCE_SWITCH(Refractions)
  VANTREL_SOURCE_SWITCH(Environment)
#undef VANTREL_SOURCE_SWITCH
  bool GetUseTexture0() const { return DefaultMaterial()->GetUseTexture0(); }
  // Also updates the standard entries.
  void SetUseTexture0(bool AValue);
  bool GetShadows() const { return DefaultMaterial()->GetShadows(); }
  void SetShadows(bool AValue);
  TVantrelShadowMethod GetShadowMethod() const { return DefaultMaterial()->GetShadowMethod(); }
  void SetShadowMethod(TVantrelShadowMethod AValue);

  // ---- pass links ----
  TVantrelPassLink* GetDepthPass() const { return GetInput("DepthTexture"); }
  // Also switches the material's depth mapping on for a pass and off for nil.
  void SetDepthPass(TVantrelPassLink* AValue);
  TVantrelPassLink* GetReflectionPass() const { return GetInput("ReflectionTexture"); }
  void SetReflectionPass(TVantrelPassLink* AValue) { SetInput("ReflectionTexture", AValue); }
  TVantrelPassLink* GetRefractionPass() const { return GetInput("RefractionTexture"); }
  void SetRefractionPass(TVantrelPassLink* AValue) { SetInput("RefractionTexture", AValue); }
  TVantrelPassLink* GetEnvironmentPass() const { return GetInput("EnvironmentTexture"); }
  void SetEnvironmentPass(TVantrelPassLink* AValue) { SetInput("EnvironmentTexture", AValue); }
  TVantrelPassLink* GetMainShadowMapPass() const { return GetShadowMapPass(0); }
  void SetMainShadowMapPass(TVantrelPassLink* AValue) { SetShadowMapPass(0, AValue); }
  TVantrelPassLink* GetShadowMapPass(int AIndex) const;
  void SetShadowMapPass(int AIndex, TVantrelPassLink* AValue);

  // ---- user functions ----
  TStrings* GetVertexShader() const;
  void SetVertexShader(TStrings* AValue);
  TStrings* GetSurfaceShader() const;
  void SetSurfaceShader(TStrings* AValue);

  // ---- behaviours ----
  TVantrelMaterialBehaviourCollection* GetBehaviours() const;
  void SetBehaviours(TVantrelMaterialBehaviourCollection* AValue);
  int IndexOfMaterialBehaviour(const TVantrelMaterialBehaviour* ABehaviour) const;
  bool MaterialBehaviourAttached(const TVantrelMaterialBehaviour* ABehaviour) const;
  void AttachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour);
  // Clears the item's behaviour first (remove hooks, OnDetached, rebuild), then deletes it.
  void DetachMaterialBehaviour(TVantrelMaterialBehaviour* ABehaviour);
  void ClearMaterialsBehaviours();

  // ---- bitmaps ----
  TBitmap* GetTexture() const;
  void SetTexture(TBitmap* AValue);
  TBitmap* GetNormalMap() const;
  void SetNormalMap(TBitmap* AValue);
  TBitmap* GetDisplacementMap() const;
  void SetDisplacementMap(TBitmap* AValue);
  TVector3D GetDisplacement() const;
  void SetDisplacement(const TVector3D& AValue);
  // Component AIndex (0 .. 3: X, Y, Z, W) of Displacement; writing replaces only that component.
  float GetDisplacementComponent(int AIndex) const;
  void SetDisplacementComponent(int AIndex, float AValue);
  TPointF GetTextureTiling(int AIndex) const;
  void SetTextureTiling(int AIndex, const TPointF& AValue);

  void CreateBitmapPool();
  TVantrelBitmapPoolEntry* AddBitmap(std::string_view AName, TPixelFormatEx AComps, TPixelFormatEx AFormat,
                                     TVantrelTextureDataType ADataType, bool AIsDynamic, bool AIgnoreInArray,
                                     bool AProtectFormatSettings, TContextShaderKind AShaderKind,
                                     TVantrelTextureKind ATextureKind);
  void RemoveBitmap(std::string_view AName);
  TVantrelBitmapPoolEntry* FindBitmapEntryByName(std::string_view AName) const;
  TBitmap* FindBitmapByName(std::string_view AName) const;
  // Runs DoUpdateDefaultBitmaps.
  void UpdateDefaultBitmaps();

  // ---- definitions ----
  // The nearest parent or owner of the class registered as "Vantrel.Model.TVantrelModel"; nil
  // while no such class is registered.
  TFmxObject* FindModel() const;
  // A new default source (always this class, whatever class calls it) with AOwner, loaded from
  // ADef; nil unless ADef is a material definition.
  static TVantrelDefaultMaterialSource* CreateFromDefinition(TComponent* AOwner, const TCustomDef* ADef);
  // Both do nothing for anything but a material definition. Loading runs inside one rebuild
  // bracket and keeps ADef as TagObject.
  virtual void LoadFromDefinition(const TCustomDef* ADef);
  virtual void StoreToDefinition(TCustomDef* ADef);

  // The values a fresh source of this class has where a variant presets its material; a published
  // property is stored only when it differs from them.
  virtual TVantrelShadingModel PresetShadingModel() const { return TVantrelShadingModel::smBlinnPhong; }
  virtual float PresetShininess() const { return 32.0f; }
  virtual TAlphaColor PresetAmbient() const { return 0xFF808080; }
  virtual float PresetNormalIntensity() const { return 1.0f; }
  bool IsShadingModelStored() const { return GetShadingModel() != PresetShadingModel(); }
  bool IsShininessStored() const { return GetShininess() != PresetShininess(); }
  bool IsAmbientStored() const { return GetAmbient() != PresetAmbient(); }
  bool IsNormalIntensityStored() const { return GetNormalIntensity() != PresetNormalIntensity(); }
  // The pool's OnUpdate: rebuilds the material's texture pool and both texts.
  void DoOnBitmapPoolUpdate(TObject* ASender);

protected:
  TOwned<TMaterial> CreateMaterial() override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  virtual void DoOnContextReset(TObject* ASender, const TMessageBase* AMessage);
  virtual void UpdateBitmapEntries();
  virtual void DoUpdateDefaultBitmaps();
  // The load and store steps, inside the rebuild bracket; variants add their extensions after the
  // inherited step.
  virtual void DoLoadFromDefinition(const TMaterialDef& ADef);
  virtual void DoStoreToDefinition(TMaterialDef& ADef);

public:
  // The bitmap of the entry AName; nil in design mode when missing, else raises AMessage.
  TBitmap* NamedBitmap(const std::string& AName, std::string_view AMessage) const;
  // Copies ABitmap into the entry's bitmap when reading it gives one.
  void SetNamedBitmap(const std::string& AName, std::string_view AMessage, TBitmap* ABitmap);
  // The pass linked under any input key; setting stores it under the key (nil keeps the key).
  TVantrelPassLink* GetInput(const std::string& AKey) const;
  void SetInput(const std::string& AKey, TVantrelPassLink* AValue);

private:
  // Drops the free notification of APass when no key links it any more.
  void ReleasePassNotification(TVantrelPassLink* APass);
  TAlphaColor ToColor(const TAlphaColorF& AValue) const;
  void LoadShaders(const TMaterialDef& ADef);
  void LoadTextures(const TMaterialDef& ADef);
  void LoadBehaviours(const TMaterialDef& ADef);
  void LoadExtensions(const TMaterialDef& ADef);
  void StoreShader(TMaterialDef& ADef, TContextShaderKindEx AKind, const char* AId, const TStrings& ALines);
  void StoreTextures(TMaterialDef& ADef);

  int FContextResetOvrId = 0;
  int FBuilds = 0;
  TOwned<TVantrelBitmapPool> FBitmaps;
  std::unique_ptr<TVantrelPassInputs> FInputs;
};

// The bitmap-entry name of a texture channel (ordinals 0 .. 17), and the channel of an entry name
// (UserSpecific for a name not in the table).
std::string_view ChannelEntryName(int AChannelOrdinal);
int ChannelOfEntryName(std::string_view AName);

// Registers the default source for streaming; counted.
void InitializeMaterialDefault();
void FinalizeMaterialDefault();

} // namespace vantrel
