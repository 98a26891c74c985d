#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/math3d.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Transform.h"
#include "support/log_capture.h"

namespace {

using namespace vantrel;

void ExpectPoint(const TPoint3D& AActual, const TPoint3D& AExpected) {
  EXPECT_NEAR(AActual.X, AExpected.X, 1e-5);
  EXPECT_NEAR(AActual.Y, AExpected.Y, 1e-5);
  EXPECT_NEAR(AActual.Z, AExpected.Z, 1e-5);
}

class KeyAnimation : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeDefTypes();
    InitializeControl();
    InitializeTransform();
    InitializeAnimation();
    FRoot = MakeOwned<TVantrelTransform>(nullptr);
    FJoint = New<TVantrelTransform>(FRoot.get());
    FJoint->SetParent(FRoot.get());
  }
  void TearDown() override {
    FRoot.reset();
    FinalizeAnimation();
    FinalizeTransform();
    FinalizeControl();
    FinalizeDefTypes();
  }

  // A point animation on the joint with keys at the given times and X values.
  template <class TAnimationClass> TAnimationClass* MakeAnimation() {
    auto* animation = New<TAnimationClass>(FRoot.get());
    animation->SetParent(FJoint);
    animation->SetDuration(1);
    animation->AddElement(FJoint, true);
    return animation;
  }
  static TPoint3DKey* AddPointKey(TPoint3DKeyAnimation* AAnimation, float ATime, TComponent* AElement,
                                  const TPoint3D& AValue) {
    auto* key = static_cast<TPoint3DKey*>(AAnimation->Keys()->Add());
    key->SetKey(ATime);
    key->SetValue(AElement, AValue);
    return key;
  }

  TOwned<TVantrelTransform> FRoot;
  TVantrelTransform* FJoint = nullptr;
};

TEST_F(KeyAnimation, PointTrackInterpolatesAndSkipsKeysOfOneTime) {
  struct TCase {
    const char* Name;
    float Key0, Key1, Time;
    TPoint3D Expected;
  } cases[] = {
      {"between keys", 0, 1, 0.25f, {2.5f, 0, 0}},
      {"keys of one time write nothing", 0.5f, 0.5f, 0.5f, {-7, 0, 0}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto* animation = MakeAnimation<TPoint3DKeyAnimation>();
    FJoint->Position()->SetPoint({-7, 0, 0});
    AddPointKey(animation, c.Key0, FJoint, {0, 0, 0});
    AddPointKey(animation, c.Key1, FJoint, {10, 0, 0});
    animation->SetTime(c.Time);
    animation->ProcessAnimation();
    ExpectPoint(FJoint->Position()->Point(), c.Expected);
    animation->Free();
  }
}

TEST_F(KeyAnimation, ElementWithoutValueTakesTheDefaultThenTheFallback) {
  TPoint3DKey key;
  key.SetValue(FJoint, {1, 1, 1});
  ExpectPoint(key.GetValue(FRoot.get()), {0, 0, 0});
  key.SetDefaultValue({3, 0, 0});
  ExpectPoint(key.GetValue(FRoot.get()), {3, 0, 0});
  ExpectPoint(key.GetValue(FJoint), {1, 1, 1});
  EXPECT_EQ(TTransformationKey().GetValue(FJoint), TMatrix3D::Identity());
}

TEST_F(KeyAnimation, QuaternionTrackSlerpsHalfway) {
  auto* animation = MakeAnimation<TQuaternion3DKeyAnimation>();
  for (float time : {0.0f, 1.0f}) {
    auto* key = static_cast<TQuaternion3DKey*>(animation->Keys()->Add());
    key->SetKey(time);
    key->SetValue(FJoint, time == 0 ? TQuaternion3D::Identity()
                                    : TQuaternion3D::Create({0, 0, 1}, std::numbers::pi_v<float> / 2));
  }
  animation->SetTime(0.5);
  animation->ProcessAnimation();
  const TQuaternion3D expected = TQuaternion3D::Create({0, 0, 1}, std::numbers::pi_v<float> / 4);
  const TQuaternion3D actual = FJoint->Quaternion();
  const float sign = actual.RealPart * expected.RealPart < 0 ? -1.0f : 1.0f;
  EXPECT_NEAR(sign * actual.RealPart, expected.RealPart, 1e-5);
  EXPECT_NEAR(sign * actual.ImagPart.Z, expected.ImagPart.Z, 1e-5);
}

TEST_F(KeyAnimation, TransformShiftsEveryMatrixKeyDefaultIncluded) {
  auto* animation = MakeAnimation<TTransformationKeyAnimation>();
  auto* key = static_cast<TTransformationKey*>(animation->Keys()->Add());
  key->SetValue(FJoint, TMatrix3D::CreateTranslation({1, 0, 0}));
  key->SetDefaultValue(TMatrix3D::Identity());
  animation->Transform(TMatrix3D::CreateTranslation({0, 5, 0}));
  EXPECT_EQ(key->GetValue(FJoint), TMatrix3D::CreateTranslation({1, 5, 0}));
  EXPECT_EQ(key->GetDefaultValue(), TMatrix3D::CreateTranslation({0, 5, 0}));
  auto* point = MakeAnimation<TPoint3DKeyAnimation>();
  try {
    point->Transform(TMatrix3D::Identity());
    FAIL() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "TPoint3DKeyAnimation.Transform not supported yet");
  }
}

TEST_F(KeyAnimation, TracksAimedAtAnotherRecordTypeWriteNothing) {
  FJoint->Position()->SetPoint({4, 4, 4});
  auto* track = MakeAnimation<TPoint3DKeyAnimation>();
  track->SetPropertyName("Position.Vector");
  AddPointKey(track, 0, FJoint, {0, 0, 0});
  AddPointKey(track, 1, FJoint, {10, 0, 0});
  track->SetTime(0.5);
  EXPECT_NO_THROW(track->ProcessAnimation());
  ExpectPoint(FJoint->Position()->Point(), {4, 4, 4});

  auto* plain = New<TPoint3DAnimation>(FRoot.get());
  plain->SetParent(FJoint);
  plain->SetPropertyName("Position.Vector");
  plain->StopValue()->SetPoint({9, 9, 9});
  plain->ResolvePropertyPath();
  plain->SetTime(plain->Duration());
  EXPECT_NO_THROW(plain->ProcessAnimation());
  ExpectPoint(FJoint->Position()->Point(), {4, 4, 4});
  plain->SetPropertyName("Position.Point");
  plain->ResolvePropertyPath();
  plain->ProcessAnimation();
  ExpectPoint(FJoint->Position()->Point(), {9, 9, 9});
}

TEST_F(KeyAnimation, PathsResolveThroughPropertiesAndNamedChildren) {
  auto* arm = New<TVantrelTransform>(FRoot.get());
  arm->SetName("Arm");
  arm->SetParent(FJoint);
  auto* animation = MakeAnimation<TTransformationKeyAnimation>();
  TPropertyInstanceBuffer target;

  animation->SetPropertyName("Position.Point");
  ASSERT_TRUE(animation->ResolveElementProperty(FJoint, target));
  EXPECT_EQ(target.Instance, FJoint->Position());
  animation->Stop();

  animation->SetPropertyName("arm.TransformMatrix");
  ASSERT_TRUE(animation->ResolveElementProperty(FJoint, target));
  EXPECT_EQ(target.Instance, arm);
  arm->SetName("Other");
  EXPECT_TRUE(animation->ResolveElementProperty(FJoint, target)) << "cached";
  animation->Stop();
  EXPECT_FALSE(animation->ResolveElementProperty(FJoint, target)) << "resolved again after Stop";

  animation->SetPropertyName("Nope.X");
  EXPECT_FALSE(animation->ResolveElementProperty(FJoint, target));
}

TEST_F(KeyAnimation, FreedElementsLeaveTheListsAndCache) {
  auto* arm = New<TVantrelTransform>(FRoot.get());
  arm->SetName("Arm");
  arm->SetParent(FJoint);
  auto* animation = MakeAnimation<TPoint3DKeyAnimation>();
  animation->SetPropertyName("Arm.TransformMatrix");
  TPropertyInstanceBuffer target;
  ASSERT_TRUE(animation->ResolveElementProperty(FJoint, target));
  arm->Free(); // the cached instance goes
  EXPECT_FALSE(animation->ResolveElementProperty(FJoint, target));
  auto* other = New<TVantrelTransform>(FRoot.get());
  animation->AddElement(other, true);
  AddPointKey(animation, 0, other, {1, 0, 0});
  other->Free();
  EXPECT_EQ(animation->Elements().Count(), 1);
  EXPECT_FALSE(animation->Elements().ContainsKey(static_cast<TComponent*>(other)));
}

TEST_F(KeyAnimation, LoadingTwiceWarnsOnceAndKeepsTheDefinitionsKeys) {
  TPoint3DInterpolatorDef def;
  def.SetId("Arm_Position");
  def.SetDuration(-1.5f);
  def.SetLoop(false);
  def.AddKey(0, {1, 0, 0}, TInterpolationType::Linear);
  def.AddKey(1, {1, 2, 0}, TInterpolationType::Linear);
  auto* animation = MakeAnimation<TPoint3DKeyAnimation>();
  vtest::TLogCapture log;
  animation->LoadFromInterpolatorDef(&def);
  animation->LoadFromInterpolatorDef(&def);
  const std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "<WARNING> Keys already filled in Arm_Position - clearing now");
  ASSERT_EQ(animation->Keys()->Count(), 2);
  ExpectPoint(static_cast<TPoint3DKey*>(animation->Keys()->Items(1))->GetValue(FJoint), {1, 2, 0});
  EXPECT_FLOAT_EQ(animation->Duration(), 1.5f);
  EXPECT_TRUE(animation->Inverse());
  EXPECT_FALSE(animation->Enabled());
  EXPECT_EQ(animation->Def(), &def);

  TVector3DInterpolatorDef other;
  EXPECT_THROW(animation->LoadFromInterpolatorDef(&other), EInvalidCast);
}

TEST_F(KeyAnimation, CachingTickAndResetWriteTheStartPose) {
  auto* animation = MakeAnimation<TPoint3DKeyAnimation>();
  AddPointKey(animation, 0, FJoint, {0, 0, 0});
  AddPointKey(animation, 1, FJoint, {10, 0, 0});
  animation->ProcessCachingTick(0, 0.5f);
  ExpectPoint(FJoint->Position()->Point(), {5, 0, 0});
  EXPECT_FLOAT_EQ(animation->TransitionTime(), 0.5f);
  animation->SetStartFromCurrent(true);
  animation->ResetCaching();
  EXPECT_EQ(animation->Time(), 0);
  // The first frame reads the element's own property named by the last segment: a joint has no
  // "Point", so the start key keeps its value.
  ExpectPoint(static_cast<TPoint3DKey*>(animation->Keys()->Items(0))->GetValue(FJoint), {0, 0, 0});

  auto* matrix = MakeAnimation<TTransformationKeyAnimation>();
  static_cast<TTransformationKey*>(matrix->Keys()->Add())->SetValue(FJoint, TMatrix3D::Identity());
  matrix->SetStartFromCurrent(true);
  FJoint->SetTransformMatrix(TMatrix3D::CreateTranslation({0, 3, 0}));
  matrix->ResolvePropertyPath(); // keeps the last segment the first frame reads
  matrix->ResetCaching();
  EXPECT_EQ(static_cast<TTransformationKey*>(matrix->Keys()->Items(0))->GetValue(FJoint),
            FJoint->GetTransformMatrix());
}

TEST_F(KeyAnimation, SkeletonHandsItsClockToEveryInterpolator) {
  auto* skeleton = New<TSkeletonKeyAnimation>(FRoot.get());
  skeleton->SetParent(FRoot.get());
  skeleton->SetDuration(1);
  EXPECT_TRUE(skeleton->Loop());
  EXPECT_EQ(skeleton->PropertyName(), "Vertices");
  skeleton->ProcessCachingTick(0, 0.25f);
  EXPECT_FLOAT_EQ(skeleton->TransitionTime(), 0.25f) << "without interpolators only the time moves";

  auto* track = MakeAnimation<TPoint3DKeyAnimation>();
  AddPointKey(track, 0, FJoint, {0, 0, 0});
  AddPointKey(track, 1, FJoint, {10, 0, 0});
  skeleton->AddInterpolator(track);
  EXPECT_EQ(track->PropertyPath(), "Point");
  skeleton->ProcessCachingTick(0, 0.25f);
  ExpectPoint(FJoint->Position()->Point(), {5, 0, 0});
  EXPECT_FALSE(FRoot->IsUpdating());

  skeleton->Reset();
  skeleton->ProcessAnimation();
  ExpectPoint(FJoint->Position()->Point(), {0, 0, 0});

  skeleton->ProcessAnimationRemote(0, 0.75f);
  ExpectPoint(FJoint->Position()->Point(), {7.5f, 0, 0});

  track->SetDuration(1.5f);
  skeleton->SetSpeed(2);
  EXPECT_FLOAT_EQ(track->Duration(), 3);
  skeleton->SetSpeed(2);
  EXPECT_FLOAT_EQ(track->Duration(), 6);
  EXPECT_FLOAT_EQ(skeleton->Duration(), 1);

  track->Free();
  EXPECT_TRUE(skeleton->Interpolators().empty());
}

// The skeleton writes inside an update of its parent, where a transform only notes its changes;
// the update's end must leave the local matrix built from what the tracks wrote.
TEST_F(KeyAnimation, TracksUnderTheSkeletonLeaveTheMatrixOfWhatTheyWrote) {
  struct TCase {
    const char* Path;
    TPoint3D Stop;
    TMatrix3D Expected;
  } cases[] = {
      {"Position.Point", {10, 0, 0}, TMatrix3D::CreateTranslation({5, 0, 0})},
      {"Scale.Point", {3, 3, 3}, TMatrix3D::CreateScaling({2, 2, 2})},
      {"RotationAngle.Point", {0, 0, 180}, TMatrix3D::CreateRotationZ(float(std::numbers::pi / 2))},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    FJoint->SetTransformMatrix(TMatrix3D::Identity());
    auto* skeleton = New<TSkeletonKeyAnimation>(FRoot.get());
    skeleton->SetParent(FRoot.get());
    skeleton->SetDuration(1);
    auto* track = MakeAnimation<TPoint3DKeyAnimation>();
    track->SetPropertyName(c.Path);
    const TPoint3D start = std::string(c.Path) == "Scale.Point" ? TPoint3D{1, 1, 1} : TPoint3D{};
    AddPointKey(track, 0, FJoint, start);
    AddPointKey(track, 1, FJoint, c.Stop);
    skeleton->AddInterpolator(track);

    // An update around the tick's own: only the outermost end rebuilds.
    FRoot->BeginUpdate();
    skeleton->ProcessCachingTick(0, 0.5f);
    EXPECT_EQ(FJoint->LocalMatrix(), TMatrix3D::Identity());
    FRoot->EndUpdate();
    for (int r = 0; r < 4; ++r)
      for (int col = 0; col < 4; ++col)
        EXPECT_NEAR(FJoint->LocalMatrix()(r, col), c.Expected(r, col), 1e-5) << r << "," << col;
    EXPECT_NEAR(FJoint->AbsoluteMatrix()(3, 0), c.Expected(3, 0), 1e-5);

    // An update without a change leaves the matrix alone, and a matrix stored after a change
    // within the update is the one that stays.
    const TMatrix3D stored = TMatrix3D::CreateTranslation({0, 0, 4});
    FJoint->SetTransformMatrix(stored);
    FRoot->BeginUpdate();
    FRoot->EndUpdate();
    EXPECT_EQ(FJoint->LocalMatrix(), stored);
    const TMatrix3D skewed = TMatrix3D::CreateScaling({1, 2, 1}) * TMatrix3D::CreateRotationZ(0.5f);
    FRoot->BeginUpdate();
    FJoint->Position()->SetPoint({7, 0, 0});
    FJoint->SetLocalMatrixValue(skewed);
    FRoot->EndUpdate();
    EXPECT_EQ(FJoint->LocalMatrix(), skewed);
    track->Free();
    skeleton->Free();
  }
}

} // namespace
