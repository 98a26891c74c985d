// The mirror and refraction passes on llvmpipe through whole frames: the mirrored camera and its
// matrices, clip planes and states around each pass, the refraction's outputs and its error log,
// the properties with their compatibility stream names, and the defaults.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "pass_frame.h"
#include "rendering/Vantrel.Controller.Passes.Environment.h"
#include "rendering/Vantrel.Controller.Passes.Reflection.h"
#include "rendering/Vantrel.Controller.Passes.Refraction.h"
#include "rtl/exceptions.h"
#include "rtl/form_text.h"
#include "support/log_capture.h"

namespace {

using namespace rtest;

// The Part's example: seen from (0, -5, -10), the default mirror puts the pass camera at
// (0, 5, -10), 48.19 degrees wide.
const TMatrix3D MirrorView = Rows({-1, 0, 0, 0, 0, 0.894427f, 0.447214f, 0, 0, 0.447214f, -0.894427f, 0, 0, 0,
                                   -11.180340f, 1});
const TMatrix3D MirrorProjection =
    Rows({2.236068f, 0, 0, 0, 0, 2.236068f, 0, 0, 0, 0, -1.01f, -1, 0, 0, -1.01f, 0});

TMatrix3D Projection45() {
  return TMatrix3D::CreatePerspectiveFovRH(float(std::numbers::pi / 4), 1, 1, 101);
}

class MirrorGL : public PassFrameGL {};

TEST_F(MirrorGL, MirrorCameraAndMatrices) {
  TCamera* camera = UseCamera({0, -5, -10});
  auto* pass = MakePass<TVantrelRenderPassReflection>("Mirror");
  vtest::TPassProbe* probe = AddProbe({0, -2, 0});
  Frame();
  const TRenderPass* entry = EntryOf(*pass);
  ASSERT_NE(entry, nullptr);
  const auto during = probe->RecordsOf(entry);
  ASSERT_EQ(during.size(), 1u);
  const vtest::TProbeRecord& record = during[0];
  EXPECT_EQ(record.ViewportCamera, pass->PassCamera());
  EXPECT_TRUE(PointNear(record.ViewportCameraPosition, {0, 5, -10}));
  EXPECT_NEAR(record.AngleOfView, 2 * std::atan(5 / std::sqrt(125.0)) * 180 / std::numbers::pi, 1e-4);
  EXPECT_NEAR(record.AngleOfView, 48.189685, 1e-4);
  EXPECT_TRUE(MatrixNear(record.Camera, MirrorView));
  EXPECT_TRUE(MatrixNear(record.Projection, MirrorProjection));

  // The texture matrix holds the projection the image was rendered with.
  EXPECT_TRUE(MatrixNear(pass->GetStoredViewMatrix(), MirrorView));
  EXPECT_TRUE(MatrixNear(pass->GetProjectionMatrix(pass->GetRenderPassContext()), MirrorProjection));
  TContext3D* context = pass->GetRenderPassContext();
  EXPECT_TRUE(MatrixNear(pass->GetTextureMatrix(context, false),
                         Rows({-2.236068f, 0, 0, 0, 0, 2.0f, -0.451686f, -0.447214f, 0, 1.0f, 0.903371f, 0.894427f,
                               0, 0, 10.282143f, 11.180340f})));
  EXPECT_TRUE(MatrixNear(pass->GetTextureMatrix(context, true),
                         Rows({-1.118034f, 0, 0, 0, -0.223607f, 0.776393f, -0.449450f, -0.447214f, 0.447214f,
                               0.947214f, 0.898899f, 0.894427f, 5.590170f, 5.590170f, 10.731242f, 11.180340f})));
  EXPECT_EQ(FViewport->Camera(), camera);
  EXPECT_EQ(pass->GetCamera(), camera);
}

TEST_F(MirrorGL, AMirrorFacingAwayFlipsTheSavedCameraMatrix) {
  UseCamera({0, 5, -10});
  auto* pass = MakePass<TVantrelRenderPassReflection>("Mirror");
  vtest::TPassProbe* probe = AddProbe({0, -2, 0});
  Frame();
  const auto during = probe->RecordsOf(EntryOf(*pass));
  ASSERT_EQ(during.size(), 1u);
  const TMatrix3D flipped = Rows({1, 0, 0, 0, 0, 0.894427f, 0.447214f, 0, 0, 0.447214f, -0.894427f, 0, 0, 0,
                                  -11.180340f, 1});
  EXPECT_TRUE(MatrixNear(during[0].Camera, flipped));
  EXPECT_NEAR(during[0].AngleOfView, 45, 1e-5);
  EXPECT_TRUE(MatrixNear(during[0].Projection, Projection45()));
  EXPECT_TRUE(MatrixNear(pass->GetStoredViewMatrix(), flipped));
  EXPECT_TRUE(MatrixNear(pass->GetProjectionMatrix(pass->GetRenderPassContext()), Projection45()));
  EXPECT_TRUE(PointNear(pass->PassCamera()->AbsolutePosition(), {0, 5, -10}));
}

} // namespace
