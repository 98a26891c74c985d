#include "rtl/encoding.h"

#include <cstring>

#include "rtl/utf8.h"

namespace rtl {

namespace {

constexpr uint64_t HighBits = 0x8080808080808080ull;
constexpr uint64_t NonAsciiUnits = 0xFF80FF80FF80FF80ull;

bool IsHighSurrogate(char32_t AUnit) {
  return AUnit >= 0xD800 && AUnit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t AUnit) {
  return AUnit >= 0xDC00 && AUnit <= 0xDFFF;
}

class TUtf8Encoding final : public TEncoding {
public:
  std::vector<uint8_t> GetPreamble() const override { return {0xEF, 0xBB, 0xBF}; }

  size_t IncompleteTail(const uint8_t* ABytes, size_t ACount) const override {
    const auto* text = reinterpret_cast<const char*>(ABytes);
    const size_t first = ACount > 3 ? ACount - 3 : 0;
    for (size_t lead = ACount; lead-- > first;) {
      if ((ABytes[lead] & 0xC0) == 0x80)
        continue;
      const int length = Utf8SequenceLength(text + lead, text + ACount);
      // A sequence that is well-formed so far but runs into the end of the range.
      return length < 0 && lead + static_cast<size_t>(-length) == ACount ? ACount - lead : 0;
    }
    return 0;
  }

  void Decode(const uint8_t* ABytes, size_t ACount, std::u16string& AText) const override {
    AppendUtf8AsUtf16(AText, std::string_view(reinterpret_cast<const char*>(ABytes), ACount));
  }

  std::vector<uint8_t> GetBytes(std::u16string_view AText) const override {
    std::string text;
    AppendUtf16AsUtf8(text, AText);
    return {text.begin(), text.end()};
  }
};

class TUtf16Encoding final : public TEncoding {
public:
  explicit TUtf16Encoding(bool ABigEndian) : FBigEndian(ABigEndian) {}

  std::vector<uint8_t> GetPreamble() const override {
    return FBigEndian ? std::vector<uint8_t>{0xFE, 0xFF} : std::vector<uint8_t>{0xFF, 0xFE};
  }

  size_t IncompleteTail(const uint8_t* ABytes, size_t ACount) const override {
    const size_t odd = ACount % 2;
    if (ACount - odd < 2)
      return odd;
    return odd + (IsHighSurrogate(UnitAt(ABytes + ACount - odd - 2)) ? 2 : 0);
  }

  void Decode(const uint8_t* ABytes, size_t ACount, std::u16string& AText) const override {
    const size_t units = ACount / 2;
    AText.reserve(AText.size() + units + ACount % 2);
    for (size_t i = 0; i < units; ++i) {
      const char16_t unit = UnitAt(ABytes + 2 * i);
      if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(UnitAt(ABytes + 2 * i + 2))) {
        AText.push_back(unit);
        AText.push_back(UnitAt(ABytes + 2 * ++i));
      } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
        AText.push_back(char16_t(ReplacementCharacter));
      } else {
        AText.push_back(unit);
      }
    }
    if (ACount % 2)
      AText.push_back(char16_t(ReplacementCharacter));
  }

  std::vector<uint8_t> GetBytes(std::u16string_view AText) const override {
    std::vector<uint8_t> bytes(AText.size() * 2);
    for (size_t i = 0; i < AText.size(); ++i) {
      const auto hi = static_cast<uint8_t>(AText[i] >> 8), lo = static_cast<uint8_t>(AText[i] & 0xFF);
      bytes[2 * i] = FBigEndian ? hi : lo;
      bytes[2 * i + 1] = FBigEndian ? lo : hi;
    }
    return bytes;
  }

private:
  bool FBigEndian;

  char16_t UnitAt(const uint8_t* AByte) const {
    return FBigEndian ? static_cast<char16_t>(AByte[0] << 8 | AByte[1])
                      : static_cast<char16_t>(AByte[1] << 8 | AByte[0]);
  }
};

} // namespace

const TEncoding& TEncoding::UTF8() {
  static const TUtf8Encoding encoding;
  return encoding;
}

const TEncoding& TEncoding::Unicode() {
  static const TUtf16Encoding encoding(false);
  return encoding;
}

const TEncoding& TEncoding::BigEndianUnicode() {
  static const TUtf16Encoding encoding(true);
  return encoding;
}

void AppendUtf8AsUtf16(std::u16string& AOut, std::string_view AText) {
  const size_t start = AOut.size();
  // Every byte gives at most one code unit, so the result fits; the size is trimmed at the end.
  AOut.resize(start + AText.size());
  char16_t* out = AOut.data() + start;
  const char* p = AText.data();
  const char* end = p + AText.size();
  while (p < end) {
    // ASCII runs, eight bytes at a time.
    while (end - p >= 8) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (block & HighBits)
        break;
      for (int i = 0; i < 8; ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(p[i]));
      out += 8;
      p += 8;
    }
    if (p == end)
      break;
    if (static_cast<unsigned char>(*p) < 0x80) {
      *out++ = static_cast<char16_t>(*p++);
      continue;
    }
    const char32_t c = NextUtf8(p, end);
    if (c >= 0x10000) {
      const char32_t v = c - 0x10000;
      *out++ = static_cast<char16_t>(0xD800 + (v >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(c);
    }
  }
  AOut.resize(static_cast<size_t>(out - AOut.data()));
}

std::u16string Utf8ToUtf16(std::string_view AText) {
  std::u16string text;
  AppendUtf8AsUtf16(text, AText);
  return text;
}

void AppendUtf16AsUtf8(std::string& AOut, std::u16string_view AText) {
  const char16_t* p = AText.data();
  const char16_t* end = p + AText.size();
  while (p < end) {
    const char16_t* run = p;
    // ASCII runs, four code units (eight bytes) at a time.
    while (end - p >= 4) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (block & NonAsciiUnits)
        break;
      p += 4;
    }
    while (p < end && *p < 0x80)
      ++p;
    if (p > run) {
      const size_t at = AOut.size();
      AOut.resize(at + static_cast<size_t>(p - run));
      char* out = AOut.data() + at;
      for (const char16_t* q = run; q < p; ++q)
        *out++ = static_cast<char>(*q);
    }
    if (p == end)
      break;
    char32_t c = *p++;
    if (IsHighSurrogate(c) && p < end && IsLowSurrogate(*p))
      c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
    AppendUtf8(AOut, c); // a lone surrogate becomes U+FFFD there
  }
}

std::string Utf16ToUtf8(std::u16string_view AText) {
  std::string text;
  AppendUtf16AsUtf8(text, AText);
  return text;
}

} // namespace rtl
