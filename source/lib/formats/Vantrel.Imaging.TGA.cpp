#include "formats/Vantrel.Imaging.TGA.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "rtl/properties.h"

namespace vantrel {

RTL_DEFINE_CLASS(TTargaFileFormat, "Vantrel.Imaging.TGA", &TTargaFileFormat::RegisterProperties)

namespace {

constexpr int64_t HeaderSize = 18;
constexpr int64_t ReadAheadSize = 65536;

struct TTargaHeader {
  uint8_t IdLength = 0;
  uint8_t ColorMapType = 0;
  uint8_t ImageType = 0;
  uint16_t ColorMapFirst = 0;
  uint16_t ColorMapLength = 0;
  uint8_t ColorMapEntrySize = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  uint8_t PixelSize = 0;
  uint8_t Descriptor = 0;
};

uint16_t Load16(const uint8_t* AAt) {
  return static_cast<uint16_t>(AAt[0] | AAt[1] << 8);
}

void Store16(uint8_t* AAt, uint32_t AValue) {
  AAt[0] = static_cast<uint8_t>(AValue);
  AAt[1] = static_cast<uint8_t>(AValue >> 8);
}

TTargaHeader ParseHeader(const uint8_t* ABytes) {
  TTargaHeader header;
  header.IdLength = ABytes[0];
  header.ColorMapType = ABytes[1];
  header.ImageType = ABytes[2];
  header.ColorMapFirst = Load16(ABytes + 3);
  header.ColorMapLength = Load16(ABytes + 5);
  header.ColorMapEntrySize = ABytes[7];
  header.Width = static_cast<int16_t>(Load16(ABytes + 12));
  header.Height = static_cast<int16_t>(Load16(ABytes + 14));
  header.PixelSize = ABytes[16];
  header.Descriptor = ABytes[17];
  return header;
}

// Reads exactly ACount bytes or raises the truncation message.
void ReadExact(TImageIOHandle* AHandle, void* ABuffer, int64_t ACount) {
  const int64_t read = AHandle->Read(ABuffer, ACount);
  if (read != ACount)
    throw EImagingError(
        Format("TGA data too short: %d bytes needed, %d available", ACount, std::max<int64_t>(read, 0)));
}

// The bytes left after the position, or -1 when the size is unknown.
int64_t Remaining(TImageIOHandle* AHandle) {
  const int64_t size = AHandle->Size();
  return size < 0 ? -1 : std::max<int64_t>(size - AHandle->Position(), 0);
}

void RequireRemaining(TImageIOHandle* AHandle, int64_t ANeeded) {
  const int64_t remaining = Remaining(AHandle);
  if (remaining >= 0 && remaining < ANeeded)
    throw EImagingError(Format("TGA data too short: %d bytes needed, %d available", ANeeded, remaining));
}

TImageFormat FormatOf(const TTargaHeader& AHeader) {
  using namespace ImageFormatId;
  const auto byPixelSize = [](uint8_t ASize) -> TImageFormat {
    switch (ASize) {
    case 8:
      return Gray8;
    case 15:
      return X1R5G5B5;
    case 16:
      return A1R5G5B5;
    case 24:
      return R8G8B8;
    case 32:
      return A8R8G8B8;
    default:
      return Unknown;
    }
  };
  switch (AHeader.ImageType) {
  case 1:
  case 9:
    return Index8;
  case 3:
  case 11:
    return Gray8;
  default:
    return byPixelSize(AHeader.PixelSize);
  }
}

// Colour-mapped types read the map into the palette; every other type skips its bytes.
void ReadColorMap(TImageIOHandle* AHandle, const TTargaHeader& AHeader, TImageData& AImage) {
  if (AHeader.ColorMapType != 1)
    return;
  const int32_t entryBytes = AHeader.ColorMapEntrySize / 8;
  std::vector<uint8_t> map(static_cast<size_t>(entryBytes) * AHeader.ColorMapLength);
  ReadExact(AHandle, map.data(), static_cast<int64_t>(map.size()));
  if (!AImage.Palette || entryBytes == 0)
    return;
  const int32_t entries = std::min<int32_t>(AHeader.ColorMapLength, 256);
  for (int32_t i = 0; i < entries; ++i) {
    const uint8_t* entry = &map[static_cast<size_t>(i * entryBytes)];
    TColor32Rec& color = AImage.Palette[i];
    if (entryBytes == 2) {
      const uint16_t w = Load16(entry);
      color.B = static_cast<uint8_t>((w & 0x1F) * 255 / 31);
      color.G = static_cast<uint8_t>(((w >> 5) & 0x1F) * 255 / 31);
      color.R = static_cast<uint8_t>(((w >> 10) & 0x1F) * 255 / 31);
      color.A = 255;
    } else {
      color.B = entry[0];
      color.G = entry[1];
      color.R = entry[2];
      color.A = entryBytes == 4 ? entry[3] : 255;
    }
  }
}

// Decodes run-length packets from the handle through a read-ahead buffer until the image is full.
// The packet that crosses the image's end is cut, and the rest of it skipped as far as the data
// goes; the unread read-ahead is given back, so the position stands after the last packet.
class TRunLengthDecoder {
public:
  TRunLengthDecoder(TImageIOHandle* AHandle, int32_t APixelBytes)
      : FHandle(AHandle), FPixelBytes(APixelBytes) {}

  void Decode(uint8_t* APixels, int64_t APixelCount) {
    int64_t produced = 0;
    uint8_t pixel[4] = {};
    while (produced < APixelCount) {
      uint8_t header;
      if (!Take(&header, 1))
        throw EImagingError(Format("TGA run-length data ends at pixel %d of %d", produced, APixelCount));
      const int64_t count = (header & 0x7F) + 1;
      const bool run = (header & 0x80) != 0;
      for (int64_t i = 0; i < count; ++i) {
        if ((i == 0 || !run) && !Take(pixel, FPixelBytes)) {
          if (produced < APixelCount)
            throw EImagingError(Format("TGA run-length data ends at pixel %d of %d", produced, APixelCount));
          break;
        }
        if (produced < APixelCount)
          std::memcpy(APixels + produced * FPixelBytes, pixel, static_cast<size_t>(FPixelBytes));
        ++produced;
      }
    }
    FHandle->Seek(-(FEnd - FNext), SeekFromCurrent);
  }

private:
  // Copies ACount bytes from the read-ahead, refilling it; false when the data ends first.
  bool Take(uint8_t* ATarget, int64_t ACount) {
    for (int64_t i = 0; i < ACount; ++i) {
      if (FNext == FEnd && !Refill())
        return false;
      ATarget[i] = FBuffer[static_cast<size_t>(FNext++)];
    }
    return true;
  }

  bool Refill() {
    FNext = 0;
    FEnd = std::max<int64_t>(FHandle->Read(FBuffer.data(), ReadAheadSize), 0);
    return FEnd > 0;
  }

  TImageIOHandle* FHandle;
  int32_t FPixelBytes;
  std::vector<uint8_t> FBuffer = std::vector<uint8_t>(static_cast<size_t>(ReadAheadSize));
  int64_t FNext = 0;
  int64_t FEnd = 0;
};

// 83 data whose pixels never set bit 15 is relabelled 85.
void RelabelWithoutAlpha(TImageData& AImage) {
  const auto* pixels = static_cast<const uint8_t*>(AImage.Bits);
  for (int32_t i = 0; i < AImage.Size; i += 2)
    if (pixels[i + 1] & 0x80)
      return;
  AImage.Format = ImageFormatId::X1R5G5B5;
}

// Skips extension areas and footers after the data; the probes may fall short without error.
void SkipTrailer(TImageIOHandle* AHandle) {
  while (true) {
    uint8_t word[2];
    const int64_t read = AHandle->Read(word, 2);
    if (read == 2 && Load16(word) == 495) {
      AHandle->Seek(493, SeekFromCurrent);
      continue;
    }
    if (read == 2)
      AHandle->Seek(-2, SeekFromCurrent);
    uint8_t footer[26];
    const int64_t footerRead = AHandle->Read(footer, 26);
    if (footerRead == 26 &&
        std::string_view(reinterpret_cast<const char*>(footer + 8), 16) == "TRUEVISION-XFILE")
      continue;
    if (footerRead == 26)
      AHandle->Seek(-26, SeekFromCurrent);
    return;
  }
}

} // namespace

TTargaFileFormat::TTargaFileFormat() {
  FName = "Truevision Targa Image";
  SetMasks("*.tga");
  FCanLoad = true;
  FCanSave = true;
  FIsMultiImageFormat = false;
  for (const TImageFormat id : {ImageFormatId::Index8, ImageFormatId::Gray8, ImageFormatId::A1R5G5B5,
                                ImageFormatId::R8G8B8, ImageFormatId::A8R8G8B8})
    FSupportedFormats.Include(id);
  RegisterOwnOption(ImagingOption::TGAUseRLE, &FUseRLE);
}

void TTargaFileFormat::RegisterProperties(TPropertyList& AList) {
  AList.Add("UseRLE", &TTargaFileFormat::GetUseRLE, &TTargaFileFormat::SetUseRLE);
}

bool TTargaFileFormat::TestFormat(TImageIOHandle* AHandle) {
  if (!AHandle)
    return false;
  uint8_t bytes[HeaderSize];
  const int64_t read = std::max<int64_t>(AHandle->Read(bytes, HeaderSize), 0);
  AHandle->Seek(-read, SeekFromCurrent);
  if (read != HeaderSize)
    return false;
  const TTargaHeader header = ParseHeader(bytes);
  const auto among = [](uint8_t AValue, std::initializer_list<uint8_t> AValues) {
    return std::find(AValues.begin(), AValues.end(), AValue) != AValues.end();
  };
  return among(header.ImageType, {0, 1, 2, 3, 9, 10, 11}) &&
         among(header.PixelSize, {1, 8, 15, 16, 24, 32}) && among(header.ColorMapEntrySize, {0, 16, 24, 32});
}

bool TTargaFileFormat::ReadImages(TImageIOHandle* AHandle, TDynImageDataArray& AImages, bool) {
  uint8_t bytes[HeaderSize];
  ReadExact(AHandle, bytes, HeaderSize);
  const TTargaHeader header = ParseHeader(bytes);
  std::vector<uint8_t> id(header.IdLength);
  ReadExact(AHandle, id.data(), header.IdLength);
  const TImageFormat format = FormatOf(header);
  // Type 0 holds no image: nothing would bound the size of an empty one.
  if (format == ImageFormatId::Unknown || header.ImageType == 0)
    return false;
  if (header.Width < 1 || header.Height < 1)
    throw EImagingError(Format("invalid TGA dimensions %dx%d", header.Width, header.Height));
  // What the header describes must be in the input before anything is allocated for it.
  const int32_t pixelBytes = FindFormatDescriptor(format)->PixelBytes;
  const int64_t pixels = int64_t{header.Width} * header.Height;
  const int64_t mapBytes =
      header.ColorMapType == 1 ? int64_t{header.ColorMapEntrySize / 8} * header.ColorMapLength : 0;
  if (header.ImageType >= 1 && header.ImageType <= 3)
    RequireRemaining(AHandle, mapBytes + pixels * pixelBytes);
  else if (header.ImageType >= 9)
    RequireRemaining(AHandle, mapBytes + (pixels + 127) / 128 * (1 + pixelBytes));
  AImages.resize(1);
  TImageData& image = AImages[0];
  CreateImageData(header.Width, header.Height, format, image);
  ReadColorMap(AHandle, header, image);
  if (header.ImageType >= 1 && header.ImageType <= 3)
    ReadExact(AHandle, image.Bits, image.Size);
  else if (header.ImageType >= 9)
    TRunLengthDecoder(AHandle, pixelBytes).Decode(static_cast<uint8_t*>(image.Bits), pixels);
  if (format == ImageFormatId::A1R5G5B5)
    RelabelWithoutAlpha(image);
  SkipTrailer(AHandle);
  if (header.Descriptor <= 30)
    FlipImageData(image);
  return true;
}

void TTargaFileFormat::ConvertToSupportedFormat(TImageData& AImage, const TImageFormatDescriptor& AInfo) {
  using namespace ImageFormatId;
  TImageFormat target = R8G8B8;
  if (AInfo.IsGray)
    target = AInfo.HasAlpha ? A8R8G8B8 : Gray8;
  else if (AInfo.IsPaletted)
    target = Index8;
  else if (AInfo.HasAlpha)
    target = A8R8G8B8;
  else if (AInfo.HasBitFields)
    target = A1R5G5B5;
  ConvertImageData(AImage, target);
}

void EncodeTargaRow(const uint8_t* APixels, int32_t AWidth, int32_t APixelBytes, std::vector<uint8_t>& AOut) {
  const auto bytes = static_cast<size_t>(APixelBytes);
  const auto equal = [&](int32_t AA, int32_t AB) {
    return std::memcmp(APixels + AA * APixelBytes, APixels + AB * APixelBytes, bytes) == 0;
  };
  for (int32_t x = 0; x < AWidth;) {
    const int32_t rest = AWidth - x;
    int32_t raw = rest == 1 ? 1 : rest - 1;
    for (int32_t k = x; rest > 1 && k + 1 < AWidth; ++k)
      if (equal(k, k + 1)) {
        raw = k - x;
        break;
      }
    if (raw > 0) {
      const int32_t count = std::min(raw, 128);
      AOut.push_back(static_cast<uint8_t>(count - 1));
      AOut.insert(AOut.end(), APixels + x * APixelBytes, APixels + (x + count) * APixelBytes);
      x += count;
      continue;
    }
    int32_t run = 1;
    while (x + run < AWidth && run < 128 && equal(x, x + run))
      ++run;
    AOut.push_back(static_cast<uint8_t>((run - 1) | 0x80));
    AOut.insert(AOut.end(), APixels + x * APixelBytes, APixels + (x + 1) * APixelBytes);
    x += run;
  }
}

bool TTargaFileFormat::WriteImages(TImageIOHandle* AHandle, const TDynImageDataArray& AImages,
                                   int32_t AIndex) {
  TImageData compatible;
  bool mustBeFreed = false;
  const bool supported = MakeCompatible(AImages[static_cast<size_t>(AIndex)], compatible, mustBeFreed);
  TOwnedImageData owner(mustBeFreed ? compatible : TImageData{});
  if (!supported)
    return false;
  if (compatible.Width > 32767 || compatible.Height > 32767)
    throw EImagingError(Format("TGA cannot store a %dx%d image", compatible.Width, compatible.Height));
  const TImageFormatDescriptor& info = *FindFormatDescriptor(compatible.Format);
  const bool rle = GetUseRLE();
  uint8_t header[HeaderSize] = {};
  header[1] = compatible.Palette ? 1 : 0;
  header[2] = static_cast<uint8_t>((info.IsPaletted ? 1 : info.IsGray ? 3 : 2) + (rle ? 8 : 0));
  if (compatible.Palette) {
    Store16(header + 5, static_cast<uint32_t>(info.PaletteSize));
    header[7] = 24;
  }
  Store16(header + 12, static_cast<uint32_t>(compatible.Width));
  Store16(header + 14, static_cast<uint32_t>(compatible.Height));
  header[16] = static_cast<uint8_t>(8 * info.PixelBytes);
  header[17] = compatible.Format == ImageFormatId::A8R8G8B8   ? 0x28
               : compatible.Format == ImageFormatId::A1R5G5B5 ? 0x21
                                                              : 0x20;
  WriteChecked(AHandle, header, HeaderSize);
  if (compatible.Palette) {
    std::vector<uint8_t> palette;
    for (int32_t i = 0; i < info.PaletteSize; ++i)
      palette.insert(palette.end(), compatible.Palette[i].Channels, compatible.Palette[i].Channels + 3);
    WriteChecked(AHandle, palette.data(), static_cast<int64_t>(palette.size()));
  }
  if (!rle) {
    WriteChecked(AHandle, compatible.Bits, compatible.Size);
    return true;
  }
  std::vector<uint8_t> packets;
  const auto* pixels = static_cast<const uint8_t*>(compatible.Bits);
  const size_t rowBytes = static_cast<size_t>(compatible.Width) * static_cast<size_t>(info.PixelBytes);
  for (int32_t y = 0; y < compatible.Height; ++y)
    EncodeTargaRow(pixels + static_cast<size_t>(y) * rowBytes, compatible.Width, info.PixelBytes, packets);
  WriteChecked(AHandle, packets.data(), static_cast<int64_t>(packets.size()));
  return true;
}

} // namespace vantrel
