#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "rtl/ioutils.h"
#include "rtl/streams.h"

namespace {

using rtl::TSeekOrigin;

// A source that cannot tell its size and hands out its data a few bytes at a time, as a
// decompressor or a pipe does.
class TTrickleStream : public rtl::TStream {
  RTL_CLASS(TTrickleStream, rtl::TStream)
public:
  explicit TTrickleStream(std::string AData) : FData(std::move(AData)) {}
  int64_t Read(void* ABuffer, int64_t ACount) override {
    const int64_t count = std::min<int64_t>({ACount, 3, static_cast<int64_t>(FData.size()) - FPosition});
    std::memcpy(ABuffer, FData.data() + FPosition, static_cast<size_t>(count));
    FPosition += count;
    return count;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { throw rtl::EStreamError("not seekable"); }
  int64_t GetSize() override { return -1; }

private:
  std::string FData;
  int64_t FPosition = 0;
};
RTL_DEFINE_CLASS(TTrickleStream, "Test.Streams")

class StreamFiles : public ::testing::Test {
protected:
  void SetUp() override {
    FFolder = rtl::TPath::Combine(rtl::TPath::GetTempPath(), "streams-" + rtl::TPath::GetRandomFileName());
    rtl::TDirectory::CreateDirectory(FFolder);
  }
  void TearDown() override { rtl::TDirectory::Delete(FFolder, true); }
  std::string File(const std::string& AName) const { return rtl::TPath::Combine(FFolder, AName); }

  std::string FFolder;
};

TEST(Streams, ShortTransfersRaise) {
  rtl::TBytesStream stream({1, 2});
  uint8_t buffer[4];
  try {
    stream.ReadBuffer(buffer, 3);
    FAIL() << "a short read passed";
  } catch (const rtl::EReadError& error) {
    EXPECT_EQ(error.Message(), "Stream read error");
  }
  stream.SetPosition(1);
  EXPECT_THROW(stream.ReadData<uint16_t>(), rtl::EReadError);
  EXPECT_EQ(stream.Read(buffer, 4), 0) << "the failed read still consumed the last byte";

  stream.SetPosition(-1);
  try {
    stream.WriteBuffer(buffer, 1);
    FAIL() << "a write before the start passed";
  } catch (const rtl::EWriteError& error) {
    EXPECT_EQ(error.Message(), "Stream write error");
  }
  EXPECT_THROW(stream.SetSize(-1), rtl::EArgumentOutOfRangeException);
}

TEST(Streams, MemoryStreamGrowsSeeksAndFillsGapsWithZeros) {
  rtl::TMemoryStream stream;
  std::string block(1000, 'x');
  for (int i = 0; i < 100; ++i)
    stream.WriteBuffer(block.data(), 1000);
  EXPECT_EQ(stream.GetSize(), 100000);
  EXPECT_EQ(stream.GetPosition(), 100000);
  EXPECT_GE(stream.GetCapacity(), 100000);

  EXPECT_EQ(stream.Seek(-4, TSeekOrigin::soEnd), 99996);
  EXPECT_EQ(stream.Seek(2, TSeekOrigin::soCurrent), 99998);
  EXPECT_EQ(stream.Seek(100010, TSeekOrigin::soBeginning), 100010);
  stream.WriteData<uint8_t>(7);
  EXPECT_EQ(stream.GetSize(), 100011);
  for (int i = 100000; i < 100010; ++i)
    EXPECT_EQ(stream.Memory()[i], 0) << "gap byte " << i;
  EXPECT_EQ(stream.Memory()[100010], 7);

  stream.SetSize(10);
  EXPECT_EQ(stream.GetPosition(), 10) << "shrinking moves a position past the end to the end";
  stream.SetCapacity(1 << 20);
  EXPECT_EQ(stream.GetSize(), 10);
  EXPECT_EQ(stream.Memory()[9], 'x');
  stream.Clear();
  EXPECT_EQ(stream.GetSize(), 0);
  EXPECT_EQ(stream.GetPosition(), 0);
  stream.Seek(INT64_MAX, TSeekOrigin::soBeginning);
  EXPECT_THROW(stream.Seek(1, TSeekOrigin::soCurrent), rtl::EArgumentOutOfRangeException);
}

TEST(Streams, TypedDataIsLittleEndian) {
  rtl::TBytesStream stream;
  stream.WriteData<uint32_t>(0x01020304);
  stream.WriteData<int16_t>(-2);
  stream.WriteData(1.5f);
  EXPECT_EQ(stream.Bytes(), (rtl::TBytes{4, 3, 2, 1, 0xFE, 0xFF, 0, 0, 0xC0, 0x3F}));
  stream.SetPosition(0);
  EXPECT_EQ(stream.ReadData<uint32_t>(), 0x01020304u);
  EXPECT_EQ(stream.ReadData<int16_t>(), -2);
  EXPECT_EQ(stream.ReadData<float>(), 1.5f);
}

TEST(Streams, CopyFrom) {
  rtl::TStringStream source("0123456789");
  struct Case {
    int64_t StartPosition, Count;
    std::string Copied;
  } cases[] = {
      {7, 0, "0123456789"}, // 0: the whole source, from its start
      {2, 5, "23456"},      // n: from the source's position
  };
  for (const Case& c : cases) {
    rtl::TStringStream target;
    source.SetPosition(c.StartPosition);
    EXPECT_EQ(target.CopyFrom(source, c.Count), static_cast<int64_t>(c.Copied.size()));
    EXPECT_EQ(target.DataString(), c.Copied);
  }
  rtl::TStringStream target;
  source.SetPosition(8);
  EXPECT_THROW(target.CopyFrom(source, 5), rtl::EReadError);

  const std::string text(200000, 'q');
  TTrickleStream unknownSize(text);
  rtl::TStringStream whole;
  EXPECT_EQ(whole.CopyFrom(unknownSize, 0), 200000);
  EXPECT_TRUE(whole.DataString() == text);

  rtl::TMemoryStream loaded;
  TTrickleStream again("abc");
  loaded.LoadFromStream(again);
  EXPECT_EQ(loaded.GetSize(), 3);
  EXPECT_EQ(loaded.GetPosition(), 0);
}

TEST(Streams, StringAndBytesStreams) {
  rtl::TStringStream stream("h\xC3\xA9llo");
  EXPECT_EQ(stream.ReadString(3), "h\xC3\xA9");
  stream.WriteString("LO!");
  EXPECT_EQ(stream.DataString(), "h\xC3\xA9LO!");
  EXPECT_EQ(stream.ReadString(10), "");
  EXPECT_EQ(stream.Bytes().size(), 6u) << "Bytes() is the content, not the capacity";
}

TEST_F(StreamFiles, OpenModes) {
  const std::string name = File("data.bin");
  {
    rtl::TFileStream created(name, rtl::fmCreate | rtl::fmShareExclusive);
    created.WriteBuffer("abcdef", 6);
    created.SetPosition(0);
    char head[2];
    created.ReadBuffer(head, 2);
    EXPECT_EQ(std::string(head, 2), "ab") << "fmCreate opens for reading too";
  }
  {
    rtl::TFileStream readWrite(name, rtl::fmOpenReadWrite);
    readWrite.Seek(2, TSeekOrigin::soBeginning);
    readWrite.WriteBuffer("CD", 2);
  }
  {
    rtl::TFileStream writeOnly(name, rtl::fmOpenWrite | rtl::fmShareDenyNone);
    writeOnly.Seek(0, TSeekOrigin::soEnd);
    writeOnly.WriteBuffer("g", 1);
    char c;
    writeOnly.SetPosition(0);
    EXPECT_THROW(writeOnly.ReadBuffer(&c, 1), rtl::EReadError);
  }
  ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
  rtl::TFileStream reader(name, rtl::fmOpenRead | rtl::fmShareDenyWrite);
  EXPECT_EQ(reader.GetSize(), 7);
  std::string content(7, '\0');
  reader.ReadBuffer(content.data(), 7);
  EXPECT_EQ(content, "abCDefg");
  EXPECT_THROW(reader.ReadBuffer(content.data(), 1), rtl::EReadError);
  EXPECT_THROW(reader.WriteBuffer("x", 1), rtl::EWriteError);
  if (::geteuid() != 0) {
    EXPECT_THROW(rtl::TFileStream(name, rtl::fmOpenReadWrite), rtl::EFOpenError);
  }
}

TEST_F(StreamFiles, OpenFailuresNameTheFileAndTheReason) {
  struct Case {
    std::string FileName;
    rtl::TFileMode Mode;
    std::string Message;
  } cases[] = {
      {File("missing.bin"), rtl::fmOpenRead,
       "Cannot open file \"" + File("missing.bin") + "\". No such file or directory"},
      {File("no/such/dir.bin"), rtl::fmCreate,
       "Cannot create file \"" + File("no/such/dir.bin") + "\". No such file or directory"},
      {FFolder, rtl::fmOpenRead, "Cannot open file \"" + FFolder + "\". Is a directory"},
      {File("./sub/../missing.bin"), rtl::fmOpenReadWrite,
       "Cannot open file \"" + File("missing.bin") + "\". No such file or directory"},
  };
  for (const Case& c : cases) {
    try {
      rtl::TFileStream stream(c.FileName, c.Mode);
      ADD_FAILURE() << c.FileName << " opened";
    } catch (const rtl::EStreamError& error) {
      EXPECT_EQ(error.Message(), c.Message);
      EXPECT_STREQ(error.ClassName(), c.Mode == rtl::fmCreate ? "EFCreateError" : "EFOpenError");
    }
  }
}

TEST_F(StreamFiles, MemoryStreamFileRoundTripAndResize) {
  rtl::TMemoryStream stream;
  stream.WriteData<uint64_t>(0x1122334455667788);
  stream.SaveToFile(File("m.bin"));
  rtl::TMemoryStream loaded;
  loaded.LoadFromFile(File("m.bin"));
  EXPECT_EQ(loaded.ReadData<uint64_t>(), 0x1122334455667788u);

  rtl::TFileStream file(File("m.bin"), rtl::fmOpenReadWrite);
  file.Seek(0, TSeekOrigin::soEnd);
  file.SetSize(3);
  EXPECT_EQ(file.GetSize(), 3);
  EXPECT_EQ(file.GetPosition(), 3);
  EXPECT_THROW(file.SetPosition(-1), rtl::EStreamError);
}

} // namespace
