#pragma once
// Helpers of the image tests: images built from hex bytes, and byte views of images.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Vantrel.Imaging.h"

namespace vtest {

// "00 F8 1f" -> {0x00, 0xF8, 0x1F}; blanks are ignored.
inline std::vector<uint8_t> Hex(std::string_view AText) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (const char c : AText) {
    if (c == ' ')
      continue;
    const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return bytes;
}

inline std::vector<uint8_t> Bytes(const vantrel::TImageData& AImage) {
  const auto* bits = static_cast<const uint8_t*>(AImage.Bits);
  return std::vector<uint8_t>(bits, bits + AImage.Size);
}

// An owned image of the given size and format whose pixels start with ABytes.
inline vantrel::TOwnedImageData MakeImage(int32_t AWidth, int32_t AHeight, vantrel::TImageFormat AFormat,
                                          const std::vector<uint8_t>& ABytes = {}) {
  vantrel::TOwnedImageData image;
  EXPECT_TRUE(vantrel::CreateImageData(AWidth, AHeight, AFormat, image.Get()));
  EXPECT_LE(ABytes.size(), static_cast<size_t>(image->Size));
  if (!ABytes.empty())
    std::memcpy(image->Bits, ABytes.data(), std::min(ABytes.size(), static_cast<size_t>(image->Size)));
  return image;
}

// The A8R8G8B8 pixel at (AX, AY) as bytes B, G, R, A.
inline std::vector<uint8_t> PixelBGRA(const vantrel::TImageData& AImage, int32_t AX, int32_t AY) {
  const auto* at =
      static_cast<const uint8_t*>(AImage.Bits) + (static_cast<size_t>(AY) * AImage.Width + AX) * 4;
  return std::vector<uint8_t>(at, at + 4);
}

} // namespace vtest
