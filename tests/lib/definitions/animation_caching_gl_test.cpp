// Cached animation frames on the GPU: the positions an uncompressed cache uploads.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <epoxy/gl.h>

#include "Vantrel.Units.h"
#include "context/Vantrel.Context.Buffers.h"
#include "context/Vantrel.Context.h"
#include "definitions/Vantrel.DefTypes.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Model.h"
#include "support/color_probe.h"
#include "support/fake_clock.h"
#include "support/gl_fixture.h"
#include "support/skinned_model.h"
#include "support/test_viewport.h"
#include "support/vertex_color_material.h"
#include "ui/animations.h"
#include "ui/bitmap.h"

namespace {

using namespace vantrel;


// The body's bind-pose vertices, enlarged by 2, all on Arm: frame k moves them by (0, 2k/59, 0).
const TPoint3D BindVertices[] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
constexpr TAlphaColor ClearColor = 0xFF202020;
constexpr TAlphaColor White = 0xFFFFFFFF;

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
    FSource = MakeOwned<vtest::TVertexColorSource>(nullptr);
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
    FDefs = std::make_unique<vtest::TSkinnedModel>();
    FDefs->BuildDefinitions(true, 2);
    // The framework's front faces run clockwise; the fixture's triangle runs the other way seen
    // from the camera, so it is drawn from both sides.
    FDefs->Body->SetFaceOrientation(TFaceOrientation::TwoFace);
    FDefs->ModelDef->SetIsStandalone(true);
    FModel = MakeOwned<TVantrelModel>(nullptr);
    FModel->LoadFromDefinition(FDefs->ModelDef);
    // After loading, so that the loaded controls take the viewport too.
    FModel->SetNewViewport(FViewport.get());
    Body()->SetMaterialSource(FSource.get());
    FDefs->ModelDef->CacheAnimations({}, AFlags, FModel.get());
    ASSERT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::Ready);
  }

  TVantrelMesh* Body() { return dynamic_cast<TVantrelMesh*>(FModel->FindControlByDeepSearch("Body")); }

  // The body alone, drawn from the front onto the clear colour.
  void DrawBody() {
    Context()->SetCameraMatrix(TMatrix3D::CreateLookAtRH({1, 2, 9}, {1, 2, 0}, {0, 1, 0}));
    Context()->SetCameraAngleOfView(45);
    ASSERT_TRUE(Context()->BeginSceneRendering());
    Context()->Clear({TClearTarget::Color, TClearTarget::Depth}, ClearColor, 1, 0);
    Body()->RenderInternal();
    Context()->EndSceneRendering();
  }

  TAlphaColor Probe(const TPoint3D& APoint) { return vtest::CameraPixel(*Context(), APoint); }

  // The centre of the body's triangle in frame k.
  static TPoint3D Centre(int32_t AFrame) { return TPoint3D{2.0f / 3, 2.0f / 3, 0} + Shift(AFrame); }

  vtest::TFakeClock FClock;
  TOwned<vtest::TTestViewport3D> FViewport;
  TOwned<vtest::TVertexColorSource> FSource;
  std::unique_ptr<vtest::TSkinnedModel> FDefs;
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

// The mesh of a model whose running animation is cached draws the chosen frame, not the skin:
// the last frame by a fixed index, frame 30 by the clock at half the run, from an uncompressed
// and from a compressed cache alike.
TEST_F(AnimationCachingGL, TheRunningAnimationDrawsItsCachedFrame) {
  for (const TAnimationCachingFlags flags :
       {TAnimationCachingFlags{TAnimationCachingFlag::VertexPosition},
        TAnimationCachingFlags{TAnimationCachingFlag::VertexPosition, TAnimationCachingFlag::Compressed}}) {
    SCOPED_TRACE(flags.Contains(TAnimationCachingFlag::Compressed) ? "compressed" : "uncompressed");
    LoadAndCache(flags);
    TVantrelAnimation* walk = FModel->AnimationManager()->PlayAnimation("Walk");
    ASSERT_NE(walk, nullptr);
    // No skinning runs while the cache is ready: only the frame moves the triangle.
    walk->SetFixedCacheFrame(59);
    DrawBody();
    EXPECT_TRUE(vtest::ChannelsNear(Probe(Centre(59)), White)) << std::hex << Probe(Centre(59));
    EXPECT_TRUE(vtest::ChannelsNear(Probe(Centre(0)), ClearColor)) << std::hex << Probe(Centre(0));

    walk->UnsetFixedCacheFrame();
    FClock.Jump(500);
    TVantrelAnimationManager::ForceStep(0);
    DrawBody();
    EXPECT_TRUE(vtest::ChannelsNear(Probe(Centre(30)), White)) << std::hex << Probe(Centre(30));
    EXPECT_TRUE(vtest::ChannelsNear(Probe(Centre(0) - TPoint3D{0, 0.5f, 0}), ClearColor));
    EXPECT_TRUE(vtest::ChannelsNear(Probe(Centre(59) + TPoint3D{0, 0.5f, 0}), ClearColor));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
}

} // namespace
