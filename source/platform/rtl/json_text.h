#pragma once
// JSON text as a token stream: TJsonTextReader reads text under the grammar and limits of the
// document parser (it shares its scanner); TJsonTextWriter writes compact or indented text.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/json_scanner.h"
#include "rtl/json_stream.h"

namespace rtl {

// Reads a JSON text. A number is an Integer (int32 when it fits, else int64) when its text has no
// ".", "e" or "E" and fits int64, and a Float otherwise. Errors raise EJsonReaderException with
// the line and column.
class TJsonTextReader : public TJsonReader {
  RTL_CLASS(TJsonTextReader, TJsonReader)
public:
  explicit TJsonTextReader(std::string AText);
  // Reads the whole stream, from its position to its end, before the first token.
  explicit TJsonTextReader(TStream& AStream);

  bool Read() override;
  void Close() override;
  void Rewind() override;

private:
  enum class TExpect { RootValue, Value, ObjectFirst, ObjectNext, ArrayFirst, ArrayNext, End, Finished };

  std::string FText;
  std::unique_ptr<TJsonScanner> FScanner;
  TExpect FExpect = TExpect::RootValue;
  // Open containers, innermost last: true for an object.
  std::vector<bool> FObjects;

  bool Step();
  bool ReadValue();
  bool ReadName();
  bool Open(bool AIsObject);
  bool CloseContainer();
  void AfterValue();
  TValue NumberValue(std::string_view AText) const;
};

enum class TJsonFormatting { None, Indented };
enum class TJsonStringEscapeHandling { Default, EscapeNonAscii };

// Writes JSON text into its own string or onto a stream. Indented text has 4 blanks per level,
// ": " after names, LF line breaks, and {} or [] for empty containers.
class TJsonTextWriter : public TJsonWriter {
  RTL_CLASS(TJsonTextWriter, TJsonWriter)
public:
  // Writes into Text().
  TJsonTextWriter() = default;
  // Writes onto AStream (not owned); the text reaches it on Flush, Close or destruction.
  explicit TJsonTextWriter(TStream& AStream) : FStream(&AStream) {}
  // Flushes, swallowing stream errors; call Flush or Close to see them.
  ~TJsonTextWriter() override;

  TJsonFormatting GetFormatting() const { return FFormatting; }
  void SetFormatting(TJsonFormatting AValue) { FFormatting = AValue; }
  TJsonStringEscapeHandling GetStringEscapeHandling() const { return FEscape; }
  void SetStringEscapeHandling(TJsonStringEscapeHandling AValue) { FEscape = AValue; }

  // The text written so far (when writing onto a stream: what has not been flushed yet).
  const std::string& Text() const { return FText; }

  void Flush() override;
  void Close() override;
  void Rewind() override;

protected:
  void DoWriteStartObject() override { Open('{'); }
  void DoWriteEndObject() override { CloseContainer('}'); }
  void DoWriteStartArray() override { Open('['); }
  void DoWriteEndArray() override { CloseContainer(']'); }
  void DoWritePropertyName(std::string_view AName) override;
  void DoWriteString(std::string_view AValue) override;
  void DoWriteInt32(int32_t AValue) override { DoWriteInt64(AValue); }
  void DoWriteInt64(int64_t AValue) override;
  void DoWriteUInt64(uint64_t AValue) override;
  void DoWriteSingle(float AValue) override;
  void DoWriteDouble(double AValue) override;
  void DoWriteBoolean(bool AValue) override { Emit(AValue ? "true" : "false"); }
  void DoWriteNull() override { Emit("null"); }
  void DoWriteRaw(std::string_view AJson) override { FText += AJson; }
  void DoWriteRawValue(std::string_view AJson) override { Emit(AJson); }

private:
  TStream* FStream = nullptr;
  std::string FText;
  TJsonFormatting FFormatting = TJsonFormatting::None;
  TJsonStringEscapeHandling FEscape = TJsonStringEscapeHandling::Default;
  // Per open container: whether it has an item yet.
  std::vector<bool> FHasItems;
  // A name has been written and its value goes right after it.
  bool FAfterName = false;

  void NewLine(size_t ALevel);
  // Separates a new item of the open container from the previous one.
  void BeginItem();
  void Emit(std::string_view AText);
  void Open(char ABracket);
  void CloseContainer(char ABracket);
  void FlushIfLarge();
};

} // namespace rtl
