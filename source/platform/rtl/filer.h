#pragma once
// Component streaming: the binary component stream ("TPF0"), TReader, which reads one into an
// existing root and creates the components it names, and TWriter, which writes a root with its
// children. The stream is little-endian; every value carries a one-byte tag (TValueType).
//
// Reading checks every length against the bytes left before it allocates, caps the nesting of
// components and lists, range-checks numbers and refuses unknown names; a failure frees every
// component the reader made and raises EReadError (EClassNotFound for an unknown class) naming
// the component, the property path and the position.

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/classes.h"
#include "rtl/streams.h"
#include "rtl/value.h"

namespace rtl {

class TCollection;
struct TPropInfo;
struct TEventInfo;

static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the 80-bit extended format");

enum class TValueType : uint8_t {
  vaNull,
  vaList,
  vaInt8,
  vaInt16,
  vaInt32,
  vaExtended,
  vaString,
  vaIdent,
  vaFalse,
  vaTrue,
  vaBinary,
  vaSet,
  vaLString,
  vaNil,
  vaCollection,
  vaSingle,
  vaCurrency,
  vaDate,
  vaWString,
  vaInt64,
  vaUTF8String,
  vaDouble,
};

// Prefix flags of a component record (stored as 0xF0 | flags, only when non-zero).
inline constexpr uint8_t ffInherited = 1;
inline constexpr uint8_t ffChildPos = 2;
inline constexpr uint8_t ffInline = 4;

// Class names are shorter than this: their length byte must not read as a record prefix.
inline constexpr size_t MaxClassNameLength = 0xF0;

// Components and lists nest at most this deep.
inline constexpr int MaxStreamNesting = 256;

// The signature that opens every component stream.
inline constexpr char FilerSignature[4] = {'T', 'P', 'F', '0'};

// How a reader names a position in its messages: "offset 57" by default, "Unit1.form:3:5" for a
// stream converted from text.
using TPositionText = std::function<std::string(int64_t APosition)>;

// The 80-bit extended format: its 10 stored bytes.
long double ExtendedFromBytes(const uint8_t* ABytes);
void ExtendedToBytes(long double AValue, uint8_t* ABytes);
// The 80-bit value nearest to the shortest decimal text of AValue in its own type, when it
// narrows back to AValue; otherwise AValue exactly. So 0.1f is stored as the extended 0.1.
long double WideningForStream(double AValue);
long double WideningForStream(float AValue);

// A bounds-checked cursor over a component stream held in memory. Every failure raises
// EReadError "<what> at <position>".
class TBinaryCursor {
public:
  TBinaryCursor(const uint8_t* AData, size_t ASize, int64_t ABase = 0);

  int64_t Position() const { return FBase + static_cast<int64_t>(FOffset); }
  size_t Offset() const { return FOffset; }
  size_t Remaining() const { return FSize - FOffset; }
  bool AtEnd() const { return FOffset == FSize; }
  void SetPositionText(TPositionText AText) { FPositionText = std::move(AText); }
  std::string PositionText(int64_t APosition) const;

  uint8_t PeekByte() const;
  uint8_t ReadByte();
  TValueType PeekValue() const { return static_cast<TValueType>(PeekByte()); }
  // A tag byte; one past vaDouble raises.
  TValueType ReadValue();
  const uint8_t* Take(size_t ACount);
  template <class T> T ReadLE() {
    const uint8_t* bytes = Take(sizeof(T));
    T value{};
    for (size_t i = 0; i < sizeof(T); ++i)
      value = static_cast<T>(value | static_cast<T>(static_cast<uint64_t>(bytes[i]) << (8 * i)));
    return value;
  }
  // Length byte and bytes, taken as they are.
  std::string ReadShortStr();
  // A uint32 count of AUnit-byte elements that must fit in the bytes left.
  uint32_t ReadCount(size_t AUnit);

  // The bodies of tagged values (the tag already read).
  int64_t ReadIntegerBody(TValueType AType);
  long double ReadFloatBody(TValueType AType);
  // Any of the four string tags as UTF-8: short and long strings as Latin-1, UTF-16 and UTF-8
  // decoded with U+FFFD for invalid sequences.
  std::string ReadStringBody(TValueType AType);
  void SkipValueBody(TValueType AType);

  // Counts one level of component or list nesting; raises past MaxStreamNesting.
  void Enter();
  void Leave() { --FDepth; }

  [[noreturn]] void Error(const std::string& AMessage) const;
  [[noreturn]] void ErrorAt(int64_t APosition, const std::string& AMessage) const;

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FOffset = 0;
  int64_t FBase;
  int FDepth = 0;
  TPositionText FPositionText;
};

bool IsIntegerValue(TValueType AType);
bool IsFloatValue(TValueType AType);
bool IsStringValue(TValueType AType);

// Appends tagged values to a byte buffer.
class TValueWriter {
public:
  TBytes& Bytes() { return FBytes; }
  size_t Size() const { return FBytes.size(); }

  void WriteValue(TValueType AType) { FBytes.push_back(static_cast<uint8_t>(AType)); }
  void WriteRaw(const void* AData, size_t ACount);
  template <class T> void WriteLE(T AValue) {
    for (size_t i = 0; i < sizeof(T); ++i)
      FBytes.push_back(static_cast<uint8_t>(static_cast<uint64_t>(AValue) >> (8 * i)));
  }
  // Raises EWriteError for a text longer than 255 bytes.
  void WriteShortStr(std::string_view AText);
  // The smallest integer tag that holds AValue.
  void WriteInteger(int64_t AValue);
  void WriteExtended(long double AValue);
  // String (ASCII up to 255 bytes), LString (longer ASCII) or UTF8String (anything else).
  void WriteString(std::string_view AText);
  void WriteIdent(std::string_view AIdent);
  void WriteBinary(const uint8_t* AData, size_t ACount);

private:
  TBytes FBytes;
};

class TReader : public TFiler {
  RTL_CLASS(TReader, TFiler)
public:
  // Reads from the stream's position to its end.
  explicit TReader(TStream& AStream);
  ~TReader() override;

  void SetPositionText(TPositionText AText) { FCursor.SetPositionText(std::move(AText)); }
  // Reads a whole component stream into ARoot, whose class must be the stream's root class, and
  // leaves the stream after the root's record; bytes after it are an error.
  void ReadRootComponent(TComponent* ARoot);

  void DefineProperty(const std::string& AName, TReaderProc AReadData, TWriterProc AWriteData,
                      bool AHasData) override;
  void DefineBinaryProperty(const std::string& AName, TStreamProc AReadData, TStreamProc AWriteData,
                            bool AHasData) override;

  // For DefineProperties users: each reads one tagged value of its kind and raises EReadError
  // for another kind.
  int32_t ReadInteger();
  int64_t ReadInt64();
  long double ReadFloat();
  float ReadSingle();
  double ReadDouble();
  std::string ReadString();
  std::string ReadIdent();
  bool ReadBoolean();
  void ReadListBegin();
  void ReadListEnd();
  // Whether the next value is the Null that ends a list.
  bool EndOfList() const { return FCursor.PeekValue() == TValueType::vaNull; }
  TValueType NextValue() const { return FCursor.PeekValue(); }
  TValueType ReadValue() { return FCursor.ReadValue(); }
  void SkipValue();
  // Clears ACollection and fills it with the items that follow.
  void ReadCollection(TCollection* ACollection);
  int64_t Position() const { return FCursor.Position(); }

private:
  struct TFixup {
    TObject* Instance;
    const TPropInfo* Prop;
    std::string Name;
    std::string Path;
    int64_t Position;
  };

  TStream& FStream;
  int64_t FStart;
  TBytes FData;
  TBinaryCursor FCursor;
  std::vector<TComponent*> FCreated;
  std::vector<TFixup> FFixups;
  // Set while DefineProperties is asked for one name.
  std::string FDefineName;
  bool FDefineFound = false;
  // The component whose properties are being read, the path of the current property (with the
  // item prefix "Items[2]." inside a collection) and where its record starts.
  TComponent* FComponent = nullptr;
  std::string FPath;
  std::string FPathPrefix;
  int64_t FPropPosition = 0;

  void ReadComponent(TComponent* AParent);
  void ReadProperties(TObject* AInstance);
  void ReadProperty(TObject* AInstance);
  void ReadPropValue(TObject* AInstance, const TPropInfo& AProp);
  TValue ReadValueFor(const TPropInfo& AProp);
  void SetValue(TObject* AInstance, const TPropInfo& AProp, const TValue& AValue);
  bool ReadDefined(TObject* AInstance, const std::string& AName);
  void ReadEvent(TObject* AInstance, const TEventInfo& AEvent);
  void BindField(TComponent* AComponent, int64_t APosition);
  void ResolveFixups();
  void CheckFields();
  void Rollback() noexcept;
  std::string PropName() const;
  [[noreturn]] void PropError(const std::string& AMessage) const;
  [[noreturn]] void KindError(std::string_view AExpected, TValueType AFound) const;
};

class TWriter : public TFiler {
  RTL_CLASS(TWriter, TFiler)
public:
  explicit TWriter(TStream& AStream);
  ~TWriter() override;

  // Writes "TPF0" and ARoot with its children.
  void WriteRootComponent(TComponent* ARoot);

  void DefineProperty(const std::string& AName, TReaderProc AReadData, TWriterProc AWriteData,
                      bool AHasData) override;
  void DefineBinaryProperty(const std::string& AName, TStreamProc AReadData, TStreamProc AWriteData,
                            bool AHasData) override;

  void WriteInteger(int64_t AValue) { FOut.WriteInteger(AValue); }
  // Floats are stored as extended values (see WideningForStream); non-finite values raise
  // EWriteError.
  void WriteFloat(long double AValue);
  void WriteSingle(float AValue);
  void WriteDouble(double AValue);
  void WriteString(std::string_view AValue) { FOut.WriteString(AValue); }
  void WriteIdent(std::string_view AValue) { FOut.WriteIdent(AValue); }
  void WriteBoolean(bool AValue) { FOut.WriteValue(AValue ? TValueType::vaTrue : TValueType::vaFalse); }
  void WriteListBegin() { FOut.WriteValue(TValueType::vaList); }
  void WriteListEnd() { FOut.WriteValue(TValueType::vaNull); }
  void WriteCollection(const TCollection* ACollection);

private:
  TStream& FStream;
  TValueWriter FOut;
  std::string FPrefix;
  std::string FComponentName;
  std::string FPath;

  void WriteComponent(TComponent* AComponent);
  void WriteProperties(const TObject* AInstance, const std::string& APrefix);
  void WriteProperty(const TObject* AInstance, const TPropInfo& AProp, const std::string& APrefix);
  void WriteDefined(const TObject* AInstance, const std::string& APrefix);
  void WriteEvent(const TObject* AInstance, const TEventInfo& AEvent, const std::string& APrefix);
  [[noreturn]] void Error(const std::string& AMessage) const;
};

// Calls the DefineProperties of AInstance: a persistent object's, or a string list's "Strings".
void DefinePropertiesOf(const TObject* AInstance, TFiler* AFiler);

// Defines a stream property held as text: read with ASet, written from AText unless it equals
// AEmpty.
void DefineTextProperty(TFiler* AFiler, const std::string& AName, const std::string& AText,
                        std::string_view AEmpty, std::function<void(std::string_view)> ASet);

} // namespace rtl
