#include <gtest/gtest.h>

#include <cstring>
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
  TAlphaColorF DrawAndProbe(TVantrelSkyBox* ASky, const TPoint3D& ALook) {
    Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, 0}, ALook, {0, -1, 0}));
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

} // namespace
