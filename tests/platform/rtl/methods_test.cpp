#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtl/classes.h"
#include "rtl/methods.h"

namespace calls {

enum class TMood : uint8_t { mdCalm, mdAngry };
RTL_ENUM_TYPEINFO(TMood, "mdCalm", "mdAngry")

class TTarget : public rtl::TPersistent {
  RTL_CLASS(TTarget, rtl::TPersistent)
public:
  std::vector<std::string> Calls;

  int Pay(const std::string& AWho, int AAmount) {
    Calls.push_back("Pay " + AWho + " " + std::to_string(AAmount));
    return AAmount;
  }
  void Feel(TMood AMood, double AScale) const {
    const_cast<TTarget*>(this)->Calls.push_back("Feel " + std::to_string(static_cast<int>(AMood)) + " " +
                                                std::to_string(AScale));
  }
  void Reset() { Calls.push_back("Reset"); }
  static void RegisterMethods(rtl::TMethodList& AList) {
    AList.Add("Pay", &TTarget::Pay);
    AList.Add("Feel", &TTarget::Feel);
    AList.Add("Reset", &TTarget::Reset);
  }
};
RTL_DEFINE_CLASS(TTarget, "Test.Methods", nullptr, &TTarget::RegisterMethods)

class TDerived : public TTarget {
  RTL_CLASS(TDerived, TTarget)
public:
  void Reset2() { Calls.push_back("Reset2"); }
  static void RegisterMethods(rtl::TMethodList& AList) { AList.Add("Reset", &TDerived::Reset2); }
};
RTL_DEFINE_CLASS(TDerived, "Test.Methods", nullptr, &TDerived::RegisterMethods)

} // namespace calls

using calls::TDerived;
using calls::TTarget;
using rtl::TValue;

TEST(MethodsTest, FindsByNameIgnoringCaseAndNearestClassFirst) {
  EXPECT_NE(rtl::GetMethodInfo(TTarget::StaticClass(), "pAY"), nullptr);
  EXPECT_EQ(rtl::GetMethodInfo(TTarget::StaticClass(), "Missing"), nullptr);
  EXPECT_EQ(rtl::GetMethodInfo(rtl::TPersistent::StaticClass(), "Pay"), nullptr);
  auto target = rtl::MakeOwned<TDerived>();
  rtl::GetMethodInfo(TDerived::StaticClass(), "reset")->Invoke(target.get(), {});
  rtl::GetMethodInfo(TDerived::StaticClass(), "Pay")
      ->Invoke(target.get(), std::vector{TValue::From("ann"), TValue::From(3)});
  EXPECT_EQ(target->Calls, (std::vector<std::string>{"Reset2", "Pay ann 3"}));
}

TEST(MethodsTest, ArgumentsConvertByThePropertyRules) {
  auto target = rtl::MakeOwned<TTarget>();
  const auto* feel = rtl::GetMethodInfo(TTarget::StaticClass(), "Feel");
  feel->Invoke(target.get(), std::vector{TValue::From("mdAngry"), TValue::From(2)});
  EXPECT_EQ(target->Calls, (std::vector<std::string>{"Feel 1 2.000000"}));
}

TEST(MethodsTest, WrongArgumentsRaiseBeforeTheCall) {
  auto target = rtl::MakeOwned<TTarget>();
  const auto* pay = rtl::GetMethodInfo(TTarget::StaticClass(), "Pay");
  try {
    pay->Invoke(target.get(), std::vector{TValue::From("ann")});
    FAIL();
  } catch (const rtl::EInvocationError& e) {
    EXPECT_EQ(e.Message(), "Parameter count mismatch");
  }
  EXPECT_THROW(pay->Invoke(target.get(), std::vector{TValue::From("ann"), TValue::From("many")}),
               rtl::EInvalidCast);
  EXPECT_THROW(rtl::GetMethodInfo(TTarget::StaticClass(), "Feel")
                   ->Invoke(target.get(), std::vector{TValue::From("mdSad"), TValue::From(1)}),
               rtl::EInvalidCast);
  EXPECT_TRUE(target->Calls.empty());
}
