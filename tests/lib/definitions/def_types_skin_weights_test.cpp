#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/ioutils.h"
#include "support/def_types_test.h"
#include "support/error_of.h"
#include "support/log_capture.h"
#include "support/model_lists.h"
#include "ui/bitmap.h"

namespace {

using namespace vantrel;

using vtest::ErrorOf;

// A skin "Skin1" of controller "C1" on an 8-vertex, 12-index mesh "Body", with joints A and B of
// one armature and A as skeleton root.
class DefSkinWeights : public vtest::TDefTypesTest {
protected:
  // A real model definition: the definitions look joints, nodes and controllers up through it.
  TModelDef FModel;
  TArmatureDef* FArmature = vtest::ListArmature(FModel, New<TArmatureDef>());
  TJointDef* FJointA = AddJoint("A");
  TJointDef* FJointB = AddJoint("B");
  TMeshDef* FMesh = AddMesh();
  TControllerDef* FController = AddController();
  TSkinDef* FSkin = FController->GetSkin();

  TJointDef* AddJoint(const std::string& AId) {
    auto* joint = New<TJointDef>(FArmature);
    joint->SetId(AId);
    if (!FArmature->GetRoot())
      FArmature->SetRoot(joint);
    else
      FArmature->GetRoot()->AddJoint(joint);
    return joint;
  }
  TMeshDef* AddMesh() {
    auto* mesh = New<TMeshDef>(&FModel);
    mesh->SetId("Body");
    FModel.AddChild(mesh);
    mesh->CreateVertexSource({ui::TVertexFormat::Vertex, ui::TVertexFormat::TexCoord0});
    ui::TVertexBuffer* vertices = mesh->GetVertexSource();
    vertices->SetLength(8);
    for (int i = 0; i < 8; ++i)
      vertices->SetVertices(i, {float(i & 1), float((i >> 1) & 1), float(i >> 2)});
    mesh->CreateIndexSource(ui::TIndexFormat::UInt16);
    mesh->GetIndexSource()->SetLength(12);
    return mesh;
  }
  TControllerDef* AddController() {
    auto* controller = vtest::ListController(FModel, New<TControllerDef>(FMesh));
    controller->SetId("C1");
    controller->SetSkin(New<TSkinDef>(controller));
    controller->GetSkin()->SetId("Skin1");
    controller->GetSkin()->AddSkeleton(New<TJointRefDef>(FJointA, controller, true));
    return controller;
  }
  TJointRefDef* Link(TJointDef* AJoint, std::vector<int32_t> AIndices, std::vector<float> AWeights) {
    TJointRefDef* jointRef = FSkin->LinkJoint(AJoint);
    jointRef->GetIndices() = std::move(AIndices);
    jointRef->GetWeights() = std::move(AWeights);
    return jointRef;
  }
  void MapVertices(std::initializer_list<std::pair<uint32_t, std::vector<uint32_t>>> APairs) {
    TVertexIndexMap map;
    for (const auto& [key, indices] : APairs)
      for (uint32_t index : indices)
        map.AddIndex(key, index);
    FMesh->AddVertexIndexMap(map, 0);
  }
};

TEST_F(DefSkinWeights, GenerateVertexJoints) {
  TOwned<TVertexJointsList> list(FSkin->GenerateVertexJoints(TMatrix3D::Identity()));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 8);
  EXPECT_EQ(list->GetController(), FController);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(list->GetItem(i).Position, FMesh->GetVertexSource()->GetVertices(i));
    EXPECT_EQ(list->GetItem(i).JointsCount, 0);
  }
  TOwned<TVertexJointsList> raised(FSkin->GenerateVertexJoints(TMatrix3D::CreateTranslation({0, 1, 0})));
  EXPECT_EQ(raised->GetItem(3).Position, (TPoint3D{1, 2, 0}));
  EXPECT_THROW(list->GetItem(8), ERangeError);
  EXPECT_THROW(list->GetItemPtr(-1), ERangeError);
  EXPECT_THROW(list->SetItem(8, list->GetItem(0)), ERangeError);

  TOwned<TMeshDef> noIndices(New<TMeshDef>());
  noIndices->CreateVertexSource({ui::TVertexFormat::Vertex});
  EXPECT_EQ(FSkin->GenerateVertexJoints(TMatrix3D::Identity(), noIndices.get()), nullptr);
  FController->SetTarget(&FModel);
  EXPECT_EQ(FSkin->GenerateVertexJoints(TMatrix3D::Identity()), nullptr);
  FController->SetTarget(nullptr);
  EXPECT_EQ(ErrorOf([&] { FSkin->GenerateVertexJoints(TMatrix3D::Identity()); }),
            "missing target definition in skin `Skin1`");
}

TEST_F(DefSkinWeights, VertexJointsKeepTheFirstWeightAndHoldSixteen) {
  TVertexJoints item = TVertexJoints::Create(0);
  item.Add(FJointA, 0.25f);
  item.Add(FJointA, 0.75f);
  EXPECT_EQ(item.JointsCount, 1);
  EXPECT_EQ(item.WeightsArray[0], 0.25f);
  std::vector<TOwned<TJointDef>> joints;
  for (int i = 0; i < 15; ++i) {
    joints.emplace_back(New<TJointDef>());
    item.Add(joints.back().get(), 0.01f);
  }
  EXPECT_EQ(item.JointsCount, 16);
  EXPECT_THROW(item.Add(FJointB, 0.5f), Exception);
  EXPECT_EQ(item.JointsCount, 16);
}

TEST_F(DefSkinWeights, ApplyVertexJointsRelation) {
  TJointRefDef* a = Link(FJointA, {0, 1}, {0.25f, 0.75f});
  TOwned<TVertexJointsList> list(FSkin->GenerateVertexJoints(TMatrix3D::Identity()));
  FSkin->ApplyVertexJointsRelation(list.get());
  FSkin->ApplyVertexJointsRelation(list.get());
  EXPECT_EQ(list->GetItem(0).JointsCount, 1);
  EXPECT_EQ(list->GetItem(1).WeightsArray[0], 0.75f);
  EXPECT_EQ(list->GetItem(1).JointsArray[0], FJointA);
  EXPECT_EQ(list->GetItem(2).JointsCount, 0);

  struct TCase {
    int32_t Index;
    const char* Message;
  };
  for (const TCase& c :
       {TCase{8, "TSkinDef.ApplyVertexJointsRelation - invalid index on TVertexJointsList (8 / 8"},
        TCase{-1, "TSkinDef.ApplyVertexJointsRelation - invalid index on TVertexJointsList (-1 / 8"}}) {
    SCOPED_TRACE(c.Index);
    a->GetIndices() = {2, c.Index};
    a->GetWeights() = {1, 1};
    EXPECT_EQ(ErrorOf([&] { FSkin->ApplyVertexJointsRelation(list.get()); }), c.Message);
    // What came before the bad index stays.
    EXPECT_EQ(list->GetItem(2).JointsCount, 1);
  }

  // Through the vertex-index map: 3 -> 5 and 9, index 7 unmapped.
  MapVertices({{3, {5, 9}}});
  a->GetIndices() = {3, 7};
  a->GetWeights() = {0.5f, 0.5f};
  TOwned<TVertexJointsList> mapped(New<TVertexJointsList>(FController, 12));
  FSkin->ApplyVertexJointsRelation(mapped.get());
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(mapped->GetItem(i).JointsCount, (i == 5 || i == 9) ? 1 : 0) << i;

  // A reference whose controller has no target is logged and ends the walk.
  TOwned<TControllerDef> orphan(New<TControllerDef>());
  TJointRefDef* lost = FSkin->LinkJoint(New<TJointRefDef>(FJointB, orphan.get(), false));
  lost->GetIndices() = {0};
  lost->GetWeights() = {1};
  // Linked after it, so never reached.
  TJointRefDef* late = FSkin->LinkJoint(New<TJointRefDef>(FJointA, FController, false));
  late->GetIndices() = {0};
  late->GetWeights() = {1};
  vtest::TLogCapture log;
  TOwned<TVertexJointsList> fresh(New<TVertexJointsList>(FController, 12));
  FSkin->ApplyVertexJointsRelation(fresh.get());
  EXPECT_EQ(log.Lines(), std::vector<std::string>{
                             "TSkinDef.ApplyVertexJointsRelation - target not set for reference-joint B"});
  EXPECT_EQ(fresh->GetItem(5).JointsCount, 1);
  EXPECT_EQ(fresh->GetItem(0).JointsCount, 0);
}

TEST_F(DefSkinWeights, NormalizeJointVertexWeights) {
  std::vector<int32_t> all{0, 1, 2, 3, 4, 5, 6, 7};
  TJointRefDef* a = Link(FJointA, all, std::vector<float>(8, 0.2f));
  TJointRefDef* b = Link(FJointB, all, std::vector<float>(8, 0.2f));
  FSkin->NormalizeJointVertexWeights(0);
  EXPECT_EQ(a->GetWeights(), std::vector<float>(8, 0.5f));
  EXPECT_EQ(b->GetWeights(), std::vector<float>(8, 0.5f));

  a->GetIndices() = {0, 2, 3, 4, 5, 6, 7};
  a->GetWeights() = std::vector<float>(7, 0.5f);
  b->GetIndices() = {0, 2, 3, 4, 5, 6, 7};
  b->GetWeights() = std::vector<float>(7, 0.5f);
  EXPECT_EQ(ErrorOf([&] { FSkin->NormalizeJointVertexWeights(0); }),
            "TSkinDef.NormalizeJointVertexWeights: failed to normalize weights for vertex 1");

  // Weights that cancel out are refused without being divided by their zero sum.
  a->GetIndices() = all;
  a->GetWeights() = std::vector<float>(8, 0.5f);
  b->GetIndices() = all;
  b->GetWeights() = std::vector<float>(8, 1.0f);
  b->GetWeights()[0] = -0.5f;
  EXPECT_EQ(ErrorOf([&] { FSkin->NormalizeJointVertexWeights(0); }),
            "TSkinDef.NormalizeJointVertexWeights: failed to normalize weights for vertex 0");
  EXPECT_EQ(a->GetWeights()[0], 0.5f);
  EXPECT_EQ(b->GetWeights()[0], -0.5f);
}

TEST_F(DefSkinWeights, CheckMeshVerticesToBeAttachedCorrectly) {
  vtest::TLogCapture log;
  {
    SCOPED_TRACE("codes 4, 5 and 6");
    EXPECT_EQ(FSkin->CheckMeshVerticesToBeAttachedCorrectly(0), 6);
    TOwned<TSkinDef> bare(New<TSkinDef>(FController));
    EXPECT_EQ(bare->CheckMeshVerticesToBeAttachedCorrectly(0), 5);
    FController->SetTarget(&FModel);
    EXPECT_EQ(FSkin->CheckMeshVerticesToBeAttachedCorrectly(0), 4);
    FController->SetTarget(nullptr);
    EXPECT_EQ(FSkin->CheckMeshVerticesToBeAttachedCorrectly(0), 0);
    FController->SetTarget(FMesh);
  }
  // An invalid first vertex fails the mesh although the last one is valid.
  std::vector<int32_t> all{0, 1, 2, 3, 4, 5, 6, 7};
  std::vector<float> weights(8, 1.0f);
  weights[0] = 0.4f;
  TJointRefDef* a = Link(FJointA, all, weights);
  EXPECT_EQ(FSkin->CheckMeshVerticesToBeAttachedCorrectly(0), 2);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"vertex #0 - invalid weight = 0.40 (error = 2)"});
  a->GetWeights()[0] = 1;
  log.Clear();
  EXPECT_EQ(FSkin->CheckMeshVerticesToBeAttachedCorrectly(0), 0);
  EXPECT_TRUE(log.Lines().empty());

  // With a map: vertices no entry names are unattached; an index beyond the mesh is skipped.
  MapVertices({{0, {0, 1, 2, 3}}, {1, {4, 5, 6, 99}}});
  EXPECT_EQ(FSkin->CheckMeshVerticesToBeAttachedCorrectly(0), 1);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"vertex #7 - not attached to any joint (error = 1)"});
}

TEST_F(DefSkinWeights, DrawJointWeightsSaturates) {
  ui::TVertexBuffer* vertices = FMesh->GetVertexSource();
  vertices->SetTexCoord(0, 2, {0.5f, 0.5f});
  vertices->SetTexCoord(0, 3, {0.5f, 0.5f});
  TJointRefDef* a = Link(FJointA, {2, 3, 40}, {0.8f, 0.8f, 1});
  TOwned<ui::TBitmap> bitmap(New<ui::TBitmap>(16, 16));
  FSkin->DrawJointWeights(a, bitmap.get());
  ui::TBitmapData data;
  ASSERT_TRUE(bitmap->Map(ui::TMapAccess::Read, data));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(data.GetPixel(x, y), (x == 8 && y == 8) ? 0xFFFF0000u : 0xFF000000u) << x << "," << y;
  bitmap->Unmap(data);
}

TEST_F(DefSkinWeights, SaveJointWeightMapsNamesFilesInsideTheFolder) {
  Link(FJointA, {0}, {1});
  Link(FJointB, {1}, {1})->SetId("../x");
  const std::string folder = TPath::Combine(TPath::GetTempPath(), TPath::GetRandomFileName());
  TDirectory::CreateDirectory(folder);
  FSkin->SaveJointWeightMaps(folder, 64);
  for (const char* name : {"A.jpg", ".._x.jpg"}) {
    SCOPED_TRACE(name);
    const std::string fileName = TPath::Combine(folder, name);
    SDL_Surface* picture = IMG_Load(fileName.c_str());
    ASSERT_NE(picture, nullptr) << IMG_GetError();
    EXPECT_EQ(picture->w, 256);
    EXPECT_EQ(picture->h, 256);
    SDL_FreeSurface(picture);
  }
  EXPECT_FALSE(std::filesystem::exists(TPath::Combine(TPath::GetTempPath(), "x.jpg")));
  std::filesystem::remove_all(folder);
}

} // namespace
