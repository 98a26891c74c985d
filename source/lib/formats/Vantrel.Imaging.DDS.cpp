#include "formats/Vantrel.Imaging.DDS.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "rtl/properties.h"

namespace vantrel {

RTL_DEFINE_CLASS(TDDSFileFormat, "Vantrel.Imaging.DDS", &TDDSFileFormat::RegisterProperties)

namespace {

constexpr int64_t HeaderSize = 128;
constexpr uint32_t Magic = 0x20534444; // "DDS "

// Header flags, pixel-format flags and caps.
constexpr uint32_t FlagPitch = 0x8, FlagMipMapCount = 0x20000, FlagLinearSize = 0x80000, FlagDepth = 0x800000;
constexpr uint32_t PixelAlpha = 0x1, PixelFourCC = 0x4, PixelRGB = 0x40, PixelLuminance = 0x20000;
constexpr uint32_t CapsComplex = 0x8, CapsTexture = 0x1000, CapsMipMap = 0x400000;
constexpr uint32_t Caps2CubeMap = 0x200, Caps2Faces = 0xFC00, Caps2Volume = 0x200000;

constexpr uint32_t FourCC(const char (&ACode)[5]) {
  return static_cast<uint32_t>(ACode[0]) | static_cast<uint32_t>(ACode[1]) << 8 |
         static_cast<uint32_t>(ACode[2]) << 16 | static_cast<uint32_t>(ACode[3]) << 24;
}

// The 128 bytes of the magic and the header, as fields.
struct TDDSHeader {
  uint32_t Magic = 0, Size = 0, Flags = 0, Height = 0, Width = 0, PitchOrLinearSize = 0, Depth = 0,
           MipMapCount = 0;
  uint32_t PixelFormatSize = 0, PixelFlags = 0, FourCC = 0, BitCount = 0;
  uint32_t RMask = 0, GMask = 0, BMask = 0, AMask = 0, Caps = 0, Caps2 = 0;
};

uint32_t Load32(const uint8_t* AAt) {
  return static_cast<uint32_t>(AAt[0]) | static_cast<uint32_t>(AAt[1]) << 8 |
         static_cast<uint32_t>(AAt[2]) << 16 | static_cast<uint32_t>(AAt[3]) << 24;
}

void Store32(uint8_t* AAt, uint32_t AValue) {
  for (int i = 0; i < 4; ++i)
    AAt[i] = static_cast<uint8_t>(AValue >> (8 * i));
}

// Each field and its offset in the 128 bytes.
struct TFieldAt {
  uint32_t TDDSHeader::*Field;
  int Offset;
};
constexpr TFieldAt HeaderFields[] = {
    {&TDDSHeader::Magic, 0},       {&TDDSHeader::Size, 4},         {&TDDSHeader::Flags, 8},
    {&TDDSHeader::Height, 12},     {&TDDSHeader::Width, 16},       {&TDDSHeader::PitchOrLinearSize, 20},
    {&TDDSHeader::Depth, 24},      {&TDDSHeader::MipMapCount, 28}, {&TDDSHeader::PixelFormatSize, 76},
    {&TDDSHeader::PixelFlags, 80}, {&TDDSHeader::FourCC, 84},      {&TDDSHeader::BitCount, 88},
    {&TDDSHeader::RMask, 92},      {&TDDSHeader::GMask, 96},       {&TDDSHeader::BMask, 100},
    {&TDDSHeader::AMask, 104},     {&TDDSHeader::Caps, 108},       {&TDDSHeader::Caps2, 112},
};

TDDSHeader ParseHeader(const uint8_t* ABytes) {
  TDDSHeader header;
  for (const TFieldAt& field : HeaderFields)
    header.*field.Field = Load32(ABytes + field.Offset);
  return header;
}

// The reserved fields stay zero.
void FormatHeader(const TDDSHeader& AHeader, uint8_t* ABytes) {
  std::memset(ABytes, 0, HeaderSize);
  for (const TFieldAt& field : HeaderFields)
    Store32(ABytes + field.Offset, AHeader.*field.Field);
}

bool MasksEqual(const TDDSHeader& AHeader, TImageFormat AFormat) {
  const TFormatBitFields& bits = *FindFormatDescriptor(AFormat)->BitFields;
  return AHeader.AMask == bits.AMask && AHeader.RMask == bits.RMask && AHeader.GMask == bits.GMask &&
         AHeader.BMask == bits.BMask;
}

// One rule of the format choice: it applies when the flags it names are set (and, for the rows
// without alpha, the alpha flag is clear) and its condition holds. The first rule that applies wins.
struct TFormatRule {
  uint32_t Flags;
  bool WithoutAlpha;
  bool (*Condition)(const TDDSHeader&);
  TImageFormat Format;
  bool (*Swap)(const TDDSHeader&);
};

bool Never(const TDDSHeader&) {
  return false;
}
bool BlueMaskIsHigh(const TDDSHeader& AHeader) {
  return AHeader.BMask == 0xFF0000;
}
bool Always(const TDDSHeader&) {
  return true;
}

template <uint32_t Code> bool HasFourCC(const TDDSHeader& AHeader) {
  return AHeader.FourCC == Code;
}
template <uint32_t Bits> bool HasBits(const TDDSHeader& AHeader) {
  return AHeader.BitCount == Bits;
}
template <uint32_t Bits, TImageFormat Format> bool HasBitsAndMasks(const TDDSHeader& AHeader) {
  return AHeader.BitCount == Bits && MasksEqual(AHeader, Format);
}

using namespace ImageFormatId;

constexpr TFormatRule FormatRules[] = {
    {PixelFourCC, false, HasFourCC<FourCC("DXT1")>, DXT1, Never},
    {PixelFourCC, false, HasFourCC<FourCC("DXT3")>, DXT3, Never},
    {PixelFourCC, false, HasFourCC<FourCC("DXT5")>, DXT5, Never},
    {PixelFourCC, false, HasFourCC<FourCC("ATI1")>, ATI1N, Never},
    {PixelFourCC, false, HasFourCC<FourCC("ATI2")>, ATI2N, Never},
    {PixelFourCC, false, HasFourCC<36>, A16B16G16R16, Never},
    {PixelFourCC, false, HasFourCC<111>, R16F, Never},
    {PixelFourCC, false, HasFourCC<113>, A16B16G16R16F, Never},
    {PixelFourCC, false, HasFourCC<114>, R32F, Never},
    {PixelFourCC, false, HasFourCC<116>, A32B32G32R32F, Never},
    {PixelRGB | PixelAlpha, false, HasBitsAndMasks<16, A1R5G5B5>, A1R5G5B5, Never},
    {PixelRGB | PixelAlpha, false, HasBitsAndMasks<16, A4R4G4B4>, A4R4G4B4, Never},
    {PixelRGB | PixelAlpha, false, HasBits<32>, A8R8G8B8, BlueMaskIsHigh},
    {PixelRGB, true, HasBitsAndMasks<8, R3G3B2>, R3G3B2, Never},
    {PixelRGB, true, HasBitsAndMasks<16, R5G6B5>, R5G6B5, Never},
    {PixelRGB, true, HasBitsAndMasks<16, X1R5G5B5>, X1R5G5B5, Never},
    {PixelRGB, true, HasBitsAndMasks<16, X4R4G4B4>, X4R4G4B4, Never},
    {PixelRGB, true, HasBits<24>, R8G8B8, Never},
    {PixelRGB, true, HasBits<32>, X8R8G8B8, BlueMaskIsHigh},
    {PixelLuminance | PixelAlpha, false, HasBits<16>, A8Gray8, Never},
    {PixelLuminance, true, HasBits<8>, Gray8, Never},
    {PixelLuminance, true, HasBits<16>, Gray16, Never},
    {0x40000, false,
     [](const TDDSHeader& AHeader) { return AHeader.BitCount == 32 && AHeader.BMask == 0xFF0000; }, X8R8G8B8,
     Always},
    {0x80000, false, HasBits<16>, A8Gray8, Never},
    {0x80000, false,
     [](const TDDSHeader& AHeader) { return AHeader.BitCount == 32 && AHeader.AMask == 0xFF000000; },
     A8R8G8B8, Always},
    {0x80000, false, HasBits<64>, A16B16G16R16, Never},
};

// The format of the file's pixels and whether red and blue are swapped after reading; Unknown
// when no rule applies.
std::pair<TImageFormat, bool> ChooseFormat(const TDDSHeader& AHeader) {
  for (const TFormatRule& rule : FormatRules) {
    const bool flags = (AHeader.PixelFlags & rule.Flags) == rule.Flags;
    if (flags && !(rule.WithoutAlpha && (AHeader.PixelFlags & PixelAlpha)) && rule.Condition(AHeader))
      return {rule.Format, rule.Swap(AHeader)};
  }
  return {Unknown, false};
}

int32_t Halve(int64_t AValue, int64_t ALevel) {
  return ALevel >= 62 ? 1 : static_cast<int32_t>(std::max<int64_t>(1, AValue >> ALevel));
}

int64_t ChainLength(int64_t AWidth, int64_t AHeight) {
  int64_t levels = 1;
  for (; AWidth > 1 || AHeight > 1; ++levels) {
    AWidth = std::max<int64_t>(1, AWidth / 2);
    AHeight = std::max<int64_t>(1, AHeight / 2);
  }
  return levels;
}

struct TLayout {
  int64_t Width, Height, MipMaps, Depth;
  bool Volume, Cube;
};

// The width and height of each of ACount images, in file order.
std::vector<std::pair<int32_t, int32_t>> LevelSizes(const TLayout& ALayout, int64_t ACount) {
  std::vector<std::pair<int32_t, int32_t>> sizes;
  sizes.reserve(static_cast<size_t>(ACount));
  const auto level = [&](int64_t ALevel) {
    return std::pair{Halve(ALayout.Width, ALevel), Halve(ALayout.Height, ALevel)};
  };
  const int64_t mipMaps = std::max<int64_t>(ALayout.MipMaps, 1);
  if (mipMaps == 1) {
    sizes.assign(static_cast<size_t>(ACount), level(0));
  } else if (ALayout.Volume) {
    for (int64_t l = 0; static_cast<int64_t>(sizes.size()) < ACount; ++l) {
      const int64_t slices = std::clamp<int64_t>(l >= 62 ? 0 : ALayout.Depth >> l, 1, ALayout.Depth);
      for (int64_t s = 0; s < slices && static_cast<int64_t>(sizes.size()) < ACount; ++s)
        sizes.push_back(level(l));
    }
  } else {
    for (int64_t i = 0; i < ACount; ++i)
      sizes.push_back(level(ALayout.Cube ? i % mipMaps : i));
  }
  return sizes;
}

// Sums and products of sizes that saturate instead of overflowing.
int64_t SaturatedAdd(int64_t AA, int64_t AB) {
  return AA > INT64_MAX - AB ? INT64_MAX : AA + AB;
}
int64_t SaturatedMul(int64_t AA, int64_t AB) {
  return AB != 0 && AA > INT64_MAX / AB ? INT64_MAX : AA * AB;
}

void ReadExact(TImageIOHandle* AHandle, void* ABuffer, int64_t ACount) {
  const int64_t read = AHandle->Read(ABuffer, ACount);
  if (read != ACount)
    throw EImagingError(
        Format("DDS data too short: %d bytes needed, %d available", ACount, std::max<int64_t>(read, 0)));
}

void RequireRemaining(TImageIOHandle* AHandle, int64_t ANeeded) {
  const int64_t size = AHandle->Size();
  const int64_t remaining = size < 0 ? -1 : std::max<int64_t>(size - AHandle->Position(), 0);
  if (remaining >= 0 && remaining < ANeeded)
    throw EImagingError(Format("DDS data too short: %d bytes needed, %d available", ANeeded, remaining));
}

// The pixel format of a written file.
void DescribePixels(const TImageFormatDescriptor& AInfo, TDDSHeader& AHeader) {
  AHeader.PixelFormatSize = 32;
  const uint32_t codes[][2] = {{DXT1, FourCC("DXT1")},
                               {DXT3, FourCC("DXT3")},
                               {DXT5, FourCC("DXT5")},
                               {ATI1N, FourCC("ATI1")},
                               {ATI2N, FourCC("ATI2")},
                               {A16B16G16R16, 36},
                               {R32F, 114},
                               {A32B32G32R32F, 116},
                               {R16F, 111},
                               {A16B16G16R16F, 113}};
  for (const auto& [format, code] : codes)
    if (AInfo.FormatId == static_cast<TImageFormat>(format)) {
      AHeader.PixelFlags = PixelFourCC;
      AHeader.FourCC = code;
      return;
    }
  AHeader.BitCount = static_cast<uint32_t>(8 * AInfo.PixelBytes);
  if (AInfo.IsGray) {
    AHeader.PixelFlags = PixelLuminance | (AInfo.HasAlpha ? PixelAlpha : 0);
    AHeader.RMask = AInfo.FormatId == Gray16 ? 0xFFFF : 0xFF;
    AHeader.AMask = AInfo.HasAlpha ? 0xFF00 : 0;
    return;
  }
  AHeader.PixelFlags = PixelRGB | (AInfo.HasAlpha ? PixelAlpha : 0);
  if (AInfo.BitFields) {
    AHeader.RMask = AInfo.BitFields->RMask;
    AHeader.GMask = AInfo.BitFields->GMask;
    AHeader.BMask = AInfo.BitFields->BMask;
    AHeader.AMask = AInfo.BitFields->AMask;
  } else {
    AHeader.RMask = 0xFF0000;
    AHeader.GMask = 0xFF00;
    AHeader.BMask = 0xFF;
    AHeader.AMask = AInfo.HasAlpha ? 0xFF000000 : 0;
  }
}

} // namespace

int64_t DDSVolumeImageCount(int64_t ADepth, int64_t AMipMaps) {
  const int64_t levels = std::max<int64_t>(AMipMaps, 1);
  int64_t count = 0;
  for (int64_t l = 0; l < std::min<int64_t>(levels, 62); ++l)
    count += std::clamp<int64_t>(ADepth >> l, 1, std::max<int64_t>(ADepth, 1));
  return count + std::max<int64_t>(levels - 62, 0);
}

TDDSFileFormat::TDDSFileFormat() {
  FName = "DirectDraw Surface";
  SetMasks("*.dds");
  FCanLoad = true;
  FCanSave = true;
  FIsMultiImageFormat = true;
  for (const TImageFormat id :
       {40, 41, 42, 81, 82, 83, 84, 85, 86, 87, 88, 89, 93, 170, 172, 173, 175, 220, 221, 222, 224, 225})
    FSupportedFormats.Include(id);
  int32_t* fields[] = {&FLoadedCubeMap, &FLoadedVolume, &FLoadedMipMapCount, &FLoadedDepth,
                       &FSaveCubeMap,   &FSaveVolume,   &FSaveMipMapCount,   &FSaveDepth};
  for (int32_t i = 0; i < 8; ++i)
    RegisterOwnOption(ImagingOption::DDSLoadedCubeMap + i, fields[i]);
}

void TDDSFileFormat::RegisterProperties(TPropertyList& AList) {
  AList.Add("LoadedCubeMap", &TDDSFileFormat::GetLoadedCubeMap, &TDDSFileFormat::SetLoadedCubeMap);
  AList.Add("LoadedVolume", &TDDSFileFormat::GetLoadedVolume, &TDDSFileFormat::SetLoadedVolume);
  AList.Add("LoadedMipMapCount", &TDDSFileFormat::GetLoadedMipMapCount,
            &TDDSFileFormat::SetLoadedMipMapCount);
  AList.Add("LoadedDepth", &TDDSFileFormat::GetLoadedDepth, &TDDSFileFormat::SetLoadedDepth);
  AList.Add("SaveCubeMap", &TDDSFileFormat::GetSaveCubeMap, &TDDSFileFormat::SetSaveCubeMap);
  AList.Add("SaveVolume", &TDDSFileFormat::GetSaveVolume, &TDDSFileFormat::SetSaveVolume);
  AList.Add("SaveMipMapCount", &TDDSFileFormat::GetSaveMipMapCount, &TDDSFileFormat::SetSaveMipMapCount);
  AList.Add("SaveDepth", &TDDSFileFormat::GetSaveDepth, &TDDSFileFormat::SetSaveDepth);
}

bool TDDSFileFormat::TestFormat(TImageIOHandle* AHandle) {
  if (!AHandle)
    return false;
  uint8_t bytes[HeaderSize];
  const int64_t read = std::max<int64_t>(AHandle->Read(bytes, HeaderSize), 0);
  AHandle->Seek(-read, SeekFromCurrent);
  return read == HeaderSize && Load32(bytes) == Magic && (Load32(bytes + 108) & CapsTexture) != 0;
}

void TDDSFileFormat::CheckOptionsValidity() {
  if (GetSaveCubeMap())
    FSaveVolume = 0;
  else if (GetSaveVolume())
    FSaveCubeMap = 0;
  FSaveDepth = std::max(FSaveDepth, 1);
  FSaveMipMapCount = std::max(FSaveMipMapCount, 1);
  if (GetSaveCubeMap())
    FSaveDepth = std::min(FSaveDepth, 6);
}

void TDDSFileFormat::ConvertToSupportedFormat(TImageData& AImage, const TImageFormatDescriptor& AInfo) {
  TImageFormat target;
  if (AInfo.IsPaletted || AInfo.IsBlockCompressed)
    target = A8R8G8B8;
  else if (AInfo.IsFloat)
    target = AInfo.FormatId == A16R16G16B16F ? A16B16G16R16F : A32B32G32R32F;
  else if (AInfo.IsGray)
    target = AInfo.HasAlpha ? A8Gray8 : AInfo.PixelBytes == 1 ? Gray8 : Gray16;
  else if (AInfo.PixelBytes >= 5)
    target = A16B16G16R16;
  else
    target = AInfo.HasAlpha ? A8R8G8B8 : X8R8G8B8;
  ConvertImageData(AImage, target);
}

bool TDDSFileFormat::ReadImages(TImageIOHandle* AHandle, TDynImageDataArray& AImages, bool) {
  FLoadedMipMapCount = 1;
  FLoadedDepth = 1;
  FLoadedVolume = 0;
  FLoadedCubeMap = 0;
  uint8_t bytes[HeaderSize];
  ReadExact(AHandle, bytes, HeaderSize);
  const TDDSHeader header = ParseHeader(bytes);
  const auto [format, swap] = ChooseFormat(header);
  if (format == Unknown)
    return false;
  const bool volume = (header.Caps2 & Caps2Volume) && (header.Flags & FlagDepth);
  const auto dimensionsValid = [](uint32_t AValue) { return AValue >= 1 && AValue <= INT32_MAX; };
  if (!dimensionsValid(header.Width) || !dimensionsValid(header.Height) ||
      (volume && !dimensionsValid(header.Depth)))
    throw EImagingError(Format("invalid DDS dimensions %ux%ux%u", header.Width, header.Height, header.Depth));
  TLayout layout{header.Width, header.Height, 1, header.Depth, volume, (header.Caps2 & Caps2CubeMap) != 0};
  int64_t count = 1;
  if (header.MipMapCount > 1) {
    layout.MipMaps = header.MipMapCount;
    FLoadedMipMapCount = static_cast<int32_t>(header.MipMapCount);
    count = header.MipMapCount;
  }
  if (volume) {
    FLoadedVolume = -1;
    FLoadedDepth = static_cast<int32_t>(header.Depth);
    count = DDSVolumeImageCount(header.Depth, layout.MipMaps);
  }
  if (layout.Cube) {
    FLoadedCubeMap = -1;
    FLoadedDepth = std::popcount(header.Caps2 & Caps2Faces);
    count *= FLoadedDepth;
  }
  // Every image takes at least one byte, which bounds the image count by the input's size.
  RequireRemaining(AHandle, count);
  const TImageFormatDescriptor& info = *FindFormatDescriptor(format);
  const bool linear =
      info.IsBlockCompressed || (header.Flags & FlagLinearSize) || !(header.Flags & FlagPitch);
  const std::vector<std::pair<int32_t, int32_t>> sizes = LevelSizes(layout, count);
  std::vector<int64_t> pitches(static_cast<size_t>(count));
  int64_t total = 0;
  int64_t pitch = header.PitchOrLinearSize;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const auto [width, height] = sizes[i];
    if (linear) {
      total = SaturatedAdd(total, info.PixelsSize(format, width, height));
      continue;
    }
    const int64_t rowBytes = int64_t{width} * info.PixelBytes;
    if (i > 0 || header.PitchOrLinearSize == 0)
      pitch = (rowBytes + 3) / 4 * 4;
    else if (pitch < rowBytes)
      throw EImagingError(
          Format("invalid DDS pitch %u for rows of %d bytes", header.PitchOrLinearSize, rowBytes));
    pitches[i] = pitch;
    total = SaturatedAdd(total, SaturatedMul(height, pitch));
  }
  RequireRemaining(AHandle, total);
  AImages.resize(static_cast<size_t>(count));
  std::vector<uint8_t> rows;
  for (size_t i = 0; i < sizes.size(); ++i) {
    TImageData& image = AImages[i];
    CreateImageData(sizes[i].first, sizes[i].second, format, image);
    const int64_t byteCount = linear ? image.Size : pitches[i] * image.Height;
    if (byteCount == image.Size) {
      ReadExact(AHandle, image.Bits, image.Size);
    } else {
      rows.resize(static_cast<size_t>(byteCount));
      ReadExact(AHandle, rows.data(), byteCount);
      const size_t rowBytes = static_cast<size_t>(image.Width) * static_cast<size_t>(info.PixelBytes);
      for (int32_t y = 0; y < image.Height; ++y)
        std::memcpy(static_cast<uint8_t*>(image.Bits) + static_cast<size_t>(y) * rowBytes,
                    rows.data() + static_cast<size_t>(y) * static_cast<size_t>(pitches[i]), rowBytes);
    }
    if (swap)
      SwapImageChannels(image, 0, 2);
  }
  return true;
}

bool TDDSFileFormat::WriteImages(TImageIOHandle* AHandle, const TDynImageDataArray& AImages, int32_t) {
  const int64_t rangeLength = int64_t{FLastIdx} - FFirstIdx + 1;
  int64_t mipMaps = FSaveMipMapCount, depth = FSaveDepth;
  const bool cube = GetSaveCubeMap() && rangeLength >= mipMaps * depth;
  const bool volume = !cube && GetSaveVolume() && rangeLength >= DDSVolumeImageCount(depth, mipMaps);
  TImageData compatible;
  bool mustBeFreed = false;
  const bool supported = MakeCompatible(AImages[static_cast<size_t>(FFirstIdx)], compatible, mustBeFreed);
  TOwnedImageData owner(mustBeFreed ? compatible : TImageData{});
  if (!supported)
    return false;
  if (!cube && !volume) {
    mipMaps = std::min(rangeLength, ChainLength(compatible.Width, compatible.Height));
    depth = 1;
  }
  const int64_t outputCount = cube ? depth * mipMaps : volume ? DDSVolumeImageCount(depth, mipMaps) : mipMaps;
  const TImageFormatDescriptor& info = *FindFormatDescriptor(compatible.Format);

  TDDSHeader header;
  header.Magic = Magic;
  header.Size = 124;
  header.Flags = 0x81007 | (mipMaps > 1 ? FlagMipMapCount : 0) | (volume ? FlagDepth : 0);
  header.Width = static_cast<uint32_t>(compatible.Width);
  header.Height = static_cast<uint32_t>(compatible.Height);
  header.PitchOrLinearSize = static_cast<uint32_t>(compatible.Size);
  header.MipMapCount = mipMaps > 1 ? static_cast<uint32_t>(mipMaps) : 0;
  header.Caps =
      CapsTexture | (mipMaps > 1 ? CapsMipMap | CapsComplex : 0) | (cube || volume ? CapsComplex : 0);
  if (cube)
    for (int64_t face = 0; face < depth; ++face)
      header.Caps2 |= Caps2CubeMap | (0x400u << face);
  if (volume) {
    header.Caps2 = Caps2Volume;
    header.Depth = static_cast<uint32_t>(depth);
  }
  DescribePixels(info, header);
  uint8_t bytes[HeaderSize];
  FormatHeader(header, bytes);
  WriteChecked(AHandle, bytes, HeaderSize);
  WriteChecked(AHandle, compatible.Bits, compatible.Size);

  const TLayout layout{compatible.Width, compatible.Height, mipMaps, depth, volume, cube};
  const std::vector<std::pair<int32_t, int32_t>> sizes = LevelSizes(layout, outputCount);
  for (size_t i = 1; i < sizes.size(); ++i) {
    const TImageData& source = AImages[static_cast<size_t>(FFirstIdx) + i];
    int32_t width = sizes[i].first, height = sizes[i].second;
    info.AdjustDimensions(info.FormatId, width, height);
    if (source.Width == width && source.Height == height && FindFormatDescriptor(source.Format) == &info) {
      WriteChecked(AHandle, source.Bits, source.Size);
      continue;
    }
    TOwnedImageData level;
    CloneImageData(source, level.Get());
    ConvertImageData(level.Get(), info.FormatId);
    ResizeImageData(level.Get(), sizes[i].first, sizes[i].second, TResizeFilter::Bilinear);
    WriteChecked(AHandle, level->Bits, level->Size);
  }
  return true;
}

} // namespace vantrel
