#pragma once
// The image API: life cycle and format queries of image records, conversions between formats,
// channel swaps and flips, resizing and rectangle copies, and the options the conversions read.
// Including this header gives the whole image layer.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "formats/Vantrel.Imaging.Formats.h"
#include "formats/Vantrel.Imaging.IO.h"
#include "formats/Vantrel.Imaging.Types.h"
#include "rtl/object.h"
#include "rtl/stringlist.h"
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
inline constexpr const char* CannotLoad = "Image Format \"%s\" does not support loading images.";
inline constexpr const char* CannotSave = "Image Format \"%s\" does not support saving images.";
inline constexpr const char* StreamInvalid = "Stream %p does not contain valid image in \"%s\" format.";
inline constexpr const char* StreamLoadFailed =
    "Error while loading images from stream %p (file format: %s).";
inline constexpr const char* FileInvalid = "File \"%s\" is not valid image in \"%s\" format.";
inline constexpr const char* FileLoadFailed =
    "Error while loading images from file \"%s\" (file format: %s).";
inline constexpr const char* MemoryInvalid =
    "Memory %p (%d Bytes) does not contain valid image in \"%s\" format.";
inline constexpr const char* MemoryLoadFailed =
    "Error while loading images from memory %p (%d Bytes) (file format: %s).";
inline constexpr const char* FileSaveFailed = "Error while saving images to file \"%s\" (file format: %s).";
inline constexpr const char* StreamSaveFailed = "Error while saving images to stream %p (file format: %s).";
inline constexpr const char* MemorySaveFailed =
    "Error while saving images to memory %p (%d Bytes) (file format: %s).";
inline constexpr const char* ShortWrite = "short write: %d of %d bytes";
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

// --- Options ---------------------------------------------------------------------------------------

namespace ImagingOption {
inline constexpr int32_t TGAUseRLE = 13;
inline constexpr int32_t DDSLoadedCubeMap = 14;
inline constexpr int32_t DDSLoadedVolume = 15;
inline constexpr int32_t DDSLoadedMipMapCount = 16;
inline constexpr int32_t DDSLoadedDepth = 17;
inline constexpr int32_t DDSSaveCubeMap = 18;
inline constexpr int32_t DDSSaveVolume = 19;
inline constexpr int32_t DDSSaveMipMapCount = 20;
inline constexpr int32_t DDSSaveDepth = 21;
inline constexpr int32_t PaletteChannelMask = 128;
inline constexpr int32_t ConvertAfterLoad = 129;
inline constexpr int32_t ConvertBeforeSave = 130;
inline constexpr int32_t Unused131 = 131;
// What GetImageOption gives for an id without a registration.
inline constexpr int32_t Unset = -2147483647;
} // namespace ImagingOption

// Points option AId at AVariable (not owned; it must outlive the registration). False for a
// negative id. A newer registration of the same id hides the older one until it is removed.
bool RegisterImageOption(int32_t AId, int32_t* AVariable);
// The value behind the newest registration of AId, or ImagingOption::Unset.
int32_t GetImageOption(int32_t AId);

// Up to eight snapshots of the registered options' values.
class TOptionStack : public TObject {
  RTL_CLASS(TOptionStack, TObject)
public:
  static constexpr int32_t Capacity = 8;
  // False when eight snapshots are stored.
  bool Push();
  // Sets every option the newest snapshot holds through its current registration; False when
  // the stack is empty.
  bool Pop();

private:
  std::vector<std::vector<std::pair<int32_t, int32_t>>> FSnapshots;
};
TOptionStack& ImageOptionStack();

class TImageFileFormat;
// Adds a new object of AClass (a TImageFileFormat class) to the format list.
void RegisterFileFormat(const TClass* AClass);
// The registered format objects, in registration order.
std::vector<TImageFileFormat*> ImageFileFormats();

// Creates the option registry and the format list with the built-in formats (they also appear on
// first use of any registry function).
void InitializeImaging();

// --- File formats --------------------------------------------------------------------------------

// The base of the image file formats: loads and saves image arrays from files, streams and memory
// blocks through I/O handles. Subclasses set the identity fields and override the readers and
// writers.
class TImageFileFormat : public TObject {
  RTL_CLASS(TImageFileFormat, TObject)
public:
  TImageFileFormat();
  // Removes the option registrations this object made.
  ~TImageFileFormat() override;

  const std::string& Name() const { return FName; }
  bool CanLoad() const { return FCanLoad; }
  bool CanSave() const { return FCanSave; }
  bool IsMultiImageFormat() const { return FIsMultiImageFormat; }
  const TStringList& Extensions() const { return *FExtensions; }
  const TStringList& Masks() const { return *FMasks; }
  TImageFormats SupportedFormats() const { return GetSupportedFormats(); }

  bool LoadFromFile(const std::string& AFileName, TDynImageDataArray& AImages, bool AOnlyFirstLevel = false);
  // Restores the stream's position when the load fails.
  bool LoadFromStream(TStream& AStream, TDynImageDataArray& AImages, bool AOnlyFirstLevel = false);
  bool LoadFromMemory(const void* AData, int32_t ASize, TDynImageDataArray& AImages,
                      bool AOnlyFirstLevel = false);
  // Writes to a temporary file in the same folder that replaces AFileName only on success. A
  // single-image format given several images writes numbered files (sky.tga: sky000.tga, ...).
  bool SaveToFile(const std::string& AFileName, const TDynImageDataArray& AImages,
                  bool AOnlyFirstLevel = false);
  bool SaveToStream(TStream& AStream, const TDynImageDataArray& AImages, bool AOnlyFirstLevel = false);
  // Sets ASize to the highest offset written, on success only.
  bool SaveToMemory(void* AData, int32_t& ASize, const TDynImageDataArray& AImages,
                    bool AOnlyFirstLevel = false);
  // AImage in a format this writer supports: shared when it already is, else a converted clone
  // (AMustBeFreed then True). Option 130 forces a conversion first.
  bool MakeCompatible(const TImageData& AImage, TImageData& ACompatible, bool& AMustBeFreed);
  // The file-name part of AFileName matches one of the masks.
  bool TestFileName(const std::string& AFileName) const;
  virtual bool TestFormat(TImageIOHandle* AHandle);

protected:
  virtual TImageFormats GetSupportedFormats() const { return FSupportedFormats; }
  virtual bool ReadImages(TImageIOHandle* AHandle, TDynImageDataArray& AImages, bool AOnlyFirstLevel);
  virtual bool WriteImages(TImageIOHandle* AHandle, const TDynImageDataArray& AImages, int32_t AIndex);
  virtual void ConvertToSupportedFormat(TImageData&, const TImageFormatDescriptor&) {}
  virtual bool IsFormatSupported(const TImageData& AImage);
  virtual void CheckOptionsValidity() {}

  // Masks as comma-separated text; their extensions (without the dot) follow.
  void SetMasks(std::string_view AMasks);
  bool BeforeLoad(TImageIOHandle* AHandle, TDynImageDataArray& AImages);
  bool AfterLoad(TDynImageDataArray& AImages);
  bool BeforeSave(TImageIOHandle* AHandle, const TDynImageDataArray& AImages, int32_t& AIndex);
  TImageFormatDescriptor DescribeFormat(TImageFormat AFormat) const;
  // Registers an option on a field of this object, removed when the object goes.
  void RegisterOwnOption(int32_t AId, int32_t* AVariable);
  // Writes all ACount bytes or raises "short write: %d of %d bytes".
  static void WriteChecked(TImageIOHandle* AHandle, const void* ABuffer, int64_t ACount);

  std::string FName;
  bool FCanLoad = false;
  bool FCanSave = false;
  bool FIsMultiImageFormat = false;
  TImageFormats FSupportedFormats;
  int32_t FFirstIdx = 0;
  int32_t FLastIdx = 0;

private:
  // Test, read and finish a load on AHandle; ARaiseInvalid raises the caller's "not valid" text.
  template <class TRaise>
  bool Load(TImageIOHandle& AHandle, TDynImageDataArray& AImages, bool AOnlyFirstLevel, TRaise ARaiseInvalid);
  // One save call (AIndex as BeforeSave takes it).
  bool SaveImages(TImageIOHandle& AHandle, const TDynImageDataArray& AImages, int32_t AIndex);
  bool SaveOneFile(const std::string& AFileName, const TDynImageDataArray& AImages, int32_t AIndex);
  // The first extension, as the messages name the format.
  std::string FirstExtension() const;

  TOwned<TStringList> FExtensions;
  TOwned<TStringList> FMasks;
};

// --- Implementation of the raiser ------------------------------------------------------------------

namespace detail {
// The message of the exception being handled, or an empty text outside a handler.
std::string CurrentExceptionMessage(bool& AHandling);
// Option registrations of a format object, removed together when it goes.
void RegisterOwnedOption(const void* AOwner, int32_t AId, int32_t* AVariable);
void UnregisterOptions(const void* AOwner);
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
