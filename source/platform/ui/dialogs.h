#pragma once
// Dialogs without a window toolkit. What a user would do with a modal form, an open-file dialog
// or a message box is decided by the dialog driver: the default presses a modal form's OK button,
// cancels open-file dialogs and writes messages to the debug log; tests install a scripted one.
// The driver is process-wide and replaced on the UI thread; ShowMessage may come from any thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/set.h"

namespace ui {

class TCustomForm;
class TOpenDialog;

class IDialogDriver {
public:
  virtual ~IDialogDriver() = default;

  // A form is being shown modally: it is visible and OnShow has run; the modal loop starts when
  // this returns. The default presses the form's first button (depth first, in child order) whose
  // ModalResult is mrOk, if any, and otherwise leaves the form to close itself.
  virtual void ShowingModal(TCustomForm& AForm);
  // Answers an open-file dialog: true after filling its Files. The default returns false.
  virtual bool ExecuteOpenDialog(TOpenDialog& ADialog);
  // A message box. The default writes the text to the debug log.
  virtual void ShowMessage(const std::string& AText);
};

// Installs ADriver (nullptr: the default) and returns the previous one. UI thread.
std::unique_ptr<IDialogDriver> SetDialogDriver(std::unique_ptr<IDialogDriver> ADriver);
// The installed driver. UI thread.
IDialogDriver& DialogDriver();
// Hands AText to the driver's ShowMessage; any thread.
void ShowMessage(const std::string& AText);

enum class TOpenOption : uint8_t { ofAllowMultiSelect, ofPathMustExist, ofFileMustExist };
RTL_ENUM_TYPEINFO(TOpenOption, "ofAllowMultiSelect", "ofPathMustExist", "ofFileMustExist")
using TOpenOptions = rtl::TSet<TOpenOption>;

// Asks the driver for files to open.
class TOpenDialog : public rtl::TComponent {
  RTL_CLASS(TOpenDialog, rtl::TComponent)
public:
  explicit TOpenDialog(rtl::TComponent* AOwner) : TComponent(AOwner) {}

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& AValue) { FTitle = AValue; }
  // The extension (with or without its dot) the user's names get when they have none.
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& AValue) { FDefaultExt = AValue; }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions AValue) { FOptions = AValue; }
  // The chosen files, in the order chosen; FileName is the first.
  const std::vector<std::string>& Files() const { return FFiles; }
  void SetFiles(std::vector<std::string> AFiles) { FFiles = std::move(AFiles); }
  std::string FileName() const { return FFiles.empty() ? std::string() : FFiles.front(); }

  // Clears Files and asks the driver. A confirmed answer gets DefaultExt on names without an
  // extension and is checked against Options: several files without ofAllowMultiSelect, no file,
  // a missing folder under ofPathMustExist or a missing file under ofFileMustExist raise
  // EArgumentException naming the file (a driver that confirms what a real dialog would refuse).
  // Returns whether the user confirmed.
  bool Execute();

private:
  std::string FTitle;
  std::string FDefaultExt;
  TOpenOptions FOptions;
  std::vector<std::string> FFiles;

  void CheckFiles();
};

} // namespace ui
