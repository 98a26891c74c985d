// The viewport's slice that renderers and passes rely on: creation, the main and current renderer,
// settings with their clamps and propagation, resizing and the pass list.

#include <gtest/gtest.h>

#include "rendering_fixture.h"
#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "support/log_capture.h"

namespace {

using namespace rtest;

TEST(ViewportSlice, NeedsAnOwner) {
  try {
    New<TVantrelViewport>(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "owner component not set");
  }
}

using ViewportGL = RenderingGL;

TEST_F(ViewportGL, ResizeMakesTheNamedMainRendererAndBitmap) {
  TRenderer* main = Viewport().MainPassRenderer();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->GetId(), Format("Viewport@%d", reinterpret_cast<intptr_t>(&Viewport())));
  EXPECT_NE(dynamic_cast<TForwardRenderer*>(main), nullptr);
  EXPECT_EQ(main->GetSharedContext()->Width(), 64);
  EXPECT_EQ(main->GetSharedContext()->Height(), 64);
  ASSERT_NE(Viewport().Bitmap(), nullptr);
  EXPECT_EQ(Viewport().Bitmap()->Width(), 64);
  EXPECT_EQ(Viewport().CurrentRenderer(), main);
  EXPECT_EQ(Viewport().Context(), main->GetSharedContext());
  EXPECT_EQ(Viewport().Parent(), &Root());

  vtest::TLogCapture log;
  Viewport().SetSize(0, 0);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"ERROR: Illegal viewport resize(0, 0)"});
  EXPECT_EQ(Viewport().MainPassRenderer()->GetSharedContext()->Width(), 64);
  EXPECT_EQ(Viewport().Bitmap()->Width(), 64);
}

TEST_F(ViewportGL, SettingsAreClampedAndReachACompositeMainRenderer) {
  auto* main = dynamic_cast<TCompositeRenderer*>(Viewport().MainPassRenderer());
  ASSERT_NE(main, nullptr);
  // The softness keeps the renderer's own default at creation.
  EXPECT_EQ(main->GetGlobalIllumSoftness(), 1);
  struct TCase {
    const char* Name;
    std::function<void()> Set;
    std::function<double()> Stored;
    std::function<double()> Renderer;
    double Expected;
  } cases[] = {
      {"EmissiveBlur 20", [&] { Viewport().SetEmissiveBlur(20); }, [&] { return Viewport().GetEmissiveBlur(); },
       [&] { return main->GetEmissiveBlur(); }, 15},
      {"FXAA -1", [&] { Viewport().SetFXAA(-1); }, [&] { return Viewport().GetFXAA(); },
       [&] { return main->GetFXAA(); }, 0},
      {"ShadowStrength 12", [&] { Viewport().SetShadowStrength(12); },
       [&] { return Viewport().GetShadowStrength(); }, [&] { return main->GetShadowStrength(); }, 10},
      {"GlobalIllumSoftness 6", [&] { Viewport().SetGlobalIllumSoftness(6); },
       [&] { return Viewport().GetGlobalIllumSoftness(); }, [&] { return main->GetGlobalIllumSoftness(); }, 5},
      {"ReflectionStrength 11", [&] { Viewport().SetReflectionStrength(11); },
       [&] { return Viewport().GetReflectionStrength(); }, [&] { return main->GetReflectionStrength(); }, 10},
      {"CompositeSaturation 0.5", [&] { Viewport().SetCompositeSaturation(0.5f); },
       [&] { return Viewport().GetSaturation().Z; }, [&] { return main->GetSaturation().Z; }, 0.5},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Set();
    EXPECT_EQ(c.Stored(), c.Expected);
    EXPECT_EQ(c.Renderer(), c.Expected);
  }
  // Stored unclamped; the renderer clamps to 7 and keeps the level its voxel volume fits (5 under
  // llvmpipe's 3D texture limit of 2048).
  Viewport().SetGlobalIllumDetail(9);
  EXPECT_EQ(Viewport().GetGlobalIllumDetail(), 9);
  EXPECT_EQ(main->GetGlobalIllumDetail(), 5);

  // Planes and fog reach the main context.
  Viewport().SetNearPlane(0.5f);
  Viewport().SetFog(true);
  auto* context = dynamic_cast<TVantrelContext*>(main->GetSharedContext());
  EXPECT_EQ(context->GetNearPlane(), 0.5f);
  EXPECT_TRUE(context->GetFog().Enabled);
  EXPECT_EQ(context->GetFog().Mode, 2);
}

TEST_F(ViewportGL, ACurrentPassRendererTakesTheMainContextsState) {
  auto pass = TVantrelRenderPassController::CreateController(TPlainPass::StaticClass(), &Root(), "P");
  pass->SetViewport(&Viewport());
  TContext3D* mainContext = Viewport().MainPassRenderer()->GetSharedContext();
  const TMatrix3D camera = TMatrix3D::CreateTranslation(TPoint3D{1, 2, 3});
  mainContext->SetCameraMatrix(camera);
  Viewport().SetCurrentRenderer(pass->GetRenderer());
  EXPECT_EQ(Viewport().CurrentRenderer(), pass->GetRenderer());
  EXPECT_EQ(pass->GetRenderPassContext()->CurrentCameraMatrix(), camera);
  EXPECT_EQ(Viewport().Context(), pass->GetRenderPassContext());
  Viewport().SetCurrentRenderer(nullptr);
  EXPECT_EQ(Viewport().CurrentRenderer(), Viewport().MainPassRenderer());
}

TEST_F(ViewportGL, FreeingAPassTakesItOffTheList) {
  auto* pass = TVantrelRenderPassController::CreateController(TPlainPass::StaticClass(), &Root(), "P");
  pass->SetViewport(&Viewport());
  ASSERT_EQ(Viewport().RenderPasses().size(), 1u);
  pass->Free();
  EXPECT_TRUE(Viewport().RenderPasses().empty());
}

TEST_F(ViewportGL, RendererTypeRecreatesTheMainRenderer) {
  Viewport().SetRendererType(TRendererType::LegacyRenderer);
  EXPECT_NE(dynamic_cast<TLegacyRenderer*>(Viewport().MainPassRenderer()), nullptr);
  EXPECT_EQ(Viewport().CurrentRenderer(), Viewport().MainPassRenderer());
}

} // namespace
