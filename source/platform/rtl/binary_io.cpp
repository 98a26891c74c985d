#include "rtl/binary_io.h"

#include <algorithm>

namespace rtl {

RTL_DEFINE_CLASS(TBinaryWriter, "Rtl.BinaryIO")
RTL_DEFINE_CLASS(TBinaryReader, "Rtl.BinaryIO")

namespace {

TStream* Required(TStream* AStream) {
  if (!AStream)
    throw EArgumentNilException("A binary reader or writer needs a stream");
  return AStream;
}

} // namespace

// TBinaryWriter

TBinaryWriter::TBinaryWriter(TStream* AStream, bool AOwnsStream)
    : FStream(Required(AStream)), FOwnsStream(AOwnsStream) {}

TBinaryWriter::~TBinaryWriter() {
  if (FOwnsStream)
    FStream->Free();
}

void TBinaryWriter::WriteBytes(std::span<const uint8_t> ABytes) {
  FStream->WriteBuffer(ABytes.data(), static_cast<int64_t>(ABytes.size()));
}

// TBinaryReader

TBinaryReader::TBinaryReader(TStream* AStream, bool AOwnsStream)
    : FStream(Required(AStream)), FMemory(dynamic_cast<TCustomMemoryStream*>(AStream)),
      FOwnsStream(AOwnsStream) {}

TBinaryReader::~TBinaryReader() {
  if (FOwnsStream)
    FStream->Free();
}

int64_t TBinaryReader::Remaining() const {
  const int64_t size = FStream->GetSize();
  const int64_t position = FStream->GetPosition();
  return size < 0 ? -1 : std::max<int64_t>(0, size - position);
}

void TBinaryReader::ReadRaw(void* ABuffer, int64_t ACount) {
  if (ACount == 0)
    return;
  if (!FMemory) {
    FStream->ReadBuffer(ABuffer, ACount);
    return;
  }
  // The memory is fetched on every read because a growing stream moves it.
  const std::span<const uint8_t> bytes = PeekMemory();
  if (static_cast<int64_t>(bytes.size()) < ACount)
    throw EReadError(messages::ReadError);
  std::memcpy(ABuffer, bytes.data(), static_cast<size_t>(ACount));
  FMemory->Seek(ACount, TSeekOrigin::soCurrent);
}

TBytes TBinaryReader::ReadBytes(int64_t ACount) {
  const int64_t remaining = Remaining();
  if (ACount < 0 || (remaining >= 0 && ACount > remaining))
    throw EReadError(messages::ReadError);
  TBytes bytes;
  if (remaining >= 0) {
    bytes.resize(static_cast<size_t>(ACount));
    ReadRaw(bytes.data(), ACount);
    return bytes;
  }
  // A stream of unknown size: grow with what actually arrives.
  constexpr int64_t Chunk = 64 * 1024;
  while (static_cast<int64_t>(bytes.size()) < ACount) {
    const int64_t count = std::min(Chunk, ACount - static_cast<int64_t>(bytes.size()));
    const size_t offset = bytes.size();
    bytes.resize(offset + static_cast<size_t>(count));
    FStream->ReadBuffer(bytes.data() + offset, count);
  }
  return bytes;
}

std::span<const uint8_t> TBinaryReader::PeekMemory() const {
  if (!FMemory)
    return {};
  const int64_t position = FMemory->GetPosition();
  const int64_t size = FMemory->GetSize();
  if (position < 0 || position >= size)
    return {};
  return {FMemory->Memory() + position, static_cast<size_t>(size - position)};
}

} // namespace rtl
