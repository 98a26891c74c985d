#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"
#include "utils/Vantrel.Utils.BVH.h"

namespace {

using namespace vantrel;

template <class F> std::string MessageOf(F&& AAction) {
  try {
    AAction();
  } catch (const Exception& error) {
    return error.Message();
  }
  return "(none)";
}

void ExpectNear(const TPoint3D& AActual, const TPoint3D& AExpected, float ATolerance = 1e-5f) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
}

class MeshGeometry : public ::testing::Test {
protected:
  void SetUp() override { InitializeDefTypes(); }
  void TearDown() override { FinalizeDefTypes(); }
};

// A mesh of triangles given by their corners, each with its own three vertices.
TOwned<TMeshDef> TriangleMesh(const std::vector<std::array<TPoint3D, 3>>& ATriangles) {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->CreateVertexSource(TCustomMeshDef::DefaultVertexFormat());
  mesh->CreateIndexSource(TIndexFormat::UInt32);
  TVertexBuffer& vertices = *mesh->GetVertexSource();
  TIndexBuffer& indices = *mesh->GetIndexSource();
  vertices.SetLength(int32_t(3 * ATriangles.size()));
  indices.SetLength(int32_t(3 * ATriangles.size()));
  for (size_t t = 0; t < ATriangles.size(); ++t)
    for (size_t c = 0; c < 3; ++c) {
      vertices.SetVertices(int32_t(3 * t + c), ATriangles[t][c]);
      indices.SetIndices(int32_t(3 * t + c), uint32_t(3 * t + c));
    }
  mesh->BoundingBoxChanged();
  return mesh;
}

// Two triangles covering the unit square at height AZ, wound clockwise seen from +z (the way a
// cast from +z hits them).
std::vector<std::array<TPoint3D, 3>> Quad(float AZ, float AOffsetX = 0) {
  const float x = AOffsetX;
  return {{TPoint3D{x, 0, AZ}, TPoint3D{x, 1, AZ}, TPoint3D{x + 1, 1, AZ}},
          {TPoint3D{x, 0, AZ}, TPoint3D{x + 1, 1, AZ}, TPoint3D{x + 1, 0, AZ}}};
}

// A UV sphere with split vertices; every triangle wound like the cube's faces (its (B - A) x (C - A)
// points inwards), or the other way with AFlip.
TOwned<TMeshDef> UVSphere(int ARings, int ASegments, bool AFlip) {
  std::vector<std::array<TPoint3D, 3>> triangles;
  const auto at = [&](int I, int J) {
    // Exact poles and seam, so that the pole triangles are truly degenerate.
    if (I == 0 || I == ARings)
      return TPoint3D{0, I == 0 ? 1.0f : -1.0f, 0};
    J %= ASegments;
    const double theta = std::numbers::pi * I / ARings, phi = 2 * std::numbers::pi * J / ASegments;
    return TPoint3D{f32(std::sin(theta) * std::cos(phi)), f32(std::cos(theta)), f32(std::sin(theta) * std::sin(phi))};
  };
  for (int i = 0; i < ARings; ++i)
    for (int j = 0; j < ASegments; ++j)
      for (const auto& corners : {std::array<TPoint3D, 3>{at(i, j), at(i + 1, j), at(i + 1, j + 1)},
                                  std::array<TPoint3D, 3>{at(i, j), at(i + 1, j + 1), at(i, j + 1)}}) {
        const TPoint3D cross = (corners[1] - corners[0]).CrossProduct(corners[2] - corners[0]);
        const TPoint3D centre = (corners[0] + corners[1] + corners[2]) / 3;
        const bool inward = cross.DotProduct(centre) < 0;
        triangles.push_back(inward != AFlip ? corners : std::array<TPoint3D, 3>{corners[0], corners[2], corners[1]});
      }
  return TriangleMesh(triangles);
}

// ---- polygons ----

TEST_F(MeshGeometry, PolygonsFanIntoUnsharedTriangles) {
  for (const size_t points : {3u, 4u, 5u}) {
    SCOPED_TRACE(points);
    auto mesh = MakeOwned<TMeshDef>();
    T3DPolygon polygon;
    for (size_t k = 0; k < points; ++k)
      polygon.push_back({f32(std::cos(k * 1.2)), f32(std::sin(k * 1.2)), 0});
    mesh->AddPolygon(polygon);
    EXPECT_EQ(mesh->GetVertexSource()->Length(), int32_t(3 * points - 6));
    EXPECT_EQ(mesh->GetIndexSource()->Length(), int32_t(3 * points - 6));
  }
  auto flat = MakeOwned<TMeshDef>();
  flat->AddPolygon(TPolygon{{0, 0}, {1, 0}, {0, 1}});
  const TVertexBuffer& vertices = *flat->GetVertexSource();
  for (int32_t v = 0; v < 3; ++v) {
    EXPECT_EQ(vertices.GetNormals(v), (TPoint3D{0, 0, 1}));
    const TPointF uv = vertices.GetTexCoord(0, v);
    EXPECT_TRUE(uv.X >= 0 && uv.X <= 1 && uv.Y >= 0 && uv.Y <= 1) << v;
  }
  EXPECT_EQ(MessageOf([&] { flat->AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}}); }),
            "invalid polygon length - at least 3 vertices needed");
  EXPECT_EQ(MessageOf([&] { flat->AddPolygon(TPolygon{{0, 0}, {1, 0}, {0, 1}}, {{0, 0}}, {}); }),
            "invalid polygon texture coordinates length - number of texture coordinates not equal to number of "
            "vertices");
  EXPECT_EQ(MessageOf([&] { flat->AddPolygon(TPolygon{{0, 0}, {1, 0}, {0, 1}}, {}, {{0, 0, 1}}); }),
            "invalid polygon normals length - number of normals not equal to number of vertices");
  EXPECT_EQ(flat->GetVertexSource()->Length(), 3);
  EXPECT_EQ(flat->GetIndexSource()->Length(), 3);
}

// ---- normals and tangents ----

TEST_F(MeshGeometry, FaceNormalSignAndTheThreeSmoothingMethods) {
  auto single = TriangleMesh({{TPoint3D{0, 0, 0}, TPoint3D{1, 0, 0}, TPoint3D{0, 1, 0}}});
  single->CalcFaceNormals(true, false);
  EXPECT_EQ(single->GetFaceNormals().at(0), (TPoint3D{0, 0, -1}));
  EXPECT_EQ(single->GetVertexSource()->GetNormals(2), (TPoint3D{0, 0, -1}));

  // Two triangles sharing the edge (0,0,0)-(1,0,0), folded by 90 degrees.
  const auto folded = [] {
    return TriangleMesh({{TPoint3D{0, 0, 0}, TPoint3D{1, 0, 0}, TPoint3D{0, 1, 0}},
                         {TPoint3D{1, 0, 0}, TPoint3D{0, 0, 0}, TPoint3D{0, 0, 1}}});
  };
  auto fastest = folded();
  fastest->CalcSmoothNormals(TMeshDefCalculateNormalMethod::cnmFastest, 0.001f, false);
  const TPoint3D first = fastest->GetFaceNormals()[0], second = fastest->GetFaceNormals()[1];
  EXPECT_EQ(fastest->GetVertexSource()->GetNormals(0), first);
  EXPECT_EQ(fastest->GetVertexSource()->GetNormals(3), second);
  auto welded = folded();
  welded->CalcSmoothNormals(TMeshDefCalculateNormalMethod::cnmDefault, 0.001f, false);
  const TPoint3D shared = (first + second).Normalize();
  ExpectNear(welded->GetVertexSource()->GetNormals(0), shared);
  ExpectNear(welded->GetVertexSource()->GetNormals(4), shared);
  EXPECT_EQ(welded->GetVertexSource()->GetNormals(2), first);
  auto slowest = folded();
  slowest->CalcSmoothNormals(TMeshDefCalculateNormalMethod::cnmSlowest, 0, false);
  EXPECT_EQ(slowest->GetVertexSource()->GetNormals(0), first);
}

TEST_F(MeshGeometry, SphereNormalsPointOutwardsOrInwardsWithTheWinding) {
  for (const bool flip : {false, true})
    for (const auto method : {TMeshDefCalculateNormalMethod::cnmDefault, TMeshDefCalculateNormalMethod::cnmSlowest}) {
      SCOPED_TRACE(std::to_string(flip) + " " + std::to_string(int(method)));
      auto sphere = UVSphere(16, 32, flip);
      sphere->CalcSmoothNormals(method, 0.001f, false);
      const TVertexBuffer& vertices = *sphere->GetVertexSource();
      const float bound = 0.99f;
      int wrong = 0;
      for (int32_t v = 0; v < vertices.Length(); ++v) {
        const TPoint3D n = vertices.GetNormals(v);
        if (n == TPoint3D{})
          continue; // the degenerate pole triangles of the slowest method
        const float dot = n.DotProduct(vertices.GetVertices(v).Normalize());
        wrong += flip ? dot > -bound : dot < bound;
      }
      EXPECT_EQ(wrong, 0);
    }
}

// The grid must give the reference loop's bytes: duplicates just inside and outside epsilon,
// non-finite positions and indices beyond the vertices included.
TEST_F(MeshGeometry, GridEqualsTheReferenceBitForBit) {
  for (const float epsilon : {0.001f, 0.5f, 0.0f, -1.0f}) {
    SCOPED_TRACE(epsilon);
    std::mt19937 random(42);
    std::uniform_real_distribution<float> coordinate(-2, 2);
    std::vector<TPoint3D> points;
    for (int i = 0; i < 300; ++i) {
      const TPoint3D p{coordinate(random), coordinate(random), coordinate(random)};
      points.push_back(p);
      const float step = epsilon > 0 ? epsilon : 0.001f;
      points.push_back(p + TPoint3D{step * 0.9f, 0, 0});
      points.push_back(p + TPoint3D{0, step * 1.1f, 0});
    }
    points[5] = {std::numeric_limits<float>::quiet_NaN(), 0, 0};
    points[7] = {std::numeric_limits<float>::infinity(), 1, 1};
    TVertexBuffer reference(TCustomMeshDef::DefaultVertexFormat(), int32_t(points.size()));
    for (int32_t v = 0; v < reference.Length(); ++v)
      reference.SetVertices(v, points[size_t(v)]);
    TIndexBuffer indices(int32_t(points.size()), TIndexFormat::UInt32);
    std::uniform_int_distribution<uint32_t> index(0, uint32_t(points.size()) - 1);
    for (int32_t i = 0; i < indices.Length(); ++i)
      indices.SetIndices(i, index(random));
    indices.SetIndices(10, 1000000);
    TVertexBuffer grid(reference.Format(), 0);
    grid.Assign(reference);
    std::vector<TPoint3D> faces;
    TMeshDef::ComputeFaceNormals(reference, indices, faces, false);
    TMeshDef::ComputeSmoothNormalsReference(reference, indices, epsilon, faces);
    TMeshDef::ComputeSmoothNormalsGrid(grid, indices, epsilon, faces);
    ASSERT_EQ(grid.Size(), reference.Size());
    EXPECT_EQ(std::memcmp(grid.Buffer(), reference.Buffer(), size_t(grid.Size())), 0);
  }
}

TEST_F(MeshGeometry, TangentsNeedTheirSlotsAndDistinctUVs) {
  TVertexBuffer bare({TVertexFormat::Vertex, TVertexFormat::Normal, TVertexFormat::TexCoord0}, 3);
  bare.SetVertices(1, {1, 0, 0});
  TVertexBuffer before(bare.Format(), 0);
  before.Assign(bare);
  TIndexBuffer indices(3);
  indices.SetIndices(1, 1);
  indices.SetIndices(2, 2);
  TMeshDef::ComputeTangentBinormals(&bare, &indices);
  EXPECT_EQ(std::memcmp(bare.Buffer(), before.Buffer(), size_t(bare.Size())), 0);

  auto mesh = TriangleMesh({{TPoint3D{0, 0, 0}, TPoint3D{1, 0, 0}, TPoint3D{0, 1, 0}}});
  mesh->GetVertexSource()->SetTangents(0, {9, 9, 9});
  mesh->CalcTangentBinormals(false); // all UVs equal
  EXPECT_EQ(mesh->GetVertexSource()->GetTangents(0), (TPoint3D{0, 0, 0}));
  EXPECT_EQ(mesh->GetVertexSource()->GetBiNormals(0), (TPoint3D{0, 0, 0}));
  mesh->GetVertexSource()->SetTexCoord(0, 1, {1, 0});
  mesh->GetVertexSource()->SetTexCoord(0, 2, {0, 1});
  mesh->CalcTangentBinormals(false);
  EXPECT_EQ(mesh->GetVertexSource()->GetTangents(2), (TPoint3D{1, 0, 0}));
  EXPECT_EQ(mesh->GetVertexSource()->GetBiNormals(2), (TPoint3D{0, 1, 0}));
}

// ---- ray casts ----

TEST_F(MeshGeometry, RayCastsFindTheNearestHit) {
  const TMatrix3D identity = TMatrix3D::Identity();
  auto quads = Quad(0);
  for (const auto& triangle : Quad(-1))
    quads.push_back(triangle);
  auto mesh = TriangleMesh(quads);
  for (const bool bvh : {false, true}) {
    SCOPED_TRACE(bvh);
    if (bvh)
      mesh->AcquireBVH();
    TPoint3D point, normal;
    ASSERT_TRUE(mesh->RayCastIntersect({0.6f, 0.3f, 5}, {0, 0, -1}, identity, identity, point, normal));
    ExpectNear(point, {0.6f, 0.3f, 0});
    ExpectNear(normal, {0, 0, 1});
  }

  auto empty = MakeOwned<TMeshDef>();
  TPoint3D point{1, 1, 1}, normal{1, 1, 1};
  EXPECT_FALSE(empty->RayCastIntersect({0, 0, 5}, {0, 0, -1}, identity, identity, point, normal));
  EXPECT_EQ(point, (TPoint3D{}));
  EXPECT_EQ(normal, (TPoint3D{}));

  // Distances 5 and 3 report 3; a hit 100000 away is not reported.
  auto layered = Quad(0);
  for (const auto& triangle : Quad(2))
    layered.push_back(triangle);
  auto two = TriangleMesh(layered);
  ASSERT_TRUE(two->RayCastIntersect({0.6f, 0.3f, 5}, {0, 0, -1}, identity, identity, point, normal));
  EXPECT_FLOAT_EQ(point.Z, 2);
  auto far = TriangleMesh(Quad(5 - 100000));
  EXPECT_FALSE(far->RayCastIntersect({0.6f, 0.3f, 5}, {0, 0, -1}, identity, identity, point, normal));
}

TEST_F(MeshGeometry, UpdateBVHPicksUpNewTriangles) {
  const TMatrix3D identity = TMatrix3D::Identity();
  auto mesh = TriangleMesh(Quad(0));
  mesh->AcquireBVH();
  for (int32_t v = 0; v < 6; ++v) {
    TPoint3D p = mesh->GetVertexSource()->GetVertices(v);
    mesh->GetVertexSource()->SetVertices(v, p + TPoint3D{3, 0, 0});
  }
  TPoint3D point, normal;
  EXPECT_TRUE(mesh->RayCastIntersect({0.6f, 0.3f, 5}, {0, 0, -1}, identity, identity, point, normal));
  mesh->UpdateBVH();
  EXPECT_FALSE(mesh->RayCastIntersect({0.6f, 0.3f, 5}, {0, 0, -1}, identity, identity, point, normal));
  EXPECT_TRUE(mesh->RayCastIntersect({3.6f, 0.3f, 5}, {0, 0, -1}, identity, identity, point, normal));
}

TEST_F(MeshGeometry, HitsOfMovedMeshesKeepTheirNormalsAndAreFound) {
  const TMatrix3D identity = TMatrix3D::Identity();
  auto mesh = TriangleMesh(Quad(0));
  TPoint3D point, normal;
  // A translation moves the point, never the normal.
  const TMatrix3D moved = TMatrix3D::CreateTranslation({5, 0, 0});
  ASSERT_TRUE(mesh->RayCastIntersect({5.6f, 0.3f, 5}, {0, 0, -1}, moved, identity, point, normal));
  ExpectNear(point, {5.6f, 0.3f, 0});
  ExpectNear(normal, {0, 0, 1});
  // A definition's own Transform is not part of the raw space the cast works in.
  mesh->SetTransform(TMatrix3D::CreateTranslation({10, 0, 0}));
  mesh->BoundingBoxChanged();
  EXPECT_TRUE(mesh->RayCastIntersect({0.6f, 0.3f, 5}, {0, 0, -1}, identity, identity, point, normal));
}

// ---- transforms and copies ----

TEST_F(MeshGeometry, BakingTransformsMovesPointsAndTurnsDirections) {
  auto baked = TriangleMesh(Quad(0));
  baked->ApplyTransformationMatrixToVertices(TMatrix3D::CreateTranslation({1, 2, 3}), true);
  EXPECT_EQ(baked->GetVertexSource()->GetVertices(1), (TPoint3D{1, 3, 3}));
  EXPECT_EQ(baked->GetTransform(), TMatrix3D::Identity());
  auto kept = TriangleMesh(Quad(0));
  kept->ApplyTransformationMatrixToVertices(TMatrix3D::CreateTranslation({1, 2, 3}), false);
  EXPECT_EQ(kept->GetVertexSource()->GetVertices(1), (TPoint3D{0, 1, 0}));
  EXPECT_EQ(kept->GetTransform(), TMatrix3D::CreateTranslation({1, 2, 3}));

  auto turned = TriangleMesh(Quad(0));
  for (int32_t v = 0; v < 6; ++v) {
    turned->GetVertexSource()->SetNormals(v, {0, 0, 1});
    turned->GetVertexSource()->SetTangents(v, {1, 0, 0});
  }
  const TMatrix3D rotation = TMatrix3D::CreateRotationZ(f32(std::numbers::pi / 2));
  turned->ApplyTransformationMatrixToVertices(
      rotation * TMatrix3D::CreateScaling({2, 1, 1}) * TMatrix3D::CreateTranslation({7, 8, 9}), true);
  ExpectNear(turned->GetVertexSource()->GetNormals(0), {0, 0, 1});
  ExpectNear(turned->GetVertexSource()->GetTangents(0), {0, 1, 0});
}

TEST_F(MeshGeometry, CopiesLookupsAndCombinedBoxes) {
  auto source = TriangleMesh(Quad(0));
  source->GetVertexSource()->SetVertices(1, {0, 1, 5});
  auto target = MakeOwned<TMeshDef>();
  source->ApplyToMeshDef(target.get(), {TCopyVertexOption::ExchangeYZ});
  EXPECT_EQ(target->GetVertexSource()->GetVertices(1), (TPoint3D{0, 5, 1}));
  EXPECT_EQ(source->GetVertexSource()->GetVertices(1), (TPoint3D{0, 1, 5}));

  auto flat = TriangleMesh(Quad(0));
  auto* segment = New<TSegmentDef>(flat.get());
  segment->SetId("light");
  flat->AddMesh(segment);
  EXPECT_EQ(MessageOf([&] { flat->FindMeshById("light", true); }),
            "transform with id \"light\" found, but not a mesh node");
  EXPECT_EQ(flat->FindMeshById("light", false), nullptr);
  auto* child = TriangleMesh({{TPoint3D{0, 0, 0}, TPoint3D{2, 0, 1}, TPoint3D{0, 3, 2}}}).release();
  child->SetId("child");
  flat->AddMesh(child);
  EXPECT_EQ(flat->FindMeshById("child", false), child);
  // The flat box counts as empty, so the child's box is the result.
  EXPECT_EQ(flat->GetCombinedBoundingBox(), (TBoundingBox{0, 0, 0, 2, 3, 2}));
}

} // namespace
