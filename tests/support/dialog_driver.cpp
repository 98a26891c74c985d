#include "support/dialog_driver.h"

#include <utility>

#include "rtl/exceptions.h"

namespace vtest {

// The installed driver: forwards to the TScriptedDialogs that made it.
class TScriptedDialogs::TDriver : public ui::IDialogDriver {
public:
  explicit TDriver(TScriptedDialogs& AOwner) : FOwner(AOwner) {}
  void ShowingModal(ui::TCustomForm& AForm) override { FOwner.ShowingModal(AForm); }
  bool ExecuteOpenDialog(ui::TOpenDialog& ADialog) override { return FOwner.ExecuteOpenDialog(ADialog); }
  void ShowMessage(const std::string& AText) override { FOwner.ShowMessage(AText); }

private:
  TScriptedDialogs& FOwner;
};

TScriptedDialogs::TScriptedDialogs() : FPrevious(ui::SetDialogDriver(std::make_unique<TDriver>(*this))) {}

TScriptedDialogs::~TScriptedDialogs() {
  ui::SetDialogDriver(std::move(FPrevious));
}

void TScriptedDialogs::Script(const std::string& ACaption, std::vector<TStep> ASteps) {
  FScripts.push_back({ACaption, std::move(ASteps)});
}

void TScriptedDialogs::QueueFiles(std::vector<std::string> AFiles) {
  FFiles.push_back(std::move(AFiles));
}

TScriptedDialogs::TStep TScriptedDialogs::Tick(const std::string& AText, bool AChecked) {
  return [AText, AChecked](TScriptedDialogs&, ui::TCustomForm& AForm) {
    Find<ui::TCheckBox>(AForm, AText).SetIsChecked(AChecked);
  };
}

TScriptedDialogs::TStep TScriptedDialogs::Select(const std::string& AItem) {
  return [AItem](TScriptedDialogs&, ui::TCustomForm& AForm) {
    std::function<ui::TItemsControl*(ui::TFmxObject&)> search = [&](ui::TFmxObject& AParent) -> ui::TItemsControl* {
      for (ui::TFmxObject* child : AParent.Children()) {
        if (auto* list = dynamic_cast<ui::TItemsControl*>(child); list && list->IndexOf(AItem) >= 0)
          return list;
        if (ui::TItemsControl* inner = search(*child))
          return inner;
      }
      return nullptr;
    };
    ui::TItemsControl* list = search(AForm);
    if (!list)
      RaiseMissing(AItem);
    list->SetItemIndex(list->IndexOf(AItem));
  };
}

TScriptedDialogs::TStep TScriptedDialogs::AddFiles(std::vector<std::string> AFiles, const std::string& AButton) {
  return [AFiles, AButton](TScriptedDialogs& ADialogs, ui::TCustomForm& AForm) {
    ADialogs.QueueFiles(AFiles);
    Find<ui::TButton>(AForm, AButton).Click();
  };
}

TScriptedDialogs::TStep TScriptedDialogs::Press(const std::string& AText) {
  return [AText](TScriptedDialogs&, ui::TCustomForm& AForm) { Find<ui::TButton>(AForm, AText).Click(); };
}

std::vector<std::string> TScriptedDialogs::Messages() const {
  std::lock_guard guard(FMessagesLock);
  return FMessages;
}

void TScriptedDialogs::ShowingModal(ui::TCustomForm& AForm) {
  FModalForms.push_back(AForm.Caption());
  for (auto it = FScripts.begin(); it != FScripts.end(); ++it) {
    if (it->Caption != AForm.Caption())
      continue;
    const std::vector<TStep> steps = std::move(it->Steps);
    FScripts.erase(it);
    for (const TStep& step : steps)
      step(*this, AForm);
    return;
  }
  ui::IDialogDriver().ShowingModal(AForm);
}

bool TScriptedDialogs::ExecuteOpenDialog(ui::TOpenDialog& ADialog) {
  FOpenDialogs.push_back(ADialog.Title());
  if (FFiles.empty())
    return false;
  ADialog.SetFiles(std::move(FFiles.front()));
  FFiles.pop_front();
  return true;
}

void TScriptedDialogs::ShowMessage(const std::string& AText) {
  std::lock_guard guard(FMessagesLock);
  FMessages.push_back(AText);
}

void TScriptedDialogs::RaiseMissing(const std::string& AText) {
  throw rtl::EArgumentException("no control captioned '" + AText + "' on the form");
}

} // namespace vtest
