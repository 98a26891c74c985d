#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Rendering.h"
#include "context/Vantrel.Context.h"
#include "support/log_capture.h"
#include "support/recording_context.h"
#include "ui/texture.h"

namespace {

using namespace vantrel;
using vtest::TRecordingContext;
using vtest::TRecordingContextClass;

using TStrings = std::vector<std::string>;

// A controller that answers from its script and records what the pass asks of it.
class TTestController : public TObject, public IRenderPassController {
public:
  TTestController() = default;

  // ---- Script ----
  bool Enabled = true;
  int32_t Iterations = 1;
  bool Skip = false;
  TPoint RenderingSize{320, 240};
  TContext3D* Context = nullptr;
  TObject* Shader = nullptr;
  bool TrianglesSupported = true;
  bool RaiseOnSize = false;
  bool RaiseOnEnd = false;

  // ---- Record ----
  int32_t FrameCount = 0;
  TStrings Calls;
  TAlphaColor Fill = 0;
  float Depth = 0;
  uint32_t Stencil = 99;

  bool GetEnabled() const override { return Enabled; }
  void SetEnabled(bool AValue) override { Enabled = AValue; }
  int32_t GetIterations() const override { return Iterations; }
  void IncFrameCount() override { ++FrameCount; }
  bool RenderingSkipped() const override { return Skip; }
  void ResetSkippedRendering() override {
    Calls.push_back("ResetSkippedRendering");
    Skip = false;
  }
  void BeginRenderPassRendering(TContext3D* AContext, TAlphaColor AFill, float ADepth,
                                uint32_t AStencil) override {
    Calls.push_back(AContext == Context ? "Begin" : "Begin on another context");
    Fill = AFill;
    Depth = ADepth;
    Stencil = AStencil;
  }
  TPoint ComputeRenderingSize(TContext3D*, int32_t AWidth, int32_t AHeight) override {
    Calls.push_back("ComputeRenderingSize " + std::to_string(AWidth) + " " + std::to_string(AHeight));
    if (RaiseOnSize)
      throw EInvalidOperation("no renderer");
    return RenderingSize;
  }
  void EndRenderPassRendering(TContext3D* AContext) override {
    Calls.push_back(AContext == Context ? "End" : "End on another context");
    if (RaiseOnEnd)
      throw EInvalidOperation("renderer gone");
  }
  bool IsPrimitivesKindSupported(TPrimitivesKind AKind) const override {
    return AKind != TPrimitivesKind::Triangles || TrianglesSupported;
  }
  TObject* GetShader() const override { return Shader; }
  TContext3D* GetRenderPassContext() const override { return Context; }
  TRenderPassRenderingProc GetRenderProc() const override {
    return TRenderPassRenderingProc::DefaultRendering;
  }
  TRenderPassMethod GetMethod() const override { return TRenderPassMethod::RenderListToFBO; }
  TTexture* GetOutputTexture() override { return nullptr; }
  void RenderToContext(TContext3D*, TTexture*, const TRect&, const TPoint&) override {}
};

// Tells when the table frees it.
class TProbePass : public TRenderPass {
public:
  TProbePass(TContext3D* AContext, TObject* AController, bool& AFreed)
      : TRenderPass(AContext, AController), FFreed(AFreed) {}
  ~TProbePass() override { FFreed = true; }

private:
  bool& FFreed;
};

const TVantrelContextSize StartViewport{1, 2, 640, 480};

class RenderPassTest : public ::testing::Test {
public:
  void SetUp() override {
    Recorder = &TRecordingContext::Register();
    Texture->SetSize(640, 480);
    Context = TRecordingContext::Create(Texture.get());
    Context->SetContextSize(StartViewport);
    Context->Calls.clear();
    Controller->Context = Context.get();
    Pass = TRenderPass::Create(nullptr, Controller.get());
  }
  void TearDown() override {
    Pass.reset();
    Context.reset();
    TContextManager::UnregisterContexts();
    ContextShared().Reset();
  }

  // Whether the context's pass stack is empty.
  bool PassStackEmpty() {
    try {
      Context->EndRenderPass();
    } catch (const EListError&) {
      return true;
    }
    return false;
  }

  TRecordingContextClass* Recorder = nullptr;
  TOwned<TTexture> Texture = MakeOwned<TTexture>();
  TOwned<TRecordingContext> Context;
  TOwned<TTestController> Controller = MakeOwned<TTestController>();
  TOwned<TRenderPass> Pass;
  vtest::TLogCapture Log;
};

TEST_F(RenderPassTest, SceneRunsAtTheRenderingSizeAndRestoresTheViewport) {
  ASSERT_TRUE(Pass->BeginScene());
  EXPECT_EQ(Controller->Calls, (TStrings{"Begin", "ComputeRenderingSize 640 480"}));
  EXPECT_EQ(Controller->Fill, TAlphaColor(0xFF0000FF));
  EXPECT_EQ(Controller->Depth, 1.0f);
  EXPECT_EQ(Controller->Stencil, 0u);
  EXPECT_EQ(Controller->FrameCount, 1);
  EXPECT_EQ(Context->Viewport(), (TVantrelContextSize{0, 0, 320, 240}));
  EXPECT_EQ(Context->GetCurrentRenderPass(), Pass.get());

  Pass->EndScene();
  EXPECT_EQ(Controller->Calls.back(), "End");
  EXPECT_EQ(Context->Viewport(), StartViewport);
  EXPECT_EQ(Context->GetCurrentRenderPass(), nullptr);
  EXPECT_TRUE(PassStackEmpty());
}

TEST_F(RenderPassTest, FramesThatDoNotDraw) {
  struct TCase {
    const char* Name;
    std::function<void(TTestController&)> Script;
    int32_t FrameCount;
    TStrings Calls;
  };
  const TCase cases[] = {
      {"disabled", [](TTestController& AController) { AController.Enabled = false; }, 0, {}},
      {"skip requested",
       [](TTestController& AController) { AController.Skip = true; },
       1,
       {"ResetSkippedRendering"}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TTestController controller;
    controller.Context = Context.get();
    test.Script(controller);
    const TOwned<TRenderPass> pass = TRenderPass::Create(nullptr, &controller);

    EXPECT_FALSE(pass->BeginScene());
    pass->EndScene();
    EXPECT_EQ(controller.FrameCount, test.FrameCount);
    EXPECT_EQ(controller.Calls, test.Calls);
    EXPECT_TRUE(Context->Calls.empty());
    EXPECT_EQ(Context->GetCurrentRenderPass(), nullptr);
  }
}

TEST_F(RenderPassTest, ASkippedFrameIsFollowedByADrawnOne) {
  Controller->Skip = true;
  EXPECT_FALSE(Pass->BeginScene());
  EXPECT_TRUE(Pass->BeginScene());
  EXPECT_EQ(Controller->FrameCount, 2);
  Pass->EndScene();
}

TEST_F(RenderPassTest, AnswersWithAndWithoutController) {
  const TOwned<TRenderPass> bare = TRenderPass::Create(Context.get(), nullptr);
  EXPECT_EQ(bare->ClassName(), "TRenderPass");
  EXPECT_EQ(bare->GetContext(), Context.get());
  EXPECT_FALSE(bare->GetEnabled());
  bare->SetEnabled(true);
  EXPECT_FALSE(bare->GetEnabled());
  EXPECT_EQ(bare->GetIterations(), 0);
  EXPECT_TRUE(bare->IsPrimitivesKindSupported(TPrimitivesKind::Triangles));
  EXPECT_EQ(bare->GetControllerShader(), nullptr);
  EXPECT_FALSE(bare->BeginScene());

  TTestController shader;
  Controller->Iterations = 3;
  Controller->TrianglesSupported = false;
  Controller->Shader = &shader;
  Pass->SetEnabled(false);
  EXPECT_FALSE(Controller->Enabled);
  EXPECT_EQ(Pass->GetIterations(), 3);
  EXPECT_FALSE(Pass->IsPrimitivesKindSupported(TPrimitivesKind::Triangles));
  EXPECT_TRUE(Pass->IsPrimitivesKindSupported(TPrimitivesKind::Lines));
  EXPECT_EQ(Pass->GetControllerShader(), &shader);
}

TEST_F(RenderPassTest, BeginWithoutContextRaises) {
  // A controller that has no context right now skips the frame with nothing changed.
  Controller->Context = nullptr;
  EXPECT_FALSE(Pass->BeginScene());
  // A pass with neither controller nor context is an error.
  const TOwned<TRenderPass> bare = TRenderPass::Create(nullptr, nullptr);
  try {
    bare->BeginScene();
    ADD_FAILURE() << "no exception";
  } catch (const EContext3DException& error) {
    EXPECT_EQ(error.Message(), "Cannot begin with rendering scene: TRenderPass");
  }
  EXPECT_EQ(Controller->FrameCount, 0);
}

TEST_F(RenderPassTest, AControllerOfAnotherClassIsRefused) {
  const TOwned<TTexture> other = MakeOwned<TTexture>();
  EXPECT_THROW(TRenderPass::Create(Context.get(), other.get()), EInvalidCast);
}

TEST_F(RenderPassTest, FailuresNeverLeaveASceneHalfOpen) {
  struct TCase {
    const char* Name;
    std::function<void(RenderPassTest&)> BeforeBegin;
    std::function<void(RenderPassTest&)> BeforeEnd;
    bool BeginRaises;
    std::string Message;
  };
  const TCase cases[] = {
      {"GPU error after the controller's begin", [](RenderPassTest& T) { T.Recorder->ErrorCodes = {1282}; },
       nullptr, true, "Cannot begin with rendering scene: TRenderPass"},
      {"rendering size raises", [](RenderPassTest& T) { T.Controller->RaiseOnSize = true; }, nullptr, true,
       "no renderer"},
      {"GPU error pending at the end", nullptr, [](RenderPassTest& T) { T.Recorder->ErrorCodes = {1282}; },
       false, "Failed to end rendering scene: TRenderPass"},
      {"controller's end raises", nullptr, [](RenderPassTest& T) { T.Controller->RaiseOnEnd = true; }, false,
       "renderer gone"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    Controller->Calls.clear();
    Controller->RaiseOnSize = Controller->RaiseOnEnd = false;
    if (test.BeforeBegin)
      test.BeforeBegin(*this);
    try {
      if (Pass->BeginScene()) {
        if (test.BeforeEnd)
          test.BeforeEnd(*this);
        Pass->EndScene();
      }
      ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), test.Message);
    }
    EXPECT_EQ(Controller->Calls.back(), "End");
    EXPECT_EQ(Context->Viewport(), StartViewport);
    EXPECT_EQ(Context->GetCurrentRenderPass(), nullptr);
    EXPECT_TRUE(PassStackEmpty());
    // The scene is closed: a further end does nothing.
    const size_t calls = Controller->Calls.size();
    Pass->EndScene();
    EXPECT_EQ(Controller->Calls.size(), calls);
  }
}

TEST_F(RenderPassTest, AScenePassDisabledWhileDrawingStillCloses) {
  ASSERT_TRUE(Pass->BeginScene());
  Pass->SetEnabled(false);
  Pass->EndScene();
  EXPECT_EQ(Controller->Calls.back(), "End");
  EXPECT_EQ(Context->Viewport(), StartViewport);
  EXPECT_TRUE(PassStackEmpty());
}

TEST(RenderContextTest, CreateFillsTheRecord) {
  int defaults = 0, lists = 0;
  TOwned<TTexture> viewport = MakeOwned<TTexture>();
  TRenderContext record = TRenderContext::Create(
      nullptr, viewport.get(), [&](PRenderContext) { ++defaults; }, [&](PRenderContext) { ++lists; });
  EXPECT_EQ(record.Viewport, viewport.get());
  record.DefaultRenderingProc(&record);
  record.ListRenderingProc(&record);
  record.ListRenderingProc(&record);
  EXPECT_EQ(defaults, 1);
  EXPECT_EQ(lists, 2);
}

// ---- The pass table -------------------------------------------------------------------------------

class RenderPassTableTest : public RenderPassTest {
protected:
  // A pass of AType under AId (and with it as its Id) whose controller answers AEnabled.
  TRenderPass* Add(const std::string& AId, TRenderPassType AType, bool AEnabled) {
    Controllers.push_back(MakeOwned<TTestController>());
    Controllers.back()->Enabled = AEnabled;
    TRenderPass* pass = TRenderPass::Create(Context.get(), Controllers.back().get()).release();
    pass->SetId(AId);
    pass->Set_Type(AType);
    Table->Add(AId, pass);
    return pass;
  }

  TOwned<TRenderPasses> Table = TRenderPasses::Create(nullptr);
  std::vector<TOwned<TTestController>> Controllers;
};

TEST_F(RenderPassTableTest, ListsHoldTheEnabledPassesInInsertionOrder) {
  TRenderPass* postZ = Add("zeta", TRenderPassType::Post, true);
  Add("beta", TRenderPassType::Post, false);
  TRenderPass* pre = Add("gamma", TRenderPassType::Pre, true);
  Add("delta", TRenderPassType::Intermediate, true);
  TRenderPass* postA = Add("alpha", TRenderPassType::Post, true);

  EXPECT_EQ(Table->GetPostProcessingPasses(), (std::vector<TRenderPass*>{postZ, postA}));
  EXPECT_EQ(Table->GetPreProcessingPasses(), (std::vector<TRenderPass*>{pre}));
}

TEST_F(RenderPassTableTest, FreesPassesWithAnIdWhenTheyLeave) {
  bool removedFreed = false, replacedFreed = false, anonymousFreed = false, extractedFreed = false,
       keptFreed = false, replacementFreed = false;
  auto probe = [&](const std::string& AId, bool& AFreed) {
    auto* pass = New<TProbePass>(nullptr, nullptr, AFreed);
    pass->SetId(AId);
    return pass;
  };
  TRenderPass* anonymous = probe("", anonymousFreed);
  TRenderPass* extracted = probe("x", extractedFreed);
  TRenderPass* kept = probe("k", keptFreed);
  Table->Add("removed", probe("removed", removedFreed));
  Table->Add("replaced", probe("replaced", replacedFreed));
  Table->Add("anonymous", anonymous);
  Table->Add("extracted", extracted);
  Table->Add("kept", kept);

  Table->Remove("removed");
  Table->AddOrSetValue("replaced", probe("new", replacementFreed));
  Table->Remove("anonymous");
  Table->ExtractPair("extracted");
  Table->AddOrSetValue("kept", kept);

  EXPECT_TRUE(removedFreed);
  EXPECT_TRUE(replacedFreed);
  EXPECT_FALSE(anonymousFreed);
  EXPECT_FALSE(extractedFreed);
  EXPECT_FALSE(keptFreed);
  EXPECT_EQ(Table->Items("kept"), kept);
  anonymous->Free();
  extracted->Free();

  Table.reset();
  EXPECT_TRUE(keptFreed);
  EXPECT_TRUE(replacementFreed);
}

TEST_F(RenderPassTableTest, TheContextOwnsItsTableAndForgetsFreedIntermediatePasses) {
  TRenderPasses* table = Context->GetRenderPasses();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->GetContext(), Context.get());

  bool leftFreed = false, stayedFreed = false;
  auto* left = New<TProbePass>(Context.get(), nullptr, leftFreed);
  auto* stayed = New<TProbePass>(Context.get(), nullptr, stayedFreed);
  left->SetId("left");
  stayed->SetId("stayed");
  table->Add("left", left);
  table->Add("stayed", stayed);
  Context->AddIntermediatePass(left);
  Context->AddIntermediatePass(stayed);

  table->Remove("left");
  EXPECT_TRUE(leftFreed);
  EXPECT_EQ(Context->GetIntermediatePasses().ToArray(), (std::vector<TRenderPass*>{stayed}));

  Context.reset();
  EXPECT_TRUE(stayedFreed);
}

} // namespace
