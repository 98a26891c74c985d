// Palette reduction by median cut over a hash table of distinct colours, and the palette helpers.
// The table and the boxes live in a thread_local object, so the steps may be run by separate calls
// on one thread and two threads never share them.

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "formats/Vantrel.Imaging.Formats.h"

namespace vantrel {

namespace {

constexpr int32_t ChainCount = 32768;
// Channels in the order boxes weigh them (A, R, G, B), as indices into TColor32Rec::Channels.
constexpr int ChannelOrder[4] = {3, 2, 1, 0};
constexpr int64_t ChannelWeight[4] = {1024, 612, 1202, 234};

struct TColorEntry {
  TColor32Rec Color;
  int64_t Count;
  int32_t Next;
};

struct TColorBox {
  uint8_t Min[4];
  uint8_t Max[4];
  int64_t Total;
  TColor32Rec Mean;
  std::vector<int32_t> Colors;
};

struct TReductionState {
  std::vector<int32_t> Chains;
  std::vector<TColorEntry> Entries;
  std::vector<TColorBox> Boxes;

  void Clear() {
    Chains.assign(ChainCount, -1);
    Entries.clear();
    Boxes.clear();
  }
};

TReductionState& State() {
  thread_local TReductionState state;
  if (state.Chains.empty())
    state.Clear();
  return state;
}

int32_t HashColor(TColor32Rec AColor) {
  return (11 * AColor.B + AColor.A + 59 * AColor.R + 119 * AColor.G) & 0x7FFF;
}

void Collect(TReductionState& AState, int32_t APixelCount, const uint8_t* ASrc,
             const TImageFormatDescriptor& AInfo, uint8_t AMask) {
  const uint32_t mask = AMask * 0x01010101u;
  for (int32_t i = 0; i < APixelCount; ++i, ASrc += AInfo.PixelBytes) {
    TColor32Rec color = AInfo.ReadPixel32(ASrc, AInfo, nullptr);
    color.Color &= mask;
    int32_t& head = AState.Chains[static_cast<size_t>(HashColor(color))];
    int32_t at = head;
    while (at >= 0 && AState.Entries[static_cast<size_t>(at)].Color.Color != color.Color)
      at = AState.Entries[static_cast<size_t>(at)].Next;
    if (at >= 0) {
      ++AState.Entries[static_cast<size_t>(at)].Count;
    } else {
      AState.Entries.push_back({color, 1, head});
      head = static_cast<int32_t>(AState.Entries.size() - 1);
    }
  }
}

void ComputeBounds(const TReductionState& AState, TColorBox& ABox) {
  std::fill(std::begin(ABox.Min), std::end(ABox.Min), 255);
  std::fill(std::begin(ABox.Max), std::end(ABox.Max), 0);
  ABox.Total = 0;
  for (const int32_t index : ABox.Colors) {
    const TColorEntry& entry = AState.Entries[static_cast<size_t>(index)];
    for (int ch = 0; ch < 4; ++ch) {
      ABox.Min[ch] = std::min(ABox.Min[ch], entry.Color.Channels[ch]);
      ABox.Max[ch] = std::max(ABox.Max[ch], entry.Color.Channels[ch]);
    }
    ABox.Total += entry.Count;
  }
}

// The box's largest weighted extent and its channel; channels are tried A, R, G, B and the first
// maximum wins.
int64_t LargestExtent(const TColorBox& ABox, int& AChannel) {
  int64_t largest = -1;
  for (int k = 0; k < 4; ++k) {
    const int ch = ChannelOrder[k];
    const int64_t extent = (ABox.Max[ch] - ABox.Min[ch]) * ChannelWeight[k];
    if (extent > largest) {
      largest = extent;
      AChannel = ch;
    }
  }
  return largest;
}

// Splits boxes until there are AColorCount or none has an extent; the split box is the first of
// the largest extent, it keeps the lower half, and the upper half becomes a new box at the end.
void SplitBoxes(TReductionState& AState, int32_t AColorCount) {
  TColorBox first{};
  for (size_t i = 0; i < AState.Entries.size(); ++i)
    first.Colors.push_back(static_cast<int32_t>(i));
  ComputeBounds(AState, first);
  AState.Boxes.push_back(std::move(first));
  while (static_cast<int32_t>(AState.Boxes.size()) < AColorCount) {
    int64_t best = 0;
    size_t split = 0;
    int channel = 0;
    for (size_t i = 0; i < AState.Boxes.size(); ++i) {
      int ch = 0;
      const int64_t extent = LargestExtent(AState.Boxes[i], ch);
      if (extent > best) {
        best = extent;
        split = i;
        channel = ch;
      }
    }
    if (best == 0)
      return;
    TColorBox upper{};
    TColorBox& lower = AState.Boxes[split];
    const int middle = (lower.Min[channel] + lower.Max[channel]) / 2;
    std::vector<int32_t> kept;
    for (const int32_t index : lower.Colors)
      (AState.Entries[static_cast<size_t>(index)].Color.Channels[channel] <= middle ? kept : upper.Colors)
          .push_back(index);
    lower.Colors = std::move(kept);
    ComputeBounds(AState, lower);
    ComputeBounds(AState, upper);
    AState.Boxes.push_back(std::move(upper));
  }
}

// Means rounded to nearest, bounds widened by the bits the mask removed, boxes ordered by pixel
// count (stable, so equal counts keep creation order).
void FinishBoxes(TReductionState& AState, uint8_t AMask) {
  for (TColorBox& box : AState.Boxes) {
    int64_t sums[4] = {0, 0, 0, 0};
    for (const int32_t index : box.Colors) {
      const TColorEntry& entry = AState.Entries[static_cast<size_t>(index)];
      for (int ch = 0; ch < 4; ++ch)
        sums[ch] += entry.Color.Channels[ch] * entry.Count;
    }
    for (int ch = 0; ch < 4; ++ch) {
      box.Mean.Channels[ch] = box.Total ? static_cast<uint8_t>((sums[ch] + box.Total / 2) / box.Total) : 0;
      box.Min[ch] &= AMask;
      box.Max[ch] = static_cast<uint8_t>((box.Max[ch] & AMask) | (~AMask & 0xFF));
    }
  }
  std::stable_sort(AState.Boxes.begin(), AState.Boxes.end(),
                   [](const TColorBox& AL, const TColorBox& AR) { return AL.Total > AR.Total; });
}

void BuildPalette(TReductionState& AState, int32_t AColorCount, uint8_t AMask, TColor32Rec* APalette) {
  AState.Boxes.clear();
  if (!AState.Entries.empty())
    SplitBoxes(AState, AColorCount);
  FinishBoxes(AState, AMask);
  for (int32_t i = 0; i < AColorCount; ++i)
    APalette[i].Color =
        static_cast<size_t>(i) < AState.Boxes.size() ? AState.Boxes[i].Mean.Color : 0xFF000000;
}

int32_t BoxOf(const TReductionState& AState, TColor32Rec AColor) {
  for (size_t i = 0; i < AState.Boxes.size(); ++i) {
    const TColorBox& box = AState.Boxes[i];
    bool inside = true;
    for (int ch = 0; ch < 4 && inside; ++ch)
      inside = AColor.Channels[ch] >= box.Min[ch] && AColor.Channels[ch] <= box.Max[ch];
    if (inside)
      return static_cast<int32_t>(i);
  }
  return 0;
}

void MapPixels(const TReductionState& AState, int32_t APixelCount, const uint8_t* ASrc,
               const TImageFormatDescriptor& ASrcInfo, uint8_t* ADst,
               const TImageFormatDescriptor& ADstInfo) {
  for (int32_t i = 0; i < APixelCount; ++i, ASrc += ASrcInfo.PixelBytes, ADst += ADstInfo.PixelBytes) {
    const int32_t index = BoxOf(AState, ASrcInfo.ReadPixel32(ASrc, ASrcInfo, nullptr));
    ADst[0] = static_cast<uint8_t>(index);
    if (ADstInfo.PixelBytes > 1)
      ADst[1] = static_cast<uint8_t>(index >> 8);
  }
}

} // namespace

void ReducePaletteColors(int32_t APixelCount, const uint8_t* ASrc, const TImageFormatDescriptor& ASrcInfo,
                         uint8_t* ADst, const TImageFormatDescriptor& ADstInfo, int32_t AColorCount,
                         uint8_t AChannelMask, TColor32Rec* APalette, uint32_t ASteps) {
  const int32_t colorCount = std::clamp(AColorCount, 2, 4096);
  TReductionState& state = State();
  if (ASteps & 1)
    state.Clear();
  if (ASteps & (2 | 8))
    Assert(!ASrcInfo.IsPaletted && !ASrcInfo.IsBlockCompressed);
  if (ASteps & 2)
    Collect(state, APixelCount, ASrc, ASrcInfo, AChannelMask);
  if (ASteps & 4)
    BuildPalette(state, colorCount, AChannelMask, APalette);
  if (ASteps & 8)
    MapPixels(state, APixelCount, ASrc, ASrcInfo, ADst, ADstInfo);
}

int32_t NearestPaletteIndex(const TColor32Rec* APalette, int32_t AEntries, TColor32Rec AColor) {
  int32_t best = 1020, result = 0;
  for (int32_t i = 0; i < AEntries; ++i) {
    const TColor32Rec entry = APalette[i];
    if (entry.Color == AColor.Color)
      return i;
    int32_t sum = 0;
    for (int ch = 0; ch < 4; ++ch)
      sum += std::abs(entry.Channels[ch] - AColor.Channels[ch]);
    if (sum < best) {
      best = sum;
      result = i;
    }
  }
  return result;
}

void MakeGrayPalette(TColor32Rec* APalette, int32_t AEntries) {
  for (int32_t i = 0; i < AEntries; ++i) {
    const auto gray = static_cast<uint8_t>(i);
    APalette[i].B = APalette[i].G = APalette[i].R = gray;
    APalette[i].A = 255;
  }
}

void SwapPaletteChannels(TColor32Rec* APalette, int32_t AEntries, int32_t ASrcChannel, int32_t ADstChannel) {
  Assert(ASrcChannel >= 0 && ASrcChannel <= 3 && ADstChannel >= 0 && ADstChannel <= 3);
  for (int32_t i = 0; i < AEntries; ++i)
    std::swap(APalette[i].Channels[ASrcChannel], APalette[i].Channels[ADstChannel]);
}

} // namespace vantrel
