// Resizing, rectangle copies and stretches between images.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "formats/Vantrel.Imaging.h"

namespace vantrel {

namespace {

const TImageFormatDescriptor& DescriptorOf(TImageFormat AFormat) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AFormat);
  Assert(info != nullptr);
  return *info;
}

// Clips a copy along one axis: the source span [AS, AS + ALength) and the destination span at AD
// move together.
void ClipCopyAxis(int64_t& AS, int64_t& AD, int64_t& ALength, int64_t ASrcSize, int64_t ADstSize) {
  if (AS < 0) {
    ALength += AS;
    AD -= AS;
    AS = 0;
  }
  if (AD < 0) {
    ALength += AD;
    AS -= AD;
    AD = 0;
  }
  ALength = std::min({ALength, ASrcSize - AS, ADstSize - AD});
}

// Clips a stretch along one axis: what is cut from one span cuts the other in proportion, rounded.
void ClipStretchAxis(int64_t& AS, int64_t& ASLength, int64_t ASrcSize, int64_t& AD, int64_t& ADLength,
                     int64_t ADstSize) {
  if (ASLength <= 0 || ADLength <= 0)
    return;
  const double ratio = static_cast<double>(ADLength) / static_cast<double>(ASLength);
  const auto scaled = [](int64_t ACut, double AFactor) {
    return static_cast<int64_t>(std::nearbyint(ACut * AFactor));
  };
  if (AS < 0) {
    AD += scaled(-AS, ratio);
    ADLength -= scaled(-AS, ratio);
    ASLength += AS;
    AS = 0;
  }
  if (AS + ASLength > ASrcSize) {
    ADLength -= scaled(AS + ASLength - ASrcSize, ratio);
    ASLength = ASrcSize - AS;
  }
  if (AD < 0) {
    AS += scaled(-AD, 1 / ratio);
    ASLength -= scaled(-AD, 1 / ratio);
    ADLength += AD;
    AD = 0;
  }
  if (AD + ADLength > ADstSize) {
    ASLength -= scaled(AD + ADLength - ADstSize, 1 / ratio);
    ADLength = ADstSize - AD;
  }
}

// Converts a paletted copy of other colours to the destination's own palette, so indices mean the
// destination's colours.
void MapToPalette(TImageData& AImage, const TImageData& APaletted) {
  const TImageFormatDescriptor& info = DescriptorOf(APaletted.Format);
  ConvertImageData(AImage, ImageFormatId::A8R8G8B8);
  TOwnedImageData mapped;
  CreateImageData(AImage.Width, AImage.Height, info.FormatId, mapped.Get());
  std::memcpy(mapped->Palette, APaletted.Palette, static_cast<size_t>(info.PaletteSize) * 4);
  const auto* source = static_cast<const TColor32Rec*>(AImage.Bits);
  auto* target = static_cast<uint8_t*>(mapped->Bits);
  const size_t count = static_cast<size_t>(AImage.Width) * static_cast<size_t>(AImage.Height);
  for (size_t i = 0; i < count; ++i, target += info.PixelBytes)
    info.WritePixel32(target, info, APaletted.Palette, source[i]);
  ReleaseImageBuffers(AImage);
  AImage = mapped.Release();
}

// The source in the destination's format: the source itself, or a converted clone in AHolder.
const TImageData& SourceInFormatOf(const TImageData& ASrc, const TImageData& ADst, TOwnedImageData& AHolder) {
  const TImageFormatDescriptor& target = DescriptorOf(ADst.Format);
  if (&DescriptorOf(ASrc.Format) == &target)
    return ASrc;
  CloneImageData(ASrc, AHolder.Get());
  if (target.IsPaletted)
    MapToPalette(AHolder.Get(), ADst);
  else
    ConvertImageData(AHolder.Get(), target.FormatId);
  return AHolder.Get();
}

// Runs AWork on the destination; a block-compressed one is decoded to A8R8G8B8 for it and encoded
// again afterwards.
template <class TWork> void WithPlainDestination(TImageData& ADst, TWork AWork) {
  const TImageFormat format = ADst.Format;
  const bool block = DescriptorOf(format).IsBlockCompressed;
  if (block)
    ConvertImageData(ADst, ImageFormatId::A8R8G8B8);
  AWork();
  if (block)
    ConvertImageData(ADst, format);
}

} // namespace

bool ResizeImageData(TImageData& AImage, int32_t ANewWidth, int32_t ANewHeight, TResizeFilter AFilter) {
  Assert(ANewWidth >= 1 && ANewHeight >= 1);
  if (!IsImageDataValid(AImage) || (AImage.Width == ANewWidth && AImage.Height == ANewHeight))
    return false;
  try {
    TOwnedImageData resized;
    CreateImageData(ANewWidth, ANewHeight, AImage.Format, resized.Get());
    StretchImageRect(AImage, 0, 0, AImage.Width, AImage.Height, resized.Get(), 0, 0, ANewWidth, ANewHeight,
                     AFilter);
    if (AImage.Palette) {
      std::free(resized->Palette);
      resized->Palette = AImage.Palette;
      AImage.Palette = nullptr;
    }
    ReleaseImageBuffers(AImage);
    AImage = resized.Release();
  } catch (...) {
    RaiseImagingError(ImagingMessages::ResizeFailed, ImageDataToText(AImage));
  }
  return true;
}

bool CopyImageRect(const TImageData& ASrc, int32_t ASrcX, int32_t ASrcY, int32_t AWidth, int32_t AHeight,
                   TImageData& ADst, int32_t ADstX, int32_t ADstY) {
  if (!IsImageDataValid(ASrc) || !IsImageDataValid(ADst))
    return false;
  int64_t sx = ASrcX, sy = ASrcY, dx = ADstX, dy = ADstY, width = AWidth, height = AHeight;
  ClipCopyAxis(sx, dx, width, ASrc.Width, ADst.Width);
  ClipCopyAxis(sy, dy, height, ASrc.Height, ADst.Height);
  if (width <= 0 || height <= 0)
    return false;
  try {
    WithPlainDestination(ADst, [&] {
      TOwnedImageData holder;
      const TImageData& source = SourceInFormatOf(ASrc, ADst, holder);
      const auto bytes = static_cast<size_t>(DescriptorOf(ADst.Format).PixelBytes);
      for (int64_t y = 0; y < height; ++y) {
        const size_t from =
            (static_cast<size_t>(sy + y) * static_cast<size_t>(source.Width) + static_cast<size_t>(sx)) *
            bytes;
        const size_t to =
            (static_cast<size_t>(dy + y) * static_cast<size_t>(ADst.Width) + static_cast<size_t>(dx)) * bytes;
        std::memmove(static_cast<uint8_t*>(ADst.Bits) + to, static_cast<const uint8_t*>(source.Bits) + from,
                     static_cast<size_t>(width) * bytes);
      }
    });
  } catch (...) {
    RaiseImagingError(ImagingMessages::CopyRectFailed, ImageDataToText(ASrc), ImageDataToText(ADst));
  }
  return true;
}

bool StretchImageRect(const TImageData& ASrc, int32_t ASrcX, int32_t ASrcY, int32_t ASrcWidth,
                      int32_t ASrcHeight, TImageData& ADst, int32_t ADstX, int32_t ADstY, int32_t ADstWidth,
                      int32_t ADstHeight, TResizeFilter AFilter) {
  if (!IsImageDataValid(ASrc) || !IsImageDataValid(ADst))
    return false;
  int64_t sx = ASrcX, sy = ASrcY, sw = ASrcWidth, sh = ASrcHeight;
  int64_t dx = ADstX, dy = ADstY, dw = ADstWidth, dh = ADstHeight;
  ClipStretchAxis(sx, sw, ASrc.Width, dx, dw, ADst.Width);
  ClipStretchAxis(sy, sh, ASrc.Height, dy, dh, ADst.Height);
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
    return false;
  if (sw == dw && sh == dh)
    return CopyImageRect(ASrc, static_cast<int32_t>(sx), static_cast<int32_t>(sy), static_cast<int32_t>(sw),
                         static_cast<int32_t>(sh), ADst, static_cast<int32_t>(dx), static_cast<int32_t>(dy));
  const TImageRect sourceRect{static_cast<int32_t>(sx), static_cast<int32_t>(sy), static_cast<int32_t>(sw),
                              static_cast<int32_t>(sh)};
  const TImageRect targetRect{static_cast<int32_t>(dx), static_cast<int32_t>(dy), static_cast<int32_t>(dw),
                              static_cast<int32_t>(dh)};
  try {
    WithPlainDestination(ADst, [&] {
      TOwnedImageData holder;
      const TImageData& source = SourceInFormatOf(ASrc, ADst, holder);
      if (AFilter == TResizeFilter::Nearest || DescriptorOf(ADst.Format).IsPaletted)
        StretchNearest(source, sourceRect, ADst, targetRect);
      else
        StretchResample(source, sourceRect, ADst, targetRect, AFilter == TResizeFilter::Bilinear ? 1 : 9);
    });
  } catch (...) {
    RaiseImagingError(ImagingMessages::StretchRectFailed, ImageDataToText(ASrc), ImageDataToText(ADst));
  }
  return true;
}

} // namespace vantrel
