#include "rtl/types2d.h"

#include "rtl/math3d.h"

namespace rtl {

TRect TRect::Create(const TPoint& ATopLeft, int32_t AWidth, int32_t AHeight) {
  return {ATopLeft.X, ATopLeft.Y, ATopLeft.X + AWidth, ATopLeft.Y + AHeight};
}

TRectF TRectF::Create(const TPointF& ATopLeft, float AWidth, float AHeight) {
  return {ATopLeft.X, ATopLeft.Y, f32(double(ATopLeft.X) + AWidth), f32(double(ATopLeft.Y) + AHeight)};
}

float TRectF::Width() const {
  return f32(double(Right) - Left);
}
float TRectF::Height() const {
  return f32(double(Bottom) - Top);
}

TPointF TRectF::CenterPoint() const {
  return {f32((double(Left) + Right) / 2), f32((double(Top) + Bottom) / 2)};
}

} // namespace rtl
