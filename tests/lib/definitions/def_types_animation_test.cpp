#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "support/def_types_test.h"
#include "support/error_of.h"
#include "support/json_object.h"
#include "support/log_capture.h"
#include "support/model_lists.h"
#include "utils/Vantrel.Utils.Math.h"

namespace {

using namespace vantrel;
using ui::TInterpolationType;

using vtest::ParseObject;

using vtest::ErrorOf;

void ExpectMatrixNear(const TMatrix3D& AActual, const TMatrix3D& AExpected, float ATolerance) {
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col)
      EXPECT_NEAR(AActual(row, col), AExpected(row, col), ATolerance) << "element " << row << "," << col;
}

TMatrix3D RotationY(float ADegrees) {
  return TQuaternion3D::Create({0, 1, 0}, ADegrees * std::numbers::pi_v<float> / 180).ToMatrix();
}
TMatrix3D RotationZ(float ADegrees) {
  return TQuaternion3D::Create({0, 0, 1}, ADegrees * std::numbers::pi_v<float> / 180).ToMatrix();
}

class DefTracks : public vtest::TDefTypesTest {};

TEST_F(DefTracks, PointTrackSamplesBetweenEnclosingKeys) {
  TOwned<TPoint3DInterpolatorDef> track(New<TPoint3DInterpolatorDef>());
  track->AddKey(0, {0, 0, 0}, TInterpolationType::Linear);
  track->AddKey(0.5f, {10, 0, 0}, TInterpolationType::Cubic);
  track->AddKey(1, {10, 20, 0}, TInterpolationType::Linear);
  struct TCase {
    float Delta;
    bool Found;
    TPoint3D Value;
  };
  const TPoint3D untouched{-7, -7, -7};
  for (const TCase& c : {TCase{0.5f, true, {10, 0, 0}}, TCase{0.75f, true, {10, 10, 0}},
                         TCase{-0.1f, false, untouched}, TCase{1.1f, false, untouched}}) {
    SCOPED_TRACE(c.Delta);
    float key = -7;
    TInterpolationType interpolation = TInterpolationType::Bounce;
    TPoint3D value = untouched;
    EXPECT_EQ(track->ComputeInterpolatedKey(c.Delta, key, interpolation, value), c.Found);
    EXPECT_EQ(value, c.Value);
    EXPECT_EQ(key, c.Found ? c.Delta : -7);
    EXPECT_EQ(interpolation, c.Found ? TInterpolationType::Linear : TInterpolationType::Bounce);
  }
  // Two keys of one time give the later key's value.
  TOwned<TPoint3DInterpolatorDef> same(New<TPoint3DInterpolatorDef>());
  same->AddKey(0.5f, {1, 1, 1}, TInterpolationType::Linear);
  same->AddKey(0.5f, {2, 2, 2}, TInterpolationType::Linear);
  float key;
  TInterpolationType interpolation;
  TPoint3D value;
  ASSERT_TRUE(same->ComputeInterpolatedKey(0.5f, key, interpolation, value));
  EXPECT_EQ(value, (TPoint3D{2, 2, 2}));
}

TEST_F(DefTracks, RotationTracksSlerpAndMatrixTrackGivesItsKeysBack) {
  float key;
  TInterpolationType interpolation;
  {
    SCOPED_TRACE("quaternion");
    TOwned<TQuaternion3DInterpolatorDef> track(New<TQuaternion3DInterpolatorDef>());
    track->AddKey(0, TQuaternion3D::Identity(), TInterpolationType::Linear);
    // Not normalised: the track normalises through the rotation matrix.
    TQuaternion3D quarter = TQuaternion3D::Create({0, 0, 1}, std::numbers::pi_v<float> / 2);
    quarter = {quarter.ImagPart * 3, quarter.RealPart * 3};
    track->AddKey(1, quarter, TInterpolationType::Linear);
    TQuaternion3D value;
    ASSERT_TRUE(track->ComputeInterpolatedKey(0.5f, key, interpolation, value));
    ExpectMatrixNear(value.ToMatrix(), RotationZ(45), 1e-6f);
  }
  {
    SCOPED_TRACE("vector");
    TOwned<TVector3DInterpolatorDef> track(New<TVector3DInterpolatorDef>());
    const TQuaternion3D quarter = TQuaternion3D::Create({0, 0, 1}, std::numbers::pi_v<float> / 2);
    track->AddKey(0, {0, 0, 0, 1}, TInterpolationType::Linear);
    track->AddKey(1, {quarter.ImagPart.X, quarter.ImagPart.Y, quarter.ImagPart.Z, quarter.RealPart},
                  TInterpolationType::Linear);
    TVector3D value;
    ASSERT_TRUE(track->ComputeInterpolatedKey(0.5f, key, interpolation, value));
    ExpectMatrixNear(TQuaternion3D({value.X, value.Y, value.Z}, value.W).ToMatrix(), RotationZ(45), 1e-6f);
  }
  {
    SCOPED_TRACE("matrix, scaled keys");
    TOwned<TTransformationInterpolatorDef> track(New<TTransformationInterpolatorDef>());
    const TMatrix3D keyMatrix =
        TMatrix3D::CreateScaling({2, 2, 2}) * RotationY(30) * TMatrix3D::CreateTranslation({1, 2, 3});
    track->AddKey(0, keyMatrix, TInterpolationType::Linear);
    track->AddKey(1, keyMatrix, TInterpolationType::Linear);
    for (float delta : {0.0f, 0.3f, 1.0f}) {
      SCOPED_TRACE(delta);
      TMatrix3D value;
      ASSERT_TRUE(track->ComputeInterpolatedKey(delta, key, interpolation, value));
      ExpectMatrixNear(value, keyMatrix, 1e-5f);
    }
  }
  {
    SCOPED_TRACE("matrix, halfway");
    TOwned<TTransformationInterpolatorDef> track(New<TTransformationInterpolatorDef>());
    track->AddKey(0, TMatrix3D::Identity(), TInterpolationType::Linear);
    track->AddKey(1, RotationZ(90) * TMatrix3D::CreateTranslation({2, 0, 0}), TInterpolationType::Linear);
    TMatrix3D value;
    ASSERT_TRUE(track->ComputeInterpolatedKey(0.5f, key, interpolation, value));
    ExpectMatrixNear(value, RotationZ(45) * TMatrix3D::CreateTranslation({1, 0, 0}), 1e-5f);
  }
  TOwned<TMeshInterpolatorDef> mesh(New<TMeshInterpolatorDef>());
  std::vector<TPoint3D> points;
  EXPECT_EQ(ErrorOf([&] { mesh->ComputeInterpolatedKey(0, key, interpolation, points); }),
            "TMeshInterpolatorDef.ComputeInterpolatedKey not implemented yet");
}

TEST_F(DefTracks, NormalizeKeyTimesAndAddKeys) {
  struct TCase {
    const char* Name;
    std::vector<float> Times;
    float Duration;
    std::vector<float> ExpectedTimes;
    float ExpectedDuration;
  };
  for (const TCase& c : {TCase{"three keys", {0, 1, 2}, 1, {0, 0.5f, 1}, 2},
                         TCase{"last key within 1e-6 of 1", {0, 1.0000005f}, 1, {0, 1.0000005f}, 1.0000005f},
                         TCase{"one key", {0.3f}, 0, {0.3f, 1}, 1},
                         TCase{"last key at 0", {0, 0}, 5, {0, 0}, 0}, TCase{"no keys", {}, 3, {}, 3}}) {
    SCOPED_TRACE(c.Name);
    TOwned<TPoint3DInterpolatorDef> track(New<TPoint3DInterpolatorDef>());
    track->SetDuration(c.Duration);
    const std::vector<TPoint3D> values{{1, 2, 3}};
    track->AddKeys(c.Times, values, {});
    track->NormalizeKeyTimeValues();
    ASSERT_EQ(track->GetKeys().Count(), static_cast<int>(c.ExpectedTimes.size()));
    for (size_t i = 0; i < c.ExpectedTimes.size(); ++i) {
      EXPECT_EQ(track->GetKeys().Items(static_cast<int>(i))->GetKey(), c.ExpectedTimes[i]);
      EXPECT_EQ(track->GetKeys().Items(static_cast<int>(i))->GetValue(), (TPoint3D{1, 2, 3}));
    }
    EXPECT_EQ(track->GetDuration(), c.ExpectedDuration);
  }
  TOwned<TPoint3DInterpolatorDef> track(New<TPoint3DInterpolatorDef>());
  const std::vector<float> times{0, 1, 2};
  const std::vector<TPoint3D> values{{1, 0, 0}, {2, 0, 0}};
  const std::vector<TInterpolationType> easing{TInterpolationType::Back};
  track->AddKeys(times, values, easing);
  ASSERT_EQ(track->GetKeys().Count(), 3);
  EXPECT_EQ(track->GetKeys().Items(2)->GetValue(), (TPoint3D{2, 0, 0}));
  EXPECT_EQ(track->GetKeys().Items(0)->GetInterpolation(), TInterpolationType::Back);
  EXPECT_EQ(track->GetKeys().Items(1)->GetInterpolation(), TInterpolationType::Linear);
  EXPECT_EQ(ErrorOf([&] { track->AddKeys(times, {}, {}); }),
            "failed to add multiple interpolator keys - array length differs");
  track->AddKeys({}, {}, {});
  EXPECT_EQ(track->GetKeys().Count(), 3);
}

TEST_F(DefTracks, JSONRoundTripAndMemberOrder) {
  TOwned<TAnimationStageDef> stage(New<TAnimationStageDef>());
  stage->SetId("S1");
  TOwned<TVector3DInterpolatorDef> track(New<TVector3DInterpolatorDef>(stage.get()));
  track->SetId("V1");
  track->SetPath("RotationAngle.Vector");
  track->SetDuration(2.5f);
  track->AddKey(0.1f, {0.1f, 0.2f, 0.3f, 0.4f}, static_cast<TInterpolationType>(42));
  const std::string text = track->ToJSON()->ToJSON();
  EXPECT_EQ(text, "{\"Type\":\"Vantrel.DefTypes.TVector3DInterpolatorDef\",\"Id\":\"V1\","
                  "\"Type\":\"TVector3DInterpolatorDef\",\"Stage\":\"S1\",\"Duration\":2.5,\"Loop\":true,"
                  "\"Path\":\"RotationAngle.Vector\",\"Keys\":[{\"Key\":0.1,\"Interpolation\":42,"
                  "\"Value\":\"0.1000 0.2000 0.3000 0.4000\"}]}");
  TOwned<TVector3DInterpolatorDef> copy(New<TVector3DInterpolatorDef>(stage.get()));
  copy->FromJSON(nullptr, *ParseObject(text));
  EXPECT_EQ(copy->ToJSON()->ToJSON(), text);
  EXPECT_EQ(static_cast<int32_t>(copy->GetKeys().Items(0)->GetInterpolation()), 42);
}

TEST_F(DefTracks, JSONReadingDefaultsAndErrors) {
  TOwned<TPoint3DInterpolatorDef> track(New<TPoint3DInterpolatorDef>());
  track->FromJSON(
      nullptr, *ParseObject(R"({"Path": "Position.Point", "Keys": [1, {"Key": 0.5, "Interpolation": 1}]})"));
  EXPECT_FALSE(track->GetLoop());
  EXPECT_EQ(track->GetDuration(), 1);
  ASSERT_EQ(track->GetKeys().Count(), 1);
  // A key without "Value" keeps its zeros.
  EXPECT_EQ(track->GetKeys().Items(0)->GetValue(), (TPoint3D{0, 0, 0}));
  EXPECT_EQ(track->GetKeys().Items(0)->GetKey(), 0.5f);

  struct TCase {
    const char* Json;
    const char* Message;
  };
  for (const TCase& c :
       {TCase{R"({"Keys": []})", "failed to load interpolator path - property path value not found"},
        TCase{R"({"Path": 5})", "failed to load interpolator path - property path value not found"},
        TCase{R"({"Path": "", "Keys": [{"Interpolation": 0}]})",
              "failed to load interpolator key - key value not found"},
        TCase{R"({"Path": "", "Keys": [{"Key": 0, "Interpolation": "0"}]})",
              "failed to load interpolator key - key interpolation method not found"},
        // A Single field cannot hold it, and its infinity could not be written back.
        TCase{R"({"Path": "", "Duration": 1e39})", "'1e39' is not a valid floating point value"},
        TCase{R"({"Path": "", "Keys": [{"Key": -4e38, "Interpolation": 0}]})",
              "'-4e38' is not a valid floating point value"}}) {
    SCOPED_TRACE(c.Json);
    TOwned<TPoint3DInterpolatorDef> failing(New<TPoint3DInterpolatorDef>());
    EXPECT_EQ(ErrorOf([&] { failing->FromJSON(nullptr, *ParseObject(c.Json)); }), c.Message);
  }
}

// ---- animations and stages ----

class DefAnimations : public DefTracks {
protected:
  // A real model definition: the definitions look joints, nodes and controllers up through it.
  TModelDef FModel;

  TJointDef* AddJoint(const std::string& AId) {
    auto* armature = vtest::ListArmature(FModel, New<TArmatureDef>());
    auto* joint = New<TJointDef>(armature);
    joint->SetId(AId);
    armature->SetRoot(joint);
    return joint;
  }

  static TPoint3DInterpolatorDef* AddPointTrack(TAnimationStageDef* AStage, const char* APath,
                                                float ADuration, std::vector<float> ATimes,
                                                std::vector<TPoint3D> AValues) {
    auto* track = New<TPoint3DInterpolatorDef>(AStage);
    track->SetPath(APath);
    track->SetDuration(ADuration);
    track->AddKeys(ATimes, AValues, {});
    AStage->AddInterpolator(track);
    return track;
  }
};

TEST_F(DefAnimations, DurationsAndFrameCounts) {
  struct TCase {
    std::vector<float> Durations;
    int32_t FrameRate;
    double Seconds;
    int32_t Milliseconds;
    int32_t Frames;
  };
  // Rounding up a Single duration: 0.1f is a hair above 0.1, so it takes 7 frames and 101 ms.
  for (const TCase& c :
       {TCase{{1.5f, 2.25f}, 60, 2.25, 2250, 135}, TCase{{2.26f}, 60, 2.26f, 2260, 136},
        TCase{{2.25f}, 30, 2.25, 2250, 68}, TCase{{0.1f}, 60, 0.1f, 101, 7}, TCase{{}, 60, 0, 0, 0},
        // A duration beyond what whole milliseconds and frames can count saturates.
        TCase{{1e30f}, 60, 1e30f, INT32_MAX, INT32_MAX}}) {
    SCOPED_TRACE(c.Frames);
    TOwned<TAnimationDef> animation(New<TAnimationDef>());
    int i = 0;
    for (float duration : c.Durations) {
      auto* stage = New<TAnimationStageDef>(animation.get());
      stage->SetId("S" + std::to_string(++i));
      animation->AddStage(stage);
      AddPointTrack(stage, "Position.Point", duration, {}, {});
    }
    EXPECT_EQ(animation->GetDurationInSeconds(), c.Seconds);
    EXPECT_EQ(animation->GetDurationInMilliseconds(), c.Milliseconds);
    animation->SetFrameRate(c.FrameRate);
    animation->PrepareAnimationData();
    EXPECT_EQ(animation->GetDuration(), c.Seconds);
    EXPECT_EQ(animation->GetFrameCount(), c.Frames);
  }
  // Setting the current rate recomputes nothing; another rate does.
  TOwned<TAnimationDef> animation(New<TAnimationDef>());
  auto* stage = New<TAnimationStageDef>(animation.get());
  animation->AddStage(stage);
  AddPointTrack(stage, "Position.Point", 2.25f, {}, {});
  animation->SetFrameRate(60);
  EXPECT_EQ(animation->GetFrameCount(), 0);
  animation->SetFrameRate(30);
  EXPECT_EQ(animation->GetFrameCount(), 68);
  EXPECT_EQ(animation->ComputeFrameCount(int64_t{1000}), 30);
}

TEST_F(DefAnimations, AddStageRefusesTakenIdsAndIgnoresNil) {
  TOwned<TAnimationDef> animation(New<TAnimationDef>());
  auto* first = New<TAnimationStageDef>(animation.get());
  first->SetId("S1");
  animation->AddStage(first);
  animation->AddStage(first);
  animation->AddStage(nullptr);
  TOwned<TAnimationStageDef> second(New<TAnimationStageDef>(animation.get()));
  second->SetId("S1");
  EXPECT_EQ(ErrorOf([&] { animation->AddStage(second.get()); }),
            "TAnimationDef: Stage with id S1 already exists");
  EXPECT_EQ(animation->GetStages().Count(), 1);
  EXPECT_EQ(animation->FindStageById("S1"), first);
  EXPECT_EQ(animation->FindStageById("s1"), nullptr);
}

TEST_F(DefAnimations, StageReadsTracksAndReferences) {
  TJointDef* joint = AddJoint("Hip");
  TOwned<TAnimationDef> animation(New<TAnimationDef>(&FModel));
  animation->SetId("Walk");
  const auto stageOf = [&](std::string_view ABody) { return R"({"Id": "S1", )" + std::string(ABody) + "}"; };
  TOwned<TAnimationStageDef> stage(New<TAnimationStageDef>(animation.get()));
  stage->FromJSON(&FModel, *ParseObject(stageOf(
                                      R"("Reference": "Hip", "Interpolators": [
         {"Type": "Vantrel.DefTypes.TPoint3DInterpolatorDef", "Id": "A", "Path": "Position.Point"},
         7,
         {"Type": "TPoint3DInterpolatorDef", "Id": "B", "Path": "Scale.Point"}])")));
  EXPECT_EQ(stage->GetReference(), joint);
  ASSERT_EQ(stage->GetInterpolators().Count(), 2);
  EXPECT_TRUE(stage->GetInterpolators().Items(0)->Is<TPoint3DInterpolatorDef>());
  EXPECT_TRUE(stage->GetInterpolators().Items(1)->Is<TPoint3DInterpolatorDef>());
  EXPECT_EQ(stage->FindInterpolatorById("B"), stage->GetInterpolators().Items(1));
  EXPECT_EQ(stage->FindInterpolatorById("b"), nullptr);

  struct TCase {
    std::string Json;
    const char* Message;
  };
  for (const TCase& c :
       {TCase{
            stageOf(R"("Interpolators": [{"Type": "Vantrel.DefTypes.TFooDef"}])"),
            "failed to load animation stage S1 - invalid interpolator type found: Vantrel.DefTypes.TFooDef"},
        TCase{stageOf(R"("Interpolators": [{"Type": "tpoint3dinterpolatordef"}])"),
              "failed to load animation stage S1 - invalid interpolator type found: tpoint3dinterpolatordef"},
        TCase{stageOf(R"("Reference": "Nope")"),
              "failed to load animation stage S1 - referenced joint or transform #Nope not found"},
        TCase{stageOf(R"("Interpolators": [{"Type": "TPoint3DInterpolatorDef"}])"),
              "failed to load animation stage S1 - failed to load interpolator path - property path value "
              "not found"}}) {
    SCOPED_TRACE(c.Json);
    TOwned<TAnimationStageDef> failing(New<TAnimationStageDef>(animation.get()));
    EXPECT_EQ(ErrorOf([&] { failing->FromJSON(&FModel, *ParseObject(c.Json)); }), c.Message);
  }
  // Without a model a named reference cannot be looked up.
  TOwned<TAnimationDef> modelless(New<TAnimationDef>());
  TOwned<TAnimationStageDef> orphan(New<TAnimationStageDef>(modelless.get()));
  EXPECT_EQ(ErrorOf([&] { orphan->FromJSON(nullptr, *ParseObject(stageOf(R"("Reference": "Hip")"))); }),
            "failed to load animation stage S1 - referenced joint or transform #Hip not found");
}

TEST_F(DefAnimations, AnimationRoundTripsIncludingStageWithoutReference) {
  auto* node = New<TTransformDef>(&FModel);
  node->SetId("Arm");
  FModel.AddChild(node);
  TOwned<TAnimationDef> animation(New<TAnimationDef>(&FModel));
  animation->SetId("Walk");
  auto* referenced = New<TAnimationStageDef>(animation.get());
  referenced->SetId("S1");
  referenced->SetReference(node);
  animation->AddStage(referenced);
  AddPointTrack(referenced, "Position.Point", 1, {0, 1}, {{0, 0, 0}, {1, 2, 3}});
  auto* free = New<TAnimationStageDef>(animation.get());
  free->SetId("S2");
  animation->AddStage(free);
  auto* mesh = New<TMeshInterpolatorDef>(free);
  mesh->SetPath("Coordinates");
  mesh->AddKey(0, {{1, 2, 3}, {4, 5, 6}}, TInterpolationType::Linear);
  free->AddInterpolator(mesh);
  const std::string text = animation->ToJSON()->ToJSON();

  TOwned<TAnimationDef> copy(New<TAnimationDef>(&FModel));
  copy->FromJSON(&FModel, *ParseObject(text));
  EXPECT_EQ(copy->ToJSON()->ToJSON(), text);
  EXPECT_EQ(copy->FindStageById("S1")->GetReference(), node);
  EXPECT_EQ(copy->FindStageById("S2")->GetReference(), nullptr);
  EXPECT_EQ(ErrorOf([&] { copy->FromJSON(&FModel, *ParseObject(R"({"Stages": [3]})")); }),
            "Invalid class typecast");
}

// ---- unification ----

class DefUnification : public DefAnimations {
protected:
  TOwned<TAnimationDef> FAnimation{New<TAnimationDef>(&FModel)};
  TJointDef* FJoint = AddJoint("Hip");

  TAnimationStageDef* AddStage(const std::string& AId) {
    auto* stage = New<TAnimationStageDef>(FAnimation.get());
    stage->SetId(AId);
    stage->SetReference(FJoint);
    FAnimation->AddStage(stage);
    return stage;
  }

  static TQuaternion3DInterpolatorDef* AddQuaternionTrack(TAnimationStageDef* AStage, int ACount) {
    auto* track = New<TQuaternion3DInterpolatorDef>(AStage);
    track->SetPath("Quaternion");
    for (int i = 0; i < ACount; ++i)
      track->AddKey(ACount > 1 ? float(i) / float(ACount - 1) : 0,
                    TQuaternion3D::Create({0, 0, 1}, 0.5f * float(i)), TInterpolationType::Linear);
    AStage->AddInterpolator(track);
    return track;
  }

  static const TTransformationInterpolatorDef* MergedOf(const TAnimationStageDef* AStage) {
    for (TCustomDef* track : AStage->GetInterpolators())
      if (auto* merged = dynamic_cast<TTransformationInterpolatorDef*>(track))
        return merged;
    return nullptr;
  }
};

TEST_F(DefUnification, MergesPositionRotationAndScaleIntoOneMatrixTrack) {
  TAnimationStageDef* stage = AddStage("S1");
  AddPointTrack(stage, "Position.Point", 0.5f, {0, 0.5f, 1}, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  TQuaternion3DInterpolatorDef* rotation = AddQuaternionTrack(stage, 3);
  AddPointTrack(stage, "Scale.Point", 0.8f, {0, 0.5f, 1}, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
  FAnimation->UnifyInterpolators({}, nullptr);

  ASSERT_EQ(stage->GetInterpolators().Count(), 1);
  const TTransformationInterpolatorDef* merged = MergedOf(stage);
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(merged->GetId(), "S1_transform_merged_3");
  EXPECT_EQ(merged->GetDuration(), 1);
  ASSERT_EQ(merged->GetKeys().Count(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const float v = float(i + 1);
    const TMatrix3D expected = TMatrix3D::CreateScaling({v, v, v}) *
                               TQuaternion3D::Create({0, 0, 1}, 0.5f * float(i)).ToMatrix() *
                               TMatrix3D::CreateTranslation({v, 0, 0});
    ExpectMatrixNear(merged->GetKeys().Items(i)->GetValue(), expected, 1e-6f);
    EXPECT_EQ(merged->GetKeys().Items(i)->GetKey(), 0.5f * float(i));
  }
  (void)rotation;
}

TEST_F(DefUnification, DriverSamplesOtherTracksAndPicksDuration) {
  struct TCase {
    const char* Name;
    int RotationKeys;               // 0: no rotation track
    std::vector<const char*> Paths; // point tracks of two keys at 0 and 1
    std::vector<float> Durations;
    int ExpectedKeys; // -1: the stage stays unchanged
    float ExpectedDuration;
  };
  for (const TCase& c : {TCase{"5 rotation keys, 2 positions", 5, {"Position.Point"}, {1, 2.5f}, 5, 2.5f},
                         TCase{"scale only", 0, {"Scale.Point"}, {0.5f}, 2, 1},
                         TCase{"other path only", 0, {"Coordinates"}, {0.5f}, -1, 0},
                         TCase{"one-key driver", 1, {"Position.Point"}, {0.8f, 0.5f}, 1, 1}}) {
    SCOPED_TRACE(c.Name);
    FAnimation.reset(New<TAnimationDef>(&FModel));
    TAnimationStageDef* stage = AddStage("S1");
    size_t d = 0;
    if (c.RotationKeys > 0)
      AddQuaternionTrack(stage, c.RotationKeys)->SetDuration(c.Durations[d++]);
    for (const char* path : c.Paths)
      AddPointTrack(stage, path, c.Durations[d++], {0, 1}, {{0, 0, 0}, {4, 8, 0}});
    const int before = stage->GetInterpolators().Count();
    FAnimation->UnifyInterpolators({}, nullptr);
    const TTransformationInterpolatorDef* merged = MergedOf(stage);
    if (c.ExpectedKeys < 0) {
      EXPECT_EQ(merged, nullptr);
      EXPECT_EQ(stage->GetInterpolators().Count(), before);
      continue;
    }
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(stage->GetInterpolators().Count(), 1);
    EXPECT_EQ(merged->GetDuration(), c.ExpectedDuration);
    ASSERT_EQ(merged->GetKeys().Count(), c.ExpectedKeys);
    if (c.RotationKeys == 5)
      for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(merged->GetKeys().Items(i)->GetValue().m41, 4 * 0.25f * float(i), 1e-6f) << i;
    if (c.RotationKeys == 1)
      EXPECT_EQ(MatrixGetTranslation(merged->GetKeys().Items(0)->GetValue()), (TPoint3D{0, 0, 0}));
  }
}

TEST_F(DefUnification, EulerOrderBaseTransformAndCallback) {
  const TPoint3D angles{30, 45, 60};
  struct TCase {
    const char* Name;
    TUnifyInterpolatorOptions Options;
    uint8_t Order;
  };
  for (const TCase& c :
       {TCase{"empty set", {}, 0},
        TCase{"ZYX and YZX", {TUnifyInterpolatorOption::EulerZYX, TUnifyInterpolatorOption::EulerYZX}, 3}}) {
    SCOPED_TRACE(c.Name);
    FAnimation.reset(New<TAnimationDef>(&FModel));
    TAnimationStageDef* stage = AddStage("S1");
    AddPointTrack(stage, "RotationAngle.Point", 1, {0}, {angles});
    FAnimation->UnifyInterpolators(c.Options, nullptr);
    ExpectMatrixNear(MergedOf(stage)->GetKeys().Items(0)->GetValue(),
                     Matrix3x3To3D(EulerToMatrix(angles, c.Order)), 1e-6f);
  }

  const TMatrix3D base = TMatrix3D::CreateTranslation({0, 5, 0});
  FJoint->SetTransform(base);
  struct TFlagCase {
    const char* Name;
    TKeyUnifyFlags Flags;
    TPoint3D FirstPosition;
    TMatrix3D Expected0, Expected1;
  };
  const TMatrix3D t1 = TMatrix3D::CreateTranslation({1, 0, 0});
  for (const TFlagCase& c :
       {TFlagCase{
            "equal first key drops the base", {TKeyUnifyFlag::EqualBaseTransformCheck}, {0, 5, 0}, base, t1},
        TFlagCase{
            "other first key keeps it", {TKeyUnifyFlag::EqualBaseTransformCheck}, {0, 0, 0}, base, t1 * base},
        TFlagCase{"inverse",
                  {TKeyUnifyFlag::InverseTransform, TKeyUnifyFlag::AbsoluteKeyTransform},
                  {0, 0, 0},
                  TMatrix3D::Identity(),
                  TMatrix3D::CreateTranslation({-1, 0, 0})}}) {
    SCOPED_TRACE(c.Name);
    FAnimation.reset(New<TAnimationDef>(&FModel));
    TAnimationStageDef* stage = AddStage("S1");
    stage->SetKeyUnifyFlags(c.Flags);
    AddPointTrack(stage, "Position.Point", 1, {0, 1}, {c.FirstPosition, {1, 0, 0}});
    FAnimation->UnifyInterpolators({}, nullptr);
    ExpectMatrixNear(MergedOf(stage)->GetKeys().Items(0)->GetValue(), c.Expected0, 1e-6f);
    ExpectMatrixNear(MergedOf(stage)->GetKeys().Items(1)->GetValue(), c.Expected1, 1e-6f);
  }
  FJoint->SetTransform(TMatrix3D::Identity());

  // The callback sees every key and may change it; one that raises stops its stage only.
  FAnimation.reset(New<TAnimationDef>(&FModel));
  TAnimationStageDef* failing = AddStage("S1");
  AddPointTrack(failing, "Position.Point", 1, {0, 0.5f, 1}, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  TAnimationStageDef* next = AddStage("S2");
  AddPointTrack(next, "Position.Point", 1, {0, 0.5f, 1}, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  vtest::TLogCapture log;
  int calls = 0;
  FAnimation->UnifyInterpolators(
      {}, [&](TAnimationStageDef* AStage, float& ATime, TMatrix3D&, TInterpolationType&) {
        ATime += 1;
        if (AStage == failing && ++calls == 3)
          throw Exception("key 2 refused");
      });
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"failed to unify stage interpolators: S1\r\nkey 2 refused"});
  EXPECT_EQ(failing->GetInterpolators().Count(), 2);
  EXPECT_EQ(MergedOf(failing)->GetKeys().Count(), 2);
  ASSERT_EQ(next->GetInterpolators().Count(), 1);
  EXPECT_EQ(MergedOf(next)->GetKeys().Items(2)->GetKey(), 2);
}

} // namespace
