#pragma once
// Copies image data into the UI layer's bitmaps, whatever the image's format.

#include "formats/Vantrel.Imaging.Types.h"
#include "ui/bitmap.h"

namespace vantrel {

// Replaces ABitmap's size and pixels with AImage converted to A8R8G8B8 (blocks decoded, palettes
// and greys expanded, wide and float channels narrowed). An invalid image gives a 0 x 0 bitmap;
// when the bitmap cannot be mapped it keeps its new size and cleared pixels.
void CopyImageDataToBitmap(const TImageData& AImage, ui::TBitmap& ABitmap);

} // namespace vantrel
