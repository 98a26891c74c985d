#pragma once
// The runtime layer's 2D records: integer and float points, rectangles and sizes. Rectangles hold
// their edges; Right and Bottom lie one past the last pixel, so Width = Right - Left.

#include <cstdint>

#include "rtl/typeinfo.h"

namespace rtl {

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  bool operator==(const TPoint&) const = default;
};
static_assert(sizeof(TPoint) == 8);

struct TPointF {
  float X = 0;
  float Y = 0;
  bool operator==(const TPointF&) const = default;
};
static_assert(sizeof(TPointF) == 8);

struct TSize {
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TSize&) const = default;
};
static_assert(sizeof(TSize) == 8);

struct TSizeF {
  float Width = 0;
  float Height = 0;
  bool operator==(const TSizeF&) const = default;
};
static_assert(sizeof(TSizeF) == 8);

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;

  static TRect Create(const TPoint& ATopLeft, int32_t AWidth, int32_t AHeight);
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  TSize Size() const { return {Width(), Height()}; }
  TPoint TopLeft() const { return {Left, Top}; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TRect&) const = default;
};
static_assert(sizeof(TRect) == 16);

struct TRectF {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;

  static TRectF Create(const TPointF& ATopLeft, float AWidth, float AHeight);
  float Width() const;
  float Height() const;
  TSizeF Size() const { return {Width(), Height()}; }
  TPointF TopLeft() const { return {Left, Top}; }
  TPointF CenterPoint() const;
  bool IsEmpty() const { return !(Right > Left && Bottom > Top); }
  bool operator==(const TRectF&) const = default;
};
static_assert(sizeof(TRectF) == 16);

// Type information, so that records holding points can be walked by field.
RTL_RECORD_TYPEINFO(TPoint);
RTL_RECORD_TYPEINFO(TPointF);

} // namespace rtl
