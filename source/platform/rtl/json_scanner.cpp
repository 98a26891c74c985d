#include "rtl/json_scanner.h"

#include "rtl/utf8.h"

namespace rtl {

TJsonScanner::TJsonScanner(std::string_view AText)
    : FBegin(AText.data()), FCursor(AText.data()), FEnd(AText.data() + AText.size()) {
  if (AText.substr(0, 3) == "\xEF\xBB\xBF")
    FCursor += 3;
}

void TJsonScanner::FailUnexpected() const {
  if (FCursor >= FEnd)
    Fail("Unexpected end of JSON text", FEnd);
  const auto c = static_cast<unsigned char>(*FCursor);
  if (c >= 0x20 && c < 0x7F)
    Fail(std::string("Unexpected character '") + static_cast<char>(c) + "'");
  constexpr char hex[] = "0123456789ABCDEF";
  Fail(std::string("Unexpected byte 0x") + hex[c >> 4] + hex[c & 0xF]);
}

void TJsonScanner::Fail(std::string_view AReason, const char* AAt) const {
  const size_t offset = static_cast<size_t>(AAt - FBegin);
  size_t line = 1;
  const char* lineStart = FBegin;
  for (const char* p = FBegin; p < AAt; ++p)
    if (*p == '\n') {
      ++line;
      lineStart = p + 1;
    }
  const size_t column = static_cast<size_t>(AAt - lineStart) + 1;
  throw EJSONParseException(std::string(AReason) + " at line " + std::to_string(line) + ", column " +
                                std::to_string(column) + " (offset " + std::to_string(offset) + ")",
                            offset, line, column);
}

bool TJsonScanner::SkipValidUtf8() {
  const int length = Utf8SequenceLength(FCursor, FEnd);
  if (length < 0)
    return false;
  FCursor += length;
  return true;
}

std::string_view TJsonScanner::ReadEscapedString(const char* AStart) {
  FScratch.assign(AStart, FCursor);
  for (;;) {
    const char* run = FCursor;
    while (FCursor < FEnd && !IsSpecial(static_cast<unsigned char>(*FCursor)))
      ++FCursor;
    FScratch.append(run, FCursor);
    if (FCursor == FEnd)
      Fail("Unterminated string", FEnd);
    const auto c = static_cast<unsigned char>(*FCursor);
    if (c == '"') {
      ++FCursor;
      return FScratch;
    }
    if (c == '\\') {
      ReadEscape();
    } else if (c < 0x20) {
      Fail("Control character in string");
    } else {
      const int length = Utf8SequenceLength(FCursor, FEnd);
      if (length > 0)
        FScratch.append(FCursor, static_cast<size_t>(length));
      else
        AppendUtf8(FScratch, ReplacementCharacter);
      FCursor += length > 0 ? length : -length;
    }
  }
}

unsigned TJsonScanner::ReadHex4() {
  if (FEnd - FCursor < 4)
    Fail("Invalid escape sequence");
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = FCursor[i];
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      Fail("Invalid escape sequence", FCursor + i);
    value = value * 16 + digit;
  }
  FCursor += 4;
  return value;
}

void TJsonScanner::ReadEscape() {
  const char* escape = FCursor++;
  if (FCursor == FEnd)
    Fail("Unterminated string", FEnd);
  switch (*FCursor++) {
  case '"':
    FScratch += '"';
    return;
  case '\\':
    FScratch += '\\';
    return;
  case '/':
    FScratch += '/';
    return;
  case 'b':
    FScratch += '\b';
    return;
  case 'f':
    FScratch += '\f';
    return;
  case 'n':
    FScratch += '\n';
    return;
  case 'r':
    FScratch += '\r';
    return;
  case 't':
    FScratch += '\t';
    return;
  case 'u':
    break;
  default:
    Fail("Invalid escape sequence", escape);
  }
  char32_t code = ReadHex4();
  // A high surrogate pairs with an immediately following low one; any lone half is U+FFFD.
  if (code >= 0xD800 && code <= 0xDBFF && FEnd - FCursor >= 6 && FCursor[0] == '\\' && FCursor[1] == 'u') {
    const char* second = FCursor;
    FCursor += 2;
    const unsigned low = ReadHex4();
    if (low >= 0xDC00 && low <= 0xDFFF)
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    else
      FCursor = second;
  }
  AppendUtf8(FScratch, code);
}

} // namespace rtl
