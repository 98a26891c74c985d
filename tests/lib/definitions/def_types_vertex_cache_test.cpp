#include <gtest/gtest.h>

#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"

namespace {

using namespace vantrel;

// A unit square: positions 0..3, two normals, one texture set.
class VertexCacheTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const TPoint3D& p : {TPoint3D{0, 0, 0}, TPoint3D{1, 0, 0}, TPoint3D{1, 1, 0}, TPoint3D{0, 1, 0}})
      FCache.AddPositionSource(p);
    FCache.AddNormalSource(0, 0, 1);
    FCache.AddNormalSource(0, 1, 0);
    FCache.AddTextureSource(0, 0.25f, 0.75f, true);
  }

  static TVertexID Corner(int32_t APosition, int32_t ANormal = 0) {
    TVertexID id;
    id.Position = APosition;
    id.Normal = ANormal;
    id.Textures.Count = 1;
    id.Binormal = -1;
    id.Tangent = -1;
    return id;
  }

  TVertexCache FCache{16};
};

TEST_F(VertexCacheTest, SharedCornersWeldUnlessTheirAttributesDiffer) {
  FCache.AddTriangle(0, {Corner(0), Corner(1), Corner(2)}, FCache.Vertices, FCache.Indices, TVertexOrder::CW);
  FCache.AddTriangle(3, {Corner(0), Corner(2), Corner(3)}, FCache.Vertices, FCache.Indices, TVertexOrder::CW);
  EXPECT_EQ(FCache.Vertices.size(), 4u);
  EXPECT_EQ(FCache.Indices.size(), 2u);
  EXPECT_EQ(FCache.IndexMap.Items(0u).size(), 1u);
}

TEST_F(VertexCacheTest, DifferentNormalsSplitTheSharedCorners) {
  FCache.AddTriangle(0, {Corner(0), Corner(1), Corner(2)}, FCache.Vertices, FCache.Indices, TVertexOrder::CW);
  FCache.AddTriangle(3, {Corner(0, 1), Corner(2, 1), Corner(3, 1)}, FCache.Vertices, FCache.Indices, TVertexOrder::CW);
  EXPECT_EQ(FCache.Vertices.size(), 6u);
  EXPECT_EQ(FCache.IndexMap.Items(0u).size(), 2u);
}

TEST_F(VertexCacheTest, PolygonWindings) {
  const TPolygonID square{Corner(0), Corner(1), Corner(2), Corner(3)};
  // Corners 0..3 have distinct positions, so w(k) is the order in which they were first welded.
  EXPECT_EQ(FCache.AddPolygon(0, square, FCache.Vertices, FCache.Indices, TVertexOrder::CW), 6);
  const uint32_t w1 = FCache.Indices[0][0], w2 = FCache.Indices[0][1], w0 = FCache.Indices[0][2];
  EXPECT_EQ(FCache.Indices[1][0], w2);
  EXPECT_EQ(FCache.Indices[1][2], w0);
  EXPECT_EQ(FCache.Vertices[w1].Position, (TPoint3D{1, 0, 0}));
  const uint32_t w3 = FCache.Indices[1][1];
  EXPECT_EQ(FCache.Vertices[w3].Position, (TPoint3D{0, 1, 0}));

  TVertexCache fresh;
  for (const TPoint3D& p : FCache.PositionSource)
    fresh.AddPositionSource(p);
  fresh.NormalSource = FCache.NormalSource;
  fresh.TextureSources = FCache.TextureSources;
  std::vector<TVertexData> vertices;
  std::vector<TTriangleIndex> indices;
  fresh.AddPolygon(0, square, vertices, indices, TVertexOrder::CCW);
  const auto positions = [&](const TTriangleIndex& ATriangle) {
    return std::vector<TPoint3D>{vertices[ATriangle[0]].Position, vertices[ATriangle[1]].Position,
                                 vertices[ATriangle[2]].Position};
  };
  // (w0, w2, w1) and (w0, w3, w2).
  EXPECT_EQ(positions(indices[0]), (std::vector<TPoint3D>{{0, 0, 0}, {1, 1, 0}, {1, 0, 0}}));
  EXPECT_EQ(positions(indices[1]), (std::vector<TPoint3D>{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}}));
  EXPECT_EQ(FCache.AddPolygon(0, {Corner(0), Corner(1)}, vertices, indices, TVertexOrder::CW), 0);
}

TEST_F(VertexCacheTest, CornersFlagWhatTheyLack) {
  TVertexID bare = Corner(1, -1);
  bare.Textures.Count = 0;
  const TVertexData vertex = FCache.GetVertex(bare);
  EXPECT_TRUE(vertex.Flags.Contains(TVertexDataFlag::CalcTexCoords));
  EXPECT_TRUE(vertex.Flags.Contains(TVertexDataFlag::CalcNormals));
  EXPECT_TRUE(vertex.Flags.Contains(TVertexDataFlag::CalcTangents));
  EXPECT_EQ(vertex.Normal, (TPoint3D{}));
  EXPECT_EQ(FCache.GetVertex(Corner(0)).TexCoords.at(0), (TPointF{0.25f, 0.25f}));
  TVertexID missing = Corner(9);
  try {
    FCache.GetVertex(missing);
    ADD_FAILURE();
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "invalid index for vertex position coordinate: 9 < 4");
  }
  // Counts from files are clamped to the fixed arrays.
  TVertexID wide = Corner(0);
  wide.Textures.Count = 40;
  wide.Colors.Count = 40;
  const TVertexData clamped = FCache.GetVertex(wide);
  EXPECT_EQ(clamped.TexCoords.size(), 32u);
  EXPECT_EQ(clamped.Colors.size(), 4u);
  EXPECT_EQ(clamped.Colors[3], (TAlphaColorF{0, 0, 0, 1}));
}

TEST_F(VertexCacheTest, SourcesStridesAndPoints) {
  FCache.SetTextureSource(1, {1, 2, 9, 3, 4, 9, 5, 6, 9}, false, 3);
  EXPECT_EQ(*FCache.GetTextureSourceArray(1), (std::vector<TPointF>{{1, 2}, {3, 4}, {5, 6}}));
  EXPECT_THROW(FCache.SetTextureSource(1, {1, 2}, false, 1), EArgumentException);
  EXPECT_THROW(FCache.SetTextureSource(32, {1, 2}, false, 2), ERangeError);
  EXPECT_THROW(FCache.AddColorSource(4, 1, 1, 1, 1), ERangeError);
  EXPECT_EQ(FCache.GetTextureSourceArray(32), nullptr);
  EXPECT_EQ(FCache.GetColorSourceArray(-1), nullptr);
  EXPECT_EQ(FCache.AddTangentSource(std::vector<TVector3D>{}), -1);

  // Normals are directions: a translation leaves them alone, a rotation turns them.
  FCache.SetNormalSource({0, 0, 2, 0, 0, 0}, TMatrix3D::CreateTranslation({5, 5, 5}));
  EXPECT_EQ(FCache.NormalSource[0], (TPoint3D{0, 0, 1}));
  EXPECT_EQ(FCache.NormalSource[1], (TPoint3D{0, 0, 0}));

  TVertexCache points;
  for (int i = 0; i < 3; ++i) {
    points.AddPositionSource(float(i), 0, 0);
    points.AddNormalSource(0, 0, 1);
    points.AddTextureSource(0, 0, 0, false);
    points.AddColorSource(0, 1, 1, 1, 1);
  }
  points.PointIndices = {7};
  std::vector<TVertexData> vertices;
  std::vector<uint32_t> indices;
  EXPECT_EQ(points.AddPoints(0, vertices, indices), 2);
  EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2}));
  points.ClearAll();
  EXPECT_EQ(points.PointIndices, (std::vector<uint32_t>{7}));
  EXPECT_TRUE(points.PositionSource.empty());
}

} // namespace
