#include "rtl/json_stream.h"

#include <bit>
#include <charconv>
#include <cmath>

#include "rtl/json_format.h"
#include "rtl/json_pool.h"
#include "rtl/json_tree.h"
#include "rtl/net_encoding.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"

namespace rtl {

RTL_DEFINE_CLASS(TJsonReader, "Rtl.Json.Stream")
RTL_DEFINE_CLASS(TJsonWriter, "Rtl.Json.Stream")
RTL_DEFINE_CLASS(TJsonObjectWriter, "Rtl.Json.Stream")

std::string_view JsonTokenName(TJsonToken AToken) {
  const auto& names = *RtlTypeInfo(static_cast<TJsonToken*>(nullptr)).Names;
  const auto index = static_cast<size_t>(AToken);
  return index < names.size() ? names[index] : std::string_view("?");
}

std::string TJsonOid::AsString() const {
  constexpr char hex[] = "0123456789abcdef";
  std::string text;
  text.reserve(24);
  for (uint8_t b : Bytes) {
    text += hex[b >> 4];
    text += hex[b & 0xF];
  }
  return text;
}

// TJsonReader

void TJsonReader::MakeValue() const {
  const TPending kind = FPending;
  FPending = TPending::None;
  switch (kind) {
  case TPending::None:
    return;
  case TPending::Double:
    EmplaceValue(FValue, std::bit_cast<double>(FPendingBits));
    return;
  case TPending::Int32:
    EmplaceValue(FValue, static_cast<int32_t>(FPendingBits));
    return;
  case TPending::Int64:
    EmplaceValue(FValue, FPendingBits);
    return;
  case TPending::Boolean:
    EmplaceValue(FValue, FPendingBits != 0);
    return;
  }
}

void TJsonReader::SetToken(TJsonToken AToken) {
  FPending = TPending::None;
  if (!FValue.IsEmpty())
    FValue = TValue();
  FToken = AToken;
  if (IsStartToken(AToken))
    ++FOpen;
  else if (IsEndToken(AToken))
    --FOpen;
}

void TJsonReader::SetToken(TJsonToken AToken, TValue&& AValue) {
  FPending = TPending::None;
  FValue = std::move(AValue);
  SetTokenKeepingValue(AToken);
}

void TJsonReader::SetTokenKeepingValue(TJsonToken AToken) {
  FToken = AToken;
  if (IsStartToken(AToken))
    ++FOpen;
  else if (IsEndToken(AToken))
    --FOpen;
}

void TJsonReader::SetTokenValueless(TJsonToken AToken) {
  FPending = TPending::None;
  FToken = AToken;
  if (!FValue.IsEmpty())
    FValue = TValue();
}

void TJsonReader::Skip() {
  if (FToken == TJsonToken::PropertyName)
    Read();
  if (!IsStartToken(FToken))
    return;
  const int depth = Depth();
  while (Read() && !(IsEndToken(FToken) && Depth() == depth)) {
  }
}

void TJsonReader::Close() {
  FPending = TPending::None;
  FToken = TJsonToken::None;
  FValue = TValue();
}

void TJsonReader::Rewind() {
  FPending = TPending::None;
  FToken = TJsonToken::None;
  FValue = TValue();
  FOpen = 0;
}

// TJsonWriter: the order check

namespace {

std::string_view StateName(int AState) {
  static constexpr std::string_view names[] = {"Start", "Object", "Property", "Array", "Done"};
  return names[AState];
}

} // namespace

void TJsonWriter::InvalidToken(std::string_view AToken) const {
  throw EJsonWriterException(Format("Token %s in state %s would result in an invalid JSON document", AToken,
                                    StateName(int(FState))));
}

void TJsonWriter::BeginValue(std::string_view AToken) {
  switch (FState) {
  case TState::Start:
    FState = TState::Done;
    return;
  case TState::Property:
    FState = TState::Object;
    return;
  case TState::Array:
    return;
  case TState::Object:
  case TState::Done:
    InvalidToken(AToken);
  }
}

void TJsonWriter::BeginContainer(std::string_view AToken, TContainer AKind) {
  if (FStack.size() >= JsonMaxDepth)
    throw EJsonWriterException(Format("Nesting deeper than %d levels", int(JsonMaxDepth)));
  const TState before = FState;
  BeginValue(AToken);
  try {
    FStack.push_back(AKind);
  } catch (...) {
    FState = before;
    throw;
  }
  FState = AKind == TContainer::Object ? TState::Object : TState::Array;
}

void TJsonWriter::EndContainer(std::string_view AToken, TContainer AKind) {
  const TState expected = AKind == TContainer::Object ? TState::Object : TState::Array;
  if (FState != expected || FStack.empty() || FStack.back() != AKind)
    InvalidToken(AToken);
  FStack.pop_back();
  if (FStack.empty())
    FState = TState::Done;
  else
    FState = FStack.back() == TContainer::Object ? TState::Object : TState::Array;
}

void TJsonWriter::WriteStartObject() {
  BeginContainer("StartObject", TContainer::Object);
  DoWriteStartObject();
}

void TJsonWriter::WriteEndObject() {
  EndContainer("EndObject", TContainer::Object);
  DoWriteEndObject();
}

void TJsonWriter::WriteStartArray() {
  BeginContainer("StartArray", TContainer::Array);
  DoWriteStartArray();
}

void TJsonWriter::WriteEndArray() {
  EndContainer("EndArray", TContainer::Array);
  DoWriteEndArray();
}

void TJsonWriter::WritePropertyName(std::string_view AName) {
  if (FState != TState::Object)
    InvalidToken("PropertyName");
  FState = TState::Property;
  DoWritePropertyName(AName);
}

void TJsonWriter::WriteValue(std::string_view AValue) {
  BeginValue("String");
  if (AValue.empty() && FEmptyValueHandling == TJsonEmptyValueHandling::Null)
    DoWriteEmpty();
  else
    DoWriteString(AValue);
}

void TJsonWriter::WriteValue(char32_t AValue) {
  BeginValue("String");
  std::string text;
  AppendUtf8(text, AValue);
  DoWriteString(text);
}

void TJsonWriter::WriteValue(int32_t AValue) {
  BeginValue("Integer");
  DoWriteInt32(AValue);
}

void TJsonWriter::WriteValue(uint32_t AValue) {
  BeginValue("Integer");
  DoWriteCardinal(AValue);
}

void TJsonWriter::WriteValue(uint8_t AValue) {
  BeginValue("Integer");
  DoWriteInt32(AValue);
}

void TJsonWriter::WriteValue(int64_t AValue) {
  BeginValue("Integer");
  DoWriteInt64(AValue);
}

void TJsonWriter::WriteValue(uint64_t AValue) {
  BeginValue("Integer");
  DoWriteUInt64(AValue);
}

void TJsonWriter::WriteValue(float AValue) {
  BeginValue("Float");
  DoWriteSingle(AValue);
}

void TJsonWriter::WriteValue(double AValue) {
  BeginValue("Float");
  DoWriteDouble(AValue);
}

void TJsonWriter::WriteValue(bool AValue) {
  BeginValue("Boolean");
  DoWriteBoolean(AValue);
}

void TJsonWriter::WriteValue(std::span<const uint8_t> AValue, TJsonBinaryType ABinaryType) {
  BeginValue("Bytes");
  if (AValue.empty() && FEmptyValueHandling == TJsonEmptyValueHandling::Null)
    DoWriteEmpty();
  else
    DoWriteBytes(AValue, ABinaryType);
}

void TJsonWriter::WriteValue(const TGUID& AValue) {
  BeginValue("Bytes");
  DoWriteGuid(AValue);
}

void TJsonWriter::WriteValue(TDateTime AValue) {
  BeginValue("Date");
  DoWriteDate(AValue);
}

void TJsonWriter::WriteValue(const TJsonOid& AValue) {
  BeginValue("Oid");
  DoWriteOid(AValue);
}

void TJsonWriter::WriteValue(const TJsonRegEx& AValue) {
  BeginValue("RegEx");
  DoWriteRegEx(AValue);
}

void TJsonWriter::WriteValue(const TJsonDBRef& AValue) {
  BeginValue("DBRef");
  DoWriteDBRef(AValue);
}

void TJsonWriter::WriteValue(const TJsonCodeWScope& AValue) {
  BeginValue("CodeWScope");
  DoWriteCodeWScope(AValue);
}

void TJsonWriter::WriteNull() {
  BeginValue("Null");
  DoWriteNull();
}

void TJsonWriter::WriteUndefined() {
  BeginValue("Undefined");
  DoWriteUndefined();
}

void TJsonWriter::WriteMinKey() {
  BeginValue("MinKey");
  DoWriteMinKey();
}

void TJsonWriter::WriteMaxKey() {
  BeginValue("MaxKey");
  DoWriteMaxKey();
}

void TJsonWriter::WriteCode(std::string_view ACode) {
  BeginValue("String");
  DoWriteCode(ACode);
}

void TJsonWriter::WriteComment(std::string_view AComment) {
  DoWriteComment(AComment);
}

void TJsonWriter::WriteStartConstructor(std::string_view AName) {
  DoWriteStartConstructor(AName);
}

void TJsonWriter::WriteRaw(std::string_view AJson) {
  DoWriteRaw(AJson);
}

void TJsonWriter::WriteRawValue(std::string_view AJson) {
  BeginValue("Raw");
  DoWriteRawValue(AJson);
}

void TJsonWriter::Close() {
  if (FState == TState::Property)
    WriteNull();
  while (!FStack.empty()) {
    if (FStack.back() == TContainer::Object)
      WriteEndObject();
    else
      WriteEndArray();
  }
}

void TJsonWriter::Rewind() {
  FState = TState::Start;
  FStack.clear();
}

// TJsonWriter: the JSON forms of the other tokens

void TJsonWriter::DoWriteBytes(std::span<const uint8_t> AValue, TJsonBinaryType) {
  DoWriteString(TNetEncoding::Base64().EncodeBytesToString(AValue));
}

void TJsonWriter::DoWriteDate(TDateTime AValue) {
  DoWriteString(DateToISO8601(AValue, true));
}

void TJsonWriter::DoWriteRegEx(const TJsonRegEx& AValue) {
  DoWriteString("/" + AValue.RegEx + "/" + AValue.Options);
}

void TJsonWriter::DoWriteDBRef(const TJsonDBRef& AValue) {
  DoWriteStartObject();
  DoWritePropertyName("$ref");
  DoWriteString(AValue.Ref);
  DoWritePropertyName("$id");
  DoWriteString(AValue.Id.AsString());
  DoWriteEndObject();
}

void TJsonWriter::DoWriteCodeWScope(const TJsonCodeWScope& AValue) {
  DoWriteStartObject();
  DoWritePropertyName("$code");
  DoWriteString(AValue.Code);
  DoWritePropertyName("$scope");
  DoWriteStartObject();
  for (const auto& item : AValue.Scope) {
    DoWritePropertyName(item.Ident);
    DoWriteString(item.Value);
  }
  DoWriteEndObject();
  DoWriteEndObject();
}

void TJsonWriter::DoWriteComment(std::string_view) {
  throw EJsonWriterException(Format("%s cannot write comments", ClassName()));
}

void TJsonWriter::DoWriteStartConstructor(std::string_view) {
  throw EJsonWriterException(Format("%s cannot write constructors", ClassName()));
}

void TJsonWriter::DoWriteRaw(std::string_view) {
  throw EJsonWriterException(Format("%s cannot write raw JSON", ClassName()));
}

void TJsonWriter::DoWriteRawValue(std::string_view) {
  throw EJsonWriterException(Format("%s cannot write raw JSON", ClassName()));
}

// TJsonWriter: copying tokens

void TJsonWriter::WriteCurrentToken(TJsonReader& AReader) {
  // Numbers and Booleans the reader has not made a TValue of yet are copied as they are.
  switch (AReader.FPending) {
  case TJsonReader::TPending::None:
    break;
  case TJsonReader::TPending::Double:
    WriteValue(std::bit_cast<double>(AReader.FPendingBits));
    return;
  case TJsonReader::TPending::Int32:
    WriteValue(static_cast<int32_t>(AReader.FPendingBits));
    return;
  case TJsonReader::TPending::Int64:
    WriteValue(AReader.FPendingBits);
    return;
  case TJsonReader::TPending::Boolean:
    WriteValue(AReader.FPendingBits != 0);
    return;
  }
  const TValue& value = AReader.Value();
  switch (AReader.TokenType()) {
  case TJsonToken::None:
    return;
  case TJsonToken::StartObject:
    WriteStartObject();
    return;
  case TJsonToken::StartArray:
    WriteStartArray();
    return;
  case TJsonToken::PropertyName:
    WritePropertyName(value.AsType<std::string>());
    return;
  case TJsonToken::Integer:
    if (value.Kind() == TTypeKind::tkInt64) {
      if (value.TypeInfo()->IsUnsigned)
        WriteValue(value.AsUInt64());
      else
        WriteValue(value.AsInt64());
    } else {
      WriteValue(value.AsInteger());
    }
    return;
  case TJsonToken::Float:
    WriteValue(value.AsDouble());
    return;
  case TJsonToken::String:
    WriteValue(value.IsEmpty() ? std::string() : value.AsType<std::string>());
    return;
  case TJsonToken::Boolean:
    WriteValue(value.AsBoolean());
    return;
  case TJsonToken::Null:
    WriteNull();
    return;
  case TJsonToken::Undefined:
    WriteUndefined();
    return;
  case TJsonToken::EndObject:
    WriteEndObject();
    return;
  case TJsonToken::EndArray:
    WriteEndArray();
    return;
  case TJsonToken::Date:
    WriteValue(TDateTime{value.AsDouble()});
    return;
  case TJsonToken::Bytes:
    WriteValue(value.AsType<TBytes>());
    return;
  case TJsonToken::Oid:
    WriteValue(value.AsType<TJsonOid>());
    return;
  case TJsonToken::RegEx:
    WriteValue(value.AsType<TJsonRegEx>());
    return;
  case TJsonToken::DBRef:
    WriteValue(value.AsType<TJsonDBRef>());
    return;
  case TJsonToken::CodeWScope:
    WriteValue(value.AsType<TJsonCodeWScope>());
    return;
  case TJsonToken::MinKey:
    WriteMinKey();
    return;
  case TJsonToken::MaxKey:
    WriteMaxKey();
    return;
  }
}

void TJsonWriter::WriteToken(TJsonReader& AReader, bool AWriteChildren) {
  if (AReader.TokenType() == TJsonToken::None && !AReader.Read())
    return;
  WriteCurrentToken(AReader);
  if (!AWriteChildren)
    return;
  if (AReader.TokenType() == TJsonToken::PropertyName) {
    if (!AReader.Read())
      return;
    WriteCurrentToken(AReader);
  }
  if (!TJsonReader::IsStartToken(AReader.TokenType()))
    return;
  const int depth = AReader.Depth();
  while (AReader.Read()) {
    WriteCurrentToken(AReader);
    if (TJsonReader::IsEndToken(AReader.TokenType()) && AReader.Depth() == depth)
      return;
  }
}

// TJsonObjectWriter

TJsonObjectWriter::TJsonObjectWriter(bool AOwnValue)
    : FOwnValue(AOwnValue), FTree(std::make_unique<TJsonTreeStack>()) {}

TJsonObjectWriter::~TJsonObjectWriter() {
  Discard();
}

// An unfinished tree's document dissolves before its values are freed as ordinary ones.
void TJsonObjectWriter::Discard() {
  if (FDocument) {
    json_pool::Dissolve(FDocument);
    FDocument = nullptr;
  }
  FTree->Clear();
}

json_pool::TDocument* TJsonObjectWriter::Document() {
  if (!FDocument)
    FDocument = json_pool::NewDocument();
  return FDocument;
}

void TJsonObjectWriter::Settle() {
  if (FTree->Depth() != 0 || !FDocument)
    return;
  json_pool::SetRoot(FDocument, FTree->Root());
  FDocument = nullptr;
}

TJSONValue* TJsonObjectWriter::GetJSON() const {
  return FTree->Depth() == 0 ? FTree->Root() : nullptr;
}

std::unique_ptr<TJSONValue> TJsonObjectWriter::ExtractJSON() {
  if (FTree->Depth() != 0)
    return nullptr;
  return FTree->TakeRoot();
}

void TJsonObjectWriter::Rewind() {
  TJsonWriter::Rewind();
  Discard();
}

void TJsonObjectWriter::DoWriteStartObject() {
  FTree->Open(true);
}

void TJsonObjectWriter::DoWriteEndObject() {
  {
    json_pool::TDocumentScope scope(Document());
    FTree->Close();
  }
  Settle();
}

void TJsonObjectWriter::DoWriteStartArray() {
  FTree->Open(false);
}

void TJsonObjectWriter::DoWriteEndArray() {
  DoWriteEndObject();
}

void TJsonObjectWriter::DoWritePropertyName(std::string_view AName) {
  json_pool::TDocumentScope scope(Document());
  FTree->AddName(AName);
}

void TJsonObjectWriter::DoWriteString(std::string_view AValue) {
  {
    json_pool::TDocumentScope scope(Document());
    FTree->Add(new TJSONString(AValue), json_detail::TText::FitsInline(AValue.size()));
  }
  Settle();
}

void TJsonObjectWriter::AddNumberText(std::string_view AText) {
  {
    json_pool::TDocumentScope scope(Document());
    FTree->Add(new json_detail::TTextNumber(AText), json_detail::TText::FitsInline(AText.size()));
  }
  Settle();
}

void TJsonObjectWriter::DoWriteInt64(int64_t AValue) {
  char text[24];
  AddNumberText(std::string_view(
      text, static_cast<size_t>(std::to_chars(text, text + sizeof text, AValue).ptr - text)));
}

void TJsonObjectWriter::DoWriteUInt64(uint64_t AValue) {
  char text[24];
  AddNumberText(std::string_view(
      text, static_cast<size_t>(std::to_chars(text, text + sizeof text, AValue).ptr - text)));
}

void TJsonObjectWriter::DoWriteSingle(float AValue) {
  if (std::isfinite(AValue))
    AddNumberText(JsonFloatText(AValue));
  else
    DoWriteNull();
}

void TJsonObjectWriter::DoWriteDouble(double AValue) {
  if (!std::isfinite(AValue)) {
    DoWriteNull();
    return;
  }
  {
    json_pool::TDocumentScope scope(Document());
    FTree->Add(new json_detail::TDoubleNumber(AValue), true);
  }
  Settle();
}

void TJsonObjectWriter::DoWriteBoolean(bool AValue) {
  {
    json_pool::TDocumentScope scope(Document());
    FTree->Add(AValue ? static_cast<TJSONValue*>(new TJSONTrue()) : new TJSONFalse(), true);
  }
  Settle();
}

void TJsonObjectWriter::DoWriteNull() {
  {
    json_pool::TDocumentScope scope(Document());
    FTree->Add(new TJSONNull(), true);
  }
  Settle();
}

} // namespace rtl
