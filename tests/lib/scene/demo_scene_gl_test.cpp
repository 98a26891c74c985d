// The demo's scene in a framework viewport: its sky box and light, read from the demo form's own
// text, and a cube with a tomato Lambert source, rendered through the full frame.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "context/Vantrel.Context.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "rendering/Vantrel.Viewport.Helpers.h"
#include "rendering/Vantrel.Viewport.h"
#include "rtl/form_text.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Cube.h"
#include "scene/Vantrel.Light.h"
#include "scene/Vantrel.SkyBox.h"
#include "support/scene_host.h"
#include "support/viewport_scene_test.h"
#include "ui/application.h"

namespace {

using namespace vantrel;

constexpr float Size = 64;
constexpr TAlphaColor ViewportColor = 0xFF000000;

// The "object AName: …" block of the demo form, up to its "end" at the same indentation.
std::string DemoFormObject(const std::string& AName) {
  std::ifstream file(std::string(VANTREL_SOURCE_ROOT) + "demo/Unit1.form");
  std::string line, block, indent;
  bool inside = false;
  while (std::getline(file, line)) {
    if (!inside) {
      const size_t at = line.find("object " + AName + ":");
      if (at == std::string::npos)
        continue;
      inside = true;
      indent = line.substr(0, at);
    }
    block += line.substr(std::min(indent.size(), line.size())) + "\n";
    if (line == indent + "end")
      break;
  }
  return block;
}

class DemoSceneGL : public vtest::ViewportSceneGL {
protected:
  TAlphaColorF Probe(TCamera* ACamera, const TPoint3D& APoint) {
    const TPoint3D screen = ScreenOf(ACamera, APoint);
    return TAlphaColorF::Create(Pixel(int(screen.X), int(screen.Y)));
  }
};

TEST_F(DemoSceneGL, TheSkyLightAndCubeOfTheDemo) {
  FScene = vtest::MakeScene(Size, Size);
  FViewport = New<TVantrelViewport>(FScene.get());
  FViewport->SetColor(ViewportColor);
  FViewport->SetUseFixedFrameRate(false);

  auto* sky = New<TVantrelSkyBox>(FScene.get());
  const std::string skyText = DemoFormObject("VantrelSkyBox1");
  ASSERT_NE(skyText.find("StarProbe = 0.9"), std::string::npos) << skyText;
  rtl::ReadComponentFromText(skyText, sky);
  sky->SetParent(FViewport);
  EXPECT_FLOAT_EQ(sky->GetStarProbe(), 0.9f);

  auto* source = New<TVantrelLambertMaterialSource>(FScene.get());
  rtl::ReadComponentFromText(DemoFormObject("VantrelLambertMaterialSource1"), source);
  EXPECT_EQ(source->GetDiffuse(), claTomato);
  auto* cube = New<TVantrelCube>(FScene.get());
  cube->SetMaterialSource(source);
  cube->SetParent(FViewport);

  auto* light = New<TVantrelLight>(FScene.get());
  rtl::ReadComponentFromText(DemoFormObject("VantrelLight1"), light);
  light->SetParent(FViewport);
  EXPECT_EQ(light->Position()->Point(), (TPoint3D{2.5f, -5, -5}));

  auto* camera = New<TVantrelCamera>(FScene.get());
  camera->SetParent(FViewport);
  camera->Position()->SetPoint({1.2f, -1.5f, -3});
  camera->SetTarget(cube);
  FViewport->SetCamera(camera);
  FViewport->SetUsingDesignCamera(false);

  // A second sky box goes in front of the first in the render list.
  Application().ProcessMessages();
  ASSERT_FALSE(FViewport->RenderingList().empty());
  EXPECT_EQ(FViewport->RenderingList().front(), sky);
  auto* second = New<TVantrelSkyBox>(FScene.get());
  second->SetParent(FViewport);
  FViewport->RebuildRenderingList();
  ASSERT_GE(FViewport->RenderingList().size(), 2u);
  EXPECT_EQ(FViewport->RenderingList()[0], second);
  EXPECT_EQ(FViewport->RenderingList()[1], sky);
  second->Free();

  FViewport->SetManualRendering(true);
  FViewport->RenderManual();
  // Of the listed objects only the cube counts for the scene's bounds: the sky box is drawn
  // without a bounds test.
  TBoundingBox bounds;
  for (TControl3D* object : FViewport->RenderingList())
    EXPECT_TRUE(TVantrelRenderingHelper::Renderable(object, TVantrelFrustum{}, FViewport->ComponentState(), bounds,
                                                    false, true));
  const TBoundingBox box = cube->GetAbsoluteBoundingBox();
  EXPECT_EQ(bounds.MinPoint(), box.MinPoint());
  EXPECT_EQ(bounds.MaxPoint(), box.MaxPoint());
  // The sky fills the corners, and a pick there hits no 3D object (the viewport answers itself).
  EXPECT_NE(Pixel(0, 0), ViewportColor);
  EXPECT_EQ(FViewport->ObjectAtPoint({0.5f, 0.5f}), static_cast<IControl*>(FViewport));

  // The tomato cube is lit by the demo's light: its own values reach the shader.
  const TAlphaColorF lit = Probe(camera, {0, 0, 0});
  EXPECT_GT(lit.R, lit.G);
  light->SetIntensity(0);
  FViewport->RenderManual();
  const TAlphaColorF dark = Probe(camera, {0, 0, 0});
  EXPECT_LT(dark.R + dark.G + dark.B, lit.R + lit.G + lit.B);
}

} // namespace
