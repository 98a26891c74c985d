// The three passes with the default material: after a frame, the material applied inside a scene
// takes each pass's matrix and binds its output by name; the resources stay put over resizes; and
// one mirror image end to end, a red quad seen in a mirror drawn with the default material.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "pass_frame.h"
#include "rendering/Vantrel.Controller.Passes.Environment.h"
#include "rendering/Vantrel.Controller.Passes.Reflection.h"
#include "rendering/Vantrel.Controller.Passes.Refraction.h"
#include "scene/Vantrel.Light.h"
#include "ui/bitmap.h"
#include "ui/mesh_buffers.h"
#include "ui/messages.h"
#include "ui/shaders.h"

namespace passgluetest {

using namespace rtest;

// Records every texture bound by name, then binds it.
class TBindingContext : public vtest::TGLTestContext {
  RTL_CLASS_META(TBindingContext, vtest::TGLTestContext, vantrel::TContextOpenGLWindowsClass)
public:
  TBindingContext() = default;
  static TOwned<TBindingContext> Make(TTexture* ATexture) {
    return TOwned<TBindingContext>(
        CheckedCast<TBindingContext>(StaticClass().CreateFromTexture(ATexture, TMultisample::None, true)));
  }
  std::vector<std::pair<std::string, TTexture*>> Bindings;
  TTexture* Bound(const std::string& AName) const {
    TTexture* result = nullptr;
    for (const auto& [name, texture] : Bindings)
      if (name == AName)
        result = texture;
    return result;
  }

protected:
  void DoSetShaderVariable(const std::string& AName, TTexture* ATexture) override {
    Bindings.emplace_back(AName, ATexture);
    inherited::DoSetShaderVariable(AName, ATexture);
  }
  using inherited::DoSetShaderVariable;
};
RTL_DEFINE_CLASS_META(TBindingContext, "Test.PassGlue", vantrel::TContextOpenGLWindowsClass)

const TMatrix3D Bias = Rows({0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0.5f, 0.5f, 0.5f, 1});

// A 10 x 10 quad in the local XZ plane facing -Y, drawn with a default material from client
// memory (position, normal, texture coordinate, tangent) with one instance at its absolute matrix.
class TMirrorQuad : public TVantrelControl {
  RTL_CLASS(TMirrorQuad, TVantrelControl)
public:
  explicit TMirrorQuad(TComponent* AOwner) : TVantrelControl(AOwner) {
    SetWidth(10);
    SetHeight(0.1f);
    SetDepth(10);
  }
  TVantrelDefaultMaterialSource* Source = nullptr;

protected:
  void Render() override {
    DrawMaterialQuad(Context(), AbsoluteMatrix(), {{{-5, 0, -5}, {5, 0, -5}, {5, 0, 5}, {-5, 0, 5}}}, {0, -1, 0},
                     Source->GetMaterial());
  }
};
RTL_DEFINE_CLASS(TMirrorQuad, "Test.PassGlue")

using PassGlueGL = SourcesFrameGL;

// One apply inside a scene of a context of the test's own; the block is then read through the
// material.
const TVantrelShaderData& Apply(TBindingContext& AContext, TVantrelDefaultMaterialSource& ASource) {
  AContext.Bindings.clear();
  TVertexBuffer vertices(TVertexFormats{TVertexFormat::Vertex}, 1);
  const uint16_t index = 0;
  EXPECT_TRUE(AContext.BeginScene());
  AContext.DrawPrimitives(TPrimitivesKind::Points, vertices.Buffer(), &index, vertices.GetVertexDeclarations(),
                          vertices.VertexSize(), 1, 2, 1, ASource.GetMaterial(), 1);
  AContext.EndScene();
  return ASource.DefaultMaterial()->GetShaderData();
}

TEST_F(PassGlueGL, TheMaterialTakesEachPassesMatrixAndOutput) {
  UseCamera({0, -5, -10});
  AddProbe({0, -2, 0});
  auto* mirror = MakePass<TVantrelRenderPassReflection>("Mirror");
  auto* water = MakePass<TVantrelRenderPassRefraction>("Water");
  auto* environment = MakePass<TVantrelRenderPassEnvironment>("Environment");
  environment->SetMapSize(16);
  Frame();
  vtest::TTestTexture target(16, 16);
  TOwned<TBindingContext> context = TBindingContext::Make(target.get());

  auto* reflecting = NewSource<TVantrelDefaultMaterialSource>();
  reflecting->SetReflections(true);
  reflecting->SetReflectionPower(0.5f);
  reflecting->SetReflectionPass(mirror);
  const TVantrelShaderData& reflection = Apply(*context, *reflecting);
  EXPECT_TRUE(MatrixNear(reflection.PassData[0].ReflectTextureMatrix,
                         mirror->GetTextureMatrix(mirror->GetRenderPassContext(), true)));
  EXPECT_NE(context->Bound("ReflectionTexture"), nullptr);
  EXPECT_EQ(context->Bound("ReflectionTexture"), mirror->GetOutputTexture());

  auto* refracting = NewSource<TVantrelDefaultMaterialSource>();
  refracting->SetRefractions(true);
  refracting->SetRefractionPower(0.5f);
  refracting->SetRefractionPass(water);
  const TVantrelShaderData& refraction = Apply(*context, *refracting);
  EXPECT_TRUE(MatrixNear(refraction.PassData[0].RefractTextureMatrix, Bias));
  EXPECT_EQ(context->Bound("RefractionTexture"), water->GetOutputTexture());

  auto* mapped = NewSource<TVantrelDefaultMaterialSource>();
  mapped->SetEnvironment(true);
  mapped->SetReflectionPower(0.5f);
  mapped->SetEnvironmentPass(environment);
  const TVantrelShaderData& environmentData = Apply(*context, *mapped);
  EXPECT_TRUE(MatrixNear(environmentData.PassData[0].ReflectTextureMatrix, Bias));
  auto* cube = dynamic_cast<TVantrelTexture*>(context->Bound("EnvironmentTexture"));
  ASSERT_NE(cube, nullptr);
  EXPECT_EQ(cube->GetKind(), TVantrelTextureKind::CubeMap);
  EXPECT_EQ(cube, environment->GetOutputTexture());
  reflecting->SetReflectionPass(nullptr);
  refracting->SetRefractionPass(nullptr);
  mapped->SetEnvironmentPass(nullptr);
}

TEST_F(PassGlueGL, ResizesLeaveProgramsShadersAndComponentsWhereTheyWere) {
  UseCamera({0, -5, -10});
  AddProbe({0, -2, 0});
  MakePass<TVantrelRenderPassReflection>("Mirror");
  MakePass<TVantrelRenderPassRefraction>("Water");
  MakePass<TVantrelRenderPassEnvironment>("Environment")->SetMapSize(16);
  FViewport->SetSize(63, 63);
  Frame();
  const int programs = TVantrelContext::ProgramCount();
  const int shaders = TShaderManager::Count();
  const int components = FViewport->ComponentCount();
  for (int resize = 0; resize < 10; ++resize) {
    FViewport->SetSize(resize % 2 == 0 ? 64 : 63, resize % 2 == 0 ? 64 : 63);
    Frame();
  }
  EXPECT_EQ(TVantrelContext::ProgramCount(), programs);
  EXPECT_EQ(TShaderManager::Count(), shaders);
  EXPECT_EQ(FViewport->ComponentCount(), components);
  TContextResetMessage message;
  TMessageManager::DefaultManager().SendMessage(nullptr, &message, false);
  Frame();
}

// The pixel of the viewport's image (rows from the top) where the main camera sees APoint.
TPoint PixelOf(TVantrelContext& AContext, const TPoint3D& APoint) {
  const TVector3D clip = TVector3D{APoint.X, APoint.Y, APoint.Z, 1} *
                         (AContext.CurrentCameraMatrix() * AContext.CurrentProjectionMatrix());
  const float x = clip.X / clip.W, y = clip.Y / clip.W;
  return {int((x + 1) / 2 * 64), int((1 - y) / 2 * 64)};
}

vtest::TRGBA8 ImagePixel(TVantrelViewport& AViewport, const TPoint& APixel) {
  TBitmapData data;
  if (!AViewport.Bitmap()->Map(TMapAccess::Read, data))
    return {};
  const TAlphaColor c = data.GetPixel(APixel.X, APixel.Y);
  AViewport.Bitmap()->Unmap(data);
  return {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)};
}

bool RedDominant(const vtest::TRGBA8& AColor) { return AColor.R > 2 * AColor.G && AColor.R > 2 * AColor.B; }

TEST_F(PassGlueGL, ARedQuadShowsInTheMirror) {
  UseCamera({0, -5, -10});
  auto* mirror = MakePass<TVantrelRenderPassReflection>("Mirror");
  // A light shining up onto the mirror's face.
  auto* light = New<TVantrelLight>(FScene.get());
  light->SetLightType(TLightType::Directional);
  for (const float angle : {90.0f, -90.0f}) {
    light->RotationAngle()->SetPoint({angle, 0, 0});
    if (light->LightDescription().Direction.Y > 0.99f)
      break;
  }
  ASSERT_GT(light->LightDescription().Direction.Y, 0.99f);
  light->SetParent(FViewport);
  auto* source = NewSource<TVantrelLambertMaterialSource>();
  source->SetUseLighting(true);
  source->SetUseSpecular(false);
  source->SetDiffuseF(TAlphaColorF::Create(1, 1, 1, 1));
  source->SetAmbientF(TAlphaColorF::Create(0.2f, 0.2f, 0.2f, 1));
  source->SetEmissiveF(TAlphaColorF::Create(0, 0, 0, 1));
  source->SetReflections(true);
  source->SetReflectionPower(1.0f);
  source->SetReflectionPass(mirror);
  auto* quad = New<TMirrorQuad>(FScene.get());
  quad->Source = source;
  quad->SetParent(FViewport);
  // The mirror lies on the clip plane itself: drawn into its own image it would hide the scene.
  mirror->IgnoreControl(quad);
  vtest::TPassProbe* red = AddProbe({0, -2, 0});
  red->Horizontal = true;
  red->SetColor({1, 0, 0, 1});

  Frame();
  const TPoint reflected = PixelOf(MainContext(), {0, 0, -20.0f / 7});
  const TPoint background = PixelOf(MainContext(), {3, 0, 2});
  ASSERT_TRUE(reflected.X >= 0 && reflected.X < 64 && reflected.Y >= 0 && reflected.Y < 64);
  ASSERT_TRUE(background.X >= 0 && background.X < 64 && background.Y >= 0 && background.Y < 64);
  const vtest::TRGBA8 seen = ImagePixel(*FViewport, reflected);
  EXPECT_TRUE(RedDominant(seen)) << int(seen.R) << ", " << int(seen.G) << ", " << int(seen.B);
  const vtest::TRGBA8 plain = ImagePixel(*FViewport, background);
  EXPECT_FALSE(RedDominant(plain)) << int(plain.R) << ", " << int(plain.G) << ", " << int(plain.B);

  // Without the reflection's share the red is gone from that pixel.
  source->SetReflectionPower(0);
  Frame();
  const vtest::TRGBA8 without = ImagePixel(*FViewport, reflected);
  EXPECT_FALSE(RedDominant(without)) << int(without.R) << ", " << int(without.G) << ", " << int(without.B);
  source->SetReflectionPass(nullptr);
}

} // namespace passgluetest
