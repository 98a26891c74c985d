#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>

#include "rtl/binary_io.h"
#include "rtl/ioutils.h"

namespace {

using rtl::TBinaryReader;
using rtl::TBinaryWriter;
using rtl::TBytes;

// A stream that is not a memory stream, so the reader takes its general path.
class TPlainStream : public rtl::TStream {
  RTL_CLASS(TPlainStream, rtl::TStream)
public:
  explicit TPlainStream(TBytes AData) : FInner(std::move(AData)) {}
  int64_t Read(void* ABuffer, int64_t ACount) override { return FInner.Read(ABuffer, ACount); }
  int64_t Write(const void* ABuffer, int64_t ACount) override { return FInner.Write(ABuffer, ACount); }
  int64_t Seek(int64_t AOffset, rtl::TSeekOrigin AOrigin) override { return FInner.Seek(AOffset, AOrigin); }

private:
  rtl::TBytesStream FInner;
};
RTL_DEFINE_CLASS(TPlainStream, "Test.BinaryIO")

TEST(BinaryIO, WritesEveryTypeLittleEndian) {
  struct Case {
    const char* Name;
    std::function<void(TBinaryWriter&)> Write;
    TBytes Expected;
  } cases[] = {
      {"Byte", [](TBinaryWriter& w) { w.WriteByte(0xAB); }, {0xAB}},
      {"Boolean", [](TBinaryWriter& w) { w.WriteBoolean(true); }, {0x01}},
      {"Int8", [](TBinaryWriter& w) { w.WriteInt8(-2); }, {0xFE}},
      {"Int16", [](TBinaryWriter& w) { w.WriteInt16(-2); }, {0xFE, 0xFF}},
      {"Int32", [](TBinaryWriter& w) { w.WriteInt32(0x01020304); }, {0x04, 0x03, 0x02, 0x01}},
      {"Int64", [](TBinaryWriter& w) { w.WriteInt64(-1); }, TBytes(8, 0xFF)},
      {"UInt16", [](TBinaryWriter& w) { w.WriteUInt16(0xBEEF); }, {0xEF, 0xBE}},
      {"UInt32", [](TBinaryWriter& w) { w.WriteUInt32(0xDEADBEEF); }, {0xEF, 0xBE, 0xAD, 0xDE}},
      {"UInt64", [](TBinaryWriter& w) { w.WriteUInt64(0x0102030405060708); }, {8, 7, 6, 5, 4, 3, 2, 1}},
      {"Single", [](TBinaryWriter& w) { w.WriteSingle(1.0f); }, {0x00, 0x00, 0x80, 0x3F}},
      {"Double", [](TBinaryWriter& w) { w.WriteDouble(3.0); }, {0, 0, 0, 0, 0, 0, 0x08, 0x40}},
      {"Bytes",
       [](TBinaryWriter& w) {
         w.WriteBytes(TBytes{1, 2, 3});
       },
       {1, 2, 3}},
  };
  for (const Case& c : cases) {
    rtl::TBytesStream stream;
    TBinaryWriter writer(&stream);
    c.Write(writer);
    EXPECT_EQ(stream.Bytes(), c.Expected) << c.Name;
  }
}

// Both reader paths (straight from memory, and through Read) give the values back and leave the
// stream exactly after them.
TEST(BinaryIO, ReadsBackOverMemoryAndOtherStreams) {
  rtl::TBytesStream written;
  TBinaryWriter writer(&written);
  writer.WriteByte(7);
  writer.WriteBoolean(false);
  writer.WriteInt16(std::numeric_limits<int16_t>::min());
  writer.WriteInt32(-123456789);
  writer.WriteInt64(std::numeric_limits<int64_t>::max());
  writer.WriteUInt16(65535);
  writer.WriteUInt32(4000000000u);
  writer.WriteUInt64(std::numeric_limits<uint64_t>::max());
  writer.WriteSingle(-0.5f);
  writer.WriteDouble(0.1);
  writer.WriteBytes(TBytes{9, 8, 7});

  auto check = [](rtl::TStream* AStream) {
    TBinaryReader reader(AStream, true);
    EXPECT_EQ(reader.ReadByte(), 7);
    EXPECT_FALSE(reader.ReadBoolean());
    EXPECT_EQ(reader.ReadInt16(), std::numeric_limits<int16_t>::min());
    EXPECT_EQ(reader.ReadInt32(), -123456789);
    EXPECT_EQ(reader.ReadInt64(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(reader.ReadUInt16(), 65535);
    EXPECT_EQ(reader.ReadUInt32(), 4000000000u);
    EXPECT_EQ(reader.ReadUInt64(), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(reader.ReadSingle(), -0.5f);
    EXPECT_EQ(reader.ReadDouble(), 0.1);
    EXPECT_EQ(reader.BaseStream()->GetPosition(), 42);
    EXPECT_EQ(reader.ReadBytes(3), (TBytes{9, 8, 7}));
    EXPECT_EQ(reader.BaseStream()->GetPosition(), 45);
    EXPECT_THROW(reader.ReadByte(), rtl::EReadError);
  };
  check(new rtl::TBytesStream(written.Bytes()));
  check(new TPlainStream(written.Bytes()));
}

TEST(BinaryIO, ShortReadsRaiseWithoutConsumingOrAllocating) {
  for (rtl::TStream* stream : {static_cast<rtl::TStream*>(new rtl::TBytesStream({1, 2, 3})),
                               static_cast<rtl::TStream*>(new TPlainStream({1, 2, 3}))}) {
    TBinaryReader reader(stream, true);
    reader.ReadByte();
    EXPECT_THROW(reader.ReadInt32(), rtl::EReadError) << stream->ClassName();
    // A count far beyond the data raises before anything is allocated for it.
    EXPECT_THROW(reader.ReadBytes(int64_t{1} << 40), rtl::EReadError);
    EXPECT_THROW(reader.ReadBytes(-1), rtl::EReadError);
    EXPECT_EQ(reader.ReadBytes(0), TBytes());
  }
  rtl::TBytesStream memory({1, 2, 3});
  TBinaryReader reader(&memory);
  reader.ReadByte();
  EXPECT_THROW(reader.ReadInt32(), rtl::EReadError);
  EXPECT_EQ(memory.GetPosition(), 1) << "a failed read from memory moved the position";
}

TEST(BinaryIO, PeekMemoryFollowsAGrowingStream) {
  rtl::TMemoryStream stream;
  TBinaryReader reader(&stream);
  EXPECT_TRUE(reader.PeekMemory().empty());
  TBinaryWriter writer(&stream);
  writer.WriteBytes(TBytes{'a', 'b', 0});
  stream.SetPosition(1);
  const auto bytes = reader.PeekMemory();
  ASSERT_EQ(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 'b');
  EXPECT_EQ(stream.GetPosition(), 1) << "peeking consumed bytes";
  // After the stream reallocated, the reader sees the new memory.
  stream.SetPosition(3);
  writer.WriteBytes(TBytes(1 << 16, 'x'));
  stream.SetPosition(3);
  EXPECT_EQ(reader.ReadByte(), 'x');

  TPlainStream plain({1});
  EXPECT_TRUE(TBinaryReader(&plain).PeekMemory().empty());
}

TEST(BinaryIO, NeedsAStream) {
  EXPECT_THROW(TBinaryReader(nullptr), rtl::EArgumentNilException);
  EXPECT_THROW(TBinaryWriter(nullptr), rtl::EArgumentNilException);
}

} // namespace
