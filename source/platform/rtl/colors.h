#pragma once
// Colours: TAlphaColor is a 32-bit ARGB value (alpha in the top byte); TAlphaColorF holds four
// floats R, G, B, A in [0, 1]. Converting a byte to a float and back gives the same byte.

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/typeinfo.h"

namespace rtl {

using TAlphaColor = uint32_t;

// The four channels of a TAlphaColor, in the order they lie in memory (little-endian ARGB).
struct TAlphaColorRec {
  uint8_t B = 0, G = 0, R = 0, A = 0;

  static constexpr TAlphaColorRec Create(TAlphaColor AColor) {
    return {uint8_t(AColor), uint8_t(AColor >> 8), uint8_t(AColor >> 16), uint8_t(AColor >> 24)};
  }
  constexpr TAlphaColor Color() const {
    return TAlphaColor(A) << 24 | TAlphaColor(R) << 16 | TAlphaColor(G) << 8 | TAlphaColor(B);
  }
  bool operator==(const TAlphaColorRec&) const = default;
};
static_assert(sizeof(TAlphaColorRec) == 4);

struct TAlphaColorF {
  float R = 0, G = 0, B = 0, A = 0;

  static TAlphaColorF Create(float AR, float AG, float AB, float AA = 1) { return {AR, AG, AB, AA}; }
  // Each channel byte / 255.
  static TAlphaColorF Create(TAlphaColor AColor);
  // Each channel clamped to [0, 1] (NaN to 0), times 255, rounded to nearest.
  TAlphaColor ToAlphaColor() const;
  bool operator==(const TAlphaColorF&) const = default;
};
static_assert(sizeof(TAlphaColorF) == 16);

inline constexpr TAlphaColor claNull = 0x00000000;
inline constexpr TAlphaColor claBlack = 0xFF000000;
inline constexpr TAlphaColor claWhite = 0xFFFFFFFF;
inline constexpr TAlphaColor claRed = 0xFFFF0000;
inline constexpr TAlphaColor claGreen = 0xFF008000;
inline constexpr TAlphaColor claLime = 0xFF00FF00;
inline constexpr TAlphaColor claBlue = 0xFF0000FF;
inline constexpr TAlphaColor claGray = 0xFF808080;
inline constexpr TAlphaColor claTomato = 0xFFFF6347;

// Colour identifiers as forms store them: "claNull" for $00000000, "cla" + a CSS named colour
// with only its first letter upper case ("claTomato" $FFFF6347, "claAliceblue"), and "x" + eight
// upper-case hex digits, alpha first, for any other value ("x003333FF"). A value with several
// names gives the alphabetically first ("claAqua", not "claCyan").
std::string AlphaColorToIdent(TAlphaColor AColor);
// Reads either form, ignoring case; false for anything else.
bool IdentToAlphaColor(std::string_view AIdent, TAlphaColor& AColor);

// Type information, so that records holding colours can be walked by field.
RTL_RECORD_TYPEINFO(TAlphaColorF);

} // namespace rtl
