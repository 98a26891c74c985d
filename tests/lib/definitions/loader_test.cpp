#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "Vantrel.Units.h"
#include "definitions/Vantrel.Loader.h"
#include "rtl/ioutils.h"

namespace vantrel {
namespace {

class LoaderTest : public ::testing::Test {
protected:
  void SetUp() override { InitializeUnits(); }
  void TearDown() override { FinalizeUnits(); }
};

TEST_F(LoaderTest, RegistryLooksUpTheLowerCaseExtension) {
  TOwned<TVantrelLoader> loader = MakeOwned<TVantrelLoader>();
  TVantrelLoader::GetLoaderRegistry().Add(".tst", loader.get());
  EXPECT_EQ(TVantrelLoader::GetLoaderByExtension(".TST"), loader.get());
  EXPECT_EQ(TVantrelLoader::GetLoaderByExtension(".tst "), nullptr);
  try {
    TVantrelLoader::GetLoaderRegistry().Add(".tst", loader.get());
    FAIL() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Duplicates not allowed");
  }
  TVantrelLoader::GetLoaderRegistry().Remove(".tst");
}

TEST_F(LoaderTest, AnimationEntryPoints) {
  TOwned<TVantrelLoader> loader = MakeOwned<TVantrelLoader>();
  TMemoryStream stream;
  EXPECT_EQ(loader->LoadAnimationDefFromStream(nullptr, &stream, "a.tst"), nullptr);
  try {
    TVantrelLoader::LoadUndefinedAnimationDefFromFile(nullptr, "m.xyz");
    FAIL() << "no exception";
  } catch (const EVantrelLoaderException& error) {
    EXPECT_EQ(error.Message(), "model format not supported: m.xyz");
  }
  // A registered loader gets the file opened for reading; the base reads nothing from it.
  const std::string file = (std::filesystem::temp_directory_path() / ("anim_" + std::to_string(::getpid()) + ".tst")).string();
  TFile::WriteAllText(file, "x");
  TVantrelLoader::GetLoaderRegistry().Add(".tst", loader.get());
  EXPECT_EQ(TVantrelLoader::LoadUndefinedAnimationDefFromFile(nullptr, file), nullptr);
  TVantrelLoader::GetLoaderRegistry().Remove(".tst");
  TFile::Delete(file);
}

TEST_F(LoaderTest, LimitTextureSizeOfBitmaps) {
  struct TCase {
    TPoint Size, Limits, Expect;
    bool Resized;
  };
  const TCase cases[] = {
      {{2048, 1024}, {512, 512}, {512, 256}, true},
      {{100, 100}, {512, 512}, {100, 100}, false},
      {{300, 1000}, {512, 512}, {153, 512}, true},
      // One side per call.
      {{2048, 8192}, {1024, 1024}, {1024, 4096}, true},
      // A limit <= 0 does not limit its side.
      {{300, 1000}, {0, 0}, {300, 1000}, false},
      {{300, 1000}, {0, 512}, {153, 512}, true},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(testing::Message() << test.Size.X << "x" << test.Size.Y << " limits " << test.Limits.X << ","
                                    << test.Limits.Y);
    TOwned<TBitmap> bitmap = MakeOwned<TBitmap>(test.Size.X, test.Size.Y);
    EXPECT_EQ(TVantrelLoader::LimitTextureSize(bitmap.get(), test.Limits), test.Resized);
    EXPECT_EQ(bitmap->Width(), test.Expect.X);
    EXPECT_EQ(bitmap->Height(), test.Expect.Y);
  }
  EXPECT_FALSE(TVantrelLoader::LimitTextureSize(static_cast<TBitmap*>(nullptr), {1, 1}));
}

TEST_F(LoaderTest, LimitTextureSizesOfAFolderTree) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("limit_textures_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / "a");
  auto write = [](const std::filesystem::path& APath, int32_t AWidth, int32_t AHeight) {
    TOwned<TBitmap> bitmap = MakeOwned<TBitmap>(AWidth, AHeight);
    bitmap->Clear(0xFF336699);
    bitmap->SaveToFile(APath.string());
  };
  write(folder / "a" / "B.PNG", 2048, 1024);
  write(folder / "c.jpeg", 600, 100);
  write(folder / "small.png", 100, 100);
  TFile::WriteAllText((folder / "d.txt").string(), "text");
  const TBytes small = TFile::ReadAllBytes((folder / "small.png").string());
  const auto smallTime = std::filesystem::last_write_time(folder / "small.png");

  TVantrelLoader::LimitTextureSizes(folder.string(), {512, 512});

  auto sizeOf = [](const std::filesystem::path& APath) {
    TOwned<TBitmap> bitmap = MakeOwned<TBitmap>();
    bitmap->LoadFromFile(APath.string());
    return TPoint{bitmap->Width(), bitmap->Height()};
  };
  EXPECT_EQ(sizeOf(folder / "a" / "B.PNG"), (TPoint{512, 256}));
  // Still a PNG picture.
  EXPECT_EQ(TFile::ReadAllBytes((folder / "a" / "B.PNG").string())[1], 'P');
  EXPECT_EQ(sizeOf(folder / "c.jpeg"), (TPoint{512, 85}));
  EXPECT_EQ(TFile::ReadAllBytes((folder / "small.png").string()), small);
  EXPECT_EQ(std::filesystem::last_write_time(folder / "small.png"), smallTime);
  EXPECT_EQ(TFile::ReadAllText((folder / "d.txt").string()), "text");
  int entries = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 5); // no temporaries left
  std::filesystem::remove_all(folder);
}

} // namespace
} // namespace vantrel
