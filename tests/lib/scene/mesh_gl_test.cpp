#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include <epoxy/gl.h>

#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.h"
#include "materials/Vantrel.Material.Default.h"
#include "rendering/Vantrel.Controller.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Cube.h"
#include "scene/Vantrel.Mesh.h"
#include "support/color_probe.h"
#include "support/constant_material.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"
#include "support/vertex_color_material.h"
#include "ui/bitmap.h"

namespace meshgl {

// One constant colour for everything it draws.
class TColorSource : public ui::TMaterialSource {
  RTL_CLASS(TColorSource, ui::TMaterialSource)
public:
  TColorSource(rtl::TComponent* AOwner, rtl::TAlphaColorF AColor, std::string ATag)
      : TMaterialSource(AOwner), FColor(AColor), FTag(std::move(ATag)) {}

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override {
    return rtl::MakeOwned<vtest::TConstantColorMaterial>(FColor, FTag);
  }

private:
  rtl::TAlphaColorF FColor;
  std::string FTag;
};
RTL_DEFINE_CLASS(TColorSource, "Test.MeshGL")

// A material whose application fails, so a draw raises after the mesh set its cache.
class TFailingMaterial : public ui::TCustomMaterial {
protected:
  void DoApply(ui::TContext3D*) override { throw rtl::Exception("no program"); }
};

class TFailingSource : public ui::TMaterialSource {
  RTL_CLASS(TFailingSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override { return rtl::MakeOwned<TFailingMaterial>(); }
};
RTL_DEFINE_CLASS(TFailingSource, "Test.MeshGL")

// A render pass that draws nothing: the environment forwarding only compares it.
class TIdlePass : public vantrel::TVantrelRenderPassController {
  RTL_CLASS(TIdlePass, vantrel::TVantrelRenderPassController)
public:
  using TVantrelRenderPassController::TVantrelRenderPassController;

protected:
  rtl::TOwned<vantrel::TVantrelRenderPassMaterialSource> CreateShader() override { return nullptr; }
};
RTL_DEFINE_CLASS(TIdlePass, "Test.MeshGL")

// A behaviour that adds nothing to the shaders it is attached to.
class TIdleBehaviour : public vantrel::TVantrelMaterialBehaviour {
  RTL_CLASS(TIdleBehaviour, vantrel::TVantrelMaterialBehaviour)
public:
  using TVantrelMaterialBehaviour::TVantrelMaterialBehaviour;
  bool DoOnRegisterUniformBuffer(std::string&, void*&, int32_t&) override { return false; }
  void DoOnCreateShader(vantrel::TVantrelNodeBuilder*, ui::TContextShaderKind) override {}
  void DoOnUpdateShader(vantrel::TVantrelNodeBuilder*, ui::TContextShaderKind) override {}
  void DoOnRemoveShader(vantrel::TVantrelNodeBuilder*, ui::TContextShaderKind) override {}
  void Apply(ui::TMaterial*, ui::TContext3D*, vantrel::TVantrelMaterialBehaviourItem*) override {}
};
RTL_DEFINE_CLASS(TIdleBehaviour, "Test.MeshGL")

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
    FSource = MakeOwned<vtest::TVertexColorSource>(nullptr);
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

  TAlphaColor PixelAt(int32_t AX, int32_t AY) { return vtest::ContextPixel(*Context(), AX, AY); }
  // The pixel where the point lands on the screen.
  TAlphaColor Probe(const TPoint3D& APoint) { return vtest::CameraPixel(*Context(), APoint); }

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
  TOwned<vtest::TVertexColorSource> FSource;
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

TEST_F(MeshGL, VertexGroupsColourTheirHalvesAndTheParentDrawsNothing) {
  auto* def = New<TMeshDef>();
  def->SetId("halves");
  def->AddPolygon(T3DPolygon{{-1, -0.5f, 0}, {-1, 0.5f, 0}, {0, 0.5f, 0}, {0, -0.5f, 0}});
  def->AddPolygon(T3DPolygon{{0, -0.5f, 0}, {0, 0.5f, 0}, {1, 0.5f, 0}, {1, -0.5f, 0}});
  for (const auto& [id, first] : {std::pair{"left", 0u}, std::pair{"right", 6u}}) {
    auto* group = New<TVertexGroupDef>(def);
    group->SetId(id);
    group->AddIndices(std::vector<uint32_t>{first, first + 1, first + 2, first + 3, first + 4, first + 5}, 0, 6, 0);
    def->AddMesh(group);
  }
  auto* mesh = New<TVantrelMesh>(FRoot.get());
  mesh->SetParent(FRoot.get());
  mesh->LoadFromDefinition(def);
  ASSERT_EQ(mesh->Meshes().size(), 2u);
  auto red = MakeOwned<meshgl::TColorSource>(nullptr, TAlphaColorF{1, 0, 0, 1}, "grouped.red");
  auto green = MakeOwned<meshgl::TColorSource>(nullptr, TAlphaColorF{0, 1, 0, 1}, "grouped.green");
  mesh->SetMaterialSource(FSource.get());
  mesh->Meshes()[0]->SetMaterialSource(red.get());
  mesh->Meshes()[1]->SetMaterialSource(green.get());
  EXPECT_EQ(&mesh->Meshes()[0]->GetMeshData()->VertexBuffer(), &mesh->GetMeshData()->VertexBuffer());
  LookFrom({0, 0, 3});
  ASSERT_TRUE(Context()->BeginSceneRendering());
  Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, ClearColor, 1, 0);
  mesh->RenderInternal();
  for (TVantrelMesh* group : mesh->Meshes())
    group->RenderInternal();
  Context()->EndSceneRendering();
  ExpectColor(Probe({-0.5f, 0, 0}), 0xFFFF0000);
  ExpectColor(Probe({0.5f, 0, 0}), 0xFF00FF00);
  mesh->Free();
  red.reset();
  green.reset();
}

TEST_F(MeshGL, AFailedDrawLeavesNoCacheBehind) {
  TVantrelCube* cube = MakeCube();
  auto failing = MakeOwned<meshgl::TFailingSource>(nullptr);
  cube->SetMaterialSource(failing.get());
  LookFrom({1.5f, 1.2f, 2.0f});
  ASSERT_TRUE(Context()->BeginSceneRendering());
  try {
    cube->RenderInternal();
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message().rfind("TVantrelMesh.Render(): failed to render object \"", 0), 0u) << error.Message();
  }
  Context()->EndSceneRendering();
  EXPECT_EQ(Context()->GetCurrentCache(), nullptr);
  cube->SetMaterialSource(nullptr);
}

} // namespace

namespace {

using namespace vantrel;

TEST_F(MeshGL, MeshDataDrawsRefuseIndicesBeyondTheVertices) {
  auto* def = New<TMeshDef>();
  def->SetId("broken");
  def->AddPolygon(T3DPolygon{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  def->GetIndexSource()->SetIndices(2, 99);
  auto* mesh = New<TVantrelMesh>(FRoot.get());
  mesh->SetParent(FRoot.get());
  mesh->SetMaterialSource(FSource.get());
  mesh->LoadFromDefinition(def);
  const int64_t drawsBefore = ContextShared().DrawCalls;
  ASSERT_TRUE(Context()->BeginSceneRendering());
  try {
    mesh->RenderInternal();
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_NE(error.Message().find("invalid index 99 in mesh definition \"broken\" - vertex count 3"),
              std::string::npos)
        << error.Message();
  }
  Context()->EndSceneRendering();
  EXPECT_EQ(ContextShared().DrawCalls, drawsBefore);
  mesh->Free();
}

TEST_F(MeshGL, FlatShadingRefreshesAStaticDefinitionsGPUCopy) {
  TVantrelCube* cube = MakeCube();
  LookFrom({1.5f, 1.2f, 2.0f});
  Draw(cube); // builds the GPU copy
  auto* def = dynamic_cast<TMeshDef*>(cube->Def());
  TMeshBufferObject* object = def->GetBufferObject();
  ASSERT_NE(object, nullptr);
  // Scramble the definition's tangents; the refresh after the shading change must upload the new
  // ones the definition computes.
  for (int32_t v = 0; v < def->GetVertexSource()->Length(); ++v)
    def->GetVertexSource()->SetTangents(v, {9, 9, 9});
  cube->SetFlatShading(true);
  const TVertexBuffer& vertices = *def->GetVertexSource();
  std::vector<uint8_t> uploaded(size_t(vertices.Size()));
  TBufferObject* buffer = object->GetComponent(TMeshBufferComponent::All);
  glBindBuffer(GL_ARRAY_BUFFER, buffer->Handle());
  glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(uploaded.size()), uploaded.data());
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  EXPECT_EQ(std::memcmp(uploaded.data(), vertices.Buffer(), uploaded.size()), 0);
  EXPECT_NE(vertices.GetTangents(0), (TPoint3D{9, 9, 9}));
  Draw(cube);
  ExpectColor(Probe({0, 0, 0.5f}), 0xFF0000FF);
}

TEST_F(MeshGL, ByteAndFloatColoursReadBackRed) {
  // A quad whose vertices carry the byte colour red reads back red, as does one with float red.
  for (const TVertexFormat colorSlot : {TVertexFormat::Color0, TVertexFormat::ColorF0}) {
    SCOPED_TRACE(int(colorSlot));
    auto* def = New<TMeshDef>();
    def->SetVertexFormat({TVertexFormat::Vertex, colorSlot});
    def->AddPolygon(T3DPolygon{{-0.5f, -0.5f, 0}, {-0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, -0.5f, 0}});
    for (int32_t v = 0; v < def->GetVertexSource()->Length(); ++v)
      def->GetVertexSource()->SetColor(0, v, 0xFFFF0000);
    auto* mesh = New<TVantrelMesh>(FRoot.get());
    mesh->SetParent(FRoot.get());
    mesh->SetMaterialSource(FSource.get());
    mesh->LoadFromDefinition(def);
    LookFrom({0, 0, 3});
    Draw(mesh);
    ExpectColor(Probe({0, 0, 0}), 0xFFFF0000);
    mesh->Free();
  }
}

} // namespace

TEST_F(MeshGL, DefaultMaterialSettingsReachEverySubMesh) {
  {
    TOwned<TComponent> owner = MakeOwned<TComponent>(nullptr);
    auto* parent = New<TVantrelMesh>(owner.get());
    auto* child = New<TVantrelMesh>(owner.get());
    child->SetParent(parent);
    ASSERT_EQ(parent->Meshes().size(), 1u);
    auto* parentSource = New<TVantrelDefaultMaterialSource>(owner.get());
    parentSource->SetName("ParentSrc");
    auto* childSource = New<TVantrelDefaultMaterialSource>(owner.get());
    childSource->SetName("ChildSrc");
    parent->SetMaterialSource(parentSource);
    child->SetMaterialSource(childSource);
    const std::vector<TVantrelDefaultMaterialSource*> sources{parentSource, childSource};

    parent->SetPBRProperties(0.25f, 0.5f, 0.1f, 0.2f, 0.3f);
    for (TVantrelDefaultMaterialSource* source : sources) {
      SCOPED_TRACE(source->Name());
      EXPECT_FLOAT_EQ(source->GetReflectionPower(), 0.25f);
      EXPECT_FLOAT_EQ(source->GetRefractionPower(), 0.5f);
      EXPECT_FLOAT_EQ(source->GetAOBias(), 0.1f);
      EXPECT_FLOAT_EQ(source->GetRoughnessBias(), 0.2f);
      EXPECT_FLOAT_EQ(source->GetMetallicBias(), 0.3f);
    }

    // Only a render-pass controller is taken as the environment pass.
    auto* pass = New<meshgl::TIdlePass>(owner.get());
    auto* other = New<meshgl::TIdlePass>(owner.get());
    parent->SetEnvironmentMapping(owner.get(), 1, 1);
    EXPECT_FALSE(childSource->GetEnvironment());
    parent->SetEnvironmentMapping(pass, 0.75f, 0.5f);
    for (TVantrelDefaultMaterialSource* source : sources) {
      SCOPED_TRACE(source->Name());
      EXPECT_EQ(source->GetEnvironmentPass(), pass);
      EXPECT_TRUE(source->GetEnvironment());
      EXPECT_FLOAT_EQ(source->GetReflectionPower(), 0.75f);
      EXPECT_FALSE(source->GetReflections());
    }
    parent->UnsetEnvironmentMapping(other); // another pass leaves the mapping alone
    EXPECT_EQ(childSource->GetEnvironmentPass(), pass);
    parent->UnsetEnvironmentMapping(pass);
    for (TVantrelDefaultMaterialSource* source : sources) {
      SCOPED_TRACE(source->Name());
      EXPECT_EQ(source->GetEnvironmentPass(), nullptr);
      EXPECT_FALSE(source->GetEnvironment());
      EXPECT_FLOAT_EQ(source->GetReflectionPower(), 0);
      EXPECT_FLOAT_EQ(source->GetRefractionPower(), 0);
    }
    parent->SetEnvironmentMapping(pass, 0.75f, 0.5f);
    parent->UnsetAllEnvironmentMappings();
    EXPECT_EQ(childSource->GetEnvironmentPass(), nullptr);

    // A behaviour attached through the parent reaches the child, which alone answers for it
    // once the parent's source lets it go.
    auto* behaviour = New<meshgl::TIdleBehaviour>(owner.get());
    behaviour->SetName("Beh");
    EXPECT_FALSE(parent->MaterialBehaviourAttached(behaviour));
    parent->AttachMaterialBehaviour(behaviour);
    EXPECT_TRUE(childSource->MaterialBehaviourAttached(behaviour));
    parentSource->DetachMaterialBehaviour(behaviour);
    EXPECT_TRUE(parent->MaterialBehaviourAttached(behaviour));
    parent->DetachMaterialBehaviour(behaviour);
    EXPECT_FALSE(parent->MaterialBehaviourAttached(behaviour));

    // The source is published as a reference.
    const TPropInfo* info = GetPropInfo(TVantrelMesh::StaticClass(), "MaterialSource");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Style, TPropStyle::Reference);
  }
  TVantrelContext::FreePrograms();
  TShaderManager::Clear();
}

// The read-only lists: material sources (recursive, each once), behaviours of default sources,
// and the direct sub-meshes; removals leave nothing dangling.
TEST_F(MeshGL, ReadOnlyCollectionsListWhatTheMeshUses) {
  {
    TOwned<TComponent> owner = MakeOwned<TComponent>(nullptr);
    auto* parent = New<TVantrelMesh>(owner.get());
    auto* child = New<TVantrelMesh>(owner.get());
    child->SetParent(parent);
    child->SetQualifiedName("child-key");
    auto* grandchild = New<TVantrelMesh>(owner.get());
    grandchild->SetParent(child);
    grandchild->SetName("Grand");
    auto* parentSource = New<TVantrelDefaultMaterialSource>(owner.get());
    parentSource->SetName("ParentSrc");
    auto* childSource = New<TVantrelDefaultMaterialSource>(owner.get());
    childSource->SetName("ChildSrc");
    parent->SetMaterialSource(parentSource);
    child->SetMaterialSource(childSource);
    grandchild->SetMaterialSource(parentSource);

    TVantrelMeshMaterialCollection* materials = parent->Materials();
    ASSERT_EQ(materials->Count(), 2);
    EXPECT_EQ(materials->Item(0)->Material(), parentSource);
    EXPECT_EQ(materials->Item(1)->GetDisplayName(), "ChildSrc");
    materials->Item(1)->SetDisplayName("ignored");
    EXPECT_EQ(materials->Item(1)->GetDisplayName(), "ChildSrc");
    EXPECT_TRUE(materials->MaterialExists(childSource));

    // Only the direct sub-meshes; an unnamed one shows its qualified name.
    ASSERT_EQ(parent->MeshCollection()->Count(), 1);
    EXPECT_EQ(parent->MeshCollection()->Item(0)->GetDisplayName(), "child-key");
    EXPECT_EQ(child->MeshCollection()->Item(0)->GetDisplayName(), "Grand");
    EXPECT_TRUE(child->MeshCollection()->MeshExists(grandchild));

    auto* behaviour = New<meshgl::TIdleBehaviour>(owner.get());
    parent->AttachMaterialBehaviour(behaviour);
    ASSERT_EQ(parent->Behaviours()->Count(), 1);
    TVantrelMeshBehaviourCollectionItem* item = parent->Behaviours()->Item(0);
    EXPECT_EQ(item->GetDisplayName(), behaviour->GetUniqueID());
    behaviour->SetName("Beh");
    EXPECT_EQ(item->GetDisplayName(), "Beh");
    // The item's setter detaches from, and attaches to, the whole mesh.
    item->SetBehaviour(nullptr);
    EXPECT_FALSE(parent->MaterialBehaviourAttached(behaviour));
    item->SetBehaviour(behaviour);
    EXPECT_TRUE(childSource->MaterialBehaviourAttached(behaviour));

    // An item takes another item's reference; an item of another class is refused.
    TVantrelMeshCollectionItem* meshItem = parent->MeshCollection()->Item(0);
    auto* added = static_cast<TVantrelMeshCollectionItem*>(parent->MeshCollection()->Add());
    added->Assign(meshItem);
    EXPECT_EQ(added->Mesh(), child);
    EXPECT_THROW(added->Assign(item), EConvertError);

    // A freed source or sub-mesh leaves the lists when they are next read.
    childSource->Free();
    EXPECT_EQ(parent->Materials()->Count(), 1);
    EXPECT_FALSE(parent->Materials()->MaterialExists(childSource));
    child->Free();
    EXPECT_EQ(parent->MeshCollection()->Count(), 0);
    parent->DetachMaterialBehaviour(behaviour);
  }
  TVantrelContext::FreePrograms();
  TShaderManager::Clear();
}

TEST_F(MeshGL, DrawCubeDrawsGreenEdgesAroundAClearCentre) {
  LookFrom({0, 0, 3});
  ASSERT_TRUE(Context()->BeginSceneRendering());
  Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, ClearColor, 1, 0);
  Context()->SetMatrix(TMatrix3D::Identity());
  Context()->DrawCube({0, 0, 0}, {1, 1, 1}, 1, 0xFF00FF00);
  Context()->DrawLine({-0.25f, -0.25f, 0.5f}, {0.25f, -0.25f, 0.5f}, 1, 0xFF0000FF);
  Context()->EndSceneRendering();
  const struct {
    const char* Name;
    TPoint3D Point;
    TAlphaColor Color;
  } probes[] = {
      {"front top edge", {0, 0.5f, 0.5f}, 0xFF00FF00},
      {"front left edge", {-0.5f, 0, 0.5f}, 0xFF00FF00},
      {"back right edge", {0.5f, 0.1f, -0.5f}, 0xFF00FF00},
      {"line", {0, -0.25f, 0.5f}, 0xFF0000FF},
  };
  for (const auto& probe : probes) {
    SCOPED_TRACE(probe.Name);
    EXPECT_TRUE(vtest::ColorAround(*Context(), probe.Point, probe.Color, 0));
  }
  ExpectColor(Probe({0, 0, 0}), ClearColor);
  {
    // The source hands its colour to its material, before and after the material exists.
    TOwned<TColorMaterialSource> source = MakeOwned<TColorMaterialSource>(nullptr);
    source->SetColor(0xFF123456);
    EXPECT_EQ(CheckedCast<TColorMaterial>(source->GetMaterial())->GetColor(), 0xFF123456u);
  }
  // The colour material's shader pair is the manager's for the process; the test gives it back.
  TVantrelContext::FreePrograms();
  TShaderManager::Clear();
}

TEST_F(MeshGL, ShowNormalsDrawsNormalAndTangentLines) {
  auto* mesh = New<TVantrelMesh>(FRoot.get());
  mesh->SetParent(FRoot.get());
  TVertexBuffer& vertices = mesh->GetMeshData()->VertexBuffer();
  vertices.SetLength(1);
  vertices.SetNormals(0, {1, 0, 0});
  vertices.SetTangents(0, {0, 1, 0});
  mesh->SetNormalsColor(0xFFFF0000);
  LookFrom({0, 0, 3});
  Draw(mesh);
  EXPECT_FALSE(vtest::ColorAround(*Context(), {0.15f, 0, 0}, 0xFFFF0000, 0)) << "nothing without ShowNormals";
  mesh->SetShowNormals(true);
  Draw(mesh);
  EXPECT_TRUE(vtest::ColorAround(*Context(), {0.15f, 0, 0}, 0xFFFF0000, 0)) << "the normal in NormalsColor";
  EXPECT_TRUE(vtest::ColorAround(*Context(), {0, 0.15f, 0}, 0xFF0000FF, 0))
      << "the tangent with red and blue exchanged";
  EXPECT_TRUE(vtest::ColorAround(*Context(), {0.3f, 0.3f, 0}, ClearColor, 0));
  TVantrelContext::FreePrograms();
  TShaderManager::Clear();
}
