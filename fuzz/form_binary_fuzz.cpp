// form_binary: any bytes either fail with a read error or convert to text that converts to the
// same binary and text again (text -> binary -> text -> binary is stable). Read into the fixture
// form, they either fail with a filer error (or an unknown class), freeing what was made, or load
// a form that writes back without error.

#include <cstddef>
#include <cstdint>
#include <string>

#include "form_fixture.h"
#include "rtl/filer.h"
#include "rtl/form_text.h"

using formfuzz::Check;

namespace {

void CheckConversion(const uint8_t* AData, size_t ASize) {
  std::string text;
  try {
    text = rtl::ObjectBinaryToText(AData, ASize);
  } catch (const rtl::EReadError&) {
    return;
  }
  const rtl::TBytes binary = rtl::ObjectTextToBinary(text);
  const std::string again = rtl::ObjectBinaryToText(binary);
  Check(again == text);
  Check(rtl::ObjectTextToBinary(again) == binary);
}

void CheckReading(const uint8_t* AData, size_t ASize) {
  rtl::TOwned<formfuzz::TFuzzForm> form(rtl::New<formfuzz::TFuzzForm>(nullptr));
  rtl::TBytesStream stream(rtl::TBytes(AData, AData + ASize));
  try {
    rtl::TReader reader(stream);
    reader.ReadRootComponent(form.get());
  } catch (const rtl::EReadError&) {
    Check(form->ComponentCount() == 0);
    return;
  } catch (const rtl::EClassNotFound&) {
    Check(form->ComponentCount() == 0);
    return;
  }
  const std::string text = rtl::WriteComponentToText(form.get());
  Check(rtl::ObjectBinaryToText(rtl::ObjectTextToBinary(text)) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  formfuzz::RegisterFixtureClasses();
  CheckConversion(AData, ASize);
  CheckReading(AData, ASize);
  return 0;
}
