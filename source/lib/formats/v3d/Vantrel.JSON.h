#pragma once
// JSON text helpers of the .v3d writer: a large string builder, a token reader over an object's
// text, an indented token writer into a string, and the beautifier built from the two.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "rtl/json.h"
#include "rtl/json_text.h"

namespace vantrel {

// Appends UTF-8 text into one growing buffer. There is no encoding parameter: the text is UTF-8
// throughout. Sizes are 64-bit so a large body is measured correctly.
class TLargeStringBuilder {
public:
  explicit TLargeStringBuilder(int64_t ABlockSize = 4096) : FBlockSize(ABlockSize) {}

  // When the text does not fit, the capacity grows by the size needed (position plus the new
  // bytes) rounded up to whole blocks.
  void Append(std::string_view AText);
  std::string ToString() const { return std::string(FBuffer.get(), static_cast<size_t>(FPosition)); }
  void Clear() { FPosition = 0; }

  const char* Data() const { return FBuffer.get(); }
  int64_t Size() const { return FPosition; }
  int64_t Capacity() const { return FCapacity; }

private:
  int64_t FBlockSize;
  std::unique_ptr<char[]> FBuffer;
  int64_t FPosition = 0;
  int64_t FCapacity = 0;
};

// Reads the tokens of an object's ASCII text (TJSONObject::ToJSON()); the text must not be empty.
class TJsonStreamReader : public TJsonTextReader {
  RTL_CLASS(TJsonStreamReader, TJsonTextReader)
public:
  explicit TJsonStreamReader(const TJSONObject& AObject);
};

// Writes indented JSON text into a string.
class TJsonStringWriter : public TJsonTextWriter {
  RTL_CLASS(TJsonStringWriter, TJsonTextWriter)
public:
  TJsonStringWriter() { SetFormatting(TJsonFormatting::Indented); }
  std::string ToString() const { return Text(); }
};

// The object as indented text: 4 blanks per level, ": " after names, LF line breaks. Strings come
// out as raw UTF-8, and number texts are normalised ("1.50" becomes "1.5", "1E3" becomes "1000").
std::string BeautifyJson(const TJSONObject& AObject);

} // namespace vantrel
