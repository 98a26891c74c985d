#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/classes.h"
#include "ui/controls.h"
#include "ui/fmx_object.h"

namespace fmxtest {

class TRecordingObject : public ui::TFmxObject {
  RTL_CLASS(TRecordingObject, ui::TFmxObject)
public:
  using TFmxObject::TFmxObject;
  std::vector<std::string> FLog;

protected:
  void DoAddObject(ui::TFmxObject* AObject) override {
    FLog.push_back("add " + AObject->Name() + (AObject->Parent() == this ? " linked" : ""));
  }
  void DoRemoveObject(ui::TFmxObject* AObject) override {
    FLog.push_back("remove " + AObject->Name() + (AObject->Parent() ? "" : " unlinked"));
  }
};
RTL_DEFINE_CLASS(TRecordingObject, "Test.Fmx")

} // namespace fmxtest

namespace {

using namespace rtl;
using namespace ui;
using fmxtest::TRecordingObject;

TEST(FmxObject, ParentsNeverOwn) {
  auto ownerA = MakeOwned<TComponent>(nullptr);
  auto* parentB = New<TRecordingObject>(nullptr);
  auto* child = New<TFmxObject>(ownerA.get());
  child->SetName("child");
  child->SetParent(parentB);
  ASSERT_EQ(parentB->ChildrenCount(), 1);
  EXPECT_EQ(parentB->FLog, (std::vector<std::string>{"add child linked"}));

  parentB->Free();
  EXPECT_EQ(child->Parent(), nullptr);
  EXPECT_EQ(ownerA->ComponentCount(), 1);

  auto parentC = MakeOwned<TRecordingObject>(nullptr);
  parentC->AddObject(child);
  auto* other = New<TFmxObject>(ownerA.get());
  other->SetName("other");
  parentC->InsertObject(0, other);
  EXPECT_EQ(parentC->Children(), (std::vector<TFmxObject*>{other, child}));
  child->Free();
  EXPECT_EQ(parentC->Children(), (std::vector<TFmxObject*>{other}));
  EXPECT_EQ(parentC->FLog.back(), "remove child unlinked");
  other->SetParent(nullptr);
  EXPECT_EQ(parentC->ChildrenCount(), 0);
}

TEST(FmxObject, ReparentingMovesTheChild) {
  auto a = MakeOwned<TRecordingObject>(nullptr), b = MakeOwned<TRecordingObject>(nullptr);
  auto child = MakeOwned<TFmxObject>(nullptr);
  child->SetName("c");
  child->SetParent(a.get());
  b->AddObject(child.get());
  EXPECT_EQ(a->ChildrenCount(), 0);
  EXPECT_EQ(child->Parent(), b.get());
  EXPECT_EQ(a->FLog, (std::vector<std::string>{"add c linked", "remove c unlinked"}));
  b->AddObject(b.get());
  b->AddObject(nullptr);
  EXPECT_EQ(b->ChildrenCount(), 1);
}

TEST(FmxObject, StoredTagsAndCountedUpdates) {
  auto parent = MakeOwned<TFmxObject>(nullptr);
  auto child = MakeOwned<TFmxObject>(nullptr);
  child->SetParent(parent.get());
  EXPECT_TRUE(parent->Stored());
  EXPECT_EQ(parent->TagObject(), nullptr);
  EXPECT_EQ(parent->TagFloat(), 0);
  EXPECT_EQ(parent->TagString(), "");
  parent->SetStored(false);
  parent->SetTagObject(child.get());
  parent->SetTagFloat(2.5f);
  parent->SetTagString("t");
  EXPECT_FALSE(parent->Stored());
  EXPECT_EQ(parent->TagObject(), child.get());
  EXPECT_EQ(parent->TagFloat(), 2.5f);
  EXPECT_EQ(parent->TagString(), "t");

  parent->BeginUpdate();
  parent->BeginUpdate();
  EXPECT_TRUE(child->IsUpdating());
  parent->EndUpdate();
  EXPECT_TRUE(parent->IsUpdating());
  parent->EndUpdate();
  EXPECT_FALSE(parent->IsUpdating());
  EXPECT_FALSE(child->IsUpdating());
}

TEST(Control, ConvertsAlongTheParentChainAndHitsTheTopChild) {
  auto root = MakeOwned<TControl>(nullptr);
  root->SetSize(100, 100);
  root->Position()->SetPoint({10, 20});
  auto* child = New<TControl>(root.get());
  child->SetParent(root.get());
  child->SetSize(10, 10);
  child->Position()->SetPoint({5, 5});
  child->SetOpacity(0.5f);
  root->SetOpacity(0.5f);
  EXPECT_EQ(child->LocalToAbsolute({1, 1}), (TPointF{16, 26}));
  EXPECT_EQ(child->AbsoluteToLocal({16, 26}), (TPointF{1, 1}));
  EXPECT_EQ(child->AbsoluteRect(), (TRectF{15, 25, 25, 35}));
  EXPECT_FLOAT_EQ(child->AbsoluteOpacity(), 0.25f);
  EXPECT_EQ(root->ObjectAtPoint({16, 26}), static_cast<IControl*>(child));
  EXPECT_EQ(root->ObjectAtPoint({50, 50}), static_cast<IControl*>(root.get()));
  EXPECT_EQ(root->ObjectAtPoint({5, 5}), nullptr);
  child->SetVisible(false);
  EXPECT_EQ(root->ObjectAtPoint({16, 26}), static_cast<IControl*>(root.get()));
}

} // namespace
