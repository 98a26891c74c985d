// The whole model definition: construction, lookups, its JSON round trip, the reader's sections and
// the late resolution of cross references.

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "support/json_object.h"
#include "support/log_capture.h"

namespace {

using namespace vantrel;

using vtest::ParseObject;

std::string MessageOf(const std::function<void()>& AProc) {
  try {
    AProc();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(no exception)";
}

class DefModel : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeDefTypes();
    InitializeDefTypesNodes();
    InitializeAssetsManager();
  }
  void TearDown() override {
    FinalizeAssetsManager();
    FinalizeDefTypesNodes();
    FinalizeDefTypes();
  }

  // A new model read from AText; the reading error's message, if any, in AError.
  static TOwned<TModelDef> Read(std::string_view AText, std::string* AError = nullptr) {
    auto model = MakeOwned<TModelDef>();
    const auto json = ParseObject(AText);
    try {
      model->FromJSON(*json);
    } catch (const Exception& E) {
      if (!AError)
        throw;
      *AError = E.Message();
    }
    return model;
  }

  static std::string Text(const TModelDef& AModel) { return AModel.ToJSON()->ToJSON(); }
};

// The model of the round trip: every part a model holds, built in code.
struct TIntegrationModel {
  TOwned<TModelDef> Model = MakeOwned<TModelDef>();
  TMeshDef* Body = nullptr;
  TJointDef* Hip = nullptr;
  TJointDef* Spine = nullptr;
  TControllerDef* Controller = nullptr;

  TIntegrationModel() {
    TModelDef* model = Model.get();
    model->SetId("Robot");
    model->SetFilename("C:\\my models\\a b.v3d");

    TMaterialBehaviourDef* behaviour = model->AddNewMaterialBehaviour();
    behaviour->SetId("Blink");
    auto* material = New<TMaterialDef>(model, "Steel");
    material->AddMaterialBehaviourRef("Blink", behaviour);

    auto* node = New<TTransformDef>(model);
    node->SetId("Lamp");
    model->AddChild(node);
    auto* treeLight = New<TLightDef>(node);
    treeLight->SetId("LampLight");
    node->AddChild(treeLight);
    New<TLightDef>(model)->SetId("Sun");
    New<TCameraDef>(model)->SetId("Cam");

    Body = New<TMeshDef>(model);
    Body->SetId("Body");
    Body->AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    TVertexIndexMap map;
    map.AddIndex(5, 0);
    map.AddIndex(5, 2);
    Body->AddVertexIndexMap(map, 0);
    auto* reference = New<TMaterialRefDef>();
    reference->SetId("Steel");
    reference->SetReference(material);
    Body->SetMaterial(reference);
    model->AddChild(Body);

    auto* armature = New<TArmatureDef>(model);
    armature->SetId("Arm");
    model->AddArmature(armature);
    Hip = New<TJointDef>(armature);
    Hip->SetId("Hip");
    armature->SetRoot(Hip);
    Spine = New<TJointDef>(armature);
    Spine->SetId("Spine");
    Spine->SetParent(Hip);
    Spine->SetTransform(TMatrix3D::CreateTranslation({0, 1, 0}));
    Hip->AddJoint(Spine);
    auto* head = New<TJointDef>(armature);
    head->SetId("Head");
    head->SetParent(Spine);
    Spine->AddJoint(head);

    Controller = New<TControllerDef>(Body);
    Controller->SetId("C1");
    model->AddController(Controller);
    auto* skin = New<TSkinDef>(Controller);
    skin->SetId("Skin1");
    Controller->SetSkin(skin);
    TJointRefDef* hipRef = skin->LinkJoint(Hip);
    hipRef->GetIndices() = {0, 1};
    hipRef->GetWeights() = {1, 0.5f};
    TJointRefDef* spineRef = skin->LinkJoint(Spine);
    spineRef->GetIndices() = {1, 2};
    spineRef->GetWeights() = {0.5f, 1};
    skin->SetBindPosesArrayLength(2);
    skin->GetBindPoses()[0] = TMatrix3D::Identity();
    skin->GetBindPoses()[1] = TMatrix3D::CreateTranslation({0, -1, 0});
    skin->AddSkeleton(New<TJointRefDef>(Hip, Controller, true));
    armature->AddController(Controller);

    TAnimationDef* animation = model->AddEmptyAnimation("Walk");
    auto* stage = New<TAnimationStageDef>(animation);
    stage->SetId("S1");
    stage->SetReference(Spine);
    animation->AddStage(stage);
    auto* position = New<TPoint3DInterpolatorDef>(stage);
    position->SetPath("Position.Point");
    position->AddKey(0, {0, 0, 0}, TInterpolationType::Linear);
    position->AddKey(1, {1, 2, 3}, TInterpolationType::Linear);
    stage->AddInterpolator(position);
    auto* rotation = New<TQuaternion3DInterpolatorDef>(stage);
    rotation->SetPath("RotationAngle.Quaternion");
    rotation->AddKey(0, TQuaternion3D::Identity(), TInterpolationType::Linear);
    rotation->AddKey(1, TQuaternion3D({0, 0, 0.7071068f}, 0.7071068f), TInterpolationType::Linear);
    stage->AddInterpolator(rotation);

    model->GetMetaData()->SetTitle("Robot");
    model->GetMetaData()->SetPolygons(1);
  }
};

// ---- construction and lookups ----

TEST_F(DefModel, NewModelsHaveDistinctAddressIdsAndEmptyParts) {
  TModelDef first;
  TModelDef second;
  const std::regex pattern("Model_[0-9]+");
  EXPECT_TRUE(std::regex_match(first.GetId(), pattern)) << first.GetId();
  EXPECT_NE(first.GetId(), second.GetId());
  EXPECT_NE(first.GetMetaData(), nullptr);
  EXPECT_EQ(first.GetArmatures(), nullptr);
  EXPECT_EQ(first.GetControllers(), nullptr);
  EXPECT_EQ(first.GetAnimations(), nullptr);
  EXPECT_EQ(first.GetCurrentAnimation(), nullptr);
  EXPECT_EQ(first.GetLight(-1), nullptr);
  TModelDef withPackage(nullptr, &first);
  EXPECT_EQ(withPackage.GetPackage(), &first);
}

TEST_F(DefModel, LookupsFindEachKindInOrder) {
  TIntegrationModel built;
  TModelDef& model = *built.Model;
  auto* nodeNamedLikeModel = New<TTransformDef>(&model);
  nodeNamedLikeModel->SetId("Robot");
  model.AddChild(nodeNamedLikeModel);
  auto* lowerMesh = New<TTransformDef>(&model);
  lowerMesh->SetId("mesh1");
  model.AddChild(lowerMesh);

  struct TCase {
    const char* Id;
    const TCustomDef* Expected;
  };
  for (const TCase& c : {TCase{"Robot", &model}, TCase{"#Mesh1", lowerMesh}, TCase{"Sun", model.FindLightById("Sun")},
                         TCase{"Cam", model.FindCameraById("Cam")}, TCase{"Walk", model.FindAnimationById("Walk")},
                         TCase{"#c1", built.Controller}, TCase{"Arm", model.FindArmatureById("Arm")},
                         TCase{"Head", built.Spine->FindJointById("Head")}, TCase{"Nope", nullptr}}) {
    SCOPED_TRACE(c.Id);
    EXPECT_NE(c.Expected == nullptr, std::string(c.Id) != "Nope");
    EXPECT_EQ(model.FindDefById(c.Id), c.Expected);
  }
  EXPECT_EQ(model.FindArmatureById(""), nullptr);
  EXPECT_EQ(model.GetArmatureBySkeleton(built.Spine), model.FindArmatureById("Arm"));
  EXPECT_EQ(model.GetArmatureBySkeleton(nullptr), nullptr);
  EXPECT_EQ(built.Controller->GetIndex(), 0);
  EXPECT_EQ(model.FindControllerByTransform(built.Body, true), built.Controller);
  EXPECT_EQ(MessageOf([&] { model.FindControllerById("C2", true); }), "controller with id \"C2\" not found");
  EXPECT_EQ(model.FindControllerById("C2", false), nullptr);
}

TEST_F(DefModel, ControllerByTransformRaisesItsTwoMessages) {
  TModelDef model;
  auto* body = New<TMeshDef>(&model);
  body->SetId("Body");
  model.AddChild(body);
  EXPECT_EQ(MessageOf([&] { model.FindControllerByTransform(body, true); }),
            "controller for transform \"Body\" not found");
  model.AddController(New<TControllerDef>(&model));
  EXPECT_EQ(MessageOf([&] { model.FindControllerByTransform(body, true); }), "controller for mesh \"Body\" not found");
  EXPECT_EQ(model.FindControllerByTransform(body, false), nullptr);
}

// ---- the round trip ----

TEST_F(DefModel, TheIntegrationModelRoundTripsByteIdentically) {
  TIntegrationModel built;
  const std::string text = Text(*built.Model);
  TOwned<TModelDef> read = Read(text);
  EXPECT_EQ(Text(*read), text);

  EXPECT_EQ(read->GetId(), "Robot");
  EXPECT_EQ(read->GetFilename(), "C:\\my models\\a b.v3d");
  EXPECT_EQ(read->GetMetaData()->GetTitle(), "Robot");
  EXPECT_EQ(read->GetMetaData()->GetPolygons(), 1);
  ASSERT_NE(read->GetLights(), nullptr);
  EXPECT_EQ(read->GetLights()->size(), 2u);
  EXPECT_EQ(read->GetBehaviours().Count(), 1);

  // Every link points into the new tree.
  auto* body = dynamic_cast<TMeshDef*>(read->FindChildById("Body", true));
  ASSERT_NE(body, nullptr);
  ASSERT_NE(body->GetMaterial(), nullptr);
  EXPECT_EQ(body->GetMaterial()->GetReference(), read->FindMaterialById("Steel"));
  TMaterialDef* steel = read->FindMaterialById("Steel");
  ASSERT_NE(steel, nullptr);
  EXPECT_EQ(steel->GetMaterialBehaviourRef("Blink")->GetReference(), read->FindBehaviourById("Blink"));
  TControllerDef* controller = read->FindControllerById("C1", true);
  EXPECT_EQ(controller->GetTarget(), body);
  EXPECT_EQ(read->FindControllerByTransform(body, true), controller);
  TJointDef* hip = read->FindJointById("Hip");
  TJointDef* spine = read->FindJointById("Spine");
  ASSERT_NE(spine, nullptr);
  EXPECT_NE(spine, built.Spine);
  EXPECT_EQ(controller->GetSkin()->GetLinkedJoints()[0]->GetJoint(), hip);
  EXPECT_EQ(controller->GetSkin()->GetLinkedJoints()[1]->GetJoint(), spine);
  EXPECT_TRUE(read->FindArmatureById("Arm")->GetControllers().Contains(controller));
  EXPECT_EQ(read->FindAnimationById("Walk")->GetStages()[0]->GetReference(), spine);
  EXPECT_GT(read->GetSize(), built.Model->GetSize() / 2);
}

TEST_F(DefModel, WritesSectionsInOrderAndOnlyThoseThatExist) {
  TModelDef model;
  const auto json = model.ToJSON();
  std::vector<std::string> tail;
  bool afterFilename = false;
  for (const TJSONPair* pair : *json) {
    afterFilename = afterFilename || pair->Name() == "Filename";
    if (afterFilename)
      tail.emplace_back(pair->Name());
  }
  EXPECT_EQ(tail, (std::vector<std::string>{"Filename", "Behaviours", "Materials", "MetaData"}));
  TIntegrationModel built;
  tail.clear();
  afterFilename = false;
  const auto builtJson = built.Model->ToJSON();
  for (const TJSONPair* pair : *builtJson) {
    afterFilename = afterFilename || pair->Name() == "Filename";
    if (afterFilename)
      tail.emplace_back(pair->Name());
  }
  EXPECT_EQ(tail, (std::vector<std::string>{"Filename", "Behaviours", "Materials", "Lights", "Cameras", "Armatures",
                                            "Controllers", "Animations", "MetaData"}));
}

// ---- the reader ----

TEST_F(DefModel, ReaderMessagesAndSections) {
  struct TCase {
    const char* Name;
    const char* Json;
    const char* Message;
  };
  const TCase cases[] = {
      {"controller without target", R"({"Controllers": [{"Id": "C1"}]})", "failed to load controller C1 - mesh id not set"},
      {"unknown target", R"({"Controllers": [{"Id": "C1", "Target": "Nope"}]})", "transform with id \"Nope\" not found"},
      {"qualified behaviour class",
       R"({"Behaviours": [{"Type": "Vantrel.DefTypes.TMaterialBehaviourDef", "Id": "B"}]})",
       "reading model data failed - unsupported behaviour class \"Vantrel.DefTypes.TMaterialBehaviourDef\" found"},
      {"cameras not an array", R"({"Cameras": {}})", rtl::messages::InvalidCast},
      {"element not an object", R"({"Animations": [1]})", rtl::messages::InvalidCast},
      {"metadata not an object", R"({"MetaData": []})", rtl::messages::InvalidCast},
      {"behaviour without type", R"({"Behaviours": [{"Id": "B"}]})", ""},
      {"plain behaviour type",
       R"({"Behaviours": [{"Type": "Vantrel.DefTypes.TMaterialBehaviourDef", "Id": "B", "Type": "TMaterialBehaviourDef"}]})",
       ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string error;
    TOwned<TModelDef> model = Read(c.Json, &error);
    EXPECT_EQ(error, c.Message);
  }
  EXPECT_EQ(Read(R"({"Behaviours": [{"Id": "B"}]})")->GetBehaviours()[0]->GetId(), "B");
}

TEST_F(DefModel, ArmaturesComeFromHumanoidsOnlyWithoutArmatures) {
  const auto ids = [](const TModelDef& AModel) {
    std::vector<std::string> result;
    if (AModel.GetArmatures())
      for (const TArmatureDef* armature : *AModel.GetArmatures())
        result.push_back(armature->GetId());
    return result;
  };
  EXPECT_EQ(ids(*Read(R"({"Humanoids": [{"Id": "H"}]})")), std::vector<std::string>{"H"});
  EXPECT_EQ(ids(*Read(R"({"Armatures": [{"Id": "A"}], "Humanoids": [{"Id": "H"}]})")), std::vector<std::string>{"A"});
  EXPECT_EQ(ids(*Read(R"({"Armatures": 5, "Humanoids": [{"Id": "H"}]})")), std::vector<std::string>{"H"});
}

// Models whose second reading once differed from the first: each is written, read, written and
// read again, and every text must equal the first.
TEST_F(DefModel, EdgeModelsKeepTheirTextOverRounds) {
  struct TCase {
    const char* Name;
    std::function<void(TModelDef&)> Build;
    std::function<void(TModelDef&)> Check;
  } cases[] = {
      {"a mesh without vertices keeps its indices",
       [](TModelDef& AModel) {
         auto* mesh = New<TMeshDef>(&AModel);
         mesh->SetId("Empty");
         AModel.AddChild(mesh);
         mesh->CreateIndexSource(TIndexFormat::UInt16);
         mesh->GetIndexSource()->SetLength(12);
         for (int i = 0; i < 12; ++i)
           mesh->GetIndexSource()->SetIndices(i, uint32_t(i));
       },
       [](TModelDef& ARead) {
         auto* mesh = dynamic_cast<TMeshDef*>(ARead.FindChildById("Empty", true));
         ASSERT_NE(mesh, nullptr);
         ASSERT_NE(mesh->GetIndexSource(), nullptr);
         EXPECT_EQ(mesh->GetIndexSource()->Length(), 12);
         EXPECT_EQ(mesh->GetIndexSource()->Format(), TIndexFormat::UInt16);
         EXPECT_EQ(mesh->GetIndexSource()->GetIndices(11), 11u);
       }},
      {"an empty mesh keeps the index format it was written with",
       [](TModelDef& AModel) {
         auto* mesh = New<TMeshDef>(&AModel);
         mesh->SetId("Bare");
         AModel.AddChild(mesh);
         mesh->CreateIndexSource(TIndexFormat::UInt16);
       },
       [](TModelDef& ARead) {
         auto* mesh = dynamic_cast<TMeshDef*>(ARead.FindChildById("Bare", true));
         ASSERT_NE(mesh, nullptr);
         EXPECT_EQ(mesh->GetIndexFormat(), TIndexFormat::UInt16);
       }},
      {"a vertex index map without indices",
       [](TModelDef& AModel) {
         auto* mesh = New<TMeshDef>(&AModel);
         mesh->SetId("Mapped");
         AModel.AddChild(mesh);
         TVertexIndexMap map;
         map.Add(5, {0, 2});
         mesh->AddVertexIndexMap(map, 0);
       },
       [](TModelDef& ARead) {
         auto* mesh = dynamic_cast<TMeshDef*>(ARead.FindChildById("Mapped", true));
         ASSERT_NE(mesh, nullptr);
         ASSERT_NE(mesh->GetVertexIndexMap(), nullptr);
         ASSERT_TRUE(mesh->GetVertexIndexMap()->ContainsKey(5));
         EXPECT_EQ(mesh->GetVertexIndexMap()->Items(5), (std::vector<uint32_t>{0, 2}));
       }},
      {"an Id shared by two controllers, one driven by the armature",
       [](TModelDef& AModel) {
         auto* armature = New<TArmatureDef>(&AModel);
         armature->SetId("Arm");
         AModel.AddArmature(armature);
         auto* hip = New<TJointDef>(armature);
         hip->SetId("Hip");
         armature->SetRoot(hip);
         for (const char* target : {"Other", "Body"}) {
           auto* mesh = New<TMeshDef>(&AModel);
           mesh->SetId(target);
           AModel.AddChild(mesh);
           auto* controller = New<TControllerDef>(mesh);
           controller->SetId("C1");
           AModel.AddController(controller);
           controller->SetSkin(New<TSkinDef>(controller));
           if (std::string(target) == "Body") {
             controller->GetSkin()->AddSkeleton(New<TJointRefDef>(hip, controller, true));
             armature->AddController(controller);
           }
         }
       },
       [](TModelDef& ARead) {
         const auto& controllers = ARead.FindArmatureById("Arm")->GetControllers();
         ASSERT_EQ(controllers.Count(), 1);
         EXPECT_EQ(controllers[0]->GetTarget(), ARead.FindChildById("Body", true));
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TModelDef model;
    model.SetId("Robot");
    c.Build(model);
    const std::string text = Text(model);
    TOwned<TModelDef> first = Read(text);
    EXPECT_EQ(Text(*first), text);
    TOwned<TModelDef> second = Read(Text(*first));
    EXPECT_EQ(Text(*second), text);
    c.Check(*second);
  }
}

TEST_F(DefModel, AControllerOfTheModelItselfRoundTrips) {
  TModelDef model;
  model.SetId("Robot");
  auto* controller = New<TControllerDef>(&model);
  controller->SetId("C1");
  model.AddController(controller);
  const std::string text = Text(model);
  TOwned<TModelDef> read = Read(text);
  EXPECT_EQ(read->FindControllerById("C1", true)->GetTarget(), read.get());
  EXPECT_EQ(Text(*read), text);
}

TEST_F(DefModel, ListedTreeLightsAreNotReadAgain) {
  // The tree light's "Owner" names no node, so it drops its owner; it is still the tree's, and its
  // "Lights" element must not add a copy on every load.
  constexpr const char* Json = R"({"Id": "M", "Children": [{"Type": "Vantrel.DefTypes.TTransformDef", "Id": "Lamp",
      "Children": [{"Type": "Vantrel.DefTypes.TLightDef", "Id": "L", "Owner": "Gone"}]}],
      "Lights": [{"Type": "Vantrel.DefTypes.TLightDef", "Id": "L", "Owner": "Gone"},
                 {"Type": "Vantrel.DefTypes.TLightDef", "Id": "Sun"}]})";
  TOwned<TModelDef> model = Read(Json);
  ASSERT_NE(model->GetLights(), nullptr);
  EXPECT_EQ(model->GetLights()->size(), 2u);
  const std::string text = Text(*model);
  EXPECT_EQ(Text(*Read(text)), text);
}

TEST_F(DefModel, MeshMaterialReferencesResolveThroughTheReadingModel) {
  constexpr const char* Mesh = R"({"Type": "Vantrel.DefTypes.TMeshDef", "Id": "Body", "Material": "Steel"})";
  // The material is listed after the mesh in the text; the model reads its materials first.
  const std::string text = std::string(R"({"Id": "M", "Children": [)") + Mesh +
                           R"(], "Materials": [{"Type": "Vantrel.DefTypes.TMaterialDef", "Id": "Steel"}]})";
  TOwned<TModelDef> model = Read(text);
  auto* body = dynamic_cast<TMeshDef*>(model->FindChildById("Body", true));
  EXPECT_EQ(body->GetMaterial()->GetReference(), model->FindMaterialById("Steel"));

  // A failing section ends the read: what was read stays owned, the reference stays open.
  const std::string failing = std::string(R"({"Id": "M", "Children": [)") + Mesh +
                              R"(], "Controllers": [{"Id": "C"}]})";
  std::string error;
  TOwned<TModelDef> failed = Read(failing, &error);
  EXPECT_EQ(error, "failed to load controller C - mesh id not set");
  auto* failedBody = dynamic_cast<TMeshDef*>(failed->FindChildById("Body", true));
  EXPECT_EQ(failedBody->GetMaterial()->GetReference(), nullptr);
  EXPECT_EQ(failedBody->GetMaterial()->GetId(), "Steel");

  // A mesh read outside a model's read has no list to go to and stays unresolved.
  TMeshDef alone;
  alone.FromJSON(model.get(), *ParseObject(R"({"Id": "Alone", "Material": "Other"})"));
  New<TMaterialDef>(model.get(), "Other");
  EXPECT_EQ(alone.GetMaterial()->GetReference(), nullptr);
  EXPECT_FALSE(model->RegisterLateResolve(&alone, *ParseObject("{}")));
}

TEST_F(DefModel, LateResolutionSkipsDefinitionsFreedWhileReading) {
  // The second "Spine" is refused and freed together with the mesh below it, whose material
  // reference had registered for the late pass.
  constexpr const char* Json = R"({"Id": "M", "Armatures": [{"Id": "Arm", "Root": {"Id": "Hip", "Joints": [
      {"Id": "Spine"},
      {"Id": "Spine", "Children": [{"Type": "Vantrel.DefTypes.TMeshDef", "Id": "Gone", "Material": "Nope"}]}]}}]})";
  TOwned<TModelDef> model = Read(Json);
  EXPECT_NE(model->FindJointById("Spine"), nullptr);
}

TEST_F(DefModel, MetadataKeepsItsTagsAcrossRounds) {
  TModelDef model;
  model.GetMetaData()->SetAuthor("Ann");
  const std::string text = Text(model);
  TOwned<TModelDef> once = Read(text);
  EXPECT_EQ(once->GetMetaData()->GetTags().Count(), 1);
  // A file whose metadata already holds "Type" and "Id" tags keeps them.
  const std::string doubled = R"({"MetaData": {"Type": "Vantrel.DefTypes.TModelMetaDef", "Id": "",
      "Type": "X", "Id": "Y", "Author": "Ann"}})";
  TOwned<TModelDef> kept = Read(doubled);
  EXPECT_EQ(kept->GetMetaData()->GetTagAsString("Type"), "X");
  EXPECT_EQ(kept->GetMetaData()->GetTags().Count(), 3);
  EXPECT_EQ(Text(*Read(Text(*kept))), Text(*kept));
}

TEST_F(DefModel, ModelWideNormalsRunOnChildMeshesOnly) {
  TModelDef model;
  model.AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
  auto* child = New<TMeshDef>(&model);
  child->AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
  model.AddChild(child);
  model.GetVertexSource()->SetNormals(0, {9, 9, 9});
  child->GetVertexSource()->SetNormals(0, {9, 9, 9});
  model.CalcFaceNormals(true);
  EXPECT_EQ(model.GetVertexSource()->GetNormals(0), (TPoint3D{9, 9, 9}));
  EXPECT_NE(child->GetVertexSource()->GetNormals(0), (TPoint3D{9, 9, 9}));
}

TEST_F(DefModel, CacheAnimationsLogsNothingWithoutAnimations) {
  vtest::TLogCapture log;
  TModelDef model;
  model.CacheAnimations({}, {}, nullptr);
  EXPECT_TRUE(log.Lines().empty());
  // An animation without frames is counted but stays uncached.
  model.AddEmptyAnimation("Walk");
  model.CacheAnimations({}, {}, nullptr);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].rfind("Caching 1 animations: elapsed time ", 0), 0u) << log.Lines()[0];
  EXPECT_FALSE(model.FindAnimationById("Walk")->IsCached());
}

} // namespace
