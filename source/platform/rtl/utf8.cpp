#include "rtl/utf8.h"

namespace rtl {

int Utf8SequenceLength(const char* AText, const char* AEnd) {
  const auto* p = reinterpret_cast<const unsigned char*>(AText);
  const auto* end = reinterpret_cast<const unsigned char*>(AEnd);
  const unsigned lead = p[0];
  if (lead < 0x80)
    return 1;
  int trail;
  unsigned low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
  } else if (lead == 0xE0) {
    trail = 2;
    low = 0xA0;
  } else if (lead == 0xED) {
    trail = 2;
    high = 0x9F;
  } else if (lead >= 0xE1 && lead <= 0xEF) {
    trail = 2;
  } else if (lead == 0xF0) {
    trail = 3;
    low = 0x90;
  } else if (lead == 0xF4) {
    trail = 3;
    high = 0x8F;
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    trail = 3;
  } else {
    return -1;
  }
  for (int i = 1; i <= trail; ++i) {
    if (p + i >= end || p[i] < low || p[i] > high)
      return -i;
    low = 0x80;
    high = 0xBF;
  }
  return trail + 1;
}

void AppendUtf8(std::string& AText, char32_t ACodePoint) {
  char32_t c = ACodePoint;
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
    c = ReplacementCharacter;
  if (c < 0x80) {
    AText += static_cast<char>(c);
  } else if (c < 0x800) {
    AText += static_cast<char>(0xC0 | (c >> 6));
    AText += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    AText += static_cast<char>(0xE0 | (c >> 12));
    AText += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    AText += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    AText += static_cast<char>(0xF0 | (c >> 18));
    AText += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    AText += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    AText += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t NextUtf8(const char*& ACursor, const char* AEnd) {
  const int length = Utf8SequenceLength(ACursor, AEnd);
  const auto* p = reinterpret_cast<const unsigned char*>(ACursor);
  if (length < 0) {
    ACursor -= length;
    return ReplacementCharacter;
  }
  ACursor += length;
  switch (length) {
  case 1:
    return p[0];
  case 2:
    return (char32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
  case 3:
    return (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
  default:
    return (char32_t(p[0] & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) | (char32_t(p[2] & 0x3F) << 6) |
           (p[3] & 0x3F);
  }
}

std::string SanitizeUtf8(std::string_view AText) {
  std::string result;
  result.reserve(AText.size());
  const char* p = AText.data();
  const char* end = p + AText.size();
  while (p < end) {
    const int length = Utf8SequenceLength(p, end);
    if (length > 0) {
      result.append(p, static_cast<size_t>(length));
      p += length;
    } else {
      AppendUtf8(result, ReplacementCharacter);
      p -= length;
    }
  }
  return result;
}

std::string Utf8ToAscii(std::string_view AText) {
  std::string result;
  result.reserve(AText.size());
  const char* cursor = AText.data();
  const char* const end = cursor + AText.size();
  while (cursor < end) {
    const char32_t c = NextUtf8(cursor, end);
    result += c < 0x80 ? static_cast<char>(c) : '?';
  }
  return result;
}

} // namespace rtl
