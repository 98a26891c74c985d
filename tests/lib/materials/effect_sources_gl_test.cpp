// The effect nodes through the real material sources and the context's draw: the effect switches
// of a default source compile and link through SetShaders, the two couplings that keep failing,
// the physically based and parallax sources drawn with their own bitmaps and block values, and
// the pass branches fed by pass doubles whose sampled texture reaches the pixel.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.PBR.h"
#include "materials/Vantrel.Material.POM.h"
#include "node_harness.h"
#include "pass_doubles.h"
#include "quad_target.h"
#include "shading_reference.h"
#include "ui/bitmap.h"
#include "ui/mesh_buffers.h"
#include "ui/texture.h"

namespace effectsourcestest {

using namespace vantrel;
using vtest::TFloat4;

constexpr int32_t Size = vtest::QuadTargetGL::Size;

vtest::TRGBA8 ToRGBA8(double AR, double AG, double AB) {
  auto byte = [](double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return {byte(AR), byte(AG), byte(AB), 255};
}

vtest::TRGBA8 ToRGBA8(const vref::TVec3& AColor) {
  return ToRGBA8(AColor.X, AColor.Y, AColor.Z);
}

::testing::AssertionResult RGBNear(vtest::TRGBA8 AActual, vtest::TRGBA8 AExpected) {
  AActual.A = AExpected.A = 255;
  return vtest::ColorNear(AActual, AExpected, 2);
}

TMatrix3D BiasMatrix(float AZTranslation) {
  TMatrix3D m = TMatrix3D::Identity();
  m.m11 = m.m22 = 0.5f;
  m.m33 = 0;
  m.m41 = m.m42 = 0.5f;
  m.m43 = AZTranslation;
  return m;
}

TVantrelShaderLight DirectionalLight(double ADegrees) {
  TVantrelShaderLight light{};
  const double r = ADegrees * M_PI / 180.0;
  light.LightType = 0;
  light.Direction = {static_cast<float>(-std::sin(r)), 0, static_cast<float>(-std::cos(r)), 0};
  light.Diffuse = {1, 1, 1, 1};
  light.Intensity = 1;
  light.Enabled = 1;
  return light;
}

// A raw GL texture handed to the material as a framework texture of a kind. The GL name stays the
// raw texture's: the handle is taken back before the framework texture goes.
class TBorrowedTexture {
public:
  TBorrowedTexture(const vtest::TRawTexture& ARaw, TVantrelTextureKind AKind) : FTexture(TVantrelTexture::Create()) {
    FTexture->SetKind(AKind);
    static_cast<ui::ITextureAccess&>(*FTexture).SetHandle(ARaw.Handle());
  }
  ~TBorrowedTexture() { static_cast<ui::ITextureAccess&>(*FTexture).SetHandle(0); }
  TBorrowedTexture(const TBorrowedTexture&) = delete;
  TBorrowedTexture& operator=(const TBorrowedTexture&) = delete;
  TTexture* Get() const { return FTexture.get(); }

private:
  TOwned<TVantrelTexture> FTexture;
};

// A 2 x 2 bitmap of one colour.
std::unique_ptr<TBitmap> Flat(TAlphaColor AColor) {
  auto bitmap = std::make_unique<TBitmap>(2, 2);
  TBitmapData data;
  EXPECT_TRUE(bitmap->Map(TMapAccess::Write, data));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      data.SetPixel(x, y, AColor);
  bitmap->Unmap(data);
  return bitmap;
}

// The quad with tangents drawn by the context into the fixture's target.
class EffectSourcesGL : public vtest::QuadTargetGL {
protected:
  void SetUp() override {
    QuadTargetGL::SetUp();
    SetUpQuadTarget(true);
  }

  void TearDown() override {
    vtest::ClearPassClasses();
    Sources.clear();
    QuadTargetGL::TearDown();
  }

  template <class T> T* NewSource() {
    Sources.push_back(MakeOwned<T>(nullptr));
    return static_cast<T*>(Sources.back().get());
  }

  // One draw of the quad with the source's material; the image is kept for Pixel.
  void Draw(TVantrelDefaultMaterialSource& ASource) {
    static const uint16_t Indices[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_TRUE(FContext->BeginSceneRendering());
    FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF000000, 1, 0);
    FContext->SetContextStates({TContextState::csZTestOff, TContextState::csAllFace});
    FContext->SetMatrix(TMatrix3D::Identity());
    try {
      FContext->DrawPrimitives(TPrimitivesKind::Triangles, FVertices->Buffer(), Indices,
                               FVertices->GetVertexDeclarations(), FVertices->VertexSize(), 4, 2, 6,
                               ASource.GetMaterial(), 1);
    } catch (...) {
      FContext->EndSceneRendering();
      throw;
    }
    FContext->EndSceneRendering();
    TBitmap image(Size, Size);
    FContext->CopyToBitmap(&image, TRect(0, 0, Size, Size));
    TBitmapData data;
    ASSERT_TRUE(image.Map(TMapAccess::Read, data));
    FImage.assign(static_cast<size_t>(Size) * Size, 0);
    for (int y = 0; y < Size; ++y)
      for (int x = 0; x < Size; ++x)
        FImage[static_cast<size_t>(y) * Size + x] = data.GetPixel(x, y);
    image.Unmap(data);
  }

  // A pixel of the last image, rows from the top.
  vtest::TRGBA8 Pixel(int AX, int AY) const {
    const TAlphaColor c = FImage[static_cast<size_t>(AY) * Size + AX];
    return {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)};
  }
  vtest::TRGBA8 Left() const { return Pixel(16, 32); }
  vtest::TRGBA8 Right() const { return Pixel(48, 32); }
  vtest::TRGBA8 Centre() const { return Pixel(32, 32); }

  // A program was linked for the material's current stages.
  static bool Linked(TVantrelDefaultMaterialSource& ASource) {
    TVantrelDefaultMaterial* material = ASource.DefaultMaterial();
    return material->VertexShader() &&
           TVantrelContext::GetProgram(material->VertexShader(), material->PixelShader()) != nullptr;
  }

  std::vector<TAlphaColor> FImage;
  std::vector<TOwned<TVantrelDefaultMaterialSource>> Sources;
};

// ---- Compiling through the sources --------------------------------------------------------------

// Every effect switch of a plain source, with its dynamic samplers declared and left unbound.
TEST_F(EffectSourcesGL, EffectSwitchesOfADefaultSourceCompileAndLink) {
  using TSetUp = std::function<void(TVantrelDefaultMaterialSource&)>;
  struct TRow {
    std::string Name;
    TSetUp SetUp;
  };
  std::vector<TRow> rows = {
      {"Shadows, depth comparison",
       [](TVantrelDefaultMaterialSource& S) {
         S.SetUseLighting(true);
         S.SetShadowMethod(TVantrelShadowMethod::ShadowMapping);
         S.SetShadows(true);
       }},
      {"Shadows, variance",
       [](TVantrelDefaultMaterialSource& S) {
         S.SetUseLighting(true);
         S.SetShadowMethod(TVantrelShadowMethod::VarianceShadowMapping);
         S.SetShadows(true);
       }},
      {"Reflections and refractions",
       [](TVantrelDefaultMaterialSource& S) {
         S.SetReflections(true);
         S.SetRefractions(true);
       }},
      {"Environment", [](TVantrelDefaultMaterialSource& S) { S.SetEnvironment(true); }},
  };
  for (int value = 1; value <= 10; ++value)
    rows.push_back({"Tonemapping " + std::to_string(value), [value](TVantrelDefaultMaterialSource& S) {
                      S.SetTonemapping(static_cast<TVantrelTonemapping>(value));
                    }});
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    auto* source = NewSource<TVantrelDefaultMaterialSource>();
    row.SetUp(*source);
    EXPECT_NO_THROW(Draw(*source));
    EXPECT_TRUE(Linked(*source));
  }
  // The rows really switched their effects on.
  EXPECT_TRUE(Sources[0]->DefaultMaterial()->GetFragmentShaderNode()->Defined("SHADOWMAPPING"));
  EXPECT_TRUE(Sources[1]->DefaultMaterial()->GetFragmentShaderNode()->Defined("VARIANCESHADOWMAPPING"));
  EXPECT_TRUE(Sources[2]->DefaultMaterial()->GetFragmentShaderNode()->Defined("REFRACTION"));
  EXPECT_TRUE(Sources[3]->DefaultMaterial()->GetFragmentShaderNode()->Defined("ENVIRONMENT"));
  EXPECT_TRUE(Sources.back()->DefaultMaterial()->GetFragmentShaderNode()->Defined("TONEMAP_UNCHARTED2"));
}

// Parallax on a plain source reads a "POMTexture" entry only the parallax sources add, so its text
// does not compile; the draw raises with the driver's complaint about the sampler.
TEST_F(EffectSourcesGL, ParallaxOnAPlainSourceFailsToCompile) {
  auto* source = NewSource<TVantrelDefaultMaterialSource>();
  source->SetUseTexture0(true);
  source->SetUseParallaxOcclusion(true);
  EXPECT_EQ(source->FindBitmapEntryByName("POMTexture"), nullptr);
  EXPECT_THROW(Draw(*source), EContext3DException);
  const TContextShaderSource& stage = source->DefaultMaterial()->GetFSShaderSource();
  const std::string text(stage.Code.begin(), stage.Code.end());
  EXPECT_NE(text.find("_POMTexture, l_POM_UV"), std::string::npos);
  EXPECT_EQ(text.find("sampler2D _POMTexture"), std::string::npos);
}

// Only the physically based source's builder adds PBR_TEX, so the texture switches of a plain
// source in the physically based model add their defines and change nothing else.
TEST_F(EffectSourcesGL, PhysicallyBasedTextureSwitchesDoNothingOnAPlainSource) {
  auto* source = NewSource<TVantrelDefaultMaterialSource>();
  source->SetShadingModel(TVantrelShadingModel::smPBR);
  auto text = [&] {
    const TContextShaderSource& stage = source->DefaultMaterial()->GetFSShaderSource();
    std::string result(stage.Code.begin(), stage.Code.end());
    // The switches' own define lines aside.
    for (size_t at; (at = result.find("#define PBR_TEX_")) != std::string::npos;)
      result.erase(at, result.find('\n', at) + 1 - at);
    for (size_t at; (at = result.find("#define SpecularMapTexture")) != std::string::npos;)
      result.erase(at, result.find('\n', at) + 1 - at);
    return result;
  };
  const std::string before = text();
  source->SetUsePBRAlbedoTexture(true);
  source->SetUsePBRMetallicTexture(true);
  source->SetUsePBRRoughnessTexture(true);
  source->SetUsePBRAOTexture(true);
  source->SetUsePBREmissiveTexture(true);
  EXPECT_TRUE(source->GetUsePBRMetallicTexture());
  EXPECT_FALSE(source->DefaultMaterial()->GetFragmentShaderNode()->Defined("PBR_TEX"));
  EXPECT_EQ(text(), before);
  EXPECT_NO_THROW(Draw(*source));
  EXPECT_TRUE(Linked(*source));
}

// ---- The variant sources with their own bitmaps -------------------------------------------------

TEST_F(EffectSourcesGL, PhysicallyBasedSourceMatchesTheModelWithItsBlockValues) {
  auto* source = NewSource<TVantrelPBRMaterialSource>();
  const auto albedo = Flat(0xFFC89664);
  const auto metalness = Flat(0xFF000080);
  const auto roughness = Flat(0xFF008000);
  const auto occlusion = Flat(0xFFFF0000);
  // The normal map's entry reads the bitmap's bytes in RGBA order, so the bitmap colour with red
  // and blue exchanged gives the shader the flat normal (128, 128, 255).
  const auto flatNormal = Flat(0xFFFF8080);
  const auto black = Flat(0xFF000000);
  source->SetTexture(albedo.get());
  source->SetMetalnessTexture(metalness.get());
  source->SetRoughnessTexture(roughness.get());
  source->SetAmbientOcclusionTexture(occlusion.get());
  source->SetNormalMap(flatNormal.get());
  source->SetParallaxOcclusionMap(black.get());
  source->SetDisplacementMap(black.get());
  FContext->AddLight(DirectionalLight(60));
  const TMatrix3D identity = TMatrix3D::Identity();
  FContext->SetInstances(1, &identity);
  Draw(*source);
  FContext->UnsetInstances();

  const TVantrelShaderData& block = source->DefaultMaterial()->GetShaderData();
  EXPECT_FLOAT_EQ(block.PassData[0].PBRMetallic, 0.25f);
  EXPECT_FLOAT_EQ(block.PassData[0].PBRRoughness, 0.75f);
  EXPECT_FLOAT_EQ(block.PassData[0].PBRAO, 1);
  EXPECT_FLOAT_EQ(block.PassData[0].NormalIntensity, 0.1f);
  const TVantrelShaderMaterial& m = block.Material[0];
  // The model: the albedo linearised, the channels scaled by the block's factors, and the normal
  // of a flat normal map, which the parallax form of the bumped normal turns towards the tangent.
  const double c = 128.0 / 255.0 * 2 - 1;
  const vref::TVec3 mapped = vref::TVec3{c, c, 1}.Normalized();
  vref::TPBRFragment f;
  f.Normal = vref::TVec3{mapped.Z, mapped.Y, mapped.X}.Normalized();
  const double centre = 0.5 / 32.0;
  f.View = (vref::TVec3{0, 0, 2} - vref::TVec3{centre, -centre, 0}).Normalized();
  f.Albedo = {std::pow(200.0 / 255, 2.2), std::pow(150.0 / 255, 2.2), std::pow(100.0 / 255, 2.2)};
  f.Metallic = 128.0 / 255 * block.PassData[0].PBRMetallic;
  f.Roughness = 128.0 / 255 * block.PassData[0].PBRRoughness;
  f.AO = block.PassData[0].PBRAO;
  f.MaterialDiffuse = {m.Diffuse.R, m.Diffuse.G, m.Diffuse.B};
  f.MaterialSpecular = {m.Specular.R, m.Specular.G, m.Specular.B};
  f.MaterialAmbient = {m.Ambient.R, m.Ambient.G, m.Ambient.B};
  f.Emissive = {m.Emissive.R, m.Emissive.G, m.Emissive.B};
  f.Shininess = m.Shininess;
  f.Lights = {
      {{std::sin(static_cast<float>(M_PI / 3)), 0, std::cos(static_cast<float>(M_PI / 3))}, {1, 1, 1}, 1, 1}};
  const vtest::TRGBA8 expected = ToRGBA8(vref::ShadePBR(f));
  ASSERT_GT(expected.R + expected.G + expected.B, 60) << "a probe worth comparing";
  EXPECT_TRUE(RGBNear(Centre(), expected)) << int(expected.R) << " " << int(expected.G) << " " << int(expected.B);
}

// The parallax coordinate is y-flipped and not flipped back: head-on, with a black depth map, the
// image shows mirrored against the same source with parallax switched off.
TEST_F(EffectSourcesGL, ParallaxSourceShowsItsImageMirrored) {
  auto* source = NewSource<TVantrelPOMMaterialSource>();
  // Upper row red, lower row green (bitmap rows from the top).
  TBitmap image(2, 2);
  TBitmapData data;
  ASSERT_TRUE(image.Map(TMapAccess::Write, data));
  for (int x = 0; x < 2; ++x) {
    data.SetPixel(x, 0, 0xFFFF0000);
    data.SetPixel(x, 1, 0xFF00FF00);
  }
  image.Unmap(data);
  const auto black = Flat(0xFF000000);
  const auto flatNormal = Flat(0xFFFF8080);
  source->SetTexture(&image);
  source->SetParallaxOcclusionMap(black.get());
  source->SetNormalMap(flatNormal.get());
  source->SetDisplacementMap(black.get());
  source->SetUseLighting(false);
  Draw(*source);
  const vtest::TRGBA8 top = Pixel(32, 8), bottom = Pixel(32, 56);
  source->SetUseParallaxOcclusion(false);
  Draw(*source);
  const vtest::TRGBA8 plainTop = Pixel(32, 8), plainBottom = Pixel(32, 56);
  // Without parallax one half is red and the other green; with it the halves change places.
  EXPECT_EQ(plainTop.R + plainBottom.R, 255);
  EXPECT_EQ(plainTop.G + plainBottom.G, 255);
  EXPECT_EQ(plainTop.B + plainBottom.B, 0);
  EXPECT_TRUE(RGBNear(top, plainBottom)) << "with parallax the top shows the other half";
  EXPECT_TRUE(RGBNear(bottom, plainTop));
}

// ---- The pass branches with pass doubles --------------------------------------------------------

// A Lambert source lit by one light along -N, showing its diffuse colour (0.8, 0.6, 0.4).
void LambertSetUp(TVantrelDefaultMaterialSource& ASource) {
  ASource.SetShadingModel(TVantrelShadingModel::smLambert);
  ASource.SetUseLighting(true);
  ASource.SetUseSpecular(false);
  ASource.SetSpecularF(TAlphaColorF::Create(0, 0, 0, 1));
  ASource.SetDiffuseF(TAlphaColorF::Create(0.8f, 0.6f, 0.4f, 1));
  ASource.SetAmbientF(TAlphaColorF::Create(0, 0, 0, 1));
  ASource.SetEmissiveF(TAlphaColorF::Create(0, 0, 0, 1));
}

// An unlit source showing white.
void UnlitWhite(TVantrelDefaultMaterialSource& ASource) {
  ASource.SetUseLighting(false);
  ASource.SetSpecularF(TAlphaColorF::Create(0, 0, 0, 1));
  ASource.SetDiffuseF(TAlphaColorF::Create(1, 1, 1, 1));
  ASource.SetAmbientF(TAlphaColorF::Create(0, 0, 0, 1));
  ASource.SetEmissiveF(TAlphaColorF::Create(0, 0, 0, 1));
}

TEST_F(EffectSourcesGL, ShadowMapsOfBothMethodsReachThePixel) {
  const vtest::TRawTexture depth(2, 1, GL_R32F, {0.3f, 0.9f});
  const vtest::TRawTexture moments(2, 1, GL_RG32F, {0.5f, 0.26f, 0.5f, 0.26f});
  const TBorrowedTexture depthTexture(depth, TVantrelTextureKind::Texture2D);
  const TBorrowedTexture momentsTexture(moments, TVantrelTextureKind::Texture2D);
  SetPassClass(TVantrelPassClassRef::SMStoreDepth, &vtest::TSMStoreDouble::StaticClass());
  SetPassClass(TVantrelPassClassRef::VSMStoreDepth, &vtest::TVSMStoreDouble::StaticClass());
  auto store = MakeOwned<vtest::TSMStoreDouble>(nullptr);
  store->Output = depthTexture.Get();
  store->Biased = BiasMatrix(0.6f);
  auto varianceStore = MakeOwned<vtest::TVSMStoreDouble>(nullptr);
  varianceStore->Output = momentsTexture.Get();
  varianceStore->Biased = BiasMatrix(0.6f);
  FContext->AddLight(DirectionalLight(0));
  // Lit Lambert: the diffuse colour counts twice, in the light sum and as the base colour.
  const vref::TVec3 lit = vref::TVec3{0.8, 0.6, 0.4} * vref::TVec3{0.8, 0.6, 0.4};
  struct TRow {
    const char* Name;
    TVantrelShadowMethod Method;
    vtest::TPassDouble* Pass;
    double LeftFactor, RightFactor;
  };
  const TRow rows[] = {
      {"depth comparison", TVantrelShadowMethod::ShadowMapping, store.get(), 0.5, 1},
      {"variance", TVantrelShadowMethod::VarianceShadowMapping, varianceStore.get(), 0.5, 0.5},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    auto* source = NewSource<TVantrelDefaultMaterialSource>();
    LambertSetUp(*source);
    source->SetShadowMethod(row.Method);
    source->SetShadows(true);
    source->SetMainShadowMapPass(row.Pass);
    Draw(*source);
    EXPECT_TRUE(RGBNear(Left(), ToRGBA8(lit * row.LeftFactor))) << "left";
    EXPECT_TRUE(RGBNear(Right(), ToRGBA8(lit * row.RightFactor))) << "right";
    source->SetMainShadowMapPass(nullptr);
  }
}

TEST_F(EffectSourcesGL, ReflectionAndRefractionPassesReachThePixel) {
  // Bottom row red | blue, top row green | white.
  const vtest::TRawTexture image(2, 2, GL_RGBA8, {1, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1});
  const TBorrowedTexture texture(image, TVantrelTextureKind::Texture2D);
  SetPassClass(TVantrelPassClassRef::Reflection, &vtest::TReflectionDouble::StaticClass());
  SetPassClass(TVantrelPassClassRef::Refraction, &vtest::TRefractionDouble::StaticClass());
  auto reflection = MakeOwned<vtest::TReflectionDouble>(nullptr);
  reflection->Output = texture.Get();
  // Projected onto the lower row of the image.
  reflection->Biased = BiasMatrix(0);
  reflection->Biased.m22 = 0;
  reflection->Biased.m42 = 0.25f;
  auto refraction = MakeOwned<vtest::TRefractionDouble>(nullptr);
  refraction->Output = texture.Get();

  auto* source = NewSource<TVantrelDefaultMaterialSource>();
  UnlitWhite(*source);
  source->SetReflections(true);
  source->SetReflectionPass(reflection.get());
  for (const float power : {1.0f, 0.5f, 0.0f}) {
    SCOPED_TRACE(power);
    source->SetReflectionPower(power);
    Draw(*source);
    EXPECT_TRUE(RGBNear(Left(), ToRGBA8(1, 1 - power, 1 - power)));
    EXPECT_TRUE(RGBNear(Right(), ToRGBA8(1 - power, 1 - power, 1)));
  }
  source->SetReflectionPass(nullptr);

  // The refraction reads the quad's own coordinates: the image shows unflipped.
  auto* refracting = NewSource<TVantrelDefaultMaterialSource>();
  UnlitWhite(*refracting);
  refracting->SetRefractions(true);
  refracting->SetRefractionPower(1);
  refracting->SetRefractionPass(refraction.get());
  Draw(*refracting);
  EXPECT_TRUE(RGBNear(Pixel(16, 48), ToRGBA8(1, 0, 0)));
  EXPECT_TRUE(RGBNear(Pixel(48, 48), ToRGBA8(0, 0, 1)));
  EXPECT_TRUE(RGBNear(Pixel(16, 16), ToRGBA8(0, 1, 0)));
  EXPECT_TRUE(RGBNear(Pixel(48, 16), ToRGBA8(1, 1, 1)));
  refracting->SetRefractionPass(nullptr);
}

TEST_F(EffectSourcesGL, EnvironmentPassReachesThePixel) {
  // +X, -X, +Y, -Y, +Z, -Z
  const vtest::TRawTexture cube(std::array<TFloat4, 6>{
      TFloat4{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 1, 1}, {0.2f, 0.4f, 0.6f, 1}});
  const TBorrowedTexture texture(cube, TVantrelTextureKind::CubeMap);
  SetPassClass(TVantrelPassClassRef::Environment, &vtest::TEnvironmentPassDouble::StaticClass());
  auto environment = MakeOwned<vtest::TEnvironmentPassDouble>(nullptr);
  environment->Output = texture.Get();
  auto* source = NewSource<TVantrelDefaultMaterialSource>();
  UnlitWhite(*source);
  source->SetEnvironment(true);
  source->SetEnvironmentPass(environment.get());
  for (const bool reflection : {true, false}) {
    SCOPED_TRACE(reflection ? "reflection" : "refraction");
    source->SetReflectionPower(reflection ? 1.0f : 0.0f);
    source->SetRefractionPower(reflection ? 0.0f : 1.0f);
    Draw(*source);
    EXPECT_TRUE(RGBNear(Centre(), ToRGBA8(0.2, 0.4, 0.6)));
  }
  EXPECT_EQ(source->DefaultMaterial()->GetShaderData().PassData[0].ReflectTextureMatrix.m11, 0.5f)
      << "the installed class opens the branch";
  source->SetEnvironmentPass(nullptr);
}

} // namespace effectsourcestest
