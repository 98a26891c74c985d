// Loading skill and dialogue files. The skill files hold 1,000 and 10,000 skills in groups of 100,
// half of them with one destination, and one pending level-up per ten skills naming its skill's
// destination; their cost per skill must stay flat (at most 1.5x), which shows that level-ups find
// their skills through an index built once per load. The share of the bare XML parse of the same
// bytes is printed beside. The dialogue files hold trees of depth 4 whose items each carry a
// two-language text and one event. Files are made with a fixed seed and written by our own writers;
// everything is allocated by the default allocator.

#include <benchmark/benchmark.h>

#include "support/bench_setup.h"

#include <cstdio>
#include <map>
#include <string>

#include "rtl/random.h"
#include "rtl/streams.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "utils/Vantrel.Utils.SkillSystem.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;

namespace {

std::string SkillFile(int ASkills) {
  rtl::SetRandSeed(1);
  auto system = rtl::MakeOwned<TVantrelSkillSystem>(nullptr);
  TVantrelSkillGroup* group = nullptr;
  for (int i = 0; i < ASkills; ++i) {
    if (i % 100 == 0)
      group = system->AddGroup();
    TVantrelSkill* skill = group->AddSkill();
    skill->SetMaxLevel(5);
    skill->SetValue(static_cast<float>(rtl::Random()));
    if (i % 2 == 0)
      skill->AddSkill();
    if (i % 10 == 0)
      skill->StartLevelingUp();
  }
  rtl::TStringStream stream;
  system->SaveToStream(&stream);
  return stream.DataString();
}

void AddItems(TVantrelDialogueParentItem* AParent, int ADepth, int& ARemaining) {
  for (int i = 0; i < 4 && ARemaining > 0; ++i) {
    auto* item = static_cast<TVantrelDialogueItem*>(AParent->GetItems()->Add());
    --ARemaining;
    item->SetKind(i % 2 ? TVantrelDialogueItemKind::Answer : TVantrelDialogueItemKind::Question);
    item->Text().Add("en-us", "Text " + item->GetIdent());
    item->Text().Add("de-de", "Text " + item->GetIdent());
    auto* event = static_cast<TVantrelDialogueItemEvent*>(item->GetEvents()->Add());
    event->Data().Add("en-us", "Pay");
    if (ADepth < 4)
      AddItems(item, ADepth + 1, ARemaining);
  }
}

std::string DialogueFile(int AItems) {
  rtl::SetRandSeed(1);
  auto system = rtl::MakeOwned<TVantrelDialogueSystem>(nullptr);
  for (int remaining = AItems; remaining > 0;)
    AddItems(static_cast<TVantrelDialogue*>(system->GetDialogues()->Add()), 1, remaining);
  rtl::TStringStream stream;
  system->SaveToStream(&stream);
  return stream.DataString();
}

void SkillLoad(benchmark::State& AState, const std::string& AText) {
  for (auto _ : AState) {
    AState.PauseTiming();
    auto system = rtl::MakeOwned<TVantrelSkillSystem>(nullptr);
    rtl::TStringStream stream(AText);
    AState.ResumeTiming();
    system->LoadFromStream(&stream);
    AState.PauseTiming();
    system.reset();
    AState.ResumeTiming();
  }
}

void XmlParse(benchmark::State& AState, const std::string& AText) {
  const rtl::TBytes bytes(AText.begin(), AText.end());
  for (auto _ : AState) {
    TMz_XmlDocument document;
    document.loadFromBytes(bytes);
    benchmark::DoNotOptimize(document.root());
  }
}

void DialogueLoad(benchmark::State& AState, const std::string& AText) {
  for (auto _ : AState) {
    rtl::TStringStream stream(AText);
    auto system = rtl::MakeOwned<TVantrelDialogueSystem>(nullptr);
    system->LoadFromStream(&stream);
    benchmark::DoNotOptimize(system.get());
  }
}

// Keeps each run's time in microseconds per iteration, for the figures printed after the run.
class TTimesReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& AReports) override {
    for (const Run& run : AReports)
      if (!run.error_occurred)
        Micros[run.run_name.str()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(AReports);
  }
  std::map<std::string, double> Micros;
};

} // namespace

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  benchmark::Initialize(&argc, argv);
  const int sizes[] = {1000, 10000};
  std::map<int, std::string> skills, dialogues;
  for (int size : sizes) {
    skills[size] = SkillFile(size);
    dialogues[size] = DialogueFile(size);
    const std::string n = std::to_string(size);
    benchmark::RegisterBenchmark(("SkillLoad/" + n).c_str(), SkillLoad, skills[size])
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("SkillXmlParse/" + n).c_str(), XmlParse, skills[size])
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("DialogueLoad/" + n).c_str(), DialogueLoad, dialogues[size])
        ->Unit(benchmark::kMicrosecond);
  }
  TTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double perSkill[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    const std::string n = std::to_string(sizes[i]);
    perSkill[i] = reporter.Micros["SkillLoad/" + n] / sizes[i];
    std::printf("skill file, %d skills: %.3f us per skill, bare XML parse %.0f%% of the load\n", sizes[i],
                perSkill[i],
                100.0 * reporter.Micros["SkillXmlParse/" + n] / reporter.Micros["SkillLoad/" + n]);
    std::printf("dialogue file, %d items: %.3f us per item\n", sizes[i],
                reporter.Micros["DialogueLoad/" + n] / sizes[i]);
  }
  const double growth = perSkill[1] / perSkill[0];
  std::printf("skill load per skill, 10,000 vs 1,000: %.2fx (target <= 1.50x)%s\n", growth,
              growth <= 1.5 ? "" : "  ABOVE TARGET");
  benchmark::Shutdown();
  return 0;
}
