#pragma once
// Stands in for the user of the framework's dialogs: while a TScriptedDialogs lives it is the dialog
// driver. It records every message, modal form and open-file dialog, answers open-file dialogs
// from a queue of file lists, and runs a script of steps (tick, select, add files, press) on the
// next modal form with a given caption; a form without a script gets the default behaviour (its
// OK button is pressed). The previous driver comes back at destruction.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/dialogs.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace vtest {

class TScriptedDialogs {
public:
  using TStep = std::function<void(TScriptedDialogs& ADialogs, ui::TCustomForm& AForm)>;

  TScriptedDialogs();
  ~TScriptedDialogs();
  TScriptedDialogs(const TScriptedDialogs&) = delete;
  TScriptedDialogs& operator=(const TScriptedDialogs&) = delete;

  // ASteps run in order on the next modal form captioned ACaption, instead of the default.
  void Script(const std::string& ACaption, std::vector<TStep> ASteps);
  // The next open-file dialog confirms AFiles.
  void QueueFiles(std::vector<std::string> AFiles);

  // Sets the check box captioned AText.
  static TStep Tick(const std::string& AText, bool AChecked = true);
  // Selects AItem in the first combo or list box that holds it.
  static TStep Select(const std::string& AItem);
  // Queues AFiles for the next open-file dialog and presses the button captioned AButton.
  static TStep AddFiles(std::vector<std::string> AFiles, const std::string& AButton);
  // Presses the button captioned AText.
  static TStep Press(const std::string& AText);

  // What the dialogs showed, oldest first.
  std::vector<std::string> Messages() const;
  const std::vector<std::string>& ModalForms() const { return FModalForms; }
  const std::vector<std::string>& OpenDialogs() const { return FOpenDialogs; }

  // The first control of type T under AForm (depth first) captioned AText; raises
  // rtl::EArgumentException when there is none, so a script names what it did not find.
  template <class T> static T& Find(ui::TFmxObject& AForm, const std::string& AText) {
    if (T* found = FindIn<T>(AForm, AText))
      return *found;
    RaiseMissing(AText);
  }

private:
  class TDriver;
  struct TScript {
    std::string Caption;
    std::vector<TStep> Steps;
  };

  mutable std::mutex FMessagesLock;
  std::vector<std::string> FMessages;
  std::vector<std::string> FModalForms;
  std::vector<std::string> FOpenDialogs;
  std::deque<TScript> FScripts;
  std::deque<std::vector<std::string>> FFiles;
  std::unique_ptr<ui::IDialogDriver> FPrevious;

  void ShowingModal(ui::TCustomForm& AForm);
  bool ExecuteOpenDialog(ui::TOpenDialog& ADialog);
  void ShowMessage(const std::string& AText);

  [[noreturn]] static void RaiseMissing(const std::string& AText);
  template <class T> static T* FindIn(ui::TFmxObject& AParent, const std::string& AText) {
    for (ui::TFmxObject* child : AParent.Children()) {
      if (auto* control = dynamic_cast<T*>(child); control && control->Text() == AText)
        return control;
      if (T* inner = FindIn<T>(*child, AText))
        return inner;
    }
    return nullptr;
  }
};

} // namespace vtest
