#include "ui/forms.h"

#include <atomic>

#include "rtl/filer.h"
#include "rtl/properties.h"
#include "rtl/resources.h"
#include "rtl/sysutils.h"
#include "rtl/threads.h"
#include "ui/bitmap.h"
#include "ui/dialogs.h"

namespace ui {

RTL_DEFINE_CLASS(TFormFactor, "ui.Forms", &TFormFactor::RegisterProperties)
RTL_DEFINE_CLASS(TCustomForm, "ui.Forms", &TCustomForm::RegisterProperties)
RTL_DEFINE_CLASS(TForm, "ui.Forms")

namespace {

TWindowHandle NextHandle() {
  static std::atomic<TWindowHandle> next{0};
  return ++next;
}

TShiftState ShiftOf(uint32_t AFlags) {
  TShiftState shift;
  if (AFlags & present::ShiftFlag)
    shift.Include(TShiftStateItem::ssShift);
  if (AFlags & present::AltFlag)
    shift.Include(TShiftStateItem::ssAlt);
  if (AFlags & present::CtrlFlag)
    shift.Include(TShiftStateItem::ssCtrl);
  if (AFlags & present::LeftFlag)
    shift.Include(TShiftStateItem::ssLeft);
  if (AFlags & present::RightFlag)
    shift.Include(TShiftStateItem::ssRight);
  if (AFlags & present::MiddleFlag)
    shift.Include(TShiftStateItem::ssMiddle);
  return shift;
}

TMouseButton ButtonOf(present::TMouseButton AButton) {
  switch (AButton) {
  case present::TMouseButton::Right:
    return TMouseButton::mbRight;
  case present::TMouseButton::Middle:
    return TMouseButton::mbMiddle;
  default:
    return TMouseButton::mbLeft;
  }
}

uint32_t ButtonFlag(TMouseButton AButton) {
  switch (AButton) {
  case TMouseButton::mbRight:
    return present::RightFlag;
  case TMouseButton::mbMiddle:
    return present::MiddleFlag;
  default:
    return present::LeftFlag;
  }
}

} // namespace

// TFormFactor

void TFormFactor::RegisterProperties(rtl::TPropertyList& AList) {
  AList.Add("Width", &TFormFactor::Width, &TFormFactor::SetWidth);
  AList.Add("Height", &TFormFactor::Height, &TFormFactor::SetHeight);
  AList.Add("Devices", &TFormFactor::Devices, &TFormFactor::SetDevices);
}

void TFormFactor::Assign(const rtl::TPersistent* ASource) {
  if (auto* source = dynamic_cast<const TFormFactor*>(ASource)) {
    FWidth = source->FWidth;
    FHeight = source->FHeight;
    FDevices = source->FDevices;
    return;
  }
  inherited::Assign(ASource);
}

// TCustomForm

TCustomForm::TCustomForm(rtl::TComponent* AOwner)
    : TCustomScene(AOwner), FFormFactor(rtl::New<TFormFactor>()), FHandle(NextHandle()) {
  Fill().Color = rtl::claWhite;
}

void TCustomForm::RegisterProperties(rtl::TPropertyList& AList) {
  // Declaration order is the order a form is written in.
  AList.Add("Left", &TCustomForm::Left, &TCustomForm::SetLeft);
  AList.Add("Top", &TCustomForm::Top, &TCustomForm::SetTop);
  AList.Add("Caption", &TCustomForm::Caption, &TCustomForm::SetCaption);
  AList.Add("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight);
  AList.Add("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth);
  AList.Add("FormFactor", &TCustomForm::FormFactor);
  AList.Add("DesignerMasterStyle", &TCustomForm::DesignerMasterStyle, &TCustomForm::SetDesignerMasterStyle);
}

TCustomForm* TCustomForm::CreateNew(rtl::TClass& AClass, rtl::TComponent* AOwner) {
  if (!AClass.InheritsFrom(StaticClass()))
    throw rtl::EInvalidCast(AClass.Name() + " is not a form class");
  auto* form = static_cast<TCustomForm*>(AClass.NewInstance(AOwner));
  form->FCreatedNew = true;
  return rtl::Construct(form);
}

void TCustomForm::AfterConstruction() {
  inherited::AfterConstruction();
  Application().AddForm(this);
  if (FCreatedNew)
    return;
  // A failure here frees the form (Construct), whose reader has freed what it made.
  rtl::TResourceStream stream(rtl::UpperCase(ClassName()));
  rtl::TReader reader(stream);
  reader.ReadRootComponent(this);
}

void TCustomForm::BeforeDestruction() {
  SetCaptured(nullptr);
  Application().RemoveForm(this);
  inherited::BeforeDestruction();
}

void TCustomForm::Loaded() {
  inherited::Loaded();
  Realign();
  Invalidate();
}

void TCustomForm::SetClientWidth(int32_t AValue) {
  SetSize(static_cast<float>(AValue), TCustomScene::ClientHeight());
}

void TCustomForm::SetClientHeight(int32_t AValue) {
  SetSize(TCustomScene::ClientWidth(), static_cast<float>(AValue));
}

void TCustomForm::SetVisible(bool AValue) {
  if (AValue)
    Show();
  else
    Hide();
}

void TCustomForm::Show() {
  if (!FVisible) {
    FVisible = true;
    OnShow(this);
  }
  BringToFront();
}

void TCustomForm::Hide() {
  if (!FVisible)
    return;
  FVisible = false;
  OnHide(this);
}

void TCustomForm::BringToFront() {
  Application().BringFormToFront(this);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Release() {
  Application().ReleaseForm(this);
}

TModalResult TCustomForm::ShowModal() {
  if (!rtl::IsMainThread())
    throw rtl::EInvalidOperation("A form can be shown modally on the UI thread only");
  if (FVisible || FModal)
    throw rtl::EInvalidOperation("Cannot make a visible window modal");
  FModal = true;
  FModalResult = mrNone;
  struct TLeave {
    TCustomForm& Form;
    ~TLeave() { Form.FModal = false; }
  } leave{*this};
  try {
    Show();
    DialogDriver().ShowingModal(*this);
    for (;;) {
      Application().ProcessUntil([this] { return FModalResult != mrNone; });
      if (Application().Terminated()) {
        // Nobody is left to answer a close query: the loop ends as cancelled.
        if (FModalResult == mrNone)
          FModalResult = mrCancel;
        Hide();
        break;
      }
      if (CloseModal())
        break;
    }
  } catch (...) {
    Hide();
    throw;
  }
  return FModalResult;
}

bool TCustomForm::CloseModal() {
  TCloseAction action = TCloseAction::caHide;
  if (CloseQuery())
    OnClose(this, action);
  else
    action = TCloseAction::caNone;
  if (action == TCloseAction::caNone) {
    FModalResult = mrNone;
    return false;
  }
  Hide();
  if (action == TCloseAction::caFree)
    Release();
  return true;
}

void TCustomForm::Close() {
  if (FModal) {
    if (FModalResult == mrNone)
      FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery())
    return;
  TCloseAction action = TCloseAction::caHide;
  OnClose(this, action);
  if (Application().MainForm() == this) {
    if (action != TCloseAction::caNone)
      Application().Terminate();
    return;
  }
  switch (action) {
  case TCloseAction::caHide:
    Hide();
    break;
  case TCloseAction::caFree:
    Hide();
    Release();
    break;
  case TCloseAction::caNone:
  case TCloseAction::caMinimize:
    break;
  }
}

void TCustomForm::Notification(rtl::TComponent* AComponent, rtl::TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (AOperation == rtl::TOperation::opRemove && AComponent == FCaptured) {
    FCaptured = nullptr;
    FButtons = 0;
  }
}

void TCustomForm::SetCaptured(TControl* AControl) {
  if (AControl == FCaptured)
    return;
  if (FCaptured)
    FCaptured->RemoveFreeNotification(this);
  FCaptured = AControl;
  if (FCaptured)
    FCaptured->FreeNotification(this);
}

TControl* TCustomForm::ControlAt(float AX, float AY) {
  const auto& children = Children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto* control = dynamic_cast<TControl*>(*it);
    if (!control || !control->Visible())
      continue;
    if (IControl* hit = control->ObjectAtPoint({AX, AY}))
      return dynamic_cast<TControl*>(hit->GetObject());
  }
  return nullptr;
}

void TCustomForm::MouseDown(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  TControl* target = FCaptured ? FCaptured : ControlAt(AX, AY);
  FButtons |= ButtonFlag(AButton);
  SetCaptured(target);
  if (!target)
    return;
  const rtl::TPointF local = target->AbsoluteToLocal({AX, AY});
  target->MouseDown(AButton, AShift, local.X, local.Y);
}

void TCustomForm::MouseMove(TShiftState AShift, float AX, float AY) {
  TControl* target = FCaptured ? FCaptured : ControlAt(AX, AY);
  if (!target)
    return;
  const rtl::TPointF local = target->AbsoluteToLocal({AX, AY});
  target->MouseMove(AShift, local.X, local.Y);
}

void TCustomForm::MouseUp(TMouseButton AButton, TShiftState AShift, float AX, float AY) {
  TControl* target = FCaptured ? FCaptured : ControlAt(AX, AY);
  FButtons &= ~ButtonFlag(AButton);
  // The capture ends with the last button, before the handler runs, so a handler that frees the
  // control leaves nothing behind.
  if (FButtons == 0)
    SetCaptured(nullptr);
  if (!target)
    return;
  const rtl::TPointF local = target->AbsoluteToLocal({AX, AY});
  target->MouseUp(AButton, AShift, local.X, local.Y);
}

void TCustomForm::MouseWheel(TShiftState AShift, int AWheelDelta, float AX, float AY) {
  TControl* target = FCaptured ? FCaptured : ControlAt(AX, AY);
  if (!target)
    return;
  bool handled = false;
  target->MouseWheel(AShift, AWheelDelta, handled);
}

void TCustomForm::HandleEvent(const present::TPresentEvent& AEvent) {
  const TShiftState shift = ShiftOf(AEvent.Shift);
  switch (AEvent.Kind) {
  case present::TEventKind::MouseDown:
    MouseDown(ButtonOf(AEvent.Button), shift, AEvent.X, AEvent.Y);
    break;
  case present::TEventKind::MouseMove:
    MouseMove(shift, AEvent.X, AEvent.Y);
    break;
  case present::TEventKind::MouseUp:
    MouseUp(ButtonOf(AEvent.Button), shift, AEvent.X, AEvent.Y);
    break;
  case present::TEventKind::MouseWheel:
    MouseWheel(shift, AEvent.WheelDelta, AEvent.X, AEvent.Y);
    break;
  case present::TEventKind::Resize:
    SetSize(static_cast<float>(AEvent.ClientWidth), static_cast<float>(AEvent.ClientHeight));
    break;
  case present::TEventKind::Close:
    Close();
    break;
  }
}

void TCustomForm::PaintPendingRects() {
  // A minimised window (no client area) paints nothing.
  if (ClientWidth() <= 0 || ClientHeight() <= 0)
    return;
  inherited::PaintPendingRects();
  Application().FormPainted(this);
}

present::TPixels TCustomForm::GetPixels() {
  TBitmap* bitmap = Bitmap();
  TBitmapData data;
  if (!bitmap || !bitmap->Map(TMapAccess::Read, data))
    return {};
  // The view stays valid after Unmap: the CPU bitmap keeps its storage until it is resized.
  present::TPixels pixels{data.Data, data.Width, data.Height, data.Pitch};
  bitmap->Unmap(data);
  return pixels;
}

} // namespace ui
