// A static cube drawn the way a form draws it: a framework viewport in manual rendering, looking
// through a framework camera, with the renderer's full frame (G-buffer and composite).

#include <gtest/gtest.h>

#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Cube.h"
#include "support/scene_host.h"
#include "support/vertex_color_material.h"
#include "support/viewport_scene_test.h"
#include "ui/application.h"

namespace {

using namespace vantrel;

constexpr float Size = 64;

using vtest::ChannelsNear;

class CubeViewportGL : public vtest::ViewportSceneGL {
protected:
  // Where the camera projects APoint on the viewport's image.
  TAlphaColor Probe(TCamera* ACamera, const TPoint3D& APoint) {
    const TPoint3D screen = ScreenOf(ACamera, APoint);
    EXPECT_TRUE(screen.X >= 0 && screen.X < Size && screen.Y >= 0 && screen.Y < Size)
        << screen.X << ", " << screen.Y << " of " << FViewport->Context()->Width() << " x "
        << FViewport->Context()->Height();
    return Pixel(int(screen.X), int(screen.Y));
  }
};

TEST_F(CubeViewportGL, AStaticCubeSeenThroughACamera) {
  FScene = vtest::MakeScene(Size, Size);
  FViewport = New<TVantrelViewport>(FScene.get());
  FViewport->SetOpaqueSaturation(0);
  FViewport->SetColor(0xFF000000);
  FViewport->SetUseFixedFrameRate(false);
  auto* source = New<vtest::TVertexColorSource>(FScene.get());
  source->Tag = "cube-viewport";
  auto* cube = New<TVantrelCube>(FScene.get());
  cube->SetMaterialSource(source);
  cube->SetParent(FViewport);
  auto* target = New<TDummy>(FScene.get());
  target->SetParent(FViewport);
  auto* camera = New<TVantrelCamera>(FScene.get());
  camera->SetParent(FViewport);
  camera->Position()->SetPoint({1.5f, 1.2f, 2.0f});
  camera->SetTarget(target);
  camera->SetFOV(45);
  FViewport->SetCamera(camera);
  FViewport->SetUsingDesignCamera(false);

  // The first paint brings the viewport up; from then on frames are manual.
  Application().ProcessMessages();
  FViewport->SetManualRendering(true);
  FViewport->RenderManual();
  auto* def = dynamic_cast<TMeshDef*>(cube->Def());
  ASSERT_NE(def, nullptr);
  EXPECT_NE(def->GetBufferObject(), nullptr); // the pending static build ran in the frame
  EXPECT_TRUE(ChannelsNear(Probe(camera, {0, 0, 0.5f}), 0xFF0000FF))
      << std::hex << Probe(camera, {0, 0, 0.5f});
  EXPECT_TRUE(ChannelsNear(Probe(camera, {0.5f, 0, 0}), 0xFFFF00FF))
      << std::hex << Probe(camera, {0.5f, 0, 0});
  EXPECT_TRUE(ChannelsNear(Probe(camera, {0, 0.5f, 0}), 0xFF00FF00))
      << std::hex << Probe(camera, {0, 0.5f, 0});
  EXPECT_TRUE(ChannelsNear(Pixel(0, 0), 0xFF000000)) << std::hex << Pixel(0, 0);
}

} // namespace
