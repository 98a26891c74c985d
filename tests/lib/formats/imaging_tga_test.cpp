// TGA files: orientation, relabelling, colour maps, run-length packets both ways, trailers, sizes,
// and stb_image as an oracle in both directions.

#include <gtest/gtest.h>

#include <stb_image.h>
#include <stb_image_write.h>

#include <random>

#include "formats/Vantrel.Imaging.TGA.h"
#include "image_test_support.h"

namespace {

using namespace vantrel;
namespace F = ImageFormatId;
using vtest::Hex;

// The 18 header bytes of a TGA file.
struct TTargaFields {
  uint8_t ColorMapType = 0, ImageType = 2, MapEntrySize = 0, PixelSize = 24, Descriptor = 0x20;
  uint16_t MapLength = 0;
  int32_t Width = 1, Height = 1;

  TBytes Bytes() const {
    TBytes bytes(18, 0);
    bytes[1] = ColorMapType;
    bytes[2] = ImageType;
    bytes[5] = static_cast<uint8_t>(MapLength);
    bytes[6] = static_cast<uint8_t>(MapLength >> 8);
    bytes[7] = MapEntrySize;
    bytes[12] = static_cast<uint8_t>(Width);
    bytes[13] = static_cast<uint8_t>(Width >> 8);
    bytes[14] = static_cast<uint8_t>(Height);
    bytes[15] = static_cast<uint8_t>(Height >> 8);
    bytes[16] = PixelSize;
    bytes[17] = Descriptor;
    return bytes;
  }
};

TBytes operator+(TBytes AA, const TBytes& AB) {
  AA.insert(AA.end(), AB.begin(), AB.end());
  return AA;
}

class TGATest : public testing::Test {
protected:
  TOwned<TTargaFileFormat> FTGA{New<TTargaFileFormat>()};

  TImageData& Load(const TBytes& ABytes, int64_t* APosition = nullptr) {
    TBytesStream stream(ABytes);
    EXPECT_TRUE(FTGA->LoadFromStream(stream, FImages));
    if (APosition)
      *APosition = stream.GetPosition();
    return FImages[0];
  }
  TBytes Save(const TImageData& AImage, bool ARle) {
    FTGA->SetUseRLE(ARle);
    TDynImageDataArray images;
    TImageData clone{};
    CloneImageData(AImage, clone);
    images.push_back(clone);
    TBytesStream stream;
    EXPECT_TRUE(FTGA->SaveToStream(stream, images));
    return stream.Bytes();
  }

  TDynImageDataArray FImages;
};

TEST_F(TGATest, OrientationAndRelabelling) {
  TTargaFields fields;
  fields.Height = 2;
  fields.Descriptor = 0;
  EXPECT_EQ(vtest::Bytes(Load(fields.Bytes() + Hex("010203 040506"))), Hex("040506 010203"));
  fields.Descriptor = 0x20;
  EXPECT_EQ(vtest::Bytes(Load(fields.Bytes() + Hex("010203 040506"))), Hex("010203 040506"));
  fields.Height = 1;
  fields.Width = 2;
  fields.PixelSize = 16;
  EXPECT_EQ(Load(fields.Bytes() + Hex("FF7F 0000")).Format, F::X1R5G5B5);
  EXPECT_EQ(Load(fields.Bytes() + Hex("FF7F 0080")).Format, F::A1R5G5B5);
}

TEST_F(TGATest, ColourMaps) {
  TTargaFields fields;
  fields.ColorMapType = 1;
  fields.ImageType = 1;
  fields.MapEntrySize = 24;
  fields.MapLength = 16;
  fields.PixelSize = 8;
  TBytes map;
  for (uint8_t i = 0; i < 16; ++i)
    map.insert(map.end(), {i, static_cast<uint8_t>(i + 1), static_cast<uint8_t>(i + 2)});
  const TImageData& paletted = Load(fields.Bytes() + map + Hex("05"));
  EXPECT_EQ(paletted.Format, F::Index8);
  EXPECT_EQ(paletted.Palette[15].Color, 0xFF11100Fu);
  EXPECT_EQ(paletted.Palette[16].Color, 0u);
  EXPECT_EQ(vtest::Bytes(paletted), Hex("05"));

  fields.MapEntrySize = 16;
  fields.MapLength = 1;
  EXPECT_EQ(Load(fields.Bytes() + Hex("FF7F 00")).Palette[0].Color, 0xFFFFFFFFu);

  // A true-colour file with a map present: the map's bytes are skipped.
  TTargaFields trueColour;
  trueColour.ColorMapType = 1;
  trueColour.MapEntrySize = 32;
  trueColour.MapLength = 4;
  EXPECT_EQ(vtest::Bytes(Load(trueColour.Bytes() + TBytes(16, 0xAA) + Hex("112233"))), Hex("112233"));
}

TEST_F(TGATest, RunLengthPacketsOfTheWriter) {
  struct TCase {
    const char* Name;
    TBytes Row;
    TBytes Packets;
  };
  TBytes distinct, distinctPackets = Hex("7F");
  for (int i = 0; i < 130; ++i)
    distinct.push_back(static_cast<uint8_t>(i));
  distinctPackets.insert(distinctPackets.end(), distinct.begin(), distinct.begin() + 128);
  distinctPackets = distinctPackets + Hex("00 80 00 81");
  const TCase cases[] = {
      {"A A A B", Hex("0A0A0A0B"), Hex("82 0A 00 0B")},
      {"A B C", Hex("0A0B0C"), Hex("01 0A 0B 00 0C")},
      {"300 x A", TBytes(300, 0x0A), Hex("FF 0A FF 0A AB 0A")},
      {"130 distinct", distinct, distinctPackets},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBytes packets;
    EncodeTargaRow(c.Row.data(), static_cast<int32_t>(c.Row.size()), 1, packets);
    EXPECT_EQ(packets, c.Packets);
  }
}

TEST_F(TGATest, NarrowRowsRoundTripWithRunLengths) {
  for (const TImageFormat format : {F::Gray8, F::Index8})
    for (int32_t width = 1; width <= 3; ++width) {
      SCOPED_TRACE(testing::Message() << format << " width " << width);
      TBytes pixels = Hex("010202 040506");
      pixels.resize(static_cast<size_t>(width) * 2);
      TOwnedImageData image = vtest::MakeImage(width, 2, format, pixels);
      if (image->Palette)
        image->Palette[2].Color = 0xFF102030;
      const TImageData& loaded = Load(Save(image.Get(), true));
      EXPECT_EQ(loaded.Format, format);
      EXPECT_EQ(vtest::Bytes(loaded), vtest::Bytes(image.Get()));
    }
}

TEST_F(TGATest, RunLengthReaderCutsAndStops) {
  TTargaFields fields;
  fields.ImageType = 11;
  fields.PixelSize = 8;
  fields.Width = 3;
  // A run of 5 over a 3-pixel image is cut; the position stands after the packet.
  int64_t position = 0;
  EXPECT_EQ(vtest::Bytes(Load(fields.Bytes() + Hex("84 07"), &position)), Hex("070707"));
  EXPECT_EQ(position, 20);
  // A raw packet of 4 over 3 pixels skips its last pixel.
  EXPECT_EQ(vtest::Bytes(Load(fields.Bytes() + Hex("03 01020304"), &position)), Hex("010203"));
  EXPECT_EQ(position, 23);
  TBytesStream cut(fields.Bytes() + Hex("01 0102"));
  TDynImageDataArray images;
  try {
    FTGA->LoadFromStream(cut, images);
    FAIL() << "no exception";
  } catch (const EImagingError& E) {
    EXPECT_NE(E.Message().find("TGA run-length data ends at pixel 2 of 3"), std::string::npos) << E.Message();
  }
}

TEST_F(TGATest, TrailerAfterTheLastPacketIsSkipped) {
  TTargaFields fields;
  fields.ImageType = 10;
  fields.Width = 2;
  TBytes extension(495, 0);
  extension[0] = 0xEF;
  extension[1] = 0x01;
  TBytes footer(26, 0);
  const std::string signature = "TRUEVISION-XFILE.";
  std::copy(signature.begin(), signature.end(), footer.begin() + 8);
  const TBytes file = fields.Bytes() + Hex("81 112233") + extension + footer;
  int64_t position = 0;
  EXPECT_EQ(vtest::Bytes(Load(file, &position)), Hex("112233 112233"));
  EXPECT_EQ(position, static_cast<int64_t>(file.size()));
}

TEST_F(TGATest, WrittenHeaders) {
  TOwnedImageData grey = vtest::MakeImage(1, 1, F::A8Gray8, Hex("40 80"));
  const TBytes file = Save(grey.Get(), false);
  EXPECT_EQ(file[2], 2);
  EXPECT_EQ(file[16], 32);
  EXPECT_EQ(file[17], 0x28);
  EXPECT_EQ(TBytes(file.begin() + 18, file.end()), Hex("40404080"));
  EXPECT_EQ(Save(grey.Get(), true)[2], 10);
}

TEST_F(TGATest, SizesAreChecked) {
  TDynImageDataArray images;
  for (const auto& [width, height] : {std::pair{0, 1}, std::pair{1, -5}}) {
    TTargaFields fields;
    fields.Width = width;
    fields.Height = height;
    TBytesStream stream(fields.Bytes() + TBytes(3, 0));
    EXPECT_THROW(FTGA->LoadFromStream(stream, images), EImagingError);
  }
  // Type 0 holds no image, so it describes nothing to bound: no load.
  TTargaFields empty;
  empty.ImageType = 0;
  empty.Width = empty.Height = 30000;
  TBytesStream none(empty.Bytes());
  EXPECT_FALSE(FTGA->LoadFromStream(none, images));
  // 1.2 GB described by a 118-byte file: refused before anything is allocated.
  TTargaFields large;
  large.Width = large.Height = 20000;
  TBytesStream stream(large.Bytes() + TBytes(100, 0));
  EXPECT_THROW(FTGA->LoadFromStream(stream, images), EImagingError);
}

// --- stb_image as the oracle ----------------------------------------------------------------------------

void AppendBytes(void* AContext, void* AData, int ASize) {
  auto* bytes = static_cast<TBytes*>(AContext);
  bytes->insert(bytes->end(), static_cast<uint8_t*>(AData), static_cast<uint8_t*>(AData) + ASize);
}

TEST_F(TGATest, FilesOfTheOracleDecode) {
  std::mt19937 random(21);
  for (const int channels : {1, 3, 4}) {
    SCOPED_TRACE(channels);
    const int width = 9, height = 5;
    TBytes pixels(static_cast<size_t>(width * height * channels));
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = static_cast<uint8_t>(i % 7 == 0 ? 0x55 : random());
    TBytes file;
    stbi_write_tga_with_rle = 1;
    ASSERT_NE(stbi_write_tga_to_func(AppendBytes, &file, width, height, channels, pixels.data()), 0);
    int w = 0, h = 0, n = 0;
    stbi_uc* expected = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
    ASSERT_NE(expected, nullptr);
    const TImageData& loaded = Load(file);
    TImageData converted{};
    CloneImageData(loaded, converted);
    TOwnedImageData owner(converted);
    ConvertImageData(owner.Get(), F::A8R8G8B8);
    const auto* ours = static_cast<const uint8_t*>(owner->Bits);
    for (int p = 0; p < w * h; ++p) {
      const uint8_t* theirs = expected + 4 * p;
      ASSERT_EQ((TBytes{ours[4 * p + 2], ours[4 * p + 1], ours[4 * p], ours[4 * p + 3]}),
                (TBytes{theirs[0], theirs[1], theirs[2], theirs[3]}))
          << "pixel " << p;
    }
    stbi_image_free(expected);
  }
}

TEST_F(TGATest, OurFilesDecodeInTheOracle) {
  std::mt19937 random(22);
  for (const TImageFormat format : {F::Index8, F::Gray8, F::A1R5G5B5, F::R8G8B8, F::A8R8G8B8})
    for (const bool rle : {false, true}) {
      SCOPED_TRACE(testing::Message() << format << (rle ? " rle" : " raw"));
      TOwnedImageData image = vtest::MakeImage(7, 3, format);
      for (int32_t i = 0; i < image->Size; ++i)
        static_cast<uint8_t*>(image->Bits)[i] = static_cast<uint8_t>(i % 5 == 0 ? 0x80 : random());
      for (int i = 0; image->Palette && i < 256; ++i)
        image->Palette[i].Color = 0xFF000000 | static_cast<uint32_t>(random());
      const TBytes file = Save(image.Get(), rle);
      int w = 0, h = 0, n = 0;
      stbi_uc* theirs = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4);
      ASSERT_NE(theirs, nullptr) << stbi_failure_reason();
      TOwnedImageData ours;
      CloneImageData(image.Get(), ours.Get());
      ConvertImageData(ours.Get(), F::A8R8G8B8);
      const auto* bgra = static_cast<const uint8_t*>(ours->Bits);
      for (int p = 0; p < w * h; ++p) {
        // stb expands 5-bit channels by bit replication, which equals c x 255 div 31 up to 1.
        for (int ch = 0; ch < 3; ++ch)
          ASSERT_NEAR(theirs[4 * p + ch], bgra[4 * p + 2 - ch], format == F::A1R5G5B5 ? 1 : 0)
              << "pixel " << p;
        if (format == F::A8R8G8B8)
          ASSERT_EQ(theirs[4 * p + 3], bgra[4 * p + 3]) << "pixel " << p;
      }
      stbi_image_free(theirs);
    }
}

} // namespace
