#include <gtest/gtest.h>

#include <cstdlib>
#include <numbers>

#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Cube.h"
#include "scene/Vantrel.Mesh.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"
#include "support/vertex_color_material.h"
#include "ui/bitmap.h"

namespace meshgl {

// Makes the vertex-colour material of the test support.
class TVertexColorSource : public ui::TMaterialSource {
  RTL_CLASS(TVertexColorSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override { return rtl::MakeOwned<vtest::TVertexColorMaterial>(); }
};
RTL_DEFINE_CLASS(TVertexColorSource, "Test.MeshGL")

} // namespace meshgl

namespace {

using namespace vantrel;

constexpr int32_t Size = 64;
constexpr TAlphaColor ClearColor = 0xFF202020;

class MeshGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeDefTypes();
    InitializeControl();
    InitializeTransform();
    InitializeMesh();
    InitializeCube();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext(Size, Size);
    FRoot = MakeOwned<TDummy>(nullptr);
    FRoot->SetNewViewport(FViewport.get());
    FSource = MakeOwned<meshgl::TVertexColorSource>(nullptr);
  }
  void TearDown() override {
    FRoot.reset();
    FSource.reset();
    FViewport.reset();
    FinalizeCube();
    FinalizeMesh();
    FinalizeTransform();
    FinalizeControl();
    FinalizeDefTypes();
    ContextGLTest::TearDown();
  }

  TVantrelContext* Context() { return CheckedCast<TVantrelContext>(FViewport->GetContext()); }

  void LookFrom(const TPoint3D& AEye) {
    Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH(AEye, {0, 0, 0}, {0, 1, 0}));
    Context()->SetCameraAngleOfView(45);
  }

  void Draw(TVantrelMesh* AMesh) {
    ASSERT_TRUE(Context()->BeginSceneRendering());
    Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, ClearColor, 1, 0);
    AMesh->RenderInternal();
    Context()->EndSceneRendering();
  }

  TAlphaColor PixelAt(int32_t AX, int32_t AY) {
    TBitmap bitmap(Size, Size);
    Context()->CopyToBitmap(&bitmap, TRect(0, 0, Size, Size));
    TBitmapData data;
    EXPECT_TRUE(bitmap.Map(TMapAccess::Read, data));
    const TAlphaColor color = data.GetPixel(AX, AY);
    bitmap.Unmap(data);
    return color;
  }

  // The pixel where the point lands on the screen.
  TAlphaColor Probe(const TPoint3D& APoint) {
    const TPoint3D screen = Context()->WorldToScreen(TProjection::Camera, APoint);
    return PixelAt(int32_t(screen.X), int32_t(screen.Y));
  }

  static void ExpectColor(TAlphaColor AActual, TAlphaColor AExpected) {
    for (int shift = 0; shift < 32; shift += 8)
      EXPECT_LE(std::abs(int((AActual >> shift) & 0xFF) - int((AExpected >> shift) & 0xFF)), 2)
          << std::hex << AActual << " vs " << AExpected;
  }

  TVantrelCube* MakeCube() {
    auto* cube = New<TVantrelCube>(FRoot.get());
    cube->SetParent(FRoot.get());
    cube->SetMaterialSource(FSource.get());
    return cube;
  }

  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<TDummy> FRoot;
  TOwned<meshgl::TVertexColorSource> FSource;
};

TEST_F(MeshGL, CubeSeenFromOutside) {
  TVantrelCube* cube = MakeCube();
  LookFrom({1.5f, 1.2f, 2.0f});
  const auto expectFaces = [&](const char* ATrace) {
    SCOPED_TRACE(ATrace);
    ExpectColor(Probe({0, 0, 0.5f}), 0xFF0000FF);
    ExpectColor(Probe({0.5f, 0, 0}), 0xFFFF00FF);
    ExpectColor(Probe({0, 0.5f, 0}), 0xFF00FF00);
    ExpectColor(PixelAt(0, 0), ClearColor);
  };
  Draw(cube);
  auto* def = dynamic_cast<TMeshDef*>(cube->Def());
  ASSERT_NE(def->GetBufferObject(), nullptr); // the pending build ran in the first draw
  EXPECT_EQ(Context()->GetCurrentCache(), nullptr);
  expectFaces("static 1x1x1");

  cube->SetSubdivisionsWidth(2);
  cube->SetSubdivisionsHeight(3);
  cube->SetSubdivisionsDepth(4);
  Draw(cube);
  expectFaces("static 2x3x4");

  // From the inside every face is culled.
  LookFrom({0, 0, 0.001f});
  Draw(cube);
  ExpectColor(PixelAt(Size / 2, Size / 2), ClearColor);

  // A non-static mesh loaded from the cube's definition gives the same image.
  LookFrom({1.5f, 1.2f, 2.0f});
  auto* copy = New<TMeshDef>();
  def->ApplyToMeshDef(copy, {});
  auto* mesh = New<TVantrelMesh>(FRoot.get());
  mesh->SetParent(FRoot.get());
  mesh->SetMaterialSource(FSource.get());
  mesh->LoadFromDefinition(copy);
  EXPECT_FALSE(mesh->GetIsStatic());
  cube->SetVisible(false);
  Draw(mesh);
  expectFaces("mesh data");
}

TEST_F(MeshGL, InstancesDrawTheWholeGrid) {
  TVantrelCube* cube = MakeCube();
  cube->SetWidth(0.05f);
  cube->SetHeight(0.05f);
  cube->SetDepth(0.05f);
  for (int i = 0; i < 10; ++i)
    for (int j = 0; j < 10; ++j)
      cube->AddInstance(TMatrix3D::CreateTranslation({(i - 4.5f) * 0.2f, (j - 4.5f) * 0.2f, 0}));
  LookFrom({0, 0, 4});
  const int64_t drawsBefore = ContextShared().DrawCalls;
  const int64_t instancesBefore = ContextShared().DrawInstances;
  Draw(cube);
  EXPECT_EQ(ContextShared().DrawCalls - drawsBefore, 1);
  EXPECT_EQ(ContextShared().DrawInstances - instancesBefore, 101);
  for (int i = 0; i < 10; i += 3)
    for (int j = 0; j < 10; j += 3) {
      SCOPED_TRACE(testing::Message() << i << ", " << j);
      const float x = (i - 4.5f) * 0.2f, y = (j - 4.5f) * 0.2f;
      ExpectColor(Probe({x, y, 0.025f}), 0xFF0000FF);
      ExpectColor(Probe({x + 0.1f, y + 0.1f, 0}), ClearColor);
    }
}

} // namespace
