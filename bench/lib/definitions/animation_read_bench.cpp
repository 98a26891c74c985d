// Reading an animation definition: 60 stages of 3 tracks (position, quaternion, scale) of 100 keys
// each, written by the definitions' own ToJSON. Ours is FromJSON of the parsed tree into a fresh
// animation (then freed); the peer is parsing the same text into a tree (then freed). The value
// codecs should dominate the read.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "definitions/Vantrel.DefTypes.h"
#include "support/bench_setup.h"
#include "support/ratio_reporter.h"

namespace {

using namespace vantrel;

constexpr int StageCount = 60;
constexpr int KeyCount = 100;

std::string AnimationText() {
  TOwned<TAnimationDef> animation(New<TAnimationDef>());
  animation->SetId("Walk");
  for (int s = 0; s < StageCount; ++s) {
    auto* stage = New<TAnimationStageDef>(animation.get());
    stage->SetId("Stage" + std::to_string(s));
    animation->AddStage(stage);
    auto* position = New<TPoint3DInterpolatorDef>(stage);
    position->SetPath("Position.Point");
    auto* rotation = New<TQuaternion3DInterpolatorDef>(stage);
    rotation->SetPath("Quaternion");
    auto* scale = New<TPoint3DInterpolatorDef>(stage);
    scale->SetPath("Scale.Point");
    for (int k = 0; k < KeyCount; ++k) {
      const float t = float(k) / float(KeyCount - 1);
      position->AddKey(t, {t * 3.1f, -t * 1.7f, float(s) * 0.013f + t}, ui::TInterpolationType::Linear);
      rotation->AddKey(t, TQuaternion3D::Create({0.3f, 0.9f, 0.1f}, t * 2.5f),
                       ui::TInterpolationType::Linear);
      scale->AddKey(t, {1 + t, 1 - t * 0.5f, 1.25f}, ui::TInterpolationType::Linear);
    }
    for (TCustomDef* track : {static_cast<TCustomDef*>(position), static_cast<TCustomDef*>(rotation),
                              static_cast<TCustomDef*>(scale)})
      stage->AddInterpolator(track);
  }
  return animation->ToJSON()->ToJSON();
}

const std::string& Text() {
  static const std::string text = AnimationText();
  return text;
}

std::unique_ptr<TJSONObject> Parse(const std::string& AText) {
  std::unique_ptr<TJSONValue> value = TJSONValue::ParseJSONValue(AText, true);
  return std::unique_ptr<TJSONObject>(static_cast<TJSONObject*>(value.release()));
}

void BM_AnimationFromJSON(benchmark::State& AState) {
  const std::unique_ptr<TJSONObject> tree = Parse(Text());
  int keys = 0;
  for (auto _ : AState) {
    TOwned<TAnimationDef> animation(New<TAnimationDef>());
    animation->FromJSON(nullptr, *tree);
    keys = 0;
    for (const TAnimationStageDef* stage : animation->GetStages())
      for (const TCustomDef* track : stage->GetInterpolators())
        keys += track->Is<TPoint3DInterpolatorDef>()
                    ? static_cast<const TPoint3DInterpolatorDef*>(track)->GetKeys().Count()
                    : static_cast<const TQuaternion3DInterpolatorDef*>(track)->GetKeys().Count();
  }
  if (keys != StageCount * 3 * KeyCount)
    AState.SkipWithError("the animation read back another number of keys");
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Text().size()));
}

void BM_ParseJSON(benchmark::State& AState) {
  size_t members = 0;
  for (auto _ : AState) {
    const std::unique_ptr<TJSONObject> tree = Parse(Text());
    members = size_t(tree->Count());
  }
  if (members == 0)
    AState.SkipWithError("the text did not parse");
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Text().size()));
}

} // namespace

int main(int argc, char** argv) {
  InitializeDefTypes();
  vbench::Initialize(&argc, argv);
  std::printf("animation text: %zu bytes, %d stages x 3 tracks x %d keys\n", Text().size(), StageCount,
              KeyCount);
  for (auto* bench : {benchmark::RegisterBenchmark("BM_AnimationFromJSON", BM_AnimationFromJSON),
                      benchmark::RegisterBenchmark("BM_ParseJSON", BM_ParseJSON)})
    bench->Unit(benchmark::kMillisecond)->UseRealTime();
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (const auto ours = reporter.MedianTime("BM_AnimationFromJSON/real_time"))
    std::printf("animation FromJSON: %.1f MB/s of definition text\n",
                double(Text().size()) / 1e6 / (*ours / 1e3));
  // FromJSON time / parse time <= 2, that is parse / FromJSON >= 0.5.
  const bool met = reporter.PrintRatio("BM_AnimationFromJSON/real_time", "BM_ParseJSON/real_time",
                                       "animation FromJSON against parsing its text", 0.5);
  FinalizeDefTypes();
  return met ? 0 : 1;
}
