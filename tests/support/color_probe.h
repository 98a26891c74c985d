#pragma once
// Colours read back in the GL tests: one pixel of a bitmap or of what a context drew (at a point
// or where a world point lands, or around it), and a channel-wise comparison with a tolerance for the
// rasteriser's rounding.

#include <gtest/gtest.h>

#include <cstdlib>

#include "rtl/colors.h"
#include "rtl/types2d.h"
#include "ui/bitmap.h"
#include "ui/context3d.h"

namespace vtest {

// Whether each channel (alpha, red, green, blue) of AActual is within ATolerance of AExpected's.
inline bool ChannelsNear(rtl::TAlphaColor AActual, rtl::TAlphaColor AExpected, int ATolerance = 2) {
  for (int shift = 0; shift < 32; shift += 8)
    if (std::abs(int((AActual >> shift) & 0xFF) - int((AExpected >> shift) & 0xFF)) > ATolerance)
      return false;
  return true;
}

// One pixel of ABitmap, mapped for reading; a bitmap that does not map fails the test and reads 0.
inline rtl::TAlphaColor BitmapPixel(ui::TBitmap& ABitmap, int32_t AX, int32_t AY) {
  ui::TBitmapData data;
  if (!ABitmap.Map(ui::TMapAccess::Read, data)) {
    ADD_FAILURE() << "the bitmap did not map for reading";
    return 0;
  }
  const rtl::TAlphaColor color = data.GetPixel(AX, AY);
  ABitmap.Unmap(data);
  return color;
}

// One pixel of what AContext drew: its whole target copied into a bitmap of its size.
inline rtl::TAlphaColor ContextPixel(ui::TContext3D& AContext, int32_t AX, int32_t AY) {
  ui::TBitmap bitmap(AContext.Width(), AContext.Height());
  AContext.CopyToBitmap(&bitmap, rtl::TRect(0, 0, AContext.Width(), AContext.Height()));
  return BitmapPixel(bitmap, AX, AY);
}

// The pixel of what AContext drew where APoint lands through its current camera.
inline rtl::TAlphaColor CameraPixel(ui::TContext3D& AContext, const rtl::TPoint3D& APoint) {
  const rtl::TPoint3D screen = AContext.WorldToScreen(ui::TProjection::Camera, APoint);
  return ContextPixel(AContext, int32_t(screen.X), int32_t(screen.Y));
}

// Whether any pixel of the 3 x 3 block around where APoint lands has AColor within ATolerance: a
// rasterised line is one pixel wide and may land beside its projection.
inline bool ColorAround(ui::TContext3D& AContext, const rtl::TPoint3D& APoint, rtl::TAlphaColor AColor,
                        int ATolerance = 2) {
  const rtl::TPoint3D screen = AContext.WorldToScreen(ui::TProjection::Camera, APoint);
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (ChannelsNear(ContextPixel(AContext, int32_t(screen.X) + dx, int32_t(screen.Y) + dy), AColor,
                       ATolerance))
        return true;
  return false;
}

} // namespace vtest
