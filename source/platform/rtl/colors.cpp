#include "rtl/colors.h"

#include <cmath>

#include "rtl/math3d.h"

namespace rtl {

namespace {

float ChannelToFloat(uint8_t AValue) {
  return f32(AValue / 255.0);
}

// Written so that NaN fails the first test and never reaches the integer conversion.
uint8_t ChannelToByte(float AValue) {
  if (!(AValue > 0))
    return 0;
  if (AValue >= 1)
    return 255;
  return uint8_t(std::lround(double(AValue) * 255));
}

} // namespace

TAlphaColorF TAlphaColorF::Create(TAlphaColor AColor) {
  const TAlphaColorRec rec = TAlphaColorRec::Create(AColor);
  return {ChannelToFloat(rec.R), ChannelToFloat(rec.G), ChannelToFloat(rec.B), ChannelToFloat(rec.A)};
}

TAlphaColor TAlphaColorF::ToAlphaColor() const {
  return TAlphaColorRec{ChannelToByte(B), ChannelToByte(G), ChannelToByte(R), ChannelToByte(A)}.Color();
}

} // namespace rtl
