#include "support/plain_context.h"

namespace vtest {

RTL_DEFINE_CLASS_META(TPlainContext, "Test.Support", TPlainContextClass)

rtl::TOwned<TPlainContext> TPlainContext::Make(ui::TTexture* ATexture) {
  return rtl::TOwned<TPlainContext>(
      rtl::CheckedCast<TPlainContext>(StaticClass().CreateFromTexture(ATexture, ui::TMultisample::None, false)));
}

} // namespace vtest
