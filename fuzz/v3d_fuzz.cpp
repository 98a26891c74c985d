// v3d_read: any bytes either fail with a framework exception or read as a .v3d whose JSON object
// loads into a definition node that then saves again as a .v3d without error. Inflated bodies
// are limited to 64 MiB.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.DefTypes.h"
#include "formats/v3d/Vantrel.V3D.Exporter.h"
#include "formats/v3d/Vantrel.V3D.Loader.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// Starts the units once; the replay driver of the test build does not call the initializer.
bool Start() {
  static const bool started = [] {
    InitializeUnits();
    SetV3DMaxBodySize(int64_t{64} << 20);
    return true;
  }();
  return started;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  Start();
  TBytesStream stream(TBytes(AData, AData + ASize));
  std::unique_ptr<TJSONObject> json;
  try {
    json = ReadV3DModelJSON(stream);
  } catch (const Exception&) {
    return 0;
  }
  Check(json != nullptr);
  TOwned<TGroupDef> def = MakeOwned<TGroupDef>();
  try {
    def->FromJSON(nullptr, *json);
  } catch (const Exception&) {
    return 0;
  }
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  TBytesStream out;
  exporter->SaveToStream(def.get(), &out);
  Check(out.GetSize() > 32);
  return 0;
}
