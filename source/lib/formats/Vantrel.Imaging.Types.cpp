#include "formats/Vantrel.Imaging.Types.h"

#include <cstdlib>

namespace vantrel {

void ReleaseImageBuffers(TImageData& AImage) noexcept {
  std::free(AImage.Bits);
  std::free(AImage.Palette);
  AImage = TImageData{};
}

TOwnedImageData& TOwnedImageData::operator=(TOwnedImageData&& AOther) noexcept {
  if (this != &AOther) {
    ReleaseImageBuffers(FImage);
    FImage = AOther.Release();
  }
  return *this;
}

TImageData TOwnedImageData::Release() noexcept {
  const TImageData image = FImage;
  FImage = TImageData{};
  return image;
}

TDynImageDataArray& TDynImageDataArray::operator=(TDynImageDataArray&& AOther) noexcept {
  if (this != &AOther) {
    clear();
    FItems = std::move(AOther.FItems);
    AOther.FItems.clear();
  }
  return *this;
}

void TDynImageDataArray::resize(size_t ACount) {
  for (size_t i = ACount; i < FItems.size(); ++i)
    ReleaseImageBuffers(FItems[i]);
  FItems.resize(ACount, TImageData{});
}

void TDynImageDataArray::clear() noexcept {
  for (TImageData& image : FItems)
    ReleaseImageBuffers(image);
  FItems.clear();
}

} // namespace vantrel
