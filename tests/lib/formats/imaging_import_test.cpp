// Copies of image data into UI bitmaps.

#include <gtest/gtest.h>

#include "formats/Vantrel.Imaging.Import.h"
#include "image_test_support.h"

namespace {

using namespace vantrel;
namespace F = ImageFormatId;
using vtest::Hex;

// The bitmap's pixels as bytes B, G, R, A, row after row.
std::vector<uint8_t> BitmapBytes(ui::TBitmap& ABitmap) {
  ui::TBitmapData data;
  std::vector<uint8_t> bytes;
  if (!ABitmap.Map(ui::TMapAccess::Read, data))
    return bytes;
  for (int32_t y = 0; y < data.Height; ++y)
    bytes.insert(bytes.end(), data.GetScanline(y), data.GetScanline(y) + data.Width * 4);
  ABitmap.Unmap(data);
  return bytes;
}

TEST(ImageImport, EveryFormatArrivesAsBGRA) {
  struct TCase {
    const char* Name;
    TImageFormat Format;
    const char* Pixels;
    const char* Palette;
    const char* Expected;
  };
  const TCase cases[] = {
      {"R8G8B8", F::R8G8B8, "10 20 30 40 50 60", "", "102030FF 405060FF"},
      {"R5G6B5 white", F::R5G6B5, "FFFF 0000", "", "FFFFFFFF 000000FF"},
      {"Index8 keeps the palette's alpha", F::Index8, "01 00", "00000000 11223380", "11223380 00000000"},
      {"Gray16", F::Gray16, "0080 FFFF", "", "808080FF FFFFFFFF"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TOwnedImageData image = vtest::MakeImage(2, 1, c.Format, Hex(c.Pixels));
    const std::vector<uint8_t> palette = Hex(c.Palette);
    if (!palette.empty())
      std::memcpy(image->Palette, palette.data(), palette.size());
    rtl::TOwned<ui::TBitmap> bitmap(rtl::New<ui::TBitmap>());
    CopyImageDataToBitmap(image.Get(), *bitmap);
    EXPECT_EQ(bitmap->Width(), 2);
    EXPECT_EQ(bitmap->Height(), 1);
    EXPECT_EQ(BitmapBytes(*bitmap), Hex(c.Expected));
    EXPECT_EQ(image->Format, c.Format); // the source is left as it was
  }
}

TEST(ImageImport, BlocksGiveTheRoundedSize) {
  TOwnedImageData image = vtest::MakeImage(5, 3, F::DXT1, Hex("00F8 00F8 00000000"));
  rtl::TOwned<ui::TBitmap> bitmap(rtl::New<ui::TBitmap>());
  CopyImageDataToBitmap(image.Get(), *bitmap);
  EXPECT_EQ(bitmap->Width(), 8);
  EXPECT_EQ(bitmap->Height(), 4);
  const std::vector<uint8_t> bytes = BitmapBytes(*bitmap);
  ASSERT_EQ(bytes.size(), 8u * 4 * 4);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4), Hex("0000FFFF"));
  EXPECT_EQ(image->Format, F::DXT1);
}

TEST(ImageImport, A8R8G8B8IsCopiedByteForByte) {
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 3 * 2 * 4; ++i)
    pixels.push_back(static_cast<uint8_t>(i * 11));
  TOwnedImageData image = vtest::MakeImage(3, 2, F::A8R8G8B8, pixels);
  rtl::TOwned<ui::TBitmap> bitmap(rtl::New<ui::TBitmap>(7, 9));
  CopyImageDataToBitmap(image.Get(), *bitmap);
  EXPECT_EQ(bitmap->Width(), 3);
  EXPECT_EQ(bitmap->Height(), 2);
  EXPECT_EQ(BitmapBytes(*bitmap), pixels);
  EXPECT_EQ(vtest::Bytes(image.Get()), pixels);
}

TEST(ImageImport, InvalidImageGivesAnEmptyBitmap) {
  rtl::TOwned<ui::TBitmap> bitmap(rtl::New<ui::TBitmap>(4, 4));
  CopyImageDataToBitmap(TImageData{}, *bitmap);
  EXPECT_EQ(bitmap->Width(), 0);
  EXPECT_EQ(bitmap->Height(), 0);
}

} // namespace
