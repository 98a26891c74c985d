#pragma once
// A transform with descriptive prefab data (author, time stamp, version, licence, link,
// description) taken from and stored into a TGroupDef.

#include <string>

#include "Vantrel.Prelude.h"
#include "rtl/date_time.h"
#include "rtl/method.h"
#include "scene/Vantrel.Transform.h"

namespace vantrel {

// Sender and prefab.
using TOnPrefabGroupEvent = TMethodEvent<TObject*, TObject*>;

inline constexpr const char* STimestampFormat = "yyyy-mm-dd hh:nn:ss";

class TVantrelGroup : public TVantrelTransform {
  RTL_CLASS(TVantrelGroup, TVantrelTransform)
public:
  using TVantrelTransform::TVantrelTransform;
  static void RegisterProperties(TPropertyList& AList);
  static void RegisterFields();

  const std::string& GetAuthor() const { return FAuthor; }
  void SetAuthor(const std::string& AValue) { FAuthor = AValue; }
  TDateTime GetTimestampValue() const { return FTimestamp; }
  void SetTimestampValue(TDateTime AValue) { FTimestamp = AValue; }
  // The time stamp as "yyyy-mm-dd hh:nn:ss".
  std::string GetTimestamp() const;
  // Reads that fixed form, else the process's format settings; text that parses neither way
  // gives 0 (1899-12-30 00:00:00).
  void SetTimestamp(const std::string& AValue);
  const std::string& GetVersion() const { return FVersion; }
  void SetVersion(const std::string& AValue) { FVersion = AValue; }
  const std::string& GetLicense() const { return FLicense; }
  void SetLicense(const std::string& AValue) { FLicense = AValue; }
  const std::string& GetLink() const { return FLink; }
  void SetLink(const std::string& AValue) { FLink = AValue; }
  const std::string& GetDescr() const { return FDescr; }
  void SetDescr(const std::string& AValue) { FDescr = AValue; }

  // Declared for prefab tools; the framework raises neither.
  TOnPrefabGroupEvent OnPrefabLoaded;
  TOnPrefabGroupEvent OnPrefabStored;

  // The transform's, then the six values from a TGroupDef.
  void LoadFromDefinition(TCustomDef* ADef) override;
  void StoreToDefinition(TCustomDef* ADef) override;
  // A group builds no children.
  void BuildHierarchy(TTransformDef*) override {}

private:
  std::string FAuthor;
  TDateTime FTimestamp;
  std::string FVersion;
  std::string FLicense;
  std::string FLink;
  std::string FDescr;
};

void InitializeGroup();
void FinalizeGroup();

} // namespace vantrel
