// form_text: any text either fails with a parser error or converts to a binary whose text
// converts back to the same binary and text (text -> binary -> text -> binary is stable). Read
// into the fixture form, it either fails with a filer or parser error (or an unknown class),
// freeing what was made, or loads a form that writes back without error.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "form_fixture.h"
#include "rtl/filer.h"
#include "rtl/form_text.h"

using formfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  formfuzz::RegisterFixtureClasses();
  const std::string_view text(reinterpret_cast<const char*>(AData), ASize);
  rtl::TBytes binary;
  try {
    binary = rtl::ObjectTextToBinary(text);
  } catch (const rtl::EParserError&) {
    return 0;
  }
  const std::string canonical = rtl::ObjectBinaryToText(binary);
  const rtl::TBytes again = rtl::ObjectTextToBinary(canonical);
  Check(again == binary);
  Check(rtl::ObjectBinaryToText(again) == canonical);

  rtl::TOwned<formfuzz::TFuzzForm> form(rtl::New<formfuzz::TFuzzForm>(nullptr));
  try {
    rtl::ReadComponentFromText(text, form.get(), "fuzz.form");
  } catch (const rtl::EReadError&) {
    Check(form->ComponentCount() == 0);
    return 0;
  } catch (const rtl::EClassNotFound&) {
    Check(form->ComponentCount() == 0);
    return 0;
  }
  rtl::WriteComponentToText(form.get());
  return 0;
}
