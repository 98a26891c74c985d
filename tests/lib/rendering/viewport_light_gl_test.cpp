#include <gtest/gtest.h>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Renderer.h"
#include "rendering/Vantrel.Viewport.h"
#include "rendering_fixture.h"
#include "scene/Vantrel.Light.h"

namespace {

using namespace vantrel;

using ViewportLights = rtest::RenderingGL;

TEST_F(ViewportLights, AFrameworkLightReachesTheContextWithItsOwnValues) {
  auto* light = New<TVantrelLight>(&Root());
  light->SetIntensity(2.5f);
  light->SetAmbient({0.1f, 0.2f, 0.3f, 1});
  auto* plain = New<ui::TLight>(&Root());
  // The lights' list as the scene fills it.
  Viewport().AddLight(light);
  Viewport().AddLight(plain);
  Viewport().UpdateMainLightSettings();
  ASSERT_NE(Viewport().MainPassRenderer(), nullptr);
  auto* context = dynamic_cast<TVantrelContext*>(Viewport().MainPassRenderer()->GetSharedContext());
  ASSERT_NE(context, nullptr);
  const auto& lights = context->GetShaderLights();
  ASSERT_EQ(lights.Count(), 2);
  EXPECT_EQ(lights[0].Intensity, 2.5f);
  EXPECT_EQ(lights[0].Ambient, (TAlphaColorF{0.1f, 0.2f, 0.3f, 1}));
  EXPECT_NE(lights[1].Intensity, 2.5f);
  Viewport().RemoveLight(light);
  Viewport().RemoveLight(plain);
}

} // namespace
