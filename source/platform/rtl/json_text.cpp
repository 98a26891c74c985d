#include "rtl/json_text.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "rtl/json_format.h"

namespace rtl {

RTL_DEFINE_CLASS(TJsonTextReader, "Rtl.Json.Text")
RTL_DEFINE_CLASS(TJsonTextWriter, "Rtl.Json.Text")

namespace {

std::string ReadWholeStream(TStream& AStream) {
  std::string text;
  const int64_t size = AStream.GetSize();
  const int64_t position = AStream.GetPosition();
  if (size >= 0) {
    text.resize(static_cast<size_t>(std::max<int64_t>(0, size - position)));
    AStream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    return text;
  }
  char buffer[65536];
  for (;;) {
    const int64_t count = AStream.Read(buffer, sizeof buffer);
    if (count <= 0)
      return text;
    text.append(buffer, static_cast<size_t>(count));
  }
}

} // namespace

// TJsonTextReader

TJsonTextReader::TJsonTextReader(std::string AText)
    : FText(std::move(AText)), FScanner(std::make_unique<TJsonScanner>(FText)) {}

TJsonTextReader::TJsonTextReader(TStream& AStream) : TJsonTextReader(ReadWholeStream(AStream)) {}

bool TJsonTextReader::Read() {
  try {
    return Step();
  } catch (const EJSONParseException& e) {
    throw EJsonReaderException(e.Message(), e.Line(), e.Column());
  }
}

void TJsonTextReader::Close() {
  TJsonReader::Close();
  FExpect = TExpect::Finished;
  FObjects.clear();
}

void TJsonTextReader::Rewind() {
  TJsonReader::Rewind();
  FScanner = std::make_unique<TJsonScanner>(FText);
  FExpect = TExpect::RootValue;
  FObjects.clear();
}

bool TJsonTextReader::Step() {
  TJsonScanner& s = *FScanner;
  switch (FExpect) {
  case TExpect::RootValue:
  case TExpect::Value:
    return ReadValue();
  case TExpect::ObjectFirst:
    s.SkipWhitespace();
    return s.Peek() == '}' ? CloseContainer() : ReadName();
  case TExpect::ObjectNext:
    s.SkipWhitespace();
    if (s.Peek() == '}')
      return CloseContainer();
    s.Expect(',');
    return ReadName();
  case TExpect::ArrayFirst:
    s.SkipWhitespace();
    return s.Peek() == ']' ? CloseContainer() : ReadValue();
  case TExpect::ArrayNext:
    s.SkipWhitespace();
    if (s.Peek() == ']')
      return CloseContainer();
    s.Expect(',');
    return ReadValue();
  case TExpect::End:
    s.SkipWhitespace();
    if (!s.AtEnd())
      s.Fail("Unexpected text after the JSON value");
    FExpect = TExpect::Finished;
    break;
  case TExpect::Finished:
    break;
  }
  SetToken(TJsonToken::None);
  return false;
}

bool TJsonTextReader::ReadValue() {
  TJsonScanner& s = *FScanner;
  s.SkipWhitespace();
  switch (s.Peek()) {
  case '{':
    return Open(true);
  case '[':
    return Open(false);
  case '"': {
    TValue value = TValue::From(std::string(s.ReadString()));
    AfterValue();
    SetToken(TJsonToken::String, std::move(value));
    return true;
  }
  case 't':
  case 'f': {
    const bool value = s.Peek() == 't';
    s.ReadLiteral(value ? "true" : "false");
    AfterValue();
    SetToken(TJsonToken::Boolean, TValue::From(value));
    return true;
  }
  case 'n':
    s.ReadLiteral("null");
    AfterValue();
    SetToken(TJsonToken::Null);
    return true;
  default:
    if (s.Peek() != '-' && (s.Peek() < '0' || s.Peek() > '9'))
      s.FailUnexpected();
    const std::string_view text = s.ReadNumber();
    TValue value = NumberValue(text);
    const TJsonToken token = value.Kind() == TTypeKind::tkFloat ? TJsonToken::Float : TJsonToken::Integer;
    AfterValue();
    SetToken(token, std::move(value));
    return true;
  }
}

TValue TJsonTextReader::NumberValue(std::string_view AText) const {
  const char* begin = AText.data();
  const char* end = begin + AText.size();
  if (AText.find_first_of(".eE") == std::string_view::npos) {
    int64_t integer = 0;
    const auto result = std::from_chars(begin, end, integer);
    if (result.ec == std::errc() && result.ptr == end) {
      if (integer >= std::numeric_limits<int32_t>::min() && integer <= std::numeric_limits<int32_t>::max())
        return TValue::From(static_cast<int32_t>(integer));
      return TValue::From(integer);
    }
  }
  double value = 0;
  const auto result = std::from_chars(begin, end, value);
  if (result.ec != std::errc() || result.ptr != end)
    FScanner->Fail("Number out of range", begin);
  return TValue::From(value);
}

bool TJsonTextReader::ReadName() {
  TJsonScanner& s = *FScanner;
  s.SkipWhitespace();
  if (s.Peek() != '"')
    s.FailUnexpected();
  TValue name = TValue::From(std::string(s.ReadString()));
  s.SkipWhitespace();
  s.Expect(':');
  FExpect = TExpect::Value;
  SetToken(TJsonToken::PropertyName, std::move(name));
  return true;
}

bool TJsonTextReader::Open(bool AIsObject) {
  if (FObjects.size() >= JsonMaxDepth)
    FScanner->Fail("Nesting deeper than 4096 levels");
  FScanner->Advance();
  FObjects.push_back(AIsObject);
  FExpect = AIsObject ? TExpect::ObjectFirst : TExpect::ArrayFirst;
  SetToken(AIsObject ? TJsonToken::StartObject : TJsonToken::StartArray);
  return true;
}

bool TJsonTextReader::CloseContainer() {
  FScanner->Advance();
  const bool isObject = FObjects.back();
  FObjects.pop_back();
  AfterValue();
  SetToken(isObject ? TJsonToken::EndObject : TJsonToken::EndArray);
  return true;
}

void TJsonTextReader::AfterValue() {
  if (FObjects.empty())
    FExpect = TExpect::End;
  else
    FExpect = FObjects.back() ? TExpect::ObjectNext : TExpect::ArrayNext;
}

// TJsonTextWriter

namespace {
constexpr size_t StreamChunk = 1 << 16;
}

TJsonTextWriter::~TJsonTextWriter() {
  try {
    Flush();
  } catch (const Exception&) {
    // A destructor must not throw; Flush and Close report such errors to callers who ask.
  }
}

void TJsonTextWriter::Flush() {
  if (!FStream || FText.empty())
    return;
  FStream->WriteBuffer(FText.data(), static_cast<int64_t>(FText.size()));
  FText.clear();
}

void TJsonTextWriter::FlushIfLarge() {
  if (FStream && FText.size() >= StreamChunk)
    Flush();
}

void TJsonTextWriter::Close() {
  TJsonWriter::Close();
  Flush();
}

void TJsonTextWriter::Rewind() {
  TJsonWriter::Rewind();
  FText.clear();
  FHasItems.clear();
  FAfterName = false;
}

void TJsonTextWriter::NewLine(size_t ALevel) {
  if (FFormatting != TJsonFormatting::Indented)
    return;
  FText += '\n';
  FText.append(ALevel * 4, ' ');
}

void TJsonTextWriter::BeginItem() {
  if (FAfterName) {
    FAfterName = false;
    return;
  }
  if (FHasItems.empty())
    return;
  if (FHasItems.back())
    FText += ',';
  FHasItems.back() = true;
  NewLine(FHasItems.size());
}

void TJsonTextWriter::Emit(std::string_view AText) {
  BeginItem();
  FText += AText;
  FlushIfLarge();
}

void TJsonTextWriter::Open(char ABracket) {
  BeginItem();
  FText += ABracket;
  FHasItems.push_back(false);
}

void TJsonTextWriter::CloseContainer(char ABracket) {
  const bool hasItems = FHasItems.back();
  FHasItems.pop_back();
  if (hasItems)
    NewLine(FHasItems.size());
  FText += ABracket;
  FlushIfLarge();
}

void TJsonTextWriter::DoWritePropertyName(std::string_view AName) {
  BeginItem();
  AppendJsonString(FText, AName, FEscape == TJsonStringEscapeHandling::EscapeNonAscii);
  FText += FFormatting == TJsonFormatting::Indented ? ": " : ":";
  FAfterName = true;
}

void TJsonTextWriter::DoWriteString(std::string_view AValue) {
  BeginItem();
  AppendJsonString(FText, AValue, FEscape == TJsonStringEscapeHandling::EscapeNonAscii);
  FlushIfLarge();
}

void TJsonTextWriter::DoWriteInt64(int64_t AValue) {
  Emit(JsonIntegerText(AValue));
}

void TJsonTextWriter::DoWriteUInt64(uint64_t AValue) {
  Emit(std::to_string(AValue));
}

void TJsonTextWriter::DoWriteSingle(float AValue) {
  Emit(std::isfinite(AValue) ? JsonFloatText(AValue) : std::string("null"));
}

void TJsonTextWriter::DoWriteDouble(double AValue) {
  Emit(std::isfinite(AValue) ? JsonFloatText(AValue) : std::string("null"));
}

} // namespace rtl
