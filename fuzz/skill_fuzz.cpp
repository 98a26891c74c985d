// skill_read: any input either fails with one of the skill file's errors or loads into a fresh
// skill system whose file is stable: saving it, loading that into another fresh system and saving
// again gives the same bytes. The process clock stands still, so the progress of level-ups does
// not change between the saves.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/exceptions.h"
#include "rtl/stopwatch.h"
#include "rtl/streams.h"
#include "utils/Vantrel.Utils.SkillSystem.h"
#include "xml/Vantrel.Xml.Document.h"

namespace {

std::string Saved(const vantrel::TVantrelSkillSystem& ASystem) {
  rtl::TStringStream stream;
  ASystem.SaveToStream(&stream);
  return stream.DataString();
}

// Loads AText into a fresh system; false when it fails with an error a file may cause.
bool Load(const std::string& AText, vantrel::TVantrelSkillSystem& ASystem) {
  try {
    rtl::TStringStream input(AText);
    ASystem.LoadFromStream(&input);
    return true;
  } catch (const vantrel::EMz_XmlParseError&) {
  } catch (const rtl::EConvertError&) {
  } catch (const rtl::EComponentError&) {
  } catch (const rtl::EInvalidCast&) {
  } catch (const rtl::Exception& e) {
    // The skill file's own errors are plain exceptions; anything derived is a fault.
    if (std::string(e.ClassName()) != "Exception")
      std::abort();
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  rtl::TStopwatch::SetClock([] { return int64_t(1'000'000) * 10'000; });
  auto system = rtl::MakeOwned<vantrel::TVantrelSkillSystem>(nullptr);
  if (!Load(std::string(reinterpret_cast<const char*>(AData), ASize), *system))
    return 0;
  std::string first;
  try {
    first = Saved(*system);
  } catch (const vantrel::EMz_XmlStoringError&) {
    // A text the file format cannot hold is refused, never written altered.
    return 0;
  }
  auto reread = rtl::MakeOwned<vantrel::TVantrelSkillSystem>(nullptr);
  if (!Load(first, *reread) || Saved(*reread) != first)
    std::abort();
  return 0;
}
