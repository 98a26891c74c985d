#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rtl/ioutils.h"

namespace {

using rtl::TDirectory;
using rtl::TFile;
using rtl::TPath;
using rtl::TSpecialFolder;

TEST(Paths, TextHelpers) {
  using F = std::function<std::string(const std::string&)>;
  struct Case {
    const char* Name;
    F Function;
    std::string Input, Expected;
  } cases[] = {
      {"GetFileName", TPath::GetFileName, "/a/b/c.txt", "c.txt"},
      {"GetFileName", TPath::GetFileName, "c.txt", "c.txt"},
      {"GetFileName", TPath::GetFileName, "/a/b/", ""},
      {"GetExtension", TPath::GetExtension, "/a/b.d/c.tar.gz", ".gz"},
      {"GetExtension", TPath::GetExtension, "/a/b.d/c", ""},
      {"GetExtension", TPath::GetExtension, "/home/.profile", ""},
      {"GetExtension", TPath::GetExtension, "name.", "."},
      {"GetFileNameWithoutExtension", TPath::GetFileNameWithoutExtension, "/a/b/c.tar.gz", "c.tar"},
      {"GetFileNameWithoutExtension", TPath::GetFileNameWithoutExtension, "/a/.hidden", ".hidden"},
      {"GetDirectoryName", TPath::GetDirectoryName, "/a/b/c.txt", "/a/b"},
      {"GetDirectoryName", TPath::GetDirectoryName, "/c.txt", "/"},
      {"GetDirectoryName", TPath::GetDirectoryName, "c.txt", ""},
      {"ChangeExtension .png", [](const std::string& p) { return TPath::ChangeExtension(p, ".png"); },
       "/a.b/c.jpg", "/a.b/c.png"},
      {"ChangeExtension png", [](const std::string& p) { return TPath::ChangeExtension(p, "png"); }, "/a.b/c",
       "/a.b/c.png"},
      {"ChangeExtension none", [](const std::string& p) { return TPath::ChangeExtension(p, ""); }, "d/c.jpg",
       "d/c"},
      {"Include", rtl::IncludeTrailingPathDelimiter, "/a", "/a/"},
      {"Include", rtl::IncludeTrailingPathDelimiter, "/a/", "/a/"},
      {"Include", rtl::IncludeTrailingPathDelimiter, "", ""},
      {"Exclude", rtl::ExcludeTrailingPathDelimiter, "/a/", "/a"},
      {"Exclude", rtl::ExcludeTrailingPathDelimiter, "/a", "/a"},
      {"Exclude", rtl::ExcludeTrailingPathDelimiter, "/", "/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.Function(c.Input), c.Expected) << c.Name << "(\"" << c.Input << "\")";

  struct CombineCase {
    std::string A, B, Expected;
  } combines[] = {
      {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"}, {"/a", "/b", "/b"}, {"", "b", "b"}, {"/a", "", "/a"},
  };
  for (const CombineCase& c : combines)
    EXPECT_EQ(TPath::Combine(c.A, c.B), c.Expected) << c.A << " + " << c.B;
  EXPECT_EQ(TPath::Combine("/a", "b", "c.txt"), "/a/b/c.txt");
}

TEST(Paths, RandomFileNamesHaveTheirShape) {
  const auto shaped = [](const std::string& AName) {
    if (AName.size() != 12 || AName[8] != '.')
      return false;
    for (size_t i = 0; i < AName.size(); ++i)
      if (i != 8 && !((AName[i] >= 'a' && AName[i] <= 'z') || (AName[i] >= '0' && AName[i] <= '9')))
        return false;
    return true;
  };
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    const std::string name = TPath::GetRandomFileName();
    EXPECT_TRUE(shaped(name)) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
}

// Puts the variables back as they were, for runs of all tests in one process.
class TSavedEnvironment {
public:
  explicit TSavedEnvironment(std::initializer_list<const char*> ANames) {
    for (const char* name : ANames) {
      const char* value = std::getenv(name);
      FSaved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }
  }
  ~TSavedEnvironment() {
    for (const auto& [name, value] : FSaved)
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }

private:
  std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
};

TEST(Paths, SpecialFoldersFollowXdgThenHomeAndTakeOverrides) {
  const TSavedEnvironment saved{"HOME", "TMPDIR", "XDG_DOCUMENTS_DIR", "XDG_DOWNLOAD_DIR",
                                "XDG_PUBLICSHARE_DIR"};
  ::setenv("HOME", "/home/tester", 1);
  ::setenv("TMPDIR", "/scratch", 1);
  for (const char* name : {"XDG_DOCUMENTS_DIR", "XDG_DOWNLOAD_DIR", "XDG_PUBLICSHARE_DIR"})
    ::unsetenv(name);
  ::setenv("XDG_DOWNLOAD_DIR", "/data/dl", 1);
  ::setenv("XDG_PUBLICSHARE_DIR", "relative/pub", 1);

  struct Case {
    const char* Name;
    std::string (*Function)();
    std::string Expected;
  } cases[] = {
      {"Home", TPath::GetHomePath, "/home/tester"},
      {"Documents", TPath::GetDocumentsPath, "/home/tester/Documents"},
      {"Downloads", TPath::GetDownloadsPath, "/data/dl"},
      {"Public (relative XDG value ignored)", TPath::GetPublicPath, "/home/tester/Public"},
      {"SharedDocuments", TPath::GetSharedDocumentsPath, "/home/tester/Public"},
      {"SharedDownloads", TPath::GetSharedDownloadsPath, "/home/tester/Public"},
      {"Temp", TPath::GetTempPath, "/scratch/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.Function(), c.Expected) << c.Name;
  EXPECT_FALSE(TDirectory::Exists(TPath::GetPublicPath())) << "asking for a folder never creates it";

  TPath::SetFolderOverride(TSpecialFolder::Public, "/t/pub");
  TPath::SetFolderOverride(TSpecialFolder::Home, "/t/home");
  EXPECT_EQ(TPath::GetPublicPath(), "/t/pub");
  EXPECT_EQ(TPath::GetSharedDocumentsPath(), "/t/pub");
  EXPECT_EQ(TPath::GetDocumentsPath(), "/t/home/Documents");
  TPath::SetFolderOverride(TSpecialFolder::Public, "");
  TPath::SetFolderOverride(TSpecialFolder::Home, "");
  EXPECT_EQ(TPath::GetPublicPath(), "/home/tester/Public");
}

class FileSystem : public ::testing::Test {
protected:
  void SetUp() override {
    FFolder = TPath::Combine(TPath::GetTempPath(), "ioutils-" + TPath::GetRandomFileName());
    TDirectory::CreateDirectory(FFolder);
  }
  void TearDown() override { TDirectory::Delete(FFolder, true); }
  std::string Path(const std::string& AName) const { return TPath::Combine(FFolder, AName); }

  std::string FFolder;
};

TEST_F(FileSystem, WholeFileReadsAndWrites) {
  const std::string name = Path("t.txt");
  TFile::WriteAllText(name, "a much longer first content");
  TFile::WriteAllText(name, "short");
  EXPECT_EQ(TFile::ReadAllText(name), "short") << "the write replaces the whole file";
  EXPECT_EQ(TFile::GetSize(name), 5);

  TFile::WriteAllBytes(name, {0xEF, 0xBB, 0xBF, 'h', 'i'});
  EXPECT_EQ(TFile::ReadAllText(name), "hi");
  EXPECT_EQ(TFile::ReadAllBytes(name).size(), 5u);
  EXPECT_FALSE(TFile::ReadAllBytes("/proc/self/status").empty()) << "size-0 pseudo files still read";

  EXPECT_THROW(TFile::WriteAllText(Path("none/t.txt"), "x"), rtl::EFCreateError);
  EXPECT_THROW(TFile::ReadAllText(Path("missing.txt")), rtl::EFOpenError);
  EXPECT_THROW(TFile::GetSize(Path("missing.txt")), rtl::EInOutError);
}

TEST_F(FileSystem, CopyMoveDelete) {
  TFile::WriteAllText(Path("a"), "A");
  TFile::WriteAllText(Path("b"), "B");
  EXPECT_THROW(TFile::Copy(Path("a"), Path("b")), rtl::EInOutError);
  EXPECT_EQ(TFile::ReadAllText(Path("b")), "B");
  TFile::Copy(Path("a"), Path("b"), true);
  EXPECT_EQ(TFile::ReadAllText(Path("b")), "A");

  TFile::WriteAllText(Path("b"), "B");
  try {
    TFile::Move(Path("a"), Path("b"));
    FAIL() << "a move replaced an existing file";
  } catch (const rtl::EInOutError& error) {
    EXPECT_EQ(error.Message(),
              "Cannot move file \"" + Path("a") + "\" to \"" + Path("b") + "\". File exists");
  }
  TFile::Move(Path("a"), Path("c"));
  EXPECT_FALSE(TFile::Exists(Path("a")));
  EXPECT_EQ(TFile::ReadAllText(Path("c")), "A");

  TFile::Delete(Path("c"));
  TFile::Delete(Path("c"));
  EXPECT_FALSE(TFile::Exists(Path("c")));
  EXPECT_FALSE(TFile::Exists(FFolder)) << "a folder is no file";
  EXPECT_THROW(TFile::Delete(FFolder), rtl::EInOutError);
}

TEST_F(FileSystem, Directories) {
  TDirectory::CreateDirectory(Path("x/y/z"));
  TDirectory::CreateDirectory(Path("x/y/z"));
  EXPECT_TRUE(TDirectory::Exists(Path("x/y/z")));
  for (const char* name : {"x/b.txt", "x/a.txt", "x/.hidden.txt", "x/c.bin"})
    TFile::WriteAllText(Path(name), name);
  EXPECT_EQ(TDirectory::GetFiles(Path("x")), (std::vector<std::string>{Path("x/.hidden.txt"), Path("x/a.txt"),
                                                                       Path("x/b.txt"), Path("x/c.bin")}));
  EXPECT_EQ(TDirectory::GetFiles(Path("x/"), "?.txt"),
            (std::vector<std::string>{Path("x/a.txt"), Path("x/b.txt")}));
  EXPECT_THROW(TDirectory::GetFiles(Path("missing")), rtl::EInOutError);
  EXPECT_THROW(TDirectory::CreateDirectory(Path("x/a.txt")), rtl::EInOutError);

  EXPECT_THROW(TDirectory::Delete(Path("x")), rtl::EInOutError);
  EXPECT_TRUE(TFile::Exists(Path("x/a.txt")));
  TDirectory::Delete(Path("x/y/z"));
  EXPECT_FALSE(TDirectory::Exists(Path("x/y/z")));
  TDirectory::Delete(Path("x"), true);
  EXPECT_FALSE(TDirectory::Exists(Path("x")));
}

TEST_F(FileSystem, TempFileNamesAreNewEmptyFiles) {
  TPath::SetFolderOverride(TSpecialFolder::Temp, FFolder);
  const std::string first = TPath::GetTempFileName();
  const std::string second = TPath::GetTempFileName();
  TPath::SetFolderOverride(TSpecialFolder::Temp, "");
  EXPECT_NE(first, second);
  EXPECT_EQ(TPath::GetDirectoryName(first), FFolder);
  EXPECT_TRUE(TFile::Exists(first));
  EXPECT_EQ(TFile::GetSize(first), 0);
}

} // namespace
