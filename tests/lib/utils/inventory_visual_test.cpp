#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/ioutils.h"
#include "support/log_capture.h"
#include "ui/bitmap.h"
#include "ui/image_list.h"
#include "utils/Vantrel.Utils.Inventory.h"

using namespace vantrel;

namespace {

TOwned<TVantrelInventory> NewInventory() {
  return TOwned<TVantrelInventory>(New<TVantrelInventory>(nullptr));
}

// The first picture of image list entry AIndex.
ui::TBitmap* Picture(ui::TImageList* AList, int AIndex) {
  return AList->Source()->Items(AIndex)->MultiResBitmap()->Items(0)->Bitmap();
}

// A folder of its own under the temporary folder holding a 2x2 red "sword.bmp", and the
// inventory file "inv.xml" naming it.
class InventoryVisual : public ::testing::Test {
protected:
  const std::string Folder =
      IncludeTrailingPathDelimiter(TPath::Combine(TPath::GetTempPath(), TPath::GetRandomFileName()));
  const std::string FileName = Folder + "inv.xml";
  TOwned<TVantrelInventory> Inventory = NewInventory();

  void SetUp() override {
    TDirectory::CreateDirectory(Folder);
    ui::TBitmap red(2, 2);
    ui::TBitmapData data;
    red.Map(ui::TMapAccess::Write, data);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x)
        data.SetPixel(x, y, 0xFFFF0000);
    red.Unmap(data);
    red.SaveToFile(Folder + "sword.bmp");
    Inventory->AddVisualItem(-1, "sword", "sword.bmp", "sword-64.bmp", "", "sword.v3d");
  }
  void TearDown() override { TDirectory::Delete(Folder, true); }
};

} // namespace

TEST_F(InventoryVisual, ImageListsAreRebuiltOnlyWhenFlagged) {
  vtest::TLogCapture log;
  ui::TImageList* first = Inventory->GetImageList(0);
  EXPECT_EQ(first->Count(), 1);
  EXPECT_EQ(Inventory->GetImageList(0), first);
  EXPECT_EQ(first->Destination()->Items(0)->Layers()->Items(0)->SourceRect(), (TRectF{0, 0, 24, 24}));
  EXPECT_EQ(Picture(Inventory->ImageListLOD2(), 0)->Width(), 128);

  // Changes made on the items themselves, or by Exchange, flag nothing.
  Inventory->AddVisualItem(0, "shield", "", "", "", "");
  ui::TImageList* second = Inventory->GetImageList(0);
  EXPECT_EQ(second->Count(), 2);
  EXPECT_EQ(second->Source()->Items(0)->Name(), "shield");
  Inventory->VisualItems()->Exchange(0, 1);
  static_cast<TVantrelInventoryVisualItem*>(Inventory->VisualItems()->Items(0))->SetDisplayName("renamed");
  EXPECT_EQ(Inventory->GetImageList(0), second);
  EXPECT_EQ(second->Source()->Items(0)->Name(), "shield");
  Inventory->SetImageListsModified();
  EXPECT_EQ(Inventory->GetImageList(0)->Source()->Items(0)->Name(), "renamed");

  Inventory->RemoveVisualItem("renamed");
  EXPECT_EQ(Inventory->GetImageList(0)->Count(), 1);
  Inventory->ClearVisualItems();
  EXPECT_EQ(Inventory->GetImageList(0)->Count(), 0);
  EXPECT_THROW(Inventory->GetImageList(3), EArgumentOutOfRangeException);
}

TEST_F(InventoryVisual, PicturesComeFromBesideTheFileOrAreReportedMissing) {
  vtest::TLogCapture log;
  // No file name: the bare resource is looked up (and is not in the working folder).
  Inventory->GetImageList(0);
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"<WARNING> [LOD #0] visual item #0 - image not found: sword.bmp"});

  // Beside the inventory file: found and scaled to the level's size.
  Inventory->SaveToFile(FileName);
  auto loaded = NewInventory();
  loaded->LoadFromFile(FileName);
  log.Clear();
  ui::TBitmap* picture = Picture(loaded->GetImageList(0), 0);
  EXPECT_TRUE(log.Lines().empty());
  ASSERT_EQ(picture->Width(), 24);
  ASSERT_EQ(picture->Height(), 24);
  ui::TBitmapData data;
  ASSERT_TRUE(picture->Map(ui::TMapAccess::Read, data));
  EXPECT_EQ(data.GetPixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(data.GetPixel(23, 23), 0xFFFF0000u);
  picture->Unmap(data);

  // A level whose picture is missing keeps an empty picture at the level's size and says where
  // it looked.
  ui::TImageList* lod1 = loaded->GetImageList(1);
  EXPECT_EQ(lod1->Count(), 1);
  EXPECT_EQ(Picture(lod1, 0)->Width(), 64);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"<WARNING> [LOD #1] visual item #0 - image not found: " +
                                                  Folder + "sword-64.bmp"});

  // A file in another folder looks there.
  const std::string other = Folder + "other/";
  TDirectory::CreateDirectory(other);
  Inventory->SaveToFile(other + "inv.xml");
  auto elsewhere = NewInventory();
  elsewhere->LoadFromFile(other + "inv.xml");
  log.Clear();
  elsewhere->GetImageList(0);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{
                             "<WARNING> [LOD #0] visual item #0 - image not found: " + other + "sword.bmp"});
}

TEST_F(InventoryVisual, OnLoadResourceReplacesEveryLookup) {
  vtest::TLogCapture log;
  std::vector<std::string> calls;
  TVantrelInventoryVisualItem* sword = Inventory->GetVisualItemByName("sword");
  Inventory->SetOnLoadResource([&](TVantrelInventory* AInventory, int AResIdx, const std::string& AResource,
                                   TVantrelInventoryVisualItem* AItem, ui::TBitmap* ADestBitmap) {
    EXPECT_EQ(AInventory, Inventory.get());
    EXPECT_EQ(AItem, sword);
    EXPECT_EQ(ADestBitmap->Width(), 24);
    calls.push_back(std::to_string(AResIdx) + ":" + AResource);
  });
  ui::TImageList* list = Inventory->GetImageList(0);
  EXPECT_EQ(calls, std::vector<std::string>{"0:sword.bmp"});
  EXPECT_EQ(Picture(list, 0), Picture(list, 0));
  EXPECT_TRUE(log.Lines().empty());
}
