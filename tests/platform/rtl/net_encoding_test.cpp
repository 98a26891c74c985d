#include "rtl/net_encoding.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"

namespace rtl {
namespace {

TEST(NetEncoding, Base64Rfc4648Vectors) {
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  const TNetEncoding& base64 = TNetEncoding::Base64();
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64.Encode(plain), encoded);
    EXPECT_EQ(base64.Decode(encoded), plain);
  }
  EXPECT_EQ(base64.Decode(" Zm9v\r\nYmFy\t"), "foobar");
  const std::vector<uint8_t> bytes{0x00, 0xFF, 0xFE, 0x80};
  EXPECT_EQ(base64.EncodeBytesToString(bytes), "AP/+gA==");
  EXPECT_EQ(base64.DecodeStringToBytes("AP/+gA=="), bytes);
}

TEST(NetEncoding, Base64RejectsStrayCharactersAndBadPadding) {
  for (const char* bad :
       {"Zm9v!", "Zg=", "Zg", "Z===", "====", "Zg==Zg==", "Zm9=v", "Zg===", "Zm-v", "Zm9vY"})
    EXPECT_THROW(TNetEncoding::Base64().Decode(bad), EConvertError) << bad;
}

TEST(NetEncoding, Url) {
  const TNetEncoding& url = TNetEncoding::URL();
  EXPECT_EQ(url.Encode("a b+c/\xC3\xBC"), "a%20b%2Bc%2F%C3%BC");
  EXPECT_EQ(url.Encode("AZaz09-._~"), "AZaz09-._~");
  const std::pair<const char*, const char*> decodes[] = {
      {"a+b%20c", "a b c"}, {"%c3%BC", "\xC3\xBC"},    {"100%", "100%"},
      {"%zz%4", "%zz%4"},   {"%FFx", "\xEF\xBF\xBDx"}, {"a%2Bb", "a+b"},
  };
  for (const auto& [encoded, plain] : decodes)
    EXPECT_EQ(url.Decode(encoded), plain) << encoded;
}

} // namespace
} // namespace rtl
