#pragma once
// The format table with its pixel routines, half floats, the block decoders and encoders, the
// filter kernels with the resampler core, and the palette functions.

#include <cstdint>

#include "formats/Vantrel.Imaging.Types.h"

namespace vantrel {

// The row of a format id, or nullptr for an empty slot (also for ids outside 0..225). Slot 1 (the
// default format) holds the A8R8G8B8 row.
const TImageFormatDescriptor* FindFormatDescriptor(TImageFormat AFormat);

// Grey weights of red, green and blue.
inline constexpr double GrayWeightR = 0.299;
inline constexpr double GrayWeightG = 0.587;
inline constexpr double GrayWeightB = 0.114;

// IEEE binary16: rounds to nearest, ties to even; overflow gives infinity, NaN stays NaN.
uint16_t FloatToHalf(float AValue);
float HalfToFloat(uint16_t AValue);

// Float-to-integer steps: NaN gives 0, the range clamps, then half to even.
uint8_t RoundToByte(double AValue);
uint16_t RoundToWord(double AValue);
// 16 to 8 bits, rounded to nearest (c x 255 / 65535).
inline uint8_t WordToByte(uint32_t AValue) {
  return static_cast<uint8_t>((AValue + 128) / 257);
}
// The weighted grey of three channels of any scale.
inline double GrayOf(double AR, double AG, double AB) {
  return AB * GrayWeightB + AG * GrayWeightG + AR * GrayWeightR;
}

// The 64-bit working colour of plain and grey formats (neither paletted, float nor block
// compressed). Formats without alpha read A = 65535; grey formats read B = G = R = grey.
TColor64Rec ReadPixel64(const uint8_t* APixel, const TImageFormatDescriptor& AInfo);
void WritePixel64(uint8_t* APixel, const TImageFormatDescriptor& AInfo, TColor64Rec AColor);
// The 16-bit grey and alpha of a grey format (alpha 65535 without an alpha channel).
void ReadGrayPixel(const uint8_t* APixel, const TImageFormatDescriptor& AInfo, uint16_t& AGray,
                   uint16_t& AAlpha);
void WriteGrayPixel(uint8_t* APixel, const TImageFormatDescriptor& AInfo, uint16_t AGray, uint16_t AAlpha);

// Block decoders. AWidth and AHeight are the rounded dimensions (multiples of 4). DXT1, DXT3,
// DXT5 and ATI2N write A8R8G8B8 pixels, ATI1N and BTC Gray8.
void DecodeDXT1(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels);
void DecodeDXT3(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels);
void DecodeDXT5(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels);
void DecodeATI1N(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels);
void DecodeATI2N(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels);
void DecodeBTC(const uint8_t* ABlocks, int32_t AWidth, int32_t AHeight, uint8_t* APixels);

// Block encoders: DXT1, DXT3, DXT5 and ATI2N read A8R8G8B8, ATI1N and BTC read Gray8.
void EncodeDXT1(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks);
void EncodeDXT3(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks);
void EncodeDXT5(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks);
void EncodeATI1N(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks);
void EncodeATI2N(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks);
void EncodeBTC(const uint8_t* APixels, int32_t AWidth, int32_t AHeight, uint8_t* ABlocks);

// The ten filter kernels (0 box, 1 triangle, 2 cosine, 3 Hermite, 4 quadratic, 5 Gaussian,
// 6 cubic B-spline, 7 Lanczos, 8 Mitchell, 9 Catmull-Rom) and their support radii. The box takes
// the signed distance, the others its absolute value.
inline constexpr int32_t FilterKernelCount = 10;
double FilterKernel(int32_t AIndex, double AX);
double FilterKernelRadius(int32_t AIndex);

// A rectangle of an image, for the resampler core.
struct TImageRect {
  int32_t X, Y, Width, Height;
};

// Copies each destination pixel from the source pixel at start + ((i x step) >> 16), the steps
// being 16.16 fixed point. Both images have the same format; the rectangles lie inside them.
void StretchNearest(const TImageData& ASrc, const TImageRect& ASrcRect, TImageData& ADst,
                    const TImageRect& ADstRect);
// Filters the source rectangle into the destination rectangle with the kernel AKernel. Both images
// have the same plain, grey or float format; the rectangles lie inside them.
void StretchResample(const TImageData& ASrc, const TImageRect& ASrcRect, TImageData& ADst,
                     const TImageRect& ADstRect, int32_t AKernel);

// Reduces colours to a palette by median cut. Steps: 1 clears the colour table, 2 collects the
// source's colours, 4 builds APalette (AColorCount entries, clamped to 2..4096), 8 maps the pixels
// into ADst as indices. The table and the boxes live per thread between calls.
void ReducePaletteColors(int32_t APixelCount, const uint8_t* ASrc, const TImageFormatDescriptor& ASrcInfo,
                         uint8_t* ADst, const TImageFormatDescriptor& ADstInfo, int32_t AColorCount,
                         uint8_t AChannelMask, TColor32Rec* APalette, uint32_t ASteps = 15);
// The first entry equal to AColor, else the first with the least sum of channel differences below
// 1020 (0 when none is).
int32_t NearestPaletteIndex(const TColor32Rec* APalette, int32_t AEntries, TColor32Rec AColor);
// Entry i = (i, i, i, 255).
void MakeGrayPalette(TColor32Rec* APalette, int32_t AEntries);
// Swaps two channels (0 blue, 1 green, 2 red, 3 alpha) in every entry.
void SwapPaletteChannels(TColor32Rec* APalette, int32_t AEntries, int32_t ASrcChannel, int32_t ADstChannel);

} // namespace vantrel
