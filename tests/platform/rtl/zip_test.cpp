#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "rtl/ioutils.h"
#include "rtl/sysutils.h"
#include "rtl/zip.h"
#include "rtl/zlib_streams.h"

namespace {

using rtl::TBytes;
using rtl::TZipCompression;
using rtl::TZipFile;
using rtl::TZipMode;

void Put32(TBytes& ABytes, size_t AOffset, uint32_t AValue) {
  for (int i = 0; i < 4; ++i)
    ABytes[AOffset + i] = static_cast<uint8_t>(AValue >> (8 * i));
}

void Put16(TBytes& ABytes, size_t AOffset, uint32_t AValue) {
  ABytes[AOffset] = static_cast<uint8_t>(AValue);
  ABytes[AOffset + 1] = static_cast<uint8_t>(AValue >> 8);
}

uint32_t Get32(const TBytes& ABytes, size_t AOffset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | ABytes[AOffset + i];
  return value;
}

TBytes Text(const std::string& AText) {
  return TBytes(AText.begin(), AText.end());
}

// Compressible but not trivial content of a given size.
TBytes Content(size_t ASize, uint32_t ASeed) {
  TBytes bytes(ASize);
  for (size_t i = 0; i < ASize; ++i) {
    ASeed = ASeed * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>("abcdefgh ,.{}0123456789\n"[(ASeed >> 16) % 24]);
  }
  return bytes;
}

struct TEntry {
  std::string Name;
  TBytes Data;
  TZipCompression Method;
};

// Deflated, stored, empty, 3 MB and a UTF-8 name.
const std::vector<TEntry>& EntrySet() {
  static const std::vector<TEntry> entries = {
      {"text/deflated.json", Content(100'000, 1), TZipCompression::zcDeflate},
      {"stored.bin", Content(5'000, 2), TZipCompression::zcStored},
      {"empty.txt", {}, TZipCompression::zcDeflate},
      {"big/three-megabytes.dat", Content(3'000'000, 3), TZipCompression::zcDeflate},
      {"Ordner/Grüße \xF0\x9F\x98\x80.txt", Text("Grüße"), TZipCompression::zcStored},
  };
  return entries;
}

TBytes OwnArchive(const std::vector<TEntry>& AEntries) {
  rtl::TBytesStream stream;
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmWrite);
  for (const TEntry& entry : AEntries)
    zip.Add(entry.Data, entry.Name, entry.Method);
  zip.Close();
  return stream.Bytes();
}

// Opens the bytes for reading and reads every entry, as a program loading an archive would.
void OpenAndReadAll(const TBytes& AArchive) {
  rtl::TBytesStream stream(AArchive);
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmRead);
  for (int i = 0; i < zip.GetFileCount(); ++i) {
    TBytes content;
    zip.Read(i, content);
  }
}

void ExpectEntries(TZipFile& AZip, const std::vector<TEntry>& AEntries) {
  ASSERT_EQ(AZip.GetFileCount(), static_cast<int>(AEntries.size()));
  for (int i = 0; i < AZip.GetFileCount(); ++i) {
    const TEntry& entry = AEntries[static_cast<size_t>(i)];
    EXPECT_EQ(AZip.GetFileName(i), entry.Name);
    const rtl::TZipHeader& header = AZip.GetFileInfo(i);
    EXPECT_EQ(header.UncompressedSize, entry.Data.size()) << entry.Name;
    EXPECT_EQ(header.CompressionMethod, static_cast<uint16_t>(entry.Method)) << entry.Name;
    EXPECT_EQ(header.CRC32, rtl::Crc32(0, entry.Data)) << entry.Name;
    TBytes content;
    AZip.Read(entry.Name, content);
    EXPECT_TRUE(content == entry.Data) << entry.Name;
  }
}

// A zip removal in place, done only through the archive's public directory access.
void RemoveZipEntry(TZipFile& AZip, const std::string& AName) {
  const int index = AZip.IndexOf(AName);
  if (index < 0)
    return;
  std::vector<rtl::TZipHeader>& directory = AZip.CentralDirectory();
  const uint32_t start = directory[static_cast<size_t>(index)].LocalHeaderOffset;
  uint32_t end = AZip.GetEndOfData();
  for (const rtl::TZipHeader& header : directory)
    if (header.LocalHeaderOffset > start && header.LocalHeaderOffset <= end)
      end = header.LocalHeaderOffset;
  directory.erase(directory.begin() + index);
  for (rtl::TZipHeader& header : directory)
    if (header.LocalHeaderOffset > start)
      header.LocalHeaderOffset -= end - start;
  rtl::TStream& stream = *AZip.GetStream();
  TBytes rest(AZip.GetEndOfData() - end);
  stream.SetPosition(end);
  stream.ReadBuffer(rest.data(), static_cast<int64_t>(rest.size()));
  stream.SetSize(start);
  stream.SetPosition(start);
  stream.WriteBuffer(rest.data(), static_cast<int64_t>(rest.size()));
  AZip.SetEndOfData(static_cast<uint32_t>(stream.GetPosition()));
}

// A foreign zip reader and writer (the system's python3 zipfile module), for the tests that
// prove other programs read our archives and that we read theirs.
class ForeignZip : public ::testing::Test {
protected:
  struct TForeignEntry {
    std::string Name;
    uint64_t Size;
    int Method;
    uint32_t Crc;
    std::string Extra, Comment;
  };
  struct TListing {
    std::string Comment;
    std::vector<TForeignEntry> Entries;
  };

  void SetUp() override {
    if (std::system("python3 -c 'import zipfile' >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "python3 with zipfile is needed as the foreign zip implementation";
    FFolder = rtl::TPath::Combine(rtl::TPath::GetTempPath(), "zip-" + rtl::TPath::GetRandomFileName());
    rtl::TDirectory::CreateDirectory(FFolder);
  }
  void TearDown() override {
    if (!FFolder.empty())
      rtl::TDirectory::Delete(FFolder, true);
  }
  std::string File(const std::string& AName) const { return rtl::TPath::Combine(FFolder, AName); }

  void RunPython(const std::string& AScript, const std::string& AArgs) {
    const std::string script = File("script.py");
    std::ofstream(script) << AScript;
    const std::string command = "python3 " + script + " " + AArgs;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // The foreign reader's view: it verifies every entry's CRC and reports the CRC of the data it
  // read, so equal CRCs mean equal content.
  TListing List(const std::string& AZipFile) {
    RunPython(R"(import sys, zipfile, zlib
with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[2], 'w', encoding='utf-8') as out:
    if z.testzip() is not None: sys.exit(3)
    out.write(z.comment.hex() + '\n')
    for i in z.infolist():
        out.write('\t'.join([i.filename, str(i.file_size), str(i.compress_type),
                             '%08x' % zlib.crc32(z.read(i)), i.extra.hex(), i.comment.hex()]) + '\n')
)",
              AZipFile + " " + File("listing.txt"));
    std::ifstream in(File("listing.txt"));
    TListing listing;
    std::getline(in, listing.Comment);
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields = rtl::SplitString(line, "\t");
      fields.resize(6);
      listing.Entries.push_back({fields[0], std::stoull(fields[1]), std::stoi(fields[2]),
                                 static_cast<uint32_t>(std::stoul(fields[3], nullptr, 16)), fields[4],
                                 fields[5]});
    }
    return listing;
  }

  // Has the foreign writer make an archive of the entries, with an archive comment and, on the
  // first entry, an extra field and a comment.
  void MakeForeign(const std::string& AZipFile, const std::vector<TEntry>& AEntries) {
    std::ofstream list(File("entries.txt"));
    for (size_t i = 0; i < AEntries.size(); ++i) {
      const std::string data = File("data" + std::to_string(i));
      std::ofstream(data, std::ios::binary)
          .write(reinterpret_cast<const char*>(AEntries[i].Data.data()),
                 std::streamsize(AEntries[i].Data.size()));
      list << AEntries[i].Name << '\t' << data << '\t' << static_cast<int>(AEntries[i].Method) << '\n';
    }
    list.close();
    RunPython(R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.comment = b'archive comment'
    for n, line in enumerate(open(sys.argv[2], encoding='utf-8').read().splitlines()):
        name, path, method = line.split('\t')
        info = zipfile.ZipInfo(name, date_time=(2020, 1, 2, 3, 4, 6))
        info.compress_type = zipfile.ZIP_DEFLATED if method == '8' else zipfile.ZIP_STORED
        if n == 0:
            info.extra = bytes.fromhex('feca040044415441')
            info.comment = b'entry comment'
        z.writestr(info, open(path, 'rb').read())
)",
              AZipFile + " " + File("entries.txt"));
  }

  void ExpectListing(const TListing& AListing, const std::vector<TEntry>& AEntries) {
    ASSERT_EQ(AListing.Entries.size(), AEntries.size());
    for (size_t i = 0; i < AEntries.size(); ++i) {
      EXPECT_EQ(AListing.Entries[i].Name, AEntries[i].Name);
      EXPECT_EQ(AListing.Entries[i].Size, AEntries[i].Data.size()) << AEntries[i].Name;
      EXPECT_EQ(AListing.Entries[i].Method, static_cast<int>(AEntries[i].Method)) << AEntries[i].Name;
      EXPECT_EQ(AListing.Entries[i].Crc, rtl::Crc32(0, AEntries[i].Data)) << AEntries[i].Name;
    }
  }

  std::string FFolder;
};

TEST_F(ForeignZip, ReadsOurArchives) {
  const std::string name = File("ours.zip");
  {
    TZipFile zip;
    zip.Open(name, TZipMode::zmWrite);
    for (const TEntry& entry : EntrySet())
      zip.Add(entry.Data, entry.Name, entry.Method);
  }
  ExpectListing(List(name), EntrySet());
  TZipFile zip;
  zip.Open(name, TZipMode::zmRead);
  ExpectEntries(zip, EntrySet());
  EXPECT_EQ(zip.GetFileInfo(4).Flag & 0x0800, 0x0800) << "UTF-8 names carry flag bit 11";
  EXPECT_EQ(zip.GetFileInfo(0).RequiredVersion, 20);
}

TEST_F(ForeignZip, WeReadForeignArchives) {
  const std::string name = File("foreign.zip");
  MakeForeign(name, EntrySet());
  TZipFile zip;
  zip.Open(name, TZipMode::zmRead);
  ExpectEntries(zip, EntrySet());
  EXPECT_EQ(zip.GetFileNames()[4], EntrySet()[4].Name);
}

// Adding keeps every record of the foreign archive as it was; opening and closing without a
// change leaves the file's bytes alone.
TEST_F(ForeignZip, ForeignRecordsSurviveAnAdd) {
  const std::string name = File("foreign.zip");
  const std::vector<TEntry> entries(EntrySet().begin(), EntrySet().begin() + 3);
  MakeForeign(name, entries);
  const TBytes original = rtl::TFile::ReadAllBytes(name);
  {
    TZipFile zip;
    zip.Open(name, TZipMode::zmReadWrite);
  }
  EXPECT_TRUE(rtl::TFile::ReadAllBytes(name) == original) << "an unchanged open and close wrote";
  {
    TZipFile zip;
    zip.Open(name, TZipMode::zmReadWrite);
    zip.Add(Text("added"), "added.txt");
    zip.Close();
  }
  std::vector<TEntry> expected = entries;
  expected.push_back({"added.txt", Text("added"), TZipCompression::zcDeflate});
  const TListing listing = List(name);
  ExpectListing(listing, expected);
  EXPECT_EQ(listing.Comment, "6172636869766520636f6d6d656e74"); // "archive comment"
  EXPECT_EQ(listing.Entries[0].Extra, "feca040044415441");
  EXPECT_EQ(listing.Entries[0].Comment, "656e74727920636f6d6d656e74"); // "entry comment"
}

TEST_F(ForeignZip, EmptyStreamClosesToTheEndRecord) {
  rtl::TBytesStream stream;
  {
    TZipFile zip;
    zip.Open(&stream, TZipMode::zmReadWrite);
    EXPECT_EQ(zip.GetFileCount(), 0);
  }
  TBytes expected(22, 0);
  Put32(expected, 0, 0x06054B50);
  EXPECT_EQ(stream.Bytes(), expected);
  stream.SaveToFile(File("empty.zip"));
  EXPECT_TRUE(List(File("empty.zip")).Entries.empty());
}

TEST_F(ForeignZip, RemovingEntriesInPlace) {
  const std::string name = File("remove.zip");
  const std::vector<TEntry> entries(EntrySet().begin(), EntrySet().begin() + 3);
  MakeForeign(name, entries);
  const uint32_t secondOffset = [&] {
    TZipFile zip;
    zip.Open(name, TZipMode::zmRead);
    return zip.GetFileInfo(1).LocalHeaderOffset;
  }();
  {
    TZipFile zip;
    zip.Open(name, TZipMode::zmReadWrite);
    RemoveZipEntry(zip, "TEXT/DEFLATED.JSON");
    RemoveZipEntry(zip, "not there");
    EXPECT_EQ(zip.GetFileInfo(0).LocalHeaderOffset, 0u) << "the later entries moved down";
  }
  ExpectListing(List(name), {entries[1], entries[2]});
  {
    TZipFile zip;
    zip.Open(name, TZipMode::zmReadWrite);
    const uint32_t lastOffset = zip.GetFileInfo(1).LocalHeaderOffset;
    RemoveZipEntry(zip, entries[2].Name);
    EXPECT_EQ(zip.GetEndOfData(), lastOffset) << "removing the last entry cuts the data at its header";
  }
  ExpectListing(List(name), {entries[1]});
  TZipFile zip;
  zip.Open(name, TZipMode::zmRead);
  ExpectEntries(zip, {entries[1]});
  EXPECT_GT(secondOffset, 0u);
}

TEST(Zip, EmptyAndForeignStreamsByMode) {
  rtl::TBytesStream empty;
  TZipFile zip;
  EXPECT_THROW(zip.Open(&empty, TZipMode::zmRead), rtl::EZipException);
  EXPECT_EQ(zip.GetMode(), TZipMode::zmClosed);
  for (const TZipMode mode : {TZipMode::zmRead, TZipMode::zmReadWrite}) {
    const TBytes text = Text(std::string(100, 'x') + "not a zip archive");
    rtl::TBytesStream stream(text);
    EXPECT_THROW(zip.Open(&stream, mode), rtl::EZipException);
    zip.Close();
    EXPECT_EQ(stream.Bytes(), text) << "a stream that is not a zip was changed";
  }
  // Write mode starts empty whatever the stream held.
  rtl::TBytesStream old(OwnArchive(EntrySet()));
  zip.Open(&old, TZipMode::zmWrite);
  zip.Close();
  EXPECT_EQ(old.GetSize(), 22);
}

TEST(Zip, ModesGuardTheirOperations) {
  rtl::TBytesStream stream(OwnArchive({{"a", Text("a"), TZipCompression::zcStored}}));
  TZipFile zip;
  TBytes content;
  EXPECT_THROW(zip.Read(0, content), rtl::EZipException);
  EXPECT_THROW(zip.Add(Text("b"), "b"), rtl::EZipException);
  zip.Open(&stream, TZipMode::zmRead);
  EXPECT_THROW(zip.Add(Text("b"), "b"), rtl::EZipException);
  EXPECT_THROW(zip.GetFileInfo(1), rtl::EArgumentOutOfRangeException);
  try {
    zip.Read("b", content);
    ADD_FAILURE() << "read a missing entry";
  } catch (const rtl::EZipException& error) {
    EXPECT_EQ(error.Message(), "The zip archive has no entry 'b'");
  }
}

TEST(Zip, IndexOfIgnoresCaseAndFindsTheFirst) {
  rtl::TBytesStream stream;
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmWrite);
  zip.Add(Text("one"), "Dir/Name.TXT");
  zip.Add(Text("two"), "dir/name.txt");
  zip.Add(Text("\xC3\xBC"), "\xC3\x9C.txt");
  EXPECT_EQ(zip.IndexOf("DIR/NAME.txt"), 0);
  EXPECT_EQ(zip.IndexOf("dir/name.txt"), 0);
  EXPECT_EQ(zip.IndexOf("\xC3\x9C.TXT"), 2);
  EXPECT_EQ(zip.IndexOf("\xC3\xBC.txt"), -1) << "only ASCII letters fold";
  EXPECT_EQ(zip.IndexOf("name.txt"), -1);
  EXPECT_EQ(zip.GetFileCount(), 3);
  TBytes content;
  zip.Read("DIR/NAME.TXT", content);
  EXPECT_EQ(content, Text("one"));
}

// A foreign writer's entry with a data descriptor: the local header holds zeros, the directory the
// values. Reading it also returns the local header with the directory's CRC and sizes.
TEST(Zip, DataDescriptorEntryAndLocalHeader) {
  const TBytes data = Content(2000, 7);
  const TBytes packed = rtl::ZCompress(data, rtl::TZCompressionLevel::clDefault, rtl::ZRawDeflate);
  const std::string name = "descriptor.txt";
  const uint32_t crc = rtl::Crc32(0, data);
  TBytes archive(30);
  Put32(archive, 0, 0x04034B50);
  Put16(archive, 4, 20);
  Put16(archive, 6, 0x0008);
  Put16(archive, 8, 8);
  Put16(archive, 26, static_cast<uint32_t>(name.size()));
  archive.insert(archive.end(), name.begin(), name.end());
  archive.insert(archive.end(), packed.begin(), packed.end());
  const size_t descriptor = archive.size();
  archive.resize(descriptor + 16);
  Put32(archive, descriptor, 0x08074B50);
  Put32(archive, descriptor + 4, crc);
  Put32(archive, descriptor + 8, static_cast<uint32_t>(packed.size()));
  Put32(archive, descriptor + 12, static_cast<uint32_t>(data.size()));
  const size_t directory = archive.size();
  archive.resize(directory + 46);
  Put32(archive, directory, 0x02014B50);
  Put16(archive, directory + 4, 0x0314);
  Put16(archive, directory + 6, 20);
  Put16(archive, directory + 8, 0x0008);
  Put16(archive, directory + 10, 8);
  Put32(archive, directory + 16, crc);
  Put32(archive, directory + 20, static_cast<uint32_t>(packed.size()));
  Put32(archive, directory + 24, static_cast<uint32_t>(data.size()));
  Put16(archive, directory + 28, static_cast<uint32_t>(name.size()));
  Put32(archive, directory + 38, 0x81A40000);
  archive.insert(archive.end(), name.begin(), name.end());
  const size_t end = archive.size();
  archive.resize(end + 22);
  Put32(archive, end, 0x06054B50);
  Put16(archive, end + 8, 1);
  Put16(archive, end + 10, 1);
  Put32(archive, end + 12, static_cast<uint32_t>(end - directory));
  Put32(archive, end + 16, static_cast<uint32_t>(directory));

  rtl::TBytesStream stream(archive);
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmRead);
  rtl::TOwned<rtl::TStream> content;
  rtl::TZipHeader local;
  zip.Read(name, content, local);
  rtl::TBytesStream copy;
  copy.CopyFrom(*content, 0);
  EXPECT_TRUE(copy.Bytes() == data);
  EXPECT_EQ(local.Flag, 0x0008);
  EXPECT_EQ(local.CRC32, crc);
  EXPECT_EQ(local.CompressedSize, packed.size());
  EXPECT_EQ(local.UncompressedSize, data.size());
  EXPECT_EQ(std::string(local.FileName.begin(), local.FileName.end()), name);
  EXPECT_EQ(local.MadeByVersion, 0x0314) << "fields the local header lacks come from the directory";
  EXPECT_EQ(local.ExternalAttributes, 0x81A40000u);
}

// Every damage gives EZipException, never a crash or a silent result.
TEST(Zip, DamagedArchivesRaise) {
  const TBytes valid = OwnArchive({{"a.txt", Content(3000, 9), TZipCompression::zcDeflate},
                                   {"b.txt", Text("stored"), TZipCompression::zcStored}});
  ASSERT_NO_THROW(OpenAndReadAll(valid));
  const size_t end = valid.size() - 22;
  const size_t directory = Get32(valid, end + 16);
  struct Case {
    const char* Name;
    std::function<void(TBytes&)> Damage;
    const char* Message = nullptr;
  } cases[] = {
      {"end record cut", [](TBytes& b) { b.pop_back(); }, "The stream is not a zip archive"},
      {"directory offset past the end",
       [&](TBytes& b) { Put32(b, end + 16, static_cast<uint32_t>(b.size())); }},
      {"entry count beyond the records", [&](TBytes& b) { Put16(b, end + 8, 3), Put16(b, end + 10, 3); }},
      {"name length past the directory", [&](TBytes& b) { Put16(b, directory + 28, 0xFFFF); }},
      {"bad local signature", [](TBytes& b) { b[0] ^= 0xFF; }},
      {"local offset past the data",
       [&](TBytes& b) { Put32(b, directory + 42, static_cast<uint32_t>(directory)); }},
      {"compressed size past the end", [&](TBytes& b) { Put32(b, directory + 20, 0x7FFFFFFF); }},
      {"flipped CRC", [&](TBytes& b) { b[directory + 16] ^= 1; }, "CRC mismatch in zip entry 'a.txt'"},
      {"corrupt deflate data", [](TBytes& b) { b[40] ^= 0xFF, b[41] ^= 0xFF; }},
      {"uncompressed size too small", [&](TBytes& b) { Put32(b, directory + 24, 100); }},
      {"stored sizes differ", [&](TBytes& b) { Put32(b, directory + 46 + 5 + 24, 3); }},
      {"method 12", [&](TBytes& b) { Put16(b, directory + 10, 12); }, "unsupported compression method 12"},
      {"encrypted flag", [&](TBytes& b) { b[directory + 8] |= 1; },
       "Encrypted zip entries are not supported"},
      {"Zip64 entry count", [&](TBytes& b) { Put16(b, end + 8, 0xFFFF), Put16(b, end + 10, 0xFFFF); },
       "Zip64 archives are not supported"},
      {"Zip64 size", [&](TBytes& b) { Put32(b, directory + 24, 0xFFFFFFFF); },
       "Zip64 archives are not supported"},
      {"split archive", [&](TBytes& b) { Put16(b, end + 4, 1); }, "Split zip archives are not supported"},
  };
  for (const Case& c : cases) {
    TBytes damaged = valid;
    c.Damage(damaged);
    try {
      OpenAndReadAll(damaged);
      ADD_FAILURE() << c.Name << " was read";
    } catch (const rtl::EZipException& error) {
      if (c.Message)
        EXPECT_EQ(error.Message(), c.Message) << c.Name;
    }
  }
  for (size_t size = 0; size < valid.size(); ++size)
    EXPECT_THROW(OpenAndReadAll(TBytes(valid.begin(), valid.begin() + static_cast<long>(size))),
                 rtl::EZipException)
        << "cut at " << size;
}

// Names without flag bit 11 are UTF-8 when they are valid UTF-8, else code page 437.
TEST(Zip, NamesWithoutTheUtf8Flag) {
  rtl::TBytesStream stream;
  {
    TZipFile zip;
    zip.Open(&stream, TZipMode::zmWrite);
    zip.Add(Text("1"), "\x81"
                       "ber\xE1.txt");
    zip.Add(Text("2"), "gr\xC3\xBC\xC3\x9F.txt");
    for (rtl::TZipHeader& header : zip.CentralDirectory())
      header.Flag = 0;
  }
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmRead);
  EXPECT_EQ(zip.GetFileName(0), "\xC3\xBC"
                                "ber\xC3\x9F.txt");
  EXPECT_EQ(zip.GetFileName(1), "gr\xC3\xBC\xC3\x9F.txt");
  EXPECT_EQ(zip.IndexOf("\xC3\xBC"
                        "BER\xC3\x9F.TXT"),
            0);
}

// A source that fails part way through.
class TFailingStream : public rtl::TStream {
  RTL_CLASS(TFailingStream, rtl::TStream)
public:
  int64_t Read(void* ABuffer, int64_t ACount) override {
    if (FCalls++ > 0)
      throw rtl::EReadError("source failed");
    std::memset(ABuffer, 'x', static_cast<size_t>(ACount));
    return ACount;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, rtl::TSeekOrigin) override { return 0; }
  int64_t GetSize() override { return -1; }

private:
  int FCalls = 0;
};
RTL_DEFINE_CLASS(TFailingStream, "Test.Zip")

TEST(Zip, FailedAddLeavesAValidArchive) {
  const std::vector<TEntry> entries = {{"a.txt", Content(5000, 4), TZipCompression::zcDeflate}};
  for (const TZipCompression method : {TZipCompression::zcDeflate, TZipCompression::zcStored}) {
    rtl::TBytesStream stream(OwnArchive(entries));
    {
      TZipFile zip;
      zip.Open(&stream, TZipMode::zmReadWrite);
      const uint32_t endOfData = zip.GetEndOfData();
      TFailingStream source;
      EXPECT_THROW(zip.Add(&source, "failed.txt", method), rtl::EReadError);
      EXPECT_EQ(zip.GetEndOfData(), endOfData);
      EXPECT_EQ(zip.GetFileCount(), 1);
      zip.Close();
    }
    TZipFile zip;
    zip.Open(&stream, TZipMode::zmRead);
    ExpectEntries(zip, entries);
  }
}

// Discards what is written but keeps its size, so an archive can reach 4 GiB without the memory.
class TSparseStream : public rtl::TStream {
  RTL_CLASS(TSparseStream, rtl::TStream)
public:
  int64_t Read(void* ABuffer, int64_t ACount) override {
    const int64_t count = std::clamp<int64_t>(FSize - FPosition, 0, ACount);
    std::memset(ABuffer, 0, static_cast<size_t>(count));
    FPosition += count;
    return count;
  }
  int64_t Write(const void*, int64_t ACount) override {
    FPosition += ACount;
    FSize = std::max(FSize, FPosition);
    return ACount;
  }
  int64_t Seek(int64_t AOffset, rtl::TSeekOrigin AOrigin) override {
    const int64_t base[] = {0, FPosition, FSize};
    return FPosition = base[static_cast<int>(AOrigin)] + AOffset;
  }
  void SetSize(int64_t ASize) override { FSize = ASize; }

private:
  int64_t FPosition = 0, FSize = 0;
};
RTL_DEFINE_CLASS(TSparseStream, "Test.Zip")

TEST(Zip, OffsetsStayBelow4GiB) {
  TSparseStream stream;
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmWrite);
  zip.SetEndOfData(0xFFFFF000u);
  EXPECT_THROW(zip.Add(TBytes(8192, 'x'), "big", TZipCompression::zcStored), rtl::EZipException);
  EXPECT_EQ(zip.GetFileCount(), 0);
  zip.Add(TBytes(100, 'x'), "fits", TZipCompression::zcStored);
  zip.Close();
  EXPECT_LT(stream.GetSize(), int64_t{1} << 32);
}

} // namespace

// The name index follows every change of the directory: adds, renames and removals through the
// directory accessor, and reopening.
TEST(Zip, IndexOfFollowsDirectoryChanges) {
  rtl::TBytesStream stream;
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmWrite);
  zip.Add(Text("one"), "one.txt");
  EXPECT_EQ(zip.IndexOf("TWO.txt"), -1);
  zip.Add(Text("two"), "two.txt");
  EXPECT_EQ(zip.IndexOf("TWO.txt"), 1);
  zip.CentralDirectory()[0].FileName = Text("renamed.txt");
  EXPECT_EQ(zip.IndexOf("one.txt"), -1);
  EXPECT_EQ(zip.IndexOf("Renamed.TXT"), 0);
  zip.CentralDirectory().erase(zip.CentralDirectory().begin());
  EXPECT_EQ(zip.IndexOf("two.txt"), 0);
  zip.Close();
  zip.Open(&stream, TZipMode::zmRead);
  EXPECT_EQ(zip.IndexOf("two.txt"), 0);
  EXPECT_EQ(zip.IndexOf("renamed.txt"), -1);
}
