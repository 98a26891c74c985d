#include "formats/Vantrel.Imaging.Import.h"

#include <cstring>

#include "formats/Vantrel.Imaging.h"

namespace vantrel {

namespace {

// Copies the rows of an A8R8G8B8 image into the mapped bitmap, at the bitmap's pitch.
void CopyRows(const TImageData& AImage, ui::TBitmap& ABitmap) {
  ui::TBitmapData data;
  if (!ABitmap.Map(ui::TMapAccess::Write, data))
    return;
  const size_t rowBytes = static_cast<size_t>(AImage.Width) * 4;
  const auto* source = static_cast<const uint8_t*>(AImage.Bits);
  for (int32_t y = 0; y < AImage.Height; ++y)
    std::memcpy(data.GetScanline(y), source + static_cast<size_t>(y) * rowBytes, rowBytes);
  ABitmap.Unmap(data);
}

} // namespace

void CopyImageDataToBitmap(const TImageData& AImage, ui::TBitmap& ABitmap) {
  // An A8R8G8B8 source needs neither the clone nor the conversion: its bytes are the bitmap's.
  if (IsImageDataValid(AImage) && FindFormatDescriptor(AImage.Format)->FormatId == ImageFormatId::A8R8G8B8) {
    ABitmap.SetSize(AImage.Width, AImage.Height);
    CopyRows(AImage, ABitmap);
    return;
  }
  TOwnedImageData converted;
  CloneImageData(AImage, converted.Get());
  ConvertImageData(converted.Get(), ImageFormatId::A8R8G8B8);
  ABitmap.SetSize(converted->Width, converted->Height);
  CopyRows(converted.Get(), ABitmap);
}

} // namespace vantrel
