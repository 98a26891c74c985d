// The apply steps of the default material: the block read back after an apply inside a scene, and
// the textures bound by name.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.h"
#include "pass_doubles.h"
#include "rtl/stopwatch.h"
#include "support/gl_fixture.h"
#include "ui/mesh_buffers.h"
#include "ui/texture.h"

namespace materialapplytest {

using namespace vantrel;

// Records every texture bound by name, then binds it.
class TRecordingContext : public vtest::TGLTestContext {
  RTL_CLASS_META(TRecordingContext, vtest::TGLTestContext, vantrel::TContextOpenGLWindowsClass)
public:
  TRecordingContext() = default;
  static TOwned<TRecordingContext> MakeRecording(TTexture* ATexture) {
    return TOwned<TRecordingContext>(
        CheckedCast<TRecordingContext>(StaticClass().CreateFromTexture(ATexture, TMultisample::None, true)));
  }
  std::vector<std::pair<std::string, TTexture*>> Bindings;

protected:
  void DoSetShaderVariable(const std::string& AName, TTexture* ATexture) override {
    Bindings.emplace_back(AName, ATexture);
    inherited::DoSetShaderVariable(AName, ATexture);
  }
  using inherited::DoSetShaderVariable;
};
RTL_DEFINE_CLASS_META(TRecordingContext, "Test.MaterialApply", vantrel::TContextOpenGLWindowsClass)

using vtest::TDepthPassDouble;
using vtest::TEnvironmentPassDouble;
using vtest::TPassDouble;
using vtest::TReflectionDouble;
using vtest::TRefractionDouble;
using vtest::TSMStoreDouble;
using vtest::TVSMBlurDouble;
using vtest::TVSMStoreDouble;

TMatrix3D Filled(float AValue) {
  TMatrix3D result;
  result.m11 = result.m22 = result.m33 = AValue;
  result.m44 = 1;
  return result;
}

class MaterialApplyGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    FTexture = MakeOwned<TTexture>();
    FTexture->SetSize(64, 64);
    FTexture->SetStyle({TTextureStyle::RenderTarget});
    Context = TRecordingContext::MakeRecording(FTexture.get());
    Source = MakeOwned<TVantrelDefaultMaterialSource>(nullptr);
    Material = Source->DefaultMaterial();
  }
  void TearDown() override {
    vtest::ClearPassClasses();
    TStopwatch::SetClock(nullptr);
    Source.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    Context.reset();
    FTexture.reset();
    ContextGLTest::TearDown();
  }

  // One apply inside a scene; the block is then read through the material.
  const TVantrelShaderData& Apply(float AOpacity = 1) {
    Context->Bindings.clear();
    TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex}, 1);
    const uint16_t index = 0;
    EXPECT_TRUE(Context->BeginScene());
    Context->DrawPrimitives(TPrimitivesKind::Points, vertices.Buffer(), &index, vertices.GetVertexDeclarations(),
                            vertices.VertexSize(), 1, 2, 1, Material, AOpacity);
    Context->EndScene();
    return Material->GetShaderData();
  }

  TTexture* Bound(const std::string& AName) const {
    TTexture* result = nullptr;
    for (const auto& [name, texture] : Context->Bindings)
      if (name == AName)
        result = texture;
    return result;
  }

  TOwned<TTexture> FTexture;
  TOwned<TRecordingContext> Context;
  TOwned<TVantrelDefaultMaterialSource> Source;
  TVantrelDefaultMaterial* Material = nullptr;
};

TEST_F(MaterialApplyGL, OnlyEnabledLightsAreCopiedInOrderUpToThirtyTwo) {
  for (int i = 0; i < 5; ++i) {
    TLightDescription light;
    light.LightType = TLightType::Point;
    light.Position = {float(i), 0, 0};
    light.Enabled = i % 2 == 0;
    Context->AddLight(light);
  }
  const TVantrelShaderData& data = Apply();
  ASSERT_EQ(data.LightsCount, 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(data.Lights[i].Position.X, float(2 * i)) << i;
  Context->ClearLights();
  for (int i = 0; i < 40; ++i)
    Context->AddLight(TLightDescription{});
  EXPECT_EQ(Apply().LightsCount, 32);
}

TEST_F(MaterialApplyGL, FogClampsItsRangeAndCombinesItsMode) {
  struct TCase {
    bool Enabled;
    uint8_t Mode;
    float Start, End;
    int32_t FogMode;
    float WantStart, WantEnd;
  };
  for (const TCase& row : {TCase{true, 2, 0, 2000, 3, 0.1f, 1000}, TCase{false, 4, 5, 50, 4, 5, 50},
                           TCase{true, 8, 2000, 0.01f, 9, 1000, 0.1f}}) {
    SCOPED_TRACE(row.FogMode);
    TVantrelFogSettings fog;
    fog.Enabled = row.Enabled;
    fog.Mode = row.Mode;
    fog.Density = 0.5f;
    fog.FogStart = row.Start;
    fog.FogEnd = row.End;
    Context->SetFog(fog);
    const TVantrelShaderData& data = Apply();
    EXPECT_EQ(data.FogMode, row.FogMode);
    EXPECT_FLOAT_EQ(data.FogStart, row.WantStart);
    EXPECT_FLOAT_EQ(data.FogEnd, row.WantEnd);
    EXPECT_FLOAT_EQ(data.FogDensity, 0.5f);
  }
}

TEST_F(MaterialApplyGL, OptionsClipPlaneNormalsAndOpacity) {
  Context->ActivateClipPlane(0, TPlaneF{0, 1, 0, -2});
  Context->SetTranslucentRendering(true);
  Context->SetTranslucentDistance(7);
  Material->SetNormalIntensity(2);
  Material->SetInverseNormalMapping(true);
  const TVantrelShaderData& data = Apply(0.5f);
  EXPECT_EQ(data.Options, 3);
  EXPECT_EQ(data.ClippingPlane.Y, 1);
  EXPECT_EQ(data.ClippingPlane.W, -2);
  EXPECT_FLOAT_EQ(data.PassData[0].NormalIntensity, -2);
  EXPECT_FLOAT_EQ(data.Material[0].Features.X, 0.5f);
  EXPECT_FLOAT_EQ(data.PassData[0].TranslucentDistance, 7);

  Context->DeactivateClipPlane(0);
  Context->SetTranslucentRendering(false);
  const TVantrelShaderData& plain = Apply();
  EXPECT_EQ(plain.Options, 0);
  EXPECT_EQ(plain.ClippingPlane.Y, 0);
  EXPECT_EQ(plain.ClippingPlane.W, 0);
}

TEST_F(MaterialApplyGL, EyePositionAndViewDirectionComeFromTheCameraMatrix) {
  const TMatrix3D view = TMatrix3D::CreateRotationYawPitchRoll(float(M_PI / 2), 0, 0) *
                         TMatrix3D::CreateTranslation({1, 2, 3});
  Context->SetCameraMatrix(view);
  const TVantrelShaderData& data = Apply();
  const TMatrix3D V = Context->CurrentCameraMatrix();
  for (int i = 0; i < 3; ++i) {
    const float eye = -(V(i, 0) * V(3, 0) + V(i, 1) * V(3, 1) + V(i, 2) * V(3, 2));
    const float* got = &data.EyePos.X;
    EXPECT_NEAR(got[i], eye, 1e-5f) << i;
  }
  EXPECT_EQ(data.EyePos.W, 1);
  EXPECT_NEAR(data.ViewDir.X, -V(0, 2), 1e-6f);
  EXPECT_NEAR(data.ViewDir.Y, -V(1, 2), 1e-6f);
  EXPECT_NEAR(data.ViewDir.Z, -V(2, 2), 1e-6f);
  // The formula reads rows, not columns: the transposed reading differs for this camera.
  EXPECT_GT(std::fabs(data.EyePos.X + (V(0, 0) * V(0, 3) + V(1, 0) * V(1, 3) + V(2, 0) * V(2, 3))) +
                std::fabs(data.EyePos.Z + (V(0, 2) * V(3, 0) + V(1, 2) * V(3, 1) + V(2, 2) * V(3, 2))),
            0.5f);
}

TEST_F(MaterialApplyGL, SizeBoundaryAndInstances) {
  Context->SetNearPlane(0.5f);
  Context->SetFarPlane(200);
  Context->SetSceneBoundary(TBoundingBox::Create(TPoint3D{-1, -2, -3}, TPoint3D{4, 5, 6}));
  TVantrelFrustum frustum = Context->GetFrustum();
  Context->SetFrustum(frustum);
  const TBoundingBox box = Context->GetFrustumBoundary();
  const TVantrelShaderData& data = Apply();
  EXPECT_EQ(data.ViewSize.X, 64);
  EXPECT_EQ(data.ViewSize.Y, 64);
  EXPECT_FLOAT_EQ(data.ViewSize.Z, 0.5f);
  EXPECT_FLOAT_EQ(data.ViewSize.W, 200);
  EXPECT_FLOAT_EQ(data.BoundaryMin.X, std::max(-1.0f, box.Left));
  EXPECT_FLOAT_EQ(data.BoundaryMax.Z, std::min(6.0f, box.Far));
  EXPECT_EQ(data.BoundaryMin.W, 1);
  EXPECT_FLOAT_EQ(data.SceneMax.Y, 5);

  Context->UnsetInstances();
  EXPECT_TRUE(Context->BeginScene());
  Material->Apply(Context.get());
  EXPECT_EQ(Context->GetInstanceCount(), 1);
  const TMatrix3D three[3] = {TMatrix3D::Identity(), TMatrix3D::Identity(), TMatrix3D::Identity()};
  Context->SetInstances(3, three);
  Material->Apply(Context.get());
  EXPECT_EQ(Context->GetInstanceCount(), 3);
  Material->Reset(Context.get());
  Context->EndScene();
  Context->UnsetInstances();
}

TEST_F(MaterialApplyGL, ThePoolBindsItsStaticEntriesByNameWithTheirTiling) {
  Source->SetUseTexture0(true);
  Source->SetShadows(true);
  TVantrelBitmapPoolEntry* texture0 = Source->FindBitmapEntryByName("Texture0");
  texture0->GetBitmap()->SetSize(8, 8);
  Source->SetTextureTiling(0, {2, 3});
  const TVantrelShaderData& data = Apply();
  EXPECT_EQ(data.Material[0].Textures, 9);
  EXPECT_EQ(data.Material[0].Texture[0].Tiling, (TPointF{2, 3}));
  ASSERT_NE(Bound("Texture0"), nullptr);
  EXPECT_EQ(Bound("Texture0"), Material->GetTextures()->GetItem(0)->GetTexture());
  // Dynamic entries are declared but left to the pass inputs.
  EXPECT_EQ(Bound("ShadowMapTexture0"), nullptr);
  for (const auto& [name, texture] : Context->Bindings)
    EXPECT_FALSE(name.starts_with("ShadowMapTexture")) << name;
}

TEST_F(MaterialApplyGL, PassInputsBindOutputsAndTheBranchesWaitForTheirClasses) {
  auto depth = MakeOwned<TDepthPassDouble>(nullptr);
  auto environment = MakeOwned<TEnvironmentPassDouble>(nullptr);
  TTexture depthTexture, environmentTexture;
  depth->Output = &depthTexture;
  environment->Output = &environmentTexture;
  Source->SetDepthPass(depth.get());
  Source->SetEnvironment(true);
  Source->SetEnvironmentPass(environment.get());
  auto shadow = MakeOwned<TPassDouble>(nullptr);
  Source->SetShadowMapPass(3, shadow.get());

  // With all references nil, the inputs are bound and no branch writes.
  const TVantrelShaderData& before = Apply();
  EXPECT_EQ(Bound("DepthTexture"), &depthTexture);
  EXPECT_EQ(Bound("EnvironmentTexture"), &environmentTexture);
  EXPECT_EQ(before.PassData[0].ReflectTextureMatrix, TMatrix3D{});
  for (const auto& [name, texture] : Context->Bindings)
    EXPECT_FALSE(name.starts_with("ShadowMapTexture")) << name;
  const size_t inputsOnly = Context->Bindings.size();

  // Installed classes open the branches: the environment writes the bias matrix, the depth pass
  // binds its texture again.
  SetPassClass(TVantrelPassClassRef::CustomDepth, &TDepthPassDouble::StaticClass());
  SetPassClass(TVantrelPassClassRef::Environment, &TEnvironmentPassDouble::StaticClass());
  const TVantrelShaderData& after = Apply();
  EXPECT_EQ(Context->Bindings.size(), inputsOnly + 1);
  EXPECT_EQ(Context->Bindings.back(), (std::pair<std::string, TTexture*>{"DepthTexture", &depthTexture}));
  const TMatrix3D& bias = after.PassData[0].ReflectTextureMatrix;
  EXPECT_EQ(bias.m11, 0.5f);
  EXPECT_EQ(bias.m41, 0.5f);
  EXPECT_EQ(bias.m44, 1.0f);

  // A disabled depth pass is left to the input binding.
  depth->SetEnabled(false);
  Apply();
  EXPECT_EQ(Context->Bindings.size(), inputsOnly);
  Source->SetDepthPass(nullptr);
  Source->SetEnvironmentPass(nullptr);
  Source->SetShadowMapPass(3, nullptr);
}

TEST_F(MaterialApplyGL, ShadowMapsTakeTheStoreMatrixAndTheirOwnIndex) {
  SetPassClass(TVantrelPassClassRef::SMStoreDepth, &TSMStoreDouble::StaticClass());
  SetPassClass(TVantrelPassClassRef::VSMStoreDepth, &TVSMStoreDouble::StaticClass());
  SetPassClass(TVantrelPassClassRef::VSMBlur, &TVSMBlurDouble::StaticClass());
  auto store = MakeOwned<TVSMStoreDouble>(nullptr);
  store->Biased = Filled(3);
  auto blur = MakeOwned<TVSMBlurDouble>(nullptr);
  TTexture blurTexture;
  blur->Output = &blurTexture;
  blur->Biased = Filled(9);
  blur->Input = store.get();
  auto plain = MakeOwned<TPassDouble>(nullptr);
  auto otherBlur = MakeOwned<TVSMBlurDouble>(nullptr);
  otherBlur->Input = plain.get();
  otherBlur->Biased = Filled(5);
  auto sm = MakeOwned<TSMStoreDouble>(nullptr);
  sm->Biased = Filled(7);
  Source->SetShadowMapPass(3, blur.get());
  Source->SetShadowMapPass(4, otherBlur.get());
  Source->SetShadowMapPass(8, sm.get());
  Source->SetInput("ShadowMapTextureX", sm.get());

  // Shadows off: no matrix.
  EXPECT_EQ(Apply().PassData[0].ShadowMapMatrix[3], TMatrix3D{});
  Source->SetShadows(true);
  const TVantrelShaderData& data = Apply();
  EXPECT_EQ(data.PassData[0].ShadowMapMatrix[3], Filled(3));
  EXPECT_EQ(data.PassData[0].ShadowMapMatrix[4], TMatrix3D{});
  EXPECT_EQ(Bound("ShadowMapTexture3"), &blurTexture);
  for (const auto& [name, texture] : Context->Bindings) {
    EXPECT_NE(name, "ShadowMapTexture8");
    EXPECT_NE(name, "ShadowMapTextureX");
    EXPECT_NE(name, "ShadowMapTexture4");
  }
  for (const std::string key : {"ShadowMapTexture3", "ShadowMapTexture4", "ShadowMapTexture8", "ShadowMapTextureX"})
    Source->SetInput(key, nullptr);
}

TEST_F(MaterialApplyGL, ReflectionAndRefractionTakeTheirMatricesUnderTheirConditions) {
  SetPassClass(TVantrelPassClassRef::Reflection, &TReflectionDouble::StaticClass());
  SetPassClass(TVantrelPassClassRef::Refraction, &TRefractionDouble::StaticClass());
  auto reflection = MakeOwned<TReflectionDouble>(nullptr);
  reflection->Biased = Filled(2);
  TTexture reflectionTexture;
  reflection->Output = &reflectionTexture;
  auto refraction = MakeOwned<TRefractionDouble>(nullptr);
  refraction->Biased = Filled(4);
  refraction->Unbiased = Filled(6);
  Source->SetReflections(true);
  Source->SetRefractions(true);
  Source->SetReflectionPass(reflection.get());
  Source->SetRefractionPass(refraction.get());

  // Power 0: the matrix stays, the texture is still bound by the inputs.
  EXPECT_EQ(Apply().PassData[0].ReflectTextureMatrix, TMatrix3D{});
  EXPECT_EQ(Bound("ReflectionTexture"), &reflectionTexture);
  Source->SetReflectionPower(0.5f);
  Source->SetRefractionPower(0.5f);
  const TVantrelShaderData& data = Apply();
  EXPECT_EQ(data.PassData[0].ReflectTextureMatrix, Filled(2));
  EXPECT_EQ(data.PassData[0].RefractTextureMatrix, Filled(6));

  // A disabled reflection writes nothing.
  reflection->Biased = Filled(8);
  reflection->SetEnabled(false);
  EXPECT_EQ(Apply().PassData[0].ReflectTextureMatrix, Filled(2));
  Source->SetReflectionPass(nullptr);
  Source->SetRefractionPass(nullptr);
}

TEST_F(MaterialApplyGL, TimingMeasuresTheReplacedClock) {
  int64_t now = 0;
  TStopwatch::SetClock([&] { return now; });
  Material->SetMeasureTime(true);
  now = 2'500'000;
  Apply();
  now = 5'000'000;
  const TVantrelShaderData& data = Apply();
  EXPECT_NEAR(data.TimeInfo.W, 0.5, 1e-6);
  EXPECT_NEAR(data.TimeInfo.Z, 0.25, 1e-6);
  EXPECT_NEAR(data.TimeInfo.Y, 0.5, 1e-6);
  EXPECT_NEAR(Material->GetDeltaTime(), 0.5, 1e-6);
  Material->SetMeasureTime(false);
  now = 9'000'000;
  EXPECT_NEAR(Apply().TimeInfo.Y, 0.5, 1e-6);
}

} // namespace materialapplytest
