// Forms and the application around them: creation from an embedded resource, alignment, mouse
// dispatch with capture, the loop's exception handling and deferred freeing, and presentation off
// screen (screenshot) and in a window (SDL's dummy video driver).

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "present/presenter.h"
#include "rtl/exceptions.h"
#include "rtl/form_text.h"
#include "rtl/properties.h"
#include "rtl/resources.h"
#include "ui/application.h"
#include "ui/bitmap.h"
#include "ui/fmx_object.h"
#include "ui/forms.h"
#include "ui/timers.h"

namespace formstest {

// Records the mouse calls it receives, in local coordinates.
class TRecordingControl : public ui::TControl {
  RTL_CLASS(TRecordingControl, ui::TControl)
public:
  using TControl::TControl;
  std::vector<std::string> Calls;

  void MouseDown(ui::TMouseButton AButton, ui::TShiftState AShift, float AX, float AY) override {
    Calls.push_back("down " + Button(AButton) + Shift(AShift) + At(AX, AY));
  }
  void MouseMove(ui::TShiftState AShift, float AX, float AY) override {
    Calls.push_back("move" + Shift(AShift) + At(AX, AY));
  }
  void MouseUp(ui::TMouseButton AButton, ui::TShiftState AShift, float AX, float AY) override {
    Calls.push_back("up " + Button(AButton) + Shift(AShift) + At(AX, AY));
  }
  void MouseWheel(ui::TShiftState, int AWheelDelta, bool&) override {
    Calls.push_back("wheel " + std::to_string(AWheelDelta));
  }

private:
  static std::string Button(ui::TMouseButton AButton) {
    return AButton == ui::TMouseButton::mbLeft ? "left" : AButton == ui::TMouseButton::mbRight ? "right" : "middle";
  }
  static std::string Shift(ui::TShiftState AShift) {
    std::string text;
    if (AShift.Contains(ui::TShiftStateItem::ssShift))
      text += " shift";
    if (AShift.Contains(ui::TShiftStateItem::ssCtrl))
      text += " ctrl";
    if (AShift.Contains(ui::TShiftStateItem::ssLeft))
      text += " +left";
    return text;
  }
  static std::string At(float AX, float AY) {
    return " " + std::to_string(static_cast<int>(AX)) + "," + std::to_string(static_cast<int>(AY));
  }
};
RTL_DEFINE_CLASS(TRecordingControl, "Test.Forms")

class TFixtureForm : public ui::TForm {
  RTL_CLASS(TFixtureForm, ui::TForm)
public:
  using TForm::TForm;
  static void RegisterProperties(rtl::TPropertyList& AList) { AList.AddField("Panel1", &TFixtureForm::Panel1); }
  TRecordingControl* Panel1 = nullptr;
};
RTL_DEFINE_CLASS(TFixtureForm, "Test.Forms", &TFixtureForm::RegisterProperties)

// A form class without a resource.
class TFormX : public ui::TForm {
  RTL_CLASS(TFormX, ui::TForm)
public:
  using TForm::TForm;
};
RTL_DEFINE_CLASS(TFormX, "Test.Forms")

} // namespace formstest

void RegisterFixtureFormResource();

namespace {

using namespace formstest;
using ui::Application;

std::string TempPath(const std::string& AName) {
  return (std::filesystem::temp_directory_path() / ("vantrel_forms_" + std::to_string(getpid()) + "_" + AName))
      .string();
}

ui::TTimer* NewTimer(int AInterval, std::function<void()> AHandler) {
  auto* timer = rtl::New<ui::TTimer>(nullptr);
  timer->SetInterval(AInterval);
  timer->SetOnTimer([AHandler = std::move(AHandler)](rtl::TObject*) { AHandler(); });
  return timer;
}

// The form's client image as B, G, R, A bytes, top row first.
std::vector<uint8_t> CanvasBytes(ui::TCustomForm& AForm) {
  const present::TPixels pixels = AForm.GetPixels();
  std::vector<uint8_t> bytes;
  for (int y = 0; y < pixels.Height; ++y) {
    const auto* row = static_cast<const uint8_t*>(pixels.Data) + y * pixels.Stride;
    bytes.insert(bytes.end(), row, row + pixels.Width * 4);
  }
  return bytes;
}

std::vector<uint8_t> SurfaceBytes(SDL_Surface* AImage) {
  SDL_Surface* converted = SDL_ConvertSurfaceFormat(AImage, SDL_PIXELFORMAT_BGRA32, 0);
  std::vector<uint8_t> bytes;
  for (int y = 0; y < converted->h; ++y) {
    const auto* row = static_cast<const uint8_t*>(converted->pixels) + y * converted->pitch;
    bytes.insert(bytes.end(), row, row + converted->w * 4);
  }
  SDL_FreeSurface(converted);
  return bytes;
}

class Forms : public ::testing::Test {
protected:
  void SetUp() override {
    ui::RegisterFmxClasses();
    for (rtl::TClass* cls : {&TRecordingControl::StaticClass(), &TFixtureForm::StaticClass()})
      rtl::RegisterClass(*cls);
    RegisterFixtureFormResource();
    present::TPresentSettings settings;
    settings.Headless = true;
    Application().SetPresentSettings(settings);
  }
  void TearDown() override {
    Application().DestroyForms();
    Application().SetOnException(nullptr);
    rtl::UnRegisterClass(TFixtureForm::StaticClass());
    rtl::UnRegisterClass(TRecordingControl::StaticClass());
    ui::UnregisterFmxClasses();
  }

  TFixtureForm* CreateFixtureForm() {
    TFixtureForm* form = nullptr;
    Application().CreateForm(TFixtureForm::StaticClass(), form);
    return form;
  }
};

TEST_F(Forms, CreateFormReadsTheResourceSetsTheReferenceAndAlignsClientChildren) {
  TFixtureForm* form = CreateFixtureForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Application().MainForm(), form);
  EXPECT_EQ(form->Caption(), "Fixture");
  EXPECT_NE(form->Handle(), 0u);
  EXPECT_EQ(form->WindowHandle(), form->Handle());
  EXPECT_TRUE(form->FormFactor()->Devices().Contains(ui::TDeviceKind::Desktop));
  ASSERT_NE(form->Panel1, nullptr);
  EXPECT_EQ(form->Panel1->Owner(), form);
  EXPECT_EQ(form->Panel1->Parent(), form);
  EXPECT_EQ(form->Panel1->Size(), (rtl::TSizeF{640, 480}));
  form->SetClientWidth(320);
  form->SetClientHeight(240);
  EXPECT_EQ(form->Panel1->Size(), (rtl::TSizeF{320, 240}));
  form->HandleEvent({present::TEventKind::Resize, {}, 0, 0, 0, 0, 100, 50});
  EXPECT_EQ(form->Panel1->Size(), (rtl::TSizeF{100, 50}));
  EXPECT_EQ(form->Bitmap()->Width(), 100);

  // A second form is not the main form; a missing resource leaves no reference and no form.
  TFixtureForm* second = CreateFixtureForm();
  EXPECT_NE(second, form);
  EXPECT_EQ(Application().MainForm(), form);
  TFormX* missing = reinterpret_cast<TFormX*>(1);
  try {
    Application().CreateForm(TFormX::StaticClass(), missing);
    ADD_FAILURE();
  } catch (const rtl::EResNotFound& E) {
    EXPECT_EQ(E.Message(), "resource TFORMX not found");
  }
  EXPECT_EQ(missing, nullptr);
  // A form its program frees is not freed again.
  second->Free();
  Application().DestroyForms();
  EXPECT_EQ(Application().MainForm(), nullptr);
}

TEST_F(Forms, AFormWhoseResourceFailsMidwayIsFreedWithEverythingItMadeAndTheNextLoads) {
  // TFixtureForm's own resource, replaced by one that fails in its fifth component.
  static const rtl::TBytes broken = rtl::ObjectTextToBinary("object FixtureForm: TFixtureForm\n"
                                                            "  object Panel1: TRecordingControl\n  end\n"
                                                            "  object A: TRecordingControl\n  end\n"
                                                            "  object B: TRecordingControl\n  end\n"
                                                            "  object C: TRecordingControl\n  end\n"
                                                            "  object D: TRecordingControl\n"
                                                            "    Align = Sideways\n"
                                                            "  end\n"
                                                            "end\n");
  rtl::RegisterResource("TFIXTUREFORM", broken.data(), broken.size());
  TFixtureForm* form = reinterpret_cast<TFixtureForm*>(1);
  try {
    Application().CreateForm(TFixtureForm::StaticClass(), form);
    ADD_FAILURE();
  } catch (const rtl::EReadError& E) {
    EXPECT_NE(E.Message().find("D.Align"), std::string::npos) << E.Message();
    EXPECT_NE(E.Message().find("Sideways"), std::string::npos) << E.Message();
  }
  EXPECT_EQ(form, nullptr);
  EXPECT_EQ(Application().MainForm(), nullptr);
  RegisterFixtureFormResource();
  form = CreateFixtureForm();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->ComponentCount(), 1);
  EXPECT_EQ(Application().MainForm(), form);
}

TEST_F(Forms, MouseGoesToTheControlUnderThePointWhichKeepsTheCaptureUntilRelease) {
  rtl::TOwned<ui::TCustomForm> form(ui::TCustomForm::CreateNew(ui::TForm::StaticClass(), nullptr));
  form->SetSize(200, 100);
  auto* back = rtl::New<TRecordingControl>(form.get());
  back->SetParent(form.get());
  back->SetSize(200, 100);
  auto* front = rtl::New<TRecordingControl>(form.get());
  front->SetParent(form.get());
  front->Position()->SetPoint({50, 20});
  front->SetSize(40, 30);

  const uint32_t left = present::LeftFlag;
  form->HandleEvent({present::TEventKind::MouseDown, present::TMouseButton::Left, left | present::ShiftFlag, 60, 30});
  form->HandleEvent({present::TEventKind::MouseMove, {}, left, 150, 90});
  EXPECT_EQ(form->Captured(), front);
  form->HandleEvent({present::TEventKind::MouseUp, present::TMouseButton::Left, 0, 150, 90});
  EXPECT_EQ(form->Captured(), nullptr);
  form->HandleEvent({present::TEventKind::MouseMove, {}, 0, 150, 90});
  form->HandleEvent({present::TEventKind::MouseWheel, {}, present::CtrlFlag, 55, 25, 120});
  EXPECT_EQ(front->Calls, (std::vector<std::string>{"down left shift +left 10,10", "move +left 100,70",
                                                   "up left 100,70", "wheel 120"}));
  EXPECT_EQ(back->Calls, (std::vector<std::string>{"move 150,90"}));

  // A captured control that is freed releases the capture.
  form->MouseDown(ui::TMouseButton::mbLeft, {}, 60, 30);
  front->Free();
  EXPECT_EQ(form->Captured(), nullptr);
  form->MouseMove({}, 60, 30);
  EXPECT_EQ(back->Calls.back(), "move 60,30");
}

TEST_F(Forms, RunPresentsOffScreenSavesTheScreenshotAndEndsWithItsImage) {
  present::TPresentSettings settings;
  settings.Headless = true;
  settings.ScreenshotPath = TempPath("shot.png");
  settings.ScreenshotFrames = 1;
  Application().SetPresentSettings(settings);
  TFixtureForm* form = CreateFixtureForm();
  testing::internal::CaptureStderr();
  Application().Run();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "saved " + settings.ScreenshotPath + " (640x480) after 1 frames\n");
  SDL_Surface* image = IMG_Load(settings.ScreenshotPath.c_str());
  ASSERT_NE(image, nullptr) << IMG_GetError();
  EXPECT_EQ(image->w, 640);
  EXPECT_EQ(image->h, 480);
  const std::vector<uint8_t> canvas = CanvasBytes(*form);
  EXPECT_EQ(SurfaceBytes(image), canvas);
  EXPECT_EQ(canvas[0], 0xFF) << "the white fill";
  SDL_FreeSurface(image);
  std::filesystem::remove(settings.ScreenshotPath);
}

TEST_F(Forms, AScreenshotThatCannotBeWrittenEndsRunWithTheReason) {
  present::TPresentSettings settings;
  settings.Headless = true;
  settings.ScreenshotPath = TempPath("no_such_dir") + "/shot.png";
  settings.ScreenshotFrames = 1;
  Application().SetPresentSettings(settings);
  // Run raises it; RunApplication turns it into exit code 1 with the reason on standard error.
  testing::internal::CaptureStderr();
  bool finalised = false;
  EXPECT_EQ(ui::RunApplication(
                [this] {
                  CreateFixtureForm();
                  Application().Run();
                },
                [&] { finalised = Application().MainForm() == nullptr; }),
            1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("EPresentError: cannot save"), std::string::npos);
  EXPECT_TRUE(finalised) << "the forms are freed before the finalisation";
}

TEST_F(Forms, TimerExceptionsReachOnExceptionAndACloseInsideANestedPassFreesNothing) {
  std::vector<std::string> reports;
  Application().SetOnException([&](rtl::TObject*, const std::string& AClassName, const std::string& AMessage) {
    reports.push_back(AClassName + ": " + AMessage);
  });
  TFixtureForm* form = CreateFixtureForm();
  int raised = 0;
  rtl::TOwned<ui::TTimer> failing(NewTimer(1, [&] {
    if (raised++ == 0)
      throw rtl::EArgumentException("timer failed");
  }));
  bool closed = false;
  rtl::TOwned<ui::TTimer> closing(NewTimer(1, [&] {
    if (raised == 0 || closed)
      return;
    closed = true;
    form->HandleEvent({present::TEventKind::Close});
    Application().ProcessMessages();
    EXPECT_EQ(form->Caption(), "Fixture") << "still alive inside the pass";
  }));
  Application().Run();
  EXPECT_TRUE(closed);
  EXPECT_EQ(reports, (std::vector<std::string>{"EArgumentException: timer failed"}));
  EXPECT_EQ(Application().MainForm(), form) << "freed only by DestroyForms";
  EXPECT_EQ(form->Caption(), "Fixture");
}

TEST_F(Forms, AWindowShowsTheCanvasAndDeliversMouseResizeAndQuit) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  Application().SetPresentSettings(present::TPresentSettings{});
  TFixtureForm* form = CreateFixtureForm();
  bool pushed = false;
  std::string title;
  bool surfaceEqual = false;
  rtl::TOwned<ui::TTimer> driver(NewTimer(1, [&] {
    // Once the window exists and the form painted into it.
    if (pushed || !Application().Presenter() || form->PaintPending())
      return;
    pushed = true;
    SDL_Window* window = nullptr;
    for (uint32_t id = 1; id < 64 && !window; ++id)
      window = SDL_GetWindowFromID(id);
    ASSERT_NE(window, nullptr);
    title = SDL_GetWindowTitle(window);
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    surfaceEqual = surface && surface->w == 640 && surface->h == 480 && SurfaceBytes(surface) == CanvasBytes(*form);
    auto push = [](SDL_Event AEvent) { SDL_PushEvent(&AEvent); };
    SDL_Event down{};
    down.button = {SDL_MOUSEBUTTONDOWN, 0, SDL_GetWindowID(window), 0, SDL_BUTTON_LEFT, SDL_PRESSED, 1, 0, 10, 20};
    push(down);
    SDL_Event motion{};
    motion.motion = {SDL_MOUSEMOTION, 0, SDL_GetWindowID(window), 0, SDL_BUTTON_LMASK, 30, 25, 20, 5};
    push(motion);
    SDL_Event up = down;
    up.button.type = SDL_MOUSEBUTTONUP;
    up.button.state = SDL_RELEASED;
    up.button.x = 30;
    up.button.y = 25;
    push(up);
    SDL_Event wheel{};
    wheel.wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = SDL_GetWindowID(window);
    wheel.wheel.y = 1;
    push(wheel);
    SDL_SetWindowSize(window, 320, 240);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
  }));
  Application().Run();
  EXPECT_EQ(title, "Fixture");
  EXPECT_TRUE(surfaceEqual);
  EXPECT_EQ(form->Panel1->Calls,
            (std::vector<std::string>{"down left +left 10,20", "move +left 30,25", "up left +left 30,25", "wheel 120"}));
  EXPECT_EQ(form->ClientWidth(), 320);
  EXPECT_EQ(form->Panel1->Size(), (rtl::TSizeF{320, 240}));
  // The pass that saw the resize painted the smaller canvas into the window's new surface.
  SDL_Window* window = nullptr;
  for (uint32_t id = 1; id < 64 && !window; ++id)
    window = SDL_GetWindowFromID(id);
  ASSERT_NE(window, nullptr);
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->w, 320);
  EXPECT_EQ(SurfaceBytes(surface), CanvasBytes(*form));
  unsetenv("SDL_VIDEODRIVER");
}

} // namespace

namespace {

TEST(ControlSize, AControlStoresItsSizeOnceAsTheNestedSize) {
  ui::RegisterFmxClasses();
  rtl::TOwned<ui::TControl> control(rtl::New<ui::TControl>(nullptr));
  control->SetName("Panel1");
  control->ControlSize()->SetWidth(640);
  control->ControlSize()->SetHeight(480);
  EXPECT_EQ(control->Size(), (rtl::TSizeF{640, 480}));
  const std::string text = rtl::WriteComponentToText(control.get());
  EXPECT_NE(text.find("  Size.Width = 640.0\n  Size.Height = 480.0\n  Size.PlatformDefault = False\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("  Width ="), std::string::npos) << text;
  // The scale (1, 1) and rotation centre (0.5, 0.5) a control starts with are not written.
  EXPECT_EQ(text.find("Scale."), std::string::npos) << text;
  EXPECT_EQ(text.find("RotationCenter."), std::string::npos) << text;
  rtl::TOwned<ui::TControl> copy(rtl::New<ui::TControl>(nullptr));
  rtl::ReadComponentFromText(text, copy.get());
  EXPECT_EQ(copy->Size(), (rtl::TSizeF{640, 480}));
  ui::UnregisterFmxClasses();
}

} // namespace
