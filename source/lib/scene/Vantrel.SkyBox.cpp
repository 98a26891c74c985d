// The sky box material and its material source.

#include "scene/Vantrel.SkyBox.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Shader.h"
#include "context/Vantrel.Context.Texturing.h"
#include "context/Vantrel.Context.h"
#include "rtl/messaging.h"
#include "rtl/properties.h"
#include "rtl/streams.h"
#include "ui/bitmap.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.SkyBox.Shaders.h"
#include "ui/context3d.h"
#include "ui/messages.h"
#include "utils/Vantrel.Utils.Math.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelSkyBoxMaterial, "Vantrel.SkyBox")
RTL_DEFINE_CLASS(TVantrelSkyBoxMaterialSource, "Vantrel.SkyBox")

namespace {

constexpr const char* ShaderDataBlock = "SkyBoxShaderData";

// One shader of the material: its name pattern, stage and text.
struct TShaderRow {
  const char* NamePattern;
  ui::TContextShaderKind Kind;
  std::string (*Text)();
  bool TakesCubeMap;
};

constexpr TShaderRow ShaderRows[] = {
    {"SkyBox-%d.fvs", ui::TContextShaderKind::VertexShader, skybox_shaders::CubeMapVertexShader, false},
    {"SkyBoxProc-%d.fvs", ui::TContextShaderKind::VertexShader, skybox_shaders::ProceduralVertexShader, false},
    {"SkyBox-%d.fps", ui::TContextShaderKind::PixelShader, skybox_shaders::CubeMapFragmentShader, true},
    {"SkyBoxProc-%d.fps", ui::TContextShaderKind::PixelShader, skybox_shaders::ProceduralFragmentShader, false},
    {"SkyBoxBlank-%d.fps", ui::TContextShaderKind::PixelShader, skybox_shaders::BlankFragmentShader, false},
};

ui::TContextShader* RegisterSkyShader(const TShaderRow& ARow, const void* AMaterial) {
  const int64_t address = static_cast<int64_t>(reinterpret_cast<intptr_t>(AMaterial));
  std::string name = ARow.NamePattern;
  name.replace(name.find("%d"), 2, std::to_string(address));
  ui::TContextShaderSource source;
  source.Arch = ui::TContextShaderArch::GLSL;
  const std::string text = ARow.Text();
  source.Code.assign(text.begin(), text.end());
  if (ARow.TakesCubeMap)
    source.Variables.push_back({"CubeMap", ui::TContextShaderVariableKind::Texture, 0, 0});
  return ui::TShaderManager::RegisterShaderFromData(name, ARow.Kind, std::string(), {source});
}

int SkyBoxInitCount = 0;

} // namespace

// ---- TVantrelSkyBoxMaterial ----

TVantrelSkyBoxMaterial::TVantrelSkyBoxMaterial(TVantrelSkyBoxMaterialSource* ASource) : FSource(ASource) {
  FStopWatch = TStopwatch::StartNew();
}

void TVantrelSkyBoxMaterial::DoInitialize() {
  inherited::DoInitialize();
  BuildSkyBoxShaders();
}

void TVantrelSkyBoxMaterial::BuildSkyBoxShaders() {
  FVertexShader = RegisterSkyShader(ShaderRows[0], this);
  FVertexShader2 = RegisterSkyShader(ShaderRows[1], this);
  FPixelShader = RegisterSkyShader(ShaderRows[2], this);
  FPixelShader2 = RegisterSkyShader(ShaderRows[3], this);
  FPixelShader3 = RegisterSkyShader(ShaderRows[4], this);
}

void TVantrelSkyBoxMaterial::BeforeDestruction() {
  // The programs hold a pointer to this record: a later material at the same address would find
  // them by name and push freed memory.
  for (TVantrelSkyBoxMode mode :
       {TVantrelSkyBoxMode::CubeMapSkyBox, TVantrelSkyBoxMode::ProceduralSkyBox, TVantrelSkyBoxMode::Blank}) {
    ui::TContextShader *vertex = nullptr, *fragment = nullptr;
    PairOf(mode, vertex, fragment);
    TVantrelContext::RemoveProgram(vertex, fragment);
  }
  for (ui::TContextShader** shader : {&FVertexShader, &FVertexShader2, &FPixelShader, &FPixelShader2, &FPixelShader3})
    if (*shader)
      ui::TShaderManager::UnregisterShader(std::exchange(*shader, nullptr));
  FPrevVS = FPrevFS = nullptr;
  inherited::BeforeDestruction();
}

ui::TContextShader* TVantrelSkyBoxMaterial::Shader(int AIndex) const {
  switch (AIndex) {
  case 0:
    return FVertexShader;
  case 1:
    return FVertexShader2;
  case 2:
    return FPixelShader;
  case 3:
    return FPixelShader2;
  case 4:
    return FPixelShader3;
  default:
    return nullptr;
  }
}

void TVantrelSkyBoxMaterial::PairOf(TVantrelSkyBoxMode AMode, ui::TContextShader*& AVertex,
                                    ui::TContextShader*& AFragment) const {
  switch (AMode) {
  case TVantrelSkyBoxMode::ProceduralSkyBox:
    AVertex = FVertexShader2;
    AFragment = FPixelShader2;
    break;
  case TVantrelSkyBoxMode::Blank:
    AVertex = FVertexShader2;
    AFragment = FPixelShader3;
    break;
  default:
    AVertex = FVertexShader;
    AFragment = FPixelShader;
    break;
  }
}

void TVantrelSkyBoxMaterial::SetCubeMap(ui::TTexture* AValue) {
  if (FCubeMap != AValue)
    FCubeMap = AValue;
  DoChange();
}

void TVantrelSkyBoxMaterial::DoApply(ui::TContext3D* AContext) {
  ApplySkyBoxUniforms(AContext);
}

void TVantrelSkyBoxMaterial::ApplySkyBoxUniforms(ui::TContext3D* AContext) {
  ui::TContextShader *vertex = nullptr, *fragment = nullptr;
  PairOf(FMode, vertex, fragment);
  // The pair first: what is current before it may be another material's program, whose blocks
  // are not ours to clear.
  AContext->SetShaders(vertex, fragment);
  if (vertex != FPrevVS || fragment != FPrevFS) {
    if (dynamic_cast<TVantrelContext*>(AContext))
      if (TShaderProgram* program = TVantrelContext::GetCurrentProgram())
        program->ClearUniformBuffers();
    FShaderDataRegistered = false;
    FPrevVS = vertex;
    FPrevFS = fragment;
  }
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    return;

  FShaderData.ModelViewProjMatrix = context->CurrentModelViewProjectionMatrix();
  FShaderData.ModelMatrix = context->CurrentMatrix();
  FShaderData.ViewMatrix = context->CurrentCameraMatrix();
  FShaderData.ProjMatrix = context->CurrentProjectionMatrix();
  FShaderData.Resolution = {static_cast<float>(context->Width()), static_cast<float>(context->Height()), 0, 0};
  FShaderData.TimeInfo = {static_cast<float>(FStopWatch.ElapsedMilliseconds()) / 1000.0f, 0, 0, 0};
  if (FMode == TVantrelSkyBoxMode::CubeMapSkyBox)
    context->SetShaderVariable("CubeMap", FCubeMap);
  const TPoint3D eye = context->CurrentCameraMatrix().EyePosition();
  FShaderData.EyePos = {eye.X, eye.Y, eye.Z, 1};

  const TVantrelFogSettings& fog = context->GetFog();
  FShaderData.FogMode = FAllowFog ? (fog.Mode | (fog.Enabled ? 1 : 0)) : 0;
  FShaderData.FogDensity = fog.Density;
  FShaderData.FogStart = LimitF(fog.FogStart, 0.01f, 1000);
  FShaderData.FogEnd = LimitF(fog.FogEnd, 1, 100000);
  FShaderData.FogColor = fog.Color;
  FShaderData.Settings = {FStarsEnabled ? 1.0f : 0.0f, FCloudsEnabled ? 1.0f : 0.0f, 0, 0};

  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  if (!program)
    return;
  if (!FShaderDataRegistered) {
    program->RegisterUniformBuffer(ShaderDataBlock, &FShaderData, sizeof(FShaderData));
    FShaderDataRegistered = true;
  }
  program->PushUniformBuffers();
}

// The crescent's size is kept; its sign says whether the offset disk cuts the sun (positive) or
// only the overlap stays (negative).
void TVantrelSkyBoxMaterial::SetCrescentMoon(float AValue) {
  FShaderData.CrescentMoon = LimitF(AValue, 0, 1);
}

void TVantrelSkyBoxMaterial::SetCrescent(bool AValue) {
  FShaderData.CrescentMoon = std::fabs(FShaderData.CrescentMoon) * (AValue ? 1.0f : -1.0f);
}

#define VANTREL_SKY_CLAMPED(Name, Min, Max)                                                                  \
  void TVantrelSkyBoxMaterial::Set##Name(float AValue) { FShaderData.Name = LimitF(AValue, Min, Max); }

VANTREL_SKY_CLAMPED(MoonSurface, 0, 1)
VANTREL_SKY_CLAMPED(DepolarizationFactor, 0, 1)
VANTREL_SKY_CLAMPED(MieCoefficient, 0, 1)
VANTREL_SKY_CLAMPED(CloudFrequency, 0, 1)
VANTREL_SKY_CLAMPED(StarSpark, 0, 1)
VANTREL_SKY_CLAMPED(SunAngularDiameterDegrees, 0, 1)
VANTREL_SKY_CLAMPED(Luminance, 0, 10)
VANTREL_SKY_CLAMPED(MieV, 0, 10)
VANTREL_SKY_CLAMPED(SunIntensityFalloffSteepness, 0, 10)
VANTREL_SKY_CLAMPED(StarBrightness, 0, 10)
VANTREL_SKY_CLAMPED(MieDirectionalG, 0, 2)
VANTREL_SKY_CLAMPED(RefractiveIndex, 0, 2)
VANTREL_SKY_CLAMPED(MieZenithLength, 0, 10000)
VANTREL_SKY_CLAMPED(RayleighZenithLength, 0, 10000)
VANTREL_SKY_CLAMPED(SunIntensityFactor, 0, 10000)
VANTREL_SKY_CLAMPED(Rayleigh, 0, 100)
VANTREL_SKY_CLAMPED(TonemapWeighting, 0, 100)
VANTREL_SKY_CLAMPED(Turbidity, 0, 100)
VANTREL_SKY_CLAMPED(StarProbe, 0, 100)
VANTREL_SKY_CLAMPED(StarDensity, 0, 1000)
VANTREL_SKY_CLAMPED(StarSize, 0, 1000)
VANTREL_SKY_CLAMPED(Inclination, -1, 1)
VANTREL_SKY_CLAMPED(Azimuth, -1, 1)
VANTREL_SKY_CLAMPED(CloudAmplitude, -10, 10)
VANTREL_SKY_CLAMPED(NumMolecules, 100000, std::numeric_limits<float>::max())

#undef VANTREL_SKY_CLAMPED

void TVantrelSkyBoxMaterial::SetMieKCoefficient(const TVector3D& AValue) {
  FShaderData.MieKCoefficient = {LimitF(AValue.X, 0, 1), LimitF(AValue.Y, 0, 1), LimitF(AValue.Z, 0, 1),
                                 LimitF(AValue.W, 0, 1)};
}

void TVantrelSkyBoxMaterial::SetPrimaries(const TPoint3D& AValue) {
  constexpr float lowest = 0.000000001f;
  FShaderData.Primaries = {LimitF(AValue.X, lowest, 1), LimitF(AValue.Y, lowest, 1), LimitF(AValue.Z, lowest, 1)};
}

void TVantrelSkyBoxMaterial::SetCloudIterations(int32_t AValue) {
  FShaderData.CloudIterations = LimitI(AValue, 0, 16);
}

// ---- TVantrelSkyBoxMaterialSource ----

TVantrelSkyBoxMaterialSource::TVantrelSkyBoxMaterialSource(TComponent* AOwner) : TMaterialSource(AOwner) {}

TVantrelSkyBoxMaterialSource::~TVantrelSkyBoxMaterialSource() = default;

TOwned<ui::TMaterial> TVantrelSkyBoxMaterialSource::CreateMaterial() {
  return MakeOwned<TVantrelSkyBoxMaterial>(this);
}

void TVantrelSkyBoxMaterialSource::AfterConstruction() {
  inherited::AfterConstruction();
  FCubeMap.reset(TVantrelTextureBitmap::Create());
  FCubeMap->BeginSetup();
  try {
    FCubeMap->SetKind(TVantrelTextureKind::CubeMap);
    FCubeMap->SetOnChange([this](TObject*) { UpdateMaterialCubeMap(); });
  } catch (...) {
    FCubeMap->EndSetup();
    throw;
  }
  FCubeMap->EndSetup();
  FContextResetOvrId = TMessageManager::DefaultManager().SubscribeToMessage<ui::TContextResetMessage>(
      [this](TObject*, TMessageBase*) { UpdateMaterialCubeMap(); });
}

void TVantrelSkyBoxMaterialSource::BeforeDestruction() {
  if (FContextResetOvrId != 0)
    TMessageManager::DefaultManager().Unsubscribe<ui::TContextResetMessage>(std::exchange(FContextResetOvrId, 0));
  FCubeMap.reset();
  inherited::BeforeDestruction();
}

void TVantrelSkyBoxMaterialSource::SetCubeMap(TVantrelTextureBitmap* AValue) {
  FCubeMap->Assign(AValue);
}

void TVantrelSkyBoxMaterialSource::UpdateMaterialCubeMap() {
  TVantrelSkyBoxMaterial* material = SkyMaterial();
  if (!material || !FCubeMap)
    return;
  material->SetCubeMap(FCubeMap->IsEmpty() ? nullptr : FCubeMap->Texture());
}

// ---- TVantrelSkyBox ----

namespace {

constexpr const char* InvalidSkyBoxTextureSize =
    "Invalid skybox texture size! Skybox texture needs to be even and dimension must be a power of 2 (2^x).";
constexpr const char* UnequalCubeMapFaces =
    "All cubemap textures must have equal dimensions! (width %d <> %d or height %d <> %d)";

// The faces in the order LoadCubeMapFacesFromPath reads them, with their file name parts.
struct TFaceFile {
  TVantrelCubeMapFace Face;
  const char* Part;
};
constexpr TFaceFile FaceFiles[] = {
    {TVantrelCubeMapFace::NegativeZ, "negz"}, {TVantrelCubeMapFace::PositiveZ, "posz"},
    {TVantrelCubeMapFace::PositiveY, "posy"}, {TVantrelCubeMapFace::NegativeY, "negy"},
    {TVantrelCubeMapFace::NegativeX, "negx"}, {TVantrelCubeMapFace::PositiveX, "posx"}};

float& VectorComponent(TVector3D& AVector, int AIndex) {
  switch (AIndex) {
  case 0:
    return AVector.X;
  case 1:
    return AVector.Y;
  case 2:
    return AVector.Z;
  default:
    return AVector.W;
  }
}

float& PointComponent(TPoint3D& APoint, int AIndex) {
  switch (AIndex) {
  case 0:
    return APoint.X;
  case 1:
    return APoint.Y;
  default:
    return APoint.Z;
  }
}

} // namespace

RTL_DEFINE_CLASS(TVantrelSkyBox, "Vantrel.SkyBox", &TVantrelSkyBox::RegisterProperties)

void TVantrelSkyBox::RegisterProperties(TPropertyList& AList) {
  const auto color = [&](const char* AName, auto AGet, auto ASet) {
    AList.Add(AName, AGet, ASet).AsType(TypeInfoAlphaColor());
  };
  AList.Add("Mode", &TVantrelSkyBox::GetMode, &TVantrelSkyBox::SetMode);
  AList.Add("AllowFog", &TVantrelSkyBox::GetAllowFog, &TVantrelSkyBox::SetAllowFog);
  AList.Add("FrontSide", &TVantrelSkyBox::GetFrontSide, &TVantrelSkyBox::SetFrontSide);
  AList.Add("BackSide", &TVantrelSkyBox::GetBackSide, &TVantrelSkyBox::SetBackSide);
  AList.Add("TopSide", &TVantrelSkyBox::GetTopSide, &TVantrelSkyBox::SetTopSide);
  AList.Add("BottomSide", &TVantrelSkyBox::GetBottomSide, &TVantrelSkyBox::SetBottomSide);
  AList.Add("LeftSide", &TVantrelSkyBox::GetLeftSide, &TVantrelSkyBox::SetLeftSide);
  AList.Add("RightSide", &TVantrelSkyBox::GetRightSide, &TVantrelSkyBox::SetRightSide);
  AList.Add("CrescentMoon", &TVantrelSkyBox::GetCrescentMoon, &TVantrelSkyBox::SetCrescentMoon);
  AList.Add("Crescent", &TVantrelSkyBox::GetCrescent, &TVantrelSkyBox::SetCrescent);
  AList.Add("CrescentOfsX", &TVantrelSkyBox::GetCrescentOfsX, &TVantrelSkyBox::SetCrescentOfsX);
  AList.Add("CrescentOfsY", &TVantrelSkyBox::GetCrescentOfsY, &TVantrelSkyBox::SetCrescentOfsY);
  AList.Add("MoonSurface", &TVantrelSkyBox::GetMoonSurface, &TVantrelSkyBox::SetMoonSurface);
  AList.Add("DepolarizationFactor", &TVantrelSkyBox::GetDepolarizationFactor,
            &TVantrelSkyBox::SetDepolarizationFactor);
  color("Diffuse", &TVantrelSkyBox::GetDiffuse, &TVantrelSkyBox::SetDiffuse);
  color("Emissive", &TVantrelSkyBox::GetEmissive, &TVantrelSkyBox::SetEmissive);
  AList.Add("Luminance", &TVantrelSkyBox::GetLuminance, &TVantrelSkyBox::SetLuminance);
  AList.Add("MieCoefficient", &TVantrelSkyBox::GetMieCoefficient, &TVantrelSkyBox::SetMieCoefficient);
  AList.Add("MieDirectionalG", &TVantrelSkyBox::GetMieDirectionalG, &TVantrelSkyBox::SetMieDirectionalG);
  AList.Add("MieV", &TVantrelSkyBox::GetMieV, &TVantrelSkyBox::SetMieV);
  AList.Add("MieZenithLength", &TVantrelSkyBox::GetMieZenithLength, &TVantrelSkyBox::SetMieZenithLength);
  AList.Add("MieKCoefficientX", &TVantrelSkyBox::GetMieKCoefficientX, &TVantrelSkyBox::SetMieKCoefficientX);
  AList.Add("MieKCoefficientY", &TVantrelSkyBox::GetMieKCoefficientY, &TVantrelSkyBox::SetMieKCoefficientY);
  AList.Add("MieKCoefficientZ", &TVantrelSkyBox::GetMieKCoefficientZ, &TVantrelSkyBox::SetMieKCoefficientZ);
  AList.Add("MieKCoefficientW", &TVantrelSkyBox::GetMieKCoefficientW, &TVantrelSkyBox::SetMieKCoefficientW);
  AList.Add("PrimariesA", &TVantrelSkyBox::GetPrimariesA, &TVantrelSkyBox::SetPrimariesA);
  AList.Add("PrimariesB", &TVantrelSkyBox::GetPrimariesB, &TVantrelSkyBox::SetPrimariesB);
  AList.Add("PrimariesC", &TVantrelSkyBox::GetPrimariesC, &TVantrelSkyBox::SetPrimariesC);
  AList.Add("NumMolecules", &TVantrelSkyBox::GetNumMolecules, &TVantrelSkyBox::SetNumMolecules);
  AList.Add("Rayleigh", &TVantrelSkyBox::GetRayleigh, &TVantrelSkyBox::SetRayleigh);
  AList.Add("RayleighZenithLength", &TVantrelSkyBox::GetRayleighZenithLength,
            &TVantrelSkyBox::SetRayleighZenithLength);
  AList.Add("RefractiveIndex", &TVantrelSkyBox::GetRefractiveIndex, &TVantrelSkyBox::SetRefractiveIndex);
  AList.Add("SunAngularDiameterDegrees", &TVantrelSkyBox::GetSunAngularDiameterDegrees,
            &TVantrelSkyBox::SetSunAngularDiameterDegrees);
  AList.Add("SunIntensityFactor", &TVantrelSkyBox::GetSunIntensityFactor, &TVantrelSkyBox::SetSunIntensityFactor);
  AList.Add("SunIntensityFalloffSteepness", &TVantrelSkyBox::GetSunIntensityFalloffSteepness,
            &TVantrelSkyBox::SetSunIntensityFalloffSteepness);
  AList.Add("TonemapWeighting", &TVantrelSkyBox::GetTonemapWeighting, &TVantrelSkyBox::SetTonemapWeighting);
  AList.Add("Turbidity", &TVantrelSkyBox::GetTurbidity, &TVantrelSkyBox::SetTurbidity);
  AList.Add("Inclination", &TVantrelSkyBox::GetInclination, &TVantrelSkyBox::SetInclination);
  AList.Add("Azimuth", &TVantrelSkyBox::GetAzimuth, &TVantrelSkyBox::SetAzimuth);
  AList.Add("StarsEnabled", &TVantrelSkyBox::GetStarsEnabled, &TVantrelSkyBox::SetStarsEnabled);
  AList.Add("StarDensity", &TVantrelSkyBox::GetStarDensity, &TVantrelSkyBox::SetStarDensity);
  AList.Add("StarProbe", &TVantrelSkyBox::GetStarProbe, &TVantrelSkyBox::SetStarProbe);
  AList.Add("StarSize", &TVantrelSkyBox::GetStarSize, &TVantrelSkyBox::SetStarSize);
  AList.Add("StarSpark", &TVantrelSkyBox::GetStarSpark, &TVantrelSkyBox::SetStarSpark);
  AList.Add("StarBrightness", &TVantrelSkyBox::GetStarBrightness, &TVantrelSkyBox::SetStarBrightness);
  color("StarColor", &TVantrelSkyBox::GetStarColor, &TVantrelSkyBox::SetStarColor);
  AList.Add("CloudsEnabled", &TVantrelSkyBox::GetCloudsEnabled, &TVantrelSkyBox::SetCloudsEnabled);
  color("CloudColor", &TVantrelSkyBox::GetCloudColor, &TVantrelSkyBox::SetCloudColor);
  AList.Add("CloudIterations", &TVantrelSkyBox::GetCloudIterations, &TVantrelSkyBox::SetCloudIterations);
  AList.Add("CloudFrequency", &TVantrelSkyBox::GetCloudFrequency, &TVantrelSkyBox::SetCloudFrequency);
  AList.Add("CloudAmplitude", &TVantrelSkyBox::GetCloudAmplitude, &TVantrelSkyBox::SetCloudAmplitude);
}

void TVantrelSkyBox::AfterConstruction() {
  // The cube builds its mesh here, through RebuildMesh, while there is no material source yet.
  inherited::AfterConstruction();
  SetDesignLocked(true);
  SetSubdivisionsWidth(1);
  SetSubdivisionsHeight(1);
  SetSubdivisionsDepth(1);
  SetHitTest(false);
  SetOpaque(true);
  SetTwoSideValue(false);
  SetWidth(500);
  SetHeight(500);
  SetDepth(500);
  Scale()->SetPoint({1, -1, 1});
  SetFrustumCullingCheck(false);
  CreateFaceBitmaps();
  FMaterial = New<TVantrelSkyBoxMaterialSource>(this);
  FMaterial->SetParent(this);
  FMaterial->SetStored(false);
  SetMaterialSource(FMaterial);
}

void TVantrelSkyBox::BeforeDestruction() {
  FreeFaceBitmaps();
  SetMaterialSource(nullptr);
  if (FMaterial)
    std::exchange(FMaterial, nullptr)->Free();
  inherited::BeforeDestruction();
}

void TVantrelSkyBox::CreateFaceBitmaps() {
  for (TVantrelTextureBitmap*& face : FTextures) {
    if (face)
      continue;
    face = TVantrelTextureBitmap::Create();
    face->SetOnChange([this](TObject*) { FDoUpdateCubeMap = true; });
  }
}

void TVantrelSkyBox::FreeFaceBitmaps() {
  for (TVantrelTextureBitmap*& face : FTextures)
    if (face)
      std::exchange(face, nullptr)->Free();
}

void TVantrelSkyBox::SetTexture(TVantrelCubeMapFace AIndex, ui::TBitmap* AValue) {
  const int32_t width = AValue ? AValue->Width() : 0;
  const int32_t height = AValue ? AValue->Height() : 0;
  // Square, with a power-of-two width; a width of 0 fails.
  if (width <= 0 || width != height || (width & (width - 1)) != 0)
    throw Exception(InvalidSkyBoxTextureSize);
  FTextures[static_cast<int>(AIndex)]->Assign(AValue);
}

void TVantrelSkyBox::LoadCubeMapFacesFromPath(const std::string& APath, const std::string& AFileExt) {
  // One bitmap made from the first file and reloaded from the others; freed also on failure.
  TOwned<ui::TBitmap> bitmap(ui::TBitmap::CreateFromFile(APath + FaceFiles[0].Part + AFileExt));
  for (const TFaceFile& file : FaceFiles) {
    if (&file != &FaceFiles[0])
      bitmap->LoadFromFile(APath + file.Part + AFileExt);
    SetTexture(file.Face, bitmap.get());
  }
}

void TVantrelSkyBox::UpdateCubeMap() {
  if (!FDoUpdateCubeMap || !FMaterial)
    return;
  FDoUpdateCubeMap = false;
  TVantrelTextureBitmap* cubeMap = FMaterial->GetCubeMap();
  int32_t width = 0, height = 0;
  for (int i = 0; i < 6; ++i) {
    TVantrelTextureBitmap* face = FTextures[static_cast<size_t>(i)];
    // An empty face is not uploaded: a face of width 0 would make the upload raise, and every
    // later Render with it, until all six are set.
    if (face->Width() == 0)
      continue;
    if (width != 0 && (face->Width() != width || face->Height() != height))
      throw Exception(Format(UnequalCubeMapFaces, {width, face->Width(), height, face->Height()}));
    cubeMap->UpdateCubeMapFace(static_cast<TVantrelCubeMapFace>(i), face);
    width = face->Width();
    height = face->Height();
  }
}

void TVantrelSkyBox::Render() {
  UpdateCubeMap();
  inherited::Render();
}

void TVantrelSkyBox::RebuildMesh(bool AIsStatic) {
  inherited::RebuildMesh(AIsStatic);
}

void TVantrelSkyBox::SetSize(const TPoint3D& AValue) {
  SetWidth(AValue.X);
  SetHeight(AValue.Y);
  SetDepth(AValue.Z);
  DoBoundsChanged(Parent());
}

void TVantrelSkyBox::SetMode(TVantrelSkyBoxMode AValue) {
  FMaterial->SetMode(AValue);
  RebuildMesh(true);
}

void TVantrelSkyBox::SetCrescentMoon(float AValue) {
  SkyMaterial()->SetCrescentMoon(std::fabs(AValue));
  if (AValue < 0)
    SkyMaterial()->SetCrescent(false);
}

void TVantrelSkyBox::SetCrescentOfsX(float AValue) {
  TPointF offset = GetCrescentOfs();
  offset.X = AValue;
  SetCrescentOfs(offset);
}

void TVantrelSkyBox::SetCrescentOfsY(float AValue) {
  TPointF offset = GetCrescentOfs();
  offset.Y = AValue;
  SetCrescentOfs(offset);
}

float TVantrelSkyBox::GetMieKCoefficientComponent(int AIndex) const {
  if (AIndex < 0 || AIndex > 3)
    return 0;
  TVector3D value = GetMieKCoefficient();
  return VectorComponent(value, AIndex);
}

void TVantrelSkyBox::SetMieKCoefficientComponent(int AIndex, float AValue) {
  TVector3D value = GetMieKCoefficient();
  if (AIndex >= 0 && AIndex <= 3)
    VectorComponent(value, AIndex) = AValue;
  SetMieKCoefficient(value);
}

float TVantrelSkyBox::GetPrimariesComponent(int AIndex) const {
  if (AIndex < 0 || AIndex > 2)
    return 0;
  TPoint3D value = GetPrimaries();
  return PointComponent(value, AIndex);
}

void TVantrelSkyBox::SetPrimariesComponent(int AIndex, float AValue) {
  TPoint3D value = GetPrimaries();
  if (AIndex >= 0 && AIndex <= 2)
    PointComponent(value, AIndex) = AValue;
  SetPrimaries(value);
}

void TVantrelSkyBox::SetConfiguration(const TSkyBoxShaderData& AProps) {
  TSkyBoxShaderData props = AProps;
  props.CloudIterations = LimitI(props.CloudIterations, 0, 16);
  SkyMaterial()->SetShaderData(props);
}

void TVantrelSkyBox::FromJSON(const TJSONObject& AJSON) {
  TSkyBoxShaderData props = TSkyBoxShaderData::Create(0);
  props.FromJSON(AJSON);
  SetConfiguration(props);
}

void TVantrelSkyBox::LoadFromStream(TStream& AStream) {
  SetConfiguration(ReadSkyBoxConfiguration(AStream));
}

void TVantrelSkyBox::LoadFromFile(const std::string& AFileName) {
  TFileStream stream(AFileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TVantrelSkyBox::SaveToStream(TStream& AStream) const {
  WriteSkyBoxConfiguration(GetConfiguration(), AStream);
}

void TVantrelSkyBox::SaveToFile(const std::string& AFileName) const {
  TFileStream stream(AFileName, fmCreate);
  SaveToStream(stream);
}

// ---- unit start-up ----

void InitializeSkyBox() {
  if (SkyBoxInitCount++ > 0)
    return;
  RegisterClass(TVantrelSkyBoxMaterialSource::StaticClass());
  RegisterClass(TVantrelSkyBox::StaticClass());
}

void FinalizeSkyBox() {
  if (SkyBoxInitCount == 0 || --SkyBoxInitCount > 0)
    return;
  UnRegisterClass(TVantrelSkyBox::StaticClass());
  UnRegisterClass(TVantrelSkyBoxMaterialSource::StaticClass());
}

} // namespace vantrel
