#pragma once
// Chance: a seedable pseudo-random generator for reproducible sequences (a process-wide one and
// TRandom for local use), and the system's entropy source for values that must not repeat.

#include <concepts>
#include <cstddef>
#include <cstdint>

namespace rtl {

// Fills ABuffer from the kernel's entropy pool; raises EOSError when it cannot be read.
void SystemRandomBytes(void* ABuffer, size_t ACount);

// A small, fast generator (SplitMix64). The seed is the whole state: saving the seed and setting
// it back replays the sequence from that point. A plain value type, so it can be copied to fork
// a sequence.
class TRandom {
public:
  explicit TRandom(uint64_t ASeed = 0) : FSeed(ASeed) {}

  // Seeds from the system's entropy.
  void Randomize();
  uint64_t GetSeed() const { return FSeed; }
  void SetSeed(uint64_t ASeed) { FSeed = ASeed; }

  uint64_t Next();
  // An integer in [0, ARange); 0 when ARange <= 0.
  template <std::integral T> T Random(T ARange) {
    return ARange <= 0 ? T(0) : static_cast<T>(Below(static_cast<uint64_t>(ARange)));
  }
  // A double in [0, 1).
  double Random();

private:
  uint64_t Below(uint64_t ARange);
  uint64_t FSeed;
};

// The process-wide generator; safe to call from any thread. Its seed is 0 until set or randomized.
void Randomize();
uint64_t RandSeed();
void SetRandSeed(uint64_t ASeed);
namespace detail {
uint64_t RandomBelow(uint64_t ARange);
}
// An integer in [0, ARange); 0 when ARange <= 0.
template <std::integral T> T Random(T ARange) {
  return ARange <= 0 ? T(0) : static_cast<T>(detail::RandomBelow(static_cast<uint64_t>(ARange)));
}
// A double in [0, 1).
double Random();

} // namespace rtl
