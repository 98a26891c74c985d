#pragma once
// Text encodings of the network world: Base64 (RFC 4648, padded, no line breaks) and URL
// percent-encoding. Both are stateless singletons.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TNetEncoding {
public:
  virtual ~TNetEncoding() = default;
  TNetEncoding(const TNetEncoding&) = delete;
  TNetEncoding& operator=(const TNetEncoding&) = delete;

  // Encoding raises nothing. Base64 decoding skips whitespace and raises EConvertError on any
  // other stray character or on bad padding.
  static const TNetEncoding& Base64();
  // Encode escapes the UTF-8 bytes of everything but A-Z a-z 0-9 - . _ ~ as %XX. Decode turns
  // %XX (either case) into a byte and "+" into a blank, leaves a malformed escape as it is, and
  // replaces invalid UTF-8 in the result by U+FFFD.
  static const TNetEncoding& URL();

  virtual std::string Encode(std::string_view AText) const = 0;
  virtual std::string Decode(std::string_view AText) const = 0;
  std::string EncodeBytesToString(std::span<const uint8_t> ABytes) const;
  std::vector<uint8_t> DecodeStringToBytes(std::string_view AText) const;

protected:
  TNetEncoding() = default;
  virtual std::string EncodeBytes(std::span<const uint8_t> ABytes) const = 0;
  virtual std::vector<uint8_t> DecodeBytes(std::string_view AText) const = 0;
};

} // namespace rtl
