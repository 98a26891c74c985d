#include <gtest/gtest.h>

#include <cstdlib>

#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Segment.h"
#include "support/color_probe.h"
#include "support/gl_fixture.h"
#include "support/skinned_model_test.h"
#include "support/test_viewport.h"
#include "support/vertex_color_material.h"
#include "ui/animations.h"
#include "ui/bitmap.h"
#include "ui/shaders.h"

namespace {

using namespace vantrel;

constexpr int32_t Size = 64;
constexpr TAlphaColor ClearColor = 0xFF202020;

class SkinningGL : public vtest::TSkinnedModelTest<vtest::ContextGLTest> {
protected:
  void SetUp() override {
    TSkinnedModelTest::SetUp();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext(Size, Size);
    FSource = MakeOwned<vtest::TVertexColorSource>(nullptr);
  }
  void TearDown() override {
    FFixture.reset();
    FSource.reset();
    FViewport.reset();
    TVantrelContext::FreePrograms();
    TShaderManager::Clear();
    TSkinnedModelTest::TearDown();
  }

  TVantrelContext* Context() { return CheckedCast<TVantrelContext>(FViewport->GetContext()); }

  void LookFrom(const TPoint3D& AEye, const TPoint3D& ACenter) {
    Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH(AEye, ACenter, {0, 1, 0}));
    Context()->SetCameraAngleOfView(45);
  }

  void Draw(const std::vector<TControl3D*>& AControls) {
    ASSERT_TRUE(Context()->BeginSceneRendering());
    Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, ClearColor, 1, 0);
    Context()->SetContextState(TContextState::csZTestOn);
    Context()->SetContextState(TContextState::csZWriteOn);
    for (TControl3D* control : AControls)
      control->RenderInternal();
    Context()->EndSceneRendering();
  }

  TAlphaColor Probe(const TPoint3D& APoint) { return vtest::CameraPixel(*Context(), APoint); }
  // Whether the colour is drawn around the point (a line is one pixel wide and may round to a
  // neighbour).
  bool NearProbe(const TPoint3D& APoint, TAlphaColor AColor) {
    return vtest::ColorAround(*Context(), APoint, AColor);
  }

  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<vtest::TVertexColorSource> FSource;
};

TEST_F(SkinningGL, JointsDrawCubesAndLinesBetweenNonRootJoints) {
  // Root at (-1,0,0), Arm at (0,0,0) and Hand at (1,0,0), an armature without controllers.
  auto armatureDef = MakeOwned<TArmatureDef>(nullptr);
  TJointDef* parent = nullptr;
  std::vector<TJointDef*> defs;
  for (const char* id : {"Root", "Arm", "Hand"}) {
    auto* joint = New<TJointDef>(armatureDef.get());
    joint->SetId(id);
    joint->SetTransform(TMatrix3D::CreateTranslation({parent ? 1.0f : -1.0f, 0, 0}));
    if (parent) {
      joint->SetParent(parent);
      parent->AddJoint(joint);
    } else {
      armatureDef->SetRoot(joint);
    }
    parent = joint;
    defs.push_back(joint);
  }
  auto model = MakeOwned<TVantrelModel>(nullptr);
  model->SetNewViewport(FViewport.get());
  auto* armature = New<TVantrelArmature>(model.get());
  armature->SetParent(model.get());
  armature->LoadFromDefinition(armatureDef.get());
  std::vector<TControl3D*> joints;
  for (TJointDef* def : defs) {
    joints.push_back(armature->FindJoint(def));
    ASSERT_NE(joints.back(), nullptr) << def->GetId();
  }
  LookFrom({0, 0, 6}, {0, 0, 0});

  Draw(joints);
  EXPECT_TRUE(vtest::ChannelsNear(Probe({-1, 0, 0}), ClearColor)) << std::hex << Probe({-1, 0, 0});

  static_cast<TVantrelJoint*>(joints[0])->SetShowJoint(true);
  Draw(joints);
  for (float x : {-1.0f, 0.0f, 1.0f})
    EXPECT_TRUE(vtest::ChannelsNear(Probe({x, 0, 0}), 0xFFFF0000))
        << x << " " << std::hex << Probe({x, 0, 0});
  EXPECT_TRUE(NearProbe({0.5f, 0, 0}, 0xFFFFFFFF));
  EXPECT_FALSE(NearProbe({-0.5f, 0, 0}, 0xFFFFFFFF));
  EXPECT_TRUE(vtest::ChannelsNear(Probe({-0.5f, 0, 0}), ClearColor));
  model.reset();
}

TEST_F(SkinningGL, TheSkinnedMeshDrawsWhereTheJointMovedIt) {
  // All three vertices on Arm, enlarged; Arm moved by (0, 2, 0) over the bind pose.
  auto& f = Fixture();
  f.BuildDefinitions(true, 2);
  f.Body->SetFaceOrientation(TFaceOrientation::TwoFace);
  f.Load();
  f.Model->SetNewViewport(FViewport.get());
  f.BodyMesh()->SetMaterialSource(FSource.get());
  f.Model->FreeAnimationManager();
  f.ArmJoint()->Position()->SetPoint({1, 2, 0});
  LookFrom({1, 1.5f, 8}, {1, 1.5f, 0});
  const TPoint3D bindCentre{2.0f / 3, 2.0f / 3, 0};
  const TPoint3D movedCentre = bindCentre + TPoint3D{0, 2, 0};

  // Skinning runs when the armature renders, after the meshes before it: the first frame still
  // shows the bind pose, the second the moved one.
  Draw({f.BodyMesh(), f.ArmatureControl()});
  EXPECT_TRUE(vtest::ChannelsNear(Probe(bindCentre), 0xFFFFFFFF)) << std::hex << Probe(bindCentre);
  Draw({f.BodyMesh(), f.ArmatureControl()});
  EXPECT_TRUE(vtest::ChannelsNear(Probe(movedCentre), 0xFFFFFFFF)) << std::hex << Probe(movedCentre);
  EXPECT_TRUE(vtest::ChannelsNear(Probe(bindCentre), ClearColor)) << std::hex << Probe(bindCentre);
}

} // namespace
