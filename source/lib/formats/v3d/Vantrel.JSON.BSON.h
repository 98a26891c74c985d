#pragma once
// The BSON codec (binary JSON, little-endian): TBsonWriter writes the token stream of a JSON writer
// as one BSON document, TBsonReader reads a BSON document back as the token stream of a JSON
// reader.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/binary_io.h"
#include "rtl/json_stream.h"

namespace vantrel {

class TBsonWriter : public TJsonWriter {
  RTL_CLASS(TBsonWriter, TJsonWriter)
public:
  // A document or array written so far. Its length is patched in once its size is known: the
  // bytes of its own elements (FValuesSize, which for a nested container counts only its type
  // byte and name), plus the lengths of its nested containers, plus 5 for the length field and
  // the terminator.
  class TBsonContainer {
  public:
    TBsonContainer(TBsonContainer* AParent, int64_t APosition, bool AIsArray = false)
        : FParent(AParent), FPosition(APosition), FIsArray(AIsArray) {}
    virtual ~TBsonContainer() = default;
    TBsonContainer(const TBsonContainer&) = delete;
    TBsonContainer& operator=(const TBsonContainer&) = delete;

    TBsonContainer* FParent;
    // The stream position of the length field.
    int64_t FPosition;
    int64_t FValuesSize = 0;
    std::vector<std::unique_ptr<TBsonContainer>> FChildren;
    // Whether this is a TBsonArray, known without a cast on every element.
    const bool FIsArray;
  };
  class TBsonObject : public TBsonContainer {
  public:
    using TBsonContainer::TBsonContainer;
  };
  class TBsonArray : public TBsonContainer {
  public:
    TBsonArray(TBsonContainer* AParent, int64_t APosition) : TBsonContainer(AParent, APosition, true) {}
    // The index that names the next element.
    int FIndex = 0;
  };

  // Writes through ABinaryWriter, which stays the caller's.
  explicit TBsonWriter(TBinaryWriter* ABinaryWriter);
  // Writes onto AStream (not owned) through a binary writer of its own.
  explicit TBsonWriter(TStream* AStream);
  // Closes the writer, swallowing errors; Close reports them.
  ~TBsonWriter() override;

  // Makes the stream hold a complete document as far as written: a pending name gets a
  // provisional null, every open container its terminator and every length its current value.
  // The position then returns to where the next token goes, over the provisional bytes.
  void Flush() override;
  void Close() override;
  void Rewind() override;

protected:
  TBinaryWriter& BinaryWriter() const { return *FWriter; }

  void DoWriteStartObject() override;
  void DoWriteEndObject() override { CloseContainer(); }
  void DoWriteStartArray() override;
  void DoWriteEndArray() override { CloseContainer(); }
  void DoWritePropertyName(std::string_view AName) override;
  void DoWriteString(std::string_view AValue) override;
  void DoWriteInt32(int32_t AValue) override;
  void DoWriteCardinal(uint32_t AValue) override;
  void DoWriteInt64(int64_t AValue) override;
  void DoWriteUInt64(uint64_t AValue) override { DoWriteInt64(static_cast<int64_t>(AValue)); }
  void DoWriteSingle(float AValue) override { DoWriteDouble(AValue); }
  void DoWriteDouble(double AValue) override;
  void DoWriteBoolean(bool AValue) override;
  void DoWriteNull() override { BeginElement(0x0A); }
  void DoWriteEmpty() override {}
  void DoWriteUndefined() override { BeginElement(0x06); }
  void DoWriteMinKey() override { BeginElement(0xFF); }
  void DoWriteMaxKey() override { BeginElement(0x7F); }
  void DoWriteBytes(std::span<const uint8_t> AValue, TJsonBinaryType ABinaryType) override;
  void DoWriteGuid(const TGUID& AValue) override;
  void DoWriteDate(TDateTime AValue) override;
  void DoWriteOid(const TJsonOid& AValue) override;
  void DoWriteRegEx(const TJsonRegEx& AValue) override;
  void DoWriteDBRef(const TJsonDBRef& AValue) override;
  void DoWriteCodeWScope(const TJsonCodeWScope& AValue) override;
  void DoWriteCode(std::string_view ACode) override;
  void DoWriteComment(std::string_view AComment) override;
  void DoWriteStartConstructor(std::string_view AName) override;
  void DoWriteRaw(std::string_view AJson) override;
  void DoWriteRawValue(std::string_view AJson) override;

  // An int32 byte count + 1, the UTF-8 bytes and a terminator, counted in the open container.
  void WriteStringPayload(std::string_view AValue);

private:
  TBinaryWriter* FWriter;
  bool FWriterOwner;
  std::unique_ptr<TBsonContainer> FRoot;
  TBsonContainer* FParent = nullptr;
  std::string FPropertyName;

  TStream& Stream() const { return *FWriter->BaseStream(); }
  // The type byte and name of the next element of the open container.
  void BeginElement(uint8_t AType) { WriteElement(AType, nullptr, 0); }
  // The type byte and name of the next element and then ASize bytes of its payload, in one write
  // where they fit a small buffer: a model's arrays hold millions of small elements. The payload
  // is counted by the caller.
  void WriteElement(uint8_t AType, const void* APayload, size_t ASize);
  void Count(int64_t ABytes) { FParent->FValuesSize += ABytes; }
  void OpenContainer(std::unique_ptr<TBsonContainer> AContainer, uint8_t AType);
  void CloseContainer();
  // The text and a terminator; the caller has checked that it holds no NUL.
  void WriteCString(std::string_view AText);
  int64_t PatchLengths(TBsonContainer& AContainer);
  void FreeContainers();
};

class TBsonReader : public TJsonReader {
  RTL_CLASS(TBsonReader, TJsonReader)
public:
  struct TContainerContext {
    // 3 for a document, 4 for an array.
    uint8_t Type;
    // The declared length.
    int32_t Length;
    // The bytes of the container consumed so far, its length field included.
    int64_t Position;
  };

  // Reads the document at AStream's position (the stream is not owned). With
  // AReadRootValueAsArray the outermost container is read as an array.
  explicit TBsonReader(TStream* AStream, bool AReadRootValueAsArray = false);
  ~TBsonReader() override;

  // A stream error (data cut short) ends the token stream: the token becomes None and Read
  // returns false. Malformed data raises EJsonReaderException.
  bool Read() override;
  void Skip() override;
  void Close() override;
  // Also returns the stream to where reading began.
  void Rewind() override;

private:
  std::unique_ptr<TBinaryReader> FReader;
  // The same object as the stream when it is a memory stream, else null.
  TCustomMemoryStream* FMemory;
  // Over a memory stream, its bytes from the position on are read in place, without a call to
  // the stream per token. The stream's position catches up when the document ends, on Skip,
  // Rewind and Close, and when the reader goes; in between the reader owns it. Over other
  // streams every read goes through FReader.
  const uint8_t* FBase = nullptr;
  const uint8_t* FNext = nullptr;
  const uint8_t* FEnd = nullptr;
  bool FInputOpen = false;
  std::vector<TContainerContext> FStack;
  bool FReadRootValueAsArray;
  uint8_t FCurrentElementType = 0;
  std::vector<uint8_t> FByteBuffer;
  int64_t FStartPosition;
  bool FStarted = false;
  // A document's element name has been read; its value comes with the next Read.
  bool FValuePending = false;

  TContainerContext& Current() { return FStack.back(); }
  static bool HasValue(TJsonToken AToken);
  void OpenInput();
  void SyncStream() noexcept;
  TJsonToken ReadCurrent();
  // The next token; its value goes into the current value.
  TJsonToken ReadToken();
  TJsonToken ReadElementStart();
  TJsonToken ReadContainerEnd();
  TJsonToken ReadValue();
  TJsonToken ReadOtherValue();
  TJsonToken PushContainer(uint8_t AType);
  TJsonCodeWScope ReadCodeWScope();
  void EndOnStreamError();

  // Consumes ACount bytes of the current container, raising before anything is read when they
  // would run past its declared end.
  void Consume(int64_t ACount);
  // The bytes left in the stream, or -1 when it cannot tell.
  int64_t BytesLeft() const;
  // A length from the data for a payload of ACount bytes: raises when it is negative, runs
  // past the stream or past the current container.
  void CheckPayload(int64_t ACount);

  // The next bytes of the stream, as little-endian values; data ending early raises EReadError.
  uint8_t NextByte();
  int32_t NextInt32();
  int64_t NextInt64();
  double NextDouble();
  // ACount bytes, in place over a memory stream, else in the scratch buffer.
  std::string_view NextBytes(int64_t ACount);
  TBytes NextByteArray(int64_t ACount);
  // A NUL-terminated text, counted in the current container.
  std::string_view NextCString();
  void SkipBytes(int64_t ACount);
  [[noreturn]] static void DataEnds();

  std::string ReadCString() { return Utf8Text(NextCString()); }
  std::string ReadString();
  void SkipPayload();
  static std::string Utf8Text(std::string_view AText);
};

} // namespace vantrel
