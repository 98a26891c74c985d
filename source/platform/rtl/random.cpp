#include "rtl/random.h"

#include <atomic>
#include <cerrno>
#include <system_error>

#include <sys/random.h>

#include "rtl/exceptions.h"

namespace rtl {

namespace {

constexpr uint64_t Golden = 0x9E3779B97F4A7C15ull;

// The SplitMix64 output function of a state that advances by Golden.
uint64_t Mix(uint64_t AState) {
  AState = (AState ^ (AState >> 30)) * 0xBF58476D1CE4E5B9ull;
  AState = (AState ^ (AState >> 27)) * 0x94D049BB133111EBull;
  return AState ^ (AState >> 31);
}

// Multiply-shift maps 64 random bits onto [0, ARange) without a division; the bias is below
// ARange / 2^64.
uint64_t Scale(uint64_t ABits, uint64_t ARange) {
  return static_cast<uint64_t>((static_cast<unsigned __int128>(ABits) * ARange) >> 64);
}

double UnitInterval(uint64_t ABits) {
  return static_cast<double>(ABits >> 11) * 0x1.0p-53;
}

uint64_t EntropySeed() {
  uint64_t seed;
  SystemRandomBytes(&seed, sizeof seed);
  return seed;
}

// One atomic add advances the state, so concurrent callers never see the same value.
std::atomic<uint64_t> gSeed{0};

} // namespace

void SystemRandomBytes(void* ABuffer, size_t ACount) {
  auto* bytes = static_cast<uint8_t*>(ABuffer);
  while (ACount > 0) {
    const ssize_t count = ::getrandom(bytes, ACount, 0);
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0)
      throw EOSError("Cannot read random bytes: " + std::system_category().message(errno));
    bytes += count;
    ACount -= static_cast<size_t>(count);
  }
}

void TRandom::Randomize() {
  FSeed = EntropySeed();
}

uint64_t TRandom::Next() {
  return Mix(FSeed += Golden);
}

uint64_t TRandom::Below(uint64_t ARange) {
  return Scale(Next(), ARange);
}

double TRandom::Random() {
  return UnitInterval(Next());
}

void Randomize() {
  gSeed = EntropySeed();
}

uint64_t RandSeed() {
  return gSeed;
}

void SetRandSeed(uint64_t ASeed) {
  gSeed = ASeed;
}

namespace {
uint64_t RandomNext() {
  return Mix(gSeed.fetch_add(Golden) + Golden);
}
} // namespace

uint64_t detail::RandomBelow(uint64_t ARange) {
  return Scale(RandomNext(), ARange);
}

double Random() {
  return UnitInterval(RandomNext());
}

} // namespace rtl
