#pragma once
// The sky box: its shader record, which is also the shaders' uniform block "SkyBoxShaderData".

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Vantrel.Prelude.h"
#include "rtl/colors.h"
#include "rtl/json.h"
#include "rtl/math3d.h"
#include "rtl/stopwatch.h"
#include "rtl/types2d.h"
#include "scene/Vantrel.Cube.h"
#include "context/Vantrel.Context.Texturing.h"
#include <array>
#include <string>
#include "ui/material.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace vantrel {

// The sky settings and per-draw values in the std140 layout of the uniform block
// "SkyBoxShaderData" (binding 0). Matrices are stored as the host keeps them (row vectors); the
// shaders multiply matrix times column vector, which applies the same transform.
struct TSkyBoxShaderData {
  rtl::TMatrix3D ModelViewProjMatrix;
  rtl::TMatrix3D ModelMatrix;
  rtl::TMatrix3D ViewMatrix;
  rtl::TMatrix3D ProjMatrix;
  rtl::TVector3D TimeInfo;
  rtl::TVector3D EyePos;
  rtl::TAlphaColorF Diffuse;
  rtl::TAlphaColorF Emissive;
  rtl::TVector3D Resolution;
  rtl::TPointF CrescentOfs;
  float CrescentMoon;
  float MoonSurface;
  float DepolarizationFactor;
  float Luminance;
  float MieCoefficient;
  float MieDirectionalG;
  float MieV;
  float MieZenithLength;
  uint8_t Reserve1[8];
  rtl::TVector3D MieKCoefficient;
  rtl::TPoint3D Primaries;
  float NumMolecules;
  float Rayleigh;
  float RayleighZenithLength;
  float RefractiveIndex;
  float SunAngularDiameterDegrees;
  float SunIntensityFactor;
  float SunIntensityFalloffSteepness;
  float TonemapWeighting;
  float Turbidity;
  float Inclination;
  float Azimuth;
  float StarDensity;
  float StarProbe;
  float StarSize;
  float StarSpark;
  float StarBrightness;
  float Reserve2;
  rtl::TAlphaColorF StarColor;
  rtl::TAlphaColorF CloudColor;
  int32_t CloudIterations;
  float CloudFrequency;
  float CloudAmplitude;
  int32_t FogMode;
  float FogDensity;
  float FogStart;
  float FogEnd;
  float Reserve3;
  rtl::TAlphaColorF FogColor;
  rtl::TVector3D Settings;

  // A zeroed record with the defaults; style 0 has a sun diameter of 0.1, any other 0.05.
  static TSkyBoxShaderData Create(int32_t AStyle);
  void Reset(int32_t AStyle);

  // The 34 configuration values, scalars as the Single widened to double, CloudIterations as an
  // integer.
  std::unique_ptr<rtl::TJSONObject> ToJSON() const;
  // Resets the record (style 0) and reads the configuration values; missing or mistyped values
  // keep their defaults, and nothing is clamped except CloudIterations (0..16).
  void FromJSON(const rtl::TJSONObject& AJSON);
};

static_assert(sizeof(TSkyBoxShaderData) == 576);
static_assert(offsetof(TSkyBoxShaderData, ModelViewProjMatrix) == 0);
static_assert(offsetof(TSkyBoxShaderData, ModelMatrix) == 64);
static_assert(offsetof(TSkyBoxShaderData, ViewMatrix) == 128);
static_assert(offsetof(TSkyBoxShaderData, ProjMatrix) == 192);
static_assert(offsetof(TSkyBoxShaderData, TimeInfo) == 256);
static_assert(offsetof(TSkyBoxShaderData, EyePos) == 272);
static_assert(offsetof(TSkyBoxShaderData, Diffuse) == 288);
static_assert(offsetof(TSkyBoxShaderData, Emissive) == 304);
static_assert(offsetof(TSkyBoxShaderData, Resolution) == 320);
static_assert(offsetof(TSkyBoxShaderData, CrescentOfs) == 336);
static_assert(offsetof(TSkyBoxShaderData, CrescentMoon) == 344);
static_assert(offsetof(TSkyBoxShaderData, MoonSurface) == 348);
static_assert(offsetof(TSkyBoxShaderData, DepolarizationFactor) == 352);
static_assert(offsetof(TSkyBoxShaderData, Luminance) == 356);
static_assert(offsetof(TSkyBoxShaderData, MieCoefficient) == 360);
static_assert(offsetof(TSkyBoxShaderData, MieDirectionalG) == 364);
static_assert(offsetof(TSkyBoxShaderData, MieV) == 368);
static_assert(offsetof(TSkyBoxShaderData, MieZenithLength) == 372);
static_assert(offsetof(TSkyBoxShaderData, Reserve1) == 376);
static_assert(offsetof(TSkyBoxShaderData, MieKCoefficient) == 384);
static_assert(offsetof(TSkyBoxShaderData, Primaries) == 400);
static_assert(offsetof(TSkyBoxShaderData, NumMolecules) == 412);
static_assert(offsetof(TSkyBoxShaderData, Rayleigh) == 416);
static_assert(offsetof(TSkyBoxShaderData, RayleighZenithLength) == 420);
static_assert(offsetof(TSkyBoxShaderData, RefractiveIndex) == 424);
static_assert(offsetof(TSkyBoxShaderData, SunAngularDiameterDegrees) == 428);
static_assert(offsetof(TSkyBoxShaderData, SunIntensityFactor) == 432);
static_assert(offsetof(TSkyBoxShaderData, SunIntensityFalloffSteepness) == 436);
static_assert(offsetof(TSkyBoxShaderData, TonemapWeighting) == 440);
static_assert(offsetof(TSkyBoxShaderData, Turbidity) == 444);
static_assert(offsetof(TSkyBoxShaderData, Inclination) == 448);
static_assert(offsetof(TSkyBoxShaderData, Azimuth) == 452);
static_assert(offsetof(TSkyBoxShaderData, StarDensity) == 456);
static_assert(offsetof(TSkyBoxShaderData, StarProbe) == 460);
static_assert(offsetof(TSkyBoxShaderData, StarSize) == 464);
static_assert(offsetof(TSkyBoxShaderData, StarSpark) == 468);
static_assert(offsetof(TSkyBoxShaderData, StarBrightness) == 472);
static_assert(offsetof(TSkyBoxShaderData, Reserve2) == 476);
static_assert(offsetof(TSkyBoxShaderData, StarColor) == 480);
static_assert(offsetof(TSkyBoxShaderData, CloudColor) == 496);
static_assert(offsetof(TSkyBoxShaderData, CloudIterations) == 512);
static_assert(offsetof(TSkyBoxShaderData, CloudFrequency) == 516);
static_assert(offsetof(TSkyBoxShaderData, CloudAmplitude) == 520);
static_assert(offsetof(TSkyBoxShaderData, FogMode) == 524);
static_assert(offsetof(TSkyBoxShaderData, FogDensity) == 528);
static_assert(offsetof(TSkyBoxShaderData, FogStart) == 532);
static_assert(offsetof(TSkyBoxShaderData, FogEnd) == 536);
static_assert(offsetof(TSkyBoxShaderData, Reserve3) == 540);
static_assert(offsetof(TSkyBoxShaderData, FogColor) == 544);
static_assert(offsetof(TSkyBoxShaderData, Settings) == 560);

} // namespace vantrel

namespace rtl {
class TStream;
}

namespace vantrel {

// CloudIterations as the shader may loop it: rounded and limited to 0..16 (NaN gives 0).
int32_t ClampCloudIterations(double AValue);
// The configuration from the stream's position to its end, as UTF-8 JSON text (GL-free). Text
// that is no JSON object raises "failed to load sky box configuration - json object expected".
TSkyBoxShaderData ReadSkyBoxConfiguration(rtl::TStream& AStream);
// The configuration as compact UTF-8 JSON text without byte-order mark, at the stream's position.
void WriteSkyBoxConfiguration(const TSkyBoxShaderData& AData, rtl::TStream& AStream);

} // namespace vantrel

namespace vantrel {

class TVantrelTextureBitmap;
class TVantrelSkyBoxMaterialSource;

enum class TVantrelSkyBoxMode : uint8_t { CubeMapSkyBox, ProceduralSkyBox, Blank };
RTL_ENUM_TYPEINFO(TVantrelSkyBoxMode, "CubeMapSkyBox", "ProceduralSkyBox", "Blank")

// The sky box's material: one record of settings that is also the shaders' uniform block, five
// shaders registered under names unique to the instance, and the shader pair of its mode.
class TVantrelSkyBoxMaterial : public ui::TCustomMaterial {
  RTL_CLASS(TVantrelSkyBoxMaterial, ui::TCustomMaterial)
public:
  explicit TVantrelSkyBoxMaterial(TVantrelSkyBoxMaterialSource* ASource = nullptr);
  // Removes the programs of its three pairs from the context's list (their uniform block points
  // into this object) and hands its five shaders back to the shader manager.
  void BeforeDestruction() override;

  TVantrelSkyBoxMaterialSource* Source() const { return FSource; }
  TVantrelSkyBoxMode GetMode() const { return FMode; }
  void SetMode(TVantrelSkyBoxMode AValue) { FMode = AValue; }
  ui::TTexture* GetCubeMap() const { return FCubeMap; }
  // Stores a different texture; the change notification runs in every case.
  void SetCubeMap(ui::TTexture* AValue);
  bool GetAllowFog() const { return FAllowFog; }
  void SetAllowFog(bool AValue) { FAllowFog = AValue; }
  bool GetStarsEnabled() const { return FStarsEnabled; }
  void SetStarsEnabled(bool AValue) { FStarsEnabled = AValue; }
  bool GetCloudsEnabled() const { return FCloudsEnabled; }
  void SetCloudsEnabled(bool AValue) { FCloudsEnabled = AValue; }

  // The whole record; SetShaderData stores it as it is, with no clamp and no notification.
  const TSkyBoxShaderData& GetShaderData() const { return FShaderData; }
  void SetShaderData(const TSkyBoxShaderData& AValue) { FShaderData = AValue; }

  // Colours and the crescent offset are stored as they are.
  rtl::TAlphaColorF GetDiffuse() const { return FShaderData.Diffuse; }
  void SetDiffuse(const rtl::TAlphaColorF& AValue) { FShaderData.Diffuse = AValue; }
  rtl::TAlphaColorF GetEmissive() const { return FShaderData.Emissive; }
  void SetEmissive(const rtl::TAlphaColorF& AValue) { FShaderData.Emissive = AValue; }
  rtl::TAlphaColorF GetStarColor() const { return FShaderData.StarColor; }
  void SetStarColor(const rtl::TAlphaColorF& AValue) { FShaderData.StarColor = AValue; }
  rtl::TAlphaColorF GetCloudColor() const { return FShaderData.CloudColor; }
  void SetCloudColor(const rtl::TAlphaColorF& AValue) { FShaderData.CloudColor = AValue; }
  rtl::TPointF GetCrescentOfs() const { return FShaderData.CrescentOfs; }
  void SetCrescentOfs(const rtl::TPointF& AValue) { FShaderData.CrescentOfs = AValue; }

  // Clamped to 0..1, so a negative value stores 0.
  float GetCrescentMoon() const { return FShaderData.CrescentMoon; }
  void SetCrescentMoon(float AValue);
  // CrescentMoon > 0; writing keeps the size and sets the sign.
  bool GetCrescent() const { return FShaderData.CrescentMoon > 0; }
  void SetCrescent(bool AValue);

  // The scalar settings, each clamped to its range.
  float GetMoonSurface() const { return FShaderData.MoonSurface; }
  void SetMoonSurface(float AValue);
  float GetDepolarizationFactor() const { return FShaderData.DepolarizationFactor; }
  void SetDepolarizationFactor(float AValue);
  float GetLuminance() const { return FShaderData.Luminance; }
  void SetLuminance(float AValue);
  float GetMieCoefficient() const { return FShaderData.MieCoefficient; }
  void SetMieCoefficient(float AValue);
  float GetMieDirectionalG() const { return FShaderData.MieDirectionalG; }
  void SetMieDirectionalG(float AValue);
  float GetMieV() const { return FShaderData.MieV; }
  void SetMieV(float AValue);
  float GetMieZenithLength() const { return FShaderData.MieZenithLength; }
  void SetMieZenithLength(float AValue);
  rtl::TVector3D GetMieKCoefficient() const { return FShaderData.MieKCoefficient; }
  void SetMieKCoefficient(const rtl::TVector3D& AValue);
  rtl::TPoint3D GetPrimaries() const { return FShaderData.Primaries; }
  void SetPrimaries(const rtl::TPoint3D& AValue);
  float GetNumMolecules() const { return FShaderData.NumMolecules; }
  void SetNumMolecules(float AValue);
  float GetRayleigh() const { return FShaderData.Rayleigh; }
  void SetRayleigh(float AValue);
  float GetRayleighZenithLength() const { return FShaderData.RayleighZenithLength; }
  void SetRayleighZenithLength(float AValue);
  float GetRefractiveIndex() const { return FShaderData.RefractiveIndex; }
  void SetRefractiveIndex(float AValue);
  float GetSunAngularDiameterDegrees() const { return FShaderData.SunAngularDiameterDegrees; }
  void SetSunAngularDiameterDegrees(float AValue);
  float GetSunIntensityFactor() const { return FShaderData.SunIntensityFactor; }
  void SetSunIntensityFactor(float AValue);
  float GetSunIntensityFalloffSteepness() const { return FShaderData.SunIntensityFalloffSteepness; }
  void SetSunIntensityFalloffSteepness(float AValue);
  float GetTonemapWeighting() const { return FShaderData.TonemapWeighting; }
  void SetTonemapWeighting(float AValue);
  float GetTurbidity() const { return FShaderData.Turbidity; }
  void SetTurbidity(float AValue);
  float GetInclination() const { return FShaderData.Inclination; }
  void SetInclination(float AValue);
  float GetAzimuth() const { return FShaderData.Azimuth; }
  void SetAzimuth(float AValue);
  float GetStarDensity() const { return FShaderData.StarDensity; }
  void SetStarDensity(float AValue);
  float GetStarProbe() const { return FShaderData.StarProbe; }
  void SetStarProbe(float AValue);
  float GetStarSize() const { return FShaderData.StarSize; }
  void SetStarSize(float AValue);
  float GetStarSpark() const { return FShaderData.StarSpark; }
  void SetStarSpark(float AValue);
  float GetStarBrightness() const { return FShaderData.StarBrightness; }
  void SetStarBrightness(float AValue);
  int32_t GetCloudIterations() const { return FShaderData.CloudIterations; }
  void SetCloudIterations(int32_t AValue);
  float GetCloudFrequency() const { return FShaderData.CloudFrequency; }
  void SetCloudFrequency(float AValue);
  float GetCloudAmplitude() const { return FShaderData.CloudAmplitude; }
  void SetCloudAmplitude(float AValue);

  // The five shaders, in registration order: cube-map vertex, procedural vertex, cube-map
  // fragment, procedural fragment, blank fragment.
  ui::TContextShader* Shader(int AIndex) const;
  // The pair the mode draws with (any mode but Procedural and Blank draws the cube map).
  void PairOf(TVantrelSkyBoxMode AMode, ui::TContextShader*& AVertex, ui::TContextShader*& AFragment) const;

protected:
  // Registers the five shaders.
  void DoInitialize() override;
  // Sets the mode's pair, fills the per-draw values from the context and uploads the record.
  void DoApply(ui::TContext3D* AContext) override;
  // The sky shaders take the matrices from the record, not by name.
  std::string DoGetMaterialProperty(ui::TMaterialProperty) const override { return {}; }

private:
  TVantrelSkyBoxMaterialSource* FSource = nullptr;
  TVantrelSkyBoxMode FMode = TVantrelSkyBoxMode::ProceduralSkyBox;
  ui::TTexture* FCubeMap = nullptr;
  bool FAllowFog = true;
  bool FStarsEnabled = true;
  bool FCloudsEnabled = true;
  rtl::TStopwatch FStopWatch;
  TSkyBoxShaderData FShaderData = TSkyBoxShaderData::Create(0);
  bool FShaderDataRegistered = false;
  ui::TContextShader* FPrevVS = nullptr;
  ui::TContextShader* FPrevFS = nullptr;
  ui::TContextShader* FVertexShader2 = nullptr;
  ui::TContextShader* FPixelShader2 = nullptr;
  ui::TContextShader* FPixelShader3 = nullptr;

  void BuildSkyBoxShaders();
  void ApplySkyBoxUniforms(ui::TContext3D* AContext);
};

// Makes and owns the sky material and the cube-map bitmap the sky box uploads its faces into.
class TVantrelSkyBoxMaterialSource : public ui::TMaterialSource {
  RTL_CLASS(TVantrelSkyBoxMaterialSource, ui::TMaterialSource)
public:
  explicit TVantrelSkyBoxMaterialSource(rtl::TComponent* AOwner);
  ~TVantrelSkyBoxMaterialSource() override;
  // Creates the cube-map bitmap and subscribes to the context-reset message.
  void AfterConstruction() override;
  // Unsubscribes before the bitmap goes.
  void BeforeDestruction() override;

  TVantrelSkyBoxMaterial* SkyMaterial() const { return static_cast<TVantrelSkyBoxMaterial*>(GetMaterial()); }
  TVantrelSkyBoxMode GetMode() const { return SkyMaterial()->GetMode(); }
  void SetMode(TVantrelSkyBoxMode AValue) { SkyMaterial()->SetMode(AValue); }
  bool GetAllowFog() const { return SkyMaterial()->GetAllowFog(); }
  void SetAllowFog(bool AValue) { SkyMaterial()->SetAllowFog(AValue); }
  rtl::TAlphaColorF GetDiffuse() const { return SkyMaterial()->GetDiffuse(); }
  void SetDiffuse(const rtl::TAlphaColorF& AValue) { SkyMaterial()->SetDiffuse(AValue); }
  rtl::TAlphaColorF GetEmissive() const { return SkyMaterial()->GetEmissive(); }
  void SetEmissive(const rtl::TAlphaColorF& AValue) { SkyMaterial()->SetEmissive(AValue); }
  TVantrelTextureBitmap* GetCubeMap() const { return FCubeMap.get(); }
  // Copies AValue into the owned bitmap.
  void SetCubeMap(TVantrelTextureBitmap* AValue);

  // The material's cube map: none for an empty bitmap, else the bitmap's texture; then the
  // material's change notification.
  void UpdateMaterialCubeMap();

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override;

private:
  rtl::TOwned<TVantrelTextureBitmap> FCubeMap;
  int FContextResetOvrId = 0;
};

// The sky: a 500-unit box seen from inside, drawn first, with the sky material in one of three
// modes. It owns its material source and six face bitmaps, and saves and loads its atmosphere
// settings as a JSON configuration.
class TVantrelSkyBox : public TVantrelCube {
  RTL_CLASS(TVantrelSkyBox, TVantrelCube)
public:
  explicit TVantrelSkyBox(rtl::TComponent* AOwner) : TVantrelCube(AOwner) {}
  static void RegisterProperties(rtl::TPropertyList& AList);
  void AfterConstruction() override;
  void BeforeDestruction() override;

  TVantrelSkyBoxMaterialSource* SkyMaterialSource() const { return FMaterial; }
  TVantrelSkyBoxMaterial* SkyMaterial() const { return FMaterial ? FMaterial->SkyMaterial() : nullptr; }

  ui::TBitmap* GetTexture(TVantrelCubeMapFace AIndex) const { return FTextures[static_cast<int>(AIndex)]; }
  // The bitmap must be square with a power-of-two width; else the face stays as it was.
  void SetTexture(TVantrelCubeMapFace AIndex, ui::TBitmap* AValue);
  // Loads APath + "negz"/"posz"/"posy"/"negy"/"negx"/"posx" + AFileExt into their faces; faces
  // set before a failure keep their new images.
  void LoadCubeMapFacesFromPath(const std::string& APath, const std::string& AFileExt);

  TSkyBoxShaderData GetConfiguration() const { return SkyMaterial()->GetShaderData(); }
  // The whole record, without notification; the cloud octaves are bounded to 0..16.
  void SetConfiguration(const TSkyBoxShaderData& AProps);
  std::unique_ptr<rtl::TJSONObject> ToJSON() const { return GetConfiguration().ToJSON(); }
  void FromJSON(const rtl::TJSONObject& AJSON);
  // Text that is no JSON object raises and keeps the configuration.
  void LoadFromStream(rtl::TStream& AStream);
  void LoadFromFile(const std::string& AFileName);
  void SaveToStream(rtl::TStream& AStream) const;
  void SaveToFile(const std::string& AFileName) const;

  void RebuildMesh(bool AIsStatic) override;
  virtual void CreateFaceBitmaps();
  virtual void FreeFaceBitmaps();
  // Uploads the faces into the material's cube map when one changed; empty faces are skipped.
  virtual void UpdateCubeMap();

  // Public, not published.
  rtl::TPoint3D GetSize() const { return {Width(), Height(), Depth()}; }
  void SetSize(const rtl::TPoint3D& AValue);
  rtl::TPointF GetCrescentOfs() const { return SkyMaterial()->GetCrescentOfs(); }
  void SetCrescentOfs(const rtl::TPointF& AValue) { SkyMaterial()->SetCrescentOfs(AValue); }
  rtl::TVector3D GetMieKCoefficient() const { return SkyMaterial()->GetMieKCoefficient(); }
  void SetMieKCoefficient(const rtl::TVector3D& AValue) { SkyMaterial()->SetMieKCoefficient(AValue); }
  rtl::TPoint3D GetPrimaries() const { return SkyMaterial()->GetPrimaries(); }
  void SetPrimaries(const rtl::TPoint3D& AValue) { SkyMaterial()->SetPrimaries(AValue); }

  // Published forwarding.
  TVantrelSkyBoxMode GetMode() const { return FMaterial->GetMode(); }
  void SetMode(TVantrelSkyBoxMode AValue);
  bool GetAllowFog() const { return FMaterial->GetAllowFog(); }
  void SetAllowFog(bool AValue) { FMaterial->SetAllowFog(AValue); }
  rtl::TAlphaColor GetDiffuse() const { return FMaterial->GetDiffuse().ToAlphaColor(); }
  void SetDiffuse(rtl::TAlphaColor AValue) { FMaterial->SetDiffuse(rtl::TAlphaColorF::Create(AValue)); }
  rtl::TAlphaColor GetEmissive() const { return FMaterial->GetEmissive().ToAlphaColor(); }
  void SetEmissive(rtl::TAlphaColor AValue) { FMaterial->SetEmissive(rtl::TAlphaColorF::Create(AValue)); }
  rtl::TAlphaColor GetStarColor() const { return SkyMaterial()->GetStarColor().ToAlphaColor(); }
  void SetStarColor(rtl::TAlphaColor AValue) { SkyMaterial()->SetStarColor(rtl::TAlphaColorF::Create(AValue)); }
  rtl::TAlphaColor GetCloudColor() const { return SkyMaterial()->GetCloudColor().ToAlphaColor(); }
  void SetCloudColor(rtl::TAlphaColor AValue) { SkyMaterial()->SetCloudColor(rtl::TAlphaColorF::Create(AValue)); }
  float GetCrescentMoon() const { return SkyMaterial()->GetCrescentMoon(); }
  // Stores the size and keeps a negative value's sign as Crescent False, so a form that writes
  // CrescentMoon before Crescent reloads the same crescent.
  void SetCrescentMoon(float AValue);
  bool GetCrescent() const { return SkyMaterial()->GetCrescent(); }
  void SetCrescent(bool AValue) { SkyMaterial()->SetCrescent(AValue); }
  float GetCrescentOfsX() const { return GetCrescentOfs().X; }
  void SetCrescentOfsX(float AValue);
  float GetCrescentOfsY() const { return GetCrescentOfs().Y; }
  void SetCrescentOfsY(float AValue);
  float GetMieKCoefficientComponent(int AIndex) const;
  void SetMieKCoefficientComponent(int AIndex, float AValue);
  float GetPrimariesComponent(int AIndex) const;
  void SetPrimariesComponent(int AIndex, float AValue);
#define VANTREL_SKY_COMPONENT(Name, Kind, Index)                                                              \
  float Get##Name() const { return Get##Kind##Component(Index); }                                          \
  void Set##Name(float AValue) { Set##Kind##Component(Index, AValue); }
  VANTREL_SKY_COMPONENT(MieKCoefficientX, MieKCoefficient, 0)
  VANTREL_SKY_COMPONENT(MieKCoefficientY, MieKCoefficient, 1)
  VANTREL_SKY_COMPONENT(MieKCoefficientZ, MieKCoefficient, 2)
  VANTREL_SKY_COMPONENT(MieKCoefficientW, MieKCoefficient, 3)
  VANTREL_SKY_COMPONENT(PrimariesA, Primaries, 0)
  VANTREL_SKY_COMPONENT(PrimariesB, Primaries, 1)
  VANTREL_SKY_COMPONENT(PrimariesC, Primaries, 2)
#undef VANTREL_SKY_COMPONENT
  bool GetStarsEnabled() const { return SkyMaterial()->GetStarsEnabled(); }
  void SetStarsEnabled(bool AValue) { SkyMaterial()->SetStarsEnabled(AValue); }
  bool GetCloudsEnabled() const { return SkyMaterial()->GetCloudsEnabled(); }
  void SetCloudsEnabled(bool AValue) { SkyMaterial()->SetCloudsEnabled(AValue); }
  int32_t GetCloudIterations() const { return SkyMaterial()->GetCloudIterations(); }
  void SetCloudIterations(int32_t AValue) { SkyMaterial()->SetCloudIterations(AValue); }

#define VANTREL_SKY_FORWARD(Name)                                                                            \
  float Get##Name() const { return SkyMaterial()->Get##Name(); }                                             \
  void Set##Name(float AValue) { SkyMaterial()->Set##Name(AValue); }
  VANTREL_SKY_FORWARD(MoonSurface)
  VANTREL_SKY_FORWARD(DepolarizationFactor)
  VANTREL_SKY_FORWARD(Luminance)
  VANTREL_SKY_FORWARD(MieCoefficient)
  VANTREL_SKY_FORWARD(MieDirectionalG)
  VANTREL_SKY_FORWARD(MieV)
  VANTREL_SKY_FORWARD(MieZenithLength)
  VANTREL_SKY_FORWARD(NumMolecules)
  VANTREL_SKY_FORWARD(Rayleigh)
  VANTREL_SKY_FORWARD(RayleighZenithLength)
  VANTREL_SKY_FORWARD(RefractiveIndex)
  VANTREL_SKY_FORWARD(SunAngularDiameterDegrees)
  VANTREL_SKY_FORWARD(SunIntensityFactor)
  VANTREL_SKY_FORWARD(SunIntensityFalloffSteepness)
  VANTREL_SKY_FORWARD(TonemapWeighting)
  VANTREL_SKY_FORWARD(Turbidity)
  VANTREL_SKY_FORWARD(Inclination)
  VANTREL_SKY_FORWARD(Azimuth)
  VANTREL_SKY_FORWARD(StarDensity)
  VANTREL_SKY_FORWARD(StarProbe)
  VANTREL_SKY_FORWARD(StarSize)
  VANTREL_SKY_FORWARD(StarSpark)
  VANTREL_SKY_FORWARD(StarBrightness)
  VANTREL_SKY_FORWARD(CloudFrequency)
  VANTREL_SKY_FORWARD(CloudAmplitude)
#undef VANTREL_SKY_FORWARD

  ui::TBitmap* GetFrontSide() const { return GetTexture(TVantrelCubeMapFace::NegativeZ); }
  void SetFrontSide(ui::TBitmap* AValue) { SetTexture(TVantrelCubeMapFace::NegativeZ, AValue); }
  ui::TBitmap* GetBackSide() const { return GetTexture(TVantrelCubeMapFace::PositiveZ); }
  void SetBackSide(ui::TBitmap* AValue) { SetTexture(TVantrelCubeMapFace::PositiveZ, AValue); }
  ui::TBitmap* GetTopSide() const { return GetTexture(TVantrelCubeMapFace::PositiveY); }
  void SetTopSide(ui::TBitmap* AValue) { SetTexture(TVantrelCubeMapFace::PositiveY, AValue); }
  ui::TBitmap* GetBottomSide() const { return GetTexture(TVantrelCubeMapFace::NegativeY); }
  void SetBottomSide(ui::TBitmap* AValue) { SetTexture(TVantrelCubeMapFace::NegativeY, AValue); }
  ui::TBitmap* GetLeftSide() const { return GetTexture(TVantrelCubeMapFace::NegativeX); }
  void SetLeftSide(ui::TBitmap* AValue) { SetTexture(TVantrelCubeMapFace::NegativeX, AValue); }
  ui::TBitmap* GetRightSide() const { return GetTexture(TVantrelCubeMapFace::PositiveX); }
  void SetRightSide(ui::TBitmap* AValue) { SetTexture(TVantrelCubeMapFace::PositiveX, AValue); }

protected:
  // Uploads changed faces, then draws the cube with the sky material.
  void Render() override;

private:
  bool FDoUpdateCubeMap = false;
  std::array<TVantrelTextureBitmap*, 6> FTextures{};
  TVantrelSkyBoxMaterialSource* FMaterial = nullptr;
};


// Registers the sky box classes. Counted.
void InitializeSkyBox();
void FinalizeSkyBox();

} // namespace vantrel
