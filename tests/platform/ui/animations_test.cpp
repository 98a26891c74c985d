#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/properties.h"
#include "support/fake_clock.h"
#include "ui/animations.h"
#include "ui/controls3d.h"
#include "ui/platform_services.h"

using ui::TAnimation;
using ui::TAnimationType;
using ui::TInterpolationType;

namespace {

// Records what the hooks saw: the time of every process step, first frames, finishes.
class TRecordingAnimation : public TAnimation {
  RTL_CLASS(TRecordingAnimation, TAnimation)
public:
  explicit TRecordingAnimation(rtl::TComponent* AOwner) : TAnimation(AOwner) {
    OnFinish = rtl::TNotifyEvent(this, &TRecordingAnimation::Finished);
  }

  std::vector<double> Times;
  int FirstFrames = 0;
  int Finishes = 0;
  // Called on every process step, for tests that act from inside a tick.
  std::function<void()> OnStep;

  void FirstFrame() override { ++FirstFrames; }
  void ProcessAnimation() override {
    Times.push_back(Time());
    if (OnStep)
      OnStep();
  }
  // The tick a caching run gives: whatever the running state.
  void CachingTick(float ADeltaTime) { AdvanceTick(0, ADeltaTime, false); }

private:
  void Finished(rtl::TObject*) { ++Finishes; }
};
RTL_DEFINE_CLASS(TRecordingAnimation, "Test.Ani")

rtl::TOwned<TRecordingAnimation> NewAnimation(float ADuration = 1) {
  rtl::TOwned<TRecordingAnimation> animation(rtl::New<TRecordingAnimation>(nullptr));
  animation->SetDuration(ADuration);
  return animation;
}

class AnimationsTest : public ::testing::Test {
protected:
  void SetUp() override { ui::FreeAniThread(); }
  void TearDown() override { ui::FreeAniThread(); }

  vtest::TFakeClock FClock;
};

constexpr TInterpolationType AllInterpolations[] = {
    TInterpolationType::Linear,      TInterpolationType::Quadratic, TInterpolationType::Cubic,
    TInterpolationType::Quartic,     TInterpolationType::Quintic,   TInterpolationType::Sinusoidal,
    TInterpolationType::Exponential, TInterpolationType::Circular,  TInterpolationType::Elastic,
    TInterpolationType::Back,        TInterpolationType::Bounce};
constexpr TAnimationType AllTypes[] = {TAnimationType::In, TAnimationType::Out, TAnimationType::InOut};

} // namespace

TEST(AnimationEase, EveryCurveRunsFromZeroToOne) {
  for (TInterpolationType interpolation : AllInterpolations)
    for (TAnimationType type : AllTypes) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(interpolation) << "/" << static_cast<int>(type));
      EXPECT_NEAR(ui::AnimationEase(0, interpolation, type), 0, 1e-12);
      EXPECT_NEAR(ui::AnimationEase(1, interpolation, type), 1, 1e-12);
    }
}

TEST(AnimationEase, PinnedValues) {
  struct TCase {
    TInterpolationType Interpolation;
    TAnimationType Type;
    double Time;
    double Expected;
  };
  const TCase cases[] = {
      {TInterpolationType::Quadratic, TAnimationType::In, 0.25, 0.0625},
      {TInterpolationType::Quadratic, TAnimationType::Out, 0.25, 0.4375},
      {TInterpolationType::Quadratic, TAnimationType::InOut, 0.25, 0.125},
      {TInterpolationType::Quadratic, TAnimationType::InOut, 0.75, 0.875},
      {TInterpolationType::Bounce, TAnimationType::Out, 0.25, 0.47265625},
      {TInterpolationType::Elastic, TAnimationType::In, 0.5, -0.015625},
      {TInterpolationType::Exponential, TAnimationType::In, 0.5, 0.03125},
      {TInterpolationType::Back, TAnimationType::In, 0.5, 0.25 * (2.70158 * 0.5 - 1.70158)},
      // An ordinal outside the enumeration eases as Linear.
      {static_cast<TInterpolationType>(42), TAnimationType::Out, 0.3, 0.3},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(test.Interpolation) << " at " << test.Time);
    EXPECT_NEAR(ui::AnimationEase(test.Time, test.Interpolation, test.Type), test.Expected, 1e-9);
  }
}

TEST_F(AnimationsTest, DefaultsArePublished) {
  auto animation = NewAnimation();
  rtl::TOwned<TAnimation> fresh(rtl::New<TAnimation>(nullptr));
  EXPECT_FALSE(fresh->Enabled());
  EXPECT_FLOAT_EQ(fresh->Duration(), 0.2f);
  EXPECT_EQ(fresh->Delay(), 0);
  EXPECT_FALSE(fresh->Loop() || fresh->AutoReverse() || fresh->Inverse() || fresh->Running());
  EXPECT_EQ(rtl::GetPropValue(fresh.get(), "Interpolation").AsOrdinal(), 0);
  rtl::SetPropValueFromString(fresh.get(), "AnimationType", "InOut");
  EXPECT_EQ(fresh->AnimationType(), TAnimationType::InOut);
  EXPECT_NE(rtl::GetEventInfo(TAnimation::StaticClass(), "OnFinish"), nullptr);
}

// Duration 1 and ticks of 0.4: the time after each tick, and whether the run ends.
TEST_F(AnimationsTest, TickTable) {
  struct TCase {
    const char* Name;
    bool Loop, AutoReverse, Inverse;
    std::vector<double> Times;
    std::vector<bool> InverseAfter; // empty: not checked
    bool Stops;
  };
  const TCase cases[] = {
      {"loop", true, false, false, {0.4, 0.8, 0, 0.4}, {}, false},
      {"loop, auto-reverse",
       true,
       true,
       false,
       {0.4, 0.8, 1, 0.6, 0.2, 0, 0.4},
       {false, false, true, true, true, false, false},
       false},
      {"auto-reverse once", false, true, false, {0.4, 0.8, 1, 0.6, 0.2, 0}, {}, true},
      {"plain", false, false, false, {0.4, 0.8, 1}, {}, true},
      {"inverse", false, false, true, {0.6, 0.2, 0}, {}, true},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    auto animation = NewAnimation();
    animation->SetLoop(test.Loop);
    animation->SetAutoReverse(test.AutoReverse);
    animation->SetInverse(test.Inverse);
    animation->Start();
    ASSERT_TRUE(animation->Running());
    EXPECT_EQ(animation->FirstFrames, 1);
    animation->Times.clear();
    for (size_t i = 0; i < test.Times.size(); ++i) {
      animation->ProcessTick(0, 0.4f);
      ASSERT_EQ(animation->Times.size(), i + 1);
      EXPECT_NEAR(animation->Times[i], test.Times[i], 1e-6) << "tick " << i;
      if (!test.InverseAfter.empty())
        EXPECT_EQ(animation->Inverse(), test.InverseAfter[i]) << "tick " << i;
      if (i + 1 < test.Times.size())
        EXPECT_TRUE(animation->Running()) << "tick " << i;
    }
    EXPECT_EQ(animation->Running(), !test.Stops);
    EXPECT_EQ(animation->Finishes, test.Stops ? 1 : 0);
    EXPECT_EQ(ui::AniThread()->Animations().size(), test.Stops ? 0u : 1u);
    // A stopped animation ignores further ticks; a stop writes nothing.
    const size_t steps = animation->Times.size();
    animation->Stop();
    animation->ProcessTick(0, 0.4f);
    EXPECT_EQ(animation->Times.size(), steps);
    EXPECT_EQ(animation->Finishes, 1);
  }
}

TEST_F(AnimationsTest, DelayHoldsTheFirstFrameBack) {
  auto animation = NewAnimation();
  animation->SetDelay(0.5f);
  animation->Start();
  EXPECT_EQ(animation->FirstFrames, 0);
  EXPECT_TRUE(animation->Times.empty());
  animation->ProcessTick(0, 0.4f);
  EXPECT_EQ(animation->FirstFrames, 0);
  EXPECT_TRUE(animation->Times.empty());
  animation->ProcessTick(0, 0.4f);
  EXPECT_EQ(animation->FirstFrames, 1);
  EXPECT_EQ(animation->Times, std::vector<double>{0});
  animation->ProcessTick(0, 0.4f);
  EXPECT_NEAR(animation->Times.back(), 0.4, 1e-6);
}

TEST_F(AnimationsTest, CachingTickRunsWithoutStartAndGivesTheSameTimes) {
  auto animation = NewAnimation();
  animation->SetLoop(true);
  animation->SetAutoReverse(true);
  for (int i = 0; i < 7; ++i)
    animation->CachingTick(0.4f);
  EXPECT_FALSE(animation->Running());
  const std::vector<double> expected{0.4, 0.8, 1, 0.6, 0.2, 0, 0.4};
  ASSERT_EQ(animation->Times.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_NEAR(animation->Times[i], expected[i], 1e-6);
  EXPECT_EQ(ui::AniThread(), nullptr);
}

TEST_F(AnimationsTest, PausedAndDesignedAnimationsDoNotTick) {
  auto animation = NewAnimation();
  animation->Start();
  animation->SetPause(true);
  animation->ProcessTick(0, 0.4f);
  EXPECT_EQ(animation->Times.size(), 1u);
  animation->SetPause(false);
  animation->SetDesigning(true);
  animation->ProcessTick(0, 0.4f);
  EXPECT_EQ(animation->Times.size(), 1u);
}

TEST_F(AnimationsTest, NormalizedTimeEasesTheClampedRatio) {
  auto animation = NewAnimation(2);
  animation->SetInterpolation(TInterpolationType::Quadratic);
  animation->SetTime(0.5);
  EXPECT_FLOAT_EQ(animation->NormalizedTime(), 0.0625f);
  animation->SetTime(3);
  EXPECT_FLOAT_EQ(animation->NormalizedTime(), 1);
  animation->SetTime(-1);
  EXPECT_FLOAT_EQ(animation->NormalizedTime(), 0);
  animation->SetDuration(0);
  EXPECT_FLOAT_EQ(animation->NormalizedTime(), 1);
}

TEST_F(AnimationsTest, EnabledStartsAndStopsExceptWhileLoading) {
  auto animation = NewAnimation();
  animation->SetEnabled(true);
  EXPECT_TRUE(animation->Running());
  animation->SetEnabled(false);
  EXPECT_FALSE(animation->Running());
  EXPECT_EQ(animation->Finishes, 1);

  animation->Loading();
  animation->SetEnabled(true);
  EXPECT_FALSE(animation->Running());
  animation->Loaded();
  EXPECT_TRUE(animation->Running());
}

TEST_F(AnimationsTest, AnInvisibleParentBlocksTheStartAndStopsATick) {
  rtl::TOwned<ui::TDummy> parent(rtl::New<ui::TDummy>(nullptr));
  auto animation = NewAnimation();
  animation->SetParent(parent.get());
  parent->SetVisible(false);
  animation->Start();
  EXPECT_FALSE(animation->Running());
  EXPECT_EQ(animation->FirstFrames, 0);

  parent->SetVisible(true);
  animation->Start();
  ASSERT_TRUE(animation->Running());
  parent->SetVisible(false);
  animation->ProcessTick(0, 0.1f);
  EXPECT_FALSE(animation->Running());
  EXPECT_EQ(animation->Finishes, 1);
  EXPECT_EQ(animation->Times.size(), 1u);
}

TEST_F(AnimationsTest, TheListIsMadeByTheFirstStartAndSteppedByItsTimer) {
  EXPECT_EQ(ui::AniThread(), nullptr);
  auto animation = NewAnimation();
  animation->SetLoop(true);
  animation->Start();
  ui::TAniThread* thread = ui::AniThread();
  ASSERT_NE(thread, nullptr);
  // The list's clock is the timer service's, from the list's creation.
  EXPECT_DOUBLE_EQ(thread->Time(), ui::TPlatformServices::Current().TimerService()->GetTick());
  EXPECT_TRUE(thread->TimerEnabled());

  FClock.Advance(ui::TAniThread::TimerInterval);
  ASSERT_EQ(animation->Times.size(), 2u);
  EXPECT_NEAR(animation->Times[1], 0.016, 1e-6);
  EXPECT_NEAR(thread->DeltaTime(), 0.016, 1e-9);

  thread->SetTimerEnabled(false);
  FClock.Advance(100);
  EXPECT_EQ(animation->Times.size(), 2u);
  // A step picks up all the time that passed.
  thread->StepAnimations();
  EXPECT_NEAR(animation->Times.back(), 0.116, 1e-6);
  // No time passed: nothing steps.
  thread->StepAnimations();
  EXPECT_EQ(animation->Times.size(), 3u);
  EXPECT_EQ(thread->DeltaTime(), 0);

  // A freed running animation leaves the list.
  animation.reset();
  EXPECT_TRUE(thread->Animations().empty());
}

TEST_F(AnimationsTest, StepsSurviveRemovalsAndSlowCarets) {
  auto first = NewAnimation(100);
  auto second = NewAnimation(100);
  auto third = NewAnimation(100);
  first->Start();
  second->Start();
  third->Start();
  ui::TAniThread* thread = ui::AniThread();
  // The last is stepped first; it frees the other two. The walk goes on from the new end of the
  // list, which is the same animation, so it is stepped twice.
  third->OnStep = [&] {
    first.reset();
    second.reset();
  };
  FClock.Advance(1);
  thread->StepAnimations();
  EXPECT_EQ(thread->Animations(), std::vector<TAnimation*>{third.get()});
  EXPECT_EQ(third->Times.size(), 3u);

  third->OnStep = nullptr;
  auto caret = NewAnimation(100);
  caret->SetStyleName("Caret");
  caret->Start();
  caret->Times.clear();
  third->Times.clear();
  for (int i = 0; i < 24; ++i) {
    FClock.Advance(1);
    thread->StepAnimations();
  }
  EXPECT_EQ(third->Times.size(), 24u);
  EXPECT_EQ(caret->Times.size(), 2u);
  EXPECT_EQ(caret->Tag(), 24);
}

TEST_F(AnimationsTest, KeysFindTheFirstEnclosingPair) {
  rtl::TOwned<ui::TKeys> keys(rtl::New<ui::TKeys>(ui::TKey::StaticClass()));
  ui::TKey* k0 = nullptr;
  ui::TKey* k1 = nullptr;
  EXPECT_FALSE(keys->FindKeys(0, k0, k1));
  static_cast<ui::TKey*>(keys->Add())->SetKey(0);
  EXPECT_FALSE(keys->FindKeys(0, k0, k1));
  for (float key : {0.5f, 0.5f, 1.0f})
    static_cast<ui::TKey*>(keys->Add())->SetKey(key);

  struct TCase {
    double Time;
    int First; // -1: none
  };
  const TCase cases[] = {{-0.1, -1}, {0, 0}, {0.25, 0}, {0.5, 0}, {0.75, 2}, {1, 2}, {1.01, -1}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Time);
    const bool found = keys->FindKeys(test.Time, k0, k1);
    EXPECT_EQ(found, test.First >= 0);
    if (found) {
      EXPECT_EQ(k0, keys->Keys(test.First));
      EXPECT_EQ(k1, keys->Keys(test.First + 1));
    }
  }
  EXPECT_THROW(ui::TKeys(TAnimation::StaticClass()), rtl::EInvalidCast);
}

TEST_F(AnimationsTest, PropertyPathsResolveOnTheParent) {
  rtl::TOwned<ui::TDummy> parent(rtl::New<ui::TDummy>(nullptr));
  rtl::TOwned<ui::TCustomPropertyAnimation> animation(rtl::New<ui::TCustomPropertyAnimation>(nullptr));
  animation->SetParent(parent.get());

  struct TCase {
    const char* Path;
    bool Resolves;
    const char* LastSegment;
  };
  const TCase cases[] = {
      {"Position.Point", true, "Point"}, {"position.x", true, "x"}, {"Opacity", true, "Opacity"},
      {"Nope.X", false, "X"},            {"Opacity.X", false, "X"}, {"Position.Nope", false, "Nope"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Path);
    animation->SetPropertyName(test.Path);
    EXPECT_EQ(animation->ResolvePropertyPath(), test.Resolves);
    EXPECT_EQ(animation->PropertyPath(), test.LastSegment);
    EXPECT_EQ(animation->PropertyInfo() != nullptr, test.Resolves);
    EXPECT_EQ(animation->PropertyInstance() != nullptr, test.Resolves);
  }

  animation->SetPropertyName("Position.Point");
  animation->Start();
  EXPECT_EQ(animation->PropertyInstance(), parent->Position());
  EXPECT_EQ(animation->PropertyInfo()->Name, "Point");
  // A new parent forgets the old one's property.
  animation->SetParent(nullptr);
  EXPECT_EQ(animation->PropertyInstance(), nullptr);
  EXPECT_FALSE(animation->ResolvePropertyPath());
}

// A path through a reference (the camera's Target) reaches another component, which may be freed
// first: the animation forgets it.
TEST_F(AnimationsTest, AFreedTargetOfAPathIsForgotten) {
  rtl::TOwned<ui::TCamera> camera(rtl::New<ui::TCamera>(nullptr));
  auto* target = rtl::New<ui::TDummy>(nullptr);
  camera->SetTarget(target);
  rtl::TOwned<ui::TCustomPropertyAnimation> animation(rtl::New<ui::TCustomPropertyAnimation>(nullptr));
  animation->SetParent(camera.get());
  animation->SetPropertyName("Target.Opacity");
  ASSERT_TRUE(animation->ResolvePropertyPath());
  EXPECT_EQ(animation->PropertyInstance(), target);
  // The position object goes with its control.
  animation->SetPropertyName("Target.Position.X");
  ASSERT_TRUE(animation->ResolvePropertyPath());
  EXPECT_EQ(animation->PropertyInstance(), target->Position());
  target->Free();
  EXPECT_EQ(animation->PropertyInstance(), nullptr);
  EXPECT_EQ(animation->PropertyInfo(), nullptr);
  EXPECT_FALSE(animation->ResolvePropertyPath()) << "the camera's target is nil now";
}
