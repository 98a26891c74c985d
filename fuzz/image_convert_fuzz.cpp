// image_convert: byte 0 picks one of the 34 filled format slots as the source, byte 1 the
// destination, bytes 2 and 3 the width and height (1..16); the rest fills the pixels, then the
// palette, and missing bytes stay zero. Each run converts, swaps red and blue, flips, resizes to
// (height, width) with the bicubic filter and converts to A8R8G8B8. Any exception other than
// EImagingError, or an invalid image after a conversion that returned True, is a fault.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/Vantrel.Imaging.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

const std::vector<TImageFormat>& FilledSlots() {
  static const std::vector<TImageFormat> slots = [] {
    std::vector<TImageFormat> ids;
    for (TImageFormat id = 0; id < ImageFormatId::SlotCount; ++id)
      if (IsFormatIdKnown(id))
        ids.push_back(id);
    return ids;
  }();
  return slots;
}

void Convert(TImageData& AImage, TImageFormat AFormat) {
  if (ConvertImageData(AImage, AFormat))
    Check(IsImageDataValid(AImage));
}

void Run(const uint8_t* AData, size_t ASize) {
  const std::vector<TImageFormat>& slots = FilledSlots();
  const TImageFormat source = slots[AData[0] % slots.size()];
  const TImageFormat target = slots[AData[1] % slots.size()];
  const int32_t width = 1 + AData[2] % 16, height = 1 + AData[3] % 16;
  TOwnedImageData image;
  Check(CreateImageData(width, height, source, image.Get()));
  size_t rest = ASize - 4;
  const uint8_t* data = AData + 4;
  const size_t pixels = std::min(rest, static_cast<size_t>(image->Size));
  std::memcpy(image->Bits, data, pixels);
  rest -= pixels;
  data += pixels;
  if (image->Palette && rest > 0)
    std::memcpy(image->Palette, data, std::min<size_t>(rest, 256 * 4));

  Convert(image.Get(), target);
  SwapImageChannels(image.Get(), 0, 2);
  Check(IsImageDataValid(image.Get()));
  FlipImageData(image.Get());
  Check(IsImageDataValid(image.Get()));
  ResizeImageData(image.Get(), height, width, TResizeFilter::Bicubic);
  Check(IsImageDataValid(image.Get()));
  Convert(image.Get(), ImageFormatId::A8R8G8B8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 4)
    return 0;
  try {
    Run(AData, ASize);
  } catch (const EImagingError&) {
  }
  return 0;
}
