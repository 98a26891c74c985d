// In a fresh process: a cube made before any GL context exists keeps its static build pending
// and draws on its first Render.

#include <gtest/gtest.h>

#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.h"
#include "gl/names.h"
#include "scene/Vantrel.Cube.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"
#include "support/vertex_color_material.h"
#include "ui/bitmap.h"

namespace {

using namespace vantrel;

vantrel::TVantrelCube* EarlyCube = nullptr;
bool PendingBeforeContext = false;

class CubeBeforeContext : public vtest::ContextGLTest {
protected:
  static void SetUpTestSuite() {
    InitializeDefTypes();
    InitializeControl();
    InitializeTransform();
    InitializeMesh();
    InitializeCube();
    EarlyCube = New<TVantrelCube>(nullptr);
    PendingBeforeContext =
        !gl::IsContextCurrent() && dynamic_cast<TMeshDef*>(EarlyCube->Def())->IsBuildPending();
    ContextGLTest::SetUpTestSuite();
  }
  static void TearDownTestSuite() {
    FinalizeCube();
    FinalizeMesh();
    FinalizeTransform();
    FinalizeControl();
    FinalizeDefTypes();
  }
};

TEST_F(CubeBeforeContext, DrawsOnItsFirstRender) {
  EXPECT_TRUE(PendingBeforeContext);
  auto viewport = MakeOwned<vtest::TTestViewport3D>();
  viewport->CreateContext(64, 64);
  auto* context = CheckedCast<TVantrelContext>(viewport->GetContext());
  auto root = MakeOwned<TDummy>(nullptr);
  root->SetNewViewport(viewport.get());
  auto source = MakeOwned<vtest::TVertexColorSource>(nullptr);
  EarlyCube->SetParent(root.get());
  EarlyCube->SetMaterialSource(source.get());
  context->SetCameraMatrix(TMatrix3D::CreateLookAtRH({1.5f, 1.2f, 2.0f}, {0, 0, 0}, {0, 1, 0}));
  context->SetCameraAngleOfView(45);
  ASSERT_TRUE(context->BeginSceneRendering());
  context->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF000000, 1, 0);
  EarlyCube->RenderInternal();
  context->EndSceneRendering();
  EXPECT_NE(dynamic_cast<TMeshDef*>(EarlyCube->Def())->GetBufferObject(), nullptr);
  const TPoint3D front = context->WorldToScreen(TProjection::Camera, {0, 0, 0.5f});
  TBitmap bitmap(64, 64);
  context->CopyToBitmap(&bitmap, TRect(0, 0, 64, 64));
  TBitmapData data;
  ASSERT_TRUE(bitmap.Map(TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(int32_t(front.X), int32_t(front.Y)), 0xFF0000FFu);
  bitmap.Unmap(data);
  EarlyCube->Free();
  EarlyCube = nullptr;
  root.reset();
  source.reset();
  viewport.reset();
}

} // namespace
