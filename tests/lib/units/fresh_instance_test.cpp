// Every class the units register for streaming, made fresh, stores none of its published
// properties that have a registered default: the constructor and the default agree. The table
// grows by itself as units register classes.
#include <gtest/gtest.h>

#include <string>

#include "Vantrel.Units.h"
#include "rtl/classes.h"
#include "rtl/properties.h"
#include "ui/forms.h"

namespace {

// The published properties of AObject with a registered default that a writer would store, as
// "Name, Name": the constructor and the default disagree. A property without a default is always
// written, so it is not the constructor's disagreement.
std::string StoredProperties(const rtl::TObject& AObject) {
  std::string stored;
  for (const rtl::TPropInfo* property : rtl::GetPropList(AObject.ClassType())) {
    if (!property->Default || !property->IsStored(&AObject))
      continue;
    if (!stored.empty())
      stored += ", ";
    stored += property->Name;
  }
  return stored;
}

TEST(FreshInstances, StoreNothing) {
  vantrel::InitializeUnits();
  for (rtl::TClass* metaclass : rtl::GetRegisteredClasses()) {
    // Collection items are made only inside their collection.
    if (metaclass->IsAbstract() || metaclass->InheritsFrom(rtl::TCollectionItem::StaticClass()))
      continue;
    SCOPED_TRACE(metaclass->QualifiedName());
    try {
      // A control that must sit on an owner (the viewport) is made on one; the owner frees it.
      const bool needsOwner = metaclass->QualifiedName() == "Vantrel.Viewport.TVantrelViewport";
      const rtl::TOwned<rtl::TComponent> owner = rtl::MakeOwned<rtl::TComponent>(nullptr);
      // A form made through its class reads its resource; a fresh one is made empty.
      rtl::TObject* instance =
          metaclass->InheritsFrom(ui::TCustomForm::StaticClass())
              ? ui::TCustomForm::CreateNew(*metaclass, nullptr)
              : metaclass->Create(needsOwner ? owner.get() : nullptr);
      const rtl::TOwned<rtl::TObject> unowned(needsOwner ? nullptr : instance);
      // The viewport starts aligned to its client area, capturing the mouse and showing hints, so
      // those are always written; controls store their size as the nested "Size" (no default), so
      // its starting 100 x 100 shows there, not among these.
      // The sky box is 500 units wide, high and deep from the start and skips the frustum test, so
      // its size and FrustumCullingCheck are always written.
      const bool skyBox = metaclass->QualifiedName() == "Vantrel.SkyBox.TVantrelSkyBox";
      EXPECT_EQ(StoredProperties(*instance), needsOwner ? "Align, AutoCapture, ShowHint"
                                             : skyBox   ? "Width, Height, Depth, FrustumCullingCheck"
                                                        : "");
    } catch (const rtl::Exception& E) {
      ADD_FAILURE() << "raised: " << E.Message();
    }
  }
  vantrel::FinalizeUnits();
}

// The check itself: a fresh instance whose constructor disagrees with its registered default
// stores that property.
class TDisagreeing : public rtl::TPersistent {
  RTL_CLASS(TDisagreeing, rtl::TPersistent)
public:
  int32_t GetCount() const { return FCount; }
  void SetCount(int32_t AValue) { FCount = AValue; }
  static void RegisterProperties(rtl::TPropertyList& AList) {
    AList.Add("Count", &TDisagreeing::GetCount, &TDisagreeing::SetCount).WithDefault(int32_t{0});
  }

private:
  int32_t FCount = 1;
};
RTL_DEFINE_CLASS(TDisagreeing, "Test.Units", &TDisagreeing::RegisterProperties)

TEST(FreshInstances, ADefaultTheConstructorDoesNotSetIsFound) {
  rtl::RegisterClass(TDisagreeing::StaticClass());
  bool found = false;
  for (rtl::TClass* metaclass : rtl::GetRegisteredClasses())
    if (metaclass == &TDisagreeing::StaticClass()) {
      rtl::TOwned<rtl::TObject> instance(metaclass->Create(nullptr));
      EXPECT_EQ(StoredProperties(*instance), "Count");
      found = true;
    }
  rtl::UnRegisterClass(TDisagreeing::StaticClass());
  EXPECT_TRUE(found);
}

} // namespace
