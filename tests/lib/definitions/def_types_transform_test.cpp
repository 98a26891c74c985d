#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "support/error_of.h"
#include "support/json_object.h"

namespace {

using namespace vantrel;

// Counts destructions, so tests see which nodes a list frees.
class TProbeDef : public TTransformDef {
  VANTREL_DEF_CLASS(TProbeDef, TTransformDef)
public:
  explicit TProbeDef(TCustomDef* AOwner = nullptr) : TTransformDef(AOwner) {}
  ~TProbeDef() override { ++Destroyed; }
  static inline int Destroyed = 0;
};
VANTREL_DEFINE_DEF_CLASS(TProbeDef)

using vtest::MemberNames;
using vtest::ParseObject;

TTransformDef* AddNode(TTransformDef* AParent, const std::string& AId) {
  auto* node = New<TTransformDef>(AParent);
  node->SetId(AId);
  AParent->AddChild(node);
  return node;
}

using vtest::ErrorOf;

class DefTypesTree : public ::testing::Test {
protected:
  void SetUp() override { InitializeDefTypes(); }
  void TearDown() override { FinalizeDefTypes(); }

  TOwned<TTransformDef> FRoot = MakeOwned<TTransformDef>();
};

TEST_F(DefTypesTree, ChildrenAreOwnedAddedOnceAndRemovedOrExtracted) {
  auto* probe = New<TProbeDef>(FRoot.get());
  TProbeDef::Destroyed = 0;
  EXPECT_EQ(FRoot->GetChildren(), nullptr);
  FRoot->RemoveChild(probe);
  EXPECT_EQ(FRoot->ExtractChild(probe), nullptr);
  FRoot->ClearChildren();
  EXPECT_EQ(FRoot->GetChildren(), nullptr);

  AddNode(FRoot.get(), "first");
  EXPECT_EQ(FRoot->AddChild(probe), 1);
  EXPECT_EQ(FRoot->AddChild(probe), -1);
  EXPECT_EQ(FRoot->GetChildren()->Count(), 2);
  EXPECT_EQ(FRoot->ExtractChild(probe), probe);
  EXPECT_EQ(TProbeDef::Destroyed, 0);
  EXPECT_EQ(FRoot->AddChild(probe), 1);
  FRoot->RemoveChild(probe);
  EXPECT_EQ(TProbeDef::Destroyed, 1);
  FRoot->ClearChildren();
  ASSERT_NE(FRoot->GetChildren(), nullptr);
  EXPECT_EQ(FRoot->GetChildren()->Count(), 0);
}

TEST_F(DefTypesTree, FindChildByIdIgnoresCaseTakesAHashAndLetsTheLastVisitedWin) {
  TTransformDef* box = AddNode(FRoot.get(), "Box");
  EXPECT_EQ(FRoot->FindChildById("#Box", false), box);
  EXPECT_EQ(FRoot->FindChildById("box", false), box);
  EXPECT_EQ(FRoot->FindChildById("#BOX", true), box);

  auto tree = MakeOwned<TTransformDef>();
  TTransformDef* a = AddNode(tree.get(), "a");
  TTransformDef* a1 = AddNode(a, "x");
  EXPECT_EQ(tree->FindChildById("x", true), a1);
  TTransformDef* b = AddNode(tree.get(), "x");
  EXPECT_EQ(tree->FindChildById("x", true), b);

  EXPECT_EQ(tree->FindChildById("nothing", false), nullptr);
  EXPECT_EQ(ErrorOf([&] { tree->FindChildById("nothing", true); }),
            "transform with id \"nothing\" not found");

  std::vector<std::string> visited;
  tree->Traverse(true, [&](TTransformDef*, int AIndex, TTransformDef* AChild) {
    visited.push_back(AChild->GetId() + "@" + std::to_string(AIndex));
    return AChild != a;
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"a@0"}));
}

TEST_F(DefTypesTree, OwnersAndTheirTransformations) {
  TTransformDef* child = AddNode(FRoot.get(), "child");
  FRoot->SetId("root");
  FRoot->SetTransform(TMatrix3D::CreateTranslation({1, 2, 3}));
  child->SetTransform(TMatrix3D::CreateScaling({2, 3, 4}));
  EXPECT_EQ(child->GetOwner(), FRoot.get());
  EXPECT_EQ(child->GetOwnerId(), "");
  EXPECT_EQ(child->GetAbsoluteTransformation(), FRoot->GetTransform() * child->GetTransform());
  // Row vectors: the owner's translation applies first, then the child's scaling.
  EXPECT_EQ((TPoint3D{1, 1, 1} * child->GetAbsoluteTransformation()), (TPoint3D{4, 9, 16}));

  child->SetOwner(FRoot.get());
  EXPECT_EQ(child->GetOwnerId(), "root");
  child->SetOwnerRef(nullptr);
  EXPECT_EQ(child->GetOwnerId(), "");
  EXPECT_EQ(child->GetAbsoluteTransformation(), child->GetTransform());

  const auto plain = MakeOwned<TCustomDef>();
  child->SetOwnerRef(plain.get());
  EXPECT_EQ(child->GetOwnerRef(), plain.get());
  EXPECT_THROW(child->GetOwner(), EInvalidCast);
  EXPECT_THROW(child->GetAbsoluteTransformation(), EInvalidCast);
}

TEST_F(DefTypesTree, TheModelIsFoundUpTheOwnerChainOnceItsClassRegisters) {
  auto model = MakeOwned<TModelDef>();
  auto* node = New<TTransformDef>(model.get());
  model->AddChild(node);
  TTransformDef* leaf = AddNode(node, "leaf");
  EXPECT_EQ(leaf->GetModel(), nullptr);
  RegisterClass(TModelDef::StaticClass());
  EXPECT_EQ(leaf->GetModel(), model.get());
  EXPECT_EQ(node->GetModel(), model.get());
  EXPECT_EQ(model->GetModel(), nullptr);
  UnRegisterClass(TModelDef::StaticClass());
}

TEST_F(DefTypesTree, ToJSONWritesMembersInOrderAndChildrenOnlyOnceListed) {
  FRoot->SetId("root");
  FRoot->GetProperties().Add("Opacity", TValue::From(0.5f));
  EXPECT_EQ(FRoot->ToJSON()->ToString(),
            R"({"Type":"Vantrel.DefTypes.TTransformDef","Id":"root","Owner":null,)"
            R"("Properties":[{"Name":"Opacity","Value":0.5}],)"
            R"("Transform":"1.0000000 0.0000000 0.0000000 0.0000000 0.0000000 1.0000000 0.0000000 0.0000000 )"
            R"(0.0000000 0.0000000 1.0000000 0.0000000 0.0000000 0.0000000 0.0000000 1.0000000"})");
  TTransformDef* child = AddNode(FRoot.get(), "child");
  EXPECT_EQ(MemberNames(*FRoot->ToJSON()),
            (std::vector<std::string>{"Type", "Id", "Owner", "Properties", "Transform", "Children"}));
  EXPECT_EQ(TCustomDef::GetJSONString(*child->ToJSON(), "Owner"), "root");
  FRoot->ClearChildren();
  EXPECT_EQ(FRoot->ToJSON()->GetValue("Children")->ToString(), "[]");
}

TEST_F(DefTypesTree, ChildrenComeBackAsTheClassesTheyName) {
  const auto json = ParseObject(R"({"Type": "Vantrel.DefTypes.TTransformDef", "Id": "root", "Children": [
      {"Type": "Vantrel.DefTypes.TSegmentDef", "Id": "seg", "Reference": "target"},
      {"Type": "Vantrel.DefTypes.TTransformDef", "Type": "Vantrel.DefTypes.TSegmentDef", "Id": "plain"},
      {"Id": "untyped"},
      {"Type": "Vantrel.DefTypes.TModelDef", "Id": "model"},
      {"Type": "Vantrel.DefTypes.TGroupDef", "Id": "group", "Author": "me"}]})");
  FRoot->FromJSON(nullptr, *json);
  const auto& children = *FRoot->GetChildren();
  ASSERT_EQ(children.Count(), 5);
  const auto* segment = dynamic_cast<TSegmentDef*>(children[0]);
  ASSERT_NE(segment, nullptr);
  EXPECT_EQ(segment->GetReferenceId(), "target");
  EXPECT_EQ(segment->GetReference(), nullptr);
  EXPECT_EQ(segment->GetOwner(), FRoot.get());
  EXPECT_EQ(&children[1]->ClassType(), &TTransformDef::StaticClass());
  // Names outside the table read as the mesh definition, the unit's fallback.
  for (int i = 2; i < 5; ++i)
    EXPECT_EQ(&children[i]->ClassType(), &TMeshDef::StaticClass()) << i;

  TCustomDefClass* unitFallback = SetChildDefFallback(&TProbeDef::StaticClass());
  EXPECT_EQ(unitFallback, &TMeshDef::StaticClass());
  FRoot->FromJSON(nullptr, *json);
  EXPECT_EQ(SetChildDefFallback(unitFallback), &TProbeDef::StaticClass());
  ASSERT_EQ(children.Count(), 10);
  EXPECT_EQ(&children[6]->ClassType(), &TTransformDef::StaticClass());
  for (int i = 7; i < 10; ++i)
    EXPECT_EQ(&children[i]->ClassType(), &TProbeDef::StaticClass()) << i;
  EXPECT_THROW(RegisterChildDefClass("Vantrel.DefTypes.TCustomDef", TCustomDef::StaticClass()), EInvalidCast);
}

TEST_F(DefTypesTree, ReadingKeepsUnresolvedOwnersAndEarlierChildren) {
  const auto json =
      ParseObject(R"({"Id": "n", "Owner": "Elsewhere", "Transform": "2 0 0 0 0 2 0 0 0 0 2 0 1 2 3 1",
      "Children": [{"Id": "ok"}, 5, {"Id": "never"}]})");
  auto node = MakeOwned<TTransformDef>();
  EXPECT_THROW(node->FromJSON(nullptr, *json), EInvalidCast);
  EXPECT_EQ(node->GetOwnerId(), "Elsewhere");
  EXPECT_EQ(node->GetOwnerRef(), nullptr);
  EXPECT_EQ(node->GetTransform().m41, 1);
  ASSERT_EQ(node->GetChildren()->Count(), 1);
  EXPECT_EQ(node->GetChildren()->Items(0)->GetId(), "ok");
  // The unresolved owner is written back, so a save loses no link.
  EXPECT_EQ(TCustomDef::GetJSONString(*node->ToJSON(), "Owner"), "Elsewhere");

  auto owned = MakeOwned<TTransformDef>(FRoot.get());
  FRoot->SetId("root");
  owned->FromJSON(nullptr, *ParseObject(R"({"Owner": "ignored"})"));
  EXPECT_EQ(owned->GetOwnerId(), "root");
  EXPECT_EQ(owned->GetOwnerRef(), FRoot.get());
}

TEST_F(DefTypesTree, TheModelSeamsResolveOwnersAndReferences) {
  auto model = MakeOwned<TTransformDef>();
  model->SetId("M");
  AddNode(model.get(), "Target");
  auto* token = reinterpret_cast<vantrel::TModelDef*>(model.get());
  const TModelDefSeams previous =
      SetModelDefSeams({[](vantrel::TModelDef* AModel, const std::string& AId) -> TCustomDef* {
                          auto* root = reinterpret_cast<TTransformDef*>(AModel);
                          return AId == root->GetId() ? root : root->FindChildById(AId, false);
                        },
                        [](vantrel::TModelDef* AModel, const std::string& AId) {
                          return reinterpret_cast<TTransformDef*>(AModel)->FindChildById(AId, false);
                        }});
  const auto json = ParseObject(R"({"Id": "s", "Owner": "M", "Reference": "#target"})");
  auto segment = MakeOwned<TSegmentDef>();
  segment->FromJSON(token, *json);
  EXPECT_EQ(segment->GetOwnerRef(), model.get());
  EXPECT_EQ(segment->GetReference(), model->FindChildById("Target", true));
  auto unresolved = MakeOwned<TSegmentDef>();
  unresolved->FromJSON(token, *ParseObject(R"({"Owner": "nobody", "Reference": "nothing"})"));
  EXPECT_EQ(unresolved->GetOwnerRef(), nullptr);
  EXPECT_EQ(unresolved->GetOwnerId(), "nobody");
  EXPECT_EQ(unresolved->GetReference(), nullptr);
  SetModelDefSeams(previous);
}

TEST_F(DefTypesTree, TextToTreeToTextIsByteIdentical) {
  const std::string text =
      R"({"Type":"Vantrel.DefTypes.TTransformDef","Id":"root","Owner":null,"Properties":[)"
      R"({"Name":"Width","Value":3},{"Name":"Opacity","Value":0.5},{"Name":"Tiny","Value":1E-7},)"
      R"({"Name":"Position","Value":{"RecordType":"TPoint3D","Value":[1,2.5,-3]}},{"Name":"Visible","Value":true},)"
      R"({"Name":"Color","Value":-8355712},{"Name":"Hint","Value":"\"quoted\" \u00E9"}],)"
      R"("Transform":"1.0000000 0.0000000 0.0000000 0.0000000 0.0000000 1.0000000 0.0000000 0.0000000 )"
      R"(0.0000000 0.0000000 1.0000000 0.0000000 0.0000000 0.0000000 0.0000000 1.0000000",)"
      R"("Children":[{"Type":"Vantrel.DefTypes.TSegmentDef","Id":"s","Owner":"root","Properties":[],)"
      R"("Transform":"2.0000000 0.0000000 0.0000000 0.0000000 0.0000000 2.0000000 0.0000000 0.0000000 )"
      R"(0.0000000 0.0000000 2.0000000 0.0000000 1.5000000 0.0000000 -0.2500000 1.0000000",)"
      R"("Children":[],"Reference":"root"}]})";
  FRoot->FromJSON(nullptr, *ParseObject(text));
  EXPECT_EQ(FRoot->ToJSON()->ToJSON(), text);
  EXPECT_EQ(FRoot->GetProperties().Items("Tiny").AsDouble(), 1e-7);
}

TEST_F(DefTypesTree, GroupsKeepTheirTimeStampInTheFixedForm) {
  auto group = MakeOwned<TGroupDef>();
  group->SetId("g");
  group->SetAuthor("Ann");
  group->SetDescr("d");
  group->SetTimestamp(EncodeDateTime({2023, 5, 4, 10, 20, 30, 0}));
  const auto json = group->ToJSON();
  EXPECT_EQ(MemberNames(*json), (std::vector<std::string>{"Type", "Id", "Owner", "Properties", "Transform",
                                                          "Author", "Timestamp", "Descr"}));
  EXPECT_EQ(TCustomDef::GetJSONString(*json, "Timestamp"), "2023-05-04 10:20:30");

  auto back = MakeOwned<TGroupDef>();
  back->SetVersion("stale");
  back->FromJSON(nullptr, *ParseObject(json->ToString()));
  EXPECT_EQ(back->GetTimestamp(), group->GetTimestamp());
  EXPECT_EQ(back->GetAuthor(), "Ann");
  EXPECT_EQ(back->GetDescr(), "d");
  EXPECT_EQ(back->GetVersion(), "");

  for (const char* stamp : {R"("0000-00-00 00:00:00")", R"("2023-05-04")", R"("5/4/2023 10:20:30")", "1"}) {
    SCOPED_TRACE(stamp);
    back->FromJSON(nullptr, *ParseObject(std::string(R"({"Timestamp": )") + stamp + "}"));
    EXPECT_EQ(back->GetTimestamp().Value, 0);
  }
  back->FromJSON(nullptr, *ParseObject("{}"));
  EXPECT_EQ(back->GetTimestamp().Value, 0);
  EXPECT_FALSE(TCustomDef::HasJSONValue(*back->ToJSON(), "Timestamp"));
  EXPECT_FALSE(TCustomDef::HasJSONValue(*back->ToJSON(), "Author"));
}

} // namespace
