// inventory_read: any input either loads into a fresh inventory or fails with a parse error, the
// missing-section error or a typed-read error, never anything else. A loaded inventory saves to
// text that loads into another fresh inventory and saves to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/streams.h"
#include "utils/Vantrel.Utils.Inventory.h"
#include "xml/Vantrel.Xml.Document.h"

namespace {

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

std::string Saved(const vantrel::TVantrelInventory& AInventory) {
  rtl::TStringStream stream;
  AInventory.SaveToStream(&stream);
  return stream.DataString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  rtl::TOwned<vantrel::TVantrelInventory> inventory(rtl::New<vantrel::TVantrelInventory>(nullptr));
  try {
    rtl::TBytesStream input(rtl::TBytes(AData, AData + ASize));
    inventory->LoadFromStream(&input);
  } catch (const vantrel::EMz_XmlParseError&) {
    return 0;
  } catch (const rtl::EInvalidCast&) {
    return 0;
  } catch (const rtl::EConvertError&) {
    return 0;
  } catch (const rtl::Exception& error) {
    Check(error.Message() == "missing \"inventory\" tag in xml");
    return 0;
  }
  std::string first;
  try {
    first = Saved(*inventory);
  } catch (const vantrel::EMz_XmlStoringError&) {
    return 0;
  }
  rtl::TOwned<vantrel::TVantrelInventory> again(rtl::New<vantrel::TVantrelInventory>(nullptr));
  rtl::TStringStream stream(first);
  again->LoadFromStream(&stream);
  Check(Saved(*again) == first);
  return 0;
}
