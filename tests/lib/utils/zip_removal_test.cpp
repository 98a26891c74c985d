#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "rtl/ioutils.h"
#include "rtl/streams.h"
#include "rtl/zip.h"
#include "utils/Vantrel.Utils.Zip.h"

using rtl::TBytes;
using rtl::TZipFile;
using rtl::TZipMode;

namespace {

struct TEntry {
  std::string Name;
  TBytes Data;
};

// Three entries of distinct sizes, one stored, so the byte moves are visible.
std::vector<TEntry> Entries() {
  std::vector<TEntry> entries{{"a.txt", {}}, {"b/B.bin", {}}, {"c.json", {}}};
  for (size_t i = 0; i < entries.size(); ++i)
    for (size_t n = 0; n < 300 + 250 * i; ++n)
      entries[i].Data.push_back(static_cast<uint8_t>((n * 31 + i * 7) % 251));
  return entries;
}

TBytes OwnArchive() {
  rtl::TBytesStream stream;
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmWrite);
  for (const TEntry& entry : Entries())
    zip.Add(entry.Data, entry.Name,
            entry.Name == "b/B.bin" ? rtl::TZipCompression::zcStored : rtl::TZipCompression::zcDeflate);
  zip.Close();
  return stream.Bytes();
}

// Our reader: the names in order, every entry's content (its CRC verified by the read).
void ExpectEntries(const TBytes& AArchive, const std::vector<TEntry>& AExpected) {
  rtl::TBytesStream stream(AArchive);
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmRead);
  ASSERT_EQ(zip.GetFileCount(), static_cast<int>(AExpected.size()));
  for (size_t i = 0; i < AExpected.size(); ++i) {
    EXPECT_EQ(zip.GetFileName(static_cast<int>(i)), AExpected[i].Name);
    TBytes content;
    zip.Read(AExpected[i].Name, content);
    EXPECT_TRUE(content == AExpected[i].Data) << AExpected[i].Name;
  }
}

// The foreign reader (python3's zipfile) verifies every CRC and lists the names; "" when python3
// is absent.
std::string ForeignListing(const TBytes& AArchive) {
  if (std::system("python3 -c 'import zipfile' >/dev/null 2>&1") != 0)
    return "";
  const std::string folder = rtl::TPath::Combine(rtl::TPath::GetTempPath(), "zrm-" + rtl::TPath::GetRandomFileName());
  rtl::TDirectory::CreateDirectory(folder);
  const std::string archive = rtl::TPath::Combine(folder, "a.zip");
  const std::string listing = rtl::TPath::Combine(folder, "list.txt");
  rtl::TFile::WriteAllBytes(archive, AArchive);
  const std::string command = "python3 -c \"import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
                              "assert z.testzip() is None\nopen(sys.argv[2], 'w').write(' '.join(z.namelist()))\" " +
                              archive + " " + listing;
  const int status = std::system(command.c_str());
  std::string names = status == 0 ? rtl::TFile::ReadAllText(listing) : "<foreign reader failed>";
  rtl::TDirectory::Delete(folder, true);
  return names;
}

} // namespace

TEST(RemoveZipEntry, CutsTheEntryAndMovesTheRestDown) {
  const TBytes original = OwnArchive();
  const std::vector<TEntry> all = Entries();
  struct TCase {
    std::string Name;
    std::vector<size_t> Left;
  };
  const TCase cases[] = {
      {"A.TXT", {1, 2}},   // the first, by a name in another case
      {"c.json", {0, 1}},  // the last
      {"nope.txt", {0, 1, 2}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Name);
    rtl::TBytesStream stream(original);
    std::vector<uint32_t> offsetsBefore;
    uint32_t start = 0, end = 0, endOfData = 0;
    {
      TZipFile zip;
      zip.Open(&stream, TZipMode::zmReadWrite);
      for (int i = 0; i < zip.GetFileCount(); ++i)
        offsetsBefore.push_back(zip.GetFileInfo(i).LocalHeaderOffset);
      endOfData = zip.GetEndOfData();
      const int index = zip.IndexOf(test.Name);
      if (index >= 0) {
        start = offsetsBefore[static_cast<size_t>(index)];
        end = index + 1 < zip.GetFileCount() ? offsetsBefore[static_cast<size_t>(index) + 1] : endOfData;
      }
      vantrel::RemoveZipEntry(zip, test.Name);
      ASSERT_EQ(zip.GetFileCount(), static_cast<int>(test.Left.size()));
      for (size_t i = 0; i < test.Left.size(); ++i) {
        const uint32_t before = offsetsBefore[test.Left[i]];
        EXPECT_EQ(zip.GetFileInfo(static_cast<int>(i)).LocalHeaderOffset, before > start ? before - (end - start) : before);
      }
      EXPECT_EQ(zip.GetEndOfData(), endOfData - (end - start));
      if (index >= 0) {
        // The bytes after the entry now start where the entry started.
        const TBytes& bytes = stream.Bytes();
        EXPECT_TRUE(std::equal(original.begin() + end, original.begin() + endOfData, bytes.begin() + start));
      }
    }
    if (test.Left.size() == all.size())
      EXPECT_TRUE(stream.Bytes() == original) << "an absent name changed bytes";
    std::vector<TEntry> expected;
    std::string names;
    for (size_t i : test.Left) {
      expected.push_back(all[i]);
      names += (names.empty() ? "" : " ") + all[i].Name;
    }
    ExpectEntries(stream.Bytes(), expected);
    const std::string foreign = ForeignListing(stream.Bytes());
    if (!foreign.empty())
      EXPECT_EQ(foreign, names);
  }
}

TEST(RemoveZipEntry, NeedsAWritableArchive) {
  rtl::TBytesStream stream(OwnArchive());
  TZipFile zip;
  zip.Open(&stream, TZipMode::zmRead);
  try {
    vantrel::RemoveZipEntry(zip, "a.txt");
    FAIL() << "no exception";
  } catch (const rtl::EZipException& E) {
    EXPECT_EQ(E.Message(), "archive not open for writing");
  }
  zip.Close();
  EXPECT_THROW(vantrel::RemoveZipEntry(zip, "a.txt"), rtl::EZipException);
}
