// Showing and closing forms without a window toolkit: the modal loop over the application's
// process-and-wait step, close queries and actions, deferred freeing, the forms the application
// frees, the state-keeping controls and the open-file dialog's checks.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "rtl/exceptions.h"
#include "support/dialog_driver.h"
#include "support/log_capture.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "ui/forms.h"
#include "ui/std_controls.h"
#include "ui/timers.h"

namespace modaltest {

// Records its show, hide, close-query and close calls; answers them from scripted lists.
class TProbeForm : public ui::TForm {
  RTL_CLASS(TProbeForm, ui::TForm)
public:
  explicit TProbeForm(rtl::TComponent* AOwner) : TForm(AOwner) {
    OnShow = {this, &TProbeForm::Shown};
    OnHide = {this, &TProbeForm::Hidden};
    OnCloseQuery = {this, &TProbeForm::Query};
    OnClose = {this, &TProbeForm::Closing};
  }
  ~TProbeForm() override {
    if (Freed)
      *Freed = true;
  }

  std::vector<std::string> Events;
  // Close-query answers and close actions, consumed in order; afterwards true and caHide.
  std::vector<bool> Answers;
  std::vector<ui::TCloseAction> Actions;
  bool* Freed = nullptr;

private:
  void Shown(rtl::TObject*) { Events.push_back("show"); }
  void Hidden(rtl::TObject*) { Events.push_back("hide"); }
  void Query(rtl::TObject*, bool& ACanClose) {
    Events.push_back("query");
    if (!Answers.empty()) {
      ACanClose = Answers.front();
      Answers.erase(Answers.begin());
    }
  }
  void Closing(rtl::TObject*, ui::TCloseAction& AAction) {
    Events.push_back("close");
    if (!Actions.empty()) {
      AAction = Actions.front();
      Actions.erase(Actions.begin());
    }
  }
};
RTL_DEFINE_CLASS(TProbeForm, "Test.ModalForms")

} // namespace modaltest

namespace {

using modaltest::TProbeForm;
using ui::Application;
using ui::TCloseAction;

TProbeForm* NewProbe() {
  return static_cast<TProbeForm*>(ui::TCustomForm::CreateNew(TProbeForm::StaticClass(), nullptr));
}

ui::TButton* AddOkButton(ui::TCustomForm* AForm) {
  auto* button = rtl::New<ui::TButton>(AForm);
  button->SetParent(AForm);
  button->SetText("OK");
  button->SetModalResult(ui::mrOk);
  return button;
}

// Calls AHandler from the application loop about every millisecond: the user acting while a modal
// loop waits.
rtl::TOwned<ui::TTimer> EveryPass(std::function<void()> AHandler) {
  rtl::TOwned<ui::TTimer> timer(rtl::New<ui::TTimer>(nullptr));
  timer->SetInterval(1);
  timer->SetOnTimer([AHandler = std::move(AHandler)](rtl::TObject*) { AHandler(); });
  return timer;
}

class ModalForms : public ::testing::Test {
protected:
  void TearDown() override { Application().DestroyForms(); }
};

TEST_F(ModalForms, TheCloseQueryAndActionDecideWhenTheModalLoopEnds) {
  struct TCase {
    const char* Name;
    std::vector<bool> Answers;
    std::vector<TCloseAction> Actions;
    std::vector<std::string> Events;
    bool FreedByNextPass;
  };
  const TCase cases[] = {
      {"closes at once", {}, {}, {"show", "query", "close", "hide"}, false},
      {"query refuses once", {false}, {}, {"show", "query", "query", "close", "hide"}, false},
      {"caNone once", {}, {TCloseAction::caNone}, {"show", "query", "close", "query", "close", "hide"}, false},
      {"caFree", {}, {TCloseAction::caFree}, {"show", "query", "close", "hide"}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    bool freed = false;
    TProbeForm* form = NewProbe();
    form->Freed = &freed;
    form->Answers = c.Answers;
    form->Actions = c.Actions;
    ui::TButton* ok = AddOkButton(form);
    // The default driver presses OK once; after a refusal the "user" presses it again.
    const rtl::TOwned<ui::TTimer> user = EveryPass([&] {
      if (form->Modal() && form->ModalResult() == ui::mrNone)
        ok->Click();
    });
    EXPECT_EQ(form->ShowModal(), ui::mrOk);
    EXPECT_EQ(form->Events, c.Events);
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(form->Modal());
    EXPECT_FALSE(freed) << "never freed inside the modal loop";
    // The pass below may free the form before its timers run: the "user" must stop first.
    user->SetEnabled(false);
    Application().ProcessMessages();
    EXPECT_EQ(freed, c.FreedByNextPass);
    if (!freed)
      form->Free();
  }
}

TEST_F(ModalForms, ACloseWithCaFreeFreesTheFormOnTheNextOutermostPassOnly) {
  // The first form is the main form, whose Close would end the application instead.
  ui::TCustomForm* main = ui::TCustomForm::CreateNew(ui::TForm::StaticClass(), nullptr);
  ASSERT_EQ(Application().MainForm(), main);
  bool freed = false;
  TProbeForm* form = NewProbe();
  form->Freed = &freed;
  form->Actions = {TCloseAction::caFree};
  form->Show();
  EXPECT_EQ(Application().Forms().back(), form) << "Show brings it to the front";
  bool closed = false;
  bool aliveInNestedPass = false;
  const rtl::TOwned<ui::TTimer> timer = EveryPass([&] {
    if (closed)
      return;
    closed = true;
    form->Close();
    Application().ProcessMessages();
    aliveInNestedPass = !freed;
  });
  while (!closed)
    Application().WaitAndProcess(1000);
  EXPECT_TRUE(aliveInNestedPass);
  EXPECT_EQ(form->Events, (std::vector<std::string>{"show", "query", "close", "hide"}));
  EXPECT_FALSE(freed) << "the pass that ran the close is still on the stack";
  Application().ProcessMessages();
  EXPECT_TRUE(freed);
  EXPECT_EQ(Application().MainForm(), main);
}

TEST_F(ModalForms, UnownedFormsAreFreedWithTheApplicationsFormsAndOwnedOnesByTheirOwner) {
  bool unownedFreed = false, ownedFreed = false;
  TProbeForm* unowned = NewProbe();
  unowned->Freed = &unownedFreed;
  const rtl::TOwned<rtl::TComponent> owner = rtl::MakeOwned<rtl::TComponent>(nullptr);
  auto* owned = static_cast<TProbeForm*>(ui::TCustomForm::CreateNew(TProbeForm::StaticClass(), owner.get()));
  owned->Freed = &ownedFreed;
  Application().DestroyForms();
  EXPECT_TRUE(unownedFreed);
  EXPECT_FALSE(ownedFreed);
}

TEST_F(ModalForms, ATerminatedApplicationEndsTheModalLoopAsCancelledWithoutAsking) {
  TProbeForm* form = NewProbe();
  const rtl::TOwned<ui::TTimer> quit = EveryPass([] { Application().Terminate(); });
  EXPECT_EQ(form->ShowModal(), ui::mrCancel);
  EXPECT_EQ(form->Events, (std::vector<std::string>{"show", "hide"}));
}

TEST_F(ModalForms, ShowModalRefusesVisibleFormsAndOtherThreads) {
  TProbeForm* form = NewProbe();
  form->Show();
  EXPECT_THROW(form->ShowModal(), rtl::EInvalidOperation);
  form->Hide();
  std::string message;
  std::thread([&] {
    try {
      form->ShowModal();
    } catch (const rtl::EInvalidOperation& E) {
      message = E.Message();
    }
  }).join();
  EXPECT_EQ(message, "A form can be shown modally on the UI thread only");
  EXPECT_EQ(form->Events, (std::vector<std::string>{"show", "hide"}));
}

TEST_F(ModalForms, AButtonRunsOnClickThenSetsANonZeroModalResultOnItsForm) {
  struct TCase {
    const char* Name;
    bool Enabled;
    ui::TModalResult Result;
    int Clicks;
    ui::TModalResult FormResult;
  };
  const TCase cases[] = {
      {"ok", true, ui::mrOk, 1, ui::mrOk},
      {"no result", true, ui::mrNone, 1, ui::mrNone},
      {"disabled", false, ui::mrCancel, 0, ui::mrNone},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    rtl::TOwned<TProbeForm> form(NewProbe());
    // Nested in a box: the nearest parent form receives the result.
    auto* box = rtl::New<ui::TGroupBox>(form.get());
    box->SetParent(form.get());
    auto* button = rtl::New<ui::TButton>(form.get());
    button->SetParent(box);
    button->SetEnabled(c.Enabled);
    button->SetModalResult(c.Result);
    int clicks = 0;
    struct TCounter : rtl::TObject {
      int* Count;
      explicit TCounter(int* ACount) : Count(ACount) {}
      void Clicked(rtl::TObject*) { ++*Count; }
    } counter(&clicks);
    button->OnClick = {&counter, &TCounter::Clicked};
    button->Click();
    EXPECT_EQ(clicks, c.Clicks);
    EXPECT_EQ(form->ModalResult(), c.FormResult);
  }
}

TEST_F(ModalForms, ItemListsKeepTheirSelectionOnTheSameEntryAndRefuseBadIndices) {
  struct TCase {
    const char* Name;
    int Selected;
    int Deleted;
    int Expected;
  };
  const TCase cases[] = {
      {"before the selection", 2, 0, 1},
      {"the selection", 1, 1, -1},
      {"after the selection", 0, 2, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const rtl::TOwned<ui::TListBox> list(rtl::New<ui::TListBox>(nullptr));
    list->SetItems({"a", "b", "c"});
    list->SetItemIndex(c.Selected);
    list->DeleteItem(c.Deleted);
    EXPECT_EQ(list->ItemIndex(), c.Expected);
    EXPECT_EQ(list->Count(), 2);
  }
  const rtl::TOwned<ui::TComboBox> combo(rtl::New<ui::TComboBox>(nullptr));
  combo->SetItems({"x"});
  EXPECT_THROW(combo->SetItemIndex(1), rtl::EArgumentOutOfRangeException);
  EXPECT_THROW(combo->SetItemIndex(-2), rtl::EArgumentOutOfRangeException);
  EXPECT_THROW(combo->DeleteItem(1), rtl::EArgumentOutOfRangeException);
  EXPECT_EQ(combo->Selected(), "");
}

TEST_F(ModalForms, TheDefaultDriverCancelsOpenDialogsAndLogsMessages) {
  vtest::TLogCapture log;
  const rtl::TOwned<ui::TOpenDialog> dialog(rtl::New<ui::TOpenDialog>(nullptr));
  dialog->SetFiles({"stale"});
  EXPECT_FALSE(dialog->Execute());
  EXPECT_TRUE(dialog->Files().empty());
  ui::ShowMessage("100% done");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"100% done"}));
  {
    vtest::TScriptedDialogs dialogs;
    ui::ShowMessage("scripted");
    EXPECT_EQ(dialogs.Messages(), (std::vector<std::string>{"scripted"}));
  }
  ui::ShowMessage("back");
  EXPECT_EQ(log.Lines().back(), "back");
}

TEST_F(ModalForms, AnOpenDialogChecksWhatTheDriverConfirmsAgainstItsOptions) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("vantrel_open_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string walk = (dir / "walk.dae").string(), run = (dir / "run.dae").string();
  std::ofstream(walk) << "x";
  std::ofstream(run) << "x";
  using ui::TOpenOption;
  const ui::TOpenOptions must{TOpenOption::ofPathMustExist, TOpenOption::ofFileMustExist};
  const ui::TOpenOptions multi{TOpenOption::ofAllowMultiSelect, TOpenOption::ofPathMustExist,
                               TOpenOption::ofFileMustExist};
  struct TCase {
    const char* Name;
    ui::TOpenOptions Options;
    std::vector<std::string> Chosen;
    std::vector<std::string> Files;  // when accepted
    std::string Error;               // else
  };
  const TCase cases[] = {
      {"two files, multi-select", multi, {walk, run}, {walk, run}, ""},
      {"default extension", must, {(dir / "walk").string()}, {walk}, ""},
      {"two files without multi-select", must, {walk, run}, {}, "several files without multi-select"},
      {"missing file", must, {(dir / "jump.dae").string()}, {}, "file not found: " + (dir / "jump.dae").string()},
      {"missing folder", must, {(dir / "no" / "a.dae").string()}, {}, "folder not found: " + (dir / "no").string()},
      {"missing file, not checked", {}, {(dir / "jump.dae").string()}, {(dir / "jump.dae").string()}, ""},
      {"confirmed without a file", must, {}, {}, "without a file"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    vtest::TScriptedDialogs dialogs;
    dialogs.QueueFiles(c.Chosen);
    const rtl::TOwned<ui::TOpenDialog> dialog(rtl::New<ui::TOpenDialog>(nullptr));
    dialog->SetTitle("Pick");
    dialog->SetDefaultExt(".dae");
    dialog->SetOptions(c.Options);
    if (c.Error.empty()) {
      EXPECT_TRUE(dialog->Execute());
      EXPECT_EQ(dialog->Files(), c.Files);
      EXPECT_EQ(dialog->FileName(), c.Files.front());
    } else {
      try {
        dialog->Execute();
        ADD_FAILURE() << "accepted";
      } catch (const rtl::EArgumentException& E) {
        EXPECT_NE(E.Message().find(c.Error), std::string::npos) << E.Message();
      }
    }
    EXPECT_EQ(dialogs.OpenDialogs(), (std::vector<std::string>{"Pick"}));
  }
  std::filesystem::remove_all(dir);
}

} // namespace
