// Texture and model assets: importing a DDS picture, storing it as PNG and decoding it back,
// old descriptors, missing sources, and model definitions stored as .v3d JSON.

#include <gtest/gtest.h>

#include "assets_fixture.h"
#include "formats/Vantrel.Imaging.DDS.h"
#include "formats/Vantrel.Imaging.Import.h"
#include "formats/Vantrel.Imaging.h"
#include "support/log_capture.h"
#include "support/model_fixture.h"

using namespace vantrel;

namespace {

class AssetsTexture : public vtest::TAssetsTest {
protected:
  // A 6 x 4 DDS picture of distinct opaque colours, written to AFile; returns it decoded.
  static rtl::TOwned<ui::TBitmap> WriteDDS(const std::string& AFile) {
    TDynImageDataArray images;
    TImageData image{};
    CreateImageData(6, 4, ImageFormatId::A8R8G8B8, image);
    auto* bytes = static_cast<uint8_t*>(image.Bits);
    for (int32_t i = 0; i < image.Size; ++i)
      bytes[i] = (i % 4 == 3) ? 0xFF : static_cast<uint8_t>(i * 11);
    images.push_back(image);
    rtl::TOwned<TDDSFileFormat> dds(rtl::New<TDDSFileFormat>());
    EXPECT_TRUE(dds->SaveToFile(AFile, images));
    rtl::TOwned<ui::TBitmap> expected(rtl::New<ui::TBitmap>());
    CopyImageDataToBitmap(images[0], *expected);
    return expected;
  }
  static rtl::TAlphaColor PixelAt(ui::TBitmap& ABitmap, int32_t AX, int32_t AY) {
    ui::TBitmapData data;
    EXPECT_TRUE(ABitmap.Map(ui::TMapAccess::Read, data));
    const rtl::TAlphaColor color = data.GetPixel(AX, AY);
    ABitmap.Unmap(data);
    return color;
  }
  static void ExpectSamePixels(ui::TBitmap& AActual, ui::TBitmap& AExpected) {
    ASSERT_EQ(AActual.Width(), AExpected.Width());
    ASSERT_EQ(AActual.Height(), AExpected.Height());
    for (int32_t y = 0; y < AExpected.Height(); ++y)
      for (int32_t x = 0; x < AExpected.Width(); ++x)
        ASSERT_EQ(PixelAt(AActual, x, y), PixelAt(AExpected, x, y)) << x << "," << y;
  }
};

TEST_F(AssetsTexture, ADDSImportIsStoredAsPNGAndDecodedFromThePackage) {
  const std::string file = Scratch("sky.dds");
  rtl::TOwned<ui::TBitmap> expected = WriteDDS(file);
  TVantrelAssetsPackage* package = NewPackage();
  auto* asset = static_cast<TVantrelTextureAsset*>(package->GetGroup(1)->GetAssetFromFile(file, false));
  ASSERT_NE(asset, nullptr);
  EXPECT_EQ(asset->OriginalFilename(), file);
  EXPECT_EQ(asset->Filename(), "sky.dds");
  EXPECT_EQ(asset->State(), TAssetState::asStored);

  const auto entries = Entries(*package);
  const std::string payload = entries.at(asset->GetArchivePath() + "/sky.dds");
  EXPECT_EQ(payload.substr(0, 4), "\x89PNG");
  EXPECT_NE(entries.at(asset->GetArchivePath() + "/asset.json").find(R"("OriginalFilename":"sky.dds")"),
            std::string::npos);

  const std::string saved = Scratch("textures.pak");
  package->SaveToFile(saved);
  rtl::TFile::Delete(file);
  TVantrelAssetsPackage* loaded = Manager().LoadPackageFromFile(saved);
  auto* copy = static_cast<TVantrelTextureAsset*>(loaded->GetGroup(1)->GetAssetFromId(asset->Id()));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->OriginalFilename(), "sky.dds");
  ui::TBitmap* bitmap = copy->Bitmap();
  ASSERT_NE(bitmap, nullptr);
  ExpectSamePixels(*bitmap, *expected);
  EXPECT_EQ(copy->Bitmap(), bitmap) << "cached after the first load";
}

TEST_F(AssetsTexture, AnUpperCaseExtensionFromAnOlderDescriptorLoads) {
  const std::string file = Scratch("old.png");
  rtl::TOwned<ui::TBitmap> picture(rtl::New<ui::TBitmap>());
  picture->SetSize(3, 2);
  picture->Clear(0xFF336699);
  picture->SaveToFile(file);
  rtl::TOwned<TVantrelTextureAsset> asset(TVantrelTextureAsset::Create(nullptr));
  asset->ImportFromStream(file, nullptr, {});
  asset->SetExtension(".PNG");
  ui::TBitmap* bitmap = asset->Bitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), 3);
  EXPECT_EQ(PixelAt(*bitmap, 2, 1), 0xFF336699u);
  EXPECT_EQ(asset->Extension(), ".png");

  rtl::TOwned<TVantrelTextureAsset> unsupported(TVantrelTextureAsset::Create(nullptr));
  unsupported->ImportFromStream(file, nullptr, {});
  unsupported->SetExtension(".webp");
  try {
    unsupported->Bitmap();
    ADD_FAILURE() << "no exception";
  } catch (const EVantrelAssetsException& e) {
    EXPECT_EQ(e.Message(), "AssetsManager.TextureAsset - unsupported file format \".webp\"");
  }
}

TEST_F(AssetsTexture, AMissingSourceLogsTwiceAndGivesNoBitmap) {
  rtl::TOwned<TVantrelTextureAsset> asset(TVantrelTextureAsset::Create(nullptr));
  const std::string file = Scratch("gone/wood.png");
  asset->ImportFromStream(file, nullptr, {});
  vtest::TLogCapture log;
  EXPECT_EQ(asset->Bitmap(), nullptr);
  const std::string line = "failed to load texture " + file + " (\"wood.png\") [" + asset->Id().ToString() + "]";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{line, line}));
}

TEST_F(AssetsTexture, TexturesWithoutABitmapStaySavable) {
  TVantrelAssetsPackage* package = NewPackage();
  TVantrelAsset* asset = package->GetGroup(1)->AddEmptyAsset("missing.png", false);
  vtest::TLogCapture log;
  asset->UpdateInArchive();
  EXPECT_EQ(asset->State(), TAssetState::asUndef) << "nothing was stored";
  EXPECT_FALSE(package->GetArchive()->FileExists(asset->GetArchivePath() + "/missing.png"));
}

TEST_F(AssetsTexture, ModelAssetsStoreTheirDefinitionAsV3D) {
  TVantrelAssetsPackage* package = NewPackage();
  auto* asset = static_cast<TVantrelModelAsset*>(package->GetGroup(0)->AddEmptyAsset("ship.fbx", false));
  asset->SetModel(vtest::MakeFixtureModel());
  EXPECT_EQ(asset->Model()->GetAsset(), asset);
  EXPECT_EQ(asset->Extension(), ".v3d");
  EXPECT_EQ(asset->State(), TAssetState::asStored);
  const std::string expectedJSON = vtest::DefinitionText(*asset->Model());

  const std::string saved = Scratch("models.pak");
  package->SaveToFile(saved);
  TVantrelAssetsPackage* loaded = Manager().LoadPackageFromFile(saved);
  auto* copy = static_cast<TVantrelModelAsset*>(loaded->GetGroup(0)->GetAssetFromId(asset->Id()));
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->Model(), nullptr);
  EXPECT_EQ(vtest::DefinitionText(*copy->Model()), expectedJSON);
  EXPECT_EQ(copy->Model()->GetPackage(), loaded);
  EXPECT_EQ(copy->Model()->GetAsset(), copy);
  EXPECT_EQ(copy->Filename(), "ship.fbx");
  EXPECT_EQ(copy->SubGroups()->Count(), 10);
  EXPECT_EQ(loaded->GetGroup(0)->Count(), 1);
}

TEST_F(AssetsTexture, TextureDefinitionsFindAndAddAssetsInTheRealPackage) {
  TVantrelAssetsPackage* package = NewPackage();
  IVantrelAssetsPackage& asPackage = *package;
  const rtl::TGUID id = rtl::TGUID::NewGuid();
  EXPECT_EQ(asPackage.GetOwnerTextureAssetFromId(nullptr, id), nullptr);
  TVantrelTextureAsset* added = asPackage.AddEmptyTextureAsset(nullptr, id);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->Group(), package->GetGroup(1));
  EXPECT_EQ(asPackage.GetOwnerTextureAssetFromId(nullptr, id), added);

  auto* model = static_cast<TVantrelModelAsset*>(package->GetGroup(0)->AddEmptyAsset("m.v3d", false));
  TVantrelTextureAsset* owned = asPackage.AddEmptyTextureAsset(model, id);
  EXPECT_EQ(owned->Group(), model->GetSubGroup(1));
  EXPECT_EQ(asPackage.GetOwnerTextureAssetFromId(model, id), owned);
}

} // namespace
