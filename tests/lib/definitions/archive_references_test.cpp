#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "definitions/Vantrel.AssetsManager.h"
#include "rtl/ioutils.h"
#include "rtl/streams.h"
#include "rtl/zip.h"

using rtl::TBytes;
using vantrel::TVantrelArchiveReference;
using vantrel::TVantrelArchiveReferences;
using vantrel::TVantrelInMemoryArchiveReference;

namespace {

TBytes Text(const std::string& AText) {
  return TBytes(AText.begin(), AText.end());
}

class TScratch {
public:
  TScratch() : FFolder(rtl::TPath::Combine(rtl::TPath::GetTempPath(), "arc-" + rtl::TPath::GetRandomFileName())) {
    rtl::TDirectory::CreateDirectory(FFolder);
  }
  ~TScratch() { rtl::TDirectory::Delete(FFolder, true); }
  std::string File(const std::string& AName) const { return rtl::TPath::Combine(FFolder, AName); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const std::string& path : rtl::TDirectory::GetFiles(FFolder))
      names.push_back(rtl::TPath::GetFileName(path));
    std::sort(names.begin(), names.end());
    return names;
  }

private:
  std::string FFolder;
};

// A package as the archive sees it: its save nests reference operations under the held lock.
class TFakeContent : public vantrel::IVantrelArchiveContent {
public:
  std::function<void(TVantrelArchiveReference&)> Save;
  void SaveToArchive(TVantrelArchiveReference& AArchive) override {
    if (Save)
      Save(AArchive);
  }
};

void Add(TVantrelArchiveReference& AReference, const std::string& AName, const std::string& AText) {
  rtl::TBytesStream stream(Text(AText));
  AReference.AddFromStream(&stream, AName);
}

std::string ReadText(TVantrelArchiveReference& AReference, const std::string& AName) {
  rtl::TBytesStream stream;
  rtl::TZipHeader header;
  AReference.ReadToStream(AName, &stream, header);
  EXPECT_EQ(stream.GetPosition(), 0);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

// The entries of an archive file as our reader sees them, CRCs verified.
std::vector<std::string> EntriesOf(const std::string& AFileName) {
  rtl::TZipFile zip;
  zip.Open(AFileName, rtl::TZipMode::zmRead);
  std::vector<std::string> entries;
  for (const std::string& name : zip.GetFileNames()) {
    TBytes content;
    zip.Read(name, content);
    entries.push_back(name + "=" + std::string(content.begin(), content.end()));
  }
  return entries;
}

int64_t ModificationTimeNs(const std::string& AFileName) {
  struct stat info {};
  ::stat(AFileName.c_str(), &info);
  return int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

} // namespace

TEST(ArchiveReferences, OneFileSharesOneCountedReference) {
  TScratch scratch;
  TVantrelArchiveReferences references(nullptr);
  const std::string name = scratch.File("p.pak");
  TVantrelArchiveReference* first = references.CreateArchiveByFilename(name);
  TVantrelArchiveReference* second = references.CreateArchiveByFilename(name);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->RefCount(), 2);
  EXPECT_EQ(references.GetArchive(name), first);
  EXPECT_EQ(references.GetArchive(scratch.File("P.pak")), nullptr) << "ids compare exactly";

  first->DecRef();
  EXPECT_TRUE(references.ArchiveExists(name));
  // The last DecRef frees the reference; it is not touched afterwards.
  second->DecRef();
  EXPECT_FALSE(references.ArchiveExists(name));
  EXPECT_EQ(references.Count(), 0);

  references.CreateArchiveInMemory("b");
  references.CreateArchiveInMemory("a");
  EXPECT_EQ(references.Ids(), (std::vector<std::string>{"b", "a"}));
  references.CloseArchive("b");
  EXPECT_EQ(references.Ids(), std::vector<std::string>{"a"});
}

TEST(ArchiveReferences, FileOperationsEndWithACompleteArchiveOnDisk) {
  TScratch scratch;
  TVantrelArchiveReferences references(nullptr);
  const std::string name = scratch.File("p.pak");
  TVantrelArchiveReference& reference = *references.CreateArchiveByFilename(name);

  // A missing file becomes an empty archive: its end record alone.
  EXPECT_TRUE(reference.GetFileNames().empty());
  EXPECT_EQ(rtl::TFile::GetSize(name), 22);
  EXPECT_FALSE(reference.IsOpened());

  Add(reference, "MODEL/a.json", "alpha");
  Add(reference, "MODEL/b.json", "beta");
  EXPECT_EQ(EntriesOf(name), (std::vector<std::string>{"MODEL/a.json=alpha", "MODEL/b.json=beta"}));
  EXPECT_TRUE(reference.FileExists("model/A.JSON"));
  EXPECT_EQ(ReadText(reference, "MODEL/b.json"), "beta");

  reference.DeleteFile("MODEL/A.json");
  reference.DeleteFile("MODEL/none.json");
  EXPECT_EQ(EntriesOf(name), std::vector<std::string>{"MODEL/b.json=beta"});
  EXPECT_EQ(reference.OpenCount(), 0);
  EXPECT_EQ(reference.Archive(), nullptr);
  EXPECT_THROW(ReadText(reference, "MODEL/a.json"), rtl::EZipException);
  EXPECT_EQ(reference.OpenCount(), 0) << "a failed read closes too";
}

TEST(ArchiveReferences, ReadToStreamWithoutATargetOpensNothing) {
  TVantrelArchiveReferences references(nullptr);
  TVantrelArchiveReference& reference = *references.CreateArchiveInMemory("m");
  Add(reference, "x", "1");
  const int32_t opens = reference.GetZipOpenCount();
  rtl::TZipHeader header;
  header.CRC32 = 7;
  reference.ReadToStream("x", nullptr, header);
  EXPECT_EQ(reference.GetZipOpenCount(), opens);
  EXPECT_EQ(header.CRC32, 7u);
  rtl::TBytesStream target;
  reference.ReadToStream("x", &target, header);
  EXPECT_EQ(header.UncompressedSize, 1u);
}

TEST(ArchiveReferences, AReadScopeOpensTheZipOnceAndAWriteInsideClosesIt) {
  TScratch scratch;
  TVantrelArchiveReferences references(nullptr);
  const std::string name = scratch.File("p.pak");
  TVantrelArchiveReference& reference = *references.CreateArchiveByFilename(name);
  for (int i = 0; i < 50; ++i)
    Add(reference, "MISC/" + std::to_string(i) + "/asset.json", std::to_string(i));
  const TBytes before = rtl::TFile::ReadAllBytes(name);

  const int32_t opens = reference.GetZipOpenCount();
  reference.BeginRead();
  reference.BeginRead();
  for (int i = 0; i < 50; ++i) {
    const std::string entry = "MISC/" + std::to_string(i) + "/asset.json";
    ASSERT_TRUE(reference.FileExists(entry));
    EXPECT_EQ(ReadText(reference, entry), std::to_string(i));
  }
  EXPECT_EQ(reference.GetFileNames().size(), 50u);
  reference.EndRead();
  EXPECT_TRUE(reference.IsOpened()) << "the inner EndRead keeps the zip";
  EXPECT_EQ(reference.GetZipOpenCount(), opens + 1);

  // A write inside the scope ends with the archive complete on disk; the next read reopens.
  Add(reference, "MISC/new/asset.json", "new");
  EXPECT_FALSE(reference.IsOpened());
  EXPECT_EQ(EntriesOf(name).size(), 51u);
  EXPECT_EQ(ReadText(reference, "MISC/new/asset.json"), "new");
  EXPECT_EQ(ReadText(reference, "MISC/0/asset.json"), "0");
  EXPECT_EQ(reference.GetZipOpenCount(), opens + 3);
  reference.EndRead();
  EXPECT_FALSE(reference.IsOpened());
  EXPECT_EQ(reference.OpenCount(), 0);

  // Reads inside a scope write nothing.
  reference.DeleteFile("MISC/new/asset.json");
  reference.BeginRead();
  ReadText(reference, "MISC/1/asset.json");
  reference.EndRead();
  EXPECT_TRUE(rtl::TFile::ReadAllBytes(name) == before);
}

TEST(ArchiveReferences, SavingNestsOperationsAndCopiesTheArchive) {
  TScratch scratch;
  TVantrelArchiveReferences references(nullptr);
  const std::string name = scratch.File("p.pak");
  TVantrelArchiveReference& reference = *references.CreateArchiveByFilename(name);
  Add(reference, "old.json", "old");
  TFakeContent content;
  content.Save = [](TVantrelArchiveReference& AArchive) {
    AArchive.DeleteFile("old.json");
    Add(AArchive, "new.json", "new");
  };

  // To its own name: the groups save, nothing is copied, the file is not written again.
  reference.SaveToFile(&content, name);
  const TBytes saved = rtl::TFile::ReadAllBytes(name);
  const int64_t modified = ModificationTimeNs(name);
  reference.SaveToFile(nullptr, name);
  EXPECT_TRUE(rtl::TFile::ReadAllBytes(name) == saved);
  EXPECT_EQ(ModificationTimeNs(name), modified);
  EXPECT_EQ(EntriesOf(name), std::vector<std::string>{"new.json=new"});

  // To another name: an identical file, also over an existing one.
  const std::string copy = scratch.File("copy.pak");
  rtl::TFile::WriteAllBytes(copy, Text("older and longer content"));
  reference.SaveToFile(nullptr, copy);
  EXPECT_TRUE(rtl::TFile::ReadAllBytes(copy) == saved);
  rtl::TBytesStream stream;
  reference.SaveToStream(nullptr, &stream);
  EXPECT_TRUE(stream.Bytes() == saved);

  // A copy that fails leaves the target as it was and no temporary file behind.
  const std::string folder = scratch.File("folder");
  rtl::TDirectory::CreateDirectory(folder);
  EXPECT_ANY_THROW(reference.SaveToFile(nullptr, folder));
  EXPECT_TRUE(rtl::TDirectory::Exists(folder));
  EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"copy.pak", "p.pak"}));
}

TEST(ArchiveReferences, InMemoryArchivesCopyFromTheStreamPosition) {
  TScratch scratch;
  TVantrelArchiveReferences references(nullptr);
  // Ten bytes of something else, then an archive.
  TBytes bytes = Text("0123456789");
  {
    rtl::TBytesStream archive;
    rtl::TZipFile zip;
    zip.Open(&archive, rtl::TZipMode::zmWrite);
    zip.Add(Text("payload"), "a.bin");
    zip.Close();
    bytes.insert(bytes.end(), archive.Bytes().begin(), archive.Bytes().end());
  }
  rtl::TBytesStream source(bytes);
  source.SetPosition(10);
  auto* reference = static_cast<TVantrelInMemoryArchiveReference*>(references.CreateArchiveByStream("pkg", &source));
  EXPECT_EQ(ReadText(*reference, "a.bin"), "payload");
  EXPECT_EQ(reference->Stream()->GetSize(), static_cast<int64_t>(bytes.size()) - 10);

  // The same id ignores another stream.
  rtl::TBytesStream other(Text("not a zip"));
  EXPECT_EQ(references.CreateArchiveByStream("pkg", &other), reference);
  EXPECT_EQ(reference->RefCount(), 2);

  // A shorter stream leaves no tail of the longer one.
  {
    rtl::TBytesStream empty;
    rtl::TZipFile zip;
    zip.Open(&empty, rtl::TZipMode::zmReadWrite);
    zip.Close();
    empty.SetPosition(0);
    reference->ApplyStream(&empty);
  }
  EXPECT_EQ(reference->Stream()->GetSize(), 22);
  EXPECT_TRUE(reference->GetFileNames().empty());

  Add(*reference, "b.txt", "bee");
  const std::string file = scratch.File("mem.pak");
  reference->SaveToFile(nullptr, file);
  EXPECT_EQ(EntriesOf(file), std::vector<std::string>{"b.txt=bee"});
  EXPECT_EQ(reference->Stream()->GetPosition(), 0);
  rtl::TBytesStream copy;
  reference->SaveToStream(nullptr, &copy);
  EXPECT_TRUE(copy.Bytes() == rtl::TFile::ReadAllBytes(file));
}

TEST(ArchiveReferences, ThreadsShareAReferenceUnderItsLock) {
  TVantrelArchiveReferences references(nullptr);
  TVantrelArchiveReference& reference = *references.CreateArchiveInMemory("shared");
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&reference, t] {
      for (int i = 0; i < 20; ++i) {
        const std::string name = std::to_string(t) + "/" + std::to_string(i);
        Add(reference, name, name);
        reference.BeginRead();
        EXPECT_TRUE(reference.FileExists(name));
        reference.EndRead();
      }
    });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(reference.GetFileNames().size(), 40u);
  EXPECT_EQ(ReadText(reference, "1/19"), "1/19");
}
