#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "support/json_object.h"

namespace {

using namespace vantrel;

using vtest::MemberNames;
using vtest::ParseObject;

std::string NumberText(const TJSONObject& AObject, std::string_view AName) {
  const TJSONValue* value = AObject.GetValue(AName);
  return value ? std::string(value->Value()) : "(absent)";
}

// Model "M" with node "Mesh1".
class NodeDefs : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeDefTypes();
    InitializeDefTypesNodes();
    FModel = MakeOwned<TModelDef>();
    FModel->SetId("M");
    FMesh = New<TTransformDef>(FModel.get());
    FMesh->SetId("Mesh1");
    FModel->AddChild(FMesh);
  }
  void TearDown() override {
    FModel.reset();
    FinalizeDefTypesNodes();
    FinalizeDefTypes();
  }
  TOwned<TModelDef> FModel;
  TTransformDef* FMesh = nullptr;
};

TEST_F(NodeDefs, ANewLightWritesItsMembersInOrderWithDefaults) {
  auto* light = static_cast<TLightDef*>(TLightDef::StaticClass().CreateDef(FModel.get()));
  light->SetId("L");
  const auto json = light->ToJSON();
  EXPECT_EQ(MemberNames(*json),
            (std::vector<std::string>{"Type", "Id", "Owner", "Properties", "Transform", "Owner", "LightType",
                                      "Direction", "Diffuse", "Ambient", "Specular", "Intensity",
                                      "ConstantAttenuation", "LinearAttenuation", "QuadraticAttenuation",
                                      "ScatteringIntensity", "ScatteringExposure", "ScatteringDecay",
                                      "ScatteringDensity", "SpotCutOff", "SpotExponent"}));
  EXPECT_EQ(TCustomDef::GetJSONString(*json, "LightType"), "Point");
  EXPECT_EQ(TCustomDef::GetJSONString(*json, "Direction"), "0.0000000 1.0000000 0.0000000");
  EXPECT_EQ(TCustomDef::GetJSONString(*json, "Ambient"), "0.0000000 0.0000000 0.0000000 1.0000000");
  const std::vector<std::pair<const char*, double>> numbers = {
      {"Intensity", 100},         {"ConstantAttenuation", 1},   {"LinearAttenuation", 0},
      {"QuadraticAttenuation", 0}, {"ScatteringIntensity", 0.1f}, {"ScatteringExposure", 0.0034f},
      {"ScatteringDecay", 1},     {"ScatteringDensity", 0.84f}, {"SpotCutOff", 180},
      {"SpotExponent", 0}};
  for (const auto& [name, value] : numbers) {
    SCOPED_TRACE(name);
    EXPECT_FLOAT_EQ(TCustomDef::GetJSONFloat(*json, name, -1), value);
  }
  EXPECT_EQ(FModel->GetLight(0), light);
}

TEST_F(NodeDefs, LightTypeTextsAndAbsentMembers) {
  const std::vector<std::pair<std::string, ui::TLightType>> rows = {
      {R"("LightType":"Directional")", ui::TLightType::Directional},
      {R"("LightType":"Spot")", ui::TLightType::Spot},
      {R"("LightType":"spot")", ui::TLightType::Point},
      {R"("LightType":2)", ui::TLightType::Point},
      {R"("Other":1)", ui::TLightType::Point}};
  for (const auto& [member, expected] : rows) {
    SCOPED_TRACE(member);
    auto light = MakeOwned<TLightDef>();
    light->LightType = ui::TLightType::Spot;
    light->Intensity = 7;
    light->FromJSON(nullptr, *ParseObject("{" + member + "}"));
    EXPECT_EQ(light->LightType, expected);
    EXPECT_EQ(light->Intensity, 7); // absent numbers keep their values
  }
}

TEST_F(NodeDefs, CameraJSONReadsTheLastTypeAndKeepsAbsentValues) {
  auto camera = MakeOwned<TCameraDef>();
  camera->Type = TCameraType::OrthographicCamera;
  camera->Target = "Cube1";
  camera->FOV = 60;
  auto copy = MakeOwned<TCameraDef>();
  copy->FromJSON(nullptr, *camera->ToJSON());
  EXPECT_EQ(copy->Type, TCameraType::OrthographicCamera);
  EXPECT_EQ(copy->Target, "Cube1");
  EXPECT_EQ(copy->FOV, 60);

  copy->FromJSON(nullptr, *ParseObject(R"({"Type":"Vantrel.DefTypes.TCameraDef"})"));
  EXPECT_EQ(copy->Type, TCameraType::PerspectiveCamera);
  EXPECT_EQ(copy->Target, "Cube1");
  EXPECT_EQ(copy->FOV, 60);
  EXPECT_EQ(copy->FarPlane, 1000);
}

TEST_F(NodeDefs, QualifiedNamesAreValidComponentNamesOrAddresses) {
  auto light = MakeOwned<TLightDef>();
  auto camera = MakeOwned<TCameraDef>();
  light->SetId("3D Lamp");
  camera->SetId("3D Lamp");
  EXPECT_EQ(light->GetQualifiedComponentName(), "_3D_Lamp");
  EXPECT_EQ(camera->GetQualifiedComponentName(), "_3D_Lamp");
  light->SetId("");
  camera->SetId("");
  EXPECT_EQ(light->GetQualifiedComponentName(),
            "Light_" + std::to_string(reinterpret_cast<intptr_t>(light.get())));
  EXPECT_EQ(camera->GetQualifiedComponentName(),
            "Camera_" + std::to_string(reinterpret_cast<intptr_t>(camera.get())));
  EXPECT_EQ(light->GetSize(), static_cast<int64_t>(TLightDef::StaticClass().InstanceSize()));
}

TEST_F(NodeDefs, TheModelListsItsLightsAndFindsDefinitionsById) {
  auto* light = static_cast<TLightDef*>(TLightDef::StaticClass().CreateDef(FMesh));
  light->SetId("Lamp");
  FMesh->AddChild(light);
  ASSERT_NE(FModel->GetLights(), nullptr);
  EXPECT_EQ(FModel->GetLights()->size(), 1u);
  EXPECT_EQ(FModel->GetLight(-1), nullptr);
  EXPECT_EQ(FModel->GetLight(1), nullptr);
  EXPECT_EQ(FModel->FindLightById("Lamp"), light);
  EXPECT_EQ(FModel->FindLightById("lamp"), nullptr);
  EXPECT_EQ(FModel->FindCameraById("Lamp"), nullptr);

  auto* sameName = New<TTransformDef>(FMesh);
  sameName->SetId("M");
  FMesh->AddChild(sameName);
  EXPECT_EQ(FModel->FindDefById("M"), FModel.get());
  EXPECT_EQ(FModel->FindDefById("Mesh1"), FMesh);
  EXPECT_EQ(FModel->FindDefById("Lamp"), light);
  EXPECT_EQ(FModel->FindDefById("none"), nullptr);

  // A "Children" element naming the light class reads as one light, listed once.
  FMesh->FromJSON(FModel.get(), *ParseObject(R"({"Id":"Mesh1","Children":[
      {"Type":"Vantrel.DefTypes.TLightDef","Id":"Read","Owner":"Mesh1","Owner":"Mesh1"}]})"));
  TLightDef* read = FModel->FindLightById("Read");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(FModel->GetLights()->size(), 2u);
  EXPECT_EQ(read->GetOwnerRef(), FMesh);

  // Removing a child frees it and takes it out of the list.
  FMesh->RemoveChild(light);
  EXPECT_EQ(FModel->GetLights()->size(), 1u);
  EXPECT_EQ(FModel->FindLightById("Lamp"), nullptr);
}

TEST_F(NodeDefs, TheSeamResolvesOwnersAndReferencesUnderARealModel) {
  auto segment = MakeOwned<TSegmentDef>();
  segment->FromJSON(FModel.get(), *ParseObject(R"({"Id":"s","Owner":"Mesh1","Reference":"Mesh1"})"));
  EXPECT_EQ(segment->GetOwnerRef(), FMesh);
  EXPECT_EQ(segment->GetReference(), FMesh);
}

TEST_F(NodeDefs, LightsAndCamerasKeepTheirOwnerOnReload) {
  // Read from the model's list: created under the model, the file names another owner.
  auto* light = static_cast<TLightDef*>(TLightDef::StaticClass().CreateDef(FModel.get()));
  const auto json = ParseObject(R"({"Type":"Vantrel.DefTypes.TLightDef","Id":"L","Owner":"Mesh1"})");
  light->FromJSON(FModel.get(), *json);
  EXPECT_EQ(light->GetOwnerRef(), nullptr);
  EXPECT_TRUE(light->LateResolveFromJSON(FModel.get(), *json));
  EXPECT_EQ(light->GetOwnerRef(), FMesh);

  // A tree child read under its parent keeps it without late resolution; so does a camera.
  auto* camera = static_cast<TCameraDef*>(TCameraDef::StaticClass().CreateDef(FMesh));
  FMesh->AddChild(camera);
  camera->FromJSON(FModel.get(), *ParseObject(R"({"Id":"C","Owner":"Mesh1"})"));
  EXPECT_EQ(camera->GetOwnerRef(), FMesh);
  // The camera's absent "Owner" drops the owner as before.
  auto* loose = static_cast<TCameraDef*>(TCameraDef::StaticClass().CreateDef(FModel.get()));
  loose->FromJSON(FModel.get(), *ParseObject(R"({"Id":"C2"})"));
  EXPECT_EQ(loose->GetOwnerRef(), nullptr);

  const std::string text = light->ToJSON()->ToString();
  auto copy = MakeOwned<TLightDef>();
  copy->FromJSON(FModel.get(), *ParseObject(text));
  copy->LateResolveFromJSON(FModel.get(), *ParseObject(text));
  EXPECT_EQ(copy->ToJSON()->ToString(), text);
}

TEST_F(NodeDefs, ATreeChildLightIsFreedOnceWhicheverOwnerGoesFirst) {
  for (bool modelFirst : {true, false}) {
    SCOPED_TRACE(modelFirst);
    auto model = MakeOwned<TModelDef>();
    auto* mesh = New<TTransformDef>(model.get());
    model->AddChild(mesh);
    auto* light = static_cast<TLightDef*>(TLightDef::StaticClass().CreateDef(mesh));
    mesh->AddChild(light);
    auto* loose = static_cast<TCameraDef*>(TCameraDef::StaticClass().CreateDef(model.get()));
    (void)loose; // owned by the model's list alone
    if (!modelFirst) {
      model->RemoveChild(mesh);
      EXPECT_EQ(model->GetLights()->size(), 0u);
    }
    model.reset(); // ASan reports a double free or a leak
  }
}

TEST_F(NodeDefs, MetaTagsReadWithTheirKinds) {
  auto meta = MakeOwned<TModelMetaDef>();
  meta->FromJSON(nullptr, *ParseObject(
      R"({"Type":"Vantrel.DefTypes.TModelMetaDef","Id":"meta","Title":"T","Polygons":1200,"Ratio":0.5,)"
      R"("MobileSuitable":true,"List":[1],"Big":1e5})"));
  const auto& tags = meta->GetTags();
  const std::vector<std::pair<std::string, TTypeKind>> rows = {
      {"Type", TTypeKind::tkString}, {"Id", TTypeKind::tkString},     {"Title", TTypeKind::tkString},
      {"Polygons", TTypeKind::tkInt64}, {"Ratio", TTypeKind::tkFloat}, {"MobileSuitable", TTypeKind::tkBoolean},
      {"Big", TTypeKind::tkFloat}};
  ASSERT_EQ(tags.Count(), static_cast<int>(rows.size()));
  for (const auto& [name, kind] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(meta->GetTag(name).Kind(), kind);
  }
  EXPECT_EQ(meta->GetTagAsInt("Polygons"), 1200);
  EXPECT_EQ(meta->GetPolygons(), 1200);
  EXPECT_TRUE(meta->GetMobileSuitable());
  EXPECT_EQ(meta->GetTitle(), "T");
  EXPECT_EQ(meta->GetTagAsFloat("Big"), 100000.0);
  EXPECT_EQ(meta->GetId(), "meta");
}

TEST_F(NodeDefs, MetaSetTagAcceptsOnlyPlainKinds) {
  auto meta = MakeOwned<TMetaDef>();
  meta->SetTagAsInt("n", 7);
  EXPECT_EQ(meta->GetTagAsString("n"), "7");
  try {
    meta->SetTag("r", TValue::From(rtl::TPoint3D{1, 2, 3}));
    FAIL() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(),
              "TMetaDef.SetTag(): invalid meta tag type - only string, int, float and bool allowed");
  }
  EXPECT_THROW(meta->SetTag("e", TValue()), Exception);
  EXPECT_EQ(meta->GetTags().Count(), 1);
  meta->SetTag("c", TValue::From(U'x'));
  meta->SetTag("i", TValue::From(int32_t(3)));
  meta->SetTag("f", TValue::From(1.5f));
  meta->SetTag("b", TValue::From(false));
  EXPECT_EQ(meta->GetTags().Count(), 5);
}

TEST_F(NodeDefs, MetaLargeIntegersAndExponentFloatsSurviveARoundTrip) {
  auto meta = MakeOwned<TMetaDef>();
  meta->SetTagAsInt("big", 5000000000LL);
  meta->SetTagAsFloat("huge", 1e20);
  meta->SetTagAsFloat("tiny", 1e-20);
  const std::string text = meta->ToJSON()->ToString();
  auto copy = MakeOwned<TMetaDef>();
  copy->FromJSON(nullptr, *ParseObject(text));
  EXPECT_EQ(copy->GetTag("big").AsInt64(), 5000000000LL) << text;
  EXPECT_EQ(copy->GetTagAsFloat("huge"), 1e20) << text;
  EXPECT_EQ(copy->GetTagAsFloat("tiny"), 1e-20) << text;
  // "Type" and "Id" come back as tags and are written again; from then on the text is stable.
  const std::string second = copy->ToJSON()->ToString();
  auto third = MakeOwned<TMetaDef>();
  third->FromJSON(nullptr, *ParseObject(second));
  EXPECT_EQ(third->ToJSON()->ToString(), second);
}

} // namespace
