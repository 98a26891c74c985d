#pragma once
// DirectDraw Surface files: 2D images with mip maps, cube maps and volumes, in block-compressed,
// floating-point, 16-bit, packed, 24/32-bit and luminance formats.

#include <cstdint>

#include "formats/Vantrel.Imaging.h"

namespace vantrel {

class TDDSFileFormat : public TImageFileFormat {
  RTL_CLASS(TDDSFileFormat, TImageFileFormat)
public:
  // Registers options 14 to 21 on its fields.
  TDDSFileFormat();

  bool GetLoadedCubeMap() const { return FLoadedCubeMap != 0; }
  void SetLoadedCubeMap(bool AValue) { FLoadedCubeMap = AValue ? -1 : 0; }
  bool GetLoadedVolume() const { return FLoadedVolume != 0; }
  void SetLoadedVolume(bool AValue) { FLoadedVolume = AValue ? -1 : 0; }
  int32_t GetLoadedMipMapCount() const { return FLoadedMipMapCount; }
  void SetLoadedMipMapCount(int32_t AValue) { FLoadedMipMapCount = AValue; }
  int32_t GetLoadedDepth() const { return FLoadedDepth; }
  void SetLoadedDepth(int32_t AValue) { FLoadedDepth = AValue; }
  bool GetSaveCubeMap() const { return FSaveCubeMap != 0; }
  void SetSaveCubeMap(bool AValue) { FSaveCubeMap = AValue ? -1 : 0; }
  bool GetSaveVolume() const { return FSaveVolume != 0; }
  void SetSaveVolume(bool AValue) { FSaveVolume = AValue ? -1 : 0; }
  int32_t GetSaveMipMapCount() const { return FSaveMipMapCount; }
  void SetSaveMipMapCount(int32_t AValue) { FSaveMipMapCount = AValue; }
  int32_t GetSaveDepth() const { return FSaveDepth; }
  void SetSaveDepth(int32_t AValue) { FSaveDepth = AValue; }

  bool TestFormat(TImageIOHandle* AHandle) override;
  static void RegisterProperties(TPropertyList& AList);

protected:
  bool ReadImages(TImageIOHandle* AHandle, TDynImageDataArray& AImages, bool AOnlyFirstLevel) override;
  bool WriteImages(TImageIOHandle* AHandle, const TDynImageDataArray& AImages, int32_t AIndex) override;
  void ConvertToSupportedFormat(TImageData& AImage, const TImageFormatDescriptor& AInfo) override;
  // A cube map clears the volume flag and back; depth and mip count are at least 1, and a cube
  // map has at most six faces.
  void CheckOptionsValidity() override;

private:
  // The LongBool options hold -1 for True and 0 for False; any other value reads as True.
  int32_t FLoadedCubeMap = 0;
  int32_t FLoadedVolume = 0;
  int32_t FLoadedMipMapCount = 0;
  int32_t FLoadedDepth = 0;
  int32_t FSaveCubeMap = 0;
  int32_t FSaveVolume = 0;
  int32_t FSaveMipMapCount = 1;
  int32_t FSaveDepth = 1;
};

// The images of a volume of depth ADepth with AMipMaps levels: level l holds D >> l slices,
// at least 1 and at most D.
int64_t DDSVolumeImageCount(int64_t ADepth, int64_t AMipMaps);

} // namespace vantrel
