// dialogue_read: any input either fails with one of the reader's errors or loads into a system
// whose file is stable: saving it, loading that and saving again gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "utils/Vantrel.Utils.Dialogue.Reader.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "xml/Vantrel.Xml.Document.h"

namespace {

std::string Saved(const vantrel::TVantrelDialogueSystem& ASystem) {
  rtl::TStringStream stream;
  ASystem.SaveToStream(&stream);
  return stream.DataString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  rtl::TOwned<vantrel::TVantrelDialogueSystem> system;
  try {
    rtl::TStringStream input(std::string(reinterpret_cast<const char*>(AData), ASize));
    system = vantrel::TVantrelDialogueReader().LoadFromStream(&input);
  } catch (const vantrel::EMz_XmlParseError&) {
    return 0;
  } catch (const vantrel::EVantrelDialogueReaderException&) {
    return 0;
  } catch (const rtl::EInvalidCast&) {
    return 0;
  } catch (const rtl::EConvertError&) {
    return 0;
  }
  std::string first;
  try {
    first = Saved(*system);
  } catch (const vantrel::EMz_XmlStoringError&) {
    // A text the file format cannot hold is refused, never written altered.
    return 0;
  }
  rtl::TStringStream reread(first);
  const std::string second = Saved(*vantrel::TVantrelDialogueReader().LoadFromStream(&reread));
  if (first != second)
    std::abort();
  return 0;
}
