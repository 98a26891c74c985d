// The asset base: identity, file name and its JSON descriptor; and the unit's start-up.

#include "definitions/Vantrel.AssetsManager.h"
#include "rtl/net_encoding.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelAsset, "Vantrel.AssetsManager")

namespace {

int AssetsManagerInitCount = 0;

} // namespace

TVantrelAsset::TVantrelAsset(TVantrelAssetsGroup* AGroup) : FGroup(AGroup), FId(rtl::TGUID::NewGuid()) {}

std::unique_ptr<rtl::TJSONObject> TVantrelAsset::ToJSON() const {
  auto result = rtl::TJSONObject::Create();
  result->AddPair("Type", ClassType().QualifiedName());
  result->AddPair("Id", FId.ToString());
  result->AddPair("Version", "1.3");
  result->AddPair("Filename", rtl::TNetEncoding::URL().Encode(FFilename));
  result->AddPair("Extension", FExtension);
  return result;
}

void TVantrelAsset::FromJSON(const rtl::TJSONObject& AValue) {
  if (!AValue.GetValue("Id"))
    throw EVantrelAssetsException("failed to load asset - id not set");
  FId = TCustomDef::GetJSONGUID(AValue, "Id", rtl::TGUID::Empty());
  if (TCustomDef::HasJSONValue(AValue, "Filename"))
    FFilename = rtl::TNetEncoding::URL().Decode(TCustomDef::GetJSONString(AValue, "Filename"));
  if (TCustomDef::HasJSONValue(AValue, "Extension"))
    FExtension = TCustomDef::GetJSONString(AValue, "Extension");
}

// ---- unit start-up ----

void InitializeAssetsManager() {
  if (AssetsManagerInitCount++ > 0)
    return;
  rtl::RegisterClass(TVantrelTextureAsset::StaticClass());
}

void FinalizeAssetsManager() {
  if (AssetsManagerInitCount == 0 || --AssetsManagerInitCount > 0)
    return;
  rtl::UnRegisterClass(TVantrelTextureAsset::StaticClass());
}

} // namespace vantrel
