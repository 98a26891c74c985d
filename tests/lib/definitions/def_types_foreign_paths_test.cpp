#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.Utils.h"

namespace {

using namespace vantrel;

TEST(DefForeignPaths, SplitsAtEverySeparator) {
  struct Row {
    const char* Name;
    const char* Folder;
    const char* File;
    bool Absolute;
  };
  const std::vector<Row> rows{
      {"C:\\models\\m.v3d", "C:\\models\\", "m.v3d", true},
      {"c:/tex//a.png", "c:/tex//", "a.png", true},
      {"/data/m.v3d", "/data/", "m.v3d", true},
      {"\\\\server\\share\\a.png", "\\\\server\\share\\", "a.png", true},
      {"tex/a.png", "tex/", "a.png", false},
      {"tex\\sub/a.png", "tex\\sub/", "a.png", false},
      {"a.png", "", "a.png", false},
      {"D:a.png", "D:", "a.png", true},
      {"1:a.png", "1:", "a.png", false},
      {"folder/", "folder/", "", false},
      {"", "", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(ForeignExtractFilePath(row.Name), row.Folder);
    EXPECT_EQ(ForeignExtractFileName(row.Name), row.File);
    EXPECT_EQ(IsForeignAbsolutePath(row.Name), row.Absolute);
  }
}

TEST(DefForeignPaths, CombineKeepsTheFoldersSeparator) {
  struct Row {
    const char* Folder;
    const char* Name;
    const char* Result;
  };
  const std::vector<Row> rows{
      {"C:\\models\\", "a.png", "C:\\models\\a.png"},
      {"C:\\models", "a.png", "C:\\models\\a.png"},
      {"/data/", "tex/a.png", "/data/tex/a.png"},
      {"/data", "a.png", "/data/a.png"},
      {"data", "a.png", "data/a.png"},
      {"", "a.png", "a.png"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Folder);
    EXPECT_EQ(ForeignCombinePath(row.Folder, row.Name), row.Result);
  }
}

} // namespace
