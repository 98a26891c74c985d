#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/properties.h"

namespace {

using rtl::TComponent;
using rtl::TComponentStateItem;
using rtl::TOperation;

std::vector<std::string> gLog;

// Logs every notice it gets, with what the notified-about component looks like at that moment:
// its most-derived virtual, a field its destructor spoils, and whether it is marked destroying.
class TProbe : public TComponent {
  RTL_CLASS(TProbe, TComponent)
public:
  using TComponent::TComponent;
  ~TProbe() override {
    gLog.push_back("~" + Name());
    Label = "dead";
  }

  virtual std::string Describe() const { return "probe"; }
  std::string Label = "whole";
  TComponent* Ref = nullptr;

  void SetRef(TComponent* ATarget) {
    if (Ref)
      Ref->RemoveFreeNotification(this);
    Ref = ATarget;
    if (Ref)
      Ref->FreeNotification(this);
  }

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override {
    const auto* probe = dynamic_cast<const TProbe*>(AComponent);
    const bool destroying = AComponent->ComponentState().Contains(TComponentStateItem::csDestroying);
    gLog.push_back(Name() + (AOperation == TOperation::opInsert ? "+" : "-") + AComponent->Name() + " " +
                   (probe ? probe->Describe() + "/" + probe->Label : AComponent->ClassName()) +
                   (destroying ? " destroying" : ""));
    if (AOperation == TOperation::opRemove && AComponent == Ref)
      Ref = nullptr;
    inherited::Notification(AComponent, AOperation);
  }
};
RTL_DEFINE_CLASS(TProbe, "Test.Components")

class TLeaf : public TProbe {
  RTL_CLASS(TLeaf, TProbe)
public:
  explicit TLeaf(TComponent* AOwner) : TProbe(AOwner) { Label = "built"; }
  std::string Describe() const override { return "leaf"; }
};
RTL_DEFINE_CLASS(TLeaf, "Test.Components")

// Fails its creation hook before or after joining its owner, having made a component of its own.
class TFailing : public TProbe {
  RTL_CLASS(TFailing, TProbe)
public:
  using TProbe::TProbe;
  static inline bool FailBeforeInherited = false;
  void AfterConstruction() override {
    if (FailBeforeInherited)
      throw rtl::EArgumentException("before");
    inherited::AfterConstruction();
    SetName("Failing");
    rtl::New<TProbe>(this)->SetName("Inner");
    throw rtl::EArgumentException("after");
  }
};
RTL_DEFINE_CLASS(TFailing, "Test.Components")

template <class T> T* Make(TComponent* AOwner, const std::string& AName) {
  T* component = rtl::New<T>(AOwner);
  component->SetName(AName);
  return component;
}

TEST(Components, FreeingAnOwnerFreesChildrenInReverseOrderWhileEachIsWhole) {
  auto owner = rtl::MakeOwned<TProbe>(nullptr);
  owner->SetName("Owner");
  for (const char* name : {"A", "B", "C"})
    Make<TLeaf>(owner.get(), name);
  auto watcher = rtl::MakeOwned<TProbe>(nullptr);
  watcher->SetName("W");
  owner->Components(1)->FreeNotification(watcher.get());
  gLog.clear();

  owner.reset();

  const std::vector<std::string> expected{"Owner-C leaf/built destroying",
                                          "B-C leaf/built destroying",
                                          "A-C leaf/built destroying",
                                          "~C",
                                          "Owner-B leaf/built destroying",
                                          "A-B leaf/built destroying",
                                          "W-B leaf/built destroying",
                                          "~B",
                                          "Owner-A leaf/built destroying",
                                          "~A",
                                          "~Owner"};
  EXPECT_EQ(gLog, expected);
}

TEST(Components, OwnerAndSiblingsSeeAFinishedComponentOnInsert) {
  rtl::RegisterClass(TLeaf::StaticClass());
  auto owner = rtl::MakeOwned<TProbe>(nullptr);
  owner->SetName("Owner");
  Make<TProbe>(owner.get(), "Old");
  gLog.clear();

  auto* leaf = rtl::FindClass("Test.Components.TLeaf").CreateAs<TLeaf>(owner.get());
  rtl::UnRegisterClass(TLeaf::StaticClass());

  EXPECT_EQ(gLog, (std::vector<std::string>{"Owner+ leaf/built", "Old+ leaf/built"}));
  EXPECT_EQ(leaf->Owner(), owner.get());
  EXPECT_EQ(leaf->ComponentIndex(), 1);
  gLog.clear();
}

TEST(Components, FreeNotificationClearsReferences) {
  struct TCase {
    const char* Name;
    // Builds the scene in which AHolder refers to a target, then frees what the case frees.
    std::function<void(TProbe* AOwner, TProbe* AHolder)> Act;
    bool Cleared;
  };
  const std::vector<TCase> cases{
      {"unowned target freed",
       [](TProbe*, TProbe* AHolder) {
         auto* target = rtl::New<TProbe>(nullptr);
         AHolder->SetRef(target);
         target->Free();
       },
       true},
      {"sibling target freed",
       [](TProbe* AOwner, TProbe* AHolder) {
         AHolder->SetRef(rtl::New<TProbe>(AOwner));
         AHolder->Ref->Free();
       },
       true},
      {"owner of the target freed",
       [](TProbe*, TProbe* AHolder) {
         auto* other = rtl::New<TProbe>(nullptr);
         AHolder->SetRef(rtl::New<TProbe>(other));
         other->Free();
       },
       true},
      {"target moved to another owner, then freed",
       [](TProbe* AOwner, TProbe* AHolder) {
         auto* other = rtl::New<TProbe>(nullptr);
         AHolder->SetRef(rtl::New<TProbe>(AOwner));
         other->InsertComponent(AHolder->Ref);
         other->Free();
       },
       true},
      {"reference moved away before the old target is freed",
       [](TProbe* AOwner, TProbe* AHolder) {
         auto* old = rtl::New<TProbe>(nullptr);
         AHolder->SetRef(old);
         AHolder->SetRef(AOwner);
         old->Free();
       },
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto owner = rtl::MakeOwned<TProbe>(nullptr);
    auto* holder = rtl::New<TProbe>(owner.get());
    c.Act(owner.get(), holder);
    EXPECT_EQ(holder->Ref == nullptr, c.Cleared);
    holder->SetRef(nullptr);
  }
}

TEST(Components, AHolderFreedFirstLeavesNoLinkInItsTarget) {
  auto target = rtl::MakeOwned<TProbe>(nullptr);
  auto* holder = rtl::New<TProbe>(nullptr);
  holder->SetRef(target.get());
  holder->Free();
  gLog.clear();
  target.reset(); // would touch the freed holder if the link survived (ASan)
  EXPECT_EQ(gLog, std::vector<std::string>{"~"});
}

TEST(Components, FailedCreationLeavesNoTraceInTheOwner) {
  for (bool before : {true, false}) {
    SCOPED_TRACE(before ? "fails before joining" : "fails after joining");
    auto owner = rtl::MakeOwned<TProbe>(nullptr);
    owner->SetName("Owner");
    Make<TProbe>(owner.get(), "Old");
    gLog.clear();
    TFailing::FailBeforeInherited = before;

    EXPECT_THROW(rtl::New<TFailing>(owner.get()), rtl::EArgumentException);

    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(owner->FindComponent("Failing"), nullptr);
    if (before)
      EXPECT_EQ(gLog, std::vector<std::string>{"~"});
    else
      EXPECT_EQ(gLog, (std::vector<std::string>{
                          "Owner+ probe/whole", "Old+ probe/whole", "Failing+ probe/whole",
                          "Owner-Failing probe/whole destroying", "Old-Failing probe/whole destroying",
                          "Failing-Inner probe/whole destroying", "~Inner", "~Failing"}));
  }
  TFailing::FailBeforeInherited = false;
}

TEST(Components, NamesAreIdentifiersUniqueAmongSiblings) {
  struct TCase {
    const char* Name;
    const char* Error; // nullptr: accepted
  };
  const TCase cases[]{
      {"Button1", nullptr},
      {"_x9", nullptr},
      {"", nullptr},
      {"FIRST", "A component named FIRST already exists"},
      {"1abc", "''1abc'' is not a valid component name"},
      {"a b", "''a b'' is not a valid component name"},
      {"Grüße", "''Grüße'' is not a valid component name"},
  };
  auto owner = rtl::MakeOwned<TProbe>(nullptr);
  Make<TProbe>(owner.get(), "First");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto* component = rtl::New<TProbe>(owner.get());
    if (c.Error) {
      try {
        component->SetName(c.Name);
        ADD_FAILURE() << "no exception";
      } catch (const rtl::EComponentError& e) {
        EXPECT_EQ(e.Message(), c.Error);
      }
      EXPECT_EQ(component->Name(), "");
    } else {
      component->SetName(c.Name);
      EXPECT_EQ(component->Name(), c.Name);
    }
    component->Free();
  }

  TComponent* first = owner->FindComponent("first");
  ASSERT_NE(first, nullptr);
  first->SetName("FIRST"); // its own name in another case
  EXPECT_EQ(first->Name(), "FIRST");
  EXPECT_EQ(owner->FindComponent(""), nullptr);
}

TEST(Components, InsertComponentMovesBetweenOwnersAndRejectsClashesAndCycles) {
  auto left = rtl::MakeOwned<TProbe>(nullptr);
  auto right = rtl::MakeOwned<TProbe>(nullptr);
  auto* moving = Make<TProbe>(left.get(), "Moving");
  auto* inner = Make<TProbe>(moving, "Inner");
  Make<TProbe>(right.get(), "moving");

  EXPECT_THROW(right->InsertComponent(moving), rtl::EComponentError);
  EXPECT_EQ(moving->Owner(), left.get());
  EXPECT_THROW(inner->InsertComponent(left.get()), rtl::EInvalidOperation);
  EXPECT_THROW(moving->InsertComponent(moving), rtl::EInvalidOperation);

  right->Components(0)->SetName("Other");
  right->SetDesigning(true);
  right->InsertComponent(moving);
  EXPECT_EQ(left->ComponentCount(), 0);
  EXPECT_EQ(moving->Owner(), right.get());
  EXPECT_EQ(moving->ComponentIndex(), 1);
  EXPECT_TRUE(inner->ComponentState().Contains(TComponentStateItem::csDesigning));
  EXPECT_THROW(right->Components(2), rtl::EListError);

  right->RemoveComponent(moving);
  EXPECT_EQ(moving->Owner(), nullptr);
  moving->Free();
}

// Records whether it was designing while its constructor ran.
class TDesignProbe : public TComponent {
  RTL_CLASS(TDesignProbe, TComponent)
public:
  explicit TDesignProbe(TComponent* AOwner)
      : TComponent(AOwner), DesigningAtConstruction(ComponentState().Contains(TComponentStateItem::csDesigning)) {}
  const bool DesigningAtConstruction;
};
RTL_DEFINE_CLASS(TDesignProbe, "Test.Components")

TEST(Components, AComponentOfADesigningOwnerDesignsFromConstruction) {
  auto owner = rtl::MakeOwned<TProbe>(nullptr);
  EXPECT_FALSE(rtl::New<TDesignProbe>(owner.get())->DesigningAtConstruction);
  owner->SetDesigning(true);
  auto* child = rtl::New<TDesignProbe>(owner.get());
  EXPECT_TRUE(child->DesigningAtConstruction);
  EXPECT_TRUE(child->ComponentState().Contains(TComponentStateItem::csDesigning));
  EXPECT_FALSE(rtl::MakeOwned<TDesignProbe>(nullptr)->DesigningAtConstruction);
}

TEST(Components, LoadedClearsLoading) {
  auto component = rtl::MakeOwned<TProbe>(nullptr);
  component->Loading();
  EXPECT_TRUE(component->ComponentState().Contains(TComponentStateItem::csLoading));
  component->Loaded();
  EXPECT_TRUE(component->ComponentState().IsEmpty());
}

TEST(Components, GlobalComponentsAreFoundByNameUntilFreed) {
  TComponent* form = Make<TProbe>(nullptr, "MainForm");
  rtl::AddGlobalComponent(form);
  rtl::AddGlobalComponent(form);
  EXPECT_EQ(rtl::FindGlobalComponent("mainform"), form);
  EXPECT_EQ(rtl::FindGlobalComponent(""), nullptr);
  EXPECT_EQ(rtl::FindGlobalComponent("Other"), nullptr);
  rtl::RemoveGlobalComponent(form);
  EXPECT_EQ(rtl::FindGlobalComponent("MainForm"), nullptr);

  rtl::AddGlobalComponent(form);
  form->Free();
  EXPECT_EQ(rtl::FindGlobalComponent("MainForm"), nullptr);
}

TEST(Components, TheGlobalNameHookIsEmptyUntilInstalledAndGivesBackItsPredecessor) {
  EXPECT_FALSE(rtl::IsUniqueGlobalComponentNameProc());
  const auto rejectAll = [](const std::string&) { return false; };
  EXPECT_FALSE(rtl::SetIsUniqueGlobalComponentNameProc(rejectAll));
  ASSERT_TRUE(rtl::IsUniqueGlobalComponentNameProc());
  EXPECT_FALSE(rtl::IsUniqueGlobalComponentNameProc()("Any"));
  EXPECT_TRUE(rtl::SetIsUniqueGlobalComponentNameProc(nullptr));
  EXPECT_FALSE(rtl::IsUniqueGlobalComponentNameProc());
}

// A persistent value object, as nested properties hold them.
class TPoint2 : public rtl::TPersistent {
  RTL_CLASS(TPoint2, rtl::TPersistent)
public:
  double X = 0, Y = 0;
  void Assign(const rtl::TPersistent* ASource) override {
    if (const auto* point = dynamic_cast<const TPoint2*>(ASource)) {
      X = point->X;
      Y = point->Y;
      return;
    }
    inherited::Assign(ASource);
  }
};
RTL_DEFINE_CLASS(TPoint2, "Test.Components")

TEST(Persistent, AssignCopiesKnownClassesAndRaisesOtherwise) {
  auto target = rtl::MakeOwned<TPoint2>();
  auto source = rtl::MakeOwned<TPoint2>();
  source->X = 2;
  target->Assign(source.get());
  EXPECT_EQ(target->X, 2);

  auto component = rtl::MakeOwned<TProbe>(nullptr);
  struct TCase {
    const rtl::TPersistent* Source;
    rtl::TPersistent* Dest;
    const char* Message;
  };
  for (const TCase& c : {TCase{component.get(), target.get(), "Cannot assign a TProbe to a TPoint2"},
                         TCase{nullptr, target.get(), "Cannot assign a nil to a TPoint2"},
                         TCase{target.get(), component.get(), "Cannot assign a TPoint2 to a TProbe"}}) {
    try {
      c.Dest->Assign(c.Source);
      ADD_FAILURE() << c.Message;
    } catch (const rtl::EConvertError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

// ---- collections ----

class TNamedItem : public rtl::TCollectionItem {
  RTL_CLASS(TNamedItem, rtl::TCollectionItem)
public:
  std::string Text;
  std::string GetDisplayName() const override { return Text.empty() ? inherited::GetDisplayName() : Text; }
  void SetDisplayName(const std::string& AValue) override {
    Text = AValue;
    inherited::SetDisplayName(AValue);
  }
  void Assign(const rtl::TPersistent* ASource) override {
    if (const auto* item = dynamic_cast<const TNamedItem*>(ASource)) {
      Text = item->Text;
      return;
    }
    inherited::Assign(ASource);
  }
};
RTL_DEFINE_CLASS(TNamedItem, "Test.Components")

class TLoggedCollection : public rtl::TOwnedCollection {
  RTL_CLASS(TLoggedCollection, rtl::TOwnedCollection)
public:
  explicit TLoggedCollection(rtl::TPersistent* AOwner)
      : TOwnedCollection(AOwner, TNamedItem::StaticClass()) {}
  std::vector<std::string> Events;

  std::string Names() const {
    std::string result;
    for (int i = 0; i < Count(); ++i)
      result += Items(i)->GetDisplayName() + (i + 1 < Count() ? "," : "");
    return result;
  }

protected:
  void Update(rtl::TCollectionItem* AItem) override {
    Events.push_back("update " + (AItem ? AItem->GetDisplayName() : std::string("all")));
  }
  void Notify(rtl::TCollectionItem* AItem, rtl::TCollectionItemNotification AAction) override {
    static const char* const actions[]{"added", "extracting", "deleting"};
    Events.push_back(std::string(actions[static_cast<int>(AAction)]) + " " + AItem->GetDisplayName());
  }
};
RTL_DEFINE_CLASS(TLoggedCollection, "Test.Components")

// A component that publishes a collection, for name paths.
class TListHolder : public TComponent {
  RTL_CLASS(TListHolder, TComponent)
public:
  explicit TListHolder(TComponent* AOwner) : TComponent(AOwner), FItems(rtl::New<TLoggedCollection>(this)) {}
  TLoggedCollection* GetItems() const { return FItems.get(); }
  static void RegisterProperties(rtl::TPropertyList& AList) { AList.Add("Items", &TListHolder::GetItems); }

private:
  rtl::TOwned<TLoggedCollection> FItems;
};
RTL_DEFINE_CLASS(TListHolder, "Test.Components", &TListHolder::RegisterProperties)

TEST(Collections, AddDeleteAndReorderKeepIdsAndReport) {
  auto holder = rtl::MakeOwned<TListHolder>(nullptr);
  holder->SetName("Form1");
  TLoggedCollection& items = *holder->GetItems();
  for (const char* text : {"a", "b", "c"})
    static_cast<TNamedItem*>(items.Add())->Text = text;
  EXPECT_EQ(items.Events, (std::vector<std::string>{"added TNamedItem", "update all", "added TNamedItem",
                                                    "update all", "added TNamedItem", "update all"}));

  struct TStep {
    const char* Name;
    std::function<void()> Act;
    const char* Order;
    std::vector<std::string> Events;
  };
  const std::vector<TStep> steps{
      {"move last to front", [&] { items.Items(2)->SetIndex(0); }, "c,a,b", {"update all"}},
      {"delete middle", [&] { items.Delete(1); }, "c,b", {"deleting a", "extracting a", "update all"}},
      {"insert at front",
       [&] { static_cast<TNamedItem*>(items.Insert(0))->Text = "d"; },
       "d,c,b",
       {"added TNamedItem", "update all", "update all"}},
      {"rename inside an update",
       [&] {
         items.BeginUpdate();
         items.Items(0)->SetDisplayName("e");
         items.Items(1)->SetIndex(2);
         items.EndUpdate();
       },
       "e,b,c",
       {"update all"}},
      {"rename", [&] { items.Items(1)->SetDisplayName("f"); }, "e,f,c", {"update f"}},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Name);
    items.Events.clear();
    step.Act();
    EXPECT_EQ(items.Names(), step.Order);
    EXPECT_EQ(items.Events, step.Events);
  }

  EXPECT_EQ(items.Items(2)->ID(), 2);
  EXPECT_EQ(items.FindItemID(0), nullptr);
  EXPECT_EQ(items.FindItemID(3), items.Items(0));
  EXPECT_EQ(items.Items(1)->GetNamePath(), "Form1.Items[1]");
  EXPECT_EQ(items.Items(1)->Collection(), &items);
  EXPECT_THROW(items.Items(3), rtl::EListError);
  EXPECT_THROW(items.Items(0)->SetIndex(3), rtl::EListError);
  EXPECT_THROW(items.Insert(4), rtl::EListError);
  EXPECT_EQ(items.Names(), "e,f,c");
}

TEST(Collections, AssignCopiesItemsAndFreeingReleasesThem) {
  auto source = rtl::MakeOwned<TLoggedCollection>(nullptr);
  for (const char* text : {"x", "y"})
    static_cast<TNamedItem*>(source->Add())->Text = text;
  auto copy = rtl::MakeOwned<TLoggedCollection>(nullptr);
  copy->Add();

  copy->Assign(source.get());
  EXPECT_EQ(copy->Names(), "x,y");
  EXPECT_NE(copy->Items(0), source->Items(0));
  EXPECT_EQ(copy->GetNamePath(), "TLoggedCollection");

  auto* loose = static_cast<TNamedItem*>(source->Items(0));
  loose->SetCollection(copy.get());
  EXPECT_EQ(source->Names(), "y");
  EXPECT_EQ(copy->Names(), "x,y,x");
  loose->SetCollection(nullptr);
  EXPECT_EQ(loose->Index(), -1);
  loose->Free();

  auto holder = rtl::MakeOwned<TProbe>(nullptr);
  EXPECT_THROW(copy->Assign(holder.get()), rtl::EConvertError);
  EXPECT_THROW(rtl::New<rtl::TCollection>(TProbe::StaticClass()), rtl::EInvalidCast);
}

} // namespace

namespace {
// Notes whether csLoading was already set when its AfterConstruction ran.
class TLoadingProbe : public TComponent {
public:
  using TComponent::TComponent;
  bool LoadingAtConstruction = false;
  void AfterConstruction() override {
    inherited::AfterConstruction();
    LoadingAtConstruction = ComponentState().Contains(rtl::TComponentStateItem::csLoading);
  }
};
} // namespace

TEST(Components, ALoadingMarkerSetsCsLoadingBeforeAfterConstructionUntilLoaded) {
  auto plain = rtl::MakeOwned<TLoadingProbe>(nullptr);
  EXPECT_FALSE(plain->LoadingAtConstruction);
  rtl::TOwned<TLoadingProbe> loaded;
  {
    rtl::TComponentLoadingMarker outer;
    {
      rtl::TComponentLoadingMarker inner;
    }
    EXPECT_TRUE(rtl::TComponentLoadingMarker::Active());
    loaded = rtl::MakeOwned<TLoadingProbe>(nullptr);
  }
  EXPECT_FALSE(rtl::TComponentLoadingMarker::Active());
  EXPECT_TRUE(loaded->LoadingAtConstruction);
  loaded->Loaded();
  EXPECT_FALSE(loaded->ComponentState().Contains(rtl::TComponentStateItem::csLoading));
}
