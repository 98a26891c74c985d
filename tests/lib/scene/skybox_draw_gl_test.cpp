// The sky material drawing a hand-made box on the real driver: the per-draw record, the blank and
// fogged colours, and the program and block rules on a pair change and on destruction.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

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
