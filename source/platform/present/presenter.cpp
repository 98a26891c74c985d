#include "present/presenter.h"

#include <SDL.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace present {

namespace {

// --- window ----------------------------------------------------------------------------------------

uint32_t ModifierFlags() {
  const SDL_Keymod mods = SDL_GetModState();
  uint32_t flags = 0;
  if (mods & KMOD_SHIFT)
    flags |= ShiftFlag;
  if (mods & KMOD_ALT)
    flags |= AltFlag;
  if (mods & KMOD_CTRL)
    flags |= CtrlFlag;
  return flags;
}

uint32_t ButtonFlags(uint32_t AState) {
  uint32_t flags = 0;
  if (AState & SDL_BUTTON_LMASK)
    flags |= LeftFlag;
  if (AState & SDL_BUTTON_RMASK)
    flags |= RightFlag;
  if (AState & SDL_BUTTON_MMASK)
    flags |= MiddleFlag;
  return flags;
}

TMouseButton ButtonOf(uint8_t AButton) {
  if (AButton == SDL_BUTTON_RIGHT)
    return TMouseButton::Right;
  if (AButton == SDL_BUTTON_MIDDLE)
    return TMouseButton::Middle;
  return TMouseButton::Left;
}

class TWindowPresenter final : public TPresenter {
public:
  TWindowPresenter() : FWakeEvent(SDL_RegisterEvents(1)) {}
  ~TWindowPresenter() override {
    if (FWrapper)
      SDL_FreeSurface(FWrapper);
    if (FWindow)
      SDL_DestroyWindow(FWindow);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  bool IsWindowed() const override { return true; }

  void Show(const std::string& ACaption, int AClientWidth, int AClientHeight) override {
    FWindow = SDL_CreateWindow(ACaption.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                               AClientWidth, AClientHeight, SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN);
    if (!FWindow)
      throw EPresentError(std::string("cannot create the window: ") + SDL_GetError());
    FSurfaceStale = true;
  }

  void Present(const TPixels& APixels) override {
    if (!FWindow || APixels.Width <= 0 || APixels.Height <= 0)
      return;
    // The window surface is freed by SDL when the size changes, so it is fetched again then.
    if (FSurfaceStale) {
      FSurface = SDL_GetWindowSurface(FWindow);
      FSurfaceStale = false;
    }
    if (!FSurface)
      return;
    SDL_BlitSurface(Wrap(APixels), nullptr, FSurface, nullptr);
    SDL_UpdateWindowSurface(FWindow);
  }

  void PollEvents(std::vector<TPresentEvent>& AEvents) override {
    SDL_Event event;
    while (SDL_PollEvent(&event))
      Translate(event, AEvents);
  }

  void Wait(int ATimeoutMs) override {
    if (ATimeoutMs < 0)
      SDL_WaitEvent(nullptr);
    else
      SDL_WaitEventTimeout(nullptr, ATimeoutMs);
  }

  void Wake() override {
    SDL_Event event{};
    event.type = FWakeEvent;
    SDL_PushEvent(&event);
  }

  SDL_Window* Window() const { return FWindow; }

private:
  uint32_t FWakeEvent;
  SDL_Window* FWindow = nullptr;
  SDL_Surface* FSurface = nullptr;
  bool FSurfaceStale = true;
  // The canvas wrapped without copying; made again only when the canvas moves or changes size.
  SDL_Surface* FWrapper = nullptr;
  TPixels FWrapped;

  SDL_Surface* Wrap(const TPixels& APixels) {
    if (!FWrapper || FWrapped.Data != APixels.Data || FWrapped.Width != APixels.Width ||
        FWrapped.Height != APixels.Height || FWrapped.Stride != APixels.Stride) {
      if (FWrapper)
        SDL_FreeSurface(FWrapper);
      FWrapper =
          SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(APixels.Data), APixels.Width, APixels.Height,
                                             32, APixels.Stride, SDL_PIXELFORMAT_BGRA32);
      if (!FWrapper)
        throw EPresentError(std::string("cannot wrap the canvas: ") + SDL_GetError());
      SDL_SetSurfaceBlendMode(FWrapper, SDL_BLENDMODE_NONE);
      FWrapped = APixels;
    }
    return FWrapper;
  }

  void Translate(const SDL_Event& AEvent, std::vector<TPresentEvent>& AEvents) {
    TPresentEvent out;
    switch (AEvent.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      out.Kind = AEvent.type == SDL_MOUSEBUTTONDOWN ? TEventKind::MouseDown : TEventKind::MouseUp;
      out.Button = ButtonOf(AEvent.button.button);
      out.Shift = ModifierFlags() | ButtonFlags(SDL_BUTTON(AEvent.button.button));
      out.X = static_cast<float>(AEvent.button.x);
      out.Y = static_cast<float>(AEvent.button.y);
      break;
    case SDL_MOUSEMOTION:
      out.Kind = TEventKind::MouseMove;
      out.Shift = ModifierFlags() | ButtonFlags(AEvent.motion.state);
      out.X = static_cast<float>(AEvent.motion.x);
      out.Y = static_cast<float>(AEvent.motion.y);
      break;
    case SDL_MOUSEWHEEL: {
      int x = 0, y = 0;
      out.Kind = TEventKind::MouseWheel;
      out.Shift = ModifierFlags() | ButtonFlags(SDL_GetMouseState(&x, &y));
      out.X = static_cast<float>(x);
      out.Y = static_cast<float>(y);
      out.WheelDelta = AEvent.wheel.y * 120 * (AEvent.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1);
      break;
    }
    case SDL_WINDOWEVENT:
      if (AEvent.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        FSurfaceStale = true;
        out.Kind = TEventKind::Resize;
        out.ClientWidth = AEvent.window.data1;
        out.ClientHeight = AEvent.window.data2;
      } else if (AEvent.window.event == SDL_WINDOWEVENT_CLOSE) {
        out.Kind = TEventKind::Close;
      } else {
        return;
      }
      break;
    case SDL_QUIT:
      out.Kind = TEventKind::Close;
      break;
    default:
      return;
    }
    AEvents.push_back(out);
  }
};

// --- off screen ------------------------------------------------------------------------------------

// The self-pipe and flag the signal handler reaches; only async-signal-safe calls touch them.
int SignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t SignalSeen = 0;

extern "C" void OnTerminateSignal(int) {
  SignalSeen = 1;
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(SignalPipe[1], &byte, 1);
  errno = saved;
}

class TOffscreenPresenter final : public TPresenter {
public:
  TOffscreenPresenter() {
    if (SignalPipe[0] >= 0)
      throw EPresentError("an off-screen presenter exists already");
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
      throw EPresentError("cannot create the wake pipe");
    SignalSeen = 0;
    struct sigaction action {};
    action.sa_handler = &OnTerminateSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &FOldInt);
    sigaction(SIGTERM, &action, &FOldTerm);
  }
  ~TOffscreenPresenter() override {
    sigaction(SIGINT, &FOldInt, nullptr);
    sigaction(SIGTERM, &FOldTerm, nullptr);
    close(SignalPipe[0]);
    close(SignalPipe[1]);
    SignalPipe[0] = SignalPipe[1] = -1;
  }

  bool IsWindowed() const override { return false; }
  void Show(const std::string&, int, int) override {}
  void Present(const TPixels&) override {}

  void PollEvents(std::vector<TPresentEvent>& AEvents) override {
    Drain();
    if (SignalSeen && !FCloseSent) {
      FCloseSent = true;
      AEvents.push_back(TPresentEvent{TEventKind::Close});
    }
  }

  void Wait(int ATimeoutMs) override {
    pollfd fd{SignalPipe[0], POLLIN, 0};
    poll(&fd, 1, ATimeoutMs);
  }

  void Wake() override {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(SignalPipe[1], &byte, 1);
  }

private:
  struct sigaction FOldInt {};
  struct sigaction FOldTerm {};
  bool FCloseSent = false;

  static void Drain() {
    char buffer[64];
    while (read(SignalPipe[0], buffer, sizeof(buffer)) > 0) {
    }
  }
};

} // namespace

std::unique_ptr<TPresenter> CreateOffscreenPresenter() {
  return std::make_unique<TOffscreenPresenter>();
}

std::unique_ptr<TPresenter> CreatePresenter(const TPresentSettings& ASettings) {
  if (!ASettings.Headless) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0)
      return std::make_unique<TWindowPresenter>();
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
      std::fputs("no display: rendering off screen; set VANTREL_SCREENSHOT=<file.png> to save an image\n",
                 stderr);
  }
  return CreateOffscreenPresenter();
}

} // namespace present
