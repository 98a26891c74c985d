#include <gtest/gtest.h>

#include <string>

#include "rtl/exceptions.h"
#include "rtl/ioutils.h"
#include "ui/bitmap.h"
#include "ui/bitmap_png.h"
#include "ui/image_list.h"

namespace {

using namespace ui;

rtl::TOwned<TBitmap> Filled(int32_t AWidth, int32_t AHeight, rtl::TAlphaColor AColor) {
  auto bitmap = rtl::MakeOwned<TBitmap>(AWidth, AHeight);
  TBitmapData data;
  bitmap->Map(TMapAccess::Write, data);
  for (int32_t y = 0; y < AHeight; ++y)
    for (int32_t x = 0; x < AWidth; ++x)
      data.SetPixel(x, y, AColor);
  bitmap->Unmap(data);
  return bitmap;
}

rtl::TAlphaColor Pixel(TBitmap& ABitmap, int32_t AX, int32_t AY) {
  TBitmapData data;
  if (!ABitmap.Map(TMapAccess::Read, data))
    return 0;
  const rtl::TAlphaColor color = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return color;
}

TEST(BitmapFiles, LoadsWhatSaveToFileWroteAndRefusesOtherContent) {
  const std::string folder = rtl::TPath::GetTempPath();
  const std::string file = rtl::TPath::Combine(folder, rtl::TPath::GetRandomFileName() + ".bmp");
  auto source = Filled(3, 2, 0xFF102030);
  {
    TBitmapData data;
    source->Map(TMapAccess::Write, data);
    data.SetPixel(2, 1, 0xFFFF0000);
    source->Unmap(data);
  }
  source->SaveToFile(file);
  auto loaded = rtl::MakeOwned<TBitmap>();
  loaded->LoadFromFile(file);
  EXPECT_EQ(loaded->Width(), 3);
  EXPECT_EQ(loaded->Height(), 2);
  EXPECT_EQ(Pixel(*loaded, 0, 0), 0xFF102030u);
  EXPECT_EQ(Pixel(*loaded, 2, 1), 0xFFFF0000u);
  rtl::TFile::Delete(file);

  EXPECT_THROW(loaded->LoadFromFile(file), rtl::EFOpenError);
  const std::string text = rtl::TPath::Combine(folder, rtl::TPath::GetRandomFileName() + ".bmp");
  rtl::TFile::WriteAllText(text, "no picture");
  try {
    loaded->LoadFromFile(text);
    ADD_FAILURE() << "no exception";
  } catch (const rtl::EReadError& E) {
    EXPECT_EQ(E.Message().rfind("Cannot load bitmap from '" + text + "': ", 0), 0u) << E.Message();
  }
  rtl::TFile::WriteAllText(text, "BM broken");
  EXPECT_THROW(loaded->LoadFromFile(text), rtl::EReadError);
  EXPECT_EQ(loaded->Width(), 3) << "a failed load keeps the picture";
  rtl::TFile::Delete(text);
}

TEST(BitmapFiles, StreamsLoadFromTheirPositionAndForgedSizesAreRefused) {
  const std::string file =
      rtl::TPath::Combine(rtl::TPath::GetTempPath(), rtl::TPath::GetRandomFileName() + ".bmp");
  Filled(4, 3, 0xFF00FF00)->SaveToFile(file);
  rtl::TBytes bytes = rtl::TFile::ReadAllBytes(file);
  rtl::TFile::Delete(file);
  rtl::TBytes prefixed{'x', 'y'};
  prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
  rtl::TBytesStream stream(prefixed);
  stream.SetPosition(2);
  auto bitmap = rtl::MakeOwned<TBitmap>();
  bitmap->LoadFromStream(stream);
  EXPECT_EQ(bitmap->Width(), 4);
  EXPECT_EQ(Pixel(*bitmap, 3, 2), 0xFF00FF00u);

  // Forged headers are refused before the decoder allocates the picture they claim.
  struct TCase {
    uint32_t Width, Height;
    const char* Reason;
  };
  const TCase cases[] = {{65536, 65536, "picture too large"},
                         {4096, 1024, "picture size does not match its data"}};
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.Reason);
    rtl::TBytes forgedBytes = bytes;
    for (size_t i = 0; i < 4; ++i) {
      forgedBytes[18 + i] = uint8_t(row.Width >> (8 * i));
      forgedBytes[22 + i] = uint8_t(row.Height >> (8 * i));
    }
    rtl::TBytesStream forged(forgedBytes);
    try {
      bitmap->LoadFromStream(forged);
      ADD_FAILURE() << "no exception";
    } catch (const rtl::EReadError& E) {
      EXPECT_EQ(E.Message(), std::string("Cannot load bitmap from stream: ") + row.Reason);
    }
  }
  EXPECT_EQ(bitmap->Width(), 4);
}

TEST(BitmapFiles, PngPicturesAreSniffedFromTheirContent) {
  auto source = Filled(3, 2, 0xFF2040C0);
  rtl::TBytesStream png;
  WriteBitmapPng(*source, png);
  // The name says nothing: the content decides.
  const std::string file =
      rtl::TPath::Combine(rtl::TPath::GetTempPath(), rtl::TPath::GetRandomFileName() + ".bmp");
  rtl::TFile::WriteAllBytes(file, png.Bytes());
  auto loaded = rtl::MakeOwned<TBitmap>();
  loaded->LoadFromFile(file);
  rtl::TFile::Delete(file);
  EXPECT_EQ(loaded->Width(), 3);
  EXPECT_EQ(Pixel(*loaded, 2, 1), 0xFF2040C0u);

  rtl::TBytes forged = png.Bytes();
  forged[16] = forged[20] = 0x7F; // about 2^31 x 2^31 pixels
  rtl::TBytesStream stream(forged);
  EXPECT_THROW(loaded->LoadFromStream(stream), rtl::EReadError);
  rtl::TBytes cut(png.Bytes().begin(), png.Bytes().begin() + 40);
  rtl::TBytesStream truncated(cut);
  EXPECT_THROW(loaded->LoadFromStream(truncated), rtl::EReadError);
  EXPECT_EQ(loaded->Width(), 3);
}

TEST(BitmapFiles, ResizeScalesBilinearly) {
  auto bitmap = Filled(2, 1, 0xFF000000);
  {
    TBitmapData data;
    bitmap->Map(TMapAccess::Write, data);
    data.SetPixel(1, 0, 0xFFFFFFFF);
    bitmap->Unmap(data);
  }
  bitmap->Resize(4, 2);
  ASSERT_EQ(bitmap->Width(), 4);
  ASSERT_EQ(bitmap->Height(), 2);
  // Edges keep their colours; the two inner columns lie a quarter and three quarters across.
  EXPECT_EQ(Pixel(*bitmap, 0, 0), 0xFF000000u);
  EXPECT_EQ(Pixel(*bitmap, 1, 1), 0xFF404040u);
  EXPECT_EQ(Pixel(*bitmap, 2, 0), 0xFFBFBFBFu);
  EXPECT_EQ(Pixel(*bitmap, 3, 1), 0xFFFFFFFFu);

  int changes = 0;
  bitmap->SetOnChange([&](rtl::TObject*) { ++changes; });
  bitmap->Resize(4, 2);
  EXPECT_EQ(changes, 0) << "the same size changes nothing";
  auto empty = rtl::MakeOwned<TBitmap>();
  empty->Resize(3, 3);
  EXPECT_EQ(Pixel(*empty, 2, 2), 0u);
  EXPECT_THROW(bitmap->Resize(-1, 2), rtl::EArgumentOutOfRangeException);
}

TEST(ImageList, SourcesDestinationsAndTheScaledCache) {
  auto list = rtl::MakeOwned<TImageList>(nullptr);
  TCustomSourceItem* source = list->Source()->Add();
  source->SetName("red");
  source->MultiResBitmap()->SetWidth(2);
  source->MultiResBitmap()->SetHeight(2);
  TBitmap* picture = source->MultiResBitmap()->Add()->Bitmap();
  EXPECT_EQ(picture->Width(), 2) << "a new picture takes the multi-resolution size";
  picture->Assign(Filled(2, 2, 0xFFFF0000).get());
  TLayer* layer = list->Destination()->Add()->Layers()->Add();
  layer->SetName("red");
  layer->SetSourceRect({0, 0, 2, 2});
  list->Destination()->Add()->Layers()->Add()->SetName("missing");
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Source()->Items(0)->MultiResBitmap()->Items(0)->Bitmap(), picture);

  TBitmap* scaled = list->Bitmap(8, 8, 0);
  ASSERT_NE(scaled, nullptr);
  EXPECT_EQ(scaled->Width(), 8);
  EXPECT_EQ(Pixel(*scaled, 7, 7), 0xFFFF0000u);
  EXPECT_EQ(list->Bitmap(8, 8, 0), scaled) << "cached";
  EXPECT_EQ(list->Bitmap(8, 8, 1), nullptr);
  EXPECT_EQ(list->Bitmap(8, 8, 2), nullptr);

  int changes = 0;
  list->SetOnChange([&](rtl::TObject*) { ++changes; });
  list->Change();
  EXPECT_EQ(changes, 1);
  list->ClearCache();
  EXPECT_NE(list->Bitmap(4, 4, 0), nullptr);
}

} // namespace
