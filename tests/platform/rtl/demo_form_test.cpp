// The demo's form as the form compiler embeds it: the bytes it begins with, the exact round trips
// between its text and binary forms, and clean failures on every truncation.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/form_text.h"
#include "rtl/resources.h"

void RegisterDemoFormResource();

namespace {

std::string DemoFormText() {
  std::ifstream in(std::filesystem::path(VANTREL_SOURCE_ROOT) / "demo" / "Unit1.form", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

rtl::TBytes DemoResource() {
  RegisterDemoFormResource();
  rtl::TResourceStream stream("TFORM1");
  rtl::TBytes bytes(static_cast<size_t>(stream.GetSize()));
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

TEST(DemoForm, TheEmbeddedResourceBeginsWithTheFormAndConvertsBothWaysExactly) {
  const rtl::TBytes bytes = DemoResource();
  const rtl::TBytes head{0x54, 0x50, 0x46, 0x30, 0x06, 0x54, 0x46, 0x6F, 0x72, 0x6D, 0x31, 0x05,
                         0x46, 0x6F, 0x72, 0x6D, 0x31, 0x04, 0x4C, 0x65, 0x66, 0x74, 0x02, 0x00};
  ASSERT_GE(bytes.size(), head.size());
  EXPECT_EQ(rtl::TBytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(head.size())), head);
  const std::string text = DemoFormText();
  EXPECT_EQ(rtl::ObjectBinaryToText(bytes), text) << "binary to text gives the canonical text back";
  EXPECT_EQ(rtl::ObjectTextToBinary(text), bytes);
  EXPECT_EQ(rtl::ObjectTextToBinary(rtl::ObjectBinaryToText(bytes)), bytes);
}

TEST(DemoForm, EveryTruncationFailsAsAReadError) {
  const rtl::TBytes bytes = DemoResource();
  for (size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    const rtl::TBytes prefix(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
    EXPECT_THROW(rtl::ObjectBinaryToText(prefix), rtl::EReadError);
  }
}

} // namespace
