// xml_parse: any input either loads or fails with EMz_XmlParseError, never anything else. A loaded
// document that can be saved saves to text that loads again and saves to the same bytes (a
// storing error, for a tree the writer refuses, ends the check). Reading the bytes character by
// character with the smallest step size gives the same text as reading them whole.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/streams.h"
#include "xml/Vantrel.Xml.Document.h"
#include "xml/Vantrel.Xml.Parser.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

void CheckRoundTrip(const rtl::TBytes& AInput) {
  vantrel::TMz_XmlDocument document;
  try {
    document.loadFromBytes(AInput);
  } catch (const vantrel::EMz_XmlParseError&) {
    return;
  }
  rtl::TBytes first;
  try {
    first = document.saveToBytes(false);
  } catch (const vantrel::EMz_XmlStoringError&) {
    return;
  }
  vantrel::TMz_XmlDocument again;
  again.loadFromBytes(first);
  Check(again.saveToBytes(false) == first);
}

void CheckSteps(const rtl::TBytes& AInput) {
  rtl::TBytesStream whole(AInput);
  vantrel::TMz_StreamReader wholeReader(&whole);
  const std::u16string expected = wholeReader.ReadToEnd();

  rtl::TBytesStream stepped(AInput);
  vantrel::TMz_StreamReader steppedReader(&stepped, &rtl::TEncoding::UTF8(), true, 128);
  std::u16string text;
  for (int32_t c = steppedReader.Read(); c != -1; c = steppedReader.Read())
    text.push_back(static_cast<char16_t>(c));
  Check(text == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const rtl::TBytes input(AData, AData + ASize);
  CheckRoundTrip(input);
  CheckSteps(input);
  return 0;
}
