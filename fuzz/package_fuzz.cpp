// package_open: any bytes either fail with a framework exception or open as a package, whose
// assets are then looked up by every descriptor path, whose stream assets' bytes are read, and
// whose log and size are computed. Inflated .v3d bodies are limited to 16 MiB.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.V3D.Loader.h"
#include "rtl/exceptions.h"
#include "rtl/streams.h"

namespace {

using namespace vantrel;

// Starts the units once; the replay driver of the test build does not call the initializer.
bool Start() {
  static const bool started = [] {
    InitializeUnits();
    SetV3DMaxBodySize(int64_t{16} << 20);
    return true;
  }();
  return started;
}

// Reads the bytes of every stream asset in the group and its sub-groups.
int64_t TouchAssets(const TVantrelAssetsGroupCollection& AGroups) {
  int64_t total = 0;
  for (int i = 0; i < AGroups.Count(); ++i)
    for (TVantrelAsset* asset : AGroups.Items(i)->Assets().Values()) {
      if (auto* stream = dynamic_cast<TVantrelStreamAsset*>(asset)) {
        const uint8_t* bytes = static_cast<const uint8_t*>(stream->Stream()->Memory());
        for (int64_t at = 0; at < stream->Stream()->GetSize(); ++at)
          total += bytes[at];
      }
      total += TouchAssets(*asset->SubGroups());
    }
  return total;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  Start();
  rtl::TOwned<TVantrelAssetsManager> manager(rtl::New<TVantrelAssetsManager>(nullptr));
  try {
    TVantrelAssetsPackage* package = manager->AddEmptyPackage("fuzz");
    rtl::TBytesStream input(rtl::TBytes(AData, AData + ASize));
    package->LoadFromStream(&input);
    for (const std::string& name : package->GetArchive()->GetFileNames())
      if (name.size() >= 10 && name.compare(name.size() - 10, 10, "asset.json") == 0)
        package->FindAssetByArchivePath(name);
    volatile int64_t sink = TouchAssets(*package->GetGroups());
    sink = sink + static_cast<int64_t>(package->Log().size()) + manager->GetSize();
  } catch (const rtl::Exception&) {
    // Refusing the bytes with a framework exception is an accepted outcome.
  }
  return 0;
}
