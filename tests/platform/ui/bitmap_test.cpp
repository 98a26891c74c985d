#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/ioutils.h"
#include "ui/bitmap.h"

namespace {

using namespace ui;

TEST(Bitmap, MapsBGRAStorageWithARowPitchOfFourBytesPerPixel) {
  rtl::TOwned<TBitmap> bitmap(rtl::New<TBitmap>(3, 2));
  EXPECT_FALSE(bitmap->IsEmpty());
  EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::BGRA);
  TBitmapData data;
  ASSERT_TRUE(bitmap->Map(TMapAccess::Write, data));
  EXPECT_TRUE(bitmap->IsMapped());
  EXPECT_EQ(data.Pitch, 12);
  EXPECT_EQ(data.Width, 3);
  EXPECT_EQ(data.Height, 2);
  EXPECT_EQ(data.GetPixel(2, 1), 0u) << "new pixels are transparent black";
  data.SetPixel(2, 1, 0x80112233);
  const uint8_t expected[4] = {0x33, 0x22, 0x11, 0x80};
  EXPECT_EQ(std::memcmp(data.Data + 12 + 8, expected, 4), 0);
  EXPECT_THROW(data.GetPixel(3, 0), rtl::ERangeError);
  EXPECT_THROW(data.SetPixel(0, -1, 0), rtl::ERangeError);
  EXPECT_THROW(bitmap->SetSize(4, 4), rtl::EArgumentOutOfRangeException) << "resizing under a mapped view";
  bitmap->Unmap(data);
  EXPECT_EQ(data.Data, nullptr);
  EXPECT_FALSE(bitmap->IsMapped());

  bitmap->SetSize(3, 2);
  ASSERT_TRUE(bitmap->Map(TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(2, 1), 0x80112233u) << "the same size keeps the pixels";
  bitmap->Unmap(data);
  bitmap->SetSize(2, 2);
  ASSERT_TRUE(bitmap->Map(TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(1, 1), 0u);
  bitmap->Unmap(data);
}

TEST(Bitmap, EmptyOrNegativeSizes) {
  rtl::TOwned<TBitmap> bitmap(rtl::New<TBitmap>());
  EXPECT_TRUE(bitmap->IsEmpty());
  TBitmapData data;
  EXPECT_FALSE(bitmap->Map(TMapAccess::Read, data));
  EXPECT_EQ(data.Data, nullptr);
  bitmap->Unmap(data);
  EXPECT_FALSE(bitmap->IsMapped());
  bitmap->SetSize(5, 0);
  EXPECT_TRUE(bitmap->IsEmpty());
  EXPECT_THROW(bitmap->SetSize(-1, 4), rtl::EArgumentOutOfRangeException);
  EXPECT_THROW(bitmap->SetSize(0x7FFFFFFF, 2), rtl::EArgumentOutOfRangeException);
  EXPECT_EQ(bitmap->Width(), 5);
  // Assigning nothing empties the bitmap and tells its listener.
  bitmap->SetSize(3, 2);
  int changes = 0;
  bitmap->SetOnChange([&](rtl::TObject*) { ++changes; });
  bitmap->Assign(nullptr);
  EXPECT_TRUE(bitmap->IsEmpty());
  EXPECT_EQ(bitmap->Width(), 0);
  EXPECT_EQ(changes, 1);
}

TEST(Bitmap, SavesBmpFilesThatReadBack) {
  rtl::TOwned<TBitmap> bitmap(rtl::New<TBitmap>(5, 4));
  TBitmapData data;
  ASSERT_TRUE(bitmap->Map(TMapAccess::Write, data));
  data.SetPixel(3, 1, 0xFF3366CC);
  bitmap->Unmap(data);
  const std::string fileName =
      rtl::TPath::Combine(rtl::TPath::GetTempPath(), rtl::TPath::GetRandomFileName() + ".BMP");
  bitmap->SaveToFile(fileName);

  SDL_Surface* loaded = SDL_LoadBMP(fileName.c_str());
  ASSERT_NE(loaded, nullptr) << SDL_GetError();
  SDL_Surface* pixels = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(pixels->w, 5);
  EXPECT_EQ(pixels->h, 4);
  uint32_t probe;
  std::memcpy(&probe, static_cast<const uint8_t*>(pixels->pixels) + pixels->pitch + 3 * 4, 4);
  EXPECT_EQ(probe, 0xFF3366CCu);
  SDL_FreeSurface(pixels);
  std::remove(fileName.c_str());
}

TEST(Bitmap, ClearsAndSavesJpegFilesThatReadBack) {
  rtl::TOwned<TBitmap> bitmap(rtl::New<TBitmap>(24, 16));
  int changes = 0;
  bitmap->SetOnChange([&](rtl::TObject*) { ++changes; });
  bitmap->Clear(0xFFCC3366);
  EXPECT_EQ(changes, 1);
  for (const char* extension : {".jpg", ".JPEG"}) {
    SCOPED_TRACE(extension);
    const std::string fileName =
        rtl::TPath::Combine(rtl::TPath::GetTempPath(), rtl::TPath::GetRandomFileName() + extension);
    bitmap->SaveToFile(fileName);
    SDL_Surface* loaded = IMG_Load(fileName.c_str());
    ASSERT_NE(loaded, nullptr) << IMG_GetError();
    SDL_Surface* pixels = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->w, 24);
    EXPECT_EQ(pixels->h, 16);
    uint32_t probe;
    std::memcpy(&probe, static_cast<const uint8_t*>(pixels->pixels) + 8 * pixels->pitch + 12 * 4, 4);
    // Lossy: each channel within a few steps of the colour.
    EXPECT_NEAR(int((probe >> 16) & 0xFF), 0xCC, 6);
    EXPECT_NEAR(int((probe >> 8) & 0xFF), 0x33, 6);
    EXPECT_NEAR(int(probe & 0xFF), 0x66, 6);
    SDL_FreeSurface(pixels);
    std::remove(fileName.c_str());
  }
}

TEST(Bitmap, SavingRefusesOtherFormatsEmptyBitmapsAndUnwritablePaths) {
  rtl::TOwned<TBitmap> bitmap(rtl::New<TBitmap>(2, 2));
  rtl::TOwned<TBitmap> empty(rtl::New<TBitmap>());
  const std::string folder = rtl::TPath::GetTempPath();
  EXPECT_THROW(bitmap->SaveToFile(rtl::TPath::Combine(folder, "x.gif")), EBitmapSavingFailed);
  EXPECT_THROW(empty->SaveToFile(rtl::TPath::Combine(folder, "x.bmp")), EBitmapSavingFailed);
  try {
    bitmap->SaveToFile("/nonexistent-folder/x.bmp");
    ADD_FAILURE() << "no exception";
  } catch (const EBitmapSavingFailed& E) {
    EXPECT_EQ(E.Message().rfind("Cannot save bitmap to '/nonexistent-folder/x.bmp': ", 0), 0u) << E.Message();
  }
}

} // namespace
