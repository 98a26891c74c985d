#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/exceptions.h"

namespace {

using namespace vantrel;

class DefLoadOptions : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeDefTypes();
    InitializeAssetsManager();
  }
  void TearDown() override {
    FinalizeAssetsManager();
    FinalizeDefTypes();
  }
};

TEST_F(DefLoadOptions, RecordOperations) {
  const TVantrelLoadOptions plain = TVantrelLoadOptions::Create("dir.x/model.v3d");
  EXPECT_EQ(plain.GetExtension(), ".v3d");
  EXPECT_TRUE(plain.ImportLights && plain.ImportCameras && plain.ImportAnimations);
  EXPECT_TRUE(plain.Caching.IsEmpty());
  EXPECT_EQ(TVantrelLoadOptions::Create("model.v3d", std::string(".obj")).GetExtension(), ".obj");
  EXPECT_EQ(TVantrelLoadOptions::Create("noext").GetExtension(), "");
  int statusCalls = 0;
  const TVantrelLoadOptions withStatus = TVantrelLoadOptions::Create(
      "", TAnimationCachingFlags{TAnimationCachingFlag::Compressed}, [&](TObject*) { ++statusCalls; });
  withStatus.OnStatus(nullptr);
  EXPECT_EQ(statusCalls, 1);
  EXPECT_TRUE(withStatus.Caching.Contains(TAnimationCachingFlag::Compressed));

  TVantrelLoadOptions options = TVantrelLoadOptions::Create("m.v3d");
  options.ImportAnimations = false;
  EXPECT_EQ(options.AddAnimation("/nonexistent/walk.v3d"), -1);
  EXPECT_FALSE(options.ImportAnimations);
  EXPECT_TRUE(options.AdditionalAnimations.empty());
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "vantrel_load_options_walk.v3d";
  std::ofstream(file) << "x";
  EXPECT_EQ(options.AddAnimation(file.string()), 0);
  EXPECT_TRUE(options.ImportAnimations);
  std::filesystem::remove(file);

  TMemoryStream first, second;
  EXPECT_EQ(options.AddStorage("tex", nullptr), -1);
  EXPECT_EQ(options.AddStorage("tex", &first), 0);
  EXPECT_EQ(options.AddStorage("tex", &second), 1);
  EXPECT_EQ(options.GetStorage("tex"), &first);
  EXPECT_EQ(options.GetStorage("TEX"), nullptr);
}

TEST_F(DefLoadOptions, BitmapCacheEntries) {
  TVantrelBitmapCache cache;
  TVantrelBitmapCacheEntry* entry = cache.Add();
  entry->SetFilename("C:\\textures\\tex.png");
  EXPECT_EQ(cache.FindBitmap("D:\\x\\tex.png"), entry);
  EXPECT_EQ(cache.FindBitmap("D:\\x\\Tex.png"), nullptr);
  TVantrelBitmapCacheEntry* exact = cache.Add();
  exact->SetFilename("D:\\x\\tex.png");
  EXPECT_EQ(cache.FindBitmap("D:\\x\\tex.png"), exact);

  // An owned entry copies bitmaps in; another entry takes a copy of its content, not its name.
  ui::TBitmap source(3, 2);
  entry->SetBitmap(&source);
  EXPECT_NE(entry->GetBitmap(), &source);
  EXPECT_EQ(entry->GetBitmap()->Width(), 3);
  exact->Assign(entry);
  EXPECT_EQ(exact->GetBitmap()->Width(), 3);
  EXPECT_EQ(exact->GetFilename(), "D:\\x\\tex.png");
  ui::TBitmap notAnEntry;
  EXPECT_THROW(notAnEntry.Assign(entry), EConvertError);

  // A cache of references frees none of them and ignores writes.
  {
    TVantrelBitmapCache references;
    references.Add()->SetBitmapReference("a.png", &source);
    references.Entry(0)->SetBitmap(exact->GetBitmap());
    EXPECT_EQ(references.Entry(0)->GetBitmap(), &source);
    EXPECT_EQ(source.Width(), 3);
  }
  EXPECT_EQ(source.Width(), 3);
}

TEST_F(DefLoadOptions, ModelAppliesAndRequestsTheCache) {
  TModelDef model;
  TVantrelBitmapCache cache;
  TVantrelBitmapCacheEntry* owned = cache.Add();
  owned->SetFilename("/tex/a.png");
  ui::TBitmap pixels(2, 2);
  owned->SetBitmap(&pixels);
  ui::TBitmap other(1, 1);
  cache.Add()->SetBitmapReference("/tex/b.png", &other);
  model.ApplyBitmapCache(&cache);
  ASSERT_EQ(model.GetTextureAssets().size(), 2u);
  EXPECT_TRUE(owned->IsOnlyRef());
  EXPECT_EQ(model.GetTextureAssets()[0]->Bitmap(), owned->GetBitmap());
  EXPECT_TRUE(model.GetTextureAssets()[0]->Cached() && model.GetTextureAssets()[0]->IsStandalone());
  // A bitmap the entry only referred to stays its owner's: the asset holds a copy.
  EXPECT_NE(model.GetTextureAssets()[1]->Bitmap(), &other);

  TVantrelBitmapCache requested;
  model.RequestBitmapCache(&requested);
  ASSERT_EQ(requested.Count(), 2);
  EXPECT_EQ(requested.Entry(0)->GetFilename(), "/tex/a.png");
  EXPECT_EQ(requested.Entry(0)->GetBitmap(), model.GetTextureAssets()[0]->Bitmap());
  EXPECT_EQ(requested.Entry(1)->GetBitmap(), model.GetTextureAssets()[1]->Bitmap());
  model.RequestBitmapCache(nullptr);
  model.ApplyBitmapCache(nullptr);
}

} // namespace
