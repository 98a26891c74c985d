// The filter kernels and the resampler core: nearest neighbour in 16.16 steps, and separable
// filtering through per-axis mapping tables built once per call.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "formats/Vantrel.Imaging.Formats.h"

namespace vantrel {

namespace {

double Sinc(double AX) {
  if (AX == 0)
    return 1;
  const double x = std::numbers::pi * AX;
  return std::sin(x) / x;
}

double KernelOfDistance(int32_t AIndex, double AX) {
  switch (AIndex) {
  case 1:
    return AX < 1 ? 1 - AX : 0;
  case 2:
    return AX < 1 ? (std::cos(std::numbers::pi * AX) + 1) / 2 : 0;
  case 3:
    return AX < 1 ? (2 * AX - 3) * AX * AX + 1 : 0;
  case 4:
    if (AX < 0.5)
      return 0.75 - AX * AX;
    return AX < 1.5 ? 0.5 * (AX - 1.5) * (AX - 1.5) : 0;
  case 5:
    return std::exp(-2 * AX * AX) * std::sqrt(2 / std::numbers::pi);
  case 6:
    if (AX < 1)
      return 0.5 * AX * AX * AX - AX * AX + 2.0 / 3.0;
    return AX < 2 ? (2 - AX) * (2 - AX) * (2 - AX) / 6 : 0;
  case 7:
    return AX < 3 ? Sinc(AX) * Sinc(AX / 3) : 0;
  case 8:
    if (AX < 1)
      return (7 * AX * AX * AX - 12 * AX * AX + 16.0 / 3.0) / 6;
    return AX < 2 ? (-7.0 / 3.0 * AX * AX * AX + 12 * AX * AX - 20 * AX + 32.0 / 3.0) / 6 : 0;
  default:
    if (AX < 1)
      return 0.5 * (3 * AX * AX * AX - 5 * AX * AX + 2);
    return AX < 2 ? 0.5 * (-AX * AX * AX + 5 * AX * AX - 8 * AX + 4) : 0;
  }
}

// --- Mapping tables --------------------------------------------------------------------------------

struct TContributor {
  int32_t Pixel;
  double Weight;
  int32_t IntWeight;
};

// Every destination pixel's contributors, stored back to back: pixel i owns the entries
// First[i] .. First[i + 1] - 1.
struct TMapping {
  std::vector<TContributor> Entries;
  std::vector<size_t> First;
};

// Makes the weights of one pixel sum to 1 (and the integer weights to 256): the middle entry
// takes the difference, so flat areas stay flat.
void Normalize(TContributor* AEntries, size_t ACount) {
  double sum = 0;
  int32_t intSum = 0;
  for (size_t k = 0; k < ACount; ++k) {
    sum += AEntries[k].Weight;
    AEntries[k].IntWeight = static_cast<int32_t>(std::nearbyint(AEntries[k].Weight * 256));
    intSum += AEntries[k].IntWeight;
  }
  AEntries[ACount / 2].Weight += 1 - sum;
  AEntries[ACount / 2].IntWeight += 256 - intSum;
}

TMapping BuildMapping(int32_t ASrcStart, int32_t ASrcLength, int32_t ADstLength, int32_t AKernel) {
  TMapping mapping;
  mapping.First.reserve(static_cast<size_t>(ADstLength) + 1);
  const int32_t last = ASrcStart + ASrcLength - 1;
  const double scale = static_cast<double>(ADstLength) / ASrcLength;
  const double radius = FilterKernelRadius(AKernel);
  const double width = scale < 1 ? radius / scale : radius;
  for (int32_t i = 0; i < ADstLength; ++i) {
    mapping.First.push_back(mapping.Entries.size());
    const double centre = ASrcStart - 0.5 + (i + 0.5) / scale;
    if (ASrcLength > 1) {
      const auto from = static_cast<int64_t>(std::ceil(centre - width));
      const auto to = static_cast<int64_t>(std::floor(centre + width));
      for (int64_t j = from; j <= to; ++j) {
        const double distance = centre - static_cast<double>(j);
        const double weight =
            scale < 1 ? FilterKernel(AKernel, distance * scale) * scale : FilterKernel(AKernel, distance);
        if (weight != 0)
          mapping.Entries.push_back(
              {static_cast<int32_t>(std::clamp<int64_t>(j, ASrcStart, last)), weight, 0});
      }
    }
    if (mapping.Entries.size() == mapping.First.back()) {
      const auto nearest = static_cast<int64_t>(std::floor(centre + 0.5));
      mapping.Entries.push_back(
          {static_cast<int32_t>(std::clamp<int64_t>(nearest, ASrcStart, last)), 1, 256});
    }
    Normalize(&mapping.Entries[mapping.First.back()], mapping.Entries.size() - mapping.First.back());
  }
  mapping.First.push_back(mapping.Entries.size());
  return mapping;
}

// Formats of one byte per channel and no bit fields take the integer path.
bool HasByteChannels(const TImageFormatDescriptor& AInfo) {
  switch (AInfo.FormatId) {
  case ImageFormatId::Gray8:
  case ImageFormatId::A8Gray8:
  case ImageFormatId::R8G8B8:
  case ImageFormatId::A8R8G8B8:
  case ImageFormatId::X8R8G8B8:
    return true;
  default:
    return false;
  }
}

uint8_t* PixelAt(const TImageData& AImage, int32_t AX, int32_t AY, int32_t APixelBytes) {
  return static_cast<uint8_t*>(AImage.Bits) +
         (static_cast<size_t>(AY) * static_cast<size_t>(AImage.Width) + AX) *
             static_cast<size_t>(APixelBytes);
}

// One byte per channel: integer weights, 32-bit column sums, and the final sum clamped to
// 0..0xFF0000 and shifted right by 16 (truncating).
void ResampleBytes(const TImageData& ASrc, const TImageRect& ASrcRect, TImageData& ADst,
                   const TImageRect& ADstRect, const TMapping& AColumns, const TMapping& ARows,
                   int32_t AChannels) {
  std::vector<int32_t> row(static_cast<size_t>(ASrcRect.Width) * AChannels);
  for (int32_t y = 0; y < ADstRect.Height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (size_t k = ARows.First[y]; k < ARows.First[y + 1]; ++k) {
      const TContributor& c = ARows.Entries[k];
      const uint8_t* source = PixelAt(ASrc, ASrcRect.X, c.Pixel, AChannels);
      for (size_t n = 0; n < row.size(); ++n)
        row[n] += c.IntWeight * source[n];
    }
    uint8_t* target = PixelAt(ADst, ADstRect.X, ADstRect.Y + y, AChannels);
    for (int32_t x = 0; x < ADstRect.Width; ++x, target += AChannels)
      for (int32_t ch = 0; ch < AChannels; ++ch) {
        int64_t sum = 0;
        for (size_t k = AColumns.First[x]; k < AColumns.First[x + 1]; ++k) {
          const TContributor& c = AColumns.Entries[k];
          sum += int64_t{c.IntWeight} * row[static_cast<size_t>(c.Pixel - ASrcRect.X) * AChannels + ch];
        }
        target[ch] = static_cast<uint8_t>(std::clamp<int64_t>(sum, 0, 0xFF0000) >> 16);
      }
  }
}

// Any other format: float weights over the format's float read, stored through its float write.
void ResampleFloats(const TImageData& ASrc, const TImageRect& ASrcRect, TImageData& ADst,
                    const TImageRect& ADstRect, const TMapping& AColumns, const TMapping& ARows,
                    const TImageFormatDescriptor& AInfo) {
  std::vector<TColorFPRec> row(static_cast<size_t>(ASrcRect.Width));
  for (int32_t y = 0; y < ADstRect.Height; ++y) {
    std::fill(row.begin(), row.end(), TColorFPRec{});
    for (size_t k = ARows.First[y]; k < ARows.First[y + 1]; ++k) {
      const TContributor& c = ARows.Entries[k];
      const uint8_t* source = PixelAt(ASrc, ASrcRect.X, c.Pixel, AInfo.PixelBytes);
      for (TColorFPRec& sum : row) {
        const TColorFPRec color = AInfo.ReadPixelFloat(source, AInfo, ASrc.Palette);
        for (int ch = 0; ch < 4; ++ch)
          sum.Channels[ch] += static_cast<float>(c.Weight * color.Channels[ch]);
        source += AInfo.PixelBytes;
      }
    }
    uint8_t* target = PixelAt(ADst, ADstRect.X, ADstRect.Y + y, AInfo.PixelBytes);
    for (int32_t x = 0; x < ADstRect.Width; ++x, target += AInfo.PixelBytes) {
      TColorFPRec color{};
      for (size_t k = AColumns.First[x]; k < AColumns.First[x + 1]; ++k) {
        const TContributor& c = AColumns.Entries[k];
        const TColorFPRec& value = row[static_cast<size_t>(c.Pixel - ASrcRect.X)];
        for (int ch = 0; ch < 4; ++ch)
          color.Channels[ch] += static_cast<float>(c.Weight * value.Channels[ch]);
      }
      AInfo.WritePixelFloat(target, AInfo, ADst.Palette, color);
    }
  }
}

} // namespace

double FilterKernel(int32_t AIndex, double AX) {
  Assert(AIndex >= 0 && AIndex < FilterKernelCount);
  if (AIndex == 0)
    return AX > -0.5 && AX <= 0.5 ? 1 : 0;
  return KernelOfDistance(AIndex, std::abs(AX));
}

double FilterKernelRadius(int32_t AIndex) {
  static constexpr double Radii[FilterKernelCount] = {1, 1, 1, 1, 1.5, 1.25, 2, 3, 2, 2};
  Assert(AIndex >= 0 && AIndex < FilterKernelCount);
  return Radii[AIndex];
}

void StretchNearest(const TImageData& ASrc, const TImageRect& ASrcRect, TImageData& ADst,
                    const TImageRect& ADstRect) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(ASrc.Format);
  Assert(info != nullptr && ASrc.Format == ADst.Format);
  const int32_t bytes = info->PixelBytes;
  const int64_t stepX = (int64_t{ASrcRect.Width} << 16) / ADstRect.Width;
  const int64_t stepY = (int64_t{ASrcRect.Height} << 16) / ADstRect.Height;
  std::vector<int32_t> columns(static_cast<size_t>(ADstRect.Width));
  for (int32_t x = 0; x < ADstRect.Width; ++x)
    columns[x] = ASrcRect.X + static_cast<int32_t>((x * stepX) >> 16);
  for (int32_t y = 0; y < ADstRect.Height; ++y) {
    const int32_t sourceY = ASrcRect.Y + static_cast<int32_t>((y * stepY) >> 16);
    uint8_t* target = PixelAt(ADst, ADstRect.X, ADstRect.Y + y, bytes);
    for (int32_t x = 0; x < ADstRect.Width; ++x, target += bytes)
      std::memcpy(target, PixelAt(ASrc, columns[x], sourceY, bytes), static_cast<size_t>(bytes));
  }
}

void StretchResample(const TImageData& ASrc, const TImageRect& ASrcRect, TImageData& ADst,
                     const TImageRect& ADstRect, int32_t AKernel) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(ASrc.Format);
  Assert(info != nullptr && ASrc.Format == ADst.Format && !info->IsPaletted && !info->IsBlockCompressed);
  const TMapping columns = BuildMapping(ASrcRect.X, ASrcRect.Width, ADstRect.Width, AKernel);
  const TMapping rows = BuildMapping(ASrcRect.Y, ASrcRect.Height, ADstRect.Height, AKernel);
  if (HasByteChannels(*info))
    ResampleBytes(ASrc, ASrcRect, ADst, ADstRect, columns, rows, info->PixelBytes);
  else
    ResampleFloats(ASrc, ASrcRect, ADst, ADstRect, columns, rows, *info);
}

} // namespace vantrel
