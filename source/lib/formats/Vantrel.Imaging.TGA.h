#pragma once
// Truevision Targa files: colour-mapped, true-colour and grey images, raw or run-length encoded.

#include <cstdint>

#include "formats/Vantrel.Imaging.h"

namespace vantrel {

class TTargaFileFormat : public TImageFileFormat {
  RTL_CLASS(TTargaFileFormat, TImageFileFormat)
public:
  // Registers option 13 on its UseRLE field.
  TTargaFileFormat();

  bool GetUseRLE() const { return FUseRLE != 0; }
  void SetUseRLE(bool AValue) { FUseRLE = AValue ? -1 : 0; }

  bool TestFormat(TImageIOHandle* AHandle) override;
  static void RegisterProperties(TPropertyList& AList);

protected:
  bool ReadImages(TImageIOHandle* AHandle, TDynImageDataArray& AImages, bool AOnlyFirstLevel) override;
  bool WriteImages(TImageIOHandle* AHandle, const TDynImageDataArray& AImages, int32_t AIndex) override;
  void ConvertToSupportedFormat(TImageData& AImage, const TImageFormatDescriptor& AInfo) override;

private:
  // A LongBool: -1 True, 0 False, any other value reads as True.
  int32_t FUseRLE = 0;
};

// Run-length encodes AWidth pixels of APixelBytes each: raw packets up to the first pair of equal
// neighbours, runs of equal pixels, never more than 128 pixels per packet.
void EncodeTargaRow(const uint8_t* APixels, int32_t AWidth, int32_t APixelBytes, std::vector<uint8_t>& AOut);

} // namespace vantrel
