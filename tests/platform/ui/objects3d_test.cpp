#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

#include "rtl/form_text.h"
#include "ui/material.h"
#include "ui/objects3d.h"

namespace objects3dtest {

class TPlainMaterial : public ui::TMaterial {
protected:
  void DoApply(ui::TContext3D*) override {}
};

class TPlainSource : public ui::TMaterialSource {
  RTL_CLASS(TPlainSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override { return rtl::MakeOwned<TPlainMaterial>(); }
};
RTL_DEFINE_CLASS(TPlainSource, "Test.Objects3D")

} // namespace objects3dtest

namespace {

using rtl::TPoint3D;

double Dot(const TPoint3D& A, const TPoint3D& B) {
  return double(A.X) * B.X + double(A.Y) * B.Y + double(A.Z) * B.Z;
}
TPoint3D Minus(const TPoint3D& A, const TPoint3D& B) {
  return {A.X - B.X, A.Y - B.Y, A.Z - B.Z};
}
TPoint3D Cross(const TPoint3D& A, const TPoint3D& B) {
  return {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X};
}

class RoundCube : public ::testing::Test {
protected:
  rtl::TOwned<ui::TMeshData> FMesh = ui::NewRoundCubeMesh();
  const ui::TVertexBuffer& Vertices() const { return FMesh->VertexBuffer(); }
  const ui::TIndexBuffer& Indices() const { return FMesh->IndexBuffer(); }
};

TEST_F(RoundCube, HasItsCountsAndStaysInsideTheUnitBoxTouchingItAtFaceCentres) {
  ASSERT_EQ(Vertices().Length(), 600);
  ASSERT_EQ(Indices().Length(), 2916);
  EXPECT_EQ(Indices().Format(), ui::TIndexFormat::UInt16);
  float reach = 0;
  for (int32_t i = 0; i < Vertices().Length(); ++i) {
    const TPoint3D p = Vertices().GetVertices(i);
    for (float c : {p.X, p.Y, p.Z}) {
      EXPECT_LE(std::fabs(c), 0.5f);
      reach = std::max(reach, std::fabs(c));
    }
    const rtl::TPointF uv = Vertices().GetTexCoord(0, i);
    EXPECT_TRUE(uv.X >= 0 && uv.X <= 1 && uv.Y >= 0 && uv.Y <= 1);
  }
  EXPECT_EQ(reach, 0.5f);
}

TEST_F(RoundCube, NormalsAreUnitOutwardAndAxisAlignedOnTheFlatPart) {
  int flat = 0;
  for (int32_t i = 0; i < Vertices().Length(); ++i) {
    SCOPED_TRACE(i);
    const TPoint3D p = Vertices().GetVertices(i);
    const TPoint3D n = Vertices().GetNormals(i);
    EXPECT_NEAR(Dot(n, n), 1.0, 1e-6);
    EXPECT_GT(Dot(n, p), 0);
    const int outside = (std::fabs(p.X) > 0.35f + 1e-6f) + (std::fabs(p.Y) > 0.35f + 1e-6f) +
                        (std::fabs(p.Z) > 0.35f + 1e-6f);
    if (outside == 1) {
      ++flat;
      EXPECT_EQ(std::fabs(n.X) + std::fabs(n.Y) + std::fabs(n.Z), 1.0f);
    }
  }
  EXPECT_EQ(flat, 6 * 4);
}

TEST_F(RoundCube, CornerVertexSitsOnTheDiagonal) {
  const float corner = static_cast<float>(0.35 + 0.15 / std::sqrt(3.0));
  int found = 0;
  for (int32_t i = 0; i < Vertices().Length(); ++i) {
    const TPoint3D p = Vertices().GetVertices(i);
    if (p.X > 0.4f && p.Y > 0.4f && p.Z > 0.4f && std::fabs(p.X - p.Y) < 1e-6f &&
        std::fabs(p.Y - p.Z) < 1e-6f) {
      ++found;
      EXPECT_NEAR(p.X, 0.43660, 1e-5);
      EXPECT_FLOAT_EQ(p.X, corner);
      const TPoint3D n = Vertices().GetNormals(i);
      for (float c : {n.X, n.Y, n.Z})
        EXPECT_NEAR(c, 1 / std::sqrt(3.0), 1e-6);
    }
  }
  EXPECT_EQ(found, 3); // one per face meeting at the corner
}

TEST_F(RoundCube, SeamsMatchAndEveryTriangleIsClockwiseSeenFromOutside) {
  std::map<std::tuple<float, float, float>, TPoint3D> normals;
  for (int32_t i = 0; i < Vertices().Length(); ++i) {
    const TPoint3D p = Vertices().GetVertices(i);
    const TPoint3D n = Vertices().GetNormals(i);
    const auto [it, inserted] = normals.emplace(std::tuple{p.X, p.Y, p.Z}, n);
    if (!inserted)
      EXPECT_TRUE(it->second == n) << i;
  }
  // 600 grid points minus the shared ones: 12 edges x 10 points counted twice, 8 corners thrice.
  EXPECT_EQ(normals.size(), 600u - 12 * 10 + 8);
  for (int32_t t = 0; t < Indices().Length(); t += 3) {
    SCOPED_TRACE(t);
    const TPoint3D a = Vertices().GetVertices(int32_t(Indices().GetIndices(t)));
    const TPoint3D b = Vertices().GetVertices(int32_t(Indices().GetIndices(t + 1)));
    const TPoint3D c = Vertices().GetVertices(int32_t(Indices().GetIndices(t + 2)));
    const TPoint3D centre{(a.X + b.X + c.X) / 3, (a.Y + b.Y + c.Y) / 3, (a.Z + b.Z + c.Z) / 3};
    EXPECT_LT(Dot(Cross(Minus(b, a), Minus(c, a)), centre), 0);
  }
}

TEST(RoundCubeControl, StreamsItsSizeAndAForwardReferenceToItsMaterialSource) {
  ui::RegisterFmxClasses();
  rtl::RegisterClass(objects3dtest::TPlainSource::StaticClass());
  const std::string form = "object Root: TDummy\n"
                           "  object RoundCube1: TRoundCube\n"
                           "    Width = 2.0\n"
                           "    MaterialSource = Source1\n"
                           "    object Source1: TPlainSource\n"
                           "    end\n"
                           "  end\n"
                           "end\n";
  {
    rtl::TOwned<ui::TDummy> root(rtl::New<ui::TDummy>(nullptr));
    rtl::ReadComponentFromText(form, root.get());
    auto* cube = dynamic_cast<ui::TRoundCube*>(root->FindComponent("RoundCube1"));
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(cube->Width(), 2.0f);
    ASSERT_NE(cube->MaterialSource(), nullptr);
    EXPECT_EQ(cube->MaterialSource()->Name(), "Source1");
    EXPECT_EQ(cube->MaterialSource()->Parent(), cube);
    EXPECT_EQ(rtl::WriteComponentToText(root.get()), form);
    EXPECT_EQ(cube->Data().VertexBuffer().Length(), 600);
  }
  rtl::UnRegisterClass(objects3dtest::TPlainSource::StaticClass());
  ui::UnregisterFmxClasses();
}

} // namespace
