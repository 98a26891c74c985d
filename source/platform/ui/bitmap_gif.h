#pragma once
// Decoding of a GIF's first image into BGRA pixels. The image library's GIF decoder corrupts its
// own memory on crafted code streams, so GIF pictures are decoded here.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/streams.h"

namespace ui {

struct TGifImage {
  int32_t Width = 0;
  int32_t Height = 0;
  // Four bytes per pixel, blue, green, red, alpha; rows top down.
  std::vector<uint8_t> Pixels;
};

// Decodes the first image of the GIF in ABytes at the image's own size: colours from its local
// table or else the global one (black without either), alpha 0 for the transparent index of a
// graphic control extension before it, interlaced rows put in place. Code data that ends or
// breaks early leaves the remaining pixels at index 0, as the picture's own decoder would. Answers
// false with AError set when there is no image, it is empty, or its code size is outside 2 to 8.
bool DecodeGifFirstImage(const rtl::TBytes& ABytes, TGifImage& AImage, std::string& AError);

} // namespace ui
