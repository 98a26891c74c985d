// Every class the units register for streaming, made fresh, stores none of its published
// properties: each one equals its registered default or is not stored. The table grows by itself
// as units register classes.
#include <gtest/gtest.h>

#include <string>

#include "Vantrel.Units.h"
#include "rtl/classes.h"
#include "rtl/properties.h"

namespace {

// The published properties of AObject that a writer would store, as "Name, Name".
std::string StoredProperties(const rtl::TObject& AObject) {
  std::string stored;
  for (const rtl::TPropInfo* property : rtl::GetPropList(AObject.ClassType())) {
    if (!property->IsStored(&AObject))
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
    if (metaclass->IsAbstract())
      continue;
    SCOPED_TRACE(metaclass->QualifiedName());
    rtl::TOwned<rtl::TObject> instance(metaclass->Create(nullptr));
    EXPECT_EQ(StoredProperties(*instance), "");
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
