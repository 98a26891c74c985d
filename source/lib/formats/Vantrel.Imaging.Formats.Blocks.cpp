// The block decoders and encoders. A decoder builds the block's four or eight values once as whole
// pixels and then writes sixteen lookups; nothing is called or allocated per pixel.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "formats/Vantrel.Imaging.Formats.h"

namespace vantrel {

namespace {

uint16_t Load16(const uint8_t* AAt) {
  uint16_t value;
  std::memcpy(&value, AAt, sizeof value);
  return value;
}

uint32_t Load32(const uint8_t* AAt) {
  uint32_t value;
  std::memcpy(&value, AAt, sizeof value);
  return value;
}

// The 48 index bits of an alpha block (bytes 2..7), little-endian.
uint64_t LoadAlphaIndices(const uint8_t* ABlock) {
  uint64_t value = 0;
  std::memcpy(&value, ABlock + 2, 6);
  return value;
}

void CheckBlockDimensions(int32_t AWidth, int32_t AHeight) {
  Assert(AWidth % 4 == 0 && AHeight % 4 == 0);
}

// --- Palettes of a block --------------------------------------------------------------------------

struct TRgb {
  uint32_t R, G, B;
};

TRgb Expand565(uint32_t AColor) {
  return {(AColor >> 11) * 255 / 31, ((AColor >> 5) & 63) * 255 / 63, (AColor & 31) * 255 / 31};
}

uint32_t Pack(uint32_t AR, uint32_t AG, uint32_t AB, uint32_t AA) {
  return AA << 24 | AR << 16 | AG << 8 | AB;
}

// The four colours of a colour block as A8R8G8B8 words. In three-colour mode (only DXT1, when
// colour 0 is not greater than colour 1) colour 2 is the mean and colour 3 keeps the two-thirds
// mix with alpha 0.
void ColorPalette(uint16_t AColor0, uint16_t AColor1, bool AFourColors, uint32_t APalette[4]) {
  const TRgb c0 = Expand565(AColor0), c1 = Expand565(AColor1);
  APalette[0] = Pack(c0.R, c0.G, c0.B, 255);
  APalette[1] = Pack(c1.R, c1.G, c1.B, 255);
  APalette[3] = Pack((c0.R + 2 * c1.R + 1) / 3, (c0.G + 2 * c1.G + 1) / 3, (c0.B + 2 * c1.B + 1) / 3,
                     AFourColors ? 255 : 0);
  if (AFourColors)
    APalette[2] = Pack((2 * c0.R + c1.R + 1) / 3, (2 * c0.G + c1.G + 1) / 3, (2 * c0.B + c1.B + 1) / 3, 255);
  else
    APalette[2] = Pack((c0.R + c1.R) >> 1, (c0.G + c1.G) >> 1, (c0.B + c1.B) >> 1, 255);
}

// The eight values of an alpha block.
void AlphaPalette(uint32_t AA0, uint32_t AA1, uint32_t APalette[8]) {
  APalette[0] = AA0;
  APalette[1] = AA1;
  if (AA0 > AA1) {
    for (uint32_t i = 1; i <= 6; ++i)
      APalette[i + 1] = ((7 - i) * AA0 + i * AA1 + 3) / 7;
  } else {
    for (uint32_t i = 1; i <= 4; ++i)
      APalette[i + 1] = ((5 - i) * AA0 + i * AA1 + 2) / 5;
    APalette[6] = 0;
    APalette[7] = 255;
  }
}

// Writes the 16 pixels of a colour block, AStride bytes per image row.
void WriteColorBlock(const uint32_t APalette[4], uint32_t AIndices, uint8_t* AOut, size_t AStride) {
  for (int y = 0; y < 4; ++y) {
    uint32_t row[4];
    for (int x = 0; x < 4; ++x, AIndices >>= 2)
      row[x] = APalette[AIndices & 3];
    std::memcpy(AOut + y * AStride, row, sizeof row);
  }
}

// Runs ADecode(block, first pixel of the block) over every block of the image.
template <int BlockBytes, int PixelBytes, class TDecode>
void ForEachBlock(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels,
                  TDecode ADecode) {
  CheckBlockDimensions(AWidth, AHeight);
  const size_t stride = static_cast<size_t>(AWidth) * PixelBytes;
  for (int32_t by = 0; by < AHeight / 4; ++by) {
    uint8_t* row = APixels + static_cast<size_t>(by) * 4 * stride;
    for (int32_t bx = 0; bx < AWidth / 4; ++bx, ABlocks += BlockBytes)
      ADecode(ABlocks, row + static_cast<size_t>(bx) * 4 * PixelBytes, stride);
  }
}

void DecodeColorBlock(const uint8_t* ABlock, bool AAllowThreeColors, uint32_t AAlphaMask, uint8_t* AOut,
                      size_t AStride) {
  const uint16_t c0 = Load16(ABlock), c1 = Load16(ABlock + 2);
  uint32_t palette[4];
  ColorPalette(c0, c1, !AAllowThreeColors || c0 > c1, palette);
  for (uint32_t& color : palette)
    color &= AAlphaMask;
  WriteColorBlock(palette, Load32(ABlock + 4), AOut, AStride);
}

// Writes the 16 values of an alpha block as bytes, AStep apart, starting at AOut.
void DecodeAlphaBlock(const uint8_t* ABlock, uint8_t* AOut, size_t AStride, int AStep) {
  uint32_t palette[8];
  AlphaPalette(ABlock[0], ABlock[1], palette);
  uint64_t indices = LoadAlphaIndices(ABlock);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x, indices >>= 3)
      AOut[y * AStride + x * AStep] = static_cast<uint8_t>(palette[indices & 7]);
}

} // namespace

void DecodeDXT1(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels) {
  ForEachBlock<8, 4>(ABlocks, AWidth, AHeight, APixels,
                     [](const uint8_t* ABlock, uint8_t* AOut, size_t AStride) {
                       DecodeColorBlock(ABlock, true, 0xFFFFFFFF, AOut, AStride);
                     });
}

void DecodeDXT3(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels) {
  ForEachBlock<16, 4>(
      ABlocks, AWidth, AHeight, APixels, [](const uint8_t* ABlock, uint8_t* AOut, size_t AStride) {
        DecodeColorBlock(ABlock + 8, false, 0x00FFFFFF, AOut, AStride);
        for (int y = 0; y < 4; ++y) {
          const uint16_t nibbles = Load16(ABlock + 2 * y);
          for (int x = 0; x < 4; ++x)
            AOut[y * AStride + x * 4 + 3] = static_cast<uint8_t>(((nibbles >> (4 * x)) & 0xF) * 17);
        }
      });
}

void DecodeDXT5(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels) {
  ForEachBlock<16, 4>(ABlocks, AWidth, AHeight, APixels,
                      [](const uint8_t* ABlock, uint8_t* AOut, size_t AStride) {
                        const uint16_t c0 = Load16(ABlock + 8), c1 = Load16(ABlock + 10);
                        uint32_t colors[4], alphas[8];
                        ColorPalette(c0, c1, true, colors);
                        AlphaPalette(ABlock[0], ABlock[1], alphas);
                        uint32_t colorIndices = Load32(ABlock + 12);
                        uint64_t alphaIndices = LoadAlphaIndices(ABlock);
                        for (int y = 0; y < 4; ++y) {
                          uint32_t row[4];
                          for (int x = 0; x < 4; ++x, colorIndices >>= 2, alphaIndices >>= 3)
                            row[x] = (colors[colorIndices & 3] & 0x00FFFFFF) | alphas[alphaIndices & 7] << 24;
                          std::memcpy(AOut + y * AStride, row, sizeof row);
                        }
                      });
}

void DecodeATI1N(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels) {
  ForEachBlock<8, 1>(ABlocks, AWidth, AHeight, APixels,
                     [](const uint8_t* ABlock, uint8_t* AOut, size_t AStride) {
                       DecodeAlphaBlock(ABlock, AOut, AStride, 1);
                     });
}

void DecodeATI2N(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels) {
  ForEachBlock<16, 4>(
      ABlocks, AWidth, AHeight, APixels, [](const uint8_t* ABlock, uint8_t* AOut, size_t AStride) {
        uint32_t reds[8], greens[8];
        AlphaPalette(ABlock[0], ABlock[1], reds);
        AlphaPalette(ABlock[8], ABlock[9], greens);
        uint64_t redIndices = LoadAlphaIndices(ABlock), greenIndices = LoadAlphaIndices(ABlock + 8);
        for (int y = 0; y < 4; ++y) {
          uint32_t row[4];
          for (int x = 0; x < 4; ++x, redIndices >>= 3, greenIndices >>= 3)
            row[x] = 0xFF000000 | reds[redIndices & 7] << 16 | greens[greenIndices & 7] << 8;
          std::memcpy(AOut + y * AStride, row, sizeof row);
        }
      });
}

void DecodeBTC(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels) {
  ForEachBlock<4, 1>(ABlocks, AWidth, AHeight, APixels,
                     [](const uint8_t* ABlock, uint8_t* AOut, size_t AStride) {
                       const uint8_t levels[2] = {ABlock[0], ABlock[1]};
                       uint32_t mask = Load16(ABlock + 2);
                       for (int y = 0; y < 4; ++y)
                         for (int x = 0; x < 4; ++x, mask >>= 1)
                           AOut[y * AStride + x] = levels[mask & 1];
                     });
}

// --- Encoders --------------------------------------------------------------------------------------

namespace {

// Gathers the 16 pixels (APixelBytes each) of the block whose top-left pixel is AFirst.
template <int PixelBytes>
void GatherBlock(const uint8_t* AFirst, size_t AStride, uint8_t AOut[16 * PixelBytes]) {
  for (int y = 0; y < 4; ++y)
    std::memcpy(AOut + y * 4 * PixelBytes, AFirst + y * AStride, 4 * PixelBytes);
}

template <int BlockBytes, int PixelBytes, class TEncode>
void ForEachSourceBlock(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks,
                        TEncode AEncode) {
  CheckBlockDimensions(AWidth, AHeight);
  const size_t stride = static_cast<size_t>(AWidth) * PixelBytes;
  uint8_t pixels[16 * PixelBytes];
  for (int32_t by = 0; by < AHeight / 4; ++by)
    for (int32_t bx = 0; bx < AWidth / 4; ++bx, ABlocks += BlockBytes) {
      GatherBlock<PixelBytes>(APixels + static_cast<size_t>(by) * 4 * stride +
                                  static_cast<size_t>(bx) * 4 * PixelBytes,
                              stride, pixels);
      AEncode(pixels, ABlocks);
    }
}

uint16_t Quantize565(const uint8_t* APixel) {
  const auto quantize = [](uint32_t AValue, uint32_t AMax) { return (AValue * AMax + 127) / 255; };
  return static_cast<uint16_t>(quantize(APixel[2], 31) << 11 | quantize(APixel[1], 63) << 5 |
                               quantize(APixel[0], 31));
}

void Store16(uint8_t* AAt, uint16_t AValue) {
  std::memcpy(AAt, &AValue, sizeof AValue);
}
void Store32(uint8_t* AAt, uint32_t AValue) {
  std::memcpy(AAt, &AValue, sizeof AValue);
}

// Encodes 16 A8R8G8B8 pixels into a colour block. ADxt1 allows the three-colour mode, which a
// block takes when one of its pixels has alpha below 128. Both searches are branch-free: a
// distance and its position form one key, so the largest (or smallest) key is the first pair (or
// entry) of the largest (or least) distance.
void EncodeColorBlock(const uint8_t APixels[64], bool ADxt1, uint8_t* ABlock) {
  int32_t r[16], g[16], b[16];
  bool transparent = false;
  for (int p = 0; p < 16; ++p) {
    b[p] = APixels[4 * p];
    g[p] = APixels[4 * p + 1];
    r[p] = APixels[4 * p + 2];
    transparent |= ADxt1 && APixels[4 * p + 3] < 128;
  }
  // Pair (i, j) has the scan position 16 i + j; its key is the distance above 255 - position.
  int32_t bestPair = -1;
  for (int i = 0; i < 15; ++i)
    for (int j = 0; j < 16; ++j) {
      const int32_t dr = r[i] - r[j], dg = g[i] - g[j], db = b[i] - b[j];
      const int32_t key = j > i ? (dr * dr + dg * dg + db * db) << 8 | (255 - (16 * i + j)) : -1;
      bestPair = std::max(bestPair, key);
    }
  const int position = 255 - (bestPair & 255);
  const uint16_t first = Quantize565(APixels + 4 * (position / 16)),
                 second = Quantize565(APixels + 4 * (position % 16));
  const uint16_t c0 = transparent ? std::min(first, second) : std::max(first, second);
  const uint16_t c1 = transparent ? std::max(first, second) : std::min(first, second);
  // The colours the decoder will derive; an opaque DXT1 block with equal words decodes in
  // three-colour mode, so its index 3 is off limits.
  const bool fourColors = !ADxt1 || c0 > c1;
  uint32_t palette[4];
  ColorPalette(c0, c1, fourColors, palette);
  int32_t pr[4], pg[4], pb[4];
  for (int k = 0; k < 4; ++k) {
    pb[k] = static_cast<int32_t>(palette[k] & 0xFF);
    pg[k] = static_cast<int32_t>((palette[k] >> 8) & 0xFF);
    pr[k] = static_cast<int32_t>((palette[k] >> 16) & 0xFF);
  }
  const int candidates = fourColors ? 4 : 3;
  uint32_t indices = 0;
  for (int p = 15; p >= 0; --p) {
    int32_t nearest = INT32_MAX;
    for (int k = 0; k < 4; ++k) {
      const int32_t dr = r[p] - pr[k], dg = g[p] - pg[k], db = b[p] - pb[k];
      const int32_t key = k < candidates ? (dr * dr + dg * dg + db * db) << 2 | k : INT32_MAX;
      nearest = std::min(nearest, key);
    }
    const bool clear = transparent && APixels[4 * p + 3] < 128;
    indices = indices << 2 | (clear ? 3u : static_cast<uint32_t>(nearest & 3));
  }
  Store16(ABlock, c0);
  Store16(ABlock + 2, c1);
  Store32(ABlock + 4, indices);
}

// Encodes 16 values, AStep bytes apart, into an alpha block: maximum and minimum as the two
// values, each pixel taking the first entry of least absolute difference.
void EncodeAlphaBlock(const uint8_t* AValues, int AStep, uint8_t* ABlock) {
  uint32_t high = 0, low = 255;
  for (int p = 0; p < 16; ++p) {
    high = std::max<uint32_t>(high, AValues[p * AStep]);
    low = std::min<uint32_t>(low, AValues[p * AStep]);
  }
  uint32_t palette[8];
  AlphaPalette(high, low, palette);
  uint64_t indices = 0;
  for (int p = 15; p >= 0; --p) {
    const int32_t value = AValues[p * AStep];
    uint64_t index = 0;
    int32_t nearest = INT32_MAX;
    for (int k = 0; k < 8; ++k) {
      const int32_t difference = std::abs(value - static_cast<int32_t>(palette[k]));
      if (difference < nearest) {
        nearest = difference;
        index = static_cast<uint64_t>(k);
      }
    }
    indices = indices << 3 | index;
  }
  ABlock[0] = static_cast<uint8_t>(high);
  ABlock[1] = static_cast<uint8_t>(low);
  std::memcpy(ABlock + 2, &indices, 6);
}

} // namespace

void EncodeDXT1(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks) {
  ForEachSourceBlock<8, 4>(APixels, AWidth, AHeight, ABlocks, [](const uint8_t* APixels, uint8_t* ABlock) {
    EncodeColorBlock(APixels, true, ABlock);
  });
}

void EncodeDXT3(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks) {
  ForEachSourceBlock<16, 4>(APixels, AWidth, AHeight, ABlocks, [](const uint8_t* APixels, uint8_t* ABlock) {
    for (int p = 0; p < 16; p += 2)
      ABlock[p / 2] = static_cast<uint8_t>((APixels[4 * p + 3] >> 4) | (APixels[4 * p + 7] & 0xF0));
    EncodeColorBlock(APixels, false, ABlock + 8);
  });
}

void EncodeDXT5(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks) {
  ForEachSourceBlock<16, 4>(APixels, AWidth, AHeight, ABlocks, [](const uint8_t* APixels, uint8_t* ABlock) {
    EncodeAlphaBlock(APixels + 3, 4, ABlock);
    EncodeColorBlock(APixels, false, ABlock + 8);
  });
}

void EncodeATI1N(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks) {
  ForEachSourceBlock<8, 1>(APixels, AWidth, AHeight, ABlocks, [](const uint8_t* APixels, uint8_t* ABlock) {
    EncodeAlphaBlock(APixels, 1, ABlock);
  });
}

void EncodeATI2N(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks) {
  ForEachSourceBlock<16, 4>(APixels, AWidth, AHeight, ABlocks, [](const uint8_t* APixels, uint8_t* ABlock) {
    EncodeAlphaBlock(APixels + 2, 4, ABlock);
    EncodeAlphaBlock(APixels + 1, 4, ABlock + 8);
  });
}

void EncodeBTC(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks) {
  ForEachSourceBlock<4, 1>(APixels, AWidth, AHeight, ABlocks, [](const uint8_t* APixels, uint8_t* ABlock) {
    uint32_t sum = 0;
    for (int p = 0; p < 16; ++p)
      sum += APixels[p];
    uint32_t sums[2] = {0, 0}, counts[2] = {0, 0};
    uint16_t mask = 0;
    for (int p = 0; p < 16; ++p) {
      const uint32_t above = 16u * APixels[p] > sum ? 1 : 0;
      mask = static_cast<uint16_t>(mask | above << p);
      sums[above] += APixels[p];
      ++counts[above];
    }
    for (int level = 0; level < 2; ++level)
      ABlock[level] =
          counts[level] ? static_cast<uint8_t>((sums[level] + counts[level] / 2) / counts[level]) : 0;
    Store16(ABlock + 2, mask);
  });
}

} // namespace vantrel
