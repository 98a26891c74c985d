#pragma once
// The JSON token layer: a reader yields a document as a stream of tokens, a writer takes one, and
// WriteToken copies from one to the other. Tokens beyond JSON (dates, binary data, object ids and
// the like) exist for BSON; the text writer and the tree builder map them onto plain JSON.
//
// The writer base checks the order of every token for all writers, so no derived writer can
// produce a malformed document: inside an object only a name or the end may come, a name takes
// one value, an end must match its container, and nothing may follow a finished root.

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/date_time.h"
#include "rtl/exceptions.h"
#include "rtl/guid.h"
#include "rtl/json.h"
#include "rtl/object.h"
#include "rtl/streams.h"
#include "rtl/typeinfo.h"
#include "rtl/value.h"

namespace rtl {

class TJsonTreeStack;
namespace json_pool {
struct TDocument;
}

enum class TJsonToken {
  None,
  StartObject,
  StartArray,
  PropertyName,
  Integer,
  Float,
  String,
  Boolean,
  Null,
  Undefined,
  EndObject,
  EndArray,
  Date,
  Bytes,
  Oid,
  RegEx,
  DBRef,
  CodeWScope,
  MinKey,
  MaxKey
};
RTL_ENUM_TYPEINFO(TJsonToken, "None", "StartObject", "StartArray", "PropertyName", "Integer", "Float", "String",
                  "Boolean", "Null", "Undefined", "EndObject", "EndArray", "Date", "Bytes", "Oid", "RegEx",
                  "DBRef", "CodeWScope", "MinKey", "MaxKey");

// The token's name as messages show it ("PropertyName").
std::string_view JsonTokenName(TJsonToken AToken);

// The subtype byte of binary data.
enum class TJsonBinaryType : uint8_t {
  Generic = 0x00,
  Function = 0x01,
  BinaryOld = 0x02,
  UUIDOld = 0x03,
  UUID = 0x04,
  MD5 = 0x05,
  UserDefined = 0x80
};

// A 12-byte object id.
struct TJsonOid {
  std::array<uint8_t, 12> Bytes{};
  // 24 lower-case hex digits.
  std::string AsString() const;
  bool operator==(const TJsonOid&) const = default;
};
RTL_RECORD_TYPEINFO(TJsonOid);

struct TJsonRegEx {
  std::string RegEx;
  std::string Options;
  bool operator==(const TJsonRegEx&) const = default;
};
RTL_RECORD_TYPEINFO(TJsonRegEx);

// A reference to a document of another collection.
struct TJsonDBRef {
  std::string Ref;
  TJsonOid Id;
  bool operator==(const TJsonDBRef&) const = default;
};
RTL_RECORD_TYPEINFO(TJsonDBRef);

// Code with the values of its free variables, each given as text.
struct TJsonCodeWScope {
  struct TScopeItem {
    std::string Ident;
    std::string Value;
    bool operator==(const TScopeItem&) const = default;
  };
  std::string Code;
  std::vector<TScopeItem> Scope;
  bool operator==(const TJsonCodeWScope&) const = default;
};
RTL_RECORD_TYPEINFO(TJsonCodeWScope);

// Reader failures. The line and column (from 1) are 0 where the source has no lines.
class EJsonReaderException : public Exception {
public:
  explicit EJsonReaderException(std::string AMessage, size_t ALine = 0, size_t AColumn = 0)
      : Exception(std::move(AMessage)), FLine(ALine), FColumn(AColumn) {}
  const char* ClassName() const noexcept override { return "EJsonReaderException"; }
  size_t LineNumber() const { return FLine; }
  size_t LinePosition() const { return FColumn; }

private:
  size_t FLine, FColumn;
};

RTL_DECLARE_EXCEPTION(EJsonWriterException, Exception);

// A source of tokens. Token values: a property name and a string are strings, Integer is an
// int32 or int64, Float a double, Date a double of type TDateTime, Bytes a TBytes record, Oid,
// RegEx, DBRef and CodeWScope their records; the other tokens have the empty value.
class TJsonReader : public TObject {
  RTL_CLASS(TJsonReader, TObject)
public:
  // Advances to the next token; false (with the token None) at the end.
  virtual bool Read() = 0;
  TJsonToken TokenType() const { return FToken; }
  const TValue& Value() const {
    if (FPending != TPending::None)
      MakeValue();
    return FValue;
  }
  // The number of containers around the current token: 0 for the root's start and end.
  int Depth() const { return IsStartToken(FToken) ? FOpen - 1 : FOpen; }
  // On a property name, moves past its value; on a start token, to the matching end.
  virtual void Skip();
  virtual void Close();
  // Back to the state before the first Read.
  virtual void Rewind();

  static bool IsStartToken(TJsonToken AToken) {
    return AToken == TJsonToken::StartObject || AToken == TJsonToken::StartArray;
  }
  static bool IsEndToken(TJsonToken AToken) {
    return AToken == TJsonToken::EndObject || AToken == TJsonToken::EndArray;
  }

protected:
  TJsonReader() = default;
  // Makes AToken the current token, keeping the depth; the first form gives it the empty value.
  void SetToken(TJsonToken AToken);
  void SetToken(TJsonToken AToken, TValue&& AValue);
  // The current token's value, for a reader that builds it in place (see EmplaceValue) before
  // it names the token with SetTokenKeepingValue.
  TValue& MutableValue() {
    FPending = TPending::None;
    return FValue;
  }
  // Gives the current token a number or Boolean value whose TValue is made only when Value() is
  // asked for: a writer copying tokens takes the value as it is.
  void SetPendingValue(double AValue) { SetPending(TPending::Double, std::bit_cast<int64_t>(AValue)); }
  void SetPendingValue(int32_t AValue) { SetPending(TPending::Int32, AValue); }
  void SetPendingValue(int64_t AValue) { SetPending(TPending::Int64, AValue); }
  void SetPendingValue(bool AValue) { SetPending(TPending::Boolean, AValue); }
  void SetTokenKeepingValue(TJsonToken AToken);
  // Replaces ATarget with TValue::From(AArgs...), built where it stands: assigning would move
  // the whole inline record buffer of a TValue on every token.
  template <class... TArgs> static void EmplaceValue(TValue& ATarget, const TArgs&... AArgs) {
    ATarget.~TValue();
    try {
      ::new (&ATarget) TValue(TValue::From(AArgs...));
    } catch (...) {
      ::new (&ATarget) TValue();
      throw;
    }
  }
  // The current token without a value (a skipped payload).
  void SetTokenValueless(TJsonToken AToken);

private:
  friend class TJsonWriter;
  enum class TPending : uint8_t { None, Double, Int32, Int64, Boolean };

  TJsonToken FToken = TJsonToken::None;
  mutable TValue FValue;
  mutable TPending FPending = TPending::None;
  // The pending value: an integer, a Boolean as 0 or 1, or the bits of a double.
  int64_t FPendingBits = 0;

  void SetPending(TPending AKind, int64_t ABits) {
    FPending = AKind;
    FPendingBits = ABits;
  }
  void MakeValue() const;
  int FOpen = 0;
};

enum class TJsonEmptyValueHandling { Empty, Null };

// A sink of tokens. The public operations check the order and then hand each token to the
// protected Do… hooks. Tokens beyond JSON map by default onto JSON: Undefined, MinKey and
// MaxKey become null, a date its ISO-8601 UTC text, binary data Base64, a GUID its text, an
// object id its 24 hex digits, a regular expression "/pattern/options", code its text, a
// reference {"$ref","$id"} and code with scope {"$code","$scope"}.
class TJsonWriter : public TObject {
  RTL_CLASS(TJsonWriter, TObject)
public:
  void WriteStartObject();
  void WriteEndObject();
  void WriteStartArray();
  void WriteEndArray();
  void WritePropertyName(std::string_view AName);

  void WriteValue(std::string_view AValue);
  void WriteValue(const char* AValue) { WriteValue(std::string_view(AValue)); }
  void WriteValue(const std::string& AValue) { WriteValue(std::string_view(AValue)); }
  void WriteValue(char32_t AValue);
  void WriteValue(int32_t AValue);
  // Cardinal.
  void WriteValue(uint32_t AValue);
  void WriteValue(uint8_t AValue);
  void WriteValue(int64_t AValue);
  void WriteValue(uint64_t AValue);
  void WriteValue(float AValue);
  void WriteValue(double AValue);
  void WriteValue(bool AValue);
  void WriteValue(std::span<const uint8_t> AValue, TJsonBinaryType ABinaryType = TJsonBinaryType::Generic);
  void WriteValue(const TBytes& AValue, TJsonBinaryType ABinaryType = TJsonBinaryType::Generic) {
    WriteValue(std::span<const uint8_t>(AValue), ABinaryType);
  }
  void WriteValue(const TGUID& AValue);
  void WriteValue(TDateTime AValue);
  void WriteValue(const TJsonOid& AValue);
  void WriteValue(const TJsonRegEx& AValue);
  void WriteValue(const TJsonDBRef& AValue);
  void WriteValue(const TJsonCodeWScope& AValue);

  void WriteNull();
  void WriteUndefined();
  void WriteMinKey();
  void WriteMaxKey();
  void WriteCode(std::string_view ACode);
  void WriteComment(std::string_view AComment);
  void WriteStartConstructor(std::string_view AName);
  // JSON text as it is, with no check of order.
  void WriteRaw(std::string_view AJson);
  // JSON text standing for one value.
  void WriteRawValue(std::string_view AJson);

  // Copies the reader's current token (reading first when the reader has not started). With
  // AWriteChildren a start token is copied with its whole content and a property name with its
  // value, and the reader stays on the last token copied.
  void WriteToken(TJsonReader& AReader, bool AWriteChildren = true);

  virtual void Flush() {}
  // Ends every open container; a name still waiting for its value gets null.
  virtual void Close();
  // Back to the start state.
  virtual void Rewind();

  TJsonEmptyValueHandling GetEmptyValueHandling() const { return FEmptyValueHandling; }
  void SetEmptyValueHandling(TJsonEmptyValueHandling AValue) { FEmptyValueHandling = AValue; }

  // The number of open containers.
  int Top() const { return static_cast<int>(FStack.size()); }

protected:
  TJsonWriter() = default;

  // Whether a name has been written whose value has not come yet.
  bool PropertyPending() const { return FState == TState::Property; }

  virtual void DoWriteStartObject() = 0;
  virtual void DoWriteEndObject() = 0;
  virtual void DoWriteStartArray() = 0;
  virtual void DoWriteEndArray() = 0;
  virtual void DoWritePropertyName(std::string_view AName) = 0;
  virtual void DoWriteString(std::string_view AValue) = 0;
  virtual void DoWriteInt32(int32_t AValue) = 0;
  virtual void DoWriteCardinal(uint32_t AValue) { DoWriteInt64(AValue); }
  virtual void DoWriteInt64(int64_t AValue) = 0;
  virtual void DoWriteUInt64(uint64_t AValue) = 0;
  virtual void DoWriteSingle(float AValue) = 0;
  virtual void DoWriteDouble(double AValue) = 0;
  virtual void DoWriteBoolean(bool AValue) = 0;
  virtual void DoWriteNull() = 0;
  // An empty string or byte array while EmptyValueHandling is Null.
  virtual void DoWriteEmpty() { DoWriteNull(); }

  virtual void DoWriteUndefined() { DoWriteNull(); }
  virtual void DoWriteMinKey() { DoWriteNull(); }
  virtual void DoWriteMaxKey() { DoWriteNull(); }
  virtual void DoWriteBytes(std::span<const uint8_t> AValue, TJsonBinaryType ABinaryType);
  virtual void DoWriteGuid(const TGUID& AValue) { DoWriteString(AValue.ToString()); }
  virtual void DoWriteDate(TDateTime AValue);
  virtual void DoWriteOid(const TJsonOid& AValue) { DoWriteString(AValue.AsString()); }
  virtual void DoWriteRegEx(const TJsonRegEx& AValue);
  virtual void DoWriteDBRef(const TJsonDBRef& AValue);
  virtual void DoWriteCodeWScope(const TJsonCodeWScope& AValue);
  virtual void DoWriteCode(std::string_view ACode) { DoWriteString(ACode); }
  virtual void DoWriteComment(std::string_view AComment);
  virtual void DoWriteStartConstructor(std::string_view AName);
  virtual void DoWriteRaw(std::string_view AJson);
  virtual void DoWriteRawValue(std::string_view AJson);

private:
  enum class TState { Start, Object, Property, Array, Done };
  enum class TContainer : uint8_t { Object, Array };

  TState FState = TState::Start;
  std::vector<TContainer> FStack;
  TJsonEmptyValueHandling FEmptyValueHandling = TJsonEmptyValueHandling::Empty;

  // Checks that a value may come now and moves to the state after it.
  void BeginValue(std::string_view AToken);
  void BeginContainer(std::string_view AToken, TContainer AKind);
  void EndContainer(std::string_view AToken, TContainer AKind);
  [[noreturn]] void InvalidToken(std::string_view AToken) const;
  void WriteCurrentToken(TJsonReader& AReader);
};

// Builds a JSON tree from tokens. The tree is there only once its outermost container has
// closed: a document cut short gives no tree at all rather than a partial one.
class TJsonObjectWriter : public TJsonWriter {
  RTL_CLASS(TJsonObjectWriter, TJsonWriter)
public:
  // The finished tree always stays with the writer until ExtractJSON hands it over, and a tree
  // that was never finished or handed over is freed with the writer. AOwnValue records the
  // caller's intent only.
  explicit TJsonObjectWriter(bool AOwnValue = true);
  ~TJsonObjectWriter() override;
  static TOwned<TJsonObjectWriter> Create(bool AOwnValue = true) { return MakeOwned<TJsonObjectWriter>(AOwnValue); }

  bool GetOwnValue() const { return FOwnValue; }
  // The finished tree, or null while the outermost container is open (or nothing was written).
  TJSONValue* GetJSON() const;
  // Hands the finished tree over; null as long as GetJSON is.
  std::unique_ptr<TJSONValue> ExtractJSON();

  void Rewind() override;

protected:
  void DoWriteStartObject() override;
  void DoWriteEndObject() override;
  void DoWriteStartArray() override;
  void DoWriteEndArray() override;
  void DoWritePropertyName(std::string_view AName) override;
  void DoWriteString(std::string_view AValue) override;
  void DoWriteInt32(int32_t AValue) override { DoWriteInt64(AValue); }
  void DoWriteInt64(int64_t AValue) override;
  void DoWriteUInt64(uint64_t AValue) override;
  void DoWriteSingle(float AValue) override;
  void DoWriteDouble(double AValue) override;
  void DoWriteBoolean(bool AValue) override;
  void DoWriteNull() override;

private:
  bool FOwnValue;
  // Containers are made when they close, from the values waiting on the stack; the root is
  // there once the outermost one has closed.
  std::unique_ptr<TJsonTreeStack> FTree;
  // The nodes of the tree being built come from a document of their own (see json_pool), which
  // the root takes over when it is finished.
  json_pool::TDocument* FDocument = nullptr;

  json_pool::TDocument* Document();
  // After a value: hands the document to a finished root.
  void Settle();
  void Discard();
  void AddNumberText(std::string_view AText);
};

} // namespace rtl
