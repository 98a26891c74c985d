#pragma once
// Text encodings of byte streams: UTF-8 and UTF-16 in both byte orders. Text in memory is UTF-16
// (char16_t code units) where positions must count decoded characters, UTF-8 everywhere else.
// Ill-formed input never fails: each ill-formed UTF-8 subpart and each unpaired surrogate becomes
// one U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TEncoding {
public:
  virtual ~TEncoding() = default;

  static const TEncoding& UTF8();
  // UTF-16 little-endian.
  static const TEncoding& Unicode();
  static const TEncoding& BigEndianUnicode();

  // The byte-order mark the encoding writes first.
  virtual std::vector<uint8_t> GetPreamble() const = 0;
  // The most bytes ACharCount characters can take (4 per character for all three).
  int GetMaxByteCount(int ACharCount) const { return 4 * ACharCount; }
  // The number of bytes at the end of [ABytes, ABytes + ACount) that begin a character the range
  // cuts off (0 when the range ends on a character boundary or with ill-formed bytes).
  virtual size_t IncompleteTail(const uint8_t* ABytes, size_t ACount) const = 0;
  // Appends the decoded text of the bytes to AText.
  virtual void Decode(const uint8_t* ABytes, size_t ACount, std::u16string& AText) const = 0;
  // The bytes of AText (without preamble).
  virtual std::vector<uint8_t> GetBytes(std::u16string_view AText) const = 0;

  std::u16string GetString(const std::vector<uint8_t>& ABytes) const {
    std::u16string text;
    Decode(ABytes.data(), ABytes.size(), text);
    return text;
  }
};

// UTF-8 to UTF-16, appended to AOut.
void AppendUtf8AsUtf16(std::u16string& AOut, std::string_view AText);
std::u16string Utf8ToUtf16(std::string_view AText);
// UTF-16 to UTF-8, appended to AOut; lone surrogates become U+FFFD.
void AppendUtf16AsUtf8(std::string& AOut, std::u16string_view AText);
std::string Utf16ToUtf8(std::u16string_view AText);

} // namespace rtl
