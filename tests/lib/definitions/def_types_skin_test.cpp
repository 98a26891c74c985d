#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "support/def_types_test.h"
#include "support/error_of.h"
#include "support/json_object.h"
#include "support/log_capture.h"
#include "support/model_lists.h"

namespace {

using namespace vantrel;

using vtest::ParseObject;

using vtest::ErrorOf;

class DefSkins : public vtest::TDefTypesTest {
protected:
  // A real model definition: the definitions look joints, nodes and controllers up through it.
  TModelDef FModel;
  // An armature "Arm" with root A and its child B.
  TArmatureDef* FArmature = vtest::ListArmature(FModel, New<TArmatureDef>());
  TJointDef* FJointA = MakeRoot();
  TJointDef* FJointB = AddChildJoint(FJointA, "B");

  TJointDef* MakeRoot() {
    FArmature->SetId("Arm");
    auto* root = New<TJointDef>(FArmature);
    root->SetId("A");
    FArmature->SetRoot(root);
    return root;
  }
  TJointDef* AddChildJoint(TJointDef* AParent, const std::string& AId) {
    auto* joint = New<TJointDef>(FArmature);
    joint->SetId(AId);
    joint->SetParent(AParent);
    EXPECT_TRUE(AParent->AddJoint(joint));
    return joint;
  }
  // A controller on a node "Body" whose skin links A and B.
  TControllerDef* MakeController() {
    auto* body = New<TTransformDef>(&FModel);
    body->SetId("Body");
    FModel.AddChild(body);
    auto* controller = vtest::ListController(FModel, New<TControllerDef>(body));
    controller->SetId("C1");
    controller->SetSkin(New<TSkinDef>(controller));
    controller->GetSkin()->SetId("Skin1");
    return controller;
  }
};

TEST_F(DefSkins, JointsCountTheirArmatureAndReadTheirTable) {
  TJointDef* c = AddChildJoint(FJointB, "C");
  EXPECT_EQ(FJointA->GetArmatureIndex(), 1);
  EXPECT_EQ(FJointB->GetArmatureIndex(), 2);
  EXPECT_EQ(c->GetArmatureIndex(), 3);
  EXPECT_EQ(FArmature->FindJointById("A"), FJointA);
  EXPECT_EQ(FArmature->FindJointById("C"), c);
  EXPECT_EQ(FJointA->FindJointById("A"), nullptr);
  EXPECT_EQ(FJointA->JointsCount(), 2);
  // Own transform first, then the parent's.
  FJointA->SetTransform(TMatrix3D::CreateScaling({2, 2, 2}));
  FJointB->SetTransform(TMatrix3D::CreateTranslation({1, 0, 0}));
  EXPECT_EQ(FJointB->EvaluateGlobalTransformation(),
            TMatrix3D::CreateTranslation({1, 0, 0}) * TMatrix3D::CreateScaling({2, 2, 2}));

  // A second child of a taken id is dropped (and freed once: ASan watches).
  TOwned<TArmatureDef> armature(New<TArmatureDef>());
  armature->FromJSON(nullptr, *ParseObject(R"({"Id": "Arm2", "Root": {"Id": "R", "Joints": [
      {"Id": "X", "Transform": "1 0 0 0 0 1 0 0 0 0 1 0 5 0 0 1"}, {"Id": "X"}, {"Id": "Y"}]}})"));
  TJointDef* root = armature->GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->GetJoints()->Count(), 2);
  EXPECT_EQ(root->FindJointById("X")->GetTransform().m41, 5);
  EXPECT_EQ(root->FindJointById("Y")->GetParent(), root);
  EXPECT_EQ(root->FindJointById("Y")->GetArmatureIndex(), 4);
  EXPECT_EQ(armature->GetJointsCount(), 4);
  const std::string text = armature->ToJSON()->ToJSON();
  TOwned<TArmatureDef> copy(New<TArmatureDef>());
  copy->FromJSON(nullptr, *ParseObject(text));
  EXPECT_EQ(copy->ToJSON()->ToJSON(), text);
  EXPECT_NE(text.find(R"("Parent":"R")"), std::string::npos);

  // "Root": null round-trips; an owner that is no model is refused by Model.
  TOwned<TTransformDef> node(New<TTransformDef>());
  TOwned<TArmatureDef> empty(New<TArmatureDef>(node.get()));
  EXPECT_EQ(empty->GetId(), "default");
  EXPECT_THROW(empty->GetModel(), EInvalidCast);
  const std::string emptyText = empty->ToJSON()->ToJSON();
  EXPECT_NE(emptyText.find(R"("Root":null,"Controllers":[])"), std::string::npos);
  TOwned<TArmatureDef> emptyCopy(New<TArmatureDef>());
  emptyCopy->FromJSON(nullptr, *ParseObject(emptyText));
  EXPECT_EQ(emptyCopy->GetRoot(), nullptr);
  EXPECT_EQ(ErrorOf([&] { emptyCopy->FromJSON(nullptr, *ParseObject(R"({"Root": {"Joints": [1]}})")); }),
            "Invalid class typecast");
}

TEST_F(DefSkins, NodesUnderAPlainNodeHaveNoArmatureOrController) {
  TOwned<TTransformDef> node(New<TTransformDef>());
  node->FromJSON(nullptr, *ParseObject(R"({"Id": "Mesh", "Children": [
      {"Type": "Vantrel.DefTypes.TJointDef", "Id": "J", "Joints": [{"Id": "K"}]},
      {"Type": "Vantrel.DefTypes.TSkinDef", "Id": "S"},
      {"Type": "Vantrel.DefTypes.TArmatureDef", "Id": "Arm"}]})"));
  const auto& children = *node->GetChildren();
  ASSERT_EQ(children.Count(), 3);
  auto* joint = dynamic_cast<TJointDef*>(children.Items(0));
  auto* skin = dynamic_cast<TSkinDef*>(children.Items(1));
  ASSERT_NE(joint, nullptr);
  ASSERT_NE(skin, nullptr);
  ASSERT_TRUE(children.Items(2)->Is<TArmatureDef>());
  EXPECT_EQ(joint->GetArmature(), nullptr);
  EXPECT_EQ(joint->GetArmatureIndex(), 0);
  EXPECT_EQ(joint->GetModel(), nullptr);
  EXPECT_EQ(joint->GetOwnerRef(), node.get());
  EXPECT_EQ(skin->GetController(), nullptr);
  EXPECT_EQ(skin->GetTarget(), nullptr);
  const std::string text = node->ToJSON()->ToJSON();
  TOwned<TTransformDef> copy(New<TTransformDef>());
  copy->FromJSON(nullptr, *ParseObject(text));
  EXPECT_EQ(copy->ToJSON()->ToJSON(), text);
}

TEST_F(DefSkins, SkinRoundTrip) {
  TControllerDef* controller = MakeController();
  TSkinDef* skin = controller->GetSkin();
  TJointRefDef* refA = skin->LinkJoint(FJointA);
  EXPECT_EQ(skin->LinkJoint(FJointA), refA);
  TJointRefDef* refB = skin->LinkJoint(FJointB);
  refA->GetWeights() = {0.25f, 0.75f};
  refA->GetIndices() = {0, 1};
  refB->GetLowerLimit() = {-1.5f};
  refB->GetUpperLimit() = {2.5f};
  refB->SetInvBindMatrix(TMatrix3D::CreateTranslation({1, 2, 3}));
  skin->SetBindPosesArrayLength(2);
  skin->AddSkeleton(New<TJointRefDef>(FJointA, controller, true));
  const std::string text = controller->ToJSON()->ToJSON();

  auto* copy = vtest::ListController(FModel, New<TControllerDef>());
  copy->FromJSON(&FModel, *ParseObject(text));
  TSkinDef* readSkin = copy->GetSkin();
  ASSERT_NE(readSkin, nullptr);
  EXPECT_EQ(readSkin->GetController(), copy);
  EXPECT_EQ(readSkin->LinkedJointsToString(), "A, B");
  ASSERT_EQ(readSkin->GetLinkedJoints().Count(), 2);
  const TJointRefDef* readA = readSkin->GetLinkedJoints().Items(0);
  const TJointRefDef* readB = readSkin->GetLinkedJoints().Items(1);
  EXPECT_EQ(readA->GetLinkIndex(), 0);
  EXPECT_EQ(readB->GetLinkIndex(), 1);
  EXPECT_EQ(readA->GetJoint(), FJointA);
  EXPECT_EQ(readA->GetController(), copy);
  EXPECT_EQ(readA->GetWeights(), refA->GetWeights());
  EXPECT_EQ(readA->GetIndices(), refA->GetIndices());
  EXPECT_EQ(readB->GetLowerLimit(), refB->GetLowerLimit());
  EXPECT_EQ(readB->GetUpperLimit(), refB->GetUpperLimit());
  EXPECT_EQ(readB->GetInvBindMatrix(), refB->GetInvBindMatrix());
  EXPECT_TRUE(readB->GetInvBindMatAvail());
  EXPECT_FALSE(readA->GetInvBindMatAvail());
  EXPECT_EQ(readSkin->GetBindPoses().size(), 2u);
  EXPECT_TRUE(readB->IsSkeletonRoot(readSkin) == false && readA->IsSkeletonRoot(readSkin));
  // The skeleton joint's armature now drives the controller read.
  EXPECT_TRUE(FArmature->GetControllers().Contains(copy));
  // The model resolves "Target"; with it set the copy writes the same text.
  copy->SetTarget(controller->GetTarget());
  EXPECT_EQ(copy->ToJSON()->ToJSON(), text);

  // The two id lookups differ once a reference has another Id than its joint.
  refB->SetId("Other");
  EXPECT_EQ(skin->GetJointRef("B"), refB);
  EXPECT_EQ(skin->GetJointIndex("B"), -1);
  EXPECT_EQ(skin->GetJointIndex("Other"), 1);
  EXPECT_EQ(skin->GetJointIndex(FJointB), 1);
  EXPECT_EQ(controller->GetJointRef(FJointB), refB);
}

TEST_F(DefSkins, SkinReadingFailuresKeepWhatWasLinked) {
  struct TCase {
    std::string Body;
    bool WithModel;
    const char* Message;
    int Linked;
  };
  const std::string linkedA = R"({"Joint": "A"})";
  for (const TCase& c :
       {TCase{R"("LinkedJoints": [)" + linkedA + R"(, {"Joint": "Missing"}])", true,
              "failed to load skin definition Skin1 - joint Missing not found in model", 1},
        TCase{R"("LinkedJoints": [)" + linkedA + R"(, {"Joint": 3}])", true,
              "failed to load skin definition Skin1 - invalid json value for \"Joint\"", 1},
        TCase{R"("LinkedJoints": [)" + linkedA + R"(, 4])", true,
              "failed to load skin definition Skin1 - invalid json value", 1},
        TCase{R"("LinkedJoints": [)" + linkedA + "]", false,
              "failed to load skin definition Skin1 - model not assigned in controller-mesh", 0},
        TCase{R"("LinkedJoints": [)" + linkedA + R"(], "Skeletons": ["A", "X"])", true,
              "failed to load skin definition Skin1 - skeleton joint X not found in model", 1},
        TCase{R"("LinkedJoints": {})", true, "failed to load skin definition Skin1 - Invalid class typecast",
              0},
        TCase{R"("BindPoses": "1 0 0 1")", true,
              "failed to load skin definition Skin1 - Invalid class typecast", 0}}) {
    SCOPED_TRACE(c.Message);
    TOwned<TControllerDef> controller(New<TControllerDef>());
    const std::string json = R"({"Skin": {"Id": "Skin1", )" + c.Body + "}}";
    EXPECT_EQ(
        ErrorOf([&] { controller->FromJSON(c.WithModel ? &FModel : nullptr, *ParseObject(json)); }),
        c.Message);
    ASSERT_NE(controller->GetSkin(), nullptr);
    EXPECT_EQ(controller->GetSkin()->GetLinkedJoints().Count(), c.Linked);
  }
  // "Skeleton" and "Skeletons" naming one joint give two references.
  TOwned<TControllerDef> controller(New<TControllerDef>());
  controller->FromJSON(&FModel, *ParseObject(R"({"Skin": {"Skeleton": "B", "Skeletons": ["B", 7]}})"));
  ASSERT_EQ(controller->GetSkin()->GetSkeletons().Count(), 2);
  EXPECT_EQ(controller->GetSkin()->GetSkeletons().Items(1)->GetJoint(), FJointB);
}

TEST_F(DefSkins, BindPosesAndSkeletonTransformations) {
  TControllerDef* controller = MakeController();
  TSkinDef* skin = controller->GetSkin();
  TJointRefDef* refA = skin->LinkJoint(FJointA);
  TJointRefDef* refB = skin->LinkJoint(FJointB);
  skin->SetBindPosesArrayLength(1);
  skin->GetBindPoses()[0] = TMatrix3D::CreateTranslation({0, 3, 0});
  vtest::TLogCapture log;
  skin->ApplyBindPoses();
  EXPECT_EQ(refA->GetInvBindMatrix(), TMatrix3D::CreateTranslation({0, 3, 0}));
  EXPECT_TRUE(refA->GetInvBindMatAvail());
  // A file with fewer bind poses than linked joints.
  EXPECT_EQ(refB->GetInvBindMatrix(), TMatrix3D::Identity());
  EXPECT_FALSE(refB->GetInvBindMatAvail());
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"failed to apply bind pose - no bind pose for joint B"});
  log.Clear();
  TOwned<TJointRefDef> unlinked(New<TJointRefDef>(FJointB, controller, true));
  unlinked->SetId("Unlinked");
  unlinked->ApplyBindPose(skin);
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"failed to apply bind pose - joint Unlinked in linked list not found"});
  refA->ApplyBindPose(nullptr);
  EXPECT_EQ(refA->GetInvBindMatrix(), TMatrix3D::Identity());
  EXPECT_FALSE(refA->GetInvBindMatAvail());
  EXPECT_EQ(ErrorOf([&] { refA->IsSkeletonRoot(nullptr); }),
            "armature parameter expected - parameter is empty");
  EXPECT_EQ(ErrorOf([&] { skin->CalculateInverseBindTransformMatrix(TMatrix3D::Identity()); }),
            "TODO: not working yet!");
  EXPECT_TRUE(skin->BindShapeMatrixIsIdentity());
  skin->SetBindShapeMatrix(TMatrix3D::CreateTranslation({0, 1e-30f, 0}));
  EXPECT_FALSE(skin->BindShapeMatrixIsIdentity());

  skin->SetBindPosesArrayLength(2);
  skin->GetBindPoses()[1] = TMatrix3D::CreateTranslation({1, 0, 0});
  FJointB->SetTransform(TMatrix3D::CreateTranslation({1, 0, 0}));
  std::vector<TMatrix3D> transforms;
  skin->GetSkeletonJointTransformations(TMatrix3D::CreateScaling({2, 2, 2}), transforms);
  ASSERT_EQ(transforms.size(), 2u);
  EXPECT_EQ(transforms[1], TMatrix3D::CreateScaling({2, 2, 2}));

  refA->ClearWeightsAndIndices(3);
  refA->GetLowerLimit() = {1};
  refA->GetIndices()[2] = 9;
  refA->AdjustLengthOfWeightsAndIndices(4);
  EXPECT_EQ(refA->GetIndices(), (std::vector<int32_t>{0, 0, 9, 0}));
  refA->ClearWeightsAndIndices(1);
  EXPECT_EQ(refA->GetWeights(), std::vector<float>{0});
  EXPECT_TRUE(refA->GetLowerLimit().empty());
}

TEST_F(DefSkins, ArmatureLinksControllersLate) {
  TControllerDef* controller = MakeController();
  EXPECT_EQ(ErrorOf([&] {
              FArmature->LateResolveFromJSON(&FModel,
                                             *ParseObject(R"({"Controllers": ["c1", 5, "nope"]})"));
            }),
            "(none)");
  ASSERT_EQ(FArmature->GetControllers().Count(), 1);
  EXPECT_EQ(FArmature->GetControllers().Items(0), controller);
  FArmature->AddController(controller);
  EXPECT_EQ(FArmature->GetControllers().Count(), 1);
  EXPECT_EQ(FArmature->FindControllerByTransform(controller->GetTarget()), controller);
  EXPECT_EQ(FArmature->FindControllerByTransform(nullptr), nullptr);
}

} // namespace
