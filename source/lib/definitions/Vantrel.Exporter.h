#pragma once
// The base of model writers and their registry, keyed by file extension exactly as registered
// (".V3D" is not ".v3d"). The registry owns the exporters it holds.
//
// The model definition class is not built yet; the save entry points take the definition base,
// TCustomDef, so that writers of any definition can register now.

#include <string>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/streams.h"

namespace vantrel {

class TVantrelExporter;

// A class reference that must inherit TVantrelExporter; RegisterExporter raises EInvalidCast
// for any other class.
using TVantrelExporterClass = const rtl::TClass&;

class TVantrelExporter : public rtl::TObject {
  RTL_CLASS(TVantrelExporter, rtl::TObject)
public:
  TVantrelExporter() = default;

  // Writers override both; the base raises EAbstractError.
  virtual void SaveToFile(const TCustomDef* AModelDef, const std::string& AFileName);
  virtual void SaveToStream(const TCustomDef* AModelDef, TStream* AStream);

  // The exporter registered under exactly AExtension, else null. The registry keeps it.
  static TVantrelExporter* GetExporter(const std::string& AExtension);
  // Hands AExporter to the registry under AExtension; an exporter registered there before is
  // freed. Registering the instance already held under the same key changes nothing; an instance
  // held under another key raises EArgumentException and stays the caller's (the parameter is
  // a reference so that a refused exporter is not consumed).
  static void RegisterExporter(const std::string& AExtension, TOwned<TVantrelExporter>&& AExporter);
  // Makes an instance of AClass through its metaclass and registers it.
  static void RegisterExporter(const std::string& AExtension, TVantrelExporterClass AClass);
  // Frees and removes the exporter under AExtension; an absent key does nothing. The class
  // argument is not examined.
  static void UnregisterExporter(const std::string& AExtension, TVantrelExporterClass AClass);
};

void InitializeExporter();
// Frees the registry and every exporter it holds.
void FinalizeExporter();

} // namespace vantrel
