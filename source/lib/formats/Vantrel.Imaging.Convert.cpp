// Conversions between formats, the channel swap and the vertical flip.

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "formats/Vantrel.Imaging.h"

namespace vantrel {

namespace {

enum class TFormatClass { Paletted, Gray, Float, Plain };

TFormatClass ClassOf(const TImageFormatDescriptor& AInfo) {
  if (AInfo.IsPaletted)
    return TFormatClass::Paletted;
  if (AInfo.IsGray)
    return TFormatClass::Gray;
  return AInfo.IsFloat ? TFormatClass::Float : TFormatClass::Plain;
}

const TImageFormatDescriptor& DescriptorOf(TImageFormat AFormat) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AFormat);
  Assert(info != nullptr);
  return *info;
}

size_t PixelCount(const TImageData& AImage) {
  return static_cast<size_t>(AImage.Width) * static_cast<size_t>(AImage.Height);
}

uint16_t Load16(const uint8_t* AAt) {
  uint16_t value;
  std::memcpy(&value, AAt, sizeof value);
  return value;
}

float LoadFloat(const uint8_t* AAt) {
  float value;
  std::memcpy(&value, AAt, sizeof value);
  return value;
}

// Runs APixel(source pixel, destination pixel) over every pixel of two images of equal size.
template <class TPixel>
void ForEachPixel(const TImageData& ASrc, int32_t ASrcBytes, TImageData& ADst, int32_t ADstBytes,
                  TPixel APixel) {
  const auto* source = static_cast<const uint8_t*>(ASrc.Bits);
  auto* target = static_cast<uint8_t*>(ADst.Bits);
  for (size_t i = PixelCount(ASrc); i > 0; --i, source += ASrcBytes, target += ADstBytes)
    APixel(source, target);
}

// --- Into A8R8G8B8 ----------------------------------------------------------------------------------
// One loop per kind of source, each giving the bytes of the generic path (ReadPixel32) without a
// call through a pointer per pixel.

void StoreColor(uint8_t* ATarget, uint32_t AB, uint32_t AG, uint32_t AR, uint32_t AA) {
  const uint32_t color = AA << 24 | AR << 16 | AG << 8 | AB;
  std::memcpy(ATarget, &color, 4);
}

template <class TLoad>
void FloatsToA8R8G8B8(const TImageData& ASrc, const TImageFormatDescriptor& AInfo, TImageData& ADst,
                      TLoad ALoad) {
  const int32_t size = AInfo.PixelBytes / AInfo.Channels;
  const bool swapped = AInfo.IsBlueRedSwapped;
  ForEachPixel(ASrc, AInfo.PixelBytes, ADst, 4, [&](const uint8_t* AS, uint8_t* AD) {
    if (AInfo.Channels == 1) {
      StoreColor(AD, 0, 0, RoundToByte(ALoad(AS) * 255.0), 255);
      return;
    }
    const double c0 = ALoad(AS), c1 = ALoad(AS + size), c2 = ALoad(AS + 2 * size), c3 = ALoad(AS + 3 * size);
    StoreColor(AD, RoundToByte((swapped ? c2 : c0) * 255.0), RoundToByte(c1 * 255.0),
               RoundToByte((swapped ? c0 : c2) * 255.0), RoundToByte(c3 * 255.0));
  });
}

void BitFieldsToA8R8G8B8(const TImageData& ASrc, const TImageFormatDescriptor& AInfo, TImageData& ADst) {
  const TFormatBitFields& bits = *AInfo.BitFields;
  // Each field value scaled to 8 bits, as the 64-bit colour gives it after narrowing.
  uint8_t scale[4][64];
  const uint8_t maxima[4] = {bits.BMax, bits.GMax, bits.RMax, bits.AMax};
  for (int ch = 0; ch < 4; ++ch)
    for (uint32_t v = 0; v <= maxima[ch] && v < 64; ++v)
      scale[ch][v] = static_cast<uint8_t>(v * 255 / maxima[ch]);
  ForEachPixel(ASrc, AInfo.PixelBytes, ADst, 4, [&](const uint8_t* AS, uint8_t* AD) {
    const uint32_t pixel = AInfo.PixelBytes == 1 ? AS[0] : Load16(AS);
    StoreColor(AD, scale[0][(pixel & bits.BMask) >> bits.BShift],
               scale[1][(pixel & bits.GMask) >> bits.GShift], scale[2][(pixel & bits.RMask) >> bits.RShift],
               AInfo.HasAlpha ? scale[3][(pixel & bits.AMask) >> bits.AShift] : 255);
  });
}

void ToA8R8G8B8(const TImageData& ASrc, const TImageFormatDescriptor& AInfo, TImageData& ADst) {
  using namespace ImageFormatId;
  const int32_t bytes = AInfo.PixelBytes;
  if (AInfo.IsPaletted) {
    ForEachPixel(ASrc, bytes, ADst, 4,
                 [&](const uint8_t* AS, uint8_t* AD) { std::memcpy(AD, &ASrc.Palette[AS[0]], 4); });
  } else if (AInfo.FormatId == Gray8) {
    ForEachPixel(ASrc, bytes, ADst, 4,
                 [](const uint8_t* AS, uint8_t* AD) { StoreColor(AD, AS[0], AS[0], AS[0], 255); });
  } else if (AInfo.FormatId == A8Gray8) {
    ForEachPixel(ASrc, bytes, ADst, 4,
                 [](const uint8_t* AS, uint8_t* AD) { StoreColor(AD, AS[0], AS[0], AS[0], AS[1]); });
  } else if (AInfo.IsGray) {
    ForEachPixel(ASrc, bytes, ADst, 4, [&](const uint8_t* AS, uint8_t* AD) {
      uint16_t gray, alpha;
      ReadGrayPixel(AS, AInfo, gray, alpha);
      const uint8_t g = WordToByte(gray);
      StoreColor(AD, g, g, g, WordToByte(alpha));
    });
  } else if (AInfo.FormatId == R8G8B8 || AInfo.FormatId == X8R8G8B8) {
    ForEachPixel(ASrc, bytes, ADst, 4,
                 [](const uint8_t* AS, uint8_t* AD) { StoreColor(AD, AS[0], AS[1], AS[2], 255); });
  } else if (AInfo.BitFields) {
    BitFieldsToA8R8G8B8(ASrc, AInfo, ADst);
  } else if (AInfo.IsFloat && bytes / AInfo.Channels == 4) {
    FloatsToA8R8G8B8(ASrc, AInfo, ADst, [](const uint8_t* AAt) { return LoadFloat(AAt); });
  } else if (AInfo.IsFloat) {
    FloatsToA8R8G8B8(ASrc, AInfo, ADst, [](const uint8_t* AAt) { return HalfToFloat(Load16(AAt)); });
  } else {
    // 16-bit words: R16G16B16, A16R16G16B16 and their blue/red twins.
    const bool swapped = AInfo.IsBlueRedSwapped, alpha = AInfo.HasAlpha;
    ForEachPixel(ASrc, bytes, ADst, 4, [=](const uint8_t* AS, uint8_t* AD) {
      const uint8_t c0 = WordToByte(Load16(AS)), c1 = WordToByte(Load16(AS + 2)),
                    c2 = WordToByte(Load16(AS + 4));
      StoreColor(AD, swapped ? c2 : c0, c1, swapped ? c0 : c2, alpha ? WordToByte(Load16(AS + 6)) : 255);
    });
  }
}

// --- The sixteen converters --------------------------------------------------------------------------

uint16_t ByteToWord(uint8_t AValue) {
  return static_cast<uint16_t>(AValue * 257);
}

TColorFPRec ToFloat(TColor32Rec AColor) {
  TColorFPRec color;
  for (int ch = 0; ch < 4; ++ch)
    color.Channels[ch] = AColor.Channels[ch] / 255.0f;
  return color;
}

void FromPaletted(const TImageData& ASrc, const TImageFormatDescriptor& AS, TImageData& ADst,
                  const TImageFormatDescriptor& AD) {
  const TColor32Rec* palette = ASrc.Palette;
  switch (ClassOf(AD)) {
  case TFormatClass::Paletted:
    std::memcpy(ADst.Bits, ASrc.Bits, static_cast<size_t>(ASrc.Size));
    std::memcpy(ADst.Palette, palette, static_cast<size_t>(std::min(AS.PaletteSize, AD.PaletteSize)) * 4);
    break;
  case TFormatClass::Gray:
    ForEachPixel(ASrc, AS.PixelBytes, ADst, AD.PixelBytes, [&](const uint8_t* AP, uint8_t* AQ) {
      const TColor32Rec c = palette[AP[0]];
      if (AD.FormatId == ImageFormatId::Gray8)
        AQ[0] = RoundToByte(GrayOf(c.R, c.G, c.B));
      else
        WriteGrayPixel(AQ, AD, RoundToWord(GrayOf(c.R, c.G, c.B) * 257.0), ByteToWord(c.A));
    });
    break;
  case TFormatClass::Float:
    ForEachPixel(ASrc, AS.PixelBytes, ADst, AD.PixelBytes, [&](const uint8_t* AP, uint8_t* AQ) {
      AD.WritePixelFloat(AQ, AD, nullptr, ToFloat(palette[AP[0]]));
    });
    break;
  case TFormatClass::Plain:
    ForEachPixel(ASrc, AS.PixelBytes, ADst, AD.PixelBytes, [&](const uint8_t* AP, uint8_t* AQ) {
      const TColor32Rec c = palette[AP[0]];
      if (AD.FormatId == ImageFormatId::R8G8B8) {
        std::memcpy(AQ, &c, 3);
      } else {
        TColor64Rec wide;
        for (int ch = 0; ch < 4; ++ch)
          wide.Channels[ch] = ByteToWord(c.Channels[ch]);
        WritePixel64(AQ, AD, wide);
      }
    });
    break;
  }
}

void FromGray(const TImageData& ASrc, const TImageFormatDescriptor& AS, TImageData& ADst,
              const TImageFormatDescriptor& AD) {
  using namespace ImageFormatId;
  const TFormatClass target = ClassOf(AD);
  if (target == TFormatClass::Paletted) {
    MakeGrayPalette(ADst.Palette, AD.PaletteSize);
    const int shift = 16 - std::countr_zero(static_cast<uint32_t>(AD.PaletteSize));
    ForEachPixel(ASrc, AS.PixelBytes, ADst, AD.PixelBytes, [&](const uint8_t* AP, uint8_t* AQ) {
      uint16_t gray, alpha;
      ReadGrayPixel(AP, AS, gray, alpha);
      AQ[0] = AS.FormatId == Gray8 ? AP[0] : static_cast<uint8_t>(gray >> shift);
    });
    return;
  }
  ForEachPixel(ASrc, AS.PixelBytes, ADst, AD.PixelBytes, [&](const uint8_t* AP, uint8_t* AQ) {
    uint16_t gray, alpha;
    ReadGrayPixel(AP, AS, gray, alpha);
    switch (target) {
    case TFormatClass::Gray:
      if (AS.FormatId == Gray16 && AD.FormatId == Gray8)
        AQ[0] = static_cast<uint8_t>(gray >> 8);
      else
        WriteGrayPixel(AQ, AD, gray, alpha);
      break;
    case TFormatClass::Float: {
      const auto g = static_cast<float>(gray / 65535.0);
      AD.WritePixelFloat(AQ, AD, nullptr, TColorFPRec{{{g, g, g, static_cast<float>(alpha / 65535.0)}}});
      break;
    }
    default:
      if (AS.FormatId == Gray8 && AD.FormatId == R8G8B8) {
        AQ[0] = AQ[1] = AQ[2] = AP[0];
      } else {
        WritePixel64(AQ, AD, TColor64Rec{{{gray, gray, gray, alpha}}});
      }
      break;
    }
  });
}

// Into a paletted format by median cut, with the channel mask of option 128.
void ReduceInto(const TImageData& ASrc, const TImageFormatDescriptor& AS, TImageData& ADst,
                const TImageFormatDescriptor& AD) {
  ReducePaletteColors(static_cast<int32_t>(PixelCount(ASrc)), static_cast<const uint8_t*>(ASrc.Bits), AS,
                      static_cast<uint8_t*>(ADst.Bits), AD, AD.PaletteSize,
                      static_cast<uint8_t>(ImagingColorReductionMask), ADst.Palette);
}

void FromFloat(const TImageData& ASrc, const TImageFormatDescriptor& AS, TImageData& ADst,
               const TImageFormatDescriptor& AD) {
  const TFormatClass target = ClassOf(AD);
  if (target == TFormatClass::Paletted) {
    ReduceInto(ASrc, AS, ADst, AD);
    return;
  }
  ForEachPixel(ASrc, AS.PixelBytes, ADst, AD.PixelBytes, [&](const uint8_t* AP, uint8_t* AQ) {
    const TColorFPRec c = AS.ReadPixelFloat(AP, AS, nullptr);
    if (target == TFormatClass::Float) {
      AD.WritePixelFloat(AQ, AD, nullptr, c);
      return;
    }
    TColor64Rec wide;
    for (int ch = 0; ch < 4; ++ch)
      wide.Channels[ch] = RoundToWord(c.Channels[ch] * 65535.0);
    if (target == TFormatClass::Gray) {
      const auto clamped = [](float AValue) { return AValue > 0 ? (AValue < 1 ? AValue : 1.0) : 0.0; };
      WriteGrayPixel(AQ, AD, RoundToWord(GrayOf(clamped(c.R), clamped(c.G), clamped(c.B)) * 65535.0), wide.A);
    } else {
      WritePixel64(AQ, AD, wide);
    }
  });
}

void FromPlain(const TImageData& ASrc, const TImageFormatDescriptor& AS, TImageData& ADst,
               const TImageFormatDescriptor& AD) {
  const TFormatClass target = ClassOf(AD);
  if (target == TFormatClass::Paletted) {
    ReduceInto(ASrc, AS, ADst, AD);
    return;
  }
  const bool byteRgb = !AS.BitFields && (AS.PixelBytes == 3 || AS.PixelBytes == 4);
  const bool byteRgbTarget = !AD.BitFields && (AD.PixelBytes == 3 || AD.PixelBytes == 4);
  ForEachPixel(ASrc, AS.PixelBytes, ADst, AD.PixelBytes, [&](const uint8_t* AP, uint8_t* AQ) {
    if (target == TFormatClass::Gray && byteRgb && AD.FormatId == ImageFormatId::Gray8) {
      AQ[0] = RoundToByte(GrayOf(AP[2], AP[1], AP[0]));
      return;
    }
    if (target == TFormatClass::Plain && byteRgb && byteRgbTarget && AS.PixelBytes != AD.PixelBytes) {
      std::memcpy(AQ, AP, 3);
      if (AD.PixelBytes == 4 && AD.HasAlpha)
        AQ[3] = 255;
      return;
    }
    const TColor64Rec wide = ReadPixel64(AP, AS);
    switch (target) {
    case TFormatClass::Gray:
      WriteGrayPixel(AQ, AD, RoundToWord(GrayOf(wide.R, wide.G, wide.B)), wide.A);
      break;
    case TFormatClass::Float: {
      TColorFPRec c;
      for (int ch = 0; ch < 4; ++ch)
        c.Channels[ch] = static_cast<float>(wide.Channels[ch] / 65535.0);
      AD.WritePixelFloat(AQ, AD, nullptr, c);
      break;
    }
    default:
      WritePixel64(AQ, AD, wide);
      break;
    }
  });
}

void ConvertPixels(const TImageData& ASrc, const TImageFormatDescriptor& AS, TImageData& ADst,
                   const TImageFormatDescriptor& AD) {
  if (AD.FormatId == ImageFormatId::A8R8G8B8) {
    ToA8R8G8B8(ASrc, AS, ADst);
    return;
  }
  switch (ClassOf(AS)) {
  case TFormatClass::Paletted:
    FromPaletted(ASrc, AS, ADst, AD);
    break;
  case TFormatClass::Gray:
    FromGray(ASrc, AS, ADst, AD);
    break;
  case TFormatClass::Float:
    FromFloat(ASrc, AS, ADst, AD);
    break;
  case TFormatClass::Plain:
    FromPlain(ASrc, AS, ADst, AD);
    break;
  }
}

// --- Block-compressed formats ----------------------------------------------------------------------

using TBlockCodec = void (*)(const uint8_t*, int32_t, int32_t, uint8_t*);

TBlockCodec DecoderOf(TImageFormat AFormat) {
  switch (AFormat) {
  case ImageFormatId::DXT1:
    return DecodeDXT1;
  case ImageFormatId::DXT3:
    return DecodeDXT3;
  case ImageFormatId::DXT5:
    return DecodeDXT5;
  case ImageFormatId::BTC:
    return DecodeBTC;
  case ImageFormatId::ATI1N:
    return DecodeATI1N;
  default:
    return DecodeATI2N;
  }
}

TBlockCodec EncoderOf(TImageFormat AFormat) {
  switch (AFormat) {
  case ImageFormatId::DXT1:
    return EncodeDXT1;
  case ImageFormatId::DXT3:
    return EncodeDXT3;
  case ImageFormatId::DXT5:
    return EncodeDXT5;
  case ImageFormatId::BTC:
    return EncodeBTC;
  case ImageFormatId::ATI1N:
    return EncodeATI1N;
  default:
    return EncodeATI2N;
  }
}

// The decoded pixels of a block image, in its nearest plain format at its rounded size.
TOwnedImageData Decode(const TImageData& AImage, const TImageFormatDescriptor& AInfo) {
  int32_t width = AImage.Width, height = AImage.Height;
  AInfo.AdjustDimensions(AInfo.FormatId, width, height);
  TOwnedImageData decoded;
  CreateImageData(width, height, AInfo.NearestPlainFormat, decoded.Get());
  DecoderOf(AInfo.FormatId)(static_cast<const uint8_t*>(AImage.Bits), width, height,
                            static_cast<uint8_t*>(decoded->Bits));
  return decoded;
}

void ConvertSpecialFormat(TImageData& AImage, const TImageFormatDescriptor& AS,
                          const TImageFormatDescriptor& AD) {
  TOwnedImageData work;
  if (AS.IsBlockCompressed) {
    work = Decode(AImage, AS);
    if (!AD.IsBlockCompressed) {
      ConvertImageData(work.Get(), AD.FormatId);
      ReleaseImageBuffers(AImage);
      AImage = work.Release();
      return;
    }
  } else {
    CloneImageData(AImage, work.Get());
  }
  ConvertImageData(work.Get(), AD.NearestPlainFormat);
  int32_t width = AImage.Width, height = AImage.Height;
  AD.AdjustDimensions(AD.FormatId, width, height);
  if (work->Width != width || work->Height != height)
    ResizeImageData(work.Get(), width, height, TResizeFilter::Nearest);
  TOwnedImageData encoded;
  CreateImageData(width, height, AD.FormatId, encoded.Get());
  EncoderOf(AD.FormatId)(static_cast<const uint8_t*>(work->Bits), width, height,
                         static_cast<uint8_t*>(encoded->Bits));
  ReleaseImageBuffers(AImage);
  AImage = encoded.Release();
}

// Exchanges elements 0 and 2 (of AElementBytes each) of every pixel: red and blue of the
// twins, bit for bit.
void SwapTwinElements(TImageData& AImage, const TImageFormatDescriptor& AInfo) {
  const int32_t element = AInfo.PixelBytes / (AInfo.Channels == 4 ? 4 : 3);
  auto* pixel = static_cast<uint8_t*>(AImage.Bits);
  uint8_t scratch[4];
  for (size_t i = PixelCount(AImage); i > 0; --i, pixel += AInfo.PixelBytes) {
    std::memcpy(scratch, pixel, static_cast<size_t>(element));
    std::memcpy(pixel, pixel + 2 * element, static_cast<size_t>(element));
    std::memcpy(pixel + 2 * element, scratch, static_cast<size_t>(element));
  }
}

void SwapChannels(TImageData& AImage, const TImageFormatDescriptor& AInfo, int32_t ASrc, int32_t ADst) {
  auto* pixel = static_cast<uint8_t*>(AImage.Bits);
  const int32_t bytes = AInfo.PixelBytes;
  const size_t count = PixelCount(AImage);
  const bool alphaSwap = ASrc == 3 || ADst == 3;
  // Bytes are swapped in place only among colour channels: R8G8B8 has no fourth byte to swap.
  if ((AInfo.FormatId == ImageFormatId::R8G8B8 || AInfo.FormatId == ImageFormatId::A8R8G8B8) && !alphaSwap) {
    for (size_t i = 0; i < count; ++i, pixel += bytes)
      std::swap(pixel[ASrc], pixel[ADst]);
  } else if (AInfo.IsPaletted) {
    SwapPaletteChannels(AImage.Palette, AInfo.PaletteSize, ASrc, ADst);
  } else if (AInfo.IsFloat) {
    for (size_t i = 0; i < count; ++i, pixel += bytes) {
      TColorFPRec color = AInfo.ReadPixelFloat(pixel, AInfo, nullptr);
      std::swap(color.Channels[ASrc], color.Channels[ADst]);
      AInfo.WritePixelFloat(pixel, AInfo, nullptr, color);
    }
  } else if (AInfo.IsGray && AInfo.HasAlpha && alphaSwap) {
    for (size_t i = 0; i < count; ++i, pixel += bytes) {
      uint16_t gray, alpha;
      ReadGrayPixel(pixel, AInfo, gray, alpha);
      WriteGrayPixel(pixel, AInfo, alpha, gray);
    }
  } else {
    for (size_t i = 0; i < count; ++i, pixel += bytes) {
      TColor64Rec color = ReadPixel64(pixel, AInfo);
      std::swap(color.Channels[ASrc], color.Channels[ADst]);
      WritePixel64(pixel, AInfo, color);
    }
  }
}

} // namespace

bool ConvertImageData(TImageData& AImage, TImageFormat ADestFormat) {
  const TImageFormatDescriptor& target = DescriptorOf(ADestFormat);
  if (!IsImageDataValid(AImage))
    return false;
  const TImageFormatDescriptor& source = DescriptorOf(AImage.Format);
  if (&source == &target)
    return true;
  try {
    if (source.SwapTwin != 0 && source.SwapTwin == target.FormatId) {
      SwapTwinElements(AImage, source);
      AImage.Format = target.FormatId;
    } else if (source.IsBlockCompressed || target.IsBlockCompressed) {
      ConvertSpecialFormat(AImage, source, target);
    } else {
      TOwnedImageData converted;
      CreateImageData(AImage.Width, AImage.Height, target.FormatId, converted.Get());
      ConvertPixels(AImage, source, converted.Get(), target);
      ReleaseImageBuffers(AImage);
      AImage = converted.Release();
    }
  } catch (...) {
    RaiseImagingError(ImagingMessages::ConvertFailed, target.DisplayName, ImageDataToText(AImage));
  }
  return true;
}

void SwapImageChannels(TImageData& AImage, int32_t ASrcChannel, int32_t ADstChannel) {
  Assert(ASrcChannel >= 0 && ASrcChannel <= 3 && ADstChannel >= 0 && ADstChannel <= 3);
  if (!IsImageDataValid(AImage) || ASrcChannel == ADstChannel)
    return;
  try {
    const TImageFormatDescriptor& info = DescriptorOf(AImage.Format);
    if (!info.IsBlockCompressed) {
      SwapChannels(AImage, info, ASrcChannel, ADstChannel);
      return;
    }
    const TImageFormat format = AImage.Format;
    ConvertImageData(AImage, ImageFormatId::A8R8G8B8);
    SwapChannels(AImage, DescriptorOf(AImage.Format), ASrcChannel, ADstChannel);
    ConvertImageData(AImage, format);
  } catch (...) {
    RaiseImagingError(ImagingMessages::SwapFailed, ImageDataToText(AImage));
  }
}

void FlipImageData(TImageData& AImage) {
  if (!IsImageDataValid(AImage))
    return;
  try {
    const TImageFormat format = AImage.Format;
    const bool block = DescriptorOf(format).IsBlockCompressed;
    if (block)
      ConvertImageData(AImage, ImageFormatId::A8R8G8B8);
    const size_t rowBytes =
        static_cast<size_t>(AImage.Width) * static_cast<size_t>(DescriptorOf(AImage.Format).PixelBytes);
    std::vector<uint8_t> row(rowBytes);
    auto* bits = static_cast<uint8_t*>(AImage.Bits);
    for (int32_t y = 0; y < AImage.Height / 2; ++y) {
      uint8_t* top = bits + static_cast<size_t>(y) * rowBytes;
      uint8_t* bottom = bits + static_cast<size_t>(AImage.Height - 1 - y) * rowBytes;
      std::memcpy(row.data(), top, rowBytes);
      std::memcpy(top, bottom, rowBytes);
      std::memcpy(bottom, row.data(), rowBytes);
    }
    if (block)
      ConvertImageData(AImage, format);
  } catch (...) {
    RaiseImagingError(ImagingMessages::FlipFailed, ImageDataToText(AImage));
  }
}

} // namespace vantrel
