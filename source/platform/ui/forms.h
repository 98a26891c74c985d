#pragma once
// Forms: the streaming root and the scene of their controls. A form made through its metaclass
// reads the embedded resource named after its class in upper case ("TFORM1") in
// AfterConstruction; CreateNew makes an empty one. It paints into its own canvas at client size
// (white behind the controls), hands the image to the application after each paint, and turns
// the presenter's events into mouse calls on its controls, resizes and closes.
//
// Alignment: Client fills the client area and follows its size; None leaves the control where it
// is. The other values stream and act as None.

#include <cstdint>
#include <string>

#include "rtl/classes.h"
#include "rtl/set.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/scene.h"
#include "ui/types3d.h"

namespace ui {

enum class TDeviceKind : uint8_t { Desktop, Phone, Tablet };
RTL_ENUM_TYPEINFO(TDeviceKind, "Desktop", "Phone", "Tablet")
using TDeviceKinds = rtl::TSet<TDeviceKind>;

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

  // The main form ends the application (Terminate); it is freed after Run returns, never inside
  // message processing.
  void Close();

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

protected:
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
};

class TForm : public TCustomForm {
  RTL_CLASS(TForm, TCustomForm)
public:
  using TCustomForm::TCustomForm;
};

} // namespace ui
