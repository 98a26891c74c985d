#include <gtest/gtest.h>

#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "gl/names.h"
#include "rtl/exceptions.h"
#include "rtl/form_text.h"
#include "scene/Vantrel.Cube.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Segment.h"

namespace meshtest {

// Counts the rebuilds that reach the override, the one in the constructor included.
class TCountingCube : public vantrel::TVantrelCube {
  RTL_CLASS(TCountingCube, vantrel::TVantrelCube)
public:
  using TVantrelCube::TVantrelCube;
  void RebuildMesh(bool AIsStatic) override {
    ++Rebuilds;
    TVantrelCube::RebuildMesh(AIsStatic);
  }
  int Rebuilds = 0;
};
RTL_DEFINE_CLASS(TCountingCube, "Test.Mesh")

} // namespace meshtest

namespace {

using namespace vantrel;

class MeshTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeDefTypes();
    InitializeControl();
    InitializeTransform();
    InitializeGroup();
    InitializeSegment();
    InitializeMesh();
    InitializeCube();
  }
  void TearDown() override {
    FinalizeCube();
    FinalizeMesh();
    FinalizeSegment();
    FinalizeGroup();
    FinalizeTransform();
    FinalizeControl();
    FinalizeDefTypes();
  }

  // A definition of the unit square's two triangles at height AZ, wound for a cast from +z.
  static TMeshDef* QuadDef(const std::string& AId, float AZ, TCustomDef* AOwner = nullptr) {
    auto* def = New<TMeshDef>(AOwner);
    def->SetId(AId);
    def->AddPolygon(T3DPolygon{{0, 0, AZ}, {0, 1, AZ}, {1, 1, AZ}, {1, 0, AZ}});
    def->BoundingBoxChanged();
    return def;
  }
};

// ---- the cube ----

TEST_F(MeshTest, CubeGeometryTable) {
  struct TCase {
    int32_t W, H, D;
    int32_t Vertices, Indices;
  };
  for (const TCase& test : {TCase{1, 1, 1, 24, 36}, TCase{2, 3, 4, 208, 312}}) {
    SCOPED_TRACE(test.Vertices);
    auto cube = MakeOwned<TVantrelCube>(nullptr);
    cube->SetSubdivisionsWidth(test.W);
    cube->SetSubdivisionsHeight(test.H);
    cube->SetSubdivisionsDepth(test.D);
    auto* def = dynamic_cast<TMeshDef*>(cube->Def());
    ASSERT_NE(def, nullptr);
    EXPECT_TRUE(def->GetIsStatic());
    const TVertexBuffer& vertices = *def->GetVertexSource();
    const TIndexBuffer& indices = *def->GetIndexSource();
    EXPECT_EQ(vertices.Length(), test.Vertices);
    EXPECT_EQ(indices.Length(), test.Indices);
    EXPECT_EQ(indices.Format(), TIndexFormat::UInt32);
    EXPECT_EQ(cube->GetMeshData()->VertexBuffer().Length(), 0);
    EXPECT_EQ(cube->GetMeshData()->IndexBuffer().Length(), 0);
    const uint32_t first[6] = {0, 2, 1, 0, 3, 2};
    for (int32_t k = 0; k < 6; ++k)
      EXPECT_EQ(indices.GetIndices(k), first[k]);
    // Quads 0-1 are bottom quads of the first row, 2-3 top quads (for W = 2).
    EXPECT_EQ(vertices.GetNormals(0), (TPoint3D{0, -1, 0}));
    if (test.W == 2) {
      EXPECT_EQ(vertices.GetNormals(4), (TPoint3D{0, -1, 0}));
      EXPECT_EQ(vertices.GetNormals(8), (TPoint3D{0, 1, 0}));
    }
    // Faces in the order bottom, top, front, back, right, left, by their colours.
    std::vector<TAlphaColor> colours;
    for (int32_t v = 0; v < vertices.Length(); v += 4)
      if (colours.empty() || colours.back() != vertices.GetColor(0, v))
        colours.push_back(vertices.GetColor(0, v));
    if (test.W == 1)
      EXPECT_EQ(colours, (std::vector<TAlphaColor>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF00FFFF, 0xFFFF00FF,
                                                   0xFFFFFF00}));
    const std::map<TAlphaColor, std::pair<TPoint3D, TPoint3D>> frames = {
        {0xFFFF0000, {{1, 0, 0}, {0, 0, -1}}}, {0xFF00FF00, {{1, 0, 0}, {0, 0, 1}}},
        {0xFF0000FF, {{-1, 0, 0}, {0, 1, 0}}}, {0xFF00FFFF, {{1, 0, 0}, {0, 1, 0}}},
        {0xFFFF00FF, {{0, 0, 1}, {0, 1, 0}}},  {0xFFFFFF00, {{0, 0, -1}, {0, 1, 0}}}};
    for (int32_t v = 0; v < vertices.Length(); ++v) {
      const TPointF uv = vertices.GetTexCoord(0, v);
      ASSERT_TRUE(uv.X >= 0 && uv.X <= 1 && uv.Y >= 0 && uv.Y <= 1) << v;
      const auto& frame = frames.at(vertices.GetColor(0, v));
      const TPoint3D t = vertices.GetTangents(v), b = vertices.GetBiNormals(v);
      ASSERT_NEAR((t - frame.first).Length(), 0, 1e-4f) << v;
      ASSERT_NEAR((b - frame.second).Length(), 0, 1e-4f) << v;
    }
    for (int32_t i = 0; i < indices.Length(); i += 3) {
      const TPoint3D p0 = vertices.GetVertices(int32_t(indices.GetIndices(i)));
      const TPoint3D p1 = vertices.GetVertices(int32_t(indices.GetIndices(i + 1)));
      const TPoint3D p2 = vertices.GetVertices(int32_t(indices.GetIndices(i + 2)));
      const TPoint3D cross = (p1 - p0).CrossProduct(p2 - p0);
      ASSERT_LT(cross.DotProduct(vertices.GetNormals(int32_t(indices.GetIndices(i)))), 0) << i;
    }
  }
}

TEST_F(MeshTest, CubeCountsClampAndRebuildInTheConstructor) {
  auto cube = MakeOwned<meshtest::TCountingCube>(nullptr);
  EXPECT_EQ(cube->Rebuilds, 1);
  cube->SetSubdivisionsDepth(-5);
  EXPECT_EQ(cube->SubdivisionsDepth(), 1);
  EXPECT_EQ(cube->Rebuilds, 2); // compared before the clamp: -5 differs from 1
  cube->SetSubdivisionsDepth(1);
  EXPECT_EQ(cube->Rebuilds, 2);
  // Without a context the static build waits for the first draw (a GL test of this program may
  // have left the context current, and then it was built at once).
  auto* def = dynamic_cast<TMeshDef*>(cube->Def());
  EXPECT_TRUE(def->GetIsStatic());
  if (!gl::IsContextCurrent())
    EXPECT_TRUE(def->IsBuildPending());
  EXPECT_TRUE(cube->OwnsDefinition());
  // RebuildMesh(false) leaves the definition alone and the geometry in the mesh data.
  const TVertexBuffer* before = def->GetVertexSource();
  cube->RebuildMesh(false);
  EXPECT_EQ(def->GetVertexSource(), before);
  EXPECT_EQ(cube->GetMeshData()->VertexBuffer().Length(), 24);
}

// ---- the mesh ----

TEST_F(MeshTest, NewMeshDefaultsAndCopyNames) {
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  const TVertexBuffer& buffer = mesh->GetMeshData()->VertexBuffer();
  EXPECT_EQ(buffer.VertexSize(), 72);
  const std::pair<TVertexFormat, int32_t> offsets[] = {{TVertexFormat::Vertex, 0},    {TVertexFormat::Normal, 12},
                                                       {TVertexFormat::TexCoord0, 24}, {TVertexFormat::BiNormal, 32},
                                                       {TVertexFormat::Tangent, 44},   {TVertexFormat::ColorF0, 56}};
  for (const auto& [format, offset] : offsets)
    EXPECT_EQ(buffer.OffsetOf(format), offset);
  EXPECT_EQ(mesh->WrapMode(), TMeshWrapMode::Original);
  EXPECT_EQ(mesh->NormalsColor(), 0xFFFF0000u);
  EXPECT_TRUE(mesh->Meshes().empty());

  TOwned<TMeshDef> def(QuadDef("Quad", 0));
  auto first = MakeOwned<TVantrelMesh>(nullptr);
  first->LoadFromDefinition(def.get());
  auto second = MakeOwned<TVantrelMesh>(nullptr);
  second->LoadFromDefinition(def.get());
  EXPECT_EQ(first->Name(), "Quad");
  EXPECT_EQ(second->Name(), "Quad_Copy1");
  EXPECT_EQ(second->GetMeshData()->VertexBuffer().Length(), 6);
  // The test owns the definition here.
  first->SetDef(nullptr);
  second->SetDef(nullptr);
}

TEST_F(MeshTest, OpacityStaticSwitchAndWrapModes) {
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  mesh->SetOpacityValue(1.5f);
  EXPECT_TRUE(mesh->Opaque());
  EXPECT_EQ(mesh->Opacity(), 1);
  mesh->SetOpacityValue(0.5f);
  EXPECT_FALSE(mesh->Opaque());
  EXPECT_EQ(mesh->Opacity(), 0.5f);

  mesh->LoadFromDefinition(QuadDef("static", 0));
  mesh->SetIsStatic(true);
  EXPECT_EQ(mesh->GetMeshData()->VertexBuffer().Length(), 0);
  mesh->SetIsStatic(false);
  EXPECT_EQ(mesh->GetMeshData()->VertexBuffer().Length(), 6);

  // A definition without indices stays non-static, and the mesh keeps its data.
  auto bare = MakeOwned<TVantrelMesh>(nullptr);
  auto* noIndices = New<TMeshDef>();
  noIndices->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
  noIndices->GetVertexSource()->SetLength(3);
  bare->LoadFromDefinition(noIndices);
  bare->SetIsStatic(true);
  EXPECT_EQ(bare->GetMeshData()->VertexBuffer().Length(), 3);

  // Stretch of a 2 x 1 x 4 box into the unit size.
  auto stretched = MakeOwned<TVantrelMesh>(nullptr);
  auto* box = New<TMeshDef>();
  box->AddPolygon(T3DPolygon{{0, 0, 0}, {2, 0, 0}, {2, 1, 4}});
  stretched->LoadFromDefinition(box);
  stretched->SetWrapMode(TMeshWrapMode::Stretch);
  const TMatrix3D matrix = stretched->GetMeshMatrix();
  EXPECT_FLOAT_EQ(matrix.m11, 0.5f);
  EXPECT_FLOAT_EQ(matrix.m22, 1);
  EXPECT_FLOAT_EQ(matrix.m33, 0.25f);
  // An axis of 0.00005 keeps scale 1.
  auto* thin = New<TMeshDef>();
  thin->AddPolygon(T3DPolygon{{0, 0, 0}, {2, 0, 0}, {2, 0.00005f, 4}});
  auto flat = MakeOwned<TVantrelMesh>(nullptr);
  flat->LoadFromDefinition(thin);
  flat->SetWrapMode(TMeshWrapMode::Stretch);
  EXPECT_FLOAT_EQ(flat->GetMeshMatrix().m22, 1);
  flat->SetWrapMode(TMeshWrapMode::Fit);
  EXPECT_FLOAT_EQ(flat->GetMeshMatrix().m11, 0.25f); // the depth 4 decides
}

TEST_F(MeshTest, RayCastsTakeTheNearestHit) {
  auto* parentDef = QuadDef("parent", -3);
  parentDef->AddMesh(QuadDef("near", 0, parentDef));
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  mesh->LoadFromDefinition(parentDef);
  ASSERT_EQ(mesh->Meshes().size(), 1u);
  mesh->Meshes()[0]->SetHitTest(true);
  TPoint3D point, normal;
  ASSERT_TRUE(mesh->RayCastIntersect(TPoint3D{0.6f, 0.3f, 5}, TPoint3D{0, 0, -1}, point, normal));
  EXPECT_NEAR(point.Z, 0, 1e-5f);
  EXPECT_FALSE(mesh->RayCastIntersect(TPoint3D{9, 9, 5}, TPoint3D{0, 0, -1}, point, normal));
  EXPECT_EQ(point, (TPoint3D{}));
  EXPECT_EQ(normal, (TPoint3D{0, -1, 0}));

  // Without a definition the mesh data's hit must not replace a nearer sub-mesh hit.
  auto parent = MakeOwned<TVantrelMesh>(nullptr);
  TVertexBuffer& vertices = parent->GetMeshData()->VertexBuffer();
  vertices.SetLength(3);
  vertices.SetVertices(0, {-5, -5, -3});
  vertices.SetVertices(1, {5, -5, -3});
  vertices.SetVertices(2, {0, 5, -3});
  parent->GetMeshData()->IndexBuffer().SetLength(3);
  parent->GetMeshData()->IndexBuffer().SetIndices(1, 1);
  parent->GetMeshData()->IndexBuffer().SetIndices(2, 2);
  parent->GetMeshData()->BoundingBoxChanged();
  auto* child = New<TVantrelMesh>(parent.get());
  child->SetParent(parent.get());
  child->SetHitTest(true);
  child->LoadFromDefinition(QuadDef("child", 0));
  ASSERT_TRUE(parent->RayCastIntersect(TPoint3D{0.6f, 0.3f, 5}, TPoint3D{0, 0, -1}, point, normal));
  EXPECT_NEAR(point.Z, 0, 1e-5f);
}

TEST_F(MeshTest, EditsAndDestructionOrders) {
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  mesh->LoadFromDefinition(QuadDef("edit", 0));
  std::map<uint32_t, TVertexData> vertices;
  vertices[6].Position = {1, 1, 1};
  try {
    mesh->SetVertices(vertices);
    ADD_FAILURE();
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "failed to set vertices in mesh - invalid index");
  }
  mesh->SetCoordinates(std::vector<TPoint3D>(40, TPoint3D{2, 2, 2}));
  EXPECT_EQ(mesh->GetCoordinates().at(5), (TPoint3D{2, 2, 2}));

  // A modelless mesh with sub-meshes, freed whole or sub-mesh first; child definitions belong to
  // their owner's children and are freed once.
  for (const bool subFirst : {false, true}) {
    auto* def = QuadDef("root", 0);
    def->AddMesh(QuadDef("a", 1, def));
    def->AddMesh(QuadDef("b", 2, def));
    auto root = MakeOwned<TVantrelMesh>(nullptr);
    root->LoadFromDefinition(def);
    ASSERT_EQ(root->Meshes().size(), 2u);
    EXPECT_TRUE(root->OwnsDefinition());
    EXPECT_FALSE(root->Meshes()[0]->OwnsDefinition());
    if (subFirst) {
      root->Meshes()[0]->Free();
      EXPECT_EQ(root->Meshes().size(), 1u);
    }
    root.reset();
  }

  // A copy carries the source's mesh data.
  auto original = MakeOwned<TVantrelMesh>(nullptr);
  original->LoadFromDefinition(QuadDef("original", 0));
  TOwned<TComponent> duplicate(original->Duplicate(nullptr, false));
  EXPECT_EQ(CheckedCast<TVantrelMesh>(duplicate.get())->GetMeshData()->VertexBuffer().Length(), 6);
  duplicate.reset();

  // A duplicated cube freed before or after its source.
  for (const bool sourceFirst : {false, true}) {
    auto source = MakeOwned<TVantrelCube>(nullptr);
    TOwned<TComponent> copy(source->Duplicate(nullptr, false));
    if (sourceFirst)
      source.reset();
    copy.reset();
  }
}

TEST_F(MeshTest, SubMeshesDrawTheirParentsInstancesInTheParentsFrame) {
  auto parent = MakeOwned<TVantrelMesh>(nullptr);
  auto* child = New<TVantrelMesh>(parent.get());
  child->SetParent(parent.get());
  child->Position()->SetPoint({1, 0, 0});
  const TMatrix3D turned = TQuaternion3D::Create({0, 1, 0}, f32(std::numbers::pi)).ToMatrix() *
                           TMatrix3D::CreateTranslation({5, 0, 0});
  parent->AddInstance(turned);
  EXPECT_TRUE(child->Instances().IsInherited());
  const TMatrix3D draw = child->GetMeshMatrix() * child->AbsoluteMatrix();
  const std::vector<TMatrix3D> upload = child->InstanceMatrices(draw);
  ASSERT_EQ(upload.size(), 2u);
  const TPoint3D origin = TPoint3D{0, 0, 0} * upload[1];
  EXPECT_NEAR(origin.X, 4, 1e-5f);
  EXPECT_NEAR(origin.Y, 0, 1e-5f);
  EXPECT_NEAR(origin.Z, 0, 1e-5f);
}

TEST_F(MeshTest, VertexGroupsOutliveOrPrecedeTheirParent) {
  for (const bool groupFirst : {false, true}) {
    auto* def = QuadDef("parent", 0);
    auto* group = New<TVertexGroupDef>(def);
    group->SetId("g");
    group->AddIndices(std::vector<uint32_t>{0, 1, 2}, 0, 3, 0);
    def->AddMesh(group);
    auto parent = MakeOwned<TVantrelMesh>(nullptr);
    parent->LoadFromDefinition(def);
    ASSERT_EQ(parent->Meshes().size(), 1u);
    TVantrelMesh* groupMesh = parent->Meshes()[0];
    EXPECT_EQ(groupMesh->GetMeshData()->VertexBuffer().Length(), 6);
    EXPECT_EQ(groupMesh->GetMeshData()->IndexBuffer().Length(), 3);
    if (groupFirst) {
      groupMesh->Free();
      EXPECT_EQ(parent->GetMeshData()->VertexBuffer().Length(), 6);
    }
    parent.reset();
  }
}

TEST_F(MeshTest, SegmentsBuildMeshChildren) {
  auto def = MakeOwned<TSegmentDef>();
  def->SetId("segment");
  auto* mesh = QuadDef("part", 0, def.get());
  def->AddChild(mesh);
  auto* group = New<TVertexGroupDef>(mesh);
  group->AddIndices(std::vector<uint32_t>{0, 1, 2}, 0, 3, 0);
  mesh->AddMesh(group);
  auto segment = MakeOwned<TVantrelSegment>(nullptr);
  segment->LoadFromDefinition(def.get());
  ASSERT_EQ(segment->ChildrenCount(), 1);
  auto* child = dynamic_cast<TVantrelMesh*>(segment->Children()[0]);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->GetMeshData()->VertexBuffer().Length(), 6);
  ASSERT_EQ(child->Meshes().size(), 1u);
  EXPECT_NE(dynamic_cast<TVantrelVertexGroup*>(child->Meshes()[0]), nullptr);
}

TEST_F(MeshTest, AStaticDefinitionGivesTheMeshDataItsFormats) {
  auto* def = New<TMeshDef>();
  def->SetVertexFormat({TVertexFormat::Vertex, TVertexFormat::Color0});
  def->CreateIndexSource(TIndexFormat::UInt32);
  def->AddPolygon(T3DPolygon{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  def->SetIsStatic(true);
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  mesh->LoadFromDefinition(def);
  const TMeshData& data = *mesh->GetMeshData();
  EXPECT_EQ(data.VertexBuffer().Format(), def->GetVertexSource()->Format());
  EXPECT_EQ(data.VertexBuffer().Length(), 0);
  EXPECT_EQ(data.IndexBuffer().Format(), TIndexFormat::UInt32);
  EXPECT_EQ(data.IndexBuffer().IndexSize(), 4);
}

TEST_F(MeshTest, DeepSearchesFindMeshesByTheirReferencedName) {
  auto root = MakeOwned<TVantrelTransform>(nullptr);
  auto* mesh = New<TVantrelMesh>(root.get());
  mesh->SetParent(root.get());
  mesh->SetQualifiedName("key");
  mesh->SetReferencedName("ref");
  TVantrelControl::TSearchResult result;
  root->FindControlsByDeepSearch("ref", &result);
  ASSERT_EQ(result.Count(), 1);
  EXPECT_TRUE(result.Items(static_cast<TComponent*>(mesh)));
  result.Clear();
  root->FindControlsByDeepSearch("key", &result);
  EXPECT_FALSE(result.Items(static_cast<TComponent*>(mesh)));
}

TEST_F(MeshTest, BareInstanceMatrices) {
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  EXPECT_EQ(mesh->Instances().CachedInstancesCount(), 1);
  EXPECT_EQ(mesh->AddInstance(TMatrix3D::CreateTranslation({1, 0, 0})), 1);
  EXPECT_EQ(mesh->AddInstance(TMatrix3D::CreateTranslation({2, 0, 0})), 2);
  EXPECT_TRUE(mesh->DeleteInstance(1));
  EXPECT_EQ(mesh->GetInstance(1), TMatrix3D::CreateTranslation({2, 0, 0}));
  EXPECT_FALSE(mesh->DeleteInstance(5));
  try {
    mesh->GetInstance(9);
    ADD_FAILURE();
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "failed to get instance transformation - invalid instance index");
  }
  try {
    mesh->SetInstance(9, {});
    ADD_FAILURE();
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "failed to set instance transformation - invalid instance index");
  }
  mesh->ClearInstances();
  EXPECT_EQ(mesh->Instances().CachedInstancesCount(), 1);
}

} // namespace

namespace {

void ExpectPoint(const TPoint3D& AActual, const TPoint3D& AExpected, float ATolerance = 1e-4f) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
}

TPoint3D Origin(const TMatrix3D& AMatrix) {
  return TPoint3D{0, 0, 0} * AMatrix;
}

// The cache follows the items: entry 0 the identity, then each item's matrix in order.
TEST_F(MeshTest, InstanceItemsKeepTheCache) {
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  TVantrelMeshInstances& instances = mesh->Instances();
  EXPECT_EQ(instances.ToArray().size(), 1u); // never changed: the single identity entry
  EXPECT_EQ(instances.ToArray()[0], TMatrix3D::Identity());

  TVantrelMeshInstance* first = mesh->AddInstanceItem("a");
  TVantrelMeshInstance* second = mesh->AddInstanceItem("b");
  first->Position()->SetPoint({1, 0, 0});
  second->Position()->SetPoint({0, 2, 0});
  second->Scale()->SetX(3);
  ASSERT_EQ(instances.CachedInstancesCount(), 3);
  ExpectPoint(Origin(instances.GetInstance(1)), {1, 0, 0});
  EXPECT_EQ(instances.GetInstance(2), TMatrix3D::CreateScaling({3, 1, 1}) * TMatrix3D::CreateTranslation({0, 2, 0}));

  // Deleting the first leaves the identity and the second item's matrix.
  EXPECT_FALSE(mesh->DeleteInstance(2));
  EXPECT_TRUE(mesh->DeleteInstance(0));
  ASSERT_EQ(instances.CachedInstancesCount(), 2);
  EXPECT_EQ(instances.GetInstance(0), TMatrix3D::Identity());
  EXPECT_EQ(instances.GetInstance(1), second->Transform());
  EXPECT_EQ(instances.Item(0)->GetDisplayName(), "b");

  // An item added with a transform takes its parts without running the handlers.
  const TMatrix3D placed = TMatrix3D::CreateScaling({2, 2, 2}) * TMatrix3D::CreateTranslation({4, 5, 6});
  EXPECT_EQ(mesh->AddInstanceItem("c", placed), 1);
  ExpectPoint(instances.Item(1)->Position()->Point(), {4, 5, 6});
  ExpectPoint(instances.Item(1)->Scale()->Point(), {2, 2, 2});
  EXPECT_EQ(instances.GetInstance(2), placed);

  mesh->ClearInstances();
  EXPECT_EQ(instances.Count(), 0);
  EXPECT_EQ(instances.CachedInstancesCount(), 1);
}

TEST_F(MeshTest, InstanceRotationHandlers) {
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  // Y from 0 to 370: a 10 degree turn, 370 remembered, the angle rewritten as 10.
  TVantrelMeshInstance* item = mesh->AddInstanceItem("turned");
  item->RotationAngle()->SetY(370);
  EXPECT_FLOAT_EQ(item->RotationAngle()->Y(), 10);
  EXPECT_FLOAT_EQ(item->SavedRotationAngle().Y, 370);
  const TQuaternion3D expected = TQuaternion3D::Create({0, 1, 0}, f32(10 * std::numbers::pi / 180));
  EXPECT_NEAR(item->Quaternion().RealPart, expected.RealPart, 1e-6f);
  EXPECT_NEAR(item->Quaternion().ImagPart.Y, expected.ImagPart.Y, 1e-6f);
  ExpectPoint(TPoint3D{1, 0, 0} * mesh->GetInstance(1),
              TPoint3D{1, 0, 0} * TQuaternion3D::Create({0, 1, 0}, f32(10 * std::numbers::pi / 180)).ToMatrix());

  // A rotation about the centre (1, 0, 0) by 180 degrees about Z moves the origin to (2, 0, 0).
  TVantrelMeshInstance* centred = mesh->AddInstanceItem("centred");
  centred->RotationCenter()->SetPoint({1, 0, 0});
  centred->RotationAngle()->SetPoint({0, 0, 180});
  ExpectPoint(Origin(mesh->GetInstance(2)), {2, 0, 0});
  // The whole-point handler: -90 on X turns by 270 and reads back as 270.
  centred->RotationAngle()->SetPoint({-90, 0, 180});
  EXPECT_FLOAT_EQ(centred->RotationAngle()->X(), 270);
  EXPECT_FLOAT_EQ(centred->SavedRotationAngle().X, -90);

  // Back to zero angles: no rotation at all, whatever the quaternion held.
  centred->ResetRotationAngle();
  ExpectPoint(Origin(mesh->GetInstance(2)), {0, 0, 0});
  EXPECT_EQ(centred->Quaternion(), TQuaternion3D::Identity());
  EXPECT_EQ(centred->RotationAngle()->Point(), (TPoint3D{0, 0, 0}));

  // Assigning copies the state into another item, whose cache entry follows.
  TVantrelMeshInstance* copy = mesh->AddInstanceItem("copy");
  copy->Assign(item);
  EXPECT_EQ(copy->Transform(), item->Transform());
  EXPECT_EQ(copy->Quaternion(), item->Quaternion());
  EXPECT_FLOAT_EQ(copy->SavedRotationAngle().Y, 370);
}

// Items in the parent's collection place the sub-mesh in the parent's frame.
TEST_F(MeshTest, SubMeshesFollowTheirParentsInstanceItems) {
  auto parent = MakeOwned<TVantrelMesh>(nullptr);
  auto* child = New<TVantrelMesh>(parent.get());
  child->SetParent(parent.get());
  child->Position()->SetPoint({1, 0, 0});
  TVantrelMeshInstance* item = parent->AddInstanceItem("turned");
  item->Position()->SetPoint({5, 0, 0});
  item->RotationAngle()->SetY(180);
  EXPECT_TRUE(child->Instances().IsInherited());
  const std::vector<TMatrix3D> upload = child->InstanceMatrices(child->GetMeshMatrix() * child->AbsoluteMatrix());
  ASSERT_EQ(upload.size(), 2u);
  ExpectPoint(Origin(upload[1]), {4, 0, 0});
}

// Items go into the definition's instance list and come back from it; a form streams them.
TEST_F(MeshTest, InstanceItemsRoundTripThroughDefinitionsAndForms) {
  auto mesh = MakeOwned<TVantrelMesh>(nullptr);
  mesh->LoadFromDefinition(QuadDef("quad", 0));
  TVantrelMeshInstance* item = mesh->AddInstanceItem("one");
  item->Position()->SetPoint({1, 2, 3});
  item->Scale()->SetPoint({2, 2, 2});
  item->RotationCenter()->SetPoint({0, 1, 0});
  item->RotationAngle()->SetPoint({0, 90, 0});
  mesh->AddInstanceItem("two")->Position()->SetX(-4);

  auto def = MakeOwned<TMeshDef>();
  mesh->StoreToDefinition(def.get());
  ASSERT_EQ(def->GetInstances().Count(), 2);
  const TMeshInstanceDef* stored = def->GetInstances()[0];
  EXPECT_EQ(stored->GetId(), "one");
  EXPECT_EQ(stored->GetMeshRef(), def.get());
  EXPECT_EQ(stored->Position, (TPoint3D{1, 2, 3}));
  EXPECT_EQ(stored->Scale, (TPoint3D{2, 2, 2}));
  EXPECT_EQ(stored->RotationAngle, (TPoint3D{0, 90, 0}));
  EXPECT_EQ(stored->RotationCenter, (TPoint3D{0, 1, 0}));

  auto copy = MakeOwned<TVantrelMesh>(nullptr);
  copy->ApplyDefinitionProperties(def.get());
  ASSERT_EQ(copy->Instances().Count(), 2);
  EXPECT_EQ(copy->Instances().Item(1)->GetDisplayName(), "two");
  for (int32_t i = 1; i <= 2; ++i) {
    SCOPED_TRACE(i);
    const TMatrix3D expected = mesh->GetInstance(i), actual = copy->GetInstance(i);
    ExpectPoint(TPoint3D{1, 1, 1} * actual, TPoint3D{1, 1, 1} * expected);
    ExpectPoint(Origin(actual), Origin(expected));
  }

  auto cube = MakeOwned<TVantrelCube>(nullptr);
  cube->AddInstanceItem("one")->Position()->SetPoint({1, 2, 3});
  const std::string text = rtl::WriteComponentToText(cube.get());
  EXPECT_NE(text.find("DisplayName = 'one'"), std::string::npos) << text;
  // The read-only lists are not stored.
  EXPECT_EQ(text.find("Materials"), std::string::npos) << text;
  EXPECT_EQ(text.find("MeshCollection"), std::string::npos) << text;
  auto read = MakeOwned<TVantrelCube>(nullptr);
  rtl::ReadComponentFromText(text, read.get());
  ASSERT_EQ(read->Instances().Count(), 1);
  ExpectPoint(Origin(read->GetInstance(1)), {1, 2, 3});
}

// A form stores FrustumCullingCheck and an empty Instances collection.
TEST_F(MeshTest, FrustumCullingCheckAndEmptyInstancesStream) {
  auto cube = MakeOwned<TVantrelCube>(nullptr);
  rtl::ReadComponentFromText("object Cube1: TVantrelCube\n"
                             "  FrustumCullingCheck = False\n"
                             "  Instances = <>\n"
                             "end\n",
                             cube.get());
  EXPECT_FALSE(cube->FrustumCullingCheck());
  const std::string text = rtl::WriteComponentToText(cube.get());
  EXPECT_NE(text.find("FrustumCullingCheck = False\n  Instances = <>\nend"), std::string::npos) << text;
}

} // namespace
