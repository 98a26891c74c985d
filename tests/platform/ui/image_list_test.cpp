#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>
#include <cstdlib>
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

// A JPEG of a solid 6x4 picture, written by the image library.
rtl::TBytes SolidJpeg(uint32_t AColor) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 6, 4, 32, SDL_PIXELFORMAT_ARGB8888);
  SDL_FillRect(surface, nullptr, AColor);
  rtl::TBytes bytes(4096);
  SDL_RWops* memory = SDL_RWFromMem(bytes.data(), int(bytes.size()));
  EXPECT_EQ(IMG_SaveJPG_RW(surface, memory, 0, 95), 0) << SDL_GetError();
  bytes.resize(size_t(SDL_RWtell(memory)));
  SDL_RWclose(memory);
  SDL_FreeSurface(surface);
  return bytes;
}

// A 2x1 GIF, red then blue, from a two-colour global table.
const rtl::TBytes TwoPixelGif{'G',  'I',  'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0xFF, 0,    0, 0,   0,
                              0xFF, 0x2C, 0,   0,   0,   0,   2, 0, 1, 0, 0,    2, 2, 0x44, 0x0A, 0, 0x3B};

TEST(BitmapFiles, JpegAndGifPicturesAreSniffedAndForgedSizesRefused) {
  const rtl::TBytes jpeg = SolidJpeg(0xFF2080C0);
  rtl::TBytes GifWithStrayByte = TwoPixelGif;
  GifWithStrayByte.insert(GifWithStrayByte.begin() + 19, 0x00);
  // A 1x1 image before the original one: every image's size counts.
  rtl::TBytes GifWithTwoImages = TwoPixelGif;
  const uint8_t smallImage[] = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0};
  GifWithTwoImages.insert(GifWithTwoImages.begin() + 19, std::begin(smallImage), std::end(smallImage));
  // A first image the decoder cannot use (empty, or with a code size beyond 8 bits): it would
  // read on inside that image's data, so the picture is refused before decoding.
  rtl::TBytes GifWithEmptyFirstImage = TwoPixelGif;
  const uint8_t emptyImage[] = {0x2C, 0, 0, 0, 0, 0, 8, 0, 0, 0, 2, 0};
  GifWithEmptyFirstImage.insert(GifWithEmptyFirstImage.begin() + 19, std::begin(emptyImage), std::end(emptyImage));
  rtl::TBytes GifWithWideCodes = TwoPixelGif;
  GifWithWideCodes[29] = 12;
  auto bitmap = rtl::MakeOwned<TBitmap>();
  rtl::TBytesStream jpegStream(jpeg);
  bitmap->LoadFromStream(jpegStream);
  ASSERT_EQ(bitmap->Width(), 6);
  ASSERT_EQ(bitmap->Height(), 4);
  const rtl::TAlphaColor color = Pixel(*bitmap, 3, 2);
  for (int shift : {0, 8, 16})
    EXPECT_LE(std::abs(int((color >> shift) & 0xFF) - int((0xFF2080C0u >> shift) & 0xFF)), 6)
        << std::hex << color;
  EXPECT_EQ(color >> 24, 0xFFu);

  rtl::TBytesStream gifStream(TwoPixelGif);
  bitmap->LoadFromStream(gifStream);
  ASSERT_EQ(bitmap->Width(), 2);
  ASSERT_EQ(bitmap->Height(), 1);
  EXPECT_EQ(Pixel(*bitmap, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Pixel(*bitmap, 1, 0), 0xFF0000FFu);

  // The JPEG's frame header holds big-endian height and width after its marker, length and
  // precision; the GIF's screen and image hold little-endian width and height.
  const uint8_t frameMarker[] = {0xFF, 0xC0};
  const size_t frame = size_t(
      std::search(jpeg.begin(), jpeg.end(), std::begin(frameMarker), std::end(frameMarker)) - jpeg.begin());
  ASSERT_LT(frame, jpeg.size());
  struct TCase {
    const char* Name;
    const rtl::TBytes& Source;
    size_t Offset;
    bool BigEndian;
    uint16_t Width, Height;
    const char* Reason;
  };
  const TCase cases[] = {
      {"jpeg huge", jpeg, frame + 5, true, 0xFFFF, 0xFFFF, "picture too large"},
      {"jpeg sparse", jpeg, frame + 5, true, 16384, 8192, "picture size does not match its data"},
      {"gif screen huge", TwoPixelGif, 6, false, 0xFFFF, 0xFFFF, "picture too large"},
      {"gif image sparse", TwoPixelGif, 24, false, 4096, 1024, "picture size does not match its data"},
      // The decoder skips a stray byte before the image descriptor; the size check must too.
      {"gif image behind a stray byte", GifWithStrayByte, 25, false, 0xFFFF, 0xFFFF, "picture too large"},
      {"gif second image", GifWithTwoImages, 39, false, 0xFFFF, 0xFFFF, "picture too large"},
      {"gif empty first image", GifWithEmptyFirstImage, 6, false, 2, 1, "unreadable picture"},
      {"gif code size of 12 bits", GifWithWideCodes, 6, false, 2, 1, "unreadable picture"},
  };
  for (const TCase& row : cases) {
    SCOPED_TRACE(row.Name);
    rtl::TBytes forgedBytes = row.Source;
    // A JPEG stores height first, a GIF width first.
    const uint16_t first = row.BigEndian ? row.Height : row.Width;
    const uint16_t second = row.BigEndian ? row.Width : row.Height;
    const auto put = [&](size_t AAt, uint16_t AValue) {
      forgedBytes[AAt] = uint8_t(row.BigEndian ? AValue >> 8 : AValue);
      forgedBytes[AAt + 1] = uint8_t(row.BigEndian ? AValue : AValue >> 8);
    };
    put(row.Offset, first);
    put(row.Offset + 2, second);
    rtl::TBytesStream forged(forgedBytes);
    try {
      bitmap->LoadFromStream(forged);
      ADD_FAILURE() << "no exception";
    } catch (const rtl::EReadError& E) {
      EXPECT_EQ(E.Message(), std::string("Cannot load bitmap from stream: ") + row.Reason);
    }
  }
  // Data that ends before naming a size never reaches the decoder.
  for (const rtl::TBytes& cut : {rtl::TBytes(jpeg.begin(), jpeg.begin() + 4),
                                 rtl::TBytes(TwoPixelGif.begin(), TwoPixelGif.begin() + 20)}) {
    rtl::TBytesStream truncated(cut);
    try {
      bitmap->LoadFromStream(truncated);
      ADD_FAILURE() << "no exception";
    } catch (const rtl::EReadError& E) {
      EXPECT_EQ(E.Message(), "Cannot load bitmap from stream: truncated picture");
    }
  }
  EXPECT_EQ(bitmap->Width(), 2) << "a failed load keeps the picture";
}

// A 2x1 uncompressed RGB TIFF, red then blue, in either byte order; the width entry is a LONG,
// the height a SHORT (both are allowed).
rtl::TBytes TwoPixelTiff(bool ABigEndian, uint32_t AWidth = 2, uint32_t AHeight = 1) {
  rtl::TBytes bytes;
  const auto put = [&](uint32_t AValue, size_t ASize) {
    for (size_t i = 0; i < ASize; ++i)
      bytes.push_back(uint8_t(AValue >> (8 * (ABigEndian ? ASize - 1 - i : i))));
  };
  // A single SHORT sits in the first two bytes of the entry's four-byte value field; longer
  // values are elsewhere, at the four-byte offset the field holds.
  const auto entry = [&](uint16_t ATag, uint16_t AType, uint32_t ACount, uint32_t AValue) {
    put(ATag, 2);
    put(AType, 2);
    put(ACount, 4);
    if (AType == 3 && ACount == 1) {
      put(AValue, 2);
      put(0, 2);
    } else {
      put(AValue, 4);
    }
  };
  bytes.push_back(ABigEndian ? 'M' : 'I');
  bytes.push_back(ABigEndian ? 'M' : 'I');
  put(42, 2);
  put(8, 4);
  put(9, 2);
  entry(256, 4, 1, AWidth);
  entry(257, 3, 1, AHeight);
  entry(258, 3, 3, 122); // bits per sample, at 122
  entry(259, 3, 1, 1);   // no compression
  entry(262, 3, 1, 2);   // RGB
  entry(273, 4, 1, 128); // the strip, at 128
  entry(277, 3, 1, 3);   // samples per pixel
  entry(278, 3, 1, 1);   // rows per strip
  entry(279, 4, 1, 6);   // strip bytes
  put(0, 4);
  for (int i = 0; i < 3; ++i)
    put(8, 2);
  for (uint8_t value : {0xFF, 0, 0, 0, 0, 0xFF})
    bytes.push_back(value);
  return bytes;
}

TEST(BitmapFiles, TiffPicturesLoadInBothByteOrdersAndForgedSizesAreRefused) {
  auto bitmap = rtl::MakeOwned<TBitmap>();
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    rtl::TBytesStream stream(TwoPixelTiff(bigEndian));
    bitmap->LoadFromStream(stream);
    ASSERT_EQ(bitmap->Width(), 2);
    ASSERT_EQ(bitmap->Height(), 1);
    EXPECT_EQ(Pixel(*bitmap, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(Pixel(*bitmap, 1, 0), 0xFF0000FFu);
  }
  const rtl::TBytes whole = TwoPixelTiff(false);
  // The bits per sample at an offset beyond the data: the decoder fails without an error text.
  rtl::TBytes unreadable = whole;
  unreadable[42] = 0xFF;
  unreadable[43] = 0xFF;
  const struct {
    const char* Name;
    rtl::TBytes Bytes;
    const char* Reason;
  } cases[] = {
      {"huge", TwoPixelTiff(true, 0xFFFFFFFF, 0xFFFF), "picture too large"},
      {"sparse", TwoPixelTiff(false, 16384, 8192), "picture size does not match its data"},
      {"directory cut", rtl::TBytes(whole.begin(), whole.begin() + 30), "truncated picture"},
      {"directory beyond the data", rtl::TBytes(whole.begin(), whole.begin() + 9), "truncated picture"},
      {"unreadable", unreadable, "unreadable picture"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.Name);
    rtl::TBytesStream forged(row.Bytes);
    try {
      bitmap->LoadFromStream(forged);
      ADD_FAILURE() << "no exception";
    } catch (const rtl::EReadError& E) {
      EXPECT_EQ(E.Message(), std::string("Cannot load bitmap from stream: ") + row.Reason);
    }
  }
  EXPECT_EQ(bitmap->Width(), 2) << "a failed load keeps the picture";
}

// The decoder gives up on an image with an invalid code size and reads on from there, inside that
// image's data, where a 2048x1024 image hides from any walk of the file's blocks (the only size
// the checks see is 1x1): a first image the decoder cannot use refuses the picture.
TEST(BitmapFiles, AGifImageHiddenInsideAnotherImagesDataIsNotDecoded) {
  const rtl::TBytes hidden{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                           // a 1x1 image whose code size (13) the decoder refuses, with one sub-block
                           0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 13, 15,
                           // inside it: a 2048x1024 image with a valid start
                           0x2C, 0, 0, 0, 0, 0, 8, 0, 4, 0, 2, 2, 0x44, 1, 0,
                           // the end of the sub-blocks, the trailer
                           0, 0x3B};
  auto bitmap = rtl::MakeOwned<TBitmap>();
  rtl::TBytesStream stream(hidden);
  EXPECT_THROW(bitmap->LoadFromStream(stream), rtl::EReadError);
  EXPECT_TRUE(bitmap->IsEmpty());
}

// A GIF of AIndexes (AWidth wide, rows in data order) with a global table of AColors colours,
// coded by a plain LZW encoder: codes grow from AMinBits + 1 bits to 12, then a clear code starts
// over. AControl is inserted before the image (an extension, say); AFlags are the image's flags.
rtl::TBytes EncodeGif(int AWidth, int AHeight, const std::vector<uint8_t>& AIndexes, int AMinBits,
                      const std::vector<uint32_t>& AColors, const rtl::TBytes& AControl = {},
                      uint8_t AFlags = 0) {
  rtl::TBytes bytes{'G', 'I', 'F', '8', '9', 'a', uint8_t(AWidth), uint8_t(AWidth >> 8), uint8_t(AHeight),
                    uint8_t(AHeight >> 8), uint8_t(0x80 | (AMinBits - 1)), 0, 0};
  for (int i = 0; i < (1 << AMinBits); ++i) {
    const uint32_t color = i < int(AColors.size()) ? AColors[size_t(i)] : 0;
    bytes.insert(bytes.end(), {uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color)});
  }
  bytes.insert(bytes.end(), AControl.begin(), AControl.end());
  bytes.insert(bytes.end(), {0x2C, 0, 0, 0, 0, uint8_t(AWidth), uint8_t(AWidth >> 8), uint8_t(AHeight),
                             uint8_t(AHeight >> 8), AFlags, uint8_t(AMinBits)});
  std::vector<uint8_t> data;
  uint32_t bitBuffer = 0;
  int bitCount = 0;
  const auto emit = [&](int ACode, int ABits) {
    bitBuffer |= uint32_t(ACode) << bitCount;
    for (bitCount += ABits; bitCount >= 8; bitCount -= 8, bitBuffer >>= 8)
      data.push_back(uint8_t(bitBuffer));
  };
  const int clear = 1 << AMinBits;
  std::map<std::pair<int, uint8_t>, int> table;
  int bits = AMinBits + 1, next = clear + 2;
  emit(clear, bits);
  int current = AIndexes[0];
  for (size_t i = 1; i < AIndexes.size(); ++i) {
    const auto key = std::make_pair(current, AIndexes[i]);
    if (const auto found = table.find(key); found != table.end()) {
      current = found->second;
      continue;
    }
    emit(current, bits);
    if (next < 4096) {
      table[key] = next;
      if (next == (1 << bits) && bits < 12)
        ++bits;
      ++next;
    } else {
      emit(clear, bits);
      table.clear();
      bits = AMinBits + 1;
      next = clear + 2;
    }
    current = AIndexes[i];
  }
  emit(current, bits);
  emit(clear + 1, bits);
  if (bitCount > 0)
    data.push_back(uint8_t(bitBuffer));
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t count = std::min<size_t>(255, data.size() - at);
    bytes.push_back(uint8_t(count));
    bytes.insert(bytes.end(), data.begin() + long(at), data.begin() + long(at + count));
  }
  bytes.push_back(0);
  bytes.push_back(0x3B);
  return bytes;
}

// GIF pictures are decoded by the bitmap unit itself: the image library's decoder agrees on
// well-formed pictures (long code streams with every code width and a full table, interlaced
// rows, a transparent index) and is never given crafted ones.
TEST(BitmapFiles, GifPicturesDecodeAsTheImageLibraryDecodesWellFormedOnes) {
  std::mt19937 random(7);
  struct TCase {
    const char* Name;
    int Width, Height, MinBits;
    bool Interlaced, Transparent, Runs;
  };
  const TCase cases[] = {{"noise, 2-bit codes", 37, 23, 2, false, false, false},
                         {"noise, 8-bit codes, table refilled", 190, 170, 8, false, false, false},
                         {"runs, 4-bit codes", 64, 64, 4, false, false, true},
                         {"interlaced with a transparent index", 13, 19, 3, true, true, false}};
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    const int colors = 1 << test.MinBits;
    std::vector<uint8_t> indexes(size_t(test.Width * test.Height));
    for (size_t i = 0; i < indexes.size(); ++i)
      indexes[i] = test.Runs ? uint8_t((i / 97) % size_t(colors)) : uint8_t(random() % uint32_t(colors));
    std::vector<uint32_t> palette;
    for (int i = 0; i < colors; ++i)
      palette.push_back(random() & 0xFFFFFF);
    const rtl::TBytes control = test.Transparent ? rtl::TBytes{0x21, 0xF9, 4, 1, 0, 0, 5, 0} : rtl::TBytes{};
    const rtl::TBytes gif = EncodeGif(test.Width, test.Height, indexes, test.MinBits, palette, control,
                                      test.Interlaced ? 0x40 : 0);
    auto bitmap = rtl::MakeOwned<TBitmap>();
    rtl::TBytesStream stream(gif);
    bitmap->LoadFromStream(stream);
    ASSERT_EQ(bitmap->Width(), test.Width);
    ASSERT_EQ(bitmap->Height(), test.Height);

    SDL_Surface* peer = IMG_LoadTyped_RW(SDL_RWFromConstMem(gif.data(), int(gif.size())), 1, "GIF");
    ASSERT_NE(peer, nullptr) << SDL_GetError();
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(peer, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(peer);
    ASSERT_NE(argb, nullptr);
    int wrong = 0;
    for (int y = 0; y < test.Height; ++y)
      for (int x = 0; x < test.Width; ++x) {
        const uint32_t expected =
            reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) + y * argb->pitch)[x];
        const rtl::TAlphaColor actual = Pixel(*bitmap, x, y);
        // A transparent pixel's colour is not part of the picture.
        const bool same = (expected >> 24) == 0 ? (actual >> 24) == 0 : actual == expected;
        if (!same && ++wrong <= 3)
          ADD_FAILURE() << x << "," << y << ": " << std::hex << actual << " instead of " << expected;
      }
    SDL_FreeSurface(argb);
    EXPECT_EQ(wrong, 0);
  }
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
