#pragma once
// The extension names the graphics driver reports and its renderer name, without naming the
// graphics API: TExtensions is the neutral base, and the API's unit installs its subclass as the
// extension class that the process's list is made from.

#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "rtl/object.h"
#include "rtl/stringlist.h"

namespace vantrel {

class TExtensions : public TObject {
  RTL_CLASS(TExtensions, TObject)
public:
  // Public for the metaclass factory; lists are made through the installed class.
  TExtensions();
  // Fills the list through LoadExtensions; the bare class raises EAbstractError there.
  void AfterConstruction() override;

  // Whether the list holds AName, compared without regard to case (a binary search).
  bool GetExtension(std::string_view AName) const;
  // The names, sorted once loaded, compared without regard to case.
  TStringList& GetExtensions() { return *FExtensions; }
  const TStringList& GetExtensions() const { return *FExtensions; }
  // The driver's renderer name in ASCII upper case; empty when it could not be read.
  const std::string& GetRenderer() const { return FRenderer; }

protected:
  virtual void LoadExtensions();

  TOwned<TStringList> FExtensions;
  std::string FRenderer;
};

// The class the process's extension list is made from: nullptr until an API unit installs its
// class, the base class after that unit is finalised.
TClass* ExtensionClass();
// Installs AClass (which must be TExtensions or a subclass) and returns the class it replaces.
TClass* SetExtensionClass(TClass* AClass);

} // namespace vantrel
