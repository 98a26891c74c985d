// The viewport's picking on the real context: a 64 x 64 viewport, a camera at (0, 0, -10) looking
// at the origin, and unit boxes along the line of sight with and without mouse handlers.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "Vantrel.Units.h"
#include "rendering/Vantrel.Viewport.h"
#include "scene/Vantrel.Mesh.h"
#include "support/fake_clock.h"
#include "support/gl_fixture.h"
#include "support/scene_host.h"

namespace vptest {

using namespace vantrel;

// Records the mouse and drag handlers it is asked for; accepts drops of the controls listed.
class TPickHandlers : public TObject {
  RTL_CLASS(TPickHandlers, TObject)
public:
  struct TMoveCall {
    TObject* Sender;
    TShiftState Shift;
    float X, Y;
    TVector3D RayPos, RayDir;
  };
  void MouseMove(TObject* ASender, TShiftState AShift, float AX, float AY, const TVector3D& ARayPos,
                 const TVector3D& ARayDir) {
    Moves.push_back({ASender, AShift, AX, AY, ARayPos, ARayDir});
  }
  void MouseDown(TObject*, TMouseButton, TShiftState, float, float, const TVector3D&, const TVector3D&) { ++Downs; }
  void DragOver(TObject* ASender, const TDragObject&, const TPointF&, TDragOperation& AOperation) {
    Asked.push_back(ASender);
    if (std::find(Accepting.begin(), Accepting.end(), ASender) != Accepting.end())
      AOperation = TDragOperation::Copy;
  }
  std::vector<TMoveCall> Moves;
  int Downs = 0;
  std::vector<TObject*> Accepting;
  std::vector<TObject*> Asked;
};
RTL_DEFINE_CLASS(TPickHandlers, "Test.ViewportPicking")

// A mesh that belongs to a model, as a model's meshes will.
class TModelMesh : public TVantrelMesh {
  RTL_CLASS(TModelMesh, TVantrelMesh)
public:
  using TVantrelMesh::TVantrelMesh;
  TControl3D* GetModel() const override { return Model; }
  // Picked by a unit box: the mesh holds no data.
  TBoundingBox GetBoundingBox() override { return TBoundingBox::Create({-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}); }
  bool RayCastIntersect(const TVector3D& ARayPos, const TVector3D& ARayDir, TVector3D& AHit) override {
    return TControl3D::RayCastIntersect(ARayPos, ARayDir, AHit);
  }
  TControl3D* Model = nullptr;
};
RTL_DEFINE_CLASS(TModelMesh, "Test.ViewportPicking")

} // namespace vptest

namespace {

using namespace vptest;

class ViewportPickingGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeUnits();
    FScene = vtest::MakeScene(64, 64);
    FViewport = New<TVantrelViewport>(FScene.get());
    FViewport->FrameTimer()->SetInterval(INT32_MAX);
    FCamera = New<TCamera>(FScene.get());
    FCamera->SetAngleOfView(45);
    FCamera->Position()->SetPoint({0, 0, -10});
    FCamera->SetParent(FViewport);
    FViewport->SetUsingDesignCamera(false);
    FViewport->SetCamera(FCamera);
    N = AddBox({0, 0, -5});
    H = AddBox({0, 0, 0});
    F = AddBox({0, 0, 5});
    O = AddBox({3, 0, 0});
    H->OnMouseMove = {&FHandlers, &TPickHandlers::MouseMove};
    H->OnMouseDown = {&FHandlers, &TPickHandlers::MouseDown};
    F->OnMouseDown = {&FHandlers, &TPickHandlers::MouseDown};
    O->OnMouseMove = {&FHandlers, &TPickHandlers::MouseMove};
    for (TControl3D* box : {N, H, F, O})
      box->OnDragOver = {&FHandlers, &TPickHandlers::DragOver};
    Frame();
  }
  void TearDown() override {
    FScene.reset();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }
  TControl3D* AddBox(const TPoint3D& APosition) {
    auto* box = New<TControl3D>(FScene.get());
    box->Position()->SetPoint(APosition);
    box->SetParent(FViewport);
    return box;
  }
  // One frame, so that the render list and the frustum exist.
  void Frame() { FViewport->OnFixedIntervalTick(nullptr); }

  vtest::TFakeClock FClock;
  TOwned<TCustomScene> FScene;
  TVantrelViewport* FViewport = nullptr;
  TCamera* FCamera = nullptr;
  TPickHandlers FHandlers;
  TControl3D *N = nullptr, *H = nullptr, *F = nullptr, *O = nullptr;
};

TEST_F(ViewportPickingGL, RayCastAnswersTheFirstHandlerBearingObjectAndPassesTheRay) {
  EXPECT_EQ(FViewport->RayCastIntersect({32, 32}), H);
  ASSERT_EQ(FHandlers.Moves.size(), 1u);
  const auto& call = FHandlers.Moves[0];
  EXPECT_EQ(call.Sender, H);
  EXPECT_TRUE(call.Shift.IsEmpty());
  EXPECT_EQ(call.X, 32);
  EXPECT_EQ(call.Y, 32);
  EXPECT_NEAR(call.RayPos.X, 0, 1e-4);
  EXPECT_NEAR(call.RayPos.Y, 0, 1e-4);
  EXPECT_NEAR(call.RayPos.Z, -10, 1e-4);
  EXPECT_NEAR(call.RayDir.X, 0, 1e-5);
  EXPECT_NEAR(call.RayDir.Y, 0, 1e-5);
  EXPECT_NEAR(call.RayDir.Z, 1, 1e-5);
  EXPECT_EQ(FHandlers.Downs, 0);

  FHandlers.Moves.clear();
  EXPECT_EQ(FViewport->RayCastIntersect({2, 2}), nullptr);
  EXPECT_TRUE(FHandlers.Moves.empty());
}

TEST_F(ViewportPickingGL, RayCastSkipsObjectsThatCannotAnswer) {
  struct TCase {
    const char* Name;
    std::function<void()> Change;
  };
  const std::vector<TCase> cases = {
      {"hit test off", [&] { H->SetHitTest(false); }},
      {"invisible", [&] { H->SetVisible(false); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Change();
    Frame();
    FHandlers.Moves.clear();
    EXPECT_EQ(FViewport->RayCastIntersect({32, 32}), F);
    EXPECT_TRUE(FHandlers.Moves.empty());
    H->SetHitTest(true);
    H->SetVisible(true);
  }
  // At design time an invisible, unlocked object is picked again; a locked one is not.
  H->SetVisible(false);
  FScene->SetDesigning(true);
  TControl3D* designHit = FViewport->RayCastIntersect({32, 32});
  EXPECT_EQ(designHit, H) << (designHit ? designHit->ClassName() + " " + designHit->Name() : std::string("nil"));
  H->SetLocked(true);
  EXPECT_EQ(FViewport->RayCastIntersect({32, 32}), F);
  FScene->SetDesigning(false);
  H->SetLocked(false);
  H->SetVisible(true);
  Frame();

  // Helpers with handlers at the centre, listed first, are never answered.
  auto* dummy = New<TDummy>(FScene.get());
  auto* light = New<TLight>(FScene.get());
  for (TControl3D* helper : {static_cast<TControl3D*>(light), static_cast<TControl3D*>(dummy)}) {
    helper->OnMouseMove = {&FHandlers, &TPickHandlers::MouseMove};
    FViewport->InsertObject(0, helper);
  }
  Frame();
  EXPECT_EQ(FViewport->RayCastIntersect({32, 32}), H);
}

TEST_F(ViewportPickingGL, RayCastTakesTheFirstHitInListOrder) {
  for (TControl3D* box : {F, N, H}) {
    FViewport->RemoveObject(box);
    box->SetParent(FViewport);
  }
  Frame();
  EXPECT_EQ(FViewport->RayCastIntersect({32, 32}), F);
}

TEST_F(ViewportPickingGL, RayCastIgnoresAndKeepsTheCallersPickingState) {
  EXPECT_EQ(FViewport->ObjectAtPoint({32, 32}), N);
  const float distance = GlobalDistance();
  const TProjection projection = GlobalProjection();
  EXPECT_NEAR(distance, 4.5f, 1e-3);
  EXPECT_EQ(FViewport->RayCastIntersect({32, 32}), H);
  EXPECT_EQ(GlobalDistance(), distance);
  EXPECT_EQ(GlobalProjection(), projection);
  // A screen round left behind hides no camera object either.
  SetGlobalProjection(TProjection::Screen);
  EXPECT_EQ(FViewport->RayCastIntersect({32, 32}), H);
  EXPECT_EQ(GlobalProjection(), TProjection::Screen);
}

TEST_F(ViewportPickingGL, ObjectAtPointRounds) {
  EXPECT_EQ(FViewport->ObjectAtPoint({100, 100}), nullptr);
  EXPECT_EQ(FViewport->ObjectAtPoint({32, 32}), N);
  EXPECT_EQ(FViewport->ObjectAtPoint({2, 2}), FViewport);

  // A screen-projected control under the point is answered before any camera object.
  TControl3D* screen = AddBox({32, 32, 0});
  screen->SetProjection(TProjection::Screen);
  screen->SetWidth(10);
  screen->SetHeight(10);
  screen->SetDepth(10);
  Frame();
  EXPECT_EQ(FViewport->ObjectAtPoint({32, 32}), screen);
}

TEST_F(ViewportPickingGL, AtDesignTimeAMeshOfAModelSelectsTheModel) {
  auto* model = New<TDummy>(FScene.get());
  model->SetParent(FViewport);
  auto* mesh = New<TModelMesh>(FScene.get());
  mesh->Model = model;
  mesh->SetHitTest(true);
  mesh->Position()->SetPoint({0, 0, -8});
  mesh->SetParent(FViewport);
  Frame();
  // A mesh without data is picked by its box.
  EXPECT_EQ(FViewport->ObjectAtPoint({32, 32}), mesh);
  FViewport->SetDesigning(true, false);
  EXPECT_EQ(FViewport->ObjectAtPoint({32, 32}), model);
}

TEST_F(ViewportPickingGL, DropTargetSearchSkipsControlsThatDoNotAccept) {
  TDragObject data;
  FHandlers.Accepting = {H};
  EXPECT_EQ(FViewport->FindTarget({32, 32}, data), H);
  FHandlers.Accepting = {};
  EXPECT_EQ(FViewport->FindTarget({32, 32}, data), nullptr);
  FViewport->OnDragOver = {&FHandlers, &TPickHandlers::DragOver};
  FHandlers.Accepting = {FViewport};
  EXPECT_EQ(FViewport->FindTarget({32, 32}, data), FViewport);
}

} // namespace
