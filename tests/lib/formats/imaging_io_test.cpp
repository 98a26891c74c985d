// The I/O handles and the buffered stream under file handles.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <numeric>

#include "formats/Vantrel.Imaging.IO.h"
#include "rtl/ioutils.h"

namespace {

using namespace vantrel;

// A file of this process in the temporary folder, removed with the fixture.
class TTempFile {
public:
  explicit TTempFile(const std::string& AName)
      : FPath((std::filesystem::temp_directory_path() /
               ("vantrel_image_io_" + std::to_string(getpid()) + "_" + AName))
                  .string()) {}
  ~TTempFile() { std::filesystem::remove(FPath); }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};

TBytes Pattern(size_t ASize, int ASeed) {
  TBytes bytes(ASize);
  for (size_t i = 0; i < ASize; ++i)
    bytes[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(ASeed)) % 251);
  return bytes;
}

// A stream whose writes move at most FLimit bytes each.
class TShortWriteStream : public TBytesStream {
public:
  explicit TShortWriteStream(int64_t ALimit) : FLimit(ALimit) {}
  int64_t Write(const void* ABuffer, int64_t ACount) override {
    return TBytesStream::Write(ABuffer, std::min(ACount, FLimit));
  }

private:
  int64_t FLimit;
};

TEST(BufferedStream, ReadsAcrossBlocksAndStopsAtTheEnd) {
  TTempFile file("read.bin");
  const TBytes content = Pattern(40000, 1);
  TFile::WriteAllBytes(file.Path(), content);
  TFileStream stream(file.Path(), fmOpenRead);
  TBufferedStream buffered(stream);
  EXPECT_EQ(buffered.Size(), 40000);
  TBytes part(20000);
  EXPECT_EQ(buffered.Seek(10000, SeekFromStart), 10000);
  ASSERT_EQ(buffered.Read(part.data(), 20000), 20000);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), content.begin() + 10000));
  EXPECT_EQ(buffered.Position(), 30000);
  buffered.Seek(-10, SeekFromEnd);
  EXPECT_EQ(buffered.Read(part.data(), 100), 10);
  EXPECT_TRUE(std::equal(part.begin(), part.begin() + 10, content.begin() + 39990));
  EXPECT_EQ(buffered.Read(part.data(), 100), 0);
  EXPECT_THROW(
      {
        try {
          buffered.Seek(0, 3);
        } catch (const Exception& E) {
          EXPECT_EQ(E.Message(), "TBufferedStream.Seek: invalid origin");
          throw;
        }
      },
      Exception);
}

TEST(BufferedStream, WritesAcrossBlocksReadBackAndReachTheFile) {
  TTempFile file("write.bin");
  TFile::WriteAllBytes(file.Path(), Pattern(40000, 2));
  const TBytes written = Pattern(20000, 3);
  {
    TFileIOHandle handle(file.Path(), false);
    EXPECT_EQ(handle.Size(), 40000);
  }
  TBytes expected = Pattern(40000, 2);
  {
    TFileStream stream(file.Path(), fmOpenReadWrite);
    TBufferedStream buffered(stream);
    buffered.Seek(15000, SeekFromStart); // 15000..35000 spans the blocks at 16384 and 32768
    ASSERT_EQ(buffered.Write(written.data(), 20000), 20000);
    buffered.Seek(45000, SeekFromStart); // past the end: the gap becomes zeros
    ASSERT_EQ(buffered.Write(written.data(), 5), 5);
    TBytes back(20000);
    buffered.Seek(15000, SeekFromStart);
    ASSERT_EQ(buffered.Read(back.data(), 20000), 20000);
    EXPECT_EQ(back, written);
    EXPECT_EQ(buffered.Size(), 45005);
  }
  std::copy(written.begin(), written.end(), expected.begin() + 15000);
  expected.resize(45000, 0);
  expected.insert(expected.end(), written.begin(), written.begin() + 5);
  EXPECT_EQ(TFile::ReadAllBytes(file.Path()), expected);
}

TEST(BufferedStream, ShortWriteBackRaises) {
  TShortWriteStream stream(100);
  TBufferedStream buffered(stream);
  const TBytes bytes = Pattern(1000, 4);
  buffered.Write(bytes.data(), 1000);
  try {
    buffered.Commit();
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "TBufferedStream.WriteBuffer: write failed");
  }
}

TEST(FileIOHandle, WritesReachTheFileOnClose) {
  TTempFile file("handle.bin");
  const TBytes bytes = Pattern(50000, 5);
  TFileIOHandle handle(file.Path(), true);
  EXPECT_EQ(handle.Write(bytes.data(), 50000), 50000);
  EXPECT_TRUE(handle.AtEnd());
  handle.Close();
  EXPECT_EQ(TFile::ReadAllBytes(file.Path()), bytes);
  EXPECT_THROW(TFileIOHandle(file.Path() + ".missing", false), EFOpenError);
}

TEST(MemoryIOHandle, NeverMovesBytesOutsideTheBlock) {
  TBytes block = Pattern(16, 6);
  TMemoryIOHandle handle(block.data(), 16);
  uint8_t buffer[32] = {};
  EXPECT_EQ(handle.Seek(10, SeekFromEnd), 26);
  EXPECT_EQ(handle.Read(buffer, 4), 0);
  EXPECT_EQ(handle.Write(buffer, 4), 0);
  EXPECT_EQ(handle.Seek(-30, SeekFromCurrent), -4);
  EXPECT_EQ(handle.Read(buffer, 4), 0);
  handle.Seek(12, SeekFromStart);
  EXPECT_EQ(handle.Read(buffer, 32), 4);
  EXPECT_TRUE(handle.AtEnd());
  handle.Seek(14, SeekFromStart);
  EXPECT_EQ(handle.Write(buffer, 8), 2);
  EXPECT_EQ(handle.HighestWritten(), 16);
  EXPECT_EQ(handle.Seek(1, 7), 16); // other origins leave the position
}

TEST(StreamIOHandle, PassesThroughAndEndsAtTheSize) {
  TBytesStream stream(Pattern(8, 7));
  TStreamIOHandle handle(stream);
  uint8_t buffer[8];
  EXPECT_FALSE(handle.AtEnd());
  EXPECT_EQ(handle.Size(), 8);
  EXPECT_EQ(handle.Seek(5, SeekFromStart), 5);
  EXPECT_EQ(handle.Read(buffer, 8), 3);
  EXPECT_TRUE(handle.AtEnd());
  EXPECT_EQ(stream.GetPosition(), 8);
}

} // namespace
