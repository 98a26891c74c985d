#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.Texturing.h"
#include "rtl/properties.h"
#include "rtl/streams.h"
#include "scene/Vantrel.SkyBox.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"
#include "context/Vantrel.Context.h"
#include "ui/controls3d.h"
#include "ui/bitmap.h"
#include "ui/messages.h"

namespace {

using namespace vantrel;

class SkyBoxGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
  }
  void TearDown() override {
    FinalizeUnits();
    ContextGLTest::TearDown();
  }
};

// A square bitmap of one colour.
TOwned<TBitmap> Solid(int32_t ASize, TAlphaColor AColor) {
  auto bitmap = MakeOwned<TBitmap>(ASize, ASize);
  bitmap->Clear(AColor);
  return bitmap;
}

TAlphaColor FirstPixel(TBitmap* ABitmap) {
  TBitmapData data;
  if (!ABitmap->Map(TMapAccess::Read, data))
    return 0;
  const TAlphaColor color = data.GetPixel(0, 0);
  ABitmap->Unmap(data);
  return color;
}

TEST_F(SkyBoxGL, ANewSkyBoxHasItsSettingsAndIsRegistered) {
  auto sky = MakeOwned<TVantrelSkyBox>(nullptr);
  EXPECT_EQ(sky->GetMode(), TVantrelSkyBoxMode::ProceduralSkyBox);
  EXPECT_TRUE(sky->GetAllowFog() && sky->GetStarsEnabled() && sky->GetCloudsEnabled());
  EXPECT_EQ(sky->GetSize(), (TPoint3D{500, 500, 500}));
  EXPECT_EQ(sky->Scale()->Point(), (TPoint3D{1, -1, 1}));
  EXPECT_FALSE(sky->HitTest());
  EXPECT_FALSE(sky->FrustumCullingCheck());
  EXPECT_EQ(sky->GetMaterialSource(), sky->SkyMaterialSource());
  EXPECT_EQ(GetClass("Vantrel.SkyBox.TVantrelSkyBox"), &TVantrelSkyBox::StaticClass());
}

TEST_F(SkyBoxGL, ForwardedPropertiesConvertAndClamp) {
  auto sky = MakeOwned<TVantrelSkyBox>(nullptr);
  sky->SetPrimariesA(0);
  EXPECT_FLOAT_EQ(sky->GetPrimaries().X, 0.000000001f);
  sky->SetMieKCoefficientW(2);
  EXPECT_EQ(sky->GetMieKCoefficient().W, 1);
  EXPECT_EQ(sky->GetMieKCoefficientComponent(4), 0);
  sky->SetCrescentOfsX(5);
  EXPECT_EQ(sky->GetCrescentOfs().X, 5);
  sky->SetEmissive(0x003333FF);
  const TAlphaColorF emissive = sky->SkyMaterial()->GetEmissive();
  EXPECT_NEAR(emissive.R, 0.2, 1e-6);
  EXPECT_NEAR(emissive.B, 1, 1e-6);
  EXPECT_EQ(emissive.A, 0);
  EXPECT_EQ(sky->GetEmissive(), 0x003333FFu);
}

TEST_F(SkyBoxGL, APublishedRoundTripKeepsEveryValueAndTheNegativeCrescent) {
  auto source = MakeOwned<TVantrelSkyBox>(nullptr);
  source->SetCrescent(false);
  source->SetStarSize(3);
  auto copy = MakeOwned<TVantrelSkyBox>(nullptr);
  // The published values in declaration order, as a form writes and reads them (faces apart).
  const char* names[] = {
      "Mode", "AllowFog", "CrescentMoon", "Crescent", "CrescentOfsX", "CrescentOfsY", "MoonSurface",
      "DepolarizationFactor", "Diffuse", "Emissive", "Luminance", "MieCoefficient", "MieDirectionalG", "MieV",
      "MieZenithLength", "MieKCoefficientX", "MieKCoefficientY", "MieKCoefficientZ", "MieKCoefficientW",
      "PrimariesA", "PrimariesB", "PrimariesC", "NumMolecules", "Rayleigh", "RayleighZenithLength",
      "RefractiveIndex", "SunAngularDiameterDegrees", "SunIntensityFactor", "SunIntensityFalloffSteepness",
      "TonemapWeighting", "Turbidity", "Inclination", "Azimuth", "StarsEnabled", "StarDensity", "StarProbe",
      "StarSize", "StarSpark", "StarBrightness", "StarColor", "CloudsEnabled", "CloudColor", "CloudIterations",
      "CloudFrequency", "CloudAmplitude"};
  for (const char* name : names)
    SetPropValue(copy.get(), name, GetPropValue(source.get(), name));
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(GetPropValue(copy.get(), name).ToString(), GetPropValue(source.get(), name).ToString());
  }
  EXPECT_FLOAT_EQ(copy->GetCrescentMoon(), -0.03f);
}

TEST_F(SkyBoxGL, FacesMustBeSquarePowersOfTwo) {
  auto sky = MakeOwned<TVantrelSkyBox>(nullptr);
  for (int size : {1, 256, 1024}) {
    ui::TBitmap bitmap(size, size);
    EXPECT_NO_THROW(sky->SetTexture(TVantrelCubeMapFace::PositiveX, &bitmap)) << size;
  }
  for (auto [w, h] : {std::pair{300, 300}, std::pair{256, 128}, std::pair{0, 0}}) {
    ui::TBitmap bitmap(w, h);
    try {
      sky->SetTexture(TVantrelCubeMapFace::PositiveX, &bitmap);
      ADD_FAILURE() << w;
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), "Invalid skybox texture size! Skybox texture needs to be even and dimension "
                                 "must be a power of 2 (2^x).");
    }
    EXPECT_EQ(sky->GetTexture(TVantrelCubeMapFace::PositiveX)->Width(), 1024);
  }
}

TEST_F(SkyBoxGL, TheConfigurationSurvivesAStreamAndKeepsTheModeAndFaces) {
  auto sky = MakeOwned<TVantrelSkyBox>(nullptr);
  sky->SetRayleigh(12);
  sky->SetMode(TVantrelSkyBoxMode::Blank);
  sky->SetAllowFog(false);
  TMemoryStream stream;
  sky->SaveToStream(stream);
  EXPECT_EQ(stream.Memory()[0], '{');
  sky->SetRayleigh(3);
  stream.SetPosition(0);
  sky->LoadFromStream(stream);
  EXPECT_FLOAT_EQ(sky->GetRayleigh(), 12);
  EXPECT_EQ(sky->GetMode(), TVantrelSkyBoxMode::Blank);
  EXPECT_FALSE(sky->GetAllowFog());
  TMemoryStream bad;
  bad.WriteBuffer("[1,2]", 5);
  bad.SetPosition(0);
  EXPECT_THROW(sky->LoadFromStream(bad), Exception);
  EXPECT_FLOAT_EQ(sky->GetRayleigh(), 12);
}

TEST_F(SkyBoxGL, AnEmptyFaceIsSkippedAndUnequalFacesRaiseOnce) {
  auto sky = MakeOwned<TVantrelSkyBox>(nullptr);
  ui::TBitmap eight(8, 8), four(4, 4);
  sky->SetTexture(TVantrelCubeMapFace::PositiveX, &eight);
  EXPECT_NO_THROW(sky->UpdateCubeMap());
  sky->SetTexture(TVantrelCubeMapFace::NegativeX, &four);
  try {
    sky->UpdateCubeMap();
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "All cubemap textures must have equal dimensions! (width 8 <> 4 or height 8 <> 4)");
  }
  EXPECT_NO_THROW(sky->UpdateCubeMap());
}

} // namespace

namespace {

// The sky box drawn by its own Render in a test viewport.
class SkyBoxRender : public SkyBoxGL {
protected:
  static constexpr int Size = 64;
  void SetUp() override {
    SkyBoxGL::SetUp();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext(Size, Size);
    FRoot = MakeOwned<ui::TDummy>(nullptr);
    FRoot->SetNewViewport(FViewport.get());
  }
  void TearDown() override {
    FRoot.reset();
    FViewport.reset();
    SkyBoxGL::TearDown();
  }
  TVantrelContext* Context() { return CheckedCast<TVantrelContext>(FViewport->GetContext()); }
  TAlphaColorF DrawAndProbe(TVantrelSkyBox* ASky, const TPoint3D& ALook, const TPoint3D& AUp = {0, -1, 0}) {
    Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, 0}, ALook, AUp));
    Context()->SetCameraAngleOfView(45);
    EXPECT_TRUE(Context()->BeginSceneRendering());
    Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF000000, 1, 0);
    Context()->SetContextState(TContextState::csFrontFace);
    ASky->RenderInternal();
    Context()->EndSceneRendering();
    TBitmap bitmap(Size, Size);
    Context()->CopyToBitmap(&bitmap, TRect(0, 0, Size, Size));
    TBitmapData data;
    EXPECT_TRUE(bitmap.Map(TMapAccess::Read, data));
    const TAlphaColor color = data.GetPixel(Size / 2, Size / 2);
    bitmap.Unmap(data);
    return TAlphaColorF::Create(color);
  }
  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<ui::TDummy> FRoot;
};

TEST_F(SkyBoxRender, ABlankSkyIsDrawnFromInsideInEveryDirection) {
  auto* sky = New<TVantrelSkyBox>(FRoot.get());
  sky->SetParent(FRoot.get());
  sky->SetMode(TVantrelSkyBoxMode::Blank);
  sky->SetDiffuse(0xFFFF0000);
  for (const TPoint3D& look : {TPoint3D{1, 0, 0}, TPoint3D{-1, 0, 0}, TPoint3D{0, 0, 1}, TPoint3D{0, 0, -1}}) {
    SCOPED_TRACE(testing::Message() << look.X << " " << look.Z);
    const TAlphaColorF centre = DrawAndProbe(sky, look);
    EXPECT_NEAR(centre.R, 1, 0.01);
    EXPECT_NEAR(centre.G, 0, 0.01);
  }
}

// Six solid faces: each direction shows its face, drawn from inside with culling on, at any size.
TEST_F(SkyBoxRender, CubeMapFacesShowInTheirDirections) {
  auto* sky = New<TVantrelSkyBox>(FRoot.get());
  sky->SetParent(FRoot.get());
  sky->SetMode(TVantrelSkyBoxMode::CubeMapSkyBox);
  struct TCase {
    const char* Name;
    TPoint3D Look, Up;
    void (TVantrelSkyBox::*Set)(TBitmap*);
    TAlphaColor Color;
  };
  const TCase cases[] = {
      {"+X right", {1, 0, 0}, {0, -1, 0}, &TVantrelSkyBox::SetRightSide, 0xFFFF0000},
      {"-X left", {-1, 0, 0}, {0, -1, 0}, &TVantrelSkyBox::SetLeftSide, 0xFF00FF00},
      {"-Y top", {0, -1, 0}, {0, 0, 1}, &TVantrelSkyBox::SetTopSide, 0xFF0000FF},
      {"+Y bottom", {0, 1, 0}, {0, 0, 1}, &TVantrelSkyBox::SetBottomSide, 0xFFFFFF00},
      {"+Z back", {0, 0, 1}, {0, -1, 0}, &TVantrelSkyBox::SetBackSide, 0xFFFF00FF},
      {"-Z front", {0, 0, -1}, {0, -1, 0}, &TVantrelSkyBox::SetFrontSide, 0xFF00FFFF},
  };
  for (const TCase& test : cases)
    (sky->*test.Set)(Solid(4, test.Color).get());
  for (const float size : {500.0f, 100.0f}) {
    sky->SetSize({size, size, size});
    for (const TCase& test : cases) {
      SCOPED_TRACE(testing::Message() << test.Name << " at size " << size);
      const TAlphaColorF centre = DrawAndProbe(sky, test.Look, test.Up);
      const TAlphaColorF expected = TAlphaColorF::Create(test.Color);
      EXPECT_NEAR(centre.R, expected.R, 0.02);
      EXPECT_NEAR(centre.G, expected.G, 0.02);
      EXPECT_NEAR(centre.B, expected.B, 0.02);
    }
  }
}

// The six files load in their fixed order; a missing one stops there, and the faces set before
// keep their new images.
TEST_F(SkyBoxGL, FacesLoadFromAPath) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("skybox_faces_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string prefix = (folder / "sky_").string();
  struct TFile {
    const char* Part;
    TVantrelCubeMapFace Face;
    TAlphaColor Color;
  };
  const TFile files[] = {
      {"negz", TVantrelCubeMapFace::NegativeZ, 0xFF100000}, {"posz", TVantrelCubeMapFace::PositiveZ, 0xFF200000},
      {"posy", TVantrelCubeMapFace::PositiveY, 0xFF300000}, {"negy", TVantrelCubeMapFace::NegativeY, 0xFF400000},
      {"negx", TVantrelCubeMapFace::NegativeX, 0xFF500000}, {"posx", TVantrelCubeMapFace::PositiveX, 0xFF600000},
  };
  for (const TFile& file : files)
    Solid(4, file.Color)->SaveToFile(prefix + file.Part + ".png");
  auto sky = MakeOwned<TVantrelSkyBox>(nullptr);
  sky->LoadCubeMapFacesFromPath(prefix, ".png");
  for (const TFile& file : files) {
    SCOPED_TRACE(file.Part);
    EXPECT_EQ(sky->GetTexture(file.Face)->Width(), 4);
    EXPECT_EQ(FirstPixel(sky->GetTexture(file.Face)), file.Color);
  }

  // Without "posy": negz and posz take their new images, the rest stay.
  Solid(4, 0xFF0000AA)->SaveToFile(prefix + "negz.png");
  Solid(4, 0xFF0000BB)->SaveToFile(prefix + "posz.png");
  std::filesystem::remove(prefix + "posy.png");
  EXPECT_THROW(sky->LoadCubeMapFacesFromPath(prefix, ".png"), EFOpenError);
  EXPECT_EQ(FirstPixel(sky->GetTexture(TVantrelCubeMapFace::NegativeZ)), 0xFF0000AAu);
  EXPECT_EQ(FirstPixel(sky->GetTexture(TVantrelCubeMapFace::PositiveZ)), 0xFF0000BBu);
  for (const TFile& file : files)
    if (file.Face != TVantrelCubeMapFace::NegativeZ && file.Face != TVantrelCubeMapFace::PositiveZ) {
      SCOPED_TRACE(file.Part);
      EXPECT_EQ(FirstPixel(sky->GetTexture(file.Face)), file.Color);
    }
  std::filesystem::remove_all(folder);
}

// A context reset hands the cube map to the material again; a freed sky box hears nothing.
TEST_F(SkyBoxRender, AContextResetRenewsTheMaterialsCubeMap) {
  auto* sky = New<TVantrelSkyBox>(FRoot.get());
  sky->SetParent(FRoot.get());
  sky->SetMode(TVantrelSkyBoxMode::CubeMapSkyBox);
  for (int i = 0; i < 6; ++i)
    sky->SetTexture(static_cast<TVantrelCubeMapFace>(i), Solid(4, 0xFF808080).get());
  DrawAndProbe(sky, {0, 0, 1});
  TTexture* texture = sky->SkyMaterialSource()->GetCubeMap()->Texture();
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(sky->SkyMaterial()->GetCubeMap(), texture);
  sky->SkyMaterial()->SetCubeMap(nullptr);
  TMessageManager::DefaultManager().SendMessage(nullptr, new TContextResetMessage());
  EXPECT_EQ(sky->SkyMaterial()->GetCubeMap(), texture);
  sky->Free();
  // Nothing is subscribed for the freed sky box any more (ASan reports a call into it).
  TMessageManager::DefaultManager().SendMessage(nullptr, new TContextResetMessage());
}

} // namespace
