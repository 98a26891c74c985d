#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Segment.h"
#include "support/error_of.h"
#include "support/log_capture.h"
#include "support/skinned_model_test.h"
#include "ui/animations.h"

namespace {

using namespace vantrel;

using vtest::ErrorOf;

void ExpectMatrix(const TMatrix3D& AActual, const TMatrix3D& AExpected) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(AActual(r, c), AExpected(r, c), 1e-6) << r << "," << c;
}

using JointTest = vtest::TSkinnedModelTest<>;

TEST_F(JointTest, ControllerSlotsOutsideSixteenReadIdentityAndRefuseWrites) {
  auto joint = MakeOwned<TVantrelJoint>(nullptr);
  TControllerDef controller;
  controller.SetIndex(16);
  ExpectMatrix(joint->GetLocalBindTransform(&controller), TMatrix3D::Identity());
  ExpectMatrix(joint->GetCurrentOffsetMatrix(&controller), TMatrix3D::Identity());
  const TMatrix3D shift = TMatrix3D::CreateTranslation({1, 2, 3});
  EXPECT_EQ(ErrorOf([&] { joint->SetLocalBindTransformMatrix(&controller, shift); }), SJointLocalBindIndex);
  EXPECT_EQ(ErrorOf([&] { joint->SetInverseBindTransformMatrix(&controller, shift); }), SJointInverseBindIndex);
  EXPECT_EQ(ErrorOf([&] { joint->SetCurrentOffsetMatrix(&controller, shift); }), SJointCurrentOffsetIndex);
  controller.SetIndex(15);
  joint->SetLocalBindTransformMatrix(&controller, shift);
  ExpectMatrix(joint->GetLocalBindTransform(&controller), shift);
  EXPECT_FALSE(joint->FrustumCullingCheck());
}

TEST_F(JointTest, ArmatureIsFoundThroughJointsOnly) {
  auto model = MakeOwned<TVantrelModel>(nullptr);
  auto* armature = New<TVantrelArmature>(model.get());
  armature->SetParent(model.get());
  auto* upper = New<TVantrelJoint>(armature);
  upper->SetParent(armature);
  auto* lower = New<TVantrelJoint>(upper);
  lower->SetParent(upper);
  EXPECT_EQ(lower->Armature(), armature);
  auto* group = New<TVantrelGroup>(armature);
  group->SetParent(armature);
  auto* stray = New<TVantrelJoint>(group);
  stray->SetParent(group);
  EXPECT_EQ(stray->Armature(), nullptr);
  EXPECT_EQ(stray->GetSkeletonTransformMatrix(), stray->AbsoluteMatrix());
}

TEST_F(JointTest, ShowJointAndColourReachEveryJointBelow) {
  auto& fixture = Fixture();
  fixture.BuildDefinitions();
  fixture.Load();
  TVantrelArmature* armature = fixture.ArmatureControl();
  EXPECT_FALSE(armature->ShowJoints());
  fixture.Model->SetShowJoints(true);
  fixture.Model->SetJointsColor(0xFF00FF00);
  EXPECT_TRUE(fixture.ArmJoint()->ShowJoint());
  EXPECT_EQ(fixture.ArmJoint()->JointRenderColor(), 0xFF00FF00u);
  EXPECT_TRUE(fixture.Model->ShowJoints());
  EXPECT_EQ(fixture.Model->JointsColor(), 0xFF00FF00u);
  EXPECT_TRUE(armature->FindJoint(fixture.Root)->IsSkeletonRoot());
  EXPECT_FALSE(fixture.ArmJoint()->IsSkeletonRoot());
}

// ---- weights ----

class JointWeights : public JointTest {
protected:
  // The fixture's joints under a loaded model; the list has one record per vertex of Body.
  void SetUp() override {
    JointTest::SetUp();
    Fixture().BuildDefinitions();
    Fixture().Load();
    FList = MakeOwned<TVertexJointsList>(Fixture().Controller, 3);
    FRoot = Fixture().ArmatureControl()->FindJoint(Fixture().Root);
  }
  void TearDown() override {
    FList.reset();
    JointTest::TearDown();
  }
  TJointRefDef* Ref(TJointDef* AJoint) { return Fixture().Controller->GetJointRef(AJoint); }
  int Joints(int AVertex) { return FList->GetItem(AVertex).JointsCount; }

  TOwned<TVertexJointsList> FList;
  TVantrelJoint* FRoot = nullptr;
};

TEST_F(JointWeights, ReferencesSpreadTheirWeightsDownTheTree) {
  FRoot->ApplyJointInfoToArmature(Fixture().Controller, FList.get(), nullptr);
  EXPECT_EQ(Joints(0), 1);
  EXPECT_EQ(FList->GetItem(1).JointsArray[0], Fixture().Arm);
  EXPECT_EQ(FList->GetItem(2).JointsArray[0], Fixture().Root);
}

TEST_F(JointWeights, TargetsThatAreNoMeshAddNothingAndAMissingTargetIsLogged) {
  TTransformDef node;
  FRoot->ApplyJointInfoToArmature(Fixture().Controller, FList.get(), &node);
  Fixture().Controller->SetTarget(&node);
  FRoot->ApplyJointInfoToArmature(Fixture().Controller, FList.get(), nullptr);
  EXPECT_EQ(Joints(0) + Joints(1) + Joints(2), 0);
  Fixture().Controller->SetTarget(nullptr);
  vtest::TLogCapture log;
  FRoot->ApplyJointInfoToArmature(Fixture().Controller, FList.get(), nullptr);
  // The walk ends at the root: one line, not one per joint.
  EXPECT_EQ(log.Lines(), std::vector<std::string>{
                             "TVantrelJoint.ApplyJointInfoToArmature - target not set for reference-joint Root"});
  Fixture().Controller->SetTarget(Fixture().Body);
}

TEST_F(JointWeights, BadIndicesRaiseAndShortWeightsPairOnly) {
  struct TCase {
    const char* Name;
    std::vector<int32_t> Indices;
    std::vector<float> Weights;
    const char* Error;
    int Added;
  } cases[] = {
      {"index at the count", {3}, {1}, "invalid index on TVertexJointsList (0 / 3", 0},
      {"negative index", {0, -1}, {1, 1}, "invalid index on TVertexJointsList (1 / 3", 1},
      {"fewer weights than indices", {0, 1, 2}, {0.5f}, "(none)", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FList = MakeOwned<TVertexJointsList>(Fixture().Controller, 3);
    Ref(Fixture().Root)->GetIndices() = c.Indices;
    Ref(Fixture().Root)->GetWeights() = c.Weights;
    Ref(Fixture().Arm)->GetIndices().clear();
    EXPECT_EQ(ErrorOf([&] { FRoot->ApplyJointInfoToArmature(Fixture().Controller, FList.get(), nullptr); }),
              c.Error);
    EXPECT_EQ(Joints(0) + Joints(1) + Joints(2), c.Added);
  }
}

TEST_F(JointWeights, AMappedIndexReachesItsVerticesAndAnUnmappedOneIsSkipped) {
  TVertexIndexMap map;
  map.AddIndex(0, 0);
  map.AddIndex(0, 2);
  Fixture().Body->AddVertexIndexMap(map, 0);
  Ref(Fixture().Root)->GetIndices() = {0, 3};
  Ref(Fixture().Root)->GetWeights() = {1, 1};
  Ref(Fixture().Arm)->GetIndices().clear();
  FRoot->ApplyJointInfoToArmature(Fixture().Controller, FList.get(), nullptr);
  EXPECT_EQ(Joints(0), 1);
  EXPECT_EQ(Joints(1), 0);
  EXPECT_EQ(Joints(2), 1);
}

// ---- inverse binds ----

TEST_F(JointWeights, InverseBindsFromTheStoredMatrixOrFromTheLocalBinds) {
  TVantrelJoint* arm = Fixture().ArmJoint();
  TControllerDef* controller = Fixture().Controller;
  // Computed: Root identity, Arm T(-1, 0, 0).
  ExpectMatrix(FRoot->GetInverseBindTransform(controller), TMatrix3D::Identity());
  ExpectMatrix(arm->GetInverseBindTransform(controller), TMatrix3D::CreateTranslation({-1, 0, 0}));

  const TMatrix3D stored = TMatrix3D::CreateTranslation({0, -3, 0});
  Ref(Fixture().Root)->SetInvBindMatrix(stored);
  FRoot->CalculateInverseBindTransformMatrix(controller, TMatrix3D::Identity());
  ExpectMatrix(FRoot->GetInverseBindTransform(controller), stored);
  // The child binds below the stored matrix's inverse, T(0, 3, 0).
  ExpectMatrix(arm->GetInverseBindTransform(controller), TMatrix3D::CreateTranslation({-1, -3, 0}));

  controller->GetSkin()->SetBindShapeMatrix(TMatrix3D::CreateScaling({2, 2, 2}));
  FRoot->CalculateInverseBindTransformMatrix(controller, TMatrix3D::Identity());
  ExpectMatrix(FRoot->GetInverseBindTransform(controller), TMatrix3D::Identity());
  ExpectMatrix(arm->GetInverseBindTransform(controller), TMatrix3D::CreateTranslation({-1, 0, 0}));
}

TEST_F(JointWeights, DebugOutWritesTheJointLine) {
  vtest::TLogCapture log;
  FRoot->DebugOut("\t");
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  const std::regex line(R"(^\t?Root\n\rCurrent=\[(-?\d+\.\d{7} ){15}-?\d+\.\d{7}\]\[controllers=1\]$)");
  EXPECT_TRUE(std::regex_match(lines[0], line)) << lines[0];
  EXPECT_EQ(lines[1].rfind("\t    Arm\n\r", 0), 0u) << lines[1];
}

} // namespace
