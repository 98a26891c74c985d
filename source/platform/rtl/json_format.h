#pragma once
// The text forms JSON is written in: number text for values made in code or read from binary
// data, and string escaping. Every JSON writer of the runtime layer goes through these, so a
// value reads back with the same kind whichever way it was written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rtl {

// The longest number text a double or float can have: "-1.2345678901234567E-308", or
// "-0.000012345678901234567".
inline constexpr size_t JsonFloatTextMax = 24;

// Decimal text of an integer.
std::string JsonIntegerText(int64_t AValue);
// Shortest round-trip digits of a double, laid out as plain digits when integral and below 1E15
// in magnitude ("3", "-12"), as a plain decimal from 0.00001 to below 1E15 ("0.5", "0.00001"),
// and otherwise as mantissa "E" exponent without "+" or leading zeros ("1E20", "1.5E-7").
// NaN and infinities raise EJSONException.
std::string JsonFloatText(double AValue);
// Raises EJSONException for NaN and infinities, which have no JSON text.
void CheckJsonFloat(double AValue);
// As JsonFloatText with the float's own shortest digits (0.1f gives "0.1").
std::string JsonFloatText(float AValue);
// The text of JsonFloatText for a finite value, written to AOut (room for JsonFloatTextMax
// characters); returns the end of the text.
char* JsonFloatChars(char* AOut, double AValue);
char* JsonFloatChars(char* AOut, float AValue);

// The float that a JSON number text reads as, rounded to nearest as std::from_chars reads it;
// text that is no number or lies outside the float range raises EConvertError.
float JsonTextToSingle(std::string_view AText);
// The double that the text of JsonFloatText(AValue) reads as (not the float widened: 0.1f gives
// the double nearest 0.1), without making a string.
double JsonFloatTextToDouble(float AValue);
// Whether a double lies exactly halfway between two neighbouring normal floats (its lower 29
// mantissa bits are 1 followed by zeros).
bool IsFloatMidpoint(double AValue);
// True with the value when AText is plain decimal digits, with an optional "-", within the int32
// range.
bool JsonTextToPlainInt32(std::string_view AText, int32_t& AValue);

// Whether AText is a number by the JSON grammar.
bool IsJsonNumberText(std::string_view AText);

// Appends AText as a quoted JSON string. Quotes, backslashes and control characters are
// escaped ("/" is not). With AAscii every character outside 32..127 becomes \uXXXX (surrogate
// pairs above U+FFFF), otherwise UTF-8 stays raw.
void AppendJsonString(std::string& AOut, std::string_view AText, bool AAscii);

} // namespace rtl
