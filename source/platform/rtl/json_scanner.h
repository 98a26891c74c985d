#pragma once
// The lexical layer of JSON text (RFC 8259): one forward pass over a contiguous buffer. Errors
// raise EJSONParseException with the offset, line and column of the fault.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "rtl/json.h"

namespace rtl {

class TJsonScanner {
public:
  // A leading UTF-8 byte-order mark is skipped.
  explicit TJsonScanner(std::string_view AText);

  bool AtEnd() const { return FCursor == FEnd; }
  // The next character, or NUL at the end.
  char Peek() const { return FCursor < FEnd ? *FCursor : '\0'; }
  void Advance() { ++FCursor; }
  size_t Offset() const { return static_cast<size_t>(FCursor - FBegin); }

  // The hot loops work on local copies of the cursor: a char read may alias any member, so a
  // loop on FCursor itself would store it back on every step.
  void SkipWhitespace() {
    const char* p = FCursor;
    while (p < FEnd && IsWhitespace(*p))
      ++p;
    FCursor = p;
  }

  // Consumes AChar or fails.
  void Expect(char AChar) {
    if (FCursor < FEnd && *FCursor == AChar)
      ++FCursor;
    else
      FailUnexpected();
  }

  // At an opening quote: the decoded string. The view is into the source when nothing needed
  // decoding, else into a buffer that the next string read replaces.
  std::string_view ReadString() {
    const char* start = FCursor + 1;
    const char* p = start;
    const char* end = FEnd;
    for (;;) {
      while (p < end && !IsSpecial(static_cast<unsigned char>(*p)))
        ++p;
      if (p == end)
        Fail("Unterminated string", end);
      if (*p == '"') {
        FCursor = p + 1;
        return std::string_view(start, static_cast<size_t>(p - start));
      }
      FCursor = p;
      if (static_cast<unsigned char>(*p) < 0x80 || !SkipValidUtf8())
        return ReadEscapedString(start);
      p = FCursor;
    }
  }

  // At '-' or a digit: the number's text, checked against the grammar.
  std::string_view ReadNumber() {
    const char* start = FCursor;
    const char* end = FEnd;
    const char* p = start;
    if (*p == '-')
      ++p;
    if (p < end && *p == '0') {
      ++p;
    } else {
      p = Digits(p, end);
    }
    if (p < end && *p == '.')
      p = Digits(p + 1, end);
    if (p < end && (*p == 'e' || *p == 'E')) {
      ++p;
      if (p < end && (*p == '+' || *p == '-'))
        ++p;
      p = Digits(p, end);
    }
    FCursor = p;
    return std::string_view(start, static_cast<size_t>(p - start));
  }

  // Consumes the literal AWord ("true", "false", "null") or fails.
  void ReadLiteral(std::string_view AWord) {
    if (static_cast<size_t>(FEnd - FCursor) < AWord.size() ||
        std::memcmp(FCursor, AWord.data(), AWord.size()) != 0)
      FailUnexpected();
    FCursor += AWord.size();
  }

  [[noreturn]] void FailUnexpected() const;
  [[noreturn]] void Fail(std::string_view AReason, const char* AAt) const;
  [[noreturn]] void Fail(std::string_view AReason) const { Fail(AReason, FCursor); }

private:
  const char* FBegin;
  const char* FCursor;
  const char* FEnd;
  std::string FScratch;

  static bool IsWhitespace(char AChar) {
    return AChar == ' ' || AChar == '\n' || AChar == '\r' || AChar == '\t';
  }
  // A quote, a backslash, a control character or a non-ASCII byte.
  static bool IsSpecial(unsigned char AChar) {
    return AChar < 0x20 || AChar == '"' || AChar == '\\' || AChar >= 0x80;
  }
  static bool IsDigit(char AChar) { return static_cast<unsigned>(AChar - '0') < 10; }
  // Skips one or more digits from AText; none fails. Runs of digits end at unforeseeable places,
  // so eight bytes are classified at once and the first non-digit found by its bit position,
  // rather than with a branch per character.
  const char* Digits(const char* AText, const char* AEnd) const {
    const char* p = AText;
    if constexpr (std::endian::native == std::endian::little) {
      while (AEnd - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        // A byte is a digit exactly when it and the byte plus 6 both have the high nibble 3. A
        // carry out of a byte above 0xF9 only disturbs the bytes after it, past the first
        // non-digit.
        constexpr uint64_t High = 0xF0F0F0F0F0F0F0F0, Six = 0x0606060606060606, Threes = 0x3333333333333333;
        const uint64_t other = ((word & High) | (((word + Six) & High) >> 4)) ^ Threes;
        if (other) {
          p += std::countr_zero(other) >> 3;
          if (p == AText)
            Fail("Invalid number", p);
          return p;
        }
        p += 8;
      }
    }
    while (p < AEnd && IsDigit(*p))
      ++p;
    if (p == AText)
      Fail("Invalid number", p);
    return p;
  }
  // At a non-ASCII byte: skips a well-formed sequence, or returns false.
  bool SkipValidUtf8();
  std::string_view ReadEscapedString(const char* AStart);
  void ReadEscape();
  unsigned ReadHex4();
};

} // namespace rtl
