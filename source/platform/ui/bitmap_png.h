#pragma once
// PNG encoding of bitmaps through SDL2_image, for streaming pictures in forms.

#include "rtl/streams.h"

namespace ui {

class TBitmap;

// Writes ABitmap's pixels as a PNG image to AStream; an empty bitmap writes nothing.
void WriteBitmapPng(const TBitmap& ABitmap, rtl::TStream& AStream);
// Replaces ABitmap's size and pixels with the PNG image in the rest of AStream; anything that is
// not a PNG image raises EReadError "invalid PNG data: <reason>".
void ReadBitmapPng(TBitmap& ABitmap, rtl::TStream& AStream);

} // namespace ui
