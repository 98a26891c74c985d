#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "rtl/ioutils.h"
#include "rtl/replacing_file_stream.h"

namespace {

using namespace rtl;

int EntriesIn(const std::filesystem::path& AFolder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder)) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(ReplacingFileStreamTest, OnlyCommitReplacesTheTarget) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("replacing_stream_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string target = (folder / "f.bin").string();
  TFile::WriteAllText(target, "old");
  {
    TReplacingFileStream stream(target);
    EXPECT_EQ(stream.TempFileName().rfind(target + ".", 0), 0u);
    EXPECT_TRUE(stream.TempFileName().ends_with(".tmp"));
    EXPECT_EQ(stream.TempFileName().size(), target.size() + 13);
    stream.WriteBuffer("half", 4);
    // Abandoned without Commit: the target stays and the temporary goes.
  }
  EXPECT_EQ(TFile::ReadAllText(target), "old");
  EXPECT_EQ(EntriesIn(folder), 1);
  {
    TReplacingFileStream stream(target);
    stream.WriteBuffer("new", 3);
    stream.Commit();
    EXPECT_THROW(stream.WriteBuffer("x", 1), EStreamError);
  }
  EXPECT_EQ(TFile::ReadAllText(target), "new");
  EXPECT_EQ(EntriesIn(folder), 1);
  std::filesystem::remove_all(folder);
}

} // namespace
