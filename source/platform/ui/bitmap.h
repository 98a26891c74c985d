#pragma once
// CPU bitmaps: 4 bytes per pixel in BGRA order (a little-endian TAlphaColor per pixel), rows top
// to bottom with no padding. Pixels are reached by mapping the bitmap, which hands out the storage
// until the matching Unmap.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/colors.h"
#include "rtl/exceptions.h"
#include "ui/types3d.h"

namespace ui {

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

  // The first byte of row ARow; a row outside the bitmap raises ERangeError.
  uint8_t* GetScanline(int32_t ARow) const;
  // Pixels outside the bitmap raise ERangeError.
  rtl::TAlphaColor GetPixel(int32_t AX, int32_t AY) const;
  void SetPixel(int32_t AX, int32_t AY, rtl::TAlphaColor AColor) const;
};

class TBitmap : public rtl::TPersistent {
  RTL_CLASS(TBitmap, rtl::TPersistent)
public:
  static constexpr int32_t BytesPerPixel = 4;

  TBitmap() = default;
  TBitmap(int32_t AWidth, int32_t AHeight);

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  TPixelFormat PixelFormat() const { return TPixelFormat::BGRA; }
  // A new size clears every pixel to transparent black; the same size keeps them. A negative size
  // raises EArgumentOutOfRangeException, and so does resizing while the bitmap is mapped, because
  // that would move the storage under the mapped view.
  void SetSize(int32_t AWidth, int32_t AHeight);
  bool IsEmpty() const { return FWidth == 0 || FHeight == 0; }

  // Fills AData with a view of the pixels; False (and an empty view) for an empty bitmap. Every
  // successful Map needs its Unmap.
  bool Map(TMapAccess AAccess, TBitmapData& AData);
  void Unmap(TBitmapData& AData);
  bool IsMapped() const { return FMapCount > 0; }

  // Writes the bitmap as a 32-bit BMP file. Other extensions, an empty bitmap or a failed write
  // raise EBitmapSavingFailed.
  void SaveToFile(const std::string& AFileName) const;

private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int FMapCount = 0;
  std::vector<uint8_t> FPixels;
};

} // namespace ui
