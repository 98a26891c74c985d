#include "rtl/form_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "rtl/classes.h"
#include "rtl/filer.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"

namespace rtl {

namespace {

bool IsIdentStart(char AChar) {
  return (AChar >= 'A' && AChar <= 'Z') || (AChar >= 'a' && AChar <= 'z') || AChar == '_';
}
bool IsIdentChar(char AChar) {
  return IsIdentStart(AChar) || (AChar >= '0' && AChar <= '9') || AChar == '.';
}
bool IsDigit(char AChar) {
  return AChar >= '0' && AChar <= '9';
}
int HexValue(char AChar) {
  if (IsDigit(AChar))
    return AChar - '0';
  if (AChar >= 'A' && AChar <= 'F')
    return AChar - 'A' + 10;
  if (AChar >= 'a' && AChar <= 'f')
    return AChar - 'a' + 10;
  return -1;
}

// Words that open or close records, so they cannot name a property.
bool IsKeyword(std::string_view AWord) {
  return SameText(AWord, "object") || SameText(AWord, "inherited") || SameText(AWord, "inline") ||
         SameText(AWord, "end");
}

// An identifier the text form can carry: a letter or "_" first, then letters, digits, "_" and ".".
bool IsValidIdent(std::string_view AText) {
  if (AText.empty() || !IsIdentStart(AText[0]))
    return false;
  return std::all_of(AText.begin(), AText.end(), IsIdentChar);
}

// --- float text ----------------------------------------------------------------------------------

// Turns the shortest scientific digits ("d.ddde+XX") into the form's text.
std::string LayoutFloat(const char* AFirst, const char* ALast, bool APlain) {
  std::string_view text(AFirst, static_cast<size_t>(ALast - AFirst));
  std::string sign;
  if (!text.empty() && text[0] == '-') {
    sign = "-";
    text.remove_prefix(1);
  }
  const size_t e = text.find('e');
  std::string digits;
  for (const char c : text.substr(0, e))
    if (c != '.')
      digits += c;
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exponent);
  if (!APlain)
    return sign + digits.substr(0, 1) + "." + (digits.size() > 1 ? digits.substr(1) : "0") + "E" +
           IntToStr(exponent);
  if (exponent < 0)
    return sign + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  const auto intDigits = static_cast<size_t>(exponent) + 1;
  if (digits.size() > intDigits)
    return sign + digits.substr(0, intDigits) + "." + digits.substr(intDigits);
  return sign + digits + std::string(intDigits - digits.size(), '0') + ".0";
}

template <class T> std::string FloatText(T AValue) {
  if (AValue == 0)
    return std::signbit(AValue) ? "-0.0" : "0.0";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), AValue, std::chars_format::scientific);
  const T magnitude = AValue < 0 ? -AValue : AValue;
  return LayoutFloat(buffer, result.ptr, magnitude >= T(1) / 100000 && magnitude < T(1e15));
}

std::string CurrencyText(int64_t AValue) {
  const bool negative = AValue < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(AValue) : static_cast<uint64_t>(AValue);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (fraction.size() > 1 && fraction.back() == '0')
    fraction.pop_back();
  return (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction + "C";
}

// Reads a whole decimal float; a value too small for T rounds (to a subnormal or zero), a value
// too large fails.
template <class T> bool ParseFloat(const char* AFirst, const char* ALast, T& AValue) {
  const auto result = std::from_chars(AFirst, ALast, AValue);
  if (result.ptr != ALast)
    return false;
  if (result.ec == std::errc())
    return std::isfinite(AValue);
  if (result.ec != std::errc::result_out_of_range)
    return false;
  const std::string text(AFirst, ALast);
  if constexpr (std::is_same_v<T, float>)
    AValue = std::strtof(text.c_str(), nullptr);
  else if constexpr (std::is_same_v<T, double>)
    AValue = std::strtod(text.c_str(), nullptr);
  else
    AValue = std::strtold(text.c_str(), nullptr);
  return std::isfinite(AValue);
}

// --- binary to text ------------------------------------------------------------------------------

class TBinaryToText {
public:
  TBinaryToText(const uint8_t* AData, size_t ASize) : FCursor(AData, ASize) {}

  std::string Convert() {
    if (FCursor.Remaining() < 4 || std::memcmp(FCursor.Take(4), FilerSignature, 4) != 0)
      FCursor.ErrorAt(0, "Invalid stream format: missing signature TPF0");
    ConvertObject(0);
    if (!FCursor.AtEnd())
      FCursor.Error(IntToStr(FCursor.Remaining()) + " bytes after the root component");
    return std::move(FOut);
  }

private:
  TBinaryCursor FCursor;
  std::string FOut;

  void Indent(int ALevel) { FOut.append(static_cast<size_t>(ALevel) * 2, ' '); }

  std::string Ident(bool AAllowEmpty = false) {
    const int64_t start = FCursor.Position();
    std::string name = FCursor.ReadShortStr();
    if (!(AAllowEmpty && name.empty()) && !IsValidIdent(name))
      FCursor.ErrorAt(start, "Invalid identifier '" + SanitizeUtf8(name) + "'");
    return name;
  }

  void ConvertObject(int ALevel) {
    FCursor.Enter();
    std::string keyword = "object";
    std::string position;
    if ((FCursor.PeekByte() & 0xF0) == 0xF0) {
      const uint8_t flags = FCursor.ReadByte() & 0x0F;
      if ((flags & ffInherited) && (flags & ffInline))
        FCursor.Error("Unsupported record prefix " + IntToStr(flags));
      if (flags & ffInherited)
        keyword = "inherited";
      else if (flags & ffInline)
        keyword = "inline";
      if (flags & ffChildPos) {
        const TValueType type = FCursor.ReadValue();
        position = " [" + IntToStr(FCursor.ReadIntegerBody(type)) + "]";
      }
      if (flags & 8)
        FCursor.Error("Unsupported record prefix " + IntToStr(flags));
    }
    const std::string className = Ident();
    const std::string name = Ident(true);
    Indent(ALevel);
    FOut += keyword + " " + (name.empty() ? className : name + ": " + className) + position + "\n";
    ConvertProperties(ALevel + 1);
    while (FCursor.PeekValue() != TValueType::vaNull)
      ConvertObject(ALevel + 1);
    FCursor.ReadByte();
    Indent(ALevel);
    FOut += "end\n";
    FCursor.Leave();
  }

  void ConvertProperties(int ALevel) {
    while (FCursor.PeekValue() != TValueType::vaNull) {
      const int64_t start = FCursor.Position();
      const std::string name = Ident();
      if (IsKeyword(name))
        FCursor.ErrorAt(start, "A property cannot be named " + name);
      Indent(ALevel);
      FOut += name + " = ";
      ConvertValue(ALevel);
      FOut += "\n";
    }
    FCursor.ReadByte();
  }

  void ConvertValue(int ALevel) {
    const int64_t start = FCursor.Position();
    const TValueType type = FCursor.ReadValue();
    switch (type) {
    case TValueType::vaNull:
      FCursor.ErrorAt(start, "Value expected, Null found");
    case TValueType::vaList:
      ConvertList(ALevel);
      return;
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64:
      FOut += IntToStr(FCursor.ReadIntegerBody(type));
      return;
    case TValueType::vaExtended:
      FOut += FloatToFormText(FCursor.ReadFloatBody(type));
      return;
    case TValueType::vaSingle:
      FOut += FloatText(static_cast<float>(FCursor.ReadFloatBody(type))) + "S";
      return;
    case TValueType::vaDouble:
      FOut += FloatText(static_cast<double>(FCursor.ReadFloatBody(type))) + "D";
      return;
    case TValueType::vaDate:
      FOut += FloatText(static_cast<double>(FCursor.ReadFloatBody(type))) + "T";
      return;
    case TValueType::vaCurrency:
      FOut += CurrencyText(static_cast<int64_t>(FCursor.ReadLE<uint64_t>()));
      return;
    case TValueType::vaString:
    case TValueType::vaLString:
    case TValueType::vaWString:
    case TValueType::vaUTF8String:
      WriteString(FCursor.ReadStringBody(type));
      return;
    case TValueType::vaIdent: {
      const std::string ident = Ident();
      if (SameText(ident, "True") || SameText(ident, "False") || SameText(ident, "nil"))
        FCursor.ErrorAt(start, "Identifier " + ident + " stored as a name");
      FOut += ident;
      return;
    }
    case TValueType::vaFalse:
      FOut += "False";
      return;
    case TValueType::vaTrue:
      FOut += "True";
      return;
    case TValueType::vaNil:
      FOut += "nil";
      return;
    case TValueType::vaBinary:
      ConvertBinary(ALevel);
      return;
    case TValueType::vaSet:
      ConvertSet();
      return;
    case TValueType::vaCollection:
      ConvertCollection(ALevel);
      return;
    }
  }

  void WriteString(const std::string& AText) {
    if (AText.empty()) {
      FOut += "''";
      return;
    }
    bool quoted = false;
    for (const char c : AText) {
      if (static_cast<unsigned char>(c) < 32) {
        if (quoted)
          FOut += '\'';
        quoted = false;
        FOut += "#" + IntToStr(static_cast<int>(c));
        continue;
      }
      if (!quoted)
        FOut += '\'';
      quoted = true;
      FOut += c;
      if (c == '\'')
        FOut += '\'';
    }
    if (quoted)
      FOut += '\'';
  }

  void ConvertList(int ALevel) {
    FCursor.Enter();
    FOut += "(";
    while (FCursor.PeekValue() != TValueType::vaNull) {
      FOut += "\n";
      Indent(ALevel + 1);
      ConvertValue(ALevel + 1);
    }
    FCursor.ReadByte();
    FOut += ")";
    FCursor.Leave();
  }

  void ConvertSet() {
    FOut += "[";
    bool first = true;
    for (;;) {
      const int64_t start = FCursor.Position();
      const std::string name = FCursor.ReadShortStr();
      if (name.empty())
        break;
      if (!IsValidIdent(name))
        FCursor.ErrorAt(start, "Invalid identifier '" + SanitizeUtf8(name) + "'");
      FOut += (first ? "" : ", ") + name;
      first = false;
    }
    FOut += "]";
  }

  void ConvertBinary(int ALevel) {
    const uint32_t count = FCursor.ReadCount(1);
    const uint8_t* data = FCursor.Take(count);
    static constexpr char Digits[] = "0123456789ABCDEF";
    FOut += "{";
    for (uint32_t i = 0; i < count; ++i) {
      if (i % 32 == 0) {
        FOut += "\n";
        Indent(ALevel + 1);
      }
      FOut += Digits[data[i] >> 4];
      FOut += Digits[data[i] & 0xF];
    }
    FOut += "}";
  }

  void ConvertCollection(int ALevel) {
    FCursor.Enter();
    FOut += "<";
    while (FCursor.PeekValue() != TValueType::vaNull) {
      FOut += "\n";
      Indent(ALevel + 1);
      FOut += "item";
      if (IsIntegerValue(FCursor.PeekValue()))
        FOut += " [" + IntToStr(FCursor.ReadIntegerBody(FCursor.ReadValue())) + "]";
      FOut += "\n";
      if (FCursor.ReadValue() != TValueType::vaList)
        FCursor.Error("List expected in collection");
      ConvertProperties(ALevel + 2);
      Indent(ALevel + 1);
      FOut += "end";
    }
    FCursor.ReadByte();
    FOut += ">";
    FCursor.Leave();
  }
};

// --- text to binary ------------------------------------------------------------------------------

enum class TToken { Eof, Ident, Integer, Float, String, Symbol };

class TTextToBinary {
public:
  TTextToBinary(std::string_view AText, TTextPositionMap* AMap) : FText(AText), FMap(AMap) { Next(); }

  TBytes Convert() {
    FOut.WriteRaw(FilerSignature, sizeof(FilerSignature));
    ConvertObject();
    if (FToken != TToken::Eof)
      Error("End of text expected after the root object, '" + FValue + "' found");
    return std::move(FOut.Bytes());
  }

private:
  std::string_view FText;
  TTextPositionMap* FMap;
  TValueWriter FOut;
  size_t FPos = 0;
  int FLine = 1;
  size_t FLineStart = 0;
  int FDepth = 0;
  // The current token, its text (the decoded value for strings) and where it starts.
  TToken FToken = TToken::Eof;
  std::string FValue;
  int FTokenLine = 1;
  int FTokenColumn = 1;

  [[noreturn]] void Error(const std::string& AMessage) const {
    throw EParserError(IntToStr(FTokenLine) + ":" + IntToStr(FTokenColumn) + ": " + AMessage);
  }

  void Mark() {
    if (FMap)
      FMap->push_back(TTextPosition{static_cast<int64_t>(FOut.Size()), FTokenLine, FTokenColumn});
  }

  void Enter() {
    if (++FDepth > MaxStreamNesting)
      Error("Nesting deeper than " + IntToStr(MaxStreamNesting) + " levels");
  }

  char Peek(size_t AAhead = 0) const { return FPos + AAhead < FText.size() ? FText[FPos + AAhead] : '\0'; }

  void SkipBlanks() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c == '\n') {
        ++FLine;
        FLineStart = FPos + 1;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return;
      }
      ++FPos;
    }
  }

  void Next() {
    SkipBlanks();
    FTokenLine = FLine;
    FTokenColumn = static_cast<int>(FPos - FLineStart) + 1;
    FValue.clear();
    if (FPos >= FText.size()) {
      FToken = TToken::Eof;
      return;
    }
    const char c = FText[FPos];
    if (IsIdentStart(c)) {
      while (FPos < FText.size() && IsIdentChar(FText[FPos]))
        FValue += FText[FPos++];
      FToken = TToken::Ident;
    } else if (c == '\'' || c == '#') {
      ReadString();
    } else if (IsDigit(c) || c == '$' || ((c == '-' || c == '+') && (IsDigit(Peek(1)) || Peek(1) == '$'))) {
      ReadNumber();
    } else {
      FValue = std::string(1, c);
      ++FPos;
      FToken = TToken::Symbol;
    }
  }

  void ReadNumber() {
    if (Peek() == '-' || Peek() == '+')
      FValue += FText[FPos++];
    FToken = TToken::Integer;
    if (Peek() == '$') {
      FValue += FText[FPos++];
      while (HexValue(Peek()) >= 0)
        FValue += FText[FPos++];
    } else {
      while (IsDigit(Peek()))
        FValue += FText[FPos++];
      if (Peek() == '.' && IsDigit(Peek(1))) {
        FToken = TToken::Float;
        FValue += FText[FPos++];
        while (IsDigit(Peek()))
          FValue += FText[FPos++];
      }
      if ((Peek() == 'E' || Peek() == 'e') &&
          (IsDigit(Peek(1)) || ((Peek(1) == '-' || Peek(1) == '+') && IsDigit(Peek(2))))) {
        FToken = TToken::Float;
        FValue += FText[FPos++];
        if (Peek() == '-' || Peek() == '+')
          FValue += FText[FPos++];
        while (IsDigit(Peek()))
          FValue += FText[FPos++];
      }
      const char suffix = Peek();
      if (FToken == TToken::Float && std::strchr("SDTCsdtc", suffix) && suffix != '\0' &&
          !IsIdentChar(Peek(1)))
        FValue += FText[FPos++];
    }
    if (IsIdentChar(Peek()))
      Error("Invalid number '" + FValue + std::string(1, Peek()) + "'");
  }

  void ReadQuoted() {
    ++FPos;
    std::string raw;
    for (;;) {
      if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r')
        Error("Unterminated string");
      const char c = FText[FPos++];
      if (c == '\'') {
        if (Peek() != '\'')
          break;
        ++FPos;
      }
      raw += c;
    }
    FValue += SanitizeUtf8(raw);
  }

  void ReadCharCode() {
    ++FPos;
    uint64_t code = 0;
    const bool hex = Peek() == '$';
    if (hex)
      ++FPos;
    const size_t start = FPos;
    while (hex ? HexValue(Peek()) >= 0 : IsDigit(Peek())) {
      code = code * (hex ? 16 : 10) + static_cast<uint64_t>(HexValue(FText[FPos++]));
      if (code > 0x10FFFF)
        Error("Invalid character code");
    }
    if (FPos == start)
      Error("Character code expected after #");
    AppendUtf8(FValue, static_cast<char32_t>(code));
  }

  void ReadString() {
    FToken = TToken::String;
    for (;;) {
      if (Peek() == '\'')
        ReadQuoted();
      else
        ReadCharCode();
      if (Peek() == '\'' || Peek() == '#')
        continue;
      // A "+" joins the next string part, on this line or the next.
      const size_t pos = FPos;
      const int line = FLine;
      const size_t lineStart = FLineStart;
      SkipBlanks();
      if (Peek() == '+') {
        ++FPos;
        SkipBlanks();
        if (Peek() == '\'' || Peek() == '#')
          continue;
        Error("String expected after +");
      }
      FPos = pos;
      FLine = line;
      FLineStart = lineStart;
      return;
    }
  }

  bool IsSymbol(char AChar) const { return FToken == TToken::Symbol && FValue[0] == AChar; }

  void Expect(char AChar) {
    if (!IsSymbol(AChar))
      Error(std::string("'") + AChar + "' expected, '" + FValue + "' found");
    Next();
  }

  std::string ExpectIdent(const char* AWhat) {
    if (FToken != TToken::Ident)
      Error(std::string(AWhat) + " expected, '" + FValue + "' found");
    if (FValue.size() > 255)
      Error("Identifier longer than 255 characters");
    std::string ident = FValue;
    Next();
    return ident;
  }

  int64_t ParseInteger(const std::string& AText) {
    std::string_view text = AText;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
      text.remove_prefix(1);
    const bool hex = !text.empty() && text[0] == '$';
    if (hex)
      text.remove_prefix(1);
    uint64_t magnitude = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude, hex ? 16 : 10);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
      Error("Invalid integer '" + AText + "'");
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (magnitude > limit)
      Error("Integer out of range '" + AText + "'");
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  }

  void ConvertObject() {
    Enter();
    uint8_t flags = 0;
    if (FToken == TToken::Ident && SameText(FValue, "inherited"))
      flags = ffInherited;
    else if (FToken == TToken::Ident && SameText(FValue, "inline"))
      flags = ffInline;
    else if (!(FToken == TToken::Ident && SameText(FValue, "object")))
      Error("'object' expected, '" + FValue + "' found");
    Mark();
    Next();
    std::string name;
    std::string className = ExpectIdent("Class name");
    if (IsSymbol(':')) {
      Next();
      name = className;
      className = ExpectIdent("Class name");
    }
    // A length byte of 0xF0 or more would read as a record prefix.
    if (className.size() >= MaxClassNameLength)
      Error("Class name longer than " + IntToStr(MaxClassNameLength - 1) + " characters");
    bool hasPosition = false;
    int64_t position = 0;
    if (IsSymbol('[')) {
      Next();
      if (FToken != TToken::Integer)
        Error("Integer expected, '" + FValue + "' found");
      position = ParseInteger(FValue);
      Next();
      Expect(']');
      hasPosition = true;
    }
    if (hasPosition)
      flags |= ffChildPos;
    if (flags) {
      FOut.Bytes().push_back(static_cast<uint8_t>(0xF0 | flags));
      if (hasPosition)
        FOut.WriteInteger(position);
    }
    FOut.WriteShortStr(className);
    FOut.WriteShortStr(name);
    ConvertProperties();
    while (!(FToken == TToken::Ident && SameText(FValue, "end")))
      ConvertObject();
    FOut.WriteValue(TValueType::vaNull);
    Next();
    --FDepth;
  }

  bool AtRecordWord() const {
    return FToken == TToken::Ident && (SameText(FValue, "end") || SameText(FValue, "object") ||
                                       SameText(FValue, "inherited") || SameText(FValue, "inline"));
  }

  // Properties up to the next "end" or child record; writes the Null that ends them.
  void ConvertProperties() {
    while (!AtRecordWord()) {
      if (FToken != TToken::Ident)
        Error("Property name expected, '" + FValue + "' found");
      Mark();
      const std::string name = ExpectIdent("Property name");
      FOut.WriteShortStr(name);
      Expect('=');
      ConvertValue();
    }
    FOut.WriteValue(TValueType::vaNull);
  }

  void ConvertValue() {
    Mark();
    switch (FToken) {
    case TToken::Integer:
      FOut.WriteInteger(ParseInteger(FValue));
      break;
    case TToken::Float:
      ConvertFloat();
      break;
    case TToken::String:
      FOut.WriteString(FValue);
      break;
    case TToken::Ident:
      if (SameText(FValue, "True"))
        FOut.WriteValue(TValueType::vaTrue);
      else if (SameText(FValue, "False"))
        FOut.WriteValue(TValueType::vaFalse);
      else if (SameText(FValue, "nil"))
        FOut.WriteValue(TValueType::vaNil);
      else if (FValue.size() > 255)
        Error("Identifier longer than 255 characters");
      else
        FOut.WriteIdent(FValue);
      break;
    case TToken::Symbol:
      ConvertCompound();
      return;
    case TToken::Eof:
      Error("Value expected, end of text found");
    }
    Next();
  }

  void ConvertCompound() {
    const char symbol = FValue[0];
    if (symbol == '{') {
      ConvertBinary();
      return;
    }
    if (symbol != '[' && symbol != '(' && symbol != '<')
      Error(std::string("Value expected, '") + symbol + "' found");
    Next();
    switch (symbol) {
    case '[':
      ConvertSet();
      return;
    case '(':
      Enter();
      FOut.WriteValue(TValueType::vaList);
      while (!IsSymbol(')'))
        ConvertValue();
      FOut.WriteValue(TValueType::vaNull);
      Next();
      --FDepth;
      return;
    case '<':
      ConvertCollection();
      return;
    }
  }

  void ConvertSet() {
    FOut.WriteValue(TValueType::vaSet);
    if (!IsSymbol(']')) {
      for (;;) {
        FOut.WriteShortStr(ExpectIdent("Set element"));
        if (IsSymbol(']'))
          break;
        Expect(',');
      }
    }
    FOut.WriteShortStr("");
    Next();
  }

  void ConvertCollection() {
    Enter();
    FOut.WriteValue(TValueType::vaCollection);
    while (!IsSymbol('>')) {
      if (!(FToken == TToken::Ident && SameText(FValue, "item")))
        Error("'item' expected, '" + FValue + "' found");
      Next();
      if (IsSymbol('[')) {
        Next();
        if (FToken != TToken::Integer)
          Error("Integer expected, '" + FValue + "' found");
        FOut.WriteInteger(ParseInteger(FValue));
        Next();
        Expect(']');
      }
      FOut.WriteValue(TValueType::vaList);
      while (!(FToken == TToken::Ident && SameText(FValue, "end"))) {
        if (FToken != TToken::Ident || AtRecordWord())
          Error("Property name expected, '" + FValue + "' found");
        Mark();
        FOut.WriteShortStr(ExpectIdent("Property name"));
        Expect('=');
        ConvertValue();
      }
      FOut.WriteValue(TValueType::vaNull);
      Next();
    }
    FOut.WriteValue(TValueType::vaNull);
    Next();
    --FDepth;
  }

  // The hex digits are read straight from the text after "{", up to "}".
  void ConvertBinary() {
    TBytes bytes;
    int high = -1;
    for (;;) {
      SkipBlanks();
      FTokenLine = FLine;
      FTokenColumn = static_cast<int>(FPos - FLineStart) + 1;
      if (FPos >= FText.size())
        Error("'}' expected, end of text found");
      const char c = FText[FPos++];
      if (c == '}')
        break;
      const int digit = HexValue(c);
      if (digit < 0)
        Error(std::string("Hex digit expected, '") + c + "' found");
      if (high < 0) {
        high = digit;
      } else {
        bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
        high = -1;
      }
    }
    if (high >= 0)
      Error("Odd number of hex digits");
    FOut.WriteBinary(bytes.data(), bytes.size());
    Next();
  }

  void ConvertFloat() {
    std::string text = FValue;
    char suffix = 0;
    if (std::isalpha(static_cast<unsigned char>(text.back())) && text.back() != 'e' && text.back() != 'E') {
      suffix = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
      text.pop_back();
    }
    const char* first = text.data() + (text[0] == '+');
    if (suffix == 'C') {
      ConvertCurrency(text);
      return;
    }
    const char* last = text.data() + text.size();
    switch (suffix) {
    case 'S': {
      float single = 0;
      if (!ParseFloat(first, last, single))
        Error("Invalid Single value '" + FValue + "'");
      FOut.WriteValue(TValueType::vaSingle);
      FOut.WriteLE(std::bit_cast<uint32_t>(single));
      return;
    }
    case 'D':
    case 'T': {
      double number = 0;
      if (!ParseFloat(first, last, number))
        Error("Invalid Double value '" + FValue + "'");
      FOut.WriteValue(suffix == 'D' ? TValueType::vaDouble : TValueType::vaDate);
      FOut.WriteLE(std::bit_cast<uint64_t>(number));
      return;
    }
    default: {
      long double value = 0;
      if (!ParseFloat(first, last, value))
        Error("Invalid floating point value '" + FValue + "'");
      FOut.WriteExtended(value);
    }
    }
  }
  // Exact decimal with at most four places.
  void ConvertCurrency(const std::string& AText) {
    std::string_view text = AText;
    const bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+')
      text.remove_prefix(1);
    const size_t point = text.find('.');
    if (point == std::string_view::npos || text.find_first_of("eE") != std::string_view::npos ||
        text.size() - point - 1 > 4)
      Error("Invalid currency value '" + FValue + "'");
    std::string digits(text.substr(0, point));
    std::string fraction(text.substr(point + 1));
    fraction.append(4 - fraction.size(), '0');
    digits += fraction;
    uint64_t magnitude = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (result.ec != std::errc() || magnitude > limit)
      Error("Currency value out of range '" + FValue + "'");
    FOut.WriteValue(TValueType::vaCurrency);
    FOut.WriteLE(negative ? 0 - magnitude : magnitude);
  }
};

} // namespace

std::string FloatToFormText(long double AValue) {
  return FloatText(AValue);
}

TBytes ObjectTextToBinary(std::string_view AText, TTextPositionMap* AMap) {
  if (AMap)
    AMap->clear();
  return TTextToBinary(AText, AMap).Convert();
}

std::string ObjectBinaryToText(const uint8_t* AData, size_t ASize) {
  return TBinaryToText(AData, ASize).Convert();
}

namespace {

TBytes ReadAll(TStream& AInput) {
  TBytesStream buffer;
  uint8_t chunk[65536];
  for (int64_t count; (count = AInput.Read(chunk, sizeof(chunk))) > 0;)
    buffer.WriteBuffer(chunk, count);
  return buffer.Bytes();
}

} // namespace

void ObjectTextToBinary(TStream& AInput, TStream& AOutput) {
  const TBytes text = ReadAll(AInput);
  const TBytes binary =
      ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  AOutput.WriteBuffer(binary.data(), static_cast<int64_t>(binary.size()));
}

void ObjectBinaryToText(TStream& AInput, TStream& AOutput) {
  const TBytes binary = ReadAll(AInput);
  const std::string text = ObjectBinaryToText(binary);
  AOutput.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void ReadComponentFromText(std::string_view AText, TComponent* ARoot, std::string_view AFileName) {
  const std::string prefix = AFileName.empty() ? std::string() : std::string(AFileName) + ":";
  TTextPositionMap map;
  TBytesStream stream;
  try {
    const TBytes binary = ObjectTextToBinary(AText, &map);
    stream.WriteBuffer(binary.data(), static_cast<int64_t>(binary.size()));
  } catch (const EParserError& E) {
    throw EParserError(prefix + E.Message());
  }
  stream.SetPosition(0);
  TReader reader(stream);
  reader.SetPositionText([&map, &prefix](int64_t APosition) {
    auto found =
        std::upper_bound(map.begin(), map.end(), APosition, [](int64_t AOffset, const TTextPosition& AEntry) {
          return AOffset < AEntry.Offset;
        });
    if (found == map.begin())
      return prefix + "1:1";
    --found;
    return prefix + IntToStr(found->Line) + ":" + IntToStr(found->Column);
  });
  reader.ReadRootComponent(ARoot);
}

std::string WriteComponentToText(TComponent* ARoot) {
  TBytesStream stream;
  TWriter writer(stream);
  writer.WriteRootComponent(ARoot);
  return ObjectBinaryToText(stream.Bytes());
}

} // namespace rtl
