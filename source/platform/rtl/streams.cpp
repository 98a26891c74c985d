#include "rtl/streams.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rtl {

RTL_DEFINE_CLASS(TStream, "Rtl.Streams")
RTL_DEFINE_CLASS(TCustomMemoryStream, "Rtl.Streams")
RTL_DEFINE_CLASS(TMemoryStream, "Rtl.Streams")
RTL_DEFINE_CLASS(TBytesStream, "Rtl.Streams")
RTL_DEFINE_CLASS(TStringStream, "Rtl.Streams")
RTL_DEFINE_CLASS(TFileStream, "Rtl.Streams")

namespace {

constexpr int64_t CopyChunk = 64 * 1024;
// Single read/write calls stay below what every kernel transfers at once.
constexpr int64_t MaxTransfer = 1 << 30;

std::string OSMessage(int AError) {
  return std::system_category().message(AError);
}

// The name as messages show it: absolute and without "." or ".." steps.
std::string ExpandedName(const std::string& AFileName) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(AFileName, error);
  return error ? AFileName : absolute.lexically_normal().string();
}

std::string FileError(const char* AWhat, const std::string& AFileName, int AError) {
  return std::string(AWhat) + " \"" + ExpandedName(AFileName) + "\". " + OSMessage(AError);
}

// position + offset, raising instead of overflowing.
int64_t OffsetPosition(int64_t ABase, int64_t AOffset) {
  int64_t result;
  if (__builtin_add_overflow(ABase, AOffset, &result))
    throw EArgumentOutOfRangeException("Stream position out of range");
  return result;
}

} // namespace

// TStream

void TStream::ReadBuffer(void* ABuffer, int64_t ACount) {
  if (ACount != 0 && Read(ABuffer, ACount) != ACount)
    throw EReadError(messages::ReadError);
}

void TStream::WriteBuffer(const void* ABuffer, int64_t ACount) {
  if (ACount != 0 && Write(ABuffer, ACount) != ACount)
    throw EWriteError(messages::WriteError);
}

int64_t TStream::CopyFrom(TStream& ASource, int64_t ACount) {
  if (ACount < 0)
    throw EArgumentOutOfRangeException("Negative byte count to copy");
  std::vector<uint8_t> buffer(static_cast<size_t>(ACount == 0 ? CopyChunk : std::min(ACount, CopyChunk)));
  if (ACount == 0) {
    const int64_t size = ASource.GetSize();
    if (size < 0) {
      int64_t copied = 0;
      while (const int64_t count = ASource.Read(buffer.data(), CopyChunk)) {
        WriteBuffer(buffer.data(), count);
        copied += count;
      }
      return copied;
    }
    ASource.SetPosition(0);
    ACount = size;
  }
  for (int64_t left = ACount; left > 0;) {
    const int64_t count = std::min(left, CopyChunk);
    ASource.ReadBuffer(buffer.data(), count);
    WriteBuffer(buffer.data(), count);
    left -= count;
  }
  return ACount;
}

int64_t TStream::GetSize() {
  const int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("The size of this stream cannot be changed");
}

// TCustomMemoryStream

int64_t TCustomMemoryStream::Read(void* ABuffer, int64_t ACount) {
  if (FPosition < 0 || ACount <= 0 || FPosition >= FSize)
    return 0;
  const int64_t count = std::min(ACount, FSize - FPosition);
  std::memcpy(ABuffer, FMemory + FPosition, static_cast<size_t>(count));
  FPosition += count;
  return count;
}

int64_t TCustomMemoryStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  switch (AOrigin) {
  case TSeekOrigin::soBeginning:
    FPosition = AOffset;
    break;
  case TSeekOrigin::soCurrent:
    FPosition = OffsetPosition(FPosition, AOffset);
    break;
  case TSeekOrigin::soEnd:
    FPosition = OffsetPosition(FSize, AOffset);
    break;
  }
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& AStream) const {
  AStream.WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& AFileName) const {
  SaveToStream(*MakeOwned<TFileStream>(AFileName, fmCreate));
}

void TCustomMemoryStream::SetPointer(uint8_t* AMemory, int64_t ASize) {
  FMemory = AMemory;
  FSize = ASize;
}

// TMemoryStream

TMemoryStream::TMemoryStream(TBytes AData) : FData(std::move(AData)) {
  SetPointer(FData.data(), static_cast<int64_t>(FData.size()));
}

int64_t TMemoryStream::Write(const void* ABuffer, int64_t ACount) {
  if (FPosition < 0 || ACount <= 0)
    return 0;
  const int64_t end = OffsetPosition(FPosition, ACount);
  if (end > GetSize()) {
    // resize grows the capacity geometrically, so appending stays linear overall.
    FData.resize(static_cast<size_t>(end));
    SetPointer(FData.data(), end);
  }
  std::memcpy(FData.data() + FPosition, ABuffer, static_cast<size_t>(ACount));
  FPosition = end;
  return ACount;
}

void TMemoryStream::SetSize(int64_t ANewSize) {
  if (ANewSize < 0)
    throw EArgumentOutOfRangeException("Negative stream size");
  FData.resize(static_cast<size_t>(ANewSize));
  SetPointer(FData.data(), ANewSize);
  FPosition = std::min(FPosition, ANewSize);
}

void TMemoryStream::SetCapacity(int64_t ACapacity) {
  if (ACapacity <= GetCapacity())
    return;
  FData.reserve(static_cast<size_t>(ACapacity));
  SetPointer(FData.data(), GetSize());
}

void TMemoryStream::Clear() {
  TBytes().swap(FData);
  SetPointer(nullptr, 0);
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& AStream) {
  Clear();
  CopyFrom(AStream, 0);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& AFileName) {
  LoadFromStream(*MakeOwned<TFileStream>(AFileName, fmOpenRead | fmShareDenyWrite));
}

// TStringStream

std::string TStringStream::ReadString(int64_t ACount) {
  const int64_t available = std::max<int64_t>(0, GetSize() - std::max<int64_t>(FPosition, 0));
  std::string text(static_cast<size_t>(std::clamp<int64_t>(ACount, 0, available)), '\0');
  text.resize(static_cast<size_t>(Read(text.data(), static_cast<int64_t>(text.size()))));
  return text;
}

// TFileStream

TFileStream::TFileStream(const std::string& AFileName, TFileMode AMode) : FFileName(AFileName) {
  if ((AMode & fmCreate) == fmCreate) {
    FHandle = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError(FileError("Cannot create file", AFileName, errno));
    return;
  }
  int flags;
  switch (AMode & 0x000F) {
  case fmOpenRead:
    flags = O_RDONLY;
    break;
  case fmOpenWrite:
    flags = O_WRONLY;
    break;
  case fmOpenReadWrite:
    flags = O_RDWR;
    break;
  default:
    throw EFOpenError(FileError("Cannot open file", AFileName, EINVAL));
  }
  FHandle = ::open(AFileName.c_str(), flags | O_CLOEXEC);
  if (FHandle < 0)
    throw EFOpenError(FileError("Cannot open file", AFileName, errno));
  // A directory opens for reading on POSIX but is no file to stream.
  struct stat status;
  if (::fstat(FHandle, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    throw EFOpenError(FileError("Cannot open file", AFileName, EISDIR));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0)
    ::close(FHandle);
}

int64_t TFileStream::Read(void* ABuffer, int64_t ACount) {
  auto* bytes = static_cast<uint8_t*>(ABuffer);
  int64_t total = 0;
  while (total < ACount) {
    const ssize_t count =
        ::read(FHandle, bytes + total, static_cast<size_t>(std::min(ACount - total, MaxTransfer)));
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0)
      throw EReadError(messages::ReadError);
    if (count == 0)
      break;
    total += count;
  }
  return total;
}

int64_t TFileStream::Write(const void* ABuffer, int64_t ACount) {
  const auto* bytes = static_cast<const uint8_t*>(ABuffer);
  int64_t total = 0;
  while (total < ACount) {
    const ssize_t count =
        ::write(FHandle, bytes + total, static_cast<size_t>(std::min(ACount - total, MaxTransfer)));
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      throw EWriteError(messages::WriteError);
    total += count;
  }
  return total;
}

int64_t TFileStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  static constexpr int Whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  const off_t position = ::lseek(FHandle, AOffset, Whence[static_cast<int>(AOrigin)]);
  if (position < 0)
    throw EStreamError(FileError("Cannot seek in file", FFileName, errno));
  return position;
}

int64_t TFileStream::GetSize() {
  struct stat status;
  if (::fstat(FHandle, &status) != 0)
    throw EStreamError(FileError("Cannot get the size of file", FFileName, errno));
  return status.st_size;
}

void TFileStream::SetSize(int64_t ANewSize) {
  if (::ftruncate(FHandle, ANewSize) != 0)
    throw EStreamError(FileError("Cannot resize file", FFileName, errno));
  if (GetPosition() > ANewSize)
    SetPosition(ANewSize);
}

} // namespace rtl
