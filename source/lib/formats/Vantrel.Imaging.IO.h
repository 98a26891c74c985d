#pragma once
// The I/O handles image readers and writers work through, so a reader never sees whether it reads
// a file, a stream or a memory block; and the buffered stream under file handles.

#include <cstdint>
#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/object.h"
#include "rtl/streams.h"

namespace vantrel {

// Origins of TImageIOHandle::Seek and TBufferedStream::Seek.
inline constexpr int32_t SeekFromStart = 0;
inline constexpr int32_t SeekFromCurrent = 1;
inline constexpr int32_t SeekFromEnd = 2;

// Reads, writes and moves within one source or target. Each load or save makes its own handle,
// so two calls on two threads share no I/O state.
class TImageIOHandle : public TObject {
  RTL_CLASS(TImageIOHandle, TObject)
public:
  virtual bool AtEnd() = 0;
  virtual int64_t Position() = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t AOffset, int32_t AOrigin) = 0;
  // Both return the bytes moved.
  virtual int64_t Read(void* ABuffer, int64_t ACount) = 0;
  virtual int64_t Write(const void* ABuffer, int64_t ACount) = 0;
  // The size in bytes, or -1 when unknown.
  virtual int64_t Size() = 0;
  // Ends the work: what is pending is written, and a failure raises.
  virtual void Close() {}
};

// A 16 KiB block buffer over a stream it does not own. Reads are cut at the stream's size; writes
// fill blocks that are written back when they are left, full or committed.
class TBufferedStream : public TObject {
  RTL_CLASS(TBufferedStream, TObject)
public:
  static constexpr int64_t BufferSize = 16384;

  explicit TBufferedStream(TStream& AStream);
  // Commits without raising and leaves the stream at the buffered position.
  ~TBufferedStream() override;

  int64_t Read(void* ABuffer, int64_t ACount);
  int64_t Write(const void* ABuffer, int64_t ACount);
  // Origins 0, 1 and 2 (from the start, the position, the end); others raise.
  int64_t Seek(int64_t AOffset, int32_t AOrigin);
  // Writes back a dirty buffer; a short write raises.
  void Commit();
  int64_t Position() const { return FBufStart + FBufPos; }
  int64_t Size() const { return FSize; }

private:
  // Loads the current block from the stream (zeros beyond what it holds).
  void Fill(bool ARequireData);
  // Commits and moves the buffer to the block starting at AStart.
  void MoveTo(int64_t AStart);

  std::vector<uint8_t> FBuffer;
  int64_t FBufStart = 0;
  int64_t FBufPos = 0;
  int64_t FBytesInBuf = 0;
  int64_t FSize = 0;
  bool FDirty = false;
  TStream* FStream;
};

// A file opened for reading (others may not write) or created for writing, behind a buffer.
class TFileIOHandle : public TImageIOHandle {
  RTL_CLASS(TFileIOHandle, TImageIOHandle)
public:
  TFileIOHandle(const std::string& AFileName, bool AForWriting);
  // Closes, swallowing errors: a caller that wants them calls Close.
  ~TFileIOHandle() override;

  bool AtEnd() override { return FBuffered->Position() >= FBuffered->Size(); }
  int64_t Position() override { return FBuffered->Position(); }
  int64_t Seek(int64_t AOffset, int32_t AOrigin) override { return FBuffered->Seek(AOffset, AOrigin); }
  int64_t Read(void* ABuffer, int64_t ACount) override { return FBuffered->Read(ABuffer, ACount); }
  int64_t Write(const void* ABuffer, int64_t ACount) override { return FBuffered->Write(ABuffer, ACount); }
  int64_t Size() override { return FBuffered->Size(); }
  // Commits the buffer (a failure raises), then frees the buffer and the file.
  void Close() override;

private:
  TOwned<TFileStream> FFile;
  TOwned<TBufferedStream> FBuffered;
};

// A stream as it is; at its end when the position is its size.
class TStreamIOHandle : public TImageIOHandle {
  RTL_CLASS(TStreamIOHandle, TImageIOHandle)
public:
  explicit TStreamIOHandle(TStream& AStream) : FStream(&AStream) {}

  bool AtEnd() override { return FStream->GetPosition() == FStream->GetSize(); }
  int64_t Position() override { return FStream->GetPosition(); }
  int64_t Seek(int64_t AOffset, int32_t AOrigin) override;
  int64_t Read(void* ABuffer, int64_t ACount) override { return FStream->Read(ABuffer, ACount); }
  int64_t Write(const void* ABuffer, int64_t ACount) override { return FStream->Write(ABuffer, ACount); }
  int64_t Size() override { return FStream->GetSize(); }

private:
  TStream* FStream;
};

// A memory block that never grows. Seeking from the position or the end adds the offset; reads
// and writes move at most size - position bytes, and none while the position lies outside the
// block.
class TMemoryIOHandle : public TImageIOHandle {
  RTL_CLASS(TMemoryIOHandle, TImageIOHandle)
public:
  TMemoryIOHandle(void* AData, int64_t ASize) : FData(static_cast<uint8_t*>(AData)), FSize(ASize) {}

  bool AtEnd() override { return FPosition >= FSize; }
  int64_t Position() override { return FPosition; }
  int64_t Seek(int64_t AOffset, int32_t AOrigin) override;
  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Size() override { return FSize; }
  // The highest offset written so far.
  int64_t HighestWritten() const { return FHighest; }

private:
  // The bytes a transfer of ACount may move from the position.
  int64_t Available(int64_t ACount) const;

  uint8_t* FData;
  int64_t FSize;
  int64_t FPosition = 0;
  int64_t FHighest = 0;
};

} // namespace vantrel
