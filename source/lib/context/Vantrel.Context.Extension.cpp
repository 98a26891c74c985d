#include "context/Vantrel.Context.Extension.h"

#include "rtl/exceptions.h"

namespace vantrel {

RTL_DEFINE_CLASS(TExtensions, "Vantrel.Context.Extension")

namespace {
TClass* InstalledClass = nullptr;
} // namespace

TExtensions::TExtensions() : FExtensions(New<TStringList>()) {
  FExtensions->SetCaseSensitive(false);
}

void TExtensions::AfterConstruction() {
  inherited::AfterConstruction();
  LoadExtensions();
}

void TExtensions::LoadExtensions() {
  throw EAbstractError(rtl::messages::AbstractError);
}

bool TExtensions::GetExtension(std::string_view AName) const {
  int index = 0;
  return FExtensions->Find(AName, index);
}

TClass* ExtensionClass() {
  return InstalledClass;
}

TClass* SetExtensionClass(TClass* AClass) {
  if (AClass && !AClass->InheritsFrom(TExtensions::StaticClass()))
    throw EInvalidCast(rtl::messages::InvalidCast);
  TClass* previous = InstalledClass;
  InstalledClass = AClass;
  return previous;
}

} // namespace vantrel
