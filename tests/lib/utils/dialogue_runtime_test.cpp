#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/methods.h"
#include "rtl/properties.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"

using namespace vantrel;
using TKind = TVantrelDialogueItemKind;
using TEventKind = TVantrelDialogueEventKind;
using TTrigger = TVantrelDialogueEventTrigger;

namespace runtime {

// An object events act on: one method that records its arguments, one that fails, and a
// published property.
class TScopeTarget : public rtl::TPersistent {
  RTL_CLASS(TScopeTarget, rtl::TPersistent)
public:
  std::vector<std::string> Calls;

  void Apply(const std::string& AName, int AValue) { Calls.push_back(AName + "=" + std::to_string(AValue)); }
  void Fail(const std::string&, int) { throw rtl::EArgumentException("boom"); }
  int GetCount() const { return FCount; }
  void SetCount(int AValue) { FCount = AValue; }

  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Count", &TScopeTarget::GetCount, &TScopeTarget::SetCount);
  }
  static void RegisterMethods(rtl::TMethodList& AList) {
    AList.Add("Apply", &TScopeTarget::Apply);
    AList.Add("Fail", &TScopeTarget::Fail);
  }

private:
  int FCount = 0;
};
RTL_DEFINE_CLASS(TScopeTarget, "Test.Dialogue", &TScopeTarget::RegisterProperties,
                 &TScopeTarget::RegisterMethods)

} // namespace runtime

using runtime::TScopeTarget;

namespace {

std::string Id(const rtl::TObject* AObject) {
  if (!AObject)
    return "nil";
  if (const auto* entry = dynamic_cast<const TVantrelDialogueCustomItem*>(AObject))
    return entry->GetIdent();
  return AObject->ClassName();
}

std::string Ids(const TVantrelDialogueItems& AItems) {
  std::string result = "[";
  for (const TVantrelDialogueItem* item : AItems)
    result += (result.size() > 1 ? "," : "") + Id(item);
  return result + "]";
}

// A system whose every report is written to Trace with the Idents of its arguments.
class DialogueRuntimeTest : public ::testing::Test {
protected:
  DialogueRuntimeTest() {
    Dialogue->SetIdent("d");
    System->SetOnStartDialogue([this](TVantrelDialogue* D, const TVantrelDialogueItems& AItems) {
      Trace.push_back("OnStartDialogue(" + Id(D) + "," + Ids(AItems) + ")");
    });
    System->SetOnStopDialogue(
        [this](TVantrelDialogue* D) { Trace.push_back("OnStopDialogue(" + Id(D) + ")"); });
    System->SetOnPauseDialogue(
        [this](TVantrelDialogue* D) { Trace.push_back("OnPauseDialogue(" + Id(D) + ")"); });
    System->SetOnBeginDialogueItem([this](TVantrelDialogueItem* I, const TVantrelDialogueItems& AItems) {
      Trace.push_back("OnBeginDialogueItem(" + Id(I) + "," + Ids(AItems) + ")");
    });
    System->SetOnEndDialogueItem(
        [this](TVantrelDialogueItem* I) { Trace.push_back("OnEndDialogueItem(" + Id(I) + ")"); });
    System->SetOnBeginItemTimeout([this](TVantrelDialogueItem* I, int ATime) {
      Trace.push_back("OnBeginItemTimeout(" + Id(I) + "," + std::to_string(ATime) + ")");
    });
    System->SetOnEndItemTimeout(
        [this](TVantrelDialogueItem* I) { Trace.push_back("OnEndItemTimeout(" + Id(I) + ")"); });
    System->SetOnSkipAvailability([this](TVantrelDialogue* D, TVantrelDialogueItem* I, bool AAvailable) {
      Trace.push_back("OnSkipAvailability(" + Id(D) + "," + Id(I) + "," + (AAvailable ? "true" : "false") +
                      ")");
    });
    System->SetOnSkippedDialogue(
        [this](TVantrelDialogue* D, TVantrelDialogueItem* ABegin, TVantrelDialogueItem* AEnd) {
          Trace.push_back("OnSkippedDialogue(" + Id(D) + "," + Id(ABegin) + "," + Id(AEnd) + ")");
        });
    System->SetOnBeginDialogueItemEvent([this](TVantrelDialogueItemEvent* E, rtl::TObject* AScope, bool&) {
      Trace.push_back("OnBeginDialogueItemEvent(" + Id(E) + "," + Id(AScope) + ")");
    });
    System->SetOnEndDialogueItemEvent([this](TVantrelDialogueItemEvent* E, rtl::TObject*) {
      Trace.push_back("OnEndDialogueItemEvent(" + Id(E) + ")");
    });
  }

  static TVantrelDialogueItem* AddItem(TVantrelDialogueParentItem* AParent, const std::string& AId,
                                       TKind AKind, int ADisplayTime = 0) {
    auto* item = static_cast<TVantrelDialogueItem*>(AParent->GetItems()->Add());
    item->SetIdent(AId);
    item->SetKind(AKind);
    item->SetDisplayTime(ADisplayTime);
    return item;
  }
  static TVantrelDialogueItemEvent* AddEvent(TVantrelDialogueItem* AItem, const std::string& AId,
                                             TEventKind AKind, const std::string& AData = "") {
    auto* event = static_cast<TVantrelDialogueItemEvent*>(AItem->GetEvents()->Add());
    event->SetIdent(AId);
    event->SetKind(AKind);
    if (!AData.empty())
      event->Data().Add("en-us", AData);
    return event;
  }
  std::vector<std::string> TakeTrace() { return std::exchange(Trace, {}); }

  vtest::TFakeClock Clock;
  std::vector<std::string> Trace;
  rtl::TOwned<TVantrelDialogueSystem> System = rtl::MakeOwned<TVantrelDialogueSystem>(nullptr);
  TVantrelDialogue* Dialogue = static_cast<TVantrelDialogue*>(System->GetDialogues()->Add());
};

} // namespace

TEST_F(DialogueRuntimeTest, AFlowChainTimesOutStepByStepAndEndsTheDialogue) {
  TVantrelDialogueItem* f1 = AddItem(Dialogue, "f1", TKind::Flow, 2000);
  AddItem(f1, "f2", TKind::Flow, 1000);
  Dialogue->Start();
  Dialogue->StartItem(f1);
  EXPECT_EQ(TakeTrace(),
            (std::vector<std::string>{"OnStartDialogue(d,[f1])", "OnBeginDialogueItem(f1,[f2])",
                                      "OnBeginItemTimeout(f1,2000)", "OnSkipAvailability(d,f1,true)"}));
  Clock.Advance(1999);
  EXPECT_TRUE(Trace.empty());
  Clock.Advance(1);
  EXPECT_EQ(TakeTrace(), (std::vector<std::string>{
                             "OnEndItemTimeout(f1)", "OnEndDialogueItem(f1)", "OnBeginDialogueItem(f2,[])",
                             "OnBeginItemTimeout(f2,1000)", "OnSkipAvailability(d,f2,true)"}));
  Clock.Advance(1000);
  EXPECT_EQ(TakeTrace(),
            (std::vector<std::string>{"OnEndItemTimeout(f2)", "OnEndDialogueItem(f2)", "OnStopDialogue(d)"}));
  Clock.Advance(10000);
  EXPECT_TRUE(Trace.empty());
  EXPECT_FALSE(Dialogue->GetStarted());
  EXPECT_EQ(Dialogue->GetCurrentItem(), nullptr);
}

TEST_F(DialogueRuntimeTest, StartNeedsItemsAndStartItemRefusesWhatItCannotShow) {
  Dialogue->Start();
  EXPECT_FALSE(Dialogue->GetStarted());
  EXPECT_TRUE(Trace.empty());

  TVantrelDialogueItem* q = AddItem(Dialogue, "q", TKind::Question);
  TVantrelDialogueItem* toQ = AddItem(Dialogue, "ref", TKind::Reference);
  toQ->SetReference("q");
  TVantrelDialogueItem* broken = AddItem(Dialogue, "broken", TKind::Reference);
  broken->SetReference("missing");
  auto* other = static_cast<TVantrelDialogue*>(System->GetDialogues()->Add());
  TVantrelDialogueItem* foreign = AddItem(other, "foreign", TKind::Question);
  Dialogue->Start();
  Dialogue->StartItem(toQ);
  EXPECT_EQ(Dialogue->GetCurrentItem(), q);
  EXPECT_TRUE(q->GetStarted());
  TakeTrace();
  const std::pair<TVantrelDialogueItem*, std::string> cases[] = {
      {nullptr, "invalid dialogue item - empty"},
      {foreign, "invalid dialogue item - not belonging to this dialogue"},
      {broken, "invalid dialogue item - reference not found"}};
  for (const auto& [item, message] : cases) {
    SCOPED_TRACE(message);
    try {
      Dialogue->StartItem(item);
      ADD_FAILURE();
    } catch (const rtl::Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
    EXPECT_EQ(Dialogue->GetCurrentItem(), q);
    EXPECT_TRUE(q->GetStarted());
  }
  EXPECT_TRUE(Trace.empty());
}

TEST_F(DialogueRuntimeTest, SkipRunsDownTheNarrationOrOneStep) {
  TVantrelDialogueItem* n1 = AddItem(Dialogue, "n1", TKind::Flow);
  TVantrelDialogueItem* n2 = AddItem(n1, "n2", TKind::Flow);
  TVantrelDialogueItem* n3 = AddItem(n2, "n3", TKind::Flow);
  TVantrelDialogueItem* q = AddItem(n3, "q", TKind::Question);
  AddItem(q, "a", TKind::Answer);
  for (const bool single : {false, true}) {
    SCOPED_TRACE(single);
    Dialogue->Stop();
    Dialogue->Start();
    Dialogue->StartItem(n1);
    TakeTrace();
    Dialogue->Skip(single);
    EXPECT_EQ(Dialogue->GetCurrentItem(), single ? n2 : q);
    EXPECT_EQ(Trace.back(), std::string("OnSkippedDialogue(d,n1,") + (single ? "n2" : "q") + ")");
    EXPECT_FALSE(n1->GetStarted());
  }
  // Not from a question.
  Dialogue->StartItem(q);
  TakeTrace();
  Dialogue->Skip(false);
  EXPECT_TRUE(Trace.empty());
}

TEST_F(DialogueRuntimeTest, SelectItemFollowsTheChosenAnswer) {
  TVantrelDialogueItem* q = AddItem(Dialogue, "q", TKind::Question);
  TVantrelDialogueItem* dead = AddItem(q, "dead", TKind::Answer);
  AddItem(dead, "off", TKind::Flow)->SetEnabled(false);
  TVantrelDialogueItem* go = AddItem(q, "go", TKind::Answer);
  TVantrelDialogueItem* next = AddItem(go, "next", TKind::Question);
  Dialogue->Start();
  Dialogue->StartItem(q);
  dead->Start();
  go->Start();
  Dialogue->SelectItem(q);
  EXPECT_TRUE(go->GetStarted());
  Dialogue->SelectItem(go);
  EXPECT_FALSE(go->GetStarted());
  EXPECT_FALSE(dead->GetStarted());
  EXPECT_EQ(Dialogue->GetCurrentItem(), next);
  EXPECT_TRUE(next->GetStarted());
  EXPECT_FALSE(q->GetStarted());
  TakeTrace();
  Dialogue->SelectItem(dead);
  EXPECT_FALSE(Dialogue->GetStarted());
  EXPECT_EQ(Trace.back(), "OnStopDialogue(d)");
}

TEST_F(DialogueRuntimeTest, PauseHoldsTheTimersAndResumeRestartsThem) {
  Dialogue->Pause();
  EXPECT_FALSE(Dialogue->GetPaused());
  TVantrelDialogueItem* f = AddItem(Dialogue, "f", TKind::Flow, 2000);
  Dialogue->Start();
  Dialogue->StartItem(f);
  Clock.Advance(1500);
  TakeTrace();
  Dialogue->Pause();
  EXPECT_TRUE(Dialogue->GetPaused());
  EXPECT_EQ(TakeTrace(), (std::vector<std::string>{"OnPauseDialogue(d)"}));
  Clock.Advance(3500);
  EXPECT_TRUE(Trace.empty());
  Dialogue->Pause();
  EXPECT_FALSE(Dialogue->GetPaused());
  Clock.Advance(1999);
  EXPECT_TRUE(Trace.empty());
  Clock.Advance(1);
  ASSERT_FALSE(Trace.empty());
  EXPECT_EQ(Trace.front(), "OnEndItemTimeout(f)");
}

TEST_F(DialogueRuntimeTest, PausingAQuestionHoldsItsAnswersToo) {
  TVantrelDialogueItem* q = AddItem(Dialogue, "q", TKind::Question, 5000);
  TVantrelDialogueItem* a = AddItem(q, "a", TKind::Answer, 1000);
  Dialogue->Start();
  Dialogue->StartItem(q);
  a->Start();
  Dialogue->Pause();
  EXPECT_EQ(Dialogue->PausedItems(), (TVantrelDialogueItems{a, q}));
  EXPECT_FALSE(a->Timer()->GetEnabled());
  Dialogue->Pause();
  EXPECT_TRUE(a->Timer()->GetEnabled());
  EXPECT_TRUE(q->Timer()->GetEnabled());
}

TEST_F(DialogueRuntimeTest, AnEventActsFromItsIterationsOn) {
  TScopeTarget target;
  System->AddVariable("target", &target);
  TVantrelDialogueItem* item = AddItem(Dialogue, "i", TKind::Question);
  TVantrelDialogueItemEvent* event = AddEvent(item, "e", TEventKind::Method, "Apply");
  event->SetScope("target");
  event->SetIterations(3);
  event->AddParameter("property", rtl::TValue::From("x"));
  event->AddParameter("value", rtl::TValue::From(2));
  for (int i = 0; i < 4; ++i)
    event->Execute();
  EXPECT_EQ(target.Calls, (std::vector<std::string>{"x=2", "x=2"}));
  EXPECT_EQ(Trace.size(), 4u);
  event->SetEnabled(false);
  event->Execute();
  EXPECT_EQ(Trace.size(), 4u);
}

TEST_F(DialogueRuntimeTest, TheScopeOfAnEvent) {
  TScopeTarget ui;
  TScopeTarget variable;
  TVantrelDialogueItem* item = AddItem(Dialogue, "i", TKind::Question);
  TVantrelDialogueItem* other = AddItem(Dialogue, "other", TKind::Question);
  item->SetUIElement(&ui);
  System->AddVariable("door", &variable);
  System->AddVariable("other", &variable);
  TVantrelDialogueItemEvent* event = AddEvent(item, "e", TEventKind::Misc);
  const std::pair<std::string, const rtl::TObject*> cases[] = {
      {"", event}, {"Self", event}, {"UI", &ui}, {"other", other}, {"door", &variable}, {"nowhere", nullptr}};
  for (const auto& [scope, expected] : cases) {
    SCOPED_TRACE(scope);
    const rtl::TObject* seen = event;
    System->SetOnBeginDialogueItemEvent(
        [&](TVantrelDialogueItemEvent*, rtl::TObject* AScope, bool&) { seen = AScope; });
    event->SetScope(scope);
    event->Execute();
    EXPECT_EQ(seen, expected);
  }
}

TEST_F(DialogueRuntimeTest, MethodEventsCallByNameAndLogFailures) {
  vtest::TLogCapture log;
  TScopeTarget target;
  System->AddVariable("target", &target);
  TVantrelDialogueItem* item = AddItem(Dialogue, "i", TKind::Question);
  TVantrelDialogueItemEvent* call = AddEvent(item, "call", TEventKind::Method, "apply");
  call->SetScope("target");
  call->AddParameter("property", rtl::TValue::From("x"));
  call->Execute();
  EXPECT_TRUE(target.Calls.empty());
  call->AddParameter("value", rtl::TValue::From(2));
  call->Execute();
  EXPECT_EQ(target.Calls, (std::vector<std::string>{"x=2"}));
  call->Data().AddOrSetValue("en-us", "Missing");
  call->Execute();
  call->Data().AddOrSetValue("en-us", "Fail");
  call->Execute();
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "failure in event.execute(method) on calling method: \"Fail\" - boom"}));
}

TEST_F(DialogueRuntimeTest, PropertyEventsSetPublishedPropertiesAndLogFailures) {
  vtest::TLogCapture log;
  TScopeTarget target;
  System->AddVariable("target", &target);
  TVantrelDialogueItem* item = AddItem(Dialogue, "i", TKind::Question);
  TVantrelDialogueItemEvent* set = AddEvent(item, "set", TEventKind::ObjProperty);
  set->SetScope("target");
  set->AddParameter("count", rtl::TValue::From(5));
  set->Execute();
  EXPECT_EQ(target.GetCount(), 5);
  set->Parameters().Clear();
  set->AddParameter("Missing", rtl::TValue::From(1));
  set->Execute();
  EXPECT_TRUE(log.Lines().empty());
  set->Parameters().Clear();
  set->AddParameter("Count", rtl::TValue::From("many"));
  set->Execute();
  EXPECT_EQ(target.GetCount(), 5);
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"failure in event.execute(method) on setting property: \"Count\" - "
                                      "Invalid class typecast"}));
  // Items are scopes too: an event may switch another item off.
  AddItem(Dialogue, "gate", TKind::Question);
  set->SetScope("gate");
  set->Parameters().Clear();
  set->AddParameter("Enabled", rtl::TValue::From(false));
  set->Execute();
  EXPECT_FALSE(Dialogue->FindItem("gate")->GetEnabled());
}

TEST_F(DialogueRuntimeTest, RedirectStartsItsTargetAndLoopsEndAtTheDepthLimit) {
  vtest::TLogCapture log;
  TVantrelDialogueItem* start = AddItem(Dialogue, "start", TKind::Question);
  TVantrelDialogueItem* target = AddItem(Dialogue, "target", TKind::Question);
  AddEvent(start, "jump", TEventKind::Redirect, "target");
  Dialogue->Start();
  Dialogue->StartItem(start);
  EXPECT_EQ(Dialogue->GetCurrentItem(), target);
  EXPECT_FALSE(start->GetStarted());

  TVantrelDialogueItem* r1 = AddItem(Dialogue, "r1", TKind::Question);
  TVantrelDialogueItem* r2 = AddItem(Dialogue, "r2", TKind::Question);
  AddEvent(r1, "to2", TEventKind::Redirect, "r2");
  AddEvent(r2, "to1", TEventKind::Redirect, "r1");
  Dialogue->StartItem(r1);
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"<WARNING> dialogue redirect depth exceeded at item \"r2\""}));
  EXPECT_EQ(Dialogue->GetCurrentItem(), r2);
  EXPECT_EQ(Dialogue->StartItemDepth(), 0);
}

TEST_F(DialogueRuntimeTest, FreedItemsAreNeitherCurrentNorPaused) {
  TVantrelDialogueItem* q = AddItem(Dialogue, "q", TKind::Question, 2000);
  TVantrelDialogueItem* a = AddItem(q, "a", TKind::Answer, 1000);
  TVantrelDialogueItem* f = AddItem(Dialogue, "f", TKind::Flow, 1000);
  AddItem(f, "g", TKind::Flow);
  Dialogue->Start();
  Dialogue->StartItem(q);
  a->Start();
  Dialogue->Pause();
  ASSERT_EQ(Dialogue->PausedItems().size(), 2u);
  q->ClearItems();
  EXPECT_EQ(Dialogue->PausedItems(), (TVantrelDialogueItems{q}));
  Dialogue->GetItems()->Delete(0);
  EXPECT_EQ(Dialogue->GetCurrentItem(), nullptr);
  EXPECT_TRUE(Dialogue->PausedItems().empty());
  Dialogue->Pause();
  Dialogue->StartItem(f);
  f->Free();
  Dialogue->Skip(false);
  Dialogue->Pause();
  Dialogue->Pause();
  Dialogue->Stop();
  Clock.Advance(5000);
  EXPECT_FALSE(Dialogue->GetStarted());
}
