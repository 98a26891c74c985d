// The render-pass controller on a real viewport: defaults, registration in the viewport context's
// table, the Post chain through AttachedRenderer, the rectangle draw and its failures, sizes,
// matrices, control filters and events.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rendering_fixture.h"
#include "rtl/exceptions.h"
#include "scene/Vantrel.Mesh.h"
#include "support/canvas_probe.h"
#include "support/log_capture.h"

namespace {

using namespace rtest;
using vtest::TRGBA8;

class ControllerGL : public RenderingGL {
protected:
  template <class T = TTestPass> T* MakePass(const std::string& AId, bool ALink = true) {
    auto* pass = static_cast<T*>(TVantrelRenderPassController::CreateController(T::StaticClass(), &Root(), AId));
    if (ALink)
      pass->SetViewport(&Viewport());
    return pass;
  }
  TVantrelContext& MainContext() {
    return *dynamic_cast<TVantrelContext*>(Viewport().MainPassRenderer()->GetSharedContext());
  }
  TRenderPass* Entry(const std::string& AId) {
    TRenderPass* entry = nullptr;
    return MainContext().GetRenderPasses()->TryGetValue(AId, entry) ? entry : nullptr;
  }
  void UseLegacyMain() {
    Viewport().SetRendererType(TRendererType::LegacyRenderer);
    Viewport().SetSize(63, 63);
    Viewport().SetSize(64, 64);
    Viewport().SetColor(0xFF336699); // (0.2, 0.4, 0.6)
  }
  static void ExpectCorners(TTexture* ATexture, TRGBA8 AExpected) {
    ASSERT_NE(ATexture, nullptr);
    const int last = ATexture->Width() - 1;
    for (auto [x, y] : {std::pair{0, 0}, std::pair{last, 0}, std::pair{0, last}, std::pair{last, last}}) {
      SCOPED_TRACE(testing::Message() << x << ", " << y);
      EXPECT_TRUE(Near(TexturePixel(ATexture, x, y), AExpected));
    }
  }
};

class TInternalPass : public TPlainPass {
  RTL_CLASS(TInternalPass, TPlainPass)
public:
  using TPlainPass::TPlainPass;
  bool IsInternalRenderPass() const override { return true; }
};
RTL_DEFINE_CLASS(TInternalPass, "Tests.Rendering")

TEST_F(ControllerGL, DefaultsWithAndWithoutAViewport) {
  TPlainPass* linked = MakePass<TPlainPass>("L");
  TPlainPass* alone = MakePass<TPlainPass>("A", false);
  struct TCase {
    const char* Name;
    TPlainPass* Pass;
    int32_t Width;
    float Scale;
    bool HasRenderer;
  } cases[] = {{"linked", linked, 64, 1, true}, {"alone", alone, 0, 0, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPlainPass& pass = *c.Pass;
    EXPECT_TRUE(pass.GetEnabled());
    EXPECT_EQ(pass.Get_Type(), TRenderPassType::Pre);
    EXPECT_EQ(pass.GetMethod(), TRenderPassMethod::RenderListToFBO);
    EXPECT_EQ(pass.GetRenderProc(), TRenderPassRenderingProc::DefaultRendering);
    EXPECT_EQ(pass.GetIterations(), 1);
    EXPECT_EQ(pass.GetViewportSize().X, c.Width);
    EXPECT_EQ(pass.GetViewportScale(), c.Scale);
    EXPECT_FALSE(pass.GetOverwriteViewportSize());
    EXPECT_FALSE(pass.GetScaleViewportSize());
    EXPECT_FALSE(pass.GetOverwriteColor());
    EXPECT_EQ(pass.GetBackgroundColor(), 0u);
    EXPECT_EQ(pass.GetRendererType(), TRendererType::ForwardRenderer);
    EXPECT_EQ(pass.GetRendererFlags(),
              (TRendererFlags{TRendererFlag::IgnoreEmissiveBlur, TRendererFlag::IgnoreGlobalIllum}));
    const TBlendSettings cleared{};
    EXPECT_EQ(std::memcmp(&pass.GetBlendings(), &cleared, sizeof cleared), 0);
    EXPECT_EQ(pass.GetAllowedControls()->Count(), 0);
    EXPECT_EQ(pass.GetIgnoredControls()->Count(), 0);
    EXPECT_EQ(pass.GetRenderer() != nullptr, c.HasRenderer);
    EXPECT_EQ(pass.GetTextureMatrix(nullptr, false), TMatrix3D::Identity());
  }
  TMatrix3D bias = TMatrix3D::Identity();
  bias.m11 = bias.m22 = bias.m33 = bias.m41 = bias.m42 = bias.m43 = 0.5f;
  EXPECT_EQ(linked->GetTextureMatrix(nullptr, true), bias);
}

TEST_F(ControllerGL, RegistrationFollowsIdTypeAndViewport) {
  const int before = MainContext().GetRenderPasses()->Count();
  TPlainPass* pass = MakePass<TPlainPass>("");
  EXPECT_EQ(MainContext().GetRenderPasses()->Count(), before) << "an empty Id is not entered";
  pass->SetId("A");
  ASSERT_NE(Entry("A"), nullptr);
  EXPECT_EQ(Entry("A")->GetController(), pass);
  EXPECT_EQ(Entry("A")->GetContext(), pass->GetRenderPassContext());
  pass->SetId("B");
  EXPECT_EQ(Entry("A"), nullptr);
  ASSERT_NE(Entry("B"), nullptr);
  pass->Set_Type(TRenderPassType::Post);
  EXPECT_EQ(Entry("B")->Get_Type(), TRenderPassType::Post);
  pass->Set_Type(TRenderPassType::Intermediate);
  EXPECT_TRUE(MainContext().GetIntermediatePasses().Contains(Entry("B")));
  pass->SetViewport(nullptr);
  EXPECT_EQ(Entry("B"), nullptr);
  EXPECT_EQ(MainContext().GetIntermediatePasses().Count(), 0);
  EXPECT_TRUE(Viewport().RenderPasses().empty());

  MakePass<TInternalPass>("I");
  EXPECT_EQ(Entry("I"), nullptr);
  EXPECT_EQ(MainContext().GetRenderPasses()->Count(), before);
}

// Records the events of a pass: name, iteration and whether the camera came back.
class TEventLog : public TObject {
public:
  TEventLog() = default;
  std::vector<std::string> Lines;
  TRenderer* PreviousAtBegin = nullptr;
  TVantrelRenderPassController* Pass = nullptr;
  TMatrix3D CameraAtBegin;

  void BeginRender(TObject*, TContext3D* AContext, int32_t ACount, TRenderPass*) {
    Lines.push_back("begin render " + std::to_string(ACount));
    PreviousAtBegin = Pass->GetPreviousRenderer();
    CameraAtBegin = AContext->CurrentCameraMatrix();
  }
  void BeginSetup(TObject*, TContext3D* AContext, int32_t ACount, TRenderPass*) {
    Lines.push_back("begin setup " + std::to_string(ACount));
    AContext->SetCameraMatrix(TMatrix3D::CreateTranslation(TPoint3D{5, 5, 5}));
  }
  void EndSetup(TObject*, TContext3D*, int32_t ACount, TRenderPass*) {
    Lines.push_back("end setup " + std::to_string(ACount));
  }
  void EndRender(TObject*, TContext3D* AContext, int32_t ACount, TRenderPass*) {
    Lines.push_back("end render " + std::to_string(ACount) +
                    (AContext->CurrentCameraMatrix() == CameraAtBegin ? " camera back" : " camera lost"));
  }
};

TEST_F(ControllerGL, PostPassesChainThroughTheAttachedRenderer) {
  UseLegacyMain();
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed ? "P2 registered first" : "P1 registered first");
    TTestPass* first = MakePass(reversed ? "P2" : "P1");
    TTestPass* second = MakePass(reversed ? "P1" : "P2");
    TTestPass* p1 = reversed ? second : first;
    TTestPass* p2 = reversed ? first : second;
    p2->Source().Material().Setup(TPassRule::Half);
    TEventLog log;
    log.Pass = p2;
    p2->OnBeginRender = TRenderPassEvent(&log, &TEventLog::BeginRender);

    RunPostFrame();
    EXPECT_EQ(log.PreviousAtBegin, Viewport().MainPassRenderer());
    TTestPass* last = reversed ? p1 : p2;
    EXPECT_EQ(Viewport().MainPassRenderer()->GetAttachedRenderer(), last->GetRenderer());
    EXPECT_EQ(Viewport().CurrentRenderer(), Viewport().MainPassRenderer());
    ExpectCorners(last->GetOutputTexture(), reversed ? TRGBA8{230, 204, 179, 255} : TRGBA8{102, 77, 51, 255});

    if (!reversed) {
      // The renderer behind the entry is re-created: the entry asks for the new context.
      p1->UpdateOnResize();
      RunPostFrame();
      ExpectCorners(p2->GetOutputTexture(), TRGBA8{102, 77, 51, 255});
      p1->SetViewportSize({32, 32});
      RunPostFrame();
      ExpectCorners(p2->GetOutputTexture(), TRGBA8{102, 77, 51, 255});
    }
    p1->Free();
    p2->Free();
  }
}

TEST_F(ControllerGL, AFailingDrawClosesTheSceneAndRestoresTheBlendTable) {
  UseLegacyMain();
  TTestPass* pass = MakePass("P");
  RunPostFrame();
  pass->Source().Material().RaiseOnApply = true;
  auto* context = dynamic_cast<TVantrelContext*>(pass->GetRenderPassContext());
  const TBlendSettings before = context->GetBlendings();
  TBlendSettings blendings{};
  blendings[0] = TBlendSetting::Create(true);
  pass->SetBlendings(blendings);
  try {
    RunPostFrame();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "test material refuses");
  }
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
  EXPECT_EQ(ContextShared().SceneCount.load(), 0);
  const TBlendSettings after = context->GetBlendings();
  EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0);
  EXPECT_EQ(Viewport().CurrentRenderer(), Viewport().MainPassRenderer());
}

TEST_F(ControllerGL, RenderToContextRefusesWhatItCannotDraw) {
  TTestPass* pass = MakePass("P");
  TPlainPass* bare = MakePass<TPlainPass>("Q");
  bare->SetMethod(TRenderPassMethod::RectToFBO);
  TTexture* output = pass->GetOutputTexture();
  ASSERT_NE(output, nullptr);
  struct TCase {
    const char* Message;
    std::function<void()> Run;
  } cases[] = {
      {"TRenderPassMethod.RenderListToFBO failed - unsupported for rendering branch",
       [&] {
         pass->SetMethod(TRenderPassMethod::RenderListToFBO);
         pass->RenderToContext(nullptr, output, TRect(0, 0, 64, 64), {});
       }},
      {"TRenderPassMethod.<unknown> failed - unsupported for rendering branch",
       [&] {
         pass->SetMethod(static_cast<TRenderPassMethod>(7));
         pass->RenderToContext(nullptr, output, TRect(0, 0, 64, 64), {});
       }},
      {"RenderToContext failed - invalid destination texture",
       [&] {
         pass->SetMethod(TRenderPassMethod::RectToFBO);
         pass->RenderToContext(nullptr, nullptr, TRect(0, 0, 64, 64), {});
       }},
      {"pass-controller: failed to render to context - missing material shader",
       [&] { bare->RenderToContext(nullptr, output, TRect(0, 0, 64, 64), {}); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    try {
      c.Run();
      ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), c.Message);
    }
    ContextShared().DesignTime = true;
    EXPECT_NO_THROW(c.Run());
    ContextShared().DesignTime = false;
  }
  EXPECT_EQ(ContextShared().SceneCount.load(), 0);
}

TEST_F(ControllerGL, RenderingSizeAndProjection) {
  TPlainPass* pass = MakePass<TPlainPass>("P");
  struct TCase {
    const char* Name;
    bool Overwrite;
    bool ScaleSize;
    TPoint Asked;
    TPoint Expected;
  } cases[] = {
      {"asked size", false, false, {10, 20}, {10, 20}},
      {"context size when asked for nothing", false, false, {0, 5}, {64, 64}},
      {"overwritten size", true, false, {10, 20}, {3, 5}},
      {"scaled by half, rounded to even", true, true, {10, 20}, {2, 2}},
  };
  pass->SetViewportWidth(3);
  pass->SetViewportHeight(5);
  pass->SetViewportScale(0.5f);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    pass->SetOverwriteViewportSize(c.Overwrite);
    pass->SetScaleViewportSize(c.ScaleSize);
    const TPoint size = pass->ComputeRenderingSize(nullptr, c.Asked.X, c.Asked.Y);
    EXPECT_EQ(size.X, c.Expected.X);
    EXPECT_EQ(size.Y, c.Expected.Y);
  }

  pass->SetOverwriteViewportSize(true);
  for (const auto& [width, height] : {std::pair{64, 32}, std::pair{64, 0}}) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    pass->SetViewportWidth(width);
    pass->SetViewportHeight(height);
    const TMatrix3D projection = pass->GetProjectionMatrix();
    const double cot = 1.0 / std::tan(45.0 * 3.14159265358979 / 360.0);
    const double aspect = height == 0 ? 1.0 : double(width) / height;
    const double nearPlane = 0.1, farPlane = 10000;
    EXPECT_NEAR(projection.m11, cot / aspect, 1e-4);
    EXPECT_NEAR(projection.m22, cot, 1e-4);
    EXPECT_NEAR(projection.m33, farPlane / (nearPlane - farPlane), 1e-4);
    EXPECT_NEAR(projection.m43, nearPlane * farPlane / (nearPlane - farPlane), 1e-3);
  }
}

TEST_F(ControllerGL, ControlFilters) {
  TDummy* a = New<TDummy>(&Root());
  TDummy* b = New<TDummy>(&Root());
  struct TCase {
    const char* Name;
    std::vector<TDummy*> Allowed, Ignored;
    bool AIgnored, BIgnored;
  } cases[] = {
      {"no filters", {}, {}, false, false},
      {"ignored a", {}, {a}, true, false},
      {"allowed a", {a}, {}, false, true},
      {"allowed and ignored a", {a}, {a}, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPlainPass* pass = MakePass<TPlainPass>("", false);
    for (TDummy* control : c.Allowed)
      pass->AllowControl(control);
    for (TDummy* control : c.Ignored)
      pass->IgnoreControl(control);
    EXPECT_EQ(pass->IsControlIgnored(a), c.AIgnored);
    EXPECT_EQ(pass->IsControlIgnored(b), c.BIgnored);
    EXPECT_TRUE(pass->IsControlIgnored(nullptr));
    pass->Free();
  }

  // Allowing a control allows the 3D controls it owns, at every depth, once each.
  TDummy* child = New<TDummy>(a);
  TDummy* grandchild = New<TDummy>(child);
  TPlainPass* pass = MakePass<TPlainPass>("", false);
  pass->AllowControl(a);
  pass->AllowControl(child);
  EXPECT_EQ(pass->GetAllowedControls()->Count(), 3);
  EXPECT_TRUE(pass->GetAllowedControls()->Contains(grandchild));
  // A freed control clears its item, which stays.
  grandchild->Free();
  EXPECT_EQ(pass->GetAllowedControls()->Count(), 3);
  EXPECT_FALSE(pass->GetAllowedControls()->Contains(grandchild));
  EXPECT_TRUE(pass->GetAllowedControls()->Contains(nullptr));
}

TEST_F(ControllerGL, AllowingAMeshAllowsSubMeshesItDoesNotOwn) {
  TOwned<TVantrelMesh> mesh(New<TVantrelMesh>(nullptr));
  TOwned<TVantrelMesh> owned(New<TVantrelMesh>(nullptr)); // goes before its parent
  TVantrelMesh* subMesh = owned.get();
  subMesh->SetParent(mesh.get());
  ASSERT_EQ(mesh->Meshes().size(), 1u);
  TPlainPass* pass = MakePass<TPlainPass>("", false);
  pass->AllowControl(mesh.get());
  EXPECT_FALSE(pass->IsControlIgnored(subMesh));
  pass->IgnoreControl(mesh.get());
  EXPECT_TRUE(pass->IsControlIgnored(subMesh));
  pass->Free();
}

TEST_F(ControllerGL, EventsRunInOrderPerIteration) {
  UseLegacyMain();
  for (int32_t iterations : {2, 0}) {
    SCOPED_TRACE(iterations);
    TTestPass* pass = MakePass("P");
    pass->SetIterations(iterations);
    TEventLog log;
    log.Pass = pass;
    pass->OnBeginRender = TRenderPassEvent(&log, &TEventLog::BeginRender);
    pass->OnBeginSetup = TRenderPassEvent(&log, &TEventLog::BeginSetup);
    pass->OnEndSetup = TRenderPassEvent(&log, &TEventLog::EndSetup);
    pass->OnEndRender = TRenderPassEvent(&log, &TEventLog::EndRender);
    RunPostFrame();
    std::vector<std::string> expected;
    for (int32_t index = 0; index < std::max(iterations, 1); ++index)
      for (const char* step : {"begin render ", "begin setup ", "end setup ", "end render "})
        expected.push_back(step + std::to_string(index) + (step[0] == 'e' && step[4] == 'r' ? " camera back" : ""));
    EXPECT_EQ(log.Lines, expected);
    pass->Free();
  }
}

TEST_F(ControllerGL, OutputTextureWithoutAViewportIsLogged) {
  TPlainPass* pass = MakePass<TPlainPass>("P", false);
  vtest::TLogCapture log;
  EXPECT_EQ(pass->GetOutputTexture(), nullptr);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{
                             "<WARNING> TPlainPass - Output-Texture not assigned, maybe because Viewport not linked"});
}

TEST_F(ControllerGL, AFreedViewportUnlinksItsPasses) {
  TTestPass* pass = MakePass("P");
  TDummy* control = New<TDummy>(&Root());
  pass->AllowControl(control);
  ASSERT_EQ(pass->GetViewport(), &Viewport());
  Viewport().Free();
  FViewport = nullptr;
  EXPECT_EQ(pass->GetViewport(), nullptr);
  EXPECT_EQ(pass->GetOutputTexture(), nullptr);
  pass->SetIterations(2); // still usable
  pass->Free();
  control->Free();
}

} // namespace
