// Image-file loads and the copy into a bitmap against their peers, each pair measured in the same
// run on 4096 x 4096 images written by our own writers from a fixed seed and read from memory
// streams (no disk):
//   DDS A8R8G8B8   LoadFromStream vs malloc and memcpy of the 64 MiB payload into a fresh block
//   DDS DXT5       LoadFromStream of a full mip chain, then CopyImageDataToBitmap of image 0, vs
//                  libsquish's decode of the top level plus one memcpy (reported, no goal)
//   TGA            raw 24-bit, raw 32-bit and RLE 32-bit (top-left origin) vs stbi_load_from_memory
//   Bitmap copy    CopyImageDataToBitmap of an A8R8G8B8 image vs one memcpy into the mapped bitmap
// Ratios are the peer's median time over ours, from five repetitions; the minimum shows the best
// run. Goals: DDS A8R8G8B8 >= 0.67, TGA >= 1.0 each, bitmap copy >= 0.67. After timing, each case
// checks a fingerprint of what it produced. The program fails when a goal or a check is missed.
//
// Memory: every load allocates its images afresh (calloc) and frees them inside the timed loop,
// and so does every peer (malloc, stb's own buffers), so both sides pay the first touch of fresh
// pages (about 10 us each here). The bitmap is sized once before timing; both copy cases write
// into its existing storage.

#include <benchmark/benchmark.h>

#include "support/aggregate_reporter.h"
#include "support/bench_setup.h"

#include <squish.h>
#include <stb_image.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formats/Vantrel.Imaging.DDS.h"
#include "formats/Vantrel.Imaging.Import.h"
#include "formats/Vantrel.Imaging.TGA.h"
#include "ui/bitmap.h"

namespace {

using namespace vantrel;

constexpr int32_t Side = 4096;
constexpr size_t Pixels = size_t{Side} * Side;

bool GChecksPassed = true;

void Fail(const std::string& AWhat) {
  std::printf("CHECK FAILED: %s\n", AWhat.c_str());
  GChecksPassed = false;
}

uint64_t Fingerprint(const void* AData, size_t ABytes) {
  const auto* bytes = static_cast<const uint8_t*>(AData);
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < ABytes; i += 4093)
    hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

// A8R8G8B8 gradients with noise and flat bands, so run-length data has both kinds of packets.
TImageData MakePhoto() {
  TImageData image{};
  CreateImageData(Side, Side, ImageFormatId::A8R8G8B8, image);
  std::mt19937 random(21);
  auto* pixels = static_cast<uint8_t*>(image.Bits);
  for (int32_t y = 0; y < Side; ++y)
    for (int32_t x = 0; x < Side; ++x) {
      uint8_t* p = pixels + (static_cast<size_t>(y) * Side + x) * 4;
      const bool flat = (y / 64) % 2 == 0;
      p[0] = static_cast<uint8_t>(flat ? 40 : x / 16 + random() % 8);
      p[1] = static_cast<uint8_t>(flat ? 90 : y / 16);
      p[2] = static_cast<uint8_t>(flat ? 200 : (x + y) / 32);
      p[3] = 255;
    }
  return image;
}

struct TInputs {
  TBytes DdsArgb, DdsDxt5, Tga24, Tga32, TgaRle;
  TBytes Dxt5Top; // the DXT5 file's top level, for libsquish
  TOwnedImageData Argb;
};

TInputs& Inputs() {
  static TInputs inputs;
  return inputs;
}

TBytes Save(TImageFileFormat& AFormat, TDynImageDataArray& AImages) {
  TBytesStream stream;
  AFormat.SaveToStream(stream, AImages);
  return stream.Bytes();
}

void PrepareInputs() {
  TInputs& in = Inputs();
  in.Argb = TOwnedImageData(MakePhoto());
  const TOwned<TDDSFileFormat> dds(New<TDDSFileFormat>());
  const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
  const auto single = [&](TImageFormat AFormat) {
    TDynImageDataArray images;
    TImageData image{};
    CloneImageData(in.Argb.Get(), image);
    ConvertImageData(image, AFormat);
    images.push_back(image);
    return images;
  };
  TDynImageDataArray argb = single(ImageFormatId::A8R8G8B8);
  in.DdsArgb = Save(*dds, argb);
  in.Tga32 = Save(*tga, argb);
  tga->SetUseRLE(true);
  in.TgaRle = Save(*tga, argb);
  tga->SetUseRLE(false);
  TDynImageDataArray rgb = single(ImageFormatId::R8G8B8);
  in.Tga24 = Save(*tga, rgb);
  TDynImageDataArray chain;
  for (int32_t side = Side; side >= 1; side /= 2) {
    TImageData level{};
    CloneImageData(in.Argb.Get(), level);
    ResizeImageData(level, side, side, TResizeFilter::Nearest);
    ConvertImageData(level, ImageFormatId::DXT5);
    chain.push_back(level);
  }
  in.DdsDxt5 = Save(*dds, chain);
  in.Dxt5Top.assign(static_cast<const uint8_t*>(chain[0].Bits),
                    static_cast<const uint8_t*>(chain[0].Bits) + chain[0].Size);
}

// --- Benchmarks ---------------------------------------------------------------------------------------

// Loads AFile with AFormat per iteration; the fingerprint of image 0 must match the first load's.
void TimeLoad(benchmark::State& AState, TImageFileFormat& AFormat, const TBytes& AFile) {
  uint64_t expected = 0, last = 0;
  TBytesStream stream(AFile);
  for (auto _ : AState) {
    stream.SetPosition(0);
    TDynImageDataArray images;
    if (!AFormat.LoadFromStream(stream, images)) {
      AState.SkipWithError("the load failed");
      return;
    }
    last = Fingerprint(images[0].Bits, static_cast<size_t>(images[0].Size));
    expected = expected ? expected : last;
  }
  if (last != expected)
    AState.SkipWithError("the loads differ");
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * AFile.size()));
}

void TimeStb(benchmark::State& AState, const TBytes& AFile) {
  for (auto _ : AState) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(AFile.data(), static_cast<int>(AFile.size()), &width, &height, &channels, 0);
    if (!pixels) {
      AState.SkipWithError("stb failed");
      return;
    }
    benchmark::DoNotOptimize(pixels[Pixels]);
    stbi_image_free(pixels);
  }
  AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * AFile.size()));
}

void RegisterBenchmarks() {
  vbench::ConfigureAggregates(benchmark::RegisterBenchmark("DdsArgb/ours", [](benchmark::State& AState) {
    const TOwned<TDDSFileFormat> dds(New<TDDSFileFormat>());
    TimeLoad(AState, *dds, Inputs().DdsArgb);
  }));
  vbench::ConfigureAggregates(
      benchmark::RegisterBenchmark("DdsArgb/malloc+memcpy", [](benchmark::State& AState) {
        const TBytes& file = Inputs().DdsArgb;
        for (auto _ : AState) {
          void* block = std::malloc(file.size() - 128);
          std::memcpy(block, file.data() + 128, file.size() - 128);
          benchmark::DoNotOptimize(block);
          std::free(block);
        }
      }));
  vbench::ConfigureAggregates(benchmark::RegisterBenchmark("DdsDxt5/ours", [](benchmark::State& AState) {
    const TOwned<TDDSFileFormat> dds(New<TDDSFileFormat>());
    const TOwned<ui::TBitmap> bitmap(New<ui::TBitmap>(Side, Side));
    TBytesStream stream(Inputs().DdsDxt5);
    for (auto _ : AState) {
      stream.SetPosition(0);
      TDynImageDataArray images;
      dds->LoadFromStream(stream, images);
      CopyImageDataToBitmap(images[0], *bitmap);
    }
    if (bitmap->Width() != Side)
      AState.SkipWithError("the bitmap was not filled");
  }));
  vbench::ConfigureAggregates(
      benchmark::RegisterBenchmark("DdsDxt5/libsquish+memcpy", [](benchmark::State& AState) {
        const TBytes& top = Inputs().Dxt5Top;
        for (auto _ : AState) {
          auto* rgba = static_cast<uint8_t*>(std::malloc(Pixels * 4));
          auto* copy = static_cast<uint8_t*>(std::malloc(Pixels * 4));
          squish::DecompressImage(rgba, Side, Side, top.data(), squish::kDxt5);
          std::memcpy(copy, rgba, Pixels * 4);
          benchmark::DoNotOptimize(copy);
          std::free(rgba);
          std::free(copy);
        }
      }));
  const std::pair<const char*, TBytes TInputs::*> tgas[] = {
      {"Tga24", &TInputs::Tga24}, {"Tga32", &TInputs::Tga32}, {"TgaRle32", &TInputs::TgaRle}};
  for (const auto& [name, member] : tgas) {
    const auto field = member;
    vbench::ConfigureAggregates(benchmark::RegisterBenchmark(
        (std::string(name) + "/ours").c_str(), [field](benchmark::State& AState) {
          const TOwned<TTargaFileFormat> tga(New<TTargaFileFormat>());
          TimeLoad(AState, *tga, Inputs().*field);
        }));
    vbench::ConfigureAggregates(benchmark::RegisterBenchmark(
        (std::string(name) + "/stb_image").c_str(),
        [field](benchmark::State& AState) { TimeStb(AState, Inputs().*field); }));
  }
  vbench::ConfigureAggregates(benchmark::RegisterBenchmark("BitmapCopy/ours", [](benchmark::State& AState) {
    const TOwned<ui::TBitmap> bitmap(New<ui::TBitmap>(Side, Side));
    for (auto _ : AState)
      CopyImageDataToBitmap(Inputs().Argb.Get(), *bitmap);
    ui::TBitmapData data;
    bitmap->Map(ui::TMapAccess::Read, data);
    if (Fingerprint(data.Data, Pixels * 4) != Fingerprint(Inputs().Argb->Bits, Pixels * 4))
      AState.SkipWithError("the bitmap differs from the image");
    bitmap->Unmap(data);
  }));
  vbench::ConfigureAggregates(benchmark::RegisterBenchmark("BitmapCopy/memcpy", [](benchmark::State& AState) {
    const TOwned<ui::TBitmap> bitmap(New<ui::TBitmap>(Side, Side));
    for (auto _ : AState) {
      ui::TBitmapData data;
      bitmap->Map(ui::TMapAccess::Write, data);
      std::memcpy(data.Data, Inputs().Argb->Bits, Pixels * 4);
      bitmap->Unmap(data);
    }
  }));
}

// The aggregate reporter with this program's failure handler and its pair printout.
class TFileReporter : public vbench::TAggregateReporter {
public:
  TFileReporter() : TAggregateReporter(Fail) {}

  // Prints ms (median, best) of ours and the peer, and the peer's time over ours; false below
  // AGoal. A pair left out by a filter is not judged.
  bool PrintPair(const std::string& ACase, const std::string& APeer, double AGoal) {
    const std::string ours = ACase + "/ours", peer = ACase + "/" + APeer;
    if (!FMedian.count(ours) || !FMedian.count(peer))
      return true;
    const double ratio = FMedian[peer] / FMedian[ours];
    std::printf("%-10s ours %7.2f ms (best %7.2f) | %-22s %7.2f ms (best %7.2f) | ratio %.2f%s\n",
                ACase.c_str(), FMedian[ours], FMinimum[ours], APeer.c_str(), FMedian[peer], FMinimum[peer],
                ratio, AGoal > 0 ? (ratio >= AGoal ? "" : "  BELOW GOAL") : " (no goal)");
    return AGoal <= 0 || ratio >= AGoal;
  }
};

} // namespace

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  benchmark::Initialize(&argc, argv);
  std::printf("Preparing 4096 x 4096 DDS and TGA files with our writers...\n");
  PrepareInputs();
  std::printf("Memory: each load allocates (calloc) and frees its images inside the timed loop, as each peer "
              "does with malloc or its own buffers; the bitmaps are sized before timing.\n");
  RegisterBenchmarks();
  TFileReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  bool met = GChecksPassed;
  met &= reporter.PrintPair("DdsArgb", "malloc+memcpy", 0.67);
  met &= reporter.PrintPair("DdsDxt5", "libsquish+memcpy", 0);
  met &= reporter.PrintPair("Tga24", "stb_image", 1.0);
  met &= reporter.PrintPair("Tga32", "stb_image", 1.0);
  met &= reporter.PrintPair("TgaRle32", "stb_image", 1.0);
  met &= reporter.PrintPair("BitmapCopy", "memcpy", 0.67);
  benchmark::Shutdown();
  return met ? 0 : 1;
}
