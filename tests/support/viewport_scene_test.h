#pragma once
// Framework GL tests of a whole viewport in a scene host, as a form shows it: the units run for
// each test, the test makes FScene and FViewport, and the scene goes before the linked programs
// and the shader manager's shaders are given back. Pixels are read from the viewport's image.

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.h"
#include "rendering/Vantrel.Viewport.h"
#include "support/color_probe.h"
#include "support/gl_fixture.h"
#include "ui/scene.h"
#include "ui/shaders.h"

namespace vtest {

class ViewportSceneGL : public ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    vantrel::InitializeUnits();
  }
  void TearDown() override {
    FScene.reset();
    vantrel::TVantrelContext::FreePrograms();
    ui::TShaderManager::Clear();
    vantrel::FinalizeUnits();
    ContextGLTest::TearDown();
  }

  rtl::TAlphaColor Pixel(int AX, int AY) { return BitmapPixel(*FViewport->Bitmap(), AX, AY); }

  // Where ACamera projects APoint on the viewport's image; the viewport's context takes the
  // camera's matrix and angle of view for it.
  rtl::TPoint3D ScreenOf(ui::TCamera* ACamera, const rtl::TPoint3D& APoint) {
    ui::TContext3D* context = FViewport->Context();
    context->SetCameraMatrix(ACamera->CameraMatrix());
    context->SetCameraAngleOfView(ACamera->AngleOfView());
    return context->WorldToScreen(ui::TProjection::Camera, APoint);
  }

  rtl::TOwned<ui::TCustomScene> FScene;
  vantrel::TVantrelViewport* FViewport = nullptr;
};

} // namespace vtest
