#pragma once
// Little-endian binary readers and writers over a stream. Every value has its own named method,
// so the width written never depends on the type a literal happens to have.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

#include "rtl/streams.h"

namespace rtl {

class TBinaryWriter : public TObject {
  RTL_CLASS(TBinaryWriter, TObject)
public:
  // AStream must not be null; with AOwnsStream the writer frees it.
  explicit TBinaryWriter(TStream* AStream, bool AOwnsStream = false);
  ~TBinaryWriter() override;

  TStream* BaseStream() const { return FStream; }

  void WriteByte(uint8_t AValue) { Put(AValue); }
  void WriteBoolean(bool AValue) { Put(static_cast<uint8_t>(AValue ? 1 : 0)); }
  void WriteInt8(int8_t AValue) { Put(AValue); }
  void WriteInt16(int16_t AValue) { Put(AValue); }
  void WriteInt32(int32_t AValue) { Put(AValue); }
  void WriteInt64(int64_t AValue) { Put(AValue); }
  void WriteUInt16(uint16_t AValue) { Put(AValue); }
  void WriteUInt32(uint32_t AValue) { Put(AValue); }
  void WriteUInt64(uint64_t AValue) { Put(AValue); }
  void WriteSingle(float AValue) { Put(AValue); }
  void WriteDouble(double AValue) { Put(AValue); }
  void WriteBytes(std::span<const uint8_t> ABytes);

private:
  template <class T> void Put(T AValue) { FStream->WriteData(AValue); }

  TStream* FStream;
  bool FOwnsStream;
};

// Reads what TBinaryWriter writes. A short read raises EReadError. Over a memory stream the reader
// takes the bytes straight from the stream's memory, leaving the stream's position exactly after
// what it has read.
class TBinaryReader : public TObject {
  RTL_CLASS(TBinaryReader, TObject)
public:
  // AStream must not be null; with AOwnsStream the reader frees it.
  explicit TBinaryReader(TStream* AStream, bool AOwnsStream = false);
  ~TBinaryReader() override;

  TStream* BaseStream() const { return FStream; }

  uint8_t ReadByte() { return Get<uint8_t>(); }
  // Any non-zero byte is true.
  bool ReadBoolean() { return Get<uint8_t>() != 0; }
  int8_t ReadInt8() { return Get<int8_t>(); }
  int16_t ReadInt16() { return Get<int16_t>(); }
  int32_t ReadInt32() { return Get<int32_t>(); }
  int64_t ReadInt64() { return Get<int64_t>(); }
  uint16_t ReadUInt16() { return Get<uint16_t>(); }
  uint32_t ReadUInt32() { return Get<uint32_t>(); }
  uint64_t ReadUInt64() { return Get<uint64_t>(); }
  float ReadSingle() { return Get<float>(); }
  double ReadDouble() { return Get<double>(); }
  // Raises EReadError before allocating when fewer than ACount bytes are left (or ACount < 0).
  TBytes ReadBytes(int64_t ACount);

  // Over a memory stream: the bytes from the position to the end, without consuming them, so a
  // parser can scan for a terminator in place. Empty over any other stream.
  std::span<const uint8_t> PeekMemory() const;

private:
  void ReadRaw(void* ABuffer, int64_t ACount);
  template <class T> T Get() {
    uint8_t bytes[sizeof(T)];
    ReadRaw(bytes, sizeof(T));
    T value;
    if constexpr (std::endian::native == std::endian::big)
      for (size_t i = 0; i < sizeof(T) / 2; ++i)
        std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }
  int64_t Remaining() const;

  TStream* FStream;
  // The same object as FStream when it is a memory stream, else null.
  TCustomMemoryStream* FMemory;
  bool FOwnsStream;
};

} // namespace rtl
