// Cached animation frames on the GPU: the positions an uncompressed cache uploads.

#include <gtest/gtest.h>

#include <vector>

#include <epoxy/gl.h>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.h"
#include "lib/definitions/caching_model_fixture.h"
#include "scene/Vantrel.Model.h"
#include "support/gl_fixture.h"
#include "support/test_viewport.h"
#include "support/vertex_color_material.h"
#include "ui/animations.h"

namespace cachinggl {

class TVertexColorSource : public ui::TMaterialSource {
  RTL_CLASS(TVertexColorSource, ui::TMaterialSource)
public:
  using TMaterialSource::TMaterialSource;

protected:
  rtl::TOwned<ui::TMaterial> CreateMaterial() override { return rtl::MakeOwned<vtest::TVertexColorMaterial>(); }
};
RTL_DEFINE_CLASS(TVertexColorSource, "Test.AnimationCachingGL")

} // namespace cachinggl

namespace {

using namespace vantrel;


// The body's bind-pose vertices, enlarged by 2, all on Arm: frame k moves them by (0, 2k/59, 0).
const TPoint3D BindVertices[] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};

TPoint3D Shift(int32_t AFrame) {
  return {0, 2.0f * float(AFrame) / 59, 0};
}

class AnimationCachingGL : public vtest::ContextGLTest {
protected:
  void SetUp() override {
    ContextGLTest::SetUp();
    ui::FreeAniThread();
    InitializeUnits();
    FViewport = MakeOwned<vtest::TTestViewport3D>();
    FViewport->CreateContext(64, 64);
    FSource = MakeOwned<cachinggl::TVertexColorSource>(nullptr);
  }
  void TearDown() override {
    FModel.reset();
    FDefs.reset();
    FSource.reset();
    FViewport.reset();
    ui::FreeAniThread();
    FinalizeUnits();
    ContextGLTest::TearDown();
  }

  TVantrelContext* Context() { return CheckedCast<TVantrelContext>(FViewport->GetContext()); }

  // The fixture with every vertex on Arm, enlarged, loaded and cached with AFlags.
  void LoadAndCache(TAnimationCachingFlags AFlags) {
    FModel.reset();
    FDefs = std::make_unique<vtest::TCachingModelDef>(true, 2);
    FDefs->Model->SetIsStandalone(true);
    FModel = MakeOwned<TVantrelModel>(nullptr);
    FModel->LoadFromDefinition(FDefs->Model);
    // After loading, so that the loaded controls take the viewport too.
    FModel->SetNewViewport(FViewport.get());
    Body()->SetMaterialSource(FSource.get());
    FDefs->Model->CacheAnimations({}, AFlags, FModel.get());
    ASSERT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::Ready);
  }

  TVantrelMesh* Body() { return dynamic_cast<TVantrelMesh*>(FModel->FindControlByDeepSearch("Body")); }

  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<cachinggl::TVertexColorSource> FSource;
  std::unique_ptr<vtest::TCachingModelDef> FDefs;
  TOwned<TVantrelModel> FModel;
};

TEST_F(AnimationCachingGL, UncompressedFramesHoldTheSkinnedPositions) {
  LoadAndCache({TAnimationCachingFlag::VertexPosition});
  const TAnimationBuffer* buffer = FDefs->Walk->GetBuffers()->Items(FDefs->Body);
  ASSERT_EQ(buffer->GetFrames().Count(), 60);
  for (int32_t k = 0; k < 60; ++k) {
    SCOPED_TRACE(k);
    TMeshBufferObject* frame = buffer->GetFrames()[k];
    ASSERT_TRUE(frame->ComponentAvailable(TMeshBufferComponent::Vertex));
    TPoint3D uploaded[3];
    glBindBuffer(GL_ARRAY_BUFFER, frame->GetComponent(TMeshBufferComponent::Vertex)->Handle());
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(uploaded), uploaded);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    for (int v = 0; v < 3; ++v) {
      const TPoint3D expected = BindVertices[v] + Shift(k);
      EXPECT_NEAR(uploaded[v].X, expected.X, 1e-5);
      EXPECT_NEAR(uploaded[v].Y, expected.Y, 1e-5);
      EXPECT_NEAR(uploaded[v].Z, expected.Z, 1e-5);
    }
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
