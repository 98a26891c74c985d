#include "ui/bitmap.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include "rtl/ioutils.h"
#include "rtl/sysutils.h"
#include "ui/bitmap_gif.h"
#include "ui/bitmap_png.h"
#include "ui/texture.h"

namespace ui {

RTL_DEFINE_CLASS(TBitmapCanvas, "ui.Bitmap")
RTL_DEFINE_CLASS(TBitmap, "ui.Bitmap")

static_assert(std::endian::native == std::endian::little, "a BGRA pixel is read as one TAlphaColor");

namespace {

constexpr const char* SavingFailed = "Cannot save bitmap to '%s': %s";
constexpr int JpegQuality = 90;
constexpr const char* BadSize = "Invalid bitmap size %d x %d";
constexpr const char* ResizeWhileMapped = "Bitmap cannot be resized while it is mapped";
constexpr const char* BadPixelFormatTag = "Invalid bitmap pixel format %d";
constexpr const char* LoadingFailed = "Cannot load bitmap from %s: %s";
// 16384 x 16384: larger pictures are refused before they are decoded.
constexpr uint64_t MaxLoadedPixels = uint64_t(1) << 28;
// Pictures above a million pixels must bring at least one byte of data per 8192 pixels (more
// than deflate reaches on one-bit pixels).
constexpr uint64_t MinPixelsWithoutData = uint64_t(1) << 20;
constexpr uint64_t MaxPixelsPerByte = 8192;

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
  Reallocate(AWidth, AHeight);
  BitmapChanged();
}

void TBitmap::Reallocate(int32_t AWidth, int32_t AHeight) {
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
  Reallocate(AWidth, AHeight);
  FBitmapScale = AScale;
  FPixelFormatTag = ATag;
  BitmapChanged();
}

void TBitmap::FinalizeBitmapHandle() {
  if (IsMapped())
    throw rtl::EArgumentOutOfRangeException(ResizeWhileMapped);
  TPixelStorage().swap(FPixels);
}

void TBitmap::AssignOverTransparent(const TBitmap& ASource, float AScale) {
  if (!ASource.HandleAllocated()) {
    InitializeBitmapHandle(ASource.FWidth, ASource.FHeight, AScale, FPixelFormatTag);
    return;
  }
  if (IsMapped())
    throw rtl::EArgumentOutOfRangeException(ResizeWhileMapped);
  const size_t rowBytes = size_t(ASource.FWidth) * BytesPerPixel;
  TPixelStorage pixels;
  pixels.resize(rowBytes * size_t(ASource.FHeight));
  for (int32_t row = 0; row < ASource.FHeight; ++row)
    DrawRowOverTransparent(pixels.data() + rowBytes * size_t(row), ASource.FPixels.data() + rowBytes * size_t(row),
                           ASource.FWidth);
  FPixels.swap(pixels);
  FWidth = ASource.FWidth;
  FHeight = ASource.FHeight;
  FBitmapScale = AScale;
  BitmapChanged();
}

void TBitmap::BitmapChanged() {
  if (FOnChange)
    FOnChange(this);
}

void TBitmap::Assign(const rtl::TPersistent* ASource) {
  if (ASource == this)
    return;
  if (!ASource) {
    // Nothing to copy: the bitmap becomes empty.
    Reallocate(0, 0);
  } else if (const auto* bitmap = dynamic_cast<const TBitmap*>(ASource)) {
    if (bitmap->HandleAllocated()) {
      // Copied straight over: clearing first would write every pixel twice.
      if (IsMapped())
        throw rtl::EArgumentOutOfRangeException(ResizeWhileMapped);
      FPixels = bitmap->FPixels;
      FWidth = bitmap->FWidth;
      FHeight = bitmap->FHeight;
    } else {
      // A source whose storage is released leaves cleared pixels of its size.
      Reallocate(bitmap->FWidth, bitmap->FHeight);
    }
    FBitmapScale = bitmap->FBitmapScale;
    FPixelFormatTag = bitmap->FPixelFormatTag;
  } else if (const auto* texture = dynamic_cast<const TTexture*>(ASource)) {
    Reallocate(texture->Width(), texture->Height());
    FBitmapScale = texture->TextureScale();
  } else {
    inherited::Assign(ASource);
    return;
  }
  BitmapChanged();
}

TBitmapCanvas* TBitmap::Canvas() {
  if (!FCanvas)
    FCanvas = rtl::MakeOwned<TBitmapCanvas>(this);
  return FCanvas.get();
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

void TBitmap::Clear(rtl::TAlphaColor AColor) {
  if (!HandleAllocated())
    return;
  // Storage is BGRA bytes, which is the little-endian layout of an ARGB value.
  for (size_t offset = 0; offset + sizeof AColor <= FPixels.size(); offset += sizeof AColor)
    std::memcpy(FPixels.data() + offset, &AColor, sizeof AColor);
  BitmapChanged();
}

void TBitmap::SaveToFile(const std::string& AFileName) const {
  auto fail = [&](const std::string& AReason) {
    throw EBitmapSavingFailed(rtl::Format(SavingFailed, AFileName, AReason));
  };
  const std::string extension = rtl::TPath::GetExtension(AFileName);
  const bool jpeg = rtl::SameText(extension, ".jpg") || rtl::SameText(extension, ".jpeg");
  const bool png = rtl::SameText(extension, ".png");
  if (!jpeg && !png && !rtl::SameText(extension, ".bmp"))
    fail("only .bmp, .png and .jpg files can be written");
  if (IsEmpty() || !HandleAllocated())
    fail("the bitmap is empty");
  // SDL only reads the pixels of a surface it saves; the const_cast never leads to a write. The
  // pixels are BGRA with straight alpha, which PNG keeps.
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(FPixels.data()), FWidth, FHeight, 32,
                                         FWidth * BytesPerPixel, SDL_PIXELFORMAT_ARGB8888);
  if (!surface)
    fail(SDL_GetError());
  // The image goes to a temporary file beside the target, renamed over it when complete: a failed
  // write leaves no partial file and an older file whole.
  const std::string temporary = AFileName + ".tmp";
  int result;
  if (jpeg)
    result = IMG_SaveJPG(surface, temporary.c_str(), JpegQuality);
  else if (png)
    result = IMG_SavePNG(surface, temporary.c_str());
  else
    result = SDL_SaveBMP(surface, temporary.c_str());
  SDL_FreeSurface(surface);
  if (result != 0) {
    const std::string reason = SDL_GetError();
    std::remove(temporary.c_str());
    fail(reason);
  }
  if (std::rename(temporary.c_str(), AFileName.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    fail(reason);
  }
}

void TBitmap::LoadFromFile(const std::string& AFileName) {
  Decode(rtl::TFile::ReadAllBytes(AFileName), "'" + AFileName + "'");
}

TBitmap* TBitmap::CreateFromFile(const std::string& AFileName) {
  rtl::TOwned<TBitmap> bitmap = rtl::MakeOwned<TBitmap>();
  bitmap->LoadFromFile(AFileName);
  return bitmap.release();
}

void TBitmap::SaveToStream(rtl::TStream& AStream) const {
  if (IsEmpty() || !HandleAllocated())
    throw EBitmapSavingFailed(rtl::Format(SavingFailed, std::string("stream"), std::string("the bitmap is empty")));
  WriteBitmapPng(*this, AStream);
}

void TBitmap::LoadFromStream(rtl::TStream& AStream) {
  // Read in chunks: the stream may not know its size.
  rtl::TBytes bytes;
  uint8_t chunk[64 * 1024];
  for (int64_t count; (count = AStream.Read(chunk, sizeof chunk)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + count);
  Decode(bytes, "stream");
}

namespace {

uint32_t ReadLE(const rtl::TBytes& ABytes, size_t AOffset, size_t ASize) {
  uint32_t value = 0;
  for (size_t i = 0; i < ASize; ++i)
    value |= uint32_t(ABytes[AOffset + i]) << (8 * i);
  return value;
}

// The smallest BMP: the 14-byte file header and the 12-byte core header.
constexpr size_t MinBmpSize = 26;

// The pixel count a BMP header of at least MinBmpSize bytes declares, read before decoding so
// that a forged size never reaches the decoder's allocation.
uint64_t DeclaredBmpPixels(const rtl::TBytes& ABytes) {
  // A 12-byte core header holds 16-bit sizes; every later header 32-bit ones.
  const bool core = ReadLE(ABytes, 14, 4) == 12;
  const auto width = core ? int64_t(ReadLE(ABytes, 18, 2)) : int64_t(int32_t(ReadLE(ABytes, 18, 4)));
  const auto height = core ? int64_t(ReadLE(ABytes, 20, 2)) : int64_t(int32_t(ReadLE(ABytes, 22, 4)));
  return uint64_t(std::llabs(width)) * uint64_t(std::llabs(height));
}

// The smallest PNG that names a size: the 8-byte signature and the IHDR chunk's length, type,
// width and height.
constexpr size_t MinPngSize = 24;
constexpr uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t ReadBE32(const rtl::TBytes& ABytes, size_t AOffset) {
  return uint32_t(ABytes[AOffset]) << 24 | uint32_t(ABytes[AOffset + 1]) << 16 |
         uint32_t(ABytes[AOffset + 2]) << 8 | uint32_t(ABytes[AOffset + 3]);
}

// The pixel count the IHDR chunk of a PNG of at least MinPngSize bytes declares.
uint64_t DeclaredPngPixels(const rtl::TBytes& ABytes) {
  return uint64_t(ReadBE32(ABytes, 16)) * uint64_t(ReadBE32(ABytes, 20));
}

uint32_t ReadBE16(const rtl::TBytes& ABytes, size_t AOffset) {
  return uint32_t(ABytes[AOffset]) << 8 | uint32_t(ABytes[AOffset + 1]);
}

// The pixel count the first frame header of a JPEG declares, found by walking the marker
// segments; none when the data ends or the scan starts before one.
std::optional<uint64_t> DeclaredJpegPixels(const rtl::TBytes& ABytes) {
  size_t at = 2;
  while (at + 4 <= ABytes.size()) {
    if (ABytes[at] != 0xFF)
      return std::nullopt;
    const uint8_t marker = ABytes[at + 1];
    if (marker == 0xFF) { // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // markers without a segment
      at += 2;
      continue;
    }
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame)
      return at + 9 <= ABytes.size()
                 ? std::optional(uint64_t(ReadBE16(ABytes, at + 5)) * ReadBE16(ABytes, at + 7))
                 : std::nullopt;
    if (marker == 0xDA || marker == 0xD9)
      return std::nullopt;
    at += 2 + ReadBE16(ABytes, at + 2);
  }
  return std::nullopt;
}

// What a walk of a GIF's blocks finds: the largest pixel count the screen or any image declares
// (the decoder allocates an image at its own size), and the first image the decoder meets. The
// walk follows the decoder: extensions and image data are skipped by their sub-blocks, any byte
// that starts neither an image nor an extension is skipped, and the trailer ends the picture.
struct TGifLayout {
  std::optional<uint64_t> Largest; // none when the data ends before an image names its size
  bool FirstImageUsable = false;   // a size above 0 and a code size of 2 to 8 bits
};

TGifLayout WalkGif(const rtl::TBytes& ABytes) {
  constexpr size_t HeaderSize = 13;
  const size_t size = ABytes.size();
  TGifLayout layout;
  if (size < HeaderSize)
    return layout;
  const uint64_t screen = uint64_t(ReadLE(ABytes, 6, 2)) * ReadLE(ABytes, 8, 2);
  size_t at = HeaderSize;
  if (ABytes[10] & 0x80) // global colour table
    at += 3 * (size_t(2) << (ABytes[10] & 7));
  const auto skipSubBlocks = [&] {
    while (at < size && ABytes[at] != 0)
      at += 1 + ABytes[at];
    ++at;
  };
  std::optional<uint64_t> largest;
  bool trailer = false, first = true;
  while (at < size && !trailer) {
    const uint8_t introducer = ABytes[at];
    if (introducer == 0x2C) { // image descriptor: left, top, width, height, flags
      if (at + 9 > size)
        break;
      const uint64_t width = ReadLE(ABytes, at + 5, 2), height = ReadLE(ABytes, at + 7, 2);
      largest = std::max(largest.value_or(0), width * height);
      if (at + 10 > size)
        break;
      const uint8_t flags = ABytes[at + 9];
      at += 10;
      if (flags & 0x80) // local colour table
        at += 3 * (size_t(2) << (flags & 7));
      if (first && at < size)
        layout.FirstImageUsable = width > 0 && height > 0 && ABytes[at] >= 2 && ABytes[at] <= 8;
      first = false;
      ++at; // the LZW code size
      skipSubBlocks();
    } else if (introducer == 0x21) { // extension: label, then sub-blocks
      at += 2;
      skipSubBlocks();
    } else {
      trailer = introducer == 0x3B;
      ++at;
    }
  }
  if (largest)
    layout.Largest = std::max(screen, *largest);
  else if (trailer)
    layout.Largest = screen;
  return layout;
}

// The pixel count the first image directory of a classic TIFF declares (its ImageWidth and
// ImageLength entries, each a SHORT or LONG, in the file's byte order); none when the data ends
// before the directory names both. The decoder reads the first directory only.
std::optional<uint64_t> DeclaredTiffPixels(const rtl::TBytes& ABytes) {
  constexpr size_t HeaderSize = 8, EntrySize = 12;
  if (ABytes.size() < HeaderSize)
    return std::nullopt;
  const bool bigEndian = ABytes[0] == 'M';
  const auto read = [&](size_t AAt, size_t ASize) {
    uint32_t value = 0;
    for (size_t i = 0; i < ASize; ++i)
      value |= uint32_t(ABytes[AAt + (bigEndian ? ASize - 1 - i : i)]) << (8 * i);
    return value;
  };
  const size_t directory = read(4, 4);
  if (directory > ABytes.size() || ABytes.size() - directory < 2)
    return std::nullopt;
  const size_t entries = read(directory, 2);
  std::optional<uint64_t> width, height;
  for (size_t i = 0; i < entries && !(width && height); ++i) {
    const size_t at = directory + 2 + i * EntrySize;
    if (at + EntrySize > ABytes.size())
      return std::nullopt;
    const uint32_t tag = read(at, 2), type = read(at + 2, 2);
    if (type != 3 && type != 4) // SHORT, LONG
      continue;
    const uint64_t value = read(at + 8, type == 3 ? 2 : 4);
    if (tag == 256)
      width = value;
    else if (tag == 257)
      height = value;
  }
  if (!width || !height)
    return std::nullopt;
  return *width * *height;
}

enum class TPictureKind { Unknown, Bmp, Png, Jpeg, Gif, Tiff };

TPictureKind SniffPicture(const rtl::TBytes& ABytes) {
  if (ABytes.size() >= 2 && ABytes[0] == 'B' && ABytes[1] == 'M')
    return TPictureKind::Bmp;
  if (ABytes.size() >= sizeof PngSignature &&
      std::equal(std::begin(PngSignature), std::end(PngSignature), ABytes.begin()))
    return TPictureKind::Png;
  if (ABytes.size() >= 3 && ABytes[0] == 0xFF && ABytes[1] == 0xD8 && ABytes[2] == 0xFF)
    return TPictureKind::Jpeg;
  const auto startsWith = [&](const char* ASignature) {
    return ABytes.size() >= 6 && std::equal(ASignature, ASignature + 6, ABytes.begin());
  };
  if (startsWith("GIF87a") || startsWith("GIF89a"))
    return TPictureKind::Gif;
  const uint8_t tiffLittle[] = {'I', 'I', 42, 0}, tiffBig[] = {'M', 'M', 0, 42};
  if (ABytes.size() >= 4 && (std::equal(std::begin(tiffLittle), std::end(tiffLittle), ABytes.begin()) ||
                             std::equal(std::begin(tiffBig), std::end(tiffBig), ABytes.begin())))
    return TPictureKind::Tiff;
  return TPictureKind::Unknown;
}

// The pixel count the header of a sniffed picture declares; none when the data is too short to
// name one.
std::optional<uint64_t> DeclaredPixels(TPictureKind AKind, const rtl::TBytes& ABytes) {
  switch (AKind) {
  case TPictureKind::Bmp:
    return ABytes.size() < MinBmpSize ? std::nullopt : std::optional(DeclaredBmpPixels(ABytes));
  case TPictureKind::Png:
    return ABytes.size() < MinPngSize ? std::nullopt : std::optional(DeclaredPngPixels(ABytes));
  case TPictureKind::Jpeg:
    return DeclaredJpegPixels(ABytes);
  case TPictureKind::Gif:
    return WalkGif(ABytes).Largest;
  case TPictureKind::Tiff:
    return DeclaredTiffPixels(ABytes);
  default:
    return std::nullopt;
  }
}

SDL_Surface* DecodePicture(TPictureKind AKind, SDL_RWops* ASource) {
  switch (AKind) {
  case TPictureKind::Bmp:
    return SDL_LoadBMP_RW(ASource, 1);
  case TPictureKind::Png:
    return IMG_LoadTyped_RW(ASource, 1, "PNG");
  case TPictureKind::Jpeg:
    return IMG_LoadTyped_RW(ASource, 1, "JPG");
  default:
    return IMG_LoadTyped_RW(ASource, 1, "TIF");
  }
}

} // namespace

void TBitmap::Decode(const rtl::TBytes& ABytes, const std::string& ASource) {
  auto fail = [&](const std::string& AReason) {
    throw rtl::EReadError(rtl::Format(LoadingFailed, ASource, AReason));
  };
  const TPictureKind kind = SniffPicture(ABytes);
  if (kind == TPictureKind::Unknown)
    fail("unsupported picture format");
  // The decoder passes over a first image it cannot use and reads on from wherever it stopped,
  // where no walk can follow it: such a picture is refused before it decodes.
  if (kind == TPictureKind::Gif) {
    const TGifLayout layout = WalkGif(ABytes);
    if (layout.Largest && !layout.FirstImageUsable)
      fail("unreadable picture");
  }
  const std::optional<uint64_t> declared = DeclaredPixels(kind, ABytes);
  if (!declared)
    fail("truncated picture");
  const uint64_t pixels = *declared;
  if (pixels > MaxLoadedPixels)
    fail("picture too large");
  // Even compressed pixels need some data: a small file declaring a huge picture would only make
  // the decoder allocate it.
  if (pixels > MinPixelsWithoutData && pixels / MaxPixelsPerByte > ABytes.size())
    fail("picture size does not match its data");
  if (kind == TPictureKind::Gif) {
    TGifImage image;
    std::string error;
    if (!DecodeGifFirstImage(ABytes, image, error))
      fail(error);
    Reallocate(image.Width, image.Height);
    std::memcpy(FPixels.data(), image.Pixels.data(), image.Pixels.size());
    BitmapChanged();
    return;
  }
  SDL_RWops* source = SDL_RWFromConstMem(ABytes.data(), static_cast<int>(ABytes.size()));
  SDL_ClearError();
  SDL_Surface* loaded = source ? DecodePicture(kind, source) : nullptr;
  if (!loaded) {
    // Some decoders report their errors elsewhere and leave none behind.
    const std::string error = SDL_GetError();
    fail(error.empty() ? "unreadable picture" : error);
  }
  if (loaded->w <= 0 || loaded->h <= 0) {
    SDL_FreeSurface(loaded);
    fail("empty picture");
  }
  // BGRA storage is ARGB8888 read as one little-endian word per pixel.
  SDL_Surface* converted = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  if (!converted)
    fail(SDL_GetError());
  Reallocate(converted->w, converted->h);
  const size_t rowBytes = size_t(FWidth) * BytesPerPixel;
  for (int32_t row = 0; row < FHeight; ++row)
    std::memcpy(FPixels.data() + row * rowBytes,
                static_cast<const uint8_t*>(converted->pixels) + row * converted->pitch, rowBytes);
  SDL_FreeSurface(converted);
  BitmapChanged();
}

namespace {

// One channel at (AX, AY) in source pixels, interpolated between the four nearest pixels.
struct TSampler {
  const uint8_t* Pixels;
  int32_t Width;
  int32_t Height;

  uint8_t At(int32_t AX, int32_t AY, int AChannel) const {
    return Pixels[(size_t(AY) * size_t(Width) + size_t(AX)) * TBitmap::BytesPerPixel + AChannel];
  }
  uint8_t Sample(float AX, float AY, int AChannel) const {
    const float x = std::clamp(AX, 0.0f, float(Width - 1));
    const float y = std::clamp(AY, 0.0f, float(Height - 1));
    const auto x0 = static_cast<int32_t>(x);
    const auto y0 = static_cast<int32_t>(y);
    const int32_t x1 = std::min(x0 + 1, Width - 1);
    const int32_t y1 = std::min(y0 + 1, Height - 1);
    const float fx = x - float(x0);
    const float fy = y - float(y0);
    const float top = At(x0, y0, AChannel) * (1 - fx) + At(x1, y0, AChannel) * fx;
    const float bottom = At(x0, y1, AChannel) * (1 - fx) + At(x1, y1, AChannel) * fx;
    return static_cast<uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
  }
};

} // namespace

void TBitmap::Resize(int32_t AWidth, int32_t AHeight) {
  if (AWidth == FWidth && AHeight == FHeight)
    return;
  if (IsEmpty() || !HandleAllocated()) {
    SetSize(AWidth, AHeight);
    return;
  }
  const TPixelStorage source = FPixels;
  const TSampler sampler{source.data(), FWidth, FHeight};
  const float scaleX = float(FWidth) / float(std::max(AWidth, 1));
  const float scaleY = float(FHeight) / float(std::max(AHeight, 1));
  Reallocate(AWidth, AHeight);
  // Pixel centres map onto pixel centres.
  for (int32_t y = 0; y < AHeight; ++y)
    for (int32_t x = 0; x < AWidth; ++x)
      for (int channel = 0; channel < BytesPerPixel; ++channel)
        FPixels[(size_t(y) * size_t(AWidth) + size_t(x)) * BytesPerPixel + channel] =
            sampler.Sample((x + 0.5f) * scaleX - 0.5f, (y + 0.5f) * scaleY - 0.5f, channel);
  BitmapChanged();
}

void TBitmap::FlipVertical() {
  if (IsEmpty() || !HandleAllocated())
    return;
  const size_t rowBytes = size_t(FWidth) * BytesPerPixel;
  for (int32_t top = 0, bottom = FHeight - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(FPixels.begin() + ptrdiff_t(top * rowBytes), FPixels.begin() + ptrdiff_t((top + 1) * rowBytes),
                     FPixels.begin() + ptrdiff_t(bottom * rowBytes));
  BitmapChanged();
}

void TBitmap::FlipHorizontal() {
  if (IsEmpty() || !HandleAllocated())
    return;
  for (int32_t y = 0; y < FHeight; ++y) {
    uint8_t* row = FPixels.data() + size_t(y) * size_t(FWidth) * BytesPerPixel;
    for (int32_t left = 0, right = FWidth - 1; left < right; ++left, --right)
      std::swap_ranges(row + size_t(left) * BytesPerPixel, row + size_t(left + 1) * BytesPerPixel,
                       row + size_t(right) * BytesPerPixel);
  }
  BitmapChanged();
}

} // namespace ui
