#include "pass_doubles.h"

namespace vtest {

RTL_DEFINE_CLASS(TPassDouble, "Test.MaterialApply")
RTL_DEFINE_CLASS(TDepthPassDouble, "Test.MaterialApply")
RTL_DEFINE_CLASS(TEnvironmentPassDouble, "Test.MaterialApply")
RTL_DEFINE_CLASS(TSMStoreDouble, "Test.MaterialApply")
RTL_DEFINE_CLASS(TVSMStoreDouble, "Test.MaterialApply")
RTL_DEFINE_CLASS(TVSMBlurDouble, "Test.MaterialApply")
RTL_DEFINE_CLASS(TReflectionDouble, "Test.MaterialApply")
RTL_DEFINE_CLASS(TRefractionDouble, "Test.MaterialApply")

void ClearPassClasses() {
  for (int ref = 0; ref < vantrel::PassClassRefCount; ++ref)
    vantrel::SetPassClass(static_cast<vantrel::TVantrelPassClassRef>(ref), nullptr);
}

} // namespace vtest
