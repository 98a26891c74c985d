// The mirror and refraction passes on llvmpipe through whole frames: the mirrored camera and its
// matrices, clip planes and states around each pass, the refraction's outputs and its error log,
// the properties with their compatibility stream names, and the defaults.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
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

// What the pass's context holds when OnEndRender fires, after the pass's own finishing step.
struct TAfterPass : TObject {
  bool Seen = false;
  bool ClipActive = true;
  GLint CullFace = 0;
  GLint CullMode = 0;
  void EndRender(TObject*, TContext3D* AContext, int32_t, TRenderPass*) {
    auto* context = dynamic_cast<TVantrelContext*>(AContext);
    Seen = context != nullptr;
    if (!context)
      return;
    ClipActive = context->IsClippingPlaneActive(0);
    CullFace = glIsEnabled(GL_CULL_FACE);
    glGetIntegerv(GL_CULL_FACE_MODE, &CullMode);
  }
};

class MirrorGL : public PassFrameGL {};

// Its matrix set-up raises with the message it holds.
class TFailingRefraction : public TVantrelRenderPassRefraction {
  RTL_CLASS(TFailingRefraction, TVantrelRenderPassRefraction)
public:
  explicit TFailingRefraction(TComponent* AOwner, std::string AId = {})
      : TVantrelRenderPassRefraction(AOwner, std::move(AId)) {}
  std::string Message = "boom";
  void SetupMatrices(TContext3D*) override { throw Exception(Message); }
};
RTL_DEFINE_CLASS(TFailingRefraction, "Test.Reflection")

const TMatrix3D Bias = Rows({0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0.5f, 0.5f, 0.5f, 1});

GLint InternalFormat(const TTexture* ATexture) {
  GLint previous = 0, format = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, GLuint(ATexture->Handle()));
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  glBindTexture(GL_TEXTURE_2D, GLuint(previous));
  return format;
}

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

TEST_F(MirrorGL, ClipPlanesAndStatesAroundEachPass) {
  struct TRow {
    const char* Name;
    bool Reflection;
    std::function<void(TVantrelRenderPassController&)> Setup;
    bool Active;
    TPlaneF Plane;
  };
  const TRow rows[] = {
      {"reflection, default mirror", true, [](TVantrelRenderPassController&) {}, true, {0, -1, 0, 0}},
      {"reflection, mirror at (0, 1, 0)", true,
       [](TVantrelRenderPassController& APass) {
         TPosition3D position(TPoint3D{0, 1, 0});
         static_cast<TVantrelRenderPassReflection&>(APass).SetMirrorPosition(&position);
       },
       true, {0, -1, 0, 1}},
      {"refraction, defaults", false, [](TVantrelRenderPassController&) {}, true, {0, 1, 0, 0}},
      {"refraction, surface at (0, 2, 0) cut off 0.5", false,
       [](TVantrelRenderPassController& APass) {
         auto& pass = static_cast<TVantrelRenderPassRefraction&>(APass);
         TPosition3D position(TPoint3D{0, 2, 0});
         pass.SetSurfacePosition(&position);
         pass.SetSurfaceCutOff(0.5f);
       },
       true, {0, 1, 0, -1.5f}},
      {"refraction, clipping off over an active plane", false,
       [](TVantrelRenderPassController& APass) {
         static_cast<TVantrelRenderPassRefraction&>(APass).SetClippingEnabled(false);
         dynamic_cast<TVantrelContext*>(APass.GetRenderPassContext())->ActivateClipPlane(0, {1, 0, 0, 3});
       },
       false, {}},
  };
  UseCamera({0, -5, -10});
  vtest::TPassProbe* probe = AddProbe({0, -2, 0});
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    TVantrelRenderPassController* pass =
        row.Reflection ? static_cast<TVantrelRenderPassController*>(MakePass<TVantrelRenderPassReflection>("Row"))
                       : MakePass<TVantrelRenderPassRefraction>("Row");
    row.Setup(*pass);
    TAfterPass after;
    pass->OnEndRender = TRenderPassEvent(&after, &TAfterPass::EndRender);
    probe->Records.clear();
    Frame();
    const auto during = probe->RecordsOf(EntryOf(*pass));
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0].ClipActive, row.Active);
    if (row.Active)
      EXPECT_EQ(during[0].Clip, row.Plane);
    ASSERT_TRUE(after.Seen);
    EXPECT_FALSE(after.ClipActive);
    EXPECT_EQ(after.CullFace, GL_TRUE);
    EXPECT_EQ(after.CullMode, GL_BACK);
    auto* context = dynamic_cast<TVantrelContext*>(pass->GetRenderPassContext());
    EXPECT_FALSE(context->IsClippingPlaneActive(0)) << "after the frame";
    pass->OnEndRender = nullptr;
    pass->Free();
  }
}

TEST_F(MirrorGL, RefractionMatrixAndDepthOutput) {
  UseCamera({0, -5, -10});
  auto* pass = MakePass<TVantrelRenderPassRefraction>("Water");
  AddProbe({0, -2, 0});
  Frame();
  for (const bool bias : {false, true}) {
    SCOPED_TRACE(bias);
    EXPECT_TRUE(MatrixNear(pass->GetTextureMatrix(pass->GetRenderPassContext(), bias), Bias));
  }
  TTexture* depth = pass->GetOutputDepthTexture();
  ASSERT_NE(depth, nullptr);
  EXPECT_EQ(depth, dynamic_cast<TCompositeRenderer*>(pass->GetRenderer())->GetPositionTexture());
  EXPECT_EQ(InternalFormat(depth), GL_RGBA16F);

  pass->SetRendererType(TRendererType::LegacyRenderer);
  EXPECT_THROW(
      {
        try {
          pass->GetOutputDepthTexture();
        } catch (const EInvalidCast& E) {
          EXPECT_EQ(E.Message(), "Invalid class typecast");
          throw;
        }
      },
      EInvalidCast);
  auto standalone = TOwned<TVantrelRenderPassController>(
      TVantrelRenderPassController::CreateController(TVantrelRenderPassRefraction::StaticClass(), nullptr, ""));
  EXPECT_EQ(static_cast<TVantrelRenderPassRefraction&>(*standalone).GetOutputDepthTexture(), nullptr);
}

TEST_F(MirrorGL, ARefractionErrorIsLoggedOncePerMessageAndTheFrameGoesOn) {
  UseCamera({0, -5, -10});
  auto* pass = MakePass<TFailingRefraction>("Water");
  vtest::TPassProbe* probe = AddProbe({0, -2, 0});
  // The failed set-up leaves the context's camera as it was: the probe is drawn whatever it sees.
  FViewport->SetFrustumCulling(false);
  vtest::TLogCapture log;
  auto errors = [&] {
    std::vector<std::string> lines;
    for (const std::string& line : log.Lines())
      if (line.rfind("TVantrelRenderPassRefraction.DoOnRenderPass: ", 0) == 0)
        lines.push_back(line);
    return lines;
  };
  EXPECT_NO_THROW(Frame());
  EXPECT_NO_THROW(Frame());
  EXPECT_EQ(probe->RecordsOf(EntryOf(*pass)).size(), 2u);
  EXPECT_EQ(errors(), std::vector<std::string>{"TVantrelRenderPassRefraction.DoOnRenderPass: boom"});
  pass->Message = "bang";
  EXPECT_NO_THROW(Frame());
  EXPECT_NO_THROW(Frame());
  EXPECT_EQ(errors(), (std::vector<std::string>{"TVantrelRenderPassRefraction.DoOnRenderPass: boom",
                                                "TVantrelRenderPassRefraction.DoOnRenderPass: bang"}));
}

TEST_F(MirrorGL, FreeingTheTargetOrTheCameraClearsTheReference) {
  TCamera* camera = UseCamera({0, -5, -10});
  auto* pass = MakePass<TVantrelRenderPassReflection>("Mirror");
  vtest::TPassProbe* probe = AddProbe({0, -2, 0});
  auto* target = New<TDummy>(FScene.get());
  target->SetParent(FViewport);
  target->Position()->SetPoint({0, 0.5f, 0});
  pass->SetTarget(target);
  Frame();
  EXPECT_EQ(pass->GetMirrorPosition()->Point(), (TPoint3D{0, 0.5f, 0}));
  target->Free();
  EXPECT_EQ(pass->GetTarget(), nullptr);
  EXPECT_EQ(pass->GetMirrorPosition()->Point(), (TPoint3D{0, 0.5f, 0}));

  // Without its camera the pass takes the viewport's current camera at the next frame.
  TCamera* other = UseCamera({0, -5, -10});
  camera->Free();
  EXPECT_EQ(pass->GetCamera(), nullptr);
  probe->Records.clear();
  Frame();
  EXPECT_EQ(pass->GetCamera(), other);
  EXPECT_EQ(FViewport->Camera(), other);
  ASSERT_EQ(probe->RecordsOf(EntryOf(*pass)).size(), 1u);
}

TEST_F(MirrorGL, NormalsAreNormalisedByTheSettersOnly) {
  auto mirror = TOwned<TVantrelRenderPassController>(
      TVantrelRenderPassController::CreateController(TVantrelRenderPassReflection::StaticClass(), nullptr, ""));
  auto water = TOwned<TVantrelRenderPassController>(
      TVantrelRenderPassController::CreateController(TVantrelRenderPassRefraction::StaticClass(), nullptr, ""));
  auto& reflection = static_cast<TVantrelRenderPassReflection&>(*mirror);
  auto& refraction = static_cast<TVantrelRenderPassRefraction&>(*water);
  const struct {
    TPoint3D Given, MirrorStored, SurfaceStored;
  } cases[] = {{{0, 2, 0}, {0, 1, 0}, {0, 1, 0}}, {{0, 0, 3}, {0, 0, 1}, {0, 0, 1}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.Given.Y + test.Given.Z);
    const TPosition3D given(test.Given);
    reflection.SetMirrorNormal(&given);
    refraction.SetSurfaceNormal(&given);
    EXPECT_EQ(reflection.GetMirrorNormal()->Point(), test.MirrorStored);
    EXPECT_EQ(refraction.GetSurfaceNormal()->Point(), test.SurfaceStored);
  }

  // The older stream names load unnormalised and are never written.
  ReadComponentFromText("object M: TVantrelRenderPassReflection\n  MirrorNormalVector = '(0,2,0)'\nend\n",
                        mirror.get());
  ReadComponentFromText("object W: TVantrelRenderPassRefraction\n  SurfacePositionPoint = '(1,2.5,-3)'\nend\n",
                        water.get());
  EXPECT_EQ(reflection.GetMirrorNormal()->Point(), (TPoint3D{0, 2, 0}));
  EXPECT_EQ(refraction.GetSurfacePosition()->Point(), (TPoint3D{1, 2.5f, -3}));
  EXPECT_EQ(WriteComponentToText(mirror.get()).find("MirrorNormalVector"), std::string::npos);
  EXPECT_EQ(WriteComponentToText(mirror.get()).find("MirrorPositionPoint"), std::string::npos);
  EXPECT_EQ(WriteComponentToText(water.get()).find("SurfacePositionPoint"), std::string::npos);
  EXPECT_EQ(WriteComponentToText(water.get()).find("SurfaceNormalVector"), std::string::npos);
}

TEST_F(MirrorGL, EnvironmentPositionStreamsAsPositionPoint) {
  auto written = TOwned<TVantrelRenderPassController>(
      TVantrelRenderPassController::CreateController(TVantrelRenderPassEnvironment::StaticClass(), nullptr, ""));
  static_cast<TVantrelRenderPassEnvironment&>(*written).SetPosition({1.5f, -2, 3.25f});
  const std::string text = WriteComponentToText(written.get());
  EXPECT_NE(text.find("PositionPoint = '"), std::string::npos) << text;
  auto read = TOwned<TVantrelRenderPassController>(
      TVantrelRenderPassController::CreateController(TVantrelRenderPassEnvironment::StaticClass(), nullptr, ""));
  ReadComponentFromText(text, read.get());
  EXPECT_EQ(static_cast<TVantrelRenderPassEnvironment&>(*read).GetPosition(), (TPoint3D{1.5f, -2, 3.25f}));
}

TEST_F(MirrorGL, DefaultsOfTheThreePasses) {
  auto* mirror = MakePass<TVantrelRenderPassReflection>("Mirror");
  auto* water = MakePass<TVantrelRenderPassRefraction>("Water");
  auto* environment = MakePass<TVantrelRenderPassEnvironment>("Environment");
  EXPECT_EQ(mirror->Get_Type(), TRenderPassType::Pre);
  EXPECT_EQ(mirror->GetMethod(), TRenderPassMethod::RenderListToFBO);
  EXPECT_EQ(mirror->GetMirrorSize(), 10);
  EXPECT_EQ(mirror->GetAngleOfView(), 45);
  EXPECT_EQ(mirror->GetMirrorPosition()->Point(), (TPoint3D{0, 0, 0}));
  EXPECT_EQ(mirror->GetMirrorNormal()->Point(), (TPoint3D{0, -1, 0}));
  EXPECT_EQ(mirror->Shader(), nullptr);
  EXPECT_FALSE(mirror->PassCamera()->Stored());
  EXPECT_EQ(water->Get_Type(), TRenderPassType::Pre);
  EXPECT_TRUE(water->GetClippingEnabled());
  EXPECT_EQ(water->GetSurfaceNormal()->Point(), (TPoint3D{0, 1, 0}));
  EXPECT_EQ(water->GetSurfaceCutOff(), 0);
  EXPECT_EQ(environment->Get_Type(), TRenderPassType::Pre);
  EXPECT_EQ(environment->GetIterations(), 6);
  EXPECT_EQ(environment->GetMapSize(), 128);
  EXPECT_EQ(environment->GetViewportSize(), (TPoint{128, 128}));
  EXPECT_TRUE(environment->GetIsDynamic());
  EXPECT_TRUE(environment->GetUseEmbeddedLight());
  EXPECT_EQ(environment->Camera()->AngleOfView(), 90);
  EXPECT_FALSE(environment->EmbeddedLight()->Enabled());
  EXPECT_EQ(environment->EmbeddedLight()->LightType(), TLightType::Point);
  EXPECT_EQ(environment->EmbeddedLight()->Parent(), environment->Camera());
  EXPECT_EQ(environment->LightIndex(), -1);
  EXPECT_EQ(dynamic_cast<TCompositeRenderer*>(environment->GetRenderer())->GetFXAA(), 0);
}

} // namespace
