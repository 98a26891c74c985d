#include <gtest/gtest.h>

#include <string>

#include "rtl/math3d.h"
#include "rtl/streams.h"
#include "utils/Vantrel.Utils.Inventory.h"
#include "xml/Vantrel.Xml.Document.h"

using namespace vantrel;

namespace {

TOwned<TVantrelInventory> NewInventory() {
  return TOwned<TVantrelInventory>(rtl::New<TVantrelInventory>(nullptr));
}

std::string Saved(const TVantrelInventory& AInventory) {
  TStringStream stream;
  AInventory.SaveToStream(&stream);
  return stream.DataString();
}

void Load(TVantrelInventory& AInventory, const std::string& AText) {
  TStringStream stream(AText);
  AInventory.LoadFromStream(&stream);
}

std::string Lines(std::initializer_list<const char*> ALines) {
  std::string text;
  for (const char* line : ALines)
    text += std::string(line) + "\r\n";
  return text;
}

const std::string Declaration = "<?xml version=\"1.0\"?>";

} // namespace

TEST(InventoryFile, GoldenFile) {
  auto inventory = NewInventory();
  TVantrelInventoryGroup* group = inventory->AddGroup("g");
  group->SetMaxQuantity(3);
  group->SetMaxWeight(2.5f);
  group->Name()->Add("en-us", "Weapons");
  TVantrelInventoryItemTemplate* sword = inventory->AddItemTemplate("sword");
  sword->SetGroup(group);
  sword->SetIsPooled(false);
  sword->SetWeight(2.5f);
  sword->Name()->Add("en-us", "Sword");
  sword->Parameters()->Add("damage", TValue::From(12));
  TVantrelInventoryCollectState state = TVantrelInventoryCollectState::None;
  inventory->Collect(sword, state);

  EXPECT_EQ(
      Saved(*inventory),
      Lines(
          {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
           "<inventory path=\"\">",
           "\t<visual_items />",
           "\t<groups>",
           "\t\t<group id=\"g\" enabled=\"True\" max-quantity=\"3\" max-weight=\"2.50\">",
           "\t\t\t<name>",
           "\t\t\t\t<lang id=\"en-us\">",
           "\t\t\t\t\t<![CDATA[Weapons]]>",
           "\t\t\t\t</lang>",
           "\t\t\t</name>",
           "\t\t</group>",
           "\t</groups>",
           "\t<templates>",
           "\t\t<template id=\"sword\" enabled=\"True\" group=\"g\" max-quantity=\"10\" weight=\"2.5\" "
           "max-weight=\"5\" is-pooled=\"False\" image-index=\"-1\">",
           "\t\t\t<name>",
           "\t\t\t\t<lang id=\"en-us\">",
           "\t\t\t\t\t<![CDATA[Sword]]>",
           "\t\t\t\t</lang>",
           "\t\t\t</name>",
           "\t\t\t<params>",
           "\t\t\t\t<param id=\"damage\">12</param>",
           "\t\t\t</params>",
           "\t\t\t<dependencies />",
           "\t\t</template>",
           "\t</templates>",
           "\t<manufacturers />",
           "\t<items>",
           "\t\t<collectable id=\"sword\" enabled=\"True\" template=\"sword\" quantity=\"1\" weight=\"2.5\">",
           "\t\t\t<name />",
           "\t\t\t<params />",
           "\t\t</collectable>",
           "\t</items>",
           "</inventory>"}));
}

TEST(InventoryFile, RoundTripKeepsEverythingAndCloneSavesTheSameBytes) {
  auto inventory = NewInventory();
  TVantrelInventoryGroup* group = inventory->AddGroup("42");
  group->SetMaxQuantity(7);
  group->SetEnabled(false);
  TVantrelInventoryItemTemplate* first = inventory->AddItemTemplate("007");
  TVantrelInventoryItemTemplate* second = inventory->AddItemTemplate("true");
  first->SetGroup(group);
  first->SetUpgradeItem(second); // points forward
  second->SetDowngradeItem(first);
  first->AddDependency(second, 2);
  first->SetImageIndex(3);
  first->SetWeight(1e-6f);
  first->Name()->Add("en-us", "First");
  first->Name()->Add("de-de", "Erste");
  first->Parameters()->Add("42", TValue::From(5));
  first->Parameters()->Add("rate", TValue::From(2.5));
  first->Parameters()->Add("flag", TValue::From(true));
  first->Parameters()->Add("point", TValue::From(TPoint3D{1, 2, 3}));
  second->SetMaxQuantity(0);
  TVantrelInventoryManufacturer* forge = inventory->AddManufacturer("forge");
  forge->AddIngredient(first, 2);
  forge->AddDependency(second, 1);
  forge->AddResultItem(second, 4);
  forge->SetKind(TManufacturingProcessKind::Upgrading);
  forge->SetTimeNeeded(250);
  inventory->AddVisualItem(-1, "sword", "s0.png", "s1.png", "", "sword.v3d");
  TVantrelInventoryCollectState state = TVantrelInventoryCollectState::None;
  inventory->Collect(second, 3, state)->SetData(TValue::From(1));

  // The Single 1e-6 widens to 9.99999997475243E-7, exponent form, and still reads back.
  const std::string original = Saved(*inventory);
  EXPECT_NE(original.find("weight=\"9.99999997475243E-7\""), std::string::npos);
  auto back = NewInventory();
  Load(*back, original);
  // Ids that look like numbers or Booleans come back normalised, on every side.
  const std::string text = Saved(*back);
  EXPECT_NE(text.find("<template id=\"7\""), std::string::npos);
  auto again = NewInventory();
  Load(*again, text);
  EXPECT_EQ(Saved(*again), text);

  TVantrelInventoryItemTemplate* a = back->FindItemTemplate("7");
  TVantrelInventoryItemTemplate* b = back->FindItemTemplate("True");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->GetGroup(), back->FindGroup("42"));
  EXPECT_FALSE(a->GetGroup()->Enabled());
  EXPECT_EQ(a->GetUpgradeItem(), b);
  EXPECT_EQ(b->GetDowngradeItem(), a);
  EXPECT_EQ(a->Dependency()->Items(0)->Template(), b);
  EXPECT_EQ(a->Weight(), 1e-6f);
  EXPECT_EQ(a->ImageIndex(), 3);
  EXPECT_EQ(a->Name()->Items("de-de"), "Erste");
  EXPECT_EQ(a->Parameters()->Items("42").AsInteger(), 5);
  EXPECT_EQ(a->Parameters()->Items("rate").AsDouble(), 2.5);
  EXPECT_TRUE(a->Parameters()->Items("flag").AsBoolean());
  EXPECT_EQ(a->Parameters()->Items("point").AsString(), "(record)");
  const TVantrelInventoryManufacturer* man = back->FindManufacturer("forge");
  EXPECT_EQ(man->GetDescriptionString(), "forge: 7(2) => (True(4))");
  EXPECT_EQ(man->Kind(), TManufacturingProcessKind::NewItem);
  EXPECT_EQ(man->TimeNeeded(), 250);
  EXPECT_EQ(back->GetVisualItemByName("sword")->ModelFile(), "sword.v3d");
  const TVantrelInventoryCollectable* item = back->FindFirstCollectedItem(b);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Quantity(), 3);
  EXPECT_TRUE(item->Data().IsEmpty());

  TOwned<TVantrelInventory> clone(back->Clone());
  EXPECT_EQ(Saved(*clone), text);
}

TEST(InventoryFile, ReaderRules) {
  auto inventory = NewInventory();
  Load(*inventory, Declaration +
                       "<inventory><groups><!--c--><item id=\"x\"/></groups><templates><template/>"
                       "</templates><manufacturers><manufacturer><results><in template=\"t\"/>"
                       "<in quantity=\"2\"/></results><result><in template=\"t\" quantity=\"9\"/></result>"
                       "</manufacturer></manufacturers><items><collectable/></items></inventory>");
  ASSERT_EQ(inventory->Groups()->Count(), 1);
  EXPECT_EQ(inventory->FindGroup("x")->GetIdentifier(), "group");
  auto* bare = static_cast<TVantrelInventoryItemTemplate*>(inventory->ItemTemplates()->Items(0));
  EXPECT_FALSE(bare->Enabled());
  EXPECT_EQ(bare->MaxQuantity(), 0);
  EXPECT_EQ(bare->Weight(), 0);
  EXPECT_EQ(bare->MaxWeight(), 0);
  EXPECT_TRUE(bare->IsPooled());
  EXPECT_EQ(bare->ImageIndex(), -1);
  const TVantrelInventoryManufacturer* man =
      static_cast<TVantrelInventoryManufacturer*>(inventory->Manufacturers()->Items(0));
  EXPECT_EQ(man->TimeNeeded(), 3000);
  ASSERT_EQ(man->ResultItems()->Count(), 3);
  EXPECT_EQ(man->ResultItems()->Items(0)->Quantity(), 9);
  EXPECT_EQ(man->ResultItems()->Items(2)->Template(), nullptr);
  auto* item = static_cast<TVantrelInventoryCollectable*>(inventory->CollectedItems()->Items(0));
  EXPECT_EQ(item->Quantity(), 1);

  for (const std::string& input : {Declaration + "<other/>", std::string("<inventory/>")}) {
    SCOPED_TRACE(input);
    try {
      Load(*inventory, input);
      FAIL() << "loaded";
    } catch (const EMz_XmlParseError&) {
      FAIL() << "parse error";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), "missing \"inventory\" tag in xml");
    }
    EXPECT_EQ(inventory->Groups()->Count(), 0);
  }
  EXPECT_THROW(Load(*inventory, Declaration + "<inventory><groups>"), EMz_XmlParseError);
  EXPECT_EQ(inventory->ItemTemplates()->Count(), 0);
  EXPECT_THROW(
      Load(*inventory, Declaration + "<inventory><groups><group max-weight=\"heavy\"/></groups></inventory>"),
      EInvalidCast);
}

TEST(InventoryFile, FileNamesAndPaths) {
  const std::string folder = ::testing::TempDir();
  const std::string file = folder + "inventory.xml";
  auto inventory = NewInventory();
  inventory->AddItemTemplate("t");
  inventory->SaveToFile(file);
  EXPECT_EQ(inventory->FileName(), "");
  auto loaded = NewInventory();
  loaded->LoadFromFile(file);
  EXPECT_EQ(loaded->FileName(), file);
  EXPECT_NE(Saved(*loaded).find("<inventory path=\"" + folder + "\">"), std::string::npos);
  Load(*loaded, Declaration + "<inventory path=\"C:\\data\\\"/>");
  EXPECT_EQ(loaded->FileName(), "C:\\data\\");
  EXPECT_EQ(ExtractFilePath("a/b/c.xml"), "a/b/");
  EXPECT_EQ(ExtractFilePath("C:\\a\\c.xml"), "");
}

TEST(InventoryFile, VisualItemsAndLodSizes) {
  auto inventory = NewInventory();
  TVantrelInventoryVisualItemCollection* items = inventory->VisualItems();
  EXPECT_EQ(items->ImageLOD1Size(), (TPoint{64, 64}));
  items->SetImageLOD0Size({32, 32});
  EXPECT_EQ(items->ImageLOD1Size(), (TPoint{64, 64}));
  items->SetImageLOD1Size({10, 10});
  items->SetImageLOD0Size({0, 0});
  EXPECT_EQ(items->ImageLOD1Size(), (TPoint{64, 64}));

  inventory->UnsetImageListsModified();
  inventory->AddVisualItem(-1, "b", "", "", "", "");
  EXPECT_TRUE(inventory->ImageListModified(2));
  inventory->AddVisualItem(0, "a", "a0", "a1", "a2", "a.v3d");
  EXPECT_EQ(static_cast<TVantrelInventoryVisualItem*>(items->Items(0))->GetDisplayName(), "a");
  EXPECT_THROW(inventory->SetImageListModified(3), EArgumentOutOfRangeException);

  Load(*inventory, Declaration + "<inventory><visual_items><view id=\"007\"><image_lod_0>x.png</image_lod_0>"
                                 "</view></visual_items></inventory>");
  const TVantrelInventoryVisualItem* view = inventory->GetVisualItemByName("7");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->ImageLOD0(), "x.png");
  EXPECT_EQ(view->ImageLOD1(), "");
}
