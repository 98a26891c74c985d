// The image record, the format table and the life cycle of images.

#include <gtest/gtest.h>

#include <cstdlib>

#include "image_test_support.h"

namespace {

using namespace vantrel;
namespace F = ImageFormatId;

// --- Format table ---------------------------------------------------------------------------------

struct TRowCase {
  TImageFormat Id;
  const char* Name;
  int32_t Bytes, Channels, PaletteSize;
  const char* Flags; // g gray, a alpha, f float, b bit fields, s swapped, p paletted, c block
  TImageFormat Twin, Nearest;
};

const TRowCase RowCases[] = {
    {F::Index8, "Index8", 1, 1, 256, "ap", 0, 0},
    {F::Gray8, "Gray8", 1, 1, 0, "g", 0, 0},
    {F::A8Gray8, "A8Gray8", 2, 2, 0, "ga", 0, 0},
    {F::Gray16, "Gray16", 2, 1, 0, "g", 0, 0},
    {F::Gray32, "Gray32", 4, 1, 0, "g", 0, 0},
    {F::Gray64, "Gray64", 8, 1, 0, "g", 0, 0},
    {F::A16Gray16, "A16Gray16", 4, 2, 0, "ga", 0, 0},
    {F::X5R1G1B1, "X5R1G1B1", 1, 3, 0, "b", 0, 0},
    {F::R3G3B2, "R3G3B2", 1, 3, 0, "b", 0, 0},
    {F::R5G6B5, "R5G6B5", 2, 3, 0, "b", 0, 0},
    {F::A1R5G5B5, "A1R5G5B5", 2, 4, 0, "ab", 0, 0},
    {F::A4R4G4B4, "A4R4G4B4", 2, 4, 0, "ab", 0, 0},
    {F::X1R5G5B5, "X1R5G5B5", 2, 3, 0, "b", 0, 0},
    {F::X4R4G4B4, "X4R4G4B4", 2, 3, 0, "b", 0, 0},
    {F::R8G8B8, "R8G8B8", 3, 3, 0, "", 0, 0},
    {F::A8R8G8B8, "A8R8G8B8", 4, 4, 0, "a", 0, 0},
    {F::X8R8G8B8, "X8R8G8B8", 4, 3, 0, "", 0, 0},
    {F::R16G16B16, "R16G16B16", 6, 3, 0, "", 92, 0},
    {F::A16R16G16B16, "A16R16G16B16", 8, 4, 0, "a", 93, 0},
    {F::B16G16R16, "B16G16R16", 6, 3, 0, "s", 90, 0},
    {F::A16B16G16R16, "A16B16G16R16", 8, 4, 0, "as", 91, 0},
    {F::R32F, "R32F", 4, 1, 0, "f", 0, 0},
    {F::A32R32G32B32F, "A32R32G32B32F", 16, 4, 0, "fa", 172, 0},
    {F::A32B32G32R32F, "A32B32G32R32F", 16, 4, 0, "fas", 171, 0},
    {F::R16F, "R16F", 2, 1, 0, "f", 0, 0},
    {F::A16R16G16B16F, "A16R16G16B16F", 8, 4, 0, "fa", 175, 0},
    {F::A16B16G16R16F, "A16B16G16R16F", 8, 4, 0, "fas", 174, 0},
    {F::DXT1, "DXT1", 0, 4, 0, "ca", 0, 88},
    {F::DXT3, "DXT3", 0, 4, 0, "ca", 0, 88},
    {F::DXT5, "DXT5", 0, 4, 0, "ca", 0, 88},
    {F::BTC, "BTC", 0, 1, 0, "c", 0, 40},
    {F::ATI1N, "ATI1N", 0, 1, 0, "c", 0, 40},
    {F::ATI2N, "ATI2N", 0, 2, 0, "c", 0, 88},
};

// True when AText is APrefix, 16 upper-case hex digits, then ASuffix.
bool MatchesAddress(const std::string& AText, std::string_view APrefix, std::string_view ASuffix) {
  if (AText.size() != APrefix.size() + 16 + ASuffix.size() || !AText.starts_with(APrefix) ||
      !AText.ends_with(ASuffix))
    return false;
  return std::all_of(AText.begin() + static_cast<ptrdiff_t>(APrefix.size()),
                     AText.begin() + static_cast<ptrdiff_t>(APrefix.size() + 16), [](char AChar) {
                       return (AChar >= '0' && AChar <= '9') || (AChar >= 'A' && AChar <= 'F');
                     });
}

bool Has(const char* AFlags, char AFlag) {
  return std::string_view(AFlags).find(AFlag) != std::string_view::npos;
}

TEST(ImageFormatTable, EveryRowMatchesTheTable) {
  int known = 0;
  for (TImageFormat id = -5; id < 240; ++id)
    known += IsFormatIdKnown(id);
  EXPECT_EQ(known, 34); // the 33 rows and the default slot
  for (const TRowCase& row : RowCases) {
    SCOPED_TRACE(row.Name);
    TImageFormatDescriptor info;
    ASSERT_TRUE(GetFormatDescriptor(row.Id, info));
    EXPECT_EQ(info.FormatId, row.Id);
    EXPECT_EQ(info.DisplayName, row.Name);
    EXPECT_EQ(GetFormatName(row.Id), row.Name);
    EXPECT_EQ(info.PixelBytes, row.Bytes);
    EXPECT_EQ(info.Channels, row.Channels);
    EXPECT_EQ(info.PaletteSize, row.PaletteSize);
    EXPECT_EQ(info.IsGray, Has(row.Flags, 'g'));
    EXPECT_EQ(info.HasAlpha, Has(row.Flags, 'a'));
    EXPECT_EQ(info.IsFloat, Has(row.Flags, 'f'));
    EXPECT_EQ(info.HasBitFields, Has(row.Flags, 'b'));
    EXPECT_EQ(info.BitFields != nullptr, Has(row.Flags, 'b'));
    EXPECT_EQ(info.IsBlueRedSwapped, Has(row.Flags, 's'));
    EXPECT_EQ(info.IsPaletted, Has(row.Flags, 'p'));
    EXPECT_EQ(info.IsBlockCompressed, Has(row.Flags, 'c'));
    EXPECT_EQ(info.SwapTwin, row.Twin);
    EXPECT_EQ(info.NearestPlainFormat, row.Nearest);
    const bool routines =
        info.ReadPixel32 && info.ReadPixelFloat && info.WritePixel32 && info.WritePixelFloat;
    EXPECT_EQ(routines, !info.IsBlockCompressed);
    EXPECT_TRUE(info.PixelsSize && info.AdjustDimensions);
  }
}

TEST(ImageFormatTable, NamesAndEmptySlots) {
  EXPECT_EQ(GetFormatName(0), "Unknown and unsupported format");
  EXPECT_EQ(GetFormatName(1), "A8R8G8B8");
  for (const TImageFormat id : {2, 226, -1, 500}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(GetFormatName(id), "Unknown and unsupported format");
    EXPECT_FALSE(IsFormatIdKnown(id));
    EXPECT_EQ(FindFormatDescriptor(id), nullptr);
  }
  TImageFormatDescriptor info;
  info.FormatId = 77;
  info.PixelBytes = 5;
  EXPECT_FALSE(GetFormatDescriptor(2, info));
  EXPECT_EQ(info.FormatId, 0);
  EXPECT_EQ(info.PixelBytes, 0);
  EXPECT_EQ(info.DisplayName, "");
  EXPECT_EQ(info.ReadPixel32, nullptr);
}

TEST(ImageFormatTable, BitFieldRecords) {
  struct TCase {
    TImageFormat Id;
    uint32_t Masks[4];
    uint8_t Shifts[4], Maxima[4];
  };
  const TCase cases[] = {
      {80, {0, 0x4, 0x2, 0x1}, {3, 2, 1, 0}, {1, 1, 1, 1}},
      {81, {0, 0xE0, 0x1C, 0x3}, {8, 5, 2, 0}, {1, 7, 7, 3}},
      {82, {0, 0xF800, 0x7E0, 0x1F}, {16, 11, 5, 0}, {1, 31, 63, 31}},
      {83, {0x8000, 0x7C00, 0x3E0, 0x1F}, {15, 10, 5, 0}, {1, 31, 31, 31}},
      {84, {0xF000, 0xF00, 0xF0, 0xF}, {12, 8, 4, 0}, {15, 15, 15, 15}},
      {85, {0, 0x7C00, 0x3E0, 0x1F}, {15, 10, 5, 0}, {1, 31, 31, 31}},
      {86, {0, 0xF00, 0xF0, 0xF}, {12, 8, 4, 0}, {1, 15, 15, 15}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Id);
    const TFormatBitFields& bits = *FindFormatDescriptor(c.Id)->BitFields;
    EXPECT_EQ((std::vector<uint32_t>{bits.AMask, bits.RMask, bits.GMask, bits.BMask}),
              std::vector<uint32_t>(c.Masks, c.Masks + 4));
    EXPECT_EQ((std::vector<uint8_t>{bits.AShift, bits.RShift, bits.GShift, bits.BShift}),
              std::vector<uint8_t>(c.Shifts, c.Shifts + 4));
    EXPECT_EQ((std::vector<uint8_t>{bits.AMax, bits.RMax, bits.GMax, bits.BMax}),
              std::vector<uint8_t>(c.Maxima, c.Maxima + 4));
  }
}

TEST(ImageFormatTable, FormatSetHoldsIdsUpTo231) {
  TImageFormats set;
  set.Include(F::DXT1);
  set.Include(231);
  set.Include(232);
  set.Include(-1);
  EXPECT_TRUE(set.Contains(F::DXT1));
  EXPECT_TRUE(set.Contains(231));
  EXPECT_FALSE(set.Contains(232));
  EXPECT_FALSE(set.Contains(-1));
  EXPECT_FALSE(set.Contains(F::DXT3));
}

TEST(ImageColorRecords, ChannelsOverlayTheNamedFields) {
  TColor32Rec color{};
  color.Color = 0x80112233;
  EXPECT_EQ(color.A, 0x80);
  EXPECT_EQ(color.R, 0x11);
  EXPECT_EQ(color.Channels[1], 0x22);
  EXPECT_EQ(color.B, 0x33);
  TColorFPRec fp{};
  fp.Channels[2] = 0.5f;
  EXPECT_EQ(fp.R, 0.5f);
}

// --- Life cycle -----------------------------------------------------------------------------------

TEST(ImageCreate, SizesAndRounding) {
  struct TCase {
    TImageFormat Format;
    int32_t Width, Height, Size;
    TImageFormat Stored;
  };
  const TCase cases[] = {
      {F::DXT1, 8, 4, 16, F::DXT1},   {F::DXT5, 8, 4, 32, F::DXT5},
      {F::BTC, 8, 4, 8, F::BTC},      {F::ATI1N, 8, 4, 16, F::ATI1N},
      {F::ATI2N, 8, 4, 32, F::ATI2N}, {F::Default, 5, 3, 60, F::A8R8G8B8},
      {F::DXT3, 8, 4, 32, F::DXT3},   {F::R16G16B16, 5, 3, 90, F::R16G16B16},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Format);
    TOwnedImageData image;
    ASSERT_TRUE(CreateImageData(5, 3, c.Format, image.Get()));
    EXPECT_EQ(image->Width, c.Width);
    EXPECT_EQ(image->Height, c.Height);
    EXPECT_EQ(image->Size, c.Size);
    EXPECT_EQ(image->Format, c.Stored);
    EXPECT_EQ(image->Palette, nullptr);
    EXPECT_EQ(vtest::Bytes(image.Get()), std::vector<uint8_t>(static_cast<size_t>(c.Size), 0));
  }
}

TEST(ImageCreate, PaletteOfIndex8IsZeroed) {
  TOwnedImageData image = vtest::MakeImage(3, 2, F::Index8);
  ASSERT_NE(image->Palette, nullptr);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(image->Palette[i].Color, 0u) << i;
}

TEST(ImageCreate, ProgrammingErrorsAssert) {
  TImageData image{};
  EXPECT_THROW(CreateImageData(0, 4, F::A8R8G8B8, image), EAssertionFailed);
  EXPECT_THROW(CreateImageData(4, -1, F::A8R8G8B8, image), EAssertionFailed);
  EXPECT_THROW(CreateImageData(4, 4, 2, image), EAssertionFailed);
  EXPECT_THROW(CreateImageData(4, 4, 226, image), EAssertionFailed);
}

TEST(ImageCreate, SizeAboveTheRecordLimitRaisesAndLeavesTheRecordZeroed) {
  TOwnedImageData image = vtest::MakeImage(2, 2, F::Gray8);
  try {
    CreateImageData(50000, 50000, F::A8R8G8B8, image.Get());
    FAIL() << "no exception";
  } catch (const EImagingError& E) {
    EXPECT_EQ(
        E.Message().rfind(
            "Error while creating image data with params: Width=50000 Height=50000 Format=A8R8G8B8.", 0),
        0u)
        << E.Message();
    EXPECT_NE(
        E.Message().find(" Exception Message: image of 10000000000 bytes exceeds the 2147483647-byte limit"),
        std::string::npos)
        << E.Message();
  }
  EXPECT_EQ(image->Bits, nullptr);
  EXPECT_EQ(image->Width, 0);
  EXPECT_EQ(image->Size, 0);
  // 32768 x 32768 x 4 wraps to 0 in 32 bits.
  EXPECT_THROW(CreateImageData(32768, 32768, F::A8R8G8B8, image.Get()), EImagingError);
}

TEST(ImageValidity, RecordsThatWouldCrashAreInvalid) {
  TOwnedImageData image = vtest::MakeImage(2, 3, F::A8R8G8B8);
  EXPECT_TRUE(IsImageDataValid(image.Get()));
  struct TCase {
    const char* Name;
    void (*Change)(TImageData&);
  };
  const TCase cases[] = {
      {"zeroed", [](TImageData& AImage) { AImage = TImageData{}; }},
      {"size + 1", [](TImageData& AImage) { ++AImage.Size; }},
      {"size - 1", [](TImageData& AImage) { --AImage.Size; }},
      {"negative sides", [](TImageData& AImage) { AImage.Width = -2, AImage.Height = -3; }},
      {"nil bits", [](TImageData& AImage) { AImage.Bits = nullptr; }},
      {"unknown format", [](TImageData& AImage) { AImage.Format = 2; }},
      {"format out of range", [](TImageData& AImage) { AImage.Format = 1000; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TImageData copy = image.Get();
    c.Change(copy);
    EXPECT_FALSE(IsImageDataValid(copy));
  }
  TOwnedImageData paletted = vtest::MakeImage(2, 2, F::Index8);
  TImageData noPalette = paletted.Get();
  noPalette.Palette = nullptr;
  EXPECT_FALSE(IsImageDataValid(noPalette));
}

TEST(ImageFree, FreesValidRecordsAndZeroesEveryRecord) {
  TImageData image{};
  ASSERT_TRUE(CreateImageData(4, 4, F::Index8, image));
  FreeImageData(image); // ASan reports a leak if the buffers stay
  EXPECT_EQ(image.Bits, nullptr);
  EXPECT_EQ(image.Palette, nullptr);
  TImageData invalid{3, 3, 2, 9, nullptr, nullptr};
  FreeImageData(invalid);
  EXPECT_EQ(invalid.Width, 0);
}

TEST(ImageArray, OwnsItsEntries) {
  TDynImageDataArray images;
  EXPECT_FALSE(AllImagesValid(images));
  images.resize(2);
  EXPECT_FALSE(AllImagesValid(images));
  ASSERT_TRUE(CreateImageData(2, 2, F::Gray8, images[0]));
  ASSERT_TRUE(CreateImageData(2, 2, F::DXT1, images[1]));
  EXPECT_TRUE(AllImagesValid(images));
  TImageData third{};
  ASSERT_TRUE(CreateImageData(1, 1, F::R8G8B8, third));
  images.push_back(third);
  TDynImageDataArray moved = std::move(images);
  EXPECT_EQ(moved.size(), 3u);
  moved.resize(1); // the two dropped entries are freed
  EXPECT_TRUE(AllImagesValid(moved));
  FreeImagesInArray(moved);
  EXPECT_TRUE(moved.empty());
}

TEST(ImageClone, CopiesDeeplyAndFreesOnlyWhatTheCloneOwns) {
  TOwnedImageData source = vtest::MakeImage(2, 1, F::Index8, {1, 2});
  source->Palette[1].Color = 0xFF102030;
  // Onto a record that shares the source's pixels: nothing is freed (ASan would see a double free).
  TImageData sharing = source.Get();
  ASSERT_TRUE(CloneImageData(source.Get(), sharing));
  TOwnedImageData clone(sharing);
  EXPECT_NE(clone->Bits, source->Bits);
  EXPECT_NE(clone->Palette, source->Palette);
  EXPECT_EQ(vtest::Bytes(clone.Get()), vtest::Bytes(source.Get()));
  EXPECT_EQ(clone->Palette[1].Color, 0xFF102030u);
  source->Palette[1].Color = 0;
  EXPECT_EQ(clone->Palette[1].Color, 0xFF102030u);
  // Onto another valid image: that image is freed (a leak otherwise).
  TOwnedImageData other = vtest::MakeImage(8, 8, F::A8R8G8B8);
  ASSERT_TRUE(CloneImageData(clone.Get(), other.Get()));
  EXPECT_EQ(other->Format, F::Index8);
  EXPECT_EQ(other->Size, 2);
  // An invalid source clones nothing.
  TImageData empty{};
  EXPECT_FALSE(CloneImageData(empty, other.Get()));
  EXPECT_EQ(other->Format, F::Index8);
}

// --- Text and errors --------------------------------------------------------------------------------

TEST(ImageText, DescribesValidImages) {
  struct TCase {
    int32_t Width, Height;
    const char* Size;
  };
  const TCase cases[] = {{100, 100, "Size = 39 KiB"},
                         {10, 10, "Size = 400 B"},
                         {64, 32, "Size = 8,192 B"},
                         {4096, 4096, "Size = 65,536 KiB"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Size);
    TOwnedImageData image = vtest::MakeImage(c.Width, c.Height, F::A8R8G8B8);
    EXPECT_NE(ImageDataToText(image.Get()).find(c.Size), std::string::npos) << ImageDataToText(image.Get());
  }
  TOwnedImageData image = vtest::MakeImage(3, 2, F::Index8);
  const std::string expected =
      Format("Image @%p info: Width = 3px, Height = 2px, Format = Index8, Size = 6 B, Bits @%p, Palette @%p.",
             static_cast<const void*>(&image.Get()), static_cast<const void*>(image->Bits),
             static_cast<const void*>(image->Palette));
  EXPECT_EQ(ImageDataToText(image.Get()), expected);
  EXPECT_TRUE(MatchesAddress(expected.substr(0, 23), "Image @", "")) << expected;
}

TEST(ImageText, InvalidRecordGivesTheAccessViolationText) {
  const TImageData image{};
  const std::string text = ImageDataToText(image);
  EXPECT_TRUE(
      MatchesAddress(text, "Access violation encountered when getting info on image at address ", "."))
      << text;
}

TEST(ImagingError, InnerMessageIsAppendedVerbatim) {
  try {
    try {
      throw EConvertError("bad %d value");
    } catch (const Exception&) {
      RaiseImagingError("outer %d", 7);
    }
  } catch (const EImagingError& E) {
    EXPECT_EQ(E.Message(), "outer 7 Exception Message: bad %d value");
  }
  try {
    RaiseImagingError("outer %s", "plain");
  } catch (const EImagingError& E) {
    EXPECT_EQ(E.Message(), "outer plain");
  }
  try {
    try {
      throw 42;
    } catch (int) {
      RaiseImagingError("outer");
    }
  } catch (const EImagingError& E) {
    EXPECT_EQ(E.Message(), "outer Exception Message: unknown exception");
  }
}

} // namespace
