#include "formats/Vantrel.Imaging.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vantrel {

int32_t ImagingColorReductionMask = 255;
int32_t ImagingLoadOverrideFormat = 0;
int32_t ImagingSaveOverrideFormat = 0;
int32_t ImagingReservedOption = 1;

namespace detail {

std::string CurrentExceptionMessage(bool& AHandling) {
  const std::exception_ptr current = std::current_exception();
  AHandling = current != nullptr;
  if (!current)
    return {};
  try {
    std::rethrow_exception(current);
  } catch (const rtl::Exception& E) {
    return E.Message();
  } catch (const std::exception& E) {
    return E.what();
  } catch (...) {
    return "unknown exception";
  }
}

} // namespace detail

namespace {

const TImageFormatDescriptor& DescriptorOf(const TImageData& AImage) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AImage.Format);
  Assert(info != nullptr);
  return *info;
}

// Zeroed memory of ASize bytes (at least one byte, so an empty palette is never a null pointer).
void* AllocateZeroed(int64_t ASize) {
  void* memory = std::calloc(static_cast<size_t>(std::max<int64_t>(ASize, 1)), 1);
  if (!memory)
    throw EImagingError(Format("cannot allocate %d bytes", ASize));
  return memory;
}

} // namespace

// --- Life cycle ----------------------------------------------------------------------------------

void ClearImageData(TImageData& AImage) {
  AImage = TImageData{};
}

bool CreateImageData(int32_t AWidth, int32_t AHeight, TImageFormat AFormat, TImageData& AImage) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AFormat);
  Assert(AWidth >= 1 && AHeight >= 1 && info != nullptr);
  FreeImageData(AImage);
  try {
    TOwnedImageData image(TImageData{AWidth, AHeight, info->FormatId, 0, nullptr, nullptr});
    info->AdjustDimensions(image->Format, image->Width, image->Height);
    const int64_t size = info->PixelsSize(image->Format, image->Width, image->Height);
    if (size > INT32_MAX)
      throw EImagingError(Format(ImagingMessages::SizeLimit, size));
    if (size <= 0)
      return false;
    image->Size = static_cast<int32_t>(size);
    image->Bits = AllocateZeroed(size);
    if (info->PaletteSize > 0)
      image->Palette = static_cast<TColor32Rec*>(AllocateZeroed(int64_t{info->PaletteSize} * 4));
    AImage = image.Release();
    return IsImageDataValid(AImage);
  } catch (...) {
    ClearImageData(AImage);
    RaiseImagingError(ImagingMessages::CreateFailed, AWidth, AHeight, GetFormatName(AFormat));
  }
}

bool IsImageDataValid(const TImageData& AImage) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AImage.Format);
  if (!info || !info->PixelsSize || AImage.Width < 1 || AImage.Height < 1 || !AImage.Bits)
    return false;
  if (info->PaletteSize > 0 && !AImage.Palette)
    return false;
  return info->PixelsSize(AImage.Format, AImage.Width, AImage.Height) == AImage.Size;
}

void FreeImageData(TImageData& AImage) {
  try {
    if (IsImageDataValid(AImage))
      ReleaseImageBuffers(AImage);
    ClearImageData(AImage);
  } catch (...) {
    RaiseImagingError(ImagingMessages::FreeFailed, ImageDataToText(AImage));
  }
}

void FreeImagesInArray(TDynImageDataArray& AImages) {
  AImages.clear();
}

bool AllImagesValid(const TDynImageDataArray& AImages) {
  return !AImages.empty() && std::all_of(AImages.begin(), AImages.end(), IsImageDataValid);
}

bool CloneImageData(const TImageData& AImage, TImageData& AClone) {
  if (!IsImageDataValid(AImage))
    return false;
  // A record cloned onto itself already holds a copy of itself.
  if (&AImage == &AClone)
    return true;
  try {
    if (!IsImageDataValid(AClone) || AClone.Bits == AImage.Bits)
      ClearImageData(AClone);
    else
      FreeImageData(AClone);
    const TImageFormatDescriptor& info = DescriptorOf(AImage);
    TOwnedImageData clone(
        TImageData{AImage.Width, AImage.Height, AImage.Format, AImage.Size, nullptr, nullptr});
    if (info.PaletteSize > 0) {
      clone->Palette = static_cast<TColor32Rec*>(AllocateZeroed(int64_t{info.PaletteSize} * 4));
      std::memcpy(clone->Palette, AImage.Palette, static_cast<size_t>(info.PaletteSize) * 4);
    }
    clone->Bits = AllocateZeroed(AImage.Size);
    std::memcpy(clone->Bits, AImage.Bits, static_cast<size_t>(AImage.Size));
    AClone = clone.Release();
    return true;
  } catch (...) {
    RaiseImagingError(ImagingMessages::CloneFailed, ImageDataToText(AImage));
  }
}

// --- Queries -------------------------------------------------------------------------------------

bool IsFormatIdKnown(TImageFormat AFormat) {
  return FindFormatDescriptor(AFormat) != nullptr;
}

bool GetFormatDescriptor(TImageFormat AFormat, TImageFormatDescriptor& AInfo) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AFormat);
  AInfo = info ? *info : TImageFormatDescriptor{};
  return info != nullptr;
}

std::string GetFormatName(TImageFormat AFormat) {
  const TImageFormatDescriptor* info = FindFormatDescriptor(AFormat);
  return info ? std::string(info->DisplayName) : std::string(ImagingMessages::UnknownFormat);
}

std::string ImageDataToText(const TImageData& AImage) {
  if (!IsImageDataValid(AImage))
    return Format(ImagingMessages::AccessViolation, static_cast<const void*>(&AImage));
  const bool kibibytes = AImage.Size > 8192;
  const double size = kibibytes ? AImage.Size / 1024.0 : AImage.Size;
  return Format(ImagingMessages::ImageInfo, static_cast<const void*>(&AImage), AImage.Width, AImage.Height,
                GetFormatName(AImage.Format), size, kibibytes ? "KiB" : "B",
                static_cast<const void*>(AImage.Bits), static_cast<const void*>(AImage.Palette));
}

} // namespace vantrel
