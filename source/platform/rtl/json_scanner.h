#pragma once
// The lexical layer of JSON text (RFC 8259): one forward pass over a contiguous buffer. Errors
// raise EJSONParseException with the offset, line and column of the fault.

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

  void SkipWhitespace() {
    while (FCursor < FEnd && IsWhitespace(*FCursor))
      ++FCursor;
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
    ++FCursor;
    const char* start = FCursor;
    for (;;) {
      while (FCursor < FEnd && !IsSpecial(static_cast<unsigned char>(*FCursor)))
        ++FCursor;
      if (FCursor == FEnd)
        Fail("Unterminated string", FEnd);
      if (*FCursor == '"')
        return std::string_view(start, static_cast<size_t>(FCursor++ - start));
      if (static_cast<unsigned char>(*FCursor) < 0x80 || !SkipValidUtf8())
        return ReadEscapedString(start);
    }
  }

  // At '-' or a digit: the number's text, checked against the grammar.
  std::string_view ReadNumber() {
    const char* start = FCursor;
    if (*FCursor == '-')
      ++FCursor;
    if (FCursor < FEnd && *FCursor == '0') {
      ++FCursor;
    } else {
      if (!IsDigit())
        Fail("Invalid number", FCursor);
      SkipDigits();
    }
    if (FCursor < FEnd && *FCursor == '.') {
      ++FCursor;
      if (!IsDigit())
        Fail("Invalid number", FCursor);
      SkipDigits();
    }
    if (FCursor < FEnd && (*FCursor == 'e' || *FCursor == 'E')) {
      ++FCursor;
      if (FCursor < FEnd && (*FCursor == '+' || *FCursor == '-'))
        ++FCursor;
      if (!IsDigit())
        Fail("Invalid number", FCursor);
      SkipDigits();
    }
    return std::string_view(start, static_cast<size_t>(FCursor - start));
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
  bool IsDigit() const { return FCursor < FEnd && static_cast<unsigned>(*FCursor - '0') < 10; }
  void SkipDigits() {
    while (IsDigit())
      ++FCursor;
  }
  // At a non-ASCII byte: skips a well-formed sequence, or returns false.
  bool SkipValidUtf8();
  std::string_view ReadEscapedString(const char* AStart);
  void ReadEscape();
  unsigned ReadHex4();
};

} // namespace rtl
