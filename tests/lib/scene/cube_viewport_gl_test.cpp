// A static cube drawn the way a form draws it: a framework viewport in manual rendering, looking
// through a framework camera, with the renderer's full frame (G-buffer and composite).

#include <gtest/gtest.h>

#include <cstdlib>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Cube.h"
#include "support/gl_fixture.h"
#include "support/scene_host.h"
#include "support/vertex_color_material.h"
#include "ui/application.h"
#include "ui/bitmap.h"
#include "ui/shaders.h"

namespace cubevp {

class TVertexColorSource : public ui::TMaterialSource {
  RTL_CLASS(TVertexColorSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override {
    return rtl::MakeOwned<vtest::TVertexColorMaterial>("cube-viewport");
  }
};
RTL_DEFINE_CLASS(TVertexColorSource, "Test.CubeViewport")

} // namespace cubevp

namespace {

using namespace vantrel;

constexpr float Size = 64;

bool Near(TAlphaColor AActual, TAlphaColor AExpected) {
  for (int shift = 0; shift < 32; shift += 8)
    if (std::abs(int((AActual >> shift) & 0xFF) - int((AExpected >> shift) & 0xFF)) > 2)
      return false;
  return true;
}

class CubeViewportGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
  }
  void TearDown() override {
    FScene.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }

  TAlphaColor Pixel(int AX, int AY) {
    TBitmapData data;
    EXPECT_TRUE(FViewport->Bitmap()->Map(TMapAccess::Read, data));
    const TAlphaColor color = data.GetPixel(AX, AY);
    FViewport->Bitmap()->Unmap(data);
    return color;
  }

  // Where the camera projects APoint on the viewport's image.
  TAlphaColor Probe(TCamera* ACamera, const TPoint3D& APoint) {
    TContext3D* context = FViewport->Context();
    context->SetCameraMatrix(ACamera->CameraMatrix());
    context->SetCameraAngleOfView(ACamera->AngleOfView());
    const TPoint3D screen = context->WorldToScreen(TProjection::Camera, APoint);
    EXPECT_TRUE(screen.X >= 0 && screen.X < Size && screen.Y >= 0 && screen.Y < Size)
        << screen.X << ", " << screen.Y << " of " << context->Width() << " x " << context->Height();
    return Pixel(int(screen.X), int(screen.Y));
  }

  TOwned<TCustomScene> FScene;
  TVantrelViewport* FViewport = nullptr;
};

TEST_F(CubeViewportGL, AStaticCubeSeenThroughACamera) {
  FScene = vtest::MakeScene(Size, Size);
  FViewport = New<TVantrelViewport>(FScene.get());
  FViewport->SetOpaqueSaturation(0);
  FViewport->SetColor(0xFF000000);
  FViewport->SetUseFixedFrameRate(false);
  auto* source = New<cubevp::TVertexColorSource>(FScene.get());
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
  EXPECT_TRUE(Near(Probe(camera, {0, 0, 0.5f}), 0xFF0000FF)) << std::hex << Probe(camera, {0, 0, 0.5f});
  EXPECT_TRUE(Near(Probe(camera, {0.5f, 0, 0}), 0xFFFF00FF)) << std::hex << Probe(camera, {0.5f, 0, 0});
  EXPECT_TRUE(Near(Probe(camera, {0, 0.5f, 0}), 0xFF00FF00)) << std::hex << Probe(camera, {0, 0.5f, 0});
  EXPECT_TRUE(Near(Pixel(0, 0), 0xFF000000)) << std::hex << Pixel(0, 0);
}

} // namespace
