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

namespace {

struct TColorName {
  std::string_view Name;
  TAlphaColor Value;
};

// Sorted by name, so the first entry with a value is its alphabetically first name.
constexpr TColorName ColorNames[] = {
    {"claAliceblue", 0xFFF0F8FF},
    {"claAntiquewhite", 0xFFFAEBD7},
    {"claAqua", 0xFF00FFFF},
    {"claAquamarine", 0xFF7FFFD4},
    {"claAzure", 0xFFF0FFFF},
    {"claBeige", 0xFFF5F5DC},
    {"claBisque", 0xFFFFE4C4},
    {"claBlack", 0xFF000000},
    {"claBlanchedalmond", 0xFFFFEBCD},
    {"claBlue", 0xFF0000FF},
    {"claBlueviolet", 0xFF8A2BE2},
    {"claBrown", 0xFFA52A2A},
    {"claBurlywood", 0xFFDEB887},
    {"claCadetblue", 0xFF5F9EA0},
    {"claChartreuse", 0xFF7FFF00},
    {"claChocolate", 0xFFD2691E},
    {"claCoral", 0xFFFF7F50},
    {"claCornflowerblue", 0xFF6495ED},
    {"claCornsilk", 0xFFFFF8DC},
    {"claCrimson", 0xFFDC143C},
    {"claCyan", 0xFF00FFFF},
    {"claDarkblue", 0xFF00008B},
    {"claDarkcyan", 0xFF008B8B},
    {"claDarkgoldenrod", 0xFFB8860B},
    {"claDarkgray", 0xFFA9A9A9},
    {"claDarkgreen", 0xFF006400},
    {"claDarkgrey", 0xFFA9A9A9},
    {"claDarkkhaki", 0xFFBDB76B},
    {"claDarkmagenta", 0xFF8B008B},
    {"claDarkolivegreen", 0xFF556B2F},
    {"claDarkorange", 0xFFFF8C00},
    {"claDarkorchid", 0xFF9932CC},
    {"claDarkred", 0xFF8B0000},
    {"claDarksalmon", 0xFFE9967A},
    {"claDarkseagreen", 0xFF8FBC8F},
    {"claDarkslateblue", 0xFF483D8B},
    {"claDarkslategray", 0xFF2F4F4F},
    {"claDarkslategrey", 0xFF2F4F4F},
    {"claDarkturquoise", 0xFF00CED1},
    {"claDarkviolet", 0xFF9400D3},
    {"claDeeppink", 0xFFFF1493},
    {"claDeepskyblue", 0xFF00BFFF},
    {"claDimgray", 0xFF696969},
    {"claDimgrey", 0xFF696969},
    {"claDodgerblue", 0xFF1E90FF},
    {"claFirebrick", 0xFFB22222},
    {"claFloralwhite", 0xFFFFFAF0},
    {"claForestgreen", 0xFF228B22},
    {"claFuchsia", 0xFFFF00FF},
    {"claGainsboro", 0xFFDCDCDC},
    {"claGhostwhite", 0xFFF8F8FF},
    {"claGold", 0xFFFFD700},
    {"claGoldenrod", 0xFFDAA520},
    {"claGray", 0xFF808080},
    {"claGreen", 0xFF008000},
    {"claGreenyellow", 0xFFADFF2F},
    {"claGrey", 0xFF808080},
    {"claHoneydew", 0xFFF0FFF0},
    {"claHotpink", 0xFFFF69B4},
    {"claIndianred", 0xFFCD5C5C},
    {"claIndigo", 0xFF4B0082},
    {"claIvory", 0xFFFFFFF0},
    {"claKhaki", 0xFFF0E68C},
    {"claLavender", 0xFFE6E6FA},
    {"claLavenderblush", 0xFFFFF0F5},
    {"claLawngreen", 0xFF7CFC00},
    {"claLemonchiffon", 0xFFFFFACD},
    {"claLightblue", 0xFFADD8E6},
    {"claLightcoral", 0xFFF08080},
    {"claLightcyan", 0xFFE0FFFF},
    {"claLightgoldenrodyellow", 0xFFFAFAD2},
    {"claLightgray", 0xFFD3D3D3},
    {"claLightgreen", 0xFF90EE90},
    {"claLightgrey", 0xFFD3D3D3},
    {"claLightpink", 0xFFFFB6C1},
    {"claLightsalmon", 0xFFFFA07A},
    {"claLightseagreen", 0xFF20B2AA},
    {"claLightskyblue", 0xFF87CEFA},
    {"claLightslategray", 0xFF778899},
    {"claLightslategrey", 0xFF778899},
    {"claLightsteelblue", 0xFFB0C4DE},
    {"claLightyellow", 0xFFFFFFE0},
    {"claLime", 0xFF00FF00},
    {"claLimegreen", 0xFF32CD32},
    {"claLinen", 0xFFFAF0E6},
    {"claMagenta", 0xFFFF00FF},
    {"claMaroon", 0xFF800000},
    {"claMediumaquamarine", 0xFF66CDAA},
    {"claMediumblue", 0xFF0000CD},
    {"claMediumorchid", 0xFFBA55D3},
    {"claMediumpurple", 0xFF9370DB},
    {"claMediumseagreen", 0xFF3CB371},
    {"claMediumslateblue", 0xFF7B68EE},
    {"claMediumspringgreen", 0xFF00FA9A},
    {"claMediumturquoise", 0xFF48D1CC},
    {"claMediumvioletred", 0xFFC71585},
    {"claMidnightblue", 0xFF191970},
    {"claMintcream", 0xFFF5FFFA},
    {"claMistyrose", 0xFFFFE4E1},
    {"claMoccasin", 0xFFFFE4B5},
    {"claNavajowhite", 0xFFFFDEAD},
    {"claNavy", 0xFF000080},
    {"claNull", 0x00000000},
    {"claOldlace", 0xFFFDF5E6},
    {"claOlive", 0xFF808000},
    {"claOlivedrab", 0xFF6B8E23},
    {"claOrange", 0xFFFFA500},
    {"claOrangered", 0xFFFF4500},
    {"claOrchid", 0xFFDA70D6},
    {"claPalegoldenrod", 0xFFEEE8AA},
    {"claPalegreen", 0xFF98FB98},
    {"claPaleturquoise", 0xFFAFEEEE},
    {"claPalevioletred", 0xFFDB7093},
    {"claPapayawhip", 0xFFFFEFD5},
    {"claPeachpuff", 0xFFFFDAB9},
    {"claPeru", 0xFFCD853F},
    {"claPink", 0xFFFFC0CB},
    {"claPlum", 0xFFDDA0DD},
    {"claPowderblue", 0xFFB0E0E6},
    {"claPurple", 0xFF800080},
    {"claRebeccapurple", 0xFF663399},
    {"claRed", 0xFFFF0000},
    {"claRosybrown", 0xFFBC8F8F},
    {"claRoyalblue", 0xFF4169E1},
    {"claSaddlebrown", 0xFF8B4513},
    {"claSalmon", 0xFFFA8072},
    {"claSandybrown", 0xFFF4A460},
    {"claSeagreen", 0xFF2E8B57},
    {"claSeashell", 0xFFFFF5EE},
    {"claSienna", 0xFFA0522D},
    {"claSilver", 0xFFC0C0C0},
    {"claSkyblue", 0xFF87CEEB},
    {"claSlateblue", 0xFF6A5ACD},
    {"claSlategray", 0xFF708090},
    {"claSlategrey", 0xFF708090},
    {"claSnow", 0xFFFFFAFA},
    {"claSpringgreen", 0xFF00FF7F},
    {"claSteelblue", 0xFF4682B4},
    {"claTan", 0xFFD2B48C},
    {"claTeal", 0xFF008080},
    {"claThistle", 0xFFD8BFD8},
    {"claTomato", 0xFFFF6347},
    {"claTurquoise", 0xFF40E0D0},
    {"claViolet", 0xFFEE82EE},
    {"claWheat", 0xFFF5DEB3},
    {"claWhite", 0xFFFFFFFF},
    {"claWhitesmoke", 0xFFF5F5F5},
    {"claYellow", 0xFFFFFF00},
    {"claYellowgreen", 0xFF9ACD32},
};

int HexDigit(char AChar) {
  if (AChar >= '0' && AChar <= '9')
    return AChar - '0';
  if (AChar >= 'a' && AChar <= 'f')
    return AChar - 'a' + 10;
  if (AChar >= 'A' && AChar <= 'F')
    return AChar - 'A' + 10;
  return -1;
}

bool SameAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size())
    return false;
  for (size_t i = 0; i < A.size(); ++i) {
    const char a = (A[i] >= 'A' && A[i] <= 'Z') ? static_cast<char>(A[i] + 32) : A[i];
    const char b = (B[i] >= 'A' && B[i] <= 'Z') ? static_cast<char>(B[i] + 32) : B[i];
    if (a != b)
      return false;
  }
  return true;
}

} // namespace

std::string AlphaColorToIdent(TAlphaColor AColor) {
  for (const TColorName& entry : ColorNames)
    if (entry.Value == AColor)
      return std::string(entry.Name);
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string result = "x";
  for (int shift = 28; shift >= 0; shift -= 4)
    result += Digits[(AColor >> shift) & 0xF];
  return result;
}

bool IdentToAlphaColor(std::string_view AIdent, TAlphaColor& AColor) {
  for (const TColorName& entry : ColorNames)
    if (SameAscii(entry.Name, AIdent)) {
      AColor = entry.Value;
      return true;
    }
  if (AIdent.size() != 9 || (AIdent[0] != 'x' && AIdent[0] != 'X'))
    return false;
  TAlphaColor value = 0;
  for (const char c : AIdent.substr(1)) {
    const int digit = HexDigit(c);
    if (digit < 0)
      return false;
    value = value << 4 | static_cast<TAlphaColor>(digit);
  }
  AColor = value;
  return true;
}

} // namespace rtl
