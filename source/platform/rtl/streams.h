#pragma once
// Byte streams: the abstract TStream with its raising helpers, memory-backed streams and the file
// stream. Positions, sizes and counts are 64-bit; a stream whose size cannot be known reports -1.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "rtl/object.h"

namespace rtl {

using TBytes = std::vector<uint8_t>;

enum class TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
  RTL_CLASS(TStream, TObject)
public:
  // Transfers up to ACount bytes and returns how many were moved; 0 from Read means the end.
  virtual int64_t Read(void* ABuffer, int64_t ACount) = 0;
  virtual int64_t Write(const void* ABuffer, int64_t ACount) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) = 0;

  // As Read / Write, but a short transfer raises EReadError / EWriteError.
  void ReadBuffer(void* ABuffer, int64_t ACount);
  void WriteBuffer(const void* ABuffer, int64_t ACount);

  // Copies ACount bytes from the source's position. ACount 0 copies the whole source: from its
  // start when its size is known, else from its position until its Read returns 0. Returns the
  // number of bytes copied.
  int64_t CopyFrom(TStream& ASource, int64_t ACount);

  // -1 when the stream cannot know its size (a decompressor, a pipe).
  virtual int64_t GetSize();
  // Raises EStreamError unless the stream can be resized.
  virtual void SetSize(int64_t ANewSize);
  int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t APosition) { Seek(APosition, TSeekOrigin::soBeginning); }

  // Numbers and enums in little-endian byte order, raising like ReadBuffer / WriteBuffer.
  template <class T> void ReadData(T& AValue) {
    static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
    uint8_t bytes[sizeof(T)];
    ReadBuffer(bytes, sizeof(T));
    FromLittleEndian(bytes, sizeof(T));
    std::memcpy(&AValue, bytes, sizeof(T));
  }
  template <class T> T ReadData() {
    T value;
    ReadData(value);
    return value;
  }
  template <class T> void WriteData(const T& AValue) {
    static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &AValue, sizeof(T));
    FromLittleEndian(bytes, sizeof(T));
    WriteBuffer(bytes, sizeof(T));
  }

protected:
  TStream() = default;

private:
  // Swapping is its own inverse, so one routine converts both ways.
  static void FromLittleEndian(uint8_t* ABytes, size_t ACount) {
    if constexpr (std::endian::native == std::endian::big)
      for (size_t i = 0; i < ACount / 2; ++i)
        std::swap(ABytes[i], ABytes[ACount - 1 - i]);
  }
};

// A stream over a block of memory that a descendant provides with SetPointer.
class TCustomMemoryStream : public TStream {
  RTL_CLASS(TCustomMemoryStream, TStream)
public:
  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t GetSize() override { return FSize; }

  uint8_t* Memory() const { return FMemory; }
  // Writes the whole content, whatever the position.
  void SaveToStream(TStream& AStream) const;
  void SaveToFile(const std::string& AFileName) const;

protected:
  TCustomMemoryStream() = default;
  void SetPointer(uint8_t* AMemory, int64_t ASize);
  int64_t FPosition = 0;

private:
  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
};

// A growable memory stream. Writing past the end grows it geometrically; a gap left by seeking
// past the end and writing reads as zeros.
class TMemoryStream : public TCustomMemoryStream {
  RTL_CLASS(TMemoryStream, TCustomMemoryStream)
public:
  TMemoryStream() = default;

  int64_t Write(const void* ABuffer, int64_t ACount) override;
  void SetSize(int64_t ANewSize) override;

  int64_t GetCapacity() const { return static_cast<int64_t>(FData.capacity()); }
  // Reserves room for at least ACapacity bytes; never drops content.
  void SetCapacity(int64_t ACapacity);
  // Empties the stream and releases its memory.
  void Clear();
  // Replaces the content with the whole of AStream (see CopyFrom) and rewinds.
  void LoadFromStream(TStream& AStream);
  void LoadFromFile(const std::string& AFileName);

protected:
  explicit TMemoryStream(TBytes AData);
  // Exactly GetSize() bytes long.
  TBytes FData;
};

class TBytesStream : public TMemoryStream {
  RTL_CLASS(TBytesStream, TMemoryStream)
public:
  explicit TBytesStream(TBytes ABytes = {}) : TMemoryStream(std::move(ABytes)) {}
  // The content, exactly GetSize() bytes long.
  const TBytes& Bytes() const { return FData; }
};

// A stream over UTF-8 text.
class TStringStream : public TBytesStream {
  RTL_CLASS(TStringStream, TBytesStream)
public:
  explicit TStringStream(const std::string& AText = {}) : TBytesStream(TBytes(AText.begin(), AText.end())) {}
  std::string DataString() const { return std::string(FData.begin(), FData.end()); }
  // Reads up to ACount bytes from the position.
  std::string ReadString(int64_t ACount);
  void WriteString(const std::string& AText) {
    WriteBuffer(AText.data(), static_cast<int64_t>(AText.size()));
  }
};

// File open modes: one access mode, optionally or-ed with a share mode. fmCreate creates or
// truncates the file and opens it for reading and writing.
using TFileMode = uint16_t;
inline constexpr TFileMode fmCreate = 0xFF00;
inline constexpr TFileMode fmOpenRead = 0x0000;
inline constexpr TFileMode fmOpenWrite = 0x0001;
inline constexpr TFileMode fmOpenReadWrite = 0x0002;
// Share modes are accepted for compatibility; POSIX files are not locked.
inline constexpr TFileMode fmShareCompat = 0x0000;
inline constexpr TFileMode fmShareExclusive = 0x0010;
inline constexpr TFileMode fmShareDenyWrite = 0x0020;
inline constexpr TFileMode fmShareDenyRead = 0x0030;
inline constexpr TFileMode fmShareDenyNone = 0x0040;

// A stream over an open file descriptor, closed with the stream. Failures of open raise
// EFCreateError / EFOpenError with the file's full name and the system's reason; failing reads
// and writes raise EReadError / EWriteError rather than looking like the end of the file.
class TFileStream : public TStream {
  RTL_CLASS(TFileStream, TStream)
public:
  TFileStream(const std::string& AFileName, TFileMode AMode);
  ~TFileStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t GetSize() override;
  void SetSize(int64_t ANewSize) override;

  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }

private:
  std::string FFileName;
  int FHandle = -1;
};

} // namespace rtl
