#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cmath>

#include "context/Vantrel.Context.h"
#include "scene/Vantrel.Control.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"

namespace scenegl {

class TCountingControl : public vantrel::TVantrelControl {
  RTL_CLASS(TCountingControl, vantrel::TVantrelControl)
public:
  using TVantrelControl::TVantrelControl;
  int FRendered = 0;
  rtl::TMatrix3D FMatrix;
  void Rendered(rtl::TObject*, ui::TContext3D* AContext) {
    ++FRendered;
    FMatrix = AContext->CurrentMatrix();
  }
};
RTL_DEFINE_CLASS(TCountingControl, "Test.SceneGL")

} // namespace scenegl

namespace {

using namespace vantrel;
using scenegl::TCountingControl;

class SceneControlGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeControl();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext();
    FRoot = MakeOwned<TDummy>(nullptr);
    FRoot->SetNewViewport(FViewport.get());
  }
  void TearDown() override {
    FRoot.reset();
    FViewport.reset();
    FinalizeControl();
    ContextGLTest::TearDown();
  }

  TVantrelContext* Context() { return CheckedCast<TVantrelContext>(FViewport->GetContext()); }

  TCountingControl* MakeControl(TFmxObject* AParent, const TPoint3D& APosition) {
    auto* control = New<TCountingControl>(FRoot.get());
    control->SetParent(AParent);
    control->Position()->SetPoint(APosition);
    control->OnRender = TRenderEvent(control, &TCountingControl::Rendered);
    return control;
  }

  static bool DepthWriteMask() {
    GLboolean mask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    return mask == GL_TRUE;
  }

  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<TDummy> FRoot;
};

TEST_F(SceneControlGL, RenderHookSetsTranslucentDepthStatesAndKeepsThem) {
  auto* translucent = MakeControl(FRoot.get(), {1, 2, 3});
  translucent->SetOpaque(false);
  auto* opaque = MakeControl(FRoot.get(), {0, 0, 0});
  Context()->SetContextStates(
      {TContextState::csZTestOff, TContextState::csZWriteOn, TContextState::csBackFace});
  opaque->RenderInternal();
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(DepthWriteMask());
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));

  const TMatrix3D projection = TMatrix3D::CreateScaling({2, 3, 4});
  Context()->SetProjectionMatrix(projection);
  translucent->RenderInternal();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(DepthWriteMask());
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(Context()->CurrentMatrix(), translucent->AbsoluteMatrix());
  opaque->RenderInternal();
  EXPECT_EQ(Context()->CurrentMatrix(), opaque->AbsoluteMatrix());
  EXPECT_EQ(Context()->CurrentProjectionMatrix(), projection);
  EXPECT_FALSE(DepthWriteMask()) << "the hook does not restore";
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneControlGL, ADummyRendersItsChildrenAControlDoesNot) {
  auto* dummy = New<TDummy>(FRoot.get());
  dummy->SetParent(FRoot.get());
  auto* underDummy = MakeControl(dummy, {});
  auto* control = MakeControl(FRoot.get(), {});
  auto* underControl = MakeControl(control, {});
  FRoot->RenderInternal();
  EXPECT_EQ(underDummy->FRendered, 1);
  EXPECT_EQ(control->FRendered, 1);
  EXPECT_EQ(underControl->FRendered, 0);
  ClearRenderingList(FRoot.get());
  FRoot->RenderInternal();
  EXPECT_EQ(control->FRendered, 1);
}

TEST_F(SceneControlGL, AProxyDrawsItsSourceWithItsOwnMatrix) {
  auto* source = MakeControl(FRoot.get(), {5, 0, 0});
  auto* proxy = CheckedCast<TProxyObject>(source->Duplicate(FRoot.get(), true));
  proxy->SetParent(FRoot.get());
  proxy->Position()->SetPoint({0, 7, 0});
  proxy->RenderInternal();
  EXPECT_EQ(source->FRendered, 1);
  EXPECT_EQ(source->FMatrix, proxy->AbsoluteMatrix());
}

class SceneControlPick : public SceneControlGL {
protected:
  void SetUp() override {
    SceneControlGL::SetUp();
    FCamera = New<TCamera>(FRoot.get());
    FCamera->SetParent(FRoot.get());
    FViewport->SetCamera(FCamera);
    Context()->SetCameraMatrix(FCamera->CameraMatrix());
  }

  IControl* Pick(TProjection AProjection, TPointF APoint = {32, 32}) {
    SetGlobalDistance(65535);
    SetGlobalProjection(AProjection);
    return PickChildAt(FRoot.get(), APoint, FRayPos, FRayDir, FHit);
  }

  TCamera* FCamera = nullptr;
  TVector3D FRayPos, FRayDir;
  TPoint3D FHit;
};

TEST_F(SceneControlPick, TheNearerBoxWinsInBothOrders) {
  for (const bool nearFirst : {true, false}) {
    SCOPED_TRACE(nearFirst ? "near box first" : "far box first");
    auto* holder = New<TDummy>(FRoot.get());
    holder->SetParent(FRoot.get());
    holder->Position()->SetPoint({0, 0, 3});
    TCountingControl* nearBox = nullptr;
    TCountingControl* farBox = nullptr;
    if (nearFirst) {
      nearBox = MakeControl(holder, {0, 0, 2});
      farBox = MakeControl(holder, {0, 0, 7});
    } else {
      farBox = MakeControl(holder, {0, 0, 7});
      nearBox = MakeControl(holder, {0, 0, 2});
    }
    EXPECT_EQ(Pick(TProjection::Camera), static_cast<IControl*>(nearBox));
    EXPECT_NEAR(GlobalDistance(), 4.5, 1e-3);
    EXPECT_NEAR(FHit.Z, 4.5, 1e-3) << "absolute";
    EXPECT_NEAR(FHit.X, 0, 1e-3);
    EXPECT_NEAR(FRayPos.Z, 0, 1e-3);
    EXPECT_NEAR(FRayDir.Z, 1, 1e-3);
    EXPECT_EQ(Pick(TProjection::Camera, {1, 1}), nullptr);
    nearBox->SetProjection(TProjection::Screen);
    EXPECT_EQ(Pick(TProjection::Camera), static_cast<IControl*>(farBox)) << "another projection is skipped";
    holder->Free();
  }
}

TEST_F(SceneControlPick, ScreenProjection) {
  auto* box = MakeControl(FRoot.get(), {0, 0, 0});
  box->SetProjection(TProjection::Screen);
  box->SetWidth(10);
  box->SetHeight(10);
  box->SetDepth(10);
  const TPoint3D pixel = Context()->WorldToScreen(TProjection::Screen, box->AbsolutePosition());
  EXPECT_EQ(Pick(TProjection::Camera, {pixel.X, pixel.Y}), nullptr);
  EXPECT_EQ(Pick(TProjection::Screen, {pixel.X, pixel.Y}), static_cast<IControl*>(box));
  const TPoint3D start = FRayPos.ToPoint3D();
  EXPECT_NEAR(GlobalDistance(), (FHit - start).Length(), 1e-3);
  EXPECT_LT(GlobalDistance(), 65535);
}

} // namespace
