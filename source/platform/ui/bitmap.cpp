#include "ui/bitmap.h"

#include <SDL.h>

#include <bit>
#include <cstring>
#include <limits>

#include "rtl/ioutils.h"
#include "rtl/sysutils.h"
#include "ui/bitmap_png.h"
#include "ui/texture.h"

namespace ui {

RTL_DEFINE_CLASS(TBitmapCanvas, "ui.Bitmap")
RTL_DEFINE_CLASS(TBitmap, "ui.Bitmap")

static_assert(std::endian::native == std::endian::little, "a BGRA pixel is read as one TAlphaColor");

namespace {

constexpr const char* SavingFailed = "Cannot save bitmap to '%s': %s";
constexpr const char* BadSize = "Invalid bitmap size %d x %d";
constexpr const char* ResizeWhileMapped = "Bitmap cannot be resized while it is mapped";
constexpr const char* BadPixelFormatTag = "Invalid bitmap pixel format %d";

[[noreturn]] void RaiseRangeError() {
  throw rtl::ERangeError(rtl::messages::RangeError);
}

} // namespace

uint8_t* TBitmapData::GetScanline(int32_t ARow) const {
  if (ARow < 0 || ARow >= Height)
    RaiseRangeError();
  return Data + ptrdiff_t(ARow) * Pitch;
}

rtl::TAlphaColor TBitmapData::GetPixel(int32_t AX, int32_t AY) const {
  if (AX < 0 || AX >= Width)
    RaiseRangeError();
  rtl::TAlphaColor color;
  std::memcpy(&color, GetScanline(AY) + ptrdiff_t(AX) * TBitmap::BytesPerPixel, sizeof color);
  return color;
}

void TBitmapData::SetPixel(int32_t AX, int32_t AY, rtl::TAlphaColor AColor) const {
  if (AX < 0 || AX >= Width)
    RaiseRangeError();
  std::memcpy(GetScanline(AY) + ptrdiff_t(AX) * TBitmap::BytesPerPixel, &AColor, sizeof AColor);
}

TBitmap::TBitmap(int32_t AWidth, int32_t AHeight) {
  SetSize(AWidth, AHeight);
}

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth == FWidth && AHeight == FHeight && (HandleAllocated() || IsEmpty()))
    return;
  Resize(AWidth, AHeight);
  BitmapChanged();
}

void TBitmap::Resize(int32_t AWidth, int32_t AHeight) {
  if (AWidth < 0 || AHeight < 0 ||
      (AHeight > 0 && AWidth > std::numeric_limits<int32_t>::max() / BytesPerPixel / AHeight))
    throw rtl::EArgumentOutOfRangeException(rtl::Format(BadSize, AWidth, AHeight));
  if (IsMapped())
    throw rtl::EArgumentOutOfRangeException(ResizeWhileMapped);
  FPixels.assign(size_t(AWidth) * size_t(AHeight) * BytesPerPixel, 0);
  FWidth = AWidth;
  FHeight = AHeight;
}

void TBitmap::InitializeBitmapHandle(int32_t AWidth, int32_t AHeight, float AScale, TPixelFormatTag ATag) {
  if (ATag > MaxPixelFormatTag)
    throw rtl::EArgumentOutOfRangeException(rtl::Format(BadPixelFormatTag, int(ATag)));
  Resize(AWidth, AHeight);
  FBitmapScale = AScale;
  FPixelFormatTag = ATag;
  BitmapChanged();
}

void TBitmap::FinalizeBitmapHandle() {
  if (IsMapped())
    throw rtl::EArgumentOutOfRangeException(ResizeWhileMapped);
  std::vector<uint8_t>().swap(FPixels);
}

void TBitmap::BitmapChanged() {
  if (FOnChange)
    FOnChange(this);
}

void TBitmap::Assign(const rtl::TPersistent* ASource) {
  if (ASource == this)
    return;
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(ASource)) {
    Resize(bitmap->FWidth, bitmap->FHeight);
    FPixels = bitmap->FPixels;
    FPixels.resize(size_t(FWidth) * size_t(FHeight) * BytesPerPixel);
    FBitmapScale = bitmap->FBitmapScale;
    FPixelFormatTag = bitmap->FPixelFormatTag;
  } else if (const auto* texture = dynamic_cast<const TTexture*>(ASource)) {
    Resize(texture->Width(), texture->Height());
    FBitmapScale = texture->TextureScale();
  } else {
    inherited::Assign(ASource);
    return;
  }
  BitmapChanged();
}

TBitmapCanvas* TBitmap::Canvas() {
  if (!FCanvas)
    FCanvas = rtl::MakeOwned<TBitmapCanvas>();
  return FCanvas.get();
}

bool TBitmapCanvas::BeginScene() {
  ++FSceneCount;
  return true;
}

void TBitmapCanvas::EndScene() {
  if (FSceneCount > 0)
    --FSceneCount;
}

bool TBitmap::Map(TMapAccess AAccess, TBitmapData& AData) {
  AData = TBitmapData{};
  if (IsEmpty() || !HandleAllocated())
    return false;
  AData.Data = FPixels.data();
  AData.Pitch = FWidth * BytesPerPixel;
  AData.Width = FWidth;
  AData.Height = FHeight;
  AData.PixelFormat = PixelFormat();
  AData.Access = AAccess;
  ++FMapCount;
  return true;
}

void TBitmap::Unmap(TBitmapData& AData) {
  const bool written = AData.Data && AData.Access != TMapAccess::Read;
  if (AData.Data && FMapCount > 0)
    --FMapCount;
  AData = TBitmapData{};
  if (written)
    BitmapChanged();
}

void TBitmap::DefineProperties(rtl::TFiler* AFiler) {
  inherited::DefineProperties(AFiler);
  AFiler->DefineBinaryProperty(
      "PNG", [this](rtl::TStream& AStream) { ReadBitmapPng(*this, AStream); },
      [this](rtl::TStream& AStream) { WriteBitmapPng(*this, AStream); }, !IsEmpty());
}

void TBitmap::SaveToFile(const std::string& AFileName) const {
  auto fail = [&](const std::string& AReason) {
    throw EBitmapSavingFailed(rtl::Format(SavingFailed, AFileName, AReason));
  };
  if (!rtl::SameText(rtl::TPath::GetExtension(AFileName), ".bmp"))
    fail("only .bmp files can be written");
  if (IsEmpty() || !HandleAllocated())
    fail("the bitmap is empty");
  // SDL only reads the pixels of a surface it saves; the const_cast never leads to a write.
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(FPixels.data()), FWidth, FHeight, 32,
                                         FWidth * BytesPerPixel, SDL_PIXELFORMAT_ARGB8888);
  if (!surface)
    fail(SDL_GetError());
  const int result = SDL_SaveBMP(surface, AFileName.c_str());
  SDL_FreeSurface(surface);
  if (result != 0)
    fail(SDL_GetError());
}

} // namespace ui
