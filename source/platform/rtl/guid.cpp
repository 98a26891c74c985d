#include "rtl/guid.h"

#include <cstring>

#include "rtl/random.h"

namespace rtl {

namespace {

// The text form's fields: the digits of D1, D2, D3, D4[0..1] and D4[2..7], each group preceded
// by a dash except the first.
constexpr size_t GroupDigits[] = {8, 4, 4, 4, 12};

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9')
    return AChar - '0';
  if (AChar >= 'A' && AChar <= 'F')
    return AChar - 'A' + 10;
  if (AChar >= 'a' && AChar <= 'f')
    return AChar - 'a' + 10;
  return -1;
}

// The 16 values in text order: D1 and D2, D3 most significant byte first, then D4.
std::array<uint8_t, 16> TextOrder(const TGUID& AGuid) {
  std::array<uint8_t, 16> bytes;
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<uint8_t>(AGuid.D1 >> (24 - 8 * i));
  bytes[4] = static_cast<uint8_t>(AGuid.D2 >> 8);
  bytes[5] = static_cast<uint8_t>(AGuid.D2);
  bytes[6] = static_cast<uint8_t>(AGuid.D3 >> 8);
  bytes[7] = static_cast<uint8_t>(AGuid.D3);
  std::memcpy(&bytes[8], AGuid.D4.data(), 8);
  return bytes;
}

TGUID FromTextOrder(const std::array<uint8_t, 16>& ABytes) {
  TGUID guid;
  guid.D1 = uint32_t(ABytes[0]) << 24 | uint32_t(ABytes[1]) << 16 | uint32_t(ABytes[2]) << 8 | ABytes[3];
  guid.D2 = static_cast<uint16_t>(ABytes[4] << 8 | ABytes[5]);
  guid.D3 = static_cast<uint16_t>(ABytes[6] << 8 | ABytes[7]);
  std::memcpy(guid.D4.data(), &ABytes[8], 8);
  return guid;
}

std::string HexText(const TGUID& AGuid, const char* ADigits, bool ADashes) {
  const auto bytes = TextOrder(AGuid);
  std::string text;
  size_t index = 0;
  for (size_t group = 0; group < std::size(GroupDigits); ++group) {
    if (ADashes && group > 0)
      text += '-';
    for (size_t i = 0; i < GroupDigits[group] / 2; ++i, ++index) {
      text += ADigits[bytes[index] >> 4];
      text += ADigits[bytes[index] & 15];
    }
  }
  return text;
}

} // namespace

TGUID TGUID::NewGuid() {
  std::array<uint8_t, 16> bytes;
  SystemRandomBytes(bytes.data(), bytes.size());
  TGUID guid = FromTextOrder(bytes);
  guid.D3 = static_cast<uint16_t>((guid.D3 & 0x0FFF) | 0x4000);
  guid.D4[0] = static_cast<uint8_t>((guid.D4[0] & 0x3F) | 0x80);
  return guid;
}

TGUID TGUID::Create(std::string_view AText) {
  const auto invalid = [&] {
    return EConvertError("'" + std::string(AText) + "' is not a valid GUID value");
  };
  if (AText.size() != 38 || AText.front() != '{' || AText.back() != '}')
    throw invalid();
  std::array<uint8_t, 16> bytes;
  size_t position = 1;
  size_t index = 0;
  for (size_t group = 0; group < std::size(GroupDigits); ++group) {
    if (group > 0 && AText[position++] != '-')
      throw invalid();
    for (size_t i = 0; i < GroupDigits[group] / 2; ++i, ++index, position += 2) {
      const int high = HexValue(AText[position]);
      const int low = HexValue(AText[position + 1]);
      if (high < 0 || low < 0)
        throw invalid();
      bytes[index] = static_cast<uint8_t>(high << 4 | low);
    }
  }
  return FromTextOrder(bytes);
}

TGUID TGUID::Create(std::span<const uint8_t> ABytes) {
  if (ABytes.size() != 16)
    throw EArgumentException("Byte array for GUID must be exactly 16 bytes long");
  TGUID guid;
  guid.D1 = uint32_t(ABytes[3]) << 24 | uint32_t(ABytes[2]) << 16 | uint32_t(ABytes[1]) << 8 | ABytes[0];
  guid.D2 = static_cast<uint16_t>(ABytes[5] << 8 | ABytes[4]);
  guid.D3 = static_cast<uint16_t>(ABytes[7] << 8 | ABytes[6]);
  std::memcpy(guid.D4.data(), &ABytes[8], 8);
  return guid;
}

std::string TGUID::ToString(bool ABraces) const {
  const std::string text = HexText(*this, "0123456789ABCDEF", true);
  return ABraces ? "{" + text + "}" : text;
}

TBytes TGUID::ToByteArray() const {
  TBytes bytes(16);
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<uint8_t>(D1 >> (8 * i));
  bytes[4] = static_cast<uint8_t>(D2);
  bytes[5] = static_cast<uint8_t>(D2 >> 8);
  bytes[6] = static_cast<uint8_t>(D3);
  bytes[7] = static_cast<uint8_t>(D3 >> 8);
  std::memcpy(&bytes[8], D4.data(), 8);
  return bytes;
}

std::string GuidToHex32(const TGUID& AGuid) {
  return HexText(AGuid, "0123456789abcdef", false);
}

} // namespace rtl

size_t std::hash<rtl::TGUID>::operator()(const rtl::TGUID& AGuid) const noexcept {
  uint64_t halves[2];
  std::memcpy(halves, &AGuid, sizeof halves);
  return std::hash<uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
}
