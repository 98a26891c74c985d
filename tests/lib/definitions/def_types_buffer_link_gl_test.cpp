#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <epoxy/gl.h>

#include "context/Vantrel.Context.Buffers.h"
#include "definitions/Vantrel.DefTypes.h"
#include "gl/names.h"
#include "rtl/exceptions.h"
#include "rtl/threads.h"
#include "support/gl_fixture.h"

namespace {

using namespace vantrel;

class MeshBufferLink : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    InitializeDefTypes();
  }
  void TearDown() override {
    FinalizeDefTypes();
    ContextGLTest::TearDown();
  }

  static TOwned<TMeshDef> Triangle() {
    auto mesh = MakeOwned<TMeshDef>();
    mesh->SetId("tri");
    mesh->AddPolygon(T3DPolygon{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    return mesh;
  }

  static int64_t Buffers() { return gl::LiveNames(gl::TNameKind::Buffer); }
};

TEST_F(MeshBufferLink, StaticTwiceBuildsOneObjectAndRebuildsKeepTheKind) {
  auto mesh = Triangle();
  const int64_t before = Buffers();
  mesh->SetIsStatic(true);
  TMeshBufferObject* built = mesh->GetBufferObject();
  ASSERT_NE(built, nullptr);
  EXPECT_EQ(built->StaticBuffer(), built);
  EXPECT_FALSE(mesh->IsBuildPending());
  mesh->SetIsStatic(true);
  EXPECT_EQ(mesh->GetBufferObject(), built);
  EXPECT_EQ(Buffers() - before, 2); // the vertices and the indices

  built->SetKind(TVantrelPrimitivesKind::Lines);
  mesh->UpdateMeshBuffer();
  ASSERT_NE(mesh->GetBufferObject(), nullptr);
  EXPECT_EQ(mesh->GetBufferObject()->Kind(), TVantrelPrimitivesKind::Lines);
  EXPECT_EQ(Buffers() - before, 2);
  mesh->SetIsStatic(false);
  EXPECT_EQ(mesh->GetBufferObject(), nullptr);
  EXPECT_EQ(Buffers(), before);
}

TEST_F(MeshBufferLink, ABorrowerNeverFreesTheLendersBuffers) {
  auto lender = Triangle();
  lender->SetIsStatic(true);
  TMeshBufferObject* lent = lender->GetBufferObject();
  ASSERT_NE(lent, nullptr);
  const int64_t before = Buffers();
  const uint32_t vertexName = lent->GetComponent(TMeshBufferComponent::All)->Handle();
  {
    auto borrower = MakeOwned<TMeshDef>();
    borrower->LinkMeshBuffer(lent, lender->GetVertexSource(), lender->GetIndexSource());
    EXPECT_TRUE(borrower->GetIsStatic());
    EXPECT_EQ(borrower->GetVertexSource(), lender->GetVertexSource());
    // Both unlink first instead of freeing shared buffers or building from borrowed sources.
    borrower->UpdateMeshBuffer();
    EXPECT_FALSE(borrower->GetBuffersLinked());
    EXPECT_EQ(borrower->GetVertexSource(), nullptr);
    borrower->LinkMeshBuffer(lent, lender->GetVertexSource(), lender->GetIndexSource());
    borrower->SetIsStatic(false);
    borrower->LinkMeshBuffer(lent, lender->GetVertexSource(), lender->GetIndexSource());
  }
  EXPECT_EQ(Buffers(), before);
  EXPECT_EQ(lender->GetBufferObject(), lent);
  EXPECT_TRUE(glIsBuffer(vertexName));
  EXPECT_NE(lender->GetVertexSource(), nullptr);
}

TEST_F(MeshBufferLink, BuildsRefuseIndicesBeyondTheVertices) {
  auto mesh = MakeOwned<TMeshDef>();
  mesh->SetId("bad");
  mesh->FromJSON(nullptr, *std::unique_ptr<TJSONObject>(static_cast<TJSONObject*>(
                              TJSONValue::ParseJSONValue(R"({"VertexFormat": "Vertex", "VertexCount": 3,
        "VerticesDataType": "Values", "Vertices": {}, "IndexCount": 3, "IndicesDataType": "Values",
        "Indices": [0, 1, 99]})", true).release())));
  const int64_t before = Buffers();
  try {
    mesh->SetIsStatic(true);
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "invalid index 99 in mesh definition \"bad\" - vertex count 3");
  }
  EXPECT_EQ(mesh->GetBufferObject(), nullptr);
  EXPECT_EQ(Buffers(), before);
}

TEST_F(MeshBufferLink, WorkQueuedFromAWorkerDiesWithItsDefinition) {
  auto mesh = Triangle();
  std::thread worker([&] { mesh->SetIsStatic(true); });
  worker.join();
  EXPECT_TRUE(mesh->GetIsStatic());
  EXPECT_EQ(mesh->GetBufferObject(), nullptr);
  mesh.reset();
  const int64_t before = Buffers();
  CheckSynchronize();
  EXPECT_EQ(Buffers(), before);

  auto kept = Triangle();
  std::thread second([&] { kept->SetIsStatic(true); });
  second.join();
  CheckSynchronize();
  EXPECT_NE(kept->GetBufferObject(), nullptr);
}

} // namespace
