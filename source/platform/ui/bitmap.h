#pragma once
// CPU bitmaps: 4 bytes per pixel in BGRA order (a little-endian TAlphaColor per pixel), rows top
// to bottom with no padding. Pixels are reached by mapping the bitmap, which hands out the storage
// until the matching Unmap.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rtl/classes.h"
#include "rtl/colors.h"
#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "ui/canvas.h"
#include "ui/types3d.h"

namespace ui {

// The pixel format a bitmap is tagged with: an ordinal of TPixelFormat, or of the framework's
// extended formats, which continue that list up to 79. The tag only describes the pixels the
// bitmap stands for; its storage is 32-bit BGRA whatever the tag says.
using TPixelFormatTag = uint8_t;
inline constexpr TPixelFormatTag MaxPixelFormatOrdinal = static_cast<TPixelFormatTag>(TPixelFormat::RGBA32F);
inline constexpr TPixelFormatTag MaxPixelFormatTag = 79;

class EBitmapSavingFailed : public rtl::Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EBitmapSavingFailed"; }
};

// A mapped view of a bitmap's pixels.
struct TBitmapData {
  uint8_t* Data = nullptr;
  int32_t Pitch = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  TPixelFormat PixelFormat = TPixelFormat::None;
  TMapAccess Access = TMapAccess::Read;

  // The first byte of row ARow; a row outside the bitmap raises ERangeError.
  uint8_t* GetScanline(int32_t ARow) const;
  // Pixels outside the bitmap raise ERangeError.
  rtl::TAlphaColor GetPixel(int32_t AX, int32_t AY) const;
  void SetPixel(int32_t AX, int32_t AY, rtl::TAlphaColor AColor) const;
};

// A bitmap's canvas: draws into the bitmap's pixels (ui/canvas.h). Its scene bracket nests; while
// it is open, code that would free the bitmap's GPU resources keeps them, because drawing may
// still use them.
class TBitmapCanvas : public TCanvas {
  RTL_CLASS(TBitmapCanvas, TCanvas)
public:
  explicit TBitmapCanvas(TBitmap* ABitmap = nullptr) : TCanvas(ABitmap) {}
};

class TBitmap : public rtl::TPersistent {
  RTL_CLASS(TBitmap, rtl::TPersistent)
public:
  using TChangeEvent = std::function<void(rtl::TObject* ASender)>;
  static constexpr int32_t BytesPerPixel = 4;

  TBitmap() = default;
  TBitmap(int32_t AWidth, int32_t AHeight);

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // The storage's format.
  TPixelFormat PixelFormat() const { return TPixelFormat::BGRA; }
  TPixelFormatTag PixelFormatTag() const { return FPixelFormatTag; }
  // Pixels per point.
  float BitmapScale() const { return FBitmapScale; }
  void SetBitmapScale(float AValue) { FBitmapScale = AValue; }
  // A new size clears every pixel to transparent black; the same size keeps them. A negative size
  // raises EArgumentOutOfRangeException, and so does resizing while the bitmap is mapped, because
  // that would move the storage under the mapped view.
  void SetSize(int32_t AWidth, int32_t AHeight);
  bool IsEmpty() const { return FWidth == 0 || FHeight == 0; }

  // Fills AData with a view of the pixels; False (and an empty view) for an empty bitmap or one
  // whose storage is released. Every successful Map needs its Unmap; unmapping a view mapped for
  // writing counts as a change of the bitmap.
  bool Map(TMapAccess AAccess, TBitmapData& AData);
  void Unmap(TBitmapData& AData);
  bool IsMapped() const { return FMapCount > 0; }

  // From another bitmap: its size, scale, tag and pixels. From a texture: its size and scale,
  // with every pixel transparent black (the pixels live on the GPU). From nullptr: the bitmap
  // becomes empty. Anything else raises EConvertError.
  void Assign(const rtl::TPersistent* ASource) override;

  TBitmapCanvas* Canvas();
  bool IsCanvasInScene() const { return FCanvas && FCanvas->IsInScene(); }

  const TChangeEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TChangeEvent AHandler) { FOnChange = std::move(AHandler); }

  // Sets every pixel to AColor; an empty bitmap stays empty. Counts as a change.
  void Clear(rtl::TAlphaColor AColor);
  // Becomes ASource's size at AScale (keeping its own tag), each pixel what clearing to transparent and then
  // drawing ASource 1:1 at full opacity gives (DrawRowOverTransparent): opaque pixels copied, the
  // others blended onto transparent black. One pass over the pixels; the new storage is not
  // cleared first. Raises as SetSize while mapped; a source without storage gives transparent
  // pixels. Counts as a change.
  void AssignOverTransparent(const TBitmap& ASource, float AScale);

  // Writes the bitmap in the format its extension names (any case): ".bmp" as a 32-bit BMP file,
  // ".jpg" and ".jpeg" as a JPEG picture of quality 90 (alpha dropped), ".png" as a PNG picture
  // with alpha. Other extensions, an empty
  // bitmap or a failed write raise EBitmapSavingFailed.
  void SaveToFile(const std::string& AFileName) const;
  // Replaces size and pixels with the picture in the file, whose format is sniffed from its
  // content (BMP, PNG, JPEG, GIF or TIFF, of which the first image). A missing file raises
  // EFOpenError; content that is no readable picture (or one above 16384 x 16384 pixels) raises EReadError "Cannot load bitmap from '<file>': <reason>" and
  // leaves the bitmap as it was.
  void LoadFromFile(const std::string& AFileName);
  // A new bitmap (the caller frees it) holding the picture in the file; raises as LoadFromFile.
  static TBitmap* CreateFromFile(const std::string& AFileName);
  // As LoadFromFile, from the stream's position to its end ("Cannot load bitmap from stream: …").
  void LoadFromStream(rtl::TStream& AStream);
  // Writes the bitmap as a PNG picture with alpha at the stream's position. An empty bitmap
  // raises EBitmapSavingFailed, as SaveToFile does.
  void SaveToStream(rtl::TStream& AStream) const;
  // Scales the picture to AWidth x AHeight (bilinear, edges clamped). The same size changes
  // nothing; an empty bitmap only takes the new size.
  void Resize(int32_t AWidth, int32_t AHeight);
  // Mirror the pixels in place, top to bottom or left to right; each is one change notification.
  // An empty bitmap or one without storage is left alone.
  void FlipVertical();
  void FlipHorizontal();

  // Streams the pixels as the binary property "PNG", so writing a form never drops a picture; an
  // empty bitmap writes nothing.
  void DefineProperties(rtl::TFiler* AFiler) override;

protected:
  // Runs after every change of size, storage or pixels; fires OnChange.
  virtual void BitmapChanged();
  // Makes the storage anew: AWidth x AHeight at AScale, every pixel transparent black, tagged
  // ATag. A tag above MaxPixelFormatTag, a bad size or a mapped bitmap raise
  // EArgumentOutOfRangeException.
  void InitializeBitmapHandle(int32_t AWidth, int32_t AHeight, float AScale, TPixelFormatTag ATag);
  // Releases the storage; the size stays, and Map fails until the storage is made again.
  void FinalizeBitmapHandle();
  bool HandleAllocated() const { return !FPixels.empty(); }

private:
  // Makes new storage of AWidth x AHeight, every pixel transparent black.
  void Reallocate(int32_t AWidth, int32_t AHeight);
  // Decodes a picture file's bytes; ASource names them in errors.
  void Decode(const rtl::TBytes& ABytes, const std::string& ASource);

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  float FBitmapScale = 1;
  TPixelFormatTag FPixelFormatTag = static_cast<TPixelFormatTag>(TPixelFormat::BGRA);
  int FMapCount = 0;
  // Storage whose growth leaves bytes uninitialised: every path that makes it writes each byte
  // (Reallocate clears, AssignOverTransparent draws every pixel).
  template <class T> struct TNoFillAllocator : std::allocator<T> {
    template <class U> struct rebind {
      using other = TNoFillAllocator<U>;
    };
    TNoFillAllocator() = default;
    template <class U> TNoFillAllocator(const TNoFillAllocator<U>&) noexcept {}
    template <class U> void construct(U* AAt) noexcept { ::new (static_cast<void*>(AAt)) U; }
    template <class U, class... TArgs> void construct(U* AAt, TArgs&&... AArgs) {
      ::new (static_cast<void*>(AAt)) U(std::forward<TArgs>(AArgs)...);
    }
  };
  using TPixelStorage = std::vector<uint8_t, TNoFillAllocator<uint8_t>>;
  TPixelStorage FPixels;
  rtl::TOwned<TBitmapCanvas> FCanvas;
  TChangeEvent FOnChange;
};

} // namespace ui
