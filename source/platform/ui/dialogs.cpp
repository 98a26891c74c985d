#include "ui/dialogs.h"

#include <filesystem>
#include <mutex>
#include <utility>

#include "rtl/exceptions.h"
#include "rtl/log.h"
#include "ui/forms.h"
#include "ui/std_controls.h"

namespace ui {

RTL_DEFINE_CLASS(TOpenDialog, "ui.Dialogs")

namespace {

// Recursive: a driver's ShowMessage may itself show a message.
std::recursive_mutex& DriverLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::unique_ptr<IDialogDriver>& InstalledDriver() {
  static std::unique_ptr<IDialogDriver> driver = std::make_unique<IDialogDriver>();
  return driver;
}

TButton* FirstOkButton(const TFmxObject& AParent) {
  for (TFmxObject* child : AParent.Children()) {
    if (auto* button = dynamic_cast<TButton*>(child); button && button->ModalResult() == mrOk)
      return button;
    if (TButton* inner = FirstOkButton(*child))
      return inner;
  }
  return nullptr;
}

} // namespace

void IDialogDriver::ShowingModal(TCustomForm& AForm) {
  if (TButton* button = FirstOkButton(AForm))
    button->Click();
}

bool IDialogDriver::ExecuteOpenDialog(TOpenDialog&) {
  return false;
}

void IDialogDriver::ShowMessage(const std::string& AText) {
  // The plain overload: a message may hold '%'.
  rtl::Log::d(std::string_view(AText));
}

std::unique_ptr<IDialogDriver> SetDialogDriver(std::unique_ptr<IDialogDriver> ADriver) {
  if (!ADriver)
    ADriver = std::make_unique<IDialogDriver>();
  std::lock_guard guard(DriverLock());
  return std::exchange(InstalledDriver(), std::move(ADriver));
}

IDialogDriver& DialogDriver() {
  return *InstalledDriver();
}

void ShowMessage(const std::string& AText) {
  std::lock_guard guard(DriverLock());
  InstalledDriver()->ShowMessage(AText);
}

bool TOpenDialog::Execute() {
  FFiles.clear();
  if (!DialogDriver().ExecuteOpenDialog(*this)) {
    FFiles.clear();
    return false;
  }
  CheckFiles();
  return true;
}

void TOpenDialog::CheckFiles() {
  if (FFiles.empty())
    throw rtl::EArgumentException("Open dialog confirmed without a file");
  if (FFiles.size() > 1 && !FOptions.Contains(TOpenOption::ofAllowMultiSelect))
    throw rtl::EArgumentException("Open dialog confirmed several files without multi-select");
  const std::string ext =
      FDefaultExt.empty() || FDefaultExt.front() == '.' ? FDefaultExt : "." + FDefaultExt;
  for (std::string& file : FFiles) {
    std::filesystem::path path(file);
    if (!path.has_extension() && !ext.empty()) {
      file += ext;
      path = file;
    }
    std::error_code error;
    if (FOptions.Contains(TOpenOption::ofPathMustExist) && path.has_parent_path() &&
        !std::filesystem::is_directory(path.parent_path(), error))
      throw rtl::EArgumentException("Open dialog: folder not found: " + path.parent_path().string());
    if (FOptions.Contains(TOpenOption::ofFileMustExist) && !std::filesystem::is_regular_file(path, error))
      throw rtl::EArgumentException("Open dialog: file not found: " + file);
  }
}

} // namespace ui
