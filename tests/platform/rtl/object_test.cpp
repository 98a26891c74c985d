#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/object.h"

namespace {

std::vector<std::string> gEvents;

class TBase : public rtl::TObject {
  RTL_CLASS(TBase, rtl::TObject)
public:
  void AfterConstruction() override { Init(); }
  virtual void Init() { gEvents.push_back("TBase.Init"); }
  void BeforeDestruction() override { gEvents.push_back("BeforeDestruction " + ClassName()); }
};
RTL_DEFINE_CLASS(TBase, "Test.Units")

class TDerived : public TBase {
  RTL_CLASS(TDerived, TBase)
public:
  void Init() override {
    gEvents.push_back("TDerived.Init");
    if (FailInit)
      throw rtl::EArgumentException("init failed");
  }
  static inline bool FailInit = false;
  std::vector<int> Payload = std::vector<int>(16);
};
RTL_DEFINE_CLASS(TDerived, "Test.Units")

TEST(ObjectModel, FactoryRunsMostDerivedCreationHook) {
  gEvents.clear();
  rtl::TOwned<TBase> object(TDerived::StaticClass().CreateAs<TBase>());
  EXPECT_EQ(gEvents, std::vector<std::string>{"TDerived.Init"});
  EXPECT_EQ(object->ClassName(), "TDerived");
  EXPECT_TRUE(object->InheritsFrom(TBase::StaticClass()));
  EXPECT_FALSE(TBase::StaticClass().InheritsFrom(TDerived::StaticClass()));
  object.reset();
  EXPECT_EQ(gEvents.back(), "BeforeDestruction TDerived");
}

TEST(ObjectModel, ExceptionDuringCreationFreesThePartlyBuiltObject) {
  gEvents.clear();
  TDerived::FailInit = true;
  EXPECT_THROW(rtl::New<TDerived>(), rtl::EArgumentException);
  TDerived::FailInit = false;
  EXPECT_EQ(gEvents.back(), "BeforeDestruction TDerived");
}

TEST(ObjectModel, ClassesAreFoundByPlainAndQualifiedName) {
  rtl::RegisterClass(TDerived::StaticClass());
  EXPECT_EQ(TDerived::StaticClass().QualifiedName(), "Test.Units.TDerived");
  EXPECT_EQ(rtl::GetClass("Test.Units.TDerived"), &TDerived::StaticClass());
  EXPECT_EQ(rtl::GetClass("tderived"), &TDerived::StaticClass());
  EXPECT_EQ(rtl::GetClass("Test.Units.TMissing"), nullptr);
  EXPECT_THROW(rtl::FindClass("TMissing"), rtl::EClassNotFound);
  rtl::UnRegisterClass(TDerived::StaticClass());
  EXPECT_EQ(rtl::GetClass("TDerived"), nullptr);
}

TEST(ObjectModel, CheckedCastRaisesOnForeignClass) {
  rtl::TOwned<TBase> base(rtl::New<TBase>());
  EXPECT_EQ(rtl::CheckedCast<TBase>(base.get()), base.get());
  EXPECT_THROW(rtl::CheckedCast<TDerived>(base.get()), rtl::EInvalidCast);
  EXPECT_EQ(rtl::CheckedCast<TDerived>(static_cast<TBase*>(nullptr)), nullptr);
}

} // namespace
