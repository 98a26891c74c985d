#pragma once
// UTF-8 checks and conversions. An ill-formed sequence is replaced by one U+FFFD per maximal
// ill-formed subpart, so damaged text never loses the characters around the damage.

#include <cstddef>
#include <string>
#include <string_view>

namespace rtl {

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

// The length of the well-formed sequence at the start of [AText, AEnd) (1 to 4), or minus the
// length of its maximal ill-formed subpart (-1 to -3). AText < AEnd.
int Utf8SequenceLength(const char* AText, const char* AEnd);

// Appends the UTF-8 form of ACodePoint; surrogates and values past U+10FFFF become U+FFFD.
void AppendUtf8(std::string& AText, char32_t ACodePoint);

// Decodes the character at ACursor and advances past it; an ill-formed subpart gives U+FFFD.
char32_t NextUtf8(const char*& ACursor, const char* AEnd);

// AText with every ill-formed subpart replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view AText);

// AText as ASCII: each code point above U+007F, and each ill-formed subpart, becomes one "?".
std::string Utf8ToAscii(std::string_view AText);

} // namespace rtl
