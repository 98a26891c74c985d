#include "ui/bitmap_png.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstring>
#include <memory>

#include "ui/bitmap.h"

namespace ui {

namespace {

using TSurface = std::unique_ptr<SDL_Surface, decltype(&SDL_FreeSurface)>;

// An SDL output that appends to a TStream.
SDL_RWops* StreamWriter(rtl::TStream& AStream) {
  SDL_RWops* ops = SDL_AllocRW();
  if (!ops)
    return nullptr;
  ops->hidden.unknown.data1 = &AStream;
  ops->size = [](SDL_RWops* AOps) -> Sint64 {
    return static_cast<rtl::TStream*>(AOps->hidden.unknown.data1)->GetSize();
  };
  ops->seek = [](SDL_RWops* AOps, Sint64 AOffset, int AWhence) -> Sint64 {
    auto* stream = static_cast<rtl::TStream*>(AOps->hidden.unknown.data1);
    const auto origin = AWhence == RW_SEEK_SET   ? rtl::TSeekOrigin::soBeginning
                        : AWhence == RW_SEEK_CUR ? rtl::TSeekOrigin::soCurrent
                                                 : rtl::TSeekOrigin::soEnd;
    return stream->Seek(AOffset, origin);
  };
  ops->read = [](SDL_RWops*, void*, size_t, size_t) -> size_t { return 0; };
  ops->write = [](SDL_RWops* AOps, const void* AData, size_t ASize, size_t ACount) -> size_t {
    auto* stream = static_cast<rtl::TStream*>(AOps->hidden.unknown.data1);
    return static_cast<size_t>(stream->Write(AData, static_cast<int64_t>(ASize * ACount))) /
           (ASize ? ASize : 1);
  };
  ops->close = [](SDL_RWops* AOps) -> int {
    SDL_FreeRW(AOps);
    return 0;
  };
  return ops;
}

} // namespace

void WriteBitmapPng(const TBitmap& ABitmap, rtl::TStream& AStream) {
  if (ABitmap.IsEmpty())
    return;
  TBitmap& bitmap = const_cast<TBitmap&>(ABitmap);
  TBitmapData data;
  if (!bitmap.Map(TMapAccess::Read, data))
    return;
  TSurface surface(SDL_CreateRGBSurfaceWithFormatFrom(data.Data, data.Width, data.Height, 32, data.Pitch,
                                                      SDL_PIXELFORMAT_BGRA32),
                   &SDL_FreeSurface);
  const int result = surface ? IMG_SavePNG_RW(surface.get(), StreamWriter(AStream), 1) : -1;
  bitmap.Unmap(data);
  if (result != 0)
    throw rtl::EWriteError(std::string("cannot encode the bitmap as PNG: ") + IMG_GetError());
}

void ReadBitmapPng(TBitmap& ABitmap, rtl::TStream& AStream) {
  const int64_t size = AStream.GetSize() - AStream.GetPosition();
  std::vector<uint8_t> bytes(static_cast<size_t>(size > 0 ? size : 0));
  AStream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  SDL_RWops* input = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  TSurface image(input ? IMG_LoadTyped_RW(input, 1, "PNG") : nullptr, &SDL_FreeSurface);
  if (!image)
    throw rtl::EReadError(std::string("invalid PNG data: ") + IMG_GetError());
  TSurface converted(SDL_ConvertSurfaceFormat(image.get(), SDL_PIXELFORMAT_BGRA32, 0), &SDL_FreeSurface);
  if (!converted)
    throw rtl::EReadError(std::string("invalid PNG data: ") + SDL_GetError());
  ABitmap.SetSize(converted->w, converted->h);
  TBitmapData data;
  if (!ABitmap.Map(TMapAccess::Write, data))
    return;
  for (int y = 0; y < converted->h; ++y)
    std::memcpy(data.GetScanline(y), static_cast<const uint8_t*>(converted->pixels) + y * converted->pitch,
                static_cast<size_t>(converted->w) * 4);
  ABitmap.Unmap(data);
}

} // namespace ui
