// Resizing, rectangle copies, palette reduction and the block encoders.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "image_test_support.h"

namespace {

using namespace vantrel;
namespace F = ImageFormatId;
using vtest::Hex;

TColor32Rec Rgba(uint8_t AR, uint8_t AG, uint8_t AB, uint8_t AA = 255) {
  return TColor32Rec{{{AB, AG, AR, AA}}};
}

// --- Resize -----------------------------------------------------------------------------------------

TEST(ImageResize, BilinearHalvingIsSymmetric) {
  std::vector<uint8_t> rows;
  for (const uint8_t value : {0, 64, 128, 192})
    rows.insert(rows.end(), 12, value);
  TOwnedImageData image = vtest::MakeImage(4, 4, F::R8G8B8, rows);
  ASSERT_TRUE(ResizeImageData(image.Get(), 2, 2, TResizeFilter::Bilinear));
  EXPECT_EQ(image->Width, 2);
  EXPECT_EQ(image->Height, 2);
  std::vector<uint8_t> expected(6, 40);
  expected.insert(expected.end(), 6, 152);
  EXPECT_EQ(vtest::Bytes(image.Get()), expected);
}

TEST(ImageResize, SameSizeChangesNothing) {
  TOwnedImageData image = vtest::MakeImage(2, 1, F::Gray8, {7, 9});
  void* bits = image->Bits;
  EXPECT_FALSE(ResizeImageData(image.Get(), 2, 1, TResizeFilter::Bicubic));
  EXPECT_EQ(image->Bits, bits);
  EXPECT_EQ(vtest::Bytes(image.Get()), (std::vector<uint8_t>{7, 9}));
  EXPECT_THROW(ResizeImageData(image.Get(), 0, 1, TResizeFilter::Nearest), EAssertionFailed);
  TImageData invalid{};
  EXPECT_FALSE(ResizeImageData(invalid, 3, 3, TResizeFilter::Nearest));
}

TEST(ImageResize, FlatAreasStayFlat) {
  struct TCase {
    TImageFormat Format;
    int32_t Width, Height;
    TResizeFilter Filter;
  };
  const TCase cases[] = {
      {F::A8R8G8B8, 3, 2, TResizeFilter::Bicubic},  {F::A8R8G8B8, 11, 9, TResizeFilter::Bicubic},
      {F::R8G8B8, 3, 2, TResizeFilter::Bilinear},   {F::Gray8, 11, 9, TResizeFilter::Bicubic},
      {F::A8R8G8B8, 13, 2, TResizeFilter::Nearest},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Format << " " << c.Width << "x" << c.Height);
    TOwnedImageData image = vtest::MakeImage(7, 5, c.Format);
    std::memset(image->Bits, 255, static_cast<size_t>(image->Size));
    ASSERT_TRUE(ResizeImageData(image.Get(), c.Width, c.Height, c.Filter));
    EXPECT_EQ(vtest::Bytes(image.Get()), std::vector<uint8_t>(static_cast<size_t>(image->Size), 255));
  }
}

TEST(ImageResize, FloatFormatsFilterInFloat) {
  const float values[4] = {0, 0.25f, 0.5f, 0.75f};
  TOwnedImageData image = vtest::MakeImage(4, 1, F::A32R32G32B32F);
  auto* pixels = static_cast<TColorFPRec*>(image->Bits);
  for (int x = 0; x < 4; ++x)
    pixels[x] = TColorFPRec{{{0, 0, values[x], 1}}};
  ASSERT_TRUE(ResizeImageData(image.Get(), 2, 1, TResizeFilter::Bilinear));
  pixels = static_cast<TColorFPRec*>(image->Bits);
  EXPECT_FLOAT_EQ(pixels[0].R, 0.15625f);
  EXPECT_FLOAT_EQ(pixels[1].R, 0.59375f);
  EXPECT_FLOAT_EQ(pixels[1].A, 1.0f);
}

TEST(ImageResize, NearestStepsFromTheFirstPixel) {
  TOwnedImageData image = vtest::MakeImage(3, 1, F::Gray8, {10, 20, 30});
  ASSERT_TRUE(ResizeImageData(image.Get(), 2, 1, TResizeFilter::Nearest));
  EXPECT_EQ(vtest::Bytes(image.Get()), (std::vector<uint8_t>{10, 20}));
  ASSERT_TRUE(ResizeImageData(image.Get(), 5, 1, TResizeFilter::Nearest));
  EXPECT_EQ(vtest::Bytes(image.Get()), (std::vector<uint8_t>{10, 10, 10, 20, 20}));
}

TEST(ImageResize, PalettesAndBlocksCarryOver) {
  TOwnedImageData paletted = vtest::MakeImage(2, 2, F::Index8, {1, 2, 3, 4});
  paletted->Palette[4].Color = 0xFF123456;
  ASSERT_TRUE(ResizeImageData(paletted.Get(), 4, 4, TResizeFilter::Bicubic));
  EXPECT_EQ(paletted->Palette[4].Color, 0xFF123456u);
  EXPECT_EQ(static_cast<uint8_t*>(paletted->Bits)[15], 4);

  TOwnedImageData block = vtest::MakeImage(4, 4, F::DXT1, Hex("00 F8 00 F8 00 00 00 00"));
  ASSERT_TRUE(ResizeImageData(block.Get(), 8, 8, TResizeFilter::Bilinear));
  EXPECT_EQ(block->Format, F::DXT1);
  EXPECT_EQ(block->Size, 32);
  ASSERT_TRUE(ConvertImageData(block.Get(), F::A8R8G8B8));
  EXPECT_EQ(vtest::PixelBGRA(block.Get(), 7, 7), Hex("00 00 FF FF"));
}

TEST(FilterKernels, ValuesAndRadii) {
  EXPECT_EQ(FilterKernel(0, 0.5), 1);
  EXPECT_EQ(FilterKernel(0, -0.5), 0);
  EXPECT_EQ(FilterKernel(1, -0.25), 0.75);
  EXPECT_EQ(FilterKernel(1, 1), 0);
  EXPECT_DOUBLE_EQ(FilterKernel(9, 0), 1);
  EXPECT_DOUBLE_EQ(FilterKernel(9, 1), 0);
  EXPECT_DOUBLE_EQ(FilterKernel(9, 1.5), -0.0625);
  EXPECT_DOUBLE_EQ(FilterKernel(7, 0), 1);
  EXPECT_DOUBLE_EQ(FilterKernel(6, 0), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(FilterKernel(8, 0), 8.0 / 9.0);
  EXPECT_DOUBLE_EQ(FilterKernel(4, 1), 0.125);
  const double radii[FilterKernelCount] = {1, 1, 1, 1, 1.5, 1.25, 2, 3, 2, 2};
  for (int32_t k = 0; k < FilterKernelCount; ++k)
    EXPECT_EQ(FilterKernelRadius(k), radii[k]) << k;
  EXPECT_THROW(FilterKernelRadius(10), EAssertionFailed);
}

// --- Rectangles -------------------------------------------------------------------------------------

// A 4x4 Gray8 source of 0..15 and a 4x4 destination of 0xEE.
struct TRectFixture {
  TOwnedImageData Src = vtest::MakeImage(4, 4, F::Gray8, Hex("00010203 04050607 08090A0B 0C0D0E0F"));
  TOwnedImageData Dst = vtest::MakeImage(4, 4, F::Gray8, std::vector<uint8_t>(16, 0xEE));
};

TEST(ImageRect, CopyClipsBothSides) {
  struct TCase {
    const char* Name;
    int32_t SrcX, SrcY, Width, Height, DstX, DstY;
    const char* Expected; // empty: nothing is copied
  };
  const TCase cases[] = {
      {"negative source offset", -1, 0, 2, 1, 0, 0, "EE00EEEE EEEEEEEE EEEEEEEE EEEEEEEE"},
      {"negative destination offset", 0, 0, 4, 4, -2, -1, "0607EEEE 0A0BEEEE 0E0FEEEE EEEEEEEE"},
      {"partly outside both", 2, 2, 5, 5, 1, 0, "EE0A0BEE EE0E0FEE EEEEEEEE EEEEEEEE"},
      {"whole", 0, 0, 4, 4, 0, 0, "00010203 04050607 08090A0B 0C0D0E0F"},
      {"source right of the image", 4, 0, 1, 1, 0, 0, ""},
      {"destination below the image", 0, 0, 2, 2, 0, 4, ""},
      {"cut away entirely", -3, 0, 2, 2, 0, 0, ""},
      {"zero width", 0, 0, 0, 2, 0, 0, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRectFixture f;
    const bool copied =
        CopyImageRect(f.Src.Get(), c.SrcX, c.SrcY, c.Width, c.Height, f.Dst.Get(), c.DstX, c.DstY);
    EXPECT_EQ(copied, *c.Expected != 0);
    EXPECT_EQ(vtest::Bytes(f.Dst.Get()), *c.Expected ? Hex(c.Expected) : std::vector<uint8_t>(16, 0xEE));
  }
}

TEST(ImageRect, StretchClipsInProportion) {
  TRectFixture f;
  // 4 source pixels onto 8 destination pixels starting at -2: one source column and the
  // destination's overhang are cut, leaving source (1, 0, 2, 2) on the whole destination.
  ASSERT_TRUE(StretchImageRect(f.Src.Get(), 0, 0, 4, 4, f.Dst.Get(), -2, 0, 8, 8, TResizeFilter::Nearest));
  EXPECT_EQ(vtest::Bytes(f.Dst.Get()), Hex("01010202 01010202 05050606 05050606"));
  TRectFixture g;
  EXPECT_FALSE(StretchImageRect(g.Src.Get(), 0, 0, 4, 4, g.Dst.Get(), 4, 0, 2, 2, TResizeFilter::Bilinear));
  EXPECT_FALSE(StretchImageRect(g.Src.Get(), 0, 0, 0, 4, g.Dst.Get(), 0, 0, 2, 2, TResizeFilter::Bilinear));
  EXPECT_EQ(vtest::Bytes(g.Dst.Get()), std::vector<uint8_t>(16, 0xEE));
}

TEST(ImageRect, StretchOfEqualSizesIsACopy) {
  for (const TResizeFilter filter :
       {TResizeFilter::Nearest, TResizeFilter::Bilinear, TResizeFilter::Bicubic}) {
    TRectFixture stretched, copied;
    ASSERT_TRUE(StretchImageRect(stretched.Src.Get(), 1, 1, 2, 3, stretched.Dst.Get(), 2, 0, 2, 3, filter));
    ASSERT_TRUE(CopyImageRect(copied.Src.Get(), 1, 1, 2, 3, copied.Dst.Get(), 2, 0));
    EXPECT_EQ(vtest::Bytes(stretched.Dst.Get()), vtest::Bytes(copied.Dst.Get()));
  }
}

TEST(ImageRect, SourcesAreConvertedToTheDestination) {
  TOwnedImageData rgb = vtest::MakeImage(1, 1, F::R8G8B8, Hex("11 22 33"));
  TOwnedImageData argb = vtest::MakeImage(2, 1, F::A8R8G8B8);
  ASSERT_TRUE(CopyImageRect(rgb.Get(), 0, 0, 1, 1, argb.Get(), 1, 0));
  EXPECT_EQ(vtest::Bytes(argb.Get()), Hex("00000000 112233FF"));
  EXPECT_EQ(rgb->Format, F::R8G8B8);

  TOwnedImageData red = vtest::MakeImage(4, 4, F::A8R8G8B8);
  for (int p = 0; p < 16; ++p)
    static_cast<TColor32Rec*>(red->Bits)[p].Color = 0xFFFF0000;
  TOwnedImageData block = vtest::MakeImage(8, 8, F::DXT1);
  ASSERT_TRUE(CopyImageRect(red.Get(), 0, 0, 4, 4, block.Get(), 4, 4));
  EXPECT_EQ(block->Format, F::DXT1);
  EXPECT_TRUE(IsImageDataValid(block.Get()));
  ASSERT_TRUE(ConvertImageData(block.Get(), F::A8R8G8B8));
  EXPECT_EQ(vtest::PixelBGRA(block.Get(), 5, 5), Hex("00 00 FF FF"));
  EXPECT_EQ(vtest::PixelBGRA(block.Get(), 0, 0), Hex("00 00 00 FF"));
}

// Indices copied into a paletted image refer to that image's palette.
TEST(ImageRect, ColoursCopiedIntoAPaletteTakeItsNearestEntries) {
  TOwnedImageData paletted = vtest::MakeImage(2, 1, F::Index8);
  paletted->Palette[3].Color = 0xFFFF0000;
  paletted->Palette[9].Color = 0xFF0000FF;
  TOwnedImageData colours = vtest::MakeImage(2, 1, F::A8R8G8B8, Hex("0000F0FF F00000FF"));
  ASSERT_TRUE(CopyImageRect(colours.Get(), 0, 0, 2, 1, paletted.Get(), 0, 0));
  EXPECT_EQ(vtest::Bytes(paletted.Get()), (std::vector<uint8_t>{3, 9}));
  EXPECT_EQ(paletted->Palette[3].Color, 0xFFFF0000u);
}

// --- Palettes -----------------------------------------------------------------------------------------

TEST(PaletteReduction, ThreeColoursOrderedByFrequency) {
  const std::vector<uint8_t> pixels = Hex("0000FF 0000FF 00FF00 0000FF FF0000 00FF00 0000FF 00FF00 0000FF");
  TOwnedImageData image = vtest::MakeImage(3, 3, F::R8G8B8, pixels);
  ASSERT_TRUE(ConvertImageData(image.Get(), F::Index8));
  EXPECT_EQ(image->Palette[0].Color, 0xFFFF0000u);
  EXPECT_EQ(image->Palette[1].Color, 0xFF00FF00u);
  EXPECT_EQ(image->Palette[2].Color, 0xFF0000FFu);
  for (int i = 3; i < 256; ++i)
    ASSERT_EQ(image->Palette[i].Color, 0xFF000000u) << i;
  EXPECT_EQ(vtest::Bytes(image.Get()), (std::vector<uint8_t>{0, 0, 1, 0, 2, 1, 0, 1, 0}));
}

TEST(PaletteReduction, BoxesSplitOnTheWidestWeightedChannel) {
  // Black x3, (10, 10, 10), white x2 and (250, 250, 250) into two entries: green splits at 127.
  const std::vector<uint8_t> pixels = Hex("000000FF 000000FF 000000FF 0A0A0AFF FFFFFFFF FFFFFFFF FAFAFAFF");
  const TImageFormatDescriptor& argb = *FindFormatDescriptor(F::A8R8G8B8);
  const TImageFormatDescriptor& index = *FindFormatDescriptor(F::Index8);
  std::vector<uint8_t> indices(7);
  TColor32Rec palette[2];
  ReducePaletteColors(7, pixels.data(), argb, indices.data(), index, 2, 0xFF, palette);
  EXPECT_EQ(palette[0].Color, 0xFF030303u);
  EXPECT_EQ(palette[1].Color, 0xFFFDFDFDu);
  EXPECT_EQ(indices, (std::vector<uint8_t>{0, 0, 0, 0, 1, 1, 1}));
}

TEST(PaletteReduction, StepsMayRunInSeparateCalls) {
  const TImageFormatDescriptor& argb = *FindFormatDescriptor(F::A8R8G8B8);
  const TImageFormatDescriptor& index = *FindFormatDescriptor(F::Index8);
  const std::vector<uint8_t> first = Hex("0000FFFF 0000FFFF"), second = Hex("FF0000FF");
  TColor32Rec palette[4];
  std::vector<uint8_t> indices(2);
  ReducePaletteColors(2, first.data(), argb, nullptr, index, 4, 0xFF, palette, 1 | 2);
  ReducePaletteColors(1, second.data(), argb, nullptr, index, 4, 0xFF, palette, 2 | 4);
  ReducePaletteColors(1, second.data(), argb, indices.data(), index, 4, 0xFF, palette, 8);
  EXPECT_EQ(palette[0].Color, 0xFFFF0000u);
  EXPECT_EQ(palette[1].Color, 0xFF0000FFu);
  EXPECT_EQ(palette[2].Color, 0xFF000000u);
  EXPECT_EQ(indices[0], 1);
  EXPECT_THROW(ReducePaletteColors(1, second.data(), index, nullptr, index, 4, 0xFF, palette, 2),
               EAssertionFailed);
}

TEST(PaletteReduction, ChannelMaskOfTheOption) {
  const std::vector<uint8_t> pixels = Hex("121212FF 1F1F1FFF");
  TOwnedImageData full = vtest::MakeImage(2, 1, F::A8R8G8B8, pixels);
  ASSERT_TRUE(ConvertImageData(full.Get(), F::Index8));
  EXPECT_EQ(full->Palette[0].Color, 0xFF121212u); // both greys kept, one pixel each
  EXPECT_EQ(full->Palette[1].Color, 0xFF1F1F1Fu);
  ImagingColorReductionMask = 0xF0;
  TOwnedImageData masked = vtest::MakeImage(2, 1, F::A8R8G8B8, pixels);
  const bool converted = ConvertImageData(masked.Get(), F::Index8);
  ImagingColorReductionMask = 255;
  ASSERT_TRUE(converted);
  EXPECT_EQ(masked->Palette[0].Color, 0xF0101010u);
  EXPECT_EQ(masked->Palette[1].Color, 0xFF000000u);
  EXPECT_EQ(vtest::Bytes(masked.Get()), (std::vector<uint8_t>{0, 0}));
}

TEST(PaletteHelpers, NearestIndexGrayAndSwap) {
  TColor32Rec palette[4] = {Rgba(0, 0, 0), Rgba(200, 0, 0), Rgba(200, 0, 0), Rgba(100, 100, 100)};
  EXPECT_EQ(NearestPaletteIndex(palette, 4, Rgba(200, 0, 0)), 1);
  EXPECT_EQ(NearestPaletteIndex(palette, 4, Rgba(190, 0, 0)), 1);
  EXPECT_EQ(NearestPaletteIndex(palette, 4, Rgba(90, 90, 90)), 3);
  TColor32Rec white[3] = {Rgba(255, 255, 255), Rgba(255, 255, 255), Rgba(255, 255, 255)};
  EXPECT_EQ(NearestPaletteIndex(white, 3, Rgba(0, 0, 0, 0)), 0);
  EXPECT_EQ(NearestPaletteIndex(white, 3, Rgba(0, 0, 0, 1)), 0);

  TColor32Rec gray[256];
  MakeGrayPalette(gray, 256);
  EXPECT_EQ(gray[0].Color, 0xFF000000u);
  EXPECT_EQ(gray[0x7F].Color, 0xFF7F7F7Fu);
  EXPECT_EQ(gray[255].Color, 0xFFFFFFFFu);

  SwapPaletteChannels(palette, 4, 2, 3);
  EXPECT_EQ(palette[1].Color, Rgba(255, 0, 0, 200).Color);
  EXPECT_THROW(SwapPaletteChannels(palette, 4, 0, 4), EAssertionFailed);
}

// --- Encoders --------------------------------------------------------------------------------------------

std::vector<uint8_t> Block(const std::vector<TColor32Rec>& APixels) {
  std::vector<uint8_t> bytes(64);
  std::memcpy(bytes.data(), APixels.data(), 64);
  return bytes;
}

std::vector<TColor32Rec> HalfAndHalf(TColor32Rec ATop, TColor32Rec ABottom) {
  std::vector<TColor32Rec> pixels(16, ABottom);
  std::fill(pixels.begin(), pixels.begin() + 8, ATop);
  return pixels;
}

TEST(BlockEncoders, GoldenBlocks) {
  struct TCase {
    const char* Name;
    void (*Encode)(const uint8_t*, int32_t, int32_t, uint8_t*);
    std::vector<uint8_t> Pixels;
    const char* Expected;
  };
  std::vector<uint8_t> alphaNibbles = Block(std::vector<TColor32Rec>(16, Rgba(0, 0, 0)));
  for (int p = 0; p < 16; ++p)
    alphaNibbles[4 * p + 3] = static_cast<uint8_t>(p * 16 + 9);
  std::vector<uint8_t> greys(16, 0);
  std::fill(greys.begin() + 8, greys.end(), 200);
  const TCase cases[] = {
      {"DXT1 one colour", EncodeDXT1, Block(std::vector<TColor32Rec>(16, Rgba(255, 0, 0))),
       "00F8 00F8 00000000"},
      {"DXT1 black over white", EncodeDXT1, Block(HalfAndHalf(Rgba(0, 0, 0), Rgba(255, 255, 255))),
       "FFFF 0000 5555 0000"},
      {"DXT1 transparent black over white", EncodeDXT1,
       Block(HalfAndHalf(Rgba(0, 0, 0, 0), Rgba(255, 255, 255))), "0000 FFFF FFFF 5555"},
      {"DXT5 opaque", EncodeDXT5, Block(std::vector<TColor32Rec>(16, Rgba(255, 0, 0))),
       "FF FF 000000000000 00F8 00F8 00000000"},
      {"DXT3 alpha nibbles", EncodeDXT3, alphaNibbles, "10 32 54 76 98 BA DC FE 0000 0000 00000000"},
      {"BTC two levels", EncodeBTC, greys, "00 C8 00 FF"},
      {"ATI1N one value", EncodeATI1N, std::vector<uint8_t>(16, 0x40), "40 40 000000000000"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<uint8_t> block(Hex(c.Expected).size());
    c.Encode(c.Pixels.data(), 4, 4, block.data());
    EXPECT_EQ(block, Hex(c.Expected));
  }
}

TEST(BlockEncoders, BlockOfItsOwnPaletteDecodesExactly) {
  // Red, blue and the two colours between them, as the decoder derives them.
  const std::vector<TColor32Rec> four = {Rgba(255, 0, 0), Rgba(0, 0, 255), Rgba(170, 0, 85),
                                         Rgba(85, 0, 170)};
  std::vector<TColor32Rec> pixels;
  for (int p = 0; p < 16; ++p)
    pixels.push_back(four[(p * 7) % 4]);
  const std::vector<uint8_t> source = Block(pixels);
  using TCodec = void (*)(const uint8_t*, int32_t, int32_t, uint8_t*);
  struct TCase {
    TCodec Encode, Decode;
    size_t Size;
  };
  for (const TCase& c : {TCase{EncodeDXT1, DecodeDXT1, 8}, TCase{EncodeDXT3, DecodeDXT3, 16},
                         TCase{EncodeDXT5, DecodeDXT5, 16}}) {
    std::vector<uint8_t> block(c.Size), decoded(64);
    c.Encode(source.data(), 4, 4, block.data());
    c.Decode(block.data(), 4, 4, decoded.data());
    EXPECT_EQ(decoded, source);
  }
}

// The peak signal-to-noise ratio of two byte sequences, over the bytes AStep apart from AFirst.
double Psnr(const std::vector<uint8_t>& AA, const std::vector<uint8_t>& AB, size_t AFirst, size_t AStep) {
  double sum = 0;
  size_t count = 0;
  for (size_t i = AFirst; i < AA.size(); i += AStep, ++count)
    sum += (AA[i] - AB[i]) * (AA[i] - AB[i]);
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(count)));
}

TEST(BlockEncoders, RoundTripQualityOnAGradient) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> noise(-2, 2);
  std::vector<uint8_t> pixels(64 * 64 * 4), greys(64 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const size_t p = static_cast<size_t>(y * 64 + x);
      const auto channel = [&](int AValue) {
        return static_cast<uint8_t>(std::clamp(AValue + noise(random), 0, 255));
      };
      pixels[4 * p] = channel(x * 2 + y * 2);
      pixels[4 * p + 1] = channel(y * 4);
      pixels[4 * p + 2] = channel(x * 4);
      pixels[4 * p + 3] = channel(255 - x * 3);
      greys[p] = channel(x * 3 + y);
    }
  struct TCase {
    const char* Name;
    void (*Encode)(const uint8_t*, int32_t, int32_t, uint8_t*);
    void (*Decode)(const uint8_t*, int32_t, int32_t, uint8_t*);
    int32_t BlockBytes;
    bool Grey;
    std::vector<size_t> Channels;
    double Goal;
  };
  const TCase cases[] = {
      {"DXT1", EncodeDXT1, DecodeDXT1, 8, false, {0, 1, 2}, 30},
      {"DXT3", EncodeDXT3, DecodeDXT3, 16, false, {0, 1, 2}, 30},
      {"DXT5", EncodeDXT5, DecodeDXT5, 16, false, {0, 1, 2, 3}, 30},
      {"ATI1N", EncodeATI1N, DecodeATI1N, 8, true, {0}, 35},
      {"ATI2N", EncodeATI2N, DecodeATI2N, 16, false, {1, 2}, 35},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t>& source = c.Grey ? greys : pixels;
    std::vector<uint8_t> blocks(16 * 16 * static_cast<size_t>(c.BlockBytes)), decoded(source.size());
    c.Encode(source.data(), 64, 64, blocks.data());
    c.Decode(blocks.data(), 64, 64, decoded.data());
    for (const size_t channel : c.Channels)
      EXPECT_GE(Psnr(source, decoded, channel, c.Grey ? 1 : 4), c.Goal) << "channel " << channel;
  }
}

TEST(BlockEncoders, PlainToBlockStretchesToWholeBlocks) {
  TOwnedImageData image = vtest::MakeImage(5, 3, F::A8R8G8B8);
  for (int p = 0; p < 15; ++p)
    static_cast<TColor32Rec*>(image->Bits)[p].Color = p % 5 == 4 ? 0xFF0000FF : 0xFFFF0000;
  ASSERT_TRUE(ConvertImageData(image.Get(), F::DXT1));
  EXPECT_EQ(image->Width, 8);
  EXPECT_EQ(image->Height, 4);
  EXPECT_EQ(image->Size, 16);
  ASSERT_TRUE(ConvertImageData(image.Get(), F::A8R8G8B8));
  EXPECT_EQ(vtest::PixelBGRA(image.Get(), 7, 3), Hex("FF 00 00 FF")); // column 4 of the source, stretched
  EXPECT_EQ(vtest::PixelBGRA(image.Get(), 0, 0), Hex("00 00 FF FF"));

  TOwnedImageData grey = vtest::MakeImage(4, 4, F::Gray8, std::vector<uint8_t>(16, 0x40));
  ASSERT_TRUE(ConvertImageData(grey.Get(), F::BTC));
  EXPECT_EQ(vtest::Bytes(grey.Get()), Hex("40 00 00 00"));
  ASSERT_TRUE(ConvertImageData(grey.Get(), F::ATI1N));
  EXPECT_EQ(vtest::Bytes(grey.Get()), Hex("40 40 000000000000"));
}

} // namespace
