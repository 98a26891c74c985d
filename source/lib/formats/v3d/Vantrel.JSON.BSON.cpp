#include "formats/v3d/Vantrel.JSON.BSON.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>

#include "rtl/sysutils.h"
#include "rtl/utf8.h"

namespace vantrel {

RTL_DEFINE_CLASS(TBsonWriter, "Vantrel.JSON.BSON")
RTL_DEFINE_CLASS(TBsonReader, "Vantrel.JSON.BSON")

namespace {

constexpr int64_t MaxLength = std::numeric_limits<int32_t>::max();

constexpr const char* CommentMessage = "JSON-Kommentar kann nicht als BSON geschrieben werden";
constexpr const char* ConstructorMessage = "JSON-Konstruktor kann nicht als BSON geschrieben werden";
constexpr const char* RawMessage = "Roh-JSON kann nicht als BSON geschrieben werden";
constexpr const char* BadTerminatorMessage = "Unerwartetes Ende des Objekt-Byte-Wertes";
constexpr const char* PastContainerMessage = "Nach Ende des aktuellen Container-Kontexts gelesen";
constexpr const char* CodeWScopeMessage =
    "Fehler beim Lesen von Code mit G\xC3\xBCltigkeitsbereich. Unerwartetes Token: %s";

[[noreturn]] void TooLarge() {
  throw EJsonWriterException("BSON value or document larger than 2 GiB");
}

template <class T> T LittleEndian(const uint8_t* ABytes) {
  T value;
  std::memcpy(&value, ABytes, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    auto* bytes = reinterpret_cast<uint8_t*>(&value);
    std::reverse(bytes, bytes + sizeof(T));
  }
  return value;
}

template <class T> std::array<uint8_t, sizeof(T)> LittleEndianBytes(T AValue) {
  std::array<uint8_t, sizeof(T)> bytes;
  std::memcpy(bytes.data(), &AValue, sizeof(T));
  if constexpr (std::endian::native == std::endian::big)
    std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

} // namespace

// TBsonWriter

TBsonWriter::TBsonWriter(TBinaryWriter* ABinaryWriter) : FWriter(ABinaryWriter), FWriterOwner(false) {
  if (!ABinaryWriter)
    throw EArgumentNilException("TBsonWriter needs a binary writer");
}

TBsonWriter::TBsonWriter(TStream* AStream) : FWriter(new TBinaryWriter(AStream)), FWriterOwner(true) {}

TBsonWriter::~TBsonWriter() {
  try {
    Close();
  } catch (const Exception&) {
    // A destructor must not throw; an explicit Close reports the error.
  }
  FreeContainers();
  if (FWriterOwner)
    FWriter->Free();
}

void TBsonWriter::FreeContainers() {
  FParent = nullptr;
  FRoot.reset();
}

void TBsonWriter::Close() {
  TJsonWriter::Close();
  FreeContainers();
}

void TBsonWriter::Rewind() {
  TJsonWriter::Rewind();
  FreeContainers();
  FPropertyName.clear();
}

void TBsonWriter::WriteElement(uint8_t AType, const void* APayload, size_t ASize) {
  if (!FParent)
    throw EJsonWriterException("A BSON value needs an open document or array");
  char digits[16];
  std::string_view name = FPropertyName;
  if (FParent->FIsArray) {
    const auto* array = static_cast<TBsonArray*>(FParent);
    name = std::string_view(digits, static_cast<size_t>(
                                        std::to_chars(digits, digits + sizeof digits, array->FIndex).ptr - digits));
  }
  uint8_t element[64];
  const size_t size = 1 + name.size() + 1 + ASize;
  if (size <= sizeof element) {
    element[0] = AType;
    std::memcpy(element + 1, name.data(), name.size());
    element[1 + name.size()] = 0;
    if (ASize)
      std::memcpy(element + 2 + name.size(), APayload, ASize);
    FWriter->WriteBytes({element, size});
  } else {
    FWriter->WriteByte(AType);
    FWriter->WriteBytes({reinterpret_cast<const uint8_t*>(name.data()), name.size()});
    FWriter->WriteByte(0);
    if (ASize)
      FWriter->WriteBytes({static_cast<const uint8_t*>(APayload), ASize});
  }
  if (FParent->FIsArray)
    ++static_cast<TBsonArray*>(FParent)->FIndex;
  Count(1 + static_cast<int64_t>(name.size()) + 1);
}

void TBsonWriter::OpenContainer(std::unique_ptr<TBsonContainer> AContainer, uint8_t AType) {
  if (FParent) {
    BeginElement(AType);
    FParent->FChildren.reserve(FParent->FChildren.size() + 1);
  }
  AContainer->FParent = FParent;
  AContainer->FPosition = Stream().GetPosition();
  TBsonContainer* container = AContainer.get();
  if (FParent)
    FParent->FChildren.push_back(std::move(AContainer));
  else
    FRoot = std::move(AContainer);
  FParent = container;
  FWriter->WriteInt32(0);
}

void TBsonWriter::CloseContainer() {
  FWriter->WriteByte(0);
  FParent = FParent->FParent;
  if (!FParent)
    Flush();
}

void TBsonWriter::DoWriteStartObject() {
  OpenContainer(std::make_unique<TBsonObject>(nullptr, 0), 0x03);
}

void TBsonWriter::DoWriteStartArray() {
  OpenContainer(std::make_unique<TBsonArray>(nullptr, 0), 0x04);
}

void TBsonWriter::DoWritePropertyName(std::string_view AName) {
  if (AName.find('\0') != std::string_view::npos)
    throw EJsonWriterException("A BSON element name cannot contain a NUL character");
  FPropertyName.assign(AName);
}

int64_t TBsonWriter::PatchLengths(TBsonContainer& AContainer) {
  int64_t length = AContainer.FValuesSize + 5;
  for (const auto& child : AContainer.FChildren)
    length += PatchLengths(*child);
  if (length > MaxLength)
    TooLarge();
  Stream().Seek(AContainer.FPosition, TSeekOrigin::soBeginning);
  FWriter->WriteInt32(static_cast<int32_t>(length));
  return length;
}

void TBsonWriter::Flush() {
  if (!FRoot)
    return;
  const int64_t position = Stream().GetPosition();
  TBsonContainer* const pendingIn = PropertyPending() ? FParent : nullptr;
  const int64_t valuesSize = pendingIn ? pendingIn->FValuesSize : 0;
  try {
    if (pendingIn)
      BeginElement(0x0A);
    for (TBsonContainer* open = FParent; open; open = open->FParent)
      FWriter->WriteByte(0);
    PatchLengths(*FRoot);
  } catch (...) {
    if (pendingIn)
      pendingIn->FValuesSize = valuesSize;
    Stream().Seek(position, TSeekOrigin::soBeginning);
    throw;
  }
  if (pendingIn)
    pendingIn->FValuesSize = valuesSize;
  Stream().Seek(position, TSeekOrigin::soBeginning);
}

void TBsonWriter::WriteStringPayload(std::string_view AValue) {
  if (static_cast<int64_t>(AValue.size()) >= MaxLength)
    TooLarge();
  FWriter->WriteInt32(static_cast<int32_t>(AValue.size() + 1));
  FWriter->WriteBytes({reinterpret_cast<const uint8_t*>(AValue.data()), AValue.size()});
  FWriter->WriteByte(0);
  Count(static_cast<int64_t>(AValue.size()) + 5);
}

void TBsonWriter::WriteCString(std::string_view AText) {
  FWriter->WriteBytes({reinterpret_cast<const uint8_t*>(AText.data()), AText.size()});
  FWriter->WriteByte(0);
  Count(static_cast<int64_t>(AText.size()) + 1);
}

void TBsonWriter::DoWriteString(std::string_view AValue) {
  BeginElement(0x02);
  WriteStringPayload(AValue);
}

void TBsonWriter::DoWriteCode(std::string_view ACode) {
  BeginElement(0x0D);
  WriteStringPayload(ACode);
}

void TBsonWriter::DoWriteInt32(int32_t AValue) {
  const auto bytes = LittleEndianBytes(AValue);
  WriteElement(0x10, bytes.data(), bytes.size());
  Count(4);
}

// Above the int32 range a Cardinal goes as int64, so that it reads back as the same number.
void TBsonWriter::DoWriteCardinal(uint32_t AValue) {
  if (AValue > static_cast<uint32_t>(MaxLength))
    DoWriteInt64(AValue);
  else
    DoWriteInt32(static_cast<int32_t>(AValue));
}

void TBsonWriter::DoWriteInt64(int64_t AValue) {
  const auto bytes = LittleEndianBytes(AValue);
  WriteElement(0x12, bytes.data(), bytes.size());
  Count(8);
}

void TBsonWriter::DoWriteDouble(double AValue) {
  const auto bytes = LittleEndianBytes(AValue);
  WriteElement(0x01, bytes.data(), bytes.size());
  Count(8);
}

void TBsonWriter::DoWriteBoolean(bool AValue) {
  BeginElement(0x08);
  FWriter->WriteBoolean(AValue);
  Count(1);
}

// Old binary data (subtype 2) carries a second count inside: the outer count covers it.
void TBsonWriter::DoWriteBytes(std::span<const uint8_t> AValue, TJsonBinaryType ABinaryType) {
  const bool old = ABinaryType == TJsonBinaryType::BinaryOld;
  const int64_t size = static_cast<int64_t>(AValue.size());
  if (size > MaxLength - 9)
    TooLarge();
  BeginElement(0x05);
  FWriter->WriteInt32(static_cast<int32_t>(old ? size + 4 : size));
  FWriter->WriteByte(static_cast<uint8_t>(ABinaryType));
  if (old)
    FWriter->WriteInt32(static_cast<int32_t>(size));
  FWriter->WriteBytes(AValue);
  Count(size + (old ? 9 : 5));
}

void TBsonWriter::DoWriteGuid(const TGUID& AValue) {
  const TBytes bytes = AValue.ToByteArray();
  DoWriteBytes(bytes, TJsonBinaryType::UUID);
}

void TBsonWriter::DoWriteDate(TDateTime AValue) {
  const int64_t milliseconds = DateTimeToUnix(AValue, true) * 1000;
  BeginElement(0x09);
  FWriter->WriteInt64(milliseconds);
  Count(8);
}

void TBsonWriter::DoWriteOid(const TJsonOid& AValue) {
  BeginElement(0x07);
  FWriter->WriteBytes(AValue.Bytes);
  Count(12);
}

void TBsonWriter::DoWriteRegEx(const TJsonRegEx& AValue) {
  if (AValue.RegEx.find('\0') != std::string::npos || AValue.Options.find('\0') != std::string::npos)
    throw EJsonWriterException("A BSON regular expression cannot contain a NUL character");
  BeginElement(0x0B);
  WriteCString(AValue.RegEx);
  WriteCString(AValue.Options);
}

void TBsonWriter::DoWriteDBRef(const TJsonDBRef& AValue) {
  BeginElement(0x0C);
  WriteStringPayload(AValue.Ref);
  FWriter->WriteBytes(AValue.Id.Bytes);
  Count(12);
}

// The scope is a document of string elements; its size is known up front, so the total length
// goes out directly rather than as a placeholder patched later.
void TBsonWriter::DoWriteCodeWScope(const TJsonCodeWScope& AValue) {
  int64_t scopeSize = 5;
  for (const auto& item : AValue.Scope) {
    if (item.Ident.find('\0') != std::string::npos)
      throw EJsonWriterException("A BSON element name cannot contain a NUL character");
    scopeSize +=
        1 + static_cast<int64_t>(item.Ident.size()) + 1 + 5 + static_cast<int64_t>(item.Value.size());
  }
  const int64_t total = 4 + 5 + static_cast<int64_t>(AValue.Code.size()) + scopeSize;
  if (total > MaxLength)
    TooLarge();
  BeginElement(0x0F);
  FWriter->WriteInt32(static_cast<int32_t>(total));
  Count(4);
  WriteStringPayload(AValue.Code);
  FWriter->WriteInt32(static_cast<int32_t>(scopeSize));
  for (const auto& item : AValue.Scope) {
    FWriter->WriteByte(0x02);
    FWriter->WriteBytes({reinterpret_cast<const uint8_t*>(item.Ident.data()), item.Ident.size()});
    FWriter->WriteByte(0);
    FWriter->WriteInt32(static_cast<int32_t>(item.Value.size() + 1));
    FWriter->WriteBytes({reinterpret_cast<const uint8_t*>(item.Value.data()), item.Value.size()});
    FWriter->WriteByte(0);
  }
  FWriter->WriteByte(0);
  Count(scopeSize);
}

void TBsonWriter::DoWriteComment(std::string_view) {
  throw EJsonWriterException(CommentMessage);
}

void TBsonWriter::DoWriteStartConstructor(std::string_view) {
  throw EJsonWriterException(ConstructorMessage);
}

void TBsonWriter::DoWriteRaw(std::string_view) {
  throw EJsonWriterException(RawMessage);
}

void TBsonWriter::DoWriteRawValue(std::string_view) {
  throw EJsonWriterException(RawMessage);
}

// TBsonReader

// The small readers come first so that the token code inlines them.

inline uint8_t TBsonReader::NextByte() {
  if (FNext != FEnd)
    return *FNext++;
  if (FMemory)
    DataEnds();
  return FReader->ReadByte();
}

inline int32_t TBsonReader::NextInt32() {
  if (FEnd - FNext >= 4) {
    FNext += 4;
    return LittleEndian<int32_t>(FNext - 4);
  }
  if (FMemory)
    DataEnds();
  return FReader->ReadInt32();
}

inline int64_t TBsonReader::NextInt64() {
  if (FEnd - FNext >= 8) {
    FNext += 8;
    return LittleEndian<int64_t>(FNext - 8);
  }
  if (FMemory)
    DataEnds();
  return FReader->ReadInt64();
}

inline double TBsonReader::NextDouble() {
  if (FEnd - FNext >= 8) {
    FNext += 8;
    return LittleEndian<double>(FNext - 8);
  }
  if (FMemory)
    DataEnds();
  return FReader->ReadDouble();
}

inline void TBsonReader::Consume(int64_t ACount) {
  TContainerContext& context = Current();
  if (ACount > context.Length - context.Position)
    throw EJsonReaderException(PastContainerMessage);
  context.Position += ACount;
}

void TBsonReader::DataEnds() {
  throw EReadError(messages::ReadError);
}

TBsonReader::TBsonReader(TStream* AStream, bool AReadRootValueAsArray)
    : FReader(std::make_unique<TBinaryReader>(AStream)), FMemory(dynamic_cast<TCustomMemoryStream*>(AStream)),
      FReadRootValueAsArray(AReadRootValueAsArray), FByteBuffer(128), FStartPosition(AStream->GetPosition()) {
}

TBsonReader::~TBsonReader() {
  SyncStream();
}

// A position outside the memory leaves the window shut: every read then meets the end of data.
void TBsonReader::OpenInput() {
  const int64_t size = FMemory->GetSize();
  const int64_t position = FMemory->GetPosition();
  if (position < 0 || position >= size)
    return;
  FBase = FMemory->Memory();
  FNext = FBase + position;
  FEnd = FBase + size;
  FInputOpen = true;
}

void TBsonReader::SyncStream() noexcept {
  if (!FInputOpen)
    return;
  FInputOpen = false;
  FMemory->Seek(FNext - FBase, TSeekOrigin::soBeginning);
  FNext = FEnd = nullptr;
}

// Whether the reader gives the token a value (the others have the empty value).
bool TBsonReader::HasValue(TJsonToken AToken) {
  switch (AToken) {
  case TJsonToken::None:
  case TJsonToken::StartObject:
  case TJsonToken::StartArray:
  case TJsonToken::Null:
  case TJsonToken::Undefined:
  case TJsonToken::EndObject:
  case TJsonToken::EndArray:
  case TJsonToken::MinKey:
  case TJsonToken::MaxKey:
    return false;
  default:
    return true;
  }
}

void TBsonReader::EndOnStreamError() {
  SyncStream();
  FStack.clear();
  FValuePending = false;
  FStarted = true;
  SetToken(TJsonToken::None);
}

bool TBsonReader::Read() {
  try {
    if (FMemory) {
      // Memory that moved since the last Read (the stream grew) is read afresh.
      if (FInputOpen && FMemory->Memory() != FBase)
        SyncStream();
      if (!FInputOpen)
        OpenInput();
    }
    const TJsonToken token = ReadCurrent();
    SetTokenKeepingValue(token);
    if (FStack.empty())
      SyncStream();
    return token != TJsonToken::None;
  } catch (const EStreamError&) {
    EndOnStreamError();
    return false;
  }
}

void TBsonReader::Close() {
  SyncStream();
  TJsonReader::Close();
  FStack.clear();
  FValuePending = false;
  FStarted = true;
}

void TBsonReader::Rewind() {
  SyncStream();
  TJsonReader::Rewind();
  FStack.clear();
  FValuePending = false;
  FStarted = false;
  FReader->BaseStream()->Seek(FStartPosition, TSeekOrigin::soBeginning);
}

// Doubles and int32s make up the bulk of a model's data; they take the short way.
inline TJsonToken TBsonReader::ReadValue() {
  switch (FCurrentElementType) {
  case 0x01:
    Consume(8);
    SetPendingValue(NextDouble());
    return TJsonToken::Float;
  case 0x10:
    Consume(4);
    SetPendingValue(NextInt32());
    return TJsonToken::Integer;
  default:
    return ReadOtherValue();
  }
}

TJsonToken TBsonReader::ReadOtherValue() {
  switch (FCurrentElementType) {
  case 0x02:
  case 0x0D:
  case 0x0E:
    EmplaceValue(MutableValue(), ReadString());
    return TJsonToken::String;
  case 0x03:
  case 0x04:
    return PushContainer(FCurrentElementType);
  case 0x05: {
    Consume(5);
    int32_t count = NextInt32();
    const auto subtype = static_cast<TJsonBinaryType>(NextByte());
    if (subtype == TJsonBinaryType::BinaryOld) {
      Consume(4);
      const int32_t inner = NextInt32();
      if (count < 4 || inner != count - 4)
        throw EJsonReaderException("Invalid length of old binary data");
      count = inner;
    }
    CheckPayload(count);
    Consume(count);
    EmplaceValue(MutableValue(), NextByteArray(count));
    return TJsonToken::Bytes;
  }
  case 0x06:
    return TJsonToken::Undefined;
  case 0x07: {
    Consume(12);
    TJsonOid oid;
    const std::string_view bytes = NextBytes(12);
    std::copy(bytes.begin(), bytes.end(), oid.Bytes.begin());
    EmplaceValue(MutableValue(), oid);
    return TJsonToken::Oid;
  }
  case 0x08:
    Consume(1);
    SetPendingValue(NextByte() != 0);
    return TJsonToken::Boolean;
  case 0x09: {
    Consume(8);
    const int64_t milliseconds = NextInt64();
    try {
      EmplaceValue(MutableValue(), UnixToDateTime(milliseconds / 1000, true).Value, TypeInfoDateTime());
    } catch (const EConvertError& e) {
      throw EJsonReaderException(e.Message());
    }
    return TJsonToken::Date;
  }
  case 0x0A:
    return TJsonToken::Null;
  case 0x0B: {
    TJsonRegEx regEx;
    regEx.RegEx = ReadCString();
    regEx.Options = ReadCString();
    EmplaceValue(MutableValue(), regEx);
    return TJsonToken::RegEx;
  }
  case 0x0C: {
    TJsonDBRef ref;
    ref.Ref = ReadString();
    Consume(12);
    const std::string_view bytes = NextBytes(12);
    std::copy(bytes.begin(), bytes.end(), ref.Id.Bytes.begin());
    EmplaceValue(MutableValue(), ref);
    return TJsonToken::DBRef;
  }
  case 0x0F:
    EmplaceValue(MutableValue(), ReadCodeWScope());
    return TJsonToken::CodeWScope;
  case 0x11:
  case 0x12:
    Consume(8);
    SetPendingValue(NextInt64());
    return TJsonToken::Integer;
  case 0x7F:
    return TJsonToken::MaxKey;
  case 0xFF:
    return TJsonToken::MinKey;
  default:
    throw EJsonReaderException(Format("unsupported BSON element type 0x%.2X", FCurrentElementType));
  }
}

TJsonToken TBsonReader::ReadToken() {
  if (!FStarted) {
    FStarted = true;
    const int32_t length = NextInt32();
    if (length < 5)
      throw EJsonReaderException(PastContainerMessage);
    const uint8_t type = FReadRootValueAsArray ? 0x04 : 0x03;
    FStack.push_back({type, length, 4});
    return type == 0x03 ? TJsonToken::StartObject : TJsonToken::StartArray;
  }
  if (FValuePending) {
    FValuePending = false;
    return ReadValue();
  }
  if (FStack.empty())
    return TJsonToken::None;
  const TContainerContext& context = Current();
  if (context.Position < context.Length - 1)
    return ReadElementStart();
  if (context.Position == context.Length - 1)
    return ReadContainerEnd();
  throw EJsonReaderException(PastContainerMessage);
}

TJsonToken TBsonReader::ReadElementStart() {
  Consume(1);
  FCurrentElementType = NextByte();
  // The name comes first: a document whose declared length runs past the data ends in the
  // name with a stream error, so the token stream simply ends there.
  const std::string_view name = NextCString();
  const uint8_t type = FCurrentElementType;
  if ((type < 0x01 || type > 0x12) && type != 0x7F && type != 0xFF)
    throw EJsonReaderException(Format("unsupported BSON element type 0x%.2X", type));
  if (Current().Type == 0x04)
    return ReadValue();
  EmplaceValue(MutableValue(), Utf8Text(name));
  FValuePending = true;
  return TJsonToken::PropertyName;
}

TJsonToken TBsonReader::ReadContainerEnd() {
  Consume(1);
  if (NextByte() != 0)
    throw EJsonReaderException(BadTerminatorMessage);
  const TContainerContext closed = Current();
  FStack.pop_back();
  if (!FStack.empty())
    Current().Position += closed.Length;
  return closed.Type == 0x03 ? TJsonToken::EndObject : TJsonToken::EndArray;
}

TJsonToken TBsonReader::PushContainer(uint8_t AType) {
  if (FStack.size() >= JsonMaxDepth)
    throw EJsonReaderException("BSON nesting deeper than 4096 levels");
  const int32_t length = NextInt32();
  const TContainerContext& parent = Current();
  // The child's length field counts in the child; the parent takes the whole length at its end.
  if (length < 5 || length > parent.Length - parent.Position)
    throw EJsonReaderException(PastContainerMessage);
  FStack.push_back({AType, length, 4});
  return AType == 0x03 ? TJsonToken::StartObject : TJsonToken::StartArray;
}

// Reads the next token into the current value, leaving that empty for a token without one.
TJsonToken TBsonReader::ReadCurrent() {
  TValue& value = MutableValue();
  const TJsonToken token = ReadToken();
  if (!HasValue(token) && !value.IsEmpty())
    value = TValue();
  return token;
}

// The scope is read through the reader's own tokens: names, each followed by a scalar.
TJsonCodeWScope TBsonReader::ReadCodeWScope() {
  Consume(4);
  NextInt32();
  TJsonCodeWScope result;
  result.Code = ReadString();
  const size_t depth = FStack.size();
  PushContainer(0x03);
  for (;;) {
    const TJsonToken token = ReadCurrent();
    if (token == TJsonToken::EndObject && FStack.size() == depth)
      return result;
    const std::string name =
        token == TJsonToken::PropertyName ? Value().AsType<std::string>() : std::string();
    const TJsonToken valueToken = token == TJsonToken::PropertyName ? ReadCurrent() : token;
    if (token != TJsonToken::PropertyName || IsStartToken(valueToken) || IsEndToken(valueToken) ||
        valueToken == TJsonToken::None)
      throw EJsonReaderException(Format(CodeWScopeMessage, JsonTokenName(valueToken)));
    const TValue& value = Value();
    const bool hasText = !value.IsEmpty() && value.Kind() != TTypeKind::tkRecord;
    result.Scope.push_back({name, hasText ? value.AsString() : std::string()});
  }
}

int64_t TBsonReader::BytesLeft() const {
  if (FMemory)
    return FEnd - FNext;
  TStream& stream = *FReader->BaseStream();
  const int64_t size = stream.GetSize();
  return size < 0 ? -1 : std::max<int64_t>(0, size - stream.GetPosition());
}

void TBsonReader::CheckPayload(int64_t ACount) {
  if (ACount < 0)
    throw EJsonReaderException("");
  const TContainerContext& context = Current();
  if (ACount > context.Length - context.Position)
    throw EJsonReaderException(PastContainerMessage);
  const int64_t left = BytesLeft();
  if (left >= 0 && ACount > left)
    throw EJsonReaderException("");
}

std::string_view TBsonReader::NextBytes(int64_t ACount) {
  if (FEnd - FNext >= ACount) {
    const auto* bytes = reinterpret_cast<const char*>(FNext);
    FNext += ACount;
    return {bytes, static_cast<size_t>(ACount)};
  }
  if (FMemory)
    DataEnds();
  if (static_cast<int64_t>(FByteBuffer.size()) < ACount)
    FByteBuffer.resize(std::bit_ceil(static_cast<uint64_t>(ACount)));
  FReader->BaseStream()->ReadBuffer(FByteBuffer.data(), ACount);
  return {reinterpret_cast<const char*>(FByteBuffer.data()), static_cast<size_t>(ACount)};
}

// A stream of unknown size gives its bytes as they arrive rather than up to a count from the data.
TBytes TBsonReader::NextByteArray(int64_t ACount) {
  if (!FMemory)
    return FReader->ReadBytes(ACount);
  const std::string_view bytes = NextBytes(ACount);
  return TBytes(bytes.begin(), bytes.end());
}

// Over a memory stream the terminator is found by scanning in place; else the text goes byte by
// byte into the scratch buffer, which doubles as it fills. Data that ends before the terminator
// is a stream error, as a byte-by-byte read would meet it.
std::string_view TBsonReader::NextCString() {
  if (FMemory) {
    // Names are short (array indices most of all): a plain loop finds their end before a
    // library call would have started.
    const uint8_t* nul = FNext;
    const uint8_t* quick = FEnd - FNext > 16 ? FNext + 16 : FEnd;
    while (nul < quick && *nul != 0)
      ++nul;
    if (nul == quick)
      nul = nul == FEnd ? nullptr
                        : static_cast<const uint8_t*>(std::memchr(nul, 0, static_cast<size_t>(FEnd - nul)));
    if (!nul)
      DataEnds();
    const int64_t size = nul - FNext;
    Consume(size + 1);
    const auto* text = reinterpret_cast<const char*>(FNext);
    FNext = nul + 1;
    return {text, static_cast<size_t>(size)};
  }
  const TContainerContext& context = Current();
  const int64_t limit = context.Length - context.Position;
  size_t size = 0;
  for (;;) {
    if (static_cast<int64_t>(size) >= limit)
      throw EJsonReaderException(PastContainerMessage);
    const uint8_t byte = FReader->ReadByte();
    if (byte == 0)
      break;
    if (size == FByteBuffer.size())
      FByteBuffer.resize(FByteBuffer.size() * 2);
    FByteBuffer[size++] = byte;
  }
  Consume(static_cast<int64_t>(size) + 1);
  return {reinterpret_cast<const char*>(FByteBuffer.data()), size};
}

void TBsonReader::SkipBytes(int64_t ACount) {
  CheckPayload(ACount);
  Consume(ACount);
  if (FMemory)
    FNext += ACount;
  else
    FReader->BaseStream()->Seek(ACount, TSeekOrigin::soCurrent);
}

// Names and texts reach the reader as UTF-8; damaged sequences become U+FFFD.
std::string TBsonReader::Utf8Text(std::string_view AText) {
  for (const char c : AText)
    if (static_cast<unsigned char>(c) >= 0x80)
      return SanitizeUtf8(AText);
  return std::string(AText);
}

std::string TBsonReader::ReadString() {
  Consume(4);
  const int32_t length = NextInt32();
  if (length <= 0)
    throw EJsonReaderException("");
  CheckPayload(length);
  Consume(length);
  std::string text = Utf8Text(NextBytes(length - 1));
  NextByte();
  return text;
}

// Moves past the payload of a string, binary or code-with-scope element without reading it.
void TBsonReader::SkipPayload() {
  FValuePending = false;
  Consume(4);
  const int32_t count = NextInt32();
  switch (FCurrentElementType) {
  case 0x05:
    if (count < 0)
      throw EJsonReaderException("");
    SkipBytes(int64_t(count) + 1);
    SetTokenValueless(TJsonToken::Bytes);
    return;
  case 0x0F:
    if (count < 4)
      throw EJsonReaderException("");
    SkipBytes(int64_t(count) - 4);
    SetTokenValueless(TJsonToken::CodeWScope);
    return;
  default:
    if (count <= 0)
      throw EJsonReaderException("");
    SkipBytes(count);
    SetTokenValueless(TJsonToken::String);
    return;
  }
}

void TBsonReader::Skip() {
  try {
    if (TokenType() == TJsonToken::PropertyName && FValuePending) {
      switch (FCurrentElementType) {
      case 0x02:
      case 0x05:
      case 0x0D:
      case 0x0E:
      case 0x0F:
        if (FMemory && !FInputOpen)
          OpenInput();
        SkipPayload();
        break;
      default:
        Read();
      }
    }
    SyncStream();
    if (!IsStartToken(TokenType()))
      return;
    TContainerContext& context = Current();
    const int64_t rest = context.Length - 1 - context.Position;
    FReader->BaseStream()->Seek(rest, TSeekOrigin::soCurrent);
    context.Position += rest;
    Read();
  } catch (const EStreamError&) {
    EndOnStreamError();
  }
}

} // namespace vantrel
