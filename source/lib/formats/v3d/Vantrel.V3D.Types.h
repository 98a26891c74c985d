#pragma once
// The .v3d file header: 32 bytes, little-endian, in front of the model's JSON as BSON or as text,
// optionally deflated.

#include <array>
#include <cstddef>
#include <cstdint>

#include "Vantrel.Prelude.h"
#include "rtl/date_time.h"
#include "rtl/set.h"
#include "rtl/streams.h"

namespace vantrel {

enum class TVantrelV3DFormat : uint32_t { BSONFormat = 0, JSONFormat = 1 };

enum class TVantrelV3DOption { None, Zipped, Beautified, FastestCompression, MaxCompression };
// Bit n holds option n, so {Zipped} is 0x02 and {Beautified} 0x04.
using TVantrelV3DOptions = rtl::TSet<TVantrelV3DOption>;

struct TVantrelV3DHeader {
  std::array<char, 12> Signature{};
  uint32_t Version = 0;
  double DateTime = 0;
  TVantrelV3DFormat Format = TVantrelV3DFormat::BSONFormat;
  // The option set as stored: one byte.
  uint8_t Options = 0;
  std::array<uint8_t, 3> Padding{};

  TVantrelV3DOptions GetOptions() const { return TVantrelV3DOptions::FromBits(Options); }
  void SetOptions(TVantrelV3DOptions AValue) { Options = static_cast<uint8_t>(AValue.Bits()); }

  // "Vantrel3D " and two zero bytes, version 4, the current time, AFormat, {Zipped} or {}.
  static TVantrelV3DHeader Create(bool AZipped, TVantrelV3DFormat AFormat);

  // The 32 bytes field by field. A short stream raises EReadError; signature and version are not
  // examined, so files of another signature or version still read.
  void WriteTo(TStream& AStream) const;
  void ReadFrom(TStream& AStream);
};

static_assert(sizeof(TVantrelV3DHeader) == 32);
static_assert(offsetof(TVantrelV3DHeader, Signature) == 0);
static_assert(offsetof(TVantrelV3DHeader, Version) == 12);
static_assert(offsetof(TVantrelV3DHeader, DateTime) == 16);
static_assert(offsetof(TVantrelV3DHeader, Format) == 24);
static_assert(offsetof(TVantrelV3DHeader, Options) == 28);

} // namespace vantrel
