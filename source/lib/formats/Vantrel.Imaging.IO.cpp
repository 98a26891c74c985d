#include "formats/Vantrel.Imaging.IO.h"

#include <algorithm>
#include <cstring>

#include "rtl/exceptions.h"

namespace vantrel {

RTL_DEFINE_CLASS(TImageIOHandle, "Vantrel.Imaging.IO")
RTL_DEFINE_CLASS(TBufferedStream, "Vantrel.Imaging.IO")
RTL_DEFINE_CLASS(TFileIOHandle, "Vantrel.Imaging.IO")
RTL_DEFINE_CLASS(TStreamIOHandle, "Vantrel.Imaging.IO")
RTL_DEFINE_CLASS(TMemoryIOHandle, "Vantrel.Imaging.IO")

namespace {

// The block start of a position: rounded down to a multiple of the buffer size.
int64_t BlockOf(int64_t APosition) {
  const int64_t block = APosition / TBufferedStream::BufferSize;
  return (APosition < 0 && APosition % TBufferedStream::BufferSize != 0 ? block - 1 : block) *
         TBufferedStream::BufferSize;
}

} // namespace

// --- TBufferedStream -------------------------------------------------------------------------------

TBufferedStream::TBufferedStream(TStream& AStream)
    : FBuffer(static_cast<size_t>(BufferSize)), FSize(AStream.GetSize()), FStream(&AStream) {}

TBufferedStream::~TBufferedStream() {
  try {
    Commit();
    FStream->SetPosition(Position());
  } catch (...) {
  }
}

void TBufferedStream::Fill(bool ARequireData) {
  std::fill(FBuffer.begin(), FBuffer.end(), uint8_t{0});
  FBytesInBuf = 0;
  const int64_t wanted = std::min(BufferSize, FSize - FBufStart);
  if (wanted <= 0)
    return;
  if (FStream->Seek(FBufStart, TSeekOrigin::soBeginning) != FBufStart)
    throw Exception("TBufferedStream.ReadBuffer: seek failed");
  FBytesInBuf = FStream->Read(FBuffer.data(), wanted);
  if (ARequireData && FBytesInBuf <= 0)
    throw Exception("TBufferedStream.ReadBuffer: read failed");
  FBytesInBuf = std::max<int64_t>(FBytesInBuf, 0);
}

void TBufferedStream::Commit() {
  if (!FDirty)
    return;
  if (FStream->Seek(FBufStart, TSeekOrigin::soBeginning) != FBufStart)
    throw Exception("TBufferedStream.WriteBuffer: seek failed");
  if (FStream->Write(FBuffer.data(), FBytesInBuf) != FBytesInBuf)
    throw Exception("TBufferedStream.WriteBuffer: write failed");
  FDirty = false;
}

void TBufferedStream::MoveTo(int64_t AStart) {
  Commit();
  FBufStart = AStart;
  FBytesInBuf = 0;
}

int64_t TBufferedStream::Read(void* ABuffer, int64_t ACount) {
  const int64_t count = std::min(ACount, FSize - Position());
  if (count <= 0)
    return 0;
  auto* target = static_cast<uint8_t*>(ABuffer);
  for (int64_t done = 0; done < count;) {
    if (FBytesInBuf == 0)
      Fill(true);
    const int64_t available = FBytesInBuf - FBufPos;
    if (available <= 0)
      throw Exception("TBufferedStream.ReadBuffer: read failed");
    const int64_t n = std::min(available, count - done);
    std::memcpy(target + done, FBuffer.data() + FBufPos, static_cast<size_t>(n));
    FBufPos += n;
    done += n;
    if (FBufPos == BufferSize) {
      MoveTo(FBufStart + BufferSize);
      FBufPos = 0;
    }
  }
  return count;
}

int64_t TBufferedStream::Write(const void* ABuffer, int64_t ACount) {
  const auto* source = static_cast<const uint8_t*>(ABuffer);
  for (int64_t done = 0; done < ACount;) {
    // A block that holds stream data is loaded before it is changed; a block past the end starts
    // as zeros.
    if (FBytesInBuf == 0 && !FDirty)
      Fill(false);
    const int64_t n = std::min(BufferSize - FBufPos, ACount - done);
    std::memcpy(FBuffer.data() + FBufPos, source + done, static_cast<size_t>(n));
    FBufPos += n;
    done += n;
    FBytesInBuf = std::max(FBytesInBuf, FBufPos);
    FDirty = true;
    FSize = std::max(FSize, Position());
    if (FBufPos == BufferSize) {
      MoveTo(FBufStart + BufferSize);
      FBufPos = 0;
    }
  }
  return std::max<int64_t>(ACount, 0);
}

int64_t TBufferedStream::Seek(int64_t AOffset, int32_t AOrigin) {
  int64_t position;
  switch (AOrigin) {
  case SeekFromStart:
    position = AOffset;
    break;
  case SeekFromCurrent:
    position = Position() + AOffset;
    break;
  case SeekFromEnd:
    position = FSize + AOffset;
    break;
  default:
    throw Exception("TBufferedStream.Seek: invalid origin");
  }
  const int64_t block = BlockOf(position);
  if (block != FBufStart)
    MoveTo(block);
  FBufPos = position - FBufStart;
  return position;
}

// --- Handles ---------------------------------------------------------------------------------------

TFileIOHandle::TFileIOHandle(const std::string& AFileName, bool AForWriting)
    : FFile(New<TFileStream>(AFileName, (AForWriting ? fmCreate : fmOpenRead) | fmShareDenyWrite)),
      FBuffered(New<TBufferedStream>(*FFile)) {}

TFileIOHandle::~TFileIOHandle() {
  try {
    Close();
  } catch (...) {
  }
}

void TFileIOHandle::Close() {
  if (!FBuffered)
    return;
  // Freed even when the commit raises, so the destructor does not try again.
  TOwned<TBufferedStream> buffered = std::move(FBuffered);
  buffered->Commit();
  FFile->SetPosition(buffered->Position());
  buffered.reset();
  FFile.reset();
}

int64_t TStreamIOHandle::Seek(int64_t AOffset, int32_t AOrigin) {
  return FStream->Seek(AOffset, static_cast<TSeekOrigin>(std::clamp(AOrigin, 0, 2)));
}

int64_t TMemoryIOHandle::Seek(int64_t AOffset, int32_t AOrigin) {
  if (AOrigin == SeekFromStart)
    FPosition = AOffset;
  else if (AOrigin == SeekFromCurrent)
    FPosition += AOffset;
  else if (AOrigin == SeekFromEnd)
    FPosition = FSize + AOffset;
  return FPosition;
}

int64_t TMemoryIOHandle::Available(int64_t ACount) const {
  if (FPosition < 0 || FPosition > FSize || ACount <= 0)
    return 0;
  return std::min(ACount, FSize - FPosition);
}

int64_t TMemoryIOHandle::Read(void* ABuffer, int64_t ACount) {
  const int64_t count = Available(ACount);
  if (count > 0)
    std::memcpy(ABuffer, FData + FPosition, static_cast<size_t>(count));
  FPosition += count;
  return count;
}

int64_t TMemoryIOHandle::Write(const void* ABuffer, int64_t ACount) {
  const int64_t count = Available(ACount);
  if (count <= 0)
    return 0;
  std::memcpy(FData + FPosition, ABuffer, static_cast<size_t>(count));
  FPosition += count;
  FHighest = std::max(FHighest, FPosition);
  return count;
}

} // namespace vantrel
