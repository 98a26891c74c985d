#include <gtest/gtest.h>

#include "support/canvas_probe.h"

#include <functional>
#include <string>
#include <thread>

#include "rtl/exceptions.h"
#include "ui/bitmap.h"
#include "ui/canvas.h"

namespace {

using ui::TCanvas;

TEST(CanvasLock, IsReentrantAndHeldUntilEveryLockIsUnlocked) {
  TCanvas::Lock();
  TCanvas::Lock();
  EXPECT_TRUE(TCanvas::TryLock());
  EXPECT_FALSE(vtest::CanvasFreeForOtherThread());
  TCanvas::Unlock();
  TCanvas::Unlock();
  EXPECT_FALSE(vtest::CanvasFreeForOtherThread());
  TCanvas::Unlock();
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
}

TEST(CanvasLock, UnlockWithoutHoldingRaises) {
  EXPECT_THROW(TCanvas::Unlock(), rtl::EInvalidOperation);
  EXPECT_TRUE(vtest::CanvasFreeForOtherThread());
}

// The pixels of a bitmap as straight BGRA colours.
rtl::TAlphaColor Pixel(ui::TBitmap& ABitmap, int AX, int AY) {
  ui::TBitmapData data;
  EXPECT_TRUE(ABitmap.Map(ui::TMapAccess::Read, data));
  const rtl::TAlphaColor result = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return result;
}

int Channel(rtl::TAlphaColor AColor, int AShift) {
  return static_cast<int>((AColor >> AShift) & 0xFF);
}

// Whether any pixel of the row / column range (inclusive) is not the background.
bool Inked(ui::TBitmap& ABitmap, int AX0, int AY0, int AX1, int AY1,
           rtl::TAlphaColor ABackground = 0xFF000000) {
  for (int y = AY0; y <= AY1; ++y)
    for (int x = AX0; x <= AX1; ++x)
      if (Pixel(ABitmap, x, y) != ABackground)
        return true;
  return false;
}

ui::TBitmap* Filled(int AWidth, int AHeight, std::initializer_list<rtl::TAlphaColor> APixels) {
  auto* bitmap = rtl::New<ui::TBitmap>(AWidth, AHeight);
  ui::TBitmapData data;
  EXPECT_TRUE(bitmap->Map(ui::TMapAccess::Write, data));
  int i = 0;
  for (rtl::TAlphaColor color : APixels) {
    data.SetPixel(i % AWidth, i / AWidth, color);
    ++i;
  }
  bitmap->Unmap(data);
  return bitmap;
}

TEST(Canvas, DrawsBitmapsRectanglesAndText) {
  constexpr rtl::TAlphaColor Black = 0xFF000000, White = 0xFFFFFFFF;
  struct TCase {
    const char* Name;
    int Width, Height;
    std::function<void(ui::TCanvas& ACanvas, ui::TBitmap& ATarget)> Check;
  };
  const TCase cases[] = {
      {"2 x 2 to 4 x 4 nearest gives 2 x 2 blocks", 4, 4,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         rtl::TOwned<ui::TBitmap> source(Filled(2, 2, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, White}));
         ACanvas.DrawBitmap(*source, {0, 0, 2, 2}, {0, 0, 4, 4}, 1, true);
         const rtl::TAlphaColor expected[2][2] = {{0xFF0000FF, 0xFF00FF00}, {0xFFFF0000, White}};
         for (int y = 0; y < 4; ++y)
           for (int x = 0; x < 4; ++x)
             EXPECT_EQ(Pixel(ATarget, x, y), expected[y / 2][x / 2]) << x << "," << y;
       }},
      {"bilinear across a black/white pair gives 0, 64, 191, 255", 4, 1,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         rtl::TOwned<ui::TBitmap> source(Filled(2, 1, {Black, White}));
         ACanvas.DrawBitmap(*source, {0, 0, 2, 1}, {0, 0, 4, 1}, 1);
         const int expected[] = {0, 64, 191, 255};
         for (int x = 0; x < 4; ++x)
           EXPECT_EQ(Channel(Pixel(ATarget, x, 0), 8), expected[x]) << x;
       }},
      {"a 1:1 bilinear draw is exact", 3, 2,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         const std::initializer_list<rtl::TAlphaColor> pixels{0xFF102030, 0xFF405060, 0xFF708090,
                                                              0xFFA0B0C0, 0xFFD0E0F0, 0xFF010203};
         rtl::TOwned<ui::TBitmap> source(Filled(3, 2, pixels));
         ACanvas.DrawBitmap(*source, {0, 0, 3, 2}, {0, 0, 3, 2}, 1);
         int i = 0;
         for (rtl::TAlphaColor color : pixels) {
           EXPECT_EQ(Pixel(ATarget, i % 3, i / 3), color);
           ++i;
         }
       }},
      {"a 1:1 draw partly outside copies opaque and blends translucent pixels", 2, 2,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         rtl::TOwned<ui::TBitmap> source(Filled(2, 2, {0xFF102030, 0x80FFFFFF, 0xFF405060, 0xFFFFFFFF}));
         ACanvas.DrawBitmap(*source, {0, 0, 2, 2}, {-1, 0, 1, 2}, 1);
         EXPECT_NEAR(Channel(Pixel(ATarget, 0, 0), 0), 128, 1);
         EXPECT_EQ(Channel(Pixel(ATarget, 0, 0), 24), 255);
         EXPECT_EQ(Pixel(ATarget, 0, 1), White);
         EXPECT_EQ(Pixel(ATarget, 1, 0), Black);
         EXPECT_EQ(Pixel(ATarget, 1, 1), Black);
       }},
      {"white at opacity 0.5 over black is 128", 1, 1,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         rtl::TOwned<ui::TBitmap> source(Filled(1, 1, {White}));
         ACanvas.DrawBitmap(*source, {0, 0, 1, 1}, {0, 0, 1, 1}, 0.5f);
         EXPECT_NEAR(Channel(Pixel(ATarget, 0, 0), 16), 128, 1);
         EXPECT_EQ(Channel(Pixel(ATarget, 0, 0), 24), 255);
       }},
      {"a half-outside destination writes only inside", 4, 4,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         rtl::TOwned<ui::TBitmap> source(Filled(2, 2, {White, White, White, White}));
         ACanvas.DrawBitmap(*source, {0, 0, 2, 2}, {2, -2, 6, 2}, 1);
         ACanvas.DrawBitmap(*source, {0, 0, 2, 2}, {-3, 3, 1, 7}, 1, true);
         EXPECT_EQ(Pixel(ATarget, 3, 0), White);
         EXPECT_EQ(Pixel(ATarget, 0, 3), White);
         EXPECT_FALSE(Inked(ATarget, 0, 0, 1, 2));
       }},
      {"a rectangle inset by 1.5, thickness 3, strokes rows and columns 0-2", 20, 20,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         ACanvas.Stroke().Color = White;
         ACanvas.Stroke().Thickness = 3;
         ACanvas.DrawRect({1.5f, 1.5f, 18.5f, 18.5f}, 5, 5, ui::AllCorners, 1);
         for (int i = 0; i < 3; ++i) {
           EXPECT_EQ(Pixel(ATarget, 10, i), White) << i;
           EXPECT_EQ(Pixel(ATarget, i, 10), White) << i;
           EXPECT_EQ(Pixel(ATarget, 19 - i, 10), White) << i;
           EXPECT_EQ(Pixel(ATarget, 10, 19 - i), White) << i;
         }
         EXPECT_FALSE(Inked(ATarget, 3, 3, 16, 16));
       }},
      {"the dashed rectangle has ink and gaps on row 0", 20, 20,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         ACanvas.DrawDashRect({0, 0, 20, 20}, 0, 0, ui::AllCorners, 1, White);
         int ink = 0;
         for (int x = 0; x < 20; ++x)
           ink += Pixel(ATarget, x, 0) == White;
         EXPECT_GT(ink, 0);
         EXPECT_LT(ink, 20);
         EXPECT_TRUE(Inked(ATarget, 19, 1, 19, 19));
         EXPECT_FALSE(Inked(ATarget, 1, 1, 18, 18));
       }},
      {"\"A\" inks only its own 8 x 16 cell", 24, 32,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         ACanvas.Fill().Color = White;
         ACanvas.FillText({8, 8, 24, 32}, "A", false, 1, {}, ui::TTextAlign::Leading,
                          ui::TTextAlign::Leading);
         EXPECT_TRUE(Inked(ATarget, 8, 8, 15, 23));
         EXPECT_FALSE(Inked(ATarget, 0, 0, 23, 7));
         EXPECT_FALSE(Inked(ATarget, 0, 24, 23, 31));
         EXPECT_FALSE(Inked(ATarget, 0, 0, 7, 31));
         EXPECT_FALSE(Inked(ATarget, 16, 0, 23, 31));
       }},
      {"a wrapped 30-character line in 64 pixels also inks rows 16-31", 64, 80,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         ACanvas.Fill().Color = White;
         ACanvas.FillText({0, 0, 64, 80}, "abcd efgh ijkl mnop qrst uvwxy", true, 1, {},
                          ui::TTextAlign::Leading, ui::TTextAlign::Leading);
         EXPECT_TRUE(Inked(ATarget, 0, 0, 63, 15));
         EXPECT_TRUE(Inked(ATarget, 0, 16, 63, 31));
         // Unwrapped, the line runs off the right edge and stays in rows 0-15.
         ACanvas.Clear(Black);
         ACanvas.FillText({0, 0, 64, 80}, "abcd efgh ijkl mnop qrst uvwxy", false, 1, {},
                          ui::TTextAlign::Leading, ui::TTextAlign::Leading);
         EXPECT_FALSE(Inked(ATarget, 0, 16, 63, 79));
       }},
      {"one centred line in 48 pixels inks only rows 16-31", 48, 48,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         ACanvas.Fill().Color = White;
         ACanvas.FillText({0, 0, 48, 48}, "Hi!", false, 1, {}, ui::TTextAlign::Center,
                          ui::TTextAlign::Center);
         EXPECT_TRUE(Inked(ATarget, 0, 16, 47, 31));
         EXPECT_FALSE(Inked(ATarget, 0, 0, 47, 15));
         EXPECT_FALSE(Inked(ATarget, 0, 32, 47, 47));
         // Three cells centred in 48 pixels start at 12.
         EXPECT_FALSE(Inked(ATarget, 0, 16, 11, 31));
         EXPECT_FALSE(Inked(ATarget, 36, 16, 47, 31));
       }},
      {"the matrix translates and scales; non-ASCII text draws as \"?\"", 32, 64,
       [&](ui::TCanvas& ACanvas, ui::TBitmap& ATarget) {
         ACanvas.SetMatrix({2, 0, 0, 0, 2, 0, 8, 0, 1});
         ACanvas.Fill().Color = White;
         ACanvas.FillText({0, 0, 8, 16}, "\xC3\xA9", false, 1, {}, ui::TTextAlign::Leading,
                          ui::TTextAlign::Leading);
         EXPECT_FALSE(Inked(ATarget, 0, 0, 7, 63));
         EXPECT_TRUE(Inked(ATarget, 8, 0, 23, 31));
         rtl::TOwned<ui::TBitmap> question(rtl::New<ui::TBitmap>(32, 64));
         question->Canvas()->Clear(Black);
         question->Canvas()->SetMatrix(ACanvas.Matrix());
         question->Canvas()->Fill().Color = White;
         question->Canvas()->FillText({0, 0, 8, 16}, "?", false, 1, {}, ui::TTextAlign::Leading,
                                      ui::TTextAlign::Leading);
         for (int y = 0; y < 32; ++y)
           for (int x = 0; x < 32; ++x)
             ASSERT_EQ(Pixel(ATarget, x, y), Pixel(*question, x, y)) << x << "," << y;
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    rtl::TOwned<ui::TBitmap> target(rtl::New<ui::TBitmap>(c.Width, c.Height));
    ui::TCanvas& canvas = *target->Canvas();
    canvas.Clear(Black);
    c.Check(canvas, *target);
  }
}

TEST(Canvas, ScenesNestAndTheMaxBitmapSizeIsSettable) {
  rtl::TOwned<ui::TBitmap> target(rtl::New<ui::TBitmap>(2, 2));
  ui::TCanvas& canvas = *target->Canvas();
  EXPECT_TRUE(canvas.BeginScene());
  EXPECT_TRUE(canvas.BeginScene());
  EXPECT_EQ(canvas.BeginSceneCount(), 2);
  EXPECT_TRUE(target->IsCanvasInScene());
  canvas.EndScene();
  canvas.EndScene();
  canvas.EndScene();
  EXPECT_EQ(canvas.BeginSceneCount(), 0);

  EXPECT_EQ(TCanvas::GetAttribute(ui::TCanvasAttribute::MaxBitmapSize), 8192);
  TCanvas::SetAttribute(ui::TCanvasAttribute::MaxBitmapSize, 64);
  EXPECT_EQ(TCanvas::GetAttribute(ui::TCanvasAttribute::MaxBitmapSize), 64);
  TCanvas::SetAttribute(ui::TCanvasAttribute::MaxBitmapSize, 8192);

  // An empty target draws nothing, and does not fail.
  rtl::TOwned<ui::TBitmap> empty(rtl::New<ui::TBitmap>());
  empty->Canvas()->Clear(0xFFFFFFFF);
  empty->Canvas()->FillText({0, 0, 8, 16}, "x", true, 1, {}, ui::TTextAlign::Leading);
}

} // namespace

namespace {

// The one-pass copy the screenshot takes equals clearing to transparent and drawing 1:1, bit for
// bit, on pixels of alpha 0, 1, 128, 254 and 255 with colours that straight alpha may not keep.
TEST(CanvasFusedCopy, EqualsClearThenDrawBitForBit) {
  const rtl::TAlphaColor colours[] = {0x00FFFFFF, 0x00123456, 0x01FF8040, 0x80FF0000, 0x80010203,
                                      0x80FFFFFF, 0xFE7F7F7F, 0xFF336699, 0xFF000000, 0x7F808080};
  const int width = 10, height = 7;
  ui::TBitmap frame(width, height);
  ui::TBitmapData data;
  ASSERT_TRUE(frame.Map(ui::TMapAccess::Write, data));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      data.SetPixel(x, y, colours[(x + 3 * y) % 10]);
  frame.Unmap(data);

  ui::TBitmap drawn(width, height);
  ASSERT_TRUE(drawn.Canvas()->BeginScene());
  drawn.Canvas()->Clear(0);
  drawn.Canvas()->DrawBitmap(frame, {0, 0, float(width), float(height)}, {0, 0, float(width), float(height)}, 1);
  drawn.Canvas()->EndScene();

  ui::TBitmap fused(3, 3);
  fused.AssignOverTransparent(frame, 2);
  ASSERT_EQ(fused.Width(), width);
  ASSERT_EQ(fused.Height(), height);
  EXPECT_EQ(fused.BitmapScale(), 2);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      EXPECT_EQ(Pixel(fused, x, y), Pixel(drawn, x, y)) << x << ", " << y;
  // Transparent pixels lose their colour, as a blend onto transparent leaves them.
  EXPECT_EQ(Pixel(fused, 0, 0), 0u);
}

} // namespace
