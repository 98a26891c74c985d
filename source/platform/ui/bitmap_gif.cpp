#include "ui/bitmap_gif.h"

#include <array>

namespace ui {

namespace {

constexpr size_t HeaderSize = 13;
constexpr int MaxCodeBits = 12;
constexpr int TableSize = 1 << MaxCodeBits;

struct TColor {
  uint8_t R = 0, G = 0, B = 0;
};

// The code stream of an image: its sub-blocks read as one bit stream, least significant bit first.
class TCodeReader {
public:
  TCodeReader(const rtl::TBytes& ABytes, size_t AAt) : FBytes(ABytes), FAt(AAt) {}

  // The next code of ABits bits, or -1 when the sub-blocks end first.
  int Read(int ABits) {
    while (FBitCount < ABits) {
      if (FBlockLeft == 0) {
        if (FAt >= FBytes.size() || FBytes[FAt] == 0)
          return -1;
        FBlockLeft = FBytes[FAt++];
      }
      if (FAt >= FBytes.size())
        return -1;
      FBits |= uint32_t(FBytes[FAt++]) << FBitCount;
      FBitCount += 8;
      --FBlockLeft;
    }
    const int code = int(FBits & ((1u << ABits) - 1));
    FBits >>= ABits;
    FBitCount -= ABits;
    return code;
  }

private:
  const rtl::TBytes& FBytes;
  size_t FAt;
  size_t FBlockLeft = 0;
  uint32_t FBits = 0;
  int FBitCount = 0;
};

// Decodes up to ACount indexes into AOut (already ACount long, zero-filled); stops at the end
// code, at the end of the data or at a code that names no entry yet.
void DecodeIndexes(TCodeReader& AReader, int AMinBits, std::vector<uint8_t>& AOut) {
  const int clear = 1 << AMinBits, end = clear + 1;
  std::array<uint16_t, TableSize> prefix{};
  std::array<uint8_t, TableSize> suffix{};
  std::array<uint8_t, TableSize> first{};
  std::array<uint8_t, TableSize + 1> stack{};
  for (int i = 0; i < clear; ++i) {
    suffix[size_t(i)] = uint8_t(i);
    first[size_t(i)] = uint8_t(i);
  }
  int bits = AMinBits + 1, next = end + 1, previous = -1;
  size_t out = 0;
  while (out < AOut.size()) {
    const int code = AReader.Read(bits);
    if (code < 0 || code == end)
      return;
    if (code == clear) {
      bits = AMinBits + 1;
      next = end + 1;
      previous = -1;
      continue;
    }
    if (previous < 0) {
      if (code >= clear)
        return;
      AOut[out++] = uint8_t(code);
      previous = code;
      continue;
    }
    if (code > next || (code == next && next >= TableSize))
      return;
    // The entry a code names is written backwards onto the stack; a code naming the entry about
    // to be made repeats the previous string plus its own first index.
    size_t depth = 0;
    int walk = code;
    if (code == next) {
      stack[depth++] = first[size_t(previous)];
      walk = previous;
    }
    while (walk >= clear) {
      stack[depth++] = suffix[size_t(walk)];
      walk = prefix[size_t(walk)];
    }
    stack[depth++] = uint8_t(walk);
    const uint8_t head = uint8_t(walk);
    while (depth > 0 && out < AOut.size())
      AOut[out++] = stack[--depth];
    if (next < TableSize) {
      prefix[size_t(next)] = uint16_t(previous);
      suffix[size_t(next)] = head;
      first[size_t(next)] = first[size_t(previous)];
      ++next;
      if (next == (1 << bits) && bits < MaxCodeBits)
        ++bits;
    }
    previous = code;
  }
}

uint32_t ReadLE16(const rtl::TBytes& ABytes, size_t AAt) {
  return uint32_t(ABytes[AAt]) | uint32_t(ABytes[AAt + 1]) << 8;
}

// The colour table of 2 << (AFlags & 7) entries at AAt, when the data holds it.
bool ReadColorTable(const rtl::TBytes& ABytes, size_t AAt, uint8_t AFlags, std::vector<TColor>& ATable) {
  const size_t count = size_t(2) << (AFlags & 7);
  if (AAt + 3 * count > ABytes.size())
    return false;
  ATable.resize(count);
  for (size_t i = 0; i < count; ++i)
    ATable[i] = {ABytes[AAt + 3 * i], ABytes[AAt + 3 * i + 1], ABytes[AAt + 3 * i + 2]};
  return true;
}

// The rows of an interlaced image in the order its data holds them.
std::vector<int32_t> RowOrder(int32_t AHeight, bool AInterlaced) {
  std::vector<int32_t> rows;
  rows.reserve(size_t(AHeight));
  if (!AInterlaced) {
    for (int32_t y = 0; y < AHeight; ++y)
      rows.push_back(y);
    return rows;
  }
  constexpr int32_t starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int32_t y = starts[pass]; y < AHeight; y += steps[pass])
      rows.push_back(y);
  return rows;
}

} // namespace

bool DecodeGifFirstImage(const rtl::TBytes& ABytes, TGifImage& AImage, std::string& AError) {
  const size_t size = ABytes.size();
  if (size < HeaderSize) {
    AError = "truncated picture";
    return false;
  }
  std::vector<TColor> global, local;
  size_t at = HeaderSize;
  if (ABytes[10] & 0x80) {
    if (!ReadColorTable(ABytes, at, ABytes[10], global)) {
      AError = "truncated picture";
      return false;
    }
    at += 3 * global.size();
  }
  int transparent = -1;
  // As the picture's decoder does: extensions are read by their sub-blocks, any other byte that
  // starts no image is passed over, and the trailer ends the search.
  while (at < size && ABytes[at] != 0x2C) {
    if (ABytes[at] == 0x3B)
      break;
    if (ABytes[at] != 0x21) {
      ++at;
      continue;
    }
    const bool control = at + 1 < size && ABytes[at + 1] == 0xF9;
    at += 2;
    // A graphic control extension's block: flags, delay, transparent index.
    if (control && at + 4 < size && ABytes[at] >= 4)
      transparent = (ABytes[at + 1] & 1) ? ABytes[at + 4] : -1;
    while (at < size && ABytes[at] != 0)
      at += 1 + ABytes[at];
    ++at;
  }
  if (at + 10 > size || ABytes[at] != 0x2C) {
    AError = "no image in the picture";
    return false;
  }
  const auto width = int32_t(ReadLE16(ABytes, at + 5)), height = int32_t(ReadLE16(ABytes, at + 7));
  const uint8_t flags = ABytes[at + 9];
  at += 10;
  if (flags & 0x80) {
    if (!ReadColorTable(ABytes, at, flags, local)) {
      AError = "truncated picture";
      return false;
    }
    at += 3 * local.size();
  }
  if (width == 0 || height == 0 || at >= size || ABytes[at] < 2 || ABytes[at] > 8) {
    AError = "unreadable picture";
    return false;
  }
  const int minBits = ABytes[at++];
  std::vector<uint8_t> indexes(size_t(width) * size_t(height), 0);
  TCodeReader reader(ABytes, at);
  DecodeIndexes(reader, minBits, indexes);

  const std::vector<TColor>& table = local.empty() ? global : local;
  AImage.Width = width;
  AImage.Height = height;
  AImage.Pixels.assign(indexes.size() * 4, 0);
  const std::vector<int32_t> rows = RowOrder(height, (flags & 0x40) != 0);
  for (int32_t row = 0; row < height; ++row)
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t index = indexes[size_t(row) * size_t(width) + size_t(x)];
      const TColor color = index < table.size() ? table[index] : TColor{};
      uint8_t* pixel = &AImage.Pixels[(size_t(rows[size_t(row)]) * size_t(width) + size_t(x)) * 4];
      pixel[0] = color.B;
      pixel[1] = color.G;
      pixel[2] = color.R;
      pixel[3] = index == transparent ? 0 : 0xFF;
    }
  return true;
}

} // namespace ui
