#pragma once
// The round trip every image file format fuzzer runs: the input is loaded from a memory stream.
// A load either raises EImagingError or returns False, or gives valid images; image 0 then goes
// into a bitmap, is saved again in the same format and reloaded, and both calls must succeed. Any
// other exception, an invalid image or a failed round trip is a fault.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/Vantrel.Imaging.Import.h"
#include "ui/bitmap.h"

namespace imagefuzz {

inline void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

template <typename TFormat> void RoundTrip(const uint8_t* AData, size_t ASize) {
  using namespace vantrel;
  const TOwned<TFormat> format(New<TFormat>());
  TBytesStream stream(TBytes(AData, AData + ASize));
  TDynImageDataArray images;
  if (!format->LoadFromStream(stream, images))
    return;
  for (const TImageData& image : images)
    Check(IsImageDataValid(image));
  const TOwned<ui::TBitmap> bitmap(New<ui::TBitmap>());
  CopyImageDataToBitmap(images[0], *bitmap);
  TDynImageDataArray first;
  TImageData clone{};
  Check(CloneImageData(images[0], clone));
  first.push_back(clone);
  TBytesStream saved;
  Check(format->SaveToStream(saved, first));
  saved.SetPosition(0);
  TDynImageDataArray reloaded;
  Check(format->LoadFromStream(saved, reloaded));
}

// The fuzzer entry for one format: runs the round trip and lets only EImagingError through.
template <typename TFormat> int RunOne(const uint8_t* AData, size_t ASize) {
  try {
    RoundTrip<TFormat>(AData, ASize);
  } catch (const vantrel::EImagingError&) {
  }
  return 0;
}

} // namespace imagefuzz
