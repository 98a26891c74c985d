// The sky material drawing a hand-made box on the real driver: the per-draw record, the blank and
// fogged colours, and the program and block rules on a pair change and on destruction.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "context/Vantrel.Context.Shader.h"
#include "rtl/stopwatch.h"
#include "scene/Vantrel.SkyBox.h"
#include "support/constant_material.h"
#include "support/gl_fixture.h"
#include "ui/bitmap.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;

constexpr int32_t Size = 64;

struct TBoxVertex {
  TPoint3D Position;
  TPoint3D Normal;
  TPointF TexCoord;
};

// A box of half-size AHalf around the origin, two triangles per face.
void MakeBox(float AHalf, std::vector<TBoxVertex>& AVertices, std::vector<uint16_t>& AIndices) {
  for (int axis = 0; axis < 3; ++axis)
    for (float sign : {-1.0f, 1.0f}) {
      const auto base = static_cast<uint16_t>(AVertices.size());
      for (auto [u, v] : {std::pair{-1, -1}, std::pair{1, -1}, std::pair{1, 1}, std::pair{-1, 1}}) {
        float p[3];
        p[axis] = sign * AHalf;
        p[(axis + 1) % 3] = static_cast<float>(u) * AHalf;
        p[(axis + 2) % 3] = static_cast<float>(v) * AHalf;
        float n[3] = {0, 0, 0};
        n[axis] = sign;
        AVertices.push_back({{p[0], p[1], p[2]}, {n[0], n[1], n[2]}, {(u + 1) / 2.0f, (v + 1) / 2.0f}});
      }
      for (uint16_t i : {0, 1, 2, 0, 2, 3})
        AIndices.push_back(static_cast<uint16_t>(base + i));
    }
}

class SkyBoxDraw : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(Size, Size);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true));
    MakeBox(250, FVertices, FIndices);
  }
  void TearDown() override {
    FContext.reset();
    FTexture.reset();
    ContextGLTest::TearDown();
  }
  TVantrelContext& Context() { return static_cast<TVantrelContext&>(*FContext); }

  // One draw of the box with AMaterial, the camera at AEye looking at ATarget.
  void Draw(TMaterial* AMaterial, const TPoint3D& AEye = {0, 0, 0}, const TPoint3D& ATarget = {0, 0, 1}) {
    ASSERT_TRUE(FContext->BeginScene());
    FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF000000, 1, 0);
    FContext->SetContextState(TContextState::cs3DScene);
    FContext->SetContextState(TContextState::csAllFace);
    FContext->SetContextState(TContextState::csZTestOff);
    FContext->SetMatrix(TMatrix3D::Identity());
    FContext->SetCameraMatrix(TMatrix3D::CreateLookAtRH(AEye, ATarget, {0, -1, 0}));
    const TVertexDeclaration declaration{
        {TVertexFormat::Vertex, 0}, {TVertexFormat::Normal, 12}, {TVertexFormat::TexCoord0, 24}};
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, FVertices.data(), FIndices.data(), declaration,
                             sizeof(TBoxVertex), static_cast<int32_t>(FVertices.size()), 2,
                             static_cast<int32_t>(FIndices.size()), AMaterial, 1);
    FContext->EndScene();
  }
  TAlphaColorF Centre() {
    TBitmap bitmap(Size, Size);
    FContext->CopyToBitmap(&bitmap, TRect(0, 0, Size, Size));
    TBitmapData data;
    EXPECT_TRUE(bitmap.Map(TMapAccess::Read, data));
    const TAlphaColor color = data.GetPixel(Size / 2, Size / 2);
    bitmap.Unmap(data);
    return TAlphaColorF::Create(color);
  }

  TOwned<TTexture> FTexture;
  TOwned<TContext3D> FContext;
  std::vector<TBoxVertex> FVertices;
  std::vector<uint16_t> FIndices;
};

TEST_F(SkyBoxDraw, BlankDrawsTheDiffuseColourAndFogMixesIn) {
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial* material = source->SkyMaterial();
  material->SetMode(TVantrelSkyBoxMode::Blank);
  material->SetDiffuse({1, 0, 0, 1});
  Draw(material);
  TAlphaColorF centre = Centre();
  EXPECT_NEAR(centre.R, 1, 0.01);
  EXPECT_NEAR(centre.G, 0, 0.01);

  // Linear fog from 100 to 400 toward the wall 250 away: half red, half fog colour.
  TVantrelFogSettings fog = TVantrelFogSettings::Create(true, 2, 0, 100, 400);
  fog.Color = {0, 0, 1, 1};
  Context().SetFog(fog);
  Draw(material);
  centre = Centre();
  EXPECT_NEAR(centre.R, 0.5, 0.02);
  EXPECT_NEAR(centre.B, 0.5, 0.02);
  material->SetAllowFog(false);
  Draw(material);
  EXPECT_EQ(material->GetShaderData().FogMode, 0);
}

TEST_F(SkyBoxDraw, EachDrawFillsThePerDrawValues) {
  int64_t now = 0;
  TStopwatch::SetClock([&] { return now; });
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial* material = source->SkyMaterial();
  material->SetMode(TVantrelSkyBoxMode::Blank);
  now = 25'000'000; // 2.5 s of 10 MHz ticks
  Context().SetFog(TVantrelFogSettings::Create(true, 2, 0, 0, 500000));
  Draw(material, {0, -10, -25}, {0, -10, 0});
  TStopwatch::SetClock(nullptr);
  const TSkyBoxShaderData& data = material->GetShaderData();
  EXPECT_FLOAT_EQ(data.TimeInfo.X, 2.5f);
  EXPECT_NEAR(data.EyePos.X, 0, 1e-4);
  EXPECT_NEAR(data.EyePos.Y, -10, 1e-4);
  EXPECT_NEAR(data.EyePos.Z, -25, 1e-4);
  EXPECT_EQ(data.EyePos.W, 1);
  EXPECT_EQ(data.Resolution.X, 64);
  EXPECT_EQ(data.Resolution.Y, 64);
  EXPECT_EQ(data.FogMode, 3);
  EXPECT_FLOAT_EQ(data.FogStart, 0.01f);
  EXPECT_FLOAT_EQ(data.FogEnd, 100000);
  EXPECT_EQ(data.Settings.X, 1);
  EXPECT_EQ(data.Settings.Y, 1);
  EXPECT_EQ(data.ModelViewProjMatrix, FContext->CurrentModelViewProjectionMatrix());
}

TEST_F(SkyBoxDraw, APairChangeTouchesOnlyTheSkysOwnProgram) {
  // Another material's program with a registered block is current when the sky first draws.
  vtest::TConstantColorMaterial other(TAlphaColorF::Create(0, 1, 0, 1), "skyother");
  std::array<float, 4> block{};
  ASSERT_TRUE(FContext->BeginScene());
  FContext->SetShaders(other.VertexShader(), other.PixelShader());
  TShaderProgram* otherProgram = TVantrelContext::GetCurrentProgram();
  ASSERT_NE(otherProgram, nullptr);
  otherProgram->RegisterUniformBuffer("ShaderData", block.data(), sizeof(block));
  FContext->EndScene();

  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial* material = source->SkyMaterial();
  material->SetMode(TVantrelSkyBoxMode::Blank);
  material->SetDiffuse({1, 0, 0, 1});
  Draw(material);
  EXPECT_GE(otherProgram->IndexOfUniformBuffer("ShaderData"), 0);

  // Blank -> cube map -> blank again re-registers the record; a colour change shows.
  material->SetMode(TVantrelSkyBoxMode::CubeMapSkyBox);
  Draw(material);
  material->SetMode(TVantrelSkyBoxMode::Blank);
  material->SetDiffuse({0, 1, 0, 1});
  Draw(material);
  EXPECT_NEAR(Centre().G, 1, 0.01);
  EXPECT_NEAR(Centre().R, 0, 0.01);
  TVantrelContext::RemoveProgram(other.VertexShader(), other.PixelShader());
}

TEST_F(SkyBoxDraw, AFreedMaterialLeavesNoProgramsBehind) {
  const int32_t before = TVantrelContext::ProgramCount();
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  source->SkyMaterial()->SetMode(TVantrelSkyBoxMode::Blank);
  Draw(source->SkyMaterial());
  source->SkyMaterial()->SetMode(TVantrelSkyBoxMode::CubeMapSkyBox);
  Draw(source->SkyMaterial());
  EXPECT_EQ(TVantrelContext::ProgramCount(), before + 2);
  source.reset();
  EXPECT_EQ(TVantrelContext::ProgramCount(), before);
  // A new material (possibly at the same address) draws correctly.
  auto again = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  again->SkyMaterial()->SetMode(TVantrelSkyBoxMode::Blank);
  again->SkyMaterial()->SetDiffuse({0, 0, 1, 1});
  Draw(again->SkyMaterial());
  EXPECT_NEAR(Centre().B, 1, 0.01);
}

} // namespace

namespace {

struct TVec {
  double X, Y, Z;
  TVec operator+(const TVec& A) const { return {X + A.X, Y + A.Y, Z + A.Z}; }
  TVec operator-(const TVec& A) const { return {X - A.X, Y - A.Y, Z - A.Z}; }
  TVec operator*(const TVec& A) const { return {X * A.X, Y * A.Y, Z * A.Z}; }
  TVec operator/(const TVec& A) const { return {X / A.X, Y / A.Y, Z / A.Z}; }
  TVec operator*(double A) const { return {X * A, Y * A, Z * A}; }
};
TVec Map(const TVec& A, double (*AFn)(double)) { return {AFn(A.X), AFn(A.Y), AFn(A.Z)}; }
TVec Pow(const TVec& A, double AE) { return {std::pow(A.X, AE), std::pow(A.Y, AE), std::pow(A.Z, AE)}; }
double Dot(const TVec& A, const TVec& B) { return A.X * B.X + A.Y * B.Y + A.Z * B.Z; }
TVec Normalize(const TVec& A) { return A * (1 / std::sqrt(Dot(A, A))); }

// The procedural sky without stars, clouds and crescent, in double precision, for a view
// direction from an eye at AEye on an AWidth x AHeight target.
TVec ReferenceSky(const TSkyBoxShaderData& S, const TVec& AViewDir, const TVec& AEye, double AWidth, double AHeight) {
  const double pi = 3.141592653589793;
  const TVec up{0, -1, 0};
  const TVec view = Normalize(AViewDir);
  const double theta = pi * (S.Inclination - AEye.Y / AHeight - 0.5);
  const double phi = 2 * pi * (S.Azimuth - AEye.X / AWidth - 0.5);
  const double distance = 400000;
  const TVec sun{distance * std::cos(phi), -(distance * std::sin(phi) * std::sin(theta)),
                 -(distance * std::sin(phi) * std::cos(theta))};
  const double sunfade = 1 - std::clamp(1 - std::exp(sun.Y / 450000.0), 0.0, 1.0);
  const double rayleigh = S.Rayleigh - (1 - sunfade);
  const TVec lambda{S.Primaries.X, S.Primaries.Y, S.Primaries.Z};
  const double n = S.RefractiveIndex, pn = S.DepolarizationFactor;
  const TVec lambda4 = Pow(lambda, 4);
  const TVec betaR = TVec{1, 1, 1} * (8 * std::pow(pi, 3) * std::pow(n * n - 1, 2) * (6 + 3 * pn)) /
                     (lambda4 * (3 * S.NumMolecules * (6 - 7 * pn))) * rayleigh;
  const double c = 0.2 * S.Turbidity * 10e-18;
  const TVec k{S.MieKCoefficient.X, S.MieKCoefficient.Y, S.MieKCoefficient.Z};
  const TVec betaM = Pow(TVec{2 * pi, 2 * pi, 2 * pi} / lambda, S.MieV - 2) * k * (0.434 * c * pi) * S.MieCoefficient;
  const double zenith = std::acos(std::max(0.0, Dot(up, view)));
  const double denom = std::cos(zenith) + 0.15 * std::pow(93.885 - zenith * 180 / pi, -1.253);
  const TVec fex = Map((betaR * (S.RayleighZenithLength / denom) + betaM * (S.MieZenithLength / denom)) * -1,
                       [](double A) { return std::exp(A); });
  const TVec sunDir = Normalize(sun);
  const double cosTheta = Dot(view, sunDir);
  const double rPhase = 3 / (16 * pi) * (1 + std::pow(cosTheta * 0.5 + 0.5, 2));
  const double g = S.MieDirectionalG;
  const double mPhase = 1 / (4 * pi) * (1 - g * g) / std::pow(1 - 2 * g * cosTheta + g * g, 1.5);
  const double sunE = S.SunIntensityFactor *
                      std::max(0.0, 1 - std::exp(-((pi / 1.95 - std::acos(Dot(sunDir, up))) /
                                                    S.SunIntensityFalloffSteepness)));
  const TVec ratio = (betaR * rPhase + betaM * mPhase) / (betaR + betaM);
  TVec lin = Pow(ratio * (TVec{1, 1, 1} - fex) * sunE, 1.5);
  const double t = std::clamp(std::pow(1 - Dot(up, sunDir), 5), 0.0, 1.0);
  const TVec lit = Pow(ratio * fex * sunE, 0.5);
  lin = lin * (TVec{1, 1, 1} * (1 - t) + lit * t);
  const double cosDisk = std::cos(S.SunAngularDiameterDegrees);
  const double x = std::clamp((cosTheta - cosDisk) / 0.00002, 0.0, 1.0);
  const double disk = x * x * (3 - 2 * x);
  const TVec l0 = fex * 0.1 + fex * (sunE * 19000 * disk);
  const TVec color = (lin + l0) * 0.04 + TVec{0, 0.001, 0.0025} * 0.3;
  const auto tone = [](const TVec& W) {
    const double A = 0.15, B = 0.5, C = 0.1, D = 0.2, E = 0.02, F = 0.3;
    return (W * (W * A + TVec{C * B, C * B, C * B}) + TVec{D * E, D * E, D * E}) /
               (W * (W * A + TVec{B, B, B}) + TVec{D * F, D * F, D * F}) -
           TVec{E / F, E / F, E / F};
  };
  const double w = S.TonemapWeighting;
  const TVec white = TVec{1, 1, 1} / tone({w, w, w});
  const TVec curr = tone(color * std::log2(2 / std::pow(S.Luminance, 4)));
  return Pow(curr * white, 1 / (1.2 + 1.2 * sunfade));
}

// A direction at AElevation degrees above the horizon (up is -Y), turned AAzimuth degrees from
// the sun's azimuth.
TVec Direction(const TSkyBoxShaderData& S, double AElevation, double AAzimuth) {
  const double pi = 3.141592653589793;
  const double phi = 2 * pi * (S.Azimuth - 0.5), theta = pi * (S.Inclination - 0.5);
  const double sunAzimuth = std::atan2(-std::sin(phi) * std::cos(theta), std::cos(phi));
  const double a = sunAzimuth + AAzimuth * pi / 180, e = AElevation * pi / 180;
  return {std::cos(e) * std::cos(a), -std::sin(e), std::cos(e) * std::sin(a)};
}

TEST_F(SkyBoxDraw, TheProceduralSkyMatchesAReferenceAtTheDemosValues) {
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial* material = source->SkyMaterial();
  material->SetStarsEnabled(false);
  material->SetCloudsEnabled(false);
  material->SetCrescentMoon(0);
  material->SetStarProbe(0.9f);
  material->SetStarSize(3);
  const TSkyBoxShaderData& data = material->GetShaderData();
  struct TProbe {
    const char* Name;
    double Elevation, Azimuth;
  };
  const TProbe probes[] = {
      {"beside the sun", 16, 15}, {"near the zenith", 85, 0}, {"opposite the sun", 16, 180}, {"below", -17, 40}};
  for (const TProbe& probe : probes) {
    SCOPED_TRACE(probe.Name);
    const TVec dir = Direction(data, probe.Elevation, probe.Azimuth);
    Draw(material, {0, 0, 0}, {static_cast<float>(dir.X), static_cast<float>(dir.Y), static_cast<float>(dir.Z)});
    const TVec expected = ReferenceSky(data, dir, {0, 0, 0}, Size, Size);
    const TAlphaColorF actual = Centre();
    EXPECT_NEAR(actual.R, std::clamp(expected.X, 0.0, 1.0), 0.02);
    EXPECT_NEAR(actual.G, std::clamp(expected.Y, 0.0, 1.0), 0.02);
    EXPECT_NEAR(actual.B, std::clamp(expected.Z, 0.0, 1.0), 0.02);
  }
}

} // namespace

namespace {

TEST_F(SkyBoxDraw, ThePositiveCrescentCutsTheOffsetDiskAndTheNegativeKeepsTheOverlap) {
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial* material = source->SkyMaterial();
  material->SetStarsEnabled(false);
  material->SetCloudsEnabled(false);
  material->SetMoonSurface(0);
  const TSkyBoxShaderData& data = material->GetShaderData();
  const double pi = 3.141592653589793;
  const double theta = pi * (data.Inclination - 0.5), phi = 2 * pi * (data.Azimuth - 0.5);
  const TVec sun{400000 * std::cos(phi), -(400000 * std::sin(phi) * std::sin(theta)),
                 -(400000 * std::sin(phi) * std::cos(theta))};
  const TVec s = Normalize(sun);
  const TVec shifted = Normalize(sun + TVec{40000.0 * data.CrescentOfs.X, 40000.0 * data.CrescentOfs.Y, 0});
  const TVec p = Normalize(s + (s - shifted) * 1.3);
  const TVec side = Normalize(TVec{s.Z, 0, -s.X}); // 90 degrees from the sun, on the horizon
  const auto redAt = [&](const TVec& ADir) {
    Draw(material, {0, 0, 0}, {float(ADir.X), float(ADir.Y), float(ADir.Z)});
    return Centre();
  };
  struct TRow {
    float Crescent;
    bool SunCut, OffsetCut, LensCut;
  };
  const TRow rows[] = {{0, false, false, false}, {0.03f, true, true, false}, {-0.03f, false, false, true}};
  std::vector<TAlphaColorF> sides;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Crescent);
    material->SetCrescentMoon(std::fabs(row.Crescent));
    material->SetCrescent(row.Crescent >= 0);
    const auto check = [&](const TVec& ADir, bool ACut, const char* AName) {
      const float red = redAt(ADir).R;
      if (ACut)
        EXPECT_LE(red, 0.9f) << AName;
      else
        EXPECT_GE(red, 0.99f) << AName;
    };
    check(s, row.SunCut, "S");
    check(shifted, row.OffsetCut, "S'");
    check(p, row.LensCut, "P");
    sides.push_back(redAt(side));
  }
  EXPECT_EQ(sides[0], sides[1]);
  EXPECT_EQ(sides[0], sides[2]);
}

} // namespace

namespace {

// The night sky at 256 x 256 into five targets (as the renderer's G-buffer has them), so the
// emissive output at location 4 can be read too.
class SkyBoxNight : public vtest::ContextGLTest {
protected:
  static constexpr int32_t NightSize = 256;
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(NightSize, NightSize);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    FContext.reset(TContextManager::CreateFromTexture(FTexture.get(), TMultisample::None, true));
    MakeBox(250, FVertices, FIndices);
    glGenFramebuffers(1, &FFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
    glGenTextures(5, FTargets.data());
    for (size_t i = 0; i < FTargets.size(); ++i) {
      glBindTexture(GL_TEXTURE_2D, FTargets[i]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, NightSize, NightSize, 0, GL_RGBA, GL_FLOAT, nullptr);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GLenum(GL_COLOR_ATTACHMENT0 + i), GL_TEXTURE_2D, FTargets[i], 0);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  void TearDown() override {
    glDeleteFramebuffers(1, &FFramebuffer);
    glDeleteTextures(5, FTargets.data());
    FContext.reset();
    FTexture.reset();
    ContextGLTest::TearDown();
  }

  // One draw looking at the zenith; the red channel of target 0 and the whole of target 4.
  void Draw(TMaterial* AMaterial, std::vector<float>& ARed, std::vector<float>& AEmissive) {
    ASSERT_TRUE(FContext->BeginScene());
    FContext->SetContextState(TContextState::cs3DScene);
    FContext->SetContextState(TContextState::csAllFace);
    FContext->SetContextState(TContextState::csZTestOff);
    FContext->SetMatrix(TMatrix3D::Identity());
    FContext->SetCameraMatrix(TMatrix3D::CreateLookAtRH({0, 0, 0}, {0, -1, 0}, {0, 0, 1}));
    GLint previous = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
    const GLenum buffers[5] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2,
                               GL_COLOR_ATTACHMENT3, GL_COLOR_ATTACHMENT4};
    glDrawBuffers(5, buffers);
    glViewport(0, 0, NightSize, NightSize);
    const float zero[4] = {0, 0, 0, 0};
    for (GLint i = 0; i < 5; ++i)
      glClearBufferfv(GL_COLOR, i, zero);
    const TVertexDeclaration declaration{
        {TVertexFormat::Vertex, 0}, {TVertexFormat::Normal, 12}, {TVertexFormat::TexCoord0, 24}};
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, FVertices.data(), FIndices.data(), declaration,
                             sizeof(TBoxVertex), static_cast<int32_t>(FVertices.size()), 2,
                             static_cast<int32_t>(FIndices.size()), AMaterial, 1);
    std::vector<float> pixels(size_t(NightSize) * NightSize * 4);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, NightSize, NightSize, GL_RGBA, GL_FLOAT, pixels.data());
    ARed.resize(pixels.size() / 4);
    for (size_t i = 0; i < ARed.size(); ++i)
      ARed[i] = std::max({pixels[i * 4], pixels[i * 4 + 1], pixels[i * 4 + 2]});
    glReadBuffer(GL_COLOR_ATTACHMENT4);
    AEmissive.resize(pixels.size());
    glReadPixels(0, 0, NightSize, NightSize, GL_RGBA, GL_FLOAT, AEmissive.data());
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    FContext->EndScene();
  }

  static float Median(std::vector<float> AValues) {
    std::nth_element(AValues.begin(), AValues.begin() + AValues.size() / 2, AValues.end());
    return AValues[AValues.size() / 2];
  }

  TOwned<TTexture> FTexture;
  TOwned<TContext3D> FContext;
  std::vector<TBoxVertex> FVertices;
  std::vector<uint16_t> FIndices;
  GLuint FFramebuffer = 0;
  std::array<GLuint, 5> FTargets{};
};

TEST_F(SkyBoxNight, StarsShowAsDistinctPointsInTheNightSky) {
  auto source = MakeOwned<TVantrelSkyBoxMaterialSource>(nullptr);
  TVantrelSkyBoxMaterial* material = source->SkyMaterial();
  material->SetCloudsEnabled(false);
  material->SetCrescentMoon(0);
  material->SetInclination(0.6f); // the sun below the horizon
  const auto brightest = [](const std::vector<float>& AValues) {
    return *std::max_element(AValues.begin(), AValues.end());
  };
  std::vector<float> off, emissive;
  material->SetStarsEnabled(false);
  Draw(material, off, emissive);
  EXPECT_LE(brightest(off), 0.03f);

  // The default star values: a dark sky with a few dozen distinct stars; the demo's Emissive
  // (alpha 0) emits nothing.
  material->SetStarsEnabled(true);
  std::vector<float> on;
  Draw(material, on, emissive);
  EXPECT_LE(Median(on), 0.04f);
  const auto stars = std::count_if(on.begin(), on.end(), [](float AValue) { return AValue > 0.2f; });
  EXPECT_GE(stars, 10);
  EXPECT_LE(stars, 200);
  EXPECT_EQ(brightest(emissive), 0);

  // Too few stars or too small ones leave the sky as it is without them.
  struct TRow {
    const char* Name;
    float Density, Size;
  };
  for (const TRow& row : {TRow{"density 0.5", 0.5f, 120}, TRow{"size 0.00005", 100, 0.00005f}}) {
    SCOPED_TRACE(row.Name);
    material->SetStarDensity(row.Density);
    material->SetStarSize(row.Size);
    std::vector<float> none;
    Draw(material, none, emissive);
    EXPECT_EQ(none, off);
  }
  material->SetStarDensity(100);
  material->SetStarSize(120);
  material->SetEmissive({1, 1, 1, 1});
  Draw(material, on, emissive);
  EXPECT_GT(brightest(emissive), 0);

  // The demo's star values make the night sky a fine grey noise rather than points.
  material->SetStarProbe(0.9f);
  material->SetStarSize(3);
  Draw(material, on, emissive);
  EXPECT_GT(Median(on), 0.2f);
  EXPECT_LT(Median(on), 0.45f);
}

} // namespace
