#include "present/png.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "present/settings.h"

namespace present {

void SavePng(const TPixels& APixels, const std::string& APath) {
  const std::string temporary = APath + ".tmp";
  auto fail = [&](const std::string& AReason) {
    std::remove(temporary.c_str());
    throw EPresentError("cannot save " + APath + ": " + AReason);
  };
  std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)> surface(
      SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(APixels.Data), APixels.Width, APixels.Height, 32,
                                         APixels.Stride, SDL_PIXELFORMAT_BGRA32),
      &SDL_FreeSurface);
  if (!surface)
    fail(SDL_GetError());
  if (IMG_SavePNG(surface.get(), temporary.c_str()) != 0)
    fail(IMG_GetError());
  if (std::rename(temporary.c_str(), APath.c_str()) != 0)
    fail(std::strerror(errno));
}

} // namespace present
