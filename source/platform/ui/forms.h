#pragma once
// Forms: the streaming root and the scene of their controls. A form made through its metaclass
// reads the embedded resource named after its class in upper case ("TFORM1") in
// AfterConstruction; CreateNew makes an empty one. It paints into its own canvas at client size
// (white behind the controls), hands the image to the application after each paint, and turns
// the presenter's events into mouse calls on its controls, resizes and closes.
//
// Alignment: Client fills the client area and follows its size; None leaves the control where it
// is. The other values stream and act as None.
//
// Showing and closing: no window toolkit draws these forms, so Visible, BorderStyle, BorderIcons
// and Position are state that code and tests read. ShowModal runs the application loop until the
// modal result is set; the dialog driver (ui/dialogs.h) stands in for the user. A form closed
// with caFree is freed by the next outermost pass of the loop, never inside one.

#include <cstdint>
#include <string>

#include "rtl/classes.h"
#include "rtl/method.h"
#include "rtl/set.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/scene.h"
#include "ui/types3d.h"

namespace ui {

enum class TDeviceKind : uint8_t { Desktop, Phone, Tablet };
RTL_ENUM_TYPEINFO(TDeviceKind, "Desktop", "Phone", "Tablet")
using TDeviceKinds = rtl::TSet<TDeviceKind>;

// What ShowModal returns: the modal result that ended the loop.
using TModalResult = int32_t;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrClose = 8;
constexpr TModalResult mrHelp = 9;
constexpr TModalResult mrTryAgain = 10;
constexpr TModalResult mrContinue = 11;
constexpr TModalResult mrAll = 12;
constexpr TModalResult mrNoToAll = 13;
constexpr TModalResult mrYesToAll = 14;

// What closing does with the form: nothing, hide it, free it (deferred), or minimise it (kept as
// it is here).
enum class TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
RTL_ENUM_TYPEINFO(TCloseAction, "caNone", "caHide", "caFree", "caMinimize")

enum class TFmxFormBorderStyle : uint8_t { None, Single, Sizeable, ToolWindow, SizeToolWin };
RTL_ENUM_TYPEINFO(TFmxFormBorderStyle, "None", "Single", "Sizeable", "ToolWindow", "SizeToolWin")

enum class TBorderIcon : uint8_t { biSystemMenu, biMinimize, biMaximize, biHelp };
RTL_ENUM_TYPEINFO(TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
using TBorderIcons = rtl::TSet<TBorderIcon>;

enum class TFormPosition : uint8_t {
  Designed,
  Default,
  DefaultPosOnly,
  DefaultSizeOnly,
  ScreenCenter,
  DesktopCenter,
  MainFormCenter,
  OwnerFormCenter
};
RTL_ENUM_TYPEINFO(TFormPosition, "Designed", "Default", "DefaultPosOnly", "DefaultSizeOnly", "ScreenCenter",
                  "DesktopCenter", "MainFormCenter", "OwnerFormCenter")

// Sender, the action (comes in as caHide).
using TCloseEvent = rtl::TMethodEvent<rtl::TObject*, TCloseAction&>;
// Sender, whether the form may close (comes in as true).
using TCloseQueryEvent = rtl::TMethodEvent<rtl::TObject*, bool&>;

// The device the form was designed for; stored, not acted on.
class TFormFactor : public rtl::TPersistent {
  RTL_CLASS(TFormFactor, rtl::TPersistent)
public:
  TFormFactor() = default;
  static void RegisterProperties(rtl::TPropertyList& AList);

  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t AValue) { FWidth = AValue; }
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t AValue) { FHeight = AValue; }
  TDeviceKinds Devices() const { return FDevices; }
  void SetDevices(TDeviceKinds AValue) { FDevices = AValue; }
  void Assign(const rtl::TPersistent* ASource) override;

private:
  int32_t FWidth = 320;
  int32_t FHeight = 480;
  TDeviceKinds FDevices{TDeviceKind::Desktop};
};

class TCustomForm : public TCustomScene, public IApplicationForm {
  RTL_CLASS(TCustomForm, TCustomScene)
public:
  explicit TCustomForm(rtl::TComponent* AOwner);
  static void RegisterProperties(rtl::TPropertyList& AList);

  // Makes a form of AClass that reads no resource.
  static TCustomForm* CreateNew(rtl::TClass& AClass, rtl::TComponent* AOwner);

  // Registers with the application, then (unless made by CreateNew) reads the resource: raises
  // rtl::EResNotFound "resource TFORMX not found" when there is none.
  void AfterConstruction() override;
  void BeforeDestruction() override;

  int32_t Left() const { return FLeft; }
  void SetLeft(int32_t AValue) { FLeft = AValue; }
  int32_t Top() const { return FTop; }
  void SetTop(int32_t AValue) { FTop = AValue; }
  int32_t ClientWidth() const { return static_cast<int32_t>(TCustomScene::ClientWidth()); }
  void SetClientWidth(int32_t AValue);
  int32_t ClientHeight() const { return static_cast<int32_t>(TCustomScene::ClientHeight()); }
  void SetClientHeight(int32_t AValue);
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& AValue) { FCaption = AValue; }
  TFormFactor* FormFactor() const { return FFormFactor.get(); }
  int32_t DesignerMasterStyle() const { return FDesignerMasterStyle; }
  void SetDesignerMasterStyle(int32_t AValue) { FDesignerMasterStyle = AValue; }

  // A process-unique non-zero token, from construction, windowed or not; the scene's window
  // handle.
  TWindowHandle Handle() const { return FHandle; }
  TWindowHandle WindowHandle() const override { return FHandle; }

  // --- showing and closing ---
  bool Visible() const { return FVisible; }
  // True shows the form (Show), false hides it.
  void SetVisible(bool AValue);
  // Makes the form visible and brings it to the front; OnShow runs when it was hidden.
  void Show();
  // Makes the form invisible; OnHide runs when it was visible.
  void Hide();
  // Shows the form, lets the dialog driver act on it (ui/dialogs.h), then runs the application
  // loop until ModalResult is set; then the close query and OnClose decide: a refusal (false, or
  // caNone) clears the result and the loop goes on. Ends hidden (caFree: released) and returns the
  // result. An application that terminates ends the loop as mrCancel and closes the form without
  // asking. Raises EInvalidOperation off the UI thread and for a form that is visible or modal.
  TModalResult ShowModal();
  bool Modal() const { return FModal; }
  // A modal form: sets ModalResult to mrCancel, and the modal loop closes it. The main form: after
  // the close query and OnClose (any action but caNone) ends the application (Terminate); it is
  // freed after Run returns, never inside message processing. Any other form: after the close
  // query, OnClose's action applies (caHide hides, caFree hides and releases).
  void Close();
  // OnCloseQuery's answer, true without a handler.
  bool CloseQuery();
  // Frees the form at the start of the next outermost pass of the application loop.
  void Release();
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult AValue) { FModalResult = AValue; }
  // Moves the form to the end of the application's form list, the front of the stack.
  void BringToFront();
  TFmxFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFmxFormBorderStyle AValue) { FBorderStyle = AValue; }
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons AValue) { FBorderIcons = AValue; }
  TFormPosition Position() const { return FPosition; }
  void SetPosition(TFormPosition AValue) { FPosition = AValue; }

  TNotifyEvent OnShow, OnHide;
  TCloseQueryEvent OnCloseQuery;
  TCloseEvent OnClose;

  // Mouse input in client coordinates: the control under the point (last child first) receives
  // it in its local coordinates; the control that took a button-down keeps it until the last
  // button is released.
  void MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  void MouseMove(TShiftState AShift, float AX, float AY);
  void MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY);
  void MouseWheel(TShiftState AShift, int AWheelDelta, float AX, float AY);
  // The control holding the mouse, or nullptr.
  TControl* Captured() const { return FCaptured; }

  // IPaintable: paints, then hands the image to the application.
  void PaintPendingRects() override;

  // IApplicationForm
  rtl::TComponent* GetComponent() override { return this; }
  std::string GetCaption() const override { return FCaption; }
  int GetClientWidth() const override { return ClientWidth(); }
  int GetClientHeight() const override { return ClientHeight(); }
  present::TPixels GetPixels() override;
  void HandleEvent(const present::TPresentEvent& AEvent) override;
  void RequestPaint() override { Invalidate(); }
  bool MayBecomeMainForm() const override { return FMayBecomeMainForm; }

protected:
  // Dialog windows the framework builds say false before they register, so that a dialog opened
  // before any other form does not become the main form.
  void SetMayBecomeMainForm(bool AValue) { FMayBecomeMainForm = AValue; }
  void Loaded() override;
  void Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) override;

private:
  // The control under the client point, or nullptr.
  TControl* ControlAt(float AX, float AY);
  void SetCaptured(TControl* AControl);

  int32_t FLeft = 0;
  int32_t FTop = 0;
  std::string FCaption;
  rtl::TOwned<TFormFactor> FFormFactor;
  int32_t FDesignerMasterStyle = 0;
  TWindowHandle FHandle;
  bool FCreatedNew = false;
  TControl* FCaptured = nullptr;
  // The buttons held down, as event flags.
  uint32_t FButtons = 0;
  bool FVisible = false;
  bool FModal = false;
  bool FMayBecomeMainForm = true;
  TModalResult FModalResult = mrNone;
  TFmxFormBorderStyle FBorderStyle = TFmxFormBorderStyle::Sizeable;
  TBorderIcons FBorderIcons{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize, TBorderIcon::biMaximize};
  TFormPosition FPosition = TFormPosition::DefaultPosOnly;

  // The modal loop's end: close query and OnClose; false when they refuse.
  bool CloseModal();
};

class TForm : public TCustomForm {
  RTL_CLASS(TForm, TCustomForm)
public:
  using TCustomForm::TCustomForm;
};

} // namespace ui
