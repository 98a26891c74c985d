#include "rtl/net_encoding.h"

#include "rtl/exceptions.h"
#include "rtl/utf8.h"

namespace rtl {

namespace {

constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char HexDigits[] = "0123456789ABCDEF";

std::span<const uint8_t> BytesOf(std::string_view AText) {
  return {reinterpret_cast<const uint8_t*>(AText.data()), AText.size()};
}

std::string TextOf(const std::vector<uint8_t>& ABytes) {
  return std::string(ABytes.begin(), ABytes.end());
}

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9')
    return AChar - '0';
  if (AChar >= 'a' && AChar <= 'f')
    return AChar - 'a' + 10;
  if (AChar >= 'A' && AChar <= 'F')
    return AChar - 'A' + 10;
  return -1;
}

class TBase64Encoding final : public TNetEncoding {
public:
  std::string Encode(std::string_view AText) const override { return EncodeBytes(BytesOf(AText)); }
  std::string Decode(std::string_view AText) const override { return TextOf(DecodeBytes(AText)); }

protected:
  std::string EncodeBytes(std::span<const uint8_t> ABytes) const override {
    std::string result;
    result.reserve((ABytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= ABytes.size(); i += 3) {
      const uint32_t group = (uint32_t(ABytes[i]) << 16) | (uint32_t(ABytes[i + 1]) << 8) | ABytes[i + 2];
      for (int shift = 18; shift >= 0; shift -= 6)
        result += Base64Alphabet[(group >> shift) & 0x3F];
    }
    const size_t rest = ABytes.size() - i;
    if (rest > 0) {
      uint32_t group = uint32_t(ABytes[i]) << 16;
      if (rest == 2)
        group |= uint32_t(ABytes[i + 1]) << 8;
      result += Base64Alphabet[(group >> 18) & 0x3F];
      result += Base64Alphabet[(group >> 12) & 0x3F];
      result += rest == 2 ? Base64Alphabet[(group >> 6) & 0x3F] : '=';
      result += '=';
    }
    return result;
  }

  std::vector<uint8_t> DecodeBytes(std::string_view AText) const override {
    std::vector<uint8_t> result;
    result.reserve(AText.size() / 4 * 3);
    uint32_t group = 0;
    int count = 0;   // sextets in the current group
    int padding = 0; // '=' seen so far
    for (const char c : AText) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
        continue;
      if (c == '=') {
        // Padding fills the last one or two places of the final group.
        if (count < 2 || count + padding >= 4)
          BadPadding();
        ++padding;
        continue;
      }
      const int value = SextetOf(c);
      if (value < 0)
        throw EConvertError(std::string("Invalid character '") + c + "' in Base64 text");
      if (padding > 0)
        BadPadding();
      group = (group << 6) | static_cast<uint32_t>(value);
      if (++count == 4) {
        result.push_back(static_cast<uint8_t>(group >> 16));
        result.push_back(static_cast<uint8_t>(group >> 8));
        result.push_back(static_cast<uint8_t>(group));
        group = 0;
        count = 0;
      }
    }
    if (count == 0)
      return result;
    if (count + padding != 4)
      BadPadding();
    group <<= 6 * (4 - count);
    result.push_back(static_cast<uint8_t>(group >> 16));
    if (count == 3)
      result.push_back(static_cast<uint8_t>(group >> 8));
    return result;
  }

private:
  static int SextetOf(char AChar) {
    if (AChar >= 'A' && AChar <= 'Z')
      return AChar - 'A';
    if (AChar >= 'a' && AChar <= 'z')
      return AChar - 'a' + 26;
    if (AChar >= '0' && AChar <= '9')
      return AChar - '0' + 52;
    if (AChar == '+')
      return 62;
    if (AChar == '/')
      return 63;
    return -1;
  }
  [[noreturn]] static void BadPadding() { throw EConvertError("Invalid padding in Base64 text"); }
};

class TURLEncoding final : public TNetEncoding {
public:
  std::string Encode(std::string_view AText) const override { return EncodeBytes(BytesOf(AText)); }
  std::string Decode(std::string_view AText) const override {
    return SanitizeUtf8(TextOf(DecodeBytes(AText)));
  }

protected:
  std::string EncodeBytes(std::span<const uint8_t> ABytes) const override {
    std::string result;
    result.reserve(ABytes.size());
    for (const uint8_t b : ABytes) {
      if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
          b == '.' || b == '_' || b == '~') {
        result += static_cast<char>(b);
      } else {
        result += '%';
        result += HexDigits[b >> 4];
        result += HexDigits[b & 0xF];
      }
    }
    return result;
  }

  std::vector<uint8_t> DecodeBytes(std::string_view AText) const override {
    std::vector<uint8_t> result;
    result.reserve(AText.size());
    for (size_t i = 0; i < AText.size(); ++i) {
      const char c = AText[i];
      if (c == '+') {
        result.push_back(' ');
        continue;
      }
      if (c == '%' && i + 2 < AText.size() && HexValue(AText[i + 1]) >= 0 && HexValue(AText[i + 2]) >= 0) {
        result.push_back(static_cast<uint8_t>(HexValue(AText[i + 1]) * 16 + HexValue(AText[i + 2])));
        i += 2;
        continue;
      }
      result.push_back(static_cast<uint8_t>(c));
    }
    return result;
  }
};

} // namespace

const TNetEncoding& TNetEncoding::Base64() {
  static const TBase64Encoding encoding;
  return encoding;
}

const TNetEncoding& TNetEncoding::URL() {
  static const TURLEncoding encoding;
  return encoding;
}

std::string TNetEncoding::EncodeBytesToString(std::span<const uint8_t> ABytes) const {
  return EncodeBytes(ABytes);
}

std::vector<uint8_t> TNetEncoding::DecodeStringToBytes(std::string_view AText) const {
  return DecodeBytes(AText);
}

} // namespace rtl
