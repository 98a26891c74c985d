#include "definitions/Vantrel.Exporter.h"

#include <memory>

#include "rtl/generics.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelExporter, "Vantrel.Exporter")

namespace {

using TExporterRegistry = rtl::TDictionary<std::string, TVantrelExporter*>;

int InitCount = 0;
std::unique_ptr<TExporterRegistry> Registry;

// The registry, made on first use. It frees every exporter it removes, replaces or clears.
TExporterRegistry& GetRegistry() {
  if (!Registry) {
    Registry = std::make_unique<TExporterRegistry>();
    Registry->SetOnValueNotify([](TVantrelExporter* const& AValue, rtl::TCollectionNotification AAction) {
      if (AAction == rtl::TCollectionNotification::cnRemoved)
        rtl::TFreeDeleter{}(AValue);
    });
  }
  return *Registry;
}

} // namespace

void TVantrelExporter::SaveToFile(const TCustomDef*, const std::string&) { throw EAbstractError("Abstract Error"); }

void TVantrelExporter::SaveToStream(const TCustomDef*, TStream*) { throw EAbstractError("Abstract Error"); }

TVantrelExporter* TVantrelExporter::GetExporter(const std::string& AExtension) {
  TVantrelExporter* result = nullptr;
  if (Registry)
    Registry->TryGetValue(AExtension, result);
  return result;
}

void TVantrelExporter::RegisterExporter(const std::string& AExtension, TOwned<TVantrelExporter>&& AExporter) {
  TExporterRegistry& registry = GetRegistry();
  for (const auto& pair : registry) {
    if (pair.Value != AExporter.get())
      continue;
    if (pair.Key == AExtension) {
      // Already held here: the registry keeps its own pointer and must not free it.
      (void)AExporter.release();
      return;
    }
    throw EArgumentException(Format("exporter already registered under \"%s\"", {pair.Key}));
  }
  registry.AddOrSetValue(AExtension, AExporter.release());
}

void TVantrelExporter::RegisterExporter(const std::string& AExtension, TVantrelExporterClass AClass) {
  if (!AClass.InheritsFrom(TVantrelExporter::StaticClass()))
    throw EInvalidCast(rtl::messages::InvalidCast);
  RegisterExporter(AExtension, TOwned<TVantrelExporter>(AClass.CreateAs<TVantrelExporter>()));
}

void TVantrelExporter::UnregisterExporter(const std::string& AExtension, TVantrelExporterClass) {
  if (Registry)
    Registry->Remove(AExtension);
}

void InitializeExporter() { ++InitCount; }

void FinalizeExporter() {
  if (InitCount == 0 || --InitCount > 0)
    return;
  Registry.reset();
}

} // namespace vantrel
