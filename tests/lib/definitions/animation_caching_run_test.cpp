// Caching runs over a skinned model: the frames a run stores, the model definition's selection,
// the events, the timer and the temporary model. CPU only: frames are stored compressed.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Buffers.h"
#include "definitions/Vantrel.DefTypes.h"
#include "Vantrel.Units.h"
#include "scene/Vantrel.Model.h"
#include "rtl/exceptions.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Joint.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "support/skinned_model.h"
#include "ui/animations.h"

namespace {

using namespace vantrel;

const TAnimationCachingFlags CompressedPositions{TAnimationCachingFlag::Compressed,
                                                 TAnimationCachingFlag::VertexPosition};

std::vector<TPoint3D> InflatedPositions(TMeshBufferObject& AFrame) {
  TOwned<TMemoryStream> stream = AFrame.Decompress(TMeshBufferComponent::Vertex);
  std::vector<TPoint3D> result(size_t(stream->GetSize()) / sizeof(TPoint3D));
  std::memcpy(result.data(), stream->Memory(), result.size() * sizeof(TPoint3D));
  return result;
}

// Records the run's events in order.
class TEventLog : public rtl::TObject {
  RTL_CLASS(TEventLog, rtl::TObject)
public:
  void Animation(TAnimationDef*, rtl::TObject*, TAnimationCachingState AState) {
    Events.push_back(AState == TAnimationCachingState::Started ? "begin" : "end");
  }
  void BeginFrame(TAnimationDef*, rtl::TObject*, int32_t ACurrent, int32_t ATotal) {
    Events.push_back("frame " + std::to_string(ACurrent) + "/" + std::to_string(ATotal));
    if (ACurrent == FailAt)
      throw rtl::Exception("stop");
  }
  void Cached(TAnimationDef*, rtl::TObject*, int32_t ACurrent, TAnimationBuffer*) {
    Events.push_back("cached " + std::to_string(ACurrent));
  }
  void EndFrame(TAnimationDef*, rtl::TObject*, int32_t ACurrent, int32_t) {
    Events.push_back("end frame " + std::to_string(ACurrent));
  }
  void Attach(TAnimationCaching& ACaching) {
    ACaching.OnBeginAnimation = TOnAnimationNotify(this, &TEventLog::Animation);
    ACaching.OnEndAnimation = TOnAnimationNotify(this, &TEventLog::Animation);
    ACaching.OnBeginFrame = TOnAnimationFrameNotifiy(this, &TEventLog::BeginFrame);
    ACaching.OnCached = TOnAnimationCachedNotify(this, &TEventLog::Cached);
    ACaching.OnEndFrame = TOnAnimationFrameNotifiy(this, &TEventLog::EndFrame);
  }
  std::vector<std::string> Events;
  int32_t FailAt = -1;
};
RTL_DEFINE_CLASS(TEventLog, "Test.AnimationCaching")

class AnimationCachingRun : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeUnits();
    FDefs = std::make_unique<vtest::TSkinnedModel>();
    FDefs->BuildDefinitions();
    // The model control never takes the fixture's definition as its own.
    FDefs->ModelDef->SetIsStandalone(true);
    FModel = MakeOwned<TVantrelModel>(nullptr);
    FModel->LoadFromDefinition(FDefs->ModelDef);
  }
  void TearDown() override {
    FModel.reset();
    FDefs.reset();
    ui::FreeAniThread();
    FinalizeUnits();
  }

  TAnimationBuffer* BodyBuffer() const {
    const TAnimationBuffers* buffers = FDefs->Walk->GetBuffers();
    return buffers ? buffers->Items(FDefs->Body) : nullptr;
  }

  vtest::TFakeClock FClock;
  std::unique_ptr<vtest::TSkinnedModel> FDefs;
  TOwned<TVantrelModel> FModel;
};

TEST_F(AnimationCachingRun, FrameKHoldsThePoseAtKFrameTimes) {
  FDefs->ModelDef->CacheAnimations({}, CompressedPositions, FModel.get());
  TAnimationDef& walk = *FDefs->Walk;
  EXPECT_EQ(walk.GetBufferingState(), TAnimationBufferingState::Ready);
  EXPECT_TRUE(walk.IsCacheable());
  ASSERT_EQ(walk.GetFrameCount(), 60);
  TAnimationBuffer* buffer = BodyBuffer();
  ASSERT_NE(buffer, nullptr);
  ASSERT_EQ(buffer->GetFrames().Count(), 60);
  EXPECT_TRUE(buffer->GetIsBuffered());
  for (int32_t k = 0; k < 60; ++k) {
    SCOPED_TRACE(k);
    const std::vector<TPoint3D> positions = InflatedPositions(*buffer->GetFrames()[k]);
    ASSERT_EQ(positions.size(), 3u);
    // Frame k is the skinning at k / 59 s: the first frame is the pose at 0, the last the end
    // of the track, not a wrapped start.
    EXPECT_NEAR(positions[1].X, 1, 1e-5);
    EXPECT_NEAR(positions[1].Y, 2.0 * k / 59, 1e-5);
    EXPECT_NEAR(positions[1].Z, 0, 1e-5);
    EXPECT_NEAR(positions[2].Y, 1, 1e-5);
  }
  // The model's own vertices were left to the run's position buffers.
  EXPECT_EQ(dynamic_cast<TVantrelMesh*>(FModel->FindControlByDeepSearch("Body"))
                ->GetMeshData()
                ->VertexBuffer()
                .GetVertices(1),
            (TPoint3D{1, 0, 0}));

  vtest::TLogCapture log;
  FDefs->ModelDef->CacheAnimations({}, CompressedPositions, FModel.get());
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_TRUE(std::regex_match(log.Lines()[0], std::regex(R"(Caching 0 animations: elapsed time [\d,]+\.\d\d ms)")))
      << log.Lines()[0];
}

TEST_F(AnimationCachingRun, SelectionByIdOnly) {
  TAnimationDef* run = FDefs->AddWalk("Run");
  FModel.reset();
  FModel = MakeOwned<TVantrelModel>(nullptr);
  FModel->LoadFromDefinition(FDefs->ModelDef);
  const struct {
    const char* Name;
    std::vector<TValue> Selected;
    bool Walk, Run;
  } cases[] = {
      {"a number selects nothing", {TValue::From(5)}, false, false},
      {"the Id selects", {TValue::From("Walk")}, true, false},
      {"empty selects the rest", {}, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FDefs->ModelDef->CacheAnimations(c.Selected, CompressedPositions, FModel.get());
    EXPECT_EQ(FDefs->Walk->IsCached(), c.Walk);
    EXPECT_EQ(run->IsCached(), c.Run);
  }
}

TEST_F(AnimationCachingRun, WithoutPositionsNothingIsStoredButTheStateIsReady) {
  FDefs->ModelDef->CacheAnimations({}, {TAnimationCachingFlag::Compressed}, FModel.get());
  EXPECT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::Ready);
  EXPECT_EQ(FDefs->Walk->GetBuffers(), nullptr);
  EXPECT_EQ(FDefs->Walk->GetNextCacheFrame(FDefs->Body, 0), nullptr);
}

TEST_F(AnimationCachingRun, EventsFireInOrder) {
  TEventLog events;
  {
    auto caching = MakeOwned<TAnimationCaching>(FDefs->ModelDef, CompressedPositions, FModel.get());
    events.Attach(*caching);
    FDefs->Walk->Cache(caching.get());
    EXPECT_DOUBLE_EQ(caching->FrameTime(), 1.0 / 59);
  }
  std::vector<std::string> expected{"begin"};
  for (int32_t k = 0; k < 60; ++k) {
    expected.push_back("frame " + std::to_string(k) + "/60");
    expected.push_back("cached " + std::to_string(k));
    expected.push_back("end frame " + std::to_string(k));
  }
  expected.push_back("end");
  EXPECT_EQ(events.Events, expected);
}

TEST_F(AnimationCachingRun, AFailedRunLeavesTheAnimationUncached) {
  TEventLog events;
  events.FailAt = 3;
  auto caching = MakeOwned<TAnimationCaching>(FDefs->ModelDef, CompressedPositions, FModel.get());
  events.Attach(*caching);
  EXPECT_THROW(FDefs->Walk->Cache(caching.get()), rtl::Exception);
  // The frame that failed to begin stores nothing.
  EXPECT_EQ(events.Events.back(), "frame 3/60");
  // Frames 4 to 59 were never stored: nothing may draw them, skinning goes on.
  EXPECT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::None);
  EXPECT_EQ(FDefs->Walk->GetBuffers(), nullptr);
  EXPECT_FALSE(FDefs->Walk->IsCacheable());
  events.FailAt = -1;
  FDefs->Walk->Cache(caching.get());
  EXPECT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::Ready);
}

TEST_F(AnimationCachingRun, TimerStateIsRestoredBothWays) {
  ui::TAniThread& thread = ui::EnsureAniThread();
  for (const bool enabled : {true, false}) {
    SCOPED_TRACE(enabled);
    thread.SetTimerEnabled(enabled);
    FDefs->Walk->ClearCache();
    FDefs->ModelDef->CacheAnimations({}, CompressedPositions, FModel.get());
    EXPECT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::Ready);
    EXPECT_EQ(ui::AniThread()->TimerEnabled(), enabled);
  }
}

TEST_F(AnimationCachingRun, ModelMustBeAModelControl) {
  auto other = MakeOwned<TVantrelMesh>(nullptr);
  try {
    FDefs->ModelDef->CacheAnimations({}, CompressedPositions, other.get());
    FAIL() << "no error";
  } catch (const rtl::Exception& error) {
    EXPECT_EQ(error.Message(), "failed to cache model animations - model not a valid TVantrelModel");
  }
  EXPECT_FALSE(FDefs->Walk->IsCached());
}

TEST_F(AnimationCachingRun, TemporaryModelLeavesTheDefinitionAlive) {
  // A definition of no package that is not standalone is what a model control frees as its own.
  FModel.reset();
  FDefs->ModelDef->SetIsStandalone(false);
  FDefs->ModelDef->CacheAnimations({}, CompressedPositions, nullptr);
  // Still alive (ASan would report the use otherwise), and cached by the temporary model.
  EXPECT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::Ready);
  ASSERT_NE(BodyBuffer(), nullptr);
  EXPECT_NEAR(InflatedPositions(*BodyBuffer()->GetFrames()[59])[1].Y, 2, 1e-5);
}

TEST_F(AnimationCachingRun, ChangedFrameRateCachesAgainAtTheNewCount) {
  FDefs->ModelDef->CacheAnimations({}, CompressedPositions, FModel.get());
  FDefs->Walk->SetFrameRate(30);
  EXPECT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::None);
  FDefs->ModelDef->CacheAnimations({}, CompressedPositions, FModel.get());
  EXPECT_EQ(FDefs->Walk->GetBufferingState(), TAnimationBufferingState::Ready);
  ASSERT_EQ(BodyBuffer()->GetFrames().Count(), 30);
  EXPECT_NEAR(InflatedPositions(*BodyBuffer()->GetFrames()[29])[1].Y, 2, 1e-5);
}

} // namespace
