#pragma once
// The text form of component streams (UTF-8; LF written, CRLF accepted) and its converters.
//
//   object Form1: TForm1            (object TClass when unnamed; inherited/inline and [n] for the
//     Left = 0                       record prefix)
//     Caption = 'It''s'#9'here'     strings, with #n for characters below 32 and + to continue
//     Scale = 0.1                    floats always with a point or an exponent ("4.5E-7")
//     Options = [Desktop, Phone]     sets; ( ... ) lists, < item ... end > collections,
//     Data = {0A1B}                  { ... } binary in upper-case hex, 64 digits per line
//   end
//
// The converters handle syntax only and need no class: ObjectTextToBinary and
// ObjectBinaryToText are exact inverses on canonical text and on the writer's binaries. Floats
// other than the extended ones carry a suffix: S (Single), D (Double), T (Date), C (Currency).
// Text syntax errors raise EParserError "line:column: message"; binary faults raise EReadError.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/streams.h"

namespace rtl {

class TComponent;

// Where the value at a binary offset came from in the text.
struct TTextPosition {
  int64_t Offset = 0;
  int Line = 0;
  int Column = 0;
};
using TTextPositionMap = std::vector<TTextPosition>;

// Converts a text form to a binary component stream; with AMap, records the text position of each
// component, property and value (offsets ascending).
TBytes ObjectTextToBinary(std::string_view AText, TTextPositionMap* AMap = nullptr);
// Converts a binary component stream to canonical text.
std::string ObjectBinaryToText(const uint8_t* AData, size_t ASize);
inline std::string ObjectBinaryToText(const TBytes& AData) {
  return ObjectBinaryToText(AData.data(), AData.size());
}
// Stream forms: each converts from the input's position to its end.
void ObjectTextToBinary(TStream& AInput, TStream& AOutput);
void ObjectBinaryToText(TStream& AInput, TStream& AOutput);

// Reads a text form into ARoot (see TReader::ReadRootComponent); errors name "<file>:line:column",
// or "line:column" without AFileName.
void ReadComponentFromText(std::string_view AText, TComponent* ARoot, std::string_view AFileName = {});
// Writes ARoot with its children as canonical text.
std::string WriteComponentToText(TComponent* ARoot);

// The float text of the forms: the shortest digits that read back to AValue, plain for
// 1e-5 <= |v| < 1e15 ("0.1", "100.0", "-5.0"), otherwise mantissa "E" exponent ("4.5E-7").
std::string FloatToFormText(long double AValue);

} // namespace rtl
