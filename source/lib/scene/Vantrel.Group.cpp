#include "scene/Vantrel.Group.h"

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/fields.h"
#include "rtl/properties.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelGroup, "Vantrel.Group", &TVantrelGroup::RegisterProperties)

void TVantrelGroup::RegisterProperties(TPropertyList& AList) {
  AList.Add("Author", &TVantrelGroup::GetAuthor, &TVantrelGroup::SetAuthor).WithDefault(std::string());
  AList.Add("Timestamp", &TVantrelGroup::GetTimestamp, &TVantrelGroup::SetTimestamp);
  AList.Add("Version", &TVantrelGroup::GetVersion, &TVantrelGroup::SetVersion).WithDefault(std::string());
  AList.Add("License", &TVantrelGroup::GetLicense, &TVantrelGroup::SetLicense).WithDefault(std::string());
  AList.Add("Link", &TVantrelGroup::GetLink, &TVantrelGroup::SetLink).WithDefault(std::string());
  AList.Add("Descr", &TVantrelGroup::GetDescr, &TVantrelGroup::SetDescr).WithDefault(std::string());
}

void TVantrelGroup::RegisterFields() {
  rtl::RegisterFields(StaticClass(), {
                                         ValueField<&TVantrelGroup::FAuthor>("FAuthor"),
                                         ValueField<&TVantrelGroup::FTimestamp>("FTimestamp"),
                                         ValueField<&TVantrelGroup::FVersion>("FVersion"),
                                         ValueField<&TVantrelGroup::FLicense>("FLicense"),
                                         ValueField<&TVantrelGroup::FLink>("FLink"),
                                         ValueField<&TVantrelGroup::FDescr>("FDescr"),
                                         EventField<&TVantrelGroup::OnPrefabLoaded>("FOnPrefabLoaded"),
                                         EventField<&TVantrelGroup::OnPrefabStored>("FOnPrefabStored"),
                                     });
}

std::string TVantrelGroup::GetTimestamp() const {
  return FormatDateTime(STimestampFormat, FTimestamp);
}

void TVantrelGroup::SetTimestamp(const std::string& AValue) {
  // The fixed form comes first: it is what the getter writes, so a written time stamp always
  // reads back, whatever the process's settings.
  TDateTime value;
  if (!TryStrToDateTimeStrict(AValue, value) && !TryStrToDateTime(AValue, value, FormatSettings))
    value = TDateTime();
  FTimestamp = value;
}

void TVantrelGroup::LoadFromDefinition(TCustomDef* ADef) {
  inherited::LoadFromDefinition(ADef);
  auto* def = dynamic_cast<TGroupDef*>(ADef);
  if (!def)
    return;
  FAuthor = def->GetAuthor();
  FTimestamp = def->GetTimestamp();
  FVersion = def->GetVersion();
  FLicense = def->GetLicense();
  FLink = def->GetLink();
  FDescr = def->GetDescr();
}

void TVantrelGroup::StoreToDefinition(TCustomDef* ADef) {
  inherited::StoreToDefinition(ADef);
  auto* def = dynamic_cast<TGroupDef*>(ADef);
  if (!def)
    return;
  def->SetAuthor(FAuthor);
  def->SetTimestamp(FTimestamp);
  def->SetVersion(FVersion);
  def->SetLicense(FLicense);
  def->SetLink(FLink);
  def->SetDescr(FDescr);
}

namespace {

int GroupInitCount = 0;

} // namespace

void InitializeGroup() {
  if (GroupInitCount++ > 0)
    return;
  RegisterClass(TVantrelGroup::StaticClass());
  TVantrelGroup::RegisterFields();
}

void FinalizeGroup() {
  if (GroupInitCount == 0 || --GroupInitCount > 0)
    return;
  UnRegisterFields(TVantrelGroup::StaticClass());
  UnRegisterClass(TVantrelGroup::StaticClass());
}

} // namespace vantrel
