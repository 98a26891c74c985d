// DDS files: header bytes, the format rules, image counts, pitched rows, round trips and hostile
// headers.

#include <gtest/gtest.h>

#include <random>

#include "formats/Vantrel.Imaging.DDS.h"
#include "image_test_support.h"

namespace {

using namespace vantrel;
namespace F = ImageFormatId;
using vtest::Hex;

uint32_t Code(const char* AText) {
  return static_cast<uint32_t>(AText[0]) | static_cast<uint32_t>(AText[1]) << 8 |
         static_cast<uint32_t>(AText[2]) << 16 | static_cast<uint32_t>(AText[3]) << 24;
}

// The fields of a DDS header, made into its 128 bytes.
struct TDDSFields {
  uint32_t Flags = 0x1007, Height = 1, Width = 1, Pitch = 0, Depth = 0, MipMaps = 0;
  uint32_t PixelFlags = 0x40, FourCC = 0, BitCount = 32, R = 0xFF0000, G = 0xFF00, B = 0xFF, A = 0;
  uint32_t Caps = 0x1000, Caps2 = 0;

  TBytes Bytes(size_t APayload = 0, uint8_t AFill = 0) const {
    TBytes bytes(128 + APayload, AFill);
    const uint32_t values[][2] = {
        {0, 0x20534444}, {4, 124},      {8, Flags}, {12, Height},     {16, Width},  {20, Pitch},
        {24, Depth},     {28, MipMaps}, {76, 32},   {80, PixelFlags}, {84, FourCC}, {88, BitCount},
        {92, R},         {96, G},       {100, B},   {104, A},         {108, Caps},  {112, Caps2}};
    std::fill(bytes.begin(), bytes.begin() + 128, uint8_t{0});
    for (const auto& [offset, value] : values)
      for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
  }
};

uint32_t Field(const TBytes& ABytes, size_t AOffset) {
  return ABytes[AOffset] | ABytes[AOffset + 1] << 8 | ABytes[AOffset + 2] << 16 |
         uint32_t{ABytes[AOffset + 3]} << 24;
}

class DDSTest : public testing::Test {
protected:
  TOwned<TDDSFileFormat> FDDS{New<TDDSFileFormat>()};

  bool Load(const TBytes& ABytes, TDynImageDataArray& AImages) {
    TBytesStream stream(ABytes);
    return FDDS->LoadFromStream(stream, AImages);
  }
  TBytes Save(const TDynImageDataArray& AImages) {
    TBytesStream stream;
    EXPECT_TRUE(FDDS->SaveToStream(stream, AImages));
    return stream.Bytes();
  }
};

// A mip chain of AFormat from ASide down to 1 x 1 (at most ALevels levels), with seeded bytes.
TDynImageDataArray Chain(TImageFormat AFormat, int32_t ASide, int32_t ALevels, int32_t ARepeat = 1) {
  std::mt19937 random(static_cast<uint32_t>(AFormat));
  TDynImageDataArray images;
  for (int32_t r = 0; r < ARepeat; ++r)
    for (int32_t l = 0; l < ALevels; ++l) {
      TImageData image{};
      CreateImageData(std::max(1, ASide >> l), std::max(1, ASide >> l), AFormat, image);
      for (int32_t i = 0; i < image.Size; ++i)
        static_cast<uint8_t*>(image.Bits)[i] = static_cast<uint8_t>(random());
      images.push_back(image);
    }
  return images;
}

TEST_F(DDSTest, HeaderBytesOfOneImageAndOfAChain) {
  const TBytes file = Save(Chain(F::A8R8G8B8, 4, 1));
  ASSERT_EQ(file.size(), 192u);
  EXPECT_EQ(TBytes(file.begin() + 8, file.begin() + 12), Hex("07100800"));
  EXPECT_EQ(Field(file, 12), 4u);
  EXPECT_EQ(Field(file, 16), 4u);
  EXPECT_EQ(Field(file, 20), 64u);
  EXPECT_EQ(Field(file, 28), 0u);
  EXPECT_EQ(TBytes(file.begin() + 76, file.begin() + 84), Hex("20000000 41000000"));
  EXPECT_EQ(Field(file, 88), 32u);
  EXPECT_EQ(TBytes(file.begin() + 92, file.begin() + 112),
            Hex("0000FF00 00FF0000 FF000000 000000FF 00100000"));
  EXPECT_EQ(TBytes(file.begin() + 32, file.begin() + 76), TBytes(44, 0));
  EXPECT_EQ(TBytes(file.begin() + 112, file.begin() + 128), TBytes(16, 0));

  const TBytes chain = Save(Chain(F::A8R8G8B8, 4, 3));
  EXPECT_EQ(chain.size(), 212u);
  EXPECT_EQ(Field(chain, 8), 0xA1007u);
  EXPECT_EQ(Field(chain, 28), 3u);
  EXPECT_EQ(Field(chain, 108), 0x401008u);
}

TEST_F(DDSTest, FormatRules) {
  struct TCase {
    const char* Name;
    uint32_t PixelFlags, FourCC, Bits, R, G, B, A;
    TImageFormat Expected; // Unknown: the load returns False
    bool Swapped;
  };
  const TCase cases[] = {
      {"DXT1", 0x4, Code("DXT1"), 0, 0, 0, 0, 0, F::DXT1, false},
      {"ATI2", 0x4, Code("ATI2"), 0, 0, 0, 0, 0, F::ATI2N, false},
      {"D3D 36", 0x4, 36, 0, 0, 0, 0, 0, F::A16B16G16R16, false},
      {"D3D 116", 0x4, 116, 0, 0, 0, 0, 0, F::A32B32G32R32F, false},
      {"unknown FourCC", 0x4, Code("XYZW"), 0, 0, 0, 0, 0, F::Unknown, false},
      {"A1R5G5B5", 0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, F::A1R5G5B5, false},
      {"A4R4G4B4", 0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000, F::A4R4G4B4, false},
      {"32-bit alpha, blue high", 0x41, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, F::A8R8G8B8, true},
      {"32-bit alpha", 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, F::A8R8G8B8, false},
      {"R3G3B2", 0x40, 0, 8, 0xE0, 0x1C, 0x3, 0, F::R3G3B2, false},
      {"R5G6B5", 0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0, F::R5G6B5, false},
      {"X1R5G5B5", 0x40, 0, 16, 0x7C00, 0x3E0, 0x1F, 0, F::X1R5G5B5, false},
      {"X4R4G4B4", 0x40, 0, 16, 0xF00, 0xF0, 0xF, 0, F::X4R4G4B4, false},
      {"24-bit", 0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0, F::R8G8B8, false},
      {"32-bit, blue high", 0x40, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0, F::X8R8G8B8, true},
      {"32-bit", 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, F::X8R8G8B8, false},
      {"luminance with alpha", 0x20001, 0, 16, 0xFF, 0, 0, 0xFF00, F::A8Gray8, false},
      {"luminance 8", 0x20000, 0, 8, 0xFF, 0, 0, 0, F::Gray8, false},
      {"luminance 16", 0x20000, 0, 16, 0xFFFF, 0, 0, 0, F::Gray16, false},
      {"0x40000", 0x40000, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0, F::X8R8G8B8, true},
      {"0x80000 16", 0x80000, 0, 16, 0, 0, 0, 0, F::A8Gray8, false},
      {"0x80000 32", 0x80000, 0, 32, 0, 0, 0, 0xFF000000, F::A8R8G8B8, true},
      {"0x80000 64", 0x80000, 0, 64, 0, 0, 0, 0, F::A16B16G16R16, false},
      {"masks of nothing", 0x40, 0, 16, 0xF000, 0xF00, 0xF0, 0, F::Unknown, false},
      {"alpha mask without alpha flag", 0x40, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, F::Unknown, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TDDSFields fields;
    fields.PixelFlags = c.PixelFlags;
    fields.FourCC = c.FourCC;
    fields.BitCount = c.Bits;
    fields.R = c.R, fields.G = c.G, fields.B = c.B, fields.A = c.A;
    const int32_t size =
        c.Expected == F::Unknown
            ? 16
            : static_cast<int32_t>(FindFormatDescriptor(c.Expected)->PixelsSize(c.Expected, 1, 1));
    TBytes file = fields.Bytes(static_cast<size_t>(size));
    for (int32_t i = 0; i < size; ++i)
      file[128 + static_cast<size_t>(i)] = static_cast<uint8_t>(0x11 * (i + 1));
    TDynImageDataArray images;
    const bool loaded = Load(file, images);
    ASSERT_EQ(loaded, c.Expected != F::Unknown);
    if (!loaded)
      continue;
    EXPECT_EQ(images[0].Format, c.Expected);
    if (c.Expected == F::A8R8G8B8 || c.Expected == F::X8R8G8B8) {
      const TBytes bytes = vtest::Bytes(images[0]);
      EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + 3), c.Swapped ? Hex("33 22 11") : Hex("11 22 33"));
    }
  }
}

TEST_F(DDSTest, ImageCountsOfChainsCubesAndVolumes) {
  TDDSFields fields;
  fields.Width = fields.Height = 256;
  fields.PixelFlags = 0x4;
  fields.FourCC = Code("DXT1");
  fields.MipMaps = 9;
  fields.Flags = 0xA1007;
  TDynImageDataArray images;
  ASSERT_TRUE(Load(fields.Bytes(43704), images));
  ASSERT_EQ(images.size(), 9u);
  const int32_t widths[] = {256, 128, 64, 32, 16, 8, 4, 4, 4};
  for (size_t i = 0; i < 9; ++i)
    EXPECT_EQ(images[i].Width, widths[i]) << i;
  EXPECT_EQ(FDDS->GetLoadedMipMapCount(), 9);
  EXPECT_THROW(Load(fields.Bytes(43703), images), EImagingError);

  fields.Caps2 = 0x200 | 0xFC00;
  ASSERT_TRUE(Load(fields.Bytes(6 * 43704), images));
  EXPECT_EQ(images.size(), 54u);
  EXPECT_EQ(images[9].Width, 256);
  EXPECT_EQ(FDDS->GetLoadedDepth(), 6);
  EXPECT_EQ(GetImageOption(ImagingOption::DDSLoadedCubeMap), -1);

  TDDSFields volume;
  volume.Width = volume.Height = 4;
  volume.Depth = 4;
  volume.MipMaps = 3;
  volume.Flags = 0x8A1007;
  volume.Caps2 = 0x200000;
  ASSERT_TRUE(Load(volume.Bytes(4 * 64 + 2 * 16 + 4), images));
  ASSERT_EQ(images.size(), 7u);
  EXPECT_EQ(images[3].Width, 4);
  EXPECT_EQ(images[4].Width, 2);
  EXPECT_EQ(images[6].Width, 1);
  EXPECT_TRUE(FDDS->GetLoadedVolume());
  EXPECT_EQ(DDSVolumeImageCount(4, 3), 7);
}

TEST_F(DDSTest, PitchedRowsDropTheirPadding) {
  TDDSFields fields;
  fields.Width = 5;
  fields.Height = 2;
  fields.Flags = 0x100F; // the pitch flag alone
  fields.Pitch = 16;
  fields.BitCount = 24;
  TBytes file = fields.Bytes(32, 0xEE);
  for (size_t i = 0; i < 15; ++i)
    file[128 + i] = file[144 + i] = static_cast<uint8_t>(i);
  TDynImageDataArray images;
  ASSERT_TRUE(Load(file, images));
  TBytes expected;
  for (int row = 0; row < 2; ++row)
    for (uint8_t i = 0; i < 15; ++i)
      expected.push_back(i);
  EXPECT_EQ(vtest::Bytes(images[0]), expected);
}

TEST_F(DDSTest, TestFormatLeavesThePosition) {
  TBytesStream stream(TBytes(100, 0x44));
  TStreamIOHandle handle(stream);
  EXPECT_FALSE(FDDS->TestFormat(&handle));
  EXPECT_EQ(stream.GetPosition(), 0);
  TBytesStream header(TDDSFields().Bytes(4));
  TStreamIOHandle headerHandle(header);
  EXPECT_TRUE(FDDS->TestFormat(&headerHandle));
  EXPECT_EQ(header.GetPosition(), 0);
}

TEST_F(DDSTest, RoundTripsOfEveryWrittenFormat) {
  for (const TImageFormat format :
       {40, 41, 42, 81, 82, 83, 84, 85, 86, 87, 88, 89, 93, 170, 172, 173, 175, 220, 221, 222, 224, 225}) {
    SCOPED_TRACE(format);
    const TDynImageDataArray images = Chain(format, 8, 4);
    TDynImageDataArray loaded;
    ASSERT_TRUE(Load(Save(images), loaded));
    ASSERT_EQ(loaded.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(loaded[i].Format, format);
      EXPECT_EQ(vtest::Bytes(loaded[i]), vtest::Bytes(images[i])) << "level " << i;
    }
  }
  TDynImageDataArray converted;
  ASSERT_TRUE(Load(Save(Chain(F::X5R1G1B1, 4, 1)), converted));
  EXPECT_EQ(converted[0].Format, F::X8R8G8B8);
}

TEST_F(DDSTest, RoundTripsOfCubesAndVolumes) {
  for (const TImageFormat format : {F::A8R8G8B8, F::DXT1}) {
    SCOPED_TRACE(format);
    FDDS->SetSaveCubeMap(true);
    FDDS->SetSaveDepth(6);
    FDDS->SetSaveMipMapCount(3);
    const TDynImageDataArray faces = Chain(format, 8, 3, 6);
    TDynImageDataArray loaded;
    ASSERT_TRUE(Load(Save(faces), loaded));
    ASSERT_EQ(loaded.size(), 18u);
    EXPECT_TRUE(FDDS->GetLoadedCubeMap());
    for (size_t i = 0; i < 18; ++i)
      EXPECT_EQ(vtest::Bytes(loaded[i]), vtest::Bytes(faces[i])) << i;

    FDDS->SetSaveCubeMap(false);
    FDDS->SetSaveVolume(true);
    FDDS->SetSaveDepth(4);
    TDynImageDataArray slices = Chain(format, 8, 1, 4);
    TDynImageDataArray level1 = Chain(format, 4, 1, 2), level2 = Chain(format, 2, 1, 1);
    for (TDynImageDataArray* more : {&level1, &level2})
      for (const TImageData& image : *more) {
        TImageData copy{};
        CloneImageData(image, copy);
        slices.push_back(copy);
      }
    ASSERT_TRUE(Load(Save(slices), loaded));
    ASSERT_EQ(loaded.size(), 7u);
    EXPECT_EQ(FDDS->GetLoadedDepth(), 4);
    for (size_t i = 0; i < 7; ++i)
      EXPECT_EQ(vtest::Bytes(loaded[i]), vtest::Bytes(slices[i])) << i;
    FDDS->SetSaveVolume(false);
    FDDS->SetSaveDepth(1);
    FDDS->SetSaveMipMapCount(1);
  }
}

TEST_F(DDSTest, HostileHeadersFailCleanly) {
  struct TCase {
    const char* Name;
    void (*Change)(TDDSFields&);
    size_t Payload;
  };
  const TCase cases[] = {
      {"width 0", [](TDDSFields& AF) { AF.Width = 0; }, 64},
      {"height 0x80000000", [](TDDSFields& AF) { AF.Height = 0x80000000; }, 64},
      {"volume of depth 0", [](TDDSFields& AF) { AF.Flags |= 0x800000, AF.Caps2 = 0x200000, AF.Depth = 0; },
       64},
      {"volume of depth 0x7FFFFFFF",
       [](TDDSFields& AF) { AF.Flags |= 0x800000, AF.Caps2 = 0x200000, AF.Depth = 0x7FFFFFFF; }, 64},
      {"mip count 0xFFFFFFFF", [](TDDSFields& AF) { AF.MipMaps = 0xFFFFFFFF; }, 16},
      {"4096 x 4096 over 1 KiB", [](TDDSFields& AF) { AF.Width = AF.Height = 4096; }, 1024},
      {"one byte short", [](TDDSFields& AF) { AF.Width = AF.Height = 4; }, 63},
      {"pitch below the row",
       [](TDDSFields& AF) { AF.Width = 5, AF.BitCount = 24, AF.Flags = 0x100F, AF.Pitch = 8; }, 64},
      {"cube without faces", [](TDDSFields& AF) { AF.Caps2 = 0x200; }, 64},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TDDSFields fields;
    fields.A = 0xFF000000;
    fields.PixelFlags = 0x41;
    c.Change(fields);
    TDynImageDataArray images;
    try {
      EXPECT_FALSE(Load(fields.Bytes(c.Payload), images));
    } catch (const EImagingError&) {
    }
  }
}

TEST_F(DDSTest, LinearImagesReadTheirOwnSize) {
  // A 4 x 4 level and a 2 x 2 level of A8R8G8B8 whatever the header's linear size says.
  for (const uint32_t linearSize : {0u, 10u, 1000000u}) {
    SCOPED_TRACE(linearSize);
    TDDSFields fields;
    fields.Width = fields.Height = 4;
    fields.Flags = 0xA1007;
    fields.MipMaps = 2;
    fields.Pitch = linearSize;
    fields.PixelFlags = 0x41;
    fields.A = 0xFF000000;
    TBytes file = fields.Bytes(80);
    for (size_t i = 128; i < file.size(); ++i)
      file[i] = static_cast<uint8_t>(i);
    TDynImageDataArray images;
    ASSERT_TRUE(Load(file, images));
    EXPECT_EQ(vtest::Bytes(images[1]), TBytes(file.begin() + 192, file.end()));
  }
  TDDSFields pitchOnly;
  pitchOnly.Width = pitchOnly.Height = 4;
  pitchOnly.Flags = 0x100F;
  pitchOnly.Pitch = 8;
  pitchOnly.PixelFlags = 0x4;
  pitchOnly.FourCC = Code("DXT1");
  TBytes file = pitchOnly.Bytes(8);
  const TBytes block = Hex("00F8 1F00 AAAAAAAA");
  std::copy(block.begin(), block.end(), file.begin() + 128);
  TDynImageDataArray images;
  ASSERT_TRUE(Load(file, images));
  EXPECT_EQ(vtest::Bytes(images[0]), block);
}

TEST_F(DDSTest, WriterKeepsSmallBlocksAndClampsCubes) {
  TDynImageDataArray chain = Chain(F::DXT1, 4, 3);
  TDynImageDataArray loaded;
  ASSERT_TRUE(Load(Save(chain), loaded));
  EXPECT_EQ(vtest::Bytes(loaded[1]), vtest::Bytes(chain[1])); // 2 x 2, stored 4 x 4, not re-encoded
  EXPECT_EQ(vtest::Bytes(loaded[2]), vtest::Bytes(chain[2]));

  FDDS->SetSaveCubeMap(true);
  FDDS->SetSaveDepth(9);
  const TBytes cube = Save(Chain(F::A8R8G8B8, 4, 1, 9));
  EXPECT_EQ(Field(cube, 112), 0xFE00u);
  EXPECT_EQ(cube.size(), 128u + 6 * 64);
  FDDS->SetSaveDepth(6);
  const TBytes plain = Save(Chain(F::A8R8G8B8, 4, 1, 2));
  EXPECT_EQ(Field(plain, 112), 0u);
  EXPECT_EQ(plain.size(), 128u + 64 + 16); // two levels: the second image resized to 2 x 2
  FDDS->SetSaveCubeMap(false);
  FDDS->SetSaveDepth(1);
}

} // namespace
