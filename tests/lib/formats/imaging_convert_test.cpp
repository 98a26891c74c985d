// Pixel routines, half floats, conversions between formats, block decoding, flips and swaps.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "image_test_support.h"

namespace {

using namespace vantrel;
namespace F = ImageFormatId;
using vtest::Hex;

// --- Conversion table ---------------------------------------------------------------------------------

struct TConversionCase {
  const char* Name;
  TImageFormat From;
  const char* Pixels;
  const char* Palette; // entries from index 0, 4 bytes each (B, G, R, A)
  std::vector<TImageFormat> Steps;
  const char* Expected;
  const char* ExpectedPalette = "";
};

const TConversionCase ConversionCases[] = {
    {"Gray8 to 88", F::Gray8, "80", "", {F::A8R8G8B8}, "80 80 80 FF"},
    {"R8G8B8 red to Gray8", F::R8G8B8, "00 00 FF", "", {F::Gray8}, "4C"},
    {"R5G6B5 white keeps 255", F::R5G6B5, "FF FF", "", {F::A8R8G8B8}, "FF FF FF FF"},
    {"R5G6B5 red", F::R5G6B5, "00 F8", "", {F::A8R8G8B8}, "00 00 FF FF"},
    {"A4R4G4B4", F::A4R4G4B4, "21 84", "", {F::A8R8G8B8}, "11 22 44 88"},
    {"A1R5G5B5 without alpha bit", F::A1R5G5B5, "FF 7F", "", {F::A8R8G8B8}, "FF FF FF 00"},
    {"Index8 white to X8R8G8B8", F::Index8, "00", "FF FF FF FF", {F::X8R8G8B8}, "FF FF FF FF"},
    {"Gray8 255 through Gray16", F::Gray8, "FF", "", {F::Gray16, F::A8R8G8B8}, "FF FF FF FF"},
    {"88 red 128 to R5G6B5", F::A8R8G8B8, "00 00 80 FF", "", {F::R5G6B5}, "00 80"},
    {"floats with NaN to 88",
     F::A32R32G32B32F,
     "0000C03F 000000BF 0000C07F 0000003F",
     "",
     {F::A8R8G8B8},
     "FF 00 00 80"},
    {"A16B16G16R16 to its twin",
     F::A16B16G16R16,
     "0100 0200 0300 0400",
     "",
     {F::A16R16G16B16},
     "0300 0200 0100 0400"},
    {"88 through R8G8B8",
     F::A8R8G8B8,
     "11 22 33 44 55 66 77 88",
     "",
     {F::R8G8B8, F::A8R8G8B8},
     "11 22 33 FF 55 66 77 FF"},
    {"Gray16 to Gray8 takes the high byte", F::Gray16, "AB 12", "", {F::Gray8}, "12"},
    {"A8Gray8 to 88", F::A8Gray8, "40 80", "", {F::A8R8G8B8}, "40 40 40 80"},
    // Paletted to every class.
    {"Index8 to Gray8", F::Index8, "00", "00 00 FF FF", {F::Gray8}, "4C"},
    {"Index8 to Gray16", F::Index8, "00", "00 00 FF FF", {F::Gray16}, "8B 4C"},
    {"Index8 to floats",
     F::Index8,
     "00",
     "FF 00 33 FF",
     {F::A32R32G32B32F},
     "0000803F 00000000 CDCC4C3E 0000803F"},
    {"Index8 to R8G8B8", F::Index8, "01", "00000000 11 22 33 44", {F::R8G8B8}, "11 22 33"},
    {"Index8 to 88", F::Index8, "01", "00000000 11 22 33 44", {F::A8R8G8B8}, "11 22 33 44"},
    {"Index8 to R5G6B5", F::Index8, "01", "00000000 11 22 33 44", {F::R5G6B5}, "02 31"},
    // Grey to every class.
    {"Gray8 to Index8", F::Gray8, "80", "", {F::Index8}, "80", "00 00 00 FF 01 01 01 FF 02 02 02 FF"},
    {"Gray16 to Index8", F::Gray16, "23 81", "", {F::Index8}, "81"},
    {"Gray8 to Gray16", F::Gray8, "12", "", {F::Gray16}, "12 12"},
    {"Gray16 to A16Gray16", F::Gray16, "34 12", "", {F::A16Gray16}, "34 12 FF FF"},
    {"Gray8 to Gray32", F::Gray8, "80", "", {F::Gray32}, "80 80 80 80"},
    {"Gray32 reads its high word", F::Gray32, "00 00 34 12", "", {F::Gray16}, "34 12"},
    {"Gray64 reads its high word", F::Gray64, "0000 0000 0000 3412", "", {F::Gray8}, "12"},
    {"Gray8 to R32F", F::Gray8, "33", "", {F::R32F}, "CDCC4C3E"},
    {"Gray8 to R8G8B8", F::Gray8, "80", "", {F::R8G8B8}, "80 80 80"},
    {"Gray16 to R16G16B16", F::Gray16, "34 12", "", {F::R16G16B16}, "3412 3412 3412"},
    // Floating point to every class.
    {"R32F to Index8", F::R32F, "0000803F", "", {F::Index8}, "00", "00 00 FF FF 00 00 00 FF"},
    {"floats to Gray8", F::A32R32G32B32F, "00000000 00000000 0000803F 0000803F", "", {F::Gray8}, "4C"},
    {"floats to halves",
     F::A32R32G32B32F,
     "0000803F 0000803F 0000803F 0000803F",
     "",
     {F::A16R16G16B16F},
     "003C 003C 003C 003C"},
    {"R16F to R8G8B8", F::R16F, "0038", "", {F::R8G8B8}, "00 00 80"},
    {"halves to floats, swapped",
     F::A16B16G16R16F,
     "003C 0000 0038 003C",
     "",
     {F::A32R32G32B32F},
     "0000003F 00000000 0000803F 0000803F"},
    // Plain to every class.
    {"R5G6B5 to Gray16", F::R5G6B5, "FF FF", "", {F::Gray16}, "FF FF"},
    {"88 to Gray8", F::A8R8G8B8, "00 00 FF 00", "", {F::Gray8}, "4C"},
    {"R8G8B8 to floats",
     F::R8G8B8,
     "FF 00 33",
     "",
     {F::A32R32G32B32F},
     "0000803F 00000000 CDCC4C3E 0000803F"},
    {"R8G8B8 to X8R8G8B8", F::R8G8B8, "11 22 33", "", {F::X8R8G8B8}, "11 22 33 00"},
    {"88 to R8G8B8", F::A8R8G8B8, "11 22 33 44", "", {F::R8G8B8}, "11 22 33"},
    {"R5G6B5 to A1R5G5B5", F::R5G6B5, "00 F8", "", {F::A1R5G5B5}, "00 FC"},
    {"X1R5G5B5 to A16R16G16B16", F::X1R5G5B5, "FF 7F", "", {F::A16R16G16B16}, "FFFF FFFF FFFF FFFF"},
    {"R3G3B2 to 88", F::R3G3B2, "E3", "", {F::A8R8G8B8}, "FF 00 FF FF"},
    {"X5R1G1B1 to 88", F::X5R1G1B1, "FE", "", {F::A8R8G8B8}, "00 FF FF FF"},
};

TEST(ImageConvert, ConversionTable) {
  for (const TConversionCase& c : ConversionCases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> pixels = Hex(c.Pixels), expected = Hex(c.Expected);
    const int32_t bytes = FindFormatDescriptor(c.From)->PixelBytes;
    TOwnedImageData image = vtest::MakeImage(static_cast<int32_t>(pixels.size()) / bytes, 1, c.From, pixels);
    const std::vector<uint8_t> palette = Hex(c.Palette);
    if (!palette.empty())
      std::memcpy(image->Palette, palette.data(), palette.size());
    for (const TImageFormat step : c.Steps)
      ASSERT_TRUE(ConvertImageData(image.Get(), step));
    EXPECT_EQ(image->Format, c.Steps.back());
    EXPECT_TRUE(IsImageDataValid(image.Get()));
    EXPECT_EQ(vtest::Bytes(image.Get()), expected);
    const std::vector<uint8_t> expectedPalette = Hex(c.ExpectedPalette);
    if (!expectedPalette.empty()) {
      ASSERT_NE(image->Palette, nullptr);
      const auto* entries = reinterpret_cast<const uint8_t*>(image->Palette);
      EXPECT_EQ(std::vector<uint8_t>(entries, entries + expectedPalette.size()), expectedPalette);
    }
  }
}

TEST(ImageConvert, SameFormatAndInvalidImages) {
  TOwnedImageData image = vtest::MakeImage(1, 1, F::A8R8G8B8, {1, 2, 3, 4});
  void* bits = image->Bits;
  EXPECT_TRUE(ConvertImageData(image.Get(), F::Default));
  EXPECT_EQ(image->Bits, bits);
  EXPECT_THROW(ConvertImageData(image.Get(), 2), EAssertionFailed);
  TImageData invalid{};
  EXPECT_FALSE(ConvertImageData(invalid, F::Gray8));
}

// Every conversion into A8R8G8B8 takes a loop of its own; each must give what the format's own
// 32-bit read gives.
TEST(ImageConvert, IntoA8R8G8B8EqualsThePixelRead) {
  std::mt19937 random(20);
  for (TImageFormat id = 0; id < F::SlotCount; ++id) {
    const TImageFormatDescriptor* info = FindFormatDescriptor(id);
    if (!info || info->FormatId != id || info->IsBlockCompressed)
      continue;
    SCOPED_TRACE(info->DisplayName);
    TOwnedImageData image = vtest::MakeImage(64, 1, id);
    for (int32_t i = 0; i < image->Size; ++i)
      static_cast<uint8_t*>(image->Bits)[i] = static_cast<uint8_t>(random());
    for (int i = 0; image->Palette && i < 256; ++i)
      image->Palette[i].Color = static_cast<uint32_t>(random());
    std::vector<TColor32Rec> expected;
    for (int32_t x = 0; x < 64; ++x)
      expected.push_back(info->ReadPixel32(static_cast<const uint8_t*>(image->Bits) + x * info->PixelBytes,
                                           *info, image->Palette));
    ASSERT_TRUE(ConvertImageData(image.Get(), F::A8R8G8B8));
    const auto* converted = static_cast<const TColor32Rec*>(image->Bits);
    for (int32_t x = 0; x < 64; ++x)
      ASSERT_EQ(converted[x].Color, expected[x].Color) << "pixel " << x;
  }
}

TEST(ImagePixels, EightBitValuesSurviveTheWideColour) {
  // Every 8-bit value written through the generic routines reads back unchanged.
  for (const TImageFormat id :
       {F::A16R16G16B16, F::R16G16B16, F::B16G16R16, F::Gray16, F::A16Gray16, F::Gray64}) {
    SCOPED_TRACE(id);
    const TImageFormatDescriptor& info = *FindFormatDescriptor(id);
    uint8_t pixel[8] = {};
    for (int v = 0; v < 256; ++v) {
      const auto value = static_cast<uint8_t>(v);
      const TColor32Rec color{{{value, value, value, value}}};
      info.WritePixel32(pixel, info, nullptr, color);
      const TColor32Rec back = info.ReadPixel32(pixel, info, nullptr);
      ASSERT_EQ(back.R, value);
      ASSERT_EQ(back.A, info.HasAlpha ? value : 255);
    }
  }
}

TEST(ImagePixels, X8R8G8B8KeepsItsFourthByte) {
  const TImageFormatDescriptor& info = *FindFormatDescriptor(F::X8R8G8B8);
  uint8_t pixel[4] = {0, 0, 0, 0x5A};
  info.WritePixel32(pixel, info, nullptr, TColor32Rec{{{1, 2, 3, 4}}});
  EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{1, 2, 3, 0x5A}));
  info.WritePixelFloat(pixel, info, nullptr, TColorFPRec{{{1, 0, 0.5f, 0}}});
  EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{255, 0, 128, 0x5A}));
}

TEST(ImagePixels, IndexWritesPickTheNearestEntry) {
  TOwnedImageData image = vtest::MakeImage(1, 1, F::Index8);
  image->Palette[3].Color = 0xFF00FF00;
  image->Palette[7].Color = 0xFFFF0000;
  const TImageFormatDescriptor& info = *FindFormatDescriptor(F::Index8);
  auto* pixel = static_cast<uint8_t*>(image->Bits);
  info.WritePixel32(pixel, info, image->Palette, TColor32Rec{{{10, 10, 240, 255}}});
  EXPECT_EQ(pixel[0], 7);
  info.WritePixelFloat(pixel, info, image->Palette, TColorFPRec{{{0, 1, 0, 1}}});
  EXPECT_EQ(pixel[0], 3);
}

// --- Half floats -----------------------------------------------------------------------------------

TEST(HalfFloat, Conversions) {
  struct TCase {
    float Value;
    uint16_t Half;
  };
  const TCase toHalf[] = {
      {1.0f, 0x3C00},
      {65504.0f, 0x7BFF},
      {65520.0f, 0x7C00},
      {1.0e6f, 0x7C00},
      {-65520.0f, 0xFC00},
      {std::ldexp(1.0f, -24), 1},
      {std::ldexp(1.0f, -25), 0},
      {std::ldexp(3.0f, -26), 1},
      {-0.0f, 0x8000},
      {std::ldexp(1.0f, -14), 0x0400},
      {std::ldexp(1023.5f, -24), 0x0400},
      {1.0f + std::ldexp(1.0f, -11), 0x3C00},
      {1.0f + std::ldexp(3.0f, -11), 0x3C02},
      {std::numeric_limits<float>::infinity(), 0x7C00},
      {std::numeric_limits<float>::denorm_min(), 0},
  };
  for (const TCase& c : toHalf) {
    SCOPED_TRACE(c.Value);
    EXPECT_EQ(FloatToHalf(c.Value), c.Half);
  }
  EXPECT_EQ(HalfToFloat(0x3C00), 1.0f);
  EXPECT_EQ(HalfToFloat(0x0001), std::ldexp(1.0f, -24));
  EXPECT_EQ(HalfToFloat(0x7C00), std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::signbit(HalfToFloat(0x8000)));
  const uint16_t nan = FloatToHalf(std::bit_cast<float>(0xFFC12345u));
  EXPECT_EQ(nan & 0xFE00, 0xFE00); // sign, exponent and quiet bit
  EXPECT_EQ(nan & 0x1FF, 0x12345u >> 13 & 0x1FF);
  EXPECT_EQ(FloatToHalf(std::bit_cast<float>(0x7F800001u)) & 0x7E00, 0x7E00);
  EXPECT_TRUE(std::isnan(HalfToFloat(0x7E00)));
}

TEST(HalfFloat, EveryHalfSurvivesTheRoundTrip) {
  for (uint32_t h = 0; h <= 0xFFFF; ++h) {
    const auto half = static_cast<uint16_t>(h);
    if ((half & 0x7C00) == 0x7C00 && (half & 0x3FF) != 0)
      ASSERT_EQ(FloatToHalf(HalfToFloat(half)), half | 0x0200) << h;
    else
      ASSERT_EQ(FloatToHalf(HalfToFloat(half)), half) << h;
  }
}

// --- Block decoders ---------------------------------------------------------------------------------

struct TBlockCase {
  const char* Name;
  TImageFormat Format;
  const char* Block;
  std::vector<const char*> Pixels; // 16 pixels, or one that every pixel has
};

const TBlockCase BlockCases[] = {
    {"DXT1 four colours, index 2", F::DXT1, "00 F8 1F 00 AA AA AA AA", {"55 00 AA FF"}},
    {"DXT1 three colours, index 3", F::DXT1, "1F 00 00 F8 FF FF FF FF", {"55 00 AA 00"}},
    {"DXT1 three colours, index 2", F::DXT1, "1F 00 00 F8 AA AA AA AA", {"7F 00 7F FF"}},
    {"DXT1 index bit order",
     F::DXT1,
     "00 F8 1F 00 E4 00 00 00",
     {"00 00 FF FF", "FF 00 00 FF", "55 00 AA FF", "AA 00 55 FF", "00 00 FF FF", "00 00 FF FF", "00 00 FF FF",
      "00 00 FF FF", "00 00 FF FF", "00 00 FF FF", "00 00 FF FF", "00 00 FF FF", "00 00 FF FF", "00 00 FF FF",
      "00 00 FF FF", "00 00 FF FF"}},
    {"DXT3 alpha nibbles",
     F::DXT3,
     "10 32 54 76 98 BA DC FE 00 F8 00 F8 00 00 00 00",
     {"00 00 FF 00", "00 00 FF 11", "00 00 FF 22", "00 00 FF 33", "00 00 FF 44", "00 00 FF 55", "00 00 FF 66",
      "00 00 FF 77", "00 00 FF 88", "00 00 FF 99", "00 00 FF AA", "00 00 FF BB", "00 00 FF CC", "00 00 FF DD",
      "00 00 FF EE", "00 00 FF FF"}},
    {"DXT5 eight alphas",
     F::DXT5,
     "C8 64 88 C6 FA 88 C6 FA 1F 00 1F 00 00 00 00 00",
     {"FF 00 00 C8", "FF 00 00 64", "FF 00 00 BA", "FF 00 00 AB", "FF 00 00 9D", "FF 00 00 8F", "FF 00 00 81",
      "FF 00 00 72", "FF 00 00 C8", "FF 00 00 64", "FF 00 00 BA", "FF 00 00 AB", "FF 00 00 9D", "FF 00 00 8F",
      "FF 00 00 81", "FF 00 00 72"}},
    {"DXT5 six alphas",
     F::DXT5,
     "64 C8 88 C6 FA 88 C6 FA 1F 00 1F 00 00 00 00 00",
     {"FF 00 00 64", "FF 00 00 C8", "FF 00 00 78", "FF 00 00 8C", "FF 00 00 A0", "FF 00 00 B4", "FF 00 00 00",
      "FF 00 00 FF", "FF 00 00 64", "FF 00 00 C8", "FF 00 00 78", "FF 00 00 8C", "FF 00 00 A0", "FF 00 00 B4",
      "FF 00 00 00", "FF 00 00 FF"}},
    {"ATI1N",
     F::ATI1N,
     "C8 64 88 C6 FA 88 C6 FA",
     {"C8", "64", "BA", "AB", "9D", "8F", "81", "72", "C8", "64", "BA", "AB", "9D", "8F", "81", "72"}},
    {"ATI2N",
     F::ATI2N,
     "C8 64 88 C6 FA 88 C6 FA 40 40 00 00 00 00 00 00",
     {"00 40 C8 FF", "00 40 64 FF", "00 40 BA FF", "00 40 AB FF", "00 40 9D FF", "00 40 8F FF", "00 40 81 FF",
      "00 40 72 FF", "00 40 C8 FF", "00 40 64 FF", "00 40 BA FF", "00 40 AB FF", "00 40 9D FF", "00 40 8F FF",
      "00 40 81 FF", "00 40 72 FF"}},
    {"BTC",
     F::BTC,
     "10 F0 0F 00",
     {"F0", "F0", "F0", "F0", "10", "10", "10", "10", "10", "10", "10", "10", "10", "10", "10", "10"}},
};

TEST(BlockDecoders, GoldenBlocks) {
  for (const TBlockCase& c : BlockCases) {
    SCOPED_TRACE(c.Name);
    TOwnedImageData image = vtest::MakeImage(4, 4, c.Format, Hex(c.Block));
    ASSERT_TRUE(ConvertImageData(image.Get(), FindFormatDescriptor(c.Format)->NearestPlainFormat));
    const std::vector<uint8_t> pixels = vtest::Bytes(image.Get());
    const size_t bytes = pixels.size() / 16;
    for (size_t p = 0; p < 16; ++p) {
      const std::vector<uint8_t> expected = Hex(c.Pixels[c.Pixels.size() == 1 ? 0 : p]);
      EXPECT_EQ(std::vector<uint8_t>(pixels.begin() + static_cast<ptrdiff_t>(p * bytes),
                                     pixels.begin() + static_cast<ptrdiff_t>((p + 1) * bytes)),
                expected)
          << "pixel " << p;
    }
  }
}

TEST(BlockDecoders, BlocksLieInRowsOfBlocks) {
  // An 8x8 DXT1 image of four one-colour blocks: red, blue / green, white.
  TOwnedImageData image = vtest::MakeImage(8, 8, F::DXT1,
                                           Hex("00F8 00F8 00000000 1F00 1F00 00000000 E007 E007 00000000 "
                                               "FFFF FFFF 00000000"));
  ASSERT_TRUE(ConvertImageData(image.Get(), F::A8R8G8B8));
  EXPECT_EQ(vtest::PixelBGRA(image.Get(), 3, 3), Hex("00 00 FF FF"));
  EXPECT_EQ(vtest::PixelBGRA(image.Get(), 4, 0), Hex("FF 00 00 FF"));
  EXPECT_EQ(vtest::PixelBGRA(image.Get(), 0, 4), Hex("00 FF 00 FF"));
  EXPECT_EQ(vtest::PixelBGRA(image.Get(), 7, 7), Hex("FF FF FF FF"));
}

TEST(BlockDecoders, ConversionsFromBlocks) {
  const std::vector<uint8_t> dxt5 = Hex("C8 64 88 C6 FA 88 C6 FA 1F 00 00 F8 E4 E4 E4 E4");
  TOwnedImageData image = vtest::MakeImage(4, 4, F::DXT5, dxt5);
  std::vector<uint8_t> decoded(64);
  DecodeDXT5(dxt5.data(), 4, 4, decoded.data());
  ASSERT_TRUE(ConvertImageData(image.Get(), F::A8R8G8B8));
  EXPECT_EQ(vtest::Bytes(image.Get()), decoded);

  TOwnedImageData grey = vtest::MakeImage(4, 4, F::DXT1, Hex("00 F8 1F 00 AA AA AA AA"));
  ASSERT_TRUE(ConvertImageData(grey.Get(), F::Gray8));
  EXPECT_EQ(grey->Format, F::Gray8);
  const auto expected = static_cast<uint8_t>(std::nearbyint(GrayOf(170, 0, 85)));
  EXPECT_EQ(vtest::Bytes(grey.Get()), std::vector<uint8_t>(16, expected));

  TOwnedImageData odd = vtest::MakeImage(5, 3, F::DXT1);
  ASSERT_TRUE(ConvertImageData(odd.Get(), F::A8R8G8B8));
  EXPECT_EQ(odd->Width, 8);
  EXPECT_EQ(odd->Height, 4);
  EXPECT_TRUE(IsImageDataValid(odd.Get()));
}

TEST(BlockDecoders, SidesMustBeMultiplesOfFour) {
  uint8_t block[16] = {}, pixels[64] = {};
  EXPECT_THROW(DecodeDXT1(block, 4, 3, pixels), EAssertionFailed);
  EXPECT_THROW(EncodeBTC(pixels, 6, 4, block), EAssertionFailed);
}

// --- Flip and swap -------------------------------------------------------------------------------------

TEST(ImageFlip, RowsAndBlocks) {
  TOwnedImageData column = vtest::MakeImage(1, 3, F::Gray8, {1, 2, 3});
  FlipImageData(column.Get());
  EXPECT_EQ(vtest::Bytes(column.Get()), (std::vector<uint8_t>{3, 2, 1}));

  TOwnedImageData rows = vtest::MakeImage(2, 2, F::R8G8B8, Hex("010203 040506 0708 09 0A0B0C"));
  FlipImageData(rows.Get());
  EXPECT_EQ(vtest::Bytes(rows.Get()), Hex("0708 09 0A0B0C 010203 040506"));

  TOwnedImageData block = vtest::MakeImage(4, 4, F::A8R8G8B8);
  for (int p = 0; p < 16; ++p)
    static_cast<TColor32Rec*>(block->Bits)[p].Color = 0xFF3366CC;
  ASSERT_TRUE(ConvertImageData(block.Get(), F::DXT1));
  const std::vector<uint8_t> before = vtest::Bytes(block.Get());
  FlipImageData(block.Get());
  FlipImageData(block.Get());
  EXPECT_EQ(block->Format, F::DXT1);
  EXPECT_EQ(vtest::Bytes(block.Get()), before);
}

TEST(ImageSwap, ChannelsOfEveryKind) {
  struct TCase {
    const char* Name;
    TImageFormat Format;
    const char* Pixels;
    int32_t From, To;
    const char* Expected;
  };
  const TCase cases[] = {
      {"88 blue and red", F::A8R8G8B8, "11 22 33 44", 0, 2, "33 22 11 44"},
      {"88 blue and alpha", F::A8R8G8B8, "11 22 33 44", 0, 3, "44 22 33 11"},
      {"R8G8B8", F::R8G8B8, "11 22 33", 2, 0, "33 22 11"},
      {"R8G8B8 with alpha stays inside the pixel", F::R8G8B8, "11 22 33 44 55 66", 3, 0, "FF 22 33 FF 55 66"},
      {"A8Gray8 grey and alpha", F::A8Gray8, "40 80", 3, 1, "80 40"},
      {"A16Gray16 grey and alpha", F::A16Gray16, "3412 7856", 0, 3, "7856 3412"},
      {"A16R16G16B16", F::A16R16G16B16, "0100 0200 0300 0400", 1, 3, "0100 0400 0300 0200"},
      {"floats", F::A32R32G32B32F, "0000803F 00000000 0000003F 00000000", 0, 2,
       "0000003F 00000000 0000803F 00000000"},
      {"equal channels", F::A8R8G8B8, "11 22 33 44", 1, 1, "11 22 33 44"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> pixels = Hex(c.Pixels);
    const auto width = static_cast<int32_t>(pixels.size()) / FindFormatDescriptor(c.Format)->PixelBytes;
    TOwnedImageData image = vtest::MakeImage(width, 1, c.Format, pixels);
    SwapImageChannels(image.Get(), c.From, c.To);
    EXPECT_EQ(vtest::Bytes(image.Get()), Hex(c.Expected));
  }
}

TEST(ImageSwap, PalettesBlocksAndBadChannels) {
  TOwnedImageData paletted = vtest::MakeImage(1, 1, F::Index8, {5});
  paletted->Palette[5].Color = 0x44332211;
  SwapImageChannels(paletted.Get(), 0, 2);
  EXPECT_EQ(paletted->Palette[5].Color, 0x44112233u);
  EXPECT_EQ(vtest::Bytes(paletted.Get()), std::vector<uint8_t>{5});

  TOwnedImageData block = vtest::MakeImage(4, 4, F::DXT1, Hex("00 F8 00 F8 00 00 00 00"));
  SwapImageChannels(block.Get(), 2, 0);
  EXPECT_EQ(block->Format, F::DXT1);
  EXPECT_EQ(vtest::Bytes(block.Get()), Hex("1F 00 1F 00 00 00 00 00"));

  EXPECT_THROW(SwapImageChannels(paletted.Get(), 4, 0), EAssertionFailed);
  EXPECT_THROW(SwapImageChannels(paletted.Get(), 0, -1), EAssertionFailed);
}

} // namespace
