#pragma once
// The image API: life cycle and format queries of image records, conversions between formats,
// channel swaps and flips, resizing and rectangle copies, and the options the conversions read.
// Including this header gives the whole image layer.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "formats/Vantrel.Imaging.Formats.h"
#include "formats/Vantrel.Imaging.Types.h"
#include "rtl/sysutils.h"

namespace vantrel {

namespace ImagingMessages {
inline constexpr const char* CreateFailed =
    "Error while creating image data with params: Width=%d Height=%d Format=%s.";
inline constexpr const char* FreeFailed = "Error while freeing image. %s";
inline constexpr const char* CloneFailed = "Error while cloning image. %s";
inline constexpr const char* UnknownFormat = "Unknown and unsupported format";
inline constexpr const char* ExceptionMessage = "Exception Message";
inline constexpr const char* AccessViolation =
    "Access violation encountered when getting info on image at address %p.";
inline constexpr const char* ImageInfo =
    "Image @%p info: Width = %dpx, Height = %dpx, Format = %s, Size = %.0n %s, Bits @%p, Palette @%p.";
inline constexpr const char* ConvertFailed = "Error while converting image to format \"%s\". %s";
inline constexpr const char* SwapFailed = "Error while swapping channels of image. %s";
inline constexpr const char* FlipFailed = "Error while flipping image. %s";
inline constexpr const char* ResizeFailed = "Error while resizing image.  %s";
inline constexpr const char* CopyRectFailed = "Error while copying rect from image %s to image %s.";
inline constexpr const char* StretchRectFailed = "Error while stretching rect from image %s to image %s.";
inline constexpr const char* SizeLimit = "image of %d bytes exceeds the 2147483647-byte limit";
} // namespace ImagingMessages

// The global options the conversions read (the file-format layer registers them by id):
// 128, the channel mask of colour reduction into paletted formats;
extern int32_t ImagingColorReductionMask;
// 129, when not 0 the format every loaded image is converted to;
extern int32_t ImagingLoadOverrideFormat;
// 130, when not 0 the format images are converted to before saving;
extern int32_t ImagingSaveOverrideFormat;
// 131, read by nothing.
extern int32_t ImagingReservedOption;

// --- Life cycle and queries --------------------------------------------------------------------

void ClearImageData(TImageData& AImage);
// Frees AImage, then makes it AWidth x AHeight (rounded up for block formats) in AFormat with
// zeroed pixels and palette. Width or height below 1 or an unknown format raise EAssertionFailed.
bool CreateImageData(int32_t AWidth, int32_t AHeight, TImageFormat AFormat, TImageData& AImage);
// A known format, Width and Height at least 1, Size exactly the format's size, Bits set, and a
// palette for a paletted format.
bool IsImageDataValid(const TImageData& AImage);
void FreeImageData(TImageData& AImage);
void FreeImagesInArray(TDynImageDataArray& AImages);
bool AllImagesValid(const TDynImageDataArray& AImages);
// Deep copy of a valid image into AClone, which is freed first unless it is invalid or shares
// AImage's pixels.
bool CloneImageData(const TImageData& AImage, TImageData& AClone);
bool IsFormatIdKnown(TImageFormat AFormat);
// Copies the format's row; False with AInfo zeroed for an empty slot.
bool GetFormatDescriptor(TImageFormat AFormat, TImageFormatDescriptor& AInfo);
std::string GetFormatName(TImageFormat AFormat);
std::string ImageDataToText(const TImageData& AImage);

// Raises EImagingError with AMsg formatted with AArgs. Inside a handler the caught exception's
// message is appended verbatim after " Exception Message: ", so a '%' in it is never a directive.
template <class... T> [[noreturn]] void RaiseImagingError(std::string_view AMsg, const T&... AArgs);

// --- Conversions ---------------------------------------------------------------------------------

// Converts AImage to ADestFormat (1 means A8R8G8B8): False for an invalid image, True otherwise.
bool ConvertImageData(TImageData& AImage, TImageFormat ADestFormat);
// Swaps two channels (0 blue, 1 green, 2 red, 3 alpha) of every pixel or palette entry.
void SwapImageChannels(TImageData& AImage, int32_t ASrcChannel, int32_t ADstChannel);
// Mirrors the rows top to bottom.
void FlipImageData(TImageData& AImage);

// --- Resampling and rectangles --------------------------------------------------------------------

enum class TResizeFilter : int32_t { Nearest = 0, Bilinear = 1, Bicubic = 2 };

// Stretches the whole image to the new size; False for an invalid image or an unchanged size.
bool ResizeImageData(TImageData& AImage, int32_t ANewWidth, int32_t ANewHeight, TResizeFilter AFilter);
// Copies a rectangle, clipped to both images, converting the source to the destination's format.
bool CopyImageRect(const TImageData& ASrc, int32_t ASrcX, int32_t ASrcY, int32_t AWidth, int32_t AHeight,
                   TImageData& ADst, int32_t ADstX, int32_t ADstY);
// Stretches one rectangle into another; both are clipped to their images, each cut reducing the
// other side in proportion.
bool StretchImageRect(const TImageData& ASrc, int32_t ASrcX, int32_t ASrcY, int32_t ASrcWidth,
                      int32_t ASrcHeight, TImageData& ADst, int32_t ADstX, int32_t ADstY, int32_t ADstWidth,
                      int32_t ADstHeight, TResizeFilter AFilter);

// --- Implementation of the raiser ------------------------------------------------------------------

namespace detail {
// The message of the exception being handled, or an empty text outside a handler.
std::string CurrentExceptionMessage(bool& AHandling);
} // namespace detail

template <class... T> [[noreturn]] void RaiseImagingError(std::string_view AMsg, const T&... AArgs) {
  std::string message = Format(AMsg, AArgs...);
  bool handling = false;
  const std::string inner = detail::CurrentExceptionMessage(handling);
  if (handling)
    message += std::string(" ") + ImagingMessages::ExceptionMessage + ": " + inner;
  throw EImagingError(message);
}

} // namespace vantrel
