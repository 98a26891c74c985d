#include "xml/Vantrel.Xml.Document.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rtl/encoding.h"
#include "rtl/json_pool.h"
#include "rtl/utf8.h"
#include "xml/Vantrel.Xml.Parser.h"
#include "xml/Vantrel.Xml.Writer.h"

namespace vantrel {

RTL_DEFINE_CLASS(TMz_XmlDocument, "Vantrel.Xml.Document")

namespace {

std::string ErrorText(const TMz_XmlDocument* ADocument, std::string_view AMessage, int64_t APosition) {
  std::string text(AMessage);
  text += " [\"";
  if (ADocument)
    text += ADocument->filename();
  text += "\" at ";
  text += IntToStr(APosition);
  text += ']';
  return text;
}

} // namespace

EMz_XmlParseError::EMz_XmlParseError(const TMz_XmlDocument* pDocument, const TMz_StreamReader* pStream,
                                     std::string_view pMessage)
    : Exception(ErrorText(pDocument, pMessage, pStream ? pStream->position() : 0)) {}

EMz_XmlStoringError::EMz_XmlStoringError(const TMz_XmlDocument* pDocument, const TMz_StreamWriter*,
                                         std::string_view pMessage)
    : Exception(ErrorText(pDocument, pMessage, 0)) {}

// ---- Value typing ---------------------------------------------------------------------------------

TValue XmlStringToValue(std::string_view pData) {
  if (pData.empty())
    return {};
  const char first = pData.front();
  if (std::string_view("+-.0123456789").find(first) != std::string_view::npos) {
    if (pData.find('.') != std::string_view::npos) {
      double value = 0;
      if (TryStrToFloat(pData, value, FormatSettingsEnUS()))
        return TValue::From(value);
    } else {
      int value = 0;
      if (TryStrToInt(pData, value))
        return TValue::From<int32_t>(value);
    }
  } else if (first == 'T' || first == 't' || first == 'F' || first == 'f') {
    bool value = false;
    if (TryStrToBool(pData, value))
      return TValue::From(value);
  }
  return TValue::From(std::string(pData));
}

TValue TMz_XmlDocument::StringToValue(std::string_view pData) const {
  return XmlStringToValue(pData);
}

// ---- Parser ---------------------------------------------------------------------------------------

namespace {

// The UTF-16 position the reader would report for the byte offset APosition of UTF-8 text: one
// unit per character below U+10000 and per ill-formed subpart, two above; an offset inside a
// character (only its first byte was read) counts that character's first unit, and reading past
// the end counts on.
int64_t Utf16Position(std::string_view AText, int64_t APosition) {
  const char* text = AText.data();
  const auto size = static_cast<int64_t>(AText.size());
  int64_t units = 0;
  int64_t at = 0;
  while (at < std::min(APosition, size)) {
    const int length = Utf8SequenceLength(text + at, text + size);
    const int64_t bytes = length < 0 ? -length : length;
    if (at + bytes > APosition)
      return units + 1;
    units += length == 4 ? 2 : 1;
    at += bytes;
  }
  return units + std::max<int64_t>(0, APosition - size);
}

// Whether AText is well-formed UTF-8; ASCII runs are checked sixteen (or eight) bytes at a time.
bool IsWellFormedUtf8(std::string_view AText) {
  const char* p = AText.data();
  const char* end = p + AText.size();
  while (p < end) {
#if defined(__SSE2__)
    if (end - p >= 16 && !_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))) {
      p += 16;
      continue;
    }
#endif
    if (end - p >= 8) {
      uint64_t block;
      std::memcpy(&block, p, 8);
      if (!(block & 0x8080808080808080ull)) {
        p += 8;
        continue;
      }
    }
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    const int length = Utf8SequenceLength(p, end);
    if (length < 0)
      return false;
    p += length;
  }
  return true;
}

// Copies ASize bytes from AFrom to ATo and tells whether they are well-formed UTF-8, in one pass:
// a large load would otherwise read its whole input twice more (once to copy, once to check)
// before parsing it. Sixteen bytes at a time; only blocks with a byte above 0x7F are checked
// character by character, from where the last check ended.
bool CopyWellFormedUtf8(const char* AFrom, size_t ASize, char* ATo) {
  const char* p = AFrom;
  const char* end = AFrom + ASize;
  bool wellFormed = true;
#if defined(__SSE2__)
  // Everything before this has been checked; it always stands at the start of a character.
  const char* checked = AFrom;
  for (; end - p >= 16; p += 16, ATo += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ATo), block);
    if (!_mm_movemask_epi8(block) || !wellFormed)
      continue;
    const char* at = std::max(checked, p);
    while (at < p + 16) {
      if (static_cast<unsigned char>(*at) < 0x80) {
        ++at;
        continue;
      }
      const int length = Utf8SequenceLength(at, end);
      if (length < 0) {
        wellFormed = false;
        break;
      }
      at += length;
    }
    checked = at;
  }
  std::memcpy(ATo, p, static_cast<size_t>(end - p));
  const char* rest = std::max(checked, p);
  return wellFormed && IsWellFormedUtf8(std::string_view(rest, static_cast<size_t>(end - rest)));
#else
  std::memcpy(ATo, p, ASize);
  return IsWellFormedUtf8(std::string_view(AFrom, ASize));
#endif
}

// Appends UTF-8 text to a raw value with each ill-formed subpart as U+FFFD, as decoding gives it.
void AppendUtf8Value(TMz_XmlNode* ANode, std::string_view AValue) {
  if (IsWellFormedUtf8(AValue))
    ANode->appendRawValue(AValue);
  else
    ANode->appendRawValue(std::string_view(SanitizeUtf8(AValue)));
}

std::string ToUtf8(std::u16string_view AValue) {
  return Utf16ToUtf8(AValue);
}
std::string ToUtf8(std::string_view AValue) {
  return SanitizeUtf8(AValue);
}

// AWellFormed: the whole text is known to be well-formed UTF-8. Every value starts and ends next
// to an ASCII character (a quote, a bracket, trimmed white space) or the end, so it then holds
// whole characters and is well-formed too.
void AppendValue(TMz_XmlNode* ANode, std::u16string_view AValue, bool) {
  ANode->appendRawValue(AValue);
}
void AppendValue(TMz_XmlNode* ANode, std::string_view AValue, bool AWellFormed) {
  if (AWellFormed)
    ANode->appendRawValue(AValue);
  else
    AppendUtf8Value(ANode, AValue);
}

} // namespace

// Scans the whole text directly: the reader's decoded UTF-16 text, or the UTF-8 bytes of an
// in-memory load as they are (TChar char), which skips decoding and re-encoding every value. Both
// read the same characters at the same places, since everything the grammar looks at is ASCII
// and a byte of a longer character is never a grammar character. The index follows one rule: it
// is the index of the next unread unit, and reading past the end still moves it on, as the reader
// does; errors hand it to the reader (as a UTF-16 position), which reports it.
template <class TChar> class TMz_XmlParser {
public:
  using TView = std::basic_string_view<TChar>;

  // AWellFormed: whether UTF-8 text is known to be well-formed (its copy checked it), else unknown.
  TMz_XmlParser(TMz_XmlDocument& ADocument, TMz_StreamReader& AReader, TView AText,
                std::optional<bool> AWellFormed = std::nullopt)
      : FDocument(ADocument), FReader(AReader), FText(AText.data()),
        FLength(static_cast<int64_t>(AText.size())) {
    // One pass over the whole text spares a check of every value.
    if constexpr (std::is_same_v<TChar, char>)
      FWellFormed = AWellFormed ? *AWellFormed : IsWellFormedUtf8(AText);
  }
  ~TMz_XmlParser() {
    json_pool::TReleaseScope batch;
    for (TMz_XmlNode* node : FOrphans)
      node->Free();
  }

  void Run() { ParseChildNodes(nullptr, 0); }

private:
  static constexpr int32_t EndOfData = -1;

  TMz_XmlDocument& FDocument;
  TMz_StreamReader& FReader;
  const TChar* FText = nullptr;
  int64_t FLength = 0;
  int64_t FPos = 0;
  // UTF-8 text that is well-formed throughout (values need no repair).
  bool FWellFormed = false;
  // Nodes no element owns (top-level elements before the declaration, nodes a callback made
  // under a non-element); freed when they are done or with the parser.
  std::vector<TMz_XmlNode*> FOrphans;
  const bool FCallback = static_cast<bool>(FDocument.onCreateNode());
  // Narrowed tokens of UTF-16 text.
  std::string FScratch[2];

  static int32_t Unit(TChar AChar) {
    return static_cast<int32_t>(static_cast<std::make_unsigned_t<TChar>>(AChar));
  }
  int32_t CharAt(int64_t AIndex) const {
    return AIndex >= 0 && AIndex < FLength ? Unit(FText[AIndex]) : EndOfData;
  }
  int32_t Read() { return CharAt(FPos++); }
  int32_t Current() const { return CharAt(FPos); }
  static bool IsWhite(int32_t c) { return c == 8 || c == 9 || c == 10 || c == 13 || c == 32; }
  static constexpr std::array<bool, 256> TokenChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 128; ++c)
      table[static_cast<size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                      (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
    return table;
  }();
  static bool IsTokenChar(int32_t c) { return c >= 0 && c < 256 && TokenChars[static_cast<size_t>(c)]; }

  template <class... TArgs> [[noreturn]] void Fail(std::string_view AMessage, const TArgs&... AArgs) {
    if constexpr (std::is_same_v<TChar, char>)
      FReader.setPosition(Utf16Position(Span(0, FLength), FPos));
    else
      FReader.setPosition(FPos);
    throw EMz_XmlParseError(&FDocument, &FReader, AMessage, AArgs...);
  }

  // White space runs (indentation) are long in written files: scanned with a local index.
  void SkipWhite() {
    int64_t pos = FPos;
    if (pos < 0)
      return;
    // Most calls stand before a name, a quote or a bracket, or behind a single blank.
    if (pos < FLength && !IsWhite(Unit(FText[pos])))
      return;
    if (pos + 1 < FLength && !IsWhite(Unit(FText[pos + 1]))) {
      FPos = pos + 1;
      return;
    }
#if defined(__SSE2__)
    // Sixteen bytes at a time: written files indent every line.
    if constexpr (std::is_same_v<TChar, char>) {
      while (pos + 16 <= FLength) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(FText + pos));
        const __m128i white = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(block, _mm_set1_epi8('\t'))),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\n')),
                                      _mm_cmpeq_epi8(block, _mm_set1_epi8('\r'))),
                         _mm_cmpeq_epi8(block, _mm_set1_epi8('\b'))));
        const auto other = static_cast<unsigned>(~_mm_movemask_epi8(white)) & 0xFFFFu;
        if (other) {
          FPos = pos + std::countr_zero(other);
          return;
        }
        pos += 16;
      }
    }
#endif
    while (pos < FLength && IsWhite(Unit(FText[pos])))
      ++pos;
    FPos = pos;
  }

  // Reads past white space to the next character; the end of the data (or a NUL) fails.
  int32_t ReadNonWhite() {
    for (;;) {
      const int32_t c = Read();
      if (c == 0)
        Fail("unexpected end of data (#0)");
      if (c == EndOfData)
        Fail("unexpected end of data (#$FFFF)");
      if (!IsWhite(c))
        return c;
    }
  }

  // A token as a view: of the text itself for UTF-8, else of AScratch, into which the UTF-16 span
  // narrows as it is (token characters are ASCII).
  std::string_view ReadToken(std::string& AScratch) {
    SkipWhite();
    const int32_t c = Current();
    if (c == 0 || c == EndOfData)
      return {};
    if (!IsTokenChar(c))
      Fail("invalid character for token");
    const int64_t start = FPos;
    int64_t pos = FPos;
    while (pos < FLength && IsTokenChar(Unit(FText[pos])))
      ++pos;
    FPos = pos;
    if constexpr (std::is_same_v<TChar, char>) {
      return {FText + start, static_cast<size_t>(FPos - start)};
    } else {
      AScratch.resize(static_cast<size_t>(FPos - start));
      for (size_t i = 0; i < AScratch.size(); ++i)
        AScratch[i] = static_cast<char>(FText[start + static_cast<int64_t>(i)]);
      return AScratch;
    }
  }
  std::string_view ReadToken() { return ReadToken(FScratch[0]); }

  // The views last until the next token is read (UTF-16 text) or the parse ends (UTF-8 text).
  // Two plain views rather than a pair returned: written as two words and read back as one block,
  // a pair stalled the store forwarding on every tag.
  void ReadQualifiedName(std::string_view& APrefix, std::string_view& AName) {
    APrefix = {};
    AName = ReadToken(FScratch[0]);
    if (Current() == ':') {
      APrefix = AName;
      ++FPos;
      AName = ReadToken(FScratch[1]);
    }
  }

  // Equal texts; names are short, so a loop beats a library call.
  static bool SameText(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
      return false;
    for (size_t i = 0; i < A.size(); ++i)
      if (A[i] != B[i])
        return false;
    return true;
  }

  TView Span(int64_t AFrom, int64_t ATo) const { return {FText + AFrom, static_cast<size_t>(ATo - AFrom)}; }

  // Collects up to the first occurrence of ATerminator, leaving the index on it (or at the end).
  // The first character is searched for, the rest compared in place.
  TView ReadUntil(std::string_view ATerminator) {
    const int64_t start = std::min(FPos, FLength);
    const TView text = Span(0, FLength);
    const auto first = static_cast<TChar>(ATerminator.front());
    size_t found = static_cast<size_t>(start);
    for (;; ++found) {
      found = text.find(first, found);
      if (found == TView::npos || text.size() - found < ATerminator.size()) {
        found = TView::npos;
        break;
      }
      size_t i = 1;
      while (i < ATerminator.size() && text[found + i] == static_cast<TChar>(ATerminator[i]))
        ++i;
      if (i == ATerminator.size())
        break;
    }
    FPos = found == TView::npos ? FLength : static_cast<int64_t>(found);
    return Span(start, FPos);
  }

  void Expect(char16_t AChar, std::string_view AMessage) {
    if (Read() != AChar)
      Fail(AMessage);
  }

  // The callback's node for a new node, kind set, or null.
  TMz_XmlNode* FromCallback(TMz_XmlNode* ACurrent, std::string_view APrefix, std::string_view AName,
                            TMz_XmlNodeKind AKind) {
    return FCallback ? AskCallback(ACurrent, APrefix, AName, AKind) : nullptr;
  }

  [[gnu::noinline]] TMz_XmlNode* AskCallback(TMz_XmlNode* ACurrent, std::string_view APrefix,
                                             std::string_view AName, TMz_XmlNodeKind AKind) {
    const TMz_OnCreateNode& callback = FDocument.onCreateNode();
    TMz_XmlNode* node =
        callback(&FDocument, &FReader, ACurrent, std::string(APrefix), std::string(AName), AKind);
    if (!node)
      return nullptr;
    const TMz_XmlElement* owner = node->parentElement();
    if (!owner || !owner->owns(node))
      FOrphans.push_back(node);
    node->setKind(AKind);
    return node;
  }

  // A node the parser made: its element parent owns it, otherwise the parser does.
  template <class T> T* Made(T* ANode) {
    if (!ANode->parentElement())
      FOrphans.push_back(ANode);
    return ANode;
  }

  // Takes ANode off the orphans; false when it was none.
  bool Claim(TMz_XmlNode* ANode) {
    const auto it = std::find(FOrphans.rbegin(), FOrphans.rend(), ANode);
    if (it == FOrphans.rend())
      return false;
    FOrphans.erase(std::next(it).base());
    return true;
  }

  void Discard(TMz_XmlNode* ANode) {
    if (Claim(ANode))
      ANode->Free();
  }

  void ParseChildNodes(TMz_XmlNode* ANode, int32_t ADepth) {
    for (;;) {
      SkipWhite();
      const int32_t c = Read();
      if (c == 0 || c == EndOfData)
        return;
      if (IsWhite(c))
        continue;
      if (c == '<') {
        if (ParseTag(ANode, ADepth))
          return;
        continue;
      }
      if (c == '>')
        Fail("invalid character \">\" found");
      ParseText(ANode);
    }
  }

  void ParseText(TMz_XmlNode* ANode) {
    if (ANode && ANode->closed())
      Fail("invalid character found");
    if (!ANode || !ANode->asElement())
      Fail("node values only allowed for element nodes");
    int64_t start = --FPos;
    while (FPos < FLength) {
      const TChar c = FText[FPos];
      if (c == '<' || c == '>' || c == 0)
        break;
      ++FPos;
    }
    int64_t end = FPos;
    while (start < end && Unit(FText[start]) <= 32)
      ++start;
    while (end > start && Unit(FText[end - 1]) <= 32)
      --end;
    if (end > start)
      AppendValue(ANode, Span(start, end), FWellFormed);
  }

  bool ParseTag(TMz_XmlNode* ANode, int32_t ADepth) {
    ++FDocument.fnode_count;
    const int32_t c = Read();
    switch (c) {
    case '?':
      ParseDeclaration();
      return true;
    case '!':
      ParseSpecial(ANode);
      return false;
    case '/':
      ParseClosingTag(ANode);
      return true;
    case 0:
    case EndOfData:
      return false;
    default:
      --FPos;
      ParseStartTag(ANode, ADepth);
      return false;
    }
  }

  void ParseDeclaration() {
    const std::string token(ReadToken());
    if (Current() == ':')
      Fail("namespace declaration not allowed for xml core node");
    if (token != "xml" && token != "xml-stylesheet")
      Fail("xml header expected");
    if (FDocument.root())
      Fail("xml header already exist");
    const TMz_XmlNodeKind kind = token == "xml" ? TMz_XmlNodeKind::mzDocument : TMz_XmlNodeKind::mzStylesheet;
    // The root has no parent: the callback is asked without a current node.
    TMz_XmlNode* root = FromCallback(nullptr, {}, token, kind);
    if (root)
      Claim(root);
    else
      root = TMz_XmlElement::Create(&FDocument, nullptr, "", token);
    root->setKind(kind);
    FDocument.froot = root;
    if (ParseTagHead(root))
      ParseChildNodes(root, 0);
  }

  // A comment, CDATA section or DOCTYPE node under ANode; at the top level it is discarded.
  // AName may view the input (the CDATA section's own "CDATA"), so the node's name views it too
  // rather than taking a copy.
  TMz_XmlNode* MakeSpecial(TMz_XmlNode* ANode, TMz_XmlNodeKind AKind, std::string_view AName) {
    TMz_XmlNode* node = FromCallback(ANode, {}, AName, AKind);
    if (!node) {
      node = Made(TMz_XmlElement::Create(&FDocument, ANode, "", AName));
      node->setKind(AKind);
    }
    return node;
  }

  // A fresh node takes the text without a copy; one from a callback that holds a value is set.
  void AssignValue(TMz_XmlNode* ANode, TView AValue) {
    if (ANode->getRawValue().empty()) {
      AppendValue(ANode, AValue, FWellFormed);
      return;
    }
    ANode->setRawValue(ToUtf8(AValue));
  }

  void FinishSpecial(TMz_XmlNode* ANode, TMz_XmlNode* ASpecial, TView AValue) {
    AssignValue(ASpecial, AValue);
    ASpecial->setClosed(true);
    if (!ANode)
      Discard(ASpecial);
  }

  void ParseSpecial(TMz_XmlNode* ANode) {
    const int32_t c = Read();
    if (c == '-') {
      Expect('-', "\"<!--\" expected for valid comment, but \"<!-\" found");
      TMz_XmlNode* node = MakeSpecial(ANode, TMz_XmlNodeKind::mzComment, "COMMENT");
      const TView value = ReadUntil("-->");
      Expect('-', "invalid character found - \"-\" expected");
      Expect('-', "invalid character found - \"-\" expected");
      Expect('>', "invalid character found - \">\" expected");
      FinishSpecial(ANode, node, value);
    } else if (c == '[') {
      const std::string_view token = ReadToken();
      if (token != "CDATA")
        Fail("invalid character - \"CDATA[\" expected behind \"<![\"");
      Expect('[', "invalid character - \"[\" expected behind \"<![CDATA\"");
      TMz_XmlNode* node = MakeSpecial(ANode, TMz_XmlNodeKind::mzData, token);
      const TView value = ReadUntil("]]>");
      Expect(']', "invalid character found - \"]\" expected");
      Expect(']', "invalid character found - \"]\" expected");
      Expect('>', "invalid character found - \">\" expected");
      FinishSpecial(ANode, node, value);
    } else if (c == 'D' || c == 'd') {
      if (UpperCase("D" + std::string(ReadToken())) != "DOCTYPE")
        Fail("\"<!DOCTYPE\" expected for valid doctype-definition, but \"<!D?\" found");
      TMz_XmlNode* node = MakeSpecial(ANode, TMz_XmlNodeKind::mzDocType, "DOCTYPE");
      const TView value = ReadUntil(">");
      Expect('>', "invalid character found - \">\" expected");
      FinishSpecial(ANode, node, value);
    } else {
      SkipRestOfCharacter(c);
    }
  }

  // After the first unit of a character was read and dropped, drops the rest of it too.
  void SkipRestOfCharacter(int32_t AFirst) {
    if constexpr (std::is_same_v<TChar, char>) {
      if (AFirst >= 0x80) {
        const int length = Utf8SequenceLength(FText + FPos - 1, FText + FLength);
        FPos += (length < 0 ? -length : length) - 1;
      }
    } else if (AFirst >= 0xD800 && AFirst < 0xDC00 && Current() >= 0xDC00 && Current() < 0xE000) {
      ++FPos;
    }
  }

  void ParseClosingTag(TMz_XmlNode* ANode) {
    TMz_XmlElement* element = ANode ? ANode->asElement() : nullptr;
    if (!element)
      Fail("parent node is not a xml element");
    std::string_view prefix, name;
    ReadQualifiedName(prefix, name);
    if (!SameText(name, element->name()) || !SameText(prefix, element->namespacePrefix()))
      Fail("failed to close tag \"%s\" - closing tag \"%s\" found instead", element->name(), name);
    if (Read() != '>')
      Fail("invalid character in closing tag %s", name);
    element->setClosed(true);
  }

  void ParseStartTag(TMz_XmlNode* ANode, int32_t ADepth) {
    if (ADepth >= TMz_XmlDocument::MaxDepth)
      Fail("maximum nesting depth exceeded");
    std::string_view prefix, name;
    ReadQualifiedName(prefix, name);
    // The children's tokens reuse the scratch texts of UTF-16 text.
    std::string keptPrefix, keptName;
    if constexpr (!std::is_same_v<TChar, char>) {
      keptPrefix = prefix;
      keptName = name;
      prefix = keptPrefix;
      name = keptName;
    }
    if (name.empty()) {
      if (prefix.empty())
        Fail("invalid char in tag name");
      Fail("incomplete namespace declaration \"%s\" for tag name", prefix);
    }
    TMz_XmlNode* element = FromCallback(ANode, prefix, name, TMz_XmlNodeKind::mzDefault);
    if (!element)
      element = Made(TMz_XmlElement::Create(&FDocument, ANode, prefix, name));
    if (ParseTagHead(element))
      ParseChildNodes(element, ADepth + 1);
    if (!prefix.empty() && !element->defined(prefix))
      Fail("namespace \"%s\" not defined for tag \"%s\"", prefix, name);
    if (!element->closed())
      Fail("tag \"%s\" not closed", element->getQualifiedName());
    if (!ANode)
      Discard(element);
  }

  // Reads the attribute list; true when content follows.
  bool ParseTagHead(TMz_XmlNode* ANode) {
    for (;;) {
      const int32_t c = ReadNonWhite();
      if (c == '/') {
        ANode->setClosed(true);
        Expect('>', "\">\" expected behind \"/\"");
        return false;
      }
      if (c == '>')
        return true;
      if (c == '?') {
        if (ANode->kind() != TMz_XmlNodeKind::mzDocument && ANode->kind() != TMz_XmlNodeKind::mzStylesheet)
          Fail("invalid charater \"?\" - only allowed for xml header tag");
        Expect('>', "invalid charater - \">\" expected behind \"?\"");
        return true;
      }
      --FPos;
      ParseAttribute(ANode);
    }
  }

  void ParseAttribute(TMz_XmlNode* ANode) {
    // Plain locals rather than a pair: the common path then keeps both views in registers.
    std::string_view prefix;
    std::string_view name = ReadToken(FScratch[0]);
    if (Current() == ':') {
      prefix = name;
      ++FPos;
      name = ReadToken(FScratch[1]);
    }
    if (name.empty())
      FailAttributeName(prefix);
    if (prefix.empty() && !FCallback) {
      ParseOwnAttribute(ANode, {}, name);
      return;
    }
    ParsePrefixedAttribute(ANode, prefix, name);
  }

  [[noreturn, gnu::noinline, gnu::cold]] void FailAttributeName(std::string_view APrefix) {
    if (APrefix.empty())
      Fail("missing attribute name - invalid character found");
    Fail("incomplete namespace declaration \"%s\" for attribute name", APrefix);
  }

  // An attribute with a prefix (a namespace declaration among them), or any attribute of a load
  // with a callback.
  [[gnu::noinline]] void ParsePrefixedAttribute(TMz_XmlNode* ANode, std::string_view APrefix,
                                                std::string_view AName) {
    if (APrefix == "xmlns") {
      TMz_XmlElement* element = ANode->asElement();
      if (!element)
        Fail("failed to define namespace in none element node \"%s\"", ANode->getQualifiedName());
      TMz_XmlNode* node = FromCallback(ANode, {}, AName, TMz_XmlNodeKind::mzNamespace);
      if (!node)
        node = TMz_XmlNamespace::Create(&FDocument, element, "", AName);
      ReadValue(node, true);
      return;
    }
    TMz_XmlNode* node;
    if (FCallback) {
      node = FromCallback(ANode, APrefix, AName, TMz_XmlNodeKind::mzAttribute);
      if (!node)
        node = Made(TMz_XmlAttribute::Create(&FDocument, ANode, APrefix, AName));
      ReadValue(node, false);
    } else {
      node = ParseOwnAttribute(ANode, APrefix, AName);
    }
    if (!APrefix.empty() && !node->defined(APrefix))
      Fail("namespace \"%s\" not defined for attribute \"%s\"", APrefix, AName);
  }

  // An attribute of a load without callback, on an element the parser made: the value is read
  // first, so the node is made with it (a failure frees the whole tree, so the node's absence
  // then is never seen).
  TMz_XmlNode* ParseOwnAttribute(TMz_XmlNode* ANode, std::string_view APrefix, std::string_view AName) {
    TView value;
    const int32_t c = ReadNonWhite();
    if (c == '/' || c == '>') {
      --FPos;
    } else {
      if (c != '=')
        Fail("invalid character while parsing attribute \"%s\"",
             APrefix.empty() ? std::string(AName) : std::string(APrefix) + ':' + std::string(AName));
      ReadQuotedSpan(value);
    }
    auto* node = Made(TMz_XmlAttribute::Create(&FDocument, ANode, APrefix, AName));
    if (!value.empty())
      AppendValue(node, value, FWellFormed);
    return node;
  }

  void ReadValue(TMz_XmlNode* ANode, bool ANamespace) {
    const int32_t c = ReadNonWhite();
    if (c == '/' || c == '>') {
      --FPos;
      return;
    }
    if (c != '=')
      Fail(ANamespace ? "invalid character while parsing namespace \"%s\""
                      : "invalid character while parsing attribute \"%s\"",
           ANode->getQualifiedName());
    // Only a callback's node can be of another class.
    const bool fits = !FCallback || (ANamespace ? dynamic_cast<TMz_XmlNamespace*>(ANode) != nullptr
                                                : dynamic_cast<TMz_XmlAttribute*>(ANode) != nullptr);
    if (!fits)
      Fail(ANamespace ? "invalid character for assigning value to namespace \"%s\""
                      : "invalid character for assigning value to attribute \"%s\"",
           ANode->getQualifiedName());
    ReadQuoted(ANode);
  }

  void ReadQuoted(TMz_XmlNode* ANode) {
    TView value;
    if (ReadQuotedSpan(value))
      AssignValue(ANode, value);
  }

  // Reads a quoted value into AValue; false (and the index at the end) when it is not closed.
  bool ReadQuotedSpan(TView& AValue) {
    SkipWhite();
    const int32_t quote = Read();
    if (quote != '"' && quote != '\'')
      Fail("invalid character");
    const int64_t start = FPos;
    const size_t found = Span(0, FLength).find(static_cast<TChar>(quote), static_cast<size_t>(start));
    if (found == TView::npos) {
      FPos = FLength;
      return false;
    }
    FPos = static_cast<int64_t>(found) + 1;
    AValue = Span(start, static_cast<int64_t>(found));
    return true;
  }
};

// ---- Document -------------------------------------------------------------------------------------

TMz_XmlDocument::~TMz_XmlDocument() {
  freeRoot();
}

void TMz_XmlDocument::freeRoot() noexcept {
  FreeXmlTree(froot);
  froot = nullptr;
  frootText.reset();
}

void TMz_XmlDocument::setRoot(TMz_XmlNode* pRoot) {
  if (pRoot == froot)
    return;
  freeRoot();
  froot = pRoot;
}

void TMz_XmlDocument::parse(TMz_StreamReader& pReader) {
  const bool hadRoot = froot != nullptr;
  // A new tree is built in slabs of its own, so freeing it unchanged costs no visit per node.
  // Nodes a callback makes are the application's, so such loads build ordinary nodes.
  json_pool::TDocument* slabs = hadRoot || fonCreateNode ? nullptr : json_pool::NewDocument();
  // Such a tree's names and values view a copy of UTF-8 input that lives as long as the tree.
  std::unique_ptr<char[]> text;
  try {
    // Blocks a growing table leaves behind are counted per run of one slab, not one by one.
    json_pool::TReleaseScope batch;
    std::optional<json_pool::TDocumentScope> scope;
    if (slabs)
      scope.emplace(slabs);
    std::string_view bytes;
    if (pReader.utf8Text(bytes)) {
      std::optional<TMz_XmlTextSource> source;
      std::optional<bool> wellFormed;
      if (slabs && !bytes.empty()) {
        text.reset(new char[bytes.size()]);
        wellFormed = CopyWellFormedUtf8(bytes.data(), bytes.size(), text.get());
        bytes = {text.get(), bytes.size()};
        source.emplace(bytes);
      }
      TMz_XmlParser<char>(*this, pReader, bytes, wellFormed).Run();
    } else {
      TMz_XmlParser<char16_t>(*this, pReader, pReader.decodeAll()).Run();
    }
  } catch (...) {
    if (slabs)
      json_pool::Dissolve(slabs);
    if (!hadRoot)
      freeRoot();
    throw;
  }
  if (slabs) {
    if (froot) {
      json_pool::SetRoot(slabs, froot);
      frootText = std::move(text);
    } else {
      json_pool::Dissolve(slabs);
    }
  }
}

void TMz_XmlDocument::loadFromStream(TStream* pStream) {
  if (!pStream)
    throw EArgumentNilException("Parameter Stream cannot be nil");
  TMz_StreamReader reader(pStream, &TEncoding::UTF8(), true);
  pStream->SetPosition(0);
  parse(reader);
}

namespace {

// A read-only stream over bytes the caller keeps, so a load reads them without a copy.
class TByteView final : public TCustomMemoryStream {
public:
  TByteView(const void* AData, size_t ASize) {
    SetPointer(static_cast<uint8_t*>(const_cast<void*>(AData)), static_cast<int64_t>(ASize));
  }
  int64_t Write(const void*, int64_t) override { throw EWriteError("the stream is read-only"); }
};

} // namespace

void TMz_XmlDocument::loadFromString(std::string_view pData) {
  TByteView stream(pData.data(), pData.size());
  loadFromStream(&stream);
}

void TMz_XmlDocument::loadFromBytes(const TBytes& pData) {
  TByteView stream(pData.data(), pData.size());
  loadFromStream(&stream);
}

void TMz_XmlDocument::loadFromFile(const std::string& pFilename) {
  ffilename = pFilename;
  TFileStream stream(pFilename, fmOpenRead | fmShareDenyNone);
  loadFromStream(&stream);
}

namespace {

// The text of the last save on this thread, kept for the next one: a large save would otherwise
// fault in fresh pages for its whole text every time.
thread_local std::string tSpareOutput;
constexpr size_t MaxSpareOutput = size_t(64) << 20;

void KeepSpareOutput(std::string&& AText) {
  if (AText.capacity() > tSpareOutput.capacity() && AText.capacity() <= MaxSpareOutput)
    tSpareOutput = std::move(AText);
}

} // namespace

template <class TUse> void TMz_XmlDocument::render(TStream* pStream, bool pBeautify, TUse&& pUse) {
  TMz_StreamWriter writer(pStream, pBeautify);
  writer.setDocument(this);
  writer.UseBuffer(std::move(tSpareOutput));
  try {
    froot->toStream(writer);
  } catch (...) {
    KeepSpareOutput(writer.TakeText());
    throw;
  }
  pUse(writer);
  KeepSpareOutput(writer.TakeText());
}

void TMz_XmlDocument::saveToStream(TStream* pStream, bool pBeautify) {
  if (!pStream || !froot)
    return;
  // The whole text is built before the stream is touched, so a storing error writes nothing.
  render(pStream, pBeautify, [](TMz_StreamWriter& AWriter) { AWriter.flush(); });
}

std::string TMz_XmlDocument::saveToString(bool pBeautify) {
  std::string result;
  if (froot)
    render(nullptr, pBeautify, [&](TMz_StreamWriter& AWriter) { result = AWriter.ToString(); });
  return result;
}

TBytes TMz_XmlDocument::saveToBytes(bool pBeautify) {
  TBytes result;
  if (froot)
    render(nullptr, pBeautify, [&](TMz_StreamWriter& AWriter) {
      const std::string& text = AWriter.ToString();
      result.assign(text.begin(), text.end());
    });
  return result;
}

void TMz_XmlDocument::saveToFile(const std::string& pFilename, bool pBeautify) {
  ffilename = pFilename;
  // Rendered first, so a storing error leaves an existing file as it was.
  std::string text;
  if (froot)
    render(nullptr, pBeautify, [&](TMz_StreamWriter& AWriter) { text = AWriter.ToString(); });
  TFileStream stream(pFilename, fmCreate);
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

} // namespace vantrel
