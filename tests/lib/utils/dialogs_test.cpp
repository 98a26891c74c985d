// The framework's windows: the logging window and its presenter, the progress window with its
// worker, and the load-options editor driven by a script.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "definitions/Vantrel.Loader.OptionsForm.h"
#include "support/dialog_driver.h"
#include "support/log_capture.h"
#include "support/logging_form_recorder.h"
#include "ui/application.h"
#include "utils/Vantrel.Utils.Dialogs.h"

namespace dialogstest {

// Remembers the text a label had when it was freed.
class TLabelWatcher : public rtl::TComponent {
  RTL_CLASS(TLabelWatcher, rtl::TComponent)
public:
  using TComponent::TComponent;
  std::vector<std::string> FinalTexts;

protected:
  void Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) override {
    inherited::Notification(AComponent, AOperation);
    if (auto* label = dynamic_cast<ui::TLabel*>(AComponent); label && AOperation == rtl::TOperation::opRemove)
      FinalTexts.push_back(label->Text());
  }
};
RTL_DEFINE_CLASS(TLabelWatcher, "Test.Dialogs")

} // namespace dialogstest

namespace {

using dialogstest::TLabelWatcher;
using ui::Application;
using vantrel::TAnimationCachingFlag;
using vantrel::TAnimationCachingFlags;
using vantrel::TLoadOptionsForm;
using vantrel::TLoggingForm;
using vantrel::TProgressForm;
using vantrel::TVantrelLoadOptions;
using Steps = std::vector<vtest::TScriptedDialogs::TStep>;

class Dialogs : public ::testing::Test {
protected:
  void SetUp() override { TProgressForm::SetStartDelay(0); }
  void TearDown() override {
    TLoggingForm::FreeSharedInstance();
    Application().DestroyForms();
  }
};

TEST_F(Dialogs, TheDefaultPresenterLogsAndShowsAndARecorderReplacesIt) {
  vtest::TLogCapture log;
  TLoggingForm::Open("shader - failed", "line 1: 100% wrong", true);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"shader - failed", "line 1: 100% wrong"}));
  ASSERT_NE(TLoggingForm::SharedInstance(), nullptr);
  EXPECT_EQ(TLoggingForm::SharedInstance()->Memo()->Text(), "line 1: 100% wrong");

  log.Clear();
  {
    vtest::TLoggingFormRecorder recorder;
    TLoggingForm::Open("title", "text", false);
    TLoggingForm::Open("again", "more", true);
    ASSERT_EQ(recorder.Calls().size(), 2u);
    EXPECT_EQ(recorder.Calls()[0].Title, "title");
    EXPECT_EQ(recorder.Calls()[0].Message, "text");
    EXPECT_FALSE(recorder.Calls()[0].Reuse);
    EXPECT_TRUE(recorder.Calls()[1].Reuse);
  }
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(Application().Forms().size(), 1u) << "the recorder opened no window";

  // SetPresenter returns the previous one; nullptr restores the default.
  int calls = 0;
  TLoggingForm::SetPresenter([&](const std::string&, const std::string&, bool) { ++calls; });
  TLoggingForm::Open("t", "m", false);
  EXPECT_TRUE(static_cast<bool>(TLoggingForm::SetPresenter(nullptr)));
  TLoggingForm::Open("t", "m", false);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"t", "m"}));
}

TEST_F(Dialogs, TheLoggingWindowIsReusedOnlyWhenAskedAndNeverBecomesTheMainForm) {
  struct TCase {
    const char* Name;
    bool Reuse;
    size_t Windows;
  };
  for (const TCase& c : {TCase{"reuse", true, 1}, TCase{"no reuse", false, 2}}) {
    SCOPED_TRACE(c.Name);
    TLoggingForm* first = TLoggingForm::ShowWindow("first", "one", c.Reuse);
    TLoggingForm* second = TLoggingForm::ShowWindow("second", "two", c.Reuse);
    EXPECT_EQ(Application().Forms().size(), c.Windows);
    EXPECT_EQ(first == second, c.Reuse);
    EXPECT_EQ(Application().Forms().back(), second) << "brought to the front";
    EXPECT_EQ(Application().MainForm(), nullptr);
    EXPECT_EQ(second->Caption(), "second");
    EXPECT_EQ(second->Memo()->Text(), "two");
    EXPECT_EQ(first->Caption(), c.Reuse ? "second" : "first");
    EXPECT_TRUE(second->Visible());
    // The window's settings.
    EXPECT_EQ(second->BorderStyle(), ui::TFmxFormBorderStyle::SizeToolWin);
    EXPECT_EQ(second->Position(), ui::TFormPosition::ScreenCenter);
    EXPECT_EQ(second->ClientWidth(), 640);
    EXPECT_EQ(second->ClientHeight(), 280);
    ui::TMemo* memo = second->Memo();
    EXPECT_EQ(memo->Parent(), second);
    EXPECT_EQ(memo->Align(), ui::TAlignLayout::Client);
    EXPECT_EQ(memo->Margins()->Rect(), (rtl::TRectF{4, 4, 4, 4}));
    EXPECT_TRUE(memo->ReadOnly());
    EXPECT_EQ(memo->Font().Family, "Consolas");
    EXPECT_EQ(memo->Font().Size, 10);
    // Closing hides the shared window; another one is freed by the next pass.
    second->Close();
    EXPECT_FALSE(second->Visible());
    Application().ProcessMessages();
    EXPECT_EQ(Application().Forms().size(), c.Windows - (c.Reuse ? 0 : 1));
    EXPECT_EQ(TLoggingForm::SharedInstance(), c.Reuse ? second : nullptr);
    TLoggingForm::FreeSharedInstance();
    Application().DestroyForms();
    EXPECT_EQ(TLoggingForm::SharedInstance(), nullptr);
  }
}

TEST_F(Dialogs, TheProgressWindowRunsTheOperationOnTheUIThreadAndEndsWithDone) {
  struct TCase {
    const char* Name;
    TProgressForm::TProc Proc;
    std::vector<std::string> Log;
    std::vector<std::string> Messages;
    bool Rethrows;
  };
  const std::thread::id ui = std::this_thread::get_id();
  bool ranOnUi = false;
  const TCase cases[] = {
      {"no procedure", nullptr, {}, {}, false},
      {"procedure", [&](TProgressForm* AForm) { ranOnUi = AForm && std::this_thread::get_id() == ui; }, {}, {}, false},
      {"platform exception",
       [](TProgressForm*) { throw rtl::EArgumentException("boom"); },
       {"<ERROR> boom"},
       {"<ERROR> boom"},
       false},
      {"other exception", [](TProgressForm*) { throw std::runtime_error("deep"); }, {}, {}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    vtest::TLogCapture log;
    vtest::TScriptedDialogs dialogs;
    const rtl::TOwned<TLabelWatcher> watcher(rtl::New<TLabelWatcher>(nullptr));
    // Watches the label from the moment the window is shown modally.
    dialogs.Script("Please wait", {[&](vtest::TScriptedDialogs&, ui::TCustomForm& AForm) {
                     auto* form = dynamic_cast<TProgressForm*>(&AForm);
                     ASSERT_NE(form, nullptr);
                     EXPECT_EQ(form->Text()->Text(), "Please wait");
                     EXPECT_EQ(form->Text()->TextAlign(), ui::TTextAlign::Center);
                     EXPECT_EQ(form->Text()->VertTextAlign(), ui::TTextAlign::Center);
                     EXPECT_EQ(form->BorderIcons(), ui::TBorderIcons{});
                     EXPECT_EQ(form->BorderStyle(), ui::TFmxFormBorderStyle::Single);
                     EXPECT_EQ(form->ClientWidth(), 400);
                     form->Text()->FreeNotification(watcher.get());
                   }});
    bool rethrown = false;
    try {
      TProgressForm::Open("Please wait", c.Proc);
    } catch (const std::runtime_error& E) {
      rethrown = std::string(E.what()) == "deep";
      EXPECT_TRUE(Application().Forms().empty()) << "the window is freed first";
    }
    EXPECT_EQ(rethrown, c.Rethrows);
    EXPECT_EQ(watcher->FinalTexts, (std::vector<std::string>{"Done"}));
    EXPECT_EQ(log.Lines(), c.Log);
    EXPECT_EQ(dialogs.Messages(), c.Messages);
    EXPECT_EQ(dialogs.ModalForms(), (std::vector<std::string>{"Please wait"}));
    EXPECT_TRUE(Application().Forms().empty());
  }
  EXPECT_TRUE(ranOnUi);
}

TEST_F(Dialogs, OffTheUIThreadTheProgressOperationRunsInPlaceWithoutAWindow) {
  vtest::TScriptedDialogs dialogs;
  std::vector<bool> withoutWindow;
  std::string rethrown;
  std::thread([&] {
    TProgressForm::Open("Loading", [&](TProgressForm* AForm) { withoutWindow.push_back(AForm == nullptr); });
    TProgressForm::Open("Loading", [](TProgressForm*) { throw rtl::EArgumentException("bad"); });
    try {
      TProgressForm::Open("Loading", [](TProgressForm*) { throw std::logic_error("kept"); });
    } catch (const std::logic_error& E) {
      rethrown = E.what();
    }
  }).join();
  EXPECT_EQ(withoutWindow, (std::vector<bool>{true}));
  EXPECT_EQ(dialogs.Messages(), (std::vector<std::string>{"<ERROR> bad"}));
  EXPECT_EQ(rethrown, "kept");
  EXPECT_TRUE(dialogs.ModalForms().empty());
}

// The state of one control of the load-options window, as the table of its layout gives it.
struct TControlRow {
  std::string Class, Parent, Text;
  ui::TAlignLayout Align;
  float Height;
  rtl::TRectF Margins;

  bool operator==(const TControlRow&) const = default;
};

std::ostream& operator<<(std::ostream& AOut, const TControlRow& ARow) {
  return AOut << ARow.Class << " in " << ARow.Parent << " '" << ARow.Text << "' align "
              << static_cast<int>(ARow.Align) << " height " << ARow.Height << " margins " << ARow.Margins.Left
              << "," << ARow.Margins.Top << "," << ARow.Margins.Right << "," << ARow.Margins.Bottom;
}

std::string TextOf(const rtl::TComponent* AComponent) {
  if (const auto* text = dynamic_cast<const ui::TTextControl*>(AComponent))
    return text->Text();
  return "";
}

TEST_F(Dialogs, TheLoadOptionsWindowBuildsItsControlsInOrderWithTheOptionsState) {
  TVantrelLoadOptions opts = TVantrelLoadOptions::Create("models/hero.v3d");
  opts.ImportLights = true;
  opts.ImportCameras = false;
  opts.ImportAnimations = true;
  opts.Caching = {TAnimationCachingFlag::VertexPosition, TAnimationCachingFlag::Compressed};
  opts.TextureLimits = {512, 512};
  vtest::TScriptedDialogs dialogs;
  std::vector<TControlRow> rows;
  TLoadOptionsForm* seen = nullptr;
  dialogs.Script("Load Options ...", {[&](vtest::TScriptedDialogs&, ui::TCustomForm& AForm) {
                                       seen = dynamic_cast<TLoadOptionsForm*>(&AForm);
                                       for (int i = 0; i < AForm.ComponentCount(); ++i) {
                                         auto* control = dynamic_cast<ui::TControl*>(AForm.Components(i));
                                         ASSERT_NE(control, nullptr);
                                         rows.push_back({control->ClassName(),
                                                         control->Parent() == &AForm ? "window"
                                                                                     : TextOf(control->Parent()),
                                                         TextOf(control), control->Align(), control->Height(),
                                                         control->Margins()->Rect()});
                                       }
                                       ASSERT_NE(seen, nullptr);
                                       EXPECT_EQ(seen->Filename()->Text(), "models/hero.v3d");
                                       EXPECT_TRUE(seen->Filename()->ReadOnly());
                                       EXPECT_EQ(seen->TextureLimits()->Count(), 7);
                                       EXPECT_EQ(seen->TextureLimits()->Selected(), "Unlimited");
                                       EXPECT_TRUE(seen->ImportLights()->IsChecked());
                                       EXPECT_FALSE(seen->ImportCameras()->IsChecked());
                                       EXPECT_TRUE(seen->ImportAnims()->IsChecked());
                                       EXPECT_EQ(seen->Caching()->Selected(), "VertexPosition Only");
                                       EXPECT_TRUE(seen->CompressedCache()->IsChecked());
                                       EXPECT_EQ(seen->AnimationList()->Count(), 0);
                                       EXPECT_EQ(seen->OKButton()->ModalResult(), ui::mrOk);
                                       EXPECT_EQ(AForm.ClientWidth(), 640);
                                       EXPECT_EQ(AForm.ClientHeight(), 860);
                                       EXPECT_EQ(AForm.BorderStyle(), ui::TFmxFormBorderStyle::Single);
                                       EXPECT_EQ(AForm.BorderIcons(), ui::TBorderIcons{});
                                       EXPECT_EQ(AForm.Position(), ui::TFormPosition::ScreenCenter);
                                     },
                                     vtest::TScriptedDialogs::Press("OK")});
  TLoadOptionsForm::Execute(opts);
  using A = ui::TAlignLayout;
  const std::vector<TControlRow> expected = {
      {"TGroupBox", "window", "File", A::MostTop, 80, {8, 8, 8, 8}},
      {"TEdit", "File", "models/hero.v3d", A::MostTop, 32, {8, 32, 8, 0}},
      {"TGroupBox", "window", "Textures", A::Top, 80, {8, 8, 8, 8}},
      {"TComboBox", "Textures", "", A::Top, 32, {8, 32, 8, 0}},
      {"TGroupBox", "window", "Import", A::Top, 128, {8, 8, 8, 8}},
      {"TCheckBox", "Import", "Import Lights", A::MostTop, 32, {8, 32, 8, 0}},
      {"TCheckBox", "Import", "Import Cameras", A::Top, 32, {8, 8, 8, 0}},
      {"TGroupBox", "window", "Animations", A::Top, 420, {8, 8, 8, 8}},
      {"TCheckBox", "Animations", "Import Animations", A::MostTop, 32, {8, 32, 8, 0}},
      {"TComboBox", "Animations", "", A::Top, 32, {8, 8, 8, 0}},
      {"TCheckBox", "Animations", "Compressed Cache", A::Top, 32, {8, 8, 8, 0}},
      {"TGroupBox", "Animations", "Additional Animations", A::MostBottom, 256, {8, 8, 8, 8}},
      // Client alignment sizes the list from its box, whatever height it was given.
      {"TListBox", "Additional Animations", "", A::Client, rows.size() > 12 ? rows[12].Height : 0, {8, 32, 8, 8}},
      {"TButton", "Additional Animations", "Remove Animation", A::Bottom, 32, {8, 8, 8, 8}},
      {"TButton", "Additional Animations", "Add Animation", A::Bottom, 32, {8, 0, 8, 0}},
      {"TButton", "window", "OK", A::MostBottom, 32, {8, 16, 8, 8}},
  };
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(dialogs.ModalForms(), (std::vector<std::string>{"Load Options ..."}));
  // The window released itself; the next pass frees it.
  EXPECT_EQ(Application().Forms().size(), 1u);
  Application().ProcessMessages();
  EXPECT_TRUE(Application().Forms().empty());
}

TEST_F(Dialogs, TheLoadOptionsWindowMapsItsControlsOntoTheReturnedCopy) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("vantrel_dialogs_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string walk = (dir / "walk.dae").string(), run = (dir / "run.dae").string();
  std::ofstream(walk) << "x";
  std::ofstream(run) << "x";
  using S = vtest::TScriptedDialogs;
  const TAnimationCachingFlags all{TAnimationCachingFlag::AllAttributes};
  const TAnimationCachingFlags both{TAnimationCachingFlag::AllAttributes, TAnimationCachingFlag::VertexPosition};
  struct TCase {
    const char* Name;
    bool ImportAnimations;
    TAnimationCachingFlags Caching;
    Steps Script;
    rtl::TPoint Limits;
    TAnimationCachingFlags ExpectedCaching;
    std::vector<std::string> Animations;
  };
  const TCase cases[] = {
      // The limit always opens at "Unlimited": confirming unchanged removes (512, 512).
      {"limits untouched", false, {}, {}, {0, 0}, {}, {"keep.dae"}},
      {"2048 selected", false, {}, {S::Select("2048 x 2048 px")}, {2048, 2048}, {}, {"keep.dae"}},
      {"files added, animations not ticked", false, {}, {S::AddFiles({walk, run}, "Add Animation")}, {0, 0}, {},
       {"keep.dae"}},
      {"animations ticked, empty list", true, {}, {}, {0, 0}, {}, {}},
      {"two files added", true, {}, {S::AddFiles({walk, run}, "Add Animation")}, {0, 0}, {}, {walk, run}},
      {"one removed",
       true,
       {},
       {S::AddFiles({walk, run}, "Add Animation"), S::Select(walk), S::Press("Remove Animation"),
        S::Press("Remove Animation")},
       {0, 0},
       {},
       {run}},
      {"both caching flags", false, both, {}, {0, 0}, all, {"keep.dae"}},
      {"both caching flags, compressed", false, both, {S::Tick("Compressed Cache")}, {0, 0},
       {TAnimationCachingFlag::AllAttributes, TAnimationCachingFlag::Compressed}, {"keep.dae"}},
      {"compressed ticked", false, {}, {S::Tick("Compressed Cache")}, {0, 0}, {TAnimationCachingFlag::Compressed},
       {"keep.dae"}},
      {"vertex positions only", false, all, {S::Select("VertexPosition Only")}, {0, 0},
       {TAnimationCachingFlag::VertexPosition}, {"keep.dae"}},
      {"no caching", false, all, {S::Select("No Caching")}, {0, 0}, {}, {"keep.dae"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVantrelLoadOptions opts = TVantrelLoadOptions::Create("m.v3d");
    opts.ImportAnimations = c.ImportAnimations;
    opts.AdditionalAnimations = c.ImportAnimations ? std::vector<std::string>{"old.dae"}
                                                   : std::vector<std::string>{"keep.dae"};
    opts.Caching = c.Caching;
    opts.TextureLimits = {512, 512};
    vtest::TScriptedDialogs dialogs;
    Steps script = c.Script;
    script.push_back(S::Press("OK"));
    dialogs.Script("Load Options ...", script);
    const TVantrelLoadOptions edited = TLoadOptionsForm::Execute(opts);
    EXPECT_EQ(edited.TextureLimits, c.Limits);
    EXPECT_EQ(edited.Caching, c.ExpectedCaching);
    EXPECT_EQ(edited.AdditionalAnimations, c.Animations);
    EXPECT_EQ(edited.ImportAnimations, c.ImportAnimations);
    EXPECT_EQ(edited.FileInfo.PathOrUID, "m.v3d") << "the rest of the copy is kept";
    for (const std::string& title : dialogs.OpenDialogs())
      EXPECT_EQ(title, "Select an animation file ...");
    Application().ProcessMessages();
  }
  // Without a script the default driver presses OK: the copy comes back as the controls hold it.
  TVantrelLoadOptions opts = TVantrelLoadOptions::Create("m.v3d");
  opts.ImportLights = false;
  opts.ImportCameras = true;
  const TVantrelLoadOptions edited = TLoadOptionsForm::Execute(opts);
  EXPECT_TRUE(edited.ImportCameras);
  EXPECT_FALSE(edited.ImportLights);
  std::filesystem::remove_all(dir);
}

} // namespace
