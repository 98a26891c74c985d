#include <gtest/gtest.h>

#include <vector>

#include "ui/bitmap.h"

namespace {

using namespace ui;

// A 3 x 2 bitmap whose every pixel differs: row y, column x holds 0xFF000000 + 16 y + x.
rtl::TOwned<TBitmap> NumberedBitmap() {
  auto bitmap = rtl::MakeOwned<TBitmap>(3, 2);
  TBitmapData data;
  EXPECT_TRUE(bitmap->Map(TMapAccess::Write, data));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      data.SetPixel(x, y, 0xFF000000u + 16u * y + x);
  bitmap->Unmap(data);
  return bitmap;
}

std::vector<rtl::TAlphaColor> Pixels(TBitmap& ABitmap) {
  std::vector<rtl::TAlphaColor> result;
  TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(TMapAccess::Read, data));
  for (int y = 0; y < ABitmap.Height(); ++y)
    for (int x = 0; x < ABitmap.Width(); ++x)
      result.push_back(data.GetPixel(x, y) & 0xFFu);
  ABitmap.Unmap(data);
  return result;
}

TEST(BitmapFlip, MirrorsInPlaceWithOneNotification) {
  struct Row {
    const char* Name;
    void (TBitmap::*Flip)();
    std::vector<rtl::TAlphaColor> Expected;
  };
  const std::vector<Row> rows{
      {"vertical", &TBitmap::FlipVertical, {0x10, 0x11, 0x12, 0x00, 0x01, 0x02}},
      {"horizontal", &TBitmap::FlipHorizontal, {0x02, 0x01, 0x00, 0x12, 0x11, 0x10}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    auto bitmap = NumberedBitmap();
    const std::vector<rtl::TAlphaColor> original = Pixels(*bitmap);
    int changes = 0;
    bitmap->SetOnChange([&](rtl::TObject*) { ++changes; });
    ((*bitmap).*row.Flip)();
    EXPECT_EQ(Pixels(*bitmap), row.Expected);
    EXPECT_EQ(changes, 1);
    ((*bitmap).*row.Flip)();
    EXPECT_EQ(Pixels(*bitmap), original);
  }
}

TEST(BitmapFlip, EmptyBitmapStaysUntouched) {
  TBitmap bitmap;
  int changes = 0;
  bitmap.SetOnChange([&](rtl::TObject*) { ++changes; });
  bitmap.FlipVertical();
  bitmap.FlipHorizontal();
  EXPECT_TRUE(bitmap.IsEmpty());
  EXPECT_EQ(changes, 0);
}

} // namespace
