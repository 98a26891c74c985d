// The file-format base: loads and saves through I/O handles, with the system's messages.

#include <algorithm>

#include "formats/Vantrel.Imaging.h"
#include "rtl/ioutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TImageFileFormat, "Vantrel.Imaging")

TImageFileFormat::TImageFileFormat()
    : FName(ImagingMessages::UnknownFormat), FExtensions(New<TStringList>()), FMasks(New<TStringList>()) {}

TImageFileFormat::~TImageFileFormat() {
  detail::UnregisterOptions(this);
}

void TImageFileFormat::RegisterOwnOption(int32_t AId, int32_t* AVariable) {
  detail::RegisterOwnedOption(this, AId, AVariable);
}

void TImageFileFormat::WriteChecked(TImageIOHandle* AHandle, const void* ABuffer, int64_t ACount) {
  const int64_t written = AHandle->Write(ABuffer, ACount);
  if (written != ACount)
    throw EImagingError(Format(ImagingMessages::ShortWrite, written, ACount));
}

bool TImageFileFormat::TestFormat(TImageIOHandle*) {
  return false;
}

bool TImageFileFormat::ReadImages(TImageIOHandle*, TDynImageDataArray&, bool) {
  RaiseImagingError(ImagingMessages::CannotLoad, FName);
}

bool TImageFileFormat::WriteImages(TImageIOHandle*, const TDynImageDataArray&, int32_t) {
  RaiseImagingError(ImagingMessages::CannotSave, FName);
}

bool TImageFileFormat::IsFormatSupported(const TImageData& AImage) {
  return AImage.Format <= 231 && GetSupportedFormats().Contains(AImage.Format);
}

void TImageFileFormat::SetMasks(std::string_view AMasks) {
  FExtensions->Clear();
  FMasks->SetCommaText(AMasks);
  FMasks->SetDelimiter(';');
  for (int i = 0; i < FMasks->GetCount(); ++i) {
    const std::string mask = Trim((*FMasks)[i]);
    FMasks->SetStrings(i, mask);
    std::string extension = TPath::GetExtension(mask);
    if (!extension.empty())
      extension.erase(0, 1);
    if (!extension.empty() && extension != "*")
      FExtensions->Add(extension);
  }
}

bool TImageFileFormat::TestFileName(const std::string& AFileName) const {
  const std::string name = TPath::GetFileName(AFileName);
  for (int i = 0; i < FMasks->GetCount(); ++i)
    if (MatchesMask(name, (*FMasks)[i]))
      return true;
  return false;
}

TImageFormatDescriptor TImageFileFormat::DescribeFormat(TImageFormat AFormat) const {
  TImageFormatDescriptor info;
  GetFormatDescriptor(AFormat, info);
  return info;
}

std::string TImageFileFormat::FirstExtension() const {
  return FExtensions->GetCount() > 0 ? (*FExtensions)[0] : "";
}

// --- Loading ---------------------------------------------------------------------------------------

bool TImageFileFormat::BeforeLoad(TImageIOHandle* AHandle, TDynImageDataArray& AImages) {
  AImages.clear();
  return AHandle != nullptr;
}

bool TImageFileFormat::AfterLoad(TDynImageDataArray& AImages) {
  if (!AllImagesValid(AImages))
    return false;
  if (ImagingLoadOverrideFormat != 0)
    for (TImageData& image : AImages)
      ConvertImageData(image, ImagingLoadOverrideFormat);
  return true;
}

template <class TRaise>
bool TImageFileFormat::Load(TImageIOHandle& AHandle, TDynImageDataArray& AImages, bool AOnlyFirstLevel,
                            TRaise ARaiseInvalid) {
  if (!TestFormat(&AHandle))
    ARaiseInvalid();
  bool result = BeforeLoad(&AHandle, AImages) && ReadImages(&AHandle, AImages, AOnlyFirstLevel);
  result = result && AfterLoad(AImages);
  AHandle.Close();
  return result;
}

bool TImageFileFormat::LoadFromFile(const std::string& AFileName, TDynImageDataArray& AImages,
                                    bool AOnlyFirstLevel) {
  if (!FCanLoad)
    return false;
  try {
    TOwned<TFileIOHandle> handle(New<TFileIOHandle>(AFileName, false));
    return Load(*handle, AImages, AOnlyFirstLevel,
                [&] { RaiseImagingError(ImagingMessages::FileInvalid, AFileName, FName); });
  } catch (...) {
    RaiseImagingError(ImagingMessages::FileLoadFailed, AFileName, FirstExtension());
  }
}

bool TImageFileFormat::LoadFromStream(TStream& AStream, TDynImageDataArray& AImages, bool AOnlyFirstLevel) {
  const int64_t position = AStream.GetPosition();
  if (!FCanLoad)
    return false;
  const void* address = &AStream;
  try {
    TStreamIOHandle handle(AStream);
    return Load(handle, AImages, AOnlyFirstLevel,
                [&] { RaiseImagingError(ImagingMessages::StreamInvalid, address, FName); });
  } catch (...) {
    AStream.SetPosition(position);
    RaiseImagingError(ImagingMessages::StreamLoadFailed, address, FirstExtension());
  }
}

bool TImageFileFormat::LoadFromMemory(const void* AData, int32_t ASize, TDynImageDataArray& AImages,
                                      bool AOnlyFirstLevel) {
  if (!FCanLoad)
    return false;
  try {
    // The handle only reads: loads never write to the block.
    TMemoryIOHandle handle(const_cast<void*>(AData), std::max(ASize, 0));
    return Load(handle, AImages, AOnlyFirstLevel,
                [&] { RaiseImagingError(ImagingMessages::MemoryInvalid, AData, ASize, FName); });
  } catch (...) {
    RaiseImagingError(ImagingMessages::MemoryLoadFailed, AData, ASize, FirstExtension());
  }
}

// --- Saving ----------------------------------------------------------------------------------------

bool TImageFileFormat::BeforeSave(TImageIOHandle* AHandle, const TDynImageDataArray& AImages,
                                  int32_t& AIndex) {
  CheckOptionsValidity();
  if (!FCanSave || AImages.empty() || !AHandle)
    return false;
  const auto count = static_cast<int32_t>(AImages.size());
  if (!FIsMultiImageFormat) {
    if (AIndex < 0 || AIndex >= count)
      AIndex = 0;
  } else if (AIndex < 0) {
    AIndex = 0;
    FFirstIdx = 0;
    FLastIdx = count - 1;
  } else {
    if (AIndex >= count)
      AIndex = 0;
    FFirstIdx = FLastIdx = AIndex;
  }
  return true;
}

bool TImageFileFormat::SaveImages(TImageIOHandle& AHandle, const TDynImageDataArray& AImages,
                                  int32_t AIndex) {
  const bool result = BeforeSave(&AHandle, AImages, AIndex) && WriteImages(&AHandle, AImages, AIndex);
  AHandle.Close();
  return result;
}

bool TImageFileFormat::SaveOneFile(const std::string& AFileName, const TDynImageDataArray& AImages,
                                   int32_t AIndex) {
  const std::string temporary =
      TPath::Combine(TPath::GetDirectoryName(AFileName),
                     "." + TPath::GetFileName(AFileName) + "." + TPath::GetRandomFileName());
  bool result = false;
  try {
    TOwned<TFileIOHandle> handle(New<TFileIOHandle>(temporary, true));
    result = SaveImages(*handle, AImages, AIndex);
  } catch (...) {
    TFile::Delete(temporary);
    throw;
  }
  if (result)
    TFile::Replace(temporary, AFileName);
  else
    TFile::Delete(temporary);
  return result;
}

bool TImageFileFormat::SaveToFile(const std::string& AFileName, const TDynImageDataArray& AImages,
                                  bool AOnlyFirstLevel) {
  if (!FCanSave || !AllImagesValid(AImages))
    return false;
  try {
    if (FIsMultiImageFormat || AImages.size() == 1 || AOnlyFirstLevel)
      return SaveOneFile(AFileName, AImages, AOnlyFirstLevel ? 0 : -1);
    const std::string stem =
        TPath::Combine(TPath::GetDirectoryName(AFileName), TPath::GetFileNameWithoutExtension(AFileName));
    const std::string extension = TPath::GetExtension(AFileName);
    for (size_t i = 0; i < AImages.size(); ++i)
      if (!SaveOneFile(stem + Format("%.3d", static_cast<int32_t>(i)) + extension, AImages,
                       static_cast<int32_t>(i)))
        return false;
    return true;
  } catch (...) {
    RaiseImagingError(ImagingMessages::FileSaveFailed, AFileName, FirstExtension());
  }
}

bool TImageFileFormat::SaveToStream(TStream& AStream, const TDynImageDataArray& AImages,
                                    bool AOnlyFirstLevel) {
  const int64_t position = AStream.GetPosition();
  if (!FCanSave || !AllImagesValid(AImages))
    return false;
  const void* address = &AStream;
  try {
    TStreamIOHandle handle(AStream);
    if (FIsMultiImageFormat || AImages.size() == 1 || AOnlyFirstLevel)
      return SaveImages(handle, AImages, AOnlyFirstLevel ? 0 : -1);
    for (size_t i = 0; i < AImages.size(); ++i)
      if (!SaveImages(handle, AImages, static_cast<int32_t>(i)))
        return false;
    return true;
  } catch (...) {
    AStream.SetPosition(position);
    RaiseImagingError(ImagingMessages::StreamSaveFailed, address, FirstExtension());
  }
}

bool TImageFileFormat::SaveToMemory(void* AData, int32_t& ASize, const TDynImageDataArray& AImages,
                                    bool AOnlyFirstLevel) {
  if (!FCanSave || !AllImagesValid(AImages))
    return false;
  try {
    TMemoryIOHandle handle(AData, std::max(ASize, 0));
    bool result = true;
    if (FIsMultiImageFormat || AImages.size() == 1 || AOnlyFirstLevel)
      result = SaveImages(handle, AImages, AOnlyFirstLevel ? 0 : -1);
    else
      for (size_t i = 0; i < AImages.size() && result; ++i)
        result = SaveImages(handle, AImages, static_cast<int32_t>(i));
    if (result)
      ASize = static_cast<int32_t>(handle.HighestWritten());
    return result;
  } catch (...) {
    RaiseImagingError(ImagingMessages::MemorySaveFailed, AData, ASize, FirstExtension());
  }
}

bool TImageFileFormat::MakeCompatible(const TImageData& AImage, TImageData& ACompatible, bool& AMustBeFreed) {
  ClearImageData(ACompatible);
  AMustBeFreed = false;
  if (ImagingSaveOverrideFormat == 0 && IsFormatSupported(AImage)) {
    ACompatible = AImage;
    return true;
  }
  TOwnedImageData clone;
  CloneImageData(AImage, clone.Get());
  if (ImagingSaveOverrideFormat != 0)
    ConvertImageData(clone.Get(), ImagingSaveOverrideFormat);
  if (!IsFormatSupported(clone.Get()))
    ConvertToSupportedFormat(clone.Get(), DescribeFormat(clone->Format));
  AMustBeFreed = clone->Bits != nullptr;
  ACompatible = clone.Release();
  return IsFormatSupported(ACompatible);
}

} // namespace vantrel
