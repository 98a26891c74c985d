#include "formats/Vantrel.Imaging.Formats.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace vantrel {

namespace {

uint16_t Load16(const uint8_t* AAt) {
  uint16_t value;
  std::memcpy(&value, AAt, sizeof value);
  return value;
}

void Store16(uint8_t* AAt, uint16_t AValue) {
  std::memcpy(AAt, &AValue, sizeof AValue);
}

float LoadFloat(const uint8_t* AAt) {
  float value;
  std::memcpy(&value, AAt, sizeof value);
  return value;
}

void StoreFloat(uint8_t* AAt, float AValue) {
  std::memcpy(AAt, &AValue, sizeof AValue);
}

uint16_t ByteToWord(uint8_t AValue) {
  return static_cast<uint16_t>(AValue * 257);
}

// 0..1 from a channel, NaN and out-of-range values clamped.
double Clamp01(double AValue) {
  return AValue > 0 ? (AValue < 1 ? AValue : 1) : 0;
}

// The record of a packed format, from its four bit counts.
constexpr TFormatBitFields MakeBitFields(uint8_t AA, uint8_t AR, uint8_t AG, uint8_t AB) {
  const auto mask = [](int ABits) { return (uint32_t{1} << ABits) - 1; };
  const auto maximum = [](int ABits) { return static_cast<uint8_t>(ABits > 0 ? (1 << ABits) - 1 : 1); };
  return {AA,
          AR,
          AG,
          AB,
          mask(AA) << (AR + AG + AB),
          mask(AR) << (AG + AB),
          mask(AG) << AB,
          mask(AB),
          static_cast<uint8_t>(AR + AG + AB),
          static_cast<uint8_t>(AG + AB),
          AB,
          0,
          maximum(AA),
          maximum(AR),
          maximum(AG),
          maximum(AB)};
}

constexpr TFormatBitFields BitsR3G3B2 = MakeBitFields(0, 3, 3, 2);
constexpr TFormatBitFields BitsX5R1G1B1 = MakeBitFields(0, 1, 1, 1);
constexpr TFormatBitFields BitsR5G6B5 = MakeBitFields(0, 5, 6, 5);
constexpr TFormatBitFields BitsA1R5G5B5 = MakeBitFields(1, 5, 5, 5);
constexpr TFormatBitFields BitsA4R4G4B4 = MakeBitFields(4, 4, 4, 4);
constexpr TFormatBitFields BitsX1R5G5B5 = MakeBitFields(0, 5, 5, 5);
constexpr TFormatBitFields BitsX4R4G4B4 = MakeBitFields(0, 4, 4, 4);

// --- Sizes -------------------------------------------------------------------------------------

// Saturates instead of overflowing: two 32-bit sides fit 64 bits, the bytes per pixel may not.
int64_t PlainPixelsSize(TImageFormat AFormat, int32_t AWidth, int32_t AHeight) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AFormat);
  if (!info)
    return 0;
  const int64_t pixels = int64_t{AWidth} * AHeight;
  if (pixels > INT64_MAX / info->PixelBytes)
    return INT64_MAX;
  return pixels < INT64_MIN / info->PixelBytes ? INT64_MIN : pixels * info->PixelBytes;
}

void PlainAdjustDimensions(TImageFormat, int32_t&, int32_t&) {}

int32_t RoundUpTo4(int32_t AValue) {
  const int64_t rounded = (int64_t{AValue} + 3) / 4 * 4;
  return rounded > INT32_MAX ? INT32_MAX - 3 : static_cast<int32_t>(rounded);
}

void BlockAdjustDimensions(TImageFormat, int32_t& AWidth, int32_t& AHeight) {
  AWidth = RoundUpTo4(AWidth);
  AHeight = RoundUpTo4(AHeight);
}

int64_t BlockPixelsSize(TImageFormat AFormat, int32_t AWidth, int32_t AHeight) {
  BlockAdjustDimensions(AFormat, AWidth, AHeight);
  const int64_t pixels = int64_t{AWidth} * AHeight;
  switch (AFormat) {
  case ImageFormatId::DXT1:
  case ImageFormatId::ATI1N:
    return pixels / 2;
  case ImageFormatId::BTC:
    return pixels / 4;
  default:
    return pixels;
  }
}

// --- Direct group (A8R8G8B8) --------------------------------------------------------------------

TColor32Rec DirectRead32(const uint8_t* APixel, const TImageFormatDescriptor&, const TColor32Rec*) {
  TColor32Rec color;
  std::memcpy(&color, APixel, 4);
  return color;
}

TColorFPRec DirectReadFloat(const uint8_t* APixel, const TImageFormatDescriptor&, const TColor32Rec*) {
  TColorFPRec color;
  for (int i = 0; i < 4; ++i)
    color.Channels[i] = APixel[i] / 255.0f;
  return color;
}

void DirectWrite32(uint8_t* APixel, const TImageFormatDescriptor&, const TColor32Rec*, TColor32Rec AColor) {
  std::memcpy(APixel, &AColor, 4);
}

void DirectWriteFloat(uint8_t* APixel, const TImageFormatDescriptor&, const TColor32Rec*,
                      TColorFPRec AColor) {
  for (int i = 0; i < 4; ++i)
    APixel[i] = RoundToByte(AColor.Channels[i] * 255.0);
}

// --- 8-bit group (Gray8, A8Gray8, R8G8B8, X8R8G8B8) ---------------------------------------------

TColor32Rec EightBitRead32(const uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec*) {
  TColor32Rec color;
  if (AInfo.IsGray) {
    color.B = color.G = color.R = APixel[0];
    color.A = AInfo.HasAlpha ? APixel[1] : 255;
  } else {
    color.B = APixel[0];
    color.G = APixel[1];
    color.R = APixel[2];
    color.A = 255;
  }
  return color;
}

TColorFPRec EightBitReadFloat(const uint8_t* APixel, const TImageFormatDescriptor& AInfo,
                              const TColor32Rec*) {
  const TColor32Rec color = EightBitRead32(APixel, AInfo, nullptr);
  TColorFPRec result;
  for (int i = 0; i < 4; ++i)
    result.Channels[i] = color.Channels[i] / 255.0f;
  return result;
}

// The fourth byte of X8R8G8B8 is left as it was.
void EightBitWrite32(uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec*,
                     TColor32Rec AColor) {
  if (AInfo.IsGray) {
    APixel[0] = RoundToByte(GrayOf(AColor.R, AColor.G, AColor.B));
    if (AInfo.HasAlpha)
      APixel[1] = AColor.A;
  } else {
    APixel[0] = AColor.B;
    APixel[1] = AColor.G;
    APixel[2] = AColor.R;
  }
}

void EightBitWriteFloat(uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec*,
                        TColorFPRec AColor) {
  if (AInfo.IsGray) {
    APixel[0] = RoundToByte(GrayOf(Clamp01(AColor.R), Clamp01(AColor.G), Clamp01(AColor.B)) * 255.0);
    if (AInfo.HasAlpha)
      APixel[1] = RoundToByte(AColor.A * 255.0);
  } else {
    for (int i = 0; i < 3; ++i)
      APixel[i] = RoundToByte(AColor.Channels[i] * 255.0);
  }
}

// --- Float group (R32F, A32R32G32B32F, A32B32G32R32F) -------------------------------------------

TColorFPRec FloatReadFloat(const uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec*) {
  TColorFPRec color;
  if (AInfo.Channels == 1) {
    color.B = color.G = 0;
    color.R = LoadFloat(APixel);
    color.A = 1;
    return color;
  }
  for (int i = 0; i < 4; ++i)
    color.Channels[i] = LoadFloat(APixel + 4 * i);
  if (AInfo.IsBlueRedSwapped)
    std::swap(color.B, color.R);
  return color;
}

void FloatWriteFloat(uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec*,
                     TColorFPRec AColor) {
  if (AInfo.Channels == 1) {
    StoreFloat(APixel, AColor.R);
    return;
  }
  if (AInfo.IsBlueRedSwapped)
    std::swap(AColor.B, AColor.R);
  for (int i = 0; i < 4; ++i)
    StoreFloat(APixel + 4 * i, AColor.Channels[i]);
}

// --- Generic group, through the 64-bit colour ----------------------------------------------------

TColorFPRec HalfReadFloat(const uint8_t* APixel, const TImageFormatDescriptor& AInfo) {
  TColorFPRec color;
  if (AInfo.Channels == 1) {
    color.B = color.G = 0;
    color.R = HalfToFloat(Load16(APixel));
    color.A = 1;
    return color;
  }
  for (int i = 0; i < 4; ++i)
    color.Channels[i] = HalfToFloat(Load16(APixel + 2 * i));
  if (AInfo.IsBlueRedSwapped)
    std::swap(color.B, color.R);
  return color;
}

void HalfWriteFloat(uint8_t* APixel, const TImageFormatDescriptor& AInfo, TColorFPRec AColor) {
  if (AInfo.Channels == 1) {
    Store16(APixel, FloatToHalf(AColor.R));
    return;
  }
  if (AInfo.IsBlueRedSwapped)
    std::swap(AColor.B, AColor.R);
  for (int i = 0; i < 4; ++i)
    Store16(APixel + 2 * i, FloatToHalf(AColor.Channels[i]));
}

TColorFPRec GenericReadFloat(const uint8_t* APixel, const TImageFormatDescriptor& AInfo,
                             const TColor32Rec* APalette) {
  TColorFPRec color;
  if (AInfo.IsFloat)
    return HalfReadFloat(APixel, AInfo);
  if (AInfo.IsPaletted) {
    const TColor32Rec entry = APalette ? APalette[APixel[0]] : TColor32Rec{};
    for (int i = 0; i < 4; ++i)
      color.Channels[i] = entry.Channels[i] / 255.0f;
    return color;
  }
  const TColor64Rec wide = ReadPixel64(APixel, AInfo);
  for (int i = 0; i < 4; ++i)
    color.Channels[i] = static_cast<float>(wide.Channels[i] / 65535.0);
  return color;
}

void GenericWrite32(uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec* APalette,
                    TColor32Rec AColor);

void GenericWriteFloat(uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec* APalette,
                       TColorFPRec AColor) {
  if (AInfo.IsFloat) {
    HalfWriteFloat(APixel, AInfo, AColor);
    return;
  }
  if (AInfo.IsPaletted) {
    TColor32Rec color;
    for (int i = 0; i < 4; ++i)
      color.Channels[i] = RoundToByte(AColor.Channels[i] * 255.0);
    GenericWrite32(APixel, AInfo, APalette, color);
    return;
  }
  if (AInfo.IsGray) {
    const double gray = GrayOf(Clamp01(AColor.R), Clamp01(AColor.G), Clamp01(AColor.B));
    WriteGrayPixel(APixel, AInfo, RoundToWord(gray * 65535.0), RoundToWord(AColor.A * 65535.0));
    return;
  }
  TColor64Rec wide;
  for (int i = 0; i < 4; ++i)
    wide.Channels[i] = RoundToWord(AColor.Channels[i] * 65535.0);
  WritePixel64(APixel, AInfo, wide);
}

TColor32Rec GenericRead32(const uint8_t* APixel, const TImageFormatDescriptor& AInfo,
                          const TColor32Rec* APalette) {
  TColor32Rec color;
  if (AInfo.IsFloat) {
    const TColorFPRec wide = AInfo.ReadPixelFloat(APixel, AInfo, APalette);
    for (int i = 0; i < 4; ++i)
      color.Channels[i] = RoundToByte(wide.Channels[i] * 255.0);
  } else if (AInfo.IsPaletted) {
    color = APalette ? APalette[APixel[0]] : TColor32Rec{};
  } else {
    const TColor64Rec wide = ReadPixel64(APixel, AInfo);
    for (int i = 0; i < 4; ++i)
      color.Channels[i] = WordToByte(wide.Channels[i]);
  }
  return color;
}

void GenericWrite32(uint8_t* APixel, const TImageFormatDescriptor& AInfo, const TColor32Rec* APalette,
                    TColor32Rec AColor) {
  if (AInfo.IsFloat) {
    TColorFPRec wide;
    for (int i = 0; i < 4; ++i)
      wide.Channels[i] = AColor.Channels[i] / 255.0f;
    AInfo.WritePixelFloat(APixel, AInfo, APalette, wide);
  } else if (AInfo.IsPaletted) {
    APixel[0] = APalette ? static_cast<uint8_t>(NearestPaletteIndex(APalette, AInfo.PaletteSize, AColor)) : 0;
  } else if (AInfo.IsGray) {
    WriteGrayPixel(APixel, AInfo, RoundToWord(GrayOf(AColor.R, AColor.G, AColor.B) * 257.0),
                   ByteToWord(AColor.A));
  } else {
    TColor64Rec wide;
    for (int i = 0; i < 4; ++i)
      wide.Channels[i] = ByteToWord(AColor.Channels[i]);
    WritePixel64(APixel, AInfo, wide);
  }
}

// --- The table -----------------------------------------------------------------------------------

struct TPixelGroup {
  TReadPixel32Func Read32;
  TReadPixelFloatFunc ReadFloat;
  TWritePixel32Func Write32;
  TWritePixelFloatFunc WriteFloat;
};

constexpr TPixelGroup DirectGroup{DirectRead32, DirectReadFloat, DirectWrite32, DirectWriteFloat};
constexpr TPixelGroup EightBitGroup{EightBitRead32, EightBitReadFloat, EightBitWrite32, EightBitWriteFloat};
constexpr TPixelGroup FloatGroup{GenericRead32, FloatReadFloat, GenericWrite32, FloatWriteFloat};
constexpr TPixelGroup GenericGroup{GenericRead32, GenericReadFloat, GenericWrite32, GenericWriteFloat};
constexpr TPixelGroup NoGroup{nullptr, nullptr, nullptr, nullptr};

enum TRowFlag : uint32_t {
  rfGray = 1,
  rfAlpha = 2,
  rfFloat = 4,
  rfSwapped = 8,
  rfPaletted = 16,
  rfBlock = 32,
};

constexpr TImageFormatDescriptor Row(TImageFormat AId, std::string_view AName, int32_t ABytes,
                                     int32_t AChannels, uint32_t AFlags, TImageFormat ATwin,
                                     const TPixelGroup& AGroup, const TFormatBitFields* ABitFields = nullptr,
                                     TImageFormat ANearest = 0) {
  const bool block = (AFlags & rfBlock) != 0;
  return {AId,
          AName,
          ABytes,
          AChannels,
          (AFlags & rfPaletted) ? 256 : 0,
          (AFlags & rfGray) != 0,
          (AFlags & rfAlpha) != 0,
          (AFlags & rfFloat) != 0,
          ABitFields != nullptr,
          (AFlags & rfSwapped) != 0,
          ATwin,
          (AFlags & rfPaletted) != 0,
          block,
          ABitFields,
          block ? BlockPixelsSize : PlainPixelsSize,
          block ? BlockAdjustDimensions : PlainAdjustDimensions,
          AGroup.Read32,
          AGroup.ReadFloat,
          AGroup.Write32,
          AGroup.WriteFloat,
          ANearest};
}

using namespace ImageFormatId;

constexpr TImageFormatDescriptor Rows[] = {
    Row(Index8, "Index8", 1, 1, rfPaletted | rfAlpha, 0, GenericGroup),
    Row(Gray8, "Gray8", 1, 1, rfGray, 0, EightBitGroup),
    Row(A8Gray8, "A8Gray8", 2, 2, rfGray | rfAlpha, 0, EightBitGroup),
    Row(Gray16, "Gray16", 2, 1, rfGray, 0, GenericGroup),
    Row(Gray32, "Gray32", 4, 1, rfGray, 0, GenericGroup),
    Row(Gray64, "Gray64", 8, 1, rfGray, 0, GenericGroup),
    Row(A16Gray16, "A16Gray16", 4, 2, rfGray | rfAlpha, 0, GenericGroup),
    Row(X5R1G1B1, "X5R1G1B1", 1, 3, 0, 0, GenericGroup, &BitsX5R1G1B1),
    Row(R3G3B2, "R3G3B2", 1, 3, 0, 0, GenericGroup, &BitsR3G3B2),
    Row(R5G6B5, "R5G6B5", 2, 3, 0, 0, GenericGroup, &BitsR5G6B5),
    Row(A1R5G5B5, "A1R5G5B5", 2, 4, rfAlpha, 0, GenericGroup, &BitsA1R5G5B5),
    Row(A4R4G4B4, "A4R4G4B4", 2, 4, rfAlpha, 0, GenericGroup, &BitsA4R4G4B4),
    Row(X1R5G5B5, "X1R5G5B5", 2, 3, 0, 0, GenericGroup, &BitsX1R5G5B5),
    Row(X4R4G4B4, "X4R4G4B4", 2, 3, 0, 0, GenericGroup, &BitsX4R4G4B4),
    Row(R8G8B8, "R8G8B8", 3, 3, 0, 0, EightBitGroup),
    Row(A8R8G8B8, "A8R8G8B8", 4, 4, rfAlpha, 0, DirectGroup),
    Row(X8R8G8B8, "X8R8G8B8", 4, 3, 0, 0, EightBitGroup),
    Row(R16G16B16, "R16G16B16", 6, 3, 0, B16G16R16, GenericGroup),
    Row(A16R16G16B16, "A16R16G16B16", 8, 4, rfAlpha, A16B16G16R16, GenericGroup),
    Row(B16G16R16, "B16G16R16", 6, 3, rfSwapped, R16G16B16, GenericGroup),
    Row(A16B16G16R16, "A16B16G16R16", 8, 4, rfAlpha | rfSwapped, A16R16G16B16, GenericGroup),
    Row(R32F, "R32F", 4, 1, rfFloat, 0, FloatGroup),
    Row(A32R32G32B32F, "A32R32G32B32F", 16, 4, rfFloat | rfAlpha, A32B32G32R32F, FloatGroup),
    Row(A32B32G32R32F, "A32B32G32R32F", 16, 4, rfFloat | rfAlpha | rfSwapped, A32R32G32B32F, FloatGroup),
    Row(R16F, "R16F", 2, 1, rfFloat, 0, GenericGroup),
    Row(A16R16G16B16F, "A16R16G16B16F", 8, 4, rfFloat | rfAlpha, A16B16G16R16F, GenericGroup),
    Row(A16B16G16R16F, "A16B16G16R16F", 8, 4, rfFloat | rfAlpha | rfSwapped, A16R16G16B16F, GenericGroup),
    Row(DXT1, "DXT1", 0, 4, rfBlock | rfAlpha, 0, NoGroup, nullptr, A8R8G8B8),
    Row(DXT3, "DXT3", 0, 4, rfBlock | rfAlpha, 0, NoGroup, nullptr, A8R8G8B8),
    Row(DXT5, "DXT5", 0, 4, rfBlock | rfAlpha, 0, NoGroup, nullptr, A8R8G8B8),
    Row(BTC, "BTC", 0, 1, rfBlock, 0, NoGroup, nullptr, Gray8),
    Row(ATI1N, "ATI1N", 0, 1, rfBlock, 0, NoGroup, nullptr, Gray8),
    Row(ATI2N, "ATI2N", 0, 2, rfBlock, 0, NoGroup, nullptr, A8R8G8B8),
};
static_assert(std::size(Rows) == 33);

constexpr std::array<const TImageFormatDescriptor*, SlotCount> MakeTable() {
  std::array<const TImageFormatDescriptor*, SlotCount> table{};
  for (const TImageFormatDescriptor& row : Rows)
    table[static_cast<size_t>(row.FormatId)] = &row;
  table[Default] = table[A8R8G8B8];
  return table;
}

constexpr std::array<const TImageFormatDescriptor*, SlotCount> FormatTable = MakeTable();

// 34 slots are filled: the 33 rows at their own ids, and the default slot.
constexpr bool EveryRowHasItsSlot() {
  int filled = 0, own = 0;
  for (size_t id = 0; id < FormatTable.size(); ++id) {
    filled += FormatTable[id] != nullptr;
    own += FormatTable[id] && FormatTable[id]->FormatId == static_cast<TImageFormat>(id);
  }
  return filled == 34 && own == 33 && FormatTable[Default] == FormatTable[A8R8G8B8];
}
static_assert(EveryRowHasItsSlot());

} // namespace

const TImageFormatDescriptor* FindFormatDescriptor(TImageFormat AFormat) {
  if (AFormat < 0 || AFormat >= SlotCount)
    return nullptr;
  return FormatTable[static_cast<size_t>(AFormat)];
}

uint8_t RoundToByte(double AValue) {
  if (!(AValue > 0))
    return 0;
  return AValue >= 255 ? 255 : static_cast<uint8_t>(std::nearbyint(AValue));
}

uint16_t RoundToWord(double AValue) {
  if (!(AValue > 0))
    return 0;
  return AValue >= 65535 ? 65535 : static_cast<uint16_t>(std::nearbyint(AValue));
}

// --- 64-bit colour and grey ---------------------------------------------------------------------

TColor64Rec ReadPixel64(const uint8_t* APixel, const TImageFormatDescriptor& AInfo) {
  TColor64Rec color{};
  if (AInfo.IsGray) {
    uint16_t gray, alpha;
    ReadGrayPixel(APixel, AInfo, gray, alpha);
    color.B = color.G = color.R = gray;
    color.A = alpha;
    return color;
  }
  if (AInfo.BitFields) {
    const TFormatBitFields& bits = *AInfo.BitFields;
    const uint32_t pixel = AInfo.PixelBytes == 1 ? APixel[0] : Load16(APixel);
    const auto channel = [pixel](uint32_t AMask, uint8_t AShift, uint8_t AMax) {
      return static_cast<uint16_t>(((pixel & AMask) >> AShift) * 255 / AMax * 257);
    };
    color.B = channel(bits.BMask, bits.BShift, bits.BMax);
    color.G = channel(bits.GMask, bits.GShift, bits.GMax);
    color.R = channel(bits.RMask, bits.RShift, bits.RMax);
    color.A = channel(bits.AMask, bits.AShift, bits.AMax);
  } else if (AInfo.PixelBytes == 3 || AInfo.PixelBytes == 4) {
    for (int i = 0; i < AInfo.PixelBytes; ++i)
      color.Channels[i] = ByteToWord(APixel[i]);
  } else {
    for (int i = 0; i < AInfo.PixelBytes / 2; ++i)
      color.Channels[i] = Load16(APixel + 2 * i);
  }
  if (!AInfo.HasAlpha)
    color.A = 65535;
  if (AInfo.IsBlueRedSwapped)
    std::swap(color.B, color.R);
  return color;
}

void WritePixel64(uint8_t* APixel, const TImageFormatDescriptor& AInfo, TColor64Rec AColor) {
  if (AInfo.IsGray) {
    WriteGrayPixel(APixel, AInfo, RoundToWord(GrayOf(AColor.R, AColor.G, AColor.B)), AColor.A);
    return;
  }
  if (AInfo.IsBlueRedSwapped)
    std::swap(AColor.B, AColor.R);
  if (AInfo.BitFields) {
    const TFormatBitFields& bits = *AInfo.BitFields;
    const auto field = [](uint16_t AValue, uint8_t ABits, uint8_t AShift) {
      return ((uint32_t{AValue} >> 8) << ABits >> 8) << AShift;
    };
    const uint32_t pixel = (field(AColor.A, bits.ABits, bits.AShift) & bits.AMask) |
                           (field(AColor.R, bits.RBits, bits.RShift) & bits.RMask) |
                           (field(AColor.G, bits.GBits, bits.GShift) & bits.GMask) |
                           (field(AColor.B, bits.BBits, bits.BShift) & bits.BMask);
    if (AInfo.PixelBytes == 1)
      APixel[0] = static_cast<uint8_t>(pixel);
    else
      Store16(APixel, static_cast<uint16_t>(pixel));
  } else if (AInfo.PixelBytes == 3 || AInfo.PixelBytes == 4) {
    for (int i = 0; i < AInfo.PixelBytes; ++i)
      APixel[i] = WordToByte(AColor.Channels[i]);
  } else {
    for (int i = 0; i < AInfo.PixelBytes / 2; ++i)
      Store16(APixel + 2 * i, AColor.Channels[i]);
  }
}

// Gray32 and Gray64 read their most significant word and write the grey into every word.
void ReadGrayPixel(const uint8_t* APixel, const TImageFormatDescriptor& AInfo, uint16_t& AGray,
                   uint16_t& AAlpha) {
  AAlpha = 65535;
  switch (AInfo.PixelBytes) {
  case 1:
    AGray = ByteToWord(APixel[0]);
    break;
  case 2:
    if (AInfo.HasAlpha) {
      AGray = ByteToWord(APixel[0]);
      AAlpha = ByteToWord(APixel[1]);
    } else {
      AGray = Load16(APixel);
    }
    break;
  case 4:
    if (AInfo.HasAlpha) {
      AGray = Load16(APixel);
      AAlpha = Load16(APixel + 2);
    } else {
      AGray = Load16(APixel + 2);
    }
    break;
  default:
    AGray = Load16(APixel + 6);
    break;
  }
}

void WriteGrayPixel(uint8_t* APixel, const TImageFormatDescriptor& AInfo, uint16_t AGray, uint16_t AAlpha) {
  switch (AInfo.PixelBytes) {
  case 1:
    APixel[0] = WordToByte(AGray);
    break;
  case 2:
    if (AInfo.HasAlpha) {
      APixel[0] = WordToByte(AGray);
      APixel[1] = WordToByte(AAlpha);
    } else {
      Store16(APixel, AGray);
    }
    break;
  case 4:
    Store16(APixel, AGray);
    Store16(APixel + 2, AInfo.HasAlpha ? AAlpha : AGray);
    break;
  default:
    for (int i = 0; i < 4; ++i)
      Store16(APixel + 2 * i, AGray);
    break;
  }
}

// --- Half floats ---------------------------------------------------------------------------------

uint16_t FloatToHalf(float AValue) {
  const uint32_t bits = std::bit_cast<uint32_t>(AValue);
  const auto sign = static_cast<uint16_t>((bits >> 16) & 0x8000);
  const int32_t exponent = static_cast<int32_t>((bits >> 23) & 0xFF);
  const uint32_t mantissa = bits & 0x7FFFFF;
  if (exponent == 0xFF)
    return mantissa == 0 ? sign | 0x7C00 : static_cast<uint16_t>(sign | 0x7E00 | (mantissa >> 13));
  const int32_t halfExponent = exponent - 127 + 15;
  if (halfExponent >= 31)
    return sign | 0x7C00;
  // Both branches round to nearest, ties to even; a carry into the exponent is the right result
  // (the smallest normal, or infinity).
  if (halfExponent >= 1) {
    uint32_t half = (static_cast<uint32_t>(halfExponent) << 10) | (mantissa >> 13);
    const uint32_t rest = mantissa & 0x1FFF;
    if (rest > 0x1000 || (rest == 0x1000 && (half & 1)))
      ++half;
    return static_cast<uint16_t>(sign | half);
  }
  // Denormal: the value in units of 2^-24 is the full significand shifted right by 126 - exponent.
  const int32_t shift = 126 - exponent;
  if (exponent == 0 || shift > 25)
    return sign;
  const uint32_t significand = mantissa | 0x800000;
  uint32_t half = significand >> shift;
  const uint32_t rest = significand & ((uint32_t{1} << shift) - 1);
  const uint32_t tie = uint32_t{1} << (shift - 1);
  if (rest > tie || (rest == tie && (half & 1)))
    ++half;
  return static_cast<uint16_t>(sign | half);
}

float HalfToFloat(uint16_t AValue) {
  const uint32_t sign = uint32_t{AValue & 0x8000u} << 16;
  const uint32_t exponent = (AValue >> 10) & 0x1F;
  const uint32_t mantissa = AValue & 0x3FF;
  if (exponent == 0) {
    const float magnitude = std::ldexp(static_cast<float>(mantissa), -24);
    return sign ? -magnitude : magnitude;
  }
  if (exponent == 31)
    return std::bit_cast<float>(sign | 0x7F800000 | (mantissa << 13));
  return std::bit_cast<float>(sign | ((exponent - 15 + 127) << 23) | (mantissa << 13));
}

} // namespace vantrel
