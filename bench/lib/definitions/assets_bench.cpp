// Opening a 1,000-asset package (990 misc assets of 1 KiB, 10 textures of 64 x 64 PNG) and
// decoding one texture, against two peers on the same zip layer: (a) open the archive and decode
// that texture's entry alone, the raw directory parse the asset layer stands on; (b) open once
// and read every entry, the floor of the work a package scan does.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "rtl/ioutils.h"
#include "rtl/zip.h"
#include "support/bench_setup.h"
#include "support/ratio_reporter.h"
#include "ui/bitmap.h"

namespace {

using namespace vantrel;

constexpr int MiscCount = 990;
constexpr int TextureCount = 10;

struct TFixture {
  std::string File;
  std::string TextureEntry;
  rtl::TGUID TextureId;
};

// Made once with the package code itself and saved to a temporary file.
const TFixture& Fixture() {
  static const TFixture fixture = [] {
    TFixture result;
    result.File = rtl::TPath::Combine(rtl::TPath::GetTempPath(), "bench-assets-" + rtl::TPath::GetRandomFileName());
    rtl::TOwned<TVantrelAssetsManager> manager(rtl::New<TVantrelAssetsManager>(nullptr));
    TVantrelAssetsPackage* package = manager->AddEmptyPackage("bench");
    for (int i = 0; i < MiscCount; ++i) {
      std::string text;
      while (text.size() < 1024)
        text += "asset " + std::to_string(i) + " line " + std::to_string(text.size()) + "\n";
      text.resize(1024);
      rtl::TBytesStream stream(rtl::TBytes(text.begin(), text.end()));
      package->GetAssetFromStream(4, "misc" + std::to_string(i) + ".txt", &stream);
    }
    for (int i = 0; i < TextureCount; ++i) {
      ui::TBitmap picture(64, 64);
      picture.Clear(0xFF000000u | static_cast<uint32_t>(i * 0x102030));
      rtl::TBytesStream png;
      picture.SaveToStream(png);
      png.SetPosition(0);
      TVantrelAsset* asset = package->GetAssetFromStream(1, "tex" + std::to_string(i) + ".png", &png);
      result.TextureId = asset->Id();
      result.TextureEntry = asset->GetArchivePath() + "/" + asset->Filename();
    }
    package->SaveToFile(result.File);
    return result;
  }();
  return fixture;
}

int32_t GLastZipOpens = 0;
int32_t GLastTextureOpens = 0;

void BM_PackageLoad(benchmark::State& AState) {
  const TFixture& fixture = Fixture();
  for (auto _ : AState) {
    rtl::TOwned<TVantrelAssetsManager> manager(rtl::New<TVantrelAssetsManager>(nullptr));
    TVantrelAssetsPackage* package = manager->LoadPackageFromFile(fixture.File);
    GLastZipOpens = package->GetArchive()->GetZipOpenCount();
    auto* texture = dynamic_cast<TVantrelTextureAsset*>(package->GetAssetFromId(1, fixture.TextureId));
    ui::TBitmap* bitmap = texture ? texture->Bitmap() : nullptr;
    if (!bitmap || bitmap->Width() != 64 || package->GetGroup(4)->Count() != MiscCount) {
      AState.SkipWithError("the package did not load");
      return;
    }
    GLastTextureOpens = package->GetArchive()->GetZipOpenCount() - GLastZipOpens;
    benchmark::DoNotOptimize(bitmap);
  }
}

void BM_ZipOneTexture(benchmark::State& AState) {
  const TFixture& fixture = Fixture();
  for (auto _ : AState) {
    rtl::TZipFile zip;
    zip.Open(fixture.File, rtl::TZipMode::zmRead);
    rtl::TBytes bytes;
    zip.Read(fixture.TextureEntry, bytes);
    rtl::TBytesStream stream(bytes);
    ui::TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    if (bitmap.Width() != 64) {
      AState.SkipWithError("the texture did not decode");
      return;
    }
    benchmark::DoNotOptimize(bitmap);
  }
}

void BM_ZipEveryEntry(benchmark::State& AState) {
  const TFixture& fixture = Fixture();
  for (auto _ : AState) {
    rtl::TZipFile zip;
    zip.Open(fixture.File, rtl::TZipMode::zmRead);
    int64_t total = 0;
    rtl::TBytes bytes;
    for (int i = 0; i < zip.GetFileCount(); ++i) {
      zip.Read(i, bytes);
      total += static_cast<int64_t>(bytes.size());
    }
    if (zip.GetFileCount() < 2 * (MiscCount + TextureCount)) {
      AState.SkipWithError("entries missing");
      return;
    }
    benchmark::DoNotOptimize(total);
  }
}

} // namespace

int main(int argc, char** argv) {
  vbench::Initialize(&argc, argv);
  InitializeUnits();
  Fixture();
  for (auto* bench : {benchmark::RegisterBenchmark("BM_PackageLoad", BM_PackageLoad),
                      benchmark::RegisterBenchmark("BM_ZipOneTexture", BM_ZipOneTexture),
                      benchmark::RegisterBenchmark("BM_ZipEveryEntry", BM_ZipEveryEntry)})
    bench->Unit(benchmark::kMillisecond)->UseRealTime();
  vbench::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("zip opens per package load: %d (expected 1), then %d for the texture's bitmap\n", GLastZipOpens,
              GLastTextureOpens);
  reporter.PrintRatio("BM_PackageLoad/real_time", "BM_ZipOneTexture/real_time", "package load vs one texture entry (no target)", 0.0);
  const bool floor = reporter.PrintRatio("BM_PackageLoad/real_time", "BM_ZipEveryEntry/real_time",
                                         "package load vs reading every entry once", 1.0 / 3.0);
  rtl::TFile::Delete(Fixture().File);
  FinalizeUnits();
  return floor && GLastZipOpens == 1 ? 0 : 1;
}
