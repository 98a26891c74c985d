// v3d_read: any bytes either fail with a framework exception or load through the .v3d reader as a
// model definition that then saves again as a .v3d (JSON) without error. Inflated bodies are
// limited to 64 MiB.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.DefTypes.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "definitions/Vantrel.V3D.Loader.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// Starts the units once; the replay driver of the test build does not call the initializer.
TVantrelLoader* Reader() {
  static TVantrelLoader* const reader = [] {
    InitializeUnits();
    TVantrelLoaderV3D::SetMaxBodySize(int64_t{64} << 20);
    return TVantrelLoader::GetLoaderByExtension(".v3d");
  }();
  return reader;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Check(Reader() != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  TVantrelLoader* reader = Reader();
  TBytesStream stream(TBytes(AData, AData + ASize));
  TOwned<TModelDef> def;
  try {
    def.reset(reader->LoadModelDefFromStream(&stream, TVantrelLoadOptions{}));
  } catch (const Exception&) {
    return 0;
  }
  Check(def != nullptr);
  TOwned<TVantrelV3DExporter> exporter = MakeOwned<TVantrelV3DExporter>();
  exporter->SetBeautified(false);
  TBytesStream out;
  exporter->SaveToStream(def.get(), &out);
  Check(out.GetSize() > 32);
  return 0;
}
