// Block decoding and encoding against their peers, each pair measured in the same run:
//   Decode BC1..BC5  our decoders vs libsquish's DecompressImage vs a per-pixel reference loop
//                    written here straight from the formulas, on a 4096 x 4096 image
//   Encode BC1       EncodeDXT1 vs stb_dxt's stb_compress_dxt_block (normal mode, no alpha) on a
//                    1024 x 1024 crop, with the RGB PSNR of both after decoding with our decoder
// The input is a photo-like synthetic image (gradients, noise and hard edges) from a fixed seed,
// encoded once by our encoders into each block format. Before timing, our decoders are checked
// against libsquish (within 1 per channel) and the reference loop (exactly); Debian's libsquish
// 1.15 decodes kBc4 and kBc5 blocks as colour blocks, which the program detects and says, and then
// compares nothing with it for those two and times it as it is. After timing, each
// case checks its output, so a loop the compiler dropped cannot pass. Ratios use the medians of
// five repetitions; the minimum shows the best run. Goals: BC1 decoding at 1,000 Mpix/s or more,
// every decoder at least as fast as libsquish, and our BC1 encoder at least as fast as stb_dxt.
// The program fails when a goal is missed or a check fails.
//
// Memory: every destination buffer is allocated and written once before timing, because a freshly
// touched page costs about 10 us here and would swamp the figures; no timed loop allocates.

#include <benchmark/benchmark.h>

#include "support/aggregate_reporter.h"
#include "support/bench_setup.h"

#include <squish.h>
#include <stb_dxt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "formats/Vantrel.Imaging.h"

namespace {

using namespace vantrel;

constexpr int32_t Side = 4096;
constexpr int32_t CropSide = 1024;
constexpr size_t Pixels = size_t{Side} * Side;

// --- Inputs ---------------------------------------------------------------------------------------

// A8R8G8B8 pixels: smooth gradients and waves with noise, under rectangles and discs of flat colour.
std::vector<uint8_t> MakePhoto(int32_t ASide, uint32_t ASeed) {
  std::mt19937 random(ASeed);
  std::uniform_int_distribution<int> noise(-6, 6);
  std::vector<uint8_t> pixels(static_cast<size_t>(ASide) * ASide * 4);
  const double scale = 4096.0 / ASide;
  for (int32_t y = 0; y < ASide; ++y)
    for (int32_t x = 0; x < ASide; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * ASide + x) * 4];
      const double fx = x * scale, fy = y * scale;
      const auto channel = [&](double AValue) {
        return static_cast<uint8_t>(std::clamp(static_cast<int>(AValue) + noise(random), 0, 255));
      };
      p[0] = channel(128 + 100 * std::sin(fx / 300.0 + fy / 500.0));
      p[1] = channel(fy / 16.0);
      p[2] = channel(fx / 16.0);
      p[3] = channel(255 - (fx + fy) / 32.0);
    }
  // Hard edges: rectangles and discs that cover about a third of the image, noisy like the rest.
  std::uniform_int_distribution<int> place(0, ASide - 1), size(ASide / 128, ASide / 24), colour(0, 255);
  for (int shape = 0; shape < 120; ++shape) {
    const int32_t cx = place(random), cy = place(random), r = size(random);
    const int bgra[4] = {colour(random), colour(random), colour(random), colour(random)};
    const bool disc = shape % 2 == 0;
    for (int32_t y = std::max(0, cy - r); y < std::min(ASide, cy + r); ++y)
      for (int32_t x = std::max(0, cx - r); x < std::min(ASide, cx + r); ++x)
        if (!disc || (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r)
          for (int ch = 0; ch < 4; ++ch)
            pixels[(static_cast<size_t>(y) * ASide + x) * 4 + ch] =
                static_cast<uint8_t>(std::clamp(bgra[ch] + noise(random), 0, 255));
  }
  return pixels;
}

struct TFormatCase {
  const char* Name;
  TImageFormat Format;
  int BlockBytes;
  int PixelBytes; // of our decoder's output
  int SquishFlags;
  void (*Decode)(const uint8_t*, int32_t, int32_t, uint8_t*);
};

const TFormatCase FormatCases[] = {
    {"BC1", ImageFormatId::DXT1, 8, 4, squish::kDxt1, DecodeDXT1},
    {"BC2", ImageFormatId::DXT3, 16, 4, squish::kDxt3, DecodeDXT3},
    {"BC3", ImageFormatId::DXT5, 16, 4, squish::kDxt5, DecodeDXT5},
    {"BC4", ImageFormatId::ATI1N, 8, 1, squish::kBc4, DecodeATI1N},
    {"BC5", ImageFormatId::ATI2N, 16, 4, squish::kBc5, DecodeATI2N},
};

struct TInputs {
  std::vector<uint8_t> Photo; // A8R8G8B8
  std::map<std::string, std::vector<uint8_t>> Blocks;
  std::vector<uint8_t> Ours, Squish, Reference; // destinations, touched before timing
};

TInputs& Inputs() {
  static TInputs inputs;
  return inputs;
}

void PrepareInputs() {
  TInputs& in = Inputs();
  in.Photo = MakePhoto(Side, 20);
  std::vector<uint8_t> opaque = in.Photo, grey(Pixels);
  for (size_t p = 0; p < Pixels; ++p) {
    opaque[4 * p + 3] = 255; // BC1 stays in four-colour mode: its index 3 differs by design
    grey[p] = in.Photo[4 * p + 1];
  }
  const std::map<TImageFormat, void (*)(const uint8_t*, int32_t, int32_t, uint8_t*)> encoders = {
      {ImageFormatId::DXT1, EncodeDXT1},
      {ImageFormatId::DXT3, EncodeDXT3},
      {ImageFormatId::DXT5, EncodeDXT5},
      {ImageFormatId::ATI1N, EncodeATI1N},
      {ImageFormatId::ATI2N, EncodeATI2N}};
  for (const TFormatCase& c : FormatCases) {
    std::vector<uint8_t> blocks(Pixels / 16 * static_cast<size_t>(c.BlockBytes));
    const std::vector<uint8_t>& source = c.Format == ImageFormatId::DXT1    ? opaque
                                         : c.Format == ImageFormatId::ATI1N ? grey
                                                                            : in.Photo;
    encoders.at(c.Format)(source.data(), Side, Side, blocks.data());
    in.Blocks[c.Name] = std::move(blocks);
  }
  in.Ours.assign(Pixels * 4, 1);
  in.Squish.assign(Pixels * 4, 1);
  in.Reference.assign(Pixels * 4, 1);
}

// --- The reference loop: one pixel at a time, straight from the formulas ---------------------------

uint32_t Word(const uint8_t* AAt, int ABytes) {
  uint32_t value = 0;
  std::memcpy(&value, AAt, static_cast<size_t>(ABytes));
  return value;
}

uint8_t AlphaValue(const uint8_t* ABlock, int AP) {
  const uint32_t a0 = ABlock[0], a1 = ABlock[1];
  uint64_t bits = 0;
  std::memcpy(&bits, ABlock + 2, 6);
  const uint32_t index = static_cast<uint32_t>(bits >> (3 * AP)) & 7;
  if (index < 2)
    return static_cast<uint8_t>(index == 0 ? a0 : a1);
  if (a0 > a1)
    return static_cast<uint8_t>(((8 - index) * a0 + (index - 1) * a1 + 3) / 7);
  if (index >= 6)
    return index == 6 ? 0 : 255;
  return static_cast<uint8_t>(((6 - index) * a0 + (index - 1) * a1 + 2) / 5);
}

// B, G, R, A of pixel AP of a colour block.
void ColorValue(const uint8_t* ABlock, int AP, bool AThreeColors, uint8_t AOut[4]) {
  const uint32_t c0 = Word(ABlock, 2), c1 = Word(ABlock + 2, 2);
  const uint32_t index = (Word(ABlock + 4, 4) >> (2 * AP)) & 3;
  const uint32_t e0[3] = {(c0 & 31) * 255 / 31, ((c0 >> 5) & 63) * 255 / 63, (c0 >> 11) * 255 / 31};
  const uint32_t e1[3] = {(c1 & 31) * 255 / 31, ((c1 >> 5) & 63) * 255 / 63, (c1 >> 11) * 255 / 31};
  const bool three = AThreeColors && c0 <= c1;
  for (int ch = 0; ch < 3; ++ch) {
    uint32_t value = index == 0 ? e0[ch] : index == 1 ? e1[ch] : 0;
    if (index == 2)
      value = three ? (e0[ch] + e1[ch]) >> 1 : (2 * e0[ch] + e1[ch] + 1) / 3;
    if (index == 3)
      value = (e0[ch] + 2 * e1[ch] + 1) / 3;
    AOut[ch] = static_cast<uint8_t>(value);
  }
  AOut[3] = three && index == 3 ? 0 : 255;
}

void ReferenceDecode(const TFormatCase& ACase, const uint8_t* ABlocks, uint8_t* AOut) {
  for (int32_t y = 0; y < Side; ++y)
    for (int32_t x = 0; x < Side; ++x) {
      const uint8_t* block =
          ABlocks + (static_cast<size_t>(y / 4) * (Side / 4) + static_cast<size_t>(x / 4)) * ACase.BlockBytes;
      const int p = (y % 4) * 4 + x % 4;
      uint8_t* out = AOut + (static_cast<size_t>(y) * Side + x) * static_cast<size_t>(ACase.PixelBytes);
      switch (ACase.Format) {
      case ImageFormatId::DXT1:
        ColorValue(block, p, true, out);
        break;
      case ImageFormatId::DXT3:
        ColorValue(block + 8, p, false, out);
        out[3] = static_cast<uint8_t>(((Word(block + 2 * (p / 4), 2) >> (4 * (p % 4))) & 15) * 17);
        break;
      case ImageFormatId::DXT5:
        ColorValue(block + 8, p, false, out);
        out[3] = AlphaValue(block, p);
        break;
      case ImageFormatId::ATI1N:
        out[0] = AlphaValue(block, p);
        break;
      default:
        out[0] = 0;
        out[1] = AlphaValue(block + 8, p);
        out[2] = AlphaValue(block, p);
        out[3] = 255;
        break;
      }
    }
}

// --- Checks -----------------------------------------------------------------------------------------

bool GChecksPassed = true;

void Fail(const std::string& AWhat) {
  std::printf("CHECK FAILED: %s\n", AWhat.c_str());
  GChecksPassed = false;
}

// True when libsquish decodes a one-channel block of the given flags as such: Debian's libsquish
// 1.15 accepts kBc4 and kBc5 but decodes their blocks as colour blocks.
bool SquishDecodesChannelBlocks(int AFlags) {
  const uint8_t block[16] = {0xC8, 0x64, 0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA,
                             0xC8, 0x64, 0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA};
  uint8_t pixels[64];
  squish::DecompressImage(pixels, 4, 4, block, AFlags);
  return pixels[0] == 0xC8 && pixels[4] == 0x64;
}

// Our decoder against the reference loop (exactly) and libsquish (within 1 per channel the format
// has; ours is B, G, R, A or grey, libsquish's R, G, B, A).
void CheckAgainstSquish(const TFormatCase& ACase) {
  TInputs& in = Inputs();
  const std::vector<uint8_t>& blocks = in.Blocks[ACase.Name];
  ACase.Decode(blocks.data(), Side, Side, in.Ours.data());
  squish::DecompressImage(in.Squish.data(), Side, Side, blocks.data(), ACase.SquishFlags);
  ReferenceDecode(ACase, blocks.data(), in.Reference.data());
  const size_t ourBytes = Pixels * static_cast<size_t>(ACase.PixelBytes);
  if (!std::equal(in.Ours.begin(), in.Ours.begin() + static_cast<ptrdiff_t>(ourBytes), in.Reference.begin()))
    Fail(std::string(ACase.Name) + ": our decoder and the reference loop disagree");
  const bool channels = ACase.Format == ImageFormatId::ATI1N || ACase.Format == ImageFormatId::ATI2N;
  if (channels && !SquishDecodesChannelBlocks(ACase.SquishFlags)) {
    std::printf(
        "%s: ours equals the reference loop; this libsquish decodes %s blocks as colour blocks, so its "
        "output is not compared and its time is that of a colour decode\n",
        ACase.Name, ACase.Name);
    return;
  }
  int worst = 0;
  for (size_t p = 0; p < Pixels; ++p) {
    const uint8_t* ours = &in.Ours[p * static_cast<size_t>(ACase.PixelBytes)];
    const uint8_t* peer = &in.Squish[p * 4];
    const auto compare = [&](int AOur, int APeer) {
      worst = std::max(worst, std::abs(ours[AOur] - peer[APeer]));
    };
    if (ACase.Format == ImageFormatId::ATI1N) {
      compare(0, 0);
    } else if (ACase.Format == ImageFormatId::ATI2N) {
      compare(2, 0);
      compare(1, 1);
    } else {
      compare(2, 0);
      compare(1, 1);
      compare(0, 2);
      compare(3, 3);
    }
  }
  std::printf("%s: ours equals the reference loop; largest difference to libsquish %d\n", ACase.Name, worst);
  if (worst > 1)
    Fail(std::string(ACase.Name) + ": differs from libsquish by more than 1");
}

// A cheap fingerprint of a buffer, to check after timing that a loop really wrote its output.
uint64_t Fingerprint(const std::vector<uint8_t>& ABuffer, size_t ABytes) {
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < ABytes; i += 4093)
    hash = (hash ^ ABuffer[i]) * 1099511628211ull;
  return hash;
}

// --- Benchmarks ---------------------------------------------------------------------------------------

void SetRate(benchmark::State& AState, size_t APixels) {
  AState.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(APixels) * static_cast<double>(AState.iterations()) / 1e6,
                         benchmark::Counter::kIsRate);
}

// Times ACode writing into ABuffer, then checks that the buffer holds what the same call wrote
// before timing (it is cleared in between).
void TimeCodec(benchmark::State& AState, std::vector<uint8_t>& ABuffer, size_t ABytes, size_t APixels,
               const std::function<void()>& ACode) {
  ACode();
  const uint64_t expected = Fingerprint(ABuffer, ABytes);
  std::fill(ABuffer.begin(), ABuffer.begin() + static_cast<ptrdiff_t>(ABytes), uint8_t{0});
  for (auto _ : AState) {
    ACode();
    benchmark::ClobberMemory();
  }
  if (Fingerprint(ABuffer, ABytes) != expected)
    AState.SkipWithError("the output differs from the one made before timing");
  SetRate(AState, APixels);
}

void RegisterDecoders() {
  for (const TFormatCase& c : FormatCases) {
    const std::string name = c.Name;
    const auto* format = &c;
    vbench::ConfigureAggregates(
        benchmark::RegisterBenchmark(("Decode" + name + "/ours").c_str(), [format](benchmark::State& AState) {
          TInputs& in = Inputs();
          const uint8_t* blocks = in.Blocks[format->Name].data();
          TimeCodec(AState, in.Ours, Pixels * static_cast<size_t>(format->PixelBytes), Pixels,
                    [&] { format->Decode(blocks, Side, Side, in.Ours.data()); });
        }));
    vbench::ConfigureAggregates(benchmark::RegisterBenchmark(
        ("Decode" + name + "/libsquish").c_str(), [format](benchmark::State& AState) {
          TInputs& in = Inputs();
          const uint8_t* blocks = in.Blocks[format->Name].data();
          TimeCodec(AState, in.Squish, Pixels * 4, Pixels, [&] {
            squish::DecompressImage(in.Squish.data(), Side, Side, blocks, format->SquishFlags);
          });
        }));
    vbench::ConfigureAggregates(benchmark::RegisterBenchmark(
        ("Decode" + name + "/reference").c_str(), [format](benchmark::State& AState) {
          TInputs& in = Inputs();
          const uint8_t* blocks = in.Blocks[format->Name].data();
          TimeCodec(AState, in.Reference, Pixels * static_cast<size_t>(format->PixelBytes), Pixels,
                    [&] { ReferenceDecode(*format, blocks, in.Reference.data()); });
        }));
  }
}

// --- Encoding ---------------------------------------------------------------------------------------------

struct TEncodeInputs {
  std::vector<uint8_t> Bgra, Rgba, Ours, Stb;
};

TEncodeInputs& EncodeInputs() {
  static TEncodeInputs inputs;
  return inputs;
}

void PrepareEncodeInputs() {
  TEncodeInputs& in = EncodeInputs();
  const std::vector<uint8_t>& photo = Inputs().Photo;
  in.Bgra.resize(size_t{CropSide} * CropSide * 4);
  for (int32_t y = 0; y < CropSide; ++y)
    std::memcpy(&in.Bgra[static_cast<size_t>(y) * CropSide * 4],
                &photo[(static_cast<size_t>(y + 1000) * Side + 1000) * 4], size_t{CropSide} * 4);
  in.Rgba = in.Bgra;
  for (size_t p = 0; p < in.Rgba.size(); p += 4) {
    std::swap(in.Rgba[p], in.Rgba[p + 2]);
    in.Bgra[p + 3] = in.Rgba[p + 3] = 255;
  }
  in.Ours.assign(size_t{CropSide} * CropSide / 2, 1);
  in.Stb.assign(size_t{CropSide} * CropSide / 2, 1);
}

void EncodeWithStb(const std::vector<uint8_t>& ARgba, uint8_t* ABlocks) {
  uint8_t block[64];
  for (int32_t by = 0; by < CropSide / 4; ++by)
    for (int32_t bx = 0; bx < CropSide / 4; ++bx, ABlocks += 8) {
      for (int y = 0; y < 4; ++y)
        std::memcpy(block + 16 * y,
                    &ARgba[(static_cast<size_t>(by * 4 + y) * CropSide + static_cast<size_t>(bx) * 4) * 4],
                    16);
      stb_compress_dxt_block(ABlocks, block, 0, STB_DXT_NORMAL);
    }
}

void RegisterEncoders() {
  vbench::ConfigureAggregates(benchmark::RegisterBenchmark("EncodeBC1/ours", [](benchmark::State& AState) {
    TEncodeInputs& in = EncodeInputs();
    TimeCodec(AState, in.Ours, in.Ours.size(), size_t{CropSide} * CropSide,
              [&] { EncodeDXT1(in.Bgra.data(), CropSide, CropSide, in.Ours.data()); });
  }));
  vbench::ConfigureAggregates(benchmark::RegisterBenchmark("EncodeBC1/stb_dxt", [](benchmark::State& AState) {
    TEncodeInputs& in = EncodeInputs();
    TimeCodec(AState, in.Stb, in.Stb.size(), size_t{CropSide} * CropSide,
              [&] { EncodeWithStb(in.Rgba, in.Stb.data()); });
  }));
}

double RgbPsnr(const std::vector<uint8_t>& ABgra, const std::vector<uint8_t>& ABlocks) {
  std::vector<uint8_t> decoded(ABgra.size());
  DecodeDXT1(ABlocks.data(), CropSide, CropSide, decoded.data());
  double sum = 0;
  for (size_t i = 0; i < ABgra.size(); ++i)
    if (i % 4 != 3)
      sum += (ABgra[i] - decoded[i]) * (ABgra[i] - decoded[i]);
  return 10 * std::log10(255.0 * 255.0 / (sum / (static_cast<double>(ABgra.size()) * 0.75)));
}

// --- Reporting ------------------------------------------------------------------------------------------

// The aggregate reporter with this program's failure handler and its pair printout.
class TCodecReporter : public vbench::TAggregateReporter {
public:
  TCodecReporter() : TAggregateReporter(Fail) {}

  // Prints Mpix/s (median, best) of ours and the peer and their ratio; false below AGoal. A pair
  // left out by a filter is not judged.
  bool PrintPair(const std::string& ACase, const std::string& APeer, size_t APixels, double AGoal) {
    const std::string ours = ACase + "/ours", peer = ACase + "/" + APeer;
    if (!FMedian.count(ours) || !FMedian.count(peer))
      return true;
    const double ratio = FMedian[peer] / FMedian[ours];
    std::printf("%-10s ours %7.0f Mpix/s (best %7.0f) | %-9s %7.0f Mpix/s (best %7.0f) | ratio %.2f (goal >= "
                "%.2f)%s\n",
                ACase.c_str(), Rate(ours, APixels, FMedian), Rate(ours, APixels, FMinimum), APeer.c_str(),
                Rate(peer, APixels, FMedian), Rate(peer, APixels, FMinimum), ratio, AGoal,
                ratio >= AGoal ? "" : "  BELOW GOAL");
    return ratio >= AGoal;
  }

  double Rate(const std::string& AName, size_t APixels, std::map<std::string, double>& ATimes) {
    return static_cast<double>(APixels) / (ATimes[AName] * 1e-3) / 1e6;
  }

  // Mpix/s of the median run, or 0 when the benchmark did not run.
  double MedianRate(const std::string& AName, size_t APixels) {
    return FMedian.count(AName) ? Rate(AName, APixels, FMedian) : 0;
  }
};

} // namespace

int main(int argc, char** argv) {
  vbench::SetAllocatorRegime();
  benchmark::Initialize(&argc, argv);
  std::printf("Preparing a %d x %d photo-like image and its five block encodings...\n", Side, Side);
  PrepareInputs();
  PrepareEncodeInputs();
  for (const TFormatCase& c : FormatCases)
    CheckAgainstSquish(c);
  std::printf("Memory: destinations are allocated and written before timing (a fresh page costs about 10 us "
              "here); no timed loop allocates. One thread.\n");
  RegisterDecoders();
  RegisterEncoders();
  TCodecReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  bool met = GChecksPassed;
  for (const TFormatCase& c : FormatCases) {
    met &= reporter.PrintPair(std::string("Decode") + c.Name, "libsquish", Pixels, 1.0);
    reporter.PrintPair(std::string("Decode") + c.Name, "reference", Pixels, 0);
  }
  const double bc1 = reporter.MedianRate("DecodeBC1/ours", Pixels);
  std::printf("BC1 decode: %.0f Mpix/s per thread (goal >= 1000)%s\n", bc1,
              bc1 >= 1000 ? "" : "  BELOW GOAL");
  met &= bc1 >= 1000;
  met &= reporter.PrintPair("EncodeBC1", "stb_dxt", size_t{CropSide} * CropSide, 1.0);
  const TEncodeInputs& in = EncodeInputs();
  std::printf("BC1 encode RGB PSNR: ours %.2f dB, stb_dxt %.2f dB (reported, not a goal)\n",
              RgbPsnr(in.Bgra, in.Ours), RgbPsnr(in.Bgra, in.Stb));
  benchmark::Shutdown();
  return met ? 0 : 1;
}
