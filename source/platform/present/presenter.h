#pragma once
// Shows a form's client image and gathers its input. The window presenter (SDL2) wraps the
// canvas pixels as an SDL surface without copying and blits them into the window surface; it
// has no GL surface, so the one EGL context stays the only one. The off-screen presenter shows
// nothing and waits on a self-pipe that Wake and SIGINT/SIGTERM write to (a signal becomes one
// Close event); one exists at a time, as the signal handlers are process-wide. Every call except
// Wake belongs to the UI thread.

#include <memory>
#include <string>
#include <vector>

#include "present/events.h"
#include "present/settings.h"

namespace present {

class TPresenter {
public:
  virtual ~TPresenter() = default;
  TPresenter(const TPresenter&) = delete;
  TPresenter& operator=(const TPresenter&) = delete;

  virtual bool IsWindowed() const = 0;
  // Opens the client area (a resizable window with the caption, or nothing off screen).
  virtual void Show(const std::string& ACaption, int AClientWidth, int AClientHeight) = 0;
  // Shows APixels; an empty image (a minimised window) shows nothing.
  virtual void Present(const TPixels& APixels) = 0;
  // Appends the pending events without blocking.
  virtual void PollEvents(std::vector<TPresentEvent>& AEvents) = 0;
  // Blocks until an event or a wake arrives, or ATimeoutMs passes (-1: no limit).
  virtual void Wait(int ATimeoutMs) = 0;
  // Ends a Wait from any thread.
  virtual void Wake() = 0;

protected:
  TPresenter() = default;
};

// A window presenter when a display is present and ASettings do not force off screen (SDL's
// video driver starts, honouring SDL_VIDEODRIVER); otherwise an off-screen presenter, after
// printing once on standard error why there is no window.
std::unique_ptr<TPresenter> CreatePresenter(const TPresentSettings& ASettings);
std::unique_ptr<TPresenter> CreateOffscreenPresenter();

} // namespace present
