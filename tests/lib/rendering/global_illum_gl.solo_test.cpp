// The global illumination pass over a synthetic G-buffer (one plate voxelised at detail 1, 16 x 16
// targets), its shader functions evaluated one by one, its block layout and units, the links it
// refuses or loses; the GI blur over a uniform field and its input refresh; and the composite
// renderer's wiring of the three passes.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "materials/Vantrel.Material.Lambert.h"
#include "pass_frame.h"
#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Controller.Passes.GlobalIllumBlur.h"
#include "rendering/Vantrel.Controller.Passes.GlobalIllumination.h"
#include "rendering/Vantrel.Controller.Passes.Voxelize.h"
#include "rendering/Vantrel.Renderer.h"
#include "rtl/sysutils.h"
#include "scene/Vantrel.Light.h"
#include "support/log_capture.h"
#include "support/triangle_soup.h"
#include "support/viewport_setup.h"
#include "ui/shaders.h"
#include "voxel_gi_helpers.h"

// A pass with no material whose output texture is whatever the test sets.
class TGIInputDouble : public vantrel::TVantrelRenderPassController {
  RTL_CLASS(TGIInputDouble, vantrel::TVantrelRenderPassController)
public:
  explicit TGIInputDouble(rtl::TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassController(AOwner, std::move(AId)) {}
  vantrel::TTexture* Output = nullptr;
  vantrel::TTexture* GetOutputTexture() override { return Output; }

protected:
  rtl::TOwned<vantrel::TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
};
RTL_DEFINE_CLASS(TGIInputDouble, "Tests.GlobalIllum")

// A viewport whose main renderer is made with IgnoreGlobalIllum: it has no voxel, GI or GI-blur
// controllers at all. Otherwise it makes its renderer as every viewport does.
class TNoGlobalIllumViewport : public vantrel::TVantrelViewport {
  RTL_CLASS(TNoGlobalIllumViewport, vantrel::TVantrelViewport)
public:
  explicit TNoGlobalIllumViewport(rtl::TComponent* AOwner) : TVantrelViewport(AOwner) {}

protected:
  void CreateRenderer() override {
    using namespace vantrel;
    FCurrentRenderer = nullptr;
    FRenderer.reset();
    FRenderer = MakeOwned<TForwardRenderer>(Format("Viewport@%d", reinterpret_cast<intptr_t>(this)), this,
                                            TRendererFlags{TRendererFlag::IgnoreGlobalIllum},
                                            TOnRendererCreateCompositeTexture{});
    FRenderer->SetColor(TAlphaColorF::Create(FFill));
    UpdateMainRenderSettings();
    UpdateMainLightSettings();
    PassCompositeSettings(false);
    SetCurrentRenderer(FRenderer.get());
  }
};
RTL_DEFINE_CLASS(TNoGlobalIllumViewport, "Tests.GlobalIllum")

namespace {

using namespace rtest;
using namespace voxeltest;
using vtest::TRGBA8;
using TInputPassDouble = TGIInputDouble;

constexpr int32_t Size = 16;

TRGBA8 Centre(const TTexture* ATexture) { return TexturePixel(ATexture, Size / 2, Size / 2); }

class GlobalIllumGL : public PassFrameGL {
public:
  void SetUp() override {
    PassFrameGL::SetUp();
    UseCamera({0, 0, 5});
    Voxels = MakePass<TVantrelRenderPassVoxelize>("vox");
    Voxels->SetVoxelSize(32);
    // Plate A: 2 x 2 at z = -6, facing +z.
    std::vector<TPoint3D> positions, normals;
    vtest::AddQuad(positions, normals, {0, 0, -6}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
    Plate = New<vtest::TTriangleSoup>(FScene.get());
    Plate->SetParent(FViewport);
    Plate->SetTriangles(positions, normals);
    GI = static_cast<TVantrelRenderPassGlobalIllum*>(TVantrelRenderPassController::CreateController(
        TVantrelRenderPassGlobalIllum::StaticClass(), FViewport, "gi"));
    GI->SetViewport(FViewport);
    GI->SetViewportSize({Size, Size});
    GI->SetVoxelGeometry(Voxels);
    Position = MakeFilledTexture(Size, Size, {0, 0, 0, 1});
    Normals = MakeFilledTexture(Size, Size, {0, 0, -1, 0});
    GI->SetPosition(Position->Texture());
    GI->SetNormals(Normals->Texture());
  }
  void TearDown() override {
    Position.reset();
    Normals.reset();
    PassFrameGL::TearDown();
  }
  TVantrelLight* AddLight(TLightType AType, const TPoint3D& APosition, bool ATravelsMinusZ) {
    auto* light = New<TVantrelLight>(FScene.get());
    light->SetParent(FViewport);
    light->SetLightType(AType);
    light->SetColor(0xFFFFFFFF);
    light->SetIntensity(1);
    light->SetConstantAttenuation(1);
    light->SetLinearAttenuation(0);
    light->SetQuadraticAttenuation(0);
    light->SetScatteringIntensity(0);
    light->Position()->SetPoint(APosition);
    if (ATravelsMinusZ)
      light->RotationAngle()->SetY(180);
    return light;
  }
  // One frame voxelises the plate; then the GI pass runs on its own renderer's context.
  TRGBA8 RunGI() {
    Frame();
    auto* context = dynamic_cast<TVantrelContext*>(GI->GetRenderPassContext());
    EXPECT_NE(context, nullptr);
    if (!context)
      return {};
    TRenderContext render = TRenderContext::Create(context, FViewport, {}, {});
    auto instance = GI->CreateRenderPassInstance();
    context->ExecuteRenderPass(instance.get(), &render);
    return Centre(GI->GetOutputTexture());
  }

  TVantrelRenderPassVoxelize* Voxels = nullptr;
  vtest::TTriangleSoup* Plate = nullptr;
  TVantrelRenderPassGlobalIllum* GI = nullptr;
  TOwned<TVantrelTextureBitmap> Position, Normals;
};

TEST_F(GlobalIllumGL, ConesAndScatteringOverOnePlate) {
  struct TCase {
    const char* Name;
    std::function<void(GlobalIllumGL&)> Setup;
    int Rgb, Alpha;
  };
  const TCase cases[] = {
      {"bounce of a lit plate",
       [](GlobalIllumGL& T) {
         T.AddLight(TLightType::Directional, {0, 0, 0}, true);
         T.GI->SetReflectionStrength(10);
       },
       82, 0},
      {"bounce of the emissive plate alone",
       [](GlobalIllumGL& T) {
         T.AddLight(TLightType::Directional, {0, 0, 0}, true)->SetEnabled(false);
         T.GI->SetReflectionStrength(10);
       },
       8, 0},
      {"no reflection", [](GlobalIllumGL& T) { T.AddLight(TLightType::Directional, {0, 0, 0}, true); }, 0, 0},
      {"shadow at 0.4",
       [](GlobalIllumGL& T) {
         T.AddLight(TLightType::Directional, {0, 0, -50}, false);
         T.GI->SetShadowStrength(0.4f);
       },
       0, 12},
      {"shadow at 10",
       [](GlobalIllumGL& T) {
         T.AddLight(TLightType::Directional, {0, 0, -50}, false);
         T.GI->SetShadowStrength(10);
       },
       0, 255},
      {"a light in front of the plate",
       [](GlobalIllumGL& T) {
         T.AddLight(TLightType::Directional, {0, 0, -3}, false);
         T.GI->SetShadowStrength(10);
       },
       0, 0},
      {"a far light: the cone stops at 128",
       [](GlobalIllumGL& T) {
         T.AddLight(TLightType::Directional, {0, 0, -200}, false);
         T.GI->SetShadowStrength(10);
       },
       0, 57},
      {"no lights", [](GlobalIllumGL& T) { T.GI->SetShadowStrength(10); }, 0, 0},
      {"shadow strength 0",
       [](GlobalIllumGL& T) {
         T.AddLight(TLightType::Directional, {0, 0, -50}, false);
         T.GI->SetShadowStrength(0);
       },
       0, 0},
      {"scattering of one light",
       [](GlobalIllumGL& T) {
         T.GI->SetShadowStrength(0);
         T.AddLight(TLightType::Directional, {0, 0, 0}, true)->SetScatteringIntensity(0.1f);
       },
       20, 0},
      {"nine lights scatter as eight",
       [](GlobalIllumGL& T) {
         T.GI->SetShadowStrength(0);
         for (int index = 0; index < 9; ++index)
           T.AddLight(TLightType::Directional, {0, 0, 0}, true)->SetScatteringIntensity(0.1f);
       },
       160, 0},
  };
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.Name);
    GI->SetShadowStrength(0.4f);
    GI->SetReflectionStrength(0);
    row.Setup(*this);
    const TRGBA8 pixel = RunGI();
    EXPECT_NEAR(pixel.R, row.Rgb, 3);
    EXPECT_NEAR(pixel.G, row.Rgb, 3);
    EXPECT_NEAR(pixel.B, row.Rgb, 3);
    EXPECT_NEAR(pixel.A, row.Alpha, 3);
    for (int index = FViewport->ChildrenCount() - 1; index >= 0; --index)
      if (auto* light = dynamic_cast<TVantrelLight*>(FViewport->Children()[size_t(index)]))
        light->Free();
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlobalIllumGL, ShaderFunctionsOneByOne) {
  const std::vector<std::string> texts = {
      TGlobalIllumMaterial::PixelPrologueText(), SGlobalIllumDeclarations,        SPassTextureHelpers,
      SVoxelGetDirLightDir,                      SVoxelGetPointLightDir,          SVoxelGetSpotLightDir,
      SVoxelGetLightDir,                         SVoxelGetAttenuation,            SGlobalIllumVoxelFunctions,
      SGlobalIllumReflectionFunctions,           SGlobalIllumScatteringFunctions};
  TGlobalIllumShaderData data{};
  std::memset(static_cast<void*>(&data), 0, sizeof(data));
  const TPoint3D eye{2, -1, -8};
  data.ViewMatrix = TMatrix3D::CreateLookAtRH(eye, {0, 0, 0}, {0, 1, 0});
  data.ProjMatrix = TMatrix3D::CreatePerspectiveFovRH(float(M_PI / 4), 1, 1, 100);
  std::vector<uint8_t> block(sizeof(data));
  std::memcpy(block.data(), &data, sizeof(data));
  const TMatrix3D viewProjection = data.ViewMatrix * data.ProjMatrix;
  for (const TPoint3D& world : {TPoint3D{0, 0, 0}, TPoint3D{1, 2, 3}, TPoint3D{-2, 0.5f, 1}}) {
    SCOPED_TRACE(world.X);
    const TVector3D clip = TVector3D(world.X, world.Y, world.Z, 1) * viewProjection;
    const float x = std::clamp(clip.X / clip.W * 0.5f + 0.5f, 0.0f, 1.0f);
    const float y = std::clamp(clip.Y / clip.W * 0.5f + 0.5f, 0.0f, 1.0f);
    const auto value = vtest::EvalGLSL(
        texts, Format("computeScreenPos(vec3(%g, %g, %g)), 0.0, 0.0", world.X, world.Y, world.Z), block);
    EXPECT_NEAR(value[0], x, 1e-4);
    EXPECT_NEAR(value[1], y, 1e-4);
  }
  const std::pair<float, int> levels[] = {{2, 0},     {2.01f, 1},  {4.01f, 2},  {8.01f, 3},
                                          {16.01f, 4}, {32.01f, 5}, {48.01f, 6}, {64.01f, 7}};
  for (const auto& [distance, level] : levels) {
    SCOPED_TRACE(distance);
    EXPECT_EQ(vtest::EvalGLSL(texts, Format("float(getLevelOfDetail(vec3(0.0, %g, 0.0)))", distance), block)[0],
              float(level));
  }
  EXPECT_EQ(vtest::EvalGLSL(texts, "isInsideOfVoxel(scaleAndBias(vec3(0.0, 0.0, -200.0), 7)) ? 1.0 : 0.0", block)[0],
            0.0f);
  EXPECT_EQ(vtest::EvalGLSL(texts, "isInsideOfVoxel(scaleAndBias(vec3(0.0, 0.0, -100.0), 7)) ? 1.0 : 0.0", block)[0],
            1.0f);
}

TEST_F(GlobalIllumGL, BlockLayoutUnitsAndLinks) {
  RunGI();
  TGlobalIllumMaterial* material = GI->Material();
  auto* context = dynamic_cast<TVantrelContext*>(GI->GetRenderPassContext());
  context->SetShaders(material->VertexShader(), material->PixelShader());
  TShaderProgram* program = TVantrelContext::GetCurrentProgram();
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->Variables().Items("PositionTexture").TextureUnit, 1);
  EXPECT_EQ(program->Variables().Items("NormalsTexture").TextureUnit, 2);
  EXPECT_EQ(program->Variables().Items("VoxelGeometry").TextureUnit, 3);
  GLint handle = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &handle);
  EXPECT_EQ(vtest::UniformBlockSize(GLuint(handle), "GlobalIllumShaderData"),
            int(sizeof(TGlobalIllumShaderData)));
  using D = TGlobalIllumShaderData;
  const std::pair<const char*, size_t> members[] = {
      {"_ViewMatrix", offsetof(D, ViewMatrix)},         {"_ProjMatrix", offsetof(D, ProjMatrix)},
      {"_CanvasSize", offsetof(D, CanvasSize)},         {"_VoxelCenter", offsetof(D, VoxelCenter)},
      {"_GlobalIllum", offsetof(D, GlobalIllum)},       {"_VoxelSize", offsetof(D, VoxelSize)},
      {"_ShadowStrength", offsetof(D, ShadowStrength)}, {"_Reflection", offsetof(D, Reflection)},
      {"_NumberOfLights", offsetof(D, NumberOfLights)}, {"_Lights[0]._LightType", offsetof(D, Lights)},
      {"_Lights[1]._Position", offsetof(D, Lights) + 144 + 16}};
  for (const auto& [name, offset] : members)
    EXPECT_EQ(vtest::UniformOffset(GLuint(handle), name), GLint(offset)) << name;

  // A controller that is not a voxelisation pass is refused.
  auto* other = TVantrelRenderPassController::CreateController(TInputPassDouble::StaticClass(), FViewport, "");
  GI->SetVoxelGeometry(other);
  EXPECT_EQ(GI->GetVoxelGeometry(), nullptr);
  GI->SetVoxelGeometry(Voxels);
  ASSERT_EQ(GI->GetVoxelGeometry(), Voxels);
  // Freeing the voxel pass clears the link; the pass still draws, without voxels.
  Voxels->Free();
  Voxels = nullptr;
  EXPECT_EQ(GI->GetVoxelGeometry(), nullptr);
  RunGI();
  EXPECT_EQ(material->ShaderData().GlobalIllum, 0);
  EXPECT_TRUE(PointNear(material->ShaderData().VoxelCenter, {0, 0, 0}));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// ---- The GI blur ------------------------------------------------------------------------------------

class GlobalIllumBlurGL : public PassFrameGL {
protected:
  void SetUp() override {
    PassFrameGL::SetUp();
    Input = static_cast<TInputPassDouble*>(
        TVantrelRenderPassController::CreateController(TInputPassDouble::StaticClass(), FViewport, ""));
    Blur = static_cast<TVantrelRenderPassGlobalIllumBlur*>(TVantrelRenderPassController::CreateController(
        TVantrelRenderPassGlobalIllumBlur::StaticClass(), FViewport, "giblur"));
    Blur->SetViewport(FViewport);
    Blur->SetViewportSize({Size, Size});
  }
  void TearDown() override {
    First.reset();
    Second.reset();
    PassFrameGL::TearDown();
  }
  static TOwned<TVantrelTextureBitmap> Uniform(TAlphaColor AColor) {
    TOwned<TVantrelTextureBitmap> bitmap(TVantrelTextureBitmap::Create(Size, Size));
    bitmap->Clear(AColor);
    return bitmap;
  }
  void Run() {
    auto* context = dynamic_cast<TVantrelContext*>(Blur->GetRenderPassContext());
    TRenderContext render = TRenderContext::Create(context, FViewport, {}, {});
    if (!Instance)
      Instance = Blur->CreateRenderPassInstance();
    context->ExecuteRenderPass(Instance.get(), &render);
  }

  TInputPassDouble* Input = nullptr;
  TVantrelRenderPassGlobalIllumBlur* Blur = nullptr;
  TOwned<TVantrelTextureBitmap> First, Second;
  TOwned<TRenderPass> Instance;
};

// toneMap(c * 257 / 241) per colour channel, alpha * 257 / 241 as it is.
TEST_F(GlobalIllumBlurGL, AUniformFieldComesOutUniformAndToneMapped) {
  First = Uniform(0x80330D1A); // (51, 26, 13, 128) as R, G, B, A bytes below
  First->Clear(TAlphaColor(0x80330D1Au));
  const TRGBA8 stored = TexturePixel(First->Texture(), 0, 0);
  Input->Output = First->Texture();
  Blur->SetGlobalIllumPass(Input);
  EXPECT_EQ(Blur->GetBlurAmount(), 1.0f);
  Run();
  const auto pixels = ReadTexture(Blur->GetFinalOutputTexture());
  ASSERT_EQ(pixels.size(), size_t(Size * Size));
  const auto toneMapped = [](double c) {
    c *= 257.0 / 241.0;
    const double mapped = std::clamp((c * (2.51 * c + 0.03)) / (c * (2.43 * c + 0.59) + 0.14), 0.0, 1.0);
    return int(std::lround(255 * std::pow(mapped, 1 / 2.2)));
  };
  const TRGBA8 expected{uint8_t(toneMapped(stored.R / 255.0)), uint8_t(toneMapped(stored.G / 255.0)),
                        uint8_t(toneMapped(stored.B / 255.0)),
                        uint8_t(std::min(255L, std::lround(stored.A * 257.0 / 241.0)))};
  for (const TRGBA8& pixel : pixels)
    EXPECT_TRUE(vtest::ColorNear(pixel, expected, 2));
}

TEST_F(GlobalIllumBlurGL, TheInputFollowsTheLinkedPass) {
  First = Uniform(0xFF202020);
  Second = Uniform(0xFFC0C0C0);
  Input->Output = First->Texture();
  Blur->SetGlobalIllumPass(Input);
  Run();
  const int dark = Centre(Blur->GetFinalOutputTexture()).R;
  // A new output of the linked pass reaches the blur after UpdateTexture.
  Input->Output = Second->Texture();
  Blur->UpdateTexture();
  Run();
  Run();
  const int bright = Centre(Blur->GetFinalOutputTexture()).R;
  EXPECT_GT(bright, dark + 50);
  // Freeing the linked pass unlinks it; the last input stays.
  Input->Free();
  Input = nullptr;
  EXPECT_EQ(Blur->GetGlobalIllumPass(), nullptr);
  EXPECT_EQ(Blur->Material()->InputTexture(), Second->Texture());
  Run();
  EXPECT_NEAR(Centre(Blur->GetFinalOutputTexture()).R, bright, 1);
}

// ---- Through the composite renderer -----------------------------------------------------------------

class GlobalIllumRendererGL : public PassFrameGL {
protected:
  void TearDown() override {
    // The quads borrow the Lambert material: they go first.
    FOther.reset();
    FScene.reset();
    FLambert.reset();
    PassFrameGL::TearDown();
  }
  TCompositeRenderer& Main() { return *dynamic_cast<TCompositeRenderer*>(FViewport->MainPassRenderer()); }
  TVantrelRenderPassController* Internal(TInternalPassKind AKind) { return Main().GetInternalController(AKind); }

  // The wall scene in AViewport (owned by AOwner): the camera at (0, 0, -10) looking at the origin;
  // receiver B, 4 x 4 at z = 0, facing the camera; wall A, 2 x 2 at z = -6, facing B with its back
  // to the camera (the opaque phase culls it, the voxel pass draws every face); one directional
  // light travelling -z, which lights A's face and not B's. Both quads are white Lambert, wound so
  // that only B's front faces the camera; returns A.
  vtest::TTriangleSoup* BuildWallScene(TVantrelViewport& AViewport, TComponent* AOwner) {
    if (!FLambert) {
      FLambert = MakeOwned<TVantrelLambertMaterialSource>(nullptr);
      FLambert->SetUseLighting(true);
      FLambert->SetUseSpecular(false);
      FLambert->SetDiffuseF(TAlphaColorF::Create(1, 1, 1, 1));
    }
    vtest::UseLookAtCamera(AOwner, AViewport, {0, 0, -10});
    auto addQuad = [&](const TPoint3D& ACentre, float AHalf, const TPoint3D& AU, const TPoint3D& ANormal) {
      std::vector<TPoint3D> positions, normals;
      vtest::AddQuad(positions, normals, ACentre, AU * AHalf, TPoint3D{0, AHalf, 0}, ANormal);
      auto* quad = New<vtest::TTriangleSoup>(AOwner);
      quad->SetParent(&AViewport);
      quad->SetTriangles(positions, normals);
      quad->Material = FLambert->GetMaterial();
      return quad;
    };
    addQuad({0, 0, 0}, 2, {1, 0, 0}, {0, 0, -1});
    vtest::TTriangleSoup* wall = addQuad({0, 0, -6}, 1, {-1, 0, 0}, {0, 0, 1});
    auto* light = New<TVantrelLight>(AOwner);
    light->SetParent(&AViewport);
    light->SetLightType(TLightType::Directional);
    light->RotationAngle()->SetY(180);
    // No screen-space scattering: the centre pixel then shows the bounce alone.
    light->SetScatteringIntensity(0);
    return wall;
  }
  TRGBA8 CentrePixel(TVantrelViewport& AViewport) {
    auto* renderer = dynamic_cast<TCompositeRenderer*>(AViewport.MainPassRenderer());
    return TexturePixel(renderer->GetCompositeTexture()->Texture(), 32, 32);
  }

  TOwned<TVantrelLambertMaterialSource> FLambert;
  TOwned<TCustomScene> FOther;
};

// The lit face of A bounces onto B: with A there, ReflectionStrength 10 brightens B's centre; with
// A removed the strength changes nothing.
TEST_F(GlobalIllumRendererGL, ALitWallBouncesOntoItsNeighbour) {
  vtest::TTriangleSoup* wall = BuildWallScene(*FViewport, FScene.get());
  FViewport->SetGlobalIllumDetail(1);
  FViewport->SetGlobalIllumSoftness(0);
  auto centreAt = [this](float AStrength) {
    FViewport->SetReflectionStrength(AStrength);
    Frame();
    return CentrePixel(*FViewport);
  };
  const TRGBA8 dark = centreAt(0), bright = centreAt(10);
  for (auto [lit, unlit] : {std::pair{bright.R, dark.R}, {bright.G, dark.G}, {bright.B, dark.B}})
    EXPECT_GE(int(lit), int(unlit) + 20) << int(lit) << " against " << int(unlit);

  wall->Free();
  const TRGBA8 alone = centreAt(0), aloneStrong = centreAt(10);
  for (auto [strong, weak] :
       {std::pair{aloneStrong.R, alone.R}, {aloneStrong.G, alone.G}, {aloneStrong.B, alone.B}})
    EXPECT_NEAR(int(strong), int(weak), 2);
  // Without the wall, the receiver looks as it did with the wall and no bounce: the opaque phase
  // never drew A over it.
  EXPECT_NEAR(int(alone.R), int(dark.R), 2);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlobalIllumRendererGL, DetailSoftnessAndStrengthsReachThePasses) {
  FViewport->SetGlobalIllumDetail(1);
  auto* voxels = dynamic_cast<TVantrelRenderPassEmbeddedVoxelize*>(Internal(TInternalPassKind::Voxelize));
  auto* gi = dynamic_cast<TVantrelRenderPassGlobalIllum*>(Internal(TInternalPassKind::GlobalIllum));
  auto* blur = dynamic_cast<TVantrelRenderPassGlobalIllumBlur*>(Internal(TInternalPassKind::GlobalIllumBlur));
  ASSERT_TRUE(voxels && gi && blur);
  EXPECT_EQ(voxels->GetVoxelSize(), 32);
  EXPECT_TRUE(voxels->GetEnabled() && gi->GetEnabled() && blur->GetEnabled());
  EXPECT_EQ(gi->GetVoxelGeometry(), voxels);
  EXPECT_EQ(blur->GetGlobalIllumPass(), gi);
  FViewport->SetShadowStrength(2);
  FViewport->SetReflectionStrength(3);
  EXPECT_EQ(gi->GetShadowStrength(), 2.0f);
  EXPECT_EQ(gi->GetReflectionStrength(), 3.0f);

  // Softness 0: the composite reads the GI pass; above 0 the blur, with the softness as its amount.
  auto* composite =
      dynamic_cast<TVantrelRenderPassDeferredComposite*>(Internal(TInternalPassKind::DeferredComposite));
  FViewport->SetGlobalIllumSoftness(0);
  Frame();
  EXPECT_EQ(composite->GetGlobalIllumPass(), gi);
  FViewport->SetGlobalIllumSoftness(2);
  Frame();
  EXPECT_EQ(composite->GetGlobalIllumPass(), blur);
  EXPECT_EQ(blur->GetBlurAmount(), 2.0f);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlobalIllumRendererGL, DetailTwoMakesAVolumeOf64By512) {
  FViewport->SetGlobalIllumDetail(2);
  Frame();
  auto* voxels = dynamic_cast<TVantrelRenderPassVoxelize*>(Internal(TInternalPassKind::Voxelize));
  ASSERT_NE(voxels, nullptr);
  const vtest::TVolume volume = vtest::ReadVolume(voxels->GetTexture3D());
  EXPECT_EQ(volume.Width, 64);
  EXPECT_EQ(volume.Height, 64);
  EXPECT_EQ(volume.Depth, 512);
}

// Detail 0 links no voxel or GI program and gives, bit for bit, the image of a renderer made to
// ignore global illumination.
TEST_F(GlobalIllumRendererGL, DetailZeroLinksNothingAndDrawsAsARendererWithoutIt) {
  BuildWallScene(*FViewport, FScene.get());
  // An emissive colour, so that the receiver is not black in either image.
  FLambert->SetEmissiveF(TAlphaColorF::Create(0.3f, 0.5f, 0.7f, 1));
  FViewport->SetReflectionStrength(10);
  Frame();
  const int32_t programs = TVantrelContext::ProgramCount();
  Frame();
  EXPECT_EQ(TVantrelContext::ProgramCount(), programs);
  for (TInternalPassKind kind :
       {TInternalPassKind::Voxelize, TInternalPassKind::GlobalIllum, TInternalPassKind::GlobalIllumBlur}) {
    ASSERT_NE(Internal(kind), nullptr);
    EXPECT_FALSE(Internal(kind)->GetEnabled());
  }
  for (int32_t index = 0; index < TVantrelContext::ProgramCount(); ++index)
    EXPECT_EQ(TVantrelContext::ProgramAt(index)->GS(), 0u);
  const auto withPasses = ReadTexture(Main().GetCompositeTexture()->Texture());

  FOther = vtest::MakeScene(64, 64);
  auto* other = New<TNoGlobalIllumViewport>(FOther.get());
  other->SetOpaqueSaturation(0);
  other->SetNearPlane(1);
  other->SetFarPlane(101);
  other->FrameTimer()->SetInterval(INT32_MAX);
  other->SetReflectionStrength(10);
  BuildWallScene(*other, FOther.get());
  auto* renderer = dynamic_cast<TCompositeRenderer*>(other->MainPassRenderer());
  ASSERT_NE(renderer, nullptr);
  ASSERT_TRUE(renderer->GetFlags().Contains(TRendererFlag::IgnoreGlobalIllum));
  EXPECT_EQ(renderer->GetInternalController(TInternalPassKind::Voxelize), nullptr);
  TCanvas* canvas = other->Canvas();
  ASSERT_TRUE(canvas && canvas->BeginScene());
  other->RenderFrame();
  canvas->EndScene();
  const auto without = ReadTexture(renderer->GetCompositeTexture()->Texture());
  EXPECT_TRUE(withPasses == without);
  EXPECT_GT(withPasses[32 * 64 + 32].B, 100) << "the receiver is drawn";
  // The same comparison sees the bounce once the detail is above 0.
  FViewport->SetGlobalIllumDetail(1);
  Frame();
  EXPECT_FALSE(ReadTexture(Main().GetCompositeTexture()->Texture()) == without);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// With the library's units started every internal-pass kind has its binding: a new viewport's
// renderer makes all six controllers and logs none as missing.
TEST_F(GlobalIllumRendererGL, ANewRendererFindsEveryKindBound) {
  vtest::TLogCapture log;
  FOther = vtest::MakeScene(64, 64);
  auto* renderer = dynamic_cast<TCompositeRenderer*>(New<TVantrelViewport>(FOther.get())->MainPassRenderer());
  ASSERT_NE(renderer, nullptr);
  for (int kind = 0; kind < InternalPassKindCount; ++kind)
    EXPECT_NE(renderer->GetInternalController(TInternalPassKind(kind)), nullptr) << kind;
  for (const std::string& line : log.Lines())
    EXPECT_EQ(line.find("no internal pass registered"), std::string::npos) << line;
}

TEST_F(GlobalIllumRendererGL, ResizesLeaveNothingBehind) {
  FViewport->SetGlobalIllumDetail(1);
  Frame();
  const int components = FScene->ComponentCount();
  const int32_t programs = TVantrelContext::ProgramCount();
  const int shaders = TShaderManager::Count();
  for (int step = 0; step < 10; ++step) {
    FViewport->SetSize(64 + (step % 2) * 8, 64);
    Frame();
  }
  FViewport->SetSize(64, 64);
  Frame();
  EXPECT_EQ(FScene->ComponentCount(), components);
  EXPECT_EQ(TVantrelContext::ProgramCount(), programs);
  EXPECT_EQ(TShaderManager::Count(), shaders);
}

} // namespace
