#pragma once
// The records of the image codecs: format ids, colour records, the image record with its owners,
// the bit-field and descriptor records of the format table, and the codecs' exception.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/exceptions.h"

namespace vantrel {

// Format ids are plain integers: ids outside the table are data (a file may name any of them), so
// every query treats an id outside 0..225 as an empty slot.
using TImageFormat = int32_t;

namespace ImageFormatId {
inline constexpr TImageFormat Unknown = 0;
inline constexpr TImageFormat Default = 1;
inline constexpr TImageFormat Index8 = 10;
inline constexpr TImageFormat Gray8 = 40;
inline constexpr TImageFormat A8Gray8 = 41;
inline constexpr TImageFormat Gray16 = 42;
inline constexpr TImageFormat Gray32 = 43;
inline constexpr TImageFormat Gray64 = 44;
inline constexpr TImageFormat A16Gray16 = 45;
inline constexpr TImageFormat X5R1G1B1 = 80;
inline constexpr TImageFormat R3G3B2 = 81;
inline constexpr TImageFormat R5G6B5 = 82;
inline constexpr TImageFormat A1R5G5B5 = 83;
inline constexpr TImageFormat A4R4G4B4 = 84;
inline constexpr TImageFormat X1R5G5B5 = 85;
inline constexpr TImageFormat X4R4G4B4 = 86;
inline constexpr TImageFormat R8G8B8 = 87;
inline constexpr TImageFormat A8R8G8B8 = 88;
inline constexpr TImageFormat X8R8G8B8 = 89;
inline constexpr TImageFormat R16G16B16 = 90;
inline constexpr TImageFormat A16R16G16B16 = 91;
inline constexpr TImageFormat B16G16R16 = 92;
inline constexpr TImageFormat A16B16G16R16 = 93;
inline constexpr TImageFormat R32F = 170;
inline constexpr TImageFormat A32R32G32B32F = 171;
inline constexpr TImageFormat A32B32G32R32F = 172;
inline constexpr TImageFormat R16F = 173;
inline constexpr TImageFormat A16R16G16B16F = 174;
inline constexpr TImageFormat A16B16G16R16F = 175;
inline constexpr TImageFormat DXT1 = 220;
inline constexpr TImageFormat DXT3 = 221;
inline constexpr TImageFormat DXT5 = 222;
inline constexpr TImageFormat BTC = 223;
inline constexpr TImageFormat ATI1N = 224;
inline constexpr TImageFormat ATI2N = 225;
// Slots of the format table (ids 0..225).
inline constexpr int32_t SlotCount = 226;
} // namespace ImageFormatId

// A set of format ids 0..231.
class TImageFormats {
public:
  void Include(TImageFormat AFormat) {
    if (AFormat >= 0 && AFormat < static_cast<TImageFormat>(Capacity))
      FIds.set(static_cast<size_t>(AFormat));
  }
  bool Contains(TImageFormat AFormat) const {
    return AFormat >= 0 && AFormat < static_cast<TImageFormat>(Capacity) &&
           FIds.test(static_cast<size_t>(AFormat));
  }
  bool operator==(const TImageFormats&) const = default;

private:
  static constexpr size_t Capacity = 232;
  std::bitset<Capacity> FIds;
};

// Colour records are raw pixel memory, so their sizes are fixed. The channel arrays overlay the
// named channels: index 0 blue, 1 green, 2 red, 3 alpha.
struct TColor24Rec {
  union {
    struct {
      uint8_t B, G, R;
    };
    uint8_t Channels[3];
  };
};
static_assert(sizeof(TColor24Rec) == 3);

struct TColor32Rec {
  union {
    struct {
      uint8_t B, G, R, A;
    };
    uint8_t Channels[4];
    // A << 24 | R << 16 | G << 8 | B on this little-endian machine.
    uint32_t Color;
  };
};
static_assert(sizeof(TColor32Rec) == 4);

struct TColorFPRec {
  union {
    struct {
      float B, G, R, A;
    };
    float Channels[4];
  };
};
static_assert(sizeof(TColorFPRec) == 16);

// The working colour of the generic pixel routines: four 16-bit channels, 0..65535.
struct TColor64Rec {
  union {
    struct {
      uint16_t B, G, R, A;
    };
    uint16_t Channels[4];
  };
};
static_assert(sizeof(TColor64Rec) == 8);

// One image: rows top to bottom without gaps. Copying the record shares its buffers; whoever owns
// it frees them once (FreeImageData, or one of the owners below). Buffers come from std::calloc.
struct TImageData {
  int32_t Width;
  int32_t Height;
  TImageFormat Format;
  int32_t Size;
  void* Bits;
  TColor32Rec* Palette;
};
static_assert(sizeof(TImageData) == 32);
static_assert(offsetof(TImageData, Bits) == 16 && offsetof(TImageData, Palette) == 24);

// Frees the buffers of a record it owns and zeroes it; never raises.
void ReleaseImageBuffers(TImageData& AImage) noexcept;

// Owns one record, for temporaries and clones, so an exception never leaks a buffer.
class TOwnedImageData {
public:
  TOwnedImageData() : FImage{} {}
  // Takes ownership of AImage's buffers.
  explicit TOwnedImageData(const TImageData& AImage) : FImage(AImage) {}
  TOwnedImageData(TOwnedImageData&& AOther) noexcept : FImage(AOther.Release()) {}
  TOwnedImageData& operator=(TOwnedImageData&& AOther) noexcept;
  TOwnedImageData(const TOwnedImageData&) = delete;
  TOwnedImageData& operator=(const TOwnedImageData&) = delete;
  ~TOwnedImageData() { ReleaseImageBuffers(FImage); }

  TImageData& Get() { return FImage; }
  const TImageData& Get() const { return FImage; }
  TImageData* operator->() { return &FImage; }
  const TImageData* operator->() const { return &FImage; }
  // Hands the buffers to the caller and leaves a zeroed record.
  TImageData Release() noexcept;

private:
  TImageData FImage;
};

// A move-only, vector-like owner of images: dropped entries and the destructor free their buffers.
class TDynImageDataArray {
public:
  TDynImageDataArray() = default;
  TDynImageDataArray(TDynImageDataArray&&) noexcept = default;
  TDynImageDataArray& operator=(TDynImageDataArray&& AOther) noexcept;
  TDynImageDataArray(const TDynImageDataArray&) = delete;
  TDynImageDataArray& operator=(const TDynImageDataArray&) = delete;
  ~TDynImageDataArray() { clear(); }

  size_t size() const { return FItems.size(); }
  bool empty() const { return FItems.empty(); }
  TImageData& operator[](size_t AIndex) { return FItems[AIndex]; }
  const TImageData& operator[](size_t AIndex) const { return FItems[AIndex]; }
  TImageData* begin() { return FItems.data(); }
  TImageData* end() { return FItems.data() + FItems.size(); }
  const TImageData* begin() const { return FItems.data(); }
  const TImageData* end() const { return FItems.data() + FItems.size(); }
  // New entries are zeroed records; dropped entries are freed.
  void resize(size_t ACount);
  void clear() noexcept;
  // Takes ownership of AImage's buffers.
  void push_back(const TImageData& AImage) { FItems.push_back(AImage); }

private:
  std::vector<TImageData> FItems;
};

// How a packed format lays out its channels, built from the four bit counts.
struct TFormatBitFields {
  uint8_t ABits, RBits, GBits, BBits;
  uint32_t AMask, RMask, GMask, BMask;
  uint8_t AShift, RShift, GShift, BShift;
  uint8_t AMax, RMax, GMax, BMax;
};
static_assert(sizeof(TFormatBitFields) == 28);

struct TImageFormatDescriptor;

using TPixelsSizeFunc = int64_t (*)(TImageFormat AFormat, int32_t AWidth, int32_t AHeight);
using TAdjustDimensionsFunc = void (*)(TImageFormat AFormat, int32_t& AWidth, int32_t& AHeight);
using TReadPixel32Func = TColor32Rec (*)(const uint8_t* APixel, const TImageFormatDescriptor& AInfo,
                                         const TColor32Rec* APalette);
using TReadPixelFloatFunc = TColorFPRec (*)(const uint8_t* APixel, const TImageFormatDescriptor& AInfo,
                                            const TColor32Rec* APalette);
using TWritePixel32Func = void (*)(uint8_t* APixel, const TImageFormatDescriptor& AInfo,
                                   const TColor32Rec* APalette, TColor32Rec AColor);
using TWritePixelFloatFunc = void (*)(uint8_t* APixel, const TImageFormatDescriptor& AInfo,
                                      const TColor32Rec* APalette, TColorFPRec AColor);

// One row of the format table.
struct TImageFormatDescriptor {
  TImageFormat FormatId;
  std::string_view DisplayName;
  int32_t PixelBytes;
  int32_t Channels;
  int32_t PaletteSize;
  bool IsGray;
  bool HasAlpha;
  bool IsFloat;
  bool HasBitFields;
  bool IsBlueRedSwapped;
  TImageFormat SwapTwin;
  bool IsPaletted;
  bool IsBlockCompressed;
  const TFormatBitFields* BitFields;
  TPixelsSizeFunc PixelsSize;
  TAdjustDimensionsFunc AdjustDimensions;
  TReadPixel32Func ReadPixel32;
  TReadPixelFloatFunc ReadPixelFloat;
  TWritePixel32Func WritePixel32;
  TWritePixelFloatFunc WritePixelFloat;
  TImageFormat NearestPlainFormat;
};

RTL_DECLARE_EXCEPTION(EImagingError, Exception);

} // namespace vantrel
